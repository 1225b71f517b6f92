// The error report dialog and the assistant that prepares a report for the user's mail
// program.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <QString>
#include <QWizard>
#include <functional>

#include "app/crash/report.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace ringwatch::crash {

struct TMailRequest;

// Shows what went wrong and the full report. Live (the process goes on after an exception or
// a freeze): Continue, Restart, Close. Saved (the report of a crash that ended an earlier
// run): Keep and Discard. Both: "Send report...".
class TCrashDialog final : public QDialog {
 public:
  enum class TMode { Live, Saved };
  enum class TChoice { None, Continue, Restart, Close, Keep, Discard };

  TCrashDialog(TMode mode, QString reportPath, QPixmap screenshot,
               std::function<void(const TMailRequest&)> sendMail, QWidget* parent);

  TChoice Choice() const { return FChoice; }
  // Opens the assistant (modal) on the report.
  void Send();

  QLabel* Summary;
  QPlainTextEdit* Details;
  QPushButton* ButtonSend;
  QPushButton* ButtonContinue = nullptr;
  QPushButton* ButtonRestart = nullptr;
  QPushButton* ButtonClose = nullptr;
  QPushButton* ButtonKeep = nullptr;
  QPushButton* ButtonDiscard = nullptr;

 private:
  QPushButton* AddChoice(const QString& text, TChoice choice);

  QString FReportPath;
  QPixmap FScreenshot;
  std::function<void(const TMailRequest&)> FSendMail;
  TChoice FChoice = TChoice::None;
};

// Contact details, what the user was doing, the screenshot, and a last page that says what
// will be handed to the mail program. Finishing adds the user's sections to the report file,
// saves the screenshot next to it and calls SendMail.
class TSendReportWizard final : public QWizard {
 public:
  TSendReportWizard(QString reportPath, QPixmap screenshot,
                    std::function<void(const TMailRequest&)> sendMail, QWidget* parent);

  QLineEdit* ContactName;
  QLineEdit* ContactEmail;
  QPlainTextEdit* Description;
  QCheckBox* IncludeScreenshot;

  void accept() override;

 private:
  QString FReportPath;
  QPixmap FScreenshot;
  std::function<void(const TMailRequest&)> FSendMail;
};

// Subject, body and attachments for a report with the user's additions.
TMailRequest BuildMailRequest(const TCrashReport& report, const QString& reportPath,
                              const QString& screenshotPath);

}  // namespace ringwatch::crash
