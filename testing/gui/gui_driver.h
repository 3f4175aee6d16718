// Drives desktop programs the way a user does, from a test program under
// Wine: start a program, find its windows, set controls, click buttons,
// answer message boxes and save screenshots as PNG files into
// <build tree>/screenshots. Everything goes through window messages, so it
// works on windows of other processes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace gui {

// Polls probe every 20 ms until it returns a window or timeoutMs passes.
HWND waitFor(const std::function<HWND()>& probe, int timeoutMs = 10000);
// Polls condition until it holds or timeoutMs passes; returns the last result.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 10000);

// A top-level window of process pid (0 = any process) with the class and the
// title given (nullptr = any); hidden windows count when visibleOnly is false.
HWND findTopLevel(DWORD pid, const char* className, const char* title, bool visibleOnly = true);
std::vector<HWND> topLevels(DWORD pid, const char* className, bool visibleOnly = true);

std::string windowText(HWND window);
std::string itemText(HWND dialog, int id);
// WM_SETTEXT; an edit control reports the change to its dialog as a user's
// typing would.
void setItemText(HWND dialog, int id, const std::string& text);
bool isChecked(HWND dialog, int id);
bool isEnabled(HWND dialog, int id);
bool isVisible(HWND dialog, int id);

// The clicks are posted: the program may open a message box in response,
// which the test then answers.
void click(HWND dialog, int id);
// Toggles a check box as a click would (new state, then the click).
void clickCheckBox(HWND dialog, int id);
// Selects the entry with this text in a combo box and reports the selection
// change to the dialog (posted).
void selectComboText(HWND dialog, int id, const std::string& text);
std::string comboSelection(HWND dialog, int id);
std::vector<std::string> comboItems(HWND dialog, int id);
// Moves a trackbar and reports the scroll to its dialog (sent).
void moveTrackbar(HWND dialog, int id, int position);
int trackbarPosition(HWND dialog, int id);
// Moves the keyboard focus in the dialog to control id (WM_NEXTDLGCTL).
void focus(HWND dialog, int id);
HWND focusedControl(HWND window);  // the focus in the window's thread
// Clicks an up-down control's up (or down) arrow (posted).
void spin(HWND dialog, int id, bool up = true);
// Sends a menu command to a window (posted).
void command(HWND window, int id);

// Lets a window's thread work off what was sent to it: a message sent with
// a time-out, answered once the thread reads its queue again.
bool settle(HWND window, int timeoutMs = 5000);

struct MessageBoxInfo {
  HWND window = nullptr;
  std::string caption;
  std::string text;
  bool hasButton(int id) const;
};
// A message box shown by process pid (0 = any).
std::optional<MessageBoxInfo> waitForMessageBox(DWORD pid, int timeoutMs = 10000);
// Presses a button of the box (IDOK, IDYES, IDNO, ...).
void answer(const MessageBoxInfo& box, int buttonId);

// A program started for a test; killed on destruction if still running.
class Program {
 public:
  Program() = default;
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  // commandLine is what follows the program name. extraEnv entries
  // ("NAME=value") are added to or replace the test's own environment.
  bool start(const std::string& exePath, const std::string& commandLine,
             const std::vector<std::string>& extraEnv = {});
  DWORD pid() const { return info_.dwProcessId; }
  bool running() const;
  // The exit code, or nothing when the program did not end in time.
  std::optional<DWORD> waitForExit(int timeoutMs = 10000);
  void kill();
  // Until the program waits for input in its message loop with nothing left
  // to do (its start-up is over); false on time-out.
  bool waitForInputIdle(int timeoutMs = 10000) const;

 private:
  PROCESS_INFORMATION info_ = {};
};

// The folder of the running test program (bin/ of the build tree).
std::string programDir();
// The build tree's screenshots folder as a Windows path; created on demand.
std::string screenshotDir();

// Captures the window's screen area (brought to the front first when
// raise is set) into <screenshotDir>/<name>.png. False when nothing could be
// captured or the picture is a single colour.
bool screenshot(HWND window, const std::string& name, bool raise = true);
bool screenshotRect(const RECT& screenArea, const std::string& name);
// The screen's pixels in the area (32-bit BGRA, top row first); empty when
// nothing could be captured.
std::vector<uint32_t> capture(const RECT& screenArea);

// Layout faults of a dialog of this process, one text each: controls shown
// together (WS_VISIBLE set) that overlap, lie outside the dialog, or whose
// text does not fit. Group boxes, etched frames and lines, tab controls and
// an up-down over its buddy may overlap other controls.
std::vector<std::string> layoutProblems(HWND dialog);

// Writes 32-bit BGRA pixels (top row first) as an RGB PNG file.
bool writePng(const std::string& path, int width, int height, const std::vector<uint32_t>& bgra);
// True when every pixel has the same colour.
bool isBlank(const std::vector<uint32_t>& bgra);

}  // namespace gui
