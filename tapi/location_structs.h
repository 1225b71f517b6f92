// Reading TAPI's answers about locations and translation: LINETRANSLATECAPS with its
// LINELOCATIONENTRY array, LINECOUNTRYLIST with its first LINECOUNTRYENTRY, and
// LINETRANSLATEOUTPUT. Everything goes through the bounds-checked readers of structures.h, so a
// provider's answer can claim any counts, offsets and sizes: what lies outside the block reads as
// missing (no entry) or empty (texts, numbers 0).
//
// Entry size. The location entries of an answer read with API version 1.4 or later are
// sizeof(LINELOCATIONENTRY) (68) bytes apart. TAPI 1.3's LINELOCATIONENTRY ends after
// dwPreferredCardID (28 bytes): entries of an answer read with 1.3 are taken 28 bytes apart, and
// the fields it does not have (access codes, country ID) read as empty and 0. The answer's own
// dwLocationListSize is not trusted to tell the size: a provider writes it.
#pragma once

#include <optional>
#include <string>

#include "tapi/structures.h"

namespace zvtapi {

// The distance between two LINELOCATIONENTRY of an answer read with APIVersion.
Cardinal LocationEntrySize(Cardinal APIVersion);

struct TLocationEntry {
  Cardinal PermanentLocationID = 0;
  Cardinal CountryID = 0;
  std::string LocationName;
  std::string CityCode;
  std::string LocalAccessCode;
  std::string LongDistanceAccessCode;
};

// Location Index of a LINETRANSLATECAPS answer read with APIVersion; none when Index is not
// below dwNumLocations or the entry does not lie inside the answer.
std::optional<TLocationEntry> ReadLocationEntry(const TTapiStruct& TranslateCaps, Cardinal Index,
                                                Cardinal APIVersion);

struct TCountryEntry {
  Cardinal CountryCode = 0;
  std::string CountryName;
  std::string SameAreaRule;
  std::string LongDistanceRule;
  std::string InternationalRule;
};

// The first country of a LINECOUNTRYLIST answer; none when it lists none or its entry does not
// lie inside the answer.
std::optional<TCountryEntry> ReadFirstCountryEntry(const TTapiStruct& CountryList);

// The dialable string of a LINETRANSLATEOUTPUT answer.
std::string ReadDialableString(const TTapiStruct& TranslateOutput);

}  // namespace zvtapi
