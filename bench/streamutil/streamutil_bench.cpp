// Row codecs and dot counting on printer-like rows, against memcpy of the same
// bytes row by row. Each benchmark processes one page band of rows per
// iteration; bytes_per_second counts plain (decoded) row bytes, so every
// figure compares directly with its memcpy baseline. A summary of the ratios
// closes the run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "VaskUtil.h"
#include "baseline_reporter.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kRows = 256;
constexpr int kRowBytes = 640;  // one plane of a 600 dpi row, 8.5 inches wide

// Three kinds of content: sparse text lines, dense dithered photo, and the
// blank rows between them.
enum class Content { Text, Photo, Blank };

const char* name(Content c) {
  switch (c) {
    case Content::Text: return "text";
    case Content::Photo: return "photo";
    case Content::Blank: return "blank";
  }
  return "?";
}

std::vector<Bytes> makeRows(Content content) {
  std::mt19937 rng(static_cast<uint32_t>(content) + 1);
  std::vector<Bytes> rows;
  Bytes previous(kRowBytes, 0);
  for (int r = 0; r < kRows; ++r) {
    Bytes row(kRowBytes, 0);
    if (content == Content::Text) {
      // Glyph strokes: short runs of ink in a mostly blank row, similar from row to row.
      row = previous;
      for (int k = 0; k < 12; ++k) {
        const size_t at = rng() % kRowBytes;
        const size_t len = 1 + rng() % 6;
        const uint8_t v = rng() % 3 == 0 ? 0xFF : static_cast<uint8_t>(rng());
        for (size_t i = at; i < at + len && i < row.size(); ++i) row[i] = rng() % 4 ? v : 0;
      }
    } else if (content == Content::Photo) {
      for (auto& b : row) b = static_cast<uint8_t>(rng() & rng());  // about a quarter of the dots set
    }
    previous = row;
    rows.push_back(row);
  }
  return rows;
}

Bytes encodeMode2(const Bytes& row) {
  Bytes out(row.size() * 2 + 16);
  out.resize(static_cast<size_t>(CompressMode2(row.data(), 0, static_cast<int32_t>(row.size()), out.data(), 0)));
  return out;
}

// A mode 9 encoder for the benchmark's input: literal replacements of the
// bytes that differ from the previous row.
void putExtended(Bytes& out, size_t value) {
  while (value >= 255) {
    out.push_back(255);
    value -= 255;
  }
  out.push_back(static_cast<uint8_t>(value));
}

Bytes encodeMode9(const Bytes& previous, const Bytes& row) {
  Bytes out;
  size_t position = 0;
  size_t i = 0;
  while (i < row.size()) {
    if (row[i] == previous[i]) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < row.size() && row[end] != previous[end]) ++end;
    const size_t offset = i - position;
    const size_t count = end - i - 1;  // count field holds bytes - 1
    out.push_back(static_cast<uint8_t>((offset < 15 ? offset : 15) << 3 | (count < 7 ? count : 7)));
    if (offset >= 15) putExtended(out, offset - 15);
    if (count >= 7) putExtended(out, count - 7);
    out.insert(out.end(), row.begin() + static_cast<long>(i), row.begin() + static_cast<long>(end));
    position = end;
    i = end;
  }
  return out;
}

struct Band {
  std::vector<Bytes> rows;
  std::vector<Bytes> mode2;
  std::vector<Bytes> mode9;
  size_t plainBytes = 0;
};

const Band& band(Content content) {
  static std::map<Content, Band> bands;
  auto it = bands.find(content);
  if (it != bands.end()) return it->second;
  Band b;
  b.rows = makeRows(content);
  Bytes previous(kRowBytes, 0);
  for (const Bytes& row : b.rows) {
    b.mode2.push_back(encodeMode2(row));
    b.mode9.push_back(encodeMode9(previous, row));
    previous = row;
    b.plainBytes += row.size();
  }
  // The input must be what it claims to be.
  Bytes check(kRowBytes), seed(kRowBytes, 0);
  for (size_t r = 0; r < b.rows.size(); ++r) {
    const int32_t n = decodePlaneToTableBounded(b.mode2[r].data(), static_cast<int32_t>(b.mode2[r].size()), check.data(), kRowBytes);
    decompressMode9Bounded(b.mode9[r].data(), static_cast<int32_t>(b.mode9[r].size()), seed.data(), kRowBytes);
    if (n != kRowBytes || check != b.rows[r] || seed != b.rows[r]) {
      std::fprintf(stderr, "ERROR: benchmark rows do not round-trip (%s row %zu)\n", name(content), r);
      std::abort();
    }
  }
  return bands.emplace(content, std::move(b)).first->second;
}

void finish(benchmark::State& state, const Band& b) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(b.plainBytes));
}

void memcpyRows(benchmark::State& state, Content content) {
  const Band& b = band(content);
  Bytes out(kRowBytes);
  for (auto _ : state) {
    for (const Bytes& row : b.rows) {
      std::memcpy(out.data(), row.data(), row.size());
      benchmark::ClobberMemory();
    }
  }
  finish(state, b);
}

void decodeMode2(benchmark::State& state, Content content) {
  const Band& b = band(content);
  Bytes out(kRowBytes);
  for (auto _ : state) {
    for (const Bytes& encoded : b.mode2) {
      benchmark::DoNotOptimize(
          decodePlaneToTableBounded(encoded.data(), static_cast<int32_t>(encoded.size()), out.data(), kRowBytes));
      benchmark::ClobberMemory();
    }
  }
  finish(state, b);
}

void compressMode2(benchmark::State& state, Content content) {
  const Band& b = band(content);
  Bytes out(kRowBytes * 2);
  for (auto _ : state) {
    for (const Bytes& row : b.rows) {
      benchmark::DoNotOptimize(CompressMode2(row.data(), 0, kRowBytes, out.data(), 1));
      benchmark::ClobberMemory();
    }
  }
  finish(state, b);
}

void decompressMode9Rows(benchmark::State& state, Content content) {
  const Band& b = band(content);
  Bytes seed(kRowBytes, 0);
  for (auto _ : state) {
    std::fill(seed.begin(), seed.end(), 0);
    for (const Bytes& delta : b.mode9) {
      benchmark::DoNotOptimize(decompressMode9Bounded(delta.data(), static_cast<int32_t>(delta.size()), seed.data(), kRowBytes));
      benchmark::ClobberMemory();
    }
  }
  finish(state, b);
}

void countDots(benchmark::State& state, Content content) {
  const Band& b = band(content);
  for (auto _ : state) {
    for (const Bytes& row : b.rows) benchmark::DoNotOptimize(CountDotsInPlane(row.data(), kRowBytes));
  }
  finish(state, b);
}

// The pipe as a parser reads it: 64 KiB written in spooler-sized buffers, read
// back byte by byte (command parsing) or in 4 KiB blocks (raster rows).
constexpr int kPipeBytes = 65536;
constexpr int kSpoolerWrite = 8192;

const Bytes& pipeJob() {
  static const Bytes job = [] {
    Bytes b(kPipeBytes);
    std::mt19937 rng(5);
    for (auto& v : b) v = static_cast<uint8_t>(rng());
    return b;
  }();
  return job;
}

void memcpyPipe(benchmark::State& state) {
  const Bytes& job = pipeJob();
  Bytes out(kPipeBytes);
  for (auto _ : state) {
    for (int at = 0; at < kPipeBytes; at += kSpoolerWrite) {
      std::memcpy(out.data() + at, job.data() + at, kSpoolerWrite);
      benchmark::ClobberMemory();
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kPipeBytes);
}

void pipeRead(benchmark::State& state, bool byteByByte) {
  const Bytes& job = pipeJob();
  Bytes out(kPipeBytes);
  void* pipe = InBuffer_initialize();
  for (auto _ : state) {
    for (int at = 0; at < kPipeBytes; at += kSpoolerWrite) InBuffer_writebytes(pipe, job.data() + at, kSpoolerWrite);
    if (byteByByte) {
      for (int i = 0; i < kPipeBytes; ++i) out[static_cast<size_t>(i)] = static_cast<uint8_t>(InBuffer_getc(pipe));
    } else {
      for (int at = 0; at < kPipeBytes; at += 4096) InBuffer_readbytes(pipe, out.data() + at, 4096);
    }
    benchmark::ClobberMemory();
  }
  InBuffer_threadDone(pipe);
  InBuffer_terminate(pipe);
  if (out != job) state.SkipWithError("the pipe changed the bytes");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kPipeBytes);
}

void registerAll() {
  benchmark::RegisterBenchmark("memcpy/pipe", memcpyPipe);
  benchmark::RegisterBenchmark("InBuffer_getc/pipe", pipeRead, true);
  benchmark::RegisterBenchmark("InBuffer_readbytes/pipe", pipeRead, false);
  for (Content c : {Content::Text, Content::Photo, Content::Blank}) {
    const std::string suffix = std::string("/") + name(c);
    benchmark::RegisterBenchmark(("memcpy" + suffix).c_str(), memcpyRows, c);
    benchmark::RegisterBenchmark(("decodePlaneToTable" + suffix).c_str(), decodeMode2, c);
    benchmark::RegisterBenchmark(("CompressMode2" + suffix).c_str(), compressMode2, c);
    // Blank rows repeat the blank seed: their delta rows are empty.
    if (c != Content::Blank) {
      benchmark::RegisterBenchmark(("decompressMode9" + suffix).c_str(), decompressMode9Rows, c);
    }
    benchmark::RegisterBenchmark(("CountDotsInPlane" + suffix).c_str(), countDots, c);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  registerAll();
  bench::BaselineReporter reporter("codec/content");
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
