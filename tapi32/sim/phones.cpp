#include "tapi32/sim/phones.h"

#include <algorithm>
#include <utility>

#include "platform/module.h"
#include "tapi32/sim/devices.h"

namespace tapi32::sim {

namespace {

constexpr HICON kGenericPhoneIcon = 0x7A760200;
constexpr DWORD kAllHookSwitchDevs = 0x7;
constexpr DWORD kHookModes = 0xF;  // ONHOOK, MIC, SPEAKER, MICSPEAKER
constexpr DWORD kAppearanceLamps =
    PHONELAMPMODE_OFF | PHONELAMPMODE_STEADY | PHONELAMPMODE_WINK | PHONELAMPMODE_FLASH;

// The PHONEFEATURE_ flags of getting and setting something on each hook-switch device.
struct DeviceFeatures {
  DWORD device, getHook, setHook, getVolume, setVolume, getGain, setGain;
};
constexpr DeviceFeatures kDeviceFeatures[] = {
    {PHONEHOOKSWITCHDEV_HANDSET, PHONEFEATURE_GETHOOKSWITCHHANDSET,
     PHONEFEATURE_SETHOOKSWITCHHANDSET, PHONEFEATURE_GETVOLUMEHANDSET,
     PHONEFEATURE_SETVOLUMEHANDSET, PHONEFEATURE_GETGAINHANDSET, PHONEFEATURE_SETGAINHANDSET},
    {PHONEHOOKSWITCHDEV_SPEAKER, PHONEFEATURE_GETHOOKSWITCHSPEAKER,
     PHONEFEATURE_SETHOOKSWITCHSPEAKER, PHONEFEATURE_GETVOLUMESPEAKER,
     PHONEFEATURE_SETVOLUMESPEAKER, PHONEFEATURE_GETGAINSPEAKER, PHONEFEATURE_SETGAINSPEAKER},
    {PHONEHOOKSWITCHDEV_HEADSET, PHONEFEATURE_GETHOOKSWITCHHEADSET,
     PHONEFEATURE_SETHOOKSWITCHHEADSET, PHONEFEATURE_GETVOLUMEHEADSET,
     PHONEFEATURE_SETVOLUMEHEADSET, PHONEFEATURE_GETGAINHEADSET, PHONEFEATURE_SETGAINHEADSET},
};

bool HasLamp(const PhoneButton& button) {
  return (button.lampModes & ~(PHONELAMPMODE_DUMMY | PHONELAMPMODE_UNKNOWN)) != 0;
}

}  // namespace

std::vector<PhoneButton> ButtonLayout(uint32_t count) {
  static constexpr char16_t kKeys[] = u"0123456789*#";
  std::vector<PhoneButton> buttons;
  buttons.reserve(count);
  for (uint32_t id = 0; id < count; ++id) {
    PhoneButton button;
    if (id < kFirstCallAppearance) {
      button.mode = PHONEBUTTONMODE_KEYPAD;
      button.text = std::u16string(1, kKeys[id]);
    } else if (id < kFirstCallAppearance + kCallAppearances) {
      button.mode = PHONEBUTTONMODE_CALL;
      button.function = PHONEBUTTONFUNCTION_CALLAPP;
      button.text = u"Line " + platform::Utf8ToWide(std::to_string(id - kFirstCallAppearance + 1));
      button.lampModes = kAppearanceLamps;
    } else if (id == kFirstCallAppearance + kCallAppearances) {
      button.mode = PHONEBUTTONMODE_FEATURE;
      button.function = PHONEBUTTONFUNCTION_HOLD;
      button.text = u"Hold";
    } else if (id == kFirstCallAppearance + kCallAppearances + 1) {
      button.mode = PHONEBUTTONMODE_FEATURE;
      button.function = PHONEBUTTONFUNCTION_TRANSFER;
      button.text = u"Transfer";
    } else {
      button.mode = PHONEBUTTONMODE_FEATURE;
      button.text = u"F" + platform::Utf8ToWide(std::to_string(id - 15));
      button.lampModes = PHONELAMPMODE_OFF | PHONELAMPMODE_STEADY;
    }
    buttons.push_back(std::move(button));
  }
  return buttons;
}

DWORD HookSwitchState(DWORD device) {
  return device == PHONEHOOKSWITCHDEV_HANDSET   ? PHONESTATE_HANDSETHOOKSWITCH
         : device == PHONEHOOKSWITCHDEV_SPEAKER ? PHONESTATE_SPEAKERHOOKSWITCH
                                                : PHONESTATE_HEADSETHOOKSWITCH;
}

DWORD VolumeState(DWORD device) {
  return device == PHONEHOOKSWITCHDEV_HANDSET   ? PHONESTATE_HANDSETVOLUME
         : device == PHONEHOOKSWITCHDEV_SPEAKER ? PHONESTATE_SPEAKERVOLUME
                                                : PHONESTATE_HEADSETVOLUME;
}

DWORD GainState(DWORD device) {
  return device == PHONEHOOKSWITCHDEV_HANDSET   ? PHONESTATE_HANDSETGAIN
         : device == PHONEHOOKSWITCHDEV_SPEAKER ? PHONESTATE_SPEAKERGAIN
                                                : PHONESTATE_HEADSETGAIN;
}

PhoneDevice::PhoneDevice(uint32_t deviceId, PhoneConfig config) : deviceId_(deviceId) {
  SetConfig(std::move(config));
}

void PhoneDevice::SetConfig(PhoneConfig config) {
  config.permanentId = PermanentId(config.permanentId, 2, deviceId_);
  const bool resized = config.displayRows != config_.displayRows ||
                       config.displayColumns != config_.displayColumns || status_.display.empty();
  config_ = std::move(config);
  buttons_ = ButtonLayout(config_.numButtonLamps);
  if (resized) status_.display = BlankDisplay();
  status_.lampModes.resize(buttons_.size(), PHONELAMPMODE_OFF);
  status_.buttonStates.resize(buttons_.size(), PHONEBUTTONSTATE_UP);
  for (size_t id = 0; id < buttons_.size(); ++id) {
    if (!HasLamp(buttons_[id]))
      status_.lampModes[id] = PHONELAMPMODE_DUMMY;
    else if (status_.lampModes[id] == PHONELAMPMODE_DUMMY)
      status_.lampModes[id] = PHONELAMPMODE_OFF;
  }
  if (status_.ringMode > config_.numRingModes) status_.ringMode = 0;
}

std::u16string PhoneDevice::BlankDisplay() const {
  return std::u16string(static_cast<size_t>(config_.displayRows) * config_.displayColumns, u' ');
}

PhoneCaps PhoneDevice::Caps() const {
  PhoneCaps caps;
  PHONECAPS& f = caps.fixed;
  const DWORD devices = config_.hookSwitchDevs & kAllHookSwitchDevs;
  const bool display = config_.displayRows != 0 && config_.displayColumns != 0;
  const bool lamps = std::any_of(buttons_.begin(), buttons_.end(), HasLamp);
  f.dwPermanentPhoneID = config_.permanentId;
  f.dwStringFormat = STRINGFORMAT_UNICODE;
  f.dwHookSwitchDevs = devices;
  auto modes = [&](DWORD device, DWORD configured) {
    return (devices & device) ? (configured & kHookModes) : 0;
  };
  f.dwHandsetHookSwitchModes = f.dwSettableHandsetHookSwitchModes =
      f.dwMonitoredHandsetHookSwitchModes = modes(PHONEHOOKSWITCHDEV_HANDSET, config_.handsetModes);
  f.dwSpeakerHookSwitchModes = f.dwSettableSpeakerHookSwitchModes =
      f.dwMonitoredSpeakerHookSwitchModes = modes(PHONEHOOKSWITCHDEV_SPEAKER, config_.speakerModes);
  f.dwHeadsetHookSwitchModes = f.dwSettableHeadsetHookSwitchModes =
      f.dwMonitoredHeadsetHookSwitchModes = modes(PHONEHOOKSWITCHDEV_HEADSET, config_.headsetModes);
  f.dwVolumeFlags = config_.volumeDevs & devices;
  f.dwGainFlags = config_.gainDevs & devices;
  f.dwDisplayNumRows = display ? config_.displayRows : 0;
  f.dwDisplayNumColumns = display ? config_.displayColumns : 0;
  f.dwNumRingModes = config_.numRingModes;
  f.dwNumButtonLamps = NumButtons();

  // What the phone can report and do follows from its parts.
  DWORD states = PHONESTATE_OTHER | PHONESTATE_CONNECTED | PHONESTATE_DISCONNECTED |
                 PHONESTATE_OWNER | PHONESTATE_MONITORS | PHONESTATE_SUSPEND | PHONESTATE_RESUME |
                 PHONESTATE_REINIT | PHONESTATE_CAPSCHANGE | PHONESTATE_REMOVED;
  DWORD features = 0;
  if (display) {
    states |= PHONESTATE_DISPLAY;
    features |= PHONEFEATURE_GETDISPLAY | PHONEFEATURE_SETDISPLAY;
  }
  if (config_.numRingModes != 0) {
    states |= PHONESTATE_RINGMODE | PHONESTATE_RINGVOLUME;
    features |= PHONEFEATURE_GETRING | PHONEFEATURE_SETRING;
  }
  if (!buttons_.empty()) features |= PHONEFEATURE_GETBUTTONINFO | PHONEFEATURE_GETLAMP;
  if (lamps) {
    states |= PHONESTATE_LAMP;
    features |= PHONEFEATURE_SETLAMP;
  }
  for (const DeviceFeatures& each : kDeviceFeatures) {
    if ((devices & each.device) == 0) continue;
    states |= HookSwitchState(each.device);
    features |= each.getHook;
    if (modes(each.device, kHookModes) != 0) features |= each.setHook;
    if (f.dwVolumeFlags & each.device) {
      states |= VolumeState(each.device);
      features |= each.getVolume | each.setVolume;
    }
    if (f.dwGainFlags & each.device) {
      states |= GainState(each.device);
      features |= each.getGain | each.setGain;
    }
  }
  f.dwPhoneStates = config_.phoneStates & states;
  f.dwPhoneFeatures = features;
  f.PermanentPhoneGuid = GuidFor(2, config_.permanentId);
  caps.providerInfo = platform::Utf8ToWide(config_.providerInfo);
  caps.phoneInfo = platform::Utf8ToWide(config_.phoneInfo);
  caps.phoneName = platform::Utf8ToWide(config_.name);
  caps.deviceClasses = WideList(config_.deviceClasses);
  caps.buttons = buttons_;
  return caps;
}

HICON PhoneDevice::Icon() const {
  return config_.icon != 0 ? config_.icon : kGenericPhoneIcon;
}

bool PhoneDevice::OffHook() const {
  return std::any_of(std::begin(status_.hookSwitchModes), std::end(status_.hookSwitchModes),
                     [](DWORD mode) { return mode != PHONEHOOKSWITCHMODE_ONHOOK; });
}

DWORD PhoneDevice::SetHookSwitch(DWORD devices, DWORD mode) {
  DWORD changed = 0;
  for (DWORD each : kHookSwitchDevices) {
    DWORD& current = status_.hookSwitchModes[HookSwitchIndex(each)];
    if ((devices & each) == 0 || current == mode) continue;
    current = mode;
    changed |= HookSwitchState(each);
  }
  return changed;
}

DWORD PhoneDevice::SetLevel(bool volume, DWORD device, DWORD level) {
  DWORD& current = (volume ? status_.volumes : status_.gains)[HookSwitchIndex(device)];
  if (current == level) return 0;
  current = level;
  return volume ? VolumeState(device) : GainState(device);
}

DWORD PhoneDevice::SetRing(DWORD ringMode, DWORD volume) {
  DWORD changed = 0;
  if (status_.ringMode != ringMode) changed |= PHONESTATE_RINGMODE;
  if (status_.ringVolume != volume) changed |= PHONESTATE_RINGVOLUME;
  status_.ringMode = ringMode;
  status_.ringVolume = volume;
  return changed;
}

DWORD PhoneDevice::SetLamp(uint32_t buttonLampId, DWORD lampMode) {
  DWORD& current = status_.lampModes.at(buttonLampId);
  if (current == lampMode || !HasLamp(buttons_.at(buttonLampId))) return 0;
  current = lampMode;
  return PHONESTATE_LAMP;
}

DWORD PhoneDevice::WriteDisplay(uint32_t row, uint32_t column, const std::u16string& text) {
  const size_t start = static_cast<size_t>(row) * config_.displayColumns + column;
  if (start >= status_.display.size()) return 0;
  const std::u16string before = status_.display;
  const size_t count = std::min(text.size(), status_.display.size() - start);
  std::copy_n(text.begin(), count, status_.display.begin() + static_cast<ptrdiff_t>(start));
  return status_.display != before ? PHONESTATE_DISPLAY : 0;
}

DWORD PhoneDevice::ShowRows(const std::vector<std::u16string>& rows) {
  std::u16string shown = BlankDisplay();
  for (size_t row = 0; row < rows.size() && row < config_.displayRows; ++row) {
    const size_t count = std::min<size_t>(rows[row].size(), config_.displayColumns);
    std::copy_n(rows[row].begin(), count,
                shown.begin() + static_cast<ptrdiff_t>(row * config_.displayColumns));
  }
  if (shown == status_.display) return 0;
  status_.display = std::move(shown);
  return PHONESTATE_DISPLAY;
}

bool PhoneDevice::SetButtonState(uint32_t buttonLampId, DWORD state) {
  DWORD& current = status_.buttonStates.at(buttonLampId);
  if (current == state) return false;
  current = state;
  return true;
}

}  // namespace tapi32::sim
