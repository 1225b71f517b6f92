// One worker thread class in the style of the toolkit's: derive, override Execute, poll
// Terminated().
#pragma once

#include <atomic>
#include <mutex>
#include <thread>

namespace platform {

class Thread {
 public:
  Thread() = default;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  // Waits for the thread to end (after Terminate) when it is still running. Only the base
  // Terminate runs here: a subclass that must wake its thread terminates and waits in its own
  // destructor, while its members still exist.
  virtual ~Thread();

  // Starts Execute on a new thread. False when the thread could not be created.
  bool Start();
  // Marks the thread terminated; Execute is expected to notice Terminated() and return.
  virtual void Terminate();
  // Blocks until Execute has returned. Safe to call more than once.
  void WaitFor();

  bool Terminated() const { return FTerminated.load(std::memory_order_acquire); }
  bool Finished() const { return FFinished.load(std::memory_order_acquire); }

 protected:
  virtual void Execute() = 0;

 private:
  std::thread FThread;
  std::mutex FJoinLock;  // WaitFor may be called from several threads
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
};

}  // namespace platform
