// GetDataFilePath for the native build, where there is no settings DLL.
#include "CorvantaReg.h"
#include "data_folder.h"

extern "C" char* GetDataFilePath(const char* printerName, char* outPath) {
  settings::buildDataFolder(printerName, outPath, kDataFilePathSize);
  return outPath;
}
