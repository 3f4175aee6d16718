// HP PCL mode 9 (compressed replacement delta row): applies one row of
// commands to the seed row, which holds the previous row of the plane.
//
// Command byte, then offset extensions, then count extensions, then data:
//   0ooooccc   literal: offset 0..15, count+1 bytes follow
//   1oocccccc  run: offset 0..3, one byte follows, written count+2 times
// A field at its maximum (15/7 literal, 3/31 run) is extended by the bytes that
// follow, each added, until one other than 255 has been added. The offset is
// counted from just after the previous replacement.
#include <cstring>

#include "VaskUtil.h"

namespace {

// Adds extension bytes to field while the last one added was 255. Returns
// false when the source ends first.
bool extend(const uint8_t* source, int32_t length, int32_t& in, int64_t& field) {
  uint8_t extension = 0;
  do {
    if (in >= length) return false;
    extension = source[in++];
    field += extension;
  } while (extension == 255);
  return true;
}

}  // namespace

extern "C" {

int32_t decompressMode9Bounded(const uint8_t* source, int32_t sourceLength, uint8_t* seedRow, int32_t seedCapacity) {
  // A row's compressed length is a signed 16-bit quantity.
  const int32_t length = static_cast<int16_t>(sourceLength);
  if (!source || !seedRow || seedCapacity < 0) return 0;
  int32_t in = 0;
  int64_t out = 0;
  while (in < length) {
    const uint8_t command = source[in++];
    const bool run = (command & 0x80) != 0;
    const int32_t offsetMax = run ? 3 : 15;
    const int32_t countMax = run ? 31 : 7;
    int64_t offset = run ? (command >> 5) & 0x03 : (command >> 3) & 0x0F;
    int64_t count = run ? command & 0x1F : command & 0x07;
    if (offset == offsetMax && !extend(source, length, in, offset)) break;
    if (count == countMax && !extend(source, length, in, count)) break;
    if (in >= length) break;  // no data for this command: nothing is replaced

    // The seed row ends at its capacity: a command reaching past it is cut.
    int64_t position = out + offset;
    if (position >= seedCapacity) {
      out = seedCapacity;
      break;
    }
    if (run) {
      int64_t replace = count + 2;
      const bool cut = replace > seedCapacity - position;
      if (cut) replace = seedCapacity - position;
      std::memset(seedRow + position, source[in++], static_cast<size_t>(replace));
      out = position + replace;
      if (cut) break;
    } else {
      int64_t replace = count + 1;
      int64_t available = length - in;
      const bool shortSource = replace > available;
      if (shortSource) replace = available;
      const bool cut = replace > seedCapacity - position;
      if (cut) replace = seedCapacity - position;
      std::memcpy(seedRow + position, source + in, static_cast<size_t>(replace));
      in += static_cast<int32_t>(replace);
      out = position + replace;
      if (cut || shortSource) break;
    }
  }
  return static_cast<int32_t>(out);
}

// The exported three-argument form: the seed row is as long as the commands
// reach (a row's commands reach at most 32767 * 255 positions).
int32_t decompressMode9(const uint8_t* source, int32_t sourceLength, uint8_t* seedRow) {
  return decompressMode9Bounded(source, sourceLength, seedRow, INT32_MAX);
}

}  // extern "C"
