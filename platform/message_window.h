// The user-interface thread's message window: hidden windows with a window procedure, messages
// posted to them from any thread, and the loop that dispatches them on the user-interface
// thread. How the loop is driven is pluggable so that a toolkit's event loop can run it.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

using HWND = uint32_t;  // 0 is never a valid window

inline constexpr uint32_t WM_USER = 0x0400;

struct Message {
  HWND hwnd;
  uint32_t msg;
  uintptr_t wParam;
  intptr_t lParam;
  intptr_t result;
};

using WindowProc = std::function<void(Message&)>;

// Creates a hidden window whose procedure runs on the thread that dispatches messages.
HWND AllocateHWnd(WindowProc proc);
// Destroys the window; messages still queued for it are discarded. False for an unknown window.
bool DeallocateHWnd(HWND window);

// Queues a message for the window; callable from any thread. False when the window does not
// exist.
bool PostMessage(HWND window, uint32_t msg, uintptr_t wParam, intptr_t lParam);

// What the windowing system does with a message nobody handles: result 0.
void DefWindowProc(Message& message);

// Dispatches the messages queued at the time of the call (messages posted while dispatching wait
// for the next call). Returns how many were dispatched.
int DispatchPendingMessages();

// Pulls every pending message through the current pump: the toolkit's events too, when a
// toolkit drives the loop. Used by waits that must keep the user-interface thread alive.
void ProcessMessages();

// Runs the default message loop until PostQuitMessage; returns the exit code given there.
int RunMessageLoop();
void PostQuitMessage(int exitCode);

// A message pump decides how posted messages reach DispatchPendingMessages. The default pump
// wakes RunMessageLoop; a toolkit adapter schedules a dispatch on its own event loop.
class MessagePump {
 public:
  virtual ~MessagePump() = default;
  // A message was posted (called from the posting thread, without locks held).
  virtual void Wake() = 0;
  // Process everything pending now, on the user-interface thread.
  virtual void ProcessPending() = 0;
};

// Installs a pump (nullptr restores the default). The pump must outlive its installation.
void SetMessagePump(MessagePump* pump);

}  // namespace platform
