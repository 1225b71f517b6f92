// The user's telephony configuration: which providers the runtime serves and with which devices,
// the simulated switch and SIP accounts (docs/telephony-configuration.md).
//
// The file is the one named by ZVTAPI_TELEPHONY when it is set and not empty, otherwise
// $XDG_CONFIG_HOME/ringwatch/telephony.ini ($XDG_CONFIG_HOME defaults to ~/.config). Without a
// file the switch runs alone, as the demo office or from ZVTAPI_SIM_CONFIG.
//
// Format: the line-based text of config_file.h.
//
//   [switch]                  at most one; without it no switch runs
//   demo = yes                the demo office (also what an empty section gives), or
//   file = switch.ini         a switch configuration file (tapi32/sim/config.h); relative to
//                             this file's folder. ZVTAPI_SIM_CONFIG, when set, wins over both
//   [sip]                     one per SIP account, each a line device
//   name = Reception          required and unique: the line's name
//   aor = sip:alice@example.org        required: the address of record
//   registrar = sip:pbx.example.org    optional: where the account registers
//   outbound_proxy = sip:proxy.example.org;lr
//   auth_user = alice         digest user name (default: the user part of the aor)
//   password = secret         the file must then be private to its owner (chmod 600)
//   transport = udp           udp or tcp
//   local_address = 0.0.0.0:0 address and port SIP listens on ([::]:5070 for IPv6; port 0: any)
//   rtp_ports = 10000-10999   the ports RTP takes its sockets from
//   codecs = PCMU, PCMA       in order of preference
//   register_expires = 600    seconds a registration lasts
//   audio = pulse             pulse, files or none
//   audio_source =            pulse: source name; files: the WAV file played to the far end
//   audio_sink =              pulse: sink name; files: the folder received audio is written to
//   wave_in = 0               the ALSA cards the line names for "wave/in" / "wave/out"
//   wave_out = 0
//
// A file the reader cannot make sense of as a whole (an unknown section, a key outside a
// section, a line that is neither, a bad [switch] section, an unreadable file, or passwords in a
// file others can read) throws TelephonyConfigError. A bad account is left out and its problem
// listed in TelephonyConfig::skipped; the other accounts and the switch go on. Every message
// reads "<file>:<line>: <problem>".
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tapi32/sip/account.h"

namespace tapi32 {

// The environment variable that names another telephony configuration file.
inline constexpr const char* kTelephonyVariable = "ZVTAPI_TELEPHONY";

class TelephonyConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where the simulated switch takes its devices from.
struct SwitchChoice {
  std::string file;  // a switch configuration file; empty: the demo office
};

struct TelephonyConfig {
  std::optional<SwitchChoice> simSwitch;  // none: no switch runs
  std::vector<sip::SipAccount> accounts;
  std::vector<std::string> skipped;  // why each left-out account was left out
  int firstPasswordLine = 0;         // the first line that sets a password; 0: none does
};

// What the runtime serves when there is no telephony file: the switch alone.
TelephonyConfig DefaultTelephonyConfig();

// The telephony file (see above); empty when neither ZVTAPI_TELEPHONY, XDG_CONFIG_HOME nor HOME
// says where.
std::string TelephonyFilePath();

// Reads configuration text; `fileName` labels the messages and its folder anchors relative
// paths.
TelephonyConfig ParseTelephonyConfig(const std::string& text, const std::string& fileName);

// The configuration in the file at `path`, or DefaultTelephonyConfig() when there is no such
// file. Refuses a file that sets a password and that group or others may read.
TelephonyConfig LoadTelephonyConfig(const std::string& path);

}  // namespace tapi32
