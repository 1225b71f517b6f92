#include "app/main_window.h"

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "tapi/errors.h"

Q_LOGGING_CATEGORY(lcRingwatch, "ringwatch", QtWarningMsg)

namespace ringwatch {

using zvtapi::Cardinal;
using zvtapi::TzvTapiCall;
using zvtapi::TzvTapiLine;

namespace {

// The window's design size; every position below is in pixels at 96 dpi on that size.
constexpr int kClientWidth = 534;
constexpr int kClientHeight = 234;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

constexpr int kColumnLine = 0;
constexpr int kColumnCall = 1;
constexpr int kColumnState = 2;
constexpr int kColumnCallerID = 3;
constexpr int kColumnCallerIDName = 4;
constexpr int kColumnCalledID = 5;
constexpr int kColumnCalledIDName = 6;

constexpr int kPanelActive = 1;
constexpr int kPanelFailed = 3;
constexpr int kPanelProgress = 4;

// The probe's caps field 12 is LINEDEVCAPS.dwMediaModes.
constexpr int kCapsMediaModes = 12;

QString Text(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

// A panel whose children can keep their distance to its right edge, stretching (their left
// edge stays) or moving along.
class TAnchoredPanel : public QFrame {
 public:
  explicit TAnchoredPanel(QWidget* parent) : QFrame(parent) { resize(kClientWidth, height()); }

  // Call with the child at its design place while the panel has its design width.
  void AnchorRight(QWidget* child, bool stretch) {
    FAnchors.push_back({child, stretch, width() - child->x() - child->width()});
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QFrame::resizeEvent(event);
    for (const Anchor& a : FAnchors) {
      QRect r = a.child->geometry();
      if (a.stretch) {
        r.setWidth(std::max(0, width() - a.rightMargin - r.x()));
      } else {
        r.moveLeft(width() - a.rightMargin - r.width());
      }
      a.child->setGeometry(r);
    }
  }

 private:
  struct Anchor {
    QWidget* child;
    bool stretch;
    int rightMargin;
  };
  std::vector<Anchor> FAnchors;
};

}  // namespace

// A list row: the call it stands for and the line that reported it. The line outlives every
// row; the call is only touched while the line still has it.
class TCallItem : public QTreeWidgetItem {
 public:
  TzvTapiLine* Line = nullptr;
  TzvTapiCall* Call = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Status bar

TStatusBar::TStatusBar(const std::vector<TPanel>& panels, QWidget* parent) : QFrame(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 1, 0, 0);
  layout->setSpacing(2);
  for (size_t i = 0; i < panels.size(); ++i) {
    const TPanel& p = panels[i];
    auto* label = new QLabel(this);
    label->setAlignment(p.Alignment | Qt::AlignVCenter);
    label->setFrameStyle(p.Bevel ? QFrame::Panel | QFrame::Sunken : QFrame::NoFrame);
    label->setMargin(1);
    const bool last = i + 1 == panels.size();
    // The last panel carries the progress text, which is longer than its nominal width.
    if (last) {
      label->setMinimumWidth(p.Width);
    } else {
      label->setFixedWidth(p.Width);
    }
    layout->addWidget(label, last ? 1 : 0);
    FPanels.push_back(label);
  }
}

QString TStatusBar::PanelText(int index) const {
  return Panel(index)->text();
}

void TStatusBar::SetPanelText(int index, const QString& text) {
  Panel(index)->setText(text);
}

// ---------------------------------------------------------------------------------------------
// Creation and destruction

template <class F>
void TForm1::Guarded(F&& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    ShowErrorMessage(QString::fromUtf8(e.what()));
  }
}

TForm1::TForm1(QWidget* parent)
    : QWidget(parent), FComponents(std::make_unique<zvtapi::TComponent>(nullptr)) {
  CreateParts();
  FormCreate();
}

TForm1::~TForm1() {
  // Freeing a line closes it; nothing it reports on the way out may reach the list.
  FDestroying = true;
  FormDestroy();
  FComponents.reset();
}

void TForm1::CreateParts() {
  setWindowTitle(QStringLiteral("Ringwatch - A zvTapi sample"));
  resize(kClientWidth, kClientHeight);

  zvTapiLine1 = new TzvTapiLine(FComponents.get());
  zvTapiLine1->SetName("zvTapiLine1");
  zvTapiLine1->SetMediaModes(LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_DATAMODEM);
  zvTapiLine1->Options().SetReplyTimeout(10000);
  zvTapiLine1->CallParams().SetFlags(0);
  zvTapiLine1->CallOptions().GatherDigits().SetTerminationDigits("*#");
  AssignLineHandlers(zvTapiLine1);
  zvTapiLine1->SetOnError(
      [this](zvtapi::TObject* Sender, const std::exception& Error, zvtapi::TObject* Causer) {
        zvTapiLine1Error(Sender, Error, Causer);
      });

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  ListView1 = new QTreeWidget(this);
  ListView1->setObjectName(QStringLiteral("ListView1"));
  ListView1->setRootIsDecorated(false);
  ListView1->setItemsExpandable(false);
  ListView1->setUniformRowHeights(true);
  ListView1->setAllColumnsShowFocus(true);
  ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListView1->header()->setStretchLastSection(false);
  ListView1->header()->setSectionsMovable(false);
  // The selection stays as visible as with focus, so that the user sees what the buttons
  // will act on.
  QPalette palette = ListView1->palette();
  for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
    palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
  }
  ListView1->setPalette(palette);
  ListView1->setHeaderLabels({QStringLiteral("Line"), QStringLiteral("Call"),
                              QStringLiteral("State"), QStringLiteral("CallerID"),
                              QStringLiteral("CallerIDName"), QStringLiteral("Owner")});
  ListView1->setColumnWidth(kColumnLine, 100);
  ListView1->setColumnWidth(kColumnCall, 80);
  ListView1->setColumnWidth(kColumnState, 100);
  ListView1->setColumnWidth(kColumnCallerID, 100);
  // CallerIDName fills what the first four columns leave of the list's client width.
  const int frame =
      ListView1->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, ListView1) * 2;
  const int fill = kClientWidth - frame - (100 + 80 + 100 + 100);
  const int header =
      ListView1->header()->fontMetrics().horizontalAdvance(QStringLiteral("CallerIDName")) + 16;
  ListView1->setColumnWidth(kColumnCallerIDName, std::max(fill, header));
  ListView1->installEventFilter(this);
  layout->addWidget(ListView1, 1);

  Panel1 = new QWidget(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFixedHeight(41);
  Button_Answer = new QPushButton(QStringLiteral("Answer"), Panel1);
  Button_Answer->setGeometry(86, 7, kButtonWidth, kButtonHeight);
  Button_Drop = new QPushButton(QStringLiteral("Drop"), Panel1);
  Button_Drop->setGeometry(167, 7, kButtonWidth, kButtonHeight);
  Button_Owner = new QPushButton(QStringLiteral("Accept"), Panel1);
  Button_Owner->setGeometry(5, 7, kButtonWidth, kButtonHeight);
  layout->addWidget(Panel1);

  auto* panel2 = new TAnchoredPanel(this);
  Panel2 = panel2;
  Panel2->setObjectName(QStringLiteral("Panel2"));
  Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel2->setFixedHeight(48);
  Label1 = new QLabel(QStringLiteral("Lines supporting interactive voice:"), Panel2);
  Label1->move(5, 5);
  Label1->adjustSize();
  ComboBox_Lines = new QComboBox(Panel2);
  ComboBox_Lines->setEditable(false);
  ComboBox_Lines->setGeometry(5, 22, 447, ComboBox_Lines->sizeHint().height());
  Button1 = new QPushButton(QStringLiteral("Activate"), Panel2);
  Button1->setGeometry(459, 18, kButtonWidth, kButtonHeight);
  panel2->AnchorRight(ComboBox_Lines, true);
  panel2->AnchorRight(Button1, false);
  layout->addWidget(Panel2);

  StatusBar1 = new TStatusBar({{50, Qt::AlignRight, false},
                               {50, Qt::AlignHCenter, true},
                               {50, Qt::AlignRight, false},
                               {50, Qt::AlignHCenter, true},
                               {50, Qt::AlignLeft, true}},
                              this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setFixedHeight(19);
  StatusBar1->SetPanelText(0, QStringLiteral("Active:"));
  StatusBar1->SetPanelText(2, QStringLiteral("Failed:"));
  layout->addWidget(StatusBar1);

  setTabOrder(ListView1, Button_Answer);
  setTabOrder(Button_Answer, Button_Drop);
  setTabOrder(Button_Drop, Button_Owner);
  setTabOrder(Button_Owner, ComboBox_Lines);
  setTabOrder(ComboBox_Lines, Button1);

  connect(Button1, &QPushButton::clicked, this, [this] { Guarded([this] { DoInit(Button1); }); });
  connect(Button_Owner, &QPushButton::clicked, this,
          [this] { Guarded([this] { DoAccept(Button_Owner); }); });
  connect(Button_Answer, &QPushButton::clicked, this,
          [this] { Guarded([this] { DoAnswer(Button_Answer); }); });
  connect(Button_Drop, &QPushButton::clicked, this,
          [this] { Guarded([this] { DoDrop(Button_Drop); }); });

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

void TForm1::AssignLineHandlers(TzvTapiLine* line) {
  line->SetOnCallState([this](TzvTapiLine* Sender, TzvTapiCall* Call, Cardinal CallState) {
    zvTapiLine1CallState(Sender, Call, CallState);
  });
  line->SetOnCallInfo([this](TzvTapiLine* Sender, TzvTapiCall* Call, Cardinal InfoState) {
    zvTapiLine1CallInfo(Sender, Call, InfoState);
  });
  line->SetOnNewCall(
      [this](TzvTapiLine* Sender, TzvTapiCall* Call) { zvTapiLine1NewCall(Sender, Call); });
  line->SetOnCallDeallocate(
      [this](TzvTapiLine* Sender, TzvTapiCall* Call) { zvTapiLine1CallDeallocate(Sender, Call); });
  line->SetOnDeviceClose([this](zvtapi::TObject* Sender) { zvTapiLine1DeviceClose(Sender); });
}

void TForm1::FormCreate() {
  FLines = std::make_unique<zvtapi::TzvTapiLineList>();
  ListView1->setColumnCount(7);
  QTreeWidgetItem* header = ListView1->headerItem();
  header->setText(kColumnCalledID, QStringLiteral("CalledID"));
  header->setText(kColumnCalledIDName, QStringLiteral("CalledIDName"));
  ListView1->setColumnWidth(kColumnCalledID, ListView1->columnWidth(kColumnCallerID));
  ListView1->setColumnWidth(kColumnCalledIDName, ListView1->columnWidth(kColumnCallerIDName));
  // The first scan waits until the event loop runs and the window is on screen.
  QMetaObject::invokeMethod(this, &TForm1::DeferredInit, Qt::QueuedConnection);
}

void TForm1::DeferredInit() {
  Guarded([this] { DoInit(nullptr); });
}

void TForm1::FormDestroy() {
  FRows.clear();
  ListView1->clear();
  FLines.reset();
}

// ---------------------------------------------------------------------------------------------
// The line scan

void TForm1::AddLineEntry(const QString& text) {
  int low = 0;
  int high = ComboBox_Lines->count();
  while (low < high) {
    const int mid = (low + high) / 2;
    if (QString::compare(ComboBox_Lines->itemText(mid), text, Qt::CaseInsensitive) <= 0) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  ComboBox_Lines->insertItem(low, text);
}

void TForm1::DoInit(QObject* /*Sender*/) {
  RemoveStaleRows();
  ComboBox_Lines->clear();
  FActiveLines.clear();
  int Failed = 0;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  StatusBar1->SetPanelText(kPanelProgress, QStringLiteral(" Opening lines... please wait"));
  repaint();
  // Also when the scan ends early.
  struct Finally {
    TForm1* form;
    ~Finally() {
      QApplication::restoreOverrideCursor();
      form->StatusBar1->SetPanelText(kPanelProgress, QString());
    }
  } restore{this};

  // The device count can change while the scan runs.
  for (int I = 0; I < zvTapiLine1->DeviceList().Count(); ++I) {
    zvTapiLine1->SetDeviceID(I);
    if (!zvTapiLine1->Available() ||
        (zvTapiLine1->Caps().GetDWORD(kCapsMediaModes) & LINEMEDIAMODE_INTERACTIVEVOICE) == 0) {
      continue;
    }
    TzvTapiLine* Line;
    const int index = FLines->IndexOfDeviceID(I);
    if (index < 0) {
      Line = new TzvTapiLine(FComponents.get());
      Line->SetDeviceID(I);
      FLines->Add(Line);
      Line->Privileges().SetAutoSelect(true);
      Line->SetOnCallState(zvTapiLine1->OnCallState());
      Line->SetOnCallInfo(zvTapiLine1->OnCallInfo());
      Line->SetOnNewCall(zvTapiLine1->OnNewCall());
      Line->SetOnCallDeallocate(zvTapiLine1->OnCallDeallocate());
      Line->SetOnDeviceClose(zvTapiLine1->OnDeviceClose());
      Line->CallOptions().SetAutoOwner(true);
    } else {
      // Only this window adds to FLines, and only TzvTapiLine objects.
      Line = static_cast<TzvTapiLine*>(FLines->Get(index));
    }
    try {
      Line->Open();
      const QString entry =
          Text(Line->DeviceName()) + QStringLiteral(" - ") + Text(Line->Privileges().Text());
      if (Line->Privileges().Owner() || Line->Privileges().Monitor()) {
        AddLineEntry(entry);
        FActiveLines.insert(Line);
        for (int i = 0; i < Line->Calls().Count(); ++i)
          UpdateCallItem(Line, Line->Calls().Get(i));
      } else {
        // Without owner or monitor privilege the line would never report a call.
        Line->Close();
        AddLineEntry(entry);
      }
    } catch (const zvtapi::EzvTapiError& e) {
      ++Failed;
      AddLineEntry(Text(Line->DeviceName()) + QStringLiteral(" - ") + Text(e.Message()));
    }
  }
  if (ComboBox_Lines->count() > 0) ComboBox_Lines->setCurrentIndex(0);
  ShowActiveCount();
  StatusBar1->SetPanelText(kPanelFailed, QString::number(Failed));
  qCInfo(lcRingwatch, "scan: %d active, %d failed", static_cast<int>(FActiveLines.size()), Failed);
}

void TForm1::ShowActiveCount() {
  StatusBar1->SetPanelText(kPanelActive, QString::number(FActiveLines.size()));
}

// ---------------------------------------------------------------------------------------------
// The call list

void TForm1::UpdateCallItem(TzvTapiLine* Line, TzvTapiCall* Call) {
  TCallItem*& slot = FRows[Call];
  const bool added = slot == nullptr;
  if (added) {
    // A new item's texts are all empty.
    slot = new TCallItem;
    ListView1->addTopLevelItem(slot);
  }
  TCallItem* item = slot;
  item->Line = Line;
  item->Call = Call;
  // Only changed texts are written, so that an update that changes nothing costs no repaint.
  auto set = [item](int column, const QString& text) {
    if (item->text(column) != text) item->setText(column, text);
  };
  set(kColumnLine, Text(Line->DeviceName()));
  set(kColumnCall,
      QStringLiteral("0x") + QString::number(reinterpret_cast<quintptr>(Call), 16).toUpper());
  set(kColumnState, Text(Call->StateText()));
  set(kColumnCallerID, Text(Call->CallerID()->Address()));
  set(kColumnCallerIDName, Text(Call->CallerID()->Name()));
  set(kColumnCalledID, Text(Call->CalledID()->Address()));
  set(kColumnCalledIDName, Text(Call->CalledID()->Name()));
  if (added) {
    qCInfo(lcRingwatch, "row added: %s %s %s", qUtf8Printable(item->text(kColumnLine)),
           qUtf8Printable(item->text(kColumnState)), qUtf8Printable(item->text(kColumnCallerID)));
  }
}

void TForm1::RemoveCallItem(TzvTapiLine* /*Line*/, TzvTapiCall* Call) {
  if (TCallItem* item = FRows.value(Call)) DeleteRow(item);
}

void TForm1::DeleteRow(TCallItem* item) {
  if (FRows.value(item->Call) == item) FRows.remove(item->Call);
  qCInfo(lcRingwatch, "row removed: %s", qUtf8Printable(item->text(kColumnLine)));
  delete item;  // leaves the list
}

void TForm1::RemoveStaleRows() {
  for (int i = ListView1->topLevelItemCount() - 1; i >= 0; --i) {
    auto* item = static_cast<TCallItem*>(ListView1->topLevelItem(i));
    if (!item->Line->IsCallObject(item->Call)) DeleteRow(item);
  }
}

TzvTapiCall* TForm1::CallOfRow(int row) const {
  auto* item = static_cast<TCallItem*>(ListView1->topLevelItem(row));
  return item ? item->Call : nullptr;
}

int TForm1::RowOfCall(const TzvTapiCall* Call) const {
  TCallItem* item = FRows.value(Call);
  return item ? ListView1->indexOfTopLevelItem(item) : -1;
}

void TForm1::zvTapiLine1CallState(TzvTapiLine* Sender, TzvTapiCall* Call, Cardinal /*CallState*/) {
  if (!FDestroying) UpdateCallItem(Sender, Call);
}

void TForm1::zvTapiLine1CallInfo(TzvTapiLine* Sender, TzvTapiCall* Call, Cardinal /*InfoState*/) {
  if (!FDestroying) UpdateCallItem(Sender, Call);
}

void TForm1::zvTapiLine1NewCall(TzvTapiLine* Sender, TzvTapiCall* Call) {
  if (!FDestroying) UpdateCallItem(Sender, Call);
}

void TForm1::zvTapiLine1CallDeallocate(TzvTapiLine* Sender, TzvTapiCall* Call) {
  if (!FDestroying) RemoveCallItem(Sender, Call);
}

// A removal needs no handler of its own: TAPI closes an open line before it reports its device
// removed (LINE_REMOVE), or soon after reporting the removal through the line
// (LINEDEVSTATE_REMOVED), and until then the line still reports its calls. Closing the line on
// the removal report would drop the calls it alone owns.
void TForm1::zvTapiLine1DeviceClose(zvtapi::TObject* Sender) {
  if (FDestroying) return;
  RemoveStaleRows();
  if (FActiveLines.remove(dynamic_cast<const zvtapi::TzvCustomTapiLine*>(Sender))) {
    ShowActiveCount();
  }
}

void TForm1::zvTapiLine1Error(zvtapi::TObject* /*Sender*/, const std::exception& /*Error*/,
                              zvtapi::TObject* /*Causer*/) {
  QApplication::beep();
}

// ---------------------------------------------------------------------------------------------
// Commands

void TForm1::DoAccept(QObject* /*Sender*/) {
  RunCallCommand(TCallCommand::Accept);
}

void TForm1::DoAnswer(QObject* /*Sender*/) {
  RunCallCommand(TCallCommand::Answer);
}

void TForm1::DoDrop(QObject* /*Sender*/) {
  RunCallCommand(TCallCommand::Drop);
}

void TForm1::RunCallCommand(TCallCommand command) {
  const Cardinal feature = command == TCallCommand::Accept   ? LINECALLFEATURE_ACCEPT
                           : command == TCallCommand::Answer ? LINECALLFEATURE_ANSWER
                                                             : LINECALLFEATURE_DROP;
  // A request waits for its reply while messages flow, so rows may go meanwhile: a dropped
  // call's row, or every row of a line that TAPI closed. The selected rows are taken first,
  // from the last to the first, and each is looked up again (by its call, without touching a
  // row that may be gone) before it is acted on.
  std::vector<std::pair<TzvTapiCall*, TCallItem*>> selected;
  for (int i = ListView1->topLevelItemCount() - 1; i >= 0; --i) {
    auto* item = static_cast<TCallItem*>(ListView1->topLevelItem(i));
    if (item->isSelected()) selected.emplace_back(item->Call, item);
  }
  for (const auto& [Call, item] : selected) {
    if (FRows.value(Call) != item || !item->isSelected()) continue;
    if (!item->Line->IsCallObject(Call)) {
      DeleteRow(item);
      continue;
    }
    try {
      if ((Call->Status()->CallFeatures() & feature) == 0) continue;
      switch (command) {
        case TCallCommand::Accept:
          Call->Accept("");
          break;
        case TCallCommand::Answer:
          Call->Answer("");
          break;
        case TCallCommand::Drop:
          Call->Drop("");
          break;
      }
    } catch (const std::exception& e) {
      ShowErrorMessage(QString::fromUtf8(e.what()));
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Keys, errors

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ListView1 && event->type() == QEvent::KeyPress) {
    auto* keyEvent = static_cast<QKeyEvent*>(event);
    int key = keyEvent->key();
    ListView1KeyDown(ListView1, key, keyEvent->modifiers());
    if (key == 0) return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TForm1::ListView1KeyDown(QObject* /*Sender*/, int& Key, Qt::KeyboardModifiers Shift) {
  const Qt::KeyboardModifiers modifiers =
      Shift & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
  if (modifiers == Qt::ControlModifier && Key == Qt::Key_A) {
    ListView1->selectAll();
    Key = 0;
  }
}

void TForm1::ShowErrorMessage(const QString& text) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), text, QMessageBox::Ok, this);
  box.exec();
}

}  // namespace ringwatch
