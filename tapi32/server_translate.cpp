// Countries (lineGetCountryW) and address translation (lineTranslateAddressW).
#include "tapi32/countries.h"
#include "tapi32/server.h"

namespace tapi32 {

LONG Server::LineTranslateAddress(HLINEAPP, DWORD, DWORD, LPCWSTR, DWORD, DWORD,
                                  LPLINETRANSLATEOUTPUT) {
  return LINEERR_OPERATIONUNAVAIL;
}

LONG Server::LineGetCountry(DWORD, DWORD, LPLINECOUNTRYLIST) {
  return LINEERR_OPERATIONUNAVAIL;
}

}  // namespace tapi32
