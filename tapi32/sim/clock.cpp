#include "tapi32/sim/clock.h"

#include <algorithm>

namespace tapi32::sim {

void Clock::Schedule(uint32_t delayMs, Task task) {
  std::lock_guard guard(mutex_);
  // While the clock stops, what would be planned now belongs to what is being dropped.
  if (shutDown_ || stopping_) return;
  const Time due = Now() + std::chrono::microseconds(uint64_t{delayMs} * 1000 / speed_);
  events_.emplace(due, Event{generation_, std::move(task)});
  if (!thread_.joinable()) thread_ = std::thread([this] { Loop(); });
  wake_.notify_one();
}

void Clock::Run(const Event& event) {
  // The TAPI lock is taken without the clock's own: the switch schedules with it held.
  std::lock_guard tapi(lock_);
  bool current = false;
  {
    std::lock_guard check(mutex_);
    current = event.generation == generation_ && !stopping_;
  }
  if (current) event.task();
}

Clock::Time Clock::Now() const {
  return manual_ ? manualNow_ : std::chrono::steady_clock::now();
}

void Clock::SetSpeed(uint32_t factor) {
  std::lock_guard guard(mutex_);
  speed_ = factor == 0 ? 1 : factor;
}

void Clock::MakeManual() {
  std::lock_guard guard(mutex_);
  if (manual_) return;
  manualNow_ = std::chrono::steady_clock::now();
  manual_ = true;
  wake_.notify_all();
}

void Clock::Advance(uint32_t ms) {
  std::unique_lock guard(mutex_);
  if (!manual_) return;
  const Time until = manualNow_ + std::chrono::milliseconds(ms);
  while (!events_.empty() && events_.begin()->first <= until) {
    manualNow_ = std::max(manualNow_, events_.begin()->first);
    Event event = std::move(events_.begin()->second);
    events_.erase(events_.begin());
    guard.unlock();
    Run(event);
    guard.lock();
  }
  manualNow_ = until;
}

void Clock::Clear() {
  std::lock_guard guard(mutex_);
  events_.clear();
  ++generation_;
}

void Clock::Stop() {
  std::thread ending;
  {
    std::lock_guard guard(mutex_);
    events_.clear();
    ++generation_;
    stopping_ = true;
    ending = std::move(thread_);
  }
  wake_.notify_all();
  if (ending.joinable() && ending.get_id() != std::this_thread::get_id()) ending.join();
  if (ending.joinable()) ending.detach();  // an event stopping its own clock
  std::lock_guard guard(mutex_);
  stopping_ = false;
  manual_ = false;
}

void Clock::Shutdown() {
  {
    std::lock_guard guard(mutex_);
    shutDown_ = true;
  }
  Stop();
}

size_t Clock::Pending() const {
  std::lock_guard guard(mutex_);
  return events_.size();
}

bool Clock::Running() const {
  std::lock_guard guard(mutex_);
  return thread_.joinable();
}

void Clock::Loop() {
  std::unique_lock guard(mutex_);
  for (;;) {
    if (stopping_) return;
    // A manual clock's events run on the thread that advances it.
    if (events_.empty() || manual_) {
      wake_.wait(guard);
      continue;
    }
    const Time due = events_.begin()->first;
    if (std::chrono::steady_clock::now() < due) {
      wake_.wait_until(guard, due);
      continue;
    }
    Event event = std::move(events_.begin()->second);
    events_.erase(events_.begin());
    guard.unlock();
    Run(event);
    guard.lock();
  }
}

}  // namespace tapi32::sim
