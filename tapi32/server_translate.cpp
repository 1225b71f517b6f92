// Countries (lineGetCountryW) and address translation (lineTranslateAddressW).
#include <cstring>

#include "tapi32/countries.h"
#include "tapi32/server.h"
#include "tapi32/translate.h"
#include "tapi32/var_struct.h"

namespace tapi32 {

namespace {

// Both functions appeared with TAPI 1.4 and keep their structures since 2.2.
bool SupportedVersion(DWORD apiVersion) {
  return apiVersion >= 0x00010004 && apiVersion <= 0x00020002;
}

DWORD TextBytes(const std::u16string& text) {
  return static_cast<DWORD>((text.size() + 1) * sizeof(char16_t));
}

// The ID of the country after `country` in the whole table, 0 after the last: applications walk
// the list one country at a time with it.
DWORD NextCountryId(const Country& country) {
  const auto& all = Countries();
  const size_t index = static_cast<size_t>(&country - all.data());
  return index + 1 < all.size() ? all[index + 1].id : 0;
}

// Lays the countries out as a LINECOUNTRYLIST: the fixed part, the LINECOUNTRYENTRY array,
// then their texts. As with every TAPI structure, the variable part is written only when all of
// it fits; otherwise dwNeededSize tells the caller how much to allocate.
LONG AnswerCountryList(const std::vector<const Country*>& countries, LPLINECOUNTRYLIST list) {
  constexpr DWORD kFixedSize = sizeof(LINECOUNTRYLIST);
  const DWORD entriesSize = static_cast<DWORD>(countries.size() * sizeof(LINECOUNTRYENTRY));
  DWORD needed = kFixedSize + entriesSize;
  for (const Country* country : countries) {
    needed += TextBytes(country->name) + TextBytes(country->sameAreaRule) +
              TextBytes(country->longDistanceRule) + TextBytes(country->internationalRule);
  }
  if (list->dwTotalSize < kFixedSize) {
    if (list->dwTotalSize >= 2 * sizeof(DWORD)) list->dwNeededSize = needed;
    return Err(LINEERR_STRUCTURETOOSMALL);
  }
  const DWORD total = list->dwTotalSize;
  std::memset(list, 0, kFixedSize);
  list->dwTotalSize = total;
  list->dwNeededSize = needed;
  list->dwUsedSize = kFixedSize;
  if (needed > total) return 0;

  auto* bytes = reinterpret_cast<uint8_t*>(list);
  DWORD at = kFixedSize + entriesSize;
  auto put = [&](const std::u16string& text, DWORD* size, DWORD* offset) {
    *size = TextBytes(text);
    *offset = at;
    std::memcpy(bytes + at, text.c_str(), *size);  // with the terminating NUL
    at += *size;
  };
  for (size_t i = 0; i < countries.size(); ++i) {
    const Country& country = *countries[i];
    LINECOUNTRYENTRY entry{};
    entry.dwCountryID = country.id;
    entry.dwCountryCode = country.callingCode;
    entry.dwNextCountryID = NextCountryId(country);
    put(country.name, &entry.dwCountryNameSize, &entry.dwCountryNameOffset);
    put(country.sameAreaRule, &entry.dwSameAreaRuleSize, &entry.dwSameAreaRuleOffset);
    put(country.longDistanceRule, &entry.dwLongDistanceRuleSize, &entry.dwLongDistanceRuleOffset);
    put(country.internationalRule, &entry.dwInternationalRuleSize,
        &entry.dwInternationalRuleOffset);
    std::memcpy(bytes + kFixedSize + i * sizeof(LINECOUNTRYENTRY), &entry, sizeof entry);
  }
  list->dwNumCountries = static_cast<DWORD>(countries.size());
  list->dwCountryListSize = entriesSize;
  list->dwCountryListOffset = kFixedSize;
  list->dwUsedSize = needed;
  return 0;
}

}  // namespace

LONG Server::LineTranslateAddress(HLINEAPP app, DWORD deviceId, DWORD apiVersion, LPCWSTR addressIn,
                                  DWORD card, DWORD options, LPLINETRANSLATEOUTPUT output) {
  std::lock_guard lock(mutex_);
  // The handle may be left out, as with lineGetTranslateCapsW; a program without one has no
  // device numbering to name a line in, so the device is then not checked either.
  if (app != 0) {
    if (FindLine(app) == nullptr) return Err(LINEERR_INVALAPPHANDLE);
    if (const LONG error = CheckLineDevice(deviceId)) return error;
  }
  if (!SupportedVersion(apiVersion)) return Err(LINEERR_INCOMPATIBLEAPIVERSION);
  if (addressIn == nullptr || output == nullptr) return Err(LINEERR_INVALPOINTER);

  const LocationBook book = Locations();
  Translation translation;
  const LONG result =
      TranslateFromBook(book, book.currentLocationId, addressIn, card, options, &translation);
  if (result != 0) return result;

  LINETRANSLATEOUTPUT local{};
  local.dwTotalSize = output->dwTotalSize;
  local.dwCurrentCountry = translation.currentCountry;
  local.dwDestCountry = translation.destCountry;
  local.dwTranslateResults = translation.results;
  std::vector<VarField> fields;
  fields.push_back(
      {translation.dialable, {}, &local.dwDialableStringSize, &local.dwDialableStringOffset});
  fields.push_back({translation.displayable,
                    {},
                    &local.dwDisplayableStringSize,
                    &local.dwDisplayableStringOffset});
  return AnswerStruct(local, fields, sizeof(LINETRANSLATEOUTPUT), output,
                      LINEERR_STRUCTURETOOSMALL);
}

LONG Server::LineGetCountry(DWORD countryId, DWORD apiVersion, LPLINECOUNTRYLIST list) {
  if (!SupportedVersion(apiVersion)) return Err(LINEERR_INCOMPATIBLEAPIVERSION);
  if (list == nullptr) return Err(LINEERR_INVALPOINTER);
  std::vector<const Country*> countries;
  if (countryId == 0) {
    for (const Country& country : Countries())
      countries.push_back(&country);
  } else {
    const Country* country = FindCountry(countryId);
    if (country == nullptr) return Err(LINEERR_INVALCOUNTRYCODE);
    countries.push_back(country);
  }
  return AnswerCountryList(countries, list);
}

}  // namespace tapi32
