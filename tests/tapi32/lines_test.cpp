// Opening and closing lines: privileges and media modes, status-message masks, line and address
// status and capabilities, icons, and the line events the switch sends to opens.
#include <cstring>
#include <vector>

#include "tapi32_fixture.h"

namespace tapi32_test {
namespace {

using tapi32::sim::Config;
using tapi32::sim::LineConfig;

class LinesTest : public TapiTest {
 protected:
  void SetUp() override {
    Config config;
    LineConfig voice = Line("Voice", 0x101);
    voice.mediaModes = LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_AUTOMATEDVOICE;
    voice.numAddresses = 2;
    voice.addressNames = {"200", "201"};
    voice.icon = 0x4242;
    LineConfig silent = Line("Silent", 0x102);
    silent.mediaModes = 0;
    LineConfig monitorOnly = Line("Monitor only", 0x103);
    monitorOnly.refuseOwner = LINEERR_INVALPRIVSELECT;
    LineConfig broken = Line("Broken", 0x104);
    broken.openError = LINEERR_RESOURCEUNAVAIL;
    config.lines = {voice, silent, monitorOnly, broken};
    Switch().Reset(config);
    init_ = InitLine();
    ASSERT_EQ(init_.result, 0);
    app_ = init_.app;
  }

  LineInit init_;
  HLINEAPP app_ = 0;
};

TEST_F(LinesTest, PrivilegesAndMediaModesAreCheckedAtOpen) {
  LONG result = 0;
  constexpr DWORD voice = LINEMEDIAMODE_INTERACTIVEVOICE;
  constexpr DWORD both = LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER;
  EXPECT_NE(OpenLine(app_, 0, both, voice, 7, &result), 0u);
  EXPECT_NE(OpenLine(app_, 0, LINECALLPRIVILEGE_MONITOR, 0, 7, &result), 0u);
  EXPECT_NE(OpenLine(app_, 0, LINECALLPRIVILEGE_NONE, 0, 7, &result), 0u);

  struct Case {
    DWORD privileges;
    DWORD mediaModes;
    uint32_t error;
  };
  const Case refused[] = {
      {0, voice, LINEERR_INVALPRIVSELECT},
      {LINECALLPRIVILEGE_NONE | LINECALLPRIVILEGE_MONITOR, 0, LINEERR_INVALPRIVSELECT},
      {0x8, voice, LINEERR_INVALPRIVSELECT},
      {both | LINEOPENOPTION_PROXY, voice, LINEERR_INVALPRIVSELECT},
      {LINECALLPRIVILEGE_OWNER, 0, LINEERR_INVALMEDIAMODE},
      {LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_G3FAX, LINEERR_INVALMEDIAMODE},  // not on the line
      {LINECALLPRIVILEGE_OWNER, 0x10000, LINEERR_INVALMEDIAMODE},              // no such mode
  };
  for (const Case& each : refused) {
    EXPECT_EQ(OpenLine(app_, 0, each.privileges, each.mediaModes, 7, &result), 0u);
    EXPECT_EQ(result, Code(each.error)) << std::hex << each.privileges << " " << each.mediaModes;
  }
}

TEST_F(LinesTest, OpenRefusesBadHandlesVersionsAndDevices) {
  HLINE line = 0;
  EXPECT_EQ(lineOpenW(app_, 0, &line, 0x00030000, 0, 1, LINECALLPRIVILEGE_MONITOR, 0, nullptr),
            Code(LINEERR_INCOMPATIBLEAPIVERSION));  // above what the device supports
  EXPECT_EQ(lineOpenW(app_ + 99, 0, &line, 0x00020002, 0, 1, 2, 0, nullptr),
            Code(LINEERR_INVALAPPHANDLE));
  EXPECT_EQ(lineOpenW(app_, 9, &line, 0x00020002, 0, 1, 2, 0, nullptr), Code(LINEERR_BADDEVICEID));
  EXPECT_EQ(lineOpenW(app_, 0, nullptr, 0x00020002, 0, 1, 2, 0, nullptr),
            Code(LINEERR_INVALPOINTER));
  Switch().RemoveLine(1);
  EXPECT_EQ(lineOpenW(app_, 1, &line, 0x00020002, 0, 1, 2, 0, nullptr), Code(LINEERR_NODEVICE));
}

TEST_F(LinesTest, DeviceWithoutMediaModesOpensWithNoneOnly) {
  LONG result = 0;
  EXPECT_EQ(OpenLine(app_, 1, LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER,
                     LINEMEDIAMODE_INTERACTIVEVOICE, 7, &result),
            0u);
  EXPECT_EQ(result, Code(LINEERR_INVALMEDIAMODE));
  EXPECT_NE(OpenLine(app_, 1, LINECALLPRIVILEGE_NONE, 0), 0u);
}

TEST_F(LinesTest, RefusedOwnerLeavesMonitorAsFallback) {
  LONG result = 0;
  EXPECT_EQ(OpenLine(app_, 2, LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER,
                     LINEMEDIAMODE_INTERACTIVEVOICE, 7, &result),
            0u);
  EXPECT_EQ(result, Code(LINEERR_INVALPRIVSELECT));
  EXPECT_NE(OpenLine(app_, 2, LINECALLPRIVILEGE_MONITOR, 0, 7, &result), 0u);

  EXPECT_EQ(OpenLine(app_, 3, LINECALLPRIVILEGE_MONITOR, 0, 7, &result), 0u);
  EXPECT_EQ(result, Code(LINEERR_RESOURCEUNAVAIL));
}

TEST_F(LinesTest, CloseInvalidatesTheHandleAndTellsOtherOpensWhoAsked) {
  const HLINE first = OpenLine(app_, 0, LINECALLPRIVILEGE_MONITOR, 0, 11);
  ASSERT_EQ(lineSetStatusMessages(first, LINEDEVSTATE_OPEN | LINEDEVSTATE_CLOSE, 0), 0);
  const HLINE second = OpenLine(app_, 0, LINECALLPRIVILEGE_MONITOR, 0, 12);
  ASSERT_NE(second, first);
  ASSERT_EQ(lineClose(second), 0);
  EXPECT_EQ(lineClose(second), Code(LINEERR_INVALLINEHANDLE));

  const auto messages = DrainLine(app_);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].dwMessageID, LINE_LINEDEVSTATE);
  EXPECT_EQ(messages[0].hDevice, first);
  EXPECT_EQ(messages[0].dwCallbackInstance, 11u);
  EXPECT_EQ(messages[0].dwParam1, LINEDEVSTATE_OPEN);
  EXPECT_EQ(messages[1].dwParam1, LINEDEVSTATE_CLOSE);
}

TEST_F(LinesTest, StatusMessagesFollowEachOpensMask) {
  const HLINE ringing = OpenLine(app_, 0, LINECALLPRIVILEGE_MONITOR, 0, 1);
  const HLINE deaf = OpenLine(app_, 0, LINECALLPRIVILEGE_MONITOR, 0, 2);
  ASSERT_EQ(lineSetStatusMessages(ringing, LINEDEVSTATE_RINGING, LINEADDRESSSTATE_FORWARD), 0);
  DWORD lineStates = 0;
  DWORD addressStates = 0;
  ASSERT_EQ(lineGetStatusMessages(ringing, &lineStates, &addressStates), 0);
  EXPECT_EQ(lineStates, LINEDEVSTATE_RINGING);
  EXPECT_EQ(addressStates, LINEADDRESSSTATE_FORWARD);
  ASSERT_EQ(lineGetStatusMessages(deaf, &lineStates, &addressStates), 0);
  EXPECT_EQ(lineStates, 0u);

  Switch().Ring(0, 1, 3);
  Switch().LineState(0, LINEDEVSTATE_OUTOFSERVICE);
  Switch().AddressState(0, 1, LINEADDRESSSTATE_FORWARD);
  Switch().AddressState(0, 1, LINEADDRESSSTATE_NUMCALLS);
  const auto messages = DrainLine(app_);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].dwMessageID, LINE_LINEDEVSTATE);
  EXPECT_EQ(messages[0].hDevice, ringing);
  EXPECT_EQ(messages[0].dwParam1, LINEDEVSTATE_RINGING);
  EXPECT_EQ(messages[0].dwParam2, 1u);  // ring mode
  EXPECT_EQ(messages[0].dwParam3, 3u);  // ring count
  EXPECT_EQ(messages[1].dwMessageID, LINE_ADDRESSSTATE);
  EXPECT_EQ(messages[1].dwParam1, 1u);
  EXPECT_EQ(messages[1].dwParam2, LINEADDRESSSTATE_FORWARD);
}

TEST_F(LinesTest, StatusMessagesTheDeviceCannotSendAreRefused) {
  const HLINE line = OpenLine(app_, 0, LINECALLPRIVILEGE_MONITOR, 0);
  // The library asks for everything first and then probes bit by bit.
  EXPECT_EQ(lineSetStatusMessages(line, 0x1FFFFFF, 0x1FF), Code(LINEERR_INVALLINESTATE));
  EXPECT_EQ(lineSetStatusMessages(line, LINEDEVSTATE_BATTERY, 0), Code(LINEERR_INVALLINESTATE));
  EXPECT_EQ(lineSetStatusMessages(line, 0, 0x200), Code(LINEERR_INVALADDRESSSTATE));
  EXPECT_EQ(lineSetStatusMessages(line, LINEDEVSTATE_RINGING, 0x1FF), 0);
  EXPECT_EQ(lineSetStatusMessages(line + 1000, 0, 0), Code(LINEERR_INVALLINEHANDLE));
}

TEST_F(LinesTest, CapsChangeReachesOpensThroughTheirHandleAndOthersApplicationWide) {
  const HLINE line = OpenLine(app_, 0, LINECALLPRIVILEGE_MONITOR, 0, 5);
  LineInit other = InitLine();
  Switch().RenameLine(0, "Renamed");
  auto mine = DrainLine(app_);
  ASSERT_EQ(mine.size(), 1u);
  EXPECT_EQ(mine[0].hDevice, line);
  EXPECT_EQ(mine[0].dwCallbackInstance, 5u);
  EXPECT_EQ(mine[0].dwParam1, LINEDEVSTATE_CAPSCHANGE);
  auto theirs = DrainLine(other.app);
  ASSERT_EQ(theirs.size(), 1u);
  EXPECT_EQ(theirs[0].hDevice, 0u);  // the device ID
  EXPECT_EQ(theirs[0].dwCallbackInstance, 0u);
}

TEST_F(LinesTest, SwitchClosingOrRemovingALineSendsLineClose) {
  const HLINE first = OpenLine(app_, 0, LINECALLPRIVILEGE_MONITOR, 0, 21);
  const HLINE second = OpenLine(app_, 0, LINECALLPRIVILEGE_NONE, 0, 22);
  Switch().CloseLine(0);
  auto messages = DrainLine(app_);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].dwMessageID, LINE_CLOSE);
  EXPECT_EQ(messages[0].hDevice, first);
  EXPECT_EQ(messages[0].dwCallbackInstance, 21u);
  EXPECT_EQ(messages[1].hDevice, second);
  EXPECT_EQ(lineClose(first), Code(LINEERR_INVALLINEHANDLE));

  const HLINE again = OpenLine(app_, 0, LINECALLPRIVILEGE_MONITOR, 0, 23);
  Switch().RemoveLine(0);
  messages = DrainLine(app_);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].dwMessageID, LINE_CLOSE);
  EXPECT_EQ(messages[0].hDevice, again);
  EXPECT_EQ(messages[1].dwMessageID, LINE_REMOVE);
  EXPECT_EQ(messages[1].dwParam1, 0u);
}

TEST_F(LinesTest, LineDevStatusCountsOpensAndCalls) {
  const HLINE owner = OpenLine(app_, 0, LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_AUTOMATEDVOICE);
  OpenLine(app_, 0, LINECALLPRIVILEGE_MONITOR, 0);
  Switch().OfferCall(0, 0, {});
  const uint32_t held = Switch().OfferCall(0, 1, {});
  Switch().SetCallState(held, LINECALLSTATE_ONHOLD);

  std::vector<uint8_t> buffer(512);
  auto* status = reinterpret_cast<LINEDEVSTATUS*>(buffer.data());
  status->dwTotalSize = static_cast<DWORD>(buffer.size());
  ASSERT_EQ(lineGetLineDevStatusW(owner, status), 0);
  EXPECT_EQ(status->dwNumOpens, 2u);
  EXPECT_EQ(status->dwOpenMediaModes, LINEMEDIAMODE_AUTOMATEDVOICE);
  EXPECT_EQ(status->dwNumActiveCalls, 1u);
  EXPECT_EQ(status->dwNumOnHoldCalls, 1u);
  EXPECT_EQ(status->dwAvailableMediaModes,
            LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_AUTOMATEDVOICE);
  EXPECT_TRUE(status->dwDevStatusFlags & LINEDEVSTATUSFLAGS_INSERVICE);

  LINEADDRESSSTATUS address{};
  address.dwTotalSize = sizeof(address);
  ASSERT_EQ(lineGetAddressStatusW(owner, 1, &address), 0);
  EXPECT_EQ(address.dwNumInUse, 1u);
  EXPECT_EQ(address.dwNumActiveCalls, 0u);
  EXPECT_EQ(address.dwNumOnHoldCalls, 1u);
  EXPECT_EQ(lineGetAddressStatusW(owner, 2, &address), Code(LINEERR_INVALADDRESSID));

  status->dwTotalSize = 40;
  EXPECT_EQ(lineGetLineDevStatusW(owner, status), Code(LINEERR_STRUCTURETOOSMALL));
  EXPECT_EQ(status->dwNeededSize, sizeof(LINEDEVSTATUS));
  status->dwTotalSize = sizeof(LINEDEVSTATUS);
  EXPECT_EQ(lineGetLineDevStatusW(0, status), Code(LINEERR_INVALLINEHANDLE));
}

TEST_F(LinesTest, AddressCapsCarryTheAddressName) {
  DWORD version = 0;
  LINEEXTENSIONID extension{};
  ASSERT_EQ(lineNegotiateAPIVersion(app_, 0, 0x00010004, 0x00020002, &version, &extension), 0);
  std::vector<uint8_t> buffer(1024);
  auto* caps = reinterpret_cast<LINEADDRESSCAPS*>(buffer.data());
  caps->dwTotalSize = static_cast<DWORD>(buffer.size());
  ASSERT_EQ(lineGetAddressCapsW(app_, 0, 1, version, 0, caps), 0);
  EXPECT_EQ(caps->dwLineDeviceID, 0u);
  ASSERT_EQ(caps->dwAddressSize, 4 * sizeof(char16_t));
  EXPECT_EQ(
      std::u16string(reinterpret_cast<const char16_t*>(buffer.data() + caps->dwAddressOffset)),
      u"201");
  EXPECT_EQ(caps->dwAddressStates, 0x1FFu);
  EXPECT_TRUE(caps->dwCallFeatures & LINECALLFEATURE_ANSWER);

  EXPECT_EQ(lineGetAddressCapsW(app_, 0, 2, version, 0, caps), Code(LINEERR_INVALADDRESSID));
  EXPECT_EQ(lineGetAddressCapsW(app_, 0, 0, 0x00010002, 0, caps),
            Code(LINEERR_INCOMPATIBLEAPIVERSION));
  LINEADDRESSCAPS small{};
  small.dwTotalSize = sizeof(small);  // the fixed part fits, the name does not
  ASSERT_EQ(lineGetAddressCapsW(app_, 0, 0, version, 0, &small), 0);
  EXPECT_EQ(small.dwAddressSize, 0u);
  EXPECT_GT(small.dwNeededSize, sizeof(small));
}

TEST_F(LinesTest, IconsByDeviceClass) {
  HICON icon = 0;
  ASSERT_EQ(lineGetIconW(0, nullptr, &icon), 0);
  EXPECT_EQ(icon, 0x4242u);
  EXPECT_EQ(lineGetIconW(0, u"TAPI/LINE", &icon), 0);
  EXPECT_EQ(lineGetIconW(0, u"wave/in", &icon), 0);
  EXPECT_EQ(lineGetIconW(0, u"comm/datamodem", &icon), Code(LINEERR_INVALDEVICECLASS));
  EXPECT_EQ(lineGetIconW(7, nullptr, &icon), Code(LINEERR_BADDEVICEID));
  icon = 0;
  ASSERT_EQ(lineGetIconW(1, u"", &icon), 0);
  EXPECT_NE(icon, 0u);  // the generic icon
}

TEST_F(LinesTest, ShutdownClosesTheApplicationsLines) {
  const HLINE line = OpenLine(app_, 0, LINECALLPRIVILEGE_MONITOR, 0);
  ASSERT_EQ(lineShutdown(app_), 0);
  EXPECT_EQ(lineClose(line), Code(LINEERR_INVALLINEHANDLE));
  LineInit other = InitLine();
  const HLINE again = OpenLine(other.app, 0, LINECALLPRIVILEGE_MONITOR, 0);
  LINEDEVSTATUS status{};
  status.dwTotalSize = sizeof(status);
  ASSERT_EQ(lineGetLineDevStatusW(again, &status), 0);
  EXPECT_EQ(status.dwNumOpens, 1u);
}

}  // namespace
}  // namespace tapi32_test
