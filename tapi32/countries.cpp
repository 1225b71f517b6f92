// Looking countries up in the generated table (country_table.cpp in the build tree).
#include "tapi32/countries.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <regex>

namespace tapi32 {

const Country* FindCountry(DWORD id) {
  const auto& all = Countries();
  auto it = std::lower_bound(all.begin(), all.end(), id,
                             [](const Country& c, DWORD value) { return c.id < value; });
  return it == all.end() || it->id != id ? nullptr : &*it;
}

const Country* FindCountryByRegion(std::string_view region) {
  const auto& all = Countries();
  auto it = std::find_if(all.begin(), all.end(),
                         [region](const Country& c) { return c.region == region; });
  return it == all.end() ? nullptr : &*it;
}

bool IsTollFree(const Country& country, std::u16string_view nationalNumber) {
  // No numbering plan has national numbers longer than 17 digits; the bound also keeps the
  // regular-expression engine's recursion shallow whatever an application passes.
  constexpr size_t kLongestNationalNumber = 17;
  if (country.tollFreePattern.empty() || nationalNumber.empty() ||
      nationalNumber.size() > kLongestNationalNumber) {
    return false;
  }
  std::string digits;
  for (char16_t c : nationalNumber) {
    if (c < u'0' || c > u'9') return false;
    digits += static_cast<char>(c);
  }
  // Compiling an expression costs far more than matching it: each country's is compiled once.
  static std::mutex mutex;
  static std::map<DWORD, std::regex> compiled;
  std::lock_guard lock(mutex);
  auto it = compiled.find(country.id);
  if (it == compiled.end()) {
    it = compiled.emplace(country.id, std::regex(country.tollFreePattern, std::regex::optimize))
             .first;
  }
  return std::regex_match(digits, it->second);
}

}  // namespace tapi32
