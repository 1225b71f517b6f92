#include "tapi32/provider_set.h"

#include <iostream>
#include <mutex>
#include <stdexcept>

#include "tapi32/server.h"
#include "tapi32/sim/switch.h"
#include "tapi32/sip/sip_provider.h"
#include "tapi32/telephony_config.h"

namespace tapi32 {

std::unique_ptr<Provider> ProviderSet::MakeSipProvider(std::vector<sip::SipAccount> accounts) {
  return std::make_unique<sip::SipProvider>(std::move(accounts));
}

ProviderSet::ProviderSet(sim::Switch& simSwitch, SipFactory makeSip)
    : switch_(simSwitch), makeSip_(std::move(makeSip)) {}

ProviderSet::~ProviderSet() = default;

void ProviderSet::Reload() {
  // The switch goes back to what it is without a telephony file.
  switch_.Unconfigure();
  switch_.SetLineBase(0);
  switch_.SetConfigFile({});
  std::unique_ptr<Provider> sip;
  {
    std::lock_guard lock(Server::Instance().Mutex());
    sip = std::move(sip_);
    loaded_ = false;
    serveSwitch_ = true;
  }
  // The SIP provider's own thread takes the TAPI lock: it is ended without the lock held.
  sip.reset();
}

bool ProviderSet::Load(std::string& error) {
  TelephonyConfig config;
  try {
    config = LoadTelephonyConfig(TelephonyFilePath());
  } catch (const TelephonyConfigError& e) {
    error = e.what();
    return false;
  }
  for (const std::string& problem : config.skipped)
    std::cerr << "tapi32: " << problem << "; the account is left out" << std::endl;
  sip_ = config.accounts.empty() ? nullptr : makeSip_(std::move(config.accounts));
  serveSwitch_ = config.simSwitch.has_value();
  switch_.SetConfigFile(serveSwitch_ ? config.simSwitch->file : std::string());
  loaded_ = true;
  return true;
}

bool ProviderSet::Prepare(std::string& error) {
  if (!loaded_ && !Load(error)) return false;
  if (sip_ != nullptr && !sip_->Prepare(error)) return false;
  if (!serveSwitch_) return true;
  try {
    switch_.SetLineBase(sip_ != nullptr ? sip_->NumLines() : 0);
  } catch (const std::logic_error&) {
    error = "the simulated switch was configured before the SIP lines were counted";
    return false;
  }
  return switch_.Prepare(error);
}

Provider* ProviderSet::SwitchIfServed() const {
  return serveSwitch_ ? &switch_ : nullptr;
}

Provider* ProviderSet::ForLine(DWORD deviceId) const {
  if (sip_ != nullptr && deviceId < sip_->NumLines()) return sip_.get();
  return SwitchIfServed();
}

Provider* ProviderSet::ForCall(DWORD callId) const {
  return callId >= sip::kFirstCallId ? sip_.get() : SwitchIfServed();
}

Provider* ProviderSet::ForPhones() const {
  return SwitchIfServed();
}

const Provider* ProviderSet::LineProvider(DWORD deviceId) const {
  std::lock_guard lock(Server::Instance().Mutex());
  return deviceId < NumLines() ? ForLine(deviceId) : nullptr;
}

const Provider* ProviderSet::PhoneProvider(DWORD deviceId) const {
  std::lock_guard lock(Server::Instance().Mutex());
  return deviceId < NumPhones() ? ForPhones() : nullptr;
}

DWORD ProviderSet::NumLines() const {
  return (sip_ != nullptr ? sip_->NumLines() : 0) + (serveSwitch_ ? switch_.NumLines() : 0);
}

const LineDevice& ProviderSet::Line(DWORD deviceId) const {
  Provider* provider = ForLine(deviceId);
  if (provider == nullptr) throw std::out_of_range("no line device " + std::to_string(deviceId));
  return provider->Line(deviceId);
}

DWORD ProviderSet::NumPhones() const {
  const Provider* phones = ForPhones();
  return phones != nullptr ? phones->NumPhones() : 0;
}

const PhoneDevice& ProviderSet::Phone(DWORD deviceId) const {
  Provider* phones = ForPhones();
  if (phones == nullptr) throw std::out_of_range("no phone device " + std::to_string(deviceId));
  return phones->Phone(deviceId);
}

const CallData* ProviderSet::FindCall(DWORD callId) const {
  const Provider* provider = ForCall(callId);
  return provider != nullptr ? provider->FindCall(callId) : nullptr;
}

void ProviderSet::DropCall(DWORD callId) {
  if (Provider* provider = ForCall(callId)) provider->DropCall(callId);
}

void ProviderSet::LastOwnerGone(DWORD callId) {
  if (Provider* provider = ForCall(callId)) provider->LastOwnerGone(callId);
}

void ProviderSet::CallReleased(DWORD callId) {
  if (Provider* provider = ForCall(callId)) provider->CallReleased(callId);
}

// Every request names the line it is made on, and a call is on its provider's line.
LONG ProviderSet::CheckCallOp(const CallRequest& request) const {
  const Provider* provider = ForLine(request.deviceId);
  return provider != nullptr ? provider->CheckCallOp(request) : Err(LINEERR_OPERATIONUNAVAIL);
}

CallFeatureSet ProviderSet::CallFeatures(DWORD callId) const {
  const Provider* provider = ForCall(callId);
  return provider != nullptr ? provider->CallFeatures(callId) : CallFeatureSet{};
}

CallOutcome ProviderSet::PerformCallOp(const CallRequest& request, HLINE requester) {
  Provider* provider = ForLine(request.deviceId);
  return provider != nullptr ? provider->PerformCallOp(request, requester) : CallOutcome{};
}

std::function<void()> ProviderSet::PerformPartialCallOp(const CallRequest& request,
                                                        HLINE requester) {
  Provider* provider = ForLine(request.deviceId);
  return provider != nullptr ? provider->PerformPartialCallOp(request, requester) : nullptr;
}

std::vector<DWORD> ProviderSet::ConferenceOf(DWORD callId) const {
  const Provider* provider = ForCall(callId);
  return provider != nullptr ? provider->ConferenceOf(callId) : std::vector<DWORD>{};
}

std::optional<std::u16string> ProviderSet::CallPort(DWORD callId) const {
  const Provider* provider = ForCall(callId);
  return provider != nullptr ? provider->CallPort(callId) : std::nullopt;
}

int ProviderSet::DuplicateCallPort(DWORD callId) {
  Provider* provider = ForCall(callId);
  return provider != nullptr ? provider->DuplicateCallPort(callId) : -1;
}

std::optional<std::vector<uint8_t>> ProviderSet::PerformPhoneOp(const PhoneRequest& request) {
  Provider* phones = ForPhones();
  return phones != nullptr ? phones->PerformPhoneOp(request) : std::nullopt;
}

// One clock for the runtime's time-outs: the switch's when it runs (tests move it by hand).
void ProviderSet::Schedule(uint32_t delayMs, std::function<void()> task) {
  Provider* clock = serveSwitch_ ? &switch_ : sip_.get();
  if (clock != nullptr) clock->Schedule(delayMs, std::move(task));
}

bool ProviderSet::CompletesLater(const CallRequest& request) const {
  const Provider* provider = ForLine(request.deviceId);
  return provider != nullptr && provider->CompletesLater(request);
}

}  // namespace tapi32
