// Ringwatch's main window: opens every line device that supports interactive voice, lists the
// calls on those lines as they come, change and go, and lets the user accept, answer or drop
// the selected calls. Everything telephony-related is done by the zvTapi library.
#pragma once

#include <QFrame>
#include <QHash>
#include <QSet>
#include <QString>
#include <QWidget>
#include <exception>
#include <memory>
#include <vector>

#include "tapi/application.h"
#include "tapi/line.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace ringwatch {

class TCallItem;

// A status bar of fixed-width panels, each with its own text, alignment and bevel; the last
// panel takes whatever width is left.
class TStatusBar : public QFrame {
 public:
  struct TPanel {
    int Width;
    Qt::Alignment Alignment;
    bool Bevel;
  };
  TStatusBar(const std::vector<TPanel>& panels, QWidget* parent);

  int PanelCount() const { return static_cast<int>(FPanels.size()); }
  QLabel* Panel(int index) const { return FPanels.at(static_cast<size_t>(index)); }
  QString PanelText(int index) const;
  void SetPanelText(int index, const QString& text);

 private:
  std::vector<QLabel*> FPanels;
};

class TForm1 : public QWidget {
 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // The window's parts.
  zvtapi::TzvTapiLine* zvTapiLine1;  // the probe line; never opened
  QTreeWidget* ListView1;
  TStatusBar* StatusBar1;
  QWidget* Panel1;
  QPushButton* Button_Answer;
  QPushButton* Button_Drop;
  QPushButton* Button_Owner;
  QFrame* Panel2;
  QLabel* Label1;
  QComboBox* ComboBox_Lines;
  QPushButton* Button1;

  // Handlers.
  void FormCreate();
  // Runs when the message FormCreate posts arrives: the first scan, once the loop runs and
  // the window is on screen.
  void DeferredInit();
  // The line scan; Sender is the Activate button, or none for the first scan. Any exception
  // other than a line's EzvTapiError leaves it (after the cursor and status are restored).
  void DoInit(QObject* Sender);
  void DoAccept(QObject* Sender);
  void DoAnswer(QObject* Sender);
  void DoDrop(QObject* Sender);
  // Key is set to 0 when the key was used up.
  void ListView1KeyDown(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift);
  void zvTapiLine1CallState(zvtapi::TzvTapiLine* Sender, zvtapi::TzvTapiCall* Call,
                            zvtapi::Cardinal CallState);
  void zvTapiLine1CallInfo(zvtapi::TzvTapiLine* Sender, zvtapi::TzvTapiCall* Call,
                           zvtapi::Cardinal InfoState);
  void zvTapiLine1NewCall(zvtapi::TzvTapiLine* Sender, zvtapi::TzvTapiCall* Call);
  void zvTapiLine1CallDeallocate(zvtapi::TzvTapiLine* Sender, zvtapi::TzvTapiCall* Call);
  // TAPI closed a line, also when its device left the system: the line has freed its calls
  // without a deallocation event for each. Their rows go, and the line no longer counts as
  // active.
  void zvTapiLine1DeviceClose(zvtapi::TObject* Sender);
  void zvTapiLine1Error(zvtapi::TObject* Sender, const std::exception& Error,
                        zvtapi::TObject* Causer);
  void FormDestroy();

  // The lines the scans created, in creation order.
  const zvtapi::TzvTapiLineList& Lines() const { return *FLines; }
  // The call a row stands for, and the row of a call (-1 when it has none).
  zvtapi::TzvTapiCall* CallOfRow(int row) const;
  int RowOfCall(const zvtapi::TzvTapiCall* Call) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The parts as the stored layout has them, before FormCreate adjusts them.
  void CreateParts();
  // The probe's stored line handlers; the scan copies them to every line it creates.
  void AssignLineHandlers(zvtapi::TzvTapiLine* line);
  void UpdateCallItem(zvtapi::TzvTapiLine* Line, zvtapi::TzvTapiCall* Call);
  void RemoveCallItem(zvtapi::TzvTapiLine* Line, zvtapi::TzvTapiCall* Call);
  void DeleteRow(TCallItem* item);
  // Drops the rows whose call the library freed without a deallocation event (a line that
  // TAPI closed frees its calls silently).
  void RemoveStaleRows();
  void ShowActiveCount();
  // Adds an entry to the combo box at its alphabetical place (letter case ignored).
  void AddLineEntry(const QString& text);
  enum class TCallCommand { Accept, Answer, Drop };
  void RunCallCommand(TCallCommand command);
  // Runs a handler on behalf of Qt: an exception that escapes it is reported in a message box
  // instead of unwinding through Qt.
  template <class F>
  void Guarded(F&& handler);
  void ShowErrorMessage(const QString& text);

  // Owns the line components: the probe and every line a scan creates; they go with the
  // window.
  std::unique_ptr<zvtapi::TComponent> FComponents;
  std::unique_ptr<zvtapi::TzvTapiLineList> FLines;
  // The lines the last scan counted as active, less those TAPI has closed since; the status
  // bar's active count.
  QSet<const zvtapi::TzvCustomTapiLine*> FActiveLines;
  // Rows by call, so that a call's row is found without walking the list.
  QHash<const zvtapi::TzvTapiCall*, TCallItem*> FRows;
  bool FDestroying = false;
};

}  // namespace ringwatch
