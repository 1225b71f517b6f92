// What the line, call and dispatch tests share: a line whose bookkeeping is reachable from the
// tests, an event recorder, and opening a line of the switch's small office.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "tapi/line.h"
#include "tapi_test_support.h"

namespace zvtapi::testing {

// The message of what `action` throws; empty when it throws nothing.
inline std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

class LineUnderTest : public TzvTapiLine {
 public:
  explicit LineUnderTest(TComponent* owner = nullptr) : TzvTapiLine(owner) {}
  using TzvCustomTapiLine::CallDestroyed;
  using TzvCustomTapiLine::DevSpecificList;
  using TzvCustomTapiLine::FindCall;
  using TzvCustomTapiLine::ForgetCall;
  using TzvCustomTapiLine::IsCallHandleValid;
  using TzvCustomTapiLine::ScheduleDropDisconnectedCall;
  using TzvCustomTapiLine::ScheduleFreeIdleCall;
  using TzvCustomTapiLine::SortCalls;
  TzvTapiCall* OnlyCall() { return Calls().Count() == 1 ? Calls().Get(0) : nullptr; }
};

// A call whose handle a test can set, as TAPI does for a call an operation is making.
class MadeCall : public TzvTapiCall {
 public:
  using TzvTapiCall::TzvTapiCall;
  void GiveHandle(Cardinal handle) { *HandlePlace() = handle; }
};

// Records every event of a line as one text each, in order.
class EventLog {
 public:
  void Attach(TzvTapiLine& line) {
    line.SetOnNewCall([this](TzvTapiLine*, TzvTapiCall*) { Add("NewCall"); });
    line.SetOnCallBegin([this](TzvTapiLine*, TzvTapiCall*) { Add("CallBegin"); });
    line.SetOnCallEnd([this](TzvTapiLine*, TzvTapiCall*) { Add("CallEnd"); });
    line.SetOnCallDeallocate([this](TzvTapiLine*, TzvTapiCall*) { Add("CallDeallocate"); });
    line.SetOnCallState(
        [this](TzvTapiLine*, TzvTapiCall*, Cardinal state) { Add("CallState " + Hex(state)); });
    line.SetOnCallPrivilege([this](TzvTapiLine*, TzvTapiCall*, Cardinal privilege) {
      Add("CallPrivilege " + Hex(privilege));
    });
    line.SetOnCallInfo(
        [this](TzvTapiLine*, TzvTapiCall*, Cardinal states) { Add("CallInfo " + Hex(states)); });
    line.SetOnCallerID([this](TzvTapiLine*, TzvTapiCall*) { Add("CallerID"); });
    line.SetOnCalledID([this](TzvTapiLine*, TzvTapiCall*) { Add("CalledID"); });
    line.SetOnConnectedID([this](TzvTapiLine*, TzvTapiCall*) { Add("ConnectedID"); });
    line.SetOnRedirectionID([this](TzvTapiLine*, TzvTapiCall*) { Add("RedirectionID"); });
    line.SetOnRedirectingID([this](TzvTapiLine*, TzvTapiCall*) { Add("RedirectingID"); });
    line.SetOnIdle([this](TzvTapiLine*, TzvTapiCall*) { Add("Idle"); });
    line.SetOnOffering([this](TzvTapiLine*, TzvTapiCall*) { Add("Offering"); });
    line.SetOnAccepted([this](TzvTapiLine*, TzvTapiCall*) { Add("Accepted"); });
    line.SetOnConnected([this](TzvTapiLine*, TzvTapiCall*) { Add("Connected"); });
    line.SetOnHold([this](TzvTapiLine*, TzvTapiCall*) { Add("Hold"); });
    line.SetOnDisconnected([this](TzvTapiLine*, TzvTapiCall*) { Add("Disconnected"); });
    line.SetOnMediaMode([this](TzvTapiLine*, TzvTapiCall*) { Add("MediaMode"); });
    line.SetOnError(
        [this](TObject*, const std::exception& e, TObject*) { errors.push_back(e.what()); });
  }
  void Add(const std::string& text) { events.push_back(text); }
  bool Has(const std::string& text) const {
    for (const std::string& e : events) {
      if (e == text) return true;
    }
    return false;
  }
  static std::string Hex(Cardinal value) { return Format("%X", value); }

  std::vector<std::string> events;
  std::vector<std::string> errors;
};

class LineTest : public TapiTest {
 protected:
  // Binds the line to a device of the switch and opens it.
  static void OpenOn(TzvCustomTapiLine& line, Integer deviceID) {
    line.SetDeviceID(deviceID);
    ASSERT_TRUE(line.Available());
    line.SetActive(true);
    ASSERT_TRUE(line.Active());
  }
  // The handle this application holds for a call of the switch.
  static Cardinal HandleOf(uint32_t callId) {
    return Switch().CallHandle(Appl().LineApp(), callId);
  }
  // The ID of the one request the switch has pending.
  static DWORD OnlyPendingRequest() {
    const std::vector<DWORD> pending = Switch().PendingRequests();
    EXPECT_EQ(pending.size(), 1u);
    return pending.empty() ? 0 : pending.front();
  }
  // Clean-up after a call within one timer tick instead of half a second later.
  static void QuickCleanup(TzvCustomTapiLine& line) {
    line.Options().SetAutoFreeIdleCalls(1);
    line.Options().SetAutoDropDiscCalls(1);
  }
  static tapi32::sim::IncomingCall Caller(const std::string& number, const std::string& name) {
    tapi32::sim::IncomingCall call;
    call.callerNumber = number;
    call.callerName = name;
    call.calledNumber = "200";
    call.calledName = "Reception";
    return call;
  }
};

}  // namespace zvtapi::testing
