// A user's steps on another process's windows, for the DemoSheet tests: find
// windows, answer message boxes, save screenshots as PNG files into the
// build tree's screenshots folder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tools_test {

// Polls probe every 20 ms until it returns a window or timeoutMs passes.
HWND waitFor(const std::function<HWND()>& probe, int timeoutMs = 10000);
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 10000);

// A visible top-level window of process pid with the class and title given
// (nullptr = any).
HWND findTopLevel(DWORD pid, const char* className, const char* title);
std::string windowText(HWND window);

struct MessageBoxSeen {
  HWND window = nullptr;
  std::string caption;
  std::string text;
  bool hasButton(int id) const { return GetDlgItem(window, id) != nullptr; }
};
// Waits for a message box of process pid; window is null when none came.
MessageBoxSeen waitForMessageBox(DWORD pid, int timeoutMs = 10000);
// Presses a button of a dialog or message box (posted).
void press(HWND dialog, int buttonId);

// Captures the window's area of the screen into <screenshots>/<name>.png.
// False when nothing could be captured or the picture has a single colour.
bool screenshot(HWND window, const std::string& name);

}  // namespace tools_test
