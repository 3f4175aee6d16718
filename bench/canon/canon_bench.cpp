// parseFile of the Canon plug-in over Ghostscript Canon jobs (rendered at 360
// dpi into the build tree), next to `cat` of the same file in the same run.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "VaskUtil.h"
#include "canon_parser.h"
#include "platform.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The final one-second wait of parseFile is not part of the work measured;
// the pipe's short polls still sleep for real.
void benchSleep(uint32_t ms) {
  if (ms < 1000) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int discard(void*, const uint8_t*, uint32_t count, uint32_t* accepted) {
  *accepted = count;
  return 1;
}

void parseOnce(const Bytes& job) {
  char name[kPrinterNameBufferSize] = "Canon bench";
  ParserContext context{};
  context.inputPipe = InBuffer_initialize();
  context.outputBuffer = OutBuffer_initialize(discard, nullptr);
  OutBuffer_setBufferSize(context.outputBuffer, 16384);
  context.blackKeepPercent = 60;
  context.colorKeepPercent = 50;
  context.printerName = name;
  std::thread parser(parseFile, &context);
  // One write of the whole job: the pipe takes a write larger than its
  // capacity at once, so the feeding side never waits for room.
  InBuffer_writebytes(context.inputPipe, job.data(), static_cast<int32_t>(job.size()));
  InBuffer_terminate(context.inputPipe);
  OutBuffer_terminate(context.outputBuffer, 0);
  parser.join();
}

void parseJob(benchmark::State& state, std::string path) {
  std::ifstream in(path, std::ios::binary);
  const Bytes job{std::istreambuf_iterator<char>(in), {}};
  if (job.empty()) {
    state.SkipWithError("job missing");
    return;
  }
  parseOnce(job);  // threshold files are built by the first job of a printer
  for (auto _ : state) parseOnce(job);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(job.size()));
}

void catJob(benchmark::State& state, std::string path, int64_t size) {
  const std::string command = "cat '" + path + "' > /dev/null";
  for (auto _ : state)
    if (std::system(command.c_str()) != 0) state.SkipWithError("cat failed");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
}

}  // namespace

int main(int argc, char** argv) {
  platform::setSleepFunction(benchSleep);
  const std::string dir = CORVANTA_BENCH_DIR;
  for (const char* device : {"bjc600", "bjccmyk", "bjccolor"}) {
    const std::string path = dir + "/bench-canon-" + device + ".prn";
    const std::string render = std::string("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=") + device +
                               " -r360 -sPAPERSIZE=a4 -sOutputFile=" + path + " " + CORVANTA_CANON_PAGE;
    if (std::system(render.c_str()) != 0) continue;
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const int64_t size = static_cast<int64_t>(in.tellg());
    benchmark::RegisterBenchmark((std::string("cat/") + device).c_str(), catJob, path, size)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark((std::string("parseFile/") + device).c_str(), parseJob, path)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
