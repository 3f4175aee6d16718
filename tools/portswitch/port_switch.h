// PortSwitch: moves one printer from a parallel port (LPT1: to LPT9:) to the
// product's port of the same number. Only on the 9x platform; on NT nothing
// is read or written.
#pragma once

#include <windows.h>

#include <string>

namespace tools {

// The printer name in a program's command line: everything after the program
// token and the blanks that follow it, kept verbatim.
std::string commandLineTail(const char* commandLine);

// The platform id of the running system (2 = NT family; NT when unknown, so
// that nothing is changed).
DWORD systemPlatformId();

// Runs the switch for printerName on a system of the given platform id.
// Returns the text for standard output (empty, or the error line).
std::string switchPrinterPort(const std::string& printerName, DWORD platformId);

}  // namespace tools
