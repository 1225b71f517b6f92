// The call object: one per TAPI call on a line, with the state, modes and privilege TAPI last
// reported, the histories and times of its alive and connected phases, the links between a
// call and its consultation call, its information and status caches and party
// identifications, its monitors, notes and tag.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "tapi/call_info.h"
#include "tapi/call_list.h"
#include "tapi/call_monitors.h"
#include "tapi/call_params.h"
#include "tapi/string_list.h"
#include "tapi/types.h"

namespace zvtapi {

class TzvCustomTapiLine;
class TzvTapiAddress;
class TzvTapiCall;
class TzvTapiCommDevice;
class TzvTapiRelatedWaveDevice;
class TzvTapiRequest;

// A local wall-clock moment.
using TDateTime = std::chrono::system_clock::time_point;

// What a line makes its call objects with: a descendant of TzvTapiCall can be named by
// CallClassOf<Descendant>.
using TzvTapiCallClass = TzvTapiCall* (*)(TzvCustomTapiLine* OwnerLine, Cardinal CallHandle);
template <class T>
TzvTapiCall* CallClassOf(TzvCustomTapiLine* OwnerLine, Cardinal CallHandle) {
  return new T(OwnerLine, CallHandle);
}

// Aligned to a cache line, so that the members a state report touches fill whole lines.
class alignas(64) TzvTapiCall : public TObject, public TzvTapiCallAccess {
 public:
  // Raises "TzvTapiCall.Create failed! Invalid Line" without a line. Files itself with the
  // line (Calls with a handle, the unconfirmed calls without) and, with a handle, reads the
  // current state from TAPI to know whether it is alive.
  TzvTapiCall(TzvCustomTapiLine* OwnerLine, Cardinal CallHandle);
  // Deallocates the handle (only while the line is open), leaves the line's pending requests
  // and timer events and every call list that holds it, and drops every other call's link to
  // it.
  ~TzvTapiCall() override;
  TzvTapiCall(const TzvTapiCall&) = delete;
  TzvTapiCall& operator=(const TzvTapiCall&) = delete;

  // The line's state and information reports.
  virtual void CallStateChanged(Cardinal State, Cardinal StateMode, Cardinal Privilege);
  virtual void CallInfoChanged(Cardinal InfoStates);
  virtual bool GetActive() const;
  // Releases the TAPI handle; a TAPI failure goes to the line's OnError, the handle is
  // cleared in any case.
  virtual void Deallocate();

  // Whether Object is a call object that exists now, of any line. Object is not looked into,
  // so it may be one that has gone.
  static bool Exists(const TObject* Object);

  bool Active() const { return GetActive(); }
  bool Valid() const { return FHandle != 0; }
  TzvCustomTapiLine* Line() const { return FLine; }
  Cardinal Handle() const override { return FHandle; }
  // The line's address object at the position of Info.AddressID; none when out of range.
  TzvTapiAddress* Address() const;
  bool Alive() const { return FAlive; }
  bool AutoOwner() const { return FAutoOwner; }
  void SetAutoOwner(bool Value) { FAutoOwner = Value; }
  bool Confirmed() const { return FConfirmed; }

  // Last reported state, mode and privilege; before the first report TAPI's current ones.
  Cardinal State() const override;
  Cardinal StateMode() const;
  Cardinal Privilege() const;
  void SetPrivilege(Cardinal Value);
  bool Owner() const { return (Privilege() & LINECALLPRIVILEGE_OWNER) != 0; }
  void SetOwner(bool Value);
  Cardinal StateHistory() const { return FStateHistory; }
  void SetStateHistory(Cardinal Value) { FStateHistory = Value; }
  Cardinal OriginHistory() const { return FOriginHistory; }
  void SetOriginHistory(Cardinal Value) { FOriginHistory = Value; }

  // Modes of the last report of each state.
  Cardinal BusyMode() const { return FBusyMode; }
  Cardinal ConnectedMode() const { return FConnectedMode; }
  Cardinal DailtoneMode() const { return FDialtoneMode; }
  Cardinal DisconnectMode() const { return FDisconnectMode; }
  Cardinal OfferingMode() const { return FOfferingMode; }
  Cardinal SpecialInfoMode() const { return FSpecialInfoMode; }

  // Times of the alive and connected phases.
  Cardinal BeginTC() const { return FBeginTC; }
  TDateTime BeginTime() const { return FBeginTime; }
  Cardinal EndTC() const { return FEndTC; }
  TDateTime EndTime() const { return FEndTime; }
  TDateTime ConnectTime() const { return FConnectTime; }

  // From the caches.
  TzvTapiCallInfo* Info() const override { return &FInfo; }
  TzvTapiCallStatus* Status() const { return &FStatus; }
  void CacheFilled() override { FCachesFilled = true; }
  // Goes to the line's OnError with the call as causer.
  void FetchFailed(Cardinal Error) override;
  const ::LINECALLINFO* LINECALLINFO() const { return FInfo.LINECALLINFO(); }
  const ::LINECALLSTATUS* LINECALLSTATUS() const { return FStatus.LINECALLSTATUS(); }
  Cardinal CallID() const { return FInfo.CallID(); }
  Cardinal Features() const { return FStatus.CallFeatures(); }
  Cardinal MediaMode() const { return FInfo.MediaMode(); }
  // Tells TAPI the call's media mode (lineSetMediaMode); the information is read anew.
  void SetMediaMode(Cardinal Value);
  Cardinal Origin() const { return FInfo.Origin(); }
  // Copies the call's application data into a new block the caller frees with delete[]; its
  // size, or 0 (Data untouched) when the call carries none.
  Integer GetCallData(uint8_t*& Data) const;

  // Parties.
  TzvTapiCallPartyID* CallerID() const { return &FCallerID; }
  TzvTapiCallPartyID* CalledID() const { return &FCalledID; }
  TzvTapiCallPartyID* ConnectedID() const { return &FConnectedID; }
  TzvTapiCallPartyID* RedirectionID() const { return &FRedirectionID; }
  TzvTapiCallPartyID* RedirectingID() const { return &FRedirectingID; }
  TzvTapiCallRemoteID* RemoteID() const { return &FRemoteID; }

  // Owned helpers.
  TzvTapiCallParams& Params() { return *FParams; }
  TzvTapiCommDevice* Comm() const;
  TzvTapiRelatedWaveDevice* WaveIn() const;
  TzvTapiRelatedWaveDevice* WaveOut() const;
  TzvTapiCallGatherDigits& GatherDigits() { return FDigitCollector; }
  TzvTapiCallDigitMonitor& MonitorDigits() { return FDigitMonitor; }
  TzvTapiCallMediaMonitor& MonitorMedia() { return FMediaMonitor; }
  TzvTapiCallSilenceMonitor& MonitorSilence() { return FSilenceMonitor; }

  // Notes and tag.
  const TStringList& NotesList() const { return FNotes; }
  void SetNotesList(const TStringList& Value) { FNotes = Value; }
  std::string Get_Note(const std::string& Name) const;
  // An empty value removes the note.
  void Set_Note(const std::string& Name, const std::string& Value);
  void ClearNotes() { FNotes.Clear(); }
  Integer Tag() const { return FTag; }
  void SetTag(Integer Value) { FTag = Value; }

  // Direction and state predicates.
  bool IsOutgoing() const override;
  bool WasOutgoing() const override;
  bool IsIncoming() const override;
  bool WasIncoming() const override;
  bool IsConnected() const;
  bool WasConnected() const override;
  bool WasDisconnected() const;
  bool IsHeld() const;
  bool WasHeld() const;
  bool IsOffering() const;
  bool WasOffering() const;
  bool IsDialing() const;
  bool WasDialing() const;
  bool IsBusy() const;
  bool WasBusy() const;

  // Texts.
  std::string StateText() const;
  std::string StateModeText() const;
  std::string BusyModeText() const;
  std::string ConnectedModeText() const;
  std::string DisconnectModeText() const;
  std::string OfferingModeText() const;
  std::string SpecialInfoModeText() const;
  std::string MediaModeText(const std::string& Separator) const;
  std::string PrivilegeText(const std::string& Separator) const;
  std::string FeaturesText(const std::string& Separator) const;
  std::string OriginText() const;

  // Call control through the line. Each wrapper first makes the application the call's
  // owner when AutoOwner is set; those needing a second call find it themselves.
  void Accept(const std::string& UserUserInfo);
  void Answer(const std::string& UserUserInfo);
  void Drop(const std::string& UserUserInfo);
  void Dial(const std::string& DestAddr);
  void BlindTransfer(const std::string& DestAddr);
  void Redirect(const std::string& DestAddr);
  void HandOff(const std::string& FileName);
  void Hold();
  void Unhold();
  // Directed park at DestAddress.
  void Park(const std::string& DestAddress);
  void GenerateDigits(const std::string& Digits, Cardinal Duration);
  void GeneratePulseDigits(const std::string& Digits, Cardinal Duration);
  void GenerateTone(Cardinal ToneMode, Cardinal Duration);
  void MonitorTone(Cardinal Frequency1, Cardinal Frequency2, Cardinal Frequency3, Cardinal Duration,
                   Cardinal AppSpecific);
  void RemoveFromConference();
  void SetCallData(const void* Data, Cardinal DataSize);
  // The new consultation call; the line's call parameters on this call's address.
  TzvTapiCall* SetupTransfer();
  TzvTapiCall* PrepareAddToConference();
  void SetupConference(TzvTapiCall*& ConfCall, TzvTapiCall*& ConsultCall);
  // Adds the consultation call to the conference; which is which follows from this call's
  // state, the partner is its link or a suitable call of the line.
  void AddToConference();
  // Transfers (or, with BuildConf, conferences) this call and its partner; the new conference
  // call, or none.
  TzvTapiCall* CompleteTransfer(bool BuildConf);
  // Swaps the active and the held call; Call is the partner, none lets the line find it.
  void SwapHold(TzvTapiCall* Call);
  // The conference call of this call's conference (first of its conference-related calls);
  // none when there is none or asking fails (the failure goes to the line's OnError).
  TzvTapiCall* ConferenceCall();
  bool IsConferenceCall() { return ConferenceCall() == this; }

  // Used by the line and the call-control operations.
  // True when the call is owned already, or AutoOwner is set and TAPI grants ownership now.
  bool EnsureOwner();
  // The first reply concerning the call: confirmed when TAPI gave it a handle.
  void Confirm();
  virtual void ReplyReceived(Cardinal RequestID, Integer ReplyCode, TzvTapiRequest* Request);
  virtual void RequestTimedOut(Cardinal RequestID, TzvTapiRequest* Request);
  // Type of the first pending request whose first object is this call; 0 when none.
  Cardinal PendingRequestType() const;
  // The links, cleared first when the linked call is in neither of the line's lists.
  TzvTapiCall* GetPrimaryCall();
  TzvTapiCall* GetConsultCall();
  // Sets the links; the linked call learns of it, so that it can undo the link when it goes.
  void SetPrimaryCall(TzvTapiCall* Call);
  void SetConsultCall(TzvTapiCall* Call);
  // None clears both links; otherwise the link(s) to Call.
  void ReleaseRelatedCall(TzvTapiCall* Call);

 protected:
  void SetAlive(bool Value);
  void SetConnected(bool Value);
  // Where TAPI writes the handle of a call that an operation is making; it must stay in place
  // until the operation's reply or time-out.
  Cardinal* HandlePlace() { return &FHandle; }

 private:
  friend class TzvCustomTapiLine;
  friend class TzvTapiCallList;
  void Unlink(TzvTapiCall* From);
  // Every call object from its filing with its line (AddCall) to its last word
  // (CallDestroyed). Calls are made and freed on the user-interface thread only.
  static std::unordered_set<const TObject*>& Existing();
  // Takes the call out of every list that holds it.
  void LeaveLists();
  struct TRelatedDevices;
  TRelatedDevices& Related() const;

  // What a state report reads and writes comes first and together (the first three cache
  // lines of the object), so that on a line with thousands of calls a report reaches as few
  // lines of memory as it can.
  Cardinal FHandle = 0;
  Cardinal FState = 0;
  Cardinal FStateMode = 0;
  Cardinal FPrivilege = 0;
  Cardinal FStateHistory = 0;
  bool FAlive = false;
  bool FConnected = false;
  bool FConfirmed = false;
  // The information or status cache may hold a structure (CacheFilled); until then a state
  // change has nothing to drop.
  bool FCachesFilled = false;
  Cardinal FOfferingMode = 0;
  Cardinal FDialtoneMode = 0;
  Cardinal FBusyMode = 0;
  Cardinal FSpecialInfoMode = 0;
  Cardinal FConnectedMode = 0;
  Cardinal FDisconnectMode = 0;
  TzvTapiCallListings FListings;
  TzvTapiCallDigitMonitor FDigitMonitor;
  // Made when first asked for: most calls never are, and a state change then has nothing to
  // invalidate.
  mutable std::unique_ptr<TRelatedDevices> FRelated;
  TDateTime FConnectTime{};
  // The caches fill themselves when read.
  mutable TzvTapiCallStatus FStatus;
  mutable TzvTapiCallInfo FInfo;
  // What changes when the call begins or ends, or only when the program asks.
  TzvCustomTapiLine* FLine = nullptr;
  Cardinal FBeginTC = 0;
  Cardinal FEndTC = 0;
  TDateTime FBeginTime{};
  TDateTime FEndTime{};
  Cardinal FOriginHistory = 0;
  Integer FTag = 0;
  bool FAutoOwner = false;
  TzvTapiCallSilenceMonitor FSilenceMonitor;
  TzvTapiCallGatherDigits FDigitCollector;
  TzvTapiCallMediaMonitor FMediaMonitor;
  // Views on the information cache.
  mutable TzvTapiCallPartyID FCallerID;
  mutable TzvTapiCallPartyID FCalledID;
  mutable TzvTapiCallPartyID FConnectedID;
  mutable TzvTapiCallPartyID FRedirectionID;
  mutable TzvTapiCallPartyID FRedirectingID;
  mutable TzvTapiCallRemoteID FRemoteID;
  std::unique_ptr<TzvTapiCallParams> FParams;
  TStringList FNotes;
  TzvTapiCall* FPrimaryCall = nullptr;
  TzvTapiCall* FConsultCall = nullptr;
  // The calls whose primary or consultation link points here.
  std::vector<TzvTapiCall*> FLinkedBy;
};

}  // namespace zvtapi
