#include "tapi/call.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"
#include "platform/module.h"
#include "tapi/address.h"
#include "tapi/errors.h"
#include "tapi/line.h"
#include "tapi/line_caps.h"
#include "tapi/related.h"
#include "tapi/requests.h"
#include "tapi/texts.h"
#include "tapi32/tapi.h"

namespace zvtapi {

// ---------------------------------------------------------------------------------------------
// TzvTapiCallList

TzvTapiCall* TzvTapiCallList::Get(int Index) const {
  if (Index < 0 || Index >= Count()) RaiseError(Format("List index out of bounds (%d)", Index));
  return FItems[static_cast<size_t>(Index)];
}

void TzvTapiCallList::Put(int Index, TzvTapiCall* Item) {
  if (Index < 0 || Index >= Count()) RaiseError(Format("List index out of bounds (%d)", Index));
  TzvTapiCall*& slot = FItems[static_cast<size_t>(Index)];
  if (slot == Item) return;
  if (slot) Detach(slot);
  slot = Item;
  if (Item) Attach(Item);
}

int TzvTapiCallList::Add(TzvTapiCall* Item) {
  if (!Item || Contains(Item)) return IndexOf(Item);
  FItems.push_back(Item);
  Attach(Item);
  return Count() - 1;
}

void TzvTapiCallList::Delete(int Index) {
  if (Index < 0 || Index >= Count()) RaiseError(Format("List index out of bounds (%d)", Index));
  TzvTapiCall* item = FItems[static_cast<size_t>(Index)];
  FItems.erase(FItems.begin() + Index);
  if (item) Detach(item);
}

int TzvTapiCallList::Remove(const TzvTapiCall* Item) {
  if (Item && !Contains(Item)) return -1;
  const int index = IndexOf(Item);
  if (index >= 0) Delete(index);
  return index;
}

int TzvTapiCallList::IndexOf(const TzvTapiCall* Item) const {
  if (Item && !Contains(Item)) return -1;
  const auto it = std::find(FItems.begin(), FItems.end(), Item);
  return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
}

void TzvTapiCallList::Clear() {
  ++FRemovals;
  FItems.clear();
  FMembers.clear();
  FByHandle.clear();
  FUnindexed.clear();
}

void TzvTapiCallList::Assign(const TzvTapiCallList& Value) {
  if (&Value == this) return;
  Clear();
  for (TzvTapiCall* call : Value)
    Add(call);
}

void TzvTapiCallList::Attach(TzvTapiCall* Item) {
  Member& member = FMembers[Item];
  if (member.count++ == 0) IndexMember(Item, member);
}

void TzvTapiCallList::Detach(const TzvTapiCall* Item) {
  auto it = FMembers.find(Item);
  if (it == FMembers.end()) return;
  if (--it->second.count > 0) return;
  Unindex(Item, it->second);
  FMembers.erase(it);
  ++FRemovals;
}

void TzvTapiCallList::IndexMember(TzvTapiCall* Item, Member& member) const {
  const Cardinal handle = Item->Handle();
  if (handle != 0) {
    auto [it, inserted] = FByHandle.try_emplace(handle, Item);
    // A holder that no longer has the handle gives up its place.
    if (!inserted && it->second->Handle() != handle) {
      Member& previous = FMembers[it->second];
      previous.indexed = false;
      FUnindexed.push_back(it->second);
      it->second = Item;
      inserted = true;
    }
    if (inserted) {
      member.indexed = true;
      member.key = handle;
      return;
    }
  }
  member.indexed = false;
  FUnindexed.push_back(Item);
}

void TzvTapiCallList::Unindex(const TzvTapiCall* Item, Member& member) const {
  if (member.indexed) {
    auto it = FByHandle.find(member.key);
    if (it != FByHandle.end() && it->second == Item) FByHandle.erase(it);
    member.indexed = false;
    return;
  }
  auto it = std::find(FUnindexed.begin(), FUnindexed.end(), Item);
  if (it != FUnindexed.end()) FUnindexed.erase(it);
}

TzvTapiCall* TzvTapiCallList::ByHandle(Cardinal CallHandle) const {
  if (CallHandle == 0) {
    // Calls without a handle are never indexed; asking for them is rare.
    for (TzvTapiCall* call : FItems) {
      if (call && call->Handle() == 0) return call;
    }
    return nullptr;
  }
  if (auto it = FByHandle.find(CallHandle); it != FByHandle.end()) {
    TzvTapiCall* call = it->second;
    if (call->Handle() == CallHandle) return call;
    // Its handle changed since it was indexed: it waits among the unindexed entries now.
    Member& member = FMembers[call];
    FByHandle.erase(it);
    member.indexed = false;
    FUnindexed.push_back(call);
  }
  for (auto it = FUnindexed.begin(); it != FUnindexed.end(); ++it) {
    TzvTapiCall* call = *it;
    if (call->Handle() != CallHandle) continue;
    FUnindexed.erase(it);
    Member& member = FMembers[call];
    member.indexed = true;
    member.key = CallHandle;
    FByHandle[CallHandle] = call;
    return call;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Monitors

std::string TzvTapiCallGatherDigits::ReceivedDigits() const {
  return platform::WideToUtf8(FReceivedDigits);
}

void TzvTapiCallGatherDigits::GatherDigitsTerminated(Cardinal /*Termination*/) {
  const auto end = FReceivedDigits.find(u'\0');
  if (end != std::u16string::npos) FReceivedDigits.erase(end);
  FActive = false;
}

bool TzvTapiCallDigitMonitor::Available() const {
  return FCall && FCall->Line() && FCall->Line()->Caps().MonitorDigitModes() != 0;
}

void TzvTapiCallDigitMonitor::SetDigitModes(Cardinal Value) {
  if (FActive) RaiseError("Unable to set DigitModes while monitoring is active.");
  FDigitModes = Value;
}

Cardinal TzvTapiCallDigitMonitor::Init() {
  if (!FCall || !FCall->Valid()) RaiseError("MonitorDigits: No valid call");
  if (!FAutoSelect || !Available()) return 0;
  // Trying the digit modes with lineMonitorDigits belongs to digit monitoring, which this
  // library does not offer yet; the monitor stays inactive.
  return 0;
}

void TzvTapiCallDigitMonitor::Done() {
  FActive = false;
}

void TzvTapiCallMediaMonitor::SetMediaModes(Cardinal Value) {
  if (FActive) RaiseError("Unable to set MediaModes while monitoring is active.");
  FMediaModes = Value;
}

// ---------------------------------------------------------------------------------------------
// TzvTapiCall: lifecycle

TzvTapiCall::TzvTapiCall(TzvCustomTapiLine* OwnerLine, Cardinal CallHandle) {
  if (!OwnerLine) RaiseError("TzvTapiCall.Create failed! Invalid Line");
  FLine = OwnerLine;
  FHandle = CallHandle;
  FAlive = false;
  FParams = std::make_unique<TzvTapiCallParams>();
  FCallerID = std::make_unique<TzvTapiCallPartyID>(this, 0);
  FCalledID = std::make_unique<TzvTapiCallPartyID>(this, 1);
  FConnectedID = std::make_unique<TzvTapiCallPartyID>(this, 2);
  FRedirectionID = std::make_unique<TzvTapiCallPartyID>(this, 3);
  FRedirectingID = std::make_unique<TzvTapiCallPartyID>(this, 4);
  FRemoteID = std::make_unique<TzvTapiCallRemoteID>(this);
  FInfo = std::make_unique<TzvTapiCallInfo>(this);
  FStatus = std::make_unique<TzvTapiCallStatus>(this);
  FComm = std::make_unique<TzvTapiRelatedWaveDevice>(this, "comm/datamodem");
  FWaveInDev = std::make_unique<TzvTapiRelatedWaveDevice>(this, "wave/in");
  FWaveOutDev = std::make_unique<TzvTapiRelatedWaveDevice>(this, "wave/out");
  TzvTapiCallOptions& options = OwnerLine->CallOptions();
  FAutoOwner = options.AutoOwner();
  FDigitMonitor = std::make_unique<TzvTapiCallDigitMonitor>(this);
  FDigitCollector = std::make_unique<TzvTapiCallGatherDigits>(this);
  FMediaMonitor = std::make_unique<TzvTapiCallMediaMonitor>(this);
  FSilenceMonitor = std::make_unique<TzvTapiCallSilenceMonitor>(this);
  FDigitMonitor->Assign(&options.MonitorDigits());
  FDigitCollector->Assign(&options.GatherDigits());
  FMediaMonitor->Assign(&options.MonitorMedia());
  FSilenceMonitor->Assign(&options.MonitorSilence());
  OwnerLine->AddCall(this);
  try {
    if (Valid()) SetAlive(State() != LINECALLSTATE_IDLE);
  } catch (...) {
    // The object never comes to exist, so the line must not keep it.
    OwnerLine->ForgetCall(this);
    OwnerLine->CallDestroyed(this);
    throw;
  }
}

TzvTapiCall::~TzvTapiCall() {
  if (FHandle != 0) {
    try {
      Deallocate();
    } catch (...) {
      // Deallocate reports its failures itself; a destructor has nobody to tell.
    }
  }
  FLine->ForgetCall(this);
  FLine->CallDestroyed(this);
  // No call may reach this one through a link once it is gone.
  while (!FLinkedBy.empty()) {
    TzvTapiCall* other = FLinkedBy.back();
    if (other->FPrimaryCall == this || other->FConsultCall == this) {
      other->ReleaseRelatedCall(this);
    } else {
      FLinkedBy.pop_back();
    }
  }
  ReleaseRelatedCall(nullptr);
}

void TzvTapiCall::Deallocate() {
  ZV_ASSERT(FLine != nullptr);
  try {
    if (FLine->IsOpen()) {
      const auto result = static_cast<Cardinal>(lineDeallocateCall(FHandle));
      if (IsTapiError(result)) {
        try {
          RaiseTapiError(result);
        } catch (const EzvTapiError& e) {
          FLine->DoError(e, this);
        }
      }
    }
  } catch (...) {
    FHandle = 0;
    throw;
  }
  FHandle = 0;
}

// ---------------------------------------------------------------------------------------------
// State tracking

void TzvTapiCall::CallStateChanged(Cardinal State, Cardinal StateMode, Cardinal Privilege) {
  FStatus->Invalidate();
  FInfo->Invalidate();
  FState = State;
  FStateMode = StateMode;
  FPrivilege = Privilege;
  SetAlive(State != LINECALLSTATE_IDLE);
  SetConnected(State == LINECALLSTATE_CONNECTED);
  switch (State) {
    case LINECALLSTATE_OFFERING:
      FOfferingMode = StateMode;
      break;
    case LINECALLSTATE_DIALTONE:
      FDialtoneMode = StateMode;
      break;
    case LINECALLSTATE_BUSY:
      FBusyMode = StateMode;
      break;
    case LINECALLSTATE_SPECIALINFO:
      FSpecialInfoMode = StateMode;
      break;
    case LINECALLSTATE_CONNECTED:
      FConnectedMode = StateMode;
      break;
    case LINECALLSTATE_DISCONNECTED:
      FDisconnectMode = StateMode;
      break;
    default:
      break;
  }
}

void TzvTapiCall::CallInfoChanged(Cardinal InfoStates) {
  FInfo->Invalidate();
  if (InfoStates & LINECALLINFOSTATE_ORIGIN) FOriginHistory |= FInfo->Origin();
}

void TzvTapiCall::SetAlive(bool Value) {
  if (FAlive == Value) return;
  FAlive = Value;
  if (Value) {
    FBeginTime = std::chrono::system_clock::now();
    FBeginTC = platform::GetTickCount();
    FStateHistory = 0;
    FOriginHistory = 0;
  } else {
    FEndTime = std::chrono::system_clock::now();
    FEndTC = platform::GetTickCount();
    // TAPI ends these services with the call; nothing needs to be cancelled.
    FDigitMonitor->FActive = false;
    FDigitCollector->FActive = false;
    FSilenceMonitor->FActive = false;
  }
}

void TzvTapiCall::SetConnected(bool Value) {
  if (FConnected == Value) return;
  FConnected = Value;
  if (Value) FConnectTime = std::chrono::system_clock::now();
  FComm->Invalidate();
  FWaveInDev->Invalidate();
  FWaveOutDev->Invalidate();
  if (Value) {
    FDigitMonitor->Init();
  } else {
    FDigitMonitor->Done();
  }
}

bool TzvTapiCall::GetActive() const {
  // Any state but IDLE and the three hold states.
  return Valid() && (State() & 0xFFFFCBFEu) != 0;
}

Cardinal TzvTapiCall::State() const {
  return FState != 0 ? FState : FStatus->CallState();
}

Cardinal TzvTapiCall::StateMode() const {
  return FStateMode != 0 ? FStateMode : FStatus->CallStateMode();
}

Cardinal TzvTapiCall::Privilege() const {
  return FPrivilege != 0 ? FPrivilege : FStatus->CallPrivilege();
}

void TzvTapiCall::SetPrivilege(Cardinal Value) {
  CheckTapiResult(static_cast<Cardinal>(lineSetCallPrivilege(FHandle, Value)));
}

void TzvTapiCall::SetOwner(bool Value) {
  CheckTapiResult(static_cast<Cardinal>(
      lineSetCallPrivilege(FHandle, Value ? LINECALLPRIVILEGE_OWNER : LINECALLPRIVILEGE_MONITOR)));
  FStatus->Invalidate();
}

TzvTapiAddress* TzvTapiCall::Address() const {
  if (!FLine) return nullptr;
  const TzvTapiAddressList& addresses = FLine->Addresses();
  const Cardinal id = FInfo->AddressID();
  if (id >= static_cast<Cardinal>(addresses.Count())) return nullptr;
  return addresses.Get(static_cast<int>(id));
}

Integer TzvTapiCall::GetCallData(uint8_t*& Data) const {
  const void* source = FInfo->CallData();
  if (!source) return 0;
  const Cardinal size = FInfo->CallDataSize();
  Data = new uint8_t[size];
  std::memcpy(Data, source, size);
  return static_cast<Integer>(size);
}

// ---------------------------------------------------------------------------------------------
// Notes

std::string TzvTapiCall::Get_Note(const std::string& Name) const {
  return FNotes.Values(Name);
}

void TzvTapiCall::Set_Note(const std::string& Name, const std::string& Value) {
  const int index = FNotes.IndexOfName(Name);
  if (Value.empty()) {
    if (index >= 0) FNotes.Delete(index);
  } else if (index >= 0) {
    FNotes.SetStrings(index, Name + "=" + Value);
  } else {
    FNotes.Add(Name + "=" + Value);
  }
}

// ---------------------------------------------------------------------------------------------
// Predicates

namespace {

constexpr Cardinal kOutgoingStates = LINECALLSTATE_DIALTONE | LINECALLSTATE_DIALING |
                                     LINECALLSTATE_RINGBACK | LINECALLSTATE_PROCEEDING;
constexpr Cardinal kIncomingStates = LINECALLSTATE_OFFERING | LINECALLSTATE_ACCEPTED;
constexpr Cardinal kIncomingOrigins =
    LINECALLORIGIN_INTERNAL | LINECALLORIGIN_EXTERNAL | LINECALLORIGIN_INBOUND;
constexpr Cardinal kHeldStates =
    LINECALLSTATE_ONHOLD | LINECALLSTATE_ONHOLDPENDCONF | LINECALLSTATE_ONHOLDPENDTRANSFER;
constexpr Cardinal kDialingStates =
    LINECALLSTATE_DIALING | LINECALLSTATE_RINGBACK | LINECALLSTATE_PROCEEDING;

// An origin that says nothing about the direction.
bool OriginUnusable(Cardinal origin) {
  return origin == 0 || (origin & (LINECALLORIGIN_UNKNOWN | LINECALLORIGIN_UNAVAIL)) != 0;
}

}  // namespace

bool TzvTapiCall::IsOutgoing() const {
  const Cardinal origin = Origin();
  if (OriginUnusable(origin)) return (FState & kOutgoingStates) != 0;
  return (origin & LINECALLORIGIN_OUTBOUND) != 0;
}

bool TzvTapiCall::WasOutgoing() const {
  if (OriginUnusable(FOriginHistory)) return ((FStateHistory | FState) & kOutgoingStates) != 0;
  return (FOriginHistory & LINECALLORIGIN_OUTBOUND) != 0;
}

bool TzvTapiCall::IsIncoming() const {
  const Cardinal origin = Origin();
  if (OriginUnusable(origin)) return (FState & kIncomingStates) != 0;
  return (origin & kIncomingOrigins) != 0;
}

bool TzvTapiCall::WasIncoming() const {
  if (OriginUnusable(FOriginHistory)) return (FStateHistory & kIncomingStates) != 0;
  return (FOriginHistory & kIncomingOrigins) != 0;
}

bool TzvTapiCall::IsConnected() const {
  return (State() & (LINECALLSTATE_CONNECTED | LINECALLSTATE_CONFERENCED)) != 0;
}
bool TzvTapiCall::WasConnected() const {
  return (FStateHistory & LINECALLSTATE_CONNECTED) != 0;
}
bool TzvTapiCall::WasDisconnected() const {
  return (FStateHistory & LINECALLSTATE_DISCONNECTED) != 0;
}
bool TzvTapiCall::IsHeld() const {
  return (State() & kHeldStates) != 0;
}
bool TzvTapiCall::WasHeld() const {
  return (FStateHistory & kHeldStates) != 0;
}
bool TzvTapiCall::IsOffering() const {
  return (State() & LINECALLSTATE_OFFERING) != 0;
}
bool TzvTapiCall::WasOffering() const {
  return (FStateHistory & LINECALLSTATE_OFFERING) != 0;
}
bool TzvTapiCall::IsDialing() const {
  return (State() & kDialingStates) != 0;
}
bool TzvTapiCall::WasDialing() const {
  return (FStateHistory & kDialingStates) != 0;
}
bool TzvTapiCall::IsBusy() const {
  return (State() & LINECALLSTATE_BUSY) != 0;
}
bool TzvTapiCall::WasBusy() const {
  return (FStateHistory & LINECALLSTATE_BUSY) != 0;
}

// ---------------------------------------------------------------------------------------------
// Texts

std::string TzvTapiCall::StateText() const {
  return TapiCallStateText(State());
}
std::string TzvTapiCall::StateModeText() const {
  return TapiCallStateModeText(State(), StateMode());
}
std::string TzvTapiCall::BusyModeText() const {
  return TapiCallStateModeText(LINECALLSTATE_BUSY, FBusyMode);
}
std::string TzvTapiCall::ConnectedModeText() const {
  return TapiCallStateModeText(LINECALLSTATE_CONNECTED, FConnectedMode);
}
std::string TzvTapiCall::DisconnectModeText() const {
  return TapiCallStateModeText(LINECALLSTATE_DISCONNECTED, FDisconnectMode);
}
std::string TzvTapiCall::OfferingModeText() const {
  return TapiCallStateModeText(LINECALLSTATE_OFFERING, FOfferingMode);
}
std::string TzvTapiCall::SpecialInfoModeText() const {
  return TapiCallStateModeText(LINECALLSTATE_SPECIALINFO, FSpecialInfoMode);
}
std::string TzvTapiCall::MediaModeText(const std::string& Separator) const {
  return TapiMediaModesText(MediaMode(), Separator);
}
std::string TzvTapiCall::PrivilegeText(const std::string& Separator) const {
  return TapiPrivilegesText(Privilege(), Separator);
}
std::string TzvTapiCall::FeaturesText(const std::string& Separator) const {
  return TapiCallFeaturesText(Features(), Separator);
}
std::string TzvTapiCall::OriginText() const {
  return TapiCallOriginText(Origin());
}

// ---------------------------------------------------------------------------------------------
// Call control, requests and links

bool TzvTapiCall::EnsureOwner() {
  if (Owner()) return true;
  return FAutoOwner && lineSetCallPrivilege(FHandle, LINECALLPRIVILEGE_OWNER) == 0;
}

void TzvTapiCall::Confirm() {
  ZV_ASSERT(FLine != nullptr);
  if (FConfirmed) return;
  FConfirmed = Valid();
  FLine->SortCalls(this);
}

void TzvTapiCall::ReplyReceived(Cardinal /*RequestID*/, Integer ReplyCode,
                                TzvTapiRequest* Request) {
  if (!FConfirmed) Confirm();
  if (ReplyCode != 0 || !Request) return;
  const Cardinal type = Request->FRequestType;
  if ((type == TAPIREQUEST_LINEADDTOCONFERENCE || type == TAPIREQUEST_LINECOMPLETETRANSFER) &&
      FPrimaryCall) {
    ReleaseRelatedCall(nullptr);
    FLine->ReleaseCallReferences(this);
  }
}

void TzvTapiCall::RequestTimedOut(Cardinal /*RequestID*/, TzvTapiRequest* /*Request*/) {}

Cardinal TzvTapiCall::PendingRequestType() const {
  TzvTapiRequestList& requests = FLine->Requests();
  TLockGuard lock(requests, platform::INFINITE);
  const int index = requests.IndexOfRequest(0, 0, this);
  return index >= 0 ? requests.Get(index)->FRequestType : 0;
}

TzvTapiCall* TzvTapiCall::GetPrimaryCall() {
  if (FPrimaryCall && !FLine->IsCallKnown(FPrimaryCall)) SetPrimaryCall(nullptr);
  return FPrimaryCall;
}

TzvTapiCall* TzvTapiCall::GetConsultCall() {
  if (FConsultCall && !FLine->IsCallKnown(FConsultCall)) SetConsultCall(nullptr);
  return FConsultCall;
}

void TzvTapiCall::SetPrimaryCall(TzvTapiCall* Call) {
  if (FPrimaryCall == Call) return;
  if (FPrimaryCall) FPrimaryCall->Unlink(this);
  FPrimaryCall = Call;
  if (Call) Call->FLinkedBy.push_back(this);
}

void TzvTapiCall::SetConsultCall(TzvTapiCall* Call) {
  if (FConsultCall == Call) return;
  if (FConsultCall) FConsultCall->Unlink(this);
  FConsultCall = Call;
  if (Call) Call->FLinkedBy.push_back(this);
}

void TzvTapiCall::Unlink(TzvTapiCall* From) {
  auto it = std::find(FLinkedBy.begin(), FLinkedBy.end(), From);
  if (it != FLinkedBy.end()) FLinkedBy.erase(it);
}

void TzvTapiCall::ReleaseRelatedCall(TzvTapiCall* Call) {
  if (!Call || FPrimaryCall == Call) SetPrimaryCall(nullptr);
  if (!Call || FConsultCall == Call) SetConsultCall(nullptr);
}

}  // namespace zvtapi
