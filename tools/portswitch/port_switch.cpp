#include "port_switch.h"

#include <winspool.h>

#include <cstring>
#include <vector>

#include "product_ports.h"

namespace tools {

std::string commandLineTail(const char* commandLine) {
  if (!commandLine) return {};
  const char* p = commandLine;
  if (*p == '"') {
    ++p;
    while (*p && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (*p && *p != ' ' && *p != '\t') ++p;
  }
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

DWORD systemPlatformId() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version)) return VER_PLATFORM_WIN32_NT;
  return version.dwPlatformId;
}

namespace {

std::string openFailure(const std::string& name) { return "ERROR: OpenPrinter(" + name + ") Failed!\n"; }

const char* productPortFor(const char* port) {
  if (!port) return nullptr;
  for (const settings::PortPair& pair : settings::kProductPorts)
    if (std::strcmp(port, pair.parallelPort) == 0) return pair.productPort;
  return nullptr;
}

}  // namespace

std::string switchPrinterPort(const std::string& printerName, DWORD platformId) {
  if (platformId == VER_PLATFORM_WIN32_NT) return {};
  // An empty name would open the print server instead of a printer.
  if (printerName.empty()) return openFailure(printerName);
  HANDLE printer = nullptr;
  if (!OpenPrinterA(const_cast<char*>(printerName.c_str()), &printer, nullptr) || !printer)
    return openFailure(printerName);
  DWORD needed = 0;
  GetPrinterA(printer, 2, nullptr, 0, &needed);
  if (needed > 0) {
    // Room for the information and, behind it, the longest new port name.
    const size_t portRoom = std::strlen(settings::kProductPorts[0].productPort) + 1;
    std::vector<BYTE> buffer(needed + portRoom + sizeof(void*));
    if (GetPrinterA(printer, 2, buffer.data(), needed, &needed)) {
      auto* info = reinterpret_cast<PRINTER_INFO_2A*>(buffer.data());
      if (const char* newPort = productPortFor(info->pPortName)) {
        char* behind = reinterpret_cast<char*>(buffer.data() + needed);
        std::memcpy(behind, newPort, std::strlen(newPort) + 1);
        info->pPortName = behind;
        SetPrinterA(printer, 2, buffer.data(), 0);
      }
    }
  }
  ClosePrinter(printer);
  return {};
}

}  // namespace tools
