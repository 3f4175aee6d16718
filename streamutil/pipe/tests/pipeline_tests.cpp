// The pipe and the buffer together, as the monitor and a plug-in use them: a
// writer thread streams a job into the pipe, a reader thread copies it into
// the output buffer, whose write function plays the printer. Sleeps go through
// the virtual clock, so the printer's 500 ms retries and the writer's 300 ms
// waits cost nothing but still happen.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "bounded_thread.h"
#include "VaskUtil.h"
#include "test_seams.h"

namespace {

using Bytes = std::vector<uint8_t>;
using testing_seams::VirtualClock;

constexpr uint32_t kErrorOutOfPaper = 28;

Bytes randomJob(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes job(n);
  for (auto& b : job) b = static_cast<uint8_t>(rng());
  return job;
}

template <class Pred>
bool eventually(Pred pred, int seconds = 60) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  return true;
}

// The printer: now and then it takes only part of a block, and for a while it
// is out of paper (having taken some bytes before it ran out).
class Printer {
 public:
  explicit Printer(uint32_t seed) : rng_(seed) {}

  static int CORVANTA_WINAPI write(void* context, const uint8_t* bytes, uint32_t count, uint32_t* accepted) {
    return static_cast<Printer*>(context)->onWrite(bytes, count, accepted);
  }

  Bytes received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }
  size_t receivedSize() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_.size();
  }
  int calls() const { return calls_.load(); }
  int outOfPaperCalls() const { return outOfPaper_.load(); }
  int partialCalls() const { return partial_.load(); }

 private:
  int onWrite(const uint8_t* bytes, uint32_t count, uint32_t* accepted) {
    calls_++;
    std::lock_guard<std::mutex> lock(mutex_);
    uint32_t take = count;
    bool ok = true;
    if (paperOutFor_ > 0) {
      --paperOutFor_;
      take = 0;
      ok = false;
    } else {
      const uint32_t roll = rng_() % 16;
      if (roll == 0) {
        paperOutFor_ = 1 + rng_() % 4;  // out of paper for a while
        take = count / 3;
        ok = false;
      } else if (roll < 4) {
        take = count / 2;
        partial_++;
      }
    }
    received_.insert(received_.end(), bytes, bytes + take);
    *accepted = take;
    if (!ok) {
      outOfPaper_++;
      platform::setLastError(kErrorOutOfPaper);
    }
    return ok ? 1 : 0;
  }

  mutable std::mutex mutex_;
  std::mt19937 rng_;
  int paperOutFor_ = 0;
  Bytes received_;
  std::atomic<int> calls_{0};
  std::atomic<int> outOfPaper_{0};
  std::atomic<int> partial_{0};
};

// The parse thread: reads the pipe in every way a parser does and copies what
// it reads into the output buffer until the input ends, then says it is done.
struct Reader {
  void* pipe;
  void* output;
  uint32_t seed;
  std::atomic<bool> startReading{false};
  std::atomic<bool> threadDoneCalled{false};
  std::atomic<int> peekMismatches{0};
  std::atomic<int64_t> copied{0};

  void run() {
    while (!startReading.load()) std::this_thread::yield();
    std::mt19937 rng(seed);
    Bytes chunk(32767);
    bool ended = false;
    while (!ended) {
      switch (rng() % 3) {
        case 0: {  // byte by byte, the way the command parsers read
          const int n = 1 + static_cast<int>(rng() % 400);
          for (int i = 0; i < n && !ended; ++i) {
            if (rng() % 4 == 0) {
              const int peeked = InBuffer_peekc(pipe);
              const int got = InBuffer_getc(pipe);
              if (peeked != got) peekMismatches++;
              if (got < 0) ended = true;
              else OutBuffer_putc(got, output), copied++;
            } else {
              const int got = InBuffer_getc(pipe);
              if (got < 0) ended = true;
              else OutBuffer_putc(got, output), copied++;
            }
          }
          break;
        }
        default: {  // counted blocks, the way raster rows are read
          const int32_t n = 1 + static_cast<int32_t>(rng() % 32767);
          if (InBuffer_readbytes(pipe, chunk.data(), n) == n) {
            OutBuffer_writebytes(output, chunk.data(), n);
            copied += n;
          } else {
            // The input ended with fewer than n bytes left: take them one by one.
            for (int got; (got = InBuffer_getc(pipe)) >= 0;) OutBuffer_putc(got, output), copied++;
            ended = true;
          }
        }
      }
    }
    // Linger a little, so a terminate that did not wait would be caught.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    threadDoneCalled = true;
    InBuffer_threadDone(pipe);
  }
};

// Writes the job in spooler-sized buffers, now and then one larger than the
// pipe, retrying a write that found the pipe full as the monitor does.
int writeJob(void* pipe, const Bytes& job, uint32_t seed) {
  std::mt19937 rng(seed);
  int fullReturns = 0;
  size_t at = 0;
  while (at < job.size()) {
    size_t n = rng() % 20 == 0 ? 140000 : 1 + rng() % 20000;
    if (n > job.size() - at) n = job.size() - at;
    int32_t r;
    while ((r = InBuffer_writebytes(pipe, job.data() + at, static_cast<int32_t>(n))) == kInBufferFull) fullReturns++;
    EXPECT_EQ(r, 0);
    at += n;
  }
  return fullReturns;
}

TEST(Pipeline, MultiMegabyteJobArrivesByteExactWithBackPressureAndOrderlyEnd) {
  VirtualClock clock;
  const Bytes job = randomJob(3 * 1024 * 1024 + 12345, 2024);
  Printer printer(7);
  void* output = OutBuffer_initialize(&Printer::write, &printer);
  OutBuffer_setBufferSize(output, 16384);
  void* pipe = InBuffer_initialize();
  Reader reader{pipe, output, 99};
  testing_seams::BoundedThread readerThread([&] { reader.run(); });

  std::atomic<bool> writerDone{false};
  std::atomic<int> fullReturns{0};
  std::atomic<bool> terminateReturned{false};
  std::atomic<bool> doneBeforeTerminateReturned{false};
  testing_seams::BoundedThread writerThread([&] {
    fullReturns = writeJob(pipe, job, 5);
    writerDone = true;
    InBuffer_terminate(pipe);
    doneBeforeTerminateReturned = reader.threadDoneCalled.load();
    terminateReturned = true;
  });

  // The reader starts only once the writer has had to wait for room.
  ASSERT_TRUE(eventually([&] { return clock.sleepsOf(256) > 0; })) << "the writer never waited long for room";
  reader.startReading = true;
  writerThread.join();
  readerThread.join();

  EXPECT_TRUE(writerDone.load());
  EXPECT_TRUE(terminateReturned.load());
  EXPECT_TRUE(doneBeforeTerminateReturned.load()) << "terminate returned before threadDone";
  EXPECT_EQ(reader.peekMismatches.load(), 0);
  EXPECT_EQ(reader.copied.load(), static_cast<int64_t>(job.size()));

  OutBuffer_terminate(output, 0);
  const Bytes received = printer.received();
  ASSERT_EQ(received.size(), job.size());
  EXPECT_TRUE(received == job) << "the printer's bytes differ from the job";
  // The printer really misbehaved and was waited for.
  EXPECT_GT(printer.outOfPaperCalls(), 0);
  EXPECT_GT(printer.partialCalls(), 0);
  EXPECT_GT(clock.sleepsOf(500), 0u);
  EXPECT_GT(clock.sleepsOf(1), 0u);
  RecordProperty("writer_long_waits", static_cast<int>(clock.sleepsOf(300)));
  RecordProperty("writer_full_returns", fullReturns.load());
}

TEST(Pipeline, CancelDropsTheRestOfTheJob) {
  VirtualClock clock;
  const Bytes job = randomJob(2 * 1024 * 1024, 77);
  Printer printer(11);
  void* output = OutBuffer_initialize(&Printer::write, &printer);
  OutBuffer_setBufferSize(output, 8192);
  void* pipe = InBuffer_initialize();
  Reader reader{pipe, output, 3};
  reader.startReading = true;
  testing_seams::BoundedThread readerThread([&] { reader.run(); });
  testing_seams::BoundedThread writerThread([&] {
    writeJob(pipe, job, 9);
    InBuffer_terminate(pipe);
  });

  // The user deletes the job once part of it has been printed.
  ASSERT_TRUE(eventually([&] { return printer.receivedSize() >= 256 * 1024; }));
  OutBuffer_CancelPrint(output);
  const int callsAtCancel = printer.calls();
  writerThread.join();
  readerThread.join();
  OutBuffer_terminate(output, 1);

  // At most the call in flight when the cancel landed completed afterwards.
  EXPECT_LE(printer.calls(), callsAtCancel + 1);
  const Bytes received = printer.received();
  EXPECT_LT(received.size(), job.size());
  EXPECT_TRUE(std::equal(received.begin(), received.end(), job.begin())) << "what was printed is not the job's start";
  // The parse thread still read the whole job: nothing held it up.
  EXPECT_EQ(reader.copied.load(), static_cast<int64_t>(job.size()));
}

TEST(Pipeline, StopOnErrorAtTheEndOfADeletedJob) {
  VirtualClock clock;
  // A printer that is out of paper for good.
  struct Dead {
    static int CORVANTA_WINAPI write(void* context, const uint8_t*, uint32_t, uint32_t* accepted) {
      ++*static_cast<std::atomic<int>*>(context);
      *accepted = 0;
      platform::setLastError(kErrorOutOfPaper);
      return 0;
    }
  };
  std::atomic<int> calls{0};
  void* output = OutBuffer_initialize(&Dead::write, &calls);
  OutBuffer_setBufferSize(output, 4096);
  void* pipe = InBuffer_initialize();
  testing_seams::BoundedThread readerThread([&] {
    for (int c; (c = InBuffer_getc(pipe)) >= 0;) OutBuffer_putc(c, output);
    InBuffer_threadDone(pipe);
  });
  const Bytes job = randomJob(3000, 1);
  EXPECT_EQ(InBuffer_writebytes(pipe, job.data(), static_cast<int32_t>(job.size())), 0);
  InBuffer_terminate(pipe);
  readerThread.join();
  EXPECT_EQ(calls.load(), 0);
  OutBuffer_terminate(output, 1);
  EXPECT_EQ(calls.load(), 1);
  EXPECT_EQ(clock.sleepsOf(500), 0u);
}

}  // namespace
