// Time services: the wrapping 32-bit millisecond tick count, sleeping, and the speaker.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

// Milliseconds since an arbitrary start, wrapping every 49.7 days like the system tick count.
uint32_t GetTickCount();

// Replaces the tick source (tests use it to simulate a tick count near the wrap); an empty
// function restores the monotonic clock.
void SetTickSource(std::function<uint32_t()> source);

// Signed distance from `from` to `to` that stays right across the 32-bit wrap.
inline int32_t TickDiff(uint32_t to, uint32_t from) {
  return static_cast<int32_t>(to - from);
}

void Sleep(uint32_t milliseconds);

// The system speaker. No sound device exists here, so Beep only takes its time.
void Beep(uint32_t frequencyHz, uint32_t durationMs);
void MessageBeep(uint32_t type);

}  // namespace platform
