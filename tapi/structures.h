// Variable-size TAPI structures: the heap block that holds one, the fetch loop that grows it
// until the provider's answer fits, and safe readers for the strings, string lists and fixed
// fields inside it.
//
// Every such structure starts with dwTotalSize, dwNeededSize and dwUsedSize; strings and arrays
// in its variable part are addressed by a dwXxxSize field followed by a dwXxxOffset field. The
// provider writes both, so nothing read through them is trusted: a pair that points outside
// the block reads as empty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tapi/errors.h"
#include "tapi/string_list.h"

namespace zvtapi {

// Size of the three header fields every TAPI structure starts with.
inline constexpr Cardinal TapiStructHeaderSize = 12;
// No query ever sees a smaller buffer: the first call then succeeds for almost every answer.
inline constexpr Cardinal TapiStructMinQuerySize = 1024;

// Owns one heap block that holds a TAPI structure. The block's real size (Capacity) is known
// independently of dwTotalSize, which the provider could overwrite; all readers respect the
// smaller of the two. Move-only; an empty holder has no block.
class TTapiStruct {
 public:
  TTapiStruct() = default;
  TTapiStruct(TTapiStruct&& other) noexcept;
  TTapiStruct& operator=(TTapiStruct&& other) noexcept;
  TTapiStruct(const TTapiStruct&) = delete;
  TTapiStruct& operator=(const TTapiStruct&) = delete;
  ~TTapiStruct();

  // A holder whose block is an exact copy of the given bytes, header included as it is; for
  // answers that arrive as raw bytes.
  static TTapiStruct FromBytes(const void* data, Cardinal size);

  bool Assigned() const { return FData != nullptr; }
  explicit operator bool() const { return Assigned(); }
  void Free();

  void* Data() { return FData; }
  const void* Data() const { return FData; }
  const uint8_t* Bytes() const { return static_cast<const uint8_t*>(FData); }
  // Bytes really allocated.
  Cardinal Capacity() const { return FCapacity; }
  // Bytes the readers may look at: dwTotalSize, but never more than Capacity.
  Cardinal Limit() const;

  // Typed access to the fixed part; the block must be at least as large as T.
  template <class T>
  T* As() {
    ZV_ASSERT(FData != nullptr && FCapacity >= sizeof(T));
    return static_cast<T*>(FData);
  }
  template <class T>
  const T* As() const {
    ZV_ASSERT(FData != nullptr && FCapacity >= sizeof(T));
    return static_cast<const T*>(FData);
  }

  // The header fields; 0 when the block is too small to hold them, writes then do nothing.
  Cardinal TotalSize() const { return RawDWORD(0); }
  Cardinal NeededSize() const { return RawDWORD(4); }
  Cardinal UsedSize() const { return RawDWORD(8); }
  void SetTotalSize(Cardinal value) { SetRawDWORD(0, value); }
  void SetNeededSize(Cardinal value) { SetRawDWORD(4, value); }
  void SetUsedSize(Cardinal value) { SetRawDWORD(8, value); }

  // The 32-bit field at a byte offset (any alignment), or 0 when it does not lie completely
  // inside Limit(). Provider-filled fixed fields are read through this.
  Cardinal GetDWORD(Cardinal offset) const;
  // Writes the field when it lies inside Limit(); returns whether it did.
  bool SetDWORD(Cardinal offset, Cardinal value);

  // Gives the block exactly newSize bytes (at least one), keeping the common prefix and zeroing
  // what is added. dwTotalSize is not touched. A failed allocation fails the library assertion.
  void Resize(Cardinal newSize);
  // Zeroes every byte after the three header fields.
  void ClearBody();

 private:
  Cardinal RawDWORD(Cardinal offset) const;
  void SetRawDWORD(Cardinal offset, Cardinal value);

  void* FData = nullptr;
  Cardinal FCapacity = 0;
};

// Size bytes, all zero, dwTotalSize = Size. The block never has less than the header's 12
// bytes, so a tiny Size still leaves room for the header fields.
TTapiStruct AllocTapiStruct(Cardinal size);

// Call before every TAPI call on the buffer: grows it to what the provider asked for last time
// (rounded up to 4 bytes) or to 1024 bytes, whichever applies, and resets dwNeededSize and
// dwUsedSize.
void PrepareTapiStruct(TTapiStruct& buffer);

// Call on the TAPI function's result right after the call. A too-small structure, or success
// with a truncated answer, gives LINEERR_STRUCTURETOOSMALL so that the loop runs again; a
// complete answer of more than 1024 bytes trims the block to it (never beyond its size).
Cardinal CheckTapiStruct(Cardinal result, TTapiStruct& buffer);

// Value when it is a multiple of Multiple, otherwise the next higher multiple (32-bit, wraps).
// A Multiple of 0 leaves Value unchanged.
Cardinal RoundUp(Cardinal value, Cardinal multiple);
inline Cardinal MaxCardinal(Cardinal a, Cardinal b) {
  return a > b ? a : b;
}

// A TAPI query on the buffer's block: receives the block, returns the TAPI result.
using TTapiQuery = std::function<int32_t(void* structure)>;

enum class TFetchMode {
  // Prepare and check around each call; repeat on LINEERR_STRUCTURETOOSMALL.
  Checked,
  // As Checked, and also repeat on PHONEERR_STRUCTURETOOSMALL (lineGetIDW / phoneGetIDW).
  CheckedPhoneRetry,
  // Prepare only; repeat on PHONEERR_STRUCTURETOOSMALL (phoneGetDisplay).
  Unchecked,
};

// The one fetch loop every wrapper uses: calls the query until the answer fits and returns the
// final TAPI result (0 for a complete answer). The loop only repeats while the buffer is going
// to grow, so a provider that reports "too small" without asking for more ends the loop with
// that error instead of spinning.
Cardinal FetchTapiStruct(TTapiStruct& buffer, const TTapiQuery& query,
                         TFetchMode mode = TFetchMode::Checked);

// The string addressed by the dwXxxSize field at byte offset sizeFieldOffset and the
// dwXxxOffset field after it, as UTF-8. Format 0 (what the wide-character functions return)
// and STRINGFORMAT_UNICODE read UTF-16 up to the first NUL; the other formats go through
// ConvertTapiString. A pair that is 0, points into the header, past the block, or overflows
// gives empty text.
std::string GetTapiString(const TTapiStruct& buffer, Cardinal sizeFieldOffset,
                          Cardinal stringFormat = 0);

// Arrays of 32-bit entries addressed by the dwXxxSize field at sizeFieldOffset and the
// dwXxxOffset field after it (a phone's button modes, lamp modes, ...). The entry count is the
// size field divided by 4, whatever the block holds. Reading an index below the count gives
// true and the entry (0 when it lies outside the block); an index at or past the count gives
// false. Writing does nothing for an index past the count or an entry outside the block.
bool GetTapiArrayEntry(const TTapiStruct& buffer, Cardinal sizeFieldOffset, Cardinal index,
                       Cardinal& value);
bool SetTapiArrayEntry(TTapiStruct& buffer, Cardinal sizeFieldOffset, Cardinal index,
                       Cardinal value);

// The string of a VARSTRING answer (lineGetIDW, phoneGetIDW, ...): its dwStringFormat and the
// bytes dwStringSize and dwStringOffset address. The bytes count only when they lie completely
// after the header, inside the block and inside what the provider says it used (dwUsedSize);
// otherwise the string is empty (Size 0, Data null). An empty holder gives an empty string.
struct TVarString {
  Cardinal Format = 0;
  const uint8_t* Data = nullptr;
  Cardinal Size = 0;
};
TVarString GetVarString(const TTapiStruct& buffer);
// The index-th 32-bit value of the string; false when it does not lie completely inside it.
bool GetVarStringDWORD(const TVarString& text, Cardinal index, Cardinal& value);
// Single-byte (ANSI) text of the string from byte `from` up to the first NUL or the string's end,
// as UTF-8; empty when `from` lies at or past the end.
std::string GetVarStringText(const TVarString& text, Cardinal from);

// Arrays of fixed-size entries whose start the field at listOffsetField holds (LINELOCATIONENTRY,
// LINECARDENTRY, LINECOUNTRYENTRY): the byte offset of entry index when the whole entry lies
// after the header and inside Limit(); none otherwise. The entries' own size/offset pairs count
// from the start of the structure, so their texts are read with GetTapiString at the returned
// offset plus the pair's offset in the entry.
std::optional<Cardinal> GetTapiEntryOffset(const TTapiStruct& buffer, Cardinal listOffsetField,
                                           Cardinal entrySize, Cardinal index);

// The call handles of a LINECALLLIST answer (lineGetNewCalls, lineGetConfRelatedCalls), in
// order, without the zero ones. Only entries that lie inside the block are read, so a provider
// that claims billions of entries costs no more than the block it filled.
std::vector<Cardinal> ReadCallList(const TTapiStruct& list);

// Shrinks the block to what the provider used, never below minSize nor above its size: every
// fetch asks with at least TapiStructMinQuerySize bytes, more than a small answer needs kept.
void CompactTapiStruct(TTapiStruct& buffer, Cardinal minSize);

// Size raw bytes in the given string format as UTF-8: ASCII and DBCS are OEM text whose
// trailing NULs are dropped, UNICODE is UTF-16 up to the first NUL, anything else (BINARY
// included) is ANSI text with every byte kept.
std::string ConvertTapiString(const void* raw, Cardinal size, Cardinal stringFormat);

// Text for TAPI's single-byte fields (display text, user-user information): one byte per
// character, '?' for a character outside Latin-1.
std::string SingleByte(const std::string& text);

// The NUL-separated UTF-16 names addressed by the size/offset pair, ending at an empty name or
// at the end of the size, whichever comes first. An invalid pair gives the empty list.
std::unique_ptr<TStringList> GetTapiStringList(const TTapiStruct& buffer, Cardinal sizeFieldOffset);

}  // namespace zvtapi
