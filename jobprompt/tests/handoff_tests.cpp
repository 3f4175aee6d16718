// The per-job dialog in the print path: the real CorvantaLM.dll, its real
// plug-ins and libraries and the real JobPrompt.dll with the language
// resource libraries, fed a real HP job as the spooler feeds it. The job's
// first write opens the dialog; the test, as the user, answers it and checks
// that what reaches the port follows the choice. Only the port monitor, which
// records what would reach the printer, is a stand-in.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "CorvantaReg.h"
#include "monitor_internal.h"
#include "prompt_ids.h"
#include "prompt_user.h"
#include "raster_job.h"
#include "registry_guard.h"
#include "spooler_standins.h"

using namespace job_prompt;
using namespace prompt_test;
using jobread::Bytes;

namespace {

constexpr char kPrinter[] = "Prompt E2E DeskJet";
constexpr wchar_t kPrinterW[] = L"Prompt E2E DeskJet";
constexpr wchar_t kPort[] = L"PE2E1:";
constexpr char kOtherPrinter[] = "Prompt E2E Other DeskJet";
constexpr wchar_t kOtherPrinterW[] = L"Prompt E2E Other DeskJet";
constexpr wchar_t kOtherPort[] = L"PE2E2:";

// A job the fixture rendered with Ghostscript; the build tree seen through Wine's Z: drive.
Bytes realJob(const char* name) {
  const char* binary = std::getenv("CORVANTA_BINARY_DIR");
  if (!binary) return {};
  std::ifstream in((binary[0] == '/' ? std::string("Z:") : std::string()) + binary + "/end-to-end-jobs/" + name,
                   std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Percent of the black and of the colour dots of `in` that `out` kept.
std::pair<double, double> keptShares(const Bytes& in, const Bytes& out) {
  uint64_t dots[2][2] = {};  // [black, colour][in, out]
  const jobread::Job jobs[2] = {jobread::readHpJob(in), jobread::readHpJob(out)};
  for (int side = 0; side < 2; ++side)
    for (const jobread::Page& page : jobs[side].pages)
      for (const auto& row : page.rows)
        for (const jobread::PlaneRow& plane : row)
          dots[plane.ink == 'K' || plane.ink == 'k' ? 0 : 1][side] += jobread::countDots(plane);
  EXPECT_GT(dots[0][0], 10000u);
  EXPECT_GT(dots[1][0], 10000u);
  return {100.0 * double(dots[0][1]) / double(std::max<uint64_t>(dots[0][0], 1)),
          100.0 * double(dots[1][1]) / double(std::max<uint64_t>(dots[1][0], 1))};
}

class JobPromptHandOff : public testing::Test {
 protected:
  static settings_test::RegistryGuard* guard_;
  static corvanta_lm::MonitorTable* table_;
  static HMODULE monitor_;

  static void SetUpTestSuite() {
    guard_ = new settings_test::RegistryGuard;
    spooler::setManufacturer(kPrinter, 0);
    spooler::setManufacturer(kOtherPrinter, 0);
    static char names[260][260];
    int32_t count = 0;
    const SettingPair defaults[] = {{"InkReduction", 1},     {"DisplayInk", 0},        {"BlackLevel", 25},
                                    {"ColorLevel", 25},      {"BlackCost", 0x00640000}, {"ColorCost", 0x00640000},
                                    {"BlackCartPerYear", 0}, {"ColorCartPerYear", 0},  {"PrintCalibrationPage", 0}};
    ASSERT_EQ(0, SyncUserSettings(names, &count, defaults, 9));
    monitor_ = LoadLibraryW(L"CorvantaLM.dll");
    ASSERT_NE(nullptr, monitor_) << "CorvantaLM.dll: " << GetLastError();
    auto init = corvanta_lm::procAddress<corvanta_lm::InitializePrintMonitorFunction>(monitor_,
                                                                                      "InitializePrintMonitor");
    ASSERT_NE(nullptr, init);
    table_ = init(const_cast<LPWSTR>(spooler::setMonitorKey(L"Corvanta Prompt E2E LM", nullptr).c_str()));
    ASSERT_NE(nullptr, table_);
  }

  static void TearDownTestSuite() {
    delete guard_;  // puts the product's registry trees back as they were
  }

  void SetUp() override {
    ASSERT_NE(nullptr, table_);
    spooler::resetPortMonitor();
    SetPerJob(0);
    // The dialog is offered before each job of the first printer only.
    for (const char* printer : {kPrinter, kOtherPrinter}) {
      SetInkReduction(printer, 1);
      SetBlackLevel(printer, 25);
      SetColorLevel(printer, 25);
      SetDisplayInk(printer, printer == kPrinter ? 1 : 0);
    }
  }

  // One job as the spooler sends it, in writes of 4096 bytes; returns what
  // reached the port.
  static Bytes print(const wchar_t* port, const wchar_t* printer, DWORD jobId, const Bytes& job) {
    const corvanta_lm::PortFunctions& lm = table_->functions;
    HANDLE handle = nullptr;
    if (!lm.openPortEx(const_cast<LPWSTR>(port), const_cast<LPWSTR>(printer), &handle, spooler::portMonitor())) {
      ADD_FAILURE() << "OpenPortEx: " << GetLastError();
      return {};
    }
    DOC_INFO_1W info = {const_cast<LPWSTR>(L"Prompt page"), nullptr, nullptr};
    EXPECT_TRUE(lm.startDocPort(handle, const_cast<LPWSTR>(printer), jobId, 1, reinterpret_cast<LPBYTE>(&info)));
    for (size_t at = 0; at < job.size(); at += 4096) {
      DWORD size = static_cast<DWORD>(std::min<size_t>(4096, job.size() - at)), written = 0;
      EXPECT_TRUE(lm.writePort(handle, reinterpret_cast<LPBYTE>(const_cast<char*>(job.data() + at)), size, &written))
          << "WritePort at " << at << ": " << GetLastError();
    }
    EXPECT_TRUE(lm.endDocPort(handle)) << GetLastError();
    EXPECT_TRUE(lm.closePort(handle)) << GetLastError();
    const spooler::PortRecord record = spooler::portRecord(port);
    return Bytes(record.bytes.begin(), record.bytes.end());
  }

  // Prints `job` for the first printer on a spooler thread while this thread
  // answers the dialog its first write opens; returns what reached the port.
  static Bytes printAnswering(const Bytes& job, const std::function<void(User&)>& answer) {
    Bytes out;
    std::atomic<bool> done{false};
    std::thread spooler([&] {
      out = print(kPort, kPrinterW, 31, job);
      done = true;
    });
    EXPECT_TRUE(gui::waitUntil([&] { return done || !dialogsWith(kSaveButton).empty(); }, 10000));
    const std::vector<HWND> dialogs = dialogsWith(kSaveButton);
    if (HWND dialog = dialogs.empty() ? nullptr : dialogs.front()) {
      User user{dialog};
      EXPECT_EQ(kPrinter, user.text(kPrinterNameText));
      EXPECT_TRUE(spooler::portRecord(kPort).bytes.empty()) << "the job waits for the user";
      answer(user);
      EXPECT_TRUE(user.closed());
    } else {
      ADD_FAILURE() << "no dialog before the job";
    }
    spooler.join();
    return out;
  }
};
settings_test::RegistryGuard* JobPromptHandOff::guard_ = nullptr;
corvanta_lm::MonitorTable* JobPromptHandOff::table_ = nullptr;
HMODULE JobPromptHandOff::monitor_ = nullptr;

TEST_F(JobPromptHandOff, ReductionSwitchedOffInTheDialogPassesTheJobByteForByte) {
  const Bytes job = realJob("hp-cdj550-colour.prn");
  ASSERT_GT(job.size(), 10000u) << "the fixture renders the jobs";
  const Bytes out = printAnswering(job, [](User& user) {
    user.click(kReductionCheck);
    EXPECT_TRUE(gui::waitUntil([&] { return !user.checked(kReductionCheck); }));
    user.click(kSaveButton);
  });
  EXPECT_TRUE(job == out) << out.size() << " bytes of " << job.size();
  EXPECT_EQ(0, GetInkReduction(kPrinter));
}

TEST_F(JobPromptHandOff, LevelsChosenInTheDialogThinTheJob) {
  const Bytes job = realJob("hp-cdj550-colour.prn");
  ASSERT_GT(job.size(), 10000u) << "the fixture renders the jobs";
  const Bytes out = printAnswering(job, [](User& user) {
    user.pressKeys(kBlackSlider, {VK_HOME, VK_NEXT, VK_NEXT, VK_NEXT, VK_NEXT, VK_NEXT, VK_NEXT, VK_NEXT, VK_NEXT,
                                  VK_NEXT, VK_NEXT, VK_NEXT, VK_NEXT});
    EXPECT_TRUE(gui::waitUntil([&] { return user.text(kBlackBox) == "60"; })) << user.text(kBlackBox);
    EXPECT_TRUE(user.type(kColorBox, "40"));
    user.click(kSaveButton);
  });
  const auto [black, colour] = keptShares(job, out);
  RecordProperty("kept black/colour percent", std::to_string(black) + " " + std::to_string(colour));
  EXPECT_NEAR(40.0, black, 3.0);
  EXPECT_NEAR(60.0, colour, 3.0);
  EXPECT_EQ(60, GetBlackLevel(kPrinter));
  EXPECT_EQ(40, GetColorLevel(kPrinter));
  EXPECT_EQ(1, GetPerJob());
}

TEST_F(JobPromptHandOff, AnotherPortKeepsPrintingWhileAJobWaitsForItsDialog) {
  const Bytes job = realJob("hp-cdj550-colour.prn");
  ASSERT_GT(job.size(), 10000u) << "the fixture renders the jobs";
  SetInkReduction(kOtherPrinter, 0);
  const Bytes out = printAnswering(job, [&](User& user) {
    EXPECT_TRUE(job == print(kOtherPort, kOtherPrinterW, 32, job)) << "the other port's job, unfiltered, in full";
    EXPECT_TRUE(IsWindow(user.dialog));
    user.closeWindow();
  });
  // Closed without saving: the stored levels thin the job.
  const auto [black, colour] = keptShares(job, out);
  EXPECT_NEAR(75.0, black, 3.0);
  EXPECT_NEAR(75.0, colour, 3.0);
  EXPECT_EQ(0, GetPerJob());
}

}  // namespace
