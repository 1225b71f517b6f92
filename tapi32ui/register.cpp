#include "tapi32ui/register.h"

#include <QApplication>

#include "tapi32/dialogs.h"
#include "tapi32/installed_providers.h"
#include "tapi32/sim/switch.h"
#include "tapi32ui/line_config_dialog.h"
#include "tapi32ui/phone_config_dialog.h"
#include "tapi32ui/translate_dialog.h"

namespace tapi32ui {

namespace {

using tapi32::Err;

// The dialog for the devices of the simulated switch; other providers bring their own.
LONG ShowPhoneConfigDialog(DWORD deviceId, HWND, const std::u16string&) {
  auto& sim = tapi32::sim::Switch::Instance();
  if (!tapi32::SwitchServesPhone(deviceId)) {
    return Err(PHONEERR_OPERATIONUNAVAIL);
  }
  PhoneConfigDialog dialog(deviceId, sim.PhoneConfigOf(deviceId), QApplication::activeWindow());
  if (dialog.exec() != QDialog::Accepted) return 0;
  const tapi32::sim::PhoneConfig edited = dialog.Edited();
  const tapi32::sim::PhoneConfig current = sim.PhoneConfigOf(deviceId);
  // Nothing changed: nothing to announce.
  if (edited.name == current.name && edited.displayRows == current.displayRows &&
      edited.displayColumns == current.displayColumns &&
      edited.numButtonLamps == current.numButtonLamps) {
    return 0;
  }
  try {
    sim.ChangePhone(deviceId, edited);
  } catch (const tapi32::sim::ConfigError&) {
    return Err(PHONEERR_INVALPARAM);
  }
  return 0;
}

}  // namespace

void Register() {
  tapi32::RegisterPhoneConfigDialog(ShowPhoneConfigDialog);
  tapi32::RegisterLineConfigDialog(ShowLineConfigDialog);
  tapi32::RegisterTranslateDialog(ShowTranslateDialog);
}

void Unregister() {
  tapi32::RegisterPhoneConfigDialog({});
  tapi32::RegisterLineConfigDialog({});
  tapi32::RegisterTranslateDialog({});
}

}  // namespace tapi32ui
