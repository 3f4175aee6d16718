// Acting as the user of the control panel: printers configured in the test
// prefix's real spooler and registry, Corvanta.exe started as a process in a
// chosen language, its settings dialog found and driven through window
// messages, its tray menu opened as the shell would.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gui_driver.h"
#include "registry_guard.h"
#include "tool_test_support.h"

namespace panel_test {

// A printer's eight values as the dialog edits them.
struct Settings {
  int reduction = 1;
  int displayInk = 0;
  int black = 25;
  int color = 25;
  uint32_t blackCost = 0x00640000;
  uint32_t colorCost = 0x00640000;
  int blackCarts = 0;
  int colorCarts = 0;
};

constexpr const char* kValueNames[] = {"InkReduction", "DisplayInk", "BlackLevel", "ColorLevel",
                                       "BlackCost", "ColorCost", "BlackCartPerYear", "ColorCartPerYear"};

// Configured printer: its machine key and its values in the shared key.
void configure(const std::string& printer, const Settings& settings = {});
// The values stored for the printer (-2 for a missing value).
std::vector<long long> stored(const std::string& printer);
std::vector<long long> valuesOf(const Settings& settings);

// Printers in the spooler for the whole suite (a configured printer the
// spooler lacks is removed at start).
class SpoolerPrinters {
 public:
  explicit SpoolerPrinters(const std::vector<std::string>& names);

 private:
  tools_test::TestDriver driver_;
  std::vector<std::unique_ptr<tools_test::TestPrinter>> printers_;
};

enum class Language { kEnglish, kGerman, kFrench, kOther };
// The user's language: Wine takes it from the test's own environment, and the
// programs a test starts inherit it.
Language userLanguage();
// Its name for screenshot files.
const char* languageName(Language language);
// The library the program chooses for the language.
const char* libraryFile(Language language);
// A numbered string of that library.
std::string resourceText(Language language, int id);

// Corvanta.exe in the suite's folder (or the folder without resource
// libraries), running until quit or the end of the test.
class Panel {
 public:
  ~Panel();
  bool start(const std::string& commandLine = "", bool withResources = true);
  // The settings dialog, shown or hidden, once the program waits for input;
  // null when it does not come.
  HWND waitForDialog(bool visible = true, int timeoutMs = 10000);
  // Quits through the tray command; the exit code.
  std::optional<DWORD> quit();
  DWORD pid() const { return program.pid(); }
  Language language = userLanguage();
  gui::Program program;
  HWND dialog = nullptr;

  std::string text(int id) const { return gui::itemText(dialog, id); }
  bool enabled(int id) const { return gui::isEnabled(dialog, id); }
  bool visible(int id) const { return gui::isVisible(dialog, id); }
  std::string string(int id) const { return resourceText(language, id); }
  // Lets the program handle what was posted to it.
  bool settle() const { return gui::settle(dialog); }
  // The tab shown.
  int tab() const;
  // Types into a field: focus there, replace the text (the field may then
  // be left with a tab key press by focusing another control).
  void type(int id, const std::string& text) const;
};

// The program run inside the test process on a thread of its own, for what
// only its own process can read (its menus, its tray record). One at a time.
class InProcessPanel {
 public:
  ~InProcessPanel();
  // Starts the program's loop and waits for its dialog.
  HWND start(const std::string& commandLine = "");
  // Quits through the tray command; the loop's result. The dialog still
  // exists until finish().
  std::optional<int> quit();
  // Ends the thread (its windows go with it).
  void finish();
  HWND dialog = nullptr;

 private:
  HANDLE thread_ = nullptr;
  HANDLE returned_ = nullptr;
  HANDLE release_ = nullptr;
  std::string commandLine_;
  int result_ = 0;
  static DWORD WINAPI run(void* self);
};

// The message box the program shows next, answered with the button given.
std::optional<gui::MessageBoxInfo> answerBox(DWORD pid, int button = IDOK, int timeoutMs = 10000);

// The tray popup as the shell opens it (a right click on the icon); the menu
// handle of the open popup, and closing it again.
HMENU openTrayMenu(HWND dialog);
void closeMenu(HWND dialog);
struct MenuItem {
  UINT id;
  std::string text;
  bool checked;
  bool separator;
  HMENU submenu;
};
std::vector<MenuItem> menuItems(HMENU menu);

// The icon is in the tray (the shell knows the dialog's icon 1000).
bool trayIconPresent(HWND dialog);

// Two printers in the spooler for the whole suite; the product's registry
// trees saved and cleared around each test, with the first printer
// configured.
class PanelTest : public testing::Test {
 protected:
  static inline const std::string kFirst = "Panel Test DeskJet";
  static inline const std::string kSecond = "Panel Test Pixma";
  static void SetUpTestSuite() { spooler = new SpoolerPrinters({kFirst, kSecond}); }
  static void TearDownTestSuite() {
    delete spooler;
    spooler = nullptr;
  }
  void SetUp() override { configure(kFirst); }
  static inline SpoolerPrinters* spooler = nullptr;
  settings_test::RegistryGuard guard;
};

}  // namespace panel_test
