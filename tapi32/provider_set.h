// The providers the runtime serves as one: the SIP accounts of the telephony configuration and
// the simulated switch. It only routes; each provider does what it does on its own.
//
// Line devices: the SIP provider's lines come first (IDs 0 to k − 1, as that provider numbers
// them), then the switch's from k on (the switch's line base). The switch is last because only
// it adds devices while the program runs, and a new device takes the next ID. Phones all come
// from the switch. Calls are told apart by their IDs: the SIP provider's lie from
// sip::kFirstCallId up, the switch's below.
//
// The telephony configuration (telephony_config.h) is read on the first initialisation, and
// again after Reload. A file the reader refuses makes the initialisation fail (the runtime then
// answers INIFILECORRUPT and prints the reason once) and is read again by the next one; accounts
// left out are reported on standard error, one line each, every time the file is read.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tapi32/provider.h"
#include "tapi32/sip/account.h"

namespace tapi32 {

namespace sim {
class Switch;
}

class ProviderSet final : public Provider {
 public:
  // Makes the provider of the configured SIP accounts (called only when there are some).
  using SipFactory = std::function<std::unique_ptr<Provider>(std::vector<sip::SipAccount>)>;
  // The SIP accounts are served by sip::SipProvider.
  static std::unique_ptr<Provider> MakeSipProvider(std::vector<sip::SipAccount> accounts);

  ProviderSet(sim::Switch& simSwitch, SipFactory makeSip = MakeSipProvider);
  ~ProviderSet() override;
  ProviderSet(const ProviderSet&) = delete;
  ProviderSet& operator=(const ProviderSet&) = delete;

  // Forgets the configuration and the SIP provider and returns the switch to what it is
  // without a telephony file, unconfigured: the next initialisation reads the file again. Not with
  // the TAPI lock held; applications should have shut down.
  void Reload();

  // The provider that serves a device (nullptr: none does), for code that works with one
  // provider's own devices, such as the switch's configuration dialogs.
  const Provider* LineProvider(DWORD deviceId) const;
  const Provider* PhoneProvider(DWORD deviceId) const;

  bool Prepare(std::string& error) override;
  DWORD NumLines() const override;
  const LineDevice& Line(DWORD deviceId) const override;
  DWORD NumPhones() const override;
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
  std::optional<std::u16string> CallPort(DWORD callId) const override;
  int DuplicateCallPort(DWORD callId) override;
  std::optional<std::vector<uint8_t>> PerformPhoneOp(const PhoneRequest& request) override;
  void Schedule(uint32_t delayMs, std::function<void()> task) override;
  bool CompletesLater(const CallRequest& request) const override;

 private:
  // Reads the telephony file and sets the providers up from it.
  bool Load(std::string& error);
  // The provider of a line device, of a call; the one that serves phones and keeps the clock.
  Provider* ForLine(DWORD deviceId) const;
  Provider* ForCall(DWORD callId) const;
  Provider* ForPhones() const;
  // The switch when it runs.
  Provider* SwitchIfServed() const;

  sim::Switch& switch_;
  SipFactory makeSip_;
  bool loaded_ = false;
  // Until the file is read the switch runs alone, as it does without a file: entry points that
  // need no initialisation (lineGetIconW, the configuration dialogs) find its devices.
  bool serveSwitch_ = true;
  std::unique_ptr<Provider> sip_;
};

}  // namespace tapi32
