// Asynchronous requests: the request list, notes and pseudo-notes, reply matching, time-outs
// and timer events on ticks (across the wrap of the tick count), and the synchronous wait for a
// reply with its time-out, abort and nesting.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "device_test_support.h"
#include "tapi/call.h"

namespace zvtapi::testing {
namespace {

std::vector<Cardinal> IDs(const TzvTapiRequestList& list) {
  std::vector<Cardinal> ids;
  for (int i = 0; i < list.Count(); ++i)
    ids.push_back(list.Get(i)->FID);
  return ids;
}

TEST(RequestList, ZeroOrNegativeIDTakesTheSmallestFreeOne) {
  TzvTapiRequestList list;
  EXPECT_EQ(list.AddRequest(0, 100)->FID, 1u);
  list.Clear();
  for (Integer id : {4, 2, 1})
    list.AddRequest(id, 100);
  TzvTapiRequest* added = list.AddRequest(0, 250);
  EXPECT_EQ(added->FID, 3u);
  EXPECT_EQ(added->Timeout(), 250u);
  EXPECT_EQ(added->RequestType(), 0u);
  EXPECT_EQ(added->GetObject(0), nullptr);
  EXPECT_EQ(list.AddRequest(-7, 0)->FID, 5u);
  EXPECT_EQ(list.AddRequest(9, 0)->FID, 9u);
  EXPECT_EQ(IDs(list), (std::vector<Cardinal>{4, 2, 1, 3, 5, 9}));
}

TEST(RequestList, IndexOfRequestMatchesEveryGivenCriterionAndZeroMatchesAnything) {
  TzvTapiRequestList list;
  FakeLine line;
  TzvTapiCall& callA = *new TzvTapiCall(&line, 0);  // the line frees its calls
  TzvTapiCall& callB = *new TzvTapiCall(&line, 0);
  auto add = [&](Integer id, Cardinal type, TObject* obj0, TObject* obj1 = nullptr) {
    TzvTapiRequest* r = list.AddRequest(id, 0);
    r->SetRequestType(type);
    r->SetObject(0, obj0);
    r->SetObject(1, obj1);
  };
  add(10, TAPIREQUEST_LINEANSWER, &callA);
  add(11, TAPIREQUEST_LINEDROP, &callB, &callA);
  add(12, TAPIREQUEST_LINEDROP, &callA);

  EXPECT_EQ(list.IndexOfRequest(0, 0, nullptr), 0);
  EXPECT_EQ(list.IndexOfRequest(12, 0, nullptr), 2);
  EXPECT_EQ(list.IndexOfRequest(0, TAPIREQUEST_LINEDROP, nullptr), 1);
  EXPECT_EQ(list.IndexOfRequest(0, TAPIREQUEST_LINEDROP, &callA), 2)
      << "only object 0 counts, object 1 of request 11 does not";
  EXPECT_EQ(list.IndexOfRequest(10, TAPIREQUEST_LINEDROP, nullptr), -1);
  EXPECT_EQ(list.IndexOfRequest(13, 0, nullptr), -1);
  EXPECT_EQ(list.GetRequest(0), list.Get(0)) << "ID 0 matches the first request";
  EXPECT_EQ(list.GetRequest(11), list.Get(1));
  EXPECT_EQ(list.GetRequest(99), nullptr);
  EXPECT_EQ(list.IndexOfID(0), -1) << "IndexOfID compares exactly";
  EXPECT_EQ(list.IndexOfID(12), 2);

  list.RemoveAllRequests(&callA);
  EXPECT_EQ(IDs(list), std::vector<Cardinal>{11});
  list.RemoveAllRequests(nullptr);
  EXPECT_EQ(list.Count(), 0);
}

TEST(Request, NotesIgnoreCaseAndAnEmptyValueRemovesThem) {
  TzvTapiRequest request(1, 0);
  FakeLine line;
  TzvTapiCall& call = *new TzvTapiCall(&line, 0);  // the line frees its calls
  request.SetObject(2, &call);
  EXPECT_EQ(request.Get_Call(2), &call);
  EXPECT_EQ(request.Get_Call(0), nullptr);
  request.SetObject(0, &request);
  EXPECT_EQ(request.Get_Call(0), nullptr) << "not a call";

  request.Set_Note("Customer", "Smith");
  request.Set_Note("CUSTOMER", "Jones");
  EXPECT_EQ(request.Get_Note("customer"), "Jones");
  EXPECT_EQ(request.FNotes.Count(), 1);
  request.Set_Note("customer", "");
  EXPECT_EQ(request.FNotes.Count(), 0);
  EXPECT_EQ(request.Get_Note("Customer"), "");
}

TEST(DevSpecificData, KeepsAPrivateCopyOfTheBlock) {
  uint8_t block[4] = {1, 2, 3, 4};
  TzvTapiLineDevSpecificData data(block, sizeof(block));
  block[0] = 99;
  ASSERT_EQ(data.DataSize(), 4u);
  EXPECT_EQ(static_cast<const uint8_t*>(data.Data())[0], 1);
  EXPECT_NE(data.Data(), static_cast<void*>(block));

  TzvTapiDevSpecificDataList list;
  list.Add(std::make_unique<TzvTapiDevSpecificData>(block, 2));
  list.Add(std::make_unique<TzvTapiLineDevSpecificFeatureData>(nullptr, 0));
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

// ---------------------------------------------------------------------------------------------

using RequestNotes = TapiTest;

template <class T>
T NoteAs(const TzvTapiNoteValue& value) {
  EXPECT_TRUE(std::holds_alternative<T>(value));
  return std::holds_alternative<T>(value) ? std::get<T>(value) : T{};
}

std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "(no exception)";
}

TEST_F(RequestNotes, RequestObjectsByIdentifier) {
  TestLine line;
  TzvTapiCall& call = *new TzvTapiCall(&line, 0);  // the line frees its calls
  TzvTapiRequest* request = line.Requests().AddRequest(7, 0);
  request->SetObject(0, &call);
  EXPECT_EQ(line.GetRequestObj(7, "&CALL"), &call);
  EXPECT_EQ(line.GetRequestObj(7, ""), nullptr);
  EXPECT_EQ(MessageOf([&] { line.GetRequestObj(7, "&Address"); }),
            "GetRequestObj failed! Invalid Object Identifier. (RequestID 7)");
  EXPECT_EQ(MessageOf([&] { line.GetRequestObj(8, "&Call"); }),
            "GetRequestObj failed! Request not found.");
}

TEST_F(RequestNotes, PseudoNotesReadTheRequestsObjects) {
  TestLine line;
  TzvTapiCall& call = *new TzvTapiCall(&line, 0);  // the line frees its calls
  TzvTapiRequest* answer = line.Requests().AddRequest(1, 0);
  answer->SetRequestType(TAPIREQUEST_LINEANSWER);
  answer->SetObject(0, &call);
  EXPECT_EQ(NoteAs<Integer>(line.GetRequestNote(1, "&tapirequest")),
            static_cast<Integer>(TAPIREQUEST_LINEANSWER));
  EXPECT_EQ(NoteAs<uint64_t>(line.GetRequestNote(1, "&call")), reinterpret_cast<uintptr_t>(&call));
  EXPECT_EQ(MessageOf([&] { line.GetRequestNote(1, "&Data"); }),
            "GetRequestNote failed! Invalid Identifier: &Data.");

  const uint8_t bytes[3] = {0xA, 0xB, 0xC};
  TzvTapiLineDevSpecificData data(bytes, 3);
  data.SetCall(&call);
  TzvTapiRequest* devSpecific = line.Requests().AddRequest(2, 0);
  devSpecific->SetRequestType(TAPIREQUEST_LINEDEVSPECIFIC);
  devSpecific->SetObject(0, &data);
  EXPECT_EQ(NoteAs<std::vector<uint8_t>>(line.GetRequestNote(2, "&DATA")),
            (std::vector<uint8_t>{0xA, 0xB, 0xC}));
  EXPECT_EQ(NoteAs<uint64_t>(line.GetRequestNote(2, "&Call")), reinterpret_cast<uintptr_t>(&call));
  EXPECT_EQ(NoteAs<uint64_t>(line.GetRequestNote(2, "&Address")), 0u);

  TzvTapiLineDevSpecificFeatureData feature(bytes, 2);
  TzvTapiRequest* featureRequest = line.Requests().AddRequest(3, 0);
  featureRequest->SetRequestType(TAPIREQUEST_LINEDEVSPECIFICFEATURE);
  featureRequest->SetObject(0, &feature);
  EXPECT_EQ(NoteAs<std::vector<uint8_t>>(line.GetRequestNote(3, "&Data")),
            (std::vector<uint8_t>{0xA, 0xB}));
  EXPECT_EQ(MessageOf([&] { line.GetRequestNote(3, "&Call"); }),
            "GetRequestNote failed! Invalid Identifier: &Call.");
  EXPECT_EQ(MessageOf([&] { line.GetRequestNote(4, "&TapiRequest"); }),
            "GetRequestNote failed! Request not found!");
}

TEST_F(RequestNotes, NotesAreStoredAsTextAndAnEmptyOneReadsAsIntegerZero) {
  TestLine line;
  line.Requests().AddRequest(5, 0);
  EXPECT_EQ(NoteAs<Integer>(line.GetRequestNote(5, "Customer")), 0) << "absent note";
  line.SetRequestNote(5, "Customer", std::string("Smith"));
  EXPECT_EQ(NoteAs<std::string>(line.GetRequestNote(5, "CUSTOMER")), "Smith");
  line.SetRequestNote(5, "Attempts", Integer{-3});
  EXPECT_EQ(NoteAs<std::string>(line.GetRequestNote(5, "Attempts")), "-3");
  line.SetRequestNote(5, "Customer", std::string());
  EXPECT_EQ(NoteAs<Integer>(line.GetRequestNote(5, "Customer")), 0);
  EXPECT_EQ(line.GetRequest(5)->FNotes.Count(), 1) << "the empty note disappeared";
}

TEST_F(RequestNotes, PseudoNotesCannotBeWrittenEvenForAnUnknownRequest) {
  TestLine line;
  EXPECT_EQ(MessageOf([&] { line.SetRequestNote(99, "&Call", Integer{1}); }),
            "SetRequestIdent failed! Invalid Identifier: &Call.");
  EXPECT_EQ(MessageOf([&] { line.SetRequestNote(99, "Note", Integer{1}); }),
            "SetRequestIdent failed! Request not found!");
}

// ---------------------------------------------------------------------------------------------

using Replies = TapiTest;

TEST_F(Replies, AFoundRequestIsHandledAndFreedAnUnknownOneOnlyFiresTheEvent) {
  TestLine line;
  OpenOn(line, 0);
  std::vector<std::pair<Cardinal, Cardinal>> events;
  line.SetOnTapiReply([&](TObject*, Cardinal id, Cardinal code) { events.emplace_back(id, code); });
  line.Requests().AddRequest(3, 0);
  line.TapiReply(3, static_cast<Integer>(LINEERR_OPERATIONUNAVAIL));
  EXPECT_EQ(line.replies.size(), 1u);
  EXPECT_EQ(line.Requests().Count(), 0);
  line.TapiReply(3, 0);  // late: the request is gone
  EXPECT_EQ(line.replies.size(), 1u) << "HandleReply only for a pending request";
  EXPECT_EQ(events,
            (std::vector<std::pair<Cardinal, Cardinal>>{{3, LINEERR_OPERATIONUNAVAIL}, {3, 0}}));
}

// ---------------------------------------------------------------------------------------------

using Timeouts = TapiTest;

TEST_F(Timeouts, ADueRequestIsGivenUpOnceOnTheTick) {
  uint32_t now = 1000;
  platform::SetTickSource([&] { return now; });
  TestLine line;
  line.Open();
  std::vector<Cardinal> fired;
  line.SetOnTapiTimeout([&](TObject*, Cardinal id) { fired.push_back(id); });
  line.Requests().AddRequest(1, 300);
  line.Requests().AddRequest(2, 0);  // never expires
  line.Requests().AddRequest(3, 300)->FHandled = true;
  line.Requests().AddRequest(4, 500);

  line.CheckTimeouts(1299);
  EXPECT_TRUE(line.timeouts.empty());
  line.CheckTimeouts(1300);
  EXPECT_EQ(line.timeouts, std::vector<Cardinal>{1});
  line.CheckTimeouts(1400);
  EXPECT_EQ(line.timeouts, std::vector<Cardinal>{1}) << "given up once";
  line.CheckTimeouts(0x7FFFFFFF);
  EXPECT_EQ(line.timeouts, (std::vector<Cardinal>{1, 4})) << "the walk goes on after a removal";
  EXPECT_EQ(fired, (std::vector<Cardinal>{1, 4}));
  EXPECT_EQ(IDs(line.Requests()), (std::vector<Cardinal>{2, 3}))
      << "time-out 0 waits for ever, a handled request is left alone";

  line.Close();
  line.Requests().AddRequest(5, 10);
  line.CheckTimeouts(5000);
  EXPECT_EQ(line.timeouts.back(), 5u);
  EXPECT_EQ(fired.size(), 2u) << "OnTapiTimeout only while open";
}

TEST_F(Timeouts, RequestsMadeJustBeforeTheTickCountWrapsWaitTheirFullTime) {
  uint32_t now = 0xFFFFFF00;
  platform::SetTickSource([&] { return now; });
  TestLine line;
  line.Requests().AddRequest(1, 1000);
  EXPECT_EQ(line.Requests().Get(0)->FTickCount, 0xFFFFFF00u);
  for (Cardinal tick : {0xFFFFFF00u, 0xFFFFFFF0u, 0x00000010u, 0x000002E7u}) {
    line.CheckTimeouts(tick);
    EXPECT_TRUE(line.timeouts.empty()) << "not due at 0x" << std::hex << tick;
  }
  line.CheckTimeouts(0x000002F0);
  EXPECT_EQ(line.timeouts, std::vector<Cardinal>{1});
}

TEST_F(Timeouts, TimerEventsLeaveTheListBeforeTheirHandlerRuns) {
  uint32_t now = 50;
  platform::SetTickSource([&] { return now; });
  TestLine line;
  line.TimerEvents().AddRequest(0, 500)->SetRequestType(TAPITIMER_FREEIDLECALL);
  line.TimerEvents().AddRequest(0, 0);                           // never fires
  line.TimerEvents().AddRequest(0, static_cast<Cardinal>(-20));  // a negative delay: next tick
  line.TimerEvents().AddRequest(0, 100);

  line.CheckTimeouts(51);
  EXPECT_EQ(line.timerEvents, std::vector<Cardinal>{3});
  line.CheckTimeouts(550);
  EXPECT_EQ(line.timerEvents, (std::vector<Cardinal>{3, 1, 4}));
  EXPECT_EQ(line.timerEventsStillListed, 0);
  EXPECT_EQ(IDs(line.TimerEvents()), std::vector<Cardinal>{2});
  line.CheckTimeouts(0x7FFFFFFF);
  EXPECT_EQ(line.timerEvents.size(), 3u);
}

TEST_F(Timeouts, ALockedRequestListIsLeftForTheNextTick) {
  uint32_t now = 0;
  platform::SetTickSource([&] { return now; });
  TestLine line;
  line.Requests().AddRequest(1, 10);
  line.TimerEvents().AddRequest(0, 10);
  std::atomic<bool> locked{false}, release{false};
  std::thread holder([&] {
    TLockGuard lock(line.Requests(), 5000);
    locked = true;
    while (!release)
      platform::Sleep(1);
  });
  while (!locked)
    platform::Sleep(1);
  line.CheckTimeouts(100);
  EXPECT_TRUE(line.timeouts.empty());
  EXPECT_EQ(line.timerEvents.size(), 1u) << "the other list is not held up";
  release = true;
  holder.join();
  line.CheckTimeouts(100);
  EXPECT_EQ(line.timeouts, std::vector<Cardinal>{1});
}

// ---------------------------------------------------------------------------------------------

class SyncWait : public TapiTest {
 protected:
  void SetUp() override {
    TapiTest::SetUp();
    OpenOn(line, 0);
    line.SetOnTapiReply([this](TObject*, Cardinal id, Cardinal) {
      events.push_back("reply " + std::to_string(id));
    });
  }
  void TearDown() override {
    line.SetActive(false);
    TapiTest::TearDown();
  }
  void Reply(Cardinal requestID, Cardinal code) {
    PostLine(0, LINE_REPLY, line.CallbackInstance(), requestID, code);
  }
  // Waits (without dispatching anything) until the event thread has queued n messages.
  static bool QueuedMessages(int n) {
    return PumpUntilQueued([n] {
      TLockGuard lock(Appl().MsgStack(), 100);
      return lock && Appl().MsgStack().Count() == n;
    });
  }
  static bool PumpUntilQueued(const std::function<bool()>& condition) {
    for (int i = 0; i < 10000; ++i) {
      if (condition()) return true;
      platform::Sleep(1);
    }
    return false;
  }

  TestLine line;
  std::vector<std::string> events;
};

TEST_F(SyncWait, TheReplyEndsTheWaitWithItsCode) {
  line.Requests().AddRequest(21, 60000);
  Reply(21, 0);
  EXPECT_EQ(CheckRequest(&line, 21), 0);
  EXPECT_EQ(line.LastRequestID(), 21u);
  EXPECT_EQ(events, std::vector<std::string>{"reply 21"});
  EXPECT_EQ(line.Requests().Count(), 0);
  EXPECT_EQ(Appl().NumWaitProcs(), 0);
}

TEST_F(SyncWait, AnErrorReplyIsRaisedAfterOnTapiReplyFired) {
  line.Requests().AddRequest(22, 60000);
  Reply(22, LINEERR_OPERATIONUNAVAIL);
  try {
    CheckRequest(&line, 22);
    FAIL() << "no exception";
  } catch (const EzvTapiError& e) {
    EXPECT_EQ(e.ErrorCode(), LINEERR_OPERATIONUNAVAIL);
    EXPECT_EQ(events, std::vector<std::string>{"reply 22"});
  }
}

TEST_F(SyncWait, AsynchronousModeReturnsAtOnceAndTheReplyComesLater) {
  line.syncMode = false;
  line.Requests().AddRequest(23, 60000);
  EXPECT_EQ(CheckRequest(&line, 23), 0);
  EXPECT_EQ(line.LastRequestID(), 23u);
  EXPECT_TRUE(events.empty());
  Reply(23, LINEERR_OPERATIONUNAVAIL);
  ASSERT_TRUE(PumpUntil([&] { return !events.empty(); }));
  EXPECT_EQ(line.replies[0].second, static_cast<Integer>(LINEERR_OPERATIONUNAVAIL));
}

TEST_F(SyncWait, NoReplyWithinTheTimeoutFailsButKeepsTheRequest) {
  line.replyTimeout = 30;
  line.Requests().AddRequest(24, 0);  // the tick pass must not take it away meanwhile
  Integer code = 0;
  EXPECT_EQ(WaitForReply(&line, 24, code), platform::WAIT_TIMEOUT);
  try {
    CheckRequest(&line, 24);
    FAIL() << "no exception";
  } catch (const EzvTapiError& e) {
    EXPECT_EQ(e.ErrorCode(), LINEERR_OPERATIONFAILED);
  }
  EXPECT_EQ(line.Requests().Count(), 1) << "the time-out pass gives it up later";
}

TEST_F(SyncWait, ZeroTimeoutStillFindsAReplyAlreadyQueued) {
  line.replyTimeout = 0;
  line.Requests().AddRequest(25, 0);
  Reply(25, LINEERR_CALLUNAVAIL);
  ASSERT_TRUE(QueuedMessages(1));
  EXPECT_EQ(WaitForRequest(&line, 25), static_cast<Integer>(LINEERR_CALLUNAVAIL));
  EXPECT_EQ(WaitForRequest(&line, 26), static_cast<Integer>(LINEERR_OPERATIONFAILED));
}

TEST_F(SyncWait, ClosingFromAnEventHandlerAbortsTheWait) {
  line.replyTimeout = 20000;
  line.Requests().AddRequest(27, 20000);
  line.onMessage = [&](Cardinal id) {
    if (id == LINE_DEVSPECIFIC) line.SetActive(false);
  };
  PostLine(0, LINE_DEVSPECIFIC, line.CallbackInstance());
  Integer code = 0;
  EXPECT_EQ(WaitForReply(&line, 27, code), platform::WAIT_ABANDONED_0);
  EXPECT_EQ(Appl().NumWaitProcs(), 0);

  line.SetActive(true);  // a fresh open resets the abort
  line.Requests().AddRequest(28, 20000);
  PostLine(0, LINE_DEVSPECIFIC, line.CallbackInstance());
  try {
    CheckRequest(&line, 28);
    FAIL() << "no exception";
  } catch (const EzvTapiError& e) {
    EXPECT_EQ(e.ErrorCode(), LINEERR_OPERATIONFAILED);
  }
}

TEST_F(SyncWait, TheEventThreadAnnouncesArrivingMessagesToTheWait) {
  platform::ResetEvent(Appl().MessagesArrivedEvent());
  PostLine(0, LINE_DEVSPECIFIC, line.CallbackInstance());
  EXPECT_EQ(platform::WaitForSingleObject(Appl().MessagesArrivedEvent(), 10000),
            platform::WAIT_OBJECT_0);
  EXPECT_TRUE(QueuedMessages(1));
}

TEST_F(SyncWait, AnAbortWinsOverMessagesThatArriveWithIt) {
  line.Requests().AddRequest(31, 0);
  // The wait's first pass takes ten messages; the reply waits behind the eleventh.
  for (int i = 0; i < 11; ++i)
    PostLine(0, LINE_DEVSPECIFIC, line.CallbackInstance(), i);
  Reply(31, 0);
  ASSERT_TRUE(QueuedMessages(12));
  line.SetActive(false);  // the abort, with messages announced and waiting
  Integer code = 1;
  EXPECT_EQ(WaitForReply(&line, 31, code), platform::WAIT_ABANDONED_0);
  EXPECT_EQ(code, 1) << "the wait went on looking for the reply";
}

TEST_F(SyncWait, AWaitNestedInAnEventHandlerKeepsTheOuterReply) {
  line.replyTimeout = 5000;
  line.Requests().AddRequest(1, 0);
  line.Requests().AddRequest(2, 0);
  int depthInHandler = 0;
  Integer inner = 1;
  line.onMessage = [&](Cardinal id) {
    if (id != LINE_DEVSPECIFIC) return;
    depthInHandler = Appl().NumWaitProcs();
    inner = WaitForRequest(&line, 2);
  };
  // All three are queued before the outer wait starts, so its first pass routes the outer
  // reply before the handler starts the inner wait: only the outermost wait may forget replies.
  Reply(1, 0);
  PostLine(0, LINE_DEVSPECIFIC, line.CallbackInstance());
  Reply(2, LINEERR_CALLUNAVAIL);
  ASSERT_TRUE(QueuedMessages(3));
  EXPECT_EQ(WaitForRequest(&line, 1), 0);
  EXPECT_EQ(depthInHandler, 1);
  EXPECT_EQ(inner, static_cast<Integer>(LINEERR_CALLUNAVAIL));
  EXPECT_EQ(events, (std::vector<std::string>{"reply 1", "reply 2"}));
  EXPECT_EQ(Appl().NumWaitProcs(), 0);
}

TEST_F(SyncWait, AReplyTakenByAWaitNestedInATimerTickIsStillFound) {
  line.replyTimeout = 30000;
  line.Requests().AddRequest(1, 0);
  line.Requests().AddRequest(2, 0);
  Integer inner = 1;
  line.onTick = [&](Cardinal) {
    Reply(1, 0);
    Reply(2, 0);
    inner = WaitForRequest(&line, 2);
  };
  EXPECT_EQ(WaitForRequest(&line, 1), 0) << "the outer wait missed a reply it had been given";
  EXPECT_EQ(inner, 0);
  EXPECT_FALSE(line.onTick) << "the hook ran inside the outer wait";
}

TEST_F(SyncWait, NotificationsAreLeftToTheWaitAndExactlyOneFollowsIt) {
  // Ten messages for the wait's first pass, then the reply, then two that are still queued when
  // the wait ends.
  line.Requests().AddRequest(30, 60000);
  for (int i = 0; i < 10; ++i)
    PostLine(0, LINE_DEVSPECIFIC, line.CallbackInstance(), i);
  Reply(30, 0);
  PostLine(0, LINE_CALLSTATE, line.CallbackInstance(), 1);
  PostLine(0, LINE_CALLSTATE, line.CallbackInstance(), 2);
  ASSERT_TRUE(QueuedMessages(13));
  std::vector<int> depths;
  line.onMessage = [&](Cardinal) { depths.push_back(Appl().NumWaitProcs()); };

  EXPECT_EQ(WaitForRequest(&line, 30), 0);
  EXPECT_EQ(line.messages.size(), 11u);
  EXPECT_EQ(depths, std::vector<int>(11, 1)) << "only the wait took messages while it ran";

  // One dispatch pass routes exactly one more message; its successor is announced for the next
  // pass.
  platform::DispatchPendingMessages();
  EXPECT_EQ(line.messages.size(), 12u);
  ASSERT_TRUE(PumpUntil([&] { return line.messages.size() == 13; }));
  EXPECT_EQ(depths.back(), 0);
}

}  // namespace
}  // namespace zvtapi::testing
