#include "tapi32/sim/devices.h"

#include <algorithm>
#include <utility>

#include "platform/module.h"

namespace tapi32::sim {

namespace {

// Devices without a configured permanent ID get one from the switch's provider number (1 for
// lines, 2 for phones) and their device ID, the way providers usually build them.
uint32_t PermanentId(uint32_t configured, uint32_t provider, uint32_t deviceId) {
  return configured != 0 ? configured : (provider << 16) | (deviceId + 1);
}

GUID GuidFor(uint32_t kind, uint32_t permanentId) {
  GUID guid{};
  guid.Data1 = permanentId;
  guid.Data2 = 0x7A76;  // "zv"
  guid.Data3 = static_cast<WORD>(kind);
  guid.Data4[0] = 0x80;
  return guid;
}

std::vector<std::u16string> WideList(const std::vector<std::string>& items) {
  std::vector<std::u16string> out;
  out.reserve(items.size());
  for (const auto& item : items)
    out.push_back(platform::Utf8ToWide(item));
  return out;
}

}  // namespace

LineDevice::LineDevice(uint32_t deviceId, LineConfig config)
    : deviceId_(deviceId), config_(std::move(config)) {
  config_.permanentId = PermanentId(config_.permanentId, 1, deviceId_);
  counts_.resize(config_.numAddresses);
}

void LineDevice::SetConfig(LineConfig config) {
  config.permanentId = PermanentId(config.permanentId, 1, deviceId_);
  config_ = std::move(config);
  // Calls on addresses that no longer exist keep being counted on the last one.
  if (config_.numAddresses > counts_.size()) counts_.resize(config_.numAddresses);
}

LineCaps LineDevice::Caps() const {
  LineCaps caps;
  LINEDEVCAPS& f = caps.fixed;
  f.dwPermanentLineID = config_.permanentId;
  f.dwStringFormat = STRINGFORMAT_UNICODE;
  f.dwAddressModes = config_.addressModes;
  f.dwNumAddresses = config_.numAddresses;
  f.dwBearerModes = config_.bearerModes;
  f.dwMaxRate = config_.maxRate;
  f.dwMediaModes = config_.mediaModes;
  f.dwGenerateToneModes = 0;
  f.dwGenerateDigitModes = 0;
  f.dwMonitorDigitModes = 0;
  f.dwDevCapFlags = config_.devCapFlags;
  f.dwMaxNumActiveCalls = config_.maxActiveCalls;
  f.dwAnswerMode = config_.answerMode;
  f.dwRingModes = config_.ringModes;
  f.dwLineStates = config_.lineStates;
  f.MinDialParams = {0, 50, 50, 0};
  f.MaxDialParams = {5000, 500, 500, 30000};
  f.DefaultDialParams = {2000, 100, 100, 3000};
  f.dwNumTerminals = 0;
  f.dwLineFeatures = config_.lineFeatures;
  f.dwSettableDevStatus = 0;
  f.PermanentLineGuid = GuidFor(1, config_.permanentId);
  caps.providerInfo = platform::Utf8ToWide(config_.providerInfo);
  caps.switchInfo = platform::Utf8ToWide(config_.switchInfo);
  caps.lineName = platform::Utf8ToWide(config_.name);
  caps.deviceClasses = WideList(config_.deviceClasses);
  return caps;
}

namespace {

constexpr uint32_t kConnectedFeatures =
    LINECALLFEATURE_DROP | LINECALLFEATURE_HOLD | LINECALLFEATURE_SETUPTRANSFER |
    LINECALLFEATURE_BLINDTRANSFER | LINECALLFEATURE_PARK | LINECALLFEATURE_SETUPCONF |
    LINECALLFEATURE_GENERATEDIGITS | LINECALLFEATURE_GENERATETONE | LINECALLFEATURE_MONITORDIGITS |
    LINECALLFEATURE_MONITORMEDIA | LINECALLFEATURE_MONITORTONES | LINECALLFEATURE_GATHERDIGITS |
    LINECALLFEATURE_COMPLETECALL | LINECALLFEATURE_SETCALLDATA;

constexpr uint32_t kAllFeatures =
    kConnectedFeatures | LINECALLFEATURE_ACCEPT | LINECALLFEATURE_ANSWER |
    LINECALLFEATURE_REDIRECT | LINECALLFEATURE_DIAL | LINECALLFEATURE_UNHOLD |
    LINECALLFEATURE_SWAPHOLD | LINECALLFEATURE_COMPLETETRANSF | LINECALLFEATURE_ADDTOCONF |
    LINECALLFEATURE_REMOVEFROMCONF | LINECALLFEATURE_PREPAREADDCONF;

constexpr uint32_t kAllCallStates = 0xFFFF;  // LINECALLSTATE_IDLE .. LINECALLSTATE_UNKNOWN
constexpr uint32_t kAllPartyIdFlags = 0x7F;  // LINECALLPARTYID_BLOCKED .. UNAVAIL
constexpr uint32_t kAllCallInfoStates = 0x7FFFFFFF;
constexpr HICON kGenericLineIcon = 0x7A760100;

}  // namespace

uint32_t LineDevice::FeaturesFor(uint32_t state) {
  switch (state) {
    case LINECALLSTATE_OFFERING:
      return LINECALLFEATURE_ACCEPT | LINECALLFEATURE_ANSWER | LINECALLFEATURE_DROP |
             LINECALLFEATURE_REDIRECT | LINECALLFEATURE_SETCALLDATA;
    case LINECALLSTATE_ACCEPTED:
      return LINECALLFEATURE_ANSWER | LINECALLFEATURE_DROP | LINECALLFEATURE_REDIRECT |
             LINECALLFEATURE_SETCALLDATA;
    case LINECALLSTATE_DIALTONE:
    case LINECALLSTATE_DIALING:
      return LINECALLFEATURE_DIAL | LINECALLFEATURE_DROP;
    case LINECALLSTATE_CONNECTED:
      return kConnectedFeatures;
    case LINECALLSTATE_ONHOLD:
      return LINECALLFEATURE_UNHOLD | LINECALLFEATURE_DROP;
    case LINECALLSTATE_ONHOLDPENDTRANSFER:
      return LINECALLFEATURE_COMPLETETRANSF | LINECALLFEATURE_SWAPHOLD | LINECALLFEATURE_DROP;
    case LINECALLSTATE_ONHOLDPENDCONF:
      return LINECALLFEATURE_ADDTOCONF | LINECALLFEATURE_SWAPHOLD | LINECALLFEATURE_DROP;
    case LINECALLSTATE_CONFERENCED:
      return LINECALLFEATURE_REMOVEFROMCONF | LINECALLFEATURE_DROP;
    case LINECALLSTATE_IDLE:
      return 0;
    default:  // ringback, busy, proceeding, special info, disconnected, unknown
      return LINECALLFEATURE_DROP;
  }
}

LONG LineDevice::OpenResult(DWORD privileges, DWORD) const {
  if (config_.openError != 0) return static_cast<LONG>(config_.openError);
  if ((privileges & LINECALLPRIVILEGE_OWNER) && config_.refuseOwner != 0) {
    return static_cast<LONG>(config_.refuseOwner);
  }
  return 0;
}

AddressCaps LineDevice::AddressCapsOf(DWORD addressId) const {
  AddressCaps caps;
  LINEADDRESSCAPS& f = caps.fixed;
  f.dwLineDeviceID = deviceId_;
  f.dwAddressSharing = LINEADDRESSSHARING_PRIVATE;
  f.dwAddressStates = config_.addressStates;
  f.dwCallInfoStates = kAllCallInfoStates;
  f.dwCallerIDFlags = f.dwCalledIDFlags = f.dwConnectedIDFlags = kAllPartyIdFlags;
  f.dwRedirectionIDFlags = f.dwRedirectingIDFlags = kAllPartyIdFlags;
  f.dwCallStates = kAllCallStates;
  f.dwDialToneModes = LINEDIALTONEMODE_NORMAL | LINEDIALTONEMODE_UNAVAIL;
  f.dwBusyModes = LINEBUSYMODE_STATION | LINEBUSYMODE_TRUNK | LINEBUSYMODE_UNKNOWN;
  f.dwSpecialInfo = LINESPECIALINFO_NOCIRCUIT | LINESPECIALINFO_UNKNOWN;
  f.dwDisconnectModes = LINEDISCONNECTMODE_NORMAL | LINEDISCONNECTMODE_UNKNOWN |
                        LINEDISCONNECTMODE_REJECT | LINEDISCONNECTMODE_BUSY |
                        LINEDISCONNECTMODE_NOANSWER | LINEDISCONNECTMODE_UNAVAIL;
  f.dwMaxNumActiveCalls = config_.maxActiveCalls;
  f.dwMaxNumOnHoldCalls = 1;
  f.dwMaxNumOnHoldPendingCalls = 1;
  f.dwMaxNumConference = 3;
  f.dwMaxNumTransConf = 3;
  f.dwAddrCapFlags = LINEADDRCAPFLAGS_DIALED | LINEADDRCAPFLAGS_TRANSFERHELD |
                     LINEADDRCAPFLAGS_CONFERENCEHELD | LINEADDRCAPFLAGS_PARTIALDIAL;
  f.dwCallFeatures = kAllFeatures;
  f.dwTransferModes = LINETRANSFERMODE_TRANSFER | LINETRANSFERMODE_CONFERENCE;
  f.dwParkModes = LINEPARKMODE_DIRECTED | LINEPARKMODE_NONDIRECTED;
  f.dwAddressFeatures =
      (config_.lineFeatures & LINEFEATURE_MAKECALL) ? LINEADDRFEATURE_MAKECALL : 0;
  f.dwMaxCallDataSize = 4096;
  f.dwConnectedModes = LINECONNECTEDMODE_ACTIVE | LINECONNECTEDMODE_INACTIVE;
  f.dwOfferingModes = LINEOFFERINGMODE_ACTIVE | LINEOFFERINGMODE_INACTIVE;
  f.dwAvailableMediaModes = config_.mediaModes;
  if (addressId < config_.addressNames.size()) {
    caps.address = platform::Utf8ToWide(config_.addressNames[addressId]);
  }
  caps.deviceClasses = WideList(config_.deviceClasses);
  return caps;
}

void LineDevice::Count(uint32_t addressId, uint32_t state, int delta) {
  if (state == LINECALLSTATE_IDLE || counts_.empty()) return;
  Counts& counts = counts_[std::min<size_t>(addressId, counts_.size() - 1)];
  counts.calls += static_cast<uint32_t>(delta);
  if (state == LINECALLSTATE_ONHOLD) {
    counts.onHold += static_cast<uint32_t>(delta);
  } else if (state == LINECALLSTATE_ONHOLDPENDCONF || state == LINECALLSTATE_ONHOLDPENDTRANSFER) {
    counts.onHoldPending += static_cast<uint32_t>(delta);
  } else {
    counts.active += static_cast<uint32_t>(delta);
  }
}

void LineDevice::CallMoved(uint32_t callId, uint32_t addressId, uint32_t from, uint32_t to) {
  Count(addressId, from, -1);
  Count(addressId, to, +1);
  // Most moves are between two busy states; the ordered sets change only when a call starts,
  // ends, starts or stops alerting, which keeps a busy line's state changes cheap.
  const bool wasLive = from != LINECALLSTATE_IDLE && from != 0;
  const bool isLive = to != LINECALLSTATE_IDLE;
  if (wasLive != isLive || from == 0) {
    if (isLive) {
      live_.insert(callId);
    } else {
      live_.erase(callId);
    }
  }
  auto alerting = [](uint32_t state) {
    return state == LINECALLSTATE_OFFERING || state == LINECALLSTATE_ACCEPTED;
  };
  if (alerting(from) != alerting(to) || from == 0) {
    if (alerting(to)) {
      alerting_.insert(callId);
    } else {
      alerting_.erase(callId);
    }
  }
}

LINEADDRESSSTATUS LineDevice::AddressStatusOf(DWORD addressId) const {
  LINEADDRESSSTATUS status{};
  const Counts counts = addressId < counts_.size() ? counts_[addressId] : Counts{};
  status.dwNumInUse = counts.calls != 0 ? 1 : 0;
  status.dwNumActiveCalls = counts.active;
  status.dwNumOnHoldCalls = counts.onHold;
  status.dwNumOnHoldPendCalls = counts.onHoldPending;
  status.dwAddressFeatures =
      (config_.lineFeatures & LINEFEATURE_MAKECALL) ? LINEADDRFEATURE_MAKECALL : 0;
  return status;
}

LINEDEVSTATUS LineDevice::Status() const {
  LINEDEVSTATUS status{};
  for (const Counts& counts : counts_) {
    status.dwNumActiveCalls += counts.active;
    status.dwNumOnHoldCalls += counts.onHold;
    status.dwNumOnHoldPendCalls += counts.onHoldPending;
  }
  status.dwLineFeatures = config_.lineFeatures;
  status.dwRingMode = ringMode_;
  status.dwSignalLevel = 0xFFFF;
  status.dwBatteryLevel = 0xFFFF;
  status.dwRoamMode = LINEROAMMODE_UNAVAIL;
  status.dwDevStatusFlags = LINEDEVSTATUSFLAGS_CONNECTED | LINEDEVSTATUSFLAGS_INSERVICE;
  status.dwAvailableMediaModes = config_.mediaModes;
  return status;
}

HICON LineDevice::Icon() const {
  return config_.icon != 0 ? config_.icon : kGenericLineIcon;
}

std::vector<DWORD> LineDevice::LiveCalls() const {
  return {live_.begin(), live_.end()};
}

PhoneDevice::PhoneDevice(uint32_t deviceId, PhoneConfig config)
    : deviceId_(deviceId), config_(std::move(config)) {
  config_.permanentId = PermanentId(config_.permanentId, 2, deviceId_);
}

void PhoneDevice::SetConfig(PhoneConfig config) {
  config.permanentId = PermanentId(config.permanentId, 2, deviceId_);
  config_ = std::move(config);
}

PhoneCaps PhoneDevice::Caps() const {
  PhoneCaps caps;
  PHONECAPS& f = caps.fixed;
  f.dwPermanentPhoneID = config_.permanentId;
  f.dwStringFormat = STRINGFORMAT_UNICODE;
  f.dwPhoneStates = config_.phoneStates;
  f.dwHookSwitchDevs = config_.hookSwitchDevs;
  f.dwDisplayNumRows = config_.displayRows;
  f.dwDisplayNumColumns = config_.displayColumns;
  f.dwNumRingModes = config_.numRingModes;
  f.dwNumButtonLamps = config_.numButtonLamps;
  f.dwPhoneFeatures = config_.phoneFeatures;
  f.PermanentPhoneGuid = GuidFor(2, config_.permanentId);
  caps.providerInfo = platform::Utf8ToWide(config_.providerInfo);
  caps.phoneInfo = platform::Utf8ToWide(config_.phoneInfo);
  caps.phoneName = platform::Utf8ToWide(config_.name);
  caps.deviceClasses = WideList(config_.deviceClasses);
  return caps;
}

}  // namespace tapi32::sim
