// Runs the library's message window on Qt's event loop: a posted notification (from the event
// thread or from the user-interface thread itself) schedules one dispatch of the pending
// window messages on the Qt main thread, and a synchronous wait inside the library that asks
// for pending messages to be processed pumps Qt's events as well, so the window stays alive
// while a request waits for its reply.
#pragma once

#include <QObject>
#include <atomic>
#include <exception>
#include <functional>

#include "platform/message_window.h"

class QEvent;

namespace ringwatch {

class QtMessagePump final : public QObject, public platform::MessagePump {
 public:
  // Installs itself as the library's message pump; a QCoreApplication must exist, and this
  // object must live on its thread.
  QtMessagePump();
  // Uninstalls itself (the library falls back to its own loop) before it goes; must happen
  // while the QCoreApplication still exists.
  ~QtMessagePump() override;
  QtMessagePump(const QtMessagePump&) = delete;
  QtMessagePump& operator=(const QtMessagePump&) = delete;

  // Any thread: schedules one dispatch; further wakes before it runs ride along with it.
  void Wake() override;
  // User-interface thread: Qt's pending events, then whatever window messages are pending.
  void ProcessPending() override;
  // Receives what escapes the library's message dispatch (an event handler's exception the
  // library does not route to OnError); without one, the exception is logged and dropped.
  void SetExceptionHandler(std::function<void(std::exception_ptr)> handler) {
    FExceptionHandler = std::move(handler);
  }

 protected:
  bool event(QEvent* e) override;

 private:
  void DispatchGuarded();

  std::function<void(std::exception_ptr)> FExceptionHandler;
  // Set while a dispatch event is queued and not yet started.
  std::atomic<bool> FScheduled{false};
  std::atomic<unsigned> FPosted{0};  // dispatch events posted, for the ordering in Wake
};

}  // namespace ringwatch
