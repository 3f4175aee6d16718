// A configured printer that left the spooler: the user is told, its settings
// are deleted, and printers the product is not configured for go back from
// the product's ports to the parallel ports.
#pragma once

#include <windows.h>

namespace control_panel {

// Every local printer that is not configured (no subkey of the machine
// settings key has its name) and stands on "Corvanta Port n" moves to
// "LPTn:". Printers that cannot be opened or read are skipped.
void RestoreProductPorts();

// The warning naming the printer (resource strings 48, name, 49, 50, 51),
// the deletion of both its settings keys and the port restore.
void removeVanishedPrinter(HMODULE resources, const char* printerName);

}  // namespace control_panel
