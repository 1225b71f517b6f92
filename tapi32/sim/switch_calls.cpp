// The simulated switch's call control: which operations the calls allow, and the states they go
// through. What each operation does is listed in switch.h.
#include <algorithm>
#include <stdexcept>

#include "platform/module.h"
#include "tapi32/server.h"
#include "tapi32/sim/clock.h"
#include "tapi32/sim/forwarding.h"
#include "tapi32/sim/switch.h"

namespace tapi32::sim {

namespace {

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
constexpr uint32_t kFirstParkOrbit = 701;
constexpr uint32_t kLastParkOrbit = 799;

// The part of an address that selects a number: digits and the DTMF signs. Dial modifiers,
// separators and a trailing ';' (more digits follow) do not.
std::u16string Digits(std::u16string_view address) {
  return DialDigits(address);
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

// Digits the far end can send in the modes: 0-9 as pulses, and with DTMF also * # A-D.
bool DetectableDigits(std::u16string_view digits, DWORD digitModes) {
  return std::all_of(digits.begin(), digits.end(), [digitModes](char16_t c) {
    if (c >= u'0' && c <= u'9') return true;
    return (digitModes & LINEDIGITMODE_DTMF) != 0 &&
           (c == u'*' || c == u'#' || (c >= u'A' && c <= u'D'));
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
  return StationNumber(line, addressId);
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
  Report(completion.lineId, completion.addressId,
         LineAt(completion.lineId).CompletionsChanged(completion.addressId, -1));
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

void Switch::PlayDigits(uint32_t callId, const std::string& digits, uint32_t digitMode) {
  std::lock_guard lock(Tapi().Mutex());
  if (CallAt(callId).state != LINECALLSTATE_CONNECTED) {
    throw std::logic_error("call " + std::to_string(callId) + " is not connected");
  }
  const std::u16string keys = platform::Utf8ToWide(digits);
  if ((digitMode != LINEDIGITMODE_PULSE && digitMode != LINEDIGITMODE_DTMF) ||
      !DetectableDigits(keys, digitMode)) {
    throw std::invalid_argument("'" + digits + "' cannot be sent in digit mode " +
                                std::to_string(digitMode));
  }
  for (char16_t key : keys) {
    Tapi().DigitDetected(callId, key, digitMode);
    // A key's tone ends before the next one starts.
    if (digitMode == LINEDIGITMODE_DTMF) Tapi().DigitDetected(callId, key, LINEDIGITMODE_DTMFEND);
  }
}

void Switch::ChangeMediaMode(uint32_t callId, uint32_t mediaMode) {
  std::lock_guard lock(Tapi().Mutex());
  CallData& call = CallAt(callId);
  if (call.state == LINECALLSTATE_IDLE) {
    throw std::logic_error("call " + std::to_string(callId) + " is idle");
  }
  if (!SingleBit(mediaMode)) throw std::invalid_argument("a call has one media mode at a time");
  call.mediaMode = mediaMode;
  // Heard first, then taken as the call's media mode.
  Tapi().MediaDetected(callId, mediaMode);
  Tapi().CallInfoChanged(callId, LINECALLINFOSTATE_MEDIAMODE);
}

void Switch::PlaySilence(uint32_t callId) {
  std::lock_guard lock(Tapi().Mutex());
  if (CallAt(callId).state == LINECALLSTATE_IDLE) {
    throw std::logic_error("call " + std::to_string(callId) + " is idle");
  }
  Tapi().SilenceChanged(callId, true);
}

void Switch::PlaySpeech(uint32_t callId) {
  std::lock_guard lock(Tapi().Mutex());
  CallAt(callId);
  Tapi().SilenceChanged(callId, false);
}

void Switch::UseManualClock() {
  clock_->MakeManual();
}

void Switch::AdvanceClock(uint32_t ms) {
  clock_->Advance(ms);
}

void Switch::SpeedUpClock(uint32_t factor) {
  clock_->SetSpeed(factor);
}

void Switch::Schedule(uint32_t delayMs, std::function<void()> task) {
  clock_->Schedule(delayMs, std::move(task));
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
  data.userUserInfo = LineAt(data.deviceId).KeptUserUserInfo(params.userUserInfo);
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
  if (params.userUserInfo.size() > line.uuiMakeCallSize) return Err(LINEERR_USERUSERINFOTOOBIG);
  if (params.noAnswerTimeout > LineDevice::kMaxNoAnswerTimeout) return Err(LINEERR_INVALCALLPARAMS);
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

// --- limits
// ---------------------------------------------------------------------------------------

uint32_t Switch::PartyLimit(const SimCall& conference) const {
  const LineConfig& config = LineAt(conference.data.deviceId).Config();
  // A conference made from a transfer counts this station among its parties.
  if (conference.fromTransfer) return config.maxTransConf > 0 ? config.maxTransConf - 1 : 0;
  return config.maxConference;
}

std::vector<uint32_t> Switch::MakingWay(const LineDevice& line) const {
  std::vector<uint32_t> out;
  const uint32_t wanted = line.EngagedCalls() + 1;
  const uint32_t limit = line.Config().maxActiveCalls;
  const size_t excess = wanted > limit ? wanted - limit : 0;
  for (uint32_t callId : line.Calls()) {
    if (out.size() == excess) break;
    if (LineDevice::Engages(calls_.at(callId).data.state)) out.push_back(callId);
  }
  return out;
}

LONG Switch::CheckAnswer(const SimCall& call) const {
  const LineDevice& line = LineAt(call.data.deviceId);
  const CallMove answered{call.data.addressId, call.data.state, LINECALLSTATE_CONNECTED};
  if (line.Fits({answered})) return 0;
  switch (line.Config().answerMode) {
    case LINEANSWERMODE_DROP:
      return 0;  // dropping calls always makes room
    case LINEANSWERMODE_HOLD: {
      std::vector<CallMove> moves{answered};
      for (uint32_t callId : MakingWay(line)) {
        const CallData& each = calls_.at(callId).data;
        // Only a connected call can be put on hold.
        if (each.state != LINECALLSTATE_CONNECTED) return Err(LINEERR_RESOURCEUNAVAIL);
        moves.push_back({each.addressId, LINECALLSTATE_CONNECTED, LINECALLSTATE_ONHOLD});
      }
      return line.Fits(moves) ? LONG{0} : Err(LINEERR_RESOURCEUNAVAIL);
    }
    default:  // NONE: the answered call would be one active call too many
      return Err(LINEERR_RESOURCEUNAVAIL);
  }
}

void Switch::MakeWayToAnswer(uint32_t callId) {
  const CallData& call = calls_.at(callId).data;
  const LineDevice& line = LineAt(call.deviceId);
  if (line.Fits({{call.addressId, call.state, LINECALLSTATE_CONNECTED}})) return;
  const bool hold = line.Config().answerMode == LINEANSWERMODE_HOLD;
  for (uint32_t each : MakingWay(line)) {
    if (hold) {
      MoveCall(each, LINECALLSTATE_ONHOLD, 0);
    } else {
      DropCall(each);
    }
  }
}

// --- the provider's side of call control ---------------------------------------------------------

LONG Switch::CheckCallOp(const CallRequest& request) const {
  const SimCall* call = request.callId != 0 ? Find(request.callId) : nullptr;
  const SimCall* other = request.otherCallId != 0 ? Find(request.otherCallId) : nullptr;
  const DWORD state = call != nullptr ? call->data.state : 0;
  const DWORD otherState = other != nullptr ? other->data.state : 0;
  const DWORD address = call != nullptr ? call->data.addressId : request.addressId;
  const DWORD otherAddress = other != nullptr ? other->data.addressId : address;
  const LineDevice& line = LineAt(request.deviceId);
  const LineConfig& config = line.Config();
  auto needState = [state](DWORD states) {
    return In(state, states) ? LONG{0} : Err(LINEERR_INVALCALLSTATE);
  };
  auto needAddressId = [&config](DWORD addressId) {
    return addressId < config.numAddresses ? LONG{0} : Err(LINEERR_INVALADDRESSID);
  };
  // Room on the line for what the operation does to its calls; `full` when a limit is reached.
  auto needRoom = [&line](std::initializer_list<CallMove> moves,
                          LONG full = Err(LINEERR_RESOURCEUNAVAIL)) {
    return line.Fits(moves) ? LONG{0} : full;
  };
  auto needUserUserInfo = [&request](uint32_t limit) {
    return request.data.size() <= limit ? LONG{0} : Err(LINEERR_USERUSERINFOTOOBIG);
  };
  // The consultation call joins the other call's conference; calls of two addresses only when
  // the line can conference across them.
  auto needJoinable = [&] {
    if (other == nullptr || other->conference || other->inConference != 0 ||
        (otherAddress != address && (config.devCapFlags & LINEDEVCAPFLAGS_CROSSADDRCONF) == 0)) {
      return Err(LINEERR_INVALCONSULTCALLHANDLE);
    }
    return LONG{0};
  };
  switch (request.op) {
    case CallOp::Accept:
      if (const LONG error = needUserUserInfo(config.uuiAcceptSize)) return error;
      return needState(LINECALLSTATE_OFFERING);
    case CallOp::Answer:
      if (const LONG error = needUserUserInfo(config.uuiAnswerSize)) return error;
      if (const LONG error = needState(kAlerting)) return error;
      return CheckAnswer(*call);
    case CallOp::MakeCall:
      if ((config.lineFeatures & LINEFEATURE_MAKECALL) == 0) return Err(LINEERR_OPERATIONUNAVAIL);
      if (const LONG error = CheckParams(request)) return error;
      if (request.hasAddress && !Dialable(request.address)) return Err(LINEERR_INVALADDRESS);
      return needRoom({{address, LINECALLSTATE_IDLE, LINECALLSTATE_DIALTONE}},
                      Err(LINEERR_CALLUNAVAIL));
    case CallOp::Dial:
      if (const LONG error = needState(LINECALLSTATE_DIALTONE | LINECALLSTATE_DIALING)) {
        return error;
      }
      return Dialable(request.address) ? LONG{0} : Err(LINEERR_INVALADDRESS);
    case CallOp::Hold:
      if (config.maxOnHoldCalls == 0) return Err(LINEERR_OPERATIONUNAVAIL);
      if (const LONG error = needState(LINECALLSTATE_CONNECTED)) return error;
      return needRoom({{address, LINECALLSTATE_CONNECTED, LINECALLSTATE_ONHOLD}});
    case CallOp::Unhold:
      if (const LONG error = needState(LINECALLSTATE_ONHOLD)) return error;
      return needRoom({{address, LINECALLSTATE_ONHOLD, LINECALLSTATE_CONNECTED}});
    case CallOp::SwapHold: {
      if (const LONG error = needState(LINECALLSTATE_CONNECTED)) return error;
      if (!In(otherState, kHeld)) return Err(LINEERR_INVALCALLSTATE);
      const DWORD parked = otherState == LINECALLSTATE_ONHOLDPENDTRANSFER
                               ? LINECALLSTATE_ONHOLDPENDTRANSFER
                               : LINECALLSTATE_ONHOLD;
      return needRoom({{address, LINECALLSTATE_CONNECTED, parked},
                       {otherAddress, otherState, LINECALLSTATE_CONNECTED}});
    }
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
      if (!parked_.contains(Digits(request.address))) return Err(LINEERR_INVALADDRESS);
      return needRoom({{address, LINECALLSTATE_IDLE, LINECALLSTATE_CONNECTED}},
                      Err(LINEERR_CALLUNAVAIL));
    case CallOp::Pickup:
      if (const LONG error = needAddressId(request.addressId)) return error;
      if (FindPickup(request) == 0) {
        return !request.hasAddress && !request.group.empty() ? Err(LINEERR_INVALGROUPID)
                                                             : Err(LINEERR_INVALADDRESS);
      }
      return needRoom({{address, LINECALLSTATE_IDLE, LINECALLSTATE_CONNECTED}},
                      Err(LINEERR_CALLUNAVAIL));
    case CallOp::Redirect:
      if (const LONG error = needState(kAlerting)) return error;
      return Dialable(request.address) ? LONG{0} : Err(LINEERR_INVALADDRESS);
    case CallOp::BlindTransfer:
      if (const LONG error = needState(LINECALLSTATE_CONNECTED)) return error;
      return Dialable(request.address) ? LONG{0} : Err(LINEERR_INVALADDRESS);
    case CallOp::SetupTransfer:
      if (config.maxOnHoldPendingCalls == 0) return Err(LINEERR_OPERATIONUNAVAIL);
      if (const LONG error = needState(LINECALLSTATE_CONNECTED)) return error;
      if (call->conference || call->inConference != 0) return Err(LINEERR_INVALCALLSTATE);
      if (const LONG error = CheckParams(request)) return error;
      return needRoom({{address, LINECALLSTATE_CONNECTED, LINECALLSTATE_ONHOLDPENDTRANSFER},
                       {address, LINECALLSTATE_IDLE, LINECALLSTATE_DIALTONE}});
    case CallOp::CompleteTransfer: {
      if ((line.TransferModes() & request.mode) == 0) return Err(LINEERR_INVALTRANSFERMODE);
      if (const LONG error = needState(LINECALLSTATE_ONHOLDPENDTRANSFER | LINECALLSTATE_ONHOLD)) {
        return error;
      }
      if (request.mode == LINETRANSFERMODE_TRANSFER) {
        if (other == nullptr || other->conference || other->inConference != 0) {
          return Err(LINEERR_INVALCONSULTCALLHANDLE);
        }
        return In(otherState, LINECALLSTATE_CONNECTED | kAwaitingFarEnd)
                   ? LONG{0}
                   : Err(LINEERR_INVALCALLSTATE);
      }
      if (const LONG error = needJoinable()) return error;
      if (otherState != LINECALLSTATE_CONNECTED) return Err(LINEERR_INVALCALLSTATE);
      return needRoom({{address, state, LINECALLSTATE_CONFERENCED},
                       {otherAddress, otherState, LINECALLSTATE_CONFERENCED},
                       {address, LINECALLSTATE_IDLE, LINECALLSTATE_CONNECTED}});
    }
    case CallOp::SetupConference:
      if (!line.Conferences()) return Err(LINEERR_OPERATIONUNAVAIL);
      if (request.mode > config.maxConference) return Err(LINEERR_CONFERENCEFULL);
      if (call != nullptr) {
        if (const LONG error = needState(LINECALLSTATE_CONNECTED)) return error;
        if (call->conference || call->inConference != 0) return Err(LINEERR_INVALCALLSTATE);
        if (const LONG error = CheckParams(request)) return error;
        return needRoom({{address, LINECALLSTATE_CONNECTED, LINECALLSTATE_CONFERENCED},
                         {address, LINECALLSTATE_IDLE, LINECALLSTATE_ONHOLDPENDCONF},
                         {address, LINECALLSTATE_IDLE, LINECALLSTATE_DIALTONE}});
      }
      if ((config.lineFeatures & LINEFEATURE_MAKECALL) == 0) return Err(LINEERR_OPERATIONUNAVAIL);
      if (const LONG error = CheckParams(request)) return error;
      return needRoom({{address, LINECALLSTATE_IDLE, LINECALLSTATE_ONHOLDPENDCONF},
                       {address, LINECALLSTATE_IDLE, LINECALLSTATE_DIALTONE}},
                      Err(LINEERR_CALLUNAVAIL));
    case CallOp::PrepareAddToConference:
      if (!call->conference) return Err(LINEERR_INVALCONFCALLHANDLE);
      if (const LONG error = needState(LINECALLSTATE_CONNECTED)) return error;
      if (call->parties.size() >= PartyLimit(*call)) return Err(LINEERR_CONFERENCEFULL);
      if (const LONG error = CheckParams(request)) return error;
      return needRoom({{address, LINECALLSTATE_CONNECTED, LINECALLSTATE_ONHOLDPENDCONF},
                       {address, LINECALLSTATE_IDLE, LINECALLSTATE_DIALTONE}});
    case CallOp::AddToConference:
      if (!call->conference) return Err(LINEERR_INVALCONFCALLHANDLE);
      // A conference held while its owner makes the next call comes back with that call.
      if (const LONG error = needState(LINECALLSTATE_ONHOLDPENDCONF | LINECALLSTATE_CONNECTED |
                                       LINECALLSTATE_ONHOLD)) {
        return error;
      }
      if (const LONG error = needJoinable()) return error;
      if (call->parties.size() >= PartyLimit(*call)) return Err(LINEERR_CONFERENCEFULL);
      if (!In(otherState, LINECALLSTATE_CONNECTED | kAwaitingFarEnd | LINECALLSTATE_ONHOLD)) {
        return Err(LINEERR_INVALCALLSTATE);
      }
      return needRoom({{otherAddress, otherState, LINECALLSTATE_CONFERENCED},
                       {address, state, LINECALLSTATE_CONNECTED}});
    case CallOp::RemoveFromConference:
      return needState(LINECALLSTATE_CONFERENCED);
    case CallOp::CompleteCall:
      if ((request.mode & LineDevice::kCompletionModes) == 0) {
        return Err(LINEERR_INVALCALLCOMPLMODE);
      }
      if (const LONG error = needState(LINECALLSTATE_BUSY | LINECALLSTATE_RINGBACK)) return error;
      return line.CompletionsOn(address) < LineDevice::kMaxCallCompletions
                 ? LONG{0}
                 : Err(LINEERR_COMPLETIONOVERRUN);
    case CallOp::UncompleteCall: {
      auto it = completions_.find(request.param);
      return it != completions_.end() && it->second.lineId == request.deviceId
                 ? LONG{0}
                 : Err(LINEERR_INVALCOMPLETIONID);
    }
    case CallOp::SetCallData:
      if (state == LINECALLSTATE_IDLE) return Err(LINEERR_INVALCALLSTATE);
      return request.data.size() <= LineDevice::kMaxCallDataSize ? LONG{0}
                                                                 : Err(LINEERR_INVALPARAM);
    case CallOp::SetMediaMode:
    case CallOp::MonitorMedia:
      if ((request.mode & ~(config.mediaModes | LINEMEDIAMODE_UNKNOWN)) != 0 || request.mode == 0) {
        return Err(LINEERR_INVALMEDIAMODE);
      }
      return state == LINECALLSTATE_IDLE ? Err(LINEERR_INVALCALLSTATE) : LONG{0};
    case CallOp::GenerateDigits:
      if ((request.mode & config.generateDigitModes) == 0) return Err(LINEERR_INVALDIGITMODE);
      if (const LONG error = needState(LINECALLSTATE_CONNECTED)) return error;
      return ValidDigits(request.address, request.mode) ? LONG{0} : Err(LINEERR_INVALDIGITLIST);
    case CallOp::GenerateTone:
      if ((request.mode & config.generateToneModes) == 0) return Err(LINEERR_INVALTONEMODE);
      if (request.tones.size() > config.generateToneMaxFreq) return Err(LINEERR_INVALTONE);
      return needState(LINECALLSTATE_CONNECTED);
    case CallOp::MonitorTones:
      if (request.mode > config.monitorToneMaxEntries) return Err(LINEERR_INVALTONELIST);
      if (request.param > config.monitorToneMaxFreq) return Err(LINEERR_INVALTONE);
      return state == LINECALLSTATE_IDLE ? Err(LINEERR_INVALCALLSTATE) : LONG{0};
    case CallOp::MonitorDigits:
      if (config.monitorDigitModes == 0) return Err(LINEERR_OPERATIONUNAVAIL);
      if ((request.mode & ~config.monitorDigitModes) != 0) return Err(LINEERR_INVALDIGITMODE);
      return state == LINECALLSTATE_IDLE ? Err(LINEERR_INVALCALLSTATE) : LONG{0};
    case CallOp::GatherDigits: {
      const DWORD modes = line.GatherDigitModes();
      if (modes == 0) return Err(LINEERR_OPERATIONUNAVAIL);
      if ((request.mode & ~modes) != 0) return Err(LINEERR_INVALDIGITMODE);
      for (const DWORD timeout : {request.firstDigitTimeout, request.interDigitTimeout}) {
        if (timeout != 0 &&
            (timeout < config.gatherDigitsMinTimeout || timeout > config.gatherDigitsMaxTimeout)) {
          return Err(LINEERR_INVALTIMEOUT);
        }
      }
      // Termination digits the modes cannot bring would never end the gathering.
      if (!DetectableDigits(request.address, request.mode)) return Err(LINEERR_INVALDIGITS);
      return state == LINECALLSTATE_IDLE ? Err(LINEERR_INVALCALLSTATE) : LONG{0};
    }
    case CallOp::DevSpecific:
      if ((config.lineFeatures & LINEFEATURE_DEVSPECIFIC) == 0) {
        return Err(LINEERR_OPERATIONUNAVAIL);
      }
      return needAddressId(request.addressId);
    case CallOp::DevSpecificFeature:
      return (config.lineFeatures & LINEFEATURE_DEVSPECIFICFEAT) != 0
                 ? LONG{0}
                 : Err(LINEERR_OPERATIONUNAVAIL);
    case CallOp::Forward:
      return CheckForward(request);
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

namespace {

DWORD LowestBit(DWORD flags) {
  return flags & (~flags + 1);
}

}  // namespace

CallFeatureSet Switch::CallFeatures(DWORD callId) const {
  std::lock_guard lock(Tapi().Mutex());
  const SimCall* call = Find(callId);
  if (call == nullptr || call->data.state == LINECALLSTATE_IDLE) return {};
  const CallData& data = call->data;
  const LineDevice& line = LineAt(data.deviceId);
  const LineConfig& config = line.Config();
  // Each feature is offered when the switch would accept its operation now, with arguments
  // the capabilities allow.
  auto on = [&](CallOp op, uint32_t first, DWORD mode = 0, std::u16string address = {}) {
    const CallData& acting = calls_.at(first).data;
    CallRequest request;
    request.op = op;
    request.deviceId = acting.deviceId;
    request.addressId = acting.addressId;
    request.callId = first;
    request.mode = mode;
    request.hasAddress = !address.empty();
    request.address = std::move(address);
    return request;
  };
  auto allows = [this](const CallRequest& request) { return CheckCallOp(request) == 0; };
  auto pairAllows = [&](CallOp op, uint32_t first, uint32_t second, DWORD mode = 0) {
    CallRequest request = on(op, first, mode);
    request.otherCallId = second;
    return allows(request);
  };
  CallFeatureSet out;
  auto offer = [&out](DWORD feature, bool allowed, DWORD feature2 = 0) {
    if (!allowed) return;
    out.features |= feature;
    out.features2 |= feature2;
  };
  // lineDrop is the runtime's own: it takes any call that is not IDLE.
  offer(LINECALLFEATURE_DROP, true);
  offer(LINECALLFEATURE_ACCEPT, allows(on(CallOp::Accept, callId)));
  offer(LINECALLFEATURE_ANSWER, allows(on(CallOp::Answer, callId)));
  offer(LINECALLFEATURE_DIAL, allows(on(CallOp::Dial, callId, 0, u"1")));
  offer(LINECALLFEATURE_REDIRECT, allows(on(CallOp::Redirect, callId, 0, u"1")));
  offer(LINECALLFEATURE_BLINDTRANSFER, allows(on(CallOp::BlindTransfer, callId, 0, u"1")));
  offer(LINECALLFEATURE_HOLD, allows(on(CallOp::Hold, callId)));
  offer(LINECALLFEATURE_UNHOLD, allows(on(CallOp::Unhold, callId)));
  offer(LINECALLFEATURE_PARK, allows(on(CallOp::Park, callId, LINEPARKMODE_DIRECTED, u"1")),
        LINECALLFEATURE2_PARKDIRECT);
  offer(LINECALLFEATURE_PARK, allows(on(CallOp::Park, callId, LINEPARKMODE_NONDIRECTED)),
        LINECALLFEATURE2_PARKNONDIRECT);
  offer(LINECALLFEATURE_SETUPTRANSFER, allows(on(CallOp::SetupTransfer, callId)));
  offer(LINECALLFEATURE_SETUPCONF, allows(on(CallOp::SetupConference, callId)));
  offer(LINECALLFEATURE_PREPAREADDCONF, allows(on(CallOp::PrepareAddToConference, callId)));
  offer(LINECALLFEATURE_REMOVEFROMCONF, allows(on(CallOp::RemoveFromConference, callId)));
  offer(LINECALLFEATURE_SETCALLDATA, allows(on(CallOp::SetCallData, callId)));
  offer(LINECALLFEATURE_MONITORMEDIA,
        allows(on(CallOp::MonitorMedia, callId,
                  config.mediaModes != 0 ? LowestBit(config.mediaModes) : LINEMEDIAMODE_UNKNOWN)));
  // One tone without frequencies: silence.
  offer(LINECALLFEATURE_MONITORTONES, allows(on(CallOp::MonitorTones, callId, 1)));
  if (config.monitorDigitModes != 0) {
    offer(LINECALLFEATURE_MONITORDIGITS,
          allows(on(CallOp::MonitorDigits, callId, LowestBit(config.monitorDigitModes))));
  }
  if (const DWORD gather = line.GatherDigitModes(); gather != 0) {
    offer(LINECALLFEATURE_GATHERDIGITS,
          allows(on(CallOp::GatherDigits, callId, LowestBit(gather))));
  }
  if (config.generateDigitModes != 0) {
    offer(LINECALLFEATURE_GENERATEDIGITS,
          allows(on(CallOp::GenerateDigits, callId, LowestBit(config.generateDigitModes), u"1")));
  }
  if (config.generateToneModes != 0) {
    const DWORD plain = config.generateToneModes & ~LINETONEMODE_CUSTOM;
    CallRequest tone =
        on(CallOp::GenerateTone, callId, plain != 0 ? LowestBit(plain) : LINETONEMODE_CUSTOM);
    if (plain == 0) tone.tones = {440};
    offer(LINECALLFEATURE_GENERATETONE, allows(tone));
  }
  const std::pair<DWORD, DWORD> completions[] = {
      {LINECALLCOMPLMODE_CAMPON, LINECALLFEATURE2_COMPLCAMPON},
      {LINECALLCOMPLMODE_CALLBACK, LINECALLFEATURE2_COMPLCALLBACK},
      {LINECALLCOMPLMODE_INTRUDE, LINECALLFEATURE2_COMPLINTRUDE},
  };
  for (const auto& [mode, feature2] : completions)
    offer(LINECALLFEATURE_COMPLETECALL, allows(on(CallOp::CompleteCall, callId, mode)), feature2);

  // Operations on two calls, with any other call of the line. Only calls in these states can
  // take part in one.
  if (!In(data.state, LINECALLSTATE_CONNECTED | kHeld | kAwaitingFarEnd)) return out;
  const std::pair<DWORD, DWORD> transfers[] = {
      {LINETRANSFERMODE_TRANSFER, LINECALLFEATURE2_TRANSFERNORM},
      {LINETRANSFERMODE_CONFERENCE, LINECALLFEATURE2_TRANSFERCONF},
  };
  for (uint32_t otherId : line.Calls()) {
    if (otherId == callId) continue;
    auto either = [&](CallOp op) {
      return pairAllows(op, callId, otherId) || pairAllows(op, otherId, callId);
    };
    offer(LINECALLFEATURE_SWAPHOLD, either(CallOp::SwapHold));
    offer(LINECALLFEATURE_ADDTOCONF, either(CallOp::AddToConference));
    // The transfer is offered by the call to transfer, and by its own consultation call but
    // not by every other call that could stand in as one: applications look for the partner
    // of a consultation call by this feature.
    for (const auto& [mode, feature2] : transfers) {
      offer(LINECALLFEATURE_COMPLETETRANSF,
            pairAllows(CallOp::CompleteTransfer, callId, otherId, mode) ||
                (otherId == call->consultFor &&
                 pairAllows(CallOp::CompleteTransfer, otherId, callId, mode)),
            feature2);
    }
  }
  return out;
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
      MakeWayToAnswer(callId);
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
        calls_.at(confId).fromTransfer = true;
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
      Report(call.deviceId, call.addressId,
             LineAt(call.deviceId).CompletionsChanged(call.addressId, +1));
      break;
    }
    case CallOp::UncompleteCall: {
      const Completion completion = completions_.at(request.param);
      completions_.erase(request.param);
      Report(completion.lineId, completion.addressId,
             LineAt(completion.lineId).CompletionsChanged(completion.addressId, -1));
      break;
    }
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
    case CallOp::MonitorDigits:
    case CallOp::GatherDigits:
      break;  // the runtime reports generation and monitoring itself
    case CallOp::Forward:
      outcome.newCall = PerformForward(request, requester);
      break;
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
