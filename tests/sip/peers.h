// Real SIP peers for the provider's tests, each on 127.0.0.1 on ports the kernel says are free,
// with its files in a temporary folder, and stopped (killed and reaped) by its destructor however
// the test ends:
// - Baresip: a user agent with one account ("Bare Sip" <sip:bs@127.0.0.1:port>), scripted through
//   its ctrl_tcp module (netstrings of JSON: commands with responses, and events);
// - Kamailio: a registrar with digest authentication (any user, one password) that routes calls
//   to the users registered with it and logs each registration's bindings.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/sip/child_process.h"

namespace sip_test {

// Writes a WAV file (8 kHz, mono, 16-bit) of a sine tone.
void WriteToneWav(const std::filesystem::path& path, double frequencyHz, double seconds);

class Baresip {
 public:
  struct Options {
    bool autoAnswer = true;  // answermode=auto; false: calls wait for Accept()
    double toneHz = 1000;    // what baresip plays into every call
  };
  explicit Baresip(Options options);
  Baresip() : Baresip(Options{}) {}
  ~Baresip();
  Baresip(const Baresip&) = delete;
  Baresip& operator=(const Baresip&) = delete;

  uint16_t SipPort() const { return sipPort_; }
  // The account's URI: sip:bs@127.0.0.1:<port>.
  std::string Uri() const;

  // Runs a command ("dial", "accept", "hangup", ...) and gives its response.
  nlohmann::json Command(const std::string& command, const std::string& params = {});
  // The first event of this type not taken yet ("CALL_ESTABLISHED", ...); none within the wait.
  std::optional<nlohmann::json> WaitEvent(const std::string& type,
                                          std::chrono::seconds wait = std::chrono::seconds(30));
  std::string Log() const { return process_ ? process_->Log() : std::string(); }

 private:
  void Read();
  void Send(const std::string& json);

  TempDir dir_;
  uint16_t sipPort_ = 0;
  uint16_t controlPort_ = 0;
  std::optional<ChildProcess> process_;
  int control_ = -1;
  std::thread reader_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<nlohmann::json> events_;
  std::vector<nlohmann::json> responses_;
  unsigned nextToken_ = 1;
};

class Kamailio {
 public:
  static constexpr const char* kPassword = "s3cret";

  Kamailio();
  ~Kamailio() = default;
  Kamailio(const Kamailio&) = delete;
  Kamailio& operator=(const Kamailio&) = delete;

  uint16_t Port() const { return port_; }
  std::string Uri() const;  // sip:127.0.0.1:<port>
  // Starts it again on the same port after Kill().
  void Start();
  void Kill();
  // Waits until the log holds a line containing `text`, counting from the start of the log.
  bool WaitLog(const std::string& text, std::chrono::seconds wait = std::chrono::seconds(30));
  std::string Log() const;

 private:
  TempDir dir_;
  uint16_t port_ = 0;
  int runs_ = 0;
  std::optional<ChildProcess> process_;
  std::string earlierLogs_;
};

}  // namespace sip_test
