// The library's message window on Qt's event loop: who dispatches, on which thread, how
// often, and what a synchronous wait's message processing covers.
#include <QTest>
#include <QThread>
#include <atomic>
#include <memory>
#include <thread>

#include "app/qt_message_pump.h"
#include "app_test_support.h"
#include "platform/message_window.h"

namespace ringwatch::testing {

// Counts the events a pump receives.
class EventCounter : public QObject {
 public:
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent*) override {
    ++count;
    return false;
  }
};

class QtMessagePumpTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QtMessagePump> pump;
  platform::HWND window = 0;
  std::atomic<int> received{0};
  Qt::HANDLE receiverThread = nullptr;

 private slots:
  void init() {
    pump = std::make_unique<QtMessagePump>();
    received = 0;
    receiverThread = nullptr;
    window = platform::AllocateHWnd([this](platform::Message& m) {
      receiverThread = QThread::currentThreadId();
      received += static_cast<int>(m.wParam);
    });
  }
  void cleanup() {
    platform::DeallocateHWnd(window);
    pump.reset();
  }

  void messagesFromAnotherThreadArriveOnTheQtThread() {
    std::thread poster([this] {
      for (int i = 0; i < 50; ++i)
        platform::PostMessage(window, platform::WM_USER, 1, 0);
    });
    poster.join();
    QVERIFY(WaitUntil([this] { return received == 50; }));
    QCOMPARE(receiverThread, QThread::currentThreadId());
  }

  void postsBeforeADispatchShareOneQtEvent() {
    EventCounter counter;
    pump->installEventFilter(&counter);
    for (int i = 0; i < 100; ++i)
      platform::PostMessage(window, platform::WM_USER, 1, 0);
    QCoreApplication::processEvents();
    QCOMPARE(received.load(), 100);
    QCOMPARE(counter.count, 1);
    // Later posts schedule the next dispatch.
    platform::PostMessage(window, platform::WM_USER, 1, 0);
    QCoreApplication::processEvents();
    QCOMPARE(received.load(), 101);
    QCOMPARE(counter.count, 2);
    pump->removeEventFilter(&counter);
  }

  void aMessagePostedWhileDispatchingIsNotLost() {
    platform::HWND echo = platform::AllocateHWnd([this](platform::Message& m) {
      if (m.wParam > 0) platform::PostMessage(window, platform::WM_USER, m.wParam, 0);
    });
    platform::PostMessage(echo, platform::WM_USER, 7, 0);
    QVERIFY(WaitUntil([this] { return received == 7; }));
    platform::DeallocateHWnd(echo);
  }

  void processMessagesRunsQtEventsAndWindowMessages() {
    bool qtEventRan = false;
    QMetaObject::invokeMethod(
        pump.get(), [&] { qtEventRan = true; }, Qt::QueuedConnection);
    platform::PostMessage(window, platform::WM_USER, 3, 0);
    platform::ProcessMessages();
    QVERIFY(qtEventRan);
    QCOMPARE(received.load(), 3);
  }

  void withoutThePumpTheLibraryDispatchesAlone() {
    pump.reset();
    platform::PostMessage(window, platform::WM_USER, 2, 0);
    QCoreApplication::processEvents();
    QCOMPARE(received.load(), 0);
    QCOMPARE(platform::DispatchPendingMessages(), 1);
    QCOMPARE(received.load(), 2);
  }

  void aPumpInstalledLateDeliversWhatWasPending() {
    pump.reset();
    platform::PostMessage(window, platform::WM_USER, 4, 0);
    pump = std::make_unique<QtMessagePump>();
    QVERIFY(WaitUntil([this] { return received == 4; }));
  }
};

}  // namespace ringwatch::testing

int main(int argc, char** argv) {
  ringwatch::testing::PrepareHeadlessQt();
  QApplication app(argc, argv);
  ringwatch::testing::QtMessagePumpTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "qt_message_pump_test.moc"
