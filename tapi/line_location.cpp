// The line's dialing location, address translation and TAPI's dialogs for the line.
#include "platform/module.h"
#include "tapi/errors.h"
#include "tapi/line.h"
#include "tapi/location_structs.h"
#include "tapi/tsp.h"

namespace zvtapi {

namespace {

constexpr Cardinal kTranslateOutputInitialSize = 1040;

}  // namespace

TzvTapiSystemLocation& TzvCustomTapiLine::Location() {
  // When TAPI cannot even name the current location the empty object is all there is.
  if (!FLocation->Available()) FLocation->LoadCurrent();
  return *FLocation;
}

void TzvCustomTapiLine::RefreshLocation() {
  try {
    Location().Update();
  } catch (const std::exception& e) {
    DoError(e, nullptr);
  }
}

std::string TzvCustomTapiLine::TranslateAddress(const std::string& Address, Cardinal Options) {
  CheckCondition(Available(), "TranslateAddress failed! No device.");
  const std::u16string address = platform::Utf8ToWide(Address);
  TTapiStruct buffer = AllocTapiStruct(kTranslateOutputInitialSize);
  const Cardinal result = FetchTapiStruct(buffer, [&](void* structure) {
    return lineTranslateAddressW(LineApp(), static_cast<DWORD>(FDeviceID), FTSP->APIVersion(),
                                 address.c_str(), 0, Options,
                                 static_cast<LPLINETRANSLATEOUTPUT>(structure));
  });
  if (result != 0) return {};
  // Nothing past what TAPI says it used is part of the answer.
  CompactTapiStruct(buffer, TapiStructHeaderSize);
  return ReadDialableString(buffer);
}

void TzvCustomTapiLine::TranslateDialog(const std::string& Address, HWND OwnerWnd) {
  CheckCondition(Available(), "TranslateDialog failed! No device.");
  const std::u16string address = platform::Utf8ToWide(Address);
  CheckTapiResult(static_cast<Cardinal>(lineTranslateDialogW(
      LineApp(), static_cast<DWORD>(FDeviceID), FTSP->APIVersion(), OwnerWnd, address.c_str())));
  Location().Update();
}

void TzvCustomTapiLine::ConfigDialog(HWND OwnerWnd) {
  CheckCondition(Available(), "ConfigDialog failed! No device.");
  CheckTapiResult(
      static_cast<Cardinal>(lineConfigDialogW(static_cast<DWORD>(FDeviceID), OwnerWnd, nullptr)));
}

}  // namespace zvtapi
