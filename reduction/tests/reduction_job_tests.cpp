// The job calls: which matrix row thins which plane row, how pages find,
// build and rebuild the printer's threshold files, and what happens when
// memory, the data folder or the handle is missing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "block.h"
#include "reduction.h"
#include "test_files.h"
#include "test_seams.h"

namespace {

using namespace reduction_tests;

std::string dataFolder(const std::string& sanitisedName) {
  const char sep = platform::pathSeparator();
  return platform::appDataFolder() + sep + "Corvanta" + sep + sanitisedName + sep;
}

// A printer whose threshold files are removed first, so each test starts clean.
struct Printer {
  explicit Printer(std::string printerName) : name(std::move(printerName)) {
    std::string sanitised = name;
    for (char& c : sanitised)
      if (std::strchr("\"/\\?<>:*| ", c)) c = '_';
    folder = dataFolder(sanitised);
    std::remove(blackFile().c_str());
    std::remove(colorFile().c_str());
  }
  std::string blackFile() const { return folder + "kfile.red"; }
  std::string colorFile() const { return folder + "cfile.red"; }
  std::string name;
  std::string folder;
};

const uint8_t* matrixRow(const Bytes& file, size_t row) { return file.data() + 20 + row * 300; }

Bytes ones(size_t n) { return Bytes(n, 0xFF); }

TEST(PlaneReduce, ThinsEachPlaneWithTheMatrixRowOfItsRasterRow) {
  Printer printer("Reduction Rows");
  void* job = OpenJob(printer.name.c_str());
  ASSERT_NE(job, nullptr);
  OpenPage(job, 2400, 50, 2400, 75);
  const Bytes black = readFile(printer.blackFile());
  const Bytes color = readFile(printer.colorFile());
  ASSERT_EQ(black.size(), 375020u);
  ASSERT_EQ(color.size(), 375020u);
  EXPECT_EQ(word(black, 0), 50u);
  EXPECT_EQ(word(color, 0), 75u);

  Bytes row = ones(300);
  EXPECT_EQ(PlaneReduce(job, row.data(), 1, 1200), 300);
  EXPECT_EQ(0, std::memcmp(row.data(), matrixRow(black, 0), 300));
  row = ones(300);
  PlaneReduce(job, row.data(), 0x7F01, 1201);
  EXPECT_EQ(0, std::memcmp(row.data(), matrixRow(black, 1), 300));
  row = ones(300);
  PlaneReduce(job, row.data(), 0x12345600, 1201);  // low byte 0: colour
  EXPECT_EQ(0, std::memcmp(row.data(), matrixRow(color, 1), 300));

  // The same colour row for every colour plane; a plane keeps only dots it had.
  Bytes cyan(300, 0x0F), magenta(300, 0xF0);
  PlaneReduce(job, cyan.data(), 0, 7);
  PlaneReduce(job, magenta.data(), 0, 7);
  for (size_t i = 0; i < 300; ++i) {
    ASSERT_EQ(cyan[i], matrixRow(color, 7)[i] & 0x0F);
    ASSERT_EQ(magenta[i], matrixRow(color, 7)[i] & 0xF0);
  }
  ClosePage(job);
  CloseJob(job);
}

TEST(PlaneReduce, LeavesAPartialLastByteAndServesWideRows) {
  Printer printer("Reduction Widths");
  void* job = OpenJob(printer.name.c_str());
  ASSERT_NE(job, nullptr);
  OpenPage(job, 2401, 50, 20000, 50);
  const Bytes black = readFile(printer.blackFile());
  Bytes row = ones(302);
  EXPECT_EQ(PlaneReduce(job, row.data(), 1, 0), 300);
  EXPECT_EQ(0, std::memcmp(row.data(), matrixRow(black, 0), 300));
  EXPECT_EQ(row[300], 0xFF);
  EXPECT_EQ(row[301], 0xFF);

  const Bytes color = readFile(printer.colorFile());
  Bytes wide = ones(2501);
  EXPECT_EQ(PlaneReduce(job, wide.data(), 0, 1199), 2500);  // row 1199 continues into rows 1200..1207
  EXPECT_EQ(0, std::memcmp(wide.data(), matrixRow(color, 1199), 2500));
  EXPECT_EQ(wide[2500], 0xFF);
  ClosePage(job);

  OpenPage(job, 7, 50, 0, 50);  // less than one byte: nothing to do
  uint8_t tiny = 0xFF;
  EXPECT_EQ(PlaneReduce(job, &tiny, 1, 0), 0);
  EXPECT_EQ(PlaneReduce(job, &tiny, 0, 0), 0);
  EXPECT_EQ(tiny, 0xFF);
  ClosePage(job);
  CloseJob(job);
}

TEST(OpenPage, LevelsZeroAndHundredClearAndKeep) {
  Printer printer("Reduction Extremes");
  void* job = OpenJob(printer.name.c_str());
  OpenPage(job, 4800, 0, 4800, 100);
  for (int r = 0; r < 1300; r += 97) {
    Bytes black = ones(600), color = ones(600);
    PlaneReduce(job, black.data(), 1, r);
    PlaneReduce(job, color.data(), 0, r);
    ASSERT_EQ(countOnes(black.data(), 600), 0u) << r;
    ASSERT_EQ(countOnes(color.data(), 600), 4800u) << r;
  }
  ClosePage(job);
  OpenPage(job, 4800, 100, 4800, 0);
  for (int r = 0; r < 1300; r += 97) {
    Bytes black = ones(600), color = ones(600);
    PlaneReduce(job, black.data(), 1, r);
    PlaneReduce(job, color.data(), 0, r);
    ASSERT_EQ(countOnes(black.data(), 600), 4800u) << r;
    ASSERT_EQ(countOnes(color.data(), 600), 0u) << r;
  }
  ClosePage(job);
  CloseJob(job);
}

// The files a page builds are the library's own: their bytes pin the matrix
// geometry and the noise band. The black file is built first, on a fresh thread.
TEST(OpenPage, BuildsTheLibrarysThresholdFiles) {
  Printer printer("Reduction Digests");
  const std::pair<int, uint64_t> levels[] = {{25, kDigestLevel25}, {50, kDigestLevel50}, {75, kDigestLevel75}};
  for (const auto& [level, expected] : levels) {
    std::remove(printer.blackFile().c_str());
    onFreshThread([&] {
      void* job = OpenJob(printer.name.c_str());
      OpenPage(job, 2400, level, 2400, 100);
      CloseJob(job);
    });
    EXPECT_EQ(digest(readFile(printer.blackFile())), expected) << "level " << level;
  }
}

TEST(OpenPage, RebuildsAFileMadeForAnotherLevelOrDamaged) {
  Printer printer("Reduction Levels");
  void* job = OpenJob(printer.name.c_str());
  OpenPage(job, 2400, 40, 2400, 40);
  ClosePage(job);
  CloseJob(job);
  EXPECT_EQ(word(readFile(printer.blackFile()), 0), 40u);

  job = OpenJob(printer.name.c_str());
  OpenPage(job, 2400, 60, 2400, 40);
  const Bytes rebuilt = readFile(printer.blackFile());
  ASSERT_EQ(rebuilt.size(), 375020u);
  EXPECT_EQ(word(rebuilt, 0), 60u);
  Bytes row = ones(300);
  PlaneReduce(job, row.data(), 1, 3);
  EXPECT_EQ(0, std::memcmp(row.data(), matrixRow(rebuilt, 3), 300));
  ClosePage(job);

  // A file of the right level whose header says it has no rows is rebuilt too.
  Bytes damaged = rebuilt;
  std::memset(damaged.data() + 4, 0, 4);
  writeFile(printer.blackFile(), damaged);
  OpenPage(job, 2400, 60, 2400, 40);
  EXPECT_EQ(word(readFile(printer.blackFile()), 4), 1200u);
  ClosePage(job);

  writeFile(printer.colorFile(), Bytes(rebuilt.begin(), rebuilt.begin() + 1000));  // half-written
  OpenPage(job, 2400, 60, 2400, 40);
  EXPECT_EQ(readFile(printer.colorFile()).size(), 375020u);
  ClosePage(job);
  CloseJob(job);
}

TEST(OpenPage, FindsTheFolderOfANameWithSpacesAndLeavesTheNameAlone) {
  char name[] = "Office Jet: 2";
  Printer printer(name);
  EXPECT_EQ(printer.folder, dataFolder("Office_Jet__2"));
  testing_seams::DebugCapture debug;
  void* job = OpenJob(name);
  OpenPage(job, 2400, 50, 2400, 50);
  EXPECT_STREQ(name, "Office Jet: 2");
  EXPECT_TRUE(fileExists(printer.blackFile()));
  EXPECT_TRUE(fileExists(printer.colorFile()));
  EXPECT_EQ(debug.texts(), std::vector<std::string>{printer.folder + "\n"});  // the black folder only
  ClosePage(job);
  CloseJob(job);
}

TEST(OpenPage, WithoutADataFolderPlanesPassUnchanged) {
  // A name too long for the 512-byte path: no folder, and no file anywhere else.
  const std::string longName(600, 'p');
  std::remove("kfile.red");
  void* job = OpenJob(longName.c_str());
  OpenPage(job, 2400, 0, 2400, 0);
  Bytes row = ones(300);
  EXPECT_EQ(PlaneReduce(job, row.data(), 1, 0), 300);
  EXPECT_EQ(PlaneReduce(job, row.data(), 0, 0), 300);
  EXPECT_EQ(countOnes(row.data(), 300), 2400u);
  EXPECT_FALSE(fileExists("kfile.red"));
  EXPECT_FALSE(fileExists("cfile.red"));
  ClosePage(job);
  CloseJob(job);

  // A folder that fits the buffer, but not with the file name after it.
  const std::string base = platform::appDataFolder();
  const std::string nearlyTooLong(505 - base.size() - 11, 'q');
  ASSERT_EQ(dataFolder(nearlyTooLong).size(), 505u);
  testing_seams::DebugCapture debug;
  job = OpenJob(nearlyTooLong.c_str());
  OpenPage(job, 2400, 0, 2400, 0);
  EXPECT_EQ(debug.texts(), std::vector<std::string>{dataFolder(nearlyTooLong) + "\n"});
  PlaneReduce(job, row.data(), 1, 0);
  EXPECT_EQ(countOnes(row.data(), 300), 2400u);
  CloseJob(job);

  job = OpenJob(nullptr);  // no printer name at all
  OpenPage(job, 2400, 0, 2400, 0);
  PlaneReduce(job, row.data(), 1, 0);
  EXPECT_EQ(countOnes(row.data(), 300), 2400u);
  CloseJob(job);  // with its page still open
}

TEST(JobCalls, NullHandlesAndMissingPagesDoNothing) {
  Bytes row = ones(300);
  OpenPage(nullptr, 2400, 0, 2400, 0);
  EXPECT_EQ(PlaneReduce(nullptr, row.data(), 1, 0), 0);
  ClosePage(nullptr);
  CloseJob(nullptr);
  void* job = OpenJob("Reduction Null");
  EXPECT_EQ(PlaneReduce(job, row.data(), 1, 0), 0);  // before any page
  ClosePage(job);
  ClosePage(job);
  EXPECT_EQ(PlaneReduce(job, nullptr, 1, 0), 0);
  EXPECT_EQ(countOnes(row.data(), 300), 2400u);
  CloseJob(job);
  testing_seams::FailingAllocator failing;
  EXPECT_EQ(OpenJob("Reduction Null"), nullptr);
}

TEST(JobCalls, ShortMemoryLeavesPlanesUnchangedAndNothingHeld) {
  Printer printer("Reduction Memory");
  const long before = reduction::liveBlocks();
  void* job = OpenJob(printer.name.c_str());
  OpenPage(job, 2400, 0, 2400, 0);  // builds both files
  ClosePage(job);
  for (int succeed = 0; succeed < 6; ++succeed) {
    {
      testing_seams::FailingAllocator failing(succeed);
      OpenPage(job, 2400, 0, 2400, 0);
    }
    Bytes black = ones(300), color = ones(300);
    PlaneReduce(job, black.data(), 1, 0);
    PlaneReduce(job, color.data(), 0, 0);
    // Level 0 clears a plane only when its matrix and row could be had.
    EXPECT_TRUE(countOnes(black.data(), 300) == 0 || countOnes(black.data(), 300) == 2400) << succeed;
    EXPECT_TRUE(countOnes(color.data(), 300) == 0 || countOnes(color.data(), 300) == 2400) << succeed;
    ClosePage(job);
  }
  OpenPage(job, 2400, 0, 2400, 0);
  OpenPage(job, 2400, 0, 2400, 0);  // a second page without closing the first
  ClosePage(job);
  CloseJob(job);
  EXPECT_EQ(reduction::liveBlocks(), before);
}

}  // namespace
