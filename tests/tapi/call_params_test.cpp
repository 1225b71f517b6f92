// Call parameters: the LINECALLPARAMS the library hands to TAPI (fixed part, the texts of the
// variable part, their sizes, offsets and rounding), the flag bits, Default and Assign.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tapi/call_params.h"
#include "tapi/errors.h"

namespace zvtapi {
namespace {

// The wide text a size/offset pair of the structure points at, without its terminating NUL.
std::u16string TextAt(const LINECALLPARAMS* params, Cardinal size, Cardinal offset) {
  EXPECT_LE(offset + size, params->dwTotalSize);
  EXPECT_EQ(size % 2, 0u);
  if (size < 2) return {};
  std::u16string text(size / 2, u'\0');
  std::memcpy(text.data(), reinterpret_cast<const uint8_t*>(params) + offset, size);
  EXPECT_EQ(text.back(), u'\0') << "every text carries its NUL";
  text.pop_back();
  return text;
}

TEST(CallParamsLayout, AFreshObjectBuildsOnlyTheFixedPartWithItsDefaults) {
  TzvTapiCallParams p;
  const LINECALLPARAMS* params = p.TapiData();
  ASSERT_EQ(params->dwTotalSize, 176u);
  EXPECT_EQ(params->dwBearerMode, LINEBEARERMODE_VOICE);
  EXPECT_EQ(params->dwMediaMode, LINEMEDIAMODE_INTERACTIVEVOICE);
  EXPECT_EQ(params->dwAddressMode, LINEADDRESSMODE_ADDRESSID);
  // Everything after the three defaults is zero, byte for byte.
  LINECALLPARAMS expected;
  std::memset(&expected, 0, sizeof(expected));
  expected.dwTotalSize = 176;
  expected.dwBearerMode = LINEBEARERMODE_VOICE;
  expected.dwMediaMode = LINEMEDIAMODE_INTERACTIVEVOICE;
  expected.dwAddressMode = LINEADDRESSMODE_ADDRESSID;
  EXPECT_EQ(std::memcmp(params, &expected, sizeof(expected)), 0);
}

TEST(CallParamsLayout, TextsFollowTheFixedPartInOrderAndTheTotalIsRoundedToFourBytes) {
  TzvTapiCallParams p;
  p.SetCalledParty("Al");
  p.SetComment("x");
  const LINECALLPARAMS* params = p.TapiData();
  EXPECT_EQ(params->dwTotalSize, 188u) << "176 + 6 + 4 = 186, rounded up";
  EXPECT_EQ(params->dwCalledPartySize, 6u);
  EXPECT_EQ(params->dwCalledPartyOffset, 176u);
  EXPECT_EQ(params->dwCommentSize, 4u);
  EXPECT_EQ(params->dwCommentOffset, 182u);
  EXPECT_EQ(TextAt(params, params->dwCalledPartySize, params->dwCalledPartyOffset), u"Al");
  EXPECT_EQ(TextAt(params, params->dwCommentSize, params->dwCommentOffset), u"x");
  EXPECT_EQ(params->dwCallingPartyIDSize, 0u) << "an empty text takes no room";
  EXPECT_EQ(params->dwCallingPartyIDOffset, 0u);
  EXPECT_EQ(params->dwUserUserInfoOffset, 0u);
}

TEST(CallParamsLayout, AllSevenTextsInTheirOrder) {
  TzvTapiCallParams p;
  p.SetUserUserInfo("uui");
  p.SetTargetAddress("tgt");
  p.SetOrigAddress("201");
  p.SetDisplayableAddress("+49 30");
  p.SetComment("note");
  p.SetCallingPartyID("me");
  p.SetCalledParty("Bob");
  const LINECALLPARAMS* params = p.TapiData();
  struct Pair {
    Cardinal size, offset;
    std::u16string text;
  };
  // The order of the variable part, whatever the order the texts were set in.
  const Pair pairs[] = {
      {params->dwCalledPartySize, params->dwCalledPartyOffset, u"Bob"},
      {params->dwCallingPartyIDSize, params->dwCallingPartyIDOffset, u"me"},
      {params->dwCommentSize, params->dwCommentOffset, u"note"},
      {params->dwDisplayableAddressSize, params->dwDisplayableAddressOffset, u"+49 30"},
      {params->dwOrigAddressSize, params->dwOrigAddressOffset, u"201"},
      {params->dwTargetAddressSize, params->dwTargetAddressOffset, u"tgt"},
      {params->dwUserUserInfoSize, params->dwUserUserInfoOffset, u"uui"},
  };
  Cardinal offset = 176;
  for (const Pair& pair : pairs) {
    EXPECT_EQ(pair.offset, offset);
    EXPECT_EQ(pair.size, (pair.text.size() + 1) * 2);
    EXPECT_EQ(TextAt(params, pair.size, pair.offset), pair.text);
    offset += pair.size;
  }
  EXPECT_EQ(params->dwTotalSize, (offset + 3) / 4 * 4);
}

TEST(CallParamsLayout, NonAsciiTextsCountUtf16Units) {
  TzvTapiCallParams p;
  p.SetCalledParty("Jörg");  // five UTF-8 bytes, four characters
  const LINECALLPARAMS* params = p.TapiData();
  EXPECT_EQ(params->dwCalledPartySize, 10u);
  EXPECT_EQ(TextAt(params, params->dwCalledPartySize, params->dwCalledPartyOffset), u"Jörg");
}

TEST(CallParamsLayout, FixedFieldsAndDialTiming) {
  TzvTapiCallParams p;
  p.SetBearerMode(LINEBEARERMODE_DATA);
  p.SetMinRate(1200);
  p.SetMaxRate(64000);
  p.SetMediaMode(LINEMEDIAMODE_DATAMODEM);
  p.SetFlags(LINECALLPARAMFLAGS_SECURE);
  p.SetAddressMode(LINEADDRESSMODE_DIALABLEADDR);
  p.SetAddressID(3);
  p.SetNoAnswerTimeout(25);
  p.DialParams().SetDialPause(7);
  p.DialParams().SetDialSpeed(100);
  p.DialParams().SetDigitDuration(50);
  p.DialParams().SetWaitForDialtone(9);
  const LINECALLPARAMS* params = p.TapiData();
  EXPECT_EQ(params->dwBearerMode, LINEBEARERMODE_DATA);
  EXPECT_EQ(params->dwMinRate, 1200u);
  EXPECT_EQ(params->dwMaxRate, 64000u);
  EXPECT_EQ(params->dwMediaMode, LINEMEDIAMODE_DATAMODEM);
  EXPECT_EQ(params->dwCallParamFlags, LINECALLPARAMFLAGS_SECURE);
  EXPECT_EQ(params->dwAddressMode, LINEADDRESSMODE_DIALABLEADDR);
  EXPECT_EQ(params->dwAddressID, 3u);
  EXPECT_EQ(params->dwNoAnswerTimeout, 25u);
  EXPECT_EQ(params->DialParams.dwDialPause, 7u);
  EXPECT_EQ(params->DialParams.dwDialSpeed, 100u);
  EXPECT_EQ(params->DialParams.dwDigitDuration, 50u);
  EXPECT_EQ(params->DialParams.dwWaitForDialtone, 9u);
  const LINEDIALPARAMS* dial = p.DialParams().TapiData();
  EXPECT_EQ(dial->dwDialSpeed, 100u);
  EXPECT_EQ(dial->dwDigitDuration, 50u);
  p.DialParams().SetDialSpeed(120);
  EXPECT_EQ(p.DialParams().TapiData(), dial) << "the dial block is kept";
  EXPECT_EQ(dial->dwDialSpeed, 120u) << "and refilled on every read";
}

TEST(CallParamsValues, BlockIDIsOneBitOfTheFlags) {
  TzvTapiCallParams p;
  p.SetFlags(LINECALLPARAMFLAGS_SECURE | LINECALLPARAMFLAGS_IDLE);
  p.SetBlockID(true);
  EXPECT_EQ(p.Flags(),
            LINECALLPARAMFLAGS_SECURE | LINECALLPARAMFLAGS_IDLE | LINECALLPARAMFLAGS_BLOCKID);
  p.SetBlockID(false);
  EXPECT_EQ(p.Flags(), LINECALLPARAMFLAGS_SECURE | LINECALLPARAMFLAGS_IDLE);
  p.SetFlagBit(8, true);
  p.SetFlagBit(-1, true);
  EXPECT_FALSE(p.GetFlagBit(8));
  EXPECT_EQ(p.Flags(), LINECALLPARAMFLAGS_SECURE | LINECALLPARAMFLAGS_IDLE)
      << "only bits 0..7 are reachable by index";
}

TEST(CallParamsValues, DefaultRestoresEverythingButTheUserUserInfo) {
  TzvTapiCallParams p;
  p.SetBearerMode(LINEBEARERMODE_DATA);
  p.SetMediaMode(LINEMEDIAMODE_G3FAX);
  p.SetAddressID(2);
  p.SetAddressMode(LINEADDRESSMODE_DIALABLEADDR);
  p.SetFlags(0xFF);
  p.SetMinRate(1);
  p.SetMaxRate(2);
  p.SetNoAnswerTimeout(3);
  p.DialParams().SetDialSpeed(4);
  p.SetCalledParty("a");
  p.SetCallingPartyID("b");
  p.SetComment("c");
  p.SetDisplayableAddress("d");
  p.SetOrigAddress("e");
  p.SetTargetAddress("f");
  p.SetUserUserInfo("kept");
  p.Default();
  EXPECT_EQ(p.UserUserInfo(), "kept");
  p.SetUserUserInfo("");
  TzvTapiCallParams fresh;
  const LINECALLPARAMS* restored = p.TapiData();
  EXPECT_EQ(std::memcmp(restored, fresh.TapiData(), sizeof(LINECALLPARAMS)), 0);
}

TEST(CallParamsValues, AssignCopiesEverythingFromALinesParameters) {
  TzvTapiLineCallParams line;
  line.SetAddressID(1);
  line.SetAddressMode(LINEADDRESSMODE_DIALABLEADDR);
  line.SetBearerMode(LINEBEARERMODE_DATA);
  line.SetCalledParty("Bob");
  line.SetCallingPartyID("me");
  line.SetComment("hello");
  line.DialParams().SetDigitDuration(80);
  line.SetDisplayableAddress("disp");
  line.SetFlags(LINECALLPARAMFLAGS_BLOCKID);
  line.SetMaxRate(9);
  line.SetMediaMode(LINEMEDIAMODE_DATAMODEM);
  line.SetMinRate(8);
  line.SetNoAnswerTimeout(30);
  line.SetOrigAddress("orig");
  line.SetTargetAddress("target");
  line.SetUserUserInfo("uui");
  TzvTapiCallParams copy;
  copy.Assign(&line);
  const LINECALLPARAMS* a = line.TapiData();
  const LINECALLPARAMS* b = copy.TapiData();
  ASSERT_EQ(a->dwTotalSize, b->dwTotalSize);
  EXPECT_EQ(std::memcmp(a, b, a->dwTotalSize), 0);
  EXPECT_EQ(copy.DialParams().DigitDuration(), 80u);
}

TEST(CallParamsValues, AssignFromAnotherKindIsRefused) {
  TzvTapiCallParams p;
  TzvTapiDialParams dial;
  try {
    p.Assign(&dial);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TzvTapiDialParams to a TzvTapiCallParams");
  }
  EXPECT_THROW(dial.Assign(&p), Exception);
}

}  // namespace
}  // namespace zvtapi
