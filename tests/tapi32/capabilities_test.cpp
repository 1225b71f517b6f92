// The demo office's capabilities tell the truth: on every line and address of DemoConfig(),
// every feature the capabilities advertise works through the C API and what they do not
// advertise is refused, and every advertised limit holds one step beyond it.
#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tapi32_fixture.h"

namespace tapi32_test {
namespace {

DWORD LowestBit(DWORD flags) {
  return flags & (~flags + 1);
}

class DemoCapsTest : public TapiTest {
 protected:
  // A fresh demo switch with one line opened as its owner; far ends answer at once, "301" is
  // busy.
  void Fresh(uint32_t lineId) {
    for (HLINEAPP app : Switch().LineApps())
      lineShutdown(app);
    Switch().Reset(tapi32::sim::DemoConfig());
    Switch().SetDefaultFarEnd(tapi32::sim::FarEnd{});
    Switch().SetFarEnd("301", tapi32::sim::FarEnd{tapi32::sim::FarEnd::Kind::Busy, 0, {}});
    app_ = InitLine().app;
    lineId_ = lineId;
    DWORD version = 0;
    LINEEXTENSIONID extension{};
    lineNegotiateAPIVersion(app_, lineId, 0x00010004, 0x00020002, &version, &extension);
    std::vector<uint8_t> buffer(4096);
    reinterpret_cast<LINEDEVCAPS*>(buffer.data())->dwTotalSize = 4096;
    ASSERT_EQ(lineGetDevCapsW(app_, lineId, version, 0, reinterpret_cast<LINEDEVCAPS*>(&buffer[0])),
              0);
    dev_ = *reinterpret_cast<LINEDEVCAPS*>(buffer.data());
    auto* address = reinterpret_cast<LINEADDRESSCAPS*>(buffer.data());
    address->dwTotalSize = 4096;
    ASSERT_EQ(lineGetAddressCapsW(app_, lineId, 0, version, 0, address), 0);
    address_ = *address;
    line_ = OpenLine(app_, lineId, LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER,
                     dev_.dwMediaModes);
    ASSERT_NE(line_, 0u);
  }

  // The result of a synchronous function, or the reply to an asynchronous one.
  LONG Outcome(LONG result) {
    for (const LINEMESSAGE& message : result > 0 ? DrainLine(app_) : std::vector<LINEMESSAGE>{}) {
      if (message.dwMessageID == LINE_REPLY && message.dwParam1 == static_cast<DWORD>(result)) {
        return static_cast<LONG>(message.dwParam2);
      }
    }
    return result;
  }
  // The operation succeeds exactly when the capabilities say it may.
  void Expect(bool advertised, LONG result, const char* what) {
    EXPECT_EQ(Outcome(result) == 0, advertised) << what;
  }

  HCALL Offer() {
    tapi32::sim::IncomingCall in;
    in.mediaMode = LowestBit(dev_.dwMediaModes);
    return Switch().CallHandle(app_, Switch().OfferCall(lineId_, 0, in));
  }
  HCALL Make(const char16_t* destination) {
    HCALL call = 0;
    return Outcome(lineMakeCallW(line_, &call, destination, 0, nullptr)) == 0 ? call : 0;
  }
  HCALL Talk() { return Make(u"300"); }
  HCALL Held() {
    const HCALL call = Talk();
    Outcome(lineHold(call));
    return call;
  }

  // The calls a feature is tried on: what they are, and which of them should offer it.
  enum class Setup { Offered, DialTone, Busy, Connected, Held, Transfer, Conference, Joined };
  std::pair<HCALL, HCALL> Prepare(Setup setup) {
    switch (setup) {
      case Setup::Offered:
        return {Offer(), 0};
      case Setup::DialTone:
        return {Make(nullptr), 0};
      case Setup::Busy:
        return {Make(u"301"), 0};
      case Setup::Connected:
        return {Talk(), 0};
      case Setup::Held:
        return {Held(), 0};
      default:
        break;
    }
    // A connected consultation call of a transfer or of a conference; a conference that it
    // joined, with the party that was there first (any party may leave).
    HCALL first = 0;
    HCALL consult = 0;
    HCALL party = 0;
    if (setup == Setup::Transfer) {
      first = Talk();
      Outcome(lineSetupTransferW(first, &consult, nullptr));
    } else {
      party = Talk();
      Outcome(lineSetupConferenceW(party, 0, &first, &consult, 0, nullptr));
    }
    Outcome(lineDialW(consult, u"300", 0));
    if (setup != Setup::Joined) return {first, consult};
    Outcome(lineAddToConference(first, consult));
    return {first, party};
  }

  static LINECALLSTATUS Status(HCALL call) {
    LINECALLSTATUS status{};
    status.dwTotalSize = sizeof(status);
    lineGetCallStatus(call, &status);
    return status;
  }
  DWORD AddressFeatures() {
    LINEADDRESSSTATUS status{};
    status.dwTotalSize = sizeof(status);
    lineGetAddressStatusW(line_, 0, &status);
    return status.dwAddressFeatures;
  }
  DWORD LineFeatures() {
    LINEDEVSTATUS status{};
    status.dwTotalSize = sizeof(status);
    lineGetLineDevStatusW(line_, &status);
    return status.dwLineFeatures;
  }

  void CallFeatures();
  void AddrCapFlags();
  void AddressAndLineFeatures();
  void Limits();
  void Modes();

  HLINEAPP app_ = 0;
  HLINE line_ = 0;
  uint32_t lineId_ = 0;
  LINEDEVCAPS dev_{};
  LINEADDRESSCAPS address_{};
};

// Each call feature is offered by the call it concerns exactly when the address advertises it,
// and its operation then succeeds; otherwise the operation is refused.
void DemoCapsTest::CallFeatures() {
  using Operation = std::function<LONG(HCALL first, HCALL second)>;
  struct Case {
    DWORD feature;
    Setup setup;
    bool onSecond;  // the consultation call offers it, not the first call
    Operation operation;
  };
  HCALL made = 0;
  HCALL other = 0;
  DWORD id = 0;
  const LINEMONITORTONE silence{1, 500, 0, 0, 0};
  const DWORD digitMode = LowestBit(dev_.dwGenerateDigitModes | LINEDIGITMODE_DTMF);
  const DWORD mediaMode = LowestBit(dev_.dwMediaModes);
  const std::vector<Case> cases = {
      {LINECALLFEATURE_ACCEPT, Setup::Offered, false,
       [](HCALL a, HCALL) { return lineAccept(a, nullptr, 0); }},
      {LINECALLFEATURE_ANSWER, Setup::Offered, false,
       [](HCALL a, HCALL) { return lineAnswer(a, nullptr, 0); }},
      {LINECALLFEATURE_DROP, Setup::Offered, false,
       [](HCALL a, HCALL) { return lineDrop(a, nullptr, 0); }},
      {LINECALLFEATURE_REDIRECT, Setup::Offered, false,
       [](HCALL a, HCALL) { return lineRedirectW(a, u"3", 0); }},
      {LINECALLFEATURE_SETCALLDATA, Setup::Offered, false,
       [](HCALL a, HCALL) { return lineSetCallData(a, nullptr, 0); }},
      {LINECALLFEATURE_DIAL, Setup::DialTone, false,
       [](HCALL a, HCALL) { return lineDialW(a, u"300", 0); }},
      {LINECALLFEATURE_COMPLETECALL, Setup::Busy, false,
       [&](HCALL a, HCALL) { return lineCompleteCall(a, &id, LINECALLCOMPLMODE_CAMPON, 0); }},
      {LINECALLFEATURE_HOLD, Setup::Connected, false, [](HCALL a, HCALL) { return lineHold(a); }},
      {LINECALLFEATURE_UNHOLD, Setup::Held, false, [](HCALL a, HCALL) { return lineUnhold(a); }},
      {LINECALLFEATURE_BLINDTRANSFER, Setup::Connected, false,
       [](HCALL a, HCALL) { return lineBlindTransferW(a, u"3", 0); }},
      {LINECALLFEATURE_PARK, Setup::Connected, false,
       [](HCALL a, HCALL) { return lineParkW(a, LINEPARKMODE_DIRECTED, u"750", nullptr); }},
      {LINECALLFEATURE_SETUPTRANSFER, Setup::Connected, false,
       [&](HCALL a, HCALL) { return lineSetupTransferW(a, &made, nullptr); }},
      {LINECALLFEATURE_SETUPCONF, Setup::Connected, false,
       [&](HCALL a, HCALL) { return lineSetupConferenceW(a, 0, &made, &other, 3, nullptr); }},
      {LINECALLFEATURE_GENERATEDIGITS, Setup::Connected, false,
       [&](HCALL a, HCALL) { return lineGenerateDigitsW(a, digitMode, u"1", 0); }},
      {LINECALLFEATURE_GENERATETONE, Setup::Connected, false,
       [](HCALL a, HCALL) { return lineGenerateTone(a, LINETONEMODE_BEEP, 100, 0, nullptr); }},
      {LINECALLFEATURE_MONITORMEDIA, Setup::Connected, false,
       [&](HCALL a, HCALL) { return lineMonitorMedia(a, mediaMode); }},
      {LINECALLFEATURE_MONITORTONES, Setup::Connected, false,
       [&](HCALL a, HCALL) { return lineMonitorTones(a, &silence, 1); }},
      {LINECALLFEATURE_COMPLETETRANSF, Setup::Transfer, true,
       [](HCALL a, HCALL b) {
         return lineCompleteTransfer(a, b, nullptr, LINETRANSFERMODE_TRANSFER);
       }},
      {LINECALLFEATURE_SWAPHOLD, Setup::Transfer, true,
       [](HCALL a, HCALL b) { return lineSwapHold(b, a); }},
      {LINECALLFEATURE_ADDTOCONF, Setup::Conference, true,
       [](HCALL a, HCALL b) { return lineAddToConference(a, b); }},
      {LINECALLFEATURE_PREPAREADDCONF, Setup::Joined, false,
       [&](HCALL a, HCALL) { return linePrepareAddToConferenceW(a, &made, nullptr); }},
      {LINECALLFEATURE_REMOVEFROMCONF, Setup::Joined, true,
       [](HCALL, HCALL b) { return lineRemoveFromConference(b); }},
  };
  for (const Case& each : cases) {
    Fresh(lineId_);
    const auto [first, second] = Prepare(each.setup);
    const bool advertised = address_.dwCallFeatures & each.feature;
    EXPECT_EQ((Status(each.onSecond ? second : first).dwCallFeatures & each.feature) != 0,
              advertised)
        << "feature 0x" << std::hex << each.feature;
    Expect(advertised, each.operation(first, second), "a call feature's operation");
  }
  EXPECT_EQ(address_.dwRemoveFromConfCaps,
            (address_.dwCallFeatures & LINECALLFEATURE_REMOVEFROMCONF) ? LINEREMOVEFROMCONF_ANY
                                                                       : LINEREMOVEFROMCONF_NONE);
  // Services that do not exist are never claimed.
  EXPECT_EQ(address_.dwCallFeatures & (LINECALLFEATURE_MONITORDIGITS |
                                       LINECALLFEATURE_GATHERDIGITS | LINECALLFEATURE_SENDUSERUSER),
            0u);
  EXPECT_EQ(
      dev_.dwMonitorDigitModes | dev_.dwGatherDigitsMaxTimeout | dev_.dwUUISendUserUserInfoSize,
      0u);
}

void DemoCapsTest::AddrCapFlags() {
  const DWORD flags = address_.dwAddrCapFlags;
  // A call put on hold is transferred to an entirely new call.
  Fresh(lineId_);
  const HCALL held = Held();
  Expect(flags & LINEADDRCAPFLAGS_TRANSFERHELD && flags & LINEADDRCAPFLAGS_TRANSFERMAKE,
         lineCompleteTransfer(held, Talk(), nullptr, LINETRANSFERMODE_TRANSFER), "TRANSFERHELD");
  // A held call joins a conference; a held conference takes an entirely new call.
  Fresh(lineId_);
  const HCALL waiting = Held();
  const auto [conf, consult] = Prepare(Setup::Conference);
  Outcome(lineDrop(consult, nullptr, 0));  // the conference goes on with its first party
  Expect(flags & LINEADDRCAPFLAGS_CONFERENCEHELD, lineAddToConference(conf, waiting),
         "CONFERENCEHELD");
  Outcome(lineHold(conf));
  Expect(flags & LINEADDRCAPFLAGS_CONFERENCEMAKE, lineAddToConference(conf, Talk()),
         "CONFERENCEMAKE");
  Outcome(lineDrop(conf, nullptr, 0));
  EXPECT_EQ(Status(waiting).dwCallState == LINECALLSTATE_IDLE,
            (flags & LINEADDRCAPFLAGS_CONFDROP) != 0);
  // A conference from nothing; dialling in pieces.
  Fresh(lineId_);
  HCALL none = 0;
  Expect(flags & LINEADDRCAPFLAGS_SETUPCONFNULL,
         lineSetupConferenceW(0, line_, &none, &none, 0, nullptr), "SETUPCONFNULL");
  Fresh(lineId_);
  Expect(flags & LINEADDRCAPFLAGS_PARTIALDIAL, lineDialW(Make(nullptr), u"30;", 0), "PARTIALDIAL");
}

void DemoCapsTest::AddressAndLineFeatures() {
  auto expect = [this](DWORD feature, const std::function<LONG()>& operation) {
    const bool advertised = address_.dwAddressFeatures & feature;
    EXPECT_EQ((AddressFeatures() & feature) != 0, advertised) << "address feature " << feature;
    Expect(advertised, operation(), "an address feature's operation");
  };
  // A call ringing at another station of the switch is picked up by name and by group.
  const uint32_t other = lineId_ == 0 ? 1 : 0;
  const std::u16string otherName = other == 0 ? u"Reception" : u"Sales";
  HCALL call = 0;
  for (const char16_t* group : {static_cast<const char16_t*>(nullptr), u"all"}) {
    Fresh(lineId_);
    Switch().OfferCall(other, 0, {});
    expect(group ? LINEADDRFEATURE_PICKUPGROUP : LINEADDRFEATURE_PICKUPDIRECT, [&] {
      return linePickupW(line_, 0, &call, group ? nullptr : otherName.c_str(), group);
    });
  }
  Fresh(lineId_);
  Outcome(lineParkW(Talk(), LINEPARKMODE_DIRECTED, u"750", nullptr));
  expect(LINEADDRFEATURE_UNPARK, [&] { return lineUnparkW(line_, 0, &call, u"750"); });
  Fresh(lineId_);
  expect(LINEADDRFEATURE_SETUPCONF,
         [&] { return lineSetupConferenceW(0, line_, &call, &call, 0, nullptr); });
  Fresh(lineId_);
  DWORD completion = 0;
  Outcome(lineCompleteCall(Make(u"301"), &completion, LINECALLCOMPLMODE_CAMPON, 0));
  expect(LINEADDRFEATURE_UNCOMPLETECALL, [&] { return lineUncompleteCall(line_, completion); });
  uint8_t block[4] = {};
  Expect(dev_.dwLineFeatures & LINEFEATURE_DEVSPECIFIC, lineDevSpecific(line_, 0, 0, block, 4),
         "DEVSPECIFIC");
  Expect(dev_.dwLineFeatures & LINEFEATURE_DEVSPECIFICFEAT,
         lineDevSpecificFeature(line_, 1, block, 4), "DEVSPECIFICFEAT");
}

void DemoCapsTest::Limits() {
  // Active calls (also what makes MAKECALL available), held calls, calls held for a transfer.
  Fresh(lineId_);
  for (DWORD n = 0; n <= dev_.dwMaxNumActiveCalls; ++n) {
    const bool room = n < dev_.dwMaxNumActiveCalls;
    EXPECT_EQ((LineFeatures() & LINEFEATURE_MAKECALL) != 0, room);
    EXPECT_EQ((AddressFeatures() & LINEADDRFEATURE_MAKECALL) != 0, room);
    EXPECT_EQ(Make(nullptr) != 0, room);
  }
  Fresh(lineId_);
  for (DWORD n = 0; n <= address_.dwMaxNumOnHoldCalls; ++n)
    Expect(n < address_.dwMaxNumOnHoldCalls, lineHold(Talk()), "one more held call");
  Fresh(lineId_);
  HCALL connected = Talk();
  for (DWORD n = 0; n <= address_.dwMaxNumOnHoldPendingCalls; ++n) {
    HCALL consult = 0;
    Expect(n < address_.dwMaxNumOnHoldPendingCalls,
           lineSetupTransferW(connected, &consult, nullptr), "one more pending call");
    Outcome(lineDialW(consult, u"300", 0));
    connected = consult;
  }
  // Conferences take as many parties as advertised: set up from a call, or from a transfer
  // (this station counts among those).
  auto grow = [this](HCALL conf, DWORD parties, DWORD limit) {
    HCALL consult = 0;
    for (; parties < limit; ++parties) {
      Outcome(linePrepareAddToConferenceW(conf, &consult, nullptr));
      Outcome(lineDialW(consult, u"300", 0));
      EXPECT_EQ(Outcome(lineAddToConference(conf, consult)), 0) << "party " << parties + 1;
    }
    EXPECT_EQ(linePrepareAddToConferenceW(conf, &consult, nullptr), Code(LINEERR_CONFERENCEFULL));
  };
  Fresh(lineId_);
  const HCALL first = Talk();
  HCALL conf = 0;
  HCALL consult = 0;
  EXPECT_LT(
      lineSetupConferenceW(first, 0, &conf, &consult, address_.dwMaxNumConference + 1, nullptr), 0);
  if (address_.dwCallFeatures & LINECALLFEATURE_SETUPCONF) {
    Outcome(lineSetupConferenceW(first, 0, &conf, &consult, 0, nullptr));
    Outcome(lineDialW(consult, u"300", 0));
    EXPECT_EQ(Outcome(lineAddToConference(conf, consult)), 0);
    grow(conf, 2, address_.dwMaxNumConference);
  }
  Fresh(lineId_);
  const auto [primary, second] = Prepare(Setup::Transfer);
  const bool transConf = address_.dwTransferModes & LINETRANSFERMODE_CONFERENCE;
  Expect(transConf, lineCompleteTransfer(primary, second, &conf, LINETRANSFERMODE_CONFERENCE),
         "LINETRANSFERMODE_CONFERENCE");
  if (transConf) grow(conf, 2, address_.dwMaxNumTransConf - 1);

  // User-user information up to the advertised size is taken, one byte more is refused.
  std::array<char, 300> info{};
  auto uui = [this](DWORD size, const std::function<LONG(DWORD)>& operation) {
    EXPECT_EQ(operation(size + 1), Code(LINEERR_USERUSERINFOTOOBIG)) << size;
    EXPECT_EQ(Outcome(operation(size)), 0) << size;
  };
  Fresh(lineId_);
  const HCALL offered = Offer();
  uui(dev_.dwUUIAcceptSize, [&](DWORD size) { return lineAccept(offered, info.data(), size); });
  uui(dev_.dwUUIAnswerSize, [&](DWORD size) { return lineAnswer(offered, info.data(), size); });
  uui(dev_.dwUUIDropSize, [&](DWORD size) { return lineDrop(offered, info.data(), size); });
  EXPECT_EQ(lineDrop(offered, nullptr, 1), Code(LINEERR_INVALPOINTER));
  std::vector<uint8_t> buffer(sizeof(LINECALLPARAMS) + info.size());
  auto* params = reinterpret_cast<LINECALLPARAMS*>(buffer.data());
  params->dwTotalSize = static_cast<DWORD>(buffer.size());
  params->dwBearerMode = LowestBit(dev_.dwBearerModes);
  params->dwMediaMode = LowestBit(dev_.dwMediaModes);
  params->dwAddressMode = LINEADDRESSMODE_ADDRESSID;
  params->dwUserUserInfoOffset = sizeof(LINECALLPARAMS);
  uui(dev_.dwUUIMakeCallSize, [&](DWORD size) {
    params->dwUserUserInfoSize = size;
    return lineMakeCallW(line_, &conf, nullptr, 0, params);
  });
  // A call's information shows no more than dwUUICallInfoSize of what the network sent.
  const HCALL received = Offer();
  tapi32::sim::CallInfoChange change;
  change.userUserInfo = std::vector<uint8_t>(dev_.dwUUICallInfoSize + 1, 0x55);
  Switch().SetCallInfo(Switch().CallIdOf(received), change);
  auto* callInfo = reinterpret_cast<LINECALLINFO*>(buffer.data());
  callInfo->dwTotalSize = static_cast<DWORD>(buffer.size());
  ASSERT_EQ(lineGetCallInfoW(received, callInfo), 0);
  EXPECT_EQ(callInfo->dwUserUserInfoSize, dev_.dwUUICallInfoSize);
}

void DemoCapsTest::Modes() {
  Fresh(lineId_);
  const HCALL call = Talk();
  for (DWORD mode : {LINEDIGITMODE_PULSE, LINEDIGITMODE_DTMF}) {
    EXPECT_EQ(lineGenerateDigitsW(call, mode, u"1", 0),
              (dev_.dwGenerateDigitModes & mode) ? 0 : Code(LINEERR_INVALDIGITMODE));
  }
  const auto most = std::max<DWORD>(dev_.dwGenerateToneMaxNumFreq, 1);
  const std::vector<LINEGENERATETONE> tones(most + 1, LINEGENERATETONE{440, 100, 0, 0});
  for (DWORD mode = LINETONEMODE_CUSTOM; mode <= LINETONEMODE_BILLING; mode <<= 1) {
    EXPECT_EQ(lineGenerateTone(call, mode, 100, most, tones.data()),
              (dev_.dwGenerateToneModes & mode) ? 0 : Code(LINEERR_INVALTONEMODE));
  }
  if (dev_.dwGenerateToneModes & LINETONEMODE_CUSTOM) {
    EXPECT_EQ(lineGenerateTone(call, LINETONEMODE_CUSTOM, 100, most + 1, tones.data()),
              Code(LINEERR_INVALTONE));
  }
  // Tones of as many frequencies as advertised (three at most fit), as many as advertised.
  const DWORD frequencies = dev_.dwMonitorToneMaxNumFreq;
  const LINEMONITORTONE tone{7, 100, frequencies >= 1 ? 350u : 0u, frequencies >= 2 ? 440u : 0u,
                             frequencies >= 3 ? 480u : 0u};
  const DWORD entries = dev_.dwMonitorToneMaxNumEntries;
  const std::vector<LINEMONITORTONE> listen(entries + 1, tone);
  EXPECT_EQ(lineMonitorTones(call, listen.data(), std::max<DWORD>(entries, 1)),
            entries != 0 ? 0 : Code(LINEERR_INVALTONELIST));
  EXPECT_EQ(lineMonitorTones(call, listen.data(), entries + 1), Code(LINEERR_INVALTONELIST));
  for (DWORD mode = LINEMEDIAMODE_INTERACTIVEVOICE; mode <= LINEMEDIAMODE_VIDEO; mode <<= 1) {
    EXPECT_EQ(lineMonitorMedia(call, mode),
              (dev_.dwMediaModes & mode) ? 0 : Code(LINEERR_INVALMEDIAMODE));
  }
  // Call completions: the advertised modes, as many as advertised.
  Outcome(lineDrop(call, nullptr, 0));
  auto complete = [this](DWORD mode) {
    const HCALL busy = Make(u"301");
    DWORD id = 0;
    const LONG result = Outcome(lineCompleteCall(busy, &id, mode, 0));
    Outcome(lineDrop(busy, nullptr, 0));
    return result;
  };
  DWORD made = 0;
  for (DWORD mode = LINECALLCOMPLMODE_CAMPON; mode <= LINECALLCOMPLMODE_MESSAGE; mode <<= 1) {
    const bool advertised = address_.dwCallCompletionModes & mode;
    Expect(advertised, complete(mode), "a completion mode");
    made += advertised ? 1 : 0;
  }
  for (; made <= address_.dwMaxCallCompletions; ++made) {
    EXPECT_EQ(complete(LINECALLCOMPLMODE_CAMPON),
              made < address_.dwMaxCallCompletions ? 0 : Code(LINEERR_COMPLETIONOVERRUN));
  }
  // Park modes; what answering does while the line's one active call talks.
  std::vector<uint8_t> where(64);
  reinterpret_cast<VARSTRING*>(where.data())->dwTotalSize = static_cast<DWORD>(where.size());
  Expect(address_.dwParkModes & LINEPARKMODE_DIRECTED,
         lineParkW(Talk(), LINEPARKMODE_DIRECTED, u"751", nullptr), "LINEPARKMODE_DIRECTED");
  Expect(address_.dwParkModes & LINEPARKMODE_NONDIRECTED,
         lineParkW(Talk(), LINEPARKMODE_NONDIRECTED, nullptr,
                   reinterpret_cast<VARSTRING*>(where.data())),
         "LINEPARKMODE_NONDIRECTED");
  ASSERT_EQ(dev_.dwMaxNumActiveCalls, 1u);
  const HCALL active = Talk();
  const LONG answered = Outcome(lineAnswer(Offer(), nullptr, 0));
  const DWORD mode = dev_.dwAnswerMode;
  EXPECT_EQ(answered, mode == LINEANSWERMODE_NONE ? Code(LINEERR_RESOURCEUNAVAIL) : 0);
  EXPECT_EQ(Status(active).dwCallState, mode == LINEANSWERMODE_HOLD   ? LINECALLSTATE_ONHOLD
                                        : mode == LINEANSWERMODE_DROP ? LINECALLSTATE_IDLE
                                                                      : LINECALLSTATE_CONNECTED);
}

TEST_F(DemoCapsTest, EveryAdvertisedFeatureWorksAndEveryLimitHoldsOneStepBeyond) {
  const tapi32::sim::Config demo = tapi32::sim::DemoConfig();
  for (uint32_t lineId = 0; lineId < demo.lines.size(); ++lineId) {
    SCOPED_TRACE(demo.lines[lineId].name);
    ASSERT_EQ(demo.lines[lineId].numAddresses, 1u) << "the walk knows address 0 only";
    Fresh(lineId);
    CallFeatures();
    AddrCapFlags();
    AddressAndLineFeatures();
    Limits();
    Modes();
  }
}

}  // namespace
}  // namespace tapi32_test

namespace tapi32_test {
namespace {

// The demo desk phone: every feature and state its capabilities advertise works, everything
// else is refused, and every range ends where the capabilities say.
class DemoPhoneCapsTest : public TapiTest {
 protected:
  // The result of a synchronous function, or the reply to an asynchronous one.
  LONG Outcome(LONG result) {
    if (result <= 0) return result;
    for (const PHONEMESSAGE& message : DrainPhone(app_)) {
      if (message.dwMessageID == PHONE_REPLY && message.dwParam1 == static_cast<DWORD>(result)) {
        return static_cast<LONG>(message.dwParam2);
      }
    }
    return 1;
  }
  void Expect(bool advertised, LONG result, const std::string& what) {
    EXPECT_EQ(Outcome(result) == 0, advertised) << what;
  }
  DWORD Entry(DWORD offset, DWORD index) const {
    DWORD value = 0;
    std::memcpy(&value, buffer_.data() + offset + 4 * index, 4);
    return value;
  }

  HPHONEAPP app_ = 0;
  std::vector<uint8_t> buffer_ = std::vector<uint8_t>(4096);
};

TEST_F(DemoPhoneCapsTest, EveryAdvertisedPhoneFeatureWorksAndNothingElseDoes) {
  Switch().Reset(tapi32::sim::DemoConfig());
  app_ = InitPhone().app;
  DWORD version = 0;
  PHONEEXTENSIONID extension{};
  ASSERT_EQ(phoneNegotiateAPIVersion(app_, 0, 0x00010004, 0x00020002, &version, &extension), 0);
  auto* caps = reinterpret_cast<PHONECAPS*>(buffer_.data());
  caps->dwTotalSize = static_cast<DWORD>(buffer_.size());
  ASSERT_EQ(phoneGetDevCapsW(app_, 0, version, 0, caps), 0);
  const PHONECAPS c = *caps;
  HPHONE phone = 0;
  ASSERT_EQ(phoneOpen(app_, 0, &phone, version, 0, 1, PHONEPRIVILEGE_OWNER), 0);
  const DWORD features = c.dwPhoneFeatures;

  // Every state the phone may send can be asked for, and no other.
  for (DWORD state = 1; state <= PHONESTATE_REMOVED; state <<= 1) {
    Expect((c.dwPhoneStates & state) != 0, phoneSetStatusMessages(phone, state, 0, 0),
           "phone state " + std::to_string(state));
  }

  struct Device {
    DWORD device, modes, settable, getHook, setHook, getVolume, setVolume, getGain, setGain;
  };
  const Device devices[] = {
      {PHONEHOOKSWITCHDEV_HANDSET, c.dwHandsetHookSwitchModes, c.dwSettableHandsetHookSwitchModes,
       PHONEFEATURE_GETHOOKSWITCHHANDSET, PHONEFEATURE_SETHOOKSWITCHHANDSET,
       PHONEFEATURE_GETVOLUMEHANDSET, PHONEFEATURE_SETVOLUMEHANDSET, PHONEFEATURE_GETGAINHANDSET,
       PHONEFEATURE_SETGAINHANDSET},
      {PHONEHOOKSWITCHDEV_SPEAKER, c.dwSpeakerHookSwitchModes, c.dwSettableSpeakerHookSwitchModes,
       PHONEFEATURE_GETHOOKSWITCHSPEAKER, PHONEFEATURE_SETHOOKSWITCHSPEAKER,
       PHONEFEATURE_GETVOLUMESPEAKER, PHONEFEATURE_SETVOLUMESPEAKER, PHONEFEATURE_GETGAINSPEAKER,
       PHONEFEATURE_SETGAINSPEAKER},
      {PHONEHOOKSWITCHDEV_HEADSET, c.dwHeadsetHookSwitchModes, c.dwSettableHeadsetHookSwitchModes,
       PHONEFEATURE_GETHOOKSWITCHHEADSET, PHONEFEATURE_SETHOOKSWITCHHEADSET,
       PHONEFEATURE_GETVOLUMEHEADSET, PHONEFEATURE_SETVOLUMEHEADSET, PHONEFEATURE_GETGAINHEADSET,
       PHONEFEATURE_SETGAINHEADSET},
  };
  for (const Device& d : devices) {
    const bool present = (c.dwHookSwitchDevs & d.device) != 0;
    const std::string name = "hook-switch device " + std::to_string(d.device);
    EXPECT_EQ((features & d.getHook) != 0, present) << name;
    EXPECT_EQ((features & d.setHook) != 0, d.settable != 0) << name;
    EXPECT_EQ(d.modes & ~0xFu, 0u) << name;
    for (DWORD mode = PHONEHOOKSWITCHMODE_ONHOOK; mode <= PHONEHOOKSWITCHMODE_UNKNOWN; mode <<= 1) {
      Expect(present && (d.settable & mode) != 0, phoneSetHookSwitch(phone, d.device, mode),
             name + " mode " + std::to_string(mode));
    }
    // Leave it on hook, so that the next device starts from a quiet phone.
    if (present) Outcome(phoneSetHookSwitch(phone, d.device, PHONEHOOKSWITCHMODE_ONHOOK));
    const bool volume = (c.dwVolumeFlags & d.device) != 0;
    const bool gain = (c.dwGainFlags & d.device) != 0;
    EXPECT_EQ((features & d.setVolume) != 0, volume) << name;
    EXPECT_EQ((features & d.getVolume) != 0, volume) << name;
    EXPECT_EQ((features & d.setGain) != 0, gain) << name;
    EXPECT_EQ((features & d.getGain) != 0, gain) << name;
    Expect(volume, phoneSetVolume(phone, d.device, 0xFFFF), name + " volume");
    Expect(gain, phoneSetGain(phone, d.device, 0xFFFF), name + " gain");
    Expect(false, phoneSetVolume(phone, d.device, 0x10000), name + " volume beyond");
    DWORD level = 0;
    Expect(volume, phoneGetVolume(phone, d.device, &level), name + " get volume");
    Expect(gain, phoneGetGain(phone, d.device, &level), name + " get gain");
  }

  const bool display = c.dwDisplayNumRows != 0 && c.dwDisplayNumColumns != 0;
  EXPECT_EQ((features & PHONEFEATURE_SETDISPLAY) != 0, display);
  EXPECT_EQ((features & PHONEFEATURE_GETDISPLAY) != 0, display);
  Expect(display, phoneSetDisplay(phone, c.dwDisplayNumRows - 1, c.dwDisplayNumColumns - 1, "x", 1),
         "the last display cell");
  Expect(false, phoneSetDisplay(phone, c.dwDisplayNumRows, 0, "x", 1), "a row beyond");
  Expect(false, phoneSetDisplay(phone, 0, c.dwDisplayNumColumns, "x", 1), "a column beyond");

  EXPECT_EQ((features & PHONEFEATURE_SETRING) != 0, c.dwNumRingModes != 0);
  for (DWORD mode = 0; mode <= c.dwNumRingModes + 1; ++mode) {
    Expect(c.dwNumRingModes != 0 && mode <= c.dwNumRingModes, phoneSetRing(phone, mode, 0xFFFF),
           "ring mode " + std::to_string(mode));
  }

  ASSERT_EQ(c.dwButtonModesSize, 4 * c.dwNumButtonLamps);
  ASSERT_EQ(c.dwLampModesSize, 4 * c.dwNumButtonLamps);
  bool anyLamp = false;
  for (DWORD id = 0; id <= c.dwNumButtonLamps; ++id) {
    const bool exists = id < c.dwNumButtonLamps;
    const DWORD lampModes = exists ? Entry(c.dwLampModesOffset, id) : 0;
    std::vector<uint8_t> info(256);
    reinterpret_cast<PHONEBUTTONINFO*>(info.data())->dwTotalSize = 256;
    Expect(exists, phoneGetButtonInfoW(phone, id, reinterpret_cast<PHONEBUTTONINFO*>(info.data())),
           "button " + std::to_string(id));
    if (exists) {
      EXPECT_EQ(reinterpret_cast<PHONEBUTTONINFO*>(info.data())->dwButtonMode,
                Entry(c.dwButtonModesOffset, id));
    }
    for (DWORD mode = PHONELAMPMODE_DUMMY; mode <= PHONELAMPMODE_UNKNOWN; mode <<= 1) {
      const bool shows =
          (lampModes & mode) != 0 && mode != PHONELAMPMODE_DUMMY && mode != PHONELAMPMODE_UNKNOWN;
      anyLamp = anyLamp || shows;
      Expect(shows, phoneSetLamp(phone, id, mode),
             "lamp " + std::to_string(id) + " mode " + std::to_string(mode));
    }
  }
  EXPECT_EQ((features & PHONEFEATURE_SETLAMP) != 0, anyLamp);
  EXPECT_EQ((features & PHONEFEATURE_GETBUTTONINFO) != 0, c.dwNumButtonLamps != 0);
  // The switch's buttons cannot be redefined, and the capabilities do not say they can.
  EXPECT_EQ(features & PHONEFEATURE_SETBUTTONINFO, 0u);
  PHONEBUTTONINFO info{};
  info.dwTotalSize = sizeof(info);
  EXPECT_EQ(phoneSetButtonInfoW(phone, 0, &info), Code(PHONEERR_OPERATIONUNAVAIL));
}

}  // namespace
}  // namespace tapi32_test
