#include "app/crash/dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWizardPage>
#include <utility>

#include "app/crash/reporter.h"

namespace ringwatch::crash {

namespace {

QString SummaryOf(const TCrashReport& report, TCrashDialog::TMode mode) {
  const QString trigger = QString::fromStdString(report.Header("Trigger"));
  const QString detail = QString::fromStdString(report.Header("Detail")).toHtmlEscaped();
  QString what;
  if (trigger == QLatin1String("exception"))
    what = QStringLiteral("An unexpected error occurred: %1").arg(detail);
  else if (trigger == QLatin1String("signal"))
    what = QStringLiteral("Ringwatch stopped because of a fatal error (%1).").arg(detail);
  else if (trigger == QLatin1String("freeze"))
    what = QStringLiteral("Ringwatch stopped responding: %1.").arg(detail);
  else
    what = QStringLiteral("Ringwatch saved an error report.");
  if (mode == TCrashDialog::TMode::Saved)
    what = QStringLiteral("Ringwatch closed unexpectedly last time (%1).<br>%2")
               .arg(QString::fromStdString(report.Header("Time")).toHtmlEscaped(), what);
  return what + QStringLiteral(
                    "<br><br>A report was saved. You can send it to the developers "
                    "with your mail program; nothing is sent without you.");
}

QString ReadText(const QString& path) {
  const std::optional<TCrashReport> report = ReadReportFile(path.toStdString());
  return report ? QString::fromStdString(RenderReport(*report))
                : QStringLiteral("(the report file cannot be read)");
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TCrashDialog

TCrashDialog::TCrashDialog(TMode mode, QString reportPath, QPixmap screenshot,
                           std::function<void(const TMailRequest&)> sendMail, QWidget* parent)
    : QDialog(parent),
      FReportPath(std::move(reportPath)),
      FScreenshot(std::move(screenshot)),
      FSendMail(std::move(sendMail)) {
  setWindowTitle(QStringLiteral("Ringwatch - Error report"));
  setModal(true);
  const TCrashReport report = ReadReportFile(FReportPath.toStdString()).value_or(TCrashReport{});

  auto* layout = new QVBoxLayout(this);
  Summary = new QLabel(SummaryOf(report, mode), this);
  Summary->setWordWrap(true);
  Summary->setTextFormat(Qt::RichText);
  layout->addWidget(Summary);

  Details = new QPlainTextEdit(ReadText(FReportPath), this);
  Details->setReadOnly(true);
  Details->setLineWrapMode(QPlainTextEdit::NoWrap);
  Details->setVisible(false);
  layout->addWidget(Details, 1);

  auto* buttons = new QHBoxLayout;
  auto* detailsButton = new QPushButton(QStringLiteral("&Details"), this);
  detailsButton->setCheckable(true);
  connect(detailsButton, &QPushButton::toggled, Details, &QWidget::setVisible);
  buttons->addWidget(detailsButton);
  ButtonSend = new QPushButton(QStringLiteral("&Send report..."), this);
  connect(ButtonSend, &QPushButton::clicked, this, [this] { Send(); });
  buttons->addWidget(ButtonSend);
  buttons->addStretch(1);
  layout->addLayout(buttons);

  auto* choices = new QHBoxLayout;
  choices->addStretch(1);
  if (mode == TMode::Live) {
    ButtonContinue = AddChoice(QStringLiteral("&Continue"), TChoice::Continue);
    ButtonRestart = AddChoice(QStringLiteral("&Restart"), TChoice::Restart);
    ButtonClose = AddChoice(QStringLiteral("C&lose Ringwatch"), TChoice::Close);
    ButtonContinue->setDefault(true);
  } else {
    ButtonKeep = AddChoice(QStringLiteral("&Keep"), TChoice::Keep);
    ButtonDiscard = AddChoice(QStringLiteral("D&iscard"), TChoice::Discard);
    ButtonKeep->setDefault(true);
  }
  for (QPushButton* button :
       {ButtonContinue, ButtonRestart, ButtonClose, ButtonKeep, ButtonDiscard}) {
    if (button) choices->addWidget(button);
  }
  layout->addLayout(choices);
  resize(560, 240);
}

QPushButton* TCrashDialog::AddChoice(const QString& text, TChoice choice) {
  auto* button = new QPushButton(text, this);
  connect(button, &QPushButton::clicked, this, [this, choice] {
    FChoice = choice;
    accept();
  });
  return button;
}

void TCrashDialog::Send() {
  TSendReportWizard wizard(FReportPath, FScreenshot, FSendMail, this);
  wizard.exec();
  // The report may have gained the user's sections.
  Details->setPlainText(ReadText(FReportPath));
}

// ---------------------------------------------------------------------------------------------
// TSendReportWizard

TSendReportWizard::TSendReportWizard(QString reportPath, QPixmap screenshot,
                                     std::function<void(const TMailRequest&)> sendMail,
                                     QWidget* parent)
    : QWizard(parent),
      FReportPath(std::move(reportPath)),
      FScreenshot(std::move(screenshot)),
      FSendMail(std::move(sendMail)) {
  setWindowTitle(QStringLiteral("Send error report"));
  setOption(QWizard::NoBackButtonOnStartPage);
  setButtonText(QWizard::FinishButton, QStringLiteral("&Send"));

  auto* contact = new QWizardPage(this);
  contact->setTitle(QStringLiteral("Contact details"));
  contact->setSubTitle(
      QStringLiteral("Optional: how the developers can reach you with "
                     "questions about this report."));
  auto* contactLayout = new QFormLayout(contact);
  ContactName = new QLineEdit(contact);
  ContactEmail = new QLineEdit(contact);
  contactLayout->addRow(QStringLiteral("&Name:"), ContactName);
  contactLayout->addRow(QStringLiteral("&E-mail:"), ContactEmail);
  addPage(contact);

  auto* description = new QWizardPage(this);
  description->setTitle(QStringLiteral("What were you doing?"));
  description->setSubTitle(
      QStringLiteral("A few words on what you did just before the error "
                     "help find its cause."));
  auto* descriptionLayout = new QVBoxLayout(description);
  Description = new QPlainTextEdit(description);
  descriptionLayout->addWidget(Description);
  addPage(description);

  auto* picture = new QWizardPage(this);
  picture->setTitle(QStringLiteral("Screenshot"));
  auto* pictureLayout = new QVBoxLayout(picture);
  IncludeScreenshot = new QCheckBox(QStringLiteral("&Attach this picture of the window"), picture);
  auto* preview = new QLabel(picture);
  if (FScreenshot.isNull()) {
    IncludeScreenshot->setChecked(false);
    IncludeScreenshot->setEnabled(false);
    preview->setText(QStringLiteral("No picture of the window was taken."));
  } else {
    IncludeScreenshot->setChecked(true);
    preview->setPixmap(FScreenshot.scaled(400, 300, Qt::KeepAspectRatio, Qt::SmoothTransformation));
  }
  pictureLayout->addWidget(IncludeScreenshot);
  pictureLayout->addWidget(preview, 1);
  addPage(picture);

  auto* last = new QWizardPage(this);
  last->setTitle(QStringLiteral("Send"));
  auto* lastLayout = new QVBoxLayout(last);
  auto* note = new QLabel(
      QStringLiteral("\"Send\" opens your mail program with a new message that has the report "
                     "attached. You can read and change it there; it leaves this computer only "
                     "when you send it.\n\nReport: %1")
          .arg(FReportPath),
      last);
  note->setWordWrap(true);
  lastLayout->addWidget(note);
  addPage(last);
}

void TSendReportWizard::accept() {
  const std::string path = FReportPath.toStdString();
  TCrashReport report = ReadReportFile(path).value_or(TCrashReport{});
  const QString name = ContactName->text().trimmed();
  const QString email = ContactEmail->text().trimmed();
  if (!name.isEmpty() || !email.isEmpty()) {
    report.SetSection("Contact", QStringLiteral("%1 <%2>\n").arg(name, email).toStdString());
  }
  const QString description = Description->toPlainText().trimmed();
  if (!description.isEmpty()) report.SetSection("Description", description.toStdString() + "\n");
  WriteReportFile(path, report);

  QString screenshotPath;
  if (IncludeScreenshot->isChecked() && !FScreenshot.isNull()) {
    const QFileInfo info(FReportPath);
    screenshotPath = info.absolutePath() + QLatin1Char('/') + info.completeBaseName() +
                     QStringLiteral("-window.png");
    if (!FScreenshot.save(screenshotPath, "PNG")) screenshotPath.clear();
  }
  if (FSendMail) FSendMail(BuildMailRequest(report, FReportPath, screenshotPath));
  QWizard::accept();
}

TMailRequest BuildMailRequest(const TCrashReport& report, const QString& reportPath,
                              const QString& screenshotPath) {
  TMailRequest mail;
  mail.Subject = QStringLiteral("Ringwatch error report: %1")
                     .arg(QString::fromStdString(report.Header("Detail")));
  mail.Body = QStringLiteral("%1 / %2, %3\n%4: %5\n")
                  .arg(QString::fromStdString(report.Header("Program")),
                       QString::fromStdString(report.Header("Library")),
                       QString::fromStdString(report.Header("Time")),
                       QString::fromStdString(report.Header("Trigger")),
                       QString::fromStdString(report.Header("Detail")));
  for (const char* section : {"Description", "Contact"}) {
    if (report.HasSection(section)) {
      mail.Body +=
          QStringLiteral("\n%1:\n%2")
              .arg(QLatin1String(section), QString::fromStdString(report.Section(section)));
    }
  }
  mail.Body += QStringLiteral("\nThe full report is attached.\n");
  mail.Attachments << reportPath;
  if (!screenshotPath.isEmpty()) mail.Attachments << screenshotPath;
  return mail;
}

}  // namespace ringwatch::crash
