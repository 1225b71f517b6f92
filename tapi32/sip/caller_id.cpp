// Caller and called IDs from the text of From, To and P-Asserted-Identity headers. The values
// come from the network, so the parser never trusts a length or a terminator: every step checks
// the position against the end of the view, and anything that is not a name-addr or an addr-spec
// gives no address rather than a guess.
#include "tapi32/sip/caller_id.h"

#include <algorithm>
#include <cstddef>

namespace tapi32::sip {
namespace {

bool IsLws(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Characters that may not appear raw anywhere in a URI on the wire.
bool IsControl(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7f;
}

// The characters of an unquoted display name: SIP's token characters, plus the bytes of UTF-8
// sequences, which phones put into unquoted names although the grammar wants them quoted.
bool IsNameChar(char c) {
  static constexpr std::string_view kTokenMarks = "-.!%*_+`'~";
  return IsAlpha(c) || IsDigit(c) || static_cast<unsigned char>(c) >= 0x80 ||
         kTokenMarks.find(c) != std::string_view::npos;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsLws(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsLws(text.back()))
    text.remove_suffix(1);
  return text;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return lower;
}

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes %XX escapes. A broken escape, or one that would put a control character into a caller
// ID that is shown to people, stays as written.
std::string PercentUnescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = HexValue(text[i + 1]);
      const int low = HexValue(text[i + 2]);
      const char decoded = static_cast<char>(high * 16 + low);
      if (high >= 0 && low >= 0 && !IsControl(decoded)) {
        out += decoded;
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

// The scheme of an absolute URI (letters, digits, "+", "-", "." after a leading letter) in lower
// case, and what follows the colon; nothing when `uri` has no scheme or nothing after it.
std::optional<std::pair<std::string, std::string_view>> SplitScheme(std::string_view uri) {
  const size_t colon = uri.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon + 1 == uri.size()) return {};
  const std::string_view scheme = uri.substr(0, colon);
  if (!IsAlpha(scheme.front())) return {};
  for (const char c : scheme) {
    if (!IsAlpha(c) && !IsDigit(c) && c != '+' && c != '-' && c != '.') return {};
  }
  return std::pair{Lower(scheme), uri.substr(colon + 1)};
}

// The number a URI carries: a sip:/sips: URI's user part without password and parameters
// ("+4930123;phone-context=x" gives "+4930123"), a tel: URI's subscriber as written with its
// visual separators. Other schemes carry none. Nothing when a sip: URI has no host or a tel: URI
// no number: such a URI is not one.
std::optional<std::string> NumberOf(std::string_view uri) {
  for (const char c : uri) {
    if (IsControl(c) || IsLws(c) || c == '<' || c == '>' || c == '"') return {};
  }
  const auto split = SplitScheme(uri);
  if (!split) return {};
  const auto& [scheme, rest] = *split;
  if (scheme == "tel") {
    const std::string_view number = rest.substr(0, rest.find_first_of(";?"));
    if (number.empty()) return {};
    return PercentUnescape(number);
  }
  if (scheme != "sip" && scheme != "sips") return std::string();
  // The user part may hold ";" and "?" but never a raw "@", and neither may the host, the
  // parameters or the headers: the first "@" ends the user information.
  const size_t at = rest.find('@');
  const std::string_view host = at == std::string_view::npos ? rest : rest.substr(at + 1);
  if (host.empty() || host.front() == ';' || host.front() == '?' || host.front() == ':') return {};
  if (at == std::string_view::npos) return std::string();
  std::string_view user = rest.substr(0, at);
  user = user.substr(0, user.find(':'));  // a password, where someone still writes one
  user = user.substr(0, user.find(';'));  // telephone-subscriber parameters
  return PercentUnescape(user);
}

// After the address: header parameters (";tag=..."), then the end or, in a header that lists
// several addresses, a comma and the next one, which is not ours to read.
bool IsValidTail(std::string_view tail) {
  tail = Trim(tail);
  return tail.empty() || tail.front() == ';' || tail.front() == ',';
}

// A quoted-string's content with quoted-pairs resolved, and where the closing quote is; nothing
// when the string is not closed. `text` starts after the opening quote.
std::optional<std::pair<std::string, size_t>> Unquote(std::string_view text) {
  std::string name;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') return std::pair{name, i};
    if (text[i] == '\\') {
      if (++i == text.size()) return {};
    }
    // Control characters have no place in a name shown to people.
    name += IsControl(text[i]) ? ' ' : text[i];
  }
  return {};
}

// An unquoted display name: words of name characters, each run of white space between them
// read as one space. Nothing when anything else is in it.
std::optional<std::string> UnquotedName(std::string_view text) {
  std::string name;
  bool gap = false;
  for (const char c : Trim(text)) {
    if (IsLws(c)) {
      gap = true;
      continue;
    }
    if (!IsNameChar(c)) return {};
    if (gap) name += ' ';
    gap = false;
    name += c;
  }
  return name;
}

// "<uri>" and what follows it, after the display name.
std::optional<PartyAddress> AngleAddress(std::string name, std::string_view text) {
  text = Trim(text);
  if (text.empty() || text.front() != '<') return {};
  const size_t close = text.find('>');
  if (close == std::string_view::npos || !IsValidTail(text.substr(close + 1))) return {};
  const std::string_view uri = text.substr(1, close - 1);
  auto number = NumberOf(uri);
  if (!number) return {};
  return PartyAddress{std::move(name), std::move(*number), std::string(uri)};
}

// An addr-spec stands alone: it cannot hold ";" or "," itself, so they start the header
// parameters or the next address.
std::optional<PartyAddress> BareAddress(std::string_view text) {
  const std::string_view uri = text.substr(0, text.find_first_of(";,"));
  auto number = NumberOf(Trim(uri));
  if (!number || !IsValidTail(text.substr(uri.size()))) return {};
  return PartyAddress{std::string(), std::move(*number), std::string(Trim(uri))};
}

}  // namespace

std::optional<PartyAddress> ParsePartyAddress(std::string_view value) {
  value = Trim(value);
  if (value.empty()) return {};
  if (value.front() == '"') {
    auto quoted = Unquote(value.substr(1));
    if (!quoted) return {};
    return AngleAddress(std::move(quoted->first), value.substr(1 + quoted->second + 1));
  }
  const size_t open = value.find('<');
  if (open == std::string_view::npos) return BareAddress(value);
  auto name = UnquotedName(value.substr(0, open));
  if (!name) return {};
  return AngleAddress(std::move(*name), value.substr(open));
}

std::string QuoteDisplayName(std::string_view name) {
  std::string quoted = "\"";
  for (const char c : name) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (IsControl(c)) {
      // A line break inside a header would end it and let the name write headers of its own.
      quoted += ' ';
    } else {
      quoted += c;
    }
  }
  quoted += '"';
  return quoted;
}

}  // namespace tapi32::sip
