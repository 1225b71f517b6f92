// Calls that operations create, whatever order TAPI answers in: the new call's first messages
// before or after LINE_REPLY, in synchronous and asynchronous mode. There must be one object per
// TAPI call, the one the operation returned; a failed or timed-out request frees only the calls
// TAPI never made, and takes the links to them along.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "line_test_support.h"
#include "tapi/errors.h"
#include "tapi/requests.h"

namespace zvtapi::testing {
namespace {

using tapi32::ReplyMode;

// A line whose next LINE_REPLY reports a failure, whatever TAPI did before it: a provider that
// starts the new call (its first states, its handle) and then fails the request.
class FailingReplyLine : public LineUnderTest {
 public:
  void TapiReply(Cardinal RequestID, Integer ReplyCode) override {
    if (failNextReply != 0) ReplyCode = static_cast<Integer>(std::exchange(failNextReply, 0));
    LineUnderTest::TapiReply(RequestID, ReplyCode);
  }
  Cardinal failNextReply = 0;
};

tapi32::sim::IncomingCall Caller(const std::string& number, const std::string& name) {
  tapi32::sim::IncomingCall call;
  call.callerNumber = number;
  call.callerName = name;
  return call;
}

struct StateEvent {
  TzvTapiCall* call;
  Cardinal handle;  // the call's handle when the event fired
  Cardinal state;
};

// Builds the calls an operation needs on a line that is open on device 0 of the small office,
// answering at once; the operations then run in the mode under test.
class Scene {
 public:
  explicit Scene(LineUnderTest& line) : FLine(line) {
    tapi32::sim::FarEnd answers;
    tapi32::sim::Switch::Instance().SetFarEnd("202", answers);
  }
  TzvTapiCall* ConnectedCall() {
    const int before = FLine.Calls().Count();
    tapi32::sim::Switch::Instance().OfferCall(0, 0, Caller("301", "Ann"));
    EXPECT_TRUE(PumpUntil([&] { return FLine.Calls().Count() > before; }));
    TzvTapiCall* call = FLine.Calls().Get(FLine.Calls().Count() - 1);
    FLine.Answer(call, "");
    EXPECT_TRUE(PumpUntil([&] { return call->IsConnected(); }));
    return call;
  }
  // A call on hold waiting for its transfer, and its connected consultation call.
  std::pair<TzvTapiCall*, TzvTapiCall*> TransferReady() {
    TzvTapiCall* call = ConnectedCall();
    TzvTapiCall* consult = FLine.SetupTransfer(call, nullptr);
    FLine.Dial(consult, "202", 0);
    EXPECT_TRUE(PumpUntil([&] { return consult->IsConnected(); }));
    return {call, consult};
  }
  // A connected conference of the call and a consultation call.
  TzvTapiCall* Conference() {
    TzvTapiCall* call = ConnectedCall();
    TzvTapiCall* conf = nullptr;
    TzvTapiCall* consult = nullptr;
    FLine.SetupConference(call, conf, consult, 3, nullptr);
    FLine.Dial(consult, "202", 0);
    EXPECT_TRUE(PumpUntil([&] { return consult->IsConnected(); }));
    FLine.AddToConference(conf, consult);
    EXPECT_TRUE(PumpUntil([&] { return conf->IsConnected(); }));
    return conf;
  }
  // The parked call has left the line, and its IDLE has been handled: a test that watches the
  // next state changes sees only calls of the operation under test.
  void Parked(const std::string& orbit) {
    TzvTapiCall* call = ConnectedCall();
    FLine.Park(call, LINEPARKMODE_DIRECTED, orbit, nullptr);
    EXPECT_TRUE(tapi32::sim::Switch::Instance().IsParked(orbit));
    EXPECT_TRUE(PumpUntil(
        [&] { return !FLine.IsCallObject(call) || call->State() == LINECALLSTATE_IDLE; }));
  }

 private:
  LineUnderTest& FLine;
};

// One call-creating operation: the entry point whose reply is ordered, what it needs, and the
// first state of each call it makes, in the order it returns them.
struct Creation {
  const char* name;
  const char* entryPoint;
  std::function<std::function<std::vector<TzvTapiCall*>()>(LineUnderTest&, Scene&)> prepare;
  std::vector<Cardinal> firstStates;
};

// Test names and failure messages name the operation, not the bytes of the description.
void PrintTo(const Creation& creation, std::ostream* out) {
  *out << creation.name;
}

const std::vector<Creation>& Creations() {
  using Calls = std::vector<TzvTapiCall*>;
  static const std::vector<Creation> creations = {
      {"MakeCall",
       "lineMakeCallW",
       [](LineUnderTest& line, Scene&) { return [&line] { return Calls{line.MakeCall("")}; }; },
       {LINECALLSTATE_DIALTONE}},
      {"Pickup",
       "linePickupW",
       [](LineUnderTest& line, Scene&) {
         tapi32::sim::Switch::Instance().OfferCall(1, 0, Caller("302", "Bea"));
         return [&line] { return Calls{line.Pickup(0, "Sales", "")}; };
       },
       {LINECALLSTATE_CONNECTED}},
      {"Unpark",
       "lineUnparkW",
       [](LineUnderTest& line, Scene& scene) {
         scene.Parked("750");
         return [&line] { return Calls{line.Unpark(0, "750")}; };
       },
       {LINECALLSTATE_CONNECTED}},
      {"SetupTransfer",
       "lineSetupTransferW",
       [](LineUnderTest& line, Scene& scene) {
         TzvTapiCall* call = scene.ConnectedCall();
         return [&line, call] { return Calls{line.SetupTransfer(call, nullptr)}; };
       },
       {LINECALLSTATE_DIALTONE}},
      {"SetupConference",
       "lineSetupConferenceW",
       [](LineUnderTest& line, Scene& scene) {
         TzvTapiCall* call = scene.ConnectedCall();
         return [&line, call] {
           TzvTapiCall* conf = nullptr;
           TzvTapiCall* consult = nullptr;
           line.SetupConference(call, conf, consult, 3, nullptr);
           return Calls{conf, consult};
         };
       },
       {LINECALLSTATE_ONHOLDPENDCONF, LINECALLSTATE_DIALTONE}},
      {"PrepareAddToConference",
       "linePrepareAddToConferenceW",
       [](LineUnderTest& line, Scene& scene) {
         TzvTapiCall* conf = scene.Conference();
         return [&line, conf] { return Calls{line.PrepareAddToConference(conf, nullptr)}; };
       },
       {LINECALLSTATE_DIALTONE}},
      {"CompleteTransferAsConference",
       "lineCompleteTransfer",
       [](LineUnderTest& line, Scene& scene) {
         const auto [call, consult] = scene.TransferReady();
         return [&line, call, consult] {
           return Calls{line.CompleteTransfer(call, consult, LINETRANSFERMODE_CONFERENCE)};
         };
       },
       {LINECALLSTATE_CONNECTED}},
  };
  return creations;
}

// Operation, effect before the reply, synchronous mode.
using Order = std::tuple<Creation, bool, bool>;

class NewCallsInEitherOrder : public LineTest, public ::testing::WithParamInterface<Order> {
 protected:
  static int ObjectsWithHandle(LineUnderTest& line, Cardinal handle) {
    int count = 0;
    for (TzvTapiCall* call : line.Calls())
      count += call->Handle() == handle ? 1 : 0;
    return count;
  }
};

TEST_P(NewCallsInEitherOrder, OneObjectPerCallAndItIsTheOneTheOperationReturned) {
  const auto& [creation, effectFirst, sync] = GetParam();
  LineUnderTest line;
  OpenOn(line, 0);
  Scene scene(line);
  const auto operation = creation.prepare(line, scene);
  line.Options().SetSyncMode(sync);
  Switch().SetNextReplyMode(creation.entryPoint,
                            effectFirst ? ReplyMode::Now().EffectFirst() : ReplyMode::Now());
  std::vector<StateEvent> states;
  std::vector<TzvTapiCall*> begun;
  line.SetOnCallState([&](TzvTapiLine*, TzvTapiCall* call, Cardinal state) {
    states.push_back({call, call->Handle(), state});
  });
  line.SetOnCallBegin([&](TzvTapiLine*, TzvTapiCall* call) { begun.push_back(call); });

  const std::vector<TzvTapiCall*> made = operation();
  ASSERT_EQ(made.size(), creation.firstStates.size());
  // Whatever object it reached, every new call's first state has been reported.
  auto reported = [&](size_t i) {
    for (const StateEvent& e : states) {
      if (e.handle != 0 && e.handle == made[i]->Handle() && e.state == creation.firstStates[i])
        return true;
    }
    return false;
  };
  ASSERT_TRUE(PumpUntil([&] {
    if (line.Requests().Count() != 0) return false;
    for (size_t i = 0; i < made.size(); ++i) {
      if (!reported(i)) return false;
    }
    return true;
  }));

  for (size_t i = 0; i < made.size(); ++i) {
    SCOPED_TRACE(i);
    TzvTapiCall* call = made[i];
    ASSERT_TRUE(line.IsCallObject(call));
    EXPECT_TRUE(line.Calls().Contains(call));
    EXPECT_TRUE(call->Confirmed());
    EXPECT_EQ(ObjectsWithHandle(line, call->Handle()), 1) << "a second object for the call";
    EXPECT_NE(call->StateHistory() & creation.firstStates[i], 0u);
    bool toThisObject = false;
    for (const StateEvent& e : states)
      toThisObject |= e.call == call && e.state == creation.firstStates[i];
    EXPECT_TRUE(toThisObject) << "OnCallState went to another object";
    EXPECT_NE(std::find(begun.begin(), begun.end(), call), begun.end());
  }
  EXPECT_EQ(line.UnconfirmedCalls().Count(), 0);
}

std::string OrderName(const ::testing::TestParamInfo<Order>& info) {
  const auto& [creation, effectFirst, sync] = info.param;
  return std::string(creation.name) + (effectFirst ? "_EffectFirst" : "_ReplyFirst") +
         (sync ? "_Sync" : "_Async");
}

INSTANTIATE_TEST_SUITE_P(AllCreations, NewCallsInEitherOrder,
                         ::testing::Combine(::testing::ValuesIn(Creations()), ::testing::Bool(),
                                            ::testing::Bool()),
                         OrderName);

// A provider that gets part of the way and then fails: the new calls appear at their first
// state, LINE_REPLY reports the error, and the calls go IDLE. TAPI writes no handle for a failed
// request, so the calls reach the requester as calls of their own (LINE_APPNEWCALL); the objects
// the operation returned never get a handle and go with the reply.
using Failure = std::tuple<Creation, bool>;

class NewCallsOfAFailedRequest : public LineTest, public ::testing::WithParamInterface<Failure> {};

TEST_P(NewCallsOfAFailedRequest, EachCallTapiMadeIsOneObjectThatEndsWhenItGoesIdle) {
  const auto& [creation, sync] = GetParam();
  LineUnderTest line;
  QuickCleanup(line);
  OpenOn(line, 0);
  Scene scene(line);
  const auto operation = creation.prepare(line, scene);
  const std::vector<uint32_t> before = Switch().CallsOnLine(0);
  line.Options().SetSyncMode(sync);
  Switch().SetNextReplyMode(creation.entryPoint,
                            ReplyMode::Now(LINEERR_CALLUNAVAIL).PartialEffectFirst());
  // Every object a state change reached, by the handle it had then.
  std::map<Cardinal, std::set<TzvTapiCall*>> objectsByHandle;
  line.SetOnCallState([&](TzvTapiLine*, TzvTapiCall* call, Cardinal) {
    objectsByHandle[call->Handle()].insert(call);
  });
  std::vector<TzvTapiCall*> deallocated;
  line.SetOnCallDeallocate([&](TzvTapiLine*, TzvTapiCall* call) { deallocated.push_back(call); });

  std::vector<TzvTapiCall*> made;
  if (sync) {
    EXPECT_THROW(operation(), EzvTapiError);
  } else {
    made = operation();
  }
  // The new calls come and go; afterwards the line holds what it held before.
  ASSERT_TRUE(PumpUntil([&] {
    return line.Requests().Count() == 0 && Switch().CallsOnLine(0) == before &&
           line.Calls().Count() == static_cast<int>(before.size());
  }));
  for (TzvTapiCall* call : made)
    EXPECT_FALSE(line.IsCallObject(call)) << "an object without a TAPI call stayed behind";
  EXPECT_EQ(line.UnconfirmedCalls().Count(), 0);
  size_t newCalls = 0;
  for (const auto& [handle, objects] : objectsByHandle) {
    EXPECT_NE(handle, 0u) << "a state change reached an object without a handle";
    EXPECT_EQ(objects.size(), 1u) << "a second object for handle " << handle;
    const bool isNew = std::none_of(before.begin(), before.end(),
                                    [&, h = handle](uint32_t id) { return HandleOf(id) == h; });
    if (!isNew) continue;
    ++newCalls;
    EXPECT_NE(std::find(deallocated.begin(), deallocated.end(), *objects.begin()),
              deallocated.end());
  }
  EXPECT_EQ(newCalls, creation.firstStates.size());
}

std::string FailureName(const ::testing::TestParamInfo<Failure>& info) {
  const auto& [creation, sync] = info.param;
  return std::string(creation.name) + (sync ? "_Sync" : "_Async");
}

INSTANTIATE_TEST_SUITE_P(AllCreations, NewCallsOfAFailedRequest,
                         ::testing::Combine(::testing::ValuesIn(Creations()), ::testing::Bool()),
                         FailureName);

// ---------------------------------------------------------------------------------------------
// Requests that fail or time out after TAPI made the call

using NewCallsAfterAll = LineTest;

TEST_F(NewCallsAfterAll, AFailedReplyAfterTheCallsFirstStateKeepsItUntilItGoesIdle) {
  FailingReplyLine line;
  QuickCleanup(line);
  line.Options().SetSyncMode(false);
  OpenOn(line, 0);
  EventLog log;
  log.Attach(line);
  std::vector<Cardinal> replies;
  line.SetOnTapiReply([&](TObject*, Cardinal, Cardinal code) { replies.push_back(code); });
  Switch().SetNextReplyMode("lineMakeCallW", ReplyMode::Now().EffectFirst());
  line.failNextReply = LINEERR_CALLUNAVAIL;
  TzvTapiCall* made = line.MakeCall("");
  ASSERT_TRUE(PumpUntil([&] { return !replies.empty(); }));
  EXPECT_EQ(replies, std::vector<Cardinal>{LINEERR_CALLUNAVAIL});
  ASSERT_TRUE(line.IsCallObject(made)) << "TAPI made and reported the call";
  EXPECT_EQ(line.OnlyCall(), made);
  const std::vector<uint32_t> onLine = Switch().CallsOnLine(0);
  ASSERT_EQ(onLine.size(), 1u);
  EXPECT_EQ(made->Handle(), HandleOf(onLine[0]));
  EXPECT_EQ(made->State(), LINECALLSTATE_DIALTONE);

  // It ends like any other call.
  line.SetOnIdle([&](TzvTapiLine*, TzvTapiCall* call) { log.Add(call == made ? "Idle" : "?"); });
  Switch().SetCallState(onLine[0], LINECALLSTATE_IDLE);
  ASSERT_TRUE(PumpUntil([&] { return line.Calls().Count() == 0; }));
  EXPECT_FALSE(line.IsCallObject(made));
  EXPECT_TRUE(log.Has("Idle"));
  EXPECT_TRUE(log.Has("CallDeallocate"));
  EXPECT_EQ(line.UnconfirmedCalls().Count(), 0);
  EXPECT_TRUE(log.errors.empty());
}

TEST_F(NewCallsAfterAll, AnyMessageForTheNewCallBeforeTheReplyReachesTheOperationsObject) {
  LineUnderTest line;
  line.Options().SetSyncMode(false);
  OpenOn(line, 0);
  EventLog log;
  log.Attach(line);
  std::vector<TzvTapiCall*> devSpecific;
  line.SetOnDevSpecific([&](TzvTapiLine*, TzvTapiCall* call, Cardinal, Cardinal, Cardinal) {
    devSpecific.push_back(call);
  });
  Switch().SetNextReplyMode("lineMakeCallW", ReplyMode::Silent().EffectFirst());
  TzvTapiCall* made = line.MakeCall("");
  ASSERT_TRUE(Switch().CompleteRequest(OnlyPendingRequest(), 0));
  const Cardinal handle = HandleOf(Switch().CallsOnLine(0).at(0));
  // Handed to the line ahead of what the switch queued.
  line.DispatchTapiMessage(line.Handle(), LINE_APPNEWCALL, 0, handle, LINECALLPRIVILEGE_OWNER);
  line.DispatchTapiMessage(handle, LINE_DEVSPECIFIC, 1, 2, 3);
  EXPECT_FALSE(log.Has("NewCall"));
  EXPECT_EQ(devSpecific, std::vector<TzvTapiCall*>{made});
  EXPECT_EQ(line.OnlyCall(), made);
  EXPECT_EQ(made->Handle(), handle);
  ASSERT_TRUE(PumpUntil([&] { return line.Requests().Count() == 0; }));
  EXPECT_EQ(line.OnlyCall(), made);
  EXPECT_TRUE(made->Confirmed());
  EXPECT_TRUE(log.errors.empty());
}

TEST_F(NewCallsAfterAll, ATimedOutRequestKeepsACallWhoseHandleTapiHasWritten) {
  LineUnderTest line;
  line.Options().SetSyncMode(false);
  line.Options().SetReplyTimeout(1);
  OpenOn(line, 0);
  Switch().SetNextReplyMode("lineMakeCallW", ReplyMode::Silent().EffectFirst());
  TzvTapiCall* made = line.MakeCall("");
  // TAPI makes the call and queues its state and the reply; the time-out pass comes first.
  ASSERT_TRUE(Switch().CompleteRequest(OnlyPendingRequest(), 0));
  line.CheckTimeouts(platform::GetTickCount() + 1000);
  ASSERT_TRUE(line.IsCallObject(made));
  EXPECT_TRUE(line.Calls().Contains(made));
  std::vector<TzvTapiCall*> reached;
  line.SetOnCallState([&](TzvTapiLine*, TzvTapiCall* call, Cardinal) { reached.push_back(call); });
  ASSERT_TRUE(PumpUntil([&] { return !reached.empty(); }));
  EXPECT_EQ(reached, std::vector<TzvTapiCall*>{made});
  EXPECT_EQ(line.OnlyCall(), made);
  EXPECT_EQ(made->Handle(), HandleOf(Switch().CallsOnLine(0).at(0)));
  EXPECT_EQ(line.UnconfirmedCalls().Count(), 0);
}

// The consultation call of a transfer or of a conference is linked to its primary call before
// TAPI answers; when the request fails or times out the call goes, and so does the link.
TEST_F(NewCallsAfterAll, FailedOrTimedOutConsultationCallsGoWithTheirLinks) {
  tapi32::sim::Config office = SmallOffice();
  office.lines[0].maxActiveCalls = 4;  // a conference and a call beside it
  Switch().Reset(office);
  LineUnderTest line;
  OpenOn(line, 0);
  // The scene is built in synchronous mode, whose waits end at the reply time-out: it keeps the
  // default, or a slow event thread turns the scene's own requests into failures.
  Scene scene(line);
  TzvTapiCall* conf = scene.Conference();
  TzvTapiCall* call = scene.ConnectedCall();
  line.Options().SetSyncMode(false);
  // Time-outs come only from the pass below, never from the line's own ticks: a failed request
  // must be seen failing, not overtaken by its time-out.
  const Cardinal afterTimeout = line.Options().ReplyTimeout() + 1;
  struct Case {
    const char* entryPoint;
    std::function<TzvTapiCall*()> start;
    TzvTapiCall* primary;
  };
  const std::vector<Case> cases = {
      {"linePrepareAddToConferenceW", [&] { return line.PrepareAddToConference(conf, nullptr); },
       conf},
      {"lineSetupTransferW", [&] { return line.SetupTransfer(call, nullptr); }, call},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entryPoint);
    Switch().SetNextReplyMode(c.entryPoint, ReplyMode::Now(LINEERR_RESOURCEUNAVAIL));
    TzvTapiCall* consult = c.start();
    EXPECT_EQ(c.primary->GetConsultCall(), consult);
    ASSERT_TRUE(PumpUntil([&] { return line.Requests().Count() == 0; }));
    EXPECT_FALSE(line.IsCallObject(consult)) << "failed";
    EXPECT_EQ(c.primary->GetConsultCall(), nullptr);

    Switch().SetNextReplyMode(c.entryPoint, ReplyMode::Silent());
    consult = c.start();
    line.CheckTimeouts(platform::GetTickCount() + afterTimeout);
    EXPECT_FALSE(line.IsCallObject(consult)) << "timed out";
    EXPECT_EQ(c.primary->GetConsultCall(), nullptr);
    EXPECT_EQ(line.UnconfirmedCalls().Count(), 0);
    EXPECT_EQ(line.Requests().Count(), 0);
    // The late reply creates nothing of the line's own.
    ASSERT_TRUE(Switch().CompleteRequest(OnlyPendingRequest(), LINEERR_RESOURCEUNAVAIL));
  }
}

}  // namespace
}  // namespace zvtapi::testing
