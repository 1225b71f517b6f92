// How the line turns each TAPI line message into events: the per-message rules, unknown
// messages, failing handlers, device states and two applications on one device.
#include <gtest/gtest.h>

#include <cstring>

#include "line_test_support.h"
#include "tapi/requests.h"

namespace zvtapi::testing {
namespace {

using LineDispatch = LineTest;

// An open line with one offered call, its events recorded.
class DispatchWithCall : public LineTest {
 protected:
  void SetUp() override {
    LineTest::SetUp();
    OpenOn(line, 0);
    log.Attach(line);
    line.SetOnTapiMessage([this](TObject*, Cardinal id, Cardinal, Cardinal, Cardinal, Cardinal) {
      log.Add("TapiMessage " + EventLog::Hex(id));
    });
    callId = Switch().OfferCall(0, 0, Caller("301", "Ann"));
    ASSERT_TRUE(PumpUntil([&] { return log.Has("CallerID"); }));
    call = line.OnlyCall();
    ASSERT_NE(call, nullptr);
    PumpFor(20);
    log.events.clear();
  }
  // Posts a message for the line and waits until the line has handled it.
  void Deliver(Cardinal device, Cardinal id, Cardinal p1 = 0, Cardinal p2 = 0, Cardinal p3 = 0) {
    int handled = 0;
    Appl().SetOnTapiMessage(
        [&](TObject*, Cardinal, Cardinal, Cardinal, Cardinal, Cardinal, Cardinal) { ++handled; });
    PostLine(device, id, line.CallbackInstance(), p1, p2, p3);
    ASSERT_TRUE(PumpUntil([&] { return handled > 0; }));
    Appl().SetOnTapiMessage({});
  }

  LineUnderTest line;
  EventLog log;
  uint32_t callId = 0;
  TzvTapiCall* call = nullptr;
};

TEST_F(DispatchWithCall, UnknownMessagesReachOnErrorWithoutOnTapiMessage) {
  Deliver(line.Handle(), LINE_AGENTSPECIFIC, 1, 2, 3);
  ASSERT_EQ(log.errors.size(), 1u);
  EXPECT_EQ(log.errors[0], "Unknown/Unsupported Line Event (LINE_0x15).");
  EXPECT_TRUE(log.events.empty());
  Deliver(line.Handle(), 0x2A);
  ASSERT_EQ(log.errors.size(), 2u);
  EXPECT_EQ(log.errors[1], "Unknown/Unsupported Line Event (LINE_0x2A).");
}

TEST_F(DispatchWithCall, StateZeroChangesNothing) {
  Deliver(call->Handle(), LINE_CALLSTATE, 0, 0, 0);
  EXPECT_EQ(log.events, std::vector<std::string>{"TapiMessage 2"});
  EXPECT_EQ(call->State(), LINECALLSTATE_OFFERING);
}

TEST_F(DispatchWithCall, StateWithPrivilegeFiresStateThenPrivilege) {
  Deliver(call->Handle(), LINE_CALLSTATE, LINECALLSTATE_ACCEPTED, 0, LINECALLPRIVILEGE_OWNER);
  EXPECT_EQ(log.events, (std::vector<std::string>{"CallState 4", "Accepted", "CallPrivilege 4",
                                                  "TapiMessage 2"}));
  EXPECT_EQ(call->Privilege(), LINECALLPRIVILEGE_OWNER);
  EXPECT_TRUE(call->Owner());
}

TEST_F(DispatchWithCall, UnknownOrCombinedStatesFireOnlyOnCallState) {
  Deliver(call->Handle(), LINE_CALLSTATE, LINECALLSTATE_UNKNOWN);
  Deliver(call->Handle(), LINE_CALLSTATE, LINECALLSTATE_ACCEPTED | LINECALLSTATE_CONNECTED);
  EXPECT_EQ(log.events, (std::vector<std::string>{"CallState 8000", "TapiMessage 2",
                                                  "CallState 104", "TapiMessage 2"}));
}

TEST_F(DispatchWithCall, AFailingHandlerDoesNotStopTheStateReport) {
  line.SetOnCallState(
      [&](TzvTapiLine*, TzvTapiCall*, Cardinal) { throw Exception("handler fails"); });
  Deliver(call->Handle(), LINE_CALLSTATE, LINECALLSTATE_CONNECTED);
  EXPECT_EQ(log.errors, std::vector<std::string>{"handler fails"});
  EXPECT_EQ(log.events, (std::vector<std::string>{"Connected", "TapiMessage 2"}));
  EXPECT_TRUE(call->WasConnected());
}

TEST_F(DispatchWithCall, CallInfoFiresMediaModeThenInfoThenParties) {
  Deliver(call->Handle(), LINE_CALLINFO,
          LINECALLINFOSTATE_MEDIAMODE | LINECALLINFOSTATE_CALLERID | LINECALLINFOSTATE_CALLEDID);
  EXPECT_EQ(log.events, (std::vector<std::string>{"MediaMode", "CallInfo 18010", "CallerID",
                                                  "CalledID", "TapiMessage 1"}));
}

TEST_F(DispatchWithCall, CallInfoWithOriginAddsToTheOriginHistory) {
  Deliver(call->Handle(), LINE_CALLINFO, LINECALLINFOSTATE_ORIGIN);
  EXPECT_EQ(call->OriginHistory(), LINECALLORIGIN_EXTERNAL);
  EXPECT_TRUE(call->WasIncoming());
}

TEST_F(DispatchWithCall, MessagesForHandlesTapiDoesNotKnowAreIgnored) {
  Deliver(0x0BAD0BAD, LINE_CALLSTATE, LINECALLSTATE_CONNECTED);
  Deliver(0x0BAD0BAD, LINE_CALLINFO, LINECALLINFOSTATE_CALLERID);
  EXPECT_EQ(log.events, (std::vector<std::string>{"TapiMessage 2", "TapiMessage 1"}));
  EXPECT_EQ(line.Calls().Count(), 1);
}

TEST_F(DispatchWithCall, DigitsTonesSilenceAndGeneration) {
  std::vector<std::string> got;
  line.SetOnDigit([&](TzvTapiLine*, TzvTapiCall* c, char16_t digit) {
    got.push_back(std::string("digit ") + static_cast<char>(digit) + (c == call ? "" : "?"));
  });
  line.SetOnTone([&](TzvTapiLine*, TzvTapiCall*, Cardinal app) {
    got.push_back("tone " + EventLog::Hex(app));
  });
  line.SetOnSilence([&](TzvTapiLine*, TzvTapiCall*) { got.push_back("silence"); });
  line.SetOnGenerate([&](TzvTapiLine*, TzvTapiCall*, Cardinal term) {
    got.push_back("generate " + EventLog::Hex(term));
  });
  line.SetOnDigits([&](TzvTapiLine*, TzvTapiCall*, const std::string& digits, Cardinal term) {
    got.push_back("digits '" + digits + "' " + EventLog::Hex(term));
  });
  Deliver(call->Handle(), LINE_MONITORDIGITS, 0x3135, LINEDIGITMODE_DTMF);
  Deliver(call->Handle(), LINE_MONITORTONE, 0xFFFFFFFF);
  Deliver(call->Handle(), LINE_MONITORTONE, 7);
  Deliver(call->Handle(), LINE_GENERATE, LINEGENERATETERM_DONE);
  Deliver(call->Handle(), LINE_GATHERDIGITS, LINEGATHERTERM_TERMDIGIT);
  EXPECT_EQ(
      got, (std::vector<std::string>{"digit 5", "silence", "tone 7", "generate 1", "digits '' 2"}));
  EXPECT_FALSE(call->GatherDigits().Active());
}

TEST_F(DispatchWithCall, DeviceSpecificMessagesNameTheCallOrNone) {
  std::vector<TzvTapiCall*> calls;
  line.SetOnDevSpecific([&](TzvTapiLine*, TzvTapiCall* c, Cardinal p1, Cardinal, Cardinal) {
    calls.push_back(c);
    EXPECT_EQ(p1, 11u);
  });
  Deliver(call->Handle(), LINE_DEVSPECIFIC, 11);
  Deliver(line.Handle(), LINE_DEVSPECIFIC, 11);
  EXPECT_EQ(calls, (std::vector<TzvTapiCall*>{call, nullptr}));
}

TEST_F(DispatchWithCall, AddressStateReachesTheAddressAndOnAddressState) {
  std::vector<TzvTapiAddress*> addresses;
  line.SetOnAddressState([&](TzvTapiLine*, TzvTapiAddress* a, Cardinal state) {
    addresses.push_back(a);
    EXPECT_EQ(state, LINEADDRESSSTATE_CAPSCHANGE);
  });
  TzvTapiAddress* address = line.Addresses().Get(0);
  address->Caps()->AddressStates();  // cached now
  ASSERT_NE(address->LINEADDRESSCAPS(), nullptr);
  Deliver(line.Handle(), LINE_ADDRESSSTATE, 0, LINEADDRESSSTATE_CAPSCHANGE);
  Deliver(line.Handle(), LINE_ADDRESSSTATE, 5, LINEADDRESSSTATE_CAPSCHANGE);  // no such address
  EXPECT_EQ(addresses, std::vector<TzvTapiAddress*>{address});
  EXPECT_EQ(address->LINEADDRESSCAPS(), nullptr) << "capabilities dropped";
}

TEST_F(DispatchWithCall, TheReplyOfADevSpecificRequestCarriesTheBlock) {
  line.Options().SetSyncMode(false);
  const uint8_t answer[] = {1, 2, 3};
  auto block = std::make_unique<TzvTapiLineDevSpecificData>(answer, 3);
  block->SetCall(call);
  block->SetRequestID(910);
  TzvTapiLineDevSpecificData* data = block.get();
  line.DevSpecificList().Add(std::move(block));
  TzvTapiRequest* request = line.Requests().AddRequest(910, 60000);
  request->FRequestType = TAPIREQUEST_LINEDEVSPECIFIC;
  request->SetObject(0, data);
  std::vector<uint8_t> got;
  TzvTapiCall* gotCall = nullptr;
  line.SetOnDevSpecificReply([&](TObject*, Cardinal id, void* bytes, Cardinal size, TzvTapiAddress*,
                                 TzvTapiCall* c, Cardinal code) {
    EXPECT_EQ(id, 910u);
    EXPECT_EQ(code, 0u);
    got.assign(static_cast<uint8_t*>(bytes), static_cast<uint8_t*>(bytes) + size);
    gotCall = c;
  });
  Deliver(line.Handle(), LINE_REPLY, 910, 0);
  EXPECT_EQ(got, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(gotCall, call);
  EXPECT_EQ(line.DevSpecificList().Count(), 0) << "freed after the event without a waiting caller";
}

TEST_F(DispatchWithCall, AFreedCallIsNotReportedWithItsDevSpecificBlock) {
  line.Options().SetSyncMode(false);
  auto block = std::make_unique<TzvTapiLineDevSpecificData>(nullptr, 0);
  block->SetCall(call);
  block->SetRequestID(911);
  TzvTapiLineDevSpecificData* data = block.get();
  line.DevSpecificList().Add(std::move(block));
  TzvTapiRequest* request = line.Requests().AddRequest(911, 60000);
  request->FRequestType = TAPIREQUEST_LINEDEVSPECIFIC;
  request->SetObject(0, data);
  TzvTapiCall* gotCall = call;
  line.SetOnDevSpecificReply([&](TObject*, Cardinal, void*, Cardinal, TzvTapiAddress*,
                                 TzvTapiCall* c, Cardinal) { gotCall = c; });
  line.Options().SetAutoFreeIdleCalls(-1);
  line.ForgetCall(call);
  line.CallDestroyed(call);  // as if the object were gone; it is freed for real below
  Deliver(line.Handle(), LINE_REPLY, 911, 0);
  EXPECT_EQ(gotCall, nullptr);
  delete call;
}

TEST_F(LineDispatch, RingingIsReportedAsDeviceStateThenRing) {
  LineUnderTest line;
  OpenOn(line, 0);
  std::vector<std::string> got;
  line.SetOnDeviceState([&](TObject*, Cardinal state, Cardinal d1, Cardinal d2) {
    got.push_back(Format("state %X %u %u", state, d1, d2));
  });
  line.SetOnRing([&](TzvTapiLine*, Cardinal mode, Cardinal count) {
    got.push_back(Format("ring %u %u", mode, count));
  });
  Switch().Ring(0, 1, 3);
  ASSERT_TRUE(PumpUntil([&] { return got.size() == 2; }));
  EXPECT_EQ(got, (std::vector<std::string>{"state 2 1 3", "ring 1 3"}));
}

TEST_F(LineDispatch, ReinitOnAClosedLineReportsTheStateButNoReinit) {
  LineUnderTest line;
  line.SetDeviceID(0);
  int reinits = 0;
  std::vector<Cardinal> states;
  line.SetOnTapiReinit([&](TObject*) { ++reinits; });
  line.SetOnDeviceState(
      [&](TObject*, Cardinal state, Cardinal, Cardinal) { states.push_back(state); });
  PostLine(0, LINE_LINEDEVSTATE, 0, LINEDEVSTATE_REINIT);
  ASSERT_TRUE(PumpUntil([&] { return !states.empty(); }));
  EXPECT_EQ(states[0], LINEDEVSTATE_REINIT);
  EXPECT_EQ(reinits, 0);
}

TEST_F(LineDispatch, TwoApplicationsOneOwnerOneMonitor) {
  // The other application opens first and owns the incoming call.
  HLINEAPP other = 0;
  LINEINITIALIZEEXPARAMS params;
  std::memset(&params, 0, sizeof(params));
  params.dwTotalSize = sizeof(params);
  params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
  DWORD devices = 0;
  DWORD version = 0x00020002;
  ASSERT_EQ(lineInitializeExW(&other, 0, nullptr, u"Other", &devices, &version, &params), 0);
  DWORD agreed = 0;
  LINEEXTENSIONID extension{};
  ASSERT_EQ(lineNegotiateAPIVersion(other, 0, 0x00010004, 0x00020002, &agreed, &extension), 0);
  HLINE otherLine = 0;
  ASSERT_EQ(lineOpenW(other, 0, &otherLine, agreed, 0, 77,
                      LINECALLPRIVILEGE_OWNER | LINECALLPRIVILEGE_MONITOR,
                      LINEMEDIAMODE_INTERACTIVEVOICE, nullptr),
            0);
  LineUnderTest line;
  line.Privileges().SetAutoSelect(false);
  line.Privileges().SetValue(LINECALLPRIVILEGE_MONITOR);
  OpenOn(line, 0);
  EventLog log;
  log.Attach(line);
  const uint32_t id = Switch().OfferCall(0, 0, Caller("301", "Ann"));
  ASSERT_TRUE(PumpUntil([&] { return log.Has("Offering"); }));
  TzvTapiCall* call = line.OnlyCall();
  ASSERT_NE(call, nullptr);
  EXPECT_FALSE(call->Owner());
  EXPECT_EQ(call->Privilege(), LINECALLPRIVILEGE_MONITOR);
  EXPECT_NE(Switch().CallHandle(other, id), 0u);
  EXPECT_NE(Switch().CallHandle(other, id), HandleOf(id));

  // The owner ends the call; the monitor follows it to its end.
  QuickCleanup(line);
  Switch().SetCallState(id, LINECALLSTATE_IDLE);
  ASSERT_TRUE(PumpUntil([&] { return log.Has("CallDeallocate"); }));
  EXPECT_EQ(line.Calls().Count(), 0);
  lineClose(otherLine);
  lineShutdown(other);
}

}  // namespace
}  // namespace zvtapi::testing
