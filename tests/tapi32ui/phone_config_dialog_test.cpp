// The phone configuration dialog, offscreen: phoneConfigDialogW shows it once the module is
// registered, accepting a change reconfigures the switch's phone and its applications hear
// PHONE_STATE CAPSCHANGE, cancelling changes nothing.
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "tapi32/sim/switch.h"
#include "tapi32/tapi.h"
#include "tapi32ui/phone_config_dialog.h"
#include "tapi32ui/register.h"

namespace {

// Runs `act` on the dialog as soon as it is shown modally.
void WhenShown(std::function<void(tapi32ui::PhoneConfigDialog&)> act) {
  QTimer::singleShot(0, [act] {
    auto* dialog = qobject_cast<tapi32ui::PhoneConfigDialog*>(QApplication::activeModalWidget());
    QVERIFY(dialog != nullptr);
    act(*dialog);
  });
}

HPHONEAPP InitPhone() {
  HPHONEAPP app = 0;
  DWORD devices = 0;
  DWORD version = 0x00020002;
  PHONEINITIALIZEEXPARAMS params{};
  params.dwTotalSize = sizeof(params);
  params.dwOptions = PHONEINITIALIZEEXOPTION_USEEVENT;
  phoneInitializeExW(&app, 0, nullptr, u"dialog test", &devices, &version, &params);
  return app;
}

}  // namespace

class PhoneConfigDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    tapi32::sim::Config config;
    tapi32::sim::PhoneConfig phone;
    phone.name = "Desk";
    phone.numButtonLamps = 12;
    config.phones = {phone};
    tapi32::sim::Switch::Instance().Reset(config);
    app_ = InitPhone();
    tapi32ui::Register();
  }

  void cleanup() {
    phoneShutdown(app_);
    tapi32ui::Unregister();
  }

  void unavailableWithoutTheModule() {
    tapi32ui::Unregister();
    QCOMPARE(phoneConfigDialogW(0, 0, nullptr), static_cast<LONG>(PHONEERR_OPERATIONUNAVAIL));
  }

  void showsThePhonesSettingsAndAppliesAChange() {
    WhenShown([](tapi32ui::PhoneConfigDialog& dialog) {
      auto* name = dialog.findChild<QLineEdit*>("name");
      auto* columns = dialog.findChild<QSpinBox*>("displayColumns");
      auto* buttons = dialog.findChild<QSpinBox*>("buttons");
      QCOMPARE(name->text(), QString("Desk"));
      QCOMPARE(columns->value(), 40);
      QCOMPARE(dialog.findChild<QListWidget*>("buttonList")->count(), 12);
      name->setText("Front Desk");
      columns->setValue(20);
      buttons->setValue(14);
      QCOMPARE(dialog.findChild<QListWidget*>("buttonList")->item(13)->text(),
               QString("13: Line 2"));
      dialog.accept();
    });
    QCOMPARE(phoneConfigDialogW(0, 0, u"tapi/phone"), 0);
    const auto config = tapi32::sim::Switch::Instance().PhoneConfigOf(0);
    QCOMPARE(config.name, std::string("Front Desk"));
    QCOMPARE(config.displayColumns, 20u);
    QCOMPARE(config.numButtonLamps, 14u);
    PHONEMESSAGE message{};
    QCOMPARE(phoneGetMessage(app_, &message, 0), 0);
    QCOMPARE(message.dwMessageID, static_cast<DWORD>(PHONE_STATE));
    QCOMPARE(message.dwParam1, static_cast<DWORD>(PHONESTATE_CAPSCHANGE));
    QCOMPARE(message.hDevice, 0u);
  }

  void cancellingChangesNothing() {
    WhenShown([](tapi32ui::PhoneConfigDialog& dialog) {
      dialog.findChild<QLineEdit*>("name")->setText("Other");
      dialog.reject();
    });
    QCOMPARE(phoneConfigDialogW(0, 0, nullptr), 0);
    QCOMPARE(tapi32::sim::Switch::Instance().PhoneConfigOf(0).name, std::string("Desk"));
    PHONEMESSAGE message{};
    QVERIFY(phoneGetMessage(app_, &message, 0) != 0);
  }

  void refusesUnknownPhonesAndClasses() {
    QCOMPARE(phoneConfigDialogW(3, 0, nullptr), static_cast<LONG>(PHONEERR_BADDEVICEID));
    QCOMPARE(phoneConfigDialogW(0, 0, u"comm/datamodem"),
             static_cast<LONG>(PHONEERR_INVALDEVICECLASS));
  }

 private:
  HPHONEAPP app_ = 0;
};

QTEST_MAIN(PhoneConfigDialogTest)
#include "phone_config_dialog_test.moc"
