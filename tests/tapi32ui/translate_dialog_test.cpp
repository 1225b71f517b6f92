// The dialing-locations dialog, offscreen: lineTranslateDialogW shows the user's locations; OK
// stores what the user added, edited and chose, Cancel stores nothing; the last location cannot
// be removed; a refused store keeps the dialog open; one dialog shows at a time; the preview
// shows TAPI's translation of the application's number, or why there is none.
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

#include "dialog_test_support.h"
#include "tapi32/server.h"
#include "tapi32/sim/switch.h"
#include "tapi32ui/register.h"
#include "tapi32ui/tapi_query.h"
#include "tapi32ui/translate_dialog.h"

using dialogtest::WhenShown;
using tapi32ui::TranslateDialog;

namespace {

constexpr DWORD kVersion = 0x00020002;

tapi32::LocationBook TwoLocations() {
  tapi32::LocationBook book;
  tapi32::DialingLocation home;
  home.permanentId = 1;
  home.name = u"Home";
  home.countryId = 44;
  home.cityCode = u"20";
  home.localAccessCode = u"9";
  home.preferredCardId = 1;
  tapi32::DialingLocation office;
  office.permanentId = 2;
  office.name = u"Office";
  office.countryId = 49;
  office.cityCode = u"30";
  tapi32::CallingCard card;
  card.permanentId = 1;
  card.name = u"Corporate";
  card.number = u"123456";
  book.locations = {home, office};
  book.cards = {card};
  book.currentLocationId = 1;
  book.currentPreferredCardId = 1;
  return book;
}

template <class Widget>
Widget* Find(const QDialog& dialog, const char* name) {
  auto* widget = dialog.findChild<Widget*>(name);
  if (widget == nullptr) qFatal("no widget %s", name);
  return widget;
}

void Type(const QDialog& dialog, const char* field, const QString& text) {
  auto* edit = Find<QLineEdit>(dialog, field);
  edit->selectAll();
  QTest::keyClicks(edit, text);
}

void PressOk(const QDialog& dialog) {
  dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
}

void Click(const QDialog& dialog, const char* button) {
  Find<QPushButton>(dialog, button)->click();
}

LONG ShowDialog(HLINEAPP app, LPCWSTR address = nullptr) {
  return lineTranslateDialogW(app, 0, kVersion, 0, address);
}

}  // namespace

class TranslateDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    saved_ = tapi32::Server::Instance().Locations();
    QCOMPARE(tapi32::Server::Instance().SetLocations(TwoLocations()), 0);
    tapi32::sim::Config config;
    tapi32::sim::LineConfig line;
    line.name = "Reception";
    config.lines = {line};
    tapi32::sim::Switch::Instance().Reset(config);
    app_ = dialogtest::InitLine();
    tapi32ui::Register();
  }

  void cleanup() {
    lineShutdown(app_);
    tapi32ui::Unregister();
    tapi32::Server::Instance().SetLocations(saved_);
  }

  void showsTheLocationsWithTheCurrentOneSelected() {
    WhenShown<TranslateDialog>([](TranslateDialog& dialog) {
      auto* locations = Find<QListWidget>(dialog, "locations");
      QCOMPARE(locations->count(), 2);
      QCOMPARE(locations->currentItem()->text(), QString("Home"));
      QCOMPARE(Find<QLineEdit>(dialog, "areaCode")->text(), QString("20"));
      QCOMPARE(Find<QLineEdit>(dialog, "localAccess")->text(), QString("9"));
      QCOMPARE(Find<QComboBox>(dialog, "country")->currentText(), QString("United Kingdom (44)"));
      QCOMPARE(Find<QComboBox>(dialog, "locationCard")->currentText(), QString("Corporate"));
      QVERIFY(Find<QRadioButton>(dialog, "tone")->isChecked());
      auto* number = Find<QLineEdit>(dialog, "cardNumber");
      QCOMPARE(number->text(), QString("123456"));
      QCOMPARE(number->echoMode(), QLineEdit::Password);
      QVERIFY(!Find<QGroupBox>(dialog, "preview")->isVisibleTo(&dialog));
      dialog.reject();
    });
    QCOMPARE(ShowDialog(app_), 0);
  }

  void okStoresAnAddedLocationAsTheCurrentOne() {
    WhenShown<TranslateDialog>([](TranslateDialog& dialog) {
      Click(dialog, "addLocation");
      Type(dialog, "locationName", "Cottage");
      auto* country = Find<QComboBox>(dialog, "country");
      country->setCurrentIndex(country->findData(49));
      Type(dialog, "areaCode", "351");
      Type(dialog, "tollPrefixes", "800 888");
      Find<QRadioButton>(dialog, "pulse")->setChecked(true);
      QCOMPARE(Find<QListWidget>(dialog, "locations")->currentItem()->text(), QString("Cottage"));
      PressOk(dialog);
    });
    QCOMPARE(ShowDialog(app_), 0);
    const tapi32::LocationBook book = tapi32::Server::Instance().Locations();
    QCOMPARE(book.locations.size(), size_t{3});
    const tapi32::DialingLocation* cottage = book.Current();
    QVERIFY(cottage != nullptr);
    QCOMPARE(cottage->permanentId, 3u);
    QVERIFY(cottage->name == u"Cottage");
    QCOMPARE(cottage->countryId, 49u);
    QVERIFY(cottage->cityCode == u"351");
    QVERIFY(cottage->tollPrefixList == u",800,888,");
    QCOMPARE(cottage->options, static_cast<DWORD>(LINELOCATIONOPTION_PULSEDIAL));
    QCOMPARE(book.currentPreferredCardId, 0u);
  }

  void okStoresTheChosenLocationAndCancelStoresNothing() {
    WhenShown<TranslateDialog>([](TranslateDialog& dialog) {
      Find<QListWidget>(dialog, "locations")->setCurrentRow(1);
      Type(dialog, "areaCode", "40");
      Click(dialog, "addLocation");
      dialog.reject();
    });
    QCOMPARE(ShowDialog(app_), 0);
    QCOMPARE(tapi32::Server::Instance().Locations().locations.size(), size_t{2});
    QCOMPARE(tapi32::Server::Instance().Locations().currentLocationId, 1u);

    WhenShown<TranslateDialog>([](TranslateDialog& dialog) {
      Find<QListWidget>(dialog, "locations")->setCurrentRow(1);
      Type(dialog, "areaCode", "40");
      PressOk(dialog);
    });
    QCOMPARE(ShowDialog(app_), 0);
    const tapi32::LocationBook book = tapi32::Server::Instance().Locations();
    QCOMPARE(book.currentLocationId, 2u);
    QVERIFY(book.Current()->cityCode == u"40");
    QVERIFY(book.FindLocation(1)->cityCode == u"20");
  }

  void theLastLocationCannotBeRemoved() {
    WhenShown<TranslateDialog>([](TranslateDialog& dialog) {
      auto* remove = Find<QPushButton>(dialog, "removeLocation");
      QVERIFY(remove->isEnabled());
      Click(dialog, "removeLocation");
      QVERIFY(!remove->isEnabled());
      Click(dialog, "removeLocation");
      QCOMPARE(Find<QListWidget>(dialog, "locations")->count(), 1);
      PressOk(dialog);
    });
    QCOMPARE(ShowDialog(app_), 0);
    const tapi32::LocationBook book = tapi32::Server::Instance().Locations();
    QCOMPARE(book.locations.size(), size_t{1});
    QCOMPARE(book.currentLocationId, book.locations.front().permanentId);
  }

  void removingACardLeavesNoLocationUsingIt() {
    TranslateDialog dialog(TwoLocations(), {}, {}, {});
    Click(dialog, "removeCard");
    const tapi32::LocationBook edited = dialog.Edited();
    QVERIFY(edited.cards.empty());
    QCOMPARE(edited.FindLocation(1)->preferredCardId, 0u);
    QCOMPARE(edited.currentPreferredCardId, 0u);
    QCOMPARE(Find<QComboBox>(dialog, "locationCard")->count(), 1);
  }

  void aRefusedStoreSaysWhyAndKeepsTheDialogOpen() {
    int stores = 0;
    TranslateDialog dialog(TwoLocations(), {},
                           [&stores](tapi32::LocationBook) {
                             ++stores;
                             return tapi32::Err(LINEERR_INVALLOCATION);
                           },
                           {});
    QString shownText;
    bool stillOpen = false;
    WhenShown<TranslateDialog>([&](TranslateDialog& shown) {
      QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box != nullptr);
        shownText = box->text();
        box->accept();
      });
      PressOk(shown);
      stillOpen = shown.isVisible();
      shown.reject();
    });
    QCOMPARE(dialog.exec(), static_cast<int>(QDialog::Rejected));
    QCOMPARE(stores, 1);
    QVERIFY(stillOpen);
    QCOMPARE(shownText, tapi32ui::LineErrorText(tapi32::Err(LINEERR_INVALLOCATION)));
  }

  void oneDialogAtATime() {
    LONG second = 0;
    WhenShown<TranslateDialog>([&](TranslateDialog& dialog) {
      second = ShowDialog(app_);
      dialog.reject();
    });
    QCOMPARE(ShowDialog(app_), 0);
    QCOMPARE(second, tapi32::Err(LINEERR_INUSE));
    WhenShown<TranslateDialog>([](TranslateDialog& dialog) { dialog.reject(); });
    QCOMPARE(ShowDialog(app_), 0);
  }

  // The preview is what lineTranslateAddressW answers while nothing is edited, and follows the
  // edits before they are stored: from area 20 the London number is local, from area 21 it is a
  // long-distance call.
  void thePreviewTranslatesFromTheLocationBeingEdited() {
    const char16_t* number = u"+44 (20) 7946 0904";
    auto expected = tapi32ui::Answer::Query(1024, [&](void* buffer) {
      return lineTranslateAddressW(app_, 0, kVersion, number, 0, 0,
                                   static_cast<LPLINETRANSLATEOUTPUT>(buffer));
    });
    QCOMPARE(expected.Result(), 0);
    const auto& output = expected.As<LINETRANSLATEOUTPUT>();
    WhenShown<TranslateDialog>([&](TranslateDialog& dialog) {
      QVERIFY(Find<QGroupBox>(dialog, "preview")->isVisibleTo(&dialog));
      QCOMPARE(Find<QLabel>(dialog, "previewFrom")->text(), QString("Home"));
      QVERIFY(Find<QLabel>(dialog, "previewError")->text().isEmpty());
      auto* dialable = Find<QLabel>(dialog, "dialable");
      QCOMPARE(dialable->text(),
               expected.Text(output.dwDialableStringSize, output.dwDialableStringOffset));
      QVERIFY(!dialable->text().contains("020"));
      Type(dialog, "areaCode", "21");
      QVERIFY(dialable->text().contains("02079460904"));
      QCOMPARE(Find<QLabel>(dialog, "previewFrom")->text(), QString("Home"));
      dialog.reject();
    });
    QCOMPARE(ShowDialog(app_, number), 0);
  }

  void thePreviewFollowsTheLocationBeingEdited() {
    auto preview = [](const tapi32::LocationBook& edited, DWORD locationId,
                      const std::u16string& address) {
      tapi32ui::Translation translation;
      const tapi32::DialingLocation* location = edited.FindLocation(locationId);
      translation.from = QString::fromStdU16String(location->name);
      translation.dialable = QString::fromStdU16String(location->cityCode + u"|" + address);
      return translation;
    };
    TranslateDialog dialog(TwoLocations(), u"5550100", {}, preview);
    auto* dialable = Find<QLabel>(dialog, "dialable");
    QCOMPARE(dialable->text(), QString("20|5550100"));
    Type(dialog, "areaCode", "21");
    QCOMPARE(dialable->text(), QString("21|5550100"));
    Find<QListWidget>(dialog, "locations")->setCurrentRow(1);
    QCOMPARE(dialable->text(), QString("30|5550100"));
    QCOMPARE(Find<QLabel>(dialog, "previewFrom")->text(), QString("Office"));
  }

  void tollPrefixesAreWrittenAsTapiKeepsThem() {
    QVERIFY(tapi32ui::TollPrefixList(" 800, 888;900 ") == u",800,888,900,");
    QVERIFY(tapi32ui::TollPrefixList("  ").empty());
    QCOMPARE(tapi32ui::TollPrefixesText(u",800,888,"), QString("800, 888"));
  }

 private:
  HLINEAPP app_ = 0;
  tapi32::LocationBook saved_;
};

QTEST_MAIN(TranslateDialogTest)
#include "translate_dialog_test.moc"
