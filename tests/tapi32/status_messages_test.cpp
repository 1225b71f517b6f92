// Line and address status messages that come from what happens on the line: rings while a call
// alerts, call counts and features as calls come, change and go, completions and line states;
// and the status structures that say the same as the messages.
#include <vector>

#include "tapi32_fixture.h"

namespace tapi32_test {
namespace {

constexpr DWORD kBoth = LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER;
constexpr DWORD kVoice = LINEMEDIAMODE_INTERACTIVEVOICE;

class StatusMessagesTest : public TapiTest {
 protected:
  // One line that rings again every millisecond, so that a test sees repeated rings at once.
  void SetUp() override {
    tapi32::sim::Config config;
    config.lines = {Line("Alpha", 0x101)};
    config.lines[0].ringModes = 2;
    config.lines[0].ringIntervalMs = 1;
    Switch().Reset(config);
    app_ = InitLine().app;
    line_ = OpenLine(app_, 0, kBoth, kVoice, 9);
    ASSERT_NE(line_, 0u);
  }

  uint32_t Offer(DWORD offeringMode = LINEOFFERINGMODE_ACTIVE) {
    tapi32::sim::IncomingCall call;
    call.callerNumber = "5550100";
    call.offeringMode = offeringMode;
    return Switch().OfferCall(0, 0, call);
  }
  HCALL Mine(uint32_t callId) const { return Switch().CallHandle(app_, callId); }

  // The next ring reported to the application; the other messages are passed over.
  LINEMESSAGE NextRing() {
    LINEMESSAGE message{};
    while (lineGetMessage(app_, &message, 60000) == 0) {
      if (message.dwMessageID == LINE_LINEDEVSTATE && message.dwParam1 == LINEDEVSTATE_RINGING) {
        return message;
      }
    }
    ADD_FAILURE() << "no ring";
    return {};
  }

  // The line and address states reported to line_, in order, as (address or ~0 for the line,
  // states); what other opens hear goes to others_.
  std::vector<std::pair<DWORD, DWORD>> States() {
    std::vector<std::pair<DWORD, DWORD>> out;
    for (const LINEMESSAGE& message : DrainLine(app_)) {
      if (message.dwMessageID != LINE_LINEDEVSTATE && message.dwMessageID != LINE_ADDRESSSTATE) {
        continue;
      }
      if (message.hDevice != line_) {
        others_.push_back(message);
        continue;
      }
      if (message.dwMessageID == LINE_LINEDEVSTATE) out.emplace_back(~0u, message.dwParam1);
      if (message.dwMessageID == LINE_ADDRESSSTATE) {
        out.emplace_back(message.dwParam1, message.dwParam2);
      }
    }
    return out;
  }

  LINEDEVSTATUS LineStatus() {
    LINEDEVSTATUS status{};
    status.dwTotalSize = sizeof(status);
    EXPECT_EQ(lineGetLineDevStatusW(line_, &status), 0);
    return status;
  }
  LINEADDRESSSTATUS AddressStatus() {
    LINEADDRESSSTATUS status{};
    status.dwTotalSize = sizeof(status);
    EXPECT_EQ(lineGetAddressStatusW(line_, 0, &status), 0);
    return status;
  }

  HLINEAPP app_ = 0;
  HLINE line_ = 0;
  std::vector<LINEMESSAGE> others_;
};

TEST_F(StatusMessagesTest, AnAlertingCallRingsOnTheSwitchsClockUntilItIsAnswered) {
  ASSERT_EQ(lineSetStatusMessages(line_, LINEDEVSTATE_RINGING, 0), 0);
  // A call offered here for information only does not ring.
  const uint32_t silent = Offer(LINEOFFERINGMODE_INACTIVE);
  EXPECT_TRUE(States().empty());
  EXPECT_EQ(LineStatus().dwRingMode, 0u);
  Switch().RemoteHangUp(silent);

  const uint32_t call = Offer();
  for (DWORD count = 0; count < 3; ++count) {
    const LINEMESSAGE ring = NextRing();
    EXPECT_EQ(ring.hDevice, line_);
    EXPECT_EQ(ring.dwParam2, 1u);  // the first ring mode
    EXPECT_EQ(ring.dwParam3, count);
  }
  EXPECT_EQ(LineStatus().dwRingMode, 1u);

  // Answered, it stops ringing: the rings that follow belong to the next call, counted anew.
  ASSERT_GT(lineAnswer(Mine(call), nullptr, 0), 0);
  EXPECT_EQ(LineStatus().dwRingMode, 0u);
  DrainLine(app_);
  Offer();
  EXPECT_EQ(NextRing().dwParam3, 0u);
  EXPECT_EQ(NextRing().dwParam3, 1u);
}

TEST_F(StatusMessagesTest, CallsComingChangingAndGoingAreReportedAsTheStatusShowsThem) {
  const DWORD lineStates = LINEDEVSTATE_NUMCALLS | LINEDEVSTATE_OTHER;
  const DWORD addressStates = LINEADDRESSSTATE_NUMCALLS | LINEADDRESSSTATE_INUSEONE |
                              LINEADDRESSSTATE_INUSEZERO | LINEADDRESSSTATE_OTHER;
  ASSERT_EQ(lineSetStatusMessages(line_, lineStates, addressStates), 0);
  // Another open that asked for rings only hears nothing else.
  const HLINE deaf = OpenLine(app_, 0, LINECALLPRIVILEGE_MONITOR, 0, 10);
  ASSERT_EQ(lineSetStatusMessages(deaf, LINEDEVSTATE_RINGING, 0), 0);
  using Reports = std::vector<std::pair<DWORD, DWORD>>;
  constexpr DWORD kLine = ~0u;

  const uint32_t call = Offer();
  EXPECT_EQ(States(), (Reports{{kLine, LINEDEVSTATE_NUMCALLS},
                               {0, LINEADDRESSSTATE_NUMCALLS | LINEADDRESSSTATE_INUSEONE}}));
  EXPECT_EQ(AddressStatus().dwNumInUse, 1u);
  EXPECT_EQ(AddressStatus().dwNumActiveCalls, 1u);
  EXPECT_EQ(LineStatus().dwNumActiveCalls, 1u);
  EXPECT_TRUE(LineStatus().dwLineFeatures & LINEFEATURE_MAKECALL);

  // Answered, the call takes the line's only active call: no new call can be made.
  ASSERT_GT(lineAnswer(Mine(call), nullptr, 0), 0);
  EXPECT_EQ(States(), (Reports{{kLine, LINEDEVSTATE_OTHER}, {0, LINEADDRESSSTATE_OTHER}}));
  EXPECT_FALSE(LineStatus().dwLineFeatures & LINEFEATURE_MAKECALL);
  EXPECT_FALSE(AddressStatus().dwAddressFeatures & LINEADDRFEATURE_MAKECALL);

  ASSERT_GT(lineHold(Mine(call)), 0);
  EXPECT_EQ(States(), (Reports{{kLine, LINEDEVSTATE_NUMCALLS | LINEDEVSTATE_OTHER},
                               {0, LINEADDRESSSTATE_NUMCALLS | LINEADDRESSSTATE_OTHER}}));
  EXPECT_EQ(LineStatus().dwNumActiveCalls, 0u);
  EXPECT_EQ(LineStatus().dwNumOnHoldCalls, 1u);
  EXPECT_EQ(AddressStatus().dwNumOnHoldCalls, 1u);
  EXPECT_TRUE(AddressStatus().dwAddressFeatures & LINEADDRFEATURE_MAKECALL);

  ASSERT_GT(lineDrop(Mine(call), nullptr, 0), 0);
  EXPECT_EQ(States(), (Reports{{kLine, LINEDEVSTATE_NUMCALLS},
                               {0, LINEADDRESSSTATE_NUMCALLS | LINEADDRESSSTATE_INUSEZERO}}));
  EXPECT_EQ(AddressStatus().dwNumInUse, 0u);
  EXPECT_EQ(LineStatus().dwNumOnHoldCalls, 0u);
  ASSERT_FALSE(others_.empty());
  for (const LINEMESSAGE& message : others_) {
    EXPECT_EQ(message.hDevice, deaf);
    EXPECT_EQ(message.dwMessageID, LINE_LINEDEVSTATE);
    EXPECT_EQ(message.dwParam1, LINEDEVSTATE_RINGING);
  }
}

TEST_F(StatusMessagesTest, CompletionsAndReportedLineStatesShowInTheStatus) {
  ASSERT_EQ(lineSetStatusMessages(line_, LINEDEVSTATE_NUMCOMPLETIONS, LINEADDRESSSTATE_OTHER), 0);
  tapi32::sim::FarEnd busy;
  busy.kind = tapi32::sim::FarEnd::Kind::Busy;
  Switch().SetDefaultFarEnd(busy);
  HCALL call = 0;
  ASSERT_GT(lineMakeCallW(line_, &call, u"301", 0, nullptr), 0);
  DrainLine(app_);
  DWORD completion = 0;
  ASSERT_GT(lineCompleteCall(call, &completion, LINECALLCOMPLMODE_CALLBACK, 0), 0);
  const std::vector<std::pair<DWORD, DWORD>> reported = States();
  EXPECT_EQ(reported, (std::vector<std::pair<DWORD, DWORD>>{{~0u, LINEDEVSTATE_NUMCOMPLETIONS},
                                                            {0, LINEADDRESSSTATE_OTHER}}));
  EXPECT_EQ(LineStatus().dwNumCallCompletions, 1u);
  EXPECT_TRUE(AddressStatus().dwAddressFeatures & LINEADDRFEATURE_UNCOMPLETECALL);

  Switch().LineState(0, LINEDEVSTATE_OUTOFSERVICE);
  EXPECT_FALSE(LineStatus().dwDevStatusFlags & LINEDEVSTATUSFLAGS_INSERVICE);
  Switch().LineState(0, LINEDEVSTATE_INSERVICE | LINEDEVSTATE_DISCONNECTED);
  EXPECT_EQ(LineStatus().dwDevStatusFlags, LINEDEVSTATUSFLAGS_INSERVICE);
}

}  // namespace
}  // namespace tapi32_test
