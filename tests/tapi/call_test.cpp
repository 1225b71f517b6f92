// Call objects: their state tracking, times and histories as a call goes through its life,
// the information cache and parties, the automatic clean-up, the call list's look-up by
// handle, and the requests that hold a call which is freed before their reply.
#include <gtest/gtest.h>

#include "line_test_support.h"
#include "tapi/requests.h"

namespace zvtapi::testing {
namespace {

using CallTracking = LineTest;

TEST_F(CallTracking, StatesModesTimesAndHistoriesOfAnIncomingCall) {
  LineUnderTest line;
  OpenOn(line, 0);
  bool wasIncomingDuringOffering = true;
  bool isIncomingDuringOffering = false;
  Cardinal historyDuringOffering = 0xFFFF;
  line.SetOnOffering([&](TzvTapiLine*, TzvTapiCall* call) {
    wasIncomingDuringOffering = call->WasIncoming();
    isIncomingDuringOffering = call->IsIncoming();
    historyDuringOffering = call->StateHistory();
  });
  const uint32_t id = Switch().OfferCall(0, 0, Caller("301", "Ann"));
  ASSERT_TRUE(PumpUntil([&] { return historyDuringOffering != 0xFFFF; }));
  TzvTapiCall* call = line.OnlyCall();
  ASSERT_NE(call, nullptr);
  EXPECT_TRUE(isIncomingDuringOffering);
  EXPECT_FALSE(wasIncomingDuringOffering) << "the history lags behind the events";
  EXPECT_EQ(historyDuringOffering, 0u);
  EXPECT_EQ(call->StateHistory(), LINECALLSTATE_OFFERING);
  EXPECT_EQ(call->OfferingMode(), LINEOFFERINGMODE_ACTIVE);
  EXPECT_TRUE(call->Alive());
  EXPECT_NE(call->BeginTime(), TDateTime{});
  EXPECT_TRUE(call->Active());

  Switch().SetCallState(id, LINECALLSTATE_CONNECTED);
  ASSERT_TRUE(PumpUntil([&] { return call->StateHistory() & LINECALLSTATE_CONNECTED; }));
  const TDateTime firstConnect = call->ConnectTime();
  Switch().SetCallState(id, LINECALLSTATE_ONHOLD);
  ASSERT_TRUE(PumpUntil([&] { return call->IsHeld(); }));
  EXPECT_FALSE(call->Active());
  Switch().SetCallState(id, LINECALLSTATE_CONNECTED);
  ASSERT_TRUE(PumpUntil([&] { return call->IsConnected(); }));
  EXPECT_GE(call->ConnectTime(), firstConnect);
  EXPECT_TRUE(call->WasHeld());

  line.Options().SetAutoFreeIdleCalls(-1);
  line.Options().SetAutoDropDiscCalls(-1);
  Switch().RemoteHangUp(id, LINEDISCONNECTMODE_BUSY);
  ASSERT_TRUE(PumpUntil([&] { return call->State() == LINECALLSTATE_DISCONNECTED; }));
  EXPECT_EQ(call->DisconnectMode(), LINEDISCONNECTMODE_BUSY);
  Switch().SetCallState(id, LINECALLSTATE_IDLE);
  ASSERT_TRUE(PumpUntil([&] { return !call->Alive(); }));
  EXPECT_NE(call->EndTime(), TDateTime{});
  EXPECT_TRUE(call->WasConnected()) << "the history survives the end of the call";
  EXPECT_TRUE(call->WasDisconnected());
  EXPECT_TRUE(call->WasIncoming());
  EXPECT_FALSE(call->WasOutgoing());
}

TEST_F(CallTracking, AWholeIncomingCallFiresItsEventsInOrder) {
  LineUnderTest line;
  QuickCleanup(line);
  OpenOn(line, 0);
  EventLog log;
  log.Attach(line);
  TzvTapiCall* seen = nullptr;
  bool deallocated = false;
  line.SetOnCallDeallocate([&](TzvTapiLine*, TzvTapiCall* call) {
    log.Add("CallDeallocate");
    deallocated = call == seen;
  });
  line.SetOnNewCall([&](TzvTapiLine*, TzvTapiCall* call) {
    log.Add("NewCall");
    seen = call;
  });
  const uint32_t id = Switch().OfferCall(0, 0, Caller("301", "Ann"));
  ASSERT_TRUE(PumpUntil([&] { return log.Has("CallerID"); }));
  Switch().SetCallState(id, LINECALLSTATE_CONNECTED);
  Switch().RemoteHangUp(id);
  // The line drops the disconnected call by itself, the call goes idle and is freed.
  ASSERT_TRUE(PumpUntil([&] { return log.Has("CallDeallocate"); }));
  EXPECT_TRUE(deallocated);
  EXPECT_EQ(line.Calls().Count(), 0);

  auto position = [&](const std::string& event) {
    for (size_t i = 0; i < log.events.size(); ++i) {
      if (log.events[i] == event) return static_cast<int>(i);
    }
    return -1;
  };
  const std::vector<std::string> order = {
      "NewCall",       "CallBegin", "CallState 2",    "Offering",     "CallerID",
      "CallState 100", "Connected", "CallState 4000", "Disconnected", "CallState 1",
      "Idle",          "CallEnd",   "CallDeallocate"};
  for (size_t i = 1; i < order.size(); ++i) {
    EXPECT_LT(position(order[i - 1]), position(order[i])) << order[i - 1] << " before " << order[i];
  }
  EXPECT_EQ(position("CallBegin"), position("NewCall") + 1);
  EXPECT_EQ(position("Offering"), position("CallState 2") + 1);
  EXPECT_TRUE(log.errors.empty()) << log.errors.front();
}

TEST_F(CallTracking, ACallFirstSeenThroughItsStateGetsNoNewCallOrBegin) {
  // Below TAPI 2.0 there is no LINE_APPNEWCALL: a call the open has not adopted is announced by
  // its state alone.
  tapi32::sim::LineConfig old = Switch().LineConfigOf(0);
  old.apiHigh = 0x00010004;
  Switch().ChangeLine(0, old);
  LineUnderTest line;
  line.SetDeviceID(0);
  const uint32_t id = Switch().OfferCall(0, 0, Caller("301", "Ann"));
  // Open without adopting the calls already there.
  Switch().FailNext("lineGetNewCalls", LINEERR_OPERATIONFAILED);
  OpenOn(line, 0);
  ASSERT_EQ(line.Calls().Count(), 0);
  EventLog log;
  log.Attach(line);
  Switch().SetCallState(id, LINECALLSTATE_ACCEPTED);
  ASSERT_TRUE(PumpUntil([&] { return log.Has("Accepted"); }));
  EXPECT_FALSE(log.Has("NewCall"));
  EXPECT_FALSE(log.Has("CallBegin"));
  ASSERT_NE(line.OnlyCall(), nullptr);
  EXPECT_TRUE(line.OnlyCall()->Alive()) << "alive from its creation";
}

TEST_F(CallTracking, AHandlerThatFreesTheCallEndsTheStateReport) {
  LineUnderTest line;
  OpenOn(line, 0);
  EventLog log;
  log.Attach(line);
  line.SetOnCallState([&](TzvTapiLine*, TzvTapiCall* call, Cardinal state) {
    log.Add("CallState " + EventLog::Hex(state));
    if (state == LINECALLSTATE_CONNECTED) delete call;
  });
  const uint32_t id = Switch().OfferCall(0, 0, Caller("301", "Ann"));
  ASSERT_TRUE(PumpUntil([&] { return log.Has("Offering"); }));
  Switch().SetCallState(id, LINECALLSTATE_CONNECTED);
  ASSERT_TRUE(PumpUntil([&] { return log.Has("CallState 100"); }));
  PumpFor(20);
  EXPECT_FALSE(log.Has("Connected"));
  EXPECT_EQ(line.TimerEvents().Count(), 0);
}

TEST_F(CallTracking, AHandlerThatFreesTheCallOnNewCall) {
  LineUnderTest line;
  OpenOn(line, 0);
  EventLog log;
  log.Attach(line);
  line.SetOnNewCall([&](TzvTapiLine*, TzvTapiCall* call) {
    log.Add("NewCall");
    delete call;
  });
  Switch().OfferCall(0, 0, Caller("301", "Ann"));
  ASSERT_TRUE(PumpUntil([&] { return log.Has("NewCall"); }));
  PumpFor(20);
  EXPECT_FALSE(log.Has("CallBegin"));
}

TEST_F(CallTracking, AHandlerThatDropsTheCallInsideAnEvent) {
  LineUnderTest line;
  QuickCleanup(line);
  OpenOn(line, 0);
  EventLog log;
  log.Attach(line);
  line.SetOnConnected([&](TzvTapiLine*, TzvTapiCall* call) {
    log.Add("Connected");
    call->Drop("");  // waits for the reply; the call's later states arrive meanwhile
    log.Add("Dropped");
  });
  const uint32_t id = Switch().OfferCall(0, 0, Caller("301", "Ann"));
  ASSERT_TRUE(PumpUntil([&] { return log.Has("Offering"); }));
  Switch().SetCallState(id, LINECALLSTATE_CONNECTED);
  ASSERT_TRUE(PumpUntil([&] { return log.Has("CallDeallocate"); }));
  EXPECT_TRUE(log.Has("Dropped"));
  EXPECT_TRUE(log.Has("Idle"));
  EXPECT_EQ(line.Calls().Count(), 0);
  EXPECT_TRUE(log.errors.empty()) << log.errors.front();
}

TEST_F(CallTracking, InformationIsCachedUntilTapiReportsAChange) {
  LineUnderTest line;
  OpenOn(line, 0);
  EventLog log;
  log.Attach(line);
  const uint32_t id = Switch().OfferCall(0, 0, Caller("301", "Ann"));
  ASSERT_TRUE(PumpUntil([&] { return log.Has("CallerID"); }));
  TzvTapiCall* call = line.OnlyCall();
  ASSERT_NE(call, nullptr);
  EXPECT_EQ(call->CallerID()->Address(), "301");
  const uint32_t fetches = Switch().CallCount("lineGetCallInfoW");
  EXPECT_EQ(call->CallerID()->Name(), "Ann");
  EXPECT_EQ(call->CalledID()->Address(), "200");
  EXPECT_EQ(call->CallID(), id);
  EXPECT_EQ(Switch().CallCount("lineGetCallInfoW"), fetches) << "one fetch for every read";

  tapi32::sim::CallInfoChange change;
  change.caller = tapi32::sim::Party{"302", "Bob", 0};
  log.events.clear();
  Switch().SetCallInfo(id, change);
  ASSERT_TRUE(PumpUntil([&] { return log.Has("CallerID"); }));
  EXPECT_EQ(call->CallerID()->Address(), "302");
  EXPECT_EQ(Switch().CallCount("lineGetCallInfoW"), fetches + 1);
}

TEST_F(CallTracking, PartiesAndTheRemoteParty) {
  LineUnderTest line;
  OpenOn(line, 0);
  EventLog log;
  log.Attach(line);
  const uint32_t id = Switch().OfferCall(0, 0, Caller("301", "Ann"));
  ASSERT_TRUE(PumpUntil([&] { return log.Has("CallerID"); }));
  TzvTapiCall* call = line.OnlyCall();
  ASSERT_NE(call, nullptr);
  EXPECT_TRUE(call->CallerID()->AddressAvail());
  EXPECT_TRUE(call->CallerID()->NameAvail());
  EXPECT_EQ(call->RemoteID()->Address(), "301") << "the caller, while the call is offered";

  tapi32::sim::CallInfoChange change;
  change.connected = tapi32::sim::Party{"555", "Desk", 0};
  Switch().SetCallInfo(id, change);
  Switch().SetCallState(id, LINECALLSTATE_CONNECTED);
  ASSERT_TRUE(PumpUntil([&] { return log.Has("ConnectedID") && log.Has("Connected"); }));
  EXPECT_EQ(call->ConnectedID()->Name(), "Desk");
  EXPECT_EQ(call->RemoteID()->Address(), "555");
}

TEST_F(CallTracking, CleanUpSwitchedOffOrNeverDue) {
  LineUnderTest line;
  line.Options().SetAutoDropDiscCalls(-1);
  line.Options().SetAutoFreeIdleCalls(0);
  OpenOn(line, 0);
  EventLog log;
  log.Attach(line);
  const uint32_t id = Switch().OfferCall(0, 0, Caller("301", "Ann"));
  ASSERT_TRUE(PumpUntil([&] { return log.Has("Offering"); }));
  Switch().RemoteHangUp(id);
  ASSERT_TRUE(PumpUntil([&] { return log.Has("Disconnected"); }));
  EXPECT_EQ(line.TimerEvents().Count(), 0) << "-1: no drop is scheduled";

  Switch().SetCallState(id, LINECALLSTATE_IDLE);
  ASSERT_TRUE(PumpUntil([&] { return log.Has("Idle"); }));
  ASSERT_EQ(line.TimerEvents().Count(), 1);
  const TzvTapiRequest* event = line.TimerEvents().Get(0);
  EXPECT_EQ(event->FRequestType, TAPITIMER_FREEIDLECALL);
  EXPECT_EQ(event->FTimeout, 0u);
  EXPECT_FALSE(event->IsDue(event->FTickCount + 100000)) << "0: scheduled, never due";
  EXPECT_EQ(line.Calls().Count(), 1);

  line.Options().SetAutoFreeIdleCalls(-1);
  TzvTapiCall* call = line.OnlyCall();
  line.TimerEvents().RemoveAllRequests(nullptr);
  line.ScheduleFreeIdleCall(call);
  EXPECT_EQ(line.TimerEvents().Count(), 0) << "-1: nothing is scheduled";
}

TEST_F(CallTracking, AnIdleCallWithAPendingRequestIsFreedLater) {
  LineUnderTest line;
  QuickCleanup(line);
  OpenOn(line, 0);
  EventLog log;
  log.Attach(line);
  const uint32_t id = Switch().OfferCall(0, 0, Caller("301", "Ann"));
  ASSERT_TRUE(PumpUntil([&] { return log.Has("Offering"); }));
  TzvTapiCall* call = line.OnlyCall();
  TzvTapiRequest* pending = line.Requests().AddRequest(0, 0);
  pending->FRequestType = TAPIREQUEST_LINEANSWER;
  pending->SetObject(0, call);
  Switch().SetCallState(id, LINECALLSTATE_IDLE);
  ASSERT_TRUE(PumpUntil([&] { return log.Has("Idle"); }));
  // The idle timer fires, finds the request and schedules itself again, tick after tick.
  ASSERT_EQ(line.TimerEvents().Count(), 1);
  const Cardinal scheduled = line.TimerEvents().Get(0)->FTickCount;
  ASSERT_TRUE(PumpUntil([&] {
    return line.TimerEvents().Count() == 1 && line.TimerEvents().Get(0)->FTickCount != scheduled;
  }));
  EXPECT_FALSE(log.Has("CallDeallocate"));
  line.Requests().RemoveAllRequests(nullptr);
  ASSERT_TRUE(PumpUntil([&] { return log.Has("CallDeallocate"); }));
}

TEST_F(CallTracking, CallWithoutHandleStaysUnconfirmedUntilTapiGivesOne) {
  LineUnderTest line;
  OpenOn(line, 0);
  auto* made = new MadeCall(&line, 0);
  EXPECT_FALSE(made->Valid());
  EXPECT_FALSE(made->Active());
  EXPECT_EQ(made->State(), 0u);
  EXPECT_FALSE(line.IsCallValid(made));
  EXPECT_TRUE(line.UnconfirmedCalls().Contains(made));

  // TAPI fills the handle in; the call is found by it and moves into Calls.
  made->GiveHandle(0x7777);
  EXPECT_EQ(line.FindCall(0x7777, false), made);
  EXPECT_TRUE(line.IsCallValid(made));
  EXPECT_FALSE(line.UnconfirmedCalls().Contains(made));
  made->Deallocate();
  EXPECT_EQ(line.Calls().ByHandle(0x7777), nullptr);
  delete made;
  EXPECT_EQ(line.Calls().Count(), 0);
}

TEST_F(CallTracking, CreatingACallNeedsALine) {
  try {
    TzvTapiCall call(nullptr, 1);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "TzvTapiCall.Create failed! Invalid Line");
  }
}

TEST_F(CallTracking, NotesIgnoreLetterCaseAndEmptyValuesRemoveThem) {
  LineUnderTest line;
  auto* call = new MadeCall(&line, 0);
  call->Set_Note("a", "1");
  EXPECT_EQ(call->Get_Note("A"), "1");
  call->Set_Note("A", "2");
  EXPECT_EQ(call->NotesList().Count(), 1);
  call->Set_Note("a", "");
  EXPECT_EQ(call->NotesList().Count(), 0);
  delete call;
}

TEST_F(CallTracking, LinksToAFreedCallAreDropped) {
  LineUnderTest line;
  auto* primary = new MadeCall(&line, 0);
  auto* consult = new MadeCall(&line, 0);
  primary->SetConsultCall(consult);
  consult->SetPrimaryCall(primary);
  delete primary;
  EXPECT_EQ(consult->GetPrimaryCall(), nullptr);
  delete consult;
}

// ---------------------------------------------------------------------------------------------
// The call list

TEST_F(CallTracking, TheListFindsCallsByHandleAsHandlesChange) {
  LineUnderTest line;
  auto* a = new MadeCall(&line, 0);
  auto* b = new MadeCall(&line, 0);
  TzvTapiCallList list;
  EXPECT_EQ(list.Add(nullptr), -1);
  EXPECT_EQ(list.Add(a), 0);
  EXPECT_EQ(list.Add(b), 1);
  EXPECT_EQ(list.Add(a), 0) << "already listed";
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.ByHandle(5), nullptr);
  b->GiveHandle(5);
  EXPECT_EQ(list.ByHandle(5), b);
  a->GiveHandle(5);  // two calls with one handle: the first entry wins
  b->GiveHandle(6);
  EXPECT_EQ(list.ByHandle(5), a);
  EXPECT_EQ(list.ByHandle(6), b);
  list.Remove(a);
  EXPECT_EQ(list.ByHandle(5), nullptr);
  EXPECT_EQ(list.IndexOf(b), 0);
  TzvTapiCallList copy;
  copy.Assign(list);
  EXPECT_EQ(copy.ByHandle(6), b);
  a->GiveHandle(0);
  b->GiveHandle(0);
  delete a;
  delete b;
}

TEST_F(CallTracking, ByHandleAnswersTheFirstListedOfCallsSharingAHandle) {
  LineUnderTest line;
  auto* first = new MadeCall(&line, 0);
  auto* second = new MadeCall(&line, 0);
  auto* third = new MadeCall(&line, 0);
  TzvTapiCallList list;
  list.Add(first);  // no handle yet, like a call an operation is making
  list.Add(second);
  second->GiveHandle(5);
  ASSERT_EQ(list.ByHandle(5), second);
  // TAPI writes the handle into the first call while the second one still carries it.
  first->GiveHandle(5);
  EXPECT_EQ(list.ByHandle(5), first);
  EXPECT_EQ(list.ByHandle(5), first) << "asking again changes nothing";
  third->GiveHandle(5);
  list.Put(0, third);
  EXPECT_EQ(list.ByHandle(5), third);
  // Listed in the other order, the same calls give the other answer.
  TzvTapiCallList reversed;
  reversed.Add(second);
  reversed.Add(first);
  EXPECT_EQ(reversed.ByHandle(5), second);
  reversed.Remove(second);
  EXPECT_EQ(reversed.ByHandle(5), first);
  first->GiveHandle(0);
  EXPECT_EQ(reversed.ByHandle(5), nullptr);
  EXPECT_EQ(reversed.ByHandle(0), first);
  delete first;
  delete second;
  delete third;
}

TEST_F(CallTracking, AFreedCallLeavesEveryListThatHoldsIt) {
  LineUnderTest line;
  OpenOn(line, 0);
  Switch().OfferCall(0, 0, Caller("301", "Ann"));
  ASSERT_TRUE(PumpUntil([&] { return line.OnlyCall() != nullptr; }));
  TzvTapiCall* offered = line.OnlyCall();
  const Cardinal handle = offered->Handle();
  auto* kept = new MadeCall(&line, 0);
  TzvTapiCallList mine;
  TzvTapiCallList other;
  mine.Add(offered);
  mine.Add(kept);
  other.Add(offered);
  {
    // A list that goes first lets go of its calls.
    TzvTapiCallList shortLived;
    shortLived.Add(kept);
  }
  const Cardinal removals = mine.Removals();
  delete offered;
  EXPECT_EQ(mine.Count(), 1);
  EXPECT_EQ(mine.Get(0), kept);
  EXPECT_NE(mine.Removals(), removals);
  EXPECT_EQ(mine.ByHandle(handle), nullptr);
  EXPECT_EQ(other.Count(), 0);
  // Lists and the line answer questions about the freed object without looking into it.
  EXPECT_FALSE(mine.Contains(offered));
  EXPECT_EQ(mine.IndexOf(offered), -1);
  EXPECT_FALSE(line.IsCallValid(offered));
  EXPECT_FALSE(line.CheckCall(offered, ""));
  EXPECT_TRUE(line.UnconfirmedCalls().Contains(kept));
  delete kept;
  EXPECT_EQ(mine.Count(), 0);
  EXPECT_EQ(line.UnconfirmedCalls().Count(), 0);
}

TEST_F(CallTracking, TheHandleTableKeepsFindingCallsAsManyComeAndGo) {
  LineUnderTest line;
  TzvTapiCallList list;
  // Handles that count upwards mixed with handles that differ only in their high bits.
  auto handleOf = [](Cardinal i) { return i % 2 ? 0x10000 + i : (i << 16) | 1; };
  std::vector<MadeCall*> calls;
  for (Cardinal i = 0; i < 600; ++i) {
    auto* call = new MadeCall(&line, 0);
    call->GiveHandle(handleOf(i));
    list.Add(call);
    calls.push_back(call);
  }
  for (size_t i = 0; i < calls.size(); i += 3) {
    delete calls[i];
    calls[i] = nullptr;
  }
  for (Cardinal i = 0; i < calls.size(); ++i)
    ASSERT_EQ(list.ByHandle(handleOf(i)), calls[i]) << "call " << i;
  EXPECT_EQ(list.Count(), 400);
  for (MadeCall* call : calls)
    delete call;
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.ByHandle(handleOf(1)), nullptr);
}

// ---------------------------------------------------------------------------------------------
// A request that holds a call in a further slot

// Remembers every reply it is told about; a freed one must never be told.
class ReplyRecordingCall : public TzvTapiCall {
 public:
  using TzvTapiCall::TzvTapiCall;
  void ReplyReceived(Cardinal RequestID, Integer ReplyCode, TzvTapiRequest* Request) override {
    replies.push_back(RequestID);
    TzvTapiCall::ReplyReceived(RequestID, ReplyCode, Request);
  }
  void RequestTimedOut(Cardinal RequestID, TzvTapiRequest* Request) override {
    timeouts.push_back(RequestID);
    TzvTapiCall::RequestTimedOut(RequestID, Request);
  }
  void GiveHandle(Cardinal handle) { *HandlePlace() = handle; }
  std::vector<Cardinal> replies;
  std::vector<Cardinal> timeouts;
};

class FreedCallInRequest : public LineTest,
                           public ::testing::WithParamInterface<std::pair<Cardinal, int>> {};

TEST_P(FreedCallInRequest, ReplyAndTimeOutNeverReachTheFreedCall) {
  const auto [type, slot] = GetParam();
  LineUnderTest line;
  line.SetCallClass(&CallClassOf<ReplyRecordingCall>);
  OpenOn(line, 0);
  Switch().OfferCall(0, 0, Caller("301", "Ann"));
  ASSERT_TRUE(PumpUntil([&] { return line.Calls().Count() == 1; }));
  auto* first = static_cast<ReplyRecordingCall*>(line.OnlyCall());
  auto* made = new ReplyRecordingCall(&line, 0);

  // The same request twice: one answered by TAPI, one given up after its time-out.
  TzvTapiRequest* replied = line.Requests().AddRequest(900, 60000);
  TzvTapiRequest* expiring = line.Requests().AddRequest(901, 1);
  for (TzvTapiRequest* request : {replied, expiring}) {
    request->FRequestType = type;
    request->SetObject(0, first);
    request->SetObject(slot, made);
  }
  delete made;
  EXPECT_EQ(replied->GetObject(slot), nullptr);
  EXPECT_EQ(expiring->GetObject(slot), nullptr);

  PostLine(line.Handle(), LINE_REPLY, line.CallbackInstance(), 900, LINEERR_OPERATIONFAILED);
  ASSERT_TRUE(PumpUntil([&] { return line.Requests().Count() == 0; }));
  EXPECT_EQ(first->replies, std::vector<Cardinal>{900});
  EXPECT_EQ(first->timeouts, std::vector<Cardinal>{901});
}

INSTANTIATE_TEST_SUITE_P(SecondAndThirdSlots, FreedCallInRequest,
                         ::testing::Values(std::pair{TAPIREQUEST_LINESETUPTRANSFER, 1},
                                           std::pair{TAPIREQUEST_LINEPREPAREADDTOCONFERENCE, 1},
                                           std::pair{TAPIREQUEST_LINESETUPCONFERENCE, 2},
                                           std::pair{TAPIREQUEST_LINECOMPLETETRANSFER, 2},
                                           std::pair{TAPIREQUEST_LINEADDTOCONFERENCE, 1},
                                           std::pair{TAPIREQUEST_LINESWAPHOLD, 1}));

TEST_F(CallTracking, AFailedCallCreatingReplyFreesTheUnbornCallsOnly) {
  LineUnderTest line;
  line.SetCallClass(&CallClassOf<ReplyRecordingCall>);
  OpenOn(line, 0);
  Switch().OfferCall(0, 0, Caller("301", "Ann"));
  ASSERT_TRUE(PumpUntil([&] { return line.Calls().Count() == 1; }));
  TzvTapiCall* existing = line.OnlyCall();
  auto* conference = new ReplyRecordingCall(&line, 0);
  auto* consultation = new ReplyRecordingCall(&line, 0);
  TzvTapiRequest* request = line.Requests().AddRequest(902, 60000);
  request->FRequestType = TAPIREQUEST_LINESETUPCONFERENCE;
  request->SetObject(0, existing);
  request->SetObject(1, conference);
  request->SetObject(2, consultation);
  std::vector<Cardinal> replies;
  line.SetOnTapiReply([&](TObject*, Cardinal id, Cardinal) {
    // The reply event comes before the unborn calls are freed.
    replies.push_back(line.UnconfirmedCalls().Count() == 2 ? id : 0);
  });
  PostLine(line.Handle(), LINE_REPLY, line.CallbackInstance(), 902, LINEERR_RESOURCEUNAVAIL);
  ASSERT_TRUE(PumpUntil([&] { return line.Requests().Count() == 0; }));
  EXPECT_EQ(replies, std::vector<Cardinal>{902});
  EXPECT_EQ(line.UnconfirmedCalls().Count(), 0);
  EXPECT_TRUE(line.IsCallValid(existing));
}

TEST_F(CallTracking, AReplyHandlerThatClosesTheLine) {
  LineUnderTest line;
  OpenOn(line, 0);
  auto* made = new ReplyRecordingCall(&line, 0);
  TzvTapiRequest* request = line.Requests().AddRequest(904, 60000);
  request->FRequestType = TAPIREQUEST_LINEMAKECALL;
  request->SetObject(0, made);
  bool replied = false;
  line.SetOnTapiReply([&](TObject*, Cardinal, Cardinal) {
    replied = true;
    line.Close();  // frees the request and the call the reply is still being handled for
  });
  PostLine(line.Handle(), LINE_REPLY, line.CallbackInstance(), 904, LINEERR_CALLUNAVAIL);
  ASSERT_TRUE(PumpUntil([&] { return replied; }));
  EXPECT_EQ(line.UnconfirmedCalls().Count(), 0);
  EXPECT_EQ(line.Requests().Count(), 0);
}

TEST_F(CallTracking, ASuccessfulReplyConfirmsTheNewCall) {
  LineUnderTest line;
  line.Options().SetSyncMode(false);
  OpenOn(line, 0);
  auto* made = new ReplyRecordingCall(&line, 0);
  TzvTapiRequest* request = line.Requests().AddRequest(903, 60000);
  request->FRequestType = TAPIREQUEST_LINEMAKECALL;
  request->SetObject(0, made);
  made->GiveHandle(0x5151);  // TAPI wrote the handle when it completed the request
  PostLine(line.Handle(), LINE_REPLY, line.CallbackInstance(), 903, 0);
  ASSERT_TRUE(PumpUntil([&] { return line.Requests().Count() == 0; }));
  EXPECT_TRUE(made->Confirmed());
  EXPECT_TRUE(line.IsCallValid(made));
  EXPECT_EQ(made->replies, std::vector<Cardinal>{903});
  made->GiveHandle(0);  // not a handle TAPI knows
  delete made;
}

}  // namespace
}  // namespace zvtapi::testing
