// Feeds arbitrary text to the reader of the user's telephony configuration (which providers run,
// the switch, the SIP accounts). The reader must either refuse the whole file with a
// TelephonyConfigError, or take it with every account it keeps complete and every one it leaves
// out listed with the line at fault; it must never crash, hang or throw anything else.

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "fuzz/file_reader_support.h"
#include "tapi32/telephony_config.h"

using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string fileName = "/home/user/.config/ringwatch/telephony.ini";
  const auto parsed = fuzz::ParseOrRefuse<tapi32::TelephonyConfigError>(
      tapi32::ParseTelephonyConfig, text, fileName);
  if (!parsed) return 0;
  const tapi32::TelephonyConfig& config = *parsed;
  std::set<std::string> names;
  for (const tapi32::sip::SipAccount& account : config.accounts) {
    Check(!account.displayName.empty() && !account.aor.empty());
    Check(names.insert(account.displayName).second);
  }
  for (const std::string& problem : config.skipped)
    Check(problem.starts_with(fileName + ":"));
  // A switch file named relative to the configuration lies in the configuration's folder.
  if (config.simSwitch && !config.simSwitch->file.empty())
    Check(config.simSwitch->file.starts_with("/"));
  return 0;
}
