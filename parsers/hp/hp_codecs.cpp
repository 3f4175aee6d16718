#include "hp_codecs.h"

#include <algorithm>
#include <cstring>

namespace hp {
namespace {

// Extension bytes of a mode 9 or mode 10 field: 255s, then the rest.
uint8_t* putExtension(uint8_t* out, int32_t value) {
  while (value >= 255) {
    *out++ = 0xFF;
    value -= 255;
  }
  *out++ = static_cast<uint8_t>(value);
  return out;
}

}  // namespace

// Mode 9 command bytes: literal 0ooooccc (offset 15 and count 7 extend),
// run 1oocccccc with count + 2 bytes (offset 3 and count 31 extend).
int32_t encodeMode9(const uint8_t* row, const uint8_t* seed, int32_t width, uint8_t* destination) {
  uint8_t* out = destination;
  int32_t pos = 0;
  while (pos < width) {
    const int32_t skipStart = pos;
    while (pos < width && row[pos] == seed[pos]) ++pos;
    if (pos >= width) break;
    int32_t offset = pos - skipStart;
    int32_t end = pos;
    while (end < width && row[end] != seed[end]) ++end;
    while (pos < end) {
      int32_t same = 1;
      while (pos + same < end && row[pos + same] == row[pos]) ++same;
      if (same >= 4) {
        const int32_t count = same - 2;
        *out++ = static_cast<uint8_t>(0x80 | (std::min(offset, 3) << 5) | std::min(count, 31));
        if (offset >= 3) out = putExtension(out, offset - 3);
        if (count >= 31) out = putExtension(out, count - 31);
        *out++ = row[pos];
        pos += same;
        offset = 0;
        continue;
      }
      int32_t literalEnd = pos;
      while (literalEnd < end) {
        if (end - literalEnd <= 3) {
          literalEnd = end;
          break;
        }
        int32_t run = 1;
        while (run < 4 && row[literalEnd + run] == row[literalEnd]) ++run;
        if (run >= 4 && literalEnd > pos) break;
        ++literalEnd;
      }
      const int32_t count = literalEnd - pos - 1;
      *out++ = static_cast<uint8_t>((std::min(offset, 15) << 3) | std::min(count, 7));
      if (offset >= 15) out = putExtension(out, offset - 15);
      if (count >= 7) out = putExtension(out, count - 7);
      std::memcpy(out, row + pos, static_cast<size_t>(literalEnd - pos));
      out += literalEnd - pos;
      pos = literalEnd;
      offset = 0;
    }
  }
  return static_cast<int32_t>(out - destination);
}

namespace {

struct Pixel {
  uint8_t r, g, b;
};

Pixel pixelAt(const uint8_t* row, int32_t index) {
  return Pixel{row[3 * index], row[3 * index + 1], row[3 * index + 2]};
}

void putPixel(uint8_t* row, int32_t index, Pixel p) {
  row[3 * index] = p.r;
  row[3 * index + 1] = p.g;
  row[3 * index + 2] = p.b;
}

// Blue carries 7 significant bits.
bool samePixel(Pixel a, Pixel b) { return a.r == b.r && a.g == b.g && (a.b >> 1) == (b.b >> 1); }

constexpr Pixel kWhiteCache{0xFF, 0xFF, 0xFE};

int32_t signed5(uint32_t bits) {
  bits &= 0x1F;
  return (bits & 0x10) ? static_cast<int32_t>(bits) - 32 : static_cast<int32_t>(bits);
}

// Bounded reader over the encoded row.
struct Source {
  const uint8_t* bytes;
  int32_t length;
  int32_t at = 0;
  bool take(uint8_t* value) {
    if (at >= length) return false;
    *value = bytes[at++];
    return true;
  }
  bool extension(int32_t* field) {
    uint8_t b = 0;
    do {
      if (!take(&b)) return false;
      *field += b;
    } while (b == 0xFF);
    return true;
  }
  bool newPixel(Pixel above, Pixel* out) {
    uint8_t b0 = 0, b1 = 0, b2 = 0;
    if (!take(&b0) || !take(&b1)) return false;
    if (b0 & 0x80) {
      const uint32_t v = (static_cast<uint32_t>(b0) << 8) | b1;
      out->r = static_cast<uint8_t>(above.r + signed5(v >> 10));
      out->g = static_cast<uint8_t>(above.g + signed5(v >> 5));
      out->b = static_cast<uint8_t>(above.b + 2 * signed5(v));
      return true;
    }
    if (!take(&b2)) return false;
    const uint32_t v = (static_cast<uint32_t>(b0) << 16) | (static_cast<uint32_t>(b1) << 8) | b2;
    out->r = static_cast<uint8_t>(v >> 15);
    out->g = static_cast<uint8_t>(v >> 7);
    out->b = static_cast<uint8_t>((v & 0x7F) << 1);
    if ((out->r >> 1) == (out->g >> 1) && (out->g >> 1) == (out->b >> 1)) {
      out->b = out->g;
    } else {
      out->b = static_cast<uint8_t>(out->b | (out->b >> 7));
    }
    return true;
  }
};

enum : int32_t { kSourceNew = 0, kSourceWest = 1, kSourceNorthEast = 2, kSourceCache = 3 };

}  // namespace

int32_t decodeMode10(const uint8_t* source, int32_t sourceLength, uint8_t* seed, uint8_t* output,
                     int32_t rowBytes) {
  const int32_t width = rowBytes / 3;
  Source in{source, sourceLength};
  Pixel cache = kWhiteCache;
  int32_t pos = 0;
  auto seedOr = [&](int32_t index) { return index >= 0 && index < width ? pixelAt(seed, index) : kWhiteCache; };
  uint8_t command = 0;
  while (pos < width && in.take(&command)) {
    const bool run = (command & 0x80) != 0;
    const int32_t from = (command >> 5) & 0x03;
    int32_t offset = (command >> 3) & 0x03;
    const int32_t countField = command & 0x07;
    if (offset == 3 && !in.extension(&offset)) break;
    const int32_t copy = std::min(offset, width - pos);
    std::memcpy(output + 3 * pos, seed + 3 * pos, static_cast<size_t>(3 * copy));
    pos += copy;
    if (pos >= width) break;
    Pixel first{};
    bool ok = true;
    switch (from) {
      case kSourceNew:
        ok = in.newPixel(pixelAt(seed, pos), &first);
        if (ok) cache = first;
        break;
      // West: the pixel left of this one in the row being decoded, as
      // printers and other encoders read it.
      case kSourceWest: first = pos > 0 ? pixelAt(output, pos - 1) : kWhiteCache; break;
      case kSourceNorthEast: first = seedOr(pos + 1); break;
      default: first = cache; break;
    }
    if (!ok) break;
    if (run) {
      int32_t count = countField + 2;
      if (countField == 7 && !in.extension(&count)) count = 9;
      for (int32_t i = 0; i < count && pos < width; ++i) putPixel(output, pos++, first);
      continue;
    }
    int32_t total = countField + 1;
    bool extensionDue = countField == 7;
    int32_t written = 0;
    while (written < total && pos < width) {
      Pixel p = first;
      if (written > 0 || from == kSourceNew) {
        if (written > 0 && !in.newPixel(pixelAt(seed, pos), &p)) {
          ok = false;
          break;
        }
      }
      putPixel(output, pos++, p);
      ++written;
      if (extensionDue && written == total) {
        uint8_t e = 0;
        if (!in.take(&e)) break;
        total += e;
        extensionDue = e == 0xFF;
      }
    }
    if (!ok) break;
  }
  if (pos < width) std::memcpy(output + 3 * pos, seed + 3 * pos, static_cast<size_t>(3 * (width - pos)));
  std::memcpy(seed, output, static_cast<size_t>(3 * width));
  return 3 * width;
}

namespace {

uint8_t* putNewPixel(uint8_t* out, Pixel p, Pixel above) {
  const int32_t dr = static_cast<int32_t>(p.r) - above.r;
  const int32_t dg = static_cast<int32_t>(p.g) - above.g;
  const int32_t db = static_cast<int32_t>(p.b >> 1) - (above.b >> 1);
  auto small = [](int32_t d) { return d >= -16 && d <= 15; };
  if (small(dr) && small(dg) && small(db)) {
    const uint32_t v = 0x8000u | ((static_cast<uint32_t>(dr) & 0x1F) << 10) |
                       ((static_cast<uint32_t>(dg) & 0x1F) << 5) | (static_cast<uint32_t>(db) & 0x1F);
    *out++ = static_cast<uint8_t>(v >> 8);
    *out++ = static_cast<uint8_t>(v);
    return out;
  }
  const uint32_t v = (static_cast<uint32_t>(p.r) << 15) | (static_cast<uint32_t>(p.g) << 7) | (p.b >> 1);
  *out++ = static_cast<uint8_t>(v >> 16);
  *out++ = static_cast<uint8_t>(v >> 8);
  *out++ = static_cast<uint8_t>(v);
  return out;
}

}  // namespace

int32_t encodeMode10(const uint8_t* row, int32_t rowBytes, uint8_t* seed, uint8_t* destination) {
  const int32_t width = rowBytes / 3;
  uint8_t* out = destination;
  Pixel cache = kWhiteCache;
  int32_t pos = 0;
  auto rowPixel = [&](int32_t i) { return pixelAt(row, i); };
  auto seedPixel = [&](int32_t i) { return pixelAt(seed, i); };
  // Where the first pixel of a command comes from; a new pixel becomes the cache.
  auto chooseSource = [&](int32_t p) {
    const Pixel value = rowPixel(p);
    if (samePixel(value, cache)) return kSourceCache;
    if (p + 1 < width && samePixel(value, seedPixel(p + 1))) return kSourceNorthEast;
    // West only where the pixel to the left is unchanged from the seed, so a
    // decoder reading west from the seed row gets the same pixel.
    if (p > 0 && samePixel(value, rowPixel(p - 1)) && std::memcmp(row + 3 * (p - 1), seed + 3 * (p - 1), 3) == 0)
      return kSourceWest;
    cache = value;
    return kSourceNew;
  };
  while (pos < width) {
    const int32_t skipStart = pos;
    // Whole stretches of unchanged bytes first, eight pixels at a time.
    while (pos + 8 < width && std::memcmp(row + 3 * pos, seed + 3 * pos, 24) == 0) pos += 8;
    while (pos < width - 1 && samePixel(rowPixel(pos), seedPixel(pos))) ++pos;
    const int32_t offset = pos - skipStart;
    if (pos == width - 1 && samePixel(rowPixel(pos), seedPixel(pos))) break;
    const uint8_t offsetField = static_cast<uint8_t>(std::min(offset, 3) << 3);
    const int32_t p = pos;
    if (p == width - 1) {
      *out++ = offsetField;
      if (offset >= 3) out = putExtension(out, offset - 3);
      out = putNewPixel(out, rowPixel(p), seedPixel(p));
      ++pos;
      break;
    }
    int32_t q = p + 1;
    while (q < width - 1 && samePixel(rowPixel(q), rowPixel(p))) ++q;
    int32_t length = q - p;
    if (length >= 2) {
      if (q == width - 1 && samePixel(rowPixel(q), rowPixel(p))) ++length;
      const int32_t from = chooseSource(p);
      const int32_t count = length - 2;
      *out++ = static_cast<uint8_t>(0x80 | (from << 5) | offsetField | std::min(count, 7));
      if (offset >= 3) out = putExtension(out, offset - 3);
      if (from == kSourceNew) out = putNewPixel(out, rowPixel(p), seedPixel(p));
      if (count >= 7) out = putExtension(out, count - 7);
      pos = p + length;
      continue;
    }
    q = p + 1;
    while (q < width) {
      if (q == width - 1) {
        ++q;
        break;
      }
      if (samePixel(rowPixel(q), rowPixel(q + 1)) || samePixel(rowPixel(q), seedPixel(q))) break;
      ++q;
    }
    length = q - p;
    const int32_t from = chooseSource(p);
    *out++ = static_cast<uint8_t>((from << 5) | offsetField | std::min(length - 1, 7));
    if (offset >= 3) out = putExtension(out, offset - 3);
    for (int32_t i = 0; i < length; ++i) {
      if (i > 0 || from == kSourceNew) out = putNewPixel(out, rowPixel(p + i), seedPixel(p + i));
      const int32_t done = i + 1;
      if (length >= 8 && done >= 8 && (done - 8) % 255 == 0) {
        *out++ = static_cast<uint8_t>(std::min(length - done, 255));
        if (length - done < 255) {
          // No further extension byte follows.
          for (int32_t k = i + 1; k < length; ++k) out = putNewPixel(out, rowPixel(p + k), seedPixel(p + k));
          break;
        }
      }
    }
    pos = p + length;
  }
  std::memcpy(seed, row, static_cast<size_t>(3 * width));
  if (width > 0) seed[3 * width - 1] &= 0xFE;
  return static_cast<int32_t>(out - destination);
}

int32_t decodeMode3(const uint8_t* source, int32_t sourceLength, uint8_t* seed, int32_t seedCapacity) {
  int32_t in = 0;
  int64_t position = 0;
  while (in < sourceLength) {
    const uint8_t command = source[in++];
    const int32_t count = (command >> 5) + 1;
    int64_t offset = command & 0x1F;
    if (offset == 31) {
      uint8_t extension = 0;
      do {
        if (in >= sourceLength) return static_cast<int32_t>(position);
        extension = source[in++];
        offset += extension;
      } while (extension == 255);
    }
    position += offset;
    for (int32_t i = 0; i < count && in < sourceLength; ++i, ++position) {
      if (position >= seedCapacity) return seedCapacity;
      seed[position] = source[in++];
    }
  }
  return static_cast<int32_t>(std::min<int64_t>(position, seedCapacity));
}

}  // namespace hp
