// CorvantaLM internals: the session and job records, the monitor table types
// and the seams tests use to stand in for the few winspool calls Wine's
// spooler cannot serve, and for the platform id.
#pragma once

#include <windows.h>
#include <winspool.h>

#include <cstdint>

#include "ParserContext.h"
#include "platform.h"

namespace corvanta_lm {

// The spooler's port operations in its slot order (17 entries).
struct PortFunctions {
  void* enumPorts;
  BOOL(WINAPI* openPort)(LPWSTR name, PHANDLE handle);
  BOOL(WINAPI* openPortEx)(LPWSTR portName, LPWSTR printerName, PHANDLE handle, void* portMonitor);
  BOOL(WINAPI* startDocPort)(HANDLE port, LPWSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo);
  BOOL(WINAPI* writePort)(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD written);
  BOOL(WINAPI* readPort)(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD read);
  BOOL(WINAPI* endDocPort)(HANDLE port);
  BOOL(WINAPI* closePort)(HANDLE port);
  void* addPort;
  void* addPortEx;
  void* configurePort;
  void* deletePort;
  BOOL(WINAPI* getPrinterDataFromPort)(HANDLE port, DWORD controlId, LPWSTR valueName, LPWSTR inBuffer,
                                       DWORD inSize, LPWSTR outBuffer, DWORD outSize, LPDWORD returned);
  void* setPortTimeOuts;
  BOOL(WINAPI* xcvOpenPort)(LPCWSTR object, ACCESS_MASK access, PHANDLE xcv);
  DWORD(WINAPI* xcvDataPort)(HANDLE xcv, LPCWSTR dataName, PBYTE input, DWORD inputSize, PBYTE output,
                             DWORD outputSize, PDWORD needed);
  BOOL(WINAPI* xcvClosePort)(HANDLE xcv);
};
static_assert(sizeof(PortFunctions) == 17 * sizeof(void*), "17 port operations");

// MONITOREX shape: size word, then the 17 operations.
struct MonitorTable {
  DWORD size;
  PortFunctions functions;
};

using InitializePrintMonitorFunction = MonitorTable*(WINAPI*)(LPWSTR registryRoot);
using InitializeMonitorExFunction = BOOL(WINAPI*)(LPWSTR registryRoot, PortFunctions* functions);

constexpr uint32_t kSessionSignature = 0xBEEF;
constexpr uint32_t kXcvSignature = 0x58435648;  // handle of a forwarded Xcv open

enum JobState : uint32_t { kJobNew = 1, kJobPassThrough = 2, kJobFiltered = 3 };

struct ChainedMonitor {
  ChainedMonitor* next;
  MonitorTable* monitor;
  wchar_t* name;
};

struct JobEntry {
  JobEntry* next;
  wchar_t* printerName;
  uint32_t jobId;
  uint32_t state;
  uint32_t started;
};

struct JobSession {
  uint32_t signature;
  JobSession* next;
  JobEntry* jobs;
  wchar_t* portName;
  uint32_t chained;
  HANDLE downstream;
  ParserContext parse;
  volatile uint32_t threadStarted;
  uint32_t bufferSized;
  PortFunctions table;
  volatile LONG inCall;  // 1 while a downstream call of this session runs (see DownstreamCall)
  volatile uint32_t filter;
  uint32_t pluginIndex;  // which cached plug-in the running parse thread uses
};

// Handle the spooler holds for an Xcv open forwarded downstream. It keeps the
// downstream Xcv entries, so it stays usable (and closable) after ClosePort
// has freed its session; session is then null.
struct XcvHandle {
  uint32_t signature;
  XcvHandle* next;  // the list of live Xcv handles
  JobSession* session;
  HANDLE downstream;
  decltype(PortFunctions::xcvDataPort) xcvDataPort;
  decltype(PortFunctions::xcvClosePort) xcvClosePort;
};

// The operating-system calls tests may replace.
struct SystemCalls {
  DWORD (*platformId)();
  BOOL(WINAPI* getPrinterDriverW)(HANDLE, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD);
  BOOL(WINAPI* openPrinterW)(LPWSTR, LPHANDLE, LPPRINTER_DEFAULTSW);
  BOOL(WINAPI* closePrinter)(HANDLE);
  BOOL(WINAPI* enumPrintersW)(DWORD, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);
  BOOL(WINAPI* enumJobsW)(HANDLE, DWORD, DWORD, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);
  BOOL(WINAPI* getJobW)(HANDLE, DWORD, DWORD, LPBYTE, DWORD, LPDWORD);
  BOOL(WINAPI* setJobW)(HANDLE, DWORD, DWORD, LPBYTE, DWORD);
};
SystemCalls& systemCalls();
bool isNtPlatform();

// The monitor's own table and entry points (tests drive them directly).
MonitorTable* initializePrintMonitor(LPWSTR registryRoot);
void releasePlugins();
int runningParseThreads();

// Utility-job test of StartDocPort.
bool isUtilityJob(int makerCode, const wchar_t* documentName);

// An export looked up by name or ordinal, as the function type it has.
template <typename Function>
Function procAddress(HMODULE module, LPCSTR name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// ---- shared between the monitor's files ------------------------------------

// Locks, outermost first: the port lock, then the list lock.
CRITICAL_SECTION& listLock();
CRITICAL_SECTION& portLock();
void ensureLocks();

struct Guard {
  explicit Guard(CRITICAL_SECTION& lock) : lock_(lock) { EnterCriticalSection(&lock_); }
  ~Guard() { LeaveCriticalSection(&lock_); }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;
  CRITICAL_SECTION& lock_;
};

// The session list and the monitor list (guarded by the list lock).
extern JobSession* g_sessions;
extern ChainedMonitor* g_monitors;
extern XcvHandle* g_xcvHandles;

// The session behind a handle the spooler passes, found by address among the
// live sessions (a freed or foreign handle is never dereferenced); nullptr
// when it is none of them. Takes the list lock.
JobSession* liveSession(HANDLE handle);
// The same with the list lock already held.
JobSession* liveSessionLocked(HANDLE handle);

// One downstream call of a session at a time: the session's inCall flag is
// taken before the call and cleared after it; another call of the same
// session waits for it in 1 ms polls. It is taken last, after any monitor lock,
// and nothing is locked while it is held, so it never breaks the lock order.
bool tryEnterCall(JobSession* session);
class DownstreamCall {
 public:
  explicit DownstreamCall(JobSession* session);
  ~DownstreamCall();
  DownstreamCall(const DownstreamCall&) = delete;
  DownstreamCall& operator=(const DownstreamCall&) = delete;

 private:
  JobSession* session_;
};

// A downstream entry called with the session's downstream handle, one call of
// the session at a time. A missing entry is never called: FALSE with
// ERROR_INVALID_PARAMETER, as for an operation the downstream monitor lacks.
template <class Entry, class... Args>
BOOL callDownstream(JobSession* session, Entry PortFunctions::*entry, Args... args) {
  const Entry function = session->table.*entry;
  if (!function) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DownstreamCall call(session);
  return function(session->downstream, args...);
}

// Texts. Printer names for the settings store: the thread's ANSI code page on
// NT, unconverted on 9x; kStoreNameBytes holds any spooler printer name.
constexpr int kStoreNameBytes = static_cast<int>(kPrinterNameBufferSize);
void storeName(const wchar_t* printerName, char* out, int outBytes);
wchar_t* copyString(const wchar_t* text);
wchar_t* copySpoolerText(const wchar_t* text);
bool emptySpoolerText(const wchar_t* text);
void documentName(const wchar_t* text, wchar_t* out, int outChars);
void freeEntry(JobEntry* entry);

// A zero-filled record whose `name` field holds a copy of the spooler's text;
// nullptr when either allocation fails.
template <class Record>
Record* newRecordNamed(const wchar_t* text, wchar_t* Record::*name);

// Filtered jobs: the first-write decision, the pipes' tear-down (EndDocPort's
// preparation step) and the output buffer's write function.
void decideJob(JobSession* session, JobEntry* entry);
void tearDownPipes(JobSession* session, JobEntry* entry);
int WINAPI downstreamWrite(void* context, const uint8_t* bytes, uint32_t count, uint32_t* written);

// The Xcv operations, and the detaching of a closing session's Xcv handles.
BOOL WINAPI lmXcvOpenPort(LPCWSTR object, ACCESS_MASK access, PHANDLE xcv);
DWORD WINAPI lmXcvDataPort(HANDLE xcv, LPCWSTR dataName, PBYTE input, DWORD inputSize, PBYTE output,
                           DWORD outputSize, PDWORD needed);
BOOL WINAPI lmXcvClosePort(HANDLE xcv);
void detachXcvHandles(JobSession* session);  // list lock held

// The port operations' table.
extern MonitorTable g_table;

// Copies a downstream monitor table into a session: only the entries its size
// word covers (counted in entry points, as the spooler's MONITOREX does);
// the rest stay null.
void copyChainedTable(const MonitorTable* monitor, PortFunctions* out);

// Plug-in table.
constexpr const wchar_t* kPluginNames[3] = {L"VaskHP.dll", L"VaskCA.dll", L"VaskEP.dll"};
constexpr int pluginIndexFor(int makerCode) { return makerCode >= 0 && makerCode <= 2 ? makerCode : 0; }
HMODULE cachedPlugin(int index);

}  // namespace corvanta_lm

namespace corvanta_lm {
template <class Record>
Record* newRecordNamed(const wchar_t* text, wchar_t* Record::*name) {
  auto* record = static_cast<Record*>(platform::allocZeroed(sizeof(Record)));
  wchar_t* copy = record ? copySpoolerText(text) : nullptr;
  if (!copy) {
    platform::freeBlock(record);
    return nullptr;
  }
  record->*name = copy;
  return record;
}
}  // namespace corvanta_lm
