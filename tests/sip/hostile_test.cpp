// Hostile and malformed SIP from SIPp against the provider: after each scenario the provider
// still offers a normal call, and no call, call handle or socket is left behind.

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "tapi32/server.h"
#include "tapi32/sip/sip_provider.h"
#include "tests/descriptor_support.h"
#include "tests/sip/sipp.h"
#include "tests/tapi32/tapi32_fixture.h"

namespace {

using tapi32_test::Code;

// What the application does with the calls a scenario gets offered.
enum class Reaction {
  Leave,          // nothing: the caller cancels, or the call never becomes one
  AnswerAndDrop,  // answer (the answer's session description meets the offer), then hang up
  Answer,         // answer and wait for the call to end by itself
};

struct Scenario {
  std::string name;
  Reaction reaction = Reaction::Leave;
  int offeredCalls = -1;  // the exact number of calls the scenario must offer; -1: any
  std::vector<std::string> injection;
};

void PrintTo(const Scenario& scenario, std::ostream* out) {
  *out << scenario.name;
}

using test_support::OpenDescriptors;

class HostileSipTest : public ::testing::TestWithParam<Scenario> {
 protected:
  void SetUp() override {
    port_ = sip_test::FreeUdpPort();
    provider_ = std::make_unique<tapi32::sip::SipProvider>(
        std::vector<tapi32::sip::SipAccount>{sip_test::LoopbackAccount("rw", "Reception", port_)});
    previous_ = tapi32::Server::Instance().CurrentProvider();
    tapi32::Server::Instance().SetProvider(provider_.get());
    init_ = tapi32_test::InitLine();
    ASSERT_EQ(init_.result, 0);
    ASSERT_EQ(init_.numDevs, 1u);
    line_ = tapi32_test::OpenLine(init_.app, 0, LINECALLPRIVILEGE_OWNER,
                                  LINEMEDIAMODE_INTERACTIVEVOICE);
    ASSERT_NE(line_, 0u);
    ASSERT_TRUE(PumpUntil([&] { return InService(); }));
  }

  void TearDown() override {
    if (init_.app != 0) lineShutdown(init_.app);
    tapi32::Server::Instance().SetProvider(previous_);
    provider_.reset();
  }

  bool InService() {
    LINEDEVSTATUS status{};
    status.dwTotalSize = sizeof(status);
    return lineGetLineDevStatusW(line_, &status) == 0 &&
           (status.dwDevStatusFlags & LINEDEVSTATUSFLAGS_INSERVICE) != 0;
  }

  // Handles the line's messages (offered calls get the scenario's reaction, idle calls are
  // deallocated) until `done` holds; false when it did not within `limitS`.
  bool PumpUntil(const std::function<bool()>& done, int limitS = 30) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limitS);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      LINEMESSAGE message{};
      if (lineGetMessage(init_.app, &message, 100) == 0) Handle(message);
    }
    return true;
  }

  void Handle(const LINEMESSAGE& message) {
    const auto call = static_cast<HCALL>(message.hDevice);
    if (message.dwMessageID == LINE_APPNEWCALL) {
      ++offered_;
      calls_.insert(static_cast<HCALL>(message.dwParam2));
    } else if (message.dwMessageID == LINE_CALLSTATE) {
      switch (message.dwParam1) {
        case LINECALLSTATE_OFFERING:
          if (reaction_ != Reaction::Leave) {
            EXPECT_GT(lineAnswer(call, nullptr, 0), 0);
          }
          break;
        case LINECALLSTATE_CONNECTED:
          ++connected_;
          if (reaction_ == Reaction::AnswerAndDrop) {
            // The message may be read after the caller's side has already ended the call.
            const LONG dropped = lineDrop(call, nullptr, 0);
            EXPECT_TRUE(dropped > 0 || dropped == tapi32_test::Code(LINEERR_INVALCALLSTATE))
                << std::hex << dropped;
          }
          break;
        case LINECALLSTATE_IDLE:
          EXPECT_EQ(lineDeallocateCall(call), 0);
          calls_.erase(call);
          break;
        default:
          break;
      }
    }
  }

  // No call left anywhere: the application holds no handle and the line lists no live call.
  bool NoCallLeft() {
    if (!calls_.empty()) return false;
    std::lock_guard lock(tapi32::Server::Instance().Mutex());
    return provider_->Line(0).LiveCalls().empty();
  }

  uint16_t port_ = 0;
  std::unique_ptr<tapi32::sip::SipProvider> provider_;
  tapi32::Provider* previous_ = nullptr;
  tapi32_test::LineInit init_;
  HLINE line_ = 0;
  Reaction reaction_ = Reaction::Leave;
  int offered_ = 0;
  int connected_ = 0;
  std::set<HCALL> calls_;
};

TEST_P(HostileSipTest, ProviderSurvivesAndKeepsNoCall) {
  const Scenario& scenario = GetParam();
  const size_t descriptorsBefore = OpenDescriptors();
  reaction_ = scenario.reaction;
  {
    sip_test::SippOptions options;
    options.scenario = sip_test::ScenarioPath(scenario.name).string();
    options.targetPort = port_;
    options.injection = scenario.injection;
    sip_test::Sipp sipp(options);
    std::optional<int> status;
    ASSERT_TRUE(PumpUntil([&] { return (status = sipp.Wait(0)).has_value(); }, 120)) << sipp.Log();
    // 0: every message went out as written; 1: SIPp counted its call failed because the
    // provider answered other than the scenario hoped, which is the provider's right.
    EXPECT_LE(*status, 1) << sipp.Log();
  }
  // An unacknowledged answer ends only when the provider gives up retransmitting (64 × T1).
  ASSERT_TRUE(PumpUntil([&] { return NoCallLeft(); }, 90)) << offered_ << " calls offered";
  if (scenario.offeredCalls >= 0) {
    EXPECT_EQ(offered_, scenario.offeredCalls);
  }
  if (scenario.reaction != Reaction::Leave && offered_ > 0) {
    EXPECT_GT(connected_, 0);
  }

  // A well-behaved caller afterwards: offered, answered, hung up by the caller.
  reaction_ = Reaction::Answer;
  offered_ = connected_ = 0;
  sip_test::SippOptions normal;
  normal.scenario = "uac";
  normal.targetPort = port_;
  normal.callLengthMs = 200;
  sip_test::Sipp caller(normal);
  std::optional<int> status;
  ASSERT_TRUE(PumpUntil([&] { return (status = caller.Wait(0)).has_value(); }, 120));
  EXPECT_EQ(*status, 0) << caller.Log();
  EXPECT_EQ(offered_, 1);
  EXPECT_EQ(connected_, 1);
  ASSERT_TRUE(PumpUntil([&] { return NoCallLeft(); }));
  EXPECT_TRUE(InService());
  // Sockets of ended calls are closed by the loop thread after the call has gone idle.
  EXPECT_TRUE(PumpUntil([&] { return OpenDescriptors() <= descriptorsBefore; }))
      << OpenDescriptors() << " descriptors open, " << descriptorsBefore << " before";
}

// About 60 KiB: as much as a UDP datagram carries once the rest of the INVITE is in it.
const std::string kHugeField(60000, 'x');

INSTANTIATE_TEST_SUITE_P(
    Scenarios, HostileSipTest,
    ::testing::Values(Scenario{"missing_headers", Reaction::Leave, -1, {}},
                      Scenario{"bad_sdp", Reaction::AnswerAndDrop, -1, {}},
                      Scenario{"lying_content_length", Reaction::AnswerAndDrop, -1, {}},
                      Scenario{"huge_header", Reaction::Leave, -1, {kHugeField}},
                      Scenario{"unknown_methods", Reaction::Leave, 0, {}},
                      Scenario{"retransmitted_invite", Reaction::Leave, 1, {}},
                      Scenario{"no_ack", Reaction::Answer, 1, {}},
                      Scenario{"cancel_unknown", Reaction::Leave, 0, {}},
                      Scenario{"bye_unknown", Reaction::Leave, 0, {}},
                      // INVITEs without a Via or a usable CSeq: no call may come of them.
                      Scenario{"unanswerable_invites", Reaction::Leave, 0, {}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
