// The simulated switch's devices. Each line and phone is an object of its own that answers the
// runtime's questions from its configuration; calls, addresses and opens will hang off these
// classes.
#pragma once

#include <cstdint>

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

 private:
  uint32_t deviceId_;
  LineConfig config_;
  bool removed_ = false;
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
