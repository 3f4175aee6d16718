// PortSwitch, BidiOn and CorvantaCheck against the test prefix's real spooler
// and registry: BidiOn runs as a process, as installation starts it;
// PortSwitch's 9x path and CorvantaCheck's minute of waiting go through the
// platform id and the clock seam in process.
#include <windows.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <string>

#include "bidi_on.h"
#include "monitor_rehook.h"
#include "port_switch.h"
#include "registry_guard.h"
#include "test_seams.h"
#include "tool_test_support.h"

using namespace tools_test;

namespace {

constexpr DWORD kNineX = VER_PLATFORM_WIN32_WINDOWS;

TEST(PortSwitch, NineXMovesAPrinterOnlyFromTheExactParallelPortName) {
  TestDriver driver("Corvanta Tools Test Driver", "");
  LocalPort product1("Corvanta Port 1");
  LocalPort product2("Corvanta Port 2");
  TestPrinter parallel("Corvanta Switch LPT2", "LPT2:", driver.name());
  TestPrinter lower("Corvanta Switch lower", "lpt2:", driver.name());
  TestPrinter serial("Corvanta Switch COM1", "COM1:", driver.name());
  TestPrinter moved("Corvanta Switch moved", "Corvanta Port 1", driver.name());
  ASSERT_TRUE(parallel.added() && lower.added() && serial.added() && moved.added()) << parallel.error();
  const std::string lowerPort = printerPort("Corvanta Switch lower");
  ASSERT_EQ("lpt2:", lowerPort);

  for (const char* name : {"Corvanta Switch LPT2", "Corvanta Switch lower", "Corvanta Switch COM1",
                           "Corvanta Switch moved"})
    EXPECT_EQ("", tools::switchPrinterPort(name, kNineX)) << name;
  EXPECT_EQ("Corvanta Port 2", printerPort("Corvanta Switch LPT2"));
  EXPECT_EQ(lowerPort, printerPort("Corvanta Switch lower"));
  EXPECT_EQ("COM1:", printerPort("Corvanta Switch COM1"));
  EXPECT_EQ("Corvanta Port 1", printerPort("Corvanta Switch moved")) << "there is no way back";
}

TEST(PortSwitch, NtReadsAndWritesNothing) {
  TestDriver driver("Corvanta Tools Test Driver", "");
  TestPrinter parallel("Corvanta Switch LPT3", "LPT3:", driver.name());
  ASSERT_TRUE(parallel.added()) << parallel.error();
  std::string output = "unset";
  EXPECT_TRUE(runToolToEnd("PortSwitch.exe", "Corvanta Switch LPT3", &output));
  EXPECT_EQ("", output);
  EXPECT_EQ("", tools::switchPrinterPort("No Such Printer", VER_PLATFORM_WIN32_NT)) << "not even opened";
  EXPECT_EQ("LPT3:", printerPort("Corvanta Switch LPT3"));
}

TEST(PortSwitch, NamesThatOpenNoPrinterGiveTheErrorLine) {
  TestDriver driver("Corvanta Tools Test Driver", "");
  TestPrinter parallel("Corvanta Switch LPT4", "LPT4:", driver.name());
  ASSERT_TRUE(parallel.added()) << parallel.error();
  EXPECT_EQ("ERROR: OpenPrinter(No Such Printer) Failed!\n", tools::switchPrinterPort("No Such Printer", kNineX));
  EXPECT_EQ("ERROR: OpenPrinter() Failed!\n", tools::switchPrinterPort("", kNineX)) << "not the print server";
  // A command line far beyond 256 bytes is taken whole: it names no printer,
  // and the printer its first bytes name is not touched.
  const std::string longName = "Corvanta Switch LPT4" + std::string(400, 'x');
  EXPECT_EQ(longName, tools::commandLineTail(("\"C:\\Program Files\\Corvanta\\PortSwitch.exe\"  " + longName).c_str()));
  EXPECT_EQ("ERROR: OpenPrinter(" + longName + ") Failed!\n", tools::switchPrinterPort(longName, kNineX));
  EXPECT_EQ("LPT4:", printerPort("Corvanta Switch LPT4"));
  EXPECT_EQ("HP DeskJet 550C ", tools::commandLineTail("PortSwitch\tHP DeskJet 550C "));
}

TEST(BidiOn, EveryConfiguredPrinterGetsBidiAndKeepsItsOtherAttributes) {
  settings_test::RegistryGuard guard;
  TestDriver driver("Corvanta Tools Test Driver", "");
  const DWORD kept = PRINTER_ATTRIBUTE_QUEUED | PRINTER_ATTRIBUTE_KEEPPRINTEDJOBS;
  TestPrinter plain("Corvanta Bidi Plain", "LPT1:", driver.name(), kept);
  TestPrinter already("Corvanta Bidi Already", "LPT1:", driver.name(), kept | PRINTER_ATTRIBUTE_ENABLE_BIDI);
  TestPrinter other("Corvanta Bidi Unconfigured", "LPT1:", driver.name(), kept);
  ASSERT_TRUE(plain.added() && already.added() && other.added()) << plain.error();
  const DWORD plainBefore = printerAttributes("Corvanta Bidi Plain");
  const DWORD alreadyBefore = printerAttributes("Corvanta Bidi Already");
  ASSERT_EQ(kept, plainBefore & kept);
  configurePrinter("Corvanta Bidi Gone");  // no such printer: skipped, no message
  configurePrinter("Corvanta Bidi Plain");
  configurePrinter("Corvanta Bidi Already");

  std::string output;
  EXPECT_TRUE(runToolToEnd("BidiOn.exe", "", &output));
  EXPECT_EQ("", output);
  EXPECT_EQ(plainBefore | PRINTER_ATTRIBUTE_ENABLE_BIDI, printerAttributes("Corvanta Bidi Plain"));
  EXPECT_EQ(alreadyBefore, printerAttributes("Corvanta Bidi Already"));
  EXPECT_EQ(plainBefore, printerAttributes("Corvanta Bidi Unconfigured"));
}

const std::string kMonitors = std::string(tools::kMonitorsKey) + "\\";

struct Monitor {
  Monitor(const std::string& name, const std::string& driver, const char* original) : key(HKEY_LOCAL_MACHINE, kMonitors + name) {
    writeString(HKEY_LOCAL_MACHINE, key.path(), "Driver", driver);
    if (original) writeString(HKEY_LOCAL_MACHINE, key.path(), "OriginalDriver", original);
  }
  std::string value(const char* name, DWORD* type = nullptr) const {
    std::string text = "<missing>";
    readString(HKEY_LOCAL_MACHINE, key.path(), name, &text, type);
    return text;
  }
  ScopedKey key;
};

TEST(CorvantaCheck, AfterAMinuteEachConfiguredPrintersMonitorLoadsCorvantaLM) {
  settings_test::RegistryGuard guard;
  Monitor vendor("Corvanta Test Vendor LM", "vendorlm.dll", "older.dll");
  Monitor hooked("Corvanta Test Hooked LM", "corvantaLM.DLL", "keep.dll");
  Monitor unused("Corvanta Test Unused LM", "unused.dll", nullptr);
  TestDriver vendorDriver("Corvanta Tools Vendor Driver", "Corvanta Test Vendor LM");
  TestDriver hookedDriver("Corvanta Tools Hooked Driver", "Corvanta Test Hooked LM");
  TestDriver plainDriver("Corvanta Tools Test Driver", "");
  TestPrinter first("Corvanta Rehook First", "LPT1:", vendorDriver.name());
  TestPrinter second("Corvanta Rehook Second", "LPT1:", vendorDriver.name());
  TestPrinter hookedPrinter("Corvanta Rehook Hooked", "LPT1:", hookedDriver.name());
  TestPrinter noMonitor("Corvanta Rehook None", "LPT1:", plainDriver.name());
  ASSERT_TRUE(first.added() && second.added() && hookedPrinter.added() && noMonitor.added()) << first.error();
  for (const char* name : {"Corvanta Rehook Gone", "Corvanta Rehook First", "Corvanta Rehook Second",
                           "Corvanta Rehook Hooked", "Corvanta Rehook None"})
    configurePrinter(name);

  testing_seams::VirtualClock clock;
  std::string duringWait;
  clock.onSleep([&](uint32_t ms, uint64_t) {
    if (ms == tools::kRehookDelayMs) duringWait = vendor.value("Driver");
  });
  tools::rehookConfiguredPrinters();
  EXPECT_EQ(1u, clock.sleepsOf(60000));
  EXPECT_EQ(60000u, clock.nowMs());
  EXPECT_EQ("vendorlm.dll", duringWait) << "nothing is changed before the minute is over";
  DWORD type = 0;
  EXPECT_EQ("CorvantaLM.dll", vendor.value("Driver", &type));
  EXPECT_EQ(DWORD(REG_SZ), type);
  EXPECT_EQ("vendorlm.dll", vendor.value("OriginalDriver")) << "the second printer found it hooked";
  EXPECT_EQ("corvantaLM.DLL", hooked.value("Driver"));
  EXPECT_EQ("keep.dll", hooked.value("OriginalDriver"));
  EXPECT_EQ("unused.dll", unused.value("Driver"));
  EXPECT_EQ("<missing>", unused.value("OriginalDriver"));
}

TEST(CorvantaCheck, DriverValuesThatCannotBeCopiedWholeAreLeftAlone) {
  Monitor expand("Corvanta Test Expand LM", "", nullptr);
  writeString(HKEY_LOCAL_MACHINE, expand.key.path(), "Driver", "%SystemRoot%\\vendor.dll", REG_EXPAND_SZ);
  const std::string longest(259, 'a');  // 260 bytes with its NUL
  Monitor exact("Corvanta Test Exact LM", longest, "older.dll");
  Monitor tooLong("Corvanta Test Long LM", std::string(260, 'b'), "older.dll");
  Monitor unterminated("Corvanta Test Unterminated LM", "", "older.dll");
  writeValue(HKEY_LOCAL_MACHINE, unterminated.key.path(), "Driver", REG_SZ, std::string(260, 'c').data(), 260);
  Monitor binary("Corvanta Test Binary LM", "", "older.dll");
  writeValue(HKEY_LOCAL_MACHINE, binary.key.path(), "Driver", REG_BINARY, "vendor.dll", 11);
  Monitor empty("Corvanta Test Empty LM", "", "older.dll");
  Monitor withFolder("Corvanta Test Folder LM", "C:\\windows\\system32\\CORVANTALM.dll", "older.dll");

  for (const Monitor* monitor : {&expand, &exact, &tooLong, &unterminated, &binary, &empty, &withFolder})
    tools::rehookMonitor(monitor->key.path().substr(kMonitors.size()).c_str());
  tools::rehookMonitor("Corvanta Test Missing LM");
  tools::rehookMonitor("..\\Corvanta Test Expand LM");

  DWORD type = 0;
  EXPECT_EQ("%SystemRoot%\\vendor.dll", expand.value("OriginalDriver", &type));
  EXPECT_EQ(DWORD(REG_EXPAND_SZ), type);
  EXPECT_EQ("CorvantaLM.dll", expand.value("Driver", &type));
  EXPECT_EQ(DWORD(REG_EXPAND_SZ), type) << "the type of the value read";
  EXPECT_EQ(longest, exact.value("OriginalDriver"));
  EXPECT_EQ("CorvantaLM.dll", exact.value("Driver"));
  for (const Monitor* monitor : {&tooLong, &unterminated, &binary, &empty, &withFolder}) {
    EXPECT_EQ("older.dll", monitor->value("OriginalDriver")) << monitor->key.path();
    EXPECT_NE("CorvantaLM.dll", monitor->value("Driver")) << monitor->key.path();
  }
}

}  // namespace
