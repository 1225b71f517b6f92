// The main window against scripted switch configurations: layout, the line scan, the call
// list and the three commands.
#include <QComboBox>
#include <QCursor>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <memory>
#include <set>

#include "app/main_window.h"
#include "app/qt_message_pump.h"
#include "app_test_support.h"
#include "tapi/errors.h"
#include "tapi/texts.h"

namespace ringwatch::testing {

using tapi32::sim::Config;
using tapi32::sim::LineConfig;
using zvtapi::TzvTapiCall;
using zvtapi::TzvTapiLine;

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  // Configures the switch, opens the window and waits for its first scan.
  void Open(const Config& config) {
    Switch().Reset(config);
    OpenConfigured();
  }
  // The same on the switch as it is.
  void OpenConfigured() {
    form = std::make_unique<TForm1>();
    form->show();
    QVERIFY(WaitUntil([this] { return Scanned(); }));
  }
  bool Scanned() const { return !form->StatusBar1->PanelText(1).isEmpty(); }
  QString Panel(int index) const { return form->StatusBar1->PanelText(index); }
  QStringList ComboEntries() const {
    QStringList entries;
    for (int i = 0; i < form->ComboBox_Lines->count(); ++i)
      entries << form->ComboBox_Lines->itemText(i);
    return entries;
  }
  int Rows() const { return form->ListView1->topLevelItemCount(); }
  QString Cell(int row, int column) const {
    return form->ListView1->topLevelItem(row)->text(column);
  }
  TzvTapiLine* LineOf(int deviceID) const {
    const int index = form->Lines().IndexOfDeviceID(deviceID);
    return index < 0 ? nullptr : static_cast<TzvTapiLine*>(form->Lines().Get(index));
  }
  // The window's call object for a call of the switch, once the line knows it.
  TzvTapiCall* CallFor(uint32_t deviceID, uint32_t callId) const {
    TzvTapiLine* line = LineOf(static_cast<int>(deviceID));
    if (!line) return nullptr;
    const auto handle = Switch().CallHandle(zvtapi::zvTapiApplication->LineApp(), callId);
    for (int i = 0; i < line->Calls().Count(); ++i) {
      if (line->Calls().Get(i)->Handle() == handle) return line->Calls().Get(i);
    }
    return nullptr;
  }
  static QString ErrorText(uint32_t code) {
    return QString::fromStdString(zvtapi::EzvTapiError::CreateCode(code).Message());
  }
  static Config Office() {
    Config config;
    for (const char* name : {"Reception", "Sales", "Support"})
      config.lines.push_back(VoiceLine(name));
    return config;
  }
  // Offers one call per line of the office and waits until each has its row with the
  // caller's number.
  std::vector<uint32_t> OfferThreeCalls() {
    std::vector<uint32_t> calls{Switch().OfferCall(0, 0, Caller("301", "Ann Smith")),
                                Switch().OfferCall(1, 0, Caller("302", "Bob Jones")),
                                Switch().OfferCall(2, 0, Caller("303", "Carla Diaz"))};
    const bool listed = WaitUntil([this] {
      if (Rows() != 3) return false;
      for (int row = 0; row < 3; ++row) {
        if (Cell(row, 3).isEmpty()) return false;
      }
      return true;
    });
    return listed ? calls : std::vector<uint32_t>{};
  }
  void SelectRows(const std::set<int>& rows) {
    form->ListView1->clearSelection();
    for (int row : rows)
      form->ListView1->topLevelItem(row)->setSelected(true);
  }
  void SaveScreenshot() {
    QDir().mkpath(QStringLiteral(RINGWATCH_ARTIFACTS_DIR));
    const QString path = QStringLiteral(RINGWATCH_ARTIFACTS_DIR "/ringwatch-main.png");
    QVERIFY(form->grab().save(path));
  }

  std::unique_ptr<QtMessagePump> pump;
  std::unique_ptr<TForm1> form;

 private slots:
  void initTestCase() { pump = std::make_unique<QtMessagePump>(); }
  void cleanupTestCase() { pump.reset(); }
  void cleanup() {
    form.reset();
    Switch().ClearFaults();
    if (zvtapi::zvTapiApplication->Active()) zvtapi::zvTapiApplication->Shutdown();
    QCoreApplication::processEvents();
  }

  void layoutFollowsTheDesign() {
    Open(Config{});
    QCOMPARE(form->windowTitle(), QStringLiteral("Ringwatch - A zvTapi sample"));
    QCOMPARE(form->size(), QSize(534, 234));
    QCOMPARE(form->Panel1->geometry(), QRect(0, 234 - 19 - 48 - 41, 534, 41));
    QCOMPARE(form->Panel2->geometry(), QRect(0, 234 - 19 - 48, 534, 48));
    QCOMPARE(form->StatusBar1->geometry(), QRect(0, 234 - 19, 534, 19));
    QCOMPARE(form->ListView1->geometry(), QRect(0, 0, 534, 234 - 19 - 48 - 41));
    QCOMPARE(form->ComboBox_Lines->width(), 447);
    QCOMPARE(form->Button1->geometry(), QRect(459, 18, 75, 25));

    // The combo box stretches with the window; Activate keeps to the right edge.
    form->resize(634, 300);
    QVERIFY(WaitUntil([this] { return form->Panel2->width() == 634; }));
    QCOMPARE(form->ComboBox_Lines->width(), 547);
    QCOMPARE(form->Button1->geometry(), QRect(559, 18, 75, 25));
    QCOMPARE(form->ListView1->height(), 300 - 19 - 48 - 41);

    // Inside the call panel the tab key goes Answer, Drop, Accept.
    QCOMPARE(form->Button_Answer->nextInFocusChain(), form->Button_Drop);
    QCOMPARE(form->Button_Drop->nextInFocusChain(), form->Button_Owner);

    const QStringList captions{"Line",         "Call",     "State",       "CallerID",
                               "CallerIDName", "CalledID", "CalledIDName"};
    QCOMPARE(form->ListView1->columnCount(), captions.size());
    for (int column = 0; column < captions.size(); ++column)
      QCOMPARE(form->ListView1->headerItem()->text(column), captions[column]);
    // CallerIDName fills the rest of the list; the called party's columns copy the caller's.
    QVERIFY(form->ListView1->columnWidth(4) >= 534 - 380 - 4);
    QCOMPARE(form->ListView1->columnWidth(5), form->ListView1->columnWidth(3));
    QCOMPARE(form->ListView1->columnWidth(6), form->ListView1->columnWidth(4));
    QCOMPARE(form->StatusBar1->PanelCount(), 5);
    for (int panel = 0; panel < 4; ++panel)
      QCOMPARE(form->StatusBar1->Panel(panel)->width(), 50);
  }

  void noVoiceLineLeavesEverythingEmpty() {
    Config config;
    LineConfig fax = VoiceLine("Fax Modem");
    fax.mediaModes = LINEMEDIAMODE_DATAMODEM;
    config.lines.push_back(fax);
    Open(config);
    QCOMPARE(form->ComboBox_Lines->count(), 0);
    QCOMPARE(form->ComboBox_Lines->currentIndex(), -1);
    QCOMPARE(Panel(1), QStringLiteral("0"));
    QCOMPARE(Panel(3), QStringLiteral("0"));
    QCOMPARE(Rows(), 0);
    QCOMPARE(form->Lines().Count(), 0);
  }

  void failedOpenIsListedWithItsErrorAndCounted() {
    Config config;
    config.lines.push_back(VoiceLine("Support"));
    LineConfig fax = VoiceLine("Fax Modem");
    fax.mediaModes = LINEMEDIAMODE_DATAMODEM;
    config.lines.push_back(fax);
    LineConfig billing = VoiceLine("Billing");
    billing.openError = LINEERR_RESOURCEUNAVAIL;
    config.lines.push_back(billing);
    Open(config);

    // Sorted, whatever the device order; the first entry is selected.
    const QString monitorOwner = QString::fromStdString(
        zvtapi::TapiPrivilegesText(LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER, "+"));
    QCOMPARE(ComboEntries(), (QStringList{"Billing - " + ErrorText(LINEERR_RESOURCEUNAVAIL),
                                          "Support - " + monitorOwner}));
    QCOMPARE(form->ComboBox_Lines->currentIndex(), 0);
    QCOMPARE(Panel(1), QStringLiteral("1"));
    QCOMPARE(Panel(3), QStringLiteral("1"));
    // The failed line stays and is tried again by the next scan.
    QCOMPARE(form->Lines().Count(), 2);
    QVERIFY(LineOf(0)->Active());
    QVERIFY(!LineOf(2)->Active());
  }

  void lineWithoutOwnerOrMonitorIsListedButNotCountedAndClosed() {
    // Paging fails the first scan, then its capabilities report no media mode to the line
    // (which re-reads them on the change notice) while a silent reconfiguration gives the
    // device interactive voice again: the probe accepts it, the line opens with no media
    // mode and so with privilege NONE.
    Config config = Office();
    config.lines.resize(1);
    LineConfig paging = VoiceLine("Paging");
    paging.openError = LINEERR_RESOURCEUNAVAIL;
    config.lines.push_back(paging);
    Open(config);
    QCOMPARE(Panel(3), QStringLiteral("1"));
    TzvTapiLine* line = LineOf(1);
    QVERIFY(line != nullptr);

    LineConfig mute = VoiceLine("Paging");
    mute.mediaModes = 0;
    Switch().ChangeLine(1, mute);
    QVERIFY(WaitUntil([line] { return line->Caps().MediaModes() == 0; }));
    config.lines[1].openError = 0;
    Switch().Reset(config);

    QTest::mouseClick(form->Button1, Qt::LeftButton);
    const QString none =
        QString::fromStdString(zvtapi::TapiPrivilegesText(LINECALLPRIVILEGE_NONE, "+"));
    QVERIFY(ComboEntries().contains("Paging - " + none));
    QCOMPARE(ComboEntries().size(), 2);
    QCOMPARE(Panel(1), QStringLiteral("1"));
    QCOMPARE(Panel(3), QStringLiteral("0"));
    QVERIFY(!line->Active());
    QVERIFY(LineOf(0)->Active());
  }

  void scanShowsProgressAndRestoresCursor() {
    Open(Office());
    // Observed in the middle of the scan, when an entry is added.
    QList<int> cursors;
    QStringList progress;
    connect(form->ComboBox_Lines->model(), &QAbstractItemModel::rowsInserted, this, [&] {
      const QCursor* cursor = QApplication::overrideCursor();
      cursors << (cursor ? static_cast<int>(cursor->shape()) : -1);
      progress << Panel(4);
    });
    QTest::mouseClick(form->Button1, Qt::LeftButton);
    QCOMPARE(cursors, (QList<int>{Qt::WaitCursor, Qt::WaitCursor, Qt::WaitCursor}));
    QCOMPARE(progress, QStringList(3, QStringLiteral(" Opening lines... please wait")));
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QCOMPARE(Panel(4), QString());
  }

  void activateTwiceCreatesNoSecondLine() {
    Open(Office());
    const uint32_t call = Switch().OfferCall(1, 0, Caller("302", "Bob Jones"));
    QVERIFY(WaitUntil([this] { return Rows() == 1; }));
    QTest::mouseClick(form->Button1, Qt::LeftButton);
    QTest::mouseClick(form->Button1, Qt::LeftButton);
    QCOMPARE(form->Lines().Count(), 3);
    // The probe and the three lines.
    QCOMPARE(zvtapi::zvTapiApplication->Lines().Count(), 4);
    QCOMPARE(ComboEntries().size(), 3);
    QCOMPARE(Panel(1), QStringLiteral("3"));
    QCOMPARE(Rows(), 1);
    QCOMPARE(form->CallOfRow(0), CallFor(1, call));
  }

  void rowShowsTheCallsParties() {
    Open(Office());
    const uint32_t id = Switch().OfferCall(2, 0, Caller("0301 555 0199", "Ann Smith"));
    QVERIFY(WaitUntil([this] { return Rows() == 1 && !Cell(0, 4).isEmpty(); }));
    TzvTapiCall* call = CallFor(2, id);
    QVERIFY(call != nullptr);
    QCOMPARE(Cell(0, 0), QStringLiteral("Support"));
    QCOMPARE(Cell(0, 1), "0x" + QString::number(reinterpret_cast<quintptr>(call), 16).toUpper());
    QCOMPARE(Cell(0, 2), QStringLiteral("OFFERING"));
    QCOMPARE(Cell(0, 3), QStringLiteral("0301 555 0199"));
    QCOMPARE(Cell(0, 4), QStringLiteral("Ann Smith"));
    QCOMPARE(Cell(0, 5), QStringLiteral("200"));
    QCOMPARE(Cell(0, 6), QStringLiteral("Reception"));
    QCOMPARE(form->RowOfCall(call), 0);

    Switch().SetCallState(id, LINECALLSTATE_CONNECTED);
    QVERIFY(WaitUntil([this] { return Cell(0, 2) == QStringLiteral("CONNECTED"); }));
    QCOMPARE(Rows(), 1);
  }

  void callWhoseFirstMessageIsAStateChangeGetsItsRow() {
    // The call is on the line before the window opens it; with the adoption at open failing,
    // the line first hears of the call when its state changes. Below TAPI 2.0 no
    // LINE_APPNEWCALL comes first.
    Config config = Office();
    config.lines.resize(1);
    config.lines[0].apiHigh = 0x00010004;
    Switch().Reset(config);
    const uint32_t id = Switch().OfferCall(0, 0, Caller("301", "Ann Smith"));
    Switch().FailNext("lineGetNewCalls", static_cast<LONG>(LINEERR_OPERATIONFAILED));
    OpenConfigured();
    QCOMPARE(Panel(1), QStringLiteral("1"));
    QCOMPARE(Rows(), 0);

    Switch().SetCallState(id, LINECALLSTATE_CONNECTED);
    QVERIFY(WaitUntil([this] { return Rows() == 1; }));
    QCOMPARE(Cell(0, 2), QStringLiteral("CONNECTED"));
    QCOMPARE(form->CallOfRow(0), CallFor(0, id));
  }

  void callsOnTheLineAtOpenAreListedByTheScan() {
    Config config = Office();
    Switch().Reset(config);
    Switch().OfferCall(0, 0, Caller("301", "Ann Smith"));
    Switch().OfferCall(2, 0, Caller("303", "Carla Diaz"));
    OpenConfigured();
    QCOMPARE(Rows(), 2);
    QCOMPARE(Cell(0, 0), QStringLiteral("Reception"));
    QCOMPARE(Cell(1, 0), QStringLiteral("Support"));
    QCOMPARE(Cell(1, 3), QStringLiteral("303"));
  }

  void ctrlASelectsEveryRowAndCtrlShiftADoesNothing() {
    Open(Office());
    QCOMPARE(OfferThreeCalls().size(), 3u);
    QTreeWidget* list = form->ListView1;
    list->setFocus();
    SelectRows({1});

    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(list->selectedItems().size(), 1);
    QVERIFY(list->topLevelItem(1)->isSelected());
    QTest::keyClick(list, Qt::Key_A, Qt::AltModifier | Qt::ControlModifier);
    QCOMPARE(list->selectedItems().size(), 1);

    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(list->selectedItems().size(), 3);
  }

  void acceptActsOnlyOnRowsThatOfferIt() {
    Open(Office());
    const std::vector<uint32_t> calls = OfferThreeCalls();
    QCOMPARE(calls.size(), 3u);
    Switch().SetCallState(calls[0], LINECALLSTATE_CONNECTED);
    Switch().SetCallState(calls[2], LINECALLSTATE_ACCEPTED);
    QVERIFY(WaitUntil([this] {
      return Cell(0, 2) == QStringLiteral("CONNECTED") && Cell(2, 2) == QStringLiteral("ACCEPTED");
    }));

    MessageBoxWatcher boxes;
    SelectRows({0, 1, 2});
    QTest::mouseClick(form->Button_Owner, Qt::LeftButton);
    QCOMPARE(Switch().CallCount("lineAccept"), 1u);
    QCOMPARE(Switch().CallSnapshot(calls[1]).state, LINECALLSTATE_ACCEPTED);
    QCOMPARE(Switch().CallSnapshot(calls[0]).state, LINECALLSTATE_CONNECTED);
    QVERIFY(WaitUntil([this] { return Cell(1, 2) == QStringLiteral("ACCEPTED"); }));
    QVERIFY(boxes.texts.isEmpty());
    SelectRows({1});
    SaveScreenshot();
  }

  void failingAnswerShowsItsErrorAndTheOtherRowsGoOn() {
    Open(Office());
    const std::vector<uint32_t> calls = OfferThreeCalls();
    QCOMPARE(calls.size(), 3u);
    MessageBoxWatcher boxes;
    // The walk goes from the last selected row up: the call on Support fails first.
    Switch().SetNextReplyMode("lineAnswer",
                              tapi32::ReplyMode::Now(static_cast<LONG>(LINEERR_OPERATIONFAILED)));
    SelectRows({0, 2});
    QTest::mouseClick(form->Button_Answer, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{ErrorText(LINEERR_OPERATIONFAILED)});
    QCOMPARE(Switch().CallCount("lineAnswer"), 2u);
    QCOMPARE(Switch().CallSnapshot(calls[2]).state, LINECALLSTATE_OFFERING);
    QCOMPARE(Switch().CallSnapshot(calls[0]).state, LINECALLSTATE_CONNECTED);
    QCOMPARE(Switch().CallSnapshot(calls[1]).state, LINECALLSTATE_OFFERING);
  }

  void answerAndDropWorkWhenTheSwitchReportsTheEffectFirst() {
    // The order the live demo uses for what the user does.
    Config config = Office();
    config.replies = tapi32::sim::LiveDemoConfig().replies;
    Open(config);
    const std::vector<uint32_t> calls = OfferThreeCalls();
    QCOMPARE(calls.size(), 3u);
    MessageBoxWatcher boxes;
    SelectRows({1});
    QTest::mouseClick(form->Button_Answer, Qt::LeftButton);
    QCOMPARE(Switch().CallSnapshot(calls[1]).state, LINECALLSTATE_CONNECTED);
    QVERIFY(WaitUntil([this] { return Cell(1, 2) == QStringLiteral("CONNECTED"); }));
    SelectRows({1});
    QTest::mouseClick(form->Button_Drop, Qt::LeftButton);
    QVERIFY(WaitUntil([this] { return Rows() == 2; }));
    QVERIFY(boxes.texts.isEmpty());
  }

  void rowsGoWhenTheirCallsAreDeallocated() {
    Open(Office());
    const std::vector<uint32_t> calls = OfferThreeCalls();
    QCOMPARE(calls.size(), 3u);
    TzvTapiCall* kept = CallFor(1, calls[1]);
    MessageBoxWatcher boxes;
    SelectRows({0, 2});
    QTest::mouseClick(form->Button_Drop, Qt::LeftButton);
    QVERIFY(boxes.texts.isEmpty());
    QVERIFY(WaitUntil([this] { return Rows() == 1; }));
    QCOMPARE(form->CallOfRow(0), kept);

    // A caller hanging up: disconnected, dropped by the line, idle, freed.
    Switch().RemoteHangUp(calls[1]);
    QVERIFY(WaitUntil([this] { return Rows() == 0; }));
    QCOMPARE(form->RowOfCall(kept), -1);
  }

  // A line TAPI closes frees its calls without a deallocation event for each.
  void rowsOfALineThatTapiClosesGoAtOnce() {
    Open(Office());
    const std::vector<uint32_t> calls = OfferThreeCalls();
    QCOMPARE(calls.size(), 3u);
    TzvTapiCall* reception = CallFor(0, calls[0]);
    TzvTapiCall* support = CallFor(2, calls[2]);
    Switch().CloseLine(1);
    QVERIFY(WaitUntil([this] { return Rows() == 2; }));
    QCOMPARE(form->CallOfRow(0), reception);
    QCOMPARE(form->CallOfRow(1), support);
    QCOMPARE(Panel(1), QStringLiteral("2"));
    QCOMPARE(Panel(3), QStringLiteral("0"));
    // The other lines' rows still follow their calls.
    Switch().SetCallState(calls[2], LINECALLSTATE_CONNECTED);
    QVERIFY(WaitUntil([this] { return Cell(1, 2) == QStringLiteral("CONNECTED"); }));

    // Activate opens the line again, which finds the call still waiting on it.
    QTest::mouseClick(form->Button1, Qt::LeftButton);
    QCOMPARE(Panel(1), QStringLiteral("3"));
    QCOMPARE(Rows(), 3);
    QCOMPARE(Cell(2, 0), QStringLiteral("Sales"));
    QCOMPARE(form->CallOfRow(2), CallFor(1, calls[1]));
  }

  // A command's request waits for its reply while TAPI's messages go on; the rows of a line
  // TAPI closes meanwhile must not make it act twice on a row (here: answer again a call whose
  // answer just failed).
  void commandActsOnceOnEachRowWhileAnotherLinesRowsGo() {
    Open(Office());
    const std::vector<uint32_t> calls = OfferThreeCalls();
    QCOMPARE(calls.size(), 3u);
    MessageBoxWatcher boxes;
    Switch().SetNextReplyMode("lineAnswer", tapi32::ReplyMode::Silent());
    // Runs inside the first answer's wait: the first line closes, then the answer fails.
    QTimer::singleShot(0, [] {
      Switch().CloseLine(0);
      for (DWORD id : Switch().PendingRequests())
        Switch().CompleteRequest(id, static_cast<LONG>(LINEERR_RESOURCEUNAVAIL));
    });
    SelectRows({1, 2});
    QTest::mouseClick(form->Button_Answer, Qt::LeftButton);
    QCOMPARE(boxes.texts, QStringList{ErrorText(LINEERR_RESOURCEUNAVAIL)});
    QCOMPARE(Switch().CallCount("lineAnswer"), 2u);
    QCOMPARE(Switch().CallSnapshot(calls[2]).state, LINECALLSTATE_OFFERING);
    QCOMPARE(Switch().CallSnapshot(calls[1]).state, LINECALLSTATE_CONNECTED);
    QCOMPARE(Rows(), 2);
  }

  void rowsOfARemovedLineGoWithItsClose() {
    Open(Office());
    const std::vector<uint32_t> calls = OfferThreeCalls();
    QCOMPARE(calls.size(), 3u);
    TzvTapiCall* sales = CallFor(1, calls[1]);
    TzvTapiCall* support = CallFor(2, calls[2]);
    // The switch closes the line, then announces the removal to everyone.
    Switch().RemoveLine(0);
    QVERIFY(WaitUntil([this] { return Rows() == 2; }));
    QCOMPARE(form->CallOfRow(0), sales);
    QCOMPARE(Panel(1), QStringLiteral("2"));

    // A provider may report the removal through the open line first. The line, unbound by
    // the report, still has its call and reports it until TAPI closes it.
    TzvTapiLine* removed = LineOf(2);
    Switch().LineState(2, LINEDEVSTATE_REMOVED);
    QVERIFY(WaitUntil([this] { return LineOf(2) == nullptr; }));
    QCOMPARE(Rows(), 2);
    QCOMPARE(form->CallOfRow(1), support);
    QVERIFY(removed->Active());
    Switch().CloseLine(2);
    QVERIFY(WaitUntil([this] { return Rows() == 1; }));
    QCOMPARE(form->CallOfRow(0), sales);
    QCOMPARE(Panel(1), QStringLiteral("1"));
    QCOMPARE(Panel(3), QStringLiteral("0"));
  }
};

}  // namespace ringwatch::testing

int main(int argc, char** argv) {
  ringwatch::testing::PrepareHeadlessQt();
  QApplication app(argc, argv);
  ringwatch::testing::MainWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "main_window_test.moc"
