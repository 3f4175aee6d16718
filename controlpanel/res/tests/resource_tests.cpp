// The language resource libraries as their users load them: every string,
// the three dialog templates created from each library (with the run-time
// fonts and long sample values the programs put into them), the menus and
// the icons; the dialogs are checked for overlapping or clipped controls and
// photographed into the build tree's screenshots folder.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "gui_driver.h"
#include "resource_ids.h"

using namespace corvanta_res;

namespace {

struct Language {
  const char* file;
  const char* tag;  // screenshot names
  LCID locale;      // formats the sample money values
};
constexpr Language kLanguages[] = {
    {kEnglishLibrary, "english", 0x0409}, {kGermanLibrary, "german", 0x0407}, {kFrenchLibrary, "french", 0x040C}};

std::wstring loadString(HMODULE module, int id) {
  wchar_t text[4096] = {};
  LoadStringW(module, id, text, 4096);
  return text;
}

std::string narrow(const std::wstring& text) {
  std::string out(text.size() * 3 + 1, '\0');
  out.resize(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), static_cast<int>(out.size()), nullptr,
                                 nullptr));
  if (!out.empty()) out.pop_back();
  return out;
}

class Library {
 public:
  explicit Library(const char* file, DWORD flags = 0) : module_(LoadLibraryExA(file, nullptr, flags)) {}
  ~Library() {
    if (module_) FreeLibrary(module_);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  HMODULE get() const { return module_; }

 private:
  HMODULE module_;
};

// Image sizes of a group icon, read from its directory.
std::set<int> iconSizes(HMODULE module, const char* name) {
  std::set<int> sizes;
  HRSRC info = FindResourceA(module, name, MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
  if (!info) return sizes;
  const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module, info)));
  const DWORD size = SizeofResource(module, info);
  if (!data || size < 6) return sizes;
  const int count = data[4] | data[5] << 8;
  for (int i = 0; i < count && 6u + 14u * (i + 1) <= size; ++i) {
    const BYTE* entry = data + 6 + 14 * i;
    if (entry[0] == entry[1]) sizes.insert(entry[0] ? entry[0] : 256);
  }
  return sizes;
}

INT_PTR CALLBACK plainDialog(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// The About box as a program draws it: bitmap 171 filling the picture.
INT_PTR CALLBACK aboutDialog(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    return TRUE;
  }
  if (message == WM_DRAWITEM) {
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    HBITMAP picture = reinterpret_cast<HBITMAP>(GetWindowLongPtrA(dialog, DWLP_USER));
    HDC source = CreateCompatibleDC(item->hDC);
    HGDIOBJ old = SelectObject(source, picture);
    BitBlt(item->hDC, 0, 0, item->rcItem.right, item->rcItem.bottom, source, 0, 0, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
    return TRUE;
  }
  if (message == WM_CTLCOLORSTATIC) return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
  return FALSE;
}

class ResourceLibraries : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, 0xFF};
    InitCommonControlsEx(&controls);
    LoadLibraryA("Riched32.dll");  // the savings totals are rich edit 1.0 controls
  }

  // Money as the panel shows it: "%.2f" in the locale's currency format.
  static std::string money(LCID locale, const char* amount) {
    char text[260] = {};
    GetCurrencyFormatA(locale, 0, amount, nullptr, text, sizeof text);
    return text;
  }

  // Puts what the programs put into the settings dialog at run time: bold
  // and underlined fonts, and the longest values a user can reach.
  static void fillAsThePanel(HWND dialog, HMODULE module, LCID locale, std::vector<HFONT>& fonts) {
    LOGFONTA base = {};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)), sizeof base, &base);
    LOGFONTA bold = base, underlined = base, underlinedBold = base;
    bold.lfWeight = underlinedBold.lfWeight = 700;
    underlined.lfUnderline = underlinedBold.lfUnderline = TRUE;
    for (const LOGFONTA* font : {&bold, &underlined, &underlinedBold}) fonts.push_back(CreateFontIndirectA(font));
    for (int id : {IDC_TOTAL_COST_CAPTION, IDC_TOTAL_SAVING_CAPTION, IDC_SAVINGS_HEADING})
      SendDlgItemMessageA(dialog, id, WM_SETFONT, reinterpret_cast<WPARAM>(fonts[0]), TRUE);
    for (int id : {IDC_BLACK_SAVINGS_LINK, IDC_COLOR_SAVINGS_LINK})
      SendDlgItemMessageA(dialog, id, WM_SETFONT, reinterpret_cast<WPARAM>(fonts[1]), TRUE);
    SendDlgItemMessageA(dialog, IDC_LEVELS_LINK, WM_SETFONT, reinterpret_cast<WPARAM>(fonts[2]), TRUE);

    char text[512] = {};
    LoadStringA(module, IDS_TAB_LEVELS, text, sizeof text);
    TCITEMA tab = {TCIF_TEXT};
    tab.pszText = text;
    SendDlgItemMessageA(dialog, IDC_TABS, TCM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&tab));
    LoadStringA(module, IDS_TAB_SAVINGS, text, sizeof text);
    SendDlgItemMessageA(dialog, IDC_TABS, TCM_INSERTITEMA, 1, reinterpret_cast<LPARAM>(&tab));
    LoadStringA(module, IDS_PANEL_TITLE, text, sizeof text);
    SetWindowTextA(dialog, text);
    SendDlgItemMessageA(dialog, IDC_PRINTER_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("HP DeskJet 550C"));
    SendDlgItemMessageA(dialog, IDC_PRINTER_LIST, CB_SETCURSEL, 0, 0);

    char perYear[64] = {}, perCartridge[64] = {};
    LoadStringA(module, IDS_UNIT_PER_YEAR, perYear, sizeof perYear);
    LoadStringA(module, IDS_UNIT_PER_CARTRIDGE, perCartridge, sizeof perCartridge);
    const std::string cartridge = money(locale, "749.99");  // 75 % of 999.99
    const std::string year = money(locale, "98999.01");     // 99 cartridges of 999.99
    const std::string total = money(locale, "197998.02");
    for (int id : {IDC_BLACK_CART_SAVING, IDC_COLOR_CART_SAVING})
      SetDlgItemTextA(dialog, id, (cartridge + " /" + perCartridge).c_str());
    for (int id : {IDC_BLACK_CART_SAVING_2, IDC_COLOR_CART_SAVING_2}) SetDlgItemTextA(dialog, id, cartridge.c_str());
    for (int id : {IDC_BLACK_YEAR_COST, IDC_COLOR_YEAR_COST, IDC_BLACK_YEAR_SAVING, IDC_COLOR_YEAR_SAVING})
      SetDlgItemTextA(dialog, id, year.c_str());
    for (int id : {IDC_TOTAL_YEAR_COST, IDC_TOTAL_YEAR_SAVING})
      SetDlgItemTextA(dialog, id, (total + " /" + perYear).c_str());
    for (int id : {IDC_BLACK_LEVEL_EDIT, IDC_COLOR_LEVEL_EDIT, IDC_BLACK_LEVEL_LABEL, IDC_COLOR_LEVEL_LABEL})
      SetDlgItemTextA(dialog, id, "75%");
    for (int id : {IDC_BLACK_COST_EDIT, IDC_COLOR_COST_EDIT}) SetDlgItemTextA(dialog, id, "999,99");
    for (int id : {IDC_BLACK_CARTRIDGES_EDIT, IDC_COLOR_CARTRIDGES_EDIT}) SetDlgItemTextA(dialog, id, "99");
    for (int id : {IDC_BLACK_TRACKBAR, IDC_COLOR_TRACKBAR}) {
      SendDlgItemMessageA(dialog, id, TBM_SETRANGE, TRUE, MAKELPARAM(0, 75));
      SendDlgItemMessageA(dialog, id, TBM_SETTICFREQ, 5, 0);
      SendDlgItemMessageA(dialog, id, TBM_SETPOS, TRUE, 75);
    }
  }

  // Shows one tab's controls and hides the other's, as the panel does.
  static void showTab(HWND dialog, int tab) {
    for (int id : kTab0Controls) ShowWindow(GetDlgItem(dialog, id), tab == 0 ? SW_SHOWNA : SW_HIDE);
    for (int i = 0; i < 7; ++i)
      for (int id : {kBlackPreviews[i], kColorPreviews[i]})
        ShowWindow(GetDlgItem(dialog, id), tab == 0 && i == 2 ? SW_SHOWNA : SW_HIDE);
    for (int id : kTab1Controls) ShowWindow(GetDlgItem(dialog, id), tab == 1 ? SW_SHOWNA : SW_HIDE);
    SendDlgItemMessageA(dialog, IDC_TABS, TCM_SETCURSEL, tab, 0);
  }

  // Faults of the dialog as shown: the driver's layout check, and tab
  // controls that leave the tab's display area.
  static std::vector<std::string> problems(HWND dialog, const int* tabControls, size_t count) {
    std::vector<std::string> found = gui::layoutProblems(dialog);
    HWND tabs = GetDlgItem(dialog, IDC_TABS);
    RECT display = {};
    GetWindowRect(tabs, &display);
    SendMessageA(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
    for (size_t i = 0; i < count; ++i) {
      RECT control = {}, inside = {};
      GetWindowRect(GetDlgItem(dialog, tabControls[i]), &control);
      IntersectRect(&inside, &control, &display);
      if (!EqualRect(&inside, &control)) found.push_back(std::to_string(tabControls[i]) + " leaves the tab's area");
    }
    return found;
  }
};

// Each library loads as data and as a module and holds every string, in its
// own language: the German and French libraries repeat no English text but
// names and numbers, and string 1 is the title DemoSheet looks for.
TEST_F(ResourceLibraries, EveryStringInItsLanguage) {
  Library english(kEnglishLibrary, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(nullptr, english.get());
  const std::set<int> sameInEveryLanguage = {IDS_ABOUT_VERSION, IDS_ABOUT_PICTURE_COPYRIGHT,
                                             IDS_ABOUT_PICTURE_VERSION, IDS_ABOUT_PICTURE_PRODUCT};
  for (const Language& language : kLanguages) {
    Library data(language.file, LOAD_LIBRARY_AS_DATAFILE);
    Library module(language.file);
    ASSERT_NE(nullptr, data.get()) << language.file;
    ASSERT_NE(nullptr, module.get()) << language.file;
    for (int id = IDS_FIRST; id <= IDS_LAST; ++id) {
      const std::wstring text = loadString(data.get(), id);
      EXPECT_FALSE(text.empty()) << language.file << " string " << id;
      if (language.file != kEnglishLibrary && id != IDS_PANEL_TITLE &&
          !sameInEveryLanguage.count(id))
        EXPECT_NE(loadString(english.get(), id), text) << language.file << " string " << id << " is English";
    }
    // The tray tip "%s - %s - %s%d%% - %s%d%%" has 64 characters: its words
    // leave room for a printer name of 24 characters.
    auto length = [&](int id) { return static_cast<int>(loadString(data.get(), id).size()); };
    const int room = 64 - (length(IDS_TIP_BLACK_LABEL) + length(IDS_TIP_COLOR_LABEL) +
                           std::max(length(IDS_TIP_REDUCTION_ON), length(IDS_TIP_REDUCTION_OFF)) + 9);
    EXPECT_GE(room, 24) << language.file;
  }
  Library german(kGermanLibrary, LOAD_LIBRARY_AS_DATAFILE), french(kFrenchLibrary, LOAD_LIBRARY_AS_DATAFILE);
  EXPECT_EQ("Corvanta: Configuration", narrow(loadString(english.get(), IDS_PANEL_TITLE)));
  EXPECT_EQ("Corvanta: Konfiguration", narrow(loadString(german.get(), IDS_PANEL_TITLE)));
  EXPECT_EQ("Corvanta: Configuration", narrow(loadString(french.get(), IDS_PANEL_TITLE)));
}

// The menus carry every command where the panel looks for it, and the three
// icons hold both sizes; bitmap 171 is the About box's picture.
TEST_F(ResourceLibraries, MenusIconsAndPictures) {
  for (const Language& language : kLanguages) {
    Library library(language.file);
    ASSERT_NE(nullptr, library.get()) << language.file;
    HMENU tray = LoadMenuA(library.get(), kTrayMenu);
    HMENU help = LoadMenuA(library.get(), kHelpMenu);
    ASSERT_NE(nullptr, tray) << language.file;
    ASSERT_NE(nullptr, help) << language.file;
    HMENU trayPopup = GetSubMenu(tray, 0);
    HMENU helpPopup = GetSubMenu(help, 0);
    for (int command = IDM_HELP; command <= IDM_QUIT; ++command)
      EXPECT_NE(static_cast<UINT>(-1), GetMenuState(trayPopup, command, MF_BYCOMMAND)) << command;
    for (int command = IDM_HELP; command <= IDM_ABOUT; ++command)
      EXPECT_NE(static_cast<UINT>(-1), GetMenuState(helpPopup, command, MF_BYCOMMAND)) << command;
    // One printer: a separator and two submenus go in front, so 40007 ends up
    // at position 7; several printers: positions 4 and 5 of that menu (the
    // separator before 40007, and 40007) are removed.
    EXPECT_EQ(static_cast<UINT>(IDM_TOGGLE_REDUCTION),
              GetMenuItemID(trayPopup, TRAY_MENU_REDUCTION_POSITION)) << language.file;
    EXPECT_TRUE(GetMenuState(trayPopup, TRAY_MENU_REDUCTION_POSITION - 1, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_EQ(static_cast<UINT>(IDM_QUIT), GetMenuItemID(trayPopup, GetMenuItemCount(trayPopup) - 1));
    DestroyMenu(tray);
    DestroyMenu(help);

    for (const char* icon : {kAppIcon, kDisabledIcon, kPrintDemoIcon})
      EXPECT_EQ((std::set<int>{16, 32}), iconSizes(library.get(), icon)) << language.file << " " << icon;
    HBITMAP picture = static_cast<HBITMAP>(
        LoadImageA(library.get(), MAKEINTRESOURCEA(IDB_ABOUT_PICTURE), IMAGE_BITMAP, 0, 0, LR_SHARED));
    BITMAP size = {};
    ASSERT_TRUE(picture && GetObjectA(picture, sizeof size, &size)) << language.file;
    EXPECT_GT(size.bmWidth, 0);
  }
}

// The settings dialog in each language: every control the panel addresses,
// on each tab nothing overlapping, clipped or outside the tab; a picture of
// each tab in the build tree.
TEST_F(ResourceLibraries, SettingsDialogLayout) {
  for (const Language& language : kLanguages) {
    SCOPED_TRACE(language.file);
    Library library(language.file);
    HWND dialog = CreateDialogParamA(library.get(), kMainDialog, nullptr, plainDialog, 0);
    ASSERT_NE(nullptr, dialog);
    for (int id : kTab0Controls) EXPECT_NE(nullptr, GetDlgItem(dialog, id)) << id;
    for (int id : kTab1Controls) EXPECT_NE(nullptr, GetDlgItem(dialog, id)) << id;
    for (int id : {IDC_PRINTER_LIST, IDC_TABS, IDC_PRINT_CALIBRATION, IDC_HELP_MENU_BUTTON, IDC_PANEL_OK,
                   IDC_PANEL_CANCEL, IDC_PANEL_APPLY})
      EXPECT_NE(nullptr, GetDlgItem(dialog, id)) << id;
    std::vector<HFONT> fonts;
    fillAsThePanel(dialog, library.get(), language.locale, fonts);
    HICON printIcon = static_cast<HICON>(LoadImageA(library.get(), kPrintDemoIcon, IMAGE_ICON, 0, 0, 0));
    SendDlgItemMessageA(dialog, IDC_PRINT_CALIBRATION, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(printIcon));
    EXPECT_TRUE(problems(dialog, kTab0Controls, std::size(kTab0Controls)).empty())
        << testing::PrintToString(problems(dialog, kTab0Controls, std::size(kTab0Controls)));
    ShowWindow(dialog, SW_SHOW);
    EXPECT_TRUE(gui::screenshot(dialog, std::string("resources-") + language.tag + "-settings-levels"));
    showTab(dialog, 1);
    EXPECT_TRUE(problems(dialog, kTab1Controls, std::size(kTab1Controls)).empty())
        << testing::PrintToString(problems(dialog, kTab1Controls, std::size(kTab1Controls)));
    EXPECT_TRUE(gui::screenshot(dialog, std::string("resources-") + language.tag + "-settings-savings"));
    // Every band's picture fits its frame.
    for (int band = 0; band < 7; ++band) {
      showTab(dialog, 0);
      for (const int* previews : {kBlackPreviews, kColorPreviews}) {
        ShowWindow(GetDlgItem(dialog, previews[2]), SW_HIDE);
        ShowWindow(GetDlgItem(dialog, previews[band]), SW_SHOWNA);
      }
      EXPECT_TRUE(gui::layoutProblems(dialog).empty()) << "band " << band;
    }
    DestroyWindow(dialog);
    DestroyIcon(printIcon);
    for (HFONT font : fonts) DeleteObject(font);
  }
}

// The About box and the per-job dialog in each language.
TEST_F(ResourceLibraries, AboutAndPerJobDialogs) {
  for (const Language& language : kLanguages) {
    SCOPED_TRACE(language.file);
    Library library(language.file);
    HBITMAP picture = static_cast<HBITMAP>(
        LoadImageA(library.get(), MAKEINTRESOURCEA(IDB_ABOUT_PICTURE), IMAGE_BITMAP, 0, 0, 0));
    HWND about = CreateDialogParamA(library.get(), kAboutDialog, nullptr, aboutDialog,
                                    reinterpret_cast<LPARAM>(picture));
    ASSERT_NE(nullptr, about);
    HWND pictureControl = GetDlgItem(about, IDC_ABOUT_PICTURE);
    ASSERT_NE(nullptr, pictureControl);
    EXPECT_EQ(SS_OWNERDRAW, GetWindowLongA(pictureControl, GWL_STYLE) & SS_TYPEMASK);
    EXPECT_TRUE(GetWindowLongA(pictureControl, GWL_STYLE) & SS_NOTIFY);  // the clicks close the box
    // As the About box does: the texts, the picture's size for the box.
    char text[4096] = {};
    for (auto [id, string] : {std::pair{IDC_ABOUT_TEXT, IDS_ABOUT_TEXT}, {IDC_ABOUT_NOTE, IDS_ABOUT_NOTE}}) {
      ASSERT_NE(nullptr, GetDlgItem(about, id));
      LoadStringA(library.get(), string, text, sizeof text);
      SetDlgItemTextA(about, id, text);
    }
    BITMAP size = {};
    GetObjectA(picture, sizeof size, &size);
    SetWindowPos(pictureControl, nullptr, 0, 0, size.bmWidth, size.bmHeight, SWP_NOMOVE | SWP_NOZORDER);
    SetWindowPos(about, nullptr, 0, 0, size.bmWidth, size.bmHeight, SWP_NOMOVE | SWP_NOZORDER);
    // Only the texts count here: the picture lies under them by design.
    ShowWindow(pictureControl, SW_HIDE);
    EXPECT_TRUE(gui::layoutProblems(about).empty()) << testing::PrintToString(gui::layoutProblems(about));
    ShowWindow(pictureControl, SW_SHOWNA);
    ShowWindow(about, SW_SHOW);
    EXPECT_TRUE(gui::screenshot(about, std::string("resources-") + language.tag + "-about"));
    DestroyWindow(about);
    DeleteObject(picture);

    HWND job = CreateDialogParamA(library.get(), kJobDialog, nullptr, plainDialog, 0);
    ASSERT_NE(nullptr, job);
    for (int id : {IDC_JOB_SAVE, IDC_JOB_DISPLAY_INK_CHECK, IDC_JOB_BLACK_SLIDER, IDC_JOB_COLOR_SLIDER,
                   IDC_JOB_BLACK_BOX, IDC_JOB_COLOR_BOX, IDC_JOB_REDUCTION_CHECK, IDC_JOB_PRINTER_NAME})
      EXPECT_NE(nullptr, GetDlgItem(job, id)) << id;
    for (int id : kJobLevelLabels) EXPECT_NE(nullptr, GetDlgItem(job, id)) << id;
    LoadStringA(library.get(), IDS_JOB_DIALOG_TITLE, text, sizeof text);
    SetWindowTextA(job, text);
    SetDlgItemTextA(job, IDC_JOB_PRINTER_NAME, "HP DeskJet 550C");
    EXPECT_TRUE(gui::layoutProblems(job).empty()) << testing::PrintToString(gui::layoutProblems(job));
    ShowWindow(job, SW_SHOW);
    EXPECT_TRUE(gui::screenshot(job, std::string("resources-") + language.tag + "-per-job"));
    DestroyWindow(job);
  }
}

}  // namespace
