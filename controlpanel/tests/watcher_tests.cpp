// What the running Corvanta.exe does when something outside it changes: a
// configured printer deleted from the spooler, other changes under the
// spooler's printers, settings saved by the per-job dialog.
#include <windows.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <memory>

#include "panel_user.h"
#include "resource_ids.h"

using namespace panel_test;
using settings_test::machinePrinter;
using settings_test::readDword;
using settings_test::setDword;
using settings_test::sharedPrinter;

namespace {

const std::string kRemoved = "Panel Watch Removed";
const std::string kKept = "Panel Watch Kept";
const std::string kLoose = "Panel Watch Loose";
const std::string kPassing = "Panel Watch Passing";
const std::string kDriver = "Corvanta Panel Watch Driver";

bool keyExists(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

class PanelWatchers : public testing::Test {
 protected:
  settings_test::RegistryGuard guard;
  tools_test::TestDriver driver{kDriver, ""};
  tools_test::LocalPort port3{"Corvanta Port 3"}, port4{"Corvanta Port 4"}, lpt3{"LPT3:"};
  Panel panel;
};

TEST_F(PanelWatchers, ADeletedPrinterIsForgottenAndEndsTheProgram) {
  auto removed = std::make_unique<tools_test::TestPrinter>(kRemoved, "LPT1:", driver.name());
  tools_test::TestPrinter kept(kKept, "Corvanta Port 4", driver.name());
  tools_test::TestPrinter loose(kLoose, "Corvanta Port 3", driver.name());
  ASSERT_TRUE(removed->added() && kept.added() && loose.added());
  configure(kRemoved);
  configure(kKept);
  ASSERT_TRUE(panel.start());
  ASSERT_TRUE(panel.waitForDialog());

  // A printer that comes and goes changes the spooler's printers but removes
  // no configured one: nothing happens, and the watch goes on.
  { tools_test::TestPrinter passing(kPassing, "LPT1:", driver.name()); }
  panel.settle();
  EXPECT_FALSE(gui::waitForMessageBox(panel.pid(), 200).has_value());
  EXPECT_TRUE(panel.program.running());
  EXPECT_EQ("Corvanta Port 3", tools_test::printerPort(kLoose));

  removed.reset();
  const auto warning = answerBox(panel.pid());
  ASSERT_TRUE(warning.has_value());
  EXPECT_EQ("Corvanta", warning->caption);
  EXPECT_EQ(panel.string(IDS_REMOVED_BEFORE_NAME) + kRemoved + panel.string(IDS_REMOVED_AFTER_NAME) +
                panel.string(IDS_REMOVED_SETTINGS) + panel.string(IDS_REMOVED_CLOSING),
            warning->text);
  EXPECT_EQ(0u, panel.program.waitForExit().value_or(99)) << "one warning, then the program ends";
  EXPECT_FALSE(trayIconPresent(panel.dialog));
  EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, machinePrinter(kRemoved)));
  EXPECT_FALSE(keyExists(HKEY_USERS, sharedPrinter(kRemoved)));
  EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, machinePrinter(kKept)));
  EXPECT_EQ("LPT3:", tools_test::printerPort(kLoose)) << "not configured: back to its parallel port";
  EXPECT_EQ("Corvanta Port 4", tools_test::printerPort(kKept)) << "configured: stays on the product port";
}

TEST_F(PanelWatchers, SettingsSavedByThePerJobDialogRefreshTheOpenDialog) {
  tools_test::TestPrinter printer(kKept, "LPT1:", driver.name());
  configure(kKept);
  ASSERT_TRUE(panel.start());
  ASSERT_TRUE(panel.waitForDialog());
  ASSERT_EQ("25%", panel.text(IDC_BLACK_LEVEL_EDIT));

  // What the per-job dialog does in the spooler's process: the values, then
  // PerJob 1.
  for (int round = 1; round <= 2; ++round) {
    const int black = 40 + round * 5, color = 60 + round;
    setDword(HKEY_USERS, sharedPrinter(kKept), "BlackLevel", black);
    setDword(HKEY_USERS, sharedPrinter(kKept), "ColorLevel", color);
    setDword(HKEY_USERS, settings_test::kSharedKey, "PerJob", 1);
    EXPECT_TRUE(gui::waitUntil([&] { return readDword(HKEY_USERS, settings_test::kSharedKey, "PerJob") == 0; }))
        << "round " << round;
    EXPECT_EQ(std::to_string(black) + "%", panel.text(IDC_BLACK_LEVEL_EDIT));
    EXPECT_EQ(std::to_string(color) + "%", panel.text(IDC_COLOR_LEVEL_EDIT));
    EXPECT_EQ(black, gui::trackbarPosition(panel.dialog, IDC_BLACK_TRACKBAR));
  }
  EXPECT_EQ(0u, panel.quit().value_or(99));
}

}  // namespace
