#include "data_folder.h"

#include <cstring>

#include "platform.h"

namespace settings {

std::string sanitisePrinterName(const char* printerName) {
  std::string name = printerName ? printerName : "";
  for (char& c : name) {
    if (std::strchr("\"/\\?<>:*| ", c) && c != '\0') c = '_';
  }
  return name;
}

bool buildDataFolder(const char* printerName, char* out, size_t capacity) {
  if (!out || capacity == 0) return false;
  out[0] = '\0';
  std::string folder = platform::appDataFolder();
  if (folder.empty()) return false;
  const char separator = platform::pathSeparator();
  platform::createDirectory(folder);
  folder += separator;
  folder += "Corvanta";
  platform::createDirectory(folder);
  folder += separator;
  folder += sanitisePrinterName(printerName);
  if (folder.size() + 1 >= capacity) return false;  // room for the separator and the NUL
  platform::createDirectory(folder);
  folder += separator;
  std::memcpy(out, folder.c_str(), folder.size() + 1);
  return true;
}

}  // namespace settings
