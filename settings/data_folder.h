// The printer's data folder: <application data>/Corvanta/<sanitised printer
// name>/, created on the way with every missing folder above it. On Linux the
// environment variable CORVANTA_THRESHOLD_DIR, when set, names the folder
// that replaces <application data>/Corvanta. Portable; exported by CorvantaReg on Windows
// (GetDataFilePath) and linked into the native libraries directly.
#pragma once

#include <cstddef>
#include <string>

namespace settings {

constexpr const char* kThresholdDirVariable = "CORVANTA_THRESHOLD_DIR";

// The printer name with each of the ten characters " / \ ? < > : * | and
// space replaced by '_'.
std::string sanitisePrinterName(const char* printerName);

// Builds and creates the data folder and writes it, ending in the path
// separator, to out (capacity bytes including the NUL). When the folder does
// not fit, or the application-data folder cannot be had, out becomes the
// empty string and false is returned: a truncated path would point elsewhere.
bool buildDataFolder(const char* printerName, char* out, size_t capacity);

}  // namespace settings
