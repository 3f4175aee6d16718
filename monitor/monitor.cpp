// CorvantaLM: the language monitor. It stands in the spooler's print path
// under the name of a printer's original language monitor, forwards every port
// operation to that monitor (or to the port monitor) and, for a filtered job,
// streams the spooler's bytes through a parser plug-in on a thread of its own.
#include <cstddef>
#include <cwchar>

#include "CorvantaReg.h"
#include "VaskUtil.h"
#include "monitor_internal.h"
#include "platform.h"

namespace corvanta_lm {
namespace {

// Locks: the port lock is always taken before the list lock.
CRITICAL_SECTION g_listLock;
CRITICAL_SECTION g_portLock;
INIT_ONCE g_locksOnce = INIT_ONCE_STATIC_INIT;

ChainedMonitor* g_monitors = nullptr;
JobSession* g_sessions = nullptr;

HMODULE g_plugins[3] = {};
volatile LONG g_runningThreads = 0;  // parse threads that have not yet returned from parseFile
HMODULE g_selfReference = nullptr;   // the module holding this code (the monitor DLL, or a test program)

constexpr DWORD kRegistryTextBytes = 255;
constexpr int kStoreNameBytes = 256;        // printer names for the settings store at StartDocPort
constexpr int kDecisionNameBytes = 199;     // printer names at the first-write decision
constexpr DWORD kJobStatusDeleting = 0x4;   // JOB_STATUS_DELETING
constexpr DWORD kLastPageEjected = 7;       // JOB_CONTROL_LAST_PAGE_EJECTED
constexpr DWORD kCancelControlCode = 7;

BOOL CALLBACK initLocks(PINIT_ONCE, PVOID, PVOID*) {
  InitializeCriticalSection(&g_listLock);
  InitializeCriticalSection(&g_portLock);
  return TRUE;
}
void ensureLocks() { InitOnceExecuteOnce(&g_locksOnce, initLocks, nullptr, nullptr); }

struct Guard {
  explicit Guard(CRITICAL_SECTION* lock) : lock_(lock) { EnterCriticalSection(lock_); }
  ~Guard() { LeaveCriticalSection(lock_); }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;
  CRITICAL_SECTION* lock_;
};

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

// A zero-filled record whose `name` field holds a copy of the spooler's text;
// nullptr when either allocation fails.
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

DWORD WINAPI realPlatformId() {
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof(info);  // 276 bytes
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExW(&info)) return VER_PLATFORM_WIN32_NT;
#pragma GCC diagnostic pop
  return info.dwPlatformId;
}
DWORD platformIdThunk() { return realPlatformId(); }

// Printer name for the settings store: the thread's ANSI code page on NT; on
// 9x the spooler's text is already narrow and passes unconverted.
void storeName(const wchar_t* printerName, char* out, int outBytes) {
  out[0] = 0;
  if (!printerName) return;
  if (isNtPlatform()) {
    if (!WideCharToMultiByte(CP_THREAD_ACP, 0, printerName, -1, out, outBytes, nullptr, nullptr))
      out[0] = 0;
    out[outBytes - 1] = 0;
  } else {
    lstrcpynA(out, reinterpret_cast<const char*>(printerName), outBytes);
  }
}

JobSession* validSession(HANDLE handle) {
  auto* session = static_cast<JobSession*>(handle);
  if (!session || session->signature != kSessionSignature) return nullptr;
  return session;
}

// Brackets one downstream call of a session.
struct InCall {
  explicit InCall(JobSession* session) : session_(session) { session_->inCall = 1; }
  ~InCall() { session_->inCall = 0; }
  JobSession* session_;
};

int WINAPI downstreamWrite(void* context, const uint8_t* bytes, uint32_t count, uint32_t* written);

// Releases a filtered job's pipes: end of input, wait for the parse thread,
// final flush (giving up at the first error while the job is being deleted).
void tearDownPipes(JobSession* session, JobEntry* entry) {
  if (entry && session->parse.calibrationFlag > 0) {
    char name[kStoreNameBytes];
    storeName(entry->printerName, name, sizeof(name));
    SetPrintCalibrationPage(name, session->parse.calibrationFlag == 2 ? 3 : 0);
  }
  if (session->parse.inputPipe) InBuffer_terminate(session->parse.inputPipe);

  int deleting = 0;
  if (entry) {
    const DWORD savedError = GetLastError();
    HANDLE printer = nullptr;
    SystemCalls& calls = systemCalls();
    if (calls.openPrinterW(entry->printerName, &printer, nullptr)) {
      DWORD needed = 0;
      calls.getJobW(printer, entry->jobId, 1, nullptr, 0, &needed);
      if (needed > 0) {
        auto* info = static_cast<BYTE*>(platform::allocZeroed(needed));
        if (info && calls.getJobW(printer, entry->jobId, 1, info, needed, &needed))
          deleting = (reinterpret_cast<JOB_INFO_1W*>(info)->Status & kJobStatusDeleting) ? 1 : 0;
        platform::freeBlock(info);
      }
      calls.closePrinter(printer);
    }
    SetLastError(savedError);
  }
  if (session->parse.outputBuffer) OutBuffer_terminate(session->parse.outputBuffer, deleting);

  Guard list(&g_listLock);
  session->threadStarted = 0;
  session->parse.inputPipe = nullptr;
  session->parse.outputBuffer = nullptr;
}

void freeEntry(JobEntry* entry) {
  platform::freeBlock(entry->printerName);
  platform::freeBlock(entry);
}

// The parse thread: the plug-in's parseFile, counted as running until it has
// returned. A plug-in may still run after it has handed the job back (VaskCA
// waits a second), so the thread holds a reference on this library for its
// whole life and leaves through FreeLibraryAndExitThread: unloading the
// monitor then cannot take its code, or the plug-in's (released at detach only
// once no thread runs), from under the thread.
void parseThread(void* parse) {
  const JobSession* session =
      reinterpret_cast<const JobSession*>(static_cast<char*>(parse) - offsetof(JobSession, parse));
  // The session may be freed once the plug-in has finished the job: read it first.
  const auto parseFile = procAddress<ParseFileFunction>(g_plugins[session->pluginIndex], "parseFile");
  parseFile(parse);
  InterlockedDecrement(&g_runningThreads);
  FreeLibraryAndExitThread(g_selfReference, 0);
}

// Starts the plug-in of the printer's maker on a new thread; 1 when it runs.
int startParseThread(const char* printerName, JobSession* session) {
  if (session->threadStarted) return 0;
  session->threadStarted = 1;
  const int index = pluginIndexFor(GetManufacturer(printerName));
  HMODULE module = g_plugins[index];
  if (!module) {
    module = LoadLibraryW(kPluginNames[index]);
    if (module) {
      HMODULE previous = static_cast<HMODULE>(
          InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&g_plugins[index]), module, nullptr));
      if (previous) {
        FreeLibrary(module);
        module = previous;
      }
    }
  }
  auto parseFile = module ? procAddress<ParseFileFunction>(module, "parseFile") : nullptr;
  if (!parseFile) {
    session->threadStarted = 0;
    return 0;
  }
  session->pluginIndex = static_cast<uint32_t>(index);
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&parseThread), &self)) {
    session->threadStarted = 0;
    return 0;
  }
  g_selfReference = self;
  InterlockedIncrement(&g_runningThreads);
  if (!platform::startThread(parseThread, &session->parse)) {
    InterlockedDecrement(&g_runningThreads);
    FreeLibrary(self);
    session->threadStarted = 0;
    return 0;
  }
  return 1;
}

// Calls the dialog's ordinal 1 through a frame that restores the stack
// pointer itself, so the call is sound whether the export pops its argument or not.
__attribute__((noinline, optimize("no-omit-frame-pointer"))) void callPrompt(void* function,
                                                                            const char* printerName) {
  reinterpret_cast<void (*)(const char*)>(function)(printerName);
}

// Per-job dialog: loaded for one call; the user may change the settings.
void offerJobDialog(const char* printerName) {
  HMODULE prompt = LoadLibraryW(L"JobPrompt.dll");
  OutputDebugStringW(L"Loading the JobPrompt.dll\n");
  if (!prompt) {
    OutputDebugStringW(L"JobPrompt.dll could not be loaded\n");
    return;
  }
  auto prompt1 = procAddress<void*>(prompt, MAKEINTRESOURCEA(1));
  if (prompt1) callPrompt(prompt1, printerName);
  FreeLibrary(prompt);
}

// Frees pipes no plug-in reads: the output is cancelled, the input closed.
void discardPipes(void* input, void* output) {
  if (output) OutBuffer_terminate(output, 1);
  if (input) {
    InBuffer_threadDone(input);
    InBuffer_terminate(input);
  }
}

// Creates the pipes and starts the plug-in; false leaves the job to pass through.
bool startFiltering(JobSession* session, const char* printerName) {
  void* input = InBuffer_initialize();
  void* output = input ? OutBuffer_initialize(downstreamWrite, session) : nullptr;
  char* nameBuffer = output ? static_cast<char*>(platform::allocZeroed(kPrinterNameBufferSize)) : nullptr;
  if (!nameBuffer) {
    discardPipes(input, output);
    return false;
  }
  const int colorLevel = GetColorLevel(printerName);
  const int blackLevel = GetBlackLevel(printerName);
  session->parse.colorKeepPercent = static_cast<int16_t>(colorLevel == -1 ? 101 : 100 - colorLevel);
  session->parse.blackKeepPercent = static_cast<int16_t>(blackLevel == -1 ? 101 : 100 - blackLevel);
  session->threadStarted = 0;
  session->bufferSized = 0;
  lstrcpynA(nameBuffer, printerName, kPrinterNameBufferSize);
  platform::freeBlock(session->parse.printerName);
  session->parse.printerName = nameBuffer;
  session->parse.inputPipe = input;
  session->parse.outputBuffer = output;
  if (!startParseThread(printerName, session)) {
    // Nobody would read the pipe: the job goes through unfiltered.
    discardPipes(input, output);
    session->parse.inputPipe = nullptr;
    session->parse.outputBuffer = nullptr;
    return false;
  }
  while (!*static_cast<void* volatile*>(&session->parse.inputPipe)) platform::sleepMs(1);
  return true;
}

// First write of a job: filter it or pass it through.
void decideJob(JobSession* session, JobEntry* entry) {
  char name[kDecisionNameBytes + 1] = {};
  storeName(entry->printerName, name, kDecisionNameBytes);
  const int calibration = GetPrintCalibrationPage(name);
  session->parse.calibrationFlag = 0;
  uint32_t filter = 0;
  if (calibration != -1) {
    session->parse.calibrationFlag = static_cast<int8_t>(calibration & 0xFF);
    if (session->parse.calibrationFlag != 0) {
      filter = 1;
    } else {
      offerJobDialog(name);
      filter = GetInkReduction(name) != 0 ? 1 : 0;
    }
  }
  entry->started = 1;

  if (filter) {
    // An older filtered job whose EndDocPort never came is ended now.
    JobEntry* stale = nullptr;
    {
      Guard list(&g_listLock);
      for (JobEntry** link = &entry->next; *link; link = &(*link)->next) {
        if ((*link)->state == kJobFiltered) {
          stale = *link;
          *link = stale->next;
          break;
        }
      }
    }
    if (stale) {
      const int8_t flag = session->parse.calibrationFlag;
      session->parse.calibrationFlag = 0;  // the stale job's write-back already belongs to this decision
      tearDownPipes(session, nullptr);
      session->parse.calibrationFlag = flag;
      freeEntry(stale);
    }
    if (!startFiltering(session, name)) filter = 0;
  }
  session->filter = filter;
  entry->state = filter ? kJobFiltered : kJobPassThrough;
}

BOOL forwardWrite(JobSession* session, LPBYTE buffer, DWORD size, LPDWORD written) {
  Guard port(&g_portLock);
  BOOL result;
  {
    InCall call(session);
    result = session->table.writePort(session->downstream, buffer, size, written);
  }
  const DWORD error = GetLastError();
  platform::sleepMs(1);
  SetLastError(error);
  return result;
}

// ---- port operations -------------------------------------------------------

BOOL WINAPI lmOpenPortEx(LPWSTR portName, LPWSTR printerName, PHANDLE handleOut, void* portMonitorRaw) {
  auto* portMonitor = static_cast<PortFunctions*>(portMonitorRaw);
  if (!portMonitor || !(portMonitor->openPort || portMonitor->openPortEx) || !portMonitor->startDocPort ||
      !portMonitor->writePort || !portMonitor->readPort || !portMonitor->closePort) {
    SetLastError(ERROR_INVALID_PRINT_MONITOR);
    return FALSE;
  }
  if (!portName || !handleOut) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ensureLocks();
  JobSession* session;
  {
    Guard list(&g_listLock);
    for (JobSession* s = g_sessions; s; s = s->next)
      if (lstrcmpiW(s->portName, portName) == 0) {
        SetLastError(ERROR_BUSY);
        return FALSE;
      }
    session = newRecordNamed(portName, &JobSession::portName);
    if (!session) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return FALSE;
    }
    session->signature = kSessionSignature;
    session->filter = 1;
    session->next = g_sessions;
    g_sessions = session;
  }

  // The driver's "Monitor" value says whether a chained monitor serves the printer.
  const PortFunctions* table = nullptr;
  SystemCalls& calls = systemCalls();
  HANDLE printer = nullptr;
  if (printerName && calls.openPrinterW(printerName, &printer, nullptr)) {
    DWORD needed = 0;
    calls.getPrinterDriverW(printer, nullptr, 3, nullptr, 0, &needed);
    auto* info = needed ? static_cast<BYTE*>(platform::allocZeroed(needed)) : nullptr;
    if (info && calls.getPrinterDriverW(printer, nullptr, 3, info, needed, &needed)) {
      auto* driver = reinterpret_cast<DRIVER_INFO_3W*>(info);
      wchar_t path[1024];
      if (isNtPlatform())
        _snwprintf(path, 1023, L"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\%ls\\Drivers\\Version-%u\\%ls",
                   driver->pEnvironment ? driver->pEnvironment : L"", driver->cVersion,
                   driver->pName ? driver->pName : L"");
      else
        _snwprintf(path, 1023, L"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\%ls\\Drivers\\%ls",
                   driver->pEnvironment ? driver->pEnvironment : L"", driver->pName ? driver->pName : L"");
      path[1023] = 0;
      HKEY key;
      if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr) ==
          ERROR_SUCCESS) {
        wchar_t monitorName[kRegistryTextBytes / sizeof(wchar_t) + 1] = {};
        DWORD bytes = kRegistryTextBytes - 1;
        DWORD type = 0;
        if (RegQueryValueExW(key, L"Monitor", nullptr, &type, reinterpret_cast<BYTE*>(monitorName), &bytes) ==
                ERROR_SUCCESS &&
            type == REG_SZ) {
          Guard list(&g_listLock);
          for (ChainedMonitor* m = g_monitors; m; m = m->next)
            if (lstrcmpiW(m->name, monitorName) == 0) {
              if (m->monitor) table = &m->monitor->functions;
              break;
            }
        }
        RegCloseKey(key);
      }
    }
    platform::freeBlock(info);
    calls.closePrinter(printer);
  }
  session->chained = table ? 1 : 0;
  session->table = table ? *table : *portMonitor;
  *handleOut = session;

  BOOL result = FALSE;
  {
    InCall call(session);
    if (session->chained && session->table.openPortEx)
      result = session->table.openPortEx(portName, printerName, &session->downstream, portMonitorRaw);
    else if (!session->chained && portMonitor->openPort)
      result = portMonitor->openPort(portName, &session->downstream);
    else if (!session->chained)
      result = portMonitor->openPortEx(portName, printerName, &session->downstream, portMonitorRaw);
    else
      SetLastError(ERROR_INVALID_PRINT_MONITOR);
  }
  if (!result) {
    // No session stays behind a port that could not be opened.
    const DWORD error = GetLastError();
    {
      Guard list(&g_listLock);
      for (JobSession** link = &g_sessions; *link; link = &(*link)->next)
        if (*link == session) {
          *link = session->next;
          break;
        }
    }
    session->signature = 0;
    platform::freeBlock(session->portName);
    platform::freeBlock(session);
    *handleOut = nullptr;
    SetLastError(error);
  }
  return result;
}

BOOL WINAPI lmStartDocPort(HANDLE handle, LPWSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo) {
  JobSession* session = validSession(handle);
  if (!session || !docInfo || emptySpoolerText(printerName)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Guard port(&g_portLock);
  Guard list(&g_listLock);
  JobEntry* entry = newRecordNamed(printerName, &JobEntry::printerName);
  if (!entry) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  entry->jobId = jobId;
  entry->state = kJobNew;
  entry->next = session->jobs;
  session->jobs = entry;

  BOOL result;
  {
    InCall call(session);
    result = session->table.startDocPort(session->downstream, printerName, jobId, level, docInfo);
  }
  const DWORD error = GetLastError();
  char name[kStoreNameBytes];
  storeName(printerName, name, sizeof(name));
  wchar_t document[512];
  documentName(reinterpret_cast<const DOC_INFO_1W*>(docInfo)->pDocName, document, 512);
  if (isUtilityJob(GetManufacturer(name), document)) entry->state = kJobPassThrough;
  if (!result) {
    session->jobs = entry->next;
    freeEntry(entry);
  }
  SetLastError(error);
  return result;
}

BOOL WINAPI lmWritePort(HANDLE handle, LPBYTE buffer, DWORD size, LPDWORD written) {
  JobSession* session = validSession(handle);
  if (!session || !written || (!buffer && size)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  JobEntry* entry = session->jobs;
  if (entry && entry->state == kJobNew) decideJob(session, entry);
  if (!entry || !entry->started || entry->state != kJobFiltered) return forwardWrite(session, buffer, size, written);

  if (!session->bufferSized && size > 0) {
    OutBuffer_setBufferSize(session->parse.outputBuffer, size);
    session->bufferSized = 1;
  }
  *written = size;
  for (;;) {
    const uint32_t error = OutBuffer_GetLastError(session->parse.outputBuffer);
    if (error) {
      *written = 0;
      SetLastError(error);
      return FALSE;
    }
    if (InBuffer_writebytes(session->parse.inputPipe, buffer, static_cast<int32_t>(size)) != kInBufferFull) break;
  }
  Guard port(&g_portLock);
  platform::sleepMs(1);
  return TRUE;
}

int WINAPI downstreamWrite(void* context, const uint8_t* bytes, uint32_t count, uint32_t* written) {
  auto* session = static_cast<JobSession*>(context);
  BOOL result;
  DWORD error;
  {
    Guard port(&g_portLock);
    Guard list(&g_listLock);
    *written = 0;
    if (OutBuffer_GetWriteFunctionPtr(session->parse.outputBuffer)) {
      InCall call(session);
      DWORD done = 0;
      result = session->table.writePort(session->downstream, const_cast<LPBYTE>(bytes), count, &done);
      *written = done;
    } else {
      *written = count;  // output cancelled: dropped
      result = TRUE;
    }
    error = GetLastError();
  }
  SetLastError(error);
  return result;
}

BOOL WINAPI lmReadPort(HANDLE handle, LPBYTE buffer, DWORD size, LPDWORD read) {
  JobSession* session = validSession(handle);
  if (!session) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (session->filter) return FALSE;
  InCall call(session);
  return session->table.readPort(session->downstream, buffer, size, read);
}

// Tells the spooler that a job finished when no original monitor will.
void completeJob(JobSession* session, JobEntry* entry) {
  SystemCalls& calls = systemCalls();
  DWORD needed = 0, count = 0;
  calls.enumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
  if (!needed) return;
  auto* printers = static_cast<BYTE*>(platform::allocZeroed(needed));
  if (printers && calls.enumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, printers, needed, &needed, &count)) {
    auto* info = reinterpret_cast<PRINTER_INFO_2W*>(printers);
    for (DWORD i = 0; i < count; ++i) {
      if (!info[i].pPortName || lstrcmpiW(info[i].pPortName, session->portName) != 0) continue;
      HANDLE printer = nullptr;
      if (!calls.openPrinterW(info[i].pPrinterName, &printer, nullptr)) continue;
      for (DWORD position = 0;; ++position) {
        DWORD jobBytes = 0, jobs = 0;
        calls.enumJobsW(printer, position, 1, 1, nullptr, 0, &jobBytes, &jobs);
        if (!jobBytes) break;
        auto* job = static_cast<BYTE*>(platform::allocZeroed(jobBytes));
        const bool got = job && calls.enumJobsW(printer, position, 1, 1, job, jobBytes, &jobBytes, &jobs) && jobs;
        if (got && reinterpret_cast<JOB_INFO_1W*>(job)->JobId == entry->jobId)
          calls.setJobW(printer, entry->jobId, 0, nullptr, kLastPageEjected);
        platform::freeBlock(job);
        if (!got) break;
      }
      calls.closePrinter(printer);
    }
  }
  platform::freeBlock(printers);
}

BOOL WINAPI lmEndDocPort(HANDLE handle) {
  JobSession* session = validSession(handle);
  if (!session) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  JobEntry* entry = session->jobs;
  if (entry && entry->started && entry->state == kJobFiltered) tearDownPipes(session, entry);

  Guard port(&g_portLock);
  BOOL result;
  {
    InCall call(session);
    result = session->table.endDocPort(session->downstream);
  }
  const DWORD error = GetLastError();
  if (entry) {
    if (!session->chained) completeJob(session, entry);
    Guard list(&g_listLock);
    if (session->jobs == entry) {
      session->jobs = entry->next;
      freeEntry(entry);
    }
  }
  SetLastError(error);
  return result;
}

BOOL WINAPI lmClosePort(HANDLE handle) {
  JobSession* session = validSession(handle);
  if (!session) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // A filtered job still running is ended first, so no parse thread is left
  // reading a freed session.
  if (session->parse.inputPipe) tearDownPipes(session, nullptr);
  Guard port(&g_portLock);
  session->threadStarted = 0;
  BOOL result;
  {
    InCall call(session);
    result = session->table.closePort(session->downstream);
  }
  const DWORD error = GetLastError();
  platform::freeBlock(session->parse.printerName);
  session->parse.printerName = nullptr;
  {
    Guard list(&g_listLock);
    for (JobSession** link = &g_sessions; *link; link = &(*link)->next)
      if (*link == session) {
        *link = session->next;
        break;
      }
    while (JobEntry* entry = session->jobs) {
      session->jobs = entry->next;
      freeEntry(entry);
    }
  }
  session->signature = 0;
  platform::freeBlock(session->portName);
  platform::freeBlock(session);
  SetLastError(error);
  return result;
}

BOOL WINAPI lmGetPrinterDataFromPort(HANDLE handle, DWORD controlId, LPWSTR valueName, LPWSTR inBuffer,
                                     DWORD inSize, LPWSTR outBuffer, DWORD outSize, LPDWORD returned) {
  JobSession* session = validSession(handle);
  if (!session || !session->table.getPrinterDataFromPort) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Guard port(&g_portLock);
  JobEntry* entry = session->jobs;
  if (controlId == kCancelControlCode && entry && entry->started && entry->state == kJobFiltered &&
      session->threadStarted && session->parse.outputBuffer)
    OutBuffer_CancelPrint(session->parse.outputBuffer);
  InCall call(session);
  return session->table.getPrinterDataFromPort(session->downstream, controlId, valueName, inBuffer, inSize, outBuffer,
                                               outSize, returned);
}

// The Xcv operations find the session in the handle the spooler passes in
// (for XcvOpenPort, the value its third argument points at) and hand back a
// small record of their own, so the later calls reach the same downstream.
BOOL WINAPI lmXcvOpenPort(LPCWSTR object, ACCESS_MASK access, PHANDLE xcv) {
  JobSession* session = xcv ? validSession(*xcv) : nullptr;
  if (!session || !session->table.xcvOpenPort) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto* record = static_cast<XcvHandle*>(platform::allocZeroed(sizeof(XcvHandle)));
  if (!record) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  record->signature = kXcvSignature;
  record->session = session;
  if (!session->table.xcvOpenPort(object, access, &record->downstream)) {
    const DWORD error = GetLastError();
    platform::freeBlock(record);
    SetLastError(error);
    return FALSE;
  }
  *xcv = record;
  return TRUE;
}

XcvHandle* validXcv(HANDLE handle) {
  auto* record = static_cast<XcvHandle*>(handle);
  if (!record || record->signature != kXcvSignature || !validSession(record->session)) return nullptr;
  return record;
}

DWORD WINAPI lmXcvDataPort(HANDLE xcv, LPCWSTR dataName, PBYTE input, DWORD inputSize, PBYTE output,
                           DWORD outputSize, PDWORD needed) {
  XcvHandle* record = validXcv(xcv);
  if (!record || !record->session->table.xcvDataPort) return ERROR_INVALID_PARAMETER;
  return record->session->table.xcvDataPort(record->downstream, dataName, input, inputSize, output, outputSize,
                                            needed);
}

BOOL WINAPI lmXcvClosePort(HANDLE xcv) {
  XcvHandle* record = validXcv(xcv);
  if (!record || !record->session->table.xcvClosePort) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const BOOL result = record->session->table.xcvClosePort(record->downstream);
  const DWORD error = GetLastError();
  record->signature = 0;
  platform::freeBlock(record);
  SetLastError(error);
  return result;
}

MonitorTable g_table = {
    sizeof(MonitorTable),  // 72 on the 32-bit build
    {
        nullptr,  // EnumPorts: the port monitor lists the ports
        nullptr,  // OpenPort: the spooler opens a language monitor with OpenPortEx
        lmOpenPortEx,
        lmStartDocPort,
        lmWritePort,
        lmReadPort,
        lmEndDocPort,
        lmClosePort,
        nullptr,  // AddPort: ports belong to the port monitor
        nullptr,  // AddPortEx: ports belong to the port monitor
        nullptr,  // ConfigurePort: ports belong to the port monitor
        nullptr,  // DeletePort: ports belong to the port monitor
        lmGetPrinterDataFromPort,
        nullptr,  // SetPortTimeOuts: left to the port monitor
        lmXcvOpenPort,
        lmXcvDataPort,
        lmXcvClosePort,
    }};

SystemCalls g_systemCalls = {
    platformIdThunk, GetPrinterDriverW, OpenPrinterW, ClosePrinter, EnumPrintersW, EnumJobsW, GetJobW, SetJobW,
};

}  // namespace

SystemCalls& systemCalls() { return g_systemCalls; }
bool isNtPlatform() { return g_systemCalls.platformId() == VER_PLATFORM_WIN32_NT; }
HMODULE cachedPlugin(int index) { return index >= 0 && index < 3 ? g_plugins[index] : nullptr; }
int runningParseThreads() { return static_cast<int>(g_runningThreads); }

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
    Guard list(&g_listLock);
    chained->next = g_monitors;
    g_monitors = chained;
  }
  return &g_table;
}

void releasePlugins() {
  // A module stays while a parse thread may still run in it.
  if (g_runningThreads != 0) return;
  for (HMODULE& module : g_plugins) {
    if (module) FreeLibrary(module);
    module = nullptr;
  }
}

}  // namespace corvanta_lm
