// The crash reporter end to end: each trigger (an exception escaping an event handler or the
// library's dispatch, a fatal signal in a child process, a frozen user-interface thread) leaves
// a report on disk and offers it; the dialog and the assistant, driven offscreen, hand the
// mail program what the user chose and restart or quit through the injected actions.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <condition_variable>
#include <csignal>
#include <memory>
#include <mutex>
#include <thread>

#include "app/crash/dialog.h"
#include "app/crash/reporter.h"
#include "app/qt_message_pump.h"
#include "app_test_support.h"
#include "tapi/application.h"
#include "tapi/line.h"
#include "tapi/version.h"

namespace ringwatch::testing {

using crash::TCrashDialog;
using crash::TCrashReport;
using crash::TCrashReporter;
using crash::TCrashReporterOptions;
using crash::TMailRequest;
using crash::TSendReportWizard;

namespace {

int Count(const std::string& text, const std::string& what) {
  int count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++count;
  return count;
}

// A second thread with a known function on its stack, for as long as the test runs.
class ParkedThread {
 public:
  ParkedThread() : FThread([this] { Park(); }) {}
  ~ParkedThread() {
    {
      std::lock_guard lock(FLock);
      FRelease = true;
    }
    FWake.notify_all();
    FThread.join();
  }

 private:
  [[gnu::noinline]] void Park() {
    std::unique_lock lock(FLock);
    FWake.wait(lock, [this] { return FRelease; });
  }
  std::mutex FLock;
  std::condition_variable FWake;
  bool FRelease = false;
  std::thread FThread;
};

// Acts on the modal dialogs of one kind as they appear, on Qt's loop (also inside their own
// exec), and counts them.
template <class Dialog>
class ModalDriver {
 public:
  explicit ModalDriver(std::function<void(Dialog*)> act) : FAct(std::move(act)) {
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
      auto* dialog = dynamic_cast<Dialog*>(QApplication::activeModalWidget());
      if (!dialog || dialog == FLast) return;
      FLast = dialog;
      ++seen;
      FAct(dialog);
    });
    FTimer.start(10);
  }
  int seen = 0;

 private:
  std::function<void(Dialog*)> FAct;
  QTimer FTimer;
  Dialog* FLast = nullptr;
};

[[gnu::noinline]] void BlockUserInterface(const std::function<bool()>& until) {
  while (!until())
    QThread::msleep(10);
}

struct NotAStdException {};

}  // namespace

class CrashReporterTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir;
  std::string directory;
  int restarts = 0;
  int quits = 0;
  std::vector<TMailRequest> mails;

  TCrashReporterOptions Options(std::chrono::milliseconds watchdog) {
    TCrashReporterOptions options;
    options.Directory = directory;
    options.HelperPath = RINGWATCH_BINARY;
    options.WatchdogLimit = watchdog;
    options.FatalSignals = false;  // the signal path runs in a child process
    options.Actions.Restart = [this] { ++restarts; };
    options.Actions.Quit = [this] { ++quits; };
    options.Actions.SendMail = [this](const TMailRequest& mail) { mails.push_back(mail); };
    return options;
  }
  std::vector<std::string> Reports() const { return crash::ListReportFiles(directory); }
  // The one report in the directory; an empty one when there is not exactly one.
  TCrashReport OnlyReport() const {
    const std::vector<std::string> reports = Reports();
    if (reports.size() != 1) return {};
    return crash::ReadReportFile(reports.front()).value_or(TCrashReport{});
  }
  // Checks what every report of a live process holds.
  static void VerifyCommonParts(const TCrashReport& report, int minThreads) {
    QCOMPARE(report.Header("Program"), std::string("Ringwatch 0.1.0"));
    QCOMPARE(report.Header("Library"), std::string("zvTapi ") + zvtapi::LibraryVersion());
    QVERIFY(!report.Header("Time").empty());
    const std::string stacks = report.Section("Stacks");
    QVERIFY2(Count(stacks, "Thread ") >= minThreads, stacks.c_str());
    QVERIFY2(stacks.find("ParkedThread::Park") != std::string::npos, stacks.c_str());
    QVERIFY(report.HasSection("Telephony messages"));
    QVERIFY(report.HasSection("Lines and calls"));
  }
  // Runs the crashing child; it must end by SIGSEGV.
  void RunCrashChild(const QStringList& arguments) {
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // AddressSanitizer would take the signal before the reporter.
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       QStringLiteral("handle_segv=0:allow_user_segv_handler=1:detect_leaks=0"));
    child.setProcessEnvironment(environment);
    child.start(QStringLiteral(CRASH_CHILD_BINARY), arguments);
    QVERIFY(child.waitForFinished(120000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
  }

 private slots:
  void init() {
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    directory = dir->path().toStdString() + "/crashes";
    restarts = quits = 0;
    mails.clear();
  }

  void anExceptionEscapingAnEventHandlerIsSavedAndOffered() {
    ParkedThread parked;
    QWidget window;
    window.resize(200, 100);
    window.show();
    auto options = Options(std::chrono::milliseconds(0));
    options.Window = &window;
    TCrashReporter reporter(options);
    QString summary;
    ModalDriver<TCrashDialog> driver([&](TCrashDialog* dialog) {
      summary = dialog->Summary->text();
      dialog->ButtonContinue->click();
    });
    QTimer::singleShot(0, [] { throw std::runtime_error("line table corrupt"); });
    QVERIFY(WaitUntil([&] { return driver.seen == 1 && !QApplication::activeModalWidget(); }));

    const TCrashReport report = OnlyReport();
    QCOMPARE(report.Header("Trigger"), std::string("exception"));
    QCOMPARE(report.Header("Detail"), std::string("std::runtime_error: line table corrupt"));
    QCOMPARE(report.Header("Fatal"), std::string("no"));
    VerifyCommonParts(report, 2);
    QVERIFY(summary.contains(QStringLiteral("line table corrupt")));
    QCOMPARE(restarts + quits, 0);
    QCOMPARE(reporter.LastReportPath(), Reports().front());
  }

  // A line's event handler that throws something other than a std::exception passes the
  // library's error routing and the message window; the pump hands it to the reporter, whose
  // report shows the message that caused it and the line with its call.
  void anExceptionEscapingTheLibrarysDispatchIsSavedWithItsTelephonyContext() {
    ParkedThread parked;
    tapi32::sim::Config config;
    config.lines.push_back(VoiceLine("Reception"));
    Switch().Reset(config);
    QtMessagePump pump;
    TCrashReporter reporter(Options(std::chrono::milliseconds(0)));
    pump.SetExceptionHandler([&](std::exception_ptr error) { reporter.ReportException(error); });
    {
      zvtapi::TzvTapiLine line(nullptr);
      line.SetName("ReceptionLine");
      line.SetDeviceID(0);
      line.SetActive(true);
      QVERIFY(line.Active());
      line.SetOnNewCall(
          [](zvtapi::TzvTapiLine*, zvtapi::TzvTapiCall*) { throw NotAStdException{}; });
      ModalDriver<TCrashDialog> driver([](TCrashDialog* dialog) { dialog->ButtonClose->click(); });
      Switch().OfferCall(0, 0, Caller("301", "Ann"));
      QVERIFY(WaitUntil([&] { return driver.seen == 1 && !QApplication::activeModalWidget(); }));
      QCOMPARE(quits, 1);

      const TCrashReport report = OnlyReport();
      QCOMPARE(report.Header("Detail"),
               std::string("ringwatch::testing::(anonymous namespace)::NotAStdException"));
      VerifyCommonParts(report, 2);
      const std::string messages = report.Section("Telephony messages");
      QVERIFY2(messages.find("LINE_APPNEWCALL") != std::string::npos ||
                   messages.find("LINE_CALLSTATE") != std::string::npos,
               messages.c_str());
      const std::string lines = report.Section("Lines and calls");
      QVERIFY2(lines.find("line ReceptionLine device 0") != std::string::npos, lines.c_str());
      QVERIFY2(lines.find("  call x") != std::string::npos, lines.c_str());
      pump.SetExceptionHandler(nullptr);
    }
    // As the program does before Qt goes, so that the next test starts with TAPI inactive.
    zvtapi::zvTapiApplication->Shutdown();
  }

  void aFrozenUserInterfaceIsSavedAndTheDialogShowsWhenItAnswers() {
    ParkedThread parked;
    TCrashReporter reporter(Options(std::chrono::milliseconds(300)));
    ModalDriver<TCrashDialog> driver([](TCrashDialog* dialog) { dialog->ButtonRestart->click(); });
    bool blocked = false;
    QTimer::singleShot(0, [&] {
      // Blocks until the watchdog's report is on disk (the helper appends the stacks last).
      BlockUserInterface([&] { return OnlyReport().HasSection("Stacks"); });
      blocked = true;
    });
    QVERIFY(WaitUntil(
        [&] { return blocked && driver.seen == 1 && !QApplication::activeModalWidget(); }));
    QCOMPARE(restarts, 1);

    const TCrashReport report = OnlyReport();
    QCOMPARE(report.Header("Trigger"), std::string("freeze"));
    QVERIFY2(report.Header("Detail").find("did not answer") != std::string::npos,
             report.Header("Detail").c_str());
    QVERIFY(report.Header("Recovered").rfind("after ", 0) == 0);
    VerifyCommonParts(report, 3);  // this thread, the parked one, the watchdog
    QVERIFY2(report.Section("Stacks").find("BlockUserInterface") != std::string::npos,
             report.Section("Stacks").c_str());
  }

  void aFatalSignalInAChildLeavesSymbolisedStacksOfEveryThread() {
    RunCrashChild({QString::fromStdString(directory)});
    const TCrashReport report = OnlyReport();
    QCOMPARE(report.Header("Trigger"), std::string("signal"));
    QVERIFY2(report.Header("Detail").rfind("SIGSEGV", 0) == 0, report.Header("Detail").c_str());
    QVERIFY(report.Header("Detail").find(" at 0x0") != std::string::npos);
    QCOMPARE(report.Header("Fatal"), std::string("yes"));
    QCOMPARE(report.Header("Program"), std::string("Ringwatch 0.1.0"));
    QVERIFY(report.HasSection("Telephony messages"));
    const std::string stacks = report.Section("Stacks");
    QVERIFY2(Count(stacks, "Thread ") >= 2, stacks.c_str());
    QVERIFY2(stacks.find("CrashInsideHandler") != std::string::npos, stacks.c_str());
    QVERIFY2(stacks.find("ParkedWorker") != std::string::npos, stacks.c_str());
    QVERIFY2(stacks.find("crash_child.cpp:") != std::string::npos, stacks.c_str());
  }

  // The helper cannot run: the next start completes the report and offers it once; Discard
  // removes it.
  void theNextStartOffersAReportOfAKilledProcessOnce() {
    RunCrashChild({QString::fromStdString(directory), QStringLiteral("/nonexistent/helper")});
    QCOMPARE(Reports().size(), size_t{1});
    QVERIFY(!OnlyReport().HasSection("Stacks"));
    const std::string path = Reports().front();
    TCrashReporter reporter(Options(std::chrono::milliseconds(0)));
    TCrashReport completed;
    {
      QString summary;
      bool live = true;
      ModalDriver<TCrashDialog> keep([&](TCrashDialog* dialog) {
        summary = dialog->Summary->text();
        live = dialog->ButtonContinue != nullptr;
        dialog->ButtonKeep->click();
      });
      reporter.OfferSavedReports();
      QCOMPARE(keep.seen, 1);
      QVERIFY(!live);
      QVERIFY(summary.contains(QStringLiteral("closed unexpectedly")));
      QVERIFY(summary.contains(QStringLiteral("SIGSEGV")));
      completed = OnlyReport();
      QCOMPARE(completed.Header("Offered"), std::string("yes"));
      QVERIFY(completed.Section("Stacks").find("not collected") != std::string::npos);
      reporter.OfferSavedReports();
      QCOMPARE(keep.seen, 1);
    }

    // The same report, not offered yet, and discarded this time.
    TCrashReport again = completed;
    again.Headers.erase(again.Headers.end() - 1);
    QVERIFY(crash::WriteReportFile(path, again));
    ModalDriver<TCrashDialog> discard([](TCrashDialog* dialog) { dialog->ButtonDiscard->click(); });
    reporter.OfferSavedReports();
    QCOMPARE(discard.seen, 1);
    QVERIFY(Reports().empty());
  }

  void theAssistantHandsTheMailProgramTheReportAndWhatTheUserAdded() {
    QVERIFY(crash::MakeReportDirectory(directory));
    const std::string path = directory + "/crash-20261210T023000Z-42.txt";
    TCrashReport report;
    report.SetHeader("Program", "Ringwatch 0.1.0");
    report.SetHeader("Trigger", "exception");
    report.SetHeader("Detail", "std::logic_error: no line");
    report.SetSection("Stacks", "Thread 42 (ringwatch)\n#0 0x1 main\n");
    QVERIFY(crash::WriteReportFile(path, report));
    QPixmap screenshot(120, 80);
    screenshot.fill(Qt::darkCyan);

    TCrashDialog dialog(
        TCrashDialog::TMode::Live, QString::fromStdString(path), screenshot,
        [this](const TMailRequest& mail) { mails.push_back(mail); }, nullptr);
    dialog.show();
    QVERIFY(dialog.Summary->text().contains(QStringLiteral("std::logic_error: no line")));
    QVERIFY(dialog.Details->toPlainText().contains(QStringLiteral("#0 0x1 main")));
    QVERIFY(dialog.ButtonKeep == nullptr);

    {
      bool pictureOffered = false;
      ModalDriver<TSendReportWizard> assistant([&](TSendReportWizard* wizard) {
        wizard->ContactName->setText(QStringLiteral("Ann Example"));
        wizard->ContactEmail->setText(QStringLiteral("ann@example.org"));
        wizard->next();
        wizard->Description->setPlainText(QStringLiteral("Answered a call from the list.\n== x"));
        wizard->next();
        pictureOffered = wizard->IncludeScreenshot->isChecked();
        wizard->next();
        wizard->button(QWizard::FinishButton)->click();
      });
      dialog.ButtonSend->click();
      QCOMPARE(assistant.seen, 1);
      QVERIFY(pictureOffered);
    }
    QCOMPARE(mails.size(), size_t{1});
    const TMailRequest& mail = mails.front();
    QVERIFY(mail.Subject.contains(QStringLiteral("std::logic_error: no line")));
    QVERIFY(mail.Body.contains(QStringLiteral("Answered a call from the list.")));
    QVERIFY(mail.Body.contains(QStringLiteral("Ann Example <ann@example.org>")));
    QCOMPARE(mail.Attachments.size(), 2);
    QCOMPARE(mail.Attachments[0], QString::fromStdString(path));
    QImage saved(mail.Attachments[1]);
    QCOMPARE(saved.size(), QSize(120, 80));

    const TCrashReport updated = crash::ReadReportFile(path).value_or(TCrashReport{});
    QCOMPARE(updated.Section("Contact"), std::string("Ann Example <ann@example.org>\n"));
    QCOMPARE(updated.Section("Description"), std::string("Answered a call from the list.\n== x\n"));
    QCOMPARE(updated.Section("Stacks"), report.Section("Stacks"));
    QVERIFY(dialog.Details->toPlainText().contains(QStringLiteral("Answered a call")));

    // Without the picture: only the report goes, and nothing is sent when the user cancels.
    {
      ModalDriver<TSendReportWizard> plain([](TSendReportWizard* wizard) {
        wizard->IncludeScreenshot->setChecked(false);
        wizard->accept();
      });
      dialog.Send();
      QCOMPARE(mails.size(), size_t{2});
      QCOMPARE(mails.back().Attachments, QStringList{QString::fromStdString(path)});
    }
    {
      ModalDriver<TSendReportWizard> cancel([](TSendReportWizard* wizard) { wizard->reject(); });
      dialog.Send();
      QCOMPARE(mails.size(), size_t{2});
    }

    dialog.ButtonClose->click();
    QCOMPARE(dialog.Choice(), TCrashDialog::TChoice::Close);
  }
};

}  // namespace ringwatch::testing

int main(int argc, char** argv) {
  ringwatch::testing::PrepareHeadlessQt();
  ringwatch::crash::TRingwatchApplication app(argc, argv);
  ringwatch::testing::CrashReporterTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "crash_reporter_test.moc"
