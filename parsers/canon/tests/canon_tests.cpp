// The Canon plug-in on small built jobs: command handling, the raster path and
// the mended corner cases, against a recording reduction set.
#include <gtest/gtest.h>

#include <chrono>

#include "VaskUtil.h"
#include "canon_harness.h"
#include "test_seams.h"

using namespace canon_test;

namespace {

class CanonTest : public ::testing::Test {
 protected:
  testing_seams::VirtualClock clock;
  RecordingReduction reduction;
  Recorder& rec = reduction.recorder();
  void SetUp() override { canon::resetCalibrationThresholds(); }
};

const Bytes kEsc{0x1B};

TEST_F(CanonTest, PlainJobCopiedWithOneJobAndOneFinalWait) {
  Bytes job;
  for (int i = 0; i < 70000; ++i) job.push_back(static_cast<uint8_t>(i % 11 == 0 ? 'x' : 0x20 + i % 90));
  EXPECT_EQ(runJob(job), job);
  EXPECT_EQ(rec.openJobs, 1);
  EXPECT_EQ(rec.closeJobs, 1);
  EXPECT_EQ(rec.openPages, 0);
  EXPECT_EQ(clock.sleepsOf(1000), 1u);
}

TEST_F(CanonTest, NonRasterCommandsAndBjlTextPassUnchanged) {
  const Bytes job = Bytes{'\x1b', '[', 'K', 2, 0, 0, 0x1F} + Bytes{'B', 'J', 'L', 'S', 'T', 'A', 'R', 'T', '\n'} +
                    cmd('a', {1}) + cmd('b', {0x1B, 0x0C, 1}) + cmd('c', {1, 2, 3}) + cmd('q', {0x42}) +
                    cmd('J', {8, 0, 0}) + cmd('t', {1, 2, 3, 4, 5}) + Bytes{'\x1b', '@'} + Bytes{0x0C};
  EXPECT_EQ(runJob(job), job);
  EXPECT_EQ(rec.openPages, 0);
}

TEST_F(CanonTest, ResolutionOfLengthFourDoublesHorizontalForBothInks) {
  runJob(resolution(360, 720) + row('K', {0x00, 0xFF}) + Bytes{0x0C});
  EXPECT_EQ(rec.openPages, 1);
  EXPECT_EQ(rec.blackWidth, 14400u);
  EXPECT_EQ(rec.colorWidth, 14400u);
  EXPECT_EQ(rec.closePages, 1);
  runJob(cmd('d', {0x01, 0x68}) + row('C', {0x00, 0xFF}));
  EXPECT_EQ(rec.blackWidth, 7200u);
}

TEST_F(CanonTest, AllZeroRowLeavesAsZeroRunsWithEncodedLength) {
  const Bytes job = resolution(360, 360) + row('K', {0x03, 0, 0, 0, 0});
  const Bytes out = runJob(job);
  uint8_t zeros[4] = {0, 0, 0, 0};
  uint8_t encoded[16] = {};
  const int32_t m = CompressMode2(zeros, 0, 4, encoded, 0);
  ASSERT_GT(m, 0);
  const Bytes expected = resolution(360, 360) + row('K', Bytes(encoded, encoded + m));
  EXPECT_EQ(out, expected);
  ASSERT_EQ(rec.reduces.size(), 1u);
  EXPECT_EQ(rec.reduces[0].isBlack, 1);
}

TEST_F(CanonTest, RowsAreThinnedAtTheRowCounterOfTheSkips) {
  rec.mask = 0x0F;
  // The page opens at its first row, with the row counter at 0.
  const Bytes out = runJob(resolution(360, 360) + skip(3) + row('M', {0x00, 0xFF}) + skip(7) + row('y', {0x00, 0xF0}) +
                           row('c', {0x00, 0xF0}));
  EXPECT_EQ(out, resolution(360, 360) + skip(3) + row('M', {0x00, 0x0F}) + skip(7) + row('y', {0x00, 0x00}) +
                     row('c', {0x00, 0x00}));
  ASSERT_EQ(rec.reduces.size(), 3u);
  EXPECT_EQ(rec.reduces[0].rowIndex, 0);
  EXPECT_EQ(rec.reduces[0].isBlack, 0);
  EXPECT_EQ(rec.reduces[1].rowIndex, 7);
  EXPECT_EQ(rec.reduces[2].rowIndex, 7);
}

TEST_F(CanonTest, ByteAfterRowWrittenOnceAndFormFeedClosesThePage) {
  const Bytes job = resolution(360, 360) + row('K', {0x00, 0xFF}) + Bytes{0x0D} + row('K', {0x00, 0x0F}) +
                    Bytes{0x0C} + row('C', {0x00, 0x01}) + Bytes{0x0C, 'z'};
  EXPECT_EQ(runJob(job), job);
  EXPECT_EQ(rec.openPages, 2);
  EXPECT_EQ(rec.closePages, 2);
}

TEST_F(CanonTest, ColourByteFFAndEmptyRowWrittenThrough) {
  const Bytes job = resolution(360, 360) + Bytes{0x1B, '(', 'A', 0x01, 0x00, 0xFF} + Bytes{0x0D} +
                    Bytes{0x1B, '(', 'A', 0x00, 0x00, 'K'} + Bytes{'t'};
  EXPECT_EQ(runJob(job), job);
  EXPECT_TRUE(rec.reduces.empty());
}

TEST_F(CanonTest, UnknownColourIsBlackAndStopsCalibrationSteps) {
  testing_seams::DebugCapture debug;
  JobOptions calibration;
  calibration.calibrationFlag = 1;
  runJob(resolution(360, 360) + row('Z', {0x00, 0xFF}) + skip(50) + skip(50) + skip(50) + row('K', {0x00, 0xFF}) +
             skip(50),
         calibration);
  ASSERT_EQ(rec.reduces.size(), 2u);
  EXPECT_EQ(rec.reduces[0].isBlack, 1);
  // Only the skip after the known colour is counted; the unknown one set the
  // thresholds to 34 / -1, so that count already steps.
  EXPECT_EQ(debug.texts(), std::vector<std::string>{"YOffset Count =1 K=95% CMY=95%\n"});
  EXPECT_EQ(rec.calibrationPercentages, std::vector<int32_t>{95});
  EXPECT_EQ(canon::calibrationThresholds().minimumSkip, 34);
  EXPECT_EQ(canon::calibrationThresholds().minimumCount, -1);
}

TEST_F(CanonTest, CalibrationStepsFromTheThirdCountedSkip) {
  testing_seams::DebugCapture debug;
  JobOptions calibration;
  calibration.calibrationFlag = 1;
  calibration.blackKeep = 40;  // forced to 100 on a calibration page
  runJob(skip(5) + skip(4) + skip(5) + skip(5) + skip(5), calibration);
  EXPECT_EQ(debug.texts(), (std::vector<std::string>{"YOffset Count =1 K=100% CMY=100%\n",
                                                     "YOffset Count =2 K=100% CMY=100%\n",
                                                     "YOffset Count =3 K=95% CMY=95%\n",
                                                     "YOffset Count =4 K=85% CMY=85%\n"}));
  EXPECT_EQ(rec.calibrationPercentages, (std::vector<int32_t>{95, 85}));
  // Without the calibration flag skips are only counted rows.
  debug.clear();
  runJob(skip(50) + skip(50) + skip(50));
  EXPECT_TRUE(debug.texts().empty());
}

TEST_F(CanonTest, CalibrationThresholdsCarryToTheNextJob) {
  testing_seams::DebugCapture debug;
  JobOptions calibration;
  calibration.calibrationFlag = 1;
  runJob(cmd('L', {'K'}) + skip(1), calibration);
  EXPECT_EQ(canon::calibrationThresholds().minimumSkip, -1);
  EXPECT_EQ(canon::calibrationThresholds().minimumCount, 2);
  // Next job, no colour list: a skip of 1 now counts (1 > -1).
  debug.clear();
  runJob(skip(1), calibration);
  EXPECT_EQ(debug.texts(), std::vector<std::string>{"YOffset Count =1 K=100% CMY=100%\n"});
}

Bytes bandJob(const Bytes& list, uint8_t height, const Bytes& extra = {}) {
  return resolution(360, 360) + extra + cmd('J', {height}) + cmd('L', list);
}

TEST_F(CanonTest, BandWithEmptyRowsKeepsEveryRowEnd) {
  // Three rows, the middle one empty; then a band whose last row is empty.
  const Bytes rows1{0x00, 0xFF, 0x80, 0x80, 0x00, 0x0F, 0x80};
  const Bytes rows2{0x00, 0xF0, 0x80, 0x80};
  const Bytes job = bandJob({'K'}, 1) + band(rows1) + band(rows2) + band({0x80, 0x80}) + Bytes{0x0C};
  EXPECT_EQ(runJob(job), job);
  EXPECT_EQ(rec.reduces.size(), 3u);  // empty rows are not thinned
  EXPECT_EQ(rec.closePages, 1);
}

TEST_F(CanonTest, BandThinnedAndRecompressed) {
  rec.mask = 0x3C;
  const Bytes out = runJob(bandJob({'C'}, 1) + band({0xFD, 0xFF, 0x80, 0x01, 0xFF, 0xFF}));
  EXPECT_EQ(out, bandJob({'C'}, 1) + band({0xFD, 0x3C, 0x80, 0x01, 0x3C, 0x3C}));
  ASSERT_EQ(rec.reduces.size(), 2u);
  EXPECT_EQ(rec.reduces[0].isBlack, 0);
}

TEST_F(CanonTest, BandsOfLaterColoursRewindTheRowCounter) {
  Bytes rows;
  for (int i = 0; i < 8; ++i) rows = rows + Bytes{0x00, 0x01, 0x80};
  Bytes job = bandJob({'Y', 'M', 'C', 'K'}, 8);
  for (int b = 0; b < 8; ++b) job = job + band(rows);  // two bands of four colours
  runJob(job);
  ASSERT_EQ(rec.reduces.size(), 64u);
  for (size_t colour = 0; colour < 8; ++colour) {
    const int32_t base = colour < 4 ? 0 : 8;
    for (size_t r = 0; r < 8; ++r) EXPECT_EQ(rec.reduces[colour * 8 + r].rowIndex, base + 1 + static_cast<int32_t>(r));
    EXPECT_EQ(rec.reduces[colour * 8].isBlack, colour % 4 == 3 ? 1 : 0);
  }
}

// The totals the filter's statistics read from the context: pages, the rows
// each page advanced, dots before and after per plane (K, Y, M, C, y, m, c).
TEST_F(CanonTest, DotTotalsCountPagesRowsAndDotsPerPlane) {
  rec.mask = 0x0F;
  const Bytes rowPage = resolution(360, 360) + row('M', {0x00, 0xFF}) + skip(7) + row('y', {0x00, 0xF0}) +
                        row('K', {0x01, 0xFF, 0x0F}) + Bytes{0x0C};
  Bytes bandRows;
  for (int i = 0; i < 8; ++i) bandRows = bandRows + Bytes{0x00, 0x01, 0x80};
  Bytes bandPage = bandJob({'Y', 'M', 'C', 'K'}, 8);
  for (int b = 0; b < 8; ++b) bandPage = bandPage + band(bandRows);
  const auto result = runJobWithTotals(rowPage + bandPage);
  const plugin::DotTotals& totals = result.totals;
  EXPECT_EQ(totals.pages, 2u);
  EXPECT_EQ(totals.rows, 7u + 16u);
  EXPECT_EQ(totals.planes, 7u);
  EXPECT_EQ(totals.blackPlanes, 1u);
  EXPECT_EQ(totals.before[0], 12u + 16u);
  EXPECT_EQ(totals.after[0], 8u + 16u);
  EXPECT_EQ(totals.before[1], 16u);
  EXPECT_EQ(totals.before[2], 8u + 16u);
  EXPECT_EQ(totals.after[2], 4u + 16u);
  EXPECT_EQ(totals.before[3], 16u);
  EXPECT_EQ(totals.before[4], 4u);
  EXPECT_EQ(totals.after[4], 0u);
  for (int plane = 5; plane < plugin::kMaxPlanes; ++plane) EXPECT_EQ(totals.before[plane], 0u) << plane;
}

// ESC ( t extended: two header bytes, then records for C (2-bit three-level)
// and M (4 bits, not thinned).
Bytes extendedMode() { return cmd('t', {0x80, 0x00, 0x01, 0x22, 0x00, 0x00, 0x04, 0x00, 0x00}); }

TEST_F(CanonTest, ThreeLevelBytesKeepOnlyThePixelsOfTheMask) {
  rec.mask = 0x05;  // keep pixels 0 and 2
  const Bytes out = runJob(bandJob({'C'}, 1, extendedMode()) + band({0x02, 0x79, 0xF3, 0xFF, 0x80}));
  EXPECT_EQ(out, bandJob({'C'}, 1, extendedMode()) + band({0x02, 10, 0xF3, 0xFF, 0x80}));
  ASSERT_EQ(rec.reduces.size(), 1u);
  EXPECT_EQ(rec.reduces[0].row[0], 0x1F);  // the mask of 0x79
  EXPECT_EQ(rec.reduces[0].row[1], 0x00);  // no pixels in 243..255
}

TEST_F(CanonTest, FourBitInkIsNotThinned) {
  rec.mask = 0x00;
  const Bytes job = bandJob({'C', 'M'}, 1, extendedMode()) + band({0x00, 0x00, 0x80}) + band({0x00, 0xEE, 0x80});
  const Bytes out = runJob(job);
  EXPECT_EQ(out, bandJob({'C', 'M'}, 1, extendedMode()) + band({0x00, 0x00, 0x80}) + band({0x00, 0xEE, 0x80}));
  EXPECT_EQ(rec.reduces.size(), 1u);  // only the C row
}

TEST_F(CanonTest, RasterModeLengthOneIsOneBit) {
  rec.mask = 0x00;
  // 5 bits per pixel would not be thinned; length 1 resets to 1 bit.
  const Bytes job = bandJob({'y'}, 1, cmd('t', {0x05, 0x00})) + cmd('t', {0x05}) + band({0x00, 0xFF, 0x80});
  const Bytes out = runJob(job);
  EXPECT_EQ(out, bandJob({'y'}, 1, cmd('t', {0x05, 0x00})) + cmd('t', {0x05}) + band({0x00, 0x00, 0x80}));
}

TEST_F(CanonTest, BandWithoutColourListCopiedThrough) {
  rec.mask = 0x00;
  const Bytes job = resolution(360, 360) + band({0x00, 0xFF, 0x80, 0x1B, 0x0C, 0x80}) + Bytes{'x'};
  EXPECT_EQ(runJob(job), job);
  EXPECT_TRUE(rec.reduces.empty());
}

TEST_F(CanonTest, LongColourListIsBounded) {
  Bytes list;
  for (int i = 0; i < 40; ++i) list.push_back(i % 2 ? 'K' : 'C');
  const Bytes job = bandJob(list, 1) + band({0x00, 0x01, 0x80}) + band({0x00, 0x01, 0x80});
  EXPECT_EQ(runJob(job), job);
  ASSERT_EQ(rec.reduces.size(), 2u);
  EXPECT_EQ(rec.reduces[0].isBlack, 0);
  EXPECT_EQ(rec.reduces[1].isBlack, 1);
}

TEST_F(CanonTest, RowsWiderThanThePageOrMalformedPassUnchanged) {
  rec.mask = 0x00;
  // At 1 unit (2 after doubling) the buffers hold 2*2*10/8 = 4 bytes.
  const Bytes narrow = cmd('d', {0x00, 0x01});
  const Bytes job = narrow + row('K', {0x81, 0xFF}) + row('K', {0x05, 1, 2}) + cmd('L', {'K'}) +
                    band({0x81, 0xFF, 0x80}) + row('K', {0x00, 0xFF});
  const Bytes out = runJob(job);
  EXPECT_EQ(out, narrow + row('K', {0x81, 0xFF}) + row('K', {0x05, 1, 2}) + cmd('L', {'K'}) +
                     band({0x81, 0xFF, 0x80}) + row('K', {0x00, 0x00}));
  // Rows before any resolution have no page width: copied through.
  const Bytes early = row('K', {0x00, 0xFF}) + Bytes{0x0C};
  EXPECT_EQ(runJob(early), early);
}

TEST_F(CanonTest, ThreeLevelPacking) {
  for (int value = 0; value < 243; ++value) {
    const uint8_t v = static_cast<uint8_t>(value);
    EXPECT_EQ(canon::threeLevelApply(v, canon::threeLevelMask(v)), v);
    EXPECT_EQ(canon::threeLevelApply(v, 0), 0);
  }
  EXPECT_EQ(canon::threeLevelMask(0x79), 0x1F);
  EXPECT_EQ(canon::threeLevelApply(0x79, 0x05), 10);
  EXPECT_EQ(canon::threeLevelMask(2 + 2 * 27), 0x09);
  for (int value = 243; value < 256; ++value) {
    EXPECT_EQ(canon::threeLevelMask(static_cast<uint8_t>(value)), 0);
    EXPECT_EQ(canon::threeLevelApply(static_cast<uint8_t>(value), 0), value);
  }
}

TEST_F(CanonTest, EveryPrefixOfAJobEndsCleanly) {
  const Bytes job = bandJob({'K', 'C'}, 2, extendedMode()) + band({0x00, 0xFF, 0x80, 0x80}) +
                    band({0x00, 0x0F, 0x80, 0x00, 0x01}) + resolution(360, 720) + row('K', {0x01, 0xFF, 0x00}) +
                    skip(3) + cmd('b', {1, 2}) + Bytes{0x0C};
  for (size_t n = 0; n <= job.size(); ++n) {
    const Bytes prefix(job.begin(), job.begin() + static_cast<long>(n));
    EXPECT_EQ(runJob(prefix), prefix) << "prefix of " << n;
  }
}

}  // namespace

// The one real wait: parseFile returns about a second after the input ends.
TEST(CanonRealTime, ReturnsAboutOneSecondAfterTheEndOfInput) {
  RecordingReduction reduction;
  const auto start = std::chrono::steady_clock::now();
  runJob(Bytes{'a', 'b'});
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(990));
  EXPECT_LT(elapsed, std::chrono::seconds(20));
}
