// Calibration pages: live mask rows, the level lowered in mid-page, colour
// rows shared per raster row, and a page that holds nothing once closed.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "block.h"
#include "calibration.h"
#include "test_files.h"
#include "test_seams.h"

namespace {

using reduction_tests::Bytes;
using reduction_tests::countOnes;

Bytes ones(size_t n) { return Bytes(n, 0xFF); }

// Mask rows of a job, read by thinning all-ones planes.
Bytes maskRow(void* job, int32_t isBlack, int32_t r, size_t bytes) {
  Bytes row = ones(bytes);
  CalPlaneReduce(job, row.data(), isBlack, r);
  return row;
}

TEST(Calibration, AtFullLevelsEveryPlanePassesUnchanged) {
  void* job = CalOpenJob("Calibration Printer");
  ASSERT_NE(job, nullptr);
  CalOpenPage(job, 4800, 100, 2400, 100);
  for (int r = 0; r < 400; ++r) {
    Bytes black(600), color(300);
    for (size_t i = 0; i < black.size(); ++i) black[i] = static_cast<uint8_t>(i * 37 + r);
    for (size_t i = 0; i < color.size(); ++i) color[i] = static_cast<uint8_t>(i * 11 + r);
    const Bytes blackBefore = black, colorBefore = color;
    EXPECT_EQ(CalPlaneReduce(job, black.data(), 1, r), 600);
    EXPECT_EQ(CalPlaneReduce(job, color.data(), 0, r), 300);
    ASSERT_EQ(black, blackBefore);
    ASSERT_EQ(color, colorBefore);
  }
  CalClosePage(job);
  CalCloseJob(job);
}

TEST(Calibration, ALoweredLevelThinsBothInkClassesFromTheNextRow) {
  void* job = CalOpenJob(nullptr);
  CalOpenPage(job, 2400, 100, 2400, 100);
  for (int r = 0; r < 20; ++r) maskRow(job, 1, r, 300);
  CalSetCalibrationPercentage(job, 0x10000 + 50);  // the low 16 bits count
  size_t black = 0, color = 0;
  constexpr int kRows = 200;
  for (int r = 20; r < 20 + kRows; ++r) {
    black += countOnes(maskRow(job, 1, r, 300).data(), 300);
    color += countOnes(maskRow(job, 0, r, 300).data(), 300);
  }
  EXPECT_NEAR(100.0 * black / (2400.0 * kRows), 50.0, 2.0);
  EXPECT_NEAR(100.0 * color / (2400.0 * kRows), 50.0, 2.0);
  CalSetCalibrationPercentage(job, 0);
  maskRow(job, 1, 300, 300);  // the band change settles within a row or two
  maskRow(job, 1, 301, 300);
  EXPECT_EQ(countOnes(maskRow(job, 1, 302, 300).data(), 300), 0u);
  CalClosePage(job);
  CalCloseJob(job);
}

TEST(Calibration, ColourRowsAreSharedPerRowIndexAndBlackRowsAreAlwaysNew) {
  void* job = CalOpenJob(nullptr);
  CalOpenPage(job, 2400, 50, 2400, 50);
  const Bytes cyan = maskRow(job, 0, 5, 300);
  const Bytes magenta = maskRow(job, 0x12345600, 5, 300);  // low byte 0: colour
  const Bytes next = maskRow(job, 0, 6, 300);
  EXPECT_EQ(cyan, magenta);
  EXPECT_NE(cyan, next);
  EXPECT_EQ(maskRow(job, 0, 6, 300), next);

  const Bytes black1 = maskRow(job, 1, 6, 300);
  const Bytes black2 = maskRow(job, 0x101, 6, 300);
  EXPECT_NE(black1, black2);

  // Row indexes are kept in 16 bits: from 32768 on they never match again.
  const Bytes high1 = maskRow(job, 0, 32768, 300);
  const Bytes high2 = maskRow(job, 0, 32768, 300);
  EXPECT_NE(high1, high2);
  const Bytes back1 = maskRow(job, 0, 32767, 300);
  EXPECT_EQ(maskRow(job, 0, 32767, 300), back1);
  CalClosePage(job);
  CalCloseJob(job);
}

// A new page starts without a colour mask row, even when its first colour row
// has the index of the last one of the page before.
TEST(Calibration, TheSecondPageOfAJobMakesItsOwnColourRows) {
  void* job = CalOpenJob(nullptr);
  CalOpenPage(job, 2400, 0, 2400, 0);
  EXPECT_EQ(countOnes(maskRow(job, 0, 7, 300).data(), 300), 0u);
  CalClosePage(job);
  CalOpenPage(job, 2400, 100, 2400, 100);
  EXPECT_EQ(countOnes(maskRow(job, 0, 7, 300).data(), 300), 2400u);
  CalClosePage(job);
  CalOpenPage(job, 2400, 50, 2400, 50);
  EXPECT_NEAR(countOnes(maskRow(job, 0, 7, 300).data(), 300), 1200.0, 300.0);
  CalClosePage(job);
  CalCloseJob(job);
}

TEST(Calibration, ReturnsWholeBytesAndLeavesAPartialLastByte) {
  void* job = CalOpenJob(nullptr);
  CalOpenPage(job, 2405, 0, 7, 0);
  Bytes row = ones(301);
  EXPECT_EQ(CalPlaneReduce(job, row.data(), 1, 0), 300);
  EXPECT_EQ(countOnes(row.data(), 300), 0u);
  EXPECT_EQ(row[300], 0xFF);
  uint8_t tiny = 0xFF;
  EXPECT_EQ(CalPlaneReduce(job, &tiny, 0, 0), 0);
  EXPECT_EQ(tiny, 0xFF);
  CalClosePage(job);
  CalCloseJob(job);
}

TEST(Calibration, ClosingHoldsNothingAndMissingPartsDoNothing) {
  const long before = reduction::liveBlocks();
  void* job = CalOpenJob(nullptr);
  CalClosePage(job);  // before any page
  CalOpenPage(job, 4800, 75, 2400, 75);
  CalOpenPage(job, 4800, 75, 2400, 75);  // a second page without closing the first
  maskRow(job, 1, 0, 600);
  maskRow(job, 0, 0, 300);
  CalClosePage(job);
  CalSetCalibrationPercentage(job, 50);  // no filters: nothing to change
  Bytes row = ones(300);
  EXPECT_EQ(CalPlaneReduce(job, row.data(), 1, 0), 0);
  EXPECT_EQ(countOnes(row.data(), 300), 2400u);
  CalCloseJob(job);
  EXPECT_EQ(reduction::liveBlocks(), before);

  CalOpenPage(nullptr, 2400, 0, 2400, 0);
  EXPECT_EQ(CalPlaneReduce(nullptr, row.data(), 1, 0), 0);
  CalSetCalibrationPercentage(nullptr, 0);
  CalClosePage(nullptr);
  CalCloseJob(nullptr);

  {
    testing_seams::FailingAllocator failing;
    EXPECT_EQ(CalOpenJob(nullptr), nullptr);
  }
  job = CalOpenJob(nullptr);
  for (int succeed = 0; succeed < 7; ++succeed) {
    {
      testing_seams::FailingAllocator failing(succeed);
      CalOpenPage(job, 2400, 0, 2400, 0);
    }
    // Level 0 clears a plane only when its filter and row could be had.
    Bytes black = ones(300), color = ones(300);
    CalPlaneReduce(job, black.data(), 1, 0);
    CalPlaneReduce(job, color.data(), 0, 0);
    EXPECT_TRUE(countOnes(black.data(), 300) == 0 || countOnes(black.data(), 300) == 2400) << succeed;
    EXPECT_TRUE(countOnes(color.data(), 300) == 0 || countOnes(color.data(), 300) == 2400) << succeed;
    CalClosePage(job);
  }
  CalCloseJob(job);
  EXPECT_EQ(reduction::liveBlocks(), before);
}

}  // namespace
