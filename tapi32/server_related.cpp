// Related devices of lines, addresses and calls (lineGetIDW) and the line configuration dialog.
#include "tapi32/dialogs.h"
#include "tapi32/server.h"

namespace tapi32 {

void RegisterLineConfigDialog(LineConfigDialogFunction) {}

LONG Server::LineGetId(HLINE, DWORD, HCALL, DWORD, LPVARSTRING, LPCWSTR) {
  return LINEERR_OPERATIONUNAVAIL;
}

LONG Server::LineConfigDialog(DWORD, HWND, LPCWSTR) {
  return LINEERR_OPERATIONUNAVAIL;
}

}  // namespace tapi32
