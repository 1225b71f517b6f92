#include "tapi/line_caps.h"

#include <cstddef>

#include "tapi/application.h"
#include "tapi/errors.h"
#include "tapi/line.h"
#include "tapi/tsp.h"
#include "tapi32/tapi.h"

namespace zvtapi {

namespace {

// Field offsets by property index. The line name's size and offset (4, 5) come before
// PermanentLineID (6) although the structure stores it first; the dial parameters and the
// permanent line GUID have no index.
constexpr Cardinal LineCapsFields[] = {
    offsetof(::LINEDEVCAPS, dwProviderInfoSize),
    offsetof(::LINEDEVCAPS, dwProviderInfoOffset),
    offsetof(::LINEDEVCAPS, dwSwitchInfoSize),
    offsetof(::LINEDEVCAPS, dwSwitchInfoOffset),
    offsetof(::LINEDEVCAPS, dwLineNameSize),
    offsetof(::LINEDEVCAPS, dwLineNameOffset),
    offsetof(::LINEDEVCAPS, dwPermanentLineID),
    offsetof(::LINEDEVCAPS, dwStringFormat),
    offsetof(::LINEDEVCAPS, dwAddressModes),
    offsetof(::LINEDEVCAPS, dwNumAddresses),
    offsetof(::LINEDEVCAPS, dwBearerModes),
    offsetof(::LINEDEVCAPS, dwMaxRate),
    offsetof(::LINEDEVCAPS, dwMediaModes),
    offsetof(::LINEDEVCAPS, dwGenerateToneModes),
    offsetof(::LINEDEVCAPS, dwGenerateToneMaxNumFreq),
    offsetof(::LINEDEVCAPS, dwGenerateDigitModes),
    offsetof(::LINEDEVCAPS, dwMonitorToneMaxNumFreq),
    offsetof(::LINEDEVCAPS, dwMonitorToneMaxNumEntries),
    offsetof(::LINEDEVCAPS, dwMonitorDigitModes),
    offsetof(::LINEDEVCAPS, dwGatherDigitsMinTimeout),
    offsetof(::LINEDEVCAPS, dwGatherDigitsMaxTimeout),
    offsetof(::LINEDEVCAPS, dwMedCtlDigitMaxListSize),
    offsetof(::LINEDEVCAPS, dwMedCtlMediaMaxListSize),
    offsetof(::LINEDEVCAPS, dwMedCtlToneMaxListSize),
    offsetof(::LINEDEVCAPS, dwMedCtlCallStateMaxListSize),
    offsetof(::LINEDEVCAPS, dwDevCapFlags),
    offsetof(::LINEDEVCAPS, dwMaxNumActiveCalls),
    offsetof(::LINEDEVCAPS, dwAnswerMode),
    offsetof(::LINEDEVCAPS, dwRingModes),
    offsetof(::LINEDEVCAPS, dwLineStates),
    offsetof(::LINEDEVCAPS, dwUUIAcceptSize),
    offsetof(::LINEDEVCAPS, dwUUIAnswerSize),
    offsetof(::LINEDEVCAPS, dwUUIMakeCallSize),
    offsetof(::LINEDEVCAPS, dwUUIDropSize),
    offsetof(::LINEDEVCAPS, dwUUISendUserUserInfoSize),
    offsetof(::LINEDEVCAPS, dwUUICallInfoSize),
    offsetof(::LINEDEVCAPS, dwNumTerminals),
    offsetof(::LINEDEVCAPS, dwTerminalCapsSize),
    offsetof(::LINEDEVCAPS, dwTerminalCapsOffset),
    offsetof(::LINEDEVCAPS, dwTerminalTextEntrySize),
    offsetof(::LINEDEVCAPS, dwTerminalTextSize),
    offsetof(::LINEDEVCAPS, dwTerminalTextOffset),
    offsetof(::LINEDEVCAPS, dwDevSpecificSize),
    offsetof(::LINEDEVCAPS, dwDevSpecificOffset),
    offsetof(::LINEDEVCAPS, dwLineFeatures),
    offsetof(::LINEDEVCAPS, dwSettableDevStatus),
    offsetof(::LINEDEVCAPS, dwDeviceClassesSize),
    offsetof(::LINEDEVCAPS, dwDeviceClassesOffset),
};
static_assert(std::size(LineCapsFields) == TzvTapiLineCaps::DWORDCount);

constexpr const char* LineCapsNames[] = {
    "ProviderInfoSize",
    "ProviderInfoOffset",
    "SwitchInfoSize",
    "SwitchInfoOffset",
    "LineNameSize",
    "LineNameOffset",
    "PermanentLineID",
    "StringFormat",
    "AddressModes",
    "NumAddresses",
    "BearerModes",
    "MaxRate",
    "MediaModes",
    "GenerateToneModes",
    "GenerateToneMaxNumFreq",
    "GenerateDigitModes",
    "MonitorToneMaxNumFreq",
    "MonitorToneMaxNumEntries",
    "MonitorDigitModes",
    "GatherDigitsMinTimeout",
    "GatherDigitsMaxTimeout",
    "MedCtlDigitMaxListSize",
    "MedCtlMediaMaxListSize",
    "MedCtlToneMaxListSize",
    "MedCtlCallStateMaxListSize",
    "DevCapFlags",
    "MaxNumActiveCalls",
    "AnswerMode",
    "RingModes",
    "LineStates",
    "UUIAcceptSize",
    "UUIAnswerSize",
    "UUIMakeCallSize",
    "UUIDropSize",
    "UUISendUserUserInfoSize",
    "UUICallInfoSize",
    "NumTerminals",
    "TerminalCapsSize",
    "TerminalCapsOffset",
    "TerminalTextEntrySize",
    "TerminalTextSize",
    "TerminalTextOffset",
    "DevSpecificSize",
    "DevSpecificOffset",
    "LineFeatures",
    "SettableDevStatus",
    "DeviceClassesSize",
    "DeviceClassesOffset",
};
static_assert(std::size(LineCapsNames) == TzvTapiLineCaps::DWORDCount);

// The size fields of ProviderInfo, SwitchInfo and LineName.
constexpr Cardinal LineCapsStrings[] = {
    offsetof(::LINEDEVCAPS, dwProviderInfoSize),
    offsetof(::LINEDEVCAPS, dwSwitchInfoSize),
    offsetof(::LINEDEVCAPS, dwLineNameSize),
};

constexpr Cardinal LineStatusFields[] = {
    offsetof(::LINEDEVSTATUS, dwNumOpens),
    offsetof(::LINEDEVSTATUS, dwOpenMediaModes),
    offsetof(::LINEDEVSTATUS, dwNumActiveCalls),
    offsetof(::LINEDEVSTATUS, dwNumOnHoldCalls),
    offsetof(::LINEDEVSTATUS, dwNumOnHoldPendCalls),
    offsetof(::LINEDEVSTATUS, dwLineFeatures),
    offsetof(::LINEDEVSTATUS, dwNumCallCompletions),
    offsetof(::LINEDEVSTATUS, dwRingMode),
    offsetof(::LINEDEVSTATUS, dwSignalLevel),
    offsetof(::LINEDEVSTATUS, dwBatteryLevel),
    offsetof(::LINEDEVSTATUS, dwRoamMode),
    offsetof(::LINEDEVSTATUS, dwDevStatusFlags),
    offsetof(::LINEDEVSTATUS, dwAvailableMediaModes),
};

// The first buffer: LINEDEVCAPS's fixed part, and 512 bytes for LINEDEVSTATUS (more than its
// fixed part). The fetch loop asks with at least 1024 bytes in any case.
constexpr Cardinal LineCapsInitialSize = sizeof(::LINEDEVCAPS);
constexpr Cardinal LineStatusInitialSize = sizeof(::LINEDEVSTATUS) > 512 ? sizeof(::LINEDEVSTATUS)
                                                                         : 512;

Cardinal LineApp() {
  return zvTapiApplication != nullptr ? zvTapiApplication->LineApp() : 0;
}

}  // namespace

// --- TzvTapiLineCaps -----------------------------------------------------------------------

TzvTapiLineCaps::TzvTapiLineCaps(TzvCustomTapiLine* AOwner)
    : TzvTapiStructCache(LineCapsInitialSize), FLine(AOwner) {}

TzvTapiLineCaps::~TzvTapiLineCaps() = default;

int32_t TzvTapiLineCaps::Query(void* structure) {
  ZV_ASSERT(FLine != nullptr);
  const TzvTapiTSP* tsp = FLine->TSP();
  return lineGetDevCapsW(
      LineApp(), static_cast<DWORD>(FLine->DeviceID()), tsp != nullptr ? tsp->APIVersion() : 0,
      tsp != nullptr ? tsp->ExtVersion() : 0, static_cast<::LINEDEVCAPS*>(structure));
}

void TzvTapiLineCaps::Invalidate() {
  TzvTapiStructCache::Invalidate();
  FDeviceClasses.Clear();
  FDeviceClassesBuilt = false;
}

Cardinal TzvTapiLineCaps::GetDWORD(Integer Index) {
  ZV_ASSERT(FLine != nullptr);
  if (Index < 0 || Index >= DWORDCount) {
    UpdateData();
    return 0;
  }
  return ReadDWORD(LineCapsFields[Index]);
}

std::string TzvTapiLineCaps::GetString(Integer Index) {
  ZV_ASSERT(FLine != nullptr);
  if (Index < 0 || Index >= static_cast<Integer>(std::size(LineCapsStrings))) {
    UpdateData();
    return {};
  }
  return ReadString(LineCapsStrings[Index]);
}

const TStringList& TzvTapiLineCaps::DeviceClasses() {
  if (!FDeviceClassesBuilt) {
    FDeviceClasses = std::move(*ReadStringList(offsetof(::LINEDEVCAPS, dwDeviceClassesSize)));
    // Without a structure the empty list is not final: the next read tries again.
    FDeviceClassesBuilt = Buffer().Assigned();
  }
  return FDeviceClasses;
}

const ::LINEDEVCAPS* TzvTapiLineCaps::LINEDEVCAPS() {
  ZV_ASSERT(FLine != nullptr);
  return FetchedAs<::LINEDEVCAPS>();
}

const char* TzvTapiLineCaps::DWORDName(Integer Index) {
  return Index >= 0 && Index < DWORDCount ? LineCapsNames[Index] : "";
}

std::string TzvTapiLineCaps::TextDump() {
  std::string result = Format("DeviceCaps of %s", LineName().c_str());
  result += Format("\r\n  ProviderInfo = %s", ProviderInfo().c_str());
  result += Format("\r\n  SwitchInfo = %s", SwitchInfo().c_str());
  result += Format("\r\n  LineName = %s", LineName().c_str());
  // The size/offset pairs of the three texts above are not repeated.
  for (Integer index = 6; index < DWORDCount; ++index) {
    result += Format("\r\n  %s = x%X", LineCapsNames[index], GetDWORD(index));
  }
  return result;
}

// --- TzvTapiLineStatus ---------------------------------------------------------------------

TzvTapiLineStatus::TzvTapiLineStatus(TzvCustomTapiLine* AOwner)
    : TzvTapiStructCache(LineStatusInitialSize), FLine(AOwner) {
  ZV_ASSERT(FLine != nullptr);
}

int32_t TzvTapiLineStatus::Query(void* structure) {
  ZV_ASSERT(FLine != nullptr);
  return lineGetLineDevStatusW(FLine->Handle(), static_cast<::LINEDEVSTATUS*>(structure));
}

Cardinal TzvTapiLineStatus::GetDWORD(Integer Index) {
  ZV_ASSERT(FLine != nullptr);
  if (UpdateData() != 0) return 0;
  ZV_ASSERT_MSG(Index >= 0 && Index < static_cast<Integer>(std::size(LineStatusFields)),
                "TzvTapiLineStatus.GetDWORD failed! Invalid Index");
  return ReadDWORD(LineStatusFields[Index]);
}

const ::LINEDEVSTATUS* TzvTapiLineStatus::LINEDEVSTATUS() {
  return FetchedAs<::LINEDEVSTATUS>();
}

}  // namespace zvtapi
