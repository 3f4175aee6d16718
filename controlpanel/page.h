// The calibration page, the help file, the web pages and the About box.
#pragma once

#include "panel_state.h"

namespace control_panel {

// Button 1037: prints the calibration page on the current printer.
void printCalibrationPage(PanelState& state);
void showHelp(PanelState& state);         // 40001 and F1
void openSupportPage(PanelState& state);  // 40002
void openWebSite(PanelState& state);      // 40003
void showAbout(PanelState& state);        // 40004

}  // namespace control_panel
