#include "app/crash/watchdog.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace ringwatch::crash {

TWatchdog::TWatchdog(TDuration limit, std::function<void(TDuration)> onFreeze,
                     std::function<void(TDuration)> onRecovered)
    : FLimit(limit),
      FOnFreeze(std::move(onFreeze)),
      FOnRecovered(std::move(onRecovered)),
      FLastBeat(TClock::now().time_since_epoch().count()),
      FThread([this] { Run(); }) {}

TWatchdog::~TWatchdog() {
  {
    std::lock_guard lock(FLock);
    FStopping = true;
  }
  FStop.notify_all();
  FThread.join();
}

void TWatchdog::Beat() {
  const TClock::time_point now = TClock::now();
  const TClock::time_point last(
      TClock::duration(FLastBeat.exchange(now.time_since_epoch().count())));
  if (FFrozen.exchange(false) && FOnRecovered)
    FOnRecovered(std::chrono::duration_cast<TDuration>(now - last));
}

void TWatchdog::SetPaused(bool paused) {
  FLastBeat.store(TClock::now().time_since_epoch().count());
  FPaused.store(paused);
}

void TWatchdog::Run() {
  // Checking four times per limit notices a freeze at most a quarter late.
  const TDuration interval = std::max(FLimit / 4, TDuration(1));
  std::unique_lock lock(FLock);
  while (!FStop.wait_for(lock, interval, [this] { return FStopping; })) {
    if (FFrozen.load() || FPaused.load()) continue;  // a freeze is reported once
    const TClock::time_point last(TClock::duration(FLastBeat.load()));
    const auto silent = std::chrono::duration_cast<TDuration>(TClock::now() - last);
    if (silent <= FLimit) continue;
    FFrozen.store(true);
    lock.unlock();
    if (FOnFreeze) FOnFreeze(silent);
    lock.lock();
  }
}

std::chrono::milliseconds WatchdogLimitFromEnvironment() {
  const char* value = std::getenv("RINGWATCH_WATCHDOG_MS");
  if (value && *value) {
    char* end = nullptr;
    const long long ms = std::strtoll(value, &end, 10);
    if (*end == '\0' && ms >= 0) return std::chrono::milliseconds(ms);
  }
  return std::chrono::seconds(5);
}

}  // namespace ringwatch::crash
