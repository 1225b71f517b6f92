// The simulated switch's phones. Each phone is an object of its own: its parts (hook-switch
// devices, display, ringer, buttons and lamps) come from its configuration, and it keeps what
// they show and do now. Changing a part returns the PHONESTATE_ flags of what changed, so that
// the switch tells the opens exactly that.
//
// Buttons by ID: 0-11 the keypad ("0"-"9", "*", "#"; KEYPAD, no lamp), 12 and 13 call
// appearances ("Line 1", "Line 2"; CALL/CALLAPP with a lamp that can be off, steady, winking or
// flashing), 14 "Hold" and 15 "Transfer" (FEATURE, no lamp), then "F1", "F2" … (FEATURE, a lamp
// that is off or steady). A phone with fewer buttons has the first ones of this list.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tapi32/provider.h"
#include "tapi32/sim/config.h"

namespace tapi32::sim {

// The first button/lamp ID of the call appearances, and how many there are at most.
inline constexpr uint32_t kFirstCallAppearance = 12;
inline constexpr uint32_t kCallAppearances = 2;

// The buttons of a phone with `count` button/lamps.
std::vector<PhoneButton> ButtonLayout(uint32_t count);

// The PHONESTATE_ flags of one hook-switch device's mode, volume and gain.
DWORD HookSwitchState(DWORD device);
DWORD VolumeState(DWORD device);
DWORD GainState(DWORD device);

class PhoneDevice final : public tapi32::PhoneDevice {
 public:
  PhoneDevice(uint32_t deviceId, PhoneConfig config);

  uint32_t DeviceId() const { return deviceId_; }
  const PhoneConfig& Config() const { return config_; }
  // A new configuration keeps what still fits: hook switches, levels and ringer; a display of
  // another size is blank, lamps and buttons of IDs that remain keep their state.
  void SetConfig(PhoneConfig config);
  void SetName(std::string name) { config_.name = std::move(name); }
  void MarkRemoved() { removed_ = true; }
  // The line device whose set the phone is (resolved by the switch from Config().line).
  void SetAttachedLine(std::optional<DWORD> lineId) { line_ = lineId; }

  bool Removed() const override { return removed_; }
  VersionRange ApiVersions() const override { return {config_.apiLow, config_.apiHigh}; }
  VersionRange ExtVersions() const override { return {config_.extLow, config_.extHigh}; }
  PHONEEXTENSIONID ExtensionId() const override { return config_.extensionId; }
  PhoneCaps Caps() const override;
  const PhoneStatus& Status() const override { return status_; }
  HICON Icon() const override;
  std::optional<DWORD> AttachedLine() const override { return line_; }
  std::optional<DWORD> WaveId(bool input) const override {
    return input ? config_.waveIn : config_.waveOut;
  }

  // Whether any hook-switch device is off hook (the phone is in use).
  bool OffHook() const;
  const PhoneButton& Button(uint32_t buttonLampId) const { return buttons_.at(buttonLampId); }
  uint32_t NumButtons() const { return static_cast<uint32_t>(buttons_.size()); }

  // Each returns the PHONESTATE_ flags of what changed (0: nothing did).
  DWORD SetHookSwitch(DWORD devices, DWORD mode);
  DWORD SetLevel(bool volume, DWORD device, DWORD level);
  DWORD SetRing(DWORD ringMode, DWORD volume);
  DWORD SetLamp(uint32_t buttonLampId, DWORD lampMode);
  // Writes text into the display from a row and column on, cut at the display's end.
  DWORD WriteDisplay(uint32_t row, uint32_t column, const std::u16string& text);
  // Shows one text per row (cut to the width), blank rows below.
  DWORD ShowRows(const std::vector<std::u16string>& rows);
  void SetStatusFlags(DWORD flags) { status_.statusFlags = flags; }
  // False when the button already was in that state.
  bool SetButtonState(uint32_t buttonLampId, DWORD state);

 private:
  std::u16string BlankDisplay() const;

  uint32_t deviceId_;
  PhoneConfig config_;
  bool removed_ = false;
  std::optional<DWORD> line_;
  std::vector<PhoneButton> buttons_;
  PhoneStatus status_;
};

}  // namespace tapi32::sim
