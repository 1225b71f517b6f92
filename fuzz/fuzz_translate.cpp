// Feeds arbitrary addresses to lineTranslateAddressW from a few dialing locations, with
// arbitrary options, card and output sizes. Whatever an application passes, translation must
// answer with a result code and, on success, an output structure whose strings lie inside what
// it says it used; it must never read outside the address, crash or hang.
//
// Input: [location] [options] [card] [output size, 16 bits] [address: UTF-16LE code units...].
// The address ends at the first NUL or at the end of the input.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tapi32/server.h"
#include "tapi32/tapi.h"

namespace {

tapi32::DialingLocation Location(DWORD id, DWORD country, std::u16string city) {
  tapi32::DialingLocation location;
  location.permanentId = id;
  location.name = u"Fuzz";
  location.countryId = country;
  location.cityCode = std::move(city);
  return location;
}

// London; Seattle with access codes, a toll list and call waiting; a US location without area
// code; Munich with pulse dialling and the calling card as its preferred card.
tapi32::LocationBook Book() {
  tapi32::LocationBook book;
  book.locations.push_back(Location(1, 44, u"20"));
  tapi32::DialingLocation seattle = Location(2, 1, u"206");
  seattle.localAccessCode = u"9";
  seattle.longDistanceAccessCode = u"8,";
  seattle.tollPrefixList = u",555,,556";
  seattle.cancelCallWaiting = u"*70,";
  book.locations.push_back(seattle);
  book.locations.push_back(Location(3, 1, u""));
  tapi32::DialingLocation munich = Location(4, 49, u"89");
  munich.options = LINELOCATIONOPTION_PULSEDIAL;
  munich.preferredCardId = 7;
  book.locations.push_back(munich);
  tapi32::CallingCard card;
  card.permanentId = 7;
  card.name = u"Card";
  card.number = u"1234";
  card.sameAreaRule = u"G";
  card.longDistanceRule = u"0800$H0FG";
  card.internationalRule = u"0800$HW00EFG";
  book.cards.push_back(card);
  return book;
}

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// A string field of the answer: inside the used part, whole UTF-16 units, NUL-terminated.
void CheckString(const std::vector<uint8_t>& buffer, DWORD used, DWORD size, DWORD offset) {
  if (size == 0) return;
  Check(offset >= sizeof(LINETRANSLATEOUTPUT) && offset <= used && size <= used - offset);
  Check(size % 2 == 0);
  char16_t last;
  std::memcpy(&last, &buffer[offset + size - 2], sizeof last);
  Check(last == u'\0');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const tapi32::LocationBook book = Book();
  if (size < 5) return 0;
  tapi32::LocationBook current = book;
  current.currentLocationId = 1 + data[0] % current.locations.size();
  tapi32::Server::Instance().SetLocations(current);
  const DWORD options = data[1] & 0x1F;  // the four options and one unknown bit
  const DWORD card = data[2] % 9;        // mostly unknown cards, 0 (none) and 7
  const DWORD outputSize = static_cast<DWORD>(data[3] | data[4] << 8);

  std::u16string address((size - 5) / 2, u'\0');
  std::memcpy(address.data(), data + 5, address.size() * 2);
  address = address.c_str();  // up to the first NUL, as the entry point reads it

  std::vector<uint8_t> buffer(std::max<size_t>(outputSize, sizeof(LINETRANSLATEOUTPUT)));
  auto* output = reinterpret_cast<LINETRANSLATEOUTPUT*>(buffer.data());
  output->dwTotalSize = outputSize;
  const LONG result =
      lineTranslateAddressW(0, 0, 0x00020002, address.c_str(), card, options, output);
  if (result != 0) {
    Check(result < 0);
    return 0;
  }
  Check(output->dwUsedSize <= output->dwTotalSize);
  Check(output->dwNeededSize >= output->dwUsedSize);
  CheckString(buffer, output->dwUsedSize, output->dwDialableStringSize,
              output->dwDialableStringOffset);
  CheckString(buffer, output->dwUsedSize, output->dwDisplayableStringSize,
              output->dwDisplayableStringOffset);
  if ((output->dwTranslateResults & LINETRANSLATERESULT_CANONICAL) != 0) {
    const DWORD kinds =
        output->dwTranslateResults & (LINETRANSLATERESULT_LOCAL | LINETRANSLATERESULT_LONGDISTANCE |
                                      LINETRANSLATERESULT_INTERNATIONAL);
    Check(kinds != 0 && (kinds & (kinds - 1)) == 0);  // exactly one kind of call
    Check(output->dwDestCountry != 0);
  } else {
    Check(output->dwDestCountry == 0);
  }
  return 0;
}
