// The help book, the web pages and the About box.
#pragma once

#include <windows.h>

namespace control_panel {

// Opens CVchapter1.html of the user's language's help book in the page
// folder; nothing without a page folder. Viewer failures are ignored.
void showHelpBook(HWND owner);
// Opens a web address with the shell's "open" verb.
void openWebPage(HWND owner, const char* address);
// Creates the modeless "DIALOG_ABOUT" box of the resource library.
HWND showAboutBox(HMODULE resources, HWND owner, LPARAM parameter);

}  // namespace control_panel
