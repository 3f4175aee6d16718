// The tray icon, its tip and its popup menu with the per-printer level
// submenus, and the help popup of the settings dialog.
#pragma once

#include <windows.h>

#include <string>

#include "panel_state.h"

namespace control_panel {

// Icon: "IDI_ICON_APP_16" while any listed printer has reduction on, else
// "IDI_ICON_DISABLE_INK"; tip from the current printer's values.
void addTrayIcon(PanelState& state);
void updateTrayIcon(PanelState& state);
void removeTrayIcon(PanelState& state);

struct TipTexts {
  std::string reductionOn, reductionOff, blackLabel, colorLabel;  // strings 17, 18, 19, 20
};
// "<on/off> - <printer> - <black label><level>% - <colour label><level>%",
// or the program name when that does not fit the 64-character tip.
std::string trayTip(const TipTexts& texts, const char* printer, int reduction, int black, int color,
                    const char* programName);

// Adds the level submenus (and with several printers, one submenu per
// printer) to the tray popup; once, after the printer list is known.
void buildTrayMenu(PanelState& state);
// The printer's submenu labels, checks and reduction item after its values
// changed.
void refreshPrinterMenu(PanelState& state, int printer);
void refreshAllPrinterMenus(PanelState& state);
// A level or reduction item of a printer's submenus; false for other ids.
bool printerMenuCommand(PanelState& state, int id);

// The shell's mouse message for the tray icon.
void trayIconMessage(PanelState& state, WPARAM iconId, LPARAM mouseMessage);
// The help popup, one pixel below the button's bottom edge.
void showHelpPopup(PanelState& state, HWND button);

// Index of the printer in the list, or -1.
int printerIndex(const PanelState& state, const char* printer);

}  // namespace control_panel
