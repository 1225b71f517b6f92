// Message queues, event handles, device notifications and assisted-telephony requests.
#include <atomic>
#include <thread>

#include "platform/clock.h"
#include "platform/sync.h"
#include "tapi32_fixture.h"

namespace tapi32_test {
namespace {

using MessagesTest = TapiTest;

LINEMESSAGE Msg(DWORD id, DWORD param1) {
  return LINEMESSAGE{7, id, 3, param1, 0, 0};
}

bool Signalled(HANDLE event) {
  return platform::WaitForSingleObject(event, 0) == 0;
}

TEST_F(MessagesTest, EventIsSignalledExactlyWhileMessagesWait) {
  LineInit line = InitLine();
  ASSERT_EQ(line.result, 0);
  EXPECT_FALSE(Signalled(line.event));
  ASSERT_TRUE(Switch().PostLineMessage(line.app, Msg(LINE_CALLSTATE, 1)));
  ASSERT_TRUE(Switch().PostLineMessage(line.app, Msg(LINE_CALLSTATE, 2)));
  EXPECT_TRUE(Signalled(line.event));

  LINEMESSAGE message{};
  ASSERT_EQ(lineGetMessage(line.app, &message, 0), 0);
  EXPECT_EQ(message.dwParam1, 1u);  // first in, first out
  EXPECT_EQ(message.hDevice, 7u);
  EXPECT_EQ(message.dwCallbackInstance, 3u);
  EXPECT_TRUE(Signalled(line.event));  // one still waits
  ASSERT_EQ(lineGetMessage(line.app, &message, 0), 0);
  EXPECT_EQ(message.dwParam1, 2u);
  EXPECT_FALSE(Signalled(line.event));
}

TEST_F(MessagesTest, PhoneQueueBehavesLikeTheLineQueue) {
  PhoneInit phone = InitPhone();
  ASSERT_EQ(phone.result, 0);
  ASSERT_TRUE(Switch().PostPhoneMessage(phone.app, PHONEMESSAGE{1, PHONE_BUTTON, 2, 3, 4, 5}));
  EXPECT_TRUE(Signalled(phone.event));
  PHONEMESSAGE message{};
  ASSERT_EQ(phoneGetMessage(phone.app, &message, 0), 0);
  EXPECT_EQ(message.dwMessageID, PHONE_BUTTON);
  EXPECT_EQ(message.dwParam3, 5u);
  EXPECT_FALSE(Signalled(phone.event));
  EXPECT_EQ(phoneGetMessage(phone.app, &message, 0), Code(PHONEERR_OPERATIONFAILED));
  EXPECT_EQ(phoneGetMessage(phone.app, nullptr, 0), Code(PHONEERR_INVALPOINTER));
  EXPECT_EQ(phoneGetMessage(phone.app + 1000, &message, 0), Code(PHONEERR_INVALAPPHANDLE));
}

TEST_F(MessagesTest, GetMessageTimesOutWhenNothingArrives) {
  LineInit line = InitLine();
  LINEMESSAGE message{};
  EXPECT_EQ(lineGetMessage(line.app, &message, 0), Code(LINEERR_OPERATIONFAILED));
  EXPECT_EQ(lineGetMessage(line.app, &message, 30), Code(LINEERR_OPERATIONFAILED));
  EXPECT_EQ(lineGetMessage(line.app, nullptr, 0), Code(LINEERR_INVALPOINTER));
  EXPECT_EQ(lineGetMessage(0, &message, 0), Code(LINEERR_INVALAPPHANDLE));
}

TEST_F(MessagesTest, WaitingGetMessageWakesForAMessageFromAnotherThread) {
  LineInit line = InitLine();
  std::thread poster([&] {
    platform::Sleep(20);
    Switch().PostLineMessage(line.app, Msg(LINE_CALLINFO, 42));
  });
  LINEMESSAGE message{};
  EXPECT_EQ(lineGetMessage(line.app, &message, platform::INFINITE), 0);
  poster.join();
  EXPECT_EQ(message.dwParam1, 42u);
  EXPECT_FALSE(Signalled(line.event));
}

TEST_F(MessagesTest, ShutdownEndsAWaitingGetMessage) {
  LineInit line = InitLine();
  std::atomic<LONG> result{1};
  std::thread waiter([&] {
    LINEMESSAGE message{};
    result = lineGetMessage(line.app, &message, platform::INFINITE);
  });
  platform::Sleep(20);
  ASSERT_EQ(lineShutdown(line.app), 0);
  waiter.join();
  EXPECT_EQ(result.load(), Code(LINEERR_INVALAPPHANDLE));
}

TEST_F(MessagesTest, PostingToAnUnknownApplicationFails) {
  EXPECT_FALSE(Switch().PostLineMessage(12345, Msg(LINE_CALLSTATE, 0)));
  EXPECT_FALSE(Switch().PostPhoneMessage(12345, PHONEMESSAGE{}));
}

TEST_F(MessagesTest, LargeBacklogDrainsInOrder) {
  LineInit line = InitLine();
  constexpr DWORD kCount = 50000;
  for (DWORD i = 0; i < kCount; ++i)
    Switch().PostLineMessage(line.app, Msg(LINE_CALLINFO, i));
  LINEMESSAGE message{};
  for (DWORD i = 0; i < kCount; ++i) {
    ASSERT_EQ(lineGetMessage(line.app, &message, 0), 0);
    ASSERT_EQ(message.dwParam1, i);
  }
  EXPECT_FALSE(Signalled(line.event));
  // The queue works as before after giving its storage back.
  Switch().PostLineMessage(line.app, Msg(LINE_CALLINFO, 9));
  ASSERT_EQ(lineGetMessage(line.app, &message, 0), 0);
  EXPECT_EQ(message.dwParam1, 9u);
}

// --- device notifications reach every initialised application ---------------------------------

TEST_F(MessagesTest, LineDeviceChangesReachEveryApplication) {
  LineInit first = InitLine();
  LineInit second = InitLine();
  ASSERT_EQ(first.result, 0);
  ASSERT_EQ(second.result, 0);

  const uint32_t added = Switch().AddLine(Line("Gamma", 0x103));
  EXPECT_EQ(added, 2u);
  Switch().RenameLine(0, "Alpha Renamed");
  Switch().ChangeLine(1, Line("Beta", 0x102));
  Switch().RemoveLine(1);
  Switch().RequestReinit();

  for (HLINEAPP app : {first.app, second.app}) {
    SCOPED_TRACE(app);
    std::vector<LINEMESSAGE> got = DrainLine(app);
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[0].dwMessageID, LINE_CREATE);
    EXPECT_EQ(got[0].dwParam1, 2u);
    EXPECT_EQ(got[1].dwMessageID, LINE_LINEDEVSTATE);
    EXPECT_EQ(got[1].hDevice, 0u);
    EXPECT_EQ(got[1].dwParam1, LINEDEVSTATE_CAPSCHANGE);
    EXPECT_EQ(got[2].hDevice, 1u);
    EXPECT_EQ(got[2].dwParam1, LINEDEVSTATE_CAPSCHANGE);
    EXPECT_EQ(got[3].dwMessageID, LINE_REMOVE);
    EXPECT_EQ(got[3].dwParam1, 1u);
    EXPECT_EQ(got[4].dwMessageID, LINE_LINEDEVSTATE);
    EXPECT_EQ(got[4].dwParam1, LINEDEVSTATE_REINIT);
    for (const auto& message : got)
      EXPECT_EQ(message.dwCallbackInstance, 0u);
  }
}

TEST_F(MessagesTest, PhoneDeviceChangesReachEveryApplication) {
  PhoneInit first = InitPhone();
  PhoneInit second = InitPhone();
  LineInit line = InitLine();

  EXPECT_EQ(Switch().AddPhone(Phone("Second Desk", 0x202)), 1u);
  Switch().RenamePhone(1, "Hall");
  Switch().RemovePhone(0);
  Switch().RequestReinit();

  for (HPHONEAPP app : {first.app, second.app}) {
    std::vector<PHONEMESSAGE> got = DrainPhone(app);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].dwMessageID, PHONE_CREATE);
    EXPECT_EQ(got[0].dwParam1, 1u);
    EXPECT_EQ(got[1].dwMessageID, PHONE_STATE);
    EXPECT_EQ(got[1].hDevice, 1u);
    EXPECT_EQ(got[1].dwParam1, PHONESTATE_CAPSCHANGE);
    EXPECT_EQ(got[2].dwMessageID, PHONE_REMOVE);
    EXPECT_EQ(got[2].dwParam1, 0u);
    EXPECT_EQ(got[3].dwMessageID, PHONE_STATE);
    EXPECT_EQ(got[3].dwParam1, PHONESTATE_REINIT);
  }
  // The line application sees only the re-initialisation.
  std::vector<LINEMESSAGE> lineGot = DrainLine(line.app);
  ASSERT_EQ(lineGot.size(), 1u);
  EXPECT_EQ(lineGot[0].dwParam1, LINEDEVSTATE_REINIT);
}

TEST_F(MessagesTest, ApplicationsOlderThanADeviceMessageHearOfTheChangeAsTheyCan) {
  const std::vector<DWORD> versions = {0x00010003, 0x00010004, 0x00020000};
  std::vector<HLINEAPP> lines;
  std::vector<HPHONEAPP> phones;
  for (DWORD version : versions) {
    lines.push_back(InitLine(version).app);
    phones.push_back(InitPhone(version).app);
  }
  const uint32_t added = Switch().AddLine(Line("Gamma", 0x103));
  // The 1.4 application learns of a removal only through its open of the line.
  HLINE open = 0;
  ASSERT_EQ(
      lineOpenW(lines[1], added, &open, 0x00010004, 0, 9, LINECALLPRIVILEGE_MONITOR, 0, nullptr),
      0);
  Switch().RemoveLine(added);
  Switch().RemovePhone(Switch().AddPhone(Phone("Hall", 0x202)));

  using Message = std::pair<DWORD, DWORD>;  // message ID, dwParam1
  using Heard = std::vector<Message>;
  const Message reinit = {LINE_LINEDEVSTATE, LINEDEVSTATE_REINIT};
  const std::vector<Heard> expectedLines = {
      {reinit},
      {{LINE_CREATE, 2}, {LINE_LINEDEVSTATE, LINEDEVSTATE_REMOVED}, {LINE_CLOSE, 0}},
      {{LINE_CREATE, 2}, {LINE_REMOVE, 2}}};
  const std::vector<Heard> expectedPhones = {{{PHONE_STATE, PHONESTATE_REINIT}},
                                             {{PHONE_CREATE, 1}},
                                             {{PHONE_CREATE, 1}, {PHONE_REMOVE, 1}}};
  for (size_t i = 0; i < versions.size(); ++i) {
    Heard heard;
    for (const auto& message : DrainLine(lines[i]))
      heard.emplace_back(message.dwMessageID, message.dwParam1);
    EXPECT_EQ(heard, expectedLines[i]) << std::hex << versions[i];
    heard.clear();
    for (const auto& message : DrainPhone(phones[i]))
      heard.emplace_back(message.dwMessageID, message.dwParam1);
    EXPECT_EQ(heard, expectedPhones[i]) << std::hex << versions[i];
  }
}

TEST_F(MessagesTest, DeviceChangesWithBadIdsThrowAndSendNothing) {
  LineInit line = InitLine();
  EXPECT_THROW(Switch().RemoveLine(2), std::out_of_range);
  EXPECT_THROW(Switch().RenamePhone(1, "x"), std::out_of_range);
  Switch().RemoveLine(0);
  Switch().RemoveLine(0);  // already gone: nothing more to report
  EXPECT_EQ(DrainLine(line.app).size(), 1u);
}

// --- assisted telephony ------------------------------------------------------------------------

TEST_F(MessagesTest, MakeCallRequestReachesTheRegisteredRecipient) {
  LineInit bystander = InitLine();
  LineInit recipient = InitLine();
  EXPECT_EQ(Switch().QueueMakeCallRequest("123", "Dialer", "Bob", ""),
            Code(TAPIERR_NOREQUESTRECIPIENT));
  ASSERT_EQ(lineRegisterRequestRecipient(recipient.app, 1, LINEREQUESTMODE_MAKECALL, 1), 0);

  ASSERT_EQ(Switch().QueueMakeCallRequest("+49 30 1234", "Dialer", "Bob", "Call back"), 0);
  EXPECT_TRUE(DrainLine(bystander.app).empty());
  std::vector<LINEMESSAGE> got = DrainLine(recipient.app);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].dwMessageID, LINE_REQUEST);
  EXPECT_EQ(got[0].dwCallbackInstance, 1u);
  EXPECT_EQ(got[0].dwParam1, LINEREQUESTMODE_MAKECALL);

  LINEREQMAKECALLW request{};
  ASSERT_EQ(lineGetRequestW(recipient.app, LINEREQUESTMODE_MAKECALL, &request), 0);
  EXPECT_EQ(std::u16string(request.szDestAddress), u"+49 30 1234");
  EXPECT_EQ(std::u16string(request.szAppName), u"Dialer");
  EXPECT_EQ(std::u16string(request.szCalledParty), u"Bob");
  EXPECT_EQ(std::u16string(request.szComment), u"Call back");
  EXPECT_EQ(lineGetRequestW(recipient.app, LINEREQUESTMODE_MAKECALL, &request),
            Code(LINEERR_NOREQUEST));
}

TEST_F(MessagesTest, OverlongRequestTextsAreCutToTheirFields) {
  LineInit line = InitLine();
  ASSERT_EQ(lineRegisterRequestRecipient(line.app, 1, LINEREQUESTMODE_MAKECALL, 1), 0);
  ASSERT_EQ(Switch().QueueMakeCallRequest(std::string(200, '5'), std::string(60, 'a'), "", ""), 0);
  LINEREQMAKECALLW request{};
  ASSERT_EQ(lineGetRequestW(line.app, LINEREQUESTMODE_MAKECALL, &request), 0);
  EXPECT_EQ(std::u16string(request.szDestAddress).size(), 79u);
  EXPECT_EQ(std::u16string(request.szAppName).size(), 39u);
}

TEST_F(MessagesTest, RequestRecipientRegistrationRules) {
  LineInit line = InitLine();
  LINEREQMAKECALLW request{};
  EXPECT_EQ(lineRegisterRequestRecipient(line.app, 1, LINEREQUESTMODE_DROP, 1),
            Code(LINEERR_INVALREQUESTMODE));
  EXPECT_EQ(lineRegisterRequestRecipient(line.app, 1, 0, 1), Code(LINEERR_INVALREQUESTMODE));
  EXPECT_EQ(lineRegisterRequestRecipient(line.app + 999, 1, LINEREQUESTMODE_MAKECALL, 1),
            Code(LINEERR_INVALAPPHANDLE));
  EXPECT_EQ(lineGetRequestW(line.app, LINEREQUESTMODE_MAKECALL, &request),
            Code(LINEERR_NOTREGISTERED));
  EXPECT_EQ(lineGetRequestW(line.app, LINEREQUESTMODE_DROP, &request),
            Code(LINEERR_INVALREQUESTMODE));
  EXPECT_EQ(lineGetRequestW(line.app, LINEREQUESTMODE_MAKECALL, nullptr),
            Code(LINEERR_INVALPOINTER));

  ASSERT_EQ(lineRegisterRequestRecipient(line.app, 1, LINEREQUESTMODE_MAKECALL, 1), 0);
  ASSERT_EQ(Switch().QueueMakeCallRequest("1", "", "", ""), 0);
  // Unregistering drops the pending request and stops further ones.
  ASSERT_EQ(lineRegisterRequestRecipient(line.app, 1, LINEREQUESTMODE_MAKECALL, 0), 0);
  EXPECT_EQ(lineGetRequestW(line.app, LINEREQUESTMODE_MAKECALL, &request),
            Code(LINEERR_NOTREGISTERED));
  EXPECT_EQ(Switch().QueueMakeCallRequest("1", "", "", ""), Code(TAPIERR_NOREQUESTRECIPIENT));
}

}  // namespace
}  // namespace tapi32_test
