// The user's dialing locations: translate capabilities and the current location.
#include "tapi32/server.h"

namespace tapi32 {

LocationBook Server::Locations() const {
  std::lock_guard lock(mutex_);
  return locations_;
}

LONG Server::SetLocations(LocationBook book) {
  std::lock_guard lock(mutex_);
  locations_ = std::move(book);
  return 0;
}

LONG Server::LineGetTranslateCaps(HLINEAPP, DWORD, LPLINETRANSLATECAPS) {
  return LINEERR_OPERATIONUNAVAIL;
}

LONG Server::LineSetCurrentLocation(HLINEAPP, DWORD) {
  return LINEERR_OPERATIONUNAVAIL;
}

}  // namespace tapi32
