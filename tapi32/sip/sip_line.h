// The line device of one SIP account: one address (the address of record), capabilities that list
// exactly what the SIP provider does with a call, and the line's service state, which follows the
// account's registration. Read and changed only under the runtime's lock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tapi32/provider.h"
#include "tapi32/sip/account.h"

namespace tapi32::sip {

// The call states a SIP call goes through, the disconnect modes the provider reports, and the
// features of its calls. CheckCallOp and the capabilities both use these.
inline constexpr DWORD kSipCallStates =
    LINECALLSTATE_IDLE | LINECALLSTATE_OFFERING | LINECALLSTATE_ACCEPTED | LINECALLSTATE_DIALTONE |
    LINECALLSTATE_DIALING | LINECALLSTATE_PROCEEDING | LINECALLSTATE_RINGBACK | LINECALLSTATE_BUSY |
    LINECALLSTATE_CONNECTED | LINECALLSTATE_ONHOLD | LINECALLSTATE_DISCONNECTED;
inline constexpr DWORD kSipDisconnectModes =
    LINEDISCONNECTMODE_NORMAL | LINEDISCONNECTMODE_FORWARDED | LINEDISCONNECTMODE_REJECT |
    LINEDISCONNECTMODE_NOANSWER | LINEDISCONNECTMODE_BADADDRESS | LINEDISCONNECTMODE_UNREACHABLE |
    LINEDISCONNECTMODE_CONGESTION | LINEDISCONNECTMODE_INCOMPATIBLE | LINEDISCONNECTMODE_UNAVAIL |
    LINEDISCONNECTMODE_CANCELLED;
inline constexpr DWORD kSipCallFeatures =
    LINECALLFEATURE_ACCEPT | LINECALLFEATURE_ANSWER | LINECALLFEATURE_DROP | LINECALLFEATURE_DIAL |
    LINECALLFEATURE_REDIRECT | LINECALLFEATURE_BLINDTRANSFER | LINECALLFEATURE_HOLD |
    LINECALLFEATURE_UNHOLD | LINECALLFEATURE_GENERATEDIGITS | LINECALLFEATURE_MONITORDIGITS |
    LINECALLFEATURE_GATHERDIGITS;
// The time-outs lineGatherDigitsW takes, in milliseconds (0 also: none).
inline constexpr DWORD kSipGatherMinTimeoutMs = 100;
inline constexpr DWORD kSipGatherMaxTimeoutMs = 600'000;
inline constexpr DWORD kSipForwardModes =
    LINEFORWARDMODE_UNCOND | LINEFORWARDMODE_BUSY | LINEFORWARDMODE_NOANSW;
inline constexpr DWORD kSipMaxForwardEntries = 3;
// A ring, for counting the rings before no-answer forwarding: SIP has no rings of its own.
inline constexpr uint32_t kSipRingMs = 5000;
inline constexpr DWORD kSipMinFwdRings = 1;
inline constexpr DWORD kSipMaxFwdRings = 12;

class SipLine final : public LineDevice {
 public:
  SipLine(DWORD deviceId, SipAccount account);

  const SipAccount& Account() const { return account_; }
  DWORD DeviceId() const { return deviceId_; }

  // Whether the line can take calls now (registered, or listening when it does not register).
  bool InService() const { return inService_; }
  void SetInService(bool inService) { inService_ = inService; }

  // The calls on the line that are not IDLE, kept by the provider as they come and go, and how
  // many of them are held by us.
  void CallCame(DWORD callId) { live_.push_back(callId); }
  void CallGone(DWORD callId);
  DWORD HeldCount() const { return held_; }
  void SetHeldCount(DWORD held) { held_ = held; }

  void SetForwarding(std::vector<ForwardEntry> entries, DWORD rings);
  const std::vector<ForwardEntry>& Forwarding() const { return forwarding_; }
  DWORD ForwardRings() const { return forwardRings_; }

  // LineDevice
  bool Removed() const override { return false; }
  VersionRange ApiVersions() const override;
  VersionRange ExtVersions() const override { return {}; }
  LINEEXTENSIONID ExtensionId() const override { return {}; }
  LineCaps Caps() const override;
  LONG OpenResult(DWORD privileges, DWORD mediaModes) const override;
  AddressCaps AddressCapsOf(DWORD addressId) const override;
  LINEADDRESSSTATUS AddressStatusOf(DWORD addressId) const override;
  std::vector<ForwardEntry> ForwardingOf(DWORD addressId) const override;
  LINEDEVSTATUS Status() const override;
  HICON Icon() const override;
  std::vector<DWORD> LiveCalls() const override { return live_; }
  std::optional<DWORD> WaveId(bool input) const override;

 private:
  DWORD deviceId_;
  SipAccount account_;
  bool inService_ = false;
  std::vector<DWORD> live_;
  DWORD held_ = 0;
  std::vector<ForwardEntry> forwarding_;
  DWORD forwardRings_ = 0;
};

}  // namespace tapi32::sip
