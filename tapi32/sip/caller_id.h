// Caller and called IDs from SIP headers. libre's own parsing loses parts of display names (an
// unquoted name of several words keeps only its last word, escapes stay in quoted names), so the
// From, To and P-Asserted-Identity values are parsed here, from the header's text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tapi32::sip {

struct PartyAddress {
  std::string name;    // the display name, unquoted and unescaped; empty when none
  std::string number;  // the user part (percent-unescaped) or a tel: URI's number
  std::string uri;     // the URI as written, without the angle brackets
};

// Parses a name-addr or addr-spec header value ("\"Bob\" <sip:200@pbx>;tag=1",
// "Alice Smith <sip:alice@x>", "sip:300@x;tag=2", "<tel:+4420794609>"). Empty when the value is
// not one.
std::optional<PartyAddress> ParsePartyAddress(std::string_view value);

// Quotes and escapes a display name for an outgoing header ("Bob \"B\" Ex" -> "\"Bob \\\"B\\\"
// Ex\"").
std::string QuoteDisplayName(std::string_view name);

}  // namespace tapi32::sip
