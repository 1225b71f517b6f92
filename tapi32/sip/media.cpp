// Placeholder until the media session lands.
#include "tapi32/sip/media.h"

#include <stdexcept>

namespace tapi32::sip {

std::unique_ptr<MediaSession> MediaSession::Create(const MediaConfig&, Events) {
  throw std::runtime_error("SIP media is not available yet");
}

}  // namespace tapi32::sip
