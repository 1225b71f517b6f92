// The Telephony API's own dialogs (phone configuration for now) live in a module a program links
// when it wants them (tapi32ui, on Qt); tapi32 has none of its own and stays free of any toolkit.
// The module registers its functions here when it starts; until then phoneConfigDialogW answers
// PHONEERR_OPERATIONUNAVAIL.
#pragma once

#include <functional>
#include <string>

#include "tapi32/tapi_structs.h"

namespace tapi32 {

// Shows the configuration dialog of a phone device modally and returns 0 or a PHONEERR_ code.
// Called without the TAPI lock held: the dialog may call TAPI and the switch.
using PhoneConfigDialogFunction =
    std::function<LONG(DWORD deviceId, HWND owner, const std::u16string& deviceClass)>;

// Installs the dialog; an empty function removes it.
void RegisterPhoneConfigDialog(PhoneConfigDialogFunction dialog);

}  // namespace tapi32
