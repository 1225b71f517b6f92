// What the library's tests share: a switch reset to a known configuration around each test,
// pumping the user-interface thread's messages until something happens, and a line component
// whose TAPI side is faked so that routing can be observed without opening real lines.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/message_window.h"
#include "tapi/application.h"
#include "tapi/line.h"
#include "tapi/phone.h"
#include "tapi32/sim/switch.h"

namespace zvtapi::testing {

// Dispatches window messages until the condition holds or ten seconds pass (a bound against
// hangs only; the condition normally holds within milliseconds).
inline bool PumpUntil(const std::function<bool()>& condition) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    if (platform::DispatchPendingMessages() == 0) platform::Sleep(1);
  }
  return true;
}

// Dispatches whatever arrives during the given time.
inline void PumpFor(uint32_t milliseconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() < end) {
    if (platform::DispatchPendingMessages() == 0) platform::Sleep(1);
  }
}

inline tapi32::sim::Config SmallOffice() {
  tapi32::sim::Config config;
  for (const char* name : {"Reception", "Sales", "Support"}) {
    tapi32::sim::LineConfig line;
    line.name = name;
    config.lines.push_back(line);
  }
  tapi32::sim::PhoneConfig phone;
  phone.name = "Desk phone";
  config.phones.push_back(phone);
  return config;
}

// Resets the switch and the application object around each test.
class TapiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Switch().Reset(SmallOffice());
    ResetApplication();
  }
  void TearDown() override {
    Switch().ClearFaults();
    if (Appl().Active()) Appl().Shutdown();
    ResetApplication();
    platform::SetTickSource({});
    platform::DispatchPendingMessages();
  }
  static TzvTapiApplication& Appl() { return *zvTapiApplication; }
  static tapi32::sim::Switch& Switch() { return tapi32::sim::Switch::Instance(); }
  static void ResetApplication() {
    TzvTapiApplication& a = Appl();
    a.SetOnInitialize({});
    a.SetOnLineCreate({});
    a.SetOnLineRemove({});
    a.SetOnLineRename({});
    a.SetOnPhoneCreate({});
    a.SetOnPhoneRemove({});
    a.SetOnPhoneRename({});
    a.SetOnRequestMakeCall({});
    a.SetOnTapiMessage({});
    a.SetOnShutdown({});
    a.SetOnReinit({});
    a.SetOnError({});
  }
  // Posts a line message to this application as if the switch had sent it.
  static void PostLine(Cardinal device, Cardinal id, Cardinal ci, Cardinal p1 = 0, Cardinal p2 = 0,
                       Cardinal p3 = 0) {
    ASSERT_TRUE(
        Switch().PostLineMessage(Appl().LineApp(), LINEMESSAGE{device, id, ci, p1, p2, p3}));
  }
  static void PostPhone(Cardinal device, Cardinal id, Cardinal ci, Cardinal p1 = 0, Cardinal p2 = 0,
                        Cardinal p3 = 0) {
    ASSERT_TRUE(
        Switch().PostPhoneMessage(Appl().PhoneApp(), PHONEMESSAGE{device, id, ci, p1, p2, p3}));
  }
};

struct RecordedMessage {
  Cardinal hDevice, messageID, param1, param2, param3;
};

// A line whose open and close only take and drop a made-up handle and a fresh callback
// instance, recording what the application routes to it.
class FakeLine : public TzvCustomTapiLine {
 public:
  explicit FakeLine(TComponent* owner = nullptr) : TzvCustomTapiLine(owner) {}
  ~FakeLine() override { FHandle = 0; }

  void Open() override {
    NewCallbackInstance();
    FHandle = 0x100 + FCallbackInstance;
    platform::ResetEvent(FAbortEvent);
  }
  void Close() override {
    ++closes;
    FHandle = 0;
    platform::SetEvent(FAbortEvent);
    FRequests->RemoveAllRequests(nullptr);
    FTimerEvents->RemoveAllRequests(nullptr);
  }
  void SetPermanentDeviceID(Cardinal value) override { FPermanentDeviceID = value; }
  Cardinal GetReplyTimeout() const override { return replyTimeout; }
  bool GetSyncMode() const override { return syncMode; }
  void TapiMessage(Cardinal hDevice, Cardinal MessageID, Cardinal Param1, Cardinal Param2,
                   Cardinal Param3) override {
    messages.push_back({hDevice, MessageID, Param1, Param2, Param3});
    if (onMessage) onMessage(MessageID);
    TzvCustomTapiLine::TapiMessage(hDevice, MessageID, Param1, Param2, Param3);
  }
  void CheckTimeouts(Cardinal TickCount) override {
    ticks.push_back(TickCount);
    TzvCustomTapiLine::CheckTimeouts(TickCount);
  }
  void DeviceNameChanged(const std::string& NewName) override {
    renames.push_back(NewName);
    TzvCustomTapiLine::DeviceNameChanged(NewName);
  }

  std::vector<RecordedMessage> messages;
  std::vector<Cardinal> ticks;
  std::vector<std::string> renames;
  std::vector<std::pair<Cardinal, Integer>> replies;
  std::vector<Cardinal> timeouts;
  std::vector<Cardinal> timerEvents;
  std::function<void(Cardinal)> onMessage;
  int closes = 0;
  Cardinal replyTimeout = 60000;
  bool syncMode = true;

 protected:
  void HandleReply(Cardinal RequestID, Integer ReplyCode, TzvTapiRequest* Request) override {
    Request->FHandled = true;
    replies.emplace_back(RequestID, ReplyCode);
    DoTapiReply(RequestID, ReplyCode);
  }
  void HandleTimeout(Cardinal RequestID, TzvTapiRequest* Request) override {
    Request->FHandled = true;
    timeouts.push_back(RequestID);
    DoTapiTimeout(RequestID, Request);
  }
  void HandleTimerEvent(Cardinal ID, TzvTapiRequest* /*Request*/) override {
    timerEvents.push_back(ID);
  }
};

}  // namespace zvtapi::testing
