// Acting as the user of the per-job dialog from a second thread: the export
// runs the modal dialog on the calling thread while a "user" thread finds it,
// moves sliders by keyboard, types, clicks and answers message boxes.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>

#include "gui_driver.h"

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

// Visible dialogs of this process holding control `id` (0xFFFF: message boxes).
inline std::vector<HWND> dialogsWith(int id) {
  std::vector<HWND> found;
  for (HWND window : gui::topLevels(GetCurrentProcessId(), "#32770"))
    if (GetDlgItem(window, id)) found.push_back(window);
  return found;
}

// The message box now up, answered with OK; nothing when none comes in time.
inline std::optional<gui::MessageBoxInfo> answerMessageBox(int timeoutMs = 5000) {
  auto box = gui::waitForMessageBox(GetCurrentProcessId(), timeoutMs);
  if (box) gui::answer(*box, IDOK);
  return box;
}

// The user's actions on the open dialog. Actions that may raise a message box
// are posted, so this thread is free to answer it.
struct User {
  HWND dialog;

  HWND control(int id) const { return GetDlgItem(dialog, id); }
  std::string text(int id) const { return gui::itemText(dialog, id); }
  int position(int slider) const { return gui::trackbarPosition(dialog, slider); }
  bool checked(int id) const { return gui::isChecked(dialog, id); }
  bool enabled(int id) const { return gui::isEnabled(dialog, id); }
  HWND focus() const { return gui::focusedControl(dialog); }

  // Tabs or clicks into a control: the focus moves there (a box left on the
  // way may answer with its message box).
  void moveTo(int id) const { PostMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control(id)), TRUE); }
  bool focusOn(int id) const {
    if (focus() == control(id)) return true;
    moveTo(id);
    return gui::waitUntil([&] { return focus() == control(id); }, 2000);
  }
  // Clicks into the box and types over its text. False when the focus does
  // not get there (a message box came up instead).
  bool type(int box, const std::string& characters) const {
    if (!focusOn(box)) return false;
    SendMessageA(control(box), EM_SETSEL, 0, -1);
    for (char c : characters) SendMessageA(control(box), WM_CHAR, static_cast<unsigned char>(c), 1);
    return text(box) == characters;
  }
  // Keys on the slider, which gets the focus first: Home, End, Page Down ...
  void pressKeys(int slider, std::initializer_list<int> keys) const {
    if (!focusOn(slider)) return;
    for (int key : keys) {
      PostMessageA(control(slider), WM_KEYDOWN, key, 1);
      PostMessageA(control(slider), WM_KEYUP, key, 0xC0000001);
    }
  }
  // A mouse click: the button takes the focus, then reports the click.
  void click(int id) const { PostMessageA(control(id), BM_CLICK, 0, 0); }
  // The Enter key, as the dialog's keyboard handling sees it.
  void pressEnter(int focusedId) const {
    PostMessageA(control(focusedId), WM_KEYDOWN, VK_RETURN, 1);
    PostMessageA(control(focusedId), WM_KEYUP, VK_RETURN, 0xC0000001);
  }
  void closeWindow() const { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }
  bool closed() const {
    return gui::waitUntil([&] { return !IsWindow(dialog); }, 5000);
  }
};

struct PromptRun {
  int result = 0;
  bool dialogShown = false;
};

// Calls `show` for `printer` on this thread while `act` plays the user on
// another once a dialog with control `idSeen` is up. What the user leaves open
// is closed, so a failing test cannot hang.
inline PromptRun runPrompt(const std::function<int(const char*)>& show, const char* printer,
                           const std::function<void(User&)>& act, int idSeen = 1145) {
  PromptRun run;
  std::atomic<bool> returned{false};
  std::thread user([&] {
    HWND dialog = nullptr;
    while (!returned && !dialog) {
      const auto found = dialogsWith(idSeen);
      if (found.empty()) Sleep(10); else dialog = found.front();
    }
    if (!dialog) return;
    run.dialogShown = true;
    User u{dialog};
    if (act) act(u);
    while (!returned) {
      if (!answerMessageBox(0)) PostMessageA(dialog, WM_CLOSE, 0, 0);
      Sleep(50);
    }
  });
  run.result = show(printer);
  returned = true;
  user.join();
  return run;
}

}  // namespace prompt_test
