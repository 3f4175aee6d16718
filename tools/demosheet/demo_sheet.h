// DemoSheet: runs once after installation. The user picks a configured
// printer; the running control panel prints its demonstration page on it;
// then DemoSheet removes its own start-up entry and brings the control
// panel's configuration window to the front.
#pragma once

#include <windows.h>

namespace tools {

constexpr const char kSheetLaunchValue[] = "SheetLaunch";
constexpr const char kSetupCaption[] = "Corvanta";
constexpr unsigned kDemoSheetDelayMs = 3000;

// The control panel's settings dialog, as DemoSheet finds and drives it.
constexpr const char kPanelWindowClass[] = "#32770";
constexpr const char kPanelTitle[] = "Corvanta: Configuration";
constexpr const char kPanelTitleGerman[] = "Corvanta: Konfiguration";
constexpr int kPanelPrinterList = 1038;
constexpr int kPanelPrintButton = 1037;

// By the low 8 bits of a language id: German, French, anything else.
const char* setupLibraryFor(LANGID language);
const char* panelTitleFor(LANGID language);

// The control panel's settings window for the user's language, or null.
HWND findPanelWindow();

// The print button's work for one printer: the printer's shared settings key
// is created if missing; then, when the control panel runs, the printer is
// selected in its list and its calibration-page button clicked. Nothing is
// sent to the panel when the printer is not in its list. Returns true when
// the page was asked for.
bool printDemoPage(const char* printer);

// The whole program; returns its exit code.
int runDemoSheet();

}  // namespace tools
