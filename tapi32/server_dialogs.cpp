// TAPI's own dialogs: the entry points check their arguments under the lock, then run the
// dialog the user-interface module registered (dialogs.h) without it, because a modal dialog
// runs an event loop during which other threads use TAPI and the dialog itself may call TAPI.
#include "tapi32/device_class.h"
#include "tapi32/dialogs.h"
#include "tapi32/server.h"

namespace tapi32 {

namespace {

struct Dialogs {
  PhoneConfigDialogFunction phoneConfig;
  LineConfigDialogFunction lineConfig;
  TranslateDialogFunction translate;
  bool translateShowing = false;  // TAPI shows one locations dialog at a time
};

Dialogs& Registered() {
  static Dialogs dialogs;
  return dialogs;
}

// A dialog is a program's own code behind a C entry point: whatever it throws becomes the
// operation's failure instead of unwinding through TAPI's caller.
template <typename Show>
LONG RunDialog(LONG failure, Show&& show) {
  try {
    return show();
  } catch (...) {
    return failure;
  }
}

bool KnownPhoneClass(LPCWSTR deviceClass, const PhoneCaps& caps) {
  return KnownClass(deviceClass, u"tapi/phone", caps.deviceClasses);
}

}  // namespace

void RegisterPhoneConfigDialog(PhoneConfigDialogFunction dialog) {
  std::lock_guard lock(Server::Instance().Mutex());
  Registered().phoneConfig = std::move(dialog);
}

void RegisterLineConfigDialog(LineConfigDialogFunction dialog) {
  std::lock_guard lock(Server::Instance().Mutex());
  Registered().lineConfig = std::move(dialog);
}

void RegisterTranslateDialog(TranslateDialogFunction dialog) {
  std::lock_guard lock(Server::Instance().Mutex());
  Registered().translate = std::move(dialog);
}

LONG Server::PhoneConfigDialog(DWORD deviceId, HWND owner, LPCWSTR deviceClass) {
  PhoneConfigDialogFunction dialog;
  {
    std::lock_guard lock(mutex_);
    if (const LONG error = CheckPhoneDevice(deviceId)) return error;
    const PhoneDevice& device = provider_->Phone(deviceId);
    if (!KnownPhoneClass(deviceClass, device.Caps())) return Err(PHONEERR_INVALDEVICECLASS);
    dialog = Registered().phoneConfig;
  }
  if (!dialog) return Err(PHONEERR_OPERATIONUNAVAIL);
  return RunDialog(Err(PHONEERR_OPERATIONFAILED), [&] {
    return dialog(deviceId, owner, deviceClass != nullptr ? deviceClass : u"");
  });
}

LONG Server::LineConfigDialog(DWORD deviceId, HWND owner, LPCWSTR deviceClass) {
  LineConfigDialogFunction dialog;
  {
    std::lock_guard lock(mutex_);
    if (const LONG error = CheckLineDevice(deviceId)) return error;
    const LineDevice& device = provider_->Line(deviceId);
    if (!KnownClass(deviceClass, u"tapi/line", device.Caps().deviceClasses)) {
      return Err(LINEERR_INVALDEVICECLASS);
    }
    dialog = Registered().lineConfig;
  }
  if (!dialog) return Err(LINEERR_OPERATIONUNAVAIL);
  return RunDialog(Err(LINEERR_OPERATIONFAILED), [&] {
    return dialog(deviceId, owner, deviceClass != nullptr ? deviceClass : u"");
  });
}

LONG Server::LineTranslateDialog(HLINEAPP app, DWORD deviceId, DWORD apiVersion, HWND owner,
                                 LPCWSTR addressIn) {
  TranslateDialogFunction dialog;
  {
    std::lock_guard lock(mutex_);
    if (FindLine(app) == nullptr) return Err(LINEERR_INVALAPPHANDLE);
    if (apiVersion < 0x00010004 || apiVersion > 0x00020002) {
      return Err(LINEERR_INCOMPATIBLEAPIVERSION);
    }
    // The device only matters for previewing a number: its provider may translate differently.
    const bool hasAddress = addressIn != nullptr && *addressIn != u'\0';
    if (hasAddress && (provider_ == nullptr || deviceId >= provider_->NumLines())) {
      return Err(LINEERR_BADDEVICEID);
    }
    if (Registered().translateShowing) return Err(LINEERR_INUSE);
    dialog = Registered().translate;
    if (!dialog) return Err(LINEERR_OPERATIONUNAVAIL);
    Registered().translateShowing = true;
  }
  const LONG result = RunDialog(Err(LINEERR_OPERATIONFAILED), [&] {
    return dialog(deviceId, owner, addressIn != nullptr ? addressIn : u"");
  });
  std::lock_guard lock(mutex_);
  Registered().translateShowing = false;
  return result;
}

}  // namespace tapi32
