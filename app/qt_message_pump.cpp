#include "app/qt_message_pump.h"

#include <QCoreApplication>
#include <QEvent>
#include <QtGlobal>
#include <exception>

namespace ringwatch {

namespace {

QEvent::Type DispatchEventType() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

}  // namespace

void QtMessagePump::DispatchGuarded() {
  // The library reports its own failures through OnError; whatever still escapes must not
  // unwind through Qt's event delivery, which is not exception-safe.
  try {
    platform::DispatchPendingMessages();
  } catch (...) {
    if (FExceptionHandler) {
      FExceptionHandler(std::current_exception());
    } else {
      qWarning("ringwatch: unhandled exception in a window message");
    }
  }
}

QtMessagePump::QtMessagePump() {
  Q_ASSERT(QCoreApplication::instance() != nullptr);
  DispatchEventType();  // registered here, not first from the event thread
  platform::SetMessagePump(this);
  // Messages posted before the pump existed would otherwise wait for the next post.
  Wake();
}

QtMessagePump::~QtMessagePump() {
  // Returns once no other thread is inside Wake; events still queued for this object are
  // discarded by QObject's destructor.
  platform::SetMessagePump(nullptr);
}

void QtMessagePump::Wake() {
  if (FScheduled.exchange(true)) return;
  auto* dispatch = new QEvent(DispatchEventType());
  // Qt's event queue orders the event's construction before its delivery on the user-interface
  // thread, but Qt is not built with ThreadSanitizer, which cannot see that ordering; this
  // release, paired with the acquire in event(), states it where the tool can.
  FPosted.fetch_add(1, std::memory_order_release);
  QCoreApplication::postEvent(this, dispatch);
}

void QtMessagePump::ProcessPending() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  DispatchGuarded();
}

bool QtMessagePump::event(QEvent* e) {
  FPosted.load(std::memory_order_acquire);
  if (e->type() != DispatchEventType()) return QObject::event(e);
  // Cleared first: a message posted while this dispatch runs schedules the next one.
  FScheduled.store(false);
  DispatchGuarded();
  return true;
}

}  // namespace ringwatch
