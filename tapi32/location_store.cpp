#include "tapi32/location_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string_view>
#include <vector>

#include "platform/module.h"
#include "tapi32/config_file.h"
#include "tapi32/countries.h"
#include "tapi32/tapi_constants.h"

namespace tapi32 {

namespace {

constexpr std::u16string_view kDialable = u"0123456789*#,";
constexpr std::u16string_view kDigits = u"0123456789";
constexpr std::u16string_view kTollPrefixChars = u"0123456789,";

bool OnlyOf(const std::u16string& text, std::u16string_view allowed) {
  return text.find_first_not_of(allowed) == std::u16string::npos;
}

// Every value is one line of the file.
bool OneLine(const std::u16string& text) {
  return text.find_first_of(u"\r\n") == std::u16string::npos;
}

std::string Narrow(const std::u16string& text) {
  return platform::WideToUtf8(text);
}

std::optional<LocationProblem> LocationFault(const DialingLocation& location, size_t index,
                                             const LocationBook& book) {
  auto fault = [&](uint32_t code, std::string text) {
    return LocationProblem{code, std::move(text), LocationProblem::Section::Location, index};
  };
  if (location.name.empty()) return fault(LINEERR_INVALPARAM, "the location has no name");
  if (!OneLine(location.name)) return fault(LINEERR_INVALPARAM, "the name holds a line break");
  if (FindCountry(location.countryId) == nullptr) {
    return fault(LINEERR_INVALCOUNTRYCODE,
                 "country " + std::to_string(location.countryId) + " is not a known country");
  }
  if (!OnlyOf(location.cityCode, kDigits)) {
    return fault(LINEERR_INVALPARAM,
                 "the area code '" + Narrow(location.cityCode) + "' holds more than digits");
  }
  const std::pair<const std::u16string*, const char*> dialable[] = {
      {&location.localAccessCode, "local access code"},
      {&location.longDistanceAccessCode, "long-distance access code"},
      {&location.cancelCallWaiting, "cancel-call-waiting sequence"}};
  for (const auto& [value, what] : dialable) {
    if (!OnlyOf(*value, kDialable)) {
      return fault(LINEERR_INVALPARAM, std::string("the ") + what + " '" + Narrow(*value) +
                                           "' holds more than digits, '*', '#' and ','");
    }
  }
  if (!OnlyOf(location.tollPrefixList, kTollPrefixChars)) {
    return fault(LINEERR_INVALPARAM, "the toll prefixes '" + Narrow(location.tollPrefixList) +
                                         "' hold more than digits and commas");
  }
  if ((location.options & ~LINELOCATIONOPTION_PULSEDIAL) != 0) {
    return fault(LINEERR_INVALPARAM, "unknown location options");
  }
  if (location.preferredCardId != 0 && book.FindCard(location.preferredCardId) == nullptr) {
    return fault(LINEERR_INVALCARD,
                 "preferred card " + std::to_string(location.preferredCardId) + " does not exist");
  }
  return std::nullopt;
}

std::optional<LocationProblem> CardFault(const CallingCard& card, size_t index) {
  auto fault = [&](uint32_t code, std::string text) {
    return LocationProblem{code, std::move(text), LocationProblem::Section::Card, index};
  };
  // Card 0 stands for "no card" wherever a card is chosen.
  if (card.permanentId == 0) return fault(LINEERR_INVALCARD, "a card cannot have ID 0");
  if (card.name.empty()) return fault(LINEERR_INVALPARAM, "the card has no name");
  for (const std::u16string* text :
       {&card.name, &card.sameAreaRule, &card.longDistanceRule, &card.internationalRule}) {
    if (!OneLine(*text)) return fault(LINEERR_INVALPARAM, "a card's text holds a line break");
  }
  if (!OnlyOf(card.number, kDigits)) {
    return fault(LINEERR_INVALPARAM, "the card number holds more than digits");
  }
  if ((card.options & ~(LINECARDOPTION_PREDEFINED | LINECARDOPTION_HIDDEN)) != 0) {
    return fault(LINEERR_INVALPARAM, "unknown card options");
  }
  return std::nullopt;
}

// The first entry whose ID an earlier entry already has.
template <class Entry>
std::optional<size_t> DuplicateId(const std::vector<Entry>& entries) {
  std::set<DWORD> seen;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (!seen.insert(entries[i].permanentId).second) return i;
  }
  return std::nullopt;
}

}  // namespace

std::optional<LocationProblem> CheckLocations(const LocationBook& book) {
  using Section = LocationProblem::Section;
  if (book.locations.empty()) {
    return LocationProblem{LINEERR_INVALPARAM, "there is no location", Section::Current, 0};
  }
  if (auto i = DuplicateId(book.locations)) {
    return LocationProblem{
        LINEERR_INVALPARAM,
        "location ID " + std::to_string(book.locations[*i].permanentId) + " is used twice",
        Section::Location, *i};
  }
  if (auto i = DuplicateId(book.cards)) {
    return LocationProblem{
        LINEERR_INVALPARAM,
        "card ID " + std::to_string(book.cards[*i].permanentId) + " is used twice", Section::Card,
        *i};
  }
  for (size_t i = 0; i < book.cards.size(); ++i) {
    if (auto problem = CardFault(book.cards[i], i)) return problem;
  }
  for (size_t i = 0; i < book.locations.size(); ++i) {
    if (auto problem = LocationFault(book.locations[i], i, book)) return problem;
  }
  if (book.Current() == nullptr) {
    return LocationProblem{
        LINEERR_INVALLOCATION,
        "the current location " + std::to_string(book.currentLocationId) + " does not exist",
        Section::Current, 0};
  }
  if (book.currentPreferredCardId != 0 && book.FindCard(book.currentPreferredCardId) == nullptr) {
    return LocationProblem{
        LINEERR_INVALCARD,
        "the preferred card " + std::to_string(book.currentPreferredCardId) + " does not exist",
        Section::Current, 0};
  }
  return std::nullopt;
}

// --- the file's text ---------------------------------------------------------------------------

std::string FormatLocations(const LocationBook& book) {
  std::ostringstream out;
  out << "# The user's telephony dialing locations and calling cards.\n"
         "# Written by the telephony runtime; edit with care (see tapi32/location_store.h).\n";
  for (const DialingLocation& l : book.locations) {
    out << "\n[location]\n"
        << "id = " << l.permanentId << "\n"
        << "name = " << Narrow(l.name) << "\n"
        << "country = " << l.countryId << "\n"
        << "area_code = " << Narrow(l.cityCode) << "\n"
        << "local_access = " << Narrow(l.localAccessCode) << "\n"
        << "long_distance_access = " << Narrow(l.longDistanceAccessCode) << "\n"
        << "toll_prefixes = " << Narrow(l.tollPrefixList) << "\n"
        << "preferred_card = " << l.preferredCardId << "\n"
        << "pulse_dial = " << ((l.options & LINELOCATIONOPTION_PULSEDIAL) ? "yes" : "no") << "\n"
        << "cancel_call_waiting = " << Narrow(l.cancelCallWaiting) << "\n";
  }
  for (const CallingCard& c : book.cards) {
    out << "\n[card]\n"
        << "id = " << c.permanentId << "\n"
        << "name = " << Narrow(c.name) << "\n"
        << "number = " << Narrow(c.number) << "\n"
        << "same_area_rule = " << Narrow(c.sameAreaRule) << "\n"
        << "long_distance_rule = " << Narrow(c.longDistanceRule) << "\n"
        << "international_rule = " << Narrow(c.internationalRule) << "\n"
        << "options = " << c.options << "\n";
  }
  out << "\n[current]\n"
      << "location = " << book.currentLocationId << "\n"
      << "card = " << book.currentPreferredCardId << "\n";
  return out.str();
}

namespace {

class Parser {
 public:
  Parser(std::string fileName) : file_(std::move(fileName)) {}

  [[noreturn]] void Fail(int line, const std::string& problem) const {
    throw LocationFileError(file_ + ":" + std::to_string(line) + ": " + problem);
  }
  [[noreturn]] void Fail(const std::string& problem) const { Fail(line_, problem); }
  void SetLine(int line) { line_ = line; }

  DWORD Number(const std::string& value) const {
    if (value.empty()) Fail("a number is missing");
    int base = 10;
    std::string_view digits = value;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
      digits.remove_prefix(2);
      base = 16;
    }
    uint64_t result = 0;
    for (char c : digits) {
      const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                        : base == 16 && std::isxdigit(static_cast<unsigned char>(c))
                            ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                            : -1;
      if (digit < 0) Fail("'" + value + "' is not a number");
      result = result * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
      if (result > 0xFFFFFFFFull) Fail("'" + value + "' does not fit in 32 bits");
    }
    return static_cast<DWORD>(result);
  }

  bool YesNo(const std::string& value) const {
    const std::string v = LowerCase(value);
    if (v == "yes" || v == "on" || v == "true" || v == "1") return true;
    if (v == "no" || v == "off" || v == "false" || v == "0") return false;
    Fail("'" + value + "' is not yes or no");
  }

 private:
  std::string file_;
  int line_ = 0;
};

using LocationKey = std::function<void(const Parser&, DialingLocation&, const std::string&)>;
using CardKey = std::function<void(const Parser&, CallingCard&, const std::string&)>;
using CurrentKey = std::function<void(const Parser&, LocationBook&, const std::string&)>;

std::u16string Wide(const std::string& value) {
  return platform::Utf8ToWide(value);
}

const std::map<std::string, LocationKey, std::less<>> kLocationKeys = {
    {"id", [](const Parser& p, DialingLocation& l,
              const std::string& v) { l.permanentId = p.Number(v); }},
    {"name", [](const Parser&, DialingLocation& l, const std::string& v) { l.name = Wide(v); }},
    {"country",
     [](const Parser& p, DialingLocation& l, const std::string& v) { l.countryId = p.Number(v); }},
    {"area_code",
     [](const Parser&, DialingLocation& l, const std::string& v) { l.cityCode = Wide(v); }},
    {"local_access",
     [](const Parser&, DialingLocation& l, const std::string& v) { l.localAccessCode = Wide(v); }},
    {"long_distance_access", [](const Parser&, DialingLocation& l,
                                const std::string& v) { l.longDistanceAccessCode = Wide(v); }},
    {"toll_prefixes",
     [](const Parser&, DialingLocation& l, const std::string& v) { l.tollPrefixList = Wide(v); }},
    {"preferred_card", [](const Parser& p, DialingLocation& l,
                          const std::string& v) { l.preferredCardId = p.Number(v); }},
    {"pulse_dial",
     [](const Parser& p, DialingLocation& l, const std::string& v) {
       l.options = p.YesNo(v) ? LINELOCATIONOPTION_PULSEDIAL : 0;
     }},
    {"cancel_call_waiting", [](const Parser&, DialingLocation& l,
                               const std::string& v) { l.cancelCallWaiting = Wide(v); }},
};

const std::map<std::string, CardKey, std::less<>> kCardKeys = {
    {"id",
     [](const Parser& p, CallingCard& c, const std::string& v) { c.permanentId = p.Number(v); }},
    {"name", [](const Parser&, CallingCard& c, const std::string& v) { c.name = Wide(v); }},
    {"number", [](const Parser&, CallingCard& c, const std::string& v) { c.number = Wide(v); }},
    {"same_area_rule",
     [](const Parser&, CallingCard& c, const std::string& v) { c.sameAreaRule = Wide(v); }},
    {"long_distance_rule",
     [](const Parser&, CallingCard& c, const std::string& v) { c.longDistanceRule = Wide(v); }},
    {"international_rule",
     [](const Parser&, CallingCard& c, const std::string& v) { c.internationalRule = Wide(v); }},
    {"options",
     [](const Parser& p, CallingCard& c, const std::string& v) { c.options = p.Number(v); }},
};

const std::map<std::string, CurrentKey, std::less<>> kCurrentKeys = {
    {"location", [](const Parser& p, LocationBook& b,
                    const std::string& v) { b.currentLocationId = p.Number(v); }},
    {"card", [](const Parser& p, LocationBook& b,
                const std::string& v) { b.currentPreferredCardId = p.Number(v); }},
};

}  // namespace

LocationBook ParseLocations(const std::string& text, const std::string& fileName) {
  Parser parser(fileName);
  LocationBook book;
  enum class Section { None, Location, Card, Current } section = Section::None;
  // Where each section starts, for problems found once the whole book is read.
  std::vector<int> locationLines, cardLines;
  int currentLine = 0;
  std::set<std::string> seenKeys;

  for (const ConfigLine& line : SplitConfigLines(text)) {
    const int lineNumber = line.number;
    parser.SetLine(lineNumber);
    if (line.kind == ConfigLine::Kind::Malformed) parser.Fail(line.value);
    if (line.kind == ConfigLine::Kind::Section) {
      const std::string& name = line.key;
      seenKeys.clear();
      if (name == "location") {
        section = Section::Location;
        book.locations.emplace_back();
        locationLines.push_back(lineNumber);
      } else if (name == "card") {
        section = Section::Card;
        book.cards.emplace_back();
        cardLines.push_back(lineNumber);
      } else if (name == "current") {
        if (currentLine != 0) parser.Fail("a second [current] section");
        section = Section::Current;
        currentLine = lineNumber;
      } else {
        parser.Fail("unknown section [" + name + "] (expected [location], [card] or [current])");
      }
      continue;
    }

    const std::string& key = line.key;
    const std::string& value = line.value;
    if (section == Section::None) {
      parser.Fail("'" + key + "' stands before any [location], [card] or [current]");
    }
    if (!seenKeys.insert(key).second) parser.Fail("'" + key + "' is given twice in this section");
    if (section == Section::Location) {
      auto it = kLocationKeys.find(key);
      if (it == kLocationKeys.end()) parser.Fail("unknown key '" + key + "' in a [location]");
      it->second(parser, book.locations.back(), value);
    } else if (section == Section::Card) {
      auto it = kCardKeys.find(key);
      if (it == kCardKeys.end()) parser.Fail("unknown key '" + key + "' in a [card]");
      it->second(parser, book.cards.back(), value);
    } else {
      auto it = kCurrentKeys.find(key);
      if (it == kCurrentKeys.end()) parser.Fail("unknown key '" + key + "' in [current]");
      it->second(parser, book, value);
    }
  }

  if (currentLine == 0) {
    // Named at the file's last line, where the section would have to be added.
    const int lastLine = static_cast<int>(std::count(text.begin(), text.end(), '\n')) +
                         (!text.empty() && text.back() != '\n' ? 1 : 0);
    parser.Fail(lastLine, "the [current] section is missing");
  }
  if (auto problem = CheckLocations(book)) {
    using S = LocationProblem::Section;
    const int line = problem->section == S::Location ? locationLines[problem->index]
                     : problem->section == S::Card   ? cardLines[problem->index]
                                                     : currentLine;
    parser.Fail(line, problem->text);
  }
  return book;
}

// --- the file itself ---------------------------------------------------------------------------

std::string LocationsFilePath() {
  return UserConfigFile(kLocationsVariable, "telephony-locations.ini");
}

std::optional<LocationBook> LoadLocationsFile(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::exists(path, error) && !error) return std::nullopt;
  std::ifstream file(path, std::ios::binary);
  if (!file) throw LocationFileError(path + ":0: the file cannot be opened");
  std::ostringstream text;
  text << file.rdbuf();
  if (file.bad()) throw LocationFileError(path + ":0: the file cannot be read");
  return ParseLocations(text.str(), path);
}

void SaveLocationsFile(const std::string& path, const LocationBook& book) {
  auto fail = [&](const std::string& what) {
    throw LocationFileError(path + ":0: " + what + " (" + std::strerror(errno) + ")");
  };
  const std::filesystem::path target(path);
  const std::filesystem::path directory =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error) {
    errno = error.value();
    fail("the directory cannot be created");
  }

  std::string temporary = path + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) fail("a temporary file cannot be created beside it");
  // The user's locations are nobody else's business.
  ::fchmod(fd, 0600);
  const std::string text = FormatLocations(book);
  size_t written = 0;
  bool ok = true;
  while (ok && written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) written += static_cast<size_t>(n);
  }
  // The data must be on disk before the rename makes it the file: otherwise a crash right after
  // could leave an empty file under the real name.
  ok = ok && ::fsync(fd) == 0;
  const int saved = errno;
  ok = ::close(fd) == 0 && ok;
  if (!ok || ::rename(temporary.c_str(), path.c_str()) != 0) {
    const int reason = ok ? errno : saved;
    ::unlink(temporary.c_str());
    errno = reason;
    fail("the file cannot be written");
  }
  // The rename itself lives in the directory.
  const int dir = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

// --- the first location ------------------------------------------------------------------------

namespace {

// "en_GB.UTF-8@euro" → "GB"; empty when the locale names no region.
std::string LocaleRegion() {
  for (const char* name : {"LC_ALL", "LC_TELEPHONE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') continue;
    std::string_view locale = value;
    locale = locale.substr(0, locale.find_first_of(".@"));
    const size_t underscore = locale.find('_');
    if (underscore == std::string_view::npos) return {};
    std::string region(locale.substr(underscore + 1));
    std::transform(region.begin(), region.end(), region.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return region;
  }
  return {};
}

}  // namespace

LocationBook DefaultLocations() {
  DialingLocation location;
  location.permanentId = 1;
  if (const Country* country = FindCountryByRegion(LocaleRegion())) {
    location.countryId = country->id;
    location.name = country->name;
  } else {
    location.name = u"My Location";
    const auto& all = Countries();
    auto nanp =
        std::find_if(all.begin(), all.end(), [](const Country& c) { return c.callingCode == 1; });
    if (nanp != all.end()) {
      location.countryId = nanp->id;
    } else if (!all.empty()) {
      location.countryId = all.front().id;
    }
  }
  LocationBook book;
  book.locations.push_back(std::move(location));
  book.currentLocationId = 1;
  return book;
}

}  // namespace tapi32
