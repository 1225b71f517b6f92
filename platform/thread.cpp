#include "platform/thread.h"

#include <system_error>

namespace platform {

Thread::~Thread() {
  FTerminated.store(true, std::memory_order_release);
  WaitFor();
}

bool Thread::Start() {
  std::lock_guard guard(FJoinLock);
  if (FThread.joinable() || Finished()) return false;
  try {
    FThread = std::thread([this] {
      // An exception leaving a thread would end the process; the thread just ends instead.
      try {
        Execute();
      } catch (...) {
      }
      FFinished.store(true, std::memory_order_release);
    });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void Thread::Terminate() {
  FTerminated.store(true, std::memory_order_release);
}

void Thread::WaitFor() {
  std::lock_guard guard(FJoinLock);
  if (!FThread.joinable()) return;
  // A thread cannot join itself; it is finishing anyway, so let it go.
  if (FThread.get_id() == std::this_thread::get_id()) {
    FThread.detach();
    return;
  }
  FThread.join();
}

}  // namespace platform
