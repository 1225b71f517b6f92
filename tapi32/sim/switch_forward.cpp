// Call forwarding on the simulated switch: lineForwardW's checks and effect, and the way a call
// from outside follows the forwarding of the stations it reaches.
#include <set>
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

// How long a ring lasts on a line that rings only once, for counting rings before no-answer
// forwarding.
constexpr uint32_t kQuietRingMs = 6000;

PartyId StationParty(const LineConfig& line, uint32_t addressId) {
  PartyId party;
  party.number = StationNumber(line, addressId);
  party.name = platform::Utf8ToWide(line.name);
  party.flags = (party.number.empty() ? 0 : LINECALLPARTYID_ADDRESS) | LINECALLPARTYID_NAME;
  return party;
}

// The call as it came from outside, to be offered once more elsewhere.
IncomingCall AsIncoming(const CallData& call) {
  IncomingCall incoming;
  incoming.callerNumber = platform::WideToUtf8(call.caller.number);
  incoming.callerName = platform::WideToUtf8(call.caller.name);
  incoming.callerFlags = call.caller.flags;
  incoming.calledNumber = platform::WideToUtf8(call.called.number);
  incoming.calledName = platform::WideToUtf8(call.called.name);
  incoming.calledFlags = call.called.flags;
  incoming.mediaMode = call.mediaMode;
  incoming.bearerMode = call.bearerMode;
  incoming.rate = call.rate;
  incoming.origin = call.origin;
  return incoming;
}

}  // namespace

// --- lineForwardW ------------------------------------------------------------------------------

LONG Switch::CheckForward(const CallRequest& request) const {
  const LineDevice& line = LineAt(request.deviceId);
  const LineConfig& config = line.Config();
  if (config.forwardModes == 0) return Err(LINEERR_OPERATIONUNAVAIL);
  if (!request.allAddresses && request.addressId >= config.numAddresses) {
    return Err(LINEERR_INVALADDRESSID);
  }
  if (const LONG error = CheckForwardList(request.forwards, config)) return error;
  if (config.forwardConsult && !request.forwards.empty()) {
    // lineForwardW reports faulty call parameters as invalid information in general.
    if (const LONG error = CheckParams(request)) {
      return error == Err(LINEERR_INVALCALLPARAMS) ? Err(LINEERR_INVALPARAM) : error;
    }
    if (!line.Fits({{request.addressId, LINECALLSTATE_IDLE, LINECALLSTATE_DIALTONE}})) {
      return Err(LINEERR_RESOURCEUNAVAIL);
    }
  }
  return 0;
}

HCALL Switch::PerformForward(const CallRequest& request, HLINE requester) {
  SetForwarding(request.deviceId, request.allAddresses ? kAllAddresses : request.addressId,
                request.forwards, request.mode);
  if (!LineAt(request.deviceId).Config().forwardConsult || request.forwards.empty()) return 0;
  const uint32_t consult = Outgoing(request, request.addressId);
  return Announce(consult, requester, LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_NORMAL,
                  MakerLearns::FromRequest);
}

void Switch::SetForwarding(uint32_t lineId, uint32_t addressId, std::vector<ForwardEntry> entries,
                           uint32_t rings) {
  LineDevice& line = LineAt(lineId);
  const uint32_t count = line.Config().numAddresses;
  for (uint32_t each = 0; each < count; ++each) {
    if (addressId != kAllAddresses && each != addressId) continue;
    line.SetForwarding(each, entries, rings);
    Tapi().AddressStateChanged(lineId, each, LINEADDRESSSTATE_FORWARD);
  }
}

void Switch::Forward(uint32_t lineId, uint32_t addressId, std::vector<ForwardEntry> entries,
                     uint32_t numRingsNoAnswer) {
  std::lock_guard lock(Tapi().Mutex());
  const LineConfig& config = LineAt(lineId).Config();
  if (addressId != kAllAddresses && addressId >= config.numAddresses) {
    throw std::out_of_range("line " + std::to_string(lineId) + " has no address " +
                            std::to_string(addressId));
  }
  if (config.forwardModes == 0 || CheckForwardList(entries, config) != 0) {
    throw std::invalid_argument("line " + std::to_string(lineId) +
                                " does not take this forwarding list");
  }
  SetForwarding(lineId, addressId, std::move(entries), numRingsNoAnswer);
}

std::vector<ForwardedCall> Switch::ForwardedCalls() const {
  std::lock_guard lock(Tapi().Mutex());
  return {forwarded_.begin(), forwarded_.end()};
}

void Switch::LogForwarded(std::vector<ForwardedCall> hops, uint32_t callId) {
  for (ForwardedCall& hop : hops) {
    hop.callId = callId;
    forwarded_.push_back(std::move(hop));
    if (forwarded_.size() > kForwardLogSize) forwarded_.pop_front();
  }
}

// --- calls that follow the forwarding ------------------------------------------------------------

std::optional<Switch::Station> Switch::StationFor(std::u16string_view number) const {
  const std::u16string wanted = DialDigits(number);
  if (wanted.empty()) return std::nullopt;
  for (const auto& line : lines_) {
    if (line->Removed()) continue;
    const LineConfig& config = line->Config();
    for (uint32_t address = 0; address < config.numAddresses; ++address) {
      if (DialDigits(StationNumber(config, address)) == wanted) {
        return Station{line->DeviceId(), address};
      }
    }
  }
  return std::nullopt;
}

bool Switch::FarEndTakes(const std::u16string& number) const {
  const FarEnd::Kind kind = FarEndFor(number).kind;
  return kind == FarEnd::Kind::Answers || kind == FarEnd::Kind::NoAnswer;
}

Switch::Redirection Switch::Forwarding(Station from, const ForwardEntry& entry,
                                       uint32_t reason) const {
  Redirection via;
  via.reason = reason;
  via.redirecting = StationParty(LineAt(from.lineId).Config(), from.addressId);
  via.redirection.number = entry.destAddress;
  if (const std::optional<Station> to = StationFor(entry.destAddress)) {
    via.redirection = StationParty(LineAt(to->lineId).Config(), to->addressId);
  }
  via.redirection.flags =
      LINECALLPARTYID_ADDRESS |
      (via.redirection.name.empty() ? uint32_t{0} : uint32_t{LINECALLPARTYID_NAME});
  return via;
}

uint32_t Switch::Deliver(uint32_t lineId, uint32_t addressId, const IncomingCall& incoming,
                         std::optional<Redirection> via, std::vector<ForwardedCall> hops) {
  const std::u16string caller = platform::Utf8ToWide(incoming.callerNumber);
  Station at{lineId, addressId};
  std::set<Station> passed{at};
  for (;;) {
    const LineDevice& line = LineAt(at.lineId);
    uint32_t reason = LINECALLREASON_FWDUNCOND;
    const ForwardEntry* entry =
        line.ForwardFor(at.addressId, ForwardWhen::Unconditional, caller, incoming.origin);
    if (entry == nullptr && line.Busy(at.addressId)) {
      reason = LINECALLREASON_FWDBUSY;
      entry = line.ForwardFor(at.addressId, ForwardWhen::Busy, caller, incoming.origin);
    }
    if (entry == nullptr) break;
    const std::optional<Station> next = StationFor(entry->destAddress);
    if (next ? passed.contains(*next) : !FarEndTakes(entry->destAddress)) break;
    hops.push_back({at.lineId, at.addressId, reason, platform::WideToUtf8(entry->destAddress), 0});
    if (!next) {
      LogForwarded(std::move(hops), 0);
      return 0;
    }
    via = Forwarding(at, *entry, reason);
    at = *next;
    passed.insert(at);
  }
  const uint32_t callId = Place(at.lineId, at.addressId, incoming, via);
  LogForwarded(std::move(hops), callId);
  PlanNoAnswer(callId);
  return callId;
}

void Switch::PlanNoAnswer(uint32_t callId) {
  SimCall& call = calls_.at(callId);
  const LineDevice& line = LineAt(call.data.deviceId);
  if (line.ForwardFor(call.data.addressId, ForwardWhen::NoAnswer, call.data.caller.number,
                      call.data.origin) == nullptr) {
    return;
  }
  call.forwardUnanswered = true;
  // The rings of a line that rings once are counted by time.
  if (line.Config().ringIntervalMs == 0) {
    clock_->Schedule(line.ForwardRings(call.data.addressId) * kQuietRingMs,
                     [this, callId] { ForwardUnanswered(callId); });
  }
}

void Switch::ForwardBeforeRing(LineDevice& line) {
  std::vector<uint32_t> due;
  for (uint32_t id : line.Alerting()) {
    const SimCall& call = calls_.at(id);
    if (call.forwardUnanswered && call.ringsHeard >= line.ForwardRings(call.data.addressId)) {
      due.push_back(id);
    }
  }
  for (uint32_t id : due)
    ForwardUnanswered(id);
}

void Switch::CountRing(const LineDevice& line) {
  for (uint32_t id : line.Alerting())
    ++calls_.at(id).ringsHeard;
}

void Switch::ForwardUnanswered(uint32_t callId) {
  const SimCall* call = Find(callId);
  if (call == nullptr) return;
  const CallData data = call->data;
  // Answered or gone meanwhile: nothing to forward.
  if (data.state != LINECALLSTATE_OFFERING && data.state != LINECALLSTATE_ACCEPTED) return;
  const Station at{data.deviceId, data.addressId};
  const LineDevice& line = LineAt(at.lineId);
  // The forwarding in force now decides; it may have changed while the call rang.
  const ForwardEntry* found =
      line.ForwardFor(at.addressId, ForwardWhen::NoAnswer, data.caller.number, data.origin);
  if (found == nullptr) return;
  const ForwardEntry entry = *found;
  const std::optional<Station> next = StationFor(entry.destAddress);
  if (next ? *next == at : !FarEndTakes(entry.destAddress)) return;  // it rings on here
  Leave(callId, LINEDISCONNECTMODE_FORWARDED);
  std::vector<ForwardedCall> hops{{at.lineId, at.addressId, LINECALLREASON_FWDNOANSWER,
                                   platform::WideToUtf8(entry.destAddress), 0}};
  if (!next) {
    LogForwarded(std::move(hops), 0);
    return;
  }
  Deliver(next->lineId, next->addressId, AsIncoming(data),
          Forwarding(at, entry, LINECALLREASON_FWDNOANSWER), std::move(hops));
}

}  // namespace tapi32::sim
