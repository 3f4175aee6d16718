// Threshold files and their loaded form. A file is a 20-byte header of five
// little-endian 32-bit words (level, rows, bytes per row, data size, 0) and
// data size bytes of matrix rows, row 0 first, most significant bit leftmost;
// a 1 bit keeps a dot. The data holds 50 rows more than the lookup rows, for
// plane rows wider than one matrix row.
#pragma once

#include <cstddef>
#include <cstdint>

namespace reduction {

constexpr uint32_t kHeaderBytes = 20;
constexpr uint32_t kExtraRows = 50;
// What the reduction library builds: 1200 lookup rows of 2400 pixels,
// filtered with a noise band of 40.
constexpr uint32_t kMatrixRows = 1200;
constexpr uint32_t kMatrixBytesPerRow = 300;
constexpr int32_t kMatrixNoise = 40;
constexpr uint32_t kMatrixFileBytes = kHeaderBytes + (kMatrixRows + kExtraRows) * kMatrixBytesPerRow;  // 375020

struct ThresholdHeader {
  uint32_t level;
  uint32_t rows;
  uint32_t bytesPerRow;
  uint32_t dataSize;
  uint32_t reserved;
};

void encodeHeader(const ThresholdHeader& header, uint8_t out[kHeaderBytes]);
ThresholdHeader decodeHeader(const uint8_t in[kHeaderBytes]);
// rows and bytes per row nonzero, and data for every lookup row plus the extra rows.
bool headerUsable(const ThresholdHeader& header);

// Load results.
enum : int {
  kLoadOk = 0,
  kLoadCannotOpen = -1,
  kLoadBadHeader = -2,  // short, or fields that do not describe usable data
  kLoadOtherLevel = -3,
  kLoadNoMemory = -4,
  kLoadShortData = -5,
};

class ThresholdMatrix {
 public:
  ThresholdMatrix() = default;
  ~ThresholdMatrix() { Unload(); }
  ThresholdMatrix(const ThresholdMatrix&) = delete;
  ThresholdMatrix& operator=(const ThresholdMatrix&) = delete;

  // Loads the file made for level (its low 16 bits) to serve rows of width
  // pixels. Returns one of the load results; on failure nothing stays loaded.
  int Load(const char* path, uint32_t width, int32_t level);
  // Copies ceil(width / 8) bytes from the start of lookup row (rowIndex mod
  // rows), continuing into the following rows; a copy that reaches the end of
  // the data goes on from its start. Copies nothing when not loaded.
  void Fetch(int32_t rowIndex, uint8_t* destination) const;
  // Clears in row[0..count) the dots that row rowIndex of the lookup data
  // drops, as Fetch followed by a byte-wise AND would; count must not exceed
  // the width in bytes.
  void Apply(int32_t rowIndex, uint8_t* row, size_t count) const;
  void Unload();

  bool loaded() const { return loaded_; }
  uint32_t width() const { return width_; }
  uint16_t expectedLevel() const { return expectedLevel_; }
  const ThresholdHeader& header() const { return header_; }
  const uint8_t* data() const { return data_; }

 private:
  uint16_t expectedLevel_ = 0;
  uint32_t width_ = 0;
  bool loaded_ = false;
  uint8_t* data_ = nullptr;
  ThresholdHeader header_{};
};

}  // namespace reduction
