// Mode 2 rows: the worked encodings, the blank-prefix rules and the decoder's
// packet kinds, its source end and the destination capacity it must respect.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "VaskUtil.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Worst-case encoded size of a row range (see CompressMode2).
size_t mode2Bound(const Bytes& row, int32_t start, int32_t end) {
  int32_t p = start;
  while (p < end && row[p] == 0) ++p;
  const size_t blanks = static_cast<size_t>(p);
  const size_t rest = static_cast<size_t>(end - p);
  return 2 * ((blanks + 127) / 128) + rest + (rest + 127) / 128;
}

Bytes encode(const Bytes& row, int32_t start, int32_t end, int32_t skipBlank) {
  const size_t bound = mode2Bound(row, start, end);
  Bytes out(bound + 16, 0xEE);
  const int32_t n = CompressMode2(row.data(), start, end, out.data(), skipBlank);
  EXPECT_GE(n, 0);
  EXPECT_LE(static_cast<size_t>(n), bound) << "output bound exceeded";
  for (size_t i = static_cast<size_t>(n); i < out.size(); ++i) {
    EXPECT_EQ(out[i], 0xEE) << "wrote past its result at " << i;
  }
  out.resize(static_cast<size_t>(n));
  return out;
}

Bytes encode(const Bytes& row, int32_t skipBlank = 0) {
  return encode(row, 0, static_cast<int32_t>(row.size()), skipBlank);
}

Bytes decode(const Bytes& source, int32_t capacity) {
  Bytes out(static_cast<size_t>(capacity) + 16, 0xEE);
  const int32_t n = decodePlaneToTableBounded(source.data(), static_cast<int32_t>(source.size()), out.data(), capacity);
  EXPECT_GE(n, 0);
  EXPECT_LE(n, capacity);
  for (size_t i = static_cast<size_t>(capacity); i < out.size(); ++i) {
    EXPECT_EQ(out[i], 0xEE) << "wrote past the capacity at " << i;
  }
  out.resize(static_cast<size_t>(n));
  return out;
}

TEST(CompressMode2, WorkedResults) {
  EXPECT_EQ(encode({0x00, 0x00, 0x05, 0x05, 0x07, 0x07, 0x07, 0x07}),
            (Bytes{0xFF, 0x00, 0x01, 0x05, 0x05, 0xFD, 0x07}));
  EXPECT_EQ(encode({0x41, 0x41, 0x42}), (Bytes{0x02, 0x41, 0x41, 0x42}));
  EXPECT_EQ(encode({0x41, 0x42, 0x42, 0x42}), (Bytes{0x00, 0x41, 0xFE, 0x42}));
}

TEST(CompressMode2, AllZeroRowWithFlagClearGivesZeroRuns) {
  EXPECT_EQ(encode(Bytes(300, 0), 0), (Bytes{0x81, 0x00, 0x81, 0x00, 0xD5, 0x00}));
}

TEST(CompressMode2, AllZeroRowWithFlagSetGivesNothing) {
  Bytes out(8, 0xEE);
  Bytes row(300, 0);
  EXPECT_EQ(CompressMode2(row.data(), 0, 300, out.data(), 1), 0);
  EXPECT_EQ(out, Bytes(8, 0xEE));
}

TEST(CompressMode2, BlankPrefixLengths) {
  // One zero is a literal, two are a repeat packet (unlike pairs in the row).
  EXPECT_EQ(encode({0x00, 0x09}), (Bytes{0x00, 0x00, 0x00, 0x09}));
  EXPECT_EQ(encode({0x00, 0x00, 0x09}), (Bytes{0xFF, 0x00, 0x00, 0x09}));
  Bytes row(128, 0);
  row.push_back(0x09);
  EXPECT_EQ(encode(row), (Bytes{0x81, 0x00, 0x00, 0x09}));
  row.insert(row.begin(), 0x00);  // 129 zeros: a full packet, then a literal zero
  EXPECT_EQ(encode(row), (Bytes{0x81, 0x00, 0x00, 0x00, 0x00, 0x09}));
}

TEST(CompressMode2, PairInsideRowStaysLiteral) {
  EXPECT_EQ(encode({0x01, 0x00, 0x00, 0x02}), (Bytes{0x03, 0x01, 0x00, 0x00, 0x02}));
}

TEST(CompressMode2, StartThreeBeforeNonZeroByteGivesThreeZeros) {
  // The three unread positions are a blank prefix: Z = 3, 257 - 3 = 0xFE.
  Bytes row{0x11, 0x22, 0x33, 0x44};
  EXPECT_EQ(encode(row, 3, 4, 0), (Bytes{0xFE, 0x00, 0x00, 0x44}));
  EXPECT_EQ(decode(encode(row, 3, 4, 0), 64), (Bytes{0x00, 0x00, 0x00, 0x44}));
}

TEST(CompressMode2, PositionsBeforeStartAreNeverRead) {
  Bytes row{0x11, 0x22, 0x00, 0x00, 0x55, 0x66};
  const Bytes a = encode(row, 2, 6, 0);
  row[0] = 0x99;
  row[1] = 0x98;
  EXPECT_EQ(encode(row, 2, 6, 0), a);
  EXPECT_EQ(a, (Bytes{0xFD, 0x00, 0x01, 0x55, 0x66}));
}

TEST(CompressMode2, BlankRangeAfterStart) {
  Bytes row{0x11, 0x22, 0x00, 0x00};
  EXPECT_EQ(encode(row, 2, 4, 1), Bytes{});
  EXPECT_EQ(encode(row, 2, 4, 0), (Bytes{0xFD, 0x00}));
}

TEST(CompressMode2, RunOf129SplitsAt128) {
  EXPECT_EQ(encode(Bytes(129, 0x41)), (Bytes{0x81, 0x41, 0x00, 0x41}));
  // The two left over are a pair, which stays a literal.
  EXPECT_EQ(encode(Bytes(130, 0x41)), (Bytes{0x81, 0x41, 0x01, 0x41, 0x41}));
  EXPECT_EQ(encode(Bytes(131, 0x41)), (Bytes{0x81, 0x41, 0xFE, 0x41}));
}

TEST(CompressMode2, LiteralStopsAt128Bytes) {
  Bytes row;
  for (int i = 0; i < 130; ++i) row.push_back(static_cast<uint8_t>(i % 2 ? 0x10 : 0x20));
  const Bytes out = encode(row);
  ASSERT_EQ(out.size(), 1u + 128 + 1 + 2);
  EXPECT_EQ(out[0], 127);
  EXPECT_EQ(out[129], 1);
  EXPECT_EQ(decode(out, 1000), row);
}

TEST(CompressMode2, EmptyRange) {
  Bytes row{0x01};
  EXPECT_EQ(encode(row, 0, 0, 0), Bytes{});
  EXPECT_EQ(encode(row, 0, 0, 1), Bytes{});
}

TEST(CompressMode2, RoundTripsRandomRowsWithinTheBound) {
  std::mt19937 rng(1776);
  for (int trial = 0; trial < 2000; ++trial) {
    const int32_t length = static_cast<int32_t>(rng() % 1200);
    Bytes row(static_cast<size_t>(length));
    const int style = trial % 4;
    for (auto& b : row) {
      const uint32_t r = rng();
      b = style == 0 ? static_cast<uint8_t>(r) : style == 1 ? static_cast<uint8_t>(r % 3 == 0 ? r >> 8 : 0) :
          style == 2 ? static_cast<uint8_t>((r % 7) == 0) : static_cast<uint8_t>(r % 2 ? 0xAA : 0x55);
    }
    // Long runs now and then.
    if (length > 300 && trial % 5 == 0) std::fill(row.begin() + 10, row.begin() + 290, static_cast<uint8_t>(rng()));
    const int32_t start = length ? static_cast<int32_t>(rng() % (static_cast<uint32_t>(length) / 2 + 1)) : 0;
    const Bytes encoded = encode(row, start, length, trial % 2);
    Bytes expected(row);
    std::fill(expected.begin(), expected.begin() + start, 0);
    const bool blank = std::all_of(expected.begin(), expected.end(), [](uint8_t b) { return b == 0; });
    if (blank && trial % 2) {
      EXPECT_TRUE(encoded.empty());
      continue;
    }
    ASSERT_EQ(decode(encoded, length), expected) << "trial " << trial;
  }
}

TEST(DecodePlaneToTable, EmptySourceAndNoOperation) {
  EXPECT_EQ(decode({}, 16), Bytes{});
  EXPECT_EQ(decode({0x80}, 16), Bytes{});
  EXPECT_EQ(decode({0x80, 0x00, 0x07, 0x80}, 16), Bytes{0x07});
}

TEST(DecodePlaneToTable, RepeatPackets) {
  EXPECT_EQ(decode({0xFF, 0x41}, 300), (Bytes{0x41, 0x41}));
  EXPECT_EQ(decode({0x81, 0x41}, 300), Bytes(128, 0x41));
}

TEST(DecodePlaneToTable, LiteralPackets) {
  EXPECT_EQ(decode({0x02, 0x41, 0x41, 0x42, 0xFE, 0x07}, 300), (Bytes{0x41, 0x41, 0x42, 0x07, 0x07, 0x07}));
  Bytes source{0x7F};
  for (int i = 0; i < 128; ++i) source.push_back(static_cast<uint8_t>(i));
  EXPECT_EQ(decode(source, 300).size(), 128u);
}

TEST(DecodePlaneToTable, SourceEndingInsideAPacket) {
  // Nothing beyond the source length is read.
  Bytes source{0x05, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
  EXPECT_EQ(decodePlaneToTableBounded(source.data(), 3, Bytes(16).data(), 16), 2);
  Bytes out(16, 0);
  EXPECT_EQ(decodePlaneToTableBounded(source.data(), 3, out.data(), 16), 2);
  EXPECT_EQ(out[0], 0x01);
  EXPECT_EQ(out[1], 0x02);
  EXPECT_EQ(out[2], 0x00);
  EXPECT_EQ(decode({0xFD}, 16), Bytes{});
}

TEST(DecodePlaneToTable, CutsTheRowAtTheDestinationCapacity) {
  EXPECT_EQ(decode({0x81, 0x41}, 100), Bytes(100, 0x41));
  EXPECT_EQ(decode({0x03, 1, 2, 3, 4, 0xFF, 9}, 2), (Bytes{1, 2}));
  EXPECT_EQ(decode({0x01, 1, 2, 0xFE, 9, 0x00, 5}, 4), (Bytes{1, 2, 9, 9}));
  EXPECT_EQ(decode({0x00, 1}, 0), Bytes{});
  // A capacity that ends exactly with a packet decodes it whole.
  EXPECT_EQ(decode({0xFE, 9, 0x00, 5}, 4), (Bytes{9, 9, 9, 5}));
}

TEST(DecodePlaneToTable, LengthIsSigned16Bit) {
  // 65536 + 2 read as 16 bits is 2.
  Bytes source{0xFF, 0x33, 0xFF, 0x44};
  Bytes out(16, 0);
  EXPECT_EQ(decodePlaneToTableBounded(source.data(), 65536 + 2, out.data(), 16), 2);
  EXPECT_EQ(decodePlaneToTableBounded(source.data(), -4, out.data(), 16), 0);
}

}  // namespace
