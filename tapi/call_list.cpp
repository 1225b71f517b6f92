#include "tapi/call_list.h"

#include <algorithm>
#include <utility>

#include "tapi/call.h"
#include "tapi/errors.h"

namespace zvtapi {

// ---------------------------------------------------------------------------------------------
// TzvTapiCallListings

const TzvTapiCallListings::Listing* TzvTapiCallListings::Find(const TzvTapiCallList* List) const {
  if (FFirst.List == List) return &FFirst;
  if (!FMore) return nullptr;
  for (const Listing& listing : *FMore) {
    if (listing.List == List) return &listing;
  }
  return nullptr;
}

TzvTapiCallListings::Listing* TzvTapiCallListings::Find(const TzvTapiCallList* List) {
  return const_cast<Listing*>(std::as_const(*this).Find(List));
}

TzvTapiCallListings::Listing& TzvTapiCallListings::Add(TzvTapiCallList* List) {
  if (FFirst.List == nullptr) {
    FFirst = Listing{List};
    return FFirst;
  }
  if (!FMore) FMore = std::make_unique<std::vector<Listing>>();
  return FMore->emplace_back(Listing{List});
}

void TzvTapiCallListings::Remove(const TzvTapiCallList* List) {
  if (FFirst.List == List) {
    FFirst = Listing{};
    if (FMore) {
      FFirst = FMore->back();
      FMore->pop_back();
    }
  } else if (FMore) {
    std::erase_if(*FMore, [List](const Listing& listing) { return listing.List == List; });
  }
  // A call back in one list gives the block back.
  if (FMore && FMore->empty()) FMore.reset();
}

TzvTapiCallList* TzvTapiCallListings::AnyList() const {
  return FFirst.List;
}

// ---------------------------------------------------------------------------------------------
// TzvTapiCallHandleTable

size_t TzvTapiCallHandleTable::HomeOf(Cardinal Handle) const {
  // Fibonacci hashing: handles that count upwards, or share their low bits, still spread over
  // the whole table.
  const uint64_t mixed = uint64_t{Handle} * 0x9E3779B97F4A7C15ull;
  return static_cast<size_t>(mixed >> 32) & (FSlots.size() - 1);
}

size_t TzvTapiCallHandleTable::Probe(Cardinal Handle) const {
  const size_t mask = FSlots.size() - 1;
  size_t i = HomeOf(Handle);
  while (FSlots[i].Handle != 0 && FSlots[i].Handle != Handle)
    i = (i + 1) & mask;
  return i;
}

TzvTapiCall* TzvTapiCallHandleTable::Find(Cardinal Handle) const {
  if (FSlots.empty() || Handle == 0) return nullptr;
  const Slot& slot = FSlots[Probe(Handle)];
  return slot.Handle == Handle ? slot.Call : nullptr;
}

void TzvTapiCallHandleTable::Insert(Cardinal Handle, TzvTapiCall* Call) {
  if ((FCount + 1) * 4 > FSlots.size() * 3) Grow();
  FSlots[Probe(Handle)] = Slot{Handle, Call};
  ++FCount;
}

void TzvTapiCallHandleTable::Erase(Cardinal Handle) {
  if (FSlots.empty() || Handle == 0) return;
  size_t hole = Probe(Handle);
  if (FSlots[hole].Handle != Handle) return;
  // Without tombstones: each later entry of the probe run moves back into the hole unless that
  // would put it before its home slot.
  const size_t mask = FSlots.size() - 1;
  for (size_t j = (hole + 1) & mask; FSlots[j].Handle != 0; j = (j + 1) & mask) {
    const size_t home = HomeOf(FSlots[j].Handle);
    if (((j - home) & mask) >= ((j - hole) & mask)) {
      FSlots[hole] = FSlots[j];
      hole = j;
    }
  }
  FSlots[hole] = Slot{};
  --FCount;
}

void TzvTapiCallHandleTable::Clear() {
  FSlots = {};
  FCount = 0;
}

void TzvTapiCallHandleTable::Grow() {
  std::vector<Slot> old = std::move(FSlots);
  FSlots.assign(std::max<size_t>(16, old.size() * 2), Slot{});
  for (const Slot& slot : old) {
    if (slot.Handle != 0) FSlots[Probe(slot.Handle)] = slot;
  }
}

// ---------------------------------------------------------------------------------------------
// TzvTapiCallList

TzvTapiCallList::~TzvTapiCallList() {
  Clear();
}

TzvTapiCall* TzvTapiCallList::Get(int Index) const {
  if (Index < 0 || Index >= Count()) RaiseError(Format("List index out of bounds (%d)", Index));
  return FItems[static_cast<size_t>(Index)];
}

void TzvTapiCallList::Put(int Index, TzvTapiCall* Item) {
  if (Index < 0 || Index >= Count()) RaiseError(Format("List index out of bounds (%d)", Index));
  TzvTapiCall*& slot = FItems[static_cast<size_t>(Index)];
  if (slot == Item) return;
  TzvTapiCall* previous = slot;
  slot = Item;
  if (previous) Detach(previous);
  if (Item) Attach(Item);
}

int TzvTapiCallList::Add(TzvTapiCall* Item) {
  if (!Item || ContainsLive(Item)) return IndexOf(Item);
  FItems.push_back(Item);
  Attach(Item);
  return Count() - 1;
}

void TzvTapiCallList::Delete(int Index) {
  if (Index < 0 || Index >= Count()) RaiseError(Format("List index out of bounds (%d)", Index));
  TzvTapiCall* item = FItems[static_cast<size_t>(Index)];
  FItems.erase(FItems.begin() + Index);
  if (item) Detach(item);
}

int TzvTapiCallList::Remove(const TzvTapiCall* Item) {
  if (Item && !Contains(Item)) return -1;
  const int index = IndexOf(Item);
  if (index >= 0) Delete(index);
  return index;
}

void TzvTapiCallList::RemoveAll(TzvTapiCall* Item) {
  std::erase(FItems, Item);
  TzvTapiCallListings::Listing* listing = Item->FListings.Find(this);
  if (!listing) return;
  Unfile(Item, *listing);
  Item->FListings.Remove(this);
  ++FRemovals;
}

int TzvTapiCallList::IndexOf(const TzvTapiCall* Item) const {
  if (Item && !Contains(Item)) return -1;
  const auto it = std::find(FItems.begin(), FItems.end(), Item);
  return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
}

bool TzvTapiCallList::Contains(const TzvTapiCall* Item) const {
  return TzvTapiCall::Exists(Item) && ContainsLive(Item);
}

bool TzvTapiCallList::ContainsLive(const TzvTapiCall* Item) const {
  return Item && Item->FListings.Find(this) != nullptr;
}

void TzvTapiCallList::Clear() {
  ++FRemovals;
  for (TzvTapiCall* call : FItems) {
    if (call) call->FListings.Remove(this);  // a call listed twice is done the first time
  }
  FItems.clear();
  FTable.Clear();
  FUntabled.clear();
}

void TzvTapiCallList::Assign(const TzvTapiCallList& Value) {
  if (&Value == this) return;
  Clear();
  for (TzvTapiCall* call : Value)
    Add(call);
}

void TzvTapiCallList::Attach(TzvTapiCall* Item) {
  if (TzvTapiCallListings::Listing* listing = Item->FListings.Find(this)) {
    ++listing->Count;
    return;
  }
  TzvTapiCallListings::Listing& listing = Item->FListings.Add(this);
  listing.Count = 1;
  File(Item, listing);
}

void TzvTapiCallList::Detach(TzvTapiCall* Item) {
  TzvTapiCallListings::Listing* listing = Item->FListings.Find(this);
  if (!listing || --listing->Count > 0) return;
  Unfile(Item, *listing);
  Item->FListings.Remove(this);
  ++FRemovals;
}

void TzvTapiCallList::File(TzvTapiCall* Item, TzvTapiCallListings::Listing& Listing) const {
  const Cardinal handle = Item->Handle();
  if (handle != 0) {
    TzvTapiCall* holder = FTable.Find(handle);
    if (!holder) {
      FTable.Insert(handle, Item);
      Listing.Key = handle;
      return;
    }
    if (holder->Handle() != handle) {
      // The holder's handle changed since it was filed; it gives up its place.
      Untable(holder);
      FTable.Insert(handle, Item);
      Listing.Key = handle;
      return;
    }
  }
  Listing.Key = 0;
  FUntabled.push_back(Item);
}

void TzvTapiCallList::Unfile(TzvTapiCall* Item, TzvTapiCallListings::Listing& Listing) const {
  if (Listing.Key != 0) {
    FTable.Erase(Listing.Key);
    Listing.Key = 0;
    return;
  }
  auto it = std::find(FUntabled.begin(), FUntabled.end(), Item);
  if (it != FUntabled.end()) FUntabled.erase(it);
}

void TzvTapiCallList::Untable(TzvTapiCall* Item) const {
  TzvTapiCallListings::Listing* listing = Item->FListings.Find(this);
  FTable.Erase(listing->Key);
  listing->Key = 0;
  FUntabled.push_back(Item);
}

TzvTapiCall* TzvTapiCallList::FirstListedWithHandle(Cardinal CallHandle) const {
  for (TzvTapiCall* call : FItems) {
    if (call && call->Handle() == CallHandle) return call;
  }
  return nullptr;
}

TzvTapiCall* TzvTapiCallList::ByHandle(Cardinal CallHandle) const {
  // Calls without a handle are never in the table; asking for them is rare.
  if (CallHandle == 0) return FirstListedWithHandle(0);
  TzvTapiCall* tabled = FTable.Find(CallHandle);
  if (tabled && tabled->Handle() != CallHandle) {
    // Its handle changed since it was filed: it waits outside the table now.
    Untable(tabled);
    tabled = nullptr;
  }
  // Calls outside the table may carry the handle as well: one that got it while listed, or a
  // second call listed with the same handle.
  TzvTapiCall* untabled = nullptr;
  int matches = tabled ? 1 : 0;
  for (TzvTapiCall* call : FUntabled) {
    if (call->Handle() != CallHandle) continue;
    if (!untabled) untabled = call;
    ++matches;
  }
  // Several calls share the handle for a moment; the first listed one is the answer,
  // whichever of them the table happens to hold.
  if (matches > 1) return FirstListedWithHandle(CallHandle);
  if (untabled) {
    // The only call with the handle: file it under it.
    std::erase(FUntabled, untabled);
    FTable.Insert(CallHandle, untabled);
    untabled->FListings.Find(this)->Key = CallHandle;
    return untabled;
  }
  return tabled;
}

}  // namespace zvtapi
