// Initialisation, shutdown, handles and fault injection.
#include <set>

#include "platform/sync.h"
#include "tapi32_fixture.h"

namespace tapi32_test {
namespace {

using LifecycleTest = TapiTest;

TEST_F(LifecycleTest, InitializeReportsDevicesVersionAndEvent) {
  LineInit line = InitLine();
  ASSERT_EQ(line.result, 0);
  EXPECT_NE(line.app, 0u);
  EXPECT_EQ(line.numDevs, 2u);
  EXPECT_EQ(line.version, 0x00020002u);
  ASSERT_NE(line.event, 0u);
  // Nothing is waiting yet, so the event is not signalled.
  EXPECT_EQ(platform::WaitForSingleObject(line.event, 0), platform::WAIT_TIMEOUT);

  PhoneInit phone = InitPhone();
  ASSERT_EQ(phone.result, 0);
  EXPECT_NE(phone.app, 0u);
  EXPECT_EQ(phone.numDevs, 1u);
  EXPECT_NE(phone.event, 0u);
  EXPECT_NE(phone.event, line.event);

  EXPECT_EQ(Switch().LineApps(), std::vector<HLINEAPP>{line.app});
  EXPECT_EQ(Switch().PhoneApps(), std::vector<HPHONEAPP>{phone.app});
}

TEST_F(LifecycleTest, HandlesAreUniqueAndNotReusedAfterShutdown) {
  std::set<uint32_t> seen;
  for (int i = 0; i < 20; ++i) {
    LineInit line = InitLine();
    PhoneInit phone = InitPhone();
    ASSERT_EQ(line.result, 0);
    ASSERT_EQ(phone.result, 0);
    EXPECT_TRUE(seen.insert(line.app).second);
    EXPECT_TRUE(seen.insert(phone.app).second);
    ASSERT_EQ(lineShutdown(line.app), 0);
    ASSERT_EQ(phoneShutdown(phone.app), 0);
  }
  EXPECT_FALSE(seen.contains(0u));
}

TEST_F(LifecycleTest, ShutdownReleasesHandleAndEvent) {
  LineInit line = InitLine();
  ASSERT_EQ(line.result, 0);
  ASSERT_EQ(lineShutdown(line.app), 0);
  EXPECT_EQ(lineShutdown(line.app), Code(LINEERR_INVALAPPHANDLE));
  LINEMESSAGE message{};
  EXPECT_EQ(lineGetMessage(line.app, &message, 0), Code(LINEERR_INVALAPPHANDLE));
  // The event handle was closed with the application.
  EXPECT_EQ(platform::WaitForSingleObject(line.event, 0), platform::WAIT_FAILED);
  EXPECT_TRUE(Switch().LineApps().empty());

  PhoneInit phone = InitPhone();
  ASSERT_EQ(phone.result, 0);
  ASSERT_EQ(phoneShutdown(phone.app), 0);
  EXPECT_EQ(phoneShutdown(phone.app), Code(PHONEERR_INVALAPPHANDLE));
  EXPECT_EQ(platform::WaitForSingleObject(phone.event, 0), platform::WAIT_FAILED);
}

TEST_F(LifecycleTest, InitializeRejectsBadArguments) {
  EXPECT_EQ(InitLine(0x00030002).result, Code(LINEERR_INCOMPATIBLEAPIVERSION));
  EXPECT_EQ(InitLine(0x00010002).result, Code(LINEERR_INCOMPATIBLEAPIVERSION));
  EXPECT_EQ(InitLine(0x00030001).result, 0);
  EXPECT_EQ(InitLine(0x00010003).result, 0);
  EXPECT_EQ(InitPhone(0x00030002).result, Code(PHONEERR_INCOMPATIBLEAPIVERSION));

  HLINEAPP app = 0;
  DWORD numDevs = 0;
  DWORD version = 0x00020002;
  LINEINITIALIZEEXPARAMS params{};
  params.dwTotalSize = sizeof(params) - 4;
  params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
  EXPECT_EQ(lineInitializeExW(&app, 0, nullptr, u"x", &numDevs, &version, &params),
            Code(LINEERR_STRUCTURETOOSMALL));
  EXPECT_EQ(params.dwNeededSize, sizeof(params));
  params.dwTotalSize = sizeof(params);
  EXPECT_EQ(lineInitializeExW(nullptr, 0, nullptr, u"x", &numDevs, &version, &params),
            Code(LINEERR_INVALPOINTER));
  EXPECT_EQ(lineInitializeExW(&app, 0, nullptr, u"x", nullptr, &version, &params),
            Code(LINEERR_INVALPOINTER));
  EXPECT_EQ(lineInitializeExW(&app, 0, nullptr, u"x", &numDevs, nullptr, &params),
            Code(LINEERR_INVALPOINTER));
  EXPECT_EQ(lineInitializeExW(&app, 0, nullptr, u"x", &numDevs, &version, nullptr),
            Code(LINEERR_INVALPOINTER));

  HPHONEAPP phone = 0;
  PHONEINITIALIZEEXPARAMS phoneParams{};
  phoneParams.dwTotalSize = 12;
  phoneParams.dwOptions = PHONEINITIALIZEEXOPTION_USEEVENT;
  EXPECT_EQ(phoneInitializeExW(&phone, 0, nullptr, u"x", &numDevs, &version, &phoneParams),
            Code(PHONEERR_STRUCTURETOOSMALL));
  EXPECT_EQ(phoneInitializeExW(&phone, 0, nullptr, u"x", &numDevs, &version, nullptr),
            Code(PHONEERR_INVALPOINTER));
  // None of the failed attempts left an application behind.
  EXPECT_EQ(Switch().LineApps().size(), 2u);
  EXPECT_TRUE(Switch().PhoneApps().empty());
}

TEST_F(LifecycleTest, FaultFiresOnceThenCallsSucceedAgain) {
  Switch().FailNext("phoneInitializeExW", Code(PHONEERR_NODRIVER));
  PhoneInit failed = InitPhone();
  EXPECT_EQ(failed.result, Code(PHONEERR_NODRIVER));
  EXPECT_EQ(failed.app, 0u);  // the faulted call did nothing else
  EXPECT_TRUE(Switch().PhoneApps().empty());
  EXPECT_EQ(InitPhone().result, 0);
  EXPECT_EQ(Switch().CallCount("phoneInitializeExW"), 2u);
  EXPECT_EQ(Switch().CallCount("lineInitializeExW"), 0u);
}

TEST_F(LifecycleTest, PermanentFaultLastsUntilCleared) {
  LineInit line = InitLine();
  ASSERT_EQ(line.result, 0);
  Switch().FailAlways("lineNegotiateAPIVersion", Code(LINEERR_NOMEM));
  DWORD version = 0;
  LINEEXTENSIONID ext{};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(lineNegotiateAPIVersion(line.app, 0, 0x00010000, 0x00020002, &version, &ext),
              Code(LINEERR_NOMEM));
  }
  Switch().ClearFaults();
  EXPECT_EQ(lineNegotiateAPIVersion(line.app, 0, 0x00010000, 0x00020002, &version, &ext), 0);
  EXPECT_EQ(Switch().CallCount("lineNegotiateAPIVersion"), 4u);
}

TEST_F(LifecycleTest, ResetClearsFaultsAndCounts) {
  Switch().FailAlways("lineShutdown", Code(LINEERR_OPERATIONFAILED));
  LineInit line = InitLine();
  EXPECT_EQ(lineShutdown(line.app), Code(LINEERR_OPERATIONFAILED));
  SetUp();
  EXPECT_EQ(Switch().CallCount("lineShutdown"), 0u);
  // The application survived the reset and can now be shut down.
  EXPECT_EQ(Switch().LineApps(), std::vector<HLINEAPP>{line.app});
  EXPECT_EQ(lineShutdown(line.app), 0);
}

TEST_F(LifecycleTest, UnknownEntryPointNameIsRejected) {
  EXPECT_THROW(Switch().FailNext("lineInitialize", 1), std::invalid_argument);
  EXPECT_THROW(Switch().CallCount("nothing"), std::invalid_argument);
}

}  // namespace
}  // namespace tapi32_test
