// The line component: binding to a line device, opening it with automatically chosen
// privileges, the state messages it asks for, the calls it adopts and keeps, its addresses,
// capabilities and status, and the conversion of every TAPI line message into changes of its
// calls and into the events of TzvTapiLine.
#pragma once

#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "tapi/address.h"
#include "tapi/call.h"
#include "tapi/call_params.h"
#include "tapi/device.h"
#include "tapi/line_caps.h"
#include "tapi/location.h"
#include "tapi/options.h"

namespace zvtapi {

class TzvTapiLine;
class TzvTapiLinePhoneDevices;

class TzvCustomTapiLine : public TzvTapiDevice {
 public:
  // Registers the line with the application object.
  explicit TzvCustomTapiLine(TComponent* AOwner);
  // Closes and detaches the line, then frees what it owns.
  ~TzvCustomTapiLine() override;

  // Binding and the open state.
  Cardinal Init(Integer DeviceID) override;
  void Done() override;
  void Open() override;
  void Close() override;
  void SetPermanentDeviceID(Cardinal Value) override;
  Cardinal GetReplyTimeout() const override;
  bool GetSyncMode() const override;

  // Rebuilds the address objects from the capabilities.
  virtual void CreateAddresses();
  // Frees the calls TAPI no longer knows and adopts those it reports; on a closed line frees
  // every call. 0, or the error of lineGetNewCalls.
  virtual Cardinal RefreshCalls();
  // Asks for every line and address state message the provider accepts; TAPI's result.
  virtual Cardinal SetStatusMessages();

  // Properties.
  TzvTapiAddressList& Addresses() { return *FAddresses; }
  const TzvTapiAddressList& Addresses() const { return *FAddresses; }
  // The line keeps its address objects, one per address of its device; writing copies the
  // settings of Value's addresses into them by address ID (TzvTapiAddressList::Assign).
  void SetAddresses(const TzvTapiAddressList& Value) { FAddresses->Assign(Value); }
  const TStringList& AddressList() const { return *FAddressList; }
  TzvTapiCallList& Calls() { return *FCalls; }
  TzvTapiCallList& UnconfirmedCalls() { return *FUnconfirmedCalls; }
  TzvTapiCallClass CallClass() const { return FCallClass; }
  void SetCallClass(TzvTapiCallClass Value) { FCallClass = Value; }
  TzvTapiCallOptions& CallOptions() { return *FCallOptions; }
  TzvTapiLineCallParams& CallParams() { return *FCallParams; }
  TzvTapiLineOptions& Options() { return *FOptions; }
  const TzvTapiLineOptions& Options() const { return *FOptions; }
  TzvTapiLinePrivileges& Privileges() { return *FPrivileges; }
  TzvTapiLineCaps& Caps() { return *FDeviceCaps; }
  TzvTapiLineStatus& Status() { return *FDeviceStatus; }
  // The phones that are sets of this line ("tapi/phone").
  TzvTapiLinePhoneDevices& Phones() { return *FPhoneDevs; }
  TzvTapiRelatedWaveDevice* WaveIn() const { return WaveInDev(); }
  TzvTapiRelatedWaveDevice* WaveOut() const { return WaveOutDev(); }
  Cardinal MediaModes() const { return FMediaModes; }
  void SetMediaModes(Cardinal Value) { FMediaModes = Value; }
  // The application object's line application handle.
  Cardinal LineApp() const;
  // The cached structures as they are; nothing is fetched.
  const ::LINEDEVCAPS* LINEDEVCAPS() const;
  const ::LINEDEVSTATUS* LINEDEVSTATUS() const;
  // What lineGetStatusMessages reports for the open line; 0 when closed or when it fails.
  virtual Cardinal GetLineStateMessages();
  virtual Cardinal GetAddressStateMessages();
  Cardinal LineStateMessages() { return GetLineStateMessages(); }
  Cardinal AddressStateMessages() { return GetAddressStateMessages(); }
  void SetLineStateMessages(Cardinal Value);
  void SetAddressStateMessages(Cardinal Value);

  // The current dialing location; loaded from TAPI on the first read that finds it empty. The
  // line refreshes it after TranslateDialog and when TAPI reports a re-initialisation or a
  // change of the locations.
  TzvTapiSystemLocation& Location();
  // Address translated for dialing from the current location (lineTranslateAddressW with card
  // 0 and Options); empty when TAPI cannot translate it. Raises on an unbound line.
  virtual std::string TranslateAddress(const std::string& Address, Cardinal Options);
  // TAPI's dialing-locations dialog previewing Address, then the location is refreshed; TAPI's
  // error is raised. Raises on an unbound line.
  virtual void TranslateDialog(const std::string& Address, HWND OwnerWnd);
  // TAPI's configuration dialog of the line device; TAPI's error is raised. Raises on an
  // unbound line.
  virtual void ConfigDialog(HWND OwnerWnd);

  // The address whose name is Value (letter case ignored); none when there is none.
  TzvTapiAddress* Get_AddressByName(const std::string& Value) const;

  // Forwarding. ForwardAddress forwards Address, or with none every address of the line, as
  // the list says (none: the forwarding is cancelled); the reply of a successful request puts
  // the consultation call's handle (0 when TAPI opened none) into ConsultCallHandle, which must
  // outlive the request unless it is the address's own. GetForwardList fills ForwardList with
  // the forwarding in the address's cached status.
  virtual void ForwardAddress(TzvTapiAddress* Address, const ::LINEFORWARDLIST* ForwardList,
                              Cardinal NumRingsNoAnswer, Cardinal& ConsultCallHandle,
                              const ::LINECALLPARAMS* CallParams);
  virtual void GetForwardList(TzvTapiAddress* Address, TzvTapiForwardList* ForwardList);
  // Call is one of the calls with a handle. It may be asked about an object that has gone.
  bool IsCallValid(const TzvTapiCall* Call);
  // Call is in either call list. It may be asked about an object that has gone.
  bool IsCallKnown(const TzvTapiCall* Call) const;
  // Object is one of this line's call objects that still exists (listed or not); what a
  // request or timer slot holds is only taken for a call when it is. Object is not looked into
  // unless it exists.
  bool IsCallObject(const TObject* Object) const;
  // True when Call is listed and has a handle; otherwise false, or, with a message, an
  // exception "<Msg>! Invalid call.". Call may be an object that has gone.
  bool CheckCall(const TzvTapiCall* Call, const std::string& Msg) const;

  // Call control. Each operation checks that the line is open and, where it concerns a call,
  // that the call is one of its calls with a handle; a TAPI error returned at once is raised
  // with nothing registered and no new call left behind. The asynchronous ones register their
  // request and, in synchronous mode, return only after TAPI's reply, raising its error.
  // Calls that an operation creates start without a handle in UnconfirmedCalls. They get
  // TAPI's handle with the reply, or earlier when TAPI reports the new call first; either way
  // the line's messages for the call reach the object the operation returned. When the request
  // fails or times out the line frees those TAPI never made; one TAPI made after all stays and
  // ends like any other call.
  virtual void Accept(TzvTapiCall* Call, const std::string& UserUserInfo);
  virtual void Answer(TzvTapiCall* Call, const std::string& UserUserInfo);
  virtual void Drop(TzvTapiCall* Call, const std::string& UserUserInfo);
  // The line's CallParams as a LINECALLPARAMS, country code 0.
  virtual TzvTapiCall* MakeCall(const std::string& DestAddr);
  virtual TzvTapiCall* MakeCall(const std::string& DestAddr, Cardinal CountryCode,
                                const ::LINECALLPARAMS* CallParams);
  virtual void Dial(TzvTapiCall* Call, const std::string& DestAddr, Cardinal CountryCode);
  // The new conference call for LINETRANSFERMODE_CONFERENCE, otherwise none.
  virtual TzvTapiCall* CompleteTransfer(TzvTapiCall* Call, TzvTapiCall* ConsultCall,
                                        Cardinal TransferMode);
  // The new consultation call.
  virtual TzvTapiCall* SetupTransfer(TzvTapiCall* Call, const ::LINECALLPARAMS* CallParams);
  virtual TzvTapiCall* Unpark(Cardinal AddressID, const std::string& DestAddress);
  virtual void BlindTransfer(TzvTapiCall* Call, const std::string& DestAddr, Cardinal CountryCode);
  // TAPI writes the completion ID into CompletionID when the request completes; the variable
  // must outlive the request.
  virtual void CompleteCall(TzvTapiCall* Call, Cardinal& CompletionID, Cardinal CompletionMode,
                            Cardinal MessageID);
  virtual void GenerateDigits(TzvTapiCall* Call, const std::string& Digits, Cardinal DigitMode,
                              Cardinal Duration);
  virtual void HandOff(TzvTapiCall* Call, const std::string& FileName, Cardinal MediaMode);
  virtual void Hold(TzvTapiCall* Call);
  // NonDirAddress, when given, must outlive the request.
  virtual void Park(TzvTapiCall* Call, Cardinal ParkMode, const std::string& DirAddress,
                    ::VARSTRING* NonDirAddress);
  virtual void SwapHold(TzvTapiCall* Call, TzvTapiCall* HeldCall);
  virtual void UncompleteCall(Cardinal CompletionID);
  virtual void UnHold(TzvTapiCall* Call);
  // Always a plain TzvTapiCall, whatever CallClass says.
  virtual TzvTapiCall* Pickup(Cardinal AddressID, const std::string& DestAddress,
                              const std::string& GroupID);
  // Fills ConfCalls with the known calls of Call's conference, the conference call first;
  // false (and an empty list) when TAPI lists none or fails.
  virtual bool GetConfRelatedCalls(TzvTapiCall* Call, TzvTapiCallList* ConfCalls);
  // The new consultation call.
  virtual TzvTapiCall* PrepareAddToConference(TzvTapiCall* ConfCall,
                                              const ::LINECALLPARAMS* CallParams);
  virtual void AddToConference(TzvTapiCall* ConfCall, TzvTapiCall* ConsultCall);
  // In synchronous mode the provider's answer is copied back into Params.
  virtual void DevSpecific(void* Params, Cardinal Size, TzvTapiAddress* Address, TzvTapiCall* Call);
  virtual void DevSpecificFeature(Cardinal Feature, void* Params, Cardinal Size);
  virtual void GenerateTone(TzvTapiCall* Call, Cardinal ToneMode, Cardinal Duration,
                            Cardinal NumTones, const ::LINEGENERATETONE* Tones);
  virtual void MonitorMedia(TzvTapiCall* Call, Cardinal MediaModes);
  virtual void MonitorTones(TzvTapiCall* Call, const ::LINEMONITORTONE* ToneList,
                            Cardinal NumEntries);
  // Digit gathering on a call (lineGatherDigitsW); TAPI's refusal is raised. The call's handle is
  // not checked here: TAPI refuses a call without one. TAPI writes the digits into a buffer of
  // the line's, which the call's gatherer gets with LINE_GATHERDIGITS, if the call is still there.
  virtual void GatherDigits(TzvTapiCall* Call, Cardinal DigitModes, Cardinal NumDigits,
                            const std::string& TerminationDigits, Cardinal FirstDigitTimeout,
                            Cardinal InterDigitTimeout);
  // Cancels the call's gathering; TAPI ends it with LINE_GATHERDIGITS (CANCEL).
  virtual void CancelGatherDigits(TzvTapiCall* Call, Cardinal DigitModes);
  virtual void Redirect(TzvTapiCall* Call, const std::string& DestAddr, Cardinal CountryCode);
  virtual void RemoveFromConference(TzvTapiCall* Call);
  virtual void SetCallData(TzvTapiCall* Call, const void* Data, Cardinal DataSize);
  // ConfCall and ConsultCall are none until TAPI has accepted the request; after a failed
  // reply in synchronous mode they must not be used.
  virtual void SetupConference(TzvTapiCall* Call, TzvTapiCall*& ConfCall, TzvTapiCall*& ConsultCall,
                               Cardinal NumParties, const ::LINECALLPARAMS* CallParams);

  // The first listed call other than Exclude in one of States with one of Features on the
  // address AddressID (-1: any); failing that, the same search without the features, then on
  // any address, then on any address without the features.
  TzvTapiCall* FindRelatedCall(Cardinal States, Cardinal Features, Integer AddressID,
                               const TzvTapiCall* Exclude);

  // The line's entry in the application's device list now holds another name.
  virtual void DeviceNameChanged(const std::string& NewName);
  void DevStateChanged(Cardinal State, Cardinal Param2, Cardinal Param3) override;
  void TapiMessage(Cardinal hDevice, Cardinal MessageID, Cardinal Param1, Cardinal Param2,
                   Cardinal Param3) override;

 protected:
  friend class TzvTapiCall;
  friend class TzvTapiAddress;

  // An address object is going: nothing TAPI answers later may be written into it, and no
  // pending request may name it any more.
  void AddressGone(TzvTapiAddress* Address);

  const TStringList& GetDeviceList() override;
  std::string GetDeviceName() const override;
  Cardinal GetIconHandle(const std::string& DeviceClass) override;
  void DoDevStateChange(Cardinal State, Cardinal StateDetail1, Cardinal StateDetail2) override;

  // Opening with the given callback instance and call parameters; the last lineOpenW result.
  Cardinal OpenLine(Cardinal CallbackInstance, const LINECALLPARAMS* CallParams);

  // Call-list bookkeeping.
  void AddCall(TzvTapiCall* Call);
  bool SortCalls(TzvTapiCall* Call);
  TzvTapiCall* FindCall(Cardinal CallHandle, bool Create);
  // Takes Call out of both lists, the pending requests and the timer events; a request that
  // holds it in a further slot only loses that reference, and a device-specific block only its
  // call.
  void ForgetCall(TzvTapiCall* Call);
  void ReleaseCallReferences(TzvTapiCall* Call);
  // The call object's last word: from now on nothing may take it for a call.
  void CallDestroyed(TzvTapiCall* Call);
  // Whether Call, in Calls when Calls().Removals() read RemovalsBefore, still is. Handlers may
  // free calls; Call is looked at only when some call has left the list since.
  bool StillListed(const TzvTapiCall* Call, Cardinal RemovalsBefore) const;
  // Whether TAPI still knows the handle; a failure to ask other than "invalid handle" goes to
  // DoError and counts as valid.
  bool IsCallHandleValid(Cardinal CallHandle);
  void ScheduleFreeIdleCall(TzvTapiCall* Call);
  void ScheduleDropDisconnectedCall(TzvTapiCall* Call);

  // Message handlers.
  virtual void LineAddressState(Cardinal AddressID, Cardinal AddressState);
  virtual void LineAgentStatus(Cardinal Param1, Cardinal Param2, Cardinal Param3);
  virtual TzvTapiCall* LineAppNewCall(Cardinal CallHandle);
  virtual void LineCallState(Cardinal CallHandle, Cardinal State, Cardinal StateMode,
                             Cardinal Privilege);
  virtual void LineCallInfo(Cardinal CallHandle, Cardinal InfoStates);
  virtual void LineDevSpecific(Cardinal hDevice, Cardinal Param1, Cardinal Param2, Cardinal Param3);
  virtual void LineDevSpecificFeature(Cardinal hDevice, Cardinal Param1, Cardinal Param2,
                                      Cardinal Param3);
  virtual void LineGatherDigits(Cardinal CallHandle, Cardinal Termination);
  virtual void LineGenerate(Cardinal CallHandle, Cardinal Termination);
  virtual void LineMonitorDigits(Cardinal CallHandle, Cardinal Digit, Cardinal DigitMode);
  virtual void LineMonitorMedia(Cardinal CallHandle, Cardinal MediaMode, Cardinal TickCount);
  virtual void LineMonitorTone(Cardinal CallHandle, Cardinal AppSpecific);

  // Request completion.
  void HandleReply(Cardinal RequestID, Integer ReplyCode, TzvTapiRequest* Request) override;
  void HandleTimeout(Cardinal RequestID, TzvTapiRequest* Request) override;
  void HandleTimerEvent(Cardinal ID, TzvTapiRequest* Request) override;

  // Event firers; empty here, TzvTapiLine fires its events from them.
  virtual void DoAddressState(TzvTapiAddress* Address, Cardinal AddressState);
  virtual void DoCallBegin(TzvTapiCall* Call);
  virtual void DoCallEnd(TzvTapiCall* Call);
  virtual void DoCallInfo(TzvTapiCall* Call, Cardinal InfoStates);
  virtual void DoCallPrivilege(TzvTapiCall* Call, Cardinal Privilege);
  virtual void DoCallState(TzvTapiCall* Call, Cardinal State, Cardinal StateMode,
                           Cardinal Privilege);
  virtual void DoCallDeallocate(TzvTapiCall* Call);
  virtual void DoDevSpecific(TzvTapiCall* Call, Cardinal Param1, Cardinal Param2, Cardinal Param3);
  virtual void DoDevSpecificFeature(TzvTapiCall* Call, Cardinal Param1, Cardinal Param2,
                                    Cardinal Param3);
  virtual void DoDevSpecificReply(Cardinal RequestID, TzvTapiLineDevSpecificData* Data,
                                  Cardinal ReplyCode);
  virtual void DoDevSpecificTimeout(Cardinal RequestID, TzvTapiLineDevSpecificData* Data,
                                    Cardinal Timeout);
  virtual void DoDevSpecificFeatureReply(Cardinal RequestID, Cardinal Feature, Cardinal ReplyCode,
                                         TzvTapiLineDevSpecificFeatureData* Data);
  virtual void DoDevSpecificFeatureTimeout(Cardinal RequestID, Cardinal Feature, Cardinal Timeout,
                                           TzvTapiLineDevSpecificFeatureData* Data);
  virtual void DoDigit(TzvTapiCall* Call, Cardinal Digit, Cardinal DigitMode);
  virtual void DoGatherDigits(TzvTapiCall* Call, Cardinal Termination);
  virtual void DoGenerate(TzvTapiCall* Call, Cardinal Termination);
  virtual void DoMediaMode(TzvTapiCall* Call, Cardinal MediaMode, Cardinal TickCount);
  virtual void DoTone(TzvTapiCall* Call, Cardinal AppSpecific);
  virtual void DoSilence(TzvTapiCall* Call);
  virtual void DoNewCall(TzvTapiCall* Call);

 private:
  // Frees a call object; a failure goes to DoError.
  void FreeCall(TzvTapiCall* Call);
  // The request's calls at index 2, 1, 0, each while it is still one of this line's calls; stops
  // when the request is no longer pending under RequestID. Request must be pending on entry.
  template <class F>
  void ForEachRequestCall(TzvTapiRequest* Request, Cardinal RequestID, F&& f);
  // Frees the request's calls for which Unborn says that TAPI never made them.
  template <class F>
  void FreeUnbornCalls(TzvTapiRequest* Request, Cardinal RequestID, F&& Unborn);
  void ScheduleCallTimer(TzvTapiCall* Call, Integer Delay, Cardinal Type);
  // Location.Update for a message; a failure goes to DoError, so the message's events still fire.
  void RefreshLocation();

  // Where TAPI writes what a request hands back (a new call's handle, a completion ID, a park
  // address): a cell of the line's own. A completion ID or park address is copied to the
  // caller's variable when the reply reports success. A new call takes its handle as soon as
  // the line sees it written: some providers report the new call before they answer the
  // request, and those messages must reach the object the operation returned. TAPI may write
  // as late as its reply, which can come after the line gave up waiting or after the new call
  // object was freed; the cell lives until then (or until the line is closed, after which TAPI
  // writes nothing), so it never points at freed memory.
  struct TReplyCell {
    std::unique_ptr<uint8_t[]> Bytes;
    Cardinal Size = 0;
    TzvTapiCall* Call = nullptr;      // the new call whose handle this is, until it has taken it
    void* Dest = nullptr;             // the caller's variable
    const TObject* Holder = nullptr;  // the library object Dest lies in, when it is one
  };
  using TReplyCells = std::vector<TReplyCell>;
  // A cell for a new call's handle.
  static TReplyCell HandleCell(TzvTapiCall* Call);
  // A cell of Size bytes copied to Dest; its first bytes are Dest's, so that a structure's
  // size header reaches TAPI.
  static TReplyCell CopyCell(void* Dest, Cardinal Size);
  static LPHCALL HandleTarget(TReplyCell& Cell) {
    return reinterpret_cast<LPHCALL>(Cell.Bytes.get());
  }
  // As the device's RegisterRequest; the cells are kept until the reply.
  using TzvTapiDevice::RegisterRequest;
  Integer RegisterRequest(LONG Result, Cardinal Type, TObject* Object0, TObject* Object1,
                          TObject* Object2, TReplyCells Cells);
  // The new call of a creating operation: the line's CallClass, or a plain call; without a
  // handle, among the unconfirmed calls.
  TzvTapiCall* CreateOperationCall(bool Plain);
  // Frees the calls an operation made when TAPI refused it at once, then raises the error.
  [[noreturn]] void AbandonOperation(Cardinal Result, std::initializer_list<TzvTapiCall*> NewCalls);
  // What TAPI has written into a new call's handle cell; 0 while nothing.
  static Cardinal WrittenHandle(TReplyCell& Cell);
  // The cell's call takes the handle TAPI wrote and joins the calls with a handle.
  void GiveWrittenHandle(TReplyCell& Cell, Cardinal Handle);
  // A call an operation is making whose handle TAPI has already written, ahead of the reply:
  // it gets the handle now. None when no pending cell holds CallHandle.
  TzvTapiCall* ClaimWrittenHandle(Cardinal CallHandle);
  // Every handle TAPI has written into the request's cells goes to its call now.
  void ClaimWrittenHandles(Cardinal RequestID);
  // The reply gives new calls the handles TAPI wrote and, when it reports success, writes the
  // other cells to the caller's variables.
  void DeliverReplyCells(Cardinal RequestID, Integer ReplyCode);
  // The request is given up before TAPI replied: its cells wait for the late reply.
  void OrphanReplyCells(Cardinal RequestID);
  // TAPI replied: nothing of the request can be written any more.
  void ReleaseOrphans(Cardinal RequestID);

  // Where TAPI writes the digits of a gathering, from lineGatherDigitsW to its LINE_GATHERDIGITS
  // or the line's close: the call may be freed meanwhile, and a new gathering of the call makes
  // the old one's report (its cancellation) nobody's business.
  struct TGatherCell {
    std::u16string Digits;        // NumDigits characters and a NUL; TAPI writes into it
    TzvTapiCall* Call = nullptr;  // whose gathering it is; none once the call has gone
  };
  // The call's gathering ended: the cell TAPI wrote into is handed to the gatherer, if any.
  bool TakeGatherCell(Cardinal CallHandle, Cardinal Termination);

  std::unique_ptr<TzvTapiAddressList> FAddresses;
  std::unique_ptr<TStringList> FAddressList;
  TzvTapiCallClass FCallClass = nullptr;
  std::unique_ptr<TzvTapiCallOptions> FCallOptions;
  std::unique_ptr<TzvTapiLineCallParams> FCallParams;
  std::unique_ptr<TzvTapiCallList> FCalls;
  std::unique_ptr<TzvTapiLineCaps> FDeviceCaps;
  std::unique_ptr<TzvTapiLineStatus> FDeviceStatus;
  std::unique_ptr<TzvTapiLinePhoneDevices> FPhoneDevs;
  std::unique_ptr<TzvTapiSystemLocation> FLocation;
  Cardinal FMediaModes = 0;
  std::unique_ptr<TzvTapiLineOptions> FOptions;
  std::unique_ptr<TzvTapiLinePrivileges> FPrivileges;
  std::unique_ptr<TzvTapiCallList> FUnconfirmedCalls;
  std::unordered_map<Cardinal, TReplyCells> FReplyCells;   // by pending request ID
  std::unordered_map<Cardinal, TReplyCells> FOrphanCells;  // by given-up request ID
  // Gatherings by call handle, oldest first: TAPI ends them in the order it started them.
  std::unordered_map<Cardinal, std::deque<std::unique_ptr<TGatherCell>>> FGatherCells;
};

// Event types; Sender is the line.
using TzvTapiCallEvent = std::function<void(TzvTapiLine* Sender, TzvTapiCall* Call)>;
using TzvTapiCallStateEvent =
    std::function<void(TzvTapiLine* Sender, TzvTapiCall* Call, Cardinal CallState)>;
using TzvTapiCallPrivilegeEvent =
    std::function<void(TzvTapiLine* Sender, TzvTapiCall* Call, Cardinal CallPrivilege)>;
using TzvTapiCallInfoEvent =
    std::function<void(TzvTapiLine* Sender, TzvTapiCall* Call, Cardinal InfoState)>;
using TzvTapiAddressStateEvent =
    std::function<void(TzvTapiLine* Sender, TzvTapiAddress* Address, Cardinal AddressState)>;
using TzvTapiLineRingEvent =
    std::function<void(TzvTapiLine* Sender, Cardinal RingMode, Cardinal RingCount)>;
using TzvTapiCallDigitEvent =
    std::function<void(TzvTapiLine* Sender, TzvTapiCall* Call, char16_t Digit)>;
using TzvTapiCallGatherDigitsEvent = std::function<void(
    TzvTapiLine* Sender, TzvTapiCall* Call, const std::string& Digits, Cardinal Termination)>;
using TzvTapiCallGenerateEvent =
    std::function<void(TzvTapiLine* Sender, TzvTapiCall* Call, Cardinal GenerateTermination)>;
using TzvTapiCallToneEvent =
    std::function<void(TzvTapiLine* Sender, TzvTapiCall* Call, Cardinal AppSpecific)>;
using TzvTapiLineDevSpecificEvent =
    std::function<void(TzvTapiLine* Sender, TzvTapiCall* Call, Cardinal DeviceSpecific1,
                       Cardinal DeviceSpecific2, Cardinal DeviceSpecific3)>;
using TzvTapiLineDevSpecReplyEvent =
    std::function<void(TObject* Sender, Cardinal RequestID, void* Data, Cardinal DataSize,
                       TzvTapiAddress* Address, TzvTapiCall* Call, Cardinal ReplyCode)>;
using TzvTapiLineDevSpecTimeoutEvent =
    std::function<void(TObject* Sender, Cardinal RequestID, void* Data, Cardinal DataSize,
                       TzvTapiAddress* Address, TzvTapiCall* Call, Cardinal ElapsedTime)>;

// The line component programs use: TzvCustomTapiLine with its events.
class TzvTapiLine : public TzvCustomTapiLine {
 public:
  using TzvCustomTapiLine::TzvCustomTapiLine;

  void SetOnAddressState(TzvTapiAddressStateEvent e) { FOnAddressState = std::move(e); }
  void SetOnNewCall(TzvTapiCallEvent e) { FOnNewCall = std::move(e); }
  void SetOnCallDeallocate(TzvTapiCallEvent e) { FOnDeallocateCall = std::move(e); }
  const TzvTapiCallEvent& OnNewCall() const { return FOnNewCall; }
  const TzvTapiCallEvent& OnCallDeallocate() const { return FOnDeallocateCall; }
  void SetOnCallBegin(TzvTapiCallEvent e) { FOnCallBegin = std::move(e); }
  void SetOnCallEnd(TzvTapiCallEvent e) { FOnCallEnd = std::move(e); }
  void SetOnCallInfo(TzvTapiCallInfoEvent e) { FOnCallInfo = std::move(e); }
  const TzvTapiCallInfoEvent& OnCallInfo() const { return FOnCallInfo; }
  void SetOnCallerID(TzvTapiCallEvent e) { FOnCallInfo_CallerID = std::move(e); }
  void SetOnCalledID(TzvTapiCallEvent e) { FOnCallInfo_CalledID = std::move(e); }
  void SetOnConnectedID(TzvTapiCallEvent e) { FOnCallInfo_ConnectedID = std::move(e); }
  void SetOnRedirectionID(TzvTapiCallEvent e) { FOnCallInfo_RedirectionID = std::move(e); }
  void SetOnRedirectingID(TzvTapiCallEvent e) { FOnCallInfo_RedirectingID = std::move(e); }
  void SetOnCallPrivilege(TzvTapiCallPrivilegeEvent e) { FOnCallPrivilege = std::move(e); }
  void SetOnCallState(TzvTapiCallStateEvent e) { FOnCallState = std::move(e); }
  const TzvTapiCallStateEvent& OnCallState() const { return FOnCallState; }
  void SetOnAccepted(TzvTapiCallEvent e) { FOnCallState_Accepted = std::move(e); }
  void SetOnBusy(TzvTapiCallEvent e) { FOnCallState_Busy = std::move(e); }
  void SetOnConferenced(TzvTapiCallEvent e) { FOnCallState_Conferenced = std::move(e); }
  void SetOnConnected(TzvTapiCallEvent e) { FOnCallState_Connected = std::move(e); }
  void SetOnDialing(TzvTapiCallEvent e) { FOnCallState_Dialing = std::move(e); }
  void SetOnDialtone(TzvTapiCallEvent e) { FOnCallState_Dialtone = std::move(e); }
  void SetOnDisconnected(TzvTapiCallEvent e) { FOnCallState_Disconnected = std::move(e); }
  void SetOnIdle(TzvTapiCallEvent e) { FOnCallState_Idle = std::move(e); }
  void SetOnOffering(TzvTapiCallEvent e) { FOnCallState_Offering = std::move(e); }
  void SetOnHold(TzvTapiCallEvent e) { FOnCallState_OnHold = std::move(e); }
  void SetOnHoldPendConf(TzvTapiCallEvent e) { FOnCallState_OnHoldPendConf = std::move(e); }
  void SetOnHoldPendTrans(TzvTapiCallEvent e) { FOnCallState_PendTransfer = std::move(e); }
  void SetOnProceeding(TzvTapiCallEvent e) { FOnCallState_Proceeding = std::move(e); }
  void SetOnRingback(TzvTapiCallEvent e) { FOnCallState_Ringback = std::move(e); }
  void SetOnSpecialInfo(TzvTapiCallEvent e) { FOnCallState_SpecialInfo = std::move(e); }
  void SetOnRing(TzvTapiLineRingEvent e) { FOnRing = std::move(e); }
  void SetOnDevSpecific(TzvTapiLineDevSpecificEvent e) { FOnDevSpecific = std::move(e); }
  void SetOnDevSpecificReply(TzvTapiLineDevSpecReplyEvent e) { FOnDevSpecificReply = std::move(e); }
  void SetOnDevSpecificTimeout(TzvTapiLineDevSpecTimeoutEvent e) {
    FOnDevSpecificTimeout = std::move(e);
  }
  void SetOnDevSpecificFeature(TzvTapiLineDevSpecificEvent e) {
    FOnDevSpecificFeature = std::move(e);
  }
  void SetOnDigits(TzvTapiCallGatherDigitsEvent e) { FOnGatherDigitsTerm = std::move(e); }
  void SetOnDigit(TzvTapiCallDigitEvent e) { FOnDigit = std::move(e); }
  void SetOnMediaMode(TzvTapiCallEvent e) { FOnMediaMode = std::move(e); }
  void SetOnGenerate(TzvTapiCallGenerateEvent e) { FOnGenerate = std::move(e); }
  void SetOnTone(TzvTapiCallToneEvent e) { FOnTone = std::move(e); }
  void SetOnSilence(TzvTapiCallEvent e) { FOnSilence = std::move(e); }
  // OnDeviceState, OnDeviceClose, OnDeviceRemove, OnTapiReply, OnTapiTimeout,
  // OnTapiTranslateChange, OnTapiMessage and OnError come from the device.
  void SetOnDeviceState(TzvTapiDeviceStateEvent e) { SetOnDevStateChange(std::move(e)); }

 protected:
  void DoDevStateChange(Cardinal State, Cardinal StateDetail1, Cardinal StateDetail2) override;
  void DoAddressState(TzvTapiAddress* Address, Cardinal AddressState) override;
  void DoCallBegin(TzvTapiCall* Call) override;
  void DoCallEnd(TzvTapiCall* Call) override;
  void DoCallInfo(TzvTapiCall* Call, Cardinal InfoStates) override;
  void DoCallPrivilege(TzvTapiCall* Call, Cardinal Privilege) override;
  void DoCallState(TzvTapiCall* Call, Cardinal State, Cardinal StateMode,
                   Cardinal Privilege) override;
  void DoCallDeallocate(TzvTapiCall* Call) override;
  void DoDevSpecific(TzvTapiCall* Call, Cardinal Param1, Cardinal Param2, Cardinal Param3) override;
  void DoDevSpecificFeature(TzvTapiCall* Call, Cardinal Param1, Cardinal Param2,
                            Cardinal Param3) override;
  void DoDevSpecificReply(Cardinal RequestID, TzvTapiLineDevSpecificData* Data,
                          Cardinal ReplyCode) override;
  void DoDevSpecificTimeout(Cardinal RequestID, TzvTapiLineDevSpecificData* Data,
                            Cardinal Timeout) override;
  void DoDigit(TzvTapiCall* Call, Cardinal Digit, Cardinal DigitMode) override;
  void DoGatherDigits(TzvTapiCall* Call, Cardinal Termination) override;
  void DoGenerate(TzvTapiCall* Call, Cardinal Termination) override;
  void DoMediaMode(TzvTapiCall* Call, Cardinal MediaMode, Cardinal TickCount) override;
  void DoTone(TzvTapiCall* Call, Cardinal AppSpecific) override;
  void DoSilence(TzvTapiCall* Call) override;
  void DoNewCall(TzvTapiCall* Call) override;

 private:
  TzvTapiAddressStateEvent FOnAddressState;
  TzvTapiCallEvent FOnNewCall;
  TzvTapiCallEvent FOnDeallocateCall;
  TzvTapiCallEvent FOnCallBegin;
  TzvTapiCallEvent FOnCallEnd;
  TzvTapiCallInfoEvent FOnCallInfo;
  TzvTapiCallEvent FOnCallInfo_CallerID;
  TzvTapiCallEvent FOnCallInfo_CalledID;
  TzvTapiCallEvent FOnCallInfo_ConnectedID;
  TzvTapiCallEvent FOnCallInfo_RedirectionID;
  TzvTapiCallEvent FOnCallInfo_RedirectingID;
  TzvTapiCallPrivilegeEvent FOnCallPrivilege;
  TzvTapiCallStateEvent FOnCallState;
  TzvTapiCallEvent FOnCallState_Accepted;
  TzvTapiCallEvent FOnCallState_Busy;
  TzvTapiCallEvent FOnCallState_Conferenced;
  TzvTapiCallEvent FOnCallState_Connected;
  TzvTapiCallEvent FOnCallState_Dialing;
  TzvTapiCallEvent FOnCallState_Dialtone;
  TzvTapiCallEvent FOnCallState_Disconnected;
  TzvTapiCallEvent FOnCallState_Idle;
  TzvTapiCallEvent FOnCallState_Offering;
  TzvTapiCallEvent FOnCallState_OnHold;
  TzvTapiCallEvent FOnCallState_OnHoldPendConf;
  TzvTapiCallEvent FOnCallState_PendTransfer;
  TzvTapiCallEvent FOnCallState_Proceeding;
  TzvTapiCallEvent FOnCallState_Ringback;
  TzvTapiCallEvent FOnCallState_SpecialInfo;
  TzvTapiCallEvent FOnCallState_Unknown;  // has no setter; never assigned
  TzvTapiLineRingEvent FOnRing;
  TzvTapiLineDevSpecificEvent FOnDevSpecific;
  TzvTapiLineDevSpecReplyEvent FOnDevSpecificReply;
  TzvTapiLineDevSpecTimeoutEvent FOnDevSpecificTimeout;
  TzvTapiLineDevSpecificEvent FOnDevSpecificFeature;
  TzvTapiCallGatherDigitsEvent FOnGatherDigitsTerm;
  TzvTapiCallDigitEvent FOnDigit;
  TzvTapiCallEvent FOnMediaMode;
  TzvTapiCallGenerateEvent FOnGenerate;
  TzvTapiCallToneEvent FOnTone;
  TzvTapiCallEvent FOnSilence;
};

}  // namespace zvtapi
