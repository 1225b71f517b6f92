// The journal of recent messages and the snapshot of open lines and calls that error reports
// are made of.
#include <gtest/gtest.h>

#include "line_test_support.h"
#include "tapi/journal.h"

namespace zvtapi::testing {
namespace {

TTapiMessage Message(Cardinal id, Cardinal param1) {
  return {0x10, id, 7, param1, 0, 0};
}

TEST(Journal, KeepsTheNewestMessagesOldestFirstOnceTheRingWraps) {
  TzvTapiJournal journal;
  EXPECT_TRUE(journal.Entries().empty());
  const Cardinal total = TzvTapiJournal::kCapacity + 44;
  for (Cardinal i = 0; i < total; ++i)
    journal.Record(i % 2 == 0, Message(LINE_CALLSTATE, i));
  const std::vector<TzvTapiJournalEntry> entries = journal.Entries();
  ASSERT_EQ(entries.size(), TzvTapiJournal::kCapacity);
  EXPECT_EQ(entries.front().Message.dwParam1, 44u);
  EXPECT_EQ(entries.back().Message.dwParam1, total - 1);
  EXPECT_TRUE(entries.front().LineMessage);
  EXPECT_FALSE(entries.back().LineMessage);
  for (size_t i = 1; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].Message.dwParam1, entries[i - 1].Message.dwParam1 + 1);
    EXPECT_GE(entries[i].Time, entries[i - 1].Time);
  }
  EXPECT_EQ(journal.Recorded(), total);
  journal.Clear();
  EXPECT_TRUE(journal.Entries().empty());
  journal.Record(true, Message(LINE_REPLY, 1));
  ASSERT_EQ(journal.Entries().size(), 1u);
  EXPECT_EQ(journal.Entries()[0].Message.dwMessageID, LINE_REPLY);
}

TEST(Journal, NamesMessagesOfTheirOwnSideOnly) {
  EXPECT_EQ(TapiMessageName(true, LINE_ADDRESSSTATE), "LINE_ADDRESSSTATE");
  EXPECT_EQ(TapiMessageName(true, LINE_CALLSTATE), "LINE_CALLSTATE");
  EXPECT_EQ(TapiMessageName(true, LINE_DEVSPECIFICEX), "LINE_DEVSPECIFICEX");
  EXPECT_EQ(TapiMessageName(false, PHONE_REPLY), "PHONE_REPLY");
  EXPECT_EQ(TapiMessageName(false, PHONE_REMOVE), "PHONE_REMOVE");
  // A phone number on the line side, a line number on the phone side, or one past the end.
  EXPECT_EQ(TapiMessageName(true, PHONE_BUTTON), "line message 0xE");
  EXPECT_EQ(TapiMessageName(false, LINE_CREATE), "phone message 0x13");
  EXPECT_EQ(TapiMessageName(true, 35), "line message 0x23");
  EXPECT_EQ(TapiMessageName(true, 0xFFFFFFFF), "line message 0xFFFFFFFF");
}

TEST(Journal, EntryTextCarriesTimeNameAndValues) {
  TzvTapiJournalEntry entry;
  entry.Time = std::chrono::system_clock::time_point(std::chrono::milliseconds(1'700'000'000'123));
  entry.Message = {0x2A, LINE_CALLSTATE, 3, LINECALLSTATE_OFFERING, 0, 4};
  EXPECT_EQ(FormatJournalEntry(entry),
            "2023-11-14T22:13:20.123Z LINE_CALLSTATE hDevice=x2A dwCallbackInstance=x3 "
            "dwParam1=x2 dwParam2=x0 dwParam3=x4");
}

using JournalOfApplication = LineTest;

TEST_F(JournalOfApplication, RecordsWhatIsDispatchedAndSnapshotsOpenLinesWithCalls) {
  LineUnderTest line;
  line.SetName("Reception");
  OpenOn(line, 0);
  LineUnderTest closed;  // bound to a device but never opened: not in the snapshot
  closed.SetDeviceID(1);
  const uint64_t before = Appl().Journal().Recorded();
  Switch().OfferCall(0, 0, Caller("301", "Ann"));
  ASSERT_TRUE(PumpUntil([&] {
    TzvTapiCall* call = line.OnlyCall();
    return call && call->CallerID()->GetAddress() == "301";
  }));
  PumpFor(20);
  TzvTapiCall* call = line.OnlyCall();

  EXPECT_GT(Appl().Journal().Recorded(), before);
  bool sawOffer = false;
  for (const TzvTapiJournalEntry& entry : Appl().Journal().Entries()) {
    const TTapiMessage& m = entry.Message;
    if (entry.LineMessage && m.dwMessageID == LINE_CALLSTATE && m.hDevice == call->Handle() &&
        m.dwCallbackInstance == line.CallbackInstance() && m.dwParam1 == LINECALLSTATE_OFFERING)
      sawOffer = true;
  }
  EXPECT_TRUE(sawOffer);

  const std::vector<TzvTapiOpenLine> lines = SnapshotOpenLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].Name, "Reception");
  EXPECT_EQ(lines[0].DeviceID, 0);
  EXPECT_EQ(lines[0].DeviceName, line.DeviceName());
  ASSERT_EQ(lines[0].Calls.size(), 1u);
  EXPECT_EQ(lines[0].Calls[0].Handle, call->Handle());
  EXPECT_EQ(lines[0].Calls[0].State, LINECALLSTATE_OFFERING);
  EXPECT_EQ(lines[0].Calls[0].CallerID, "301");
  EXPECT_EQ(lines[0].Calls[0].CallerIDName, "Ann");
  const std::string text = FormatOpenLines(lines);
  EXPECT_NE(text.find("line Reception device 0"), std::string::npos) << text;
  EXPECT_NE(text.find("state x2 caller \"301\" \"Ann\""), std::string::npos) << text;
}

}  // namespace
}  // namespace zvtapi::testing
