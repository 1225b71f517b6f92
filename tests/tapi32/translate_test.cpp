// lineTranslateAddressW: canonical addresses turned into dialable and displayable strings from
// the current location, with its access codes, toll list and calling cards.
#include <string>
#include <vector>

#include "tapi32/server.h"
#include "tapi32_fixture.h"

namespace tapi32_test {
namespace {

constexpr DWORD kLondon = 1;
constexpr DWORD kSeattle = 2;     // dials 9 for an outside line; exchange 555 is a toll call
constexpr DWORD kNoArea = 3;      // in the USA, without an area code
constexpr DWORD kMunich = 4;      // pulse dialling
constexpr DWORD kCardLondon = 5;  // London, paying with the travel card
constexpr DWORD kTravelCard = 7;

tapi32::DialingLocation Location(DWORD id, DWORD country, std::u16string city) {
  tapi32::DialingLocation location;
  location.permanentId = id;
  location.name = u"Location";
  location.countryId = country;
  location.cityCode = std::move(city);
  return location;
}

tapi32::LocationBook Book() {
  tapi32::LocationBook book;
  book.locations.push_back(Location(kLondon, 44, u"20"));
  tapi32::DialingLocation seattle = Location(kSeattle, 1, u"206");
  seattle.localAccessCode = u"9";
  seattle.longDistanceAccessCode = u"8";
  seattle.tollPrefixList = u"555,556";
  seattle.cancelCallWaiting = u"*70,";
  book.locations.push_back(seattle);
  book.locations.push_back(Location(kNoArea, 1, u""));
  tapi32::DialingLocation munich = Location(kMunich, 49, u"89");
  munich.options = LINELOCATIONOPTION_PULSEDIAL;
  book.locations.push_back(munich);
  tapi32::DialingLocation card = Location(kCardLondon, 44, u"20");
  card.preferredCardId = kTravelCard;
  book.locations.push_back(card);
  tapi32::CallingCard travel;
  travel.permanentId = kTravelCard;
  travel.name = u"Travel";
  travel.number = u"12345678";
  travel.sameAreaRule = u"";  // local calls are not worth a card: dialled directly
  travel.longDistanceRule = u"0800555$H0FG";
  travel.internationalRule = u"0800555$H00EFG";
  book.cards.push_back(travel);
  book.currentLocationId = kLondon;
  return book;
}

struct Output {
  LONG result = 0;
  std::u16string dialable;
  std::u16string displayable;
  DWORD results = 0;
  DWORD current = 0;
  DWORD dest = 0;
};

class TranslateTest : public TapiTest {
 protected:
  void SetUp() override {
    TapiTest::SetUp();
    saved_ = tapi32::Server::Instance().Locations();
    tapi32::Server::Instance().SetLocations(Book());
    init_ = InitLine();
    ASSERT_EQ(init_.result, 0);
  }
  void TearDown() override {
    tapi32::Server::Instance().SetLocations(saved_);
    TapiTest::TearDown();
  }

  void From(DWORD locationId) {
    tapi32::LocationBook book = Book();
    book.currentLocationId = locationId;
    tapi32::Server::Instance().SetLocations(book);
  }

  Output Translate(const std::u16string& address, DWORD options = 0, DWORD card = 0) {
    std::vector<uint8_t> buffer(1024);
    auto* out = reinterpret_cast<LINETRANSLATEOUTPUT*>(buffer.data());
    out->dwTotalSize = static_cast<DWORD>(buffer.size());
    Output o;
    o.result = lineTranslateAddressW(init_.app, 0, 0x00020002, address.c_str(), card, options, out);
    if (o.result != 0) return o;
    auto text = [&](DWORD size, DWORD offset) {
      return size == 0
                 ? std::u16string()
                 : std::u16string(reinterpret_cast<const char16_t*>(&buffer[offset]), size / 2 - 1);
    };
    o.dialable = text(out->dwDialableStringSize, out->dwDialableStringOffset);
    o.displayable = text(out->dwDisplayableStringSize, out->dwDisplayableStringOffset);
    o.results = out->dwTranslateResults;
    o.current = out->dwCurrentCountry;
    o.dest = out->dwDestCountry;
    return o;
  }

  tapi32::LocationBook saved_;
  LineInit init_;
};

constexpr DWORD kCanonical = LINETRANSLATERESULT_CANONICAL;
constexpr DWORD kLocal = kCanonical | LINETRANSLATERESULT_LOCAL;
constexpr DWORD kLong = kCanonical | LINETRANSLATERESULT_LONGDISTANCE;
constexpr DWORD kAbroad = kCanonical | LINETRANSLATERESULT_INTERNATIONAL;
constexpr DWORD kInToll = LINETRANSLATERESULT_INTOLLLIST;
constexpr DWORD kNotInToll = LINETRANSLATERESULT_NOTINTOLLLIST;

struct Case {
  const char* what;
  DWORD location;
  std::u16string address;
  DWORD options;
  DWORD card;  // dwCard, used with CARDOVERRIDE
  std::u16string dialable;
  std::u16string displayable;
  DWORD results;
  DWORD current;
  DWORD dest;
};

TEST_F(TranslateTest, FollowsTheLocationsDialingRules) {
  const DWORD card = LINETRANSLATEOPTION_CARDOVERRIDE;
  const std::vector<Case> cases = {
      {"same area: the subscriber number", kLondon, u"+44 (20) 7946 0904", 0, 0, u"T79460904",
       u"79460904", kLocal, 44, 44},
      {"another area: national prefix and area code", kLondon, u"+44 (161) 496 0000", 0, 0,
       u"T01614960000", u"01614960000", kLong, 44, 44},
      {"no area code: not the caller's area", kLondon, u"+44 7700 900123", 0, 0, u"T07700900123",
       u"07700900123", kLong, 44, 44},
      {"another country", kLondon, u"+49 (89) 1234-5678", 0, 0, u"T00498912345678",
       u"00498912345678", kAbroad, 44, 49},
      {"pulse dialling location", kMunich, u"+49 (30) 123.4567", 0, 0, u"P0301234567",
       u"0301234567", kLong, 49, 49},
      {"outside line, not a toll prefix", kSeattle, u"+1 (206) 734-0100", 0, 0, u"T97340100",
       u"97340100", kLocal | kNotInToll, 1, 1},
      {"outside line, toll prefix dialled long distance", kSeattle, u"+1 (206) 555-0100", 0, 0,
       u"T812065550100", u"812065550100", kLong | kInToll, 1, 1},
      {"toll prefix forced local", kSeattle, u"+1 (206) 556-0100", LINETRANSLATEOPTION_FORCELOCAL,
       0, u"T95560100", u"95560100", kLocal | kInToll, 1, 1},
      {"local number forced long distance", kSeattle, u"+1 (206) 734-0100",
       LINETRANSLATEOPTION_FORCELD, 0, u"T812067340100", u"812067340100", kLong | kNotInToll, 1, 1},
      {"outside line, another area", kSeattle, u"+1 (425) 555-0100", 0, 0, u"T814255550100",
       u"814255550100", kLong, 1, 1},
      {"outside line, abroad", kSeattle, u"+44 (20) 7946 0904", 0, 0, u"T8011442079460904",
       u"8011442079460904", kAbroad, 1, 44},
      {"call waiting cancelled first", kSeattle, u"+1 (206) 734-0100",
       LINETRANSLATEOPTION_CANCELCALLWAITING, 0, u"T*70,97340100", u"*70,97340100",
       kLocal | kNotInToll, 1, 1},
      {"toll-free from a location without area code", kNoArea, u"+1 800 555 0199", 0, 0,
       u"T18005550199", u"18005550199", kLong, 1, 1},
      {"ordinary number from a location without area code", kNoArea, u"+1 734 0100", 0, 0,
       u"T7340100", u"7340100", kLocal | kNotInToll, 1, 1},
      {"toll-free abroad: the international rule as ever", kLondon, u"+1 800 555 0199", 0, 0,
       u"T0018005550199", u"0018005550199", kAbroad, 44, 1},
      {"subaddress and name kept", kLondon, u"+44 (20) 7946 0904|12^Jane Doe", 0, 0,
       u"T79460904|12^Jane Doe", u"79460904|12^Jane Doe", kLocal, 44, 44},
      {"only the first of several addresses", kLondon, u"+44 (20) 7946 0904\r\n+44 (20) 7946 0905",
       0, 0, u"T79460904", u"79460904", kLocal, 44, 44},
      {"dial modifiers reported", kLondon, u"+44 (20) 7946 0904 W 12 @?", 0, 0, u"T79460904W12@?",
       u"79460904W12@?",
       kLocal | LINETRANSLATERESULT_DIALDIALTONE | LINETRANSLATERESULT_DIALQUIET |
           LINETRANSLATERESULT_DIALPROMPT,
       44, 44},
      {"location's card: number dialled, name shown", kCardLondon, u"+44 (161) 496 0000", 0, 0,
       u"T0800555$1234567801614960000", u"0800555$[Travel]01614960000",
       kLong | LINETRANSLATERESULT_DIALBILLING, 44, 44},
      {"card without a same-area rule: dialled directly", kCardLondon, u"+44 (20) 7946 0904", 0, 0,
       u"T79460904", u"79460904", kLocal, 44, 44},
      {"card chosen for one call", kLondon, u"+1 (206) 555-0100", card, kTravelCard,
       u"T0800555$123456780012065550100", u"0800555$[Travel]0012065550100",
       kAbroad | LINETRANSLATERESULT_DIALBILLING, 44, 1},
      {"card 0 overrides the location's card", kCardLondon, u"+44 (161) 496 0000", card, 0,
       u"T01614960000", u"01614960000", kLong, 44, 44},
      {"not canonical: passed through", kSeattle, u"555-0100", 0, 0, u"555-0100", u"555-0100", 0, 1,
       0},
      {"not canonical, with a wait for dial tone", kLondon, u"9W0161 496 0000", 0, 0,
       u"9W0161 496 0000", u"9W0161 496 0000", LINETRANSLATERESULT_DIALDIALTONE, 44, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    From(c.location);
    const Output out = Translate(c.address, c.options, c.card);
    ASSERT_EQ(out.result, 0);
    EXPECT_EQ(out.dialable, c.dialable);
    EXPECT_EQ(out.displayable, c.displayable);
    EXPECT_EQ(out.results, c.results);
    EXPECT_EQ(out.current, c.current);
    EXPECT_EQ(out.dest, c.dest);
  }
}

TEST_F(TranslateTest, RejectsMalformedCanonicalAddresses) {
  for (const std::u16string address :
       {u"", u"+", u"+44", u"+44 ", u"+4420 7946 0904", u"+1234 5550100", u"+44 (20 7946 0904",
        u"+44 20) 7946 0904", u"+44 () 7946 0904", u"+44 (2a) 7946 0904", u"+44 (20) HELLO",
        u"+44 (20) 7946+0904", u"+44 (20) |12", u"+ 44 (20) 7946 0904", u"+0 7946 0904"}) {
    SCOPED_TRACE(std::string(address.begin(), address.end()));
    EXPECT_EQ(Translate(address).result, Code(LINEERR_INVALADDRESS));
  }
}

TEST_F(TranslateTest, ChecksItsArguments) {
  const std::u16string number = u"+44 (20) 7946 0904";
  LINETRANSLATEOUTPUT out{};
  out.dwTotalSize = sizeof(out);
  auto call = [&](HLINEAPP app, DWORD device, DWORD version, LPCWSTR address, DWORD card,
                  DWORD options, LINETRANSLATEOUTPUT* output) {
    return lineTranslateAddressW(app, device, version, address, card, options, output);
  };
  const HLINEAPP app = init_.app;
  EXPECT_EQ(call(app + 1000, 0, 0x20002, number.c_str(), 0, 0, &out), Code(LINEERR_INVALAPPHANDLE));
  EXPECT_EQ(call(app, 2, 0x20002, number.c_str(), 0, 0, &out), Code(LINEERR_BADDEVICEID));
  EXPECT_EQ(call(0, 99, 0x20002, number.c_str(), 0, 0, &out), 0);  // no application, no device
  EXPECT_EQ(call(app, 0, 0x10003, number.c_str(), 0, 0, &out),
            Code(LINEERR_INCOMPATIBLEAPIVERSION));
  EXPECT_EQ(call(app, 0, 0x20003, number.c_str(), 0, 0, &out),
            Code(LINEERR_INCOMPATIBLEAPIVERSION));
  EXPECT_EQ(call(app, 0, 0x10004, number.c_str(), 0, 0, &out), 0);
  EXPECT_EQ(call(app, 0, 0x20002, nullptr, 0, 0, &out), Code(LINEERR_INVALPOINTER));
  EXPECT_EQ(call(app, 0, 0x20002, number.c_str(), 0, 0, nullptr), Code(LINEERR_INVALPOINTER));
  EXPECT_EQ(call(app, 0, 0x20002, number.c_str(), 0,
                 LINETRANSLATEOPTION_FORCELOCAL | LINETRANSLATEOPTION_FORCELD, &out),
            Code(LINEERR_INVALPARAM));
  EXPECT_EQ(call(app, 0, 0x20002, number.c_str(), 0, 0x100, &out), Code(LINEERR_INVALPARAM));
  EXPECT_EQ(call(app, 0, 0x20002, number.c_str(), 99, LINETRANSLATEOPTION_CARDOVERRIDE, &out),
            Code(LINEERR_INVALCARD));
  EXPECT_EQ(call(app, 0, 0x20002, number.c_str(), 99, 0, &out), 0);  // card ignored
}

TEST_F(TranslateTest, TellsTheSizeNeededWhenTheStringsDoNotFit) {
  const std::u16string number = u"+44 (161) 496 0000";
  std::vector<uint8_t> buffer(sizeof(LINETRANSLATEOUTPUT));
  auto* out = reinterpret_cast<LINETRANSLATEOUTPUT*>(buffer.data());
  out->dwTotalSize = 20;
  EXPECT_EQ(lineTranslateAddressW(init_.app, 0, 0x20002, number.c_str(), 0, 0, out),
            Code(LINEERR_STRUCTURETOOSMALL));

  out->dwTotalSize = sizeof(LINETRANSLATEOUTPUT);
  ASSERT_EQ(lineTranslateAddressW(init_.app, 0, 0x20002, number.c_str(), 0, 0, out), 0);
  const DWORD needed = out->dwNeededSize;
  // "T01614960000" and "01614960000", each with its terminating NUL.
  EXPECT_EQ(needed, sizeof(LINETRANSLATEOUTPUT) + 13 * 2 + 12 * 2);
  EXPECT_EQ(out->dwDialableStringSize, 0u);
  EXPECT_EQ(out->dwTranslateResults, kLong);  // the fixed part is always filled in

  buffer.resize(needed);
  out = reinterpret_cast<LINETRANSLATEOUTPUT*>(buffer.data());
  out->dwTotalSize = needed;
  ASSERT_EQ(lineTranslateAddressW(init_.app, 0, 0x20002, number.c_str(), 0, 0, out), 0);
  EXPECT_EQ(out->dwUsedSize, needed);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(&buffer[out->dwDialableStringOffset])),
            u"T01614960000");
}

// The runtime never holds a book without its current location: such a book is refused and
// translation goes on from the one it had.
TEST_F(TranslateTest, ABookWithoutItsCurrentLocationIsRefused) {
  const Output before = Translate(u"+44 (20) 7946 0904");
  ASSERT_EQ(before.result, 0);
  tapi32::LocationBook book = Book();
  book.currentLocationId = 99;
  EXPECT_EQ(tapi32::Server::Instance().SetLocations(book), Code(LINEERR_INVALLOCATION));
  const Output after = Translate(u"+44 (20) 7946 0904");
  EXPECT_EQ(after.result, 0);
  EXPECT_EQ(after.dialable, before.dialable);
}

}  // namespace
}  // namespace tapi32_test
