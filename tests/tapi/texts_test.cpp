#include "tapi/texts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

namespace zvtapi {
namespace {

struct SingleCase {
  const char* family;
  std::string (*text)(uint32_t);
  uint32_t value;
  std::string expected;
};
void PrintTo(const SingleCase& c, std::ostream* os) {
  *os << c.family << " " << c.value;
}

class SingleValueTextTest : public ::testing::TestWithParam<SingleCase> {};

TEST_P(SingleValueTextTest, GivesTheConstantsNameOrTheFallback) {
  const SingleCase& c = GetParam();
  EXPECT_EQ(c.text(c.value), c.expected) << c.family << " 0x" << std::hex << c.value;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SingleValueTextTest,
    ::testing::Values(
        SingleCase{"call state", TapiCallStateText, 0x1, "IDLE"},
        SingleCase{"call state", TapiCallStateText, 0x2, "OFFERING"},
        SingleCase{"call state", TapiCallStateText, 0x100, "CONNECTED"},
        SingleCase{"call state", TapiCallStateText, 0x1000, "ONHOLDPENDCONF"},
        SingleCase{"call state", TapiCallStateText, 0x4000, "DISCONNECTED"},
        SingleCase{"call state", TapiCallStateText, 0x8000, "UNKNOWN"},
        SingleCase{"call state", TapiCallStateText, 0, "LINECALLSTATE_$0"},
        SingleCase{"call state", TapiCallStateText, 0x3, "LINECALLSTATE_$3"},
        SingleCase{"call state", TapiCallStateText, 0x10000, "LINECALLSTATE_$10000"},
        SingleCase{"call state", TapiCallStateText, 0xABCDEF01, "LINECALLSTATE_$ABCDEF01"},
        SingleCase{"lamp mode", TapiLampModeText, 0, ""},
        SingleCase{"lamp mode", TapiLampModeText, 0x1, "DUMMY"},
        SingleCase{"lamp mode", TapiLampModeText, 0x40, "BROKENFLUTTER"},
        SingleCase{"lamp mode", TapiLampModeText, 0x80, "UNKNOWN"},
        SingleCase{"lamp mode", TapiLampModeText, 0x3, "PHONELAMPMODE_$3"},
        SingleCase{"lamp mode", TapiLampModeText, 0x100, "PHONELAMPMODE_$100"},
        SingleCase{"button state", TapiButtonStateText, 0, ""},
        SingleCase{"button state", TapiButtonStateText, 0x2, "DOWN"},
        SingleCase{"button state", TapiButtonStateText, 0x8, "UNAVAIL"},
        SingleCase{"button state", TapiButtonStateText, 0x10, "PHONEBUTTONSTATE_$10"},
        SingleCase{"button mode", TapiButtonModeText, 0, ""},
        SingleCase{"button mode", TapiButtonModeText, 0x20, "DISPLAY"},
        SingleCase{"button mode", TapiButtonModeText, 0x6, "PHONEBUTTONMODE_$6"},
        SingleCase{"button function", TapiButtonFunctionText, 0, "UNKNOWN"},
        SingleCase{"button function", TapiButtonFunctionText, 23, "FLASH"},
        SingleCase{"button function", TapiButtonFunctionText, 38, "MSGINDICATOR"},
        SingleCase{"button function", TapiButtonFunctionText, 46, "NONE"},
        SingleCase{"button function", TapiButtonFunctionText, 47, "PHONEBUTTONFUNCTION_$2F"},
        SingleCase{"button function", TapiButtonFunctionText, 0xFFFFFFFF,
                   "PHONEBUTTONFUNCTION_$FFFFFFFF"}));

// Each call state's own bit has a text; the table is complete from IDLE to UNKNOWN.
TEST(CallStateTextTest, EverySingleStateBitHasAName) {
  for (uint32_t bit = 0x1; bit <= 0x8000; bit <<= 1) {
    EXPECT_EQ(TapiCallStateText(bit).find("LINECALLSTATE_"), std::string::npos) << bit;
  }
}

TEST(CallStateModeTextTest, ModeFamilyFollowsTheState) {
  struct Case {
    uint32_t state, mode;
    const char* expected;
  };
  for (const Case& c : {
           Case{0x2, 0x1, "ACTIVE"},
           Case{0x2, 0x2, "INACTIVE"},
           Case{0x2, 0x4, ""},
           Case{0x8, 0x4, "INTERNAL"},
           Case{0x8, 0x20, "UNAVAIL"},
           Case{0x40, 0x2, "TRUNK"},
           Case{0x40, 0x10, ""},
           Case{0x80, 0x2, "CUSTIRREG"},
           Case{0x80, 0x10, "UNAVAIL"},
           Case{0x100, 0x4, "ACTIVEHELD"},
           Case{0x100, 0x10, "CONFIRMED"},
           Case{0x100, 0x3, ""},
           Case{0x4000, 0x1, "NORMAL"},
           Case{0x4000, 0x40, "NOANSWER"},
           Case{0x4000, 0x800, "UNAVAIL"},
           Case{0x4000, 0x1000, ""},
           Case{0x1, 0x1, ""},
           Case{0x1, 0x4, ""},
           Case{0x20, 0x1, ""},
           Case{0x102, 0x1, ""},
       }) {
    EXPECT_EQ(TapiCallStateModeText(c.state, c.mode), c.expected)
        << std::hex << "state 0x" << c.state << " mode 0x" << c.mode;
  }
}

struct BitSetCase {
  const char* family;
  std::string (*text)(uint32_t, const std::string&);
  uint32_t value;
  const char* separator;
  std::string expected;
};
void PrintTo(const BitSetCase& c, std::ostream* os) {
  *os << c.family << " " << c.value;
}

class BitSetTextTest : public ::testing::TestWithParam<BitSetCase> {};

TEST_P(BitSetTextTest, JoinsTheTextsOfTheSetBitsInTableOrder) {
  const BitSetCase& c = GetParam();
  EXPECT_EQ(c.text(c.value, c.separator), c.expected) << c.family << " 0x" << std::hex << c.value;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, BitSetTextTest,
    ::testing::Values(
        BitSetCase{"privileges", TapiPrivilegesText, 0x7, "+", "OWNER+MONITOR+NONE"},
        BitSetCase{"privileges", TapiPrivilegesText, 0x5, "+", "OWNER+NONE"},
        BitSetCase{"privileges", TapiPrivilegesText, 0x1, "+", "NONE"},
        BitSetCase{"privileges", TapiPrivilegesText, 0x0, "+", ""},
        BitSetCase{"privileges", TapiPrivilegesText, 0x8, "+", ""},
        BitSetCase{"privileges", TapiPrivilegesText, 0x6, "", "OWNERMONITOR"},
        BitSetCase{"media modes", TapiMediaModesText, 0x8006, ", ",
                   "INTERACTIVEVOICE, UNKNOWN, VIDEO"},
        BitSetCase{"media modes", TapiMediaModesText, 0x4002, " ", "VOICEVIEW UNKNOWN"},
        BitSetCase{"media modes", TapiMediaModesText, 0x10021, "|", "G3FAX"},
        BitSetCase{"media modes", TapiMediaModesText, 0x1, "|", ""},
        BitSetCase{"features", TapiCallFeaturesText, 0x80000001, "|", "ACCEPT|SETCALLDATA"},
        BitSetCase{"features", TapiCallFeaturesText, 0x0, "|", ""},
        BitSetCase{"features", TapiCallFeaturesText, 0x20000020, ",",
                   "COMPLETETRANSF,SETTREATMENT"},
        BitSetCase{"features", TapiCallFeaturesText, 0x10000084, " ",
                   "ANSWER DROP RELEASEUSERUSERINFO"}));

TEST(CallFeaturesTextTest, EveryBitHasItsOwnText) {
  const std::string all = TapiCallFeaturesText(0xFFFFFFFF, "\n");
  EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 31);
  for (uint32_t bit = 1; bit != 0; bit <<= 1) {
    const std::string one = TapiCallFeaturesText(bit, "|");
    EXPECT_FALSE(one.empty()) << std::hex << bit;
    EXPECT_EQ(one.find('|'), std::string::npos) << std::hex << bit;
  }
}

TEST(CallOriginTextTest, JoinsWithOneSpaceAndFallsBackOnlyWithoutListedBits) {
  struct Case {
    uint32_t origin;
    const char* expected;
  };
  for (const Case& c :
       {Case{0x81, "OUTBOUND INBOUND"}, Case{0x8, "LINECALLORIGIN_$8"}, Case{0x9, "OUTBOUND"},
        Case{0x0, ""}, Case{0x100, "LINECALLORIGIN_$100"}, Case{0x108, "LINECALLORIGIN_$108"},
        Case{0x40, "CONFERENCE"},
        Case{0xF7, "OUTBOUND INTERNAL EXTERNAL UNKNOWN UNAVAIL CONFERENCE INBOUND"}}) {
    EXPECT_EQ(TapiCallOriginText(c.origin), c.expected) << std::hex << c.origin;
  }
}

TEST(AppendTextTest, SeparatorOnlyBetweenItems) {
  EXPECT_EQ(TapiAppendText("", "A", ", "), "A");
  EXPECT_EQ(TapiAppendText("A", "B", ", "), "A, B");
  EXPECT_EQ(TapiAppendText("A", "", "+"), "A+");
  EXPECT_EQ(TapiAppendText("A", "B", ""), "AB");
}

}  // namespace
}  // namespace zvtapi
