#include "tapi/requests.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"
#include "platform/message_window.h"
#include "tapi/application.h"
#include "tapi/call.h"
#include "tapi/device.h"

namespace zvtapi {

// ---------------------------------------------------------------------------------------------
// TzvTapiRequest

TzvTapiRequest::TzvTapiRequest(Integer aID, Cardinal aTimeout)
    : FID(static_cast<Cardinal>(aID)), FTimeout(aTimeout), FTickCount(platform::GetTickCount()) {}

TzvTapiCall* TzvTapiRequest::Get_Call(int index) const {
  return dynamic_cast<TzvTapiCall*>(GetObject(index));
}

std::string TzvTapiRequest::Get_Note(const std::string& Note) const {
  return FNotes.Values(Note);
}

void TzvTapiRequest::Set_Note(const std::string& Note, const std::string& Value) {
  const int index = FNotes.IndexOfName(Note);
  if (Value.empty()) {
    if (index >= 0) FNotes.Delete(index);
  } else if (index >= 0) {
    FNotes.SetStrings(index, Note + "=" + Value);
  } else {
    FNotes.Add(Note + "=" + Value);
  }
}

bool TzvTapiRequest::IsDue(Cardinal Now) const {
  // A time-out of 0 never expires. A delay that reads as negative (other than the -1 that
  // switches clean-ups off before they get here) lies in the past and is due at once.
  return FTimeout > 0 && platform::TickDiff(Now, FTickCount + FTimeout) >= 0;
}

// ---------------------------------------------------------------------------------------------
// TzvTapiRequestList

TzvTapiRequestList::~TzvTapiRequestList() {
  RemoveAllRequests(nullptr);
}

Cardinal TzvTapiRequestList::NewRequestID() const {
  Cardinal candidate = 1;
  while (IndexOfID(candidate) >= 0)
    ++candidate;
  return candidate;
}

TzvTapiRequest* TzvTapiRequestList::AddRequest(Integer aID, Cardinal aTimeout) {
  const Integer id = aID <= 0 ? static_cast<Integer>(NewRequestID()) : aID;
  return Add(std::make_unique<TzvTapiRequest>(id, aTimeout));
}

int TzvTapiRequestList::IndexOfRequest(Cardinal ID, Cardinal RequestType,
                                       const TObject* Obj) const {
  for (int i = 0; i < Count(); ++i) {
    const TzvTapiRequest* r = Get(i);
    if ((ID == 0 || r->FID == ID) && (RequestType == 0 || r->FRequestType == RequestType) &&
        (Obj == nullptr || r->FObjects[0] == Obj)) {
      return i;
    }
  }
  return -1;
}

TzvTapiRequest* TzvTapiRequestList::GetRequest(Integer RequestID) const {
  const int index = IndexOfRequest(static_cast<Cardinal>(RequestID), 0, nullptr);
  return index >= 0 ? Get(index) : nullptr;
}

int TzvTapiRequestList::IndexOfID(Cardinal ID) const {
  for (int i = 0; i < Count(); ++i) {
    if (Get(i)->FID == ID) return i;
  }
  return -1;
}

int TzvTapiRequestList::IndexOfEntry(const TzvTapiRequest* Request, Cardinal ID) const {
  const int index = IndexOf(Request);
  return index >= 0 && Get(index)->FID == ID ? index : -1;
}

void TzvTapiRequestList::RemoveAllRequests(const TObject* Target) {
  for (int i = Count() - 1; i >= 0; --i) {
    if (Target == nullptr || Get(i)->FObjects[0] == Target) Delete(i);
  }
}

// ---------------------------------------------------------------------------------------------
// Device-specific data

TzvTapiDevSpecificData::TzvTapiDevSpecificData(const void* Data, Cardinal DataSize)
    : FData(DataSize) {
  if (Data && DataSize) std::copy_n(static_cast<const uint8_t*>(Data), DataSize, FData.begin());
}

void TzvTapiDevSpecificDataList::Clear() {
  for (int i = Count() - 1; i >= 0; --i)
    Delete(i);
}

// ---------------------------------------------------------------------------------------------
// Reply and time-out processing of the device

TzvTapiRequest* TzvTapiDevice::GetRequest(Integer RequestID) const {
  return FRequests->GetRequest(RequestID);
}

void TzvTapiDevice::TapiReply(Cardinal RequestID, Integer ReplyCode) {
  TzvTapiRequest* request = nullptr;
  {
    TLockGuard lock(*FRequests, platform::INFINITE);
    request = FRequests->GetRequest(static_cast<Integer>(RequestID));
  }
  if (!request) {
    DoTapiReply(RequestID, ReplyCode);
    return;
  }
  HandleReply(RequestID, ReplyCode, request);
  RemoveRequest(request, RequestID);  // unless a handler has freed it already
}

bool TzvTapiDevice::IsRequestPending(const TzvTapiRequest* Request, Cardinal ID) {
  TLockGuard lock(*FRequests, platform::INFINITE);
  return FRequests->IndexOfEntry(Request, ID) >= 0;
}

void TzvTapiDevice::RemoveRequest(const TzvTapiRequest* Request, Cardinal ID) {
  TLockGuard lock(*FRequests, platform::INFINITE);
  const int index = FRequests->IndexOfEntry(Request, ID);
  if (index >= 0) FRequests->Delete(index);
}

Integer TzvTapiDevice::RegisterRequest(Integer Result, Cardinal Type, TObject* Object0,
                                       TObject* Object1, TObject* Object2) {
  TLockGuard lock(*FRequests, platform::INFINITE);
  TzvTapiRequest* request = FRequests->AddRequest(Result, GetReplyTimeout());
  request->FRequestType = Type;
  request->SetObject(0, Object0);
  request->SetObject(1, Object1);
  request->SetObject(2, Object2);
  return Result;
}

// ---------------------------------------------------------------------------------------------
// Device-specific blocks

int TzvTapiDevice::IndexOfDevSpecificBlock(const TzvTapiDevSpecificData* Data,
                                           Cardinal RequestID) const {
  const int index = Data ? FDevSpecificList->IndexOf(Data) : -1;
  return index >= 0 && FDevSpecificList->Get(index)->RequestID() == RequestID ? index : -1;
}

bool TzvTapiDevice::IsDevSpecificBlockListed(const TzvTapiDevSpecificData* Data,
                                             Cardinal RequestID) {
  TLockGuard lock(*FDevSpecificList, platform::INFINITE);
  return IndexOfDevSpecificBlock(Data, RequestID) >= 0;
}

void TzvTapiDevice::FreeDevSpecificBlock(const TzvTapiDevSpecificData* Data, Cardinal RequestID) {
  TLockGuard lock(*FDevSpecificList, platform::INFINITE);
  const int index = IndexOfDevSpecificBlock(Data, RequestID);
  if (index >= 0) FDevSpecificList->Delete(index);
}

Integer TzvTapiDevice::RegisterDevSpecific(std::unique_ptr<TzvTapiDevSpecificData> Block,
                                           Cardinal Type, Cardinal RequestID) {
  Block->SetRequestID(RequestID);
  TzvTapiDevSpecificData* data = Block.get();
  {
    TLockGuard lock(*FDevSpecificList, platform::INFINITE);
    FDevSpecificList->Add(std::move(Block));
  }
  return RegisterRequest(static_cast<Integer>(RequestID), Type, data);
}

void TzvTapiDevice::OrphanDevSpecificBlock(Cardinal RequestID, const TzvTapiDevSpecificData* Data) {
  {
    // Its request, still waiting for its reply or time-out, must not report the block any more.
    TLockGuard lock(*FRequests, platform::INFINITE);
    for (int i = 0; i < FRequests->Count(); ++i) {
      TzvTapiRequest* request = FRequests->Get(i);
      if (request->FID == RequestID && request->GetObject(0) == Data)
        request->SetObject(0, nullptr);
    }
  }
  TLockGuard lock(*FDevSpecificList, platform::INFINITE);
  const int index = IndexOfDevSpecificBlock(Data, RequestID);
  if (index < 0) return;
  std::unique_ptr<TzvTapiDevSpecificData> block = FDevSpecificList->Extract(index);
  // A block that reported a call must not keep naming it once it waits on its own.
  if (auto* line = dynamic_cast<TzvTapiLineDevSpecificData*>(block.get())) line->SetCall(nullptr);
  FOrphanBlocks[RequestID] = std::move(block);
}

void TzvTapiDevice::FinishDevSpecific(Integer RequestID, TzvTapiDevSpecificData* Data, void* Params,
                                      Cardinal Size) {
  if (!GetSyncMode()) {
    // The reply handling reports the block through the events and frees it.
    CheckRequest(this, RequestID);
    return;
  }
  const Integer reply = WaitForRequest(this, RequestID);
  const auto id = static_cast<Cardinal>(RequestID);
  // Gone from the list means the time-out handling (or a closing device) took it over.
  if (IsDevSpecificBlockListed(Data, id)) {
    if (Params && Size) std::memcpy(Params, Data->Data(), Size);
    bool pending = false;
    {
      TLockGuard lock(*FRequests, platform::INFINITE);
      pending = FRequests->GetRequest(RequestID) != nullptr;
    }
    // Still pending: the wait ran out before TAPI replied, and TAPI may yet write into it.
    if (pending) {
      OrphanDevSpecificBlock(id, Data);
    } else {
      FreeDevSpecificBlock(Data, id);
    }
  }
  if (reply < 0) RaiseTapiError(static_cast<Cardinal>(reply));
}

void TzvTapiDevice::KeepDevSpecificBlocks(TDevSpecificBlocks& Kept) {
  TLockGuard lock(*FDevSpecificList, platform::INFINITE);
  while (FDevSpecificList->Count() > 0)
    Kept.push_back(FDevSpecificList->Extract(FDevSpecificList->Count() - 1));
}

void TzvTapiDevice::CheckTimeouts(Cardinal TickCount) {
  if (TLockGuard lock(*FRequests, 10); lock) {
    int i = 0;
    while (i < FRequests->Count()) {
      TzvTapiRequest* request = FRequests->Get(i);
      if (request->FHandled || !request->IsDue(TickCount)) {
        ++i;
        continue;
      }
      // Read before the handlers run: they may free the request.
      const Cardinal id = request->FID;
      HandleTimeout(id, request);
      RemoveRequest(request, id);
      // The walk goes on at the same position: the entry there is the next one.
    }
  }
  if (TLockGuard lock(*FTimerEvents, 10); lock) {
    int i = 0;
    while (i < FTimerEvents->Count()) {
      if (!FTimerEvents->Get(i)->IsDue(TickCount)) {
        ++i;
        continue;
      }
      std::unique_ptr<TzvTapiRequest> event = FTimerEvents->Extract(i);
      HandleTimerEvent(event->FID, event.get());
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Request notes

TObject* TzvTapiDevice::GetRequestObj(Integer RequestID, const std::string& Obj) const {
  TzvTapiRequest* request = GetRequest(RequestID);
  if (!request) RaiseError("GetRequestObj failed! Request not found.");
  if (SameText(Obj, "&Call")) return request->Get_Call(0);
  if (Obj.empty()) return nullptr;
  RaiseError(Format("GetRequestObj failed! Invalid Object Identifier. (RequestID %d)", RequestID));
}

namespace {

uint64_t Reference(const void* object) {
  return reinterpret_cast<uintptr_t>(object);
}

std::vector<uint8_t> DataBytes(const TzvTapiDevSpecificData* data) {
  if (!data) return {};
  const auto* bytes = static_cast<const uint8_t*>(data->Data());
  return std::vector<uint8_t>(bytes, bytes + data->DataSize());
}

}  // namespace

TzvTapiNoteValue TzvTapiDevice::GetRequestNote(Integer RequestID, const std::string& Ident) const {
  TzvTapiRequest* request = GetRequest(RequestID);
  if (!request) RaiseError("GetRequestNote failed! Request not found!");
  if (SameText(Ident, "&TapiRequest")) return static_cast<Integer>(request->FRequestType);
  if (!Ident.empty() && Ident[0] == '&') {
    TObject* object = request->FObjects[0];
    if (request->FRequestType == TAPIREQUEST_LINEDEVSPECIFIC) {
      auto* data = dynamic_cast<TzvTapiLineDevSpecificData*>(object);
      if (SameText(Ident, "&Data")) return DataBytes(data);
      if (SameText(Ident, "&Address")) return Reference(data ? data->Address() : nullptr);
      if (SameText(Ident, "&Call")) return Reference(data ? data->Call() : nullptr);
    } else if (request->FRequestType == TAPIREQUEST_LINEDEVSPECIFICFEATURE) {
      if (SameText(Ident, "&Data")) {
        return DataBytes(dynamic_cast<TzvTapiLineDevSpecificFeatureData*>(object));
      }
    } else if (SameText(Ident, "&Call")) {
      return Reference(request->Get_Call(0));
    }
    RaiseError(Format("GetRequestNote failed! Invalid Identifier: %s.", Ident.c_str()));
  }
  const std::string note = request->Get_Note(Ident);
  if (note.empty()) return Integer{0};
  return note;
}

namespace {

std::string NoteText(const TzvTapiNoteValue& value) {
  struct Visitor {
    std::string operator()(Integer v) const { return std::to_string(v); }
    std::string operator()(uint64_t v) const { return std::to_string(v); }
    std::string operator()(const std::vector<uint8_t>& v) const {
      return std::string(v.begin(), v.end());
    }
    std::string operator()(const std::string& v) const { return v; }
  };
  return std::visit(Visitor{}, value);
}

}  // namespace

void TzvTapiDevice::SetRequestNote(Integer RequestID, const std::string& Ident,
                                   const TzvTapiNoteValue& Value) {
  if (!Ident.empty() && Ident[0] == '&') {
    RaiseError(Format("SetRequestIdent failed! Invalid Identifier: %s.", Ident.c_str()));
  }
  TzvTapiRequest* request = GetRequest(RequestID);
  if (!request) RaiseError("SetRequestIdent failed! Request not found!");
  request->Set_Note(Ident, NoteText(Value));
}

// ---------------------------------------------------------------------------------------------
// Synchronous waits

Integer WaitForRequest(TzvTapiDevice* Device, Integer RequestID) {
  if (RequestID > 0) Device->SetLastRequestID(static_cast<Cardinal>(RequestID));
  if (!Device->GetSyncMode()) return 0;
  Integer replyCode = 0;
  if (WaitForReply(Device, RequestID, replyCode) != 0) {
    return static_cast<Integer>(LINEERR_OPERATIONFAILED);
  }
  return replyCode;
}

Integer CheckRequest(TzvTapiDevice* Device, Integer RequestID) {
  const Integer result = WaitForRequest(Device, RequestID);
  if (result < 0) RaiseTapiError(static_cast<Cardinal>(result));
  return result;
}

namespace {

// Looks for the reply to RequestID among the replies kept for running waits.
bool FindReply(TzvTapiApplication& appl, Integer RequestID, Integer& ReplyCode) {
  TLockGuard lock(appl.ReplyStack(), 50);
  if (!lock) return false;
  Cardinal code = 0;
  if (appl.ReplyStack().GetReplyCode(static_cast<Cardinal>(RequestID), code) < 0) return false;
  ReplyCode = static_cast<Integer>(code);
  return true;
}

bool PastDeadline(uint32_t tick, uint32_t deadline) {
  return platform::TickDiff(tick, deadline) > 0;
}

// While it lives, a wait is counted as running; when it ends, the notification window is told
// to look at the queue again, because notifications are dropped while waits run.
class TWaitScope {
 public:
  explicit TWaitScope(TzvTapiApplication& appl) : FAppl(appl) { FAppl.BeginWait(); }
  ~TWaitScope() {
    FAppl.EndWait();
    FAppl.PostMessagesWaiting();
  }
  TWaitScope(const TWaitScope&) = delete;
  TWaitScope& operator=(const TWaitScope&) = delete;

 private:
  TzvTapiApplication& FAppl;
};

}  // namespace

Cardinal WaitForReply(TzvTapiDevice* Device, Integer RequestID, Integer& ReplyCode) {
  ZV_ASSERT(zvTapiApplication != nullptr);
  TzvTapiApplication& appl = *zvTapiApplication;
  Cardinal result = platform::WAIT_TIMEOUT;
  const uint32_t deadline = platform::GetTickCount() + Device->GetReplyTimeout();
  TWaitScope scope(appl);
  if (appl.NumWaitProcs() == 1) {
    TLockGuard lock(appl.ReplyStack(), 100);
    if (lock) appl.ReplyStack().Clear();
  }
  platform::Sleep(1);
  appl.ProcessMessages(10);
  if (FindReply(appl, RequestID, ReplyCode)) return 0;
  if (PastDeadline(platform::GetTickCount(), deadline)) return platform::WAIT_TIMEOUT;
  // The abort event comes first: when the device is closed while messages arrive, the wait
  // ends as abandoned.
  const platform::HANDLE events[2] = {Device->AbortEvent(), appl.MessagesArrivedEvent()};
  uint32_t noted = 0;
  do {
    noted = platform::GetTickCount();
    // Messages that arrive end the sleep at once; the loop looks at the queue either way.
    if (platform::WaitForMultipleObjects(2, events, 10) == platform::WAIT_OBJECT_0) {
      result = platform::WAIT_ABANDONED_0;
      break;
    }
    platform::ProcessMessages();
    TLockGuard lock(appl.ReplyStack(), 50);
    if (lock) {
      while (appl.ProcessNextMessage()) {
        if (FindReply(appl, RequestID, ReplyCode)) {
          result = 0;
          break;
        }
      }
      // A wait nested in a window-message or timer handler may have taken our reply off the
      // queue; it is in the reply queue all the same.
      if (result != 0 && FindReply(appl, RequestID, ReplyCode)) result = 0;
    }
  } while (result == platform::WAIT_TIMEOUT && !PastDeadline(noted, deadline));
  return result;
}

}  // namespace zvtapi
