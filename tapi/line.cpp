#include "tapi/line.h"

#include <cstddef>
#include <vector>

#include "platform/clock.h"
#include "platform/module.h"
#include "platform/sync.h"
#include "tapi/application.h"
#include "tapi/related.h"
#include "tapi/requests.h"
#include "tapi/tsp.h"
#include "tapi32/tapi.h"

namespace zvtapi {

namespace {

// Every line state up to LINEDEVSTATE_REMOVED, every address state up to
// LINEADDRESSSTATE_CAPSCHANGE.
constexpr Cardinal kAllLineStates = 0x1FFFFFF;
constexpr Cardinal kAllAddressStates = 0x1FF;
constexpr Cardinal kCallListInitialSize = 536;
constexpr Cardinal kCallStatusInitialSize = 56;
// A provider that reports an absurd number of addresses must not make the line allocate
// millions of objects.
constexpr Cardinal kMaxAddresses = 0xFFFF;

bool IsCallCreatingRequest(Cardinal type) {
  switch (type) {
    case TAPIREQUEST_LINECOMPLETETRANSFER:
    case TAPIREQUEST_LINEMAKECALL:
    case TAPIREQUEST_LINESETUPCONFERENCE:
    case TAPIREQUEST_LINESETUPTRANSFER:
    case TAPIREQUEST_LINEUNPARK:
    case TAPIREQUEST_LINEPICKUP:
    case TAPIREQUEST_LINEPREPAREADDTOCONFERENCE:
      return true;
    default:
      return false;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction

TzvCustomTapiLine::TzvCustomTapiLine(TComponent* AOwner) : TzvTapiDevice(AOwner) {
  FCallClass = &CallClassOf<TzvTapiCall>;
  FDeviceID = -1;
  FPrivileges = std::make_unique<TzvTapiLinePrivileges>();
  FOptions = std::make_unique<TzvTapiLineOptions>();
  FMediaModes = 0;
  FAddresses = std::make_unique<TzvTapiAddressList>(this);
  FAddressList = std::make_unique<TStringList>();
  FCalls = std::make_unique<TzvTapiCallList>();
  FUnconfirmedCalls = std::make_unique<TzvTapiCallList>();
  FTSP = std::make_unique<TzvTapiLineTSP>(this);
  FDeviceCaps = std::make_unique<TzvTapiLineCaps>(this);
  FDeviceStatus = std::make_unique<TzvTapiLineStatus>(this);
  FPhoneDevs = std::make_unique<TzvTapiLinePhoneDevices>(this, "tapi/phone");
  FCallOptions = std::make_unique<TzvTapiCallOptions>();
  FCallParams = std::make_unique<TzvTapiLineCallParams>();
  FLocation = std::make_unique<TzvTapiSystemLocation>();
  // Registered here rather than in the component base, since only now is the object a line;
  // and last, so that no failure after it can leave the registry pointing at a dead object.
  if (zvTapiApplication) zvTapiApplication->AddTapiComponent(this);
}

TzvCustomTapiLine::~TzvCustomTapiLine() {
  try {
    Close();
  } catch (...) {
  }
  try {
    // After library exit there is no application object left to detach from.
    if (zvTapiApplication) Disable();
  } catch (...) {
  }
  // A line that never closed through this class (a descendant that fakes its handle) may
  // still hold calls; they go before the lists they sit in.
  while (FUnconfirmedCalls->Count() > 0)
    FreeCall(FUnconfirmedCalls->Get(0));
  while (FCalls->Count() > 0)
    FreeCall(FCalls->Get(0));
  // The addresses go while the request cells they may be named in still exist.
  FAddresses->Clear();
  FDevSpecificList->Clear();
  if (zvTapiApplication) zvTapiApplication->RemoveTapiComponent(this);
}

void TzvCustomTapiLine::FreeCall(TzvTapiCall* Call) {
  // The destructor takes the call out of every list, so a walk that frees the first entry
  // until the list is empty ends.
  delete Call;
}

// ---------------------------------------------------------------------------------------------
// Binding

Cardinal TzvCustomTapiLine::Init(Integer DeviceID) {
  const Cardinal result = TzvTapiDevice::Init(DeviceID);
  FDeviceCaps->Invalidate();
  FPhoneDevs->Invalidate();
  CreateAddresses();
  if (result == 0 && FDeviceCaps->Available()) FPermanentDeviceID = FDeviceCaps->PermanentLineID();
  return result;
}

void TzvCustomTapiLine::Done() {
  if (!FInitialized) return;
  FDeviceCaps->Invalidate();
  FDeviceStatus->Invalidate();
  FPhoneDevs->Invalidate();
  TzvTapiDevice::Done();
}

void TzvCustomTapiLine::CreateAddresses() {
  FAddressList->Clear();
  FAddresses->Clear();
  if (!FDeviceCaps->Available()) return;
  Cardinal count = FDeviceCaps->NumAddresses();
  if (count > kMaxAddresses) count = kMaxAddresses;
  for (Cardinal i = 0; i < count; ++i) {
    auto address = std::make_unique<TzvTapiAddress>(this, i);
    address->Init();
    FAddresses->Add(std::move(address));
  }
  for (int i = 0; i < FAddresses->Count(); ++i)
    FAddressList->Add(FAddresses->Get(i)->AddressName());
}

const TStringList& TzvCustomTapiLine::GetDeviceList() {
  Enable();
  ZV_ASSERT(zvTapiApplication != nullptr);
  return zvTapiApplication->LineDevices();
}

std::string TzvCustomTapiLine::GetDeviceName() const {
  if (!Available()) return FDeviceName;
  std::string name = FDeviceCaps->LineName();
  if (name.empty()) name = Format("Line Device #%d", FDeviceID);
  return name;
}

Cardinal TzvCustomTapiLine::GetIconHandle(const std::string& DeviceClass) {
  return IconOf(lineGetIconW, DeviceClass, u"tapi/line");
}

Cardinal TzvCustomTapiLine::GetReplyTimeout() const {
  return FOptions->ReplyTimeout();
}

bool TzvCustomTapiLine::GetSyncMode() const {
  return FOptions->SyncMode();
}

void TzvCustomTapiLine::SetPermanentDeviceID(Cardinal Value) {
  BindToPermanentID<TzvCustomTapiLine>(Value);
}

Cardinal TzvCustomTapiLine::LineApp() const {
  return zvTapiApplication ? zvTapiApplication->LineApp() : 0;
}

const ::LINEDEVCAPS* TzvCustomTapiLine::LINEDEVCAPS() const {
  return static_cast<const ::LINEDEVCAPS*>(FDeviceCaps->CachedData());
}

const ::LINEDEVSTATUS* TzvCustomTapiLine::LINEDEVSTATUS() const {
  return static_cast<const ::LINEDEVSTATUS*>(FDeviceStatus->CachedData());
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

void TzvCustomTapiLine::Open() {
  if (!Available()) RaiseTapiError(LINEERR_NODEVICE);
  if (IsOpen()) return;
  const Cardinal result = OpenLine(NewCallbackInstance(), nullptr);
  if (result != 0) RaiseTapiError(result);
  RefreshCalls();
}

Cardinal TzvCustomTapiLine::OpenLine(Cardinal CallbackInstance, const LINECALLPARAMS* CallParams) {
  ZV_ASSERT(LineApp() != 0);
  ZV_ASSERT(FHandle == 0);
  const Cardinal mediaModes = FMediaModes != 0 ? FMediaModes : FDeviceCaps->MediaModes();
  auto open = [&](Cardinal privileges) {
    return static_cast<Cardinal>(lineOpenW(LineApp(), static_cast<DWORD>(FDeviceID), &FHandle,
                                           FTSP->APIVersion(), FTSP->ExtVersion(), CallbackInstance,
                                           privileges, mediaModes, CallParams));
  };
  Cardinal result = 0;
  if (FPrivileges->AutoSelect()) {
    Cardinal privileges = mediaModes != 0 ? LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER
                                          : LINECALLPRIVILEGE_NONE;
    result = open(privileges);
    // A provider (or another owner) may refuse ownership; watching is better than nothing.
    if (result != 0 && privileges == (LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER)) {
      privileges = LINECALLPRIVILEGE_MONITOR;
      result = open(privileges);
    }
    if (result == 0) FPrivileges->SetValue(privileges);
  } else {
    result = open(FPrivileges->Value());
  }
  if (result != 0) {
    FHandle = 0;
  } else {
    ZV_ASSERT(FHandle != 0);
    FDeviceStatus->Invalidate();
    SetStatusMessages();
    platform::ResetEvent(FAbortEvent);
  }
  FActive = result == 0;
  return result;
}

Cardinal TzvCustomTapiLine::SetStatusMessages() {
  Cardinal result =
      static_cast<Cardinal>(lineSetStatusMessages(FHandle, kAllLineStates, kAllAddressStates));
  if (result == 0 || result == LINEERR_OPERATIONUNAVAIL) return result;
  // The provider refused the whole set: find out bit by bit what it accepts.
  Cardinal candidates = FDeviceCaps->LineStates();
  if (candidates == 0) candidates = kAllLineStates;
  Cardinal lineStates = 0;
  for (Cardinal bit = 0x1; bit <= LINEDEVSTATE_REMOVED; bit <<= 1) {
    if ((candidates & bit) && lineSetStatusMessages(FHandle, bit, 0) == 0) lineStates |= bit;
  }
  candidates = 0;
  if (FAddresses->Count() > 0 && FAddresses->Get(0)->LINEADDRESSCAPS()) {
    candidates = FAddresses->Get(0)->Caps()->AddressStates();
  }
  if (candidates == 0) candidates = kAllAddressStates;
  Cardinal addressStates = 0;
  for (Cardinal bit = 0x1; bit <= LINEADDRESSSTATE_CAPSCHANGE; bit <<= 1) {
    if ((candidates & bit) && lineSetStatusMessages(FHandle, 0, bit) == 0) addressStates |= bit;
  }
  result = static_cast<Cardinal>(lineSetStatusMessages(FHandle, lineStates, addressStates));
  return result;
}

Cardinal TzvCustomTapiLine::RefreshCalls() {
  Cardinal result = 0;
  TLockGuard lock(*FCalls, platform::INFINITE);
  try {
    if (IsOpen()) {
      int i = 0;
      while (i < FCalls->Count()) {
        TzvTapiCall* call = FCalls->Get(i);
        if (IsCallHandleValid(call->Handle())) {
          ++i;
        } else {
          FreeCall(call);  // leaves the list: the next call is at the same position now
        }
      }
      TTapiStruct list = AllocTapiStruct(kCallListInitialSize);
      result = FetchTapiStruct(list, [this](void* structure) {
        return lineGetNewCalls(FHandle, 0, LINECALLSELECT_LINE,
                               static_cast<LPLINECALLLIST>(structure));
      });
      if (result == 0) {
        for (const Cardinal handle : ReadCallList(list))
          FindCall(handle, true);
      }
    } else {
      while (FCalls->Count() > 0)
        FreeCall(FCalls->Get(0));
    }
  } catch (const std::exception& e) {
    DoError(e, nullptr);
  }
  return result;
}

void TzvCustomTapiLine::Close() {
  if (!IsOpen()) return;
  const Cardinal handle = FClosedByTapi ? 0 : FHandle;
  FActive = false;
  FHandle = 0;
  platform::SetEvent(FAbortEvent);
  {
    TLockGuard lock(*FRequests, platform::INFINITE);
    FRequests->RemoveAllRequests(nullptr);
  }
  // TAPI may write into pending device-specific blocks and reply cells up to its reply; they
  // are kept until the line is closed, after which TAPI answers nothing of it.
  TDevSpecificBlocks blocks;
  KeepDevSpecificBlocks(blocks);
  {
    TLockGuard lock(*FTimerEvents, platform::INFINITE);
    FTimerEvents->RemoveAllRequests(nullptr);
  }
  {
    TLockGuard lock(*FUnconfirmedCalls, platform::INFINITE);
    while (FUnconfirmedCalls->Count() > 0)
      FreeCall(FUnconfirmedCalls->Get(0));
  }
  RefreshCalls();
  KeepDevSpecificBlocks(blocks);
  FPhoneDevs->Invalidate();
  FAddresses->InvalidateStatus();
  if (handle != 0) {
    const auto result = static_cast<Cardinal>(lineClose(handle));
    if (IsTapiError(result)) {
      try {
        RaiseTapiError(result);
      } catch (const EzvTapiError& e) {
        DoError(e, this);
      }
    }
  }
  FReplyCells.clear();
  FOrphanCells.clear();
  FOrphanBlocks.clear();
  FGatherCells.clear();
}

// ---------------------------------------------------------------------------------------------
// State messages

Cardinal TzvCustomTapiLine::GetLineStateMessages() {
  if (!IsOpen()) return 0;
  DWORD lineStates = 0;
  DWORD addressStates = 0;
  lineGetStatusMessages(FHandle, &lineStates, &addressStates);
  return lineStates;
}

Cardinal TzvCustomTapiLine::GetAddressStateMessages() {
  if (!IsOpen()) return 0;
  DWORD lineStates = 0;
  DWORD addressStates = 0;
  lineGetStatusMessages(FHandle, &lineStates, &addressStates);
  return addressStates;
}

void TzvCustomTapiLine::SetLineStateMessages(Cardinal Value) {
  CheckTapiResult(
      static_cast<Cardinal>(lineSetStatusMessages(FHandle, Value, GetAddressStateMessages())));
}

void TzvCustomTapiLine::SetAddressStateMessages(Cardinal Value) {
  CheckTapiResult(
      static_cast<Cardinal>(lineSetStatusMessages(FHandle, GetLineStateMessages(), Value)));
}

// ---------------------------------------------------------------------------------------------
// Look-ups and call-list bookkeeping

TzvTapiAddress* TzvCustomTapiLine::Get_AddressByName(const std::string& Value) const {
  const int index = FAddressList->IndexOf(Value);
  if (index < 0 || index >= FAddresses->Count()) return nullptr;
  return FAddresses->Get(index);
}

bool TzvCustomTapiLine::IsCallValid(const TzvTapiCall* Call) {
  TLockGuard lock(*FCalls, platform::INFINITE);
  return IsCallObject(Call) && FCalls->ContainsLive(Call);
}

bool TzvCustomTapiLine::IsCallKnown(const TzvTapiCall* Call) const {
  return IsCallObject(Call) &&
         (FCalls->ContainsLive(Call) || FUnconfirmedCalls->ContainsLive(Call));
}

bool TzvCustomTapiLine::StillListed(const TzvTapiCall* Call, Cardinal RemovalsBefore) const {
  return FCalls->Removals() == RemovalsBefore || (IsCallObject(Call) && FCalls->ContainsLive(Call));
}

bool TzvCustomTapiLine::CheckCall(const TzvTapiCall* Call, const std::string& Msg) const {
  if (IsCallObject(Call) && FCalls->ContainsLive(Call) && Call->Handle() != 0) return true;
  if (Msg.empty()) return false;
  RaiseError(Format("%s! Invalid call.", Msg.c_str()));
}

void TzvCustomTapiLine::AddCall(TzvTapiCall* Call) {
  if (!Call) return;
  TzvTapiCall::Existing().insert(Call);
  if (Call->Handle() != 0) {
    FCalls->Add(Call);
  } else {
    FUnconfirmedCalls->Add(Call);
  }
}

bool TzvCustomTapiLine::SortCalls(TzvTapiCall* Call) {
  if (Call) {
    if (Call->Handle() != 0) {
      FCalls->Add(Call);
      FUnconfirmedCalls->Remove(Call);
    } else {
      FCalls->Remove(Call);
      FUnconfirmedCalls->Add(Call);
    }
    return FCalls->Contains(Call);
  }
  std::vector<TzvTapiCall*> moving;
  for (TzvTapiCall* call : *FCalls) {
    if (call->Handle() == 0) moving.push_back(call);
  }
  for (TzvTapiCall* call : moving) {
    FCalls->Remove(call);
    FUnconfirmedCalls->Add(call);
  }
  moving.clear();
  for (TzvTapiCall* call : *FUnconfirmedCalls) {
    if (call->Handle() != 0) moving.push_back(call);
  }
  for (TzvTapiCall* call : moving) {
    FUnconfirmedCalls->Remove(call);
    FCalls->Add(call);
  }
  return false;
}

TzvTapiCall* TzvCustomTapiLine::FindCall(Cardinal CallHandle, bool Create) {
  // TAPI never reports a call by handle 0; only calls without a handle would match it.
  if (CallHandle == 0) return nullptr;
  TLockGuard lock(*FCalls, platform::INFINITE);
  TzvTapiCall* call = FCalls->ByHandle(CallHandle);
  if (!call) {
    call = FUnconfirmedCalls->ByHandle(CallHandle);
    if (call) SortCalls(call);
  }
  // A provider may report a new call before it answers the operation that made it; TAPI has
  // written the handle by then, and the message belongs to the operation's object.
  if (!call) call = ClaimWrittenHandle(CallHandle);
  if (!call && Create && IsCallHandleValid(CallHandle)) {
    call = FCallClass(this, CallHandle);
    if (call->State() == LINECALLSTATE_IDLE) {
      FreeCall(call);
      call = nullptr;
    }
  }
  return call;
}

bool TzvCustomTapiLine::IsCallHandleValid(Cardinal CallHandle) {
  TTapiStruct status = AllocTapiStruct(kCallStatusInitialSize);
  const Cardinal result = FetchTapiStruct(status, [CallHandle](void* structure) {
    return lineGetCallStatus(CallHandle, static_cast<LPLINECALLSTATUS>(structure));
  });
  // Only "invalid handle" says the call has gone; any other failure leaves the handle to be
  // taken as valid, and the program hears of it.
  if (result == LINEERR_INVALCALLHANDLE) return false;
  if (IsTapiError(result)) DoError(EzvTapiError::CreateCode(result), nullptr);
  return true;
}

void TzvCustomTapiLine::ForgetCall(TzvTapiCall* Call) {
  if (!Call) return;
  if (TLockGuard lock(*FRequests, 10); lock) {
    FRequests->RemoveAllRequests(Call);
    // Requests that made a second or third call (transfer, conference, swap hold) name it in
    // a further slot; their reply or time-out must not reach it once it is gone.
    for (int i = 0; i < FRequests->Count(); ++i) {
      TzvTapiRequest* request = FRequests->Get(i);
      for (int slot = 1; slot < 3; ++slot) {
        if (request->GetObject(slot) == Call) request->SetObject(slot, nullptr);
      }
    }
  }
  if (TLockGuard lock(*FTimerEvents, 10); lock) FTimerEvents->RemoveAllRequests(Call);
  // The handle TAPI may still write for it goes nowhere now.
  for (auto& [id, cells] : FReplyCells) {
    for (TReplyCell& cell : cells) {
      if (cell.Call == Call) cell.Call = nullptr;
    }
  }
  // Digits TAPI is still gathering for it are nobody's any more.
  for (auto& [handle, cells] : FGatherCells) {
    for (auto& cell : cells) {
      if (cell->Call == Call) cell->Call = nullptr;
    }
  }
  if (TLockGuard lock(*FCalls, 10); lock) FCalls->Remove(Call);
  if (TLockGuard lock(*FUnconfirmedCalls, 10); lock) FUnconfirmedCalls->Remove(Call);
  // A device-specific block keeps reporting its call until its reply; not a freed one.
  if (TLockGuard lock(*FDevSpecificList, 10); lock) {
    for (int i = 0; i < FDevSpecificList->Count(); ++i) {
      auto* data = dynamic_cast<TzvTapiLineDevSpecificData*>(FDevSpecificList->Get(i));
      if (data && data->Call() == Call) data->SetCall(nullptr);
    }
  }
}

void TzvCustomTapiLine::CallDestroyed(TzvTapiCall* Call) {
  TzvTapiCall::Existing().erase(Call);
}

bool TzvCustomTapiLine::IsCallObject(const TObject* Object) const {
  return TzvTapiCall::Exists(Object) && static_cast<const TzvTapiCall*>(Object)->FLine == this;
}

void TzvCustomTapiLine::ReleaseCallReferences(TzvTapiCall* Call) {
  for (int i = 0; i < FCalls->Count(); ++i)
    FCalls->Get(i)->ReleaseRelatedCall(Call);
}

// ---------------------------------------------------------------------------------------------
// Message dispatch

void TzvCustomTapiLine::TapiMessage(Cardinal hDevice, Cardinal MessageID, Cardinal Param1,
                                    Cardinal Param2, Cardinal Param3) {
  switch (MessageID) {
    case LINE_ADDRESSSTATE:
      LineAddressState(Param1, Param2);
      break;
    case LINE_CALLINFO:
      LineCallInfo(hDevice, Param1);
      break;
    case LINE_CALLSTATE:
      LineCallState(hDevice, Param1, Param2, Param3);
      break;
    case LINE_CLOSE:
      DeviceClosed();
      break;
    case LINE_DEVSPECIFIC:
      LineDevSpecific(hDevice, Param1, Param2, Param3);
      break;
    case LINE_DEVSPECIFICFEATURE:
      LineDevSpecificFeature(hDevice, Param1, Param2, Param3);
      break;
    case LINE_GATHERDIGITS:
      LineGatherDigits(hDevice, Param1);
      break;
    case LINE_GENERATE:
      LineGenerate(hDevice, Param1);
      break;
    case LINE_LINEDEVSTATE:
      DevStateChanged(Param1, Param2, Param3);
      break;
    case LINE_MONITORDIGITS:
      LineMonitorDigits(hDevice, Param1, Param2);
      break;
    case LINE_MONITORMEDIA:
      LineMonitorMedia(hDevice, Param1, Param3);
      break;
    case LINE_MONITORTONE:
      LineMonitorTone(hDevice, Param1);
      break;
    case LINE_REPLY:
      ReleaseOrphans(Param1);
      TapiReply(Param1, static_cast<Integer>(Param2));
      break;
    case LINE_CREATE:
      break;  // the application object's business
    case LINE_AGENTSTATUS:
      LineAgentStatus(Param1, Param2, Param3);
      break;
    case LINE_APPNEWCALL:
      LineAppNewCall(Param2);
      break;
    case LINE_REMOVE:
      DeviceRemoved(static_cast<Integer>(Param1));
      break;
    default:
      throw EAssertionFailed(
          Format("Unknown/Unsupported Line Event (LINE_0x%X).", static_cast<unsigned>(MessageID)));
  }
  TzvTapiDevice::TapiMessage(hDevice, MessageID, Param1, Param2, Param3);
}

void TzvCustomTapiLine::LineAddressState(Cardinal AddressID, Cardinal AddressState) {
  // A handler may rebuild the addresses; the walk re-reads the count each time.
  for (int i = 0; i < FAddresses->Count(); ++i) {
    TzvTapiAddress* address = FAddresses->Get(i);
    if (static_cast<Cardinal>(address->AddressID()) != AddressID) continue;
    address->AddressStateChanged(AddressState);
    DoAddressState(address, AddressState);
  }
}

void TzvCustomTapiLine::LineAgentStatus(Cardinal /*Param1*/, Cardinal /*Param2*/,
                                        Cardinal /*Param3*/) {}

TzvTapiCall* TzvCustomTapiLine::LineAppNewCall(Cardinal CallHandle) {
  TLockGuard lock(*FCalls, platform::INFINITE);
  if (CallHandle == 0) return nullptr;
  if (FindCall(CallHandle, false)) return nullptr;
  if (!IsCallHandleValid(CallHandle)) return nullptr;
  TzvTapiCall* call = FCallClass(this, CallHandle);
  DoNewCall(call);
  if (!IsCallObject(call)) return nullptr;  // freed by the handler
  if (call->Alive()) DoCallBegin(call);
  return IsCallObject(call) ? call : nullptr;
}

void TzvCustomTapiLine::LineCallState(Cardinal CallHandle, Cardinal State, Cardinal StateMode,
                                      Cardinal Privilege) {
  if (State == 0) return;
  TzvTapiCall* call = FindCall(CallHandle, true);
  if (!call) return;
  const bool wasAlive = call->Alive();
  // The handlers below may free the call.
  const Cardinal removals = FCalls->Removals();
  auto gone = [&] { return !StillListed(call, removals); };
  call->CallStateChanged(State, StateMode, Privilege);
  if (State == LINECALLSTATE_IDLE) {
    if (call->FPrimaryCall || call->FConsultCall) ReleaseCallReferences(call);
  } else if (State == LINECALLSTATE_CONFERENCED && call->FPrimaryCall) {
    call->FPrimaryCall->ReleaseRelatedCall(call);
    call->ReleaseRelatedCall(nullptr);
  }
  DoCallState(call, State, StateMode, Privilege);
  if (gone()) return;
  if (Privilege != 0) DoCallPrivilege(call, Privilege);
  if (gone()) return;
  if (!wasAlive && call->Alive()) {
    DoCallBegin(call);
  } else if (wasAlive && !call->Alive()) {
    DoCallEnd(call);
  }
  if (gone()) return;
  // Only now: the handlers above see the history without the state being reported.
  call->FStateHistory |= State;
  if (State == LINECALLSTATE_IDLE) {
    ScheduleFreeIdleCall(call);
  } else if (State == LINECALLSTATE_DISCONNECTED) {
    ScheduleDropDisconnectedCall(call);
  }
}

void TzvCustomTapiLine::LineCallInfo(Cardinal CallHandle, Cardinal InfoStates) {
  TzvTapiCall* call = FindCall(CallHandle, true);
  if (!call) return;
  call->CallInfoChanged(InfoStates);
  if (InfoStates & LINECALLINFOSTATE_MEDIAMODE) {
    DoMediaMode(call, call->Info()->MediaMode(), platform::GetTickCount());
    if (!IsCallObject(call)) return;  // freed by the handler
  }
  DoCallInfo(call, InfoStates);
}

void TzvCustomTapiLine::LineDevSpecific(Cardinal hDevice, Cardinal Param1, Cardinal Param2,
                                        Cardinal Param3) {
  TzvTapiCall* call = hDevice == FHandle ? nullptr : FindCall(hDevice, false);
  DoDevSpecific(call, Param1, Param2, Param3);
}

void TzvCustomTapiLine::LineDevSpecificFeature(Cardinal hDevice, Cardinal Param1, Cardinal Param2,
                                               Cardinal Param3) {
  TzvTapiCall* call = hDevice == FHandle ? nullptr : FindCall(hDevice, false);
  DoDevSpecificFeature(call, Param1, Param2, Param3);
}

void TzvCustomTapiLine::LineGatherDigits(Cardinal CallHandle, Cardinal Termination) {
  // A gathering of this line's: reported to its call, or to nobody when the call has gone.
  if (TakeGatherCell(CallHandle, Termination)) return;
  TzvTapiCall* call = FindCall(CallHandle, true);
  if (!call) return;
  call->GatherDigits().GatherDigitsTerminated(Termination);
  DoGatherDigits(call, Termination);
}

void TzvCustomTapiLine::LineGenerate(Cardinal CallHandle, Cardinal Termination) {
  DoGenerate(FindCall(CallHandle, true), Termination);
}

void TzvCustomTapiLine::LineMonitorDigits(Cardinal CallHandle, Cardinal Digit, Cardinal DigitMode) {
  DoDigit(FindCall(CallHandle, true), Digit, DigitMode);
}

void TzvCustomTapiLine::LineMonitorMedia(Cardinal CallHandle, Cardinal MediaMode,
                                         Cardinal TickCount) {
  DoMediaMode(FindCall(CallHandle, true), MediaMode, TickCount);
}

void TzvCustomTapiLine::LineMonitorTone(Cardinal CallHandle, Cardinal AppSpecific) {
  TzvTapiCall* call = FindCall(CallHandle, true);
  // The silence monitor asks for a tone of no frequencies with this application value.
  if (AppSpecific == 0xFFFFFFFF) {
    DoSilence(call);
  } else {
    DoTone(call, AppSpecific);
  }
}

void TzvCustomTapiLine::DevStateChanged(Cardinal State, Cardinal Param2, Cardinal Param3) {
  FDeviceStatus->Invalidate();
  if (State & LINEDEVSTATE_REINIT) {
    RefreshLocation();
    DoTapiReinit();
  }
  if ((State & LINEDEVSTATE_CAPSCHANGE) != 0) {
    FDeviceCaps->Invalidate();
    // An unbound line keeps the name it was given; there are no capabilities to take one from.
    if (Available()) {
      const std::string name = FDeviceCaps->LineName();
      if (name != FDeviceName) {
        FDeviceName = name;
        if (zvTapiApplication) {
          const TStringList& devices = zvTapiApplication->LineDevices();
          if (FDeviceID < 0 || FDeviceID >= devices.Count() || devices.Strings(FDeviceID) != name) {
            zvTapiApplication->UpdateLineDevices(true);
          }
        }
      }
    }
  }
  if (State & LINEDEVSTATE_TRANSLATECHANGE) {
    RefreshLocation();
    DoTapiTranslateChange();
  }
  if (State & LINEDEVSTATE_REMOVED) DeviceRemoved(FDeviceID);
  DoDevStateChange(State, Param2, Param3);
}

void TzvCustomTapiLine::DeviceNameChanged(const std::string& NewName) {
  if (NewName == FDeviceName) return;
  FDeviceCaps->Invalidate();
  FDeviceName = FDeviceCaps->LineName();
  DoDevStateChange(LINEDEVSTATE_CAPSCHANGE, 0, 0);
}

// ---------------------------------------------------------------------------------------------
// Request completion

template <class F>
void TzvCustomTapiLine::ForEachRequestCall(TzvTapiRequest* Request, Cardinal RequestID, F&& f) {
  for (int index = 2; index >= 0; --index) {
    // Only this line's live call objects are looked at as calls; anything else in a slot
    // (an address, a data block, an emptied slot) is left alone.
    TObject* object = Request->GetObject(index);
    if (!IsCallObject(object)) continue;
    f(dynamic_cast<TzvTapiCall*>(object));
    // What a call is told may end the request (a call class's own hook, a handler).
    if (!IsRequestPending(Request, RequestID)) return;
  }
}

// The calls a creating request made that TAPI never created. Freeing the call in slot 0 frees
// the request too, so the candidates are collected first.
template <class F>
void TzvCustomTapiLine::FreeUnbornCalls(TzvTapiRequest* Request, Cardinal RequestID, F&& Unborn) {
  std::vector<TzvTapiCall*> calls;
  ForEachRequestCall(Request, RequestID, [&](TzvTapiCall* call) {
    if (Unborn(call)) calls.push_back(call);
  });
  for (TzvTapiCall* call : calls) {
    if (IsCallObject(call)) FreeCall(call);
  }
}

void TzvCustomTapiLine::HandleReply(Cardinal RequestID, Integer ReplyCode,
                                    TzvTapiRequest* Request) {
  ZV_ASSERT(Request != nullptr);
  if (Request->FHandled) return;
  Request->FHandled = true;
  // New calls get the handles TAPI wrote before they hear of the reply.
  DeliverReplyCells(RequestID, ReplyCode);
  ForEachRequestCall(Request, RequestID, [&](TzvTapiCall* call) {
    try {
      call->ReplyReceived(RequestID, ReplyCode, Request);
    } catch (const std::exception& e) {
      DoError(e, nullptr);
    }
  });
  DoTapiReply(RequestID, ReplyCode);
  // A reply handler may have closed the line, which frees the request.
  if (!IsRequestPending(Request, RequestID)) return;
  const Cardinal type = Request->FRequestType;
  const auto code = static_cast<Cardinal>(ReplyCode);
  if (type == TAPIREQUEST_LINEDEVSPECIFIC) {
    auto* block = static_cast<TzvTapiDevSpecificData*>(Request->GetObject(0));
    if (!IsDevSpecificBlockListed(block, RequestID)) return;
    if (auto* data = dynamic_cast<TzvTapiLineDevSpecificData*>(block))
      DoDevSpecificReply(RequestID, data, code);
    if (!FOptions->SyncMode()) FreeDevSpecificBlock(block, RequestID);
  } else if (type == TAPIREQUEST_LINEDEVSPECIFICFEATURE) {
    auto* block = static_cast<TzvTapiDevSpecificData*>(Request->GetObject(0));
    if (!IsDevSpecificBlockListed(block, RequestID)) return;
    if (auto* data = dynamic_cast<TzvTapiLineDevSpecificFeatureData*>(block))
      DoDevSpecificFeatureReply(RequestID, data->Feature(), code, data);
    if (!FOptions->SyncMode()) FreeDevSpecificBlock(block, RequestID);
  } else if (ReplyCode != 0 && IsCallCreatingRequest(type)) {
    // A call TAPI made after all has its handle by now (from the reply or an earlier message)
    // and ends like any other call.
    FreeUnbornCalls(Request, RequestID, [](TzvTapiCall* call) { return call->Handle() == 0; });
  }
}

void TzvCustomTapiLine::HandleTimeout(Cardinal RequestID, TzvTapiRequest* Request) {
  ZV_ASSERT(Request != nullptr);
  if (Request->FHandled) return;
  Request->FHandled = true;
  // A handle TAPI has written already means the call exists; it stays.
  ClaimWrittenHandles(RequestID);
  // TAPI may still answer; what it would write into stays where it can.
  OrphanReplyCells(RequestID);
  ForEachRequestCall(Request, RequestID,
                     [&](TzvTapiCall* call) { call->RequestTimedOut(RequestID, Request); });
  DoTapiTimeout(RequestID, Request);
  if (!IsRequestPending(Request, RequestID)) return;
  const Cardinal type = Request->FRequestType;
  if (IsCallCreatingRequest(type)) {
    FreeUnbornCalls(Request, RequestID,
                    [this](TzvTapiCall* call) { return FUnconfirmedCalls->Contains(call); });
  } else if (type == TAPIREQUEST_LINEDEVSPECIFIC) {
    auto* block = static_cast<TzvTapiDevSpecificData*>(Request->GetObject(0));
    if (!IsDevSpecificBlockListed(block, RequestID)) return;
    if (auto* data = dynamic_cast<TzvTapiLineDevSpecificData*>(block))
      DoDevSpecificTimeout(RequestID, data, Request->FTimeout);
    OrphanDevSpecificBlock(RequestID, block);
  } else if (type == TAPIREQUEST_LINEDEVSPECIFICFEATURE) {
    auto* block = static_cast<TzvTapiDevSpecificData*>(Request->GetObject(0));
    if (!IsDevSpecificBlockListed(block, RequestID)) return;
    if (auto* data = dynamic_cast<TzvTapiLineDevSpecificFeatureData*>(block))
      DoDevSpecificFeatureTimeout(RequestID, data->Feature(), Request->FTimeout, data);
    OrphanDevSpecificBlock(RequestID, block);
  }
}

// ---------------------------------------------------------------------------------------------
// Automatic clean-up of finished calls

void TzvCustomTapiLine::ScheduleCallTimer(TzvTapiCall* Call, Integer Delay, Cardinal Type) {
  TLockGuard lock(*FTimerEvents, 100);
  if (!lock) return;
  FTimerEvents->RemoveAllRequests(Call);
  TzvTapiRequest* event = FTimerEvents->AddRequest(0, static_cast<Cardinal>(Delay));
  event->FRequestType = Type;
  event->SetObject(0, Call);
}

void TzvCustomTapiLine::ScheduleFreeIdleCall(TzvTapiCall* Call) {
  if (FOptions->AutoFreeIdleCalls() == -1 || !Call || !FCalls->Contains(Call)) return;
  ScheduleCallTimer(Call, FOptions->AutoFreeIdleCalls(), TAPITIMER_FREEIDLECALL);
}

void TzvCustomTapiLine::ScheduleDropDisconnectedCall(TzvTapiCall* Call) {
  if (FOptions->AutoDropDiscCalls() == -1 || !Call || !FCalls->Contains(Call)) return;
  ScheduleCallTimer(Call, FOptions->AutoDropDiscCalls(), TAPITIMER_DROPDISCCALL);
}

void TzvCustomTapiLine::HandleTimerEvent(Cardinal /*ID*/, TzvTapiRequest* Request) {
  ZV_ASSERT(Request != nullptr);
  TObject* object = Request->GetObject(0);
  if (!IsCallObject(object)) return;
  auto* call = dynamic_cast<TzvTapiCall*>(object);
  if (!call || !FCalls->Contains(call)) return;
  switch (Request->FRequestType) {
    case TAPITIMER_FREEIDLECALL:
      if (call->State() != LINECALLSTATE_IDLE) return;
      // A request still waiting for its reply would lose its call.
      if (call->PendingRequestType() != 0) {
        ScheduleFreeIdleCall(call);
        return;
      }
      ForgetCall(call);
      DoCallDeallocate(call);
      if (IsCallObject(call)) FreeCall(call);  // unless the handler freed it already
      break;
    case TAPITIMER_DROPDISCCALL:
      if (call->State() != LINECALLSTATE_DISCONNECTED) return;
      if (call->Valid()) {
        try {
          call->Drop("");
        } catch (const std::exception& e) {
          // A call that went idle meanwhile needs no drop: the idle timer takes it from here.
          // One still disconnected stays on the line until the program drops it, so it must
          // hear why.
          if (IsCallObject(call) && call->State() == LINECALLSTATE_DISCONNECTED) DoError(e, call);
        }
      } else {
        FCalls->Remove(call);
      }
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------------------------------------
// Event firers: nothing to fire at this level

void TzvCustomTapiLine::DoDevStateChange(Cardinal State, Cardinal StateDetail1,
                                         Cardinal StateDetail2) {
  TzvTapiDevice::DoDevStateChange(State, StateDetail1, StateDetail2);
}
void TzvCustomTapiLine::DoAddressState(TzvTapiAddress*, Cardinal) {}
void TzvCustomTapiLine::DoCallBegin(TzvTapiCall*) {}
void TzvCustomTapiLine::DoCallEnd(TzvTapiCall*) {}
void TzvCustomTapiLine::DoCallInfo(TzvTapiCall*, Cardinal) {}
void TzvCustomTapiLine::DoCallPrivilege(TzvTapiCall*, Cardinal) {}
void TzvCustomTapiLine::DoCallState(TzvTapiCall*, Cardinal, Cardinal, Cardinal) {}
void TzvCustomTapiLine::DoCallDeallocate(TzvTapiCall*) {}
void TzvCustomTapiLine::DoDevSpecific(TzvTapiCall*, Cardinal, Cardinal, Cardinal) {}
void TzvCustomTapiLine::DoDevSpecificFeature(TzvTapiCall*, Cardinal, Cardinal, Cardinal) {}
void TzvCustomTapiLine::DoDevSpecificReply(Cardinal, TzvTapiLineDevSpecificData*, Cardinal) {}
void TzvCustomTapiLine::DoDevSpecificTimeout(Cardinal, TzvTapiLineDevSpecificData*, Cardinal) {}
void TzvCustomTapiLine::DoDevSpecificFeatureReply(Cardinal, Cardinal, Cardinal,
                                                  TzvTapiLineDevSpecificFeatureData*) {}
void TzvCustomTapiLine::DoDevSpecificFeatureTimeout(Cardinal, Cardinal, Cardinal,
                                                    TzvTapiLineDevSpecificFeatureData*) {}
void TzvCustomTapiLine::DoDigit(TzvTapiCall*, Cardinal, Cardinal) {}
void TzvCustomTapiLine::DoGatherDigits(TzvTapiCall*, Cardinal) {}
void TzvCustomTapiLine::DoGenerate(TzvTapiCall*, Cardinal) {}
void TzvCustomTapiLine::DoMediaMode(TzvTapiCall*, Cardinal, Cardinal) {}
void TzvCustomTapiLine::DoTone(TzvTapiCall*, Cardinal) {}
void TzvCustomTapiLine::DoSilence(TzvTapiCall*) {}
void TzvCustomTapiLine::DoNewCall(TzvTapiCall*) {}

// ---------------------------------------------------------------------------------------------
// TzvTapiLine: the events

void TzvTapiLine::DoDevStateChange(Cardinal State, Cardinal StateDetail1, Cardinal StateDetail2) {
  TzvCustomTapiLine::DoDevStateChange(State, StateDetail1, StateDetail2);
  if (State & LINEDEVSTATE_RINGING) Fire(FOnRing, this, StateDetail1, StateDetail2);
}

void TzvTapiLine::DoAddressState(TzvTapiAddress* Address, Cardinal AddressState) {
  if (IsOpen()) Fire(FOnAddressState, this, Address, AddressState);
}

void TzvTapiLine::DoCallBegin(TzvTapiCall* Call) {
  if (IsOpen()) Fire(FOnCallBegin, this, Call);
}

void TzvTapiLine::DoCallEnd(TzvTapiCall* Call) {
  if (IsOpen()) Fire(FOnCallEnd, this, Call);
}

void TzvTapiLine::DoCallInfo(TzvTapiCall* Call, Cardinal InfoStates) {
  if (!IsOpen()) return;
  Fire(FOnCallInfo, this, Call, InfoStates);
  const std::pair<Cardinal, const TzvTapiCallEvent*> parties[] = {
      {LINECALLINFOSTATE_CALLERID, &FOnCallInfo_CallerID},
      {LINECALLINFOSTATE_CALLEDID, &FOnCallInfo_CalledID},
      {LINECALLINFOSTATE_CONNECTEDID, &FOnCallInfo_ConnectedID},
      {LINECALLINFOSTATE_REDIRECTIONID, &FOnCallInfo_RedirectionID},
      {LINECALLINFOSTATE_REDIRECTINGID, &FOnCallInfo_RedirectingID},
  };
  for (const auto& [bit, event] : parties) {
    // A handler that freed the call ends the series: the next one would get a dead object.
    if (!IsCallObject(Call)) return;
    if (InfoStates & bit) Fire(*event, this, Call);
  }
}

void TzvTapiLine::DoCallPrivilege(TzvTapiCall* Call, Cardinal Privilege) {
  if (IsOpen()) Fire(FOnCallPrivilege, this, Call, Privilege);
}

void TzvTapiLine::DoCallState(TzvTapiCall* Call, Cardinal State, Cardinal /*StateMode*/,
                              Cardinal /*Privilege*/) {
  // The call of the report exists; whether it is listed is all there is to ask.
  if (!Calls().ContainsLive(Call)) return;
  const Cardinal removals = Calls().Removals();
  Fire(FOnCallState, this, Call, State);
  if (!StillListed(Call, removals)) return;
  const TzvTapiCallEvent* event = nullptr;
  switch (State) {
    case LINECALLSTATE_IDLE:
      event = &FOnCallState_Idle;
      break;
    case LINECALLSTATE_OFFERING:
      event = &FOnCallState_Offering;
      break;
    case LINECALLSTATE_ACCEPTED:
      event = &FOnCallState_Accepted;
      break;
    case LINECALLSTATE_DIALTONE:
      event = &FOnCallState_Dialtone;
      break;
    case LINECALLSTATE_DIALING:
      event = &FOnCallState_Dialing;
      break;
    case LINECALLSTATE_RINGBACK:
      event = &FOnCallState_Ringback;
      break;
    case LINECALLSTATE_BUSY:
      event = &FOnCallState_Busy;
      break;
    case LINECALLSTATE_SPECIALINFO:
      event = &FOnCallState_SpecialInfo;
      break;
    case LINECALLSTATE_CONNECTED:
      event = &FOnCallState_Connected;
      break;
    case LINECALLSTATE_PROCEEDING:
      event = &FOnCallState_Proceeding;
      break;
    case LINECALLSTATE_ONHOLD:
      event = &FOnCallState_OnHold;
      break;
    case LINECALLSTATE_CONFERENCED:
      event = &FOnCallState_Conferenced;
      break;
    case LINECALLSTATE_ONHOLDPENDCONF:
      event = &FOnCallState_OnHoldPendConf;
      break;
    case LINECALLSTATE_ONHOLDPENDTRANSFER:
      event = &FOnCallState_PendTransfer;
      break;
    case LINECALLSTATE_DISCONNECTED:
      event = &FOnCallState_Disconnected;
      break;
    default:
      break;  // UNKNOWN and combinations report OnCallState only
  }
  if (event) Fire(*event, this, Call);
}

void TzvTapiLine::DoCallDeallocate(TzvTapiCall* Call) {
  if (IsOpen()) Fire(FOnDeallocateCall, this, Call);
}

void TzvTapiLine::DoDevSpecific(TzvTapiCall* Call, Cardinal Param1, Cardinal Param2,
                                Cardinal Param3) {
  if (IsOpen()) Fire(FOnDevSpecific, this, Call, Param1, Param2, Param3);
}

void TzvTapiLine::DoDevSpecificFeature(TzvTapiCall* Call, Cardinal Param1, Cardinal Param2,
                                       Cardinal Param3) {
  Fire(FOnDevSpecificFeature, this, Call, Param1, Param2, Param3);
}

void TzvTapiLine::DoDevSpecificReply(Cardinal RequestID, TzvTapiLineDevSpecificData* Data,
                                     Cardinal ReplyCode) {
  if (!IsOpen() || !Data) return;
  Fire(FOnDevSpecificReply, this, RequestID, Data->Data(), Data->DataSize(), Data->Address(),
       Data->Call(), ReplyCode);
}

void TzvTapiLine::DoDevSpecificTimeout(Cardinal RequestID, TzvTapiLineDevSpecificData* Data,
                                       Cardinal Timeout) {
  if (!Data) return;
  Fire(FOnDevSpecificTimeout, this, RequestID, Data->Data(), Data->DataSize(), Data->Address(),
       Data->Call(), Timeout);
}

void TzvTapiLine::DoDigit(TzvTapiCall* Call, Cardinal Digit, Cardinal /*DigitMode*/) {
  if (IsOpen()) Fire(FOnDigit, this, Call, static_cast<char16_t>(Digit & 0xFF));
}

void TzvTapiLine::DoGatherDigits(TzvTapiCall* Call, Cardinal Termination) {
  if (!FOnGatherDigitsTerm || !Call) return;
  Fire(FOnGatherDigitsTerm, this, Call, Call->GatherDigits().ReceivedDigits(), Termination);
}

void TzvTapiLine::DoGenerate(TzvTapiCall* Call, Cardinal Termination) {
  if (IsOpen()) Fire(FOnGenerate, this, Call, Termination);
}

void TzvTapiLine::DoMediaMode(TzvTapiCall* Call, Cardinal /*MediaMode*/, Cardinal /*TickCount*/) {
  if (IsOpen()) Fire(FOnMediaMode, this, Call);
}

void TzvTapiLine::DoTone(TzvTapiCall* Call, Cardinal AppSpecific) {
  if (IsOpen()) Fire(FOnTone, this, Call, AppSpecific);
}

void TzvTapiLine::DoSilence(TzvTapiCall* Call) {
  if (IsOpen()) Fire(FOnSilence, this, Call);
}

void TzvTapiLine::DoNewCall(TzvTapiCall* Call) {
  if (IsOpen()) Fire(FOnNewCall, this, Call);
}

}  // namespace zvtapi
