// Ringwatch's console monitor: lists the line and phone devices the library sees and prints
// every TAPI message that reaches the user-interface thread, until Ctrl+C.
#include <csignal>
#include <cstdio>
#include <thread>

#include "platform/message_window.h"
#include "tapi/application.h"

using namespace zvtapi;

namespace {

void PrintDevices(const char* kind, const TStringList& names) {
  std::printf("%s devices: %d\n", kind, names.Count());
  for (int i = 0; i < names.Count(); ++i) {
    std::printf("  %d: %s (permanent ID %u)\n", i, names.Strings(i).c_str(), names.Objects(i));
  }
}

// Ctrl+C and SIGTERM end the message loop from a thread of their own: a signal handler may not
// post messages.
void WatchStopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([signals] {
    int received = 0;
    sigwait(&signals, &received);
    platform::PostQuitMessage(0);
  }).detach();
}

}  // namespace

int main() {
  WatchStopSignals();
  TzvTapiApplication& appl = *zvTapiApplication;
  appl.SetOnError([](TObject*, const std::exception& e, TObject*) {
    std::printf("error: %s\n", e.what());
  });
  appl.SetOnTapiMessage([](TObject*, Cardinal id, Cardinal device, Cardinal ci, Cardinal p1,
                           Cardinal p2, Cardinal p3) {
    std::printf("message %u: device %u, callback instance %u, params %X %X %X\n", id, device, ci,
                p1, p2, p3);
    std::fflush(stdout);
  });
  try {
    appl.Initialize();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ringwatch: TAPI could not be initialised: %s\n", e.what());
    return 1;
  }
  PrintDevices("Line", appl.LineDevices());
  PrintDevices("Phone", appl.PhoneDevices());
  std::printf("Watching for TAPI messages; press Ctrl+C to stop.\n");
  std::fflush(stdout);
  const int code = platform::RunMessageLoop();
  appl.Shutdown();
  return code;
}
