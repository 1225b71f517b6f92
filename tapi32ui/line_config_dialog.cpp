#include "tapi32ui/line_config_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>
#include <vector>

#include "tapi32/installed_providers.h"
#include "tapi32/sim/switch.h"
#include "tapi32/tapi.h"
#include "tapi32ui/tapi_query.h"

namespace tapi32ui {

namespace {

using FlagTexts = std::vector<std::pair<DWORD, const char*>>;

const FlagTexts kMediaModeTexts = {
    {LINEMEDIAMODE_UNKNOWN, QT_TR_NOOP("Unknown")},
    {LINEMEDIAMODE_INTERACTIVEVOICE, QT_TR_NOOP("Interactive voice")},
    {LINEMEDIAMODE_AUTOMATEDVOICE, QT_TR_NOOP("Automated voice")},
    {LINEMEDIAMODE_DATAMODEM, QT_TR_NOOP("Data modem")},
    {LINEMEDIAMODE_G3FAX, QT_TR_NOOP("G3 fax")},
    {LINEMEDIAMODE_TDD, QT_TR_NOOP("TDD")},
    {LINEMEDIAMODE_G4FAX, QT_TR_NOOP("G4 fax")},
    {LINEMEDIAMODE_DIGITALDATA, QT_TR_NOOP("Digital data")},
    {LINEMEDIAMODE_TELETEX, QT_TR_NOOP("Teletex")},
    {LINEMEDIAMODE_VIDEOTEX, QT_TR_NOOP("Videotex")},
    {LINEMEDIAMODE_TELEX, QT_TR_NOOP("Telex")},
    {LINEMEDIAMODE_MIXED, QT_TR_NOOP("Mixed")},
    {LINEMEDIAMODE_ADSI, QT_TR_NOOP("ADSI")},
    {LINEMEDIAMODE_VOICEVIEW, QT_TR_NOOP("VoiceView")},
    {LINEMEDIAMODE_VIDEO, QT_TR_NOOP("Video")},
};

const FlagTexts kBearerModeTexts = {
    {LINEBEARERMODE_VOICE, QT_TR_NOOP("Voice")},
    {LINEBEARERMODE_SPEECH, QT_TR_NOOP("Speech")},
    {LINEBEARERMODE_MULTIUSE, QT_TR_NOOP("Multi-use")},
    {LINEBEARERMODE_DATA, QT_TR_NOOP("Data")},
    {LINEBEARERMODE_ALTSPEECHDATA, QT_TR_NOOP("Alternating speech and data")},
    {LINEBEARERMODE_NONCALLSIGNALING, QT_TR_NOOP("Non-call signalling")},
    {LINEBEARERMODE_PASSTHROUGH, QT_TR_NOOP("Pass-through")},
    {LINEBEARERMODE_RESTRICTEDDATA, QT_TR_NOOP("Restricted data")},
};

QString JoinFlagTexts(DWORD flags, const FlagTexts& texts) {
  QStringList names;
  for (const auto& [flag, text] : texts) {
    if ((flags & flag) != 0) names << LineConfigDialog::tr(text);
  }
  return names.isEmpty() ? LineConfigDialog::tr("None") : names.join(QStringLiteral(", "));
}

QLabel* ValueLabel(const char* name, const QString& text) {
  auto* label = new QLabel(text);
  label->setObjectName(name);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label->setWordWrap(true);
  return label;
}

// The switch stores no names for addresses at the end that have none.
std::vector<std::string> WithoutEmptyTail(std::vector<std::string> names) {
  while (!names.empty() && names.back().empty())
    names.pop_back();
  return names;
}

}  // namespace

QString MediaModeTexts(DWORD mediaModes) {
  return JoinFlagTexts(mediaModes, kMediaModeTexts);
}

QString BearerModeTexts(DWORD bearerModes) {
  return JoinFlagTexts(bearerModes, kBearerModeTexts);
}

LONG ReadLineSettings(DWORD deviceId, LineSettings* settings) {
  const LineSession session;
  if (session.Result() != 0) return session.Result();
  DWORD version = 0;
  LINEEXTENSIONID extension{};
  const LONG negotiated = lineNegotiateAPIVersion(session.Handle(), deviceId, 0x00010003,
                                                  0x00020002, &version, &extension);
  if (negotiated != 0) return negotiated;

  const Answer caps = Answer::Query(sizeof(LINEDEVCAPS) + 512, [&](void* buffer) {
    return lineGetDevCapsW(session.Handle(), deviceId, version, 0,
                           static_cast<LPLINEDEVCAPS>(buffer));
  });
  if (caps.Result() != 0) return caps.Result();
  const auto& line = caps.As<LINEDEVCAPS>();
  settings->name = caps.Text(line.dwLineNameSize, line.dwLineNameOffset);
  settings->providerInfo = caps.Text(line.dwProviderInfoSize, line.dwProviderInfoOffset);
  settings->switchInfo = caps.Text(line.dwSwitchInfoSize, line.dwSwitchInfoOffset);
  settings->permanentId = line.dwPermanentLineID;
  settings->bearerModes = line.dwBearerModes;
  settings->mediaModes = line.dwMediaModes;
  settings->deviceClasses = caps.Texts(line.dwDeviceClassesSize, line.dwDeviceClassesOffset);

  settings->addresses.clear();
  for (DWORD address = 0; address < line.dwNumAddresses; ++address) {
    const Answer addressCaps = Answer::Query(sizeof(LINEADDRESSCAPS) + 256, [&](void* buffer) {
      return lineGetAddressCapsW(session.Handle(), deviceId, address, version, 0,
                                 static_cast<LPLINEADDRESSCAPS>(buffer));
    });
    if (addressCaps.Result() != 0) return addressCaps.Result();
    const auto& fields = addressCaps.As<LINEADDRESSCAPS>();
    settings->addresses << addressCaps.Text(fields.dwAddressSize, fields.dwAddressOffset);
  }
  return 0;
}

LineConfigDialog::LineConfigDialog(DWORD deviceId, const LineSettings& settings, bool editable,
                                   QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(tr("Line %1 Properties").arg(deviceId));
  name_ = new QLineEdit(settings.name);
  name_->setObjectName("name");
  name_->setReadOnly(!editable);
  addresses_ = new QListWidget;
  addresses_->setObjectName("addresses");
  for (const QString& address : settings.addresses) {
    auto* item = new QListWidgetItem(address, addresses_);
    if (editable) item->setFlags(item->flags() | Qt::ItemIsEditable);
  }

  auto* form = new QFormLayout;
  form->addRow(tr("&Name:"), name_);
  form->addRow(tr("Provider:"), ValueLabel("providerInfo", settings.providerInfo));
  form->addRow(tr("Switch:"), ValueLabel("switchInfo", settings.switchInfo));
  form->addRow(tr("Permanent ID:"),
               ValueLabel("permanentId", QStringLiteral("0x%1").arg(
                                             QString::number(settings.permanentId, 16).toUpper())));
  form->addRow(tr("Bearer modes:"),
               ValueLabel("bearerModes", BearerModeTexts(settings.bearerModes)));
  form->addRow(tr("Media modes:"), ValueLabel("mediaModes", MediaModeTexts(settings.mediaModes)));
  form->addRow(tr("Device classes:"),
               ValueLabel("deviceClasses", settings.deviceClasses.join(QStringLiteral(", "))));
  form->addRow(tr("&Addresses:"), addresses_);

  auto* box = new QDialogButtonBox(editable ? QDialogButtonBox::Ok | QDialogButtonBox::Cancel
                                            : QDialogButtonBox::Close);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(box);
  connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
  if (editable) {
    // A line needs a name: the switch refuses one without.
    connect(name_, &QLineEdit::textChanged, this, [box](const QString& text) {
      box->button(QDialogButtonBox::Ok)->setEnabled(!text.trimmed().isEmpty());
    });
  }
}

QString LineConfigDialog::Name() const {
  return name_->text().trimmed();
}

QStringList LineConfigDialog::AddressNames() const {
  QStringList names;
  for (int row = 0; row < addresses_->count(); ++row)
    names << addresses_->item(row)->text().trimmed();
  return names;
}

LONG ShowLineConfigDialog(DWORD deviceId, HWND, const std::u16string&) {
  LineSettings settings;
  if (const LONG result = ReadLineSettings(deviceId, &settings); result != 0) return result;
  // Only the simulated switch can be reconfigured from here; other providers' lines are shown.
  auto& sim = tapi32::sim::Switch::Instance();
  const bool editable = tapi32::SwitchServesLine(deviceId);
  LineConfigDialog dialog(deviceId, settings, editable, QApplication::activeWindow());
  if (dialog.exec() != QDialog::Accepted || !editable) return 0;

  tapi32::sim::LineConfig config = sim.LineConfigOf(deviceId);
  const std::string name = dialog.Name().toStdString();
  std::vector<std::string> addressNames;
  for (const QString& address : dialog.AddressNames())
    addressNames.push_back(address.toStdString());
  addressNames = WithoutEmptyTail(std::move(addressNames));
  // Nothing changed: nothing to announce.
  if (name == config.name && addressNames == WithoutEmptyTail(config.addressNames)) return 0;
  config.name = name;
  config.addressNames = std::move(addressNames);
  try {
    sim.ChangeLine(deviceId, config);
  } catch (const tapi32::sim::ConfigError&) {
    return tapi32::Err(LINEERR_INVALPARAM);
  }
  return 0;
}

}  // namespace tapi32ui
