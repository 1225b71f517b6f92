// The user-interface thread's posted-message queue. One FIFO holds the messages of all windows.
// Each message carries a sequence number so that every dispatch call (nested ones included)
// takes messages from the front in posting order but stops at those posted after it began.
// Window procedures run without the lock held, so they may post, destroy windows or dispatch
// re-entrantly.
#include "platform/message_window.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace platform {
namespace {

struct Window {
  WindowProc proc;
  bool alive = true;  // guarded by the queue lock
};

struct Entry {
  Message message;
  std::shared_ptr<Window> window;  // keeps the procedure alive while it runs
  uint64_t seq;
};

// A growable ring buffer: no allocation per message once it has grown to the working size.
class EntryRing {
 public:
  bool Empty() const { return FCount == 0; }
  const Entry& Front() const { return FSlots[FHead]; }

  void Push(Entry&& entry) {
    if (FCount == FSlots.size()) Grow();
    FSlots[(FHead + FCount) & (FSlots.size() - 1)] = std::move(entry);
    ++FCount;
  }

  Entry Pop() {
    Entry e = std::move(FSlots[FHead]);
    FHead = (FHead + 1) & (FSlots.size() - 1);
    --FCount;
    return e;
  }

 private:
  void Grow() {
    std::vector<Entry> bigger(FSlots.empty() ? 64 : FSlots.size() * 2);
    for (size_t i = 0; i < FCount; ++i) {
      bigger[i] = std::move(FSlots[(FHead + i) & (FSlots.size() - 1)]);
    }
    FSlots = std::move(bigger);
    FHead = 0;
  }

  std::vector<Entry> FSlots;  // size is a power of two
  size_t FHead = 0;
  size_t FCount = 0;
};

class DefaultPump final : public MessagePump {
 public:
  void Wake() override {}
  void ProcessPending() override { DispatchPendingMessages(); }
};

struct Globals {
  std::mutex lock;
  std::unordered_map<HWND, std::shared_ptr<Window>> windows;
  HWND nextWindow = 1;
  EntryRing queue;
  uint64_t nextSeq = 0;
  bool quitPosted = false;
  int quitCode = 0;
  // RunMessageLoop sleeps on this; posters only notify when somebody sleeps.
  std::condition_variable loopCv;
  std::atomic<int> loopSleepers{0};

  DefaultPump defaultPump;
  std::atomic<MessagePump*> pump{&defaultPump};
  // Wake calls in progress, so that SetMessagePump can wait until an old pump is no longer used.
  std::atomic<int> wakesInFlight{0};
};

// Never destroyed: other threads may still post while the program shuts down.
Globals& G() {
  static Globals* globals = new Globals;
  return *globals;
}

void WakeUp(Globals& g) {
  if (g.loopSleepers.load() > 0) g.loopCv.notify_all();
  g.wakesInFlight.fetch_add(1);
  MessagePump* pump = g.pump.load();
  pump->Wake();
  g.wakesInFlight.fetch_sub(1);
}

}  // namespace

HWND AllocateHWnd(WindowProc proc) {
  auto window = std::make_shared<Window>();
  window->proc = std::move(proc);
  Globals& g = G();
  std::lock_guard guard(g.lock);
  HWND h;
  do {
    h = g.nextWindow++;
  } while (h == 0 || g.windows.count(h) != 0);
  g.windows.emplace(h, std::move(window));
  return h;
}

bool DeallocateHWnd(HWND window) {
  std::shared_ptr<Window> doomed;  // the procedure is destroyed after the lock is released
  Globals& g = G();
  std::lock_guard guard(g.lock);
  auto it = g.windows.find(window);
  if (it == g.windows.end()) return false;
  doomed = std::move(it->second);
  doomed->alive = false;
  g.windows.erase(it);
  return true;
}

bool PostMessage(HWND window, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  Globals& g = G();
  {
    std::lock_guard guard(g.lock);
    auto it = g.windows.find(window);
    if (it == g.windows.end()) return false;
    g.queue.Push(Entry{Message{window, msg, wParam, lParam, 0}, it->second, g.nextSeq++});
  }
  WakeUp(g);
  return true;
}

void DefWindowProc(Message& message) {
  message.result = 0;
}

int DispatchPendingMessages() {
  Globals& g = G();
  int dispatched = 0;
  std::unique_lock guard(g.lock);
  const uint64_t limit = g.nextSeq;
  while (!g.queue.Empty() && g.queue.Front().seq < limit) {
    Entry entry = g.queue.Pop();
    if (!entry.window->alive) continue;
    guard.unlock();
    entry.window->proc(entry.message);
    ++dispatched;
    // Drop our reference before taking the lock: if the window was destroyed meanwhile this
    // destroys its procedure, which may do anything.
    entry.window.reset();
    guard.lock();
  }
  return dispatched;
}

void ProcessMessages() {
  G().pump.load()->ProcessPending();
}

int RunMessageLoop() {
  Globals& g = G();
  for (;;) {
    {
      std::unique_lock guard(g.lock);
      if (g.queue.Empty()) {
        // Like the system's quit message, the quit request comes after the posted messages.
        if (g.quitPosted) {
          g.quitPosted = false;
          return g.quitCode;
        }
        g.loopSleepers.fetch_add(1);
        g.loopCv.wait(guard, [&g] { return !g.queue.Empty() || g.quitPosted; });
        g.loopSleepers.fetch_sub(1);
        continue;
      }
    }
    DispatchPendingMessages();
  }
}

void PostQuitMessage(int exitCode) {
  Globals& g = G();
  {
    std::lock_guard guard(g.lock);
    g.quitPosted = true;
    g.quitCode = exitCode;
  }
  WakeUp(g);
}

void SetMessagePump(MessagePump* pump) {
  Globals& g = G();
  g.pump.store(pump != nullptr ? pump : &g.defaultPump);
  // The old pump may be destroyed once we return: let running Wake calls on it finish.
  while (g.wakesInFlight.load() != 0)
    std::this_thread::yield();
}

}  // namespace platform
