#include "platform/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace platform {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Long enough that a blocked thread has surely reached its wait on a loaded machine; only used
// to make "still blocked" checks meaningful, never as an upper bound on speed.
constexpr auto kSettle = 50ms;
constexpr uint32_t kHangGuardMs = 10000;

TEST(Event, AutoResetReleasesExactlyOneWaiter) {
  HANDLE ev = CreateEvent(false, false);
  ASSERT_NE(ev, 0u);
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&] {
      if (WaitForSingleObject(ev, 2000) == WAIT_OBJECT_0) ++released;
    });
  }
  std::this_thread::sleep_for(kSettle);
  EXPECT_TRUE(SetEvent(ev));
  for (auto& t : waiters)
    t.join();
  EXPECT_EQ(released.load(), 1);
  // The release consumed the signal.
  EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(CloseHandle(ev));
}

TEST(Event, AutoResetSignalBeforeWaitIsKeptAndConsumedOnce) {
  HANDLE ev = CreateEvent(false, true);
  EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_TIMEOUT);
  SetEvent(ev);
  SetEvent(ev);  // signalling twice does not count twice
  EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_TIMEOUT);
  CloseHandle(ev);
}

TEST(Event, ManualResetReleasesAllUntilReset) {
  HANDLE ev = CreateEvent(true, false);
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&] {
      if (WaitForSingleObject(ev, kHangGuardMs) == WAIT_OBJECT_0) ++released;
    });
  }
  std::this_thread::sleep_for(kSettle);
  SetEvent(ev);
  for (auto& t : waiters)
    t.join();
  EXPECT_EQ(released.load(), 3);
  EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ResetEvent(ev));
  EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_TIMEOUT);
  CloseHandle(ev);
}

TEST(Wait, LowestSignalledIndexWinsAndOnlyItIsConsumed) {
  HANDLE a = CreateEvent(false, false);
  HANDLE b = CreateEvent(false, false);
  HANDLE c = CreateEvent(false, false);
  SetEvent(c);
  SetEvent(b);
  HANDLE hs[] = {a, b, c};
  EXPECT_EQ(WaitForMultipleObjects(3, hs, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(3, hs, 0), WAIT_OBJECT_0 + 2);
  EXPECT_EQ(WaitForMultipleObjects(3, hs, 0), WAIT_TIMEOUT);
  for (HANDLE h : hs)
    CloseHandle(h);
}

TEST(Wait, WakesForAnyObjectSignalledLater) {
  HANDLE a = CreateEvent(false, false);
  HANDLE b = CreateEvent(false, false);
  HANDLE hs[] = {a, b};
  std::thread setter([&] {
    std::this_thread::sleep_for(kSettle);
    SetEvent(b);
  });
  EXPECT_EQ(WaitForMultipleObjects(2, hs, kHangGuardMs), WAIT_OBJECT_0 + 1);
  setter.join();
  CloseHandle(a);
  CloseHandle(b);
}

TEST(Wait, TimeoutReturnsAfterRoughlyTheTime) {
  HANDLE ev = CreateEvent(true, false);
  auto start = Clock::now();
  EXPECT_EQ(WaitForSingleObject(ev, 30), WAIT_TIMEOUT);
  EXPECT_GE(Clock::now() - start, 28ms);
  CloseHandle(ev);
}

TEST(Wait, BadArgumentsFail) {
  HANDLE ev = CreateEvent(true, true);
  HANDLE hs[MAXIMUM_WAIT_OBJECTS + 1];
  for (auto& h : hs)
    h = ev;
  EXPECT_EQ(WaitForMultipleObjects(0, hs, 0), WAIT_FAILED);
  EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, hs, 0), WAIT_FAILED);
  EXPECT_EQ(WaitForMultipleObjects(1, nullptr, 0), WAIT_FAILED);
  EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, hs, 0), WAIT_OBJECT_0);
  HANDLE mixed[] = {ev, 0};
  EXPECT_EQ(WaitForMultipleObjects(2, mixed, 0), WAIT_FAILED);
  EXPECT_EQ(WaitForSingleObject(0, 0), WAIT_FAILED);
  EXPECT_TRUE(CloseHandle(ev));
  EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_FAILED);
  EXPECT_FALSE(CloseHandle(ev));
  EXPECT_FALSE(SetEvent(ev));
  EXPECT_FALSE(ResetEvent(ev));
}

TEST(Handles, AreNonZeroAndNotReusedRightAway) {
  HANDLE first = CreateEvent(true, false);
  CloseHandle(first);
  HANDLE second = CreateMutex();
  EXPECT_NE(first, 0u);
  EXPECT_NE(second, 0u);
  EXPECT_NE(first, second);
  // Operations of one kind of object do not apply to the other.
  EXPECT_FALSE(SetEvent(second));
  HANDLE ev = CreateEvent(false, false);
  EXPECT_FALSE(ReleaseMutex(ev));
  CloseHandle(second);
  CloseHandle(ev);
}

TEST(Handles, CloseWhileAnotherThreadWaitsEndsThatWait) {
  HANDLE ev = CreateEvent(false, false);
  std::atomic<uint32_t> result{0x12345};
  std::thread waiter([&] { result = WaitForSingleObject(ev, INFINITE); });
  std::this_thread::sleep_for(kSettle);
  CloseHandle(ev);
  waiter.join();
  EXPECT_EQ(result.load(), WAIT_FAILED);
}

TEST(Mutex, IsReentrantAndNeedsOneReleasePerWait) {
  HANDLE m = CreateMutex();
  ASSERT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
  ASSERT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);

  std::atomic<bool> acquired{false};
  std::thread other([&] {
    if (WaitForSingleObject(m, kHangGuardMs) == WAIT_OBJECT_0) {
      acquired = true;
      ReleaseMutex(m);
    }
  });
  EXPECT_TRUE(ReleaseMutex(m));
  std::this_thread::sleep_for(kSettle);
  EXPECT_FALSE(acquired.load()) << "one release of two must keep the mutex owned";
  EXPECT_TRUE(ReleaseMutex(m));
  other.join();
  EXPECT_TRUE(acquired.load());
  EXPECT_FALSE(ReleaseMutex(m)) << "releasing more often than acquired";
  CloseHandle(m);
}

TEST(Mutex, OtherThreadTimesOutAndCannotRelease) {
  HANDLE m = CreateMutex();
  ASSERT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
  std::thread other([&] {
    EXPECT_EQ(WaitForSingleObject(m, 20), WAIT_TIMEOUT);
    EXPECT_FALSE(ReleaseMutex(m));
  });
  other.join();
  EXPECT_TRUE(ReleaseMutex(m));
  CloseHandle(m);
}

TEST(Mutex, AbandonedByEndingOwnerIsReportedToNextWaiterOnce) {
  HANDLE m = CreateMutex();
  HANDLE ev = CreateEvent(true, false);
  std::thread owner([&] {
    WaitForSingleObject(m, 0);
    WaitForSingleObject(m, 0);  // held twice: abandonment drops the whole recursion
  });
  owner.join();
  HANDLE hs[] = {ev, m};
  EXPECT_EQ(WaitForMultipleObjects(2, hs, 1000), WAIT_ABANDONED_0 + 1);
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(m));
  CloseHandle(m);
  CloseHandle(ev);
}

// Takes and gives back a mutex from a thread-local destructor: destructors like it run after the
// thread's own bookkeeping may be gone (on the main thread, every static destructor does).
struct LockAtThreadEnd {
  HANDLE mutex = 0;
  std::atomic<uint32_t>* taken = nullptr;
  std::atomic<bool>* released = nullptr;
  ~LockAtThreadEnd() {
    if (mutex == 0) return;
    *taken = WaitForSingleObject(mutex, 0);
    *released = ReleaseMutex(mutex);
  }
};

TEST(Mutex, WorksInDestructorsThatRunAsTheThreadEnds) {
  HANDLE m = CreateMutex();
  std::atomic<uint32_t> taken{WAIT_FAILED};
  std::atomic<bool> released{false};
  std::thread worker([&] {
    // Constructed before the thread's first wait, so destroyed after whatever that wait set up.
    thread_local LockAtThreadEnd late;
    late.mutex = m;
    late.taken = &taken;
    late.released = &released;
    ASSERT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(ReleaseMutex(m));
  });
  worker.join();
  EXPECT_EQ(taken.load(), WAIT_OBJECT_0);
  EXPECT_TRUE(released.load());
  // Given back for good: neither owned nor abandoned.
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(m));
  CloseHandle(m);
}

TEST(Mutex, AbandonmentWakesABlockedWaiter) {
  HANDLE m = CreateMutex();
  HANDLE go = CreateEvent(true, false);
  HANDLE taken = CreateEvent(true, false);
  std::thread owner([&] {
    WaitForSingleObject(m, 0);
    SetEvent(taken);
    WaitForSingleObject(go, kHangGuardMs);
  });
  ASSERT_EQ(WaitForSingleObject(taken, kHangGuardMs), WAIT_OBJECT_0);
  std::atomic<uint32_t> result{0x12345};
  std::thread waiter([&] {
    result = WaitForSingleObject(m, kHangGuardMs);
    if (result == WAIT_ABANDONED_0) ReleaseMutex(m);
  });
  std::this_thread::sleep_for(kSettle);
  SetEvent(go);
  owner.join();
  waiter.join();
  EXPECT_EQ(result.load(), WAIT_ABANDONED_0);
  CloseHandle(m);
  CloseHandle(go);
  CloseHandle(taken);
}

TEST(Mutex, ProtectsACounterUnderContention) {
  HANDLE m = CreateMutex();
  int counter = 0;
  constexpr int kPerThread = 20000;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kPerThread; ++i) {
        ASSERT_EQ(WaitForSingleObject(m, kHangGuardMs), WAIT_OBJECT_0);
        ++counter;
        ASSERT_TRUE(ReleaseMutex(m));
      }
    });
  }
  for (auto& t : threads)
    t.join();
  EXPECT_EQ(counter, 4 * kPerThread);
  CloseHandle(m);
}

TEST(Event, PingPongLosesNoSignal) {
  HANDLE ping = CreateEvent(false, false);
  HANDLE pong = CreateEvent(false, false);
  constexpr int kRounds = 20000;
  std::thread other([&] {
    for (int i = 0; i < kRounds; ++i) {
      ASSERT_EQ(WaitForSingleObject(ping, kHangGuardMs), WAIT_OBJECT_0);
      SetEvent(pong);
    }
  });
  for (int i = 0; i < kRounds; ++i) {
    SetEvent(ping);
    ASSERT_EQ(WaitForSingleObject(pong, kHangGuardMs), WAIT_OBJECT_0);
  }
  other.join();
  CloseHandle(ping);
  CloseHandle(pong);
}

}  // namespace
}  // namespace platform
