// Start-up of the control panel: the single-instance rule, the language
// resource library, the hidden main window, the settings dialog, the message
// loop and the orderly shutdown.
#pragma once

#include <windows.h>

#include "panel_state.h"

namespace control_panel {

// The program's entry: commandLine is what follows the program name.
// Returns the exit code: -1 for a second instance or a failed start,
// otherwise the quit message's code.
int runControlPanel(HINSTANCE instance, const char* commandLine);

// The record of the running program.
PanelState& panelState();

// The resource library and number-format locale for a user language.
struct LibraryChoice {
  const char* file;
  const char* failureText;
  LCID numberLocale;
};
const LibraryChoice& chooseLibrary(LANGID userLanguage);

// True when the command line, lower-cased, is exactly "hide".
bool startsHidden(const char* commandLine);

}  // namespace control_panel
