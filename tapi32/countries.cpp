// A stand-in table of three countries until the table is built from maintained data.
#include "tapi32/countries.h"

#include <algorithm>

namespace tapi32 {

const std::vector<Country>& Countries() {
  static const std::vector<Country> countries = {
      {1, 1, "US", u"United States of America", u"G", u"1FG", u"011EFG"},
      {44, 44, "GB", u"United Kingdom", u"G", u"0FG", u"00EFG"},
      {49, 49, "DE", u"Germany", u"G", u"0FG", u"00EFG"},
  };
  return countries;
}

const Country* FindCountry(DWORD id) {
  const auto& all = Countries();
  auto it = std::find_if(all.begin(), all.end(), [id](const Country& c) { return c.id == id; });
  return it == all.end() ? nullptr : &*it;
}

const Country* FindCountryByRegion(std::string_view region) {
  const auto& all = Countries();
  auto it = std::find_if(all.begin(), all.end(),
                         [region](const Country& c) { return c.region == region; });
  return it == all.end() ? nullptr : &*it;
}

}  // namespace tapi32
