// Throughput of a 16 MB job through the language monitor: filtered through the
// copy plug-in, and passed through, measured in the same run under Wine. Both
// paths end every WritePort with the monitor's 1 ms sleep.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "monitor_internal.h"
#include "spooler_standins.h"

namespace {

constexpr size_t kJobBytes = 16u << 20;
constexpr DWORD kWriteBytes = 16384;

double runJob(const corvanta_lm::PortFunctions& lm, const std::vector<uint8_t>& job, DWORD jobId, bool& exact) {
  spooler::resetPortMonitor();
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  HANDLE port = nullptr;
  wchar_t portName[] = L"LPT1:";
  wchar_t printer[] = L"Bench Printer";
  wchar_t document[] = L"Bench page";
  DOC_INFO_1W info = {document, nullptr, nullptr};
  bool ok = lm.openPortEx(portName, printer, &port, spooler::portMonitor()) &&
            lm.startDocPort(port, printer, jobId, 1, reinterpret_cast<LPBYTE>(&info));
  for (size_t at = 0; ok && at < job.size(); at += kWriteBytes) {
    DWORD written = 0;
    ok = lm.writePort(port, const_cast<LPBYTE>(job.data() + at), kWriteBytes, &written) && written == kWriteBytes;
  }
  ok = ok && lm.endDocPort(port) && lm.closePort(port);
  QueryPerformanceCounter(&end);
  exact = ok && spooler::portRecord(L"LPT1:").bytes == job;
  const double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
  return double(job.size()) / (1024.0 * 1024.0) / seconds;
}

}  // namespace

int main() {
  spooler::Printer printer;
  printer.name = L"Bench Printer";
  printer.port = L"LPT1:";
  printer.driver = L"Bench Driver";
  printer.jobs = {1, 2};
  spooler::installSpooler({printer});
  const std::wstring key = spooler::setMonitorKey(L"Bench LM", nullptr);
  spooler::setDriverMonitor(printer, L"Bench LM");
  corvanta_lm::MonitorTable* table = corvanta_lm::initializePrintMonitor(const_cast<LPWSTR>(key.c_str()));
  if (!table) return 1;
  spooler::setManufacturer("Bench Printer", 0);
  for (const char* name : {"BlackLevel", "ColorLevel"}) spooler::setPrinterValue("Bench Printer", name, 25);
  spooler::setPrinterValue("Bench Printer", "PrintCalibrationPage", 0);

  std::vector<uint8_t> job(kJobBytes);
  uint32_t seed = 7;
  for (uint8_t& byte : job) byte = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);

  bool filteredExact = false, passExact = false;
  spooler::setPrinterValue("Bench Printer", "InkReduction", 1);
  const double filtered = runJob(table->functions, job, 1, filteredExact);
  spooler::setPrinterValue("Bench Printer", "InkReduction", 0);
  const double passed = runJob(table->functions, job, 2, passExact);
  spooler::deletePrinterSettings("Bench Printer");

  printf("16 MB job, %lu-byte writes\n", static_cast<unsigned long>(kWriteBytes));
  printf("filtered through the copy plug-in: %8.1f MB/s%s\n", filtered, filteredExact ? "" : "  (OUTPUT DIFFERS)");
  printf("passed through:                    %8.1f MB/s%s\n", passed, passExact ? "" : "  (OUTPUT DIFFERS)");
  printf("filtered / passed through:         %8.2f\n", filtered / passed);
  return filteredExact && passExact ? 0 : 1;
}
