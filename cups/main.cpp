// corvanta: a CUPS backend that thins HP PCL and Canon raster jobs on their
// way to the printer. The queue's device URI is "corvanta:/" followed by the
// real device URI; the thinned job (or, whenever it cannot be thinned, the
// original bytes) goes to the real backend, whose exit status is ours.
// Messages go to standard error in the form CUPS reads (INFO:, ERROR:, ...).
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "backend_job.h"
#include "data_folder.h"
#include "filter_job.h"
#include "stats.h"

namespace {

using namespace cupsbackend;

void report(const char* level, const char* format, ...) __attribute__((format(printf, 2, 3)));
void report(const char* level, const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  std::fprintf(stderr, "%s: Corvanta: %s\n", level, text);
}

std::string environment(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value && *value ? value : fallback;
}

// The real backend's process, for the SIGTERM that cancels a job.
volatile sig_atomic_t childPid = 0;

void onTerminate(int) {
  if (childPid > 0) kill(childPid, SIGTERM);
  _exit(kBackendFailed);
}

// An unnamed temporary file in CUPS's temporary folder; -1 on failure.
int temporaryFile() {
  std::string pattern = environment("TMPDIR", "/tmp") + "/corvanta.XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  if (fd >= 0) unlink(name.data());
  return fd;
}

bool copyAll(int from, int to) {
  std::vector<char> block(65536);
  for (;;) {
    const ssize_t n = read(from, block.data(), block.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = write(to, block.data() + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return false;
      done += w;
    }
  }
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Where the job goes: a file (file: URIs, when CUPS allows them) or the real
// backend program.
struct Device {
  std::string uri, scheme;
  std::string filePath;  // file: devices
  std::string program;   // other schemes
  bool asUser = false;   // drop root for it, as CUPS would
  CupsFilesConf conf;
};

std::string filePathOf(const std::string& uri) {
  std::string rest = uri.substr(std::strlen("file:"));
  if (rest.rfind("//", 0) == 0) rest = rest.substr(rest.find('/', 2) == std::string::npos ? rest.size() : rest.find('/', 2));
  return rest;
}

// Finds the device; an error is reported and kBackendStop returned when the
// queue cannot work at all.
int findDevice(const std::string& deviceUri, Device& device) {
  device.uri = wrappedUri(deviceUri);
  if (device.uri.empty()) {
    report("ERROR", "the device URI must be corvanta:/ followed by the printer's own device URI");
    return kBackendStop;
  }
  device.scheme = uriScheme(device.uri);
  device.conf = parseCupsFilesConf(readFile(environment("CUPS_SERVERROOT", "/etc/cups") + "/cups-files.conf"));
  if (device.scheme == kScheme) {
    report("ERROR", "the device URI wraps another corvanta URI");
    return kBackendStop;
  }
  if (device.scheme == "file") {
    if (!device.conf.fileDevice) {
      report("ERROR", "file: devices are not allowed here (FileDevice in cups-files.conf)");
      return kBackendStop;
    }
    device.filePath = filePathOf(device.uri);
    if (device.filePath.empty() || device.filePath[0] != '/') {
      report("ERROR", "the file: device URI names no absolute path");
      return kBackendStop;
    }
    device.asUser = true;
    return kBackendOk;
  }
  device.program = environment("CUPS_SERVERBIN", "/usr/lib/cups") + "/backend/" + device.scheme;
  struct stat info {};
  if (stat(device.program.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    report("ERROR", "there is no CUPS backend for %s: devices (%s)", device.scheme.c_str(), device.program.c_str());
    return kBackendStop;
  }
  if (access(device.program.c_str(), X_OK) != 0) {
    report("ERROR", "the backend %s cannot be run by this user (install corvanta mode 0700 so CUPS runs it as root)",
           device.program.c_str());
    return kBackendStop;
  }
  // CUPS runs a backend as root only when it is not world readable and executable.
  device.asUser = (info.st_mode & (S_IROTH | S_IXOTH)) == (S_IROTH | S_IXOTH);
  return kBackendOk;
}

// The account CUPS runs its unprivileged programs as, looked up before a
// fork (the child only switches to it). Nothing to switch when not root.
struct Account {
  bool drop = false;
  uid_t uid = 0;
  gid_t gid = 0;
};

bool findAccount(const CupsFilesConf& conf, Account& account) {
  account = Account{};
  if (geteuid() != 0) return true;
  const passwd* user = getpwnam(conf.user.c_str());
  if (!user) {
    report("ERROR", "there is no user %s (User in cups-files.conf)", conf.user.c_str());
    return false;
  }
  account.drop = true;
  account.uid = user->pw_uid;
  const group* grp = getgrnam(conf.group.c_str());
  account.gid = grp ? grp->gr_gid : user->pw_gid;
  return true;
}

bool dropRoot(const Account& account) {
  return !account.drop || (setgroups(1, &account.gid) == 0 && setgid(account.gid) == 0 && setuid(account.uid) == 0);
}

// Sends the job on `job` (read from its start, `copies` times) to the device
// and returns the device's status.
int sendJob(int job, int copies, const Device& device, char** argv) {
  Account account;
  if (device.asUser && !findAccount(device.conf, account)) return kBackendFailed;
  int pipeFds[2];
  if (pipe(pipeFds) != 0) {
    report("ERROR", "cannot create a pipe: %s", std::strerror(errno));
    return kBackendFailed;
  }
  std::fflush(stderr);
  const pid_t pid = fork();
  if (pid < 0) {
    report("ERROR", "cannot start the device's backend: %s", std::strerror(errno));
    return kBackendFailed;
  }
  if (pid == 0) {
    if (job != STDIN_FILENO) close(job);  // the job may be our own standard input
    dup2(pipeFds[0], STDIN_FILENO);
    close(pipeFds[0]);
    close(pipeFds[1]);
    if (!dropRoot(account)) {
      report("ERROR", "cannot switch to user %s for the device", device.conf.user.c_str());
      _exit(kBackendFailed);
    }
    if (!device.program.empty()) {
      setenv("DEVICE_URI", device.uri.c_str(), 1);
      std::vector<char*> args{const_cast<char*>(device.uri.c_str()), argv[1], argv[2], argv[3], argv[4], argv[5], nullptr};
      execv(device.program.c_str(), args.data());
      report("ERROR", "cannot run %s: %s", device.program.c_str(), std::strerror(errno));
      _exit(kBackendStop);
    }
    const int out = open(device.filePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) {
      report("ERROR", "cannot write %s: %s", device.filePath.c_str(), std::strerror(errno));
      _exit(kBackendFailed);
    }
    const bool ok = copyAll(STDIN_FILENO, out);
    _exit(ok && close(out) == 0 ? kBackendOk : kBackendFailed);
  }
  childPid = pid;
  close(pipeFds[0]);
  bool fed = true;
  for (int copy = 0; copy < copies && fed; ++copy) fed = lseek(job, 0, SEEK_SET) == 0 && copyAll(job, pipeFds[1]);
  close(pipeFds[1]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  childPid = 0;
  if (WIFEXITED(status)) {
    if (!fed && WEXITSTATUS(status) == kBackendOk) {
      report("ERROR", "the job could not be handed to the device's backend in full");
      return kBackendFailed;
    }
    return WEXITSTATUS(status);
  }
  report("ERROR", "the device's backend ended on signal %d", WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  return kBackendFailed;
}

// Points the reduction library at a threshold folder for this queue that this
// user can write: the one named by CORVANTA_THRESHOLD_DIR, else CUPS's cache,
// else CUPS's temporary folder, else the user's data folder.
bool chooseThresholdFolder(const std::string& printer, std::string& folder) {
  std::vector<std::string> candidates;
  if (const char* named = std::getenv(settings::kThresholdDirVariable); named && *named) {
    candidates.push_back(named);
  } else {
    for (const char* base : {"CUPS_CACHEDIR", "TMPDIR"})
      if (const char* value = std::getenv(base); value && *value) candidates.push_back(std::string(value) + "/corvanta");
    candidates.push_back("");
  }
  for (const std::string& candidate : candidates) {
    if (candidate.empty())
      unsetenv(settings::kThresholdDirVariable);
    else
      setenv(settings::kThresholdDirVariable, candidate.c_str(), 1);
    std::vector<char> path(kPrinterNameBufferSize * 2, '\0');
    if (settings::buildDataFolder(printer.c_str(), path.data(), path.size()) && access(path.data(), W_OK) == 0) {
      folder = path.data();
      return true;
    }
  }
  return false;
}

// Thins `original` into `thinned` with the maker's plug-in; false (with the
// reason reported) when the job has to go unchanged.
bool thinInto(int original, int thinned, filter::Maker maker, const JobSettings& settings, plugin::DotTotals& totals) {
  const std::string printer = environment("PRINTER", "corvanta");
  std::string folder, error;
  if (!chooseThresholdFolder(printer, folder)) {
    report("ERROR", "no folder for the threshold files of %s can be written; the job is sent unchanged",
           printer.c_str());
    return false;
  }
  report("DEBUG", "threshold files in %s", folder.c_str());
  const ParseFileFunction parseFile = filter::loadPlugin(maker, error);
  if (!parseFile) {
    report("ERROR", "%s; the job is sent unchanged", error.c_str());
    return false;
  }
  filter::JobSettings job;
  job.blackKeep = static_cast<int16_t>(100 - settings.blackSave);
  job.colorKeep = static_cast<int16_t>(100 - settings.colorSave);
  job.printerName = printer;
  filter::JobResult result = filter::runJob(parseFile, original, thinned, job);
  // The job is complete; the parse thread may still be returning from the
  // plug-in (which stays loaded), and this process's end stops it.
  if (result.parser.joinable()) result.parser.detach();
  totals = result.totals;
  if (!result.ok) {
    report("ERROR", "%s; the job is sent unchanged", result.error.c_str());
    return false;
  }
  if (result.totals.rows == 0) {
    report("INFO", "the %s plug-in found no raster rows in the job; it is sent unchanged", filter::makerName(maker));
    return false;
  }
  return true;
}

// Thins `original` into a new temporary file in a child process, as CUPS's
// unprivileged user when run as root: a plug-in that fails on a malformed
// job, even by crashing, costs only the thinning. -1 (with the reason
// reported) when the job has to go unchanged.
int thinJob(int original, filter::Maker maker, const JobSettings& settings, const CupsFilesConf& conf,
            plugin::DotTotals& totals) {
  Account account;
  if (!findAccount(conf, account)) return -1;
  const int thinned = temporaryFile();
  int pipeFds[2] = {-1, -1};
  if (thinned < 0 || lseek(original, 0, SEEK_SET) != 0 || pipe(pipeFds) != 0) {
    report("ERROR", "cannot create a temporary file in %s; the job is sent unchanged",
           environment("TMPDIR", "/tmp").c_str());
    if (thinned >= 0) close(thinned);
    return -1;
  }
  std::fflush(stderr);
  const pid_t pid = fork();
  if (pid == 0) {
    close(pipeFds[0]);
    if (!dropRoot(account)) {
      report("ERROR", "cannot switch to user %s for thinning; the job is sent unchanged", conf.user.c_str());
      _exit(kBackendFailed);
    }
    plugin::DotTotals found{};
    const bool ok = thinInto(original, thinned, maker, settings, found) &&
                    write(pipeFds[1], &found, sizeof found) == static_cast<ssize_t>(sizeof found);
    _exit(ok ? kBackendOk : kBackendFailed);
  }
  close(pipeFds[1]);
  size_t got = 0;
  while (pid > 0 && got < sizeof totals) {
    const ssize_t n = read(pipeFds[0], reinterpret_cast<char*>(&totals) + got, sizeof totals - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  close(pipeFds[0]);
  int status = 0;
  while (pid > 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (pid < 0) {
    report("ERROR", "cannot start the thinning: %s; the job is sent unchanged", std::strerror(errno));
  } else if (WIFSIGNALED(status)) {
    report("ERROR", "the %s plug-in ended on signal %d; the job is sent unchanged", filter::makerName(maker),
           WTERMSIG(status));
  } else if (WEXITSTATUS(status) == kBackendOk && got == sizeof totals) {
    return thinned;
  }
  close(thinned);
  return -1;
}

int run(int argc, char** argv) {
  Device device;
  const int found = findDevice(environment("DEVICE_URI", argv[0]), device);
  if (found != kBackendOk) return found;

  // The original bytes stay at hand in a file: they go out whenever the
  // thinned job cannot.
  int original = STDIN_FILENO, copies = 1;
  if (argc == 7) {
    original = open(argv[6], O_RDONLY | O_CLOEXEC);
    if (original < 0) {
      report("ERROR", "cannot read the job file %s: %s", argv[6], std::strerror(errno));
      return kBackendFailed;
    }
    copies = std::max(1, std::atoi(argv[4]));
  }
  struct stat info {};
  if (fstat(original, &info) != 0 || !S_ISREG(info.st_mode)) {
    const int spool = temporaryFile();
    if (spool < 0 || !copyAll(original, spool)) {
      report("ERROR", "cannot keep a copy of the job in %s: %s", environment("TMPDIR", "/tmp").c_str(),
             std::strerror(errno));
      return kBackendFailed;
    }
    original = spool;
  }
  std::string head(4096, '\0');
  const ssize_t got = pread(original, head.data(), head.size(), 0);
  head.resize(static_cast<size_t>(std::max<ssize_t>(got, 0)));

  const JobSettings settings = jobSettings(parseCupsOptions(argv[5]));
  for (const std::string& warning : settings.warnings) report("WARNING", "%s", warning.c_str());
  const Recognised recognised = recogniseJob(head);
  int job = original;
  if (settings.off) {
    report("INFO", "thinning is off for this job; it is sent unchanged");
  } else if (recognised.language == Language::Other && (recognised.definite || !settings.makerGiven)) {
    report("INFO", "the job is %s, not HP or Canon raster; it is sent unchanged", recognised.what.c_str());
  } else {
    const filter::Maker maker = settings.makerGiven              ? settings.maker
                                : recognised.language == Language::Canon ? filter::Maker::Canon
                                                                         : filter::Maker::Hp;
    report("DEBUG", "%s job, %d %% black and %d %% colour to save, to a %s: device", filter::makerName(maker),
           settings.blackSave, settings.colorSave, device.scheme.c_str());
    plugin::DotTotals totals{};
    const int thinned = thinJob(original, maker, settings, device.conf, totals);
    if (thinned >= 0) {
      job = thinned;
      std::fprintf(stderr, "INFO: %s\n", savingLine(totals).c_str());
      std::istringstream stats(filter::formatStats(totals, maker));
      for (std::string line; std::getline(stats, line);) report("DEBUG", "%s", line.c_str());
    }
  }
  return sendJob(job, copies, device, argv);
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGTERM, onTerminate);
  setvbuf(stderr, nullptr, _IONBF, 0);
  if (argc == 1) {
    // Device discovery: one line that says how to use this backend.
    std::puts("network corvanta \"Unknown\" \"Corvanta ink saver (corvanta:/ before a printer's device URI)\"");
    return kBackendOk;
  }
  if (argc < 6 || argc > 7) {
    std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argv[0]);
    return kBackendFailed;
  }
  return run(argc, argv);
}
