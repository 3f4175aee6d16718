// One fuzz input through a parser plug-in's parseFile, the way the monitor
// runs it (real pipes, parse thread), with a reduction set that thins every
// row it is given and touches every byte the real reduction reads, so ASan
// sees rows shorter than the page width. The first input byte picks the
// calibration flag and, with it, the calibration rules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <thread>

#include "VaskUtil.h"
#include "in_buffer_record.h"
#include "platform.h"
#include "plugin_harness.h"
#include "reduction.h"

namespace plugin_fuzz {

inline uint32_t gBlackBytes = 0, gColorBytes = 0;

inline void* openJob(const char*) { return reinterpret_cast<void*>(1); }
inline void openPage(void*, uint32_t blackWidth, int32_t, uint32_t colorWidth, int32_t) {
  gBlackBytes = (blackWidth + 7) / 8;
  gColorBytes = (colorWidth + 7) / 8;
}
inline int32_t planeReduce(void*, uint8_t* row, int32_t isBlack, int32_t rowIndex) {
  const uint32_t bytes = (isBlack & 0xFF) ? gBlackBytes : gColorBytes;
  for (uint32_t i = 0; i < bytes; ++i) row[i] &= static_cast<uint8_t>(0x55 << (rowIndex & 1));
  return static_cast<int32_t>(bytes);
}
inline void closePage(void*) {}
inline void closeJob(void*) {}
inline void setCalibration(void*, int32_t) {}
inline const ReductionFunctions kFuzzSet{openJob, openPage, planeReduce, closePage, closeJob, setCalibration};

inline int CORVANTA_WINAPI discard(void*, const uint8_t*, uint32_t count, uint32_t* accepted) {
  *accepted = count;
  return 1;
}

// The whole input is in the pipe and its writer has ended before parseFile
// runs on this thread, so the parser never waits: an input costs the
// plug-in's own work, not a thread start and the hand-offs between threads
// (the pipes' threaded suites cover those). Inputs larger than the pipe go
// through the threaded harness.
inline void runInline(ParseFileFunction parseFile, const uint8_t* data, size_t size, int8_t calibrationFlag) {
  char name[kPrinterNameBufferSize] = "Fuzz printer";
  ParserContext context{};
  context.inputPipe = InBuffer_initialize();
  context.outputBuffer = OutBuffer_initialize(discard, nullptr);
  OutBuffer_setBufferSize(context.outputBuffer, 16384);
  context.calibrationFlag = calibrationFlag;
  context.blackKeepPercent = 50;
  context.colorKeepPercent = 50;
  context.printerName = name;
  if (size > 0) InBuffer_writebytes(context.inputPipe, data, static_cast<int32_t>(size));
  vaskutil::inBufferRecord(context.inputPipe)->writerState = vaskutil::kWriterEnded;
  parseFile(&context);
  InBuffer_terminate(context.inputPipe);
  OutBuffer_terminate(context.outputBuffer, 0);
}

// setOverride: the plug-in's reduction-set override (set once).
inline int runOnce(ParseFileFunction parseFile, void (*setOverride)(const ReductionFunctions*), const uint8_t* data,
                   size_t size) {
  static const bool ready = [setOverride] {
    setOverride(&kFuzzSet);
    platform::setSleepFunction([](uint32_t) { std::this_thread::yield(); });
    platform::setDebugSink([](const char*) {});
    return true;
  }();
  (void)ready;
  if (size == 0) return 0;
  if (size - 1 < kInBufferCapacity) {
    runInline(parseFile, data + 1, size - 1, static_cast<int8_t>(data[0] & 1));
    return 0;
  }
  plugin_test::PluginJobOptions options;
  options.calibrationFlag = static_cast<int8_t>(data[0] & 1);
  options.blackKeep = 50;
  options.colorKeep = 50;
  options.keepOutput = false;
  plugin_test::runParseFile(parseFile, data + 1, size - 1, options);
  return 0;
}

}  // namespace plugin_fuzz
