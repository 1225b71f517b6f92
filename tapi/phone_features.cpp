#include "tapi/phone_features.h"

#include <cstddef>
#include <utility>

#include "tapi/application.h"
#include "tapi/phone.h"
#include "tapi/requests.h"
#include "tapi/texts.h"
#include "tapi/tsp.h"
#include "tapi32/tapi.h"

namespace zvtapi {

namespace {

// The fixed parts as the library reads them: PHONECAPS of TAPI 2.2 with its GUID, PHONESTATUS
// and PHONEBUTTONINFO of TAPI 2.0.
constexpr Cardinal kPhoneCapsSize = 196;
constexpr Cardinal kPhoneStatusSize = 104;
constexpr Cardinal kButtonInfoSize = 40;
constexpr Integer kPhoneCapsDWORDs = 45;
constexpr Integer kPhoneStatusDWORDs = 26;

constexpr Cardinal FieldOffset(Integer Index) {
  return static_cast<Cardinal>(Index) * 4;
}

// The Index-th entry of a button/lamp array; an exception with Failure past the array's end.
// 0 when the block holds no structure.
Cardinal ArrayEntry(const TTapiStruct& buffer, Cardinal sizeFieldOffset, Cardinal Index,
                    const char* Failure) {
  if (!buffer.Assigned()) return 0;
  Cardinal value = 0;
  if (!GetTapiArrayEntry(buffer, sizeFieldOffset, Index, value)) RaiseError(Failure);
  return value;
}

// Button/lamp arrays of PHONECAPS and PHONESTATUS.
constexpr Cardinal kCapsButtonModes = offsetof(PHONECAPS, dwButtonModesSize);
constexpr Cardinal kCapsButtonFunctions = offsetof(PHONECAPS, dwButtonFunctionsSize);
constexpr Cardinal kCapsLampModes = offsetof(PHONECAPS, dwLampModesSize);
constexpr Cardinal kStatusLampModes = offsetof(PHONESTATUS, dwLampModesSize);

}  // namespace

// ---------------------------------------------------------------------------------------------
// TzvTapiPhoneCaps

TzvTapiPhoneCaps::TzvTapiPhoneCaps(TzvCustomTapiPhone* AOwner)
    : TzvTapiStructCache(kPhoneCapsSize), FPhone(AOwner) {}

int32_t TzvTapiPhoneCaps::Query(void* structure) {
  ZV_ASSERT(FPhone != nullptr);
  const TzvTapiTSP* tsp = FPhone->TSP();
  return phoneGetDevCapsW(FPhone->PhoneApp(), static_cast<DWORD>(FPhone->DeviceID()),
                          tsp != nullptr ? tsp->APIVersion() : 0,
                          tsp != nullptr ? tsp->ExtVersion() : 0,
                          static_cast<::PHONECAPS*>(structure));
}

void TzvTapiPhoneCaps::Invalidate() {
  TzvTapiStructCache::Invalidate();
  FDeviceClasses.Clear();
  FDeviceClassesBuilt = false;
}

Cardinal TzvTapiPhoneCaps::Get_DWORD(Integer Index) {
  if (UpdateData() != 0) return 0;
  ZV_ASSERT_MSG(Index >= 0 && Index < kPhoneCapsDWORDs,
                "TapiPhoneCaps.Get_DWORD failed! Invalid index");
  return ReadDWORD(FieldOffset(Index));
}

std::string TzvTapiPhoneCaps::Get_String(Integer Index) {
  switch (Index) {
    case 0:
      return ReadString(offsetof(::PHONECAPS, dwProviderInfoSize));
    case 1:
      return ReadString(offsetof(::PHONECAPS, dwPhoneInfoSize));
    case 2:
      return ReadString(offsetof(::PHONECAPS, dwPhoneNameSize));
    case 7:
      return ReadString(offsetof(::PHONECAPS, dwDevSpecificSize));
    default:
      return {};
  }
}

const TStringList& TzvTapiPhoneCaps::DeviceClasses() {
  if (!FDeviceClassesBuilt) {
    FDeviceClasses = std::move(*ReadStringList(offsetof(::PHONECAPS, dwDeviceClassesSize)));
    // Without a structure the empty list is not final: the next read tries again.
    FDeviceClassesBuilt = Buffer().Assigned();
  }
  return FDeviceClasses;
}

Cardinal TzvTapiPhoneCaps::Get_ButtonMode(Cardinal Index) {
  UpdateData();
  return ArrayEntry(Buffer(), kCapsButtonModes, Index,
                    "TzvTapiPhoneCaps.Get_ButtonMode failed! Invalid Index");
}

Cardinal TzvTapiPhoneCaps::Get_ButtonFunction(Cardinal Index) {
  UpdateData();
  return ArrayEntry(Buffer(), kCapsButtonFunctions, Index,
                    "TzvTapiPhoneCaps.Get_ButtonFunction failed! Invalid Index");
}

Cardinal TzvTapiPhoneCaps::Get_LampMode(Cardinal Index) {
  UpdateData();
  return ArrayEntry(Buffer(), kCapsLampModes, Index,
                    "TzvTapiPhoneCaps.Get_LampMode failed! Invalid Index");
}

const ::PHONECAPS* TzvTapiPhoneCaps::GetPHONECAPS() {
  return FetchedAs<::PHONECAPS>();
}

// ---------------------------------------------------------------------------------------------
// TzvTapiPhoneStatus

TzvTapiPhoneStatus::TzvTapiPhoneStatus(TzvCustomTapiPhone* AOwner)
    : TzvTapiStructCache(kPhoneStatusSize), FPhone(AOwner) {
  ZV_ASSERT(FPhone != nullptr);
}

int32_t TzvTapiPhoneStatus::Query(void* structure) {
  ZV_ASSERT(FPhone != nullptr);
  return phoneGetStatusW(FPhone->Handle(), static_cast<::PHONESTATUS*>(structure));
}

Cardinal TzvTapiPhoneStatus::Get_DWORD(Integer Index) {
  if (UpdateData() != 0) return 0;
  ZV_ASSERT_MSG(Index >= 0 && Index < kPhoneStatusDWORDs,
                "TzvTapiPhoneStatus.Get_DWORD failed! Invalid Index");
  return ReadDWORD(FieldOffset(Index));
}

bool TzvTapiPhoneStatus::Set_DWORD(Integer Index, Cardinal Value) {
  ZV_ASSERT(Index >= 0 && Index < kPhoneStatusDWORDs);
  if (UpdateData() != 0) return false;
  return CachedBuffer().SetDWORD(FieldOffset(Index), Value);
}

std::string TzvTapiPhoneStatus::Get_String(Integer Index) {
  if (UpdateData() != 0) return {};
  ZV_ASSERT_MSG(Index >= 0 && Index <= 3, "TzvTapiPhoneStatus.Get_String failed! Invalid Index");
  switch (Index) {
    case 0: {
      // The display is in the phone's string format (0 when its capabilities are unknown).
      const Cardinal format = FPhone->Caps().StringFormat();
      return GetTapiString(Buffer(), offsetof(::PHONESTATUS, dwDisplaySize), format);
    }
    case 2:
      return ReadString(offsetof(::PHONESTATUS, dwOwnerNameSize));
    case 3:
      return ReadString(offsetof(::PHONESTATUS, dwDevSpecificSize));
    default:
      return {};
  }
}

Cardinal TzvTapiPhoneStatus::Get_LampMode(Cardinal Index) {
  UpdateData();
  return ArrayEntry(Buffer(), kStatusLampModes, Index,
                    "TzvTapiPhoneStatus.Get_LampMode failed! Invalid Index");
}

void TzvTapiPhoneStatus::Set_LampMode(Cardinal Index, Cardinal Mode) {
  SetTapiArrayEntry(CachedBuffer(), kStatusLampModes, Index, Mode);
}

// ---------------------------------------------------------------------------------------------
// TzvTapiPhoneHookSwitch

namespace {

// Where each hook-switch device keeps its values.
struct THookSwitchFields {
  Cardinal Device;
  Integer ModesIndex;                         // in PHONECAPS
  Integer ModeIndex, VolumeIndex, GainIndex;  // in PHONESTATUS
};

constexpr THookSwitchFields kHookSwitchFields[] = {
    {PHONEHOOKSWITCHDEV_HANDSET, 13, 8, 9, 10},
    {PHONEHOOKSWITCHDEV_SPEAKER, 14, 11, 12, 13},
    {PHONEHOOKSWITCHDEV_HEADSET, 15, 14, 15, 16},
};

const THookSwitchFields* FieldsOf(Cardinal Device) {
  for (const THookSwitchFields& fields : kHookSwitchFields) {
    if (fields.Device == Device) return &fields;
  }
  return nullptr;
}

constexpr const char* kInvalidHookSwitchDevice = "Invalid HookSwitchDevice";

}  // namespace

TzvTapiPhoneHookSwitch::TzvTapiPhoneHookSwitch(TzvCustomTapiPhone* AOwner,
                                               Cardinal AHookSwitchDevice)
    : FPhone(AOwner), FHookSwitchDevice(AHookSwitchDevice) {
  ZV_ASSERT((AHookSwitchDevice & 0x7) != 0);
}

void TzvTapiPhoneHookSwitch::CheckDevice() const {
  if (!FieldsOf(FHookSwitchDevice)) RaiseError(kInvalidHookSwitchDevice);
}

bool TzvTapiPhoneHookSwitch::Available() const {
  return FPhone && (FPhone->Caps().HookSwitchDevs() & FHookSwitchDevice) != 0;
}

bool TzvTapiPhoneHookSwitch::Enabled() const {
  return Available() && FPhone->Active();
}

bool TzvTapiPhoneHookSwitch::GetGainAvailable() const {
  return FPhone && (FPhone->Caps().GainFlags() & FHookSwitchDevice) != 0;
}

bool TzvTapiPhoneHookSwitch::GetVolumeAvailable() const {
  return FPhone && (FPhone->Caps().VolumeFlags() & FHookSwitchDevice) != 0;
}

Cardinal TzvTapiPhoneHookSwitch::GetModes() const {
  CheckDevice();
  if (!FPhone) return 0;
  return FPhone->Caps().Get_DWORD(FieldsOf(FHookSwitchDevice)->ModesIndex);
}

Cardinal TzvTapiPhoneHookSwitch::Mode() const {
  CheckDevice();
  if (!FPhone) return 0;
  return FPhone->Status().Get_DWORD(FieldsOf(FHookSwitchDevice)->ModeIndex);
}

bool TzvTapiPhoneHookSwitch::GetUnknown() const {
  return Mode() == PHONEHOOKSWITCHMODE_UNKNOWN;
}

bool TzvTapiPhoneHookSwitch::GetOnHook() const {
  return (Mode() & (PHONEHOOKSWITCHMODE_ONHOOK | PHONEHOOKSWITCHMODE_UNKNOWN)) != 0;
}

bool TzvTapiPhoneHookSwitch::GetSpeakerActive() const {
  const Cardinal mode = Mode();
  return mode == PHONEHOOKSWITCHMODE_SPEAKER || mode == PHONEHOOKSWITCHMODE_MICSPEAKER;
}

bool TzvTapiPhoneHookSwitch::GetMicroActive() const {
  const Cardinal mode = Mode();
  return mode == PHONEHOOKSWITCHMODE_MIC || mode == PHONEHOOKSWITCHMODE_MICSPEAKER;
}

Cardinal TzvTapiPhoneHookSwitch::GetGain() const {
  CheckDevice();
  if (!FPhone) return 0;
  return FPhone->Status().Get_DWORD(FieldsOf(FHookSwitchDevice)->GainIndex);
}

Cardinal TzvTapiPhoneHookSwitch::GetVolume() const {
  const THookSwitchFields* fields = FieldsOf(FHookSwitchDevice);
  ZV_ASSERT_MSG(fields != nullptr, kInvalidHookSwitchDevice);
  if (!FPhone) return 0;
  return FPhone->Status().Get_DWORD(fields->VolumeIndex);
}

void TzvTapiPhoneHookSwitch::CheckWritable() const {
  if (!FPhone) RaiseError("No phone device");
  if (!FPhone->Active()) RaiseError("Phone device not active");
}

void TzvTapiPhoneHookSwitch::SetMode(Cardinal Mode) {
  CheckWritable();
  FPhone->CompleteRequest(phoneSetHookSwitch(FPhone->Handle(), FHookSwitchDevice, Mode),
                          TAPIREQUEST_PHONESETHOOKSWITCH, this);
}

void TzvTapiPhoneHookSwitch::SetOnHook(bool Value) {
  SetMode(Value ? PHONEHOOKSWITCHMODE_ONHOOK : PHONEHOOKSWITCHMODE_MICSPEAKER);
}

void TzvTapiPhoneHookSwitch::SetSpeakerActive(bool Value) {
  CheckWritable();
  if (MicroActive()) {
    SetMode(Value ? PHONEHOOKSWITCHMODE_MICSPEAKER : PHONEHOOKSWITCHMODE_MIC);
  } else {
    SetMode(Value ? PHONEHOOKSWITCHMODE_SPEAKER : PHONEHOOKSWITCHMODE_ONHOOK);
  }
}

void TzvTapiPhoneHookSwitch::SetMicroActive(bool Value) {
  CheckWritable();
  if (SpeakerActive()) {
    SetMode(Value ? PHONEHOOKSWITCHMODE_MICSPEAKER : PHONEHOOKSWITCHMODE_SPEAKER);
  } else {
    SetMode(Value ? PHONEHOOKSWITCHMODE_MIC : PHONEHOOKSWITCHMODE_ONHOOK);
  }
}

void TzvTapiPhoneHookSwitch::SetGain(Cardinal Value) {
  CheckWritable();
  FPhone->CompleteRequest(phoneSetGain(FPhone->Handle(), FHookSwitchDevice, Value),
                          TAPIREQUEST_PHONESETGAIN, this);
}

void TzvTapiPhoneHookSwitch::SetVolume(Cardinal Value) {
  CheckWritable();
  FPhone->CompleteRequest(phoneSetVolume(FPhone->Handle(), FHookSwitchDevice, Value),
                          TAPIREQUEST_PHONESETVOLUME, this);
}

// ---------------------------------------------------------------------------------------------
// TzvTapiPhoneControl

TzvTapiPhoneButtonInfo::TzvTapiPhoneButtonInfo(TzvCustomTapiPhone* APhone, Cardinal AButtonLampID)
    : TzvTapiStructCache(kButtonInfoSize), FPhone(APhone), FButtonLampID(AButtonLampID) {}

int32_t TzvTapiPhoneButtonInfo::Query(void* structure) {
  return phoneGetButtonInfoW(FPhone->Handle(), FButtonLampID,
                             static_cast<::PHONEBUTTONINFO*>(structure));
}

TzvTapiPhoneControl::TzvTapiPhoneControl(TzvCustomTapiPhone* OwnerPhone, Cardinal BtnLampID)
    : FPhone(OwnerPhone), FButtonLampID(BtnLampID), FButtonInfo(OwnerPhone, BtnLampID) {
  Update();
}

Cardinal TzvTapiPhoneControl::UpdateData() {
  if (!FPhone->Active()) return 0;
  return FButtonInfo.UpdateData();
}

void TzvTapiPhoneControl::Update() {
  Invalidate();
  const Cardinal result = UpdateData();
  if (IsTapiError(result)) RaiseTapiError(result);
}

void TzvTapiPhoneControl::Invalidate() {
  FButtonInfo.Invalidate();
}

const ::PHONEBUTTONINFO* TzvTapiPhoneControl::Info() {
  UpdateData();
  if (!FPhone->Active() || !FButtonInfo.CachedData()) return nullptr;
  return FButtonInfo.FetchedAs<::PHONEBUTTONINFO>();
}

Cardinal TzvTapiPhoneControl::ButtonMode() {
  if (const ::PHONEBUTTONINFO* info = Info()) return info->dwButtonMode;
  if (FPhone->Available() && FPhone->Caps().Available()) {
    return FPhone->Caps().Get_ButtonMode(FButtonLampID);
  }
  return 0;
}

Cardinal TzvTapiPhoneControl::ButtonFunction() {
  if (const ::PHONEBUTTONINFO* info = Info()) return info->dwButtonFunction;
  if (FPhone->Available() && FPhone->Caps().Available()) {
    return FPhone->Caps().Get_ButtonFunction(FButtonLampID);
  }
  return 0;
}

Cardinal TzvTapiPhoneControl::ButtonState() {
  const ::PHONEBUTTONINFO* info = Info();
  return info ? info->dwButtonState : 0;
}

std::string TzvTapiPhoneControl::ButtonText() {
  if (!Info()) return {};
  return GetTapiString(FButtonInfo.Buffer(), offsetof(::PHONEBUTTONINFO, dwButtonTextSize),
                       FPhone->Caps().StringFormat());
}

Cardinal TzvTapiPhoneControl::LampMode() {
  UpdateData();
  if (FPhone->Active() && FPhone->Status().Available()) {
    Cardinal mode = FPhone->Status().Get_LampMode(FButtonLampID);
    if (mode == 0 || mode == PHONELAMPMODE_UNKNOWN) {
      DWORD answer = 0;
      if (phoneGetLamp(FPhone->Handle(), FButtonLampID, &answer) == 0) mode = answer;
    }
    return mode;
  }
  // Closed: what the lamp can show.
  if (FPhone->Available() && FPhone->Caps().Available()) {
    return FPhone->Caps().Get_LampMode(FButtonLampID);
  }
  return 0;
}

void TzvTapiPhoneControl::SetLampMode(Cardinal Value) {
  FPhone->SetLamp(this, Value);
}

bool TzvTapiPhoneControl::IsButton() {
  const Cardinal mode = ButtonMode();
  return mode != 0 && mode != PHONEBUTTONMODE_DUMMY;
}

bool TzvTapiPhoneControl::IsLamp() {
  const Cardinal mode = LampMode();
  return mode != 0 && mode != PHONELAMPMODE_DUMMY && mode != PHONELAMPMODE_UNKNOWN;
}

std::string TzvTapiPhoneControl::ButtonModeText() {
  return TapiButtonModeText(ButtonMode());
}

std::string TzvTapiPhoneControl::ButtonFunctionText() {
  return TapiButtonFunctionText(ButtonFunction());
}

std::string TzvTapiPhoneControl::ButtonStateText() {
  return TapiButtonStateText(ButtonState());
}

std::string TzvTapiPhoneControl::LampModeText() {
  return TapiLampModeText(LampMode());
}

// ---------------------------------------------------------------------------------------------
// TzvTapiPhoneControlList

void TzvTapiPhoneControlList::Put(int Index, std::unique_ptr<TzvTapiPhoneControl> Item) {
  FItems.at(static_cast<size_t>(Index)) = std::move(Item);
}

int TzvTapiPhoneControlList::Add(std::unique_ptr<TzvTapiPhoneControl> Item) {
  FItems.push_back(std::move(Item));
  return Count() - 1;
}

void TzvTapiPhoneControlList::Update() {
  for (const auto& control : FItems)
    control->Update();
}

// ---------------------------------------------------------------------------------------------
// TzvTapiPhoneDisplay

TzvTapiPhoneDisplay::TzvTapiPhoneDisplay(TzvCustomTapiPhone* OwnerPhone) : FPhone(OwnerPhone) {
  ZV_ASSERT_MSG(FPhone != nullptr, "TzvTapiPhoneDisplay.Create failed! No Phone Device");
}

bool TzvTapiPhoneDisplay::Available() const {
  return FPhone && FPhone->Caps().Available() && FPhone->Caps().DisplayNumColumns() != 0 &&
         FPhone->Caps().DisplayNumRows() != 0;
}

Cardinal TzvTapiPhoneDisplay::NumRows() const {
  return FPhone ? FPhone->Caps().DisplayNumRows() : 0;
}

Cardinal TzvTapiPhoneDisplay::NumColumns() const {
  return FPhone ? FPhone->Caps().DisplayNumColumns() : 0;
}

std::string TzvTapiPhoneDisplay::Text() const {
  if (!FPhone || !FPhone->Status().Available()) return {};
  return FPhone->Status().Display();
}

void TzvTapiPhoneDisplay::SetText(const std::string& Value) {
  FPhone->SetDisplayText(this, Value);
}

// ---------------------------------------------------------------------------------------------
// TzvTapiPhoneRinger

bool TzvTapiPhoneRinger::Available() const {
  return FPhone && FPhone->Caps().NumRingModes() != 0;
}

Cardinal TzvTapiPhoneRinger::Mode() const {
  return FPhone ? FPhone->Status().RingMode() : 0;
}

Cardinal TzvTapiPhoneRinger::Volume() const {
  return FPhone ? FPhone->Status().RingVolume() : 0;
}

void TzvTapiPhoneRinger::SetMode(Cardinal Value) {
  FPhone->SetRing(this, Value, Volume());
}

void TzvTapiPhoneRinger::SetVolume(Cardinal Value) {
  FPhone->SetRing(this, Mode(), Value);
}

}  // namespace zvtapi
