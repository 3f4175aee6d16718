// The three watcher threads and the dialog's handling of their messages. The
// threads only read the printer list, the current printer and the handles of
// the shared record, and write their own ended flag; everything else happens
// on the main thread through the synchronous messages.
#include "watchers.h"

#include <process.h>

#include <cstdio>
#include <cstring>

#include "CorvantaReg.h"
#include "panel_values.h"
#include "printer_removal.h"
#include "registry_keys.h"
#include "registry_watch.h"
#include "resource_ids.h"
#include "settings_dialog.h"
#include "tray.h"

namespace control_panel {
namespace {

// Per watcher: key, filter and debug texts (the key path of the last two is
// formed when the thread starts).
const WatchRules kPrinterRules = {HKEY_LOCAL_MACHINE, settings::kSpoolerPrinters,
                                  REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, nullptr,
                                  "SignalPrntRemoved -> Error in RegCloseKey.\n", false,
                                  "SignalPrntRemoved -> Error in CloseHandle.\n"};
const WatchRules kPerJobRules = {HKEY_USERS, nullptr, REG_NOTIFY_CHANGE_LAST_SET,
                                 "SignalPerJobChanged -> Error in WaitForSingleObject.\n", nullptr, true,
                                 "Error in CloseHandle.\n"};
const WatchRules kCalibrationRules = {HKEY_USERS, nullptr, REG_NOTIFY_CHANGE_LAST_SET,
                                      "Error in WaitForMultipleObjects.\n", "Error in RegCloseKey.\n", false,
                                      "Error in CloseHandle.\n"};

// The printer whose page the calibration watcher waits for, copied on the
// main thread when the watcher is started.
char calibrationPrinter[kNameSize];

bool stopping(const PanelState& state) {
  return state.stopEvent && WaitForSingleObject(state.stopEvent, 0) == WAIT_OBJECT_0;
}

unsigned __stdcall SignalPrntRemoved(void* argument) {
  PanelState& state = *static_cast<PanelState*>(argument);
  return watchRegistry(kPrinterRules, state.stopEvent, &state.printerEnded, [&state] {
    bool reported = false;
    for (int i = 0; i < state.printerCount && i < kMaxPrinters && !stopping(state); ++i) {
      if (IsPrinterInstalled(state.printerNames[i]) > 0) {
        SendMessageA(state.dialog, WM_PRINTERREMOVED, static_cast<WPARAM>(i), 0);
        reported = true;
      }
    }
    return reported ? Watch::Done : Watch::Continue;
  });
}

unsigned __stdcall SignalPerJobChanged(void* argument) {
  PanelState& state = *static_cast<PanelState*>(argument);
  char path[64];
  std::snprintf(path, sizeof path, "%s\\%s", settings::kSharedRoot, settings::kProductKey);
  WatchRules rules = kPerJobRules;
  rules.path = path;
  return watchRegistry(rules, state.stopEvent, &state.perJobEnded, [&state] {
    if (GetPerJob() != 0 && !stopping(state)) SendMessageA(state.dialog, WM_PERJOBCHANGED, 0, 0);
    return Watch::Continue;
  });
}

unsigned __stdcall WatchCalibrationPage(void* argument) {
  PanelState& state = *static_cast<PanelState*>(argument);
  InterlockedExchange(&state.calibrationEnded, 0);
  char printer[kNameSize];
  std::memcpy(printer, calibrationPrinter, sizeof printer);
  printer[kNameSize - 1] = '\0';
  char path[kNameSize + 64];
  std::snprintf(path, sizeof path, "%s\\%s\\%s", settings::kSharedRoot, settings::kProductKey, printer);
  WatchRules rules = kCalibrationRules;
  rules.path = path;
  return watchRegistry(rules, state.stopEvent, &state.calibrationEnded, [&state, &printer] {
    if (GetPrintCalibrationPage(printer) != 0) return Watch::Continue;
    if (!stopping(state)) SendMessageA(state.dialog, WM_CALPAGEDONE, 0, 0);
    return Watch::Done;
  });
}

// The thread's handle, or nullptr with the ended flag back at 1 when it could
// not be started.
HANDLE startThread(unsigned(__stdcall* routine)(void*), PanelState& state, volatile LONG& ended) {
  InterlockedExchange(&ended, 0);
  const uintptr_t thread = _beginthreadex(nullptr, 0, routine, &state, 0, nullptr);
  if (!thread) InterlockedExchange(&ended, 1);
  return reinterpret_cast<HANDLE>(thread);
}

}  // namespace

void startWatchers(PanelState& state) {
  state.printerThread = startThread(SignalPrntRemoved, state, state.printerEnded);
  state.perJobThread = startThread(SignalPerJobChanged, state, state.perJobEnded);
}

void startCalibrationWatcher(PanelState& state) {
  std::memcpy(calibrationPrinter, state.currentPrinter, sizeof calibrationPrinter);
  calibrationPrinter[kNameSize - 1] = '\0';
  if (state.calibrationThread) CloseHandle(state.calibrationThread);
  state.calibrationThread = startThread(WatchCalibrationPage, state, state.calibrationEnded);
}

void forgetVanishedPrinter(PanelState& state, const char* printer) {
  removeVanishedPrinter(state.resources, printer);
}

void printerRemoved(PanelState& state, int printer) {
  if (InSendMessage()) ReplyMessage(1);
  if (printer < 0 || printer >= state.printerCount || printer >= kMaxPrinters) return;
  char name[kNameSize];
  std::memcpy(name, state.printerNames[printer], sizeof name);
  name[kNameSize - 1] = '\0';
  removeVanishedPrinter(state.resources, name);
  // A second printer reported while the program is already ending loses its
  // settings too, but the shutdown under way is not started again.
  if (!stopping(state) && state.mainWindow && IsWindow(state.mainWindow)) DestroyWindow(state.mainWindow);
}

void perJobChanged(PanelState& state) {
  if (stopping(state)) return;
  if (ReadJobSettings(state.currentPrinter, EditValues, kJobValueCount) != 0) {
    char text[kNameSize + 32];
    std::snprintf(text, sizeof text, "%s has been unistalled", state.currentPrinter);
    MessageBoxA(nullptr, text, kProgramName, MB_OK | MB_ICONWARNING);
  }
  showLoadedValues(state);
  updateTrayIcon(state);
  refreshAllPrinterMenus(state);
  SetPerJob(0);
}

void calibrationPageDone(PanelState& state) {
  if (InSendMessage()) ReplyMessage(1);
  ShowCursor(FALSE);
  SetCursor(LoadCursor(nullptr, IDC_ARROW));
  ShowCursor(TRUE);
  EnableWindow(GetDlgItem(state.dialog, IDC_PRINT_CALIBRATION), TRUE);
  EnableWindow(state.dialog, TRUE);
  if (state.calibrationThread) CloseHandle(state.calibrationThread);
  state.calibrationThread = nullptr;
}

}  // namespace control_panel
