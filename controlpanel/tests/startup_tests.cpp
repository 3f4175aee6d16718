// Start-up and end of Corvanta.exe: the single instance, the "hide" command
// line, the language library, the missing library, the printer list at
// start and the shutdown.
#include <windows.h>

#include <gtest/gtest.h>

#include <tuple>

#include "panel_user.h"
#include "resource_ids.h"
#include "startup.h"

using namespace panel_test;
using settings_test::readDword;

namespace {

constexpr char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr DWORD kRefused = static_cast<DWORD>(-1);

class PanelStartup : public PanelTest {
 protected:
  static std::string lastUsed() {
    std::string value;
    tools_test::readString(HKEY_USERS, settings_test::kSharedKey, "LastUsed", &value);
    return value;
  }
};

TEST_F(PanelStartup, ASecondInstanceBringsTheFirstDialogForwardAndEnds) {
  Panel first;
  ASSERT_TRUE(first.start("hide"));
  ASSERT_NE(nullptr, first.waitForDialog(false));
  EXPECT_FALSE(IsWindowVisible(first.dialog));
  EXPECT_TRUE(trayIconPresent(first.dialog));

  Panel second;
  ASSERT_TRUE(second.start());
  EXPECT_EQ(kRefused, second.program.waitForExit());
  EXPECT_TRUE(gui::waitUntil([&] { return IsWindowVisible(first.dialog) != FALSE; })) << "shown as on a double click";
  EXPECT_TRUE(first.program.running());
  EXPECT_TRUE(gui::topLevels(second.pid(), nullptr, false).empty());
  EXPECT_EQ(0u, first.quit());
}

TEST_F(PanelStartup, OnlyTheWordHideInAnyCaseStartsHidden) {
  for (auto [commandLine, hidden] : {std::pair{"hide", true}, {"HiDE", true}, {"hide ", false}, {"-hide", false},
                                     {"hidden", false}, {"", false}}) {
    Panel panel;
    ASSERT_TRUE(panel.start(commandLine));
    ASSERT_NE(nullptr, panel.waitForDialog(false)) << commandLine;
    ASSERT_TRUE(panel.settle());
    EXPECT_EQ(!hidden, IsWindowVisible(panel.dialog) != FALSE) << "\"" << commandLine << "\"";
    EXPECT_TRUE(trayIconPresent(panel.dialog));
    EXPECT_EQ(0u, panel.quit());
  }
}

// The library of the user's language (the suite runs once per language);
// the hidden main window is there too.
TEST_F(PanelStartup, InTheUsersLanguageTheLanguageChoosesTheLibrary) {
  Panel panel;
  ASSERT_TRUE(panel.start());
  ASSERT_NE(nullptr, panel.waitForDialog()) << libraryFile(panel.language);
  EXPECT_EQ(resourceText(panel.language, IDS_PANEL_TITLE), gui::windowText(panel.dialog));
  HWND main = gui::findTopLevel(panel.pid(), "Corvanta", "Corvanta Control Panel", false);
  ASSERT_NE(nullptr, main);
  EXPECT_FALSE(IsWindowVisible(main));
  EXPECT_EQ(0u, panel.quit());
}

TEST_F(PanelStartup, InTheUsersLanguageAMissingLibraryShowsItsNameAndEnds) {
  Panel panel;
  ASSERT_TRUE(panel.start("", false));
  const auto box = answerBox(panel.pid());
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ("Corvanta", box->caption);
  EXPECT_EQ(std::string("Can't load ") + libraryFile(panel.language) + "!", box->text);
  EXPECT_EQ(kRefused, panel.program.waitForExit());
}

TEST_F(PanelStartup, WithoutAConfiguredPrinterItRemovesItsStartupEntryAndEnds) {
  tools_test::writeString(HKEY_LOCAL_MACHINE, kRunKey, "Corvanta", "C:\\Corvanta\\Corvanta.exe hide");
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, settings_test::kMachineKey);
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, settings_test::kMachineKey);
  Panel panel;
  ASSERT_TRUE(panel.start());
  const auto box = answerBox(panel.pid());
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ("Corvanta", box->caption);
  EXPECT_EQ(panel.string(IDS_NO_CONFIGURED_PRINTER), box->text);
  EXPECT_EQ(1u, panel.program.waitForExit());
  EXPECT_FALSE(tools_test::valueExists(HKEY_LOCAL_MACHINE, kRunKey, "Corvanta"));
}

TEST_F(PanelStartup, TheLastUsedPrinterIsShownWhenListed) {
  configure(kSecond);
  struct Case {
    const char* stored;
    std::string shown;
  };
  for (const Case& c : {Case{"Panel Test Pixma", kSecond}, Case{"panel test pixma", kFirst}, Case{"", kFirst},
                        Case{"Gone Printer", kFirst}}) {
    tools_test::writeString(HKEY_USERS, settings_test::kSharedKey, "LastUsed", c.stored);
    Panel panel;
    ASSERT_TRUE(panel.start());
    ASSERT_NE(nullptr, panel.waitForDialog());
    EXPECT_EQ(c.shown, gui::comboSelection(panel.dialog, IDC_PRINTER_LIST)) << c.stored;
    EXPECT_EQ((std::vector<std::string>{kFirst, kSecond}), gui::comboItems(panel.dialog, IDC_PRINTER_LIST));
    EXPECT_EQ(c.shown, lastUsed()) << "stored at start";
    EXPECT_EQ(0u, panel.quit());
  }
}

// The start-with-Windows item follows the Run entry and switches it.
TEST_F(PanelStartup, TheStartupItemSwitchesTheRunEntry) {
  const std::string expected = gui::programDir() + "\\Corvanta.exe hide";
  for (bool entryAtStart : {false, true}) {
    if (entryAtStart)
      tools_test::writeString(HKEY_LOCAL_MACHINE, kRunKey, "Corvanta", expected);
    InProcessPanel panel;
    ASSERT_NE(nullptr, panel.start());
    HMENU popup = control_panel::panelState().trayPopup;
    auto checked = [&] { return (GetMenuState(popup, IDM_START_WITH_WINDOWS, MF_BYCOMMAND) & MF_CHECKED) != 0; };
    EXPECT_EQ(entryAtStart, checked());
    SendMessageA(panel.dialog, WM_COMMAND, IDM_START_WITH_WINDOWS, 0);
    EXPECT_EQ(!entryAtStart, checked());
    std::string entry;
    EXPECT_EQ(!entryAtStart, tools_test::readString(HKEY_LOCAL_MACHINE, kRunKey, "Corvanta", &entry));
    if (!entryAtStart) EXPECT_EQ(expected, entry) << "Corvanta.exe as the search path finds it";
    EXPECT_EQ(0, panel.quit());
  }
}

// The shutdown takes the icon out of the tray before the loop ends.
TEST_F(PanelStartup, QuittingRemovesTheTrayIcon) {
  InProcessPanel panel;
  ASSERT_NE(nullptr, panel.start());
  EXPECT_TRUE(trayIconPresent(panel.dialog));
  EXPECT_EQ(0, panel.quit());
  EXPECT_TRUE(IsWindow(panel.dialog)) << "the dialog outlives the loop";
  EXPECT_FALSE(trayIconPresent(panel.dialog));
  panel.finish();
}

}  // namespace
