// Address translation as lineTranslateAddressW does it: a canonical address
// ("+CountryCode (AreaCode) SubscriberNumber | Subaddress ^ Name") becomes the string to dial
// from a dialing location and the string to show the user. A pure function of its inputs, so
// that it can be tested and fuzzed without the runtime.
#pragma once

#include <string>
#include <string_view>

#include "tapi32/countries.h"
#include "tapi32/locations.h"
#include "tapi32/tapi_structs.h"

namespace tapi32 {

struct Translation {
  std::u16string dialable;
  std::u16string displayable;  // the dialable string with a calling card's number hidden
  DWORD currentCountry = 0;    // calling code of the location's country
  DWORD destCountry = 0;       // calling code of the destination; 0 for non-canonical input
  DWORD results = 0;           // LINETRANSLATERESULT_ bits
};

// Translates `address` from `location` (in `country`), dialling through `card` when it is not
// nullptr. `options` are LINETRANSLATEOPTION_ bits; CARDOVERRIDE has been resolved into `card`
// by the caller. Returns 0 with *out filled in, or a LINEERR_ code (INVALADDRESS for an address
// that starts like a canonical one but is not, INVALPARAM for contradicting options).
LONG TranslateAddress(const DialingLocation& location, const Country& country,
                      const CallingCard* card, std::u16string_view address, DWORD options,
                      Translation* out);

// Translates `address` from the location `locationId` of `book`, through the calling card the
// options choose: `card` with LINETRANSLATEOPTION_CARDOVERRIDE, else the location's preferred
// card (0: dialled directly). Also LINEERR_INIFILECORRUPT for a location or country the book
// does not resolve and LINEERR_INVALCARD for a card it does not hold.
LONG TranslateFromBook(const LocationBook& book, DWORD locationId, std::u16string_view address,
                       DWORD card, DWORD options, Translation* out);

}  // namespace tapi32
