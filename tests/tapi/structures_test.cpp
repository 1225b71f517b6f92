#include "tapi/structures.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "tapi32/tapi.h"

using namespace std::string_literals;

namespace zvtapi {
namespace {

constexpr Cardinal kLineName = offsetof(LINEDEVCAPS, dwLineNameSize);
constexpr Cardinal kDeviceClasses = offsetof(LINEDEVCAPS, dwDeviceClassesSize);

// A provider whose answer needs `needed` bytes; it behaves as TAPI does: it always reports the
// needed size, fills only what fits, and answers either with the too-small error or, like some
// phone providers, with success and a truncated answer.
struct FakeProvider {
  explicit FakeProvider(Cardinal needed, bool truncateWithSuccess = false,
                        Cardinal tooSmallCode = LINEERR_STRUCTURETOOSMALL)
      : needed(needed), truncateWithSuccess(truncateWithSuccess), tooSmallCode(tooSmallCode) {}

  Cardinal needed;
  bool truncateWithSuccess;
  Cardinal tooSmallCode;
  std::vector<Cardinal> seenSizes;

  int32_t operator()(void* structure) {
    auto* header = static_cast<VARSTRING*>(structure);
    seenSizes.push_back(header->dwTotalSize);
    header->dwNeededSize = needed;
    if (header->dwTotalSize < needed) {
      header->dwUsedSize = sizeof(VARSTRING);
      return truncateWithSuccess ? 0 : static_cast<int32_t>(tooSmallCode);
    }
    header->dwUsedSize = needed;
    std::memset(static_cast<uint8_t*>(structure) + sizeof(VARSTRING), 0xAB,
                needed - sizeof(VARSTRING));
    return 0;
  }
};

// A LINEDEVCAPS buffer of `total` bytes with `bytes` placed at `offset` and described by the
// size/offset pair at sizeField.
TTapiStruct CapsWith(const std::vector<uint8_t>& bytes, Cardinal sizeField = kLineName,
                     Cardinal offset = sizeof(LINEDEVCAPS), Cardinal total = 1024) {
  TTapiStruct buffer = AllocTapiStruct(total);
  std::memcpy(static_cast<uint8_t*>(buffer.Data()) + offset, bytes.data(), bytes.size());
  buffer.SetDWORD(sizeField, static_cast<Cardinal>(bytes.size()));
  buffer.SetDWORD(sizeField + 4, offset);
  return buffer;
}

std::vector<uint8_t> Utf16Bytes(const std::u16string& text) {
  std::vector<uint8_t> bytes(text.size() * 2);
  std::memcpy(bytes.data(), text.data(), bytes.size());
  return bytes;
}

// --- Arithmetic helpers -------------------------------------------------------------------

TEST(RoundUpTest, RoundsToTheNextMultiple) {
  struct Case {
    Cardinal value, multiple, expected;
  };
  for (const Case& c :
       {Case{0, 4, 0}, Case{1400, 4, 1400}, Case{1401, 4, 1404}, Case{1403, 4, 1404}, Case{7, 1, 7},
        Case{10, 3, 12}, Case{0xFFFFFFFC, 4, 0xFFFFFFFC}, Case{5, 0, 5}}) {
    EXPECT_EQ(RoundUp(c.value, c.multiple), c.expected) << c.value << " / " << c.multiple;
  }
  EXPECT_EQ(MaxCardinal(0x80000000, 1), 0x80000000u);  // unsigned, not signed comparison
  EXPECT_EQ(MaxCardinal(3, 9), 9u);
}

// --- The holder -----------------------------------------------------------------------------

TEST(TapiStructTest, AllocGivesZeroedBlockWithTotalSize) {
  TTapiStruct buffer = AllocTapiStruct(268);
  ASSERT_TRUE(buffer.Assigned());
  EXPECT_EQ(buffer.Capacity(), 268u);
  EXPECT_EQ(buffer.TotalSize(), 268u);
  EXPECT_EQ(buffer.As<LINEDEVCAPS>()->dwTotalSize, 268u);
  for (Cardinal i = 4; i < 268; ++i)
    ASSERT_EQ(buffer.Bytes()[i], 0) << i;
}

TEST(TapiStructTest, AsRefusesATypeLargerThanTheBlock) {
  TTapiStruct buffer = AllocTapiStruct(sizeof(VARSTRING));
  EXPECT_NO_THROW(buffer.As<VARSTRING>());
  EXPECT_THROW(buffer.As<LINEDEVCAPS>(), EAssertionFailed);
}

TEST(TapiStructTest, GetDWORDReadsOnlyInsideTheBlock) {
  TTapiStruct buffer = AllocTapiStruct(40);
  ASSERT_TRUE(buffer.SetDWORD(36, 0x11223344));
  EXPECT_EQ(buffer.GetDWORD(36), 0x11223344u);
  EXPECT_EQ(buffer.GetDWORD(0), 40u);
  EXPECT_EQ(buffer.GetDWORD(37), 0u);  // would reach one byte past the end
  EXPECT_EQ(buffer.GetDWORD(40), 0u);
  EXPECT_EQ(buffer.GetDWORD(0xFFFFFFFE), 0u);  // offset + 4 wraps around 32 bits
  EXPECT_FALSE(buffer.SetDWORD(37, 1));

  // A provider that shrinks dwTotalSize hides the rest; one that inflates it gains nothing.
  buffer.SetTotalSize(36);
  EXPECT_EQ(buffer.GetDWORD(36), 0u);
  buffer.SetTotalSize(0x7FFFFFFF);
  EXPECT_EQ(buffer.Limit(), 40u);
  EXPECT_EQ(buffer.GetDWORD(40), 0u);
  EXPECT_EQ(TTapiStruct().GetDWORD(0), 0u);
}

// --- PrepareTapiStruct ----------------------------------------------------------------------

TEST(PrepareTapiStructTest, GrowsSmallBuffersTo1024AndClearsThem) {
  TTapiStruct buffer = AllocTapiStruct(268);
  buffer.SetDWORD(100, 0xDEAD);
  buffer.SetNeededSize(200);
  buffer.SetUsedSize(200);
  PrepareTapiStruct(buffer);
  EXPECT_EQ(buffer.Capacity(), 1024u);
  EXPECT_EQ(buffer.TotalSize(), 1024u);
  EXPECT_EQ(buffer.NeededSize(), 0u);
  EXPECT_EQ(buffer.UsedSize(), 0u);
  EXPECT_EQ(buffer.GetDWORD(100), 0u);
}

TEST(PrepareTapiStructTest, GrowsToTheNeededSizeRoundedUpTo4) {
  TTapiStruct buffer = AllocTapiStruct(1024);
  buffer.SetDWORD(500, 0xDEAD);
  buffer.SetNeededSize(1401);
  PrepareTapiStruct(buffer);
  EXPECT_EQ(buffer.Capacity(), 1404u);
  EXPECT_EQ(buffer.TotalSize(), 1404u);
  EXPECT_EQ(buffer.GetDWORD(500), 0u);
  EXPECT_EQ(buffer.GetDWORD(1400), 0u);
}

TEST(PrepareTapiStructTest, KeepsLargeBuffersAndTheirContents) {
  TTapiStruct buffer = AllocTapiStruct(4096);
  buffer.SetDWORD(2000, 0xBEEF);
  buffer.SetNeededSize(3000);
  buffer.SetUsedSize(3000);
  PrepareTapiStruct(buffer);
  EXPECT_EQ(buffer.Capacity(), 4096u);
  EXPECT_EQ(buffer.TotalSize(), 4096u);
  EXPECT_EQ(buffer.GetDWORD(2000), 0xBEEFu);
  EXPECT_EQ(buffer.NeededSize(), 0u);
  EXPECT_EQ(buffer.UsedSize(), 0u);
}

TEST(PrepareTapiStructTest, NeverAnnouncesMoreThanIsAllocated) {
  TTapiStruct buffer = AllocTapiStruct(2048);
  buffer.SetTotalSize(9000);  // a provider scribbled over the header
  PrepareTapiStruct(buffer);
  EXPECT_EQ(buffer.TotalSize(), buffer.Capacity());
  EXPECT_EQ(buffer.Capacity(), 2048u);
}

TEST(PrepareTapiStructTest, MissingOrUngrowableBufferFailsTheAssertion) {
  TTapiStruct none;
  EXPECT_THROW(PrepareTapiStruct(none), EAssertionFailed);
  TTapiStruct huge = AllocTapiStruct(1024);
  huge.SetNeededSize(0xFFFFFFFE);
  EXPECT_THROW(PrepareTapiStruct(huge), EAssertionFailed);
}

// --- CheckTapiStruct ------------------------------------------------------------------------

TEST(CheckTapiStructTest, TooSmallAsksForAtLeast1024Bytes) {
  TTapiStruct buffer = AllocTapiStruct(268);
  buffer.SetNeededSize(300);
  EXPECT_EQ(CheckTapiStruct(LINEERR_STRUCTURETOOSMALL, buffer), LINEERR_STRUCTURETOOSMALL);
  EXPECT_EQ(buffer.NeededSize(), 1024u);
}

TEST(CheckTapiStructTest, SuccessWithTruncatedAnswerCountsAsTooSmall) {
  TTapiStruct buffer = AllocTapiStruct(1024);
  buffer.SetNeededSize(2000);
  buffer.SetUsedSize(100);
  EXPECT_EQ(CheckTapiStruct(0, buffer), LINEERR_STRUCTURETOOSMALL);
  EXPECT_EQ(buffer.NeededSize(), 2000u);
  EXPECT_EQ(buffer.Capacity(), 1024u);
}

TEST(CheckTapiStructTest, TrimsOnlyAnswersLargerThan1024Bytes) {
  struct Case {
    Cardinal used, needed, expectedSize;
  };
  for (const Case& c : {Case{1100, 1100, 1100}, Case{900, 900, 4096}, Case{1024, 1024, 4096},
                        Case{1025, 1030, 1030}, Case{4096, 4096, 4096}}) {
    TTapiStruct buffer = AllocTapiStruct(4096);
    buffer.SetNeededSize(c.needed);
    buffer.SetUsedSize(c.used);
    EXPECT_EQ(CheckTapiStruct(0, buffer), 0u);
    EXPECT_EQ(buffer.Capacity(), c.expectedSize) << "used " << c.used;
    EXPECT_EQ(buffer.TotalSize(), c.expectedSize) << "used " << c.used;
  }
}

// The provider writes the whole header; a dwTotalSize it overwrote makes a large dwUsedSize or
// dwNeededSize look like a trim.
TEST(CheckTapiStructTest, TrimmingNeverGrowsTheBlockWhateverTheProviderClaims) {
  struct Claim {
    Cardinal total, used, needed;
  };
  for (const Claim& c : {Claim{100000, 50000, 0}, Claim{100000, 2000, 60000},
                         Claim{100000, 4096, 4096}, Claim{5000, 4097, 0}}) {
    TTapiStruct buffer = AllocTapiStruct(4096);
    buffer.SetTotalSize(c.total);
    buffer.SetUsedSize(c.used);
    buffer.SetNeededSize(c.needed);
    EXPECT_EQ(CheckTapiStruct(0, buffer), 0u);
    EXPECT_EQ(buffer.Capacity(), 4096u) << "used " << c.used << ", needed " << c.needed;
    EXPECT_EQ(buffer.TotalSize(), 4096u) << "used " << c.used << ", needed " << c.needed;
  }
}

TEST(CheckTapiStructTest, OtherResultsLeaveTheBufferAlone) {
  for (Cardinal result : {LINEERR_INVALPARAM, PHONEERR_STRUCTURETOOSMALL, Cardinal{17}}) {
    TTapiStruct buffer = AllocTapiStruct(4096);
    buffer.SetNeededSize(9000);
    buffer.SetUsedSize(2000);
    EXPECT_EQ(CheckTapiStruct(result, buffer), result);
    EXPECT_EQ(buffer.NeededSize(), 9000u);
    EXPECT_EQ(buffer.Capacity(), 4096u);
  }
}

// --- FetchTapiStruct ------------------------------------------------------------------------

TEST(FetchTapiStructTest, GrowsFromInitialSizeUntilTheAnswerFits) {
  FakeProvider provider(1400);
  TTapiStruct buffer = AllocTapiStruct(268);
  EXPECT_EQ(FetchTapiStruct(buffer, std::ref(provider)), 0u);
  EXPECT_EQ(provider.seenSizes, (std::vector<Cardinal>{1024, 1400}));
  EXPECT_EQ(buffer.TotalSize(), 1400u);
  EXPECT_EQ(buffer.Capacity(), 1400u);
  EXPECT_EQ(buffer.Bytes()[1399], 0xAB);
}

TEST(FetchTapiStructTest, SmallAnswerNeedsOneCall) {
  FakeProvider provider(300);
  TTapiStruct buffer = AllocTapiStruct(268);
  EXPECT_EQ(FetchTapiStruct(buffer, std::ref(provider)), 0u);
  EXPECT_EQ(provider.seenSizes, (std::vector<Cardinal>{1024}));
  EXPECT_EQ(buffer.TotalSize(), 1024u);  // 300 used: not worth trimming
}

TEST(FetchTapiStructTest, SuccessWithTruncatedAnswerLoopsAgain) {
  FakeProvider provider(2001, true);
  TTapiStruct buffer = AllocTapiStruct(196);
  EXPECT_EQ(FetchTapiStruct(buffer, std::ref(provider)), 0u);
  EXPECT_EQ(provider.seenSizes, (std::vector<Cardinal>{1024, 2004}));
  EXPECT_EQ(buffer.UsedSize(), 2001u);
  EXPECT_EQ(buffer.TotalSize(), 2001u);  // trimmed to what was used
}

TEST(FetchTapiStructTest, OtherErrorEndsTheLoop) {
  int calls = 0;
  TTapiStruct buffer = AllocTapiStruct(56);
  auto failing = [&](void*) {
    ++calls;
    return static_cast<int32_t>(LINEERR_INVALCALLHANDLE);
  };
  EXPECT_EQ(FetchTapiStruct(buffer, failing), LINEERR_INVALCALLHANDLE);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(buffer.TotalSize(), 1024u);
}

TEST(FetchTapiStructTest, TooSmallWithoutAskingForMoreDoesNotSpin) {
  int calls = 0;
  TTapiStruct buffer = AllocTapiStruct(1024);
  auto stubborn = [&](void*) {
    ++calls;
    return static_cast<int32_t>(LINEERR_STRUCTURETOOSMALL);
  };
  EXPECT_EQ(FetchTapiStruct(buffer, stubborn), LINEERR_STRUCTURETOOSMALL);
  EXPECT_EQ(calls, 1);
}

TEST(FetchTapiStructTest, ProviderThatShrinksTheTotalSizeDoesNotHangTheLoop) {
  // A broken provider answers success but writes a dwTotalSize below what it needs; the block
  // is already large enough, so asking again can never help.
  int calls = 0;
  auto lying = [&](void* structure) {
    auto* header = static_cast<VARSTRING*>(structure);
    ++calls;
    header->dwTotalSize = 200;
    header->dwNeededSize = 400;
    header->dwUsedSize = 400;
    return 0;
  };
  TTapiStruct buffer = AllocTapiStruct(268);
  EXPECT_EQ(FetchTapiStruct(buffer, lying), LINEERR_STRUCTURETOOSMALL);
  EXPECT_EQ(calls, 1);
}

TEST(FetchTapiStructTest, AnswerThatGrowsBetweenCallsIsFollowed) {
  Cardinal needed = 1500;
  std::vector<Cardinal> seen;
  auto growing = [&](void* structure) {
    auto* header = static_cast<VARSTRING*>(structure);
    seen.push_back(header->dwTotalSize);
    header->dwNeededSize = needed;
    if (header->dwTotalSize < needed) {
      if (seen.size() == 1) needed = 2000;  // a call arrived after the first answer
      return static_cast<int32_t>(LINEERR_STRUCTURETOOSMALL);
    }
    header->dwUsedSize = needed;
    return 0;
  };
  TTapiStruct buffer = AllocTapiStruct(512);
  EXPECT_EQ(FetchTapiStruct(buffer, growing), 0u);
  EXPECT_EQ(seen, (std::vector<Cardinal>{1024, 1500, 2000}));
  EXPECT_EQ(buffer.TotalSize(), 2000u);
}

TEST(FetchTapiStructTest, PhoneTooSmallIsRetriedOnlyWhenAsked) {
  struct Case {
    TFetchMode mode;
    Cardinal result;
    size_t calls;
  };
  for (const Case& c :
       {Case{TFetchMode::Checked, PHONEERR_STRUCTURETOOSMALL, 1},
        Case{TFetchMode::CheckedPhoneRetry, 0, 2}, Case{TFetchMode::Unchecked, 0, 2}}) {
    FakeProvider provider(3000, false, PHONEERR_STRUCTURETOOSMALL);
    TTapiStruct buffer = AllocTapiStruct(1024);
    EXPECT_EQ(FetchTapiStruct(buffer, std::ref(provider), c.mode), c.result);
    EXPECT_EQ(provider.seenSizes.size(), c.calls);
  }
}

TEST(FetchTapiStructTest, UncheckedLoopIgnoresTheLineCodeAndKeepsTheBlock) {
  FakeProvider provider(1100);
  TTapiStruct buffer = AllocTapiStruct(4096);
  EXPECT_EQ(FetchTapiStruct(buffer, std::ref(provider), TFetchMode::Unchecked), 0u);
  EXPECT_EQ(buffer.Capacity(), 4096u);  // no trimming without the check

  FakeProvider lineCode(5000);
  EXPECT_EQ(FetchTapiStruct(buffer, std::ref(lineCode), TFetchMode::Unchecked),
            LINEERR_STRUCTURETOOSMALL);
  EXPECT_EQ(lineCode.seenSizes.size(), 1u);
}

// --- Strings --------------------------------------------------------------------------------

TEST(GetTapiStringTest, ReadsUtf16UpToTheNulOrTheEndOfItsSize) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"terminated", Utf16Bytes(u"Line 1\0"s), "Line 1"},
      {"stops at first NUL", Utf16Bytes(u"Line\0junk\0"s), "Line"},
      {"no NUL", Utf16Bytes(u"ABCD"s), "ABCD"},
      {"odd size drops the half character", {'A', 0, 'B', 0, 'C'}, "AB"},
      {"single byte", {'A'}, ""},
      {"non-Latin", Utf16Bytes(u"Gr\u00FC\u00DF \u20AC\0"s), "Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC"},
      {"surrogate pair", Utf16Bytes(u"\U0001F4DE\0"s), "\xF0\x9F\x93\x9E"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GetTapiString(CapsWith(c.bytes), kLineName), c.expected) << c.name;
    EXPECT_EQ(GetTapiString(CapsWith(c.bytes), kLineName, STRINGFORMAT_UNICODE), c.expected)
        << c.name;
  }
}

TEST(GetTapiStringTest, ReadsStringsAtUnalignedOffsets) {
  TTapiStruct buffer = CapsWith(Utf16Bytes(u"Odd\0"s), kLineName, 301);
  EXPECT_EQ(GetTapiString(buffer, kLineName), "Odd");
}

TEST(GetTapiStringTest, SingleByteFormats) {
  struct Case {
    Cardinal format;
    std::vector<uint8_t> bytes;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {STRINGFORMAT_ASCII, {'A', 'B', 'C', 0, 0}, "ABC"},
      {STRINGFORMAT_DBCS, {'A', 'B', 'C', 0, 0}, "ABC"},
      {STRINGFORMAT_ASCII, {'A', 0, 'B', 0}, std::string("A\0B", 3)},  // only trailing NULs go
      {STRINGFORMAT_ASCII, {0, 0}, ""},
      {STRINGFORMAT_ASCII, {'M', 0xFC, 'l', 'l'}, "M\xC3\xBCll"},  // one byte, one character
      {STRINGFORMAT_BINARY, {'A', 'B', 0}, std::string("AB\0", 3)},
      {STRINGFORMAT_BINARY, {0xFF}, "\xC3\xBF"},
      {99, {'x', 0}, std::string("x\0", 2)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GetTapiString(CapsWith(c.bytes), kLineName, c.format), c.expected)
        << "format " << c.format << " size " << c.bytes.size();
    EXPECT_EQ(ConvertTapiString(c.bytes.data(), static_cast<Cardinal>(c.bytes.size()), c.format),
              c.expected);
  }
  EXPECT_EQ(ConvertTapiString(nullptr, 0, STRINGFORMAT_BINARY), "");
}

// Every size/offset pair that does not describe bytes inside the structure, after its header,
// reads as empty text and as an empty list, whatever the format.
struct BadPair {
  const char* name;
  Cardinal size;
  Cardinal offset;
  Cardinal totalSize;  // dwTotalSize as the provider left it
};
void PrintTo(const BadPair& p, std::ostream* os) {
  *os << p.name;
}

class InvalidPairTest : public ::testing::TestWithParam<BadPair> {};

TEST_P(InvalidPairTest, ReadsAsEmpty) {
  const BadPair& p = GetParam();
  // The block is 1024 bytes of 'A' characters, so any read that slipped through would show.
  TTapiStruct buffer = AllocTapiStruct(1024);
  std::memset(static_cast<uint8_t*>(buffer.Data()) + sizeof(LINEDEVCAPS), 'A',
              1024 - sizeof(LINEDEVCAPS));
  buffer.SetNeededSize(0x00420041);  // "AB" in case the header itself were read
  buffer.SetUsedSize(0x00440043);
  buffer.SetDWORD(kDeviceClasses, p.size);
  buffer.SetDWORD(kDeviceClasses + 4, p.offset);
  buffer.SetTotalSize(p.totalSize);
  for (Cardinal format = 0; format <= 5; ++format) {
    EXPECT_EQ(GetTapiString(buffer, kDeviceClasses, format), "") << "format " << format;
  }
  EXPECT_EQ(GetTapiStringList(buffer, kDeviceClasses)->Count(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Structures, InvalidPairTest,
    ::testing::Values(BadPair{"SizeZero", 0, 300, 1024}, BadPair{"OffsetInHeader", 8, 4, 1024},
                      BadPair{"OffsetZero", 16, 0, 1024},
                      BadPair{"OneBytePastTotalSize", 100, 925, 1024},
                      BadPair{"PastShrunkTotalSize", 100, 300, 390},
                      BadPair{"PastAllocationWithInflatedTotal", 100, 1000, 0xFFFFFFFF},
                      BadPair{"OffsetPlusSizeWraps", 0x20, 0xFFFFFFF0, 0xFFFFFFFF},
                      BadPair{"HugeSize", 0xFFFFFFFF, 300, 0xFFFFFFFF}),
    [](const ::testing::TestParamInfo<BadPair>& info) { return std::string(info.param.name); });

TEST(GetTapiStringTest, PairAtTheVeryEndIsValid) {
  TTapiStruct buffer = CapsWith(Utf16Bytes(u"End"s), kLineName, 1018);
  EXPECT_EQ(GetTapiString(buffer, kLineName), "End");
  buffer.SetTotalSize(1023);
  EXPECT_EQ(GetTapiString(buffer, kLineName), "");
}

TEST(GetTapiStringTest, SizeFieldOutsideTheBlockReadsAsEmpty) {
  TTapiStruct buffer = CapsWith(Utf16Bytes(u"X\0"s));
  EXPECT_EQ(GetTapiString(buffer, 1020), "");  // its offset field would lie past the end
  EXPECT_EQ(GetTapiString(buffer, 0xFFFFFFFC), "");
  EXPECT_EQ(GetTapiStringList(buffer, 0xFFFFFFFE)->Count(), 0);
  EXPECT_EQ(GetTapiString(TTapiStruct(), kLineName), "");
}

// --- String lists ---------------------------------------------------------------------------

TEST(GetTapiStringListTest, WalksNulSeparatedNames) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"two names and the final NUL",
       Utf16Bytes(u"tapi/line\0wave/in\0\0"s),
       {"tapi/line", "wave/in"}},
      {"no final empty entry", Utf16Bytes(u"tapi/line\0comm"s), {"tapi/line", "comm"}},
      {"stops at the empty entry", Utf16Bytes(u"a\0\0b\0\0"s), {"a"}},
      {"starts empty", Utf16Bytes(u"\0a\0"s), {}},
      {"odd size", {'a', 0, 0, 0, 'b', 0, 'c'}, {"a", "b"}},
      {"non-ASCII", Utf16Bytes(u"\u00E9t\u00E9\0"s), {"\xC3\xA9t\xC3\xA9"}},
  };
  for (const Case& c : cases) {
    auto list = GetTapiStringList(CapsWith(c.bytes, kDeviceClasses, 400), kDeviceClasses);
    ASSERT_NE(list, nullptr);
    std::vector<std::string> got;
    for (int i = 0; i < list->Count(); ++i)
      got.push_back(list->Strings(i));
    EXPECT_EQ(got, c.expected) << c.name;
  }
}

TEST(GetTapiStringListTest, SizeLimitsTheWalkEvenWhenMoreTextFollows) {
  TTapiStruct buffer = CapsWith(Utf16Bytes(u"one\0two\0"s), kDeviceClasses, 400);
  buffer.SetDWORD(kDeviceClasses, 6);  // "one" without its NUL
  auto list = GetTapiStringList(buffer, kDeviceClasses);
  ASSERT_EQ(list->Count(), 1);
  EXPECT_EQ(list->Strings(0), "one");
}

// --- ReadCallList ----------------------------------------------------------------------------

// A LINECALLLIST block of `total` bytes whose header claims `count` entries at `offset`, with
// `handles` written from there.
TTapiStruct CallList(Cardinal total, Cardinal count, Cardinal offset,
                     const std::vector<Cardinal>& handles) {
  TTapiStruct list = AllocTapiStruct(total);
  list.SetDWORD(offsetof(LINECALLLIST, dwCallsNumEntries), count);
  list.SetDWORD(offsetof(LINECALLLIST, dwCallsSize), count * 4);
  list.SetDWORD(offsetof(LINECALLLIST, dwCallsOffset), offset);
  for (size_t i = 0; i < handles.size(); ++i)
    list.SetDWORD(offset + static_cast<Cardinal>(4 * i), handles[i]);
  return list;
}

TEST(ReadCallListTest, ReadsTheHandlesInOrderWithoutZeroes) {
  EXPECT_EQ(ReadCallList(CallList(64, 3, sizeof(LINECALLLIST), {0x11, 0, 0x33})),
            (std::vector<Cardinal>{0x11, 0x33}));
  EXPECT_TRUE(ReadCallList(CallList(64, 0, sizeof(LINECALLLIST), {0x11})).empty());
}

TEST(ReadCallListTest, ALyingProviderGetsNoMoreThanTheBlockHolds) {
  // Four billion entries claimed, two in the block: the reader stops at its end instead of
  // walking
  // the whole count on the user-interface thread.
  const Cardinal offset = sizeof(LINECALLLIST);
  EXPECT_EQ(ReadCallList(CallList(offset + 8, 0xFFFFFFFF, offset, {0x11, 0x22})),
            (std::vector<Cardinal>{0x11, 0x22}));
  // Entries that start inside the header or past the block are not read at all.
  EXPECT_TRUE(ReadCallList(CallList(64, 2, 4, {})).empty());
  EXPECT_TRUE(ReadCallList(CallList(64, 2, 62, {})).empty());
  EXPECT_TRUE(ReadCallList(CallList(64, 2, 0xFFFFFFFC, {})).empty());
}

}  // namespace
}  // namespace zvtapi
