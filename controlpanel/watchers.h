// The watcher threads and what the dialog does on their messages: a printer
// removed from the spooler, settings saved by the per-job dialog, a
// calibration page processed.
#pragma once

#include "panel_state.h"

namespace control_panel {

// Starts SignalPrntRemoved and SignalPerJobChanged (their ended flags 0).
void startWatchers(PanelState& state);
// Starts WatchCalibrationPage for the current printer (its ended flag 0 while
// it runs); it reports WM_CALPAGEDONE once the page value reads 0.
void startCalibrationWatcher(PanelState& state);
// A configured printer the spooler no longer has, met at dialog start: warns,
// returns unconfigured printers to their parallel ports and deletes the
// printer's settings.
void forgetVanishedPrinter(PanelState& state, const char* printer);
// WM_PRINTERREMOVED, WM_PERJOBCHANGED, WM_CALPAGEDONE.
void printerRemoved(PanelState& state, int printer);
void perJobChanged(PanelState& state);
void calibrationPageDone(PanelState& state);

}  // namespace control_panel
