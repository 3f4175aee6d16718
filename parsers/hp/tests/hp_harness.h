// Runs the HP plug-in's parseFile over a byte string (testing/plugin_harness),
// with a recording stand-in for the reduction set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hp_parser.h"
#include "plugin_harness.h"
#include "recording_reduction.h"

namespace hp_test {

using Bytes = std::string;

using JobOptions = plugin_test::PluginJobOptions;
using JobResult = plugin_test::PluginJobResult;

JobResult runJob(const Bytes& job, const JobOptions& options = {});

using plugin_test::Recorder;
using plugin_test::ReduceCall;

// Installs the recorder as the plug-in's reduction set while alive.
struct RecordingReduction : plugin_test::RecordingReduction {
  RecordingReduction() : plugin_test::RecordingReduction(hp::setReductionOverride) {}
};

inline Bytes esc(const std::string& rest) { return "\x1b" + rest; }

}  // namespace hp_test
