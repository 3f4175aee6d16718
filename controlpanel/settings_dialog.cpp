#include "settings_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "CorvantaReg.h"
#include "money.h"
#include "page.h"
#include "panel_text.h"
#include "panel_values.h"
#include "resource_ids.h"
#include "tray.h"
#include "watchers.h"

namespace control_panel {
namespace {

using namespace corvanta_res;

constexpr int kTickFrequency = 5;
constexpr int kPageSize = 5;
constexpr int kMaxCostSpin = 999;
constexpr int kHandCursor = 106;
constexpr char kHelpProgram[] = "\\winhlp32.exe";
constexpr COLORREF kLinkColor = 0x00FF0000;
// Posted when a level field was left invalid: the click that took the focus
// away (on OK, say) has been handled by the time it arrives.
constexpr UINT kEndOfLeave = WM_APP + 1;

enum Channel { kBlack, kColor };
struct ChannelControls {
  int trackbar, edit, label, levelIndex;
  const int* previews;
};
constexpr ChannelControls kChannels[] = {
    {IDC_BLACK_TRACKBAR, IDC_BLACK_LEVEL_EDIT, IDC_BLACK_LEVEL_LABEL, kBlackLevel, kBlackPreviews},
    {IDC_COLOR_TRACKBAR, IDC_COLOR_LEVEL_EDIT, IDC_COLOR_LEVEL_LABEL, kColorLevel, kColorPreviews},
};
constexpr int kPreviewCount = 7;

// What the validation allows in a field, and the message for it.
enum class Allowed { kCost, kDigits, kLevel };
struct FieldRule {
  int field;
  Allowed allowed;
  int message;
  int tab;
};
constexpr FieldRule kFieldRules[] = {
    {IDC_BLACK_COST_EDIT, Allowed::kCost, IDS_INVALID_COST, 1},
    {IDC_COLOR_COST_EDIT, Allowed::kCost, IDS_INVALID_COST, 1},
    {IDC_BLACK_CARTRIDGES_EDIT, Allowed::kDigits, IDS_INVALID_CARTRIDGES, 1},
    {IDC_COLOR_CARTRIDGES_EDIT, Allowed::kDigits, IDS_INVALID_CARTRIDGES, 1},
    {IDC_BLACK_LEVEL_EDIT, Allowed::kLevel, IDS_INVALID_LEVEL, 0},
    {IDC_COLOR_LEVEL_EDIT, Allowed::kLevel, IDS_INVALID_LEVEL, 0},
};

// Controls of tab 0 that keep their state with reduction off.
constexpr int kKeptWithReductionOff[] = {IDC_BLACK_GROUP, IDC_COLOR_GROUP, IDC_BLACK_PREVIEW_FRAME,
                                         IDC_COLOR_PREVIEW_FRAME};
constexpr int kNeverChanged[] = {IDC_BLACK_PREVIEW_FRAME, IDC_COLOR_PREVIEW_FRAME};
constexpr int kFirstSwitchedControl = 2;  // 1130 and 1081 keep their state

// The dialog's own memory beside EditValues.
struct DialogMemory {
  PanelState* state = nullptr;
  SavingsDisplay savings;
  int lastLevel[2] = {-1, -1};  // level last seen by the trackbar handling
  int lastBand[2] = {-1, -1};   // preview band shown
  bool levelErrorPending = false;
  bool reportingLevelError = false;  // its message box is open
  bool okApplyReporting = false;
  bool leftInvalid = false;  // until kEndOfLeave
  bool movingFocus = false;  // our own focus moves do not count as leaving a field
  HBRUSH faceBrush = nullptr;
  HICON printIcon = nullptr;
};
DialogMemory memory;

HWND item(const PanelState& state, int id) { return GetDlgItem(state.dialog, id); }

bool contains(const int* begin, const int* end, int id) { return std::find(begin, end, id) != end; }
template <size_t N>
bool contains(const int (&list)[N], int id) {
  return contains(list, list + N, id);
}

const FieldRule* ruleOf(int field) {
  for (const FieldRule& rule : kFieldRules)
    if (rule.field == field) return &rule;
  return nullptr;
}

bool fieldValid(HWND dialog, const FieldRule& rule) {
  const std::string text = controlText(dialog, rule.field);
  const std::string separator = memory.savings.separator();
  for (char c : text) {
    const bool digit = c >= '0' && c <= '9';
    const bool allowed = digit || (rule.allowed == Allowed::kLevel && c == '%') ||
                         (rule.allowed == Allowed::kCost && !separator.empty() && c == separator[0]);
    if (!allowed) return false;
  }
  if (rule.allowed == Allowed::kCost) {
    std::string number = text;
    if (!separator.empty()) std::replace(number.begin(), number.end(), separator[0], '.');
    const double value = std::strtod(number.c_str(), nullptr);
    return value >= 0 && value <= kMaxCost;
  }
  const int value = numberAtStart(text.c_str());
  return value >= 0 && value <= (rule.allowed == Allowed::kLevel ? kMaxLevel : kMaxCartridges);
}

void focusField(PanelState& state, int field) {
  memory.movingFocus = true;
  HWND control = item(state, field);
  SendMessageA(state.dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
  SendMessageA(control, EM_SETSEL, 0, -1);
  memory.movingFocus = false;
}

void showFieldError(PanelState& state, int field) {
  const FieldRule* rule = ruleOf(field);
  if (!rule) return;
  const std::string text = resourceString(state.resources, rule->message);
  const std::string caption = resourceString(state.resources, IDS_INPUT_ERROR_CAPTION);
  memory.movingFocus = true;
  MessageBoxA(state.dialog, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
  memory.movingFocus = false;
}

// The message, then the field's tab, the focus on the field and its text
// selected.
void reportInvalidField(PanelState& state, int field) {
  showFieldError(state, field);
  switchToTab(state, ruleOf(field)->tab);
  focusField(state, field);
}

void showChannelPreview(PanelState& state, Channel channel, int level) {
  const int band = previewBand(level);
  memory.lastBand[channel] = band;
  for (int i = 0; i < kPreviewCount; ++i)
    ShowWindow(item(state, kChannels[channel].previews[i]), i == band ? SW_SHOW : SW_HIDE);
}

// A new level for the channel's pictures: they change only with the band, and
// only while tab 0 shows them.
void updatePreview(PanelState& state, Channel channel, int level) {
  if (previewBand(level) == memory.lastBand[channel]) return;
  if (selectedTab(state) == 0)
    showChannelPreview(state, channel, level);
  else
    memory.lastBand[channel] = -1;
}

void showTab(PanelState& state, int tab) {
  constexpr int tab0Count = static_cast<int>(std::size(kTab0Controls));
  if (tab == 1) {
    for (int id : kTab0Controls) ShowWindow(item(state, id), SW_HIDE);
    for (int id : kTab1Controls) ShowWindow(item(state, id), SW_SHOW);
    return;
  }
  for (int id : kTab1Controls) ShowWindow(item(state, id), SW_HIDE);
  for (int i = 0; i < tab0Count; ++i) ShowWindow(item(state, kTab0Controls[i]), i < kTab0ShownWithTab ? SW_SHOW : SW_HIDE);
  for (Channel channel : {kBlack, kColor})
    showChannelPreview(state, channel, memory.lastLevel[channel] < 0 ? EditValues[kChannels[channel].levelIndex].value
                                                                     : memory.lastLevel[channel]);
}

void enableByReduction(PanelState& state, bool on) {
  const int* end = kTab0Controls + std::size(kTab0Controls);
  for (const int* id = kTab0Controls + kFirstSwitchedControl; id != end; ++id) {
    if (contains(kNeverChanged, *id)) continue;
    if (!on && contains(kKeptWithReductionOff, *id)) continue;
    EnableWindow(item(state, *id), on);
  }
  EnableWindow(item(state, IDC_TABS), on);
}

void setLevelText(PanelState& state, Channel channel, int level) {
  const std::string text = percentText(level);
  SetDlgItemTextA(state.dialog, kChannels[channel].edit, text.c_str());
}

// The controls as EditValues would hold them.
void readControls(PanelState& state, SettingPair (&values)[kJobValueCount]) {
  const UINT reduction = IsDlgButtonChecked(state.dialog, IDC_REDUCTION_CHECK);
  if (reduction == BST_CHECKED) values[kInkReduction].value = 1;
  if (reduction == BST_UNCHECKED) values[kInkReduction].value = 0;
  values[kDisplayInk].value = IsDlgButtonChecked(state.dialog, IDC_DISPLAY_INK_CHECK) == BST_CHECKED ? 1 : 0;
  for (const ChannelControls& channel : kChannels)
    values[channel.levelIndex].value =
        std::clamp(numberAtStart(controlText(state.dialog, channel.edit).c_str()), 0, kMaxLevel);
  values[kBlackCost].value = static_cast<int32_t>(memory.savings.packField(state.dialog, IDC_BLACK_COST_EDIT));
  values[kColorCost].value = static_cast<int32_t>(memory.savings.packField(state.dialog, IDC_COLOR_COST_EDIT));
  values[kBlackCartPerYear].value =
      std::clamp(numberAtStart(controlText(state.dialog, IDC_BLACK_CARTRIDGES_EDIT).c_str()), 0, kMaxCartridges);
  values[kColorCartPerYear].value =
      std::clamp(numberAtStart(controlText(state.dialog, IDC_COLOR_CARTRIDGES_EDIT).c_str()), 0, kMaxCartridges);
}

void refreshTrayForCurrent(PanelState& state) {
  updateTrayIcon(state);
  refreshPrinterMenu(state, printerIndex(state, state.currentPrinter));
}

void noConfiguredPrinter(PanelState& state) {
  const std::string text = resourceString(state.resources, IDS_NO_CONFIGURED_PRINTER);
  MessageBoxA(nullptr, text.c_str(), kProgramName, MB_OK);
  RemoveStartupEntry();
  DestroyWindow(state.mainWindow);
  Sleep(1000);
  ExitProcess(1);
}

void syncPrinters(PanelState& state) {
  state.printerCount = 0;
  if (SyncUserSettings(state.printerNames, &state.printerCount, DefaultValues, kDefaultValueCount) != 0)
    noConfiguredPrinter(state);
  state.printerCount = std::clamp(state.printerCount, 0, kMaxPrinters);
}

void listPrinters(PanelState& state) {
  syncPrinters(state);
  bool removed = false;
  for (int i = 0; i < state.printerCount; ++i) {
    if (IsPrinterInstalled(state.printerNames[i]) > 0) {
      forgetVanishedPrinter(state, state.printerNames[i]);
      removed = true;
    }
  }
  if (removed) {
    std::memset(state.printerNames, 0, sizeof state.printerNames);
    syncPrinters(state);
  }
  HWND list = item(state, IDC_PRINTER_LIST);
  for (int i = 0; i < state.printerCount; ++i)
    if (state.printerNames[i][0])
      SendMessageA(list, CB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(state.printerNames[i]));
  char lastUsed[kSettingsTextSize] = {};
  GetLastUsed(lastUsed);
  if (lastUsed[0] && printerIndex(state, lastUsed) >= 0) {
    std::strcpy(state.currentPrinter, lastUsed);
  } else {
    char first[kNameSize] = {};
    if (SendMessageA(list, CB_GETLBTEXTLEN, 0, 0) < kNameSize)
      SendMessageA(list, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(first));
    std::strcpy(state.currentPrinter, first);
  }
  SetLastUsed(state.currentPrinter);
  SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(printerIndex(state, state.currentPrinter)), 0);
}

void insertTabs(PanelState& state) {
  HWND tabs = item(state, IDC_TABS);
  for (int tab = 0; tab < 2; ++tab) {
    std::string label = resourceString(state.resources, tab == 0 ? IDS_TAB_LEVELS : IDS_TAB_SAVINGS);
    TCITEMA entry = {};
    entry.mask = TCIF_TEXT;
    entry.pszText = &label[0];
    if (SendMessageA(tabs, TCM_INSERTITEMA, tab, reinterpret_cast<LPARAM>(&entry)) < 0) {
      DestroyWindow(tabs);
      return;
    }
  }
}

// The pointing hand of the Windows help program for the link texts, or the
// system's own hand when that program or its cursor is missing.
void setLinkCursor(PanelState& state) {
  char path[MAX_PATH + sizeof kHelpProgram] = {};
  GetWindowsDirectoryA(path, MAX_PATH);
  std::strcat(path, kHelpProgram);
  HCURSOR cursor = nullptr;
  if (HMODULE help = LoadLibraryA(path)) {
    if (HCURSOR hand = LoadCursorA(help, MAKEINTRESOURCEA(kHandCursor))) cursor = CopyCursor(hand);
    FreeLibrary(help);
  }
  if (!cursor) cursor = LoadCursorA(nullptr, IDC_HAND);
  SetClassLongPtrA(item(state, IDC_COLOR_SAVINGS_LINK), GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(cursor));
}

HFONT derivedFont(HFONT base, bool underline, bool bold) {
  LOGFONTA font = {};
  GetObjectA(base, sizeof font, &font);
  font.lfUnderline = underline;
  if (bold) font.lfWeight = FW_BOLD;
  return CreateFontIndirectA(&font);
}

void makeFonts(PanelState& state) {
  HFONT base = reinterpret_cast<HFONT>(SendMessageA(state.dialog, WM_GETFONT, 0, 0));
  if (!base) base = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  state.underlinedFont = derivedFont(base, true, false);
  state.underlinedBoldFont = derivedFont(base, true, true);
  state.boldFont = derivedFont(base, false, true);
  for (int id : {IDC_TOTAL_COST_CAPTION, IDC_TOTAL_SAVING_CAPTION, IDC_SAVINGS_HEADING})
    SendDlgItemMessageA(state.dialog, id, WM_SETFONT, reinterpret_cast<WPARAM>(state.boldFont), TRUE);
  for (int id : {IDC_BLACK_SAVINGS_LINK, IDC_COLOR_SAVINGS_LINK})
    SendDlgItemMessageA(state.dialog, id, WM_SETFONT, reinterpret_cast<WPARAM>(state.underlinedFont), TRUE);
  SendDlgItemMessageA(state.dialog, IDC_LEVELS_LINK, WM_SETFONT, reinterpret_cast<WPARAM>(state.underlinedBoldFont),
                      TRUE);
}

void initialise(HWND dialog, PanelState& state) {
  memory = DialogMemory{};
  memory.state = &state;
  state.dialog = dialog;
  state.perJobEnded = state.printerEnded = state.calibrationEnded = 1;
  SetLocale(GetUserDefaultLangID());
  state.stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetMenuDefaultItem(state.trayPopup, IDM_SHOW_SETTINGS, FALSE);

  for (const ChannelControls& channel : kChannels) {
    SendDlgItemMessageA(dialog, channel.trackbar, TBM_SETRANGE, TRUE, MAKELPARAM(0, kMaxLevel));
    SendDlgItemMessageA(dialog, channel.trackbar, TBM_SETTICFREQ, kTickFrequency, 0);
    SendDlgItemMessageA(dialog, channel.trackbar, TBM_SETPAGESIZE, 0, kPageSize);
  }
  for (int spin : {IDC_BLACK_COST_SPIN, IDC_COLOR_COST_SPIN})
    SendDlgItemMessageA(dialog, spin, UDM_SETRANGE, 0, MAKELPARAM(kMaxCostSpin, 0));
  for (int spin : {IDC_BLACK_CARTRIDGES_SPIN, IDC_COLOR_CARTRIDGES_SPIN})
    SendDlgItemMessageA(dialog, spin, UDM_SETRANGE, 0, MAKELPARAM(kMaxCartridges, 0));

  listPrinters(state);
  insertTabs(state);
  setLinkCursor(state);

  SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(state.programIcon));
  SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(state.programIcon));
  memory.printIcon =
      static_cast<HICON>(LoadImageA(state.resources, kPrintDemoIcon, IMAGE_ICON, 0, 0, LR_CREATEDIBSECTION));
  SendDlgItemMessageA(dialog, IDC_PRINT_CALIBRATION, BM_SETIMAGE, IMAGE_ICON,
                      reinterpret_cast<LPARAM>(memory.printIcon));

  memory.savings.start(state.resources, state.numberLocale);
  SetWindowTextA(dialog, resourceString(state.resources, IDS_PANEL_TITLE).c_str());
  if (ReadJobSettings(state.currentPrinter, EditValues, kJobValueCount) != 0)
    MessageBoxA(nullptr, "Cannot Read Registry ", kProgramName, MB_OK);

  addTrayIcon(state);
  buildTrayMenu(state);
  fillControls(state);
  enableApplyByReduction(state);
  switchToTab(state, 0);

  startWatchers(state);
  SetPerJob(0);

  memory.faceBrush = GetSysColorBrush(COLOR_BTNFACE);
  makeFonts(state);
}

void trackbarMoved(PanelState& state, HWND trackbar) {
  const int id = GetDlgCtrlID(trackbar);
  for (Channel channel : {kBlack, kColor}) {
    const ChannelControls& controls = kChannels[channel];
    if (controls.trackbar != id) continue;
    if (channel == kBlack && memory.reportingLevelError) return;
    const int level = static_cast<int>(SendMessageA(trackbar, TBM_GETPOS, 0, 0));
    if (level == memory.lastLevel[channel]) return;
    memory.lastLevel[channel] = level;
    const std::string text = percentText(level);
    SetDlgItemTextA(state.dialog, controls.edit, text.c_str());
    SetDlgItemTextA(state.dialog, controls.label, text.c_str());
    memory.savings.recompute(state.dialog);
    updatePreview(state, channel, level);
  }
}

void levelFieldLeft(PanelState& state, int field) {
  if (memory.movingFocus) return;
  const int invalid = invalidField(state.dialog);
  if (!invalid) {
    memory.levelErrorPending = false;
    for (const ChannelControls& channel : kChannels)
      SendDlgItemMessageA(state.dialog, channel.trackbar, TBM_SETPOS, TRUE,
                          numberAtStart(controlText(state.dialog, channel.edit).c_str()));
    return;
  }
  memory.levelErrorPending = true;
  memory.leftInvalid = true;
  setLevelText(state, field == IDC_BLACK_LEVEL_EDIT ? kBlack : kColor,
               EditValues[field == IDC_BLACK_LEVEL_EDIT ? kBlackLevel : kColorLevel].value);
  if (!memory.okApplyReporting) {
    memory.reportingLevelError = true;
    showFieldError(state, invalid);
    memory.reportingLevelError = false;
  }
  // A cost or cartridge field sits on tab 1: show it before focusing it.
  switchToTab(state, ruleOf(invalid)->tab);
  focusField(state, invalid);
  PostMessageA(state.dialog, kEndOfLeave, 0, 0);
}

// OK and Apply; true when the values were saved.
bool save(PanelState& state) {
  if (memory.leftInvalid) return false;
  if (const int invalid = invalidField(state.dialog)) {
    memory.okApplyReporting = true;
    reportInvalidField(state, invalid);
    memory.okApplyReporting = false;
    return false;
  }
  readControls(state, EditValues);
  WriteJobSettings(0, EditValues, state.currentPrinter, kJobValueCount);
  refreshTrayForCurrent(state);
  fillControls(state);
  SetLastUsed(state.currentPrinter);
  return true;
}

void cancel(PanelState& state) {
  fillControls(state);
  ShowWindow(state.dialog, SW_HIDE);
}

void reductionClicked(PanelState& state) {
  const bool on = IsDlgButtonChecked(state.dialog, IDC_REDUCTION_CHECK) == BST_CHECKED;
  enableByReduction(state, on);
  EnableWindow(item(state, IDC_PANEL_APPLY), on);
}

void toggleReduction(PanelState& state) {
  EditValues[kInkReduction].value = EditValues[kInkReduction].value ? 0 : 1;
  enableByReduction(state, EditValues[kInkReduction].value != 0);
  WriteJobSettings(0, EditValues, state.currentPrinter, kJobValueCount);
  showLoadedValues(state);
  refreshTrayForCurrent(state);
}

void printerChanged(PanelState& state) {
  HWND list = item(state, IDC_PRINTER_LIST);
  const LRESULT selection = SendMessageA(list, CB_GETCURSEL, 0, 0);
  if (selection < 0 || SendMessageA(list, CB_GETLBTEXTLEN, selection, 0) >= kNameSize) return;
  char chosen[kNameSize] = {};
  SendMessageA(list, CB_GETLBTEXT, selection, reinterpret_cast<LPARAM>(chosen));

  ReadJobSettings(state.currentPrinter, MenuValues, kJobValueCount);
  SettingPair edited[kJobValueCount];
  std::copy(std::begin(EditValues), std::end(EditValues), edited);
  readControls(state, edited);
  bool changed = false;
  for (int i = 0; i < kJobValueCount; ++i) changed = changed || edited[i].value != MenuValues[i].value;
  if (changed) {
    const std::string question = resourceString(state.resources, IDS_ASK_SAVE_PREVIOUS);
    if (MessageBoxA(state.dialog, question.c_str(), kProgramName, MB_YESNO) == IDYES) {
      if (const int invalid = invalidField(state.dialog)) {
        SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(printerIndex(state, state.currentPrinter)), 0);
        reportInvalidField(state, invalid);
        return;
      }
      copyValues(EditValues, edited);
      WriteJobSettings(0, EditValues, state.currentPrinter, kJobValueCount);
      refreshTrayForCurrent(state);
    }
  }
  std::strcpy(state.currentPrinter, chosen);
  if (ReadJobSettings(state.currentPrinter, EditValues, kJobValueCount) != 0)
    MessageBoxA(state.dialog, "Cannot Read Registry", kProgramName, MB_OK);
  showLoadedValues(state);
  updateTrayIcon(state);
}

void startupSwitch(PanelState& state) {
  if (GetMenuState(state.trayPopup, IDM_START_WITH_WINDOWS, MF_BYCOMMAND) & MF_CHECKED) {
    CheckMenuItem(state.trayPopup, IDM_START_WITH_WINDOWS, MF_BYCOMMAND | MF_UNCHECKED);
    RemoveStartupEntry();
  } else {
    CheckMenuItem(state.trayPopup, IDM_START_WITH_WINDOWS, MF_BYCOMMAND | MF_CHECKED);
    AddStartupEntry(kProgramName);
  }
}

void command(PanelState& state, int id, int notification, HWND control) {
  switch (id) {
    case IDC_PRINTER_LIST:
      if (notification == CBN_SELCHANGE) printerChanged(state);
      return;
    case IDC_BLACK_LEVEL_EDIT:
    case IDC_COLOR_LEVEL_EDIT:
      if (notification == EN_KILLFOCUS) levelFieldLeft(state, id);
      return;
    case IDC_BLACK_COST_EDIT:
    case IDC_COLOR_COST_EDIT:
    case IDC_BLACK_CARTRIDGES_EDIT:
    case IDC_COLOR_CARTRIDGES_EDIT:
      if (notification == EN_CHANGE) memory.savings.fieldChanged(state.dialog, id);
      return;
    case IDC_REDUCTION_CHECK:
      if (notification == BN_CLICKED) reductionClicked(state);
      return;
    case IDC_BLACK_SAVINGS_LINK:
    case IDC_COLOR_SAVINGS_LINK:
      if (notification == STN_CLICKED) switchToTab(state, 1);
      return;
    case IDC_LEVELS_LINK:
      if (notification == STN_CLICKED) switchToTab(state, 0);
      return;
    case IDC_PANEL_OK:
      if (save(state)) ShowWindow(state.dialog, SW_HIDE);
      return;
    case IDC_PANEL_APPLY:
      save(state);
      return;
    case IDC_PANEL_CANCEL:
    case IDCANCEL:
      cancel(state);
      return;
    case IDC_PRINT_CALIBRATION:
      printCalibrationPage(state);
      return;
    case IDC_HELP_MENU_BUTTON:
      showHelpPopup(state, control);
      return;
    case IDM_HELP:
      showHelp(state);
      return;
    case IDM_SUPPORT_PAGE:
      openSupportPage(state);
      return;
    case IDM_WEB_SITE:
      openWebSite(state);
      return;
    case IDM_ABOUT:
      showAbout(state);
      return;
    case IDM_START_WITH_WINDOWS:
      startupSwitch(state);
      return;
    case IDM_SHOW_SETTINGS:
      ShowWindow(state.dialog, SW_SHOW);
      SetForegroundWindow(state.dialog);
      return;
    case IDM_TOGGLE_REDUCTION:
      toggleReduction(state);
      return;
    case IDM_QUIT:
      DestroyWindow(state.mainWindow);
      return;
  }
  printerMenuCommand(state, id);
}

INT_PTR colourStatic(PanelState& state, HDC dc, HWND control) {
  const int id = GetDlgCtrlID(control);
  HFONT font = nullptr;
  if (id == IDC_TOTAL_COST_CAPTION || id == IDC_TOTAL_SAVING_CAPTION || id == IDC_SAVINGS_HEADING) {
    font = state.boldFont;
  } else if (id == IDC_BLACK_SAVINGS_LINK || id == IDC_COLOR_SAVINGS_LINK || id == IDC_LEVELS_LINK) {
    font = id == IDC_LEVELS_LINK ? state.underlinedBoldFont : state.underlinedFont;
    SetTextColor(dc, kLinkColor);
  } else {
    return FALSE;
  }
  if (font) SelectObject(dc, font);
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<INT_PTR>(memory.faceBrush);
}

}  // namespace

int invalidField(HWND dialog) {
  for (const FieldRule& rule : kFieldRules)
    if (!fieldValid(dialog, rule)) return rule.field;
  return 0;
}

int selectedTab(const PanelState& state) {
  return static_cast<int>(SendMessageA(item(state, IDC_TABS), TCM_GETCURSEL, 0, 0)) == 1 ? 1 : 0;
}

void switchToTab(PanelState& state, int tab) {
  SendMessageA(item(state, IDC_TABS), TCM_SETCURSEL, tab, 0);
  showTab(state, tab);
}

void enableApplyByReduction(PanelState& state) {
  EnableWindow(item(state, IDC_PANEL_APPLY), EditValues[kInkReduction].value == 1);
}

void fillControls(PanelState& state) {
  CheckDlgButton(state.dialog, IDC_REDUCTION_CHECK, EditValues[kInkReduction].value ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(state.dialog, IDC_DISPLAY_INK_CHECK, EditValues[kDisplayInk].value ? BST_CHECKED : BST_UNCHECKED);
  enableByReduction(state, EditValues[kInkReduction].value != 0);
  for (Channel channel : {kBlack, kColor}) {
    const int level = EditValues[kChannels[channel].levelIndex].value;
    SendDlgItemMessageA(state.dialog, kChannels[channel].trackbar, TBM_SETPOS, TRUE, level);
    memory.lastLevel[channel] = level;
    setLevelText(state, channel, level);
    updatePreview(state, channel, level);
  }
  memory.savings.fill(state.dialog, EditValues, kJobValueCount);
  memory.savings.recompute(state.dialog);
}

void showLoadedValues(PanelState& state) {
  fillControls(state);
  if (EditValues[kInkReduction].value == 0 && selectedTab(state) == 1) switchToTab(state, 0);
  enableApplyByReduction(state);
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    initialise(dialog, *reinterpret_cast<PanelState*>(lParam));
    return TRUE;
  }
  PanelState* state = memory.state;
  if (!state || state->dialog != dialog) return FALSE;
  switch (message) {
    case WM_COMMAND:
      command(*state, LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      return TRUE;
    case WM_NOTIFY: {
      const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->idFrom == IDC_TABS) switchToTab(*state, selectedTab(*state));
      else if (header->idFrom >= IDC_BLACK_COST_SPIN && header->idFrom <= IDC_COLOR_CARTRIDGES_SPIN)
        memory.savings.upDownNotified(static_cast<int>(header->idFrom));
      return TRUE;
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
      if (lParam) {
        const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
        // An up-down's scroll messages follow its change (the last one when
        // the button is released): only its UDN_DELTAPOS marks a change.
        if (id < IDC_BLACK_COST_SPIN || id > IDC_COLOR_CARTRIDGES_SPIN) trackbarMoved(*state, reinterpret_cast<HWND>(lParam));
      }
      return TRUE;
    case WM_CTLCOLORSTATIC:
      return colourStatic(*state, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_SYSCOLORCHANGE:
      memory.faceBrush = GetSysColorBrush(COLOR_BTNFACE);
      return TRUE;
    case WM_HELP:
      showHelp(*state);
      return TRUE;
    case WM_CLOSE:
      ShowWindow(dialog, SW_HIDE);
      return TRUE;
    case kEndOfLeave:
      memory.leftInvalid = false;
      return TRUE;
    case WM_TRAYICON:
      trayIconMessage(*state, wParam, lParam);
      return TRUE;
    case WM_PRINTERREMOVED:
      printerRemoved(*state, static_cast<int>(wParam));
      return TRUE;
    case WM_PERJOBCHANGED:
      perJobChanged(*state);
      return TRUE;
    case WM_CALPAGEDONE:
      calibrationPageDone(*state);
      return TRUE;
  }
  return FALSE;
}

}  // namespace control_panel
