#include "page.h"

#include "CorvantaReg.h"
#include "calibration_page.h"
#include "help_about.h"
#include "resource_ids.h"
#include "watchers.h"
#include "web_addresses.h"

namespace control_panel {
namespace {

// The printer's device context outlives the page by ten seconds; a thread
// timer deletes it, so the dialog keeps handling messages (the calibration
// watcher's among them) meanwhile.
constexpr UINT kKeepDeviceContextMs = 10000;
HDC pageDeviceContext = nullptr;
UINT_PTR pageTimer = 0;

void deletePageDeviceContext() {
  if (pageTimer) KillTimer(nullptr, pageTimer);
  pageTimer = 0;
  if (pageDeviceContext) DeleteDC(pageDeviceContext);
  pageDeviceContext = nullptr;
}

void CALLBACK pageTimeUp(HWND, UINT, UINT_PTR, DWORD) { deletePageDeviceContext(); }

}  // namespace

void printCalibrationPage(PanelState& state) {
  HDC dc = CreateDCA(nullptr, state.currentPrinter, nullptr, nullptr);
  if (!dc) {
    char text[512] = {};
    LoadStringA(state.resources, IDS_PRINTER_NOT_OPENED, text, sizeof text);
    MessageBoxA(state.dialog, text, state.programName, MB_ICONWARNING);
    return;
  }
  SetCursor(LoadCursorA(nullptr, IDC_WAIT));
  ShowCursor(TRUE);
  const int variant = GetManufacturer(state.currentPrinter) == 2 ? 2 : 1;
  if (!printCalibrationDocuments(dc, variant, state.currentPrinter, state.resources)) {
    // The page value is 0 again and no monitor write-back will come, so a
    // watcher would keep the button disabled for good: leave it usable.
    DeleteDC(dc);
    ShowCursor(FALSE);
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    return;
  }
  startCalibrationWatcher(state);
  EnableWindow(GetDlgItem(state.dialog, IDC_PRINT_CALIBRATION), FALSE);
  deletePageDeviceContext();  // of an earlier page, should its time not be up
  pageDeviceContext = dc;
  pageTimer = SetTimer(nullptr, 0, kKeepDeviceContextMs, pageTimeUp);
  if (!pageTimer) deletePageDeviceContext();
}

void showHelp(PanelState& state) { showHelpBook(state.mainWindow); }
void openSupportPage(PanelState& state) { openWebPage(state.dialog, kSupportPageAddress); }
void openWebSite(PanelState& state) { openWebPage(state.dialog, kWebSiteAddress); }
void showAbout(PanelState& state) {
  showAboutBox(state.resources, state.dialog, reinterpret_cast<LPARAM>(&state));
}

}  // namespace control_panel
