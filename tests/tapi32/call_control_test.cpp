// Call control on single calls: the states and messages every application sees, the codes of
// refused requests, the request engine's replies, and the life of outgoing calls.
#include <cstring>
#include <functional>

#include "call_control_fixture.h"

namespace tapi32_test {
namespace {

using tapi32::ReplyMode;
using tapi32::sim::FarEnd;

using Messages = std::vector<LINEMESSAGE>;

TEST_F(CallControlTest, AnswerRepliesFirstThenConnectsTheCallForEveryApplication) {
  const uint32_t call = Incoming();
  const LONG request = lineAnswer(Mine(call), "hi", 2);
  ASSERT_GT(request, 0);

  const Messages mine = DrainLine(owner_.app);
  EXPECT_EQ(ReplyOf(mine, request), 0);
  EXPECT_EQ(mine[0].dwCallbackInstance, 31u);
  EXPECT_EQ(States(mine, Mine(call)), std::vector<DWORD>{LINECALLSTATE_CONNECTED});
  EXPECT_TRUE(InfoFlags(mine, Mine(call)) & LINECALLINFOSTATE_CONNECTEDID);
  const Messages theirs = DrainLine(watcher_.app);
  EXPECT_EQ(States(theirs, Theirs(call)), std::vector<DWORD>{LINECALLSTATE_CONNECTED});
  EXPECT_TRUE(InfoFlags(theirs, Theirs(call)) & LINECALLINFOSTATE_CONNECTEDID);
  EXPECT_EQ(Switch().CallSnapshot(call).connected.number, u"5550100");
}

TEST_F(CallControlTest, AcceptLeadsToAcceptedAndOnlyOnce) {
  const uint32_t call = Incoming();
  ASSERT_GT(lineAccept(Mine(call), nullptr, 0), 0);
  EXPECT_EQ(States(DrainLine(watcher_.app), Theirs(call)),
            std::vector<DWORD>{LINECALLSTATE_ACCEPTED});
  EXPECT_EQ(lineAccept(Mine(call), nullptr, 0), Code(LINEERR_INVALCALLSTATE));
  ASSERT_GT(lineAnswer(Mine(call), nullptr, 0), 0);
  EXPECT_EQ(StateOf(call), LINECALLSTATE_CONNECTED);
}

TEST_F(CallControlTest, RefusedRequestsGiveTapisCodesAndLeaveNoTrace) {
  const uint32_t offered = Incoming();
  const HCALL mine = Mine(offered);
  const HCALL theirs = Theirs(offered);
  HCALL made = 0;
  // A monitor may watch but not control.
  EXPECT_EQ(lineAnswer(theirs, nullptr, 0), Code(LINEERR_NOTOWNER));
  EXPECT_EQ(lineRedirectW(theirs, u"300", 0), Code(LINEERR_NOTOWNER));
  EXPECT_EQ(lineSetCallData(theirs, nullptr, 0), Code(LINEERR_NOTOWNER));
  // States that do not allow the operation.
  EXPECT_EQ(lineHold(mine), Code(LINEERR_INVALCALLSTATE));
  EXPECT_EQ(lineUnhold(mine), Code(LINEERR_INVALCALLSTATE));
  EXPECT_EQ(lineDialW(mine, u"1", 0), Code(LINEERR_INVALCALLSTATE));
  EXPECT_EQ(lineBlindTransferW(mine, u"300", 0), Code(LINEERR_INVALCALLSTATE));
  EXPECT_EQ(lineRemoveFromConference(mine), Code(LINEERR_INVALCALLSTATE));
  EXPECT_EQ(lineSetupTransferW(mine, &made, nullptr), Code(LINEERR_INVALCALLSTATE));
  // Handles, pointers, addresses.
  EXPECT_EQ(lineAnswer(0x1234, nullptr, 0), Code(LINEERR_INVALCALLHANDLE));
  EXPECT_EQ(lineAnswer(mine, nullptr, 3), Code(LINEERR_INVALPOINTER));
  EXPECT_EQ(lineRedirectW(mine, nullptr, 0), Code(LINEERR_INVALPOINTER));
  EXPECT_EQ(lineRedirectW(mine, u"", 0), Code(LINEERR_INVALADDRESS));
  EXPECT_EQ(lineRedirectW(mine, u"nobody", 0), Code(LINEERR_INVALADDRESS));
  EXPECT_EQ(lineMakeCallW(ownerLine_, nullptr, u"300", 0, nullptr), Code(LINEERR_INVALPOINTER));
  EXPECT_EQ(lineMakeCallW(0x4321, &made, u"300", 0, nullptr), Code(LINEERR_INVALLINEHANDLE));
  EXPECT_EQ(lineUnparkW(ownerLine_, 7, &made, u"700"), Code(LINEERR_INVALADDRESSID));
  EXPECT_EQ(lineCompleteTransfer(mine, mine, nullptr, 9), Code(LINEERR_INVALTRANSFERMODE));
  EXPECT_EQ(lineParkW(mine, 9, u"700", nullptr), Code(LINEERR_INVALPARKMODE));
  // Call parameters the line cannot honour.
  LINECALLPARAMS params{};
  params.dwTotalSize = sizeof(params);
  params.dwBearerMode = LINEBEARERMODE_VOICE;
  params.dwMediaMode = kVoice;
  params.dwAddressMode = LINEADDRESSMODE_ADDRESSID;
  params.dwAddressID = 3;
  EXPECT_EQ(lineMakeCallW(ownerLine_, &made, u"300", 0, &params), Code(LINEERR_INVALADDRESSID));
  params.dwAddressID = 0;
  params.dwBearerMode = LINEBEARERMODE_DATA;
  EXPECT_EQ(lineMakeCallW(ownerLine_, &made, u"300", 0, &params), Code(LINEERR_INVALBEARERMODE));
  params.dwBearerMode = LINEBEARERMODE_VOICE;
  params.dwCommentSize = 40;
  params.dwCommentOffset = sizeof(params);  // outside the structure
  EXPECT_EQ(lineMakeCallW(ownerLine_, &made, u"300", 0, &params), Code(LINEERR_INVALCALLPARAMS));
  params.dwTotalSize = 60;
  EXPECT_EQ(lineMakeCallW(ownerLine_, &made, u"300", 0, &params), Code(LINEERR_STRUCTURETOOSMALL));

  EXPECT_EQ(made, 0u);
  EXPECT_TRUE(Switch().PendingRequests().empty());
  EXPECT_TRUE(DrainLine(owner_.app).empty());
  EXPECT_TRUE(DrainLine(watcher_.app).empty());
  EXPECT_EQ(Switch().CallsOnLine(0), std::vector<uint32_t>{offered});
}

TEST_F(CallControlTest, InjectedFaultsAndFailedRepliesChangeNothing) {
  const uint32_t call = Incoming();
  Switch().FailNext("lineAnswer", Code(LINEERR_RESOURCEUNAVAIL));
  EXPECT_EQ(lineAnswer(Mine(call), nullptr, 0), Code(LINEERR_RESOURCEUNAVAIL));
  EXPECT_TRUE(DrainLine(owner_.app).empty());

  Switch().SetNextReplyMode("lineAnswer", ReplyMode::Now(Code(LINEERR_OPERATIONFAILED)));
  const LONG request = lineAnswer(Mine(call), nullptr, 0);
  ASSERT_GT(request, 0);
  const Messages mine = DrainLine(owner_.app);
  EXPECT_EQ(ReplyOf(mine, request), Code(LINEERR_OPERATIONFAILED));
  EXPECT_TRUE(States(mine, Mine(call)).empty());
  EXPECT_TRUE(DrainLine(watcher_.app).empty());
  EXPECT_EQ(StateOf(call), LINECALLSTATE_OFFERING);
}

TEST_F(CallControlTest, EveryCallControlEntryPointCountsItselfAndTakesInjectedFaults) {
  HCALL h = 0;
  DWORD id = 0;
  const std::vector<std::pair<const char*, std::function<LONG()>>> entries = {
      {"lineAccept", [] { return lineAccept(1, nullptr, 0); }},
      {"lineAnswer", [] { return lineAnswer(1, nullptr, 0); }},
      {"lineMakeCallW", [&] { return lineMakeCallW(1, &h, nullptr, 0, nullptr); }},
      {"lineDialW", [] { return lineDialW(1, u"1", 0); }},
      {"lineHold", [] { return lineHold(1); }},
      {"lineUnhold", [] { return lineUnhold(1); }},
      {"lineSwapHold", [] { return lineSwapHold(1, 2); }},
      {"lineParkW", [] { return lineParkW(1, LINEPARKMODE_DIRECTED, u"7", nullptr); }},
      {"lineUnparkW", [&] { return lineUnparkW(1, 0, &h, u"7"); }},
      {"linePickupW", [&] { return linePickupW(1, 0, &h, u"7", nullptr); }},
      {"lineRedirectW", [] { return lineRedirectW(1, u"7", 0); }},
      {"lineBlindTransferW", [] { return lineBlindTransferW(1, u"7", 0); }},
      {"lineSetupTransferW", [&] { return lineSetupTransferW(1, &h, nullptr); }},
      {"lineCompleteTransfer", [&] { return lineCompleteTransfer(1, 2, &h, 1); }},
      {"lineSetupConferenceW", [&] { return lineSetupConferenceW(1, 0, &h, &h, 0, nullptr); }},
      {"linePrepareAddToConferenceW", [&] { return linePrepareAddToConferenceW(1, &h, nullptr); }},
      {"lineAddToConference", [] { return lineAddToConference(1, 2); }},
      {"lineRemoveFromConference", [] { return lineRemoveFromConference(1); }},
      {"lineCompleteCall", [&] { return lineCompleteCall(1, &id, 1, 0); }},
      {"lineUncompleteCall", [] { return lineUncompleteCall(1, 1); }},
      {"lineSetCallData", [] { return lineSetCallData(1, nullptr, 0); }},
      {"lineGenerateDigitsW", [] { return lineGenerateDigitsW(1, LINEDIGITMODE_DTMF, u"1", 0); }},
      {"lineGenerateTone", [] { return lineGenerateTone(1, LINETONEMODE_BEEP, 0, 0, nullptr); }},
      {"lineMonitorTones", [] { return lineMonitorTones(1, nullptr, 0); }},
      {"lineMonitorMedia", [] { return lineMonitorMedia(1, 0); }},
      {"lineHandoffW", [] { return lineHandoffW(1, u"x", 0); }},
      {"lineGetConfRelatedCalls", [] { return lineGetConfRelatedCalls(1, nullptr); }},
      {"lineDevSpecific", [] { return lineDevSpecific(1, 0, 0, nullptr, 0); }},
      {"lineDevSpecificFeature", [] { return lineDevSpecificFeature(1, 0, nullptr, 0); }},
      {"lineSetMediaMode", [] { return lineSetMediaMode(1, kVoice); }},
  };
  LONG code = Code(0x80000100);
  for (const auto& [name, call] : entries) {
    ++code;  // a different code per entry point, so a wrapper that reports another one shows
    Switch().FailNext(name, code);
    const uint32_t before = Switch().CallCount(name);
    EXPECT_EQ(call(), code) << name;
    EXPECT_EQ(Switch().CallCount(name), before + 1) << name;
    EXPECT_NE(call(), code) << name << ": the fault was armed once only";
  }
}

TEST_F(CallControlTest, ALateReplyChecksTheCallAgain) {
  const uint32_t call = Incoming();
  Switch().SetReplyMode("lineAnswer", ReplyMode::Silent());
  const LONG request = lineAnswer(Mine(call), nullptr, 0);
  ASSERT_GT(request, 0);
  EXPECT_TRUE(DrainLine(owner_.app).empty());

  // The caller gives up before the switch gets round to answering.
  Switch().RemoteHangUp(call);
  DrainAll();
  ASSERT_TRUE(Switch().CompleteRequest(static_cast<DWORD>(request), 0));
  const Messages mine = DrainLine(owner_.app);
  EXPECT_EQ(ReplyOf(mine, request), Code(LINEERR_INVALCALLSTATE));
  EXPECT_TRUE(States(mine, Mine(call)).empty());
  EXPECT_EQ(StateOf(call), LINECALLSTATE_DISCONNECTED);
}

TEST_F(CallControlTest, HoldUnholdAndSwapHold) {
  const uint32_t first = Connected();
  ASSERT_GT(lineHold(Mine(first)), 0);
  EXPECT_EQ(States(DrainLine(watcher_.app), Theirs(first)),
            std::vector<DWORD>{LINECALLSTATE_ONHOLD});
  ASSERT_GT(lineUnhold(Mine(first)), 0);
  EXPECT_EQ(StateOf(first), LINECALLSTATE_CONNECTED);
  ASSERT_GT(lineHold(Mine(first)), 0);

  const uint32_t second = Connected();
  // The active call must be the connected one.
  EXPECT_EQ(lineSwapHold(Mine(first), Mine(second)), Code(LINEERR_INVALCALLSTATE));
  EXPECT_EQ(lineSwapHold(Mine(second), Mine(second)), Code(LINEERR_INVALCALLHANDLE));
  ASSERT_GT(lineSwapHold(Mine(second), Mine(first)), 0);
  const Messages theirs = DrainLine(watcher_.app);
  // The active call is held before the held one comes back.
  std::vector<std::pair<HCALL, DWORD>> order;
  for (const auto& message : theirs) {
    if (message.dwMessageID == LINE_CALLSTATE)
      order.emplace_back(message.hDevice, message.dwParam1);
  }
  const std::vector<std::pair<HCALL, DWORD>> expected = {{Theirs(second), LINECALLSTATE_ONHOLD},
                                                         {Theirs(first), LINECALLSTATE_CONNECTED}};
  EXPECT_EQ(order, expected);
}

TEST_F(CallControlTest, RedirectAndBlindTransferTakeTheCallOffTheLine) {
  const uint32_t ringing = Incoming();
  const HCALL watched = Theirs(ringing);
  ASSERT_GT(lineRedirectW(Mine(ringing), u"+1 555 0199", 0), 0);
  EXPECT_EQ(States(DrainLine(watcher_.app), watched),
            (std::vector<DWORD>{LINECALLSTATE_DISCONNECTED, LINECALLSTATE_IDLE}));

  const uint32_t talking = Connected();
  const HCALL mine = Mine(talking);
  ASSERT_GT(lineBlindTransferW(mine, u"210", 0), 0);
  const Messages messages = DrainLine(owner_.app);
  EXPECT_EQ(States(messages, mine),
            (std::vector<DWORD>{LINECALLSTATE_DISCONNECTED, LINECALLSTATE_IDLE}));
  EXPECT_TRUE(Switch().CallsOnLine(0).empty());
}

// --- outgoing calls ------------------------------------------------------------------------------

struct FarEndCase {
  const char* name;
  FarEnd::Kind kind;
  std::vector<DWORD> states;  // after DIALTONE and DIALING
  DWORD lastMode;
};

class OutgoingCallTest : public CallControlTest,
                         public ::testing::WithParamInterface<FarEndCase> {};

TEST_P(OutgoingCallTest, GoesThroughTheStatesTheFarEndCauses) {
  FarEnd farEnd;
  farEnd.kind = GetParam().kind;
  farEnd.name = "Bea";
  Switch().SetFarEnd("555-0123", farEnd);
  HCALL call = 0;
  const LONG request = lineMakeCallW(ownerLine_, &call, u"(555) 0123", 0, nullptr);
  ASSERT_GT(request, 0);
  ASSERT_NE(call, 0u);  // the immediate reply has already written it

  const Messages mine = DrainLine(owner_.app);
  EXPECT_EQ(ReplyOf(mine, request), 0);
  // The maker learns its handle from the request, not from LINE_APPNEWCALL.
  EXPECT_EQ(Find(mine, LINE_APPNEWCALL), nullptr);
  std::vector<DWORD> expected = {LINECALLSTATE_DIALTONE, LINECALLSTATE_DIALING};
  expected.insert(expected.end(), GetParam().states.begin(), GetParam().states.end());
  EXPECT_EQ(States(mine, call), expected);
  const DWORD info = InfoFlags(mine, call);
  EXPECT_TRUE(info & LINECALLINFOSTATE_ORIGIN);
  EXPECT_TRUE(info & LINECALLINFOSTATE_CALLEDID);

  // A monitor of the line sees the same call with a handle of its own.
  const Messages theirs = DrainLine(watcher_.app);
  const LINEMESSAGE* added = Find(theirs, LINE_APPNEWCALL);
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->dwParam3, LINECALLPRIVILEGE_MONITOR);
  EXPECT_EQ(States(theirs, added->dwParam2), expected);

  const tapi32::CallData data = Switch().CallSnapshot(Switch().CallIdOf(call));
  EXPECT_EQ(data.origin, LINECALLORIGIN_OUTBOUND);
  EXPECT_EQ(data.called.number, u"(555) 0123");
  EXPECT_EQ(data.stateMode, GetParam().lastMode);
  if (GetParam().kind == FarEnd::Kind::Answers) {
    EXPECT_EQ(data.connected.name, u"Bea");
  }
}

INSTANTIATE_TEST_SUITE_P(
    FarEnds, OutgoingCallTest,
    ::testing::Values(FarEndCase{"Answers",
                                 FarEnd::Kind::Answers,
                                 {LINECALLSTATE_PROCEEDING, LINECALLSTATE_RINGBACK,
                                  LINECALLSTATE_CONNECTED},
                                 LINECONNECTEDMODE_ACTIVE},
                      FarEndCase{"Busy",
                                 FarEnd::Kind::Busy,
                                 {LINECALLSTATE_PROCEEDING, LINECALLSTATE_BUSY},
                                 LINEBUSYMODE_STATION},
                      FarEndCase{"NoAnswer",
                                 FarEnd::Kind::NoAnswer,
                                 {LINECALLSTATE_PROCEEDING, LINECALLSTATE_RINGBACK},
                                 0},
                      FarEndCase{"Rejects",
                                 FarEnd::Kind::Rejects,
                                 {LINECALLSTATE_PROCEEDING, LINECALLSTATE_DISCONNECTED},
                                 LINEDISCONNECTMODE_REJECT},
                      FarEndCase{"Unreachable",
                                 FarEnd::Kind::Unreachable,
                                 {LINECALLSTATE_PROCEEDING, LINECALLSTATE_DISCONNECTED},
                                 LINEDISCONNECTMODE_UNREACHABLE}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CallControlTest, MakeCallWritesTheHandleOnlyWhenTheReplySucceeds) {
  HCALL call = 0xDEAD;
  Switch().SetNextReplyMode("lineMakeCallW", ReplyMode::Now(Code(LINEERR_CALLUNAVAIL)));
  const LONG failed = lineMakeCallW(ownerLine_, &call, u"300", 0, nullptr);
  ASSERT_GT(failed, 0);
  EXPECT_EQ(ReplyOf(DrainLine(owner_.app), failed), Code(LINEERR_CALLUNAVAIL));
  EXPECT_EQ(call, 0xDEADu);
  EXPECT_TRUE(Switch().CallsOnLine(0).empty());
  EXPECT_TRUE(DrainLine(watcher_.app).empty());

  Switch().SetReplyMode("lineMakeCallW", ReplyMode::Silent());
  const LONG pending = lineMakeCallW(ownerLine_, &call, u"300", 0, nullptr);
  ASSERT_GT(pending, 0);
  EXPECT_EQ(call, 0xDEADu);
  EXPECT_TRUE(Switch().CallsOnLine(0).empty());
  ASSERT_TRUE(Switch().CompleteRequest(static_cast<DWORD>(pending), 0));
  EXPECT_NE(call, 0xDEADu);
  EXPECT_EQ(Switch().CallIdOf(call), Switch().CallsOnLine(0).at(0));

  // A line closed while the request waits: the reply fails and writes nothing.
  HCALL late = 0xBEEF;
  const LONG orphan = lineMakeCallW(ownerLine_, &late, u"300", 0, nullptr);
  DrainAll();
  ASSERT_EQ(lineClose(ownerLine_), 0);
  ASSERT_TRUE(Switch().CompleteRequest(static_cast<DWORD>(orphan), 0));
  EXPECT_EQ(ReplyOf(DrainLine(owner_.app), orphan), Code(LINEERR_INVALLINEHANDLE));
  EXPECT_EQ(late, 0xBEEFu);
}

TEST_F(CallControlTest, DialToneThenDialingInPieces) {
  HCALL call = 0;
  ASSERT_GT(lineMakeCallW(ownerLine_, &call, nullptr, 0, nullptr), 0);
  EXPECT_EQ(States(DrainLine(owner_.app), call), std::vector<DWORD>{LINECALLSTATE_DIALTONE});
  EXPECT_EQ(lineDialW(call, u"", 0), Code(LINEERR_INVALADDRESS));
  ASSERT_GT(lineDialW(call, u"55;", 0), 0);
  EXPECT_EQ(States(DrainLine(owner_.app), call), std::vector<DWORD>{LINECALLSTATE_DIALING});
  ASSERT_GT(lineDialW(call, u"51", 0), 0);
  EXPECT_EQ(States(DrainLine(owner_.app), call),
            (std::vector<DWORD>{LINECALLSTATE_PROCEEDING, LINECALLSTATE_RINGBACK,
                                LINECALLSTATE_CONNECTED}));
  EXPECT_EQ(Switch().CallSnapshot(Switch().CallIdOf(call)).called.number, u"5551");
  EXPECT_EQ(lineDialW(call, u"9", 0), Code(LINEERR_INVALCALLSTATE));
}

TEST_F(CallControlTest, AFarEndThatTakesItsTimeAnswersFromTheSwitchsClock) {
  FarEnd slow;
  slow.afterMs = 20;
  Switch().SetFarEnd("300", slow);
  // A clock of its own, so that a slow machine does not see the answer before the ringback.
  Switch().UseManualClock();
  HCALL call = 0;
  ASSERT_GT(lineMakeCallW(ownerLine_, &call, u"300", 0, nullptr), 0);
  EXPECT_EQ(States(DrainLine(owner_.app), call).back(), LINECALLSTATE_RINGBACK);
  Switch().AdvanceClock(19);
  EXPECT_TRUE(States(DrainLine(owner_.app), call).empty());
  Switch().AdvanceClock(1);
  EXPECT_EQ(NextState(owner_.app, call), LINECALLSTATE_CONNECTED);

  // One that never answers stays at ringback until the script lets it answer.
  FarEnd never;
  never.kind = FarEnd::Kind::NoAnswer;
  Switch().SetFarEnd("301", never);
  HCALL other = 0;
  ASSERT_GT(lineMakeCallW(ownerLine_, &other, u"301", 0, nullptr), 0);
  DrainAll();
  Switch().FarEndAnswers(Switch().CallIdOf(other));
  EXPECT_EQ(States(DrainLine(owner_.app), other), std::vector<DWORD>{LINECALLSTATE_CONNECTED});
}

TEST_F(CallControlTest, NoAnswerTimeoutOfTheCallParametersEndsTheRinging) {
  FarEnd never;
  never.kind = FarEnd::Kind::NoAnswer;
  Switch().SetDefaultFarEnd(never);
  LINECALLPARAMS params{};
  params.dwTotalSize = sizeof(params);
  params.dwBearerMode = LINEBEARERMODE_VOICE;
  params.dwMediaMode = kVoice;
  params.dwAddressMode = LINEADDRESSMODE_ADDRESSID;
  params.dwNoAnswerTimeout = 1;
  HCALL call = 0;
  ASSERT_GT(lineMakeCallW(ownerLine_, &call, u"300", 0, &params), 0);
  DrainAll();
  EXPECT_EQ(NextState(owner_.app, call), LINECALLSTATE_DISCONNECTED);
  EXPECT_EQ(Switch().CallSnapshot(Switch().CallIdOf(call)).stateMode, LINEDISCONNECTMODE_NOANSWER);
}

TEST_F(CallControlTest, CallParametersReachTheCallInformation) {
  struct Block {
    LINECALLPARAMS params;
    char16_t party[4];
  } block{};
  block.params.dwTotalSize = sizeof(block);
  block.params.dwBearerMode = LINEBEARERMODE_VOICE;
  block.params.dwMediaMode = kVoice;
  block.params.dwAddressMode = LINEADDRESSMODE_ADDRESSID;
  std::memcpy(block.party, u"Bob", sizeof(block.party));
  block.params.dwCalledPartySize = sizeof(block.party);
  block.params.dwCalledPartyOffset = offsetof(Block, party);
  HCALL call = 0;
  ASSERT_GT(lineMakeCallW(ownerLine_, &call, u"300", 0, &block.params), 0);
  const tapi32::CallData data = Switch().CallSnapshot(Switch().CallIdOf(call));
  EXPECT_EQ(data.calledParty, u"Bob");
  EXPECT_EQ(data.caller.number, u"200");  // the line's own address
  EXPECT_EQ(data.caller.name, u"Alpha");
}

TEST_F(CallControlTest, CallDataAndMediaModeReachEveryApplication) {
  const uint32_t call = Connected();
  const uint8_t bytes[] = {1, 2, 3};
  ASSERT_GT(lineSetCallData(Mine(call), const_cast<uint8_t*>(bytes), 3), 0);
  EXPECT_TRUE(InfoFlags(DrainLine(watcher_.app), Theirs(call)) & LINECALLINFOSTATE_CALLDATA);
  EXPECT_EQ(Switch().CallSnapshot(call).callData, std::vector<uint8_t>({1, 2, 3}));
  std::vector<uint8_t> tooBig(4097);
  EXPECT_EQ(lineSetCallData(Mine(call), tooBig.data(), 4097), Code(LINEERR_INVALPARAM));

  EXPECT_EQ(lineSetMediaMode(Theirs(call), LINEMEDIAMODE_AUTOMATEDVOICE), Code(LINEERR_NOTOWNER));
  EXPECT_EQ(lineSetMediaMode(Mine(call), LINEMEDIAMODE_G3FAX), Code(LINEERR_INVALMEDIAMODE));
  EXPECT_EQ(lineSetMediaMode(Mine(call), LINEMEDIAMODE_UNKNOWN), 0);  // answered at once
  EXPECT_TRUE(InfoFlags(DrainLine(watcher_.app), Theirs(call)) & LINECALLINFOSTATE_MEDIAMODE);
  EXPECT_EQ(Switch().CallSnapshot(call).mediaMode, LINEMEDIAMODE_UNKNOWN);
}

}  // namespace
}  // namespace tapi32_test
