#include "tapi32/translate.h"

#include <algorithm>
#include <array>

#include "tapi32/tapi_constants.h"

namespace tapi32 {

namespace {

constexpr DWORD kKnownOptions = LINETRANSLATEOPTION_CARDOVERRIDE |
                                LINETRANSLATEOPTION_CANCELCALLWAITING |
                                LINETRANSLATEOPTION_FORCELOCAL | LINETRANSLATEOPTION_FORCELD;

constexpr size_t kLongestCallingCode = 3;

enum class CallKind { kLocal, kLongDistance, kInternational };

// A canonical address taken apart. Only the first address of a multi-address string (addresses
// separated by CR LF) is translated: the output names one destination.
struct CanonicalAddress {
  DWORD countryCode = 0;
  std::u16string areaCode;    // digits; empty when the address has none
  std::u16string subscriber;  // dialable characters, formatting characters removed
  std::u16string suffix;      // "|subaddress" and "^name" as written, kept on the output
};

bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

// Digits, the DTMF letters, and the dial modifiers a dialable string may carry: flash, pulse,
// tone, pause, wait for dial tone, wait for quiet, wait for billing tone, prompt, end of
// partial dialling, wait for voice.
bool IsDialable(char16_t c) {
  constexpr std::u16string_view kModifiers = u"*#!PpTt,Ww@$?;:";
  return IsDigit(c) || (c >= u'A' && c <= u'D') || (c >= u'a' && c <= u'd') ||
         kModifiers.find(c) != std::u16string_view::npos;
}

// People write numbers with these to group the digits; the subscriber number ignores them.
bool IsFormatting(char16_t c) {
  return c == u' ' || c == u'.' || c == u'-' || c == u'/';
}

bool EndsNumber(char16_t c) {
  return c == u'|' || c == u'^' || c == u'\r' || c == u'\n';
}

// The part of an address that is dialled: everything before a subaddress, name or second
// address.
std::u16string_view NumberPart(std::u16string_view address) {
  auto end = std::find_if(address.begin(), address.end(), EndsNumber);
  return address.substr(0, static_cast<size_t>(end - address.begin()));
}

std::u16string_view FirstAddress(std::u16string_view address) {
  return address.substr(0, std::min(address.find(u'\r'), address.find(u'\n')));
}

// "+CountryCode (AreaCode) SubscriberNumber|Subaddress^Name": false when `address` breaks the
// format. Spaces between the parts may be repeated; the area code and its parentheses may be
// left out.
bool ParseCanonical(std::u16string_view address, CanonicalAddress* out) {
  size_t at = 1;  // after '+'
  const size_t codeStart = at;
  while (at < address.size() && IsDigit(address[at]))
    ++at;
  const size_t codeLength = at - codeStart;
  // No calling code starts with 0, and none is longer than three digits.
  if (codeLength == 0 || codeLength > kLongestCallingCode || address[codeStart] == u'0') {
    return false;
  }
  for (size_t i = codeStart; i < at; ++i)
    out->countryCode = out->countryCode * 10 + (address[i] - u'0');
  if (at >= address.size() || address[at] != u' ') return false;
  while (at < address.size() && address[at] == u' ')
    ++at;
  if (at < address.size() && address[at] == u'(') {
    const size_t close = address.find(u')', at);
    if (close == std::u16string_view::npos || close == at + 1) return false;
    out->areaCode = address.substr(at + 1, close - at - 1);
    if (!std::all_of(out->areaCode.begin(), out->areaCode.end(), IsDigit)) return false;
    at = close + 1;
  }
  const std::u16string_view number = NumberPart(address.substr(at));
  for (char16_t c : number) {
    if (IsDialable(c)) {
      out->subscriber += c;
    } else if (!IsFormatting(c)) {
      return false;  // letters, parentheses without an area code, a second '+'
    }
  }
  if (out->subscriber.empty()) return false;
  out->suffix = FirstAddress(address.substr(at + number.size()));
  return true;
}

// The dial modifiers in a dialable number that an application may want to handle itself.
DWORD DialModifierResults(std::u16string_view number) {
  DWORD results = 0;
  for (char16_t c : number) {
    if (c == u'$') results |= LINETRANSLATERESULT_DIALBILLING;
    if (c == u'@') results |= LINETRANSLATERESULT_DIALQUIET;
    if (c == u'W' || c == u'w') results |= LINETRANSLATERESULT_DIALDIALTONE;
    if (c == u'?') results |= LINETRANSLATERESULT_DIALPROMPT;
    if (c == u':') results |= LINETRANSLATERESULT_VOICEDETECT;
  }
  return results;
}

// Whether the subscriber number starts with one of the prefixes of a toll prefix list
// ("555,556": prefixes separated by commas; stray commas are tolerated).
bool InTollList(std::u16string_view tollPrefixList, std::u16string_view subscriber) {
  size_t start = 0;
  while (start <= tollPrefixList.size()) {
    size_t end = tollPrefixList.find(u',', start);
    if (end == std::u16string_view::npos) end = tollPrefixList.size();
    const std::u16string_view prefix = tollPrefixList.substr(start, end - start);
    if (!prefix.empty() && subscriber.substr(0, prefix.size()) == prefix) return true;
    start = end + 1;
  }
  return false;
}

// Only the North American plan dials some numbers of the caller's own area as toll calls
// (1 + area code + number), chosen by the exchange prefix; that is what a location's toll prefix
// list records. Elsewhere the list is not consulted and neither toll flag is reported, which
// tells applications to hide their toll-list controls.
bool HasTollLists(const Country& country) {
  constexpr DWORD kNorthAmericanPlan = 1;
  return country.callingCode == kNorthAmericanPlan;
}

// How the call is dialled, with the toll-list flags that explain a local call's choice.
CallKind ClassifyCall(const DialingLocation& location, const Country& country,
                      const CanonicalAddress& dest, DWORD options, DWORD* results) {
  if (dest.countryCode != country.callingCode) return CallKind::kInternational;
  // A toll-free number belongs to no area: it takes the national prefix even when it was
  // written with the caller's own area code or with none, as toll-free numbers usually are.
  if (dest.areaCode != location.cityCode || IsTollFree(country, dest.areaCode + dest.subscriber)) {
    return CallKind::kLongDistance;
  }
  if (!HasTollLists(country)) return CallKind::kLocal;
  if (InTollList(location.tollPrefixList, dest.subscriber)) {
    *results |= LINETRANSLATERESULT_INTOLLLIST;
    return (options & LINETRANSLATEOPTION_FORCELOCAL) != 0 ? CallKind::kLocal
                                                           : CallKind::kLongDistance;
  }
  *results |= LINETRANSLATERESULT_NOTINTOLLLIST;
  return (options & LINETRANSLATEOPTION_FORCELD) != 0 ? CallKind::kLongDistance : CallKind::kLocal;
}

const std::u16string& RuleFor(CallKind kind, const std::u16string& sameArea,
                              const std::u16string& longDistance,
                              const std::u16string& international) {
  switch (kind) {
    case CallKind::kLocal:
      return sameArea;
    case CallKind::kLongDistance:
      return longDistance;
    case CallKind::kInternational:
      break;
  }
  return international;
}

// The card's rule for this kind of call; a card that leaves a kind of call without a rule
// does not carry such calls, which are then dialled directly.
const std::u16string& DialingRule(CallKind kind, const Country& country, const CallingCard* card) {
  if (card != nullptr) {
    const std::u16string& rule =
        RuleFor(kind, card->sameAreaRule, card->longDistanceRule, card->internationalRule);
    if (!rule.empty()) return rule;
  }
  return RuleFor(kind, country.sameAreaRule, country.longDistanceRule, country.internationalRule);
}

// Fills a dialing rule's letters in: E the country code, F the area code, G the subscriber
// number, H the calling card's number (`cardText`); every other character is dialled as written.
std::u16string ApplyRule(std::u16string_view rule, const CanonicalAddress& dest,
                         std::u16string_view cardText) {
  std::u16string out;
  for (char16_t c : rule) {
    switch (c) {
      case u'E':
        for (char c8 : std::to_string(dest.countryCode))
          out += static_cast<char16_t>(c8);
        break;
      case u'F':
        out += dest.areaCode;
        break;
      case u'G':
        out += dest.subscriber;
        break;
      case u'H':
        out += cardText;
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

LONG TranslateAddress(const DialingLocation& location, const Country& country,
                      const CallingCard* card, std::u16string_view address, DWORD options,
                      Translation* out) {
  if ((options & ~kKnownOptions) != 0) return Err(LINEERR_INVALPARAM);
  if ((options & LINETRANSLATEOPTION_FORCELOCAL) != 0 &&
      (options & LINETRANSLATEOPTION_FORCELD) != 0) {
    return Err(LINEERR_INVALPARAM);
  }
  if (address.empty()) return Err(LINEERR_INVALADDRESS);
  *out = Translation{};
  out->currentCountry = country.callingCode;

  // Anything not in canonical form is already what the user wants dialled.
  if (address.front() != u'+') {
    out->dialable = out->displayable = address;
    out->results = DialModifierResults(NumberPart(address));
    return 0;
  }

  CanonicalAddress dest;
  if (!ParseCanonical(address, &dest)) return Err(LINEERR_INVALADDRESS);
  out->destCountry = dest.countryCode;
  DWORD results = LINETRANSLATERESULT_CANONICAL;
  const CallKind kind = ClassifyCall(location, country, dest, options, &results);
  constexpr std::array kKindResults = {LINETRANSLATERESULT_LOCAL, LINETRANSLATERESULT_LONGDISTANCE,
                                       LINETRANSLATERESULT_INTERNATIONAL};
  results |= kKindResults[static_cast<size_t>(kind)];

  const std::u16string& rule = DialingRule(kind, country, card);
  const std::u16string& accessCode =
      kind == CallKind::kLocal ? location.localAccessCode : location.longDistanceAccessCode;
  std::u16string prefix;
  if ((options & LINETRANSLATEOPTION_CANCELCALLWAITING) != 0) prefix = location.cancelCallWaiting;
  prefix += accessCode;

  const std::u16string dialledNumber =
      prefix + ApplyRule(rule, dest, card != nullptr ? card->number : u"");
  // The user sees which card pays for the call, never its number.
  const std::u16string shownNumber =
      prefix + ApplyRule(rule, dest, card != nullptr ? u"[" + card->name + u"]" : u"");
  results |= DialModifierResults(dialledNumber);

  // The location's dialling mode goes first, so that the provider dials the whole string in it;
  // it tells the modem how to dial rather than what, so the displayed string leaves it out.
  const char16_t mode = (location.options & LINELOCATIONOPTION_PULSEDIAL) != 0 ? u'P' : u'T';
  out->dialable = mode + dialledNumber + dest.suffix;
  out->displayable = shownNumber + dest.suffix;
  out->results = results;
  return 0;
}

LONG TranslateFromBook(const LocationBook& book, DWORD locationId, std::u16string_view address,
                       DWORD card, DWORD options, Translation* out) {
  const DialingLocation* location = book.FindLocation(locationId);
  const Country* country = location != nullptr ? FindCountry(location->countryId) : nullptr;
  if (country == nullptr) return Err(LINEERR_INIFILECORRUPT);
  // Card 0 is TAPI's "no card": the call is dialled directly.
  const DWORD cardId =
      (options & LINETRANSLATEOPTION_CARDOVERRIDE) != 0 ? card : location->preferredCardId;
  const CallingCard* cardEntry = nullptr;
  if (cardId != 0) {
    cardEntry = book.FindCard(cardId);
    if (cardEntry == nullptr) return Err(LINEERR_INVALCARD);
  }
  return TranslateAddress(*location, *country, cardEntry, address, options, out);
}

}  // namespace tapi32
