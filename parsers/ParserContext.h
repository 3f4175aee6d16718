// ParserContext: the record the language monitor fills for each filtered job
// and hands to a parser plug-in's parseFile. Its layout is the binary
// interface between the monitor and every plug-in; on the 32-bit build the
// offsets are fixed (checked below). The 64-bit build keeps the same order
// with natural pointer sizes.
//
// Bytes 8..711 on the 32-bit build are the plug-in's working area: parseFile
// clears it at start except the three monitor fields inside it (calibration
// flag, keep percentages). Each plug-in keeps its own working state; the
// monitor never reads the area.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define CORVANTA_CDECL __cdecl
#else
#define CORVANTA_CDECL
#endif

struct ParserContext {
  void* inputPipe;     // InBuffer_initialize handle: the job's raw bytes
  void* outputBuffer;  // OutBuffer_initialize handle: where the rewritten job goes
  uint8_t workArea0[56 - 2 * sizeof(void*)];
  int8_t calibrationFlag;  // nonzero: print a calibration page
  uint8_t workArea1[440 - 57];
  int16_t blackKeepPercent;  // 100 - BlackLevel (101 when the level is unreadable)
  int16_t colorKeepPercent;  // 100 - ColorLevel
  uint8_t workArea2[712 - 444];
  uint32_t pluginOwn;  // the plug-in's own, outside the cleared area
  char* printerName;   // NUL-terminated narrow name in a 512-byte monitor buffer
};

// The plug-in export, run as the body of the parse thread.
using ParseFileFunction = void(CORVANTA_CDECL*)(void* context);

// First and one-past-last byte of the area a plug-in clears when it starts.
constexpr size_t kParserWorkAreaBegin = offsetof(ParserContext, workArea0);
constexpr size_t kParserWorkAreaEnd = offsetof(ParserContext, pluginOwn);
constexpr size_t kPrinterNameBufferSize = 512;

// Clears the working area, keeping the handles, the calibration flag, the keep
// percentages and the printer name (the first step of every parseFile).
inline void clearParserWorkArea(ParserContext* context) {
  const int8_t calibration = context->calibrationFlag;
  const int16_t black = context->blackKeepPercent;
  const int16_t color = context->colorKeepPercent;
  uint8_t* bytes = reinterpret_cast<uint8_t*>(context);
  for (size_t i = kParserWorkAreaBegin; i < kParserWorkAreaEnd; ++i) bytes[i] = 0;
  context->calibrationFlag = calibration;
  context->blackKeepPercent = black;
  context->colorKeepPercent = color;
}

#if defined(_WIN32) && !defined(_WIN64)
static_assert(offsetof(ParserContext, inputPipe) == 0, "ParserContext layout");
static_assert(offsetof(ParserContext, outputBuffer) == 4, "ParserContext layout");
static_assert(offsetof(ParserContext, calibrationFlag) == 56, "ParserContext layout");
static_assert(offsetof(ParserContext, blackKeepPercent) == 440, "ParserContext layout");
static_assert(offsetof(ParserContext, colorKeepPercent) == 442, "ParserContext layout");
static_assert(offsetof(ParserContext, pluginOwn) == 712, "ParserContext layout");
static_assert(offsetof(ParserContext, printerName) == 716, "ParserContext layout");
static_assert(sizeof(ParserContext) == 720, "ParserContext layout");
#endif
