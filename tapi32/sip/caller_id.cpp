// Placeholder until the parser lands.
#include "tapi32/sip/caller_id.h"

namespace tapi32::sip {

std::optional<PartyAddress> ParsePartyAddress(std::string_view) {
  return std::nullopt;
}
std::string QuoteDisplayName(std::string_view name) {
  return std::string(name);
}

}  // namespace tapi32::sip
