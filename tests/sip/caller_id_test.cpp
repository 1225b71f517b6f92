#include "tapi32/sip/caller_id.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tapi32::sip {
namespace {

struct Parsed {
  std::string value;
  std::string name, number, uri;
};

void ExpectParses(const std::vector<Parsed>& cases) {
  for (const Parsed& c : cases) {
    SCOPED_TRACE(c.value);
    const auto party = ParsePartyAddress(c.value);
    ASSERT_TRUE(party.has_value());
    EXPECT_EQ(party->name, c.name);
    EXPECT_EQ(party->number, c.number);
    EXPECT_EQ(party->uri, c.uri);
  }
}

TEST(CallerIdTest, DisplayNamesQuotedUnquotedAndAbsent) {
  ExpectParses({
      {R"("Bob" <sip:200@pbx>;tag=1)", "Bob", "200", "sip:200@pbx"},
      {R"("Bob \"B\" Ex" <sip:200@pbx>)", R"(Bob "B" Ex)", "200", "sip:200@pbx"},
      {R"("back\\slash" <sip:1@h>)", R"(back\slash)", "1", "sip:1@h"},
      // Inside quotes every character is the name's, "<" and ";" included.
      {R"("a <b>; c" <sip:1@h>)", "a <b>; c", "1", "sip:1@h"},
      {R"(""<sip:1@h>)", "", "1", "sip:1@h"},
      // libre keeps only the last word of these.
      {"Alice Smith <sip:alice@x>", "Alice Smith", "alice", "sip:alice@x"},
      {"  Alice \t  Smith<sip:alice@x>  ", "Alice Smith", "alice", "sip:alice@x"},
      {"J\xc3\xbcrgen M\xc3\xbcller <sip:j@x>", "J\xc3\xbcrgen M\xc3\xbcller", "j", "sip:j@x"},
      {"<sip:300@x>", "", "300", "sip:300@x"},
      {"sip:300@x;tag=2", "", "300", "sip:300@x"},
      {" sip:300@x ", "", "300", "sip:300@x"},
  });
}

TEST(CallerIdTest, NumbersFromSipAndTelUris) {
  ExpectParses({
      {"<sips:+4930123@pbx:5061;transport=tls>", "", "+4930123",
       "sips:+4930123@pbx:5061;transport=tls"},
      {"<SIP:Alice@X>", "", "Alice", "SIP:Alice@X"},
      {"<sip:user:secret@pbx>", "", "user", "sip:user:secret@pbx"},
      {"<sip:+4930123;phone-context=example.org@pbx;user=phone>", "", "+4930123",
       "sip:+4930123;phone-context=example.org@pbx;user=phone"},
      {"<sip:pbx.example.org>", "", "", "sip:pbx.example.org"},
      {"<sip:100@pbx?Subject=hi%20there&Priority=urgent>", "", "100",
       "sip:100@pbx?Subject=hi%20there&Priority=urgent"},
      // A tel: URI's number has no user part; its visual separators stay as written.
      {"<tel:+44-20-7946-0958>", "", "+44-20-7946-0958", "tel:+44-20-7946-0958"},
      {"\"Office\" <tel:(030)555.12;phone-context=+49>", "Office", "(030)555.12",
       "tel:(030)555.12;phone-context=+49"},
      {"<tel:7042;phone-context=example.com>;tag=9", "", "7042",
       "tel:7042;phone-context=example.com"},
      {"tel:+4420794609;tag=x", "", "+4420794609", "tel:+4420794609"},
      // Percent escapes are decoded; broken ones, and those that would hide a control character
      // in the number, stay as written.
      {"<sip:%2B49%20301@pbx>", "", "+49 301", "sip:%2B49%20301@pbx"},
      {"<sip:a%zz%4@pbx>", "", "a%zz%4", "sip:a%zz%4@pbx"},
      {"<sip:a%00b%0a@pbx>", "", "a%00b%0a", "sip:a%00b%0a@pbx"},
      // Other schemes are addresses without a number.
      {"\"Web\" <https://example.org/x>", "Web", "", "https://example.org/x"},
  });
}

TEST(CallerIdTest, HeaderListsYieldTheirFirstAddress) {
  ExpectParses({
      {R"("Bob" <sip:200@pbx>, <tel:+49301>)", "Bob", "200", "sip:200@pbx"},
      {"sip:1@h;a=\"x,y\", sip:2@h", "", "1", "sip:1@h"},
  });
}

TEST(CallerIdTest, JunkIsNoAddress) {
  for (const char* junk : {
           "",
           "   ",
           "Bob",
           "\"Bob\"",
           "\"Bob <sip:1@h>",
           "\"Bob\" sip:1@h",
           "<sip:1@h",
           "sip:1@h>",
           "Bob <>",
           "<:1@h>",
           "<1sip:1@h>",
           "<sip:>",
           "<sip:1@>",
           "<sip:1@;x>",
           "<tel:>",
           "<tel:;x=1>",
           "<nocolon>",
           "Bob sip:1@h",
           "Bob\x01 <sip:1@h>",
           "a@b <sip:1@h>",
           "sip:x <sip:1@h>",
           "<sip:1@h> junk",
           "\"Bob\" x <sip:1@h>",
           "<sip:1@h\r\nX-Injected: 1>",
           "<sip:a b@h>",
           "\"Bob\\",
       }) {
    EXPECT_FALSE(ParsePartyAddress(junk).has_value()) << junk;
  }
}

// Header values arrive as views into a datagram, not as terminated strings: every prefix of
// every value is parsed from a heap block of exactly its length, so a read past the end shows
// up under the address sanitizer, and the parser must not depend on what follows.
TEST(CallerIdTest, TruncatedValuesNeverReadPastTheirEnd) {
  for (const std::string value : {
           R"("Bob \"B\" Ex" <sip:%2B49@pbx;user=phone>;tag=1, <tel:+1-2>)",
           "Alice  Smith <tel:+44-20;phone-context=x>",
           "sips:u:p@h:5061;tag=%4",
       }) {
    for (size_t length = 0; length <= value.size(); ++length) {
      const auto block = std::make_unique<char[]>(length);
      std::copy_n(value.data(), length, block.get());
      const auto party = ParsePartyAddress({block.get(), length});
      if (party) {
        EXPECT_LE(party->uri.size(), length);
      }
    }
  }
}

TEST(CallerIdTest, QuotedNamesRoundTripAndCannotBreakTheHeader) {
  EXPECT_EQ(QuoteDisplayName(R"(Bob "B" Ex)"), R"("Bob \"B\" Ex")");
  EXPECT_EQ(QuoteDisplayName(""), R"("")");
  EXPECT_EQ(QuoteDisplayName("Evil\r\nContact: <sip:x>"), R"("Evil  Contact: <sip:x>")");
  for (const std::string name : {R"(Bob "B" Ex)", R"(C:\dir\)", "J\xc3\xbcrgen", "<>;,", ""}) {
    const auto party = ParsePartyAddress(QuoteDisplayName(name) + " <sip:1@h>");
    ASSERT_TRUE(party.has_value()) << name;
    EXPECT_EQ(party->name, name);
  }
}

}  // namespace
}  // namespace tapi32::sip
