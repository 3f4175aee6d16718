#include "monitor_rehook.h"

#include <windows.h>
#include <winspool.h>

#include <cstring>
#include <vector>

#include "configured_printers.h"
#include "platform.h"
#include "registry_keys.h"

namespace tools {
namespace {

constexpr DWORD kDriverLimit = 260;

bool equalsIgnoringCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    const char x = (*a >= 'A' && *a <= 'Z') ? char(*a + 32) : *a;
    const char y = (*b >= 'A' && *b <= 'Z') ? char(*b + 32) : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

// A Driver value that names CorvantaLM.dll, bare or with a folder: hooking it
// again would make the monitor chain to itself.
bool namesProductMonitor(const char* driver) {
  const char* file = driver;
  for (const char* p = driver; *p; ++p)
    if (*p == '\\' || *p == '/') file = p + 1;
  return equalsIgnoringCase(file, kProductMonitorDll);
}

void rehookPrinter(const char* name) {
  HANDLE printer = nullptr;
  if (!OpenPrinterA(const_cast<char*>(name), &printer, nullptr) || !printer) return;
  DWORD needed = 0;
  GetPrinterDriverA(printer, nullptr, 3, nullptr, 0, &needed);
  if (needed > 0) {
    std::vector<BYTE> buffer(needed);
    if (GetPrinterDriverA(printer, nullptr, 3, buffer.data(), needed, &needed)) {
      const auto* info = reinterpret_cast<const DRIVER_INFO_3A*>(buffer.data());
      if (info->pMonitorName && info->pMonitorName[0]) rehookMonitor(info->pMonitorName);
    }
  }
  ClosePrinter(printer);
}

}  // namespace

void rehookMonitor(const char* monitorName) {
  // A monitor is one key below the monitors key; a name with a backslash
  // would reach some other key.
  if (!monitorName || !monitorName[0] || std::strchr(monitorName, '\\')) return;
  settings::RegKey monitors;
  settings::RegKey monitor;
  if (!monitors.open(HKEY_LOCAL_MACHINE, kMonitorsKey) || !monitor.open(monitors.get(), monitorName)) return;
  // Room for one byte more than the limit: a name that fits, with its
  // terminator, in 260 bytes is told from one that does not, and a value
  // stored without its terminator still ends inside the buffer.
  char driver[kDriverLimit + 2] = {};
  DWORD type = 0;
  DWORD size = kDriverLimit + 1;
  if (RegQueryValueExA(monitor.get(), kDriverValue, nullptr, &type, reinterpret_cast<BYTE*>(driver), &size) !=
      ERROR_SUCCESS)
    return;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return;
  const size_t length = strnlen(driver, kDriverLimit + 1);
  if (length == 0 || length >= kDriverLimit || namesProductMonitor(driver)) return;
  // The previous DLL must be safe in OriginalDriver before Driver changes.
  if (RegSetValueExA(monitor.get(), kOriginalDriverValue, 0, type, reinterpret_cast<const BYTE*>(driver),
                     static_cast<DWORD>(length + 1)) != ERROR_SUCCESS)
    return;
  RegSetValueExA(monitor.get(), kDriverValue, 0, type, reinterpret_cast<const BYTE*>(kProductMonitorDll),
                 sizeof kProductMonitorDll);
}

void rehookConfiguredPrinters() {
  platform::sleepMs(kRehookDelayMs);
  forEachConfiguredPrinter(KEY_READ, rehookPrinter);
}

}  // namespace tools
