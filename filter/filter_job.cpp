#include "filter_job.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "VaskUtil.h"
#include "platform.h"

namespace filter {
namespace {

struct PluginEntry {
  Maker maker;
  const char* fileName;
};
constexpr std::array<PluginEntry, 2> kPlugins{{{Maker::Hp, "libVaskHP.so"}, {Maker::Canon, "libVaskCA.so"}}};

// Output leaves in blocks of this size.
constexpr size_t kBlockSize = 32768;
// Error left by a failed delivery: not one the output buffer waits out.
constexpr uint32_t kWriteFault = 29;

struct OutputSink {
  int fd = -1;
  std::atomic<int> error{0};  // errno of the first failed write
  std::atomic<uint64_t> written{0};
  std::string* copy = nullptr;  // the written bytes, when kept
};

// The output buffer's write function. A failed write keeps its errno in the
// sink, where the feeding loop looks for it, and reports the write fault as the
// thread's last error, which the output buffer in libVaskUtil.so reads.
int CORVANTA_WINAPI deliver(void* context, const uint8_t* bytes, uint32_t count, uint32_t* accepted) {
  auto* sink = static_cast<OutputSink*>(context);
  *accepted = 0;
  if (sink->error) {
    platform::setLastError(kWriteFault);
    return 0;
  }
  while (*accepted < count) {
    const ssize_t n = write(sink->fd, bytes + *accepted, count - *accepted);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      sink->error = n < 0 ? errno : EIO;
      platform::setLastError(kWriteFault);
      return 0;
    }
    if (sink->copy) sink->copy->append(reinterpret_cast<const char*>(bytes + *accepted), static_cast<size_t>(n));
    *accepted += static_cast<uint32_t>(n);
    sink->written += static_cast<uint64_t>(n);
  }
  return 1;
}

// Decides when and how much of the job goes into the input pipe. Writes of
// at least kInBufferCapacity bytes are taken at once whatever the pipe holds,
// so the writer never waits out the pipe's 300 ms full-pipe sleeps; but the
// reader must not starve either (it would sleep 200 ms), and the pipe must
// not grow without bound. The pipe does not say how much it holds, so the
// plug-in's consumption is estimated from its output: input = output / ratio,
// the ratio measured whenever the reader is seen waiting (it has then taken
// everything). About kBacklog bytes are kept ahead of the estimate; a reader
// waiting for data always gets the next write; and never more than kMaxAhead
// bytes go in after the last time the reader was seen waiting.
class PipeFeeder {
 public:
  PipeFeeder(void* pipe, const std::atomic<uint64_t>& written) : pipe_(pipe), written_(written) {}

  // Bytes for the next write: larger while far ahead, so that each write's
  // copy of what the pipe holds stays a small multiple of the write.
  size_t nextWrite() const { return std::clamp<size_t>((sent_ - checkpointSent_) / 4, kInBufferCapacity, kMaxWrite); }

  // Waits until the next write should go in; false when stop() says so.
  template <class Stop>
  bool waitForRoom(size_t sent, Stop stop) {
    for (;;) {
      if (stop()) return false;
      if (InBuffer_NoData(pipe_)) {
        checkpoint(sent);
        return true;
      }
      if (sent - checkpointSent_ < kMaxAhead) {
        const double produced = static_cast<double>(written_.load() - checkpointWritten_);
        const double consumed = static_cast<double>(checkpointSent_) + produced / ratio_;
        if (static_cast<double>(sent) <= consumed + kBacklog) return true;
      }
      platform::sleepMs(1);
    }
  }

  void sent(size_t sent) { sent_ = sent; }

 private:
  void checkpoint(size_t sent) {
    const uint64_t written = written_.load();
    if (sent - checkpointSent_ >= kMinRatioSample && written > checkpointWritten_)
      ratio_ = std::clamp(
          static_cast<double>(written - checkpointWritten_) / static_cast<double>(sent - checkpointSent_), 0.01, 100.0);
    checkpointSent_ = sent;
    checkpointWritten_ = written;
  }

  static constexpr size_t kBacklog = 2 << 20;
  static constexpr size_t kMaxAhead = 32 << 20;
  static constexpr size_t kMaxWrite = 4 << 20;
  static constexpr size_t kMinRatioSample = 1 << 20;

  void* pipe_;
  const std::atomic<uint64_t>& written_;
  size_t sent_ = 0, checkpointSent_ = 0;
  uint64_t checkpointWritten_ = 0;
  double ratio_ = 1.0;  // output bytes per input byte
};

bool startParser(JobResult& result, ParseFileFunction parseFile, ParserContext* context) {
  try {
    result.parser = std::thread(parseFile, context);
    return true;
  } catch (const std::system_error&) {
    result.error = "cannot start the parse thread";
    return false;
  }
}

}  // namespace

const char* pluginFileName(Maker maker) {
  for (const PluginEntry& entry : kPlugins)
    if (entry.maker == maker) return entry.fileName;
  return "";
}

ParseFileFunction loadPlugin(Maker maker, std::string& error) {
  const std::string name = pluginFileName(maker);
  // Beside the program first, then the normal library search.
  void* library = platform::loadLibrary(name.c_str());
  if (!library) library = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* why = dlerror();
    error = "cannot load the " + std::string(makerName(maker)) + " plug-in " + name + ": " + (why ? why : "not found");
    return nullptr;
  }
  auto parseFile = reinterpret_cast<ParseFileFunction>(platform::findSymbol(library, "parseFile"));
  if (!parseFile) {
    error = "the plug-in " + name + " has no parseFile export";
    platform::freeLibrary(library);
  }
  return parseFile;
}

JobResult runJob(ParseFileFunction parseFile, int inputFd, int outputFd, const JobSettings& settings) {
  JobResult result;
  OutputSink sink;
  sink.fd = outputFd;
  sink.copy = settings.keepCopies ? &result.output : nullptr;

  // The context outlives the parse thread's use of it: the thread lets go of
  // it at InBuffer_threadDone, which InBuffer_terminate waits for. The dot
  // totals in it are final by then.
  ParserContext context{};
  std::vector<char> printerName(kPrinterNameBufferSize, '\0');
  settings.printerName.copy(printerName.data(), printerName.size() - 1);
  context.inputPipe = InBuffer_initialize();
  context.outputBuffer = context.inputPipe ? OutBuffer_initialize(deliver, &sink) : nullptr;
  if (!context.outputBuffer) {
    if (context.inputPipe) {
      InBuffer_threadDone(context.inputPipe);
      InBuffer_terminate(context.inputPipe);
    }
    result.error = "out of memory for the job's pipes";
    return result;
  }
  OutBuffer_setBufferSize(context.outputBuffer, kBlockSize);
  context.calibrationFlag = settings.calibrationFlag;
  context.blackKeepPercent = settings.blackKeep;
  context.colorKeepPercent = settings.colorKeep;
  context.printerName = printerName.data();

  const auto outputFailing = [&] { return sink.error != 0 || OutBuffer_GetLastError(context.outputBuffer) != 0; };
  PipeFeeder feeder(context.inputPipe, sink.written);
  std::vector<uint8_t> pending;
  size_t sent = 0;
  bool ended = false;
  int readError = 0;
  while (!ended && !readError && !outputFailing()) {
    const size_t chunk = feeder.nextWrite();
    while (pending.size() < 2 * chunk && !ended) {
      const size_t at = pending.size();
      pending.resize(at + chunk);
      const ssize_t n = read(inputFd, pending.data() + at, chunk);
      pending.resize(at + static_cast<size_t>(std::max<ssize_t>(n, 0)));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) readError = errno;
      if (n <= 0) ended = true;
    }
    if (readError) break;
    // One write's worth, or at the end all that is left (at least one write's
    // worth unless the whole job is shorter).
    const size_t part = ended ? pending.size() : chunk;
    if (part == 0) break;
    if (!feeder.waitForRoom(sent, outputFailing)) break;
    if (settings.keepCopies) result.input.append(reinterpret_cast<const char*>(pending.data()), part);
    while (InBuffer_writebytes(context.inputPipe, pending.data(), static_cast<int32_t>(part)) == kInBufferFull)
      if (outputFailing()) break;
    sent += part;
    feeder.sent(sent);
    pending.erase(pending.begin(), pending.begin() + static_cast<long>(part));
    // The plug-in starts on a pipe that holds data, so its first read does
    // not go to sleep.
    if (!result.parser.joinable() && !startParser(result, parseFile, &context)) break;
  }
  if (!result.parser.joinable() && (!result.error.empty() || !startParser(result, parseFile, &context))) {
    // Nobody reads the pipe: end it here.
    OutBuffer_terminate(context.outputBuffer, 1);
    InBuffer_threadDone(context.inputPipe);
    InBuffer_terminate(context.inputPipe);
    return result;
  }
  result.inputBytes = sent;
  const bool failed = readError != 0 || outputFailing();
  // On failure the rest of the job is dropped while the plug-in finishes.
  if (failed) OutBuffer_CancelPrint(context.outputBuffer);
  InBuffer_terminate(context.inputPipe);
  result.totals = *plugin::dotTotals(&context);
  OutBuffer_terminate(context.outputBuffer, 1);
  result.outputBytes = sink.written;

  if (readError) {
    result.error = std::string("cannot read the input: ") + std::strerror(readError);
  } else if (sink.error || failed) {
    result.outputFailed = true;
    result.error = std::string("cannot write the output: ") + std::strerror(sink.error != 0 ? sink.error.load() : EIO);
  } else {
    result.ok = true;
  }
  return result;
}

}  // namespace filter
