#include "test_seams.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace testing_seams {
namespace {
VirtualClock* g_clock = nullptr;
DebugCapture* g_capture = nullptr;
FailingAllocator* g_allocator = nullptr;
}  // namespace

VirtualClock::VirtualClock(uint64_t limitMs) : limitMs_(limitMs), owner_(std::this_thread::get_id()) {
  g_clock = this;
  previous_ = platform::setSleepFunction(&VirtualClock::sleepHook);
}

VirtualClock::~VirtualClock() {
  platform::setSleepFunction(previous_);
  g_clock = nullptr;
}

void VirtualClock::sleepHook(uint32_t ms) {
  VirtualClock* clock = g_clock;
  if (!clock) return;
  uint64_t now = clock->now_ += ms;
  clock->count_++;
  if (clock->limitMs_ != 0 && std::this_thread::get_id() == clock->owner_ &&
      (clock->ownerSleptMs_ += ms) > clock->limitMs_) {
    std::fflush(stdout);  // the name of the running test
    std::fprintf(stderr, "FATAL: the test slept more than %llu virtual ms: a wait in the code under test never ends\n",
                 static_cast<unsigned long long>(clock->limitMs_));
    std::fflush(stderr);
    std::_Exit(1);
  }
  std::function<void(uint32_t, uint64_t)> callback;
  {
    std::lock_guard<std::mutex> lock(clock->mutex_);
    clock->lengths_.push_back(ms);
    callback = clock->callback_;
  }
  if (callback) callback(ms, now);
  std::this_thread::yield();
}

uint64_t VirtualClock::sleepsOf(uint32_t ms) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::count(lengths_.begin(), lengths_.end(), ms);
}

void VirtualClock::onSleep(std::function<void(uint32_t, uint64_t)> callback) {
  std::lock_guard<std::mutex> lock(mutex_);
  callback_ = std::move(callback);
}

DebugCapture::DebugCapture() {
  g_capture = this;
  previous_ = platform::setDebugSink(&DebugCapture::sink);
}

DebugCapture::~DebugCapture() {
  platform::setDebugSink(previous_);
  g_capture = nullptr;
}

void DebugCapture::sink(const char* text) {
  DebugCapture* capture = g_capture;
  if (!capture) return;
  std::lock_guard<std::mutex> lock(capture->mutex_);
  capture->texts_.emplace_back(text);
}

std::vector<std::string> DebugCapture::texts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return texts_;
}

bool DebugCapture::contains(const std::string& text) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::find(texts_.begin(), texts_.end(), text) != texts_.end();
}

void DebugCapture::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  texts_.clear();
}

FailingAllocator::FailingAllocator(int succeedFirst) : remaining_(succeedFirst) {
  g_allocator = this;
  previous_ = platform::setAllocHook(&FailingAllocator::hook);
}

FailingAllocator::~FailingAllocator() {
  platform::setAllocHook(previous_);
  g_allocator = nullptr;
}

void* FailingAllocator::hook(size_t bytes) {
  FailingAllocator* allocator = g_allocator;
  if (allocator && allocator->remaining_.fetch_sub(1) <= 0) {
    allocator->failures_++;
    return nullptr;
  }
  return platform::systemAllocZeroed(bytes);
}

}  // namespace testing_seams
