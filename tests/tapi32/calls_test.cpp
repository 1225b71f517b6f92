// Calls as applications see them: handles per application, the messages of an incoming call,
// call information and status, lineGetNewCalls, privileges, deallocation and dropping.
#include <cstring>
#include <string>
#include <vector>

#include "tapi32_fixture.h"

namespace tapi32_test {
namespace {

using tapi32::sim::CallInfoChange;
using tapi32::sim::IncomingCall;
using tapi32::sim::Party;

constexpr DWORD kBoth = LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER;
constexpr DWORD kVoice = LINEMEDIAMODE_INTERACTIVEVOICE;

IncomingCall Caller(std::string number, std::string name) {
  IncomingCall call;
  call.callerNumber = std::move(number);
  call.callerName = std::move(name);
  call.calledNumber = "200";
  call.calledName = "Reception";
  return call;
}

class CallsTest : public TapiTest {
 protected:
  void SetUp() override {
    TapiTest::SetUp();
    owner_ = InitLine(0x00020002, u"owner");
    watcher_ = InitLine(0x00020002, u"watcher");
    ASSERT_EQ(owner_.result, 0);
    ASSERT_EQ(watcher_.result, 0);
    ownerLine_ = OpenLine(owner_.app, 0, kBoth, kVoice, 31);
    watcherLine_ = OpenLine(watcher_.app, 0, LINECALLPRIVILEGE_MONITOR, 0, 32);
    ASSERT_NE(ownerLine_, 0u);
    ASSERT_NE(watcherLine_, 0u);
  }

  static LINECALLSTATUS Status(HCALL call, LONG* result = nullptr) {
    LINECALLSTATUS status{};
    status.dwTotalSize = sizeof(status);
    const LONG code = lineGetCallStatus(call, &status);
    if (result != nullptr) *result = code;
    return status;
  }

  // The call information with its variable part.
  static std::vector<uint8_t> Info(HCALL call) {
    std::vector<uint8_t> buffer(2048);
    auto* info = reinterpret_cast<LINECALLINFO*>(buffer.data());
    info->dwTotalSize = static_cast<DWORD>(buffer.size());
    EXPECT_EQ(lineGetCallInfoW(call, info), 0);
    return buffer;
  }

  static std::u16string Text(const std::vector<uint8_t>& buffer, DWORD size, DWORD offset) {
    if (size == 0) return {};
    return std::u16string(reinterpret_cast<const char16_t*>(buffer.data() + offset),
                          size / sizeof(char16_t) - 1);
  }

  static std::vector<HCALL> NewCalls(HLINE line, DWORD select = LINECALLSELECT_LINE,
                                     DWORD address = 0) {
    std::vector<uint8_t> buffer(256);
    auto* list = reinterpret_cast<LINECALLLIST*>(buffer.data());
    list->dwTotalSize = static_cast<DWORD>(buffer.size());
    EXPECT_EQ(lineGetNewCalls(line, address, select, list), 0);
    std::vector<HCALL> out(list->dwCallsNumEntries);
    if (!out.empty()) std::memcpy(out.data(), buffer.data() + list->dwCallsOffset, out.size() * 4);
    return out;
  }

  LineInit owner_;
  LineInit watcher_;
  HLINE ownerLine_ = 0;
  HLINE watcherLine_ = 0;
};

TEST_F(CallsTest, IncomingCallArrivesInTapisOrderWithItsOwnHandlePerApplication) {
  const uint32_t call = Switch().OfferCall(0, 0, Caller("5551234", "Ada"));
  const HCALL mine = Switch().CallHandle(owner_.app, call);
  const HCALL theirs = Switch().CallHandle(watcher_.app, call);
  ASSERT_NE(mine, 0u);
  ASSERT_NE(theirs, 0u);
  EXPECT_NE(mine, theirs);

  const auto messages = DrainLine(owner_.app);
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0].dwMessageID, LINE_APPNEWCALL);
  EXPECT_EQ(messages[0].hDevice, ownerLine_);
  EXPECT_EQ(messages[0].dwCallbackInstance, 31u);
  EXPECT_EQ(messages[0].dwParam1, 0u);  // address ID
  EXPECT_EQ(messages[0].dwParam2, mine);
  EXPECT_EQ(messages[0].dwParam3, LINECALLPRIVILEGE_OWNER);
  EXPECT_EQ(messages[1].dwMessageID, LINE_CALLSTATE);
  EXPECT_EQ(messages[1].hDevice, mine);
  EXPECT_EQ(messages[1].dwParam1, LINECALLSTATE_OFFERING);
  EXPECT_EQ(messages[1].dwParam2, LINEOFFERINGMODE_ACTIVE);
  EXPECT_EQ(messages[1].dwParam3, LINECALLPRIVILEGE_OWNER);  // first state report of the handle
  EXPECT_EQ(messages[2].dwMessageID, LINE_CALLINFO);
  EXPECT_EQ(messages[2].hDevice, mine);
  EXPECT_TRUE(messages[2].dwParam1 & LINECALLINFOSTATE_CALLERID);
  EXPECT_TRUE(messages[2].dwParam1 & LINECALLINFOSTATE_CALLEDID);

  // The monitor is told about the call, but never offered ownership.
  const auto watched = DrainLine(watcher_.app);
  ASSERT_EQ(watched.size(), 3u);
  EXPECT_EQ(watched[0].dwMessageID, LINE_APPNEWCALL);
  EXPECT_EQ(watched[0].dwCallbackInstance, 32u);
  EXPECT_EQ(watched[0].dwParam2, theirs);
  EXPECT_EQ(watched[0].dwParam3, LINECALLPRIVILEGE_MONITOR);
  EXPECT_EQ(watched[1].dwParam3, LINECALLPRIVILEGE_MONITOR);

  // Later state reports carry no privilege.
  Switch().SetCallState(call, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
  const auto later = DrainLine(owner_.app);
  ASSERT_EQ(later.size(), 1u);
  EXPECT_EQ(later[0].dwParam1, LINECALLSTATE_CONNECTED);
  EXPECT_EQ(later[0].dwParam2, LINECONNECTEDMODE_ACTIVE);
  EXPECT_EQ(later[0].dwParam3, 0u);
}

TEST_F(CallsTest, OwnershipGoesToTheOldestOwnerOpenForTheCallsMediaMode) {
  LineInit fax = InitLine();
  // A second owner of the same media mode only monitors; an owner-only open of another mode
  // hears nothing.
  const HLINE second = OpenLine(fax.app, 0, kBoth, kVoice, 41);
  LineInit data = InitLine();
  OpenLine(data.app, 0, LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_UNKNOWN, 42);
  DrainLine(owner_.app);

  const uint32_t call = Switch().OfferCall(0, 0, Caller("1", "x"));
  const auto messages = DrainLine(fax.app);
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages[0].hDevice, second);
  EXPECT_EQ(messages[0].dwParam3, LINECALLPRIVILEGE_MONITOR);
  EXPECT_EQ(Status(Switch().CallHandle(owner_.app, call)).dwCallPrivilege, LINECALLPRIVILEGE_OWNER);
  EXPECT_TRUE(DrainLine(data.app).empty());
  EXPECT_EQ(Switch().CallHandle(data.app, call), 0u);

  // A call of a media mode no open owns has monitors only.
  IncomingCall modem = Caller("2", "y");
  modem.mediaMode = LINEMEDIAMODE_DATAMODEM;
  const uint32_t unowned = Switch().OfferCall(0, 0, modem);
  EXPECT_EQ(Status(Switch().CallHandle(owner_.app, unowned)).dwCallPrivilege,
            LINECALLPRIVILEGE_MONITOR);
}

TEST_F(CallsTest, NonePrivilegeOpensSeeNoCalls) {
  LineInit none = InitLine();
  const HLINE line = OpenLine(none.app, 0, LINECALLPRIVILEGE_NONE, 0);
  Switch().OfferCall(0, 0, Caller("1", "x"));
  EXPECT_TRUE(DrainLine(none.app).empty());
  EXPECT_TRUE(NewCalls(line).empty());
}

TEST_F(CallsTest, CallsOnTheLineAtOpenAreListedByGetNewCalls) {
  const uint32_t a = Switch().OfferCall(0, 0, Caller("1", "a"));
  const uint32_t b = Switch().OfferCall(0, 0, Caller("2", "b"));
  const uint32_t c = Switch().OfferCall(0, 0, Caller("3", "c"));
  const uint32_t gone = Switch().OfferCall(0, 0, Caller("4", "d"));
  Switch().RemoteHangUp(gone);
  EXPECT_EQ(Switch().CallsOnLine(0), (std::vector<uint32_t>{a, b, c, gone}));
  ASSERT_GT(lineDrop(Switch().CallHandle(owner_.app, gone), nullptr, 0), 0);
  EXPECT_EQ(Switch().CallsOnLine(0), (std::vector<uint32_t>{a, b, c}));

  LineInit late = InitLine();
  const HLINE line = OpenLine(late.app, 0, kBoth, kVoice);
  EXPECT_EQ(Switch().CallHandle(late.app, a), 0u) << "no handles before it asks";
  DrainLine(owner_.app);
  const auto calls = NewCalls(line);
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[1], calls[0] + 1);
  EXPECT_EQ(calls[2], calls[0] + 2);
  EXPECT_EQ(calls[0], Switch().CallHandle(late.app, a));
  EXPECT_EQ(calls[2], Switch().CallHandle(late.app, c));
  const LINECALLSTATUS status = Status(calls[0]);
  EXPECT_EQ(status.dwCallState, LINECALLSTATE_OFFERING);
  EXPECT_EQ(status.dwCallPrivilege, LINECALLPRIVILEGE_MONITOR);
  EXPECT_TRUE(DrainLine(late.app).empty());
  // Asked again, it gets only calls it has no handle of.
  EXPECT_TRUE(NewCalls(line).empty());
  // Each call's other handles hear of the new monitor.
  const auto counted = DrainLine(owner_.app);
  ASSERT_EQ(counted.size(), 3u);
  for (const auto& message : counted) {
    EXPECT_EQ(message.dwMessageID, LINE_CALLINFO);
    EXPECT_EQ(message.dwParam1, LINECALLINFOSTATE_NUMMONITORS);
  }
  const auto buffer = Info(Switch().CallHandle(owner_.app, a));
  EXPECT_EQ(reinterpret_cast<const LINECALLINFO*>(buffer.data())->dwNumMonitors, 2u);

  // From now on the late application hears about these calls, without a privilege report.
  Switch().SetCallState(b, LINECALLSTATE_ACCEPTED);
  const auto messages = DrainLine(late.app);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].hDevice, calls[1]);
  EXPECT_EQ(messages[0].dwParam3, 0u);
}

TEST_F(CallsTest, GetNewCallsSelectsByAddressAndReportsTheNeededSize) {
  tapi32::sim::LineConfig config = Switch().LineConfigOf(0);
  config.numAddresses = 2;
  Switch().ChangeLine(0, config);
  const uint32_t first = Switch().OfferCall(0, 0, Caller("1", "a"));
  const uint32_t second = Switch().OfferCall(0, 1, Caller("2", "b"));
  EXPECT_TRUE(NewCalls(watcherLine_).empty()) << "the watcher was told of both";
  const HLINE late = OpenLine(watcher_.app, 0, LINECALLPRIVILEGE_MONITOR, 0, 33);

  // A list too small for the calls reports the size and hands nothing out.
  LINECALLLIST list{};
  list.dwTotalSize = sizeof(list);
  ASSERT_EQ(lineGetNewCalls(late, 0, LINECALLSELECT_LINE, &list), 0);
  EXPECT_EQ(list.dwNeededSize, sizeof(list) + 2 * sizeof(HCALL));
  EXPECT_EQ(list.dwCallsNumEntries, 0u);
  const auto onSecond = NewCalls(late, LINECALLSELECT_ADDRESS, 1);
  ASSERT_EQ(onSecond.size(), 1u);
  EXPECT_EQ(Switch().CallIdOf(onSecond[0]), second);
  const auto rest = NewCalls(late);
  ASSERT_EQ(rest.size(), 1u);
  EXPECT_EQ(Switch().CallIdOf(rest[0]), first);

  EXPECT_EQ(lineGetNewCalls(watcherLine_, 2, LINECALLSELECT_ADDRESS, &list),
            Code(LINEERR_INVALADDRESSID));
  EXPECT_EQ(lineGetNewCalls(watcherLine_, 0, LINECALLSELECT_CALL, &list),
            Code(LINEERR_INVALCALLSELECT));
}

TEST_F(CallsTest, AMonitorThatOpensLateIsGivenAnExistingCallWithItsNextStateOnce) {
  const uint32_t call = Switch().OfferCall(0, 0, Caller("1", "x"));
  LineInit late = InitLine();
  const HLINE line = OpenLine(late.app, 0, LINECALLPRIVILEGE_MONITOR, 0, 44);
  LineInit ownerOnly = InitLine();
  OpenLine(ownerOnly.app, 0, LINECALLPRIVILEGE_OWNER, kVoice, 45);
  DrainLine(owner_.app);
  Switch().SetCallState(call, LINECALLSTATE_ACCEPTED);

  const auto messages = DrainLine(late.app);
  ASSERT_EQ(messages.size(), 2u);
  const HCALL handle = Switch().CallHandle(late.app, call);
  EXPECT_EQ(messages[0].dwMessageID, LINE_APPNEWCALL);
  EXPECT_EQ(messages[0].hDevice, line);
  EXPECT_EQ(messages[0].dwParam2, handle);
  EXPECT_EQ(messages[0].dwParam3, LINECALLPRIVILEGE_MONITOR);
  EXPECT_EQ(messages[1].dwMessageID, LINE_CALLSTATE);
  EXPECT_EQ(messages[1].hDevice, handle);
  EXPECT_EQ(messages[1].dwParam1, LINECALLSTATE_ACCEPTED);
  EXPECT_EQ(messages[1].dwParam3, LINECALLPRIVILEGE_MONITOR);
  const auto counted = DrainLine(owner_.app);
  ASSERT_EQ(counted.size(), 2u);
  EXPECT_EQ(counted[0].dwParam1, LINECALLINFOSTATE_NUMMONITORS);
  EXPECT_TRUE(DrainLine(ownerOnly.app).empty()) << "an open without MONITOR watches nothing";

  // A monitor that lets go of the call is not given it again.
  ASSERT_EQ(lineDeallocateCall(handle), 0);
  Switch().SetCallState(call, LINECALLSTATE_CONNECTED);
  EXPECT_TRUE(DrainLine(late.app).empty());
  EXPECT_EQ(Switch().CallHandle(late.app, call), 0u);
}

TEST_F(CallsTest, EachOpenHearsOfANewCallAndItsFirstStateTogether) {
  OpenLine(watcher_.app, 0, LINECALLPRIVILEGE_MONITOR, 0, 33);
  // Below TAPI 2.0 the state alone announces the call, with the privilege.
  HLINE old = 0;
  ASSERT_EQ(
      lineOpenW(watcher_.app, 0, &old, 0x00010004, 0, 34, LINECALLPRIVILEGE_MONITOR, 0, nullptr),
      0);
  Switch().OfferCall(0, 0, Caller("1", "x"));
  const auto messages = DrainLine(watcher_.app);
  const std::vector<std::pair<DWORD, DWORD>> expected = {{LINE_APPNEWCALL, 32},
                                                         {LINE_CALLSTATE, 32},
                                                         {LINE_APPNEWCALL, 33},
                                                         {LINE_CALLSTATE, 33},
                                                         {LINE_CALLSTATE, 34}};
  ASSERT_GE(messages.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(messages[i].dwMessageID, expected[i].first) << i;
    EXPECT_EQ(messages[i].dwCallbackInstance, expected[i].second) << i;
  }
  EXPECT_EQ(messages[1].hDevice, messages[0].dwParam2);
  EXPECT_EQ(messages[3].hDevice, messages[2].dwParam2);
  EXPECT_EQ(messages[4].dwParam3, LINECALLPRIVILEGE_MONITOR);
}

TEST_F(CallsTest, OwnerAndMonitorCountsFollowEveryHandleThatComesAndGoes) {
  const uint32_t call = Switch().OfferCall(0, 0, Caller("1", "x"));
  const HCALL mine = Switch().CallHandle(owner_.app, call);
  auto counts = [&] {
    const auto buffer = Info(mine);
    const auto* info = reinterpret_cast<const LINECALLINFO*>(buffer.data());
    return std::make_pair(info->dwNumOwners, info->dwNumMonitors);
  };
  // What the owner's handle heard since the last look.
  auto heard = [&] {
    std::vector<DWORD> flags;
    for (const auto& message : DrainLine(owner_.app))
      flags.push_back(message.dwParam1);
    return flags;
  };
  EXPECT_EQ(counts(), std::make_pair(1u, 1u));
  LineInit dialer = InitLine(0x00020002, u"Dialer");
  OpenLine(dialer.app, 0, LINECALLPRIVILEGE_OWNER, kVoice, 61);
  heard();

  // A handoff to an application without a handle adds an owner, not a monitor.
  ASSERT_EQ(lineHandoffW(mine, u"Dialer", 0), 0);
  EXPECT_EQ(heard(), std::vector<DWORD>{LINECALLINFOSTATE_NUMOWNERINCR});
  EXPECT_EQ(counts(), std::make_pair(2u, 1u));
  ASSERT_EQ(lineShutdown(dialer.app), 0);
  EXPECT_EQ(heard(), std::vector<DWORD>{LINECALLINFOSTATE_NUMOWNERDECR});
  ASSERT_EQ(lineClose(watcherLine_), 0);
  EXPECT_EQ(heard(), std::vector<DWORD>{LINECALLINFOSTATE_NUMMONITORS});
  EXPECT_EQ(counts(), std::make_pair(1u, 0u));
}

TEST_F(CallsTest, CallInfoNamesTheApplicationThatMadeOrFirstTookTheCall) {
  auto appName = [](HCALL call) {
    const auto buffer = Info(call);
    const auto* info = reinterpret_cast<const LINECALLINFO*>(buffer.data());
    return Text(buffer, info->dwAppNameSize, info->dwAppNameOffset);
  };
  HCALL made = 0;
  ASSERT_GT(lineMakeCallW(ownerLine_, &made, nullptr, 0, nullptr), 0);
  EXPECT_EQ(appName(made), u"owner");
  EXPECT_EQ(appName(Switch().CallHandle(watcher_.app, Switch().CallIdOf(made))), u"owner");
  // The line takes one call at a time.
  ASSERT_GT(lineDrop(made, nullptr, 0), 0);

  const uint32_t incoming = Switch().OfferCall(0, 0, Caller("1", "x"));
  const HCALL mine = Switch().CallHandle(owner_.app, incoming);
  const HCALL theirs = Switch().CallHandle(watcher_.app, incoming);
  EXPECT_EQ(appName(mine), u"");
  ASSERT_GT(lineAccept(mine, nullptr, 0), 0);
  EXPECT_EQ(appName(theirs), u"owner");
  // Only the first to take it is named.
  ASSERT_EQ(lineSetCallPrivilege(theirs, LINECALLPRIVILEGE_OWNER), 0);
  ASSERT_GT(lineAnswer(theirs, nullptr, 0), 0);
  EXPECT_EQ(appName(theirs), u"owner");

  // A call someone outside takes is nobody's here.
  const uint32_t foreign = Switch().OfferCall(0, 0, Caller("2", "y"));
  Switch().SetCallState(foreign, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
  EXPECT_EQ(appName(Switch().CallHandle(owner_.app, foreign)), u"");
}

TEST_F(CallsTest, CallInfoCarriesPartiesStringsAndCounts) {
  const uint32_t call = Switch().OfferCall(0, 0, Caller("5551234", "Ada Lovelace"));
  CallInfoChange change;
  change.redirecting = Party{"5550000", "", 0};
  change.connected = Party{"", "", LINECALLPARTYID_BLOCKED};
  change.comment = "VIP";
  Switch().SetCallInfo(call, change);
  const HCALL mine = Switch().CallHandle(owner_.app, call);
  DrainLine(owner_.app);

  const auto buffer = Info(mine);
  const auto* info = reinterpret_cast<const LINECALLINFO*>(buffer.data());
  EXPECT_EQ(info->hLine, ownerLine_);
  EXPECT_EQ(info->dwLineDeviceID, 0u);
  EXPECT_EQ(info->dwCallID, call);
  EXPECT_EQ(info->dwMediaMode, kVoice);
  EXPECT_EQ(info->dwOrigin, LINECALLORIGIN_EXTERNAL);
  EXPECT_EQ(info->dwReason, LINECALLREASON_DIRECT);
  EXPECT_EQ(info->dwNumOwners, 1u);
  EXPECT_EQ(info->dwNumMonitors, 1u);
  EXPECT_EQ(info->dwCallerIDFlags, LINECALLPARTYID_ADDRESS | LINECALLPARTYID_NAME);
  EXPECT_EQ(Text(buffer, info->dwCallerIDSize, info->dwCallerIDOffset), u"5551234");
  EXPECT_EQ(Text(buffer, info->dwCallerIDNameSize, info->dwCallerIDNameOffset), u"Ada Lovelace");
  EXPECT_EQ(Text(buffer, info->dwCalledIDSize, info->dwCalledIDOffset), u"200");
  EXPECT_EQ(Text(buffer, info->dwCalledIDNameSize, info->dwCalledIDNameOffset), u"Reception");
  EXPECT_EQ(info->dwRedirectingIDFlags, LINECALLPARTYID_ADDRESS);
  EXPECT_EQ(Text(buffer, info->dwRedirectingIDSize, info->dwRedirectingIDOffset), u"5550000");
  EXPECT_EQ(info->dwRedirectingIDNameSize, 0u);
  EXPECT_EQ(info->dwConnectedIDFlags, LINECALLPARTYID_BLOCKED);
  EXPECT_EQ(info->dwRedirectionIDFlags, LINECALLPARTYID_UNKNOWN);
  EXPECT_EQ(Text(buffer, info->dwCommentSize, info->dwCommentOffset), u"VIP");
  EXPECT_EQ(info->dwUsedSize, info->dwNeededSize);

  // Too small for the texts: the fixed part and the size needed, no texts.
  LINECALLINFO small{};
  small.dwTotalSize = sizeof(small);
  ASSERT_EQ(lineGetCallInfoW(mine, &small), 0);
  EXPECT_EQ(small.dwCallerIDSize, 0u);
  EXPECT_EQ(small.dwNeededSize, info->dwNeededSize);
  small.dwTotalSize = 100;
  EXPECT_EQ(lineGetCallInfoW(mine, &small), Code(LINEERR_STRUCTURETOOSMALL));
}

TEST_F(CallsTest, CallInfoChangesAreAnnouncedWithTheirFlags) {
  const uint32_t call = Switch().OfferCall(0, 0, Caller("1", "x"));
  DrainLine(owner_.app);
  CallInfoChange change;
  change.connected = Party{"300", "Sales", 0};
  change.mediaMode = LINEMEDIAMODE_AUTOMATEDVOICE;
  change.userUserInfo = std::vector<uint8_t>{1, 2, 3};
  Switch().SetCallInfo(call, change);
  const auto messages = DrainLine(owner_.app);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].dwMessageID, LINE_CALLINFO);
  EXPECT_EQ(messages[0].dwParam1, LINECALLINFOSTATE_CONNECTEDID | LINECALLINFOSTATE_MEDIAMODE |
                                      LINECALLINFOSTATE_USERUSERINFO);
  const auto buffer = Info(Switch().CallHandle(owner_.app, call));
  const auto* info = reinterpret_cast<const LINECALLINFO*>(buffer.data());
  EXPECT_EQ(Text(buffer, info->dwConnectedIDNameSize, info->dwConnectedIDNameOffset), u"Sales");
  ASSERT_EQ(info->dwUserUserInfoSize, 3u);
  EXPECT_EQ(buffer[info->dwUserUserInfoOffset + 2], 3);
}

TEST_F(CallsTest, CallFeaturesFollowTheStateForOwnersOnly) {
  const uint32_t call = Switch().OfferCall(0, 0, Caller("1", "x"));
  const HCALL mine = Switch().CallHandle(owner_.app, call);
  const HCALL theirs = Switch().CallHandle(watcher_.app, call);
  struct Case {
    DWORD state;
    DWORD present;
    DWORD absent;
  };
  const Case cases[] = {
      {LINECALLSTATE_OFFERING,
       LINECALLFEATURE_ACCEPT | LINECALLFEATURE_ANSWER | LINECALLFEATURE_DROP |
           LINECALLFEATURE_REDIRECT,
       LINECALLFEATURE_HOLD},
      {LINECALLSTATE_ACCEPTED, LINECALLFEATURE_ANSWER | LINECALLFEATURE_DROP,
       LINECALLFEATURE_ACCEPT},
      {LINECALLSTATE_CONNECTED,
       LINECALLFEATURE_DROP | LINECALLFEATURE_HOLD | LINECALLFEATURE_SETUPTRANSFER |
           LINECALLFEATURE_BLINDTRANSFER | LINECALLFEATURE_PARK | LINECALLFEATURE_SETUPCONF,
       LINECALLFEATURE_ANSWER | LINECALLFEATURE_UNHOLD},
      {LINECALLSTATE_ONHOLD, LINECALLFEATURE_UNHOLD | LINECALLFEATURE_DROP, LINECALLFEATURE_HOLD},
      {LINECALLSTATE_DISCONNECTED, LINECALLFEATURE_DROP, LINECALLFEATURE_ANSWER},
  };
  for (const Case& each : cases) {
    if (each.state != LINECALLSTATE_OFFERING) Switch().SetCallState(call, each.state);
    const LINECALLSTATUS status = Status(mine);
    EXPECT_EQ(status.dwCallState, each.state);
    EXPECT_EQ(status.dwCallFeatures & each.present, each.present) << each.state;
    EXPECT_EQ(status.dwCallFeatures & each.absent, 0u) << each.state;
    EXPECT_EQ(status.dwCallPrivilege, LINECALLPRIVILEGE_OWNER);
    EXPECT_NE(status.tStateEntryTime.wYear, 0);
    const LINECALLSTATUS watched = Status(theirs);
    EXPECT_EQ(watched.dwCallState, each.state);
    // A monitor may listen to the call but not control it.
    EXPECT_EQ(watched.dwCallFeatures, LINECALLFEATURE_MONITORMEDIA | LINECALLFEATURE_MONITORTONES |
                                          LINECALLFEATURE_MONITORDIGITS);
  }
  Switch().SetCallState(call, LINECALLSTATE_IDLE);
  EXPECT_EQ(Status(mine).dwCallFeatures, 0u);
  LINECALLSTATUS tiny{};
  tiny.dwTotalSize = 20;
  EXPECT_EQ(lineGetCallStatus(mine, &tiny), Code(LINEERR_STRUCTURETOOSMALL));
  EXPECT_EQ(tiny.dwNeededSize, sizeof(LINECALLSTATUS));
}

TEST_F(CallsTest, RemoteHangUpLeavesOwnedCallsDisconnectedUntilDropped) {
  const uint32_t owned = Switch().OfferCall(0, 0, Caller("1", "x"));
  const HCALL mine = Switch().CallHandle(owner_.app, owned);
  DrainLine(owner_.app);
  Switch().RemoteHangUp(owned);
  auto messages = DrainLine(owner_.app);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].dwParam1, LINECALLSTATE_DISCONNECTED);
  EXPECT_EQ(messages[0].dwParam2, LINEDISCONNECTMODE_NORMAL);

  const LONG request = lineDrop(mine, nullptr, 0);
  ASSERT_GT(request, 0);
  messages = DrainLine(owner_.app);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].dwMessageID, LINE_REPLY);
  EXPECT_EQ(messages[0].hDevice, 0u);
  EXPECT_EQ(messages[0].dwCallbackInstance, 31u);
  EXPECT_EQ(messages[0].dwParam1, static_cast<DWORD>(request));
  EXPECT_EQ(messages[0].dwParam2, 0u);
  EXPECT_EQ(messages[1].dwMessageID, LINE_CALLSTATE);
  EXPECT_EQ(messages[1].dwParam1, LINECALLSTATE_IDLE);

  // A call only monitors watch goes IDLE at once.
  IncomingCall modem = Caller("2", "y");
  modem.mediaMode = LINEMEDIAMODE_DATAMODEM;
  const uint32_t unowned = Switch().OfferCall(0, 0, modem);
  DrainLine(watcher_.app);
  Switch().RemoteHangUp(unowned, LINEDISCONNECTMODE_BUSY);
  messages = DrainLine(watcher_.app);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].dwParam1, LINECALLSTATE_DISCONNECTED);
  EXPECT_EQ(messages[0].dwParam2, LINEDISCONNECTMODE_BUSY);
  EXPECT_EQ(messages[1].dwParam1, LINECALLSTATE_IDLE);
}

TEST_F(CallsTest, DropNeedsAnOwnerAndALiveCall) {
  const uint32_t call = Switch().OfferCall(0, 0, Caller("1", "x"));
  const HCALL mine = Switch().CallHandle(owner_.app, call);
  EXPECT_EQ(lineDrop(Switch().CallHandle(watcher_.app, call), nullptr, 0), Code(LINEERR_NOTOWNER));
  EXPECT_EQ(lineDrop(mine + 1000, nullptr, 0), Code(LINEERR_INVALCALLHANDLE));
  Switch().SetCallState(call, LINECALLSTATE_IDLE);
  EXPECT_EQ(lineDrop(mine, nullptr, 0), Code(LINEERR_INVALCALLSTATE));
}

TEST_F(CallsTest, DeallocationRules) {
  const uint32_t call = Switch().OfferCall(0, 0, Caller("1", "x"));
  const HCALL mine = Switch().CallHandle(owner_.app, call);
  const HCALL theirs = Switch().CallHandle(watcher_.app, call);
  // The sole owner of a call in progress may not let go of it.
  EXPECT_EQ(lineDeallocateCall(mine), Code(LINEERR_INVALCALLSTATE));
  DrainLine(owner_.app);
  ASSERT_EQ(lineDeallocateCall(theirs), 0);
  EXPECT_EQ(lineDeallocateCall(theirs), Code(LINEERR_INVALCALLHANDLE));
  EXPECT_EQ(Status(theirs).dwCallState, 0u);
  LONG result = 0;
  Status(theirs, &result);
  EXPECT_EQ(result, Code(LINEERR_INVALCALLHANDLE));
  // The owner hears that a monitor left.
  const auto messages = DrainLine(owner_.app);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].dwMessageID, LINE_CALLINFO);
  EXPECT_EQ(messages[0].dwParam1, LINECALLINFOSTATE_NUMMONITORS);

  Switch().SetCallState(call, LINECALLSTATE_IDLE);
  EXPECT_TRUE(Switch().HasCall(call));  // the owner's handle still refers to it
  ASSERT_EQ(lineDeallocateCall(mine), 0);
  EXPECT_FALSE(Switch().HasCall(call));

  // Handles are never handed out again.
  const uint32_t next = Switch().OfferCall(0, 0, Caller("2", "y"));
  EXPECT_GT(Switch().CallHandle(owner_.app, next), theirs);
}

TEST_F(CallsTest, StateChangesReachExactlyTheHandlesLeftAsOthersComeAndGo) {
  LineInit third = InitLine(0x00020002, u"third");
  ASSERT_NE(OpenLine(third.app, 0, LINECALLPRIVILEGE_MONITOR, 0, 33), 0u);
  const uint32_t call = Switch().OfferCall(0, 0, Caller("1", "x"));
  const HCALL mine = Switch().CallHandle(owner_.app, call);
  const HCALL thirds = Switch().CallHandle(third.app, call);
  auto states = [](const LineInit& init) {
    std::vector<HCALL> handles;
    for (const LINEMESSAGE& m : DrainLine(init.app)) {
      if (m.dwMessageID == LINE_CALLSTATE) handles.push_back(m.hDevice);
    }
    return handles;
  };
  // Given out to owner, watcher, third: the one in the middle goes first, then the first.
  ASSERT_EQ(lineDeallocateCall(Switch().CallHandle(watcher_.app, call)), 0);
  ASSERT_EQ(lineSetCallPrivilege(thirds, LINECALLPRIVILEGE_OWNER), 0);
  ASSERT_EQ(lineDeallocateCall(mine), 0);
  states(owner_);
  states(watcher_);
  states(third);
  Switch().SetCallState(call, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
  EXPECT_TRUE(states(owner_).empty());
  EXPECT_TRUE(states(watcher_).empty());
  EXPECT_EQ(states(third), std::vector<HCALL>{thirds});
  // A handle given out afterwards (to a monitor that opened the line while the call was on it,
  // with the call's next change) joins the others.
  LineInit late = InitLine(0x00020002, u"late");
  ASSERT_NE(OpenLine(late.app, 0, LINECALLPRIVILEGE_MONITOR, 0, 34), 0u);
  Switch().SetCallState(call, LINECALLSTATE_ONHOLD);
  const HCALL lates = Switch().CallHandle(late.app, call);
  ASSERT_NE(lates, 0u);
  EXPECT_EQ(states(third), std::vector<HCALL>{thirds});
  EXPECT_EQ(states(late), std::vector<HCALL>{lates});
  Switch().SetCallState(call, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
  EXPECT_EQ(states(third), std::vector<HCALL>{thirds});
  EXPECT_EQ(states(late), std::vector<HCALL>{lates});
}

TEST_F(CallsTest, PrivilegeChangesAreCountedAndGuarded) {
  const uint32_t call = Switch().OfferCall(0, 0, Caller("1", "x"));
  const HCALL mine = Switch().CallHandle(owner_.app, call);
  const HCALL theirs = Switch().CallHandle(watcher_.app, call);
  EXPECT_EQ(lineSetCallPrivilege(mine, LINECALLPRIVILEGE_MONITOR), Code(LINEERR_INVALCALLSTATE));
  EXPECT_EQ(lineSetCallPrivilege(mine, LINECALLPRIVILEGE_NONE), Code(LINEERR_INVALCALLPRIVILEGE));
  DrainLine(owner_.app);
  ASSERT_EQ(lineSetCallPrivilege(theirs, LINECALLPRIVILEGE_OWNER), 0);
  EXPECT_EQ(Status(theirs).dwCallPrivilege, LINECALLPRIVILEGE_OWNER);
  EXPECT_NE(Status(theirs).dwCallFeatures, 0u);
  const auto messages = DrainLine(owner_.app);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].dwParam1, LINECALLINFOSTATE_NUMOWNERINCR | LINECALLINFOSTATE_NUMMONITORS);
  // Two owners now: either may step back.
  EXPECT_EQ(lineSetCallPrivilege(mine, LINECALLPRIVILEGE_MONITOR), 0);
  const auto buffer = Info(theirs);
  const auto* info = reinterpret_cast<const LINECALLINFO*>(buffer.data());
  EXPECT_EQ(info->dwNumOwners, 1u);
  EXPECT_EQ(info->dwNumMonitors, 1u);
}

TEST_F(CallsTest, ClosingTheOwnersLineDropsItsCallsAndInvalidatesItsHandles) {
  const uint32_t call = Switch().OfferCall(0, 0, Caller("1", "x"));
  const HCALL mine = Switch().CallHandle(owner_.app, call);
  DrainLine(watcher_.app);
  ASSERT_EQ(lineClose(ownerLine_), 0);
  LONG result = 0;
  Status(mine, &result);
  EXPECT_EQ(result, Code(LINEERR_INVALCALLHANDLE));
  // The line drops calls when their owner closes it (LINEDEVCAPFLAGS_CLOSEDROP).
  const auto messages = DrainLine(watcher_.app);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].dwParam1, LINECALLINFOSTATE_NUMOWNERDECR);
  EXPECT_EQ(messages[1].dwMessageID, LINE_CALLSTATE);
  EXPECT_EQ(messages[1].dwParam1, LINECALLSTATE_IDLE);
  EXPECT_TRUE(Switch().CallsOnLine(0).empty());
}

TEST_F(CallsTest, SwitchClosingTheLineEndsTheHandlesButNotTheCalls) {
  const uint32_t call = Switch().OfferCall(0, 0, Caller("1", "x"));
  const HCALL mine = Switch().CallHandle(owner_.app, call);
  DrainLine(owner_.app);
  Switch().CloseLine(0);
  const auto messages = DrainLine(owner_.app);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].dwMessageID, LINE_CLOSE);
  LONG result = 0;
  Status(mine, &result);
  EXPECT_EQ(result, Code(LINEERR_INVALCALLHANDLE));
  EXPECT_EQ(Switch().CallsOnLine(0), std::vector<uint32_t>{call});
}

}  // namespace
}  // namespace tapi32_test
