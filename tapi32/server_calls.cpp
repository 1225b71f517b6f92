// The runtime's calls: each application's handles for the provider's calls, their privileges,
// the messages about calls, and the call entry points.
#include <algorithm>
#include <cstring>

#include "tapi32/server.h"
#include "tapi32/var_struct.h"

namespace tapi32 {

namespace {

DWORD CallInfoFixedSize(DWORD apiVersion) {
  return apiVersion < 0x00020000 ? offsetof(LINECALLINFO, dwCallTreatment) : sizeof(LINECALLINFO);
}

// What lineMonitorMedia, lineMonitorTones and lineMonitorDigits let monitors do as well as owners.
constexpr DWORD kMonitorCallFeatures =
    LINECALLFEATURE_MONITORMEDIA | LINECALLFEATURE_MONITORTONES | LINECALLFEATURE_MONITORDIGITS;

DWORD CallStatusFixedSize(DWORD apiVersion) {
  return apiVersion < 0x00020000 ? offsetof(LINECALLSTATUS, dwCallFeatures2)
                                 : sizeof(LINECALLSTATUS);
}

}  // namespace

Server::CallHandle* Server::FindCall(HCALL handle) {
  auto it = callHandles_.find(handle);
  return it == callHandles_.end() ? nullptr : &it->second;
}

const CallData* Server::ProviderCall(DWORD callId) const {
  return provider_ == nullptr ? nullptr : provider_->FindCall(callId);
}

HCALL Server::CallHandleOf(HLINEAPP app, DWORD callId) const {
  std::lock_guard lock(mutex_);
  auto it = callViews_.find(callId);
  if (it == callViews_.end()) return 0;
  for (const CallHandle* entry = it->second.first; entry; entry = entry->nextOfCall) {
    if (entry->open->app->handle == app) return entry->handle;
  }
  return 0;
}

DWORD Server::CallIdOf(HCALL call) const {
  std::lock_guard lock(mutex_);
  auto it = callHandles_.find(call);
  return it == callHandles_.end() ? 0 : it->second.callId;
}

Server::CallHandle& Server::AddCallHandle(OpenEntry& open, DWORD callId, DWORD privilege) {
  const HCALL handle = NewHandle();
  CallHandle& entry = callHandles_[handle];
  entry = CallHandle{};
  entry.open = &open;
  entry.handle = handle;
  entry.callId = callId;
  entry.privilege = privilege;
  open.calls.insert(handle);
  open.unannounced.erase(callId);
  CallViews& views = callViews_[callId];
  CallHandle** last = &views.first;
  while (*last)
    last = &(*last)->nextOfCall;
  *last = &entry;
  if (const CallData* call = ProviderCall(callId)) call->holders.Set(views.first);
  ++(privilege == LINECALLPRIVILEGE_OWNER ? views.owners : views.monitors);
  return entry;
}

Server::CallHandle& Server::AddLaterHandle(OpenEntry& open, DWORD callId, DWORD privilege) {
  CallHandle& entry = AddCallHandle(open, callId, privilege);
  PostCallInfo(callId, entry.handle,
               privilege == LINECALLPRIVILEGE_OWNER ? LINECALLINFOSTATE_NUMOWNERINCR
                                                    : LINECALLINFOSTATE_NUMMONITORS);
  return entry;
}

HCALL Server::HandleOf(const OpenEntry& open, DWORD callId) const {
  auto it = callViews_.find(callId);
  if (it == callViews_.end()) return 0;
  for (const CallHandle* entry = it->second.first; entry; entry = entry->nextOfCall) {
    if (entry->open == &open) return entry->handle;
  }
  return 0;
}

bool Server::RemoveCallHandle(HCALL handle) {
  auto it = callHandles_.find(handle);
  if (it == callHandles_.end()) return false;
  auto viewsIt = callViews_.find(it->second.callId);
  CallViews& views = viewsIt->second;
  CallHandle** link = &views.first;
  while (*link != &it->second)
    link = &(*link)->nextOfCall;
  *link = it->second.nextOfCall;
  const CallHandle entry = it->second;
  callHandles_.erase(it);
  // A gathering ends silently with its handle: nobody is left to tell.
  gatherings_.erase(handle);
  entry.open->calls.erase(handle);
  const bool wasOwner = entry.privilege == LINECALLPRIVILEGE_OWNER;
  --(wasOwner ? views.owners : views.monitors);
  const CallData* call = ProviderCall(entry.callId);
  const bool lastOwner =
      wasOwner && views.owners == 0 && call != nullptr && call->state != LINECALLSTATE_IDLE;
  if (call != nullptr) call->holders.Set(views.first);
  if (views.first == nullptr) {
    callViews_.erase(viewsIt);
    silences_.erase(entry.callId);
  } else {
    PostCallInfo(entry.callId, 0,
                 wasOwner ? LINECALLINFOSTATE_NUMOWNERDECR : LINECALLINFOSTATE_NUMMONITORS);
  }
  return lastOwner;
}

Server::CallHandle* Server::FirstHolder(DWORD callId, const CallData* call) {
  if (call != nullptr) {
    if (void* linked = call->holders.Get()) return static_cast<CallHandle*>(linked);
  }
  auto it = callViews_.find(callId);
  return it == callViews_.end() ? nullptr : it->second.first;
}

void Server::PostCallInfo(DWORD callId, HCALL except, DWORD infoStates) {
  for (const CallHandle* entry = FirstHolder(callId, ProviderCall(callId)); entry;
       entry = entry->nextOfCall) {
    // A handle not announced yet has nothing to compare with: it reads the call afresh.
    if (entry->handle == except || entry->announce) continue;
    PostToOpen(*entry->open, entry->handle, LINE_CALLINFO, infoStates, 0, 0);
  }
}

void Server::PostCallState(CallHandle& entry, const CallData& call) {
  OpenEntry& open = *entry.open;
  if (entry.announce) {
    entry.announce = false;
    if (open.apiVersion >= kAppNewCallVersion) {
      PostToOpen(open, open.handle, LINE_APPNEWCALL, call.addressId, entry.handle,
                 entry.reportPrivilege);
    }
  }
  DWORD param2 = call.stateMode;
  if (call.state == LINECALLSTATE_CONFERENCED) {
    // A party names the conference call, as the receiving open knows it.
    const std::vector<DWORD> conference = provider_->ConferenceOf(entry.callId);
    param2 = conference.empty() ? 0 : HandleOf(open, conference.front());
  }
  PostToOpen(open, entry.handle, LINE_CALLSTATE, call.state, param2, entry.reportPrivilege);
  entry.reportPrivilege = 0;
}

void Server::HandOutUnannounced(DWORD callId, const CallData& call) {
  auto it = opensByDevice_.find(call.deviceId);
  if (it == opensByDevice_.end()) return;
  for (OpenEntry* open : it->second) {
    if (open->unannounced.erase(callId) == 0 || call.state == LINECALLSTATE_IDLE) continue;
    CallHandle& entry = AddLaterHandle(*open, callId, LINECALLPRIVILEGE_MONITOR);
    entry.announce = true;
    entry.reportPrivilege = LINECALLPRIVILEGE_MONITOR;
  }
}

// --- notifications from the provider -----------------------------------------------------------

HCALL Server::CallCreated(DWORD callId, HLINE ownerLine, MakerLearns makerLearns) {
  std::lock_guard lock(mutex_);
  const CallData* call = ProviderCall(callId);
  if (call == nullptr) return 0;
  auto it = opensByDevice_.find(call->deviceId);
  if (it == opensByDevice_.end()) return 0;
  // Handles are handed out in the loop below, so the opens are copied first.
  const std::vector<OpenEntry*> opens = it->second;

  OpenEntry* owner = ownerLine != 0 && ownerLine != kForeignOwner ? FindOpen(ownerLine) : nullptr;
  if (ownerLine == 0) {
    // An incoming call belongs to the oldest owner open that handles its media mode.
    for (OpenEntry* open : opens) {
      if ((open->privileges & LINECALLPRIVILEGE_OWNER) && (open->mediaModes & call->mediaMode)) {
        owner = open;
        break;
      }
    }
  }
  HCALL ownerHandle = 0;
  for (OpenEntry* open : opens) {
    DWORD privilege = LINECALLPRIVILEGE_MONITOR;
    if (open == owner) {
      privilege = LINECALLPRIVILEGE_OWNER;
    } else if ((open->privileges & LINECALLPRIVILEGE_MONITOR) == 0) {
      continue;
    }
    CallHandle& entry = AddCallHandle(*open, callId, privilege);
    if (open == owner) ownerHandle = entry.handle;
    // The maker learns the handle from its request and needs no announcement.
    if (open == owner && ownerLine != 0 && makerLearns == MakerLearns::FromRequest) continue;
    entry.announce = true;
    entry.reportPrivilege = privilege;
  }
  return ownerLine != 0 ? ownerHandle : 0;
}

void Server::CallStateChanged(DWORD callId) {
  std::lock_guard lock(mutex_);
  const CallData* call = ProviderCall(callId);
  if (call == nullptr) return;
  HandOutUnannounced(callId, *call);
  for (CallHandle* entry = FirstHolder(callId, call); entry; entry = entry->nextOfCall)
    PostCallState(*entry, *call);
  // TAPI ends the call's services with it, after telling its state.
  if (call->state == LINECALLSTATE_IDLE) EndCallServices(callId);
}

void Server::CallInfoChanged(DWORD callId, DWORD infoStates) {
  std::lock_guard lock(mutex_);
  PostCallInfo(callId, 0, infoStates);
}

bool Server::CallHasHandles(DWORD callId) const {
  std::lock_guard lock(mutex_);
  return callViews_.contains(callId);
}

DWORD Server::CallOwners(DWORD callId) const {
  std::lock_guard lock(mutex_);
  auto it = callViews_.find(callId);
  return it == callViews_.end() ? 0 : it->second.owners;
}

// --- entry points ------------------------------------------------------------------------------

LONG Server::AnswerCallList(OpenEntry& open, const std::vector<DWORD>& callIds,
                            LPLINECALLLIST list) {
  if (list->dwTotalSize < sizeof(LINECALLLIST)) {
    if (list->dwTotalSize >= offsetof(LINECALLLIST, dwUsedSize)) {
      list->dwNeededSize = sizeof(LINECALLLIST);
    }
    return Err(LINEERR_STRUCTURETOOSMALL);
  }
  const auto bytes = static_cast<DWORD>(callIds.size() * sizeof(HCALL));
  list->dwNeededSize = sizeof(LINECALLLIST) + bytes;
  if (list->dwNeededSize > list->dwTotalSize) {
    // Handles given now would be lost to an application that asks again with more room.
    list->dwUsedSize = sizeof(LINECALLLIST);
    list->dwCallsNumEntries = list->dwCallsSize = list->dwCallsOffset = 0;
    return 0;
  }
  std::vector<HCALL> handles;
  handles.reserve(callIds.size());
  for (DWORD callId : callIds) {
    HCALL handle = HandleOf(open, callId);
    if (handle == 0) handle = AddLaterHandle(open, callId, LINECALLPRIVILEGE_MONITOR).handle;
    handles.push_back(handle);
  }
  list->dwUsedSize = list->dwNeededSize;
  list->dwCallsNumEntries = static_cast<DWORD>(handles.size());
  list->dwCallsSize = bytes;
  list->dwCallsOffset = sizeof(LINECALLLIST);
  if (bytes != 0) {
    std::memcpy(reinterpret_cast<uint8_t*>(list) + sizeof(LINECALLLIST), handles.data(), bytes);
  }
  return 0;
}

LONG Server::LineGetNewCalls(HLINE line, DWORD addressId, DWORD select, LPLINECALLLIST list) {
  if (list == nullptr) return Err(LINEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  OpenEntry* open = FindOpen(line);
  if (open == nullptr) return Err(LINEERR_INVALLINEHANDLE);
  if (select != LINECALLSELECT_LINE && select != LINECALLSELECT_ADDRESS) {
    return Err(LINEERR_INVALCALLSELECT);
  }
  const LineDevice& device = provider_->Line(open->deviceId);
  if (select == LINECALLSELECT_ADDRESS && addressId >= device.Caps().fixed.dwNumAddresses) {
    return Err(LINEERR_INVALADDRESSID);
  }
  // Only the calls this open has no handle for; it becomes their monitor. An open without
  // privileges sees no calls at all.
  std::vector<DWORD> fresh;
  if (open->privileges != LINECALLPRIVILEGE_NONE) {
    for (DWORD callId : device.LiveCalls()) {
      const CallData* call = ProviderCall(callId);
      if (call == nullptr || call->state == LINECALLSTATE_IDLE) continue;
      if (select == LINECALLSELECT_ADDRESS && call->addressId != addressId) continue;
      if (HandleOf(*open, callId) == 0) fresh.push_back(callId);
    }
  }
  return AnswerCallList(*open, fresh, list);
}

LONG Server::LineGetCallStatus(HCALL call, LPLINECALLSTATUS status) {
  if (status == nullptr) return Err(LINEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  const CallHandle* entry = FindCall(call);
  const CallData* data = entry == nullptr ? nullptr : ProviderCall(entry->callId);
  if (data == nullptr) return Err(LINEERR_INVALCALLHANDLE);
  const DWORD fixedSize = CallStatusFixedSize(entry->open->apiVersion);
  if (status->dwTotalSize < fixedSize) {
    if (status->dwTotalSize >= offsetof(LINECALLSTATUS, dwUsedSize)) {
      status->dwNeededSize = fixedSize;
    }
    return Err(LINEERR_STRUCTURETOOSMALL);
  }
  LINECALLSTATUS local{};
  local.dwTotalSize = status->dwTotalSize;
  local.dwCallState = data->state;
  local.dwCallStateMode = data->stateMode;
  local.dwCallPrivilege = entry->privilege;
  // Only an owner may control the call; a monitor may still listen to it.
  const CallFeatureSet features = provider_->CallFeatures(entry->callId);
  const bool owner = entry->privilege == LINECALLPRIVILEGE_OWNER;
  local.dwCallFeatures = owner ? features.features : features.features & kMonitorCallFeatures;
  local.dwCallFeatures2 = owner ? features.features2 : 0;
  local.tStateEntryTime = data->stateEntryTime;
  std::vector<VarField> fields;
  fields.push_back({{}, {}, &local.dwDevSpecificSize, &local.dwDevSpecificOffset});
  WriteCaps(local, fields, fixedSize, status);
  return 0;
}

LONG Server::LineGetCallInfo(HCALL call, LPLINECALLINFO info) {
  if (info == nullptr) return Err(LINEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  const CallHandle* entry = FindCall(call);
  const CallData* data = entry == nullptr ? nullptr : ProviderCall(entry->callId);
  if (data == nullptr) return Err(LINEERR_INVALCALLHANDLE);
  const DWORD apiVersion = entry->open->apiVersion;
  const DWORD fixedSize = CallInfoFixedSize(apiVersion);
  LINECALLINFO local{};
  local.dwTotalSize = info->dwTotalSize;
  local.hLine = entry->open->handle;
  local.dwLineDeviceID = data->deviceId;
  local.dwAddressID = data->addressId;
  local.dwBearerMode = data->bearerMode;
  local.dwRate = data->rate;
  local.dwMediaMode = data->mediaMode;
  local.dwAppSpecific = data->appSpecific;
  local.dwCallID = data->callId;
  local.dwRelatedCallID = data->relatedCallId;
  local.dwCallParamFlags = data->callParamFlags;
  local.dwCallStates = data->callStates;
  local.dwOrigin = data->origin;
  local.dwReason = data->reason;
  local.dwCompletionID = data->completionId;
  const CallViews& views = callViews_.at(entry->callId);
  local.dwNumOwners = views.owners;
  local.dwNumMonitors = views.monitors;
  local.dwCountryCode = data->countryCode;
  local.dwTrunk = data->trunk;
  local.dwCallerIDFlags = data->caller.flags;
  local.dwCalledIDFlags = data->called.flags;
  local.dwConnectedIDFlags = data->connected.flags;
  local.dwRedirectionIDFlags = data->redirection.flags;
  local.dwRedirectingIDFlags = data->redirecting.flags;
  if (apiVersion >= 0x00020000) local.dwCallTreatment = data->callTreatment;

  std::vector<VarField> fields;
  auto party = [&](const PartyId& id, DWORD& size, DWORD& offset, DWORD& nameSize,
                   DWORD& nameOffset) {
    fields.push_back({id.number, {}, &size, &offset});
    fields.push_back({id.name, {}, &nameSize, &nameOffset});
  };
  party(data->caller, local.dwCallerIDSize, local.dwCallerIDOffset, local.dwCallerIDNameSize,
        local.dwCallerIDNameOffset);
  party(data->called, local.dwCalledIDSize, local.dwCalledIDOffset, local.dwCalledIDNameSize,
        local.dwCalledIDNameOffset);
  party(data->connected, local.dwConnectedIDSize, local.dwConnectedIDOffset,
        local.dwConnectedIDNameSize, local.dwConnectedIDNameOffset);
  party(data->redirection, local.dwRedirectionIDSize, local.dwRedirectionIDOffset,
        local.dwRedirectionIDNameSize, local.dwRedirectionIDNameOffset);
  party(data->redirecting, local.dwRedirectingIDSize, local.dwRedirectingIDOffset,
        local.dwRedirectingIDNameSize, local.dwRedirectingIDNameOffset);
  fields.push_back({data->appName, {}, &local.dwAppNameSize, &local.dwAppNameOffset});
  fields.push_back({data->displayableAddress,
                    {},
                    &local.dwDisplayableAddressSize,
                    &local.dwDisplayableAddressOffset});
  fields.push_back({data->calledParty, {}, &local.dwCalledPartySize, &local.dwCalledPartyOffset});
  fields.push_back({data->comment, {}, &local.dwCommentSize, &local.dwCommentOffset});
  fields.push_back({data->display, {}, &local.dwDisplaySize, &local.dwDisplayOffset});
  // Byte blocks last, so that an odd length cannot misalign the UTF-16 texts.
  fields.push_back(
      {{}, data->userUserInfo, &local.dwUserUserInfoSize, &local.dwUserUserInfoOffset});
  fields.push_back({{}, {}, &local.dwHighLevelCompSize, &local.dwHighLevelCompOffset});
  fields.push_back({{}, {}, &local.dwLowLevelCompSize, &local.dwLowLevelCompOffset});
  fields.push_back(
      {{}, data->chargingInfo, &local.dwChargingInfoSize, &local.dwChargingInfoOffset});
  fields.push_back({{}, {}, &local.dwTerminalModesSize, &local.dwTerminalModesOffset});
  fields.push_back({{}, {}, &local.dwDevSpecificSize, &local.dwDevSpecificOffset});
  if (apiVersion >= 0x00020000) {
    fields.push_back({{}, data->callData, &local.dwCallDataSize, &local.dwCallDataOffset});
    fields.push_back({{}, {}, &local.dwSendingFlowspecSize, &local.dwSendingFlowspecOffset});
    fields.push_back({{}, {}, &local.dwReceivingFlowspecSize, &local.dwReceivingFlowspecOffset});
  }
  return AnswerStruct(local, fields, fixedSize, info, LINEERR_STRUCTURETOOSMALL);
}

LONG Server::LineDeallocateCall(HCALL call) {
  std::lock_guard lock(mutex_);
  const CallHandle* entry = FindCall(call);
  if (entry == nullptr) return Err(LINEERR_INVALCALLHANDLE);
  const DWORD callId = entry->callId;
  const CallData* data = ProviderCall(callId);
  // The sole owner of a call in progress must drop it or hand it on first.
  if (entry->privilege == LINECALLPRIVILEGE_OWNER && data != nullptr &&
      data->state != LINECALLSTATE_IDLE && callViews_.at(callId).owners == 1) {
    return Err(LINEERR_INVALCALLSTATE);
  }
  RemoveCallHandle(call);
  if (provider_ != nullptr && !callViews_.contains(callId)) provider_->CallReleased(callId);
  return 0;
}

LONG Server::LineSetCallPrivilege(HCALL call, DWORD privilege) {
  std::lock_guard lock(mutex_);
  CallHandle* entry = FindCall(call);
  if (entry == nullptr) return Err(LINEERR_INVALCALLHANDLE);
  if (privilege != LINECALLPRIVILEGE_MONITOR && privilege != LINECALLPRIVILEGE_OWNER) {
    return Err(LINEERR_INVALCALLPRIVILEGE);
  }
  if (entry->privilege == privilege) return 0;
  CallViews& views = callViews_.at(entry->callId);
  const CallData* data = ProviderCall(entry->callId);
  if (privilege == LINECALLPRIVILEGE_MONITOR) {
    if (views.owners == 1 && data != nullptr && data->state != LINECALLSTATE_IDLE) {
      return Err(LINEERR_INVALCALLSTATE);
    }
    --views.owners;
    ++views.monitors;
  } else {
    ++views.owners;
    --views.monitors;
  }
  entry->privilege = privilege;
  PostCallInfo(entry->callId, call,
               (privilege == LINECALLPRIVILEGE_OWNER ? LINECALLINFOSTATE_NUMOWNERINCR
                                                     : LINECALLINFOSTATE_NUMOWNERDECR) |
                   LINECALLINFOSTATE_NUMMONITORS);
  return 0;
}

LONG Server::LineDrop(HCALL call, LPCSTR userUserInfo, DWORD size) {
  if (size != 0 && userUserInfo == nullptr) return Err(LINEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  const CallHandle* entry = FindCall(call);
  const CallData* data = entry == nullptr ? nullptr : ProviderCall(entry->callId);
  if (data == nullptr) return Err(LINEERR_INVALCALLHANDLE);
  if (entry->privilege != LINECALLPRIVILEGE_OWNER) return Err(LINEERR_NOTOWNER);
  if (size > provider_->Line(data->deviceId).Caps().fixed.dwUUIDropSize) {
    return Err(LINEERR_USERUSERINFOTOOBIG);
  }
  if (data->state == LINECALLSTATE_IDLE) return Err(LINEERR_INVALCALLSTATE);
  const DWORD callId = entry->callId;
  auto check = [this, call] {
    const CallHandle* now = FindCall(call);
    const CallData* state = now == nullptr ? nullptr : ProviderCall(now->callId);
    if (state == nullptr) return Err(LINEERR_INVALCALLHANDLE);
    if (now->privilege != LINECALLPRIVILEGE_OWNER) return Err(LINEERR_NOTOWNER);
    if (state->state == LINECALLSTATE_IDLE) return Err(LINEERR_INVALCALLSTATE);
    return LONG{0};
  };
  auto effect = [this, callId] {
    if (provider_ != nullptr) provider_->DropCall(callId);
  };
  return StartRequest(EntryPoint::lineDrop, *entry->open, check, effect);
}

}  // namespace tapi32
