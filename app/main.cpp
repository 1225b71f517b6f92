// Ringwatch's entry point: Qt, the crash reporter, the main window and its event loop; TAPI is
// shut down once the window and its lines are gone. SIGTERM and SIGINT (a desktop session's
// logout, Ctrl+C) end the program the same way closing the window does. Started with
// --crash-stacks, Ringwatch is the crash reporter's helper that reads another Ringwatch's
// stacks.
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "app/crash/reporter.h"
#include "app/crash/stacks.h"
#include "app/crash/watchdog.h"
#include "app/main_window.h"
#include "app/qt_message_pump.h"
#include "tapi/application.h"

namespace {

int gSignalPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int signal) {
  // Only async-signal-safe work here: one byte into the pipe; Qt reads it on its own thread.
  const int savedErrno = errno;
  const char byte = static_cast<char>(signal);
  [[maybe_unused]] const ssize_t written = write(gSignalPipe[1], &byte, 1);
  errno = savedErrno;
}

// Turns SIGTERM and SIGINT into a quit of the Qt event loop for as long as it exists.
class StopSignals {
 public:
  StopSignals() {
    if (pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
      std::perror("ringwatch: pipe2");
      return;
    }
    FNotifier = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(FNotifier.get(), &QSocketNotifier::activated, [] {
      char buffer[16];
      while (read(gSignalPipe[0], buffer, sizeof buffer) > 0) {
      }
      QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, &FOldTerm);
    sigaction(SIGINT, &action, &FOldInt);
    FInstalled = true;
  }
  ~StopSignals() {
    if (FInstalled) {
      sigaction(SIGTERM, &FOldTerm, nullptr);
      sigaction(SIGINT, &FOldInt, nullptr);
    }
    FNotifier.reset();
    for (int& fd : gSignalPipe) {
      if (fd >= 0) close(fd);
      fd = -1;
    }
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  std::unique_ptr<QSocketNotifier> FNotifier;
  struct sigaction FOldTerm {};
  struct sigaction FOldInt {};
  bool FInstalled = false;
};

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// Qt aborts when its platform plugin finds no display; say so plainly instead.
bool DisplayAvailable() {
  const std::string platform = Env("QT_QPA_PLATFORM");
  const std::string plugin = platform.substr(0, platform.find(':'));
  if (plugin == "xcb") return !Env("DISPLAY").empty();
  if (plugin.rfind("wayland", 0) == 0) return !Env("WAYLAND_DISPLAY").empty();
  // Any other plugin named explicitly (offscreen, vnc, eglfs, ...) brings its own output.
  if (!plugin.empty()) return true;
  return !Env("DISPLAY").empty() || !Env("WAYLAND_DISPLAY").empty();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], ringwatch::crash::kStacksHelperArgument) == 0)
    return ringwatch::crash::RunStacksHelper(argc, argv);
  if (!DisplayAvailable()) {
    std::fprintf(stderr,
                 "ringwatch: no display available (set DISPLAY or QT_QPA_PLATFORM=offscreen)\n");
    return 2;
  }
  ringwatch::crash::TRingwatchApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Ringwatch"));
  int exitCode = 0;
  {
    ringwatch::QtMessagePump pump;
    StopSignals stopSignals;
    ringwatch::crash::TCrashReporterOptions options;
    options.WatchdogLimit = ringwatch::crash::WatchdogLimitFromEnvironment();
    ringwatch::crash::TCrashReporter reporter(std::move(options));
    pump.SetExceptionHandler(
        [&reporter](std::exception_ptr error) { reporter.ReportException(error); });
    {
      auto Form1 = std::make_unique<ringwatch::TForm1>();
      reporter.SetWindow(Form1.get());
      Form1->show();
      // Once the window is up, so that the offer appears in front of it.
      QTimer::singleShot(0, &reporter, [&reporter] { reporter.OfferSavedReports(); });
      exitCode = QApplication::exec();
      reporter.SetWindow(nullptr);
    }  // the window frees its lines here, while the application object still exists
    pump.SetExceptionHandler(nullptr);
    try {
      if (zvtapi::zvTapiApplication) zvtapi::zvTapiApplication->Shutdown();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "ringwatch: TAPI shutdown failed: %s\n", e.what());
    }
  }  // the library's messages run on its own loop again before Qt goes
  return exitCode;
}
