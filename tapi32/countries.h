// The countries TAPI knows, with their calling codes and dialing rules, for lineGetCountryW,
// the locations' country fields and address translation. The table is generated at build time
// from libphonenumber's metadata and the ISO 3166 names of iso-codes (tools/make_country_table).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tapi32/tapi_structs.h"

namespace tapi32 {

struct Country {
  DWORD id = 0;           // TAPI country ID
  DWORD callingCode = 0;  // the ITU calling code, 44 for the United Kingdom
  std::string region;     // ISO 3166-1 alpha-2 code, "GB"
  std::u16string name;
  // TAPI dialing rules: E = country code, F = area code, G = subscriber number.
  std::u16string sameAreaRule;
  std::u16string longDistanceRule;
  std::u16string internationalRule;
  // The country's toll-free national numbers (area code and subscriber number, digits only) as
  // an ECMAScript regular expression matching the whole number; empty when it has none.
  std::string tollFreePattern;
};

// Every country, in ascending ID order. The main country of a calling code has the code as its
// ID (1 = USA, 44 = United Kingdom, 49 = Germany); another country sharing the code has 1000 ×
// code + 26 × (first letter of its ISO code − 'A') + (second letter − 'A'): Canada is 1052.
const std::vector<Country>& Countries();
const Country* FindCountry(DWORD id);
const Country* FindCountryByRegion(std::string_view region);
// Whether a national number (the digits after the country code) is toll-free in the country.
bool IsTollFree(const Country& country, std::u16string_view nationalNumber);

}  // namespace tapi32
