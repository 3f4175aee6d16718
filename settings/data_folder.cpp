#include "data_folder.h"

#include <cstdlib>
#include <cstring>

#include "platform.h"

namespace settings {
namespace {

// Creates path and every missing folder above it (a new account has no
// ~/.local/share yet).
void createDirectories(const std::string& path, char separator) {
  for (size_t at = path.find(separator, 1); at != std::string::npos; at = path.find(separator, at + 1))
    platform::createDirectory(path.substr(0, at));
  platform::createDirectory(path);
}

// The folder that holds every printer's folder: the one the user names in
// CORVANTA_THRESHOLD_DIR (Linux only), else <application data>/Corvanta.
std::string printersFolder(char separator) {
#ifndef _WIN32
  const char* named = std::getenv(kThresholdDirVariable);
  if (named && *named) {
    std::string folder = named;
    while (folder.size() > 1 && folder.back() == separator) folder.pop_back();
    return folder;
  }
#endif
  std::string folder = platform::appDataFolder();
  if (folder.empty()) return folder;
  return folder + separator + "Corvanta";
}

}  // namespace

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
  const char separator = platform::pathSeparator();
  std::string folder = printersFolder(separator);
  if (folder.empty()) return false;
  createDirectories(folder, separator);
  folder += separator;
  folder += sanitisePrinterName(printerName);
  if (folder.size() + 1 >= capacity) return false;  // room for the separator and the NUL
  platform::createDirectory(folder);
  folder += separator;
  std::memcpy(out, folder.c_str(), folder.size() + 1);
  return true;
}

}  // namespace settings
