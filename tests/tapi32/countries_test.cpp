// lineGetCountryW and the country table it answers from.
#include <set>
#include <string>
#include <vector>

#include "tapi32/countries.h"
#include "tapi32_fixture.h"

namespace tapi32_test {
namespace {

struct Entry {
  DWORD id = 0;
  DWORD code = 0;
  DWORD next = 0;
  std::u16string name, sameArea, longDistance, international;
};

// Fetches a country list, growing the buffer as dwNeededSize asks; the entries it holds.
std::vector<Entry> GetCountries(DWORD countryId, LONG* result, DWORD apiVersion = 0x00020002) {
  std::vector<uint8_t> buffer(sizeof(LINECOUNTRYLIST));
  for (;;) {
    auto* list = reinterpret_cast<LINECOUNTRYLIST*>(buffer.data());
    list->dwTotalSize = static_cast<DWORD>(buffer.size());
    *result = lineGetCountryW(countryId, apiVersion, list);
    if (*result != 0) return {};
    if (list->dwNeededSize <= list->dwTotalSize) break;
    EXPECT_EQ(list->dwNumCountries, 0u);  // nothing of the variable part without all of it
    buffer.resize(list->dwNeededSize);
  }
  const auto* list = reinterpret_cast<const LINECOUNTRYLIST*>(buffer.data());
  EXPECT_EQ(list->dwUsedSize, list->dwNeededSize);
  EXPECT_EQ(list->dwCountryListSize, list->dwNumCountries * sizeof(LINECOUNTRYENTRY));
  auto text = [&](DWORD size, DWORD offset) {
    EXPECT_LE(offset + size, list->dwUsedSize);
    EXPECT_GE(size, 2u);
    return std::u16string(reinterpret_cast<const char16_t*>(&buffer[offset]), size / 2 - 1);
  };
  std::vector<Entry> out;
  for (DWORD i = 0; i < list->dwNumCountries; ++i) {
    LINECOUNTRYENTRY e;
    std::memcpy(&e, &buffer[list->dwCountryListOffset + i * sizeof(e)], sizeof(e));
    out.push_back({e.dwCountryID, e.dwCountryCode, e.dwNextCountryID,
                   text(e.dwCountryNameSize, e.dwCountryNameOffset),
                   text(e.dwSameAreaRuleSize, e.dwSameAreaRuleOffset),
                   text(e.dwLongDistanceRuleSize, e.dwLongDistanceRuleOffset),
                   text(e.dwInternationalRuleSize, e.dwInternationalRuleOffset)});
  }
  return out;
}

TEST(CountriesTest, ListsEveryCountryChainedByAscendingId) {
  LONG result = 0;
  const std::vector<Entry> all = GetCountries(0, &result);
  ASSERT_EQ(result, 0);
  ASSERT_GT(all.size(), 200u);
  std::set<DWORD> ids;
  for (size_t i = 0; i < all.size(); ++i) {
    SCOPED_TRACE(all[i].id);
    EXPECT_TRUE(ids.insert(all[i].id).second);
    EXPECT_FALSE(all[i].name.empty());
    EXPECT_EQ(all[i].next, i + 1 < all.size() ? all[i + 1].id : 0u);
    if (i > 0) {
      EXPECT_GT(all[i].id, all[i - 1].id);
    }
    // Every rule dials the subscriber number; the international one the country code too.
    EXPECT_NE(all[i].longDistance.find(u"FG"), std::u16string::npos);
    EXPECT_NE(all[i].international.find(u"EFG"), std::u16string::npos);
    EXPECT_GT(all[i].international.size(), 3u);  // an international prefix
  }
}

TEST(CountriesTest, AnswersOneCountryWithItsRules) {
  struct Expected {
    DWORD id, code;
    std::u16string name, sameArea, longDistance, international;
  };
  for (const Expected& c : std::vector<Expected>{
           {44, 44, u"United Kingdom", u"G", u"0FG", u"00EFG"},
           {1, 1, u"United States", u"G", u"1FG", u"011EFG"},
           {49, 49, u"Germany", u"G", u"0FG", u"00EFG"},
           {1052, 1, u"Canada", u"G", u"1FG", u"011EFG"},  // shares +1 with the USA
           {44238, 44, u"Jersey", u"G", u"0FG", u"00EFG"},
           {39, 39, u"Italy", u"G", u"FG", u"00EFG"},                // no national prefix
           {7, 7, u"Russian Federation", u"G", u"8FG", u"8W10EFG"},  // second dial tone
           {61, 61, u"Australia", u"G", u"0FG", u"0011EFG"}}) {
    SCOPED_TRACE(c.id);
    LONG result = 0;
    const std::vector<Entry> one = GetCountries(c.id, &result);
    ASSERT_EQ(result, 0);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].id, c.id);
    EXPECT_EQ(one[0].code, c.code);
    EXPECT_EQ(one[0].name, c.name);
    EXPECT_EQ(one[0].sameArea, c.sameArea);
    EXPECT_EQ(one[0].longDistance, c.longDistance);
    EXPECT_EQ(one[0].international, c.international);
    EXPECT_GT(one[0].next, c.id);  // the walk goes on from a single country too
  }
}

TEST(CountriesTest, ChecksItsArguments) {
  LONG result = 0;
  GetCountries(999, &result);
  EXPECT_EQ(result, Code(LINEERR_INVALCOUNTRYCODE));
  GetCountries(44, &result, 0x00010003);
  EXPECT_EQ(result, Code(LINEERR_INCOMPATIBLEAPIVERSION));
  GetCountries(44, &result, 0x00020003);
  EXPECT_EQ(result, Code(LINEERR_INCOMPATIBLEAPIVERSION));
  GetCountries(44, &result, 0x00010004);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(lineGetCountryW(44, 0x00020002, nullptr), Code(LINEERR_INVALPOINTER));

  LINECOUNTRYLIST small{};
  small.dwTotalSize = 12;
  EXPECT_EQ(lineGetCountryW(44, 0x00020002, &small), Code(LINEERR_STRUCTURETOOSMALL));
  EXPECT_GT(small.dwNeededSize, sizeof(LINECOUNTRYLIST));
}

TEST(CountriesTest, KnowsTollFreeNumbers) {
  const tapi32::Country* usa = tapi32::FindCountry(1);
  const tapi32::Country* uk = tapi32::FindCountryByRegion("GB");
  ASSERT_NE(usa, nullptr);
  ASSERT_NE(uk, nullptr);
  EXPECT_TRUE(IsTollFree(*usa, u"8005550199"));
  EXPECT_TRUE(IsTollFree(*usa, u"8885550199"));
  EXPECT_FALSE(IsTollFree(*usa, u"2065550199"));
  EXPECT_FALSE(IsTollFree(*usa, u"800555019"));  // the whole number must match
  EXPECT_TRUE(IsTollFree(*uk, u"8001234567"));
  EXPECT_FALSE(IsTollFree(*uk, u"2079460904"));
  // Every country's pattern is usable by the matcher (a bad one would throw here).
  for (const tapi32::Country& country : tapi32::Countries())
    EXPECT_NO_THROW(IsTollFree(country, u"800123456"));
}

}  // namespace
}  // namespace tapi32_test
