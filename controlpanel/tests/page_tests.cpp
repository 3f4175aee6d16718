// The calibration page printed through Wine's spooler to files, rendered by
// Ghostscript and read back: rows, labels, documents and the page value; and
// the bitmap file checks the page relies on.
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

std::string pageFolder() {
  std::string path = std::string("Z:") + std::getenv("CORVANTA_BINARY_DIR") + "/page";
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

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
  const std::vector<uint8_t> kids = readFile(pageFolder() + "\\kids.bmp");
  ASSERT_GT(kids.size(), 54u);
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string path = std::string(temp) + "corvanta_bitmap_test.bmp";

  BitmapFile bitmap;
  ASSERT_TRUE(bitmap.load((pageFolder() + "\\kids.bmp").c_str()));
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
    setPageFolder(pageFolder());
    geometry_ = page_test::geometryOf(kPrinter);
    ASSERT_GT(geometry_.hr, 0);
  }
  void TearDown() override {
    if (resources_) FreeLibrary(resources_);
  }
  void setPageFolder(const std::string& folder) {
    setRaw(HKEY_LOCAL_MACHINE, kMachineKey, "PagePath", REG_SZ, folder.c_str(),
           static_cast<DWORD>(folder.size() + 1));
  }
  bool print(int variant) {
    HDC dc = CreateDCA(nullptr, kPrinter, nullptr, nullptr);
    EXPECT_NE(nullptr, dc);
    const bool printed = control_panel::printCalibrationDocuments(dc, variant, kPrinter, resources_);
    DeleteDC(dc);
    return printed;
  }
  long long pageValue() { return readDword(HKEY_USERS, sharedPrinter(kPrinter), "PrintCalibrationPage"); }
  // The picture rows of job n, which starts below the header when it has one.
  std::vector<page_test::PrintedRow> rowsOf(int job, bool header, const std::string& screenshot) {
    EXPECT_TRUE(page_test::keepScreenshot(printer_.jobFile(job, ".png"), screenshot));
    const page_test::GreyImage page = page_test::readPgm(printer_.jobFile(job, ".pgm"), 40);
    EXPECT_FALSE(page.pixels.empty()) << "no rendering of job " << job;
    return page_test::printedRows(page, geometry_, header ? geometry_.headerBottom() : 0);
  }
  static void expectLabelled(const std::vector<page_test::PrintedRow>& rows) {
    for (size_t r = 0; r < rows.size(); ++r) EXPECT_TRUE(rows[r].labelled) << "row " << r << " has no level";
  }

  RegistryGuard guard_;
  page_test::FilePrinter printer_{kPrinter};
  HMODULE resources_ = nullptr;
  page_test::DeviceGeometry geometry_;
};

TEST_F(CalibrationPage, OneDocumentOfNineLabelledRows) {
  ASSERT_TRUE(print(1));
  EXPECT_EQ(1, pageValue());
  ASSERT_EQ(1, printer_.waitForJobs(1));
  const auto rows = rowsOf(0, true, "calibration_page_one_document");
  EXPECT_EQ(9u, rows.size());
  expectLabelled(rows);
  // Nothing more arrives.
  EXPECT_EQ(1, printer_.waitForJobs(2, 1000));
}

TEST_F(CalibrationPage, TwoDocumentsOfFourAndFiveRows) {
  ASSERT_TRUE(print(2));
  EXPECT_EQ(2, pageValue());
  ASSERT_EQ(2, printer_.waitForJobs(2));
  const auto first = rowsOf(0, true, "calibration_page_two_documents_1");
  const auto second = rowsOf(1, false, "calibration_page_two_documents_2");
  EXPECT_EQ(4u, first.size());
  EXPECT_EQ(5u, second.size());
  expectLabelled(first);
  expectLabelled(second);
}

TEST_F(CalibrationPage, FailuresResetThePageValueAndPrintNothing) {
  // Without "bars.bmp" and "kids.bmp" the rows have no height: the page fails.
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + "corvanta page without pictures";
  CreateDirectoryA(folder.c_str(), nullptr);
  CopyFileA((pageFolder() + "\\logo.bmp").c_str(), (folder + "\\logo.bmp").c_str(), FALSE);
  setPageFolder(folder);
  setDword(HKEY_USERS, sharedPrinter(kPrinter), "PrintCalibrationPage", 3);
  EXPECT_FALSE(print(1));
  EXPECT_EQ(0, pageValue());

  // Without a page folder nothing is marked.
  setPageFolder("");
  setDword(HKEY_USERS, sharedPrinter(kPrinter), "PrintCalibrationPage", 3);
  EXPECT_FALSE(print(2));
  EXPECT_EQ(3, pageValue());
  EXPECT_EQ(0, printer_.waitForJobs(1, 1500));
  DeleteFileA((folder + "\\logo.bmp").c_str());
  RemoveDirectoryA(folder.c_str());
}

}  // namespace
