// Lists guarded by a re-entrant mutex that is always taken with a time-out. The lists add no
// locking to their item operations: callers hold the lock around every access that another
// thread may make at the same time.
#pragma once

#include <deque>
#include <memory>

#include "platform/sync.h"
#include "tapi/errors.h"

namespace zvtapi {

class TProtectedMutex {
 public:
  TProtectedMutex();
  ~TProtectedMutex();
  TProtectedMutex(const TProtectedMutex&) = delete;
  TProtectedMutex& operator=(const TProtectedMutex&) = delete;

  // Waits for the lock at most Timeout ms (0xFFFFFFFF: no limit). True only when the lock was
  // obtained normally; false on time-out and when its last owner ended while holding it.
  bool Acquire(Cardinal timeout);
  void Release();

 private:
  platform::HANDLE FMutex;
};

// Holds an acquired lock until the end of the scope.
class TLockGuard {
 public:
  TLockGuard(TProtectedMutex& mutex, Cardinal timeout)
      : FMutex(mutex), FLocked(mutex.Acquire(timeout)) {}
  ~TLockGuard() {
    if (FLocked) FMutex.Release();
  }
  TLockGuard(const TLockGuard&) = delete;
  TLockGuard& operator=(const TLockGuard&) = delete;
  bool Locked() const { return FLocked; }
  explicit operator bool() const { return FLocked; }

 private:
  TProtectedMutex& FMutex;
  bool FLocked;
};

// Refers to its items; never frees them.
template <class T>
class TProtectedList : public TProtectedMutex {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  T* Get(int index) const { return FItems.at(static_cast<size_t>(index)); }
  void Put(int index, T* item) { FItems.at(static_cast<size_t>(index)) = item; }
  int Add(T* item) {
    FItems.push_back(item);
    return Count() - 1;
  }
  void Insert(int index, T* item) { FItems.insert(FItems.begin() + index, item); }
  void Delete(int index) { FItems.erase(FItems.begin() + CheckedIndex(index)); }
  int IndexOf(const T* item) const {
    for (size_t i = 0; i < FItems.size(); ++i) {
      if (FItems[i] == item) return static_cast<int>(i);
    }
    return -1;
  }
  int Remove(const T* item) {
    const int index = IndexOf(item);
    if (index >= 0) Delete(index);
    return index;
  }
  void Clear() { FItems.clear(); }
  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

 private:
  int CheckedIndex(int index) const {
    if (index < 0 || index >= Count()) RaiseError(Format("List index out of bounds (%d)", index));
    return index;
  }
  std::deque<T*> FItems;
};

// Owns its items: removing an item frees it, unless it is extracted.
template <class T>
class TProtectedObjectList : public TProtectedMutex {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  T* Get(int index) const { return FItems.at(static_cast<size_t>(index)).get(); }
  void Put(int index, std::unique_ptr<T> item) {
    FItems.at(static_cast<size_t>(index)) = std::move(item);
  }
  T* Add(std::unique_ptr<T> item) {
    FItems.push_back(std::move(item));
    return FItems.back().get();
  }
  void Delete(int index) { FItems.erase(FItems.begin() + CheckedIndex(index)); }
  // Removes the item without freeing it; the caller owns it from now on.
  std::unique_ptr<T> Extract(int index) {
    auto it = FItems.begin() + CheckedIndex(index);
    std::unique_ptr<T> item = std::move(*it);
    FItems.erase(it);
    return item;
  }
  int IndexOf(const T* item) const {
    for (size_t i = 0; i < FItems.size(); ++i) {
      if (FItems[i].get() == item) return static_cast<int>(i);
    }
    return -1;
  }
  void Clear() { FItems.clear(); }
  // Gives memory back after a burst; deques keep their blocks otherwise.
  void ShrinkToFit() { FItems.shrink_to_fit(); }

 private:
  int CheckedIndex(int index) const {
    if (index < 0 || index >= Count()) RaiseError(Format("List index out of bounds (%d)", index));
    return index;
  }
  std::deque<std::unique_ptr<T>> FItems;
};

}  // namespace zvtapi
