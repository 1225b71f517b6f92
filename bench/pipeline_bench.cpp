// Speed and memory of the message path from TAPI to the user-interface thread. Messages come from
// the simulated switch on a producer thread. The producer keeps at most kMaxInFlight messages ahead
// of the consumer, as a real provider and a responsive program would, so that the figures measure
// the path and not the growth of a backlog.

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/benchmarks.h"
#include "bench/message_flow.h"
#include "platform/message_window.h"
#include "tapi/application.h"
#include "tapi32/sim/switch.h"
#include "tapi32/tapi.h"

namespace zvtapi::bench {
namespace {

constexpr uint64_t kThroughputMessages = 500'000;
constexpr int kThroughputRuns = 7;
// A slow machine gets fewer runs (at least one) rather than a run time beyond a minute.
constexpr std::chrono::seconds kThroughputBudget{25};
constexpr uint64_t kWarmUpMessages = 50'000;
constexpr uint64_t kMemoryMessages = 1'000'000;

// Posts `count` messages to the application from a thread of its own. None of them can be
// merged on the way: device-specific messages with callback instance 0 are routed to nobody
// and never folded into each other.
class Producer {
 public:
  Producer(HLINEAPP app, uint64_t count, FlowControl& flow)
      : FThread([this, app, count, &flow] { Run(app, count, flow); }) {}
  ~Producer() { Join(); }
  Producer(const Producer&) = delete;
  Producer& operator=(const Producer&) = delete;

  void Join() {
    if (FThread.joinable()) FThread.join();
  }
  // When the first message was posted; valid after Join().
  Clock::time_point Start() const { return FStart; }
  bool Failed() const { return FFailed.load(); }

 private:
  void Run(HLINEAPP app, uint64_t count, FlowControl& flow) {
    tapi32::sim::Switch& sw = tapi32::sim::Switch::Instance();
    FStart = Clock::now();
    for (uint64_t i = 0; i < count && flow.WaitForRoom(i); ++i) {
      const LINEMESSAGE message{0, LINE_DEVSPECIFIC, 0, static_cast<DWORD>(i), 0, 0};
      if (!sw.PostLineMessage(app, message)) {
        FFailed.store(true);
        return;
      }
    }
  }

  Clock::time_point FStart{};
  std::atomic<bool> FFailed{false};
  std::thread FThread;
};

long ResidentKiB() {
  std::ifstream statm("/proc/self/statm");
  long sizePages = 0;
  long residentPages = 0;
  statm >> sizePages >> residentPages;
  return residentPages * (sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The full path: TAPI queue -> event thread -> locked queue -> notification window ->
// ProcessNextMessage -> OnTapiMessage, with the main thread as the user-interface thread.

double RunPipeline(uint64_t count) {
  zvtapi::TzvTapiApplication& appl = *zvtapi::zvTapiApplication;
  FlowControl flow;
  Clock::time_point lastHandled{};
  appl.SetOnTapiMessage([&](zvtapi::TObject*, zvtapi::Cardinal, zvtapi::Cardinal, zvtapi::Cardinal,
                            zvtapi::Cardinal, zvtapi::Cardinal, zvtapi::Cardinal) {
    if (flow.Consumed() == count) lastHandled = Clock::now();
  });
  Producer producer(appl.LineApp(), count, flow);
  StallGuard stall(flow);
  try {
    while (flow.ConsumedCount() < count && !producer.Failed()) {
      if (platform::DispatchPendingMessages() == 0) {
        stall.Check("pipeline");
        // Nothing pending: let the event thread and the producer have the processor.
        std::this_thread::yield();
      }
    }
  } catch (...) {
    appl.SetOnTapiMessage(nullptr);
    throw;
  }
  producer.Join();
  appl.SetOnTapiMessage(nullptr);
  // Leftover notifications (for example a timer tick) must not spill into the next run.
  while (platform::DispatchPendingMessages() > 0) {
  }
  if (producer.Failed()) throw std::runtime_error("posting to the library's application failed");
  return static_cast<double>(count) / Seconds(producer.Start(), lastHandled);
}

namespace {

// A TAPI application of the benchmark's own, without the library, read through its event.
class RawLineApp {
 public:
  RawLineApp() {
    DWORD numDevs = 0;
    DWORD apiVersion = 0x00020002;
    LINEINITIALIZEEXPARAMS params{};
    params.dwTotalSize = sizeof(params);
    params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
    if (lineInitializeExW(&FApp, 0, nullptr, u"zvtapi_bench raw", &numDevs, &apiVersion, &params) !=
        0) {
      throw std::runtime_error("lineInitializeExW failed");
    }
  }
  ~RawLineApp() { lineShutdown(FApp); }
  RawLineApp(const RawLineApp&) = delete;
  RawLineApp& operator=(const RawLineApp&) = delete;
  HLINEAPP Handle() const { return FApp; }

 private:
  HLINEAPP FApp = 0;
};

// The floor: one thread taking the same messages straight from TAPI with lineGetMessage.
double RunRaw(uint64_t count) {
  RawLineApp app;
  FlowControl flow;
  Clock::time_point lastTaken{};
  Producer producer(app.Handle(), count, flow);
  StallGuard stall(flow);
  LINEMESSAGE message{};
  while (flow.ConsumedCount() < count && !producer.Failed()) {
    if (lineGetMessage(app.Handle(), &message, 100) != 0) {
      stall.Check("raw");
    } else if (flow.Consumed() == count) {
      lastTaken = Clock::now();
    }
  }
  producer.Join();
  if (producer.Failed()) throw std::runtime_error("posting to the raw application failed");
  return static_cast<double>(count) / Seconds(producer.Start(), lastTaken);
}

}  // namespace

// Raw and pipeline runs alternate so that a noisy moment on the machine hurts both alike. The
// median run of each is reported: how the threads land on the processors changes a run's speed
// by a factor of several (two threads sharing one core hand over without contention, threads
// on two cores fight over the locks), and the best run would report whichever placement
// happened to be luckiest for that figure.
void BenchMessageThroughput() {
  zvtapi::zvTapiApplication->Initialize();
  std::vector<double> raw;
  std::vector<double> pipeline;
  const Clock::time_point deadline = Clock::now() + kThroughputBudget;
  for (int run = 0; run < kThroughputRuns && (run == 0 || Clock::now() < deadline); ++run) {
    raw.push_back(RunRaw(kThroughputMessages));
    pipeline.push_back(RunPipeline(kThroughputMessages));
    std::printf("# run %d: raw %.0f msg/s, pipeline %.0f msg/s\n", run + 1, raw.back(),
                pipeline.back());
  }
  zvtapi::zvTapiApplication->Shutdown();
  std::printf("# best: raw %.0f msg/s, pipeline %.0f msg/s\n",
              *std::max_element(raw.begin(), raw.end()),
              *std::max_element(pipeline.begin(), pipeline.end()));
  const double medianRaw = Median(raw);
  const double medianPipeline = Median(pipeline);
  PrintFigure("pipeline_msgs_per_s", medianPipeline, "msg/s");
  PrintFigure("raw_msgs_per_s", medianRaw, "msg/s");
  PrintFigure("pipeline_ratio", medianPipeline / medianRaw, "x", 3);
}

// Memory that stays behind after a long stream of messages. The warm-up run makes the one-time
// allocations (queue storage at its working size, thread stacks, lazily built tables) happen
// before the first reading.
void BenchPipelineMemory() {
  zvtapi::zvTapiApplication->Initialize();
  RunPipeline(kWarmUpMessages);
  // glibc keeps freed memory in its arenas; a long-running program's allocator settles to what
  // malloc_trim leaves, so both readings are taken after trimming.
  malloc_trim(0);
  const long before = ResidentKiB();
  RunPipeline(kMemoryMessages);
  malloc_trim(0);
  const long after = ResidentKiB();
  zvtapi::zvTapiApplication->Shutdown();
  PrintFigure("pipeline_rss_growth_kib", static_cast<double>(after - before), "KiB");
}

}  // namespace zvtapi::bench
