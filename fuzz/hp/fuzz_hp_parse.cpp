// parseFile of the HP plug-in over arbitrary bytes, through the real pipes,
// with a reduction set that thins every row it is given. The first byte picks
// the calibration flag and, with it, the calibration rules.
#include <cstddef>
#include <cstdint>
#include <thread>

#include "hp_parser.h"
#include "platform.h"
#include "plugin_harness.h"

namespace {

uint32_t gBlackBytes = 0, gColorBytes = 0;

void* fuzzOpenJob(const char*) { return reinterpret_cast<void*>(1); }
void fuzzOpenPage(void*, uint32_t blackWidth, int32_t, uint32_t colorWidth, int32_t) {
  gBlackBytes = (blackWidth + 7) / 8;
  gColorBytes = (colorWidth + 7) / 8;
}
int32_t fuzzPlaneReduce(void*, uint8_t* row, int32_t isBlack, int32_t rowIndex) {
  // Touches every byte the reduction reads, so ASan sees a short row buffer.
  const uint32_t bytes = (isBlack & 0xFF) ? gBlackBytes : gColorBytes;
  for (uint32_t i = 0; i < bytes; ++i) row[i] &= static_cast<uint8_t>(0x55 << (rowIndex & 1));
  return static_cast<int32_t>(bytes);
}
void fuzzClosePage(void*) {}
void fuzzCloseJob(void*) {}
void fuzzSetCalibration(void*, int32_t) {}
const ReductionFunctions kFuzzSet{fuzzOpenJob, fuzzOpenPage, fuzzPlaneReduce, fuzzClosePage, fuzzCloseJob,
                                  fuzzSetCalibration};

void noSleep(uint32_t) { std::this_thread::yield(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    hp::setReductionOverride(&kFuzzSet);
    platform::setSleepFunction(noSleep);
    platform::setDebugSink([](const char*) {});
    return true;
  }();
  (void)ready;
  if (size == 0) return 0;
  plugin_test::PluginJobOptions options;
  options.calibrationFlag = static_cast<int8_t>(data[0] & 1);
  options.blackKeep = 50;
  options.colorKeep = 50;
  options.keepOutput = false;
  plugin_test::runParseFile(parseFile, data + 1, size - 1, options);
  return 0;
}
