// What the SIP tests need to run outside programs (peers, SIPp): a temporary folder for their
// files and a child process whose output goes to a log file, stopped and reaped however the test
// ends.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace sip_test {

// A folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  explicit TempDir(const std::string& prefix);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// A program run with its standard output and error appended to a log file and standard input
// from /dev/null, in `workingDir` when one is given; stopped (SIGTERM, then SIGKILL) and reaped
// by Kill or the destructor.
class ChildProcess {
 public:
  ChildProcess(std::vector<std::string> arguments, std::filesystem::path log,
               std::filesystem::path workingDir = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Waits for the program to end by itself and gives its exit status (128 + the signal when a
  // signal ended it); nothing when it still runs after `wait`.
  std::optional<int> Wait(std::chrono::seconds wait);
  void Kill();
  std::string Log() const;

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
  std::filesystem::path log_;
};

std::string ReadFile(const std::filesystem::path& path);

// Polls `done` every 20 ms until it holds (true) or `wait` has passed (false).
template <typename Predicate>
bool WaitUntil(std::chrono::seconds wait, Predicate done) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace sip_test
