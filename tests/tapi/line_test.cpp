// The line's lifecycle: binding, opening with chosen privileges, the state messages it asks
// for, adopting the calls already on the line, closing (by the program and by TAPI), device
// removal and renames, addresses and the permanent ID.
#include <gtest/gtest.h>

#include "line_test_support.h"
#include "tapi/requests.h"

namespace zvtapi::testing {
namespace {

using LineLifecycle = LineTest;

TEST_F(LineLifecycle, OpensAsOwnerAndMonitorAndTakesAFreshCallbackInstanceEachTime) {
  LineUnderTest line;
  OpenOn(line, 0);
  EXPECT_EQ(line.Privileges().Value(), LINECALLPRIVILEGE_OWNER | LINECALLPRIVILEGE_MONITOR);
  const Cardinal first = line.CallbackInstance();
  line.Open();  // already open: nothing happens
  EXPECT_EQ(line.CallbackInstance(), first);
  EXPECT_EQ(Switch().CallCount("lineOpenW"), 1u);
  line.SetActive(false);
  EXPECT_EQ(line.Handle(), 0u);
  line.SetActive(true);
  EXPECT_NE(line.CallbackInstance(), first);
  EXPECT_EQ(Switch().CallCount("lineClose"), 1u);
}

TEST_F(LineLifecycle, FallsBackToMonitorWhenOwnershipIsRefused) {
  auto config = SmallOffice();
  config.lines[1].refuseOwner = LINEERR_INVALPRIVSELECT;
  Switch().Reset(config);
  LineUnderTest line;
  OpenOn(line, 1);
  EXPECT_EQ(line.Privileges().Value(), LINECALLPRIVILEGE_MONITOR);
  EXPECT_EQ(Switch().CallCount("lineOpenW"), 2u);
}

TEST_F(LineLifecycle, DeviceWithoutMediaModesOpensWithoutPrivileges) {
  auto config = SmallOffice();
  config.lines[2].mediaModes = 0;
  Switch().Reset(config);
  LineUnderTest line;
  OpenOn(line, 2);
  EXPECT_EQ(line.Privileges().Value(), LINECALLPRIVILEGE_NONE);
}

TEST_F(LineLifecycle, FailedOpenRaisesTheLastCodeAndLeavesTheLineClosed) {
  auto config = SmallOffice();
  config.lines[0].openError = LINEERR_RESOURCEUNAVAIL;
  Switch().Reset(config);
  LineUnderTest line;
  line.SetDeviceID(0);
  try {
    line.SetActive(true);
    FAIL() << "open succeeded";
  } catch (const EzvTapiError& e) {
    EXPECT_EQ(e.ErrorCode(), LINEERR_RESOURCEUNAVAIL);
  }
  EXPECT_EQ(line.Handle(), 0u);
  EXPECT_FALSE(line.Active());
  // Owner and monitor, then monitor alone: both refused.
  EXPECT_EQ(Switch().CallCount("lineOpenW"), 2u);
}

TEST_F(LineLifecycle, WithoutAutoSelectOpensOnceWithTheGivenPrivileges) {
  LineUnderTest line;
  line.Privileges().SetAutoSelect(false);
  line.Privileges().SetValue(LINECALLPRIVILEGE_MONITOR);
  OpenOn(line, 0);
  EXPECT_EQ(line.Privileges().Value(), LINECALLPRIVILEGE_MONITOR);
  EXPECT_EQ(Switch().CallCount("lineOpenW"), 1u);
}

TEST_F(LineLifecycle, OpeningAnUnboundLineFailsWithNoDevice) {
  LineUnderTest line;
  line.SetEnabled(true);
  try {
    line.Open();
    FAIL() << "open succeeded";
  } catch (const EzvTapiError& e) {
    EXPECT_EQ(e.ErrorCode(), LINEERR_NODEVICE);
  }
}

TEST_F(LineLifecycle, AsksForEveryStateMessageTheProviderAccepts) {
  auto config = SmallOffice();
  // The provider refuses the full set, so the line finds out bit by bit.
  config.lines[0].lineStates = LINEDEVSTATE_RINGING | LINEDEVSTATE_REINIT | LINEDEVSTATE_REMOVED;
  config.lines[0].addressStates = LINEADDRESSSTATE_NUMCALLS | LINEADDRESSSTATE_CAPSCHANGE;
  Switch().Reset(config);
  LineUnderTest line;
  OpenOn(line, 0);
  EXPECT_EQ(line.LineStateMessages(), config.lines[0].lineStates);
  EXPECT_EQ(line.AddressStateMessages(), config.lines[0].addressStates);

  line.SetLineStateMessages(LINEDEVSTATE_RINGING);
  EXPECT_EQ(line.LineStateMessages(), LINEDEVSTATE_RINGING);
  EXPECT_EQ(line.AddressStateMessages(), config.lines[0].addressStates);
  EXPECT_THROW(line.SetLineStateMessages(LINEDEVSTATE_BATTERY), EzvTapiError);
}

TEST_F(LineLifecycle, StateMessagesOfAClosedLine) {
  LineUnderTest line;
  line.SetDeviceID(0);
  EXPECT_EQ(line.LineStateMessages(), 0u);
  EXPECT_EQ(line.AddressStateMessages(), 0u);
  EXPECT_THROW(line.SetLineStateMessages(LINEDEVSTATE_RINGING), EzvTapiError);
}

TEST_F(LineLifecycle, AdoptsTheCallsAlreadyOnTheLineWithoutEvents) {
  LineUnderTest line;
  line.SetDeviceID(0);
  const uint32_t a = Switch().OfferCall(0, 0, Caller("301", "A"));
  const uint32_t b = Switch().OfferCall(0, 0, Caller("302", "B"));
  const uint32_t c = Switch().OfferCall(0, 0, Caller("303", "C"));
  EventLog log;
  log.Attach(line);
  OpenOn(line, 0);
  ASSERT_EQ(line.Calls().Count(), 3);
  for (uint32_t id : {a, b, c}) {
    TzvTapiCall* call = line.Calls().ByHandle(HandleOf(id));
    ASSERT_NE(call, nullptr) << "call " << id;
    EXPECT_TRUE(call->Alive());
    EXPECT_EQ(call->State(), LINECALLSTATE_OFFERING);
  }
  PumpFor(50);  // whatever TAPI still sends about them changes nothing of the adoption
  EXPECT_FALSE(log.Has("NewCall"));
  EXPECT_FALSE(log.Has("CallBegin"));
}

TEST_F(LineLifecycle, ClosingFreesCallsRequestsAndTimerEvents) {
  LineUnderTest line;
  line.Options().SetSyncMode(false);
  line.Options().SetAutoFreeIdleCalls(0);  // scheduled, never due
  OpenOn(line, 0);
  const uint32_t first = Switch().OfferCall(0, 0, Caller("301", "A"));
  const uint32_t second = Switch().OfferCall(0, 0, Caller("302", "B"));
  ASSERT_TRUE(PumpUntil([&] { return line.Calls().Count() == 2; }));
  Switch().SetNextReplyMode("lineDrop", tapi32::ReplyMode::Silent());
  line.Drop(line.Calls().ByHandle(HandleOf(first)), "");
  EXPECT_EQ(line.Requests().Count(), 1);
  Switch().SetCallState(second, LINECALLSTATE_IDLE);
  ASSERT_TRUE(PumpUntil([&] { return line.TimerEvents().Count() == 1; }));
  auto* unconfirmed = new MadeCall(&line, 0);
  EXPECT_TRUE(line.UnconfirmedCalls().Contains(unconfirmed));

  const uint32_t closes = Switch().CallCount("lineClose");
  line.Close();
  EXPECT_EQ(line.Handle(), 0u);
  EXPECT_EQ(line.Calls().Count(), 0);
  EXPECT_EQ(line.UnconfirmedCalls().Count(), 0);
  EXPECT_EQ(line.Requests().Count(), 0);
  EXPECT_EQ(line.TimerEvents().Count(), 0);
  EXPECT_EQ(Switch().CallCount("lineClose"), closes + 1);
}

TEST_F(LineLifecycle, LineCloseFromTapiWhileCallsExist) {
  LineUnderTest line;
  OpenOn(line, 0);
  int closed = 0;
  line.SetOnDeviceClose([&](TObject*) { ++closed; });
  Switch().OfferCall(0, 0, Caller("301", "A"));
  ASSERT_TRUE(PumpUntil([&] { return line.Calls().Count() == 1; }));
  const uint32_t closes = Switch().CallCount("lineClose");
  Switch().CloseLine(0);
  ASSERT_TRUE(PumpUntil([&] { return closed == 1; }));
  EXPECT_FALSE(line.Active());
  EXPECT_EQ(line.Calls().Count(), 0);
  EXPECT_EQ(Switch().CallCount("lineClose"), closes) << "TAPI closed the line already";
}

TEST_F(LineLifecycle, LineCloseEndsASynchronousWaitWithOperationFailed) {
  LineUnderTest line;
  OpenOn(line, 0);
  Switch().OfferCall(0, 0, Caller("301", "A"));
  ASSERT_TRUE(PumpUntil([&] { return line.Calls().Count() == 1; }));
  Switch().SetNextReplyMode("lineDrop", tapi32::ReplyMode::Silent());
  // The switch closes the line while the drop waits for its reply.
  line.SetOnDevSpecific(
      [](TzvTapiLine*, TzvTapiCall*, Cardinal, Cardinal, Cardinal) { Switch().CloseLine(0); });
  PostLine(line.Handle(), LINE_DEVSPECIFIC, line.CallbackInstance());
  try {
    line.Drop(line.OnlyCall(), "");
    FAIL() << "the drop returned";
  } catch (const EzvTapiError& e) {
    EXPECT_EQ(e.ErrorCode(), LINEERR_OPERATIONFAILED);
  }
  EXPECT_FALSE(line.Active());
  EXPECT_EQ(line.Calls().Count(), 0);
}

TEST_F(LineLifecycle, DeviceRemovalUnbindsAndIsReported) {
  LineUnderTest line;
  OpenOn(line, 1);
  int removed = 0;
  line.SetOnDeviceRemove([&](TObject*) { ++removed; });
  Switch().RemoveLine(1);
  ASSERT_TRUE(PumpUntil([&] { return removed == 1; }));
  EXPECT_FALSE(line.Available());
}

TEST_F(LineLifecycle, RenameIsFollowedAndReportedAsCapabilityChange) {
  LineUnderTest line;
  OpenOn(line, 1);
  std::vector<Cardinal> states;
  line.SetOnDeviceState(
      [&](TObject*, Cardinal state, Cardinal, Cardinal) { states.push_back(state); });
  Switch().RenameLine(1, "Sales East");
  ASSERT_TRUE(PumpUntil([&] { return !states.empty(); }));
  EXPECT_EQ(states[0], LINEDEVSTATE_CAPSCHANGE);
  EXPECT_EQ(line.DeviceName(), "Sales East");
  EXPECT_EQ(Appl().LineDevices().Strings(1), "Sales East");
}

TEST_F(LineLifecycle, DeviceNames) {
  auto config = SmallOffice();
  config.lines[2].name.clear();
  Switch().Reset(config);
  LineUnderTest unbound;
  unbound.SetDeviceName("Nowhere");
  EXPECT_FALSE(unbound.Available());
  EXPECT_EQ(unbound.DeviceName(), "Nowhere");
  LineUnderTest nameless;
  nameless.SetDeviceID(2);
  EXPECT_EQ(nameless.DeviceName(), "Line Device #2");
}

TEST_F(LineLifecycle, PermanentDeviceIDBindsTheFirstMatchingDeviceOrUnbinds) {
  auto config = SmallOffice();
  config.lines[1].permanentId = 0x4711;
  config.lines[2].permanentId = 0x4711;
  Switch().Reset(config);
  LineUnderTest line;
  line.SetPermanentDeviceID(0x4711);
  EXPECT_EQ(line.DeviceID(), 1);
  EXPECT_EQ(line.PermanentDeviceID(), 0x4711u);
  line.SetPermanentDeviceID(0x1234);
  EXPECT_EQ(line.DeviceID(), -1);
  EXPECT_FALSE(line.Available());
  EXPECT_EQ(line.PermanentDeviceID(), 0x1234u);
}

TEST_F(LineLifecycle, IconOfTheDevice) {
  auto config = SmallOffice();
  config.lines[1].icon = 0x77;
  Switch().Reset(config);
  LineUnderTest line;
  line.SetDeviceID(1);
  EXPECT_EQ(line.Icon(), 0x77u);
}

TEST_F(LineLifecycle, AddressesAreNamedByTheirTextOrTheirIndex) {
  auto config = SmallOffice();
  config.lines[0].numAddresses = 2;
  config.lines[0].addressNames = {"200"};
  Switch().Reset(config);
  LineUnderTest line;
  line.SetDeviceID(0);
  ASSERT_EQ(line.Addresses().Count(), 2);
  EXPECT_EQ(line.AddressList().Strings(0), "200");
  EXPECT_EQ(line.AddressList().Strings(1), "Address 1");
  EXPECT_EQ(line.Get_AddressByName("address 1"), line.Addresses().Get(1));
  EXPECT_EQ(line.Get_AddressByName("201"), nullptr);
  // Rebinding builds new address objects.
  line.SetDeviceID(1);
  EXPECT_EQ(line.Addresses().Count(), 1);
}

// The addresses stand for the device's address IDs; writing Addresses copies what a program
// set on them into the line's own objects, address by address.
TEST_F(LineLifecycle, WritingAddressesCopiesTheirSettingsByAddressID) {
  auto config = SmallOffice();
  config.lines[0].numAddresses = 2;
  config.lines[1].numAddresses = 3;
  Switch().Reset(config);
  LineUnderTest line, other;
  line.SetDeviceID(0);
  other.SetDeviceID(1);
  const TzvTapiAddress* first = line.Addresses().Get(0);
  line.Addresses().Get(1)->SetTag(5);
  for (int i = 0; i < 3; ++i)
    other.Addresses().Get(i)->SetTag(10 + i);

  line.SetAddresses(other.Addresses());
  ASSERT_EQ(line.Addresses().Count(), 2) << "the device has two addresses";
  EXPECT_EQ(line.Addresses().Get(0), first);
  EXPECT_EQ(line.Addresses().Get(0)->Tag(), 10);
  EXPECT_EQ(line.Addresses().Get(1)->Tag(), 11);
  EXPECT_EQ(line.Addresses().Get(1)->Line(), &line);
  EXPECT_EQ(other.Addresses().Get(2)->Tag(), 12);

  // A list built by hand is matched by the addresses' IDs, not by position.
  TzvTapiAddressList partial(&other);
  partial.Add(std::make_unique<TzvTapiAddress>(&other, 1));
  partial.Get(0)->SetTag(99);
  line.SetAddresses(partial);
  EXPECT_EQ(line.Addresses().Get(0)->Tag(), 10);
  EXPECT_EQ(line.Addresses().Get(1)->Tag(), 99);
}

TEST_F(LineLifecycle, CheckCallAcceptsOnlyListedCallsWithAHandle) {
  LineUnderTest line;
  OpenOn(line, 0);
  Switch().OfferCall(0, 0, Caller("301", "A"));
  ASSERT_TRUE(PumpUntil([&] { return line.Calls().Count() == 1; }));
  EXPECT_TRUE(line.CheckCall(line.OnlyCall(), "Accept failed"));
  auto* made = new MadeCall(&line, 0);
  EXPECT_FALSE(line.CheckCall(made, ""));
  try {
    line.CheckCall(made, "Accept failed");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Accept failed! Invalid call.");
  }
  delete made;
}

}  // namespace
}  // namespace zvtapi::testing
