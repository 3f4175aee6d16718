// One test per waiting mechanism against the wall clock, with the real sleep:
// the full pipe's and the starved reader's polls (from 1 ms growing), terminate's
// 1 ms polls, the buffer's 1 ms re-calls and its 500 ms retries.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "bounded_thread.h"
#include "VaskUtil.h"
#include "write_sink.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

TEST(RealTime, FullPipeWriterNoticesRoomWithinMilliseconds) {
  void* pipe = InBuffer_initialize();
  const Bytes full(kInBufferCapacity, 0x11);
  ASSERT_EQ(InBuffer_writebytes(pipe, full.data(), kInBufferCapacity), 0);
  std::atomic<double> roomAt{0};
  const auto start = Clock::now();
  testing_seams::BoundedThread reader([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    roomAt = msSince(start);
    EXPECT_EQ(InBuffer_getc(pipe), 0x11);
  });
  const uint8_t one = 0x22;
  EXPECT_EQ(InBuffer_writebytes(pipe, &one, 1), 0);
  const double elapsed = msSince(start);
  reader.join();
  // Room appears at 20 ms; polls at 1, 3, 7, 15, 31 ms see it at 31 ms. A
  // writer polling in 300 ms steps would take 300 ms.
  EXPECT_GE(elapsed, roomAt.load());
  EXPECT_LT(elapsed, 150.0);
  InBuffer_threadDone(pipe);
  InBuffer_terminate(pipe);
}

TEST(RealTime, StarvedReaderNoticesDataWithinMilliseconds) {
  void* pipe = InBuffer_initialize();
  std::atomic<double> gotAt{0};
  std::atomic<double> writtenAt{0};
  const auto start = Clock::now();
  testing_seams::BoundedThread reader([&] {
    EXPECT_EQ(InBuffer_getc(pipe), 0x33);
    gotAt = msSince(start);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const uint8_t byte = 0x33;
  writtenAt = msSince(start);
  EXPECT_EQ(InBuffer_writebytes(pipe, &byte, 1), 0);
  reader.join();
  // Seen at the reader's next poll (31 ms), far before a 200 ms step.
  EXPECT_GE(gotAt.load(), writtenAt.load());
  EXPECT_LT(gotAt.load(), 150.0);
  InBuffer_threadDone(pipe);
  InBuffer_terminate(pipe);
}

TEST(RealTime, TerminateReturnsWithinMillisecondsOfThreadDone) {
  void* pipe = InBuffer_initialize();
  const auto start = Clock::now();
  std::atomic<double> doneAt{0};
  testing_seams::BoundedThread reader([&] {
    EXPECT_EQ(InBuffer_getc(pipe), -1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    doneAt = msSince(start);
    InBuffer_threadDone(pipe);
  });
  InBuffer_terminate(pipe);
  const double returnedAt = msSince(start);
  reader.join();
  EXPECT_GE(returnedAt, doneAt.load());
  // Far below the reader's 200 ms poll, with room for a loaded machine.
  EXPECT_LT(returnedAt - doneAt.load(), 150.0);
}

TEST(RealTime, PartialAcceptanceIsRecalledAfterAMillisecond) {
  streamutil_test::WriteSink sink;
  std::vector<double> callTimes;
  const auto start = Clock::now();
  sink.onCall([&](uint32_t) { callTimes.push_back(msSince(start)); });
  sink.script({}, streamutil_test::acceptPart(2));
  void* output = OutBuffer_initialize(&streamutil_test::WriteSink::write, &sink);
  OutBuffer_setBufferSize(output, 4096);
  const Bytes data(4097, 0x44);
  EXPECT_EQ(OutBuffer_writebytes(output, data.data(), 4097), 0);
  ASSERT_EQ(callTimes.size(), 13u);
  for (size_t i = 1; i < callTimes.size(); ++i) {
    EXPECT_GE(callTimes[i] - callTimes[i - 1], 0.5) << "re-call " << i;
    EXPECT_LT(callTimes[i] - callTimes[i - 1], 150.0) << "re-call " << i;
  }
  OutBuffer_terminate(output, 0);
}

TEST(RealTime, TransientErrorIsRetriedAfter500Ms) {
  streamutil_test::WriteSink sink;
  std::vector<double> callTimes;
  const auto start = Clock::now();
  sink.onCall([&](uint32_t) { callTimes.push_back(msSince(start)); });
  sink.script({streamutil_test::fail(streamutil_test::kErrorOutOfPaper)});
  void* output = OutBuffer_initialize(&streamutil_test::WriteSink::write, &sink);
  OutBuffer_setBufferSize(output, 4096);
  const Bytes data(10, 0x55);
  EXPECT_EQ(OutBuffer_writebytes(output, data.data(), 10), 0);
  OutBuffer_terminate(output, 0);
  ASSERT_EQ(callTimes.size(), 2u);
  EXPECT_GE(callTimes[1] - callTimes[0], 480.0);
  EXPECT_LT(callTimes[1] - callTimes[0], 2000.0);
  EXPECT_EQ(sink.received(), data);
}

}  // namespace
