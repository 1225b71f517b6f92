// Feeds arbitrary text to the switch's configuration reader, as a user's ZVTAPI_SIM_CONFIG file
// may hold it. Whatever the file says, the reader must either hand back devices the switch can
// offer or refuse the file with a ConfigError that names the file and a line of it; it must never
// crash, hang or throw anything else.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/file_reader_support.h"
#include "tapi32/sim/config.h"

using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string fileName = "switch.ini";
  const auto parsed =
      fuzz::ParseOrRefuse<tapi32::sim::ConfigError>(tapi32::sim::ParseConfig, text, fileName);
  if (!parsed) return 0;
  const tapi32::sim::Config& config = *parsed;
  // What the reader accepted, the switch must be able to offer.
  try {
    tapi32::sim::CheckDevices(config);
  } catch (const tapi32::sim::ConfigError&) {
    Check(false);
  }
  for (const tapi32::sim::LineConfig& line : config.lines)
    Check(!line.name.empty());
  for (const tapi32::sim::PhoneConfig& phone : config.phones)
    Check(!phone.name.empty());
  return 0;
}
