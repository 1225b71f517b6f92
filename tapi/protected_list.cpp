#include "tapi/protected_list.h"

namespace zvtapi {

TProtectedMutex::TProtectedMutex() : FMutex(platform::CreateMutex()) {}

TProtectedMutex::~TProtectedMutex() {
  platform::CloseHandle(FMutex);
}

bool TProtectedMutex::Acquire(Cardinal timeout) {
  const uint32_t result = platform::WaitForSingleObject(FMutex, timeout);
  if (result == platform::WAIT_ABANDONED_0) {
    // The wait made us the owner of a lock whose state nobody vouches for. Report failure as
    // callers expect, but give the lock back: keeping it would shut every other thread out.
    platform::ReleaseMutex(FMutex);
    return false;
  }
  return result == platform::WAIT_OBJECT_0;
}

void TProtectedMutex::Release() {
  platform::ReleaseMutex(FMutex);
}

}  // namespace zvtapi
