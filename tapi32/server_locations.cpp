// The user's dialing locations: reading and keeping them (location_store.h), the translate
// capabilities, the current location and the message that tells applications of a change.
#include <cstring>
#include <iostream>
#include <vector>

#include "tapi32/countries.h"
#include "tapi32/location_store.h"
#include "tapi32/server.h"

namespace tapi32 {

namespace {

// LINETRANSLATECAPS came with TAPI 1.3 and kept its shape; its entries grew. A 1.3 application
// knows LINELOCATIONENTRY only up to dwPreferredCardID, one below 2.0 LINECARDENTRY only up to
// dwCardNumberDigits, and each gets its entries laid out at the size it knows.
constexpr DWORD kLocationEntry13Size = offsetof(LINELOCATIONENTRY, dwLocalAccessCodeSize);
constexpr DWORD kCardEntry14Size = offsetof(LINECARDENTRY, dwSameAreaRuleSize);

DWORD LocationEntrySize(DWORD apiVersion) {
  return apiVersion >= 0x00010004 ? sizeof(LINELOCATIONENTRY) : kLocationEntry13Size;
}

DWORD CardEntrySize(DWORD apiVersion) {
  return apiVersion >= 0x00020000 ? sizeof(LINECARDENTRY) : kCardEntry14Size;
}

// The texts of the variable part, placed after both entry arrays; each size/offset pair is found
// again by its byte offset in the answer, because the entries are written as bytes.
class TextArea {
 public:
  explicit TextArea(DWORD start) : end_(start) {}

  void Add(DWORD sizeFieldAt, const std::u16string& text) {
    if (text.empty()) return;
    const DWORD length = static_cast<DWORD>((text.size() + 1) * sizeof(char16_t));
    texts_.push_back({sizeFieldAt, end_, text});
    end_ += length;
  }
  DWORD End() const { return end_; }

  // Writes the texts and points their size/offset pairs at them.
  void WriteInto(uint8_t* out) const {
    for (const Text& t : texts_) {
      const DWORD length = static_cast<DWORD>((t.text.size() + 1) * sizeof(char16_t));
      std::memcpy(out + t.at, t.text.c_str(), length);
      std::memcpy(out + t.sizeFieldAt, &length, sizeof length);
      std::memcpy(out + t.sizeFieldAt + sizeof(DWORD), &t.at, sizeof t.at);
    }
  }

 private:
  struct Text {
    DWORD sizeFieldAt;
    DWORD at;
    std::u16string text;
  };
  std::vector<Text> texts_;
  DWORD end_;
};

void PutDword(std::vector<uint8_t>& bytes, DWORD at, DWORD value) {
  std::memcpy(bytes.data() + at, &value, sizeof value);
}

// The whole answer as the application's version lays it out, fixed part included.
std::vector<uint8_t> TranslateCapsBytes(const LocationBook& book, DWORD apiVersion) {
  const DWORD locationSize = LocationEntrySize(apiVersion);
  const DWORD cardSize = CardEntrySize(apiVersion);
  const DWORD locationsAt = sizeof(LINETRANSLATECAPS);
  const DWORD cardsAt = locationsAt + locationSize * static_cast<DWORD>(book.locations.size());
  TextArea texts(cardsAt + cardSize * static_cast<DWORD>(book.cards.size()));
  // Entries are written into a local image first; only the fields the version knows are kept.
  std::vector<uint8_t> entries(texts.End(), 0);

  for (size_t i = 0; i < book.locations.size(); ++i) {
    const DialingLocation& l = book.locations[i];
    const DWORD at = locationsAt + locationSize * static_cast<DWORD>(i);
    const Country* country = FindCountry(l.countryId);
    PutDword(entries, at + offsetof(LINELOCATIONENTRY, dwPermanentLocationID), l.permanentId);
    PutDword(entries, at + offsetof(LINELOCATIONENTRY, dwCountryCode),
             country != nullptr ? country->callingCode : 0);
    PutDword(entries, at + offsetof(LINELOCATIONENTRY, dwPreferredCardID), l.preferredCardId);
    texts.Add(at + offsetof(LINELOCATIONENTRY, dwLocationNameSize), l.name);
    texts.Add(at + offsetof(LINELOCATIONENTRY, dwCityCodeSize), l.cityCode);
    if (locationSize < sizeof(LINELOCATIONENTRY)) continue;
    PutDword(entries, at + offsetof(LINELOCATIONENTRY, dwCountryID), l.countryId);
    PutDword(entries, at + offsetof(LINELOCATIONENTRY, dwOptions), l.options);
    texts.Add(at + offsetof(LINELOCATIONENTRY, dwLocalAccessCodeSize), l.localAccessCode);
    texts.Add(at + offsetof(LINELOCATIONENTRY, dwLongDistanceAccessCodeSize),
              l.longDistanceAccessCode);
    texts.Add(at + offsetof(LINELOCATIONENTRY, dwTollPrefixListSize), l.tollPrefixList);
    texts.Add(at + offsetof(LINELOCATIONENTRY, dwCancelCallWaitingSize), l.cancelCallWaiting);
  }
  for (size_t i = 0; i < book.cards.size(); ++i) {
    const CallingCard& c = book.cards[i];
    const DWORD at = cardsAt + cardSize * static_cast<DWORD>(i);
    PutDword(entries, at + offsetof(LINECARDENTRY, dwPermanentCardID), c.permanentId);
    // The number itself is the user's secret: applications learn only how long it is.
    PutDword(entries, at + offsetof(LINECARDENTRY, dwCardNumberDigits),
             static_cast<DWORD>(c.number.size()));
    texts.Add(at + offsetof(LINECARDENTRY, dwCardNameSize), c.name);
    if (cardSize < sizeof(LINECARDENTRY)) continue;
    PutDword(entries, at + offsetof(LINECARDENTRY, dwOptions), c.options);
    texts.Add(at + offsetof(LINECARDENTRY, dwSameAreaRuleSize), c.sameAreaRule);
    texts.Add(at + offsetof(LINECARDENTRY, dwLongDistanceRuleSize), c.longDistanceRule);
    texts.Add(at + offsetof(LINECARDENTRY, dwInternationalRuleSize), c.internationalRule);
  }

  entries.resize(texts.End(), 0);
  texts.WriteInto(entries.data());
  LINETRANSLATECAPS fixed{};
  fixed.dwNeededSize = fixed.dwUsedSize = texts.End();
  fixed.dwNumLocations = static_cast<DWORD>(book.locations.size());
  fixed.dwLocationListSize = cardsAt - locationsAt;
  fixed.dwLocationListOffset = book.locations.empty() ? 0 : locationsAt;
  fixed.dwCurrentLocationID = book.currentLocationId;
  fixed.dwNumCards = static_cast<DWORD>(book.cards.size());
  fixed.dwCardListSize = cardSize * static_cast<DWORD>(book.cards.size());
  fixed.dwCardListOffset = book.cards.empty() ? 0 : cardsAt;
  fixed.dwCurrentPreferredCardID = book.currentPreferredCardId;
  std::memcpy(entries.data(), &fixed, sizeof fixed);
  return entries;
}

}  // namespace

LocationBook& Server::Book() const {
  std::lock_guard lock(mutex_);
  if (locations_) return *locations_;
  const std::string path = LocationsFilePath();
  locationsProblem_.clear();
  try {
    if (!path.empty()) locations_ = LoadLocationsFile(path);
  } catch (const LocationFileError& e) {
    // The user can still telephone: the runtime goes on from the locale, and the file stays as
    // it is until the user changes the locations.
    locationsProblem_ = e.what();
    std::cerr << "tapi32: " << locationsProblem_ << std::endl;
  }
  if (!locations_) locations_ = DefaultLocations();
  return *locations_;
}

LocationBook Server::Locations() const {
  return Book();
}

void Server::ReloadLocations() {
  std::lock_guard lock(mutex_);
  locations_.reset();
  locationsProblem_.clear();
}

std::string Server::LocationsProblem() const {
  std::lock_guard lock(mutex_);
  return locationsProblem_;
}

void Server::SetHighestTranslateVersion(DWORD version) {
  std::lock_guard lock(mutex_);
  highestTranslateVersion_ = version;
}

LONG Server::SetLocations(LocationBook book) {
  if (auto problem = CheckLocations(book)) return Err(problem->code);
  std::lock_guard lock(mutex_);
  const std::string path = LocationsFilePath();
  if (!path.empty()) {
    try {
      SaveLocationsFile(path, book);
    } catch (const LocationFileError& e) {
      std::cerr << "tapi32: " << e.what() << std::endl;
      return Err(LINEERR_OPERATIONFAILED);
    }
  }
  locations_ = std::move(book);
  locationsProblem_.clear();
  // Every application hears of it, open lines or not and whatever it asked lineSetStatusMessages
  // for: the change concerns all lines. The state came with TAPI 1.4; older applications have no
  // name for it.
  PostDeviceChange(LINEMESSAGE{0, LINE_LINEDEVSTATE, 0, LINEDEVSTATE_TRANSLATECHANGE, 0, 0},
                   0x00010004, std::nullopt);
  return 0;
}

LONG Server::LineGetTranslateCaps(HLINEAPP app, DWORD apiVersion, LPLINETRANSLATECAPS caps) {
  if (caps == nullptr) return Err(LINEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  // An application may ask before it initialises.
  if (app != 0 && FindLine(app) == nullptr) return Err(LINEERR_INVALAPPHANDLE);
  if (apiVersion < kLowestApiVersion || apiVersion > kHighestApiVersion ||
      apiVersion > highestTranslateVersion_) {
    return Err(LINEERR_INCOMPATIBLEAPIVERSION);
  }
  const std::vector<uint8_t> answer = TranslateCapsBytes(Book(), apiVersion);
  const DWORD needed = static_cast<DWORD>(answer.size());
  const DWORD total = caps->dwTotalSize;
  if (total < sizeof(LINETRANSLATECAPS)) {
    if (total >= 2 * sizeof(DWORD)) caps->dwNeededSize = needed;
    return Err(LINEERR_STRUCTURETOOSMALL);
  }
  if (needed <= total) {
    std::memcpy(reinterpret_cast<uint8_t*>(caps) + sizeof(DWORD), answer.data() + sizeof(DWORD),
                needed - sizeof(DWORD));
    return 0;
  }
  // Too small for the entries: the fixed fields that stand alone, and what it takes.
  LINETRANSLATECAPS fixed{};
  fixed.dwTotalSize = total;
  fixed.dwNeededSize = needed;
  fixed.dwUsedSize = sizeof(LINETRANSLATECAPS);
  fixed.dwCurrentLocationID = Book().currentLocationId;
  fixed.dwCurrentPreferredCardID = Book().currentPreferredCardId;
  std::memcpy(caps, &fixed, sizeof fixed);
  return 0;
}

LONG Server::LineSetCurrentLocation(HLINEAPP app, DWORD location) {
  std::lock_guard lock(mutex_);
  if (FindLine(app) == nullptr) return Err(LINEERR_INVALAPPHANDLE);
  LocationBook book = Book();
  if (book.FindLocation(location) == nullptr) return Err(LINEERR_INVALLOCATION);
  if (book.currentLocationId == location) return 0;
  book.currentLocationId = location;
  return SetLocations(std::move(book));
}

}  // namespace tapi32
