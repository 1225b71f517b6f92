// One SIP account as the telephony configuration describes it: the SIP provider offers one line
// device per account, with one address (the address of record).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tapi32::sip {

// Where a call's audio comes from and goes to.
struct AudioConfig {
  enum class Kind : uint8_t {
    Pulse,  // the machine's sound devices through PulseAudio's API (PipeWire serves it too)
    Files,  // WAV files: for tests and machines without sound
    None,   // silence is sent, what arrives is dropped
  };
  Kind kind = Kind::Pulse;
  // Pulse: the source (microphone) and sink (speaker) names, empty for the defaults.
  // Files: `source` is the WAV file played to the far end (8 kHz, mono, 16-bit; it starts again
  // at its end), `sink` the folder each call's received audio is written to as a WAV file.
  std::string source;
  std::string sink;
};

struct SipAccount {
  std::string origin;             // "<file>:<line>" of the account's section, for messages
  std::string displayName;        // the line's name, and the display name of our From header
  std::string aor;                // address of record: sip:user@domain[:port]
  std::string registrar;          // the registrar's URI; empty: the account does not register
  std::string outboundProxy;      // every request goes through it; empty: none
  std::string authUser;           // empty: the user part of the address of record
  std::string password;           // digest authentication; empty: none
  std::string transport = "udp";  // udp or tcp
  std::string localAddress = "0.0.0.0:0";  // address and port SIP listens on (port 0: any)
  uint16_t rtpPortMin = 10000;
  uint16_t rtpPortMax = 20000;
  std::vector<std::string> codecs = {"PCMU", "PCMA"};  // in order of preference
  uint32_t registerExpiresS = 600;
  AudioConfig audio;
  // The sound cards the line names for "wave/in" / "wave/out" (ALSA card numbers, as the
  // simulated switch's lines do); none: the line does not list the class.
  std::optional<uint32_t> waveIn, waveOut;
};

}  // namespace tapi32::sip
