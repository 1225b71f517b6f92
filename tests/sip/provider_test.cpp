// The SIP provider through the Telephony API, against real peers on loopback: baresip calling
// and being called, two of the provider's own lines calling each other, and Kamailio as the
// registrar. Every wait is for an event, with a generous limit; nothing is timed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <numbers>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/module.h"
#include "tapi32/server.h"
#include "tapi32/sip/sip_provider.h"
#include "tapi32/tapi.h"
#include "tests/sip/peers.h"
#include "tests/sip/sipp.h"
#include "tests/tapi32/tapi32_fixture.h"

namespace {

using namespace std::chrono_literals;
using sip_test::Baresip;
using sip_test::Kamailio;
using tapi32::sip::SipAccount;
using tapi32_test::Code;

// The power of one frequency in 8 kHz samples (Goertzel).
double PowerAt(const std::vector<int16_t>& samples, double frequencyHz) {
  const double coefficient = 2 * std::cos(2 * std::numbers::pi * frequencyHz / 8000);
  double previous = 0;
  double before = 0;
  for (const int16_t sample : samples) {
    const double now = sample + coefficient * previous - before;
    before = previous;
    previous = now;
  }
  return previous * previous + before * before - coefficient * previous * before;
}

// The samples of every WAV recording in a folder, once one holds a second of audio.
std::vector<int16_t> RecordedSamples(const std::filesystem::path& folder) {
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (std::chrono::steady_clock::now() < deadline) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (entry.path().extension() != ".wav" || entry.file_size() < 44 + 16000) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      in.seekg(44);
      std::vector<int16_t> samples((entry.file_size() - 44) / 2);
      in.read(reinterpret_cast<char*>(samples.data()),
              static_cast<std::streamsize>(samples.size() * 2));
      return samples;
    }
    std::this_thread::sleep_for(50ms);
  }
  return {};
}

class SipProviderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Registration retries come quickly in tests.
    setenv("ZVTAPI_SIP_RETRY_MS", "300", 1);
    previous_ = tapi32::Server::Instance().CurrentProvider();
    sip_test::WriteToneWav(dir_.Path() / "source.wav", 440, 60);
    std::filesystem::create_directories(dir_.Path() / "received");
  }

  void TearDown() override {
    for (HLINEAPP app : tapi32::Server::Instance().LineApps())
      lineShutdown(app);
    tapi32::Server::Instance().SetProvider(previous_);
    provider_.reset();
  }

  SipAccount Account(const std::string& user) {
    SipAccount account;
    account.origin = "provider_test";
    account.displayName = "Reception " + user;
    const uint16_t port = sip_test::FreeUdpPort();
    account.aor = "sip:" + user + "@127.0.0.1:" + std::to_string(port);
    account.localAddress = "127.0.0.1:" + std::to_string(port);
    account.rtpPortMin = sip_test::FreeUdpPort();
    account.rtpPortMax = static_cast<uint16_t>(account.rtpPortMin + 40);
    account.audio.kind = tapi32::sip::AudioConfig::Kind::Files;
    account.audio.source = (dir_.Path() / "source.wav").string();
    account.audio.sink = (dir_.Path() / "received").string();
    return account;
  }

  // Installs a provider with these accounts, initialises an application and opens every line.
  void Start(std::vector<SipAccount> accounts) {
    accounts_ = accounts;
    provider_ = std::make_unique<tapi32::sip::SipProvider>(std::move(accounts));
    tapi32::Server::Instance().SetProvider(provider_.get());
    const tapi32_test::LineInit init = tapi32_test::InitLine();
    ASSERT_EQ(init.result, 0);
    ASSERT_EQ(init.numDevs, accounts_.size());
    app_ = init.app;
    for (DWORD id = 0; id < init.numDevs; ++id) {
      const HLINE line =
          tapi32_test::OpenLine(app_, id, LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_INTERACTIVEVOICE);
      ASSERT_NE(line, 0u);
      ASSERT_EQ(lineSetStatusMessages(line, LINEDEVSTATE_INSERVICE | LINEDEVSTATE_OUTOFSERVICE,
                                      LINEADDRESSSTATE_FORWARD),
                0);
      lines_.push_back(line);
    }
  }

  // Whether the line's status says it is in service, once it does or the wait is over.
  bool InService(HLINE line, std::chrono::seconds wait = 30s) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
      LINEDEVSTATUS status{};
      status.dwTotalSize = sizeof(status);
      if (lineGetLineDevStatusW(line, &status) == 0 &&
          (status.dwDevStatusFlags & LINEDEVSTATUSFLAGS_INSERVICE) != 0) {
        return true;
      }
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(20ms);
    }
  }

  // The first message not taken yet that fits, waiting for more while none does.
  std::optional<LINEMESSAGE> Wait(const std::function<bool(const LINEMESSAGE&)>& fits,
                                  std::chrono::seconds wait = 30s) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (size_t i = 0;; ++i) {
      while (i == seen_.size()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        LINEMESSAGE message{};
        if (lineGetMessage(app_, &message, static_cast<DWORD>(left.count())) == 0) {
          seen_.push_back(message);
        }
      }
      if (!taken_.contains(i) && fits(seen_[i])) {
        taken_.insert(i);
        return seen_[i];
      }
    }
  }

  HCALL WaitNewCall(HLINE line) {
    const auto message = Wait([line](const LINEMESSAGE& m) {
      return m.dwMessageID == LINE_APPNEWCALL && m.hDevice == line;
    });
    return message ? static_cast<HCALL>(message->dwParam2) : 0;
  }

  // Waits for the call to reach the state; its mode, or nothing when it did not.
  std::optional<DWORD> WaitState(HCALL call, DWORD state, std::chrono::seconds wait = 30s) {
    const auto message = Wait(
        [&](const LINEMESSAGE& m) {
          return m.dwMessageID == LINE_CALLSTATE && m.hDevice == call && m.dwParam1 == state;
        },
        wait);
    if (!message) return std::nullopt;
    return message->dwParam2;
  }

  bool WaitLineState(HLINE line, DWORD state, std::chrono::seconds wait = 30s) {
    return Wait(
               [&](const LINEMESSAGE& m) {
                 return m.dwMessageID == LINE_LINEDEVSTATE && m.hDevice == line &&
                        (m.dwParam1 & state) != 0;
               },
               wait)
        .has_value();
  }

  // The states the call has reported so far, in order.
  std::vector<DWORD> StatesOf(HCALL call) const {
    std::vector<DWORD> states;
    for (const LINEMESSAGE& m : seen_) {
      if (m.dwMessageID == LINE_CALLSTATE && m.hDevice == call) states.push_back(m.dwParam1);
    }
    return states;
  }

  static std::vector<uint8_t> CallInfo(HCALL call) {
    std::vector<uint8_t> buffer(8192);
    auto* info = reinterpret_cast<LINECALLINFO*>(buffer.data());
    info->dwTotalSize = static_cast<DWORD>(buffer.size());
    EXPECT_EQ(lineGetCallInfoW(call, info), 0);
    return buffer;
  }

  static std::string Text(const std::vector<uint8_t>& buffer, DWORD size, DWORD offset) {
    if (size < 2) return {};
    std::u16string text(reinterpret_cast<const char16_t*>(buffer.data() + offset), size / 2 - 1);
    return platform::WideToUtf8(text);
  }

  static LINECALLSTATUS Status(HCALL call) {
    LINECALLSTATUS status{};
    status.dwTotalSize = sizeof(status);
    EXPECT_EQ(lineGetCallStatus(call, &status), 0);
    return status;
  }

  // Carries out an asynchronous request and waits for its LINE_REPLY: its result.
  LONG Request(LONG id) {
    if (id < 0) return id;
    const auto reply = Wait([id](const LINEMESSAGE& m) {
      return m.dwMessageID == LINE_REPLY && m.dwParam1 == static_cast<DWORD>(id);
    });
    return reply ? static_cast<LONG>(reply->dwParam2) : Code(LINEERR_OPERATIONFAILED);
  }

  HCALL MakeCall(HLINE line, const std::string& destination, LONG* result = nullptr) {
    HCALL call = 0;
    const std::u16string address = platform::Utf8ToWide(destination);
    const LONG outcome = Request(lineMakeCallW(line, &call, address.c_str(), 0, nullptr));
    if (result != nullptr) *result = outcome;
    return call;
  }

  // The provider's user part for account `i` ("rw0"), and its URI.
  std::string UriOf(size_t i) const { return accounts_[i].aor; }

  sip_test::TempDir dir_{"sip-provider"};
  tapi32::Provider* previous_ = nullptr;
  std::vector<SipAccount> accounts_;
  std::unique_ptr<tapi32::sip::SipProvider> provider_;
  HLINEAPP app_ = 0;
  std::vector<HLINE> lines_;
  std::vector<LINEMESSAGE> seen_;
  std::set<size_t> taken_;
};

TEST_F(SipProviderTest, BaresipCallIsOfferedWithCallerIdAnsweredAndHungUpByTheCaller) {
  Start({Account("rw")});
  Baresip baresip;
  ASSERT_TRUE(baresip.Command("dial", UriOf(0)).value("ok", false));
  const HCALL call = WaitNewCall(lines_[0]);
  ASSERT_NE(call, 0u);
  EXPECT_EQ(WaitState(call, LINECALLSTATE_OFFERING), LINEOFFERINGMODE_ACTIVE);

  const std::vector<uint8_t> info = CallInfo(call);
  const auto* fixed = reinterpret_cast<const LINECALLINFO*>(info.data());
  EXPECT_EQ(Text(info, fixed->dwCallerIDNameSize, fixed->dwCallerIDNameOffset), "Bare Sip");
  EXPECT_EQ(Text(info, fixed->dwCallerIDSize, fixed->dwCallerIDOffset), "bs");
  EXPECT_EQ(Text(info, fixed->dwCalledIDSize, fixed->dwCalledIDOffset), "rw");
  EXPECT_EQ(fixed->dwOrigin, LINECALLORIGIN_EXTERNAL);
  // A ringing call can be answered, accepted or redirected; holding or transferring it cannot.
  const LINECALLSTATUS ringing = Status(call);
  EXPECT_NE(ringing.dwCallFeatures & LINECALLFEATURE_ANSWER, 0u);
  EXPECT_NE(ringing.dwCallFeatures & LINECALLFEATURE_REDIRECT, 0u);
  EXPECT_EQ(ringing.dwCallFeatures & (LINECALLFEATURE_HOLD | LINECALLFEATURE_BLINDTRANSFER), 0u);
  EXPECT_EQ(Request(lineHold(call)), Code(LINEERR_INVALCALLSTATE));
  EXPECT_EQ(lineParkW(call, LINEPARKMODE_DIRECTED, u"700", nullptr),
            Code(LINEERR_OPERATIONUNAVAIL));

  EXPECT_EQ(Request(lineAccept(call, nullptr, 0)), 0);
  EXPECT_TRUE(WaitState(call, LINECALLSTATE_ACCEPTED));
  EXPECT_EQ(Request(lineAnswer(call, nullptr, 0)), 0);
  EXPECT_EQ(WaitState(call, LINECALLSTATE_CONNECTED), LINECONNECTEDMODE_ACTIVE);
  EXPECT_TRUE(baresip.WaitEvent("CALL_ESTABLISHED")) << baresip.Log();
  EXPECT_TRUE(baresip.WaitEvent("CALL_RTPESTAB")) << baresip.Log();

  // What baresip plays arrives: its 1 kHz tone is in our recording, far above other tones.
  const std::vector<int16_t> samples = RecordedSamples(dir_.Path() / "received");
  ASSERT_FALSE(samples.empty());
  EXPECT_GT(PowerAt(samples, 1000), 20 * PowerAt(samples, 1500));

  ASSERT_TRUE(baresip.Command("hangup").value("ok", false));
  EXPECT_EQ(WaitState(call, LINECALLSTATE_DISCONNECTED), LINEDISCONNECTMODE_NORMAL);
  EXPECT_TRUE(WaitState(call, LINECALLSTATE_IDLE));
  EXPECT_EQ(StatesOf(call), (std::vector<DWORD>{LINECALLSTATE_OFFERING, LINECALLSTATE_ACCEPTED,
                                                LINECALLSTATE_CONNECTED, LINECALLSTATE_DISCONNECTED,
                                                LINECALLSTATE_IDLE}));
  EXPECT_EQ(lineDeallocateCall(call), 0);
}

TEST_F(SipProviderTest, CallerThatCancelsWhileRingingLeavesNoAnswerThenIdle) {
  Start({Account("rw")});
  Baresip baresip;
  ASSERT_TRUE(baresip.Command("dial", UriOf(0)).value("ok", false));
  const HCALL call = WaitNewCall(lines_[0]);
  ASSERT_TRUE(WaitState(call, LINECALLSTATE_OFFERING));
  ASSERT_TRUE(baresip.WaitEvent("CALL_RINGING")) << baresip.Log();
  ASSERT_TRUE(baresip.Command("hangup").value("ok", false));
  EXPECT_EQ(WaitState(call, LINECALLSTATE_DISCONNECTED), LINEDISCONNECTMODE_NOANSWER);
  EXPECT_TRUE(WaitState(call, LINECALLSTATE_IDLE));
  EXPECT_TRUE(provider_->Line(0).LiveCalls().empty());
}

// Dropping an incoming call nobody answered refuses it: busy while it only rang, declined once
// somebody accepted it.
TEST_F(SipProviderTest, DroppedRingingCallIsRefusedAsBusyOrDeclined) {
  Start({Account("rw")});
  Baresip baresip;
  for (const bool accept : {false, true}) {
    ASSERT_TRUE(baresip.Command("dial", UriOf(0)).value("ok", false));
    const HCALL call = WaitNewCall(lines_[0]);
    ASSERT_TRUE(WaitState(call, LINECALLSTATE_OFFERING));
    if (accept) {
      EXPECT_EQ(Request(lineAccept(call, nullptr, 0)), 0);
    }
    EXPECT_EQ(Request(lineDrop(call, nullptr, 0)), 0);
    EXPECT_TRUE(WaitState(call, LINECALLSTATE_IDLE));
    const auto closed = baresip.WaitEvent("CALL_CLOSED");
    ASSERT_TRUE(closed) << baresip.Log();
    EXPECT_NE(closed->value("param", "").find(accept ? "603" : "486"), std::string::npos)
        << closed->dump();
    EXPECT_EQ(lineDeallocateCall(call), 0);
  }
}

TEST_F(SipProviderTest, OutgoingCallIsHeldResumedAndTransferredBlind) {
  Start({Account("rw")});
  ASSERT_TRUE(InService(lines_[0]));
  Baresip first;
  Baresip target;
  LONG result = -1;
  const HCALL call = MakeCall(lines_[0], first.Uri(), &result);
  ASSERT_EQ(result, 0);
  ASSERT_NE(call, 0u);
  EXPECT_EQ(WaitState(call, LINECALLSTATE_CONNECTED), LINECONNECTEDMODE_ACTIVE) << first.Log();
  const std::vector<DWORD> states = StatesOf(call);
  ASSERT_FALSE(states.empty());
  EXPECT_EQ(states.front(), LINECALLSTATE_DIALING);
  EXPECT_TRUE(first.WaitEvent("CALL_ESTABLISHED"));

  EXPECT_EQ(Request(lineHold(call)), 0);
  EXPECT_TRUE(WaitState(call, LINECALLSTATE_ONHOLD));
  EXPECT_EQ(Status(call).dwCallFeatures & LINECALLFEATURE_HOLD, 0u);
  EXPECT_EQ(Request(lineUnhold(call)), 0);
  EXPECT_EQ(WaitState(call, LINECALLSTATE_CONNECTED), LINECONNECTEDMODE_ACTIVE);

  const std::u16string to = platform::Utf8ToWide(target.Uri());
  EXPECT_EQ(Request(lineBlindTransferW(call, to.c_str(), 0)), 0);
  // The transferred party reaches the target; our leg ends.
  EXPECT_TRUE(target.WaitEvent("CALL_ESTABLISHED")) << first.Log() << target.Log();
  EXPECT_EQ(WaitState(call, LINECALLSTATE_DISCONNECTED), LINEDISCONNECTMODE_NORMAL);
  EXPECT_TRUE(WaitState(call, LINECALLSTATE_IDLE));
}

// The request answers when the far end says how the transfer went, not when the REFER left.
TEST_F(SipProviderTest, RefusedBlindTransferFailsAndKeepsTheCall) {
  Start({Account("rw")});
  ASSERT_TRUE(InService(lines_[0]));
  Baresip first;
  Baresip target({.autoAnswer = false});
  const HCALL call = MakeCall(lines_[0], first.Uri());
  ASSERT_EQ(WaitState(call, LINECALLSTATE_CONNECTED), LINECONNECTEDMODE_ACTIVE) << first.Log();
  const std::u16string to = platform::Utf8ToWide(target.Uri());
  const LONG transfer = lineBlindTransferW(call, to.c_str(), 0);
  ASSERT_GT(transfer, 0);
  ASSERT_TRUE(target.WaitEvent("CALL_INCOMING")) << target.Log();
  ASSERT_TRUE(target.Command("hangup").value("ok", false));
  EXPECT_EQ(Request(transfer), Code(LINEERR_OPERATIONFAILED)) << first.Log();
  EXPECT_EQ(Status(call).dwCallState, LINECALLSTATE_CONNECTED);
  EXPECT_EQ(Request(lineDrop(call, nullptr, 0)), 0);
  EXPECT_TRUE(WaitState(call, LINECALLSTATE_IDLE));
}

TEST_F(SipProviderTest, DroppedOutgoingCallEndsAtTheFarEnd) {
  Start({Account("rw")});
  ASSERT_TRUE(InService(lines_[0]));
  Baresip baresip;
  const HCALL call = MakeCall(lines_[0], baresip.Uri());
  ASSERT_TRUE(WaitState(call, LINECALLSTATE_CONNECTED));
  EXPECT_EQ(Request(lineDrop(call, nullptr, 0)), 0);
  EXPECT_TRUE(WaitState(call, LINECALLSTATE_IDLE));
  const auto closed = baresip.WaitEvent("CALL_CLOSED");
  ASSERT_TRUE(closed);
  EXPECT_NE(closed->value("param", "").find("peer"), std::string::npos) << closed->dump();
}

TEST_F(SipProviderTest, FarEndRejectingWith486IsBusy) {
  Start({Account("rw")});
  ASSERT_TRUE(InService(lines_[0]));
  Baresip baresip({.autoAnswer = false});
  const HCALL call = MakeCall(lines_[0], baresip.Uri());
  ASSERT_TRUE(baresip.WaitEvent("CALL_INCOMING")) << baresip.Log();
  EXPECT_TRUE(WaitState(call, LINECALLSTATE_RINGBACK));
  ASSERT_TRUE(baresip.Command("hangup").value("ok", false));
  EXPECT_EQ(WaitState(call, LINECALLSTATE_BUSY), LINEBUSYMODE_STATION);
  // The call shows why until its owner drops it.
  EXPECT_EQ(Status(call).dwCallState, LINECALLSTATE_BUSY);
  EXPECT_EQ(Request(lineDrop(call, nullptr, 0)), 0);
  EXPECT_TRUE(WaitState(call, LINECALLSTATE_IDLE));
}

// Two of the provider's own lines call each other: both ends of every mapping are ours.
TEST_F(SipProviderTest, LinesCallEachOtherAndExchangeDigits) {
  Start({Account("rw0"), Account("rw1")});
  ASSERT_TRUE(InService(lines_[0]) && InService(lines_[1]));
  const HCALL outgoing = MakeCall(lines_[1], UriOf(0));
  const HCALL incoming = WaitNewCall(lines_[0]);
  ASSERT_NE(incoming, 0u);
  EXPECT_TRUE(WaitState(outgoing, LINECALLSTATE_RINGBACK));
  EXPECT_EQ(Request(lineAnswer(incoming, nullptr, 0)), 0);
  ASSERT_TRUE(WaitState(outgoing, LINECALLSTATE_CONNECTED));
  ASSERT_EQ(WaitState(incoming, LINECALLSTATE_CONNECTED), LINECONNECTEDMODE_ACTIVE);

  ASSERT_EQ(lineMonitorDigits(incoming, LINEDIGITMODE_DTMF | LINEDIGITMODE_DTMFEND), 0);
  EXPECT_EQ(lineGenerateDigitsW(outgoing, LINEDIGITMODE_PULSE, u"1", 0),
            Code(LINEERR_INVALDIGITMODE));
  ASSERT_EQ(lineGenerateDigitsW(outgoing, LINEDIGITMODE_DTMF, u"4#", 100), 0);
  std::string heard;
  for (int i = 0; i < 4; ++i) {
    const auto digit = Wait([incoming](const LINEMESSAGE& m) {
      return m.dwMessageID == LINE_MONITORDIGITS && m.hDevice == incoming;
    });
    ASSERT_TRUE(digit);
    heard += static_cast<char>(digit->dwParam1);
    heard += digit->dwParam2 == LINEDIGITMODE_DTMF ? '+' : '-';
  }
  // Each key once as it starts and once as it ends.
  EXPECT_EQ(heard, "4+4-#+#-");
  // Gathering collects the keys as they arrive, until its buffer is full.
  char16_t gathered[3] = {};
  EXPECT_EQ(lineGatherDigitsW(incoming, LINEDIGITMODE_DTMF, gathered, 2, u"#", 0, 70000), 0);
  EXPECT_EQ(lineGatherDigitsW(incoming, LINEDIGITMODE_DTMF, gathered, 2, u",", 0, 0),
            Code(LINEERR_INVALDIGITS));
  EXPECT_EQ(lineGatherDigitsW(incoming, LINEDIGITMODE_DTMF, gathered, 2, u"#", 0, 0), 0);
  ASSERT_EQ(lineGenerateDigitsW(outgoing, LINEDIGITMODE_DTMF, u"79", 100), 0);
  const auto done = Wait([incoming](const LINEMESSAGE& m) {
    return m.dwMessageID == LINE_GATHERDIGITS && m.hDevice == incoming &&
           m.dwParam1 == LINEGATHERTERM_BUFFERFULL;
  });
  ASSERT_TRUE(done);
  EXPECT_EQ(std::u16string(gathered), u"79");

  // The far end holding us is how we are connected, not our hold.
  EXPECT_EQ(Request(lineHold(outgoing)), 0);
  EXPECT_EQ(WaitState(incoming, LINECALLSTATE_CONNECTED), LINECONNECTEDMODE_INACTIVE);
  EXPECT_EQ(Request(lineUnhold(outgoing)), 0);
  EXPECT_EQ(WaitState(incoming, LINECALLSTATE_CONNECTED), LINECONNECTEDMODE_ACTIVE);

  EXPECT_EQ(Request(lineDrop(outgoing, nullptr, 0)), 0);
  EXPECT_EQ(WaitState(incoming, LINECALLSTATE_DISCONNECTED), LINEDISCONNECTMODE_NORMAL);
  EXPECT_TRUE(WaitState(incoming, LINECALLSTATE_IDLE));
}

// Redirection and forwarding answer the INVITE with 302; the caller (our other line) follows it
// to the new target.
TEST_F(SipProviderTest, RedirectedAndForwardedCallsReachTheNewTarget) {
  Start({Account("rw0"), Account("rw1")});
  ASSERT_TRUE(InService(lines_[0]) && InService(lines_[1]));
  Baresip target;
  const std::u16string targetUri = platform::Utf8ToWide(target.Uri());
  const HCALL first = MakeCall(lines_[1], UriOf(0));
  const HCALL ringing = WaitNewCall(lines_[0]);
  ASSERT_TRUE(WaitState(ringing, LINECALLSTATE_OFFERING));
  EXPECT_EQ(Request(lineRedirectW(ringing, targetUri.c_str(), 0)), 0);
  EXPECT_TRUE(WaitState(ringing, LINECALLSTATE_IDLE));
  EXPECT_TRUE(WaitState(first, LINECALLSTATE_CONNECTED));
  EXPECT_TRUE(target.WaitEvent("CALL_ESTABLISHED")) << target.Log();
  EXPECT_EQ(Request(lineDrop(first, nullptr, 0)), 0);
  EXPECT_TRUE(target.WaitEvent("CALL_CLOSED"));

  // Unconditional forwarding sends every call on before it rings.
  const std::vector<uint8_t> list =
      tapi32_test::ForwardListBytes({{LINEFORWARDMODE_UNCOND, u"", targetUri}});
  HCALL consult = 0;
  EXPECT_EQ(Request(lineForwardW(lines_[0], 0, 0, tapi32_test::AsList(list), 0, &consult, nullptr)),
            0);
  const HCALL second = MakeCall(lines_[1], UriOf(0));
  EXPECT_TRUE(WaitState(second, LINECALLSTATE_CONNECTED));
  EXPECT_TRUE(target.WaitEvent("CALL_ESTABLISHED")) << target.Log();
  EXPECT_FALSE(Wait(
      [&](const LINEMESSAGE& m) {
        return m.dwMessageID == LINE_APPNEWCALL && m.hDevice == lines_[0];
      },
      1s));
  // Modes the line does not take are refused.
  const std::vector<uint8_t> unsupported =
      tapi32_test::ForwardListBytes({{LINEFORWARDMODE_BUSYNA, u"", targetUri}});
  EXPECT_EQ(Request(lineForwardW(lines_[0], 0, 0, tapi32_test::AsList(unsupported), 0, &consult,
                                 nullptr)),
            Code(LINEERR_INVALPARAM));
}

TEST_F(SipProviderTest, RegistersWithKamailioFollowsItsLossAndUnregistersOnShutdown) {
  Kamailio kamailio;
  SipAccount account = Account("rw");
  account.registrar = kamailio.Uri();
  account.aor = "sip:rw@127.0.0.1:" + std::to_string(kamailio.Port());
  account.password = Kamailio::kPassword;
  account.registerExpiresS = 4;
  Start({account});
  ASSERT_TRUE(InService(lines_[0])) << kamailio.Log();
  EXPECT_TRUE(kamailio.WaitLog("REGISTERED " + account.aor + " bindings 1")) << kamailio.Log();
  LINEDEVSTATUS status{};
  status.dwTotalSize = sizeof(status);
  ASSERT_EQ(lineGetLineDevStatusW(lines_[0], &status), 0);
  EXPECT_NE(status.dwDevStatusFlags & LINEDEVSTATUSFLAGS_INSERVICE, 0u);

  {
    // Called through the registrar.
    Baresip baresip;
    ASSERT_TRUE(baresip.Command("dial", account.aor).value("ok", false));
    const HCALL call = WaitNewCall(lines_[0]);
    ASSERT_TRUE(WaitState(call, LINECALLSTATE_OFFERING)) << kamailio.Log();
    EXPECT_EQ(Request(lineDrop(call, nullptr, 0)), 0);
    EXPECT_TRUE(baresip.WaitEvent("CALL_CLOSED"));
  }

  // Only what happens from now on counts.
  for (size_t i = 0; i < seen_.size(); ++i)
    taken_.insert(i);
  kamailio.Kill();
  EXPECT_TRUE(WaitLineState(lines_[0], LINEDEVSTATE_OUTOFSERVICE, 60s));
  LONG result = 0;
  MakeCall(lines_[0], "sip:someone@127.0.0.1:9", &result);
  EXPECT_EQ(result, Code(LINEERR_CALLUNAVAIL));
  kamailio.Start();
  EXPECT_TRUE(WaitLineState(lines_[0], LINEDEVSTATE_INSERVICE, 60s)) << kamailio.Log();

  for (HLINEAPP app : tapi32::Server::Instance().LineApps())
    lineShutdown(app);
  tapi32::Server::Instance().SetProvider(previous_);
  provider_.reset();
  EXPECT_TRUE(kamailio.WaitLog("REGISTERED " + account.aor + " bindings 0")) << kamailio.Log();
}

}  // namespace
