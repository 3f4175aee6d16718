// Mode 2 (TIFF PackBits) rows: the decoder every plug-in runs on incoming rows
// and the encoder that writes the thinned rows back.
//
// Packet = signed count byte n, then data:
//   0..127     literal, n+1 bytes follow
//   -1..-127   repeat, one byte follows, written 1-n times (2..128)
//   -128       no operation
#include <cstring>

#include "VaskUtil.h"

namespace {

constexpr int32_t kMaxPacket = 128;

// Repeat packet count byte for a run of `count` (2..128) bytes.
constexpr uint8_t repeatCount(int32_t count) { return static_cast<uint8_t>(257 - count); }

}  // namespace

extern "C" {

int32_t decodePlaneToTableBounded(const uint8_t* source, int32_t sourceLength, uint8_t* destination,
                                  int32_t destinationCapacity) {
  // A row's compressed length is a signed 16-bit quantity.
  const int32_t length = static_cast<int16_t>(sourceLength);
  if (!source || !destination || destinationCapacity <= 0) return 0;
  int32_t in = 0;
  int32_t out = 0;
  while (in < length) {
    const int32_t n = static_cast<int8_t>(source[in++]);
    if (n >= 0) {
      int32_t copy = n + 1;
      if (copy > length - in) copy = length - in;  // the source ends inside the packet
      const bool cut = copy > destinationCapacity - out;
      if (cut) copy = destinationCapacity - out;
      std::memcpy(destination + out, source + in, static_cast<size_t>(copy));
      out += copy;
      in += n + 1;
      if (cut) break;
    } else if (n != -128) {
      if (in >= length) break;  // repeat count without its data byte
      int32_t repeat = 1 - n;
      const bool cut = repeat > destinationCapacity - out;
      if (cut) repeat = destinationCapacity - out;
      std::memset(destination + out, source[in++], static_cast<size_t>(repeat));
      out += repeat;
      if (cut) break;
    }
  }
  return out;
}

// The exported three-argument form writes as far as the row demands: the
// caller sized the destination for the rows it expects.
int32_t decodePlaneToTable(const uint8_t* source, int32_t sourceLength, uint8_t* destination) {
  return decodePlaneToTableBounded(source, sourceLength, destination, INT32_MAX);
}

// Output bound (Z = start + leading zero bytes, R = the rest of the range):
// 2*ceil(Z/128) + R + ceil(R/128) bytes.
int32_t CompressMode2(const uint8_t* row, int32_t start, int32_t end, uint8_t* destination, int32_t skipBlank) {
  if (!destination || start < 0 || end < start || (!row && end > start)) return 0;

  int32_t p = start;
  while (p < end && row[p] == 0) ++p;
  if (p == end && skipBlank) return 0;

  // The blank prefix includes the positions before start, which are not read.
  int32_t out = 0;
  int32_t blanks = p;
  while (blanks > kMaxPacket) {
    destination[out++] = repeatCount(kMaxPacket);
    destination[out++] = 0x00;
    blanks -= kMaxPacket;
  }
  if (blanks >= 2) {
    destination[out++] = repeatCount(blanks);
    destination[out++] = 0x00;
  } else if (blanks == 1) {
    destination[out++] = 0x00;  // a literal of one zero byte
    destination[out++] = 0x00;
  }

  // Three equal bytes start a repeat packet; a pair stays inside a literal.
  auto tripleAt = [&](int32_t i) { return end - i >= 3 && row[i + 1] == row[i] && row[i + 2] == row[i]; };

  while (p < end) {
    if (tripleAt(p)) {
      const uint8_t value = row[p];
      int32_t count = 3;
      while (count < kMaxPacket && p + count < end && row[p + count] == value) ++count;
      destination[out++] = repeatCount(count);
      destination[out++] = value;
      p += count;
    } else {
      const int32_t countByte = out++;
      int32_t copied = 0;
      do {
        destination[out++] = row[p++];
        ++copied;
      } while (p < end && copied < kMaxPacket && !tripleAt(p));
      destination[countByte] = static_cast<uint8_t>(copied - 1);
    }
  }
  return out;
}

}  // extern "C"
