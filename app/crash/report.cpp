#include "app/crash/report.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace ringwatch::crash {

namespace {

constexpr std::string_view kSectionPrefix = "== ";
constexpr std::string_view kIndent = "  ";

std::string OneLine(std::string_view text) {
  std::string line(text);
  std::replace(line.begin(), line.end(), '\n', ' ');
  return line;
}

template <class List>
const std::string* Find(const List& list, std::string_view name) {
  for (const auto& [key, value] : list) {
    if (key == name) return &value;
  }
  return nullptr;
}

template <class List>
void Set(List& list, const std::string& name, const std::string& value) {
  for (auto& [key, old] : list) {
    if (key == name) {
      old = value;
      return;
    }
  }
  list.emplace_back(name, value);
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::string TCrashReport::Header(std::string_view key) const {
  const std::string* value = Find(Headers, key);
  return value ? *value : std::string();
}

std::string TCrashReport::Section(std::string_view name) const {
  const std::string* text = Find(Sections, name);
  return text ? *text : std::string();
}

bool TCrashReport::HasSection(std::string_view name) const {
  return Find(Sections, name) != nullptr;
}

void TCrashReport::SetHeader(const std::string& key, const std::string& value) {
  Set(Headers, key, value);
}

void TCrashReport::SetSection(const std::string& name, const std::string& text) {
  Set(Sections, name, text);
}

std::string RenderSection(std::string_view name, std::string_view text) {
  std::string out;
  out.append(kSectionPrefix).append(OneLine(name)).append("\n");
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    out.append(kIndent).append(text.substr(start, end - start)).append("\n");
    start = end + 1;
  }
  return out;
}

std::string RenderReport(const TCrashReport& report) {
  std::string out(kReportMagic);
  out += "\n";
  for (const auto& [key, value] : report.Headers)
    out.append(OneLine(key)).append(": ").append(OneLine(value)).append("\n");
  out += "\n";
  for (const auto& [name, text] : report.Sections)
    out += RenderSection(name, text);
  return out;
}

std::optional<TCrashReport> ParseReport(std::string_view text) {
  std::vector<std::string_view> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (lines.empty()) return std::nullopt;
  std::string_view first = lines.front();
  if (!first.empty() && first.back() == '\r') first.remove_suffix(1);
  if (first != kReportMagic) return std::nullopt;

  TCrashReport report;
  size_t i = 1;
  for (; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (line.empty() || StartsWith(line, kSectionPrefix)) break;
    const size_t colon = line.find(": ");
    if (colon == std::string_view::npos) continue;  // damaged: not a header
    report.Headers.emplace_back(line.substr(0, colon), line.substr(colon + 2));
  }
  std::string* section = nullptr;
  for (; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (StartsWith(line, kSectionPrefix)) {
      report.Sections.emplace_back(line.substr(kSectionPrefix.size()), std::string());
      section = &report.Sections.back().second;
    } else if (section) {
      section->append(StartsWith(line, kIndent) ? line.substr(kIndent.size()) : line);
      section->append("\n");
    }
  }
  return report;
}

std::string CrashDirectory() {
  const char* state = std::getenv("XDG_STATE_HOME");
  std::string base;
  if (state && *state == '/') {
    base = state;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && *home ? home : "/tmp") + "/.local/state";
  }
  return base + "/ringwatch/crashes";
}

std::optional<TCrashReport> ReadReportFile(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (error || size > kMaxReportSize) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  return ParseReport(content.str());
}

bool WriteReportFile(const std::string& path, const TCrashReport& report) {
  const std::string temporary = path + ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << RenderReport(report);
    if (!out.flush()) return false;
  }
  chmod(temporary.c_str(), 0600);
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

std::vector<std::string> ListReportFiles(const std::string& directory) {
  std::vector<std::string> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
    const std::string name = entry.path().filename().string();
    if (StartsWith(name, "crash-") && entry.path().extension() == ".txt")
      files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string NewReportPath(const std::string& directory) {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
  const std::string stem = directory + "/crash-" + stamp + "-" + std::to_string(getpid());
  std::string path = stem + ".txt";
  for (int n = 2; std::filesystem::exists(path); ++n)
    path = stem + "-" + std::to_string(n) + ".txt";
  return path;
}

bool MakeReportDirectory(const std::string& directory) {
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error) return false;
  chmod(directory.c_str(), 0700);
  return true;
}

}  // namespace ringwatch::crash
