// Whole Canon jobs rendered by Ghostscript's Canon devices, run through the
// plug-in with the real reduction library: every non-raster byte preserved,
// every output dot an input dot, the kept share near the level.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "canon_harness.h"
#include "raster_job.h"
#include "test_seams.h"

using namespace canon_test;

namespace {

// Every plane row of a job, in page and row order.
std::vector<const jobread::PlaneRow*> planeRows(const jobread::Job& job) {
  std::vector<const jobread::PlaneRow*> rows;
  for (const jobread::Page& page : job.pages)
    for (const auto& printerRow : page.rows)
      for (const jobread::PlaneRow& row : printerRow) rows.push_back(&row);
  return rows;
}

jobread::Job read(const Bytes& job) { return jobread::readCanonJob(std::string(job.begin(), job.end())); }

Bytes render(const std::string& device) {
  const char* binary = std::getenv("CORVANTA_BINARY_DIR");
  const char* source = std::getenv("CORVANTA_SOURCE_DIR");
  if (!binary || !source || std::system("gs --version > /dev/null 2>&1") != 0) return {};
  const std::string page = std::string(source) + "/parsers/canon/tests/pages/canon_page.ps";
  const std::string out = std::string(binary) + "/canon-" + device + ".prn";
  std::string command = "gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=" + device + " -r180 -sPAPERSIZE=a4 -sOutputFile=" +
                        out + " " + page;
  if (device.rfind("bjc-", 0) == 0) {
    // A Gutenprint Canon model through cupsfilter, without a printer.
    const std::string ppd = std::string(binary) + "/canon-" + device + ".ppd";
    command = "/usr/lib/cups/driver/gutenprint.5.3 cat gutenprint.5.3://" + device + "/expert > " + ppd +
              " 2>/dev/null && cupsfilter -p " + ppd + " -m printer/foo -e " + page + " > " + out + " 2>/dev/null";
  }
  if (std::system(command.c_str()) != 0) return {};
  std::ifstream in(out, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

class RealCanonJob : public ::testing::TestWithParam<const char*> {};

TEST_P(RealCanonJob, NonRasterBytesKeptAndDotsOnlyRemoved) {
  testing_seams::VirtualClock clock;  // the one-second wait at the end of each job
  const Bytes job = render(GetParam());
  if (job.empty()) GTEST_SKIP() << "Ghostscript could not render " << GetParam();
  JobOptions options;
  options.printerName = "Canon real jobs";  // one set of threshold files for all
  options.blackKeep = 60;
  options.colorKeep = 50;
  const Bytes out = runJob(job, options);
  const jobread::Job before = read(job);
  const jobread::Job after = read(out);
  EXPECT_FALSE(before.truncated);
  EXPECT_FALSE(after.truncated);
  EXPECT_EQ(after.other, before.other);
  const auto rowsBefore = planeRows(before);
  const auto rowsAfter = planeRows(after);
  ASSERT_EQ(rowsAfter.size(), rowsBefore.size());
  ASSERT_GT(rowsBefore.size(), 100u);
  uint64_t in = 0, kept = 0;
  for (size_t r = 0; r < rowsBefore.size(); ++r) {
    // Pixels are decoded (three-level bytes to 2-bit levels): a kept pixel
    // keeps its level, so no bit appears that was not there.
    std::string a = rowsBefore[r]->data;
    std::string b = rowsAfter[r]->data;
    ASSERT_EQ(rowsAfter[r]->ink, rowsBefore[r]->ink);
    ASSERT_EQ(rowsAfter[r]->bitsPerPixel, rowsBefore[r]->bitsPerPixel);
    const size_t width = std::max(a.size(), b.size());
    a.resize(width);
    b.resize(width);
    for (size_t k = 0; k < width; ++k)
      ASSERT_EQ(b[k] & ~a[k], 0) << "row " << r << " byte " << k << ": " << int{uint8_t(a[k])} << " -> "
                                 << int{uint8_t(b[k])};
    in += jobread::countDots(*rowsBefore[r]);
    kept += jobread::countDots(*rowsAfter[r]);
  }
  ASSERT_GT(in, 10000u);
  const double share = static_cast<double>(kept) / static_cast<double>(in);
  EXPECT_GT(share, 0.40);
  EXPECT_LT(share, 0.70);
  // Keeping everything gives the same rows back.
  options.blackKeep = options.colorKeep = 100;
  uint64_t all = 0;
  const jobread::Job whole = read(runJob(job, options));
  for (const jobread::PlaneRow* row : planeRows(whole)) all += jobread::countDots(*row);
  EXPECT_EQ(all, in);
}

INSTANTIATE_TEST_SUITE_P(Ghostscript, RealCanonJob, ::testing::Values("bjc600", "bjc800", "bjccmyk", "bjccolor", "bjc-PIXMA-iP4100",
                                                                     "bjc-8200"));

}  // namespace
