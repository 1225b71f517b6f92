// The providers the runtime serves from the start of the program: the SIP accounts and the
// simulated switch the user's telephony configuration names (provider_set.h).
#pragma once

#include "tapi32/provider_set.h"

namespace tapi32 {

ProviderSet& InstalledProviders();

// Whether the runtime serves the device from the simulated switch, whose devices its own
// dialogs can reconfigure.
bool SwitchServesLine(DWORD deviceId);
bool SwitchServesPhone(DWORD deviceId);

}  // namespace tapi32
