// Whole jobs through the product as the spooler runs it: the real CorvantaLM.dll
// loaded by name, the real VaskHP.dll and VaskCA.dll it picks by the printer's
// maker, the real reduction and calibration libraries, and the printer's
// settings written through CorvantaReg, and the prefix's real spooler. Only
// the port monitor, which records what would reach the printer, and one
// printer's original language monitor are stand-ins. The jobs are
// Ghostscript's own HP and Canon output, rendered natively into the build
// tree before this runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>
#include <tlhelp32.h>
#include <winspool.h>

#include "CorvantaReg.h"
#include "monitor_internal.h"
#include "raster_job.h"
#include "spooler_standins.h"

using corvanta_lm::MonitorTable;
using jobread::Bytes;

namespace {

constexpr char kHpPrinter[] = "E2E DeskJet";
constexpr wchar_t kHpPrinterW[] = L"E2E DeskJet";
constexpr wchar_t kHpPort[] = L"E2E1:";
constexpr char kCanonPrinter[] = "E2E BJC";
constexpr wchar_t kCanonPrinterW[] = L"E2E BJC";
constexpr wchar_t kCanonPort[] = L"E2E2:";
// A printer the prefix's spooler knows, whose driver names its own language
// monitor: the monitor chains to OriginalLM.dll for it.
constexpr char kChainedPrinter[] = "E2E Chained DeskJet";
constexpr wchar_t kChainedPrinterW[] = L"E2E Chained DeskJet";
constexpr wchar_t kChainedPort[] = L"E2E3:";
constexpr char kDriverName[] = "Corvanta End-to-End Driver";
// A name beyond ASCII: it reaches the settings store in the ANSI code page.
constexpr wchar_t kAccentedPrinterW[] = L"E2E B\u00FCrodrucker";
constexpr wchar_t kAccentedPort[] = L"E2E4:";
constexpr wchar_t kOriginalMonitor[] = L"Corvanta End-to-End Original LM";
constexpr size_t kThresholdFileSize = 20 + 1250 * 300;

// A text in the ANSI code page; empty when the code page cannot write it.
std::string narrow(const wchar_t* text) {
  char out[260] = {};
  BOOL lossy = FALSE;
  if (!WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, out, sizeof(out), nullptr, &lossy) || lossy)
    return {};
  return out;
}

Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The jobs the fixture rendered; the build tree's Unix path seen through Wine's Z: drive.
Bytes realJob(const char* name) {
  const char* binary = std::getenv("CORVANTA_BINARY_DIR");
  if (!binary) return {};
  const std::string root = binary[0] == '/' ? std::string("Z:") + binary : std::string(binary);
  return readFile(root + "/end-to-end-jobs/" + name);
}

std::string dataFile(const char* printer, const char* file) {
  char folder[kDataFilePathSize] = {};
  GetDataFilePath(printer, folder);
  return std::string(folder) + file;
}

std::vector<DWORD> processThreads() {
  std::vector<DWORD> ids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ids.push_back(entry.th32ThreadID);
  CloseHandle(snapshot);
  return ids;
}

Bytes packBitsOfOnes(size_t bytes) {  // a run of full bytes as PackBits
  Bytes out;
  for (; bytes > 0; bytes -= std::min<size_t>(bytes, 128)) {
    out += static_cast<char>(257 - std::min<size_t>(bytes, 128));
    out += '\xFF';
  }
  return out;
}

constexpr int kBands = 7;
constexpr int kRowsPerBand = 24;
constexpr size_t kRowBytes = 150;

// An HP calibration page as the control program prints it: one black plane,
// bands of solid rows separated by Y offsets.
Bytes hpCalibrationPage() {
  const Bytes row = packBitsOfOnes(kRowBytes);
  Bytes job = "\x1B" "E\x1B*t150R\x1B*r1200S\x1B*r1U\x1B*r1A\x1B*b2M";
  for (int band = 0; band < kBands; ++band) {
    for (int r = 0; r < kRowsPerBand; ++r) job += "\x1B*b" + std::to_string(row.size()) + "W" + row;
    job += "\x1B*b50Y";
  }
  return job + "\x1B*rC\x1B" "E";
}

// The same page in Canon raster: ESC ( A black rows, bands separated by skips.
Bytes canonCalibrationPage() {
  const Bytes row = packBitsOfOnes(kRowBytes);
  Bytes job = Bytes("\x1B(d\x02\x00\x00\xB4", 7);  // 180 dpi
  for (int band = 0; band < kBands; ++band) {
    for (int r = 0; r < kRowsPerBand; ++r) {
      const size_t length = row.size() + 1;
      job += Bytes("\x1B(A", 3) + static_cast<char>(length & 0xFF) + static_cast<char>(length >> 8) + "K" + row + "\r";
      job += Bytes("\x1B(e\x02\x00\x00\x01", 7);  // next line
    }
    job += Bytes("\x1B(e\x02\x00\x00\x32", 7);  // 50 blank lines between bands
  }
  return job + "\x0C";
}

// Where two byte strings part, with a little of each for the failure message.
std::string firstDifference(const Bytes& a, const Bytes& b) {
  size_t at = 0;
  while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
  auto show = [at](const Bytes& s) {
    std::string text;
    for (size_t k = at > 8 ? at - 8 : 0; k < std::min(s.size(), at + 16); ++k) {
      const unsigned char c = static_cast<unsigned char>(s[k]);
      char escaped[8];
      snprintf(escaped, sizeof(escaped), "\\x%02X", c);
      text += c >= 0x20 && c < 0x7F ? std::string(1, static_cast<char>(c)) : std::string(escaped);
    }
    return text;
  };
  return "first difference at " + std::to_string(at) + ": \"" + show(a) + "\" vs \"" + show(b) + "\"";
}

struct Shares {
  uint64_t blackIn = 0, blackOut = 0, colorIn = 0, colorOut = 0;
  double black() const { return blackIn ? double(blackOut) / double(blackIn) : 0; }
  double color() const { return colorIn ? double(colorOut) / double(colorIn) : 0; }
};

// Whether `after` only lost dots of `before`: single-bit dots cleared,
// multi-level pixels dropped to 0, RGB pixels turned white; nothing added.
// HP mode 10 carries seven bits of blue, so RGB pixels compare without
// blue's lowest bit.
bool onlyRemoved(const jobread::PlaneRow& before, const jobread::PlaneRow& after) {
  if (before.bitsPerPixel != after.bitsPerPixel) return false;
  const size_t width = std::max(before.data.size(), after.data.size());
  const char blank = before.bitsPerPixel == 24 ? '\xFF' : '\0';
  Bytes a = before.data, b = after.data;
  a.resize(width, blank);
  b.resize(width, blank);
  if (before.bitsPerPixel == 24) {
    auto pixel = [](const Bytes& row, size_t k) {
      return static_cast<uint32_t>(static_cast<uint8_t>(row[k])) << 16 |
             static_cast<uint32_t>(static_cast<uint8_t>(row[k + 1])) << 8 | static_cast<uint8_t>(row[k + 2]) | 1u;
    };
    for (size_t k = 0; k + 2 < width; k += 3)
      if (pixel(b, k) != 0xFFFFFF && pixel(b, k) != pixel(a, k)) return false;
    return true;
  }
  const unsigned bits = before.bitsPerPixel, mask = (1u << bits) - 1;
  for (size_t k = 0; k < width; ++k)
    for (unsigned shift = 0; shift < 8; shift += bits) {
      const unsigned x = (static_cast<uint8_t>(a[k]) >> shift) & mask, y = (static_cast<uint8_t>(b[k]) >> shift) & mask;
      if (y != 0 && y != x) return false;
    }
  return true;
}

// A thinned rewrite of `in`: every other byte kept, the same pages, rows and
// planes in the same order, and each plane keeping only dots it had.
Shares expectThinnedRewrite(const jobread::Job& in, const jobread::Job& out) {
  Shares shares;
  EXPECT_FALSE(in.truncated);
  EXPECT_FALSE(out.truncated);
  EXPECT_TRUE(in.other == out.other) << "non-raster bytes: " << in.other.size() << " in, " << out.other.size()
                                     << " out, " << firstDifference(in.other, out.other);
  EXPECT_EQ(in.pages.size(), out.pages.size());
  for (size_t p = 0; p < std::min(in.pages.size(), out.pages.size()); ++p) {
    const auto& before = in.pages[p].rows;
    const auto& after = out.pages[p].rows;
    EXPECT_EQ(before.size(), after.size()) << "page " << p;
    for (size_t r = 0; r < std::min(before.size(), after.size()); ++r) {
      EXPECT_EQ(before[r].size(), after[r].size()) << "page " << p << " row " << r;
      for (size_t k = 0; k < std::min(before[r].size(), after[r].size()); ++k) {
        const jobread::PlaneRow& a = before[r][k];
        const jobread::PlaneRow& b = after[r][k];
        EXPECT_EQ(a.ink, b.ink);
        if (!onlyRemoved(a, b)) {
          ADD_FAILURE() << "page " << p << " row " << r << " plane " << k << " (" << a.ink << ", "
                        << int{a.bitsPerPixel} << " bits) has dots the job did not: "
                        << firstDifference(a.data, b.data);
          return shares;
        }
        const bool black = a.ink == 'K' || a.ink == 'k';
        (black ? shares.blackIn : shares.colorIn) += jobread::countDots(a);
        (black ? shares.blackOut : shares.colorOut) += jobread::countDots(b);
      }
    }
  }
  return shares;
}

size_t rowCount(const jobread::Job& job) {
  size_t rows = 0;
  for (const jobread::Page& page : job.pages) rows += page.rows.size();
  return rows;
}

// Kept dots per band of a calibration page, in percent of the page's.
std::vector<double> bandShares(const jobread::Job& in, const jobread::Job& out) {
  std::vector<double> shares;
  expectThinnedRewrite(in, out);
  if (in.pages.size() != 1 || out.pages.size() != 1) return shares;
  const auto& before = in.pages[0].rows;
  const auto& after = out.pages[0].rows;
  EXPECT_EQ(static_cast<size_t>(kBands * kRowsPerBand), after.size());
  if (after.size() != before.size()) return shares;
  for (size_t first = 0; first + kRowsPerBand <= after.size(); first += kRowsPerBand) {
    uint64_t dotsBefore = 0, dotsAfter = 0;
    for (size_t r = first; r < first + kRowsPerBand; ++r) {
      for (const jobread::PlaneRow& plane : before[r]) dotsBefore += jobread::countDots(plane);
      for (const jobread::PlaneRow& plane : after[r]) dotsAfter += jobread::countDots(plane);
    }
    shares.push_back(100.0 * double(dotsAfter) / double(dotsBefore));
  }
  return shares;
}

class EndToEnd : public testing::Test {
 protected:
  static HMODULE monitor_;
  static MonitorTable* table_;
  static HANDLE chainedPrinter_;

  static void SetUpTestSuite() {
    // Installation: the printers' maker codes in the machine settings; the
    // control program's reconciliation then creates their settings with its
    // defaults, which the tests change through the settings store.
    spooler::setManufacturer(kHpPrinter, 0);
    spooler::setManufacturer(kCanonPrinter, 1);
    spooler::setManufacturer(kChainedPrinter, 0);
    if (!narrow(kAccentedPrinterW).empty()) spooler::setManufacturer(narrow(kAccentedPrinterW).c_str(), 0);
    installChainedPrinter();
    static char names[260][260];
    int32_t count = 0;
    const SettingPair defaults[] = {{"InkReduction", 1},     {"DisplayInk", 0},        {"BlackLevel", 25},
                                    {"ColorLevel", 25},      {"BlackCost", 0x00640000}, {"ColorCost", 0x00640000},
                                    {"BlackCartPerYear", 0}, {"ColorCartPerYear", 0},  {"PrintCalibrationPage", 0}};
    EXPECT_EQ(0, SyncUserSettings(names, &count, defaults, 9));
    // The threshold files are built by the first reduced job.
    for (const char* printer : {kHpPrinter, kCanonPrinter, kChainedPrinter})
      for (const char* file : {"kfile.red", "cfile.red"}) DeleteFileA(dataFile(printer, file).c_str());
    loadMonitor();
  }

  static void TearDownTestSuite() {
    DeletePrinterSettings(kHpPrinter);
    DeletePrinterSettings(kCanonPrinter);
    DeletePrinterSettings(kChainedPrinter);
    if (!narrow(kAccentedPrinterW).empty()) DeletePrinterSettings(narrow(kAccentedPrinterW).c_str());
    if (chainedPrinter_) {
      DeletePrinter(chainedPrinter_);
      ClosePrinter(chainedPrinter_);
    }
    DeletePrinterDriverA(nullptr, nullptr, const_cast<char*>(kDriverName));
  }

  // Adds the chained printer to the spooler with a driver of Wine's own
  // PostScript files, and names the original monitor in the driver's key as
  // installation does.
  static void installChainedPrinter() {
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    std::string file = std::string(system) + "\\wineps.drv";
    DRIVER_INFO_3A driver = {};
    driver.cVersion = 3;
    driver.pName = const_cast<char*>(kDriverName);
    driver.pDriverPath = driver.pDataFile = driver.pConfigFile = &file[0];
    ASSERT_TRUE(AddPrinterDriverExA(nullptr, 3, reinterpret_cast<BYTE*>(&driver), APD_COPY_NEW_FILES))
        << "AddPrinterDriverEx: " << GetLastError();
    PRINTER_INFO_2A info = {};
    info.pPrinterName = const_cast<char*>(kChainedPrinter);
    info.pPortName = const_cast<char*>("FILE:");
    info.pDriverName = const_cast<char*>(kDriverName);
    info.pPrintProcessor = const_cast<char*>("WinPrint");
    info.pDatatype = const_cast<char*>("RAW");
    chainedPrinter_ = AddPrinterA(nullptr, 2, reinterpret_cast<BYTE*>(&info));
    if (!chainedPrinter_ && GetLastError() == ERROR_PRINTER_ALREADY_EXISTS)
      OpenPrinterA(const_cast<char*>(kChainedPrinter), &chainedPrinter_, nullptr);
    ASSERT_NE(nullptr, chainedPrinter_) << "AddPrinter: " << GetLastError();
    DWORD needed = 0;
    GetPrinterDriverW(chainedPrinter_, nullptr, 3, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    ASSERT_TRUE(needed && GetPrinterDriverW(chainedPrinter_, nullptr, 3, buffer.data(), needed, &needed));
    const auto* installed = reinterpret_cast<const DRIVER_INFO_3W*>(buffer.data());
    spooler::Printer printer{kChainedPrinterW, kChainedPort, installed->pName, installed->pEnvironment,
                             installed->cVersion, {}};
    spooler::setDriverMonitor(printer, kOriginalMonitor);
  }

  static void loadMonitor() {
    monitor_ = LoadLibraryW(L"CorvantaLM.dll");
    ASSERT_NE(nullptr, monitor_) << "CorvantaLM.dll: " << GetLastError();
    auto init = corvanta_lm::procAddress<corvanta_lm::InitializePrintMonitorFunction>(monitor_,
                                                                                      "InitializePrintMonitor");
    ASSERT_NE(nullptr, init);
    // A monitor key without OriginalDriver, for printers the spooler does
    // not know: their jobs go straight to the port monitor. The chained
    // printer's monitor key names the original monitor.
    const std::wstring key = spooler::setMonitorKey(L"Corvanta End-to-End LM", nullptr);
    table_ = init(const_cast<LPWSTR>(key.c_str()));
    ASSERT_NE(nullptr, table_);
    const std::wstring chained = spooler::setMonitorKey(kOriginalMonitor, L"OriginalLM.dll");
    ASSERT_EQ(table_, init(const_cast<LPWSTR>(chained.c_str())));
    ASSERT_NE(nullptr, spooler::originalMonitorStats()) << "OriginalLM.dll was not loaded";
  }

  void SetUp() override {
    ASSERT_NE(nullptr, table_);
    spooler::resetPortMonitor();
  }

  static void configure(const char* printer, int reduction, int blackLevel, int colorLevel, int calibration) {
    SetInkReduction(printer, reduction);
    SetBlackLevel(printer, blackLevel);
    SetColorLevel(printer, colorLevel);
    SetPrintCalibrationPage(printer, calibration);
    SetDisplayInk(printer, 0);
    ASSERT_EQ(reduction, GetInkReduction(printer));
    ASSERT_EQ(calibration, GetPrintCalibrationPage(printer));
  }

  // One job as the spooler sends it, in writes of `chunk` bytes; returns what
  // reached the port.
  static Bytes print(const wchar_t* port, const wchar_t* printer, DWORD jobId, const Bytes& job, size_t chunk) {
    const corvanta_lm::PortFunctions& lm = table_->functions;
    HANDLE handle = nullptr;
    SetLastError(0xdeadbeef);
    if (!lm.openPortEx(const_cast<LPWSTR>(port), const_cast<LPWSTR>(printer), &handle, spooler::portMonitor())) {
      ADD_FAILURE() << "OpenPortEx: " << GetLastError();
      return {};
    }
    DOC_INFO_1W info = {const_cast<LPWSTR>(L"End-to-end page"), nullptr, nullptr};
    EXPECT_TRUE(lm.startDocPort(handle, const_cast<LPWSTR>(printer), jobId, 1, reinterpret_cast<LPBYTE>(&info)))
        << GetLastError();
    for (size_t at = 0; at < job.size(); at += chunk) {
      const DWORD size = static_cast<DWORD>(std::min(chunk, job.size() - at));
      DWORD written = 0;
      SetLastError(0xdeadbeef);
      const BOOL ok = lm.writePort(handle, reinterpret_cast<LPBYTE>(const_cast<char*>(job.data() + at)), size,
                                   &written);
      EXPECT_TRUE(ok) << "WritePort at " << at << ": " << GetLastError();
      EXPECT_EQ(size, written);
      if (!ok) break;
    }
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(lm.endDocPort(handle)) << GetLastError();
    EXPECT_TRUE(lm.closePort(handle)) << GetLastError();
    const spooler::PortRecord record = spooler::portRecord(port);
    EXPECT_EQ(1, record.startDocs);
    EXPECT_EQ(1, record.endDocs);
    EXPECT_EQ(1, record.closes);
    return Bytes(record.bytes.begin(), record.bytes.end());
  }

  static void expectThinnedJob(const char* name, bool hp, const wchar_t* port, const wchar_t* printer,
                               int blackLevel, int colorLevel);
};
HMODULE EndToEnd::monitor_ = nullptr;
MonitorTable* EndToEnd::table_ = nullptr;
HANDLE EndToEnd::chainedPrinter_ = nullptr;

// Prints a real job through the monitor and checks the rewrite against it:
// the kept share of each ink (where the job has enough dots to tell) near
// 100 - the stored level.
void EndToEnd::expectThinnedJob(const char* name, bool hp, const wchar_t* port, const wchar_t* printer,
                                int blackLevel, int colorLevel) {
  SCOPED_TRACE(name);
  const Bytes job = realJob(name);
  ASSERT_GT(job.size(), 10000u) << "the fixture renders the jobs";
  const Bytes out = print(port, printer, 100, job, 4096);
  const jobread::Job in = hp ? jobread::readHpJob(job) : jobread::readCanonJob(job);
  ASSERT_GT(rowCount(in), 500u);
  const Shares shares = expectThinnedRewrite(in, hp ? jobread::readHpJob(out) : jobread::readCanonJob(out));
  ASSERT_GT(shares.blackIn + shares.colorIn, 100000u);
  // Kept shares and sizes in the test report (--gtest_output=xml).
  RecordProperty(std::string(name) + " kept black/colour/bytes out",
                 std::to_string(shares.black()) + " " + std::to_string(shares.color()) + " " +
                     std::to_string(out.size()) + " of " + std::to_string(job.size()));
  if (shares.blackIn > 10000) {
    EXPECT_NEAR((100 - blackLevel) / 100.0, shares.black(), 0.1) << shares.blackOut << " of " << shares.blackIn
                                                                 << " black dots";
  }
  if (shares.colorIn > 10000) {
    EXPECT_NEAR((100 - colorLevel) / 100.0, shares.color(), 0.1) << shares.colorOut << " of " << shares.colorIn
                                                                 << " colour dots";
  }
}

TEST_F(EndToEnd, HpJobsAreThinnedByTheRealPluginAndReductionLibrary) {
  configure(kHpPrinter, 1, 40, 50, 0);
  // Mode 9 planes and combined escape sequences; over solid colour, rows
  // that end early leave out the planes the printer is to repeat, which the
  // rewrite has to send. Then ESC*g format 2 with rows that start raster
  // graphics by themselves, format 6 with mode 10 RGB rows, and black rows
  // switching between modes 2 and 3.
  expectThinnedJob("hp-cdj550.prn", true, kHpPort, kHpPrinterW, 40, 50);
  expectThinnedJob("hp-cdj550-colour.prn", true, kHpPort, kHpPrinterW, 40, 50);
  expectThinnedJob("hp-cdj670.prn", true, kHpPort, kHpPrinterW, 40, 50);
  expectThinnedJob("hp-chp2200.prn", true, kHpPort, kHpPrinterW, 40, 50);
  expectThinnedJob("hp-djet500.prn", true, kHpPort, kHpPrinterW, 40, 50);
  // The reduction library built the printer's threshold files in its data folder.
  EXPECT_EQ(kThresholdFileSize, readFile(dataFile(kHpPrinter, "kfile.red")).size());
  EXPECT_EQ(kThresholdFileSize, readFile(dataFile(kHpPrinter, "cfile.red")).size());
}

TEST_F(EndToEnd, CanonJobsAreThinnedByTheRealPluginAndReductionLibrary) {
  configure(kCanonPrinter, 1, 30, 60, 0);
  expectThinnedJob("canon-bjc600.prn", false, kCanonPort, kCanonPrinterW, 30, 60);
  expectThinnedJob("canon-bjc800.prn", false, kCanonPort, kCanonPrinterW, 30, 60);
  EXPECT_EQ(kThresholdFileSize, readFile(dataFile(kCanonPrinter, "kfile.red")).size());
  EXPECT_EQ(kThresholdFileSize, readFile(dataFile(kCanonPrinter, "cfile.red")).size());
}

// The printer's own monitor found through the spooler's driver data passes
// the thinned job on; the thinning depends only on the levels, so it matches
// the same job printed on an unchained printer.
// Gutenprint's PIXMA job: ESC ( F bands of rows ended by 0x80 under a CMYK
// colour list.
TEST_F(EndToEnd, CanonBandJobIsThinnedByTheRealPlugin) {
  if (realJob("canon-pixma-ip4100.prn").empty()) GTEST_SKIP() << "no Gutenprint PIXMA job (Gutenprint missing)";
  configure(kCanonPrinter, 1, 30, 60, 0);
  expectThinnedJob("canon-pixma-ip4100.prn", false, kCanonPort, kCanonPrinterW, 30, 60);
}

TEST_F(EndToEnd, ChainedPrinterGetsTheThinnedJobThroughItsOwnMonitor) {
  ASSERT_NE(nullptr, chainedPrinter_);
  configure(kHpPrinter, 1, 40, 50, 0);
  configure(kChainedPrinter, 1, 40, 50, 0);
  const Bytes job = realJob("hp-cdj670.prn");
  ASSERT_FALSE(job.empty());
  const Bytes direct = print(kHpPort, kHpPrinterW, 107, job, 4096);
  const spooler::OriginalMonitorStats before = *spooler::originalMonitorStats();
  const Bytes chained = print(kChainedPort, kChainedPrinterW, 108, job, 4096);
  const spooler::OriginalMonitorStats* after = spooler::originalMonitorStats();
  EXPECT_EQ(before.opens + 1, after->opens);
  EXPECT_EQ(before.startDocs + 1, after->startDocs);
  EXPECT_EQ(before.endDocs + 1, after->endDocs);
  EXPECT_EQ(before.closes + 1, after->closes);
  EXPECT_EQ(before.bytes + static_cast<LONG>(chained.size()), after->bytes);
  EXPECT_FALSE(chained == job);
  EXPECT_TRUE(chained == direct);
}

// A job cancelled at the printer (GetPrinterDataFromPort control code 7) in
// the middle: the spooler's writes and EndDocPort still succeed, the plug-in
// reads the job to its end, and only what it had delivered before reaches the
// printer.
TEST_F(EndToEnd, CancelledJobStopsReachingThePrinterAndEndsCleanly) {
  configure(kHpPrinter, 1, 40, 50, 0);
  const Bytes job = realJob("hp-cdj670.prn");
  ASSERT_FALSE(job.empty());
  const Bytes whole = print(kHpPort, kHpPrinterW, 109, job, 4096);
  spooler::resetPortMonitor();
  const corvanta_lm::PortFunctions& lm = table_->functions;
  HANDLE port = nullptr;
  ASSERT_TRUE(lm.openPortEx(const_cast<LPWSTR>(kHpPort), const_cast<LPWSTR>(kHpPrinterW), &port,
                            spooler::portMonitor()));
  DOC_INFO_1W info = {const_cast<LPWSTR>(L"End-to-end page"), nullptr, nullptr};
  ASSERT_TRUE(lm.startDocPort(port, const_cast<LPWSTR>(kHpPrinterW), 110, 1, reinterpret_cast<LPBYTE>(&info)));
  for (size_t at = 0; at < job.size(); at += 4096) {
    if (at == job.size() / 2 / 4096 * 4096) {
      DWORD returned = 0;
      EXPECT_TRUE(lm.getPrinterDataFromPort(port, 7, nullptr, nullptr, 0, nullptr, 0, &returned));
    }
    const DWORD size = static_cast<DWORD>(std::min<size_t>(4096, job.size() - at));
    DWORD written = 0;
    ASSERT_TRUE(lm.writePort(port, reinterpret_cast<LPBYTE>(const_cast<char*>(job.data() + at)), size, &written))
        << GetLastError();
    ASSERT_EQ(size, written);
  }
  EXPECT_TRUE(lm.endDocPort(port)) << GetLastError();
  EXPECT_TRUE(lm.closePort(port)) << GetLastError();
  const spooler::PortRecord record = spooler::portRecord(kHpPort);
  EXPECT_EQ((std::vector<DWORD>{7}), record.controlIds);
  EXPECT_EQ(1, record.endDocs);
  const Bytes cancelled(record.bytes.begin(), record.bytes.end());
  EXPECT_LT(cancelled.size(), whole.size());
  EXPECT_TRUE(cancelled == whole.substr(0, cancelled.size()));
}

// The monitor hands a printer name beyond ASCII to the settings store and
// the plug-in in the ANSI code page: the printer finds its settings and gets
// threshold files of its own, in a folder named after it.
TEST_F(EndToEnd, PrinterNameBeyondAsciiFindsItsSettingsAndDataFolder) {
  const std::string name = narrow(kAccentedPrinterW);
  if (name.empty()) GTEST_SKIP() << "the ANSI code page cannot write the printer's name";
  configure(name.c_str(), 1, 40, 50, 0);
  for (const char* file : {"kfile.red", "cfile.red"}) DeleteFileA(dataFile(name.c_str(), file).c_str());
  expectThinnedJob("hp-cdj550.prn", true, kAccentedPort, kAccentedPrinterW, 40, 50);
  EXPECT_EQ(kThresholdFileSize, readFile(dataFile(name.c_str(), "kfile.red")).size());
  EXPECT_NE(std::string::npos, dataFile(name.c_str(), "").find(narrow(L"\\E2E_B\u00FCrodrucker\\")));
}

TEST_F(EndToEnd, JobsOfPrintersWithReductionOffPassByteForByte) {
  configure(kHpPrinter, 0, 40, 50, 0);
  configure(kCanonPrinter, 0, 40, 50, 0);
  const Bytes hp = realJob("hp-cdj550.prn");
  const Bytes canon = realJob("canon-bjc600.prn");
  ASSERT_FALSE(hp.empty());
  ASSERT_FALSE(canon.empty());
  EXPECT_TRUE(hp == print(kHpPort, kHpPrinterW, 102, hp, 1000));
  EXPECT_TRUE(canon == print(kCanonPort, kCanonPrinterW, 202, canon, 777));
}

TEST_F(EndToEnd, HpAndCanonJobsPrintOnTwoPortsAtOnce) {
  configure(kHpPrinter, 1, 40, 50, 0);
  configure(kCanonPrinter, 1, 30, 60, 0);
  const Bytes hp = realJob("hp-cdj550.prn");
  const Bytes canon = realJob("canon-bjc600.prn");
  ASSERT_FALSE(hp.empty());
  ASSERT_FALSE(canon.empty());
  // The thinning depends only on the printer's threshold files and the row
  // numbers, so jobs printed side by side match the same jobs printed alone.
  const Bytes hpAlone = print(kHpPort, kHpPrinterW, 103, hp, 4096);
  const Bytes canonAlone = print(kCanonPort, kCanonPrinterW, 203, canon, 3000);
  ASSERT_FALSE(hpAlone == hp);
  spooler::resetPortMonitor();
  Bytes hpTogether, canonTogether;
  std::thread a([&] { hpTogether = print(kHpPort, kHpPrinterW, 104, hp, 4096); });
  std::thread b([&] { canonTogether = print(kCanonPort, kCanonPrinterW, 204, canon, 3000); });
  a.join();
  b.join();
  EXPECT_TRUE(hpAlone == hpTogether);
  EXPECT_TRUE(canonAlone == canonTogether);
}

// A pending calibration page is printed through the calibration library: the
// stored levels do not apply, the bands step down 100, 95, 85, ... from the
// third Y offset on, and the monitor clears the request (1 -> 0, 2 -> 3).
TEST_F(EndToEnd, HpCalibrationPageUsesTheCalibrationPassAndClearsTheRequest) {
  const Bytes page = hpCalibrationPage();
  const jobread::Job in = jobread::readHpJob(page);
  configure(kHpPrinter, 1, 50, 50, 1);
  const std::vector<double> shares = bandShares(in, jobread::readHpJob(print(kHpPort, kHpPrinterW, 105, page, 2048)));
  ASSERT_EQ(static_cast<size_t>(kBands), shares.size());
  EXPECT_EQ(0, GetPrintCalibrationPage(kHpPrinter));
  for (int band = 0; band < 3; ++band) EXPECT_EQ(100.0, shares[band]) << "band " << band;
  const double expected[kBands] = {100, 100, 100, 95, 85, 75, 65};
  for (int band = 3; band < kBands; ++band) EXPECT_NEAR(expected[band], shares[band], 3.0) << "band " << band;

  configure(kHpPrinter, 0, 50, 50, 2);  // the page's first document of two
  spooler::resetPortMonitor();
  const std::vector<double> second = bandShares(in, jobread::readHpJob(print(kHpPort, kHpPrinterW, 106, page, 2048)));
  EXPECT_EQ(3, GetPrintCalibrationPage(kHpPrinter));
  ASSERT_EQ(static_cast<size_t>(kBands), second.size());
  EXPECT_EQ(100.0, second[0]);
  EXPECT_LT(second[kBands - 1], 80.0);
}

TEST_F(EndToEnd, CanonCalibrationPageUsesTheCalibrationPassAndClearsTheRequest) {
  const Bytes page = canonCalibrationPage();
  const jobread::Job in = jobread::readCanonJob(page);
  configure(kCanonPrinter, 1, 50, 50, 1);
  const std::vector<double> shares =
      bandShares(in, jobread::readCanonJob(print(kCanonPort, kCanonPrinterW, 205, page, 2048)));
  ASSERT_EQ(static_cast<size_t>(kBands), shares.size());
  EXPECT_EQ(0, GetPrintCalibrationPage(kCanonPrinter));
  for (int band = 0; band < 3; ++band) EXPECT_EQ(100.0, shares[band]) << "band " << band;
  const double expected[kBands] = {100, 100, 100, 95, 85, 75, 65};
  for (int band = 3; band < kBands; ++band) EXPECT_NEAR(expected[band], shares[band], 3.0) << "band " << band;
}

// The Canon plug-in waits a second after it has handed the job back. A monitor
// unloaded by the spooler in that second must leave the plug-in's code (and
// its own) mapped until the thread has left it: the thread would otherwise
// crash the process when its wait ends. The plug-in goes with the thread.
TEST_F(EndToEnd, MonitorUnloadedWhileTheCanonThreadFinishesKeepsItsCodeMapped) {
  configure(kCanonPrinter, 1, 30, 60, 0);
  const Bytes page = canonCalibrationPage();
  const std::vector<DWORD> before = processThreads();
  EXPECT_FALSE(page == print(kCanonPort, kCanonPrinterW, 206, page, 4096));
  std::vector<HANDLE> started;  // the job's parse thread, still in the plug-in's final wait
  for (DWORD id : processThreads())
    if (std::find(before.begin(), before.end(), id) == before.end())
      if (HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, id)) started.push_back(thread);
  ASSERT_NE(nullptr, GetModuleHandleW(L"VaskCA.dll"));
  ASSERT_TRUE(FreeLibrary(monitor_));
  table_ = nullptr;
  for (HANDLE thread : started) {
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
    CloseHandle(thread);
  }
  EXPECT_EQ(nullptr, GetModuleHandleW(L"VaskCA.dll"));
  EXPECT_EQ(nullptr, GetModuleHandleW(L"CorvantaLM.dll"));
  loadMonitor();
}

}  // namespace
