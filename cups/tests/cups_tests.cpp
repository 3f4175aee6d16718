// The corvanta backend in a real CUPS: a private cupsd of this test's own
// (configuration, spool, cache and logs under the build tree, listening only
// on a local socket) with queues on Gutenprint's HP and Canon drivers and
// CUPS's generic PostScript driver, each once through corvanta:/file:...
// and once straight to file:. Real PostScript pages are printed with lp.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "backend_job.h"
#include "raster_job.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// Runs a shell command; its standard output and error, and its exit status.
std::string sh(const std::string& command, int* status = nullptr) {
  std::string output;
  std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return "popen failed";
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
  const int result = pclose(pipe);
  if (status) *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
  return output;
}

std::string quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// --- reading the device output ---------------------------------------------

struct Dots {
  uint64_t black = 0, colour = 0;
};

Dots dotsOf(const jobread::Job& job) {
  Dots dots;
  for (const jobread::Page& page : job.pages)
    for (const auto& row : page.rows)
      for (const jobread::PlaneRow& plane : row) (plane.ink == 'K' || plane.ink == 'k' ? dots.black : dots.colour) += jobread::countDots(plane);
  return dots;
}

double kept(uint64_t after, uint64_t before) { return before ? static_cast<double>(after) / static_cast<double>(before) : 1.0; }

// The thinned job has the direct job's commands, pages, rows and planes,
// and only dots the direct job has.
void expectSameJobWithFewerDots(const jobread::Job& direct, const jobread::Job& thinned) {
  ASSERT_FALSE(direct.truncated);
  ASSERT_FALSE(thinned.truncated);
  ASSERT_FALSE(direct.pages.empty());
  EXPECT_TRUE(direct.other == thinned.other) << "the commands outside the raster rows differ";
  ASSERT_EQ(direct.pages.size(), thinned.pages.size());
  for (size_t p = 0; p < direct.pages.size(); ++p) {
    const auto& before = direct.pages[p].rows;
    const auto& after = thinned.pages[p].rows;
    ASSERT_EQ(before.size(), after.size()) << "page " << p;
    EXPECT_EQ(direct.pages[p].rowY, thinned.pages[p].rowY) << "page " << p;
    for (size_t r = 0; r < before.size(); ++r) {
      ASSERT_EQ(before[r].size(), after[r].size()) << "page " << p << " row " << r;
      for (size_t k = 0; k < before[r].size(); ++k) {
        const std::string& a = before[r][k].data;
        const std::string& b = after[r][k].data;
        ASSERT_EQ(before[r][k].ink, after[r][k].ink);
        for (size_t i = 0; i < b.size(); ++i) {
          const char original = i < a.size() ? a[i] : 0;
          ASSERT_EQ(b[i] & ~original, 0) << "a dot appeared: page " << p << " row " << r << " plane " << k;
        }
      }
    }
  }
}

// A network printer on a loopback port for CUPS's socket backend: takes one
// connection and keeps what arrives until the backend closes it (bounded
// waits throughout).
class LoopbackPrinter {
 public:
  int start() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(listener_, 1) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
      return 0;
    thread_ = std::thread([this] {
      pollfd wait{listener_, POLLIN, 0};
      if (poll(&wait, 1, 90000) != 1) return;
      const int connection = accept(listener_, nullptr, nullptr);
      if (connection < 0) return;
      char buffer[65536];
      for (pollfd data{connection, POLLIN, 0}; poll(&data, 1, 30000) == 1;) {
        const ssize_t n = read(connection, buffer, sizeof buffer);
        if (n <= 0) break;
        received_.append(buffer, static_cast<size_t>(n));
      }
      close(connection);
    });
    return ntohs(address.sin_port);
  }
  // What arrived, once the connection has ended.
  const std::string& received() {
    if (thread_.joinable()) thread_.join();
    return received_;
  }
  ~LoopbackPrinter() {
    if (listener_ >= 0) shutdown(listener_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) close(listener_);
  }

 private:
  int listener_ = -1;
  std::thread thread_;
  std::string received_;
};

// --- the private cupsd -----------------------------------------------------

class PrivateCups : public ::testing::Test {
 public:
  static void SetUpTestSuite() {
    if (geteuid() != 0) return;  // the tests skip themselves
    root_ = fs::path(std::getenv("CORVANTA_BINARY_DIR")) / "cupsd-test";
    fs::remove_all(root_);
    fs::create_directories(root_);
    // Jobs run as lp, which must reach the queues' files. A build tree it
    // cannot enter (a checkout under /root) moves the private tree to /tmp.
    int reachable = 1;
    sh("setpriv --reuid=lp --regid=lp --clear-groups test -x " + quote(root_.string()), &reachable);
    if (reachable != 0) {
      fs::remove_all(root_);
      root_ = sh("mktemp -d /tmp/corvanta-cupsd.XXXXXX");
      root_ = root_.string().substr(0, root_.string().find('\n'));
      fs::permissions(root_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
      std::printf("the build tree is closed to lp: the private cupsd lives in %s\n", root_.c_str());
      scratch_.push_back(root_);
    }
    for (const char* dir : {"conf/ppd", "cache", "state", "spool/tmp", "log", "serverbin/backend", "lib", "out"})
      fs::create_directories(root_ / dir);
    // Jobs run as lp: it writes the device files and reads our programs.
    fs::permissions(root_ / "out", fs::perms::all);
    for (const char* dir : {"filter", "daemon", "cgi-bin", "driver", "monitor", "notifier"})
      fs::create_symlink(fs::path("/usr/lib/cups") / dir, root_ / "serverbin" / dir);
    for (const auto& entry : fs::directory_iterator("/usr/lib/cups/backend"))
      fs::create_symlink(entry.path(), root_ / "serverbin/backend" / entry.path().filename());
    // The backend beside its plug-ins, mode 0700 as installed: CUPS runs it
    // as root and it hands file: output to lp.
    const fs::path bin = fs::path(std::getenv("CORVANTA_BINARY_DIR")) / "bin";
    for (const auto& entry : fs::directory_iterator(bin))
      if (entry.path().extension() == ".so") fs::copy_file(entry.path(), root_ / "lib" / entry.path().filename());
    fs::copy_file(bin / "corvanta", root_ / "lib/corvanta");
    fs::permissions(root_ / "lib/corvanta", fs::perms::owner_all);
    fs::create_symlink(root_ / "lib/corvanta", root_ / "serverbin/backend/corvanta");

    socket_ = root_ / "cups.sock";
    if (socket_.string().size() > 100) {  // sun_path holds 108 bytes
      const std::string dir = sh("mktemp -d /tmp/corvanta-cupsd.XXXXXX");
      socket_ = fs::path(dir.substr(0, dir.find('\n'))) / "s";
      scratch_.push_back(socket_.parent_path());
    }
    const std::string r = root_.string();
    writeFile(root_ / "conf/cupsd.conf",
              "Listen " + socket_.string() + "\nBrowsing No\nWebInterface No\nLogLevel debug\nMaxLogSize 0\n"
              "DefaultAuthType None\nSetEnv LD_LIBRARY_PATH " + r + "/lib\n"
              "<Location />\nOrder allow,deny\nAllow all\n</Location>\n"
              "<Policy default>\n<Limit All>\nOrder deny,allow\n</Limit>\n</Policy>\n");
    writeFile(root_ / "conf/cups-files.conf",
              "FileDevice Yes\nServerRoot " + r + "/conf\nCacheDir " + r + "/cache\nStateDir " + r + "/state\n"
              "RequestRoot " + r + "/spool\nTempDir " + r + "/spool/tmp\nServerBin " + r + "/serverbin\n"
              "DataDir /usr/share/cups\nDocumentRoot /usr/share/cups/doc-root\nSystemGroup root\n"
              "ErrorLog " + r + "/log/error_log\nAccessLog " + r + "/log/access_log\nPageLog " + r + "/log/page_log\n");
    setenv("CUPS_SERVER", socket_.c_str(), 1);

    std::fflush(stdout);  // the child must not print it again
    cupsd_ = fork();
    if (cupsd_ == 0) {
      // cupsd ends with this test program, however it ends.
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      const std::string log = r + "/log/cupsd.out";
      std::freopen(log.c_str(), "w", stdout);
      std::freopen(log.c_str(), "a", stderr);
      execlp("cupsd", "cupsd", "-f", "-c", (r + "/conf/cupsd.conf").c_str(), "-s", (r + "/conf/cups-files.conf").c_str(),
             static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 1;
    for (auto until = Clock::now() + std::chrono::seconds(15); status != 0 && Clock::now() < until;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      sh("lpstat -r", &status);
    }
    if (status != 0) {
      startError_ = "cupsd did not start: " + readFile(root_ / "log/cupsd.out") + readFile(root_ / "log/error_log");
      return;
    }
    startError_ = printAll();
  }

  static void TearDownTestSuite() {
    stopCupsd();
    for (const fs::path& dir : scratch_) fs::remove_all(dir);  // folders outside the build tree
  }

 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "a private cupsd needs root (it runs its jobs as lp)";
    ASSERT_EQ(startError_, "");
  }

  static fs::path out(const std::string& queue) { return root_ / "out" / (queue + ".prn"); }
  static std::string errorLog() { return readFile(root_ / "log/error_log"); }

  static fs::path root_, socket_;
  static pid_t cupsd_;
  static std::string startError_;
  static std::map<std::string, double> seconds_;  // queue -> time from lp to completion
  static LoopbackPrinter printer_;
  static std::vector<fs::path> scratch_;

 private:
  // Adds a queue; the device is corvanta:/file:... or file:... of out(queue).
  static void stopCupsd() {
    if (cupsd_ <= 0) return;
    kill(cupsd_, SIGTERM);
    int status = 0;
    for (auto until = Clock::now() + std::chrono::seconds(5); Clock::now() < until;) {
      if (waitpid(cupsd_, &status, WNOHANG) == cupsd_) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(cupsd_, SIGKILL);
    waitpid(cupsd_, &status, 0);
  }

  static std::string addQueue(const std::string& queue, const std::string& model, bool wrapped,
                              const std::string& options = "", std::string device = "") {
    if (device.empty()) device = (wrapped ? "corvanta:/file://" : "file://") + out(queue).string();
    int status = 0;
    const std::string said = sh("lpadmin -p " + queue + " -E -v " + quote(device) + " -m " + model + " " + options, &status);
    return status == 0 ? "" : "lpadmin " + queue + ": " + said;
  }

  // Submits one job per queue and waits (bounded) until every one completes.
  static std::string printJobs(const std::vector<std::pair<std::string, std::string>>& jobs) {
    const auto start = Clock::now();
    std::set<std::string> waiting;
    for (const auto& [queue, arguments] : jobs) {
      int status = 0;
      const std::string said = sh("lp -d " + queue + " " + arguments, &status);
      if (status != 0) return "lp " + queue + ": " + said;
      waiting.insert(queue);
    }
    for (auto until = start + std::chrono::seconds(90); !waiting.empty(); std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
      if (Clock::now() > until) return "jobs did not complete in 90 s: " + sh("lpstat -l -o -p");
      const std::string pending = sh("lpstat -W not-completed -o");
      for (auto it = waiting.begin(); it != waiting.end();) {
        if (pending.find(*it + "-") != std::string::npos) {
          ++it;
          continue;
        }
        seconds_[*it] = std::chrono::duration<double>(Clock::now() - start).count();
        it = waiting.erase(it);
      }
    }
    return "";
  }

  static std::string printAll() {
    const std::string page = quote(std::string(std::getenv("CORVANTA_SOURCE_DIR")) + "/samples/pages/3-colour.ps");
    const std::string hp = "gutenprint.5.3://pcl-550/expert", canon = "gutenprint.5.3://bjc-PIXMA-iP4100/expert",
                      ps = "drv:///sample.drv/generic.ppd";
    std::string error;
    for (const auto& [queue, model, wrapped, options] : std::vector<std::tuple<std::string, std::string, bool, std::string>>{
             {"hp", hp, true, ""},
             {"hpdirect", hp, false, ""},
             {"canon", canon, true, ""},
             {"canondirect", canon, false, ""},
             {"ps", ps, true, ""},
             {"psdirect", ps, false, ""},
             {"hpoptions", hp, true, ""},
             {"hpdefaults", hp, true, "-o corvanta-black-save-default=10 -o corvanta-color-save-default=40"},
             {"hpoff", hp, true, "-o corvanta-default=off"}})
      if (error.empty()) error = addQueue(queue, model, wrapped, options);
    if (error.empty()) error = addQueue("hpmissing", hp, true, "", "corvanta:/nosuch://printer");
    const int port = printer_.start();
    if (port == 0) return "no loopback port for the socket printer";
    if (error.empty()) error = addQueue("hpsocket", hp, true, "", "corvanta:/socket://127.0.0.1:" + std::to_string(port));
    if (error.empty())
      error = printJobs({{"hp", page}, {"hpdirect", page}, {"canon", page}, {"canondirect", page}, {"ps", page},
                         {"psdirect", page}});
    // The direct HP output again, raw: straight to the backend with the
    // job's options and the queue's defaults.
    const std::string job = quote(out("hpdirect").string());
    if (error.empty())
      error = printJobs({{"hpoptions", "-o raw -o corvanta-black-save=50 -o corvanta-color-save=0 " + job},
                         {"hpdefaults", "-o raw " + job},
                         {"hpoff", "-o raw -n 2 " + job},
                         {"hpsocket", "-o raw " + job}});
    if (error.empty()) sh("lp -d hpmissing -o raw " + job);
    return error;
  }
};

fs::path PrivateCups::root_, PrivateCups::socket_;
pid_t PrivateCups::cupsd_ = -1;
std::string PrivateCups::startError_;
std::map<std::string, double> PrivateCups::seconds_;
LoopbackPrinter PrivateCups::printer_;
std::vector<fs::path> PrivateCups::scratch_;

TEST_F(PrivateCups, WrappedQueuesThinRealDriverJobsByTheDefaultQuarter) {
  for (const bool canon : {false, true}) {
    const std::string queue = canon ? "canon" : "hp";
    SCOPED_TRACE(queue);
    const auto read = canon ? jobread::readCanonJob : jobread::readHpJob;
    const jobread::Job direct = read(readFile(out(queue + "direct")));
    const jobread::Job thinned = read(readFile(out(queue)));
    expectSameJobWithFewerDots(direct, thinned);
    const Dots before = dotsOf(direct), after = dotsOf(thinned);
    const double share = kept(after.black + after.colour, before.black + before.colour);
    EXPECT_NEAR(share, 0.75, 0.03);
    std::printf("%s: %.1f %% of the dots kept; %.1f s through corvanta, %.1f s direct\n", queue.c_str(), 100 * share,
                seconds_[queue], seconds_[queue + "direct"]);
  }
  EXPECT_NE(errorLog().find("Corvanta: saved 2"), std::string::npos) << "no saving line in the error log";
}

// The real socket backend, run by corvanta with the real URI, delivers the
// thinned job to a network printer.
TEST_F(PrivateCups, RealBackendDeliversTheThinnedJob) {
  const jobread::Job direct = jobread::readHpJob(readFile(out("hpdirect")));
  const jobread::Job delivered = jobread::readHpJob(printer_.received());
  expectSameJobWithFewerDots(direct, delivered);
  const Dots before = dotsOf(direct), after = dotsOf(delivered);
  EXPECT_NEAR(kept(after.black + after.colour, before.black + before.colour), 0.75, 0.03);
}

TEST_F(PrivateCups, JobOptionsAndQueueDefaultsSetTheSaving) {
  const Dots before = dotsOf(jobread::readHpJob(readFile(out("hpdirect"))));
  ASSERT_GT(before.black, 0u);
  ASSERT_GT(before.colour, 0u);
  const Dots options = dotsOf(jobread::readHpJob(readFile(out("hpoptions"))));
  EXPECT_NEAR(kept(options.black, before.black), 0.50, 0.03);
  EXPECT_EQ(options.colour, before.colour);
  const Dots defaults = dotsOf(jobread::readHpJob(readFile(out("hpdefaults"))));
  EXPECT_NEAR(kept(defaults.black, before.black), 0.90, 0.03);
  EXPECT_NEAR(kept(defaults.colour, before.colour), 0.60, 0.03);
}

TEST_F(PrivateCups, OffAndPostScriptJobsPassByteForByte) {
  const std::string direct = readFile(out("hpdirect"));
  EXPECT_TRUE(readFile(out("hpoff")) == direct + direct) << "two copies of the job, unchanged";
  const std::string ps = readFile(out("psdirect"));
  EXPECT_EQ(ps.rfind("%!", 0), 0u);
  EXPECT_TRUE(readFile(out("ps")) == ps);
  EXPECT_NE(errorLog().find("the job is PostScript, not HP or Canon raster; it is sent unchanged"), std::string::npos);
}

TEST_F(PrivateCups, MissingWrappedBackendStopsTheQueue) {
  std::string state;
  for (auto until = Clock::now() + std::chrono::seconds(20); Clock::now() < until;) {
    state = sh("lpstat -p hpmissing");
    if (state.find("disabled") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_NE(state.find("disabled"), std::string::npos) << state;
  EXPECT_NE(errorLog().find("there is no CUPS backend for nosuch: devices"), std::string::npos);
  EXPECT_FALSE(fs::exists(out("hpmissing")));
}

// Runs a world-executable copy of the backend in `dir` on the direct HP job
// as CUPS runs such a backend: an unprivileged account whose home does not
// exist, CUPS's temporary folder, a cache folder it cannot write. The copy
// finds its plug-ins on the library path unless `plugin` puts one beside it.
std::string runUnprivileged(const fs::path& dir, int& status, const fs::path& plugin = {}) {
  fs::remove_all(dir);
  fs::create_directories(dir / "tmp");
  fs::create_directories(dir / "cache");
  fs::permissions(dir, fs::perms::all);
  fs::permissions(dir / "tmp", fs::perms::all | fs::perms::sticky_bit);
  const fs::path backend = dir / "corvanta";
  fs::copy_file(dir.parent_path() / "lib/corvanta", backend);
  fs::permissions(backend, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
  if (!plugin.empty()) fs::copy_file(plugin, dir / plugin.filename());
  return sh("setpriv --reuid=nobody --regid=nogroup --clear-groups env -i PATH=/usr/bin:/bin HOME=/nonexistent"
            " PRINTER=desk LD_LIBRARY_PATH=" + quote((dir.parent_path() / "lib").string()) +
            " TMPDIR=" + quote((dir / "tmp").string()) + " CUPS_CACHEDIR=" + quote((dir / "cache").string()) +
            " CUPS_SERVERROOT=" + quote((dir.parent_path() / "conf").string()) +
            " DEVICE_URI=" + quote("corvanta:/file://" + (dir / "out.prn").string()) + " " + quote(backend.string()) +
            " 7 someone title 1 '' <" + quote((dir.parent_path() / "out/hpdirect.prn").string()),
            &status);
}

TEST_F(PrivateCups, UnprivilegedAccountWithoutHomeThins) {
  const fs::path dir = root_ / "unprivileged";
  int status = -1;
  const std::string said = runUnprivileged(dir, status);
  EXPECT_EQ(status, 0) << said;
  EXPECT_NE(said.find("INFO: Corvanta: saved 2"), std::string::npos) << said;
  EXPECT_TRUE(fs::exists(dir / "tmp/corvanta/desk/kfile.red")) << said;
  // Without arguments (device discovery): one line that names no device.
  const std::string listed = sh(quote((dir / "corvanta").string()), &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(listed.rfind("network corvanta \"Unknown\" \"", 0), 0u) << listed;
  EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), 1);
  const jobread::Job direct = jobread::readHpJob(readFile(out("hpdirect")));
  const jobread::Job thinned = jobread::readHpJob(readFile(dir / "out.prn"));
  expectSameJobWithFewerDots(direct, thinned);
  const Dots before = dotsOf(direct), after = dotsOf(thinned);
  EXPECT_NEAR(kept(after.black + after.colour, before.black + before.colour), 0.75, 0.03);
}

// A plug-in that crashes on the job costs the thinning, not the job.
TEST_F(PrivateCups, CrashingPluginSendsTheOriginalJob) {
  const fs::path dir = root_ / "crashing";
  int status = -1;
  const std::string said =
      runUnprivileged(dir, status, fs::path(std::getenv("CORVANTA_BINARY_DIR")) / "crashing-plugin/libVaskHP.so");
  EXPECT_EQ(status, 0) << said;
  EXPECT_NE(said.find("ERROR: Corvanta: the hp plug-in ended on signal"), std::string::npos) << said;
  EXPECT_TRUE(readFile(dir / "out.prn") == readFile(out("hpdirect")));
}

}  // namespace

namespace {

TEST(BackendJob, UrisOptionsAndJobLanguages) {
  using namespace cupsbackend;
  EXPECT_EQ(wrappedUri("corvanta:/usb://HP/DeskJet%20970C?serial=1"), "usb://HP/DeskJet%20970C?serial=1");
  EXPECT_EQ(wrappedUri("corvanta://socket://10.0.0.2:9100"), "socket://10.0.0.2:9100");
  for (const char* bad : {"corvanta:", "corvanta:/", "corvanta:/../../bin/sh:x", "usb://HP", "corvanta:/a b:c"})
    EXPECT_EQ(wrappedUri(bad), "") << bad;

  const auto options = parseCupsOptions("job-name='a b=c' Corvanta-Black-Save=40 nocorvanta x=\"q\\\"\" =");
  EXPECT_EQ(options.at("job-name"), "a b=c");
  EXPECT_EQ(options.at("corvanta-black-save"), "40");
  EXPECT_EQ(options.at("corvanta"), "false");
  EXPECT_EQ(options.at("x"), "q\"");
  const JobSettings settings = jobSettings(options);
  EXPECT_TRUE(settings.off);
  EXPECT_EQ(settings.blackSave, 40);
  const JobSettings bad = jobSettings({{"corvanta-color-save", "101"}, {"corvanta-maker", "epson"}, {"corvanta", "maybe"}});
  EXPECT_EQ(bad.colorSave, 25);
  EXPECT_FALSE(bad.off);
  EXPECT_FALSE(bad.makerGiven);
  EXPECT_EQ(bad.warnings.size(), 3u);

  EXPECT_EQ(recogniseJob(std::string(600, '\0') + "\x1b" "E\x1b*r1A").language, Language::Hp);
  EXPECT_EQ(recogniseJob("\x1b%-12345X@PJL JOB\r\n@PJL ENTER LANGUAGE=PCL3GUI\r\n").language, Language::Hp);
  EXPECT_EQ(recogniseJob("\x1b%-12345X@PJL ENTER LANGUAGE = POSTSCRIPT\r\n%!PS").language, Language::Other);
  EXPECT_EQ(recogniseJob("\x1b[K\x02\x00\x00\x1f" "BJLSTART").language, Language::Canon);
  EXPECT_TRUE(recogniseJob("%PDF-1.7").definite);
  EXPECT_FALSE(recogniseJob("\x01\x02").definite);

  const CupsFilesConf conf = parseCupsFilesConf("# FileDevice Yes\nUser cupsuser\nfiledevice yes\n");
  EXPECT_TRUE(conf.fileDevice);
  EXPECT_EQ(conf.user, "cupsuser");
  EXPECT_EQ(conf.group, "lp");
}

}  // namespace
