// Kernel-style synchronisation objects: events, re-entrant mutexes and waiting on several of
// them with a time-out. Objects are named by 32-bit handles because the Telephony API hands
// event handles to applications inside its 32-bit structures.
#pragma once

#include <cstdint>

namespace platform {

using HANDLE = uint32_t;  // 0 is never a valid handle

inline constexpr uint32_t INFINITE = 0xFFFFFFFF;
inline constexpr uint32_t WAIT_OBJECT_0 = 0x00000000;
inline constexpr uint32_t WAIT_ABANDONED_0 = 0x00000080;
inline constexpr uint32_t WAIT_TIMEOUT = 0x00000102;
inline constexpr uint32_t WAIT_FAILED = 0xFFFFFFFF;
inline constexpr uint32_t MAXIMUM_WAIT_OBJECTS = 64;

// Events. A manual-reset event stays signalled until reset; an auto-reset event releases one
// waiter and resets itself.
HANDLE CreateEvent(bool manualReset, bool initialState);
bool SetEvent(HANDLE event);
bool ResetEvent(HANDLE event);

// Mutexes are re-entrant for their owner thread: each successful wait needs its own release.
// When the owner thread ends while holding one, the next waiter gets it with
// WAIT_ABANDONED_0 (+ index) instead of WAIT_OBJECT_0.
HANDLE CreateMutex();
bool ReleaseMutex(HANDLE mutex);  // false when the calling thread does not own it

// Closes any handle; waits in progress on it end with WAIT_FAILED.
bool CloseHandle(HANDLE handle);

// Closes a file descriptor the telephony runtime handed out (a data call's port), which stands
// for a kernel handle here; false when it was not open.
bool CloseDescriptor(int descriptor);

// Waits until one of the objects is signalled (wait-any), or timeoutMs passes (INFINITE waits
// without limit). Returns WAIT_OBJECT_0 + i for the lowest signalled index i, WAIT_ABANDONED_0
// + i for an abandoned mutex, WAIT_TIMEOUT, or WAIT_FAILED for an invalid handle or count.
uint32_t WaitForMultipleObjects(uint32_t count, const HANDLE* handles, uint32_t timeoutMs);
uint32_t WaitForSingleObject(HANDLE handle, uint32_t timeoutMs);

}  // namespace platform
