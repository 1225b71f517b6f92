// ringwatch_gui_bench: what one refresh of a call's row costs in the monitor window, with 10
// and with 1,000 rows in the list, and how that scales. Runs offscreen unless the environment
// chose a Qt platform; prints "BENCH <name> <value> <unit>" lines.
#include <QApplication>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/qt_message_pump.h"
#include "bench/window_support.h"
#include "tapi/application.h"
#include "tapi32/sim/switch.h"
#include "tests/app/headless_qt.h"

namespace {

using ringwatch::TForm1;
using ringwatch::bench::Require;
using ringwatch::bench::WaitUntil;
using zvtapi::TzvTapiCall;
using zvtapi::TzvTapiLine;

// Microseconds per UpdateCallItem for the call in the last of `rows` rows: the best of several
// batches, so that a busy machine's interruptions do not count.
double UpdateCost(int rows) {
  tapi32::sim::Config config;
  tapi32::sim::LineConfig line;
  line.name = "Reception";
  config.lines.push_back(line);
  tapi32::sim::Switch& sw = tapi32::sim::Switch::Instance();
  sw.Reset(config);

  auto form = std::make_unique<TForm1>();
  form->show();
  WaitUntil([&] { return !form->StatusBar1->PanelText(1).isEmpty(); }, "the scan did not run");
  Require(form->Lines().Count() == 1, "the line did not open");
  auto* window_line = static_cast<TzvTapiLine*>(form->Lines().Get(0));
  for (int i = 0; i < rows; ++i) {
    tapi32::sim::IncomingCall call;
    call.callerNumber = "0301 555 " + std::to_string(1000 + i);
    call.callerName = "Caller " + std::to_string(i);
    call.calledNumber = "200";
    call.calledName = "Reception";
    sw.OfferCall(0, 0, call);
  }
  QTreeWidget* list = form->ListView1;
  WaitUntil(
      [&] {
        return list->topLevelItemCount() == rows &&
               !list->topLevelItem(rows - 1)->text(3).isEmpty();
      },
      "the calls were not listed");

  TzvTapiCall* call = form->CallOfRow(rows - 1);
  Require(call != nullptr, "no call in the last row");
  constexpr int kBatch = 20000;
  double best = 1e300;
  for (int round = 0; round < 7; ++round) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kBatch; ++i)
      form->zvTapiLine1CallInfo(window_line, call, 0);
    const std::chrono::duration<double, std::micro> spent =
        std::chrono::steady_clock::now() - start;
    best = std::min(best, spent.count() / kBatch);
  }
  Require(form->RowOfCall(call) == rows - 1, "the row moved");

  form.reset();
  zvtapi::zvTapiApplication->Shutdown();
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  ringwatch::testing::PrepareHeadlessQt();
  QApplication app(argc, argv);
  int result = 0;
  {
    ringwatch::QtMessagePump pump;
    try {
      const double small = UpdateCost(10);
      const double large = UpdateCost(1000);
      std::printf("BENCH gui_update_us_10 %.3f us\n", small);
      std::printf("BENCH gui_update_us_1000 %.3f us\n", large);
      std::printf("BENCH gui_update_scaling %.2f x\n", large / small);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "ringwatch_gui_bench: %s\n", e.what());
      result = 1;
    }
  }
  return result;
}
