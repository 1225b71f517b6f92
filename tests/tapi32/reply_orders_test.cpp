// Replies in the orders real providers send them: requests that fail after part of their effect,
// for every request that makes calls, and reply modes chosen by the switch's configuration.
#include "call_control_fixture.h"

namespace tapi32_test {
namespace {

using tapi32::EntryPoint;
using tapi32::ReplyMode;
using Messages = std::vector<LINEMESSAGE>;

constexpr LONG kFailure = Code(LINEERR_RESOURCEUNAVAIL);
constexpr HCALL kUnwritten = 0xDEAD;
// Only bounds a wait for a message that must come; nothing depends on how fast it comes.
constexpr DWORD kPatience = 60000;

class ReplyOrdersTest : public CallControlTest {
 protected:
  using Request = std::function<LONG(HCALL* first, HCALL* second)>;

  // Starts a request that fails after its partial effect and checks what the requester hears:
  // each call the request made is announced (LINE_APPNEWCALL with OWNER, at once followed by the
  // call's first state), then the failed LINE_REPLY, then every such call goes IDLE. Nothing is
  // written into the request's variables, the calls it acted on stay as they were, and the calls
  // it made can be queried and given up like any other.
  void ExpectPartialFailure(const char* entry, ReplyMode mode, std::vector<DWORD> firstStates,
                            const std::vector<uint32_t>& actedOn, const Request& request) {
    SCOPED_TRACE(entry);
    DrainAll();
    std::vector<DWORD> before;
    for (uint32_t call : actedOn)
      before.push_back(StateOf(call));
    Switch().SetNextReplyMode(entry, mode);
    HCALL first = kUnwritten;
    HCALL second = kUnwritten;
    const LONG id = request(&first, &second);
    ASSERT_GT(id, 0);
    // The partial effect, the reply and the aftermath are queued together, delayed or not.
    Messages mine(1);
    ASSERT_EQ(lineGetMessage(owner_.app, &mine[0], kPatience), 0);
    for (const LINEMESSAGE& message : DrainLine(owner_.app))
      mine.push_back(message);

    std::vector<HCALL> made;
    std::vector<DWORD> states;
    size_t reply = 0;
    for (; reply < mine.size() && mine[reply].dwMessageID != LINE_REPLY; ++reply) {
      if (mine[reply].dwMessageID != LINE_APPNEWCALL) continue;
      EXPECT_EQ(mine[reply].dwParam3, LINECALLPRIVILEGE_OWNER);
      made.push_back(mine[reply].dwParam2);
      ASSERT_LT(reply + 1, mine.size());
      const LINEMESSAGE& state = mine[reply + 1];
      EXPECT_EQ(state.dwMessageID, LINE_CALLSTATE);
      EXPECT_EQ(state.hDevice, made.back());
      EXPECT_EQ(state.dwParam3, LINECALLPRIVILEGE_OWNER);
      states.push_back(state.dwParam1);
    }
    ASSERT_LT(reply, mine.size()) << "no LINE_REPLY";
    EXPECT_EQ(mine[reply].dwParam1, static_cast<DWORD>(id));
    EXPECT_EQ(static_cast<LONG>(mine[reply].dwParam2), kFailure);
    EXPECT_EQ(states, firstStates);
    const Messages after(mine.begin() + static_cast<std::ptrdiff_t>(reply) + 1, mine.end());
    for (HCALL call : made) {
      EXPECT_EQ(States(after, call), std::vector<DWORD>{LINECALLSTATE_IDLE});
      LINECALLSTATUS status{};
      status.dwTotalSize = sizeof(status);
      EXPECT_EQ(lineGetCallStatus(call, &status), 0);
      EXPECT_EQ(status.dwCallState, LINECALLSTATE_IDLE);
      EXPECT_EQ(lineDeallocateCall(call), 0);
    }
    EXPECT_EQ(first, kUnwritten);
    EXPECT_EQ(second, kUnwritten);
    for (size_t i = 0; i < actedOn.size(); ++i)
      EXPECT_EQ(StateOf(actedOn[i]), before[i]) << "call " << actedOn[i];
    // The monitor of the line watched the same calls come and go.
    const Messages theirs = DrainLine(watcher_.app);
    size_t announced = 0;
    for (const LINEMESSAGE& message : theirs) {
      if (message.dwMessageID != LINE_APPNEWCALL) continue;
      ++announced;
      EXPECT_EQ(States(theirs, message.dwParam2).back(), LINECALLSTATE_IDLE);
    }
    EXPECT_EQ(announced, made.size());
  }
};

TEST_F(ReplyOrdersTest, CallCreatingRequestsThatFailLateEndTheCallsTheyMade) {
  const ReplyMode late = ReplyMode::Now(kFailure).PartialEffectFirst();
  const Request makeCall = [this](HCALL* call, HCALL*) {
    return lineMakeCallW(ownerLine_, call, u"300", 0, nullptr);
  };
  ExpectPartialFailure("lineMakeCallW", late, {LINECALLSTATE_DIALTONE}, {}, makeCall);
  ExpectPartialFailure("lineMakeCallW", ReplyMode::After(5, kFailure).PartialEffectFirst(),
                       {LINECALLSTATE_DIALTONE}, {}, makeCall);

  const uint32_t talking = Connected();
  ExpectPartialFailure(
      "lineSetupTransferW", late, {LINECALLSTATE_DIALTONE}, {talking},
      [&](HCALL* consult, HCALL*) { return lineSetupTransferW(Mine(talking), consult, nullptr); });
  ExpectPartialFailure("lineSetupConferenceW", late,
                       {LINECALLSTATE_ONHOLDPENDCONF, LINECALLSTATE_DIALTONE}, {talking},
                       [&](HCALL* conf, HCALL* consult) {
                         return lineSetupConferenceW(Mine(talking), 0, conf, consult, 3, nullptr);
                       });

  // A transfer that is to become a conference: first it fails late, then it succeeds.
  HCALL consult = 0;
  ASSERT_GT(lineSetupTransferW(Mine(talking), &consult, nullptr), 0);
  ASSERT_GT(lineDialW(consult, u"300", 0), 0);
  const uint32_t consultId = Switch().CallIdOf(consult);
  ExpectPartialFailure("lineCompleteTransfer", late, {LINECALLSTATE_ONHOLDPENDCONF},
                       {talking, consultId}, [&](HCALL* conf, HCALL*) {
                         return lineCompleteTransfer(Mine(talking), consult, conf,
                                                     LINETRANSFERMODE_CONFERENCE);
                       });
  HCALL conf = 0;
  ASSERT_GT(lineCompleteTransfer(Mine(talking), consult, &conf, LINETRANSFERMODE_CONFERENCE), 0);
  ExpectPartialFailure(
      "linePrepareAddToConferenceW", late, {LINECALLSTATE_DIALTONE}, {Switch().CallIdOf(conf)},
      [&](HCALL* added, HCALL*) { return linePrepareAddToConferenceW(conf, added, nullptr); });

  const uint32_t ringing = Incoming(1);  // at "210"
  ExpectPartialFailure("linePickupW", late, {LINECALLSTATE_PROCEEDING}, {ringing},
                       [this](HCALL* picked, HCALL*) {
                         return linePickupW(ownerLine_, 0, picked, u"210", nullptr);
                       });
  const uint32_t parked = Connected();
  ASSERT_GT(lineParkW(Mine(parked), LINEPARKMODE_DIRECTED, u"700", nullptr), 0);
  ExpectPartialFailure(
      "lineUnparkW", late, {LINECALLSTATE_PROCEEDING}, {},
      [this](HCALL* unparked, HCALL*) { return lineUnparkW(ownerLine_, 0, unparked, u"700"); });
  EXPECT_TRUE(Switch().IsParked("700"));
}

TEST_F(ReplyOrdersTest, ADialThatFailsLateStaysDiallingAndOtherRequestsGetNothingDone) {
  HCALL call = 0;
  ASSERT_GT(lineMakeCallW(ownerLine_, &call, nullptr, 0, nullptr), 0);
  DrainAll();
  Switch().SetNextReplyMode("lineDialW", ReplyMode::Now(kFailure).PartialEffectFirst());
  const LONG dial = lineDialW(call, u"300", 0);
  ASSERT_GT(dial, 0);
  Messages mine = DrainLine(owner_.app);
  ASSERT_EQ(mine.size(), 2u);
  EXPECT_EQ(mine[0].hDevice, call);
  EXPECT_EQ(mine[0].dwParam1, LINECALLSTATE_DIALING);
  EXPECT_EQ(mine[1].dwMessageID, LINE_REPLY);
  EXPECT_EQ(static_cast<LONG>(mine[1].dwParam2), kFailure);
  EXPECT_EQ(StateOf(Switch().CallIdOf(call)), LINECALLSTATE_DIALING);

  const uint32_t talking = Connected();
  Switch().SetNextReplyMode("lineHold", ReplyMode::Now(kFailure).PartialEffectFirst());
  const LONG hold = lineHold(Mine(talking));
  EXPECT_EQ(ReplyOf(DrainLine(owner_.app), hold), kFailure);
  EXPECT_TRUE(DrainLine(watcher_.app).empty());
  EXPECT_EQ(StateOf(talking), LINECALLSTATE_CONNECTED);
}

TEST_F(ReplyOrdersTest, APartialEffectNeedsARequestThatCouldStillHappen) {
  // Succeeding in this order is succeeding effect first: the handle is written, nobody is told.
  Switch().SetNextReplyMode("lineMakeCallW", ReplyMode::Now().PartialEffectFirst());
  HCALL call = 0;
  const LONG made = lineMakeCallW(ownerLine_, &call, nullptr, 0, nullptr);
  const Messages mine = DrainLine(owner_.app);
  ASSERT_FALSE(mine.empty());
  EXPECT_NE(call, 0u);
  EXPECT_EQ(Find(mine, LINE_APPNEWCALL), nullptr);
  EXPECT_EQ(States(mine, call), std::vector<DWORD>{LINECALLSTATE_DIALTONE});
  EXPECT_EQ(mine.back().dwMessageID, LINE_REPLY);
  EXPECT_EQ(mine.back().dwParam1, static_cast<DWORD>(made));

  // A line closed while the failing request waits: nothing of it happens.
  Switch().SetNextReplyMode("lineMakeCallW", ReplyMode::Silent().PartialEffectFirst());
  HCALL late = kUnwritten;
  const LONG pending = lineMakeCallW(ownerLine_, &late, nullptr, 0, nullptr);
  ASSERT_GT(pending, 0);
  ASSERT_EQ(lineClose(ownerLine_), 0);
  DrainAll();
  ASSERT_TRUE(Switch().CompleteRequest(static_cast<DWORD>(pending), kFailure));
  EXPECT_EQ(ReplyOf(DrainLine(owner_.app), pending), kFailure);
  EXPECT_EQ(Find(DrainLine(watcher_.app), LINE_APPNEWCALL), nullptr);
  EXPECT_EQ(late, kUnwritten);
}

// --- orders from the configuration ---------------------------------------------------------------

TEST_F(ReplyOrdersTest, TheConfigurationChoosesTheModesAndResetForgetsThem) {
  // An answer, and the position of its LINE_REPLY among the owner's messages.
  auto answerReplyPosition = [this] {
    owner_ = InitLine(0x00020002, u"owner");
    ownerLine_ = OpenLine(owner_.app, 0, kBoth, kVoice, 31);
    const uint32_t call = Switch().OfferCall(0, 0, {});
    DrainLine(owner_.app);
    const LONG request = lineAnswer(Switch().CallHandle(owner_.app, call), nullptr, 0);
    const Messages messages = DrainLine(owner_.app);
    EXPECT_EQ(States(messages, Switch().CallHandle(owner_.app, call)),
              std::vector<DWORD>{LINECALLSTATE_CONNECTED});
    const LINEMESSAGE* reply = Find(messages, LINE_REPLY);
    EXPECT_NE(reply, nullptr);
    EXPECT_EQ(reply->dwParam1, static_cast<DWORD>(request));
    return reply - messages.data();
  };
  tapi32::sim::Config config;
  config.lines = {Line("Alpha", 0x101)};
  config.replies[EntryPoint::lineAnswer] = ReplyMode::Now().EffectFirst();
  Switch().Reset(config);
  EXPECT_GT(answerReplyPosition(), 0);

  config.replies.clear();
  Switch().Reset(config);
  EXPECT_EQ(answerReplyPosition(), 0);

  // The live demo shows the user's own actions effect first; the quiet demo keeps the default.
  const tapi32::sim::Config live = tapi32::sim::LiveDemoConfig();
  for (EntryPoint entry : {EntryPoint::lineAccept, EntryPoint::lineAnswer, EntryPoint::lineDrop})
    EXPECT_EQ(live.replies.at(entry), ReplyMode::Now().EffectFirst());
  EXPECT_TRUE(tapi32::sim::DemoConfig().replies.empty());
}

}  // namespace
}  // namespace tapi32_test
