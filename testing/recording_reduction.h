// A recording stand-in for a plug-in's reduction set: every call is counted
// or kept, and plane reduce ANDs each row byte with a mask. Installed through
// the plug-in's own override while the RecordingReduction lives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "reduction.h"

namespace plugin_test {

struct ReduceCall {
  std::vector<uint8_t> row;  // as handed in: the page width of its kind (black or colour), in bytes
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

using SetReductionOverride = void (*)(const ReductionFunctions* functions);

class RecordingReduction {
 public:
  explicit RecordingReduction(SetReductionOverride setOverride);
  ~RecordingReduction();
  RecordingReduction(const RecordingReduction&) = delete;
  RecordingReduction& operator=(const RecordingReduction&) = delete;
  Recorder& recorder();

 private:
  SetReductionOverride setOverride_;
};

}  // namespace plugin_test
