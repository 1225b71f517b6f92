#include "tapi/phone.h"

#include <cstring>
#include <vector>

#include "platform/module.h"
#include "platform/sync.h"
#include "tapi/application.h"
#include "tapi/related.h"
#include "tapi/requests.h"
#include "tapi/structures.h"
#include "tapi/tsp.h"
#include "tapi32/tapi.h"

namespace zvtapi {

namespace {

// PHONESTATE_OTHER through PHONESTATE_RESUME, and PHONESTATE_REMOVED; device-specific states,
// re-initialisation and capability changes are not asked for.
constexpr Cardinal kAllPhoneStates = 0x8FFFFF;
// Every button mode but LOCAL, every button state.
constexpr Cardinal kAllButtonModes = PHONEBUTTONMODE_DUMMY | PHONEBUTTONMODE_CALL |
                                     PHONEBUTTONMODE_FEATURE | PHONEBUTTONMODE_KEYPAD |
                                     PHONEBUTTONMODE_DISPLAY;
constexpr Cardinal kAllButtonStates = PHONEBUTTONSTATE_UP | PHONEBUTTONSTATE_DOWN |
                                      PHONEBUTTONSTATE_UNKNOWN | PHONEBUTTONSTATE_UNAVAIL;
constexpr Cardinal kDisplayInitialSize = 4096;
// A provider that reports an absurd number of buttons must not make the phone allocate
// millions of objects.
constexpr Cardinal kMaxButtonLamps = 0xFFFF;

constexpr char16_t kKeypad[] = u"0123456789*#";

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction

TzvCustomTapiPhone::TzvCustomTapiPhone(TComponent* AOwner) : TzvTapiDevice(AOwner) {
  FDeviceID = -1;
  FOptions = std::make_unique<TzvTapiPhoneOptions>();
  FPrivileges = std::make_unique<TzvTapiPhonePrivileges>();
  FHandSet = std::make_unique<TzvTapiPhoneHookSwitch>(this, PHONEHOOKSWITCHDEV_HANDSET);
  FHeadSet = std::make_unique<TzvTapiPhoneHookSwitch>(this, PHONEHOOKSWITCHDEV_HEADSET);
  FSpeakerphone = std::make_unique<TzvTapiPhoneHookSwitch>(this, PHONEHOOKSWITCHDEV_SPEAKER);
  FTSP = std::make_unique<TzvTapiPhoneTSP>(this);
  FDeviceCaps = std::make_unique<TzvTapiPhoneCaps>(this);
  FDeviceStatus = std::make_unique<TzvTapiPhoneStatus>(this);
  FControls = std::make_unique<TzvTapiPhoneControlList>();
  FDisplay = std::make_unique<TzvTapiPhoneDisplay>(this);
  FRinger = std::make_unique<TzvTapiPhoneRinger>(this);
  FLineDev = std::make_unique<TzvTapiPhoneLineDevice>(this, "tapi/line");
  // Registered here rather than in the component base, since only now is the object a phone;
  // and last, so that no failure after it can leave the registry pointing at a dead object.
  if (zvTapiApplication) zvTapiApplication->AddTapiComponent(this);
}

TzvCustomTapiPhone::~TzvCustomTapiPhone() {
  try {
    Close();
  } catch (...) {
  }
  try {
    // After library exit there is no application object left to detach from.
    if (zvTapiApplication) Disable();
  } catch (...) {
  }
  FreeControls();
  FDevSpecificList->Clear();
  if (zvTapiApplication) zvTapiApplication->RemoveTapiComponent(this);
}

char16_t TzvCustomTapiPhone::KeypadKey(Cardinal ButtonLampID) {
  return ButtonLampID < KeypadButtons ? kKeypad[ButtonLampID] : u'\0';
}

// ---------------------------------------------------------------------------------------------
// Binding

Cardinal TzvCustomTapiPhone::Init(Integer DeviceID) {
  const Cardinal result = TzvTapiDevice::Init(DeviceID);
  FDeviceCaps->Invalidate();
  FLineDev->Invalidate();
  if (result == 0 && FDeviceCaps->Available()) {
    FPermanentDeviceID = FDeviceCaps->PermanentPhoneID();
  }
  CreateControls();
  return result;
}

void TzvCustomTapiPhone::Done() {
  if (!Available()) return;
  FDeviceCaps->Invalidate();
  FDeviceStatus->Invalidate();
  FLineDev->Invalidate();
  FreeControls();
  TzvTapiDevice::Done();
}

void TzvCustomTapiPhone::CreateControls() {
  FreeControls();
  if (!FDeviceCaps->Available()) return;
  Cardinal count = FDeviceCaps->NumButtonLamps();
  if (count > kMaxButtonLamps) count = kMaxButtonLamps;
  for (Cardinal id = 0; id < count; ++id)
    FControls->Add(std::make_unique<TzvTapiPhoneControl>(this, id));
}

void TzvCustomTapiPhone::FreeControls() {
  {
    // A lamp request still waiting for its reply must not hand out a freed control.
    TLockGuard lock(*FRequests, platform::INFINITE);
    for (int i = 0; i < FRequests->Count(); ++i) {
      TzvTapiRequest* request = FRequests->Get(i);
      if (request->FRequestType == TAPIREQUEST_PHONESETLAMP) request->SetObject(0, nullptr);
    }
  }
  FControls->Clear();
}

const TStringList& TzvCustomTapiPhone::GetDeviceList() {
  Enable();
  ZV_ASSERT(zvTapiApplication != nullptr);
  return zvTapiApplication->PhoneDevices();
}

std::string TzvCustomTapiPhone::GetDeviceName() const {
  if (!Available()) return FDeviceName;
  std::string name = FDeviceCaps->PhoneName();
  if (name.empty()) name = Format("Phone Device #%d", FDeviceID);
  return name;
}

Cardinal TzvCustomTapiPhone::GetIconHandle(const std::string& DeviceClass) {
  return IconOf(phoneGetIconW, DeviceClass, u"tapi/phone");
}

Cardinal TzvCustomTapiPhone::GetReplyTimeout() const {
  return FOptions->ReplyTimeout();
}

bool TzvCustomTapiPhone::GetSyncMode() const {
  return FOptions->SyncMode();
}

void TzvCustomTapiPhone::SetPermanentDeviceID(Cardinal Value) {
  BindToPermanentID<TzvCustomTapiPhone>(Value);
}

Cardinal TzvCustomTapiPhone::PhoneApp() const {
  return zvTapiApplication ? zvTapiApplication->PhoneApp() : 0;
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

void TzvCustomTapiPhone::Open() {
  if (!Available()) RaiseTapiError(LINEERR_NODEVICE);
  if (IsOpen()) return;
  const Integer result = OpenPhone(NewCallbackInstance());
  if (result < 0) RaiseTapiError(static_cast<Cardinal>(result));
  FDeviceStatus->Invalidate();
  FLineDev->Invalidate();
  FControls->Update();
}

Integer TzvCustomTapiPhone::OpenPhone(Cardinal CallbackInstance) {
  ZV_ASSERT(PhoneApp() != 0);
  ZV_ASSERT(FHandle == 0);
  auto open = [&](Cardinal privilege) {
    return phoneOpen(PhoneApp(), static_cast<DWORD>(FDeviceID), &FHandle, FTSP->APIVersion(),
                     FTSP->ExtVersion(), CallbackInstance, privilege);
  };
  Integer result = 0;
  if (FPrivileges->AutoSelect()) {
    Cardinal privilege = PHONEPRIVILEGE_OWNER;
    result = open(privilege);
    // Another application may own the phone already; watching is better than nothing.
    if (result != 0) {
      privilege = PHONEPRIVILEGE_MONITOR;
      result = open(privilege);
    }
    if (result == 0) FPrivileges->SetValue(privilege);
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

Cardinal TzvCustomTapiPhone::SetStatusMessages() {
  auto set = [this](Cardinal states, Cardinal modes, Cardinal buttonStates) {
    return static_cast<Cardinal>(phoneSetStatusMessages(FHandle, states, modes, buttonStates));
  };
  const Cardinal result = set(kAllPhoneStates, kAllButtonModes, kAllButtonStates);
  if (result == 0 || result == PHONEERR_OPERATIONUNAVAIL) return result;
  // The provider refused the whole set: find out bit by bit what it accepts.
  Cardinal candidates = FDeviceCaps->Available() ? FDeviceCaps->PhoneStates() : 0;
  if (candidates == 0) candidates = kAllPhoneStates;
  Cardinal accepted = 0;
  for (Cardinal bit = 0x1; bit <= PHONESTATE_REMOVED; bit <<= 1) {
    if ((candidates & bit) && set(bit, 0, 0) == 0) accepted |= bit;
  }
  return set(accepted, kAllButtonModes, kAllButtonStates);
}

void TzvCustomTapiPhone::Close() {
  if (!IsOpen()) return;
  const Cardinal handle = FClosedByTapi ? 0 : FHandle;
  FActive = false;
  FHandle = 0;
  platform::SetEvent(FAbortEvent);
  {
    TLockGuard lock(*FRequests, platform::INFINITE);
    FRequests->RemoveAllRequests(nullptr);
  }
  // TAPI may write into pending device-specific blocks up to its reply; they are kept until
  // the phone is closed, after which TAPI answers nothing of it.
  TDevSpecificBlocks blocks;
  KeepDevSpecificBlocks(blocks);
  {
    TLockGuard lock(*FTimerEvents, platform::INFINITE);
    FTimerEvents->RemoveAllRequests(nullptr);
  }
  FLineDev->Invalidate();
  if (handle != 0) {
    const auto result = static_cast<Cardinal>(phoneClose(handle));
    if (IsTapiError(result)) {
      try {
        RaiseTapiError(result);
      } catch (const EzvTapiError& e) {
        DoError(e, this);
      }
    }
  }
  FOrphanBlocks.clear();
}

// ---------------------------------------------------------------------------------------------
// Status messages

TzvCustomTapiPhone::TStatusMessages TzvCustomTapiPhone::GetStatusMessages() {
  TStatusMessages messages;
  // A failing query leaves the zeros: nothing is known to be asked for.
  if (IsOpen()) {
    phoneGetStatusMessages(FHandle, &messages.PhoneStates, &messages.ButtonModes,
                           &messages.ButtonStates);
  }
  return messages;
}

void TzvCustomTapiPhone::WriteStatusMessages(const TStatusMessages& Messages) {
  CheckTapiResult(static_cast<Cardinal>(phoneSetStatusMessages(
      FHandle, Messages.PhoneStates, Messages.ButtonModes, Messages.ButtonStates)));
}

Cardinal TzvCustomTapiPhone::PhoneStateMessages() {
  return GetStatusMessages().PhoneStates;
}

Cardinal TzvCustomTapiPhone::ButtonModeMessages() {
  return GetStatusMessages().ButtonModes;
}

Cardinal TzvCustomTapiPhone::ButtonStateMessages() {
  return GetStatusMessages().ButtonStates;
}

void TzvCustomTapiPhone::SetPhoneStateMessages(Cardinal Value) {
  TStatusMessages messages = GetStatusMessages();
  messages.PhoneStates = Value;
  WriteStatusMessages(messages);
}

void TzvCustomTapiPhone::SetButtonModeMessages(Cardinal Value) {
  TStatusMessages messages = GetStatusMessages();
  messages.ButtonModes = Value;
  WriteStatusMessages(messages);
}

void TzvCustomTapiPhone::SetButtonStateMessages(Cardinal Value) {
  TStatusMessages messages = GetStatusMessages();
  messages.ButtonStates = Value;
  WriteStatusMessages(messages);
}

// ---------------------------------------------------------------------------------------------
// Message dispatch

void TzvCustomTapiPhone::TapiMessage(Cardinal hDevice, Cardinal MessageID, Cardinal Param1,
                                     Cardinal Param2, Cardinal Param3) {
  switch (MessageID) {
    case PHONE_BUTTON:
      ButtonChanged(Param1, Param2, Param3);
      break;
    case PHONE_CLOSE:
      DeviceClosed();
      break;
    case PHONE_DEVSPECIFIC:
      DevSpecificReceived(Param1, Param2, Param3);
      break;
    case PHONE_REPLY:
      ReleaseOrphanBlock(Param1);
      TapiReply(Param1, static_cast<Integer>(Param2));
      break;
    case PHONE_STATE:
      DevStateChanged(Param1, Param2, Param3);
      break;
    case PHONE_REMOVE:
      DeviceRemoved(static_cast<Integer>(Param1));
      break;
    default:
      break;
  }
  TzvTapiDevice::TapiMessage(hDevice, MessageID, Param1, Param2, Param3);
}

void TzvCustomTapiPhone::DevStateChanged(Cardinal State, Cardinal Param2, Cardinal Param3) {
  FDeviceStatus->Invalidate();
  // A single state may tell a new value before the provider's status shows it; with several
  // flags at once the next read fetches whatever the provider has.
  switch (State) {
    case PHONESTATE_OWNER:
      FDeviceStatus->Set_DWORD(4, Param2);
      break;
    case PHONESTATE_MONITORS:
      FDeviceStatus->Set_DWORD(5, Param2);
      break;
    case PHONESTATE_LAMP:
      if (FDeviceStatus->Available()) {
        DWORD mode = 0;
        if (phoneGetLamp(FHandle, Param2, &mode) == 0) FDeviceStatus->Set_LampMode(Param2, mode);
      }
      break;
    case PHONESTATE_RINGMODE:
      FDeviceStatus->Set_DWORD(6, Param2);
      break;
    default:
      break;
  }
  if (State & PHONESTATE_CAPSCHANGE) {
    FDeviceCaps->Invalidate();
    const std::string name = FDeviceCaps->PhoneName();
    if (name != FDeviceName) {
      FDeviceName = name;
      if (zvTapiApplication && zvTapiApplication->PhoneDevices().IndexOf(FDeviceName) != FDeviceID)
        zvTapiApplication->UpdatePhoneDevices(true);
    }
  }
  if (State & PHONESTATE_REMOVED) DeviceRemoved(FDeviceID);
  TzvTapiDevice::DevStateChanged(State, Param2, Param3);
}

void TzvCustomTapiPhone::ButtonChanged(Cardinal ButtonLampID, Cardinal ButtonMode,
                                       Cardinal ButtonState) {
  if (ButtonLampID < static_cast<Cardinal>(FControls->Count()))
    FControls->Get(static_cast<int>(ButtonLampID))->Invalidate();
  if (ButtonLampID < KeypadButtons) {
    const char16_t key = KeypadKey(ButtonLampID);
    if (ButtonState == PHONEBUTTONSTATE_UP) {
      DoKeyUp(key);
    } else {
      DoKeyDown(key);
    }
  }
  DoButton(ButtonLampID, ButtonMode, ButtonState);
}

void TzvCustomTapiPhone::DevSpecificReceived(Cardinal Param1, Cardinal Param2, Cardinal Param3) {
  DoDevSpecific(Param1, Param2, Param3);
}

// ---------------------------------------------------------------------------------------------
// Request completion

TzvTapiDevSpecificData* TzvCustomTapiPhone::PendingBlock(TzvTapiRequest* Request,
                                                         Cardinal RequestID) {
  if (Request->FRequestType != TAPIREQUEST_PHONEDEVSPECIFIC) return nullptr;
  auto* block = static_cast<TzvTapiDevSpecificData*>(Request->GetObject(0));
  return IsDevSpecificBlockListed(block, RequestID) ? block : nullptr;
}

void TzvCustomTapiPhone::HandleReply(Cardinal RequestID, Integer ReplyCode,
                                     TzvTapiRequest* Request) {
  ZV_ASSERT(Request != nullptr);
  if (Request->FHandled) return;
  Request->FHandled = true;
  DoTapiReply(RequestID, ReplyCode);
  // A reply handler may have closed the phone, which frees the request, or started another
  // that landed at the same address.
  if (!IsRequestPending(Request, RequestID)) return;
  TzvTapiDevSpecificData* block = PendingBlock(Request, RequestID);
  if (!block) return;
  // Both outcomes are told: in asynchronous mode the event is the only way to the provider's
  // answer.
  DoDevSpecificReply(RequestID, block, ReplyCode);
  if (!IsRequestPending(Request, RequestID)) return;
  if (!FOptions->SyncMode()) FreeDevSpecificBlock(block, RequestID);
}

void TzvCustomTapiPhone::HandleTimeout(Cardinal RequestID, TzvTapiRequest* Request) {
  ZV_ASSERT(Request != nullptr);
  if (Request->FHandled) return;
  Request->FHandled = true;
  DoTapiTimeout(RequestID, Request);
  if (!IsRequestPending(Request, RequestID)) return;
  TzvTapiDevSpecificData* block = PendingBlock(Request, RequestID);
  if (!block) return;
  DoDevSpecificTimeout(RequestID, block, Request->FTimeout);
  // TAPI may still answer into the block; it waits for the late reply, in either mode.
  if (IsRequestPending(Request, RequestID)) OrphanDevSpecificBlock(RequestID, block);
}

void TzvCustomTapiPhone::HandleTimerEvent(Cardinal ID, TzvTapiRequest* Request) {
  TzvTapiDevice::HandleTimerEvent(ID, Request);
}

// ---------------------------------------------------------------------------------------------
// Requests

Integer TzvCustomTapiPhone::CompleteRequest(Integer Result, Cardinal Type, TObject* Object) {
  CheckTapiResult(static_cast<Cardinal>(Result));
  return CheckRequest(this, RegisterRequest(Result, Type, Object));
}

void TzvCustomTapiPhone::SetDisplay(Integer Row, Integer Col, const std::string& Value) {
  if (!IsOpen()) RaiseError("SetDisplay failed! Device not active.");
  const std::string text = SingleByte(Value);
  CompleteRequest(phoneSetDisplay(FHandle, static_cast<DWORD>(Row), static_cast<DWORD>(Col),
                                  text.data(), static_cast<DWORD>(text.size())),
                  TAPIREQUEST_PHONESETDISPLAY, nullptr);
}

void TzvCustomTapiPhone::SetDisplayText(TObject* Sender, const std::string& Text) {
  if (!IsOpen()) RaiseError("SetDisplay failed! Device not active.");
  const std::string text = SingleByte(Text);
  CompleteRequest(phoneSetDisplay(FHandle, 0, 0, text.data(), static_cast<DWORD>(text.size())),
                  TAPIREQUEST_PHONESETDISPLAY, Sender);
}

Integer TzvCustomTapiPhone::SetRing(TObject* Sender, Cardinal RingMode, Cardinal Volume) {
  if (!IsOpen()) RaiseError("SetRing failed! Device not active.");
  return CompleteRequest(phoneSetRing(FHandle, RingMode, Volume), TAPIREQUEST_PHONESETRING, Sender);
}

Integer TzvCustomTapiPhone::SetLamp(TzvTapiPhoneControl* Control, Cardinal LampMode) {
  // No check of its own: TAPI refuses a closed phone's null handle.
  const Cardinal id = Control ? Control->ID() : 0;
  return CompleteRequest(phoneSetLamp(FHandle, id, LampMode), TAPIREQUEST_PHONESETLAMP, Control);
}

void TzvCustomTapiPhone::DevSpecific(void* Params, Cardinal Size) {
  CheckActive();
  auto block = std::make_unique<TzvTapiDevSpecificData>(Params, Size);
  const auto result =
      static_cast<Cardinal>(phoneDevSpecific(FHandle, Size ? block->Data() : nullptr, Size));
  CheckTapiResult(result);  // a refused block goes with its holder
  TzvTapiDevSpecificData* data = block.get();
  FinishDevSpecific(RegisterDevSpecific(std::move(block), TAPIREQUEST_PHONEDEVSPECIFIC, result),
                    data, Params, Size);
}

void TzvCustomTapiPhone::ConfigDialog(HWND OwnerWnd) {
  CheckTapiResult(
      static_cast<Cardinal>(phoneConfigDialogW(static_cast<DWORD>(FDeviceID), OwnerWnd, u"")));
}

// ---------------------------------------------------------------------------------------------
// Queries

Integer TzvCustomTapiPhone::GetDisplayText(std::string& Text) {
  Text.clear();
  TTapiStruct buffer = AllocTapiStruct(kDisplayInitialSize);
  const Cardinal result = FetchTapiStruct(
      buffer,
      [this](void* structure) {
        return phoneGetDisplay(FHandle, static_cast<LPVARSTRING>(structure));
      },
      TFetchMode::Unchecked);
  if (result == 0) {
    Text = GetTapiString(buffer, offsetof(VARSTRING, dwStringSize),
                         buffer.GetDWORD(offsetof(VARSTRING, dwStringFormat)));
  }
  return static_cast<Integer>(result);
}

Cardinal TzvCustomTapiPhone::GetStatusDWORD(Cardinal Index) {
  return FDeviceStatus->Get_DWORD(static_cast<Integer>(Index));
}

// ---------------------------------------------------------------------------------------------
// Hooks: nothing to fire at this level

void TzvCustomTapiPhone::DoButton(Cardinal, Cardinal, Cardinal) {}
void TzvCustomTapiPhone::DoKeyUp(char16_t) {}
void TzvCustomTapiPhone::DoKeyDown(char16_t) {}
void TzvCustomTapiPhone::DoDevSpecific(Cardinal, Cardinal, Cardinal) {}
void TzvCustomTapiPhone::DoDevSpecificReply(Cardinal, TzvTapiDevSpecificData*, Integer) {}
void TzvCustomTapiPhone::DoDevSpecificTimeout(Cardinal, TzvTapiDevSpecificData*, Cardinal) {}

// ---------------------------------------------------------------------------------------------
// TzvTapiPhone: the events

void TzvTapiPhone::DoButton(Cardinal ButtonLampID, Cardinal ButtonMode, Cardinal ButtonState) {
  if (IsOpen()) Fire(FOnButton, this, ButtonLampID, ButtonMode, ButtonState);
}

void TzvTapiPhone::DoKeyUp(char16_t Key) {
  if (IsOpen()) Fire(FOnKeyUp, this, Key);
}

void TzvTapiPhone::DoKeyDown(char16_t Key) {
  if (IsOpen()) Fire(FOnKeyDown, this, Key);
}

void TzvTapiPhone::DoDevSpecific(Cardinal Param1, Cardinal Param2, Cardinal Param3) {
  if (IsOpen()) Fire(FOnDevSpecific, this, Param1, Param2, Param3);
}

void TzvTapiPhone::DoDevSpecificReply(Cardinal RequestID, TzvTapiDevSpecificData* Data,
                                      Integer ReplyCode) {
  if (!IsOpen() || !Data) return;
  Fire(FOnDevSpecificReply, this, RequestID, Data->Data(), Data->DataSize(), ReplyCode);
}

void TzvTapiPhone::DoDevSpecificTimeout(Cardinal RequestID, TzvTapiDevSpecificData* Data,
                                        Cardinal Timeout) {
  if (!Data) return;
  Fire(FOnDevSpecificTimeout, this, RequestID, Data->Data(), Data->DataSize(), Timeout);
}

}  // namespace zvtapi
