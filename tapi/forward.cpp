#include "tapi/forward.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <utility>

#include "platform/module.h"
#include "tapi/errors.h"
#include "tapi/structures.h"
#include "tapi32/tapi_constants.h"

namespace zvtapi {

namespace {

constexpr uint64_t kForwardListHeader = offsetof(::LINEFORWARDLIST, ForwardList);

// Bytes a text takes in the structure: its UTF-16 characters and a NUL; nothing when empty.
Cardinal TextBytes(const std::u16string& text) {
  return text.empty() ? 0 : static_cast<Cardinal>((text.size() + 1) * sizeof(char16_t));
}

// The DWORD at a byte offset of a provider's structure, read whole when it lies inside limit;
// otherwise 0.
Cardinal FieldAt(const uint8_t* base, uint64_t offset, uint64_t limit) {
  if (offset + sizeof(Cardinal) > limit) return 0;
  Cardinal value = 0;
  std::memcpy(&value, base + offset, sizeof(value));
  return value;
}

// What of the structure the provider filled: never more than the structure claims to be.
uint64_t FilledPart(const ::LINEADDRESSSTATUS* status) {
  return std::min(status->dwUsedSize, status->dwTotalSize);
}

// Where entry Index of the status' LINEFORWARD array lies, when it lies inside limit.
std::optional<uint64_t> EntryOffset(const uint8_t* base, uint64_t limit, Cardinal Index) {
  const uint64_t entry =
      uint64_t{FieldAt(base, offsetof(::LINEADDRESSSTATUS, dwForwardOffset), limit)} +
      uint64_t{Index} * sizeof(::LINEFORWARD);
  if (entry < TapiStructHeaderSize || entry + sizeof(::LINEFORWARD) > limit) return std::nullopt;
  return entry;
}

}  // namespace

Cardinal ForwardEntryCount(const ::LINEADDRESSSTATUS* AddressStatus) {
  if (AddressStatus == nullptr) return 0;
  const auto* base = reinterpret_cast<const uint8_t*>(AddressStatus);
  const uint64_t limit = FilledPart(AddressStatus);
  const Cardinal claimed = FieldAt(base, offsetof(::LINEADDRESSSTATUS, dwForwardNumEntries), limit);
  const uint64_t offset = FieldAt(base, offsetof(::LINEADDRESSSTATUS, dwForwardOffset), limit);
  if (claimed == 0 || offset < TapiStructHeaderSize || offset > limit) return 0;
  return static_cast<Cardinal>(
      std::min<uint64_t>(claimed, (limit - offset) / sizeof(::LINEFORWARD)));
}

// --- TzvTapiForward --------------------------------------------------------------------------

TzvTapiForward::~TzvTapiForward() = default;

void TzvTapiForward::Clear() {
  FForwardMode = 0;
  FCallerAddress.clear();
  FDestCountryCode = 0;
  FDestAddress.clear();
}

void TzvTapiForward::AssignLINEFORWARD(const ::LINEADDRESSSTATUS* AddressStatus, Cardinal Index) {
  Clear();
  if (AddressStatus == nullptr) return;
  const auto* base = reinterpret_cast<const uint8_t*>(AddressStatus);
  const uint64_t limit = FilledPart(AddressStatus);
  if (Index >= FieldAt(base, offsetof(::LINEADDRESSSTATUS, dwForwardNumEntries), limit)) return;
  const std::optional<uint64_t> entry = EntryOffset(base, limit, Index);
  if (!entry) return;
  ::LINEFORWARD forward;
  std::memcpy(&forward, base + *entry, sizeof(forward));
  auto text = [&](Cardinal size, Cardinal offset) -> std::string {
    if (size == 0 || offset < TapiStructHeaderSize || uint64_t{offset} + size > limit) return {};
    return ConvertTapiString(base + offset, size, STRINGFORMAT_UNICODE);
  };
  FForwardMode = forward.dwForwardMode;
  FDestCountryCode = forward.dwDestCountryCode;
  FCallerAddress = text(forward.dwCallerAddressSize, forward.dwCallerAddressOffset);
  FDestAddress = text(forward.dwDestAddressSize, forward.dwDestAddressOffset);
}

// --- TzvTapiForwardList ----------------------------------------------------------------------

TzvTapiForwardList::~TzvTapiForwardList() = default;

int TzvTapiForwardList::Add(std::unique_ptr<TzvTapiForward> Item) {
  FItems.push_back(std::move(Item));
  return Count() - 1;
}

TzvTapiForward* TzvTapiForwardList::AddEntry(Cardinal ForwardMode, const std::string& CallerAddress,
                                             Cardinal DestCountryCode,
                                             const std::string& DestAddress) {
  auto entry = std::make_unique<TzvTapiForward>();
  entry->SetForwardMode(ForwardMode);
  entry->SetCallerAddress(CallerAddress);
  entry->SetDestCountryCode(DestCountryCode);
  entry->SetDestAddress(DestAddress);
  TzvTapiForward* added = entry.get();
  Add(std::move(entry));
  return added;
}

TzvTapiForward* TzvTapiForwardList::Get(int Index) const {
  if (Index < 0 || Index >= Count()) RaiseError(Format("List index out of bounds (%d)", Index));
  return FItems[static_cast<size_t>(Index)].get();
}

void TzvTapiForwardList::Put(int Index, std::unique_ptr<TzvTapiForward> Item) {
  Get(Index);
  FItems[static_cast<size_t>(Index)] = std::move(Item);
}

void TzvTapiForwardList::Delete(int Index) {
  Get(Index);
  FItems.erase(FItems.begin() + Index);
}

const ::LINEFORWARDLIST* TzvTapiForwardList::TapiData() {
  FLINEFORWARDLIST.reset();
  struct Texts {
    std::u16string caller, dest;
  };
  std::vector<Texts> texts;
  texts.reserve(FItems.size());
  uint64_t textBytes = 0;
  for (const auto& item : FItems) {
    Texts& each = texts.emplace_back(Texts{platform::Utf8ToWide(item->CallerAddress()),
                                           platform::Utf8ToWide(item->DestAddress())});
    textBytes += TextBytes(each.caller) + TextBytes(each.dest);
  }
  const uint64_t entries = FItems.size();
  // The empty list still has the structure's one declared entry.
  const auto total = static_cast<Cardinal>(
      entries == 0 ? sizeof(::LINEFORWARDLIST)
                   : kForwardListHeader + entries * sizeof(::LINEFORWARD) + textBytes);
  FLINEFORWARDLIST = std::make_unique<uint8_t[]>(total);  // zero-filled
  uint8_t* base = FLINEFORWARDLIST.get();
  auto* list = reinterpret_cast<::LINEFORWARDLIST*>(base);
  list->dwTotalSize = total;
  list->dwNumEntries = static_cast<Cardinal>(entries);
  auto at = static_cast<Cardinal>(kForwardListHeader + entries * sizeof(::LINEFORWARD));
  auto place = [&](const std::u16string& text, Cardinal& size, Cardinal& offset) {
    size = TextBytes(text);
    if (size == 0) return;
    offset = at;
    std::memcpy(base + at, text.c_str(), size);  // with its NUL
    at += size;
  };
  for (size_t i = 0; i < FItems.size(); ++i) {
    ::LINEFORWARD entry{};
    entry.dwForwardMode = FItems[i]->ForwardMode();
    entry.dwDestCountryCode = FItems[i]->DestCountryCode();
    place(texts[i].caller, entry.dwCallerAddressSize, entry.dwCallerAddressOffset);
    place(texts[i].dest, entry.dwDestAddressSize, entry.dwDestAddressOffset);
    std::memcpy(base + kForwardListHeader + i * sizeof(::LINEFORWARD), &entry, sizeof(entry));
  }
  return list;
}

}  // namespace zvtapi
