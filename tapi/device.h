// What line and phone components share: attachment to the application object with error
// routing (TzvTapiComponent), and binding to a TAPI device, the open state behind Active, the
// pending requests and timer events, versions, icon and device-level events (TzvTapiDevice).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/sync.h"
#include "tapi/component.h"
#include "tapi/errors.h"
#include "tapi/requests.h"
#include "tapi/string_list.h"
#include "tapi/types.h"
#include "tapi32/tapi_structs.h"

namespace zvtapi {

class TzvTapiApplication;
class TzvTapiRequest;
class TzvTapiRequestList;
class TzvTapiTSP;
class TzvTapiRelatedWaveDevice;

enum TzvTapiComponentsAbout { zvTapiComponentsAbout };

using TzvTapiDeviceStateEvent = std::function<void(TObject* Sender, Cardinal State,
                                                   Cardinal StateDetail1, Cardinal StateDetail2)>;
using TzvTapiMessageEvent = std::function<void(TObject* Sender, Cardinal MessageID, Cardinal Device,
                                               Cardinal Param1, Cardinal Param2, Cardinal Param3)>;
using TzvTapiReplyEvent =
    std::function<void(TObject* Sender, Cardinal RequestID, Cardinal ReplyCode)>;
using TzvTapiTimeoutEvent = std::function<void(TObject* Sender, Cardinal RequestID)>;

class TzvTapiComponent : public TComponent {
 public:
  // Registers the component with the application object as a line or a phone.
  explicit TzvTapiComponent(TComponent* AOwner);
  ~TzvTapiComponent() override;

  TzvTapiComponentsAbout About() const { return FAbout; }
  bool Enabled() const { return FEnabled; }
  virtual void SetEnabled(bool Value);
  virtual bool IsAttached() const { return FAppl != nullptr; }
  Cardinal LastRequestID() const { return FLastRequestID; }
  void SetLastRequestID(Cardinal Value) { FLastRequestID = Value; }
  TzvTapiApplication* Appl() const { return FAppl; }
  void SetOnError(TzvTapiErrorEvent e) { FOnError = std::move(e); }

  // Reports an error to the application object's OnError and then to the component's own;
  // never raises.
  virtual void DoError(const std::exception& Error, TObject* Causer);

 protected:
  virtual void EnabledChanged();
  bool Enable();
  void Disable();
  // Writes the flag alone, for descendants whose SetEnabled decides differently.
  void SetEnabledFlag(bool Value) { FEnabled = Value; }
  // Calls an event handler; any standard exception it raises (the library's own and those of
  // the standard library alike) goes to DoError and no further.
  template <class Handler, class... Args>
  void Fire(const Handler& handler, Args&&... args) {
    if (!handler) return;
    try {
      handler(std::forward<Args>(args)...);
    } catch (const std::exception& e) {
      DoError(e, nullptr);
    }
  }

  Cardinal FLastRequestID = 0;

 private:
  friend class TzvTapiApplication;  // sets FAppl when attaching

  TzvTapiComponentsAbout FAbout = zvTapiComponentsAbout;
  TzvTapiErrorEvent FOnError;
  TzvTapiApplication* FAppl = nullptr;
  bool FEnabled = false;
};

class TzvTapiDevice : public TzvTapiComponent {
 public:
  explicit TzvTapiDevice(TComponent* AOwner);
  ~TzvTapiDevice() override;

  void Loaded() override;
  void SetEnabled(bool Value) override;

  // The open state.
  virtual void SetActive(bool Value);
  virtual bool GetActive() const;
  bool Active() const { return GetActive(); }
  virtual bool GetAvailable() const { return FInitialized; }
  bool Available() const { return GetAvailable(); }
  virtual bool IsOpen() const { return FHandle != 0; }
  Cardinal Handle() const { return FHandle; }
  Cardinal CallbackInstance() const { return FCallbackInstance; }

  // Binding.
  Integer DeviceID() const { return FDeviceID; }
  virtual void SetDeviceID(Integer Value);
  std::string DeviceName() const { return GetDeviceName(); }
  virtual void SetDeviceName(const std::string& Value);
  const TStringList& DeviceList() { return GetDeviceList(); }
  virtual Cardinal Init(Integer DeviceID);
  virtual void Done();
  virtual void Open() = 0;
  virtual void Close() = 0;
  Cardinal PermanentDeviceID() const { return FPermanentDeviceID; }
  virtual void SetPermanentDeviceID(Cardinal Value) = 0;
  TzvTapiTSP* TSP() const { return FTSP.get(); }
  // The device keeps its own version object: writing takes over Value's version bounds and
  // negotiates them for this device (Value may belong to a device bound elsewhere, or to none).
  void SetTSP(const TzvTapiTSP& Value);

  // Icon handle for a device class, fetched on first use while available.
  Cardinal Icon();
  TzvTapiRelatedWaveDevice* WaveInDev() const { return FWaveInDev.get(); }
  TzvTapiRelatedWaveDevice* WaveOutDev() const { return FWaveOutDev.get(); }

  // Device events from TAPI.
  virtual void DeviceClosed();
  virtual void DeviceRemoved(Integer DeviceID);
  virtual void TapiMessage(Cardinal hDevice, Cardinal MessageID, Cardinal Param1, Cardinal Param2,
                           Cardinal Param3);
  virtual void DevStateChanged(Cardinal State, Cardinal Param2, Cardinal Param3);

  // The guarded entry points of the application object's message routing: a standard exception
  // goes to DoError and no further, so one failing message never stops the dispatch.
  void DispatchTapiMessage(Cardinal hDevice, Cardinal MessageID, Cardinal Param1, Cardinal Param2,
                           Cardinal Param3);
  void DispatchTimerTick(Cardinal TickCount);

  // Requests (see requests.h).
  virtual void TapiReply(Cardinal RequestID, Integer ReplyCode);
  virtual void CheckTimeouts(Cardinal TickCount);
  virtual Cardinal GetReplyTimeout() const = 0;
  virtual bool GetSyncMode() const = 0;
  TzvTapiRequestList& Requests() { return *FRequests; }
  TzvTapiRequest* GetRequest(Integer RequestID) const;
  // "&Call" gives the request's call; empty gives none.
  TObject* GetRequestObj(Integer RequestID, const std::string& Obj) const;
  // The request's notes, and the pseudo-notes beginning with "&" that read its objects.
  TzvTapiNoteValue GetRequestNote(Integer RequestID, const std::string& Ident) const;
  void SetRequestNote(Integer RequestID, const std::string& Ident, const TzvTapiNoteValue& Value);
  TzvTapiRequestList& TimerEvents() { return *FTimerEvents; }
  platform::HANDLE AbortEvent() const { return FAbortEvent; }

  void CheckEnabled() const;
  void CheckActive() const;

  // Events.
  void SetOnDeviceClose(TNotifyEvent e) { FOnDeviceClose = std::move(e); }
  void SetOnDeviceRemove(TNotifyEvent e) { FOnDeviceRemove = std::move(e); }
  const TNotifyEvent& OnDeviceClose() const { return FOnDeviceClose; }
  void SetOnDevStateChange(TzvTapiDeviceStateEvent e) { FOnDevStateChange = std::move(e); }
  void SetOnTapiMessage(TzvTapiMessageEvent e) { FOnTapiMessage = std::move(e); }
  void SetOnTapiReply(TzvTapiReplyEvent e) { FOnTapiReply = std::move(e); }
  void SetOnTapiTimeout(TzvTapiTimeoutEvent e) { FOnTapiTimeout = std::move(e); }
  void SetOnTapiReinit(TNotifyEvent e) { FOnTapiReinit = std::move(e); }
  void SetOnTapiTranslateChange(TNotifyEvent e) { FOnTapiTranslateChange = std::move(e); }

 protected:
  void EnabledChanged() override;
  virtual void UpdateActive();
  virtual void HandleReply(Cardinal RequestID, Integer ReplyCode, TzvTapiRequest* Request) = 0;
  virtual void HandleTimeout(Cardinal RequestID, TzvTapiRequest* Request);
  virtual void HandleTimerEvent(Cardinal ID, TzvTapiRequest* Request);
  virtual std::string GetDeviceName() const;
  virtual const TStringList& GetDeviceList() = 0;
  virtual Cardinal GetIconHandle(const std::string& DeviceClass);
  // The icon TAPI's GetIcon entry point gives for the class, or for the device's own class
  // (DefaultClass) when none is named; 0 when there is none.
  using TGetIconFunc = ::LONG (*)(::DWORD, ::LPCWSTR, ::HICON*);
  Cardinal IconOf(TGetIconFunc GetIcon, const std::string& DeviceClass,
                  const char16_t* DefaultClass) const;
  // Binds to the device whose permanent ID is Value, asking a probe device of the same kind
  // about every device ID in turn; unbound (-1) when none has it.
  template <class Device>
  void BindToPermanentID(Cardinal Value) {
    FPermanentDeviceID = Value;
    auto probe = std::make_unique<Device>(nullptr);
    const int count = DeviceList().Count();
    for (int i = 0; i < count; ++i) {
      probe->SetDeviceID(i);
      if (probe->Available() && probe->PermanentDeviceID() == Value) {
        SetDeviceID(i);
        return;
      }
    }
    SetDeviceID(-1);
  }

  virtual void DoDeviceRemove();
  virtual void DoDeviceClose();
  virtual void DoDevStateChange(Cardinal State, Cardinal StateDetail1, Cardinal StateDetail2);
  virtual void DoTapiMessage(Cardinal MessageID, Cardinal Device, Cardinal Param1, Cardinal Param2,
                             Cardinal Param3);
  virtual void DoTapiReply(Cardinal RequestID, Integer ReplyCode);
  virtual void DoTapiReinit();
  virtual void DoTapiTimeout(Cardinal RequestID, TzvTapiRequest* Request);
  virtual void DoTapiTranslateChange();

  // Request is still pending under ID: no handler has freed it (see IndexOfEntry).
  bool IsRequestPending(const TzvTapiRequest* Request, Cardinal ID);
  // Removes and frees Request while it is pending under ID.
  void RemoveRequest(const TzvTapiRequest* Request, Cardinal ID);

  // Registers the request TAPI accepted (Result is its ID) with the device's reply time-out, its
  // type and objects; its ID.
  Integer RegisterRequest(Integer Result, Cardinal Type, TObject* Object0,
                          TObject* Object1 = nullptr, TObject* Object2 = nullptr);

  // Device-specific requests: TAPI answers into a private copy of the caller's block, listed
  // in FDevSpecificList until its reply, its time-out or the close. Blocks go by their address
  // and the request they belong to, as requests do: a handler may free one and start another
  // that lands at the same address.
  TzvTapiDevSpecificDataList& DevSpecificList() { return *FDevSpecificList; }
  int IndexOfDevSpecificBlock(const TzvTapiDevSpecificData* Data, Cardinal RequestID) const;
  bool IsDevSpecificBlockListed(const TzvTapiDevSpecificData* Data, Cardinal RequestID);
  void FreeDevSpecificBlock(const TzvTapiDevSpecificData* Data, Cardinal RequestID);
  // Lists the block TAPI accepted under RequestID and registers its request (object 0).
  Integer RegisterDevSpecific(std::unique_ptr<TzvTapiDevSpecificData> Block, Cardinal Type,
                              Cardinal RequestID);
  // The request is given up before TAPI replied: its block leaves the list and waits for the
  // late reply, since TAPI may still write into it.
  void OrphanDevSpecificBlock(Cardinal RequestID, const TzvTapiDevSpecificData* Data);
  // TAPI replied to RequestID: nothing of it can be written any more.
  void ReleaseOrphanBlock(Cardinal RequestID) { FOrphanBlocks.erase(RequestID); }
  // The rest of a device-specific request after registration: in synchronous mode the wait,
  // the copy of the provider's answer back into Params and the block's end.
  void FinishDevSpecific(Integer RequestID, TzvTapiDevSpecificData* Data, void* Params,
                         Cardinal Size);
  // Closing: the listed blocks move into Kept, which the caller holds until TAPI has closed
  // the device and writes nothing more.
  using TDevSpecificBlocks = std::vector<std::unique_ptr<TzvTapiDevSpecificData>>;
  void KeepDevSpecificBlocks(TDevSpecificBlocks& Kept);

  // Takes a fresh callback instance from the application object for the next open.
  Cardinal NewCallbackInstance();

  bool FActive = false;
  bool FInitialized = false;
  Integer FDeviceID = -1;
  std::string FDeviceName;
  Cardinal FHandle = 0;
  bool FClosedByTapi = false;
  Cardinal FCallbackInstance = 0;
  std::unique_ptr<TzvTapiRequestList> FRequests;
  std::unique_ptr<TzvTapiRequestList> FTimerEvents;
  std::unique_ptr<TzvTapiDevSpecificDataList> FDevSpecificList;
  std::unordered_map<Cardinal, std::unique_ptr<TzvTapiDevSpecificData>> FOrphanBlocks;
  std::unique_ptr<TzvTapiTSP> FTSP;  // created by the descendant
  Cardinal FIcon = 0;
  platform::HANDLE FAbortEvent = 0;
  Cardinal FPermanentDeviceID = 0;
  std::unique_ptr<TzvTapiRelatedWaveDevice> FWaveInDev;
  std::unique_ptr<TzvTapiRelatedWaveDevice> FWaveOutDev;

 private:
  TNotifyEvent FOnDeviceClose;
  TNotifyEvent FOnDeviceRemove;
  TzvTapiDeviceStateEvent FOnDevStateChange;
  TzvTapiMessageEvent FOnTapiMessage;
  TzvTapiReplyEvent FOnTapiReply;
  TzvTapiTimeoutEvent FOnTapiTimeout;
  TNotifyEvent FOnTapiReinit;
  TNotifyEvent FOnTapiTranslateChange;
};

}  // namespace zvtapi
