#include "spooler_standins.h"

#include <cwchar>
#include <map>
#include <memory>
#include <mutex>

namespace spooler {
namespace {

std::mutex g_mutex;
std::vector<std::unique_ptr<PortRecord>> g_records;  // one per OpenPort, kept after ClosePort
int g_openPorts = 0;
DWORD g_failError = 0;
int g_failCount = 0;
bool g_failOpen = false;

// Narrow texts in the ANSI code page, as the settings store and 9x read them.
std::wstring wide(const char* text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (length <= 1) return std::wstring();
  std::wstring out(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, &out[0], length);
  out.resize(static_cast<size_t>(length - 1));
  return out;
}

PortRecord* record(HANDLE handle) { return static_cast<PortRecord*>(handle); }

// Overlap watch: while a delay is set, every data call (write, read, Xcv data)
// takes that long and the most calls in progress at once are kept.
volatile LONG g_callDelayMs = 0;
volatile LONG g_activeCalls = 0;
volatile LONG g_mostActive = 0;

struct WatchedCall {
  WatchedCall() {
    if (!g_callDelayMs) return;
    const LONG active = InterlockedIncrement(&g_activeCalls);
    for (LONG most = g_mostActive; active > most; most = g_mostActive)
      InterlockedCompareExchange(&g_mostActive, active, most);
    Sleep(static_cast<DWORD>(g_callDelayMs));
    watched = true;
  }
  ~WatchedCall() {
    if (watched) InterlockedDecrement(&g_activeCalls);
  }
  bool watched = false;
};

BOOL WINAPI pmOpenPort(LPWSTR name, PHANDLE handle) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_failOpen) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  g_records.push_back(std::make_unique<PortRecord>());
  g_records.back()->port = name;
  *handle = g_records.back().get();
  ++g_openPorts;
  return TRUE;
}

BOOL WINAPI pmStartDocPort(HANDLE port, LPWSTR, DWORD, DWORD, LPBYTE) {
  std::lock_guard<std::mutex> lock(g_mutex);
  ++record(port)->startDocs;
  return TRUE;
}

BOOL WINAPI pmWritePort(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD written) {
  WatchedCall watch;
  std::lock_guard<std::mutex> lock(g_mutex);
  PortRecord* r = record(port);
  if (g_failCount != 0) {
    if (g_failCount > 0) --g_failCount;
    ++r->failedWrites;
    *written = 0;
    SetLastError(g_failError);
    return FALSE;
  }
  r->bytes.insert(r->bytes.end(), buffer, buffer + size);
  r->writeSizes.push_back(size);
  *written = size;
  return TRUE;
}

BOOL WINAPI pmReadPort(HANDLE port, LPBYTE, DWORD, LPDWORD read) {
  WatchedCall watch;
  std::lock_guard<std::mutex> lock(g_mutex);
  ++record(port)->reads;
  *read = 0;
  return TRUE;
}

BOOL WINAPI pmEndDocPort(HANDLE port) {
  std::lock_guard<std::mutex> lock(g_mutex);
  ++record(port)->endDocs;
  return TRUE;
}

BOOL WINAPI pmClosePort(HANDLE port) {
  std::lock_guard<std::mutex> lock(g_mutex);
  ++record(port)->closes;
  --g_openPorts;
  return TRUE;
}

BOOL WINAPI pmGetPrinterDataFromPort(HANDLE port, DWORD controlId, LPWSTR, LPWSTR, DWORD, LPWSTR, DWORD,
                                     LPDWORD returned) {
  std::lock_guard<std::mutex> lock(g_mutex);
  record(port)->controlIds.push_back(controlId);
  if (returned) *returned = 0;
  return TRUE;
}

// Xcv handles are the address of this counter; each call adds one.
LONG g_xcvCalls = 0;

BOOL WINAPI pmXcvOpenPort(LPCWSTR, ACCESS_MASK, PHANDLE xcv) {
  InterlockedIncrement(&g_xcvCalls);
  *xcv = &g_xcvCalls;
  return TRUE;
}

DWORD WINAPI pmXcvDataPort(HANDLE xcv, LPCWSTR, PBYTE, DWORD, PBYTE, DWORD, PDWORD needed) {
  if (xcv != &g_xcvCalls) return ERROR_INVALID_HANDLE;
  WatchedCall watch;
  InterlockedIncrement(&g_xcvCalls);
  if (needed) *needed = 0;
  return ERROR_SUCCESS;
}

BOOL WINAPI pmXcvClosePort(HANDLE xcv) {
  if (xcv != &g_xcvCalls) return FALSE;
  InterlockedIncrement(&g_xcvCalls);
  return TRUE;
}

corvanta_lm::PortFunctions g_portMonitor = {
    nullptr, pmOpenPort, nullptr, pmStartDocPort, pmWritePort, pmReadPort, pmEndDocPort, pmClosePort, nullptr,
    nullptr, nullptr,    nullptr, pmGetPrinterDataFromPort, nullptr, pmXcvOpenPort, pmXcvDataPort, pmXcvClosePort};

// ---- winspool seam ---------------------------------------------------------

std::vector<Printer> g_printers;
std::vector<JobControl> g_controls;
DWORD g_platformId = VER_PLATFORM_WIN32_NT;

Printer* printerOf(HANDLE handle) {
  const auto index = reinterpret_cast<uintptr_t>(handle);
  return index >= 1 && index <= g_printers.size() ? &g_printers[index - 1] : nullptr;
}

// Copies a string into the tail of a result buffer.
wchar_t* pack(BYTE*& tail, const std::wstring& text) {
  tail -= (text.size() + 1) * sizeof(wchar_t);
  memcpy(tail, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  return reinterpret_cast<wchar_t*>(tail);
}

bool fits(DWORD needed, DWORD size, LPDWORD neededOut) {
  *neededOut = needed;
  if (size < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  return true;
}

DWORD fakePlatformId() { return g_platformId; }

BOOL WINAPI fakeOpenPrinterW(LPWSTR nameArgument, LPHANDLE handle, LPPRINTER_DEFAULTSW) {
  std::lock_guard<std::mutex> lock(g_mutex);
  // On 9x the spooler's texts are narrow.
  const std::wstring name = !nameArgument                           ? std::wstring()
                            : g_platformId == VER_PLATFORM_WIN32_NT ? std::wstring(nameArgument)
                                                                    : wide(reinterpret_cast<const char*>(nameArgument));
  for (size_t i = 0; nameArgument && i < g_printers.size(); ++i)
    if (_wcsicmp(g_printers[i].name.c_str(), name.c_str()) == 0) {
      *handle = reinterpret_cast<HANDLE>(i + 1);
      return TRUE;
    }
  SetLastError(ERROR_INVALID_PRINTER_NAME);
  return FALSE;
}

BOOL WINAPI fakeClosePrinter(HANDLE) { return TRUE; }

BOOL WINAPI fakeGetPrinterDriverW(HANDLE handle, LPWSTR, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Printer* p = printerOf(handle);
  if (!p || level != 3) {
    SetLastError(ERROR_INVALID_PARAMETER);
    *needed = 0;
    return FALSE;
  }
  const DWORD total = sizeof(DRIVER_INFO_3W) + (p->driver.size() + p->environment.size() + 2) * sizeof(wchar_t);
  if (!fits(total, size, needed)) return FALSE;
  memset(buffer, 0, total);
  auto* info = reinterpret_cast<DRIVER_INFO_3W*>(buffer);
  BYTE* tail = buffer + total;
  info->cVersion = p->version;
  info->pName = pack(tail, p->driver);
  info->pEnvironment = pack(tail, p->environment);
  return TRUE;
}

BOOL WINAPI fakeEnumPrintersW(DWORD, LPWSTR, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                              LPDWORD count) {
  std::lock_guard<std::mutex> lock(g_mutex);
  *count = 0;
  if (level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  DWORD total = 0;
  for (const Printer& p : g_printers)
    total += sizeof(PRINTER_INFO_2W) + (p.name.size() + p.port.size() + 2) * sizeof(wchar_t);
  if (!fits(total, size, needed)) return FALSE;
  memset(buffer, 0, total);
  auto* info = reinterpret_cast<PRINTER_INFO_2W*>(buffer);
  BYTE* tail = buffer + total;
  for (const Printer& p : g_printers) {
    info->pPrinterName = pack(tail, p.name);
    info->pPortName = pack(tail, p.port);
    ++info;
  }
  *count = static_cast<DWORD>(g_printers.size());
  return TRUE;
}

void fillJob(JOB_INFO_1W* job, const Printer& p, DWORD jobId) {
  memset(job, 0, sizeof(*job));
  job->JobId = jobId;
  job->Status = p.jobStatus;
}

BOOL WINAPI fakeEnumJobsW(HANDLE handle, DWORD first, DWORD jobs, DWORD level, LPBYTE buffer, DWORD size,
                          LPDWORD needed, LPDWORD returned) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Printer* p = printerOf(handle);
  *returned = 0;
  *needed = 0;
  if (!p || level != 1 || jobs == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (first >= p->jobs.size()) return TRUE;  // nothing at that position
  if (!fits(sizeof(JOB_INFO_1W), size, needed)) return FALSE;
  fillJob(reinterpret_cast<JOB_INFO_1W*>(buffer), *p, p->jobs[first]);
  *returned = 1;
  return TRUE;
}

BOOL WINAPI fakeGetJobW(HANDLE handle, DWORD jobId, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Printer* p = printerOf(handle);
  *needed = 0;
  if (!p || level != 1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!fits(sizeof(JOB_INFO_1W), size, needed)) return FALSE;
  fillJob(reinterpret_cast<JOB_INFO_1W*>(buffer), *p, jobId);
  return TRUE;
}

BOOL WINAPI fakeSetJobW(HANDLE handle, DWORD jobId, DWORD, LPBYTE, DWORD command) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Printer* p = printerOf(handle);
  if (!p) return FALSE;
  g_controls.push_back({p->name, jobId, command});
  return TRUE;
}

// ---- registry --------------------------------------------------------------

constexpr wchar_t kMachineKey[] = L"SOFTWARE\\Brenmoor\\Corvanta";
constexpr wchar_t kSharedKey[] = L".DEFAULT\\SOFTWARE\\Brenmoor\\Corvanta";


void setDword(HKEY root, const std::wstring& path, const wchar_t* name, int value) {
  HKEY key;
  if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return;
  if (value < 0) {
    RegDeleteValueW(key, name);
  } else {
    const DWORD data = static_cast<DWORD>(value);
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data));
  }
  RegCloseKey(key);
}

}  // namespace

corvanta_lm::PortFunctions* portMonitor() { return &g_portMonitor; }

void resetPortMonitor() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_records.clear();
  g_openPorts = 0;
  g_failError = 0;
  g_failCount = 0;
  g_failOpen = false;
}

void failPortWrites(DWORD error, int count) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_failError = error;
  g_failCount = count;
}

void watchOverlaps(DWORD delayMs) {
  if (delayMs) g_mostActive = 0;
  InterlockedExchange(&g_callDelayMs, static_cast<LONG>(delayMs));
}
int mostCallsAtOnce() { return static_cast<int>(g_mostActive); }

void failOpen(bool fail) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_failOpen = fail;
}

PortRecord portRecord(const std::wstring& port) {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (auto it = g_records.rbegin(); it != g_records.rend(); ++it)
    if ((*it)->port == port) return **it;
  return PortRecord{};
}

int xcvCalls() { return static_cast<int>(g_xcvCalls); }

const OriginalMonitorStats* originalMonitorStats() {
  HMODULE module = GetModuleHandleW(L"OriginalLM.dll");
  if (!module) return nullptr;
  auto stats = corvanta_lm::procAddress<const OriginalMonitorStats* (*)()>(module, "OriginalMonitorStats");
  return stats ? stats() : nullptr;
}

const PluginStats* pluginStats(const wchar_t* dll) {
  HMODULE module = GetModuleHandleW(dll);
  if (!module) return nullptr;
  auto get = corvanta_lm::procAddress<const PluginStats* (*)()>(module, "CopyPluginStats");
  return get ? get() : nullptr;
}

int openPorts() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_openPorts;
}

void installSpooler(const std::vector<Printer>& printers, DWORD platformId) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_printers = printers;
    g_controls.clear();
    g_platformId = platformId;
  }
  corvanta_lm::SystemCalls& calls = corvanta_lm::systemCalls();
  calls.platformId = fakePlatformId;
  calls.openPrinterW = fakeOpenPrinterW;
  calls.closePrinter = fakeClosePrinter;
  calls.getPrinterDriverW = fakeGetPrinterDriverW;
  calls.enumPrintersW = fakeEnumPrintersW;
  calls.enumJobsW = fakeEnumJobsW;
  calls.getJobW = fakeGetJobW;
  calls.setJobW = fakeSetJobW;
}

void setJobStatus(const std::wstring& printer, DWORD status) {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (Printer& p : g_printers)
    if (p.name == printer) p.jobStatus = status;
}

std::vector<JobControl> jobControls() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_controls;
}

std::wstring driverKeyPath(const Printer& printer) {
  wchar_t version[32];
  swprintf(version, 32, L"Version-%u\\", static_cast<unsigned>(printer.version));
  return L"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\" + printer.environment + L"\\Drivers\\" +
         (g_platformId == VER_PLATFORM_WIN32_NT ? std::wstring(version) : std::wstring()) + printer.driver;
}

void setDriverMonitor(const Printer& printer, const wchar_t* monitorName) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, driverKeyPath(printer).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return;
  RegSetValueExW(key, L"Monitor", 0, REG_SZ, reinterpret_cast<const BYTE*>(monitorName),
                 static_cast<DWORD>((wcslen(monitorName) + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

std::wstring setMonitorKey(const wchar_t* monitorName, const wchar_t* originalDriver) {
  const std::wstring path = std::wstring(L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\") + monitorName;
  HKEY key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return path;
  RegSetValueExW(key, L"Driver", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"CorvantaLM.dll"),
                 sizeof(L"CorvantaLM.dll"));
  if (originalDriver)
    RegSetValueExW(key, L"OriginalDriver", 0, REG_SZ, reinterpret_cast<const BYTE*>(originalDriver),
                   static_cast<DWORD>((wcslen(originalDriver) + 1) * sizeof(wchar_t)));
  else
    RegDeleteValueW(key, L"OriginalDriver");
  RegCloseKey(key);
  return path;
}

void setManufacturer(const char* printer, int makerCode) {
  setDword(HKEY_LOCAL_MACHINE, std::wstring(kMachineKey) + L"\\" + wide(printer), L"Manufacturer", makerCode);
}

void setPrinterValue(const char* printer, const char* valueName, int value) {
  setDword(HKEY_USERS, std::wstring(kSharedKey) + L"\\" + wide(printer), wide(valueName).c_str(), value);
}

int printerValue(const char* printer, const char* valueName) {
  DWORD data = 0, bytes = sizeof(data);
  const std::wstring path = std::wstring(kSharedKey) + L"\\" + wide(printer);
  if (RegGetValueW(HKEY_USERS, path.c_str(), wide(valueName).c_str(), RRF_RT_REG_DWORD, nullptr, &data, &bytes) !=
      ERROR_SUCCESS)
    return -1;
  return static_cast<int>(data);
}

void deletePrinterSettings(const char* printer) {
  RegDeleteKeyW(HKEY_USERS, (std::wstring(kSharedKey) + L"\\" + wide(printer)).c_str());
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, (std::wstring(kMachineKey) + L"\\" + wide(printer)).c_str());
}

}  // namespace spooler
