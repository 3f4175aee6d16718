#include "printer_removal.h"

#include <winspool.h>

#include <cstring>
#include <string>
#include <vector>

#include "CorvantaReg.h"
#include "configured_printers.h"
#include "product_ports.h"
#include "resource_ids.h"

namespace control_panel {
namespace {

constexpr DWORD kFullPrinterAccess = 0x000F000C;
constexpr char kProgramName[] = "Corvanta";

std::string resourceString(HMODULE resources, int id) {
  char text[1024] = {};
  return LoadStringA(resources, id, text, sizeof text) > 0 ? text : "";
}

// Moves the printer to the parallel port of its product port, if it is on one.
void restorePort(const char* printerName) {
  HANDLE printer = nullptr;
  PRINTER_DEFAULTSA access = {nullptr, nullptr, kFullPrinterAccess};
  if (!OpenPrinterA(const_cast<char*>(printerName), &printer, &access) || !printer) return;
  for (const settings::PortPair& ports : settings::kProductPorts) {
    DWORD needed = 0;
    GetPrinterA(printer, 2, nullptr, 0, &needed);
    if (needed == 0) break;
    // The information, and behind it the parallel port name.
    const size_t portSize = std::strlen(ports.parallelPort) + 1;
    std::vector<BYTE> buffer(needed + portSize);
    if (!GetPrinterA(printer, 2, buffer.data(), needed, &needed)) continue;
    auto* info = reinterpret_cast<PRINTER_INFO_2A*>(buffer.data());
    if (!info->pPortName || std::strcmp(info->pPortName, ports.productPort) != 0) continue;
    char* behind = reinterpret_cast<char*>(buffer.data() + buffer.size() - portSize);
    std::memcpy(behind, ports.parallelPort, portSize);
    info->pPortName = behind;
    SetPrinterA(printer, 2, buffer.data(), 0);
  }
  ClosePrinter(printer);
}

}  // namespace

void RestoreProductPorts() {
  std::vector<std::string> configured;
  if (!tools::forEachConfiguredPrinter(KEY_ALL_ACCESS, [&](const char* name) { configured.emplace_back(name); }))
    return;

  DWORD needed = 0, count = 0;
  EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 1, nullptr, 0, &needed, &count);
  if (needed == 0) return;
  std::vector<BYTE> buffer(needed);
  if (!EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 1, buffer.data(), needed, &needed, &count)) return;
  const auto* printers = reinterpret_cast<const PRINTER_INFO_1A*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) {
    const char* name = printers[i].pName;
    if (!name || !*name) continue;
    bool isConfigured = false;
    for (const std::string& known : configured) isConfigured = isConfigured || known == name;
    if (!isConfigured) restorePort(name);
  }
}

void removeVanishedPrinter(HMODULE resources, const char* printerName) {
  if (!printerName) return;
  const std::string warning = resourceString(resources, IDS_REMOVED_BEFORE_NAME) + printerName +
                              resourceString(resources, IDS_REMOVED_AFTER_NAME) +
                              resourceString(resources, IDS_REMOVED_SETTINGS) +
                              resourceString(resources, IDS_REMOVED_CLOSING);
  MessageBoxA(nullptr, warning.c_str(), kProgramName, MB_OK | MB_ICONWARNING);
  DeletePrinterSettings(printerName);
  RestoreProductPorts();
}

}  // namespace control_panel
