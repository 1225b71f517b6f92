// The simulated switch's lines (phones: phones.h). Each line is an object of its own that answers
// the runtime's questions from its configuration. A line also knows which of the switch's calls are
// on it and keeps per-address call counts, so that status queries and the checks of its limits
// need not look at the calls; it tells the switch what its opens are to hear when they change.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <set>
#include <span>
#include <utility>
#include <vector>

#include "tapi32/provider.h"
#include "tapi32/sim/config.h"
#include "tapi32/sim/forwarding.h"

namespace tapi32::sim {

// Shared by the switch's devices. Devices without a configured permanent ID get one from the
// switch's provider number (1 for lines, 2 for phones) and their device ID.
uint32_t PermanentId(uint32_t configured, uint32_t provider, uint32_t deviceId);
GUID GuidFor(uint32_t kind, uint32_t permanentId);
std::vector<std::u16string> WideList(const std::vector<std::string>& items);

// A move an operation would make to one of a line's calls; IDLE stands for a call that comes
// or goes.
struct CallMove {
  uint32_t addressId = 0;
  uint32_t from = LINECALLSTATE_IDLE;
  uint32_t to = LINECALLSTATE_IDLE;
};

// What the opens of a line are to hear after the calls or completions of an address changed.
struct LineNews {
  DWORD lineStates = 0;     // one LINE_LINEDEVSTATE, 0: none
  DWORD addressStates = 0;  // one LINE_ADDRESSSTATE for the address, 0: none
  // Other addresses of the line whose available features changed: LINEADDRESSSTATE_OTHER.
  std::vector<DWORD> otherAddresses;
  bool startsRinging = false;  // the first ring of a ringing period is due
};

class LineDevice final : public tapi32::LineDevice {
 public:
  // What the switch offers every line, whatever its configuration.
  static constexpr uint32_t kCompletionModes =
      LINECALLCOMPLMODE_CAMPON | LINECALLCOMPLMODE_CALLBACK | LINECALLCOMPLMODE_INTRUDE;
  static constexpr uint32_t kMaxCallCompletions = 4;  // per address
  static constexpr uint32_t kMaxCallDataSize = 4096;
  static constexpr uint32_t kMaxNoAnswerTimeout = 600;  // seconds

  LineDevice(uint32_t deviceId, LineConfig config);

  uint32_t DeviceId() const { return deviceId_; }
  const LineConfig& Config() const { return config_; }
  void SetConfig(LineConfig config);
  void SetName(std::string name) { config_.name = std::move(name); }
  void SetModemScript(std::vector<ModemStep> script) { config_.modemScript = std::move(script); }
  void MarkRemoved() { removed_ = true; }

  bool Removed() const override { return removed_; }
  VersionRange ApiVersions() const override { return {config_.apiLow, config_.apiHigh}; }
  VersionRange ExtVersions() const override { return {config_.extLow, config_.extHigh}; }
  LINEEXTENSIONID ExtensionId() const override { return config_.extensionId; }
  LineCaps Caps() const override;
  LONG OpenResult(DWORD privileges, DWORD mediaModes) const override;
  AddressCaps AddressCapsOf(DWORD addressId) const override;
  LINEADDRESSSTATUS AddressStatusOf(DWORD addressId) const override;
  std::vector<ForwardEntry> ForwardingOf(DWORD addressId) const override;
  LINEDEVSTATUS Status() const override;
  HICON Icon() const override;
  std::vector<DWORD> LiveCalls() const override;
  std::optional<DWORD> WaveId(bool input) const override {
    return input ? config_.waveIn : config_.waveOut;
  }
  // The switch's ports carry the name of their line, as a modem's port is named after it.
  std::u16string PortName() const override;

  // A call on the line moves from one state to another (IDLE when it comes or goes); `mode` is
  // the new state's mode. Returns what the opens of the line are to hear about it.
  LineNews CallMoved(uint32_t callId, uint32_t addressId, uint32_t from, uint32_t to,
                     uint32_t mode);
  // User-user information as a call of the line keeps it: the first dwUUICallInfoSize bytes.
  std::vector<uint8_t> KeptUserUserInfo(std::vector<uint8_t> info) const;
  // A call completion was requested (+1) or ended (-1) on an address.
  LineNews CompletionsChanged(uint32_t addressId, int delta);
  uint32_t CompletionsOn(uint32_t addressId) const;

  const std::set<uint32_t>& Calls() const { return live_; }
  // The calls that are OFFERING or ACCEPTED, oldest first: what a pickup can take.
  const std::set<uint32_t>& Alerting() const { return alerting_; }

  // Whether the line stays within its limits of active, held and pending calls after the
  // moves. Moves that free the line always fit.
  bool Fits(std::span<const CallMove> moves) const;
  bool Fits(std::initializer_list<CallMove> moves) const {
    return Fits(std::span(moves.begin(), moves.size()));
  }
  // Calls in these states take up the station, and dwMaxNumActiveCalls limits them.
  static bool Engages(uint32_t state);
  uint32_t EngagedCalls() const { return engaged_; }

  // What the configuration allows at all: conferences set up with lineSetupConference, and
  // the lineCompleteTransfer modes.
  bool Conferences() const;
  uint32_t TransferModes() const;
  // The digit modes lineGatherDigitsW takes on this line; 0 when it gathers none.
  uint32_t GatherDigitModes() const;

  // Call forwarding of an address: the entries in force (replaced as a whole) and the rings
  // before a call counts as unanswered (kept within the line's range).
  void SetForwarding(uint32_t addressId, std::vector<ForwardEntry> entries, uint32_t rings);
  uint32_t ForwardRings(uint32_t addressId) const;
  // The entry that forwards a call from outside arriving on (or ringing at) the address now.
  const ForwardEntry* ForwardFor(uint32_t addressId, ForwardWhen when,
                                 std::u16string_view callerNumber, uint32_t origin) const;
  // The station has no room for one more call to talk on: calls to it find it busy.
  bool Busy(uint32_t addressId) const;
  // lineForwardW is possible: the line forwards, and has room for a consultation call where it
  // opens one.
  bool CanForward(uint32_t addressId) const;

  // The line rings while a call alerts at it; each ringing period counts its rings from 0.
  bool Ringing() const { return !ringing_.empty(); }
  uint32_t RingPeriod() const { return ringPeriod_; }
  uint32_t RingMode() const { return ringMode_; }
  uint32_t NextRingCount() { return ringCount_++; }
  void SetRingMode(uint32_t ringMode) { ringMode_ = ringMode; }
  // The line's connection and service reported by LINEDEVSTATE_ messages: the matching
  // LINEDEVSTATUSFLAGS_ follow them.
  void StateReported(uint32_t lineState);

 private:
  struct Counts {
    uint32_t calls = 0;   // not IDLE
    uint32_t active = 0;  // neither IDLE nor held, as LINEADDRESSSTATUS counts them
    uint32_t onHold = 0;
    uint32_t onHoldPending = 0;
    uint32_t completions = 0;
    uint32_t features = 0;  // the available features the opens last heard of
  };
  // Where the counts of an address are kept: calls on addresses that no longer exist count on
  // the last one.
  size_t Slot(uint32_t addressId) const;
  void Count(uint32_t addressId, uint32_t state, int delta);
  // Whether a call makes the line ring; true when a ringing period starts.
  bool SetRinging(uint32_t callId, bool rings);
  uint32_t AvailableLineFeatures() const;
  uint32_t AvailableAddressFeatures(uint32_t addressId) const;
  // Notes the features available now as what the opens know.
  void RememberFeatures();
  // News about what changed on the address since its counts were `before`, and about the
  // features that changed since the opens last heard.
  LineNews News(uint32_t addressId, const Counts& before);
  uint32_t OfferedCallFeatures() const;
  uint32_t OfferedCallFeatures2() const;
  uint32_t OfferedAddrCapFlags() const;
  uint32_t OfferedAddressFeatures() const;

  uint32_t deviceId_;
  LineConfig config_;
  bool removed_ = false;
  std::set<uint32_t> live_;  // call IDs grow, so this is the order the calls came
  std::set<uint32_t> alerting_;
  std::set<uint32_t> ringing_;
  std::vector<Counts> counts_;
  struct Forwarding {
    std::vector<ForwardEntry> entries;
    uint32_t rings = 0;
  };
  std::vector<Forwarding> forwarding_;  // by address
  uint32_t engaged_ = 0;                // on all addresses
  uint32_t lineFeatures_ = 0;           // the available line features the opens last heard of
  uint32_t ringMode_ = 0;
  uint32_t ringCount_ = 0;
  uint32_t ringPeriod_ = 0;
  uint32_t devStatusFlags_ = LINEDEVSTATUSFLAGS_CONNECTED | LINEDEVSTATUSFLAGS_INSERVICE;
};

}  // namespace tapi32::sim
