// A program that returns from main with TAPI still active and a line open must still end
// cleanly: status 0 and not a word from the C library or a sanitizer, however long its Qt
// message pump lives. Each run is a child process, since what goes wrong happens at its exit.
#include <QProcess>
#include <QTest>

#include "app_test_support.h"

namespace ringwatch::testing {

class ExitTest : public QObject {
  Q_OBJECT

 private slots:
  void leavingTapiActiveEndsTheProgramCleanly_data() {
    QTest::addColumn<QString>("pump");
    QTest::newRow("pump freed before Qt") << QStringLiteral("inner");
    QTest::newRow("pump freed after Qt") << QStringLiteral("outer");
    QTest::newRow("pump never freed") << QStringLiteral("leaked");
  }
  void leavingTapiActiveEndsTheProgramCleanly() {
    QFETCH(QString, pump);
    // What goes wrong depends on what the heap holds at exit; a few runs make a miss unlikely.
    for (int run = 0; run < 5; ++run) {
      QProcess child;
      child.start(QStringLiteral(EXIT_CHILD_BINARY), {pump});
      QVERIFY(child.waitForFinished(120000));
      const QByteArray errors = child.readAllStandardError();
      QVERIFY2(errors.isEmpty(), errors.constData());
      QCOMPARE(child.exitStatus(), QProcess::NormalExit);
      QCOMPARE(child.exitCode(), 0);
    }
  }
};

}  // namespace ringwatch::testing

int main(int argc, char** argv) {
  ringwatch::testing::PrepareHeadlessQt();
  QCoreApplication app(argc, argv);
  ringwatch::testing::ExitTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "exit_test.moc"
