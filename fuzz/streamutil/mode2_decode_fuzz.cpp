// Mode 2 decoding of arbitrary rows into a destination of arbitrary capacity,
// then the encoder on what came out, decoded again.
//
// Input: two bytes of capacity (little-endian, at most 40000), two bytes of
// encoder start, then the compressed row.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "VaskUtil.h"

namespace {

[[noreturn]] void fail() { std::abort(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const int32_t capacity = (data[0] | data[1] << 8) % 40001;
  const int32_t startWish = data[2] | data[3] << 8;
  const uint8_t* source = data + 4;
  const int32_t length = static_cast<int32_t>(size - 4 > 32767 ? 32767 : size - 4);

  // Exactly capacity bytes: one byte more written is caught.
  std::vector<uint8_t> row(static_cast<size_t>(capacity));
  const int32_t decoded = decodePlaneToTableBounded(source, length, row.data(), capacity);
  if (decoded < 0 || decoded > capacity) fail();

  // A smaller capacity gives a prefix of the same row.
  const int32_t smaller = capacity / 2;
  std::vector<uint8_t> cut(static_cast<size_t>(smaller));
  const int32_t cutLength = decodePlaneToTableBounded(source, length, cut.data(), smaller);
  if (cutLength != (decoded < smaller ? decoded : smaller)) fail();
  if (cutLength && std::memcmp(cut.data(), row.data(), static_cast<size_t>(cutLength)) != 0) fail();

  // Encode the decoded row from some start and decode it back.
  const int32_t start = decoded ? startWish % (decoded + 1) : 0;
  int32_t p = start;
  while (p < decoded && row[static_cast<size_t>(p)] == 0) ++p;
  const int32_t rest = decoded - p;
  const int32_t bound = 2 * ((p + 127) / 128) + rest + (rest + 127) / 128;
  std::vector<uint8_t> encoded(static_cast<size_t>(bound));
  const int skipBlank = startWish & 1;
  const int32_t encodedLength = CompressMode2(row.data(), start, decoded, encoded.data(), skipBlank);
  if (encodedLength < 0 || encodedLength > bound) fail();
  if (p == decoded && skipBlank) {
    if (encodedLength != 0) fail();
    return 0;
  }
  if (encodedLength > 32767) return 0;  // longer than a row's compressed length may be
  std::vector<uint8_t> again(static_cast<size_t>(decoded));
  if (decodePlaneToTableBounded(encoded.data(), encodedLength, again.data(), decoded) != decoded) fail();
  for (int32_t i = 0; i < decoded; ++i) {
    const uint8_t expected = i < start ? 0 : row[static_cast<size_t>(i)];
    if (again[static_cast<size_t>(i)] != expected) fail();
  }
  return 0;
}
