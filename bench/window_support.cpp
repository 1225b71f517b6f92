#include "bench/window_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QThread>

namespace ringwatch::bench {

void PrepareOffscreen() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    const QString dir = QDir::tempPath() + QStringLiteral("/ringwatch-bench-") +
                        QString::number(static_cast<unsigned>(getuid()));
    QDir().mkpath(dir);
    chmod(dir.toLocal8Bit().constData(), 0700);
    qputenv("XDG_RUNTIME_DIR", dir.toLocal8Bit());
  }
}

void WaitUntil(const std::function<bool()>& condition, const std::string& what) {
  QDeadlineTimer limit(300000);
  while (!condition()) {
    Require(!limit.hasExpired(), what + ": timed out");
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QThread::usleep(200);
  }
}

}  // namespace ringwatch::bench
