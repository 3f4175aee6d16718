// The number boxes' rule: digits and '%' only, the leading digits 0 to 75.
#pragma once

#include <string_view>

namespace job_prompt {

constexpr int kMaxLevel = 75;

// The number formed by the leading digits (0 when there are none), or -1 when
// the text holds anything but digits and '%' or the number exceeds kMaxLevel.
constexpr int levelFromText(std::string_view text) {
  int value = 0;
  bool leading = true;
  for (char c : text) {
    if (c == '%') {
      leading = false;
    } else if (c < '0' || c > '9') {
      return -1;
    } else if (leading) {
      value = value * 10 + (c - '0');
      if (value > kMaxLevel) return -1;  // also keeps long digit runs from overflowing
    }
  }
  return value;
}

}  // namespace job_prompt
