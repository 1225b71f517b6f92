// Laying out TAPI's variable-size structures: a fixed part followed by texts and byte blocks that
// size/offset fields describe. Shared by the runtime's query functions.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "tapi32/tapi_constants.h"
#include "tapi32/tapi_structs.h"

namespace tapi32 {

// One entry of a structure's variable part: bytes and the size/offset fields that describe them.
struct VarField {
  std::u16string text;  // used when bytes is empty
  std::vector<uint8_t> bytes;
  DWORD* size;
  DWORD* offset;
  DWORD Length() const {
    if (!bytes.empty()) return static_cast<DWORD>(bytes.size());
    return text.empty() ? 0 : static_cast<DWORD>((text.size() + 1) * sizeof(char16_t));
  }
};

inline std::u16string MultiString(const std::vector<std::u16string>& items) {
  if (items.empty()) return {};
  std::u16string out;
  for (const auto& item : items) {
    out += item;
    out += u'\0';
  }
  return out;  // the terminating NUL added when the text is stored ends the list
}

// A 32-bit array as the bytes of a variable part.
inline std::vector<uint8_t> DwordBytes(const std::vector<DWORD>& values) {
  std::vector<uint8_t> bytes(values.size() * sizeof(DWORD));
  if (!values.empty()) std::memcpy(bytes.data(), values.data(), bytes.size());
  return bytes;
}

// Lays out a capability structure in the caller's buffer. The fixed part is always written (up
// to fixedSize); the variable part only when all of it fits, as TAPI does: otherwise the
// size/offset fields stay 0, dwUsedSize covers the fixed part and dwNeededSize tells the caller
// how much to allocate.
template <class Struct>
inline void WriteCaps(Struct& local, std::vector<VarField>& fields, DWORD fixedSize, void* target) {
  auto* out = static_cast<uint8_t*>(target);
  const DWORD total = local.dwTotalSize;
  DWORD needed = fixedSize;
  for (auto& field : fields) {
    *field.size = 0;
    *field.offset = 0;
    needed += field.Length();
  }
  local.dwNeededSize = needed;
  if (needed <= total) {
    DWORD at = fixedSize;
    for (auto& field : fields) {
      const DWORD length = field.Length();
      if (length == 0) continue;
      *field.size = length;
      *field.offset = at;
      if (!field.bytes.empty()) {
        std::memcpy(out + at, field.bytes.data(), length);
      } else {
        std::memcpy(out + at, field.text.c_str(), length);  // includes the terminating NUL
      }
      at += length;
    }
    local.dwUsedSize = needed;
  } else {
    local.dwUsedSize = fixedSize;
  }
  std::memcpy(out, &local, fixedSize);
}

// Answers a capabilities-style query: a caller's structure too small even for the fixed part
// gets tooSmall, with dwNeededSize filled in when the header has room for it; otherwise the
// answer is written as WriteCaps does.
template <class Struct>
inline LONG AnswerStruct(Struct& local, std::vector<VarField>& fields, DWORD fixedSize,
                         Struct* target, DWORD tooSmall) {
  if (target->dwTotalSize < fixedSize) {
    if (target->dwTotalSize >= 2 * sizeof(DWORD)) {
      DWORD needed = fixedSize;
      for (const auto& field : fields)
        needed += field.Length();
      target->dwNeededSize = needed;
    }
    return static_cast<LONG>(tooSmall);
  }
  WriteCaps(local, fields, fixedSize, target);
  return 0;
}

// The string of a VARSTRING answer (lineGetIDW, phoneGetIDW) and its STRINGFORMAT_.
struct VarString {
  DWORD format = STRINGFORMAT_BINARY;
  std::vector<uint8_t> bytes;
};

// Device IDs as lineGetIDW answers them: 32-bit values one after the other, in binary.
inline VarString DeviceIdString(const std::vector<DWORD>& ids) {
  return {STRINGFORMAT_BINARY, DwordBytes(ids)};
}

// Text in TAPI's single-byte form, NUL-terminated (a character outside Latin-1 becomes '?').
inline std::vector<uint8_t> SingleByteText(const std::u16string& text) {
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() + 1);
  for (char16_t c : text)
    bytes.push_back(c < 0x100 ? static_cast<uint8_t>(c) : '?');
  bytes.push_back(0);
  return bytes;
}

// Answers a VARSTRING query as AnswerStruct does.
inline LONG AnswerVarString(const VarString& answer, VARSTRING* target, DWORD tooSmall) {
  VARSTRING local{};
  local.dwTotalSize = target->dwTotalSize;
  local.dwStringFormat = answer.format;
  std::vector<VarField> fields;
  fields.push_back({{}, answer.bytes, &local.dwStringSize, &local.dwStringOffset});
  return AnswerStruct(local, fields, sizeof(VARSTRING), target, tooSmall);
}

}  // namespace tapi32
