// Writes the country table of tapi32 (country_table.cpp) from maintained data, so that calling
// codes, prefixes and names follow the numbering plans as they change instead of a hand-kept
// list: libphonenumber's metadata (calling codes, international and national prefixes, the
// main region of a shared code, toll-free numbers) and iso-codes' ISO 3166-1 list (names).
//
// Usage: make_country_table <iso_3166-1.json> <output.cpp>
#include <phonenumbers/phonemetadata.pb.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

// Exported by libphonenumber but declared in no installed header: the serialized
// PhoneMetadataCollection compiled into the library.
namespace i18n::phonenumbers {
int metadata_size();
const void* metadata_get();
}  // namespace i18n::phonenumbers

namespace {

using i18n::phonenumbers::PhoneMetadata;

struct Row {
  unsigned id = 0;
  unsigned callingCode = 0;
  std::string region;
  std::string name;
  std::string sameAreaRule;
  std::string longDistanceRule;
  std::string internationalRule;
  std::string tollFreePattern;
};

// The shortest string a prefix pattern matches when it is read the simple way: the first
// alternative of every choice, the first digit of every class, \d as 0, optional parts left
// out, fixed repetitions repeated. The metadata writes most international prefixes as plain
// digits ("00", "011") and gives a preferred prefix where several are common; only a few
// countries (Brazil, Indonesia, Thailand, ...) have just a pattern, whose first alternative
// names the prefix listed first by the numbering plan.
std::string ShortestMatch(const std::string& pattern, size_t& at, bool nested);

std::string ShortestElement(const std::string& pattern, size_t& at) {
  const char c = pattern[at];
  if (c == '(') {
    at += pattern.compare(at, 3, "(?:") == 0 ? 3 : 1;
    std::string inner = ShortestMatch(pattern, at, true);
    ++at;  // ')'
    return inner;
  }
  if (c == '[') {
    const char first = pattern[at + 1];
    at = pattern.find(']', at) + 1;
    return std::string(1, first);
  }
  if (c == '\\') {
    at += 2;
    return "0";
  }
  ++at;
  return std::string(1, c);
}

std::string ShortestMatch(const std::string& pattern, size_t& at, bool nested) {
  std::string out;
  bool chosen = false;  // the first alternative is complete: skip the others
  int depth = 0;
  while (at < pattern.size()) {
    const char c = pattern[at];
    if (chosen) {
      if (c == '(') ++depth;
      if (c == ')' && depth-- == 0) return out;
      ++at;
      continue;
    }
    if (c == ')' && nested) return out;
    if (c == '|') {
      chosen = true;
      ++at;
      continue;
    }
    std::string element = ShortestElement(pattern, at);
    if (at < pattern.size() && (pattern[at] == '?' || pattern[at] == '*')) {
      ++at;
      continue;
    }
    size_t repeat = 1;
    if (at < pattern.size() && pattern[at] == '{') {
      repeat = std::stoul(pattern.substr(at + 1));
      at = pattern.find('}', at) + 1;
    } else if (at < pattern.size() && pattern[at] == '+') {
      ++at;
    }
    for (size_t i = 0; i < repeat; ++i)
      out += element;
  }
  return out;
}

// The digits to dial before a country code. The metadata's "~" means "wait for a second dial
// tone", which TAPI's dialing strings write as W.
std::string InternationalPrefix(const PhoneMetadata& region) {
  std::string prefix = region.preferred_international_prefix();
  if (prefix.empty()) {
    size_t at = 0;
    prefix = ShortestMatch(region.international_prefix(), at, false);
  }
  std::replace(prefix.begin(), prefix.end(), '~', 'W');
  return prefix;
}

// TAPI's country IDs: the calling code for the main country of a code (1 = USA, 44 = United
// Kingdom), and for each other country sharing the code 1000 × code plus the position of its
// ISO 3166 code in the alphabet of two-letter codes (26 × first letter + second, A = 0): Canada
// is 1052, Jersey 44238. The IDs stay the same when countries join or leave a code, never
// collide with a calling code (all are below 1000) and are easy to work out by hand.
unsigned CountryId(const PhoneMetadata& region, bool main) {
  if (main) return region.country_code();
  const std::string& id = region.id();
  return region.country_code() * 1000 + (id[0] - 'A') * 26 + (id[1] - 'A');
}

std::string CppString(const std::string& utf8) {
  std::ostringstream out;
  out << "u\"";
  for (size_t i = 0; i < utf8.size();) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    unsigned code = byte;
    size_t length = 1;
    if (byte >= 0xF0) {
      code = byte & 0x07, length = 4;
    } else if (byte >= 0xE0) {
      code = byte & 0x0F, length = 3;
    } else if (byte >= 0xC0) {
      code = byte & 0x1F, length = 2;
    }
    for (size_t k = 1; k < length; ++k)
      code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += length;
    if (code == '"' || code == '\\') {
      out << '\\' << static_cast<char>(code);
    } else if (code >= 0x20 && code < 0x7F) {
      out << static_cast<char>(code);
    } else {
      char escaped[16];
      std::snprintf(escaped, sizeof escaped, code > 0xFFFF ? "\\U%08X" : "\\u%04X", code);
      out << escaped;
    }
  }
  out << '"';
  return out.str();
}

std::string NarrowString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + '"';
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: make_country_table <iso_3166-1.json> <output.cpp>\n";
    return 2;
  }
  std::ifstream isoFile(argv[1]);
  if (!isoFile) {
    std::cerr << argv[1] << ": cannot read\n";
    return 1;
  }
  std::map<std::string, std::string> names;  // alpha-2 → the name people use
  const nlohmann::json iso = nlohmann::json::parse(isoFile);
  for (const auto& entry : iso.at("3166-1")) {
    names[entry.at("alpha_2").get<std::string>()] =
        entry.value("common_name", entry.at("name").get<std::string>());
  }

  i18n::phonenumbers::PhoneMetadataCollection collection;
  if (!collection.ParseFromArray(i18n::phonenumbers::metadata_get(),
                                 i18n::phonenumbers::metadata_size())) {
    std::cerr << "libphonenumber's metadata does not parse\n";
    return 1;
  }
  std::map<unsigned, int> regionsOfCode;
  for (const auto& region : collection.metadata())
    ++regionsOfCode[region.country_code()];

  std::vector<Row> rows;
  for (const auto& region : collection.metadata()) {
    // Non-geographic entities ("001": satellite and global services) are no country; the few
    // regions ISO 3166 does not list (Ascension, Tristan da Cunha, Kosovo) have no name to show.
    auto name = names.find(region.id());
    if (name == names.end()) continue;
    const bool main = region.main_country_for_code() || regionsOfCode[region.country_code()] == 1;
    Row row;
    row.id = CountryId(region, main);
    row.callingCode = region.country_code();
    row.region = region.id();
    row.name = name->second;
    // Within an area only the subscriber number is dialled; where a plan has no area codes the
    // locations carry none and every national call is a same-area call.
    row.sameAreaRule = "G";
    row.longDistanceRule = region.national_prefix() + "FG";
    row.internationalRule = InternationalPrefix(region) + "EFG";
    row.tollFreePattern = region.toll_free().national_number_pattern();
    try {
      std::regex check(row.tollFreePattern);  // the runtime matches it with std::regex
    } catch (const std::regex_error& error) {
      std::cerr << region.id() << ": toll-free pattern \"" << row.tollFreePattern
                << "\" is not an ECMAScript expression: " << error.what() << '\n';
      return 1;
    }
    rows.push_back(row);
  }
  std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.id < b.id; });
  if (std::adjacent_find(rows.begin(), rows.end(),
                         [](const Row& a, const Row& b) { return a.id == b.id; }) != rows.end()) {
    std::cerr << "two countries share a country ID\n";
    return 1;
  }

  std::ofstream out(argv[2]);
  out << "// Generated by make_country_table from libphonenumber's metadata and iso-codes.\n"
         "// Do not edit.\n"
         "#include \"tapi32/countries.h\"\n\n"
         "namespace tapi32 {\n\n"
         "const std::vector<Country>& Countries() {\n"
         "  static const std::vector<Country> countries = {\n";
  for (const auto& row : rows) {
    out << "      {" << row.id << ", " << row.callingCode << ", " << NarrowString(row.region)
        << ", " << CppString(row.name) << ", " << CppString(row.sameAreaRule) << ", "
        << CppString(row.longDistanceRule) << ", " << CppString(row.internationalRule) << ", "
        << NarrowString(row.tollFreePattern) << "},\n";
  }
  out << "  };\n  return countries;\n}\n\n}  // namespace tapi32\n";
  out.close();
  if (!out) {
    std::cerr << argv[2] << ": cannot write\n";
    return 1;
  }
  return 0;
}
