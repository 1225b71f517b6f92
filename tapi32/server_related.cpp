// Related devices of lines, addresses and calls (lineGetIDW).
#include "tapi32/server.h"

namespace tapi32 {

LONG Server::LineGetId(HLINE, DWORD, HCALL, DWORD, LPVARSTRING, LPCWSTR) {
  return LINEERR_OPERATIONUNAVAIL;
}

}  // namespace tapi32
