// A program that forgets to shut TAPI down: it starts Qt and the library's Qt message pump, opens
// a line on a busy demo switch, waits for calls to arrive and returns from main with the line
// still open and the event thread still posting. The library then shuts TAPI down from a static
// destructor, after the thread-locals of the main thread and Qt's later globals are gone; the
// exit test runs this program as a child process and requires a clean exit.
//
//   exit_child <pump>    where <pump> says how long the pump lives:
//     inner   a local destroyed before the QApplication
//     outer   destroyed after the QApplication
//     leaked  never destroyed
#include <QApplication>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/qt_message_pump.h"
#include "app_test_support.h"
#include "tapi/line.h"
#include "tapi32/sim/config.h"

namespace {

// What the program never frees, reachable so that a leak checker does not count it.
zvtapi::TzvTapiLine* gLine = nullptr;
ringwatch::QtMessagePump* gLeakedPump = nullptr;

// Traffic fast enough that calls come and go while the program ends.
tapi32::sim::Config BusySwitch() {
  tapi32::sim::Config config = tapi32::sim::LiveDemoConfig();
  config.traffic.intervalMs = 20;
  return config;
}

// Opens the first line (never freed, as a program that forgets to clean up leaves it) and runs
// the Qt loop until it has seen two calls.
bool OpenLineAndSeeCalls() {
  auto* line = gLine = new zvtapi::TzvTapiLine(nullptr);
  int calls = 0;
  line->SetDeviceID(0);
  line->SetMediaModes(LINEMEDIAMODE_INTERACTIVEVOICE);
  line->Privileges().SetMonitor(true);
  line->SetOnNewCall([&calls](zvtapi::TzvTapiLine*, zvtapi::TzvTapiCall*) { ++calls; });
  line->Open();
  const bool seen = ringwatch::testing::WaitUntil([&calls] { return calls >= 2; });
  line->SetOnNewCall(nullptr);
  return seen;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const char* mode = argv[1];
  ringwatch::testing::PrepareHeadlessQt();
  ringwatch::testing::Switch().Reset(BusySwitch());
  std::unique_ptr<ringwatch::QtMessagePump> outerPump;
  QApplication app(argc, argv);
  std::unique_ptr<ringwatch::QtMessagePump> innerPump;
  if (std::strcmp(mode, "inner") == 0) {
    innerPump = std::make_unique<ringwatch::QtMessagePump>();
  } else if (std::strcmp(mode, "outer") == 0) {
    outerPump = std::make_unique<ringwatch::QtMessagePump>();
  } else if (std::strcmp(mode, "leaked") == 0) {
    gLeakedPump = new ringwatch::QtMessagePump();
  } else {
    return 2;
  }
  if (!OpenLineAndSeeCalls()) {
    std::fprintf(stderr, "exit_child: no calls arrived\n");
    return 1;
  }
  return 0;
}
