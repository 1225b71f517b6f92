// The call object: one per TAPI call on a line, with the state, modes and privilege TAPI last
// reported, the histories and times of its alive and connected phases, the links between a
// call and its consultation call, its information and status caches and party
// identifications, its monitors, notes and tag. Also the call list the line keeps them in.
#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "tapi/call_info.h"
#include "tapi/call_params.h"
#include "tapi/protected_list.h"
#include "tapi/string_list.h"
#include "tapi/types.h"

namespace zvtapi {

class TzvCustomTapiLine;
class TzvTapiAddress;
class TzvTapiCall;
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

// Call references in order, guarded by a re-entrant mutex; never owns the calls. Besides the
// order it keeps an index by handle and a membership count, so that looking a call up by
// handle and asking whether a call is listed cost the same on a line with ten calls or ten
// thousand. A call's handle may change while it is listed (TAPI fills in a new call's handle,
// deallocation clears it); the index notices that on the next look-up.
class TzvTapiCallList : public TProtectedMutex {
 public:
  TzvTapiCallList() = default;
  TzvTapiCallList(const TzvTapiCallList&) = delete;
  TzvTapiCallList& operator=(const TzvTapiCallList&) = delete;

  int Count() const { return static_cast<int>(FItems.size()); }
  // Raise "List index out of bounds (%d)" outside the list.
  TzvTapiCall* Get(int Index) const;
  void Put(int Index, TzvTapiCall* Item);
  // Appends Item unless it is none or listed already; its position either way (for none the
  // position of a none entry, or -1).
  int Add(TzvTapiCall* Item);
  void Delete(int Index);
  // Removes the first entry of Item; its former position or -1.
  int Remove(const TzvTapiCall* Item);
  int IndexOf(const TzvTapiCall* Item) const;
  bool Contains(const TzvTapiCall* Item) const { return Item && FMembers.count(Item) != 0; }
  // Grows whenever a call leaves the list, so that code that ran handlers can tell cheaply
  // whether a call it holds may have gone.
  Cardinal Removals() const { return FRemovals; }
  void Clear();
  // The first entry whose Handle equals CallHandle, or none. Takes no lock; callers lock.
  TzvTapiCall* ByHandle(Cardinal CallHandle) const;
  // Clears the list, then adds every entry of Value in order.
  void Assign(const TzvTapiCallList& Value);

  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

 private:
  struct Member {
    int count = 0;
    Cardinal key = 0;  // the handle it is indexed under
    bool indexed = false;
  };
  void Attach(TzvTapiCall* Item);
  void Detach(const TzvTapiCall* Item);
  // Indexes Item under its current handle when that handle is free in the index; otherwise
  // it waits among the unindexed entries.
  void IndexMember(TzvTapiCall* Item, Member& member) const;
  void Unindex(const TzvTapiCall* Item, Member& member) const;

  std::deque<TzvTapiCall*> FItems;
  // Only the index changes during look-ups.
  mutable std::unordered_map<const TzvTapiCall*, Member> FMembers;
  mutable std::unordered_map<Cardinal, TzvTapiCall*> FByHandle;
  mutable std::vector<TzvTapiCall*> FUnindexed;
  Cardinal FRemovals = 0;
};

// Digit gathering of one call. Starting and cancelling a gathering (lineGatherDigitsW) come
// with the monitoring support; the line's LINE_GATHERDIGITS handling and the end of the call
// are here.
class TzvTapiCallGatherDigits : public TzvTapiCallGatherDigitsOptions {
 public:
  explicit TzvTapiCallGatherDigits(TzvTapiCall* ACall) : FCall(ACall) {}
  TzvTapiCall* Call() const { return FCall; }
  bool Active() const { return FActive; }
  // The digits received (after the end of gathering) as text.
  std::string ReceivedDigits() const;
  // Gathering ended: the buffer is cut at its first NUL, the gatherer is inactive.
  void GatherDigitsTerminated(Cardinal Termination);

 private:
  friend class TzvTapiCall;
  TzvTapiCall* FCall;
  bool FActive = false;
};

// Digit monitoring of one call, started automatically when the call becomes connected.
class TzvTapiCallDigitMonitor : public TzvTapiCallDigitMonitorOptions {
 public:
  explicit TzvTapiCallDigitMonitor(TzvTapiCall* ACall) : FCall(ACall) {}
  TzvTapiCall* Call() const { return FCall; }
  bool Active() const { return FActive; }
  // Digit monitoring exists on the call's line (its MonitorDigitModes capability is set).
  bool Available() const;
  void SetDigitModes(Cardinal Value) override;
  // The automatic start when the call becomes connected: 0, or the last TAPI error.
  Cardinal Init();
  // The stop when the call leaves the connected state.
  void Done();

 private:
  friend class TzvTapiCall;
  TzvTapiCall* FCall;
  bool FActive = false;
};

class TzvTapiCallMediaMonitor : public TzvTapiCallMediaMonitorOptions {
 public:
  explicit TzvTapiCallMediaMonitor(TzvTapiCall* ACall) : FCall(ACall) {}
  TzvTapiCall* Call() const { return FCall; }
  bool Active() const { return FActive; }
  void SetMediaModes(Cardinal Value) override;

 private:
  TzvTapiCall* FCall;
  bool FActive = false;
};

class TzvTapiCallSilenceMonitor : public TzvTapiCallSilenceMonitorOptions {
 public:
  explicit TzvTapiCallSilenceMonitor(TzvTapiCall* ACall) : FCall(ACall) {}
  TzvTapiCall* Call() const { return FCall; }
  bool Active() const { return FActive; }

 private:
  friend class TzvTapiCall;
  TzvTapiCall* FCall;
  bool FActive = false;
};

class TzvTapiCall : public TObject, public TzvTapiCallAccess {
 public:
  // Raises "TzvTapiCall.Create failed! Invalid Line" without a line. Files itself with the
  // line (Calls with a handle, the unconfirmed calls without) and, with a handle, reads the
  // current state from TAPI to know whether it is alive.
  TzvTapiCall(TzvCustomTapiLine* OwnerLine, Cardinal CallHandle);
  // Deallocates the handle (only while the line is open), leaves the line's lists, pending
  // requests and timer events, and drops every other call's link to it.
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
  TzvTapiCallInfo* Info() const override { return FInfo.get(); }
  TzvTapiCallStatus* Status() const { return FStatus.get(); }
  const ::LINECALLINFO* LINECALLINFO() const { return FInfo->LINECALLINFO(); }
  const ::LINECALLSTATUS* LINECALLSTATUS() const { return FStatus->LINECALLSTATUS(); }
  Cardinal CallID() const { return FInfo ? FInfo->CallID() : 0; }
  Cardinal Features() const { return FStatus->CallFeatures(); }
  Cardinal MediaMode() const { return FInfo->MediaMode(); }
  // Tells TAPI the call's media mode (lineSetMediaMode); the information is read anew.
  void SetMediaMode(Cardinal Value);
  Cardinal Origin() const { return FInfo->Origin(); }
  // Copies the call's application data into a new block the caller frees with delete[]; its
  // size, or 0 (Data untouched) when the call carries none.
  Integer GetCallData(uint8_t*& Data) const;

  // Parties.
  TzvTapiCallPartyID* CallerID() const { return FCallerID.get(); }
  TzvTapiCallPartyID* CalledID() const { return FCalledID.get(); }
  TzvTapiCallPartyID* ConnectedID() const { return FConnectedID.get(); }
  TzvTapiCallPartyID* RedirectionID() const { return FRedirectionID.get(); }
  TzvTapiCallPartyID* RedirectingID() const { return FRedirectingID.get(); }
  TzvTapiCallRemoteID* RemoteID() const { return FRemoteID.get(); }

  // Owned helpers.
  TzvTapiCallParams& Params() { return *FParams; }
  TzvTapiRelatedWaveDevice* Comm() const { return FComm.get(); }
  TzvTapiRelatedWaveDevice* WaveIn() const { return FWaveInDev.get(); }
  TzvTapiRelatedWaveDevice* WaveOut() const { return FWaveOutDev.get(); }
  TzvTapiCallGatherDigits& GatherDigits() { return *FDigitCollector; }
  TzvTapiCallDigitMonitor& MonitorDigits() { return *FDigitMonitor; }
  TzvTapiCallMediaMonitor& MonitorMedia() { return *FMediaMonitor; }
  TzvTapiCallSilenceMonitor& MonitorSilence() { return *FSilenceMonitor; }

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
  void Unlink(TzvTapiCall* From);

  bool FAlive = false;
  bool FAutoOwner = false;
  bool FConfirmed = false;
  bool FConnected = false;
  Cardinal FBeginTC = 0;
  TDateTime FBeginTime{};
  Cardinal FBusyMode = 0;
  std::unique_ptr<TzvTapiCallPartyID> FCalledID;
  std::unique_ptr<TzvTapiCallPartyID> FCallerID;
  std::unique_ptr<TzvTapiRelatedWaveDevice> FComm;
  std::unique_ptr<TzvTapiCallPartyID> FConnectedID;
  Cardinal FConnectedMode = 0;
  TDateTime FConnectTime{};
  TzvTapiCall* FConsultCall = nullptr;
  Cardinal FDialtoneMode = 0;
  std::unique_ptr<TzvTapiCallGatherDigits> FDigitCollector;
  std::unique_ptr<TzvTapiCallDigitMonitor> FDigitMonitor;
  Cardinal FDisconnectMode = 0;
  Cardinal FEndTC = 0;
  TDateTime FEndTime{};
  Cardinal FHandle = 0;
  std::unique_ptr<TzvTapiCallInfo> FInfo;
  TzvCustomTapiLine* FLine = nullptr;
  std::unique_ptr<TzvTapiCallMediaMonitor> FMediaMonitor;
  TStringList FNotes;
  Cardinal FOfferingMode = 0;
  Cardinal FOriginHistory = 0;
  std::unique_ptr<TzvTapiCallParams> FParams;
  TzvTapiCall* FPrimaryCall = nullptr;
  std::unique_ptr<TzvTapiCallPartyID> FRedirectingID;
  std::unique_ptr<TzvTapiCallPartyID> FRedirectionID;
  std::unique_ptr<TzvTapiCallRemoteID> FRemoteID;
  std::unique_ptr<TzvTapiCallSilenceMonitor> FSilenceMonitor;
  Cardinal FSpecialInfoMode = 0;
  Cardinal FStateHistory = 0;
  std::unique_ptr<TzvTapiCallStatus> FStatus;
  Integer FTag = 0;
  std::unique_ptr<TzvTapiRelatedWaveDevice> FWaveInDev;
  std::unique_ptr<TzvTapiRelatedWaveDevice> FWaveOutDev;
  Cardinal FState = 0;
  Cardinal FStateMode = 0;
  Cardinal FPrivilege = 0;
  // The calls whose primary or consultation link points here.
  std::vector<TzvTapiCall*> FLinkedBy;
};

}  // namespace zvtapi
