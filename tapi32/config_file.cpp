#include "tapi32/config_file.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>

namespace tapi32 {

std::string UserConfigFile(const char* variable, std::string_view name) {
  auto read = [](const char* key) -> std::string {
    const char* value = std::getenv(key);
    return value != nullptr ? value : "";
  };
  if (std::string named = read(variable); !named.empty()) return named;
  std::string config = read("XDG_CONFIG_HOME");
  if (config.empty()) {
    const std::string home = read("HOME");
    if (home.empty()) return {};
    config = home + "/.config";
  }
  return config + "/ringwatch/" + std::string(name);
}

std::string TrimBlanks(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return std::string(text.substr(first, last - first + 1));
}

std::string LowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::vector<ConfigLine> SplitConfigLines(const std::string& text) {
  std::vector<ConfigLine> lines;
  std::istringstream in(text);
  int number = 0;
  for (std::string raw; std::getline(in, raw);) {
    ++number;
    const std::string line = TrimBlanks(raw);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    ConfigLine entry;
    entry.number = number;
    if (line.front() == '[') {
      if (line.back() == ']') {
        entry.kind = ConfigLine::Kind::Section;
        entry.key = LowerCase(TrimBlanks(std::string_view(line).substr(1, line.size() - 2)));
      } else {
        entry.kind = ConfigLine::Kind::Malformed;
        entry.value = "a section header must end with ']'";
      }
    } else if (const size_t equals = line.find('='); equals == std::string::npos) {
      entry.kind = ConfigLine::Kind::Malformed;
      entry.value = "expected 'key = value' or a [section]";
    } else {
      entry.key = LowerCase(TrimBlanks(std::string_view(line).substr(0, equals)));
      entry.value = TrimBlanks(std::string_view(line).substr(equals + 1));
      if (entry.key.empty()) {
        entry.kind = ConfigLine::Kind::Malformed;
        entry.value = "a key is missing before '='";
      }
    }
    lines.push_back(std::move(entry));
  }
  return lines;
}

}  // namespace tapi32
