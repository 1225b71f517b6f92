#include "tapi32/sip/sip_line.h"

#include <algorithm>

#include "platform/module.h"

namespace tapi32::sip {

namespace {

constexpr HICON kSipLineIcon = 0x7A760200;
constexpr DWORD kAllPartyIdFlags =
    LINECALLPARTYID_ADDRESS | LINECALLPARTYID_NAME | LINECALLPARTYID_UNKNOWN;
constexpr DWORD kCallInfoStates = LINECALLINFOSTATE_ORIGIN | LINECALLINFOSTATE_REASON |
                                  LINECALLINFOSTATE_CALLERID | LINECALLINFOSTATE_CALLEDID |
                                  LINECALLINFOSTATE_CONNECTEDID | LINECALLINFOSTATE_REDIRECTIONID;
constexpr DWORD kLineStates = LINEDEVSTATE_INSERVICE | LINEDEVSTATE_OUTOFSERVICE;
constexpr DWORD kAddressStates = LINEADDRESSSTATE_FORWARD;
// Dial parameters do not apply: a SIP destination is sent as a whole.
constexpr LINEDIALPARAMS kNoDialParams{0, 0, 0, 0};

// The part of the address of record after "sip:" / "sips:", for the address's name.
std::string WithoutScheme(const std::string& uri) {
  const size_t colon = uri.find(':');
  return colon == std::string::npos ? uri : uri.substr(colon + 1);
}

}  // namespace

SipLine::SipLine(DWORD deviceId, SipAccount account)
    : deviceId_(deviceId), account_(std::move(account)) {}

void SipLine::CallGone(DWORD callId) {
  std::erase(live_, callId);
}

void SipLine::SetForwarding(std::vector<ForwardEntry> entries, DWORD rings) {
  forwarding_ = std::move(entries);
  forwardRings_ = std::clamp<DWORD>(rings, kSipMinFwdRings, kSipMaxFwdRings);
}

VersionRange SipLine::ApiVersions() const {
  return {0x00010004, 0x00020002};
}

LineCaps SipLine::Caps() const {
  LineCaps caps;
  LINEDEVCAPS& f = caps.fixed;
  f.dwPermanentLineID = 0x00030000 | (deviceId_ + 1);
  f.dwStringFormat = STRINGFORMAT_UNICODE;
  f.dwAddressModes = LINEADDRESSMODE_ADDRESSID;
  f.dwNumAddresses = 1;
  f.dwBearerModes = LINEBEARERMODE_VOICE;
  f.dwMaxRate = 64000;
  f.dwMediaModes = LINEMEDIAMODE_INTERACTIVEVOICE;
  f.dwGenerateDigitModes = LINEDIGITMODE_DTMF;
  f.dwMonitorDigitModes = LINEDIGITMODE_DTMF | LINEDIGITMODE_DTMFEND;
  f.dwGatherDigitsMinTimeout = kSipGatherMinTimeoutMs;
  f.dwGatherDigitsMaxTimeout = kSipGatherMaxTimeoutMs;
  // Nobody here could take over a call whose owner went: it ends with its last owner.
  f.dwDevCapFlags = LINEDEVCAPFLAGS_CLOSEDROP;
  // A SIP account takes as many calls as the far ends send; the limit is the machine's.
  f.dwMaxNumActiveCalls = 64;
  f.dwAnswerMode = LINEANSWERMODE_NONE;
  f.dwRingModes = 1;
  f.dwLineStates = kLineStates;
  f.MinDialParams = f.MaxDialParams = f.DefaultDialParams = kNoDialParams;
  f.dwLineFeatures = LINEFEATURE_MAKECALL | LINEFEATURE_FORWARD;
  f.PermanentLineGuid.Data1 = f.dwPermanentLineID;
  f.PermanentLineGuid.Data2 = 0x7A76;  // "zv"
  f.PermanentLineGuid.Data3 = 3;
  caps.providerInfo = u"SIP";
  caps.switchInfo =
      platform::Utf8ToWide(account_.registrar.empty() ? account_.aor : account_.registrar);
  caps.lineName = platform::Utf8ToWide(account_.displayName);
  caps.deviceClasses = {u"tapi/line"};
  if (account_.waveIn) caps.deviceClasses.push_back(u"wave/in");
  if (account_.waveOut) caps.deviceClasses.push_back(u"wave/out");
  return caps;
}

LONG SipLine::OpenResult(DWORD, DWORD) const {
  return 0;
}

AddressCaps SipLine::AddressCapsOf(DWORD) const {
  AddressCaps caps;
  LINEADDRESSCAPS& f = caps.fixed;
  f.dwLineDeviceID = deviceId_;
  f.dwAddressSharing = LINEADDRESSSHARING_PRIVATE;
  f.dwAddressStates = kAddressStates;
  f.dwCallInfoStates = kCallInfoStates;
  f.dwCallerIDFlags = f.dwCalledIDFlags = f.dwConnectedIDFlags = kAllPartyIdFlags;
  f.dwRedirectionIDFlags = f.dwRedirectingIDFlags = kAllPartyIdFlags;
  f.dwCallStates = kSipCallStates;
  f.dwDialToneModes = LINEDIALTONEMODE_NORMAL;
  f.dwBusyModes = LINEBUSYMODE_STATION;
  f.dwDisconnectModes = kSipDisconnectModes;
  f.dwMaxNumActiveCalls = 64;
  f.dwMaxNumOnHoldCalls = 64;
  f.dwAddrCapFlags =
      LINEADDRCAPFLAGS_DIALED | LINEADDRCAPFLAGS_FWDNUMRINGS | LINEADDRCAPFLAGS_FWDSTATUSVALID;
  f.dwCallFeatures = kSipCallFeatures;
  f.dwTransferModes = 0;
  f.dwForwardModes = kSipForwardModes;
  f.dwMaxForwardEntries = kSipMaxForwardEntries;
  f.dwMinFwdNumRings = kSipMinFwdRings;
  f.dwMaxFwdNumRings = kSipMaxFwdRings;
  f.dwAddressFeatures = LINEADDRFEATURE_MAKECALL | LINEADDRFEATURE_FORWARD;
  f.dwConnectedModes = LINECONNECTEDMODE_ACTIVE | LINECONNECTEDMODE_INACTIVE;
  f.dwOfferingModes = LINEOFFERINGMODE_ACTIVE;
  f.dwAvailableMediaModes = LINEMEDIAMODE_INTERACTIVEVOICE;
  caps.address = platform::Utf8ToWide(WithoutScheme(account_.aor));
  caps.deviceClasses = Caps().deviceClasses;
  return caps;
}

LINEADDRESSSTATUS SipLine::AddressStatusOf(DWORD) const {
  LINEADDRESSSTATUS status{};
  const auto calls = static_cast<DWORD>(live_.size());
  status.dwNumInUse = calls != 0 ? 1 : 0;
  status.dwNumOnHoldCalls = held_;
  status.dwNumActiveCalls = calls - held_;
  status.dwAddressFeatures =
      inService_ ? LINEADDRFEATURE_MAKECALL | LINEADDRFEATURE_FORWARD : LINEADDRFEATURE_FORWARD;
  status.dwNumRingsNoAnswer = forwardRings_;
  return status;
}

std::vector<ForwardEntry> SipLine::ForwardingOf(DWORD) const {
  return forwarding_;
}

LINEDEVSTATUS SipLine::Status() const {
  LINEDEVSTATUS status{};
  const auto calls = static_cast<DWORD>(live_.size());
  status.dwNumOnHoldCalls = held_;
  status.dwNumActiveCalls = calls - held_;
  status.dwLineFeatures =
      inService_ ? LINEFEATURE_MAKECALL | LINEFEATURE_FORWARD : LINEFEATURE_FORWARD;
  status.dwSignalLevel = 0xFFFF;
  status.dwBatteryLevel = 0xFFFF;
  status.dwRoamMode = LINEROAMMODE_UNAVAIL;
  status.dwDevStatusFlags = LINEDEVSTATUSFLAGS_CONNECTED;
  if (inService_) status.dwDevStatusFlags |= LINEDEVSTATUSFLAGS_INSERVICE;
  status.dwAvailableMediaModes = LINEMEDIAMODE_INTERACTIVEVOICE;
  return status;
}

HICON SipLine::Icon() const {
  return kSipLineIcon;
}

std::optional<DWORD> SipLine::WaveId(bool input) const {
  const std::optional<uint32_t>& id = input ? account_.waveIn : account_.waveOut;
  if (!id) return std::nullopt;
  return DWORD{*id};
}

}  // namespace tapi32::sip
