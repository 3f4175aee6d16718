// Original language monitor stand-in: the printer's own monitor that the
// language monitor chains to through OriginalDriver. It forwards each port
// operation to the port monitor it is given and counts what passes through.
// It offers both the NT entry (InitializePrintMonitor) and the 9x one
// (InitializeMonitorEx).
#include <windows.h>

#include "monitor_internal.h"
#include "spooler_standins.h"

using corvanta_lm::MonitorTable;
using corvanta_lm::PortFunctions;

namespace {

spooler::OriginalMonitorStats g_stats;

struct Port {
  PortFunctions* portMonitor;
  HANDLE inner;
};

Port* port(HANDLE handle) { return static_cast<Port*>(handle); }

BOOL WINAPI olOpenPortEx(LPWSTR portName, LPWSTR, PHANDLE handle, void* portMonitorRaw) {
  auto* portMonitor = static_cast<PortFunctions*>(portMonitorRaw);
  auto* p = new Port{portMonitor, nullptr};
  if (!portMonitor->openPort(portName, &p->inner)) {
    const DWORD error = GetLastError();
    delete p;
    SetLastError(error);
    return FALSE;
  }
  InterlockedIncrement(&g_stats.opens);
  *handle = p;
  return TRUE;
}

BOOL WINAPI olStartDocPort(HANDLE h, LPWSTR printer, DWORD jobId, DWORD level, LPBYTE info) {
  InterlockedIncrement(&g_stats.startDocs);
  return port(h)->portMonitor->startDocPort(port(h)->inner, printer, jobId, level, info);
}

BOOL WINAPI olWritePort(HANDLE h, LPBYTE buffer, DWORD size, LPDWORD written) {
  InterlockedIncrement(&g_stats.writes);
  const BOOL ok = port(h)->portMonitor->writePort(port(h)->inner, buffer, size, written);
  if (ok) InterlockedExchangeAdd(&g_stats.bytes, static_cast<LONG>(*written));
  return ok;
}

BOOL WINAPI olReadPort(HANDLE h, LPBYTE buffer, DWORD size, LPDWORD read) {
  return port(h)->portMonitor->readPort(port(h)->inner, buffer, size, read);
}

BOOL WINAPI olEndDocPort(HANDLE h) {
  InterlockedIncrement(&g_stats.endDocs);
  return port(h)->portMonitor->endDocPort(port(h)->inner);
}

BOOL WINAPI olClosePort(HANDLE h) {
  InterlockedIncrement(&g_stats.closes);
  const BOOL ok = port(h)->portMonitor->closePort(port(h)->inner);
  delete port(h);
  return ok;
}

BOOL WINAPI olGetPrinterDataFromPort(HANDLE h, DWORD controlId, LPWSTR valueName, LPWSTR in, DWORD inSize,
                                     LPWSTR out, DWORD outSize, LPDWORD returned) {
  return port(h)->portMonitor->getPrinterDataFromPort(port(h)->inner, controlId, valueName, in, inSize, out, outSize,
                                                      returned);
}

const PortFunctions kFunctions = {
    nullptr,      nullptr,     olOpenPortEx, olStartDocPort, olWritePort, olReadPort, olEndDocPort, olClosePort,
    nullptr,      nullptr,     nullptr,      nullptr,        olGetPrinterDataFromPort, nullptr, nullptr, nullptr,
    nullptr};
MonitorTable g_table = {sizeof(MonitorTable), kFunctions};

}  // namespace

extern "C" {

MonitorTable* WINAPI InitializePrintMonitor(LPWSTR) {
  InterlockedIncrement(&g_stats.ntInits);
  return &g_table;
}

BOOL WINAPI InitializeMonitorEx(LPWSTR, PortFunctions* functions) {
  InterlockedIncrement(&g_stats.nineXInits);
  *functions = kFunctions;
  return TRUE;
}

const spooler::OriginalMonitorStats* OriginalMonitorStats(void) { return &g_stats; }

}  // extern "C"
