// Dot counting for monochrome rows and the share of ink a thinning removed.
#include <array>
#include <cmath>

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
  for (int32_t i = 0; i < count; ++i) dots += kBitCounts[row[i]];
  return dots;
}

double getPercentage(int32_t dotsBefore, int32_t dotsAfter) {
  if (dotsBefore == 0 || dotsAfter == 0) return 0.0;
  // A 64-bit product: counts whose product with 100 leaves 32 bits stay exact.
  const int64_t scaled = static_cast<int64_t>(dotsAfter) * 100;
  return std::fabs(static_cast<double>(scaled) / dotsBefore - 100.0);
}

}  // extern "C"
