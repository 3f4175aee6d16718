// Dot counting and the share of ink a thinning removed.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "VaskUtil.h"

namespace {

TEST(CountDotsInPlane, CountsSetBits) {
  const uint8_t row[] = {0xFF, 0x00, 0x80, 0x01};
  EXPECT_EQ(CountDotsInPlane(row, 4), 10);
  EXPECT_EQ(CountDotsInPlane(row, 3), 9);
  EXPECT_EQ(CountDotsInPlane(row, 0), 0);
  EXPECT_EQ(CountDotsInPlane(row, -1), 0);
}

TEST(CountDotsInPlane, EveryByteValue) {
  std::vector<uint8_t> row(256);
  int expected = 0;
  for (int v = 0; v < 256; ++v) {
    row[static_cast<size_t>(v)] = static_cast<uint8_t>(v);
    for (int b = v; b; b >>= 1) expected += b & 1;
  }
  EXPECT_EQ(CountDotsInPlane(row.data(), 256), expected);
  EXPECT_EQ(expected, 1024);
}

TEST(CountDotsInPlane, CountIsSigned16Bit) {
  std::vector<uint8_t> row(40000, 0xFF);
  EXPECT_EQ(CountDotsInPlane(row.data(), 32767), 32767 * 8);
  EXPECT_EQ(CountDotsInPlane(row.data(), 32768), 0);  // -32768 as 16 bits
  EXPECT_EQ(CountDotsInPlane(row.data(), 65536 + 3), 24);
}

TEST(GetPercentage, ZeroArgumentsGiveZero) {
  EXPECT_EQ(getPercentage(0, 50), 0.0);
  EXPECT_EQ(getPercentage(50, 0), 0.0);
  EXPECT_EQ(getPercentage(0, 0), 0.0);
}

TEST(GetPercentage, ShareRemoved) {
  EXPECT_DOUBLE_EQ(getPercentage(100, 70), 30.0);
  EXPECT_DOUBLE_EQ(getPercentage(100, 130), 30.0);
  EXPECT_EQ(getPercentage(100, 100), 0.0);
  EXPECT_DOUBLE_EQ(getPercentage(3, 2), 100.0 - 200.0 / 3.0);
}

TEST(GetPercentage, LargeCountsStayExact) {
  // 30,000,000 x 100 leaves 32 bits; the wider product keeps the answer.
  EXPECT_DOUBLE_EQ(getPercentage(40000000, 30000000), 25.0);
}

}  // namespace
