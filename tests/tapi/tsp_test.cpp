// Version negotiation with service providers of different version ranges: the API version,
// the optional extension version, re-negotiation when a bound changes, and the extension ID.
#include <gtest/gtest.h>

#include "device_test_support.h"
#include "tapi/tsp.h"

namespace zvtapi::testing {
namespace {

class Versions : public TapiTest {
 protected:
  // Line 0: TAPI 1.4 only. Line 1: 1.4 to 2.2 with extensions 1.0 to 2.0. Line 2: the default.
  void SetUp() override {
    TapiTest::SetUp();
    auto config = SmallOffice();
    config.lines[0].apiLow = config.lines[0].apiHigh = 0x00010004;
    config.lines[1].apiHigh = 0x00020002;
    config.lines[1].extLow = 0x00010000;
    config.lines[1].extHigh = 0x00020000;
    config.lines[1].extensionId = {0x11, 0x22, 0x33, 0x44};
    config.phones[0].extLow = 0x00010000;
    config.phones[0].extHigh = 0x00010005;
    config.phones[0].extensionId = {5, 6, 7, 8};
    Switch().Reset(config);
  }
  static uint32_t Calls(const char* entry) { return Switch().CallCount(entry); }
};

TEST_F(Versions, TheHighestCommonApiVersionIsAgreed) {
  TestLine old, recent;
  old.SetDeviceID(0);
  recent.SetDeviceID(1);
  EXPECT_TRUE(old.Available());
  EXPECT_EQ(old.TSP()->APIVersion(), 0x00010004u);
  EXPECT_EQ(recent.TSP()->APIVersion(), 0x00020002u);
  EXPECT_EQ(recent.TSP()->APILowVersion(), 0x00010000u);
  EXPECT_EQ(recent.TSP()->APIHighVersion(), 0x00020002u);
}

TEST_F(Versions, WithoutExtensionBoundsNoExtensionIsNegotiated) {
  TestLine line;
  line.SetDeviceID(1);
  EXPECT_EQ(Calls("lineNegotiateExtVersion"), 0u);
  EXPECT_EQ(line.TSP()->ExtVersion(), 0u);
  EXPECT_TRUE(line.TSP()->CompareExtensionIDs(0x11, 0x22, 0x33, 0x44))
      << "the extension ID comes with the API negotiation";
}

TEST_F(Versions, ChangingABoundNegotiatesAgainAtOnce) {
  TestLine line;
  line.SetDeviceID(1);
  const uint32_t apiCalls = Calls("lineNegotiateAPIVersion");
  line.TSP()->SetExtHighVersion(0x00015000);
  EXPECT_EQ(Calls("lineNegotiateAPIVersion"), apiCalls + 1);
  EXPECT_EQ(Calls("lineNegotiateExtVersion"), 1u);
  EXPECT_EQ(line.TSP()->ExtVersion(), 0x00015000u);
  line.TSP()->SetExtLowVersion(0x00030000);  // nothing the provider offers
  EXPECT_EQ(line.TSP()->ExtVersion(), 0u);
  EXPECT_EQ(line.TSP()->APIVersion(), 0x00020002u);
  EXPECT_TRUE(line.Available());
}

TEST_F(Versions, AProviderWithoutExtensionsLeavesTheDeviceUsable) {
  TestLine line;
  line.TSP()->SetExtHighVersion(0x00010000);  // unbound: nothing to negotiate with
  EXPECT_EQ(Calls("lineNegotiateAPIVersion"), 0u);
  line.SetDeviceID(2);
  EXPECT_EQ(Calls("lineNegotiateExtVersion"), 1u);
  EXPECT_TRUE(line.Available());
  EXPECT_EQ(line.TSP()->APIVersion(), 0x00020002u);
  EXPECT_EQ(line.TSP()->ExtVersion(), 0u);
}

TEST_F(Versions, NarrowingTheApiRangeBelowTheProviderClearsTheVersion) {
  TestLine line;
  line.SetDeviceID(0);
  line.TSP()->SetAPILowVersion(0x00020000);
  EXPECT_EQ(line.TSP()->APIVersion(), 0u);
  EXPECT_EQ(line.Init(0), LINEERR_INCOMPATIBLEAPIVERSION);
  EXPECT_FALSE(line.Available());
  line.TSP()->SetAPILowVersion(0x00010000);
  EXPECT_EQ(line.Init(0), 0u);
  EXPECT_EQ(line.TSP()->APIVersion(), 0x00010004u);
}

TEST_F(Versions, UnbindingForgetsVersionsAndExtensionID) {
  TestLine line;
  line.TSP()->SetExtHighVersion(0x00020000);
  line.SetDeviceID(1);
  ASSERT_EQ(line.TSP()->ExtVersion(), 0x00020000u);
  line.SetDeviceID(-1);
  EXPECT_EQ(line.TSP()->DeviceID(), -1);
  EXPECT_EQ(line.TSP()->APIVersion(), 0u);
  EXPECT_EQ(line.TSP()->ExtVersion(), 0u);
  EXPECT_TRUE(line.TSP()->CompareExtensionIDs(0, 0, 0, 0));
  EXPECT_EQ(line.TSP()->ExtHighVersion(), 0x00020000u) << "the bounds the user set stay";
}

TEST_F(Versions, ExtensionIDPartsAndComparisons) {
  TestLine line;
  line.SetDeviceID(1);
  const TzvTapiTSP& tsp = *line.TSP();
  EXPECT_EQ(tsp.ExtensionID2(), 0x33u);
  EXPECT_EQ(tsp.GetExtensionIDPart(0), 0x11u);
  EXPECT_EQ(tsp.ExtensionID3(), 0x44u);
  try {
    tsp.GetExtensionIDPart(4);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Invalid index");
  }
  EXPECT_THROW(tsp.GetExtensionIDPart(-1), Exception);
  EXPECT_FALSE(tsp.CompareExtensionIDs(0x11, 0x22, 0x44, 0x33));
  EXPECT_TRUE(tsp.CompareExtensionID(LINEEXTENSIONID{0x11, 0x22, 0x33, 0x44}));
  EXPECT_TRUE(tsp.CompareExtensionID(PHONEEXTENSIONID{0x11, 0x22, 0x33, 0x44}));
  EXPECT_FALSE(tsp.CompareExtensionID(LINEEXTENSIONID{0x11, 0x22, 0x33, 0x45}));
}

TEST_F(Versions, AssignCopiesEverythingButTheDeviceWithoutNegotiating) {
  TestLine source, target;
  source.TSP()->SetExtHighVersion(0x00020000);
  source.SetDeviceID(1);
  const uint32_t apiCalls = Calls("lineNegotiateAPIVersion");
  target.TSP()->Assign(*source.TSP());
  EXPECT_EQ(Calls("lineNegotiateAPIVersion"), apiCalls);
  EXPECT_EQ(target.TSP()->DeviceID(), 1);
  EXPECT_EQ(target.TSP()->APIVersion(), 0x00020002u);
  EXPECT_EQ(target.TSP()->ExtVersion(), 0x00020000u);
  EXPECT_EQ(target.TSP()->ExtHighVersion(), 0x00020000u);
  EXPECT_TRUE(target.TSP()->CompareExtensionIDs(0x11, 0x22, 0x33, 0x44));
  // Still the target's own object: re-negotiating it leaves the source alone.
  target.TSP()->SetAPIHighVersion(0x00010004);
  EXPECT_EQ(target.TSP()->APIVersion(), 0x00010004u);
  EXPECT_EQ(source.TSP()->APIVersion(), 0x00020002u);
}

// Writing TSP gives a device another device's version settings: the device keeps its own
// object, bound to its own device, and negotiates the new bounds for it at once.
TEST_F(Versions, WritingTheTSPTakesOverTheBoundsForTheDevicesOwnNegotiation) {
  TestLine target, unboundTemplate, elsewhere;
  target.SetDeviceID(1);
  const TzvTapiTSP* own = target.TSP();
  unboundTemplate.TSP()->SetExtLowVersion(0x00010000);
  unboundTemplate.TSP()->SetExtHighVersion(0x00015000);
  target.SetTSP(*unboundTemplate.TSP());
  EXPECT_EQ(target.TSP(), own);
  EXPECT_EQ(target.TSP()->DeviceID(), 1) << "the template is bound to no device";
  EXPECT_EQ(target.TSP()->APIVersion(), 0x00020002u);
  EXPECT_EQ(target.TSP()->ExtVersion(), 0x00015000u);
  EXPECT_TRUE(target.TSP()->CompareExtensionIDs(0x11, 0x22, 0x33, 0x44));
  EXPECT_EQ(unboundTemplate.TSP()->DeviceID(), -1);
  EXPECT_EQ(unboundTemplate.TSP()->APIVersion(), 0u);

  // From a device bound elsewhere only the bounds come along: device 0 speaks TAPI 1.4 only
  // and offers no extensions.
  elsewhere.SetDeviceID(0);
  elsewhere.SetTSP(*target.TSP());
  EXPECT_EQ(elsewhere.TSP()->DeviceID(), 0);
  EXPECT_EQ(elsewhere.TSP()->APIVersion(), 0x00010004u);
  EXPECT_EQ(elsewhere.TSP()->ExtHighVersion(), 0x00015000u);
  EXPECT_EQ(elsewhere.TSP()->ExtVersion(), 0u);
  EXPECT_TRUE(elsewhere.TSP()->CompareExtensionIDs(0, 0, 0, 0));
}

TEST_F(Versions, PhonesNegotiateThroughThePhoneFunctions) {
  FakePhone phone;
  phone.TSP()->SetExtHighVersion(0x00010003);
  phone.SetEnabled(true);
  const uint32_t lineCalls = Calls("lineNegotiateAPIVersion");
  phone.SetDeviceID(0);
  EXPECT_TRUE(phone.Available());
  EXPECT_EQ(phone.DeviceList().Strings(0), "Desk phone");
  EXPECT_EQ(phone.TSP()->APIVersion(), 0x00020002u);
  EXPECT_EQ(phone.TSP()->ExtVersion(), 0x00010003u);
  EXPECT_EQ(Calls("phoneNegotiateExtVersion"), 1u);
  EXPECT_EQ(Calls("lineNegotiateAPIVersion"), lineCalls);
  EXPECT_TRUE(phone.TSP()->CompareExtensionIDs(5, 6, 7, 8));
  phone.SetDeviceID(1);  // only one phone
  EXPECT_FALSE(phone.Available());
}

}  // namespace
}  // namespace zvtapi::testing
