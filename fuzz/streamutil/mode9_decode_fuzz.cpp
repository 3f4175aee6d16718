// Mode 9 delta rows applied to a seed row of arbitrary capacity, checked
// against a plain model that writes byte by byte with a bounds check.
//
// Input: two bytes of seed capacity (little-endian, at most 40000), one byte
// to fill the seed with, then the delta row.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "VaskUtil.h"

namespace {

[[noreturn]] void fail() { std::abort(); }

struct Model {
  std::vector<uint8_t> seed;
  int64_t position = 0;  // after the last replacement, without any cut
  bool cut = false;

  void put(int64_t at, uint8_t value) {
    if (at < static_cast<int64_t>(seed.size())) {
      seed[static_cast<size_t>(at)] = value;
    } else {
      cut = true;
    }
  }
};

// Reads extension bytes into field; false when the source ends first.
bool extend(const uint8_t* s, int32_t n, int32_t& i, int64_t& field) {
  for (;;) {
    if (i >= n) return false;
    const uint8_t e = s[i++];
    field += e;
    if (e != 255) return true;
  }
}

void model(const uint8_t* s, int32_t n, Model& m) {
  int32_t i = 0;
  while (i < n) {
    const uint8_t c = s[i++];
    const bool run = c & 0x80;
    int64_t offset = run ? (c >> 5) & 3 : (c >> 3) & 15;
    int64_t count = run ? c & 31 : c & 7;
    if (offset == (run ? 3 : 15) && !extend(s, n, i, offset)) return;
    if (count == (run ? 31 : 7) && !extend(s, n, i, count)) return;
    if (i >= n) return;
    int64_t o = m.position + offset;
    if (run) {
      const uint8_t v = s[i++];
      for (int64_t k = 0; k < count + 2; ++k) m.put(o++, v);
    } else {
      for (int64_t k = 0; k < count + 1 && i < n; ++k) m.put(o++, s[i++]);
    }
    m.position = o;
    if (m.cut) return;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const int32_t capacity = (data[0] | data[1] << 8) % 40001;
  const uint8_t fill = data[2];
  const uint8_t* source = data + 3;
  const int32_t length = static_cast<int32_t>(size - 3 > 32767 ? 32767 : size - 3);

  std::vector<uint8_t> seed(static_cast<size_t>(capacity), fill);
  const int32_t result = decompressMode9Bounded(source, length, seed.data(), capacity);
  if (result < 0 || result > capacity) fail();

  Model m;
  m.seed.assign(static_cast<size_t>(capacity), fill);
  model(source, length, m);
  if (m.seed != seed) fail();
  if (!m.cut && m.position != result) fail();
  return 0;
}
