// Events and mutexes behind one process-wide lock. Every waiter has its own condition variable
// (one per thread, reused), registers it with the objects it waits on, and re-checks all of them
// when any of them changes. With the handful of threads this program runs, one lock is both
// simpler and faster than per-object locking, and nothing on the set/wait path allocates.
#include "platform/sync.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace platform {
namespace {

struct ThreadRecord;

struct Waiter {
  std::condition_variable cv;
};

struct Object {
  enum class Kind { Event, Mutex } kind;
  bool manualReset = false;
  bool signalled = false;  // events only
  bool closed = false;
  bool abandoned = false;         // mutexes: the last owner ended while holding it
  ThreadRecord* owner = nullptr;  // mutexes: the owning thread
  uint32_t recursion = 0;
  std::vector<Waiter*> waiters;

  explicit Object(Kind k) : kind(k) { waiters.reserve(4); }

  void WakeWaiters();
};

using ObjectPtr = std::shared_ptr<Object>;

struct Globals {
  std::mutex lock;
  std::unordered_map<HANDLE, ObjectPtr> table;
  HANDLE nextHandle = 0x100;
  // Records made after their thread's end-of-thread cleanup (see Self); kept here, reachable,
  // because nothing is left to free them.
  std::vector<std::unique_ptr<ThreadRecord>> lateRecords;
};

// Never destroyed: threads that end after main returns still release their mutexes here.
Globals& G() {
  static Globals* globals = new Globals;
  return *globals;
}

// The mutexes a thread owns, and the condition variable it waits on.
struct ThreadRecord {
  std::vector<ObjectPtr> owned;
  Waiter waiter;

  ThreadRecord() { owned.reserve(4); }
};

// Whatever the thread still holds is abandoned: the next waiter gets it with WAIT_ABANDONED so
// that it knows the protected state may be torn.
void AbandonOwned(ThreadRecord& record) {
  Globals& g = G();
  std::lock_guard guard(g.lock);
  for (ObjectPtr& m : record.owned) {
    if (m->owner != &record) continue;
    m->owner = nullptr;
    m->recursion = 0;
    m->abandoned = true;
    m->WakeWaiters();
  }
  record.owned.clear();
}

void Object::WakeWaiters() {
  for (Waiter* w : waiters)
    w->cv.notify_one();
}

// A thread's record, reached through a plain pointer rather than held as a thread-local object:
// code still waits on a thread after its thread-local destructors ran. The main thread runs every
// static destructor after them (a library's teardown taking a lock there would otherwise write
// into the freed record and corrupt the heap), and other thread-locals of any thread may be
// destroyed after this one.
thread_local ThreadRecord* tRecord = nullptr;
thread_local bool tRecordCleanedUp = false;

// Abandons the thread's mutexes and frees its record when the thread ends.
struct RecordCleanup {
  ~RecordCleanup() {
    tRecordCleanedUp = true;
    std::unique_ptr<ThreadRecord> record(std::exchange(tRecord, nullptr));
    if (record) AbandonOwned(*record);
  }
};

ThreadRecord& Self() {
  if (tRecord != nullptr) return *tRecord;
  if (!tRecordCleanedUp) {
    thread_local RecordCleanup cleanup;  // frees the record when the thread ends
    tRecord = new ThreadRecord;
    return *tRecord;
  }
  // Too late for a cleanup: the thread is ending. What it takes from now on is never abandoned,
  // which matters to nobody once the thread is gone.
  auto record = std::make_unique<ThreadRecord>();
  tRecord = record.get();
  Globals& g = G();
  std::lock_guard guard(g.lock);
  g.lateRecords.push_back(std::move(record));
  return *tRecord;
}

Object* Find(Globals& g, HANDLE handle) {
  auto it = g.table.find(handle);
  return it == g.table.end() ? nullptr : it->second.get();
}

HANDLE Insert(ObjectPtr object) {
  Globals& g = G();
  std::lock_guard guard(g.lock);
  // Handle numbers only grow, so a stale handle does not name a new object for a long time;
  // after the 32-bit wrap, skip 0 and numbers still in use.
  HANDLE h;
  do {
    h = g.nextHandle++;
  } while (h == 0 || g.table.count(h) != 0);
  g.table.emplace(h, std::move(object));
  return h;
}

// Takes the object for `self` when it is signalled. Returns WAIT_OBJECT_0 or WAIT_ABANDONED_0
// on success (before adding the index) and WAIT_TIMEOUT when it is not available.
uint32_t TryAcquire(const ObjectPtr& object, ThreadRecord& self) {
  Object& o = *object;
  if (o.kind == Object::Kind::Event) {
    if (!o.signalled) return WAIT_TIMEOUT;
    if (!o.manualReset) o.signalled = false;
    return WAIT_OBJECT_0;
  }
  if (o.owner == &self) {
    ++o.recursion;
    return WAIT_OBJECT_0;
  }
  if (o.owner != nullptr) return WAIT_TIMEOUT;
  o.owner = &self;
  o.recursion = 1;
  self.owned.push_back(object);
  if (o.abandoned) {
    o.abandoned = false;
    return WAIT_ABANDONED_0;
  }
  return WAIT_OBJECT_0;
}

void Unregister(Object& o, Waiter* w) {
  auto it = std::find(o.waiters.begin(), o.waiters.end(), w);
  if (it != o.waiters.end()) o.waiters.erase(it);
}

}  // namespace

HANDLE CreateEvent(bool manualReset, bool initialState) {
  auto object = std::make_shared<Object>(Object::Kind::Event);
  object->manualReset = manualReset;
  object->signalled = initialState;
  return Insert(std::move(object));
}

bool SetEvent(HANDLE event) {
  Globals& g = G();
  std::lock_guard guard(g.lock);
  Object* o = Find(g, event);
  if (o == nullptr || o->kind != Object::Kind::Event) return false;
  if (!o->signalled) {
    o->signalled = true;
    o->WakeWaiters();
  }
  return true;
}

bool ResetEvent(HANDLE event) {
  Globals& g = G();
  std::lock_guard guard(g.lock);
  Object* o = Find(g, event);
  if (o == nullptr || o->kind != Object::Kind::Event) return false;
  o->signalled = false;
  return true;
}

HANDLE CreateMutex() {
  return Insert(std::make_shared<Object>(Object::Kind::Mutex));
}

bool ReleaseMutex(HANDLE mutex) {
  ThreadRecord& self = Self();
  Globals& g = G();
  std::lock_guard guard(g.lock);
  Object* o = Find(g, mutex);
  if (o == nullptr || o->kind != Object::Kind::Mutex || o->owner != &self) return false;
  if (--o->recursion == 0) {
    o->owner = nullptr;
    auto it = std::find_if(self.owned.begin(), self.owned.end(),
                           [o](const ObjectPtr& p) { return p.get() == o; });
    // Erasing may drop the last reference when the handle was closed meanwhile; that cannot
    // happen here because the table still holds it (we just found it there).
    if (it != self.owned.end()) self.owned.erase(it);
    o->WakeWaiters();
  }
  return true;
}

bool CloseDescriptor(int descriptor) {
  return ::close(descriptor) == 0;
}

bool CloseHandle(HANDLE handle) {
  ObjectPtr doomed;  // released after the lock, in case it is the last reference
  Globals& g = G();
  std::lock_guard guard(g.lock);
  auto it = g.table.find(handle);
  if (it == g.table.end()) return false;
  doomed = std::move(it->second);
  g.table.erase(it);
  doomed->closed = true;
  doomed->WakeWaiters();
  return true;
}

namespace {

// Takes the first available object without blocking: WAIT_OBJECT_0 / WAIT_ABANDONED_0 + index,
// WAIT_FAILED for an unknown handle, WAIT_TIMEOUT when nothing is available. Most waits (every
// uncontended lock of a guarded list) end here, so it avoids the clock and reference copies.
uint32_t TryAcquireAny(Globals& g, uint32_t count, const HANDLE* handles, ThreadRecord& self) {
  std::array<const ObjectPtr*, MAXIMUM_WAIT_OBJECTS> found;
  for (uint32_t i = 0; i < count; ++i) {
    auto it = g.table.find(handles[i]);
    if (it == g.table.end()) return WAIT_FAILED;
    found[i] = &it->second;
  }
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t r = TryAcquire(*found[i], self);
    if (r != WAIT_TIMEOUT) return r + i;
  }
  return WAIT_TIMEOUT;
}

}  // namespace

uint32_t WaitForMultipleObjects(uint32_t count, const HANDLE* handles, uint32_t timeoutMs) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) return WAIT_FAILED;
  ThreadRecord& self = Self();
  Globals& g = G();
  {
    std::lock_guard guard(g.lock);
    const uint32_t result = TryAcquireAny(g, count, handles, self);
    if (result != WAIT_TIMEOUT || timeoutMs == 0) return result;
  }

  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  // Declared before the lock so that the objects are released after it (closing may have left
  // these as the last references).
  std::array<ObjectPtr, MAXIMUM_WAIT_OBJECTS> objects;
  std::unique_lock guard(g.lock);
  for (uint32_t i = 0; i < count; ++i) {
    auto it = g.table.find(handles[i]);
    if (it == g.table.end()) return WAIT_FAILED;
    objects[i] = it->second;
  }

  bool registered = false;
  uint32_t result = WAIT_TIMEOUT;
  for (;;) {
    bool failed = false;
    for (uint32_t i = 0; i < count; ++i) {
      if (objects[i]->closed) {
        failed = true;
        break;
      }
    }
    if (failed) {
      result = WAIT_FAILED;
      break;
    }
    bool acquired = false;
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t r = TryAcquire(objects[i], self);
      if (r != WAIT_TIMEOUT) {
        result = r + i;
        acquired = true;
        break;
      }
    }
    if (acquired || timeoutMs == 0) break;
    if (!registered) {
      for (uint32_t i = 0; i < count; ++i)
        objects[i]->waiters.push_back(&self.waiter);
      registered = true;
    }
    if (timeoutMs == INFINITE) {
      self.waiter.cv.wait(guard);
    } else if (self.waiter.cv.wait_until(guard, deadline) == std::cv_status::timeout) {
      // One last look: the object may have been signalled just as the time ran out.
      for (uint32_t i = 0; i < count && result == WAIT_TIMEOUT; ++i) {
        if (objects[i]->closed) continue;
        uint32_t r = TryAcquire(objects[i], self);
        if (r != WAIT_TIMEOUT) result = r + i;
      }
      break;
    }
  }
  // Every waiter of an object is woken when it changes, so a waiter leaving without taking it
  // leaves nobody stranded.
  if (registered) {
    for (uint32_t i = 0; i < count; ++i)
      Unregister(*objects[i], &self.waiter);
  }
  guard.unlock();
  return result;
}

uint32_t WaitForSingleObject(HANDLE handle, uint32_t timeoutMs) {
  return WaitForMultipleObjects(1, &handle, timeoutMs);
}

}  // namespace platform
