// The output buffer through the clock seam: block sizing, topping up, the
// oversized-write path, 1 ms re-calls, 500 ms retries of transient printer
// errors, stopOnError, cancel, and the writes it refuses.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bounded_thread.h"
#include "VaskUtil.h"
#include "out_buffer_record.h"
#include "test_seams.h"
#include "write_sink.h"

namespace {

// A test's own waits end within seconds; a minute of them is a wait that
// never ends.
constexpr uint64_t kWaitLimitMs = 60000;

using Bytes = std::vector<uint8_t>;
using streamutil_test::acceptPart;
using streamutil_test::fail;
using streamutil_test::SinkStep;
using streamutil_test::WriteSink;
using testing_seams::DebugCapture;
using testing_seams::VirtualClock;
namespace err = streamutil_test;

Bytes sequence(size_t n, uint32_t seed = 1) {
  Bytes b(n);
  uint32_t x = seed;
  for (auto& v : b) {
    x = x * 1103515245u + 12345u;
    v = static_cast<uint8_t>(x >> 16);
  }
  return b;
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

int32_t write(void* buffer, const Bytes& b) {
  return OutBuffer_writebytes(buffer, b.data(), static_cast<int32_t>(b.size()));
}

struct Buffer {
  WriteSink sink;
  void* handle = OutBuffer_initialize(&WriteSink::write, &sink);
  explicit Buffer(uint32_t size = 4096) {
    if (size) OutBuffer_setBufferSize(handle, size);
  }
  ~Buffer() {
    if (handle) OutBuffer_terminate(handle, 1);
  }
  void terminate(int stopOnError = 0) {
    OutBuffer_terminate(handle, stopOnError);
    handle = nullptr;
  }
  vaskutil::OutBuffer* record() const { return vaskutil::outBufferRecord(handle); }
};

TEST(OutBuffer, CreationValues) {
  WriteSink sink;
  void* handle = OutBuffer_initialize(&WriteSink::write, &sink);
  ASSERT_NE(handle, nullptr);
  auto* r = vaskutil::outBufferRecord(handle);
  EXPECT_EQ(r->signature, 1492u);
  EXPECT_EQ(r->fill, 0u);
  EXPECT_EQ(r->block, nullptr);
  EXPECT_EQ(r->delivered, 0u);
  EXPECT_EQ(r->saveState.load(), 1u);
  EXPECT_EQ(r->context, &sink);
  EXPECT_EQ(OutBuffer_GetLastError(handle), 0u);
  EXPECT_EQ(OutBuffer_GetBufferSize(handle), 0);
  EXPECT_EQ(OutBuffer_GetWriteFunctionPtr(handle), &WriteSink::write);
  OutBuffer_terminate(handle, 0);
  EXPECT_EQ(sink.calls(), 0u);
}

TEST(OutBuffer, BlockSizeIsAtLeast4096AndSetOnce) {
  Buffer b(0);
  OutBuffer_setBufferSize(b.handle, 100);
  EXPECT_EQ(OutBuffer_GetBufferSize(b.handle), 4096);
  OutBuffer_setBufferSize(b.handle, 8192);
  EXPECT_EQ(OutBuffer_GetBufferSize(b.handle), 4096);
  Buffer big(0);
  OutBuffer_setBufferSize(big.handle, 5000);
  EXPECT_EQ(OutBuffer_GetBufferSize(big.handle), 5000);
  // The size is reported as an unsigned 16-bit value.
  Buffer huge(0);
  OutBuffer_setBufferSize(huge.handle, 65536 + 4096);
  EXPECT_EQ(OutBuffer_GetBufferSize(huge.handle), 4096);
  EXPECT_EQ(huge.record()->blockSize, 65536u + 4096u);
}

TEST(OutBuffer, AFullBlockWaitsUntilTheNextWrite) {
  VirtualClock clock(kWaitLimitMs);
  Buffer b;
  const Bytes block = sequence(4096);
  EXPECT_EQ(write(b.handle, block), 0);
  EXPECT_EQ(b.sink.calls(), 0u);
  EXPECT_EQ(write(b.handle, {0x77}), 0);
  EXPECT_EQ(b.sink.offered(), (std::vector<uint32_t>{4096}));
  EXPECT_EQ(b.sink.received(), block);
  EXPECT_EQ(b.record()->fill, 1u);
  EXPECT_EQ(b.record()->delivered, 4096u);
  b.terminate();
  EXPECT_EQ(b.sink.offered(), (std::vector<uint32_t>{4096, 1}));
  EXPECT_EQ(b.sink.received(), concat({block, {0x77}}));
  EXPECT_EQ(clock.sleepCount(), 0u);
}

TEST(OutBuffer, OversizedWriteGoesOutInWholeBlocks) {
  DebugCapture debug;
  Buffer b;
  const Bytes data = sequence(10000);
  EXPECT_EQ(write(b.handle, data), 0);
  EXPECT_EQ(b.sink.offered(), (std::vector<uint32_t>{4096, 4096}));
  EXPECT_EQ(debug.texts(), (std::vector<std::string>{"Wow too much data\n"}));
  EXPECT_EQ(b.record()->fill, 1808u);
  b.terminate();
  EXPECT_EQ(b.sink.offered(), (std::vector<uint32_t>{4096, 4096, 1808}));
  EXPECT_EQ(b.sink.received(), data);
}

TEST(OutBuffer, TopUpCompletesAPartlyFilledBlock) {
  DebugCapture debug;
  Buffer b;
  const Bytes first = sequence(1000, 2);
  const Bytes second = sequence(12000, 3);
  EXPECT_EQ(write(b.handle, first), 0);
  EXPECT_EQ(write(b.handle, second), 0);
  // 3096 top the block up; 8904 left: two whole blocks, 712 kept.
  EXPECT_EQ(b.sink.offered(), (std::vector<uint32_t>{4096, 4096, 4096}));
  EXPECT_EQ(debug.texts().size(), 2u);
  EXPECT_EQ(b.record()->fill, 712u);
  b.terminate();
  EXPECT_EQ(b.sink.received(), concat({first, second}));
}

TEST(OutBuffer, LargestWriteIs32767Bytes) {
  Buffer b;
  const Bytes data = sequence(32767);
  EXPECT_EQ(write(b.handle, data), 0);
  EXPECT_EQ(b.sink.calls(), 7u);
  EXPECT_EQ(b.record()->fill, 4095u);
  b.terminate();
  EXPECT_EQ(b.sink.received(), data);
}

TEST(OutBuffer, PutcAppendsInPlaceAndReturnsTheCharacter) {
  Buffer b;
  EXPECT_EQ(OutBuffer_putc(0x141, b.handle), 0x141);
  EXPECT_EQ(OutBuffer_putc('B', b.handle), 'B');
  EXPECT_EQ(b.sink.calls(), 0u);
  b.terminate();
  EXPECT_EQ(b.sink.received(), (Bytes{0x41, 'B'}));
}

TEST(OutBuffer, PartialAcceptanceIsRecalledEveryMillisecond) {
  VirtualClock clock(kWaitLimitMs);
  Buffer b;
  b.sink.script({}, acceptPart(2));  // half of what is offered, rounded up
  const Bytes data = sequence(4097);
  EXPECT_EQ(write(b.handle, data), 0);
  // 4096, 2048, 1024, ..., 1: thirteen calls, one 1 ms sleep before each re-call.
  const std::vector<uint32_t> offered = b.sink.offered();
  ASSERT_EQ(offered.size(), 13u);
  for (size_t i = 0; i < offered.size(); ++i) EXPECT_EQ(offered[i], 4096u >> i);
  EXPECT_EQ(clock.sleepsOf(1), 12u);
  EXPECT_EQ(clock.sleepCount(), 12u);
  EXPECT_EQ(OutBuffer_GetLastError(b.handle), 0u);
  b.terminate();
  EXPECT_EQ(b.sink.received(), data);
}

TEST(OutBuffer, OutOfPaperIsRetriedEvery500MsWithoutLossOrDuplication) {
  VirtualClock clock(kWaitLimitMs);
  Buffer b;
  // Out of paper for three tries (the first one accepted 1000 bytes before
  // failing), then the paper is back.
  b.sink.script({fail(err::kErrorOutOfPaper, 1000), fail(err::kErrorOutOfPaper), fail(err::kErrorOutOfPaper)});
  std::vector<uint32_t> errorsSeen;
  clock.onSleep([&](uint32_t ms, uint64_t) {
    EXPECT_EQ(ms, 500u);
    errorsSeen.push_back(OutBuffer_GetLastError(b.handle));
  });
  const Bytes data = sequence(4096 + 10);
  EXPECT_EQ(write(b.handle, data), 0);
  EXPECT_EQ(errorsSeen, (std::vector<uint32_t>{28, 28, 28}));
  EXPECT_EQ(clock.nowMs(), 1500u);
  EXPECT_EQ(OutBuffer_GetLastError(b.handle), 0u);
  EXPECT_EQ(b.sink.offered(), (std::vector<uint32_t>{4096, 3096, 3096, 3096}));
  clock.onSleep(nullptr);
  b.terminate();
  EXPECT_EQ(b.sink.received(), data);
}

TEST(OutBuffer, EveryTransientErrorIsRetried) {
  for (uint32_t error : {err::kErrorCounterTimeout, err::kErrorOutOfPaper, err::kErrorNotReady, err::kErrorInvalidHandle}) {
    VirtualClock clock(kWaitLimitMs);
    Buffer b;
    b.sink.script({fail(error), fail(error)});
    EXPECT_EQ(write(b.handle, sequence(4097)), 0) << error;
    EXPECT_EQ(clock.sleepsOf(500), 2u) << error;
    EXPECT_EQ(b.sink.calls(), 3u) << error;
  }
}

TEST(OutBuffer, OtherErrorsEndTheDeliveryAndKeepTheBytesWaiting) {
  VirtualClock clock(kWaitLimitMs);
  Buffer b;
  b.sink.script({fail(err::kErrorAccessDenied, 96)});
  const Bytes block = sequence(4096, 5);
  EXPECT_EQ(write(b.handle, block), 0);
  EXPECT_EQ(write(b.handle, {1, 2, 3}), static_cast<int32_t>(err::kErrorAccessDenied));
  EXPECT_EQ(clock.sleepCount(), 0u);
  EXPECT_EQ(b.sink.calls(), 1u);
  EXPECT_EQ(OutBuffer_GetLastError(b.handle), err::kErrorAccessDenied);
  // The unaccepted 4000 bytes wait at the front of the block; the rest of
  // that write was not taken.
  EXPECT_EQ(b.record()->fill, 4000u);
  EXPECT_EQ(b.record()->delivered, 96u);
  // A small write now is stored and reports the standing error.
  EXPECT_EQ(write(b.handle, {9}), static_cast<int32_t>(err::kErrorAccessDenied));
  uint32_t error = 1234;
  EXPECT_EQ(OutBufferFlush(b.handle, 0, &error), 1);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(OutBuffer_GetLastError(b.handle), 0u);
  EXPECT_EQ(b.sink.received(), concat({block, {9}}));
}

TEST(OutBuffer, StopOnErrorGivesUpAtTheFirstFailure) {
  VirtualClock clock(kWaitLimitMs);
  Buffer b;
  b.sink.script({}, fail(err::kErrorOutOfPaper));
  EXPECT_EQ(write(b.handle, sequence(100)), 0);
  uint32_t error = 0;
  EXPECT_EQ(OutBufferFlush(b.handle, 1, &error), 0);
  EXPECT_EQ(error, err::kErrorOutOfPaper);
  EXPECT_EQ(b.sink.calls(), 1u);
  EXPECT_EQ(clock.sleepCount(), 0u);
  b.terminate(1);
  EXPECT_EQ(b.sink.calls(), 2u);
  EXPECT_EQ(clock.sleepCount(), 0u);
}

TEST(OutBuffer, TerminateDeliversWhatIsWaitingWithRetries) {
  VirtualClock clock(kWaitLimitMs);
  Buffer b;
  b.sink.script({fail(err::kErrorNotReady), fail(err::kErrorNotReady)});
  const Bytes data = sequence(300);
  EXPECT_EQ(write(b.handle, data), 0);
  b.terminate(0);
  EXPECT_EQ(clock.sleepsOf(500), 2u);
  EXPECT_EQ(b.sink.received(), data);
}

TEST(OutBuffer, FlushWithNothingWaitingCallsNothing) {
  Buffer b;
  uint32_t error = 99;
  EXPECT_EQ(OutBufferFlush(b.handle, 0, &error), 1);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(b.sink.calls(), 0u);
  b.terminate();
  EXPECT_EQ(b.sink.calls(), 0u);
}

TEST(OutBuffer, FlushDeliversNow) {
  Buffer b;
  const Bytes data = sequence(10);
  EXPECT_EQ(write(b.handle, data), 0);
  uint32_t error = 99;
  EXPECT_EQ(OutBufferFlush(b.handle, 0, &error), 1);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(b.sink.received(), data);
  EXPECT_EQ(b.record()->fill, 0u);
}

TEST(OutBuffer, AfterCancelTheWriteFunctionIsNeverCalledAgain) {
  VirtualClock clock(kWaitLimitMs);
  Buffer b;
  const Bytes first = sequence(4097);
  EXPECT_EQ(write(b.handle, first), 0);
  EXPECT_EQ(b.sink.calls(), 1u);
  OutBuffer_CancelPrint(b.handle);
  EXPECT_EQ(OutBuffer_GetWriteFunctionPtr(b.handle), nullptr);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(write(b.handle, sequence(30000)), 0);
  EXPECT_EQ(OutBuffer_putc('x', b.handle), 'x');
  uint32_t error = 77;
  EXPECT_EQ(OutBufferFlush(b.handle, 0, &error), 0);
  EXPECT_EQ(error, 77u);  // untouched
  EXPECT_EQ(b.record()->delivered, 4097u + 300000u + 1u);
  b.terminate();
  EXPECT_EQ(b.sink.calls(), 1u);
  EXPECT_EQ(clock.sleepCount(), 0u);
  EXPECT_EQ(b.sink.received(), Bytes(first.begin(), first.begin() + 4096));
}

TEST(OutBuffer, CancelEndsRetriesAndDropsTheRest) {
  VirtualClock clock(kWaitLimitMs);
  Buffer b;
  b.sink.script({}, fail(err::kErrorOutOfPaper));
  clock.onSleep([&](uint32_t, uint64_t) {
    if (clock.sleepsOf(500) == 3) OutBuffer_CancelPrint(b.handle);
  });
  EXPECT_EQ(write(b.handle, sequence(5000)), static_cast<int32_t>(err::kErrorOutOfPaper));
  EXPECT_EQ(b.sink.calls(), 3u);  // the first call and two retries; the cancel came in the third wait
  EXPECT_EQ(clock.sleepsOf(500), 3u);
  clock.onSleep(nullptr);
  EXPECT_EQ(write(b.handle, sequence(5000)), static_cast<int32_t>(err::kErrorOutOfPaper));
  b.terminate();
  EXPECT_EQ(b.sink.calls(), 3u);
  EXPECT_TRUE(b.sink.received().empty());
}

TEST(OutBuffer, CancelDuringPartialDeliveryCountsTheRestAsAccepted) {
  VirtualClock clock(kWaitLimitMs);
  Buffer b;
  b.sink.script({}, acceptPart(4));
  b.sink.onCall([&](uint32_t) {
    if (b.sink.calls() == 2) OutBuffer_CancelPrint(b.handle);
  });
  EXPECT_EQ(write(b.handle, sequence(4097)), 0);
  EXPECT_EQ(b.sink.calls(), 2u);
  EXPECT_EQ(b.record()->fill, 1u);
  EXPECT_EQ(b.record()->delivered, 4096u);
  b.terminate();
  EXPECT_EQ(b.sink.calls(), 2u);
}

TEST(OutBuffer, WritesBeforeTheBlockSizeIsSetAreRefused) {
  DebugCapture debug;
  Buffer b(0);
  EXPECT_EQ(write(b.handle, sequence(10)), static_cast<int32_t>(err::kErrorInvalidParameter));
  EXPECT_EQ(OutBuffer_putc('a', b.handle), 'a');
  EXPECT_EQ(OutBuffer_GetLastError(b.handle), 0u);
  EXPECT_EQ(debug.texts().size(), 2u);
  OutBuffer_setBufferSize(b.handle, 4096);
  const Bytes data = sequence(5);
  EXPECT_EQ(write(b.handle, data), 0);
  b.terminate();
  EXPECT_EQ(b.sink.received(), data);
}

TEST(OutBuffer, WritesOutsideTheSigned16BitRangeAreRefused) {
  Buffer b;
  const Bytes big = sequence(40000);
  EXPECT_EQ(OutBuffer_writebytes(b.handle, big.data(), 32768), static_cast<int32_t>(err::kErrorInvalidParameter));
  EXPECT_EQ(OutBuffer_writebytes(b.handle, big.data(), 40000), static_cast<int32_t>(err::kErrorInvalidParameter));
  EXPECT_EQ(OutBuffer_writebytes(b.handle, big.data(), -1), static_cast<int32_t>(err::kErrorInvalidParameter));
  EXPECT_EQ(OutBuffer_writebytes(b.handle, nullptr, 5), static_cast<int32_t>(err::kErrorInvalidParameter));
  EXPECT_EQ(OutBuffer_writebytes(b.handle, big.data(), 0), 0);
  EXPECT_EQ(b.record()->fill, 0u);
  EXPECT_EQ(OutBuffer_GetLastError(b.handle), 0u);
  b.terminate();
  EXPECT_EQ(b.sink.calls(), 0u);
}

TEST(OutBuffer, SaveStateIsClearedByWritesAndSetOnRequest) {
  Buffer b;
  OutBufferSetSaveState(b.handle, 1);
  EXPECT_EQ(b.record()->saveState.load(), 1u);
  OutBuffer_putc('a', b.handle);
  EXPECT_EQ(b.record()->saveState.load(), 0u);
  OutBufferSetSaveState(b.handle, 7);
  EXPECT_EQ(b.record()->saveState.load(), 7u);
}

TEST(OutBuffer, CommandSendPrepKeepsOtherWritersOutOfAGroup) {
  Buffer b;
  OutBuffer_CommandSendPrep(b.handle);
  std::atomic<bool> otherDone{false};
  testing_seams::BoundedThread other([&] {
    OutBuffer_writebytes(b.handle, reinterpret_cast<const uint8_t*>("zz"), 2);
    otherDone = true;
  });
  for (const char* part : {"ESC", "*b", "12W"}) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    OutBuffer_writebytes(b.handle, reinterpret_cast<const uint8_t*>(part), static_cast<int32_t>(strlen(part)));
  }
  EXPECT_FALSE(otherDone.load());
  OutBuffer_CommandSendDone(b.handle);
  other.join();
  b.terminate();
  const Bytes got = b.sink.received();
  EXPECT_EQ(std::string(got.begin(), got.end()), "ESC*b12Wzz");
}

TEST(OutBuffer, InvalidHandlesAreIgnored) {
  WriteSink sink;
  vaskutil::OutBuffer fake{};
  fake.signature = 1491;
  fake.writeFunction = &WriteSink::write;
  fake.context = &sink;
  for (void* handle : {static_cast<void*>(nullptr), static_cast<void*>(&fake)}) {
    OutBuffer_setBufferSize(handle, 4096);
    EXPECT_EQ(OutBuffer_GetBufferSize(handle), 0);
    EXPECT_EQ(OutBuffer_writebytes(handle, reinterpret_cast<const uint8_t*>("ab"), 2), 0);
    EXPECT_EQ(OutBuffer_putc('c', handle), 'c');
    uint32_t error = 5;
    EXPECT_EQ(OutBufferFlush(handle, 0, &error), 0);
    EXPECT_EQ(error, 5u);
    OutBufferSetSaveState(handle, 1);
    OutBuffer_CommandSendPrep(handle);
    OutBuffer_CommandSendDone(handle);
    EXPECT_EQ(OutBuffer_GetLastError(handle), 0u);
    OutBuffer_CancelPrint(handle);
    EXPECT_EQ(OutBuffer_GetWriteFunctionPtr(handle), nullptr);
    OutBuffer_terminate(handle, 0);
  }
  EXPECT_EQ(fake.writeFunction.load(), &WriteSink::write);
  EXPECT_EQ(sink.calls(), 0u);
}

TEST(OutBuffer, TerminatedHandlesStayRefusedWhenTheMemoryIsReused) {
  WriteSink sink;
  void* old = OutBuffer_initialize(&WriteSink::write, &sink);
  OutBuffer_terminate(old, 0);
  void* next = OutBuffer_initialize(&WriteSink::write, &sink);
  EXPECT_NE(next, old);
  OutBuffer_CancelPrint(old);
  EXPECT_EQ(OutBuffer_GetWriteFunctionPtr(old), nullptr);
  EXPECT_EQ(OutBuffer_GetWriteFunctionPtr(next), &WriteSink::write);
  OutBuffer_terminate(next, 0);
}

TEST(OutBuffer, AllocationFailures) {
  {
    testing_seams::FailingAllocator failing(0);
    EXPECT_EQ(OutBuffer_initialize(&WriteSink::write, nullptr), nullptr);
  }
  Buffer b(0);
  {
    testing_seams::FailingAllocator failing(0);
    OutBuffer_setBufferSize(b.handle, 4096);
  }
  EXPECT_EQ(OutBuffer_GetBufferSize(b.handle), 0);
  EXPECT_EQ(write(b.handle, sequence(3)), static_cast<int32_t>(err::kErrorInvalidParameter));
  // The size can still be set once the memory is there.
  OutBuffer_setBufferSize(b.handle, 4096);
  EXPECT_EQ(OutBuffer_GetBufferSize(b.handle), 4096);
}

}  // namespace
