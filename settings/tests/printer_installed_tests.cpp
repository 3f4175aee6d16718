// IsPrinterInstalled against printers the spooler of the test prefix knows.
#include <windows.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CorvantaReg.h"

namespace {

// The first printer driver installed in the prefix, or empty.
std::string installedDriver() {
  DWORD needed = 0;
  DWORD returned = 0;
  EnumPrinterDriversA(nullptr, nullptr, 1, nullptr, 0, &needed, &returned);
  if (needed == 0) return {};
  std::vector<BYTE> buffer(needed);
  if (!EnumPrinterDriversA(nullptr, nullptr, 1, buffer.data(), needed, &needed, &returned) || returned == 0)
    return {};
  return reinterpret_cast<DRIVER_INFO_1A*>(buffer.data())->pName;
}

class SpoolerPrinter {
 public:
  SpoolerPrinter(const std::string& name, const std::string& driver) {
    PRINTER_INFO_2A info = {};
    info.pPrinterName = const_cast<char*>(name.c_str());
    info.pPortName = const_cast<char*>("FILE:");
    info.pDriverName = const_cast<char*>(driver.c_str());
    info.pPrintProcessor = const_cast<char*>("WinPrint");
    info.pDatatype = const_cast<char*>("RAW");
    handle_ = AddPrinterA(nullptr, 2, reinterpret_cast<BYTE*>(&info));
    error_ = handle_ ? 0 : GetLastError();
  }
  ~SpoolerPrinter() {
    if (!handle_) return;
    DeletePrinter(handle_);
    ClosePrinter(handle_);
  }
  SpoolerPrinter(const SpoolerPrinter&) = delete;
  SpoolerPrinter& operator=(const SpoolerPrinter&) = delete;
  bool added() const { return handle_ != nullptr; }
  DWORD error() const { return error_; }

 private:
  HANDLE handle_ = nullptr;
  DWORD error_ = 0;
};

// A fresh prefix has no printer driver: install one whose files are Wine's
// own PostScript driver, so AddPrinter has something to name.
std::string ensureDriver(bool* installed) {
  *installed = false;
  std::string driver = installedDriver();
  if (!driver.empty()) return driver;
  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, MAX_PATH);
  std::string file = std::string(system) + "\\wineps.drv";
  DRIVER_INFO_3A info = {};
  info.cVersion = 3;
  info.pName = const_cast<char*>("Corvanta Settings Test Driver");
  info.pDriverPath = const_cast<char*>(file.c_str());
  info.pDataFile = const_cast<char*>(file.c_str());
  info.pConfigFile = const_cast<char*>(file.c_str());
  if (!AddPrinterDriverExA(nullptr, 3, reinterpret_cast<BYTE*>(&info), APD_COPY_NEW_FILES)) {
    ADD_FAILURE() << "AddPrinterDriverEx: " << GetLastError();
    return {};
  }
  *installed = true;
  return info.pName;
}

TEST(IsPrinterInstalled, ExactCaseSensitiveMatchOnTheSpoolerList) {
  bool installed = false;
  const std::string driver = ensureDriver(&installed);
  ASSERT_FALSE(driver.empty()) << "no printer driver in the prefix";
  const std::string name = "Corvanta Settings Test Deskjet";
  {
    SpoolerPrinter printer(name, driver);
    ASSERT_TRUE(printer.added()) << "AddPrinter with " << driver << " failed: " << printer.error();
    EXPECT_EQ(0, IsPrinterInstalled(name.c_str()));
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, IsPrinterInstalled("CORVANTA SETTINGS TEST DESKJET"));
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, IsPrinterInstalled("Corvanta Settings Test"));
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, IsPrinterInstalled((name + " ").c_str()));
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, IsPrinterInstalled(""));
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, IsPrinterInstalled(nullptr));
  }
  EXPECT_EQ(ERROR_NO_MORE_ITEMS, IsPrinterInstalled(name.c_str())) << "deleted with its printer";
  if (installed) EXPECT_TRUE(DeletePrinterDriverA(nullptr, nullptr, const_cast<char*>(driver.c_str())));
}

}  // namespace
