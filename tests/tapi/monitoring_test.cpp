// A call's digit gathering, digit, media and silence monitors against the simulated switch, as a
// program sees them: the far end presses keys, sends a fax tone or falls silent, and the line's
// events report it. Time-outs and the length of a silence run on the switch's clock, which the
// tests move by hand.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "line_test_support.h"
#include "tapi/errors.h"

namespace zvtapi::testing {
namespace {

constexpr Cardinal kSilence = TzvTapiCallSilenceMonitor::kSilenceAppSpecific;

class Monitoring : public LineTest {
 protected:
  void SetUp() override {
    tapi32::sim::Config config = SmallOffice();
    config.lines[0].mediaModes = LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_G3FAX;
    config.lines[1].monitorDigitModes = LINEDIGITMODE_DTMF;  // tone dialling, no key releases
    config.lines[2].monitorDigitModes = 0;
    Switch().Reset(config);
    ResetApplication();
    Switch().UseManualClock();
    line_.SetOnDigits(
        [this](TzvTapiLine*, TzvTapiCall* call, const std::string& digits, Cardinal termination) {
          gathered_.push_back({call, digits, termination});
        });
    line_.SetOnDigit(
        [this](TzvTapiLine*, TzvTapiCall*, char16_t digit) { digits_.push_back(char(digit)); });
    line_.SetOnSilence([this](TzvTapiLine*, TzvTapiCall*) { ++silences_; });
    line_.SetOnMediaMode([this](TzvTapiLine*, TzvTapiCall*) { ++mediaModes_; });
    line_.SetOnDeviceState([this](TObject*, Cardinal state, Cardinal, Cardinal) {
      if (state & LINEDEVSTATE_INSERVICE) ++settled_;
    });
    line_.SetOnError(
        [this](TObject*, const std::exception& e, TObject*) { errors_.push_back(e.what()); });
  }

  // A call from outside on the line's device, answered by the program, with everything the
  // answer brought handled. The connected state is not the last of it (the line's and the
  // address's states and the connected party follow), and how much of it the wait for the
  // reply takes along depends on when the event thread hands it over: a test that frees the
  // call or counts its events must not meet the rest later.
  TzvTapiCall* Connected(Integer deviceID = 0) {
    OpenOn(line_, deviceID);
    callId_ = Switch().OfferCall(static_cast<uint32_t>(deviceID), 0, Caller("301", "Ann"));
    EXPECT_TRUE(PumpUntil([&] { return line_.Calls().Count() == 1; }));
    TzvTapiCall* call = line_.OnlyCall();
    call->Answer("");
    Settle();
    EXPECT_EQ(call->State(), LINECALLSTATE_CONNECTED);
    return call;
  }

  // Everything the switch has sent so far has been handled: a line state message sent now
  // arrives after it.
  void Settle() {
    const int before = settled_;
    Switch().LineState(static_cast<uint32_t>(line_.DeviceID()), LINEDEVSTATE_INSERVICE);
    ASSERT_TRUE(PumpUntil([&] { return settled_ > before; }));
  }

  struct Gathered {
    TzvTapiCall* call;
    std::string digits;
    Cardinal termination;
  };

  LineUnderTest line_;
  uint32_t callId_ = 0;
  std::vector<Gathered> gathered_;
  std::string digits_;
  int silences_ = 0;
  int mediaModes_ = 0;
  int settled_ = 0;
  std::vector<std::string> errors_;
};

TEST_F(Monitoring, FourDigitsAreGatheredUpToTheHashKeyOrUntilTheCallerStopsTyping) {
  line_.CallOptions().GatherDigits().SetNumDigits(4);
  TzvTapiCall* call = Connected();
  TzvTapiCallGatherDigits& gather = call->GatherDigits();
  EXPECT_EQ(gather.NumDigits(), 4u) << "copied from the line's call options";

  gather.SetActive(true);
  ASSERT_TRUE(gather.Active());
  EXPECT_EQ(MessageOf([&] { gather.SetActive(true); }), "GatherDigits already running");
  Switch().PlayDigits(callId_, "12#");
  ASSERT_TRUE(PumpUntil([&] { return gathered_.size() == 1; }));
  EXPECT_EQ(gathered_[0].call, call);
  EXPECT_EQ(gathered_[0].digits, "12#");
  EXPECT_EQ(gathered_[0].termination, LINEGATHERTERM_TERMDIGIT);
  EXPECT_FALSE(gather.Active());
  EXPECT_EQ(gather.ReceivedDigits(), "12#");

  // One key, then nothing for the inter-digit time-out (5 s by default) on the switch's clock.
  gather.SetActive(true);
  Switch().PlayDigits(callId_, "9");
  Switch().AdvanceClock(4999);
  Settle();
  EXPECT_EQ(gathered_.size(), 1u);
  Switch().AdvanceClock(1);
  ASSERT_TRUE(PumpUntil([&] { return gathered_.size() == 2; }));
  EXPECT_EQ(gathered_[1].digits, "9");
  EXPECT_EQ(gathered_[1].termination, LINEGATHERTERM_INTERTIMEOUT);

  // Cancelled by the program: reported with what had arrived.
  gather.SetActive(true);
  Switch().PlayDigits(callId_, "7");
  gather.SetActive(false);
  ASSERT_TRUE(PumpUntil([&] { return gathered_.size() == 3; }));
  EXPECT_EQ(gathered_[2].digits, "7");
  EXPECT_EQ(gathered_[2].termination, LINEGATHERTERM_CANCEL);
  EXPECT_TRUE(errors_.empty());
}

TEST_F(Monitoring, NoDigitsToGatherLeavesTheGathererAlone) {
  TzvTapiCall* call = Connected();
  call->GatherDigits().SetActive(true);
  EXPECT_FALSE(call->GatherDigits().Active());
  EXPECT_EQ(Switch().CallCount("lineGatherDigitsW"), 0u);
  // TAPI's refusal is raised and leaves the gatherer as it was.
  call->GatherDigits().SetNumDigits(2);
  call->GatherDigits().SetFirstDigitTimeout(1);  // below the line's shortest time-out
  Cardinal code = 0;
  try {
    call->GatherDigits().SetActive(true);
  } catch (const EzvTapiError& e) {
    code = e.ErrorCode();
  }
  EXPECT_EQ(code, LINEERR_INVALTIMEOUT);
  EXPECT_FALSE(call->GatherDigits().Active());
}

TEST_F(Monitoring, TheDigitMonitorStartsWhenTheCallConnectsAndStopsWhenItLeavesThatState) {
  line_.CallOptions().MonitorDigits().SetAutoSelect(true);
  // The line hears DTMF only: the richer choices are refused first.
  TzvTapiCall* call = Connected(1);
  TzvTapiCallDigitMonitor& monitor = call->MonitorDigits();
  EXPECT_TRUE(monitor.Active());
  EXPECT_EQ(monitor.DigitModes(), LINEDIGITMODE_DTMF);
  EXPECT_EQ(Switch().CallCount("lineMonitorDigits"), 3u);
  EXPECT_EQ(MessageOf([&] { monitor.SetDigitModes(LINEDIGITMODE_PULSE); }),
            "Unable to set DigitModes while monitoring is active.");

  Switch().PlayDigits(callId_, "42*");
  ASSERT_TRUE(PumpUntil([&] { return digits_.size() == 3; }));
  EXPECT_EQ(digits_, "42*");

  // On hold: monitoring stops (TAPI told), and starts again when the call is taken back.
  call->Hold();
  ASSERT_TRUE(PumpUntil([&] { return call->State() == LINECALLSTATE_ONHOLD; }));
  EXPECT_FALSE(monitor.Active());
  EXPECT_EQ(Switch().CallCount("lineMonitorDigits"), 4u);
  call->Unhold();
  ASSERT_TRUE(PumpUntil([&] { return call->State() == LINECALLSTATE_CONNECTED; }));
  EXPECT_TRUE(monitor.Active());
  Switch().PlayDigits(callId_, "0");
  ASSERT_TRUE(PumpUntil([&] { return digits_.size() == 4; }));

  // Started by hand once, stopped once.
  monitor.SetActive(false);
  monitor.SetActive(false);
  Switch().PlayDigits(callId_, "5");
  Settle();
  EXPECT_EQ(digits_, "42*0");
  const uint32_t before = Switch().CallCount("lineMonitorDigits");
  monitor.SetActive(true);
  monitor.SetActive(true);
  EXPECT_EQ(Switch().CallCount("lineMonitorDigits"), before + 1);
}

TEST_F(Monitoring, NothingIsTriedOnALineThatHearsNoDigits) {
  line_.CallOptions().MonitorDigits().SetAutoSelect(true);
  TzvTapiCall* call = Connected(2);
  EXPECT_FALSE(call->MonitorDigits().Available());
  EXPECT_FALSE(call->MonitorDigits().Active());
  EXPECT_EQ(Switch().CallCount("lineMonitorDigits"), 0u);
}

TEST_F(Monitoring, AFaxToneOnAVoiceCallIsReportedAsAMediaModeChange) {
  line_.CallOptions().MonitorMedia().SetMediaModes(LINEMEDIAMODE_G3FAX);
  TzvTapiCall* call = Connected();
  TzvTapiCallMediaMonitor& media = call->MonitorMedia();
  media.SetActive(true);
  EXPECT_EQ(MessageOf([&] { media.SetMediaModes(LINEMEDIAMODE_DATAMODEM); }),
            "Unable to set MediaModes while monitoring is active.");
  mediaModes_ = 0;
  Switch().ChangeMediaMode(callId_, LINEMEDIAMODE_G3FAX);
  Settle();
  // Heard by the monitor, then taken as the call's media mode.
  EXPECT_EQ(mediaModes_, 2);
  EXPECT_EQ(call->MediaMode(), LINEMEDIAMODE_G3FAX);
  media.SetActive(false);
  media.SetMediaModes(LINEMEDIAMODE_DATAMODEM);
  EXPECT_EQ(media.MediaModes(), LINEMEDIAMODE_DATAMODEM);
}

TEST_F(Monitoring, ThreeSecondsOfSilenceAreReportedOnce) {
  line_.CallOptions().MonitorSilence().SetDuration(3000);
  TzvTapiCall* call = Connected();
  ASSERT_TRUE(call->MonitorSilence().Available());
  call->MonitorSilence().SetActive(true);
  Switch().PlaySilence(callId_);
  Switch().AdvanceClock(2999);
  Settle();
  EXPECT_EQ(silences_, 0);
  Switch().AdvanceClock(1);
  ASSERT_TRUE(PumpUntil([&] { return silences_ == 1; }));
  Switch().AdvanceClock(30000);
  Settle();
  EXPECT_EQ(silences_, 1);
  // Stopped: a new stretch of silence goes unreported.
  call->MonitorSilence().SetActive(false);
  Switch().PlaySpeech(callId_);
  Switch().PlaySilence(callId_);
  Switch().AdvanceClock(5000);
  Settle();
  EXPECT_EQ(silences_, 1);
}

TEST_F(Monitoring, ACallFreedWhileGatheringIsNeverWrittenIntoNorReported) {
  line_.CallOptions().GatherDigits().SetNumDigits(4);
  TzvTapiCall* call = Connected();
  call->GatherDigits().SetActive(true);
  // The program frees the call; TAPI keeps it (it is still connected) and goes on gathering.
  delete call;
  EXPECT_EQ(line_.Calls().Count(), 0);
  Switch().PlayDigits(callId_, "1234");
  Settle();
  EXPECT_TRUE(gathered_.empty());
  // Nor does its report make a new object for the call.
  EXPECT_EQ(line_.Calls().Count(), 0);
}

TEST_F(Monitoring, TheCallsEndClearsItsServicesButTheMediaMonitor) {
  line_.CallOptions().GatherDigits().SetNumDigits(4);
  line_.CallOptions().MonitorMedia().SetMediaModes(LINEMEDIAMODE_G3FAX);
  line_.CallOptions().MonitorSilence().SetDuration(3000);
  QuickCleanup(line_);
  line_.Options().SetAutoFreeIdleCalls(-1);
  TzvTapiCall* call = Connected();
  call->GatherDigits().SetActive(true);
  call->MonitorDigits().SetActive(true);
  call->MonitorMedia().SetActive(true);
  call->MonitorSilence().SetActive(true);
  Switch().RemoteHangUp(callId_);
  ASSERT_TRUE(PumpUntil([&] { return call->State() == LINECALLSTATE_IDLE; }));
  EXPECT_FALSE(call->MonitorDigits().Active());
  EXPECT_FALSE(call->GatherDigits().Active());
  EXPECT_FALSE(call->MonitorSilence().Active());
  EXPECT_TRUE(call->MonitorMedia().Active());
  // TAPI cancels the gathering with the call.
  ASSERT_TRUE(PumpUntil([&] { return gathered_.size() == 1; }));
  EXPECT_EQ(gathered_[0].termination, LINEGATHERTERM_CANCEL);
}

}  // namespace
}  // namespace zvtapi::testing
