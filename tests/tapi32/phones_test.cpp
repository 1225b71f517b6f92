// Phone devices through the C API: owners and monitors from two applications, the requests and
// their replies in every order, status messages filtered by each open's masks, forced closes and
// removal, and a phone that is the set of a line.
#include <cstring>
#include <string>
#include <vector>

#include "tapi32_fixture.h"

namespace tapi32_test {
namespace {

using tapi32::ReplyMode;

class PhoneTest : public TapiTest {
 protected:
  void SetUp() override {
    tapi32::sim::Config config;
    config.lines = {Line("Front", 0x101)};
    auto phone = Phone("Desk", 0x201);
    phone.hookSwitchDevs = PHONEHOOKSWITCHDEV_HANDSET | PHONEHOOKSWITCHDEV_SPEAKER;
    phone.numButtonLamps = 16;
    phone.numRingModes = 2;
    phone.line = "Front";
    config.phones = {phone};
    Switch().Reset(config);
    first_ = InitPhone().app;
    second_ = InitPhone().app;
  }

  static HPHONE Open(HPHONEAPP app, DWORD privilege, LONG* result = nullptr, DWORD instance = 5) {
    DWORD version = 0;
    PHONEEXTENSIONID extension{};
    LONG code = phoneNegotiateAPIVersion(app, 0, 0x00010004, 0x00020002, &version, &extension);
    HPHONE phone = 0;
    if (code == 0) code = phoneOpen(app, 0, &phone, version, 0, instance, privilege);
    if (result != nullptr) *result = code;
    return phone;
  }

  // The reply a request got, or the result itself when it failed at once.
  static LONG Reply(HPHONEAPP app, LONG result) {
    if (result <= 0) return result;
    for (const PHONEMESSAGE& message : DrainPhone(app)) {
      if (message.dwMessageID == PHONE_REPLY && message.dwParam1 == static_cast<DWORD>(result)) {
        return static_cast<LONG>(message.dwParam2);
      }
    }
    return 1;  // no reply
  }

  static std::vector<DWORD> Ids(const std::vector<PHONEMESSAGE>& messages) {
    std::vector<DWORD> ids;
    for (const auto& message : messages)
      ids.push_back(message.dwMessageID == PHONE_STATE ? message.dwParam1 : message.dwMessageID);
    return ids;
  }

  static std::u16string Display(HPHONE phone) {
    std::vector<uint8_t> buffer(1024);
    auto* text = reinterpret_cast<VARSTRING*>(buffer.data());
    text->dwTotalSize = static_cast<DWORD>(buffer.size());
    if (phoneGetDisplay(phone, text) != 0) return u"<error>";
    return std::u16string(reinterpret_cast<const char16_t*>(buffer.data() + text->dwStringOffset));
  }

  static PHONESTATUS Status(HPHONE phone, std::vector<uint8_t>* buffer = nullptr) {
    std::vector<uint8_t> local(2048);
    auto* status = reinterpret_cast<PHONESTATUS*>(local.data());
    status->dwTotalSize = static_cast<DWORD>(local.size());
    EXPECT_EQ(phoneGetStatusW(phone, status), 0);
    PHONESTATUS copy = *status;
    if (buffer != nullptr) *buffer = std::move(local);
    return copy;
  }

  HPHONEAPP first_ = 0;
  HPHONEAPP second_ = 0;
};

TEST_F(PhoneTest, OwnersAndMonitorsOfTwoApplicationsSeeEachOther) {
  const HPHONE owner = Open(first_, PHONEPRIVILEGE_OWNER);
  ASSERT_NE(owner, 0u);
  ASSERT_EQ(phoneSetStatusMessages(owner, PHONESTATE_OWNER | PHONESTATE_MONITORS, 0, 0), 0);
  LONG result = 0;
  // The phone has its owner: a second one is refused, a monitor is welcome.
  EXPECT_EQ(Open(second_, PHONEPRIVILEGE_OWNER, &result), 0u);
  EXPECT_EQ(result, Code(PHONEERR_INUSE));
  EXPECT_EQ(Open(second_, PHONEPRIVILEGE_OWNER | PHONEPRIVILEGE_MONITOR, &result), 0u);
  EXPECT_EQ(result, Code(PHONEERR_INVALPRIVILEGE));
  const HPHONE monitor = Open(second_, PHONEPRIVILEGE_MONITOR);
  ASSERT_NE(monitor, 0u);
  std::vector<PHONEMESSAGE> heard = DrainPhone(first_);
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].hDevice, owner);
  EXPECT_EQ(heard[0].dwCallbackInstance, 5u);
  EXPECT_EQ(heard[0].dwParam1, PHONESTATE_MONITORS);
  EXPECT_EQ(heard[0].dwParam2, 1u);

  const PHONESTATUS status = Status(monitor);
  EXPECT_EQ(status.dwNumOwners, 1u);
  EXPECT_EQ(status.dwNumMonitors, 1u);

  // A monitor reads but does not write.
  EXPECT_EQ(phoneSetDisplay(monitor, 0, 0, "x", 1), Code(PHONEERR_NOTOWNER));
  EXPECT_EQ(phoneSetRing(monitor, 1, 0), Code(PHONEERR_NOTOWNER));
  EXPECT_EQ(phoneSetLamp(monitor, 12, PHONELAMPMODE_STEADY), Code(PHONEERR_NOTOWNER));
  EXPECT_EQ(phoneSetHookSwitch(monitor, PHONEHOOKSWITCHDEV_SPEAKER, PHONEHOOKSWITCHMODE_SPEAKER),
            Code(PHONEERR_NOTOWNER));
  EXPECT_EQ(phoneSetVolume(monitor, PHONEHOOKSWITCHDEV_HANDSET, 1), Code(PHONEERR_NOTOWNER));
  EXPECT_EQ(phoneSetGain(monitor, PHONEHOOKSWITCHDEV_HANDSET, 1), Code(PHONEERR_NOTOWNER));
  DWORD lamp = 0;
  EXPECT_EQ(phoneGetLamp(monitor, 12, &lamp), 0);

  // The owner leaves: the monitor's application is told when it asked, and a new owner may come.
  ASSERT_EQ(phoneSetStatusMessages(monitor, PHONESTATE_OWNER, 0, 0), 0);
  ASSERT_EQ(phoneClose(owner), 0);
  heard = DrainPhone(second_);
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].dwParam1, PHONESTATE_OWNER);
  EXPECT_EQ(heard[0].dwParam2, 0u);
  EXPECT_NE(Open(second_, PHONEPRIVILEGE_OWNER), 0u);
  EXPECT_EQ(phoneClose(owner), Code(PHONEERR_INVALPHONEHANDLE));
}

TEST_F(PhoneTest, RequestsAreCheckedAgainstTheCapabilities) {
  const HPHONE phone = Open(first_, PHONEPRIVILEGE_OWNER);
  ASSERT_NE(phone, 0u);
  // Headset: the phone has none. UNKNOWN cannot be set, the handset has no SPEAKER mode.
  EXPECT_EQ(phoneSetHookSwitch(phone, PHONEHOOKSWITCHDEV_HEADSET, PHONEHOOKSWITCHMODE_ONHOOK),
            Code(PHONEERR_INVALHOOKSWITCHDEV));
  EXPECT_EQ(phoneSetHookSwitch(phone, 0, PHONEHOOKSWITCHMODE_ONHOOK),
            Code(PHONEERR_INVALHOOKSWITCHDEV));
  EXPECT_EQ(phoneSetHookSwitch(phone, PHONEHOOKSWITCHDEV_HANDSET, PHONEHOOKSWITCHMODE_UNKNOWN),
            Code(PHONEERR_INVALHOOKSWITCHMODE));
  EXPECT_EQ(phoneSetHookSwitch(phone, PHONEHOOKSWITCHDEV_HANDSET, PHONEHOOKSWITCHMODE_SPEAKER),
            Code(PHONEERR_INVALHOOKSWITCHMODE));
  EXPECT_EQ(phoneSetDisplay(phone, 2, 0, "x", 1), Code(PHONEERR_INVALPARAM));
  EXPECT_EQ(phoneSetDisplay(phone, 0, 40, "x", 1), Code(PHONEERR_INVALPARAM));
  EXPECT_EQ(phoneSetDisplay(phone, 0, 0, nullptr, 1), Code(PHONEERR_INVALPOINTER));
  EXPECT_EQ(phoneSetRing(phone, 3, 0), Code(PHONEERR_INVALRINGMODE));
  EXPECT_EQ(phoneSetRing(phone, 1, 0x10000), Code(PHONEERR_INVALPARAM));
  // Keypad keys have no lamp; call appearances do not flutter; 16 is past the last button.
  EXPECT_EQ(phoneSetLamp(phone, 3, PHONELAMPMODE_STEADY), Code(PHONEERR_INVALLAMPMODE));
  EXPECT_EQ(phoneSetLamp(phone, 12, PHONELAMPMODE_FLUTTER), Code(PHONEERR_INVALLAMPMODE));
  EXPECT_EQ(phoneSetLamp(phone, 12, PHONELAMPMODE_STEADY | PHONELAMPMODE_WINK),
            Code(PHONEERR_INVALLAMPMODE));
  EXPECT_EQ(phoneSetLamp(phone, 16, PHONELAMPMODE_STEADY), Code(PHONEERR_INVALBUTTONLAMPID));
  DWORD value = 0;
  EXPECT_EQ(phoneGetLamp(phone, 16, &value), Code(PHONEERR_INVALBUTTONLAMPID));
  EXPECT_EQ(phoneSetVolume(phone, PHONEHOOKSWITCHDEV_HEADSET, 1),
            Code(PHONEERR_INVALHOOKSWITCHDEV));
  EXPECT_EQ(phoneSetGain(phone, PHONEHOOKSWITCHDEV_HANDSET | PHONEHOOKSWITCHDEV_SPEAKER, 1),
            Code(PHONEERR_INVALHOOKSWITCHDEV));
  EXPECT_EQ(phoneGetVolume(phone, PHONEHOOKSWITCHDEV_HEADSET, &value),
            Code(PHONEERR_INVALHOOKSWITCHDEV));
  EXPECT_EQ(phoneSetVolume(phone, PHONEHOOKSWITCHDEV_HANDSET, 0x10000), Code(PHONEERR_INVALPARAM));
  EXPECT_EQ(phoneSetStatusMessages(phone, PHONESTATE_DEVSPECIFIC, 0, 0),
            Code(PHONEERR_INVALPHONESTATE));
  EXPECT_EQ(phoneSetStatusMessages(phone, 0, 0x40, 0), Code(PHONEERR_INVALBUTTONMODE));
  EXPECT_EQ(phoneSetStatusMessages(phone, 0, 0, 0x10), Code(PHONEERR_INVALBUTTONSTATE));
  EXPECT_EQ(phoneSetDisplay(0, 0, 0, "x", 1), Code(PHONEERR_INVALPHONEHANDLE));
  EXPECT_EQ(Switch().PendingRequests().size(), 0u);
}

TEST_F(PhoneTest, EachWriteRoundTripsAndIsSeenByAMonitor) {
  const HPHONE owner = Open(first_, PHONEPRIVILEGE_OWNER);
  const HPHONE monitor = Open(second_, PHONEPRIVILEGE_MONITOR);
  ASSERT_NE(monitor, 0u);
  ASSERT_EQ(phoneSetStatusMessages(monitor,
                                   PHONESTATE_DISPLAY | PHONESTATE_RINGMODE |
                                       PHONESTATE_RINGVOLUME | PHONESTATE_LAMP |
                                       PHONESTATE_SPEAKERHOOKSWITCH | PHONESTATE_SPEAKERVOLUME |
                                       PHONESTATE_HANDSETGAIN | PHONESTATE_HANDSETVOLUME,
                                   0, 0),
            0);
  DrainPhone(first_);

  EXPECT_EQ(Reply(first_, phoneSetDisplay(owner, 1, 2, "Hello\0ignored", 13)), 0);
  EXPECT_EQ(Display(monitor).substr(40, 9), u"  Hello  ");
  EXPECT_EQ(Display(monitor).size(), 80u);
  EXPECT_EQ(Reply(first_, phoneSetRing(owner, 2, 0x8000)), 0);
  DWORD mode = 0, volume = 0;
  ASSERT_EQ(phoneGetRing(monitor, &mode, &volume), 0);
  EXPECT_EQ(mode, 2u);
  EXPECT_EQ(volume, 0x8000u);
  EXPECT_EQ(Reply(first_, phoneSetLamp(owner, 13, PHONELAMPMODE_WINK)), 0);
  ASSERT_EQ(phoneGetLamp(monitor, 13, &mode), 0);
  EXPECT_EQ(mode, PHONELAMPMODE_WINK);
  EXPECT_EQ(Reply(first_, phoneSetHookSwitch(owner, PHONEHOOKSWITCHDEV_SPEAKER,
                                             PHONEHOOKSWITCHMODE_SPEAKER)),
            0);
  DWORD offHook = 0;
  ASSERT_EQ(phoneGetHookSwitch(monitor, &offHook), 0);
  EXPECT_EQ(offHook, PHONEHOOKSWITCHDEV_SPEAKER);
  EXPECT_EQ(Reply(first_, phoneSetVolume(owner, PHONEHOOKSWITCHDEV_SPEAKER, 0x1234)), 0);
  EXPECT_EQ(Reply(first_, phoneSetGain(owner, PHONEHOOKSWITCHDEV_HANDSET, 0x4321)), 0);
  ASSERT_EQ(phoneGetVolume(monitor, PHONEHOOKSWITCHDEV_SPEAKER, &volume), 0);
  EXPECT_EQ(volume, 0x1234u);
  ASSERT_EQ(phoneGetGain(monitor, PHONEHOOKSWITCHDEV_HANDSET, &volume), 0);
  EXPECT_EQ(volume, 0x4321u);

  const std::vector<PHONEMESSAGE> heard = DrainPhone(second_);
  EXPECT_EQ(Ids(heard),
            (std::vector<DWORD>{PHONESTATE_DISPLAY, PHONESTATE_RINGMODE, PHONESTATE_RINGVOLUME,
                                PHONESTATE_LAMP, PHONESTATE_SPEAKERHOOKSWITCH,
                                PHONESTATE_SPEAKERVOLUME, PHONESTATE_HANDSETGAIN}));
  EXPECT_EQ(heard[1].dwParam2, 2u);   // the new ring mode
  EXPECT_EQ(heard[3].dwParam2, 13u);  // the lamp
  EXPECT_EQ(heard[0].hDevice, monitor);

  std::vector<uint8_t> buffer;
  const PHONESTATUS status = Status(monitor, &buffer);
  EXPECT_EQ(status.dwRingMode, 2u);
  EXPECT_EQ(status.dwSpeakerHookSwitchMode, PHONEHOOKSWITCHMODE_SPEAKER);
  EXPECT_EQ(status.dwHandsetHookSwitchMode, PHONEHOOKSWITCHMODE_ONHOOK);
  EXPECT_EQ(status.dwLampModesSize, 16u * 4);
  DWORD lamp13 = 0;
  std::memcpy(&lamp13, buffer.data() + status.dwLampModesOffset + 13 * 4, 4);
  EXPECT_EQ(lamp13, PHONELAMPMODE_WINK);
  EXPECT_EQ(status.dwLampModesOffset % 4, 0u);
  EXPECT_EQ(
      std::u16string(reinterpret_cast<const char16_t*>(buffer.data() + status.dwOwnerNameOffset)),
      u"tests");
}

TEST_F(PhoneTest, RepliesComeInEveryModeAndOrder) {
  const HPHONE owner = Open(first_, PHONEPRIVILEGE_OWNER);
  ASSERT_EQ(phoneSetStatusMessages(owner, PHONESTATE_LAMP, 0, 0), 0);
  // Reply first: PHONE_REPLY, then the lamp's PHONE_STATE.
  LONG id = phoneSetLamp(owner, 12, PHONELAMPMODE_STEADY);
  ASSERT_GT(id, 0);
  EXPECT_EQ(Ids(DrainPhone(first_)), (std::vector<DWORD>{PHONE_REPLY, PHONESTATE_LAMP}));
  // Effect first: the other way round.
  Switch().SetNextReplyMode("phoneSetLamp", ReplyMode::Now().EffectFirst());
  id = phoneSetLamp(owner, 12, PHONELAMPMODE_WINK);
  EXPECT_EQ(Ids(DrainPhone(first_)), (std::vector<DWORD>{PHONESTATE_LAMP, PHONE_REPLY}));
  // A failing reply changes nothing.
  Switch().SetNextReplyMode("phoneSetLamp", ReplyMode::Now(Code(PHONEERR_OPERATIONFAILED)));
  id = phoneSetLamp(owner, 12, PHONELAMPMODE_FLASH);
  const auto failed = DrainPhone(first_);
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].dwParam2, static_cast<DWORD>(PHONEERR_OPERATIONFAILED));
  EXPECT_EQ(Switch().PhoneStatusOf(0).lampModes[12], PHONELAMPMODE_WINK);
  // Never: pending until completed by hand; the effect waits for it.
  Switch().SetNextReplyMode("phoneSetRing", ReplyMode::Silent());
  id = phoneSetRing(owner, 1, 7);
  EXPECT_TRUE(DrainPhone(first_).empty());
  EXPECT_EQ(Switch().PhoneStatusOf(0).ringMode, 0u);
  ASSERT_TRUE(Switch().CompleteRequest(static_cast<DWORD>(id), 0));
  EXPECT_EQ(Reply(first_, id), 0);
  EXPECT_EQ(Switch().PhoneStatusOf(0).ringVolume, 7u);
  // Every asynchronous phone function has a reply mode and honours faults.
  for (const char* name : {"phoneSetHookSwitch", "phoneSetDisplay", "phoneSetRing", "phoneSetLamp",
                           "phoneSetVolume", "phoneSetGain", "phoneDevSpecific"}) {
    EXPECT_NO_THROW(Switch().SetNextReplyMode(name, ReplyMode::Now())) << name;
  }
  Switch().FailNext("phoneSetDisplay", Code(PHONEERR_RESOURCEUNAVAIL));
  EXPECT_EQ(phoneSetDisplay(owner, 0, 0, "x", 1), Code(PHONEERR_RESOURCEUNAVAIL));
  EXPECT_EQ(Switch().CallCount("phoneSetDisplay"), 1u);
}

TEST_F(PhoneTest, ARequestPendingAtCloseFailsAndWritesNothing) {
  const HPHONE owner = Open(first_, PHONEPRIVILEGE_OWNER);
  Switch().SetDevSpecificAnswer(std::vector<uint8_t>{9, 9, 9, 9});
  Switch().SetNextReplyMode("phoneDevSpecific", ReplyMode::Silent());
  std::vector<uint8_t> block{1, 2, 3, 4};
  const LONG id = phoneDevSpecific(owner, block.data(), 4);
  ASSERT_GT(id, 0);
  ASSERT_EQ(phoneClose(owner), 0);
  ASSERT_TRUE(Switch().CompleteRequest(static_cast<DWORD>(id), 0));
  EXPECT_EQ(Reply(first_, id), Code(PHONEERR_INVALPHONEHANDLE));
  EXPECT_EQ(block, (std::vector<uint8_t>{1, 2, 3, 4}));
  // On an open phone the answer is written when the reply succeeds.
  const HPHONE again = Open(first_, PHONEPRIVILEGE_MONITOR);
  EXPECT_EQ(Reply(first_, phoneDevSpecific(again, block.data(), 4)), 0);
  EXPECT_EQ(block, (std::vector<uint8_t>{9, 9, 9, 9}));
  EXPECT_EQ(Switch().LastPhoneDevSpecific(), (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST_F(PhoneTest, StateAndButtonMessagesFollowEachOpensMasks) {
  const HPHONE owner = Open(first_, PHONEPRIVILEGE_OWNER);
  const HPHONE monitor = Open(second_, PHONEPRIVILEGE_MONITOR);
  DrainPhone(first_);
  ASSERT_EQ(phoneSetStatusMessages(owner, PHONESTATE_HANDSETHOOKSWITCH, PHONEBUTTONMODE_KEYPAD,
                                   PHONEBUTTONSTATE_DOWN),
            0);
  ASSERT_EQ(phoneSetStatusMessages(monitor, PHONESTATE_SUSPEND,
                                   PHONEBUTTONMODE_KEYPAD | PHONEBUTTONMODE_FEATURE,
                                   PHONEBUTTONSTATE_DOWN | PHONEBUTTONSTATE_UP),
            0);
  DWORD states = 0, modes = 0, buttonStates = 0;
  ASSERT_EQ(phoneGetStatusMessages(monitor, &states, &modes, &buttonStates), 0);
  EXPECT_EQ(modes, PHONEBUTTONMODE_KEYPAD | PHONEBUTTONMODE_FEATURE);

  Switch().PressButton(0, 10);  // "*"
  Switch().ReleaseButton(0, 10);
  Switch().PressButton(0, 14);  // Hold
  Switch().LiftHookSwitch(0);
  Switch().PhoneState(0, PHONESTATE_SUSPEND);
  const auto owners = DrainPhone(first_);
  ASSERT_EQ(owners.size(), 2u);
  EXPECT_EQ(owners[0].dwMessageID, PHONE_BUTTON);
  EXPECT_EQ(owners[0].dwParam1, 10u);
  EXPECT_EQ(owners[0].dwParam2, PHONEBUTTONMODE_KEYPAD);
  EXPECT_EQ(owners[0].dwParam3, PHONEBUTTONSTATE_DOWN);
  EXPECT_EQ(owners[1].dwParam1, PHONESTATE_HANDSETHOOKSWITCH);
  const auto monitors = DrainPhone(second_);
  EXPECT_EQ(Ids(monitors),
            (std::vector<DWORD>{PHONE_BUTTON, PHONE_BUTTON, PHONE_BUTTON, PHONESTATE_SUSPEND}));
  EXPECT_EQ(monitors[2].dwParam2, PHONEBUTTONMODE_FEATURE);
  EXPECT_EQ(Status(monitor).dwStatusFlags, PHONESTATUSFLAGS_CONNECTED | PHONESTATUSFLAGS_SUSPENDED);

  Switch().PhoneDevSpecific(0, 1, 2, 3);
  EXPECT_EQ(Ids(DrainPhone(second_)), (std::vector<DWORD>{PHONE_DEVSPECIFIC}));
}

TEST_F(PhoneTest, ForcedCloseAndRemovalEndTheOpens) {
  const HPHONE owner = Open(first_, PHONEPRIVILEGE_OWNER);
  const HPHONE monitor = Open(second_, PHONEPRIVILEGE_MONITOR);
  DrainPhone(first_);
  Switch().ClosePhone(0);
  auto heard = DrainPhone(first_);
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].dwMessageID, PHONE_CLOSE);
  EXPECT_EQ(heard[0].hDevice, owner);
  EXPECT_EQ(phoneSetLamp(owner, 12, PHONELAMPMODE_STEADY), Code(PHONEERR_INVALPHONEHANDLE));
  EXPECT_EQ(phoneClose(monitor), Code(PHONEERR_INVALPHONEHANDLE));

  const HPHONE reopened = Open(first_, PHONEPRIVILEGE_OWNER);
  ASSERT_NE(reopened, 0u);
  Switch().RemovePhone(0);
  heard = DrainPhone(first_);
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_EQ(heard[0].dwMessageID, PHONE_CLOSE);
  EXPECT_EQ(heard[1].dwMessageID, PHONE_REMOVE);
  EXPECT_EQ(phoneGetStatusW(reopened, nullptr), Code(PHONEERR_INVALPOINTER));
  LONG result = 0;
  EXPECT_EQ(Open(first_, PHONEPRIVILEGE_MONITOR, &result), 0u);
  EXPECT_NE(result, 0);
}

TEST_F(PhoneTest, ButtonInfoIconAndRelatedLine) {
  const HPHONE phone = Open(first_, PHONEPRIVILEGE_MONITOR);
  std::vector<uint8_t> buffer(256);
  auto* info = reinterpret_cast<PHONEBUTTONINFO*>(buffer.data());
  info->dwTotalSize = 256;
  ASSERT_EQ(phoneGetButtonInfoW(phone, 11, info), 0);
  EXPECT_EQ(info->dwButtonMode, PHONEBUTTONMODE_KEYPAD);
  EXPECT_EQ(
      std::u16string(reinterpret_cast<const char16_t*>(buffer.data() + info->dwButtonTextOffset)),
      u"#");
  ASSERT_EQ(phoneGetButtonInfoW(phone, 12, info), 0);
  EXPECT_EQ(info->dwButtonFunction, PHONEBUTTONFUNCTION_CALLAPP);
  PHONEBUTTONINFO small{};
  small.dwTotalSize = 20;
  EXPECT_EQ(phoneGetButtonInfoW(phone, 0, &small), Code(PHONEERR_STRUCTURETOOSMALL));
  EXPECT_EQ(small.dwNeededSize, sizeof(PHONEBUTTONINFO) + 4);

  HICON icon = 0;
  EXPECT_EQ(phoneGetIconW(0, u"tapi/phone", &icon), 0);
  EXPECT_NE(icon, 0u);
  EXPECT_EQ(phoneGetIconW(0, u"comm", &icon), Code(PHONEERR_INVALDEVICECLASS));
  EXPECT_EQ(phoneGetIconW(1, nullptr, &icon), Code(PHONEERR_BADDEVICEID));

  auto* id = reinterpret_cast<VARSTRING*>(buffer.data());
  id->dwTotalSize = 64;
  ASSERT_EQ(phoneGetIDW(phone, id, u"tapi/line"), 0);
  DWORD lineId = 99;
  std::memcpy(&lineId, buffer.data() + id->dwStringOffset, 4);
  EXPECT_EQ(lineId, 0u);
  EXPECT_EQ(phoneGetIDW(phone, id, u"wave/in"), Code(PHONEERR_INVALDEVICECLASS));
  // Without a dialog module the configuration dialog is unavailable.
  EXPECT_EQ(phoneConfigDialogW(0, 0, nullptr), Code(PHONEERR_OPERATIONUNAVAIL));
  EXPECT_EQ(phoneConfigDialogW(5, 0, nullptr), Code(PHONEERR_BADDEVICEID));
}

// The desk phone of a line: an offered call rings it and shows the caller; lifting the handset
// answers, the keypad reaches the call, replacing the handset drops it; the lamps follow.
TEST_F(PhoneTest, TheSetOfALineFollowsItsCalls) {
  const HLINEAPP lineApp = InitLine().app;
  const HLINE line = OpenLine(lineApp, 0, LINECALLPRIVILEGE_MONITOR, 0);
  ASSERT_NE(line, 0u);
  const HPHONE monitor = Open(first_, PHONEPRIVILEGE_MONITOR);
  ASSERT_EQ(phoneSetStatusMessages(monitor,
                                   PHONESTATE_RINGMODE | PHONESTATE_DISPLAY | PHONESTATE_LAMP |
                                       PHONESTATE_HANDSETHOOKSWITCH,
                                   0, 0),
            0);

  tapi32::sim::IncomingCall incoming;
  incoming.callerNumber = "555-0100";
  incoming.callerName = "Ada Lovelace";
  const uint32_t callId = Switch().OfferCall(0, 0, incoming);
  const auto ringing = DrainPhone(first_);
  EXPECT_EQ(Ids(ringing),
            (std::vector<DWORD>{PHONESTATE_LAMP, PHONESTATE_DISPLAY, PHONESTATE_RINGMODE}));
  EXPECT_EQ(ringing[2].dwParam2, 1u);
  const std::u16string shown = Display(monitor);
  EXPECT_EQ(shown.substr(0, 8), u"555-0100");
  EXPECT_EQ(shown.substr(40, 12), u"Ada Lovelace");
  EXPECT_EQ(Switch().PhoneStatusOf(0).lampModes[12], PHONELAMPMODE_FLASH);

  Switch().LiftHookSwitch(0);
  EXPECT_EQ(Switch().CallSnapshot(callId).state, LINECALLSTATE_CONNECTED);
  EXPECT_EQ(Switch().PhoneStatusOf(0).ringMode, 0u);
  EXPECT_EQ(Switch().PhoneStatusOf(0).lampModes[12], PHONELAMPMODE_STEADY);
  EXPECT_EQ(Display(monitor).substr(0, 8), u"555-0100");

  // The keypad reaches the call as DTMF: each key's tone starts as it goes down, ends as it
  // comes up.
  const HCALL watched = Switch().CallHandle(lineApp, callId);
  ASSERT_EQ(lineMonitorDigits(watched, LINEDIGITMODE_DTMF | LINEDIGITMODE_DTMFEND), 0);
  DrainLine(lineApp);
  for (uint32_t key : {1u, 10u, 11u}) {
    Switch().PressButton(0, key);
    Switch().ReleaseButton(0, key);
  }
  Switch().PressButton(0, 14);  // not a keypad key
  std::vector<std::pair<char, DWORD>> heard;
  for (const LINEMESSAGE& message : DrainLine(lineApp)) {
    if (message.dwMessageID != LINE_MONITORDIGITS) continue;
    EXPECT_EQ(message.hDevice, watched);
    heard.emplace_back(static_cast<char>(message.dwParam1), message.dwParam2);
  }
  const std::vector<std::pair<char, DWORD>> pressed = {
      {'1', LINEDIGITMODE_DTMF},    {'1', LINEDIGITMODE_DTMFEND}, {'*', LINEDIGITMODE_DTMF},
      {'*', LINEDIGITMODE_DTMFEND}, {'#', LINEDIGITMODE_DTMF},    {'#', LINEDIGITMODE_DTMFEND}};
  EXPECT_EQ(heard, pressed);

  Switch().SetCallState(callId, LINECALLSTATE_ONHOLD);
  EXPECT_EQ(Switch().PhoneStatusOf(0).lampModes[12], PHONELAMPMODE_WINK);
  Switch().SetCallState(callId, LINECALLSTATE_CONNECTED);

  Switch().ReplaceHookSwitch(0);
  EXPECT_FALSE(Switch().HasCall(callId) &&
               Switch().CallSnapshot(callId).state != LINECALLSTATE_IDLE);
  EXPECT_EQ(Switch().PhoneStatusOf(0).lampModes[12], PHONELAMPMODE_OFF);
  EXPECT_EQ(Display(monitor), std::u16string(80, u' '));
  lineShutdown(lineApp);
}

}  // namespace
}  // namespace tapi32_test
