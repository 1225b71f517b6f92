#include "tapi32ui/phone_config_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "platform/module.h"
#include "tapi32/sim/phones.h"

namespace tapi32ui {

namespace {

QSpinBox* SpinBox(const char* name, int maximum, uint32_t value) {
  auto* box = new QSpinBox;
  box->setObjectName(name);
  box->setRange(0, maximum);
  box->setValue(static_cast<int>(std::min<uint32_t>(value, static_cast<uint32_t>(maximum))));
  return box;
}

}  // namespace

PhoneConfigDialog::PhoneConfigDialog(uint32_t deviceId, tapi32::sim::PhoneConfig config,
                                     QWidget* parent)
    : QDialog(parent), original_(std::move(config)) {
  setWindowTitle(tr("Phone %1 Properties").arg(deviceId));
  name_ = new QLineEdit(QString::fromStdString(original_.name));
  name_->setObjectName("name");
  rows_ = SpinBox("displayRows", kMaxDisplayRows, original_.displayRows);
  columns_ = SpinBox("displayColumns", kMaxDisplayColumns, original_.displayColumns);
  buttons_ = SpinBox("buttons", kMaxButtons, original_.numButtonLamps);
  buttonList_ = new QListWidget;
  buttonList_->setObjectName("buttonList");

  auto* form = new QFormLayout;
  form->addRow(tr("&Name:"), name_);
  form->addRow(tr("Display &rows:"), rows_);
  form->addRow(tr("Display &columns:"), columns_);
  form->addRow(tr("&Buttons:"), buttons_);
  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttonList_);
  layout->addWidget(box);

  connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(buttons_, &QSpinBox::valueChanged, this, &PhoneConfigDialog::ShowButtons);
  // A phone needs a name: the switch refuses one without.
  connect(name_, &QLineEdit::textChanged, this, [box](const QString& text) {
    box->button(QDialogButtonBox::Ok)->setEnabled(!text.trimmed().isEmpty());
  });
  ShowButtons(buttons_->value());
}

void PhoneConfigDialog::ShowButtons(int count) {
  buttonList_->clear();
  const auto layout = tapi32::sim::ButtonLayout(static_cast<uint32_t>(count));
  for (size_t id = 0; id < layout.size(); ++id) {
    buttonList_->addItem(
        QStringLiteral("%1: %2").arg(id).arg(QString::fromStdU16String(layout[id].text)));
  }
}

tapi32::sim::PhoneConfig PhoneConfigDialog::Edited() const {
  tapi32::sim::PhoneConfig config = original_;
  config.name = name_->text().trimmed().toStdString();
  config.displayRows = static_cast<uint32_t>(rows_->value());
  config.displayColumns = static_cast<uint32_t>(columns_->value());
  config.numButtonLamps = static_cast<uint32_t>(buttons_->value());
  return config;
}

}  // namespace tapi32ui
