// Speed of digit reports: digits played into 100 connected calls whose digit monitors started
// themselves when the calls connected, each reported by OnDigit on the user-interface thread. The
// same run measures plain messages through the same path (RunPipeline), so that the ratio of the
// two says what a digit costs beyond a message, whatever the machine's load at the moment.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/benchmarks.h"
#include "bench/message_flow.h"
#include "platform/message_window.h"
#include "tapi/application.h"
#include "tapi/line.h"
#include "tapi32/sim/switch.h"

namespace zvtapi::bench {
namespace {

using tapi32::sim::Switch;

constexpr int kCalls = 100;
constexpr uint64_t kDigits = 200'000;
constexpr int kRuns = 5;
// A slow machine gets fewer runs (at least one) rather than a run time beyond half a minute.
constexpr std::chrono::seconds kBudget{25};

// Plays one digit at a time into the calls, round-robin, from a thread of its own.
class DigitPlayer {
 public:
  DigitPlayer(const std::vector<uint32_t>& callIds, uint64_t count, FlowControl& flow)
      : FThread([this, &callIds, count, &flow] { Run(callIds, count, flow); }) {}
  ~DigitPlayer() { Join(); }
  DigitPlayer(const DigitPlayer&) = delete;
  DigitPlayer& operator=(const DigitPlayer&) = delete;

  void Join() {
    if (FThread.joinable()) FThread.join();
  }
  Clock::time_point Start() const { return FStart; }
  bool Failed() const { return FFailed.load(); }

 private:
  void Run(const std::vector<uint32_t>& callIds, uint64_t count, FlowControl& flow) {
    Switch& sw = Switch::Instance();
    FStart = Clock::now();
    try {
      for (uint64_t i = 0; i < count && flow.WaitForRoom(i); ++i)
        sw.PlayDigits(callIds[i % callIds.size()], "5");
    } catch (const std::exception& e) {
      std::fprintf(stderr, "zvtapi_bench: playing digits: %s\n", e.what());
      FFailed.store(true);
    }
  }

  Clock::time_point FStart{};
  std::atomic<bool> FFailed{false};
  std::thread FThread;
};

// Digits per second from the first one played to the last one reported.
double RunDigits(TzvTapiLine& line, const std::vector<uint32_t>& callIds, uint64_t count) {
  FlowControl flow;
  Clock::time_point lastReported{};
  line.SetOnDigit([&](TzvTapiLine*, TzvTapiCall*, char16_t) {
    if (flow.Consumed() == count) lastReported = Clock::now();
  });
  DigitPlayer player(callIds, count, flow);
  StallGuard stall(flow);
  try {
    while (flow.ConsumedCount() < count && !player.Failed()) {
      if (platform::DispatchPendingMessages() == 0) {
        stall.Check("digits");
        std::this_thread::yield();
      }
    }
  } catch (...) {
    line.SetOnDigit(nullptr);
    throw;
  }
  player.Join();
  line.SetOnDigit(nullptr);
  while (platform::DispatchPendingMessages() > 0) {
  }
  if (player.Failed()) throw std::runtime_error("playing digits failed");
  return static_cast<double>(count) / Seconds(player.Start(), lastReported);
}

// A trunk with room for every call, hearing DTMF only (one report per digit), that reports its
// calls' states and nothing of its own status.
tapi32::sim::Config Trunk() {
  tapi32::sim::LineConfig trunk;
  trunk.name = "Trunk";
  trunk.maxActiveCalls = kCalls;
  trunk.monitorDigitModes = LINEDIGITMODE_DTMF;
  trunk.lineStates &= ~(LINEDEVSTATE_NUMCALLS | LINEDEVSTATE_OTHER | LINEDEVSTATE_RINGING);
  trunk.addressStates = LINEADDRESSSTATE_CAPSCHANGE;
  tapi32::sim::Config config;
  config.lines = {trunk};
  return config;
}

}  // namespace

// Digit and plain runs alternate so that a noisy moment on the machine hurts both alike; the
// median run of each is reported.
void BenchDigitEvents() {
  Switch& sw = Switch::Instance();
  sw.Reset(Trunk());
  zvTapiApplication->Initialize();
  std::vector<double> digits;
  std::vector<double> plain;
  {
    TzvTapiLine line(nullptr);
    line.CallOptions().MonitorDigits().SetAutoSelect(true);
    line.SetDeviceID(0);
    line.SetActive(true);
    if (!line.Active()) throw std::runtime_error("the trunk did not open");
    std::vector<uint32_t> callIds;
    for (int i = 0; i < kCalls; ++i)
      callIds.push_back(sw.OfferCall(0, 0, {}));
    PumpUntil([&] { return line.Calls().Count() == kCalls; }, "offering calls", kStallLimit);
    for (uint32_t id : callIds)
      sw.SetCallState(id, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
    PumpUntil(
        [&] {
          for (TzvTapiCall* call : line.Calls()) {
            if (!call->MonitorDigits().Active()) return false;
          }
          return true;
        },
        "starting the digit monitors");
    const Clock::time_point deadline = Clock::now() + kBudget;
    for (int run = 0; run < kRuns && (run == 0 || Clock::now() < deadline); ++run) {
      digits.push_back(RunDigits(line, callIds, kDigits));
      plain.push_back(RunPipeline(kDigits));
      std::printf("# run %d: digits %.0f ev/s, plain messages %.0f msg/s\n", run + 1, digits.back(),
                  plain.back());
    }
    line.SetActive(false);
  }
  zvTapiApplication->Shutdown();
  const double digitRate = Median(digits);
  const double plainRate = Median(plain);
  PrintFigure("digits_events_per_s", digitRate, "ev/s");
  PrintFigure("digits_pipeline_msgs_per_s", plainRate, "msg/s");
  PrintFigure("digits_ratio", digitRate / plainRate, "x", 3);
}

}  // namespace zvtapi::bench
