// TAPI's dialog entry points around whatever dialog a program registered.
#include <stdexcept>

#include "tapi32/dialogs.h"
#include "tests/tapi32/tapi32_fixture.h"

namespace tapi32_test {
namespace {

class DialogsTest : public TapiTest {
 protected:
  void TearDown() override {
    tapi32::RegisterTranslateDialog({});
    tapi32::RegisterLineConfigDialog({});
    tapi32::RegisterPhoneConfigDialog({});
    TapiTest::TearDown();
  }
};

// A dialog that throws must neither unwind through the C entry point nor leave the
// locations dialog counted as showing, which would refuse every later one with INUSE.
TEST_F(DialogsTest, AThrowingDialogFailsTheCallAndTheNextOneOpens) {
  const LineInit init = InitLine();
  ASSERT_EQ(init.result, 0);
  int shown = 0;
  tapi32::RegisterTranslateDialog([&](DWORD, HWND, const std::u16string&) -> LONG {
    if (++shown == 1) throw std::runtime_error("dialog failed");
    return 0;
  });
  EXPECT_EQ(lineTranslateDialogW(init.app, 0, 0x00020002, 0, nullptr),
            Code(LINEERR_OPERATIONFAILED));
  EXPECT_EQ(lineTranslateDialogW(init.app, 0, 0x00020002, 0, nullptr), 0);
  EXPECT_EQ(shown, 2);

  tapi32::RegisterLineConfigDialog([](DWORD, HWND, const std::u16string&) -> LONG {
    throw std::runtime_error("dialog failed");
  });
  EXPECT_EQ(lineConfigDialogW(0, 0, nullptr), Code(LINEERR_OPERATIONFAILED));
  tapi32::RegisterPhoneConfigDialog([](DWORD, HWND, const std::u16string&) -> LONG {
    throw std::runtime_error("dialog failed");
  });
  EXPECT_EQ(phoneConfigDialogW(0, 0, nullptr), Code(PHONEERR_OPERATIONFAILED));
  lineShutdown(init.app);
}

}  // namespace
}  // namespace tapi32_test
