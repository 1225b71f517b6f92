// The phone component: binding to a phone device, opening it as owner or monitor, the status
// messages it asks for, the conversion of PHONE_* messages into changes of its caches and
// controls and into the events of TzvTapiPhone, and the phone's asynchronous requests.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "tapi/device.h"
#include "tapi/options.h"
#include "tapi/phone_features.h"

namespace zvtapi {

class TzvTapiPhoneLineDevice;

class TzvCustomTapiPhone : public TzvTapiDevice {
 public:
  // Registers the phone with the application object.
  explicit TzvCustomTapiPhone(TComponent* AOwner);
  // Closes and detaches the phone, then frees what it owns.
  ~TzvCustomTapiPhone() override;

  // The keypad's buttons: IDs 0 to 11 are the keys "0" to "9", "*" and "#".
  static constexpr Cardinal KeypadButtons = 12;
  static char16_t KeypadKey(Cardinal ButtonLampID);

  // Overrides of the device base.
  void TapiMessage(Cardinal hDevice, Cardinal MessageID, Cardinal Param1, Cardinal Param2,
                   Cardinal Param3) override;
  void DevStateChanged(Cardinal State, Cardinal Param2, Cardinal Param3) override;
  Cardinal GetReplyTimeout() const override;
  bool GetSyncMode() const override;
  void SetPermanentDeviceID(Cardinal Value) override;
  Cardinal Init(Integer DeviceID) override;
  void Done() override;
  void Open() override;
  void Close() override;

  // Added by the phone, in this order.
  // Rebuilds the controls, one per button/lamp ID of the capabilities.
  virtual void CreateControls();
  // Asks for every phone state, button mode and button state message the provider accepts;
  // TAPI's result.
  virtual Cardinal SetStatusMessages();
  virtual void ButtonChanged(Cardinal ButtonLampID, Cardinal ButtonMode, Cardinal ButtonState);
  virtual void DevSpecificReceived(Cardinal Param1, Cardinal Param2, Cardinal Param3);
  // Hooks for the published component; nothing here.
  virtual void DoButton(Cardinal ButtonLampID, Cardinal ButtonMode, Cardinal ButtonState);
  virtual void DoKeyUp(char16_t Key);
  virtual void DoKeyDown(char16_t Key);
  virtual void DoDevSpecific(Cardinal Param1, Cardinal Param2, Cardinal Param3);
  virtual void DoDevSpecificReply(Cardinal RequestID, TzvTapiDevSpecificData* Data,
                                  Integer ReplyCode);
  virtual void DoDevSpecificTimeout(Cardinal RequestID, TzvTapiDevSpecificData* Data,
                                    Cardinal Timeout);
  // The display's text through phoneGetDisplay; TAPI's result, Text empty unless it is 0.
  virtual Integer GetDisplayText(std::string& Text);
  virtual Cardinal GetStatusDWORD(Cardinal Index);
  // Writes the display from row 0, column 0 with Sender as the request's object.
  virtual void SetDisplayText(TObject* Sender, const std::string& Text);
  virtual Integer SetLamp(TzvTapiPhoneControl* Control, Cardinal LampMode);
  virtual Integer SetRing(TObject* Sender, Cardinal RingMode, Cardinal Volume);
  // The phoneOpen step of Open, with the privilege fallback; TAPI's result.
  virtual Integer OpenPhone(Cardinal CallbackInstance);
  virtual void SetDisplay(Integer Row, Integer Col, const std::string& Value);
  virtual void ConfigDialog(HWND OwnerWnd);
  // In synchronous mode the provider's answer is copied back into Params; in asynchronous
  // mode Params is never written.
  virtual void DevSpecific(void* Params, Cardinal Size);

  // Properties.
  TzvTapiPhoneCaps& Caps() { return *FDeviceCaps; }
  TzvTapiPhoneStatus& Status() { return *FDeviceStatus; }
  TzvTapiPhoneHookSwitch& HandSet() { return *FHandSet; }
  TzvTapiPhoneHookSwitch& HeadSet() { return *FHeadSet; }
  TzvTapiPhoneHookSwitch& Speakerphone() { return *FSpeakerphone; }
  TzvTapiPhoneOptions& Options() { return *FOptions; }
  TzvTapiPhonePrivileges& Privileges() { return *FPrivileges; }
  TzvTapiPhoneControlList& Controls() { return *FControls; }
  TzvTapiPhoneDisplay& Display() { return *FDisplay; }
  TzvTapiPhoneRinger& Ringer() { return *FRinger; }
  TzvTapiPhoneLineDevice* LineDev() const { return FLineDev.get(); }
  // The application object's phone application handle.
  Cardinal PhoneApp() const;
  // What phoneGetStatusMessages reports for the open phone; 0 when closed or when it fails.
  Cardinal PhoneStateMessages();
  Cardinal ButtonModeMessages();
  Cardinal ButtonStateMessages();
  // Each writes its own set with the other two as they stand.
  void SetPhoneStateMessages(Cardinal Value);
  void SetButtonModeMessages(Cardinal Value);
  void SetButtonStateMessages(Cardinal Value);

 protected:
  const TStringList& GetDeviceList() override;
  std::string GetDeviceName() const override;
  Cardinal GetIconHandle(const std::string& DeviceClass) override;
  void HandleReply(Cardinal RequestID, Integer ReplyCode, TzvTapiRequest* Request) override;
  void HandleTimeout(Cardinal RequestID, TzvTapiRequest* Request) override;
  void HandleTimerEvent(Cardinal ID, TzvTapiRequest* Request) override;

 private:
  friend class TzvTapiPhoneHookSwitch;

  struct TStatusMessages {
    DWORD PhoneStates = 0, ButtonModes = 0, ButtonStates = 0;
  };
  TStatusMessages GetStatusMessages();
  void WriteStatusMessages(const TStatusMessages& Messages);
  // Registers the request TAPI accepted (a negative Result is raised) and completes it.
  Integer CompleteRequest(Integer Result, Cardinal Type, TObject* Object);
  // Frees the controls; a pending request that names one forgets it first.
  void FreeControls();
  // The device-specific block of a request that ends, when it is still the request's.
  TzvTapiDevSpecificData* PendingBlock(TzvTapiRequest* Request, Cardinal RequestID);

  std::unique_ptr<TzvTapiPhoneCaps> FDeviceCaps;
  std::unique_ptr<TzvTapiPhoneStatus> FDeviceStatus;
  std::unique_ptr<TzvTapiPhoneHookSwitch> FHandSet;
  std::unique_ptr<TzvTapiPhoneHookSwitch> FHeadSet;
  std::unique_ptr<TzvTapiPhoneHookSwitch> FSpeakerphone;
  std::unique_ptr<TzvTapiPhoneOptions> FOptions;
  std::unique_ptr<TzvTapiPhonePrivileges> FPrivileges;
  std::unique_ptr<TzvTapiPhoneControlList> FControls;
  std::unique_ptr<TzvTapiPhoneDisplay> FDisplay;
  std::unique_ptr<TzvTapiPhoneRinger> FRinger;
  std::unique_ptr<TzvTapiPhoneLineDevice> FLineDev;  // "tapi/line"
};

// Event types; Sender is the phone.
using TzvTapiPhoneButtonEvent = std::function<void(TObject* Sender, Cardinal ButtonLampID,
                                                   Cardinal ButtonMode, Cardinal ButtonState)>;
using TzvTapiPhoneKeyEvent = std::function<void(TObject* Sender, char16_t Key)>;
using TzvTapiPhoneDevSpecificEvent =
    std::function<void(TObject* Sender, Cardinal Param1, Cardinal Param2, Cardinal Param3)>;
using TzvTapiPhoneDevSpecificReplyEvent = std::function<void(
    TObject* Sender, Cardinal RequestID, const void* Data, Cardinal DataSize, Integer ReplyCode)>;
using TzvTapiPhoneDevSpecificTimeoutEvent = std::function<void(
    TObject* Sender, Cardinal RequestID, const void* Data, Cardinal DataSize, Cardinal Timeout)>;

// The published phone component: the phone core with its hooks as events. Like the line's,
// the events of an open device fire only while it is open.
class TzvTapiPhone : public TzvCustomTapiPhone {
 public:
  using TzvCustomTapiPhone::TzvCustomTapiPhone;

  void SetOnButton(TzvTapiPhoneButtonEvent e) { FOnButton = std::move(e); }
  void SetOnKeyDown(TzvTapiPhoneKeyEvent e) { FOnKeyDown = std::move(e); }
  void SetOnKeyUp(TzvTapiPhoneKeyEvent e) { FOnKeyUp = std::move(e); }
  void SetOnDevSpecific(TzvTapiPhoneDevSpecificEvent e) { FOnDevSpecific = std::move(e); }
  void SetOnDevSpecificReply(TzvTapiPhoneDevSpecificReplyEvent e) {
    FOnDevSpecificReply = std::move(e);
  }
  void SetOnDevSpecificTimeout(TzvTapiPhoneDevSpecificTimeoutEvent e) {
    FOnDevSpecificTimeout = std::move(e);
  }

  void DoButton(Cardinal ButtonLampID, Cardinal ButtonMode, Cardinal ButtonState) override;
  void DoKeyUp(char16_t Key) override;
  void DoKeyDown(char16_t Key) override;
  void DoDevSpecific(Cardinal Param1, Cardinal Param2, Cardinal Param3) override;
  void DoDevSpecificReply(Cardinal RequestID, TzvTapiDevSpecificData* Data,
                          Integer ReplyCode) override;
  void DoDevSpecificTimeout(Cardinal RequestID, TzvTapiDevSpecificData* Data,
                            Cardinal Timeout) override;

 private:
  TzvTapiPhoneButtonEvent FOnButton;
  TzvTapiPhoneKeyEvent FOnKeyDown;
  TzvTapiPhoneKeyEvent FOnKeyUp;
  TzvTapiPhoneDevSpecificEvent FOnDevSpecific;
  TzvTapiPhoneDevSpecificReplyEvent FOnDevSpecificReply;
  TzvTapiPhoneDevSpecificTimeoutEvent FOnDevSpecificTimeout;
};

}  // namespace zvtapi
