// The current time as the Telephony API's structures carry it (a call's state entry time).
#pragma once

#include "tapi32/tapi_structs.h"

namespace tapi32 {

// Now in UTC, to the millisecond.
SYSTEMTIME UtcNow();

}  // namespace tapi32
