// Operations that involve several calls or other lines and applications: transfers,
// conferences, park and pickup, call completion, handoff, generation and monitoring, and
// device-specific requests.
#include <cstring>

#include "call_control_fixture.h"

namespace tapi32_test {
namespace {

using tapi32::ReplyMode;
using Messages = std::vector<LINEMESSAGE>;

class CallFlowsTest : public CallControlTest {
 protected:
  // A consultation call for a connected call, dialled and connected.
  HCALL ConsultationFor(uint32_t call) {
    HCALL consult = 0;
    EXPECT_GT(lineSetupTransferW(Mine(call), &consult, nullptr), 0);
    EXPECT_GT(lineDialW(consult, u"300", 0), 0);
    DrainAll();
    return consult;
  }
};

TEST_F(CallFlowsTest, SetupTransferHoldsThePrimaryAndOpensARelatedConsultationCall) {
  const uint32_t primary = Connected();
  HCALL consult = 0;
  const LONG request = lineSetupTransferW(Mine(primary), &consult, nullptr);
  ASSERT_GT(request, 0);
  ASSERT_NE(consult, 0u);
  const Messages mine = DrainLine(owner_.app);
  EXPECT_EQ(ReplyOf(mine, request), 0);
  EXPECT_EQ(States(mine, Mine(primary)), std::vector<DWORD>{LINECALLSTATE_ONHOLDPENDTRANSFER});
  EXPECT_EQ(States(mine, consult), std::vector<DWORD>{LINECALLSTATE_DIALTONE});
  EXPECT_TRUE(InfoFlags(mine, consult) & LINECALLINFOSTATE_RELATEDCALLID);
  const uint32_t consultId = Switch().CallIdOf(consult);
  EXPECT_EQ(Switch().CallSnapshot(consultId).relatedCallId, primary);

  // The watcher is told of the new call with a monitor handle.
  const Messages theirs = DrainLine(watcher_.app);
  const LINEMESSAGE* added = Find(theirs, LINE_APPNEWCALL);
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->dwParam2, Theirs(consultId));

  // Once the consultation call is connected it offers to complete the transfer.
  ASSERT_GT(lineDialW(consult, u"300", 0), 0);
  EXPECT_TRUE(Switch().CallFeatures(consultId).features & LINECALLFEATURE_COMPLETETRANSF);
}

TEST_F(CallFlowsTest, CompletedTransferTakesBothCallsOffTheLine) {
  const uint32_t primary = Connected();
  const HCALL consult = ConsultationFor(primary);
  const HCALL held = Mine(primary);
  HCALL conf = 0xAAAA;
  ASSERT_GT(lineCompleteTransfer(held, consult, &conf, LINETRANSFERMODE_TRANSFER), 0);
  const Messages mine = DrainLine(owner_.app);
  const std::vector<DWORD> gone = {LINECALLSTATE_DISCONNECTED, LINECALLSTATE_IDLE};
  EXPECT_EQ(States(mine, held), gone);
  EXPECT_EQ(States(mine, consult), gone);
  EXPECT_EQ(conf, 0xAAAAu);  // no conference in transfer mode
  EXPECT_TRUE(Switch().CallsOnLine(0).empty());
}

TEST_F(CallFlowsTest, CompletedTransferAsConferenceBuildsAConferenceCall) {
  const uint32_t primary = Connected();
  const HCALL consult = ConsultationFor(primary);
  EXPECT_EQ(lineCompleteTransfer(Mine(primary), consult, nullptr, LINETRANSFERMODE_CONFERENCE),
            Code(LINEERR_INVALPOINTER));
  HCALL conf = 0;
  ASSERT_GT(lineCompleteTransfer(Mine(primary), consult, &conf, LINETRANSFERMODE_CONFERENCE), 0);
  ASSERT_NE(conf, 0u);
  const Messages mine = DrainLine(owner_.app);
  EXPECT_EQ(States(mine, Mine(primary)), std::vector<DWORD>{LINECALLSTATE_CONFERENCED});
  EXPECT_EQ(States(mine, consult), std::vector<DWORD>{LINECALLSTATE_CONFERENCED});
  EXPECT_EQ(States(mine, conf), std::vector<DWORD>{LINECALLSTATE_CONNECTED});
  // A party names the conference call by the receiving application's handle.
  EXPECT_EQ(Find(mine, LINE_CALLSTATE, Mine(primary))->dwParam2, conf);
  EXPECT_EQ(Find(mine, LINE_CALLSTATE, consult)->dwParam2, conf);
  const uint32_t confId = Switch().CallIdOf(conf);
  EXPECT_EQ(Switch().CallSnapshot(primary).relatedCallId, confId);
  EXPECT_EQ(Switch().CallSnapshot(confId).origin, LINECALLORIGIN_CONFERENCE);

  // The watcher hears of the conference call, with its first state at once, before the parties
  // name it.
  const Messages theirs = DrainLine(watcher_.app);
  const LINEMESSAGE* added = Find(theirs, LINE_APPNEWCALL);
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->dwParam2, Theirs(confId));
  ASSERT_LT(added + 1, theirs.data() + theirs.size());
  EXPECT_EQ(added[1].dwMessageID, LINE_CALLSTATE);
  EXPECT_EQ(added[1].hDevice, Theirs(confId));
  const LINEMESSAGE* conferenced = Find(theirs, LINE_CALLSTATE, Theirs(primary));
  ASSERT_NE(conferenced, nullptr);
  EXPECT_GT(conferenced, added);
  EXPECT_EQ(conferenced->dwParam2, Theirs(confId));

  // The conference call comes first, then the parties; the watcher gets its own handles.
  EXPECT_EQ(ConfRelated(consult), (std::vector<HCALL>{conf, Mine(primary), consult}));
  const uint32_t consultId = Switch().CallIdOf(consult);
  EXPECT_EQ(ConfRelated(Theirs(primary)),
            (std::vector<HCALL>{Theirs(confId), Theirs(primary), Theirs(consultId)}));
  // A handle given up is handed out anew, and the call's other handles hear of it.
  ASSERT_EQ(lineDeallocateCall(Theirs(confId)), 0);
  DrainLine(owner_.app);
  const std::vector<HCALL> again = ConfRelated(Theirs(primary));
  ASSERT_EQ(again.size(), 3u);
  EXPECT_EQ(again[0], Theirs(confId));
  const Messages counted = DrainLine(owner_.app);
  ASSERT_EQ(counted.size(), 1u);
  EXPECT_EQ(counted[0].hDevice, conf);
  EXPECT_EQ(counted[0].dwParam1, LINECALLINFOSTATE_NUMMONITORS);
}

TEST_F(CallFlowsTest, SwapHoldDuringATransferKeepsTheTransferPossible) {
  const uint32_t primary = Connected();
  const HCALL consult = ConsultationFor(primary);
  ASSERT_GT(lineSwapHold(consult, Mine(primary)), 0);
  EXPECT_EQ(Switch().CallSnapshot(Switch().CallIdOf(consult)).state,
            LINECALLSTATE_ONHOLDPENDTRANSFER);
  EXPECT_EQ(StateOf(primary), LINECALLSTATE_CONNECTED);
  ASSERT_GT(lineCompleteTransfer(consult, Mine(primary), nullptr, LINETRANSFERMODE_TRANSFER), 0);
  EXPECT_TRUE(Switch().CallsOnLine(0).empty());
}

TEST_F(CallFlowsTest, DroppingTheConsultationCallLeavesThePrimaryOnHold) {
  const uint32_t primary = Connected();
  const HCALL consult = ConsultationFor(primary);
  ASSERT_GT(lineDrop(consult, nullptr, 0), 0);
  EXPECT_EQ(States(DrainLine(watcher_.app), Theirs(primary)),
            std::vector<DWORD>{LINECALLSTATE_ONHOLD});
  EXPECT_EQ(lineCompleteTransfer(Mine(primary), consult, nullptr, LINETRANSFERMODE_TRANSFER),
            Code(LINEERR_INVALCALLSTATE));
}

TEST_F(CallFlowsTest, ConferenceGrowsAndShrinks) {
  const uint32_t first = Connected();
  HCALL conf = 0;
  HCALL consult = 0;
  ASSERT_GT(lineSetupConferenceW(Mine(first), 0, &conf, &consult, 3, nullptr), 0);
  Messages mine = DrainLine(owner_.app);
  EXPECT_EQ(States(mine, Mine(first)), std::vector<DWORD>{LINECALLSTATE_CONFERENCED});
  EXPECT_EQ(Find(mine, LINE_CALLSTATE, Mine(first))->dwParam2, conf);
  EXPECT_EQ(States(mine, conf), std::vector<DWORD>{LINECALLSTATE_ONHOLDPENDCONF});
  EXPECT_EQ(States(mine, consult), std::vector<DWORD>{LINECALLSTATE_DIALTONE});
  const uint32_t confId = Switch().CallIdOf(conf);
  EXPECT_EQ(Switch().CallSnapshot(Switch().CallIdOf(consult)).relatedCallId, confId);

  ASSERT_GT(lineDialW(consult, u"300", 0), 0);
  EXPECT_TRUE(Switch().CallFeatures(Switch().CallIdOf(consult)).features &
              LINECALLFEATURE_ADDTOCONF);
  EXPECT_EQ(lineAddToConference(Mine(first), consult), Code(LINEERR_INVALCONFCALLHANDLE));
  // The watcher gives up its handle of the conference call: a joining party names none.
  ASSERT_EQ(lineDeallocateCall(Theirs(confId)), 0);
  DrainAll();
  ASSERT_GT(lineAddToConference(conf, consult), 0);
  mine = DrainLine(owner_.app);
  EXPECT_EQ(States(mine, consult), std::vector<DWORD>{LINECALLSTATE_CONFERENCED});
  EXPECT_EQ(States(mine, conf), std::vector<DWORD>{LINECALLSTATE_CONNECTED});
  const HCALL theirConsult = Theirs(Switch().CallIdOf(consult));
  const Messages theirs = DrainLine(watcher_.app);
  const LINEMESSAGE* joined = Find(theirs, LINE_CALLSTATE, theirConsult);
  ASSERT_NE(joined, nullptr);
  EXPECT_EQ(joined->dwParam1, LINECALLSTATE_CONFERENCED);
  EXPECT_EQ(joined->dwParam2, 0u);

  // A third party joins; a fourth would be one too many.
  HCALL third = 0;
  ASSERT_GT(linePrepareAddToConferenceW(conf, &third, nullptr), 0);
  EXPECT_EQ(StateOf(confId), LINECALLSTATE_ONHOLDPENDCONF);
  ASSERT_GT(lineDialW(third, u"301", 0), 0);
  ASSERT_GT(lineAddToConference(conf, third), 0);
  HCALL fourth = 0;
  EXPECT_EQ(linePrepareAddToConferenceW(conf, &fourth, nullptr), Code(LINEERR_CONFERENCEFULL));
  EXPECT_EQ(ConfRelated(conf), (std::vector<HCALL>{conf, Mine(first), consult, third}));

  DrainAll();
  ASSERT_GT(lineRemoveFromConference(consult), 0);
  EXPECT_EQ(States(DrainLine(owner_.app), consult),
            (std::vector<DWORD>{LINECALLSTATE_DISCONNECTED, LINECALLSTATE_IDLE}));
  EXPECT_EQ(ConfRelated(conf), (std::vector<HCALL>{conf, Mine(first), third}));

  // Dropping the conference call ends the parties with it.
  ASSERT_GT(lineDrop(conf, nullptr, 0), 0);
  EXPECT_EQ(StateOf(first), LINECALLSTATE_IDLE);
  EXPECT_EQ(Switch().CallSnapshot(Switch().CallIdOf(third)).state, LINECALLSTATE_IDLE);
  LONG result = 0;
  ConfRelated(Mine(first), &result);
  EXPECT_EQ(result, Code(LINEERR_NOCONFERENCE));
}

TEST_F(CallFlowsTest, FailedConferenceSetupWritesNoHandlesAndMakesNoCalls) {
  const uint32_t first = Connected();
  HCALL conf = 0x1111;
  HCALL consult = 0x2222;
  Switch().SetNextReplyMode("lineSetupConferenceW", ReplyMode::Now(Code(LINEERR_RESOURCEUNAVAIL)));
  const LONG request = lineSetupConferenceW(Mine(first), 0, &conf, &consult, 3, nullptr);
  ASSERT_GT(request, 0);
  EXPECT_EQ(ReplyOf(DrainLine(owner_.app), request), Code(LINEERR_RESOURCEUNAVAIL));
  EXPECT_EQ(conf, 0x1111u);
  EXPECT_EQ(consult, 0x2222u);
  EXPECT_EQ(Switch().CallsOnLine(0), std::vector<uint32_t>{first});
  EXPECT_EQ(StateOf(first), LINECALLSTATE_CONNECTED);
  EXPECT_EQ(lineSetupConferenceW(Mine(first), 0, &conf, &consult, 4, nullptr),
            Code(LINEERR_CONFERENCEFULL));

  // Without a call the conference starts from the line.
  ASSERT_GT(lineSetupConferenceW(0, ownerLine_, &conf, &consult, 0, nullptr), 0);
  EXPECT_EQ(Switch().CallSnapshot(Switch().CallIdOf(conf)).state, LINECALLSTATE_ONHOLDPENDCONF);
  // With nobody but the consultation call, dropping it ends the conference.
  ASSERT_GT(lineDrop(consult, nullptr, 0), 0);
  EXPECT_EQ(Switch().CallSnapshot(Switch().CallIdOf(conf)).state, LINECALLSTATE_IDLE);
}

TEST_F(CallFlowsTest, ParkedCallIsUnparkedOnAnotherLine) {
  const uint32_t call = Connected();
  const HCALL watched = Theirs(call);
  ASSERT_GT(lineParkW(Mine(call), LINEPARKMODE_DIRECTED, u"700", nullptr), 0);
  EXPECT_EQ(States(DrainLine(watcher_.app), watched),
            (std::vector<DWORD>{LINECALLSTATE_DISCONNECTED, LINECALLSTATE_IDLE}));
  EXPECT_TRUE(Switch().IsParked("700"));

  LineInit other = InitLine();
  const HLINE beta = OpenLine(other.app, 1, kBoth, kVoice, 51);
  HCALL unparked = 0;
  const LONG request = lineUnparkW(beta, 0, &unparked, u"700");
  ASSERT_GT(request, 0);
  ASSERT_NE(unparked, 0u);
  const Messages messages = DrainLine(other.app);
  EXPECT_EQ(ReplyOf(messages, request), 0);
  EXPECT_EQ(States(messages, unparked), std::vector<DWORD>{LINECALLSTATE_CONNECTED});
  const tapi32::CallData data = Switch().CallSnapshot(Switch().CallIdOf(unparked));
  EXPECT_EQ(data.deviceId, 1u);
  EXPECT_EQ(data.reason, LINECALLREASON_UNPARK);
  EXPECT_EQ(data.caller.number, u"5550100");
  EXPECT_FALSE(Switch().IsParked("700"));
  EXPECT_EQ(lineUnparkW(beta, 0, &unparked, u"700"), Code(LINEERR_INVALADDRESS));
}

TEST_F(CallFlowsTest, NonDirectedParkReportsWhereTheCallWaits) {
  const uint32_t first = Connected();
  std::vector<uint8_t> buffer(64);
  auto* where = reinterpret_cast<VARSTRING*>(buffer.data());
  where->dwTotalSize = static_cast<DWORD>(buffer.size());
  ASSERT_GT(lineParkW(Mine(first), LINEPARKMODE_NONDIRECTED, nullptr, where), 0);
  ASSERT_EQ(where->dwStringFormat, STRINGFORMAT_UNICODE);
  ASSERT_EQ(where->dwStringSize, 8u);
  EXPECT_EQ(
      std::u16string(reinterpret_cast<const char16_t*>(buffer.data() + where->dwStringOffset)),
      u"701");

  // Too small for the text: the size needed, no text.
  const uint32_t second = Connected();
  VARSTRING small{};
  small.dwTotalSize = sizeof(small);
  ASSERT_GT(lineParkW(Mine(second), LINEPARKMODE_NONDIRECTED, nullptr, &small), 0);
  EXPECT_EQ(small.dwNeededSize, sizeof(VARSTRING) + 8);
  EXPECT_EQ(small.dwStringSize, 0u);
  EXPECT_TRUE(Switch().IsParked("702"));
  small.dwTotalSize = 8;
  const uint32_t third = Connected();
  EXPECT_EQ(lineParkW(Mine(third), LINEPARKMODE_NONDIRECTED, nullptr, &small),
            Code(LINEERR_STRUCTURETOOSMALL));
}

TEST_F(CallFlowsTest, PickupTakesARingingCallFromAnotherStation) {
  const uint32_t ringing = Incoming(1);  // at "210"
  HCALL picked = 0;
  EXPECT_EQ(linePickupW(ownerLine_, 0, &picked, u"299", nullptr), Code(LINEERR_INVALADDRESS));
  const LONG request = linePickupW(ownerLine_, 0, &picked, u"210", nullptr);
  ASSERT_GT(request, 0);
  ASSERT_NE(picked, 0u);
  const Messages mine = DrainLine(owner_.app);
  EXPECT_EQ(ReplyOf(mine, request), 0);
  EXPECT_EQ(States(mine, picked), std::vector<DWORD>{LINECALLSTATE_CONNECTED});
  const tapi32::CallData data = Switch().CallSnapshot(Switch().CallIdOf(picked));
  EXPECT_EQ(data.reason, LINECALLREASON_PICKUP);
  EXPECT_EQ(data.caller.number, u"5550100");
  EXPECT_FALSE(Switch().HasCall(ringing));  // nobody held a handle of the original

  // Group pickup takes the oldest ringing call of the other lines.
  const uint32_t again = Incoming(1);
  EXPECT_EQ(linePickupW(ownerLine_, 0, &picked, nullptr, nullptr), Code(LINEERR_INVALADDRESS));
  ASSERT_GT(linePickupW(ownerLine_, 0, &picked, nullptr, u"sales"), 0);
  EXPECT_FALSE(Switch().HasCall(again));
  EXPECT_EQ(linePickupW(ownerLine_, 0, &picked, nullptr, u"sales"), Code(LINEERR_INVALGROUPID));
}

TEST_F(CallFlowsTest, CallCompletionComesBackWhenTheScriptSaysSo) {
  tapi32::sim::FarEnd busy;
  busy.kind = tapi32::sim::FarEnd::Kind::Busy;
  Switch().SetFarEnd("301", busy);
  HCALL call = 0;
  ASSERT_GT(lineMakeCallW(ownerLine_, &call, u"301", 0, nullptr), 0);
  DWORD completion = 0;
  EXPECT_EQ(lineCompleteCall(call, &completion, 3, 0), Code(LINEERR_INVALCALLCOMPLMODE));
  DrainAll();
  ASSERT_GT(lineCompleteCall(call, &completion, LINECALLCOMPLMODE_CALLBACK, 0), 0);
  ASSERT_NE(completion, 0u);
  EXPECT_EQ(Switch().CompletionsOn(0), std::vector<uint32_t>{completion});

  const uint32_t back = Switch().FireCompletion(completion);
  const tapi32::CallData data = Switch().CallSnapshot(back);
  EXPECT_EQ(data.state, LINECALLSTATE_OFFERING);
  EXPECT_EQ(data.reason, LINECALLREASON_CALLCOMPLETION);
  EXPECT_EQ(data.completionId, completion);
  EXPECT_EQ(data.caller.number, u"301");
  EXPECT_TRUE(Switch().CompletionsOn(0).empty());

  ASSERT_GT(lineCompleteCall(call, &completion, LINECALLCOMPLMODE_CAMPON, 0), 0);
  EXPECT_EQ(lineUncompleteCall(ownerLine_, completion + 1), Code(LINEERR_INVALCOMPLETIONID));
  ASSERT_GT(lineUncompleteCall(ownerLine_, completion), 0);
  EXPECT_TRUE(Switch().CompletionsOn(0).empty());
}

TEST_F(CallFlowsTest, HandoffMakesAnotherApplicationOwner) {
  LineInit dialer = InitLine(0x00020002, u"Dialer");
  const HLINE dialerLine = OpenLine(dialer.app, 0, LINECALLPRIVILEGE_OWNER, kVoice, 61);
  ASSERT_NE(dialerLine, 0u);
  const uint32_t call = Connected();
  EXPECT_TRUE(DrainLine(dialer.app).empty());  // an owner-only open is not told of owned calls

  EXPECT_EQ(lineHandoffW(Mine(call), u"Nobody.exe", 0), Code(LINEERR_TARGETNOTFOUND));
  EXPECT_EQ(lineHandoffW(Mine(call), u"owner", 0), Code(LINEERR_TARGETSELF));
  EXPECT_EQ(lineHandoffW(Theirs(call), u"Dialer", 0), Code(LINEERR_NOTOWNER));
  EXPECT_EQ(lineHandoffW(Mine(call), u"C:\\Apps\\DIALER.EXE", 0), 0);

  const Messages messages = DrainLine(dialer.app);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].dwMessageID, LINE_APPNEWCALL);
  EXPECT_EQ(messages[0].dwParam3, LINECALLPRIVILEGE_OWNER);
  const HCALL handed = messages[0].dwParam2;
  EXPECT_EQ(messages[1].dwMessageID, LINE_CALLSTATE);
  EXPECT_EQ(messages[1].hDevice, handed);
  EXPECT_EQ(messages[1].dwParam1, LINECALLSTATE_CONNECTED);
  EXPECT_EQ(messages[1].dwParam3, LINECALLPRIVILEGE_OWNER);
  EXPECT_TRUE(InfoFlags(DrainLine(watcher_.app), Theirs(call)) & LINECALLINFOSTATE_NUMOWNERINCR);
  EXPECT_EQ(lineAnswer(handed, nullptr, 0), Code(LINEERR_INVALCALLSTATE));  // it owns it now

  // By media mode: the highest-priority (oldest) owner open that takes the mode, which for the
  // owner is its own.
  const uint32_t next = Connected();
  EXPECT_EQ(lineHandoffW(Mine(next), nullptr, kVoice | LINEMEDIAMODE_G3FAX),
            Code(LINEERR_INVALMEDIAMODE));
  EXPECT_EQ(lineHandoffW(Mine(next), nullptr, LINEMEDIAMODE_G3FAX), Code(LINEERR_TARGETNOTFOUND));
  EXPECT_EQ(lineHandoffW(Mine(next), nullptr, kVoice), Code(LINEERR_TARGETSELF));
  EXPECT_EQ(Switch().CallHandle(dialer.app, next), 0u);
  // From the dialer, the same handoff goes to the owner, which hears its privilege again.
  DrainLine(owner_.app);
  EXPECT_EQ(lineHandoffW(handed, nullptr, kVoice), 0);
  const Messages back = DrainLine(owner_.app);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].hDevice, Mine(call));
  EXPECT_EQ(back[0].dwParam3, LINECALLPRIVILEGE_OWNER);
}

TEST_F(CallFlowsTest, GenerationEndsAtOnceAndMonitoringWaitsForTheSwitch) {
  const uint32_t ringing = Incoming();
  EXPECT_EQ(lineGenerateDigitsW(Mine(ringing), LINEDIGITMODE_DTMF, u"1", 0),
            Code(LINEERR_INVALCALLSTATE));
  const uint32_t call = Connected();
  EXPECT_EQ(lineGenerateDigitsW(Mine(call), LINEDIGITMODE_DTMFEND, u"1", 0),
            Code(LINEERR_INVALDIGITMODE));
  EXPECT_EQ(lineGenerateDigitsW(Mine(call), LINEDIGITMODE_PULSE, u"12#", 0),
            Code(LINEERR_INVALDIGITLIST));
  EXPECT_EQ(lineGenerateDigitsW(Theirs(call), LINEDIGITMODE_DTMF, u"1", 0), Code(LINEERR_NOTOWNER));
  ASSERT_EQ(lineGenerateDigitsW(Mine(call), LINEDIGITMODE_DTMF, u"12#*", 100), 0);
  Messages mine = DrainLine(owner_.app);
  ASSERT_EQ(mine.size(), 1u);
  EXPECT_EQ(mine[0].dwMessageID, LINE_GENERATE);
  EXPECT_EQ(mine[0].hDevice, Mine(call));
  EXPECT_EQ(mine[0].dwParam1, LINEGENERATETERM_DONE);
  EXPECT_TRUE(DrainLine(watcher_.app).empty());

  EXPECT_EQ(lineGenerateTone(Mine(call), LINETONEMODE_CUSTOM, 100, 1, nullptr),
            Code(LINEERR_INVALPOINTER));
  EXPECT_EQ(lineGenerateTone(Mine(call), LINETONEMODE_BEEP | LINETONEMODE_BUSY, 100, 0, nullptr),
            Code(LINEERR_INVALTONEMODE));
  ASSERT_EQ(lineGenerateTone(Mine(call), LINETONEMODE_BEEP, 100, 0, nullptr), 0);
  EXPECT_NE(Find(DrainLine(owner_.app), LINE_GENERATE, Mine(call)), nullptr);

  // A monitor may listen; only the handles that asked hear the detections.
  LINEMONITORTONE tones[2] = {{77, 100, 440, 0, 0}, {78, 100, 350, 440, 0}};
  ASSERT_EQ(lineMonitorTones(Theirs(call), tones, 2), 0);
  ASSERT_EQ(lineMonitorMedia(Theirs(call), LINEMEDIAMODE_UNKNOWN), 0);
  EXPECT_EQ(lineMonitorMedia(Theirs(call), LINEMEDIAMODE_G3FAX), Code(LINEERR_INVALMEDIAMODE));
  EXPECT_TRUE(DrainLine(watcher_.app).empty());
  Switch().DetectTone(call, 350, 440);
  Switch().DetectMedia(call, LINEMEDIAMODE_UNKNOWN);
  const Messages theirs = DrainLine(watcher_.app);
  ASSERT_EQ(theirs.size(), 2u);
  EXPECT_EQ(theirs[0].dwMessageID, LINE_MONITORTONE);
  EXPECT_EQ(theirs[0].dwParam1, 78u);
  EXPECT_EQ(theirs[1].dwMessageID, LINE_MONITORMEDIA);
  EXPECT_EQ(theirs[1].dwParam1, LINEMEDIAMODE_UNKNOWN);
  EXPECT_TRUE(DrainLine(owner_.app).empty());

  // Cancelling stops the messages.
  ASSERT_EQ(lineMonitorTones(Theirs(call), nullptr, 0), 0);
  Switch().DetectTone(call, 350, 440);
  EXPECT_TRUE(DrainLine(watcher_.app).empty());
}

TEST_F(CallFlowsTest, DevSpecificRepliesWriteIntoTheCallersBlockOnlyOnSuccess) {
  Switch().SetDevSpecificAnswer(std::vector<uint8_t>{1, 2, 3});
  const uint32_t call = Incoming();
  uint8_t block[6] = {'a', 'b', 'c', 'd', 'e', 'f'};
  EXPECT_EQ(lineDevSpecific(ownerLine_, 2, 0, block, 6), Code(LINEERR_INVALADDRESSID));
  EXPECT_EQ(lineDevSpecific(ownerLine_, 0, Theirs(call), block, 6),
            Code(LINEERR_INVALCALLHANDLE));  // another application's handle

  Switch().SetNextReplyMode("lineDevSpecific", ReplyMode::Now(Code(LINEERR_OPERATIONFAILED)));
  ASSERT_GT(lineDevSpecific(ownerLine_, 0, Mine(call), block, 6), 0);
  EXPECT_EQ(std::memcmp(block, "abcdef", 6), 0);

  ASSERT_GT(lineDevSpecific(ownerLine_, 0, Mine(call), block, 6), 0);
  const uint8_t expected[6] = {1, 2, 3, 'd', 'e', 'f'};
  EXPECT_EQ(std::memcmp(block, expected, 6), 0);
  const tapi32::sim::DevSpecificRequest seen = Switch().LastDevSpecific();
  EXPECT_FALSE(seen.feature);
  EXPECT_EQ(seen.callId, call);
  EXPECT_EQ(seen.data, std::vector<uint8_t>({'a', 'b', 'c', 'd', 'e', 'f'}));

  // A pending request whose line closes writes nothing when it is answered later.
  uint8_t feature[2] = {9, 9};
  Switch().SetNextReplyMode("lineDevSpecificFeature", ReplyMode::Silent());
  const LONG pending = lineDevSpecificFeature(ownerLine_, 0x55, feature, 2);
  ASSERT_GT(pending, 0);
  ASSERT_EQ(lineClose(ownerLine_), 0);
  ASSERT_TRUE(Switch().CompleteRequest(static_cast<DWORD>(pending), 0));
  EXPECT_EQ(feature[0], 9);
  EXPECT_EQ(feature[1], 9);
}

}  // namespace
}  // namespace tapi32_test
