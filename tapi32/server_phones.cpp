// The runtime's phone opens: phoneOpen / phoneClose with owner and monitor privileges, status
// messages filtered by each open's masks, the phone's status and button information, the
// asynchronous set requests (PHONE_REPLY, then the effect), and the phone-wide notifications of
// the provider.
#include <algorithm>
#include <bit>
#include <cstring>

#include "tapi32/device_class.h"
#include "tapi32/server.h"
#include "tapi32/var_struct.h"

namespace tapi32 {

namespace {

constexpr DWORD kAllButtonModes = 0x3F;    // PHONEBUTTONMODE_DUMMY .. DISPLAY
constexpr DWORD kAllButtonStates = 0xF;    // PHONEBUTTONSTATE_UP .. UNAVAIL
constexpr DWORD kSettableHookModes = 0xF;  // ONHOOK, MIC, SPEAKER, MICSPEAKER (not UNKNOWN)
constexpr DWORD kHighestLevel = 0xFFFF;    // volumes and gains run from 0 to 0xFFFF

// PHONESTATUS and PHONEBUTTONINFO as each API version defines them: 2.0 appended a field.
DWORD PhoneStatusFixedSize(DWORD apiVersion) {
  return apiVersion < 0x00020000 ? offsetof(PHONESTATUS, dwPhoneFeatures) : sizeof(PHONESTATUS);
}

DWORD ButtonInfoFixedSize(DWORD apiVersion) {
  return apiVersion < 0x00020000 ? offsetof(PHONEBUTTONINFO, dwButtonState)
                                 : sizeof(PHONEBUTTONINFO);
}

// The modes an application may set on one hook-switch device.
DWORD SettableModes(const PHONECAPS& caps, DWORD device) {
  switch (device) {
    case PHONEHOOKSWITCHDEV_HANDSET:
      return caps.dwSettableHandsetHookSwitchModes;
    case PHONEHOOKSWITCHDEV_SPEAKER:
      return caps.dwSettableSpeakerHookSwitchModes;
    default:
      return caps.dwSettableHeadsetHookSwitchModes;
  }
}

}  // namespace

// --- opens -------------------------------------------------------------------------------------

Server::PhoneOpenEntry* Server::UsablePhone(HPHONE handle, bool owner, LONG* error) {
  auto it = phoneOpens_.find(handle);
  if (it == phoneOpens_.end()) {
    *error = Err(PHONEERR_INVALPHONEHANDLE);
    return nullptr;
  }
  if (owner && it->second->privilege != PHONEPRIVILEGE_OWNER) {
    *error = Err(PHONEERR_NOTOWNER);
    return nullptr;
  }
  return it->second.get();
}

void Server::PostToPhoneOpen(PhoneOpenEntry& open, DWORD message, DWORD p1, DWORD p2, DWORD p3) {
  Post(*open.app, PHONEMESSAGE{open.handle, message, open.callbackInstance, p1, p2, p3});
}

std::vector<HPHONE> Server::PhoneOpensOf(DWORD deviceId) const {
  std::lock_guard lock(mutex_);
  std::vector<HPHONE> out;
  auto it = phoneOpensByDevice_.find(deviceId);
  if (it != phoneOpensByDevice_.end()) {
    for (const PhoneOpenEntry* open : it->second)
      out.push_back(open->handle);
  }
  return out;
}

LONG Server::PhoneOpen(HPHONEAPP app, DWORD deviceId, LPHPHONE phone, DWORD apiVersion,
                       DWORD extVersion, DWORD callbackInstance, DWORD privilege) {
  if (phone == nullptr) return Err(PHONEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  PhoneApp* entry = FindPhone(app);
  if (entry == nullptr) return Err(PHONEERR_INVALAPPHANDLE);
  if (const LONG error = CheckPhoneDevice(deviceId)) return error;
  const PhoneDevice& device = provider_->Phone(deviceId);
  // As for lines: a version both TAPI and the device support, negotiated or not.
  const bool usableVersion = entry->negotiated.Has(deviceId, apiVersion) ||
                             (apiVersion >= kLowestApiVersion && apiVersion <= kHighestApiVersion &&
                              device.ApiVersions().Contains(apiVersion));
  if (!usableVersion) return Err(PHONEERR_INCOMPATIBLEAPIVERSION);
  if (extVersion != 0 && !device.ExtVersions().Contains(extVersion)) {
    return Err(PHONEERR_INCOMPATIBLEEXTVERSION);
  }
  if (privilege != PHONEPRIVILEGE_OWNER && privilege != PHONEPRIVILEGE_MONITOR) {
    return Err(PHONEERR_INVALPRIVILEGE);
  }
  auto& siblings = phoneOpensByDevice_[deviceId];
  // One owner at a time: a phone cannot obey two programs writing its display and lamps.
  if (privilege == PHONEPRIVILEGE_OWNER &&
      std::any_of(siblings.begin(), siblings.end(), [](const PhoneOpenEntry* other) {
        return other->privilege == PHONEPRIVILEGE_OWNER;
      })) {
    if (siblings.empty()) phoneOpensByDevice_.erase(deviceId);
    return Err(PHONEERR_INUSE);
  }

  auto created = std::make_unique<PhoneOpenEntry>();
  PhoneOpenEntry& open = *created;
  open.handle = NewHandle();
  open.app = entry;
  open.deviceId = deviceId;
  open.callbackInstance = callbackInstance;
  open.privilege = privilege;
  open.apiVersion = apiVersion;
  open.extVersion = extVersion;
  phoneOpens_.emplace(open.handle, std::move(created));
  siblings.push_back(&open);
  entry->opens.insert(open.handle);
  PhoneOpensChanged(deviceId, privilege, &open);
  *phone = open.handle;
  return 0;
}

void Server::PhoneOpensChanged(DWORD deviceId, DWORD privilege, const PhoneOpenEntry* except) {
  auto it = phoneOpensByDevice_.find(deviceId);
  if (it == phoneOpensByDevice_.end()) return;
  const auto count = static_cast<DWORD>(
      std::count_if(it->second.begin(), it->second.end(),
                    [&](const PhoneOpenEntry* open) { return open->privilege == privilege; }));
  const DWORD state = privilege == PHONEPRIVILEGE_OWNER ? PHONESTATE_OWNER : PHONESTATE_MONITORS;
  for (PhoneOpenEntry* open : it->second) {
    if (open != except && (open->phoneStates & state)) {
      PostToPhoneOpen(*open, PHONE_STATE, state, count, 0);
    }
  }
}

LONG Server::PhoneClose(HPHONE phone) {
  std::lock_guard lock(mutex_);
  LONG error = 0;
  if (UsablePhone(phone, false, &error) == nullptr) return error;
  EndPhoneOpen(phone, true);
  return 0;
}

void Server::EndPhoneOpen(HPHONE handle, bool notifyOthers) {
  auto it = phoneOpens_.find(handle);
  if (it == phoneOpens_.end()) return;
  std::unique_ptr<PhoneOpenEntry> open = std::move(it->second);
  phoneOpens_.erase(it);
  auto& siblings = phoneOpensByDevice_[open->deviceId];
  siblings.erase(std::find(siblings.begin(), siblings.end(), open.get()));
  if (siblings.empty()) phoneOpensByDevice_.erase(open->deviceId);
  open->app->opens.erase(handle);
  // Requests of the open still pending find it gone at their reply: they fail and write
  // nothing into the application's memory.
  if (notifyOthers) PhoneOpensChanged(open->deviceId, open->privilege, nullptr);
}

void Server::EndPhoneOpensOf(DWORD deviceId, bool removed) {
  for (HPHONE handle : PhoneOpensOf(deviceId)) {
    PhoneOpenEntry& open = *phoneOpens_.at(handle);
    if (removed && open.apiVersion < kRemoveMessageVersion) {
      PostToPhoneOpen(open, PHONE_STATE, PHONESTATE_REMOVED, 0, 0);
    }
    PostToPhoneOpen(open, PHONE_CLOSE, 0, 0, 0);
    EndPhoneOpen(handle, false);
  }
}

void Server::DiscardPhones() {
  std::lock_guard lock(mutex_);
  for (auto& [handle, app] : phoneApps_)
    app->opens.clear();
  phoneOpens_.clear();
  phoneOpensByDevice_.clear();
}

// --- status messages ---------------------------------------------------------------------------

LONG Server::PhoneSetStatusMessages(HPHONE phone, DWORD phoneStates, DWORD buttonModes,
                                    DWORD buttonStates) {
  std::lock_guard lock(mutex_);
  LONG error = 0;
  PhoneOpenEntry* open = UsablePhone(phone, false, &error);
  if (open == nullptr) return error;
  const PhoneCaps caps = provider_->Phone(open->deviceId).Caps();
  if ((phoneStates & ~caps.fixed.dwPhoneStates) != 0) return Err(PHONEERR_INVALPHONESTATE);
  if ((buttonModes & ~kAllButtonModes) != 0) return Err(PHONEERR_INVALBUTTONMODE);
  if ((buttonStates & ~kAllButtonStates) != 0) return Err(PHONEERR_INVALBUTTONSTATE);
  open->phoneStates = phoneStates;
  open->buttonModes = buttonModes;
  open->buttonStates = buttonStates;
  return 0;
}

LONG Server::PhoneGetStatusMessages(HPHONE phone, LPDWORD phoneStates, LPDWORD buttonModes,
                                    LPDWORD buttonStates) {
  if (phoneStates == nullptr || buttonModes == nullptr || buttonStates == nullptr) {
    return Err(PHONEERR_INVALPOINTER);
  }
  std::lock_guard lock(mutex_);
  LONG error = 0;
  const PhoneOpenEntry* open = UsablePhone(phone, false, &error);
  if (open == nullptr) return error;
  *phoneStates = open->phoneStates;
  *buttonModes = open->buttonModes;
  *buttonStates = open->buttonStates;
  return 0;
}

// --- status and queries ------------------------------------------------------------------------

LONG Server::PhoneGetStatus(HPHONE phone, LPPHONESTATUS status) {
  if (status == nullptr) return Err(PHONEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  LONG error = 0;
  const PhoneOpenEntry* open = UsablePhone(phone, false, &error);
  if (open == nullptr) return error;
  const PhoneDevice& device = provider_->Phone(open->deviceId);
  const PhoneStatus& now = device.Status();
  PHONESTATUS local{};
  local.dwTotalSize = status->dwTotalSize;
  local.dwStatusFlags = now.statusFlags;
  std::u16string ownerName;
  for (const PhoneOpenEntry* each : phoneOpensByDevice_.at(open->deviceId)) {
    if (each->privilege == PHONEPRIVILEGE_OWNER) {
      ++local.dwNumOwners;
      ownerName = each->app->name;
    } else {
      ++local.dwNumMonitors;
    }
  }
  local.dwRingMode = now.ringMode;
  local.dwRingVolume = now.ringVolume;
  local.dwHandsetHookSwitchMode = now.hookSwitchModes[0];
  local.dwHandsetVolume = now.volumes[0];
  local.dwHandsetGain = now.gains[0];
  local.dwSpeakerHookSwitchMode = now.hookSwitchModes[1];
  local.dwSpeakerVolume = now.volumes[1];
  local.dwSpeakerGain = now.gains[1];
  local.dwHeadsetHookSwitchMode = now.hookSwitchModes[2];
  local.dwHeadsetVolume = now.volumes[2];
  local.dwHeadsetGain = now.gains[2];
  local.dwPhoneFeatures = device.Caps().fixed.dwPhoneFeatures;
  // The lamp array first: a 32-bit array right after the fixed part stays aligned.
  std::vector<VarField> fields;
  fields.push_back(
      {{}, DwordBytes(now.lampModes), &local.dwLampModesSize, &local.dwLampModesOffset});
  fields.push_back({now.display, {}, &local.dwDisplaySize, &local.dwDisplayOffset});
  fields.push_back({ownerName, {}, &local.dwOwnerNameSize, &local.dwOwnerNameOffset});
  fields.push_back({{}, {}, &local.dwDevSpecificSize, &local.dwDevSpecificOffset});
  return AnswerStruct(local, fields, PhoneStatusFixedSize(open->apiVersion), status,
                      PHONEERR_STRUCTURETOOSMALL);
}

LONG Server::PhoneGetHookSwitch(HPHONE phone, LPDWORD hookSwitchDevs) {
  if (hookSwitchDevs == nullptr) return Err(PHONEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  LONG error = 0;
  const PhoneOpenEntry* open = UsablePhone(phone, false, &error);
  if (open == nullptr) return error;
  const PhoneDevice& device = provider_->Phone(open->deviceId);
  const DWORD present = device.Caps().fixed.dwHookSwitchDevs;
  DWORD offHook = 0;
  for (DWORD each : kHookSwitchDevices) {
    const DWORD mode = device.Status().hookSwitchModes[HookSwitchIndex(each)];
    if ((present & each) && mode != PHONEHOOKSWITCHMODE_ONHOOK) offHook |= each;
  }
  *hookSwitchDevs = offHook;
  return 0;
}

LONG Server::PhoneGetDisplay(HPHONE phone, LPVARSTRING display) {
  if (display == nullptr) return Err(PHONEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  LONG error = 0;
  const PhoneOpenEntry* open = UsablePhone(phone, false, &error);
  if (open == nullptr) return error;
  const PhoneDevice& device = provider_->Phone(open->deviceId);
  if (device.Status().display.empty()) return Err(PHONEERR_OPERATIONUNAVAIL);
  VARSTRING local{};
  local.dwTotalSize = display->dwTotalSize;
  local.dwStringFormat = STRINGFORMAT_UNICODE;
  std::vector<VarField> fields;
  fields.push_back({device.Status().display, {}, &local.dwStringSize, &local.dwStringOffset});
  return AnswerStruct(local, fields, sizeof(VARSTRING), display, PHONEERR_STRUCTURETOOSMALL);
}

LONG Server::PhoneGetRing(HPHONE phone, LPDWORD ringMode, LPDWORD volume) {
  if (ringMode == nullptr || volume == nullptr) return Err(PHONEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  LONG error = 0;
  const PhoneOpenEntry* open = UsablePhone(phone, false, &error);
  if (open == nullptr) return error;
  const PhoneDevice& device = provider_->Phone(open->deviceId);
  if (device.Caps().fixed.dwNumRingModes == 0) return Err(PHONEERR_OPERATIONUNAVAIL);
  *ringMode = device.Status().ringMode;
  *volume = device.Status().ringVolume;
  return 0;
}

LONG Server::PhoneGetLamp(HPHONE phone, DWORD buttonLampId, LPDWORD lampMode) {
  if (lampMode == nullptr) return Err(PHONEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  LONG error = 0;
  const PhoneOpenEntry* open = UsablePhone(phone, false, &error);
  if (open == nullptr) return error;
  const PhoneStatus& now = provider_->Phone(open->deviceId).Status();
  if (buttonLampId >= now.lampModes.size()) return Err(PHONEERR_INVALBUTTONLAMPID);
  *lampMode = now.lampModes[buttonLampId];
  return 0;
}

LONG Server::PhoneGetButtonInfo(HPHONE phone, DWORD buttonLampId, LPPHONEBUTTONINFO info) {
  if (info == nullptr) return Err(PHONEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  LONG error = 0;
  const PhoneOpenEntry* open = UsablePhone(phone, false, &error);
  if (open == nullptr) return error;
  const PhoneDevice& device = provider_->Phone(open->deviceId);
  const PhoneCaps caps = device.Caps();
  if (buttonLampId >= caps.buttons.size()) return Err(PHONEERR_INVALBUTTONLAMPID);
  const PhoneButton& button = caps.buttons[buttonLampId];
  PHONEBUTTONINFO local{};
  local.dwTotalSize = info->dwTotalSize;
  local.dwButtonMode = button.mode;
  local.dwButtonFunction = button.function;
  local.dwButtonState = device.Status().buttonStates.at(buttonLampId);
  std::vector<VarField> fields;
  fields.push_back({button.text, {}, &local.dwButtonTextSize, &local.dwButtonTextOffset});
  fields.push_back({{}, {}, &local.dwDevSpecificSize, &local.dwDevSpecificOffset});
  return AnswerStruct(local, fields, ButtonInfoFixedSize(open->apiVersion), info,
                      PHONEERR_STRUCTURETOOSMALL);
}

LONG Server::PhoneGetLevel(HPHONE phone, bool volume, DWORD hookSwitchDev, LPDWORD level) {
  if (level == nullptr) return Err(PHONEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  LONG error = 0;
  const PhoneOpenEntry* open = UsablePhone(phone, false, &error);
  if (open == nullptr) return error;
  const PhoneDevice& device = provider_->Phone(open->deviceId);
  const PHONECAPS caps = device.Caps().fixed;
  const DWORD devices = volume ? caps.dwVolumeFlags : caps.dwGainFlags;
  if (!std::has_single_bit(hookSwitchDev) || (hookSwitchDev & devices) == 0) {
    return Err(PHONEERR_INVALHOOKSWITCHDEV);
  }
  const size_t index = HookSwitchIndex(hookSwitchDev);
  *level = volume ? device.Status().volumes[index] : device.Status().gains[index];
  return 0;
}

// A phone answers for its own class, for "tapi/line" when it is the set of a line, and for
// "wave/in" / "wave/out" (its handset's audio) when its capabilities list them.
LONG Server::PhoneGetId(HPHONE phone, LPVARSTRING deviceId, LPCWSTR deviceClass) {
  if (deviceId == nullptr || deviceClass == nullptr) return Err(PHONEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  LONG error = 0;
  const PhoneOpenEntry* open = UsablePhone(phone, false, &error);
  if (open == nullptr) return error;
  const PhoneDevice& device = provider_->Phone(open->deviceId);
  const std::u16string_view wanted(deviceClass);
  std::optional<DWORD> answer;
  if (SameClass(wanted, u"tapi/phone")) {
    answer = open->deviceId;
  } else if (SameClass(wanted, u"tapi/line")) {
    answer = device.AttachedLine();
  } else if (SameClass(wanted, u"wave/in") || SameClass(wanted, u"wave/out")) {
    if (ListsClass(device.Caps().deviceClasses, wanted)) {
      answer = device.WaveId(SameClass(wanted, u"wave/in"));
    }
  }
  if (!answer) return Err(PHONEERR_INVALDEVICECLASS);
  return AnswerVarString(DeviceIdString({*answer}), deviceId, PHONEERR_STRUCTURETOOSMALL);
}

LONG Server::PhoneGetIcon(DWORD deviceId, LPCWSTR deviceClass, LPHICON icon) {
  if (icon == nullptr) return Err(PHONEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  if (const LONG error = CheckPhoneDevice(deviceId)) return error;
  const PhoneDevice& device = provider_->Phone(deviceId);
  if (!KnownClass(deviceClass, u"tapi/phone", device.Caps().deviceClasses)) {
    return Err(PHONEERR_INVALDEVICECLASS);
  }
  *icon = device.Icon();
  return 0;
}

// --- requests ----------------------------------------------------------------------------------

LONG Server::StartPhoneOp(EntryPoint entry, const PhoneOpenEntry& open, PhoneRequest request,
                          LPVOID devSpecificTarget) {
  const HPHONE handle = open.handle;
  const DWORD deviceId = open.deviceId;
  // The open may be closed and the phone removed before the reply: then the reply fails and
  // nothing happens, nor is the application's block written.
  auto check = [this, handle, deviceId] {
    if (!phoneOpens_.contains(handle)) return Err(PHONEERR_INVALPHONEHANDLE);
    if (provider_ == nullptr || provider_->Phone(deviceId).Removed()) {
      return Err(PHONEERR_NODEVICE);
    }
    return LONG{0};
  };
  auto effect = [this, request = std::move(request), devSpecificTarget] {
    const auto answer = provider_->PerformPhoneOp(request);
    if (answer && devSpecificTarget != nullptr) {
      std::memcpy(devSpecificTarget, answer->data(), std::min(answer->size(), request.data.size()));
    }
  };
  return StartRequest(entry, true, open.app->handle, open.callbackInstance, std::move(check),
                      std::move(effect), {});
}

LONG Server::PhoneSetHookSwitch(HPHONE phone, DWORD hookSwitchDevs, DWORD mode) {
  std::lock_guard lock(mutex_);
  LONG error = 0;
  const PhoneOpenEntry* open = UsablePhone(phone, true, &error);
  if (open == nullptr) return error;
  const PHONECAPS caps = provider_->Phone(open->deviceId).Caps().fixed;
  if (hookSwitchDevs == 0 || (hookSwitchDevs & ~caps.dwHookSwitchDevs) != 0) {
    return Err(PHONEERR_INVALHOOKSWITCHDEV);
  }
  if (!std::has_single_bit(mode) || (mode & ~kSettableHookModes) != 0) {
    return Err(PHONEERR_INVALHOOKSWITCHMODE);
  }
  for (DWORD each : kHookSwitchDevices) {
    if ((hookSwitchDevs & each) && (SettableModes(caps, each) & mode) == 0) {
      return Err(PHONEERR_INVALHOOKSWITCHMODE);
    }
  }
  PhoneRequest request;
  request.op = PhoneRequest::Op::HookSwitch;
  request.deviceId = open->deviceId;
  request.hookSwitchDevs = hookSwitchDevs;
  request.value = mode;
  return StartPhoneOp(EntryPoint::phoneSetHookSwitch, *open, std::move(request));
}

LONG Server::PhoneSetDisplay(HPHONE phone, DWORD row, DWORD column, LPCSTR display, DWORD size) {
  std::lock_guard lock(mutex_);
  LONG error = 0;
  const PhoneOpenEntry* open = UsablePhone(phone, true, &error);
  if (open == nullptr) return error;
  const PHONECAPS caps = provider_->Phone(open->deviceId).Caps().fixed;
  if (caps.dwDisplayNumRows == 0 || caps.dwDisplayNumColumns == 0) {
    return Err(PHONEERR_OPERATIONUNAVAIL);
  }
  if (row >= caps.dwDisplayNumRows || column >= caps.dwDisplayNumColumns) {
    return Err(PHONEERR_INVALPARAM);
  }
  if (display == nullptr && size != 0) return Err(PHONEERR_INVALPOINTER);
  PhoneRequest request;
  request.op = PhoneRequest::Op::Display;
  request.deviceId = open->deviceId;
  request.row = row;
  request.column = column;
  // One character per byte (the code page is Latin-1), copied now: the application may free
  // its text as soon as the function returns.
  for (DWORD i = 0; i < size && display[i] != '\0'; ++i)
    request.text.push_back(static_cast<char16_t>(static_cast<unsigned char>(display[i])));
  return StartPhoneOp(EntryPoint::phoneSetDisplay, *open, std::move(request));
}

LONG Server::PhoneSetRing(HPHONE phone, DWORD ringMode, DWORD volume) {
  std::lock_guard lock(mutex_);
  LONG error = 0;
  const PhoneOpenEntry* open = UsablePhone(phone, true, &error);
  if (open == nullptr) return error;
  const DWORD modes = provider_->Phone(open->deviceId).Caps().fixed.dwNumRingModes;
  // Ring mode 0 is silence, 1 to dwNumRingModes the phone's ring patterns; a phone with none
  // cannot be rung by an application at all.
  if (modes == 0) return Err(PHONEERR_OPERATIONUNAVAIL);
  if (ringMode > modes) return Err(PHONEERR_INVALRINGMODE);
  if (volume > kHighestLevel) return Err(PHONEERR_INVALPARAM);
  PhoneRequest request;
  request.op = PhoneRequest::Op::Ring;
  request.deviceId = open->deviceId;
  request.value = ringMode;
  request.ringVolume = volume;
  return StartPhoneOp(EntryPoint::phoneSetRing, *open, std::move(request));
}

LONG Server::PhoneSetLamp(HPHONE phone, DWORD buttonLampId, DWORD lampMode) {
  std::lock_guard lock(mutex_);
  LONG error = 0;
  const PhoneOpenEntry* open = UsablePhone(phone, true, &error);
  if (open == nullptr) return error;
  const PhoneCaps caps = provider_->Phone(open->deviceId).Caps();
  if (buttonLampId >= caps.buttons.size()) return Err(PHONEERR_INVALBUTTONLAMPID);
  // A lamp shows one mode at a time, and only those it has; DUMMY means there is no lamp.
  const DWORD supported =
      caps.buttons[buttonLampId].lampModes & ~(PHONELAMPMODE_DUMMY | PHONELAMPMODE_UNKNOWN);
  if (!std::has_single_bit(lampMode) || (lampMode & supported) == 0) {
    return Err(PHONEERR_INVALLAMPMODE);
  }
  PhoneRequest request;
  request.op = PhoneRequest::Op::Lamp;
  request.deviceId = open->deviceId;
  request.buttonLampId = buttonLampId;
  request.value = lampMode;
  return StartPhoneOp(EntryPoint::phoneSetLamp, *open, std::move(request));
}

LONG Server::PhoneSetLevel(HPHONE phone, bool volume, DWORD hookSwitchDev, DWORD level) {
  std::lock_guard lock(mutex_);
  LONG error = 0;
  const PhoneOpenEntry* open = UsablePhone(phone, true, &error);
  if (open == nullptr) return error;
  const PHONECAPS caps = provider_->Phone(open->deviceId).Caps().fixed;
  const DWORD devices = volume ? caps.dwVolumeFlags : caps.dwGainFlags;
  if (!std::has_single_bit(hookSwitchDev) || (hookSwitchDev & devices) == 0) {
    return Err(PHONEERR_INVALHOOKSWITCHDEV);
  }
  if (level > kHighestLevel) return Err(PHONEERR_INVALPARAM);
  PhoneRequest request;
  request.op = volume ? PhoneRequest::Op::Volume : PhoneRequest::Op::Gain;
  request.deviceId = open->deviceId;
  request.hookSwitchDevs = hookSwitchDev;
  request.value = level;
  return StartPhoneOp(volume ? EntryPoint::phoneSetVolume : EntryPoint::phoneSetGain, *open,
                      std::move(request));
}

LONG Server::PhoneDevSpecificRequest(HPHONE phone, LPVOID params, DWORD size) {
  if (params == nullptr && size != 0) return Err(PHONEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  LONG error = 0;
  // Monitors may talk to the device too: nothing here says what the block does.
  const PhoneOpenEntry* open = UsablePhone(phone, false, &error);
  if (open == nullptr) return error;
  PhoneRequest request;
  request.op = PhoneRequest::Op::DevSpecific;
  request.deviceId = open->deviceId;
  const auto* bytes = static_cast<const uint8_t*>(params);
  if (size != 0) request.data.assign(bytes, bytes + size);
  return StartPhoneOp(EntryPoint::phoneDevSpecific, *open, std::move(request), params);
}

// --- notifications from the provider -----------------------------------------------------------

void Server::PhoneClosed(DWORD deviceId) {
  std::lock_guard lock(mutex_);
  EndPhoneOpensOf(deviceId, false);
}

void Server::PhoneStateChanged(DWORD deviceId, DWORD state, DWORD param2) {
  std::lock_guard lock(mutex_);
  auto it = phoneOpensByDevice_.find(deviceId);
  if (it == phoneOpensByDevice_.end()) return;
  for (PhoneOpenEntry* open : it->second) {
    if (open->phoneStates & state) {
      PostToPhoneOpen(*open, PHONE_STATE, state & open->phoneStates, param2, 0);
    }
  }
}

void Server::PhoneButtonChanged(DWORD deviceId, DWORD buttonLampId, DWORD mode, DWORD state) {
  std::lock_guard lock(mutex_);
  auto it = phoneOpensByDevice_.find(deviceId);
  if (it == phoneOpensByDevice_.end()) return;
  for (PhoneOpenEntry* open : it->second) {
    if ((open->buttonModes & mode) && (open->buttonStates & state)) {
      PostToPhoneOpen(*open, PHONE_BUTTON, buttonLampId, mode, state);
    }
  }
}

void Server::PhoneDevSpecific(DWORD deviceId, DWORD param1, DWORD param2, DWORD param3) {
  std::lock_guard lock(mutex_);
  auto it = phoneOpensByDevice_.find(deviceId);
  if (it == phoneOpensByDevice_.end()) return;
  for (PhoneOpenEntry* open : it->second)
    PostToPhoneOpen(*open, PHONE_DEVSPECIFIC, param1, param2, param3);
}

}  // namespace tapi32
