// The settings dialog "MainDlg": printer list, the levels tab and the savings
// tab, validation and saving. It also owns the tray icon and receives every
// menu command and watcher message.
#pragma once

#include <windows.h>

#include "panel_state.h"

namespace control_panel {

// Dialog procedure; WM_INITDIALOG carries the PanelState.
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// After EditValues were loaded: fill the controls, enable them and Apply by
// reduction, and bring tab 0 back when reduction is off and tab 1 shows.
void showLoadedValues(PanelState& state);
// Fills every control from EditValues.
void fillControls(PanelState& state);
void enableApplyByReduction(PanelState& state);
// Selects a tab (0 levels, 1 savings) and shows its controls.
void switchToTab(PanelState& state, int tab);
int selectedTab(const PanelState& state);

// The first field whose text is invalid (cost, cartridge and level fields in
// that order), or 0.
int invalidField(HWND dialog);

}  // namespace control_panel
