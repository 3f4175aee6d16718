// parseFile of one parser plug-in (PLUGIN_MAKER, "hp" or "canon") over the
// sample jobs of its maker, in process and through the real pipes, next to
// `cat` of the same file in the same run. Pipe waits yield instead of
// sleeping and the Canon plug-in's final one-second wait is skipped, so the
// figures are the plug-in's own work.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "baseline_reporter.h"
#include "platform.h"
#include "plugin_harness.h"

extern "C" void CORVANTA_CDECL parseFile(void* context);

namespace {

void parseJob(benchmark::State& state, std::string path) {
  std::ifstream in(path, std::ios::binary);
  const std::string job{std::istreambuf_iterator<char>(in), {}};
  if (job.empty()) {
    state.SkipWithError("job missing");
    return;
  }
  plugin_test::PluginJobOptions options;
  options.printerName = "Plug-in bench";
  options.blackKeep = options.colorKeep = 75;
  options.keepOutput = false;
  options.blockSize = 16384;
  plugin_test::runParseFile(parseFile, job, options);  // the first job builds the threshold files
  for (auto _ : state) plugin_test::runParseFile(parseFile, job, options);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(job.size()));
}

void catJob(benchmark::State& state, std::string path, int64_t size) {
  const std::string command = "cat '" + path + "' > /dev/null";
  for (auto _ : state)
    if (std::system(command.c_str()) != 0) state.SkipWithError("cat failed");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
}

// The sample jobs of this plug-in's maker, rendered once into the build tree.
std::vector<std::string> sampleJobs() {
  const std::string command = std::string(CORVANTA_SOURCE_DIR) + "/scripts/make-sample-jobs " + CORVANTA_JOBS_DIR +
                              " 2>/dev/null";
  std::vector<std::string> jobs;
  std::FILE* list = popen(command.c_str(), "r");
  if (!list) return jobs;
  char line[4096];
  const std::string prefix = std::string(PLUGIN_MAKER) + "-";
  while (std::fgets(line, sizeof line, list)) {
    std::string path(line);
    while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
    const size_t slash = path.rfind('/');
    if (path.compare(slash == std::string::npos ? 0 : slash + 1, prefix.size(), prefix) == 0) jobs.push_back(path);
  }
  pclose(list);
  return jobs;
}

}  // namespace

int main(int argc, char** argv) {
  platform::setSleepFunction([](uint32_t) { std::this_thread::yield(); });
  platform::setDebugSink([](const char*) {});
  for (const std::string& path : sampleJobs()) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const int64_t size = static_cast<int64_t>(in.tellg());
    std::string name = path.substr(path.rfind('/') + 1);
    name = name.substr(0, name.rfind('.'));
    benchmark::RegisterBenchmark(("cat/" + name).c_str(), catJob, path, size)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("parseFile/" + name).c_str(), parseJob, path)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  benchmark::Initialize(&argc, argv);
  bench::BaselineReporter reporter("job", "cat");
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
