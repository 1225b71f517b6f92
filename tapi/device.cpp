#include "tapi/device.h"

#include <exception>

#include "platform/module.h"
#include "tapi/application.h"
#include "tapi/related.h"
#include "tapi/requests.h"
#include "tapi/tsp.h"

namespace zvtapi {

// ---------------------------------------------------------------------------------------------
// TzvTapiComponent

TzvTapiComponent::TzvTapiComponent(TComponent* AOwner) : TComponent(AOwner) {}

TzvTapiComponent::~TzvTapiComponent() {
  // After library exit the application object is gone; there is nothing to detach from.
  if (zvTapiApplication && FAppl) zvTapiApplication->AttachComponent(this, false);
}

void TzvTapiComponent::SetEnabled(bool Value) {
  FEnabled = Value;
  if (IsAttached() == FEnabled || Loading() || Designing()) return;
  EnabledChanged();
}

void TzvTapiComponent::EnabledChanged() {
  if (IsAttached() != FEnabled) {
    ZV_ASSERT(zvTapiApplication != nullptr);
    zvTapiApplication->AttachComponent(this, FEnabled);
  }
}

bool TzvTapiComponent::Enable() {
  FEnabled = true;
  EnabledChanged();
  return IsAttached();
}

void TzvTapiComponent::Disable() {
  FEnabled = false;
  EnabledChanged();
}

void TzvTapiComponent::DoError(const std::exception& Error, TObject* Causer) {
  try {
    if (FAppl) FAppl->DoError(this, Error, Causer);
  } catch (...) {
  }
  try {
    if (FOnError) FOnError(this, Error, Causer);
  } catch (...) {
    // An error handler that fails has nobody left to tell.
  }
}

// ---------------------------------------------------------------------------------------------
// TzvTapiDevice: construction

TzvTapiDevice::TzvTapiDevice(TComponent* AOwner)
    : TzvTapiComponent(AOwner),
      FRequests(std::make_unique<TzvTapiRequestList>()),
      FTimerEvents(std::make_unique<TzvTapiRequestList>()),
      FDevSpecificList(std::make_unique<TzvTapiDevSpecificDataList>()),
      FAbortEvent(platform::CreateEvent(true, false)),
      FWaveInDev(std::make_unique<TzvTapiRelatedWaveDevice>(this, "wave/in")),
      FWaveOutDev(std::make_unique<TzvTapiRelatedWaveDevice>(this, "wave/out")) {}

TzvTapiDevice::~TzvTapiDevice() {
  FTimerEvents.reset();
  FRequests.reset();
  FDevSpecificList.reset();
  FWaveInDev.reset();
  FWaveOutDev.reset();
  platform::CloseHandle(FAbortEvent);
}

void TzvTapiDevice::Loaded() {
  TzvTapiComponent::Loaded();
  EnabledChanged();
  UpdateActive();
}

// ---------------------------------------------------------------------------------------------
// Attachment

void TzvTapiDevice::SetEnabled(bool Value) {
  if (Value == IsAttached()) return;
  TzvTapiComponent::SetEnabledFlag(Value);
  if (!Loading()) EnabledChanged();
}

void TzvTapiDevice::EnabledChanged() {
  if (IsAttached() == Enabled()) return;
  if (!Enabled()) {
    // Close while still attached: a detached device only records Active := false, which would
    // leave its handle open with no way to close it through Active again.
    std::exception_ptr failure;
    if (FActive) {
      try {
        SetActive(false);
      } catch (...) {
        failure = std::current_exception();
      }
    }
    TzvTapiComponent::EnabledChanged();
    FActive = false;
    SetDeviceID(-1);
    if (failure) std::rethrow_exception(failure);
    return;
  }
  TzvTapiComponent::EnabledChanged();
  if (IsAttached()) {
    const int index = FDeviceName.empty() ? -1 : GetDeviceList().IndexOf(FDeviceName);
    SetDeviceID(index >= 0 ? index : -1);
  }
}

// ---------------------------------------------------------------------------------------------
// Binding

Cardinal TzvTapiDevice::Init(Integer DeviceID) {
  Cardinal result = 0;
  if (IsOpen()) RaiseError("TzvTapiDevice.Init failed! Already active.");
  auto inRange = [&] { return DeviceID >= 0 && DeviceID < GetDeviceList().Count(); };
  if (inRange() && !IsAttached()) Enable();
  if (FDeviceID != DeviceID && Available()) Done();
  if (inRange()) {
    result = FTSP->Init(DeviceID);
    FInitialized = result == 0;
    if (FInitialized) {
      FDeviceID = DeviceID;
      FDeviceName = GetDeviceList().Strings(DeviceID);
    }
  }
  return result;
}

void TzvTapiDevice::Done() {
  FInitialized = false;
  FDeviceID = -1;
  FDeviceName.clear();
  if (FTSP) FTSP->Done();
  FIcon = 0;
  FWaveInDev->Invalidate();
  FWaveOutDev->Invalidate();
}

void TzvTapiDevice::SetDeviceID(Integer Value) {
  if (Value == -1) {
    Done();
  } else {
    Init(Value);
  }
}

void TzvTapiDevice::SetTSP(const TzvTapiTSP& Value) {
  FTSP->AssignVersionBounds(Value);
}

void TzvTapiDevice::SetDeviceName(const std::string& Value) {
  if (!Value.empty()) Enable();
  FDeviceName = Value;
  if (FDeviceName.empty() && Designing()) FActive = false;
  if (!IsAttached()) return;
  const int index = GetDeviceList().IndexOf(FDeviceName);
  if (index < 0) {
    SetDeviceID(-1);
    FDeviceName = Value;  // the name the user gave survives, unbound
  } else {
    SetDeviceID(index);
  }
}

std::string TzvTapiDevice::GetDeviceName() const {
  return {};
}

Cardinal TzvTapiDevice::GetIconHandle(const std::string& /*DeviceClass*/) {
  return 0;
}

Cardinal TzvTapiDevice::IconOf(TGetIconFunc GetIcon, const std::string& DeviceClass,
                               const char16_t* DefaultClass) const {
  HICON icon = 0;
  const std::u16string deviceClass = platform::Utf8ToWide(DeviceClass);
  if (GetIcon(static_cast<DWORD>(FDeviceID), deviceClass.c_str(), &icon) == 0) return icon;
  if (DeviceClass.empty() && GetIcon(static_cast<DWORD>(FDeviceID), DefaultClass, &icon) == 0) {
    return icon;
  }
  return 0;
}

Cardinal TzvTapiDevice::Icon() {
  if (FIcon == 0 && Available()) FIcon = GetIconHandle("");
  return FIcon;
}

Cardinal TzvTapiDevice::NewCallbackInstance() {
  ZV_ASSERT(zvTapiApplication != nullptr);
  FCallbackInstance = zvTapiApplication->NextCallbackInstance();
  return FCallbackInstance;
}

// ---------------------------------------------------------------------------------------------
// The open state

void TzvTapiDevice::SetActive(bool Value) {
  FActive = Value;
  if (IsOpen() == FActive || Loading() || Designing()) return;
  if (IsAttached()) {
    UpdateActive();
  } else {
    FActive = false;
  }
}

bool TzvTapiDevice::GetActive() const {
  if (Loading() || Designing()) return FActive;
  return FActive && IsOpen();
}

void TzvTapiDevice::UpdateActive() {
  if (Loading() || Designing()) return;
  if (IsOpen() == FActive) return;
  if (FActive) {
    Open();
  } else {
    Close();
  }
}

void TzvTapiDevice::CheckEnabled() const {
  if (!IsAttached()) RaiseError(Format("%s is not enabled", Name().c_str()));
}

void TzvTapiDevice::CheckActive() const {
  if (IsOpen()) return;
  const std::string name = GetDeviceName();
  if (name.empty()) RaiseError("TAPI device not active.");
  RaiseError(Format("%s not active.", name.c_str()));
}

// ---------------------------------------------------------------------------------------------
// Device events

void TzvTapiDevice::DeviceClosed() {
  if (!IsOpen()) return;
  FClosedByTapi = true;
  try {
    Close();
    DoDeviceClose();
  } catch (...) {
    FClosedByTapi = false;
    throw;
  }
  FClosedByTapi = false;
}

void TzvTapiDevice::DeviceRemoved(Integer DeviceID) {
  if (DeviceID != FDeviceID) return;
  if (Available()) Done();
  DoDeviceRemove();
}

void TzvTapiDevice::TapiMessage(Cardinal hDevice, Cardinal MessageID, Cardinal Param1,
                                Cardinal Param2, Cardinal Param3) {
  DoTapiMessage(MessageID, hDevice, Param1, Param2, Param3);
}

void TzvTapiDevice::DevStateChanged(Cardinal State, Cardinal Param2, Cardinal Param3) {
  DoDevStateChange(State, Param2, Param3);
}

void TzvTapiDevice::DispatchTapiMessage(Cardinal hDevice, Cardinal MessageID, Cardinal Param1,
                                        Cardinal Param2, Cardinal Param3) {
  try {
    TapiMessage(hDevice, MessageID, Param1, Param2, Param3);
  } catch (const std::exception& e) {
    DoError(e, nullptr);
  }
}

void TzvTapiDevice::DispatchTimerTick(Cardinal TickCount) {
  try {
    CheckTimeouts(TickCount);
  } catch (const std::exception& e) {
    DoError(e, nullptr);
  }
}

void TzvTapiDevice::HandleTimeout(Cardinal /*RequestID*/, TzvTapiRequest* /*Request*/) {}

void TzvTapiDevice::HandleTimerEvent(Cardinal /*ID*/, TzvTapiRequest* /*Request*/) {}

// ---------------------------------------------------------------------------------------------
// Event firers

void TzvTapiDevice::DoDeviceRemove() {
  Fire(FOnDeviceRemove, this);
}

void TzvTapiDevice::DoDeviceClose() {
  Fire(FOnDeviceClose, this);
}

void TzvTapiDevice::DoDevStateChange(Cardinal State, Cardinal StateDetail1, Cardinal StateDetail2) {
  Fire(FOnDevStateChange, this, State, StateDetail1, StateDetail2);
}

void TzvTapiDevice::DoTapiMessage(Cardinal MessageID, Cardinal Device, Cardinal Param1,
                                  Cardinal Param2, Cardinal Param3) {
  if (IsOpen()) Fire(FOnTapiMessage, this, MessageID, Device, Param1, Param2, Param3);
}

void TzvTapiDevice::DoTapiReply(Cardinal RequestID, Integer ReplyCode) {
  if (IsOpen()) Fire(FOnTapiReply, this, RequestID, static_cast<Cardinal>(ReplyCode));
}

void TzvTapiDevice::DoTapiReinit() {
  if (IsOpen()) Fire(FOnTapiReinit, this);
}

void TzvTapiDevice::DoTapiTimeout(Cardinal RequestID, TzvTapiRequest* /*Request*/) {
  if (IsOpen()) Fire(FOnTapiTimeout, this, RequestID);
}

void TzvTapiDevice::DoTapiTranslateChange() {
  Fire(FOnTapiTranslateChange, this);
}

}  // namespace zvtapi
