// The simulated switch's devices. Each line and phone is an object of its own that answers the
// runtime's questions from its configuration. A line also knows which of the switch's calls are
// on it and keeps per-address call counts, so that status queries need not look at the calls.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "tapi32/provider.h"
#include "tapi32/sim/config.h"

namespace tapi32::sim {

class LineDevice final : public tapi32::LineDevice {
 public:
  LineDevice(uint32_t deviceId, LineConfig config);

  uint32_t DeviceId() const { return deviceId_; }
  const LineConfig& Config() const { return config_; }
  void SetConfig(LineConfig config);
  void SetName(std::string name) { config_.name = std::move(name); }
  void MarkRemoved() { removed_ = true; }

  bool Removed() const override { return removed_; }
  VersionRange ApiVersions() const override { return {config_.apiLow, config_.apiHigh}; }
  VersionRange ExtVersions() const override { return {config_.extLow, config_.extHigh}; }
  LINEEXTENSIONID ExtensionId() const override { return config_.extensionId; }
  LineCaps Caps() const override;
  LONG OpenResult(DWORD privileges, DWORD mediaModes) const override;
  AddressCaps AddressCapsOf(DWORD addressId) const override;
  LINEADDRESSSTATUS AddressStatusOf(DWORD addressId) const override;
  LINEDEVSTATUS Status() const override;
  HICON Icon() const override;
  std::vector<DWORD> LiveCalls() const override;

  // A call on the line moves from one state to another (IDLE when it comes or goes).
  void CallMoved(uint32_t callId, uint32_t addressId, uint32_t from, uint32_t to);
  const std::set<uint32_t>& Calls() const { return live_; }
  // The calls that are OFFERING or ACCEPTED, oldest first: what a pickup can take.
  const std::set<uint32_t>& Alerting() const { return alerting_; }
  void SetRingMode(uint32_t ringMode) { ringMode_ = ringMode; }

  // The features an owner of a call in `state` may use on this switch.
  static uint32_t FeaturesFor(uint32_t state);

 private:
  struct Counts {
    uint32_t calls = 0;  // not IDLE
    uint32_t active = 0;
    uint32_t onHold = 0;
    uint32_t onHoldPending = 0;
  };
  void Count(uint32_t addressId, uint32_t state, int delta);

  uint32_t deviceId_;
  LineConfig config_;
  bool removed_ = false;
  std::set<uint32_t> live_;  // call IDs grow, so this is the order the calls came
  std::set<uint32_t> alerting_;
  std::vector<Counts> counts_;
  uint32_t ringMode_ = 0;
};

class PhoneDevice final : public tapi32::PhoneDevice {
 public:
  PhoneDevice(uint32_t deviceId, PhoneConfig config);

  uint32_t DeviceId() const { return deviceId_; }
  const PhoneConfig& Config() const { return config_; }
  void SetConfig(PhoneConfig config);
  void SetName(std::string name) { config_.name = std::move(name); }
  void MarkRemoved() { removed_ = true; }

  bool Removed() const override { return removed_; }
  VersionRange ApiVersions() const override { return {config_.apiLow, config_.apiHigh}; }
  VersionRange ExtVersions() const override { return {config_.extLow, config_.extHigh}; }
  PHONEEXTENSIONID ExtensionId() const override { return config_.extensionId; }
  PhoneCaps Caps() const override;

 private:
  uint32_t deviceId_;
  PhoneConfig config_;
  bool removed_ = false;
};

}  // namespace tapi32::sim
