// The savings tab of the running Corvanta.exe: the figures of a printer's
// costs, counts and levels in the user's currency format, the decimal
// separator a cost field takes, what a cost lands in the registry as, the
// up-down arrows and the coloured totals.
#include <windows.h>

#include <gtest/gtest.h>

#include "money_format.h"
#include "panel_user.h"
#include "resource_ids.h"

using namespace panel_test;
using control_panel::money;
using settings_test::readDword;
using settings_test::sharedPrinter;

namespace {

const std::string kPrinter = "Panel Savings DeskJet";

constexpr uint32_t packed(uint32_t code, uint32_t whole) { return code << 16 | whole; }

// Costs 20.00 and 30.00, levels 25 and 50, 4 and 2 cartridges a year.
Settings example() {
  Settings settings;
  settings.black = 25;
  settings.color = 50;
  settings.blackCost = packed(100, 20);
  settings.colorCost = packed(100, 30);
  settings.blackCarts = 4;
  settings.colorCarts = 2;
  return settings;
}

class PanelSavings : public testing::Test {
 protected:
  static void SetUpTestSuite() { spooler = new SpoolerPrinters({kPrinter}); }
  static void TearDownTestSuite() { delete spooler; }
  static SpoolerPrinters* spooler;
  settings_test::RegistryGuard guard;
  Panel panel;
  // Money as the program formats it: the user's locale, or US English for a
  // language without a library of its own.
  LCID locale = panel.language == Language::kOther ? 0x0409 : LOCALE_USER_DEFAULT;
  std::string separator = control_panel::currencySeparator(locale);

  void SetUp() override {
    configure(kPrinter, example());
    ASSERT_TRUE(panel.start());
    if (!panel.waitForDialog()) {
      auto box = gui::waitForMessageBox(panel.pid(), 100);
      FAIL() << "no dialog; box: " << (box ? box->caption + ": " + box->text : "none") << " exit " << panel.program.waitForExit(0).value_or(12345);
    }
    gui::click(panel.dialog, IDC_BLACK_SAVINGS_LINK);
    ASSERT_TRUE(gui::waitUntil([&] { return panel.tab() == 1; }));
  }
  std::string perYear(double value) const { return money(value, locale) + " /" + panel.string(IDS_UNIT_PER_YEAR); }
  std::string perCartridge(double value) const {
    return money(value, locale) + " /" + panel.string(IDS_UNIT_PER_CARTRIDGE);
  }
  uint32_t storedBlackCost() const {
    return static_cast<uint32_t>(readDword(HKEY_USERS, sharedPrinter(kPrinter), "BlackCost"));
  }
};
SpoolerPrinters* PanelSavings::spooler = nullptr;

TEST_F(PanelSavings, InTheUsersLanguageTheExampleShowsInTheLocalesCurrency) {
  EXPECT_EQ("20" + separator + "00", panel.text(IDC_BLACK_COST_EDIT));
  EXPECT_EQ("30" + separator + "00", panel.text(IDC_COLOR_COST_EDIT));
  EXPECT_EQ("4", panel.text(IDC_BLACK_CARTRIDGES_EDIT));
  EXPECT_EQ("2", panel.text(IDC_COLOR_CARTRIDGES_EDIT));
  EXPECT_EQ("25%", panel.text(IDC_BLACK_LEVEL_LABEL));
  EXPECT_EQ("50%", panel.text(IDC_COLOR_LEVEL_LABEL));
  EXPECT_EQ(money(80, locale), panel.text(IDC_BLACK_YEAR_COST));
  EXPECT_EQ(money(60, locale), panel.text(IDC_COLOR_YEAR_COST));
  EXPECT_EQ(perYear(140), panel.text(IDC_TOTAL_YEAR_COST));
  EXPECT_EQ(money(5, locale), panel.text(IDC_BLACK_CART_SAVING_2));
  EXPECT_EQ(money(15, locale), panel.text(IDC_COLOR_CART_SAVING_2));
  EXPECT_EQ(perCartridge(5), panel.text(IDC_BLACK_CART_SAVING));
  EXPECT_EQ(perCartridge(15), panel.text(IDC_COLOR_CART_SAVING));
  EXPECT_EQ(money(20, locale), panel.text(IDC_BLACK_YEAR_SAVING));
  EXPECT_EQ(money(30, locale), panel.text(IDC_COLOR_YEAR_SAVING));
  EXPECT_EQ(perYear(50), panel.text(IDC_TOTAL_YEAR_SAVING));
  if (panel.language == Language::kOther || panel.language == Language::kEnglish)
    EXPECT_EQ("$140.00", money(140, locale));
  else
    EXPECT_NE(std::string::npos, money(140, locale).find("140,00"));
  EXPECT_TRUE(gui::screenshot(panel.dialog, std::string("savings_tab_") + languageName(panel.language)));
}

TEST_F(PanelSavings, InTheUsersLanguageACostTakesTheCurrencySeparatorOnly) {
  ASSERT_EQ(1u, separator.size());
  const std::string other = separator == "," ? "." : ",";
  panel.type(IDC_BLACK_COST_EDIT, "12" + other + "50");
  gui::click(panel.dialog, IDC_PANEL_APPLY);
  const auto refused = answerBox(panel.pid());
  ASSERT_TRUE(refused.has_value());
  EXPECT_EQ(panel.string(IDS_INVALID_COST), refused->text);
  EXPECT_EQ(panel.string(IDS_INPUT_ERROR_CAPTION), refused->caption);
  EXPECT_TRUE(gui::waitUntil([&] { return panel.tab() == 1; }));
  EXPECT_EQ(packed(100, 20), storedBlackCost()) << "nothing written";

  // Two fraction digits are kept: 12.123 is 12.12, not 12.02. Each cost
  // reads back as a text other than the one typed, so the field shows when
  // the click's handling is done.
  struct Typed {
    std::string text;
    uint32_t stored;
    std::string shown;
  } typed[] = {{"12" + separator + "5", packed(5, 12), "12" + separator + "50"},
               {"12" + separator + "050", packed(105, 12), "12" + separator + "05"},
               {"12" + separator + "123", packed(12, 12), "12" + separator + "12"},
               {"7", packed(100, 7), "7" + separator + "00"}};
  for (const Typed& cost : typed) {
    panel.type(IDC_BLACK_COST_EDIT, cost.text);
    gui::click(panel.dialog, IDC_PANEL_APPLY);
    EXPECT_TRUE(gui::waitUntil([&] { return cost.shown == panel.text(IDC_BLACK_COST_EDIT); }))
        << cost.text << " shows " << panel.text(IDC_BLACK_COST_EDIT);
    EXPECT_EQ(cost.stored, storedBlackCost()) << cost.text;
  }
  EXPECT_FALSE(gui::waitForMessageBox(panel.pid(), 0).has_value());
}

TEST_F(PanelSavings, TheUpArrowOfACostMakesWholeUnitsAndRecomputes) {
  panel.type(IDC_BLACK_COST_EDIT, "12" + separator + "50");
  gui::click(panel.dialog, IDC_PANEL_APPLY);
  ASSERT_TRUE(gui::waitUntil([&] { return money(50, locale) == panel.text(IDC_BLACK_YEAR_COST); }));
  gui::spin(panel.dialog, IDC_BLACK_COST_SPIN);
  EXPECT_TRUE(gui::waitUntil([&] { return "13" + separator + "00" == panel.text(IDC_BLACK_COST_EDIT); }))
      << panel.text(IDC_BLACK_COST_EDIT);
  EXPECT_EQ(money(52, locale), panel.text(IDC_BLACK_YEAR_COST));
  EXPECT_EQ(perYear(112), panel.text(IDC_TOTAL_YEAR_COST));
  gui::spin(panel.dialog, IDC_COLOR_CARTRIDGES_SPIN);
  EXPECT_TRUE(gui::waitUntil([&] { return money(90, locale) == panel.text(IDC_COLOR_YEAR_COST); }))
      << panel.text(IDC_COLOR_YEAR_COST);
  EXPECT_EQ("3", panel.text(IDC_COLOR_CARTRIDGES_EDIT));
  // Typing afterwards changes the text only; the figures follow on Apply.
  panel.type(IDC_BLACK_COST_EDIT, "14");
  gui::focus(panel.dialog, IDC_BLACK_CARTRIDGES_EDIT);
  gui::waitUntil([&] { return gui::focusedControl(panel.dialog) == GetDlgItem(panel.dialog, IDC_BLACK_CARTRIDGES_EDIT); });
  EXPECT_EQ("14", panel.text(IDC_BLACK_COST_EDIT));
  EXPECT_EQ(money(52, locale), panel.text(IDC_BLACK_YEAR_COST));
}

TEST_F(PanelSavings, TheTotalsAreWhiteOnBlue) {
  constexpr uint32_t kBlue = 0x1A8ADC;  // 0x00DC8A1A as pixels
  ASSERT_TRUE(gui::screenshot(panel.dialog, "savings_totals"));  // brings the dialog to the front
  for (int total : {IDC_TOTAL_YEAR_COST, IDC_TOTAL_YEAR_SAVING}) {
    RECT area;
    GetWindowRect(GetDlgItem(panel.dialog, total), &area);
    InflateRect(&area, -3, -3);
    const std::vector<uint32_t> pixels = gui::capture(area);
    ASSERT_FALSE(pixels.empty());
    size_t blue = 0, light = 0;
    for (uint32_t pixel : pixels) {
      blue += (pixel & 0xFFFFFF) == kBlue;
      light += (pixel & 0xFFFFFF) >= 0xF0F0F0;
    }
    EXPECT_GT(blue, pixels.size() / 2) << total;
    EXPECT_GT(light, 10u) << total << ": the figure in light text";
  }
}

}  // namespace
