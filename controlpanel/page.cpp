// Until page printing, help and About are built, their commands do nothing.
#include "page.h"

namespace control_panel {

void printCalibrationPage(PanelState&) {}
void showHelp(PanelState&) {}
void openSupportPage(PanelState&) {}
void openWebSite(PanelState&) {}
void showAbout(PanelState&) {}

}  // namespace control_panel
