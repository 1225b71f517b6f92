// The line's call-control operations against the simulated switch: the checks and their texts,
// errors returned at once against errors in the reply, synchronous and asynchronous mode, the
// calls that operations create (confirmed, failed, timed out, outlived by their request), the
// device-specific copy-back, completions, parking, and an outgoing call from dial tone to idle.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "line_test_support.h"
#include "platform/module.h"
#include "tapi/errors.h"
#include "tapi/requests.h"

namespace zvtapi::testing {
namespace {

using tapi32::ReplyMode;

class CallControl : public LineTest {
 protected:
  // Offers a call on line 0 and waits until the line holds it.
  static TzvTapiCall* Offer(LineUnderTest& line, uint32_t* callId = nullptr) {
    const int before = line.Calls().Count();
    const uint32_t id = Switch().OfferCall(0, 0, Caller("301", "Ann"));
    if (callId) *callId = id;
    EXPECT_TRUE(PumpUntil([&] { return line.Calls().Count() > before; }));
    return line.Calls().Get(line.Calls().Count() - 1);
  }
  // The message of the exception f raises; empty when it raises none.
  static Cardinal ErrorCodeOf(const std::function<void()>& f) {
    try {
      f();
    } catch (const EzvTapiError& e) {
      return e.ErrorCode();
    }
    return 0;
  }
  static bool StateIs(TzvTapiCall* call, Cardinal state) { return call->State() == state; }
};

// ---------------------------------------------------------------------------------------------
// Checks

TEST_F(CallControl, EveryOperationNamesItselfWhenTheCallIsNotOneOfTheLinesCalls) {
  LineUnderTest line;
  OpenOn(line, 0);
  TzvTapiCall* valid = Offer(line);
  auto* unborn = new TzvTapiCall(&line, 0);  // among the unconfirmed calls, no handle
  TzvTapiCall* none = nullptr;
  Cardinal completion = 0;
  TzvTapiCall* conf = nullptr;
  TzvTapiCall* consult = nullptr;
  TzvTapiCallList list;
  LINEMONITORTONE tone{};
  const std::vector<std::pair<std::string, std::function<void()>>> cases = {
      {"Accept failed", [&] { line.Accept(unborn, ""); }},
      {"Answer failed", [&] { line.Answer(unborn, ""); }},
      {"Drop failed", [&] { line.Drop(none, ""); }},
      {"Dail failed", [&] { line.Dial(unborn, "201", 0); }},
      {"BlindTransfer failed", [&] { line.BlindTransfer(unborn, "201", 0); }},
      {"Redirect failed", [&] { line.Redirect(unborn, "201", 0); }},
      {"Hold failed", [&] { line.Hold(unborn); }},
      {"Unhold failed", [&] { line.UnHold(unborn); }},
      {"SwapHold faild", [&] { line.SwapHold(unborn, valid); }},
      {"SwapHold faild", [&] { line.SwapHold(valid, unborn); }},
      {"Park faild", [&] { line.Park(unborn, LINEPARKMODE_DIRECTED, "750", nullptr); }},
      {"Complete faild", [&] { line.CompleteCall(unborn, completion, 1, 0); }},
      {"AddToConference faild", [&] { line.AddToConference(unborn, valid); }},
      {"AddToConference faild", [&] { line.AddToConference(valid, unborn); }},
      {"RemoveFromConference failed", [&] { line.RemoveFromConference(unborn); }},
      {"SetCallData failed!", [&] { line.SetCallData(unborn, "x", 1); }},
      {"SetupTransfer failed", [&] { line.SetupTransfer(unborn, nullptr); }},
      {"PrepareAddToConference faild", [&] { line.PrepareAddToConference(unborn, nullptr); }},
      {"SetupConference failed", [&] { line.SetupConference(unborn, conf, consult, 3, nullptr); }},
      {"CompleteTransfer faild", [&] { line.CompleteTransfer(unborn, valid, 1); }},
      {"Generate digits failed", [&] { line.GenerateDigits(unborn, "1", 2, 0); }},
      {"Generate tone failed",
       [&] { line.GenerateTone(unborn, LINETONEMODE_BEEP, 0, 0, nullptr); }},
      {"Monitor tones failed", [&] { line.MonitorTones(unborn, &tone, 1); }},
      {"Monitor media failed", [&] { line.MonitorMedia(unborn, LINEMEDIAMODE_G3FAX); }},
      {"HandOff failed", [&] { line.HandOff(unborn, "", LINEMEDIAMODE_INTERACTIVEVOICE); }},
      {"GetConfRelatedCalls failed", [&] { line.GetConfRelatedCalls(unborn, &list); }},
  };
  for (const auto& [text, operation] : cases)
    EXPECT_EQ(MessageOf(operation), text + "! Invalid call.");
  EXPECT_EQ(MessageOf([&] { line.CompleteTransfer(valid, unborn, 1); }),
            "CompleteTransfer faild! No valid ConsultCall.");
  EXPECT_EQ(MessageOf([&] { line.CompleteTransfer(valid, nullptr, 2); }),
            "CompleteTransfer faild! No valid ConsultCall.");
  EXPECT_EQ(MessageOf([&] { line.GetConfRelatedCalls(valid, nullptr); }), "ConfCalls not assigned");
  // Nothing reached TAPI, nothing was registered, and no call was made on the way.
  EXPECT_EQ(line.Requests().Count(), 0);
  EXPECT_EQ(line.UnconfirmedCalls().Count(), 1);
  EXPECT_EQ(line.Calls().Count(), 1);
  for (const char* entry : {"lineAccept", "lineAnswer", "lineDialW", "lineSetupTransferW",
                            "lineSetupConferenceW", "lineCompleteTransfer", "lineSwapHold"}) {
    EXPECT_EQ(Switch().CallCount(entry), 0u) << entry;
  }
  EXPECT_EQ(conf, nullptr);
  EXPECT_EQ(consult, nullptr);
}

TEST_F(CallControl, AClosedLineNamesItselfAndMakesNoCall) {
  LineUnderTest line;
  line.SetDeviceID(0);
  ASSERT_FALSE(line.DeviceName().empty());
  const std::string expected = line.DeviceName() + " not active.";
  EXPECT_EQ(MessageOf([&] { line.MakeCall("201"); }), expected);
  EXPECT_EQ(MessageOf([&] { line.Pickup(0, "Sales", ""); }), expected);
  EXPECT_EQ(MessageOf([&] { line.Unpark(0, "750"); }), expected);
  EXPECT_EQ(MessageOf([&] { line.UncompleteCall(1); }), expected);
  uint8_t block[4] = {};
  EXPECT_EQ(MessageOf([&] { line.DevSpecific(block, sizeof(block), nullptr, nullptr); }), expected);
  EXPECT_EQ(line.UnconfirmedCalls().Count(), 0);
  EXPECT_EQ(line.DevSpecificList().Count(), 0);
  EXPECT_EQ(Switch().CallCount("lineMakeCallW"), 0u);
}

// ---------------------------------------------------------------------------------------------
// Errors at once, errors in the reply, the two modes

TEST_F(CallControl, AnErrorReturnedAtOnceRegistersNothingAndFreesTheNewCalls) {
  LineUnderTest line;
  OpenOn(line, 0);
  TzvTapiCall* call = Offer(line);
  Switch().FailNext("lineAnswer", static_cast<LONG>(LINEERR_INVALCALLSTATE));
  EXPECT_EQ(ErrorCodeOf([&] { line.Answer(call, ""); }), LINEERR_INVALCALLSTATE);
  EXPECT_EQ(line.Requests().Count(), 0);

  Switch().FailNext("lineMakeCallW", static_cast<LONG>(LINEERR_INVALADDRESS));
  EXPECT_EQ(ErrorCodeOf([&] { line.MakeCall("201"); }), LINEERR_INVALADDRESS);
  Switch().FailNext("lineSetupConferenceW", static_cast<LONG>(LINEERR_RESOURCEUNAVAIL));
  TzvTapiCall* conf = call;
  TzvTapiCall* consult = call;
  EXPECT_EQ(ErrorCodeOf([&] { line.SetupConference(call, conf, consult, 3, nullptr); }),
            LINEERR_RESOURCEUNAVAIL);
  EXPECT_EQ(conf, nullptr) << "the outputs are cleared before anything else";
  EXPECT_EQ(consult, nullptr);
  Switch().FailNext("lineUnparkW", static_cast<LONG>(LINEERR_INVALADDRESS));
  EXPECT_EQ(ErrorCodeOf([&] { line.Unpark(0, "799"); }), LINEERR_INVALADDRESS);

  EXPECT_EQ(line.Requests().Count(), 0);
  EXPECT_EQ(line.UnconfirmedCalls().Count(), 0) << "the calls made for the operations are gone";
  EXPECT_EQ(line.Calls().Count(), 1);
  EXPECT_EQ(line.OnlyCall(), call);
}

TEST_F(CallControl, SynchronousModeRaisesTheReplysErrorAfterTheReplyEvent) {
  LineUnderTest line;
  OpenOn(line, 0);
  TzvTapiCall* call = Offer(line);
  std::vector<Cardinal> replies;
  line.SetOnTapiReply([&](TObject*, Cardinal, Cardinal code) { replies.push_back(code); });
  Switch().SetNextReplyMode("lineAnswer",
                            ReplyMode::Now(static_cast<LONG>(LINEERR_RESOURCEUNAVAIL)));
  try {
    line.Answer(call, "");
    FAIL() << "no exception";
  } catch (const EzvTapiError& e) {
    EXPECT_EQ(e.ErrorCode(), LINEERR_RESOURCEUNAVAIL);
    EXPECT_EQ(replies, std::vector<Cardinal>{LINEERR_RESOURCEUNAVAIL}) << "the reply came first";
  }
  EXPECT_EQ(line.Requests().Count(), 0);
  EXPECT_EQ(call->State(), LINECALLSTATE_OFFERING);

  // Success: by the time the operation returns, the reply has been handled.
  replies.clear();
  line.Answer(call, "");
  EXPECT_EQ(replies, std::vector<Cardinal>{0});
  EXPECT_EQ(line.Requests().Count(), 0);
  EXPECT_TRUE(PumpUntil([&] { return StateIs(call, LINECALLSTATE_CONNECTED); }));
}

TEST_F(CallControl, SynchronousModeGivesUpAfterTheReplyTimeout) {
  LineUnderTest line;
  OpenOn(line, 0);
  TzvTapiCall* call = Offer(line);
  line.Options().SetReplyTimeout(30);
  Switch().SetNextReplyMode("lineAccept", ReplyMode::Silent());
  EXPECT_EQ(ErrorCodeOf([&] { line.Accept(call, ""); }), LINEERR_OPERATIONFAILED);
  // The late reply still finds its way.
  EXPECT_TRUE(Switch().CompleteRequest(OnlyPendingRequest(), 0));
  EXPECT_TRUE(PumpUntil([&] { return StateIs(call, LINECALLSTATE_ACCEPTED); }));
}

TEST_F(CallControl, AsynchronousModeRegistersTheRequestAndReturnsAtOnce) {
  LineUnderTest line;
  line.Options().SetSyncMode(false);
  OpenOn(line, 0);
  TzvTapiCall* call = Offer(line);
  Switch().SetNextReplyMode("lineAnswer", ReplyMode::Silent());
  line.Answer(call, "thanks");
  ASSERT_EQ(line.Requests().Count(), 1);
  TzvTapiRequest* request = line.Requests().Get(0);
  EXPECT_EQ(request->FRequestType, TAPIREQUEST_LINEANSWER);
  EXPECT_EQ(request->GetObject(0), call);
  EXPECT_EQ(request->FID, line.LastRequestID());
  EXPECT_EQ(request->FTimeout, line.Options().ReplyTimeout());
  std::vector<std::pair<Cardinal, Cardinal>> replies;
  line.SetOnTapiReply(
      [&](TObject*, Cardinal id, Cardinal code) { replies.emplace_back(id, code); });
  const DWORD id = OnlyPendingRequest();
  EXPECT_EQ(id, line.LastRequestID());
  Switch().CompleteRequest(id, static_cast<LONG>(LINEERR_INVALCALLSTATE));
  ASSERT_TRUE(PumpUntil([&] { return !replies.empty(); }));
  EXPECT_EQ(replies.front(), std::make_pair(Cardinal{id}, LINEERR_INVALCALLSTATE))
      << "the error arrives through the events, nothing is raised";
  EXPECT_EQ(line.Requests().Count(), 0);

  line.Answer(call, "");  // replies at once
  EXPECT_EQ(call->State(), LINECALLSTATE_OFFERING) << "nothing handled before the caller returns";
  EXPECT_TRUE(PumpUntil([&] { return StateIs(call, LINECALLSTATE_CONNECTED); }));
}

TEST_F(CallControl, OperationsRecordTheirTypeAndObjects) {
  LineUnderTest line;
  line.Options().SetSyncMode(false);
  OpenOn(line, 0);
  uint32_t firstId = 0;
  TzvTapiCall* first = Offer(line, &firstId);
  line.Answer(first, "");
  ASSERT_TRUE(PumpUntil([&] { return StateIs(first, LINECALLSTATE_CONNECTED); }));
  for (const char* entry :
       {"lineSetupTransferW", "lineSetupConferenceW", "lineHold", "lineSetCallData"})
    Switch().SetReplyMode(entry, ReplyMode::Silent());
  auto last = [&] {
    return line.Requests().GetRequest(static_cast<Integer>(line.LastRequestID()));
  };

  TzvTapiCall* consult = line.SetupTransfer(first, nullptr);
  EXPECT_EQ(last()->FRequestType, TAPIREQUEST_LINESETUPTRANSFER);
  EXPECT_EQ(last()->GetObject(0), first);
  EXPECT_EQ(last()->GetObject(1), consult);
  EXPECT_EQ(consult->Handle(), 0u);
  EXPECT_TRUE(line.UnconfirmedCalls().Contains(consult));

  TzvTapiCall* conf = nullptr;
  TzvTapiCall* party = nullptr;
  line.SetupConference(first, conf, party, 3, nullptr);
  EXPECT_EQ(last()->FRequestType, TAPIREQUEST_LINESETUPCONFERENCE);
  EXPECT_EQ(last()->GetObject(0), first);
  EXPECT_EQ(last()->GetObject(1), conf);
  EXPECT_EQ(last()->GetObject(2), party);
  EXPECT_EQ(first->GetConsultCall(), party) << "the conference's consultation call replaces";
  EXPECT_EQ(consult->GetPrimaryCall(), first) << "but the old one still points back";

  line.Hold(first);
  EXPECT_EQ(last()->FRequestType, TAPIREQUEST_LINEHOLD);
  line.SetCallData(first, "abc", 3);
  EXPECT_EQ(last()->FRequestType, TAPIREQUEST_LINESETCALLDATA);
}

// ---------------------------------------------------------------------------------------------
// Calls that operations create

TEST_F(CallControl, AnAsynchronousMakeCallGetsItsHandleWithTheReply) {
  LineUnderTest line;
  line.Options().SetSyncMode(false);
  OpenOn(line, 0);
  Switch().SetNextReplyMode("lineMakeCallW", ReplyMode::Silent());
  TzvTapiCall* call = line.MakeCall("201");
  ASSERT_NE(call, nullptr);
  EXPECT_EQ(call->Handle(), 0u);
  EXPECT_FALSE(line.Calls().Contains(call));
  EXPECT_TRUE(line.UnconfirmedCalls().Contains(call));
  bool confirmedAtReply = false;
  line.SetOnTapiReply([&](TObject*, Cardinal, Cardinal) {
    confirmedAtReply = call->Confirmed() && line.Calls().Contains(call);
  });
  ASSERT_TRUE(Switch().CompleteRequest(OnlyPendingRequest(), 0));
  ASSERT_TRUE(PumpUntil([&] { return line.Requests().Count() == 0; }));
  EXPECT_TRUE(confirmedAtReply) << "the call is confirmed before the reply event";
  EXPECT_NE(call->Handle(), 0u);
  const std::vector<uint32_t> onLine = Switch().CallsOnLine(0);
  ASSERT_EQ(onLine.size(), 1u);
  EXPECT_EQ(call->Handle(), HandleOf(onLine[0]));
  EXPECT_EQ(line.Calls().Count(), 1) << "its state reports find the same object";
}

TEST_F(CallControl, AFailedReplyFreesTheCallAfterTheReplyEvent) {
  LineUnderTest line;
  line.Options().SetSyncMode(false);
  OpenOn(line, 0);
  Switch().SetNextReplyMode("lineMakeCallW", ReplyMode::Silent());
  TzvTapiCall* call = line.MakeCall("201");
  bool listedAtReply = false;
  line.SetOnTapiReply([&](TObject*, Cardinal, Cardinal) {
    listedAtReply = line.UnconfirmedCalls().Contains(call);
  });
  ASSERT_TRUE(
      Switch().CompleteRequest(OnlyPendingRequest(), static_cast<LONG>(LINEERR_CALLUNAVAIL)));
  ASSERT_TRUE(PumpUntil([&] { return line.Requests().Count() == 0; }));
  EXPECT_TRUE(listedAtReply);
  EXPECT_FALSE(line.IsCallObject(call));
  EXPECT_EQ(line.UnconfirmedCalls().Count(), 0);
  EXPECT_EQ(line.Calls().Count(), 0);

  // In synchronous mode the failure is raised once the new call is gone already.
  line.Options().SetSyncMode(true);
  Switch().SetNextReplyMode("lineMakeCallW",
                            ReplyMode::Now(static_cast<LONG>(LINEERR_CALLUNAVAIL)));
  EXPECT_EQ(ErrorCodeOf([&] { line.MakeCall("201"); }), LINEERR_CALLUNAVAIL);
  EXPECT_EQ(line.UnconfirmedCalls().Count(), 0);
  EXPECT_EQ(line.Calls().Count(), 0);
}

TEST_F(CallControl, ATimedOutCallIsFreedAndALateReplyCannotReachIt) {
  LineUnderTest line;
  line.Options().SetSyncMode(false);
  line.Options().SetReplyTimeout(1);
  OpenOn(line, 0);
  Switch().SetNextReplyMode("lineSetupConferenceW", ReplyMode::Silent());
  Switch().SetNextReplyMode("lineMakeCallW", ReplyMode::Silent());
  TzvTapiCall* made = line.MakeCall("201");
  ASSERT_NE(made, nullptr);
  std::vector<Cardinal> timeouts;
  line.SetOnTapiTimeout([&](TObject*, Cardinal id) { timeouts.push_back(id); });
  line.CheckTimeouts(platform::GetTickCount() + 1000);
  EXPECT_EQ(timeouts.size(), 1u);
  EXPECT_FALSE(line.IsCallObject(made));
  EXPECT_EQ(line.UnconfirmedCalls().Count(), 0);
  EXPECT_EQ(line.Requests().Count(), 0);
  // TAPI answers after all and writes the handle (where it writes must still exist); the call
  // turns up as a call the line did not make.
  ASSERT_TRUE(Switch().CompleteRequest(OnlyPendingRequest(), 0));
  ASSERT_TRUE(PumpUntil([&] { return line.Calls().Count() == 1; }));
  EXPECT_EQ(line.OnlyCall()->Handle(), HandleOf(Switch().CallsOnLine(0).at(0)));
  EXPECT_EQ(line.UnconfirmedCalls().Count(), 0);
}

TEST_F(CallControl, ACallFreedBeforeItsRequestIsAnsweredIsNeverWritten) {
  tapi32::sim::Config office = SmallOffice();
  office.lines[0].maxActiveCalls = 2;  // the first call is still being made
  Switch().Reset(office);
  LineUnderTest line;
  line.Options().SetSyncMode(false);
  OpenOn(line, 0);
  Switch().SetReplyMode("lineMakeCallW", ReplyMode::Silent());
  delete line.MakeCall("201");
  EXPECT_EQ(line.Requests().Count(), 0) << "the request went with its call";
  ASSERT_TRUE(Switch().CompleteRequest(OnlyPendingRequest(), 0));
  ASSERT_TRUE(PumpUntil([&] { return line.Calls().Count() == 1; }));

  // Closing frees the waiting call; the switch then refuses to complete the request.
  TzvTapiCall* waiting = line.MakeCall("202");
  ASSERT_TRUE(line.UnconfirmedCalls().Contains(waiting));
  line.Close();
  EXPECT_EQ(line.UnconfirmedCalls().Count(), 0);
  ASSERT_TRUE(Switch().CompleteRequest(OnlyPendingRequest(), 0));
  PumpFor(20);
  EXPECT_EQ(line.Calls().Count(), 0);
}

TEST_F(CallControl, ConferenceCallsFreedOrFailedBeforeTheReply) {
  LineUnderTest line;
  OpenOn(line, 0);
  TzvTapiCall* call = Offer(line);
  line.Answer(call, "");
  ASSERT_TRUE(PumpUntil([&] { return call->IsConnected(); }));
  // Synchronous, failed in the reply: the outputs do not name the freed calls.
  Switch().SetNextReplyMode("lineSetupConferenceW",
                            ReplyMode::Now(static_cast<LONG>(LINEERR_RESOURCEUNAVAIL)));
  TzvTapiCall* conf = nullptr;
  TzvTapiCall* consult = nullptr;
  EXPECT_EQ(ErrorCodeOf([&] { line.SetupConference(call, conf, consult, 3, nullptr); }),
            LINEERR_RESOURCEUNAVAIL);
  EXPECT_EQ(conf, nullptr);
  EXPECT_EQ(consult, nullptr);
  EXPECT_EQ(line.UnconfirmedCalls().Count(), 0);
  EXPECT_EQ(call->GetConsultCall(), nullptr);

  // Asynchronous: the program frees the consultation call before TAPI answers. The conference
  // call still gets its handle; the freed one is never written.
  line.Options().SetSyncMode(false);
  Switch().SetNextReplyMode("lineSetupConferenceW", ReplyMode::Silent());
  line.SetupConference(call, conf, consult, 3, nullptr);
  delete consult;
  EXPECT_EQ(call->GetConsultCall(), nullptr);
  ASSERT_EQ(line.Requests().Count(), 1);
  EXPECT_EQ(line.Requests().Get(0)->GetObject(2), nullptr);
  ASSERT_TRUE(Switch().CompleteRequest(OnlyPendingRequest(), 0));
  ASSERT_TRUE(PumpUntil([&] { return line.Requests().Count() == 0; }));
  EXPECT_NE(conf->Handle(), 0u);
  EXPECT_TRUE(line.Calls().Contains(conf));
  EXPECT_EQ(line.UnconfirmedCalls().Count(), 0);
  // The switch's consultation call turns up as a call of its own.
  EXPECT_TRUE(PumpUntil([&] { return line.Calls().Count() == 3; }));
}

TEST_F(CallControl, ASynchronousOperationTimingOutLeavesNothingBehind) {
  LineUnderTest line;
  OpenOn(line, 0);
  line.Options().SetReplyTimeout(30);
  Switch().SetNextReplyMode("lineMakeCallW", ReplyMode::Silent());
  EXPECT_EQ(ErrorCodeOf([&] { line.MakeCall("201"); }), LINEERR_OPERATIONFAILED);
  // The request is given up on the next timer check; its call goes with it.
  line.CheckTimeouts(platform::GetTickCount() + 1000);
  EXPECT_EQ(line.UnconfirmedCalls().Count(), 0);
  ASSERT_TRUE(Switch().CompleteRequest(OnlyPendingRequest(), 0));
  ASSERT_TRUE(PumpUntil([&] { return line.Calls().Count() == 1; }));
}

TEST_F(CallControl, ConvenienceMakeCallUsesTheLinesParametersAndPlainPickupIgnoresTheCallClass) {
  struct Special : TzvTapiCall {
    using TzvTapiCall::TzvTapiCall;
  };
  LineUnderTest picker;
  picker.SetCallClass(&CallClassOf<Special>);
  OpenOn(picker, 0);
  picker.CallParams().SetNoAnswerTimeout(1);
  picker.CallParams().SetComment("from the line");
  tapi32::sim::FarEnd silent;
  silent.kind = tapi32::sim::FarEnd::Kind::NoAnswer;
  Switch().SetFarEnd("201", silent);
  TzvTapiCall* made = picker.MakeCall("201");
  EXPECT_NE(dynamic_cast<Special*>(made), nullptr);
  EXPECT_NE(made->Handle(), 0u);
  // The line's one-second no-answer time-out reached the switch.
  EXPECT_TRUE(PumpUntil([&] { return StateIs(made, LINECALLSTATE_DISCONNECTED); }));
  EXPECT_EQ(made->DisconnectMode(), LINEDISCONNECTMODE_NOANSWER);

  Switch().OfferCall(1, 0, Caller("302", "Bea"));
  TzvTapiCall* picked = picker.Pickup(0, "Sales", "");
  EXPECT_EQ(dynamic_cast<Special*>(picked), nullptr);
  EXPECT_NE(picked->Handle(), 0u);
  EXPECT_TRUE(PumpUntil([&] { return StateIs(picked, LINECALLSTATE_CONNECTED); }));
}

// ---------------------------------------------------------------------------------------------
// Handlers that close the line and start again: the request being handled is freed, and the
// allocator may give its memory to the next one. That one must be left alone.

TEST_F(CallControl, AReplyHandlerThatReopensTheLineKeepsTheRequestItStarts) {
  LineUnderTest line;
  line.Options().SetSyncMode(false);
  OpenOn(line, 0);
  Switch().SetReplyMode("lineMakeCallW", ReplyMode::Silent());
  line.MakeCall("201");
  const DWORD failed = OnlyPendingRequest();
  TzvTapiCall* again = nullptr;
  line.SetOnTapiReply([&](TObject*, Cardinal id, Cardinal) {
    if (id != failed) return;
    line.SetActive(false);
    line.SetActive(true);
    again = line.MakeCall("202");
  });
  ASSERT_TRUE(Switch().CompleteRequest(failed, static_cast<LONG>(LINEERR_CALLUNAVAIL)));
  ASSERT_TRUE(PumpUntil([&] { return again != nullptr; }));
  ASSERT_TRUE(line.IsCallObject(again)) << "the failed request's clean-up took the new call";
  EXPECT_TRUE(line.UnconfirmedCalls().Contains(again));
  ASSERT_EQ(line.Requests().Count(), 1);
  EXPECT_EQ(line.Requests().Get(0)->GetObject(0), again);
  // It completes like any other.
  ASSERT_TRUE(Switch().CompleteRequest(OnlyPendingRequest(), 0));
  ASSERT_TRUE(PumpUntil([&] { return line.Calls().Contains(again); }));
}

TEST_F(CallControl, ATimeoutHandlerThatReopensTheLineKeepsTheRequestItStarts) {
  LineUnderTest line;
  line.Options().SetSyncMode(false);
  line.Options().SetReplyTimeout(1);
  OpenOn(line, 0);
  Switch().SetReplyMode("lineMakeCallW", ReplyMode::Silent());
  line.MakeCall("201");
  TzvTapiCall* again = nullptr;
  int timeouts = 0;
  line.SetOnTapiTimeout([&](TObject*, Cardinal) {
    if (++timeouts > 1) return;
    line.SetActive(false);
    line.SetActive(true);
    line.Options().SetReplyTimeout(60000);
    again = line.MakeCall("202");
  });
  line.CheckTimeouts(platform::GetTickCount() + 1000);
  EXPECT_EQ(timeouts, 1);
  ASSERT_NE(again, nullptr);
  ASSERT_TRUE(line.IsCallObject(again)) << "the timed-out request's clean-up took the new call";
  EXPECT_TRUE(line.UnconfirmedCalls().Contains(again));
  ASSERT_EQ(line.Requests().Count(), 1);
  EXPECT_EQ(line.Requests().Get(0)->GetObject(0), again);
}

TEST_F(CallControl, ADevSpecificReplyHandlerThatReopensTheLineKeepsTheBlockItStarts) {
  LineUnderTest line;
  line.Options().SetSyncMode(false);
  OpenOn(line, 0);
  Switch().SetDevSpecificAnswer(std::vector<uint8_t>{7, 8});
  Switch().SetReplyMode("lineDevSpecific", ReplyMode::Silent());
  uint8_t block[2] = {};
  line.DevSpecific(block, sizeof(block), nullptr, nullptr);
  const DWORD first = OnlyPendingRequest();
  std::vector<std::vector<uint8_t>> answers;
  line.SetOnDevSpecificReply([&](TObject*, Cardinal id, void* data, Cardinal size, TzvTapiAddress*,
                                 TzvTapiCall*, Cardinal) {
    answers.emplace_back(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
    if (id != first) return;
    line.SetActive(false);
    line.SetActive(true);
    line.DevSpecific(block, sizeof(block), nullptr, nullptr);
  });
  ASSERT_TRUE(Switch().CompleteRequest(first, 0));
  ASSERT_TRUE(PumpUntil([&] { return answers.size() == 1; }));
  ASSERT_EQ(line.DevSpecificList().Count(), 1) << "the new block went with the answered one";
  ASSERT_TRUE(Switch().CompleteRequest(OnlyPendingRequest(), 0));
  ASSERT_TRUE(PumpUntil([&] { return answers.size() == 2; }));
  EXPECT_EQ(answers[1], (std::vector<uint8_t>{7, 8}));
  EXPECT_EQ(line.DevSpecificList().Count(), 0);
}

// ---------------------------------------------------------------------------------------------
// Results TAPI writes: device-specific blocks, completion IDs, park addresses

TEST_F(CallControl, DevSpecificCopiesTheAnswerBackInSynchronousModeOnly) {
  LineUnderTest line;
  OpenOn(line, 0);
  Switch().SetDevSpecificAnswer(std::vector<uint8_t>{1, 2, 3, 4});
  uint8_t block[6] = {9, 9, 9, 9, 9, 9};
  line.DevSpecific(block, sizeof(block), nullptr, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(block, block + 6), (std::vector<uint8_t>{1, 2, 3, 4, 9, 9}));
  EXPECT_EQ(line.DevSpecificList().Count(), 0);
  EXPECT_EQ(Switch().LastDevSpecific().data, (std::vector<uint8_t>{9, 9, 9, 9, 9, 9}));

  uint8_t feature[2] = {7, 7};
  line.DevSpecificFeature(0x55, feature, sizeof(feature));
  EXPECT_EQ(feature[0], 1);
  EXPECT_EQ(feature[1], 2);
  EXPECT_EQ(Switch().LastDevSpecific().featureCode, 0x55u);

  // Asynchronous: the caller's block stays as it was; the reply event shows the answer.
  line.Options().SetSyncMode(false);
  std::vector<uint8_t> reported;
  line.SetOnDevSpecificReply(
      [&](TObject*, Cardinal, void* data, Cardinal size, TzvTapiAddress*, TzvTapiCall*, Cardinal) {
        reported.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
      });
  uint8_t async[5] = {5, 5, 5, 5, 5};
  line.DevSpecific(async, sizeof(async), nullptr, nullptr);
  EXPECT_EQ(line.DevSpecificList().Count(), 1);
  ASSERT_TRUE(PumpUntil([&] { return !reported.empty(); }));
  EXPECT_EQ(reported, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(async[0], 5);
  EXPECT_EQ(line.DevSpecificList().Count(), 0);

  Switch().FailNext("lineDevSpecific", static_cast<LONG>(LINEERR_OPERATIONUNAVAIL));
  EXPECT_EQ(ErrorCodeOf([&] { line.DevSpecific(async, sizeof(async), nullptr, nullptr); }),
            LINEERR_OPERATIONUNAVAIL);
  EXPECT_EQ(line.DevSpecificList().Count(), 0);
}

TEST_F(CallControl, DevSpecificBlocksOutliveTheirRequestUntilTapiAnswers) {
  LineUnderTest line;
  line.Options().SetReplyTimeout(1);
  OpenOn(line, 0);
  Switch().SetDevSpecificAnswer(std::vector<uint8_t>(64, 0xAB));
  Switch().SetReplyMode("lineDevSpecific", ReplyMode::Silent());
  Switch().SetReplyMode("lineDevSpecificFeature", ReplyMode::Silent());
  std::vector<uint8_t> block(64, 0);
  // Synchronous, timed out: the caller's block is never written late.
  EXPECT_EQ(ErrorCodeOf([&] { line.DevSpecific(block.data(), 64, nullptr, nullptr); }),
            LINEERR_OPERATIONFAILED);
  EXPECT_EQ(line.DevSpecificList().Count(), 0);
  ASSERT_TRUE(Switch().CompleteRequest(OnlyPendingRequest(), 0));
  PumpFor(10);
  EXPECT_EQ(block, std::vector<uint8_t>(64, 0));

  // Asynchronous, timed out, then answered.
  line.Options().SetSyncMode(false);
  bool timedOut = false;
  line.SetOnDevSpecificTimeout([&](TObject*, Cardinal, void*, Cardinal, TzvTapiAddress*,
                                   TzvTapiCall*, Cardinal) { timedOut = true; });
  line.DevSpecific(block.data(), 64, nullptr, nullptr);
  line.CheckTimeouts(platform::GetTickCount() + 1000);
  EXPECT_TRUE(timedOut);
  EXPECT_EQ(line.DevSpecificList().Count(), 0);
  ASSERT_TRUE(Switch().CompleteRequest(OnlyPendingRequest(), 0));
  PumpFor(10);

  // Pending while the line closes.
  line.DevSpecificFeature(1, block.data(), 64);
  line.Close();
  ASSERT_TRUE(Switch().CompleteRequest(OnlyPendingRequest(), 0));
  PumpFor(10);
  EXPECT_EQ(block, std::vector<uint8_t>(64, 0));
}

TEST_F(CallControl, CompletionIDsAndParkAddressesAreWrittenByTheReply) {
  LineUnderTest line;
  OpenOn(line, 0);
  tapi32::sim::FarEnd busy;
  busy.kind = tapi32::sim::FarEnd::Kind::Busy;
  Switch().SetFarEnd("209", busy);
  TzvTapiCall* call = line.MakeCall("209");
  ASSERT_TRUE(PumpUntil([&] { return StateIs(call, LINECALLSTATE_BUSY); }));
  Cardinal completion = 0;
  line.CompleteCall(call, completion, LINECALLCOMPLMODE_CALLBACK, 0);
  ASSERT_EQ(Switch().CompletionsOn(0).size(), 1u);
  EXPECT_EQ(completion, Switch().CompletionsOn(0)[0]);
  line.UncompleteCall(completion);
  EXPECT_TRUE(Switch().CompletionsOn(0).empty());

  // Asynchronous: the variable is filled by the reply, not before.
  line.Options().SetSyncMode(false);
  Switch().SetNextReplyMode("lineCompleteCall", ReplyMode::Silent());
  Cardinal later = 0;
  line.CompleteCall(call, later, LINECALLCOMPLMODE_CALLBACK, 0);
  EXPECT_EQ(later, 0u);
  Switch().CompleteRequest(OnlyPendingRequest(), 0);
  ASSERT_TRUE(PumpUntil([&] { return later != 0; }));
  EXPECT_NE(later, completion);
  line.Options().SetSyncMode(true);
  line.Drop(call, "");

  // A non-directed park reports where the call waits.
  TzvTapiCall* parked = nullptr;
  Switch().OfferCall(0, 0, Caller("301", "Ann"));
  ASSERT_TRUE(PumpUntil([&] {
    for (TzvTapiCall* c : line.Calls())
      if (c->IsOffering()) parked = c;
    return parked != nullptr;
  }));
  line.Answer(parked, "");
  ASSERT_TRUE(PumpUntil([&] { return parked->IsConnected(); }));
  alignas(4) uint8_t buffer[64] = {};
  auto* where = reinterpret_cast<VARSTRING*>(buffer);
  where->dwTotalSize = sizeof(buffer);
  line.Park(parked, LINEPARKMODE_NONDIRECTED, "", where);
  ASSERT_GT(where->dwStringSize, 2u);
  std::u16string address(where->dwStringSize / 2 - 1, u'\0');
  std::memcpy(address.data(), buffer + where->dwStringOffset, address.size() * 2);
  EXPECT_TRUE(Switch().IsParked(platform::WideToUtf8(address)));
}

TEST_F(CallControl, SettingTheMediaModeAsksTapiAndRereadsTheInformation) {
  LineUnderTest line;
  OpenOn(line, 0);
  TzvTapiCall* call = Offer(line);
  ASSERT_EQ(call->MediaMode(), LINEMEDIAMODE_INTERACTIVEVOICE);
  Switch().FailNext("lineSetMediaMode", static_cast<LONG>(LINEERR_INVALMEDIAMODE));
  EXPECT_EQ(ErrorCodeOf([&] { call->SetMediaMode(LINEMEDIAMODE_UNKNOWN); }),
            LINEERR_INVALMEDIAMODE);
  call->SetMediaMode(LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_UNKNOWN);
  EXPECT_EQ(call->MediaMode(), LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_UNKNOWN)
      << "read anew, without waiting for TAPI's report";
}

TEST_F(CallControl, AskingForTheConferenceCallReportsFailuresInsteadOfRaising) {
  LineUnderTest line;
  line.SetDeviceID(0);
  std::vector<std::string> errors;
  std::vector<TObject*> causers;
  line.SetOnError([&](TObject*, const std::exception& e, TObject* causer) {
    errors.push_back(e.what());
    causers.push_back(causer);
  });
  auto* call = new TzvTapiCall(&line, 0);
  EXPECT_EQ(call->ConferenceCall(), nullptr);
  EXPECT_EQ(errors, std::vector<std::string>{line.DeviceName() + " not active."});
  EXPECT_EQ(causers, std::vector<TObject*>{call});
  delete call;
}

// ---------------------------------------------------------------------------------------------
// Whole calls

TEST_F(CallControl, AnOutgoingCallFromDialToneToIdle) {
  LineUnderTest line;
  QuickCleanup(line);
  OpenOn(line, 0);
  tapi32::sim::FarEnd answers;
  answers.afterMs = 0;
  answers.name = "Bob";
  Switch().SetFarEnd("201", answers);
  std::vector<Cardinal> states;
  line.SetOnCallState([&](TzvTapiLine*, TzvTapiCall*, Cardinal state) { states.push_back(state); });
  TzvTapiCall* call = line.MakeCall("");
  ASSERT_NE(call->Handle(), 0u);
  EXPECT_TRUE(call->Confirmed());
  EXPECT_TRUE(line.Calls().Contains(call));
  ASSERT_TRUE(PumpUntil([&] { return StateIs(call, LINECALLSTATE_DIALTONE); }));
  call->Dial("201");
  ASSERT_TRUE(PumpUntil([&] { return StateIs(call, LINECALLSTATE_CONNECTED); }));
  EXPECT_TRUE(call->IsOutgoing());
  EXPECT_EQ(call->ConnectedID()->Name(), "Bob");
  call->Drop("");
  ASSERT_TRUE(PumpUntil([&] { return line.Calls().Count() == 0; }));
  const std::vector<Cardinal> expected = {LINECALLSTATE_DIALTONE,   LINECALLSTATE_DIALING,
                                          LINECALLSTATE_PROCEEDING, LINECALLSTATE_RINGBACK,
                                          LINECALLSTATE_CONNECTED,  LINECALLSTATE_IDLE};
  EXPECT_EQ(states, expected);
  EXPECT_TRUE(Switch().CallsOnLine(0).empty());
}

TEST_F(CallControl, TheCleanUpTimerDropsADisconnectedCall) {
  LineUnderTest line;
  QuickCleanup(line);
  OpenOn(line, 0);
  uint32_t id = 0;
  TzvTapiCall* call = Offer(line, &id);
  line.Answer(call, "");
  ASSERT_TRUE(PumpUntil([&] { return StateIs(call, LINECALLSTATE_CONNECTED); }));
  std::vector<Cardinal> states;
  line.SetOnCallState([&](TzvTapiLine*, TzvTapiCall*, Cardinal state) { states.push_back(state); });
  Switch().RemoteHangUp(id);
  // The timer's synchronous drop waits for its reply inside the timer handling.
  ASSERT_TRUE(PumpUntil([&] { return line.Calls().Count() == 0; }));
  EXPECT_EQ(states, (std::vector<Cardinal>{LINECALLSTATE_DISCONNECTED, LINECALLSTATE_IDLE}));
  EXPECT_EQ(Switch().CallCount("lineDrop"), 1u);
  EXPECT_FALSE(Switch().HasCall(id));

  // A refused drop is reported, once; the call stays until TAPI ends it.
  EventLog log;
  log.Attach(line);
  TzvTapiCall* second = Offer(line, &id);
  line.Answer(second, "");
  Switch().FailAlways("lineDrop", static_cast<LONG>(LINEERR_OPERATIONFAILED));
  Switch().RemoteHangUp(id);
  ASSERT_TRUE(PumpUntil([&] { return Switch().CallCount("lineDrop") >= 2; }));
  ASSERT_EQ(log.errors.size(), 1u);
  EXPECT_EQ(log.errors.front(), TapiErrorText(LINEERR_OPERATIONFAILED));
  EXPECT_TRUE(line.Calls().Contains(second));
  Switch().ClearFaults();
  Switch().SetCallState(id, LINECALLSTATE_IDLE);
  ASSERT_TRUE(PumpUntil([&] { return line.Calls().Count() == 0; }));
}

}  // namespace
}  // namespace zvtapi::testing
