// The error texts of TAPI32.DLL and TAPIUI.DLL, read the way the library reads them.
#include <gtest/gtest.h>

#include "platform/module.h"
#include "tapi32/tapi_constants.h"

namespace {

std::optional<std::u16string> Text(const char* module, uint32_t messageId) {
  const platform::HMODULE handle = platform::LoadLibrary(module);
  if (handle == 0) return std::nullopt;
  auto text = platform::FormatModuleMessage(handle, messageId);
  platform::FreeLibrary(handle);
  return text;
}

TEST(MessageTablesTest, LineErrorsLiveAtE000) {
  EXPECT_EQ(Text("TAPI32.DLL", 0xE048),
            std::u16string(u"The operation failed for an unspecified reason."));
  // Every defined LINEERR_ code has a text; the two numbers TAPI never assigned have none.
  for (uint32_t code = LINEERR_ALLOCATED; code <= LINEERR_SERVICE_NOT_RUNNING; ++code) {
    const uint32_t id = 0xE000 + (code - 0x80000000u);
    const bool assigned = code != 0x80000004u && code != 0x80000031u;
    auto text = Text("TAPI32.DLL", id);
    EXPECT_EQ(text.has_value(), assigned) << std::hex << code;
    if (text) {
      EXPECT_EQ(text->back(), u'.') << std::hex << code;
    }
  }
}

TEST(MessageTablesTest, PhoneErrorsLiveAtF000) {
  for (uint32_t code = PHONEERR_ALLOCATED; code <= PHONEERR_SERVICE_NOT_RUNNING; ++code) {
    const bool assigned = code != 0x9000001Eu;
    EXPECT_EQ(Text("TAPI32.DLL", 0xF000 + (code - 0x90000000u)).has_value(), assigned)
        << std::hex << code;
  }
  EXPECT_NE(Text("TAPI32.DLL", 0xF000 + (PHONEERR_NODEVICE - 0x90000000u)),
            Text("TAPI32.DLL", 0xE000 + (LINEERR_NODEVICE - 0x80000000u)));
}

TEST(MessageTablesTest, AssistedTelephonyErrorsLiveAtTheirLow16Bits) {
  EXPECT_EQ(Text("TAPI32.DLL", 0xFFF0), std::u16string(u"The call request failed."));
  for (uint32_t code = TAPIERR_DROPPED; code >= TAPIERR_SCP_DOES_NOT_EXIST; --code) {
    EXPECT_TRUE(Text("TAPI32.DLL", code & 0xFFFF).has_value()) << std::hex << code;
  }
  EXPECT_FALSE(Text("TAPI32.DLL", 0).has_value());  // TAPIERR_CONNECTED is success
}

TEST(MessageTablesTest, ModulesAreFoundWithoutRegardToCase) {
  EXPECT_TRUE(Text("tapi32.dll", 0xE048).has_value());
  EXPECT_TRUE(Text("TapiUI.dll", 0xE05D).has_value());
  // The user-interface module holds only its dialog texts.
  EXPECT_FALSE(Text("TAPIUI.DLL", 0xE048).has_value());
}

}  // namespace
