// CorvantaLM's port operations: the monitor table the spooler calls. Each
// session forwards to the printer's original language monitor or to the port
// monitor; a filtered job's writes go into its input pipe instead (see
// filtered_job.cpp).
#include <cwchar>

#include "CorvantaReg.h"
#include "VaskUtil.h"
#include "monitor_internal.h"
#include "platform.h"

namespace corvanta_lm {
namespace {

constexpr DWORD kRegistryTextBytes = 255;
constexpr DWORD kLastPageEjected = 7;  // JOB_CONTROL_LAST_PAGE_EJECTED
constexpr DWORD kCancelControlCode = 7;

// The chained monitor the printer's driver names in its "Monitor" value, if
// it was loaded; nullptr sends the session to the port monitor.
const MonitorTable* chainedMonitorFor(LPWSTR printerName) {
  const MonitorTable* table = nullptr;
  SystemCalls& calls = systemCalls();
  HANDLE printer = nullptr;
  if (!printerName || !calls.openPrinterW(printerName, &printer, nullptr)) return nullptr;
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
        Guard list(listLock());
        for (ChainedMonitor* m = g_monitors; m; m = m->next)
          if (lstrcmpiW(m->name, monitorName) == 0) {
            table = m->monitor;
            break;
          }
      }
      RegCloseKey(key);
    }
  }
  platform::freeBlock(info);
  calls.closePrinter(printer);
  return table;
}

void unlinkSession(JobSession* session) {
  for (JobSession** link = &g_sessions; *link; link = &(*link)->next)
    if (*link == session) {
      *link = session->next;
      break;
    }
}

void freeSession(JobSession* session) {
  session->signature = 0;
  platform::freeBlock(session->portName);
  platform::freeBlock(session);
}

BOOL forwardWrite(JobSession* session, LPBYTE buffer, DWORD size, LPDWORD written) {
  Guard port(portLock());
  const BOOL result = callDownstream(session, &PortFunctions::writePort, buffer, size, written);
  const DWORD error = GetLastError();
  platform::sleepMs(1);
  SetLastError(error);
  return result;
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

// The job entry whose pipes are open, if any: the newest started, filtered one.
JobEntry* filteredEntry(JobSession* session) {
  for (JobEntry* entry = session->jobs; entry; entry = entry->next)
    if (entry->started && entry->state == kJobFiltered) return entry;
  return nullptr;
}

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
    Guard list(listLock());
    for (JobSession* s = g_sessions; s; s = s->next)
      if (lstrcmpiW(s->portName, portName) == 0) {
        SetLastError(ERROR_BUSY);
        return FALSE;
      }
    session = newRecordNamed(portName, &JobSession::portName);
    if (!session) {
      SetLastError(ERROR_INVALID_PARAMETER);  // the spooler knows only the codes of its interface
      return FALSE;
    }
    session->signature = kSessionSignature;
    session->filter = 1;
    session->next = g_sessions;
    g_sessions = session;
  }

  // The driver's "Monitor" value says whether a chained monitor serves the printer.
  const MonitorTable* chained = chainedMonitorFor(printerName);
  session->chained = chained ? 1 : 0;
  if (chained)
    copyChainedTable(chained, &session->table);
  else
    session->table = *portMonitor;
  *handleOut = session;

  BOOL result = FALSE;
  {
    DownstreamCall call(session);
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
      Guard list(listLock());
      unlinkSession(session);
    }
    freeSession(session);
    *handleOut = nullptr;
    SetLastError(error);
  }
  return result;
}

BOOL WINAPI lmStartDocPort(HANDLE handle, LPWSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo) {
  JobSession* session = liveSession(handle);
  if (!session || !docInfo || emptySpoolerText(printerName)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Guard port(portLock());
  Guard list(listLock());
  JobEntry* entry = newRecordNamed(printerName, &JobEntry::printerName);
  if (!entry) {
    SetLastError(ERROR_INVALID_PARAMETER);  // the spooler knows only the codes of its interface
    return FALSE;
  }
  entry->jobId = jobId;
  entry->state = kJobNew;
  entry->next = session->jobs;
  session->jobs = entry;

  const BOOL result = callDownstream(session, &PortFunctions::startDocPort, printerName, jobId, level, docInfo);
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
  JobSession* session = liveSession(handle);
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
      Guard port(portLock());
      platform::sleepMs(1);
      SetLastError(error);
      return FALSE;
    }
    if (InBuffer_writebytes(session->parse.inputPipe, buffer, static_cast<int32_t>(size)) != kInBufferFull) break;
  }
  Guard port(portLock());
  platform::sleepMs(1);
  return TRUE;
}

BOOL WINAPI lmReadPort(HANDLE handle, LPBYTE buffer, DWORD size, LPDWORD read) {
  JobSession* session = liveSession(handle);
  if (!session) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (session->filter) return FALSE;
  return callDownstream(session, &PortFunctions::readPort, buffer, size, read);
}

BOOL WINAPI lmEndDocPort(HANDLE handle) {
  JobSession* session = liveSession(handle);
  if (!session) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  JobEntry* entry = session->jobs;
  if (entry && entry->started && entry->state == kJobFiltered) tearDownPipes(session, entry);

  Guard port(portLock());
  const BOOL result = callDownstream(session, &PortFunctions::endDocPort);
  const DWORD error = GetLastError();
  if (entry) {
    if (!session->chained) completeJob(session, entry);
    Guard list(listLock());
    if (session->jobs == entry) {
      session->jobs = entry->next;
      freeEntry(entry);
    }
  }
  SetLastError(error);
  return result;
}

BOOL WINAPI lmClosePort(HANDLE handle) {
  JobSession* session = liveSession(handle);
  if (!session) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // A filtered job still running is ended first, so no parse thread is left
  // reading a freed session.
  if (JobEntry* running = session->parse.inputPipe ? filteredEntry(session) : nullptr)
    tearDownPipes(session, running);
  Guard port(portLock());
  session->threadStarted = 0;
  BOOL result;
  DWORD error;
  {
    // The session leaves the list while its turn is held, so an Xcv call
    // either finished before or finds it gone.
    DownstreamCall call(session);
    if (session->table.closePort) {
      result = session->table.closePort(session->downstream);
    } else {
      SetLastError(ERROR_INVALID_PARAMETER);
      result = FALSE;
    }
    error = GetLastError();
    Guard list(listLock());
    unlinkSession(session);
    detachXcvHandles(session);
    while (JobEntry* entry = session->jobs) {
      session->jobs = entry->next;
      freeEntry(entry);
    }
  }
  platform::freeBlock(session->parse.printerName);
  session->parse.printerName = nullptr;
  freeSession(session);
  SetLastError(error);
  return result;
}

BOOL WINAPI lmGetPrinterDataFromPort(HANDLE handle, DWORD controlId, LPWSTR valueName, LPWSTR inBuffer,
                                     DWORD inSize, LPWSTR outBuffer, DWORD outSize, LPDWORD returned) {
  JobSession* session = liveSession(handle);
  if (!session || !session->table.getPrinterDataFromPort) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Guard port(portLock());
  JobEntry* entry = session->jobs;
  if (controlId == kCancelControlCode && entry && entry->started && entry->state == kJobFiltered &&
      session->threadStarted && session->parse.outputBuffer)
    OutBuffer_CancelPrint(session->parse.outputBuffer);
  return callDownstream(session, &PortFunctions::getPrinterDataFromPort, controlId, valueName, inBuffer, inSize,
                        outBuffer, outSize, returned);
}

}  // namespace

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

}  // namespace corvanta_lm
