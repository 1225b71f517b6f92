// What the dialog tests share: driving a modal dialog from inside its event loop, and a line
// application for the entry points that want one.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "tapi32/tapi.h"

namespace dialogtest {

// Runs `act` on the dialog of type Dialog as soon as it is shown modally.
template <class Dialog>
void WhenShown(std::function<void(Dialog&)> act) {
  QTimer::singleShot(0, [act] {
    auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    QVERIFY(dialog != nullptr);
    act(*dialog);
  });
}

inline HLINEAPP InitLine() {
  HLINEAPP app = 0;
  DWORD devices = 0;
  DWORD version = 0x00020002;
  LINEINITIALIZEEXPARAMS params{};
  params.dwTotalSize = sizeof(params);
  params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
  lineInitializeExW(&app, 0, nullptr, u"dialog test", &devices, &version, &params);
  return app;
}

}  // namespace dialogtest
