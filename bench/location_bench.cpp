// Speed of dialing locations: fetching the list of all locations (one lineGetTranslateCapsW and
// one lineGetCountryW per location) and the line's refresh of its location when TAPI reports a
// change. The runtime works on a locations file of the benchmark's own, never the user's.

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/benchmarks.h"
#include "platform/module.h"
#include "tapi/application.h"
#include "tapi/line.h"
#include "tapi/location.h"
#include "tapi32/location_store.h"
#include "tapi32/server.h"

namespace zvtapi::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLocations = 20;
constexpr int kRounds = 200;

tapi32::LocationBook ManyLocations() {
  tapi32::LocationBook book;
  for (int i = 1; i <= kLocations; ++i) {
    tapi32::DialingLocation location;
    location.permanentId = static_cast<DWORD>(i);
    location.name = u"Branch " + platform::Utf8ToWide(std::to_string(i));
    location.countryId = tapi32::DefaultLocations().locations[0].countryId;
    location.cityCode = u"20";
    location.localAccessCode = u"9";
    book.locations.push_back(location);
  }
  book.currentLocationId = 1;
  return book;
}

// Points the runtime at a temporary locations file for as long as it lives.
class ScratchLocations {
 public:
  ScratchLocations()
      : FDirectory(std::filesystem::temp_directory_path() /
                   ("zvtapi-bench-locations-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(FDirectory);
    ::setenv(tapi32::kLocationsVariable, (FDirectory / "locations.ini").c_str(), 1);
    tapi32::Server::Instance().ReloadLocations();
    if (tapi32::Server::Instance().SetLocations(ManyLocations()) != 0) {
      throw std::runtime_error("the locations were refused");
    }
  }
  ~ScratchLocations() {
    ::unsetenv(tapi32::kLocationsVariable);
    tapi32::Server::Instance().ReloadLocations();
    std::error_code ignored;
    std::filesystem::remove_all(FDirectory, ignored);
  }

 private:
  std::filesystem::path FDirectory;
};

double Microseconds(Clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

}  // namespace

void BenchLocations() {
  const ScratchLocations scratch;
  std::vector<double> lists;
  for (int round = 0; round < kRounds; ++round) {
    const auto start = Clock::now();
    const TzvTapiLocationList list;
    lists.push_back(Microseconds(Clock::now() - start));
    if (list.Count() != kLocations) throw std::runtime_error("the list is incomplete");
  }
  PrintFigure("location_list_20_us", Median(lists), "us", 1);

  // A TRANSLATECHANGE as the line gets it: the location is loaded again from a fresh list.
  auto line = std::make_unique<TzvTapiLine>(nullptr);
  line->SetDeviceID(0);
  line->SetActive(true);
  if (!line->Active()) throw std::runtime_error("the line did not open");
  line->Location();
  std::vector<double> refreshes;
  for (int round = 0; round < kRounds; ++round) {
    const auto start = Clock::now();
    line->DevStateChanged(LINEDEVSTATE_TRANSLATECHANGE, 0, 0);
    refreshes.push_back(Microseconds(Clock::now() - start));
  }
  PrintFigure("location_refresh_us", Median(refreshes), "us", 1);
  line.reset();
  zvTapiApplication->Shutdown();
}

}  // namespace zvtapi::bench
