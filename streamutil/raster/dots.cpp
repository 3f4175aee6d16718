// Dot counting for monochrome rows and the share of ink a thinning removed.
#include <array>
#include <cmath>
#include <cstring>

#include "VaskUtil.h"

namespace {

constexpr std::array<uint8_t, 256> makeBitCounts() {
  std::array<uint8_t, 256> table{};
  for (int v = 0; v < 256; ++v) {
    int bits = 0;
    for (int b = v; b; b >>= 1) bits += b & 1;
    table[static_cast<size_t>(v)] = static_cast<uint8_t>(bits);
  }
  return table;
}

constexpr std::array<uint8_t, 256> kBitCounts = makeBitCounts();
static_assert(kBitCounts[0] == 0 && kBitCounts[0x80] == 1 && kBitCounts[0xFF] == 8, "population counts");

}  // namespace

extern "C" {

int32_t CountDotsInPlane(const uint8_t* row, int32_t byteCount) {
  // The byte count is a signed 16-bit quantity.
  const int32_t count = static_cast<int16_t>(byteCount);
  if (!row || count <= 0) return 0;
  int32_t dots = 0;
  int32_t i = 0;
  for (; i + 8 <= count; i += 8) {
    uint64_t word;
    std::memcpy(&word, row + i, 8);
    // Bits per byte, then per word (the build targets have no popcount instruction to assume).
    word -= (word >> 1) & 0x5555555555555555ULL;
    word = (word & 0x3333333333333333ULL) + ((word >> 2) & 0x3333333333333333ULL);
    word = (word + (word >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
    dots += static_cast<int32_t>((word * 0x0101010101010101ULL) >> 56);
  }
  for (; i < count; ++i) dots += kBitCounts[row[i]];
  return dots;
}

double getPercentage(int32_t dotsBefore, int32_t dotsAfter) {
  if (dotsBefore == 0 || dotsAfter == 0) return 0.0;
  // A 64-bit product: counts whose product with 100 leaves 32 bits stay exact.
  const int64_t scaled = static_cast<int64_t>(dotsAfter) * 100;
  return std::fabs(static_cast<double>(scaled) / dotsBefore - 100.0);
}

}  // extern "C"
