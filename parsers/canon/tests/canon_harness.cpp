#include "canon_harness.h"

#include <thread>

#include "VaskUtil.h"

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

int CORVANTA_WINAPI capture(void* context, const uint8_t* bytes, uint32_t count, uint32_t* accepted) {
  auto* out = static_cast<Bytes*>(context);
  out->insert(out->end(), bytes, bytes + count);
  *accepted = count;
  return 1;
}

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

Bytes runJob(const Bytes& job, const JobOptions& options) {
  Bytes output;
  std::vector<char> name(kPrinterNameBufferSize, 0);
  options.printerName.copy(name.data(), name.size() - 1);
  ParserContext context{};
  context.inputPipe = InBuffer_initialize();
  context.outputBuffer = OutBuffer_initialize(capture, &output);
  OutBuffer_setBufferSize(context.outputBuffer, 8192);
  context.calibrationFlag = options.calibrationFlag;
  context.blackKeepPercent = options.blackKeep;
  context.colorKeepPercent = options.colorKeep;
  context.printerName = name.data();
  std::thread parser(parseFile, &context);
  size_t at = 0;
  while (at < job.size()) {
    const int32_t part = static_cast<int32_t>(std::min<size_t>(job.size() - at, 16384));
    if (InBuffer_writebytes(context.inputPipe, job.data() + at, part) == 0) at += static_cast<size_t>(part);
  }
  InBuffer_terminate(context.inputPipe);
  OutBuffer_terminate(context.outputBuffer, 0);
  parser.join();
  return output;
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
