// Ringwatch's crash reporter: turns an exception that escaped the event loop, a fatal signal
// or a user-interface thread that stopped answering into an error report on disk, and shows
// the report dialog. After a crash that ended the process, the next start offers the report
// once.
#pragma once

#include <QApplication>
#include <QObject>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "app/crash/report.h"

class QTimer;
class QWidget;

namespace ringwatch::crash {

class TWatchdog;

// What "Send" hands to the mail program: nothing leaves the machine until the user sends it.
struct TMailRequest {
  QString Subject;
  QString Body;
  QStringList Attachments;  // file paths
};

// What the dialogs start; tests replace them to see what would run.
struct TCrashActions {
  // Default: xdg-email with subject, body and attachments; without it, a mailto: URL.
  std::function<void(const TMailRequest&)> SendMail;
  // Default: runs the program anew in this process, with the same arguments.
  std::function<void()> Restart;
  // Default: leaves the event loop with exit code 1.
  std::function<void()> Quit;
};
TCrashActions DefaultCrashActions();

struct TCrashReporterOptions {
  std::string Directory;   // empty: CrashDirectory()
  std::string HelperPath;  // the stacks helper; empty: this program
  // The user-interface thread may stay silent this long; 0 disables the watchdog.
  std::chrono::milliseconds WatchdogLimit{5000};
  bool FatalSignals = true;
  TCrashActions Actions;      // empty members take the defaults
  QWidget* Window = nullptr;  // shown in the screenshot and parent of the dialogs
};

class TCrashReporter final : public QObject {
 public:
  // Installs the triggers at once. One reporter at a time.
  explicit TCrashReporter(TCrashReporterOptions options);
  ~TCrashReporter() override;
  TCrashReporter(const TCrashReporter&) = delete;
  TCrashReporter& operator=(const TCrashReporter&) = delete;

  // The one installed reporter, or none.
  static TCrashReporter* Instance();

  // User-interface thread: an exception escaped the event loop. Saves the report (with every
  // thread's stack) and shows the dialog as soon as the loop runs again.
  void ReportException(std::exception_ptr error);
  // User-interface thread: offers, once each, the saved reports of crashes that ended the
  // process, completing those the process could not finish.
  void OfferSavedReports();

  void SetWindow(QWidget* window) { FOptions.Window = window; }
  const std::string& Directory() const { return FOptions.Directory; }
  // The last report this reporter saved; empty before the first.
  std::string LastReportPath() const;

 private:
  void Heartbeat();
  // The journal and the open lines and calls, as report sections. User-interface thread.
  std::string RenderContext();
  TCrashReport NewReport(const std::string& trigger, const std::string& detail) const;
  // Writes the report, then has the helper append the stacks. Any thread.
  std::string Save(const TCrashReport& report, const std::string& context);
  void OnFreeze(std::chrono::milliseconds silent);
  void OnRecovered(std::chrono::milliseconds silent);
  QPixmap Screenshot() const;
  void ShowReport(const std::string& path, const QPixmap& screenshot, bool processAlive);

  TCrashReporterOptions FOptions;
  std::string FProgramHeaders;
  QTimer* FHeartbeat;
  std::unique_ptr<TWatchdog> FWatchdog;
  uint64_t FRenderedRecorded = ~uint64_t{0};
  std::mutex FFreezeSaving;  // held by the watchdog while it saves a freeze report
  mutable std::mutex FLock;  // guards the members below
  std::string FContext;      // the last rendition, for reports made off the UI thread
  std::string FLastReport;
  std::string FFreezeReport;  // saved by the watchdog, shown on recovery
  bool FDialogOpen = false;
};

// Catches what escapes an event handler, so that it reaches the crash reporter instead of
// unwinding through Qt (which does not support that) and ending the program.
class TRingwatchApplication final : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override;
};

// "std::runtime_error: text", or the type's name alone for an exception that is not a
// std::exception.
std::string DescribeException(std::exception_ptr error);

}  // namespace ringwatch::crash
