// The configuration dialog of a line device (lineConfigDialogW): shows the line's settings as
// TAPI reports them — name, provider and switch information, permanent ID, addresses, bearer and
// media modes, device classes — and, on the simulated switch, lets the user rename the line and
// its addresses. Accepting gives the line its new configuration, which its applications hear of
// as LINE_LINEDEVSTATE CAPSCHANGE.
#pragma once

#include <QDialog>
#include <QStringList>

#include "tapi32/tapi_structs.h"

class QLineEdit;
class QListWidget;

namespace tapi32ui {

// What a line device reports about itself (LINEDEVCAPS, and LINEADDRESSCAPS of each address).
struct LineSettings {
  QString name;
  QString providerInfo;
  QString switchInfo;
  DWORD permanentId = 0;
  QStringList addresses;  // the addresses' names (their numbers), by address ID
  DWORD bearerModes = 0;
  DWORD mediaModes = 0;
  QStringList deviceClasses;
};

// Reads the line's settings through TAPI's C API: 0, or the LINEERR_ code of the query that
// failed.
LONG ReadLineSettings(DWORD deviceId, LineSettings* settings);

// The names of the set bits of LINEMEDIAMODE_ / LINEBEARERMODE_ flags, for people.
QString MediaModeTexts(DWORD mediaModes);
QString BearerModeTexts(DWORD bearerModes);

class LineConfigDialog : public QDialog {
  Q_OBJECT

 public:
  // `editable`: the provider lets the user change the names (OK and Cancel); otherwise the
  // dialog only shows the settings and has Close.
  LineConfigDialog(DWORD deviceId, const LineSettings& settings, bool editable,
                   QWidget* parent = nullptr);

  // The names as the dialog's fields now give them.
  QString Name() const;
  QStringList AddressNames() const;

 private:
  QLineEdit* name_;
  QListWidget* addresses_;
};

// The entry behind lineConfigDialogW: shows the dialog for the device modally, applies an
// accepted change on the simulated switch. 0 or a LINEERR_ code.
LONG ShowLineConfigDialog(DWORD deviceId, HWND owner, const std::u16string& deviceClass);

}  // namespace tapi32ui
