// The simulated switch's clock: one thread that runs the switch's timed events (far ends that
// answer after a while, the demo traffic) with the global TAPI lock held.
//
// Stop() ends the thread and drops every event that has not run; an event that is already
// running finishes first. It must not be called while the caller holds the TAPI lock, because
// an event may be waiting for it. Events dropped by Clear() never run, even one that was taken
// off the list just before and waits for the TAPI lock: each event carries the generation it was
// scheduled in.
//
// Tests make the clock manual: time then stands still until Advance moves it, and the events
// that fall due run on the advancing thread, in the order of their times, so that nothing depends
// on how fast the machine is.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace tapi32::sim {

class Clock {
 public:
  using Task = std::function<void()>;

  // `lock` is the TAPI lock the events run under.
  explicit Clock(std::recursive_mutex& lock) : lock_(lock) {}
  Clock(const Clock&) = delete;
  Clock& operator=(const Clock&) = delete;

  // Runs `task` delayMs from now on the clock's thread (started on first use).
  void Schedule(uint32_t delayMs, Task task);
  // Drops the events that have not run yet. Call with the TAPI lock held.
  void Clear();
  // Clear(), then ends the thread and waits for it.
  void Stop();
  // Stop() for good: later events are ignored. For the end of the process.
  void Shutdown();
  // Events waiting to run.
  size_t Pending() const;
  // Every delay scheduled from now on lasts 1/factor of its length (factor 1: real time), so
  // that hours of traffic can be watched in minutes. Stays through Stop() and Clear().
  void SetSpeed(uint32_t factor);
  // Makes the clock manual from now on; Stop() makes it run by itself again.
  void MakeManual();
  // Manual clock: moves time on by ms and runs every event that falls due meanwhile (also those
  // they schedule), each with the TAPI lock held. Call without holding the clock's own lock.
  void Advance(uint32_t ms);
  bool Running() const;

 private:
  using Time = std::chrono::steady_clock::time_point;
  struct Event {
    uint64_t generation = 0;
    Task task;
  };
  void Loop();
  // Runs an event taken off the list, unless it was dropped meanwhile; without mutex_ held.
  void Run(const Event& event);
  Time Now() const;  // with mutex_ held

  std::recursive_mutex& lock_;
  mutable std::mutex mutex_;  // guards everything below; never held while taking lock_
  std::condition_variable wake_;
  std::multimap<Time, Event> events_;
  uint64_t generation_ = 0;
  bool stopping_ = false;
  bool shutDown_ = false;
  bool manual_ = false;
  uint32_t speed_ = 1;
  Time manualNow_{};  // the manual clock's time
  std::thread thread_;
};

}  // namespace tapi32::sim
