// The cost of one threshold file, and the page throughput of PlaneReduce and
// CalPlaneReduce against memcpy of the same rows measured in the same run.
// A page is US Letter at 600 dpi: 6600 rows of 5100 pixels (637 whole bytes),
// four planes per row (black and three colours).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "baseline_reporter.h"
#include "calibration.h"
#include "platform.h"
#include "reduction.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kWidth = 5100;
constexpr size_t kRowBytes = kWidth / 8;
constexpr int kPageRows = 6600;
constexpr int kPlanes = 4;
constexpr int kCalibrationRows = 600;  // one band-sized slice: live masks cost far more per row
constexpr const char* kPrinter = "Bench Printer";

// Rows of photo-like content, cycled through the page.
const std::vector<Bytes>& sourceRows() {
  static const std::vector<Bytes> rows = [] {
    std::mt19937 rng(3);
    std::vector<Bytes> r(64, Bytes(kRowBytes));
    for (Bytes& row : r)
      for (auto& b : row) b = static_cast<uint8_t>(rng() | rng());
    return r;
  }();
  return rows;
}

void pageBytes(benchmark::State& state, int rows) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * rows * kPlanes * static_cast<int64_t>(kRowBytes));
}

void memcpyPage(benchmark::State& state, int rows) {
  const auto& src = sourceRows();
  Bytes out(kRowBytes);
  for (auto _ : state) {
    for (int r = 0; r < rows; ++r) {
      for (int p = 0; p < kPlanes; ++p) {
        std::memcpy(out.data(), src[static_cast<size_t>(r + p) % src.size()].data(), kRowBytes);
        benchmark::ClobberMemory();
      }
    }
  }
  pageBytes(state, rows);
}

// Rows are copied into a work row first, as a parser decodes into one; the
// copy is part of both this figure and the memcpy baseline.
void thinPage(benchmark::State& state, ReductionFunctions set, int rows) {
  const auto& src = sourceRows();
  Bytes work(kRowBytes + 1);
  void* job = set.openJob(kPrinter);
  set.openPage(job, kWidth, 50, kWidth, 50);  // builds the files once, outside the timing
  if (set.setCalibrationPercentage) set.setCalibrationPercentage(job, 50);
  for (auto _ : state) {
    for (int r = 0; r < rows; ++r) {
      for (int p = 0; p < kPlanes; ++p) {
        std::memcpy(work.data(), src[static_cast<size_t>(r + p) % src.size()].data(), kRowBytes);
        benchmark::DoNotOptimize(set.planeReduce(job, work.data(), p == 0, r));
        benchmark::ClobberMemory();
      }
    }
  }
  set.closePage(job);
  set.closeJob(job);
  pageBytes(state, rows);
}

void buildFile(benchmark::State& state) {
  const std::string path = platform::appDataFolder() + "/bench-kfile.red";
  for (auto _ : state) {
    if (BuildThreshholdFile(path.c_str(), 300, 1200, 50, 40) != 0) state.SkipWithError("BuildThreshholdFile failed");
  }
  std::remove(path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  // Threshold files go to a folder of the benchmark's own in the build tree,
  // not the user's.
  if (!std::getenv("XDG_DATA_HOME")) {
    std::string self(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", &self[0], self.size());
    self.resize(n > 0 ? static_cast<size_t>(n) : 0);
    const std::string home = self.substr(0, self.rfind('/') + 1) + "bench-appdata";
    platform::createDirectory(home);
    setenv("XDG_DATA_HOME", home.c_str(), 1);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  const ReductionFunctions reductionSet = {OpenJob, OpenPage, PlaneReduce, ClosePage, CloseJob, nullptr};
  const ReductionFunctions calibrationSet = {CalOpenJob,   CalOpenPage, CalPlaneReduce,
                                             CalClosePage, CalCloseJob, CalSetCalibrationPercentage};
  benchmark::RegisterBenchmark("BuildThreshholdFile", buildFile)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("memcpy/page", memcpyPage, kPageRows)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("PlaneReduce/page", thinPage, reductionSet, kPageRows)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("memcpy/band", memcpyPage, kCalibrationRows)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("CalPlaneReduce/band", thinPage, calibrationSet, kCalibrationRows)
      ->Unit(benchmark::kMillisecond);
  bench::BaselineReporter reporter("call/page");
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
