// CorvantaLM internals: the session and job records, the monitor table types
// and the seams tests use to stand in for the few winspool calls Wine's
// spooler cannot serve, and for the platform id.
#pragma once

#include <windows.h>
#include <winspool.h>

#include <cstdint>

#include "ParserContext.h"

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
  volatile uint32_t inCall;
  volatile uint32_t filter;
  uint32_t pluginIndex;  // which cached plug-in the running parse thread uses
};

// Handle the spooler holds for an Xcv open forwarded downstream.
struct XcvHandle {
  uint32_t signature;
  JobSession* session;
  HANDLE downstream;
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

// Plug-in table.
constexpr const wchar_t* kPluginNames[3] = {L"VaskHP.dll", L"VaskCA.dll", L"VaskEP.dll"};
constexpr int pluginIndexFor(int makerCode) { return makerCode >= 0 && makerCode <= 2 ? makerCode : 0; }
HMODULE cachedPlugin(int index);

}  // namespace corvanta_lm
