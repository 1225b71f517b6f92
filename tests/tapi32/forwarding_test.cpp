// Call forwarding through the C API: what lineForwardW refuses and with which code, what it
// reports (LINE_ADDRESSSTATE FORWARD, the address status, the consultation call), and where the
// switch then sends calls from outside: unconditionally, on busy, after the rings of no answer,
// by caller, to another station or out of the switch.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tapi32_fixture.h"

namespace tapi32_test {
namespace {

using tapi32::sim::FarEnd;

constexpr DWORD kOwner = LINECALLPRIVILEGE_OWNER | LINECALLPRIVILEGE_MONITOR;

// The forwarding an address status reports, read from its variable part.
struct Status {
  LINEADDRESSSTATUS fixed{};
  std::vector<ForwardEntry> entries;
};

class ForwardingTest : public TapiTest {
 protected:
  // Three stations, 200 (two addresses: 200 and 201), 210 and 220; line 1 opens a
  // consultation call when it forwards; line 2 cannot forward. Rings come quickly.
  void SetUp() override {
    tapi32::sim::Config config;
    auto line = [](std::string name, uint32_t id, std::vector<std::string> numbers) {
      tapi32::sim::LineConfig each = Line(std::move(name), id);
      each.numAddresses = static_cast<uint32_t>(numbers.size());
      each.addressNames = std::move(numbers);
      each.ringIntervalMs = 20;
      return each;
    };
    config.lines = {line("Reception", 0x101, {"200", "201"}), line("Sales", 0x102, {"210"}),
                    line("Store", 0x103, {"220"})};
    config.lines[1].forwardConsult = true;
    config.lines[2].forwardModes = 0;
    Switch().Reset(config);
    Switch().SetDefaultFarEnd(FarEnd{});
    app_ = InitLine().app;
    for (DWORD id = 0; id < 3; ++id) {
      lines_.push_back(OpenLine(app_, id, kOwner, LINEMEDIAMODE_INTERACTIVEVOICE, 10 + id));
      lineSetStatusMessages(lines_.back(), 0, LINEADDRESSSTATE_FORWARD);
    }
    DrainLine(app_);
  }

  // The reply to a request (waiting for it), or the error returned at once.
  LONG Outcome(LONG result) {
    if (result <= 0) return result;
    LINEMESSAGE message{};
    while (lineGetMessage(app_, &message, 10000) == 0) {
      messages_.push_back(message);
      if (message.dwMessageID == LINE_REPLY && message.dwParam1 == static_cast<DWORD>(result)) {
        return static_cast<LONG>(message.dwParam2);
      }
    }
    return 1;  // no reply
  }
  LONG Forward(DWORD lineIndex, DWORD addressId, const std::vector<ForwardEntry>& entries,
               DWORD rings = 3, DWORD all = 0) {
    const std::vector<uint8_t> list = ForwardListBytes(entries);
    HCALL consult = 0xDEAD;
    const LONG result = Outcome(
        lineForwardW(lines_[lineIndex], all, addressId, AsList(list), rings, &consult, nullptr));
    consult_ = consult;
    return result;
  }

  Status StatusOf(DWORD lineIndex, DWORD addressId) {
    std::vector<uint8_t> buffer(2048);
    auto* status = reinterpret_cast<LINEADDRESSSTATUS*>(buffer.data());
    status->dwTotalSize = static_cast<DWORD>(buffer.size());
    EXPECT_EQ(lineGetAddressStatusW(lines_[lineIndex], addressId, status), 0);
    Status out;
    out.fixed = *status;
    auto text = [&](DWORD size, DWORD offset) {
      if (size == 0) return std::u16string();
      return std::u16string(reinterpret_cast<const char16_t*>(buffer.data() + offset));
    };
    for (DWORD i = 0; i < status->dwForwardNumEntries; ++i) {
      LINEFORWARD entry;
      std::memcpy(&entry, buffer.data() + status->dwForwardOffset + 24 * i, sizeof(entry));
      out.entries.push_back(
          {entry.dwForwardMode, text(entry.dwCallerAddressSize, entry.dwCallerAddressOffset),
           text(entry.dwDestAddressSize, entry.dwDestAddressOffset), entry.dwDestCountryCode});
    }
    return out;
  }

  static uint32_t Offer(uint32_t lineId, const std::string& from = "5550100",
                        uint32_t addressId = 0) {
    tapi32::sim::IncomingCall call;
    call.callerNumber = from;
    return Switch().OfferCall(lineId, addressId, call);
  }
  // Waits for the switch to get somewhere; the clock runs the rings.
  static bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 2000 && !done(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
  }

  HLINEAPP app_ = 0;
  std::vector<HLINE> lines_;
  std::vector<LINEMESSAGE> messages_;
  HCALL consult_ = 0;
};

// ---------------------------------------------------------------------------------------------
// What lineForwardW refuses

TEST_F(ForwardingTest, BadListsAndArgumentsGetTheDocumentedCodes) {
  HCALL consult = 0;
  const std::vector<uint8_t> good = ForwardListBytes({{LINEFORWARDMODE_UNCOND, {}, u"210"}});
  auto refused = [&](const std::vector<uint8_t>& list, DWORD address = 0, HLINE line = 0) {
    return lineForwardW(line ? line : lines_[0], 0, address, AsList(list), 3, &consult, nullptr);
  };
  EXPECT_EQ(lineForwardW(lines_[0], 0, 0, AsList(good), 3, nullptr, nullptr),
            Code(LINEERR_INVALPOINTER));
  EXPECT_EQ(refused(good, 0, 0xBAD), Code(LINEERR_INVALLINEHANDLE));
  EXPECT_EQ(refused(good, 2), Code(LINEERR_INVALADDRESSID));
  EXPECT_EQ(refused(good, 0, lines_[2]), Code(LINEERR_OPERATIONUNAVAIL));

  std::vector<uint8_t> small = good;
  reinterpret_cast<LINEFORWARDLIST*>(small.data())->dwTotalSize = 16;
  EXPECT_EQ(refused(small), Code(LINEERR_STRUCTURETOOSMALL)) << "less than the structure";
  std::vector<uint8_t> counted = good;
  reinterpret_cast<LINEFORWARDLIST*>(counted.data())->dwNumEntries = 3;
  EXPECT_EQ(refused(counted), Code(LINEERR_STRUCTURETOOSMALL)) << "entries beyond the size";

  auto withEntry = [&](auto change) {
    std::vector<uint8_t> list = good;
    auto* entry = reinterpret_cast<LINEFORWARD*>(list.data() + 8);
    change(*entry);
    return refused(list);
  };
  EXPECT_EQ(withEntry([](LINEFORWARD& e) { e.dwDestAddressOffset = 1000; }),
            Code(LINEERR_INVALPARAM))
      << "a text past the end";
  EXPECT_EQ(withEntry([](LINEFORWARD& e) { e.dwDestAddressOffset = 4; }), Code(LINEERR_INVALPARAM))
      << "a text over the entries";
  EXPECT_EQ(withEntry([](LINEFORWARD& e) { e.dwDestAddressSize = 7; }), Code(LINEERR_INVALPARAM))
      << "half a character";
  EXPECT_EQ(withEntry([](LINEFORWARD& e) { e.dwDestAddressSize = 0xFFFFFFF0; }),
            Code(LINEERR_INVALPARAM))
      << "a size that wraps";

  EXPECT_EQ(
      refused(ForwardListBytes({{LINEFORWARDMODE_UNCOND | LINEFORWARDMODE_BUSY, {}, u"210"}})),
      Code(LINEERR_INVALPARAM))
      << "two modes in one entry";
  EXPECT_EQ(refused(ForwardListBytes({{LINEFORWARDMODE_UNAVAIL, {}, u"210"}})),
            Code(LINEERR_INVALPARAM))
      << "a mode the caps do not list";
  EXPECT_EQ(refused(ForwardListBytes(
                {{LINEFORWARDMODE_BUSY, {}, u"210"}, {LINEFORWARDMODE_BUSY, {}, u"220"}})),
            Code(LINEERR_INVALPARAM))
      << "the same mode twice";
  EXPECT_EQ(refused(ForwardListBytes({{LINEFORWARDMODE_UNCONDSPECIFIC, {}, u"210"}})),
            Code(LINEERR_INVALPARAM))
      << "a selective entry without a caller";
  std::vector<ForwardEntry> tooMany;
  for (int i = 0; i < 9; ++i)
    tooMany.push_back(
        {LINEFORWARDMODE_UNCONDSPECIFIC, u"30" + std::u16string(1, u'0' + i), u"210"});
  EXPECT_EQ(refused(ForwardListBytes(tooMany)), Code(LINEERR_INVALPARAM))
      << "more than the entries";
  tooMany.resize(5);
  EXPECT_EQ(refused(ForwardListBytes(tooMany)), Code(LINEERR_INVALPARAM))
      << "more selective entries than allowed";
  EXPECT_EQ(refused(ForwardListBytes({{LINEFORWARDMODE_UNCOND, {}, {}}})),
            Code(LINEERR_INVALADDRESS));
  EXPECT_EQ(refused(ForwardListBytes({{LINEFORWARDMODE_UNCOND, {}, u"Sales"}})),
            Code(LINEERR_INVALADDRESS))
      << "nothing to dial";
  EXPECT_EQ(refused(ForwardListBytes({{LINEFORWARDMODE_UNCOND, {}, u"210", 1000}})),
            Code(LINEERR_INVALCOUNTRYCODE));

  LINECALLPARAMS params{};
  params.dwTotalSize = sizeof(params);
  params.dwCommentSize = 8;
  params.dwCommentOffset = 4000;
  EXPECT_EQ(lineForwardW(lines_[1], 0, 0, AsList(good), 3, &consult, &params),
            Code(LINEERR_INVALPARAM))
      << "call parameters with a text outside";
  // Nothing of it was taken.
  EXPECT_EQ(StatusOf(0, 0).fixed.dwForwardNumEntries, 0u);
  EXPECT_TRUE(Switch().PendingRequests().empty());
}

TEST_F(ForwardingTest, TheCapabilitiesSayWhatLineForwardTakes) {
  std::vector<uint8_t> buffer(4096);
  auto* caps = reinterpret_cast<LINEADDRESSCAPS*>(buffer.data());
  caps->dwTotalSize = 4096;
  ASSERT_EQ(lineGetAddressCapsW(app_, 0, 0, 0x00020002, 0, caps), 0);
  EXPECT_EQ(caps->dwForwardModes, 0xFFFFu);
  EXPECT_EQ(caps->dwMaxForwardEntries, 8u);
  EXPECT_EQ(caps->dwMaxSpecificEntries, 4u);
  EXPECT_EQ(caps->dwMinFwdNumRings, 1u);
  EXPECT_EQ(caps->dwMaxFwdNumRings, 15u);
  EXPECT_TRUE(caps->dwAddressFeatures & LINEADDRFEATURE_FORWARD);
  EXPECT_TRUE(caps->dwAddrCapFlags & LINEADDRCAPFLAGS_FWDSTATUSVALID);
  EXPECT_FALSE(caps->dwAddrCapFlags & LINEADDRCAPFLAGS_FWDCONSULT);
  ASSERT_EQ(lineGetAddressCapsW(app_, 1, 0, 0x00020002, 0, caps), 0);
  EXPECT_TRUE(caps->dwAddrCapFlags & LINEADDRCAPFLAGS_FWDCONSULT);
  ASSERT_EQ(lineGetAddressCapsW(app_, 2, 0, 0x00020002, 0, caps), 0);
  EXPECT_EQ(caps->dwForwardModes, 0u);
  EXPECT_EQ(caps->dwMaxForwardEntries, 0u);
  EXPECT_FALSE(caps->dwAddressFeatures & LINEADDRFEATURE_FORWARD);
  EXPECT_FALSE(StatusOf(2, 0).fixed.dwAddressFeatures & LINEADDRFEATURE_FORWARD);
  EXPECT_TRUE(StatusOf(0, 0).fixed.dwAddressFeatures & LINEADDRFEATURE_FORWARD);
  // The rings are kept within the advertised range.
  ASSERT_EQ(Forward(0, 0, {{LINEFORWARDMODE_NOANSW, {}, u"210"}}, 0), 0);
  EXPECT_EQ(StatusOf(0, 0).fixed.dwNumRingsNoAnswer, 1u);
  ASSERT_EQ(Forward(0, 0, {{LINEFORWARDMODE_NOANSW, {}, u"210"}}, 99), 0);
  EXPECT_EQ(StatusOf(0, 0).fixed.dwNumRingsNoAnswer, 15u);
}

// ---------------------------------------------------------------------------------------------
// Forwarding stories

TEST_F(ForwardingTest, UnconditionalForwardingSendsTheCallToTheDestinationAndShowsInTheStatus) {
  // An open that did not ask for FORWARD does not hear of it.
  const HLINE quiet = OpenLine(app_, 0, LINECALLPRIVILEGE_MONITOR, 0, 99);
  DrainLine(app_);
  ASSERT_EQ(Forward(0, 0, {{LINEFORWARDMODE_UNCOND, {}, u"210", 0}}), 0);
  EXPECT_EQ(consult_, 0u) << "this line opens no consultation call";
  int reports = 0;
  for (const LINEMESSAGE& m : DrainLine(app_)) {
    if (m.dwMessageID != LINE_ADDRESSSTATE) continue;
    EXPECT_EQ(m.hDevice, lines_[0]);
    EXPECT_EQ(m.dwParam1, 0u);
    EXPECT_EQ(m.dwParam2, LINEADDRESSSTATE_FORWARD);
    ++reports;
  }
  EXPECT_EQ(reports, 1) << "one report, only to the open that asked";
  (void)quiet;
  const Status status = StatusOf(0, 0);
  ASSERT_EQ(status.entries.size(), 1u);
  EXPECT_EQ(status.entries[0].mode, LINEFORWARDMODE_UNCOND);
  EXPECT_EQ(status.entries[0].dest, u"210");
  EXPECT_EQ(status.entries[0].caller, u"");
  EXPECT_EQ(StatusOf(0, 1).entries.size(), 0u) << "the other address is not forwarded";

  const uint32_t call = Offer(0, "5550100");
  EXPECT_TRUE(Switch().CallsOnLine(0).empty()) << "it does not ring here";
  ASSERT_EQ(Switch().CallsOnLine(1), std::vector<uint32_t>{call});
  const tapi32::CallData data = Switch().CallSnapshot(call);
  EXPECT_EQ(data.state, LINECALLSTATE_OFFERING);
  EXPECT_EQ(data.reason, LINECALLREASON_FWDUNCOND);
  EXPECT_EQ(data.caller.number, u"5550100");
  EXPECT_EQ(data.redirecting.number, u"200");
  EXPECT_EQ(data.redirection.number, u"210");
  // The application sees it on the destination line, with the forwarding in its information.
  std::vector<uint8_t> buffer(2048);
  auto* info = reinterpret_cast<LINECALLINFO*>(buffer.data());
  info->dwTotalSize = 2048;
  ASSERT_EQ(lineGetCallInfoW(Switch().CallHandle(app_, call), info), 0);
  EXPECT_EQ(info->dwReason, LINECALLREASON_FWDUNCOND);
  EXPECT_EQ(std::u16string(
                reinterpret_cast<const char16_t*>(buffer.data() + info->dwRedirectingIDOffset)),
            u"200");
  const std::vector<tapi32::sim::ForwardedCall> log = Switch().ForwardedCalls();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].callId, call);
  EXPECT_EQ(log[0].destination, "210");

  // Cancelled (no list): calls ring here again.
  HCALL consult = 0;
  ASSERT_EQ(Outcome(lineForwardW(lines_[0], 0, 0, nullptr, 0, &consult, nullptr)), 0);
  EXPECT_EQ(StatusOf(0, 0).fixed.dwForwardNumEntries, 0u);
  const uint32_t next = Offer(0);
  EXPECT_EQ(Switch().CallsOnLine(0), std::vector<uint32_t>{next});
}

TEST_F(ForwardingTest, BusyForwardingAppliesOnlyWhileTheStationHasNoRoom) {
  ASSERT_EQ(Forward(0, 0, {{LINEFORWARDMODE_BUSY, {}, u"210"}}), 0);
  const uint32_t first = Offer(0);
  EXPECT_EQ(Switch().CallsOnLine(0), std::vector<uint32_t>{first}) << "not busy: it rings here";
  HCALL talk = 0;
  ASSERT_EQ(Outcome(lineAnswer(Switch().CallHandle(app_, first), nullptr, 0)), 0);
  const uint32_t second = Offer(0);
  EXPECT_EQ(Switch().CallsOnLine(0), std::vector<uint32_t>{first});
  EXPECT_EQ(Switch().CallsOnLine(1), std::vector<uint32_t>{second});
  EXPECT_EQ(Switch().CallSnapshot(second).reason, LINECALLREASON_FWDBUSY);
  (void)talk;
}

TEST_F(ForwardingTest, NoAnswerForwardingTakesTheCallAwayAfterTheRings) {
  lineSetStatusMessages(lines_[0], LINEDEVSTATE_RINGING, LINEADDRESSSTATE_FORWARD);
  ASSERT_EQ(Forward(0, 0, {{LINEFORWARDMODE_NOANSW, {}, u"210"}}, 2), 0);
  const uint32_t call = Offer(0);
  ASSERT_TRUE(WaitFor([&] { return !Switch().CallsOnLine(1).empty(); }));
  EXPECT_TRUE(Switch().CallsOnLine(0).empty());
  const uint32_t there = Switch().CallsOnLine(1).front();
  EXPECT_NE(there, call);
  EXPECT_EQ(Switch().CallSnapshot(there).reason, LINECALLREASON_FWDNOANSWER);
  EXPECT_EQ(Switch().CallSnapshot(there).caller.number, u"5550100");
  // Here: two rings, then the call left, forwarded.
  int rings = 0;
  DWORD lastState = 0;
  DWORD lastMode = 0;
  const HCALL here = Switch().CallHandle(app_, call);
  for (const LINEMESSAGE& m : DrainLine(app_)) {
    if (m.hDevice == lines_[0] && m.dwMessageID == LINE_LINEDEVSTATE &&
        m.dwParam1 == LINEDEVSTATE_RINGING && lastState == 0) {
      ++rings;
    }
    if (m.dwMessageID == LINE_CALLSTATE && m.hDevice == here &&
        m.dwParam1 == LINECALLSTATE_DISCONNECTED) {
      lastState = m.dwParam1;
      lastMode = m.dwParam2;
    }
  }
  EXPECT_EQ(rings, 2);
  EXPECT_EQ(lastState, LINECALLSTATE_DISCONNECTED);
  EXPECT_EQ(lastMode, LINEDISCONNECTMODE_FORWARDED);

  // A call answered in time stays.
  const uint32_t answered = Offer(0);
  ASSERT_EQ(Outcome(lineAnswer(Switch().CallHandle(app_, answered), nullptr, 0)), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(Switch().CallSnapshot(answered).state, LINECALLSTATE_CONNECTED);
  EXPECT_EQ(Switch().CallsOnLine(0), std::vector<uint32_t>{answered});
}

TEST_F(ForwardingTest, SelectiveForwardingGoesByTheCallerAndBeatsTheGeneralEntry) {
  ASSERT_EQ(Forward(0, 0,
                    {{LINEFORWARDMODE_UNCOND, {}, u"220"},
                     {LINEFORWARDMODE_UNCONDSPECIFIC, u"+1 555 0142", u"210"},
                     {LINEFORWARDMODE_UNCONDINTERNAL, {}, u"201"}}),
            0);
  const uint32_t chosen = Offer(0, "+15550142");
  EXPECT_EQ(Switch().CallSnapshot(chosen).deviceId, 1u);
  const uint32_t other = Offer(0, "5550199");
  EXPECT_EQ(Switch().CallSnapshot(other).deviceId, 2u) << "the general entry";
  tapi32::sim::IncomingCall colleague;
  colleague.callerNumber = "230";
  colleague.origin = LINECALLORIGIN_INTERNAL;
  const uint32_t internal = Switch().OfferCall(0, 0, colleague);
  EXPECT_EQ(Switch().CallSnapshot(internal).deviceId, 0u);
  EXPECT_EQ(Switch().CallSnapshot(internal).addressId, 1u) << "internal callers to 201";
}

TEST_F(ForwardingTest, AllAddressesFormAndForwardingChainsStopAtLoops) {
  ASSERT_EQ(Forward(0, 7, {{LINEFORWARDMODE_UNCOND, {}, u"210"}}, 3, 1), 0)
      << "the address ID is ignored for all addresses";
  EXPECT_EQ(StatusOf(0, 0).entries.size(), 1u);
  EXPECT_EQ(StatusOf(0, 1).entries.size(), 1u);
  // 210 sends its calls back to 200: the call stops where it would loop.
  ASSERT_EQ(Forward(1, 0, {{LINEFORWARDMODE_UNCOND, {}, u"200"}}), 0);
  const uint32_t call = Offer(0);
  EXPECT_EQ(Switch().CallSnapshot(call).deviceId, 1u);
  EXPECT_EQ(Switch().CallSnapshot(call).reason, LINECALLREASON_FWDUNCOND);
}

TEST_F(ForwardingTest, OutsideNumbersTakeTheCallOnlyWhenTheirFarEndDoes) {
  Switch().SetFarEnd("0800 1234", FarEnd{FarEnd::Kind::Busy, 0, {}});
  ASSERT_EQ(Forward(0, 0, {{LINEFORWARDMODE_UNCOND, {}, u"0800 1234"}}), 0);
  const uint32_t stays = Offer(0);
  EXPECT_EQ(Switch().CallsOnLine(0), std::vector<uint32_t>{stays}) << "busy outside: it rings";
  Switch().SetFarEnd("0800 1234", FarEnd{});
  EXPECT_EQ(Offer(0), 0u) << "the call left the switch";
  EXPECT_EQ(Switch().CallsOnLine(0), std::vector<uint32_t>{stays});
  const std::vector<tapi32::sim::ForwardedCall> log = Switch().ForwardedCalls();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].callId, 0u);
  EXPECT_EQ(log[0].reason, LINECALLREASON_FWDUNCOND);
}

TEST_F(ForwardingTest, ALineThatConsultsOpensACallToTheDestination) {
  ASSERT_EQ(Forward(1, 0, {{LINEFORWARDMODE_UNCOND, {}, u"200"}}), 0);
  ASSERT_NE(consult_, 0u);
  LINECALLSTATUS status{};
  status.dwTotalSize = sizeof(status);
  ASSERT_EQ(lineGetCallStatus(consult_, &status), 0);
  EXPECT_EQ(status.dwCallState, LINECALLSTATE_DIALTONE);
  EXPECT_EQ(status.dwCallPrivilege, LINECALLPRIVILEGE_OWNER);
  // A failing reply writes nothing; cancelling needs no consultation call.
  Switch().SetNextReplyMode("lineForwardW", tapi32::ReplyMode::Now(Code(LINEERR_OPERATIONFAILED)));
  ASSERT_EQ(lineDrop(consult_, nullptr, 0) > 0, true);
  EXPECT_EQ(Forward(1, 0, {{LINEFORWARDMODE_UNCOND, {}, u"220"}}), Code(LINEERR_OPERATIONFAILED));
  EXPECT_EQ(consult_, 0xDEADu);
  HCALL consult = 0xDEAD;
  ASSERT_EQ(Outcome(lineForwardW(lines_[1], 0, 0, nullptr, 0, &consult, nullptr)), 0);
  EXPECT_EQ(consult, 0u);
}

}  // namespace
}  // namespace tapi32_test
