// Test doubles for the device framework: a line that exposes its binding state and event
// firers and hands replies to the request handling, and a minimal phone.
#pragma once

#include <functional>
#include <string>

#include "platform/sync.h"
#include "tapi/requests.h"
#include "tapi_test_support.h"

namespace zvtapi::testing {

class TestLine : public FakeLine {
 public:
  explicit TestLine(TComponent* owner = nullptr) : FakeLine(owner) {}

  using TzvTapiDevice::DoDeviceClose;
  using TzvTapiDevice::DoDeviceRemove;
  using TzvTapiDevice::DoTapiReinit;
  using TzvTapiDevice::DoTapiReply;
  using TzvTapiDevice::DoTapiTimeout;
  using TzvTapiDevice::DoTapiTranslateChange;

  const std::string& StoredName() const { return FDeviceName; }
  void SetStoredName(const std::string& name) { FDeviceName = name; }
  bool StoredActive() const { return FActive; }
  bool ClosedByTapi() const { return FClosedByTapi; }

  void Close() override {
    closedByTapiDuringClose = FClosedByTapi;
    FakeLine::Close();
    if (throwOnClose) throw Exception("close fails");
  }
  // Runs a hook once on the next timer tick, before the time-out pass.
  void CheckTimeouts(Cardinal TickCount) override {
    if (onTick) {
      auto hook = std::move(onTick);
      onTick = nullptr;
      hook(TickCount);
    }
    FakeLine::CheckTimeouts(TickCount);
  }

  bool throwOnClose = false;
  bool closedByTapiDuringClose = false;
  int iconFetches = 0;
  int timerEventsStillListed = 0;
  std::function<void(Cardinal)> onTick;

 protected:
  // Unbound lines show the name the user gave, as the real line does.
  std::string GetDeviceName() const override { return FDeviceName; }
  Cardinal GetIconHandle(const std::string& /*DeviceClass*/) override {
    ++iconFetches;
    return 0x1C0 + static_cast<Cardinal>(FDeviceID);
  }
  void HandleTimerEvent(Cardinal ID, TzvTapiRequest* Request) override {
    if (FTimerEvents->IndexOf(Request) >= 0) ++timerEventsStillListed;
    FakeLine::HandleTimerEvent(ID, Request);
  }
};

class FakePhone : public TzvCustomTapiPhone {
 public:
  explicit FakePhone(TComponent* owner = nullptr) : TzvCustomTapiPhone(owner) {}
  ~FakePhone() override { FHandle = 0; }
  void Open() override {
    NewCallbackInstance();
    FHandle = 0x200 + FCallbackInstance;
    platform::ResetEvent(FAbortEvent);
  }
  void Close() override {
    FHandle = 0;
    platform::SetEvent(FAbortEvent);
  }
  void SetPermanentDeviceID(Cardinal value) override { FPermanentDeviceID = value; }
  Cardinal GetReplyTimeout() const override { return 60000; }
  bool GetSyncMode() const override { return true; }

 protected:
  void HandleReply(Cardinal, Integer, TzvTapiRequest* Request) override {
    Request->FHandled = true;
  }
};

// Attaches, binds to the device and opens.
inline void OpenOn(TzvTapiDevice& device, Integer deviceID = 0) {
  device.SetEnabled(true);
  device.SetDeviceID(deviceID);
  device.SetActive(true);
}

}  // namespace zvtapi::testing
