// The configuration dialog of a phone of the simulated switch: shows the phone's name, display
// size and buttons, and lets the user change what the switch lets a phone change. Accepting
// gives the phone its new configuration, which its applications hear of as PHONE_STATE
// CAPSCHANGE.
#pragma once

#include <QDialog>

#include "tapi32/sim/config.h"

class QLineEdit;
class QListWidget;
class QSpinBox;

namespace tapi32ui {

class PhoneConfigDialog : public QDialog {
  Q_OBJECT

 public:
  // The most the switch offers a phone.
  static constexpr int kMaxDisplayRows = 8;
  static constexpr int kMaxDisplayColumns = 80;
  static constexpr int kMaxButtons = 64;

  PhoneConfigDialog(uint32_t deviceId, tapi32::sim::PhoneConfig config, QWidget* parent = nullptr);

  // The configuration as the dialog's fields now describe it.
  tapi32::sim::PhoneConfig Edited() const;

 private:
  void ShowButtons(int count);

  tapi32::sim::PhoneConfig original_;
  QLineEdit* name_;
  QSpinBox* rows_;
  QSpinBox* columns_;
  QSpinBox* buttons_;
  QListWidget* buttonList_;
};

}  // namespace tapi32ui
