// The typical call on one line (offered, answered, hung up by the far end, cleaned up) run once
// for every Telephony API entry point the library calls during it and every error that entry
// point is documented to return, each failing once. Whatever fails, the program must hear of it
// (EzvTapiError from the operation, or OnError with the code), nothing may crash or leak, and
// the line must carry the next call as if nothing had happened.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "line_test_support.h"
#include "tapi/errors.h"

namespace zvtapi::testing {
namespace {

// What each entry point the typical call may use returns when it fails, as the Telephony API
// documents it. An entry point the call comes to use without a row here fails the sweep, so the
// table grows with the library.
const std::map<std::string, std::vector<Cardinal>>& DocumentedErrors() {
  static const std::map<std::string, std::vector<Cardinal>> table = {
      {"lineAnswer",
       {LINEERR_INVALCALLHANDLE, LINEERR_INVALCALLSTATE, LINEERR_INVALPOINTER, LINEERR_NOMEM,
        LINEERR_NOTOWNER, LINEERR_OPERATIONFAILED, LINEERR_OPERATIONUNAVAIL,
        LINEERR_RESOURCEUNAVAIL, LINEERR_UNINITIALIZED, LINEERR_USERUSERINFOTOOBIG}},
      {"lineDeallocateCall",
       {LINEERR_INVALCALLHANDLE, LINEERR_INVALCALLSTATE, LINEERR_NOMEM, LINEERR_OPERATIONFAILED,
        LINEERR_RESOURCEUNAVAIL, LINEERR_UNINITIALIZED}},
      {"lineDrop",
       {LINEERR_INVALCALLHANDLE, LINEERR_INVALCALLSTATE, LINEERR_INVALPOINTER, LINEERR_NOMEM,
        LINEERR_NOTOWNER, LINEERR_OPERATIONFAILED, LINEERR_OPERATIONUNAVAIL,
        LINEERR_RESOURCEUNAVAIL, LINEERR_UNINITIALIZED, LINEERR_USERUSERINFOTOOBIG}},
      {"lineGetAddressStatusW",
       {LINEERR_INVALADDRESSID, LINEERR_INVALLINEHANDLE, LINEERR_INVALPOINTER, LINEERR_NOMEM,
        LINEERR_OPERATIONFAILED, LINEERR_RESOURCEUNAVAIL, LINEERR_STRUCTURETOOSMALL,
        LINEERR_UNINITIALIZED}},
      {"lineGetCallInfoW",
       {LINEERR_INVALCALLHANDLE, LINEERR_INVALPOINTER, LINEERR_NOMEM, LINEERR_OPERATIONFAILED,
        LINEERR_RESOURCEUNAVAIL, LINEERR_STRUCTURETOOSMALL, LINEERR_UNINITIALIZED}},
      {"lineGetCallStatus",
       {LINEERR_INVALCALLHANDLE, LINEERR_INVALPOINTER, LINEERR_NOMEM, LINEERR_OPERATIONFAILED,
        LINEERR_RESOURCEUNAVAIL, LINEERR_STRUCTURETOOSMALL, LINEERR_UNINITIALIZED}},
      {"lineGetLineDevStatusW",
       {LINEERR_INVALLINEHANDLE, LINEERR_INVALPOINTER, LINEERR_NOMEM, LINEERR_OPERATIONFAILED,
        LINEERR_RESOURCEUNAVAIL, LINEERR_STRUCTURETOOSMALL, LINEERR_UNINITIALIZED}},
      {"lineGetMessage",
       {LINEERR_INVALAPPHANDLE, LINEERR_INVALPOINTER, LINEERR_NOMEM, LINEERR_OPERATIONFAILED}},
      {"lineGetNewCalls",
       {LINEERR_INVALADDRESSID, LINEERR_INVALCALLSELECT, LINEERR_INVALLINEHANDLE,
        LINEERR_INVALPOINTER, LINEERR_NOMEM, LINEERR_OPERATIONFAILED, LINEERR_RESOURCEUNAVAIL,
        LINEERR_STRUCTURETOOSMALL, LINEERR_UNINITIALIZED}},
      {"lineSetCallPrivilege",
       {LINEERR_INVALCALLHANDLE, LINEERR_INVALCALLPRIVILEGE, LINEERR_INVALCALLSTATE, LINEERR_NOMEM,
        LINEERR_OPERATIONFAILED, LINEERR_RESOURCEUNAVAIL, LINEERR_UNINITIALIZED}},
  };
  return table;
}

// The failures the program is right not to hear of: a call's information or status that TAPI
// says it has no call for belongs to a call that has gone, and reads as empty fields.
bool NotReported(const std::string& entryPoint, Cardinal code) {
  return (entryPoint == "lineGetCallStatus" || entryPoint == "lineGetCallInfoW") &&
         code == LINEERR_INVALCALLHANDLE;
}

std::vector<std::string> EntryPointNames() {
  std::vector<std::string> names;
  for (size_t i = 0; i < tapi32::kEntryPointCount; ++i)
    names.emplace_back(tapi32::EntryPointName(static_cast<tapi32::EntryPoint>(i)));
  return names;
}

class FaultSweep : public LineTest {
 protected:
  // What the program heard during a call.
  struct Heard {
    std::vector<Cardinal> tapiErrors;  // EzvTapiError codes, thrown or passed to OnError
    std::vector<std::string> others;   // any other failure
    bool Has(Cardinal code) const {
      return std::find(tapiErrors.begin(), tapiErrors.end(), code) != tapiErrors.end();
    }
  };

  void SetUp() override {
    LineTest::SetUp();
    QuickCleanup(line);
    OpenOn(line, 0);
    auto record = [this](TObject*, const std::exception& error, TObject*) { Note(error); };
    line.SetOnError(record);
    // A failure no line is to blame for (a message TAPI could not hand over) reaches only the
    // application's handler; the line's own reach both, which does no harm here.
    Appl().SetOnError(record);
  }
  void TearDown() override {
    line.SetActive(false);
    LineTest::TearDown();
  }

  void Note(const std::exception& error) {
    if (const auto* tapi = dynamic_cast<const EzvTapiError*>(&error)) {
      heard.tapiErrors.push_back(tapi->ErrorCode());
    } else {
      heard.others.emplace_back(error.what());
    }
  }

  // The library's object of the switch's call, when it has one.
  TzvTapiCall* CallOf(uint32_t callId) { return line.FindCall(HandleOf(callId), false); }

  // Whether the call is over for both sides: the switch has forgotten it, which it does once
  // the program has deallocated its last handle, and the line holds no call object.
  bool Over(uint32_t callId) { return !Switch().HasCall(callId) && line.Calls().Count() == 0; }

  // Whether the call is stuck after a failure the program heard of, so that waiting longer
  // would change nothing: a failed drop leaves it disconnected on both sides with no clean-up
  // scheduled; a failed deallocation leaves the idle call with TAPI and no object here.
  bool Stuck(uint32_t callId) {
    if (heard.tapiErrors.empty() || line.TimerEvents().Count() != 0) return false;
    if (!Switch().HasCall(callId)) return false;
    const Cardinal state = Switch().CallSnapshot(callId).state;
    TzvTapiCall* call = CallOf(callId);
    if (call == nullptr) return state == LINECALLSTATE_IDLE;
    return state == LINECALLSTATE_DISCONNECTED && call->State() == LINECALLSTATE_DISCONNECTED;
  }

  // PumpUntil with the line's timer ticks delivered at once rather than when the quiet event
  // thread next sends one, so that the clean-up after each of the many calls follows at once.
  static bool PumpWithTicks(const std::function<bool()>& condition) {
    return PumpUntil([&] {
      Appl().ProcessTimerTick(platform::GetTickCount());
      return condition();
    });
  }

  // The typical call: offered, answered, hung up by the far end, cleaned up by the line. Returns
  // whether the call went through all of it without help.
  bool TypicalCall() {
    const uint32_t id = Switch().OfferCall(0, 0, Caller("301", "Ann"));
    PumpWithTicks([&] {
      TzvTapiCall* call = CallOf(id);
      return call != nullptr && call->State() == LINECALLSTATE_OFFERING;
    });
    if (TzvTapiCall* call = CallOf(id)) {
      try {
        call->Answer("");
      } catch (const std::exception& error) {
        Note(error);
      }
    }
    if (Switch().HasCall(id) && Switch().CallSnapshot(id).state != LINECALLSTATE_IDLE)
      Switch().RemoteHangUp(id);
    PumpWithTicks([&] { return Over(id) || Stuck(id); });
    if (Over(id)) return true;
    // What a program does with a call that stayed behind: drop it and let it go. Without a
    // call object there is nothing left to do: a handle whose deallocation failed stays with
    // TAPI until the line closes.
    TzvTapiCall* call = CallOf(id);
    if (call == nullptr) return false;
    try {
      if (call->State() != LINECALLSTATE_IDLE) call->Drop("");
    } catch (const std::exception& error) {
      Note(error);
    }
    PumpWithTicks([&] { return Over(id); });
    return false;
  }

  LineUnderTest line;
  Heard heard;
};

TEST_F(FaultSweep, EveryDocumentedFailureOfTheTypicalCallIsHeardAndTheLineCarriesOn) {
  // The entry points the call uses, by the switch's counters.
  std::map<std::string, uint32_t> before;
  for (const std::string& name : EntryPointNames())
    before[name] = Switch().CallCount(name);
  ASSERT_TRUE(TypicalCall());
  ASSERT_TRUE(heard.tapiErrors.empty() && heard.others.empty());
  std::vector<std::string> used;
  for (const std::string& name : EntryPointNames()) {
    if (Switch().CallCount(name) != before[name]) used.push_back(name);
  }

  int pairs = 0;
  int helped = 0;  // runs whose call stayed behind until the program dropped it, or for good
  for (const std::string& entryPoint : used) {
    const auto row = DocumentedErrors().find(entryPoint);
    if (row == DocumentedErrors().end()) {
      ADD_FAILURE() << "the call uses " << entryPoint << ", which the table does not list";
      continue;
    }
    for (const Cardinal code : row->second) {
      SCOPED_TRACE(entryPoint + " failing with " + TapiErrorText(code));
      ++pairs;
      heard = {};
      const uint32_t calls = Switch().CallCount(entryPoint);
      Switch().FailNext(entryPoint, static_cast<LONG>(code));
      if (!TypicalCall()) ++helped;
      Switch().ClearFaults();
      EXPECT_GT(Switch().CallCount(entryPoint), calls) << "the fault never fired";
      if (NotReported(entryPoint, code)) {
        EXPECT_FALSE(heard.Has(code)) << "reported now: take it off the list";
      } else {
        EXPECT_TRUE(heard.Has(code)) << "the program never heard of the failure";
      }
      EXPECT_TRUE(heard.others.empty()) << heard.others.front();

      // The next call on the line goes through as if nothing had happened.
      heard = {};
      EXPECT_TRUE(TypicalCall()) << "the next call needed help";
      EXPECT_TRUE(heard.tapiErrors.empty() && heard.others.empty()) << "the next call failed too";
    }
  }
  std::printf("FAULT SWEEP: %d (entry point, error) pairs over %zu entry points, %d left a call\n",
              pairs, used.size(), helped);
  EXPECT_GT(pairs, 0);
}

}  // namespace
}  // namespace zvtapi::testing
