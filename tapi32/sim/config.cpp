#include "tapi32/sim/config.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <fstream>
#include <functional>
#include <iomanip>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string_view>
#include <utility>

namespace tapi32::sim {

namespace {

struct FlagTable {
  std::string_view prefix;  // the full constant names start with it
  std::vector<std::pair<std::string_view, uint32_t>> flags;
};

const FlagTable kMediaModes = {"LINEMEDIAMODE_",
                               {
                                   {"UNKNOWN", LINEMEDIAMODE_UNKNOWN},
                                   {"INTERACTIVEVOICE", LINEMEDIAMODE_INTERACTIVEVOICE},
                                   {"AUTOMATEDVOICE", LINEMEDIAMODE_AUTOMATEDVOICE},
                                   {"DATAMODEM", LINEMEDIAMODE_DATAMODEM},
                                   {"G3FAX", LINEMEDIAMODE_G3FAX},
                                   {"TDD", LINEMEDIAMODE_TDD},
                                   {"G4FAX", LINEMEDIAMODE_G4FAX},
                                   {"DIGITALDATA", LINEMEDIAMODE_DIGITALDATA},
                                   {"TELETEX", LINEMEDIAMODE_TELETEX},
                                   {"VIDEOTEX", LINEMEDIAMODE_VIDEOTEX},
                                   {"TELEX", LINEMEDIAMODE_TELEX},
                                   {"MIXED", LINEMEDIAMODE_MIXED},
                                   {"ADSI", LINEMEDIAMODE_ADSI},
                                   {"VOICEVIEW", LINEMEDIAMODE_VOICEVIEW},
                                   {"VIDEO", LINEMEDIAMODE_VIDEO},
                               }};

const FlagTable kBearerModes = {"LINEBEARERMODE_",
                                {
                                    {"VOICE", LINEBEARERMODE_VOICE},
                                    {"SPEECH", LINEBEARERMODE_SPEECH},
                                    {"MULTIUSE", LINEBEARERMODE_MULTIUSE},
                                    {"DATA", LINEBEARERMODE_DATA},
                                    {"ALTSPEECHDATA", LINEBEARERMODE_ALTSPEECHDATA},
                                    {"NONCALLSIGNALING", LINEBEARERMODE_NONCALLSIGNALING},
                                    {"PASSTHROUGH", LINEBEARERMODE_PASSTHROUGH},
                                    {"RESTRICTEDDATA", LINEBEARERMODE_RESTRICTEDDATA},
                                }};

const FlagTable kAddressModes = {"LINEADDRESSMODE_",
                                 {
                                     {"ADDRESSID", LINEADDRESSMODE_ADDRESSID},
                                     {"DIALABLEADDR", LINEADDRESSMODE_DIALABLEADDR},
                                 }};

const FlagTable kLineStates = {"LINEDEVSTATE_",
                               {
                                   {"OTHER", LINEDEVSTATE_OTHER},
                                   {"RINGING", LINEDEVSTATE_RINGING},
                                   {"CONNECTED", LINEDEVSTATE_CONNECTED},
                                   {"DISCONNECTED", LINEDEVSTATE_DISCONNECTED},
                                   {"MSGWAITON", LINEDEVSTATE_MSGWAITON},
                                   {"MSGWAITOFF", LINEDEVSTATE_MSGWAITOFF},
                                   {"INSERVICE", LINEDEVSTATE_INSERVICE},
                                   {"OUTOFSERVICE", LINEDEVSTATE_OUTOFSERVICE},
                                   {"MAINTENANCE", LINEDEVSTATE_MAINTENANCE},
                                   {"OPEN", LINEDEVSTATE_OPEN},
                                   {"CLOSE", LINEDEVSTATE_CLOSE},
                                   {"NUMCALLS", LINEDEVSTATE_NUMCALLS},
                                   {"NUMCOMPLETIONS", LINEDEVSTATE_NUMCOMPLETIONS},
                                   {"TERMINALS", LINEDEVSTATE_TERMINALS},
                                   {"ROAMMODE", LINEDEVSTATE_ROAMMODE},
                                   {"BATTERY", LINEDEVSTATE_BATTERY},
                                   {"SIGNAL", LINEDEVSTATE_SIGNAL},
                                   {"DEVSPECIFIC", LINEDEVSTATE_DEVSPECIFIC},
                                   {"REINIT", LINEDEVSTATE_REINIT},
                                   {"LOCK", LINEDEVSTATE_LOCK},
                                   {"CAPSCHANGE", LINEDEVSTATE_CAPSCHANGE},
                                   {"CONFIGCHANGE", LINEDEVSTATE_CONFIGCHANGE},
                                   {"TRANSLATECHANGE", LINEDEVSTATE_TRANSLATECHANGE},
                                   {"COMPLCANCEL", LINEDEVSTATE_COMPLCANCEL},
                                   {"REMOVED", LINEDEVSTATE_REMOVED},
                               }};

const FlagTable kDevCapFlags = {"LINEDEVCAPFLAGS_",
                                {
                                    {"CROSSADDRCONF", LINEDEVCAPFLAGS_CROSSADDRCONF},
                                    {"HIGHLEVCOMP", LINEDEVCAPFLAGS_HIGHLEVCOMP},
                                    {"LOWLEVCOMP", LINEDEVCAPFLAGS_LOWLEVCOMP},
                                    {"MEDIACONTROL", LINEDEVCAPFLAGS_MEDIACONTROL},
                                    {"MULTIPLEADDR", LINEDEVCAPFLAGS_MULTIPLEADDR},
                                    {"CLOSEDROP", LINEDEVCAPFLAGS_CLOSEDROP},
                                    {"DIALBILLING", LINEDEVCAPFLAGS_DIALBILLING},
                                    {"DIALQUIET", LINEDEVCAPFLAGS_DIALQUIET},
                                    {"DIALDIALTONE", LINEDEVCAPFLAGS_DIALDIALTONE},
                                    {"MSP", LINEDEVCAPFLAGS_MSP},
                                    {"CALLHUB", LINEDEVCAPFLAGS_CALLHUB},
                                    {"CALLHUBTRACKING", LINEDEVCAPFLAGS_CALLHUBTRACKING},
                                    {"PRIVATEOBJECTS", LINEDEVCAPFLAGS_PRIVATEOBJECTS},
                                    {"LOCAL", LINEDEVCAPFLAGS_LOCAL},
                                }};

const FlagTable kLineFeatures = {"LINEFEATURE_",
                                 {
                                     {"DEVSPECIFIC", LINEFEATURE_DEVSPECIFIC},
                                     {"DEVSPECIFICFEAT", LINEFEATURE_DEVSPECIFICFEAT},
                                     {"FORWARD", LINEFEATURE_FORWARD},
                                     {"MAKECALL", LINEFEATURE_MAKECALL},
                                     {"SETMEDIACONTROL", LINEFEATURE_SETMEDIACONTROL},
                                     {"SETTERMINAL", LINEFEATURE_SETTERMINAL},
                                     {"SETDEVSTATUS", LINEFEATURE_SETDEVSTATUS},
                                     {"FORWARDFWD", LINEFEATURE_FORWARDFWD},
                                     {"FORWARDDND", LINEFEATURE_FORWARDDND},
                                 }};

const FlagTable kAddressStates = {"LINEADDRESSSTATE_",
                                  {
                                      {"OTHER", LINEADDRESSSTATE_OTHER},
                                      {"DEVSPECIFIC", LINEADDRESSSTATE_DEVSPECIFIC},
                                      {"INUSEZERO", LINEADDRESSSTATE_INUSEZERO},
                                      {"INUSEONE", LINEADDRESSSTATE_INUSEONE},
                                      {"INUSEMANY", LINEADDRESSSTATE_INUSEMANY},
                                      {"NUMCALLS", LINEADDRESSSTATE_NUMCALLS},
                                      {"FORWARD", LINEADDRESSSTATE_FORWARD},
                                      {"TERMINALS", LINEADDRESSSTATE_TERMINALS},
                                      {"CAPSCHANGE", LINEADDRESSSTATE_CAPSCHANGE},
                                  }};

const FlagTable kAnswerModes = {"LINEANSWERMODE_",
                                {
                                    {"NONE", LINEANSWERMODE_NONE},
                                    {"DROP", LINEANSWERMODE_DROP},
                                    {"HOLD", LINEANSWERMODE_HOLD},
                                }};

const FlagTable kDigitModes = {"LINEDIGITMODE_",
                               {
                                   {"PULSE", LINEDIGITMODE_PULSE},
                                   {"DTMF", LINEDIGITMODE_DTMF},
                               }};

const FlagTable kMonitorDigitModes = {"LINEDIGITMODE_",
                                      {
                                          {"PULSE", LINEDIGITMODE_PULSE},
                                          {"DTMF", LINEDIGITMODE_DTMF},
                                          {"DTMFEND", LINEDIGITMODE_DTMFEND},
                                      }};
const FlagTable kForwardModes = {"LINEFORWARDMODE_",
                                 {
                                     {"UNCOND", LINEFORWARDMODE_UNCOND},
                                     {"UNCONDINTERNAL", LINEFORWARDMODE_UNCONDINTERNAL},
                                     {"UNCONDEXTERNAL", LINEFORWARDMODE_UNCONDEXTERNAL},
                                     {"UNCONDSPECIFIC", LINEFORWARDMODE_UNCONDSPECIFIC},
                                     {"BUSY", LINEFORWARDMODE_BUSY},
                                     {"BUSYINTERNAL", LINEFORWARDMODE_BUSYINTERNAL},
                                     {"BUSYEXTERNAL", LINEFORWARDMODE_BUSYEXTERNAL},
                                     {"BUSYSPECIFIC", LINEFORWARDMODE_BUSYSPECIFIC},
                                     {"NOANSW", LINEFORWARDMODE_NOANSW},
                                     {"NOANSWINTERNAL", LINEFORWARDMODE_NOANSWINTERNAL},
                                     {"NOANSWEXTERNAL", LINEFORWARDMODE_NOANSWEXTERNAL},
                                     {"NOANSWSPECIFIC", LINEFORWARDMODE_NOANSWSPECIFIC},
                                     {"BUSYNA", LINEFORWARDMODE_BUSYNA},
                                     {"BUSYNAINTERNAL", LINEFORWARDMODE_BUSYNAINTERNAL},
                                     {"BUSYNAEXTERNAL", LINEFORWARDMODE_BUSYNAEXTERNAL},
                                     {"BUSYNASPECIFIC", LINEFORWARDMODE_BUSYNASPECIFIC},
                                 }};

const FlagTable kToneModes = {"LINETONEMODE_",
                              {
                                  {"CUSTOM", LINETONEMODE_CUSTOM},
                                  {"RINGBACK", LINETONEMODE_RINGBACK},
                                  {"BUSY", LINETONEMODE_BUSY},
                                  {"BEEP", LINETONEMODE_BEEP},
                                  {"BILLING", LINETONEMODE_BILLING},
                              }};

// The line features the switch has entry points for.
constexpr uint32_t kOfferedLineFeatures =
    LINEFEATURE_MAKECALL | LINEFEATURE_DEVSPECIFIC | LINEFEATURE_DEVSPECIFICFEAT;

const FlagTable kPhoneStates = {"PHONESTATE_",
                                {
                                    {"OTHER", PHONESTATE_OTHER},
                                    {"CONNECTED", PHONESTATE_CONNECTED},
                                    {"DISCONNECTED", PHONESTATE_DISCONNECTED},
                                    {"OWNER", PHONESTATE_OWNER},
                                    {"MONITORS", PHONESTATE_MONITORS},
                                    {"DISPLAY", PHONESTATE_DISPLAY},
                                    {"LAMP", PHONESTATE_LAMP},
                                    {"RINGMODE", PHONESTATE_RINGMODE},
                                    {"RINGVOLUME", PHONESTATE_RINGVOLUME},
                                    {"HANDSETHOOKSWITCH", PHONESTATE_HANDSETHOOKSWITCH},
                                    {"HANDSETVOLUME", PHONESTATE_HANDSETVOLUME},
                                    {"HANDSETGAIN", PHONESTATE_HANDSETGAIN},
                                    {"SPEAKERHOOKSWITCH", PHONESTATE_SPEAKERHOOKSWITCH},
                                    {"SPEAKERVOLUME", PHONESTATE_SPEAKERVOLUME},
                                    {"SPEAKERGAIN", PHONESTATE_SPEAKERGAIN},
                                    {"HEADSETHOOKSWITCH", PHONESTATE_HEADSETHOOKSWITCH},
                                    {"HEADSETVOLUME", PHONESTATE_HEADSETVOLUME},
                                    {"HEADSETGAIN", PHONESTATE_HEADSETGAIN},
                                    {"SUSPEND", PHONESTATE_SUSPEND},
                                    {"RESUME", PHONESTATE_RESUME},
                                    {"DEVSPECIFIC", PHONESTATE_DEVSPECIFIC},
                                    {"REINIT", PHONESTATE_REINIT},
                                    {"CAPSCHANGE", PHONESTATE_CAPSCHANGE},
                                    {"REMOVED", PHONESTATE_REMOVED},
                                }};

const FlagTable kHookSwitchDevs = {"PHONEHOOKSWITCHDEV_",
                                   {
                                       {"HANDSET", PHONEHOOKSWITCHDEV_HANDSET},
                                       {"SPEAKER", PHONEHOOKSWITCHDEV_SPEAKER},
                                       {"HEADSET", PHONEHOOKSWITCHDEV_HEADSET},
                                   }};

const FlagTable kHookSwitchModes = {"PHONEHOOKSWITCHMODE_",
                                    {
                                        {"ONHOOK", PHONEHOOKSWITCHMODE_ONHOOK},
                                        {"MIC", PHONEHOOKSWITCHMODE_MIC},
                                        {"SPEAKER", PHONEHOOKSWITCHMODE_SPEAKER},
                                        {"MICSPEAKER", PHONEHOOKSWITCHMODE_MICSPEAKER},
                                    }};

std::string Trim(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
    ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
    --end;
  return std::string(text.substr(begin, end - begin));
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::vector<std::string> Split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t at = text.find(separator, start);
    parts.push_back(Trim(text.substr(start, at == std::string_view::npos ? at : at - start)));
    if (at == std::string_view::npos) return parts;
    start = at + 1;
  }
}

// Reads one section's keys; every problem becomes a ConfigError naming file and line.
class Reader {
 public:
  Reader(std::string fileName) : file_(std::move(fileName)) {}

  [[noreturn]] void Fail(int line, const std::string& problem) const {
    throw ConfigError(file_ + ":" + std::to_string(line) + ": " + problem);
  }

  void SetLine(int line) { line_ = line; }
  [[noreturn]] void Fail(const std::string& problem) const { Fail(line_, problem); }

  uint32_t Number(const std::string& value) const {
    if (value.empty()) Fail("a number is missing");
    std::string digits = value;
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
      digits = digits.substr(2);
      base = 16;
    }
    uint64_t result = 0;
    for (char c : digits) {
      int digit = -1;
      if (c >= '0' && c <= '9') digit = c - '0';
      if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      if (digit < 0) Fail("'" + value + "' is not a number");
      result = result * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
      if (result > 0xFFFFFFFFull) Fail("'" + value + "' does not fit in 32 bits");
    }
    return static_cast<uint32_t>(result);
  }

  uint32_t Flags(const std::string& value, const FlagTable& table) const {
    uint32_t result = 0;
    for (const std::string& part : Split(value, '|')) {
      if (part.empty()) Fail("an empty flag in '" + value + "'");
      if (std::isdigit(static_cast<unsigned char>(part[0]))) {
        result |= Number(part);
        continue;
      }
      std::string name = Upper(part);
      if (name.starts_with(table.prefix)) name = name.substr(table.prefix.size());
      auto it = std::find_if(table.flags.begin(), table.flags.end(),
                             [&](const auto& flag) { return flag.first == name; });
      if (it == table.flags.end()) {
        Fail("unknown flag '" + part + "' (expected " + std::string(table.prefix) + "... names)");
      }
      result |= it->second;
    }
    return result;
  }

  // Flags from a table that lists all the switch can do; numbers with other bits are refused.
  uint32_t OfferedFlags(const std::string& value, const FlagTable& table) const {
    const uint32_t flags = Flags(value, table);
    uint32_t offered = 0;
    for (const auto& flag : table.flags)
      offered |= flag.second;
    if ((flags & ~offered) != 0) {
      Fail("'" + value + "' holds " + std::string(table.prefix) + " flags the switch cannot offer");
    }
    return flags;
  }

  // Four 32-bit numbers separated by blanks or commas.
  std::array<uint32_t, 4> ExtensionId(const std::string& value) const {
    std::string spaced = value;
    std::replace(spaced.begin(), spaced.end(), ',', ' ');
    std::istringstream in(spaced);
    std::vector<std::string> parts;
    for (std::string part; in >> part;)
      parts.push_back(part);
    if (parts.size() != 4) Fail("an extension ID needs four numbers");
    return {Number(parts[0]), Number(parts[1]), Number(parts[2]), Number(parts[3])};
  }

  bool Switch(const std::string& value) const {
    const std::string word = Lower(value);
    if (word == "yes" || word == "on" || word == "true" || word == "1") return true;
    if (word == "no" || word == "off" || word == "false" || word == "0") return false;
    Fail("'" + value + "' is not yes or no");
  }

  // A reply mode: comma-separated terms for when (now, after <ms>, never), in which order
  // (reply_first, effect_first, partial_effect_first) and with which error (fail <code>).
  ReplyMode Reply(const std::string& value) const {
    ReplyMode mode;
    bool timed = false;
    bool ordered = false;
    bool fails = false;
    auto once = [&](bool& seen, const std::string& term) {
      if (seen) Fail("'" + term + "' says again what an earlier term of '" + value + "' said");
      seen = true;
    };
    for (const std::string& term : Split(value, ',')) {
      std::istringstream words(Lower(term));
      std::string word;
      std::string argument;
      std::string extra;
      words >> word >> argument >> extra;
      const bool takesArgument = word == "after" || word == "fail";
      if (word.empty() || !extra.empty() || takesArgument == argument.empty()) {
        Fail("'" + term + "' is not a reply term (expected now, after <ms>, never, reply_first, " +
             "effect_first, partial_effect_first or fail <code>)");
      }
      if (word == "now" || word == "after" || word == "never") {
        once(timed, term);
        mode.kind = word == "now"     ? ReplyMode::Kind::Immediate
                    : word == "after" ? ReplyMode::Kind::Delayed
                                      : ReplyMode::Kind::Never;
        if (word == "after") mode.delayMs = Number(argument);
      } else if (word == "reply_first" || word == "effect_first" ||
                 word == "partial_effect_first") {
        once(ordered, term);
        mode.order = word == "reply_first"    ? ReplyMode::Order::ReplyFirst
                     : word == "effect_first" ? ReplyMode::Order::EffectFirst
                                              : ReplyMode::Order::PartialEffectFirst;
      } else if (word == "fail") {
        once(fails, term);
        mode.result = static_cast<LONG>(Number(argument));
        if (mode.result == 0) Fail("'fail' needs an error code, not 0");
      } else {
        Fail("'" + term + "' is not a reply term (expected now, after <ms>, never, reply_first, " +
             "effect_first, partial_effect_first or fail <code>)");
      }
    }
    if (mode.order == ReplyMode::Order::PartialEffectFirst && !fails) {
      Fail("partial_effect_first needs 'fail <code>': a partial effect comes before a failure");
    }
    return mode;
  }

  // "expected -> reply, -> reply, ...": the steps of a modem script.
  std::vector<ModemStep> ModemScript(const std::string& value) const {
    std::vector<ModemStep> steps;
    for (const std::string& item : List(value)) {
      const size_t arrow = item.find("->");
      if (arrow == std::string::npos) Fail("'" + item + "' is no modem step (expected -> reply)");
      steps.push_back({Trim(item.substr(0, arrow)), Trim(item.substr(arrow + 2))});
      if (steps.back().send.empty()) Fail("the modem step '" + item + "' sends nothing");
    }
    return steps;
  }

  std::vector<std::string> List(const std::string& value) const {
    std::vector<std::string> items;
    if (value.empty()) return items;
    for (std::string& item : Split(value, ',')) {
      if (item.empty()) Fail("an empty entry in the list '" + value + "'");
      items.push_back(std::move(item));
    }
    return items;
  }

 private:
  std::string file_;
  int line_ = 0;
};

using LineSetter = std::function<void(const Reader&, LineConfig&, const std::string&)>;
using PhoneSetter = std::function<void(const Reader&, PhoneConfig&, const std::string&)>;

#define NUMBER(field) [](const Reader& r, auto& c, const std::string& v) { c.field = r.Number(v); }
#define FLAGS(field, table) \
  [](const Reader& r, auto& c, const std::string& v) { c.field = r.Flags(v, table); }
#define OFFERED_FLAGS(field, table) \
  [](const Reader& r, auto& c, const std::string& v) { c.field = r.OfferedFlags(v, table); }
#define TEXT(field) [](const Reader&, auto& c, const std::string& v) { c.field = v; }
#define LIST(field) [](const Reader& r, auto& c, const std::string& v) { c.field = r.List(v); }
#define EXTENSION_ID(field)                            \
  [](const Reader& r, auto& c, const std::string& v) { \
    const auto id = r.ExtensionId(v);                  \
    c.field = {id[0], id[1], id[2], id[3]};            \
  }

const std::map<std::string, LineSetter> kLineKeys = {
    {"name", TEXT(name)},
    {"permanent_id", NUMBER(permanentId)},
    {"api_low", NUMBER(apiLow)},
    {"api_high", NUMBER(apiHigh)},
    {"ext_low", NUMBER(extLow)},
    {"ext_high", NUMBER(extHigh)},
    {"extension_id", EXTENSION_ID(extensionId)},
    {"media_modes", FLAGS(mediaModes, kMediaModes)},
    {"bearer_modes", FLAGS(bearerModes, kBearerModes)},
    {"address_modes", FLAGS(addressModes, kAddressModes)},
    {"line_states", FLAGS(lineStates, kLineStates)},
    {"dev_cap_flags", FLAGS(devCapFlags, kDevCapFlags)},
    {"line_features",
     [](const Reader& r, auto& c, const std::string& v) {
       c.lineFeatures = r.Flags(v, kLineFeatures);
       if ((c.lineFeatures & ~kOfferedLineFeatures) != 0) {
         r.Fail(
             "the switch offers only MAKECALL, DEVSPECIFIC and DEVSPECIFICFEAT as line features");
       }
     }},
    {"answer_mode",
     [](const Reader& r, auto& c, const std::string& v) {
       c.answerMode = r.Flags(v, kAnswerModes);
       if (!std::has_single_bit(c.answerMode) || c.answerMode > LINEANSWERMODE_HOLD) {
         r.Fail("answer_mode takes one of NONE, DROP and HOLD");
       }
     }},
    {"addresses", NUMBER(numAddresses)},
    {"max_rate", NUMBER(maxRate)},
    {"max_active_calls",
     [](const Reader& r, auto& c, const std::string& v) {
       c.maxActiveCalls = r.Number(v);
       if (c.maxActiveCalls == 0) r.Fail("max_active_calls must be at least 1");
     }},
    {"max_on_hold_calls", NUMBER(maxOnHoldCalls)},
    {"max_on_hold_pending_calls", NUMBER(maxOnHoldPendingCalls)},
    {"max_conference", NUMBER(maxConference)},
    {"max_trans_conf", NUMBER(maxTransConf)},
    {"generate_digit_modes", OFFERED_FLAGS(generateDigitModes, kDigitModes)},
    {"generate_tone_modes", OFFERED_FLAGS(generateToneModes, kToneModes)},
    {"generate_tone_max_freq", NUMBER(generateToneMaxFreq)},
    {"monitor_tone_max_freq", NUMBER(monitorToneMaxFreq)},
    {"monitor_tone_max_entries", NUMBER(monitorToneMaxEntries)},
    {"monitor_digit_modes", OFFERED_FLAGS(monitorDigitModes, kMonitorDigitModes)},
    {"gather_digits_min_timeout", NUMBER(gatherDigitsMinTimeout)},
    {"gather_digits_max_timeout", NUMBER(gatherDigitsMaxTimeout)},
    {"uui_accept_size", NUMBER(uuiAcceptSize)},
    {"uui_answer_size", NUMBER(uuiAnswerSize)},
    {"uui_make_call_size", NUMBER(uuiMakeCallSize)},
    {"uui_drop_size", NUMBER(uuiDropSize)},
    {"uui_call_info_size", NUMBER(uuiCallInfoSize)},
    {"ring_modes", NUMBER(ringModes)},
    {"ring_interval_ms", NUMBER(ringIntervalMs)},
    {"device_classes", LIST(deviceClasses)},
    {"provider_info", TEXT(providerInfo)},
    {"switch_info", TEXT(switchInfo)},
    {"address_names", LIST(addressNames)},
    {"address_states", FLAGS(addressStates, kAddressStates)},
    {"refuse_owner", NUMBER(refuseOwner)},
    {"open_error", NUMBER(openError)},
    {"icon", NUMBER(icon)},
    {"forward_modes", OFFERED_FLAGS(forwardModes, kForwardModes)},
    {"max_forward_entries", NUMBER(maxForwardEntries)},
    {"max_specific_entries", NUMBER(maxSpecificEntries)},
    {"min_fwd_num_rings", NUMBER(minFwdNumRings)},
    {"max_fwd_num_rings", NUMBER(maxFwdNumRings)},
    {"num_rings_no_answer", NUMBER(numRingsNoAnswer)},
    {"forward_consult",
     [](const Reader& r, auto& c, const std::string& v) { c.forwardConsult = r.Switch(v); }},
    {"wave_in", NUMBER(waveIn)},
    {"wave_out", NUMBER(waveOut)},
    {"modem_script",
     [](const Reader& r, auto& c, const std::string& v) { c.modemScript = r.ModemScript(v); }},
};

const std::map<std::string, PhoneSetter> kPhoneKeys = {
    {"name", TEXT(name)},
    {"permanent_id", NUMBER(permanentId)},
    {"api_low", NUMBER(apiLow)},
    {"api_high", NUMBER(apiHigh)},
    {"ext_low", NUMBER(extLow)},
    {"ext_high", NUMBER(extHigh)},
    {"extension_id", EXTENSION_ID(extensionId)},
    {"phone_states", FLAGS(phoneStates, kPhoneStates)},
    {"hook_switch_devs", FLAGS(hookSwitchDevs, kHookSwitchDevs)},
    {"handset_modes", FLAGS(handsetModes, kHookSwitchModes)},
    {"speaker_modes", FLAGS(speakerModes, kHookSwitchModes)},
    {"headset_modes", FLAGS(headsetModes, kHookSwitchModes)},
    {"volume_devs", FLAGS(volumeDevs, kHookSwitchDevs)},
    {"gain_devs", FLAGS(gainDevs, kHookSwitchDevs)},
    {"display_rows", NUMBER(displayRows)},
    {"display_columns", NUMBER(displayColumns)},
    {"ring_modes", NUMBER(numRingModes)},
    {"button_lamps", NUMBER(numButtonLamps)},
    {"device_classes", LIST(deviceClasses)},
    {"provider_info", TEXT(providerInfo)},
    {"phone_info", TEXT(phoneInfo)},
    {"line", TEXT(line)},
    {"icon", NUMBER(icon)},
    {"wave_in", NUMBER(waveIn)},
    {"wave_out", NUMBER(waveOut)},
};

const std::map<std::string, std::function<void(const Reader&, TrafficConfig&, const std::string&)>>
    kTrafficKeys = {
        {"enabled",
         [](const Reader& r, auto& c, const std::string& v) { c.enabled = r.Switch(v); }},
        {"interval_ms", NUMBER(intervalMs)},
        {"seed", NUMBER(seed)},
        {"max_calls_per_line", NUMBER(maxCallsPerLine)},
};

#undef NUMBER
#undef FLAGS
#undef OFFERED_FLAGS
#undef TEXT
#undef LIST
#undef EXTENSION_ID

std::string Hex(uint32_t value) {
  std::ostringstream text;
  text << "0x" << std::hex << std::uppercase << std::setw(8) << std::setfill('0') << value;
  return text.str();
}

// What is wrong with a device's versions, or nothing.
template <class Device>
std::string VersionProblem(const Device& device, const char* kind) {
  const std::string named = std::string("the ") + kind + " '" + device.name + "'";
  if (device.apiHigh > kHighestDeviceVersion) {
    return named + " offers api_high " + Hex(device.apiHigh) + ", above " +
           Hex(kHighestDeviceVersion) + ": the switch lays its structures out as TAPI " +
           "2.2 does";
  }
  if (device.apiLow > device.apiHigh) return named + " has api_low above api_high";
  if (device.extLow > device.extHigh) return named + " has ext_low above ext_high";
  return {};
}

// Checks that need the whole section; reported at the section's header line.
template <class Device>
void CheckSection(const Reader& reader, int headerLine, const Device& device, const char* kind) {
  if (device.name.empty()) reader.Fail(headerLine, std::string("the ") + kind + " has no name");
  if (const std::string problem = VersionProblem(device, kind); !problem.empty()) {
    reader.Fail(headerLine, problem);
  }
}

template <class Device>
void ThrowVersionProblem(const Device& device, const char* kind) {
  if (const std::string problem = VersionProblem(device, kind); !problem.empty()) {
    throw ConfigError(problem);
  }
}

// The asynchronous entry point a [replies] key names, letter case ignored.
std::optional<EntryPoint> ReplyEntry(const Reader& reader, const std::string& key) {
  for (size_t index = 0; index < kEntryPointCount; ++index) {
    const auto entry = static_cast<EntryPoint>(index);
    if (Lower(EntryPointName(entry)) != key) continue;
    if (!AnswersWithReply(entry)) {
      reader.Fail("'" + std::string(EntryPointName(entry)) +
                  "' answers at once: it has no reply to configure");
    }
    return entry;
  }
  return std::nullopt;
}

}  // namespace

void CheckDevice(const LineConfig& line) {
  ThrowVersionProblem(line, "line");
}

void CheckDevice(const PhoneConfig& phone) {
  ThrowVersionProblem(phone, "phone");
}

void CheckDevices(const Config& config) {
  for (const LineConfig& line : config.lines)
    CheckDevice(line);
  for (const PhoneConfig& phone : config.phones)
    CheckDevice(phone);
}

Config ParseConfig(const std::string& text, const std::string& fileName) {
  Reader reader(fileName);
  Config config;
  enum class Section { None, Line, Phone, Traffic, Replies } section = Section::None;
  bool sawTraffic = false;
  bool sawReplies = false;
  int headerLine = 0;
  std::set<std::string> seenKeys;

  auto finishSection = [&] {
    if (section == Section::Line) CheckSection(reader, headerLine, config.lines.back(), "line");
    if (section == Section::Phone) CheckSection(reader, headerLine, config.phones.back(), "phone");
  };

  std::istringstream in(text);
  int lineNumber = 0;
  for (std::string raw; std::getline(in, raw);) {
    ++lineNumber;
    reader.SetLine(lineNumber);
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;

    if (line.front() == '[') {
      if (line.back() != ']') reader.Fail("a section header must end with ']'");
      const std::string name = Lower(Trim(std::string_view(line).substr(1, line.size() - 2)));
      finishSection();
      headerLine = lineNumber;
      seenKeys.clear();
      if (name == "line") {
        section = Section::Line;
        config.lines.emplace_back();
      } else if (name == "phone") {
        section = Section::Phone;
        config.phones.emplace_back();
      } else if (name == "traffic") {
        if (sawTraffic) reader.Fail("a second [traffic] section");
        sawTraffic = true;
        section = Section::Traffic;
      } else if (name == "replies") {
        if (sawReplies) reader.Fail("a second [replies] section");
        sawReplies = true;
        section = Section::Replies;
      } else {
        reader.Fail("unknown section [" + name +
                    "] (expected [line], [phone], [traffic] or [replies])");
      }
      continue;
    }

    const size_t equals = line.find('=');
    if (equals == std::string::npos) reader.Fail("expected 'key = value' or a [section]");
    const std::string key = Lower(Trim(std::string_view(line).substr(0, equals)));
    const std::string value = Trim(std::string_view(line).substr(equals + 1));
    if (key.empty()) reader.Fail("a key is missing before '='");
    if (section == Section::None) {
      reader.Fail("'" + key + "' stands before any [line], [phone], [traffic] or [replies]");
    }
    if (!seenKeys.insert(key).second) reader.Fail("'" + key + "' is given twice in this section");

    if (section == Section::Line) {
      auto it = kLineKeys.find(key);
      if (it == kLineKeys.end()) reader.Fail("unknown key '" + key + "' in a [line] section");
      it->second(reader, config.lines.back(), value);
    } else if (section == Section::Phone) {
      auto it = kPhoneKeys.find(key);
      if (it == kPhoneKeys.end()) reader.Fail("unknown key '" + key + "' in a [phone] section");
      it->second(reader, config.phones.back(), value);
    } else if (section == Section::Replies) {
      const std::optional<EntryPoint> entry = ReplyEntry(reader, key);
      if (!entry) reader.Fail("unknown entry point '" + key + "' in a [replies] section");
      config.replies[*entry] = reader.Reply(value);
    } else {
      auto it = kTrafficKeys.find(key);
      if (it == kTrafficKeys.end()) reader.Fail("unknown key '" + key + "' in a [traffic] section");
      it->second(reader, config.traffic, value);
      if (key == "interval_ms" && config.traffic.intervalMs == 0) {
        reader.Fail("interval_ms must be above 0");
      }
    }
  }
  finishSection();
  return config;
}

Config LoadConfigFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw ConfigError(path + ":0: the file cannot be opened");
  std::ostringstream text;
  text << file.rdbuf();
  if (file.bad()) throw ConfigError(path + ":0: the file cannot be read");
  return ParseConfig(text.str(), path);
}

Config DemoConfig() {
  Config config;
  auto voice = [](std::string name, uint32_t permanentId, std::string number) {
    LineConfig line;
    line.name = std::move(name);
    line.permanentId = permanentId;
    // The stations recognise a fax machine's tone on a call.
    line.mediaModes =
        LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_AUTOMATEDVOICE | LINEMEDIAMODE_G3FAX;
    line.bearerModes = LINEBEARERMODE_VOICE | LINEBEARERMODE_SPEECH;
    line.switchInfo = "Extension " + std::move(number);
    // Key telephones of a small digital PBX: tone dialling only.
    line.generateDigitModes = LINEDIGITMODE_DTMF;
    return line;
  };
  config.lines.push_back(voice("Reception", 0x00010001, "200"));
  // The reception's system phone rings the destination when it forwards, so that the
  // receptionist can tell the colleague; the others forward silently.
  config.lines.back().forwardConsult = true;
  config.lines.push_back(voice("Sales", 0x00010002, "210"));
  config.lines.push_back(voice("Support", 0x00010003, "220"));

  LineConfig modem;
  modem.name = "Fax Modem";
  modem.permanentId = 0x00010004;
  modem.mediaModes = LINEMEDIAMODE_DATAMODEM | LINEMEDIAMODE_G3FAX;
  modem.bearerModes = LINEBEARERMODE_DATA;
  modem.maxRate = 33600;
  modem.deviceClasses = {"tapi/line", "comm", "comm/datamodem"};
  modem.switchInfo = "Extension 290";
  // An analogue port: one call at a time, nothing to hold, transfer or conference, no user-user
  // information; the modem dials and listens for fax tones but plays none.
  modem.answerMode = LINEANSWERMODE_NONE;
  modem.maxOnHoldCalls = 0;
  modem.maxOnHoldPendingCalls = 0;
  modem.maxConference = 0;
  modem.maxTransConf = 0;
  modem.generateToneModes = 0;
  modem.monitorDigitModes = 0;
  modem.generateToneMaxFreq = 0;
  modem.forwardModes = 0;
  modem.uuiAcceptSize = modem.uuiAnswerSize = modem.uuiMakeCallSize = modem.uuiDropSize =
      modem.uuiCallInfoSize = 0;
  config.lines.push_back(modem);

  PhoneConfig phone;
  phone.name = "Reception Desk Phone";
  phone.permanentId = 0x00020001;
  phone.phoneInfo = "Handset with a two-line display";
  phone.line = "Reception";
  phone.hookSwitchDevs = PHONEHOOKSWITCHDEV_HANDSET | PHONEHOOKSWITCHDEV_SPEAKER;
  phone.numButtonLamps = 16;
  // The handset is a USB handset: the machine's second sound card.
  phone.deviceClasses = {"tapi/phone", "wave/in", "wave/out"};
  phone.waveIn = phone.waveOut = 1;
  config.phones.push_back(phone);
  return config;
}

Config LiveDemoConfig() {
  Config config = DemoConfig();
  config.traffic.enabled = true;
  // Many providers report what a call-control request did before they answer it; the program
  // on the demo sees that order for what its user does to calls.
  for (EntryPoint entry : {EntryPoint::lineAccept, EntryPoint::lineAnswer, EntryPoint::lineDrop})
    config.replies[entry] = ReplyMode::Now().EffectFirst();
  return config;
}

}  // namespace tapi32::sim
