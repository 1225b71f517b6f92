// Dialing locations in the library: the location list and its version step-down, single
// locations, the line's Location kept fresh by TAPI's messages, address translation and the
// line's dialogs.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "line_test_support.h"
#include "tapi/location.h"
#include "tapi32/dialogs.h"
#include "tapi32/location_store.h"
#include "tapi32/server.h"

namespace zvtapi::testing {
namespace {

namespace fs = std::filesystem;

tapi32::DialingLocation Place(DWORD id, std::u16string name, DWORD country, std::u16string areaCode,
                              std::u16string localAccess = u"") {
  tapi32::DialingLocation location;
  location.permanentId = id;
  location.name = std::move(name);
  location.countryId = country;
  location.cityCode = std::move(areaCode);
  location.localAccessCode = std::move(localAccess);
  return location;
}

tapi32::LocationBook Book(std::vector<tapi32::DialingLocation> locations, DWORD current) {
  tapi32::LocationBook book;
  book.locations = std::move(locations);
  book.currentLocationId = current;
  return book;
}

tapi32::LocationBook HomeAndOffice() {
  return Book({Place(7, u"Home", 44, u"20"), Place(9, u"Office", 49, u"30", u"0")}, 7);
}

std::vector<std::string> Values(const TzvTapiLocation& location) {
  TStringList list;
  location.GetValues(list);
  std::vector<std::string> values;
  for (int i = 0; i < list.Count(); ++i)
    values.push_back(list.Strings(i));
  return values;
}

// A location loaded by an ID the test chooses.
class LocationByID : public TzvTapiLocation {
 public:
  explicit LocationByID(Cardinal id) { FLocationID = id; }
};

class LocationTest : public LineTest {
 protected:
  void SetUp() override {
    LineTest::SetUp();
    directory = fs::temp_directory_path() /
                ("zvtapi-location-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(directory);
    ::setenv(tapi32::kLocationsVariable, (directory / "locations.ini").c_str(), 1);
    Runtime().ReloadLocations();
    ASSERT_EQ(Runtime().SetLocations(HomeAndOffice()), 0);
    // Country data is another matter: without it the location keeps the usual rules.
    Switch().FailAlways("lineGetCountryW", static_cast<LONG>(LINEERR_OPERATIONFAILED));
  }
  void TearDown() override {
    tapi32::RegisterTranslateDialog({});
    tapi32::RegisterLineConfigDialog({});
    LineTest::TearDown();
    ::unsetenv(tapi32::kLocationsVariable);
    Runtime().ReloadLocations();
    fs::remove_all(directory);
  }
  static tapi32::Server& Runtime() { return tapi32::Server::Instance(); }

  fs::path directory;
};

TEST_F(LocationTest, TheListHoldsEveryLocationWithTheUsualRulesWithoutCountryData) {
  TzvTapiLocationList list;
  ASSERT_TRUE(list.Available());
  EXPECT_EQ(list.InitError(), 0u);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.IndexOf("home"), 0);
  EXPECT_EQ(list.IndexOf("OFFICE"), 1);
  EXPECT_EQ(list.IndexOf("Hom"), -1);
  EXPECT_EQ(list.IndexOfID(9), 1);
  EXPECT_EQ(list.IndexOfID(8), -1);
  EXPECT_EQ(list.CurrentLocationID(), 7u);
  ASSERT_NE(list.CurrentLocation(), nullptr);
  EXPECT_EQ(list.CurrentLocation()->LocationName(), "Home");
  const TzvTapiLocation& office = *list.Get(1);
  EXPECT_EQ(office.CountryID(), 49u);
  EXPECT_EQ(office.LocalAccessCode(), "0");
  EXPECT_EQ(Values(office),
            (std::vector<std::string>{"LocationID=9", "LocationName=Office", "CityCode=30",
                                      "LocalAccessCode=0", "SameAreaRule=G", "LongDistanceRule=0FG",
                                      "InternationalRule=00EFG"}));
  EXPECT_THROW(list.Get(2), Exception);
}

TEST_F(LocationTest, ANewLocationHasOnlyItsID) {
  const TzvTapiLocation location;
  EXPECT_FALSE(location.Available());
  EXPECT_EQ(Values(location), std::vector<std::string>{"LocationID=4294967295"});
}

TEST_F(LocationTest, ARefusedVersionStepsDownAndStaysDown) {
  Switch().RefuseTranslateVersionsAbove(0x00010004);
  TzvTapiLocationList list;
  ASSERT_TRUE(list.Available());
  EXPECT_EQ(list.APIVersion(), 0x00010004u);
  EXPECT_EQ(Switch().CallCount("lineGetTranslateCapsW"), 3u);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Get(1)->LocationName(), "Office");
  EXPECT_EQ(list.Get(1)->LocalAccessCode(), "0");
  // TAPI accepts 2.2 again; the list keeps the version it found.
  Switch().RefuseTranslateVersionsAbove(0x00020002);
  list.Update();
  EXPECT_EQ(list.APIVersion(), 0x00010004u);
}

TEST_F(LocationTest, A13AnswerIsReadWithItsShorterEntries) {
  Switch().RefuseTranslateVersionsAbove(0x00010003);
  TzvTapiLocationList list;
  ASSERT_TRUE(list.Available());
  EXPECT_EQ(list.APIVersion(), 0x00010003u);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Get(1)->LocationID(), 9u);
  EXPECT_EQ(list.Get(1)->LocationName(), "Office");
  EXPECT_EQ(list.Get(1)->CityCode(), "30");
  // What TAPI 1.3 does not report.
  EXPECT_EQ(list.Get(1)->LocalAccessCode(), "");
  EXPECT_EQ(list.Get(1)->CountryID(), 0u);
}

TEST_F(LocationTest, WhenNoVersionIsAcceptedTheStepDownEndsAt13) {
  Switch().RefuseTranslateVersionsAbove(0x00010002);
  TzvTapiLocationList list;
  EXPECT_FALSE(list.Available());
  EXPECT_EQ(list.InitError(), LINEERR_INCOMPATIBLEAPIVERSION);
  EXPECT_EQ(list.APIVersion(), 0x00010003u);
  EXPECT_EQ(Switch().CallCount("lineGetTranslateCapsW"), 4u);
}

TEST_F(LocationTest, AFetchWithFewerLocationsDropsTheSurplusFromTheEnd) {
  ASSERT_EQ(Runtime().SetLocations(Book(
                {Place(1, u"A", 44, u"1"), Place(2, u"B", 44, u"2"), Place(3, u"C", 44, u"3")}, 1)),
            0);
  TzvTapiLocationList list;
  ASSERT_EQ(list.Count(), 3);
  TzvTapiLocation* first = list.Get(0);
  TzvTapiLocation* second = list.Get(1);
  ASSERT_EQ(Runtime().SetLocations(Book({Place(5, u"E", 44, u"5"), Place(2, u"B", 44, u"22")}, 5)),
            0);
  list.Update();
  ASSERT_EQ(list.Count(), 2);
  // The objects stay where they were and take the new values.
  EXPECT_EQ(list.Get(0), first);
  EXPECT_EQ(list.Get(1), second);
  EXPECT_EQ(first->LocationName(), "E");
  EXPECT_EQ(second->CityCode(), "22");
}

TEST_F(LocationTest, AFailedFetchKeepsTheLocationsButNotTheCurrentOne) {
  TzvTapiLocationList list;
  ASSERT_EQ(list.Count(), 2);
  Switch().FailNext("lineGetTranslateCapsW", static_cast<LONG>(LINEERR_NOMEM));
  try {
    list.Update();
    ADD_FAILURE() << "Update did not raise";
  } catch (const EzvTapiError& e) {
    EXPECT_EQ(e.ErrorCode(), LINEERR_NOMEM);
  }
  EXPECT_FALSE(list.Available());
  EXPECT_EQ(list.InitError(), LINEERR_NOMEM);
  EXPECT_EQ(list.Count(), 2);
  // Nothing is fetched for the current location of a list without data.
  const uint32_t calls = Switch().CallCount("lineGetTranslateCapsW");
  EXPECT_EQ(list.CurrentLocation(), nullptr);
  EXPECT_EQ(Switch().CallCount("lineGetTranslateCapsW"), calls);
  // Its ID tries again: TAPI's error, then, once TAPI answers, the ID.
  Switch().FailNext("lineGetTranslateCapsW", static_cast<LONG>(LINEERR_NOMEM));
  EXPECT_THROW(list.CurrentLocationID(), EzvTapiError);
  EXPECT_EQ(list.CurrentLocationID(), 7u);
  // A cleared list is empty.
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_FALSE(list.Available());
}

TEST_F(LocationTest, ALocationIsLoadedByItsIDUntilItIsGone) {
  LocationByID office(9);
  office.Update();
  EXPECT_TRUE(office.Available());
  EXPECT_EQ(office.LocationName(), "Office");
  ASSERT_EQ(Runtime().SetLocations(Book({Place(7, u"Home", 44, u"20")}, 7)), 0);
  try {
    office.Update();
    ADD_FAILURE() << "Update did not raise";
  } catch (const EzvTapiError& e) {
    EXPECT_EQ(e.ErrorCode(), LINEERR_OPERATIONFAILED);
  }
  EXPECT_FALSE(office.Available());
  EXPECT_EQ(office.LocationName(), "");
  EXPECT_EQ(office.LocationID(), 9u);
}

TEST_F(LocationTest, TheLineKeepsItsLocationFreshWhenTapiReportsAChange) {
  LineUnderTest line;
  OpenOn(line, 0);
  EXPECT_EQ(line.Location().LocationName(), "Home");
  std::vector<std::string> seen;
  line.SetOnTapiTranslateChange([&](TObject*) { seen.push_back(line.Location().LocationName()); });
  // Another program chooses the office.
  ASSERT_EQ(lineSetCurrentLocation(Appl().LineApp(), 9), 0);
  ASSERT_TRUE(PumpUntil([&] { return !seen.empty(); }));
  EXPECT_EQ(seen, std::vector<std::string>{"Office"});
  EXPECT_EQ(line.Location().LocationID(), 9u);

  // The system location chooses too.
  line.Location().SetLocationID(7);
  EXPECT_EQ(line.Location().LocationName(), "Home");
  try {
    line.Location().SetLocationID(8);
    ADD_FAILURE() << "SetLocationID did not raise";
  } catch (const EzvTapiError& e) {
    EXPECT_EQ(e.ErrorCode(), LINEERR_INVALLOCATION);
  }
}

TEST_F(LocationTest, ARefreshThatFailsIsReportedAndTheEventStillFires) {
  LineUnderTest line;
  OpenOn(line, 0);
  EventLog log;
  log.Attach(line);
  ASSERT_EQ(line.Location().LocationName(), "Home");
  int changes = 0;
  line.SetOnTapiTranslateChange([&](TObject*) { ++changes; });
  Switch().FailAlways("lineGetTranslateCapsW", static_cast<LONG>(LINEERR_NOMEM));
  PostLine(0, LINE_LINEDEVSTATE, 0, LINEDEVSTATE_TRANSLATECHANGE);
  ASSERT_TRUE(PumpUntil([&] { return changes == 1; }));
  EXPECT_EQ(log.errors.size(), 1u);
}

TEST_F(LocationTest, AClosedLineRefreshesItsLocationOnReinit) {
  LineUnderTest line;
  line.SetDeviceID(0);
  ASSERT_TRUE(line.Available());
  ASSERT_EQ(line.Location().LocationName(), "Home");
  bool reinit = false;
  line.SetOnTapiReinit([&](TObject*) { reinit = true; });
  // The file changes behind the runtime's back: no message, only the re-initialisation makes
  // the line look.
  tapi32::LocationBook book = HomeAndOffice();
  book.currentLocationId = 9;
  tapi32::SaveLocationsFile(tapi32::LocationsFilePath(), book);
  Runtime().ReloadLocations();
  std::vector<Cardinal> states;
  line.SetOnDeviceState(
      [&](TObject*, Cardinal state, Cardinal, Cardinal) { states.push_back(state); });
  PostLine(0, LINE_LINEDEVSTATE, 0, LINEDEVSTATE_REINIT);
  ASSERT_TRUE(PumpUntil([&] { return !states.empty(); }));
  EXPECT_EQ(line.Location().LocationName(), "Office");
  EXPECT_FALSE(reinit);
}

TEST_F(LocationTest, AnUnboundLineRefusesTranslationAndDialogs) {
  LineUnderTest line;
  const uint32_t translations = Switch().CallCount("lineTranslateAddressW");
  auto message = [](const std::function<void()>& f) -> std::string {
    try {
      f();
    } catch (const Exception& e) {
      return e.Message();
    }
    return "no exception";
  };
  EXPECT_EQ(message([&] { line.TranslateAddress("+44 (20) 7946 0904", 0); }),
            "TranslateAddress failed! No device.");
  EXPECT_EQ(message([&] { line.TranslateDialog("", 0); }), "TranslateDialog failed! No device.");
  EXPECT_EQ(message([&] { line.ConfigDialog(0); }), "ConfigDialog failed! No device.");
  EXPECT_EQ(Switch().CallCount("lineTranslateAddressW"), translations);
}

// With TAPI's country data the locations carry their countries' codes, names and rules, and the
// line dials from the current one: a London number is local from London, long distance from
// Manchester, international from Berlin.
TEST_F(LocationTest, WithCountryDataLocationsCarryTheirCountriesAndTheLineTranslatesFromThem) {
  Switch().ClearFaults();
  TzvTapiLocationList list;
  ASSERT_TRUE(list.Available());
  const TzvTapiLocation& home = *list.Get(0);
  EXPECT_EQ(home.CountryCode(), "44");
  EXPECT_EQ(home.CountryName(), "United Kingdom");
  EXPECT_EQ(home.LongDistanceRule(), "0FG");
  EXPECT_EQ(home.InternationalRule(), "00EFG");
  EXPECT_EQ(list.Get(1)->CountryCode(), "49");

  LineUnderTest line;
  OpenOn(line, 0);
  const std::string london = "+44 (20) 7946 0904";
  EXPECT_EQ(line.TranslateAddress(london, 0), "T79460904");
  ASSERT_EQ(Runtime().SetLocations(Book({Place(7, u"Home", 44, u"161")}, 7)), 0);
  EXPECT_EQ(line.TranslateAddress(london, 0), "T02079460904");
  ASSERT_EQ(Runtime().SetLocations(HomeAndOffice()), 0);
  line.Location().SetLocationID(9);
  EXPECT_EQ(line.Location().LocationName(), "Office");
  EXPECT_EQ(line.Location().CountryCode(), "49");
  EXPECT_EQ(line.TranslateAddress(london, 0), "T00442079460904");
}

TEST_F(LocationTest, AnAddressTapiCannotTranslateGivesAnEmptyString) {
  LineUnderTest line;
  OpenOn(line, 0);
  Switch().FailNext("lineTranslateAddressW", static_cast<LONG>(LINEERR_INVALADDRESS));
  EXPECT_EQ(line.TranslateAddress("+44 (20) 7946 0904", 0), "");
  EXPECT_EQ(Switch().CallCount("lineTranslateAddressW"), 1u);
}

TEST_F(LocationTest, TheTranslateDialogPreviewsTheAddressAndTheLocationFollowsIt) {
  LineUnderTest line;
  OpenOn(line, 1);
  ASSERT_EQ(line.Location().LocationName(), "Home");
  DWORD shownFor = 0;
  HWND shownOver = 0;
  std::u16string preview;
  LONG answer = 0;
  // The user picks the office and presses OK.
  tapi32::RegisterTranslateDialog([&](DWORD device, HWND owner, const std::u16string& address) {
    shownFor = device;
    shownOver = owner;
    preview = address;
    if (answer != 0) return answer;
    tapi32::LocationBook book = Runtime().Locations();
    book.currentLocationId = 9;
    return Runtime().SetLocations(book);
  });
  line.TranslateDialog("+44 (20) 7946 0904", 0x55);
  EXPECT_EQ(shownFor, 1u);
  EXPECT_EQ(shownOver, 0x55u);
  EXPECT_EQ(preview, u"+44 (20) 7946 0904");
  // Fresh at once, before any message is handled.
  EXPECT_EQ(line.Location().LocationName(), "Office");

  answer = static_cast<LONG>(LINEERR_OPERATIONFAILED);
  EXPECT_THROW(line.TranslateDialog("", 0), EzvTapiError);

  // The list's dialog shows the same and refreshes the list.
  answer = 0;
  TzvTapiLocationList list;
  ASSERT_EQ(list.CurrentLocationID(), 9u);
  ASSERT_EQ(Runtime().SetLocations(HomeAndOffice()), 0);
  list.ShowDialog(0x66);
  EXPECT_EQ(shownOver, 0x66u);
  EXPECT_EQ(preview, u"");
  EXPECT_EQ(list.CurrentLocationID(), 9u);
}

TEST_F(LocationTest, TheConfigDialogIsTheLineDevicesOwn) {
  LineUnderTest line;
  OpenOn(line, 2);
  std::vector<std::pair<DWORD, HWND>> shown;
  LONG answer = 0;
  tapi32::RegisterLineConfigDialog([&](DWORD device, HWND owner, const std::u16string& cls) {
    EXPECT_EQ(cls, u"");
    shown.emplace_back(device, owner);
    return answer;
  });
  line.ConfigDialog(0x77);
  EXPECT_EQ(shown, (std::vector<std::pair<DWORD, HWND>>{{2, 0x77}}));
  answer = static_cast<LONG>(LINEERR_OPERATIONFAILED);
  try {
    line.ConfigDialog(0x77);
    ADD_FAILURE() << "ConfigDialog did not raise";
  } catch (const EzvTapiError& e) {
    EXPECT_EQ(e.ErrorCode(), LINEERR_OPERATIONFAILED);
  }
}

}  // namespace
}  // namespace zvtapi::testing
