#include "tapi/application.h"

#include <cstring>

#include "platform/clock.h"
#include "platform/module.h"
#include "tapi/device.h"
#include "tapi/errors.h"
#include "tapi/line.h"
#include "tapi/phone.h"
#include "tapi/structures.h"

namespace zvtapi {

namespace {

// The text of one fixed-size UTF-16 field, up to its NUL.
std::string FixedWideText(const WCHAR* text, size_t capacity) {
  size_t length = 0;
  while (length < capacity && text[length] != 0)
    ++length;
  return platform::WideToUtf8(std::u16string_view(text, length));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Component lists

TzvCustomTapiLine* TzvTapiLineList::Get(int index) const {
  if (index < 0 || index >= Count()) RaiseError(Format("List index out of bounds (%d)", index));
  return FItems[static_cast<size_t>(index)];
}

void TzvTapiLineList::Put(int index, TzvCustomTapiLine* item) {
  if (index < 0 || index >= Count()) RaiseError(Format("List index out of bounds (%d)", index));
  FItems[static_cast<size_t>(index)] = item;
}

int TzvTapiLineList::IndexOf(const TzvCustomTapiLine* item) const {
  for (size_t i = 0; i < FItems.size(); ++i) {
    if (FItems[i] == item) return static_cast<int>(i);
  }
  return -1;
}

int TzvTapiLineList::IndexOfDeviceID(Integer value) const {
  for (size_t i = 0; i < FItems.size(); ++i) {
    if (FItems[i]->DeviceID() == value) return static_cast<int>(i);
  }
  return -1;
}

void TzvTapiLineList::Remove(const TzvCustomTapiLine* item) {
  const int index = IndexOf(item);
  if (index >= 0) FItems.erase(FItems.begin() + index);
}

TzvCustomTapiPhone* TzvTapiPhoneList::Get(int index) const {
  if (index < 0 || index >= Count()) RaiseError(Format("List index out of bounds (%d)", index));
  return FItems[static_cast<size_t>(index)];
}

void TzvTapiPhoneList::Put(int index, TzvCustomTapiPhone* item) {
  if (index < 0 || index >= Count()) RaiseError(Format("List index out of bounds (%d)", index));
  FItems[static_cast<size_t>(index)] = item;
}

int TzvTapiPhoneList::IndexOf(const TzvCustomTapiPhone* item) const {
  for (size_t i = 0; i < FItems.size(); ++i) {
    if (FItems[i] == item) return static_cast<int>(i);
  }
  return -1;
}

void TzvTapiPhoneList::Remove(const TzvCustomTapiPhone* item) {
  const int index = IndexOf(item);
  if (index >= 0) FItems.erase(FItems.begin() + index);
}

// ---------------------------------------------------------------------------------------------
// Construction and lifecycle

TzvTapiApplication::TzvTapiApplication()
    : FWindowMessage(platform::WM_USER),
      FMessagesArrivedEvent(platform::CreateEvent(false, false)) {
  FCallbackInstance = NextCallbackInstance();  // the first number: 1
  FAppName = GetDefaultAppName();
}

TzvTapiApplication::~TzvTapiApplication() {
  // Library exit calls Done first; this only catches an object freed while still active.
  if (Active()) Done();
  platform::CloseHandle(FMessagesArrivedEvent);
}

std::string TzvTapiApplication::GetDefaultAppName() {
  const std::string path = platform::GetModuleFileName();
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

Cardinal TzvTapiApplication::InitLines(const std::string& AppName) {
  ZV_ASSERT(FLineEvent == 0);
  LINEINITIALIZEEXPARAMS params;
  std::memset(&params, 0, sizeof(params));
  params.dwTotalSize = sizeof(params);
  params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
  DWORD apiVersion = kZvTapiVersion;
  const std::u16string name = platform::Utf8ToWide(AppName);
  Cardinal result = static_cast<Cardinal>(
      lineInitializeExW(&FLineApp, 0, nullptr, name.c_str(), &FNumLines, &apiVersion, &params));
  if (result == 0) {
    FLineEvent = params.Handles.hEvent;
    if (FLineEvent == 0) result = LINEERR_NOMEM;
  }
  UpdateLineDevices(false);
  return result;
}

Cardinal TzvTapiApplication::InitPhones(const std::string& AppName) {
  ZV_ASSERT(FPhoneEvent == 0);
  PHONEINITIALIZEEXPARAMS params;
  std::memset(&params, 0, sizeof(params));
  params.dwTotalSize = sizeof(params);
  params.dwOptions = PHONEINITIALIZEEXOPTION_USEEVENT;
  DWORD apiVersion = kZvTapiVersion;
  const std::u16string name = platform::Utf8ToWide(AppName);
  Cardinal result = static_cast<Cardinal>(
      phoneInitializeExW(&FPhoneApp, 0, nullptr, name.c_str(), &FNumPhones, &apiVersion, &params));
  if (result == 0) {
    FPhoneEvent = params.Handles.hEvent;
    if (FPhoneEvent == 0) result = LINEERR_NOMEM;
  }
  UpdatePhoneDevices(false);
  return result;
}

Cardinal TzvTapiApplication::Init(const std::string& AppName) {
  if (FLineApp != 0 || FPhoneApp != 0) return LINEERR_NOMULTIPLEINSTANCE;
  Cardinal result = InitLines(AppName);
  if (result == 0) result = InitPhones(AppName);
  if (result == 0 && FLineEvent != 0 && FPhoneEvent != 0) {
    FTSPEventThread = std::make_unique<TzvTapiEventThread>(this);
    if (!FTSPEventThread->Started()) result = LINEERR_OPERATIONFAILED;
  }
  if (result == 0) {
    FWindowHandle = platform::AllocateHWnd([this](platform::Message& m) { WndProc(m); });
    DoInitialize();
    return 0;
  }
  // Undo whatever part of the initialisation succeeded.
  if (FLineApp != 0) {
    lineShutdown(FLineApp);
    FLineApp = 0;
  }
  if (FPhoneApp != 0) {
    phoneShutdown(FPhoneApp);
    FPhoneApp = 0;
  }
  if (FWindowHandle != 0) {
    platform::DeallocateHWnd(FWindowHandle);
    FWindowHandle = 0;
  }
  StopEventThread();
  FLineEvent = 0;
  FPhoneEvent = 0;
  return result;
}

void TzvTapiApplication::StopEventThread() {
  if (!FTSPEventThread) return;
  FTSPEventThread->Terminate();
  FTSPEventThread->WaitFor();
  FTSPEventThread.reset();
}

Cardinal TzvTapiApplication::Done() {
  if (FLineApp == 0 && FPhoneApp == 0) return 0;
  // The thread must be gone before TAPI releases the handles it waits on.
  StopEventThread();
  auto closeDevice = [this](TzvTapiDevice* device) {
    try {
      device->Close();
    } catch (const std::exception& e) {
      HandleException(e);
    }
    try {
      device->SetDeviceID(-1);
    } catch (const std::exception& e) {
      HandleException(e);
    }
    try {
      device->SetEnabled(false);
    } catch (const std::exception& e) {
      HandleException(e);
    }
  };
  for (int i = 0; i < FLines.Count(); ++i)
    closeDevice(FLines.Get(i));
  for (int i = 0; i < FPhones.Count(); ++i)
    closeDevice(FPhones.Get(i));
  Cardinal result = 0;
  if (FLineApp != 0) {
    result = static_cast<Cardinal>(lineShutdown(FLineApp));
    FLineApp = 0;
    FLineEvent = 0;
  }
  if (FPhoneApp != 0) {
    result = static_cast<Cardinal>(phoneShutdown(FPhoneApp));
    FPhoneApp = 0;
    FPhoneEvent = 0;
  }
  platform::DeallocateHWnd(FWindowHandle);
  FWindowHandle = 0;
  {
    TLockGuard lock(FMsgStack, platform::INFINITE);
    FMsgStack.Clear();
    FMsgStack.ShrinkToFit();
  }
  DoShutdown();
  return result;
}

void TzvTapiApplication::Initialize() {
  if (Active()) return;
  Cardinal result = 0;
  for (int attempt = 0; attempt < 5; ++attempt) {
    result = Init(FAppName);
    if (result == 0) break;
  }
  if (IsTapiError(result)) RaiseTapiError(result);
}

void TzvTapiApplication::Shutdown() {
  if (!Active()) return;
  const Cardinal result = Done();
  if (IsTapiError(result)) RaiseTapiError(result);
}

void TzvTapiApplication::SetActive(bool Value) {
  if (Value && !Active()) {
    Initialize();
  } else if (!Value && Active()) {
    Shutdown();
  }
}

bool TzvTapiApplication::CouldShutdown() const {
  if (FAssistMakeCall) return false;
  for (int i = 0; i < FLines.Count(); ++i) {
    if (FLines.Get(i)->IsAttached()) return false;
  }
  for (int i = 0; i < FPhones.Count(); ++i) {
    if (FPhones.Get(i)->IsAttached()) return false;
  }
  return true;
}

void TzvTapiApplication::Set_AppName(const std::string& Value) {
  if (Active()) {
    RaiseError("zvTapiApplication.Set_AppName failed! zvTapiApplication is Active");
  }
  FAppName = Value;
}

void TzvTapiApplication::SetAssistMakeCall(bool Value) {
  if (Value == FAssistMakeCall) return;
  if (Value) {
    Initialize();
    CheckTapiResult(static_cast<Cardinal>(
        lineRegisterRequestRecipient(FLineApp, FCallbackInstance, LINEREQUESTMODE_MAKECALL, 1)));
  } else if (Active()) {
    CheckTapiResult(static_cast<Cardinal>(
        lineRegisterRequestRecipient(FLineApp, FCallbackInstance, LINEREQUESTMODE_MAKECALL, 0)));
  }
  FAssistMakeCall = Value;
}

// ---------------------------------------------------------------------------------------------
// Component registry

void TzvTapiApplication::AddTapiComponent(TzvTapiComponent* Component) {
  auto* line = dynamic_cast<TzvCustomTapiLine*>(Component);
  auto* phone = dynamic_cast<TzvCustomTapiPhone*>(Component);
  if (line && FLines.IndexOf(line) < 0) {
    FLines.Add(line);
  } else if (phone && FPhones.IndexOf(phone) < 0) {
    FPhones.Add(phone);
  } else {
    RaiseError("AddTapiComponent: Unknow TapiComponent");
  }
  if (Active()) return;
  bool anyEnabled = false;
  for (int i = 0; i < FLines.Count() && !anyEnabled; ++i)
    anyEnabled = FLines.Get(i)->Enabled();
  for (int i = 0; i < FPhones.Count() && !anyEnabled; ++i)
    anyEnabled = FPhones.Get(i)->Enabled();
  if (!anyEnabled) return;
  try {
    Initialize();
  } catch (...) {
    // The caller is the component's constructor, which now fails: the registry must not keep
    // a pointer to an object that never came to be.
    if (line) FLines.Remove(line);
    if (phone) FPhones.Remove(phone);
    throw;
  }
}

void TzvTapiApplication::RemoveTapiComponent(TzvTapiComponent* Component) {
  if (auto* line = dynamic_cast<TzvCustomTapiLine*>(Component)) FLines.Remove(line);
  if (auto* phone = dynamic_cast<TzvCustomTapiPhone*>(Component)) FPhones.Remove(phone);
}

void TzvTapiApplication::AttachComponent(TzvTapiComponent* Component, bool Attach) {
  ZV_ASSERT(Component != nullptr);
  Component->FAppl = Attach ? this : nullptr;
  if (Attach && !Active()) Initialize();
}

TzvCustomTapiLine* TzvTapiApplication::FindLineByCallbackInstance(Cardinal Value) const {
  for (int i = 0; i < FLines.Count(); ++i) {
    if (FLines.Get(i)->CallbackInstance() == Value) return FLines.Get(i);
  }
  return nullptr;
}

TzvCustomTapiPhone* TzvTapiApplication::FindPhoneByCallbackInstance(Cardinal Value) const {
  for (int i = 0; i < FPhones.Count(); ++i) {
    if (FPhones.Get(i)->CallbackInstance() == Value) return FPhones.Get(i);
  }
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Errors and events

void TzvTapiApplication::HandleException(const std::exception& Error) {
  DoError(this, Error, nullptr);
}

void TzvTapiApplication::DoError(TObject* Sender, const std::exception& Error, TObject* Causer) {
  if (!FOnError) return;
  try {
    FOnError(Sender ? Sender : this, Error, Causer);
  } catch (...) {
    // An error handler that fails has nobody left to tell.
  }
}

template <class Handler, class... Args>
void TzvTapiApplication::Fire(const Handler& handler, Args&&... args) {
  if (!handler) return;
  try {
    handler(this, std::forward<Args>(args)...);
  } catch (const std::exception& e) {
    HandleException(e);
  }
}

void TzvTapiApplication::DoTapiMessage(Cardinal MessageID, Cardinal Device,
                                       Cardinal CallbackInstance, Cardinal Param1, Cardinal Param2,
                                       Cardinal Param3) {
  if (Active()) Fire(FOnTapiMessage, MessageID, Device, CallbackInstance, Param1, Param2, Param3);
}

void TzvTapiApplication::DoInitialize() {
  Fire(FOnInitialize);
}
void TzvTapiApplication::DoShutdown() {
  Fire(FOnShutdown);
}
void TzvTapiApplication::DoReinit() {
  Fire(FOnReinit);
}
void TzvTapiApplication::DoLineCreate(Cardinal DeviceID, const std::string& DeviceName) {
  Fire(FOnLineCreate, DeviceID, DeviceName);
}
void TzvTapiApplication::DoLineRemove(Cardinal DeviceID, const std::string& DeviceName) {
  Fire(FOnLineRemove, DeviceID, DeviceName);
}
void TzvTapiApplication::DoLineRename(Cardinal DeviceID, const std::string& DeviceName) {
  Fire(FOnLineRename, DeviceID, DeviceName);
}
void TzvTapiApplication::DoPhoneCreate(Cardinal DeviceID, const std::string& DeviceName) {
  Fire(FOnPhoneCreate, DeviceID, DeviceName);
}
void TzvTapiApplication::DoPhoneRemove(Cardinal DeviceID, const std::string& DeviceName) {
  Fire(FOnPhoneRemove, DeviceID, DeviceName);
}
void TzvTapiApplication::DoPhoneRename(Cardinal DeviceID, const std::string& DeviceName) {
  Fire(FOnPhoneRename, DeviceID, DeviceName);
}

void TzvTapiApplication::HandleLineRequest(Cardinal RequestMode, Cardinal /*Param2*/,
                                           Cardinal /*Param3*/) {
  if (RequestMode != LINEREQUESTMODE_MAKECALL) return;
  LINEREQMAKECALLW request;
  std::memset(&request, 0, sizeof(request));
  if (lineGetRequestW(FLineApp, LINEREQUESTMODE_MAKECALL, &request) != 0) return;
  if (!FOnRequestMakeCall) return;
  // The provider fills fixed-size fields; a missing NUL ends the text at the field's end.
  Fire(FOnRequestMakeCall, FixedWideText(request.szDestAddress, TAPIMAXDESTADDRESSSIZE),
       FixedWideText(request.szAppName, TAPIMAXAPPNAMESIZE),
       FixedWideText(request.szCalledParty, TAPIMAXCALLEDPARTYSIZE),
       FixedWideText(request.szComment, TAPIMAXCOMMENTSIZE));
}

// ---------------------------------------------------------------------------------------------
// The message path on the user-interface thread

void TzvTapiApplication::PostMessagesWaiting() const {
  platform::PostMessage(FWindowHandle, FWindowMessage, TAPI_NOTIFY_MESSAGES, 0);
}

void TzvTapiApplication::WndProc(platform::Message& Message) {
  try {
    if (Message.msg == FWindowMessage) {
      Message.result = 0;
      if (Message.wParam == TAPI_NOTIFY_MESSAGES) {
        // While a synchronous wait runs it pumps the queue itself and posts a fresh
        // notification when it ends.
        if (FNumWaitProcs == 0) ProcessNextMessage();
      } else if (Message.wParam == TAPI_NOTIFY_TIMER) {
        ProcessTimerTick(static_cast<Cardinal>(Message.lParam));
      } else if (Message.wParam == TAPI_NOTIFY_FETCH_FAILED) {
        HandleException(EzvTapiError::CreateCode(static_cast<Cardinal>(Message.lParam)));
      } else {
        platform::DefWindowProc(Message);
      }
    } else {
      platform::DefWindowProc(Message);
    }
  } catch (const std::exception& e) {
    HandleException(e);
    platform::DefWindowProc(Message);
  }
}

bool TzvTapiApplication::ProcessNextMessage() {
  std::unique_ptr<TzvTapiMsgStackItem> item;
  {
    TLockGuard lock(FMsgStack, 250);
    if (!lock) {
      PostMessagesWaiting();
      return false;
    }
    item = FMsgStack.GetNextMessage();
    // One message per notification: the next one is announced before this one is routed, so
    // that user input interleaves with TAPI traffic.
    if (item && FMsgStack.Count() > 0 && FNumWaitProcs == 0) PostMessagesWaiting();
  }
  if (!item) return false;
  const TTapiMessage& msg = item->TapiMessage;
  FJournal.Record(item->IsLineMessage(), msg);
  try {
    if (FOnTapiMessage) {
      DoTapiMessage(msg.dwMessageID, msg.hDevice, msg.dwCallbackInstance, msg.dwParam1,
                    msg.dwParam2, msg.dwParam3);
    }
    if (item->IsLineMessage()) {
      RouteLineMessage(msg);
    } else {
      RoutePhoneMessage(msg);
    }
    // Only a running synchronous wait looks for replies, and the outermost one forgets what
    // came before it, so replies that arrive while no wait runs need not be kept.
    const bool isReply =
        item->IsLineMessage() ? msg.dwMessageID == LINE_REPLY : msg.dwMessageID == PHONE_REPLY;
    if (isReply && FNumWaitProcs > 0) FReplyStack.Add(std::move(item));
  } catch (const std::exception& e) {
    HandleException(e);
  }
  return true;
}

int TzvTapiApplication::ProcessMessages(int MaxCount) {
  int count = 0;
  while (count < MaxCount && ProcessNextMessage())
    ++count;
  return count;
}

void TzvTapiApplication::RouteLineMessage(const TTapiMessage& Msg) {
  const Cardinal ci = Msg.dwCallbackInstance;
  if (ci == FCallbackInstance) {
    if (Msg.dwMessageID == LINE_REQUEST)
      HandleLineRequest(Msg.dwParam1, Msg.dwParam2, Msg.dwParam3);
    return;
  }
  if (ci > 0) {
    TzvCustomTapiLine* line = FindLineByCallbackInstance(ci);
    if (line && line->IsOpen()) {
      line->DispatchTapiMessage(Msg.hDevice, Msg.dwMessageID, Msg.dwParam1, Msg.dwParam2,
                                Msg.dwParam3);
    }
    return;
  }
  switch (Msg.dwMessageID) {
    case LINE_LINEDEVSTATE:
      LineDevStateChanged(Msg);
      break;
    case LINE_CREATE:
      LineCreated(Msg.dwParam1);
      break;
    case LINE_REMOVE:
      LineRemoved(Msg.dwParam1);
      BroadcastToLines(Msg);
      break;
    default:
      break;
  }
}

void TzvTapiApplication::RoutePhoneMessage(const TTapiMessage& Msg) {
  const Cardinal ci = Msg.dwCallbackInstance;
  if (ci == FCallbackInstance) return;
  if (ci > 0) {
    TzvCustomTapiPhone* phone = FindPhoneByCallbackInstance(ci);
    if (phone && phone->IsOpen()) {
      phone->DispatchTapiMessage(Msg.hDevice, Msg.dwMessageID, Msg.dwParam1, Msg.dwParam2,
                                 Msg.dwParam3);
    }
    return;
  }
  switch (Msg.dwMessageID) {
    case PHONE_STATE:
      if (Msg.dwParam1 == PHONESTATE_REINIT) DoReinit();
      UpdatePhoneDevices(true);
      break;
    case PHONE_CREATE:
      PhoneCreated(Msg.dwParam1);
      break;
    case PHONE_REMOVE:
      PhoneRemoved(Msg.dwParam1);
      BroadcastToPhones(Msg);
      break;
    default:
      break;
  }
}

void TzvTapiApplication::LineDevStateChanged(const TTapiMessage& Msg) {
  if (Msg.dwParam1 == LINEDEVSTATE_REINIT) DoReinit();
  UpdateLineDevices(true);
  for (int i = 0; i < FLines.Count(); ++i) {
    TzvCustomTapiLine* line = FLines.Get(i);
    if (!line->IsAttached()) continue;
    const Integer id = line->DeviceID();
    if (id >= 0 && id < FLineDevices.Count() && line->DeviceName() != FLineDevices.Strings(id)) {
      line->DeviceNameChanged(FLineDevices.Strings(id));
    }
  }
  BroadcastToLines(Msg);
}

void TzvTapiApplication::BroadcastToLines(const TTapiMessage& Msg) {
  for (int i = 0; i < FLines.Count(); ++i) {
    TzvCustomTapiLine* line = FLines.Get(i);
    if (line->IsAttached()) {
      line->DispatchTapiMessage(Msg.hDevice, Msg.dwMessageID, Msg.dwParam1, Msg.dwParam2,
                                Msg.dwParam3);
    }
  }
}

// Phones get the message without the per-device guard: the first one that fails ends the
// broadcast, and its exception reaches the application's error event.
void TzvTapiApplication::BroadcastToPhones(const TTapiMessage& Msg) {
  for (int i = 0; i < FPhones.Count(); ++i) {
    TzvCustomTapiPhone* phone = FPhones.Get(i);
    if (phone->IsAttached()) {
      phone->TapiMessage(Msg.hDevice, Msg.dwMessageID, Msg.dwParam1, Msg.dwParam2, Msg.dwParam3);
    }
  }
}

void TzvTapiApplication::ProcessTimerTick(Cardinal TickCount) {
  if (TickCount == 0) TickCount = platform::GetTickCount();
  try {
    for (int i = FLines.Count() - 1; i >= 0; --i) {
      if (i >= FLines.Count()) continue;  // a handler may have freed lines
      TzvCustomTapiLine* line = FLines.Get(i);
      if (line->Active()) line->DispatchTimerTick(TickCount);
    }
    for (int i = FPhones.Count() - 1; i >= 0; --i) {
      if (i >= FPhones.Count()) continue;
      TzvCustomTapiPhone* phone = FPhones.Get(i);
      if (phone->Active()) phone->DispatchTimerTick(TickCount);
    }
  } catch (const std::exception& e) {
    HandleException(e);
  }
  if (FTSPEventThread) FTSPEventThread->SetSendNextTimerMsg(true);
}

// ---------------------------------------------------------------------------------------------
// Library start-up and exit

TzvTapiApplication* zvTapiApplication = nullptr;

namespace {

struct LibraryLifetime {
  LibraryLifetime() { zvTapiApplication = new TzvTapiApplication(); }
  ~LibraryLifetime() {
    TzvTapiApplication* appl = zvTapiApplication;
    if (appl->Active()) appl->Done();
    // Components that outlive the library see "none" and leave the application alone.
    zvTapiApplication = nullptr;
    delete appl;
  }
};

LibraryLifetime gLibraryLifetime;

}  // namespace

}  // namespace zvtapi
