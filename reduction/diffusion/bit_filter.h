// The dot generator shared by the reduction library (which stores its output
// in threshold files) and the calibration library (which runs it live).
//
// BitFilter turns one row of bits into another, pixel by pixel, scanning
// successive rows in alternating directions. ErrorDiffusionFilter keeps about
// level percent of the set bits, spreading the error to the next pixel and to
// both neighbours in the row, with a random threshold band. Its arithmetic is
// fixed to the bit: stored threshold matrices must be the same on every build.
#pragma once

#include <cstdint>

namespace reduction {

class BitFilter {
 public:
  BitFilter() = default;
  BitFilter(const BitFilter&) = delete;
  BitFilter& operator=(const BitFilter&) = delete;

  // Overridable steps, in this order: Start returns 0 or -1, End returns 0,
  // Process returns the output bit for pixel x.
  virtual int Start();
  virtual int End();
  virtual int Process(uint32_t x, int in);
  virtual ~BitFilter();

  // Stores width (pixels) and level, opens the filter, restarts the row count
  // and returns the result of Start.
  int Begin(uint32_t width, uint16_t level);
  void Finish();  // closes the filter, then End
  // Filters the first width bits of row (ceil(width / 8) bytes, most
  // significant bit leftmost) in place. Does nothing on a closed filter.
  void FilterRow(uint8_t* row);

  void setLevel(uint16_t level) { level_ = level; }
  uint16_t level() const { return level_; }
  uint32_t width() const { return width_; }
  bool isOpen() const { return open_; }
  uint32_t rowCount() const { return rowCount_; }

 private:
  uint16_t level_ = 0;
  uint32_t width_ = 0;
  bool open_ = false;
  uint32_t rowCount_ = 0;
};

class ErrorDiffusionFilter : public BitFilter {
 public:
  static constexpr uint16_t kDefaultNoise = 50;

  ErrorDiffusionFilter() = default;
  ~ErrorDiffusionFilter() override;

  int Start() override;  // carry 0, noise 50, a zeroed error row; -1 without memory
  int End() override;    // releases the error row
  int Process(uint32_t x, int in) override;
  void SetNoise(uint16_t noise);  // at least 1: the band width divides

  uint16_t noise() const { return noise_; }
  const int16_t* errorRow() const { return errorRow_; }
  int8_t carry() const { return carry_; }

 private:
  int16_t* errorRow_ = nullptr;
  int8_t carry_ = 0;
  uint16_t noise_ = kDefaultNoise;
};

// The weight arithmetic of Process. Each weight is a multiple of 1/16, so
// trunc(v * k/16 + e) is the exact quotient (16e + k v) / 16 truncated toward
// zero, which integer division gives on every compiler and processor.
constexpr int truncSixteenths(int v, int k, int e = 0) { return (v * k + 16 * e) / 16; }
// The low 8 and 16 bits of a value, read as signed.
constexpr int lowSigned8(int a) { return (a & 0xFF) >= 0x80 ? (a & 0xFF) - 0x100 : (a & 0xFF); }
constexpr int lowSigned16(int a) { return (a & 0xFFFF) >= 0x8000 ? (a & 0xFFFF) - 0x10000 : (a & 0xFFFF); }

}  // namespace reduction
