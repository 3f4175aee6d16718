// Until the watcher threads are built: no threads run, and a printer missing
// at start only loses its settings.
#include "watchers.h"

#include "CorvantaReg.h"

namespace control_panel {

void startWatchers(PanelState&) {}

void forgetVanishedPrinter(PanelState&, const char* printer) { DeletePrinterSettings(printer); }

void startCalibrationWatcher(PanelState&) {}

void printerRemoved(PanelState&, int) {}

void perJobChanged(PanelState&) {}

void calibrationPageDone(PanelState&) {}

}  // namespace control_panel
