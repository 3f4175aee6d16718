// A stand-in for the downstream monitor's WritePort: records every call and
// byte, and follows a script of partial acceptances and printer errors.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "VaskUtil.h"
#include "platform.h"

namespace streamutil_test {

enum : uint32_t {
  kErrorInvalidHandle = 6,
  kErrorNotReady = 21,
  kErrorOutOfPaper = 28,
  kErrorInvalidParameter = 87,
  kErrorCounterTimeout = 1121,
  kErrorAccessDenied = 5,
};

struct SinkStep {
  bool ok = true;
  uint32_t error = 0;      // left in the last-error value when !ok
  int64_t accept = -1;     // bytes accepted; -1 = all offered
  uint32_t divisor = 0;    // when nonzero: accept (offered + divisor - 1) / divisor
};

class WriteSink {
 public:
  static int CORVANTA_WINAPI write(void* context, const uint8_t* bytes, uint32_t count, uint32_t* accepted) {
    return static_cast<WriteSink*>(context)->onWrite(bytes, count, accepted);
  }

  // Steps are used one per call; once they run out, calls follow `then`.
  void script(std::deque<SinkStep> steps, SinkStep then = SinkStep{}) {
    std::lock_guard<std::mutex> lock(mutex_);
    steps_ = std::move(steps);
    then_ = then;
  }
  void onCall(std::function<void(uint32_t offered)> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    hook_ = std::move(hook);
  }

  std::vector<uint8_t> received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }
  std::vector<uint32_t> offered() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return offered_;
  }
  size_t calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return offered_.size();
  }

 private:
  int onWrite(const uint8_t* bytes, uint32_t count, uint32_t* accepted) {
    SinkStep step;
    std::function<void(uint32_t)> hook;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      offered_.push_back(count);
      if (!steps_.empty()) {
        step = steps_.front();
        steps_.pop_front();
      } else {
        step = then_;
      }
      hook = hook_;
      uint64_t take = step.divisor ? (count + step.divisor - 1) / step.divisor
                                   : step.accept < 0 ? count : static_cast<uint64_t>(step.accept);
      if (take > count) take = count;
      received_.insert(received_.end(), bytes, bytes + take);
      *accepted = static_cast<uint32_t>(take);
    }
    if (hook) hook(count);
    if (!step.ok) platform::setLastError(step.error);
    return step.ok ? 1 : 0;
  }

  mutable std::mutex mutex_;
  std::deque<SinkStep> steps_;
  SinkStep then_;
  std::function<void(uint32_t)> hook_;
  std::vector<uint8_t> received_;
  std::vector<uint32_t> offered_;
};

inline SinkStep fail(uint32_t error, int64_t accept = 0) {
  SinkStep s;
  s.ok = false;
  s.error = error;
  s.accept = accept;
  return s;
}

inline SinkStep acceptPart(uint32_t divisor) {
  SinkStep s;
  s.divisor = divisor;
  return s;
}

}  // namespace streamutil_test
