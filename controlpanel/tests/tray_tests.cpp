// The tray icon's menu and tip, read in the program's own process: one
// printer or several, standard and custom levels, the per-printer commands
// and what they store; and the screenshots of the dialog's tabs and the open
// tray menu.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "panel_user.h"
#include "panel_values.h"
#include "resource_ids.h"
#include "startup.h"
#include "tray.h"

using namespace panel_test;
using control_panel::panelState;

namespace {

class TrayMenu : public PanelTest {
 protected:
  InProcessPanel panel;
  Language language = userLanguage();
  std::string string(int id) const { return resourceText(language, id); }
  HMENU popup() const { return panelState().trayPopup; }
  std::string label(int prefix, int level) const { return string(prefix) + std::to_string(level) + "%"; }

  // The nine standard items and, for a custom level, a separator and the
  // checked custom item; the checked item's text.
  void expectLevels(HMENU submenu, int firstId, int level, const char* what) {
    const std::vector<MenuItem> items = menuItems(submenu);
    const int position = control_panel::menuLevelPosition(level);
    ASSERT_EQ(position >= 0 ? 9u : 11u, items.size()) << what;
    for (int k = 0; k < 9; ++k) {
      EXPECT_EQ(static_cast<UINT>(firstId + k), items[k].id) << what;
      EXPECT_EQ(std::to_string(control_panel::kMenuLevels[k]) + "%", items[k].text) << what;
      EXPECT_EQ(k == position, items[k].checked) << what << " item " << k;
    }
    if (position < 0) {
      EXPECT_TRUE(items[9].separator) << what;
      EXPECT_EQ(static_cast<UINT>(firstId + 9), items[10].id) << what;
      EXPECT_EQ(std::to_string(level) + "%", items[10].text) << what;
      EXPECT_TRUE(items[10].checked) << what;
    }
  }
  bool hasItem(HMENU menu, UINT id) {
    for (const MenuItem& item : menuItems(menu)) {
      if (item.id == id && !item.submenu) return true;
      if (item.submenu && hasItem(item.submenu, id)) return true;
    }
    return false;
  }
};

TEST_F(TrayMenu, OnePrinterHasItsLevelSubmenusAndTheReductionItem) {
  Settings custom;
  custom.black = 20;
  configure(kFirst, custom);
  ASSERT_NE(nullptr, panel.start());
  const std::vector<MenuItem> items = menuItems(popup());
  ASSERT_GE(items.size(), 8u);
  EXPECT_EQ(label(IDS_MENU_BLACK_PREFIX, 20), items[0].text);
  EXPECT_EQ(label(IDS_MENU_COLOR_PREFIX, 25), items[1].text);
  EXPECT_TRUE(items[2].separator);
  expectLevels(items[0].submenu, IDM_PRINTER_BASE, 20, "black 20");
  expectLevels(items[1].submenu, IDM_PRINTER_BASE + 10, 25, "colour 25");
  EXPECT_EQ(static_cast<UINT>(IDM_TOGGLE_REDUCTION), items[7].id);
  EXPECT_EQ(string(IDS_MENU_REDUCTION_OFF), items[7].text) << "reduction is on: the item switches it off";
  EXPECT_EQ(static_cast<UINT>(IDM_SHOW_SETTINGS), GetMenuDefaultItem(popup(), FALSE, 0));

  // A standard level chosen from the menu: stored, relabelled, the custom item gone.
  SendMessageA(panel.dialog, WM_COMMAND, IDM_PRINTER_BASE + 4, 0);  // 35 %
  EXPECT_EQ(35, stored(kFirst)[2]);
  EXPECT_EQ(label(IDS_MENU_BLACK_PREFIX, 35), menuItems(popup())[0].text);
  expectLevels(menuItems(popup())[0].submenu, IDM_PRINTER_BASE, 35, "black 35");
  EXPECT_EQ(35, gui::trackbarPosition(panel.dialog, IDC_BLACK_TRACKBAR)) << "the current printer's dialog follows";

  // The reduction item switches it off and back on.
  SendMessageA(panel.dialog, WM_COMMAND, IDM_TOGGLE_REDUCTION, 0);
  EXPECT_EQ(0, stored(kFirst)[0]);
  EXPECT_EQ(string(IDS_MENU_REDUCTION_ON), menuItems(popup())[7].text);
  EXPECT_FALSE(gui::isChecked(panel.dialog, IDC_REDUCTION_CHECK));
  EXPECT_EQ(0, panel.quit());
}

TEST_F(TrayMenu, SeveralPrintersHaveAMenuEachAndNoSingleReductionItem) {
  Settings second;
  second.reduction = 0, second.color = 20;
  configure(kSecond, second);
  ASSERT_NE(nullptr, panel.start());
  const std::vector<MenuItem> items = menuItems(popup());
  ASSERT_GE(items.size(), 3u);
  EXPECT_EQ(kFirst, items[0].text);
  EXPECT_EQ(kSecond, items[1].text);
  EXPECT_TRUE(items[2].separator);
  EXPECT_FALSE(hasItem(popup(), IDM_TOGGLE_REDUCTION));
  for (int printer = 0; printer < 2; ++printer) {
    const int first = IDM_PRINTER_BASE + IDM_IDS_PER_PRINTER * printer;
    const std::vector<MenuItem> own = menuItems(items[printer].submenu);
    ASSERT_EQ(4u, own.size());
    expectLevels(own[0].submenu, first, 25, "black");
    expectLevels(own[1].submenu, first + 10, printer == 0 ? 25 : 20, "colour");
    EXPECT_TRUE(own[2].separator);
    EXPECT_EQ(static_cast<UINT>(first + 20), own[3].id);
    EXPECT_EQ(string(printer == 0 ? IDS_MENU_REDUCTION_OFF : IDS_MENU_REDUCTION_ON), own[3].text);
  }

  // The second printer's commands store its values; the dialog shows the first.
  const int second0 = IDM_PRINTER_BASE + IDM_IDS_PER_PRINTER;
  SendMessageA(panel.dialog, WM_COMMAND, second0 + 20, 0);
  SendMessageA(panel.dialog, WM_COMMAND, second0 + 10 + 8, 0);  // colour 75 %
  Settings expected = second;
  expected.reduction = 1, expected.color = 75;
  EXPECT_EQ(valuesOf(expected), stored(kSecond));
  EXPECT_EQ(valuesOf({}), stored(kFirst));
  const std::vector<MenuItem> own = menuItems(menuItems(popup())[1].submenu);
  EXPECT_EQ(label(IDS_MENU_COLOR_PREFIX, 75), own[1].text);
  EXPECT_EQ(string(IDS_MENU_REDUCTION_OFF), own[3].text);
  EXPECT_EQ(25, gui::trackbarPosition(panel.dialog, IDC_COLOR_TRACKBAR));
  EXPECT_EQ(0, panel.quit());
}

// The tip names the printer and its levels, or just the program when that
// does not fit.
TEST_F(TrayMenu, TheTipFitsOrIsTheProgramName) {
  const control_panel::TipTexts texts = {string(IDS_TIP_REDUCTION_ON), string(IDS_TIP_REDUCTION_OFF),
                                         string(IDS_TIP_BLACK_LABEL), string(IDS_TIP_COLOR_LABEL)};
  ASSERT_NE(nullptr, panel.start());
  EXPECT_EQ(texts.reductionOn + " - " + kFirst + " - " + texts.blackLabel + "25% - " + texts.colorLabel + "25%",
            std::string(panelState().trayIcon.szTip));
  EXPECT_EQ(0, panel.quit());
  panel.finish();

  EXPECT_EQ("Corvanta", control_panel::trayTip(texts, std::string(60, 'p').c_str(), 1, 25, 25, "Corvanta"));
  EXPECT_EQ(texts.reductionOff + " - P - " + texts.blackLabel + "75% - " + texts.colorLabel + "0%",
            control_panel::trayTip(texts, "P", 0, 75, 0, "Corvanta"));
  // Levels of three digits can make the text longer than the tip holds.
  const size_t room = 64 - (texts.blackLabel.size() + texts.colorLabel.size() +
                            std::max(texts.reductionOn.size(), texts.reductionOff.size()) + 9);
  const std::string longest(room - 1, 'p');
  EXPECT_EQ("Corvanta", control_panel::trayTip(texts, longest.c_str(), 1, -100, -100, "Corvanta"));
}

// Both tabs and the open tray menu, photographed in the user's language
// (the suite runs once per language).
TEST_F(TrayMenu, InTheUsersLanguageTheTabsAndTheTrayMenuArePhotographed) {
  configure(kSecond);
  ASSERT_NE(nullptr, panel.start());
  const std::string name = languageName(language);
  EXPECT_TRUE(gui::screenshot(panel.dialog, "panel-levels-" + name));
  SendMessageA(panel.dialog, WM_COMMAND, MAKEWPARAM(IDC_BLACK_SAVINGS_LINK, STN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(panel.dialog, IDC_BLACK_SAVINGS_LINK)));
  EXPECT_EQ(1, static_cast<int>(SendDlgItemMessageA(panel.dialog, IDC_TABS, TCM_GETCURSEL, 0, 0)));
  EXPECT_TRUE(gui::screenshot(panel.dialog, "panel-savings-" + name));
  ASSERT_NE(nullptr, openTrayMenu(panel.dialog));
  HWND menu = gui::findTopLevel(GetCurrentProcessId(), "#32768", nullptr);
  ASSERT_NE(nullptr, menu);
  RECT area = {};
  GetWindowRect(menu, &area);
  EXPECT_TRUE(gui::screenshotRect(area, "panel-tray-menu-" + name));
  closeMenu(panel.dialog);
  EXPECT_EQ(0, panel.quit());
}

}  // namespace
