#include "bitmap_file.h"

#include <cstdio>
#include <cstdlib>

namespace control_panel {
namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;

uint16_t read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t read32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

bool readWholeFile(const char* path, std::vector<uint8_t>& bytes) {
  FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  bool ok = std::fseek(file, 0, SEEK_END) == 0;
  const long size = ok ? std::ftell(file) : -1;
  // The size field is 32 bits: a larger file cannot be a valid bitmap.
  ok = ok && size >= 0 && static_cast<unsigned long long>(size) <= 0xFFFFFFFFull && std::fseek(file, 0, SEEK_SET) == 0;
  if (ok) {
    bytes.resize(static_cast<size_t>(size));
    ok = bytes.empty() || std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
  }
  std::fclose(file);
  return ok;
}

}  // namespace

bool BitmapFile::load(const char* path) {
  info_ = nullptr;
  bits_ = nullptr;
  width_ = height_ = 0;
  bytes_.clear();
  if (!path || !readWholeFile(path, bytes_)) return false;
  const uint64_t size = bytes_.size();
  const uint8_t* p = bytes_.data();
  if (size < kFileHeaderSize + 4 || read16(p) != 0x4D42 || read32(p + 2) != size) return false;
  const uint32_t headerSize = read32(p + 14);
  const uint64_t pixelOffset = read32(p + 10);
  if (headerSize != kCoreHeaderSize && headerSize < kInfoHeaderSize) return false;
  if (kFileHeaderSize + uint64_t{headerSize} > size) return false;

  int64_t width, height;
  uint32_t bitCount, compression = BI_RGB, colours = 0, imageSize = 0;
  uint64_t tableEntry;
  if (headerSize == kCoreHeaderSize) {
    width = read16(p + 18);
    height = read16(p + 20);
    bitCount = read16(p + 24);
    tableEntry = 3;
  } else {
    width = static_cast<int32_t>(read32(p + 18));
    height = static_cast<int32_t>(read32(p + 22));
    bitCount = read16(p + 28);
    compression = read32(p + 30);
    imageSize = read32(p + 34);
    colours = read32(p + 46);
    tableEntry = 4;
  }
  const int64_t rows = std::llabs(height);
  if (width <= 0 || rows == 0 || width > 0x7FFF'FFFF || rows > 0x7FFF'FFFF) return false;

  // Colour table (or the three masks of BI_BITFIELDS) after the header.
  uint64_t tableSize = 0;
  if (bitCount == 1 || bitCount == 4 || bitCount == 8) {
    const uint64_t most = uint64_t{1} << bitCount;
    tableSize = (colours == 0 || colours > most ? most : colours) * tableEntry;
  } else if (bitCount == 16 || bitCount == 32) {
    if (compression == BI_BITFIELDS && headerSize == kInfoHeaderSize) tableSize = 12;
  } else if (bitCount != 24) {
    return false;
  }
  if (kFileHeaderSize + headerSize + tableSize > size) return false;

  // Pixel rows, padded to 32 bits; compressed data by its stated size.
  uint64_t pixelBytes;
  if (compression == BI_RGB || compression == BI_BITFIELDS) {
    if (compression == BI_BITFIELDS && bitCount != 16 && bitCount != 32) return false;
    pixelBytes = (static_cast<uint64_t>(width) * bitCount + 31) / 32 * 4 * static_cast<uint64_t>(rows);
  } else if ((compression == BI_RLE8 && bitCount == 8) || (compression == BI_RLE4 && bitCount == 4)) {
    if (height < 0 || imageSize == 0) return false;
    pixelBytes = imageSize;
  } else {
    return false;
  }
  if (pixelOffset < kFileHeaderSize + headerSize || pixelOffset > size || pixelBytes > size - pixelOffset)
    return false;

  info_ = reinterpret_cast<const BITMAPINFO*>(p + kFileHeaderSize);
  bits_ = p + pixelOffset;
  width_ = static_cast<int>(width);
  height_ = static_cast<int>(rows);
  return true;
}

void BitmapFile::draw(HDC dc, int x, int y, int width, int height) const {
  if (!valid()) return;
  StretchDIBits(dc, x, y, width, height, 0, 0, width_, height_, bits_, info_, DIB_RGB_COLORS, SRCCOPY);
}

}  // namespace control_panel
