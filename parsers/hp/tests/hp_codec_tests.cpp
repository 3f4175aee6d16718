#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "VaskUtil.h"
#include "hp_codecs.h"

namespace {

using Row = std::vector<uint8_t>;

Row encode10(const Row& row, Row seed) {
  Row out(static_cast<size_t>(hp::mode10Bound(static_cast<int32_t>(row.size()))));
  out.resize(static_cast<size_t>(hp::encodeMode10(row.data(), static_cast<int32_t>(row.size()), seed.data(), out.data())));
  return out;
}

Row whiteRow(int pixels) { return Row(3 * static_cast<size_t>(pixels), 0xFF); }

TEST(Mode9Encoder, WorkedExampleAndRepeatedRow) {
  const Row row{0x01, 0x02, 0x03, 0x04, 0x04, 0x04, 0x04, 0x04, 0x09};
  const Row seed(row.size(), 0);
  Row out(64);
  out.resize(static_cast<size_t>(hp::encodeMode9(row.data(), seed.data(), 9, out.data())));
  EXPECT_EQ(out, (Row{0x02, 0x01, 0x02, 0x03, 0x83, 0x04, 0x00, 0x09}));
  EXPECT_EQ(hp::encodeMode9(row.data(), row.data(), 9, out.data()), 0);
}

TEST(Mode9Encoder, RoundTripsThroughTheDecoderWithLongOffsetsAndRuns) {
  std::mt19937 random(7);
  for (int trial = 0; trial < 200; ++trial) {
    const int width = 1 + static_cast<int>(random() % 900);
    Row seed(static_cast<size_t>(width)), row(static_cast<size_t>(width));
    for (auto& b : seed) b = static_cast<uint8_t>(random() % 3 == 0 ? random() : 0);
    row = seed;
    // Changed stretches: literals, long runs, far offsets.
    for (int k = static_cast<int>(random() % 6); k > 0; --k) {
      const int at = static_cast<int>(random() % static_cast<unsigned>(width));
      const int len = std::min(width - at, 1 + static_cast<int>(random() % 400));
      const bool run = random() % 2;
      const uint8_t value = static_cast<uint8_t>(random());
      for (int i = 0; i < len; ++i) row[static_cast<size_t>(at + i)] = run ? value : static_cast<uint8_t>(random());
    }
    Row encoded(static_cast<size_t>(hp::mode9Bound(width)));
    const int32_t n = hp::encodeMode9(row.data(), seed.data(), width, encoded.data());
    ASSERT_LE(n, hp::mode9Bound(width));
    Row decoded = seed;
    decompressMode9Bounded(encoded.data(), n, decoded.data(), width);
    ASSERT_EQ(decoded, row) << "trial " << trial;
  }
}

TEST(Mode3Decoder, ReplacesCountedBytesAtExtendedOffsetsAndCutsAtTheCapacity) {
  // Two bytes at offset 1; then one byte 31 + 2 bytes after them; a zero-length
  // row leaves the seed as it was.
  const Row source{0x21, 0x11, 0x22, 0x1F, 0x02, 0x33};
  Row seed(64, 0x00);
  EXPECT_EQ(hp::decodeMode3(source.data(), 6, seed.data(), 64), 37);
  EXPECT_EQ(seed[1], 0x11);
  EXPECT_EQ(seed[2], 0x22);
  EXPECT_EQ(seed[36], 0x33);
  EXPECT_EQ(std::count(seed.begin(), seed.end(), 0), 61);
  EXPECT_EQ(hp::decodeMode3(source.data(), 0, seed.data(), 64), 0);
  Row small(8, 0x00);
  EXPECT_EQ(hp::decodeMode3(source.data(), 6, small.data(), 8), 8);
  EXPECT_EQ(small, (Row{0x00, 0x11, 0x22, 0x00, 0x00, 0x00, 0x00, 0x00}));
  // A command cut by the end of the row replaces what there is.
  Row cut(8, 0x00);
  EXPECT_EQ(hp::decodeMode3(Row{0xE0, 0x01, 0x02}.data(), 3, cut.data(), 8), 2);
  EXPECT_EQ(cut[1], 0x02);
}

TEST(Mode10Codec, WorkedExamples) {
  Row row = whiteRow(12);
  row[15] = 0x0A, row[16] = 0x14, row[17] = 0x1E;
  EXPECT_EQ(encode10(row, whiteRow(12)), (Row{0x18, 0x02, 0x05, 0x0A, 0x0F}));

  Row grey(36, 0x64);
  Row changed = grey;
  changed[15] = 0x67, changed[16] = 0x62, changed[17] = 0x68;
  EXPECT_EQ(encode10(changed, grey), (Row{0x18, 0x02, 0x8F, 0xC2}));

  Row runRow = whiteRow(12);
  for (int i = 0; i < 9; ++i) runRow[3 * i] = 0x0A, runRow[3 * i + 1] = 0x14, runRow[3 * i + 2] = 0x1E;
  EXPECT_EQ(encode10(runRow, whiteRow(12)), (Row{0x87, 0x05, 0x0A, 0x0F, 0x00}));
}

TEST(Mode10Codec, WestIsThePixelLeftInTheRowBeingDecoded) {
  // A new black pixel, then a run of two from the west: black, not the
  // seed's white.
  const Row source{0x00, 0x00, 0x00, 0x00, 0xA0};
  Row seed = whiteRow(4), out(12);
  hp::decodeMode10(source.data(), 5, seed.data(), out.data(), 12);
  EXPECT_EQ(out, (Row{0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF}));
}

TEST(Mode10Codec, UnchangedRowIsEmptyAndEmptyRowRepeatsTheSeed) {
  Row seed = whiteRow(5);
  seed[4] = 0x20;
  Row seedCopy = seed;
  EXPECT_TRUE(encode10(seed, seedCopy).empty());
  Row out(seed.size());
  EXPECT_EQ(hp::decodeMode10(nullptr, 0, seed.data(), out.data(), 15), 15);
  EXPECT_EQ(out, seedCopy);
}

// Encoding then decoding gives the row back, blue's lowest bit as the decoder
// rebuilds it; rows are built from few colours so runs, caches and
// north-east/west sources all occur, and long literals cross the extensions.
TEST(Mode10Codec, RoundTrip) {
  std::mt19937 random(11);
  const uint8_t palette[][3] = {{0xFF, 0xFF, 0xFE}, {0x10, 0x20, 0x30}, {0x12, 0x22, 0x36}, {0x00, 0x00, 0x00}};
  for (int trial = 0; trial < 300; ++trial) {
    const int width = 1 + static_cast<int>(random() % 700);
    Row encoderSeed = whiteRow(width), decoderSeed = whiteRow(width);
    for (int line = 0; line < 4; ++line) {
      Row row(3 * static_cast<size_t>(width));
      const bool noisy = random() % 3 == 0;
      for (int p = 0; p < width; ++p) {
        for (int c = 0; c < 3; ++c) {
          row[3 * static_cast<size_t>(p) + static_cast<size_t>(c)] =
              noisy ? static_cast<uint8_t>(random()) : palette[random() % 4][c];
        }
        if (!noisy && p > 0 && random() % 2) std::copy_n(&row[3 * static_cast<size_t>(p - 1)], 3, &row[3 * static_cast<size_t>(p)]);
      }
      Row encoded(static_cast<size_t>(hp::mode10Bound(3 * width)) + 64);
      const int32_t n = hp::encodeMode10(row.data(), 3 * width, encoderSeed.data(), encoded.data());
      ASSERT_LE(n, hp::mode10Bound(3 * width));
      Row decoded(row.size());
      hp::decodeMode10(encoded.data(), n, decoderSeed.data(), decoded.data(), 3 * width);
      for (int p = 0; p < width; ++p) {
        const size_t i = 3 * static_cast<size_t>(p);
        ASSERT_EQ(decoded[i], row[i]) << trial << " pixel " << p;
        ASSERT_EQ(decoded[i + 1], row[i + 1]) << trial << " pixel " << p;
        ASSERT_EQ(decoded[i + 2] >> 1, row[i + 2] >> 1) << trial << " pixel " << p;
      }
    }
  }
}

TEST(Mode10Codec, DecoderStaysInsideTheRow) {
  std::mt19937 random(3);
  for (int trial = 0; trial < 500; ++trial) {
    Row junk(1 + random() % 300);
    for (auto& b : junk) b = static_cast<uint8_t>(random());
    Row seed = whiteRow(7), out(21);
    EXPECT_EQ(hp::decodeMode10(junk.data(), static_cast<int32_t>(junk.size()), seed.data(), out.data(), 21), 21);
  }
}

}  // namespace
