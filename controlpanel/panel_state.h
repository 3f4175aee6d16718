// The control panel's one process-wide record, filled by start-up and by the
// settings dialog's initialisation; the dialog gets it as its creation
// parameter and each watcher thread as its argument.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstddef>
#include <cstdint>

namespace control_panel {

constexpr int kMaxPrinters = 260;
constexpr int kNameSize = 260;
constexpr int kTipSize = 64;

constexpr char kProgramName[] = "Corvanta";
constexpr char kMainWindowTitle[] = "Corvanta Control Panel";
constexpr char kInstanceMutex[] = "833F90F5-CAA2-4939-A518-67B65C803D8C";
constexpr char kRichEditLibrary[] = "Riched32.dll";

// The shell's notify-icon record in its classic form (fields up to the
// 64-character tip), as the first shell versions take it.
struct ClassicNotifyIcon {
  DWORD cbSize;
  HWND hWnd;
  UINT uID;
  UINT uFlags;
  UINT uCallbackMessage;
  HICON hIcon;
  char szTip[kTipSize];
};
static_assert(sizeof(ClassicNotifyIcon) == NOTIFYICONDATAA_V1_SIZE, "classic notify-icon record");
#if !defined(_WIN64)
static_assert(sizeof(ClassicNotifyIcon) == 88, "the 32-bit record is 88 bytes");
#endif

struct PanelState {
  HMENU trayPopup;     // submenu 0 of "SYS_TRAY_POPUP_MENU"
  HMENU trayMenu;      // the menu resource, kept for destruction
  HMENU helpPopup;     // submenu 0 of "HELP_MENU"
  HMENU helpMenu;
  HWND mainWindow;     // hidden top-level window
  HWND dialog;         // settings dialog "MainDlg"
  HMODULE resources;   // language resource library
  HINSTANCE instance;  // the program
  HICON programIcon;   // "IDI_ICON_APP_16"
  int32_t printerCount;
  char printerNames[kMaxPrinters][kNameSize];
  char currentPrinter[kNameSize];
  char programName[kNameSize];
  HANDLE stopEvent;  // manual reset; set once to end every watcher
  int32_t showFlag;  // 1: dialog shown at start, 0: started with "hide"
  LCID numberLocale;
  HANDLE perJobThread;       // SignalPerJobChanged
  HANDLE printerThread;      // SignalPrntRemoved
  HANDLE calibrationThread;  // WatchCalibrationPage
  // 1 while the thread is not running.
  volatile LONG perJobEnded;
  volatile LONG printerEnded;
  volatile LONG calibrationEnded;
  HFONT underlinedFont;
  HFONT boldFont;
  HFONT underlinedBoldFont;
  ClassicNotifyIcon trayIcon;
};

// The single-instance mutex, held from start-up until the shutdown.
extern HANDLE instanceMutex;

}  // namespace control_panel
