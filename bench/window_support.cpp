#include "bench/window_support.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace ringwatch::bench {

void WaitUntil(const std::function<bool()>& condition, const std::string& what) {
  QDeadlineTimer limit(300000);
  while (!condition()) {
    Require(!limit.hasExpired(), what + ": timed out");
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QThread::usleep(200);
  }
}

}  // namespace ringwatch::bench
