// The Telephony API's own dialogs (line and phone configuration, dialing locations) live in a
// module a program links when it wants them (tapi32ui, on Qt); tapi32 has none of its own and
// stays free of any toolkit. The module registers its functions here when it starts; until then
// the dialog entry points answer LINEERR_OPERATIONUNAVAIL / PHONEERR_OPERATIONUNAVAIL.
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

// Shows the configuration dialog of a line device modally; 0 or a LINEERR_ code. Called without
// the TAPI lock held.
using LineConfigDialogFunction =
    std::function<LONG(DWORD deviceId, HWND owner, const std::u16string& deviceClass)>;
void RegisterLineConfigDialog(LineConfigDialogFunction dialog);

// Shows the dialing-locations dialog modally, `addressIn` (possibly empty) as the number whose
// translation it previews; 0 or a LINEERR_ code. Called without the TAPI lock held; the dialog
// stores the user's changes through Server::SetLocations.
using TranslateDialogFunction =
    std::function<LONG(DWORD deviceId, HWND owner, const std::u16string& addressIn)>;
void RegisterTranslateDialog(TranslateDialogFunction dialog);

}  // namespace tapi32
