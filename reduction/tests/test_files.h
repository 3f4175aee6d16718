// File helpers shared by the reduction and calibration suites.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform.h"

namespace reduction_tests {

using Bytes = std::vector<uint8_t>;

// A folder of the suite's own under the application-data folder.
inline std::string scratchFolder(const std::string& name) {
  const std::string base = platform::appDataFolder();
  const char sep = platform::pathSeparator();
  platform::createDirectory(base);
  std::string folder = base + sep + "ReductionTests";
  platform::createDirectory(folder);
  folder += sep + name;
  platform::createDirectory(folder);
  return folder + sep;
}

inline bool fileExists(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f) std::fclose(f);
  return f != nullptr;
}

inline Bytes readFile(const std::string& path) {
  Bytes bytes;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return bytes;
  uint8_t chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  std::fclose(f);
  return bytes;
}

inline void writeFile(const std::string& path, const Bytes& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// FNV-1a, 64 bits: a digest that needs no library and is the same everywhere.
inline uint64_t digest(const Bytes& bytes) {
  uint64_t h = 1469598103934665603ull;
  for (uint8_t b : bytes) {
    h ^= b;
    h *= 1099511628211ull;
  }
  return h;
}

inline uint32_t word(const Bytes& bytes, size_t offset) {
  return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<uint32_t>(bytes[offset + 2]) << 16 | static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

inline size_t countOnes(const uint8_t* data, size_t bytes) {
  size_t n = 0;
  for (size_t i = 0; i < bytes; ++i)
    for (uint8_t b = data[i]; b; b &= static_cast<uint8_t>(b - 1)) ++n;
  return n;
}

// Runs fn on a thread of its own, whose random state has never been used.
template <class F>
void onFreshThread(F fn) {
  std::thread t(fn);
  t.join();
}

// The digests of the threshold files the reduction library builds (300 bytes
// per row, 1200 rows, noise 40) for keep levels 25, 50 and 75. Every build,
// native, win32 and win64, must produce exactly these files.
constexpr uint64_t kDigestLevel25 = 14387857442386296233ull;
constexpr uint64_t kDigestLevel50 = 16988273204497725587ull;
constexpr uint64_t kDigestLevel75 = 16615885203119024975ull;

}  // namespace reduction_tests
