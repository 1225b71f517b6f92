// Notices a user-interface thread that stops answering. The thread beats (Beat) from a timer of
// its event loop; a watchdog thread checks the beats and reports a freeze once the last beat is
// older than the limit, and the next beat after that reports the recovery on the
// user-interface thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace ringwatch::crash {

class TWatchdog {
 public:
  using TDuration = std::chrono::milliseconds;
  // OnFreeze runs on the watchdog thread with the time since the last beat, once per freeze;
  // OnRecovered runs inside the first Beat after it.
  TWatchdog(TDuration limit, std::function<void(TDuration)> onFreeze,
            std::function<void(TDuration)> onRecovered);
  // Stops and joins the watchdog thread.
  ~TWatchdog();
  TWatchdog(const TWatchdog&) = delete;
  TWatchdog& operator=(const TWatchdog&) = delete;

  // The user-interface thread answers. Call it at least a few times per limit.
  void Beat();
  TDuration Limit() const { return FLimit; }
  // While paused (the user-interface thread waits for something known, such as the stacks
  // helper) silence is no freeze; resuming counts as a beat.
  void SetPaused(bool paused);

 private:
  void Run();

  using TClock = std::chrono::steady_clock;
  const TDuration FLimit;
  std::function<void(TDuration)> FOnFreeze;
  std::function<void(TDuration)> FOnRecovered;
  std::atomic<TClock::rep> FLastBeat;
  // Set by the watchdog thread when it reported a freeze; taken back by the next beat.
  std::atomic<bool> FFrozen{false};
  std::atomic<bool> FPaused{false};
  std::mutex FLock;
  std::condition_variable FStop;
  bool FStopping = false;
  std::thread FThread;
};

// The freeze limit: RINGWATCH_WATCHDOG_MS when it is a positive number (tests shorten it),
// otherwise five seconds; none (0) when RINGWATCH_WATCHDOG_MS is 0.
std::chrono::milliseconds WatchdogLimitFromEnvironment();

}  // namespace ringwatch::crash
