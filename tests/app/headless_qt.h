// A headless Qt for the window's tests and benchmarks; needs only Qt Core.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QString>
#include <QtGlobal>

namespace ringwatch::testing {

// Before QApplication exists: offscreen unless a display was chosen, and a private runtime
// directory so that Qt has nothing to warn about.
inline void PrepareHeadlessQt() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    const QString dir = QDir::tempPath() + QStringLiteral("/ringwatch-tests-") +
                        QString::number(static_cast<unsigned>(getuid()));
    QDir().mkpath(dir);
    chmod(dir.toLocal8Bit().constData(), 0700);
    qputenv("XDG_RUNTIME_DIR", dir.toLocal8Bit());
  }
}

}  // namespace ringwatch::testing
