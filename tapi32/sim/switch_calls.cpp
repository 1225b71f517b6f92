// The simulated switch's call control: which operations the calls allow, and the states they go
// through. What each operation does is listed in switch.h.
#include <algorithm>
#include <stdexcept>

#include "platform/module.h"
#include "tapi32/server.h"
#include "tapi32/sim/clock.h"
#include "tapi32/sim/switch.h"

namespace tapi32::sim {

namespace {

constexpr LONG Err(uint32_t code) {
  return static_cast<LONG>(code);
}

Server& Tapi() {
  return Server::Instance();
}

bool SingleBit(DWORD value) {
  return value != 0 && (value & (value - 1)) == 0;
}

bool In(DWORD state, DWORD states) {
  return (state & states) != 0;
}

constexpr DWORD kAlerting = LINECALLSTATE_OFFERING | LINECALLSTATE_ACCEPTED;
constexpr DWORD kHeld =
    LINECALLSTATE_ONHOLD | LINECALLSTATE_ONHOLDPENDTRANSFER | LINECALLSTATE_ONHOLDPENDCONF;
constexpr DWORD kAwaitingFarEnd = LINECALLSTATE_PROCEEDING | LINECALLSTATE_RINGBACK;
// A conference is three parties at most, which the address capabilities report.
constexpr size_t kMaxParties = 3;
constexpr DWORD kMaxCallData = 4096;
constexpr uint32_t kFirstParkOrbit = 701;
constexpr uint32_t kLastParkOrbit = 799;

// The part of an address that selects a number: digits and the DTMF signs. Dial modifiers,
// separators and a trailing ';' (more digits follow) do not.
std::u16string Digits(std::u16string_view address) {
  std::u16string out;
  for (char16_t c : address) {
    if ((c >= u'0' && c <= u'9') || c == u'*' || c == u'#' || c == u'+') out.push_back(c);
  }
  return out;
}

bool Dialable(std::u16string_view address) {
  if (std::any_of(address.begin(), address.end(), [](char16_t c) { return c < u' '; })) {
    return false;
  }
  return !Digits(address).empty();
}

bool ValidDigits(std::u16string_view digits, DWORD digitMode) {
  return std::all_of(digits.begin(), digits.end(), [digitMode](char16_t c) {
    if ((c >= u'0' && c <= u'9') || c == u',') return true;
    if (digitMode == LINEDIGITMODE_PULSE) return false;
    return c == u'*' || c == u'#' || (c >= u'A' && c <= u'D') || (c >= u'a' && c <= u'd');
  });
}

PartyId Party16(std::u16string number, std::u16string name) {
  PartyId party;
  if (!number.empty()) party.flags = LINECALLPARTYID_ADDRESS;
  if (!name.empty()) party.flags |= LINECALLPARTYID_NAME;
  if (party.flags == 0) party.flags = LINECALLPARTYID_UNKNOWN;
  party.number = std::move(number);
  party.name = std::move(name);
  return party;
}

bool SameText(std::u16string_view a, std::u16string_view b) {
  auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [&](char16_t x, char16_t y) { return lower(x) == lower(y); });
}

// The number of one of the switch's own addresses: its configured name, or the extension the
// line's switch information gives ("Extension 210").
std::u16string OwnNumber(const LineConfig& line, uint32_t addressId) {
  if (addressId < line.addressNames.size() && !line.addressNames[addressId].empty()) {
    return platform::Utf8ToWide(line.addressNames[addressId]);
  }
  const std::string prefix = "Extension ";
  if (addressId == 0 && line.switchInfo.starts_with(prefix)) {
    return platform::Utf8ToWide(line.switchInfo.substr(prefix.size()));
  }
  return {};
}

}  // namespace

// --- control API ---------------------------------------------------------------------------------

void Switch::SetFarEnd(const std::string& number, const FarEnd& farEnd) {
  std::lock_guard lock(Tapi().Mutex());
  farEnds_[platform::WideToUtf8(Digits(platform::Utf8ToWide(number)))] = farEnd;
}

void Switch::SetDefaultFarEnd(const FarEnd& farEnd) {
  std::lock_guard lock(Tapi().Mutex());
  defaultFarEnd_ = farEnd;
}

const FarEnd& Switch::FarEndFor(const std::u16string& number) const {
  auto it = farEnds_.find(platform::WideToUtf8(Digits(number)));
  return it == farEnds_.end() ? defaultFarEnd_ : it->second;
}

void Switch::FarEndAnswers(uint32_t callId) {
  std::lock_guard lock(Tapi().Mutex());
  CallAt(callId);
  SimCall& call = calls_.at(callId);
  if (!In(call.data.state, kAwaitingFarEnd | LINECALLSTATE_DIALING)) return;
  Connect(callId, Party16(call.data.called.number, platform::Utf8ToWide(call.farEnd.name)));
}

void Switch::FarEndBusy(uint32_t callId) {
  std::lock_guard lock(Tapi().Mutex());
  if (!In(CallAt(callId).state, kAwaitingFarEnd | LINECALLSTATE_DIALING)) return;
  MoveCall(callId, LINECALLSTATE_BUSY, LINEBUSYMODE_STATION);
}

std::vector<uint32_t> Switch::ConferenceCalls(uint32_t callId) const {
  std::lock_guard lock(Tapi().Mutex());
  const std::vector<DWORD> calls = ConferenceOf(callId);
  return {calls.begin(), calls.end()};
}

bool Switch::IsParked(const std::string& address) const {
  std::lock_guard lock(Tapi().Mutex());
  return parked_.contains(Digits(platform::Utf8ToWide(address)));
}

std::vector<uint32_t> Switch::CompletionsOn(uint32_t lineId) const {
  std::lock_guard lock(Tapi().Mutex());
  std::vector<uint32_t> out;
  for (const auto& [id, completion] : completions_) {
    if (completion.lineId == lineId) out.push_back(id);
  }
  std::sort(out.begin(), out.end());
  return out;
}

uint32_t Switch::FireCompletion(uint32_t completionId) {
  std::lock_guard lock(Tapi().Mutex());
  auto it = completions_.find(completionId);
  if (it == completions_.end()) {
    throw std::out_of_range("no call completion " + std::to_string(completionId));
  }
  const Completion completion = it->second;
  completions_.erase(it);
  Tapi().LineStateChanged(completion.lineId, LINEDEVSTATE_NUMCOMPLETIONS, 0, 0);
  const uint32_t callId = NewCall(completion.lineId, completion.addressId, LINECALLORIGIN_EXTERNAL,
                                  LINECALLREASON_CALLCOMPLETION);
  SimCall& call = calls_.at(callId);
  call.data.completionId = completionId;
  call.data.caller = completion.called;
  const LineConfig& line = LineAt(completion.lineId).Config();
  call.data.called =
      Party16(OwnNumber(line, completion.addressId), platform::Utf8ToWide(line.name));
  Tapi().CallCreated(callId, 0, MakerLearns::FromRequest);
  MoveCall(callId, LINECALLSTATE_OFFERING, LINEOFFERINGMODE_ACTIVE);
  Tapi().CallInfoChanged(callId, LINECALLINFOSTATE_ORIGIN | LINECALLINFOSTATE_REASON |
                                     LINECALLINFOSTATE_CALLERID | LINECALLINFOSTATE_CALLEDID |
                                     LINECALLINFOSTATE_COMPLETIONID);
  return callId;
}

void Switch::DetectTone(uint32_t callId, uint32_t frequency1, uint32_t frequency2,
                        uint32_t frequency3) {
  std::lock_guard lock(Tapi().Mutex());
  CallAt(callId);
  Tapi().ToneDetected(callId, frequency1, frequency2, frequency3);
}

void Switch::DetectMedia(uint32_t callId, uint32_t mediaMode) {
  std::lock_guard lock(Tapi().Mutex());
  CallAt(callId);
  Tapi().MediaDetected(callId, mediaMode);
}

void Switch::SetDevSpecificAnswer(std::optional<std::vector<uint8_t>> bytes) {
  std::lock_guard lock(Tapi().Mutex());
  devSpecificAnswer_ = std::move(bytes);
}

DevSpecificRequest Switch::LastDevSpecific() const {
  std::lock_guard lock(Tapi().Mutex());
  return lastDevSpecific_;
}

// --- building blocks -----------------------------------------------------------------------------

uint32_t Switch::FeaturesOf(const SimCall& call) const {
  const DWORD state = call.data.state;
  uint32_t features = LineDevice::FeaturesFor(state);
  if (state == LINECALLSTATE_CONNECTED && call.conference) {
    features = (features & ~LINECALLFEATURE_SETUPCONF) | LINECALLFEATURE_PREPAREADDCONF;
  }
  // A consultation call offers what completes the operation it was made for.
  if (const SimCall* primary = call.consultFor != 0 ? Find(call.consultFor) : nullptr) {
    if (primary->data.state == LINECALLSTATE_ONHOLDPENDTRANSFER &&
        In(state, LINECALLSTATE_CONNECTED | kAwaitingFarEnd)) {
      features |= LINECALLFEATURE_COMPLETETRANSF | LINECALLFEATURE_SWAPHOLD;
    }
    if (primary->data.state == LINECALLSTATE_ONHOLDPENDCONF && state == LINECALLSTATE_CONNECTED) {
      features |= LINECALLFEATURE_ADDTOCONF | LINECALLFEATURE_SWAPHOLD;
    }
  }
  return features;
}

uint32_t Switch::NewCall(uint32_t lineId, uint32_t addressId, uint32_t origin, uint32_t reason) {
  const LineDevice& line = LineAt(lineId);
  const uint32_t callId = ++lastCallId_;
  CallData& call = calls_[callId].data;
  call.deviceId = lineId;
  call.addressId = addressId;
  call.bearerMode = LINEBEARERMODE_VOICE;
  call.rate = line.Config().maxRate;
  call.mediaMode = LINEMEDIAMODE_INTERACTIVEVOICE;
  call.callId = callId;
  call.callStates = 0xFFFF;
  call.origin = origin;
  call.reason = reason;
  call.caller = call.called = call.connected = call.redirection = call.redirecting =
      Party16({}, {});
  return callId;
}

HCALL Switch::Announce(uint32_t callId, HLINE requester, uint32_t state, uint32_t mode,
                       MakerLearns makerLearns) {
  // The order of a new call: who holds it, its state, what is known about it.
  const HCALL handle = Tapi().CallCreated(callId, requester, makerLearns);
  MoveCall(callId, state, mode);
  const CallData& call = calls_.at(callId).data;
  DWORD info = LINECALLINFOSTATE_ORIGIN | LINECALLINFOSTATE_REASON;
  if (call.caller.flags != LINECALLPARTYID_UNKNOWN) info |= LINECALLINFOSTATE_CALLERID;
  if (call.called.flags != LINECALLPARTYID_UNKNOWN) info |= LINECALLINFOSTATE_CALLEDID;
  if (call.connected.flags != LINECALLPARTYID_UNKNOWN) info |= LINECALLINFOSTATE_CONNECTEDID;
  if (call.relatedCallId != 0) info |= LINECALLINFOSTATE_RELATEDCALLID;
  if (!call.callData.empty()) info |= LINECALLINFOSTATE_CALLDATA;
  Tapi().CallInfoChanged(callId, info);
  return handle;
}

void Switch::ApplyParams(SimCall& call, const CallParams& params) {
  CallData& data = call.data;
  data.bearerMode = params.bearerMode;
  data.mediaMode = params.mediaMode;
  if (params.maxRate != 0) data.rate = params.maxRate;
  data.callParamFlags = params.flags;
  data.calledParty = params.calledParty;
  data.comment = params.comment;
  data.displayableAddress = params.displayableAddress;
  data.userUserInfo = params.userUserInfo;
  data.callData = params.callData;
  call.noAnswerTimeoutMs = params.noAnswerTimeout * 1000;
}

void Switch::SetRelated(uint32_t callId, uint32_t relatedCallId) {
  calls_.at(callId).data.relatedCallId = relatedCallId;
  Tapi().CallInfoChanged(callId, LINECALLINFOSTATE_RELATEDCALLID);
}

void Switch::Connect(uint32_t callId, const PartyId& party) {
  calls_.at(callId).data.connected = party;
  MoveCall(callId, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
  Tapi().CallInfoChanged(callId, LINECALLINFOSTATE_CONNECTEDID);
}

void Switch::Leave(uint32_t callId, uint32_t disconnectMode) {
  MoveCall(callId, LINECALLSTATE_DISCONNECTED, disconnectMode);
  const SimCall* call = Find(callId);
  if (call != nullptr && call->data.state != LINECALLSTATE_IDLE) {
    MoveCall(callId, LINECALLSTATE_IDLE, 0);
  }
}

void Switch::CallEnded(uint32_t callId) {
  SimCall& call = calls_.at(callId);
  // Its consultation call goes on as a call of its own.
  if (call.consult != 0) {
    if (SimCall* consult = Find(call.consult); consult && consult->consultFor == callId) {
      consult->consultFor = 0;
    }
    call.consult = 0;
  }
  // A consultation call gives its primary call back.
  if (call.consultFor != 0) {
    const uint32_t primaryId = call.consultFor;
    call.consultFor = 0;
    SimCall* primary = Find(primaryId);
    if (primary != nullptr && primary->consult == callId) {
      primary->consult = 0;
      if (primary->data.state == LINECALLSTATE_ONHOLDPENDTRANSFER) {
        MoveCall(primaryId, LINECALLSTATE_ONHOLD, 0);
      } else if (primary->data.state == LINECALLSTATE_ONHOLDPENDCONF) {
        if (primary->parties.empty()) {
          MoveCall(primaryId, LINECALLSTATE_IDLE, 0);
        } else {
          MoveCall(primaryId, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
        }
      }
    }
  }
  // A party leaves its conference; a conference nobody is left in ends.
  if (call.inConference != 0) {
    const uint32_t confId = call.inConference;
    call.inConference = 0;
    if (SimCall* conf = Find(confId)) {
      std::erase(conf->parties, callId);
      if (conf->parties.empty() && conf->consult == 0 && conf->data.state != LINECALLSTATE_IDLE) {
        MoveCall(confId, LINECALLSTATE_IDLE, 0);
      }
    }
  }
  // A conference call takes its parties with it.
  if (call.conference && !call.parties.empty()) {
    const std::vector<uint32_t> parties = call.parties;
    for (uint32_t party : parties) {
      const SimCall* each = Find(party);
      if (each != nullptr && each->data.state != LINECALLSTATE_IDLE) {
        MoveCall(party, LINECALLSTATE_IDLE, 0);
      }
    }
  }
}

void Switch::Dial(uint32_t callId, const std::u16string& address) {
  const bool partial = !address.empty() && address.back() == u';';
  {
    SimCall& call = calls_.at(callId);
    call.dialled += partial ? address.substr(0, address.size() - 1) : address;
    call.data.called = Party16(call.dialled, call.data.called.name);
  }
  if (calls_.at(callId).data.state != LINECALLSTATE_DIALING) {
    MoveCall(callId, LINECALLSTATE_DIALING, 0);
  }
  Tapi().CallInfoChanged(callId, LINECALLINFOSTATE_CALLEDID);
  if (partial) return;
  MoveCall(callId, LINECALLSTATE_PROCEEDING, 0);
  SimCall& call = calls_.at(callId);
  call.farEnd = FarEndFor(call.dialled);
  const FarEnd farEnd = call.farEnd;
  const uint32_t timeout = call.noAnswerTimeoutMs;
  if (farEnd.kind == FarEnd::Kind::Answers || farEnd.kind == FarEnd::Kind::NoAnswer) {
    MoveCall(callId, LINECALLSTATE_RINGBACK, 0);
  }
  if (farEnd.kind != FarEnd::Kind::NoAnswer) {
    if (farEnd.afterMs == 0) {
      FarEndActs(callId);
    } else {
      clock_->Schedule(farEnd.afterMs, [this, callId] { FarEndActs(callId); });
    }
  }
  const bool ringsLong = farEnd.kind == FarEnd::Kind::NoAnswer ||
                         (farEnd.kind == FarEnd::Kind::Answers && farEnd.afterMs > timeout);
  if (timeout != 0 && ringsLong) {
    clock_->Schedule(timeout, [this, callId] {
      const SimCall* now = Find(callId);
      if (now != nullptr && In(now->data.state, kAwaitingFarEnd)) {
        MoveCall(callId, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NOANSWER);
      }
    });
  }
}

void Switch::FarEndActs(uint32_t callId) {
  const SimCall* call = Find(callId);
  if (call == nullptr || !In(call->data.state, kAwaitingFarEnd)) return;
  switch (call->farEnd.kind) {
    case FarEnd::Kind::Answers:
      Connect(callId, Party16(call->data.called.number, platform::Utf8ToWide(call->farEnd.name)));
      break;
    case FarEnd::Kind::Busy:
      MoveCall(callId, LINECALLSTATE_BUSY, LINEBUSYMODE_STATION);
      break;
    case FarEnd::Kind::Rejects:
      MoveCall(callId, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_REJECT);
      break;
    case FarEnd::Kind::Unreachable:
      MoveCall(callId, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_UNREACHABLE);
      break;
    case FarEnd::Kind::NoAnswer:
      break;
  }
}

uint32_t Switch::FindPickup(const CallRequest& request) const {
  if (request.hasAddress && !request.address.empty()) {
    const std::u16string wanted = Digits(request.address);
    for (const auto& line : lines_) {
      if (line->Removed() || line->Alerting().empty()) continue;
      const LineConfig& config = line->Config();
      bool named = SameText(request.address, platform::Utf8ToWide(config.name));
      for (uint32_t address = 0; !named && address < config.numAddresses; ++address) {
        const std::u16string number = Digits(OwnNumber(config, address));
        named = !number.empty() && number == wanted;
      }
      if (named) return *line->Alerting().begin();
    }
    return 0;
  }
  if (request.group.empty()) return 0;
  // Every line of the switch is in one pickup group.
  uint32_t oldest = 0;
  for (const auto& line : lines_) {
    if (line->Removed() || line->DeviceId() == request.deviceId || line->Alerting().empty()) {
      continue;
    }
    const uint32_t first = *line->Alerting().begin();
    if (oldest == 0 || first < oldest) oldest = first;
  }
  return oldest;
}

LONG Switch::CheckParams(const CallRequest& request) const {
  const LineConfig& line = LineAt(request.deviceId).Config();
  if (!request.hasParams) return 0;
  const CallParams& params = request.params;
  if (!SingleBit(params.bearerMode) || (params.bearerMode & line.bearerModes) == 0) {
    return Err(LINEERR_INVALBEARERMODE);
  }
  if (!SingleBit(params.mediaMode) || (params.mediaMode & line.mediaModes) == 0) {
    return Err(LINEERR_INVALMEDIAMODE);
  }
  if (params.maxRate != 0 && params.minRate > params.maxRate) return Err(LINEERR_INVALRATE);
  if (request.op != CallOp::MakeCall &&
      !(request.op == CallOp::SetupConference && request.callId == 0)) {
    return 0;  // consultation calls take the address of their call
  }
  if (params.addressMode == LINEADDRESSMODE_ADDRESSID) {
    return params.addressId < line.numAddresses ? LONG{0} : Err(LINEERR_INVALADDRESSID);
  }
  if (params.addressMode == LINEADDRESSMODE_DIALABLEADDR) {
    for (uint32_t address = 0; address < line.numAddresses; ++address) {
      if (!params.origAddress.empty() && OwnNumber(line, address) == params.origAddress) return 0;
    }
    return Err(LINEERR_INVALADDRESS);
  }
  return Err(LINEERR_INVALADDRESSMODE);
}

// --- the provider's side of call control ---------------------------------------------------------

LONG Switch::CheckCallOp(const CallRequest& request) const {
  const SimCall* call = request.callId != 0 ? Find(request.callId) : nullptr;
  const SimCall* other = request.otherCallId != 0 ? Find(request.otherCallId) : nullptr;
  const DWORD state = call != nullptr ? call->data.state : 0;
  const DWORD otherState = other != nullptr ? other->data.state : 0;
  const LineDevice& line = LineAt(request.deviceId);
  const LineConfig& config = line.Config();
  auto needState = [state](DWORD states) {
    return In(state, states) ? LONG{0} : Err(LINEERR_INVALCALLSTATE);
  };
  auto needAddressId = [&config](DWORD addressId) {
    return addressId < config.numAddresses ? LONG{0} : Err(LINEERR_INVALADDRESSID);
  };
  switch (request.op) {
    case CallOp::Accept:
      return needState(LINECALLSTATE_OFFERING);
    case CallOp::Answer:
      return needState(kAlerting);
    case CallOp::MakeCall:
      if ((config.lineFeatures & LINEFEATURE_MAKECALL) == 0) return Err(LINEERR_OPERATIONUNAVAIL);
      if (const LONG error = CheckParams(request)) return error;
      if (request.hasAddress && !Dialable(request.address)) return Err(LINEERR_INVALADDRESS);
      return 0;
    case CallOp::Dial:
      if (const LONG error = needState(LINECALLSTATE_DIALTONE | LINECALLSTATE_DIALING)) {
        return error;
      }
      return Dialable(request.address) ? LONG{0} : Err(LINEERR_INVALADDRESS);
    case CallOp::Hold:
      return needState(LINECALLSTATE_CONNECTED);
    case CallOp::Unhold:
      return needState(LINECALLSTATE_ONHOLD);
    case CallOp::SwapHold:
      if (const LONG error = needState(LINECALLSTATE_CONNECTED)) return error;
      return In(otherState, kHeld) ? LONG{0} : Err(LINEERR_INVALCALLSTATE);
    case CallOp::Park:
      if (const LONG error = needState(LINECALLSTATE_CONNECTED)) return error;
      if (request.mode == LINEPARKMODE_DIRECTED &&
          (!Dialable(request.address) || parked_.contains(Digits(request.address)))) {
        return Err(LINEERR_INVALADDRESS);
      }
      if (request.mode == LINEPARKMODE_NONDIRECTED &&
          parked_.size() > kLastParkOrbit - kFirstParkOrbit) {
        return Err(LINEERR_RESOURCEUNAVAIL);
      }
      return 0;
    case CallOp::Unpark:
      if (const LONG error = needAddressId(request.addressId)) return error;
      return parked_.contains(Digits(request.address)) ? LONG{0} : Err(LINEERR_INVALADDRESS);
    case CallOp::Pickup:
      if (const LONG error = needAddressId(request.addressId)) return error;
      if (FindPickup(request) != 0) return 0;
      return !request.hasAddress && !request.group.empty() ? Err(LINEERR_INVALGROUPID)
                                                           : Err(LINEERR_INVALADDRESS);
    case CallOp::Redirect:
      if (const LONG error = needState(kAlerting)) return error;
      return Dialable(request.address) ? LONG{0} : Err(LINEERR_INVALADDRESS);
    case CallOp::BlindTransfer:
      if (const LONG error = needState(LINECALLSTATE_CONNECTED)) return error;
      return Dialable(request.address) ? LONG{0} : Err(LINEERR_INVALADDRESS);
    case CallOp::SetupTransfer:
      if (const LONG error = needState(LINECALLSTATE_CONNECTED)) return error;
      if (call->conference || call->inConference != 0) return Err(LINEERR_INVALCALLSTATE);
      return CheckParams(request);
    case CallOp::CompleteTransfer: {
      if (const LONG error = needState(LINECALLSTATE_ONHOLDPENDTRANSFER | LINECALLSTATE_ONHOLD)) {
        return error;
      }
      if (other == nullptr || other->conference || other->inConference != 0) {
        return Err(LINEERR_INVALCONSULTCALLHANDLE);
      }
      const DWORD allowed = request.mode == LINETRANSFERMODE_CONFERENCE
                                ? LINECALLSTATE_CONNECTED
                                : LINECALLSTATE_CONNECTED | kAwaitingFarEnd;
      return In(otherState, allowed) ? LONG{0} : Err(LINEERR_INVALCALLSTATE);
    }
    case CallOp::SetupConference:
      if (request.mode > kMaxParties) return Err(LINEERR_CONFERENCEFULL);
      if (call != nullptr) {
        if (const LONG error = needState(LINECALLSTATE_CONNECTED)) return error;
        if (call->conference || call->inConference != 0) return Err(LINEERR_INVALCALLSTATE);
      } else if ((config.lineFeatures & LINEFEATURE_MAKECALL) == 0) {
        return Err(LINEERR_OPERATIONUNAVAIL);
      }
      return CheckParams(request);
    case CallOp::PrepareAddToConference:
      if (!call->conference) return Err(LINEERR_INVALCONFCALLHANDLE);
      if (const LONG error = needState(LINECALLSTATE_CONNECTED)) return error;
      if (call->parties.size() >= kMaxParties) return Err(LINEERR_CONFERENCEFULL);
      return CheckParams(request);
    case CallOp::AddToConference:
      if (!call->conference) return Err(LINEERR_INVALCONFCALLHANDLE);
      if (const LONG error = needState(LINECALLSTATE_ONHOLDPENDCONF | LINECALLSTATE_CONNECTED)) {
        return error;
      }
      if (other == nullptr || other->conference || other->inConference != 0) {
        return Err(LINEERR_INVALCONSULTCALLHANDLE);
      }
      if (call->parties.size() >= kMaxParties) return Err(LINEERR_CONFERENCEFULL);
      return In(otherState, LINECALLSTATE_CONNECTED | kAwaitingFarEnd | LINECALLSTATE_ONHOLD)
                 ? LONG{0}
                 : Err(LINEERR_INVALCALLSTATE);
    case CallOp::RemoveFromConference:
      return needState(LINECALLSTATE_CONFERENCED);
    case CallOp::CompleteCall:
      return needState(LINECALLSTATE_BUSY | LINECALLSTATE_RINGBACK);
    case CallOp::UncompleteCall: {
      auto it = completions_.find(request.param);
      return it != completions_.end() && it->second.lineId == request.deviceId
                 ? LONG{0}
                 : Err(LINEERR_INVALCOMPLETIONID);
    }
    case CallOp::SetCallData:
      if (state == LINECALLSTATE_IDLE) return Err(LINEERR_INVALCALLSTATE);
      return request.data.size() <= kMaxCallData ? LONG{0} : Err(LINEERR_INVALPARAM);
    case CallOp::SetMediaMode:
    case CallOp::MonitorMedia:
      if ((request.mode & ~(config.mediaModes | LINEMEDIAMODE_UNKNOWN)) != 0 || request.mode == 0) {
        return Err(LINEERR_INVALMEDIAMODE);
      }
      return state == LINECALLSTATE_IDLE ? Err(LINEERR_INVALCALLSTATE) : LONG{0};
    case CallOp::GenerateDigits:
      if (const LONG error = needState(LINECALLSTATE_CONNECTED)) return error;
      return ValidDigits(request.address, request.mode) ? LONG{0} : Err(LINEERR_INVALDIGITLIST);
    case CallOp::GenerateTone:
      return needState(LINECALLSTATE_CONNECTED);
    case CallOp::MonitorTones:
      return state == LINECALLSTATE_IDLE ? Err(LINEERR_INVALCALLSTATE) : LONG{0};
    case CallOp::DevSpecific:
      return needAddressId(request.addressId);
    case CallOp::DevSpecificFeature:
      return 0;
  }
  return Err(LINEERR_OPERATIONUNAVAIL);
}

uint32_t Switch::MakeCallAddress(const CallRequest& request) const {
  if (!request.hasParams || request.params.addressMode != LINEADDRESSMODE_DIALABLEADDR) {
    return request.addressId;
  }
  const LineConfig& config = LineAt(request.deviceId).Config();
  uint32_t addressId = request.addressId;
  for (uint32_t each = 0; each < config.numAddresses; ++each) {
    if (OwnNumber(config, each) == request.params.origAddress) addressId = each;
  }
  return addressId;
}

uint32_t Switch::Outgoing(const CallRequest& request, uint32_t addressId) {
  const LineConfig& config = LineAt(request.deviceId).Config();
  const uint32_t made =
      NewCall(request.deviceId, addressId, LINECALLORIGIN_OUTBOUND, LINECALLREASON_DIRECT);
  SimCall& call = calls_.at(made);
  call.data.caller = Party16(OwnNumber(config, addressId), platform::Utf8ToWide(config.name));
  call.data.appName = request.appName;
  if (request.hasParams) ApplyParams(call, request.params);
  return made;
}

uint32_t Switch::NewConference(const CallRequest& request, uint32_t addressId) {
  const uint32_t made =
      NewCall(request.deviceId, addressId, LINECALLORIGIN_CONFERENCE, LINECALLREASON_DIRECT);
  calls_.at(made).conference = true;
  calls_.at(made).data.appName = request.appName;
  return made;
}

uint32_t Switch::Fetched(const CallRequest& request, const CallData& source, uint32_t reason) {
  const uint32_t made = NewCall(request.deviceId, request.addressId, source.origin, reason);
  CallData& call = calls_.at(made).data;
  call.caller = source.caller;
  call.called = source.called;
  call.mediaMode = source.mediaMode;
  call.appName = request.appName;
  return made;
}

HCALL Switch::Consultation(const CallRequest& request, uint32_t primaryId, HLINE requester) {
  const uint32_t made = Outgoing(request, calls_.at(primaryId).data.addressId);
  calls_.at(made).consultFor = primaryId;
  calls_.at(made).data.relatedCallId = primaryId;
  calls_.at(primaryId).consult = made;
  return Announce(made, requester, LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_NORMAL,
                  MakerLearns::FromRequest);
}

void Switch::Join(uint32_t confId, uint32_t party) {
  SimCall& call = calls_.at(party);
  if (call.consultFor != 0) {
    if (SimCall* primary = Find(call.consultFor); primary && primary->consult == party) {
      primary->consult = 0;
    }
    call.consultFor = 0;
  }
  call.inConference = confId;
  calls_.at(confId).parties.push_back(party);
  MoveCall(party, LINECALLSTATE_CONFERENCED, 0);
  SetRelated(party, confId);
}

void Switch::NoteTaker(uint32_t callId, const std::u16string& appName) {
  std::u16string& taker = calls_.at(callId).data.appName;
  if (taker.empty()) taker = appName;
}

CallOutcome Switch::PerformCallOp(const CallRequest& request, HLINE requester) {
  CallOutcome outcome;
  const uint32_t callId = request.callId;
  switch (request.op) {
    case CallOp::Accept:
      NoteTaker(callId, request.appName);
      MoveCall(callId, LINECALLSTATE_ACCEPTED, 0);
      break;
    case CallOp::Answer:
      NoteTaker(callId, request.appName);
      Connect(callId, calls_.at(callId).data.caller);
      break;
    case CallOp::MakeCall: {
      const uint32_t made = Outgoing(request, MakeCallAddress(request));
      outcome.newCall = Announce(made, requester, LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_NORMAL,
                                 MakerLearns::FromRequest);
      if (request.hasAddress) Dial(made, request.address);
      break;
    }
    case CallOp::Dial:
      Dial(callId, request.address);
      break;
    case CallOp::Hold:
      MoveCall(callId, LINECALLSTATE_ONHOLD, 0);
      break;
    case CallOp::Unhold:
      MoveCall(callId, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
      break;
    case CallOp::SwapHold: {
      const uint32_t heldId = request.otherCallId;
      const DWORD heldState = calls_.at(heldId).data.state;
      // A call waiting for a transfer stays the one to transfer: the roles change with the
      // states.
      if (heldState == LINECALLSTATE_ONHOLDPENDTRANSFER) {
        SimCall& active = calls_.at(callId);
        SimCall& held = calls_.at(heldId);
        if (held.consult == callId) {
          held.consult = 0;
          active.consultFor = 0;
          active.consult = heldId;
          held.consultFor = callId;
        }
      }
      MoveCall(callId,
               heldState == LINECALLSTATE_ONHOLDPENDTRANSFER ? LINECALLSTATE_ONHOLDPENDTRANSFER
                                                             : LINECALLSTATE_ONHOLD,
               0);
      MoveCall(heldId, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
      break;
    }
    case CallOp::Park: {
      std::u16string orbit = Digits(request.address);
      if (request.mode == LINEPARKMODE_NONDIRECTED) {
        for (uint32_t number = kFirstParkOrbit; number <= kLastParkOrbit; ++number) {
          orbit = platform::Utf8ToWide(std::to_string(number));
          if (!parked_.contains(orbit)) break;
        }
      }
      parked_[orbit] = Parked{calls_.at(callId).data};
      outcome.parkedAt = orbit;
      Leave(callId, LINEDISCONNECTMODE_NORMAL);
      break;
    }
    case CallOp::Unpark: {
      auto it = parked_.find(Digits(request.address));
      const CallData parked = it->second.data;
      parked_.erase(it);
      const uint32_t made = Fetched(request, parked, LINECALLREASON_UNPARK);
      calls_.at(made).data.connected = parked.connected;
      outcome.newCall = Announce(made, requester, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE,
                                 MakerLearns::FromRequest);
      break;
    }
    case CallOp::Pickup: {
      const uint32_t picked = FindPickup(request);
      const CallData original = calls_.at(picked).data;
      const uint32_t made = Fetched(request, original, LINECALLREASON_PICKUP);
      calls_.at(made).data.connected = original.caller;
      outcome.newCall = Announce(made, requester, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE,
                                 MakerLearns::FromRequest);
      Leave(picked, LINEDISCONNECTMODE_PICKUP);
      break;
    }
    case CallOp::Redirect:
    case CallOp::BlindTransfer:
      Leave(callId, LINEDISCONNECTMODE_NORMAL);
      break;
    case CallOp::SetupTransfer:
      MoveCall(callId, LINECALLSTATE_ONHOLDPENDTRANSFER, 0);
      outcome.newCall = Consultation(request, callId, requester);
      break;
    case CallOp::CompleteTransfer:
      if (request.mode == LINETRANSFERMODE_TRANSFER) {
        Leave(callId, LINEDISCONNECTMODE_NORMAL);
        Leave(request.otherCallId, LINEDISCONNECTMODE_NORMAL);
      } else {
        // The conference call is announced before its parties name it in their CONFERENCED.
        const uint32_t confId = NewConference(request, calls_.at(callId).data.addressId);
        outcome.confCall = Announce(confId, requester, LINECALLSTATE_CONNECTED,
                                    LINECONNECTEDMODE_ACTIVE, MakerLearns::FromRequest);
        Join(confId, callId);
        Join(confId, request.otherCallId);
      }
      break;
    case CallOp::SetupConference: {
      const uint32_t addressId = callId != 0 ? calls_.at(callId).data.addressId : request.addressId;
      const uint32_t confId = NewConference(request, addressId);
      outcome.confCall =
          Announce(confId, requester, LINECALLSTATE_ONHOLDPENDCONF, 0, MakerLearns::FromRequest);
      if (callId != 0) Join(confId, callId);
      outcome.newCall = Consultation(request, confId, requester);
      break;
    }
    case CallOp::PrepareAddToConference:
      MoveCall(callId, LINECALLSTATE_ONHOLDPENDCONF, 0);
      outcome.newCall = Consultation(request, callId, requester);
      break;
    case CallOp::AddToConference:
      Join(callId, request.otherCallId);
      if (calls_.at(callId).data.state != LINECALLSTATE_CONNECTED) {
        MoveCall(callId, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
      }
      break;
    case CallOp::RemoveFromConference:
      Leave(callId, LINEDISCONNECTMODE_NORMAL);
      break;
    case CallOp::CompleteCall: {
      const CallData& call = calls_.at(callId).data;
      outcome.completionId = ++lastCompletionId_;
      completions_[outcome.completionId] =
          Completion{call.deviceId, call.addressId, call.called, request.mode};
      Tapi().LineStateChanged(call.deviceId, LINEDEVSTATE_NUMCOMPLETIONS, 0, 0);
      break;
    }
    case CallOp::UncompleteCall:
      completions_.erase(request.param);
      Tapi().LineStateChanged(request.deviceId, LINEDEVSTATE_NUMCOMPLETIONS, 0, 0);
      break;
    case CallOp::SetCallData:
      calls_.at(callId).data.callData = request.data;
      Tapi().CallInfoChanged(callId, LINECALLINFOSTATE_CALLDATA);
      break;
    case CallOp::SetMediaMode:
      calls_.at(callId).data.mediaMode = request.mode;
      Tapi().CallInfoChanged(callId, LINECALLINFOSTATE_MEDIAMODE);
      break;
    case CallOp::GenerateDigits:
    case CallOp::GenerateTone:
    case CallOp::MonitorTones:
    case CallOp::MonitorMedia:
      break;  // the runtime reports generation and monitoring itself
    case CallOp::DevSpecific:
    case CallOp::DevSpecificFeature:
      lastDevSpecific_ = DevSpecificRequest{request.op == CallOp::DevSpecificFeature,
                                            request.deviceId,
                                            request.addressId,
                                            request.callId,
                                            request.param,
                                            request.data};
      outcome.devSpecific = devSpecificAnswer_;
      break;
  }
  return outcome;
}

// A request that fails after part of its effect: the calls it would have made appear at their
// first state (the requester hears of them like any other open, since nothing is written into its
// variables) and go IDLE once the failure is reported; the calls it acted on stay as they were.
std::function<void()> Switch::PerformPartialCallOp(const CallRequest& request, HLINE requester) {
  std::vector<uint32_t> made;
  auto appear = [&](uint32_t callId, uint32_t state, uint32_t mode) {
    Announce(callId, requester, state, mode, MakerLearns::FromMessages);
    made.push_back(callId);
  };
  auto consultation = [&](uint32_t relatedId, uint32_t addressId) {
    const uint32_t consult = Outgoing(request, addressId);
    calls_.at(consult).data.relatedCallId = relatedId;
    appear(consult, LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_NORMAL);
  };
  const uint32_t callId = request.callId;
  switch (request.op) {
    case CallOp::MakeCall:
      appear(Outgoing(request, MakeCallAddress(request)), LINECALLSTATE_DIALTONE,
             LINEDIALTONEMODE_NORMAL);
      break;
    case CallOp::SetupTransfer:
    case CallOp::PrepareAddToConference:
      consultation(callId, calls_.at(callId).data.addressId);
      break;
    case CallOp::SetupConference: {
      const uint32_t addressId = callId != 0 ? calls_.at(callId).data.addressId : request.addressId;
      const uint32_t confId = NewConference(request, addressId);
      appear(confId, LINECALLSTATE_ONHOLDPENDCONF, 0);
      consultation(confId, addressId);
      break;
    }
    case CallOp::CompleteTransfer:
      if (request.mode == LINETRANSFERMODE_CONFERENCE) {
        appear(NewConference(request, calls_.at(callId).data.addressId),
               LINECALLSTATE_ONHOLDPENDCONF, 0);
      }
      break;
    case CallOp::Pickup:
      appear(Fetched(request, calls_.at(FindPickup(request)).data, LINECALLREASON_PICKUP),
             LINECALLSTATE_PROCEEDING, 0);
      break;
    case CallOp::Unpark:
      appear(Fetched(request, parked_.at(Digits(request.address)).data, LINECALLREASON_UNPARK),
             LINECALLSTATE_PROCEEDING, 0);
      break;
    case CallOp::Dial:
      // The switch took the digits and got no further.
      MoveCall(callId, LINECALLSTATE_DIALING, 0);
      break;
    default:
      break;  // nothing happens before the failure
  }
  if (made.empty()) return {};
  return [this, made] {
    for (auto it = made.rbegin(); it != made.rend(); ++it) {
      const SimCall* call = Find(*it);
      if (call != nullptr && call->data.state != LINECALLSTATE_IDLE) {
        MoveCall(*it, LINECALLSTATE_IDLE, 0);
      }
    }
  };
}

std::vector<DWORD> Switch::ConferenceOf(DWORD callId) const {
  const SimCall* call = Find(callId);
  if (call == nullptr) return {};
  const uint32_t confId = call->conference ? callId : call->inConference;
  const SimCall* conf = confId != 0 ? Find(confId) : nullptr;
  if (conf == nullptr) return {};
  std::vector<DWORD> out{confId};
  out.insert(out.end(), conf->parties.begin(), conf->parties.end());
  return out;
}

}  // namespace tapi32::sim
