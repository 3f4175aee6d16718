// Texts of the control panel: strings of the language resource library and
// the numbers read from the start of a field's text.
#pragma once

#include <windows.h>

#include <string>

namespace control_panel {

// String id of the resource library; empty when missing.
std::string resourceString(HMODULE resources, int id);
// The number at the start of text as the C library reads it (leading blanks
// and a sign allowed, anything else ends it); 0 when there is none. Numbers
// too large for 32 bits read as the nearest 32-bit value.
int numberAtStart(const char* text);
// The text of a dialog control (up to 259 characters).
std::string controlText(HWND dialog, int id);
// "%d%%" of value.
std::string percentText(int value);

}  // namespace control_panel
