#include "demo_sheet.h"

#include <cstdio>
#include <string>

#include "configured_printers.h"
#include "demo_sheet_ids.h"
#include "platform.h"
#include "registry_keys.h"

namespace tools {

const char* setupLibraryFor(LANGID language) {
  switch (language & 0xFF) {
    case 7:
      return "CorvantaSetupResDeu.dll";
    case 12:
      return "CorvantaSetupResFre.dll";
    default:
      return "CorvantaSetupRes.dll";
  }
}

const char* panelTitleFor(LANGID language) { return (language & 0xFF) == 7 ? kPanelTitleGerman : kPanelTitle; }

namespace {

struct SheetState {
  HINSTANCE resources;
  std::string printer;  // the remembered selection
};

void rememberSelection(HWND dialog, SheetState* state) {
  HWND list = GetDlgItem(dialog, IDC_DEMO_PRINTERS);
  const LRESULT index = SendMessageA(list, CB_GETCURSEL, 0, 0);
  const LRESULT length = index == CB_ERR ? CB_ERR : SendMessageA(list, CB_GETLBTEXTLEN, index, 0);
  if (length < 0 || length > 260) return;
  std::string name(static_cast<size_t>(length) + 1, '\0');
  SendMessageA(list, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&name[0]));
  name.resize(static_cast<size_t>(length));
  state->printer = name.c_str();
}

void startDialog(HWND dialog, SheetState* state) {
  HWND list = GetDlgItem(dialog, IDC_DEMO_PRINTERS);
  forEachConfiguredPrinter(KEY_READ, [list](const char* name) {
    SendMessageA(list, CB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(name));
  });
  SendMessageA(list, CB_SETCURSEL, 0, 0);
  rememberSelection(dialog, state);
  RECT box = {};
  RECT desktop = {};
  GetWindowRect(dialog, &box);
  GetWindowRect(GetDesktopWindow(), &desktop);
  const int x = desktop.left + (desktop.right - desktop.left - (box.right - box.left)) / 2;
  const int y = desktop.top + (desktop.bottom - desktop.top - (box.bottom - box.top)) / 2;
  SetWindowPos(dialog, HWND_TOPMOST, x, y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
  EnableMenuItem(GetSystemMenu(dialog, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
}

bool confirmSkip(HWND dialog, SheetState* state) {
  char text[1024] = {};
  LoadStringA(state->resources, IDS_DEMO_SKIP_CONFIRM, text, sizeof text);
  return MessageBoxA(dialog, text, kSetupCaption, MB_OKCANCEL | MB_ICONWARNING) == IDOK;
}

INT_PTR CALLBACK sheetProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<SheetState*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      state = reinterpret_cast<SheetState*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      startDialog(dialog, state);
      return TRUE;
    case WM_SYSCOMMAND:
      // Close is greyed in the system menu; Alt+F4 and a sent SC_CLOSE do
      // not end the dialog either.
      if ((wParam & 0xFFF0) == SC_CLOSE) {
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 0);
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      return TRUE;
    case WM_COMMAND:
      if (!state) return FALSE;
      switch (LOWORD(wParam)) {
        case IDC_DEMO_PRINTERS:
          if (HIWORD(wParam) == CBN_SELCHANGE) rememberSelection(dialog, state);
          return TRUE;
        case IDC_DEMO_PRINT:
          printDemoPage(state->printer.c_str());
          SetCursor(LoadCursor(nullptr, IDC_ARROW));
          EndDialog(dialog, IDC_DEMO_PRINT);
          return TRUE;
        case IDC_DEMO_SKIP:
          if (confirmSkip(dialog, state)) EndDialog(dialog, IDC_DEMO_SKIP);
          return TRUE;
        case IDCANCEL:  // Escape: only the two buttons end the dialog
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

void removeStartupEntry() {
  settings::RegKey run;
  if (run.open(HKEY_LOCAL_MACHINE, settings::kRunKey, KEY_SET_VALUE)) RegDeleteValueA(run.get(), kSheetLaunchValue);
}

}  // namespace

int runDemoSheet() {
  const char* library = setupLibraryFor(GetUserDefaultLangID());
  HINSTANCE resources = LoadLibraryA(library);
  if (!resources) {
    char text[128];
    std::snprintf(text, sizeof text, "Unable to load Corvanta Setup Resource Library: %s.", library);
    MessageBoxA(nullptr, text, kSetupCaption, MB_OK | MB_ICONERROR);
    return 0;
  }
  platform::sleepMs(kDemoSheetDelayMs);
  SheetState state{resources, {}};
  DialogBoxParamA(resources, MAKEINTRESOURCEA(IDD_DEMO_SHEET), GetDesktopWindow(), sheetProc,
                  reinterpret_cast<LPARAM>(&state));
  removeStartupEntry();
  if (HWND panel = findPanelWindow()) ShowWindow(panel, SW_SHOWDEFAULT);
  FreeLibrary(resources);
  return 0;
}

}  // namespace tools
