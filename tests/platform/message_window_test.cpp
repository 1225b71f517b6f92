#include "platform/message_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace platform {
namespace {

using namespace std::chrono_literals;

// The queue is process-wide: every test starts and ends with it empty.
class MessageWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { DispatchPendingMessages(); }
  void TearDown() override {
    for (HWND w : FWindows)
      DeallocateHWnd(w);
    DispatchPendingMessages();
    SetMessagePump(nullptr);
  }
  HWND Window(WindowProc proc) {
    HWND w = AllocateHWnd(std::move(proc));
    FWindows.push_back(w);
    return w;
  }
  // A window that records the messages it receives.
  HWND Recorder(std::vector<uint32_t>& log) {
    return Window([&log](Message& m) {
      log.push_back(m.msg);
      DefWindowProc(m);
    });
  }

 private:
  std::vector<HWND> FWindows;
};

TEST_F(MessageWindowTest, DeliversInPostingOrderWithParameters) {
  std::vector<Message> got;
  HWND w = Window([&](Message& m) { got.push_back(m); });
  ASSERT_NE(w, 0u);
  EXPECT_TRUE(PostMessage(w, WM_USER + 1, 11, -1));
  EXPECT_TRUE(PostMessage(w, WM_USER + 2, 22, -2));
  EXPECT_EQ(DispatchPendingMessages(), 2);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].hwnd, w);
  EXPECT_EQ(got[0].msg, WM_USER + 1);
  EXPECT_EQ(got[0].wParam, 11u);
  EXPECT_EQ(got[0].lParam, -1);
  EXPECT_EQ(got[1].msg, WM_USER + 2);
  EXPECT_EQ(DispatchPendingMessages(), 0);
}

TEST_F(MessageWindowTest, PostToUnknownOrDestroyedWindowFails) {
  std::vector<uint32_t> log;
  HWND w = Recorder(log);
  EXPECT_FALSE(PostMessage(0, WM_USER, 0, 0));
  EXPECT_TRUE(DeallocateHWnd(w));
  EXPECT_FALSE(DeallocateHWnd(w));
  EXPECT_FALSE(PostMessage(w, WM_USER, 0, 0));
  HWND again = Recorder(log);
  EXPECT_NE(again, w);
}

TEST_F(MessageWindowTest, PostedFromAnotherThreadDispatchedHere) {
  const auto uiThread = std::this_thread::get_id();
  std::atomic<int> calls{0};
  HWND w = Window([&](Message& m) {
    EXPECT_EQ(std::this_thread::get_id(), uiThread);
    EXPECT_EQ(m.wParam, static_cast<uintptr_t>(calls.load()));
    ++calls;
  });
  constexpr int kCount = 1000;
  std::thread poster([&] {
    for (int i = 0; i < kCount; ++i)
      PostMessage(w, WM_USER, i, 0);
  });
  poster.join();
  EXPECT_EQ(DispatchPendingMessages(), kCount);
  EXPECT_EQ(calls.load(), kCount);
}

TEST_F(MessageWindowTest, MessagesPostedDuringDispatchWaitForTheNextCall) {
  std::vector<uint32_t> log;
  HWND w = Window([&](Message& m) {
    log.push_back(m.msg);
    if (m.msg == WM_USER) PostMessage(m.hwnd, WM_USER + 1, 0, 0);
  });
  PostMessage(w, WM_USER, 0, 0);
  EXPECT_EQ(DispatchPendingMessages(), 1);
  EXPECT_EQ(log, std::vector<uint32_t>{WM_USER});
  EXPECT_EQ(DispatchPendingMessages(), 1);
  EXPECT_EQ(log, (std::vector<uint32_t>{WM_USER, WM_USER + 1}));
}

TEST_F(MessageWindowTest, DestroyedWindowLosesPendingMessagesOthersKeepTheirs) {
  std::vector<uint32_t> logA, logB;
  HWND a = Recorder(logA);
  HWND b = Recorder(logB);
  PostMessage(a, WM_USER, 0, 0);
  PostMessage(b, WM_USER + 1, 0, 0);
  PostMessage(a, WM_USER + 2, 0, 0);
  DeallocateHWnd(a);
  EXPECT_EQ(DispatchPendingMessages(), 1);
  EXPECT_TRUE(logA.empty());
  EXPECT_EQ(logB, std::vector<uint32_t>{WM_USER + 1});
}

TEST_F(MessageWindowTest, ProcedureMayDestroyItsOwnWindow) {
  int calls = 0;
  bool procAlive = true;
  struct Flag {
    bool* alive;
    ~Flag() { *alive = false; }
  };
  auto flag = std::make_shared<Flag>(Flag{&procAlive});
  HWND w = AllocateHWnd([&calls, flag](Message& m) {
    ++calls;
    DeallocateHWnd(m.hwnd);
    // The procedure object must still be intact while it runs.
    EXPECT_NE(flag->alive, nullptr);
  });
  flag.reset();
  PostMessage(w, WM_USER, 0, 0);
  PostMessage(w, WM_USER, 0, 0);
  EXPECT_EQ(DispatchPendingMessages(), 1);
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(procAlive) << "the destroyed window's procedure is released after its last call";
}

TEST_F(MessageWindowTest, NestedDispatchKeepsPostingOrder) {
  std::vector<uint32_t> log;
  HWND w = Window([&](Message& m) {
    log.push_back(m.msg);
    if (m.msg == WM_USER) {
      // A synchronous wait inside a handler pumps the queue.
      PostMessage(m.hwnd, WM_USER + 9, 0, 0);
      ProcessMessages();
    }
  });
  PostMessage(w, WM_USER, 0, 0);
  PostMessage(w, WM_USER + 1, 0, 0);
  PostMessage(w, WM_USER + 2, 0, 0);
  DispatchPendingMessages();
  EXPECT_EQ(log, (std::vector<uint32_t>{WM_USER, WM_USER + 1, WM_USER + 2, WM_USER + 9}));
  EXPECT_EQ(DispatchPendingMessages(), 0);
}

class CountingPump : public MessagePump {
 public:
  void Wake() override { ++Wakes; }
  void ProcessPending() override {
    ++Processed;
    DispatchPendingMessages();
  }
  std::atomic<int> Wakes{0};
  int Processed = 0;
};

TEST_F(MessageWindowTest, CustomPumpIsWokenAndDrivesProcessMessages) {
  std::vector<uint32_t> log;
  HWND w = Recorder(log);
  CountingPump pump;
  SetMessagePump(&pump);
  std::thread poster([&] { PostMessage(w, WM_USER, 0, 0); });
  poster.join();
  EXPECT_EQ(pump.Wakes.load(), 1);
  ProcessMessages();
  EXPECT_EQ(pump.Processed, 1);
  EXPECT_EQ(log, std::vector<uint32_t>{WM_USER});

  SetMessagePump(nullptr);
  PostMessage(w, WM_USER + 1, 0, 0);
  EXPECT_EQ(pump.Wakes.load(), 1);
  ProcessMessages();  // the default pump dispatches directly
  EXPECT_EQ(pump.Processed, 1);
  EXPECT_EQ(log, (std::vector<uint32_t>{WM_USER, WM_USER + 1}));
}

TEST_F(MessageWindowTest, RunMessageLoopUntilQuitFromAnotherThread) {
  std::atomic<int> calls{0};
  HWND w = Window([&](Message&) { ++calls; });
  std::thread other([&] {
    std::this_thread::sleep_for(30ms);  // let the loop go to sleep first
    for (int i = 0; i < 10; ++i)
      PostMessage(w, WM_USER, 0, 0);
    std::this_thread::sleep_for(10ms);
    PostQuitMessage(7);
  });
  EXPECT_EQ(RunMessageLoop(), 7);
  other.join();
  EXPECT_EQ(calls.load(), 10);
}

TEST_F(MessageWindowTest, QuitFromAHandlerComesAfterEarlierMessages) {
  std::vector<uint32_t> log;
  HWND w = Window([&](Message& m) {
    log.push_back(m.msg);
    if (m.msg == WM_USER) PostQuitMessage(3);
  });
  PostMessage(w, WM_USER, 0, 0);
  PostMessage(w, WM_USER + 1, 0, 0);
  EXPECT_EQ(RunMessageLoop(), 3);
  EXPECT_EQ(log, (std::vector<uint32_t>{WM_USER, WM_USER + 1}));
}

}  // namespace
}  // namespace platform
