// Speed and memory of lines and calls: routing a call-state message on a line with few and with
// many calls, the memory a live call costs, and binding and opening many lines.
//
// Everything runs on the real path: the simulated switch posts to TAPI's queue, the event thread
// moves the message to the locked queue, the main thread (the user-interface thread here)
// dispatches it to the line, and the line updates the call and fires its events.

#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
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

// Call-state routing: the two line sizes, how many state changes one timed round sends, and how
// many rounds each size gets (the median round is reported).
constexpr int kFewCalls = 10;
constexpr int kManyCalls = 10'000;
constexpr int kRoutingMessages = 20'000;
constexpr int kRoutingRounds = 7;
// A round changes each call an even number of times, so that it ends with every call CONNECTED.
static_assert(kRoutingMessages % (2 * kManyCalls) == 0 && kRoutingMessages % (2 * kFewCalls) == 0);
// State changes are sent in batches of this size, each pumped through before the next: the
// queues stay short, as with a switch that reports calls as they change, and the wake-up of
// the event thread is shared by a whole batch.
constexpr int kBatch = 200;
// Calls created for the memory figure, after a few that make one-time allocations happen.
constexpr int kMemoryCalls = 2'000;
constexpr int kMemoryWarmUpCalls = 50;
// Opening: lines per round and rounds (the median round is reported).
constexpr int kOpenLines = 200;
constexpr int kOpenRounds = 3;

// Dispatches until nothing has arrived for a few milliseconds.
void PumpUntilQuiet() {
  Clock::time_point lastMessage = Clock::now();
  while (Clock::now() - lastMessage < std::chrono::milliseconds(5)) {
    if (platform::DispatchPendingMessages() > 0) {
      lastMessage = Clock::now();
    } else {
      std::this_thread::yield();
    }
  }
}

// Lines that report their calls' states and nothing of the line's status: holding a call
// would otherwise add call-count and feature reports to every LINE_CALLSTATE measured.
tapi32::sim::Config VoiceLines(int count, const char* prefix) {
  tapi32::sim::Config config;
  for (int i = 0; i < count; ++i) {
    tapi32::sim::LineConfig line;
    line.name = prefix + std::to_string(i + 1);
    line.lineStates &= ~(LINEDEVSTATE_NUMCALLS | LINEDEVSTATE_OTHER | LINEDEVSTATE_RINGING);
    line.addressStates = LINEADDRESSSTATE_CAPSCHANGE;
    config.lines.push_back(line);
  }
  return config;
}

tapi32::sim::IncomingCall Caller(int n) {
  tapi32::sim::IncomingCall call;
  call.callerNumber = "0301" + std::to_string(1'000'000 + n);
  call.callerName = "Caller " + std::to_string(n);
  call.calledNumber = "200";
  call.calledName = "Trunk";
  return call;
}

// Counts what a line reports; the handlers only count, so that the figures measure the
// library's path and not the program's reaction.
struct LineCounters {
  uint64_t callStates = 0;
  uint64_t callInfos = 0;
  uint64_t otherMessages = 0;  // any line message but LINE_CALLSTATE

  void Attach(TzvTapiLine& line) {
    line.SetOnCallState([this](TzvTapiLine*, TzvTapiCall*, Cardinal) { ++callStates; });
    line.SetOnCallInfo([this](TzvTapiLine*, TzvTapiCall*, Cardinal) { ++callInfos; });
    line.SetOnTapiMessage(
        [this](TObject*, Cardinal messageID, Cardinal, Cardinal, Cardinal, Cardinal) {
          if (messageID != LINE_CALLSTATE) ++otherMessages;
        });
  }
};

// A line of the benchmark's application, bound to a switch device and open.
std::unique_ptr<TzvTapiLine> OpenLine(Integer deviceID) {
  auto line = std::make_unique<TzvTapiLine>(nullptr);
  line->SetDeviceID(deviceID);
  line->SetActive(true);
  if (!line->Active()) throw std::runtime_error("line " + std::to_string(deviceID) + " not open");
  return line;
}

// Offers calls on an open line in batches and waits until the line knows each of them and has
// handled its information report. Returns the switch's call IDs.
std::vector<uint32_t> OfferCalls(uint32_t deviceID, int count, int firstNumber,
                                 LineCounters& counters) {
  Switch& sw = Switch::Instance();
  std::vector<uint32_t> ids;
  ids.reserve(static_cast<size_t>(count));
  for (int done = 0; done < count;) {
    const int batch = std::min(kBatch, count - done);
    const uint64_t target = counters.callInfos + static_cast<uint64_t>(batch);
    for (int i = 0; i < batch; ++i)
      ids.push_back(sw.OfferCall(deviceID, 0, Caller(firstNumber + done + i)));
    PumpUntil([&] { return counters.callInfos >= target; }, "offering calls");
    done += batch;
  }
  return ids;
}

// Makes the calls CONNECTED and waits until the line has reported each change.
void Connect(const std::vector<uint32_t>& ids, LineCounters& counters) {
  const uint64_t target = counters.callStates + ids.size();
  for (uint32_t id : ids)
    Switch::Instance().SetCallState(id, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
  PumpUntil([&] { return counters.callStates >= target; }, "connecting calls");
  PumpUntilQuiet();
}

// Moves connected calls between CONNECTED and ONHOLD, a user putting calls on hold and taking
// them back on a busy trunk. Neither state ends a call, so the call objects stay.
class HoldToggler {
 public:
  // The calls must be CONNECTED.
  explicit HoldToggler(std::vector<uint32_t> ids) : FIds(std::move(ids)), FHeld(FIds.size()) {}

  // Sends `count` state changes, calls chosen round-robin, and waits until the line has fired
  // OnCallState for every one. Returns the microseconds per message.
  double Run(int count, LineCounters& counters) {
    Switch& sw = Switch::Instance();
    const uint64_t others = counters.otherMessages;
    const Clock::time_point start = Clock::now();
    for (int sent = 0; sent < count;) {
      const int batch = std::min(kBatch, count - sent);
      const uint64_t target = counters.callStates + static_cast<uint64_t>(batch);
      for (int i = 0; i < batch; ++i) {
        const size_t k = FNext;
        FNext = (FNext + 1) % FIds.size();
        FHeld[k] = !FHeld[k];
        sw.SetCallState(FIds[k], FHeld[k] ? LINECALLSTATE_ONHOLD : LINECALLSTATE_CONNECTED,
                        FHeld[k] ? 0 : LINECONNECTEDMODE_ACTIVE);
      }
      PumpUntil([&] { return counters.callStates >= target; }, "call states");
      // Messages are never merged or lost on the way: each change fired OnCallState once.
      if (counters.callStates != target) throw std::runtime_error("extra call-state events");
      sent += batch;
    }
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    if (counters.otherMessages != others) {
      throw std::runtime_error("messages other than LINE_CALLSTATE during the timed run");
    }
    return us / count;
  }

  // Takes the held calls back, so that every call is CONNECTED again.
  void Unhold(LineCounters& counters) {
    std::vector<uint32_t> held;
    for (size_t k = 0; k < FIds.size(); ++k) {
      if (FHeld[k]) held.push_back(FIds[k]);
      FHeld[k] = false;
    }
    Connect(held, counters);
  }

 private:
  std::vector<uint32_t> FIds;
  std::vector<bool> FHeld;  // as last sent
  size_t FNext = 0;
};

// Opens the line the benchmark's raw TAPI application uses: another program watching and owning
// calls on the same switch, which takes its messages itself and nothing else.
class RawLineOpen {
 public:
  explicit RawLineOpen(DWORD deviceID) {
    DWORD numDevs = 0;
    DWORD apiVersion = 0x00020002;
    LINEINITIALIZEEXPARAMS params{};
    params.dwTotalSize = sizeof(params);
    params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
    if (lineInitializeExW(&FApp, 0, nullptr, u"zvtapi_bench raw", &numDevs, &apiVersion, &params) !=
        0) {
      throw std::runtime_error("lineInitializeExW failed");
    }
    if (lineOpenW(FApp, deviceID, &FLine, 0x00020002, 0, 0,
                  LINECALLPRIVILEGE_OWNER | LINECALLPRIVILEGE_MONITOR,
                  LINEMEDIAMODE_INTERACTIVEVOICE, nullptr) != 0) {
      lineShutdown(FApp);
      throw std::runtime_error("lineOpenW failed");
    }
  }
  ~RawLineOpen() { lineShutdown(FApp); }
  RawLineOpen(const RawLineOpen&) = delete;
  RawLineOpen& operator=(const RawLineOpen&) = delete;

  // Takes every message waiting in the application's queue.
  void Drain() {
    LINEMESSAGE message{};
    while (lineGetMessage(FApp, &message, 0) == 0) {
    }
  }

 private:
  HLINEAPP FApp = 0;
  HLINE FLine = 0;
};

// Keeps the calling thread, and every thread it starts, on the processor it runs on now, and
// gives the old placement back at the end.
class OneProcessor {
 public:
  OneProcessor() {
    FPinned = sched_getaffinity(0, sizeof(FOld), &FOld) == 0;
    const int cpu = sched_getcpu();
    if (!FPinned || cpu < 0) {
      FPinned = false;
      return;
    }
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    FPinned = sched_setaffinity(0, sizeof(one), &one) == 0;
  }
  ~OneProcessor() {
    if (FPinned) sched_setaffinity(0, sizeof(FOld), &FOld);
  }
  OneProcessor(const OneProcessor&) = delete;
  OneProcessor& operator=(const OneProcessor&) = delete;

 private:
  cpu_set_t FOld{};
  bool FPinned = false;
};

}  // namespace

// The cost of one LINE_CALLSTATE from the switch to OnCallState: the switch's change of the
// call, TAPI's queue, the event thread, the locked queue, the notification, the application's
// routing to the line, the look-up of the call by handle, the call's update and the events. Two
// lines of one application, one with few calls and one with many, take their rounds in turn, so
// that a slow moment of the machine hurts both figures alike; the median round of each is
// reported. A third series sends the many-calls line messages for only a few of its calls: its
// distance from the few-calls figure is what the size of the line costs as such, the rest of the
// many-calls figure is the price of reaching calls whose memory has gone cold.
//
// The main thread and the event thread (started by Initialize) share one processor. On two
// processors a run's speed depends several-fold on how the scheduler places the two threads (a
// hand-over within one processor is cheap, two processors fight over the queue locks), which
// would swamp the difference between the two lines; on one the figure is the processor time the
// path costs.
void BenchCallStateRouting() {
  const OneProcessor pinned;
  Switch::Instance().Reset(VoiceLines(2, "Trunk "));
  zvTapiApplication->Initialize();
  std::vector<double> few;
  std::vector<double> many;
  std::vector<double> fewOfMany;
  {
    std::unique_ptr<TzvTapiLine> small = OpenLine(0);
    std::unique_ptr<TzvTapiLine> large = OpenLine(1);
    LineCounters smallCounters;
    LineCounters largeCounters;
    smallCounters.Attach(*small);
    largeCounters.Attach(*large);
    const std::vector<uint32_t> smallIds = OfferCalls(0, kFewCalls, 0, smallCounters);
    Connect(smallIds, smallCounters);
    const Clock::time_point growStart = Clock::now();
    const std::vector<uint32_t> largeIds = OfferCalls(1, kManyCalls, kFewCalls, largeCounters);
    Connect(largeIds, largeCounters);
    std::printf("# %d calls offered and connected in %.0f ms\n", kManyCalls,
                std::chrono::duration<double, std::milli>(Clock::now() - growStart).count());
    if (small->Calls().Count() != kFewCalls || large->Calls().Count() != kManyCalls) {
      throw std::runtime_error("calls missing on the lines");
    }
    HoldToggler fewToggler(smallIds);
    HoldToggler manyToggler(largeIds);
    HoldToggler fewOfManyToggler(
        std::vector<uint32_t>(largeIds.begin(), largeIds.begin() + kFewCalls));
    // One round each to warm up, then the counted rounds. The many-calls toggler and the
    // few-of-many toggler share calls; each hands them over all CONNECTED.
    for (int round = -1; round < kRoutingRounds; ++round) {
      const double f = fewToggler.Run(kRoutingMessages, smallCounters);
      const double m = manyToggler.Run(kRoutingMessages, largeCounters);
      manyToggler.Unhold(largeCounters);
      const double h = fewOfManyToggler.Run(kRoutingMessages, largeCounters);
      fewOfManyToggler.Unhold(largeCounters);
      if (round < 0) continue;
      few.push_back(f);
      many.push_back(m);
      fewOfMany.push_back(h);
    }
    const Clock::time_point closeStart = Clock::now();
    large.reset();
    std::printf("# line with %d calls closed and freed in %.0f ms\n", kManyCalls,
                std::chrono::duration<double, std::milli>(Clock::now() - closeStart).count());
  }
  zvTapiApplication->Shutdown();
  auto printRounds = [](const char* what, const std::vector<double>& rounds) {
    std::printf("# call state us/msg, %s:", what);
    for (double v : rounds)
      std::printf(" %.3f", v);
    std::printf(" (median %.3f)\n", Median(rounds));
  };
  printRounds("10 calls", few);
  printRounds("10000 calls", many);
  printRounds("10000 calls, messages for 10 of them", fewOfMany);
  const double medianFew = Median(few);
  const double medianMany = Median(many);
  PrintFigure("callstate_us_per_msg_10", medianFew, "us", 3);
  PrintFigure("callstate_us_per_msg_10000", medianMany, "us", 3);
  PrintFigure("callstate_scaling", medianMany / medianFew, "x", 3);
}

// The heap one live call costs the library: the call object with everything it owns (party
// objects, parameters, monitors, related devices), its cached LINECALLINFO and LINECALLSTATUS
// (filled by reading fields of both), and the line's bookkeeping of it (call list and its
// indexes, the set of call objects). Three lines get the same number of calls:
//   switch only   a line nobody has open: the switch's own record of each call;
//   with TAPI     a line a raw TAPI application has open as owner and monitor: adds TAPI's
//                 call handle and bookkeeping for one application;
//   with library  a line the library has open: adds what the library keeps.
// The figure is "with library" minus "with TAPI": the library's share alone. Malloc's own
// per-block overhead is not counted (uordblks counts the blocks handed out).
void BenchCallMemory() {
  Switch& sw = Switch::Instance();
  sw.Reset(VoiceLines(3, "Line "));
  zvTapiApplication->Initialize();
  auto measure = [](const std::function<void(int count, int firstNumber)>& offer) {
    offer(kMemoryWarmUpCalls, 0);
    const size_t before = HeapInUse();
    offer(kMemoryCalls, kMemoryWarmUpCalls);
    const size_t after = HeapInUse();
    return (static_cast<double>(after) - static_cast<double>(before)) / kMemoryCalls;
  };
  const double switchOnly = measure([&](int count, int first) {
    for (int i = 0; i < count; ++i)
      sw.OfferCall(0, 0, Caller(first + i));
  });
  double withTapi = 0;
  {
    RawLineOpen raw(1);
    withTapi = measure([&](int count, int first) {
      for (int i = 0; i < count; ++i) {
        sw.OfferCall(1, 0, Caller(first + i));
        // The messages of each offer are taken at once: a queue holding them would be counted.
        raw.Drain();
      }
    });
  }
  double withLibrary = 0;
  {
    std::unique_ptr<TzvTapiLine> line = OpenLine(2);
    LineCounters counters;
    counters.Attach(*line);
    withLibrary = measure([&](int count, int first) {
      OfferCalls(2, count, first, counters);
      PumpUntilQuiet();
      uint64_t sum = 0;
      for (TzvTapiCall* call : line->Calls()) {
        sum += call->Info()->Origin() + call->Info()->CallerID().size() +
               call->CallerID()->Name().size() + call->Status()->CallFeatures();
      }
      if (sum == 0) throw std::runtime_error("no call information");
    });
    if (line->Calls().Count() != kMemoryWarmUpCalls + kMemoryCalls) {
      throw std::runtime_error("calls missing on the line");
    }
  }
  zvTapiApplication->Shutdown();
  std::printf("# heap per call: switch only %.0f B, with TAPI %.0f B, with library %.0f B\n",
              switchOnly, withTapi, withLibrary);
  PrintFigure("bytes_per_call", withLibrary - withTapi, "B");
}

// Binding a line to a device and opening it (SetDeviceID and SetActive: capabilities,
// addresses, lineOpenW with the chosen privileges, the status messages, adopting the calls
// already there, of which there are none), per line, over 200 lines of one switch. Making the
// component and closing it are outside the timed part.
void BenchLineOpen() {
  Switch::Instance().Reset(VoiceLines(kOpenLines, "Extension "));
  zvTapiApplication->Initialize();
  std::vector<double> perLine;
  for (int round = 0; round < kOpenRounds; ++round) {
    std::vector<std::unique_ptr<TzvTapiLine>> lines;
    for (int i = 0; i < kOpenLines; ++i)
      lines.push_back(std::make_unique<TzvTapiLine>(nullptr));
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kOpenLines; ++i) {
      lines[static_cast<size_t>(i)]->SetDeviceID(i);
      lines[static_cast<size_t>(i)]->SetActive(true);
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    for (const auto& line : lines) {
      if (!line->Active()) throw std::runtime_error("a line did not open");
    }
    perLine.push_back(ms / kOpenLines);
    lines.clear();
    PumpUntilQuiet();
  }
  zvTapiApplication->Shutdown();
  std::printf("# line open ms/line:");
  for (double v : perLine)
    std::printf(" %.3f", v);
  std::printf("\n");
  PrintFigure("line_open_ms", Median(perLine), "ms", 3);
}

}  // namespace zvtapi::bench
