#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "platform/clock.h"
#include "platform/sync.h"
#include "platform/thread.h"

namespace platform {
namespace {

using namespace std::chrono_literals;

class Worker : public Thread {
 public:
  explicit Worker(bool throws = false) : FThrows(throws) {}
  ~Worker() override {
    Terminate();
    WaitFor();
    CloseHandle(FWake);
  }
  void Terminate() override {
    Thread::Terminate();
    SetEvent(FWake);
  }
  std::atomic<int> Loops{0};

 protected:
  void Execute() override {
    if (FThrows) throw std::runtime_error("worker failed");
    while (!Terminated()) {
      ++Loops;
      WaitForSingleObject(FWake, 10000);
    }
  }

 private:
  bool FThrows;
  HANDLE FWake = CreateEvent(false, false);
};

TEST(Thread, TerminateWakesAndWaitForJoins) {
  Worker worker;
  EXPECT_FALSE(worker.Finished());
  ASSERT_TRUE(worker.Start());
  EXPECT_FALSE(worker.Start()) << "a thread runs only once";
  while (worker.Loops.load() == 0)
    std::this_thread::sleep_for(1ms);
  worker.Terminate();
  worker.WaitFor();
  EXPECT_TRUE(worker.Finished());
  worker.WaitFor();  // again: harmless
}

TEST(Thread, WaitForWithoutStartReturns) {
  Worker worker;
  worker.WaitFor();
  EXPECT_FALSE(worker.Finished());
}

TEST(Thread, ExceptionInExecuteEndsOnlyTheThread) {
  Worker worker(true);
  ASSERT_TRUE(worker.Start());
  worker.WaitFor();
  EXPECT_TRUE(worker.Finished());
}

TEST(Thread, DestructorStopsARunningThread) {
  std::atomic<bool> started{false};
  struct Spinner : Thread {
    std::atomic<bool>* started;
    void Execute() override {
      *started = true;
      while (!Terminated())
        std::this_thread::sleep_for(1ms);
    }
  };
  {
    Spinner s;
    s.started = &started;
    s.Start();
    while (!started)
      std::this_thread::sleep_for(1ms);
  }  // must not hang or abort with a joinable std::thread
  SUCCEED();
}

TEST(Clock, TickCountAdvancesWithSleep) {
  uint32_t before = GetTickCount();
  Sleep(20);
  EXPECT_GE(TickDiff(GetTickCount(), before), 18);
  auto start = std::chrono::steady_clock::now();
  Beep(440, 15);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 14ms);
  MessageBeep(0);
}

TEST(Clock, InjectedSourceAcrossTheWrap) {
  std::atomic<uint32_t> fake{0xFFFFFFF0u};
  SetTickSource([&fake] { return fake.load(); });
  uint32_t before = GetTickCount();
  EXPECT_EQ(before, 0xFFFFFFF0u);
  fake += 0x20;  // wraps to 0x10
  uint32_t after = GetTickCount();
  EXPECT_EQ(after, 0x10u);
  EXPECT_EQ(TickDiff(after, before), 0x20);
  EXPECT_EQ(TickDiff(before, after), -0x20);
  SetTickSource({});
  EXPECT_NE(GetTickCount(), 0x10u);
}

TEST(Clock, SourceCanBeReplacedWhileAnotherThreadReads) {
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    while (!stop)
      (void)GetTickCount();
  });
  for (uint32_t i = 0; i < 200; ++i) {
    SetTickSource([i] { return i; });
    EXPECT_EQ(GetTickCount(), i);
  }
  SetTickSource({});
  stop = true;
  reader.join();
}

}  // namespace
}  // namespace platform
