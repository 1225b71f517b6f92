// The line's two structure caches: its device capabilities (LINEDEVCAPS) and the open line's
// status (LINEDEVSTATUS), each read field by field through an index, and the capabilities'
// text dump.
#pragma once

#include <memory>
#include <string>

#include "tapi/struct_cache.h"
#include "tapi32/tapi_structs.h"

namespace zvtapi {

class TzvCustomTapiLine;

// LINEDEVCAPS of the line's device, fetched with lineGetDevCapsW for the versions the line
// negotiated. Works while the line is closed.
class TzvTapiLineCaps : public TzvTapiStructCache {
 public:
  // Stores the owner; fetches nothing.
  explicit TzvTapiLineCaps(TzvCustomTapiLine* AOwner);
  ~TzvTapiLineCaps() override;

  TzvCustomTapiLine* Line() const { return FLine; }

  // Also drops the device class list built from the dropped structure.
  void Invalidate() override;

  // Index 0..47 as in the property list below; 0 for any other index and when nothing can be
  // fetched.
  Cardinal GetDWORD(Integer Index);
  // 0 ProviderInfo, 1 SwitchInfo, 2 LineName, read as UTF-16 whatever dwStringFormat says;
  // empty for any other index and when nothing can be fetched.
  std::string GetString(Integer Index);
  // The NUL-separated device class names; built once per fetched structure and owned here
  // (emptied by Invalidate). Empty when the capabilities cannot be fetched.
  const TStringList& DeviceClasses();
  // The fetched structure; null when the fetch failed.
  const ::LINEDEVCAPS* LINEDEVCAPS();
  // 46 lines joined by CR LF: a title, the three texts, then every numeric property from
  // PermanentLineID (index 6) on as "  Name = x<HEX>".
  std::string TextDump();

  std::string ProviderInfo() { return GetString(0); }
  std::string SwitchInfo() { return GetString(1); }
  std::string LineName() { return GetString(2); }

  Cardinal ProviderInfoSize() { return GetDWORD(0); }
  Cardinal ProviderInfoOffset() { return GetDWORD(1); }
  Cardinal SwitchInfoSize() { return GetDWORD(2); }
  Cardinal SwitchInfoOffset() { return GetDWORD(3); }
  Cardinal LineNameSize() { return GetDWORD(4); }
  Cardinal LineNameOffset() { return GetDWORD(5); }
  Cardinal PermanentLineID() { return GetDWORD(6); }
  Cardinal StringFormat() { return GetDWORD(7); }
  Cardinal AddressModes() { return GetDWORD(8); }
  Cardinal NumAddresses() { return GetDWORD(9); }
  Cardinal BearerModes() { return GetDWORD(10); }
  Cardinal MaxRate() { return GetDWORD(11); }
  Cardinal MediaModes() { return GetDWORD(12); }
  Cardinal GenerateToneModes() { return GetDWORD(13); }
  Cardinal GenerateToneMaxNumFreq() { return GetDWORD(14); }
  Cardinal GenerateDigitModes() { return GetDWORD(15); }
  Cardinal MonitorToneMaxNumFreq() { return GetDWORD(16); }
  Cardinal MonitorToneMaxNumEntries() { return GetDWORD(17); }
  Cardinal MonitorDigitModes() { return GetDWORD(18); }
  Cardinal GatherDigitsMinTimeout() { return GetDWORD(19); }
  Cardinal GatherDigitsMaxTimeout() { return GetDWORD(20); }
  Cardinal MedCtlDigitMaxListSize() { return GetDWORD(21); }
  Cardinal MedCtlMediaMaxListSize() { return GetDWORD(22); }
  Cardinal MedCtlToneMaxListSize() { return GetDWORD(23); }
  Cardinal MedCtlCallStateMaxListSize() { return GetDWORD(24); }
  Cardinal DevCapFlags() { return GetDWORD(25); }
  Cardinal MaxNumActiveCalls() { return GetDWORD(26); }
  Cardinal AnswerMode() { return GetDWORD(27); }
  Cardinal RingModes() { return GetDWORD(28); }
  Cardinal LineStates() { return GetDWORD(29); }
  Cardinal UUIAcceptSize() { return GetDWORD(30); }
  Cardinal UUIAnswerSize() { return GetDWORD(31); }
  Cardinal UUIMakeCallSize() { return GetDWORD(32); }
  Cardinal UUIDropSize() { return GetDWORD(33); }
  Cardinal UUISendUserUserInfoSize() { return GetDWORD(34); }
  Cardinal UUICallInfoSize() { return GetDWORD(35); }
  Cardinal NumTerminals() { return GetDWORD(36); }
  Cardinal TerminalCapsSize() { return GetDWORD(37); }
  Cardinal TerminalCapsOffset() { return GetDWORD(38); }
  Cardinal TerminalTextEntrySize() { return GetDWORD(39); }
  Cardinal TerminalTextSize() { return GetDWORD(40); }
  Cardinal TerminalTextOffset() { return GetDWORD(41); }
  Cardinal DevSpecificSize() { return GetDWORD(42); }
  Cardinal DevSpecificOffset() { return GetDWORD(43); }
  Cardinal LineFeatures() { return GetDWORD(44); }
  Cardinal SettableDevStatus() { return GetDWORD(45); }
  Cardinal DeviceClassesSize() { return GetDWORD(46); }
  Cardinal DeviceClassesOffset() { return GetDWORD(47); }

  // Property names by index, as the text dump prints them.
  static constexpr int DWORDCount = 48;
  static const char* DWORDName(Integer Index);

 protected:
  int32_t Query(void* structure) override;

 private:
  TzvCustomTapiLine* FLine;
  // Lives as long as this object so that references handed out stay valid; its contents
  // belong to the cached structure.
  TStringList FDeviceClasses;
  bool FDeviceClassesBuilt = false;
};

// LINEDEVSTATUS of the open line, fetched with lineGetLineDevStatusW on the line's current
// handle. A closed line (handle 0) cannot be asked, so everything then reads 0.
class TzvTapiLineStatus : public TzvTapiStructCache {
 public:
  // Asserts that the owner is given.
  explicit TzvTapiLineStatus(TzvCustomTapiLine* AOwner);

  TzvCustomTapiLine* Line() const { return FLine; }

  // Index 0..12 as below; 0 when nothing can be fetched. With a structure at hand any other
  // index fails the assertion "TzvTapiLineStatus.GetDWORD failed! Invalid Index".
  Cardinal GetDWORD(Integer Index);
  // The fetched structure; null when the fetch failed.
  const ::LINEDEVSTATUS* LINEDEVSTATUS();

  Cardinal NumOpens() { return GetDWORD(0); }
  Cardinal OpenMediaModes() { return GetDWORD(1); }
  Cardinal NumActiveCalls() { return GetDWORD(2); }
  Cardinal NumOnHoldCalls() { return GetDWORD(3); }
  Cardinal NumOnHoldPendCalls() { return GetDWORD(4); }
  Cardinal LineFeatures() { return GetDWORD(5); }
  Cardinal NumCallCompletions() { return GetDWORD(6); }
  Cardinal RingMode() { return GetDWORD(7); }
  Cardinal SignalLevel() { return GetDWORD(8); }
  Cardinal BatteryLevel() { return GetDWORD(9); }
  Cardinal RoamMode() { return GetDWORD(10); }
  Cardinal DevStatusFlags() { return GetDWORD(11); }
  Cardinal AvailableMediaModes() { return GetDWORD(12); }

 protected:
  int32_t Query(void* structure) override;

 private:
  TzvCustomTapiLine* FLine;
};

}  // namespace zvtapi
