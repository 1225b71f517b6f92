// The demo traffic: calls come and go by themselves, the same seed brings the same callers, a
// call the user answers stays connected until the far end ends it, one line is forwarded for a
// while, and Reset stops it all.
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tapi32_fixture.h"

namespace tapi32_test {
namespace {

constexpr DWORD kBoth = LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER;
constexpr DWORD kVoice = LINEMEDIAMODE_INTERACTIVEVOICE;

tapi32::sim::Config Busy(uint32_t seed, uint32_t intervalMs, uint32_t lines = 2) {
  tapi32::sim::Config config;
  for (uint32_t i = 0; i < lines; ++i)
    config.lines.push_back(Line("Voice " + std::to_string(i), 0x300 + i));
  tapi32::sim::LineConfig modem = Line("Modem", 0x3FF);
  modem.mediaModes = LINEMEDIAMODE_DATAMODEM;
  config.lines.push_back(modem);
  config.traffic.enabled = true;
  config.traffic.seed = seed;
  config.traffic.intervalMs = intervalMs;
  return config;
}

class TrafficTest : public TapiTest {
 protected:
  void TearDown() override {
    TapiTest::TearDown();
    TapiTest::SetUp();  // a quiet switch for the next test
  }

  // Waits for the next message; false when none came for a long time.
  static bool Next(HLINEAPP app, LINEMESSAGE& message) {
    return lineGetMessage(app, &message, 60000) == 0;
  }
};

TEST_F(TrafficTest, CallsComeAndGoOnTheVoiceLinesAndResetStopsThem) {
  Switch().Reset(Busy(7, 10));
  EXPECT_TRUE(Switch().TrafficRunning());
  LineInit app = InitLine();
  ASSERT_EQ(app.result, 0);
  std::map<HLINE, DWORD> lines;
  for (DWORD id = 0; id < 3; ++id)
    lines[OpenLine(app.app, id, LINECALLPRIVILEGE_MONITOR, 0, 100 + id)] = id;

  std::set<HCALL> begun;
  std::set<HCALL> ended;
  std::map<HCALL, DWORD> perLine;
  LINEMESSAGE message{};
  while (ended.size() < 4 && Next(app.app, message)) {
    if (message.dwMessageID == LINE_APPNEWCALL) {
      begun.insert(message.dwParam2);
      perLine[message.dwParam2] = lines.at(message.hDevice);
      EXPECT_EQ(message.dwParam3, LINECALLPRIVILEGE_MONITOR);
    }
    if (message.dwMessageID == LINE_CALLSTATE && message.dwParam1 == LINECALLSTATE_IDLE) {
      EXPECT_TRUE(begun.contains(message.hDevice));
      ended.insert(message.hDevice);
      lineDeallocateCall(message.hDevice);
    }
  }
  EXPECT_GE(ended.size(), 4u);
  for (const auto& [call, line] : perLine)
    EXPECT_NE(line, 2u) << "the data line got a voice call";
  EXPECT_GE(Switch().TrafficCalls(), 4u);

  tapi32::sim::Config quiet;
  quiet.lines = {Line("Voice", 0x300)};
  Switch().Reset(quiet);
  EXPECT_FALSE(Switch().TrafficRunning());
  EXPECT_EQ(Switch().TrafficCalls(), 0u);
  EXPECT_TRUE(Switch().CallsOnLine(0).empty());
}

TEST_F(TrafficTest, TheSameSeedBringsTheSameCallers) {
  auto callers = [this](uint32_t seed) {
    // One line with room for everyone, so that no arrival is skipped and the colleague may
    // always dial out.
    tapi32::sim::Config config = Busy(seed, 5, 1);
    config.traffic.maxCallsPerLine = 100;
    config.lines[0].maxActiveCalls = 100;
    Switch().Reset(config);
    LineInit app = InitLine();
    OpenLine(app.app, 0, LINECALLPRIVILEGE_MONITOR, 0, 5);
    std::vector<std::u16string> numbers;
    LINEMESSAGE message{};
    while (numbers.size() < 5 && Next(app.app, message)) {
      if (message.dwMessageID != LINE_APPNEWCALL) continue;
      const tapi32::CallData data = Switch().CallSnapshot(Switch().CallIdOf(message.dwParam2));
      numbers.push_back(data.origin == LINECALLORIGIN_OUTBOUND ? u"out:" + data.called.number
                                                               : data.caller.number);
    }
    lineShutdown(app.app);
    return numbers;
  };
  const auto first = callers(11);
  ASSERT_EQ(first.size(), 5u);
  EXPECT_EQ(callers(11), first);
  EXPECT_NE(callers(12), first);
}

TEST_F(TrafficTest, ACallTheUserAnswersStaysConnectedUntilTheFarEndHangsUp) {
  Switch().Reset(Busy(3, 40, 1));
  LineInit app = InitLine();
  const HLINE line = OpenLine(app.app, 0, kBoth, kVoice, 9);
  ASSERT_NE(line, 0u);
  // Answer every call offered to us until one answer wins the race against the colleague.
  HCALL answered = 0;
  std::map<LONG, HCALL> answers;
  LINEMESSAGE message{};
  while (answered == 0 && Next(app.app, message)) {
    if (message.dwMessageID == LINE_APPNEWCALL && message.dwParam3 == LINECALLPRIVILEGE_OWNER) {
      const LONG request = lineAnswer(message.dwParam2, nullptr, 0);
      if (request > 0) answers[request] = message.dwParam2;
    }
    if (message.dwMessageID == LINE_REPLY && message.dwParam2 == 0 &&
        answers.contains(static_cast<LONG>(message.dwParam1))) {
      answered = answers[static_cast<LONG>(message.dwParam1)];
    }
  }
  ASSERT_NE(answered, 0u);
  std::vector<DWORD> states;
  while (Next(app.app, message)) {
    if (message.dwMessageID == LINE_CALLSTATE && message.hDevice == answered) {
      states.push_back(message.dwParam1);
      if (message.dwParam1 == LINECALLSTATE_DISCONNECTED) break;
    }
  }
  ASSERT_FALSE(states.empty());
  EXPECT_EQ(states.front(), LINECALLSTATE_CONNECTED);
  EXPECT_EQ(states.back(), LINECALLSTATE_DISCONNECTED);
  // Nobody dropped it: the switch clears the line a while later.
  while (Next(app.app, message)) {
    if (message.dwMessageID == LINE_CALLSTATE && message.hDevice == answered) {
      EXPECT_EQ(message.dwParam1, LINECALLSTATE_IDLE);
      break;
    }
  }
}

TEST_F(TrafficTest, ConnectedCallersTypeDigitsSendFaxTonesAndFallSilent) {
  tapi32::sim::Config config = Busy(5, 1000);
  for (uint32_t i = 0; i < 2; ++i)
    config.lines[i].mediaModes = kVoice | LINEMEDIAMODE_G3FAX;
  Switch().Reset(config);
  Switch().UseManualClock();
  const HLINEAPP app = InitLine().app;
  for (uint32_t line = 0; line < 2; ++line)
    ASSERT_NE(OpenLine(app, line, LINECALLPRIVILEGE_MONITOR, 0), 0u);
  // Every call is watched for keys, fax tones and a second of silence as it appears.
  const LINEMONITORTONE silence{1, 1000, 0, 0, 0};
  std::string keys;
  int faxes = 0;
  int silences = 0;
  for (int step = 0; step < 600; ++step) {
    Switch().AdvanceClock(500);
    for (const LINEMESSAGE& message : DrainLine(app)) {
      if (message.dwMessageID == LINE_APPNEWCALL) {
        const HCALL call = message.dwParam2;
        EXPECT_EQ(lineMonitorDigits(call, LINEDIGITMODE_DTMF), 0);
        EXPECT_EQ(lineMonitorMedia(call, LINEMEDIAMODE_G3FAX), 0);
        EXPECT_EQ(lineMonitorTones(call, &silence, 1), 0);
      } else if (message.dwMessageID == LINE_MONITORDIGITS) {
        keys += static_cast<char>(message.dwParam1);
      } else if (message.dwMessageID == LINE_MONITORMEDIA) {
        ++faxes;
      } else if (message.dwMessageID == LINE_MONITORTONE) {
        ++silences;
      }
    }
  }
  // Four digits and a hash key each time.
  ASSERT_GE(keys.size(), 5u);
  EXPECT_EQ(keys.size() % 5, 0u);
  EXPECT_EQ(keys[4], '#');
  EXPECT_GE(faxes, 1);
  EXPECT_GE(silences, 1);
}

TEST_F(TrafficTest, TheLastVoiceLineIsForwardedToTheFirstForPartOfTheTime) {
  tapi32::sim::Config config = tapi32::sim::DemoConfig();
  config.traffic.enabled = true;
  config.traffic.intervalMs = 5;
  Switch().Reset(config);
  LineInit app = InitLine();
  const HLINE support = OpenLine(app.app, 2, LINECALLPRIVILEGE_MONITOR, 0, 3);
  ASSERT_NE(support, 0u);
  lineSetStatusMessages(support, 0, LINEADDRESSSTATE_FORWARD);
  // On, then off again: each time the address status says so.
  std::vector<DWORD> entries;
  LINEMESSAGE message{};
  while (entries.size() < 2 && Next(app.app, message)) {
    if (message.dwMessageID != LINE_ADDRESSSTATE || message.hDevice != support) continue;
    EXPECT_EQ(message.dwParam2, LINEADDRESSSTATE_FORWARD);
    std::vector<uint8_t> buffer(1024);
    auto* status = reinterpret_cast<LINEADDRESSSTATUS*>(buffer.data());
    status->dwTotalSize = 1024;
    ASSERT_EQ(lineGetAddressStatusW(support, 0, status), 0);
    entries.push_back(status->dwForwardNumEntries);
    if (status->dwForwardNumEntries == 1) {
      const auto* entry =
          reinterpret_cast<const LINEFORWARD*>(buffer.data() + status->dwForwardOffset);
      EXPECT_EQ(entry->dwForwardMode, LINEFORWARDMODE_UNCOND);
      EXPECT_EQ(std::u16string(
                    reinterpret_cast<const char16_t*>(buffer.data() + entry->dwDestAddressOffset)),
                u"200");
    }
  }
  EXPECT_EQ(entries, (std::vector<DWORD>{1, 0}));
}

TEST_F(TrafficTest, TheDemoIsQuietUnlessTheDefaultPathAddsTraffic) {
  EXPECT_FALSE(tapi32::sim::DemoConfig().traffic.enabled);
  EXPECT_TRUE(tapi32::sim::LiveDemoConfig().traffic.enabled);
  Switch().Reset(tapi32::sim::DemoConfig());
  EXPECT_FALSE(Switch().TrafficRunning());

  Switch().Unconfigure();
  ::unsetenv(tapi32::sim::kConfigVariable);
  LineInit app = InitLine();
  ASSERT_EQ(app.result, 0);
  EXPECT_TRUE(Switch().TrafficRunning());
  Switch().Unconfigure();
  EXPECT_FALSE(Switch().TrafficRunning());
}

// A soak run watches an hour of traffic in minutes: the speed-up shortens every delay on the
// switch's clock, and lasts through the Reset that starts the traffic.
TEST_F(TrafficTest, ASpedUpClockShortensEveryDelayUntilItIsSetBack) {
  struct RealTimeAfterwards {
    ~RealTimeAfterwards() { tapi32::sim::Switch::Instance().SpeedUpClock(1); }
  } restore;
  auto ringsAfter = [this](std::initializer_list<uint32_t> steps) {
    tapi32::sim::Config config;
    config.lines = {Line("Voice", 0x300)};
    config.lines[0].ringIntervalMs = 6000;
    Switch().Reset(config);
    Switch().UseManualClock();
    LineInit app = InitLine();
    const HLINE line = OpenLine(app.app, 0, LINECALLPRIVILEGE_MONITOR, 0);
    EXPECT_EQ(lineSetStatusMessages(line, LINEDEVSTATE_RINGING, 0), 0);
    tapi32::sim::IncomingCall call;
    call.callerNumber = "123";
    Switch().OfferCall(0, 0, call);
    std::vector<size_t> rings;
    for (uint32_t ms : steps) {
      Switch().AdvanceClock(ms);
      size_t count = 0;
      for (const LINEMESSAGE& m : DrainLine(app.app))
        count += m.dwMessageID == LINE_LINEDEVSTATE && m.dwParam1 == LINEDEVSTATE_RINGING;
      rings.push_back(count);
    }
    lineShutdown(app.app);
    return rings;
  };
  using Rings = std::vector<size_t>;
  // The first ring comes at once with the offer; the next one a ring interval later.
  EXPECT_EQ(ringsAfter({0, 599, 1, 600}), (Rings{1, 0, 0, 0}));
  Switch().SpeedUpClock(10);
  EXPECT_EQ(ringsAfter({0, 599, 1, 600}), (Rings{1, 0, 1, 1}));
  Switch().SpeedUpClock(1);
  EXPECT_EQ(ringsAfter({0, 5999, 1}), (Rings{1, 0, 1}));
}

TEST(TrafficConfigTest, TheTrafficSectionIsRead) {
  const tapi32::sim::Config config = tapi32::sim::ParseConfig(
      "[line]\nname = a\n[traffic]\nenabled = yes\ninterval_ms = 1500\nseed = 0x10\n"
      "max_calls_per_line = 3\n",
      "t.ini");
  EXPECT_TRUE(config.traffic.enabled);
  EXPECT_EQ(config.traffic.intervalMs, 1500u);
  EXPECT_EQ(config.traffic.seed, 16u);
  EXPECT_EQ(config.traffic.maxCallsPerLine, 3u);
  EXPECT_FALSE(tapi32::sim::ParseConfig("[line]\nname = a\n", "t.ini").traffic.enabled);

  auto error = [](const std::string& text) {
    try {
      tapi32::sim::ParseConfig(text, "t.ini");
    } catch (const tapi32::sim::ConfigError& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  EXPECT_EQ(error("[traffic]\nenabled = maybe\n"), "t.ini:2: 'maybe' is not yes or no");
  EXPECT_EQ(error("[traffic]\ninterval_ms = 0\n"), "t.ini:2: interval_ms must be above 0");
  EXPECT_EQ(error("[traffic]\n[traffic]\n"), "t.ini:2: a second [traffic] section");
  EXPECT_EQ(error("[traffic]\nname = x\n"), "t.ini:2: unknown key 'name' in a [traffic] section");
}

}  // namespace
}  // namespace tapi32_test
