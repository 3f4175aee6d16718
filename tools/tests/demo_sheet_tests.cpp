// DemoSheet as a user meets it after installation: the real program started
// from its Run entry, its dialog found on the screen and driven by clicks,
// its message boxes answered, with the control panel's settings window
// running beside it. The panel here is a window of this test process with
// the panel's class, title, printer list and page button, recording what
// reaches it.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "demo_sheet.h"
#include "demo_sheet_ids.h"
#include "gui_driver.h"
#include "registry_guard.h"
#include "registry_keys.h"
#include "tool_test_support.h"

using namespace tools_test;
using namespace gui;

namespace {

constexpr const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// The settings window of a running control panel: hidden, with the printers
// in its list, recording each selection change and page-button click with
// the printer selected at that moment.
class PanelWindow {
 public:
  PanelWindow(const char* title, std::vector<std::string> printers) : printers_(std::move(printers)) {
    thread_ = std::thread([this, title] { run(title); });
    waitUntil([this] { return window_.load() != nullptr; });
  }
  ~PanelWindow() {
    if (HWND window = window_.load()) PostMessageA(window, WM_CLOSE, 0, 0);
    thread_.join();
  }
  HWND window() const { return window_.load(); }
  std::vector<std::string> events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }

 private:
  std::string selection(HWND dialog) const {
    HWND list = GetDlgItem(dialog, tools::kPanelPrinterList);
    const LRESULT index = SendMessageA(list, CB_GETCURSEL, 0, 0);
    char text[300] = {};
    if (index != CB_ERR) SendMessageA(list, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
    return text;
  }
  void record(const std::string& event) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(event);
  }
  static INT_PTR CALLBACK proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<PanelWindow*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (message == WM_INITDIALOG) {
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      self = reinterpret_cast<PanelWindow*>(lParam);
      HWND list = CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | CBS_HASSTRINGS, 10, 10,
                                  300, 200, dialog, reinterpret_cast<HMENU>(tools::kPanelPrinterList), nullptr, nullptr);
      for (const std::string& printer : self->printers_)
        SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(printer.c_str()));
      SendMessageA(list, CB_SETCURSEL, 0, 0);
      CreateWindowExA(0, "BUTTON", "Print", WS_CHILD | WS_VISIBLE, 10, 50, 100, 24, dialog,
                      reinterpret_cast<HMENU>(tools::kPanelPrintButton), nullptr, nullptr);
      return TRUE;
    }
    if (message == WM_COMMAND && self) {
      if (LOWORD(wParam) == tools::kPanelPrinterList && HIWORD(wParam) == CBN_SELCHANGE)
        self->record("select " + self->selection(dialog));
      if (LOWORD(wParam) == tools::kPanelPrintButton && HIWORD(wParam) == BN_CLICKED)
        self->record("print " + self->selection(dialog));
      return TRUE;
    }
    if (message == WM_CLOSE) {
      DestroyWindow(dialog);
      PostQuitMessage(0);
      return TRUE;
    }
    return FALSE;
  }
  void run(const char* title) {
    // A dialog template without controls; the two controls are added at
    // WM_INITDIALOG.
    std::vector<WORD> templ(64, 0);
    auto* header = reinterpret_cast<DLGTEMPLATE*>(templ.data());
    header->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    header->cx = 220;
    header->cy = 80;
    const size_t at = sizeof(DLGTEMPLATE) / sizeof(WORD) + 2;  // no menu, default class
    MultiByteToWideChar(CP_ACP, 0, title, -1, reinterpret_cast<wchar_t*>(&templ[at]), 40);
    HWND window = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), header, nullptr, proc,
                                             reinterpret_cast<LPARAM>(this));
    window_ = window;
    MSG message;
    while (window && GetMessageA(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }

  std::vector<std::string> printers_;
  std::thread thread_;
  std::atomic<HWND> window_{nullptr};
  mutable std::mutex mutex_;
  std::vector<std::string> events_;
};

// The machine state of a fresh installation: configured printers, the Run
// entry that starts DemoSheet, no shared settings yet. Put back afterwards.
class DemoSheetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* printer : kPrinters) configurePrinter(printer);
    writeString(HKEY_LOCAL_MACHINE, kRunKey, tools::kSheetLaunchValue, "C:\\Corvanta\\DemoSheet.exe");
  }
  bool sheetLaunchLeft() const { return valueExists(HKEY_LOCAL_MACHINE, kRunKey, tools::kSheetLaunchValue); }
  static bool sharedKeyExists(const std::string& printer) {
    return settings_test::keyExists(HKEY_USERS, settings_test::sharedPrinter(printer));
  }
  // The sheet's dialog once it is on the screen.
  static HWND waitForSheet(const RunningTool& sheet) {
    return waitFor([&] { return findTopLevel(sheet.processId(), "#32770", nullptr); }, 15000);
  }
  static std::string language() {
    switch (GetUserDefaultLangID() & 0xFF) {
      case 7:
        return "de";
      case 12:
        return "fr";
      default:
        return "en";
    }
  }

  // Enumeration order of the machine settings key (alphabetical); the panel
  // lists them the other way round.
  static constexpr const char* kPrinters[] = {"Corvanta Demo Deskjet", "Corvanta Demo Deskjet 2"};
  settings_test::RegistryGuard guard_;
  settings_test::ValueSnapshot sheetLaunch_{HKEY_LOCAL_MACHINE, kRunKey, tools::kSheetLaunchValue};
  const std::string program_ = binFolder() + "\\DemoSheet.exe";
};

// The skip confirmation text of the library the user's language chooses.
std::string skipText() {
  HMODULE library = LoadLibraryExA(tools::setupLibraryFor(GetUserDefaultLangID()), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  char text[1024] = {};
  if (library) LoadStringA(library, IDS_DEMO_SKIP_CONFIRM, text, sizeof text);
  if (library) FreeLibrary(library);
  return text;
}

TEST_F(DemoSheetTest, SheetInTheUsersLanguagePrintsThroughTheRunningPanel) {
  PanelWindow panel(tools::panelTitleFor(GetUserDefaultLangID()), {kPrinters[1], kPrinters[0]});
  ASSERT_NE(nullptr, panel.window());
  ASSERT_FALSE(IsWindowVisible(panel.window()));
  const ULONGLONG start = GetTickCount64();
  RunningTool sheet(program_, "");
  ASSERT_TRUE(sheet.started());
  HWND dialog = waitForSheet(sheet);
  ASSERT_NE(nullptr, dialog);
  EXPECT_GE(GetTickCount64() - start, 2900u) << "the sheet waits three seconds first";

  // Topmost and centred on the desktop; the printers in enumeration order,
  // the first selected.
  EXPECT_TRUE(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST);
  RECT box = {};
  GetWindowRect(dialog, &box);
  EXPECT_NEAR(GetSystemMetrics(SM_CXSCREEN) / 2, (box.left + box.right) / 2, 1);
  EXPECT_NEAR(GetSystemMetrics(SM_CYSCREEN) / 2, (box.top + box.bottom) / 2, 1);
  HWND list = GetDlgItem(dialog, IDC_DEMO_PRINTERS);
  ASSERT_EQ(2, SendMessageA(list, CB_GETCOUNT, 0, 0));
  wchar_t text[300] = {};  // across processes the text travels as UTF-16
  SendMessageW(list, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(L"Corvanta Demo Deskjet 2", text);
  EXPECT_EQ(0, SendMessageA(list, CB_GETCURSEL, 0, 0));
  EXPECT_TRUE(screenshot(dialog, "demosheet-" + language()));

  // The close box, Alt+F4, Escape and a close request leave it open.
  PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  PostMessageA(dialog, WM_SYSKEYDOWN, VK_F4, 0x20000000);
  PostMessageA(dialog, WM_CLOSE, 0, 0);
  click(dialog, IDCANCEL);
  // Skip asks first; Cancel keeps the sheet.
  click(dialog, IDC_DEMO_SKIP);
  const std::optional<MessageBoxInfo> ask = waitForMessageBox(sheet.processId());
  ASSERT_TRUE(ask);
  EXPECT_EQ("Corvanta", ask->caption);
  EXPECT_EQ(skipText(), ask->text);
  EXPECT_FALSE(ask->text.empty());
  EXPECT_TRUE(ask->hasButton(IDOK) && ask->hasButton(IDCANCEL));
  EXPECT_TRUE(screenshot(ask->window, "demosheet-skip-" + language()));
  answer(*ask, IDCANCEL);
  ASSERT_TRUE(waitUntil([&] { return !IsWindow(ask->window); }));
  EXPECT_FALSE(sheet.wait(300)) << "only the print button or a confirmed skip ends the sheet";
  EXPECT_TRUE(IsWindowVisible(dialog));

  // The user picks the second printer, whose name the first one of the
  // panel's list begins with, and prints.
  SendMessageA(list, CB_SETCURSEL, 1, 0);
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_DEMO_PRINTERS, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
  click(dialog, IDC_DEMO_PRINT);
  DWORD exitCode = 1;
  ASSERT_TRUE(sheet.wait(10000, &exitCode));
  EXPECT_EQ(0u, exitCode);
  EXPECT_EQ((std::vector<std::string>{"select Corvanta Demo Deskjet 2", "print Corvanta Demo Deskjet 2"}),
            panel.events());
  EXPECT_TRUE(sharedKeyExists(kPrinters[1]));
  EXPECT_FALSE(sharedKeyExists(kPrinters[0]));
  EXPECT_FALSE(sheetLaunchLeft());
  EXPECT_TRUE(IsWindowVisible(panel.window())) << "the configuration window comes to the front";
}

TEST_F(DemoSheetTest, ExactPrinterIsSelectedInThePanelOrNothingIsPrinted) {
  // The chosen printer is the first of the list; the panel lists a printer
  // whose name it begins with first, and CB_SELECTSTRING alone would pick it.
  PanelWindow panel(tools::panelTitleFor(GetUserDefaultLangID()), {kPrinters[1], kPrinters[0]});
  EXPECT_TRUE(tools::printDemoPage(kPrinters[0]));
  EXPECT_EQ((std::vector<std::string>{"select Corvanta Demo Deskjet", "print Corvanta Demo Deskjet"}), panel.events());
  // A printer the panel does not list: the key is made, the panel is left alone.
  EXPECT_FALSE(tools::printDemoPage("Corvanta Demo"));
  EXPECT_TRUE(sharedKeyExists("Corvanta Demo"));
  EXPECT_FALSE(tools::printDemoPage(""));
  EXPECT_EQ(2u, panel.events().size());
}

TEST_F(DemoSheetTest, ConfirmedSkipEndsTheSheetWithoutPrinting) {
  RunningTool sheet(program_, "");
  HWND dialog = waitForSheet(sheet);
  ASSERT_NE(nullptr, dialog);
  click(dialog, IDC_DEMO_SKIP);
  const std::optional<MessageBoxInfo> ask = waitForMessageBox(sheet.processId());
  ASSERT_TRUE(ask);
  answer(*ask, IDOK);
  DWORD exitCode = 1;
  ASSERT_TRUE(sheet.wait(10000, &exitCode));
  EXPECT_EQ(0u, exitCode);
  EXPECT_FALSE(sheetLaunchLeft());
  EXPECT_FALSE(sharedKeyExists(kPrinters[0]));
}

TEST_F(DemoSheetTest, PrintWithoutThePanelOnlyCreatesTheSettingsKey) {
  RunningTool sheet(program_, "");
  HWND dialog = waitForSheet(sheet);
  ASSERT_NE(nullptr, dialog);
  click(dialog, IDC_DEMO_PRINT);
  DWORD exitCode = 1;
  ASSERT_TRUE(sheet.wait(10000, &exitCode));
  EXPECT_EQ(0u, exitCode);
  EXPECT_TRUE(sharedKeyExists(kPrinters[0]));
  EXPECT_FALSE(sheetLaunchLeft());
}

TEST_F(DemoSheetTest, MissingSetupLibraryShowsItsTextAndChangesNothing) {
  // The program alone in a folder of its own: no setup library beside it.
  const std::string folder = binFolder() + "\\demosheet-alone";
  CreateDirectoryA(folder.c_str(), nullptr);
  ASSERT_TRUE(CopyFileA(program_.c_str(), (folder + "\\DemoSheet.exe").c_str(), FALSE));
  RunningTool sheet(folder + "\\DemoSheet.exe", "");
  const std::optional<MessageBoxInfo> box = waitForMessageBox(sheet.processId());
  ASSERT_TRUE(box);
  EXPECT_EQ("Corvanta", box->caption);
  EXPECT_EQ(std::string("Unable to load Corvanta Setup Resource Library: ") +
                tools::setupLibraryFor(GetUserDefaultLangID()) + ".",
            box->text);
  EXPECT_TRUE(screenshot(box->window, "demosheet-missing-library"));
  answer(*box, IDOK);
  DWORD exitCode = 1;
  ASSERT_TRUE(sheet.wait(10000, &exitCode));
  EXPECT_EQ(0u, exitCode);
  EXPECT_TRUE(sheetLaunchLeft());
  EXPECT_FALSE(settings_test::keyExists(HKEY_USERS, settings_test::kSharedKey));
}

TEST(DemoSheetChoices, LibraryAndPanelTitleByTheLowByteOfTheLanguage) {
  EXPECT_STREQ("CorvantaSetupResDeu.dll", tools::setupLibraryFor(0x0407));
  EXPECT_STREQ("CorvantaSetupResDeu.dll", tools::setupLibraryFor(0x0C07));  // Austria
  EXPECT_STREQ("CorvantaSetupResFre.dll", tools::setupLibraryFor(0x080C));  // Belgium
  EXPECT_STREQ("CorvantaSetupRes.dll", tools::setupLibraryFor(0x0409));
  EXPECT_STREQ("CorvantaSetupRes.dll", tools::setupLibraryFor(0x0410));
  EXPECT_STREQ("Corvanta: Konfiguration", tools::panelTitleFor(0x0807));
  EXPECT_STREQ("Corvanta: Configuration", tools::panelTitleFor(0x040C));
  EXPECT_STREQ("Corvanta: Configuration", tools::panelTitleFor(0x0409));
}

}  // namespace
