// Ringwatch's window on a real SIP line: the telephony file names one SIP account and no switch,
// baresip calls it, and a person answers in the window. What baresip says (the call established,
// our media arriving, its hang-up) is checked against what the window shows. The window runs in
// this process, as the program composes it, so that the test can select the row and press Answer.
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "app/main_window.h"
#include "app/qt_message_pump.h"
#include "app_test_support.h"
#include "tapi/application.h"
#include "tapi/texts.h"
#include "tests/sip/peers.h"
#include "tests/sip/sipp.h"

namespace ringwatch::testing {

namespace {

constexpr int kColumnState = 2;
constexpr int kColumnCallerID = 3;
constexpr int kColumnCallerIDName = 4;

QString StateText(uint32_t state) {
  return QString::fromStdString(zvtapi::TapiCallStateText(state));
}

}  // namespace

class RingwatchSipEndToEndTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir;
  std::string aor;
  std::unique_ptr<QtMessagePump> pump;
  std::unique_ptr<TForm1> form;

  int Rows() const { return form->ListView1->topLevelItemCount(); }
  QString Cell(int row, int column) const {
    return form->ListView1->topLevelItem(row)->text(column);
  }
  // Waits for baresip's event while the window goes on handling its messages.
  static bool WaitForEvent(sip_test::Baresip& baresip, const std::string& type) {
    return WaitUntil([&] { return baresip.WaitEvent(type, std::chrono::seconds(0)).has_value(); });
  }
  // One SIP account on loopback, its audio from and to files, and no switch: the account is the
  // only line the program can see.
  void WriteTelephonyFile() {
    const uint16_t sipPort = sip_test::FreeUdpPort();
    const uint16_t rtpLow = sip_test::FreeUdpPort();
    aor = "sip:rw@127.0.0.1:" + std::to_string(sipPort);
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("received")));
    sip_test::WriteToneWav(dir.filePath(QStringLiteral("source.wav")).toStdString(), 440, 120);
    const std::string text = "[sip]\nname = Reception\naor = " + aor +
                             "\nlocal_address = 127.0.0.1:" + std::to_string(sipPort) +
                             "\nrtp_ports = " + std::to_string(rtpLow) + "-" +
                             std::to_string(rtpLow + 40) +
                             "\naudio = files\naudio_source = source.wav\naudio_sink = received\n";
    const QString path = dir.filePath(QStringLiteral("telephony.ini"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
    QCOMPARE(file.write(text.c_str()), static_cast<qint64>(text.size()));
    file.close();
    qputenv("ZVTAPI_TELEPHONY", path.toLocal8Bit());
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir.isValid());
    WriteTelephonyFile();
    pump = std::make_unique<QtMessagePump>();
  }
  void cleanupTestCase() {
    form.reset();
    if (zvtapi::zvTapiApplication && zvtapi::zvTapiApplication->Active())
      zvtapi::zvTapiApplication->Shutdown();
    pump.reset();
  }

  void baresipCallIsListedAnsweredAndGoesWhenItHangsUp() {
    MessageBoxWatcher boxes;
    form = std::make_unique<TForm1>();
    form->show();
    // The scan finds the account and opens it as the one active line.
    QVERIFY(WaitUntil([this] { return !form->StatusBar1->PanelText(1).isEmpty(); }));
    QCOMPARE(form->StatusBar1->PanelText(1), QStringLiteral("1"));
    QCOMPARE(form->ComboBox_Lines->count(), 1);
    QVERIFY2(form->ComboBox_Lines->itemText(0).startsWith(QStringLiteral("Reception - ")),
             qPrintable(form->ComboBox_Lines->itemText(0)));
    QCOMPARE(Rows(), 0);

    sip_test::Baresip baresip;
    QVERIFY2(baresip.Command("dial", aor).value("ok", false), baresip.Log().c_str());
    const bool offered = WaitUntil([this] {
      return Rows() == 1 && Cell(0, kColumnState) == StateText(LINECALLSTATE_OFFERING) &&
             Cell(0, kColumnCallerIDName) == QStringLiteral("Bare Sip");
    });
    QVERIFY2(offered, baresip.Log().c_str());
    QCOMPARE(Cell(0, kColumnCallerID), QStringLiteral("bs"));

    // As a person would: click the row, then Answer.
    QTreeWidget* list = form->ListView1;
    const QRect rowRect = list->visualItemRect(list->topLevelItem(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowRect.center());
    QVERIFY(list->topLevelItem(0)->isSelected());
    QTest::mouseClick(form->Button_Answer, Qt::LeftButton);

    QVERIFY2(WaitForEvent(baresip, "CALL_ESTABLISHED"), baresip.Log().c_str());
    QVERIFY2(WaitForEvent(baresip, "CALL_RTPESTAB"), baresip.Log().c_str());
    QVERIFY(WaitUntil([this] {
      return Rows() == 1 && Cell(0, kColumnState) == StateText(LINECALLSTATE_CONNECTED);
    }));

    QVERIFY2(baresip.Command("hangup").value("ok", false), baresip.Log().c_str());
    QVERIFY2(WaitForEvent(baresip, "CALL_CLOSED"), baresip.Log().c_str());
    QVERIFY(WaitUntil([this] { return Rows() == 0; }));
    // The line stays open for the next call, and nothing went wrong on the way.
    QCOMPARE(form->StatusBar1->PanelText(1), QStringLiteral("1"));
    QCOMPARE(boxes.texts, QStringList{});
  }
};

}  // namespace ringwatch::testing

int main(int argc, char** argv) {
  ringwatch::testing::PrepareHeadlessQt();
  QApplication app(argc, argv);
  ringwatch::testing::RingwatchSipEndToEndTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "ringwatch_sip_e2e_test.moc"
