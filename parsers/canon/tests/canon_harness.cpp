#include "canon_harness.h"

#include <algorithm>

namespace canon_test {
namespace {

Recorder* gRecorder = nullptr;

void* recOpenJob(const char*) {
  ++gRecorder->openJobs;
  return gRecorder;
}
void recOpenPage(void*, uint32_t blackWidth, int32_t blackLevel, uint32_t colorWidth, int32_t colorLevel) {
  ++gRecorder->openPages;
  gRecorder->blackWidth = blackWidth;
  gRecorder->colorWidth = colorWidth;
  gRecorder->blackLevel = blackLevel;
  gRecorder->colorLevel = colorLevel;
  gRecorder->reduceWidth = (std::max(blackWidth, colorWidth) + 7) / 8;
}
int32_t recPlaneReduce(void*, uint8_t* rowBytes, int32_t isBlack, int32_t rowIndex) {
  gRecorder->reduces.push_back({Bytes(rowBytes, rowBytes + gRecorder->reduceWidth), isBlack, rowIndex});
  for (size_t i = 0; i < gRecorder->reduceWidth; ++i) rowBytes[i] &= gRecorder->mask;
  return 0;
}
void recClosePage(void*) { ++gRecorder->closePages; }
void recCloseJob(void*) { ++gRecorder->closeJobs; }
void recSetCalibration(void*, int32_t percentage) { gRecorder->calibrationPercentages.push_back(percentage); }

const ReductionFunctions kRecording{recOpenJob, recOpenPage, recPlaneReduce, recClosePage, recCloseJob,
                                    recSetCalibration};

}  // namespace

RecordingReduction::RecordingReduction() {
  gRecorder = new Recorder;
  canon::setReductionOverride(&kRecording);
}
RecordingReduction::~RecordingReduction() {
  canon::setReductionOverride(nullptr);
  delete gRecorder;
  gRecorder = nullptr;
}
Recorder& RecordingReduction::recorder() { return *gRecorder; }

plugin_test::PluginJobResult runJobWithTotals(const Bytes& job, const JobOptions& options) {
  plugin_test::PluginJobOptions run;
  run.calibrationFlag = options.calibrationFlag;
  run.blackKeep = options.blackKeep;
  run.colorKeep = options.colorKeep;
  run.printerName = options.printerName;
  return plugin_test::runParseFile(parseFile, job.data(), job.size(), run);
}

Bytes runJob(const Bytes& job, const JobOptions& options) {
  const std::string output = runJobWithTotals(job, options).output;
  return Bytes(output.begin(), output.end());
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes cmd(char letter, const Bytes& payload) {
  Bytes out{0x1B, '(', static_cast<uint8_t>(letter), static_cast<uint8_t>(payload.size() & 0xFF),
            static_cast<uint8_t>(payload.size() >> 8)};
  return out + payload;
}
Bytes row(uint8_t colour, const Bytes& packbits) { return cmd('A', Bytes{colour} + packbits); }
Bytes band(const Bytes& rowsWithEnds) { return cmd('F', rowsWithEnds); }
Bytes resolution(uint16_t vertical, uint16_t horizontal) {
  return cmd('d', {static_cast<uint8_t>(vertical >> 8), static_cast<uint8_t>(vertical & 0xFF),
                   static_cast<uint8_t>(horizontal >> 8), static_cast<uint8_t>(horizontal & 0xFF)});
}
Bytes skip(uint16_t count) { return cmd('e', {static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count & 0xFF)}); }

}  // namespace canon_test
