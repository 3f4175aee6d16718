#include <bitset>

#include "raster_job.h"

namespace jobread {

uint64_t countDots(const PlaneRow& row) {
  const auto* data = reinterpret_cast<const uint8_t*>(row.data.data());
  const size_t size = row.data.size();
  uint64_t dots = 0;
  switch (row.bitsPerPixel) {
    case 1:
      for (size_t i = 0; i < size; ++i) dots += std::bitset<8>(data[i]).count();
      break;
    case 2:
    case 4: {
      const unsigned bits = row.bitsPerPixel, mask = (1u << bits) - 1;
      for (size_t i = 0; i < size; ++i)
        for (unsigned shift = 0; shift < 8; shift += bits) dots += ((data[i] >> shift) & mask) != 0;
      break;
    }
    case 24:
      // White is no ink whatever blue's lowest bit: HP mode 10 carries 7 bits of blue.
      for (size_t i = 0; i + 2 < size; i += 3) dots += (data[i] & data[i + 1] & (data[i + 2] | 1)) != 0xFF;
      break;
    default:
      break;
  }
  return dots;
}

}  // namespace jobread
