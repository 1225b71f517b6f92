// The call object: one per TAPI call on a line.
#pragma once

#include "tapi/types.h"

namespace zvtapi {

class TzvTapiCall : public TObject {};

}  // namespace zvtapi
