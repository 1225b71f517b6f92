// The dialing-locations dialog (lineTranslateDialogW): the user's locations — choose the one
// dialled from, add, edit and remove them (never the last) — and calling cards, with a preview
// of the number the application asked about, translated by TAPI. OK stores everything at once;
// Cancel leaves the stored locations as they were.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "tapi32/locations.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace tapi32ui {

// A number as TAPI translates it, or why it cannot.
struct Translation {
  LONG result = 0;
  QString dialable;
  QString displayable;
  QString from;  // the location the number is dialled from
};

// "800, 888" as the user writes toll prefixes, ",800,888," as TAPI keeps them, and back.
QString TollPrefixesText(const std::u16string& tollPrefixList);
std::u16string TollPrefixList(const QString& text);

class TranslateDialog : public QDialog {
  Q_OBJECT

 public:
  // Stores the edited locations: 0, or the LINEERR_ code of the refusal.
  using Store = std::function<LONG(tapi32::LocationBook)>;
  // Translates `address` for the preview, from the location `locationId` of `edited`.
  using Preview = std::function<Translation(const tapi32::LocationBook& edited, DWORD locationId,
                                            const std::u16string& address)>;

  // An empty `address` shows no preview.
  TranslateDialog(tapi32::LocationBook book, std::u16string address, Store store, Preview preview,
                  QWidget* parent = nullptr);

  // The locations and cards as the dialog now has them, the selected location current.
  tapi32::LocationBook Edited() const;

  // Stores the locations; when they are refused, says why and stays open.
  void accept() override;

 private:
  QWidget* LocationsPage();
  QWidget* CardsPage();
  QWidget* PreviewBox();

  void AddLocation();
  void RemoveLocation();
  void ShowLocation();
  void AddCard();
  void RemoveCard();
  void ShowCard();
  void FillCardChoice();
  void UpdatePreview();
  // The entry of the selected list row, or nullptr.
  tapi32::DialingLocation* SelectedLocation();
  tapi32::CallingCard* SelectedCard();
  // Copies the editor's fields into the selected entry.
  void StoreLocationFields();
  void StoreCardFields();
  QString Problem() const;

  tapi32::LocationBook book_;
  std::u16string address_;
  Store store_;
  Preview preview_;
  bool showing_ = false;  // fields are being filled from an entry: no edit to copy back

  QListWidget* locations_;
  QPushButton* removeLocation_;
  QLineEdit* locationName_;
  QComboBox* country_;
  QLineEdit* areaCode_;
  QLineEdit* localAccess_;
  QLineEdit* longDistanceAccess_;
  QLineEdit* tollPrefixes_;
  QLineEdit* cancelCallWaiting_;
  QRadioButton* tone_;
  QRadioButton* pulse_;
  QComboBox* locationCard_;
  QWidget* locationEditor_;

  QListWidget* cards_;
  QPushButton* removeCard_;
  QLineEdit* cardName_;
  QLineEdit* cardNumber_;
  QLineEdit* sameAreaRule_;
  QLineEdit* longDistanceRule_;
  QLineEdit* internationalRule_;
  QWidget* cardEditor_;

  QLabel* previewFrom_;
  QLabel* dialable_;
  QLabel* displayable_;
  QLabel* previewError_;
};

// The entry behind lineTranslateDialogW: shows the dialog modally over the user's locations;
// the preview asks lineTranslateAddressW for the line `deviceId`. 0 whether the user stored
// the changes or cancelled, or the LINEERR_ code that kept the dialog from showing.
LONG ShowTranslateDialog(DWORD deviceId, HWND owner, const std::u16string& addressIn);

}  // namespace tapi32ui
