// The countries TAPI knows, with their calling codes and dialing rules, for lineGetCountryW,
// the locations' country fields and address translation.
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
};

// Every country, in ascending ID order.
const std::vector<Country>& Countries();
const Country* FindCountry(DWORD id);
const Country* FindCountryByRegion(std::string_view region);

}  // namespace tapi32
