#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform.h"
#include "test_seams.h"

TEST(Platform, VirtualClockReplacesSleep) {
  testing_seams::VirtualClock clock;
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 50; ++i) platform::sleepMs(300);
  EXPECT_EQ(clock.nowMs(), 15000u);
  EXPECT_EQ(clock.sleepsOf(300), 50u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(Platform, RealSleepWaits) {
  auto start = std::chrono::steady_clock::now();
  platform::sleepMs(20);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(15));
}

TEST(Platform, DebugCaptureSeesTexts) {
  testing_seams::DebugCapture capture;
  platform::debugOutput("hello\n");
  platform::debugOutput(nullptr);
  EXPECT_TRUE(capture.contains("hello\n"));
  EXPECT_EQ(capture.texts().size(), 1u);
}

TEST(Platform, AllocationsAreZeroedAndCanBeMadeToFail) {
  auto* block = static_cast<unsigned char*>(platform::allocZeroed(4096));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 4096; ++i) ASSERT_EQ(block[i], 0);
  platform::freeBlock(block);
  platform::freeBlock(nullptr);
  {
    testing_seams::FailingAllocator failing(1);
    void* first = platform::allocZeroed(16);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(platform::allocZeroed(16), nullptr);
    EXPECT_EQ(failing.failures(), 1);
    platform::freeBlock(first);
  }
  void* again = platform::allocZeroed(16);
  EXPECT_NE(again, nullptr);
  platform::freeBlock(again);
}

TEST(Platform, ThreadsAndLocks) {
  platform::Lock* lock = platform::lockCreate();
  ASSERT_NE(lock, nullptr);
  static std::atomic<int> done{0};
  static int counter = 0;
  static platform::Lock* shared = nullptr;
  shared = lock;
  done = 0;
  counter = 0;
  auto routine = [](void*) {
    for (int i = 0; i < 10000; ++i) {
      platform::LockGuard guard(shared);
      ++counter;
    }
    done++;
  };
  ASSERT_TRUE(platform::startThread(routine, nullptr));
  ASSERT_TRUE(platform::startThread(routine, nullptr));
  while (done.load() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  {
    platform::LockGuard guard(lock);
    EXPECT_EQ(counter, 20000);
  }
  platform::lockDelete(lock);
}

TEST(Platform, LastErrorIsPerThread) {
  static std::atomic<int> stage{0};
  static std::atomic<uint32_t> seenByThread{0};
  stage = 0;
  ASSERT_TRUE(platform::startThread(
      [](void*) {
        platform::setLastError(7);
        stage = 1;
        while (stage.load() != 2) {
        }
        seenByThread = platform::getLastError();
        stage = 3;
      },
      nullptr));
  while (stage.load() != 1) {
  }
  platform::setLastError(42);
  stage = 2;
  while (stage.load() != 3) {
  }
  EXPECT_EQ(platform::getLastError(), 42u);
  EXPECT_EQ(seenByThread.load(), 7u);
}

TEST(Platform, AppDataFolderExistsAndDirectoriesCanBeCreated) {
  std::string folder = platform::appDataFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), platform::pathSeparator());
  std::string sub = folder + platform::pathSeparator() + "CorvantaPlatformTest";
  EXPECT_TRUE(platform::createDirectory(sub));
  EXPECT_TRUE(platform::createDirectory(sub));  // already there
}

TEST(Platform, MissingLibrariesAndSymbolsAreReportedAsNull) {
  platform::SharedLibrary missing("CorvantaNoSuchLibrary.dll");
  EXPECT_FALSE(missing.loaded());
  EXPECT_EQ(missing.find("parseFile"), nullptr);
  EXPECT_EQ(platform::loadLibrary(""), nullptr);
  EXPECT_EQ(platform::findSymbol(nullptr, "x"), nullptr);
  platform::freeLibrary(nullptr);
}
