// The user's dialing locations and calling cards, as TAPI keeps them for every application of
// the machine: what lineGetTranslateCapsW reports, lineSetCurrentLocation chooses among and
// lineTranslateAddressW translates from. The runtime holds one book (Server::Locations /
// SetLocations), kept in the user's locations file (location_store.h).
#pragma once

#include <string>
#include <vector>

#include "tapi32/tapi_structs.h"

namespace tapi32 {

struct DialingLocation {
  DWORD permanentId = 0;
  std::u16string name;
  DWORD countryId = 0;      // TAPI country ID (see countries.h); its calling code is the country's
  std::u16string cityCode;  // area code, digits only, may be empty
  DWORD preferredCardId = 0;       // calling card used with LINETRANSLATEOPTION_CARDOVERRIDE off
  std::u16string localAccessCode;  // to reach an outside line for local calls ("9")
  std::u16string longDistanceAccessCode;  // the same for long-distance calls
  std::u16string tollPrefixList;          // ",800,888," : prefixes dialled as toll calls
  DWORD options = 0;                      // LINELOCATIONOPTION_ bits (pulse dialling)
  std::u16string cancelCallWaiting;       // e.g. "*70,"

  friend bool operator==(const DialingLocation&, const DialingLocation&) = default;
};

struct CallingCard {
  DWORD permanentId = 0;
  std::u16string name;
  std::u16string number;  // the card's number (PIN); only its digit count is ever reported
  std::u16string sameAreaRule;
  std::u16string longDistanceRule;
  std::u16string internationalRule;
  DWORD options = 0;  // LINECARDOPTION_ bits

  friend bool operator==(const CallingCard&, const CallingCard&) = default;
};

struct LocationBook {
  std::vector<DialingLocation> locations;
  std::vector<CallingCard> cards;
  DWORD currentLocationId = 0;
  DWORD currentPreferredCardId = 0;

  const DialingLocation* FindLocation(DWORD permanentId) const;
  const CallingCard* FindCard(DWORD permanentId) const;
  const DialingLocation* Current() const { return FindLocation(currentLocationId); }
};

}  // namespace tapi32
