// Where the user's dialing locations and calling cards are kept between runs, and the checks a
// location book must pass before the runtime takes it.
//
// The file is per user: the one named by the environment variable ZVTAPI_LOCATIONS when it is
// set, otherwise $XDG_CONFIG_HOME/ringwatch/telephony-locations.ini ($XDG_CONFIG_HOME defaults to
// ~/.config). It is read when the runtime first needs the locations. Without a file the runtime
// starts from one location derived from the system's locale (DefaultLocations) and writes the
// file only when something changes. Every change is written atomically: a temporary file in the
// same directory is written, flushed to disk and renamed over the old one, so a crash leaves
// either the old file or the new one, never half of one.
//
// Format: line-based UTF-8, as the switch's configuration.
//
//   # comment (also ';'), blank lines ignored
//   [location]                 one section per dialing location
//   id = 1                     permanent location ID, unique among the locations
//   name = Home                required
//   country = 44               TAPI country ID (a country the runtime knows)
//   area_code = 20             digits only, may be empty
//   local_access = 9           what reaches an outside line for local calls
//   long_distance_access = 9   the same for long-distance calls
//   toll_prefixes = ,800,888,  prefixes dialled as toll calls (digits and commas)
//   preferred_card = 0         calling card used unless the caller names one (0: none)
//   pulse_dial = no            yes/no
//   cancel_call_waiting = *70,
//   [card]                     one section per calling card
//   id = 1                     permanent card ID, unique among the cards, not 0
//   name = Telecom card        required
//   number = 1234567890        the card's number or PIN (digits only); never reported
//   same_area_rule = ...       TAPI dialing rules of the card
//   long_distance_rule = ...
//   international_rule = ...
//   options = 0                LINECARDOPTION_ bits (PREDEFINED, HIDDEN)
//   [current]                  exactly one
//   location = 1               the current location's ID
//   card = 0                   the preferred card's ID (0: none)
//
// Access codes and the cancel-call-waiting sequence take dialable characters: digits, '*', '#'
// and ',' (a pause). Numbers are decimal or hexadecimal with 0x. Keys ignore letter case, values
// keep it and lose surrounding blanks. A file that breaks any of this is rejected with
// LocationFileError, whose what() reads "<file>:<line>: <problem>".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "tapi32/locations.h"

namespace tapi32 {

// The environment variable that names another locations file.
inline constexpr const char* kLocationsVariable = "ZVTAPI_LOCATIONS";

class LocationFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The file the locations are kept in (see above); empty when neither ZVTAPI_LOCATIONS,
// XDG_CONFIG_HOME nor HOME says where.
std::string LocationsFilePath();

// What is wrong with a book, or nothing. `code` is the LINEERR_ constant the runtime answers
// with; `section` says where the problem lies, for messages that name a line of the file.
struct LocationProblem {
  enum class Section { Location, Card, Current };
  uint32_t code = 0;
  std::string text;
  Section section = Section::Current;
  size_t index = 0;  // of the location or card
};
std::optional<LocationProblem> CheckLocations(const LocationBook& book);

// The text of a locations file, and back. ParseLocations checks the book as CheckLocations does
// and throws LocationFileError naming the file and the line at fault.
std::string FormatLocations(const LocationBook& book);
LocationBook ParseLocations(const std::string& text, const std::string& fileName);

// The book in the file, or nothing when there is no file; LocationFileError when it cannot be
// read or is corrupt.
std::optional<LocationBook> LoadLocationsFile(const std::string& path);
// Writes the book atomically, creating the directory when needed; LocationFileError on failure
// (the old file is then untouched and no temporary file is left).
void SaveLocationsFile(const std::string& path, const LocationBook& book);

// One location (ID 1, current, no cards) in the country of the system's locale: the region of
// LC_ALL, LC_TELEPHONE or LANG, whichever is set first ("en_GB.UTF-8" → GB), named after the
// country. A locale without a known region gives "My Location" in the first country the runtime
// knows with calling code 1, or its first country.
LocationBook DefaultLocations();

}  // namespace tapi32
