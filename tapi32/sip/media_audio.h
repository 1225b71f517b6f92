// The two ends of a call's audio on this machine: where the samples we send come from and where
// the samples that arrive go. The media session asks for one 20 ms frame (160 samples at 8 kHz)
// per tick and hands over what it decoded, both on the SIP loop thread, so every end here returns
// at once: files are read once and shared, recordings are written in batches, and the sound
// devices, whose calls block, are served by a thread of the end's own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "tapi32/sip/account.h"

namespace tapi32::sip {

class AudioEnds {
 public:
  static constexpr uint32_t kSampleRate = 8000;
  static constexpr size_t kFrameSamples = 160;  // 20 ms
  using Frame = std::array<int16_t, kFrameSamples>;

  // Never fails: an end that cannot be opened is reported on stderr ("sip: ...") and behaves as
  // silence, so that the call goes on without audio.
  static std::unique_ptr<AudioEnds> Open(const AudioConfig& config, const std::string& callTag);
  virtual ~AudioEnds() = default;

  // The next frame to send.
  virtual void Capture(Frame& frame) = 0;
  // Samples that arrived from the far end.
  virtual void Play(std::span<const int16_t> samples) = 0;
};

}  // namespace tapi32::sip
