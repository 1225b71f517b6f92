// The device catalogue of the application object: the names of all line and phone devices by
// device ID, with placeholders for devices that cannot be used, kept current when TAPI adds,
// removes or renames devices.
#include <cstddef>

#include "tapi/application.h"
#include "tapi/structures.h"

namespace zvtapi {

namespace {

// What a device's entry says when its version negotiation failed.
std::string NegotiationPlaceholder(bool line, Cardinal deviceID, Cardinal result) {
  const char* kind = line ? "Line" : "Phone";
  if (result == (line ? LINEERR_NODEVICE : PHONEERR_NODEVICE)) {
    return Format("%s Device #%u (removed)", kind, deviceID);
  }
  if (result == (line ? LINEERR_INCOMPATIBLEAPIVERSION : PHONEERR_INCOMPATIBLEAPIVERSION)) {
    // The phone text has always been spelt this way.
    return Format(line ? "Line Device #%u (incompatible)" : "Phone Device #%u (incombatible)",
                  deviceID);
  }
  return Format("%s Device #%u (%s)", kind, deviceID, TapiErrorText(result).c_str());
}

}  // namespace

void TzvTapiApplication::UpdateLineDevice(Cardinal DeviceID) {
  ZV_ASSERT_MSG(DeviceID < static_cast<Cardinal>(FLineDevices.Count()),
                "Invalid DeviceID of TzvTapiApplication.LineDevices");
  if (FLineApp == 0) return;
  try {
    TTapiStruct buffer = AllocTapiStruct(sizeof(LINEDEVCAPS));
    DWORD version = 0;
    LINEEXTENSIONID extension{};
    const Cardinal r = static_cast<Cardinal>(lineNegotiateAPIVersion(
        FLineApp, DeviceID, 0x00010000, kZvTapiVersion, &version, &extension));
    const int index = static_cast<int>(DeviceID);
    if (r != 0) {
      FLineDevices.SetStrings(index, NegotiationPlaceholder(true, DeviceID, r));
      return;
    }
    const Cardinal fetched = FetchTapiStruct(buffer, [&](void* data) {
      return lineGetDevCapsW(FLineApp, DeviceID, version, 0, static_cast<LPLINEDEVCAPS>(data));
    });
    if (fetched == 0) {
      FLineDevices.SetStrings(index,
                              GetTapiString(buffer, offsetof(LINEDEVCAPS, dwLineNameSize), 0));
      FLineDevices.SetObjects(index, buffer.GetDWORD(offsetof(LINEDEVCAPS, dwPermanentLineID)));
    } else {
      FLineDevices.SetStrings(index, Format("Line Device #%u", DeviceID));
    }
  } catch (const std::exception& e) {
    HandleException(e);
  }
}

void TzvTapiApplication::UpdatePhoneDevice(Cardinal DeviceID) {
  ZV_ASSERT_MSG(DeviceID < static_cast<Cardinal>(FPhoneDevices.Count()),
                "Invalid DeviceID of TzvTapiApplication.PhoneDevices");
  if (FPhoneApp == 0) return;
  try {
    TTapiStruct buffer = AllocTapiStruct(sizeof(PHONECAPS));
    DWORD version = 0;
    PHONEEXTENSIONID extension{};
    const Cardinal r = static_cast<Cardinal>(phoneNegotiateAPIVersion(
        FPhoneApp, DeviceID, 0x00010000, kZvTapiVersion, &version, &extension));
    const int index = static_cast<int>(DeviceID);
    if (r != 0) {
      FPhoneDevices.SetStrings(index, NegotiationPlaceholder(false, DeviceID, r));
      return;
    }
    const Cardinal fetched = FetchTapiStruct(buffer, [&](void* data) {
      return phoneGetDevCapsW(FPhoneApp, DeviceID, version, 0, static_cast<LPPHONECAPS>(data));
    });
    if (fetched == 0) {
      FPhoneDevices.SetStrings(index,
                               GetTapiString(buffer, offsetof(PHONECAPS, dwPhoneNameSize), 0));
      FPhoneDevices.SetObjects(index, buffer.GetDWORD(offsetof(PHONECAPS, dwPermanentPhoneID)));
    } else {
      FPhoneDevices.SetStrings(index, Format("Phone Device #%u", DeviceID));
    }
  } catch (const std::exception& e) {
    HandleException(e);
  }
}

void TzvTapiApplication::UpdateLineDevices(bool DetectRenames) {
  const TStringList old = FLineDevices;
  try {
    FLineDevices.Clear();
    if (FLineApp == 0) return;
    for (Cardinal i = 0; i < FNumLines; ++i) {
      FLineDevices.Add(Format("Line Device #%d", FLineDevices.Count()));
      UpdateLineDevice(i);
    }
    if (DetectRenames && old.Count() == FLineDevices.Count()) {
      for (int i = 0; i < FLineDevices.Count(); ++i) {
        if (old.Strings(i) != FLineDevices.Strings(i)) {
          DoLineRename(static_cast<Cardinal>(i), FLineDevices.Strings(i));
        }
      }
    }
  } catch (const std::exception& e) {
    HandleException(e);
  }
}

void TzvTapiApplication::UpdatePhoneDevices(bool DetectRenames) {
  const TStringList old = FPhoneDevices;
  try {
    FPhoneDevices.Clear();
    if (FPhoneApp == 0) return;
    for (Cardinal i = 0; i < FNumPhones; ++i) {
      FPhoneDevices.Add(Format("Phone Device #%d", FPhoneDevices.Count()));
      UpdatePhoneDevice(i);
    }
    if (DetectRenames && old.Count() == FPhoneDevices.Count()) {
      for (int i = 0; i < FPhoneDevices.Count(); ++i) {
        if (old.Strings(i) != FPhoneDevices.Strings(i)) {
          DoPhoneRename(static_cast<Cardinal>(i), FPhoneDevices.Strings(i));
        }
      }
    }
  } catch (const std::exception& e) {
    HandleException(e);
  }
}

void TzvTapiApplication::LineCreated(Cardinal DeviceID) {
  if (DeviceID >= FNumLines) FNumLines = DeviceID + 1;
  while (static_cast<Cardinal>(FLineDevices.Count()) < FNumLines) {
    const int index = FLineDevices.Add(Format("Line Device #%d", FLineDevices.Count()));
    UpdateLineDevice(static_cast<Cardinal>(index));
    DoLineCreate(DeviceID, FLineDevices.Strings(index));
  }
}

void TzvTapiApplication::LineRemoved(Cardinal DeviceID) {
  const bool known = DeviceID < static_cast<Cardinal>(FLineDevices.Count());
  DoLineRemove(DeviceID, known ? FLineDevices.Strings(static_cast<int>(DeviceID)) : std::string());
  UpdateLineDevice(DeviceID);
}

void TzvTapiApplication::PhoneCreated(Cardinal DeviceID) {
  if (DeviceID >= FNumPhones) FNumPhones = DeviceID + 1;
  while (static_cast<Cardinal>(FPhoneDevices.Count()) < FNumPhones) {
    const int index = FPhoneDevices.Add(Format("Phone Device #%d", FPhoneDevices.Count()));
    UpdatePhoneDevice(static_cast<Cardinal>(index));
    DoPhoneCreate(DeviceID, FPhoneDevices.Strings(index));
  }
}

void TzvTapiApplication::PhoneRemoved(Cardinal DeviceID) {
  const bool known = DeviceID < static_cast<Cardinal>(FPhoneDevices.Count());
  DoPhoneRemove(DeviceID,
                known ? FPhoneDevices.Strings(static_cast<int>(DeviceID)) : std::string());
  UpdatePhoneDevice(DeviceID);
}

}  // namespace zvtapi
