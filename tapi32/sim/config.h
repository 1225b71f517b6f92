// Configuration of the simulated switch: which line and phone devices it offers and what they
// report about themselves.
//
// Configuration file (named by the environment variable ZVTAPI_SIM_CONFIG; without it the switch
// offers LiveDemoConfig()). Line-based, UTF-8:
//
//   # comment (also ';'), blank lines ignored
//   [line]                      starts a new line device; keys below describe it
//   name = Reception
//   permanent_id = 0x1001
//   media_modes = INTERACTIVEVOICE|AUTOMATEDVOICE
//   addresses = 2
//   address_names = 200, 201
//   refuse_owner = 0x80000036  an owner open fails with this code (LINEERR_INVALPRIVSELECT)
//   max_on_hold_calls = 2       what the line can do: limits, modes, user-user information sizes
//   generate_digit_modes = DTMF
//   uui_drop_size = 0
//   forward_modes = UNCOND|BUSY|NOANSW  call forwarding: modes, limits, rings, consultation call
//   forward_consult = yes
//   wave_in = 0                 the audio devices of "wave/in" / "wave/out" (see below)
//   wave_out = 0
//   modem_script = ATDT -> CONNECT 33600, -> READY   what the far end of a data call says
//   [phone]                     starts a new phone device
//   name = Desk phone
//   line = Reception            the phone is the set of that line
//   button_lamps = 16
//   wave_in = 0                 the handset's audio devices
//   wave_out = 0
//   [traffic]                   demo traffic (at most one section; every key optional)
//   enabled = yes               yes/no, on/off, true/false or 1/0
//   interval_ms = 4000          mean time between new calls
//   seed = 7
//   max_calls_per_line = 2
//   [replies]                   how asynchronous entry points answer (at most one section)
//   lineAnswer = effect_first
//   lineDrop = after 200, effect_first
//   lineMakeCallW = partial_effect_first, fail 0x80000048
//
// A [replies] key names an entry point that answers with LINE_REPLY (letter case ignored); its
// value is comma-separated terms: when (now, after <ms>, never), the order (reply_first,
// effect_first, partial_effect_first, which needs a failure) and the failure (fail <code>).
// Entry points without a key answer at once, reply first (requests.h). A device's api_high may
// not exceed kHighestDeviceVersion.
//
// Numbers are decimal or hexadecimal with 0x. Flag keys take numbers or flag names joined with
// '|', written short (DATAMODEM) or in full (LINEMEDIAMODE_DATAMODEM). Lists are comma-separated.
// Keys and flag names ignore letter case; values keep it. Every key is optional except that a
// section needs a name. See docs/simulated-switch.md for the keys of each section.
//
// Wave IDs. lineGetIDW / phoneGetIDW answer "wave/in" and "wave/out" with wave_in and wave_out
// when device_classes lists the class. A wave ID is the number of an ALSA sound card of this
// machine, as /proc/asound/cards lists them: a program opens the device with ALSA as
// "plughw:<ID>" (capture for wave/in, playback for wave/out), or under PulseAudio or PipeWire as
// the source or sink whose property alsa.card is <ID> (`pactl list sources`). 0, the default, is
// the first card. The switch makes no sound itself: the ID only says which device the station's
// audio belongs to.
//
// Data calls. On a line whose device_classes list comm/datamodem, a call of media mode DATAMODEM
// that becomes CONNECTED gets a pseudo-terminal: lineGetIDW "comm/datamodem" on the call hands
// the application a descriptor of its terminal end (raw mode), and the switch plays the far end
// on the other. Without modem_script the far end echoes every byte; with one it plays the steps
// in turn: "expected -> reply" waits until the text received since the last step contains
// `expected`, then sends `reply` followed by CR LF ("-> reply" sends at once), and after the
// last step it ignores what it receives. When the call leaves CONNECTED the switch closes its
// end: the application's reads see end of file, its writes fail.
//
// Problems are reported as ConfigError whose what() reads "<file>:<line>: <problem>".
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "tapi32/faults.h"
#include "tapi32/requests.h"
#include "tapi32/tapi_constants.h"
#include "tapi32/tapi_structs.h"

namespace tapi32::sim {

// The newest API version a device may offer: the runtime lays every structure out the way
// TAPI 2.2 defines it, so a device claiming a later version would promise fields it never fills.
inline constexpr uint32_t kHighestDeviceVersion = 0x00020002;

// The forwarding modes the switch can carry out: unconditional, on busy, on no answer and on
// busy or no answer, each for every caller, internal or external callers, or chosen callers.
inline constexpr uint32_t kSwitchForwardModes = 0xFFFF;  // LINEFORWARDMODE_UNCOND .. BUSYNASPECIFIC

// One step of what the far end of a data call says (see above).
struct ModemStep {
  std::string expect;  // empty: at once
  std::string send;
  bool operator==(const ModemStep&) const = default;
};

struct LineConfig {
  std::string name;
  uint32_t permanentId = 0;  // 0: the switch assigns one from the device ID
  uint32_t apiLow = 0x00010004;
  uint32_t apiHigh = 0x00020002;
  uint32_t extLow = 0;
  uint32_t extHigh = 0;
  LINEEXTENSIONID extensionId{};
  uint32_t mediaModes = LINEMEDIAMODE_INTERACTIVEVOICE;
  uint32_t bearerModes = LINEBEARERMODE_VOICE;
  uint32_t addressModes = LINEADDRESSMODE_ADDRESSID;
  uint32_t lineStates = LINEDEVSTATE_OTHER | LINEDEVSTATE_RINGING | LINEDEVSTATE_CONNECTED |
                        LINEDEVSTATE_DISCONNECTED | LINEDEVSTATE_INSERVICE |
                        LINEDEVSTATE_OUTOFSERVICE | LINEDEVSTATE_OPEN | LINEDEVSTATE_CLOSE |
                        LINEDEVSTATE_NUMCALLS | LINEDEVSTATE_NUMCOMPLETIONS | LINEDEVSTATE_REINIT |
                        LINEDEVSTATE_CAPSCHANGE | LINEDEVSTATE_REMOVED;
  uint32_t devCapFlags = LINEDEVCAPFLAGS_CLOSEDROP | LINEDEVCAPFLAGS_DIALBILLING |
                         LINEDEVCAPFLAGS_DIALQUIET | LINEDEVCAPFLAGS_DIALDIALTONE |
                         LINEDEVCAPFLAGS_LOCAL;
  // Only what the switch can do: MAKECALL, DEVSPECIFIC and DEVSPECIFICFEAT.
  uint32_t lineFeatures =
      LINEFEATURE_MAKECALL | LINEFEATURE_DEVSPECIFIC | LINEFEATURE_DEVSPECIFICFEAT;
  // What answering does to the calls that already take up the line (LINEANSWERMODE_ flag):
  // NONE leaves them, so the answer fails when it would be one active call too many.
  uint32_t answerMode = LINEANSWERMODE_HOLD;
  uint32_t numAddresses = 1;
  uint32_t maxRate = 64000;
  // Calls the station can be busy with at once (dialling, waiting for the far end, talking),
  // at least 1. Offered and conferenced calls do not count, nor held ones.
  uint32_t maxActiveCalls = 1;
  uint32_t maxOnHoldCalls = 1;         // per address; 0: the line cannot hold calls
  uint32_t maxOnHoldPendingCalls = 1;  // per address: held for a transfer or conference
  uint32_t maxConference = 3;          // parties of a conference, not counting this station
  uint32_t maxTransConf = 3;  // parties of a conference made from a transfer, with this station
  uint32_t generateDigitModes = LINEDIGITMODE_PULSE | LINEDIGITMODE_DTMF;
  uint32_t generateToneModes = LINETONEMODE_CUSTOM | LINETONEMODE_RINGBACK | LINETONEMODE_BUSY |
                               LINETONEMODE_BEEP | LINETONEMODE_BILLING;
  uint32_t generateToneMaxFreq = 3;  // frequencies of a custom tone
  uint32_t monitorToneMaxFreq = 3;   // frequencies of one tone to listen for
  uint32_t monitorToneMaxEntries = 10;
  // Digits the line hears from the far end (LINEDIGITMODE_ PULSE, DTMF, DTMFEND); 0: none.
  uint32_t monitorDigitModes = LINEDIGITMODE_DTMF | LINEDIGITMODE_DTMFEND;
  // The time-outs lineGatherDigitsW accepts, in milliseconds; a maximum of 0: the line gathers
  // no digits (nor when it hears neither PULSE nor DTMF).
  uint32_t gatherDigitsMinTimeout = 100;
  uint32_t gatherDigitsMaxTimeout = 60000;
  // The most bytes of user-user information each operation takes (and a call's information
  // holds); 0 refuses any.
  uint32_t uuiAcceptSize = 128;
  uint32_t uuiAnswerSize = 128;
  uint32_t uuiMakeCallSize = 128;
  uint32_t uuiDropSize = 128;
  uint32_t uuiCallInfoSize = 128;
  uint32_t ringModes = 1;
  // How often an offered call rings again (LINEDEVSTATE_RINGING) while it alerts; 0: once.
  uint32_t ringIntervalMs = 6000;
  std::vector<std::string> deviceClasses{"tapi/line", "wave/in", "wave/out"};
  std::string providerInfo = "zvTapi simulated switch";
  std::string switchInfo;
  // Address names in address-ID order (LINEADDRESSCAPS address text); missing ones are empty.
  std::vector<std::string> addressNames;
  uint32_t addressStates = 0x1FF;  // LINEADDRESSSTATE_ messages the addresses can send
  // 0: owner opens are accepted; otherwise the LINEERR_ code an open asking for OWNER fails with
  // (an open asking for MONITOR alone still succeeds).
  uint32_t refuseOwner = 0;
  uint32_t openError = 0;  // 0, or the LINEERR_ code every lineOpenW of the line fails with
  uint32_t icon = 0;       // the lineGetIconW handle; 0 gives the generic line icon

  // Call forwarding (lineForwardW): the LINEFORWARDMODE_ flags the addresses take (0: none, and
  // the line cannot be forwarded), how many entries one address holds and how many of them may
  // select callers, the range the rings before no-answer forwarding are clipped to, the rings
  // until lineForwardW sets them, and whether setting forwarding opens a consultation call to
  // the destination.
  uint32_t forwardModes = kSwitchForwardModes;
  uint32_t maxForwardEntries = 8;
  uint32_t maxSpecificEntries = 4;
  uint32_t minFwdNumRings = 1;
  uint32_t maxFwdNumRings = 15;
  uint32_t numRingsNoAnswer = 4;
  bool forwardConsult = false;

  // The ALSA cards of "wave/in" and "wave/out", and the far end of data calls (see above).
  uint32_t waveIn = 0;
  uint32_t waveOut = 0;
  std::vector<ModemStep> modemScript;  // empty: it echoes
};

struct PhoneConfig {
  std::string name;
  uint32_t permanentId = 0;  // 0: the switch assigns one from the device ID
  uint32_t apiLow = 0x00010004;
  uint32_t apiHigh = 0x00020002;
  uint32_t extLow = 0;
  uint32_t extHigh = 0;
  PHONEEXTENSIONID extensionId{};
  // The PHONE_STATE messages the phone may send; the capabilities leave out those of parts it
  // lacks (hook-switch devices, display, ringer, lamps). PHONEFEATURE_ flags follow from the
  // parts and are not configured.
  uint32_t phoneStates = 0xFFFFFF & ~PHONESTATE_DEVSPECIFIC;
  uint32_t hookSwitchDevs = PHONEHOOKSWITCHDEV_HANDSET;
  // The PHONEHOOKSWITCHMODE_ modes of each hook-switch device; an application may set them all.
  uint32_t handsetModes = PHONEHOOKSWITCHMODE_ONHOOK | PHONEHOOKSWITCHMODE_MICSPEAKER;
  uint32_t speakerModes =
      PHONEHOOKSWITCHMODE_ONHOOK | PHONEHOOKSWITCHMODE_SPEAKER | PHONEHOOKSWITCHMODE_MICSPEAKER;
  uint32_t headsetModes = PHONEHOOKSWITCHMODE_ONHOOK | PHONEHOOKSWITCHMODE_MIC |
                          PHONEHOOKSWITCHMODE_SPEAKER | PHONEHOOKSWITCHMODE_MICSPEAKER;
  // Hook-switch devices with a settable volume and gain (only those the phone has count).
  uint32_t volumeDevs = 0x7;
  uint32_t gainDevs = 0x7;
  uint32_t displayRows = 2;
  uint32_t displayColumns = 40;
  uint32_t numRingModes = 1;
  // Buttons by ID: 0-11 the keypad ("0"-"9", "*", "#"), 12 and 13 call appearances with lamps,
  // 14 Hold, 15 Transfer, then feature keys with lamps (see phones.h).
  uint32_t numButtonLamps = 0;
  // The line device (by name) whose set the phone is: it rings for the line's calls, shows the
  // caller, answers and hangs up with its handset and lights its lamps for the calls. Empty:
  // a phone of its own.
  std::string line;
  uint32_t icon = 0;  // the phoneGetIconW handle; 0 gives the generic phone icon
  std::vector<std::string> deviceClasses{"tapi/phone"};
  // The ALSA cards of the handset's "wave/in" and "wave/out" (see above).
  uint32_t waveIn = 0;
  uint32_t waveOut = 0;
  std::string providerInfo = "zvTapi simulated switch";
  std::string phoneInfo;
};

// Demo traffic: calls the switch makes up on its voice lines (see switch.h). Every delay of the
// traffic scales with intervalMs.
struct TrafficConfig {
  bool enabled = false;
  uint32_t intervalMs = 4000;  // mean time between two new calls
  uint32_t seed = 1;           // the same seed gives the same callers and the same choices
  uint32_t maxCallsPerLine = 2;
};

struct Config {
  std::vector<LineConfig> lines;
  std::vector<PhoneConfig> phones;
  TrafficConfig traffic;  // off unless asked for
  // The lasting reply mode of asynchronous entry points; the others answer at once, reply first.
  std::map<tapi32::EntryPoint, tapi32::ReplyMode> replies;
};

class ConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A small office: three voice extensions, a data line for the fax modem, one desk phone. No
// traffic, and every request answered at once, reply first.
Config DemoConfig();
// DemoConfig() with traffic, and with lineAccept, lineAnswer and lineDrop answered effect
// first: what the switch offers when nothing else is configured.
Config LiveDemoConfig();

// Devices the switch cannot offer (an api_high above kHighestDeviceVersion, empty version
// ranges) throw ConfigError naming the device and the problem.
void CheckDevice(const LineConfig& line);
void CheckDevice(const PhoneConfig& phone);
void CheckDevices(const Config& config);

// Reads a configuration file; throws ConfigError for an unreadable or invalid file.
Config LoadConfigFile(const std::string& path);
// Parses configuration text; fileName only labels the error messages.
Config ParseConfig(const std::string& text, const std::string& fileName);

}  // namespace tapi32::sim
