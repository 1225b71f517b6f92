// The user's dialing locations: the locations file, lineGetTranslateCapsW, lineSetCurrentLocation
// and the TRANSLATECHANGE message every application hears when they change.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tapi32/countries.h"
#include "tapi32/location_store.h"
#include "tapi32/server.h"
#include "tapi32_fixture.h"

namespace tapi32_test {
namespace {

namespace fs = std::filesystem;
using tapi32::CallingCard;
using tapi32::DialingLocation;
using tapi32::LocationBook;

LocationBook TwoLocations() {
  LocationBook book;
  DialingLocation home;
  home.permanentId = 7;
  home.name = u"Home";
  home.countryId = 44;
  home.cityCode = u"20";
  home.preferredCardId = 3;
  home.tollPrefixList = u",800,";
  DialingLocation office;
  office.permanentId = 9;
  office.name = u"Büro";
  office.countryId = 49;
  office.cityCode = u"30";
  office.localAccessCode = u"0";
  office.longDistanceAccessCode = u"0,";
  office.options = LINELOCATIONOPTION_PULSEDIAL;
  office.cancelCallWaiting = u"*70,";
  book.locations = {home, office};
  CallingCard card;
  card.permanentId = 3;
  card.name = u"Phone card";
  card.number = u"4711081512";
  card.sameAreaRule = u"G";
  card.longDistanceRule = u"0FG";
  card.internationalRule = u"00EFG";
  card.options = LINECARDOPTION_HIDDEN;
  book.cards = {card};
  book.currentLocationId = 7;
  book.currentPreferredCardId = 3;
  return book;
}

bool SameBook(const LocationBook& a, const LocationBook& b) {
  return tapi32::FormatLocations(a) == tapi32::FormatLocations(b);
}

// A translate-caps answer as bytes, with readers for its entries.
struct Caps {
  std::vector<uint8_t> bytes = std::vector<uint8_t>(4096, 0);
  LONG result = 0;

  static Caps Get(HLINEAPP app, DWORD version, DWORD total = 4096) {
    Caps caps;
    caps.Header().dwTotalSize = total;
    caps.result = lineGetTranslateCapsW(app, version, &caps.Header());
    return caps;
  }
  LINETRANSLATECAPS& Header() { return *reinterpret_cast<LINETRANSLATECAPS*>(bytes.data()); }
  DWORD Field(DWORD at) const {
    DWORD value;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
  }
  std::u16string Text(DWORD sizeFieldAt) const {
    const DWORD size = Field(sizeFieldAt);
    if (size == 0) return {};
    std::u16string text(size / 2, u'\0');
    std::memcpy(text.data(), bytes.data() + Field(sizeFieldAt + 4), size);
    return text.substr(0, text.find(u'\0'));
  }
};

// Points the runtime at a locations file of the test's own, in a directory of its own.
class LocationsTest : public TapiTest {
 protected:
  void SetUp() override {
    TapiTest::SetUp();
    directory = fs::temp_directory_path() /
                ("zvtapi-locations-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(directory);
    fs::create_directories(directory);
    file = (directory / "locations.ini").string();
    ::setenv(tapi32::kLocationsVariable, file.c_str(), 1);
    Server().ReloadLocations();
  }
  void TearDown() override {
    TapiTest::TearDown();
    ::unsetenv(tapi32::kLocationsVariable);
    Server().ReloadLocations();
    fs::remove_all(directory);
  }
  static tapi32::Server& Server() { return tapi32::Server::Instance(); }
  void WriteFile(const std::string& text) const { std::ofstream(file) << text; }
  std::vector<std::string> FilesInDirectory() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory))
      names.push_back(entry.path().filename().string());
    return names;
  }

  fs::path directory;
  std::string file;
};

TEST_F(LocationsTest, TranslateCapsListsLocationsAndCardsWithoutTheCardNumber) {
  ASSERT_EQ(Server().SetLocations(TwoLocations()), 0);
  // No initialisation is needed to ask.
  Caps caps = Caps::Get(0, 0x00020002);
  ASSERT_EQ(caps.result, 0);
  const LINETRANSLATECAPS& h = caps.Header();
  EXPECT_EQ(h.dwNeededSize, h.dwUsedSize);
  EXPECT_EQ(h.dwNumLocations, 2u);
  EXPECT_EQ(h.dwCurrentLocationID, 7u);
  EXPECT_EQ(h.dwNumCards, 1u);
  EXPECT_EQ(h.dwCurrentPreferredCardID, 3u);
  EXPECT_EQ(h.dwLocationListSize, 2 * sizeof(LINELOCATIONENTRY));

  const DWORD second = h.dwLocationListOffset + sizeof(LINELOCATIONENTRY);
  EXPECT_EQ(caps.Field(h.dwLocationListOffset), 7u);
  EXPECT_EQ(caps.Text(h.dwLocationListOffset + offsetof(LINELOCATIONENTRY, dwLocationNameSize)),
            u"Home");
  EXPECT_EQ(caps.Field(h.dwLocationListOffset + offsetof(LINELOCATIONENTRY, dwCountryCode)), 44u);
  EXPECT_EQ(caps.Field(h.dwLocationListOffset + offsetof(LINELOCATIONENTRY, dwPreferredCardID)),
            3u);
  EXPECT_EQ(caps.Text(h.dwLocationListOffset + offsetof(LINELOCATIONENTRY, dwTollPrefixListSize)),
            u",800,");
  EXPECT_EQ(caps.Field(second), 9u);
  EXPECT_EQ(caps.Text(second + offsetof(LINELOCATIONENTRY, dwLocationNameSize)), u"Büro");
  EXPECT_EQ(caps.Text(second + offsetof(LINELOCATIONENTRY, dwCityCodeSize)), u"30");
  EXPECT_EQ(caps.Field(second + offsetof(LINELOCATIONENTRY, dwCountryID)), 49u);
  EXPECT_EQ(caps.Field(second + offsetof(LINELOCATIONENTRY, dwCountryCode)), 49u);
  EXPECT_EQ(caps.Field(second + offsetof(LINELOCATIONENTRY, dwOptions)),
            LINELOCATIONOPTION_PULSEDIAL);
  EXPECT_EQ(caps.Text(second + offsetof(LINELOCATIONENTRY, dwLocalAccessCodeSize)), u"0");
  EXPECT_EQ(caps.Text(second + offsetof(LINELOCATIONENTRY, dwLongDistanceAccessCodeSize)), u"0,");
  EXPECT_EQ(caps.Text(second + offsetof(LINELOCATIONENTRY, dwCancelCallWaitingSize)), u"*70,");

  const DWORD card = h.dwCardListOffset;
  EXPECT_EQ(h.dwCardListSize, sizeof(LINECARDENTRY));
  EXPECT_EQ(caps.Field(card), 3u);
  EXPECT_EQ(caps.Text(card + offsetof(LINECARDENTRY, dwCardNameSize)), u"Phone card");
  EXPECT_EQ(caps.Field(card + offsetof(LINECARDENTRY, dwCardNumberDigits)), 10u);
  EXPECT_EQ(caps.Text(card + offsetof(LINECARDENTRY, dwLongDistanceRuleSize)), u"0FG");
  EXPECT_EQ(caps.Field(card + offsetof(LINECARDENTRY, dwOptions)), LINECARDOPTION_HIDDEN);
  // The number never leaves the runtime, in any encoding.
  const std::u16string number = u"4711081512";
  const auto* raw = reinterpret_cast<const char*>(number.data());
  const std::string asBytes(raw, raw + number.size() * 2);
  const std::string answer(caps.bytes.begin(), caps.bytes.begin() + h.dwUsedSize);
  EXPECT_EQ(answer.find(asBytes), std::string::npos);
  EXPECT_EQ(answer.find("4711081512"), std::string::npos);
}

TEST_F(LocationsTest, OlderVersionsGetTheEntriesTheyKnow) {
  ASSERT_EQ(Server().SetLocations(TwoLocations()), 0);
  // 1.4: all of LINELOCATIONENTRY, LINECARDENTRY without the rules.
  Caps v14 = Caps::Get(0, 0x00010004);
  ASSERT_EQ(v14.result, 0);
  EXPECT_EQ(v14.Header().dwLocationListSize, 2 * sizeof(LINELOCATIONENTRY));
  EXPECT_EQ(v14.Header().dwCardListSize, offsetof(LINECARDENTRY, dwSameAreaRuleSize));
  // 1.3: LINELOCATIONENTRY ends at dwPreferredCardID.
  Caps v13 = Caps::Get(0, 0x00010003);
  ASSERT_EQ(v13.result, 0);
  const DWORD size13 = offsetof(LINELOCATIONENTRY, dwLocalAccessCodeSize);
  EXPECT_EQ(v13.Header().dwLocationListSize, 2 * size13);
  const DWORD second = v13.Header().dwLocationListOffset + size13;
  EXPECT_EQ(v13.Field(second), 9u);
  EXPECT_EQ(v13.Text(second + offsetof(LINELOCATIONENTRY, dwLocationNameSize)), u"Büro");
  EXPECT_EQ(v13.Field(second + offsetof(LINELOCATIONENTRY, dwCountryCode)), 49u);
}

TEST_F(LocationsTest, TranslateCapsRefusesWhatTapiRefuses) {
  EXPECT_EQ(lineGetTranslateCapsW(0, 0x00020002, nullptr), Code(LINEERR_INVALPOINTER));
  EXPECT_EQ(Caps::Get(0x7777, 0x00020002).result, Code(LINEERR_INVALAPPHANDLE));
  EXPECT_EQ(Caps::Get(0, 0x00010002).result, Code(LINEERR_INCOMPATIBLEAPIVERSION));
  EXPECT_EQ(Caps::Get(0, 0x00030002).result, Code(LINEERR_INCOMPATIBLEAPIVERSION));
  LineInit init = InitLine();
  ASSERT_EQ(init.result, 0);
  EXPECT_EQ(Caps::Get(init.app, 0x00020002).result, 0);

  // An older TAPI: 2.2 refused, 2.0 answered; Reset lifts the limit.
  Switch().RefuseTranslateVersionsAbove(0x00020000);
  EXPECT_EQ(Caps::Get(0, 0x00020002).result, Code(LINEERR_INCOMPATIBLEAPIVERSION));
  EXPECT_EQ(Caps::Get(0, 0x00020000).result, 0);
  TapiTest::SetUp();
  EXPECT_EQ(Caps::Get(0, 0x00020002).result, 0);
}

TEST_F(LocationsTest, TooSmallAStructureLearnsWhatItNeeds) {
  ASSERT_EQ(Server().SetLocations(TwoLocations()), 0);
  const DWORD needed = Caps::Get(0, 0x00020002).Header().dwNeededSize;
  // Room for the fixed part only: success, the current location, no entries.
  Caps fixed = Caps::Get(0, 0x00020002, sizeof(LINETRANSLATECAPS));
  ASSERT_EQ(fixed.result, 0);
  EXPECT_EQ(fixed.Header().dwNeededSize, needed);
  EXPECT_EQ(fixed.Header().dwUsedSize, sizeof(LINETRANSLATECAPS));
  EXPECT_EQ(fixed.Header().dwNumLocations, 0u);
  EXPECT_EQ(fixed.Header().dwCurrentLocationID, 7u);
  // Not even that: the error, with the size.
  Caps header = Caps::Get(0, 0x00020002, 12);
  EXPECT_EQ(header.result, Code(LINEERR_STRUCTURETOOSMALL));
  EXPECT_EQ(header.Header().dwNeededSize, needed);
}

TEST_F(LocationsTest, ChoosingTheCurrentLocationTellsEveryApplication) {
  ASSERT_EQ(Server().SetLocations(TwoLocations()), 0);
  LineInit watcher = InitLine();  // no line open
  LineInit opener = InitLine();
  LineInit old = InitLine(0x00010003);
  ASSERT_EQ(watcher.result, 0);
  ASSERT_EQ(old.result, 0);
  // An open line that asked for no state messages at all.
  ASSERT_NE(OpenLine(opener.app, 0, LINECALLPRIVILEGE_NONE, 0), 0u);
  for (HLINEAPP app : {watcher.app, opener.app, old.app})
    DrainLine(app);

  EXPECT_EQ(lineSetCurrentLocation(watcher.app, 42), Code(LINEERR_INVALLOCATION));
  EXPECT_EQ(lineSetCurrentLocation(0x7777, 9), Code(LINEERR_INVALAPPHANDLE));
  EXPECT_TRUE(DrainLine(watcher.app).empty());

  ASSERT_EQ(lineSetCurrentLocation(watcher.app, 9), 0);
  for (HLINEAPP app : {watcher.app, opener.app}) {
    const std::vector<LINEMESSAGE> messages = DrainLine(app);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].hDevice, 0u);
    EXPECT_EQ(messages[0].dwMessageID, LINE_LINEDEVSTATE);
    EXPECT_EQ(messages[0].dwCallbackInstance, 0u);
    EXPECT_EQ(messages[0].dwParam1, LINEDEVSTATE_TRANSLATECHANGE);
  }
  // TAPI 1.3 has no name for the state.
  EXPECT_TRUE(DrainLine(old.app).empty());
  EXPECT_EQ(Caps::Get(0, 0x00020002).Header().dwCurrentLocationID, 9u);

  // Choosing the location that is current already changes nothing.
  ASSERT_EQ(lineSetCurrentLocation(watcher.app, 9), 0);
  EXPECT_TRUE(DrainLine(watcher.app).empty());
  // The choice outlives the runtime.
  Server().ReloadLocations();
  EXPECT_EQ(Server().Locations().currentLocationId, 9u);
}

TEST_F(LocationsTest, SetLocationsRefusesABrokenBookAndKeepsTheOldOne) {
  ASSERT_EQ(Server().SetLocations(TwoLocations()), 0);
  LineInit init = InitLine();
  ASSERT_EQ(init.result, 0);
  DrainLine(init.app);
  struct Case {
    const char* what;
    std::function<void(LocationBook&)> breakIt;
    uint32_t error;
  };
  const std::vector<Case> cases = {
      {"no location", [](LocationBook& b) { b.locations.clear(); }, LINEERR_INVALPARAM},
      {"two locations with one ID", [](LocationBook& b) { b.locations[1].permanentId = 7; },
       LINEERR_INVALPARAM},
      {"two cards with one ID", [](LocationBook& b) { b.cards.push_back(b.cards[0]); },
       LINEERR_INVALPARAM},
      {"a card with ID 0", [](LocationBook& b) { b.cards[0].permanentId = 0; }, LINEERR_INVALCARD},
      {"an unknown country", [](LocationBook& b) { b.locations[0].countryId = 999999; },
       LINEERR_INVALCOUNTRYCODE},
      {"no current location", [](LocationBook& b) { b.currentLocationId = 8; },
       LINEERR_INVALLOCATION},
      {"letters in an area code", [](LocationBook& b) { b.locations[0].cityCode = u"2O"; },
       LINEERR_INVALPARAM},
      {"letters in an access code", [](LocationBook& b) { b.locations[1].localAccessCode = u"9a"; },
       LINEERR_INVALPARAM},
      {"a toll prefix with a star", [](LocationBook& b) { b.locations[0].tollPrefixList = u"*8"; },
       LINEERR_INVALPARAM},
      {"letters in a card number", [](LocationBook& b) { b.cards[0].number = u"12x4"; },
       LINEERR_INVALPARAM},
      {"an unnamed location", [](LocationBook& b) { b.locations[0].name.clear(); },
       LINEERR_INVALPARAM},
      {"a name of two lines", [](LocationBook& b) { b.locations[0].name = u"Home\n[card]"; },
       LINEERR_INVALPARAM},
      {"a card rule of two lines", [](LocationBook& b) { b.cards[0].sameAreaRule = u"G\rG"; },
       LINEERR_INVALPARAM},
      {"a preferred card that is not there", [](LocationBook& b) { b.cards.clear(); },
       LINEERR_INVALCARD},
      {"a current card that is not there", [](LocationBook& b) { b.currentPreferredCardId = 4; },
       LINEERR_INVALCARD},
  };
  for (const Case& c : cases) {
    LocationBook book = TwoLocations();
    c.breakIt(book);
    EXPECT_EQ(Server().SetLocations(book), Code(c.error)) << c.what;
  }
  EXPECT_TRUE(SameBook(Server().Locations(), TwoLocations()));
  EXPECT_TRUE(DrainLine(init.app).empty());
}

TEST_F(LocationsTest, TheFileIsWrittenWholeAndReadBack) {
  // Without a file the runtime starts from the locale and writes nothing until a change.
  EXPECT_EQ(Server().Locations().locations.size(), 1u);
  EXPECT_FALSE(fs::exists(file));

  ASSERT_EQ(Server().SetLocations(TwoLocations()), 0);
  // Only the file itself is left: the temporary one was renamed into place.
  EXPECT_EQ(FilesInDirectory(), std::vector<std::string>{"locations.ini"});
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::others_read, fs::perms::none);
  // A runtime started afresh reads what this one wrote.
  Server().ReloadLocations();
  EXPECT_TRUE(SameBook(Server().Locations(), TwoLocations()));
  EXPECT_EQ(Server().LocationsProblem(), "");
  const std::optional<LocationBook> read = tapi32::LoadLocationsFile(file);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->locations[1].name, u"Büro");
  EXPECT_EQ(read->cards[0].number, u"4711081512");
}

TEST_F(LocationsTest, AFileThatCannotBeWrittenLeavesEverythingAsItWas) {
  ASSERT_EQ(Server().SetLocations(TwoLocations()), 0);
  // A plain file where the directory should be.
  const std::string blocked = (directory / "plain" / "locations.ini").string();
  std::ofstream((directory / "plain").string()) << "x";
  ::setenv(tapi32::kLocationsVariable, blocked.c_str(), 1);
  LocationBook changed = TwoLocations();
  changed.currentLocationId = 9;
  EXPECT_EQ(Server().SetLocations(changed), Code(LINEERR_OPERATIONFAILED));
  EXPECT_EQ(Server().Locations().currentLocationId, 7u);
}

TEST_F(LocationsTest, ACorruptFileIsReportedByFileAndLineAndTheLocaleStandsIn) {
  WriteFile("# mine\n[location]\nid = 1\nname = Home\ncountry = 44x\n[current]\nlocation = 1\n");
  ::setenv("LC_ALL", "de_DE.UTF-8", 1);
  const LocationBook book = Server().Locations();
  ::unsetenv("LC_ALL");
  EXPECT_EQ(Server().LocationsProblem(), file + ":5: '44x' is not a number");
  ASSERT_EQ(book.locations.size(), 1u);
  EXPECT_EQ(book.locations[0].countryId, tapi32::FindCountryByRegion("DE")->id);
  // The file stays as the user left it until the locations change.
  std::ifstream in(file);
  std::string first;
  std::getline(in, first);
  EXPECT_EQ(first, "# mine");
}

TEST(LocationFileTest, EveryProblemNamesItsLine) {
  const std::string good = tapi32::FormatLocations(TwoLocations());
  EXPECT_TRUE(SameBook(tapi32::ParseLocations(good, "f"), TwoLocations()));
  struct Case {
    std::string text;
    std::string message;
  };
  const std::string current = "[current]\nlocation = 1\n";
  const std::vector<Case> cases = {
      {"[location]\nid = 1\nname = A\ncountry = 44\nfloor = 3\n" + current,
       "f:5: unknown key 'floor' in a [location]"},
      {"name = A\n", "f:1: 'name' stands before any [location], [card] or [current]"},
      {"[location\n", "f:1: a section header must end with ']'"},
      {"[place]\n", "f:1: unknown section [place] (expected [location], [card] or [current])"},
      {"[location]\nid = 1\nid = 2\n", "f:3: 'id' is given twice in this section"},
      {"[location]\nid 1\n", "f:2: expected 'key = value' or a [section]"},
      {"[location]\nid = 1\nname = A\ncountry = 44\n", "f:4: the [current] section is missing"},
      {"[location]\nid = 1\nname = A\ncountry = 44\npulse_dial = maybe\n" + current,
       "f:5: 'maybe' is not yes or no"},
      {"[location]\nid = 1\nname = A\ncountry = 44\n[location]\nid = 1\nname = B\ncountry = 44\n" +
           current,
       "f:5: location ID 1 is used twice"},
      {"[location]\nid = 1\nname = A\ncountry = 44\narea_code = 2-0\n" + current,
       "f:1: the area code '2-0' holds more than digits"},
      {"[location]\nid = 1\nname = A\ncountry = 44\n[card]\nid = 2\nname = C\nnumber = 1a\n" +
           current,
       "f:5: the card number holds more than digits"},
      {"[location]\nid = 1\nname = A\ncountry = 44\n[current]\nlocation = 2\n",
       "f:5: the current location 2 does not exist"},
      {"[location]\nid = 0x1FFFFFFFF\n", "f:2: '0x1FFFFFFFF' does not fit in 32 bits"},
  };
  for (const Case& c : cases) {
    try {
      tapi32::ParseLocations(c.text, "f");
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const tapi32::LocationFileError& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
}

// The sample in the user documentation is a file the runtime takes.
TEST(LocationFileTest, TheDocumentedSampleIsAValidFile) {
  std::ifstream doc(std::string(ZVTAPI_SOURCE_DIR) + "/docs/telephony-locations.md");
  ASSERT_TRUE(doc);
  std::string sample, line;
  bool inside = false;
  while (std::getline(doc, line)) {
    if (line == "```ini" || (inside && line == "```")) {
      inside = !inside;
    } else if (inside) {
      sample += line + "\n";
    }
  }
  ASSERT_FALSE(sample.empty());
  const LocationBook book = tapi32::ParseLocations(sample, "sample");
  ASSERT_EQ(book.locations.size(), 1u);
  EXPECT_EQ(book.locations[0].countryId, 44u);
  EXPECT_EQ(book.cards[0].number, u"4711081512");
}

TEST(LocationFileTest, TheFirstLocationComesFromTheLocale) {
  struct Case {
    const char* lcAll;
    const char* lcTelephone;
    const char* lang;
    const char* region;  // whose country the location is in; none: "My Location"
  };
  const std::vector<Case> cases = {
      {"en_GB.UTF-8", nullptr, "de_DE.UTF-8", "GB"}, {nullptr, "de_DE@euro", "en_GB", "DE"},
      {nullptr, nullptr, "en_GB.UTF-8", "GB"},       {"C", nullptr, "de_DE", nullptr},
      {nullptr, nullptr, nullptr, nullptr},
  };
  auto set = [](const char* name, const char* value) {
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  };
  const char* saved = std::getenv("LANG");
  const std::string savedLang = saved != nullptr ? saved : "";
  for (const Case& c : cases) {
    set("LC_ALL", c.lcAll);
    set("LC_TELEPHONE", c.lcTelephone);
    set("LANG", c.lang);
    const LocationBook book = tapi32::DefaultLocations();
    ASSERT_EQ(book.locations.size(), 1u);
    const DialingLocation& location = book.locations[0];
    if (c.region != nullptr) {
      const tapi32::Country* country = tapi32::FindCountryByRegion(c.region);
      ASSERT_NE(country, nullptr);
      EXPECT_EQ(location.countryId, country->id) << c.region;
      EXPECT_EQ(location.name, country->name);
    } else {
      EXPECT_EQ(location.name, u"My Location");
      ASSERT_NE(tapi32::FindCountry(location.countryId), nullptr);
      EXPECT_EQ(tapi32::FindCountry(location.countryId)->callingCode, 1u);
    }
    EXPECT_EQ(book.currentLocationId, location.permanentId);
    EXPECT_FALSE(tapi32::CheckLocations(book).has_value());
  }
  ::unsetenv("LC_ALL");
  ::unsetenv("LC_TELEPHONE");
  set("LANG", saved != nullptr ? savedLang.c_str() : nullptr);
}

TEST(LocationFileTest, ThePathFollowsTheEnvironment) {
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::string savedValue = saved != nullptr ? saved : "";
  ::unsetenv(tapi32::kLocationsVariable);
  ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(tapi32::LocationsFilePath(), "/cfg/ringwatch/telephony-locations.ini");
  ::setenv(tapi32::kLocationsVariable, "/elsewhere.ini", 1);
  EXPECT_EQ(tapi32::LocationsFilePath(), "/elsewhere.ini");
  ::unsetenv(tapi32::kLocationsVariable);
  if (saved != nullptr) {
    ::setenv("XDG_CONFIG_HOME", savedValue.c_str(), 1);
  } else {
    ::unsetenv("XDG_CONFIG_HOME");
  }
}

}  // namespace
}  // namespace tapi32_test
