#include "tapi/structures.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/module.h"
#include "tapi32/tapi_constants.h"
#include "tapi32/tapi_structs.h"

namespace zvtapi {

namespace {

// The bytes a size/offset pair addresses, or nothing when the pair does not describe a range
// that lies completely inside the buffer's readable part and after its header.
struct TByteRange {
  const uint8_t* data = nullptr;
  Cardinal size = 0;
};

TByteRange AddressedRange(const TTapiStruct& buffer, Cardinal sizeFieldOffset) {
  const Cardinal size = buffer.GetDWORD(sizeFieldOffset);
  if (size == 0 || sizeFieldOffset > UINT32_MAX - 4) return {};
  const Cardinal offset = buffer.GetDWORD(sizeFieldOffset + 4);
  if (offset < TapiStructHeaderSize) return {};
  // 64-bit sum: a provider's offset plus size may wrap around 32 bits.
  if (uint64_t{offset} + size > buffer.Limit()) return {};
  return {buffer.Bytes() + offset, size};
}

// UTF-16 read from possibly unaligned bytes, up to the first NUL or the last whole character.
std::u16string ReadWide(const uint8_t* raw, Cardinal size) {
  std::u16string text;
  const Cardinal count = size / 2;
  text.reserve(count);
  for (Cardinal i = 0; i < count; ++i) {
    char16_t c;
    std::memcpy(&c, raw + 2 * i, sizeof c);
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

}  // namespace

// --- TTapiStruct ---------------------------------------------------------------------------

TTapiStruct::TTapiStruct(TTapiStruct&& other) noexcept
    : FData(std::exchange(other.FData, nullptr)), FCapacity(std::exchange(other.FCapacity, 0)) {}

TTapiStruct& TTapiStruct::operator=(TTapiStruct&& other) noexcept {
  if (this != &other) {
    Free();
    FData = std::exchange(other.FData, nullptr);
    FCapacity = std::exchange(other.FCapacity, 0);
  }
  return *this;
}

TTapiStruct::~TTapiStruct() {
  Free();
}

TTapiStruct TTapiStruct::FromBytes(const void* data, Cardinal size) {
  TTapiStruct result;
  result.Resize(size == 0 ? 1 : size);
  result.FCapacity = size;
  if (size != 0) std::memcpy(result.FData, data, size);
  return result;
}

void TTapiStruct::Free() {
  std::free(FData);
  FData = nullptr;
  FCapacity = 0;
}

Cardinal TTapiStruct::Limit() const {
  return FCapacity < TotalSize() ? FCapacity : TotalSize();
}

Cardinal TTapiStruct::RawDWORD(Cardinal offset) const {
  if (FData == nullptr || uint64_t{offset} + 4 > FCapacity) return 0;
  Cardinal value;
  std::memcpy(&value, Bytes() + offset, sizeof value);
  return value;
}

void TTapiStruct::SetRawDWORD(Cardinal offset, Cardinal value) {
  if (FData == nullptr || uint64_t{offset} + 4 > FCapacity) return;
  std::memcpy(static_cast<uint8_t*>(FData) + offset, &value, sizeof value);
}

Cardinal TTapiStruct::GetDWORD(Cardinal offset) const {
  if (uint64_t{offset} + 4 > Limit()) return 0;
  return RawDWORD(offset);
}

bool TTapiStruct::SetDWORD(Cardinal offset, Cardinal value) {
  if (uint64_t{offset} + 4 > Limit()) return false;
  SetRawDWORD(offset, value);
  return true;
}

void TTapiStruct::Resize(Cardinal newSize) {
  ZV_ASSERT(newSize != 0);
  void* block = std::realloc(FData, newSize);
  ZV_ASSERT(block != nullptr);
  FData = block;
  if (newSize > FCapacity) {
    std::memset(static_cast<uint8_t*>(FData) + FCapacity, 0, newSize - FCapacity);
  }
  FCapacity = newSize;
}

void TTapiStruct::ClearBody() {
  if (FCapacity > TapiStructHeaderSize) {
    std::memset(static_cast<uint8_t*>(FData) + TapiStructHeaderSize, 0,
                FCapacity - TapiStructHeaderSize);
  }
}

// --- Allocation and the fetch loop -----------------------------------------------------------

TTapiStruct AllocTapiStruct(Cardinal size) {
  TTapiStruct buffer;
  buffer.Resize(MaxCardinal(size, TapiStructHeaderSize));
  buffer.SetTotalSize(size);
  return buffer;
}

Cardinal RoundUp(Cardinal value, Cardinal multiple) {
  if (multiple == 0) return value;
  const Cardinal remainder = value % multiple;
  return remainder == 0 ? value : value + (multiple - remainder);
}

void PrepareTapiStruct(TTapiStruct& buffer) {
  ZV_ASSERT(buffer.Assigned());
  const Cardinal total = buffer.TotalSize();
  const Cardinal needed = buffer.NeededSize();
  if (total < needed) {
    // Sizes near 4 GB cannot be rounded up, let alone allocated.
    ZV_ASSERT(needed <= UINT32_MAX - 3);
    const Cardinal newSize = RoundUp(needed, 4);
    buffer.Resize(newSize);
    buffer.SetTotalSize(newSize);
    buffer.ClearBody();
  } else if (total < TapiStructMinQuerySize || buffer.Capacity() < TapiStructMinQuerySize) {
    buffer.Resize(TapiStructMinQuerySize);
    buffer.SetTotalSize(TapiStructMinQuerySize);
    buffer.ClearBody();
  } else if (total > buffer.Capacity()) {
    // A provider overwrote dwTotalSize; the next call must not be told about bytes that are
    // not there.
    buffer.SetTotalSize(buffer.Capacity());
  }
  buffer.SetNeededSize(0);
  buffer.SetUsedSize(0);
}

Cardinal CheckTapiStruct(Cardinal result, TTapiStruct& buffer) {
  if (result == LINEERR_STRUCTURETOOSMALL ||
      (result == 0 && buffer.TotalSize() < buffer.NeededSize())) {
    if (buffer.NeededSize() < TapiStructMinQuerySize) buffer.SetNeededSize(TapiStructMinQuerySize);
    return LINEERR_STRUCTURETOOSMALL;
  }
  if (result == 0) {
    const Cardinal used = buffer.UsedSize();
    if (used < buffer.TotalSize() && used > TapiStructMinQuerySize) {
      // The provider writes the header, dwTotalSize included; whatever it claims to have used
      // or to need, trimming never grows the block.
      const Cardinal newSize = std::min(MaxCardinal(used, buffer.NeededSize()), buffer.Capacity());
      buffer.Resize(newSize);
      buffer.SetTotalSize(newSize);
    }
  }
  return result;
}

Cardinal FetchTapiStruct(TTapiStruct& buffer, const TTapiQuery& query, TFetchMode mode) {
  for (;;) {
    PrepareTapiStruct(buffer);
    const Cardinal capacity = buffer.Capacity();
    Cardinal result = static_cast<Cardinal>(query(buffer.Data()));
    if (mode != TFetchMode::Unchecked) result = CheckTapiStruct(result, buffer);
    const bool tooSmall = (mode != TFetchMode::Unchecked && result == LINEERR_STRUCTURETOOSMALL) ||
                          (mode != TFetchMode::Checked && result == PHONEERR_STRUCTURETOOSMALL);
    // Another round only helps when the block is really going to grow. The provider writes
    // the header, so dwTotalSize cannot be trusted to tell; the block's own size can.
    if (!tooSmall || buffer.NeededSize() <= capacity) return result;
  }
}

// --- Strings and string lists ----------------------------------------------------------------

std::string ConvertTapiString(const void* raw, Cardinal size, Cardinal stringFormat) {
  if (size == 0) return {};
  const char* bytes = static_cast<const char*>(raw);
  switch (stringFormat) {
    case STRINGFORMAT_ASCII:
    case STRINGFORMAT_DBCS: {
      std::u16string text = platform::OemToWide(bytes, size);
      const auto last = text.find_last_not_of(u'\0');
      text.erase(last == std::u16string::npos ? 0 : last + 1);
      return platform::WideToUtf8(text);
    }
    case STRINGFORMAT_UNICODE:
      return platform::WideToUtf8(ReadWide(static_cast<const uint8_t*>(raw), size));
    default:
      return platform::WideToUtf8(platform::AnsiToWide(bytes, size));
  }
}

std::string GetTapiString(const TTapiStruct& buffer, Cardinal sizeFieldOffset,
                          Cardinal stringFormat) {
  const TByteRange range = AddressedRange(buffer, sizeFieldOffset);
  if (range.size == 0) return {};
  if (stringFormat == 0) return platform::WideToUtf8(ReadWide(range.data, range.size));
  return ConvertTapiString(range.data, range.size, stringFormat);
}

std::unique_ptr<TStringList> GetTapiStringList(const TTapiStruct& buffer,
                                               Cardinal sizeFieldOffset) {
  auto list = std::make_unique<TStringList>();
  const TByteRange range = AddressedRange(buffer, sizeFieldOffset);
  // The whole range as characters; an odd last byte is no character.
  const std::u16string chars = [&] {
    std::u16string all(range.size / 2, u'\0');
    if (!all.empty()) std::memcpy(all.data(), range.data, all.size() * 2);
    return all;
  }();
  size_t pos = 0;
  while (pos < chars.size() && chars[pos] != 0) {
    size_t end = chars.find(u'\0', pos);
    if (end == std::u16string::npos) end = chars.size();
    list->Add(platform::WideToUtf8(std::u16string_view(chars).substr(pos, end - pos)));
    pos = end + 1;
  }
  return list;
}

// ---------------------------------------------------------------------------------------------
// Arrays of 32-bit entries

namespace {

// The byte offset of entry index, or none when it lies past the array's count or cannot be
// addressed in 32 bits.
std::optional<Cardinal> ArrayEntryOffset(const TTapiStruct& buffer, Cardinal sizeFieldOffset,
                                         Cardinal index) {
  if (index >= buffer.GetDWORD(sizeFieldOffset) / 4) return std::nullopt;
  const uint64_t offset = uint64_t{buffer.GetDWORD(sizeFieldOffset + 4)} + uint64_t{4} * index;
  if (offset > UINT32_MAX) return Cardinal{UINT32_MAX};  // reads 0, writes nothing
  return static_cast<Cardinal>(offset);
}

}  // namespace

bool GetTapiArrayEntry(const TTapiStruct& buffer, Cardinal sizeFieldOffset, Cardinal index,
                       Cardinal& value) {
  const std::optional<Cardinal> offset = ArrayEntryOffset(buffer, sizeFieldOffset, index);
  if (!offset) return false;
  value = buffer.GetDWORD(*offset);
  return true;
}

bool SetTapiArrayEntry(TTapiStruct& buffer, Cardinal sizeFieldOffset, Cardinal index,
                       Cardinal value) {
  const std::optional<Cardinal> offset = ArrayEntryOffset(buffer, sizeFieldOffset, index);
  return offset && buffer.SetDWORD(*offset, value);
}

// ---------------------------------------------------------------------------------------------
// VARSTRING answers

TVarString GetVarString(const TTapiStruct& buffer) {
  constexpr Cardinal kFormatField = 12;
  constexpr Cardinal kSizeField = 16;
  TVarString text;
  text.Format = buffer.GetDWORD(kFormatField);
  const TByteRange range = AddressedRange(buffer, kSizeField);
  if (range.size == 0) return text;
  const uint64_t end = uint64_t(range.data - buffer.Bytes()) + range.size;
  if (end > buffer.UsedSize()) return text;
  text.Data = range.data;
  text.Size = range.size;
  return text;
}

bool GetVarStringDWORD(const TVarString& text, Cardinal index, Cardinal& value) {
  if (uint64_t{4} * index + 4 > text.Size) return false;
  std::memcpy(&value, text.Data + 4 * size_t{index}, sizeof value);
  return true;
}

std::string GetVarStringText(const TVarString& text, Cardinal from) {
  if (from >= text.Size) return {};
  const char* begin = reinterpret_cast<const char*>(text.Data) + from;
  const size_t length = strnlen(begin, text.Size - from);
  return platform::WideToUtf8(platform::AnsiToWide(begin, length));
}

std::optional<Cardinal> GetTapiEntryOffset(const TTapiStruct& buffer, Cardinal listOffsetField,
                                           Cardinal entrySize, Cardinal index) {
  const uint64_t start = buffer.GetDWORD(listOffsetField);
  const uint64_t offset = start + uint64_t{entrySize} * index;
  if (start < TapiStructHeaderSize || offset + entrySize > buffer.Limit()) return std::nullopt;
  return static_cast<Cardinal>(offset);
}

std::vector<Cardinal> ReadCallList(const TTapiStruct& list) {
  std::vector<Cardinal> handles;
  const Cardinal count = list.GetDWORD(offsetof(LINECALLLIST, dwCallsNumEntries));
  for (Cardinal n = 0; n < count; ++n) {
    const std::optional<Cardinal> entry =
        GetTapiEntryOffset(list, offsetof(LINECALLLIST, dwCallsOffset), sizeof(HCALL), n);
    if (!entry) break;  // this one and every later one lie past the block
    if (const Cardinal handle = list.GetDWORD(*entry); handle != 0) handles.push_back(handle);
  }
  return handles;
}

void CompactTapiStruct(TTapiStruct& buffer, Cardinal minSize) {
  if (!buffer.Assigned()) return;
  const Cardinal size = MaxCardinal(buffer.UsedSize(), minSize);
  if (size >= buffer.Capacity()) return;
  buffer.Resize(size);
  buffer.SetTotalSize(size);
}

std::string SingleByte(const std::string& text) {
  const std::u16string wide = platform::Utf8ToWide(text);
  std::string result;
  result.reserve(wide.size());
  for (char16_t c : wide)
    result.push_back(c < 0x100 ? static_cast<char>(c) : '?');
  return result;
}

}  // namespace zvtapi
