// Corvanta.exe: the tray control panel.
#include <windows.h>

#include "startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  return control_panel::runControlPanel(instance, commandLine);
}
