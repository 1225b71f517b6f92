// The media of one SIP call: its SDP offer/answer, its RTP stream of G.711 audio (PCMU or PCMA)
// with RFC 4733 telephone events, and the audio devices or WAV files the audio is played from
// and recorded to. Everything here runs on the SIP loop thread (loop.h); audio devices that
// block are served by threads of the session's own. SDP travels as text so that the signalling
// code and the tests need no libre types.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tapi32/sip/account.h"

namespace tapi32::sip {

struct MediaConfig {
  std::string localIp;  // the address RTP listens on and the SDP announces
  uint16_t portMin = 10000;
  uint16_t portMax = 20000;
  std::vector<std::string> codecs = {"PCMU", "PCMA"};
  AudioConfig audio;
  std::string callTag;  // names the recording of a Files sink (<sink>/<callTag>.wav)
};

class MediaSession {
 public:
  struct Events {
    // A telephone event (RFC 4733) started (end false) or ended (end true): '0'-'9', '*', '#',
    // 'A'-'D'. Each once, however often the peer repeats its packets. Called from the session's
    // socket handler: it must not destroy the session (post that to the loop instead).
    std::function<void(char digit, bool end)> digit;
  };

  // Opens the RTP socket (and RTCP on the next port) on a free port of the range. On the loop
  // thread, where the session is also used and destroyed, before the loop stops. Throws
  // std::runtime_error when no port is free.
  static std::unique_ptr<MediaSession> Create(const MediaConfig& config, Events events);
  virtual ~MediaSession() = default;

  // Our offer, for an INVITE or a re-INVITE: every configured codec plus telephone-event, in the
  // direction SetHold chose.
  virtual std::string Offer() = 0;
  // The peer's offer (INVITE or re-INVITE): our answer, or empty when no codec is common (the
  // caller then answers 488).
  virtual std::string Answer(const std::string& offer) = 0;
  // The peer's answer to our offer; false when it is unusable.
  virtual bool Accept(const std::string& answer) = 0;
  // Our side holds the call (sendonly in the next offer) or resumes it (sendrecv).
  virtual void SetHold(bool hold) = 0;
  // The peer's latest offer put the call on hold (sendonly or inactive from its side). Our own
  // hold, answered recvonly by the peer, is not a hold by the peer.
  virtual bool PeerHolds() const = 0;
  // Audio flows once both sides agreed and Start was called, in each direction the last
  // offer/answer allows; nothing is sent while we hold. Start opens the audio ends. Stop is final
  // (a later Start does nothing): nothing more is sent or received, and a Files recording is
  // complete once it returns.
  virtual void Start() = 0;
  virtual void Stop() = 0;
  // Queues a telephone event lasting durationMs (whole 20 ms packets); digits follow each other
  // with a packet of audio between them. False when the peer did not offer telephone-event or
  // the digit is not one.
  virtual bool SendDigit(char digit, uint32_t durationMs) = 0;
  // The negotiated codec ("PCMU"/"PCMA"), empty before negotiation.
  virtual std::string Codec() const = 0;
  // Packets received so far (tests and logs: media is flowing).
  virtual uint64_t PacketsReceived() const = 0;
};

}  // namespace tapi32::sip
