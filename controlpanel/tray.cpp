#include "tray.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "CorvantaReg.h"
#include "panel_text.h"
#include "panel_values.h"
#include "resource_ids.h"
#include "settings_dialog.h"

namespace control_panel {
namespace {

constexpr UINT kTrayFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;  // 7
// Offsets of a printer's items from its first command id.
constexpr int kBlackCustom = 9;
constexpr int kColorFirst = 10;
constexpr int kColorCustom = 19;
constexpr int kReductionItem = 20;
// The tray popup with one printer: black and colour submenus at 0 and 1, the
// reduction item (40007) at 7. With several, each printer's menu holds the
// two submenus, a separator and its reduction item at 3.
constexpr int kSinglePrinterReductionPosition = 7;
constexpr int kPrinterMenuReductionPosition = 3;
// Of the library's popup, after the leading separator is inserted: the
// separator before 40007 and 40007 itself, which several printers do without.
constexpr int kSinglePrinterItemsPosition = 4;
constexpr int kCustomSeparatorPosition = 9;
constexpr int kMenuTextSize = 260;

// A printer's eight values, zero where they cannot be read.
struct PrinterValues {
  SettingPair pairs[kJobValueCount];
  bool read;
  int operator[](int index) const { return pairs[index].value; }
};

PrinterValues readPrinter(const char* printer) {
  PrinterValues values = {};
  for (int i = 0; i < kJobValueCount; ++i) values.pairs[i] = {EditValues[i].name, 0};
  values.read = ReadJobSettings(printer, values.pairs, kJobValueCount) == 0;
  return values;
}

int firstId(int printer) { return IDM_PRINTER_BASE + IDM_IDS_PER_PRINTER * printer; }

HICON trayIconImage(const PanelState& state) {
  bool anyOn = false;
  for (int i = 0; i < state.printerCount && !anyOn; ++i) anyOn = readPrinter(state.printerNames[i])[kInkReduction] == 1;
  return static_cast<HICON>(LoadImageA(state.resources, anyOn ? corvanta_res::kAppIcon : corvanta_res::kDisabledIcon,
                                       IMAGE_ICON, GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                       LR_SHARED));
}

void fillTrayRecord(PanelState& state) {
  ClassicNotifyIcon& icon = state.trayIcon;
  icon.cbSize = sizeof icon;
  icon.hWnd = state.dialog;
  icon.uID = TRAY_ICON_ID;
  icon.uFlags = kTrayFlags;
  icon.uCallbackMessage = WM_TRAYICON;
  icon.hIcon = trayIconImage(state);
  const TipTexts texts = {resourceString(state.resources, IDS_TIP_REDUCTION_ON),
                          resourceString(state.resources, IDS_TIP_REDUCTION_OFF),
                          resourceString(state.resources, IDS_TIP_BLACK_LABEL),
                          resourceString(state.resources, IDS_TIP_COLOR_LABEL)};
  const PrinterValues current = readPrinter(state.currentPrinter);
  const std::string tip = trayTip(texts, state.currentPrinter, current[kInkReduction], current[kBlackLevel],
                                  current[kColorLevel], state.programName);
  snprintf(icon.szTip, sizeof icon.szTip, "%s", tip.c_str());
}

BOOL notifyShell(DWORD operation, PanelState& state) {
  return Shell_NotifyIconA(operation, reinterpret_cast<NOTIFYICONDATAA*>(&state.trayIcon));
}

std::string levelLabel(const PanelState& state, int prefixId, int level) {
  char text[kMenuTextSize];
  snprintf(text, sizeof text, "%s%d%%", resourceString(state.resources, prefixId).c_str(), level);
  return text;
}

std::string reductionText(const PanelState& state, int reduction) {
  return resourceString(state.resources, reduction ? IDS_MENU_REDUCTION_OFF : IDS_MENU_REDUCTION_ON);
}

std::string menuText(HMENU menu, UINT item, UINT flags) {
  char text[kMenuTextSize] = {};
  GetMenuStringA(menu, item, text, sizeof text, flags);
  return text;
}

// Unchecks the nine standard items, drops a custom item, then checks the
// stored level's item or appends a checked custom item for it.
void checkLevel(HMENU submenu, int customId, int level) {
  for (int position = 0; position < static_cast<int>(kMenuLevels.size()); ++position)
    CheckMenuItem(submenu, position, MF_BYPOSITION | MF_UNCHECKED);
  while (GetMenuItemCount(submenu) > kCustomSeparatorPosition)
    DeleteMenu(submenu, GetMenuItemCount(submenu) - 1, MF_BYPOSITION);
  const int position = menuLevelPosition(level);
  if (position >= 0) {
    CheckMenuItem(submenu, position, MF_BYPOSITION | MF_CHECKED);
    return;
  }
  AppendMenuA(submenu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(submenu, MF_STRING | MF_CHECKED, customId, percentText(level).c_str());
}

HMENU levelSubmenu(int first) {
  HMENU submenu = CreatePopupMenu();
  for (size_t k = 0; k < kMenuLevels.size(); ++k)
    AppendMenuA(submenu, MF_STRING, first + static_cast<int>(k), percentText(kMenuLevels[k]).c_str());
  return submenu;
}

// Where printer i's level submenus hang: the tray popup itself with one
// printer, else the printer's own menu.
HMENU levelParent(const PanelState& state, int printer) {
  return state.printerCount == 1 ? state.trayPopup : GetSubMenu(state.trayPopup, printer);
}

void relabelLevel(const PanelState& state, int printer, int channel, int level) {
  HMENU parent = levelParent(state, printer);
  HMENU submenu = GetSubMenu(parent, channel);
  if (!submenu) return;
  const std::string label = levelLabel(state, channel == 0 ? IDS_MENU_BLACK_PREFIX : IDS_MENU_COLOR_PREFIX, level);
  ModifyMenuA(parent, channel, MF_BYPOSITION | MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(submenu),
              label.c_str());
  checkLevel(submenu, firstId(printer) + (channel == 0 ? kBlackCustom : kColorCustom), level);
}

void relabelReduction(const PanelState& state, int printer, int reduction) {
  const std::string text = reductionText(state, reduction);
  if (state.printerCount == 1)
    ModifyMenuA(state.trayPopup, kSinglePrinterReductionPosition, MF_BYPOSITION | MF_STRING, IDM_TOGGLE_REDUCTION,
                text.c_str());
  else
    ModifyMenuA(levelParent(state, printer), kPrinterMenuReductionPosition, MF_BYPOSITION | MF_STRING,
                firstId(printer) + kReductionItem, text.c_str());
}

}  // namespace

std::string trayTip(const TipTexts& texts, const char* printer, int reduction, int black, int color,
                    const char* programName) {
  const int room = kTipSize -
                   static_cast<int>(texts.blackLabel.size() + texts.colorLabel.size() +
                                    std::max(texts.reductionOn.size(), texts.reductionOff.size()) + 9) -
                   static_cast<int>(std::strlen(printer));
  if (room > 0) {
    char tip[kTipSize * 2];
    const int length = snprintf(tip, sizeof tip, "%s - %s - %s%d%% - %s%d%%",
                                (reduction ? texts.reductionOn : texts.reductionOff).c_str(), printer,
                                texts.blackLabel.c_str(), black, texts.colorLabel.c_str(), color);
    if (length >= 0 && length <= kTipSize - 1) return tip;
  }
  return programName;
}

void addTrayIcon(PanelState& state) {
  fillTrayRecord(state);
  notifyShell(NIM_ADD, state);
}

void updateTrayIcon(PanelState& state) {
  fillTrayRecord(state);
  notifyShell(NIM_MODIFY, state);
}

void removeTrayIcon(PanelState& state) {
  state.trayIcon.cbSize = sizeof state.trayIcon;
  state.trayIcon.hWnd = state.dialog;
  state.trayIcon.uID = TRAY_ICON_ID;
  notifyShell(NIM_DELETE, state);
}

int printerIndex(const PanelState& state, const char* printer) {
  for (int i = 0; i < state.printerCount; ++i)
    if (std::strcmp(state.printerNames[i], printer) == 0) return i;
  return -1;
}

void buildTrayMenu(PanelState& state) {
  HMENU popup = state.trayPopup;
  if (!popup) return;
  const bool several = state.printerCount >= 2;
  InsertMenuA(popup, 0, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
  if (several) {
    DeleteMenu(popup, kSinglePrinterItemsPosition, MF_BYPOSITION);
    DeleteMenu(popup, kSinglePrinterItemsPosition, MF_BYPOSITION);
  }
  for (int i = 0; i < state.printerCount; ++i) {
    const PrinterValues values = readPrinter(state.printerNames[i]);
    HMENU printerMenu = several ? CreatePopupMenu() : nullptr;
    for (int channel = 0; channel < 2; ++channel) {
      const int first = firstId(i) + (channel == 0 ? 0 : kColorFirst);
      const int level = values[channel == 0 ? kBlackLevel : kColorLevel];
      HMENU submenu = levelSubmenu(first);
      const std::string label = levelLabel(state, channel == 0 ? IDS_MENU_BLACK_PREFIX : IDS_MENU_COLOR_PREFIX, level);
      if (several)
        AppendMenuA(printerMenu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(submenu), label.c_str());
      else
        InsertMenuA(popup, channel, MF_BYPOSITION | MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(submenu),
                    label.c_str());
      checkLevel(submenu, first + kBlackCustom, level);
    }
    const std::string reduction = reductionText(state, values[kInkReduction]);
    if (several) {
      AppendMenuA(printerMenu, MF_SEPARATOR, 0, nullptr);
      AppendMenuA(printerMenu, MF_STRING, firstId(i) + kReductionItem, reduction.c_str());
      InsertMenuA(popup, i, MF_BYPOSITION | MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(printerMenu),
                  state.printerNames[i]);
    } else {
      ModifyMenuA(popup, kSinglePrinterReductionPosition, MF_BYPOSITION | MF_STRING, IDM_TOGGLE_REDUCTION,
                  reduction.c_str());
    }
  }
}

void refreshPrinterMenu(PanelState& state, int printer) {
  if (printer < 0 || printer >= state.printerCount || !state.trayPopup) return;
  const PrinterValues values = readPrinter(state.printerNames[printer]);
  relabelLevel(state, printer, 0, values[kBlackLevel]);
  relabelLevel(state, printer, 1, values[kColorLevel]);
  relabelReduction(state, printer, values[kInkReduction]);
}

void refreshAllPrinterMenus(PanelState& state) {
  for (int i = 0; i < state.printerCount; ++i) refreshPrinterMenu(state, i);
}

bool printerMenuCommand(PanelState& state, int id) {
  const int offset = id - IDM_PRINTER_BASE;
  if (offset < 0 || offset >= IDM_IDS_PER_PRINTER * state.printerCount) return false;
  const int printer = offset / IDM_IDS_PER_PRINTER;
  const int k = offset % IDM_IDS_PER_PRINTER;
  const char* name = state.printerNames[printer];
  if (ReadJobSettings(name, MenuValues, kJobValueCount) != 0) {
    // Writing the list back would spread another printer's leftovers over
    // this one's settings.
    MessageBoxA(state.dialog, "Cannot Read Registry DEFAULT", state.programName, MB_OK);
    return true;
  }
  if (k == kReductionItem) {
    const std::string text = menuText(state.trayPopup, id, MF_BYCOMMAND);
    if (text == resourceString(state.resources, IDS_MENU_REDUCTION_ON)) MenuValues[kInkReduction].value = 1;
    else if (text == resourceString(state.resources, IDS_MENU_REDUCTION_OFF)) MenuValues[kInkReduction].value = 0;
    relabelReduction(state, printer, MenuValues[kInkReduction].value);
  } else {
    const int channel = k < kColorFirst ? 0 : 1;
    const int level = numberAtStart(menuText(state.trayPopup, id, MF_BYCOMMAND).c_str());
    MenuValues[channel == 0 ? kBlackLevel : kColorLevel].value = level;
    relabelLevel(state, printer, channel, level);
  }
  WriteJobSettings(0, MenuValues, name, kJobValueCount);
  updateTrayIcon(state);
  if (std::strcmp(name, state.currentPrinter) == 0) {
    copyValues(EditValues, MenuValues);
    showLoadedValues(state);
  }
  return true;
}

void trayIconMessage(PanelState& state, WPARAM iconId, LPARAM mouseMessage) {
  if (iconId != TRAY_ICON_ID) return;
  if (mouseMessage == WM_LBUTTONDBLCLK) {
    ShowWindow(state.dialog, SW_SHOW);
    if (EditValues[kInkReduction].value == 0 && selectedTab(state) == 1) switchToTab(state, 0);
    SetForegroundWindow(state.dialog);
  } else if (mouseMessage == WM_RBUTTONDOWN) {
    POINT cursor = {};
    GetCursorPos(&cursor);
    SetForegroundWindow(state.dialog);
    TrackPopupMenu(state.trayPopup, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, state.dialog, nullptr);
    PostMessageA(state.dialog, WM_NULL, 0, 0);
  }
}

void showHelpPopup(PanelState& state, HWND button) {
  RECT area = {};
  GetWindowRect(button, &area);
  SetForegroundWindow(state.dialog);
  TrackPopupMenu(state.helpPopup, TPM_RIGHTBUTTON, area.left, area.bottom + 1, 0, state.dialog, nullptr);
  PostMessageA(state.dialog, WM_NULL, 0, 0);
}

}  // namespace control_panel
