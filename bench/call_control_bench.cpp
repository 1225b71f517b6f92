// Speed of call control: the round trip of a synchronous Answer (the operation returns only
// after TAPI's reply has been handled), the same when the reply comes a few milliseconds later,
// and the rate at which asynchronous Answer requests are issued and their replies handled.
//
// Everything runs on the real path: the library calls lineAnswer, the simulated switch replies
// into TAPI's queue (at once, or from its timer thread), the event thread moves the reply to the
// library's queue, and the main thread (the user-interface thread here) handles it, inside the
// synchronous wait or from its message loop.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/benchmarks.h"
#include "platform/message_window.h"
#include "tapi/application.h"
#include "tapi/line.h"
#include "tapi32/sim/config.h"
#include "tapi32/sim/switch.h"
#include "tapi32/tapi.h"

namespace zvtapi::bench {
namespace {

using Clock = std::chrono::steady_clock;
using tapi32::sim::Switch;

constexpr int kSyncAnswers = 1'000;
// A provider that answers after a while, as a real switch does: the delay and how many answers.
constexpr uint32_t kReplyDelayMs = 5;
constexpr int kDelayedAnswers = 500;
constexpr int kAsyncCalls = 10'000;
// Calls are offered in batches of this size, each pumped through before the next.
constexpr int kOfferBatch = 200;
constexpr std::chrono::seconds kWaitLimit{30};

tapi32::sim::Config OneTrunk() {
  tapi32::sim::Config config;
  tapi32::sim::LineConfig line;
  line.name = "Trunk";
  line.maxActiveCalls = kAsyncCalls;
  config.lines.push_back(line);
  return config;
}

tapi32::sim::IncomingCall Caller(int n) {
  tapi32::sim::IncomingCall call;
  call.callerNumber = "0301" + std::to_string(1'000'000 + n);
  call.callerName = "Caller " + std::to_string(n);
  call.calledNumber = "200";
  return call;
}

std::unique_ptr<TzvTapiLine> OpenTrunk() {
  auto line = std::make_unique<TzvTapiLine>(nullptr);
  line->SetDeviceID(0);
  // Finished calls are freed by the benchmark itself, not by timers running during the timing.
  line->Options().SetAutoFreeIdleCalls(-1);
  line->Options().SetAutoDropDiscCalls(-1);
  line->SetActive(true);
  if (!line->Active()) throw std::runtime_error("trunk not open");
  return line;
}

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const auto index = static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

// Offers a call, answers it synchronously and drops it, `count` times on the trunk of a switch
// set up beforehand; the microseconds each Answer took.
std::vector<double> SyncAnswerRoundTrips(int count) {
  zvTapiApplication->Initialize();
  std::unique_ptr<TzvTapiLine> line = OpenTrunk();
  line->Options().SetSyncMode(true);
  std::vector<double> roundTrips;
  roundTrips.reserve(static_cast<size_t>(count));
  for (int n = 0; n < count; ++n) {
    Switch::Instance().OfferCall(0, 0, Caller(n));
    PumpUntil([&] { return line->Calls().Count() == 1; }, "offered call", kWaitLimit);
    TzvTapiCall* call = line->Calls().Get(0);
    const Clock::time_point start = Clock::now();
    call->Answer("");
    roundTrips.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    // The call ends and goes, so that every round starts from an empty line.
    line->Drop(call, "");
    PumpUntil([&] { return call->State() == LINECALLSTATE_IDLE; }, "dropped call", kWaitLimit);
    delete call;
  }
  line.reset();
  zvTapiApplication->Shutdown();
  return roundTrips;
}

}  // namespace

void BenchSyncAnswer() {
  Switch::Instance().Reset(OneTrunk());
  const std::vector<double> roundTrips = SyncAnswerRoundTrips(kSyncAnswers);
  PrintFigure("sync_answer_p50_us", Percentile(roundTrips, 0.50), "us");
  PrintFigure("sync_answer_p99_us", Percentile(roundTrips, 0.99), "us");
}

// What the synchronous wait adds to a reply that comes kReplyDelayMs after the request: the
// time from the reply being due to the operation returning, the switch's own lateness included.
void BenchSyncAnswerDelayed() {
  Switch::Instance().Reset(OneTrunk());
  Switch::Instance().SetReplyMode("lineAnswer", tapi32::ReplyMode::After(kReplyDelayMs));
  std::vector<double> overheads = SyncAnswerRoundTrips(kDelayedAnswers);
  for (double& us : overheads)
    us -= kReplyDelayMs * 1000.0;
  PrintFigure("sync_answer_delayed_overhead_us", Percentile(overheads, 0.50), "us");
}

void BenchAsyncRequests() {
  Switch::Instance().Reset(OneTrunk());
  zvTapiApplication->Initialize();
  std::unique_ptr<TzvTapiLine> line = OpenTrunk();
  line->Options().SetSyncMode(false);
  int offered = 0;
  line->SetOnNewCall([&](TzvTapiLine*, TzvTapiCall*) { ++offered; });
  for (int done = 0; done < kAsyncCalls;) {
    const int batch = std::min(kOfferBatch, kAsyncCalls - done);
    for (int i = 0; i < batch; ++i)
      Switch::Instance().OfferCall(0, 0, Caller(done + i));
    done += batch;
    PumpUntil([&] { return offered >= done; }, "offering calls", kWaitLimit);
  }
  std::vector<TzvTapiCall*> calls(line->Calls().begin(), line->Calls().end());
  if (calls.size() != static_cast<size_t>(kAsyncCalls)) throw std::runtime_error("calls missing");
  int replies = 0;
  int failures = 0;
  line->SetOnTapiReply([&](TObject*, Cardinal, Cardinal code) {
    ++replies;
    if (code != 0) ++failures;
  });
  const Clock::time_point start = Clock::now();
  for (TzvTapiCall* call : calls)
    call->Answer("");
  PumpUntil([&] { return replies >= kAsyncCalls; }, "answer replies", kWaitLimit);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (failures != 0) throw std::runtime_error("answers refused");
  PrintFigure("async_requests_per_s", kAsyncCalls / seconds, "req/s");
  line.reset();
  zvTapiApplication->Shutdown();
}

}  // namespace zvtapi::bench
