// The real program, headless on a scripted switch with live traffic: it opens the lines, lists
// calls, and ends cleanly on SIGTERM and SIGINT; without a display it says so and stops.
#include <signal.h>

#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include "app_test_support.h"

namespace ringwatch::testing {

class RingwatchEndToEndTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir;
  QString config;

  QProcessEnvironment HeadlessEnvironment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("ringwatch.info=true"));
    env.insert(QStringLiteral("ZVTAPI_SIM_CONFIG"), config);
    if (env.value(QStringLiteral("XDG_RUNTIME_DIR")).isEmpty())
      env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());  // created 0700
    return env;
  }
  // Reads the program's output until it contains every text; false when the program ends
  // first or the hang guard runs out.
  static bool ReadUntil(QProcess& process, QString& output, const QStringList& texts) {
    QDeadlineTimer limit(120000);
    auto complete = [&] {
      for (const QString& text : texts) {
        if (!output.contains(text)) return false;
      }
      return true;
    };
    while (!complete()) {
      if (limit.hasExpired() || process.state() != QProcess::Running) return false;
      process.waitForReadyRead(100);
      output += QString::fromLocal8Bit(process.readAll());
    }
    return true;
  }
  static void ExpectCleanEnd(QProcess& process, QString& output, int signal) {
    QVERIFY(::kill(static_cast<pid_t>(process.processId()), signal) == 0);
    QVERIFY(process.waitForFinished(120000));
    output += QString::fromLocal8Bit(process.readAll());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY2(!output.contains(QStringLiteral("Sanitizer")), qPrintable(output));
    QVERIFY2(!output.contains(QStringLiteral("runtime error")), qPrintable(output));
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir.isValid());
    config = dir.filePath(QStringLiteral("office.ini"));
    QFile file(config);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
    file.write(
        "[line]\nname = Reception\n"
        "[line]\nname = Sales\n"
        "[line]\nname = Broken\nopen_error = 0x8000004B\n"
        "[line]\nname = Fax Modem\nmedia_modes = DATAMODEM\n"
        "[traffic]\nenabled = yes\ninterval_ms = 200\nseed = 3\n");
  }

  void opensLinesShowsCallsAndEndsOnSigterm() {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setProcessEnvironment(HeadlessEnvironment());
    process.start(QStringLiteral(RINGWATCH_BINARY), {});
    QVERIFY(process.waitForStarted());
    QString output;
    const bool shown = ReadUntil(
        process, output, {QStringLiteral("scan: 2 active, 1 failed"), QStringLiteral("row added")});
    QVERIFY2(shown, qPrintable(output));
    ExpectCleanEnd(process, output, SIGTERM);
  }

  void endsOnSigint() {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setProcessEnvironment(HeadlessEnvironment());
    process.start(QStringLiteral(RINGWATCH_BINARY), {});
    QVERIFY(process.waitForStarted());
    QString output;
    QVERIFY2(ReadUntil(process, output, {QStringLiteral("scan: ")}), qPrintable(output));
    ExpectCleanEnd(process, output, SIGINT);
  }

  void withoutDisplaySaysSoInOneLine() {
    QProcessEnvironment env = HeadlessEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
      env.remove(QString::fromLatin1(name));
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(RINGWATCH_BINARY), {});
    QVERIFY(process.waitForFinished(120000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY(process.exitCode() != 0);
    const QString error = QString::fromLocal8Bit(process.readAllStandardError());
    QCOMPARE(error.count(QLatin1Char('\n')), 1);
    QVERIFY2(error.startsWith(QStringLiteral("ringwatch: no display available")),
             qPrintable(error));
  }
};

}  // namespace ringwatch::testing

QTEST_GUILESS_MAIN(ringwatch::testing::RingwatchEndToEndTest)

#include "ringwatch_e2e_test.moc"
