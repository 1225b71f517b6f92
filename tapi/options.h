// The settings a line or phone component is configured with: reply time-out and synchronous
// mode, the line's call clean-up delays, and the privileges to open the device with.
#pragma once

#include <string>

#include "tapi/types.h"

namespace zvtapi {

class TzvTapiDeviceOptions : public TObject {
 public:
  // Milliseconds every request of the device may take, and how long a synchronous wait lasts.
  Cardinal ReplyTimeout() const { return FReplyTimeout; }
  void SetReplyTimeout(Cardinal Value) { FReplyTimeout = Value; }
  // Request-starting operations wait for their reply.
  bool SyncMode() const { return FSyncMode; }
  void SetSyncMode(bool Value) { FSyncMode = Value; }

 private:
  Cardinal FReplyTimeout = 60000;
  bool FSyncMode = true;
};

class TzvTapiLineOptions : public TzvTapiDeviceOptions {
 public:
  // Milliseconds after IDLE before the line frees a call; -1 switches it off.
  Integer AutoFreeIdleCalls() const { return FAutoFreeIdleCalls; }
  void SetAutoFreeIdleCalls(Integer Value) { FAutoFreeIdleCalls = Value; }
  // Milliseconds after DISCONNECTED before the line drops a call; -1 switches it off.
  Integer AutoDropDiscCalls() const { return FAutoDropDiscCalls; }
  void SetAutoDropDiscCalls(Integer Value) { FAutoDropDiscCalls = Value; }

 private:
  Integer FAutoFreeIdleCalls = 500;
  Integer FAutoDropDiscCalls = 500;
};

class TzvTapiPhoneOptions : public TzvTapiDeviceOptions {};

// The LINECALLPRIVILEGE_ choice of a line. "None" stays exclusive: setting it clears the others,
// and clearing the last of the others sets it.
class TzvTapiLinePrivileges : public TObject {
 public:
  bool AutoSelect() const { return FAutoSelect; }
  void SetAutoSelect(bool Value) { FAutoSelect = Value; }
  // Index 0 Monitor, 1 None, any other Owner.
  bool GetPrivilege(int Index) const;
  virtual void SetPrivilege(int Index, bool Value);
  bool Monitor() const { return GetPrivilege(0); }
  bool None() const { return GetPrivilege(1); }
  bool Owner() const { return GetPrivilege(2); }
  void SetMonitor(bool Value) { SetPrivilege(0, Value); }
  void SetNone(bool Value) { SetPrivilege(1, Value); }
  void SetOwner(bool Value) { SetPrivilege(2, Value); }
  // LINECALLPRIVILEGE_ bits; writing takes the three bits as they are.
  Cardinal Value() const;
  void SetValue(Cardinal Value);
  // The privilege names joined by "+", owner first.
  std::string Text() const;

 private:
  bool FPrivNone = false;
  bool FPrivOwner = true;
  bool FPrivMonitor = true;
  bool FAutoSelect = true;
};

// The PHONEPRIVILEGE_ choice of a phone: owner or monitor, never both.
class TzvTapiPhonePrivileges : public TObject {
 public:
  bool AutoSelect() const { return FAutoSelect; }
  void SetAutoSelect(bool Value) { FAutoSelect = Value; }
  // Index 1 Owner, any other Monitor.
  bool GetPrivilege(int Index) const { return Index == 1 ? FPrivOwner : !FPrivOwner; }
  void SetPrivilege(int Index, bool Value) { FPrivOwner = Index == 1 ? Value : !Value; }
  bool Monitor() const { return GetPrivilege(0); }
  bool Owner() const { return GetPrivilege(1); }
  void SetMonitor(bool Value) { SetPrivilege(0, Value); }
  void SetOwner(bool Value) { SetPrivilege(1, Value); }
  // PHONEPRIVILEGE_OWNER (2) or PHONEPRIVILEGE_MONITOR (1); other values are refused.
  Cardinal Value() const;
  void SetValue(Cardinal Value);

 private:
  bool FAutoSelect = true;
  bool FPrivOwner = true;
};

}  // namespace zvtapi
