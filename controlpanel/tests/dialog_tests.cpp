// The settings dialog of the running Corvanta.exe as its user meets it:
// fields typed, trackbars moved, buttons clicked, message boxes answered,
// printers chosen, and what lands in the registry.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "panel_user.h"
#include "resource_ids.h"

using namespace panel_test;
using namespace corvanta_res;

namespace {

class SettingsDialog : public PanelTest {
 protected:
  Panel panel;

  HWND open() {
    if (!panel.start()) return nullptr;
    return panel.waitForDialog();
  }
  // An error message of the program: its text and caption, answered.
  void expectError(int stringId, const char* what) {
    const auto box = answerBox(panel.pid());
    ASSERT_TRUE(box.has_value()) << what;
    EXPECT_EQ(panel.string(IDS_INPUT_ERROR_CAPTION), box->caption) << what;
    EXPECT_EQ(panel.string(stringId), box->text) << what;
  }
  static bool eventually(const std::function<bool()>& condition) { return gui::waitUntil(condition, 5000); }
  bool focusOn(int id) {
    return gui::waitUntil([&] { return gui::focusedControl(panel.dialog) == GetDlgItem(panel.dialog, id); }, 3000);
  }
  // The field's whole text is selected.
  bool allSelected(int id) {
    DWORD start = 0, end = 0;
    SendDlgItemMessageA(panel.dialog, id, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return start == 0 && end == panel.text(id).size();
  }
};

TEST_F(SettingsDialog, ApplyWritesTheEditedValuesOfTheCurrentPrinter) {
  ASSERT_NE(nullptr, open());
  EXPECT_EQ("25%", panel.text(IDC_BLACK_LEVEL_EDIT));
  EXPECT_TRUE(gui::isChecked(panel.dialog, IDC_REDUCTION_CHECK));
  EXPECT_TRUE(panel.enabled(IDC_PANEL_APPLY));
  gui::clickCheckBox(panel.dialog, IDC_DISPLAY_INK_CHECK);
  gui::moveTrackbar(panel.dialog, IDC_COLOR_TRACKBAR, 40);
  EXPECT_EQ("40%", panel.text(IDC_COLOR_LEVEL_EDIT));
  EXPECT_EQ("40%", panel.text(IDC_COLOR_LEVEL_LABEL));
  panel.type(IDC_BLACK_LEVEL_EDIT, "%25");  // passes the character test, reads 0
  gui::click(panel.dialog, IDC_PANEL_APPLY);
  Settings expected;
  expected.displayInk = 1, expected.black = 0, expected.color = 40;
  EXPECT_TRUE(eventually([&] { return stored(kFirst) == valuesOf(expected); }));
  EXPECT_TRUE(IsWindowVisible(panel.dialog)) << "Apply keeps the dialog open";
  EXPECT_TRUE(eventually([&] { return panel.text(IDC_BLACK_LEVEL_EDIT) == "0%"; })) << "filled again from what was saved";

  gui::clickCheckBox(panel.dialog, IDC_DISPLAY_INK_CHECK);
  gui::click(panel.dialog, IDC_PANEL_CANCEL);
  EXPECT_TRUE(eventually([&] { return !IsWindowVisible(panel.dialog); }));
  EXPECT_EQ(1, stored(kFirst)[1]) << "Cancel saves nothing";
  EXPECT_TRUE(gui::isChecked(panel.dialog, IDC_DISPLAY_INK_CHECK)) << "and puts the saved values back";
  gui::command(panel.dialog, IDM_SHOW_SETTINGS);
  EXPECT_TRUE(gui::waitUntil([&] { return IsWindowVisible(panel.dialog) != FALSE; }));
  gui::click(panel.dialog, IDC_PANEL_OK);
  EXPECT_TRUE(eventually([&] { return !IsWindowVisible(panel.dialog); })) << "OK saves and hides";
}

// Each field's message, and the tab and field the user is taken back to;
// nothing is written.
TEST_F(SettingsDialog, EveryInvalidFieldIsReportedAndFocused) {
  ASSERT_NE(nullptr, open());
  struct Case {
    int field;
    const char* text;
    int message;
    int tab;
  };
  for (const Case& c : {Case{IDC_BLACK_COST_EDIT, "12a", IDS_INVALID_COST, 1},
                        Case{IDC_COLOR_COST_EDIT, "1000", IDS_INVALID_COST, 1},
                        Case{IDC_BLACK_CARTRIDGES_EDIT, "5%", IDS_INVALID_CARTRIDGES, 1},
                        Case{IDC_COLOR_CARTRIDGES_EDIT, "100", IDS_INVALID_CARTRIDGES, 1},
                        Case{IDC_BLACK_LEVEL_EDIT, "80%", IDS_INVALID_LEVEL, 0},
                        Case{IDC_COLOR_LEVEL_EDIT, "-5", IDS_INVALID_LEVEL, 0}}) {
    const std::string before = panel.text(c.field);
    gui::setItemText(panel.dialog, c.field, c.text);
    gui::click(panel.dialog, IDC_PANEL_APPLY);
    expectError(c.message, c.text);
    EXPECT_TRUE(focusOn(c.field)) << c.text;
    EXPECT_EQ(c.tab, panel.tab()) << c.text;
    EXPECT_TRUE(panel.visible(c.field)) << c.text;
    EXPECT_TRUE(allSelected(c.field)) << c.text;
    EXPECT_EQ(valuesOf({}), stored(kFirst)) << c.text;
    gui::setItemText(panel.dialog, c.field, before);
  }
  // Valid forms: a level with or without its percent sign, a cost with the
  // decimal point of an English user.
  panel.type(IDC_COLOR_LEVEL_EDIT, "30");
  panel.type(IDC_BLACK_LEVEL_EDIT, "45%");
  gui::click(panel.dialog, IDC_PANEL_APPLY);
  EXPECT_TRUE(eventually([&] { return stored(kFirst)[2] == 45; }));
  EXPECT_EQ(30, stored(kFirst)[3]);
}

// Leaving a level field that holds an invalid level: the message, the stored
// level back in the field, the focus back there.
TEST_F(SettingsDialog, LeavingAnInvalidLevelPutsTheStoredLevelBack) {
  ASSERT_NE(nullptr, open());
  panel.type(IDC_BLACK_LEVEL_EDIT, "99");
  gui::focus(panel.dialog, IDC_COLOR_LEVEL_EDIT);
  expectError(IDS_INVALID_LEVEL, "99");
  EXPECT_TRUE(focusOn(IDC_BLACK_LEVEL_EDIT));
  EXPECT_EQ("25%", panel.text(IDC_BLACK_LEVEL_EDIT));
  EXPECT_FALSE(gui::waitForMessageBox(panel.pid(), 300).has_value()) << "reported once";

  panel.type(IDC_BLACK_LEVEL_EDIT, "60");
  gui::focus(panel.dialog, IDC_COLOR_LEVEL_EDIT);
  EXPECT_TRUE(focusOn(IDC_COLOR_LEVEL_EDIT));
  EXPECT_EQ(60, gui::trackbarPosition(panel.dialog, IDC_BLACK_TRACKBAR)) << "a valid level moves its trackbar";
}

// One preview picture per channel: the one of the level's band.
TEST_F(SettingsDialog, ThePreviewFollowsTheLevelsBand) {
  Settings settings;
  settings.black = 20;
  configure(kFirst, settings);
  ASSERT_NE(nullptr, open());
  auto shownBlack = [&] {
    std::vector<int> shown;
    for (int id : kBlackPreviews)
      if (panel.visible(id)) shown.push_back(id);
    return shown;
  };
  EXPECT_EQ(std::vector<int>{IDC_BLACK_PREVIEW_1}, shownBlack());
  gui::moveTrackbar(panel.dialog, IDC_BLACK_TRACKBAR, 24);
  EXPECT_EQ(std::vector<int>{IDC_BLACK_PREVIEW_1}, shownBlack());
  gui::moveTrackbar(panel.dialog, IDC_BLACK_TRACKBAR, 25);
  EXPECT_EQ(std::vector<int>{IDC_BLACK_PREVIEW_2}, shownBlack());
  for (auto [level, picture] : {std::pair{0, IDC_BLACK_PREVIEW_0}, {11, IDC_BLACK_PREVIEW_0}, {12, IDC_BLACK_PREVIEW_1},
                                {36, IDC_BLACK_PREVIEW_2}, {37, IDC_BLACK_PREVIEW_3}, {49, IDC_BLACK_PREVIEW_3},
                                {50, IDC_BLACK_PREVIEW_4}, {67, IDC_BLACK_PREVIEW_4}, {68, IDC_BLACK_PREVIEW_5},
                                {73, IDC_BLACK_PREVIEW_5}, {74, IDC_BLACK_PREVIEW_6}, {75, IDC_BLACK_PREVIEW_6}}) {
    gui::moveTrackbar(panel.dialog, IDC_BLACK_TRACKBAR, level);
    EXPECT_EQ(std::vector<int>{picture}, shownBlack()) << level;
  }
  int colourShown = 0;
  for (int id : kColorPreviews) colourShown += panel.visible(id);
  EXPECT_EQ(1, colourShown);
}

// With reduction off, tab 1 and the level controls are out of reach; the
// tray switch turns it back on and stores it.
TEST_F(SettingsDialog, ReductionOffDisablesTheLevelsAndTheSavingsTab) {
  Settings off;
  off.reduction = 0;
  configure(kFirst, off);
  ASSERT_NE(nullptr, open());
  EXPECT_FALSE(panel.enabled(IDC_TABS));
  EXPECT_FALSE(panel.enabled(IDC_PANEL_APPLY));
  const int count = static_cast<int>(std::size(kTab0Controls));
  for (int i = 2; i < count; ++i) {
    const int id = kTab0Controls[i];
    const bool kept = id == IDC_BLACK_GROUP || id == IDC_COLOR_GROUP || id == IDC_BLACK_PREVIEW_FRAME ||
                      id == IDC_COLOR_PREVIEW_FRAME;
    EXPECT_EQ(kept, panel.enabled(id)) << id;
  }
  EXPECT_TRUE(panel.enabled(IDC_REDUCTION_CHECK));
  EXPECT_TRUE(panel.enabled(IDC_REDUCTION_NOTE));

  // A double click on the tray icon brings tab 0 back.
  SendDlgItemMessageA(panel.dialog, IDC_TABS, TCM_SETCURSEL, 1, 0);
  PostMessageA(panel.dialog, WM_TRAYICON, TRAY_ICON_ID, WM_LBUTTONDBLCLK);
  EXPECT_TRUE(eventually([&] { return panel.tab() == 0; }));

  gui::clickCheckBox(panel.dialog, IDC_REDUCTION_CHECK);
  EXPECT_TRUE(panel.enabled(IDC_BLACK_TRACKBAR));
  EXPECT_TRUE(panel.enabled(IDC_PANEL_APPLY));
  EXPECT_EQ(0, stored(kFirst)[0]) << "nothing stored before OK or Apply";

  gui::command(panel.dialog, IDM_TOGGLE_REDUCTION);
  EXPECT_TRUE(eventually([&] { return stored(kFirst)[0] == 1 && panel.enabled(IDC_TABS); }));
  EXPECT_TRUE(panel.enabled(IDC_TABS));
  // On tab 1, switching reduction off from the tray brings tab 0 back.
  gui::click(panel.dialog, IDC_BLACK_SAVINGS_LINK);
  EXPECT_TRUE(eventually([&] { return panel.tab() == 1; }));
  EXPECT_TRUE(panel.visible(IDC_BLACK_COST_EDIT));
  EXPECT_FALSE(panel.visible(IDC_BLACK_TRACKBAR));
  gui::command(panel.dialog, IDM_TOGGLE_REDUCTION);
  EXPECT_TRUE(eventually([&] { return stored(kFirst)[0] == 0 && panel.tab() == 0; }));
  EXPECT_FALSE(panel.enabled(IDC_TABS));
}

// Choosing another printer with unsaved edits asks whether to save them.
TEST_F(SettingsDialog, ChangingThePrinterAsksToSaveTheEdits) {
  Settings second;
  second.black = 65, second.color = 15;
  configure(kSecond, second);
  ASSERT_NE(nullptr, open());
  ASSERT_EQ(kFirst, gui::comboSelection(panel.dialog, IDC_PRINTER_LIST));

  // No: the edits are dropped and the second printer's values shown.
  gui::setItemText(panel.dialog, IDC_BLACK_LEVEL_EDIT, "30");
  gui::selectComboText(panel.dialog, IDC_PRINTER_LIST, kSecond);
  auto question = answerBox(panel.pid(), IDNO);
  ASSERT_TRUE(question.has_value());
  EXPECT_EQ("Corvanta", question->caption);
  EXPECT_EQ(panel.string(IDS_ASK_SAVE_PREVIOUS), question->text);
  EXPECT_TRUE(eventually([&] { return panel.text(IDC_BLACK_LEVEL_EDIT) == "65%"; }));
  EXPECT_EQ(65, gui::trackbarPosition(panel.dialog, IDC_BLACK_TRACKBAR));
  EXPECT_EQ(valuesOf({}), stored(kFirst));

  // Unchanged values: no question.
  gui::selectComboText(panel.dialog, IDC_PRINTER_LIST, kFirst);
  EXPECT_FALSE(gui::waitForMessageBox(panel.pid(), 300).has_value());
  EXPECT_TRUE(eventually([&] { return panel.text(IDC_BLACK_LEVEL_EDIT) == "25%"; }));

  // Yes with an invalid field: the error, and the first printer stays.
  gui::setItemText(panel.dialog, IDC_COLOR_LEVEL_EDIT, "90");
  gui::selectComboText(panel.dialog, IDC_PRINTER_LIST, kSecond);
  ASSERT_TRUE(answerBox(panel.pid(), IDYES).has_value());
  expectError(IDS_INVALID_LEVEL, "90");
  EXPECT_TRUE(focusOn(IDC_COLOR_LEVEL_EDIT));
  EXPECT_EQ(kFirst, gui::comboSelection(panel.dialog, IDC_PRINTER_LIST));
  EXPECT_EQ(valuesOf({}), stored(kFirst));

  // Yes with valid fields: saved, then the second printer shown.
  gui::setItemText(panel.dialog, IDC_COLOR_LEVEL_EDIT, "35");
  gui::selectComboText(panel.dialog, IDC_PRINTER_LIST, kSecond);
  ASSERT_TRUE(answerBox(panel.pid(), IDYES).has_value());
  EXPECT_TRUE(eventually([&] { return stored(kFirst)[3] == 35 && panel.text(IDC_COLOR_LEVEL_EDIT) == "15%"; }));
  EXPECT_EQ(kFirst, [] {
    std::string value;
    tools_test::readString(HKEY_USERS, settings_test::kSharedKey, "LastUsed", &value);
    return value;
  }()) << "a change of selection alone does not store the last-used printer";
}

}  // namespace
