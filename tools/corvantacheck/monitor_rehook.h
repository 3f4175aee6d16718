// CorvantaCheck: after a minute's wait, makes the language monitor named by
// each configured printer's driver load CorvantaLM.dll again, keeping the
// monitor's previous DLL in OriginalDriver for CorvantaLM to chain to.
#pragma once

namespace tools {

// Where the spooler keeps its monitors and what CorvantaLM reads there.
constexpr const char kMonitorsKey[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors";
constexpr const char kDriverValue[] = "Driver";
constexpr const char kOriginalDriverValue[] = "OriginalDriver";
constexpr const char kProductMonitorDll[] = "CorvantaLM.dll";
constexpr unsigned kRehookDelayMs = 60000;

// Hooks one monitor by its key name. Leaves it alone when its Driver value is
// missing, empty, not a string, longer than 260 bytes, or already names
// CorvantaLM.dll (in any letter case, with or without a folder).
void rehookMonitor(const char* monitorName);

// The whole program: the wait (platform::sleepMs), then every configured
// printer's monitor.
void rehookConfiguredPrinters();

}  // namespace tools
