#include "platform/module.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(Module, RegisteredModuleLoadsByAnyCaseAndAnswersItsTable) {
  RegisterModule("TESTMOD.DLL", [](uint32_t id) -> std::optional<std::u16string> {
    if (id == 7) return u"Seven.";
    return std::nullopt;
  });
  HMODULE a = LoadLibrary("testmod.dll");
  ASSERT_NE(a, 0u);
  HMODULE b = LoadLibrary("TestMod.Dll");
  EXPECT_EQ(a, b) << "a module loaded twice is the same module";
  EXPECT_EQ(FormatModuleMessage(a, 7), std::u16string(u"Seven."));
  EXPECT_EQ(FormatModuleMessage(a, 8), std::nullopt);

  EXPECT_TRUE(FreeLibrary(a));
  EXPECT_EQ(FormatModuleMessage(a, 7), std::u16string(u"Seven.")) << "still loaded once";
  EXPECT_TRUE(FreeLibrary(b));
  EXPECT_EQ(FormatModuleMessage(a, 7), std::nullopt);
  EXPECT_FALSE(FreeLibrary(a));
  HMODULE c = LoadLibrary("TESTMOD.DLL");
  EXPECT_NE(c, a) << "a stale handle must not name the reloaded module";
  FreeLibrary(c);
}

TEST(Module, UnknownModuleAndHandle) {
  EXPECT_EQ(LoadLibrary("NOSUCH.DLL"), 0u);
  EXPECT_FALSE(FreeLibrary(0));
  EXPECT_EQ(FormatModuleMessage(0, 1), std::nullopt);
}

TEST(Module, ErrorModeSwapsAndSystemTexts) {
  uint32_t old = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  EXPECT_EQ(SetErrorMode(old), SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  EXPECT_EQ(SystemErrorText(0), "The operation completed successfully.");
  EXPECT_FALSE(SystemErrorText(12345).empty());
  std::string exe = GetModuleFileName();
  EXPECT_FALSE(exe.empty());
  EXPECT_LE(exe.size(), 260u);
  EXPECT_NE(exe.find("platform_tests"), std::string::npos);
}

TEST(TextConversion, SingleByteCodePagesAreLatin1IncludingNul) {
  const char bytes[] = {'A', '\0', '\xE9', '\xFF'};
  std::u16string wide = AnsiToWide(bytes, 4);
  EXPECT_EQ(wide, (std::u16string{u'A', u'\0', u'\u00E9', u'\u00FF'}));
  EXPECT_EQ(OemToWide(bytes, 4), wide);
  EXPECT_EQ(AnsiToWide(nullptr, 0), u"");
}

TEST(TextConversion, Utf8RoundTripsAllPlanes) {
  using namespace std::string_literals;
  const std::u16string text = u"a\u00E9\u20AC\U0001F4DE\u0000z\uFFFF"s;
  std::string utf8 = WideToUtf8(text);
  EXPECT_EQ(utf8, std::string("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x93\x9E", 10) + std::string(1, '\0') +
                      "z\xEF\xBF\xBF");
  EXPECT_EQ(Utf8ToWide(utf8), text);
}

TEST(TextConversion, BrokenInputBecomesReplacementCharacters) {
  // Lone surrogates in either order.
  EXPECT_EQ(WideToUtf8(std::u16string{u'x', char16_t(0xD800)}), "x\xEF\xBF\xBD");
  EXPECT_EQ(WideToUtf8(std::u16string{char16_t(0xDC00), char16_t(0xD800), u'y'}),
            "\xEF\xBF\xBD\xEF\xBF\xBDy");
  const std::u16string r = u"\uFFFD";
  EXPECT_EQ(Utf8ToWide("\x80"), r);              // stray continuation byte
  EXPECT_EQ(Utf8ToWide("\xC3"), r);              // truncated at the end
  EXPECT_EQ(Utf8ToWide("\xE2\x82z"), r + u"z");  // truncated before an ASCII byte
  EXPECT_EQ(Utf8ToWide("\xC0\xAF"), r + r);      // overlong encoding
  EXPECT_EQ(Utf8ToWide("\xE0\x80\xAF"), r);      // overlong three-byte form
  EXPECT_EQ(Utf8ToWide("\xED\xA0\x80"), r);      // encoded surrogate
  EXPECT_EQ(Utf8ToWide("\xF4\x90\x80\x80"), r);  // beyond U+10FFFF
  EXPECT_EQ(Utf8ToWide("\xFF"), r);
}

}  // namespace
}  // namespace platform
