// SIPp as a scripted caller for tests and benchmarks: runs one scenario (a file from
// tests/sip/scenarios/ or one of SIPp's built-in ones) against a SIP port on loopback, from a
// free local port, and stops it in its destructor whatever happened.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tapi32/sip/account.h"
#include "tests/sip/child_process.h"

namespace sip_test {

// A UDP port on 127.0.0.1 that nothing uses now, as the kernel hands out for port 0.
uint16_t FreeUdpPort();

// An account of `user` listening on 127.0.0.1:port, without registrar and without audio: what
// SIPp calls in tests and benchmarks.
tapi32::sip::SipAccount LoopbackAccount(const std::string& user, const std::string& name,
                                        uint16_t port);

// The path of a scenario file under tests/sip/scenarios/ ("no_ack" -> ".../no_ack.xml").
std::filesystem::path ScenarioPath(const std::string& name);

struct SippOptions {
  std::string scenario;  // a file path, or "uac" for SIPp's built-in caller
  uint16_t targetPort = 0;
  std::string service = "rw";  // the user part the built-in scenarios call
  uint32_t calls = 1;          // -m: SIPp ends after this many calls
  uint32_t ratePerS = 10;      // -r
  uint32_t limit = 0;          // -l: calls at once, 0 for SIPp's default
  uint32_t callLengthMs = 0;   // -d: the built-in caller's pause before BYE, 0 for its default
  // Lines of an injection file (SIPp's -inf, read in sequence); the scenario reads them as
  // [field0], [field1], ... separated by ";". None: no injection file.
  std::vector<std::string> injection;
  std::vector<std::string> extraArguments;
};

class Sipp {
 public:
  explicit Sipp(SippOptions options);
  ~Sipp();
  Sipp(const Sipp&) = delete;
  Sipp& operator=(const Sipp&) = delete;

  // Waits until SIPp has ended (its own -timeout bounds the run) and gives its exit status:
  // 0 every call succeeded, 1 some failed, anything else: it could not run. Nothing when it
  // did not end by itself within `limitS` (the destructor kills it).
  std::optional<int> Wait(int limitS = 300);

  // What SIPp wrote to its standard output and error and its error trace, for failure messages.
  std::string Log() const;
  // The file SIPp's <log> actions write to (-trace_logs).
  std::filesystem::path MessageLog() const;

 private:
  TempDir dir_{"sipp"};
  std::optional<ChildProcess> process_;
};

}  // namespace sip_test
