// BuildThreshholdFile: generates a threshold matrix with the error-diffusion
// filter and writes it as a threshold file. The file is written under a name
// of its own and renamed into place only when complete, so a reader (or a
// second builder of the same printer's file) never sees a half-written one.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "bit_filter.h"
#include "block.h"
#include "platform.h"
#include "reduction.h"
#include "threshold_matrix.h"

#if defined(_WIN32)
#include <process.h>  // _getpid
#else
#include <unistd.h>  // getpid
#endif

namespace reduction {
namespace {

constexpr uint32_t kWarmUpRows = 50;
constexpr int kPublishAttempts = 250;  // about 2 s with the growing pauses below

enum : int32_t { kBuildOk = 0, kBuildCannotCreate = -1, kBuildNoMemory = -4, kBuildShortWrite = -6 };

std::string temporaryName(const char* path) {
  static std::atomic<uint32_t> counter{0};
#if defined(_WIN32)
  const long pid = _getpid();
#else
  const long pid = static_cast<long>(getpid());
#endif
  char suffix[48];
  std::snprintf(suffix, sizeof suffix, ".%lx-%x.tmp", pid, static_cast<unsigned>(++counter));
  return std::string(path) + suffix;
}

// Moves the finished file into place. Windows' rename does not replace an
// existing file, and cannot remove one a reader still holds open, so the old
// file is removed and the move retried for a while: pages being opened on
// other ports may hold the old file open for a moment at a time.
bool publish(const std::string& temporary, const char* path) {
  for (int attempt = 0; attempt < kPublishAttempts; ++attempt) {
    if (std::rename(temporary.c_str(), path) == 0) return true;
    std::remove(path);
    if (attempt > 0) platform::sleepMs(attempt < 10 ? 1 : 8);
  }
  std::remove(temporary.c_str());
  return false;
}

struct BuildResources {
  uint8_t* row = nullptr;
  std::FILE* file = nullptr;
  std::string temporary;
  ErrorDiffusionFilter* filter = nullptr;

  ~BuildResources() {
    if (filter) {
      if (filter->isOpen()) filter->Finish();
      destroyObject(filter);
    }
    if (file) {
      std::fclose(file);
      std::remove(temporary.c_str());  // only reached when the file is not complete
    }
    freeBlock(row);
  }
};

int32_t build(const char* path, uint32_t bytesPerRow, int32_t rows, int32_t level, int32_t noise) {
  // Arguments that cannot describe a file (no row bytes, negative rows, a
  // data size beyond 32 bits) are refused before anything is written.
  if (!path || !*path || bytesPerRow == 0 || rows < 0) return kBuildCannotCreate;
  const uint64_t dataSize = (uint64_t{static_cast<uint32_t>(rows)} + kExtraRows) * bytesPerRow;
  if (dataSize > UINT32_MAX) return kBuildCannotCreate;

  BuildResources res;
  res.row = static_cast<uint8_t*>(allocBlock(bytesPerRow));
  if (!res.row) return kBuildNoMemory;
  res.temporary = temporaryName(path);
  res.file = std::fopen(res.temporary.c_str(), "wb");
  if (!res.file) return kBuildCannotCreate;

  const ThresholdHeader header{static_cast<uint32_t>(level) & 0xFFFF, static_cast<uint32_t>(rows), bytesPerRow,
                               static_cast<uint32_t>(dataSize), 0};
  uint8_t raw[kHeaderBytes];
  encodeHeader(header, raw);
  if (std::fwrite(raw, 1, sizeof raw, res.file) != sizeof raw) return kBuildShortWrite;

  res.filter = createObject<ErrorDiffusionFilter>();
  if (!res.filter) return kBuildNoMemory;
  const int started = res.filter->Begin(bytesPerRow * 8, static_cast<uint16_t>(level & 0xFFFF));
  if (started != 0) return started;
  res.filter->SetNoise(static_cast<uint16_t>(noise & 0xFFFF));

  for (uint32_t i = 0; i < kWarmUpRows; ++i) {
    std::memset(res.row, 0xFF, bytesPerRow);
    res.filter->FilterRow(res.row);
  }
  const uint32_t written = static_cast<uint32_t>(rows) + kExtraRows;
  for (uint32_t i = 0; i < written; ++i) {
    std::memset(res.row, 0xFF, bytesPerRow);
    res.filter->FilterRow(res.row);
    // A short file would fail every later load and be rebuilt for every page.
    if (std::fwrite(res.row, 1, bytesPerRow, res.file) != bytesPerRow) return kBuildShortWrite;
  }

  std::FILE* file = res.file;
  res.file = nullptr;
  if (std::fclose(file) != 0) {
    std::remove(res.temporary.c_str());
    return kBuildShortWrite;
  }
  return publish(res.temporary, path) ? kBuildOk : kBuildCannotCreate;
}

}  // namespace
}  // namespace reduction

extern "C" int32_t BuildThreshholdFile(const char* path, uint32_t bytesPerRow, int32_t rows, int32_t level,
                                       int32_t noise) {
  try {
    return reduction::build(path, bytesPerRow, rows, level, noise);
  } catch (...) {
    return -4;  // std::string could not allocate the temporary name
  }
}
