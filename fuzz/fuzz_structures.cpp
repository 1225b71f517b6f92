// Feeds arbitrary bytes to the structure readers (also as an address status with forwarding
// entries, as a related-device answer, as a call list and as the answers about locations and
// translation) as if a service provider had filled them, and drives the fetch loop with a
// provider that answers with arbitrary header values. Nothing a provider writes may make the
// library read outside the block, spin, fail an assertion, or grow the block beyond what the
// provider asked for in an answer.
//
// Input: [flags] [size field offset, 16 bits] [n] n x [answer] [structure bytes...], where an
// answer is [selector] [dwNeededSize, 16 bits] [dwUsedSize, 32 bits] [dwTotalSize, 32 bits].
// Selector bits 0-1 choose the result; bit 2 makes the provider overwrite dwTotalSize. Flag bit
// 6 also reads the bytes as each of the phone's structures. The
// loop grows the block to whatever dwNeededSize asks for, which is what the field is for, so it
// stays below 64 KB here; a larger one would only measure the machine's memory.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tapi/forward.h"
#include "tapi/location_structs.h"
#include "tapi/structures.h"
#include "tapi32/tapi_constants.h"
#include "tapi32/tapi_structs.h"

namespace {

using zvtapi::Cardinal;

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : FData(data), FSize(size) {}
  uint8_t Byte() { return FPos < FSize ? FData[FPos++] : 0; }
  uint16_t Word() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
  uint32_t DWord() { return Word() | static_cast<uint32_t>(Word()) << 16; }
  const uint8_t* Rest() const { return FData + FPos; }
  size_t RestSize() const { return FPos < FSize ? FSize - FPos : 0; }

 private:
  const uint8_t* FData;
  size_t FSize;
  size_t FPos = 0;
};

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

void ReadEverything(const zvtapi::TTapiStruct& buffer, Cardinal sizeField) {
  for (Cardinal format = 0; format <= 5; ++format) {
    const std::string text = zvtapi::GetTapiString(buffer, sizeField, format);
    // Never more characters than the structure has bytes (UTF-8 takes at most 3 bytes per
    // UTF-16 unit, 2 per Latin-1 byte).
    Require(text.size() <= 3 * static_cast<size_t>(buffer.Capacity()));
  }
  const auto list = zvtapi::GetTapiStringList(buffer, sizeField);
  Require(list != nullptr);
  Require(static_cast<size_t>(list->Count()) <= buffer.Capacity() / 2);

  for (Cardinal offset : {sizeField, sizeField + 4, Cardinal{0}, Cardinal{8}, Cardinal{12},
                          buffer.Capacity() - 4, buffer.Capacity() - 3, 0xFFFFFFFDu}) {
    const Cardinal value = buffer.GetDWORD(offset);
    if (uint64_t{offset} + 4 > buffer.Limit()) Require(value == 0);
  }
}

// The block as an address status: its forwarding entries read as the address status' list
// reads them, and a few indices beyond, with any counts, offsets and sizes the bytes hold.
void ReadForwarding(const zvtapi::TTapiStruct& buffer) {
  // The status hands its structure over only when it can be read as far as it claims.
  if (buffer.Capacity() < zvtapi::TapiStructHeaderSize || buffer.TotalSize() > buffer.Capacity()) {
    return;
  }
  const auto* status = static_cast<const LINEADDRESSSTATUS*>(buffer.Data());
  const Cardinal count = zvtapi::ForwardEntryCount(status);
  Require(uint64_t{count} * sizeof(LINEFORWARD) <= buffer.Capacity());
  zvtapi::TzvTapiForward entry;
  for (Cardinal index : {Cardinal{0}, Cardinal{1}, count, count + 1, 0xFFFFFFFFu}) {
    entry.AssignLINEFORWARD(status, index);
    Require(entry.CallerAddress().size() <= 3 * static_cast<size_t>(buffer.Capacity()));
    Require(entry.DestAddress().size() <= 3 * static_cast<size_t>(buffer.Capacity()));
  }
}

// A button/lamp array read the way the phone's caches read it: every entry below the count the
// size field gives, and the first one past it, which must be refused. The count is capped: a
// provider's size field may claim a billion entries, all of which read 0 outside the block.
void ReadArray(zvtapi::TTapiStruct& buffer, Cardinal sizeField) {
  const Cardinal count = std::min<Cardinal>(buffer.GetDWORD(sizeField) / 4, 4096);
  Cardinal value = 0;
  for (Cardinal i = 0; i < count; ++i)
    Require(zvtapi::GetTapiArrayEntry(buffer, sizeField, i, value));
  if (count < 4096) Require(!zvtapi::GetTapiArrayEntry(buffer, sizeField, count, value));
  // What PHONE_STATE patches: an entry inside the array and one past it.
  zvtapi::SetTapiArrayEntry(buffer, sizeField, 0, 0x80);
  zvtapi::SetTapiArrayEntry(buffer, sizeField, count, 0x80);
}

// The phone's structures as the phone reads them: PHONECAPS, PHONESTATUS, PHONEBUTTONINFO and
// the display's VARSTRING, each field, text, list and array, then the compaction that keeps a
// button's answer small.
void ReadPhoneStructures(zvtapi::TTapiStruct& buffer) {
  for (Cardinal k = 0; k < 45; ++k)
    buffer.GetDWORD(4 * k);
  const Cardinal stringFormat = buffer.GetDWORD(offsetof(PHONECAPS, dwStringFormat));
  for (Cardinal field :
       {offsetof(PHONECAPS, dwProviderInfoSize), offsetof(PHONECAPS, dwPhoneInfoSize),
        offsetof(PHONECAPS, dwPhoneNameSize), offsetof(PHONECAPS, dwDevSpecificSize)})
    zvtapi::GetTapiString(buffer, static_cast<Cardinal>(field), 0);
  Require(zvtapi::GetTapiStringList(buffer, offsetof(PHONECAPS, dwDeviceClassesSize)) != nullptr);
  for (Cardinal field :
       {offsetof(PHONECAPS, dwButtonModesSize), offsetof(PHONECAPS, dwButtonFunctionsSize),
        offsetof(PHONECAPS, dwLampModesSize), offsetof(PHONESTATUS, dwLampModesSize)})
    ReadArray(buffer, static_cast<Cardinal>(field));
  zvtapi::GetTapiString(buffer, offsetof(PHONESTATUS, dwDisplaySize), stringFormat);
  zvtapi::GetTapiString(buffer, offsetof(PHONESTATUS, dwOwnerNameSize), 0);
  zvtapi::GetTapiString(buffer, offsetof(PHONESTATUS, dwDevSpecificSize), 0);
  zvtapi::GetTapiString(buffer, offsetof(PHONEBUTTONINFO, dwButtonTextSize), stringFormat);
  zvtapi::GetTapiString(buffer, offsetof(VARSTRING, dwStringSize),
                        buffer.GetDWORD(offsetof(VARSTRING, dwStringFormat)));
  const Cardinal capacity = buffer.Capacity();
  zvtapi::CompactTapiStruct(buffer, sizeof(PHONEBUTTONINFO));
  Require(buffer.Capacity() <= capacity);
  Require(buffer.Capacity() == capacity || buffer.Capacity() >= sizeof(PHONEBUTTONINFO));
  zvtapi::GetTapiString(buffer, offsetof(PHONEBUTTONINFO, dwButtonTextSize), stringFormat);
}

// The block as a related-device answer (lineGetIDW, phoneGetIDW): its string must lie inside the
// block and inside dwUsedSize, every ID below its count reads and the one past it is refused, and
// a port name never runs past the string.
void ReadRelatedAnswer(const zvtapi::TTapiStruct& buffer) {
  const zvtapi::TVarString text = zvtapi::GetVarString(buffer);
  if (text.Size != 0) {
    const uint64_t end = uint64_t(text.Data - buffer.Bytes()) + text.Size;
    Require(text.Data >= buffer.Bytes() + zvtapi::TapiStructHeaderSize);
    Require(end <= buffer.Limit() && end <= buffer.UsedSize());
  }
  const Cardinal count = std::min<Cardinal>(text.Size / 4, 4096);
  Cardinal value = 0;
  for (Cardinal i = 0; i < count; ++i)
    Require(zvtapi::GetVarStringDWORD(text, i, value));
  if (count < 4096) Require(!zvtapi::GetVarStringDWORD(text, count, value));
  Require(!zvtapi::GetVarStringDWORD(text, 0xFFFFFFFFu, value));
  for (Cardinal from : {Cardinal{0}, Cardinal{4}, text.Size, 0xFFFFFFFFu})
    Require(zvtapi::GetVarStringText(text, from).size() <= 2 * static_cast<size_t>(text.Size));
}

// The block as the answers about locations: LINETRANSLATECAPS with its location entries as a
// 2.2 and a 1.3 answer, LINECOUNTRYLIST's first country and LINETRANSLATEOUTPUT's dialable
// string. The count of entries is capped as for the arrays: each one past the block is refused.
void ReadLocationAnswers(const zvtapi::TTapiStruct& buffer) {
  const auto bounded = [&](const std::string& text) {
    Require(text.size() <= 3 * static_cast<size_t>(buffer.Capacity()));
  };
  for (Cardinal version : {Cardinal{0x00020002}, Cardinal{0x00010003}}) {
    const Cardinal size = zvtapi::LocationEntrySize(version);
    const Cardinal count =
        std::min<Cardinal>(buffer.GetDWORD(offsetof(LINETRANSLATECAPS, dwNumLocations)), 4096);
    for (Cardinal i = 0; i <= count; ++i) {
      const auto entry = zvtapi::ReadLocationEntry(buffer, i, version);
      if (i == count && count < 4096) Require(!entry);
      if (!entry) continue;
      const auto offset = zvtapi::GetTapiEntryOffset(
          buffer, offsetof(LINETRANSLATECAPS, dwLocationListOffset), size, i);
      Require(offset && uint64_t{*offset} + size <= buffer.Limit());
      for (const std::string* text : {&entry->LocationName, &entry->CityCode,
                                      &entry->LocalAccessCode, &entry->LongDistanceAccessCode})
        bounded(*text);
    }
  }
  if (const auto country = zvtapi::ReadFirstCountryEntry(buffer)) {
    for (const std::string* text : {&country->CountryName, &country->SameAreaRule,
                                    &country->LongDistanceRule, &country->InternationalRule})
      bounded(*text);
  }
  bounded(zvtapi::ReadDialableString(buffer));
}

// The block as a call list (lineGetNewCalls, lineGetConfRelatedCalls): never more handles than
// the block has room for, whatever count the provider claims.
void ReadCallListAnswer(const zvtapi::TTapiStruct& buffer) {
  Require(zvtapi::ReadCallList(buffer).size() <= buffer.Capacity() / sizeof(HCALL));
}

struct Answer {
  uint8_t selector;
  Cardinal needed;
  Cardinal used;
  Cardinal total;
  bool WritesTotal() const { return (selector & 4) != 0; }
};

void FetchWithScript(const std::vector<Answer>& script, const uint8_t* body, size_t bodySize) {
  size_t call = 0;
  bool totalOverwritten = false;
  auto provider = [&](void* structure) -> int32_t {
    Cardinal total;
    std::memcpy(&total, structure, 4);
    const size_t copy = bodySize < total ? bodySize : total;
    if (copy > 12) std::memcpy(static_cast<uint8_t*>(structure) + 12, body + 12, copy - 12);
    totalOverwritten = false;
    if (call >= script.size()) {
      const Cardinal zero = 0;
      std::memcpy(static_cast<uint8_t*>(structure) + 4, &zero, 4);
      return 0;
    }
    const Answer& a = script[call++];
    std::memcpy(static_cast<uint8_t*>(structure) + 4, &a.needed, 4);
    std::memcpy(static_cast<uint8_t*>(structure) + 8, &a.used, 4);
    if (a.WritesTotal()) {
      std::memcpy(structure, &a.total, 4);
      totalOverwritten = true;
    }
    switch (a.selector % 4) {
      case 0:
        return 0;
      case 1:
        return static_cast<int32_t>(LINEERR_STRUCTURETOOSMALL);
      case 2:
        return static_cast<int32_t>(PHONEERR_STRUCTURETOOSMALL);
      default:
        return static_cast<int32_t>(LINEERR_OPERATIONFAILED);
    }
  };
  // What the block may grow to: the 1024 bytes every query gets, or the most any answer asked
  // for.
  Cardinal largestAsked = zvtapi::TapiStructMinQuerySize;
  for (const Answer& a : script)
    largestAsked = std::max(largestAsked, zvtapi::RoundUp(a.needed, 4));
  for (auto mode : {zvtapi::TFetchMode::Checked, zvtapi::TFetchMode::CheckedPhoneRetry,
                    zvtapi::TFetchMode::Unchecked}) {
    call = 0;
    zvtapi::TTapiStruct buffer = zvtapi::AllocTapiStruct(268);
    zvtapi::FetchTapiStruct(buffer, provider, mode);
    Require(call <= script.size() + 1);
    Require(buffer.Capacity() <= largestAsked);
    // A dwTotalSize the provider overwrote in its last answer may stay behind; the readers keep
    // to the block all the same.
    if (!totalOverwritten) Require(buffer.TotalSize() <= buffer.Capacity());
    ReadEverything(buffer, 32);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in(data, size);
  const uint8_t flags = in.Byte();
  const Cardinal sizeField = in.Word();
  std::vector<Answer> script(in.Byte() % 8);
  for (Answer& a : script) {
    a.selector = in.Byte();
    a.needed = in.Word();
    a.used = in.DWord();
    a.total = in.DWord();
  }

  const Cardinal bodySize = static_cast<Cardinal>(in.RestSize());
  zvtapi::TTapiStruct buffer = zvtapi::TTapiStruct::FromBytes(in.Rest(), bodySize);
  switch (flags % 3) {
    case 0:  // consistent header
      buffer.SetTotalSize(bodySize);
      break;
    case 1:  // a provider that claims more than there is
      buffer.SetTotalSize(bodySize + 1 + flags);
      break;
    default:  // whatever the bytes say
      break;
  }
  ReadEverything(buffer, sizeField);
  ReadForwarding(buffer);
  ReadRelatedAnswer(buffer);
  ReadLocationAnswers(buffer);
  ReadCallListAnswer(buffer);
  if (flags & 0x40) ReadPhoneStructures(buffer);
  if (flags & 0x80) FetchWithScript(script, in.Rest(), bodySize);
  return 0;
}
