// ringwatch_soak_bench: the monitor window over long runs, offscreen unless the environment chose
// a Qt platform; prints "BENCH <name> <value> <unit>" lines.
//
//   calls   100,000 calls (ZVTAPI_SOAK_CALLS) through one line of the window: offered, answered,
//           hung up by the caller, dropped and freed by the library. The resident memory after a
//           warm-up and after the run: BENCH soak_calls_rss_growth_kib.
//   window  10 minutes of the demo office's traffic (ZVTAPI_SOAK_MINUTES) on the switch's clock
//           sped up 50 times: BENCH soak_window_rss_growth_kib, and the longest time from the
//           switch putting a call into a state to the window's row showing it:
//           BENCH soak_window_max_event_latency_ms.
//
// Without arguments both run; with arguments only the named ones.
#include <unistd.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/qt_message_pump.h"
#include "bench/window_support.h"
#include "tapi/application.h"
#include "tapi/call.h"
#include "tapi32/sim/config.h"
#include "tapi32/sim/switch.h"
#include "tests/app/headless_qt.h"

namespace {

using ringwatch::TForm1;
using ringwatch::bench::Require;
using ringwatch::bench::WaitUntil;
using tapi32::sim::Switch;
using zvtapi::TzvTapiCall;

// The window's state column (see main_window.cpp).
constexpr int kColumnState = 2;

// Calls per round of the calls soak: offered together, so that the library's half-second timers
// (dropping a disconnected call, freeing an idle one) run once per round and not once per call.
constexpr int kRoundCalls = 1'000;
constexpr int kWarmUpCalls = 2 * kRoundCalls;
// The demo traffic's speed-up, and the demo time before the window soak's first memory figure.
constexpr uint32_t kSpeedUp = 50;
constexpr double kWarmUpMinutes = 1.0;

double EnvNumber(const char* name, double fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  Require(*end == '\0' && value > 0, std::string(name) + " is not a positive number");
  return value;
}

void PrintFigure(const char* name, double value, const char* unit) {
  std::printf("BENCH %s %.0f %s\n", name, value, unit);
  std::fflush(stdout);
}

// The process's resident set, in KiB.
long ResidentKiB() {
  std::ifstream statm("/proc/self/statm");
  long size = 0;
  long resident = 0;
  statm >> size >> resident;
  Require(static_cast<bool>(statm), "/proc/self/statm is unreadable");
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The window on the switch as it is configured now, after its first scan.
std::unique_ptr<TForm1> OpenWindow() {
  auto form = std::make_unique<TForm1>();
  form->show();
  WaitUntil([&] { return !form->StatusBar1->PanelText(1).isEmpty(); }, "the first scan");
  Require(form->Lines().Count() > 0, "the window opened no line");
  return form;
}

void CloseWindow(std::unique_ptr<TForm1>& form) {
  form.reset();
  zvtapi::zvTapiApplication->Shutdown();
}

// One round of the calls soak: `count` callers ring line 0 and the window lists them, the calls
// are answered, the callers hang up, and the library drops and frees them; the rows go with them.
void CallRound(TForm1& form, int count, int& nextCaller) {
  Switch& sw = Switch::Instance();
  QTreeWidget* list = form.ListView1;
  std::vector<uint32_t> ids;
  ids.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i, ++nextCaller) {
    tapi32::sim::IncomingCall call;
    call.callerNumber = "0301 " + std::to_string(1'000'000 + nextCaller % 1'000'000);
    call.callerName = "Caller " + std::to_string(nextCaller);
    call.calledNumber = "200";
    call.calledName = "Reception";
    ids.push_back(sw.OfferCall(0, 0, call));
  }
  WaitUntil([&] { return list->topLevelItemCount() == count; }, "the calls were not listed");
  for (uint32_t id : ids)
    sw.SetCallState(id, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
  for (uint32_t id : ids)
    sw.RemoteHangUp(id);
  WaitUntil([&] { return list->topLevelItemCount() == 0; }, "the calls were not freed");
  Require(sw.CallsOnLine(0).empty(), "calls left on the switch");
}

void SoakCalls() {
  const int calls = static_cast<int>(EnvNumber("ZVTAPI_SOAK_CALLS", 100'000));
  tapi32::sim::Config config;
  tapi32::sim::LineConfig line;
  line.name = "Reception";
  config.lines.push_back(line);
  Switch::Instance().Reset(config);
  auto form = OpenWindow();
  int nextCaller = 0;
  while (nextCaller < kWarmUpCalls)
    CallRound(*form, kRoundCalls, nextCaller);
  const long before = ResidentKiB();
  const auto start = std::chrono::steady_clock::now();
  for (int done = 0; done < calls; done += kRoundCalls)
    CallRound(*form, std::min(kRoundCalls, calls - done), nextCaller);
  const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
  const long after = ResidentKiB();
  CloseWindow(form);
  std::printf("# %d calls in %.0f s; resident %ld KiB after the warm-up, %ld KiB after the run\n",
              calls, spent.count(), before, after);
  PrintFigure("soak_calls_rss_growth_kib", static_cast<double>(after - before), "KiB");
}

std::chrono::system_clock::time_point ToTimePoint(const SYSTEMTIME& t) {
  std::tm tm{};
  tm.tm_year = t.wYear - 1900;
  tm.tm_mon = t.wMonth - 1;
  tm.tm_mday = t.wDay;
  tm.tm_hour = t.wHour;
  tm.tm_min = t.wMinute;
  tm.tm_sec = t.wSecond;
  return std::chrono::system_clock::from_time_t(timegm(&tm)) +
         std::chrono::milliseconds(t.wMilliseconds);
}

// Watches the window's state column: each time a row's state text changes to the state the
// switch has the call in, the time since the switch put the call into that state is a latency.
// A row that shows a state the switch has already left is behind; its latency counts when it
// catches up.
class LatencyWatch {
 public:
  explicit LatencyWatch(TForm1& form) : FForm(form) {
    QObject::connect(form.ListView1->model(), &QAbstractItemModel::dataChanged, form.ListView1,
                     [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                       if (topLeft.column() > kColumnState || bottomRight.column() < kColumnState)
                         return;
                       for (int row = topLeft.row(); row <= bottomRight.row(); ++row)
                         Measure(row);
                     });
  }

  double MaxMs() const { return FMaxMs; }
  size_t Samples() const { return FLatencies.size(); }
  double Percentile(double p) const {
    if (FLatencies.empty()) return 0;
    std::vector<double> sorted = FLatencies;
    std::sort(sorted.begin(), sorted.end());
    return sorted[static_cast<size_t>(p * static_cast<double>(sorted.size() - 1))];
  }

 private:
  void Measure(int row) {
    const auto now = std::chrono::system_clock::now();
    TzvTapiCall* call = FForm.CallOfRow(row);
    if (call == nullptr || !call->Valid()) return;
    Switch& sw = Switch::Instance();
    const uint32_t id = sw.CallIdOf(call->Handle());
    if (id == 0 || !sw.HasCall(id)) return;
    const tapi32::CallData data = sw.CallSnapshot(id);
    if (data.state != call->State()) return;
    const double ms =
        std::chrono::duration<double, std::milli>(now - ToTimePoint(data.stateEntryTime)).count();
    FLatencies.push_back(ms);
    FMaxMs = std::max(FMaxMs, ms);
  }

  TForm1& FForm;
  std::vector<double> FLatencies;
  double FMaxMs = 0;
};

// Runs Qt's own event loop for a while, as the program does.
void RunFor(std::chrono::milliseconds wall) {
  QEventLoop loop;
  QTimer::singleShot(wall, &loop, &QEventLoop::quit);
  loop.exec();
}

void SoakWindow() {
  const double minutes = EnvNumber("ZVTAPI_SOAK_MINUTES", 10);
  auto wall = [](double demoMinutes) {
    return std::chrono::milliseconds(static_cast<long>(demoMinutes * 60'000 / kSpeedUp));
  };
  Switch& sw = Switch::Instance();
  sw.SpeedUpClock(kSpeedUp);
  sw.Reset(tapi32::sim::LiveDemoConfig());
  auto form = OpenWindow();
  RunFor(wall(kWarmUpMinutes));
  const long before = ResidentKiB();
  const uint32_t callsBefore = sw.TrafficCalls();
  LatencyWatch watch(*form);
  RunFor(wall(minutes));
  const long after = ResidentKiB();
  const uint32_t calls = sw.TrafficCalls() - callsBefore;
  CloseWindow(form);
  sw.SpeedUpClock(1);
  Require(watch.Samples() > 0, "no row changed its state");
  std::printf(
      "# %.1f demo minutes at %ux: %u calls, %zu state changes seen in the window "
      "(median %.1f ms, 99th percentile %.1f ms); resident %ld KiB after the warm-up, %ld KiB "
      "after the run\n",
      minutes, kSpeedUp, calls, watch.Samples(), watch.Percentile(0.5), watch.Percentile(0.99),
      before, after);
  PrintFigure("soak_window_rss_growth_kib", static_cast<double>(after - before), "KiB");
  PrintFigure("soak_window_max_event_latency_ms", watch.MaxMs(), "ms");
}

}  // namespace

int main(int argc, char** argv) {
  ringwatch::testing::PrepareHeadlessQt();
  auto chosen = [&](const char* name) {
    if (argc < 2) return true;
    for (int i = 1; i < argc; ++i) {
      if (std::strcmp(argv[i], name) == 0) return true;
    }
    return false;
  };
  QApplication app(argc, argv);
  int result = 0;
  {
    ringwatch::QtMessagePump pump;
    try {
      if (chosen("calls")) SoakCalls();
      if (chosen("window")) SoakWindow();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "ringwatch_soak_bench: %s\n", e.what());
      result = 1;
    }
  }
  return result;
}
