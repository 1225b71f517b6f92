// What the message-path benchmarks share: a producer that stays at most kMaxInFlight messages
// ahead of the consumer, as a real provider and a responsive program would, so that the figures
// measure the path and not the growth of a backlog, and a guard against a path that stopped.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace zvtapi::bench {

using Clock = std::chrono::steady_clock;

inline constexpr uint64_t kMaxInFlight = 10'000;
// A run in which no message arrives for this long has found a broken path; it ends with an
// error instead of hanging.
inline constexpr std::chrono::seconds kStallLimit{10};
// A producer that hit the limit resumes when the backlog has fallen to this size, so that it
// does not wake for every single message taken.
inline constexpr uint64_t kResumeInFlight = kMaxInFlight / 2;

// Counts consumed messages and lets the producer wait for room without the consumer paying
// more than two atomic operations per message while nobody waits.
class FlowControl {
 public:
  // Consumer side: one more message taken. Returns the total so far.
  uint64_t Consumed() {
    const uint64_t done = FConsumed.fetch_add(1) + 1;
    if (FProducerWaiting.load() && done >= FResumeAt.load()) {
      std::lock_guard lock(FLock);
      FWake.notify_one();
    }
    return done;
  }

  uint64_t ConsumedCount() const { return FConsumed.load(); }

  // Producer side: blocks while `posted` is kMaxInFlight or more ahead of the consumer. False
  // when the run was cancelled.
  bool WaitForRoom(uint64_t posted) {
    if (posted - FConsumed.load() < kMaxInFlight) return !FCancelled.load();
    std::unique_lock lock(FLock);
    FResumeAt.store(posted - kResumeInFlight);
    FProducerWaiting.store(true);
    FWake.wait(lock, [&] { return FCancelled.load() || FConsumed.load() >= FResumeAt.load(); });
    FProducerWaiting.store(false);
    return !FCancelled.load();
  }

  // Releases a waiting producer for good; used when the consumer gives up.
  void Cancel() {
    std::lock_guard lock(FLock);
    FCancelled.store(true);
    FWake.notify_one();
  }

 private:
  std::atomic<uint64_t> FConsumed{0};
  std::atomic<uint64_t> FResumeAt{0};
  std::atomic<bool> FProducerWaiting{false};
  std::atomic<bool> FCancelled{false};
  std::mutex FLock;
  std::condition_variable FWake;
};

inline double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// Watches a consumer loop for progress; Check() is called whenever the consumer found nothing.
class StallGuard {
 public:
  explicit StallGuard(FlowControl& flow) : FFlow(flow) {}
  void Check(const char* what) {
    const uint64_t consumed = FFlow.ConsumedCount();
    const Clock::time_point now = Clock::now();
    if (consumed != FLastCount) {
      FLastCount = consumed;
      FLastProgress = now;
    } else if (now - FLastProgress > kStallLimit) {
      FFlow.Cancel();
      throw std::runtime_error(std::string(what) + ": messages stopped arriving");
    }
  }

 private:
  FlowControl& FFlow;
  uint64_t FLastCount = 0;
  Clock::time_point FLastProgress = Clock::now();
};

}  // namespace zvtapi::bench
