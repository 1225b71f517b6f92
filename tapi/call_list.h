// The call list a line keeps its call objects in (and that programs may use for their own
// collections of calls), with what makes it cheap on a line with thousands of calls: a flat
// table from handle to call, and the list memberships kept inside each call object.
#pragma once

#include <deque>
#include <memory>
#include <vector>

#include "tapi/protected_list.h"
#include "tapi/types.h"

namespace zvtapi {

class TzvTapiCall;
class TzvTapiCallList;

// Which lists hold a call, kept in the call itself. A call-state report reads and writes its
// call anyway, so asking whether the call is listed costs nothing more, where a map inside the
// list would cost a cache miss of its own on a line with thousands of calls.
class TzvTapiCallListings {
 public:
  struct Listing {
    TzvTapiCallList* List = nullptr;
    Cardinal Count = 0;  // the call's entries in the list
    Cardinal Key = 0;    // the handle the list's table holds the call under; 0: not in it
  };

  TzvTapiCallListings() = default;
  TzvTapiCallListings(const TzvTapiCallListings&) = delete;
  TzvTapiCallListings& operator=(const TzvTapiCallListings&) = delete;

  // The listing for List; none when List does not hold the call.
  Listing* Find(const TzvTapiCallList* List);
  const Listing* Find(const TzvTapiCallList* List) const;
  // A new listing for List, which must not hold the call yet.
  Listing& Add(TzvTapiCallList* List);
  void Remove(const TzvTapiCallList* List);
  // One of the lists that hold the call, or none.
  TzvTapiCallList* AnyList() const;

 private:
  // A call sits in one of its line's lists nearly always; only while it is in more than one
  // (moving between the line's lists, or in a program's own list) does it need the heap.
  Listing FFirst;
  std::unique_ptr<std::vector<Listing>> FMore;
};

// Call handle -> call, by open addressing with linear probing in one flat array: a look-up
// reads one slot (one cache line, mostly) where a node-based map reads a bucket and a node.
// Handle 0 is never held; it marks a free slot.
class TzvTapiCallHandleTable {
 public:
  // The call held under Handle, or none.
  TzvTapiCall* Find(Cardinal Handle) const;
  // Holds Call under Handle, which must be free.
  void Insert(Cardinal Handle, TzvTapiCall* Call);
  void Erase(Cardinal Handle);
  void Clear();

 private:
  struct Slot {
    Cardinal Handle = 0;
    TzvTapiCall* Call = nullptr;
  };
  size_t HomeOf(Cardinal Handle) const;
  // The slot holding Handle, or the free slot where the probe for it ends.
  size_t Probe(Cardinal Handle) const;
  void Grow();

  std::vector<Slot> FSlots;  // a power of two in size, at most three quarters full
  size_t FCount = 0;
};

// Call references in order, guarded by a re-entrant mutex; never owns the calls. Looking a
// call up by handle and asking whether a call is listed cost the same on a line with ten
// calls or ten thousand.
//
// A freed call leaves every list that holds it, so a list never holds a freed call. TAPI gives
// a call its handle once: while listed, a call's handle changes from 0 to TAPI's handle (a call
// an operation made) or back to 0 (deallocated), and ByHandle keeps up with such changes.
class TzvTapiCallList : public TProtectedMutex {
 public:
  TzvTapiCallList() = default;
  ~TzvTapiCallList();
  TzvTapiCallList(const TzvTapiCallList&) = delete;
  TzvTapiCallList& operator=(const TzvTapiCallList&) = delete;

  int Count() const { return static_cast<int>(FItems.size()); }
  // Raise "List index out of bounds (%d)" outside the list.
  TzvTapiCall* Get(int Index) const;
  void Put(int Index, TzvTapiCall* Item);
  // Appends Item unless it is none or listed already; its position either way (for none the
  // position of a none entry, or -1).
  int Add(TzvTapiCall* Item);
  void Delete(int Index);
  // Removes the first entry of Item; its former position or -1.
  int Remove(const TzvTapiCall* Item);
  int IndexOf(const TzvTapiCall* Item) const;
  // Item may be any pointer, also to a call that has gone.
  bool Contains(const TzvTapiCall* Item) const;
  // The same for a call object that exists: reads the call and nothing else, where Contains
  // first makes sure that the object exists.
  bool ContainsLive(const TzvTapiCall* Item) const;
  // Grows whenever a call leaves the list, so that code that ran handlers can tell cheaply
  // whether a call it holds may have gone.
  Cardinal Removals() const { return FRemovals; }
  void Clear();
  // The first entry whose Handle equals CallHandle, or none. Takes no lock; callers lock.
  TzvTapiCall* ByHandle(Cardinal CallHandle) const;
  // Clears the list, then adds every entry of Value in order.
  void Assign(const TzvTapiCallList& Value);

  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

 private:
  friend class TzvTapiCall;
  // Takes every entry of Item out; the call is being freed.
  void RemoveAll(TzvTapiCall* Item);
  void Attach(TzvTapiCall* Item);
  void Detach(TzvTapiCall* Item);
  // Files a newly listed call in the handle table, or among the calls outside it when its
  // handle is 0 or already held for another listed call that still has it.
  void File(TzvTapiCall* Item, TzvTapiCallListings::Listing& Listing) const;
  // Takes a call that leaves the list out of the table or from among the calls outside it.
  void Unfile(TzvTapiCall* Item, TzvTapiCallListings::Listing& Listing) const;
  // Moves a call from the table to the calls outside it, to wait there until it is looked for
  // under its new handle.
  void Untable(TzvTapiCall* Item) const;
  TzvTapiCall* FirstListedWithHandle(Cardinal CallHandle) const;

  std::deque<TzvTapiCall*> FItems;
  // The table and the calls outside it change during look-ups, as calls' handles change.
  mutable TzvTapiCallHandleTable FTable;
  mutable std::vector<TzvTapiCall*> FUntabled;
  Cardinal FRemovals = 0;
};

}  // namespace zvtapi
