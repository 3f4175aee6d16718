// The Canon job reader on hand-built jobs: rows and their positions, pages,
// the bytes outside the rows, bands with colour lists, bits per pixel.
#include <gtest/gtest.h>

#include "raster_job.h"

using namespace jobread;

namespace {

Bytes cmd(char letter, const Bytes& payload) {
  Bytes out{'\x1b', '(', letter, static_cast<char>(payload.size() & 0xFF), static_cast<char>(payload.size() >> 8)};
  return out + payload;
}
Bytes rowA(char colour, const Bytes& packed) { return cmd('A', Bytes(1, colour) + packed); }
Bytes skip(int lines) { return cmd('e', Bytes{static_cast<char>(lines >> 8), static_cast<char>(lines & 0xFF)}); }
Bytes bytes(std::initializer_list<int> values) {
  Bytes out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

TEST(CanonReader, RowsWithColourBytesGroupedBySkipsAndSplitIntoPages) {
  const Bytes job = cmd('d', bytes({0x01, 0x68, 0x02, 0xD0})) +               // 360 x 720 dpi
                    skip(10) + rowA('C', bytes({0x01, 0xF0, 0x0F})) + "\r" +  // two literal bytes
                    rowA('K', bytes({0xFE, 0xAA})) + "\r" +                   // 0xAA three times
                    skip(1) + rowA('Y', bytes({0x00, 0x80})) + "\r\x0c" +     // a literal 0x80
                    rowA('M', bytes({0x00, 0x01})) + "\x0c";
  const Job read = readCanonJob(job);
  EXPECT_FALSE(read.truncated);
  ASSERT_EQ(read.pages.size(), 2u);
  const Page& first = read.pages[0];
  EXPECT_EQ(first.xDpi, 720);
  EXPECT_EQ(first.yDpi, 360);
  ASSERT_EQ(first.rows.size(), 2u);
  EXPECT_EQ(first.rowY, (std::vector<int>{10, 11}));
  ASSERT_EQ(first.rows[0].size(), 2u);
  EXPECT_EQ(first.rows[0][0].ink, 'C');
  EXPECT_EQ(first.rows[0][0].data, bytes({0xF0, 0x0F}));
  EXPECT_EQ(first.rows[0][1].ink, 'K');
  EXPECT_EQ(first.rows[0][1].data, bytes({0xAA, 0xAA, 0xAA}));
  EXPECT_EQ(first.rows[1][0].data, bytes({0x80}));
  EXPECT_EQ(countDots(first.rows[0][0]), 8u);
  // A new sheet starts at the top again.
  EXPECT_EQ(read.pages[1].rowY, (std::vector<int>{0}));
  // Lengths and row data are left out; colour bytes, CRs and form feeds stay.
  const Bytes expectedOther = cmd('d', bytes({0x01, 0x68, 0x02, 0xD0})) + skip(10) + "\x1b(AC\r\x1b(AK\r" + skip(1) +
                              "\x1b(AY\r\x0c\x1b(AM\x0c";
  EXPECT_EQ(read.other, expectedOther);
}

TEST(CanonReader, RewrittenRowsCompareEqualOutsideTheirData) {
  const Bytes before = skip(3) + rowA('K', bytes({0x02, 0xFF, 0xFF, 0xFF})) + "\r\x0c";
  const Bytes after = skip(3) + rowA('K', bytes({0x02, 0x0F, 0xF0, 0x00})) + "\r\x0c";
  const Bytes recoded = skip(3) + rowA('K', bytes({0xFE, 0x00})) + "\r\x0c";
  EXPECT_EQ(readCanonJob(before).other, readCanonJob(after).other);
  EXPECT_EQ(readCanonJob(before).other, readCanonJob(recoded).other);
  EXPECT_EQ(countDots(readCanonJob(before).pages[0].rows[0][0]), 24u);
  EXPECT_EQ(countDots(readCanonJob(after).pages[0].rows[0][0]), 8u);
  EXPECT_EQ(countDots(readCanonJob(recoded).pages[0].rows[0][0]), 0u);
}

TEST(CanonReader, CommandsThatCarryNoRowStayWhole) {
  const Bytes noRow = rowA('\xff', bytes({0x00, 0x55})) +    // colour 0xFF
                      cmd('A', {}) +                         // no colour byte
                      cmd('F', bytes({0x00, 0x55, 0x80})) +  // a band without a colour list
                      cmd('x', "\x0c\x1b(A") +               // a payload that looks like commands
                      Bytes("\x1b[K\x02\x00\x00\x0f", 7);    // BJL switch
  const Job read = readCanonJob(noRow);
  EXPECT_TRUE(read.pages.empty());
  EXPECT_EQ(read.other, noRow);
  EXPECT_FALSE(read.truncated);
}

TEST(CanonReader, CommandRunningPastTheEndIsKeptAndReported) {
  const Bytes cut("\x1b(A\x09\x00K\x01", 7);
  const Bytes job = rowA('K', bytes({0x00, 0x01})) + cut;
  const Job read = readCanonJob(job);
  EXPECT_TRUE(read.truncated);
  ASSERT_EQ(read.pages.size(), 1u);
  EXPECT_EQ(read.pages[0].rows[0].size(), 1u);
  EXPECT_EQ(read.other, "\x1b(AK" + cut);
}

TEST(CanonReader, RowDecodingToMoreThanAnyPageHoldsIsCut) {
  Bytes packed;
  for (int i = 0; i < 600; ++i) packed += bytes({0x81, 0xFF});  // 600 x 128 bytes
  const Job read = readCanonJob(rowA('K', packed) + rowA('C', bytes({0x00, 0x01})));
  EXPECT_TRUE(read.truncated);
  ASSERT_EQ(read.pages.size(), 1u);
  ASSERT_EQ(read.pages[0].rows[0].size(), 2u);
  EXPECT_EQ(read.pages[0].rows[0][0].data.size(), 65536u);
  EXPECT_EQ(read.pages[0].rows[0][1].data, bytes({0x01}));
}

TEST(CanonReader, BandsFollowTheColourListAndShareRowPositions) {
  // Band height 2, colours C then K; rows end at 0x80 count bytes.
  const Bytes list = cmd('J', bytes({2})) + cmd('L', "CK");
  const Bytes cBand = cmd('F', bytes({0x00, 0x80, 0x80, 0xFD, 0x0F, 0x80}));  // literal 0x80, then 4 x 0x0F
  const Bytes kBand = cmd('F', bytes({0x80, 0x00, 0xFF, 0x80}));              // empty row, then 0xFF
  const Bytes nextC = cmd('F', bytes({0x00, 0x01}));                          // last row without its end byte
  const Job read = readCanonJob(list + skip(5) + cBand + kBand + nextC + "\x0c");
  ASSERT_EQ(read.pages.size(), 1u);
  const Page& page = read.pages[0];
  EXPECT_EQ(page.rowY, (std::vector<int>{5, 6, 7}));
  ASSERT_EQ(page.rows[0].size(), 2u);
  EXPECT_EQ(page.rows[0][0].ink, 'C');
  EXPECT_EQ(page.rows[0][0].data, bytes({0x80}));
  EXPECT_EQ(page.rows[0][1].ink, 'K');
  EXPECT_TRUE(page.rows[0][1].data.empty());
  EXPECT_EQ(page.rows[1][0].data, bytes({0x0F, 0x0F, 0x0F, 0x0F}));
  EXPECT_EQ(page.rows[1][1].data, bytes({0xFF}));
  ASSERT_EQ(page.rows[2].size(), 1u);
  EXPECT_EQ(page.rows[2][0].ink, 'C');
  EXPECT_EQ(page.rows[2][0].data, bytes({0x01}));
  EXPECT_EQ(read.other, list + skip(5) + "\x1b(F\x1b(F\x1b(F\x0c");
}

TEST(CanonReader, InkModesFromRasterModeCommand) {
  // Extended form: header 0x80 and two bytes, then C three-level (packing 1,
  // 2 bits), M 4 bits, Y 1 bit.
  const Bytes mode = cmd('t', bytes({0x80, 0x80, 0x01, 0x22, 0, 3, 0x04, 0, 2, 0x01, 0, 2}));
  // 0x79 = 121 = 1+3+9+27+81: five pixels of level 1; 0xF2 = 242: five of level 2.
  const Bytes job = mode + cmd('L', "CMY") + cmd('F', bytes({0x01, 0x79, 0xF2, 0x80})) +
                    cmd('F', bytes({0x00, 0x30, 0x80})) + cmd('F', bytes({0x00, 0x81, 0x80}));
  const Page page = readCanonJob(job).pages.at(0);
  ASSERT_EQ(page.rows.at(0).size(), 3u);
  const PlaneRow& c = page.rows[0][0];
  EXPECT_EQ(c.bitsPerPixel, 2);
  // Ten 2-bit pixels: 1 1 1 1 1 2 2 2 2 2.
  EXPECT_EQ(c.data, bytes({0x55, 0x6A, 0xA0}));
  EXPECT_EQ(countDots(c), 10u);
  EXPECT_EQ(page.rows[0][1].bitsPerPixel, 4);
  EXPECT_EQ(countDots(page.rows[0][1]), 1u);
  EXPECT_EQ(page.rows[0][2].bitsPerPixel, 1);
  EXPECT_EQ(countDots(page.rows[0][2]), 2u);

  // The short form sets the bits per pixel of every row; length 1 means 1.
  const Page two = readCanonJob(cmd('t', bytes({0x02, 0x00})) + rowA('K', bytes({0x00, 0x30}))).pages.at(0);
  EXPECT_EQ(two.rows[0][0].bitsPerPixel, 2);
  const Page one = readCanonJob(cmd('t', bytes({0x02})) + rowA('K', bytes({0x00, 0x30}))).pages.at(0);
  EXPECT_EQ(one.rows[0][0].bitsPerPixel, 1);
}

}  // namespace
