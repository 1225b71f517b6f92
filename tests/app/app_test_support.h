// What the window tests share: a headless Qt environment, waiting on the Qt loop until
// something holds, a scripted switch, and a watcher that sees and closes message boxes.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <functional>
#include <string>

#include "headless_qt.h"
#include "tapi32/sim/switch.h"

namespace ringwatch::testing {

// Runs the Qt loop until the condition holds. The limit only guards against a hang; on a
// healthy run the condition holds long before.
inline bool WaitUntil(const std::function<bool()>& condition) {
  QDeadlineTimer limit(120000);
  while (!condition()) {
    if (limit.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QThread::msleep(1);
  }
  return true;
}

// Runs the Qt loop for a while, for checks that something does not happen.
inline void Settle(int milliseconds) {
  QDeadlineTimer end(milliseconds);
  while (!end.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QThread::msleep(1);
  }
}

inline tapi32::sim::Switch& Switch() {
  return tapi32::sim::Switch::Instance();
}

inline tapi32::sim::LineConfig VoiceLine(const std::string& name) {
  tapi32::sim::LineConfig line;
  line.name = name;
  line.mediaModes = LINEMEDIAMODE_INTERACTIVEVOICE;
  return line;
}

inline tapi32::sim::IncomingCall Caller(const std::string& number, const std::string& name) {
  tapi32::sim::IncomingCall call;
  call.callerNumber = number;
  call.callerName = name;
  call.calledNumber = "200";
  call.calledName = "Reception";
  return call;
}

// Closes every message box that appears (with its OK button) and remembers its text.
class MessageBoxWatcher {
 public:
  MessageBoxWatcher() {
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        texts << box->text();
        box->button(QMessageBox::Ok)->click();
      }
    });
    FTimer.start(5);
  }
  QStringList texts;

 private:
  QTimer FTimer;
};

}  // namespace ringwatch::testing
