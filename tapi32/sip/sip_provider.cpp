// Placeholder until the provider lands: it offers no devices.
#include "tapi32/sip/sip_provider.h"

#include <stdexcept>

namespace tapi32::sip {

struct SipProvider::Impl {
  std::vector<SipAccount> accounts;
};

SipProvider::SipProvider(std::vector<SipAccount> accounts) : impl_(std::make_unique<Impl>()) {
  impl_->accounts = std::move(accounts);
}
SipProvider::~SipProvider() = default;
bool SipProvider::Prepare(std::string&) {
  return true;
}
DWORD SipProvider::NumLines() const {
  return 0;
}
const LineDevice& SipProvider::Line(DWORD) const {
  throw std::out_of_range("no SIP line");
}
const PhoneDevice& SipProvider::Phone(DWORD) const {
  throw std::out_of_range("no SIP phone");
}
const CallData* SipProvider::FindCall(DWORD) const {
  return nullptr;
}
void SipProvider::DropCall(DWORD) {}
void SipProvider::LastOwnerGone(DWORD) {}
void SipProvider::CallReleased(DWORD) {}
LONG SipProvider::CheckCallOp(const CallRequest&) const {
  return Err(LINEERR_OPERATIONUNAVAIL);
}
CallFeatureSet SipProvider::CallFeatures(DWORD) const {
  return {};
}
CallOutcome SipProvider::PerformCallOp(const CallRequest&, HLINE) {
  return {};
}
std::function<void()> SipProvider::PerformPartialCallOp(const CallRequest&, HLINE) {
  return {};
}
std::vector<DWORD> SipProvider::ConferenceOf(DWORD) const {
  return {};
}
std::optional<std::vector<uint8_t>> SipProvider::PerformPhoneOp(const PhoneRequest&) {
  return {};
}
void SipProvider::Schedule(uint32_t, std::function<void()>) {}

}  // namespace tapi32::sip
