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
// TzvTapiCall: lifecycle

TzvTapiCall::TzvTapiCall(TzvCustomTapiLine* OwnerLine, Cardinal CallHandle)
    : FDigitMonitor(this),
      FStatus(this),
      FInfo(this),
      FSilenceMonitor(this),
      FDigitCollector(this),
      FMediaMonitor(this),
      FCallerID(this, 0),
      FCalledID(this, 1),
      FConnectedID(this, 2),
      FRedirectionID(this, 3),
      FRedirectingID(this, 4),
      FRemoteID(this) {
  if (!OwnerLine) RaiseError("TzvTapiCall.Create failed! Invalid Line");
  FLine = OwnerLine;
  FHandle = CallHandle;
  FAlive = false;
  FParams = std::make_unique<TzvTapiCallParams>();
  TzvTapiCallOptions& options = OwnerLine->CallOptions();
  FAutoOwner = options.AutoOwner();
  FDigitMonitor.Assign(&options.MonitorDigits());
  FDigitCollector.Assign(&options.GatherDigits());
  FMediaMonitor.Assign(&options.MonitorMedia());
  FSilenceMonitor.Assign(&options.MonitorSilence());
  OwnerLine->AddCall(this);
  try {
    if (Valid()) SetAlive(State() != LINECALLSTATE_IDLE);
  } catch (...) {
    // The object never comes to exist, so the line must not keep it.
    OwnerLine->ForgetCall(this);
    OwnerLine->CallDestroyed(this);
    LeaveLists();
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
  // Whatever list still holds the call (a program's own, or one of the line's whose lock
  // ForgetCall could not get) must not keep a freed object.
  LeaveLists();
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

struct TzvTapiCall::TRelatedDevices {
  explicit TRelatedDevices(TzvTapiCall* Call)
      : FComm(Call, "comm/datamodem"), FWaveInDev(Call, "wave/in"), FWaveOutDev(Call, "wave/out") {}
  TzvTapiCommDevice FComm;
  TzvTapiRelatedWaveDevice FWaveInDev;
  TzvTapiRelatedWaveDevice FWaveOutDev;
};

TzvTapiCall::TRelatedDevices& TzvTapiCall::Related() const {
  if (!FRelated) FRelated = std::make_unique<TRelatedDevices>(const_cast<TzvTapiCall*>(this));
  return *FRelated;
}

TzvTapiCommDevice* TzvTapiCall::Comm() const {
  return &Related().FComm;
}

TzvTapiRelatedWaveDevice* TzvTapiCall::WaveIn() const {
  return &Related().FWaveInDev;
}

TzvTapiRelatedWaveDevice* TzvTapiCall::WaveOut() const {
  return &Related().FWaveOutDev;
}

std::unordered_set<const TObject*>& TzvTapiCall::Existing() {
  // Never destroyed: lines freed at exit still free their calls.
  static auto* calls = new std::unordered_set<const TObject*>;
  return *calls;
}

bool TzvTapiCall::Exists(const TObject* Object) {
  return Object && Existing().count(Object) != 0;
}

void TzvTapiCall::LeaveLists() {
  while (TzvTapiCallList* list = FListings.AnyList())
    list->RemoveAll(this);
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

void TzvTapiCall::FetchFailed(Cardinal Error) {
  ZV_ASSERT(FLine != nullptr);
  FLine->DoError(EzvTapiError::CreateCode(Error), this);
}

// ---------------------------------------------------------------------------------------------
// State tracking

void TzvTapiCall::CallStateChanged(Cardinal State, Cardinal StateMode, Cardinal Privilege) {
  if (FCachesFilled) {
    FStatus.Invalidate();
    FInfo.Invalidate();
    FCachesFilled = false;
  }
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
  FInfo.Invalidate();
  if (InfoStates & LINECALLINFOSTATE_ORIGIN) FOriginHistory |= FInfo.Origin();
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
    FDigitMonitor.FActive = false;
    FDigitCollector.FActive = false;
    FSilenceMonitor.FActive = false;
  }
}

void TzvTapiCall::SetConnected(bool Value) {
  if (FConnected == Value) return;
  FConnected = Value;
  if (Value) FConnectTime = std::chrono::system_clock::now();
  if (FRelated) {
    FRelated->FComm.Invalidate();
    FRelated->FWaveInDev.Invalidate();
    FRelated->FWaveOutDev.Invalidate();
  }
  if (Value) {
    FDigitMonitor.Init();
  } else {
    FDigitMonitor.Done();
  }
}

bool TzvTapiCall::GetActive() const {
  // Any state but IDLE and the three hold states.
  return Valid() && (State() & 0xFFFFCBFEu) != 0;
}

Cardinal TzvTapiCall::State() const {
  return FState != 0 ? FState : FStatus.CallState();
}

Cardinal TzvTapiCall::StateMode() const {
  return FStateMode != 0 ? FStateMode : FStatus.CallStateMode();
}

Cardinal TzvTapiCall::Privilege() const {
  return FPrivilege != 0 ? FPrivilege : FStatus.CallPrivilege();
}

void TzvTapiCall::SetPrivilege(Cardinal Value) {
  CheckTapiResult(static_cast<Cardinal>(lineSetCallPrivilege(FHandle, Value)));
}

void TzvTapiCall::SetOwner(bool Value) {
  CheckTapiResult(static_cast<Cardinal>(
      lineSetCallPrivilege(FHandle, Value ? LINECALLPRIVILEGE_OWNER : LINECALLPRIVILEGE_MONITOR)));
  FStatus.Invalidate();
}

TzvTapiAddress* TzvTapiCall::Address() const {
  if (!FLine) return nullptr;
  const TzvTapiAddressList& addresses = FLine->Addresses();
  const Cardinal id = FInfo.AddressID();
  if (id >= static_cast<Cardinal>(addresses.Count())) return nullptr;
  return addresses.Get(static_cast<int>(id));
}

Integer TzvTapiCall::GetCallData(uint8_t*& Data) const {
  const void* source = FInfo.CallData();
  if (!source) return 0;
  const Cardinal size = FInfo.CallDataSize();
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
