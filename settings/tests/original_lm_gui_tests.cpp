// GetOriginalLM's message box for a monitor name that does not fit: a second
// thread finds the box, reads its text and caption and closes it.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "CorvantaReg.h"
#include "registry_guard.h"

using namespace settings_test;

namespace {

struct FoundBox {
  std::string caption;
  std::string text;
  bool found = false;
};

BOOL CALLBACK findBox(HWND window, LPARAM param) {
  auto* box = reinterpret_cast<FoundBox*>(param);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  char className[64] = {};
  GetClassNameA(window, className, sizeof className);
  if (process != GetCurrentProcessId() || std::string(className) != "#32770" || !IsWindowVisible(window)) return TRUE;
  char caption[256] = {};
  GetWindowTextA(window, caption, sizeof caption);
  char text[256] = {};
  GetDlgItemTextA(window, 0xFFFF, text, sizeof text);  // the message box's static text
  box->caption = caption;
  box->text = text;
  box->found = true;
  PostMessageA(window, WM_COMMAND, IDOK, 0);
  return FALSE;
}

TEST(OriginalLMGui, TooLongNameShowsTheMessageAndLeavesTheTextEmpty) {
  RegistryGuard guard;
  const std::string printer = "Settings Gui Printer";
  createKey(HKEY_USERS, sharedPrinter(printer));
  const std::string tooLong(300, 'm');
  setRaw(HKEY_USERS, sharedPrinter(printer), "Original LM", REG_SZ, tooLong.c_str(),
         static_cast<DWORD>(tooLong.size() + 1));

  FoundBox box;
  std::atomic<bool> done{false};
  std::thread watcher([&] {
    for (int i = 0; i < 1000 && !box.found && !done; ++i) {
      EnumWindows(findBox, reinterpret_cast<LPARAM>(&box));
      if (!box.found) Sleep(10);
    }
  });
  char text[kSettingsTextSize];
  std::strcpy(text, "stale");
  GetOriginalLM(printer.c_str(), text);
  done = true;
  watcher.join();
  EXPECT_TRUE(box.found);
  EXPECT_EQ("Corvanta", box.caption);
  EXPECT_EQ("The name of LM dll is too long", box.text);
  EXPECT_STREQ("", text);

  // A name that fits shows nothing.
  SetOriginalLM(printer.c_str(), "pjlmon.dll");
  GetOriginalLM(printer.c_str(), text);
  EXPECT_STREQ("pjlmon.dll", text);
}

}  // namespace
