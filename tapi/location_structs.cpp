#include "tapi/location_structs.h"

#include <cstddef>

#include "tapi32/tapi.h"

namespace zvtapi {

namespace {

// TAPI 1.3's LINELOCATIONENTRY: everything before dwLocalAccessCodeSize.
constexpr Cardinal kLocationEntry13Size = offsetof(::LINELOCATIONENTRY, dwLocalAccessCodeSize);

}  // namespace

Cardinal LocationEntrySize(Cardinal APIVersion) {
  return APIVersion >= 0x00010004 ? sizeof(::LINELOCATIONENTRY) : kLocationEntry13Size;
}

std::optional<TLocationEntry> ReadLocationEntry(const TTapiStruct& TranslateCaps, Cardinal Index,
                                                Cardinal APIVersion) {
  if (Index >= TranslateCaps.GetDWORD(offsetof(::LINETRANSLATECAPS, dwNumLocations))) {
    return std::nullopt;
  }
  const Cardinal size = LocationEntrySize(APIVersion);
  const std::optional<Cardinal> entry = GetTapiEntryOffset(
      TranslateCaps, offsetof(::LINETRANSLATECAPS, dwLocationListOffset), size, Index);
  if (!entry) return std::nullopt;
  auto text = [&](size_t sizeField) -> std::string {
    if (sizeField >= size) return {};  // the entry of this version has no such field
    return GetTapiString(TranslateCaps, *entry + static_cast<Cardinal>(sizeField));
  };
  TLocationEntry result;
  result.PermanentLocationID =
      TranslateCaps.GetDWORD(*entry + offsetof(::LINELOCATIONENTRY, dwPermanentLocationID));
  if (offsetof(::LINELOCATIONENTRY, dwCountryID) < size) {
    result.CountryID = TranslateCaps.GetDWORD(*entry + offsetof(::LINELOCATIONENTRY, dwCountryID));
  }
  result.LocationName = text(offsetof(::LINELOCATIONENTRY, dwLocationNameSize));
  result.CityCode = text(offsetof(::LINELOCATIONENTRY, dwCityCodeSize));
  result.LocalAccessCode = text(offsetof(::LINELOCATIONENTRY, dwLocalAccessCodeSize));
  result.LongDistanceAccessCode = text(offsetof(::LINELOCATIONENTRY, dwLongDistanceAccessCodeSize));
  return result;
}

std::optional<TCountryEntry> ReadFirstCountryEntry(const TTapiStruct& CountryList) {
  if (CountryList.GetDWORD(offsetof(::LINECOUNTRYLIST, dwNumCountries)) == 0) return std::nullopt;
  const std::optional<Cardinal> entry = GetTapiEntryOffset(
      CountryList, offsetof(::LINECOUNTRYLIST, dwCountryListOffset), sizeof(::LINECOUNTRYENTRY), 0);
  if (!entry) return std::nullopt;
  auto text = [&](size_t sizeField) {
    return GetTapiString(CountryList, *entry + static_cast<Cardinal>(sizeField));
  };
  TCountryEntry result;
  result.CountryCode = CountryList.GetDWORD(*entry + offsetof(::LINECOUNTRYENTRY, dwCountryCode));
  result.CountryName = text(offsetof(::LINECOUNTRYENTRY, dwCountryNameSize));
  result.SameAreaRule = text(offsetof(::LINECOUNTRYENTRY, dwSameAreaRuleSize));
  result.LongDistanceRule = text(offsetof(::LINECOUNTRYENTRY, dwLongDistanceRuleSize));
  result.InternationalRule = text(offsetof(::LINECOUNTRYENTRY, dwInternationalRuleSize));
  return result;
}

std::string ReadDialableString(const TTapiStruct& TranslateOutput) {
  return GetTapiString(TranslateOutput, offsetof(::LINETRANSLATEOUTPUT, dwDialableStringSize));
}

}  // namespace zvtapi
