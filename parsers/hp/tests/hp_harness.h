// Runs the HP plug-in's parseFile over a byte string (testing/plugin_harness),
// with a recording stand-in for the reduction set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin_harness.h"

namespace hp_test {

using Bytes = std::string;

using JobOptions = plugin_test::PluginJobOptions;
using JobResult = plugin_test::PluginJobResult;

JobResult runJob(const Bytes& job, const JobOptions& options = {});

struct ReduceCall {
  std::vector<uint8_t> row;  // as handed in, reduceWidth bytes
  int32_t isBlack;
  int32_t rowIndex;
};

struct Recorder {
  int openJobs = 0, openPages = 0, closePages = 0, closeJobs = 0;
  uint32_t blackWidth = 0, colorWidth = 0;
  int32_t blackLevel = 0, colorLevel = 0;
  std::vector<int32_t> calibrationPercentages;
  std::vector<ReduceCall> reduces;
  uint8_t mask = 0xFF;  // planeReduce ANDs every byte with it
};

// Installs the recorder as the plug-in's reduction set while alive.
class RecordingReduction {
 public:
  RecordingReduction();
  ~RecordingReduction();
  Recorder& recorder();
};

inline Bytes esc(const std::string& rest) { return "\x1b" + rest; }

}  // namespace hp_test
