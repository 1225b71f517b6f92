// Device classes ("tapi/line", "wave/in", ...) as applications name them: TAPI compares them
// without regard to the case of ASCII letters.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "tapi32/tapi_structs.h"

namespace tapi32 {

inline bool SameClass(std::u16string_view a, std::u16string_view b) {
  auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [&](char16_t x, char16_t y) { return lower(x) == lower(y); });
}

// The class is one of the device's (letter case ignored).
inline bool ListsClass(const std::vector<std::u16string>& classes, std::u16string_view wanted) {
  return std::any_of(classes.begin(), classes.end(),
                     [&](const std::u16string& each) { return SameClass(each, wanted); });
}

// A class an application named for a device: empty (no class), the device's own class
// ("tapi/line", "tapi/phone") or one the device lists.
inline bool KnownClass(LPCWSTR deviceClass, std::u16string_view ownClass,
                       const std::vector<std::u16string>& classes) {
  if (deviceClass == nullptr || *deviceClass == u'\0') return true;
  const std::u16string_view wanted(deviceClass);
  return SameClass(wanted, ownClass) || ListsClass(classes, wanted);
}

}  // namespace tapi32
