#include "bit_filter.h"

#include <cstddef>

#include "block.h"
#include "random.h"

namespace reduction {

int BitFilter::Start() { return 0; }
int BitFilter::End() { return 0; }
int BitFilter::Process(uint32_t, int in) { return in; }

BitFilter::~BitFilter() {
  if (open_) Finish();
}

int BitFilter::Begin(uint32_t width, uint16_t level) {
  width_ = width;
  level_ = level;
  open_ = true;
  rowCount_ = 0;
  return Start();
}

void BitFilter::Finish() {
  open_ = false;
  End();
}

void BitFilter::FilterRow(uint8_t* row) {
  if (!open_ || !row) return;
  auto step = [this, row](uint32_t x) {
    uint8_t& byte = row[x >> 3];
    const uint8_t mask = static_cast<uint8_t>(0x80u >> (x & 7));
    const int in = (byte & mask) ? 1 : 0;
    const int out = Process(x, in);
    if (out != in) byte = static_cast<uint8_t>(out ? (byte | mask) : (byte & ~mask));
  };
  if (rowCount_ % 2 == 0) {
    for (uint32_t x = 0; x < width_; ++x) step(x);
  } else {
    for (uint32_t x = width_; x-- > 0;) step(x);
  }
  ++rowCount_;
}

ErrorDiffusionFilter::~ErrorDiffusionFilter() {
  // Deleting an open filter ends it here, where End still releases the error row.
  if (isOpen()) Finish();
}

int ErrorDiffusionFilter::Start() {
  carry_ = 0;
  noise_ = kDefaultNoise;
  freeBlock(errorRow_);  // a Begin without Finish must not leak the old row
  errorRow_ = nullptr;
  const uint64_t bytes = uint64_t{width()} * sizeof(int16_t);
  if (static_cast<size_t>(bytes) != bytes) return -1;  // beyond a 32-bit address space
  errorRow_ = static_cast<int16_t*>(allocBlock(static_cast<size_t>(bytes)));
  return errorRow_ ? 0 : -1;
}

int ErrorDiffusionFilter::End() {
  freeBlock(errorRow_);
  errorRow_ = nullptr;
  return 0;
}

void ErrorDiffusionFilter::SetNoise(uint16_t noise) { noise_ = noise ? noise : 1; }

int ErrorDiffusionFilter::Process(uint32_t x, int in) {
  if (!errorRow_) return in;  // Start failed: nothing to diffuse into
  const bool oddRow = (rowCount() & 1) != 0;
  int16_t* error = errorRow_;

  int v = static_cast<int>(level()) * in + error[x] + carry_;
  const int r = nextRandom();
  const int t = (r % noise_) - (noise_ / 2) + 50;
  const bool on = v >= t;
  if (on) v -= 100;
  carry_ = static_cast<int8_t>(lowSigned8(truncSixteenths(v, 7)));     // 0.4375
  error[x] = static_cast<int16_t>(lowSigned8(truncSixteenths(v, 5)));  // 0.3125, through 8 bits

  const uint32_t last = width() - 1;
  const uint32_t xr = x == last ? 0 : x + 1;
  error[xr] = static_cast<int16_t>(lowSigned16(truncSixteenths(v, oddRow ? 3 : 1, error[xr])));
  const uint32_t xl = x == 0 ? last : x - 1;
  error[xl] = static_cast<int16_t>(lowSigned16(truncSixteenths(v, oddRow ? 1 : 3, error[xl])));
  return on ? 1 : 0;
}

}  // namespace reduction
