// A provider's answer for the structure-cache tests: the fixed part with chosen field values,
// texts appended to the variable part, and a query that hands the answer out as TAPI does —
// only what fits, always reporting the size it needs.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tapi/types.h"
#include "tapi32/tapi_constants.h"

namespace zvtapi::testing {

class StructImage {
 public:
  explicit StructImage(Cardinal fixedSize) : fixedSize(fixedSize), bytes(fixedSize, 0) {}

  StructImage& Set(Cardinal offset, Cardinal value) {
    std::memcpy(bytes.data() + offset, &value, sizeof value);
    return *this;
  }
  Cardinal Get(Cardinal offset) const {
    Cardinal value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
  }
  // Appends the UTF-16 text with its NUL and points the size/offset pair at it.
  StructImage& Text(Cardinal sizeField, const std::u16string& text) {
    std::vector<uint8_t> raw((text.size() + 1) * 2, 0);
    std::memcpy(raw.data(), text.data(), text.size() * 2);
    return Raw(sizeField, raw);
  }
  StructImage& Raw(Cardinal sizeField, const std::vector<uint8_t>& raw) {
    const auto offset = static_cast<Cardinal>(bytes.size());
    bytes.insert(bytes.end(), raw.begin(), raw.end());
    Set(sizeField, static_cast<Cardinal>(raw.size()));
    return Set(sizeField + 4, offset);
  }
  // Grows the answer to at least size bytes (for answers that do not fit the first buffer).
  StructImage& PadTo(Cardinal size) {
    if (bytes.size() < size) bytes.resize(size, 0);
    return *this;
  }
  Cardinal Size() const { return static_cast<Cardinal>(bytes.size()); }

  // Answers a query on the block: the whole image when it fits, otherwise the too-small error
  // with the needed size.
  int32_t Answer(void* structure) const {
    auto* block = static_cast<uint8_t*>(structure);
    Cardinal total;
    std::memcpy(&total, block, sizeof total);
    const Cardinal needed = Size();
    if (total < needed) {
      std::memcpy(block + 4, &needed, sizeof needed);
      return static_cast<int32_t>(LINEERR_STRUCTURETOOSMALL);
    }
    std::memcpy(block + 12, bytes.data() + 12, needed - 12);
    std::memcpy(block + 4, &needed, sizeof needed);
    std::memcpy(block + 8, &needed, sizeof needed);
    return 0;
  }

  Cardinal fixedSize;
  std::vector<uint8_t> bytes;
};

}  // namespace zvtapi::testing
