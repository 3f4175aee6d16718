// A test's second thread whose join waits a bounded time. A thread still
// running at the limit means the code under test hangs: the program says so
// and ends at once, instead of hanging the whole suite until ctest's time-out.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <utility>

namespace testing_seams {

class BoundedThread {
 public:
  static constexpr unsigned kDefaultLimitMs = 30000;

  template <class Fn>
  explicit BoundedThread(Fn fn, unsigned limitMs = kDefaultLimitMs)
      : done_(std::make_shared<std::atomic<bool>>(false)), limitMs_(limitMs) {
    std::shared_ptr<std::atomic<bool>> done = done_;
    thread_ = std::thread([fn = std::move(fn), done]() mutable {
      fn();
      *done = true;
    });
  }
  ~BoundedThread() {
    if (thread_.joinable()) join();
  }
  BoundedThread(const BoundedThread&) = delete;
  BoundedThread& operator=(const BoundedThread&) = delete;

  void join() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs_);
    while (!*done_ && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!*done_) {
      std::fprintf(stderr, "FATAL: a test thread did not finish within %u ms: the code under test hangs\n", limitMs_);
      std::fflush(stderr);
      std::_Exit(1);
    }
    thread_.join();
  }

 private:
  std::shared_ptr<std::atomic<bool>> done_;
  unsigned limitMs_;
  std::thread thread_;
};

}  // namespace testing_seams
