// The switch's phones: what their users do (buttons, hook switches), the phone requests of
// applications, and the set of a line following the line's calls.
#include <algorithm>
#include <mutex>
#include <stdexcept>

#include "tapi32/server.h"
#include "tapi32/sim/switch.h"

namespace tapi32::sim {

namespace {

Server& Tapi() {
  return Server::Instance();
}

// The lamp of a call appearance for a call in this state.
DWORD LampFor(uint32_t callState) {
  switch (callState) {
    case LINECALLSTATE_OFFERING:
    case LINECALLSTATE_ACCEPTED:
      return PHONELAMPMODE_FLASH;
    case LINECALLSTATE_ONHOLD:
    case LINECALLSTATE_ONHOLDPENDTRANSFER:
    case LINECALLSTATE_ONHOLDPENDCONF:
      return PHONELAMPMODE_WINK;
    default:
      return PHONELAMPMODE_STEADY;
  }
}

bool Alerts(uint32_t callState) {
  return callState == LINECALLSTATE_OFFERING || callState == LINECALLSTATE_ACCEPTED;
}

}  // namespace

void Switch::AttachPhones() {
  for (auto& phone : phones_) {
    std::optional<DWORD> attached;
    if (!phone->Config().line.empty()) {
      for (const auto& line : lines_) {
        if (line->Config().name == phone->Config().line) attached = line->DeviceId();
      }
    }
    phone->SetAttachedLine(attached);
  }
}

void Switch::ReportPhone(const PhoneDevice& phone, DWORD states, DWORD lampId) {
  for (DWORD rest = states; rest != 0; rest &= rest - 1) {
    const DWORD state = rest & (~rest + 1);
    const DWORD param2 = state == PHONESTATE_LAMP       ? lampId
                         : state == PHONESTATE_RINGMODE ? phone.Status().ringMode
                                                        : 0;
    Tapi().PhoneStateChanged(phone.DeviceId(), state, param2);
  }
}

void Switch::MoveHookSwitch(PhoneDevice& phone, DWORD devices, DWORD mode) {
  const bool wasOffHook = phone.OffHook();
  ReportPhone(phone, phone.SetHookSwitch(devices, mode));
  const auto lineId = phone.AttachedLine();
  if (!lineId || wasOffHook == phone.OffHook()) return;
  LineDevice& line = LineAt(*lineId);
  if (phone.OffHook()) {
    // Picking up answers the call that has been ringing longest, as lineAnswer would.
    for (uint32_t callId : line.Alerting()) {
      if (CheckAnswer(calls_.at(callId)) != 0) continue;
      MakeWayToAnswer(callId);
      Connect(callId, calls_.at(callId).data.caller);
      return;
    }
    return;
  }
  // Hanging up drops the call the station is talking on.
  for (uint32_t callId : line.Calls()) {
    if (calls_.at(callId).data.state == LINECALLSTATE_CONNECTED) {
      DropCall(callId);
      return;
    }
  }
}

void Switch::PhonesFollowLine(uint32_t lineId) {
  for (auto& phone : phones_) {
    if (phone->Removed() || phone->AttachedLine() != lineId) continue;
    const LineDevice& line = LineAt(lineId);
    const CallData* offered = nullptr;    // the newest call that rings
    const CallData* connected = nullptr;  // the oldest one talked on
    uint32_t appearance = kFirstCallAppearance;
    const uint32_t appearances =
        std::min(kFirstCallAppearance + kCallAppearances, phone->NumButtons());
    for (uint32_t callId : line.Calls()) {
      const CallData& call = calls_.at(callId).data;
      if (Alerts(call.state)) offered = &call;
      if (call.state == LINECALLSTATE_CONNECTED && connected == nullptr) connected = &call;
      if (appearance < appearances) {
        ReportPhone(*phone, phone->SetLamp(appearance, LampFor(call.state)), appearance);
        ++appearance;
      }
    }
    for (; appearance < appearances; ++appearance)
      ReportPhone(*phone, phone->SetLamp(appearance, PHONELAMPMODE_OFF), appearance);
    std::vector<std::u16string> rows;
    if (offered != nullptr) {
      rows = {offered->caller.number, offered->caller.name};
    } else if (connected != nullptr) {
      const PartyId& party = connected->connected.flags != LINECALLPARTYID_UNKNOWN
                                 ? connected->connected
                                 : connected->caller;
      rows = {party.number, party.name};
    }
    ReportPhone(*phone, phone->ShowRows(rows));
    if (phone->Config().numRingModes != 0) {
      ReportPhone(*phone, phone->SetRing(offered != nullptr ? 1 : 0, phone->Status().ringVolume));
    }
  }
}

void Switch::KeypadDigitToCall(uint32_t callId, char16_t digit, DWORD buttonState) {
  // A key's tone starts when it goes down and ends when it comes up, as DTMF detectors hear it.
  Tapi().DigitDetected(
      callId, digit,
      buttonState == PHONEBUTTONSTATE_DOWN ? LINEDIGITMODE_DTMF : LINEDIGITMODE_DTMFEND);
}

void Switch::SetButton(uint32_t phoneId, uint32_t buttonLampId, DWORD state) {
  std::lock_guard lock(Tapi().Mutex());
  PhoneDevice& phone = PhoneAt(phoneId);
  if (buttonLampId >= phone.NumButtons()) {
    throw std::out_of_range("phone " + std::to_string(phoneId) + " has no button " +
                            std::to_string(buttonLampId));
  }
  if (!phone.SetButtonState(buttonLampId, state)) return;
  const PhoneButton& button = phone.Button(buttonLampId);
  Tapi().PhoneButtonChanged(phoneId, buttonLampId, button.mode, state);
  if (button.mode != PHONEBUTTONMODE_KEYPAD) return;
  const auto lineId = phone.AttachedLine();
  if (!lineId) return;
  for (uint32_t callId : LineAt(*lineId).Calls()) {
    if (calls_.at(callId).data.state == LINECALLSTATE_CONNECTED) {
      KeypadDigitToCall(callId, button.text.at(0), state);
      return;
    }
  }
}

void Switch::PressButton(uint32_t phoneId, uint32_t buttonLampId) {
  SetButton(phoneId, buttonLampId, PHONEBUTTONSTATE_DOWN);
}

void Switch::ReleaseButton(uint32_t phoneId, uint32_t buttonLampId) {
  SetButton(phoneId, buttonLampId, PHONEBUTTONSTATE_UP);
}

void Switch::LiftHookSwitch(uint32_t phoneId, uint32_t hookSwitchDev) {
  std::lock_guard lock(Tapi().Mutex());
  PhoneDevice& phone = PhoneAt(phoneId);
  // A handset or headset carries the microphone and the earpiece; the speakerphone speaks.
  const DWORD mode = hookSwitchDev == PHONEHOOKSWITCHDEV_SPEAKER ? PHONEHOOKSWITCHMODE_SPEAKER
                                                                 : PHONEHOOKSWITCHMODE_MICSPEAKER;
  MoveHookSwitch(phone, hookSwitchDev & phone.Caps().fixed.dwHookSwitchDevs, mode);
}

void Switch::ReplaceHookSwitch(uint32_t phoneId, uint32_t hookSwitchDev) {
  std::lock_guard lock(Tapi().Mutex());
  PhoneDevice& phone = PhoneAt(phoneId);
  MoveHookSwitch(phone, hookSwitchDev, PHONEHOOKSWITCHMODE_ONHOOK);
}

void Switch::ClosePhone(uint32_t phoneId) {
  std::lock_guard lock(Tapi().Mutex());
  PhoneAt(phoneId);
  Tapi().PhoneClosed(phoneId);
}

void Switch::PhoneState(uint32_t phoneId, uint32_t state) {
  std::lock_guard lock(Tapi().Mutex());
  PhoneDevice& phone = PhoneAt(phoneId);
  DWORD flags = phone.Status().statusFlags;
  if (state == PHONESTATE_CONNECTED) flags |= PHONESTATUSFLAGS_CONNECTED;
  if (state == PHONESTATE_DISCONNECTED) flags &= ~PHONESTATUSFLAGS_CONNECTED;
  if (state == PHONESTATE_SUSPEND) flags |= PHONESTATUSFLAGS_SUSPENDED;
  if (state == PHONESTATE_RESUME) flags &= ~PHONESTATUSFLAGS_SUSPENDED;
  phone.SetStatusFlags(flags);
  Tapi().PhoneStateChanged(phoneId, state, 0);
}

void Switch::PhoneDevSpecific(uint32_t phoneId, uint32_t param1, uint32_t param2, uint32_t param3) {
  std::lock_guard lock(Tapi().Mutex());
  PhoneAt(phoneId);
  Tapi().PhoneDevSpecific(phoneId, param1, param2, param3);
}

tapi32::PhoneStatus Switch::PhoneStatusOf(uint32_t phoneId) const {
  std::lock_guard lock(Tapi().Mutex());
  return PhoneAt(phoneId).Status();
}

std::vector<uint8_t> Switch::LastPhoneDevSpecific() const {
  std::lock_guard lock(Tapi().Mutex());
  return lastPhoneDevSpecific_;
}

std::optional<std::vector<uint8_t>> Switch::PerformPhoneOp(const PhoneRequest& request) {
  PhoneDevice& phone = PhoneAt(request.deviceId);
  switch (request.op) {
    case PhoneRequest::Op::HookSwitch:
      MoveHookSwitch(phone, request.hookSwitchDevs, request.value);
      break;
    case PhoneRequest::Op::Display:
      ReportPhone(phone, phone.WriteDisplay(request.row, request.column, request.text));
      break;
    case PhoneRequest::Op::Ring:
      ReportPhone(phone, phone.SetRing(request.value, request.ringVolume));
      break;
    case PhoneRequest::Op::Lamp:
      ReportPhone(phone, phone.SetLamp(request.buttonLampId, request.value), request.buttonLampId);
      break;
    case PhoneRequest::Op::Volume:
    case PhoneRequest::Op::Gain:
      ReportPhone(phone, phone.SetLevel(request.op == PhoneRequest::Op::Volume,
                                        request.hookSwitchDevs, request.value));
      break;
    case PhoneRequest::Op::DevSpecific:
      lastPhoneDevSpecific_ = request.data;
      return devSpecificAnswer_;
  }
  return std::nullopt;
}

}  // namespace tapi32::sim
