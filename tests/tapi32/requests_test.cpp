// The asynchronous-request engine, driven through lineDrop: request IDs, and replies that come at
// once, later, never, or with an error.
#include <set>

#include "tapi32_fixture.h"

namespace tapi32_test {
namespace {

using tapi32::ReplyMode;

constexpr DWORD kBoth = LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER;
// Only bounds a wait for a message that must come; nothing depends on how fast it comes.
constexpr DWORD kPatience = 60000;

class RequestsTest : public TapiTest {
 protected:
  void SetUp() override {
    TapiTest::SetUp();
    init_ = InitLine();
    ASSERT_EQ(init_.result, 0);
    line_ = OpenLine(init_.app, 0, kBoth, LINEMEDIAMODE_INTERACTIVEVOICE, 51);
    ASSERT_NE(line_, 0u);
  }

  // A connected call owned by the test application, with its messages taken.
  HCALL ConnectedCall(uint32_t* callId = nullptr) {
    const uint32_t id = Switch().OfferCall(0, 0, {});
    Switch().SetCallState(id, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
    DrainLine(init_.app);
    if (callId != nullptr) *callId = id;
    return Switch().CallHandle(init_.app, id);
  }

  DWORD State(uint32_t callId) { return Switch().CallSnapshot(callId).state; }

  LineInit init_;
  HLINE line_ = 0;
};

TEST_F(RequestsTest, RequestIdsArePositiveAndDistinctWhilePending) {
  Switch().SetReplyMode("lineDrop", ReplyMode::Silent());
  std::set<LONG> ids;
  for (int i = 0; i < 5; ++i) {
    const LONG id = lineDrop(ConnectedCall(), nullptr, 0);
    EXPECT_GT(id, 0);
    ids.insert(id);
  }
  EXPECT_EQ(ids.size(), 5u);
  EXPECT_EQ(Switch().PendingRequests().size(), 5u);
}

TEST_F(RequestsTest, SilentRequestChangesNothingUntilCompletedByHand) {
  uint32_t call = 0;
  const HCALL handle = ConnectedCall(&call);
  Switch().SetReplyMode("lineDrop", ReplyMode::Silent());
  const LONG id = lineDrop(handle, nullptr, 0);
  ASSERT_GT(id, 0);
  EXPECT_TRUE(DrainLine(init_.app).empty());
  EXPECT_EQ(State(call), LINECALLSTATE_CONNECTED);
  EXPECT_EQ(Switch().PendingRequests(), std::vector<DWORD>{static_cast<DWORD>(id)});

  ASSERT_TRUE(Switch().CompleteRequest(static_cast<DWORD>(id), 0));
  EXPECT_FALSE(Switch().CompleteRequest(static_cast<DWORD>(id), 0));
  const auto messages = DrainLine(init_.app);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].dwMessageID, LINE_REPLY);
  EXPECT_EQ(messages[0].dwParam1, static_cast<DWORD>(id));
  EXPECT_EQ(messages[1].dwParam1, LINECALLSTATE_IDLE);
}

TEST_F(RequestsTest, FailingReplyLeavesTheCallAsItWas) {
  uint32_t call = 0;
  const HCALL handle = ConnectedCall(&call);
  Switch().SetReplyMode("lineDrop", ReplyMode::Now(Code(LINEERR_OPERATIONFAILED)));
  const LONG id = lineDrop(handle, nullptr, 0);
  ASSERT_GT(id, 0);
  const auto messages = DrainLine(init_.app);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].dwMessageID, LINE_REPLY);
  EXPECT_EQ(messages[0].dwCallbackInstance, 51u);
  EXPECT_EQ(messages[0].dwParam2, LINEERR_OPERATIONFAILED);
  EXPECT_EQ(State(call), LINECALLSTATE_CONNECTED);

  // A manual completion with an error has no effect either.
  Switch().SetReplyMode("lineDrop", ReplyMode::Silent());
  const LONG silent = lineDrop(handle, nullptr, 0);
  ASSERT_TRUE(Switch().CompleteRequest(static_cast<DWORD>(silent), Code(LINEERR_RESOURCEUNAVAIL)));
  EXPECT_EQ(DrainLine(init_.app).size(), 1u);
  EXPECT_EQ(State(call), LINECALLSTATE_CONNECTED);
}

TEST_F(RequestsTest, OneShotModeAppliesToTheNextRequestOnly) {
  Switch().SetNextReplyMode("lineDrop", ReplyMode::Now(Code(LINEERR_OPERATIONFAILED)));
  lineDrop(ConnectedCall(), nullptr, 0);
  auto messages = DrainLine(init_.app);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].dwParam2, LINEERR_OPERATIONFAILED);

  lineDrop(ConnectedCall(), nullptr, 0);
  messages = DrainLine(init_.app);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].dwParam2, 0u);
  EXPECT_EQ(messages[1].dwParam1, LINECALLSTATE_IDLE);
}

TEST_F(RequestsTest, DelayedReplyArrivesLaterFromTheTimerThread) {
  uint32_t call = 0;
  const HCALL handle = ConnectedCall(&call);
  Switch().SetReplyMode("lineDrop", ReplyMode::After(20));
  const LONG id = lineDrop(handle, nullptr, 0);
  ASSERT_GT(id, 0);

  LINEMESSAGE message{};
  ASSERT_EQ(lineGetMessage(init_.app, &message, kPatience), 0);
  EXPECT_EQ(message.dwMessageID, LINE_REPLY);
  EXPECT_EQ(message.dwParam1, static_cast<DWORD>(id));
  EXPECT_EQ(message.dwParam2, 0u);
  ASSERT_EQ(lineGetMessage(init_.app, &message, kPatience), 0);
  EXPECT_EQ(message.dwMessageID, LINE_CALLSTATE);
  EXPECT_EQ(message.dwParam1, LINECALLSTATE_IDLE);
  EXPECT_TRUE(Switch().PendingRequests().empty());
}

TEST_F(RequestsTest, DelayedReplyReportsACallThatWentAwayMeanwhile) {
  uint32_t call = 0;
  const HCALL handle = ConnectedCall(&call);
  Switch().SetReplyMode("lineDrop", ReplyMode::Silent());
  const LONG first = lineDrop(handle, nullptr, 0);
  const LONG second = lineDrop(handle, nullptr, 0);
  ASSERT_TRUE(Switch().CompleteRequest(static_cast<DWORD>(first), 0));
  DrainLine(init_.app);
  // The call is IDLE now, so the second drop can no longer happen.
  ASSERT_TRUE(Switch().CompleteRequest(static_cast<DWORD>(second), 0));
  const auto messages = DrainLine(init_.app);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].dwParam1, static_cast<DWORD>(second));
  EXPECT_EQ(messages[0].dwParam2, LINEERR_INVALCALLSTATE);
}

TEST_F(RequestsTest, EffectFirstWritesTheNewHandleAndQueuesItsStatesBeforeTheReply) {
  for (const ReplyMode mode : {ReplyMode::Now().EffectFirst(), ReplyMode::After(5).EffectFirst()}) {
    Switch().SetNextReplyMode("lineMakeCallW", mode);
    HCALL call = 0;
    const LONG id = lineMakeCallW(line_, &call, nullptr, 0, nullptr);
    ASSERT_GT(id, 0);
    std::vector<LINEMESSAGE> messages;
    LINEMESSAGE message{};
    while (messages.empty() || messages.back().dwMessageID != LINE_REPLY) {
      ASSERT_EQ(lineGetMessage(init_.app, &message, kPatience), 0);
      messages.push_back(message);
    }
    ASSERT_GE(messages.size(), 2u);
    EXPECT_NE(call, 0u);
    EXPECT_EQ(messages.front().dwMessageID, LINE_CALLSTATE);
    EXPECT_EQ(messages.front().hDevice, call);
    EXPECT_EQ(messages.front().dwParam1, LINECALLSTATE_DIALTONE);
    EXPECT_EQ(messages.back().dwParam1, static_cast<DWORD>(id));
    EXPECT_EQ(messages.back().dwParam2, 0u);
    ASSERT_EQ(lineDrop(call, nullptr, 0) > 0, true);
    DrainLine(init_.app);
  }
}

TEST_F(RequestsTest, ShutdownForgetsPendingRequests) {
  Switch().SetReplyMode("lineDrop", ReplyMode::After(10));
  lineDrop(ConnectedCall(), nullptr, 0);
  Switch().SetReplyMode("lineDrop", ReplyMode::Silent());
  lineDrop(ConnectedCall(), nullptr, 0);
  ASSERT_EQ(lineShutdown(init_.app), 0);
  EXPECT_TRUE(Switch().PendingRequests().empty());
}

TEST_F(RequestsTest, UnknownEntryPointsAreRejected) {
  EXPECT_THROW(Switch().SetReplyMode("lineDropped", ReplyMode::Silent()), std::invalid_argument);
}

TEST_F(RequestsTest, InjectedFaultsComeBeforeAnyRequest) {
  Switch().FailNext("lineDrop", Code(LINEERR_RESOURCEUNAVAIL));
  EXPECT_EQ(lineDrop(ConnectedCall(), nullptr, 0), Code(LINEERR_RESOURCEUNAVAIL));
  EXPECT_TRUE(Switch().PendingRequests().empty());
  EXPECT_TRUE(DrainLine(init_.app).empty());
}

}  // namespace
}  // namespace tapi32_test
