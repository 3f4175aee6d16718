// Start-up and end of Corvanta.exe: the single instance, the "hide" command
// line, the language library, the missing library, the printer list at
// start and the shutdown.
#include <windows.h>

#include <gtest/gtest.h>

#include <tuple>

#include "panel_user.h"
#include "resource_ids.h"

using namespace panel_test;
using settings_test::readDword;

namespace {

const std::string kFirst = "Panel Test DeskJet";
const std::string kSecond = "Panel Test Pixma";
constexpr char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr DWORD kRefused = static_cast<DWORD>(-1);

class PanelStartup : public testing::Test {
 protected:
  static void SetUpTestSuite() { spooler = new SpoolerPrinters({kFirst, kSecond}); }
  static void TearDownTestSuite() { delete spooler; }
  static SpoolerPrinters* spooler;
  settings_test::RegistryGuard guard;

  void SetUp() override { configure(kFirst); }

  static std::string lastUsed() {
    std::string value;
    tools_test::readString(HKEY_USERS, settings_test::kSharedKey, "LastUsed", &value);
    return value;
  }
};
SpoolerPrinters* PanelStartup::spooler = nullptr;

TEST_F(PanelStartup, InTheUsersLanguageAMissingLibraryShowsItsNameAndEnds) {
  Panel panel;
  ASSERT_TRUE(panel.start("", false));
  const auto box = answerBox(panel);
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ("Corvanta", box->caption);
  EXPECT_EQ(std::string("Can't load ") + libraryFile(panel.language) + "!", box->text);
  EXPECT_EQ(kRefused, panel.program.waitForExit());
}

}  // namespace
