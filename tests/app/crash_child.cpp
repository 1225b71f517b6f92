// A Ringwatch stand-in that crashes: it starts Qt and the crash reporter as Ringwatch does, parks
// a second thread, and then dereferences a null pointer inside an event handler. The crash
// reporter tests run it as a child process and read the report it leaves.
//
//   crash_child <report directory> [<stacks helper>]    (the helper defaults to this program)
#include <QApplication>
#include <QTimer>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "app/crash/reporter.h"
#include "app/crash/stacks.h"

namespace {

std::mutex gParkLock;
std::condition_variable gParked;
bool gWorkerReady = false;

// Stays until the process ends, so that the report has a second thread with a known frame.
[[gnu::noinline]] void ParkedWorker() {
  std::unique_lock lock(gParkLock);
  gWorkerReady = true;
  gParked.notify_all();
  gParked.wait(lock, [] { return false; });
}

// The pointer is read through volatile, so the compiler cannot see the null and drop the store.
// The undefined-behaviour checks stay out of it: in the sanitizer build they would catch the
// null store and end the process with an exit code before the fault reaches the reporter.
[[gnu::noinline, gnu::no_sanitize("undefined")]] void CrashInsideHandler() {
  volatile int* volatile nowhere = nullptr;
  *nowhere = 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], ringwatch::crash::kStacksHelperArgument) == 0)
    return ringwatch::crash::RunStacksHelper(argc, argv);
  if (argc < 2) return 2;
  ringwatch::crash::TRingwatchApplication app(argc, argv);
  ringwatch::crash::TCrashReporterOptions options;
  options.Directory = argv[1];
  if (argc >= 3) options.HelperPath = argv[2];
  options.WatchdogLimit = std::chrono::milliseconds(0);
  ringwatch::crash::TCrashReporter reporter(std::move(options));
  std::thread worker(ParkedWorker);
  {
    std::unique_lock lock(gParkLock);
    gParked.wait(lock, [] { return gWorkerReady; });
  }
  QTimer::singleShot(0, [] { CrashInsideHandler(); });
  const int code = QApplication::exec();
  worker.detach();
  return code;
}
