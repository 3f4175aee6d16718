#include "hp_harness.h"

#include <algorithm>
#include <thread>

#include "VaskUtil.h"
#include "hp_parser.h"
#include "test_seams.h"

namespace hp_test {
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
}
int32_t recPlaneReduce(void*, uint8_t* row, int32_t isBlack, int32_t rowIndex) {
  const size_t width = ((isBlack ? gRecorder->blackWidth : gRecorder->colorWidth) + 7) / 8;
  gRecorder->reduces.push_back({std::vector<uint8_t>(row, row + width), isBlack, rowIndex});
  for (size_t i = 0; i < width; ++i) row[i] &= gRecorder->mask;
  return static_cast<int32_t>(width);
}
void recClosePage(void*) { ++gRecorder->closePages; }
void recCloseJob(void*) { ++gRecorder->closeJobs; }
void recSetCalibration(void*, int32_t percentage) { gRecorder->calibrationPercentages.push_back(percentage); }

const ReductionFunctions kRecording{recOpenJob, recOpenPage, recPlaneReduce, recClosePage, recCloseJob,
                                    recSetCalibration};

int CORVANTA_WINAPI capture(void* context, const uint8_t* bytes, uint32_t count, uint32_t* accepted) {
  static_cast<Bytes*>(context)->append(reinterpret_cast<const char*>(bytes), count);
  *accepted = count;
  return 1;
}

}  // namespace

RecordingReduction::RecordingReduction() {
  gRecorder = new Recorder;
  hp::setReductionOverride(&kRecording);
}
RecordingReduction::~RecordingReduction() {
  hp::setReductionOverride(nullptr);
  delete gRecorder;
  gRecorder = nullptr;
}
Recorder& RecordingReduction::recorder() { return *gRecorder; }

JobResult runJob(const Bytes& job, const JobOptions& options) {
  JobResult result{};
  testing_seams::VirtualClock clock;  // the pipe's waits pass at once
  std::vector<char> name(kPrinterNameBufferSize, 0);
  std::string("HP Test").copy(name.data(), name.size() - 1);
  ParserContext context{};
  context.inputPipe = InBuffer_initialize();
  context.outputBuffer = OutBuffer_initialize(capture, &result.output);
  OutBuffer_setBufferSize(context.outputBuffer, 8192);
  context.calibrationFlag = options.calibrationFlag;
  context.blackKeepPercent = options.blackKeep;
  context.colorKeepPercent = options.colorKeep;
  context.printerName = name.data();
  std::thread parser(parseFile, &context);
  const auto* bytes = reinterpret_cast<const uint8_t*>(job.data());
  size_t at = 0;
  while (at < job.size()) {
    const int32_t part = static_cast<int32_t>(std::min<size_t>(job.size() - at, 16384));
    if (InBuffer_writebytes(context.inputPipe, bytes + at, part) != kInBufferFull) at += static_cast<size_t>(part);
  }
  InBuffer_terminate(context.inputPipe);
  OutBuffer_terminate(context.outputBuffer, 0);
  parser.join();
  result.totals = *hp::dotTotals(&context);
  result.blackKeep = context.blackKeepPercent;
  result.colorKeep = context.colorKeepPercent;
  return result;
}

}  // namespace hp_test
