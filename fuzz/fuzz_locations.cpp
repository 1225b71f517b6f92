// Feeds arbitrary text to the reader of the user's dialing-locations file. The reader must
// either refuse the file with a LocationFileError naming the file and a line, or hand back a
// book the runtime can take as it is (CheckLocations finds nothing) and that reads back the same
// once written: otherwise the runtime would save a file it cannot load again and the user would
// lose their locations on the next start.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/file_reader_support.h"
#include "tapi32/location_store.h"

using fuzz::Check;

namespace {

bool SameBook(const tapi32::LocationBook& a, const tapi32::LocationBook& b) {
  return a.locations == b.locations && a.cards == b.cards &&
         a.currentLocationId == b.currentLocationId &&
         a.currentPreferredCardId == b.currentPreferredCardId;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string fileName = "telephony-locations.ini";
  const auto parsed =
      fuzz::ParseOrRefuse<tapi32::LocationFileError>(tapi32::ParseLocations, text, fileName);
  if (!parsed) return 0;
  const tapi32::LocationBook& book = *parsed;
  Check(!tapi32::CheckLocations(book).has_value());
  tapi32::LocationBook again;
  try {
    again = tapi32::ParseLocations(tapi32::FormatLocations(book), fileName);
  } catch (const tapi32::LocationFileError&) {
    Check(false);
  }
  Check(SameBook(book, again));
  return 0;
}
