#include "tapi32/sim/traffic.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "platform/module.h"
#include "tapi32/server.h"

namespace tapi32::sim {

namespace {

struct Caller {
  std::string_view number;
  std::string_view name;
};

// Invented people; the numbers lie in ranges set aside for fiction.
constexpr std::array<Caller, 14> kCallers = {{
    {"+1 555 0142", "Mira Okafor"},
    {"+1 555 0187", "Jonas Lindqvist"},
    {"+44 20 7946 0321", "Priya Raman"},
    {"+1 555 0119", "Tomasz Wojcik"},
    {"+44 20 7946 0758", "Elena Garcia"},
    {"+1 555 0164", "Hiroshi Tanaka"},
    {"+61 491 570 006", "Fatima Haddad"},
    {"+1 555 0133", "Lukas Becker"},
    {"+44 20 7946 0904", "Chloe Martin"},
    {"+1 555 0176", "Samuel Osei"},
    {"+61 491 570 159", "Ingrid Solberg"},
    {"+1 555 0108", "Diego Alvarez"},
    {"", ""},  // a caller who withholds the number
    {"+1 555 0195", ""},
}};

// How long the forwarding of the demo lasts and how long the line goes without it, in intervals.
constexpr uint32_t kForwardedIntervals = 10;
constexpr uint32_t kUnforwardedIntervals = 20;

// Numbers the colleague dials and finds busy.
constexpr std::array<std::string_view, 4> kBusyNumbers = {"+1 555 0150", "+44 20 7946 0512",
                                                          "+1 555 0171", "+61 491 570 220"};

}  // namespace

Switch::Traffic::Traffic(Switch& owner, Clock& clock, const TrafficConfig& config)
    : switch_(owner),
      clock_(clock),
      config_(config),
      timing_(static_cast<uint64_t>(config.seed) << 32),
      arrivals_(config.seed),
      course_(~static_cast<uint64_t>(config.seed)),
      signals_(static_cast<uint64_t>(config.seed) * 0x2545F4914F6CDD1Dull) {
  if (config_.intervalMs == 0) config_.intervalMs = 1;
}

uint32_t Switch::Traffic::Random(uint64_t& stream, uint32_t bound) {
  // splitmix64: the same seed gives the same sequence on every platform.
  stream += 0x9E3779B97F4A7C15ull;
  uint64_t z = stream;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return bound == 0 ? 0 : static_cast<uint32_t>(z % bound);
}

uint32_t Switch::Traffic::Intervals(uint64_t& stream, uint32_t from, uint32_t to) {
  const uint64_t interval = config_.intervalMs;
  const uint64_t low = interval * from;
  const uint64_t span = interval * (to - from) + 1;
  return static_cast<uint32_t>(low + Random(stream, static_cast<uint32_t>(span)));
}

void Switch::Traffic::Start() {
  clock_.Schedule(Intervals(timing_, 0, 1), [this] { Arrive(); });
  clock_.Schedule(kUnforwardedIntervals * config_.intervalMs, [this] { Reforward(true); });
}

void Switch::Traffic::Reforward(bool on) {
  // Fixed times rather than drawn ones: the callers stay those of the seed.
  clock_.Schedule((on ? kForwardedIntervals : kUnforwardedIntervals) * config_.intervalMs,
                  [this, on] { Reforward(!on); });
  std::vector<uint32_t> voice;
  for (const auto& line : switch_.lines_) {
    const LineConfig& config = line->Config();
    if (!line->Removed() && (config.mediaModes & LINEMEDIAMODE_INTERACTIVEVOICE) != 0 &&
        config.numAddresses != 0 && !StationNumber(config, 0).empty()) {
      voice.push_back(line->DeviceId());
    }
  }
  if (voice.size() < 2) return;
  const LineDevice& from = switch_.LineAt(voice.back());
  if ((from.Config().forwardModes & LINEFORWARDMODE_UNCOND) == 0) return;
  std::vector<ForwardEntry> entries;
  if (on) {
    const std::u16string to = StationNumber(switch_.LineAt(voice.front()).Config(), 0);
    entries.push_back({LINEFORWARDMODE_UNCOND, {}, 0, to});
  }
  switch_.SetForwarding(voice.back(), 0, std::move(entries), from.ForwardRings(0));
}

void Switch::Traffic::After(uint32_t delayMs, uint32_t callId) {
  clock_.Schedule(delayMs, [this, callId] { Follow(callId); });
}

void Switch::Traffic::Arrive() {
  // The next caller is planned first, so that a full switch only skips one.
  clock_.Schedule(config_.intervalMs / 2 + Random(timing_, config_.intervalMs + 1),
                  [this] { Arrive(); });
  std::vector<uint32_t> free;
  for (const auto& line : switch_.lines_) {
    const LineConfig& config = line->Config();
    if (line->Removed() || (config.mediaModes & LINEMEDIAMODE_INTERACTIVEVOICE) == 0) continue;
    // Calls nobody can see would only come and go unnoticed.
    if (config.numAddresses == 0 || Server::Instance().OpensOf(line->DeviceId()).empty()) {
      continue;
    }
    if (line->Calls().size() < config_.maxCallsPerLine) free.push_back(line->DeviceId());
  }
  if (free.empty()) return;
  const uint32_t lineId = free[Random(arrivals_, static_cast<uint32_t>(free.size()))];
  if (Random(arrivals_, 6) == 0) {
    DialOut(lineId);
  } else {
    Offer(lineId);
  }
}

void Switch::Traffic::Offer(uint32_t lineId) {
  const Caller& caller = kCallers[Random(arrivals_, kCallers.size())];
  const LineConfig& line = switch_.LineAt(lineId).Config();
  IncomingCall call;
  call.callerNumber = caller.number;
  call.callerName = caller.name;
  if (caller.number.empty() && caller.name.empty()) call.callerFlags = LINECALLPARTYID_BLOCKED;
  const std::string prefix = "Extension ";
  if (line.switchInfo.starts_with(prefix))
    call.calledNumber = line.switchInfo.substr(prefix.size());
  call.calledName = line.name;
  const uint32_t callId = switch_.OfferCall(lineId, 0, call);
  ++callsMade_;
  // Some calls the colleague answers soon; the others ring long enough for the user to answer
  // before the caller gives up.
  const bool colleague = Random(arrivals_, 100) < 45;
  plans_[callId] = Plan{colleague ? Phase::Ringing : Phase::GivingUp, false};
  After(colleague ? Intervals(arrivals_, 1, 2) : Intervals(arrivals_, 3, 5), callId);
}

void Switch::Traffic::DialOut(uint32_t lineId) {
  const LineConfig& line = switch_.LineAt(lineId).Config();
  // Drawn first, so that the callers after it do not depend on whether the call is made.
  const std::string_view number = kBusyNumbers[Random(arrivals_, kBusyNumbers.size())];
  const uint32_t givesUpAfter = Intervals(arrivals_, 1, 2);
  // The colleague has no hand free while the line is as busy as it may be.
  if (!switch_.LineAt(lineId).Fits({{0, LINECALLSTATE_IDLE, LINECALLSTATE_DIALTONE}})) return;
  const uint32_t callId =
      switch_.NewCall(lineId, 0, LINECALLORIGIN_OUTBOUND, LINECALLREASON_DIRECT);
  ++callsMade_;
  SimCall& call = switch_.calls_.at(callId);
  call.data.caller.flags = LINECALLPARTYID_NAME;
  call.data.caller.name = platform::Utf8ToWide(line.name);
  // The colleague's own application makes the call; ours only watch it.
  Server::Instance().CallCreated(callId, kForeignOwner, MakerLearns::FromRequest);
  switch_.MoveCall(callId, LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_NORMAL);
  Server::Instance().CallInfoChanged(
      callId, LINECALLINFOSTATE_ORIGIN | LINECALLINFOSTATE_REASON | LINECALLINFOSTATE_CALLERID);
  switch_.calls_.at(callId).data.called.number = platform::Utf8ToWide(number);
  switch_.calls_.at(callId).data.called.flags = LINECALLPARTYID_ADDRESS;
  switch_.MoveCall(callId, LINECALLSTATE_DIALING, 0);
  Server::Instance().CallInfoChanged(callId, LINECALLINFOSTATE_CALLEDID);
  switch_.MoveCall(callId, LINECALLSTATE_PROCEEDING, 0);
  switch_.MoveCall(callId, LINECALLSTATE_BUSY, LINEBUSYMODE_STATION);
  plans_[callId] = Plan{Phase::BusyOutgoing, false};
  After(givesUpAfter, callId);
}

void Switch::Traffic::Follow(uint32_t callId) {
  auto planIt = plans_.find(callId);
  if (planIt == plans_.end()) return;
  const SimCall* call = switch_.Find(callId);
  if (call == nullptr || call->data.state == LINECALLSTATE_IDLE) {
    plans_.erase(planIt);
    return;
  }
  Plan& plan = planIt->second;
  const DWORD state = call->data.state;
  // Whether the line has room for the call to move to another state.
  auto fits = [&](DWORD to) {
    return switch_.LineAt(call->data.deviceId).Fits({{call->data.addressId, state, to}});
  };
  auto hangUp = [&] {
    // The far end hangs up; a call still DISCONNECTED a while later (its owner did not drop
    // it) is cleared by the switch.
    switch_.RemoteHangUp(callId);
    plan.phase = Phase::Ending;
    After(Intervals(course_, 1, 1), callId);
  };
  switch (state) {
    case LINECALLSTATE_OFFERING:
    case LINECALLSTATE_ACCEPTED:
      if (plan.phase == Phase::Ringing && !fits(LINECALLSTATE_CONNECTED)) {
        // The colleague's hands are full: the caller waits, then gives up.
        plan.phase = Phase::GivingUp;
        After(Intervals(course_, 1, 2), callId);
      } else if (plan.phase == Phase::Ringing) {
        // The colleague's application answers it.
        switch_.Connect(callId, call->data.caller);
        plan.phase = Phase::Talking;
        After(Intervals(course_, 2, 5), callId);
        PlanSignal(callId);
      } else {
        hangUp();
      }
      return;
    case LINECALLSTATE_CONNECTED:
      if (plan.phase == Phase::Ringing || plan.phase == Phase::GivingUp) {
        // The user answered: the call ends after a while.
        plan.phase = Phase::Talking;
        After(Intervals(course_, 2, 4), callId);
        PlanSignal(callId);
      } else if (plan.phase == Phase::Talking && !plan.heldOnce && Random(course_, 4) == 0 &&
                 fits(LINECALLSTATE_ONHOLD)) {
        plan.heldOnce = true;
        plan.phase = Phase::Held;
        switch_.MoveCall(callId, LINECALLSTATE_ONHOLD, 0);
        After(Intervals(course_, 1, 2), callId);
      } else {
        hangUp();
      }
      return;
    case LINECALLSTATE_ONHOLD:
      if (plan.phase == Phase::Held && fits(LINECALLSTATE_CONNECTED)) {
        plan.phase = Phase::Talking;
        switch_.MoveCall(callId, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
        After(Intervals(course_, 1, 3), callId);
      } else {
        hangUp();  // held by the user, or no room to take it back: the caller loses patience
      }
      return;
    case LINECALLSTATE_DISCONNECTED:
    case LINECALLSTATE_BUSY:
      switch_.MoveCall(callId, LINECALLSTATE_IDLE, 0);
      plans_.erase(callId);
      return;
    default:
      // Conferenced, transferred, dialling …: the user took the call over.
      if (plan.phase == Phase::Ending) {
        plans_.erase(planIt);
      } else {
        hangUp();
      }
      return;
  }
}

void Switch::Traffic::PlanSignal(uint32_t callId) {
  clock_.Schedule(Intervals(signals_, 0, 1), [this, callId] { Signal(callId); });
}

void Switch::Traffic::Signal(uint32_t callId) {
  const SimCall* call = switch_.Find(callId);
  if (call == nullptr || call->data.state != LINECALLSTATE_CONNECTED) return;
  const uint32_t choice = Random(signals_, 8);
  if (choice < 4) {
    // A customer number, ended with the hash key.
    std::string keys;
    for (int i = 0; i < 4; ++i)
      keys += static_cast<char>('0' + Random(signals_, 10));
    switch_.PlayDigits(callId, keys + "#");
  } else if (choice == 4 &&
             (switch_.LineAt(call->data.deviceId).Config().mediaModes & LINEMEDIAMODE_G3FAX)) {
    switch_.ChangeMediaMode(callId, LINEMEDIAMODE_G3FAX);
  } else if (choice == 5) {
    // Long enough for a silence monitor of a few seconds to notice.
    switch_.PlaySilence(callId);
    clock_.Schedule(Intervals(signals_, 1, 2), [this, callId] {
      const SimCall* silent = switch_.Find(callId);
      if (silent != nullptr && silent->data.state != LINECALLSTATE_IDLE) {
        switch_.PlaySpeech(callId);
      }
    });
  }
}

}  // namespace tapi32::sim
