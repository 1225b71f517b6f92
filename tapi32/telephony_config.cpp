#include "tapi32/telephony_config.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string_view>

#include "tapi32/config_file.h"

namespace tapi32 {

namespace {

using sip::AudioConfig;
using sip::SipAccount;

// A problem with one account: it is left out, the rest of the file goes on.
struct AccountProblem {
  int line;
  std::string text;
};

[[noreturn]] void Refuse(int line, std::string problem) {
  throw AccountProblem{line, std::move(problem)};
}

// A decimal number from `low` to `high`; nothing when the text is anything else.
std::optional<uint32_t> DecimalIn(std::string_view text, uint32_t low, uint32_t high) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value < low || value > high) return std::nullopt;
  return static_cast<uint32_t>(value);
}

// A host name, an IPv4 address or a bracketed IPv6 address, with an optional port.
bool ValidHostPort(std::string_view text) {
  std::string_view host = text;
  std::string_view port;
  if (text.starts_with('[')) {
    const size_t close = text.find(']');
    if (close == std::string_view::npos) return false;
    in6_addr address{};
    if (::inet_pton(AF_INET6, std::string(text.substr(1, close - 1)).c_str(), &address) != 1) {
      return false;
    }
    const std::string_view rest = text.substr(close + 1);
    if (!rest.empty() && !rest.starts_with(':')) return false;
    if (!rest.empty()) port = rest.substr(1);
    if (!rest.empty() && port.empty()) return false;
    return port.empty() || DecimalIn(port, 1, 65535).has_value();
  }
  if (const size_t colon = text.find(':'); colon != std::string_view::npos) {
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (!DecimalIn(port, 1, 65535)) return false;
  }
  return !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.';
  });
}

// sip: or sips:, an optional user part (required for an address of record), a host and port,
// then parameters, which are not checked.
std::optional<std::string> SipUriProblem(const std::string& value, bool needsUser) {
  const std::string lower = LowerCase(value);
  const size_t scheme = lower.starts_with("sip:") ? 4 : lower.starts_with("sips:") ? 5 : 0;
  if (scheme == 0) return "'" + value + "' is not a SIP URI (it must start with sip: or sips:)";
  std::string_view rest = std::string_view(value).substr(scheme);
  rest = rest.substr(0, rest.find_first_of(";?"));
  const size_t at = rest.rfind('@');
  if (needsUser && (at == std::string_view::npos || at == 0)) {
    return "'" + value + "' names no user (expected sip:user@domain)";
  }
  const std::string_view hostPort = at == std::string_view::npos ? rest : rest.substr(at + 1);
  if (!ValidHostPort(hostPort)) return "'" + value + "' has no valid host and port";
  return std::nullopt;
}

// "address:port" with an IPv4 address, or "[address]:port" with an IPv6 address.
bool ValidSocketAddress(const std::string& value) {
  std::string address;
  std::string_view port;
  int family = AF_INET;
  if (value.starts_with('[')) {
    const size_t close = value.find("]:");
    if (close == std::string::npos) return false;
    address = value.substr(1, close - 1);
    port = std::string_view(value).substr(close + 2);
    family = AF_INET6;
  } else {
    const size_t colon = value.rfind(':');
    if (colon == std::string::npos) return false;
    address = value.substr(0, colon);
    port = std::string_view(value).substr(colon + 1);
  }
  in6_addr buffer{};
  return ::inet_pton(family, address.c_str(), &buffer) == 1 && DecimalIn(port, 0, 65535);
}

std::vector<std::string> SplitList(const std::string& value) {
  std::vector<std::string> items;
  std::istringstream in(value);
  for (std::string item; std::getline(in, item, ',');)
    items.push_back(TrimBlanks(item));
  return items;
}

// Resolves a path written in the file against the file's folder.
std::string Anchored(const std::string& path, const std::filesystem::path& folder) {
  const std::filesystem::path written(path);
  if (path.empty() || written.is_absolute() || folder.empty()) return path;
  return (folder / written).lexically_normal().string();
}

using AccountKey = std::function<void(SipAccount&, const std::string& value, int line)>;

AccountKey Text(std::string SipAccount::*field) {
  return [field](SipAccount& a, const std::string& v, int) { a.*field = v; };
}

AccountKey Uri(std::string SipAccount::*field, bool needsUser) {
  return [field, needsUser](SipAccount& a, const std::string& v, int line) {
    if (auto problem = SipUriProblem(v, needsUser)) Refuse(line, *problem);
    a.*field = v;
  };
}

AccountKey Wave(std::optional<uint32_t> SipAccount::*field) {
  return [field](SipAccount& a, const std::string& v, int line) {
    a.*field = DecimalIn(v, 0, 255);
    if (!(a.*field)) Refuse(line, "'" + v + "' is not a sound card number (0 to 255)");
  };
}

const std::map<std::string, AccountKey, std::less<>> kAccountKeys = {
    {"name", Text(&SipAccount::displayName)},
    {"aor", Uri(&SipAccount::aor, true)},
    {"registrar", Uri(&SipAccount::registrar, false)},
    {"outbound_proxy", Uri(&SipAccount::outboundProxy, false)},
    {"auth_user", Text(&SipAccount::authUser)},
    {"password", Text(&SipAccount::password)},
    {"transport",
     [](SipAccount& a, const std::string& v, int line) {
       a.transport = LowerCase(v);
       if (a.transport != "udp" && a.transport != "tcp") {
         Refuse(line, "unknown transport '" + v + "' (expected udp or tcp)");
       }
     }},
    {"local_address",
     [](SipAccount& a, const std::string& v, int line) {
       if (!ValidSocketAddress(v)) {
         Refuse(line,
                "'" + v + "' is not an address with a port (such as 0.0.0.0:5060 or [::]:5060)");
       }
       a.localAddress = v;
     }},
    {"rtp_ports",
     [](SipAccount& a, const std::string& v, int line) {
       // RTP takes an even port and RTCP the next one, above the privileged ports.
       const size_t dash = v.find('-');
       const auto low = DecimalIn(TrimBlanks(v.substr(0, dash)), 1024, 65535);
       const auto high = dash == std::string::npos
                             ? std::nullopt
                             : DecimalIn(TrimBlanks(v.substr(dash + 1)), 1024, 65535);
       if (!low || !high || *low >= *high) {
         Refuse(line, "'" + v + "' is not a port range (expected low-high, 1024 to 65535, " +
                          "with room for two ports)");
       }
       a.rtpPortMin = static_cast<uint16_t>(*low);
       a.rtpPortMax = static_cast<uint16_t>(*high);
     }},
    {"codecs",
     [](SipAccount& a, const std::string& v, int line) {
       a.codecs.clear();
       for (std::string codec : SplitList(v)) {
         std::transform(codec.begin(), codec.end(), codec.begin(),
                        [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
         if (codec != "PCMU" && codec != "PCMA") {
           Refuse(line, "unknown codec '" + codec + "' (expected PCMU or PCMA)");
         }
         if (std::find(a.codecs.begin(), a.codecs.end(), codec) != a.codecs.end()) {
           Refuse(line, "the codec " + codec + " is listed twice");
         }
         a.codecs.push_back(codec);
       }
       if (a.codecs.empty()) Refuse(line, "codecs lists no codec");
     }},
    {"register_expires",
     [](SipAccount& a, const std::string& v, int line) {
       const auto seconds = DecimalIn(v, 10, 86400);
       if (!seconds) Refuse(line, "'" + v + "' is not a number of seconds from 10 to 86400");
       a.registerExpiresS = *seconds;
     }},
    {"audio",
     [](SipAccount& a, const std::string& v, int line) {
       const std::string kind = LowerCase(v);
       if (kind == "pulse") {
         a.audio.kind = AudioConfig::Kind::Pulse;
       } else if (kind == "files") {
         a.audio.kind = AudioConfig::Kind::Files;
       } else if (kind == "none") {
         a.audio.kind = AudioConfig::Kind::None;
       } else {
         Refuse(line, "unknown audio '" + v + "' (expected pulse, files or none)");
       }
     }},
    {"audio_source", [](SipAccount& a, const std::string& v, int) { a.audio.source = v; }},
    {"audio_sink", [](SipAccount& a, const std::string& v, int) { a.audio.sink = v; }},
    {"wave_in", Wave(&SipAccount::waveIn)},
    {"wave_out", Wave(&SipAccount::waveOut)},
};

// One [sip] section as written, turned into an account once the whole file is read.
struct AccountSection {
  int line = 0;
  std::vector<ConfigLine> entries;
};

SipAccount MakeAccount(const AccountSection& section, const std::string& fileName,
                       const std::filesystem::path& folder) {
  SipAccount account;
  account.origin = fileName + ":" + std::to_string(section.line);
  std::set<std::string> seen;
  for (const ConfigLine& entry : section.entries) {
    if (!seen.insert(entry.key).second) {
      Refuse(entry.number, "'" + entry.key + "' is given twice in this account");
    }
    auto key = kAccountKeys.find(entry.key);
    if (key == kAccountKeys.end()) {
      Refuse(entry.number, "unknown key '" + entry.key + "' in a [sip] section");
    }
    key->second(account, entry.value, entry.number);
  }
  if (account.displayName.empty()) Refuse(section.line, "the account has no name");
  if (account.aor.empty())
    Refuse(section.line,
           "the account '" + account.displayName + "' has no aor (its address of record)");
  if (account.audio.kind == AudioConfig::Kind::Files) {
    account.audio.source = Anchored(account.audio.source, folder);
    account.audio.sink = Anchored(account.audio.sink, folder);
  }
  return account;
}

}  // namespace

TelephonyConfig DefaultTelephonyConfig() {
  TelephonyConfig config;
  config.simSwitch = SwitchChoice{};
  return config;
}

std::string TelephonyFilePath() {
  return UserConfigFile(kTelephonyVariable, "telephony.ini");
}

TelephonyConfig ParseTelephonyConfig(const std::string& text, const std::string& fileName) {
  auto fail = [&](int line, const std::string& problem) {
    throw TelephonyConfigError(fileName + ":" + std::to_string(line) + ": " + problem);
  };
  const std::filesystem::path folder = std::filesystem::path(fileName).parent_path();
  TelephonyConfig config;
  enum class Section { None, Switch, Sip } section = Section::None;
  std::vector<AccountSection> sections;
  int switchLine = 0;
  std::optional<bool> demo;
  std::set<std::string> switchKeys;

  for (const ConfigLine& line : SplitConfigLines(text)) {
    if (line.kind == ConfigLine::Kind::Malformed) fail(line.number, line.value);
    if (line.kind == ConfigLine::Kind::Section) {
      if (line.key == "sip") {
        section = Section::Sip;
        sections.push_back({line.number, {}});
      } else if (line.key == "switch") {
        if (switchLine != 0) fail(line.number, "a second [switch] section");
        section = Section::Switch;
        switchLine = line.number;
        config.simSwitch = SwitchChoice{};
      } else {
        fail(line.number, "unknown section [" + line.key + "] (expected [switch] or [sip])");
      }
      continue;
    }
    if (section == Section::None) {
      fail(line.number, "'" + line.key + "' stands before any [switch] or [sip]");
    }
    if (section == Section::Sip) {
      if (line.key == "password" && !line.value.empty() && config.firstPasswordLine == 0) {
        config.firstPasswordLine = line.number;
      }
      sections.back().entries.push_back(line);
      continue;
    }
    if (!switchKeys.insert(line.key).second) {
      fail(line.number, "'" + line.key + "' is given twice in [switch]");
    }
    if (line.key == "demo") {
      const std::string word = LowerCase(line.value);
      if (word != "yes" && word != "no") fail(line.number, "demo takes yes or no");
      demo = word == "yes";
    } else if (line.key == "file") {
      if (line.value.empty()) fail(line.number, "file names no file");
      config.simSwitch->file = Anchored(line.value, folder);
    } else {
      fail(line.number, "unknown key '" + line.key + "' in [switch] (expected demo or file)");
    }
  }
  if (config.simSwitch && demo == true && !config.simSwitch->file.empty()) {
    fail(switchLine, "[switch] says both demo = yes and file: choose one");
  }
  if (config.simSwitch && demo == false && config.simSwitch->file.empty()) {
    fail(switchLine, "[switch] says demo = no but names no file");
  }

  std::set<std::string> names;
  for (const AccountSection& written : sections) {
    try {
      SipAccount account = MakeAccount(written, fileName, folder);
      if (!names.insert(account.displayName).second) {
        Refuse(written.line, "a second account is named '" + account.displayName + "'");
      }
      config.accounts.push_back(std::move(account));
    } catch (const AccountProblem& problem) {
      config.skipped.push_back(fileName + ":" + std::to_string(problem.line) + ": " + problem.text);
    }
  }
  return config;
}

TelephonyConfig LoadTelephonyConfig(const std::string& path) {
  if (path.empty()) return DefaultTelephonyConfig();
  auto fail = [&](const std::string& problem) {
    throw TelephonyConfigError(path + ":0: " + problem + " (" + std::strerror(errno) + ")");
  };
  // The mode is read from the descriptor the text comes through, so it is that file's.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return DefaultTelephonyConfig();
    fail("the file cannot be opened");
  }
  struct stat status {};
  std::string text;
  bool ok = ::fstat(fd, &status) == 0;
  char buffer[4096];
  while (ok) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    ok = n >= 0;
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  const int saved = errno;
  ::close(fd);
  errno = saved;
  if (!ok) fail("the file cannot be read");

  TelephonyConfig config = ParseTelephonyConfig(text, path);
  if (config.firstPasswordLine != 0 && (status.st_mode & 077) != 0) {
    std::ostringstream mode;
    mode << std::oct << (status.st_mode & 0777);
    throw TelephonyConfigError(path + ":" + std::to_string(config.firstPasswordLine) +
                               ": the file holds a password but others may read it (mode 0" +
                               mode.str() + "); make it private to you with: chmod 600 " + path);
  }
  return config;
}

}  // namespace tapi32
