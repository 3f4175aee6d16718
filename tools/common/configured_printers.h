// The printers the product is configured for: the subkey names of the machine
// settings key, walked in enumeration order.
#pragma once

#include <windows.h>

#include <functional>

namespace tools {

// Calls visit(name) for each configured printer. Opens the machine settings
// key with the given access; false when it cannot be opened (nothing visited).
// A subkey whose name does not fit a 261-byte buffer is skipped rather than
// ending the walk.
bool forEachConfiguredPrinter(REGSAM access, const std::function<void(const char* name)>& visit);

}  // namespace tools
