// Whole HP jobs rendered from the project's test pages by Ghostscript's HP
// devices and by HPLIP's hpcups (through cupsfilter, no printer needed), run
// through the plug-in with the real reduction library and read back with the
// filter's independent job reader: the bytes outside the rows unchanged
// (numbers in canonical form), the same pages and rows, every output dot an
// input dot, each ink's kept share near its keep percentage, and keeping 100
// percent gives every dot back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>

#include "hp_harness.h"
#include "raster_job.h"

using hp_test::Bytes;

namespace {

struct RealJob {
  const char* name;
  const char* renderer;  // a Ghostscript device, or "hpcups:" and an HPLIP PPD name
  const char* pages;     // test pages, one printed page each
};

void PrintTo(const RealJob& job, std::ostream* out) { *out << job.name; }

// Ghostscript's HP devices at 300 dpi; hpcups in its 300 dpi draft mode.
const RealJob kJobs[] = {
    // ESC*r-4U, mode 9, one combined ESC*b sequence per page, planes left out
    // of rows where they repeat.
    {"cdj550", "cdj550", "3-colour 1-text"},
    // ESC*r-3U: cyan, magenta and yellow only.
    {"cdj500", "cdj500", "4-gradient"},
    // Black only, modes 2 and 3 chosen per row.
    {"djet500", "djet500", "2-lineart"},
    // Black only, mode 2.
    {"deskjet", "deskjet", "1-text"},
    // ESC*g format 2, black at 600 dpi over colour at 300, four levels, no
    // ESC*r A, ESC*b groups going on after ESC*b#Y.
    {"cdj850", "cdj850", "5-photo"},
    // The same configuration in mode 2 after PJL and hundreds of NUL bytes.
    {"cdj970", "cdj970", "3-colour 1-text"},
    // ESC*g format 6 with one mode 10 RGB component.
    {"chp2200", "chp2200", "4-gradient"},
    // hpcups: format 6 with a mode 9 black component and a mode 10 RGB one.
    {"hpcups_f4200", "hpcups:hp-deskjet_f4200_series", "5-photo"},
    // hpcups: format 2 with three colour records only, mode 9.
    {"hpcups_350", "hpcups:hp-deskjet_350", "3-colour"},
    // hpcups: format 2, black at 600 dpi over colour at 300, mode 2.
    {"hpcups_970c", "hpcups:hp-deskjet_970c", "1-text"},
    // hpcups DeskJet 8xx: format 2, black at 600 dpi over four-level colour
    // at 300, mode 9 rows, then a base resolution of 300 (ESC&u300D ESC*t300R).
    {"hpcups_850c", "hpcups:hp-deskjet_850c", "1-text"},
    // The same family's other device class: two-level colour, mode 2.
    {"hpcups_895c", "hpcups:hp-deskjet_895c", "1-text"},
};

// The part of a test page the jobs print: a 612 x 144 point window from 380
// points up, where every page has ink, so that whole jobs run in moments.
constexpr int kWindowHeight = 144;
constexpr int kWindowBottom = 380;

std::string window(const std::string& source, const std::string& binary, const std::string& page) {
  std::ifstream in(source + "/samples/pages/" + page + ".ps");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  if (text.empty()) return {};
  const std::string path = binary + "/hp-window-" + page + ".ps";
  std::ofstream out(path);
  out << "%!PS\n0 " << -kWindowBottom << " translate\n" << text;
  return out ? path : std::string();
}

Bytes render(const RealJob& job) {
  const char* binary = std::getenv("CORVANTA_BINARY_DIR");
  const char* source = std::getenv("CORVANTA_SOURCE_DIR");
  if (!binary || !source || std::system("gs --version > /dev/null 2>&1") != 0) return {};
  std::string files;
  std::istringstream pages(job.pages);
  for (std::string page; pages >> page;) {
    const std::string file = window(source, binary, page);
    if (file.empty()) return {};
    files += " " + file;
  }
  const std::string out = std::string(binary) + "/hp-real-" + job.name + ".prn";
  const std::string renderer = job.renderer;
  std::string command;
  if (renderer.rfind("hpcups:", 0) == 0) {
    // An hpcups model through cupsfilter, without a printer or a CUPS daemon.
    const std::string model = renderer.substr(7);
    const std::string ppd = std::string(binary) + "/hp-real-" + model + ".ppd";
    command = "/usr/lib/cups/daemon/cups-driverd cat drv:///hpcups.drv/" + model + ".ppd > " + ppd +
              " 2>/dev/null && cupsfilter -p " + ppd + " -m printer/foo -o OutputMode=Draft -o PageSize=Custom.612x" +
              std::to_string(kWindowHeight) + " -e" + files + " > " + out + " 2>/dev/null";
  } else {
    command = "gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=" + renderer +
              " -r300 -dDEVICEWIDTHPOINTS=612 -dDEVICEHEIGHTPOINTS=" + std::to_string(kWindowHeight) +
              " -dFIXEDMEDIA -sOutputFile=" + out + files + " 2>/dev/null";
  }
  if (std::system(command.c_str()) != 0) return {};
  std::ifstream in(out, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Where two byte strings first differ, with a little context, printable.
std::string firstDifference(const Bytes& a, const Bytes& b) {
  size_t at = 0;
  while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
  if (at == a.size() && at == b.size()) return "equal";
  auto show = [&](const Bytes& s) {
    std::ostringstream text;
    for (size_t k = at >= 16 ? at - 16 : 0; k < std::min(s.size(), at + 24); ++k) {
      const auto c = static_cast<unsigned char>(s[k]);
      if (c == 0x1B) text << "ESC";
      else if (c >= 0x20 && c < 0x7F) text << c;
      else text << "\\x" << std::hex << static_cast<int>(c) << std::dec;
    }
    return text.str();
  };
  return "byte " + std::to_string(at) + ": [" + show(a) + "] vs [" + show(b) + "]";
}

bool whitePixel(const char* p) {
  return static_cast<uint8_t>(p[0]) == 0xFF && static_cast<uint8_t>(p[1]) == 0xFF && (static_cast<uint8_t>(p[2]) | 1) == 0xFF;
}
bool samePixel(const char* a, const char* b) { return a[0] == b[0] && a[1] == b[1] && (a[2] | 1) == (b[2] | 1); }


struct Comparison {
  std::map<char, uint64_t> in, kept;  // dots per ink
  std::map<size_t, uint64_t> inByPlane, keptByPlane;  // dots per plane index of the row
  std::map<char, uint64_t> inRight, keptRight;  // dots per ink in the right half of each row
  uint64_t added = 0;                 // output dots that were not input dots
  uint64_t changedPixels = 0;         // RGB pixels neither kept nor whitened
  uint64_t differentRows = 0;         // plane rows that differ at all
  std::string firstProblem;           // where the first added dot or changed pixel is
  std::string firstDifference;        // where the first difference of any kind is
};

// Compares two readings of the same job plane row by plane row; the pages,
// rows, row positions, planes and inks must match.
void compare(const jobread::Job& before, const jobread::Job& after, Comparison& result) {
  ASSERT_EQ(after.pages.size(), before.pages.size());
  for (size_t p = 0; p < before.pages.size(); ++p) {
    const jobread::Page& a = before.pages[p];
    const jobread::Page& b = after.pages[p];
    ASSERT_EQ(b.rows.size(), a.rows.size()) << "page " << p;
    ASSERT_EQ(b.rowY, a.rowY) << "page " << p;
    for (size_t r = 0; r < a.rows.size(); ++r) {
      ASSERT_EQ(b.rows[r].size(), a.rows[r].size()) << "page " << p << " row " << r;
      for (size_t k = 0; k < a.rows[r].size(); ++k) {
        const jobread::PlaneRow& x = a.rows[r][k];
        const jobread::PlaneRow& y = b.rows[r][k];
        ASSERT_EQ(y.ink, x.ink);
        ASSERT_EQ(y.bitsPerPixel, x.bitsPerPixel);
        const uint64_t was = jobread::countDots(x), is = jobread::countDots(y);
        result.in[x.ink] += was;
        result.kept[x.ink] += is;
        result.inByPlane[k] += was;
        result.keptByPlane[k] += is;
        if (x.bitsPerPixel == 1) {
          const size_t half = x.data.size() / 2;
          for (size_t i = half; i < x.data.size(); ++i) {
            result.inRight[x.ink] += static_cast<uint64_t>(__builtin_popcount(static_cast<uint8_t>(x.data[i])));
            if (i < y.data.size())
              result.keptRight[x.ink] += static_cast<uint64_t>(__builtin_popcount(static_cast<uint8_t>(y.data[i])));
          }
        }
        Bytes u = x.data, v = y.data;
        const size_t unit = x.bitsPerPixel == 24 ? 3 : 1;
        const size_t width = std::max(u.size(), v.size());
        u.resize(width, unit == 3 ? '\xFF' : '\0');
        v.resize(width, unit == 3 ? '\xFF' : '\0');
        bool different = false;
        for (size_t i = 0; i + unit <= width; i += unit) {
          if (unit == 3) {
            if (samePixel(&u[i], &v[i])) continue;
            different = true;
            if (!whitePixel(&v[i])) ++result.changedPixels;
          } else {
            const auto was = static_cast<uint8_t>(u[i]), is = static_cast<uint8_t>(v[i]);
            if (was == is) continue;
            different = true;
            result.added += static_cast<uint64_t>(__builtin_popcount(is & ~was));
          }
          auto where = [&] {
            return "page " + std::to_string(p) + " row " + std::to_string(r) + " plane " + std::to_string(k) +
                   " byte " + std::to_string(i);
          };
          if (result.firstDifference.empty()) result.firstDifference = where();
          if (result.firstProblem.empty() && (unit == 3 ? !whitePixel(&v[i]) : (v[i] & ~u[i]) != 0)) {
            result.firstProblem = where();
          }
        }
        result.differentRows += different;
      }
    }
  }
}

class RealHpJob : public ::testing::TestWithParam<RealJob> {};

TEST_P(RealHpJob, BytesKeptRowsKeptAndDotsOnlyRemoved) {
  const RealJob& param = GetParam();
  const Bytes job = render(param);
  if (job.empty()) GTEST_SKIP() << "could not render " << param.name;
  const jobread::Job before = jobread::readHpJob(job);
  ASSERT_FALSE(before.truncated);
  ASSERT_FALSE(before.pages.empty());

  hp_test::JobOptions options;
  options.printerName = "HP real jobs";  // one set of threshold files for all
  options.blackKeep = 60;
  options.colorKeep = 50;
  const hp_test::JobResult result = hp_test::runJob(job, options);
  const jobread::Job after = jobread::readHpJob(result.output);
  EXPECT_FALSE(after.truncated);
  EXPECT_EQ(after.other, before.other) << firstDifference(before.other, after.other);
  Comparison thinned;
  compare(before, after, thinned);
  if (HasFatalFailure()) return;
  EXPECT_EQ(thinned.added, 0u) << "first at " << thinned.firstProblem;
  EXPECT_EQ(thinned.changedPixels, 0u) << "first at " << thinned.firstProblem;
  // The plug-in's own dot totals, which the filter reports, count the same.
  for (size_t plane = 0; plane < plugin::kMaxPlanes; ++plane) {
    EXPECT_EQ(result.totals.before[plane], thinned.inByPlane[plane]) << "plane " << plane;
    EXPECT_EQ(result.totals.after[plane], thinned.keptByPlane[plane]) << "plane " << plane;
  }
  for (const auto& [ink, in] : thinned.in) {
    if (in < 20000) continue;  // too few dots for a share
    const double share = static_cast<double>(thinned.kept[ink]) / static_cast<double>(in);
    const double keep = (ink == 'K' ? options.blackKeep : options.colorKeep) / 100.0;
    EXPECT_NEAR(share, keep, 0.03) << "ink " << ink << ": " << thinned.kept[ink] << " of " << in << " dots kept";
  }
  // The whole row is thinned, not only as much of it as some other width covers.
  for (const auto& [ink, in] : thinned.inRight) {
    if (in < 20000) continue;
    const double share = static_cast<double>(thinned.keptRight[ink]) / static_cast<double>(in);
    const double keep = (ink == 'K' ? options.blackKeep : options.colorKeep) / 100.0;
    EXPECT_NEAR(share, keep, 0.03) << "ink " << ink << " in the right half of the rows: " << thinned.keptRight[ink]
                                   << " of " << in << " dots kept";
  }

  // Keeping everything gives every row back as it was.
  options.blackKeep = options.colorKeep = 100;
  const jobread::Job whole = jobread::readHpJob(hp_test::runJob(job, options).output);
  EXPECT_EQ(whole.other, before.other) << firstDifference(before.other, whole.other);
  Comparison all;
  compare(before, whole, all);
  EXPECT_EQ(all.differentRows, 0u) << "first at " << all.firstDifference;
}

// The smallest job of the kind cdj550 sends over solid areas: in mode 9, a
// row that leaves out planes has the printer repeat their seed rows.
TEST(HpLeftOutPlanes, RowsThatLeaveOutRepeatingPlanesKeepThemAfterTheRewrite) {
  hp_test::RecordingReduction keepEverything;  // thins nothing
  auto row = [](int k, int c, int m, int y) {
    return Bytes{'2', 'v', 0, static_cast<char>(k), '2', 'v', 0, static_cast<char>(c),
                 '2', 'v', 0, static_cast<char>(m), '2', 'w', 0, static_cast<char>(y)};
  };
  const Bytes job = hp_test::esc("*r-4U") + hp_test::esc("*rA") + hp_test::esc("*b9m" + row(0x80, 0xF0, 0x0F, 0x3C)) +
                    hp_test::esc("*b0W") + hp_test::esc("*rC");
  const jobread::Job before = jobread::readHpJob(job);
  const jobread::Job after = jobread::readHpJob(hp_test::runJob(job).output);
  ASSERT_EQ(before.pages.size(), 1u);
  ASSERT_EQ(before.pages[0].rows.size(), 2u);
  ASSERT_EQ(after.pages.size(), 1u);
  ASSERT_EQ(after.pages[0].rows.size(), 2u);
  for (size_t plane = 0; plane < 4; ++plane) {
    EXPECT_EQ(after.pages[0].rows[1].at(plane).data, before.pages[0].rows[1].at(plane).data)
        << "plane " << plane << " of the row that sends black only";
  }
}

INSTANTIATE_TEST_SUITE_P(Printers, RealHpJob, ::testing::ValuesIn(kJobs),
                         [](const ::testing::TestParamInfo<RealJob>& info) { return std::string(info.param.name); });

}  // namespace
