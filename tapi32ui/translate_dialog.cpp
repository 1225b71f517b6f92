#include "tapi32ui/translate_dialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "tapi32/countries.h"
#include "tapi32/server.h"
#include "tapi32/tapi.h"
#include "tapi32/translate.h"
#include "tapi32ui/tapi_query.h"

namespace tapi32ui {

namespace {

constexpr int kIdRole = Qt::UserRole;

QLineEdit* LineEdit(const char* name) {
  auto* edit = new QLineEdit;
  edit->setObjectName(name);
  return edit;
}

QPushButton* Button(const char* name, const QString& text) {
  auto* button = new QPushButton(text);
  button->setObjectName(name);
  return button;
}

QLabel* PreviewLabel(const char* name) {
  auto* label = new QLabel;
  label->setObjectName(name);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label->setWordWrap(true);
  return label;
}

// Permanent IDs are never reused while the entry with the highest one exists.
template <typename Entry>
DWORD NextId(const std::vector<Entry>& entries) {
  DWORD highest = 0;
  for (const Entry& entry : entries)
    highest = std::max(highest, entry.permanentId);
  return highest + 1;
}

template <typename Entry>
Entry* FindEntry(std::vector<Entry>& entries, DWORD permanentId) {
  auto it = std::find_if(entries.begin(), entries.end(),
                         [permanentId](const Entry& e) { return e.permanentId == permanentId; });
  return it == entries.end() ? nullptr : &*it;
}

DWORD ItemId(const QListWidgetItem* item) {
  return item == nullptr ? 0 : item->data(kIdRole).toUInt();
}

QListWidgetItem* AddItem(QListWidget* list, const std::u16string& name, DWORD id) {
  auto* item = new QListWidgetItem(QString::fromStdU16String(name), list);
  item->setData(kIdRole, id);
  return item;
}

// The number as it would be dialled from the location being edited, by the same translation
// lineTranslateAddressW uses, so that the preview follows every edit before it is stored.
Translation TranslateFromEdited(const tapi32::LocationBook& edited, DWORD locationId,
                                const std::u16string& address) {
  Translation shown;
  if (const tapi32::DialingLocation* location = edited.FindLocation(locationId))
    shown.from = QString::fromStdU16String(location->name);
  tapi32::Translation translation;
  shown.result = tapi32::TranslateFromBook(edited, locationId, address, 0, 0, &translation);
  if (shown.result != 0) return shown;
  shown.dialable = QString::fromStdU16String(translation.dialable);
  shown.displayable = QString::fromStdU16String(translation.displayable);
  return shown;
}

}  // namespace

QString TollPrefixesText(const std::u16string& tollPrefixList) {
  const QStringList prefixes =
      QString::fromStdU16String(tollPrefixList).split(u',', Qt::SkipEmptyParts);
  return prefixes.join(QStringLiteral(", "));
}

std::u16string TollPrefixList(const QString& text) {
  const QStringList prefixes =
      text.split(QRegularExpression(QStringLiteral("[,;\\s]+")), Qt::SkipEmptyParts);
  if (prefixes.isEmpty()) return {};
  return (u',' + prefixes.join(u',') + u',').toStdU16String();
}

TranslateDialog::TranslateDialog(tapi32::LocationBook book, std::u16string address, Store store,
                                 Preview preview, QWidget* parent)
    : QDialog(parent),
      book_(std::move(book)),
      address_(std::move(address)),
      store_(std::move(store)),
      preview_(std::move(preview)) {
  setWindowTitle(tr("Dialing Properties"));
  auto* tabs = new QTabWidget;
  tabs->addTab(LocationsPage(), tr("&Locations"));
  tabs->addTab(CardsPage(), tr("&Calling Cards"));
  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs);
  layout->addWidget(PreviewBox());
  layout->addWidget(box);
  connect(box, &QDialogButtonBox::accepted, this, &TranslateDialog::accept);
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);

  for (const tapi32::DialingLocation& location : book_.locations)
    AddItem(locations_, location.name, location.permanentId);
  for (const tapi32::CallingCard& card : book_.cards) {
    if ((card.options & LINECARDOPTION_HIDDEN) == 0) AddItem(cards_, card.name, card.permanentId);
  }
  FillCardChoice();
  // TAPI dials from some location: a user without one starts by describing it.
  if (book_.locations.empty()) AddLocation();
  const auto current = std::find_if(
      book_.locations.begin(), book_.locations.end(),
      [this](const auto& location) { return location.permanentId == book_.currentLocationId; });
  locations_->setCurrentRow(
      current == book_.locations.end() ? 0 : static_cast<int>(current - book_.locations.begin()));
  cards_->setCurrentRow(0);
  // The rows may have been current already, without a change to show.
  ShowLocation();
  ShowCard();
}

QWidget* TranslateDialog::LocationsPage() {
  locations_ = new QListWidget;
  locations_->setObjectName("locations");
  auto* add = Button("addLocation", tr("&New"));
  removeLocation_ = Button("removeLocation", tr("&Remove"));
  locationName_ = LineEdit("locationName");
  country_ = new QComboBox;
  country_->setObjectName("country");
  for (const tapi32::Country& country : tapi32::Countries()) {
    country_->addItem(QStringLiteral("%1 (%2)")
                          .arg(QString::fromStdU16String(country.name))
                          .arg(country.callingCode),
                      country.id);
  }
  areaCode_ = LineEdit("areaCode");
  localAccess_ = LineEdit("localAccess");
  longDistanceAccess_ = LineEdit("longDistanceAccess");
  tollPrefixes_ = LineEdit("tollPrefixes");
  cancelCallWaiting_ = LineEdit("cancelCallWaiting");
  tone_ = new QRadioButton(tr("&Tone"));
  tone_->setObjectName("tone");
  pulse_ = new QRadioButton(tr("&Pulse"));
  pulse_->setObjectName("pulse");
  auto* dialing = new QButtonGroup(this);
  dialing->addButton(tone_);
  dialing->addButton(pulse_);
  locationCard_ = new QComboBox;
  locationCard_->setObjectName("locationCard");

  auto* dialingRow = new QHBoxLayout;
  dialingRow->addWidget(tone_);
  dialingRow->addWidget(pulse_);
  dialingRow->addStretch();
  locationEditor_ = new QWidget;
  auto* form = new QFormLayout(locationEditor_);
  form->addRow(tr("Location &name:"), locationName_);
  form->addRow(tr("C&ountry:"), country_);
  form->addRow(tr("&Area code:"), areaCode_);
  form->addRow(tr("Outside line for &local calls:"), localAccess_);
  form->addRow(tr("Outside line for lon&g distance:"), longDistanceAccess_);
  form->addRow(tr("Toll &prefixes:"), tollPrefixes_);
  form->addRow(tr("Disable call &waiting with:"), cancelCallWaiting_);
  form->addRow(tr("Dial using:"), dialingRow);
  form->addRow(tr("Calling car&d:"), locationCard_);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(add);
  buttons->addWidget(removeLocation_);
  buttons->addStretch();
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(locations_);
  layout->addLayout(buttons);
  layout->addWidget(locationEditor_);

  connect(locations_, &QListWidget::currentRowChanged, this, &TranslateDialog::ShowLocation);
  connect(add, &QPushButton::clicked, this, &TranslateDialog::AddLocation);
  connect(removeLocation_, &QPushButton::clicked, this, &TranslateDialog::RemoveLocation);
  for (QLineEdit* edit : {locationName_, areaCode_, localAccess_, longDistanceAccess_,
                          tollPrefixes_, cancelCallWaiting_}) {
    connect(edit, &QLineEdit::textEdited, this, &TranslateDialog::StoreLocationFields);
  }
  for (QComboBox* combo : {country_, locationCard_}) {
    connect(combo, &QComboBox::currentIndexChanged, this, &TranslateDialog::StoreLocationFields);
  }
  connect(pulse_, &QRadioButton::toggled, this, &TranslateDialog::StoreLocationFields);
  return page;
}

QWidget* TranslateDialog::CardsPage() {
  cards_ = new QListWidget;
  cards_->setObjectName("cards");
  auto* add = Button("addCard", tr("Ne&w"));
  removeCard_ = Button("removeCard", tr("Re&move"));
  cardName_ = LineEdit("cardName");
  cardNumber_ = LineEdit("cardNumber");
  // Whoever looks over the user's shoulder should not learn the card's number.
  cardNumber_->setEchoMode(QLineEdit::Password);
  sameAreaRule_ = LineEdit("sameAreaRule");
  longDistanceRule_ = LineEdit("longDistanceRule");
  internationalRule_ = LineEdit("internationalRule");

  cardEditor_ = new QWidget;
  auto* form = new QFormLayout(cardEditor_);
  form->addRow(tr("Card &name:"), cardName_);
  form->addRow(tr("Card n&umber:"), cardNumber_);
  form->addRow(tr("Calls within the &area:"), sameAreaRule_);
  form->addRow(tr("&Long-distance calls:"), longDistanceRule_);
  form->addRow(tr("&International calls:"), internationalRule_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(add);
  buttons->addWidget(removeCard_);
  buttons->addStretch();
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(cards_);
  layout->addLayout(buttons);
  layout->addWidget(cardEditor_);

  connect(cards_, &QListWidget::currentRowChanged, this, &TranslateDialog::ShowCard);
  connect(add, &QPushButton::clicked, this, &TranslateDialog::AddCard);
  connect(removeCard_, &QPushButton::clicked, this, &TranslateDialog::RemoveCard);
  for (QLineEdit* edit :
       {cardName_, cardNumber_, sameAreaRule_, longDistanceRule_, internationalRule_}) {
    connect(edit, &QLineEdit::textEdited, this, &TranslateDialog::StoreCardFields);
  }
  return page;
}

QWidget* TranslateDialog::PreviewBox() {
  auto* box = new QGroupBox(tr("Number to dial"));
  box->setObjectName("preview");
  previewFrom_ = PreviewLabel("previewFrom");
  dialable_ = PreviewLabel("dialable");
  displayable_ = PreviewLabel("displayable");
  previewError_ = PreviewLabel("previewError");
  auto* form = new QFormLayout(box);
  form->addRow(tr("Dialing from:"), previewFrom_);
  form->addRow(tr("Dialed:"), dialable_);
  form->addRow(tr("Shown:"), displayable_);
  form->addRow(previewError_);
  box->setVisible(!address_.empty());
  return box;
}

tapi32::DialingLocation* TranslateDialog::SelectedLocation() {
  return FindEntry(book_.locations, ItemId(locations_->currentItem()));
}

tapi32::CallingCard* TranslateDialog::SelectedCard() {
  return FindEntry(book_.cards, ItemId(cards_->currentItem()));
}

void TranslateDialog::AddLocation() {
  tapi32::DialingLocation location;
  location.permanentId = NextId(book_.locations);
  location.name = tr("New Location").toStdU16String();
  // Most new locations are in the country of the one the user dials from now.
  if (const tapi32::DialingLocation* selected = SelectedLocation()) {
    location.countryId = selected->countryId;
  } else if (!tapi32::Countries().empty()) {
    location.countryId = tapi32::Countries().front().id;
  }
  book_.locations.push_back(location);
  locations_->setCurrentItem(AddItem(locations_, location.name, location.permanentId));
  locationName_->setFocus();
  locationName_->selectAll();
}

void TranslateDialog::RemoveLocation() {
  // TAPI always dials from some location: the last one stays.
  if (book_.locations.size() <= 1) return;
  const DWORD id = ItemId(locations_->currentItem());
  std::erase_if(book_.locations, [id](const auto& location) { return location.permanentId == id; });
  delete locations_->takeItem(locations_->currentRow());
}

void TranslateDialog::ShowLocation() {
  const tapi32::DialingLocation* location = SelectedLocation();
  locationEditor_->setEnabled(location != nullptr);
  removeLocation_->setEnabled(location != nullptr && book_.locations.size() > 1);
  if (location == nullptr) return;
  // The location the user selects is the one dialled from.
  book_.currentLocationId = location->permanentId;
  showing_ = true;
  locationName_->setText(QString::fromStdU16String(location->name));
  int country = country_->findData(location->countryId);
  if (country < 0) {
    // A country the table does not know any more: keep it rather than move the location.
    country_->addItem(tr("Country %1").arg(location->countryId), location->countryId);
    country = country_->count() - 1;
  }
  country_->setCurrentIndex(country);
  areaCode_->setText(QString::fromStdU16String(location->cityCode));
  localAccess_->setText(QString::fromStdU16String(location->localAccessCode));
  longDistanceAccess_->setText(QString::fromStdU16String(location->longDistanceAccessCode));
  tollPrefixes_->setText(TollPrefixesText(location->tollPrefixList));
  cancelCallWaiting_->setText(QString::fromStdU16String(location->cancelCallWaiting));
  const bool pulse = (location->options & LINELOCATIONOPTION_PULSEDIAL) != 0;
  pulse_->setChecked(pulse);
  tone_->setChecked(!pulse);
  locationCard_->setCurrentIndex(std::max(0, locationCard_->findData(location->preferredCardId)));
  showing_ = false;
  UpdatePreview();
}

void TranslateDialog::StoreLocationFields() {
  tapi32::DialingLocation* location = SelectedLocation();
  if (showing_ || location == nullptr) return;
  location->name = locationName_->text().trimmed().toStdU16String();
  location->countryId = country_->currentData().toUInt();
  location->cityCode = areaCode_->text().trimmed().toStdU16String();
  location->localAccessCode = localAccess_->text().trimmed().toStdU16String();
  location->longDistanceAccessCode = longDistanceAccess_->text().trimmed().toStdU16String();
  location->tollPrefixList = TollPrefixList(tollPrefixes_->text());
  location->cancelCallWaiting = cancelCallWaiting_->text().trimmed().toStdU16String();
  location->options = pulse_->isChecked() ? location->options | LINELOCATIONOPTION_PULSEDIAL
                                          : location->options & ~LINELOCATIONOPTION_PULSEDIAL;
  location->preferredCardId = locationCard_->currentData().toUInt();
  locations_->currentItem()->setText(QString::fromStdU16String(location->name));
  UpdatePreview();
}

void TranslateDialog::AddCard() {
  tapi32::CallingCard card;
  card.permanentId = NextId(book_.cards);
  card.name = tr("New Card").toStdU16String();
  book_.cards.push_back(card);
  cards_->setCurrentItem(AddItem(cards_, card.name, card.permanentId));
  FillCardChoice();
  cardName_->setFocus();
  cardName_->selectAll();
}

void TranslateDialog::RemoveCard() {
  const DWORD id = ItemId(cards_->currentItem());
  if (id == 0) return;
  std::erase_if(book_.cards, [id](const auto& card) { return card.permanentId == id; });
  // Locations that used the card dial directly from now on.
  for (tapi32::DialingLocation& location : book_.locations) {
    if (location.preferredCardId == id) location.preferredCardId = 0;
  }
  delete cards_->takeItem(cards_->currentRow());
  FillCardChoice();
}

void TranslateDialog::ShowCard() {
  const tapi32::CallingCard* card = SelectedCard();
  cardEditor_->setEnabled(card != nullptr);
  // Cards that came with the system are there for every user.
  removeCard_->setEnabled(card != nullptr && (card->options & LINECARDOPTION_PREDEFINED) == 0);
  const tapi32::CallingCard none;
  const tapi32::CallingCard& shown = card != nullptr ? *card : none;
  showing_ = true;
  cardName_->setText(QString::fromStdU16String(shown.name));
  cardNumber_->setText(QString::fromStdU16String(shown.number));
  sameAreaRule_->setText(QString::fromStdU16String(shown.sameAreaRule));
  longDistanceRule_->setText(QString::fromStdU16String(shown.longDistanceRule));
  internationalRule_->setText(QString::fromStdU16String(shown.internationalRule));
  showing_ = false;
}

void TranslateDialog::StoreCardFields() {
  tapi32::CallingCard* card = SelectedCard();
  if (showing_ || card == nullptr) return;
  card->name = cardName_->text().trimmed().toStdU16String();
  card->number = cardNumber_->text().trimmed().toStdU16String();
  card->sameAreaRule = sameAreaRule_->text().trimmed().toStdU16String();
  card->longDistanceRule = longDistanceRule_->text().trimmed().toStdU16String();
  card->internationalRule = internationalRule_->text().trimmed().toStdU16String();
  cards_->currentItem()->setText(QString::fromStdU16String(card->name));
  FillCardChoice();
  UpdatePreview();
}

void TranslateDialog::FillCardChoice() {
  const tapi32::DialingLocation* location = SelectedLocation();
  showing_ = true;
  locationCard_->clear();
  locationCard_->addItem(tr("None (direct dial)"), 0u);
  for (const tapi32::CallingCard& card : book_.cards) {
    if ((card.options & LINECARDOPTION_HIDDEN) == 0) {
      locationCard_->addItem(QString::fromStdU16String(card.name), card.permanentId);
    }
  }
  if (location != nullptr) {
    locationCard_->setCurrentIndex(std::max(0, locationCard_->findData(location->preferredCardId)));
  }
  showing_ = false;
}

void TranslateDialog::UpdatePreview() {
  if (address_.empty() || !preview_) return;
  const Translation translation = preview_(Edited(), book_.currentLocationId, address_);
  previewFrom_->setText(translation.from);
  const bool translated = translation.result == 0;
  dialable_->setText(translated ? translation.dialable : QString());
  displayable_->setText(translated ? translation.displayable : QString());
  previewError_->setText(translated ? QString() : LineErrorText(translation.result));
  previewError_->setVisible(!translated);
}

tapi32::LocationBook TranslateDialog::Edited() const {
  tapi32::LocationBook book = book_;
  const tapi32::DialingLocation* current = book.Current();
  book.currentPreferredCardId = current != nullptr ? current->preferredCardId : 0;
  return book;
}

QString TranslateDialog::Problem() const {
  for (const tapi32::DialingLocation& location : book_.locations) {
    if (location.name.empty()) return tr("Every location needs a name.");
  }
  for (const tapi32::CallingCard& card : book_.cards) {
    if (card.name.empty()) return tr("Every calling card needs a name.");
  }
  return {};
}

void TranslateDialog::accept() {
  QString problem = Problem();
  if (problem.isEmpty()) {
    const LONG result = store_(Edited());
    if (result == 0) {
      QDialog::accept();
      return;
    }
    problem = LineErrorText(result);
  }
  QMessageBox::warning(this, windowTitle(), problem);
}

LONG ShowTranslateDialog(DWORD, HWND, const std::u16string& addressIn) {
  TranslateDialog::Preview preview;
  if (!addressIn.empty()) preview = TranslateFromEdited;
  auto store = [](tapi32::LocationBook book) {
    return tapi32::Server::Instance().SetLocations(std::move(book));
  };
  TranslateDialog dialog(tapi32::Server::Instance().Locations(), addressIn, store, preview,
                         QApplication::activeWindow());
  dialog.exec();
  return 0;
}

}  // namespace tapi32ui
