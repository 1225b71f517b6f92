// The line configuration dialog, offscreen: lineConfigDialogW shows the line's settings as TAPI
// reports them, renaming the line and its addresses reconfigures the switch's line and its
// applications hear LINE_LINEDEVSTATE CAPSCHANGE, cancelling changes nothing; the answers the
// dialog reads are read within their bounds.
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <cstring>

#include "dialog_test_support.h"
#include "tapi32/sim/switch.h"
#include "tapi32ui/line_config_dialog.h"
#include "tapi32ui/register.h"
#include "tapi32ui/tapi_query.h"

using dialogtest::WhenShown;
using tapi32ui::LineConfigDialog;

namespace {

QString LabelText(const LineConfigDialog& dialog, const char* name) {
  return dialog.findChild<QLabel*>(name)->text();
}

}  // namespace

class LineConfigDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    tapi32::sim::Config config;
    tapi32::sim::LineConfig line;
    line.name = "Reception";
    line.permanentId = 0x1001;
    line.numAddresses = 2;
    line.addressNames = {"200", "201"};
    line.mediaModes = LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_G3FAX;
    line.switchInfo = "PBX 7";
    config.lines = {line};
    tapi32::sim::Switch::Instance().Reset(config);
    app_ = dialogtest::InitLine();
    tapi32ui::Register();
  }

  void cleanup() {
    lineShutdown(app_);
    tapi32ui::Unregister();
  }

  void showsTheLinesSettingsAndRenamesIt() {
    WhenShown<LineConfigDialog>([](LineConfigDialog& dialog) {
      auto* name = dialog.findChild<QLineEdit*>("name");
      auto* addresses = dialog.findChild<QListWidget*>("addresses");
      QCOMPARE(name->text(), QString("Reception"));
      QCOMPARE(LabelText(dialog, "providerInfo"), QString("zvTapi simulated switch"));
      QCOMPARE(LabelText(dialog, "switchInfo"), QString("PBX 7"));
      QCOMPARE(LabelText(dialog, "permanentId"), QString("0x1001"));
      QCOMPARE(LabelText(dialog, "mediaModes"), QString("Interactive voice, G3 fax"));
      QCOMPARE(LabelText(dialog, "bearerModes"), QString("Voice"));
      QCOMPARE(LabelText(dialog, "deviceClasses"), QString("tapi/line, wave/in, wave/out"));
      QCOMPARE(addresses->count(), 2);
      QCOMPARE(addresses->item(1)->text(), QString("201"));
      name->setText("Front Desk");
      addresses->item(1)->setText("202");
      dialog.accept();
    });
    QCOMPARE(lineConfigDialogW(0, 0, u"tapi/line"), 0);
    const auto config = tapi32::sim::Switch::Instance().LineConfigOf(0);
    QCOMPARE(config.name, std::string("Front Desk"));
    QCOMPARE(config.addressNames, (std::vector<std::string>{"200", "202"}));
    LINEMESSAGE message{};
    QCOMPARE(lineGetMessage(app_, &message, 0), 0);
    QCOMPARE(message.dwMessageID, static_cast<DWORD>(LINE_LINEDEVSTATE));
    QCOMPARE(message.dwParam1, static_cast<DWORD>(LINEDEVSTATE_CAPSCHANGE));
  }

  void cancellingOrChangingNothingAnnouncesNothing() {
    WhenShown<LineConfigDialog>([](LineConfigDialog& dialog) {
      dialog.findChild<QLineEdit*>("name")->setText("Other");
      dialog.reject();
    });
    QCOMPARE(lineConfigDialogW(0, 0, nullptr), 0);
    WhenShown<LineConfigDialog>([](LineConfigDialog& dialog) { dialog.accept(); });
    QCOMPARE(lineConfigDialogW(0, 0, nullptr), 0);
    QCOMPARE(tapi32::sim::Switch::Instance().LineConfigOf(0).name, std::string("Reception"));
    LINEMESSAGE message{};
    QVERIFY(lineGetMessage(app_, &message, 0) != 0);
  }

  // Refused before any dialog shows: a dialog would wait for a user and the test would hang.
  void refusesUnknownLinesAndClassesAndAnswersUnavailableWithoutTheModule() {
    QCOMPARE(lineConfigDialogW(4, 0, nullptr), tapi32::Err(LINEERR_BADDEVICEID));
    QCOMPARE(lineConfigDialogW(0, 0, u"comm/datamodem"), tapi32::Err(LINEERR_INVALDEVICECLASS));
    tapi32ui::Unregister();
    QCOMPARE(lineConfigDialogW(0, 0, nullptr), tapi32::Err(LINEERR_OPERATIONUNAVAIL));
  }

  void readsAnswersWithinTheirBoundsAndGrowsTheBuffer() {
    // A provider that first asks for more room, then writes one good text and two whose size
    // or offset reach beyond what it wrote.
    int calls = 0;
    const auto answer = tapi32ui::Answer::Query(sizeof(LINEDEVCAPS), [&](void* buffer) {
      auto* caps = static_cast<LPLINEDEVCAPS>(buffer);
      ++calls;
      const DWORD needed = sizeof(LINEDEVCAPS) + 8;
      caps->dwNeededSize = needed;
      if (caps->dwTotalSize < needed) {
        caps->dwUsedSize = sizeof(LINEDEVCAPS);
        return 0;
      }
      caps->dwUsedSize = needed;
      std::memcpy(reinterpret_cast<char*>(caps) + sizeof(LINEDEVCAPS), u"abc", 8);
      caps->dwLineNameSize = 8;
      caps->dwLineNameOffset = sizeof(LINEDEVCAPS);
      caps->dwProviderInfoSize = 10;  // two bytes past the end of what was written
      caps->dwProviderInfoOffset = sizeof(LINEDEVCAPS);
      caps->dwSwitchInfoSize = 4;
      caps->dwSwitchInfoOffset = 0xFFFFFFFE;  // wraps around in 32 bits
      return 0;
    });
    QCOMPARE(calls, 2);
    QCOMPARE(answer.Result(), 0);
    const auto& caps = answer.As<LINEDEVCAPS>();
    QCOMPARE(answer.Text(caps.dwLineNameSize, caps.dwLineNameOffset), QString("abc"));
    QVERIFY(answer.Text(caps.dwProviderInfoSize, caps.dwProviderInfoOffset).isEmpty());
    QVERIFY(answer.Text(caps.dwSwitchInfoSize, caps.dwSwitchInfoOffset).isEmpty());
    QCOMPARE(answer.Texts(caps.dwLineNameSize, caps.dwLineNameOffset), QStringList{"abc"});
  }

 private:
  HLINEAPP app_ = 0;
};

QTEST_MAIN(LineConfigDialogTest)
#include "line_config_dialog_test.moc"
