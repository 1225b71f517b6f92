// Digits, media and silence on a connected call: what lineGatherDigitsW, lineMonitorDigits,
// lineMonitorMedia and lineMonitorTones report when the far end presses keys, turns out to be a
// fax machine or falls silent. Time-outs run on the switch's clock, which the tests move.
#include <algorithm>
#include <string>
#include <vector>

#include "tapi32_fixture.h"

namespace tapi32_test {
namespace {

class DigitsTest : public TapiTest {
 protected:
  void SetUp() override {
    tapi32::sim::Config config;
    tapi32::sim::LineConfig line = Line("Alpha", 0x101);
    line.mediaModes = LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_G3FAX;
    tapi32::sim::LineConfig deaf = Line("Beta", 0x102);
    deaf.monitorDigitModes = 0;
    config.lines = {line, deaf};
    Switch().Reset(config);
    Switch().UseManualClock();
    app_ = InitLine().app;
    line_ = OpenLine(app_, 0, LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_INTERACTIVEVOICE);
    ASSERT_NE(line_, 0u);
  }

  // A call from outside, answered: CONNECTED, owned by this application.
  HCALL Connected(uint32_t lineId = 0) {
    if (lineId != 0)
      OpenLine(app_, lineId, LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_INTERACTIVEVOICE);
    callId_ = Switch().OfferCall(lineId, 0, {});
    const HCALL call = Switch().CallHandle(app_, callId_);
    EXPECT_GT(lineAnswer(call, nullptr, 0), 0);
    EXPECT_EQ(Switch().CallSnapshot(callId_).state, LINECALLSTATE_CONNECTED);
    DrainLine(app_);
    return call;
  }

  // Another application watching the line: its MONITOR handle of the connected call.
  HCALL Watch(const char16_t* name, HLINEAPP* watcher) {
    *watcher = InitLine(0x00020002, name).app;
    const HLINE line = OpenLine(*watcher, 0, LINECALLPRIVILEGE_MONITOR, 0);
    std::vector<uint8_t> bytes(sizeof(LINECALLLIST) + 16);
    auto* list = reinterpret_cast<LINECALLLIST*>(bytes.data());
    list->dwTotalSize = static_cast<DWORD>(bytes.size());
    EXPECT_EQ(lineGetNewCalls(line, 0, LINECALLSELECT_LINE, list), 0);
    EXPECT_EQ(list->dwCallsNumEntries, 1u);
    DrainLine(*watcher);
    return *reinterpret_cast<HCALL*>(bytes.data() + list->dwCallsOffset);
  }

  // The messages of one kind waiting for the application; the others are dropped.
  std::vector<LINEMESSAGE> Waiting(DWORD messageId) {
    std::vector<LINEMESSAGE> out;
    for (const LINEMESSAGE& message : DrainLine(app_)) {
      if (message.dwMessageID == messageId) out.push_back(message);
    }
    return out;
  }
  // The LINEGATHERTERM_ reasons reported, in order.
  std::vector<DWORD> Terminations() {
    std::vector<DWORD> out;
    for (const LINEMESSAGE& message : Waiting(LINE_GATHERDIGITS))
      out.push_back(message.dwParam1);
    return out;
  }

  HLINEAPP app_ = 0;
  HLINE line_ = 0;
  uint32_t callId_ = 0;
};

using Reasons = std::vector<DWORD>;

TEST_F(DigitsTest, GatheringEndsWithATerminationDigitAFullBufferOrATimeOut) {
  const HCALL call = Connected();
  // Ended by '#', which is kept; the rest of the buffer is left alone.
  std::u16string buffer(5, u'x');
  ASSERT_EQ(lineGatherDigitsW(call, LINEDIGITMODE_DTMF, buffer.data(), 4, u"*#", 5000, 5000), 0);
  Switch().PlayDigits(callId_, "12");
  EXPECT_EQ(buffer, u"12xxx") << "written as the digits arrive";
  EXPECT_TRUE(Terminations().empty());
  Switch().PlayDigits(callId_, "#9");
  EXPECT_EQ(Terminations(), Reasons{LINEGATHERTERM_TERMDIGIT});
  EXPECT_EQ(buffer, u"12#xx") << "nothing is written after the end";

  // Four digits fill the buffer.
  buffer.assign(5, u'\0');
  ASSERT_EQ(lineGatherDigitsW(call, LINEDIGITMODE_DTMF, buffer.data(), 4, nullptr, 0, 0), 0);
  Switch().PlayDigits(callId_, "4321");
  EXPECT_EQ(Terminations(), Reasons{LINEGATHERTERM_BUFFERFULL});
  EXPECT_EQ(buffer.substr(0, 4), u"4321");

  // No first digit within its time-out, measured on the switch's clock.
  ASSERT_EQ(lineGatherDigitsW(call, LINEDIGITMODE_DTMF, buffer.data(), 4, u"#", 3000, 2000), 0);
  Switch().AdvanceClock(2999);
  EXPECT_TRUE(Terminations().empty());
  Switch().AdvanceClock(1);
  EXPECT_EQ(Terminations(), Reasons{LINEGATHERTERM_FIRSTTIMEOUT});

  // Each digit restarts the inter-digit time-out.
  buffer.assign(5, u'\0');
  ASSERT_EQ(lineGatherDigitsW(call, LINEDIGITMODE_DTMF, buffer.data(), 4, u"#", 3000, 2000), 0);
  Switch().AdvanceClock(2500);
  Switch().PlayDigits(callId_, "7");
  Switch().AdvanceClock(1500);
  Switch().PlayDigits(callId_, "8");
  Switch().AdvanceClock(1999);
  EXPECT_TRUE(Terminations().empty());
  Switch().AdvanceClock(1);
  EXPECT_EQ(Terminations(), Reasons{LINEGATHERTERM_INTERTIMEOUT});
  EXPECT_EQ(buffer.substr(0, 3), std::u16string(u"78\0", 3));
  Switch().AdvanceClock(10000);
  EXPECT_TRUE(Terminations().empty()) << "a gathering ends once";
}

TEST_F(DigitsTest, GatheringIsCancelledByTheApplicationByANewGatheringAndByTheCallsEnd) {
  const HCALL call = Connected();
  std::u16string first(4, u'\0');
  std::u16string second(4, u'\0');
  // Cancelled with no buffer; with nothing running there is nothing to report.
  ASSERT_EQ(lineGatherDigitsW(call, LINEDIGITMODE_DTMF, first.data(), 3, nullptr, 0, 0), 0);
  ASSERT_EQ(lineGatherDigitsW(call, LINEDIGITMODE_DTMF, nullptr, 0, nullptr, 0, 0), 0);
  EXPECT_EQ(Terminations(), Reasons{LINEGATHERTERM_CANCEL});
  ASSERT_EQ(lineGatherDigitsW(call, LINEDIGITMODE_DTMF, nullptr, 0, nullptr, 0, 0), 0);
  EXPECT_TRUE(Terminations().empty());

  // A new gathering replaces the running one, which is reported cancelled; digits go to the
  // new buffer only.
  ASSERT_EQ(lineGatherDigitsW(call, LINEDIGITMODE_DTMF, first.data(), 3, nullptr, 1000, 0), 0);
  ASSERT_EQ(lineGatherDigitsW(call, LINEDIGITMODE_DTMF, second.data(), 3, nullptr, 0, 0), 0);
  EXPECT_EQ(Terminations(), Reasons{LINEGATHERTERM_CANCEL});
  Switch().AdvanceClock(1000);
  EXPECT_TRUE(Terminations().empty()) << "the old gathering's time-out is void";
  Switch().PlayDigits(callId_, "5");
  EXPECT_EQ(first[0], u'\0');
  EXPECT_EQ(second[0], u'5');

  // The call ends: its IDLE state first, then the gathering's cancellation.
  Switch().RemoteHangUp(callId_);
  ASSERT_GT(lineDrop(call, nullptr, 0), 0);
  std::vector<DWORD> order;
  for (const LINEMESSAGE& message : DrainLine(app_)) {
    if (message.dwMessageID == LINE_GATHERDIGITS) order.push_back(message.dwParam1);
    if (message.dwMessageID == LINE_CALLSTATE && message.dwParam1 == LINECALLSTATE_IDLE)
      order.push_back(LINECALLSTATE_IDLE);
  }
  EXPECT_EQ(order, (Reasons{LINECALLSTATE_IDLE, LINEGATHERTERM_CANCEL}));
}

TEST_F(DigitsTest, DigitMonitorsHearEachDigitInTheModesTheyAskFor) {
  const HCALL call = Connected();
  // Another application watches the same call as a monitor.
  HLINEAPP watcher = 0;
  const HCALL watched = Watch(u"watcher", &watcher);
  ASSERT_EQ(lineMonitorDigits(call, LINEDIGITMODE_DTMF | LINEDIGITMODE_DTMFEND), 0);
  ASSERT_EQ(lineMonitorDigits(watched, LINEDIGITMODE_DTMFEND), 0);
  Switch().PlayDigits(callId_, "5#");
  std::vector<std::pair<DWORD, DWORD>> heard;
  for (const LINEMESSAGE& message : Waiting(LINE_MONITORDIGITS)) {
    EXPECT_EQ(message.hDevice, call);
    heard.emplace_back(message.dwParam1, message.dwParam2);
  }
  EXPECT_EQ(heard, (std::vector<std::pair<DWORD, DWORD>>{{u'5', LINEDIGITMODE_DTMF},
                                                         {u'5', LINEDIGITMODE_DTMFEND},
                                                         {u'#', LINEDIGITMODE_DTMF},
                                                         {u'#', LINEDIGITMODE_DTMFEND}}));
  std::vector<DWORD> ends;
  for (const LINEMESSAGE& message : DrainLine(watcher)) {
    if (message.dwMessageID == LINE_MONITORDIGITS) ends.push_back(message.dwParam2);
  }
  EXPECT_EQ(ends, (Reasons{LINEDIGITMODE_DTMFEND, LINEDIGITMODE_DTMFEND}));

  // Mode 0 stops; a mode the line cannot hear is refused and changes nothing.
  ASSERT_EQ(lineMonitorDigits(call, 0), 0);
  EXPECT_EQ(lineMonitorDigits(watched, LINEDIGITMODE_PULSE | LINEDIGITMODE_DTMF),
            Code(LINEERR_INVALDIGITMODE));
  Switch().PlayDigits(callId_, "1");
  EXPECT_TRUE(Waiting(LINE_MONITORDIGITS).empty());
  EXPECT_EQ(DrainLine(watcher).size(), 1u) << "the watcher still hears the key's end";
}

TEST_F(DigitsTest, RefusalsNameWhatIsWrong) {
  const HCALL call = Connected();
  std::u16string buffer(8, u'\0');
  auto gather = [&](HCALL on, DWORD modes, LPWSTR digits, DWORD count, LPCWSTR terminators,
                    DWORD first, DWORD inter) {
    return lineGatherDigitsW(on, modes, digits, count, terminators, first, inter);
  };
  EXPECT_EQ(gather(0xBAD, LINEDIGITMODE_DTMF, buffer.data(), 2, nullptr, 0, 0),
            Code(LINEERR_INVALCALLHANDLE));
  EXPECT_EQ(lineMonitorDigits(0xBAD, LINEDIGITMODE_DTMF), Code(LINEERR_INVALCALLHANDLE));
  EXPECT_EQ(gather(call, LINEDIGITMODE_DTMF, nullptr, 2, nullptr, 0, 0),
            Code(LINEERR_INVALPOINTER));
  EXPECT_EQ(gather(call, LINEDIGITMODE_DTMF, buffer.data(), 0, nullptr, 0, 0),
            Code(LINEERR_INVALPARAM));
  // DTMFEND only tells when a key is let go; PULSE is not what this line hears.
  EXPECT_EQ(gather(call, LINEDIGITMODE_DTMFEND, buffer.data(), 2, nullptr, 0, 0),
            Code(LINEERR_INVALDIGITMODE));
  EXPECT_EQ(gather(call, LINEDIGITMODE_PULSE, buffer.data(), 2, nullptr, 0, 0),
            Code(LINEERR_INVALDIGITMODE));
  EXPECT_EQ(lineMonitorDigits(call, 0x8), Code(LINEERR_INVALDIGITMODE));
  EXPECT_EQ(gather(call, LINEDIGITMODE_DTMF, buffer.data(), 2, nullptr, 99, 0),
            Code(LINEERR_INVALTIMEOUT));
  EXPECT_EQ(gather(call, LINEDIGITMODE_DTMF, buffer.data(), 2, nullptr, 0, 60001),
            Code(LINEERR_INVALTIMEOUT));
  EXPECT_EQ(gather(call, LINEDIGITMODE_DTMF, buffer.data(), 2, u"#X", 0, 0),
            Code(LINEERR_INVALDIGITS));
  EXPECT_TRUE(Terminations().empty()) << "a refused gathering never ran";

  // Gathering needs an owner; monitoring does not.
  HLINEAPP other = 0;
  const HCALL monitored = Watch(u"other", &other);
  EXPECT_EQ(gather(monitored, LINEDIGITMODE_DTMF, buffer.data(), 2, nullptr, 0, 0),
            Code(LINEERR_NOTOWNER));
  EXPECT_EQ(lineMonitorDigits(monitored, LINEDIGITMODE_DTMF), 0);

  // A line that hears no digits has neither service.
  const uint32_t talking = callId_;
  const HCALL deaf = Connected(1);
  EXPECT_EQ(gather(deaf, LINEDIGITMODE_DTMF, buffer.data(), 2, nullptr, 0, 0),
            Code(LINEERR_OPERATIONUNAVAIL));
  EXPECT_EQ(lineMonitorDigits(deaf, LINEDIGITMODE_DTMF), Code(LINEERR_OPERATIONUNAVAIL));

  // A call that is over takes neither.
  Switch().RemoteHangUp(talking);
  ASSERT_GT(lineDrop(call, nullptr, 0), 0);
  ASSERT_EQ(Switch().CallSnapshot(talking).state, LINECALLSTATE_IDLE);
  EXPECT_EQ(gather(call, LINEDIGITMODE_DTMF, buffer.data(), 2, nullptr, 0, 0),
            Code(LINEERR_INVALCALLSTATE));
  EXPECT_EQ(lineMonitorDigits(call, LINEDIGITMODE_DTMF), Code(LINEERR_INVALCALLSTATE));
}

TEST_F(DigitsTest, EntryPointsCountThemselvesAndTakeInjectedFaults) {
  const HCALL call = Connected();
  std::u16string buffer(4, u'\0');
  Switch().FailNext("lineGatherDigitsW", Code(LINEERR_RESOURCEUNAVAIL));
  Switch().FailNext("lineMonitorDigits", Code(LINEERR_OPERATIONFAILED));
  EXPECT_EQ(lineGatherDigitsW(call, LINEDIGITMODE_DTMF, buffer.data(), 2, nullptr, 0, 0),
            Code(LINEERR_RESOURCEUNAVAIL));
  EXPECT_EQ(lineMonitorDigits(call, LINEDIGITMODE_DTMF), Code(LINEERR_OPERATIONFAILED));
  Switch().PlayDigits(callId_, "12");
  EXPECT_EQ(buffer[0], u'\0') << "a failed call started nothing";
  EXPECT_TRUE(Waiting(LINE_MONITORDIGITS).empty());
  EXPECT_EQ(Switch().CallCount("lineGatherDigitsW"), 1u);
  EXPECT_EQ(Switch().CallCount("lineMonitorDigits"), 1u);
}

TEST_F(DigitsTest, SilenceIsReportedOnceAStretchHasLastedTheTonesDuration) {
  const HCALL call = Connected();
  const LINEMONITORTONE silence{77, 3000, 0, 0, 0};
  ASSERT_EQ(lineMonitorTones(call, &silence, 1), 0);
  Switch().PlaySilence(callId_);
  Switch().AdvanceClock(2999);
  EXPECT_TRUE(Waiting(LINE_MONITORTONE).empty());
  Switch().AdvanceClock(1);
  const std::vector<LINEMESSAGE> heard = Waiting(LINE_MONITORTONE);
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].hDevice, call);
  EXPECT_EQ(heard[0].dwParam1, 77u);
  Switch().AdvanceClock(60000);
  EXPECT_TRUE(Waiting(LINE_MONITORTONE).empty()) << "once per stretch";

  // Speech ends the stretch; a short silence is no silence.
  Switch().PlaySpeech(callId_);
  Switch().PlaySilence(callId_);
  Switch().AdvanceClock(2000);
  Switch().PlaySpeech(callId_);
  Switch().PlaySilence(callId_);
  Switch().AdvanceClock(2000);
  EXPECT_TRUE(Waiting(LINE_MONITORTONE).empty());
  Switch().AdvanceClock(1000);
  EXPECT_EQ(Waiting(LINE_MONITORTONE).size(), 1u);

  // A list given during a silence counts from then; no list, no report.
  Switch().PlaySpeech(callId_);
  Switch().PlaySilence(callId_);
  Switch().AdvanceClock(2000);
  ASSERT_EQ(lineMonitorTones(call, nullptr, 0), 0);
  Switch().AdvanceClock(5000);
  EXPECT_TRUE(Waiting(LINE_MONITORTONE).empty());
  ASSERT_EQ(lineMonitorTones(call, &silence, 1), 0);
  Switch().AdvanceClock(2999);
  EXPECT_TRUE(Waiting(LINE_MONITORTONE).empty());
  Switch().AdvanceClock(1);
  EXPECT_EQ(Waiting(LINE_MONITORTONE).size(), 1u);
}

TEST_F(DigitsTest, AFaxToneOnAVoiceCallIsAMediaModeChange) {
  const HCALL call = Connected();
  ASSERT_EQ(lineMonitorMedia(call, LINEMEDIAMODE_G3FAX), 0);
  Switch().ChangeMediaMode(callId_, LINEMEDIAMODE_G3FAX);
  std::vector<DWORD> order;
  for (const LINEMESSAGE& message : DrainLine(app_)) {
    if (message.dwMessageID == LINE_MONITORMEDIA) {
      EXPECT_EQ(message.dwParam1, LINEMEDIAMODE_G3FAX);
      order.push_back(LINE_MONITORMEDIA);
    }
    if (message.dwMessageID == LINE_CALLINFO && message.dwParam1 == LINECALLINFOSTATE_MEDIAMODE)
      order.push_back(LINE_CALLINFO);
  }
  EXPECT_EQ(order, (Reasons{LINE_MONITORMEDIA, LINE_CALLINFO}));
  std::vector<uint8_t> buffer(4096);
  auto* info = reinterpret_cast<LINECALLINFO*>(buffer.data());
  info->dwTotalSize = static_cast<DWORD>(buffer.size());
  ASSERT_EQ(lineGetCallInfoW(call, info), 0);
  EXPECT_EQ(info->dwMediaMode, LINEMEDIAMODE_G3FAX);
  // Back to voice, which nobody monitors: only the call's information changes.
  Switch().ChangeMediaMode(callId_, LINEMEDIAMODE_INTERACTIVEVOICE);
  EXPECT_TRUE(Waiting(LINE_MONITORMEDIA).empty());
}

}  // namespace
}  // namespace tapi32_test
