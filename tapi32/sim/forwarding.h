// Call forwarding on the simulated switch: which forwarding lists a line takes, and which entry
// of an address's list sends a call elsewhere.
//
// The forwarding modes come in four kinds (unconditional, busy, no answer, busy or no answer),
// each for every caller, for internal or external callers only (by the call's origin), or for
// the callers the entry names (…SPECIFIC, compared on digits, '*', '#' and '+'). When several
// entries fit a call, the one that names its caller wins over the one for its origin, which wins
// over the one for every caller; at the same rank the busy or no-answer kind goes before the
// busy-or-no-answer one.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "tapi32/provider.h"
#include "tapi32/sim/config.h"

namespace tapi32::sim {

// When a call is forwarded: as it arrives, because the station is busy, or because it rang
// unanswered.
enum class ForwardWhen : uint8_t { Unconditional, Busy, NoAnswer };

// What the switch thinks of a forwarding list for the line: 0, or the lineForwardW error.
// Entries beyond dwMaxForwardEntries or selective entries beyond dwMaxSpecificEntries, modes the
// line does not take, more than one mode in an entry, the same mode twice for the same callers,
// and a selective entry without a caller are invalid information (INVALPARAM); a destination
// without a number to dial is INVALADDRESS; a country code beyond 999 INVALCOUNTRYCODE.
LONG CheckForwardList(const std::vector<ForwardEntry>& entries, const LineConfig& line);

// The rings before no-answer forwarding, kept within the line's range.
uint32_t ClipForwardRings(uint32_t rings, const LineConfig& line);

// The entry that forwards a call from `callerNumber` with `origin` (LINECALLORIGIN_) now, or
// null.
const ForwardEntry* MatchForward(const std::vector<ForwardEntry>& entries, ForwardWhen when,
                                 std::u16string_view callerNumber, uint32_t origin);

// The number of a station of the switch: the address name, or for address 0 the extension
// number of a switch info "Extension <number>"; empty when it has none.
std::u16string StationNumber(const LineConfig& line, uint32_t addressId);

// The digits of a number as the switch compares them: 0-9, '*', '#' and '+'.
std::u16string DialDigits(std::u16string_view number);

}  // namespace tapi32::sim
