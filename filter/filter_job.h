// Runs one print job through a parser plug-in the way the language monitor
// does: the job's bytes go into a VaskUtil input pipe, the plug-in's parseFile
// reads them on a thread of its own and writes the rewritten job into a
// VaskUtil output buffer, whose delivery function writes to the output file.
#pragma once

#include <cstdint>
#include <string>
#include <thread>

#include "DotTotals.h"
#include "ParserContext.h"
#include "filter_options.h"

namespace filter {

// The plug-in library of a maker ("libVaskHP.so", "libVaskCA.so").
const char* pluginFileName(Maker maker);

// Loads the maker's plug-in, beside the executable first, then through the
// normal library search, and finds parseFile. The library stays loaded for the
// life of the process (a parse thread may still be running in it). nullptr
// with `error` set on failure.
ParseFileFunction loadPlugin(Maker maker, std::string& error);

struct JobSettings {
  int8_t calibrationFlag = 0;
  int16_t blackKeep = 75;  // percent of dots to keep
  int16_t colorKeep = 75;
  std::string printerName;
  bool keepCopies = false;  // keep the input and output bytes (for previews)
};

struct JobResult {
  bool ok = false;
  std::string error;          // what went wrong, when !ok
  bool outputFailed = false;  // the error was in writing the output
  uint64_t inputBytes = 0, outputBytes = 0;
  plugin::DotTotals totals{};
  std::string input, output;  // with keepCopies
  // The parse thread. The job is complete when runJob returns, but parseFile
  // may still be finishing (VaskCA waits a second before returning): join it
  // before the process ends, or detach it and keep the plug-in loaded.
  std::thread parser;
};

// Reads inputFd to its end and writes the rewritten job to outputFd. Stops
// at the first read or write error (the rest of the output is discarded).
JobResult runJob(ParseFileFunction parseFile, int inputFd, int outputFd, const JobSettings& settings);

}  // namespace filter
