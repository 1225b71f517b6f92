// The library's one TAPI application: TAPI initialisation and shutdown, the event thread and
// notification window, the message queues, the device catalogue and the registry of line and
// phone components.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "platform/message_window.h"
#include "platform/sync.h"
#include "tapi/errors.h"
#include "tapi/event_thread.h"
#include "tapi/journal.h"
#include "tapi/protected_list.h"
#include "tapi/string_list.h"
#include "tapi/types.h"

namespace zvtapi {

class TzvTapiComponent;
class TzvTapiDevice;
class TzvCustomTapiLine;
class TzvCustomTapiPhone;

using TzvTapiDeviceNameEvent =
    std::function<void(TObject* Sender, Cardinal DeviceID, const std::string& DeviceName)>;
using TzvTapiRequestMakeCallEvent =
    std::function<void(TObject* Sender, const std::string& DestAddress, const std::string& AppName,
                       const std::string& CalledParty, const std::string& Comment)>;
using TzvTapiDetailedMessageEvent = std::function<void(
    TObject* Sender, Cardinal MessageID, Cardinal Device, Cardinal CallbackInstance,
    Cardinal Param1, Cardinal Param2, Cardinal Param3)>;

// Component references, never owned.
class TzvTapiLineList {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  TzvCustomTapiLine* Get(int index) const;
  void Put(int index, TzvCustomTapiLine* item);
  int IndexOf(const TzvCustomTapiLine* item) const;
  // Position of the first line bound to the device ID, or -1.
  int IndexOfDeviceID(Integer value) const;
  void Add(TzvCustomTapiLine* item) { FItems.push_back(item); }
  void Remove(const TzvCustomTapiLine* item);

 private:
  std::vector<TzvCustomTapiLine*> FItems;
};

class TzvTapiPhoneList {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  TzvCustomTapiPhone* Get(int index) const;
  void Put(int index, TzvCustomTapiPhone* item);
  int IndexOf(const TzvCustomTapiPhone* item) const;
  void Add(TzvCustomTapiPhone* item) { FItems.push_back(item); }
  void Remove(const TzvCustomTapiPhone* item);

 private:
  std::vector<TzvCustomTapiPhone*> FItems;
};

class TzvTapiApplication : public TObject {
 public:
  TzvTapiApplication();
  ~TzvTapiApplication() override;
  TzvTapiApplication(const TzvTapiApplication&) = delete;
  TzvTapiApplication& operator=(const TzvTapiApplication&) = delete;

  // Initialises TAPI; 0 or a TAPI error code, never raises for a TAPI failure.
  Cardinal Init(const std::string& AppName);
  // Shuts TAPI down; 0 or the result of the last shutdown function called.
  Cardinal Done();
  // Up to five attempts at Init when inactive; raises EzvTapiError when the last one failed.
  void Initialize();
  // Done when active; raises EzvTapiError for a failure.
  void Shutdown();
  bool CouldShutdown() const;

  bool Active() const { return FLineApp != 0; }
  void SetActive(bool Value);
  const std::string& AppName() const { return FAppName; }
  void Set_AppName(const std::string& Value);
  bool AssistMakeCall() const { return FAssistMakeCall; }
  void SetAssistMakeCall(bool Value);
  const TzvTapiLineList& Lines() const { return FLines; }
  const TzvTapiPhoneList& Phones() const { return FPhones; }
  const TStringList& LineDevices() const { return FLineDevices; }
  const TStringList& PhoneDevices() const { return FPhoneDevices; }
  Cardinal LineApp() const { return FLineApp; }
  Cardinal PhoneApp() const { return FPhoneApp; }
  Cardinal NumLines() const { return FNumLines; }
  Cardinal NumPhones() const { return FNumPhones; }
  Cardinal CallbackInstance() const { return FCallbackInstance; }

  // Component registry and attachment. Registering initialises TAPI when a registered
  // component is enabled; when that fails the component is not registered either.
  void AddTapiComponent(TzvTapiComponent* Component);
  void RemoveTapiComponent(TzvTapiComponent* Component);
  void AttachComponent(TzvTapiComponent* Component, bool Attach);
  Cardinal NextCallbackInstance() { return ++FLastCI; }
  TzvCustomTapiLine* FindLineByCallbackInstance(Cardinal Value) const;
  TzvCustomTapiPhone* FindPhoneByCallbackInstance(Cardinal Value) const;

  // Error routing: OnError gets Sender (the application when none), Error and Causer; an
  // exception from the handler is swallowed.
  virtual void HandleException(const std::exception& Error);
  virtual void DoError(TObject* Sender, const std::exception& Error, TObject* Causer);
  virtual void DoTapiMessage(Cardinal MessageID, Cardinal Device, Cardinal CallbackInstance,
                             Cardinal Param1, Cardinal Param2, Cardinal Param3);

  // The message path, for the synchronous waits of the devices.
  TzvTapiMsgStack& MsgStack() { return FMsgStack; }
  TzvTapiMsgStack& ReplyStack() { return FReplyStack; }
  Integer NumWaitProcs() const { return FNumWaitProcs; }
  void BeginWait() { ++FNumWaitProcs; }
  void EndWait() { --FNumWaitProcs; }
  bool ProcessNextMessage();
  int ProcessMessages(int MaxCount);
  void ProcessTimerTick(Cardinal TickCount);
  // Posts notification 1 (messages waiting) to the notification window.
  void PostMessagesWaiting() const;
  // Signalled (auto-reset) by the event thread each time it has added messages to the queue,
  // so that a synchronous wait need not poll for them.
  platform::HANDLE MessagesArrivedEvent() const { return FMessagesArrivedEvent; }
  // The last messages handed on to the devices, for error reports; readable from any thread.
  const TzvTapiJournal& Journal() const { return FJournal; }

  // Device catalogue.
  void UpdateLineDevice(Cardinal DeviceID);
  void UpdatePhoneDevice(Cardinal DeviceID);
  void UpdateLineDevices(bool DetectRenames);
  void UpdatePhoneDevices(bool DetectRenames);

  static std::string GetDefaultAppName();

  // Events.
  void SetOnInitialize(TNotifyEvent e) { FOnInitialize = std::move(e); }
  void SetOnLineCreate(TzvTapiDeviceNameEvent e) { FOnLineCreate = std::move(e); }
  void SetOnLineRemove(TzvTapiDeviceNameEvent e) { FOnLineRemove = std::move(e); }
  void SetOnLineRename(TzvTapiDeviceNameEvent e) { FOnLineRename = std::move(e); }
  void SetOnPhoneCreate(TzvTapiDeviceNameEvent e) { FOnPhoneCreate = std::move(e); }
  void SetOnPhoneRemove(TzvTapiDeviceNameEvent e) { FOnPhoneRemove = std::move(e); }
  void SetOnPhoneRename(TzvTapiDeviceNameEvent e) { FOnPhoneRename = std::move(e); }
  void SetOnRequestMakeCall(TzvTapiRequestMakeCallEvent e) { FOnRequestMakeCall = std::move(e); }
  void SetOnTapiMessage(TzvTapiDetailedMessageEvent e) { FOnTapiMessage = std::move(e); }
  void SetOnShutdown(TNotifyEvent e) { FOnShutdown = std::move(e); }
  void SetOnReinit(TNotifyEvent e) { FOnReinit = std::move(e); }
  void SetOnError(TzvTapiErrorEvent e) { FOnError = std::move(e); }

 private:
  friend class TzvTapiEventThread;

  Cardinal InitLines(const std::string& AppName);
  Cardinal InitPhones(const std::string& AppName);
  void StopEventThread();
  void WndProc(platform::Message& Message);
  void RouteLineMessage(const TTapiMessage& Msg);
  void RoutePhoneMessage(const TTapiMessage& Msg);
  void BroadcastToLines(const TTapiMessage& Msg);
  void BroadcastToPhones(const TTapiMessage& Msg);
  void LineDevStateChanged(const TTapiMessage& Msg);
  void LineCreated(Cardinal DeviceID);
  void LineRemoved(Cardinal DeviceID);
  void PhoneCreated(Cardinal DeviceID);
  void PhoneRemoved(Cardinal DeviceID);
  void HandleLineRequest(Cardinal RequestMode, Cardinal Param2, Cardinal Param3);

  void DoInitialize();
  void DoShutdown();
  void DoReinit();
  void DoLineCreate(Cardinal DeviceID, const std::string& DeviceName);
  void DoLineRemove(Cardinal DeviceID, const std::string& DeviceName);
  void DoLineRename(Cardinal DeviceID, const std::string& DeviceName);
  void DoPhoneCreate(Cardinal DeviceID, const std::string& DeviceName);
  void DoPhoneRemove(Cardinal DeviceID, const std::string& DeviceName);
  void DoPhoneRename(Cardinal DeviceID, const std::string& DeviceName);
  // Calls an event handler; its exception goes to HandleException.
  template <class Handler, class... Args>
  void Fire(const Handler& handler, Args&&... args);

  Cardinal FLineApp = 0;
  Cardinal FPhoneApp = 0;
  std::unique_ptr<TzvTapiEventThread> FTSPEventThread;
  // Written on the user-interface thread while the event thread may already post to it.
  std::atomic<platform::HWND> FWindowHandle{0};
  Cardinal FWindowMessage;
  Cardinal FNumLines = 0;
  platform::HANDLE FLineEvent = 0;
  Cardinal FNumPhones = 0;
  platform::HANDLE FPhoneEvent = 0;
  TzvTapiLineList FLines;
  TzvTapiPhoneList FPhones;
  Cardinal FCallbackInstance = 0;
  Cardinal FLastCI = 0;
  bool FAssistMakeCall = false;
  std::string FAppName;
  TStringList FLineDevices;
  TStringList FPhoneDevices;
  TzvTapiMsgStack FMsgStack;
  TzvTapiMsgStack FReplyStack;
  Integer FNumWaitProcs = 0;
  platform::HANDLE FMessagesArrivedEvent;
  TzvTapiJournal FJournal;

  TNotifyEvent FOnInitialize;
  TzvTapiDeviceNameEvent FOnLineCreate, FOnLineRemove, FOnLineRename;
  TzvTapiDeviceNameEvent FOnPhoneCreate, FOnPhoneRemove, FOnPhoneRename;
  TzvTapiRequestMakeCallEvent FOnRequestMakeCall;
  TzvTapiDetailedMessageEvent FOnTapiMessage;
  TNotifyEvent FOnShutdown;
  TNotifyEvent FOnReinit;
  TzvTapiErrorEvent FOnError;
};

// The one application object: created when the library starts, freed (after Done) when it
// ends; none after that, so late component destructors can tell.
extern TzvTapiApplication* zvTapiApplication;

// The TAPI version the library asks for at initialisation and when it names devices.
inline constexpr Cardinal kZvTapiVersion = 0x00020002;

// The notification window's message number and its kinds of notification.
inline constexpr Cardinal TAPI_NOTIFY_MESSAGES = 1;
inline constexpr Cardinal TAPI_NOTIFY_TIMER = 2;
// The event thread could not fetch a message TAPI announced; lParam holds TAPI's error code.
inline constexpr Cardinal TAPI_NOTIFY_FETCH_FAILED = 3;

}  // namespace zvtapi
