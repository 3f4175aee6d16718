// The Xcv operations: XcvOpenPort finds the session in the handle its third
// argument points at and opens the downstream monitor's Xcv port; the handle
// the spooler gets back is a record of the monitor's own on a list of live Xcv
// handles, so the later calls are checked against that list before anything
// is dereferenced. A record keeps the downstream Xcv entries, so the calls
// still reach downstream after ClosePort has freed its session. While the
// session lives, each call waits its turn among the session's downstream calls.
#include "monitor_internal.h"
#include "platform.h"

namespace corvanta_lm {

XcvHandle* g_xcvHandles = nullptr;

namespace {


XcvHandle* liveXcvLocked(HANDLE handle) {
  for (XcvHandle* record = g_xcvHandles; record; record = record->next)
    if (record == handle) return record->signature == kXcvSignature ? record : nullptr;
  return nullptr;
}

// The live record behind handle with its session's turn taken (when it still
// has a session); nullptr for any other handle. The turn is only ever tried
// under the list lock, never waited for, so no lock is held while waiting.
XcvHandle* enterXcv(HANDLE handle) {
  if (!handle) return nullptr;
  ensureLocks();
  for (;;) {
    {
      Guard list(listLock());
      XcvHandle* record = liveXcvLocked(handle);
      if (!record) return nullptr;
      if (!record->session || tryEnterCall(record->session)) return record;
    }
    platform::sleepMs(1);
  }
}

void leaveXcv(XcvHandle* record) {
  if (record->session) InterlockedExchange(&record->session->inCall, 0);
}

}  // namespace

void detachXcvHandles(JobSession* session) {
  for (XcvHandle* record = g_xcvHandles; record; record = record->next)
    if (record->session == session) record->session = nullptr;
}

BOOL WINAPI lmXcvOpenPort(LPCWSTR object, ACCESS_MASK access, PHANDLE xcv) {
  JobSession* session = xcv ? liveSession(*xcv) : nullptr;
  if (!session || !session->table.xcvOpenPort) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto* record = static_cast<XcvHandle*>(platform::allocZeroed(sizeof(XcvHandle)));
  if (!record) {
    SetLastError(ERROR_INVALID_PARAMETER);  // the spooler knows only the codes of its interface
    return FALSE;
  }
  record->signature = kXcvSignature;
  record->session = session;
  record->xcvDataPort = session->table.xcvDataPort;
  record->xcvClosePort = session->table.xcvClosePort;
  BOOL opened;
  {
    DownstreamCall call(session);
    opened = session->table.xcvOpenPort(object, access, &record->downstream);
  }
  if (!opened) {
    const DWORD error = GetLastError();
    platform::freeBlock(record);
    SetLastError(error);
    return FALSE;
  }
  {
    Guard list(listLock());
    record->next = g_xcvHandles;
    g_xcvHandles = record;
  }
  *xcv = record;
  return TRUE;
}

DWORD WINAPI lmXcvDataPort(HANDLE xcv, LPCWSTR dataName, PBYTE input, DWORD inputSize, PBYTE output,
                           DWORD outputSize, PDWORD needed) {
  XcvHandle* record = enterXcv(xcv);
  if (!record) return ERROR_INVALID_PARAMETER;
  const DWORD result =
      record->xcvDataPort
          ? record->xcvDataPort(record->downstream, dataName, input, inputSize, output, outputSize, needed)
          : ERROR_INVALID_PARAMETER;
  leaveXcv(record);
  return result;
}

BOOL WINAPI lmXcvClosePort(HANDLE xcv) {
  XcvHandle* record = enterXcv(xcv);
  if (!record) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!record->xcvClosePort) {
    leaveXcv(record);
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const BOOL result = record->xcvClosePort(record->downstream);
  const DWORD error = GetLastError();
  {
    Guard list(listLock());
    leaveXcv(record);
    for (XcvHandle** link = &g_xcvHandles; *link; link = &(*link)->next)
      if (*link == record) {
        *link = record->next;
        break;
      }
  }
  record->signature = 0;
  platform::freeBlock(record);
  SetLastError(error);
  return result;
}

}  // namespace corvanta_lm
