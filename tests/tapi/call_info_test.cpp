#include "tapi/call_info.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "struct_image_support.h"
#include "tapi/errors.h"
#include "tapi32/tapi.h"

namespace zvtapi {
namespace {

using testing::StructImage;

// A provider for one structure: its answer, or an error, and how often it was asked.
struct Provider {
  explicit Provider(Cardinal fixedSize) : image(fixedSize) {}
  StructImage image;
  Cardinal error = 0;
  int calls = 0;
  int32_t Query(void* structure) {
    ++calls;
    return error != 0 ? static_cast<int32_t>(error) : image.Answer(structure);
  }
};

class ScriptedInfo : public TzvTapiCallInfo {
 public:
  ScriptedInfo(TzvTapiCallAccess* call, Provider& provider)
      : TzvTapiCallInfo(call), provider(provider) {}

 protected:
  int32_t Query(void* structure) override { return provider.Query(structure); }
  Provider& provider;
};

class ScriptedStatus : public TzvTapiCallStatus {
 public:
  ScriptedStatus(TzvTapiCallAccess* call, Provider& provider)
      : TzvTapiCallStatus(call), provider(provider) {}

 protected:
  int32_t Query(void* structure) override { return provider.Query(structure); }
  Provider& provider;
};

// The call as its information and parties see it, with every answer set by the test.
class FakeCall : public TzvTapiCallAccess {
 public:
  FakeCall() : info(std::make_unique<ScriptedInfo>(this, provider)) {}
  Cardinal Handle() const override { return 0x77; }
  Cardinal State() const override { return state; }
  TzvTapiCallInfo* Info() const override { return info.get(); }
  bool IsIncoming() const override { return incoming; }
  bool IsOutgoing() const override { return outgoing; }
  bool WasConnected() const override { return wasConnected; }
  bool WasIncoming() const override { return wasIncoming; }
  bool WasOutgoing() const override { return wasOutgoing; }
  void FetchFailed(Cardinal error) override { failures.push_back(error); }

  Provider provider{sizeof(LINECALLINFO)};
  std::vector<Cardinal> failures;  // as told by the information
  std::unique_ptr<ScriptedInfo> info;
  Cardinal state = 0;
  bool incoming = false, outgoing = false, wasConnected = false, wasIncoming = false,
       wasOutgoing = false;
};

std::string AssertionText(const std::function<void()>& action) {
  try {
    action();
  } catch (const EAssertionFailed& e) {
    return e.Message();
  }
  return "no assertion";
}

// The five parties with their number, name and flags in LINECALLINFO.
struct PartyFieldSet {
  Cardinal flags, address, name;
};
constexpr PartyFieldSet kParties[] = {
    {offsetof(LINECALLINFO, dwCallerIDFlags), offsetof(LINECALLINFO, dwCallerIDSize),
     offsetof(LINECALLINFO, dwCallerIDNameSize)},
    {offsetof(LINECALLINFO, dwCalledIDFlags), offsetof(LINECALLINFO, dwCalledIDSize),
     offsetof(LINECALLINFO, dwCalledIDNameSize)},
    {offsetof(LINECALLINFO, dwConnectedIDFlags), offsetof(LINECALLINFO, dwConnectedIDSize),
     offsetof(LINECALLINFO, dwConnectedIDNameSize)},
    {offsetof(LINECALLINFO, dwRedirectionIDFlags), offsetof(LINECALLINFO, dwRedirectionIDSize),
     offsetof(LINECALLINFO, dwRedirectionIDNameSize)},
    {offsetof(LINECALLINFO, dwRedirectingIDFlags), offsetof(LINECALLINFO, dwRedirectingIDSize),
     offsetof(LINECALLINFO, dwRedirectingIDNameSize)},
};

void SetParty(StructImage& image, int party, Cardinal flags, const std::u16string& address,
              const std::u16string& name) {
  image.Set(kParties[party].flags, flags);
  if (!address.empty()) image.Text(kParties[party].address, address);
  if (!name.empty()) image.Text(kParties[party].name, name);
}

TEST(CallInfoTest, IndexesFollowTheStructureWithoutHandleAndDialParams) {
  FakeCall call;
  for (Cardinal offset = 12; offset < sizeof(LINECALLINFO); offset += 4) {
    call.provider.image.Set(offset, 0x40000 + offset);
  }
  TzvTapiCallInfo& info = *call.info;
  const struct {
    Integer index;
    Cardinal field;
  } cases[] = {
      {0, offsetof(LINECALLINFO, dwLineDeviceID)},
      {6, offsetof(LINECALLINFO, dwCallID)},
      {11, offsetof(LINECALLINFO, dwMonitorMediaModes)},
      {12, offsetof(LINECALLINFO, dwOrigin)},
      {13, offsetof(LINECALLINFO, dwReason)},
      {19, offsetof(LINECALLINFO, dwCallerIDFlags)},
      {66, offsetof(LINECALLINFO, dwCallTreatment)},
      {72, offsetof(LINECALLINFO, dwReceivingFlowspecOffset)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(info.GetDWORD(c.index), 0x40000 + c.field) << "index " << c.index;
  }
  EXPECT_EQ(info.Origin(), info.GetDWORD(12));
  EXPECT_EQ(info.MediaMode(), info.GetDWORD(4));
  EXPECT_EQ(AssertionText([&] {
              info.GetDWORD(73);
            }).rfind("TzvTapiCallInfo.GetDWORD failed! Invalid index (zvTAPI, Zeile ", 0),
            0u);
  EXPECT_EQ(AssertionText([&] {
              info.GetString(21);
            }).rfind("TzvTapiCallInfo.GetString failed! Invalid index", 0),
            0u);
  EXPECT_EQ(call.provider.calls, 1);
}

TEST(CallInfoTest, TextsByIndex) {
  FakeCall call;
  StructImage& image = call.provider.image;
  image.Text(offsetof(LINECALLINFO, dwCallerIDSize), u"+49 30 1234")
      .Text(offsetof(LINECALLINFO, dwCalledIDNameSize), u"Support desk")
      .Text(offsetof(LINECALLINFO, dwDisplaySize), u"Line 2 \u00FC")
      .Text(offsetof(LINECALLINFO, dwDevSpecificSize), u"xyz");
  TzvTapiCallInfo& info = *call.info;
  EXPECT_EQ(info.CallerID(), "+49 30 1234");
  EXPECT_EQ(info.GetString(3), "Support desk");
  EXPECT_EQ(info.Display(), "Line 2 \u00FC");
  EXPECT_EQ(info.GetString(20), "xyz");
  EXPECT_EQ(info.Comment(), "");
}

TEST(CallInfoTest, CachedUntilInvalidatedAndUpdateKeepsACachedStructure) {
  FakeCall call;
  call.provider.image.Set(offsetof(LINECALLINFO, dwOrigin), LINECALLORIGIN_INBOUND);
  TzvTapiCallInfo& info = *call.info;
  EXPECT_EQ(info.Origin(), LINECALLORIGIN_INBOUND);
  EXPECT_EQ(info.Origin(), LINECALLORIGIN_INBOUND);
  EXPECT_EQ(call.provider.calls, 1);

  call.provider.image.Set(offsetof(LINECALLINFO, dwOrigin), LINECALLORIGIN_OUTBOUND);
  EXPECT_NO_THROW(info.Update());
  EXPECT_EQ(call.provider.calls, 1);
  EXPECT_EQ(info.Origin(), LINECALLORIGIN_INBOUND);

  info.Invalidate();
  EXPECT_EQ(info.Origin(), LINECALLORIGIN_OUTBOUND);
  EXPECT_EQ(call.provider.calls, 2);
}

TEST(CallInfoTest, UnreadableInformationReadsEmptyAndUpdateRaises) {
  FakeCall call;
  call.provider.error = LINEERR_INVALCALLHANDLE;
  TzvTapiCallInfo& info = *call.info;
  EXPECT_FALSE(info.Available());
  EXPECT_EQ(info.CallID(), 0u);
  EXPECT_EQ(info.CallerID(), "");
  EXPECT_EQ(info.GetDWORD(99), 0u);  // no structure, so no index check
  EXPECT_EQ(info.LINECALLINFO(), nullptr);
  EXPECT_EQ(info.CallData(), nullptr);
  try {
    info.Update();
    FAIL() << "Update did not raise";
  } catch (const EzvTapiError& e) {
    EXPECT_EQ(e.ErrorCode(), LINEERR_INVALCALLHANDLE);
  }
  EXPECT_EQ(info.CachedData(), nullptr);
  // A call TAPI no longer knows has simply gone: nothing to tell.
  EXPECT_TRUE(call.failures.empty());
}

TEST(CallInfoTest, AFailedFetchIsToldOnceUntilAFetchSucceedsAgain) {
  FakeCall call;
  TzvTapiCallInfo& info = *call.info;
  call.provider.error = LINEERR_RESOURCEUNAVAIL;
  EXPECT_EQ(info.CallID(), 0u);
  EXPECT_EQ(info.CallerID(), "");
  EXPECT_EQ(info.LINECALLINFO(), nullptr);
  EXPECT_EQ(call.failures, std::vector<Cardinal>{LINEERR_RESOURCEUNAVAIL});
  EXPECT_EQ(call.provider.calls, 3);  // every read tried again

  call.provider.error = 0;
  call.provider.image.Set(offsetof(LINECALLINFO, dwCallID), 5);
  EXPECT_EQ(info.CallID(), 5u);
  info.Invalidate();
  call.provider.error = LINEERR_NOMEM;
  EXPECT_EQ(info.CallID(), 0u);
  EXPECT_EQ(call.failures, (std::vector<Cardinal>{LINEERR_RESOURCEUNAVAIL, LINEERR_NOMEM}));
}

TEST(CallInfoTest, CallDataNeedsSizeAndOffsetInsideTheStructure) {
  constexpr Cardinal kSize = offsetof(LINECALLINFO, dwCallDataSize);
  constexpr Cardinal kOffset = offsetof(LINECALLINFO, dwCallDataOffset);
  FakeCall call;
  StructImage& image = call.provider.image;
  image.Raw(kSize, {1, 2, 3, 4, 5});
  TzvTapiCallInfo& info = *call.info;
  const auto* data = static_cast<const uint8_t*>(info.CallData());
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data[0], 1);
  EXPECT_EQ(data[4], 5);

  const Cardinal validOffset = image.Get(kOffset);
  const struct {
    Cardinal size, offset;
  } invalid[] = {{0, validOffset}, {5, 0}, {5, 0x7FFFFFF0}, {0xFFFFFFFF, validOffset}};
  for (const auto& c : invalid) {
    image.Set(kSize, c.size).Set(kOffset, c.offset);
    info.Invalidate();
    EXPECT_EQ(info.CallData(), nullptr) << c.size << "@" << c.offset;
  }
}

TEST(CallStatusTest, IndexesInvalidIndexAndCaching) {
  FakeCall call;
  Provider provider(sizeof(LINECALLSTATUS));
  provider.image.Set(offsetof(LINECALLSTATUS, dwCallState), LINECALLSTATE_OFFERING)
      .Set(offsetof(LINECALLSTATUS, dwCallPrivilege), 0x4)
      .Set(offsetof(LINECALLSTATUS, dwCallFeatures), 0x3)
      .Set(offsetof(LINECALLSTATUS, dwCallFeatures2), 0x80);
  ScriptedStatus status(&call, provider);
  EXPECT_EQ(status.CallState(), LINECALLSTATE_OFFERING);
  EXPECT_EQ(status.GetDWORD(2), 0x4u);
  EXPECT_EQ(status.GetDWORD(3), 0x3u);
  EXPECT_EQ(status.CallFeatures2(), 0x80u);
  EXPECT_EQ(AssertionText([&] {
              status.GetDWORD(7);
            }).rfind("TzvTapiCallStatus.GetDWORD failed! Invalid index", 0),
            0u);
  EXPECT_EQ(provider.calls, 1);
  status.Invalidate();
  EXPECT_EQ(status.CallState(), LINECALLSTATE_OFFERING);
  EXPECT_EQ(provider.calls, 2);

  provider.error = LINEERR_INVALCALLHANDLE;
  status.Invalidate();
  EXPECT_EQ(status.CallState(), 0u);
  EXPECT_EQ(status.LINECALLSTATUS(), nullptr);
  EXPECT_THROW(status.Update(), EzvTapiError);
}

TEST(CallPartyTest, EachSelectorReadsItsOwnParty) {
  FakeCall call;
  const char16_t* numbers[] = {u"100", u"200", u"300", u"400", u"500"};
  const char16_t* names[] = {u"Caller", u"Called", u"Connected", u"Redirection", u"Redirecting"};
  for (int party = 0; party < 5; ++party) {
    SetParty(call.provider.image, party, 0x8u << 8 | static_cast<Cardinal>(party), numbers[party],
             names[party]);
  }
  for (uint8_t id = 0; id < 5; ++id) {
    TzvTapiCallPartyID party(&call, id);
    EXPECT_EQ(party.Address(), std::string(1, static_cast<char>('1' + id)) + "00");
    EXPECT_EQ(party.Flags(), 0x800u | id);
  }
  EXPECT_EQ(TzvTapiCallPartyID(&call, 0).Name(), "Caller");
  EXPECT_EQ(TzvTapiCallPartyID(&call, 4).Name(), "Redirecting");
  EXPECT_EQ(call.provider.calls, 1);

  TzvTapiCallPartyID bad(&call, 5);
  EXPECT_EQ(AssertionText([&] { bad.Address(); }).rfind("TzvTapiCallPartyID: Invalid Id", 0), 0u);
  EXPECT_EQ(AssertionText([&] { bad.Flags(); }).rfind("TzvTapiCallPartyID: Invalid Id", 0), 0u);
}

TEST(CallPartyTest, FlagPropertiesAreSingleBits) {
  const struct {
    Cardinal flag;
    bool (TzvTapiCallBasicPartyID::*property)();
  } cases[] = {
      {LINECALLPARTYID_BLOCKED, &TzvTapiCallBasicPartyID::Blocked},
      {LINECALLPARTYID_OUTOFAREA, &TzvTapiCallBasicPartyID::OutOfArea},
      {LINECALLPARTYID_NAME, &TzvTapiCallBasicPartyID::NameAvail},
      {LINECALLPARTYID_ADDRESS, &TzvTapiCallBasicPartyID::AddressAvail},
      {LINECALLPARTYID_PARTIAL, &TzvTapiCallBasicPartyID::Partial},
      {LINECALLPARTYID_UNKNOWN, &TzvTapiCallBasicPartyID::Unknown},
      {LINECALLPARTYID_UNAVAIL, &TzvTapiCallBasicPartyID::Unavail},
  };
  for (const auto& set : cases) {
    FakeCall call;
    call.provider.image.Set(offsetof(LINECALLINFO, dwCalledIDFlags), set.flag);
    TzvTapiCallPartyID called(&call, 1);
    for (const auto& read : cases) {
      EXPECT_EQ((called.*read.property)(), read.flag == set.flag)
          << "flags " << set.flag << ", bit " << read.flag;
    }
  }
}

enum Chosen { None, Caller, Called, Connected };

TEST(CallPartyTest, RemotePartyFollowsTheCallState) {
  constexpr Cardinal kAddr = LINECALLPARTYID_ADDRESS;
  constexpr Cardinal kName = LINECALLPARTYID_NAME;
  const struct {
    const char* what;
    Cardinal state;
    Cardinal callerFlags, calledFlags, connectedFlags;
    bool incoming, outgoing, wasConnected, wasIncoming, wasOutgoing;
    Chosen expected;
  } cases[] = {
      {"offered without caller ID", LINECALLSTATE_OFFERING, 0, kAddr, kAddr, 0, 0, 0, 0, 0, Caller},
      {"accepted", LINECALLSTATE_ACCEPTED, 0, 0, 0, 1, 0, 0, 0, 0, Caller},
      {"dialing", LINECALLSTATE_DIALING, kAddr, 0, kAddr, 0, 1, 0, 0, 0, Called},
      {"ringback", LINECALLSTATE_RINGBACK, 0, 0, 0, 0, 0, 0, 0, 0, Called},
      {"busy", LINECALLSTATE_BUSY, 0, 0, 0, 0, 0, 0, 0, 0, Called},
      {"proceeding", LINECALLSTATE_PROCEEDING, 0, 0, 0, 0, 0, 0, 0, 0, Called},
      {"connected party known", LINECALLSTATE_CONNECTED, kAddr, kAddr, kName, 1, 0, 0, 0, 0,
       Connected},
      {"incoming, caller known", LINECALLSTATE_CONNECTED, kAddr, kAddr, 0, 1, 0, 0, 0, 0, Caller},
      {"incoming, caller unknown", LINECALLSTATE_CONNECTED, LINECALLPARTYID_UNKNOWN, kAddr, 0, 1, 0,
       0, 0, 0, None},
      {"outgoing, called known", LINECALLSTATE_ONHOLD, kAddr, kAddr, 0, 0, 1, 0, 0, 0, Called},
      {"caller blocked counts", LINECALLSTATE_DISCONNECTED, LINECALLPARTYID_BLOCKED, 0, 0, 1, 0, 0,
       0, 0, Caller},
      {"caller partial counts", LINECALLSTATE_CONFERENCED, LINECALLPARTYID_PARTIAL, 0, 0, 1, 0, 0,
       0, 0, Caller},
      {"only out of area", LINECALLSTATE_UNKNOWN, LINECALLPARTYID_OUTOFAREA, 0, 0, 1, 0, 0, 0, 0,
       None},
      {"idle after connection", LINECALLSTATE_IDLE, kAddr, kAddr, kName, 0, 0, 1, 1, 0, Connected},
      {"idle, never connected", LINECALLSTATE_IDLE, kAddr, kAddr, kName, 0, 0, 0, 1, 0, Caller},
      {"idle, was outgoing", LINECALLSTATE_IDLE, 0, kAddr, 0, 0, 0, 1, 0, 1, Called},
      {"idle, nothing known", LINECALLSTATE_IDLE, 0, 0, 0, 0, 0, 1, 1, 1, None},
      {"dial tone", LINECALLSTATE_DIALTONE, kAddr, kAddr, kAddr, 0, 1, 0, 0, 0, None},
      {"no state", 0, kAddr, kAddr, kAddr, 1, 0, 0, 0, 0, None},
  };
  for (const auto& c : cases) {
    FakeCall call;
    SetParty(call.provider.image, 0, c.callerFlags, u"111", u"Alice");
    SetParty(call.provider.image, 1, c.calledFlags, u"222", u"Bob");
    SetParty(call.provider.image, 2, c.connectedFlags, u"333", u"Carol");
    call.state = c.state;
    call.incoming = c.incoming;
    call.outgoing = c.outgoing;
    call.wasConnected = c.wasConnected;
    call.wasIncoming = c.wasIncoming;
    call.wasOutgoing = c.wasOutgoing;
    TzvTapiCallRemoteID remote(&call);
    const TzvTapiCallPartyID* chosen = remote.SelectParty();
    const Chosen got = chosen == nullptr ? None : static_cast<Chosen>(chosen->ID() + 1);
    EXPECT_EQ(got, c.expected) << c.what;
    const char* addresses[] = {"", "111", "222", "333"};
    const char* names[] = {"", "Alice", "Bob", "Carol"};
    const Cardinal flags[] = {0, c.callerFlags, c.calledFlags, c.connectedFlags};
    EXPECT_EQ(remote.Address(), addresses[c.expected]) << c.what;
    EXPECT_EQ(remote.Name(), names[c.expected]) << c.what;
    EXPECT_EQ(remote.Flags(), flags[c.expected]) << c.what;
  }
}

TEST(CallPartyTest, RemotePartyOfAnOfferedCallWithoutCallerInformation) {
  FakeCall call;
  call.state = LINECALLSTATE_OFFERING;
  TzvTapiCallRemoteID remote(&call);
  ASSERT_NE(remote.SelectParty(), nullptr);
  EXPECT_EQ(remote.SelectParty()->ID(), 0);
  EXPECT_EQ(remote.Address(), "");
  EXPECT_EQ(remote.Flags(), 0u);
}

TEST(CallPartyTest, PartiesReadTheCurrentInformation) {
  FakeCall call;
  SetParty(call.provider.image, 0, LINECALLPARTYID_ADDRESS, u"111", u"");
  TzvTapiCallPartyID caller(&call, 0);
  EXPECT_EQ(caller.Address(), "111");
  SetParty(call.provider.image, 0, LINECALLPARTYID_ADDRESS | LINECALLPARTYID_NAME, u"999", u"Dave");
  EXPECT_EQ(caller.Address(), "111");  // the information is cached until the call drops it
  call.info->Invalidate();
  EXPECT_EQ(caller.Address(), "999");
  EXPECT_EQ(caller.Name(), "Dave");
  EXPECT_TRUE(caller.NameAvail());
}

}  // namespace
}  // namespace zvtapi
