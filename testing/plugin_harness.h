// Runs a parser plug-in's parseFile over a byte string the way the language
// monitor does: a ParserContext with real VaskUtil pipes, the job written
// into the input pipe from this thread while parseFile runs on its own, and
// everything the plug-in writes collected from the output buffer. Used by the
// plug-ins' tests, fuzz targets and benchmarks; the reduction set the plug-in
// uses is the caller's business (each plug-in has its own override).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "DotTotals.h"
#include "ParserContext.h"

namespace plugin_test {

struct PluginJobOptions {
  int8_t calibrationFlag = 0;
  int16_t blackKeep = 100;
  int16_t colorKeep = 100;
  std::string printerName = "Test Printer";
  uint32_t blockSize = 8192;  // the output buffer's block size
  bool keepOutput = true;     // false: the output is counted, not kept
};

struct PluginJobResult {
  std::string output;
  uint64_t outputBytes = 0;
  plugin::DotTotals totals{};          // as the plug-in left them in the context
  int16_t blackKeep = 0, colorKeep = 0;  // the context's keep percentages afterwards
};

PluginJobResult runParseFile(ParseFileFunction parseFile, const uint8_t* job, size_t size,
                             const PluginJobOptions& options = {});

inline PluginJobResult runParseFile(ParseFileFunction parseFile, const std::string& job,
                                    const PluginJobOptions& options = {}) {
  return runParseFile(parseFile, reinterpret_cast<const uint8_t*>(job.data()), job.size(), options);
}

}  // namespace plugin_test
