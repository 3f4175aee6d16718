// Whole Canon jobs rendered by Ghostscript's Canon devices, run through the
// plug-in with the real reduction library: every non-raster byte preserved,
// every output dot an input dot, the kept share near the level.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "canon_harness.h"
#include "test_seams.h"

using namespace canon_test;

namespace {

struct Row {
  char kind;  // 'A' or 'F'
  Bytes dots;
};

struct Parsed {
  Bytes other;  // every byte outside the row commands' lengths and payloads
  std::vector<Row> rows;
};

Bytes unpack(const uint8_t* p, size_t n) {
  Bytes out;
  for (size_t i = 0; i < n;) {
    const uint8_t c = p[i++];
    if (c < 0x80) {
      for (size_t k = 0; k <= c && i < n; ++k) out.push_back(p[i++]);
    } else if (c > 0x80 && i < n) {
      out.insert(out.end(), 257u - c, p[i++]);
    }
  }
  return out;
}

// Splits a job into its row data and everything else.
Parsed parse(const Bytes& job) {
  Parsed parsed;
  size_t i = 0;
  while (i < job.size()) {
    if (job[i] == 0x1B && i + 4 < job.size() && job[i + 1] == '(' && (job[i + 2] == 'A' || job[i + 2] == 'F')) {
      const char kind = static_cast<char>(job[i + 2]);
      const size_t length = job[i + 3] | (job[i + 4] << 8);
      parsed.other.insert(parsed.other.end(), job.begin() + static_cast<long>(i), job.begin() + static_cast<long>(i + 3));
      i += 5;
      const size_t end = std::min(job.size(), i + length);
      if (kind == 'A' && i < end) {
        parsed.other.push_back(job[i]);  // colour byte
        parsed.rows.push_back({kind, unpack(&job[i + 1], end - i - 1)});
      } else {
        // Rows end at a 0x80 count byte (data bytes may hold 0x80 too).
        size_t start = i;
        for (size_t k = i; k < end;) {
          const uint8_t c = job[k];
          if (c == 0x80) {
            parsed.rows.push_back({kind, unpack(&job[start], k - start)});
            start = ++k;
          } else {
            k += c < 0x80 ? c + 2u : 2u;
          }
        }
        if (start < end) parsed.rows.push_back({kind, unpack(&job[start], end - start)});
      }
      i = end;
    } else {
      parsed.other.push_back(job[i++]);
    }
  }
  return parsed;
}

// Bits cleared, or (three-level inks) base-3 pixels set to 0.
bool onlyRemoved(uint8_t before, uint8_t after) {
  if ((after & ~before) == 0) return true;
  if (before > 242 || after > 242) return false;
  for (int k = 0; k < 5; ++k, before /= 3, after /= 3)
    if (after % 3 != 0 && after % 3 != before % 3) return false;
  return true;
}

int64_t dots(const Bytes& row) {
  int64_t n = 0;
  for (uint8_t b : row) n += __builtin_popcount(b);
  return n;
}

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
  const Parsed before = parse(job);
  const Parsed after = parse(out);
  EXPECT_EQ(after.other, before.other);
  ASSERT_EQ(after.rows.size(), before.rows.size());
  ASSERT_GT(before.rows.size(), 100u);
  int64_t in = 0, kept = 0;
  for (size_t r = 0; r < before.rows.size(); ++r) {
    Bytes a = before.rows[r].dots;
    Bytes b = after.rows[r].dots;
    const size_t width = std::max(a.size(), b.size());
    a.resize(width);
    b.resize(width);
    for (size_t k = 0; k < width; ++k)
      ASSERT_TRUE(onlyRemoved(a[k], b[k])) << "row " << r << " byte " << k << ": " << int{a[k]} << " -> " << int{b[k]};
    in += dots(a);
    kept += dots(b);
  }
  ASSERT_GT(in, 10000);
  const double share = static_cast<double>(kept) / static_cast<double>(in);
  EXPECT_GT(share, 0.40);
  EXPECT_LT(share, 0.70);
  // Keeping everything gives the same rows back.
  options.blackKeep = options.colorKeep = 100;
  const Parsed whole = parse(runJob(job, options));
  int64_t all = 0;
  for (const Row& row : whole.rows) all += dots(row.dots);
  EXPECT_EQ(all, in);
}

INSTANTIATE_TEST_SUITE_P(Ghostscript, RealCanonJob, ::testing::Values("bjc600", "bjc800", "bjccmyk", "bjccolor", "bjc-PIXMA-iP4100",
                                                                     "bjc-8200"));

}  // namespace
