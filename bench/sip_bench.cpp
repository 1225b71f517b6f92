// sip_bench: the SIP provider under load from SIPp, with a program on the zvTapi library that
// answers every call in OnOffering.
//
//   BENCH sip_answered_calls_per_s   2,000 calls offered, each dropped by the program 1 s after it
//                                    connected; answered calls per second from the first offer
//                                    to the last connection, with no call failed.
//   BENCH sip_offer_to_event_p50_us  from the INVITE leaving SIPp (its clock, logged per call) to
//                                    OnOffering on the user-interface thread (same machine clock).
//   BENCH sip_concurrent_calls       calls connected at once, with media, before anything failed
//                                    (or the planned number if nothing did),
//   BENCH sip_rss_per_call_kib       with the resident memory each of them took.
//
// Needs sipp (Debian's sip-tester) on the PATH. Takes about a minute.

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/benchmarks.h"
#include "tapi/application.h"
#include "tapi/call.h"
#include "tapi/call_info.h"
#include "tapi/line.h"
#include "tapi32/server.h"
#include "tapi32/sip/sip_provider.h"
#include "tests/sip/sipp.h"

namespace zvtapi::bench {
namespace {

using SystemClock = std::chrono::system_clock;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kAnsweredCalls = 2'000;
// SIPp's offer rate for them; above what the provider sustains, INVITEs would be retransmitted.
constexpr uint32_t kOfferRatePerS = 250;
constexpr auto kHoldTime = std::chrono::seconds(1);
// How many calls the concurrency run tries to hold at once, offered at a gentler rate.
constexpr uint32_t kConcurrentGoal = 1'200;
constexpr uint32_t kConcurrentRatePerS = 150;
constexpr std::chrono::seconds kWaitLimit{240};

// Resident memory of the process.
size_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  size_t pages = 0;
  size_t resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// The SIP provider with one account on a free loopback port, installed as the runtime's only
// provider for the benchmark's lifetime, and the application with the account's line open.
class SipLine {
 public:
  SipLine() : port_(sip_test::FreeUdpPort()) {
    provider_ = std::make_unique<tapi32::sip::SipProvider>(
        std::vector<tapi32::sip::SipAccount>{sip_test::LoopbackAccount("rw", "Bench", port_)});
    tapi32::Server::Instance().SetProvider(provider_.get());
    zvTapiApplication->Initialize();
    line_ = std::make_unique<TzvTapiLine>(nullptr);
    line_->SetDeviceID(0);
    line_->Options().SetSyncMode(false);
    line_->SetActive(true);
    if (!line_->Active()) throw std::runtime_error("the SIP line does not open");
  }
  ~SipLine() {
    line_.reset();
    zvTapiApplication->Shutdown();
    tapi32::Server::Instance().SetProvider(nullptr);
  }

  uint16_t Port() const { return port_; }
  TzvTapiLine& Line() { return *line_; }

 private:
  uint16_t port_;
  std::unique_ptr<tapi32::sip::SipProvider> provider_;
  std::unique_ptr<TzvTapiLine> line_;
};

// When each call's INVITE left SIPp, by call number, from the lines its scenario logged.
std::map<long, SystemClock::time_point> InviteTimes(const std::filesystem::path& log) {
  std::map<long, SystemClock::time_point> times;
  std::ifstream in(log);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    // SIPp prints its variables as decimals: "17 1796862161.000000 586631.000000".
    long call = 0;
    double seconds = 0;
    double micros = 0;
    if (fields >> call >> seconds >> micros) {
      times[call] =
          SystemClock::time_point(std::chrono::seconds(static_cast<long long>(seconds)) +
                                  std::chrono::microseconds(static_cast<long long>(micros)));
    }
  }
  return times;
}

sip_test::SippOptions Caller(uint16_t port, uint32_t calls, uint32_t rate) {
  sip_test::SippOptions options;
  options.scenario = sip_test::ScenarioPath("answered_call").string();
  options.targetPort = port;
  options.calls = calls;
  options.ratePerS = rate;
  options.limit = calls;
  return options;
}

void BenchAnsweredCalls() {
  SipLine sip;
  TzvTapiLine& line = sip.Line();
  std::map<long, SystemClock::time_point> offeredAt;
  std::deque<std::pair<Clock::time_point, TzvTapiCall*>> drops;
  std::set<TzvTapiCall*> live;
  uint32_t connected = 0;
  Clock::time_point firstOffer;
  Clock::time_point lastConnect;
  line.SetOnOffering([&](TzvTapiLine*, TzvTapiCall* call) {
    offeredAt[std::stol(call->CallerID()->GetAddress())] = SystemClock::now();
    if (offeredAt.size() == 1) firstOffer = Clock::now();
    live.insert(call);
    call->Answer("");
  });
  line.SetOnConnected([&](TzvTapiLine*, TzvTapiCall* call) {
    ++connected;
    lastConnect = Clock::now();
    drops.emplace_back(lastConnect + kHoldTime, call);
  });
  line.SetOnIdle([&](TzvTapiLine*, TzvTapiCall* call) { live.erase(call); });

  sip_test::Sipp sipp(Caller(sip.Port(), kAnsweredCalls, kOfferRatePerS));
  std::optional<int> status;
  PumpUntil(
      [&] {
        while (!drops.empty() && drops.front().first <= Clock::now()) {
          if (live.count(drops.front().second) != 0) line.Drop(drops.front().second, "");
          drops.pop_front();
        }
        return (status = sipp.Wait(0)).has_value();
      },
      "answered calls", kWaitLimit);
  if (connected == 0) throw std::runtime_error("no call connected\n" + sipp.Log());
  // The rate counts only if no call failed: say so next to it rather than hide the figures.
  if (*status != 0 || connected != kAnsweredCalls) {
    std::fprintf(stderr, "sip_bench: %u of %u calls connected, SIPp exit %d (calls failed)\n",
                 connected, kAnsweredCalls, *status);
  }
  const double seconds = std::chrono::duration<double>(lastConnect - firstOffer).count();
  PrintFigure("sip_answered_calls_per_s", connected / seconds, "calls/s");

  std::vector<double> latencies;
  for (const auto& [call, sent] : InviteTimes(sipp.MessageLog())) {
    const auto offered = offeredAt.find(call);
    if (offered == offeredAt.end()) continue;
    latencies.push_back(std::chrono::duration<double, std::micro>(offered->second - sent).count());
  }
  if (latencies.empty()) throw std::runtime_error("SIPp logged no INVITE times");
  PrintFigure("sip_offer_to_event_p50_us", Median(latencies), "us");
}

void BenchConcurrentCalls() {
  // Two descriptors per call for RTP and RTCP, and the process' default limit is 1,024.
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = files.rlim_max;
  setrlimit(RLIMIT_NOFILE, &files);

  SipLine sip;
  TzvTapiLine& line = sip.Line();
  uint32_t connected = 0;
  uint32_t failed = 0;
  size_t peakResident = 0;
  uint32_t peakCalls = 0;
  std::set<TzvTapiCall*> calls;
  line.SetOnOffering([&](TzvTapiLine*, TzvTapiCall* call) { call->Answer(""); });
  line.SetOnIdle([&](TzvTapiLine*, TzvTapiCall* call) { calls.erase(call); });
  line.SetOnConnected([&](TzvTapiLine*, TzvTapiCall* call) {
    calls.insert(call);
    if (failed == 0 && ++connected > peakCalls) {
      peakCalls = connected;
      peakResident = ResidentBytes();
    }
  });
  line.SetOnDisconnected([&](TzvTapiLine*, TzvTapiCall*) { ++failed; });
  line.SetOnTapiReply([&](TObject*, Cardinal, Cardinal code) {
    if (code != 0) ++failed;
  });
  const size_t residentBefore = ResidentBytes();

  sip_test::Sipp sipp(Caller(sip.Port(), kConcurrentGoal, kConcurrentRatePerS));
  const auto planned = std::chrono::seconds(kConcurrentGoal / kConcurrentRatePerS + 15);
  const Clock::time_point end = Clock::now() + planned;
  PumpUntil([&] { return connected >= kConcurrentGoal || failed > 0 || Clock::now() > end; },
            "concurrent calls", kWaitLimit);
  PrintFigure("sip_concurrent_calls", peakCalls, "calls");
  if (peakCalls > 0) {
    PrintFigure("sip_rss_per_call_kib",
                static_cast<double>(peakResident - residentBefore) / 1024.0 / peakCalls, "KiB", 1);
  }
  for (TzvTapiCall* call : std::set<TzvTapiCall*>(calls)) {
    if (call->State() == LINECALLSTATE_CONNECTED) line.Drop(call, "");
  }
  PumpUntil([&] { return sipp.Wait(0).has_value(); }, "hanging up", kWaitLimit);
}

}  // namespace
}  // namespace zvtapi::bench

int main() {
  try {
    zvtapi::bench::BenchAnsweredCalls();
    zvtapi::bench::BenchConcurrentCalls();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sip_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
