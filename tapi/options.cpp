#include "tapi/options.h"

#include "tapi/errors.h"
#include "tapi/texts.h"
#include "tapi32/tapi.h"

namespace zvtapi {

bool TzvTapiLinePrivileges::GetPrivilege(int Index) const {
  switch (Index) {
    case 0:
      return FPrivMonitor;
    case 1:
      return FPrivNone;
    default:
      return FPrivOwner;
  }
}

void TzvTapiLinePrivileges::SetPrivilege(int Index, bool Value) {
  switch (Index) {
    case 0:
      FPrivMonitor = Value;
      if (Value) {
        FPrivNone = false;
      } else if (!FPrivOwner) {
        FPrivNone = true;
      }
      break;
    case 1:
      FPrivNone = Value;
      if (Value) {
        FPrivMonitor = false;
        FPrivOwner = false;
      }
      break;
    case 2:
      FPrivOwner = Value;
      if (Value) {
        FPrivNone = false;
      } else if (!FPrivMonitor) {
        FPrivNone = true;
      }
      break;
    default:
      break;
  }
}

Cardinal TzvTapiLinePrivileges::Value() const {
  Cardinal result = 0;
  if (FPrivOwner) result |= LINECALLPRIVILEGE_OWNER;
  if (FPrivMonitor) result |= LINECALLPRIVILEGE_MONITOR;
  if (FPrivNone) result |= LINECALLPRIVILEGE_NONE;
  return result;
}

void TzvTapiLinePrivileges::SetValue(Cardinal Value) {
  FPrivNone = (Value & LINECALLPRIVILEGE_NONE) != 0;
  FPrivMonitor = (Value & LINECALLPRIVILEGE_MONITOR) != 0;
  FPrivOwner = (Value & LINECALLPRIVILEGE_OWNER) != 0;
}

std::string TzvTapiLinePrivileges::Text() const {
  return TapiPrivilegesText(Value(), "+");
}

Cardinal TzvTapiPhonePrivileges::Value() const {
  return FPrivOwner ? PHONEPRIVILEGE_OWNER : PHONEPRIVILEGE_MONITOR;
}

void TzvTapiPhonePrivileges::SetValue(Cardinal Value) {
  if (Value != PHONEPRIVILEGE_OWNER && Value != PHONEPRIVILEGE_MONITOR) {
    RaiseError("Invalid set of PHONEPRIVILEGE_ constants");
  }
  FPrivOwner = Value == PHONEPRIVILEGE_OWNER;
}

}  // namespace zvtapi
