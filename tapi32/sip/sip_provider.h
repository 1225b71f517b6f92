// The SIP provider: one line device per configured SIP account, with one address (the address
// of record), served by libre on an event loop of its own (loop.h). It maps SIP onto the
// Telephony API's call states, modes and messages; nothing above tapi32 knows it is SIP.
//
// Its call IDs lie from kFirstCallId up, apart from those of the simulated switch, so that both
// can serve one runtime. Its line devices are the runtime's first ones (IDs 0 to accounts − 1).
#pragma once

#include <memory>
#include <vector>

#include "tapi32/provider.h"
#include "tapi32/sip/account.h"

namespace tapi32::sip {

inline constexpr DWORD kFirstCallId = 0x40000000;

class SipProvider final : public Provider {
 public:
  explicit SipProvider(std::vector<SipAccount> accounts);
  ~SipProvider() override;
  SipProvider(const SipProvider&) = delete;
  SipProvider& operator=(const SipProvider&) = delete;

  bool Prepare(std::string& error) override;
  DWORD NumLines() const override;
  const LineDevice& Line(DWORD deviceId) const override;
  DWORD NumPhones() const override { return 0; }
  const PhoneDevice& Phone(DWORD deviceId) const override;
  const CallData* FindCall(DWORD callId) const override;
  void DropCall(DWORD callId) override;
  void LastOwnerGone(DWORD callId) override;
  void CallReleased(DWORD callId) override;
  LONG CheckCallOp(const CallRequest& request) const override;
  CallFeatureSet CallFeatures(DWORD callId) const override;
  CallOutcome PerformCallOp(const CallRequest& request, HLINE requester) override;
  std::function<void()> PerformPartialCallOp(const CallRequest& request, HLINE requester) override;
  std::vector<DWORD> ConferenceOf(DWORD callId) const override;
  std::optional<std::vector<uint8_t>> PerformPhoneOp(const PhoneRequest& request) override;
  void Schedule(uint32_t delayMs, std::function<void()> task) override;
  // A blind transfer succeeds or fails when the far end says so (its NOTIFYs).
  bool CompletesLater(const CallRequest& request) const override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tapi32::sip
