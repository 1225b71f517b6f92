#include "tapi/tsp.h"

#include <cstring>

#include "tapi/application.h"
#include "tapi/errors.h"

namespace zvtapi {

TzvTapiTSP::TzvTapiTSP(TzvTapiDevice* ATapiDevice) : FDevice(ATapiDevice) {}

void TzvTapiTSP::Assign(const TzvTapiTSP& Source) {
  FDeviceID = Source.FDeviceID;
  FExtensionID = Source.FExtensionID;
  FExtLowVersion = Source.FExtLowVersion;
  FExtHighVersion = Source.FExtHighVersion;
  FExtVersion = Source.FExtVersion;
  FAPILowVersion = Source.FAPILowVersion;
  FAPIHighVersion = Source.FAPIHighVersion;
  FAPIVersion = Source.FAPIVersion;
}

void TzvTapiTSP::AssignVersionBounds(const TzvTapiTSP& Source) {
  FAPILowVersion = Source.FAPILowVersion;
  FAPIHighVersion = Source.FAPIHighVersion;
  FExtLowVersion = Source.FExtLowVersion;
  FExtHighVersion = Source.FExtHighVersion;
  Update();
}

Cardinal TzvTapiTSP::Init(Integer DeviceID) {
  FDeviceID = DeviceID;
  if (DeviceID >= 0) return Update();
  Done();
  return 0;
}

void TzvTapiTSP::Done() {
  FDeviceID = -1;
  FExtVersion = 0;
  FAPIVersion = 0;
  FExtensionID = {};
}

Cardinal TzvTapiTSP::Update() {
  FAPIVersion = 0;
  FExtVersion = 0;
  if (FDeviceID < 0) return 0;
  const Cardinal result = NegotiateAPIVersion();
  // Extensions are a bonus: a device whose provider refuses them stays usable.
  if (result == 0 && (FExtLowVersion != 0 || FExtHighVersion != 0)) NegotiateExtVersion();
  return result;
}

void TzvTapiTSP::SetVersionBound(int Index, Cardinal Value) {
  switch (Index) {
    case 0:
      FAPILowVersion = Value;
      break;
    case 1:
      FAPIHighVersion = Value;
      break;
    case 2:
      FExtLowVersion = Value;
      break;
    case 3:
      FExtHighVersion = Value;
      break;
    default:
      break;
  }
  Update();
}

Cardinal TzvTapiTSP::GetExtensionIDPart(int Index) const {
  switch (Index) {
    case 0:
      return FExtensionID.dwExtensionID0;
    case 1:
      return FExtensionID.dwExtensionID1;
    case 2:
      return FExtensionID.dwExtensionID2;
    case 3:
      return FExtensionID.dwExtensionID3;
    default:
      RaiseError("Invalid index");
  }
}

bool TzvTapiTSP::CompareExtensionID(const LINEEXTENSIONID& value) const {
  return std::memcmp(&value, &FExtensionID, sizeof(value)) == 0;
}

bool TzvTapiTSP::CompareExtensionID(const PHONEEXTENSIONID& value) const {
  static_assert(sizeof(PHONEEXTENSIONID) == sizeof(FExtensionID));
  return std::memcmp(&value, &FExtensionID, sizeof(value)) == 0;
}

bool TzvTapiTSP::CompareExtensionIDs(Cardinal ID0, Cardinal ID1, Cardinal ID2, Cardinal ID3) const {
  return FExtensionID.dwExtensionID0 == ID0 && FExtensionID.dwExtensionID1 == ID1 &&
         FExtensionID.dwExtensionID2 == ID2 && FExtensionID.dwExtensionID3 == ID3;
}

namespace {

TzvTapiApplication& Appl() {
  ZV_ASSERT(zvTapiApplication != nullptr);
  return *zvTapiApplication;
}

}  // namespace

Cardinal TzvTapiLineTSP::NegotiateAPIVersion() {
  FAPIVersion = 0;
  return static_cast<Cardinal>(
      lineNegotiateAPIVersion(Appl().LineApp(), static_cast<DWORD>(FDeviceID), FAPILowVersion,
                              FAPIHighVersion, &FAPIVersion, &FExtensionID));
}

Cardinal TzvTapiLineTSP::NegotiateExtVersion() {
  FExtVersion = 0;
  return static_cast<Cardinal>(
      lineNegotiateExtVersion(Appl().LineApp(), static_cast<DWORD>(FDeviceID), FAPIVersion,
                              FExtLowVersion, FExtHighVersion, &FExtVersion));
}

Cardinal TzvTapiPhoneTSP::NegotiateAPIVersion() {
  FAPIVersion = 0;
  PHONEEXTENSIONID extension{};
  const Cardinal result = static_cast<Cardinal>(
      phoneNegotiateAPIVersion(Appl().PhoneApp(), static_cast<DWORD>(FDeviceID), FAPILowVersion,
                               FAPIHighVersion, &FAPIVersion, &extension));
  std::memcpy(&FExtensionID, &extension, sizeof(extension));
  return result;
}

Cardinal TzvTapiPhoneTSP::NegotiateExtVersion() {
  FExtVersion = 0;
  return static_cast<Cardinal>(
      phoneNegotiateExtVersion(Appl().PhoneApp(), static_cast<DWORD>(FDeviceID), FAPIVersion,
                               FExtLowVersion, FExtHighVersion, &FExtVersion));
}

}  // namespace zvtapi
