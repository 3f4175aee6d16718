// Threshold files: what BuildThreshholdFile writes, how ThresholdMatrix loads
// and serves it, how bad files are refused and how concurrent builders of
// the same file behave.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "block.h"
#include "reduction.h"
#include "test_files.h"
#include "test_seams.h"
#include "threshold_matrix.h"

namespace {

using namespace reduction_tests;
using reduction::ThresholdMatrix;

constexpr uint32_t kRowBytes = 300;
constexpr size_t kFileBytes = 375020;

std::string folder() {
  static const std::string f = scratchFolder("files");
  return f;
}

// The library's own file for a keep level, built on a fresh thread.
std::string buildLibraryFile(const std::string& name, int level) {
  const std::string path = folder() + name;
  std::remove(path.c_str());
  int32_t result = 1;
  onFreshThread([&] { result = BuildThreshholdFile(path.c_str(), kRowBytes, 1200, level, 40); });
  EXPECT_EQ(result, 0);
  return path;
}

// Built once per level and program; tests that alter a file work on a copy.
std::string libraryFile(int level) {
  static std::map<int, std::string> built;
  auto it = built.find(level);
  if (it == built.end()) it = built.emplace(level, buildLibraryFile("level" + std::to_string(level) + ".red", level)).first;
  return it->second;
}

const uint8_t* matrixRow(const Bytes& file, size_t row) { return file.data() + 20 + row * kRowBytes; }

TEST(ThresholdFile, HasTheHeaderAndSizeOfTheFormat) {
  const Bytes file = readFile(libraryFile(75));
  ASSERT_EQ(file.size(), kFileBytes);
  EXPECT_EQ(word(file, 0), 75u);
  EXPECT_EQ(word(file, 4), 1200u);
  EXPECT_EQ(word(file, 8), 300u);
  EXPECT_EQ(word(file, 12), 375000u);
  EXPECT_EQ(word(file, 16), 0u);

  const std::string path = folder() + "level-high-bits.red";
  ASSERT_EQ(BuildThreshholdFile(path.c_str(), 4, 3, 0x70032, 40), 0);  // only the low 16 bits count
  const Bytes small = readFile(path);
  ASSERT_EQ(small.size(), 20u + 53 * 4);
  EXPECT_EQ(word(small, 0), 0x32u);
  EXPECT_EQ(word(small, 12), 53u * 4);
}

TEST(ThresholdFile, IsTheSameOnEveryBuildAndEveryFreshThread) {
  const std::string path25 = libraryFile(25);
  const std::string path50 = libraryFile(50);
  const std::string path75 = libraryFile(75);
  EXPECT_EQ(digest(readFile(path25)), kDigestLevel25);
  EXPECT_EQ(digest(readFile(path50)), kDigestLevel50);
  EXPECT_EQ(digest(readFile(path75)), kDigestLevel75);
  const Bytes first = readFile(path50);
  EXPECT_EQ(readFile(buildLibraryFile("again50.red", 50)), first);
}

TEST(ThresholdFile, KeepsTheShareOfItsLevel) {
  for (int level : {0, 25, 50, 75, 100}) {
    const Bytes file = readFile(libraryFile(level));
    ASSERT_EQ(file.size(), kFileBytes);
    const size_t ones = countOnes(file.data() + 20, 375000);
    const double share = 100.0 * ones / (375000.0 * 8);
    if (level == 0) {
      EXPECT_EQ(ones, 0u);  // every dot removed
    } else if (level == 100) {
      EXPECT_EQ(ones, 375000u * 8);  // no dot removed
    } else {
      EXPECT_NEAR(share, level, 1.0) << level;
    }
  }
}

TEST(ThresholdFile, BuildFailuresAreReportedAndLeaveNothingBehind) {
  const std::string missing = folder() + "no-such-folder" + platform::pathSeparator() + "kfile.red";
  EXPECT_EQ(BuildThreshholdFile(missing.c_str(), kRowBytes, 1200, 50, 40), -1);
  EXPECT_FALSE(fileExists(missing));
  const std::string path = folder() + "refused.red";
  std::remove(path.c_str());
  EXPECT_EQ(BuildThreshholdFile(nullptr, kRowBytes, 1200, 50, 40), -1);
  EXPECT_EQ(BuildThreshholdFile(path.c_str(), 0, 1200, 50, 40), -1);
  EXPECT_EQ(BuildThreshholdFile(path.c_str(), kRowBytes, -1, 50, 40), -1);
  EXPECT_EQ(BuildThreshholdFile(path.c_str(), 0x10000000, 1200, 50, 40), -1);  // data size beyond 32 bits
  EXPECT_FALSE(fileExists(path));
  {
    testing_seams::FailingAllocator failing;  // the row buffer
    EXPECT_EQ(BuildThreshholdFile(path.c_str(), kRowBytes, 1200, 50, 40), -4);
  }
  {
    testing_seams::FailingAllocator failing(1);  // the filter
    EXPECT_EQ(BuildThreshholdFile(path.c_str(), kRowBytes, 1200, 50, 40), -4);
  }
  {
    testing_seams::FailingAllocator failing(2);  // the error row
    EXPECT_EQ(BuildThreshholdFile(path.c_str(), kRowBytes, 1200, 50, 40), -1);
  }
  EXPECT_FALSE(fileExists(path));
  EXPECT_EQ(BuildThreshholdFile(path.c_str(), 2, 0, 50, 0), 0);  // noise 0 is taken as 1, rows 0 as none
  EXPECT_EQ(readFile(path).size(), 20u + 50 * 2);
}

TEST(MatrixLoad, ReportsEachKindOfBadFile) {
  const std::string good = libraryFile(75);
  const Bytes file = readFile(good);
  ThresholdMatrix matrix;
  EXPECT_EQ(matrix.Load((folder() + "missing.red").c_str(), 2400, 75), -1);
  EXPECT_FALSE(matrix.loaded());

  const std::string bad = folder() + "bad.red";
  writeFile(bad, Bytes(file.begin(), file.begin() + 19));
  EXPECT_EQ(matrix.Load(bad.c_str(), 2400, 75), -2);
  EXPECT_EQ(matrix.Load(good.c_str(), 2400, 80), -3);
  EXPECT_EQ(matrix.Load(good.c_str(), 2400, 75 + 0x10000), 0);  // the low 16 bits of the level
  matrix.Unload();
  writeFile(bad, Bytes(file.begin(), file.end() - 1));
  EXPECT_EQ(matrix.Load(bad.c_str(), 2400, 75), -5);

  // Headers that do not describe usable data are refused like a short one.
  auto withWord = [&](size_t offset, uint32_t value) {
    Bytes copy = file;
    for (int i = 0; i < 4; ++i) copy[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    writeFile(bad, copy);
    return matrix.Load(bad.c_str(), 2400, 75);
  };
  EXPECT_EQ(withWord(4, 0), -2);                 // no rows
  EXPECT_EQ(withWord(8, 0), -2);                 // no bytes per row
  EXPECT_EQ(withWord(12, 1200 * 300), -2);       // no room for the extra rows
  EXPECT_EQ(withWord(4, 0x40000000), -2);        // rows times bytes beyond 32 bits
  EXPECT_EQ(withWord(12, 0xFFFFFFF0), -5);       // more data than the file holds: nothing allocated
  EXPECT_EQ(withWord(12, 375000), 0);
  EXPECT_TRUE(matrix.loaded());

  {
    testing_seams::FailingAllocator failing;
    EXPECT_EQ(matrix.Load(good.c_str(), 2400, 75), -4);
    EXPECT_FALSE(matrix.loaded());
  }
}

TEST(MatrixFetch, WrapsRowIndexesAndContinuesIntoTheFollowingRows) {
  const std::string path = libraryFile(50);
  const Bytes file = readFile(path);
  ThresholdMatrix matrix;
  ASSERT_EQ(matrix.Load(path.c_str(), 2400, 50), 0);
  std::vector<uint8_t> out(300);
  matrix.Fetch(1200, out.data());
  EXPECT_EQ(0, std::memcmp(out.data(), matrixRow(file, 0), 300));
  matrix.Fetch(1201, out.data());
  EXPECT_EQ(0, std::memcmp(out.data(), matrixRow(file, 1), 300));
  matrix.Fetch(-1, out.data());  // taken as unsigned: 4294967295 mod 1200 = 495
  EXPECT_EQ(0, std::memcmp(out.data(), matrixRow(file, 495), 300));

  ASSERT_EQ(matrix.Load(path.c_str(), 3200, 50), 0);
  std::vector<uint8_t> wide(401, 0xAB);
  matrix.Fetch(1199, wide.data());
  EXPECT_EQ(0, std::memcmp(wide.data(), matrixRow(file, 1199), 400));  // row 1199, then 100 bytes of row 1200
  EXPECT_EQ(wide[400], 0xAB);

  ASSERT_EQ(matrix.Load(path.c_str(), 20000, 50), 0);
  std::vector<uint8_t> row20000(2500 + 1, 0xAB);
  matrix.Fetch(1199, row20000.data());
  EXPECT_EQ(0, std::memcmp(row20000.data(), matrixRow(file, 1199), 2500));
  EXPECT_EQ(row20000[2500], 0xAB);

  // Wider than the data from row 1199 (15300 bytes): the copy goes on from the start.
  ASSERT_EQ(matrix.Load(path.c_str(), 200000, 50), 0);
  std::vector<uint8_t> huge(25000 + 1, 0xAB);
  matrix.Fetch(1199, huge.data());
  EXPECT_EQ(0, std::memcmp(huge.data(), matrixRow(file, 1199), 15300));
  EXPECT_EQ(0, std::memcmp(huge.data() + 15300, matrixRow(file, 0), 25000 - 15300));
  EXPECT_EQ(huge[25000], 0xAB);

  matrix.Unload();
  std::vector<uint8_t> untouched(300, 0xFF);
  matrix.Fetch(0, untouched.data());  // not loaded: nothing copied
  EXPECT_EQ(countOnes(untouched.data(), 300), 2400u);
}

TEST(MatrixFetch, ServesFilesWithOtherGeometry) {
  const std::string path = folder() + "small.red";
  ASSERT_EQ(BuildThreshholdFile(path.c_str(), 2, 4, 50, 40), 0);  // 4 lookup rows of 2 bytes, 108 data bytes
  const Bytes file = readFile(path);
  ThresholdMatrix matrix;
  ASSERT_EQ(matrix.Load(path.c_str(), 8 * 300, 50), 0);
  std::vector<uint8_t> out(300);
  matrix.Fetch(7, out.data());  // row 3, then around the data
  for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], file[20 + (6 + i) % 108]) << i;
}

// Several jobs building the same printer's file while others load it: a load
// sees a complete file of one of the levels, or none, never a partial one.
TEST(ThresholdFileConcurrency, BuildersReplaceTheFileWholeWhileReadersLoad) {
  const Bytes reference50 = readFile(libraryFile(50));
  const Bytes reference75 = readFile(libraryFile(75));
  const std::string path = folder() + "shared.red";
  std::remove(path.c_str());
  std::atomic<bool> building{true};
  std::atomic<int> loaded{0}, partial{0}, wrong{0}, failed{0};
  std::vector<std::thread> builders;
  for (int i = 0; i < 4; ++i) {
    builders.emplace_back([&, i] {
      if (BuildThreshholdFile(path.c_str(), kRowBytes, 1200, i % 2 ? 75 : 50, 40) != 0) ++failed;
    });
  }
  std::thread reader([&] {
    ThresholdMatrix matrix;
    do {
      for (int level : {50, 75}) {
        const int result = matrix.Load(path.c_str(), 2400, level);
        if (result == -2 || result == -5) ++partial;
        if (result != 0) continue;
        ++loaded;
        const Bytes& reference = level == 50 ? reference50 : reference75;
        if (std::memcmp(matrix.data(), reference.data() + 20, 375000) != 0) ++wrong;
      }
    } while (building.load());
  });
  for (auto& t : builders) t.join();
  building = false;
  reader.join();
  EXPECT_EQ(failed.load(), 0);
  EXPECT_EQ(partial.load(), 0);
  EXPECT_EQ(wrong.load(), 0);
  const Bytes final = readFile(path);
  ASSERT_TRUE(final == reference50 || final == reference75);
  ThresholdMatrix matrix;
  EXPECT_EQ(matrix.Load(path.c_str(), 2400, static_cast<int32_t>(word(final, 0))), 0);
  // Every builder's own file was moved into place or removed.
  for (const auto& entry : std::filesystem::directory_iterator(folder()))
    EXPECT_NE(entry.path().extension(), ".tmp") << entry.path().string();
}

TEST(ThresholdFileMemory, LoadingAndUnloadingHoldsNothing) {
  const std::string path = libraryFile(25);
  const long before = reduction::liveBlocks();
  {
    ThresholdMatrix matrix;
    ASSERT_EQ(matrix.Load(path.c_str(), 2400, 25), 0);
    ASSERT_EQ(matrix.Load(path.c_str(), 2400, 25), 0);  // reloading frees the old data
    EXPECT_EQ(reduction::liveBlocks(), before + 1);
  }
  EXPECT_EQ(reduction::liveBlocks(), before);
}

}  // namespace
