// The error-diffusion filter: its random numbers, its exact arithmetic, the
// serpentine scan and the life cycle of its error row.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "bit_filter.h"
#include "block.h"
#include "random.h"
#include "test_files.h"
#include "test_seams.h"

namespace {

using reduction::BitFilter;
using reduction::ErrorDiffusionFilter;
using reduction_tests::onFreshThread;

TEST(Random, EachThreadStartsFromStateOneAndKeepsItsOwnSequence) {
  const std::vector<int> expected = {41, 18467, 6334, 26500, 19169};
  std::vector<int> first, second;
  onFreshThread([&] {
    for (int i = 0; i < 5; ++i) first.push_back(reduction::nextRandom());
  });
  onFreshThread([&] {
    for (int i = 0; i < 2; ++i) second.push_back(reduction::nextRandom());
    std::vector<int> other;
    onFreshThread([&] { other.push_back(reduction::nextRandom()); });  // not disturbed by this thread's draws
    EXPECT_EQ(other, std::vector<int>{41});
    for (int i = 0; i < 3; ++i) second.push_back(reduction::nextRandom());
  });
  EXPECT_EQ(first, expected);
  EXPECT_EQ(second, expected);
}

TEST(Arithmetic, SixteenthsTruncateTowardZeroLikeTheFloatingPointProducts) {
  const int weights[] = {1, 3, 5, 7};
  for (int v = -70000; v <= 70000; v += 7) {
    for (int k : weights) {
      for (int e : {-32768, -129, -1, 0, 1, 77, 32767}) {
        const double exact = static_cast<double>(v) * (k / 16.0) + e;
        ASSERT_EQ(reduction::truncSixteenths(v, k, e), static_cast<int>(std::trunc(exact))) << v << " " << k << " " << e;
      }
    }
  }
  EXPECT_EQ(reduction::lowSigned8(393), -119);
  EXPECT_EQ(reduction::lowSigned8(-129), 127);
  EXPECT_EQ(reduction::lowSigned16(40000), 40000 - 65536);
  EXPECT_EQ(reduction::lowSigned16(-32769), 32767);
}

// A filter that records the order in which pixels are processed and inverts them.
class RecordingFilter : public BitFilter {
 public:
  int Process(uint32_t x, int in) override {
    order.push_back(x);
    return in ^ 1;
  }
  std::vector<uint32_t> order;
};

TEST(BitFilterRows, AlternateDirectionsAndLeaveBitsBeyondTheWidthAlone) {
  RecordingFilter filter;
  ASSERT_EQ(filter.Begin(10, 50), 0);
  uint8_t row[2] = {0xF0, 0xFF};
  filter.FilterRow(row);
  EXPECT_EQ(filter.order, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(row[0], 0x0F);
  EXPECT_EQ(row[1], 0x3F);  // pixels 8 and 9 flipped, the six bits beyond untouched
  filter.order.clear();
  filter.FilterRow(row);
  EXPECT_EQ(filter.order, (std::vector<uint32_t>{9, 8, 7, 6, 5, 4, 3, 2, 1, 0}));
  EXPECT_EQ(filter.rowCount(), 2u);
  EXPECT_EQ(filter.Begin(3, 50), 0);  // Begin restarts the count and the direction
  filter.order.clear();
  filter.FilterRow(row);
  EXPECT_EQ(filter.order, (std::vector<uint32_t>{0, 1, 2}));
}

TEST(BitFilterRows, TheBaseFilterPassesBitsAndAClosedFilterDoesNothing) {
  BitFilter base;
  uint8_t row[3] = {0xA5, 0x5A, 0x81};
  base.FilterRow(row);  // not begun
  EXPECT_EQ(base.rowCount(), 0u);
  ASSERT_EQ(base.Begin(24, 0), 0);
  base.FilterRow(row);
  EXPECT_EQ(row[0], 0xA5);
  EXPECT_EQ(row[1], 0x5A);
  EXPECT_EQ(row[2], 0x81);
  base.Finish();
  EXPECT_FALSE(base.isOpen());

  ErrorDiffusionFilter closed;
  uint8_t ones[2] = {0xFF, 0xFF};
  closed.FilterRow(ones);
  EXPECT_EQ(ones[0], 0xFF);
}

// Worked by hand from the random sequence 41, 18467, ...: the weights, the
// truncation of negative values toward zero and the wrap-around neighbours.
TEST(ErrorDiffusion, FirstRowMatchesTheHandWorkedValues) {
  onFreshThread([] {
    ErrorDiffusionFilter filter;
    ASSERT_EQ(filter.Begin(2, 60), 0);
    filter.SetNoise(40);
    uint8_t row[1] = {0xFF};
    filter.FilterRow(row);
    // x=0: t=31, v=60 -> on, v=-40; carry -17, e0 -12, e1 -2 then -9.
    // x=1: t=57, v=34 -> off; carry 14, e1 10, e0 -9 then -2.
    EXPECT_EQ(row[0], 0xBF);
    EXPECT_EQ(filter.carry(), 14);
    EXPECT_EQ(filter.errorRow()[0], -2);
    EXPECT_EQ(filter.errorRow()[1], 10);
  });
  onFreshThread([] {
    ErrorDiffusionFilter filter;
    ASSERT_EQ(filter.Begin(2, 60), 0);  // noise 50: t=66, then 42
    uint8_t row[1] = {0xFF};
    filter.FilterRow(row);
    EXPECT_EQ(row[0], 0x7F);
    EXPECT_EQ(filter.carry(), 0);
    EXPECT_EQ(filter.errorRow()[0], 18);
    EXPECT_EQ(filter.errorRow()[1], 0);
  });
  onFreshThread([] {
    // Level 1000 (a low 16-bit level beyond 100): the carry keeps only its
    // low 8 bits, the error passes through 8 bits before the neighbours add.
    ErrorDiffusionFilter filter;
    ASSERT_EQ(filter.Begin(1, 1000), 0);
    filter.SetNoise(40);
    uint8_t row[1] = {0x80};
    filter.FilterRow(row);
    EXPECT_EQ(row[0], 0x80);
    EXPECT_EQ(filter.carry(), -119);         // trunc(900 * 0.4375) = 393
    EXPECT_EQ(filter.errorRow()[0], 249);    // 25, + 56, + 168
  });
}

TEST(ErrorDiffusion, StartResetsNoiseAndNoiseNeverReachesZero) {
  ErrorDiffusionFilter filter;
  filter.SetNoise(7);
  ASSERT_EQ(filter.Begin(16, 50), 0);
  EXPECT_EQ(filter.noise(), 50);
  filter.SetNoise(0);
  EXPECT_EQ(filter.noise(), 1);
  uint8_t row[2] = {0xFF, 0xFF};
  filter.FilterRow(row);  // a band of width 1 still filters: threshold 50
  EXPECT_EQ(reduction_tests::countOnes(row, 2), 8u);
}

TEST(ErrorDiffusion, KeepsAboutTheLevelOfTheDots) {
  for (int level : {0, 10, 25, 50, 75, 100}) {
    ErrorDiffusionFilter filter;
    ASSERT_EQ(filter.Begin(800, static_cast<uint16_t>(level)), 0);
    size_t ones = 0;
    for (int r = 0; r < 200; ++r) {
      uint8_t row[100];
      std::memset(row, 0xFF, sizeof row);
      filter.FilterRow(row);
      ones += reduction_tests::countOnes(row, sizeof row);
    }
    EXPECT_NEAR(100.0 * ones / (800.0 * 200), level, 1.5) << level;  // truncation loses a little error
  }
}

TEST(ErrorDiffusion, ErrorRowFollowsBeginFinishAndDeletion) {
  const long before = reduction::liveBlocks();
  {
    testing_seams::FailingAllocator failing;
    ErrorDiffusionFilter filter;
    EXPECT_EQ(filter.Begin(100, 50), -1);
    uint8_t row[13] = {};
    std::memset(row, 0xFF, sizeof row);
    filter.FilterRow(row);  // open without an error row: bits pass
    EXPECT_EQ(reduction_tests::countOnes(row, sizeof row), 104u);
    filter.Finish();
  }
  {
    ErrorDiffusionFilter filter;
    ASSERT_EQ(filter.Begin(100, 50), 0);
    EXPECT_EQ(reduction::liveBlocks(), before + 1);
    ASSERT_EQ(filter.Begin(200, 50), 0);  // begun again without Finish: the old row is released
    EXPECT_EQ(reduction::liveBlocks(), before + 1);
    filter.Finish();
    EXPECT_EQ(reduction::liveBlocks(), before);
    ASSERT_EQ(filter.Begin(0, 50), 0);  // zero width: nothing to filter, still a valid row
  }  // deleted while open
  EXPECT_EQ(reduction::liveBlocks(), before);
  {
    ErrorDiffusionFilter* filter = reduction::createObject<ErrorDiffusionFilter>();
    ASSERT_NE(filter, nullptr);
    ASSERT_EQ(filter->Begin(4000, 30), 0);
    reduction::destroyObject(filter);
  }
  EXPECT_EQ(reduction::liveBlocks(), before);
}

}  // namespace
