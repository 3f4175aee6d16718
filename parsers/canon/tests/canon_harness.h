// Runs the Canon plug-in's parseFile over a byte string
// (testing/plugin_harness), and a recording stand-in for the reduction set.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "canon_parser.h"
#include "plugin_harness.h"

namespace canon_test {

using Bytes = std::vector<uint8_t>;

struct JobOptions {
  int8_t calibrationFlag = 0;
  int16_t blackKeep = 100;
  int16_t colorKeep = 100;
  std::string printerName = "Canon Test";
};

// The bytes parseFile wrote for `job`.
Bytes runJob(const Bytes& job, const JobOptions& options = {});
// The same run with the dot totals and keep percentages it left in the context.
plugin_test::PluginJobResult runJobWithTotals(const Bytes& job, const JobOptions& options = {});

struct ReduceCall {
  Bytes row;  // the row as handed in (reduceWidth bytes)
  int32_t isBlack;
  int32_t rowIndex;
};

// Records every call; planeReduce ANDs each row byte with `mask`.
struct Recorder {
  int openJobs = 0, openPages = 0, closePages = 0, closeJobs = 0;
  uint32_t blackWidth = 0, colorWidth = 0;
  int32_t blackLevel = 0, colorLevel = 0;
  std::vector<int32_t> calibrationPercentages;
  std::vector<ReduceCall> reduces;
  uint8_t mask = 0xFF;
  size_t reduceWidth = 0;  // bytes of a row, from the open page width
};

// Installs the recorder as the plug-in's reduction set while alive.
class RecordingReduction {
 public:
  RecordingReduction();
  ~RecordingReduction();
  Recorder& recorder();
};

// Command builders.
Bytes cmd(char letter, const Bytes& payload);        // ESC ( letter, LE length, payload
Bytes row(uint8_t colour, const Bytes& packbits);    // ESC ( A
Bytes band(const Bytes& rowsWithEnds);              // ESC ( F
Bytes resolution(uint16_t vertical, uint16_t horizontal);
Bytes skip(uint16_t count);
Bytes operator+(Bytes a, const Bytes& b);

}  // namespace canon_test
