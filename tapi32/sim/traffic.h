// The demo traffic of the simulated switch: invented callers ringing its voice lines, answered
// by a simulated colleague or given up, held for a while, ended; now and then a busy outgoing
// call; for part of the time one voice line forwarded to another. It runs as events on the
// switch's clock thread (TAPI lock held) and draws every choice from its seed. Some callers, once
// connected, type a number on their keypad, turn out to be a fax machine or fall silent for a
// while. What the user sees is described in switch.h.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "tapi32/sim/clock.h"
#include "tapi32/sim/config.h"
#include "tapi32/sim/switch.h"

namespace tapi32::sim {

class Switch::Traffic {
 public:
  Traffic(Switch& owner, Clock& clock, const TrafficConfig& config);
  // Plans the first call.
  void Start();
  uint32_t CallsMade() const { return callsMade_; }

 private:
  // Where a call of the traffic is in its life, as the colleague sees it.
  enum class Phase : uint8_t {
    Ringing,       // waiting to be answered (by the colleague, or by the user)
    GivingUp,      // the caller will hang up unless someone answered
    Talking,       // connected; it may still be held once
    Held,          // the colleague holds it and will take it back
    Ending,        // the far end has hung up; the line is cleared if nobody drops it
    BusyOutgoing,  // the colleague's own call that finds the number busy
  };
  struct Plan {
    Phase phase = Phase::Ringing;
    bool heldOnce = false;
  };

  // The times of arrival, the calls themselves (line, caller, what will happen) and their later
  // course draw from separate streams, so that the sequence of callers depends neither on how
  // the calls went nor on arrivals that found no line to ring.
  static uint32_t Random(uint64_t& stream, uint32_t bound);
  // A delay of `from` to `to` intervals.
  uint32_t Intervals(uint64_t& stream, uint32_t from, uint32_t to);
  void After(uint32_t delayMs, uint32_t callId);
  void Arrive();
  void Offer(uint32_t lineId);
  void DialOut(uint32_t lineId);
  void Follow(uint32_t callId);
  // A connected caller may do something the line hears a little later: keys, a fax tone, silence.
  void PlanSignal(uint32_t callId);
  void Signal(uint32_t callId);
  // For part of the time a colleague forwards one voice line to another: the last voice line
  // with a number sends its calls unconditionally to the first one. Switches the forwarding on
  // or off and plans the next switch.
  void Reforward(bool on);

  Switch& switch_;
  Clock& clock_;
  TrafficConfig config_;
  uint64_t timing_;
  uint64_t arrivals_;
  uint64_t course_;
  uint64_t signals_;  // its own stream, so that the calls' course stays what it was without it
  uint32_t callsMade_ = 0;
  std::unordered_map<uint32_t, Plan> plans_;
};

}  // namespace tapi32::sim
