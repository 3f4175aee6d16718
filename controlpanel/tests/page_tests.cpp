// The bitmap file checks the calibration page relies on, and the page's
// failures drawn in process on a printer whose jobs reach files: the page
// value afterwards and nothing printed. The page itself is printed by the
// real program's button (page_button_tests.cpp).
#include "bitmap_file.h"
#include "calibration_page.h"
#include "gui_driver.h"
#include "page_printer.h"
#include "registry_guard.h"

#include "CorvantaReg.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace settings_test;
using control_panel::BitmapFile;

constexpr char kPrinter[] = "Corvanta Page Test";

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

void put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

TEST(BitmapFile, EverySizeFieldIsCheckedAgainstTheFile) {
  const std::vector<uint8_t> kids = readFile(page_test::pageFolder() + "\\kids.bmp");
  ASSERT_GT(kids.size(), 54u);
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string path = std::string(temp) + "corvanta_bitmap_test.bmp";

  BitmapFile bitmap;
  ASSERT_TRUE(bitmap.load((page_test::pageFolder() + "\\kids.bmp").c_str()));
  EXPECT_EQ(440, bitmap.width());
  EXPECT_EQ(330, bitmap.height());

  // A 2 x 2 bitmap with the 12-byte core header takes its size from 16-bit fields.
  std::vector<uint8_t> core = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 26, 0, 0, 0, 12, 0, 0, 0, 2, 0, 2, 0, 1, 0, 24, 0};
  core.resize(26 + 16, 0x80);
  put32(core, 2, static_cast<uint32_t>(core.size()));
  writeFile(path, core);
  ASSERT_TRUE(bitmap.load(path.c_str()));
  EXPECT_EQ(2, bitmap.width());
  EXPECT_EQ(2, bitmap.height());

  struct Fault {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  std::vector<Fault> faults;
  auto variant = [&](const char* what, auto change) {
    std::vector<uint8_t> bytes = kids;
    change(bytes);
    faults.push_back({what, bytes});
  };
  variant("size field one byte more than the file", [](auto& b) { put32(b, 2, static_cast<uint32_t>(b.size() + 1)); });
  variant("size field one byte less than the file", [](auto& b) { put32(b, 2, static_cast<uint32_t>(b.size() - 1)); });
  variant("file cut short, size field matching", [](auto& b) {
    b.resize(b.size() - 1000);
    put32(b, 2, static_cast<uint32_t>(b.size()));
  });
  variant("not BM", [](auto& b) { b[0] = 'X'; });
  variant("pixels start past the end", [](auto& b) { put32(b, 10, static_cast<uint32_t>(b.size() + 10)); });
  variant("height larger than the pixels", [](auto& b) { put32(b, 22, 331); });
  variant("width near 2^31", [](auto& b) { put32(b, 18, 0x7FFFFFF0u); });
  variant("header larger than the file", [](auto& b) { put32(b, 14, 0x10000000u); });
  variant("colour table past the end", [](auto& b) {
    b[28] = 8;  // 8 bits per pixel with 2^31 colours used
    put32(b, 46, 0x80000000u);
    b.resize(200);
    put32(b, 2, 200);
  });
  faults.push_back({"header only", std::vector<uint8_t>(kids.begin(), kids.begin() + 20)});
  put32(faults.back().bytes, 2, 20);
  faults.push_back({"empty file", {}});
  for (const Fault& fault : faults) {
    writeFile(path, fault.bytes);
    EXPECT_FALSE(bitmap.load(path.c_str())) << fault.what;
    EXPECT_FALSE(bitmap.valid()) << fault.what;
  }
  EXPECT_FALSE(bitmap.load((std::string(temp) + "no such file.bmp").c_str()));
  DeleteFileA(path.c_str());
}

class CalibrationPage : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(printer_.ready()) << printer_.error();
    resources_ = LoadLibraryExA("CorvantaRes.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, resources_) << GetLastError();
    createKey(HKEY_LOCAL_MACHINE, machinePrinter(kPrinter));
    createKey(HKEY_USERS, sharedPrinter(kPrinter));
    setDword(HKEY_USERS, sharedPrinter(kPrinter), "PrintCalibrationPage", 0);
    page_test::setPageFolder(page_test::pageFolder());
  }
  void TearDown() override {
    if (resources_) FreeLibrary(resources_);
  }
  bool print(int variant) {
    HDC dc = CreateDCA(nullptr, kPrinter, nullptr, nullptr);
    EXPECT_NE(nullptr, dc);
    const bool printed = control_panel::printCalibrationDocuments(dc, variant, kPrinter, resources_);
    DeleteDC(dc);
    return printed;
  }
  long long pageValue() { return readDword(HKEY_USERS, sharedPrinter(kPrinter), "PrintCalibrationPage"); }

  RegistryGuard guard_;
  page_test::FilePrinter printer_{kPrinter};
  HMODULE resources_ = nullptr;
};

TEST_F(CalibrationPage, FailuresResetThePageValueAndPrintNothing) {
  // Without "bars.bmp" and "kids.bmp" the rows have no height: the page fails.
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + "corvanta page without pictures";
  CreateDirectoryA(folder.c_str(), nullptr);
  CopyFileA((page_test::pageFolder() + "\\logo.bmp").c_str(), (folder + "\\logo.bmp").c_str(), FALSE);
  page_test::setPageFolder(folder);
  setDword(HKEY_USERS, sharedPrinter(kPrinter), "PrintCalibrationPage", 3);
  EXPECT_FALSE(print(1));
  EXPECT_EQ(0, pageValue());

  // Without a page folder nothing is marked.
  page_test::setPageFolder("");
  setDword(HKEY_USERS, sharedPrinter(kPrinter), "PrintCalibrationPage", 3);
  EXPECT_FALSE(print(2));
  EXPECT_EQ(3, pageValue());
  EXPECT_EQ(0, printer_.waitForJobs(1, 1500));
  DeleteFileA((folder + "\\logo.bmp").c_str());
  RemoveDirectoryA(folder.c_str());
}

}  // namespace
