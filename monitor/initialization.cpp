// CorvantaLM's start: InitializePrintMonitor loads and initialises the
// printer's original language monitor and returns the monitor's own table.
// Also the process-wide state every port operation shares: the locks, the
// session and monitor lists, the platform test and the spooler's texts.
#include <cwchar>

#include "monitor_internal.h"
#include "platform.h"

namespace corvanta_lm {

JobSession* g_sessions = nullptr;
ChainedMonitor* g_monitors = nullptr;

namespace {

CRITICAL_SECTION g_listLock;
CRITICAL_SECTION g_portLock;
volatile LONG g_locksState = 0;  // 0 = not yet, 1 = being initialised, 2 = ready

constexpr DWORD kRegistryTextBytes = 255;

DWORD realPlatformId() {
  // The narrow call: the 9x family has GetVersionExW only with the Unicode layer.
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExA(&info)) return VER_PLATFORM_WIN32_NT;
#pragma GCC diagnostic pop
  return info.dwPlatformId;
}

SystemCalls g_systemCalls = {
    realPlatformId, GetPrinterDriverW, OpenPrinterW, ClosePrinter, EnumPrintersW, EnumJobsW, GetJobW, SetJobW,
};

}  // namespace

CRITICAL_SECTION& listLock() { return g_listLock; }
CRITICAL_SECTION& portLock() { return g_portLock; }

// Once per process, on every platform the monitor runs on (no one-time
// initialisation API on the 9x family).
void ensureLocks() {
  if (g_locksState == 2) return;
  if (InterlockedCompareExchange(&g_locksState, 1, 0) == 0) {
    InitializeCriticalSection(&g_listLock);
    InitializeCriticalSection(&g_portLock);
    InterlockedExchange(&g_locksState, 2);
    return;
  }
  while (g_locksState != 2) Sleep(0);
}

SystemCalls& systemCalls() { return g_systemCalls; }
bool isNtPlatform() { return g_systemCalls.platformId() == VER_PLATFORM_WIN32_NT; }

JobSession* liveSessionLocked(HANDLE handle) {
  if (!handle) return nullptr;
  for (JobSession* session = g_sessions; session; session = session->next)
    if (session == handle) return session->signature == kSessionSignature ? session : nullptr;
  return nullptr;
}

JobSession* liveSession(HANDLE handle) {
  if (!handle) return nullptr;
  ensureLocks();
  Guard list(g_listLock);
  return liveSessionLocked(handle);
}

bool tryEnterCall(JobSession* session) { return InterlockedCompareExchange(&session->inCall, 1, 0) == 0; }

DownstreamCall::DownstreamCall(JobSession* session) : session_(session) {
  while (!tryEnterCall(session_)) platform::sleepMs(1);
}
DownstreamCall::~DownstreamCall() { InterlockedExchange(&session_->inCall, 0); }

wchar_t* copyString(const wchar_t* text) {
  const size_t length = wcslen(text);
  auto* copy = static_cast<wchar_t*>(platform::allocZeroed((length + 1) * sizeof(wchar_t)));
  if (copy) memcpy(copy, text, length * sizeof(wchar_t));
  return copy;
}

// The spooler's texts: UTF-16 on NT, narrow on 9x. A narrow copy keeps its
// bytes and gets a whole UTF-16 terminator, so it is never read past its end.
wchar_t* copySpoolerText(const wchar_t* text) {
  if (isNtPlatform()) return copyString(text);
  const size_t bytes = strlen(reinterpret_cast<const char*>(text));
  auto* copy = static_cast<char*>(platform::allocZeroed(bytes + 4));
  if (copy) memcpy(copy, text, bytes);
  return reinterpret_cast<wchar_t*>(copy);
}

bool emptySpoolerText(const wchar_t* text) {
  return !text || (isNtPlatform() ? text[0] == 0 : reinterpret_cast<const char*>(text)[0] == 0);
}

// The document name for the utility-job lists, which are UTF-16.
void documentName(const wchar_t* text, wchar_t* out, int outChars) {
  out[0] = 0;
  if (!text) return;
  if (isNtPlatform()) {
    lstrcpynW(out, text, outChars);
  } else if (!MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(text), -1, out, outChars)) {
    out[0] = 0;
  }
  out[outChars - 1] = 0;
}

void storeName(const wchar_t* printerName, char* out, int outBytes) {
  out[0] = 0;
  if (!printerName) return;
  if (isNtPlatform()) {
    if (!WideCharToMultiByte(CP_THREAD_ACP, 0, printerName, -1, out, outBytes, nullptr, nullptr)) out[0] = 0;
    out[outBytes - 1] = 0;
  } else {
    lstrcpynA(out, reinterpret_cast<const char*>(printerName), outBytes);
  }
}

void freeEntry(JobEntry* entry) {
  platform::freeBlock(entry->printerName);
  platform::freeBlock(entry);
}

void copyChainedTable(const MonitorTable* monitor, PortFunctions* out) {
  *out = PortFunctions{};
  size_t entries = monitor->size / sizeof(void*);
  if (entries > sizeof(PortFunctions) / sizeof(void*)) entries = sizeof(PortFunctions) / sizeof(void*);
  memcpy(out, &monitor->functions, entries * sizeof(void*));
}

MonitorTable* initializePrintMonitor(LPWSTR registryRoot) {
  if (!registryRoot || registryRoot[0] == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  ensureLocks();
  auto* chained = static_cast<ChainedMonitor*>(platform::allocZeroed(sizeof(ChainedMonitor)));
  const wchar_t* slash = wcsrchr(registryRoot, L'\\');
  wchar_t* name = chained ? copyString(slash ? slash + 1 : registryRoot) : nullptr;
  if (!name) {
    platform::freeBlock(chained);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  chained->name = name;

  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, registryRoot, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    wchar_t driver[kRegistryTextBytes / sizeof(wchar_t) + 1] = {};
    DWORD bytes = kRegistryTextBytes - 1;
    DWORD type = 0;
    if (RegQueryValueExW(key, L"OriginalDriver", nullptr, &type, reinterpret_cast<BYTE*>(driver), &bytes) ==
            ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && driver[0]) {
      HMODULE original = LoadLibraryW(driver);  // kept for the life of the process
      if (original && isNtPlatform()) {
        auto init = procAddress<InitializePrintMonitorFunction>(original, "InitializePrintMonitor");
        if (init) chained->monitor = init(registryRoot);
      } else if (original) {
        auto init = procAddress<InitializeMonitorExFunction>(original, "InitializeMonitorEx");
        auto* table = init ? static_cast<MonitorTable*>(platform::allocZeroed(sizeof(MonitorTable))) : nullptr;
        if (table) {
          table->size = sizeof(MonitorTable) - sizeof(DWORD);  // 68 on the 32-bit build
          if (init(registryRoot, &table->functions))
            chained->monitor = table;
          else
            platform::freeBlock(table);
        }
      }
    }
    RegCloseKey(key);
  }
  {
    Guard list(g_listLock);
    chained->next = g_monitors;
    g_monitors = chained;
  }
  return &g_table;
}

}  // namespace corvanta_lm
