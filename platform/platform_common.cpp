// The parts of the platform layer that are the same everywhere: the test
// seams around sleep, debug output and allocation.
#include "platform.h"

#include <atomic>

namespace platform {
namespace detail {
void realSleep(uint32_t milliseconds);
void realDebugOutput(const char* text);
void* realAllocZeroed(size_t bytes);
}  // namespace detail

namespace {
std::atomic<SleepFunction> g_sleep{nullptr};
std::atomic<DebugSink> g_debugSink{nullptr};
std::atomic<AllocHook> g_allocHook{nullptr};
}  // namespace

void sleepMs(uint32_t milliseconds) {
  SleepFunction fn = g_sleep.load();
  if (fn) {
    fn(milliseconds);
  } else {
    detail::realSleep(milliseconds);
  }
}

SleepFunction setSleepFunction(SleepFunction fn) { return g_sleep.exchange(fn); }

void debugOutput(const char* text) {
  if (!text) return;
  DebugSink sink = g_debugSink.load();
  if (sink) {
    sink(text);
  } else {
    detail::realDebugOutput(text);
  }
}

DebugSink setDebugSink(DebugSink sink) { return g_debugSink.exchange(sink); }

void* allocZeroed(size_t bytes) {
  AllocHook hook = g_allocHook.load();
  if (hook) return hook(bytes);
  return detail::realAllocZeroed(bytes);
}

AllocHook setAllocHook(AllocHook hook) { return g_allocHook.exchange(hook); }

void* systemAllocZeroed(size_t bytes) { return detail::realAllocZeroed(bytes); }

}  // namespace platform
