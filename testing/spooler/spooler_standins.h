// Stand-ins for the parts of the print path this machine cannot have: a port
// monitor that records every call and byte and can fail writes with printer
// errors, and a small spooler behind the few winspool calls the language
// monitor makes (Wine's spooler keeps no jobs for a monitor driven directly
// and cannot report a job as being deleted). The registry stays real.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "monitor_internal.h"

namespace spooler {

// What the port monitor saw on one port handle.
struct PortRecord {
  std::wstring port;
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> writeSizes;
  int startDocs = 0;
  int endDocs = 0;
  int closes = 0;
  int reads = 0;
  int failedWrites = 0;
  std::vector<DWORD> controlIds;
};

// Recording port monitor: a 17-slot table of plain functions.
corvanta_lm::PortFunctions* portMonitor();
void resetPortMonitor();
// The next `count` writes of any port fail with `error` (count < 0: all of them).
void failPortWrites(DWORD error, int count);
void failOpen(bool fail);
// While delayMs is nonzero, each write, read and Xcv data call takes that long
// and mostCallsAtOnce() tells how many were ever in progress together.
void watchOverlaps(DWORD delayMs);
int mostCallsAtOnce();
PortRecord portRecord(const std::wstring& port);  // latest handle opened on that port
int openPorts();                                  // handles opened and not closed
int xcvCalls();                                   // Xcv open, data and close calls that reached the port monitor

// What passed through the original language monitor stand-in (OriginalLM.dll).
struct OriginalMonitorStats {
  LONG ntInits, nineXInits, opens, startDocs, writes, bytes, endDocs, closes;
};
// Null while OriginalLM.dll is not loaded.
const OriginalMonitorStats* originalMonitorStats();

// What the copy plug-in stand-in (VaskHP.dll, VaskCA.dll) was handed.
struct PluginStats {
  LONG loads;
  LONG jobs;
  int8_t calibrationFlag;
  int16_t blackKeepPercent;
  int16_t colorKeepPercent;
  char printerName[64];
};
// Null while that plug-in is not loaded.
const PluginStats* pluginStats(const wchar_t* dll);

// The spooler's printers and jobs as the winspool seam reports them.
struct Printer {
  std::wstring name;
  std::wstring port;
  std::wstring driver;
  std::wstring environment = L"Windows NT x86";
  DWORD version = 3;
  std::vector<DWORD> jobs;
  DWORD jobStatus = 0;  // status every job of the printer reports
};
struct JobControl {
  std::wstring printer;
  DWORD jobId;
  DWORD command;
};
void installSpooler(const std::vector<Printer>& printers, DWORD platformId = VER_PLATFORM_WIN32_NT);
void setJobStatus(const std::wstring& printer, DWORD status);
std::vector<JobControl> jobControls();

// Registry set-up: the driver's monitor name, a monitor key with OriginalDriver,
// the product's per-printer settings (a negative value deletes it).
std::wstring driverKeyPath(const Printer& printer);
void setDriverMonitor(const Printer& printer, const wchar_t* monitorName);
std::wstring setMonitorKey(const wchar_t* monitorName, const wchar_t* originalDriver);
void setManufacturer(const char* printer, int makerCode);
void setPrinterValue(const char* printer, const char* valueName, int value);
int printerValue(const char* printer, const char* valueName);  // -1 when missing
void deletePrinterSettings(const char* printer);

}  // namespace spooler
