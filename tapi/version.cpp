#include "tapi/version.h"

namespace zvtapi {

const char* LibraryVersion() {
  return ZVTAPI_VERSION;
}

}  // namespace zvtapi
