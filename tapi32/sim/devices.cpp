#include "tapi32/sim/devices.h"

#include <algorithm>
#include <utility>

#include "platform/module.h"

namespace tapi32::sim {

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

LineDevice::LineDevice(uint32_t deviceId, LineConfig config)
    : deviceId_(deviceId), config_(std::move(config)) {
  config_.permanentId = PermanentId(config_.permanentId, 1, deviceId_);
  counts_.resize(config_.numAddresses);
  forwarding_.resize(config_.numAddresses,
                     {{}, ClipForwardRings(config_.numRingsNoAnswer, config_)});
  RememberFeatures();
}

void LineDevice::SetConfig(LineConfig config) {
  config.permanentId = PermanentId(config.permanentId, 1, deviceId_);
  config_ = std::move(config);
  // Calls on addresses that no longer exist keep being counted on the last one.
  if (config_.numAddresses > counts_.size()) counts_.resize(config_.numAddresses);
  forwarding_.resize(config_.numAddresses,
                     {{}, ClipForwardRings(config_.numRingsNoAnswer, config_)});
  // The opens hear of the new capabilities as such (CAPSCHANGE).
  RememberFeatures();
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
  f.dwGenerateToneModes = config_.generateToneModes;
  f.dwGenerateToneMaxNumFreq = config_.generateToneMaxFreq;
  f.dwGenerateDigitModes = config_.generateDigitModes;
  f.dwMonitorToneMaxNumFreq = config_.monitorToneMaxFreq;
  f.dwMonitorToneMaxNumEntries = config_.monitorToneMaxEntries;
  // Media control and lineSendUserUserInfo do not exist here.
  f.dwMonitorDigitModes = config_.monitorDigitModes;
  if (GatherDigitModes() != 0) {
    f.dwGatherDigitsMinTimeout = config_.gatherDigitsMinTimeout;
    f.dwGatherDigitsMaxTimeout = config_.gatherDigitsMaxTimeout;
  }
  f.dwDevCapFlags = config_.devCapFlags;
  f.dwMaxNumActiveCalls = config_.maxActiveCalls;
  f.dwAnswerMode = config_.answerMode;
  f.dwRingModes = config_.ringModes;
  f.dwLineStates = config_.lineStates;
  f.dwUUIAcceptSize = config_.uuiAcceptSize;
  f.dwUUIAnswerSize = config_.uuiAnswerSize;
  f.dwUUIMakeCallSize = config_.uuiMakeCallSize;
  f.dwUUIDropSize = config_.uuiDropSize;
  f.dwUUISendUserUserInfoSize = 0;
  f.dwUUICallInfoSize = config_.uuiCallInfoSize;
  f.MinDialParams = {0, 50, 50, 0};
  f.MaxDialParams = {5000, 500, 500, 30000};
  f.DefaultDialParams = {2000, 100, 100, 3000};
  f.dwNumTerminals = 0;
  f.dwLineFeatures = config_.lineFeatures;
  if (config_.forwardModes != 0) f.dwLineFeatures |= LINEFEATURE_FORWARD;
  f.dwSettableDevStatus = 0;
  f.PermanentLineGuid = GuidFor(1, config_.permanentId);
  caps.providerInfo = platform::Utf8ToWide(config_.providerInfo);
  caps.switchInfo = platform::Utf8ToWide(config_.switchInfo);
  caps.lineName = platform::Utf8ToWide(config_.name);
  caps.deviceClasses = WideList(config_.deviceClasses);
  return caps;
}

namespace {

constexpr uint32_t kAllCallStates = 0xFFFF;  // LINECALLSTATE_IDLE .. LINECALLSTATE_UNKNOWN
constexpr uint32_t kAllPartyIdFlags = 0x7F;  // LINECALLPARTYID_BLOCKED .. UNAVAIL
constexpr uint32_t kAllCallInfoStates = 0x7FFFFFFF;
constexpr HICON kGenericLineIcon = 0x7A760100;

constexpr uint32_t kEngaging = LINECALLSTATE_DIALTONE | LINECALLSTATE_DIALING |
                               LINECALLSTATE_PROCEEDING | LINECALLSTATE_RINGBACK |
                               LINECALLSTATE_BUSY | LINECALLSTATE_SPECIALINFO |
                               LINECALLSTATE_CONNECTED;
constexpr uint32_t kPending = LINECALLSTATE_ONHOLDPENDCONF | LINECALLSTATE_ONHOLDPENDTRANSFER;

bool Present(uint32_t state) {
  return state != LINECALLSTATE_IDLE && state != 0;
}

int Delta(bool before, bool after) {
  return static_cast<int>(after) - static_cast<int>(before);
}

}  // namespace

bool LineDevice::Engages(uint32_t state) {
  return (state & kEngaging) != 0;
}

bool LineDevice::Conferences() const {
  return config_.maxConference >= 2 && config_.maxOnHoldPendingCalls > 0;
}

uint32_t LineDevice::TransferModes() const {
  // The call to transfer waits on hold: for the transfer, or held before.
  if (config_.maxOnHoldPendingCalls == 0 && config_.maxOnHoldCalls == 0) return 0;
  // A conference of the two calls and this station takes three parties.
  return LINETRANSFERMODE_TRANSFER |
         (config_.maxTransConf >= 3 ? LINETRANSFERMODE_CONFERENCE : uint32_t{0});
}

uint32_t LineDevice::GatherDigitModes() const {
  if (config_.gatherDigitsMaxTimeout == 0) return 0;
  return config_.monitorDigitModes & (LINEDIGITMODE_PULSE | LINEDIGITMODE_DTMF);
}

// The features the switch's call control can offer on this line's calls; which of them a call
// offers at a moment depends on its state and the other calls (Switch::CallFeatures).
uint32_t LineDevice::OfferedCallFeatures() const {
  uint32_t features = LINECALLFEATURE_ACCEPT | LINECALLFEATURE_ANSWER | LINECALLFEATURE_DROP |
                      LINECALLFEATURE_DIAL | LINECALLFEATURE_REDIRECT |
                      LINECALLFEATURE_BLINDTRANSFER | LINECALLFEATURE_PARK |
                      LINECALLFEATURE_SETCALLDATA | LINECALLFEATURE_COMPLETECALL |
                      LINECALLFEATURE_MONITORMEDIA;
  if (config_.monitorToneMaxEntries > 0) features |= LINECALLFEATURE_MONITORTONES;
  if (config_.monitorDigitModes != 0) features |= LINECALLFEATURE_MONITORDIGITS;
  if (GatherDigitModes() != 0) features |= LINECALLFEATURE_GATHERDIGITS;
  if (config_.generateDigitModes != 0) features |= LINECALLFEATURE_GENERATEDIGITS;
  if (config_.generateToneModes != 0) features |= LINECALLFEATURE_GENERATETONE;
  if (config_.maxOnHoldCalls > 0) {
    features |= LINECALLFEATURE_HOLD | LINECALLFEATURE_UNHOLD | LINECALLFEATURE_SWAPHOLD;
  }
  if (config_.maxOnHoldPendingCalls > 0) {
    features |= LINECALLFEATURE_SETUPTRANSFER | LINECALLFEATURE_SWAPHOLD;
  }
  if (TransferModes() != 0) features |= LINECALLFEATURE_COMPLETETRANSF;
  if (Conferences()) {
    features |= LINECALLFEATURE_SETUPCONF | LINECALLFEATURE_PREPAREADDCONF |
                LINECALLFEATURE_ADDTOCONF | LINECALLFEATURE_REMOVEFROMCONF;
  }
  if (TransferModes() & LINETRANSFERMODE_CONFERENCE) {
    features |= LINECALLFEATURE_REMOVEFROMCONF;
    // A conference made from a transfer grows only when it may take more than three parties.
    if (config_.maxTransConf > 3) {
      features |= LINECALLFEATURE_ADDTOCONF;
      if (config_.maxOnHoldPendingCalls > 0) features |= LINECALLFEATURE_PREPAREADDCONF;
    }
  }
  return features;
}

uint32_t LineDevice::OfferedCallFeatures2() const {
  uint32_t features = LINECALLFEATURE2_COMPLCAMPON | LINECALLFEATURE2_COMPLCALLBACK |
                      LINECALLFEATURE2_COMPLINTRUDE | LINECALLFEATURE2_PARKDIRECT |
                      LINECALLFEATURE2_PARKNONDIRECT;
  if (TransferModes() & LINETRANSFERMODE_TRANSFER) features |= LINECALLFEATURE2_TRANSFERNORM;
  if (TransferModes() & LINETRANSFERMODE_CONFERENCE) features |= LINECALLFEATURE2_TRANSFERCONF;
  return features;
}

uint32_t LineDevice::OfferedAddrCapFlags() const {
  uint32_t flags =
      LINEADDRCAPFLAGS_DIALED | LINEADDRCAPFLAGS_PARTIALDIAL | LINEADDRCAPFLAGS_COMPLETIONID;
  const bool hold = config_.maxOnHoldCalls > 0;
  // A held call frees the station for a new call that can then be joined with it; so does
  // room for a second active call.
  const bool makeBeside = hold || config_.maxActiveCalls > 1;
  if (hold) flags |= LINEADDRCAPFLAGS_TRANSFERHELD;
  if (TransferModes() != 0 && makeBeside) flags |= LINEADDRCAPFLAGS_TRANSFERMAKE;
  if (Conferences()) {
    flags |= LINEADDRCAPFLAGS_CONFDROP;
    if (hold) flags |= LINEADDRCAPFLAGS_CONFERENCEHELD;
    if (makeBeside) flags |= LINEADDRCAPFLAGS_CONFERENCEMAKE;
    if (config_.lineFeatures & LINEFEATURE_MAKECALL) flags |= LINEADDRCAPFLAGS_SETUPCONFNULL;
  }
  if (TransferModes() & LINETRANSFERMODE_CONFERENCE) flags |= LINEADDRCAPFLAGS_CONFDROP;
  // Forwarding takes a ring count, shows itself in the address status, and keeps internal and
  // external callers, and busy and unanswered calls, apart.
  if (config_.forwardModes != 0) {
    flags |= LINEADDRCAPFLAGS_FWDNUMRINGS | LINEADDRCAPFLAGS_FWDSTATUSVALID |
             LINEADDRCAPFLAGS_FWDINTEXTADDR | LINEADDRCAPFLAGS_FWDBUSYNAADDR;
    if (config_.forwardConsult) flags |= LINEADDRCAPFLAGS_FWDCONSULT;
  }
  return flags;
}

uint32_t LineDevice::OfferedAddressFeatures() const {
  uint32_t features = LINEADDRFEATURE_PICKUP | LINEADDRFEATURE_PICKUPDIRECT |
                      LINEADDRFEATURE_PICKUPGROUP | LINEADDRFEATURE_UNPARK |
                      LINEADDRFEATURE_UNCOMPLETECALL;
  if (config_.forwardModes != 0) features |= LINEADDRFEATURE_FORWARD;
  if (config_.lineFeatures & LINEFEATURE_MAKECALL) {
    features |= LINEADDRFEATURE_MAKECALL;
    if (Conferences()) features |= LINEADDRFEATURE_SETUPCONF;
  }
  return features;
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
  f.dwMaxNumOnHoldCalls = config_.maxOnHoldCalls;
  f.dwMaxNumOnHoldPendingCalls = config_.maxOnHoldPendingCalls;
  f.dwMaxNumConference = config_.maxConference;
  f.dwMaxNumTransConf = config_.maxTransConf;
  f.dwAddrCapFlags = OfferedAddrCapFlags();
  f.dwCallFeatures = OfferedCallFeatures();
  f.dwCallFeatures2 = OfferedCallFeatures2();
  // Any party may leave a conference; its call then ends.
  const bool removable = (f.dwCallFeatures & LINECALLFEATURE_REMOVEFROMCONF) != 0;
  f.dwRemoveFromConfCaps = removable ? LINEREMOVEFROMCONF_ANY : LINEREMOVEFROMCONF_NONE;
  f.dwRemoveFromConfState = removable ? LINECALLSTATE_IDLE : 0;
  f.dwTransferModes = TransferModes();
  f.dwParkModes = LINEPARKMODE_DIRECTED | LINEPARKMODE_NONDIRECTED;
  f.dwForwardModes = config_.forwardModes;
  if (config_.forwardModes != 0) {
    f.dwMaxForwardEntries = config_.maxForwardEntries;
    f.dwMaxSpecificEntries = config_.maxSpecificEntries;
    f.dwMinFwdNumRings = config_.minFwdNumRings;
    f.dwMaxFwdNumRings = config_.maxFwdNumRings;
  }
  f.dwMaxCallCompletions = kMaxCallCompletions;
  f.dwCallCompletionConds = LINECALLCOMPLCOND_BUSY | LINECALLCOMPLCOND_NOANSWER;
  f.dwCallCompletionModes = kCompletionModes;
  f.dwNumCompletionMessages = 0;
  f.dwAddressFeatures = OfferedAddressFeatures();
  f.dwMaxCallDataSize = kMaxCallDataSize;
  f.dwMaxNoAnswerTimeout = kMaxNoAnswerTimeout;
  f.dwConnectedModes = LINECONNECTEDMODE_ACTIVE | LINECONNECTEDMODE_INACTIVE;
  f.dwOfferingModes = LINEOFFERINGMODE_ACTIVE | LINEOFFERINGMODE_INACTIVE;
  f.dwAvailableMediaModes = config_.mediaModes;
  if (addressId < config_.addressNames.size()) {
    caps.address = platform::Utf8ToWide(config_.addressNames[addressId]);
  }
  caps.deviceClasses = WideList(config_.deviceClasses);
  return caps;
}

size_t LineDevice::Slot(uint32_t addressId) const {
  return std::min<size_t>(addressId, counts_.size() - 1);
}

void LineDevice::Count(uint32_t addressId, uint32_t state, int delta) {
  if (!Present(state) || counts_.empty()) return;
  Counts& counts = counts_[Slot(addressId)];
  const auto step = static_cast<uint32_t>(delta);
  counts.calls += step;
  if (state == LINECALLSTATE_ONHOLD) {
    counts.onHold += step;
  } else if (state & kPending) {
    counts.onHoldPending += step;
  } else {
    counts.active += step;
  }
  if (Engages(state)) engaged_ += step;
}

bool LineDevice::Fits(std::span<const CallMove> moves) const {
  if (counts_.empty()) return false;  // a line without addresses has no calls at all
  int engaged = 0;
  for (const CallMove& move : moves)
    engaged += Delta(Engages(move.from), Engages(move.to));
  if (engaged > 0 && engaged_ + static_cast<uint32_t>(engaged) > config_.maxActiveCalls) {
    return false;
  }
  // Held and pending calls are limited per address.
  for (const CallMove& move : moves) {
    int onHold = 0;
    int pending = 0;
    for (const CallMove& other : moves) {
      if (Slot(other.addressId) != Slot(move.addressId)) continue;
      onHold += Delta(other.from == LINECALLSTATE_ONHOLD, other.to == LINECALLSTATE_ONHOLD);
      pending += Delta((other.from & kPending) != 0, (other.to & kPending) != 0);
    }
    const Counts& counts = counts_[Slot(move.addressId)];
    if (onHold > 0 && counts.onHold + static_cast<uint32_t>(onHold) > config_.maxOnHoldCalls) {
      return false;
    }
    if (pending > 0 &&
        counts.onHoldPending + static_cast<uint32_t>(pending) > config_.maxOnHoldPendingCalls) {
      return false;
    }
  }
  return true;
}

uint32_t LineDevice::AvailableLineFeatures() const {
  uint32_t features =
      config_.lineFeatures & (LINEFEATURE_DEVSPECIFIC | LINEFEATURE_DEVSPECIFICFEAT);
  if ((config_.lineFeatures & LINEFEATURE_MAKECALL) &&
      Fits({{0, LINECALLSTATE_IDLE, LINECALLSTATE_DIALTONE}})) {
    features |= LINEFEATURE_MAKECALL;
  }
  if (CanForward(0)) features |= LINEFEATURE_FORWARD;
  return features;
}

uint32_t LineDevice::AvailableAddressFeatures(uint32_t addressId) const {
  uint32_t features = 0;
  // Making, picking up and unparking a call each need room for one more active call.
  if (Fits({{addressId, LINECALLSTATE_IDLE, LINECALLSTATE_CONNECTED}})) {
    features |= LINEADDRFEATURE_PICKUP | LINEADDRFEATURE_PICKUPDIRECT |
                LINEADDRFEATURE_PICKUPGROUP | LINEADDRFEATURE_UNPARK;
    if (config_.lineFeatures & LINEFEATURE_MAKECALL) {
      features |= LINEADDRFEATURE_MAKECALL;
      if (Conferences() && Fits({{addressId, LINECALLSTATE_IDLE, LINECALLSTATE_ONHOLDPENDCONF},
                                 {addressId, LINECALLSTATE_IDLE, LINECALLSTATE_DIALTONE}})) {
        features |= LINEADDRFEATURE_SETUPCONF;
      }
    }
  }
  if (CompletionsOn(addressId) > 0) features |= LINEADDRFEATURE_UNCOMPLETECALL;
  if (CanForward(addressId)) features |= LINEADDRFEATURE_FORWARD;
  return features;
}

void LineDevice::RememberFeatures() {
  lineFeatures_ = AvailableLineFeatures();
  for (uint32_t address = 0; address < config_.numAddresses; ++address)
    counts_[address].features = AvailableAddressFeatures(address);
}

LineNews LineDevice::News(uint32_t addressId, const Counts& before) {
  LineNews news;
  const size_t moved = Slot(addressId);
  const Counts& after = counts_[moved];
  if (before.calls != after.calls || before.active != after.active ||
      before.onHold != after.onHold || before.onHoldPending != after.onHoldPending) {
    news.lineStates |= LINEDEVSTATE_NUMCALLS;
    news.addressStates |= LINEADDRESSSTATE_NUMCALLS;
  }
  // The address is private: in use by this station or by nobody.
  if (before.calls == 0 && after.calls != 0) news.addressStates |= LINEADDRESSSTATE_INUSEONE;
  if (before.calls != 0 && after.calls == 0) news.addressStates |= LINEADDRESSSTATE_INUSEZERO;
  if (before.completions != after.completions) news.lineStates |= LINEDEVSTATE_NUMCOMPLETIONS;
  // LINEDEVSTATE_OTHER / LINEADDRESSSTATE_OTHER tell that the status changed in a way no other
  // state names: here, which features are available.
  if (const uint32_t features = AvailableLineFeatures(); features != lineFeatures_) {
    lineFeatures_ = features;
    news.lineStates |= LINEDEVSTATE_OTHER;
  }
  for (uint32_t address = 0; address < config_.numAddresses; ++address) {
    const uint32_t features = AvailableAddressFeatures(address);
    if (features == counts_[address].features) continue;
    counts_[address].features = features;
    if (address == moved) {
      news.addressStates |= LINEADDRESSSTATE_OTHER;
    } else {
      news.otherAddresses.push_back(address);
    }
  }
  return news;
}

LineNews LineDevice::CallMoved(uint32_t callId, uint32_t addressId, uint32_t from, uint32_t to,
                               uint32_t mode) {
  LineNews news;
  // Most moves are between two states that count alike (dialling, ringback, connected), and
  // they change nothing the opens are told about.
  const bool recount =
      !counts_.empty() && (Present(from) != Present(to) || Engages(from) != Engages(to) ||
                           (from == LINECALLSTATE_ONHOLD) != (to == LINECALLSTATE_ONHOLD) ||
                           ((from & kPending) != 0) != ((to & kPending) != 0));
  if (recount) {
    const Counts before = counts_[Slot(addressId)];
    Count(addressId, from, -1);
    Count(addressId, to, +1);
    news = News(addressId, before);
  }
  // The ordered sets change only when a call starts, ends, starts or stops alerting, which
  // keeps a busy line's state changes cheap.
  const bool wasLive = Present(from);
  const bool isLive = Present(to);
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
  // An offered call rings unless it is offered here only for information (INACTIVE); an
  // accepted one rings until it is answered.
  if (alerting(from) || alerting(to)) {
    news.startsRinging =
        SetRinging(callId, to == LINECALLSTATE_ACCEPTED ||
                               (to == LINECALLSTATE_OFFERING && mode != LINEOFFERINGMODE_INACTIVE));
  }
  return news;
}

bool LineDevice::SetRinging(uint32_t callId, bool rings) {
  if (rings == ringing_.contains(callId)) return false;
  const bool wasRinging = Ringing();
  if (rings) {
    ringing_.insert(callId);
  } else {
    ringing_.erase(callId);
  }
  if (wasRinging == Ringing()) return false;
  ringMode_ = Ringing() && config_.ringModes != 0 ? 1 : 0;
  if (!Ringing()) return false;
  ++ringPeriod_;
  ringCount_ = 0;
  return true;
}

std::vector<uint8_t> LineDevice::KeptUserUserInfo(std::vector<uint8_t> info) const {
  info.resize(std::min<size_t>(info.size(), config_.uuiCallInfoSize));
  return info;
}

uint32_t LineDevice::CompletionsOn(uint32_t addressId) const {
  return addressId < counts_.size() ? counts_[addressId].completions : 0;
}

LineNews LineDevice::CompletionsChanged(uint32_t addressId, int delta) {
  if (counts_.empty()) return {};
  const Counts before = counts_[Slot(addressId)];
  counts_[Slot(addressId)].completions += static_cast<uint32_t>(delta);
  return News(addressId, before);
}

LINEADDRESSSTATUS LineDevice::AddressStatusOf(DWORD addressId) const {
  LINEADDRESSSTATUS status{};
  const Counts counts = addressId < counts_.size() ? counts_[addressId] : Counts{};
  status.dwNumInUse = counts.calls != 0 ? 1 : 0;
  status.dwNumActiveCalls = counts.active;
  status.dwNumOnHoldCalls = counts.onHold;
  status.dwNumOnHoldPendCalls = counts.onHoldPending;
  status.dwAddressFeatures = AvailableAddressFeatures(addressId);
  status.dwNumRingsNoAnswer = ForwardRings(addressId);
  return status;
}

std::vector<ForwardEntry> LineDevice::ForwardingOf(DWORD addressId) const {
  return addressId < forwarding_.size() ? forwarding_[addressId].entries
                                        : std::vector<ForwardEntry>{};
}

void LineDevice::SetForwarding(uint32_t addressId, std::vector<ForwardEntry> entries,
                               uint32_t rings) {
  if (addressId >= forwarding_.size()) return;
  forwarding_[addressId] = {std::move(entries), ClipForwardRings(rings, config_)};
}

uint32_t LineDevice::ForwardRings(uint32_t addressId) const {
  return addressId < forwarding_.size() ? forwarding_[addressId].rings : 0;
}

const ForwardEntry* LineDevice::ForwardFor(uint32_t addressId, ForwardWhen when,
                                           std::u16string_view callerNumber,
                                           uint32_t origin) const {
  if (addressId >= forwarding_.size()) return nullptr;
  return MatchForward(forwarding_[addressId].entries, when, callerNumber, origin);
}

bool LineDevice::Busy(uint32_t addressId) const {
  return !Fits({{addressId, LINECALLSTATE_IDLE, LINECALLSTATE_CONNECTED}});
}

bool LineDevice::CanForward(uint32_t addressId) const {
  if (config_.forwardModes == 0) return false;
  return !config_.forwardConsult || Fits({{addressId, LINECALLSTATE_IDLE, LINECALLSTATE_DIALTONE}});
}

LINEDEVSTATUS LineDevice::Status() const {
  LINEDEVSTATUS status{};
  for (const Counts& counts : counts_) {
    status.dwNumActiveCalls += counts.active;
    status.dwNumOnHoldCalls += counts.onHold;
    status.dwNumOnHoldPendCalls += counts.onHoldPending;
    status.dwNumCallCompletions += counts.completions;
  }
  status.dwLineFeatures = AvailableLineFeatures();
  status.dwRingMode = ringMode_;
  status.dwSignalLevel = 0xFFFF;
  status.dwBatteryLevel = 0xFFFF;
  status.dwRoamMode = LINEROAMMODE_UNAVAIL;
  status.dwDevStatusFlags = devStatusFlags_;
  status.dwAvailableMediaModes = config_.mediaModes;
  return status;
}

void LineDevice::StateReported(uint32_t lineState) {
  auto set = [this](uint32_t flag, bool on) {
    devStatusFlags_ = on ? devStatusFlags_ | flag : devStatusFlags_ & ~flag;
  };
  if (lineState & LINEDEVSTATE_CONNECTED) set(LINEDEVSTATUSFLAGS_CONNECTED, true);
  if (lineState & LINEDEVSTATE_DISCONNECTED) set(LINEDEVSTATUSFLAGS_CONNECTED, false);
  if (lineState & LINEDEVSTATE_INSERVICE) set(LINEDEVSTATUSFLAGS_INSERVICE, true);
  if (lineState & LINEDEVSTATE_OUTOFSERVICE) set(LINEDEVSTATUSFLAGS_INSERVICE, false);
  if (lineState & LINEDEVSTATE_MSGWAITON) set(LINEDEVSTATUSFLAGS_MSGWAIT, true);
  if (lineState & LINEDEVSTATE_MSGWAITOFF) set(LINEDEVSTATUSFLAGS_MSGWAIT, false);
}

HICON LineDevice::Icon() const {
  return config_.icon != 0 ? config_.icon : kGenericLineIcon;
}

std::u16string LineDevice::PortName() const {
  return platform::Utf8ToWide(config_.name);
}

std::vector<DWORD> LineDevice::LiveCalls() const {
  return {live_.begin(), live_.end()};
}

}  // namespace tapi32::sim
