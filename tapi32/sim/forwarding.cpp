#include "tapi32/sim/forwarding.h"

#include <algorithm>
#include <bit>

#include "platform/module.h"

namespace tapi32::sim {

namespace {

// Each kind of mode takes four bits: every caller, internal callers, external callers, chosen
// callers.
constexpr uint32_t kEveryCaller = 0x1;
constexpr uint32_t kInternalCallers = 0x2;
constexpr uint32_t kExternalCallers = 0x4;
constexpr uint32_t kChosenCallers = 0x8;
constexpr uint32_t kSpecificModes = LINEFORWARDMODE_UNCONDSPECIFIC | LINEFORWARDMODE_BUSYSPECIFIC |
                                    LINEFORWARDMODE_NOANSWSPECIFIC | LINEFORWARDMODE_BUSYNASPECIFIC;
constexpr uint32_t kHighestCountryCode = 999;

constexpr uint32_t Mode(uint32_t kindShift, uint32_t callers) {
  return callers << kindShift;
}

// The kinds that forward a call now, the more precise first.
std::vector<uint32_t> KindShifts(ForwardWhen when) {
  switch (when) {
    case ForwardWhen::Unconditional:
      return {0};
    case ForwardWhen::Busy:
      return {4, 12};
    case ForwardWhen::NoAnswer:
      return {8, 12};
  }
  return {};
}

}  // namespace

std::u16string StationNumber(const LineConfig& line, uint32_t addressId) {
  if (addressId < line.addressNames.size() && !line.addressNames[addressId].empty()) {
    return platform::Utf8ToWide(line.addressNames[addressId]);
  }
  const std::string prefix = "Extension ";
  if (addressId == 0 && line.switchInfo.starts_with(prefix)) {
    return platform::Utf8ToWide(line.switchInfo.substr(prefix.size()));
  }
  return {};
}

std::u16string DialDigits(std::u16string_view number) {
  std::u16string out;
  for (char16_t c : number) {
    if ((c >= u'0' && c <= u'9') || c == u'*' || c == u'#' || c == u'+') out.push_back(c);
  }
  return out;
}

LONG CheckForwardList(const std::vector<ForwardEntry>& entries, const LineConfig& line) {
  if (entries.size() > line.maxForwardEntries) return Err(LINEERR_INVALPARAM);
  const auto specific = std::count_if(entries.begin(), entries.end(), [](const ForwardEntry& e) {
    return (e.mode & kSpecificModes) != 0;
  });
  if (static_cast<uint32_t>(specific) > line.maxSpecificEntries) return Err(LINEERR_INVALPARAM);
  for (auto it = entries.begin(); it != entries.end(); ++it) {
    if (!std::has_single_bit(it->mode) || (it->mode & line.forwardModes) == 0) {
      return Err(LINEERR_INVALPARAM);
    }
    const bool selective = (it->mode & kSpecificModes) != 0;
    if (selective && DialDigits(it->callerAddress).empty()) return Err(LINEERR_INVALPARAM);
    // Two answers to the same question: which destination applies would be a guess.
    const bool twice = std::any_of(entries.begin(), it, [&](const ForwardEntry& earlier) {
      return earlier.mode == it->mode &&
             (!selective || DialDigits(earlier.callerAddress) == DialDigits(it->callerAddress));
    });
    if (twice) return Err(LINEERR_INVALPARAM);
    if (DialDigits(it->destAddress).empty()) return Err(LINEERR_INVALADDRESS);
    if (it->destCountryCode > kHighestCountryCode) return Err(LINEERR_INVALCOUNTRYCODE);
  }
  return 0;
}

uint32_t ClipForwardRings(uint32_t rings, const LineConfig& line) {
  return std::max(line.minFwdNumRings, std::min(rings, line.maxFwdNumRings));
}

const ForwardEntry* MatchForward(const std::vector<ForwardEntry>& entries, ForwardWhen when,
                                 std::u16string_view callerNumber, uint32_t origin) {
  const std::u16string caller = DialDigits(callerNumber);
  const uint32_t byOrigin = origin == LINECALLORIGIN_INTERNAL   ? kInternalCallers
                            : origin == LINECALLORIGIN_EXTERNAL ? kExternalCallers
                                                                : 0;
  auto find = [&](uint32_t mode, bool byCaller) -> const ForwardEntry* {
    for (const ForwardEntry& entry : entries) {
      if (entry.mode != mode) continue;
      if (byCaller && (caller.empty() || DialDigits(entry.callerAddress) != caller)) continue;
      return &entry;
    }
    return nullptr;
  };
  const std::vector<uint32_t> kinds = KindShifts(when);
  for (uint32_t shift : kinds) {
    if (const ForwardEntry* entry = find(Mode(shift, kChosenCallers), true)) return entry;
  }
  if (byOrigin != 0) {
    for (uint32_t shift : kinds) {
      if (const ForwardEntry* entry = find(Mode(shift, byOrigin), false)) return entry;
    }
  }
  for (uint32_t shift : kinds) {
    if (const ForwardEntry* entry = find(Mode(shift, kEveryCaller), false)) return entry;
  }
  return nullptr;
}

}  // namespace tapi32::sim
