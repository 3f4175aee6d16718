// corvanta-filter: thins the raster dots of an HP PCL or Canon raster job on
// Linux with the product's own plug-ins, pipes and reduction library.
// The job goes to OUT (or standard output); every message goes to standard
// error, errors as one "ERROR:" line and a non-zero exit status.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "data_folder.h"
#include "filter_job.h"
#include "filter_options.h"
#include "output_file.h"
#include "preview.h"
#include "stats.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int fail(const std::string& message) {
  std::fprintf(stderr, "ERROR: corvanta-filter: %s\n", message.c_str());
  return kExitFailure;
}

// The job's input: standard input or a readable file that is not a directory.
int openInput(const std::string& path, std::string& error) {
  if (path == "-") return STDIN_FILENO;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  const int why = fd < 0 ? errno : (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) ? EISDIR : 0);
  if (why) {
    if (fd >= 0) close(fd);
    error = "cannot read the input '" + path + "': " + std::strerror(why);
    return -1;
  }
  return fd;
}

int run(const filter::FilterOptions& options) {
  std::string error;
  const int input = openInput(options.input, error);
  if (input < 0) return fail(error);
  // The reduction library finds the folder through the environment.
  if (!options.thresholdDir.empty()) setenv(settings::kThresholdDirVariable, options.thresholdDir.c_str(), 1);
  if (!options.calibration) {
    // Without its data folder the reduction library would keep every dot.
    std::vector<char> folder(kPrinterNameBufferSize, '\0');
    struct stat info {};
    if (!settings::buildDataFolder(options.printerName.c_str(), folder.data(), folder.size()) ||
        stat(folder.data(), &info) != 0 || !S_ISDIR(info.st_mode) || access(folder.data(), W_OK) != 0)
      return fail("cannot create the threshold-file folder of printer '" + options.printerName +
                  "' (in --threshold-dir, else $CORVANTA_THRESHOLD_DIR, else $XDG_DATA_HOME/Corvanta, "
                  "else ~/.local/share/Corvanta)");
  }
  if (!options.previewDir.empty() && !filter::makeDirectories(options.previewDir, error)) return fail(error);
  const ParseFileFunction parseFile = filter::loadPlugin(options.maker, error);
  if (!parseFile) return fail(error);
  filter::OutputFile output;
  if (!output.open(options.output, error)) return fail(error);

  filter::JobSettings settings;
  settings.calibrationFlag = options.calibration ? 1 : 0;
  settings.blackKeep = static_cast<int16_t>(100 - options.blackSave);
  settings.colorKeep = static_cast<int16_t>(100 - options.colorSave);
  settings.printerName = options.printerName;
  settings.keepCopies = !options.previewDir.empty();
  filter::JobResult result = filter::runJob(parseFile, input, output.fd(), settings);
  // Whatever happens below, parseFile ends before the process does; readers
  // of standard output see its end first.
  struct ParseThreadEnd {
    std::thread& parser;
    ~ParseThreadEnd() {
      if (!parser.joinable()) return;
      close(STDOUT_FILENO);
      parser.join();
    }
  } parseThreadEnd{result.parser};
  if (input != STDIN_FILENO) close(input);
  if (!result.ok) {
    output.abandon();
    if (output.inPlace() && (result.outputBytes > 0 || result.outputFailed))
      result.error += "; the output is incomplete (" + std::to_string(result.outputBytes) + " bytes written)";
    else
      result.error += "; no output written";
    return fail(result.error);
  }
  if (!output.commit(error)) return fail(error);

  if (options.stats) std::fputs(filter::formatStats(result.totals, options.maker).c_str(), stderr);
  if (!options.previewDir.empty()) {
    int pages = 0;
    if (!filter::writePreviews(options.previewDir, options.maker, result.input, result.output, pages, error))
      return fail("the filtered job was written, but " + error);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);  // a closed output is reported as a write error
  const std::vector<std::string> args(argv + 1, argv + argc);
  filter::FilterOptions options;
  std::string error;
  switch (filter::parseOptions(args, options, error)) {
    case filter::ParseResult::Help:
      std::fputs(filter::usageText(), stdout);
      return 0;
    case filter::ParseResult::Error:
      std::fprintf(stderr, "ERROR: corvanta-filter: %s\nTry 'corvanta-filter --help'.\n", error.c_str());
      return kExitUsage;
    case filter::ParseResult::Run:
      break;
  }
  return run(options);
}
