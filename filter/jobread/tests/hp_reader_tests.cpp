// The HP PCL job reader on hand-built jobs: canonical bytes outside the rows,
// pages, plane rows with their seeds in every mode, format 2 and 6
// configurations, mode 10 pixel rows, and input that ends or lies.
#include <gtest/gtest.h>

#include <array>
#include <random>

#include "raster_job.h"

using namespace jobread;

namespace {

Bytes esc(const std::string& rest) { return "\x1b" + rest; }
Bytes bytes(std::initializer_list<int> values) {
  Bytes out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}
// One raster group: count, terminator, data.
Bytes group(const Bytes& data, char terminator) { return std::to_string(data.size()) + terminator + data; }
Bytes plain(const PlaneRow& row) { return row.data; }

TEST(HpReaderOther, ParameterGroupsReadAsSeparateSequencesInCanonicalForm) {
  // Combined and split, padded and plain, upper and lower case read alike.
  EXPECT_EQ(readHpJob(esc("*r2400s-4u0A") + esc("*rC")).other,
            readHpJob(esc("*r2400S") + esc("*r-4U") + esc("*rA") + esc("*r0C")).other);
  EXPECT_EQ(readHpJob(esc("&l007a02B")).other, esc("&l7A") + esc("&l2B"));
  EXPECT_EQ(readHpJob(esc("*rbC")).other, esc("*r0B") + esc("*r0C"));
  EXPECT_EQ(readHpJob(esc("*p-0Y") + esc("&l6.50C")).other, esc("*p0Y") + esc("&l6.5C"));
  // A '+' makes a move relative and stays.
  EXPECT_EQ(readHpJob(esc("*p+0120Y")).other, esc("*p+120Y"));
  EXPECT_NE(readHpJob(esc("*p+120Y")).other, readHpJob(esc("*p120Y")).other);
  // Compression modes and row transfers are left out; the rows are in pages.
  EXPECT_EQ(readHpJob(esc("*b9m2v") + "\x01\x02" + esc("*b3M") + esc("*b0W")).other, "");
  // Text, PJL after the universal exit and unknown escapes pass as they are.
  const Bytes text = Bytes(300, '\0') + esc("%-12345X@PJL ENTER LANGUAGE=PCL\n") + esc("E") + "Hello\r\n" +
                     esc("9") + esc("(8U");
  EXPECT_EQ(readHpJob(text).other, text);
  // An unfinished group stays as it came; so does an escape at the very end.
  EXPECT_EQ(readHpJob(esc("*r12") + esc("*b")).other, esc("*r12") + esc("*b"));
  EXPECT_EQ(readHpJob("ab\x1b").other, "ab\x1b");
}

TEST(HpReaderOther, DataOfOtherCommandsIsCopiedNotReadAsRows) {
  const Bytes font = esc("*b2W") + "xy";  // looks like a row, but is font data
  const Bytes job = esc("(s" + std::to_string(font.size()) + "W") + font + esc("*o3W") + "\x1b\x1b\x1b";
  const Job read = readHpJob(job);
  EXPECT_TRUE(read.pages.empty());
  EXPECT_EQ(read.other, job);
  EXPECT_FALSE(read.truncated);
}

TEST(HpReaderPages, ExplicitAndImplicitStartsAndEnds) {
  const Bytes row = esc("*b1W") + "\x80";
  const Job read = readHpJob(esc("*rA") + row + row + esc("*rB") +  // page 1
                             row +                                  // implicit start, page 2
                             esc("*r1A") +                          // a second start closes page 2
                             row + esc("E") +                       // page 3 ends at the reset
                             esc("*b5Y") + row);                    // a Y offset starts page 4
  ASSERT_EQ(read.pages.size(), 4u);
  EXPECT_EQ(read.pages[0].rows.size(), 2u);
  EXPECT_EQ(read.pages[1].rows.size(), 1u);
  EXPECT_EQ(read.pages[2].rows.size(), 1u);
  EXPECT_EQ(read.pages[3].rowY, std::vector<int>{5});
  // Starts other than 0 and 1 are not starts.
  EXPECT_TRUE(readHpJob(esc("*r5A") + esc("*rC")).pages.empty());
}

TEST(HpReaderPlanes, SimpleColourRowsWithYOffsetsAndResolution) {
  const Bytes job = esc("*t300R") + esc("*r-4U") + esc("*r0A") + esc("*b2M") +
                    esc("*b" + group(bytes({0x01, 0xF0, 0x0F}), 'v') + group(bytes({0xFE, 0xAA}), 'v') + "0v" +
                        group(bytes({0x00, 0x01}), 'W')) +
                    esc("*b3Y") + esc("*b0v0v0v0W") + esc("*rC");
  const Job read = readHpJob(job);
  EXPECT_FALSE(read.truncated);
  ASSERT_EQ(read.pages.size(), 1u);
  const Page& page = read.pages[0];
  EXPECT_EQ(page.xDpi, 300);
  EXPECT_EQ(page.yDpi, 300);
  ASSERT_EQ(page.rows.size(), 2u);
  EXPECT_EQ(page.rowY, (std::vector<int>{0, 4}));
  const auto& row = page.rows[0];
  ASSERT_EQ(row.size(), 4u);
  EXPECT_EQ(std::string({row[0].ink, row[1].ink, row[2].ink, row[3].ink}), "KCMY");
  EXPECT_EQ(plain(row[0]), bytes({0xF0, 0x0F}));
  EXPECT_EQ(plain(row[1]), bytes({0xAA, 0xAA, 0xAA}));
  EXPECT_EQ(plain(row[2]), "");
  EXPECT_EQ(plain(row[3]), bytes({0x01}));
  EXPECT_EQ(countDots(row[0]) + countDots(row[1]) + countDots(row[3]), 8u + 12u + 1u);
}

TEST(HpReaderPlanes, DeltaRowsBuildOnTheSeedAcrossModeChanges) {
  // Mode 2, then mode 9 replacing byte 1, an empty mode 9 row repeating the
  // seed, mode 3 replacing byte 2, mode 0 and mode 1 rows.
  const Bytes job = esc("*rA") + esc("*b2m" + group(bytes({0x02, 0x11, 0x22, 0x33}), 'W')) +
                    esc("*b9m" + group(bytes({0x08, 0x99}), 'W')) + esc("*b0W") +
                    esc("*b3m" + group(bytes({0x02, 0x77}), 'W')) + esc("*b0m" + group(bytes({0x00, 0x05}), 'W')) +
                    esc("*b1m" + group(bytes({0x02, 0x0F}), 'W')) +
                    esc("*b9m" + group(bytes({0x08, 0x44}), 'W'));  // on the mode 1 row
  const Job read = readHpJob(job);
  EXPECT_FALSE(read.truncated);
  ASSERT_EQ(read.pages.size(), 1u);
  std::vector<Bytes> rows;
  for (const auto& row : read.pages[0].rows) rows.push_back(plain(row.at(0)));
  EXPECT_EQ(rows, (std::vector<Bytes>{bytes({0x11, 0x22, 0x33}), bytes({0x11, 0x99, 0x33}), bytes({0x11, 0x99, 0x33}),
                                      bytes({0x11, 0x99, 0x77}), bytes({0x00, 0x05}), bytes({0x0F, 0x0F, 0x0F}),
                                      bytes({0x0F, 0x44, 0x0F})}));
}

TEST(HpReaderPlanes, YOffsetClearsSeedsAndLeftOutPlanesFollowTheMode) {
  const Bytes delta = group(bytes({0x00, 0xFF}), 'v');  // mode 9: byte 0 = 0xFF
  const Job read = readHpJob(esc("*r-4U") + esc("*rA") + esc("*b9m" + delta + delta + delta + group(bytes({0x00, 0xFF}), 'w')) +
                             esc("*b0W") +                        // planes 1-3 left out: seeds again
                             esc("*b2Y") + esc("*b0W") +          // seeds cleared
                             esc("*b2m" + delta + "0W") +         // mode 2: left-out planes are blank
                             esc("*b9m0W"));                      // ... and their seeds blank too
  const Page& page = read.pages.at(0);
  ASSERT_EQ(page.rows.size(), 5u);
  for (const auto& row : page.rows) ASSERT_EQ(row.size(), 4u);
  EXPECT_EQ(plain(page.rows[1][3]), "\xFF");
  EXPECT_EQ(plain(page.rows[2][0]), "");
  EXPECT_EQ(plain(page.rows[2][3]), "");
  EXPECT_EQ(page.rowY[2], 4);
  EXPECT_EQ(plain(page.rows[3][0]), "\xFF");
  EXPECT_EQ(plain(page.rows[3][2]), "");
  // Every decoded row is its plane's seed, the blank ones included.
  EXPECT_EQ(plain(page.rows[4][0]), "\xFF");
  for (int plane = 1; plane < 4; ++plane) EXPECT_EQ(plain(page.rows[4][plane]), "") << plane;
}

TEST(HpReaderPlanes, FormatTwoWithBlackAtTwiceTheColourRows) {
  // Black 600 x 600 dpi, two levels; cyan, magenta, yellow 300 x 300, four
  // levels: two black planes and two planes per colour in each row.
  const Bytes config = bytes({0x02, 0x04, 0x02, 0x58, 0x02, 0x58, 0x00, 0x02, 0x01, 0x2C, 0x01, 0x2C, 0x00, 0x04,
                              0x01, 0x2C, 0x01, 0x2C, 0x00, 0x04, 0x01, 0x2C, 0x01, 0x2C, 0x00, 0x04});
  // The first black row sets byte 0; the second, delta-coded on the first,
  // adds byte 1; the next group's first black row goes on from the second.
  const Bytes rows = esc("*b" + group(bytes({0x00, 0xC0}), 'v') + group(bytes({0x08, 0x03}), 'v') + "0v0v0v0v0v0w" +
                         group(bytes({0x10, 0x3C}), 'v') + "0v0v0v0v0v0v0w");
  const Job read = readHpJob(esc("*g26W") + config + esc("*b9M") + rows);
  EXPECT_FALSE(read.truncated);
  const Page& page = read.pages.at(0);
  EXPECT_EQ(page.xDpi, 600);
  ASSERT_EQ(page.rows.size(), 2u);
  const auto& first = page.rows[0];
  ASSERT_EQ(first.size(), 8u);
  std::string inks;
  for (const PlaneRow& plane : first) inks.push_back(plane.ink);
  EXPECT_EQ(inks, "KKCCMMYY");
  EXPECT_EQ(plain(first[0]), bytes({0xC0}));
  EXPECT_EQ(plain(first[1]), bytes({0xC0, 0x03}));
  EXPECT_EQ(plain(page.rows[1][0]), bytes({0xC0, 0x03, 0x3C}));
  EXPECT_EQ(plain(page.rows[1][1]), bytes({0xC0, 0x03, 0x3C}));
  // The configuration block itself is kept.
  EXPECT_EQ(read.other, esc("*g26W") + config);
}

TEST(HpReaderPlanes, RasterGroupsGoOnAfterAnUpperCaseTerminatorOnlyWithAValue) {
  const Job read = readHpJob(esc("*b9m") + esc("*b3Y0v") + group(bytes({0x00, 0x0F}), 'W') + "1w\x01" +
                             esc("*b1W") + "\x02" + "2 apples");
  const Page& page = read.pages.at(0);
  ASSERT_EQ(page.rows.size(), 3u);
  EXPECT_EQ(page.rowY, (std::vector<int>{3, 4, 5}));
  EXPECT_EQ(plain(page.rows[0][1]), "\x0F");
  EXPECT_EQ(read.other, esc("*b3Y") + "2 apples");
}

// Mode 10: 24-bit pixels against the previous row of the component.
struct PixelJob {
  static Bytes configure() {
    // Format 6, a 1-bit mode 9 black component and an RGB mode 10 one.
    return esc("*g20W") + bytes({0x06, 0x1F, 0x00, 0x02, 0x01, 0x2C, 0x01, 0x2C, 0x09, 0x00, 0x01, 0x01, 0x01, 0x2C,
                                 0x01, 0x2C, 0x0A, 0x01, 0x20, 0x01}) +
           esc("*r12S") + esc("*r1A");
  }
  static Bytes row(const Bytes& rgb) { return esc("*b0v" + group(rgb, 'W')); }
  static Bytes pixels(std::initializer_list<std::array<int, 3>> list) {
    Bytes out;
    for (const auto& p : list)
      for (int c : p) out.push_back(static_cast<char>(c));
    return out;
  }
  static Bytes rgbRow(const Job& job, size_t row) { return job.pages.at(0).rows.at(row).at(1).data; }
};

TEST(HpReaderPixels, NewPixelsInBothFormsRunsAndSources) {
  const Job read = readHpJob(PixelJob::configure() +
                             PixelJob::row(bytes({0x18, 0x02, 0x05, 0x0A, 0x0F})) +  // pixel 5, 3-byte form
                             PixelJob::row(bytes({0x18, 0x02, 0x8F, 0xC2})) +        // same pixel, +3 -2 +4
                             PixelJob::row(bytes({0x87, 0x05, 0x0A, 0x0F, 0x00})) +  // a run of 9 new pixels
                             PixelJob::row(bytes({0xE1})) +                          // run of 3 from the cache
                             PixelJob::row(bytes({0x40})));                          // literal from the north-east
  EXPECT_FALSE(read.truncated);
  const Bytes white = PixelJob::pixels({{0xFF, 0xFF, 0xFF}});
  const Bytes pixel = PixelJob::pixels({{0x0A, 0x14, 0x1E}});
  Bytes row0;
  for (int k = 0; k < 5; ++k) row0 += white;
  row0 += pixel;  // trailing white pixels are left off
  EXPECT_EQ(PixelJob::rgbRow(read, 0), row0);
  EXPECT_EQ(PixelJob::rgbRow(read, 0)[0], '\xFF');
  Bytes row1 = row0.substr(0, 15) + PixelJob::pixels({{0x0D, 0x12, 0x22}});
  EXPECT_EQ(PixelJob::rgbRow(read, 1), row1);
  Bytes row2;
  for (int k = 0; k < 9; ++k) row2 += pixel;
  EXPECT_EQ(PixelJob::rgbRow(read, 2), row2);
  // 0xE1: run, cache source, offset 0, 3 pixels; the cache is still white
  // (FF FF FE) at the start of the row, so the first three pixels whiten.
  Bytes row3 = PixelJob::pixels({{0xFF, 0xFF, 0xFE}, {0xFF, 0xFF, 0xFE}, {0xFF, 0xFF, 0xFE}}) + row2.substr(9);
  EXPECT_EQ(PixelJob::rgbRow(read, 3), row3);
  // 0x40: literal, north-east source, 1 pixel: pixel 0 takes the seed's pixel 1.
  EXPECT_EQ(PixelJob::rgbRow(read, 4), row3);
  // Pixels of the cache's white count as no ink.
  EXPECT_EQ(countDots(read.pages[0].rows[4][1]), 6u);
  // Rows that end in white, blue's lowest bit aside, leave it off.
  EXPECT_EQ(readHpJob(PixelJob::configure() + PixelJob::row(bytes({0xE2}))).pages.at(0).rows.at(0).at(1).data, "");
}

TEST(HpReaderPixels, LiteralCountExtensionsAndWestSource) {
  // A literal of 8 + 2 new pixels (count 7, extension 2 after the 8th pixel),
  // then a run from the west pixel (the last one written) over 3 pixels.
  Bytes literal = bytes({0x07});
  for (int k = 0; k < 10; ++k) {
    literal += bytes({0x00, 0x00, static_cast<int>(k)});  // red 0, green 0, blue 2k (3-byte form)
    if (k == 7) literal += bytes({0x02});
  }
  const Job read = readHpJob(esc("*g12W") + bytes({0x06, 0x07, 0x00, 0x01, 0x01, 0x2C, 0x01, 0x2C, 0x0A, 0x01, 0x20, 0x01}) +
                             esc("*r16S") + esc("*rA") + esc("*b" + group(literal + bytes({0xA1}), 'W')));
  EXPECT_FALSE(read.truncated);
  const Bytes row = read.pages.at(0).rows.at(0).at(0).data;
  ASSERT_EQ(row.size(), 13u * 3);
  EXPECT_EQ(static_cast<uint8_t>(row[3 * 9 + 2]), 18);
  EXPECT_EQ(row.substr(3 * 10, 3), row.substr(3 * 9, 3));
  EXPECT_EQ(row.substr(3 * 12, 3), row.substr(3 * 9, 3));
}

TEST(HpReaderPixels, LiteralOfExactlyTwoHundredSixtyThreePixelsTakesAZeroExtension) {
  // 8 pixels, extension 255, 255 more pixels, extension 0, then a run of two
  // new pixels: the zero is read as an extension, not as the next command.
  Bytes rows = bytes({0x07});
  for (int k = 0; k < 263; ++k) {
    rows += bytes({0x80, 0x00});  // 2-byte form: no change from the white above
    if (k == 7) rows += bytes({0xFF});
    if (k == 262) rows += bytes({0x00});
  }
  rows += bytes({0x80, 0x05, 0x0A, 0x0F});
  const Job read = readHpJob(esc("*g12W") + bytes({0x06, 0x07, 0x00, 0x01, 0x01, 0x2C, 0x01, 0x2C, 0x0A, 0x01, 0x20, 0x01}) +
                             esc("*r300S") + esc("*rA") + esc("*b" + group(rows, 'W')));
  EXPECT_FALSE(read.truncated);
  const Bytes row = read.pages.at(0).rows.at(0).at(0).data;
  ASSERT_EQ(row.size(), 265u * 3);
  EXPECT_EQ(row.substr(263 * 3), PixelJob::pixels({{0x0A, 0x14, 0x1E}, {0x0A, 0x14, 0x1E}}));
}

TEST(HpReaderPlanes, ColourOnlyConfigurationsNameTheirPlanes) {
  const Bytes threeRecords = bytes({0x02, 0x03, 0x01, 0x2C, 0x01, 0x2C, 0x00, 0x02, 0x01, 0x2C, 0x01, 0x2C, 0x00, 0x02,
                                    0x01, 0x2C, 0x01, 0x2C, 0x00, 0x02});
  for (const Bytes& configuration : {esc("*g20W") + threeRecords, esc("*r-3U")}) {
    const Job read = readHpJob(configuration + esc("*rA") + esc("*b0v0v0W"));
    const auto& row = read.pages.at(0).rows.at(0);
    ASSERT_EQ(row.size(), 3u);
    EXPECT_EQ(std::string({row[0].ink, row[1].ink, row[2].ink}), "CMY");
  }
}

TEST(HpReaderBadInput, CutRowsUnknownModesAndHugeNumbersAreReportedNotRead) {
  Job read = readHpJob(esc("*b5W") + "ab");
  EXPECT_TRUE(read.truncated);
  EXPECT_EQ(read.pages.at(0).rows.size(), 1u);
  EXPECT_TRUE(readHpJob(esc("*b5m1W") + "x").truncated);                            // mode 5
  const Bytes farOffset = bytes({0x78}) + Bytes(300, '\xFF') + bytes({0x00, 0x55});  // 76515 bytes along
  EXPECT_TRUE(readHpJob(esc("*b9m" + std::to_string(farOffset.size()) + "W") + farOffset).truncated);
  EXPECT_TRUE(readHpJob(esc("*b99999999999999999999999W") + "abc").truncated);
  read = readHpJob(esc("*b-5W") + "abc");
  EXPECT_FALSE(read.truncated);
  EXPECT_EQ(read.other, "abc");
  // A configuration shorter than it says, and one with no records.
  EXPECT_TRUE(readHpJob(esc("*g40W") + bytes({0x06, 0x1F, 0x00, 0x09})).truncated);
  EXPECT_FALSE(readHpJob(esc("*g1W") + bytes({0x06}) + esc("*b1W") + "\x01").pages.empty());
}

TEST(HpReaderBadInput, ArbitraryBytesNeverCrash) {
  // Random mixes of the sequences the reader acts on and random bytes; the
  // sanitizers watch every access.
  const std::vector<Bytes> pieces = {esc("*b"), esc("*r"), esc("*g"), "9m", "2m", "3m", "1m", "0m", "10W", "3v",
                                     "w",       "Y",       "2Y",      "-4u", "A", esc("*rA"), esc("E"), "\xFF",
                                     "\x7F",    "\x80",    "\x06\x1F\x00\x03", "\x02\x04", "0", "12S"};
  std::mt19937 random(12345);
  for (int job = 0; job < 3000; ++job) {
    Bytes input;
    const int parts = static_cast<int>(random() % 40);
    for (int k = 0; k < parts; ++k) {
      if (random() % 3 == 0) {
        input.push_back(static_cast<char>(random()));
      } else {
        input += pieces[random() % pieces.size()];
      }
    }
    const Job read = readHpJob(input);
    EXPECT_LE(read.other.size(), input.size() * 8 + 64);
  }
}

}  // namespace
