#include <gtest/gtest.h>

#include <string>

#include "hp_harness.h"
#include "test_seams.h"

namespace {

using hp_test::Bytes;
using hp_test::esc;
using hp_test::RecordingReduction;
using hp_test::runJob;

Bytes bin(std::initializer_list<int> bytes) {
  Bytes out;
  for (int b : bytes) out.push_back(static_cast<char>(b));
  return out;
}

TEST(HpCommands, PlainBytesAndUnknownSequencesPassUnchanged) {
  RecordingReduction reduction;
  const Bytes job = Bytes(300, '\0') + "hello\r\n" + esc("%-12345X@PJL ENTER LANGUAGE=PCL\r\n") + esc("(s3T") +
                    esc("&a5.5R") + esc("*c100A") + "\xff\x01";
  EXPECT_EQ(runJob(job).output, job);
  EXPECT_EQ(reduction.recorder().openJobs, 1);
  EXPECT_EQ(reduction.recorder().closeJobs, 1);
  EXPECT_EQ(reduction.recorder().openPages, 0);
}

TEST(HpCommands, NumbersAreWrittenBackCanonically) {
  RecordingReduction reduction;
  EXPECT_EQ(runJob(esc("&l007A")).output, esc("&l7A"));
  EXPECT_EQ(runJob(esc("*r0A") + esc("*rC")).output, esc("*rA") + esc("*rC"));
  EXPECT_EQ(runJob(esc("*p+120Y")).output, esc("*p+120Y"));
  EXPECT_EQ(runJob(esc("*p-0020X")).output, esc("*p-20X"));
  EXPECT_EQ(runJob(esc("*r0F")).output, esc("*rF"));
  EXPECT_EQ(runJob(esc("*o00M")).output, esc("*o0M"));
  // Truncated sequences and stray terminators are left as they came.
  EXPECT_EQ(runJob(esc("*r12")).output, esc("*r12"));
  EXPECT_EQ(runJob(esc("*r12") + esc("E")).output, esc("*r12") + esc("E"));
  EXPECT_EQ(runJob(esc("*r5Z") + "abc").output, esc("*r5Z") + "abc");
  EXPECT_EQ(runJob(esc("*b99999999999999999999999999999Xq")).output, esc("*b99999999999999999999999999999Xq"));
}

TEST(HpCommands, CombinedSequencesApplyEveryGroup) {
  RecordingReduction reduction;
  const auto result = runJob(esc("*t300R") + esc("*r2400s-4u0A") + esc("*b0v0v0v0W") + esc("*rC"));
  EXPECT_EQ(result.output, esc("*t300R") + esc("*r2400s-4uA") + esc("*b0v0v0v0W") + esc("*rC"));
  const auto& r = reduction.recorder();
  EXPECT_EQ(r.openPages, 1);
  EXPECT_EQ(r.closePages, 1);
  EXPECT_EQ(r.blackWidth, 2400u);
  ASSERT_EQ(r.reduces.size(), 4u);
  EXPECT_EQ(r.reduces[0].isBlack, 1);
  EXPECT_EQ(r.reduces[1].isBlack, 0);
  EXPECT_EQ(result.totals.rows, 1u);
}

TEST(HpCommands, CombinedSequencesInEveryFamilyAreWrittenBackGroupByGroup) {
  RecordingReduction reduction;
  EXPECT_EQ(runJob(esc("&l001a02B")).output, esc("&l1a2B"));
  EXPECT_EQ(runJob(esc("&u0600d1X")).output, esc("&u600d1X"));
  EXPECT_EQ(runJob(esc("*p0100x+020Y")).output, esc("*p100x+20Y"));
  EXPECT_EQ(runJob(esc("*o005w1D")).output, esc("*o5w1D"));
  EXPECT_EQ(runJob(esc("*r0f0A") + esc("*r00b0C")).output, esc("*rfA") + esc("*rbC"));
  // A group the table does not know ends the parsing; the rest is copied.
  EXPECT_EQ(runJob(esc("*r007z008S")).output, esc("*r007z008S"));
  const auto result = runJob(esc("*t150r300J") + esc("*rA") + esc("*rC"));
  EXPECT_EQ(result.output, esc("*t150r300J") + esc("*rA") + esc("*rC"));
  EXPECT_EQ(reduction.recorder().blackWidth, 2400u);
}

TEST(HpCommands, DataBlocksOfOtherCommandsPassUntouchedEvenWithEscapesInside) {
  RecordingReduction reduction;
  const Bytes data = esc("*r007S") + esc("E") + esc("*rA") + esc("*b2W") + "\x01\xFF";  // 20 bytes
  ASSERT_EQ(data.size(), 20u);
  const Bytes blocks = esc("(s20W") + data + esc(")s1p20W") + data + esc("&p20X") + data + esc("*o20W") + data +
                       esc("*c1a20W") + data + esc("(s16.67H") + esc("(8U");
  const auto result = runJob(blocks + esc("&l007A"));
  EXPECT_EQ(result.output, blocks + esc("&l7A"));
  EXPECT_EQ(reduction.recorder().openPages, 0);
}

TEST(HpCommands, ResolutionAndWidth) {
  RecordingReduction reduction;
  runJob(esc("*t300R") + esc("*rA") + esc("*rB"));
  EXPECT_EQ(reduction.recorder().blackWidth, 2400u);
  runJob(esc("*t150J") + esc("*rA") + esc("*rB"));
  EXPECT_EQ(reduction.recorder().colorWidth, 1200u);
  // 101 is written; 104 dots (13 bytes) is the row, wider than 8 x 1 dpi.
  const auto result = runJob(esc("*t1R") + esc("*r101S") + esc("*rA") + esc("*rB"));
  EXPECT_EQ(result.output, esc("*t1R") + esc("*r101S") + esc("*rA") + esc("*rB"));
  EXPECT_EQ(reduction.recorder().blackWidth, 104u);
}

TEST(HpRaster, Mode2RowsAreThinnedAndEmptyRowsBecomeZeroLength) {
  RecordingReduction reduction;
  reduction.recorder().mask = 0x0F;
  const auto result = runJob(esc("*rA") + esc("*b2m3W") + bin({0x01, 0xFF, 0xF0}) + esc("*b3W") +
                             bin({0x01, 0xF0, 0xF0}) + esc("*rB"));
  EXPECT_EQ(result.output, esc("*rA") + esc("*b2m3W") + bin({0x01, 0x0F, 0x00}) + esc("*b0W") + esc("*rB"));
  EXPECT_EQ(result.totals.before[0], 12u + 8u);
  EXPECT_EQ(result.totals.after[0], 4u);
  ASSERT_EQ(reduction.recorder().reduces.size(), 2u);
  EXPECT_EQ(reduction.recorder().reduces[1].rowIndex, 1);
}

TEST(HpRaster, Mode9IsRelabelledAndAZeroLengthRowRepeatsTheSeed) {
  RecordingReduction reduction;
  const auto result = runJob(esc("*rA") + esc("*b9M") + esc("*b2W") + bin({0x00, 0xF0}) + esc("*b0W") + esc("*rC"));
  EXPECT_EQ(result.output, esc("*rA") + esc("*b2M") + esc("*b2W") + bin({0x00, 0xF0}) + esc("*b2W") +
                               bin({0x00, 0xF0}) + esc("*rC"));
}

TEST(HpRaster, SwitchingBetweenModes2And9DecodesAgainstTheLastRow) {
  RecordingReduction reduction;
  const auto result =
      runJob(esc("*rA") + esc("*b2m3W") + bin({0x01, 0xAA, 0x55}) + esc("*b9m0W") + esc("*b9m2W") + bin({0x00, 0x0F}) + esc("*rC"));
  EXPECT_EQ(result.output, esc("*rA") + esc("*b2m3W") + bin({0x01, 0xAA, 0x55}) + esc("*b2m3W") + bin({0x01, 0xAA, 0x55}) +
                               esc("*b2m3W") + bin({0x01, 0x0F, 0x55}) + esc("*rC"));
}

TEST(HpRaster, PlanesADeltaRowLeavesOutRepeatTheirSeedsAndAreSent) {
  RecordingReduction reduction;
  // The second row sends black only: cyan, magenta and yellow repeat.
  const auto result = runJob(esc("*r-4U") + esc("*rA") + esc("*b9m") + esc("*b0v2v") + bin({0x00, 0xF0}) + "0v0W" +
                             esc("*b0W") + esc("*rC"));
  EXPECT_EQ(result.output, esc("*r-4U") + esc("*rA") + esc("*b2m") + esc("*b0v2v") + bin({0x00, 0xF0}) + "0v0W" +
                               esc("*b0v2v") + bin({0x00, 0xF0}) + "0v0W" + esc("*rC"));
  EXPECT_EQ(result.totals.before[1], 4u + 4u);
  EXPECT_EQ(reduction.recorder().reduces.size(), 8u);
}

TEST(HpRaster, Mode3RowsDecodeAgainstThePreviousRowAndLeaveInMode2) {
  RecordingReduction reduction;
  const auto result = runJob(esc("*rA") + esc("*b2m3W") + bin({0x01, 0xAA, 0x55}) + esc("*b3m2W") + bin({0x01, 0x0F}) +
                             esc("*b0W") + esc("*rC"));
  EXPECT_EQ(result.output, esc("*rA") + esc("*b2m3W") + bin({0x01, 0xAA, 0x55}) + esc("*b2m3W") + bin({0x01, 0xAA, 0x0F}) +
                               esc("*b3W") + bin({0x01, 0xAA, 0x0F}) + esc("*rC"));
}

TEST(HpRaster, Mode0IsDecodedUncompressedAndOtherModesPassUnchanged) {
  RecordingReduction reduction;
  reduction.recorder().mask = 0x3C;
  auto result = runJob(esc("*rA") + esc("*b0m2W") + bin({0xF0, 0x0F}) + esc("*rC"));
  EXPECT_EQ(result.output, esc("*rA") + esc("*b2m3W") + bin({0x01, 0x30, 0x0C}) + esc("*rC"));
  const Bytes runLength = esc("*rA") + esc("*b1m4W") + bin({0x20, 0xFF, 0x1B, 0x45}) + esc("*rC");
  result = runJob(runLength);
  EXPECT_EQ(result.output, runLength);
}

TEST(HpRaster, RowsWithoutStartOfRasterOpenAPageClosedAtTheEnd) {
  RecordingReduction reduction;
  reduction.recorder().mask = 0x00;
  const auto result = runJob(esc("*b2m3W") + bin({0x01, 0xAA, 0x55}));
  EXPECT_EQ(result.output, esc("*b2m0W"));
  EXPECT_EQ(reduction.recorder().openPages, 1);
  EXPECT_EQ(reduction.recorder().closePages, 1);
  // ESC E closes the first page; a second start closes the second.
  runJob(esc("*rA") + esc("*b0W") + esc("E") + esc("*rA") + esc("*rA"));
  EXPECT_EQ(reduction.recorder().openPages, 1 + 3);
  EXPECT_EQ(reduction.recorder().closePages, 1 + 3);
}

TEST(HpRaster, ResetReturnsToUncompressedRowsAndClosesThePage) {
  RecordingReduction reduction;
  const auto result = runJob(esc("*rA") + esc("*b9m") + esc("E") + esc("*b2W") + bin({0xF0, 0x0F}));
  EXPECT_EQ(result.output, esc("*rA") + esc("*b2m") + esc("E") + esc("*b2m3W") + bin({0x01, 0xF0, 0x0F}));
  EXPECT_EQ(reduction.recorder().openPages, 2);
  EXPECT_EQ(reduction.recorder().closePages, 2);
}

TEST(HpRaster, OversizedAndTruncatedRowsPassUnchanged) {
  RecordingReduction reduction;
  const Bytes big = esc("*rA") + esc("*b40000W") + Bytes(40000, '\x11') + esc("*rC");
  EXPECT_EQ(runJob(big).output, big);
  const Bytes cut = esc("*rA") + esc("*b10W") + "abc";
  EXPECT_EQ(runJob(cut).output, cut);
  const Bytes negative = esc("*rA") + esc("*b-5W") + "abc";
  EXPECT_EQ(runJob(negative).output, negative);
}

// A job already in the form the plug-in writes comes out as it went in, cut
// anywhere: a row cut short passes byte for byte, escape bytes in it too.
TEST(HpRaster, EveryPrefixOfAJobEndsCleanly) {
  RecordingReduction keepEverything;
  const Bytes job = "text" + esc("*r8S") + esc("*rA") + esc("*b2m4W") + bin({0x02, 0x1B, 0x45, 0x1B}) + esc("*b0W") +
                    esc("*b7Y") + esc("*b3W") + bin({0x01, 0x1B, 0x41}) + esc("*rC") + esc("(s0p8W") +
                    bin({0x1B, 0x2A, 0x62, 0x31, 0x57, 0x1B, 0x45, 0x00}) + esc("E");
  ASSERT_EQ(runJob(job).output, job);
  for (size_t n = 0; n < job.size(); ++n) {
    const Bytes prefix = job.substr(0, n);
    EXPECT_EQ(runJob(prefix).output, prefix) << "prefix of " << n;
  }
}

TEST(HpRaster, GroupsGoOnAfterAnUpperCaseTerminatorAndBarePlanesAreEmpty) {
  RecordingReduction reduction;
  const Bytes rows = esc("*b2m3W") + bin({0x01, 0xF0, 0x0F}) + "\r3W" + bin({0x01, 0x0F, 0xF0}) + esc("*bv") + esc("*bw");
  const auto result = runJob(esc("*rA") + rows + esc("*b2m") + esc("*rC") + "3W");
  EXPECT_EQ(result.output, esc("*rA") + esc("*b2m3W") + bin({0x01, 0xF0, 0x0F}) + "\r3W" + bin({0x01, 0x0F, 0xF0}) +
                               esc("*b0v") + esc("*b0w") + esc("*b2m") + esc("*rC") + "3W");
  EXPECT_EQ(reduction.recorder().reduces.size(), 4u);
  EXPECT_EQ(result.totals.rows, 3u);
}

// Whatever the row, the compression mode the printer was last told is the
// mode of the bytes that follow.
TEST(HpRaster, RowsTooLongForTheBuffersPassUnchangedUnderTheirOwnMode) {
  RecordingReduction reduction;
  // 1 dpi: rows of 8 bytes fit. A mode 2 row of 16 bytes and a mode 9 row of
  // 10 pass as they came; the plane's next delta row too, as its seed is lost.
  const Bytes longMode2 = esc("*b2W") + bin({0xF1, 0x55});
  const Bytes longMode9 = bin({0x07, 0x02}) + Bytes(10, '\x3C');
  const auto result = runJob(esc("*t1R") + esc("*rA") + esc("*b2m") + longMode2 + esc("*b9m12W") + longMode9 +
                             esc("*b0W") + esc("*b5Y") + esc("*b2W") + bin({0x00, 0xF0}) + esc("*rC"));
  EXPECT_EQ(result.output, esc("*t1R") + esc("*rA") + esc("*b2m") + longMode2 + esc("*b2m9m12W") + longMode9 +
                               esc("*b0W") + esc("*b5Y") + esc("*b2m2W") + bin({0x00, 0xF0}) + esc("*rC"));
  EXPECT_EQ(reduction.recorder().reduces.size(), 1u);
  // Undecodable modes keep their label even after a mode the plug-in rewrites.
  const Bytes mode1 = esc("*rA") + esc("*b9m") + esc("*b1m2W") + bin({0x20, 0xFF}) + esc("*rC");
  EXPECT_EQ(runJob(mode1).output, esc("*rA") + esc("*b2m") + esc("*b1m2W") + bin({0x20, 0xFF}) + esc("*rC"));
}

// The block's resolutions are the components'; a base resolution sent after
// it (hpcups sends ESC&u300D ESC*t300R) changes neither width nor planes.
const Bytes kBlack600Colour300 = esc("*g26W") + bin({2, 4, 2, 88, 2, 88, 0, 2, 1, 44, 1, 44, 0, 2, 1, 44, 1, 44, 0, 2,
                                                     1, 44, 1, 44, 0, 2}) + esc("&u300D") + esc("*t300R");

TEST(HpConfigure, Format2DoublesBlackAt600OverColour300) {
  RecordingReduction reduction;
  const Bytes config = kBlack600Colour300;
  // Black (600x600, 2 levels) counts twice; three colour components of 300 dpi.
  const auto result = runJob(config + esc("*rA") + esc("*b0v0v0v0v0W") + esc("*rC"));
  EXPECT_EQ(result.output, config + esc("*rA") + esc("*b0v0v0v0v0W") + esc("*rC"));
  const auto& calls = reduction.recorder().reduces;
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0].isBlack, 1);
  EXPECT_EQ(calls[1].isBlack, 1);
  EXPECT_EQ(calls[2].isBlack, 0);
  EXPECT_EQ(result.totals.blackPlanes, 2u);
  EXPECT_EQ(result.totals.planes, 5u);
  EXPECT_EQ(reduction.recorder().blackWidth, 8u * 600u);
  EXPECT_EQ(reduction.recorder().colorWidth, 8u * 300u);
  // After a reset the base resolution counts again.
  runJob(config + esc("E") + esc("*t150R") + esc("*rA") + esc("*rC"));
  EXPECT_EQ(reduction.recorder().blackWidth, 8u * 150u);
}

TEST(HpConfigure, BlackRowsAtTwiceTheColourResolutionDeltaCodeAgainstEachOther) {
  RecordingReduction reduction;
  const Bytes config = kBlack600Colour300;
  // The second black row repeats the first; it is sent whole in mode 2.
  const auto result =
      runJob(config + esc("*rA") + esc("*b9m") + esc("*b2v") + bin({0x00, 0xF0}) + esc("*b0v0v0v0W") + esc("*rC"));
  EXPECT_EQ(result.output, config + esc("*rA") + esc("*b2m") + esc("*b2v") + bin({0x00, 0xF0}) + esc("*b2v") +
                               bin({0x00, 0xF0}) + "0v0v0W" + esc("*rC"));
  EXPECT_EQ(result.totals.before[1], 4u);
}

TEST(HpConfigure, ThreeComponentsAreAllColour) {
  RecordingReduction reduction;
  const Bytes config = esc("*g20W") + bin({2, 3, 1, 44, 1, 44, 0, 2, 1, 44, 1, 44, 0, 2, 1, 44, 1, 44, 0, 2});
  const auto result = runJob(config + esc("*rA") + esc("*b0v0v0W") + esc("*rC"));
  EXPECT_EQ(result.totals.blackPlanes, 0u);
  EXPECT_EQ(result.totals.planes, 3u);
  for (const auto& call : reduction.recorder().reduces) EXPECT_EQ(call.isBlack, 0);
}

TEST(HpConfigure, ByteCountBoundsTheBlock) {
  RecordingReduction reduction;
  for (const Bytes& job : {esc("*g1W") + bin({2}) + esc("E") + "text", esc("*g0W") + "text",
                           esc("*g300W") + bin({2, 99}) + Bytes(298, '\x01') + "tail" + esc("E"),
                           esc("*g9W") + bin({6, 0, 0, 200, 1, 2, 3, 4, 10}) + "x" + esc("E")}) {
    EXPECT_EQ(runJob(job).output, job);
  }
}

TEST(HpComponents, Mode10RowsAreWhitenedAndRepeatedMode9RowsAreEmpty) {
  RecordingReduction reduction;
  reduction.recorder().mask = 0x00;
  // Two components: 1-bit black in mode 9, RGB in mode 10; 16 pixels wide.
  const Bytes config = esc("*g20W") + bin({6, 31, 0, 2, 0, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0});
  const Bytes rgb = bin({0x80, 0x05, 0x0A, 0x0F});  // a run of 2 new pixels
  // The third row is two pixels of the cache colour, white with blue's
  // lowest bit clear: no ink.
  const auto result = runJob(config + esc("*r16S") + esc("*rA") + esc("*b2V") + bin({0x00, 0xF0}) + esc("*b4W") + rgb +
                             esc("*b0V") + esc("*b0W") + esc("*b0V") + esc("*b1W") + bin({0xE0}) + esc("*rC"));
  // Black thinned to nothing against a zero seed: no change, empty row.
  EXPECT_EQ(result.output, config + esc("*r16S") + esc("*rA") + esc("*b0V") + esc("*b0W") + esc("*b0V") +
                               esc("*b0W") + esc("*b0V") + esc("*b0W") + esc("*rC"));
  // The second row repeats the first: two ink pixels each time.
  EXPECT_EQ(result.totals.before[1], 2u + 2u);
  EXPECT_EQ(result.totals.after[1], 0u);
}

TEST(HpComponents, AWidthChangeInsideThePageKeepsItsRowWidth) {
  RecordingReduction reduction;
  const Bytes config = esc("*g20W") + bin({6, 31, 0, 2, 0, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0});
  const Bytes job = config + esc("*r16S") + esc("*rA") + esc("*r9000S") + esc("*b2V") + bin({0x00, 0xF0}) + esc("*b4W") +
                    bin({0x80, 0x05, 0x0A, 0x0F}) + esc("*rC");
  EXPECT_EQ(runJob(job).output, job);
  EXPECT_EQ(reduction.recorder().blackWidth, 16u);
  // A page wider than the buffers go passes whole.
  const Bytes wide = config + esc("*r30000S") + esc("*rA") + esc("*b2V") + bin({0x00, 0xF0}) + esc("*b4W") +
                     bin({0x80, 0x05, 0x0A, 0x0F}) + esc("*rC");
  reduction.recorder().mask = 0x00;
  EXPECT_EQ(runJob(wide).output, wide);
}

TEST(HpComponents, UnthinnedRowsComeOutInTheirOwnMethod) {
  RecordingReduction reduction;
  const Bytes config = esc("*g20W") + bin({6, 31, 0, 2, 0, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0});
  const Bytes rgb = bin({0x80, 0x05, 0x0A, 0x0F});
  const Bytes rows = esc("*b2V") + bin({0x00, 0xF0}) + esc("*b4W") + rgb + esc("*b0V") + esc("*b0W");
  const auto result = runJob(config + esc("*r16S") + esc("*rA") + rows + esc("*rC"));
  EXPECT_EQ(result.output, config + esc("*r16S") + esc("*rA") + rows + esc("*rC"));
}

TEST(HpCalibration, YOffsetBandsStepFromTheThirdOffset) {
  RecordingReduction reduction;
  testing_seams::DebugCapture debug;
  Bytes job = esc("*rA");
  for (int band = 0; band < 5; ++band) job += esc("*b50Y") + esc("*b50Y") + esc("*b0W");
  hp_test::JobOptions options;
  options.calibrationFlag = 1;
  options.blackKeep = 60;
  const auto result = runJob(job + esc("*rC"), options);
  EXPECT_EQ(reduction.recorder().calibrationPercentages, (std::vector<int32_t>{95, 85, 75, 65}));
  EXPECT_EQ(result.blackKeep, 65);
  EXPECT_TRUE(debug.contains("YOffset Count =3 K=95%  - CMY=95%\n"));
}

TEST(HpCalibration, PositionMovesStepFromTheSecondAndCountXMoves) {
  RecordingReduction reduction;
  testing_seams::DebugCapture debug;
  hp_test::JobOptions options;
  options.calibrationFlag = 1;
  runJob(esc("*p100Y") + esc("*p200X") + esc("*p+300Y") + esc("*p5Y") + esc("*p400y500Y"), options);
  EXPECT_EQ(reduction.recorder().calibrationPercentages, (std::vector<int32_t>{95, 85, 75}));
  EXPECT_TRUE(debug.contains("YOffset Count =1 K=100% CMY=100%\n"));
  EXPECT_TRUE(debug.contains("YOffset Count =2 K=100% CMY=100%\n"));
  EXPECT_TRUE(debug.contains("YOffset Count =3 K=95% CMY=95%\n"));
  // Without the flag nothing is counted.
  testing_seams::DebugCapture quiet;
  runJob(esc("*p100Y") + esc("*p100Y") + esc("*p100Y"));
  EXPECT_TRUE(quiet.texts().empty());
}

}  // namespace
