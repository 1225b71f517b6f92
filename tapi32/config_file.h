// What the per-user telephony files (the telephony configuration, the dialing locations) share:
// where they live and the line-based text they are written in.
//
// The text: one entry a line, UTF-8. Blank lines and lines starting with '#' or ';' are
// comments; "[name]" starts a section; "key = value" sets a key of the current section. Keys
// and section names ignore letter case, values keep it and lose surrounding blanks.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tapi32 {

// The file a per-user setting is kept in: the one the environment variable names when it is
// set and not empty, otherwise $XDG_CONFIG_HOME/ringwatch/<name>, otherwise
// $HOME/.config/ringwatch/<name>; empty when none of them says where.
std::string UserConfigFile(const char* variable, std::string_view name);

std::string TrimBlanks(std::string_view text);
std::string LowerCase(std::string text);

// One line of a configuration text that is not a comment.
struct ConfigLine {
  enum class Kind { Section, Entry, Malformed };
  int number = 0;  // from 1
  Kind kind = Kind::Entry;
  std::string key;    // Section: its name; Entry: the key (both in lower case)
  std::string value;  // Entry: the value; Malformed: what is wrong
};
std::vector<ConfigLine> SplitConfigLines(const std::string& text);

}  // namespace tapi32
