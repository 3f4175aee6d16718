// Mode 9 delta rows applied to a seed row: both command forms, offset and
// count extensions, skipped bytes keeping the seed, and the seed capacity.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "VaskUtil.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Applied {
  int32_t result;
  Bytes seed;
};

// Applies source to a seed of `capacity` bytes filled with 0xEE, inside a
// larger buffer whose tail must stay untouched.
Applied applyRow(const Bytes& source, int32_t capacity, uint8_t fill = 0xEE) {
  Bytes seed(static_cast<size_t>(capacity) + 32, fill);
  Applied a;
  a.result = decompressMode9Bounded(source.data(), static_cast<int32_t>(source.size()), seed.data(), capacity);
  for (size_t i = static_cast<size_t>(capacity); i < seed.size(); ++i) {
    EXPECT_EQ(seed[i], fill) << "wrote past the seed capacity at " << i;
  }
  seed.resize(static_cast<size_t>(capacity));
  a.seed = seed;
  return a;
}

TEST(DecompressMode9, EmptySourceLeavesSeedAlone) {
  const Applied a = applyRow({}, 16, 0x5A);
  EXPECT_EQ(a.result, 0);
  EXPECT_EQ(a.seed, Bytes(16, 0x5A));
}

TEST(DecompressMode9, LiteralCountExtension) {
  // 0x07: literal, offset 0, count field 7 + extension 1 = 9 bytes.
  Bytes source{0x07, 0x01, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  const Applied a = applyRow(source, 16);
  EXPECT_EQ(a.result, 9);
  EXPECT_EQ(Bytes(a.seed.begin(), a.seed.begin() + 10), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 0xEE}));
}

TEST(DecompressMode9, RunOfTwo) {
  const Applied a = applyRow({0x80, 0x55}, 8);
  EXPECT_EQ(a.result, 2);
  EXPECT_EQ(a.seed, (Bytes{0x55, 0x55, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST(DecompressMode9, RunOffsetExtensionSkips260Positions) {
  // 0xE0: run form, offset field 3 + 255 + 2 = 260, count 0 -> two bytes.
  const Applied a = applyRow({0xE0, 0xFF, 0x02, 0x77}, 300);
  EXPECT_EQ(a.result, 262);
  for (int i = 0; i < 260; ++i) ASSERT_EQ(a.seed[static_cast<size_t>(i)], 0xEE) << i;
  EXPECT_EQ(a.seed[260], 0x77);
  EXPECT_EQ(a.seed[261], 0x77);
  EXPECT_EQ(a.seed[262], 0xEE);
}

TEST(DecompressMode9, OffsetsCountFromThePreviousReplacement) {
  // Literal offset 2 count 0 -> position 2; then run offset 1 count 1 (3 bytes)
  // -> positions 4..6; the skipped positions keep the seed's bytes.
  const Applied a = applyRow({0x10, 0xAA, 0xA1, 0xBB}, 10);
  EXPECT_EQ(a.result, 7);
  EXPECT_EQ(a.seed, (Bytes{0xEE, 0xEE, 0xAA, 0xEE, 0xBB, 0xBB, 0xBB, 0xEE, 0xEE, 0xEE}));
}

TEST(DecompressMode9, OffsetExtensionsComeBeforeCountExtensions) {
  // Literal with offset field 15 and count field 7: offset 15 + 1, count 7 + 0.
  Bytes source{0x7F, 0x01, 0x00, 1, 2, 3, 4, 5, 6, 7, 8};
  const Applied a = applyRow(source, 32);
  EXPECT_EQ(a.result, 24);
  EXPECT_EQ(a.seed[15], 0xEE);
  EXPECT_EQ(Bytes(a.seed.begin() + 16, a.seed.begin() + 24), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
  // Run with both fields at their maximum: offset 3 + 0, count 31 + 255 + 1.
  const Applied b = applyRow({0xFF, 0x00, 0xFF, 0x01, 0x42}, 400);
  EXPECT_EQ(b.result, 3 + 31 + 255 + 1 + 2);
  EXPECT_EQ(b.seed[2], 0xEE);
  EXPECT_EQ(b.seed[3], 0x42);
  EXPECT_EQ(b.seed[291], 0x42);
  EXPECT_EQ(b.seed[292], 0xEE);
}

TEST(DecompressMode9, ResultIsThePositionAfterTheLastReplacementNotTheRowLength) {
  const Applied a = applyRow({0x00, 0x01}, 64);
  EXPECT_EQ(a.result, 1);
}

TEST(DecompressMode9, SourceEndingInsideACommand) {
  // The literal promises four bytes, two are there: they are copied.
  Applied a = applyRow({0x03, 0x01, 0x02}, 8);
  EXPECT_EQ(a.result, 2);
  EXPECT_EQ(Bytes(a.seed.begin(), a.seed.begin() + 3), (Bytes{1, 2, 0xEE}));
  // A run without its data byte and an unfinished extension replace nothing.
  a = applyRow({0x80}, 8);
  EXPECT_EQ(a.result, 0);
  EXPECT_EQ(a.seed, Bytes(8, 0xEE));
  a = applyRow({0xE0, 0xFF}, 8);
  EXPECT_EQ(a.result, 0);
  EXPECT_EQ(a.seed, Bytes(8, 0xEE));
  // Nothing beyond the given length is read.
  Bytes source{0x80, 0x11, 0x80, 0x22};
  Bytes seed(8, 0);
  EXPECT_EQ(decompressMode9Bounded(source.data(), 3, seed.data(), 8), 2);
  EXPECT_EQ(seed, (Bytes{0x11, 0x11, 0, 0, 0, 0, 0, 0}));
}

TEST(DecompressMode9, CutsTheRowAtTheSeedCapacity) {
  // A run of 33 into a 10-byte seed stops at its end.
  Applied a = applyRow({0x9F, 0x00, 0x42}, 10);
  EXPECT_EQ(a.result, 10);
  EXPECT_EQ(a.seed, Bytes(10, 0x42));
  // A literal reaching past the end is cut too.
  a = applyRow({0x07, 0x00, 1, 2, 3, 4, 5, 6, 7, 8}, 5);
  EXPECT_EQ(a.result, 5);
  EXPECT_EQ(a.seed, (Bytes{1, 2, 3, 4, 5}));
  // An offset beyond the end replaces nothing.
  a = applyRow({0xE0, 0xFF, 0x02, 0x77}, 100);
  EXPECT_EQ(a.result, 100);
  EXPECT_EQ(a.seed, Bytes(100, 0xEE));
  a = applyRow({0x80, 0x55}, 0);
  EXPECT_EQ(a.result, 0);
}

TEST(DecompressMode9, LengthIsSigned16Bit) {
  Bytes source{0x80, 0x11};
  Bytes seed(4, 0);
  EXPECT_EQ(decompressMode9Bounded(source.data(), 65536 + 2, seed.data(), 4), 2);
  EXPECT_EQ(decompressMode9Bounded(source.data(), -2, seed.data(), 4), 0);
}

}  // namespace
