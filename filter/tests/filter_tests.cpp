// corvanta-filter: its command line, its errors, and real Ghostscript jobs
// run through the built program with the real plug-ins and reduction library.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>

#include "filter_job.h"
#include "filter_options.h"
#include "raster_job.h"
#include "stats.h"

namespace fs = std::filesystem;
using filter::FilterOptions;
using filter::ParseResult;

namespace {

// --- the command line -------------------------------------------------------

ParseResult parse(std::vector<std::string> args, FilterOptions& options, std::string& error) {
  options = FilterOptions{};
  error.clear();
  return filter::parseOptions(args, options, error);
}

TEST(FilterOptions, ValuesInBothFormsAndPositionalFiles) {
  FilterOptions o;
  std::string error;
  ASSERT_EQ(parse({}, o, error), ParseResult::Run);
  EXPECT_EQ(o.maker, filter::Maker::Hp);
  EXPECT_EQ(o.blackSave, 25);
  EXPECT_EQ(o.colorSave, 25);
  EXPECT_EQ(o.input, "-");
  EXPECT_EQ(o.output, "-");

  ASSERT_EQ(parse({"--maker", "Canon", "--black-save=0", "--color-save", "100%", "--printer", "Desk Jet",
                   "--calibration", "--stats", "--preview=pics", "--threshold-dir", "th", "in.prn", "out.prn"},
                  o, error),
            ParseResult::Run)
      << error;
  EXPECT_EQ(o.maker, filter::Maker::Canon);
  EXPECT_EQ(o.blackSave, 0);
  EXPECT_EQ(o.colorSave, 100);
  EXPECT_EQ(o.printerName, "Desk Jet");
  EXPECT_TRUE(o.calibration);
  EXPECT_TRUE(o.stats);
  EXPECT_EQ(o.previewDir, "pics");
  EXPECT_EQ(o.thresholdDir, "th");
  EXPECT_EQ(o.input, "in.prn");
  EXPECT_EQ(o.output, "out.prn");

  // "-" is standard input; after "--" a name may start with a dash.
  ASSERT_EQ(parse({"-", "--", "-odd.prn"}, o, error), ParseResult::Run);
  EXPECT_EQ(o.input, "-");
  EXPECT_EQ(o.output, "-odd.prn");
  EXPECT_EQ(parse({"in", "--help"}, o, error), ParseResult::Help);
}

TEST(FilterOptions, BadValuesAreRefusedWithAReason) {
  FilterOptions o;
  std::string error;
  const std::vector<std::vector<std::string>> bad = {
      {"--black-save", "101"}, {"--black-save", "-1"}, {"--color-save", "2.5"},
      {"--color-save", ""},    {"--black-save"},       {"--maker", "epson"},
      {"--printer", ""},       {"--preview="},         {"--stats=yes"}, {"--threshold-dir="},
      {"--frobnicate"},        {"a", "b", "c"},        {"--printer", std::string(kPrinterNameBufferSize, 'p')}};
  for (const auto& args : bad) {
    EXPECT_EQ(parse(args, o, error), ParseResult::Error) << args[0];
    EXPECT_FALSE(error.empty()) << args[0];
  }
  parse({"--maker", "epson"}, o, error);
  EXPECT_NE(error.find("epson"), std::string::npos);
  EXPECT_EQ(parse({"--printer", std::string(kPrinterNameBufferSize - 1, 'p')}, o, error), ParseResult::Run);
}

TEST(FilterStats, PlanesNamedPerMakerWithTheShareSaved) {
  plugin::DotTotals totals{};
  totals.pages = 2;
  totals.rows = 300;
  totals.blackPlanes = 1;
  totals.before[0] = 1000;
  totals.after[0] = 750;
  totals.before[3] = 400;
  totals.after[3] = 400;
  const std::string canon = filter::formatStats(totals, filter::Maker::Canon);
  EXPECT_EQ(canon,
            "pages: 2\nrows: 300\n"
            "plane K: 1000 -> 750 dots, 25.0% saved\n"
            "plane C: 400 -> 400 dots, 0.0% saved\n"
            "total: 1400 -> 1150 dots, 17.9% saved\n");
  const std::string hp = filter::formatStats(totals, filter::Maker::Hp);
  EXPECT_NE(hp.find("plane 1 (black): 1000 -> 750"), std::string::npos);
  EXPECT_NE(hp.find("plane 4 (colour): 400 -> 400"), std::string::npos);
  EXPECT_EQ(filter::savedPercent(0, 0), 0.0);
  EXPECT_EQ(filter::savedPercent(10, 12), 0.0);
}

// --- the program ------------------------------------------------------------

struct Outcome {
  int status = -1;
  std::string out, err;
};

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class FilterProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* binary = std::getenv("CORVANTA_BINARY_DIR");
    ASSERT_NE(binary, nullptr);
    binaryDir_ = binary;
    program_ = binaryDir_ / "bin" / "corvanta-filter";
    ASSERT_TRUE(fs::exists(program_));
    dir_ = binaryDir_ / "filter-tests" / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }

  // Runs the filter with `args` (shell words), standard input from `input`.
  Outcome filter(const std::string& args, const std::string& input = "/dev/null",
                 const std::string& output = "") const {
    Outcome run;
    const fs::path out = dir_ / "stdout", err = dir_ / "stderr";
    const std::string command = program_.string() + " " + args + " < " + input + " > " +
                                (output.empty() ? out.string() : output) + " 2> " + err.string();
    const int status = std::system(command.c_str());
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = slurp(out);
    run.err = slurp(err);
    return run;
  }

  // A sample job made by scripts/make-sample-jobs; empty when Ghostscript is missing.
  fs::path sampleJob(const std::string& name) const {
    const fs::path jobs = binaryDir_ / "sample-jobs";
    const char* source = std::getenv("CORVANTA_SOURCE_DIR");
    const std::string command = std::string(source ? source : ".") + "/scripts/make-sample-jobs " + jobs.string() +
                                " " + name + " > /dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return {};
    return jobs / (name + ".prn");
  }

  fs::path binaryDir_, program_, dir_;
};

TEST_F(FilterProgram, HelpAndUsageErrors) {
  const Outcome help = filter("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: corvanta-filter"), std::string::npos);
  EXPECT_NE(help.out.find("--threshold-dir DIR"), std::string::npos);
  EXPECT_NE(help.out.find("$CORVANTA_THRESHOLD_DIR"), std::string::npos);

  const Outcome bad = filter("--black-save 120");
  EXPECT_EQ(bad.status, 2);
  EXPECT_TRUE(bad.out.empty());
  EXPECT_EQ(bad.err.rfind("ERROR: corvanta-filter: --black-save", 0), 0u) << bad.err;
}

TEST_F(FilterProgram, UnreadableInputOrUnwritableOutputFailsWithoutTouchingTheOutput) {
  const fs::path out = dir_ / "out.prn";
  std::ofstream(out) << "earlier job";
  const Outcome missing = filter("missing.prn " + out.string());
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("cannot read the input 'missing.prn'"), std::string::npos) << missing.err;
  const Outcome directory = filter(dir_.string() + " " + out.string());
  EXPECT_EQ(directory.status, 1);
  EXPECT_NE(directory.err.find("Is a directory"), std::string::npos) << directory.err;
  EXPECT_EQ(slurp(out), "earlier job");

  const Outcome noFolder = filter("- " + (dir_ / "no" / "such" / "out.prn").string());
  EXPECT_EQ(noFolder.status, 1);
  EXPECT_NE(noFolder.err.find("cannot create the output"), std::string::npos) << noFolder.err;

  // No temporary files are left behind.
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(dir_))
    files += entry.path().filename().string().rfind("out.prn", 0) == 0;
  EXPECT_EQ(files, 1u);
}

TEST_F(FilterProgram, FullOutputDeviceIsReportedAsIncomplete) {
  const fs::path job = sampleJob("hp-djet500");
  if (job.empty()) GTEST_SKIP() << "Ghostscript could not make the sample job";
  const Outcome run = filter(job.string(), "/dev/null", "/dev/full");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cannot write the output"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("incomplete"), std::string::npos) << run.err;
}

TEST_F(FilterProgram, ThresholdFolderThatCannotBeMadeIsAnErrorExceptForCalibration) {
  std::ofstream(dir_ / "not-a-folder") << "x";
  const std::string env = "XDG_DATA_HOME=" + (dir_ / "not-a-folder").string() + " ";
  const std::string command =
      "cd " + dir_.string() + " && " + env + program_.string() + " /dev/null out.prn 2> err.txt";
  const int status = std::system(command.c_str());
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
  EXPECT_NE(slurp(dir_ / "err.txt").find("threshold-file folder"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir_ / "out.prn"));
  // A calibration page makes its masks as it goes and needs no folder.
  const std::string calibration =
      "cd " + dir_.string() + " && " + env + program_.string() + " --calibration /dev/null out.prn 2> err.txt";
  const int calibrated = std::system(calibration.c_str());
  EXPECT_EQ(WIFEXITED(calibrated) ? WEXITSTATUS(calibrated) : -1, 0) << slurp(dir_ / "err.txt");
  EXPECT_TRUE(fs::exists(dir_ / "out.prn"));
}

// A new account (an empty HOME, no XDG_DATA_HOME), then a folder named by the
// environment and one named by the option, which wins; parents are missing
// in every case.
TEST_F(FilterProgram, ThresholdFilesGoWhereTheAccountOrTheUserSays) {
  const fs::path job = sampleJob("hp-djet500");
  if (job.empty()) GTEST_SKIP() << "Ghostscript could not make the sample job";
  const fs::path home = dir_ / "home";
  fs::create_directories(home);
  const auto run = [&](const std::string& env, const std::string& args) {
    const std::string command = "env -u XDG_DATA_HOME -u CORVANTA_THRESHOLD_DIR HOME=" + home.string() + " " + env +
                                " " + program_.string() + " " + args + " " + job.string() + " /dev/null 2> " +
                                (dir_ / "err.txt").string();
    const int status = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << slurp(dir_ / "err.txt");
  };
  run("", "");
  EXPECT_TRUE(fs::exists(home / ".local/share/Corvanta/corvanta-filter/kfile.red"));
  const std::string byEnv = "CORVANTA_THRESHOLD_DIR=" + (dir_ / "by-env" / "deep").string();
  run(byEnv, "--printer 'Desk Jet'");
  EXPECT_TRUE(fs::exists(dir_ / "by-env/deep/Desk_Jet/kfile.red"));
  run(byEnv, "--threshold-dir " + (dir_ / "by-option" / "x").string());
  EXPECT_TRUE(fs::exists(dir_ / "by-option/x/corvanta-filter/kfile.red"));
  EXPECT_FALSE(fs::exists(dir_ / "by-env/deep/corvanta-filter"));
}

struct Plane {
  uint64_t before = 0, after = 0;
};

// Non-raster bytes equal, every output dot an input dot; dots per ink.
std::map<char, Plane> compareJobs(const jobread::Job& before, const jobread::Job& after) {
  std::map<char, Plane> inks;
  EXPECT_FALSE(before.truncated);
  EXPECT_FALSE(after.truncated);
  EXPECT_EQ(after.other, before.other);
  EXPECT_EQ(after.pages.size(), before.pages.size());
  for (size_t p = 0; p < std::min(before.pages.size(), after.pages.size()); ++p) {
    const auto& a = before.pages[p].rows;
    const auto& b = after.pages[p].rows;
    EXPECT_EQ(b.size(), a.size()) << "page " << p;
    for (size_t r = 0; r < std::min(a.size(), b.size()); ++r) {
      EXPECT_EQ(b[r].size(), a[r].size());
      for (size_t j = 0; j < std::min(a[r].size(), b[r].size()); ++j) {
        std::string x = a[r][j].data, y = b[r][j].data;
        const size_t width = std::max(x.size(), y.size());
        x.resize(width);
        y.resize(width);
        if (a[r][j].bitsPerPixel != 24)
          for (size_t k = 0; k < width; ++k)
            if (y[k] & ~x[k]) {
              ADD_FAILURE() << "page " << p << " row " << r << " plane " << j << ": a dot appeared";
              return inks;
            }
        inks[a[r][j].ink].before += jobread::countDots(a[r][j]);
        inks[a[r][j].ink].after += jobread::countDots(b[r][j]);
      }
    }
  }
  return inks;
}

struct RealJob {
  const char* name;
  const char* maker;
};

class FilterRealJob : public FilterProgram, public ::testing::WithParamInterface<RealJob> {};

TEST_P(FilterRealJob, ThinsToTheLevelsAndKeepsEverythingElse) {
  const fs::path job = sampleJob(GetParam().name);
  if (job.empty()) GTEST_SKIP() << "Ghostscript could not make " << GetParam().name;
  const std::string maker = std::string(" --maker ") + GetParam().maker;
  const fs::path out = dir_ / "out.prn";
  const Outcome run = filter(maker + " --black-save 40 --color-save 20 --stats " + job.string() + " " + out.string());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(run.out.empty());

  const auto read = std::string(GetParam().maker) == "canon" ? jobread::readCanonJob : jobread::readHpJob;
  const jobread::Job before = read(slurp(job)), after = read(slurp(out));
  ASSERT_EQ(before.pages.size(), 5u);
  const auto inks = compareJobs(before, after);
  uint64_t dotsBefore = 0, dotsAfter = 0;
  for (const auto& [ink, plane] : inks) {
    dotsBefore += plane.before;
    dotsAfter += plane.after;
    if (plane.before < 20000) continue;
    const double kept = static_cast<double>(plane.after) / static_cast<double>(plane.before);
    const double level = ink == 'K' ? 0.60 : 0.80;
    EXPECT_NEAR(kept, level, 0.05) << "ink " << ink;
  }

  // The report agrees with the job's pages; its totals count what the job holds.
  EXPECT_NE(run.err.find("pages: 5\n"), std::string::npos) << run.err;
  const size_t total = run.err.find("total: ");
  ASSERT_NE(total, std::string::npos) << run.err;
  unsigned long long reportedBefore = 0, reportedAfter = 0;
  ASSERT_EQ(std::sscanf(run.err.c_str() + total, "total: %llu -> %llu", &reportedBefore, &reportedAfter), 2);
  EXPECT_LT(reportedAfter, reportedBefore);
  EXPECT_NEAR(static_cast<double>(reportedAfter) / static_cast<double>(reportedBefore),
              static_cast<double>(dotsAfter) / static_cast<double>(dotsBefore), 0.05);

  // Through standard input and output the same bytes come out; saving nothing
  // keeps every dot.
  const Outcome piped = filter(maker + " --black-save 40 --color-save 20 -", job.string());
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_TRUE(piped.out == slurp(out));
  const Outcome none = filter(maker + " --black-save 0 --color-save 0 -", job.string());
  ASSERT_EQ(none.status, 0) << none.err;
  const auto whole = compareJobs(before, read(none.out));
  for (const auto& [ink, plane] : whole) EXPECT_EQ(plane.after, plane.before) << "ink " << ink;

  // A calibration page ignores the levels and steps its own down the page.
  const Outcome calibration = filter(maker + " --calibration --black-save 0 --color-save 0 -", job.string());
  ASSERT_EQ(calibration.status, 0) << calibration.err;
  uint64_t calibratedBefore = 0, calibratedAfter = 0;
  for (const auto& [ink, plane] : compareJobs(before, read(calibration.out))) {
    calibratedBefore += plane.before;
    calibratedAfter += plane.after;
  }
  EXPECT_LT(calibratedAfter, calibratedBefore);
}

INSTANTIATE_TEST_SUITE_P(SampleJobs, FilterRealJob,
                         ::testing::Values(RealJob{"hp-cdj550", "hp"}, RealJob{"canon-bjc600", "canon"}),
                         [](const auto& info) { return std::string(info.param.maker); });

TEST_F(FilterProgram, PreviewWritesBeforeAndAfterPicturesOfEveryPage) {
  const fs::path job = sampleJob("canon-bjc600");
  if (job.empty()) GTEST_SKIP() << "Ghostscript could not make the sample job";
  const fs::path pictures = dir_ / "preview" / "bjc600";
  const Outcome run =
      filter("--maker canon --preview " + pictures.string() + " " + job.string() + " " + (dir_ / "out.prn").string());
  ASSERT_EQ(run.status, 0) << run.err;
  for (int page = 1; page <= 5; ++page)
    for (const char* which : {"before", "after"}) {
      const fs::path picture = pictures / ("page-00" + std::to_string(page) + "-" + which + ".png");
      const std::string png = slurp(picture);
      ASSERT_GT(png.size(), 100u) << picture;
      EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    }
  EXPECT_FALSE(fs::exists(pictures / "page-006-before.png"));
  // Thinned pages are lighter: their pictures differ from the originals.
  EXPECT_NE(slurp(pictures / "page-003-before.png"), slurp(pictures / "page-003-after.png"));

  // A preview folder that cannot be made stops the run before any output.
  std::ofstream(dir_ / "file") << "x";
  const Outcome blocked = filter("--preview " + (dir_ / "file" / "sub").string() + " " + job.string() + " " +
                                 (dir_ / "blocked.prn").string());
  EXPECT_EQ(blocked.status, 1);
  EXPECT_NE(blocked.err.find("preview folder"), std::string::npos) << blocked.err;
  EXPECT_FALSE(fs::exists(dir_ / "blocked.prn"));
}

// In-process runs: input arriving in small pieces gives the same job as a
// file read whole, and a failing input stops the job with a reason.
TEST_F(FilterProgram, JobFedInSmallPiecesOrFailingToRead) {
  const fs::path job = sampleJob("hp-cdj550");
  if (job.empty()) GTEST_SKIP() << "Ghostscript could not make the sample job";
  std::string error;
  const ParseFileFunction parseFile = filter::loadPlugin(filter::Maker::Hp, error);
  ASSERT_NE(parseFile, nullptr) << error;
  filter::JobSettings settings;
  settings.printerName = "filter tests";
  settings.keepCopies = true;
  const auto run = [&](int input) {
    const int output = open((dir_ / "out.prn").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    filter::JobResult result = filter::runJob(parseFile, input, output, settings);
    close(output);
    if (result.parser.joinable()) result.parser.join();
    return result;
  };

  const int whole = open(job.c_str(), O_RDONLY);
  const filter::JobResult direct = run(whole);
  close(whole);
  ASSERT_TRUE(direct.ok) << direct.error;
  EXPECT_EQ(direct.input, slurp(job));
  EXPECT_EQ(direct.output, slurp(dir_ / "out.prn"));
  EXPECT_EQ(direct.outputBytes, direct.output.size());

  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const std::string bytes = slurp(job);
  std::thread writer([&] {
    for (size_t at = 0; at < bytes.size(); at += 1000) {
      const size_t n = std::min<size_t>(1000, bytes.size() - at);
      if (write(fds[1], bytes.data() + at, n) != static_cast<ssize_t>(n)) break;
    }
    close(fds[1]);
  });
  const filter::JobResult piped = run(fds[0]);
  writer.join();
  close(fds[0]);
  ASSERT_TRUE(piped.ok) << piped.error;
  EXPECT_EQ(piped.inputBytes, bytes.size());
  EXPECT_TRUE(piped.output == direct.output);
  EXPECT_EQ(piped.totals.pages, direct.totals.pages);
  EXPECT_EQ(piped.totals.after[0], direct.totals.after[0]);

  const int folder = open(dir_.c_str(), O_RDONLY | O_DIRECTORY);
  const filter::JobResult failed = run(folder);
  close(folder);
  EXPECT_FALSE(failed.ok);
  EXPECT_FALSE(failed.outputFailed);
  EXPECT_NE(failed.error.find("cannot read the input"), std::string::npos) << failed.error;
}

}  // namespace
