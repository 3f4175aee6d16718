#include "threshold_matrix.h"

#include <cstdio>
#include <cstring>

#include "block.h"

namespace reduction {
namespace {

void putWord(uint8_t* out, uint32_t value) {
  out[0] = static_cast<uint8_t>(value & 0xFF);
  out[1] = static_cast<uint8_t>((value >> 8) & 0xFF);
  out[2] = static_cast<uint8_t>((value >> 16) & 0xFF);
  out[3] = static_cast<uint8_t>((value >> 24) & 0xFF);
}

uint32_t getWord(const uint8_t* in) {
  return static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 | static_cast<uint32_t>(in[2]) << 16 |
         static_cast<uint32_t>(in[3]) << 24;
}

struct FileCloser {
  std::FILE* file;
  ~FileCloser() {
    if (file) std::fclose(file);
  }
};

// Bytes left from the current position to the end of the file, or -1.
long bytesLeft(std::FILE* file) {
  const long here = std::ftell(file);
  if (here < 0 || std::fseek(file, 0, SEEK_END) != 0) return -1;
  const long end = std::ftell(file);
  if (end < 0 || std::fseek(file, here, SEEK_SET) != 0) return -1;
  return end - here;
}

}  // namespace

void encodeHeader(const ThresholdHeader& header, uint8_t out[kHeaderBytes]) {
  putWord(out + 0, header.level);
  putWord(out + 4, header.rows);
  putWord(out + 8, header.bytesPerRow);
  putWord(out + 12, header.dataSize);
  putWord(out + 16, header.reserved);
}

ThresholdHeader decodeHeader(const uint8_t in[kHeaderBytes]) {
  return ThresholdHeader{getWord(in + 0), getWord(in + 4), getWord(in + 8), getWord(in + 12), getWord(in + 16)};
}

bool headerUsable(const ThresholdHeader& header) {
  if (header.rows == 0 || header.bytesPerRow == 0) return false;
  const uint64_t needed = (uint64_t{header.rows} + kExtraRows) * header.bytesPerRow;
  return header.dataSize >= needed;
}

int ThresholdMatrix::Load(const char* path, uint32_t width, int32_t level) {
  Unload();
  width_ = width;
  expectedLevel_ = static_cast<uint16_t>(level & 0xFFFF);
  header_ = ThresholdHeader{};
  if (!path) return kLoadCannotOpen;

  FileCloser file{std::fopen(path, "rb")};
  if (!file.file) return kLoadCannotOpen;
  uint8_t raw[kHeaderBytes];
  if (std::fread(raw, 1, sizeof raw, file.file) != sizeof raw) return kLoadBadHeader;
  header_ = decodeHeader(raw);
  if (header_.level != expectedLevel_) return kLoadOtherLevel;
  if (!headerUsable(header_)) return kLoadBadHeader;
  // A data size beyond the end of the file cannot be read; no need to allocate it.
  const long left = bytesLeft(file.file);
  if (left < 0 || static_cast<uint64_t>(left) < header_.dataSize) return kLoadShortData;

  uint8_t* data = static_cast<uint8_t*>(allocBlock(header_.dataSize));
  if (!data) return kLoadNoMemory;
  if (std::fread(data, 1, header_.dataSize, file.file) != header_.dataSize) {
    freeBlock(data);
    return kLoadShortData;
  }
  data_ = data;
  loaded_ = true;
  return kLoadOk;
}

void ThresholdMatrix::Fetch(int32_t rowIndex, uint8_t* destination) const {
  if (!loaded_ || !destination) return;
  // The index is taken as unsigned, so a negative one still names a lookup row.
  const size_t start = size_t{static_cast<uint32_t>(rowIndex) % header_.rows} * header_.bytesPerRow;
  size_t wanted = static_cast<size_t>((uint64_t{width_} + 7) / 8);
  size_t from = start;
  while (wanted > 0) {
    const size_t chunk = wanted < header_.dataSize - from ? wanted : header_.dataSize - from;
    std::memcpy(destination, data_ + from, chunk);
    destination += chunk;
    wanted -= chunk;
    from = 0;
  }
}

void ThresholdMatrix::Apply(int32_t rowIndex, uint8_t* row, size_t count) const {
  if (!loaded_ || !row) return;
  size_t from = size_t{static_cast<uint32_t>(rowIndex) % header_.rows} * header_.bytesPerRow;
  while (count > 0) {
    const size_t chunk = count < header_.dataSize - from ? count : header_.dataSize - from;
    const uint8_t* mask = data_ + from;
    size_t i = 0;
    for (; i + 8 <= chunk; i += 8) {
      uint64_t a, b;
      std::memcpy(&a, row + i, 8);
      std::memcpy(&b, mask + i, 8);
      a &= b;
      std::memcpy(row + i, &a, 8);
    }
    for (; i < chunk; ++i) row[i] &= mask[i];
    row += chunk;
    count -= chunk;
    from = 0;
  }
}

void ThresholdMatrix::Unload() {
  freeBlock(data_);
  data_ = nullptr;
  loaded_ = false;
}

}  // namespace reduction
