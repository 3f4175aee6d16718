// Runs the Canon plug-in's parseFile over a byte string
// (testing/plugin_harness), and a recording stand-in for the reduction set.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "canon_parser.h"
#include "plugin_harness.h"
#include "recording_reduction.h"

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

using plugin_test::Recorder;
using plugin_test::ReduceCall;

// Installs the recorder as the plug-in's reduction set while alive.
struct RecordingReduction : plugin_test::RecordingReduction {
  RecordingReduction() : plugin_test::RecordingReduction(canon::setReductionOverride) {}
};

// Command builders.
Bytes cmd(char letter, const Bytes& payload);        // ESC ( letter, LE length, payload
Bytes row(uint8_t colour, const Bytes& packbits);    // ESC ( A
Bytes band(const Bytes& rowsWithEnds);              // ESC ( F
Bytes resolution(uint16_t vertical, uint16_t horizontal);
Bytes skip(uint16_t count);
Bytes operator+(Bytes a, const Bytes& b);

}  // namespace canon_test
