// parseFile of the Canon plug-in over arbitrary bytes, with the real pipes and
// a reduction set that thins every row it is given.
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

#include "VaskUtil.h"
#include "canon_parser.h"
#include "platform.h"

namespace {

void* fuzzOpenJob(const char*) { return reinterpret_cast<void*>(1); }
uint32_t gWidthBytes = 0;
void fuzzOpenPage(void*, uint32_t blackWidth, int32_t, uint32_t colorWidth, int32_t) {
  gWidthBytes = ((blackWidth > colorWidth ? blackWidth : colorWidth) + 7) / 8;
}
int32_t fuzzPlaneReduce(void*, uint8_t* row, int32_t, int32_t rowIndex) {
  // Touches every byte the reduction may read, so ASan sees short buffers.
  for (uint32_t i = 0; i < gWidthBytes; ++i) row[i] &= static_cast<uint8_t>(0x55 << (rowIndex & 1));
  return 0;
}
void fuzzClosePage(void*) {}
void fuzzCloseJob(void*) {}
void fuzzSetCalibration(void*, int32_t) {}
const ReductionFunctions kFuzzSet{fuzzOpenJob, fuzzOpenPage, fuzzPlaneReduce, fuzzClosePage, fuzzCloseJob,
                                  fuzzSetCalibration};

int CORVANTA_WINAPI discard(void*, const uint8_t*, uint32_t count, uint32_t* accepted) {
  *accepted = count;
  return 1;
}
void noSleep(uint32_t) { std::this_thread::yield(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    canon::setReductionOverride(&kFuzzSet);
    platform::setSleepFunction(noSleep);
    platform::setDebugSink([](const char*) {});
    return true;
  }();
  (void)ready;
  char name[kPrinterNameBufferSize] = "fuzz";
  ParserContext context{};
  context.inputPipe = InBuffer_initialize();
  context.outputBuffer = OutBuffer_initialize(discard, nullptr);
  OutBuffer_setBufferSize(context.outputBuffer, 8192);
  context.calibrationFlag = size > 0 ? static_cast<int8_t>(data[0] & 1) : 0;
  context.blackKeepPercent = 50;
  context.colorKeepPercent = 50;
  context.printerName = name;
  std::thread parser(parseFile, &context);
  if (size > 0) InBuffer_writebytes(context.inputPipe, data, static_cast<int32_t>(size < 65536 ? size : 65536));
  InBuffer_terminate(context.inputPipe);
  OutBuffer_terminate(context.outputBuffer, 0);
  parser.join();
  return 0;
}
