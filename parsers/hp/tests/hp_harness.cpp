#include "hp_harness.h"

#include "hp_parser.h"
#include "test_seams.h"

namespace hp_test {

JobResult runJob(const Bytes& job, const JobOptions& options) {
  testing_seams::VirtualClock clock;  // the pipe's waits pass at once
  return plugin_test::runParseFile(parseFile, job, options);
}

}  // namespace hp_test
