#include "panel_text.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace control_panel {

std::string resourceString(HMODULE resources, int id) {
  char text[1024] = {};
  const int length = resources ? LoadStringA(resources, id, text, sizeof text) : 0;
  return std::string(text, length > 0 ? length : 0);
}

int numberAtStart(const char* text) {
  if (!text) return 0;
  errno = 0;
  const long long value = std::strtoll(text, nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

std::string controlText(HWND dialog, int id) {
  char text[260] = {};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

std::string percentText(int value) {
  char text[16];
  snprintf(text, sizeof text, "%d%%", value);
  return text;
}

}  // namespace control_panel
