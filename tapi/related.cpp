#include "tapi/related.h"

#include "platform/module.h"
#include "platform/sync.h"
#include "tapi/address.h"
#include "tapi/call.h"
#include "tapi/errors.h"
#include "tapi/line.h"
#include "tapi/phone.h"
#include "tapi32/tapi.h"

namespace zvtapi {

namespace {

// The first buffer holds every answer of a sensible provider: a few IDs or a port name.
constexpr Cardinal kRelatedQuerySize = 1024;

}  // namespace

// ---------------------------------------------------------------------------------------------
// TzvTapiRelatedDevice

TzvTapiRelatedDevice::TzvTapiRelatedDevice(TObject* AOwner, std::string AClass)
    : FClass(std::move(AClass)), FOwner(AOwner) {}

TzvTapiRelatedDevice::~TzvTapiRelatedDevice() {
  TzvTapiRelatedDevice::Invalidate();
}

Cardinal TzvTapiRelatedDevice::QueryDeviceID(void* Buffer) {
  auto* answer = static_cast<LPVARSTRING>(Buffer);
  const std::u16string deviceClass = platform::Utf8ToWide(FClass);
  int32_t result;
  if (auto* line = dynamic_cast<TzvCustomTapiLine*>(FOwner)) {
    result = lineGetIDW(line->Handle(), 0, 0, LINECALLSELECT_LINE, answer, deviceClass.c_str());
  } else if (auto* address = dynamic_cast<TzvTapiAddress*>(FOwner)) {
    result = lineGetIDW(address->Line()->Handle(), static_cast<DWORD>(address->AddressID()), 0,
                        LINECALLSELECT_ADDRESS, answer, deviceClass.c_str());
  } else if (auto* call = dynamic_cast<TzvTapiCall*>(FOwner)) {
    result = lineGetIDW(call->Line()->Handle(), 0, call->Handle(), LINECALLSELECT_CALL, answer,
                        deviceClass.c_str());
  } else if (auto* phone = dynamic_cast<TzvCustomTapiPhone*>(FOwner)) {
    result = phoneGetIDW(phone->Handle(), answer, deviceClass.c_str());
  } else {
    RaiseError("TzvTapiRelatedDevice.UpdateData failed! Invalid owner");
  }
  return static_cast<Cardinal>(result);
}

Cardinal TzvTapiRelatedDevice::UpdateData() {
  ZV_ASSERT(FOwner != nullptr);
  if (FData) return 0;
  FData = AllocTapiStruct(MaxCardinal(sizeof(VARSTRING), kRelatedQuerySize));
  const Cardinal result = FetchTapiStruct(
      FData, [this](void* structure) { return static_cast<int32_t>(QueryDeviceID(structure)); },
      TFetchMode::CheckedPhoneRetry);
  // A failed answer holds nothing of the application's (no port was opened for it): only the
  // buffer goes.
  if (result != 0) TzvTapiRelatedDevice::Invalidate();
  return result;
}

void TzvTapiRelatedDevice::Update() {
  const Cardinal result = UpdateData();
  if (IsTapiError(result)) RaiseTapiError(result);
}

void TzvTapiRelatedDevice::Invalidate() {
  FData.Free();
}

bool TzvTapiRelatedDevice::GetAvailable() {
  return FData || UpdateData() == 0;
}

Integer TzvTapiRelatedDevice::GetCount() {
  UpdateData();
  return static_cast<Integer>(CachedString().Size / 4);
}

Integer TzvTapiRelatedDevice::Get_DeviceIDNo(Integer Index) {
  UpdateData();
  const TVarString answer = CachedString();
  if (answer.Format != STRINGFORMAT_BINARY || answer.Size < 4) return -1;
  Cardinal id = 0;
  if (Index < 0 || Index >= GetCount() || !GetVarStringDWORD(answer, Index, id)) {
    RaiseError("Get_DeviceIDNo failed! Invalid index ");
  }
  return static_cast<Integer>(id);
}

Integer TzvTapiRelatedDevice::GetDeviceID() {
  return Get_DeviceIDNo(0);
}

void TzvTapiRelatedDevice::SetDeviceClass(const std::string& Value) {
  Invalidate();
  FClass = Value;
}

// ---------------------------------------------------------------------------------------------
// Descendants

bool TzvTapiLinePhoneDevices::GetAvailable() {
  return TzvTapiRelatedDevice::GetAvailable() && Count() > 0;
}

TzvTapiCommDevice::~TzvTapiCommDevice() {
  // The base destructor drops the answer without knowing that it holds an open port.
  TzvTapiCommDevice::Invalidate();
}

int TzvTapiCommDevice::CachedHandle() const {
  const TVarString answer = CachedString();
  Cardinal handle = 0;
  if (answer.Format != STRINGFORMAT_BINARY || !GetVarStringDWORD(answer, 0, handle)) return -1;
  return static_cast<int>(static_cast<Integer>(handle));
}

int TzvTapiCommDevice::Handle() {
  UpdateData();
  return CachedHandle();
}

std::string TzvTapiCommDevice::DeviceName() {
  UpdateData();
  const TVarString answer = CachedString();
  if (answer.Format != STRINGFORMAT_BINARY) return {};
  return GetVarStringText(answer, 4);
}

bool TzvTapiCommDevice::GetAvailable() {
  return TzvTapiRelatedDevice::GetAvailable() && CachedHandle() != -1;
}

void TzvTapiCommDevice::Invalidate() {
  const int handle = CachedHandle();
  if (handle != -1) platform::CloseDescriptor(handle);
  TzvTapiRelatedDevice::Invalidate();
}

}  // namespace zvtapi
