// The input pipe through the clock seam: waits are counted, not waited, so the
// 15-second full-pipe rule and the reader's polls are checked exactly.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <numeric>
#include <thread>
#include <vector>

#include "bounded_thread.h"
#include "VaskUtil.h"
#include "in_buffer_record.h"
#include "test_seams.h"

namespace {

// A test's own waits end within the writer's 15 s give-up; a minute of them
// is a wait that never ends.
constexpr uint64_t kWaitLimitMs = 60000;

using Bytes = std::vector<uint8_t>;
using testing_seams::VirtualClock;

Bytes sequence(size_t n, uint8_t first = 0) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(first + i * 7);
  return b;
}

int32_t write(void* pipe, const Bytes& b) { return InBuffer_writebytes(pipe, b.data(), static_cast<int32_t>(b.size())); }

// Spins (yielding) until pred holds; false after about ten seconds.
template <class Pred>
bool eventually(Pred pred) {
  for (int i = 0; i < 1000000; ++i) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::microseconds(10));
  }
  return pred();
}

// A pipe whose input has ended while it is still alive: terminate runs on its
// own thread and waits (in 1 ms polls) for threadDone.
class EndingPipe {
 public:
  explicit EndingPipe(VirtualClock& clock) : clock_(clock), pipe_(InBuffer_initialize()) {}
  ~EndingPipe() { finish(); }
  void* pipe() const { return pipe_; }
  void end() {
    const uint64_t before = clock_.sleepsOf(1);
    terminator_ = std::make_unique<testing_seams::BoundedThread>([this] {
      InBuffer_terminate(pipe_);
      returned_ = true;
    });
    EXPECT_TRUE(eventually([&] { return clock_.sleepsOf(1) > before; })) << "terminate is not polling";
  }
  bool terminateReturned() const { return returned_.load(); }
  void finish() {
    if (terminator_) {
      InBuffer_threadDone(pipe_);
      terminator_->join();
      terminator_.reset();
    }
  }

 private:
  VirtualClock& clock_;
  void* pipe_;
  std::unique_ptr<testing_seams::BoundedThread> terminator_;
  std::atomic<bool> returned_{false};
};

// Counts the sleeps the calling thread makes (terminate polls on its own thread).
class OwnSleeps {
 public:
  explicit OwnSleeps(VirtualClock& clock) : clock_(clock), self_(std::this_thread::get_id()) {
    clock_.onSleep([this](uint32_t, uint64_t) {
      if (std::this_thread::get_id() == self_) ++count_;
    });
  }
  ~OwnSleeps() { clock_.onSleep(nullptr); }
  int count() const { return count_.load(); }

 private:
  VirtualClock& clock_;
  std::thread::id self_;
  std::atomic<int> count_{0};
};

void finishPipe(void* pipe) {
  InBuffer_threadDone(pipe);
  InBuffer_terminate(pipe);
}

TEST(InBuffer, RecordLayoutAndSignature) {
  void* handle = InBuffer_initialize();
  ASSERT_NE(handle, nullptr);
  auto* record = vaskutil::inBufferRecord(handle);
  EXPECT_EQ(record->signature, 1776u);
  EXPECT_EQ(record->data, nullptr);
  EXPECT_EQ(record->end, 0);
  EXPECT_EQ(record->pos, 0);
  EXPECT_NE(record->lock, nullptr);
  const auto* base = reinterpret_cast<const char*>(record);
  EXPECT_EQ(reinterpret_cast<const char*>(&record->end) - base, static_cast<ptrdiff_t>(sizeof(void*)));
  EXPECT_EQ(reinterpret_cast<const char*>(&record->signature) - base, static_cast<ptrdiff_t>(sizeof(void*) + 8));
  EXPECT_EQ(reinterpret_cast<const char*>(&record->readerState) - base, static_cast<ptrdiff_t>(sizeof(void*) + 12));
  EXPECT_EQ(reinterpret_cast<const char*>(&record->writerState) - base, static_cast<ptrdiff_t>(sizeof(void*) + 16));
  finishPipe(handle);
}

TEST(InBuffer, BytesComeOutInOrderAcrossWrites) {
  VirtualClock clock(kWaitLimitMs);
  void* pipe = InBuffer_initialize();
  EXPECT_EQ(write(pipe, {1, 2, 3}), 0);
  EXPECT_EQ(write(pipe, {4, 5}), 0);
  EXPECT_EQ(InBuffer_getc(pipe), 1);
  Bytes three(3);
  EXPECT_EQ(InBuffer_readbytes(pipe, three.data(), 3), 3);
  EXPECT_EQ(three, (Bytes{2, 3, 4}));
  EXPECT_EQ(write(pipe, {6}), 0);
  EXPECT_EQ(InBuffer_getc(pipe), 5);
  EXPECT_EQ(InBuffer_getc(pipe), 6);
  EXPECT_EQ(clock.sleepCount(), 0u);
  finishPipe(pipe);
}

TEST(InBuffer, ConsumedBytesAreDiscardedAtTheNextWrite) {
  void* pipe = InBuffer_initialize();
  auto* record = vaskutil::inBufferRecord(pipe);
  EXPECT_EQ(write(pipe, sequence(100)), 0);
  Bytes sink(60);
  EXPECT_EQ(InBuffer_readbytes(pipe, sink.data(), 60), 60);
  EXPECT_EQ(write(pipe, sequence(10)), 0);
  // The block holds the 40 unread bytes and the new 10, from position 0.
  EXPECT_EQ(record->pos, 0);
  EXPECT_EQ(record->end, 50);
  EXPECT_EQ(InBuffer_readbytes(pipe, sink.data(), 50), 50);
  // Reading everything releases the block.
  EXPECT_EQ(record->data, nullptr);
  EXPECT_EQ(record->end, 0);
  finishPipe(pipe);
}

TEST(InBuffer, PutcWritesTheLowByteAndReturnsTheCharacter) {
  void* pipe = InBuffer_initialize();
  EXPECT_EQ(InBuffer_putc(0x1FF, pipe), 0x1FF);
  EXPECT_EQ(InBuffer_putc(0x41, pipe), 0x41);
  EXPECT_EQ(InBuffer_getc(pipe), 0xFF);
  EXPECT_EQ(InBuffer_getc(pipe), 0x41);
  finishPipe(pipe);
}

TEST(InBuffer, GetReturnsBytesAsUnsignedValues) {
  void* pipe = InBuffer_initialize();
  EXPECT_EQ(write(pipe, {0x80, 0xFF, 0x00}), 0);
  EXPECT_EQ(InBuffer_getc(pipe), 0x80);
  EXPECT_EQ(InBuffer_peekc(pipe), 0xFF);
  EXPECT_EQ(InBuffer_getc(pipe), 0xFF);
  EXPECT_EQ(InBuffer_getc(pipe), 0x00);
  finishPipe(pipe);
}

TEST(InBuffer, PeekReturnsTheByteTheNextGetReturns) {
  void* pipe = InBuffer_initialize();
  EXPECT_EQ(write(pipe, {9, 8}), 0);
  EXPECT_EQ(InBuffer_peekc(pipe), 9);
  EXPECT_EQ(InBuffer_peekc(pipe), 9);
  EXPECT_EQ(InBuffer_getc(pipe), 9);
  EXPECT_EQ(InBuffer_peekc(pipe), 8);
  EXPECT_EQ(InBuffer_getc(pipe), 8);
  finishPipe(pipe);
}

TEST(InBuffer, UngetcPushesNothingBack) {
  void* pipe = InBuffer_initialize();
  EXPECT_EQ(write(pipe, {1, 2, 3}), 0);
  EXPECT_EQ(InBuffer_getc(pipe), 1);
  EXPECT_EQ(InBuffer_ungetc(1, pipe), 0);
  EXPECT_EQ(InBuffer_ungetc('x', nullptr), 0);
  EXPECT_EQ(InBuffer_getc(pipe), 2);
  finishPipe(pipe);
}

TEST(InBuffer, GetOnAnEndedEmptyPipeReturnsAtOnce) {
  VirtualClock clock(kWaitLimitMs);
  EndingPipe ending(clock);
  ending.end();
  OwnSleeps own(clock);
  EXPECT_EQ(InBuffer_getc(ending.pipe()), -1);
  EXPECT_EQ(InBuffer_peekc(ending.pipe()), -1);
  uint8_t b[4];
  EXPECT_EQ(InBuffer_readbytes(ending.pipe(), b, 4), -1);
  EXPECT_EQ(own.count(), 0);
  // End seen is not waiting.
  EXPECT_EQ(InBuffer_NoData(ending.pipe()), 0);
  EXPECT_FALSE(ending.terminateReturned());
}

TEST(InBuffer, ShortTailAfterTheEndStaysReadableByteByByte) {
  VirtualClock clock(kWaitLimitMs);
  EndingPipe ending(clock);
  void* pipe = ending.pipe();
  EXPECT_EQ(write(pipe, {1, 2, 3, 4}), 0);
  ending.end();
  OwnSleeps own(clock);
  Bytes ten(10, 0xEE);
  EXPECT_EQ(InBuffer_readbytes(pipe, ten.data(), 10), -1);
  EXPECT_EQ(ten, Bytes(10, 0xEE));
  EXPECT_EQ(InBuffer_getc(pipe), 1);
  EXPECT_EQ(InBuffer_getc(pipe), 2);
  EXPECT_EQ(InBuffer_getc(pipe), 3);
  EXPECT_EQ(InBuffer_getc(pipe), 4);
  EXPECT_EQ(InBuffer_getc(pipe), -1);
  EXPECT_EQ(own.count(), 0);
}

TEST(InBuffer, ReadWaitsInGrowingPollsUntilEnoughIsBuffered) {
  VirtualClock clock(kWaitLimitMs);
  void* pipe = InBuffer_initialize();
  EXPECT_EQ(write(pipe, {1, 2, 3, 4}), 0);
  // The writer delivers during the reader's sleeps: 3 bytes after the 2nd,
  // 5 after the 10th. Each wake-up starts the steps again at 1 ms.
  std::vector<uint32_t> steps;
  std::vector<int> noDataDuringSleep;
  clock.onSleep([&](uint32_t ms, uint64_t) {
    steps.push_back(ms);
    noDataDuringSleep.push_back(InBuffer_NoData(pipe));
    if (steps.size() == 2) {
      EXPECT_EQ(write(pipe, {5, 6, 7}), 0);
    }
    if (steps.size() == 12) {
      EXPECT_EQ(write(pipe, {8, 9, 10, 11, 12}), 0);
    }
  });
  Bytes ten(10);
  EXPECT_EQ(InBuffer_readbytes(pipe, ten.data(), 10), 10);
  EXPECT_EQ(ten, (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(steps, (std::vector<uint32_t>{1, 2, 1, 2, 4, 8, 16, 32, 64, 128, 200, 200}));
  EXPECT_EQ(noDataDuringSleep, std::vector<int>(12, 1));
  EXPECT_EQ(InBuffer_NoData(pipe), 0);
  clock.onSleep(nullptr);
  EXPECT_EQ(InBuffer_getc(pipe), 11);
  finishPipe(pipe);
}

TEST(InBuffer, NoDataOnlyWhileTheReaderWaits) {
  void* pipe = InBuffer_initialize();
  EXPECT_EQ(InBuffer_NoData(pipe), 0);
  std::atomic<int> got{-2};
  testing_seams::BoundedThread reader([&] { got = InBuffer_getc(pipe); });
  ASSERT_TRUE(eventually([&] { return InBuffer_NoData(pipe) == 1; }));
  EXPECT_EQ(got.load(), -2);
  EXPECT_EQ(write(pipe, {42}), 0);
  // The write itself clears the waiting state.
  EXPECT_EQ(InBuffer_NoData(pipe), 0);
  reader.join();
  EXPECT_EQ(got.load(), 42);
  EXPECT_EQ(InBuffer_NoData(pipe), 0);
  finishPipe(pipe);
}

// The steps a writer facing a full pipe sleeps: from 1 ms doubling to 300 ms,
// the last one cut so that it gives up after exactly 15 s.
std::vector<uint32_t> fullPipeSteps() {
  std::vector<uint32_t> steps = {1, 2, 4, 8, 16, 32, 64, 128, 256};
  steps.insert(steps.end(), 48, 300);
  steps.push_back(89);
  return steps;
}

TEST(InBuffer, FullPipeWriterPollsFromOneMillisecondAndGivesUpAfter15Seconds) {
  VirtualClock clock(kWaitLimitMs);
  void* pipe = InBuffer_initialize();
  EXPECT_EQ(write(pipe, sequence(kInBufferCapacity)), 0);
  EXPECT_EQ(clock.sleepCount(), 0u);
  std::vector<uint32_t> steps;
  clock.onSleep([&](uint32_t ms, uint64_t) { steps.push_back(ms); });
  EXPECT_EQ(write(pipe, {0xAB}), kInBufferFull);
  EXPECT_EQ(steps, fullPipeSteps());
  EXPECT_EQ(clock.nowMs(), 15000u);
  clock.onSleep(nullptr);
  // Nothing of the refused write was stored.
  Bytes all(kInBufferCapacity);
  EXPECT_EQ(InBuffer_readbytes(pipe, all.data(), kInBufferCapacity), kInBufferCapacity);
  EXPECT_EQ(all, sequence(kInBufferCapacity));
  EXPECT_EQ(vaskutil::inBufferRecord(pipe)->end, 0);
  finishPipe(pipe);
}

TEST(InBuffer, FullPipeWriteSucceedsAtTheCheckAfterTheReaderMadeRoom) {
  VirtualClock clock(kWaitLimitMs);
  void* pipe = InBuffer_initialize();
  EXPECT_EQ(write(pipe, sequence(kInBufferCapacity - 2)), 0);
  clock.onSleep([&](uint32_t, uint64_t) {
    if (clock.sleepCount() == 3) {
      EXPECT_EQ(InBuffer_getc(pipe), 0);
      EXPECT_EQ(InBuffer_getc(pipe), 7);
    }
  });
  EXPECT_EQ(write(pipe, {1, 2, 3, 4}), 0);
  EXPECT_EQ(clock.sleepCount(), 3u);
  EXPECT_EQ(clock.nowMs(), 7u);
  clock.onSleep(nullptr);
  // One byte short of room is still full.
  EXPECT_EQ(write(pipe, {5}), kInBufferFull);
  EXPECT_EQ(clock.nowMs(), 15007u);
  finishPipe(pipe);
}

TEST(InBuffer, ExactlyFullIsRoom) {
  VirtualClock clock(kWaitLimitMs);
  void* pipe = InBuffer_initialize();
  EXPECT_EQ(write(pipe, sequence(kInBufferCapacity - 5)), 0);
  EXPECT_EQ(write(pipe, sequence(5)), 0);
  EXPECT_EQ(clock.sleepCount(), 0u);
  finishPipe(pipe);
}

TEST(InBuffer, LargeWritesAreAcceptedWhateverTheFill) {
  VirtualClock clock(kWaitLimitMs);
  void* pipe = InBuffer_initialize();
  const Bytes a = sequence(10, 1);
  const Bytes b = sequence(kInBufferCapacity, 2);
  const Bytes c = sequence(200000, 3);
  EXPECT_EQ(write(pipe, a), 0);
  EXPECT_EQ(write(pipe, b), 0);
  EXPECT_EQ(write(pipe, c), 0);
  EXPECT_EQ(clock.sleepCount(), 0u);
  Bytes all(a.size() + b.size() + c.size());
  EXPECT_EQ(InBuffer_readbytes(pipe, all.data(), static_cast<int32_t>(all.size())), static_cast<int32_t>(all.size()));
  Bytes expected(a);
  expected.insert(expected.end(), b.begin(), b.end());
  expected.insert(expected.end(), c.begin(), c.end());
  EXPECT_EQ(all, expected);
  finishPipe(pipe);
}

TEST(InBuffer, EmptyAndNegativeWritesStoreNothing) {
  void* pipe = InBuffer_initialize();
  const uint8_t b = 7;
  EXPECT_EQ(InBuffer_writebytes(pipe, &b, 0), 0);
  EXPECT_EQ(InBuffer_writebytes(pipe, &b, -5), 0);
  EXPECT_EQ(InBuffer_writebytes(pipe, nullptr, 3), 0);
  EXPECT_EQ(vaskutil::inBufferRecord(pipe)->end, 0);
  uint8_t none = 0;
  EXPECT_EQ(InBuffer_readbytes(pipe, &none, 0), 0);
  finishPipe(pipe);
}

TEST(InBuffer, TerminateReturnsOnlyAfterThreadDoneEvenWithUnreadBytes) {
  VirtualClock clock(kWaitLimitMs);
  void* pipe = InBuffer_initialize();
  EXPECT_EQ(write(pipe, sequence(1000)), 0);
  std::atomic<bool> returned{false};
  testing_seams::BoundedThread terminator([&] {
    InBuffer_terminate(pipe);
    returned = true;
  });
  ASSERT_TRUE(eventually([&] { return clock.sleepsOf(1) >= 200; }));
  EXPECT_FALSE(returned.load());
  EXPECT_EQ(InBuffer_getc(pipe), 0);  // the pipe is still alive
  InBuffer_threadDone(pipe);
  terminator.join();
  EXPECT_TRUE(returned.load());
  // Only 1 ms polls: terminate never waits in longer steps.
  EXPECT_EQ(clock.sleepCount(), clock.sleepsOf(1));
  // The 999 unread bytes were released with the pipe (the leak checker agrees).
}

TEST(InBuffer, ReaderWaitingWhenTheInputEndsGetsMinusOne) {
  VirtualClock clock(kWaitLimitMs);
  void* pipe = InBuffer_initialize();
  EXPECT_EQ(write(pipe, {1, 2}), 0);
  std::atomic<int32_t> result{0};
  testing_seams::BoundedThread reader([&] {
    uint8_t b[5];
    result = InBuffer_readbytes(pipe, b, 5);
    InBuffer_threadDone(pipe);
  });
  ASSERT_TRUE(eventually([&] { return InBuffer_NoData(pipe) == 1; }));
  InBuffer_terminate(pipe);
  reader.join();
  EXPECT_EQ(result.load(), -1);
}

TEST(InBuffer, InvalidHandlesAreRefused) {
  EXPECT_EQ(InBuffer_writebytes(nullptr, reinterpret_cast<const uint8_t*>("ab"), 2), 0);
  EXPECT_EQ(InBuffer_putc('a', nullptr), 'a');
  EXPECT_EQ(InBuffer_getc(nullptr), -1);
  EXPECT_EQ(InBuffer_peekc(nullptr), -1);
  uint8_t b[2];
  EXPECT_EQ(InBuffer_readbytes(nullptr, b, 2), -1);
  EXPECT_EQ(InBuffer_NoData(nullptr), 1);
  InBuffer_threadDone(nullptr);
  InBuffer_terminate(nullptr);

  // A record that looks like a pipe but was never issued by InBuffer_initialize.
  vaskutil::InBuffer fake{};
  fake.signature = kInBufferSignature;
  EXPECT_EQ(InBuffer_writebytes(&fake, b, 2), 0);
  EXPECT_EQ(InBuffer_getc(&fake), -1);
  EXPECT_EQ(InBuffer_peekc(&fake), -1);
  EXPECT_EQ(InBuffer_readbytes(&fake, b, 2), -1);
  EXPECT_EQ(InBuffer_NoData(&fake), 1);
  InBuffer_threadDone(&fake);
  InBuffer_terminate(&fake);
  EXPECT_EQ(fake.readerState.load(), 0);
  EXPECT_EQ(fake.writerState.load(), 0);
}

TEST(InBuffer, TerminatedHandlesAreRefused) {
  void* pipe = InBuffer_initialize();
  EXPECT_EQ(write(pipe, {1, 2, 3}), 0);
  finishPipe(pipe);
  // The record is gone; every entry point refuses the stale handle without
  // touching it (AddressSanitizer would report a use after free).
  uint8_t b[2];
  EXPECT_EQ(InBuffer_getc(pipe), -1);
  EXPECT_EQ(InBuffer_peekc(pipe), -1);
  EXPECT_EQ(InBuffer_readbytes(pipe, b, 2), -1);
  EXPECT_EQ(InBuffer_writebytes(pipe, b, 2), 0);
  EXPECT_EQ(InBuffer_NoData(pipe), 1);
  InBuffer_threadDone(pipe);
  InBuffer_terminate(pipe);
  // A new pipe may take the old one's memory and slot; the old handle stays refused.
  void* next = InBuffer_initialize();
  EXPECT_NE(next, pipe);
  EXPECT_EQ(write(next, {9}), 0);
  EXPECT_EQ(InBuffer_getc(pipe), -1);
  EXPECT_EQ(InBuffer_getc(next), 9);
  finishPipe(next);
}

TEST(InBuffer, ManyPipesAtOnce) {
  std::vector<void*> pipes;
  for (int i = 0; i < 150; ++i) {
    pipes.push_back(InBuffer_initialize());
    ASSERT_NE(pipes.back(), nullptr);
    EXPECT_EQ(InBuffer_putc(i, pipes.back()), i);
  }
  for (int i = 149; i >= 0; i -= 2) EXPECT_EQ(InBuffer_getc(pipes[static_cast<size_t>(i)]), i);
  for (int i = 0; i < 150; i += 2) finishPipe(pipes[static_cast<size_t>(i)]);
  for (int i = 1; i < 150; i += 2) {
    EXPECT_EQ(InBuffer_NoData(pipes[static_cast<size_t>(i)]), 0);
    finishPipe(pipes[static_cast<size_t>(i)]);
  }
}

TEST(InBuffer, AThousandAndTwentyFourPipesCanBeOpenAtOnce) {
  std::vector<void*> pipes;
  for (int i = 0; i < 1024; ++i) {
    pipes.push_back(InBuffer_initialize());
    ASSERT_NE(pipes.back(), nullptr) << i;
  }
  // One more is refused cleanly, and nothing of it is left behind.
  EXPECT_EQ(InBuffer_initialize(), nullptr);
  finishPipe(pipes[500]);
  pipes[500] = InBuffer_initialize();
  EXPECT_NE(pipes[500], nullptr);
  for (void* pipe : pipes) EXPECT_EQ(InBuffer_NoData(pipe), 0);
  for (void* pipe : pipes) finishPipe(pipe);
}

TEST(InBuffer, InitializeReturnsNullWhenTheRecordCannotBeAllocated) {
  testing_seams::FailingAllocator failing(0);
  EXPECT_EQ(InBuffer_initialize(), nullptr);
  EXPECT_EQ(failing.failures(), 1);
}

TEST(InBuffer, WriteWithoutMemoryWaitsLikeAFullPipe) {
  VirtualClock clock(kWaitLimitMs);
  void* pipe = InBuffer_initialize();
  ASSERT_NE(pipe, nullptr);
  EXPECT_EQ(write(pipe, {1, 2, 3}), 0);
  EXPECT_EQ(InBuffer_getc(pipe), 1);
  {
    // Memory comes back after the third attempt: the write waits and stores.
    testing_seams::FailingAllocator failing(0);
    clock.onSleep([&](uint32_t, uint64_t) {
      if (clock.sleepCount() == 2) platform::setAllocHook(nullptr);
    });
    EXPECT_EQ(write(pipe, {4, 5, 6}), 0);
    EXPECT_EQ(failing.failures(), 2);
    EXPECT_EQ(clock.nowMs(), 3u);
    clock.onSleep(nullptr);
  }
  {
    // Memory never comes back: nothing stored after 15 s, the caller retries.
    testing_seams::FailingAllocator failing(0);
    std::vector<uint32_t> steps;
    clock.onSleep([&](uint32_t ms, uint64_t) { steps.push_back(ms); });
    EXPECT_EQ(write(pipe, {7}), kInBufferFull);
    EXPECT_EQ(steps, fullPipeSteps());
    clock.onSleep(nullptr);
  }
  // The unread bytes survived.
  Bytes rest(5);
  EXPECT_EQ(InBuffer_readbytes(pipe, rest.data(), 5), 5);
  EXPECT_EQ(rest, (Bytes{2, 3, 4, 5, 6}));
  finishPipe(pipe);
}

}  // namespace
