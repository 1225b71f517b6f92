// Ringwatch's error reports on disk: where they live, their plain-text format, and a reader
// that accepts whatever a crashed process, an interrupted helper or a damaged disk left behind.
//
// A report is UTF-8 text:
//
//   Ringwatch error report
//   Program: Ringwatch 0.1.0          <- "Key: value" header lines, in any order
//   Library: zvTapi 0.1.0
//   Time: 2026-12-10T02:30:00Z
//   Trigger: exception | signal | freeze
//   Detail: std::runtime_error: no such line
//   Process: 4711
//   Fatal: yes | no                   <- whether the process died of it
//
//   == Stacks                         <- "== Name" opens a section
//     Thread 4711 (ringwatch)         <- every line of a section is indented by two spaces
//     #0  0x000055d0c2a1b2c3 TForm1::DoInit(QObject*) (app/main_window.cpp:212)
//   == Telephony messages
//   == Lines and calls
//
// The first line identifies the file; the headers end at the first blank line or section.
// Sections known today: "Stacks", "Telephony messages", "Lines and calls", "Contact",
// "Description". Unknown headers and sections are kept, so that older programs read newer
// reports.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ringwatch::crash {

inline constexpr std::string_view kReportMagic = "Ringwatch error report";

struct TCrashReport {
  std::vector<std::pair<std::string, std::string>> Headers;
  // Each section's text: whole lines, each ending in a newline, without the indentation.
  std::vector<std::pair<std::string, std::string>> Sections;

  // The first header or section of that name; empty when there is none.
  std::string Header(std::string_view key) const;
  std::string Section(std::string_view name) const;
  bool HasSection(std::string_view name) const;
  // Replaces the first one of that name, or appends.
  void SetHeader(const std::string& key, const std::string& value);
  void SetSection(const std::string& name, const std::string& text);
};

// The report as file text. Newlines in header keys, values and section names become spaces.
std::string RenderReport(const TCrashReport& report);
// One section as it is appended to a report file.
std::string RenderSection(std::string_view name, std::string_view text);
// The report in Text; none when the text is not a report at all. Lines it cannot place are
// skipped, so a truncated or damaged report yields what is left of it.
std::optional<TCrashReport> ParseReport(std::string_view text);

// $XDG_STATE_HOME/ringwatch/crashes, or ~/.local/state/ringwatch/crashes.
std::string CrashDirectory();
// Reports are at most this large; a larger file is not one of ours.
inline constexpr size_t kMaxReportSize = 16 * 1024 * 1024;
std::optional<TCrashReport> ReadReportFile(const std::string& path);
// Writes the file under a temporary name first, so that a reader never sees half of it.
bool WriteReportFile(const std::string& path, const TCrashReport& report);
// The report files in Directory, oldest first (their names sort by time).
std::vector<std::string> ListReportFiles(const std::string& directory);
// A new file name in Directory for a report made now by this process.
std::string NewReportPath(const std::string& directory);
// Creates the directory and its parents (mode 0700: reports hold telephone numbers).
bool MakeReportDirectory(const std::string& directory);

}  // namespace ringwatch::crash
