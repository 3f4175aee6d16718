// Test helpers around the platform seams: a virtual clock that replaces
// platform::sleepMs, a capture of debug output and an allocator that fails on
// demand. Each installs itself for the lifetime of the object.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform.h"

namespace testing_seams {

// While alive, sleeps return at once and advance a virtual clock. An optional
// callback runs on every sleep (after the clock advanced), so a test can change
// the world "after 15 seconds" or count polls. Sleeps still yield the CPU so
// that the other thread of a test can make progress. With a limit, the
// creating thread sleeping longer than that in all means a wait in the code
// under test never ends: the program says so and ends at once, instead of
// polling until ctest's time-out. (A test's other threads are BoundedThreads.)
class VirtualClock {
 public:
  explicit VirtualClock(uint64_t limitMs = 0);
  ~VirtualClock();
  VirtualClock(const VirtualClock&) = delete;
  VirtualClock& operator=(const VirtualClock&) = delete;

  uint64_t nowMs() const { return now_.load(); }
  uint64_t sleepCount() const { return count_.load(); }
  // Number of sleeps of exactly this length.
  uint64_t sleepsOf(uint32_t ms) const;
  void onSleep(std::function<void(uint32_t ms, uint64_t nowMs)> callback);

 private:
  static void sleepHook(uint32_t ms);
  std::atomic<uint64_t> now_{0};
  std::atomic<uint64_t> count_{0};
  uint64_t limitMs_;
  std::thread::id owner_;
  std::atomic<uint64_t> ownerSleptMs_{0};
  mutable std::mutex mutex_;
  std::vector<uint32_t> lengths_;
  std::function<void(uint32_t, uint64_t)> callback_;
  platform::SleepFunction previous_;
};

// While alive, collects every debug text instead of sending it to the debugger.
class DebugCapture {
 public:
  DebugCapture();
  ~DebugCapture();
  std::vector<std::string> texts() const;
  bool contains(const std::string& text) const;
  void clear();

 private:
  static void sink(const char* text);
  mutable std::mutex mutex_;
  std::vector<std::string> texts_;
  platform::DebugSink previous_;
};

// While alive, allocations through platform::allocZeroed fail once the given
// number of further allocations has succeeded (0 = fail from the next one).
class FailingAllocator {
 public:
  explicit FailingAllocator(int succeedFirst = 0);
  ~FailingAllocator();
  int failures() const { return failures_.load(); }

 private:
  static void* hook(size_t bytes);
  std::atomic<int> remaining_;
  std::atomic<int> failures_{0};
  platform::AllocHook previous_;
};

}  // namespace testing_seams
