#include "app/crash/reporter.h"

#include <cxxabi.h>
#include <unistd.h>

#include <QDesktopServices>
#include <QMetaObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <typeinfo>
#include <vector>

#include "app/crash/dialog.h"
#include "app/crash/fatal_signals.h"
#include "app/crash/stacks.h"
#include "app/crash/watchdog.h"
#include "tapi/application.h"
#include "tapi/journal.h"
#include "tapi/version.h"

namespace ringwatch::crash {

namespace {

TCrashReporter* gInstance = nullptr;

std::string Demangle(const char* name) {
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> text(
      abi::__cxa_demangle(name, nullptr, nullptr, &status), &std::free);
  return status == 0 && text ? text.get() : name;
}

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return stamp;
}

std::string OwnExecutable() {
  std::error_code error;
  const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

void SendWithMailProgram(const TMailRequest& mail) {
  const QString xdgEmail = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
  if (!xdgEmail.isEmpty()) {
    QStringList arguments{QStringLiteral("--subject"), mail.Subject, QStringLiteral("--body"),
                          mail.Body};
    for (const QString& file : mail.Attachments)
      arguments << QStringLiteral("--attach") << file;
    if (QProcess::startDetached(xdgEmail, arguments)) return;
  }
  // A mailto: URL cannot carry attachments; the body names the files instead.
  QUrl url(QStringLiteral("mailto:"));
  QUrlQuery query;
  query.addQueryItem(QStringLiteral("subject"), mail.Subject);
  query.addQueryItem(QStringLiteral("body"), mail.Body + QStringLiteral("\n\nPlease attach:\n") +
                                                 mail.Attachments.join(QLatin1Char('\n')));
  url.setQuery(query);
  QDesktopServices::openUrl(url);
}

void RestartProgram() {
  static std::vector<std::string> arguments;
  arguments.clear();
  for (const QString& argument : QCoreApplication::arguments())
    arguments.push_back(argument.toStdString());
  std::vector<char*> argv;
  for (std::string& argument : arguments)
    argv.push_back(argument.data());
  argv.push_back(nullptr);
  execv("/proc/self/exe", argv.data());
  std::perror("ringwatch: restart failed");
}

}  // namespace

TCrashActions DefaultCrashActions() {
  return {SendWithMailProgram, RestartProgram, [] { QCoreApplication::exit(1); }};
}

std::string DescribeException(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return Demangle(typeid(e).name()) + ": " + e.what();
  } catch (...) {
    const std::type_info* type = abi::__cxa_current_exception_type();
    return type ? Demangle(type->name()) : std::string("unknown exception");
  }
}

// ---------------------------------------------------------------------------------------------
// TCrashReporter

TCrashReporter::TCrashReporter(TCrashReporterOptions options)
    : FOptions(std::move(options)), FHeartbeat(new QTimer(this)) {
  Q_ASSERT(gInstance == nullptr);
  gInstance = this;
  if (FOptions.Directory.empty()) FOptions.Directory = CrashDirectory();
  if (FOptions.HelperPath.empty()) FOptions.HelperPath = OwnExecutable();
  const TCrashActions defaults = DefaultCrashActions();
  if (!FOptions.Actions.SendMail) FOptions.Actions.SendMail = defaults.SendMail;
  if (!FOptions.Actions.Restart) FOptions.Actions.Restart = defaults.Restart;
  if (!FOptions.Actions.Quit) FOptions.Actions.Quit = defaults.Quit;
  MakeReportDirectory(FOptions.Directory);

  FProgramHeaders = std::string("Program: Ringwatch ") + RINGWATCH_VERSION + "\nLibrary: zvTapi " +
                    zvtapi::LibraryVersion() + "\nProcess: " + std::to_string(getpid()) + "\n";
  if (FOptions.FatalSignals) {
    TFatalSignalSetup setup;
    // Named after the start, so that it sorts among the reports of this run.
    std::string path = NewReportPath(FOptions.Directory);
    setup.ReportPath = path.insert(path.size() - 4, "-signal");
    setup.Headers = FProgramHeaders;
    setup.HelperPath = FOptions.HelperPath;
    InstallFatalSignalHandlers(setup);
  }
  if (FOptions.WatchdogLimit.count() > 0) {
    FWatchdog = std::make_unique<TWatchdog>(
        FOptions.WatchdogLimit, [this](std::chrono::milliseconds silent) { OnFreeze(silent); },
        [this](std::chrono::milliseconds silent) { OnRecovered(silent); });
  }
  // Four beats per limit keep the watchdog quiet while the thread answers; the sections the
  // signal handler writes are at most a second old.
  const auto interval = FWatchdog ? std::min<std::chrono::milliseconds>(FOptions.WatchdogLimit / 4,
                                                                        std::chrono::seconds(1))
                                  : std::chrono::milliseconds(1000);
  FHeartbeat->setInterval(
      std::max<std::chrono::milliseconds>(interval, std::chrono::milliseconds(1)));
  connect(FHeartbeat, &QTimer::timeout, this, [this] { Heartbeat(); });
  FHeartbeat->start();
  Heartbeat();
}

TCrashReporter::~TCrashReporter() {
  FWatchdog.reset();
  if (FOptions.FatalSignals) UninstallFatalSignalHandlers();
  gInstance = nullptr;
}

TCrashReporter* TCrashReporter::Instance() {
  return gInstance;
}

std::string TCrashReporter::LastReportPath() const {
  std::lock_guard lock(FLock);
  return FLastReport;
}

void TCrashReporter::Heartbeat() {
  if (FWatchdog) FWatchdog->Beat();
  // The sections change only with the library's traffic; rendering them anew each beat would
  // ask TAPI for call information for nothing.
  const uint64_t recorded =
      zvtapi::zvTapiApplication ? zvtapi::zvTapiApplication->Journal().Recorded() : 0;
  if (recorded == FRenderedRecorded) return;
  FRenderedRecorded = recorded;
  const std::string context = RenderContext();
  SetFatalSignalSections(context);
  std::lock_guard lock(FLock);
  FContext = context;
}

std::string TCrashReporter::RenderContext() {
  std::string messages;
  if (zvtapi::zvTapiApplication) {
    for (const zvtapi::TzvTapiJournalEntry& entry : zvtapi::zvTapiApplication->Journal().Entries())
      messages += zvtapi::FormatJournalEntry(entry) + "\n";
  }
  const std::string lines = zvtapi::FormatOpenLines(zvtapi::SnapshotOpenLines());
  return RenderSection("Telephony messages", messages.empty() ? "(none)\n" : messages) +
         RenderSection("Lines and calls", lines.empty() ? "(none open)\n" : lines);
}

TCrashReport TCrashReporter::NewReport(const std::string& trigger,
                                       const std::string& detail) const {
  TCrashReport report;
  report.SetHeader("Program", std::string("Ringwatch ") + RINGWATCH_VERSION);
  report.SetHeader("Library", std::string("zvTapi ") + zvtapi::LibraryVersion());
  report.SetHeader("Time", UtcNow());
  report.SetHeader("Trigger", trigger);
  report.SetHeader("Detail", detail);
  report.SetHeader("Process", std::to_string(getpid()));
  report.SetHeader("Fatal", "no");
  return report;
}

std::string TCrashReporter::Save(const TCrashReport& report, const std::string& context) {
  const std::string path = NewReportPath(FOptions.Directory);
  // The context is already rendered as sections, in the same format the report continues in.
  std::optional<TCrashReport> full = ParseReport(RenderReport(report) + context);
  if (!full || !WriteReportFile(path, *full)) {
    std::fprintf(stderr, "ringwatch: cannot write the error report %s\n", path.c_str());
    return {};
  }
  if (!FOptions.HelperPath.empty()) AppendOwnStacks(FOptions.HelperPath, path);
  std::lock_guard lock(FLock);
  FLastReport = path;
  return path;
}

void TCrashReporter::ReportException(std::exception_ptr error) {
  // The stacks helper stops this thread for a while; that is not a freeze.
  if (FWatchdog) FWatchdog->SetPaused(true);
  const std::string path = Save(NewReport("exception", DescribeException(error)), RenderContext());
  if (FWatchdog) FWatchdog->SetPaused(false);
  if (path.empty()) return;
  // Taken now, before anything covers the window; the dialog waits for the loop, so that it
  // does not run inside the event delivery that failed.
  const QPixmap screenshot = Screenshot();
  QMetaObject::invokeMethod(
      this, [this, path, screenshot] { ShowReport(path, screenshot, true); }, Qt::QueuedConnection);
}

void TCrashReporter::OnFreeze(std::chrono::milliseconds silent) {
  // Held until the report is complete, so that a recovery meanwhile waits for it.
  std::lock_guard saving(FFreezeSaving);
  std::string context;
  {
    std::lock_guard lock(FLock);
    context = FContext;
  }
  const std::string path =
      Save(NewReport("freeze", "the user-interface thread did not answer for " +
                                   std::to_string(silent.count()) + " ms"),
           context);
  std::lock_guard lock(FLock);
  FFreezeReport = path;
}

void TCrashReporter::OnRecovered(std::chrono::milliseconds silent) {
  std::string path;
  {
    std::lock_guard saving(FFreezeSaving);
    std::lock_guard lock(FLock);
    path.swap(FFreezeReport);
  }
  if (path.empty()) return;
  if (std::optional<TCrashReport> report = ReadReportFile(path)) {
    report->SetHeader("Recovered", "after " + std::to_string(silent.count()) + " ms");
    WriteReportFile(path, *report);
  }
  const QPixmap screenshot = Screenshot();
  QMetaObject::invokeMethod(
      this, [this, path, screenshot] { ShowReport(path, screenshot, true); }, Qt::QueuedConnection);
}

QPixmap TCrashReporter::Screenshot() const {
  return FOptions.Window && FOptions.Window->isVisible() ? FOptions.Window->grab() : QPixmap();
}

void TCrashReporter::ShowReport(const std::string& path, const QPixmap& screenshot,
                                bool processAlive) {
  // One dialog at a time; a report made while it is open waits on disk.
  if (FDialogOpen) return;
  FDialogOpen = true;
  TCrashDialog dialog(processAlive ? TCrashDialog::TMode::Live : TCrashDialog::TMode::Saved,
                      QString::fromStdString(path), screenshot, FOptions.Actions.SendMail,
                      FOptions.Window);
  dialog.exec();
  FDialogOpen = false;
  switch (dialog.Choice()) {
    case TCrashDialog::TChoice::Restart:
      FOptions.Actions.Restart();
      break;
    case TCrashDialog::TChoice::Close:
      FOptions.Actions.Quit();
      break;
    case TCrashDialog::TChoice::Discard:
      std::remove(path.c_str());
      break;
    default:
      break;
  }
}

void TCrashReporter::OfferSavedReports() {
  const std::string ownProcess = std::to_string(getpid());
  for (const std::string& path : ListReportFiles(FOptions.Directory)) {
    std::optional<TCrashReport> report = ReadReportFile(path);
    if (!report || report->Header("Fatal") != "yes" || report->Header("Offered") == "yes" ||
        report->Header("Process") == ownProcess)
      continue;
    // The helper never ran or did not finish: the report says so instead of ending short.
    if (!report->HasSection("Stacks"))
      report->SetSection("Stacks", "(not collected: the stacks helper did not finish)\n");
    report->SetHeader("Offered", "yes");
    if (!WriteReportFile(path, *report)) continue;  // offered again rather than lost
    ShowReport(path, QPixmap(), false);
  }
}

// ---------------------------------------------------------------------------------------------
// TRingwatchApplication

bool TRingwatchApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    if (TCrashReporter* reporter = TCrashReporter::Instance()) {
      reporter->ReportException(std::current_exception());
    } else {
      std::fprintf(stderr, "ringwatch: unhandled exception: %s\n",
                   DescribeException(std::current_exception()).c_str());
    }
    return false;
  }
}

}  // namespace ringwatch::crash
