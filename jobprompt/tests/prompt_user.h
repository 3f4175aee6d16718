// Acting as the user of the per-job dialog from a second thread: the export
// runs the modal dialog on the calling thread while a "user" thread finds it,
// moves sliders by keyboard, types, clicks and answers message boxes.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace prompt_test {

using ShowFunction = int (*)(const char* printerName);

// JobPrompt.dll loaded by name as the monitor loads it, ordinal 1 looked up.
struct PromptLibrary {
  HMODULE module = LoadLibraryW(L"JobPrompt.dll");
  ShowFunction show =
      module ? reinterpret_cast<ShowFunction>(reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(1))))
             : nullptr;
  ~PromptLibrary() {
    if (module) FreeLibrary(module);
  }
};

// Polls `done` every 10 ms for up to `ms` milliseconds.
inline bool waitFor(const std::function<bool()>& done, int ms = 5000) {
  for (auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    Sleep(10);
  }
}

struct DialogSearch {
  HWND owner;
  int childId;
  HWND found;
  HWND skip;
};

inline BOOL CALLBACK matchDialog(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<DialogSearch*>(param);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  char className[16] = {};
  GetClassNameA(window, className, sizeof(className));
  if (process != GetCurrentProcessId() || std::string(className) != "#32770" || !IsWindowVisible(window)) return TRUE;
  if (window == search->skip) return TRUE;
  if (search->owner ? GetWindow(window, GW_OWNER) != search->owner : !GetDlgItem(window, search->childId))
    return TRUE;
  search->found = window;
  return FALSE;
}

// A visible dialog-class window of this process; with `owner`, one owned by it
// (a message box of the dialog), else one with control `childId`.
inline HWND findDialog(HWND owner, int childId) {
  DialogSearch search{owner, childId, nullptr, nullptr};
  EnumWindows(matchDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}
// Another dialog with control `childId` than `known`.
inline HWND findOtherDialog(HWND known, int childId) {
  DialogSearch search{nullptr, childId, nullptr, known};
  EnumWindows(matchDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

inline std::string textOf(HWND window) {
  char text[512] = {};
  GetWindowTextA(window, text, sizeof(text));
  return text;
}
inline std::wstring wideTextOf(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

// A message box as the user sees it: caption and text; answering it with OK.
struct MessageBoxSeen {
  bool shown = false;
  std::wstring caption;
  std::wstring text;
};

inline MessageBoxSeen answerMessageBox(HWND owner, int ms = 5000) {
  MessageBoxSeen seen;
  HWND box = nullptr;
  if (!waitFor([&] { return (box = findDialog(owner, 0)) != nullptr; }, ms)) return seen;
  seen.shown = true;
  seen.caption = wideTextOf(box);
  seen.text = wideTextOf(GetDlgItem(box, 0xFFFF));
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  waitFor([&] { return !IsWindow(box); });
  return seen;
}

// The user's actions on the open dialog. Actions that may raise a message box
// are posted, so this thread is free to answer it.
struct User {
  HWND dialog;

  HWND control(int id) const { return GetDlgItem(dialog, id); }
  std::string text(int id) const { return textOf(control(id)); }
  int position(int slider) const { return static_cast<int>(SendMessageA(control(slider), TBM_GETPOS, 0, 0)); }
  bool checked(int id) const { return SendMessageA(control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  bool enabled(int id) const { return IsWindowEnabled(control(id)) != FALSE; }
  HWND focus() const {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
    return info.hwndFocus;
  }

  // Tabs or clicks into a control: the focus moves there (a box left on the way
  // may answer with its message box).
  void moveTo(int id) const { PostMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control(id)), TRUE); }
  bool focusOn(int id) const {
    if (focus() == control(id)) return true;
    moveTo(id);
    return waitFor([&] { return focus() == control(id); }, 2000);
  }
  // Clicks into the box (its text gets selected) and types over it. False
  // when the focus does not get there (a message box came up instead).
  bool type(int box, const std::string& characters) const {
    if (!focusOn(box)) return false;
    SendMessageA(control(box), EM_SETSEL, 0, -1);
    for (char c : characters) SendMessageA(control(box), WM_CHAR, static_cast<unsigned char>(c), 1);
    return text(box) == characters;
  }
  // Keys on the focused slider: Home, End, Page Down and so on.
  void pressKeys(int slider, std::initializer_list<int> keys) const {
    if (!focusOn(slider)) return;
    for (int key : keys) {
      PostMessageA(control(slider), WM_KEYDOWN, key, 1);
      PostMessageA(control(slider), WM_KEYUP, key, 0xC0000001);
    }
  }
  void click(int id) const { PostMessageA(control(id), BM_CLICK, 0, 0); }
  // The Enter key, as the dialog's keyboard handling sees it.
  void pressEnter(int focusedId) const {
    PostMessageA(control(focusedId), WM_KEYDOWN, VK_RETURN, 1);
    PostMessageA(control(focusedId), WM_KEYUP, VK_RETURN, 0xC0000001);
  }
  void closeWindow() const { PostMessageA(dialog, WM_CLOSE, 0, 0); }
  bool closed() const {
    return waitFor([&] { return !IsWindow(dialog); });
  }
};

struct PromptRun {
  int result = 0;
  bool dialogShown = false;
};

// Calls ordinal 1 for `printer` on this thread while `act` plays the user on
// another once the dialog is up. A dialog the user leaves open is closed, so a
// failing test cannot hang.
inline PromptRun runPrompt(const std::function<int(const char*)>& show, const char* printer, const std::function<void(User&)>& act,
                           int idSeen = 1145) {
  PromptRun run;
  std::atomic<bool> returned{false};
  std::thread user([&] {
    HWND dialog = nullptr;
    while (!returned && !(dialog = findDialog(nullptr, idSeen))) Sleep(10);
    if (!dialog) return;
    run.dialogShown = true;
    User u{dialog};
    if (act) act(u);
    while (!returned) {
      HWND box = findDialog(dialog, 0);
      PostMessageA(box ? box : dialog, box ? WM_COMMAND : WM_CLOSE, box ? IDOK : 0, 0);
      Sleep(50);
    }
  });
  run.result = show(printer);
  returned = true;
  user.join();
  return run;
}

}  // namespace prompt_test
