#include "tapi32/locations.h"

#include <algorithm>

namespace tapi32 {

namespace {

template <typename Entry>
const Entry* FindById(const std::vector<Entry>& entries, DWORD permanentId) {
  auto it = std::find_if(entries.begin(), entries.end(),
                         [permanentId](const Entry& e) { return e.permanentId == permanentId; });
  return it == entries.end() ? nullptr : &*it;
}

}  // namespace

const DialingLocation* LocationBook::FindLocation(DWORD permanentId) const {
  return FindById(locations, permanentId);
}

const CallingCard* LocationBook::FindCard(DWORD permanentId) const {
  return FindById(cards, permanentId);
}

}  // namespace tapi32
