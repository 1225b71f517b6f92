// Ctrl+C and SIGTERM end the examples' message loop. The two signals are blocked in every
// thread and one thread takes them with sigwait, so ending the loop is an ordinary call and not
// work inside a signal handler. Call it first in main, before the library starts its threads.
#pragma once

#include <pthread.h>

#include <csignal>
#include <thread>

#include "platform/message_window.h"

inline void QuitOnStopSignals() {
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  std::thread([stop] {
    int signal = 0;
    sigwait(&stop, &signal);
    platform::PostQuitMessage(0);
  }).detach();
}
