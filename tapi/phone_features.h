// What a phone is made of, as properties: its capabilities (PHONECAPS) and status
// (PHONESTATUS) caches, the three hook-switch devices, one control per button/lamp, the display
// and the ringer. Reads fetch from TAPI on demand and cache; writes go to TAPI as the phone's
// asynchronous requests.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tapi/struct_cache.h"
#include "tapi32/tapi_structs.h"

namespace zvtapi {

class TzvCustomTapiPhone;

// PHONECAPS of the phone's device, fetched with phoneGetDevCapsW for the versions the phone
// negotiated. Works while the phone is closed.
class TzvTapiPhoneCaps : public TzvTapiStructCache {
 public:
  explicit TzvTapiPhoneCaps(TzvCustomTapiPhone* AOwner);

  TzvCustomTapiPhone* Phone() const { return FPhone; }
  // Also drops the device class list built from the dropped structure.
  void Invalidate() override;

  // Index k is the k-th 32-bit field, 0 (dwTotalSize) to 44
  // (dwMonitoredHeadsetHookSwitchModes); 0 when nothing can be fetched. With a structure at
  // hand any other index fails the assertion "TapiPhoneCaps.Get_DWORD failed! Invalid index".
  Cardinal Get_DWORD(Integer Index);
  // 0 ProviderInfo, 1 PhoneInfo, 2 PhoneName, 7 DevSpecific (read as UTF-16 text); empty for
  // any other index and when nothing can be fetched.
  std::string Get_String(Integer Index);
  // The device class names; empty when the capabilities cannot be fetched.
  const TStringList& DeviceClasses();
  // Entries of the button-mode, button-function and lamp-mode arrays by button/lamp ID; 0 when
  // nothing can be fetched, an exception "...failed! Invalid Index" past the array's end.
  Cardinal Get_ButtonMode(Cardinal Index);
  Cardinal Get_ButtonFunction(Cardinal Index);
  Cardinal Get_LampMode(Cardinal Index);
  // The fetched structure; null when the fetch failed.
  virtual const ::PHONECAPS* GetPHONECAPS();
  const ::PHONECAPS* PHONECAPS() { return GetPHONECAPS(); }

  std::string ProviderInfo() { return Get_String(0); }
  std::string PhoneInfo() { return Get_String(1); }
  std::string PhoneName() { return Get_String(2); }
  std::string DevSpecific() { return Get_String(7); }

  Cardinal TotalSize() { return Get_DWORD(0); }
  Cardinal NeededSize() { return Get_DWORD(1); }
  Cardinal UsedSize() { return Get_DWORD(2); }
  Cardinal ProviderInfoSize() { return Get_DWORD(3); }
  Cardinal ProviderInfoOffset() { return Get_DWORD(4); }
  Cardinal PhoneInfoSize() { return Get_DWORD(5); }
  Cardinal PhoneInfoOffset() { return Get_DWORD(6); }
  Cardinal PermanentPhoneID() { return Get_DWORD(7); }
  Cardinal PhoneNameSize() { return Get_DWORD(8); }
  Cardinal PhoneNameOffset() { return Get_DWORD(9); }
  Cardinal StringFormat() { return Get_DWORD(10); }
  Cardinal PhoneStates() { return Get_DWORD(11); }
  Cardinal HookSwitchDevs() { return Get_DWORD(12); }
  Cardinal HandsetHookSwitchModes() { return Get_DWORD(13); }
  Cardinal SpeakerHookSwitchModes() { return Get_DWORD(14); }
  Cardinal HeadsetHookSwitchModes() { return Get_DWORD(15); }
  Cardinal VolumeFlags() { return Get_DWORD(16); }
  Cardinal GainFlags() { return Get_DWORD(17); }
  Cardinal DisplayNumRows() { return Get_DWORD(18); }
  Cardinal DisplayNumColumns() { return Get_DWORD(19); }
  Cardinal NumRingModes() { return Get_DWORD(20); }
  Cardinal NumButtonLamps() { return Get_DWORD(21); }
  Cardinal ButtonModesSize() { return Get_DWORD(22); }
  Cardinal ButtonModesOffset() { return Get_DWORD(23); }
  Cardinal ButtonFunctionsSize() { return Get_DWORD(24); }
  Cardinal ButtonFunctionsOffset() { return Get_DWORD(25); }
  Cardinal LampModesSize() { return Get_DWORD(26); }
  Cardinal LampModesOffset() { return Get_DWORD(27); }
  Cardinal NumSetData() { return Get_DWORD(28); }
  Cardinal SetDataSize() { return Get_DWORD(29); }
  Cardinal SetDataOffset() { return Get_DWORD(30); }
  Cardinal NumGetData() { return Get_DWORD(31); }
  Cardinal GetDataSize() { return Get_DWORD(32); }
  Cardinal GetDataOffset() { return Get_DWORD(33); }
  Cardinal DevSpecificSize() { return Get_DWORD(34); }
  Cardinal DevSpecificOffset() { return Get_DWORD(35); }
  Cardinal DeviceClassesSize() { return Get_DWORD(36); }
  Cardinal DeviceClassesOffset() { return Get_DWORD(37); }
  Cardinal PhoneFeatures() { return Get_DWORD(38); }
  Cardinal SettableHandsetHookSwitchModes() { return Get_DWORD(39); }
  Cardinal SettableSpeakerHookSwitchModes() { return Get_DWORD(40); }
  Cardinal SettableHeadsetHookSwitchModes() { return Get_DWORD(41); }
  Cardinal MonitoredHandsetHookSwitchModes() { return Get_DWORD(42); }
  Cardinal MonitoredSpeakerHookSwitchModes() { return Get_DWORD(43); }
  Cardinal MonitoredHeadsetHookSwitchModes() { return Get_DWORD(44); }

 protected:
  int32_t Query(void* structure) override;
  void Filled() override { Compact(); }

 private:
  TzvCustomTapiPhone* FPhone;
  TStringList FDeviceClasses;
  bool FDeviceClassesBuilt = false;
};

// PHONESTATUS of the open phone, fetched with phoneGetStatusW on the phone's current handle.
// A closed phone (handle 0) cannot be asked, so everything then reads 0.
class TzvTapiPhoneStatus : public TzvTapiStructCache {
 public:
  // Asserts that the owner is given.
  explicit TzvTapiPhoneStatus(TzvCustomTapiPhone* AOwner);

  TzvCustomTapiPhone* Phone() const { return FPhone; }

  // Index k is the k-th 32-bit field, 0 (dwTotalSize) to 25 (dwPhoneFeatures); 0 when nothing
  // can be fetched. With a structure at hand any other index fails the assertion
  // "TzvTapiPhoneStatus.Get_DWORD failed! Invalid Index".
  Cardinal Get_DWORD(Integer Index);
  // Patches field Index of the structure, fetching it first; false when it cannot be fetched.
  // PHONE_STATE tells some new values before the provider's status shows them.
  bool Set_DWORD(Integer Index, Cardinal Value);
  // 0 Display (in the capabilities' string format), 2 OwnerName, 3 DevSpecific; 1 is empty.
  // With a structure at hand an index above 3 fails the assertion
  // "TzvTapiPhoneStatus.Get_String failed! Invalid Index".
  std::string Get_String(Integer Index);
  // The lamp-mode array by button/lamp ID: 0 when nothing can be fetched, an exception
  // "TzvTapiPhoneStatus.Get_LampMode failed! Invalid Index" past its end.
  Cardinal Get_LampMode(Cardinal Index);
  // Patches an entry of the cached array; does nothing when nothing is cached or Index is past
  // its end. Fetches nothing.
  void Set_LampMode(Cardinal Index, Cardinal Mode);
  // The fetched structure; null when the fetch failed.
  const ::PHONESTATUS* PHONESTATUS() { return FetchedAs<::PHONESTATUS>(); }

  std::string Display() { return Get_String(0); }
  std::string OwnerName() { return Get_String(2); }
  std::string DevSpecific() { return Get_String(3); }

  Cardinal StatusFlags() { return Get_DWORD(3); }
  Cardinal NumOwners() { return Get_DWORD(4); }
  Cardinal NumMonitors() { return Get_DWORD(5); }
  Cardinal RingMode() { return Get_DWORD(6); }
  Cardinal RingVolume() { return Get_DWORD(7); }
  Cardinal HandsetHookSwitchMode() { return Get_DWORD(8); }
  Cardinal HandsetVolume() { return Get_DWORD(9); }
  Cardinal HandsetGain() { return Get_DWORD(10); }
  Cardinal SpeakerHookSwitchMode() { return Get_DWORD(11); }
  Cardinal SpeakerVolume() { return Get_DWORD(12); }
  Cardinal SpeakerGain() { return Get_DWORD(13); }
  Cardinal HeadsetHookSwitchMode() { return Get_DWORD(14); }
  Cardinal HeadsetVolume() { return Get_DWORD(15); }
  Cardinal HeadsetGain() { return Get_DWORD(16); }
  Cardinal DisplaySize() { return Get_DWORD(17); }
  Cardinal DisplayOffset() { return Get_DWORD(18); }
  Cardinal LampModesSize() { return Get_DWORD(19); }
  Cardinal LampModesOffset() { return Get_DWORD(20); }
  Cardinal OwnerNameSize() { return Get_DWORD(21); }
  Cardinal OwnerNameOffset() { return Get_DWORD(22); }
  Cardinal DevSpecificSize() { return Get_DWORD(23); }
  Cardinal DevSpecificOffset() { return Get_DWORD(24); }
  Cardinal PhoneFeatures() { return Get_DWORD(25); }

 protected:
  int32_t Query(void* structure) override;
  void Filled() override { Compact(); }

 private:
  TzvCustomTapiPhone* FPhone;
};

// One of the phone's hook-switch devices: PHONEHOOKSWITCHDEV_HANDSET, _SPEAKER or _HEADSET.
// Reads come from the capabilities and the status; writes are requests of the phone, and the
// PHONE_STATE that follows them brings the new status.
class TzvTapiPhoneHookSwitch : public TObject {
 public:
  // Asserts that AHookSwitchDevice has one of the three device bits.
  TzvTapiPhoneHookSwitch(TzvCustomTapiPhone* AOwner, Cardinal AHookSwitchDevice);

  TzvCustomTapiPhone* Phone() const { return FPhone; }
  Cardinal HookSwitchDevice() const { return FHookSwitchDevice; }
  // The device exists on the phone; Enabled: and the phone is open.
  bool Available() const;
  bool Enabled() const;

  virtual Cardinal GetGain() const;
  virtual bool GetGainAvailable() const;
  virtual Cardinal GetModes() const;
  virtual bool GetUnknown() const;
  virtual bool GetOnHook() const;
  virtual bool GetSpeakerActive() const;
  virtual bool GetMicroActive() const;
  virtual Cardinal GetVolume() const;
  virtual bool GetVolumeAvailable() const;

  Cardinal Gain() const { return GetGain(); }
  bool GainAvailable() const { return GetGainAvailable(); }
  Cardinal Modes() const { return GetModes(); }
  bool Unknown() const { return GetUnknown(); }
  bool OnHook() const { return GetOnHook(); }
  bool SpeakerActive() const { return GetSpeakerActive(); }
  bool MicroActive() const { return GetMicroActive(); }
  Cardinal Volume() const { return GetVolume(); }
  bool VolumeAvailable() const { return GetVolumeAvailable(); }

  // Each raises "No phone device" or "Phone device not active" before sending anything.
  void SetGain(Cardinal Value);
  void SetVolume(Cardinal Value);
  void SetOnHook(bool Value);
  void SetSpeakerActive(bool Value);
  void SetMicroActive(bool Value);

 private:
  // The status's hook-switch mode of this device; 0 without a phone or status.
  Cardinal Mode() const;
  // Raises "Invalid HookSwitchDevice" for a device outside the three.
  void CheckDevice() const;
  void CheckWritable() const;
  void SetMode(Cardinal Mode);

  TzvCustomTapiPhone* FPhone;
  Cardinal FHookSwitchDevice;
};

// PHONEBUTTONINFO of one button/lamp, fetched with phoneGetButtonInfoW on the phone's current
// handle. Kept inside its control: a phone may have dozens of buttons.
class TzvTapiPhoneButtonInfo : public TzvTapiStructCache {
 public:
  TzvTapiPhoneButtonInfo(TzvCustomTapiPhone* APhone, Cardinal AButtonLampID);
  using TzvTapiStructCache::FetchedAs;

 protected:
  int32_t Query(void* structure) override;
  // Each keeps no more than its answer.
  void Filled() override { Compact(); }

 private:
  TzvCustomTapiPhone* FPhone;
  Cardinal FButtonLampID;
};

// One button/lamp of the phone. Its button information (PHONEBUTTONINFO) is fetched only while
// the phone is open; a closed but bound phone answers from its capabilities.
class TzvTapiPhoneControl : public TObject {
 public:
  // Stores both and updates (which fetches nothing while the phone is not open).
  TzvTapiPhoneControl(TzvCustomTapiPhone* OwnerPhone, Cardinal BtnLampID);

  TzvCustomTapiPhone* Phone() const { return FPhone; }
  Cardinal ID() const { return FButtonLampID; }
  Cardinal ButtonMode();
  Cardinal ButtonFunction();
  Cardinal ButtonState();
  std::string ButtonText();
  // Open: the lamp's current mode (asking phoneGetLamp when the status does not know it).
  // Closed but bound: the lamp modes the lamp supports.
  Cardinal LampMode();
  void SetLampMode(Cardinal Value);

  // Fetches the button information again; a TAPI refusal raises EzvTapiError.
  void Update();
  void Invalidate();
  bool IsButton();
  bool IsLamp();
  std::string ButtonModeText();
  std::string ButtonFunctionText();
  std::string ButtonStateText();
  std::string LampModeText();

 private:
  // 0 at once while the phone is not open; otherwise the button information's fetch.
  Cardinal UpdateData();
  // The fetched button information while the phone is open; null otherwise.
  const ::PHONEBUTTONINFO* Info();

  TzvCustomTapiPhone* FPhone;
  Cardinal FButtonLampID;
  TzvTapiPhoneButtonInfo FButtonInfo;
};

// The phone's controls in button/lamp ID order; owns them.
class TzvTapiPhoneControlList {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  TzvTapiPhoneControl* Get(int Index) const { return FItems.at(static_cast<size_t>(Index)).get(); }
  // Replaces (and frees) the control at Index.
  void Put(int Index, std::unique_ptr<TzvTapiPhoneControl> Item);
  int Add(std::unique_ptr<TzvTapiPhoneControl> Item);
  void Clear() { FItems.clear(); }
  // Each control's Update, first to last.
  void Update();

 private:
  std::vector<std::unique_ptr<TzvTapiPhoneControl>> FItems;
};

// The phone's display: its size from the capabilities, its text from the status.
class TzvTapiPhoneDisplay : public TObject {
 public:
  // Asserts that a phone is given ("TzvTapiPhoneDisplay.Create failed! No Phone Device").
  explicit TzvTapiPhoneDisplay(TzvCustomTapiPhone* OwnerPhone);

  TzvCustomTapiPhone* Phone() const { return FPhone; }
  bool Available() const;
  Cardinal NumRows() const;
  Cardinal NumColumns() const;
  // As fresh as the last PHONE_STATE: the cached status is read.
  std::string Text() const;
  // Writes from row 0, column 0.
  void SetText(const std::string& Value);

 private:
  TzvCustomTapiPhone* FPhone;
};

// The phone's ringer: whether it can ring, its mode and volume.
class TzvTapiPhoneRinger : public TObject {
 public:
  explicit TzvTapiPhoneRinger(TzvCustomTapiPhone* OwnerPhone) : FPhone(OwnerPhone) {}

  TzvCustomTapiPhone* Phone() const { return FPhone; }
  bool Available() const;
  Cardinal Mode() const;
  Cardinal Volume() const;
  // Each request sends the other value as it stands.
  void SetMode(Cardinal Value);
  void SetVolume(Cardinal Value);

 private:
  TzvCustomTapiPhone* FPhone;
};

}  // namespace zvtapi
