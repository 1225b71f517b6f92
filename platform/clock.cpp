#include "platform/clock.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {
namespace {

// The replacement tick source. The flag keeps the ordinary path free of locks; the event thread
// reads the source while a test may be replacing it, hence the shared copy.
std::atomic<bool> gHasSource{false};
std::mutex gSourceLock;
std::shared_ptr<const std::function<uint32_t()>> gSource;

}  // namespace

uint32_t GetTickCount() {
  if (gHasSource.load(std::memory_order_acquire)) {
    std::shared_ptr<const std::function<uint32_t()>> source;
    {
      std::lock_guard guard(gSourceLock);
      source = gSource;
    }
    if (source) return (*source)();
  }
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void SetTickSource(std::function<uint32_t()> source) {
  std::lock_guard guard(gSourceLock);
  if (source) {
    gSource = std::make_shared<const std::function<uint32_t()>>(std::move(source));
    gHasSource.store(true, std::memory_order_release);
  } else {
    gHasSource.store(false, std::memory_order_release);
    gSource.reset();
  }
}

void Sleep(uint32_t milliseconds) {
  if (milliseconds == 0) {
    std::this_thread::yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void Beep(uint32_t /*frequencyHz*/, uint32_t durationMs) {
  Sleep(durationMs);
}

void MessageBeep(uint32_t /*type*/) {}

}  // namespace platform
