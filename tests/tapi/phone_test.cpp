// The phone component against the switch: owners and monitors in two applications, the desk
// phone following Reception's calls, the owner's requests and what a monitor sees of them, TAPI
// closing or removing an open phone, and what a pending request may still hold when the phone
// or its controls go.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tapi/errors.h"
#include "tapi/phone.h"
#include "tests/tapi/line_test_support.h"

namespace zvtapi::testing {
namespace {

using tapi32::ReplyMode;

// Reception with its desk phone: keypad, two call appearances, Hold and Transfer, a handset and
// a speakerphone.
tapi32::sim::Config ReceptionWithDeskPhone() {
  tapi32::sim::Config config;
  tapi32::sim::LineConfig line;
  line.name = "Reception";
  config.lines.push_back(line);
  tapi32::sim::PhoneConfig phone;
  phone.name = "Reception Desk Phone";
  phone.line = "Reception";
  phone.numButtonLamps = 16;
  phone.hookSwitchDevs = PHONEHOOKSWITCHDEV_HANDSET | PHONEHOOKSWITCHDEV_SPEAKER;
  config.phones.push_back(phone);
  return config;
}

// A phone with what its events said, in order.
class PhoneUnderTest : public TzvTapiPhone {
 public:
  PhoneUnderTest() : TzvTapiPhone(nullptr) {
    SetOnKeyDown(
        [this](TObject*, char16_t key) { events.push_back(std::string("down ") + char(key)); });
    SetOnKeyUp(
        [this](TObject*, char16_t key) { events.push_back(std::string("up ") + char(key)); });
    SetOnButton([this](TObject*, Cardinal id, Cardinal, Cardinal state) {
      events.push_back(Format("button %u %u", id, state));
    });
    SetOnDevStateChange([this](TObject*, Cardinal state, Cardinal, Cardinal) { states |= state; });
    SetOnDeviceClose([this](TObject*) { events.push_back("close"); });
    SetOnDeviceRemove([this](TObject*) { events.push_back("remove"); });
  }
  std::vector<std::string> events;
  Cardinal states = 0;
  using TzvTapiPhone::DevSpecificList;
};

class PhoneStories : public LineTest {
 protected:
  void SetUp() override {
    LineTest::SetUp();
    Switch().Reset(ReceptionWithDeskPhone());
  }
  static void OpenPhone(TzvCustomTapiPhone& phone) {
    phone.SetDeviceID(0);
    ASSERT_TRUE(phone.Available());
    phone.SetActive(true);
    ASSERT_TRUE(phone.Active());
  }
  // Another application on the same TAPI, opening the desk phone with the given privilege.
  struct OtherApplication {
    explicit OtherApplication(DWORD privilege) {
      PHONEINITIALIZEEXPARAMS params{};
      params.dwTotalSize = sizeof(params);
      params.dwOptions = PHONEINITIALIZEEXOPTION_USEEVENT;
      DWORD devices = 0, version = 0x00020002;
      EXPECT_EQ(phoneInitializeExW(&app, 0, nullptr, u"other", &devices, &version, &params), 0);
      EXPECT_EQ(phoneOpen(app, 0, &phone, 0x00020002, 0, 1, privilege), 0);
    }
    ~OtherApplication() { phoneShutdown(app); }
    HPHONEAPP app = 0;
    HPHONE phone = 0;
  };
};

TEST_F(PhoneStories, AnOwnedPhoneOpensAsMonitorAndMayNotWriteTheDisplay) {
  OtherApplication owner(PHONEPRIVILEGE_OWNER);
  PhoneUnderTest phone;
  OpenPhone(phone);
  EXPECT_EQ(phone.Privileges().Value(), PHONEPRIVILEGE_MONITOR);
  EXPECT_EQ(phone.Status().NumOwners(), 1u);
  try {
    phone.Display().SetText("Hello");
    ADD_FAILURE() << "a monitor wrote the display";
  } catch (const EzvTapiError& e) {
    EXPECT_EQ(e.ErrorCode(), PHONEERR_NOTOWNER);
  }
  // What the owner does, the monitor sees.
  ASSERT_GT(phoneSetLamp(owner.phone, 12, PHONELAMPMODE_FLASH), 0);
  ASSERT_GT(phoneSetRing(owner.phone, 1, 0x8000), 0);
  ASSERT_TRUE(PumpUntil(
      [&] { return (phone.states & PHONESTATE_LAMP) && (phone.states & PHONESTATE_RINGMODE); }));
  EXPECT_EQ(phone.Controls().Get(12)->LampMode(), PHONELAMPMODE_FLASH);
  EXPECT_EQ(phone.Ringer().Mode(), 1u);
  EXPECT_EQ(phone.Ringer().Volume(), 0x8000u);
}

TEST_F(PhoneStories, TheOwnerWritesDisplayLampRingerAndVolumeAndAMonitorSeesThem) {
  PhoneUnderTest phone;
  OpenPhone(phone);
  ASSERT_EQ(phone.Privileges().Value(), PHONEPRIVILEGE_OWNER);
  OtherApplication monitor(PHONEPRIVILEGE_MONITOR);
  phone.Display().SetText("Hello");
  ASSERT_TRUE(PumpUntil([&] { return (phone.states & PHONESTATE_DISPLAY) != 0; }));
  EXPECT_EQ(phone.Display().Text().substr(0, 5), "Hello");
  std::string text;
  EXPECT_EQ(phone.GetDisplayText(text), 0);
  EXPECT_EQ(text.substr(0, 5), "Hello");
  phone.Controls().Get(13)->SetLampMode(PHONELAMPMODE_STEADY);
  phone.Ringer().SetMode(1);
  phone.HandSet().SetVolume(0x4000);
  ASSERT_TRUE(PumpUntil([&] { return (phone.states & PHONESTATE_HANDSETVOLUME) != 0; }));
  EXPECT_EQ(phone.Controls().Get(13)->LampMode(), PHONELAMPMODE_STEADY);
  EXPECT_EQ(phone.HandSet().Volume(), 0x4000u);
  DWORD lamp = 0, ring = 0, volume = 0;
  EXPECT_EQ(phoneGetLamp(monitor.phone, 13, &lamp), 0);
  EXPECT_EQ(phoneGetRing(monitor.phone, &ring, &volume), 0);
  EXPECT_EQ(lamp, PHONELAMPMODE_STEADY);
  EXPECT_EQ(ring, 1u);
}

TEST_F(PhoneStories, AnOfferedCallRingsTheDeskPhoneItsHandsetAnswersItsKeypadDialsIntoTheCall) {
  LineUnderTest line;
  QuickCleanup(line);
  line.CallOptions().MonitorDigits().SetAutoSelect(true);
  std::string digits;
  line.SetOnDigit(
      [&](TzvTapiLine*, TzvTapiCall*, char16_t digit) { digits += static_cast<char>(digit); });
  OpenOn(line, 0);
  PhoneUnderTest phone;
  OpenPhone(phone);
  EXPECT_TRUE(phone.HandSet().OnHook());
  Switch().OfferCall(0, 0, Caller("301", "Alice"));
  ASSERT_TRUE(PumpUntil([&] { return line.Calls().Count() == 1 && phone.Ringer().Mode() != 0; }));
  ASSERT_TRUE(PumpUntil([&] { return phone.Display().Text().find("301") != std::string::npos; }));
  EXPECT_NE(phone.Display().Text().find("Alice"), std::string::npos);
  EXPECT_EQ(phone.Controls().Get(12)->LampMode(), PHONELAMPMODE_FLASH);
  TzvTapiCall* call = line.Calls().Get(0);

  Switch().LiftHookSwitch(0);
  ASSERT_TRUE(PumpUntil([&] { return call->State() == LINECALLSTATE_CONNECTED; }));
  ASSERT_TRUE(PumpUntil([&] { return !phone.HandSet().OnHook(); }));
  EXPECT_TRUE(phone.HandSet().MicroActive());
  EXPECT_TRUE(PumpUntil([&] { return phone.Ringer().Mode() == 0; })) << "still ringing";

  // The keypad reaches the call: its digit monitor, started as the call connected, hears each key.
  ASSERT_TRUE(call->MonitorDigits().Active());
  for (uint32_t key : {1u, 10u, 11u}) {
    Switch().PressButton(0, key);
    Switch().ReleaseButton(0, key);
  }
  ASSERT_TRUE(PumpUntil([&] { return digits.size() == 3; }));
  EXPECT_EQ(digits, "1*#");

  Switch().ReplaceHookSwitch(0);
  ASSERT_TRUE(PumpUntil([&] { return line.Calls().Count() == 0; }));
  EXPECT_TRUE(phone.HandSet().OnHook());
}

TEST_F(PhoneStories, TheOwnersHookSwitchRequestAnswersTheCallLikeLiftingTheHandset) {
  LineUnderTest line;
  QuickCleanup(line);
  OpenOn(line, 0);
  PhoneUnderTest phone;
  OpenPhone(phone);
  Switch().OfferCall(0, 0, Caller("302", "Bob"));
  ASSERT_TRUE(PumpUntil([&] { return line.Calls().Count() == 1; }));
  phone.HandSet().SetOnHook(false);
  EXPECT_EQ(Switch().PhoneStatusOf(0).hookSwitchModes[0], PHONEHOOKSWITCHMODE_MICSPEAKER);
  ASSERT_TRUE(PumpUntil([&] { return line.Calls().Get(0)->State() == LINECALLSTATE_CONNECTED; }));
  phone.HandSet().SetOnHook(true);
  ASSERT_TRUE(PumpUntil([&] { return line.Calls().Count() == 0; }));
}

TEST_F(PhoneStories, KeypadPressesBecomeKeyEventsAndOtherButtonsOnlyButtonEvents) {
  PhoneUnderTest phone;
  OpenPhone(phone);
  Switch().PressButton(0, 10);
  Switch().ReleaseButton(0, 10);
  Switch().PressButton(0, 14);
  ASSERT_TRUE(PumpUntil([&] { return phone.events.size() == 5; }));
  EXPECT_EQ(phone.events, (std::vector<std::string>{"down *", "button 10 2", "up *", "button 10 1",
                                                    "button 14 2"}));
  EXPECT_EQ(phone.Controls().Get(14)->ButtonState(), PHONEBUTTONSTATE_DOWN);
  EXPECT_EQ(phone.Controls().Get(3)->ButtonMode(), PHONEBUTTONMODE_KEYPAD);
}

TEST_F(PhoneStories, PhoneCloseDuringASynchronousRequestEndsItsWait) {
  PhoneUnderTest phone;
  OpenPhone(phone);
  Switch().SetNextReplyMode("phoneSetDisplay", ReplyMode::Silent());
  // TAPI closes the phone while the display request waits for its reply.
  phone.SetOnDevStateChange([](TObject*, Cardinal, Cardinal, Cardinal) { Switch().ClosePhone(0); });
  Switch().PhoneState(0, PHONESTATE_OTHER);
  try {
    phone.SetDisplay(0, 0, "Hello");
    ADD_FAILURE() << "the request returned";
  } catch (const EzvTapiError& e) {
    EXPECT_EQ(e.ErrorCode(), LINEERR_OPERATIONFAILED);
  }
  EXPECT_FALSE(phone.Active());
  EXPECT_EQ(phone.Requests().Count(), 0);
  EXPECT_EQ(phone.events, std::vector<std::string>{"close"});
  EXPECT_EQ(Switch().CallCount("phoneClose"), 0u) << "TAPI closed the phone already";
}

TEST_F(PhoneStories, ARemovedPhoneIsUnboundAndClosed) {
  PhoneUnderTest phone;
  OpenPhone(phone);
  Switch().RemovePhone(0);
  // TAPI ends the open first, then tells of the removal.
  ASSERT_TRUE(PumpUntil([&] { return phone.events.size() == 2; }));
  EXPECT_EQ(phone.events, (std::vector<std::string>{"close", "remove"}));
  EXPECT_FALSE(phone.Active());
  EXPECT_FALSE(phone.Available());
  EXPECT_EQ(phone.Controls().Count(), 0);
}

// ---------------------------------------------------------------------------------------------
// What pending requests hold

TEST_F(PhoneStories, ALampRequestForgetsItsControlWhenTheControlsAreFreed) {
  PhoneUnderTest phone;
  phone.Options().SetSyncMode(false);
  OpenPhone(phone);
  Switch().SetNextReplyMode("phoneSetLamp", ReplyMode::Silent());
  phone.Controls().Get(12)->SetLampMode(PHONELAMPMODE_FLASH);
  const Integer id = static_cast<Integer>(phone.LastRequestID());
  ASSERT_NE(phone.GetRequest(id), nullptr);
  // The provider's removal report comes before TAPI closes the phone: the controls go, the
  // request stays.
  PostPhone(phone.Handle(), PHONE_STATE, phone.CallbackInstance(), PHONESTATE_REMOVED);
  ASSERT_TRUE(PumpUntil([&] { return phone.Controls().Count() == 0; }));
  ASSERT_NE(phone.GetRequest(id), nullptr);
  EXPECT_EQ(phone.GetRequest(id)->GetObject(0), nullptr);
  // Reading the request's objects must not look into the freed control.
  EXPECT_EQ(phone.GetRequestObj(id, "&Call"), nullptr);
}

TEST_F(PhoneStories, AReplyHandlerThatClosesThePhoneEndsTheReplysHandling) {
  PhoneUnderTest phone;
  phone.Options().SetSyncMode(false);
  OpenPhone(phone);
  Switch().SetNextReplyMode("phoneDevSpecific", ReplyMode::Silent());
  std::vector<uint8_t> block(16, 1);
  phone.DevSpecific(block.data(), 16);
  bool replied = false;
  phone.SetOnDevSpecificReply(
      [&](TObject*, Cardinal, const void*, Cardinal, Integer) { replied = true; });
  phone.SetOnTapiReply([&](TObject*, Cardinal, Cardinal) { phone.Close(); });
  ASSERT_TRUE(Switch().CompleteRequest(OnlyPendingRequest(), 0));
  ASSERT_TRUE(PumpUntil([&] { return !phone.Active(); }));
  PumpFor(10);
  EXPECT_FALSE(replied) << "the block went with the close";
  EXPECT_EQ(phone.DevSpecificList().Count(), 0);
}

TEST_F(PhoneStories, DevSpecificBlocksOutliveTheirRequestUntilTapiAnswers) {
  PhoneUnderTest phone;
  phone.Options().SetReplyTimeout(1);
  OpenPhone(phone);
  Switch().SetDevSpecificAnswer(std::vector<uint8_t>(32, 0xAB));
  Switch().SetReplyMode("phoneDevSpecific", ReplyMode::Silent());
  std::vector<uint8_t> block(32, 0);
  // Synchronous, timed out: the caller's block is never written late.
  try {
    phone.DevSpecific(block.data(), 32);
    ADD_FAILURE() << "no reply, yet it returned";
  } catch (const EzvTapiError& e) {
    EXPECT_EQ(e.ErrorCode(), LINEERR_OPERATIONFAILED);
  }
  ASSERT_TRUE(Switch().CompleteRequest(OnlyPendingRequest(), 0));
  PumpFor(10);
  EXPECT_EQ(block, std::vector<uint8_t>(32, 0));

  // Asynchronous, timed out, then answered: TAPI writes into the phone's own copy.
  phone.Options().SetSyncMode(false);
  bool timedOut = false;
  phone.SetOnDevSpecificTimeout(
      [&](TObject*, Cardinal, const void*, Cardinal, Cardinal) { timedOut = true; });
  phone.DevSpecific(block.data(), 32);
  phone.CheckTimeouts(platform::GetTickCount() + 1000);
  EXPECT_TRUE(timedOut);
  EXPECT_EQ(phone.DevSpecificList().Count(), 0);
  ASSERT_TRUE(Switch().CompleteRequest(OnlyPendingRequest(), 0));
  PumpFor(10);

  // Pending while the phone closes.
  phone.DevSpecific(block.data(), 32);
  phone.Close();
  ASSERT_TRUE(Switch().CompleteRequest(OnlyPendingRequest(), 0));
  PumpFor(10);
  EXPECT_EQ(block, std::vector<uint8_t>(32, 0));
}

TEST_F(PhoneStories, ASynchronousDevSpecificHandsBackTheProvidersAnswer) {
  PhoneUnderTest phone;
  OpenPhone(phone);
  Switch().SetDevSpecificAnswer(std::vector<uint8_t>(8, 0xCD));
  std::vector<uint8_t> block(8, 0);
  phone.DevSpecific(block.data(), 8);
  EXPECT_EQ(block, std::vector<uint8_t>(8, 0xCD));
  EXPECT_EQ(phone.DevSpecificList().Count(), 0);
}

}  // namespace
}  // namespace zvtapi::testing
