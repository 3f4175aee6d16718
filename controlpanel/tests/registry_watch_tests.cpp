// The watchers' shared loop on real registry notifications in the test
// prefix, run on real threads.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <thread>

#include "registry_watch.h"
#include "test_seams.h"

namespace {

using control_panel::Watch;
using control_panel::WatchRules;

constexpr char kWatched[] = "Software\\Corvanta watch test";

bool waitFor(const std::function<bool()>& condition, int timeoutMs = 5000) {
  for (int waited = 0; waited < timeoutMs && !condition(); waited += 5) Sleep(5);
  return condition();
}

void setValue(DWORD value) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kWatched, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                           nullptr));
  RegSetValueExA(key, "Value", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(key);
}

struct Watcher;
// Writes new values until the watcher has checked `checks` times: a write
// made before the watch is armed again is not seen, and rewriting a value
// unchanged notifies nobody.
bool changeUntilChecked(Watcher& watcher, int checks);

struct Watcher {
  HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  volatile LONG ended = 0;
  std::atomic<int> checks{0};
  std::atomic<DWORD> code{99};
  std::thread thread;

  void start(const WatchRules& rules, int doneAfter = 0) {
    thread = std::thread([this, rules, doneAfter] {
      code = control_panel::watchRegistry(rules, stop, &ended, [this, doneAfter] {
        return ++checks == doneAfter ? Watch::Done : Watch::Continue;
      });
    });
  }
  ~Watcher() {
    SetEvent(stop);
    if (thread.joinable()) thread.join();
    CloseHandle(stop);
  }
};

bool changeUntilChecked(Watcher& watcher, int checks) {
  static DWORD written = 0;
  return waitFor([&] {
    setValue(++written);
    return waitFor([&] { return watcher.checks >= checks; }, 20);
  });
}

WatchRules rulesFor(const char* path) {
  return {HKEY_CURRENT_USER, path, REG_NOTIFY_CHANGE_LAST_SET, "wait failed\n", "close failed\n", false,
          "event close failed\n"};
}

TEST(RegistryWatchTest, EveryChangeIsCheckedUntilTheStopEvent) {
  setValue(0);
  Watcher watcher;
  watcher.start(rulesFor(kWatched));
  // Each change is seen once the watch is armed again after the last check.
  for (int change = 1; change <= 3; ++change) ASSERT_TRUE(changeUntilChecked(watcher, change)) << "change " << change;
  SetEvent(watcher.stop);
  watcher.thread.join();
  EXPECT_EQ(0u, watcher.code.load());
  EXPECT_EQ(1, watcher.ended);
  RegDeleteKeyA(HKEY_CURRENT_USER, kWatched);
}

TEST(RegistryWatchTest, AChangeMadeWhileCheckingIsSeen) {
  setValue(0);
  HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  volatile LONG ended = 0;
  std::atomic<int> checks{0};
  std::thread thread([&] {
    control_panel::watchRegistry(rulesFor(kWatched), stop, &ended, [&] {
      if (++checks == 1) setValue(1000);  // as the per-job dialog's last write may come
      return checks == 2 ? Watch::Done : Watch::Continue;
    });
  });
  EXPECT_TRUE(waitFor([&] {
    if (checks == 0) setValue(GetTickCount());
    return ended == 1;
  })) << checks << " checks";
  SetEvent(stop);
  thread.join();
  CloseHandle(stop);
  RegDeleteKeyA(HKEY_CURRENT_USER, kWatched);
}

TEST(RegistryWatchTest, ACheckThatIsDoneEndsTheWatcher) {
  setValue(0);
  Watcher watcher;
  watcher.start(rulesFor(kWatched), 1);
  ASSERT_TRUE(changeUntilChecked(watcher, 1));
  ASSERT_TRUE(waitFor([&] { return watcher.ended == 1; }));
  EXPECT_EQ(1, watcher.checks);
  EXPECT_EQ(0u, watcher.code.load());
  watcher.thread.join();
  RegDeleteKeyA(HKEY_CURRENT_USER, kWatched);
}

TEST(RegistryWatchTest, WithoutItsKeyAWatcherStillEndsOnTheStopEvent) {
  Watcher watcher;
  watcher.start(rulesFor("Software\\Corvanta no such key"));
  Sleep(50);  // the one real-time wait: an idle watcher neither checks nor ends
  EXPECT_EQ(0, watcher.ended);
  SetEvent(watcher.stop);
  watcher.thread.join();
  EXPECT_EQ(0u, watcher.code.load());
  EXPECT_EQ(1, watcher.ended);
  EXPECT_EQ(0, watcher.checks);
}

TEST(RegistryWatchTest, AFailedWaitEndsTheWatcherWithItsText) {
  testing_seams::DebugCapture debug;
  volatile LONG ended = 0;
  const HANDLE notAnEvent = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x4321));
  EXPECT_EQ(1u, control_panel::watchRegistry(rulesFor("Software"), notAnEvent, &ended, [] { return Watch::Continue; }));
  EXPECT_EQ(1, ended);
  EXPECT_TRUE(debug.contains("wait failed\n"));
}

}  // namespace
