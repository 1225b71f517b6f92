// The call's own call-control operations: the partner each one picks for conference, transfer
// and swap hold (links first, then the line's search with its relaxation order), ownership
// taken on the way, the parameters they build, and whole transfers and conferences on the
// switch.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "line_test_support.h"
#include "tapi/errors.h"
#include "tapi/requests.h"

namespace zvtapi::testing {
namespace {

// A line that records what the call-level operations ask of it instead of asking TAPI.
class PartnerLine : public LineUnderTest {
 public:
  struct Request {
    TzvTapiCall* first;
    TzvTapiCall* second;
    Cardinal mode;
  };
  void AddToConference(TzvTapiCall* ConfCall, TzvTapiCall* ConsultCall) override {
    requests.push_back({ConfCall, ConsultCall, TAPIREQUEST_LINEADDTOCONFERENCE});
  }
  TzvTapiCall* CompleteTransfer(TzvTapiCall* Call, TzvTapiCall* ConsultCall,
                                Cardinal TransferMode) override {
    requests.push_back({Call, ConsultCall, TransferMode});
    return nullptr;
  }
  void SwapHold(TzvTapiCall* Call, TzvTapiCall* HeldCall) override {
    requests.push_back({Call, HeldCall, TAPIREQUEST_LINESWAPHOLD});
  }
  void GenerateDigits(TzvTapiCall*, const std::string& Digits, Cardinal DigitMode,
                      Cardinal Duration) override {
    digits.push_back(Digits + "/" + std::to_string(DigitMode) + "/" + std::to_string(Duration));
  }
  void MonitorTones(TzvTapiCall*, const LINEMONITORTONE* ToneList, Cardinal NumEntries) override {
    tones.assign(ToneList, ToneList + NumEntries);
  }
  TzvTapiCall* SetupTransfer(TzvTapiCall*, const LINECALLPARAMS* CallParams) override {
    params = *CallParams;
    return nullptr;
  }
  std::vector<Request> requests;
  std::vector<std::string> digits;
  std::vector<LINEMONITORTONE> tones;
  LINECALLPARAMS params{};
};

class CallWrappers : public LineTest {
 protected:
  void SetUp() override {
    LineTest::SetUp();
    tapi32::sim::Config config;
    tapi32::sim::LineConfig office;
    office.name = "Office";
    office.numAddresses = 2;
    // The tests script several calls on the line at once.
    office.maxActiveCalls = 4;
    config.lines.push_back(office);
    tapi32::sim::LineConfig other;
    other.name = "Sales";
    config.lines.push_back(other);
    Switch().Reset(config);
  }
  // Offers a call on an address of line 0, waits for it and, unless OFFERING is asked for,
  // moves it to the state.
  static TzvTapiCall* CallIn(LineUnderTest& line, Cardinal state, uint32_t address = 0,
                             uint32_t* callId = nullptr) {
    const int before = line.Calls().Count();
    const uint32_t id = Switch().OfferCall(0, address, Caller("301", "Ann"));
    if (callId) *callId = id;
    EXPECT_TRUE(PumpUntil([&] { return line.Calls().Count() > before; }));
    TzvTapiCall* call = line.Calls().Get(line.Calls().Count() - 1);
    if (state != LINECALLSTATE_OFFERING) {
      Switch().SetCallState(id, state);
      EXPECT_TRUE(PumpUntil([&] { return call->State() == state; }));
    }
    return call;
  }
  static void Expect(const PartnerLine& line, TzvTapiCall* first, TzvTapiCall* second,
                     Cardinal mode) {
    ASSERT_FALSE(line.requests.empty());
    EXPECT_EQ(line.requests.back().first, first);
    EXPECT_EQ(line.requests.back().second, second);
    EXPECT_EQ(line.requests.back().mode, mode);
  }
};

// ---------------------------------------------------------------------------------------------
// The search

TEST_F(CallWrappers, FindRelatedCallRelaxesFeaturesFirstThenTheAddress) {
  LineUnderTest line;
  OpenOn(line, 0);
  TzvTapiCall* heldOther = CallIn(line, LINECALLSTATE_ONHOLD, 1);
  TzvTapiCall* connectedOther = CallIn(line, LINECALLSTATE_CONNECTED, 1);
  TzvTapiCall* connectedHere = CallIn(line, LINECALLSTATE_CONNECTED, 0);
  const Cardinal hold = LINECALLFEATURE_HOLD;
  const Cardinal unhold = LINECALLFEATURE_UNHOLD;
  // States and features on the address.
  EXPECT_EQ(line.FindRelatedCall(LINECALLSTATE_CONNECTED, hold, 0, nullptr), connectedHere);
  // No call on address 0 has UNHOLD: the same address without the feature wins over a call
  // elsewhere that has it.
  EXPECT_EQ(
      line.FindRelatedCall(LINECALLSTATE_CONNECTED | LINECALLSTATE_ONHOLD, unhold, 0, nullptr),
      connectedHere);
  // Nothing in the states on address 0: any address, with the features first.
  EXPECT_EQ(line.FindRelatedCall(LINECALLSTATE_ONHOLD | LINECALLSTATE_CONNECTED, unhold, 0,
                                 connectedHere),
            heldOther);
  EXPECT_EQ(line.FindRelatedCall(LINECALLSTATE_CONNECTED, unhold, 0, connectedHere),
            connectedOther);
  // Features only: a call on the address without them never qualifies.
  EXPECT_EQ(line.FindRelatedCall(0, unhold, 0, nullptr), heldOther);
  EXPECT_EQ(line.FindRelatedCall(0, LINECALLFEATURE_ADDTOCONF, 0, nullptr), nullptr);
  // States only; any address at all.
  EXPECT_EQ(line.FindRelatedCall(LINECALLSTATE_ONHOLD, 0, 0, nullptr), heldOther);
  EXPECT_EQ(line.FindRelatedCall(LINECALLSTATE_CONNECTED, 0, -1, nullptr), connectedOther);
  EXPECT_EQ(line.FindRelatedCall(LINECALLSTATE_DIALING, 0, -1, nullptr), nullptr);
  EXPECT_EQ(line.FindRelatedCall(0, 0, 0, nullptr), nullptr) << "no criteria find nothing";
}

// ---------------------------------------------------------------------------------------------
// Partner selection

TEST_F(CallWrappers, AddToConferenceFromTheConsultationSide) {
  PartnerLine line;
  OpenOn(line, 0);
  TzvTapiCall* pendingElsewhere = CallIn(line, LINECALLSTATE_ONHOLDPENDCONF, 1);
  TzvTapiCall* consult = CallIn(line, LINECALLSTATE_CONNECTED, 0);
  EXPECT_EQ(MessageOf([&] { consult->AddToConference(); }), "") << "another address will do";
  Expect(line, pendingElsewhere, consult, TAPIREQUEST_LINEADDTOCONFERENCE);
  TzvTapiCall* heldHere = CallIn(line, LINECALLSTATE_ONHOLD, 0);
  consult->AddToConference();
  Expect(line, heldHere, consult, TAPIREQUEST_LINEADDTOCONFERENCE);

  // A call with a primary call asks for the primary's conference and searches no further.
  consult->SetPrimaryCall(heldHere);
  line.requests.clear();
  EXPECT_EQ(MessageOf([&] { consult->AddToConference(); }),
            "AddToConference failed! No suitable calls");
  EXPECT_TRUE(line.requests.empty());
}

TEST_F(CallWrappers, AddToConferenceFromTheConferenceSide) {
  PartnerLine line;
  OpenOn(line, 0);
  TzvTapiCall* elsewhere = CallIn(line, LINECALLSTATE_CONNECTED, 1);
  TzvTapiCall* conf = CallIn(line, LINECALLSTATE_ONHOLDPENDCONF, 0);
  conf->AddToConference();
  Expect(line, conf, elsewhere, TAPIREQUEST_LINEADDTOCONFERENCE);
  TzvTapiCall* here = CallIn(line, LINECALLSTATE_CONNECTED, 0);
  conf->AddToConference();
  Expect(line, conf, here, TAPIREQUEST_LINEADDTOCONFERENCE);
  conf->SetConsultCall(elsewhere);
  conf->AddToConference();
  Expect(line, conf, elsewhere, TAPIREQUEST_LINEADDTOCONFERENCE);  // the link comes first

  TzvTapiCall* offering = CallIn(line, LINECALLSTATE_OFFERING, 0);
  EXPECT_EQ(MessageOf([&] { offering->AddToConference(); }),
            "AddToConference failed! No suitable calls");
}

TEST_F(CallWrappers, CompleteTransferFromTheConsultationSide) {
  PartnerLine line;
  OpenOn(line, 0);
  TzvTapiCall* consult = CallIn(line, LINECALLSTATE_CONNECTED, 0);
  EXPECT_EQ(MessageOf([&] { consult->CompleteTransfer(false); }),
            "CompleteTransfer failed! No suitable call found.");
  TzvTapiCall* heldElsewhere = CallIn(line, LINECALLSTATE_ONHOLD, 1);
  consult->CompleteTransfer(false);
  Expect(line, heldElsewhere, consult, LINETRANSFERMODE_TRANSFER);
  TzvTapiCall* pendingHere = CallIn(line, LINECALLSTATE_ONHOLDPENDTRANSFER, 0);
  consult->CompleteTransfer(true);
  Expect(line, pendingHere, consult, LINETRANSFERMODE_CONFERENCE);

  // The links come before the search: the primary call when it waits for the transfer, else
  // the consultation link under the same condition.
  TzvTapiCall* connected = CallIn(line, LINECALLSTATE_CONNECTED, 0);
  consult->SetPrimaryCall(connected);
  consult->SetConsultCall(heldElsewhere);
  consult->CompleteTransfer(false);
  Expect(line, heldElsewhere, consult, LINETRANSFERMODE_TRANSFER);
  consult->SetPrimaryCall(heldElsewhere);
  consult->SetConsultCall(pendingHere);
  consult->CompleteTransfer(false);
  Expect(line, heldElsewhere, consult, LINETRANSFERMODE_TRANSFER);
}

TEST_F(CallWrappers, CompleteTransferFromTheHeldSide) {
  PartnerLine line;
  OpenOn(line, 0);
  TzvTapiCall* held = CallIn(line, LINECALLSTATE_ONHOLDPENDTRANSFER, 0);
  EXPECT_EQ(MessageOf([&] { held->CompleteTransfer(false); }),
            "CompleteTransfer failed! No suitable call found.");
  TzvTapiCall* ringingElsewhere = CallIn(line, LINECALLSTATE_RINGBACK, 1);
  held->CompleteTransfer(false);
  Expect(line, held, ringingElsewhere, LINETRANSFERMODE_TRANSFER);
  TzvTapiCall* proceedingHere = CallIn(line, LINECALLSTATE_PROCEEDING, 0);
  held->CompleteTransfer(false);
  Expect(line, held, proceedingHere, LINETRANSFERMODE_TRANSFER);
  // A link counts only while its call is CONNECTED.
  held->SetConsultCall(ringingElsewhere);
  held->CompleteTransfer(false);
  Expect(line, held, proceedingHere, LINETRANSFERMODE_TRANSFER);
  TzvTapiCall* connected = CallIn(line, LINECALLSTATE_CONNECTED, 1);
  held->SetPrimaryCall(connected);
  held->CompleteTransfer(false);
  Expect(line, held, connected, LINETRANSFERMODE_TRANSFER);
}

TEST_F(CallWrappers, SwapHoldPicksTheOtherHalf) {
  PartnerLine line;
  OpenOn(line, 0);
  TzvTapiCall* held = CallIn(line, LINECALLSTATE_ONHOLD, 0);
  EXPECT_EQ(MessageOf([&] { held->SwapHold(nullptr); }), "SwapHold failed! No suitable calls");
  TzvTapiCall* elsewhere = CallIn(line, LINECALLSTATE_CONNECTED, 1);
  TzvTapiCall* here = CallIn(line, LINECALLSTATE_CONNECTED, 0);
  held->SwapHold(nullptr);
  Expect(line, here, held, TAPIREQUEST_LINESWAPHOLD);
  held->SwapHold(elsewhere);
  Expect(line, elsewhere, held, TAPIREQUEST_LINESWAPHOLD);  // a given partner is taken as is
  here->SwapHold(nullptr);
  Expect(line, here, held, TAPIREQUEST_LINESWAPHOLD);
  TzvTapiCall* pending = CallIn(line, LINECALLSTATE_ONHOLDPENDCONF, 1);
  elsewhere->SwapHold(nullptr);
  // A held call on the caller's address wins over the first one in the list.
  Expect(line, elsewhere, pending, TAPIREQUEST_LINESWAPHOLD);
}

TEST_F(CallWrappers, SimpleWrappersPassTheirFixedArguments) {
  PartnerLine line;
  line.CallParams().SetComment("from the line");
  line.CallParams().SetAddressID(0);
  OpenOn(line, 0);
  TzvTapiCall* call = CallIn(line, LINECALLSTATE_CONNECTED, 1);
  call->GenerateDigits("12#", 80);
  call->GeneratePulseDigits("9", 0);
  EXPECT_EQ(line.digits, (std::vector<std::string>{"12#/2/80", "9/1/0"}));
  call->MonitorTone(440, 480, 0, 300, 7);
  ASSERT_EQ(line.tones.size(), 1u);
  EXPECT_EQ(line.tones[0].dwAppSpecific, 7u);
  EXPECT_EQ(line.tones[0].dwDuration, 300u);
  EXPECT_EQ(line.tones[0].dwFrequency1, 440u);
  EXPECT_EQ(line.tones[0].dwFrequency2, 480u);
  EXPECT_EQ(line.tones[0].dwFrequency3, 0u);
  call->SetupTransfer();
  EXPECT_EQ(line.params.dwAddressID, 1u) << "the call's own address";
  EXPECT_NE(line.params.dwCommentSize, 0u) << "the line's parameters";
  EXPECT_EQ(line.CallParams().AddressID(), 0u) << "the line's own are left alone";
}

// ---------------------------------------------------------------------------------------------
// Ownership

TEST_F(CallWrappers, AutoOwnerMakesAMonitoringApplicationTheOwner) {
  LineUnderTest line;
  line.Privileges().SetAutoSelect(false);
  line.Privileges().SetValue(LINECALLPRIVILEGE_MONITOR);
  OpenOn(line, 0);
  TzvTapiCall* first = CallIn(line, LINECALLSTATE_OFFERING);
  EXPECT_FALSE(first->Owner());
  EXPECT_TRUE(first->AutoOwner()) << "from the line's call options";
  first->Answer("");
  EXPECT_TRUE(PumpUntil([&] { return first->IsConnected(); }));

  line.CallOptions().SetAutoOwner(false);
  TzvTapiCall* second = CallIn(line, LINECALLSTATE_OFFERING);
  EXPECT_FALSE(second->AutoOwner());
  try {
    second->Answer("");
    FAIL() << "no exception";
  } catch (const EzvTapiError& e) {
    EXPECT_EQ(e.ErrorCode(), LINEERR_NOTOWNER);
  }
}

TEST_F(CallWrappers, AcceptAndAnswerAssertAHandle) {
  LineUnderTest line;
  OpenOn(line, 0);
  auto* unborn = new TzvTapiCall(&line, 0);
  for (auto operation : {&TzvTapiCall::Accept, &TzvTapiCall::Answer}) {
    const std::string message = MessageOf([&] { (unborn->*operation)(""); });
    EXPECT_NE(message, "");
    EXPECT_EQ(message.find("Invalid call"), std::string::npos) << "the wrapper's own check";
  }
  EXPECT_EQ(MessageOf([&] { unborn->Drop(""); }), "Drop failed! Invalid call.");
  EXPECT_EQ(Switch().CallCount("lineAccept") + Switch().CallCount("lineAnswer"), 0u);
}

// ---------------------------------------------------------------------------------------------
// Whole operations on the switch

TEST_F(CallWrappers, ATransferThroughAConsultationCall) {
  LineUnderTest line;
  QuickCleanup(line);
  OpenOn(line, 0);
  tapi32::sim::FarEnd answers;
  Switch().SetFarEnd("202", answers);
  TzvTapiCall* call = CallIn(line, LINECALLSTATE_OFFERING);
  call->Answer("");
  TzvTapiCall* consult = call->SetupTransfer();
  ASSERT_NE(consult, nullptr);
  EXPECT_NE(consult->Handle(), 0u);
  EXPECT_TRUE(line.Calls().Contains(consult));
  EXPECT_EQ(call->GetConsultCall(), consult);
  EXPECT_EQ(consult->GetPrimaryCall(), call);
  ASSERT_TRUE(PumpUntil([&] { return call->State() == LINECALLSTATE_ONHOLDPENDTRANSFER; }));
  consult->Dial("202");
  ASSERT_TRUE(PumpUntil([&] { return consult->IsConnected(); }));
  EXPECT_EQ(consult->CompleteTransfer(false), nullptr);
  ASSERT_TRUE(PumpUntil([&] { return line.Calls().Count() == 0; })) << "both calls left";
  EXPECT_TRUE(Switch().CallsOnLine(0).empty());
}

TEST_F(CallWrappers, AConferenceBuiltStepByStep) {
  LineUnderTest line;
  OpenOn(line, 0);
  tapi32::sim::FarEnd answers;
  Switch().SetFarEnd("202", answers);
  Switch().SetFarEnd("203", answers);
  TzvTapiCall* call = CallIn(line, LINECALLSTATE_OFFERING);
  call->Answer("");
  TzvTapiCall* conf = nullptr;
  TzvTapiCall* consult = nullptr;
  call->SetupConference(conf, consult);
  ASSERT_NE(conf, nullptr);
  ASSERT_NE(consult, nullptr);
  EXPECT_TRUE(line.Calls().Contains(conf));
  EXPECT_EQ(call->GetConsultCall(), consult);
  EXPECT_EQ(consult->GetPrimaryCall(), call);
  EXPECT_EQ(conf->GetPrimaryCall(), nullptr) << "the conference call gets no link";
  consult->Dial("202");
  ASSERT_TRUE(PumpUntil([&] { return consult->IsConnected(); }));
  EXPECT_EQ(call->ConferenceCall(), conf);
  consult->AddToConference();  // finds the conference through its primary call
  ASSERT_TRUE(PumpUntil(
      [&] { return consult->State() == LINECALLSTATE_CONFERENCED && conf->IsConnected(); }));
  EXPECT_EQ(consult->GetPrimaryCall(), nullptr) << "a joined party drops its links";
  EXPECT_EQ(call->GetConsultCall(), nullptr) << "and nobody points at it";

  TzvTapiCall* third = conf->PrepareAddToConference();
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(conf->GetConsultCall(), third);
  third->Dial("203");
  ASSERT_TRUE(PumpUntil([&] { return third->IsConnected(); }));
  conf->AddToConference();  // the held conference takes its consultation call
  ASSERT_TRUE(PumpUntil([&] { return third->State() == LINECALLSTATE_CONFERENCED; }));
  TzvTapiCallList related;
  ASSERT_TRUE(line.GetConfRelatedCalls(third, &related));
  ASSERT_EQ(related.Count(), 4);
  EXPECT_EQ(related.Get(0), conf);
  EXPECT_TRUE(conf->IsConferenceCall());
  EXPECT_FALSE(third->IsConferenceCall());

  third->RemoveFromConference();
  ASSERT_TRUE(PumpUntil([&] { return third->State() == LINECALLSTATE_IDLE; }));
  ASSERT_TRUE(line.GetConfRelatedCalls(call, &related));
  EXPECT_EQ(related.Count(), 3);
}

TEST_F(CallWrappers, CompleteTransferAsAConferenceReturnsTheNewConferenceCall) {
  LineUnderTest line;
  OpenOn(line, 0);
  tapi32::sim::FarEnd answers;
  Switch().SetFarEnd("202", answers);
  TzvTapiCall* call = CallIn(line, LINECALLSTATE_OFFERING);
  call->Answer("");
  TzvTapiCall* consult = call->SetupTransfer();
  consult->Dial("202");
  ASSERT_TRUE(PumpUntil([&] { return consult->IsConnected(); }));
  TzvTapiCall* conf = call->CompleteTransfer(true);  // from the held side
  ASSERT_NE(conf, nullptr);
  EXPECT_NE(conf->Handle(), 0u);
  // The parties' CONFERENCED may reach the event thread after the conference's CONNECTED.
  ASSERT_TRUE(PumpUntil([&] {
    return conf->IsConnected() && call->State() == LINECALLSTATE_CONFERENCED &&
           consult->State() == LINECALLSTATE_CONFERENCED;
  }));
  EXPECT_EQ(call->ConferenceCall(), conf);
}

TEST_F(CallWrappers, SwapHoldOnTheSwitch) {
  LineUnderTest line;
  OpenOn(line, 0);
  TzvTapiCall* first = CallIn(line, LINECALLSTATE_OFFERING);
  first->Answer("");
  first->Hold();
  ASSERT_TRUE(PumpUntil([&] { return first->IsHeld(); }));
  TzvTapiCall* second = CallIn(line, LINECALLSTATE_OFFERING);
  second->Answer("");
  ASSERT_TRUE(PumpUntil([&] { return second->IsConnected(); }));
  first->SwapHold(nullptr);
  ASSERT_TRUE(PumpUntil([&] { return first->IsConnected() && second->IsHeld(); }));
  second->Unhold();
  ASSERT_TRUE(PumpUntil([&] { return second->IsConnected(); }));
}

}  // namespace
}  // namespace zvtapi::testing
