#include "cost.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace settings {

uint32_t encodeCost(float amount) {
  // Negative or NaN amounts have no encoding: store 0.00. The whole units
  // must fit 16 bits, so amounts are clamped to 65535.99.
  double value = amount;
  if (!(value > 0.0)) value = 0.0;
  if (value > 65535.99) value = 65535.99;
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  const uint32_t whole = static_cast<uint32_t>(std::strtoul(text, nullptr, 10));
  uint32_t code = 100;
  if (const char* point = std::strchr(text, '.'); point && point[1] != '\0') {
    code = static_cast<uint32_t>(std::strtoul(point + 1, nullptr, 10));
    if (point[1] == '0') code += 100;
  }
  return (code & 0xFFFFu) << 16 | (whole & 0xFFFFu);
}

float decodeCost(uint32_t word) {
  const unsigned low = word & 0xFFFFu;
  const unsigned high = (word >> 16) & 0xFFFFu;
  char text[48];
  if (high >= 100)
    std::snprintf(text, sizeof text, "%u.%d%u", low, 0, high - 100);
  else
    std::snprintf(text, sizeof text, "%u.%u%d", low, high, 0);
  return std::strtof(text, nullptr);
}

}  // namespace settings
