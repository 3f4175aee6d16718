#include "startup.h"

#include <commctrl.h>

#include <cctype>
#include <cstring>
#include <string>

#include "CorvantaReg.h"
#include "resource_ids.h"
#include "settings_dialog.h"
#include "tray.h"

namespace control_panel {

HANDLE instanceMutex = nullptr;

namespace {

PanelState state;

struct LanguageLibrary {
  WORD primaryLanguage;
  LibraryChoice choice;
};
constexpr LanguageLibrary kLanguageLibraries[] = {
    {LANG_GERMAN, {corvanta_res::kGermanLibrary, "Can't load CorvantaResDeu.dll!", LOCALE_USER_DEFAULT}},
    {LANG_FRENCH, {corvanta_res::kFrenchLibrary, "Can't load CorvantaResFre.dll!", LOCALE_USER_DEFAULT}},
    {LANG_ENGLISH, {corvanta_res::kEnglishLibrary, "Can't load CorvantaRes.dll!", LOCALE_USER_DEFAULT}},
};
// Any other language: the English texts with English number formats.
constexpr LibraryChoice kOtherLanguages = {corvanta_res::kEnglishLibrary, "Can't load CorvantaRes.dll!", 0x0409};

constexpr char kDialogClass[] = "#32770";
constexpr char kMainWindowClass[] = "Corvanta";
constexpr DWORD kMainWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int kMainWindowSize = 1000;
constexpr DWORD kAllControlClasses = 0xFF;

void failure(HWND owner, const char* text, UINT icon = 0) { MessageBoxA(owner, text, kProgramName, MB_OK | icon); }

// The settings dialog of the instance already running: the dialog of the
// thread that owns the "Corvanta" window. Taking the first dialog of the
// desktop would hand the double click to any other program's dialog.
HWND runningInstanceDialog() {
  HWND main = FindWindowA(kMainWindowClass, kMainWindowTitle);
  if (!main) return nullptr;
  const DWORD thread = GetWindowThreadProcessId(main, nullptr);
  HWND found = nullptr;
  for (HWND window = FindWindowExA(nullptr, nullptr, kDialogClass, nullptr); window && !found;
       window = FindWindowExA(nullptr, window, kDialogClass, nullptr))
    if (GetWindowThreadProcessId(window, nullptr) == thread && GetDlgItem(window, IDC_PRINTER_LIST)) found = window;
  return found;
}

// Waits for a watcher without a time limit, taking the messages other
// threads send meanwhile: a watcher may be sending one to the dialog.
void waitForWatcher(HANDLE thread) {
  for (;;) {
    const DWORD result = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE);
    if (result == WAIT_OBJECT_0) return;
    if (result != WAIT_OBJECT_0 + 1) {
      OutputDebugStringA("Error in Wait in WM_DESTROY.\n");
      return;
    }
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

void closeHandle(HANDLE& handle) {
  if (handle) CloseHandle(handle);
  handle = nullptr;
}

void deleteFont(HFONT& font) {
  if (font) DeleteObject(font);
  font = nullptr;
}

void shutDown() {
  if (InSendMessage()) ReplyMessage(1);
  if (state.stopEvent) SetEvent(state.stopEvent);
  if (state.calibrationEnded == 0 && state.calibrationThread) waitForWatcher(state.calibrationThread);
  if (state.printerEnded == 0 && state.printerThread) waitForWatcher(state.printerThread);
  if (state.perJobEnded == 0 && state.perJobThread) waitForWatcher(state.perJobThread);
  closeHandle(state.stopEvent);
  closeHandle(state.perJobThread);
  closeHandle(state.printerThread);
  closeHandle(state.calibrationThread);
  deleteFont(state.underlinedFont);
  deleteFont(state.boldFont);
  deleteFont(state.underlinedBoldFont);
  if (instanceMutex) {
    ReleaseMutex(instanceMutex);
    CloseHandle(instanceMutex);
    instanceMutex = nullptr;
  }
  removeTrayIcon(state);
  if (state.trayMenu) DestroyMenu(state.trayMenu);
  if (state.helpMenu) DestroyMenu(state.helpMenu);
  state.trayMenu = state.trayPopup = state.helpMenu = state.helpPopup = nullptr;
  if (state.resources) FreeLibrary(state.resources);
  state.resources = nullptr;
  PostQuitMessage(0);
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      state.mainWindow = window;
      state.trayMenu = LoadMenuA(state.resources, corvanta_res::kTrayMenu);
      state.trayPopup = GetSubMenu(state.trayMenu, 0);
      state.helpMenu = LoadMenuA(state.resources, corvanta_res::kHelpMenu);
      state.helpPopup = GetSubMenu(state.helpMenu, 0);
      if (ValidateStartupEntry(kProgramName) == 0)
        CheckMenuItem(state.trayPopup, IDM_START_WITH_WINDOWS, MF_BYCOMMAND | MF_CHECKED);
      return 0;
    case WM_SETFOCUS:
      if (state.dialog) SetFocus(state.dialog);
      return 0;
    case WM_DESTROY:
      shutDown();
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void centreOnDesktop(HWND dialog) {
  RECT area = {};
  GetWindowRect(dialog, &area);
  AdjustWindowRect(&area, WS_BORDER, FALSE);
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  RECT desktop = {};
  GetWindowRect(GetDesktopWindow(), &desktop);
  const int desktopWidth = desktop.right - desktop.left;
  const int desktopHeight = desktop.bottom - desktop.top;
  MoveWindow(dialog, desktopWidth / 2 - width / 2, desktopHeight / 2 - height / 2, width, height, TRUE);
}

}  // namespace

PanelState& panelState() { return state; }

const LibraryChoice& chooseLibrary(LANGID userLanguage) {
  for (const LanguageLibrary& entry : kLanguageLibraries)
    if (entry.primaryLanguage == PRIMARYLANGID(userLanguage)) return entry.choice;
  return kOtherLanguages;
}

bool startsHidden(const char* commandLine) {
  if (!commandLine) return false;
  std::string lower(commandLine);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower == "hide";
}

int runControlPanel(HINSTANCE instance, const char* commandLine) {
  state = PanelState{};
  state.instance = instance;

  instanceMutex = CreateMutexA(nullptr, TRUE, kInstanceMutex);
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    HWND running = runningInstanceDialog();
    if (instanceMutex) {
      ReleaseMutex(instanceMutex);
      CloseHandle(instanceMutex);
      instanceMutex = nullptr;
    }
    if (running) {
      SetForegroundWindow(running);
      SendMessageA(running, WM_TRAYICON, TRAY_ICON_ID, WM_LBUTTONDBLCLK);
    }
    return -1;
  }

  const LibraryChoice& library = chooseLibrary(GetUserDefaultLangID());
  state.numberLocale = library.numberLocale;
  state.resources = LoadLibraryA(library.file);
  if (!state.resources) {
    failure(nullptr, library.failureText);
    return -1;
  }
  if (!LoadLibraryA(kRichEditLibrary)) {
    failure(nullptr, "Can't load Riched32.dll!");
    return -1;
  }

  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = mainWindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(state.resources, corvanta_res::kAppIcon);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
  windowClass.lpszClassName = kMainWindowClass;
  state.programIcon = windowClass.hIcon;
  std::strcpy(state.programName, kProgramName);
  if (!RegisterClassA(&windowClass)) {
    if (state.programIcon) DestroyIcon(state.programIcon);
    FreeLibrary(state.resources);
    failure(nullptr, " Cannot register window", MB_ICONERROR);
    return -1;
  }

  state.showFlag = startsHidden(commandLine) ? 0 : 1;
  if (!CreateWindowExA(0, kMainWindowClass, kMainWindowTitle, kMainWindowStyle, 0, 0, kMainWindowSize,
                       kMainWindowSize, nullptr, nullptr, instance, nullptr))
    return -1;

  const INITCOMMONCONTROLSEX controls = {sizeof controls, kAllControlClasses};
  if (!InitCommonControlsEx(&controls)) {
    if (state.programIcon) DestroyIcon(state.programIcon);
    FreeLibrary(state.resources);
    failure(state.mainWindow, "Can't init controls");
    return -1;
  }

  HWND dialog = CreateDialogParamA(state.resources, corvanta_res::kMainDialog, nullptr, MainDialogProc,
                                   reinterpret_cast<LPARAM>(&state));
  if (!dialog) {
    // Without its dialog the program has nothing to show and no tray icon.
    DestroyWindow(state.mainWindow);
    return -1;
  }
  state.dialog = dialog;
  centreOnDesktop(dialog);
  ShowWindow(dialog, state.showFlag == 1 ? SW_SHOW : SW_HIDE);
  ShowWindow(state.mainWindow, SW_HIDE);
  UpdateWindow(state.mainWindow);

  MSG message = {};
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (state.dialog && IsDialogMessageA(state.dialog, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace control_panel
