// Throughput of whole jobs through the language monitor, each next to the same
// job passed through, measured in the same run under Wine. Both paths end
// every WritePort with the monitor's 1 ms sleep.
//   copy plug-in: a 16 MB job through a plug-in that copies its input
//   HP plug-in:   a real HP job (repeated to about 16 MB) through VaskHP at the
//                 default levels (25 % black, 25 % colour saved)
// The program sits in a folder with the real VaskHP.dll and its libraries and
// the copy plug-in under the Canon name, so the maker code picks the plug-in.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "monitor_internal.h"
#include "spooler_standins.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kJobBytes = 16u << 20;
constexpr DWORD kWriteBytes = 16384;
constexpr wchar_t kPort[] = L"LPT1:";

struct Run {
  double mbPerSecond = 0;
  bool ok = false;
  Bytes output;
};

Run runJob(const corvanta_lm::PortFunctions& lm, const wchar_t* printer, const Bytes& job, DWORD jobId) {
  spooler::resetPortMonitor();
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  HANDLE port = nullptr;
  wchar_t document[] = L"Bench page";
  DOC_INFO_1W info = {document, nullptr, nullptr};
  bool ok = lm.openPortEx(const_cast<LPWSTR>(kPort), const_cast<LPWSTR>(printer), &port, spooler::portMonitor()) &&
            lm.startDocPort(port, const_cast<LPWSTR>(printer), jobId, 1, reinterpret_cast<LPBYTE>(&info));
  for (size_t at = 0; ok && at < job.size(); at += kWriteBytes) {
    const DWORD size = static_cast<DWORD>(job.size() - at < kWriteBytes ? job.size() - at : kWriteBytes);
    DWORD written = 0;
    ok = lm.writePort(port, const_cast<LPBYTE>(job.data() + at), size, &written) && written == size;
  }
  ok = ok && lm.endDocPort(port) && lm.closePort(port);
  QueryPerformanceCounter(&end);
  const double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
  Run run;
  run.mbPerSecond = double(job.size()) / (1024.0 * 1024.0) / seconds;
  run.ok = ok;
  run.output = spooler::portRecord(kPort).bytes;
  return run;
}

// The job filtered (InkReduction 1) and passed through (0); prints one line.
bool compare(const corvanta_lm::PortFunctions& lm, const wchar_t* printer, const char* store, const Bytes& job,
             const char* label, bool expectSameBytes) {
  spooler::setPrinterValue(store, "InkReduction", 1);
  const Run filtered = runJob(lm, printer, job, 1);
  spooler::setPrinterValue(store, "InkReduction", 0);
  const Run passed = runJob(lm, printer, job, 2);
  const bool exact = passed.output == job && (!expectSameBytes || filtered.output == job);
  const bool ok = filtered.ok && passed.ok && exact && !filtered.output.empty();
  printf("%-34s %8.1f MB/s, passed through %8.1f MB/s, ratio %5.2f%s\n", label, filtered.mbPerSecond,
         passed.mbPerSecond, filtered.mbPerSecond / passed.mbPerSecond, ok ? "" : "  (JOB FAILED OR OUTPUT DIFFERS)");
  return ok;
}

Bytes readFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

int main(int argc, char** argv) {
  spooler::Printer copy, hp;
  copy.name = L"Bench Copy";
  hp.name = L"Bench HP";
  copy.port = hp.port = kPort;
  copy.driver = hp.driver = L"Bench Driver";
  copy.jobs = hp.jobs = {1, 2};
  spooler::installSpooler({copy, hp});
  const std::wstring key = spooler::setMonitorKey(L"Bench LM", nullptr);
  spooler::setDriverMonitor(copy, L"Bench LM");
  corvanta_lm::MonitorTable* table = corvanta_lm::initializePrintMonitor(const_cast<LPWSTR>(key.c_str()));
  if (!table) return 1;
  spooler::setManufacturer("Bench Copy", 1);  // the copy plug-in sits under the Canon name
  spooler::setManufacturer("Bench HP", 0);
  for (const char* store : {"Bench Copy", "Bench HP"}) {
    for (const char* name : {"BlackLevel", "ColorLevel"}) spooler::setPrinterValue(store, name, 25);
    spooler::setPrinterValue(store, "PrintCalibrationPage", 0);
  }

  Bytes job(kJobBytes);
  uint32_t seed = 7;
  for (uint8_t& byte : job) byte = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
  printf("%u-byte writes\n", static_cast<unsigned>(kWriteBytes));
  bool ok = compare(table->functions, L"Bench Copy", "Bench Copy", job, "copy plug-in, 16 MB:", true);

  const Bytes sample = argc > 1 ? readFile(argv[1]) : Bytes();
  if (sample.empty()) {
    printf("HP plug-in: no sample job given\n");
  } else {
    Bytes hpJob;
    while (hpJob.size() < kJobBytes) hpJob.insert(hpJob.end(), sample.begin(), sample.end());
    // The first job builds the printer's threshold files; it is not measured.
    spooler::setPrinterValue("Bench HP", "InkReduction", 1);
    runJob(table->functions, L"Bench HP", sample, 1);
    char label[64];
    snprintf(label, sizeof(label), "HP plug-in, %.1f MB, 25 %%/25 %%:", hpJob.size() / (1024.0 * 1024.0));
    ok = compare(table->functions, L"Bench HP", "Bench HP", hpJob, label, false) && ok;
  }
  for (const char* store : {"Bench Copy", "Bench HP"}) spooler::deletePrinterSettings(store);
  return ok ? 0 : 1;
}
