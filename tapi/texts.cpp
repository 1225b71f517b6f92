#include "tapi/texts.h"

#include <cstdio>
#include <iterator>
#include <span>

#include "tapi32/tapi_constants.h"

namespace zvtapi {

namespace {

struct TTextEntry {
  uint32_t value;
  const char* text;
};
using TTextTable = std::span<const TTextEntry>;

// The family prefix, "$" and the whole value in upper-case hexadecimal.
std::string Fallback(const char* prefix, uint32_t value) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(value));
  return std::string(prefix) + "_$" + hex;
}

// The text of the entry equal to value; nullptr when none is.
const char* FindValue(TTextTable table, uint32_t value) {
  for (const TTextEntry& entry : table) {
    if (entry.value == value) return entry.text;
  }
  return nullptr;
}

std::string SingleText(TTextTable table, uint32_t value) {
  const char* text = FindValue(table, value);
  return text != nullptr ? text : std::string();
}

// Texts of every entry whose bit is set, in table order.
std::string BitSetText(TTextTable table, uint32_t value, const std::string& separator) {
  std::string result;
  for (const TTextEntry& entry : table) {
    if ((value & entry.value) != 0) result = TapiAppendText(result, entry.text, separator);
  }
  return result;
}

constexpr TTextEntry CallStates[] = {
    {0x1, "IDLE"},
    {0x2, "OFFERING"},
    {0x4, "ACCEPTED"},
    {0x8, "DIALTONE"},
    {0x10, "DIALING"},
    {0x20, "RINGBACK"},
    {0x40, "BUSY"},
    {0x80, "SPECIALINFO"},
    {0x100, "CONNECTED"},
    {0x200, "PROCEEDING"},
    {0x400, "ONHOLD"},
    {0x800, "CONFERENCED"},
    {0x1000, "ONHOLDPENDCONF"},
    {0x2000, "ONHOLDPENDTRANSFER"},
    {0x4000, "DISCONNECTED"},
    {0x8000, "UNKNOWN"},
};

constexpr TTextEntry OfferingModes[] = {{0x1, "ACTIVE"}, {0x2, "INACTIVE"}};
constexpr TTextEntry DialToneModes[] = {{0x1, "NORMAL"},   {0x2, "SPECIAL"},  {0x4, "INTERNAL"},
                                        {0x8, "EXTERNAL"}, {0x10, "UNKNOWN"}, {0x20, "UNAVAIL"}};
constexpr TTextEntry BusyModes[] = {
    {0x1, "STATION"}, {0x2, "TRUNK"}, {0x4, "UNKNOWN"}, {0x8, "UNAVAIL"}};
constexpr TTextEntry SpecialInfoModes[] = {
    {0x1, "NOCIRCUIT"}, {0x2, "CUSTIRREG"}, {0x4, "REORDER"}, {0x8, "UNKNOWN"}, {0x10, "UNAVAIL"}};
constexpr TTextEntry ConnectedModes[] = {{0x1, "ACTIVE"},
                                         {0x2, "INACTIVE"},
                                         {0x4, "ACTIVEHELD"},
                                         {0x8, "INACTIVEHELD"},
                                         {0x10, "CONFIRMED"}};
constexpr TTextEntry DisconnectModes[] = {
    {0x1, "NORMAL"},        {0x2, "UNKNOWN"},      {0x4, "REJECT"},         {0x8, "PICKUP"},
    {0x10, "FORWARDED"},    {0x20, "BUSY"},        {0x40, "NOANSWER"},      {0x80, "BADADDRESS"},
    {0x100, "UNREACHABLE"}, {0x200, "CONGESTION"}, {0x400, "INCOMPATIBLE"}, {0x800, "UNAVAIL"},
};

// Bit 0x8 and the bits above 0x80 have no text.
constexpr TTextEntry CallOrigins[] = {{0x1, "OUTBOUND"}, {0x2, "INTERNAL"}, {0x4, "EXTERNAL"},
                                      {0x10, "UNKNOWN"}, {0x20, "UNAVAIL"}, {0x40, "CONFERENCE"},
                                      {0x80, "INBOUND"}};

constexpr TTextEntry CallFeatures[] = {
    {0x1, "ACCEPT"},
    {0x2, "ADDTOCONF"},
    {0x4, "ANSWER"},
    {0x8, "BLINDTRANSFER"},
    {0x10, "COMPLETECALL"},
    {0x20, "COMPLETETRANSF"},
    {0x40, "DIAL"},
    {0x80, "DROP"},
    {0x100, "GATHERDIGITS"},
    {0x200, "GENERATEDIGITS"},
    {0x400, "GENERATETONE"},
    {0x800, "HOLD"},
    {0x1000, "MONITORDIGITS"},
    {0x2000, "MONITORMEDIA"},
    {0x4000, "MONITORTONES"},
    {0x8000, "PARK"},
    {0x10000, "PREPAREADDCONF"},
    {0x20000, "REDIRECT"},
    {0x40000, "REMOVEFROMCONF"},
    {0x80000, "SECURECALL"},
    {0x100000, "SENDUSERUSER"},
    {0x200000, "SETCALLPARAMS"},
    {0x400000, "SETMEDIACONTROL"},
    {0x800000, "SETTERMINAL"},
    {0x1000000, "SETUPCONF"},
    {0x2000000, "SETUPTRANSFER"},
    {0x4000000, "SWAPHOLD"},
    {0x8000000, "UNHOLD"},
    {0x10000000, "RELEASEUSERUSERINFO"},
    {0x20000000, "SETTREATMENT"},
    {0x40000000, "SETQOS"},
    {0x80000000, "SETCALLDATA"},
};

// Highest privilege first.
constexpr TTextEntry Privileges[] = {{0x4, "OWNER"}, {0x2, "MONITOR"}, {0x1, "NONE"}};

// UNKNOWN (0x2) deliberately sits between VOICEVIEW and VIDEO: the order the texts have always
// been shown in.
constexpr TTextEntry MediaModes[] = {
    {0x4, "INTERACTIVEVOICE"}, {0x8, "AUTOMATEDVOICE"}, {0x10, "DATAMODEM"},
    {0x20, "G3FAX"},           {0x40, "TDD"},           {0x80, "G4FAX"},
    {0x100, "DIGITALDATA"},    {0x200, "TELETEX"},      {0x400, "VIDEOTEX"},
    {0x800, "TELEX"},          {0x1000, "MIXED"},       {0x2000, "ADSI"},
    {0x4000, "VOICEVIEW"},     {0x2, "UNKNOWN"},        {0x8000, "VIDEO"},
};

constexpr TTextEntry LampModes[] = {{0x1, "DUMMY"},          {0x2, "OFF"},     {0x4, "STEADY"},
                                    {0x8, "WINK"},           {0x10, "FLASH"},  {0x20, "FLUTTER"},
                                    {0x40, "BROKENFLUTTER"}, {0x80, "UNKNOWN"}};
constexpr TTextEntry ButtonStates[] = {
    {0x1, "UP"}, {0x2, "DOWN"}, {0x4, "UNKNOWN"}, {0x8, "UNAVAIL"}};
constexpr TTextEntry ButtonModes[] = {{0x1, "DUMMY"},  {0x2, "CALL"},   {0x4, "FEATURE"},
                                      {0x8, "KEYPAD"}, {0x10, "LOCAL"}, {0x20, "DISPLAY"}};

// PHONEBUTTONFUNCTION_* are consecutive numbers starting at 0.
constexpr const char* ButtonFunctions[] = {
    "UNKNOWN",      "CONFERENCE", "TRANSFER",     "DROP",       "HOLD",       "RECALL",
    "DISCONNECT",   "CONNECT",    "MSGWAITON",    "MSGWAITOFF", "SELECTRING", "ABBREVDIAL",
    "FORWARD",      "PICKUP",     "RINGAGAIN",    "PARK",       "REJECT",     "REDIRECT",
    "MUTE",         "VOLUMEUP",   "VOLUMEDOWN",   "SPEAKERON",  "SPEAKEROFF", "FLASH",
    "DATAON",       "DATAOFF",    "DONOTDISTURB", "INTERCOM",   "BRIDGEDAPP", "BUSY",
    "CALLAPP",      "DATETIME",   "DIRECTORY",    "COVER",      "CALLID",     "LASTNUM",
    "NIGHTSRV",     "SENDCALLS",  "MSGINDICATOR", "REPDIAL",    "SETREPDIAL", "SYSTEMSPEED",
    "STATIONSPEED", "CAMPON",     "SAVEREPEAT",   "QUEUECALL",  "NONE",
};
static_assert(std::size(ButtonFunctions) == 47);

// Single values where 0 means "nothing to show".
std::string NonZeroSingleText(TTextTable table, const char* prefix, uint32_t value) {
  if (value == 0) return {};
  const char* text = FindValue(table, value);
  return text != nullptr ? std::string(text) : Fallback(prefix, value);
}

}  // namespace

std::string TapiAppendText(const std::string& text, const std::string& item,
                           const std::string& separator) {
  if (text.empty()) return item;
  return text + separator + item;
}

std::string TapiCallStateText(uint32_t state) {
  const char* text = FindValue(CallStates, state);
  return text != nullptr ? std::string(text) : Fallback("LINECALLSTATE", state);
}

std::string TapiCallStateModeText(uint32_t state, uint32_t mode) {
  switch (state) {
    case LINECALLSTATE_OFFERING:
      return SingleText(OfferingModes, mode);
    case LINECALLSTATE_DIALTONE:
      return SingleText(DialToneModes, mode);
    case LINECALLSTATE_BUSY:
      return SingleText(BusyModes, mode);
    case LINECALLSTATE_SPECIALINFO:
      return SingleText(SpecialInfoModes, mode);
    case LINECALLSTATE_CONNECTED:
      return SingleText(ConnectedModes, mode);
    case LINECALLSTATE_DISCONNECTED:
      return SingleText(DisconnectModes, mode);
    default:
      return {};
  }
}

std::string TapiCallOriginText(uint32_t origin) {
  std::string result = BitSetText(CallOrigins, origin, " ");
  if (result.empty() && origin != 0) result = Fallback("LINECALLORIGIN", origin);
  return result;
}

std::string TapiCallFeaturesText(uint32_t features, const std::string& separator) {
  return BitSetText(CallFeatures, features, separator);
}

std::string TapiPrivilegesText(uint32_t privileges, const std::string& separator) {
  return BitSetText(Privileges, privileges, separator);
}

std::string TapiMediaModesText(uint32_t mediaModes, const std::string& separator) {
  return BitSetText(MediaModes, mediaModes, separator);
}

std::string TapiLampModeText(uint32_t lampMode) {
  return NonZeroSingleText(LampModes, "PHONELAMPMODE", lampMode);
}

std::string TapiButtonStateText(uint32_t buttonState) {
  return NonZeroSingleText(ButtonStates, "PHONEBUTTONSTATE", buttonState);
}

std::string TapiButtonModeText(uint32_t buttonMode) {
  return NonZeroSingleText(ButtonModes, "PHONEBUTTONMODE", buttonMode);
}

std::string TapiButtonFunctionText(uint32_t buttonFunction) {
  if (buttonFunction < std::size(ButtonFunctions)) return ButtonFunctions[buttonFunction];
  return Fallback("PHONEBUTTONFUNCTION", buttonFunction);
}

}  // namespace zvtapi
