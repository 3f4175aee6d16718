// Language monitor tests: the monitor core driven the way the spooler drives
// it, with a recording port monitor, the original-monitor, copy plug-in and
// per-job dialog stand-ins, and the real registry. Wine's spooler keeps no
// jobs for a monitor driven directly and cannot mark one as being deleted, so
// the printer, driver and job queries go through the winspool seam.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "CorvantaReg.h"
#include "monitor_internal.h"
#include "spooler_standins.h"
#include "bounded_thread.h"
#include "test_seams.h"

using corvanta_lm::MonitorTable;
using spooler::Printer;
using spooler::PluginStats;
using spooler::pluginStats;

namespace {

// A parse thread counts as running until it has returned from parseFile, a
// moment after EndDocPort returned; waits (bounded) for every one to end.
bool parseThreadsEnded() {
  for (int i = 0; i < 5000 && corvanta_lm::runningParseThreads() != 0; ++i) Sleep(1);
  return corvanta_lm::runningParseThreads() == 0;
}

// Runs fn on a thread of its own and waits at most limitMs for it; false when
// it was still running. A run that overstays is given `unblock` and then up to
// a further ten seconds, so a fault makes the test fail instead of hanging it.
template <class Fn>
bool finishesWithin(DWORD limitMs, Fn fn, std::function<void()> unblock = [] {}) {
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::thread worker([fn, done] {
    fn();
    *done = true;
  });
  const auto waitFor = [&](DWORD ms) {
    for (DWORD waited = 0; !*done && waited < ms; waited += 5) Sleep(5);
    return done->load();
  };
  const bool inTime = waitFor(limitMs);
  if (!inTime) unblock();
  if (inTime || waitFor(10000))
    worker.join();
  else
    worker.detach();
  return inTime;
}

int promptCalls() {
  char text[32] = {};
  GetEnvironmentVariableA("CORVANTA_TEST_PROMPT_CALLS", text, sizeof(text));
  return atoi(text);
}

std::vector<uint8_t> pattern(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    bytes[i] = static_cast<uint8_t>(seed >> 16);
  }
  return bytes;
}

const std::vector<Printer>& printers() {
  static const std::vector<Printer> list = {
      {L"HP Test", L"LPT1:", L"HP Driver", L"Windows NT x86", 3, {11, 12, 13}},
      {L"Canon Test", L"LPT2:", L"Canon Driver", L"Windows NT x86", 3, {21}},
      {L"Odd Maker", L"LPT3:", L"Odd Driver", L"Windows NT x86", 3, {31, 32}},
      {L"Epson Test", L"LPT4:", L"Epson Driver", L"Windows NT x86", 3, {41}},
      {L"Chained Printer", L"LPT5:", L"Chained Driver", L"Windows NT x86", 3, {51}},
      {L"Broken Chain", L"LPT6:", L"Broken Driver", L"Windows NT x86", 3, {61}},
      {L"No Settings", L"LPT7:", L"HP Driver", L"Windows NT x86", 3, {71}},
  };
  return list;
}

class MonitorTest : public testing::Test {
 protected:
  static MonitorTable* table_;

  static void SetUpTestSuite() {
    spooler::installSpooler(printers());
    const std::wstring chained = spooler::setMonitorKey(L"Test Original LM", L"OriginalLM.dll");
    const std::wstring broken = spooler::setMonitorKey(L"Broken LM", L"Missing Monitor.dll");
    const std::wstring plain = spooler::setMonitorKey(L"Plain LM", nullptr);
    table_ = corvanta_lm::initializePrintMonitor(const_cast<LPWSTR>(chained.c_str()));
    corvanta_lm::initializePrintMonitor(const_cast<LPWSTR>(broken.c_str()));
    corvanta_lm::initializePrintMonitor(const_cast<LPWSTR>(plain.c_str()));
    for (const Printer& p : printers()) spooler::setDriverMonitor(p, L"Plain LM");
    spooler::setDriverMonitor(printers()[4], L"test original lm");
    spooler::setDriverMonitor(printers()[5], L"Broken LM");
  }

  void SetUp() override {
    spooler::installSpooler(printers());
    spooler::resetPortMonitor();
    SetEnvironmentVariableA("CORVANTA_TEST_PROMPT", nullptr);
    SetEnvironmentVariableA("CORVANTA_TEST_PROMPT_CALLS", "0");
    const char* names[] = {"HP Test", "Canon Test", "Odd Maker", "Epson Test", "Chained Printer", "Broken Chain"};
    const int makers[] = {0, 1, 7, 2, 0, 0};
    for (int i = 0; i < 6; ++i) configure(names[i], makers[i], 1, 0);
    spooler::deletePrinterSettings("No Settings");
    spooler::setManufacturer("No Settings", 0);
  }

  static void configure(const char* printer, int maker, int reduction, int calibration) {
    spooler::setManufacturer(printer, maker);
    spooler::setPrinterValue(printer, "InkReduction", reduction);
    spooler::setPrinterValue(printer, "PrintCalibrationPage", calibration);
    spooler::setPrinterValue(printer, "BlackLevel", 25);
    spooler::setPrinterValue(printer, "ColorLevel", 40);
  }

  const corvanta_lm::PortFunctions& lm() { return table_->functions; }

  HANDLE open(const wchar_t* port, const wchar_t* printer) {
    HANDLE handle = nullptr;
    SetLastError(0xdeadbeef);
    const BOOL ok = lm().openPortEx(const_cast<LPWSTR>(port), const_cast<LPWSTR>(printer), &handle,
                                    spooler::portMonitor());
    EXPECT_TRUE(ok) << "OpenPortEx " << GetLastError();
    return handle;
  }

  BOOL startDoc(HANDLE port, const wchar_t* printer, DWORD jobId, const wchar_t* document = L"Report") {
    DOC_INFO_1W info = {const_cast<LPWSTR>(document), nullptr, nullptr};
    return lm().startDocPort(port, const_cast<LPWSTR>(printer), jobId, 1, reinterpret_cast<LPBYTE>(&info));
  }

  // Writes `data` in writes of `chunk` bytes; every write must succeed in full.
  void writeAll(HANDLE port, const std::vector<uint8_t>& data, size_t chunk) {
    for (size_t at = 0; at < data.size(); at += chunk) {
      const DWORD size = static_cast<DWORD>(std::min(chunk, data.size() - at));
      DWORD written = 0;
      SetLastError(0xdeadbeef);
      ASSERT_TRUE(lm().writePort(port, const_cast<LPBYTE>(data.data() + at), size, &written))
          << "WritePort at " << at << ": " << GetLastError();
      ASSERT_EQ(size, written);
    }
  }

  void printJob(const wchar_t* port, const wchar_t* printer, DWORD jobId, const std::vector<uint8_t>& data,
                size_t chunk, const wchar_t* document = L"Report") {
    HANDLE handle = open(port, printer);
    ASSERT_TRUE(startDoc(handle, printer, jobId, document));
    writeAll(handle, data, chunk);
    EXPECT_TRUE(lm().endDocPort(handle));
    EXPECT_TRUE(lm().closePort(handle));
  }
};
MonitorTable* MonitorTest::table_ = nullptr;

TEST_F(MonitorTest, TableHasTheSpoolerSlotsAndRejectsBadPaths) {
  ASSERT_NE(nullptr, table_);
  EXPECT_EQ(sizeof(DWORD) + 17 * sizeof(void*) + (sizeof(void*) == 8 ? 4 : 0), table_->size);
  if (sizeof(void*) == 4) {
    EXPECT_EQ(72u, table_->size);
  }
  EXPECT_EQ(nullptr, lm().enumPorts);
  EXPECT_EQ(nullptr, lm().openPort);
  EXPECT_EQ(nullptr, lm().addPort);
  EXPECT_EQ(nullptr, lm().deletePort);
  EXPECT_EQ(nullptr, lm().setPortTimeOuts);
  EXPECT_NE(nullptr, lm().xcvDataPort);

  SetLastError(0xdeadbeef);
  EXPECT_EQ(nullptr, corvanta_lm::initializePrintMonitor(nullptr));
  EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
  SetLastError(0xdeadbeef);
  EXPECT_EQ(nullptr, corvanta_lm::initializePrintMonitor(const_cast<LPWSTR>(L"")));
  EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
  const spooler::OriginalMonitorStats* original = spooler::originalMonitorStats();
  ASSERT_NE(nullptr, original) << "OriginalDriver was not loaded";
  EXPECT_GE(original->ntInits, 1);
}

TEST_F(MonitorTest, EntryPointsRejectForeignHandles) {
  uint32_t notASession[64] = {0xBEEE};
  DWORD count = 0;
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(startDoc(nullptr, L"HP Test", 1));
  EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(lm().writePort(notASession, reinterpret_cast<LPBYTE>(notASession), 4, &count));
  EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(lm().endDocPort(notASession));
  EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(lm().closePort(nullptr));
  EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());

  HANDLE port = open(L"LPT1:", L"HP Test");
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(lm().startDocPort(port, const_cast<LPWSTR>(L"HP Test"), 1, 1, nullptr));
  EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(startDoc(port, L"", 1));
  EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_TRUE(lm().closePort(port));
}

TEST_F(MonitorTest, XcvCallsReachTheSessionsDownstream) {
  HANDLE port = open(L"LPT1:", L"HP Test");
  const int before = spooler::xcvCalls();
  HANDLE xcv = port;
  ASSERT_TRUE(lm().xcvOpenPort(L",XcvPort LPT1:", SERVER_ACCESS_ADMINISTER, &xcv));
  EXPECT_NE(port, xcv);
  DWORD needed = 99;
  EXPECT_EQ(DWORD(ERROR_SUCCESS), lm().xcvDataPort(xcv, L"MonitorUI", nullptr, 0, nullptr, 0, &needed));
  EXPECT_TRUE(lm().xcvClosePort(xcv));
  EXPECT_EQ(before + 3, spooler::xcvCalls());

  // Handles that are not the monitor's are refused.
  uint32_t foreign[16] = {};
  HANDLE bogus = foreign;
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(lm().xcvOpenPort(L",XcvPort LPT1:", 0, &bogus));
  EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), lm().xcvDataPort(foreign, L"x", nullptr, 0, nullptr, 0, &needed));
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(lm().xcvClosePort(foreign));
  EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_TRUE(lm().closePort(port));

  // A chained original monitor without Xcv operations: refused, nothing forwarded.
  port = open(L"LPT5:", L"Chained Printer");
  xcv = port;
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(lm().xcvOpenPort(L",XcvPort LPT5:", 0, &xcv));
  EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_TRUE(lm().closePort(port));
}

TEST_F(MonitorTest, OpenPortExRefusesIncompleteMonitorsAndBusyPorts) {
  corvanta_lm::PortFunctions incomplete = *spooler::portMonitor();
  incomplete.readPort = nullptr;
  HANDLE handle = nullptr;
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(lm().openPortEx(const_cast<LPWSTR>(L"LPT1:"), const_cast<LPWSTR>(L"HP Test"), &handle, &incomplete));
  EXPECT_EQ(DWORD(ERROR_INVALID_PRINT_MONITOR), GetLastError());

  HANDLE port = open(L"LPT1:", L"HP Test");
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(lm().openPortEx(const_cast<LPWSTR>(L"lpt1:"), const_cast<LPWSTR>(L"HP Test"), &handle,
                               spooler::portMonitor()));
  EXPECT_EQ(DWORD(ERROR_BUSY), GetLastError());
  EXPECT_TRUE(lm().closePort(port));

  // A port the port monitor cannot open leaves no session behind.
  spooler::failOpen(true);
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(lm().openPortEx(const_cast<LPWSTR>(L"LPT1:"), const_cast<LPWSTR>(L"HP Test"), &handle,
                               spooler::portMonitor()));
  EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), GetLastError());
  spooler::failOpen(false);
  port = open(L"LPT1:", L"HP Test");
  EXPECT_TRUE(lm().closePort(port));
}

TEST_F(MonitorTest, UnchainedDriverForwardsToThePortMonitorAndEjectsTheLastPage) {
  const auto data = pattern(20000, 1);
  configure("HP Test", 0, 0, 0);  // reduction off: pass-through
  printJob(L"LPT1:", L"HP Test", 12, data, 5000);
  const spooler::PortRecord record = spooler::portRecord(L"LPT1:");
  EXPECT_EQ(data, record.bytes);
  EXPECT_EQ((std::vector<uint32_t>{5000, 5000, 5000, 5000}), record.writeSizes);
  EXPECT_EQ(1, record.startDocs);
  EXPECT_EQ(1, record.endDocs);
  EXPECT_EQ(1, record.closes);
  const auto controls = spooler::jobControls();
  ASSERT_EQ(1u, controls.size());
  EXPECT_EQ(L"HP Test", controls[0].printer);
  EXPECT_EQ(12u, controls[0].jobId);
  EXPECT_EQ(7u, controls[0].command);
}

TEST_F(MonitorTest, ChainedDriverGoesThroughTheOriginalMonitor) {
  const spooler::OriginalMonitorStats* original = spooler::originalMonitorStats();
  ASSERT_NE(nullptr, original);
  const spooler::OriginalMonitorStats before = *original;
  const auto data = pattern(9000, 2);
  configure("Chained Printer", 0, 0, 0);
  printJob(L"LPT5:", L"Chained Printer", 51, data, 3000);
  EXPECT_EQ(before.opens + 1, original->opens);
  EXPECT_EQ(before.writes + 3, original->writes);
  EXPECT_EQ(before.endDocs + 1, original->endDocs);
  EXPECT_EQ(data, spooler::portRecord(L"LPT5:").bytes);
  EXPECT_TRUE(spooler::jobControls().empty()) << "the original monitor completes its own jobs";
}

TEST_F(MonitorTest, BrokenOriginalDriverFallsBackToThePortMonitor) {
  const spooler::OriginalMonitorStats before = *spooler::originalMonitorStats();
  const auto data = pattern(4000, 3);
  configure("Broken Chain", 0, 0, 0);
  printJob(L"LPT6:", L"Broken Chain", 61, data, 4000);
  EXPECT_EQ(before.opens, spooler::originalMonitorStats()->opens);
  EXPECT_EQ(data, spooler::portRecord(L"LPT6:").bytes);
  ASSERT_EQ(1u, spooler::jobControls().size());
  EXPECT_EQ(61u, spooler::jobControls()[0].jobId);
}

TEST_F(MonitorTest, UtilityJobPassesByteForByteWithoutPipeOrThread) {
  const PluginStats* stats = pluginStats(L"VaskHP.dll");
  const LONG jobsBefore = stats ? stats->jobs : 0;
  const auto data = pattern(30000, 4);
  printJob(L"LPT1:", L"HP Test", 11, data, 7000, L"Clean");
  const spooler::PortRecord record = spooler::portRecord(L"LPT1:");
  EXPECT_EQ(data, record.bytes);
  EXPECT_EQ((std::vector<uint32_t>{7000, 7000, 7000, 7000, 2000}), record.writeSizes);
  stats = pluginStats(L"VaskHP.dll");
  EXPECT_EQ(jobsBefore, stats ? stats->jobs : 0);
  EXPECT_EQ(0, promptCalls()) << "no dialog for a utility job";
  EXPECT_TRUE(parseThreadsEnded());
}

TEST_F(MonitorTest, FilteredJobArrivesByteExactInBlocksOfTheFirstWrite) {
  const auto data = pattern(3 * 1024 * 1024 + 777, 5);
  printJob(L"LPT1:", L"HP Test", 13, data, 8192);
  const spooler::PortRecord record = spooler::portRecord(L"LPT1:");
  ASSERT_EQ(data.size(), record.bytes.size());
  EXPECT_TRUE(data == record.bytes);
  ASSERT_FALSE(record.writeSizes.empty());
  for (size_t i = 0; i + 1 < record.writeSizes.size(); ++i) ASSERT_EQ(8192u, record.writeSizes[i]) << i;
  const PluginStats* stats = pluginStats(L"VaskHP.dll");
  ASSERT_NE(nullptr, stats);
  EXPECT_EQ(0, stats->calibrationFlag);
  EXPECT_EQ(75, stats->blackKeepPercent);
  EXPECT_EQ(60, stats->colorKeepPercent);
  EXPECT_STREQ("HP Test", stats->printerName);
  EXPECT_EQ(1, promptCalls());
  EXPECT_TRUE(parseThreadsEnded());
}

TEST_F(MonitorTest, UnreadableLevelsGiveKeepPercentage101) {
  spooler::setPrinterValue("Canon Test", "BlackLevel", -1);
  const auto data = pattern(5000, 6);
  printJob(L"LPT2:", L"Canon Test", 21, data, 5000);
  EXPECT_EQ(data, spooler::portRecord(L"LPT2:").bytes);
  const PluginStats* stats = pluginStats(L"VaskCA.dll");
  ASSERT_NE(nullptr, stats);
  EXPECT_EQ(101, stats->blackKeepPercent);
  EXPECT_EQ(60, stats->colorKeepPercent);
}

TEST_F(MonitorTest, CalibrationPagesAreFilteredWithoutDialogAndWrittenBack) {
  for (const auto& [stored, after] : {std::pair<int, int>{2, 3}, {1, 0}}) {
    configure("HP Test", 0, 0, stored);  // reduction off: a calibration page is filtered anyway
    const LONG jobsBefore = pluginStats(L"VaskHP.dll") ? pluginStats(L"VaskHP.dll")->jobs : 0;
    printJob(L"LPT1:", L"HP Test", 11, pattern(6000, 7), 6000);
    EXPECT_EQ(after, spooler::printerValue("HP Test", "PrintCalibrationPage")) << stored;
    ASSERT_NE(nullptr, pluginStats(L"VaskHP.dll"));
    EXPECT_EQ(jobsBefore + 1, pluginStats(L"VaskHP.dll")->jobs);
    EXPECT_EQ(stored, pluginStats(L"VaskHP.dll")->calibrationFlag);
  }
  EXPECT_EQ(0, promptCalls());
}

TEST_F(MonitorTest, UnreadableCalibrationValueIsNeverFilteredNorOfferedTheDialog) {
  spooler::setPrinterValue("No Settings", "InkReduction", -1);
  const LONG jobsBefore = pluginStats(L"VaskHP.dll") ? pluginStats(L"VaskHP.dll")->jobs : 0;
  const auto data = pattern(10000, 8);
  printJob(L"LPT7:", L"No Settings", 71, data, 2500);
  EXPECT_EQ(data, spooler::portRecord(L"LPT7:").bytes);
  EXPECT_EQ(4u, spooler::portRecord(L"LPT7:").writeSizes.size());
  EXPECT_EQ(0, promptCalls());
  EXPECT_EQ(jobsBefore, pluginStats(L"VaskHP.dll") ? pluginStats(L"VaskHP.dll")->jobs : 0);
}

TEST_F(MonitorTest, DialogTurningReductionOffPassesTheJobThrough) {
  SetEnvironmentVariableA("CORVANTA_TEST_PROMPT", "off");
  const auto data = pattern(12000, 9);
  printJob(L"LPT1:", L"HP Test", 11, data, 3000);
  EXPECT_EQ(1, promptCalls());
  EXPECT_EQ(0, spooler::printerValue("HP Test", "InkReduction"));
  EXPECT_EQ((std::vector<uint32_t>{3000, 3000, 3000, 3000}), spooler::portRecord(L"LPT1:").writeSizes);
  EXPECT_EQ(data, spooler::portRecord(L"LPT1:").bytes);
}

TEST_F(MonitorTest, ReadPortFollowsTheFilterDecision) {
  HANDLE port = open(L"LPT1:", L"HP Test");
  BYTE buffer[16];
  DWORD read = 99;
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(lm().readPort(port, buffer, sizeof(buffer), &read)) << "filter is 1 until a job decides";
  EXPECT_EQ(0xdeadbeefu, GetLastError());
  configure("HP Test", 0, 0, 0);
  ASSERT_TRUE(startDoc(port, L"HP Test", 11));
  writeAll(port, pattern(100, 10), 100);
  EXPECT_TRUE(lm().readPort(port, buffer, sizeof(buffer), &read));
  EXPECT_TRUE(lm().endDocPort(port));
  EXPECT_TRUE(lm().closePort(port));
  EXPECT_EQ(1, spooler::portRecord(L"LPT1:").reads);
}

TEST_F(MonitorTest, OutputBufferErrorFailsTheNextWrite) {
  HANDLE port = open(L"LPT1:", L"HP Test");
  ASSERT_TRUE(startDoc(port, L"HP Test", 11));
  spooler::failPortWrites(ERROR_GEN_FAILURE, -1);  // not a transient printer error: no retry
  const auto data = pattern(8192, 11);
  bool failed = false;
  for (int i = 0; i < 200 && !failed; ++i) {
    DWORD written = 99;
    SetLastError(0xdeadbeef);
    if (!lm().writePort(port, const_cast<LPBYTE>(data.data()), 8192, &written)) {
      failed = true;
      EXPECT_EQ(0u, written);
      EXPECT_EQ(DWORD(ERROR_GEN_FAILURE), GetLastError());
    } else {
      EXPECT_EQ(8192u, written);
    }
    if (!failed) Sleep(i < 10 ? 0 : 5);
  }
  EXPECT_TRUE(failed);
  {
    // The failing write too ends with the 1 ms sleep that hands over the processor.
    testing_seams::VirtualClock clock;
    DWORD written = 99;
    EXPECT_FALSE(lm().writePort(port, const_cast<LPBYTE>(data.data()), 8192, &written));
    EXPECT_EQ(1u, clock.sleepsOf(1));
    EXPECT_EQ(1u, clock.sleepCount());
  }
  spooler::failPortWrites(0, 0);
  EXPECT_TRUE(lm().endDocPort(port));
  EXPECT_TRUE(lm().closePort(port));
}

TEST_F(MonitorTest, ControlCode7DropsTheRestOfTheOutput) {
  HANDLE port = open(L"LPT1:", L"HP Test");
  ASSERT_TRUE(startDoc(port, L"HP Test", 11));
  writeAll(port, pattern(8192, 12), 8192);
  DWORD returned = 0;
  EXPECT_TRUE(lm().getPrinterDataFromPort(port, 7, nullptr, nullptr, 0, nullptr, 0, &returned));
  writeAll(port, pattern(200000, 13), 8192);
  EXPECT_TRUE(lm().endDocPort(port));
  EXPECT_TRUE(lm().closePort(port));
  const spooler::PortRecord record = spooler::portRecord(L"LPT1:");
  EXPECT_LE(record.bytes.size(), 8192u);
  EXPECT_EQ((std::vector<DWORD>{7}), record.controlIds);
}

TEST_F(MonitorTest, MakerCode7LoadsTheHpPluginOnceForTwoJobs) {
  const LONG jobsBefore = pluginStats(L"VaskHP.dll") ? pluginStats(L"VaskHP.dll")->jobs : 0;
  HANDLE port = open(L"LPT3:", L"Odd Maker");
  for (DWORD job : {31u, 32u}) {
    ASSERT_TRUE(startDoc(port, L"Odd Maker", job));
    writeAll(port, pattern(5000, job), 5000);
    EXPECT_TRUE(lm().endDocPort(port));
  }
  EXPECT_TRUE(lm().closePort(port));
  ASSERT_NE(nullptr, pluginStats(L"VaskHP.dll"));
  EXPECT_EQ(jobsBefore + 2, pluginStats(L"VaskHP.dll")->jobs);
  EXPECT_EQ(1, pluginStats(L"VaskHP.dll")->loads);
  EXPECT_EQ(GetModuleHandleW(L"VaskHP.dll"), corvanta_lm::cachedPlugin(0));
  // One reference only: releasing the cache unloads it.
  ASSERT_TRUE(parseThreadsEnded());
  corvanta_lm::releasePlugins();
  EXPECT_EQ(nullptr, GetModuleHandleW(L"VaskHP.dll"));
  EXPECT_EQ(nullptr, corvanta_lm::cachedPlugin(0));
}

TEST_F(MonitorTest, EveryWriteEndsWithOneMillisecondSleep) {
  configure("HP Test", 0, 0, 0);
  HANDLE port = open(L"LPT1:", L"HP Test");
  ASSERT_TRUE(startDoc(port, L"HP Test", 11));
  {
    testing_seams::VirtualClock clock;
    writeAll(port, pattern(5000, 23), 1000);
    EXPECT_EQ(5u, clock.sleepsOf(1));
    EXPECT_EQ(5u, clock.sleepCount());
  }
  EXPECT_TRUE(lm().endDocPort(port));
  EXPECT_TRUE(lm().closePort(port));
}

TEST_F(MonitorTest, MemoryShortagesFailCleanlyOrPassTheJobThrough) {
  HANDLE handle = nullptr;
  {
    testing_seams::FailingAllocator failing;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(lm().openPortEx(const_cast<LPWSTR>(L"LPT1:"), const_cast<LPWSTR>(L"HP Test"), &handle,
                                 spooler::portMonitor()));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
  }
  HANDLE port = open(L"LPT1:", L"HP Test");
  {
    testing_seams::FailingAllocator failing;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(startDoc(port, L"HP Test", 11));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
  }
  EXPECT_EQ(0, spooler::portRecord(L"LPT1:").startDocs);
  ASSERT_TRUE(startDoc(port, L"HP Test", 11));
  const auto data = pattern(6000, 24);
  {
    // No room for the printer-name buffer: the job is not filtered.
    testing_seams::FailingAllocator failing;
    writeAll(port, data, 2000);
  }
  EXPECT_TRUE(lm().endDocPort(port));
  EXPECT_TRUE(lm().closePort(port));
  EXPECT_EQ((std::vector<uint32_t>{2000, 2000, 2000}), spooler::portRecord(L"LPT1:").writeSizes);
  EXPECT_TRUE(parseThreadsEnded());
}

TEST_F(MonitorTest, PluginStaysLoadedWhileItsThreadRuns) {
  HANDLE port = open(L"LPT1:", L"HP Test");
  ASSERT_TRUE(startDoc(port, L"HP Test", 11));
  const auto data = pattern(9000, 25);
  writeAll(port, data, 9000);
  EXPECT_EQ(1, corvanta_lm::runningParseThreads());
  corvanta_lm::releasePlugins();  // as at process detach
  EXPECT_NE(nullptr, GetModuleHandleW(L"VaskHP.dll"));
  EXPECT_NE(nullptr, corvanta_lm::cachedPlugin(0));
  EXPECT_TRUE(lm().endDocPort(port));
  EXPECT_TRUE(lm().closePort(port));
  EXPECT_TRUE(data == spooler::portRecord(L"LPT1:").bytes);
  ASSERT_TRUE(parseThreadsEnded());
  corvanta_lm::releasePlugins();
  EXPECT_EQ(nullptr, GetModuleHandleW(L"VaskHP.dll"));
}

TEST_F(MonitorTest, MissingPluginPassesTheJobThrough) {
  const auto data = pattern(40000, 14);  // more than fits an unread pipe would hang on
  printJob(L"LPT4:", L"Epson Test", 41, data, 4000);
  EXPECT_EQ(data, spooler::portRecord(L"LPT4:").bytes);
  EXPECT_TRUE(parseThreadsEnded());
}

TEST_F(MonitorTest, TwoPortsPrintFilteredJobsAtTheSameTime) {
  const auto first = pattern(1024 * 1024, 15);
  const auto second = pattern(1024 * 1024 + 5, 16);
  testing_seams::BoundedThread a([&] { printJob(L"LPT1:", L"HP Test", 11, first, 8192); });
  testing_seams::BoundedThread b([&] { printJob(L"LPT2:", L"Canon Test", 21, second, 6000); });
  a.join();
  b.join();
  EXPECT_TRUE(first == spooler::portRecord(L"LPT1:").bytes);
  EXPECT_TRUE(second == spooler::portRecord(L"LPT2:").bytes);
}

TEST_F(MonitorTest, OutOfPaperDelaysButLosesNothing) {
  HANDLE port = open(L"LPT1:", L"HP Test");
  ASSERT_TRUE(startDoc(port, L"HP Test", 11));
  spooler::failPortWrites(ERROR_OUT_OF_PAPER, 2);
  const auto data = pattern(100000, 17);
  // While the output buffer retries, WritePort reports the printer's error and
  // takes nothing; the spooler then offers the same bytes again.
  int refused = 0;
  for (size_t at = 0; at < data.size();) {
    const DWORD size = static_cast<DWORD>(std::min<size_t>(8192, data.size() - at));
    DWORD written = 0;
    SetLastError(0xdeadbeef);
    if (lm().writePort(port, const_cast<LPBYTE>(data.data() + at), size, &written)) {
      ASSERT_EQ(size, written);
      at += size;
      continue;
    }
    ASSERT_EQ(DWORD(ERROR_OUT_OF_PAPER), GetLastError());
    ASSERT_EQ(0u, written);
    ASSERT_LT(++refused, 100000);
    Sleep(1);
  }
  EXPECT_TRUE(lm().endDocPort(port));
  EXPECT_TRUE(lm().closePort(port));
  const spooler::PortRecord record = spooler::portRecord(L"LPT1:");
  EXPECT_EQ(2, record.failedWrites);
  EXPECT_TRUE(data == record.bytes);
}

TEST_F(MonitorTest, DeletedJobGivesUpAtTheFirstError) {
  HANDLE port = open(L"LPT1:", L"HP Test");
  ASSERT_TRUE(startDoc(port, L"HP Test", 11));
  writeAll(port, pattern(3000, 18), 3000);  // less than one block: only the final flush delivers
  spooler::setJobStatus(L"HP Test", JOB_STATUS_DELETING);
  spooler::failPortWrites(ERROR_NOT_READY, -1);  // would be retried for ever otherwise
  EXPECT_TRUE(lm().endDocPort(port));
  spooler::failPortWrites(0, 0);
  EXPECT_TRUE(lm().closePort(port));
  const spooler::PortRecord record = spooler::portRecord(L"LPT1:");
  EXPECT_EQ(1, record.failedWrites);
  EXPECT_TRUE(record.bytes.empty());
}

TEST_F(MonitorTest, EmptyJobListsAndLeftoverEntriesAreHandled) {
  HANDLE port = open(L"LPT1:", L"HP Test");
  const auto data = pattern(100, 19);
  DWORD written = 0;
  EXPECT_TRUE(lm().writePort(port, const_cast<LPBYTE>(data.data()), 100, &written));
  EXPECT_EQ(100u, written);
  EXPECT_TRUE(lm().endDocPort(port));
  // A filtered job without EndDocPort, then a second one: both end cleanly.
  ASSERT_TRUE(startDoc(port, L"HP Test", 11));
  writeAll(port, pattern(5000, 20), 5000);
  ASSERT_TRUE(startDoc(port, L"HP Test", 12));
  writeAll(port, pattern(5000, 21), 5000);
  ASSERT_TRUE(startDoc(port, L"HP Test", 13));
  EXPECT_TRUE(lm().closePort(port));
  EXPECT_TRUE(parseThreadsEnded());
  EXPECT_EQ(10100u, spooler::portRecord(L"LPT1:").bytes.size());
  EXPECT_EQ(0, spooler::openPorts());
}

TEST_F(MonitorTest, NinexPlatformChainsThroughInitializeMonitorEx) {
  std::vector<Printer> list = printers();
  list.push_back({L"Nine Printer", L"LPT8:", L"Nine Driver", L"Windows 4.0", 0, {81}});
  spooler::installSpooler(list, 1);
  const std::wstring path = spooler::setMonitorKey(L"Nine LM", L"OriginalLM.dll");
  spooler::setDriverMonitor(list.back(), L"Nine LM");
  const spooler::OriginalMonitorStats before = *spooler::originalMonitorStats();
  ASSERT_EQ(table_, corvanta_lm::initializePrintMonitor(const_cast<LPWSTR>(path.c_str())));
  EXPECT_EQ(before.nineXInits + 1, spooler::originalMonitorStats()->nineXInits);
  configure("Nine Printer", 0, 1, 0);

  // The 9x spooler's texts are narrow and reach the settings store unconverted.
  const char narrowPrinter[] = "Nine Printer\0";
  auto* printer = reinterpret_cast<LPWSTR>(const_cast<char*>(narrowPrinter));
  HANDLE port = nullptr;
  ASSERT_TRUE(lm().openPortEx(const_cast<LPWSTR>(L"LPT8:"), printer, &port, spooler::portMonitor()));
  EXPECT_EQ(before.opens + 1, spooler::originalMonitorStats()->opens);
  DOC_INFO_1W info = {const_cast<LPWSTR>(L"Report"), nullptr, nullptr};
  ASSERT_TRUE(lm().startDocPort(port, printer, 81, 1, reinterpret_cast<LPBYTE>(&info)));
  const auto data = pattern(20000, 22);
  writeAll(port, data, 5000);
  EXPECT_TRUE(lm().endDocPort(port));
  EXPECT_TRUE(lm().closePort(port));
  EXPECT_TRUE(data == spooler::portRecord(L"LPT8:").bytes);
  EXPECT_STREQ("Nine Printer", pluginStats(L"VaskHP.dll")->printerName);
  EXPECT_EQ(1, promptCalls());
  spooler::deletePrinterSettings("Nine Printer");
}

TEST_F(MonitorTest, StaleFilteredJobIsEndedLikeAtEndDocPort) {
  // A calibration job (flag 2) whose EndDocPort never comes, being deleted,
  // on a printer that keeps answering "not ready".
  configure("HP Test", 0, 1, 2);
  HANDLE port = open(L"LPT1:", L"HP Test");
  ASSERT_TRUE(startDoc(port, L"HP Test", 11));
  writeAll(port, pattern(3000, 30), 3000);  // less than a block: only a flush delivers it
  spooler::setJobStatus(L"HP Test", JOB_STATUS_DELETING);
  spooler::failPortWrites(ERROR_NOT_READY, -1);
  ASSERT_TRUE(startDoc(port, L"HP Test", 12));
  const auto next = pattern(100, 31);
  // The next job's first write ends the stale one: its flush gives up at the
  // first error instead of retrying for ever, and its page is written back.
  EXPECT_TRUE(finishesWithin(
      5000, [&] { writeAll(port, next, 100); }, [] { spooler::failPortWrites(0, 0); }));
  EXPECT_EQ(3, spooler::printerValue("HP Test", "PrintCalibrationPage"));
  EXPECT_EQ(1, spooler::portRecord(L"LPT1:").failedWrites);
  spooler::failPortWrites(0, 0);
  spooler::setJobStatus(L"HP Test", 0);
  EXPECT_TRUE(lm().endDocPort(port));
  EXPECT_TRUE(lm().closePort(port));
  EXPECT_TRUE(next == spooler::portRecord(L"LPT1:").bytes);
}

TEST_F(MonitorTest, DownstreamCallsOfOneSessionNeverOverlap) {
  configure("HP Test", 0, 0, 0);  // pass-through: ReadPort is forwarded
  HANDLE port = open(L"LPT1:", L"HP Test");
  ASSERT_TRUE(startDoc(port, L"HP Test", 11));
  writeAll(port, pattern(10, 32), 10);
  HANDLE xcv = port;
  ASSERT_TRUE(lm().xcvOpenPort(L",XcvPort LPT1:", SERVER_ACCESS_ADMINISTER, &xcv));
  spooler::watchOverlaps(3);
  testing_seams::BoundedThread writer([&] { writeAll(port, pattern(4000, 33), 200); });
  testing_seams::BoundedThread reader([&] {
    for (int i = 0; i < 20; ++i) {
      BYTE buffer[16];
      DWORD read = 0;
      EXPECT_TRUE(lm().readPort(port, buffer, sizeof(buffer), &read));
      DWORD needed = 0;
      EXPECT_EQ(DWORD(ERROR_SUCCESS), lm().xcvDataPort(xcv, L"MonitorUI", nullptr, 0, nullptr, 0, &needed));
    }
  });
  writer.join();
  reader.join();
  spooler::watchOverlaps(0);
  EXPECT_EQ(1, spooler::mostCallsAtOnce());
  EXPECT_TRUE(lm().xcvClosePort(xcv));
  EXPECT_TRUE(lm().endDocPort(port));
  EXPECT_TRUE(lm().closePort(port));
  EXPECT_EQ(20, spooler::portRecord(L"LPT1:").reads);
}

TEST_F(MonitorTest, DownstreamEntriesAreCopiedAsFarAsTheTableSizeAndMissingOnesAreNeverCalled) {
  // The chained monitor's table claims only its first eight entries (up to
  // ClosePort) and lacks EndDocPort; the session keeps its own copy.
  using Init = MonitorTable*(WINAPI*)(LPWSTR);
  auto init = corvanta_lm::procAddress<Init>(GetModuleHandleW(L"OriginalLM.dll"), "InitializePrintMonitor");
  ASSERT_NE(nullptr, init);
  MonitorTable* original = init(nullptr);
  const MonitorTable saved = *original;
  original->size = 8 * sizeof(void*);
  original->functions.endDocPort = nullptr;
  HANDLE chained = open(L"LPT5:", L"Chained Printer");
  *original = saved;
  // The port monitor without EndDocPort.
  corvanta_lm::PortFunctions noEndDoc = *spooler::portMonitor();
  noEndDoc.endDocPort = nullptr;
  HANDLE plain = nullptr;
  ASSERT_TRUE(lm().openPortEx(const_cast<LPWSTR>(L"LPT1:"), const_cast<LPWSTR>(L"HP Test"), &plain, &noEndDoc));

  configure("Chained Printer", 0, 0, 0);
  configure("HP Test", 0, 0, 0);
  for (HANDLE port : {chained, plain}) {
    ASSERT_TRUE(startDoc(port, port == chained ? L"Chained Printer" : L"HP Test", port == chained ? 51 : 11));
    writeAll(port, pattern(500, 34), 500);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(lm().endDocPort(port));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
  }
  DWORD returned = 0;
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(lm().getPrinterDataFromPort(chained, 1, nullptr, nullptr, 0, nullptr, 0, &returned));
  EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_TRUE(lm().closePort(chained));
  EXPECT_TRUE(lm().closePort(plain));
  EXPECT_EQ(0, spooler::openPorts());
}

TEST_F(MonitorTest, XcvHandlesAreCheckedAgainstTheLiveOnesAndOutliveTheirSession) {
  HANDLE port = open(L"LPT1:", L"HP Test");
  HANDLE xcv = port;
  ASSERT_TRUE(lm().xcvOpenPort(L",XcvPort LPT1:", SERVER_ACCESS_ADMINISTER, &xcv));
  EXPECT_TRUE(lm().closePort(port));
  // The session is gone; the Xcv handle still reaches downstream and closes.
  DWORD needed = 99;
  EXPECT_EQ(DWORD(ERROR_SUCCESS), lm().xcvDataPort(xcv, L"MonitorUI", nullptr, 0, nullptr, 0, &needed));
  EXPECT_TRUE(lm().xcvClosePort(xcv));
  EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), lm().xcvDataPort(xcv, L"MonitorUI", nullptr, 0, nullptr, 0, &needed));
  // Handles that are not even addresses are refused without being followed.
  HANDLE bogus = reinterpret_cast<HANDLE>(0x10);
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(lm().xcvOpenPort(L",XcvPort LPT1:", 0, &bogus));
  EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_FALSE(lm().xcvClosePort(bogus));
  EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), lm().xcvDataPort(port, L"x", nullptr, 0, nullptr, 0, &needed));
}

TEST_F(MonitorTest, LongestPrinterNamesAreFiltered) {
  const std::string name(240, 'P');
  const std::wstring wideName(name.begin(), name.end());
  configure(name.c_str(), 0, 1, 0);
  const LONG jobsBefore = pluginStats(L"VaskHP.dll") ? pluginStats(L"VaskHP.dll")->jobs : 0;
  const auto data = pattern(5000, 35);
  printJob(L"LPT1:", wideName.c_str(), 11, data, 5000);
  ASSERT_NE(nullptr, pluginStats(L"VaskHP.dll"));
  EXPECT_EQ(jobsBefore + 1, pluginStats(L"VaskHP.dll")->jobs);
  EXPECT_TRUE(data == spooler::portRecord(L"LPT1:").bytes);
  spooler::deletePrinterSettings(name.c_str());
}

TEST(UtilityJobs, NamesMatchWholeAndIgnoreCase) {
  spooler::installSpooler({});
  EXPECT_TRUE(corvanta_lm::isUtilityJob(1, L"canon control job"));
  EXPECT_TRUE(corvanta_lm::isUtilityJob(1, L"WARTUNG"));
  EXPECT_TRUE(corvanta_lm::isUtilityJob(1, L"Status Inquiry of BJC-600"));
  EXPECT_TRUE(corvanta_lm::isUtilityJob(1, L"status inquiry"));
  EXPECT_FALSE(corvanta_lm::isUtilityJob(1, L"Status Inquir"));
  EXPECT_FALSE(corvanta_lm::isUtilityJob(1, L"Statistics"));
  EXPECT_FALSE(corvanta_lm::isUtilityJob(1, L""));
  EXPECT_FALSE(corvanta_lm::isUtilityJob(1, nullptr));
  EXPECT_TRUE(corvanta_lm::isUtilityJob(2, L"Nozzle Check"));
  EXPECT_FALSE(corvanta_lm::isUtilityJob(2, L"Nozzle Check "));
  EXPECT_TRUE(corvanta_lm::isUtilityJob(2, L"D\u00fcsentest"));
  EXPECT_TRUE(corvanta_lm::isUtilityJob(2, L"nettoyage des T\u00caTES"));
  EXPECT_TRUE(corvanta_lm::isUtilityJob(2, L"V\u00e9rification des buses"));
  EXPECT_FALSE(corvanta_lm::isUtilityJob(2, L""));
  EXPECT_FALSE(corvanta_lm::isUtilityJob(2, L"Clean"));
  EXPECT_TRUE(corvanta_lm::isUtilityJob(0, L""));
  EXPECT_TRUE(corvanta_lm::isUtilityJob(0, nullptr));
  EXPECT_TRUE(corvanta_lm::isUtilityJob(0, L"printer service data"));
  EXPECT_TRUE(corvanta_lm::isUtilityJob(-1, L"Alignment"));
  EXPECT_TRUE(corvanta_lm::isUtilityJob(9, L""));
  EXPECT_FALSE(corvanta_lm::isUtilityJob(0, L"Wartung"));
  spooler::installSpooler({}, 1);  // 9x: no "Status Inquiry" prefix
  EXPECT_FALSE(corvanta_lm::isUtilityJob(1, L"Status Inquiry of BJC-600"));
  EXPECT_TRUE(corvanta_lm::isUtilityJob(1, L"Maintenance"));
  spooler::installSpooler({});
}

TEST(MonitorLibrary, ExportsTheTableAndTheVersionNames) {
  HMODULE module = LoadLibraryW(L"CorvantaLM.dll");
  ASSERT_NE(nullptr, module) << GetLastError();
  using Init = MonitorTable*(WINAPI*)(LPWSTR);
  auto init = corvanta_lm::procAddress<Init>(module, "InitializePrintMonitor");
  ASSERT_NE(nullptr, init);
  const std::wstring path = spooler::setMonitorKey(L"Library LM", nullptr);
  MonitorTable* table = init(const_cast<LPWSTR>(path.c_str()));
  ASSERT_NE(nullptr, table);
  if (sizeof(void*) == 4) {
    EXPECT_EQ(72u, table->size);
  }
  EXPECT_NE(nullptr, table->functions.openPortEx);
  EXPECT_EQ(nullptr, table->functions.openPort);
  void* version = corvanta_lm::procAddress<void*>(module, "EPSON_EBMon_GetVersion");
  EXPECT_NE(nullptr, version);
  EXPECT_EQ(version, corvanta_lm::procAddress<void*>(module, "EPSON_EBMon_GetVersion2"));
  EXPECT_EQ(version, corvanta_lm::procAddress<void*>(module, "EPSON_EBPMon_GetVersion2"));
  FreeLibrary(module);
}

}  // namespace
