// GetDataFilePath for a Windows build that has no settings DLL to link: the
// same portable folder builder, linked into this library privately.
#include "CorvantaReg.h"
#include "data_folder.h"

extern "C" char* GetDataFilePath(const char* printerName, char* outPath) {
  settings::buildDataFolder(printerName, outPath, kDataFilePathSize);
  return outPath;
}
