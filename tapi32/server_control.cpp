// The runtime's call-control entry points. Each one checks what concerns the application
// (pointers, handles, privileges) and asks the provider whether the calls allow the operation;
// asynchronous ones then start a request whose reply checks both again right before the effect.
// Variables of the application (new call handles, completion IDs, park addresses,
// device-specific blocks) are written only by a successful reply.
#include <algorithm>
#include <cstring>

#include "platform/clock.h"
#include "tapi32/server.h"

namespace tapi32 {

namespace {

std::u16string Wide(LPCWSTR text) {
  return text == nullptr ? std::u16string() : std::u16string(text);
}

std::vector<uint8_t> Bytes(const void* data, DWORD size) {
  if (data == nullptr || size == 0) return {};
  const auto* begin = static_cast<const uint8_t*>(data);
  return {begin, begin + size};
}

bool SingleBit(DWORD value) {
  return value != 0 && (value & (value - 1)) == 0;
}

// TAPI 1.4 applications pass the shorter structure without the 2.0 fields.
constexpr DWORD kCallParamsV1Size = offsetof(LINECALLPARAMS, dwPredictiveAutoTransferStates);

// Copies the application's LINECALLPARAMS; its texts must lie inside the structure.
LONG ReadCallParams(const LINECALLPARAMS* params, CallRequest& request) {
  if (params == nullptr) return 0;
  const DWORD total = params->dwTotalSize;
  if (total < kCallParamsV1Size) return Err(LINEERR_STRUCTURETOOSMALL);
  const bool v2 = total >= sizeof(LINECALLPARAMS);
  const auto* base = reinterpret_cast<const uint8_t*>(params);
  bool valid = true;
  auto inside = [&](DWORD size, DWORD offset) {
    if (size == 0) return false;
    if (offset < kCallParamsV1Size || offset > total || size > total - offset) {
      valid = false;
      return false;
    }
    return true;
  };
  auto text = [&](DWORD size, DWORD offset, std::u16string& out) {
    if (!inside(size, offset)) return;
    std::u16string value(size / sizeof(char16_t), u'\0');
    std::memcpy(value.data(), base + offset, value.size() * sizeof(char16_t));
    while (!value.empty() && value.back() == u'\0')
      value.pop_back();
    out = std::move(value);
  };
  auto bytes = [&](DWORD size, DWORD offset, std::vector<uint8_t>& out) {
    if (inside(size, offset)) out.assign(base + offset, base + offset + size);
  };
  CallParams& out = request.params;
  out.bearerMode = params->dwBearerMode;
  out.mediaMode = params->dwMediaMode;
  out.minRate = params->dwMinRate;
  out.maxRate = params->dwMaxRate;
  out.flags = params->dwCallParamFlags;
  out.addressMode = params->dwAddressMode;
  out.addressId = params->dwAddressID;
  text(params->dwOrigAddressSize, params->dwOrigAddressOffset, out.origAddress);
  text(params->dwDisplayableAddressSize, params->dwDisplayableAddressOffset,
       out.displayableAddress);
  text(params->dwCalledPartySize, params->dwCalledPartyOffset, out.calledParty);
  text(params->dwCommentSize, params->dwCommentOffset, out.comment);
  bytes(params->dwUserUserInfoSize, params->dwUserUserInfoOffset, out.userUserInfo);
  if (v2) {
    out.noAnswerTimeout = params->dwNoAnswerTimeout;
    bytes(params->dwCallDataSize, params->dwCallDataOffset, out.callData);
    text(params->dwCallingPartyIDSize, params->dwCallingPartyIDOffset, out.callingPartyId);
  }
  if (!valid) return Err(LINEERR_INVALCALLPARAMS);
  request.hasParams = true;
  return 0;
}

void WriteVarString(LPVARSTRING out, const std::u16string& text) {
  const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(char16_t));
  out->dwNeededSize = sizeof(VARSTRING) + bytes;
  out->dwStringFormat = STRINGFORMAT_UNICODE;
  if (out->dwTotalSize < out->dwNeededSize) {
    out->dwUsedSize = sizeof(VARSTRING);
    out->dwStringSize = out->dwStringOffset = 0;
    return;
  }
  std::memcpy(reinterpret_cast<uint8_t*>(out) + sizeof(VARSTRING), text.c_str(), bytes);
  out->dwUsedSize = out->dwNeededSize;
  out->dwStringSize = bytes;
  out->dwStringOffset = sizeof(VARSTRING);
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [&](char16_t x, char16_t y) { return lower(x) == lower(y); });
}

// A handoff names its target by module file name; "C:\apps\Dialer.exe", "Dialer.exe" and
// "Dialer" all name the application that initialised as "Dialer".
bool NamesApp(std::u16string_view fileName, std::u16string_view appName) {
  if (SameName(fileName, appName)) return true;
  const size_t slash = fileName.find_last_of(u"\\/");
  if (slash != std::u16string_view::npos) fileName.remove_prefix(slash + 1);
  if (SameName(fileName, appName)) return true;
  const size_t dot = fileName.find_last_of(u'.');
  return dot != std::u16string_view::npos && SameName(fileName.substr(0, dot), appName);
}

}  // namespace

// --- the common steps ----------------------------------------------------------------------------

Server::CallHandle* Server::UsableCall(HCALL handle, bool owner, LONG invalid, LONG* error) {
  CallHandle* entry = FindCall(handle);
  if (entry == nullptr || ProviderCall(entry->callId) == nullptr) {
    *error = invalid;
    return nullptr;
  }
  if (owner && entry->privilege != LINECALLPRIVILEGE_OWNER) {
    *error = Err(LINEERR_NOTOWNER);
    return nullptr;
  }
  *error = 0;
  return entry;
}

LONG Server::CheckCallOp(const std::function<LONG()>& appCheck, const CallRequest& request) const {
  if (const LONG error = appCheck(); error != 0) return error;
  if (provider_ == nullptr) return Err(LINEERR_OPERATIONUNAVAIL);
  return provider_->CheckCallOp(request);
}

LONG Server::StartCallOp(EntryPoint entry, const OpenEntry& open, std::function<LONG()> appCheck,
                         CallRequest request, std::function<void(const CallOutcome&)> deliver) {
  if (const LONG error = CheckCallOp(appCheck, request); error != 0) return error;
  const HLINE requester = open.handle;
  request.appName = open.app->name;
  if (provider_->CompletesLater(request)) {
    request.requestId = StartProviderRequest(open);
    const CallOutcome outcome = provider_->PerformCallOp(request, requester);
    if (deliver) deliver(outcome);
    return static_cast<LONG>(request.requestId);
  }
  auto check = [this, appCheck, request] { return CheckCallOp(appCheck, request); };
  auto effect = [this, request, requester, deliver = std::move(deliver)] {
    const CallOutcome outcome = provider_->PerformCallOp(request, requester);
    if (deliver) deliver(outcome);
  };
  // A failing request writes nothing into the application's variables, whatever it got done.
  auto partialEffect = [this, request, requester] {
    return provider_->PerformPartialCallOp(request, requester);
  };
  return StartRequest(entry, open, std::move(check), std::move(effect), std::move(partialEffect));
}

LONG Server::RunCallOpNow(const CallRequest& request, HLINE requester) {
  if (provider_ == nullptr) return Err(LINEERR_OPERATIONUNAVAIL);
  if (const LONG error = provider_->CheckCallOp(request); error != 0) return error;
  provider_->PerformCallOp(request, requester);
  return 0;
}

LONG Server::StartLineCallOp(EntryPoint entry, HLINE line, LPHCALL call, CallRequest request) {
  std::lock_guard lock(mutex_);
  const OpenEntry* open = FindOpen(line);
  if (open == nullptr) return Err(LINEERR_INVALLINEHANDLE);
  request.deviceId = open->deviceId;
  auto appCheck = [this, line] {
    return FindOpen(line) != nullptr ? LONG{0} : Err(LINEERR_INVALLINEHANDLE);
  };
  return StartCallOp(entry, *open, appCheck, std::move(request),
                     [call](const CallOutcome& outcome) { *call = outcome.newCall; });
}

namespace {

// The parts of a request that come from the call it acts on.
CallRequest OnCall(CallOp op, DWORD callId, const CallData& data) {
  CallRequest request;
  request.op = op;
  request.callId = callId;
  request.deviceId = data.deviceId;
  request.addressId = data.addressId;
  return request;
}

}  // namespace

// Most operations act on one call that the application must own.
#define TAPI32_OWNED_CALL(handle)                                                     \
  std::lock_guard lock(mutex_);                                                       \
  LONG error = 0;                                                                     \
  CallHandle* entry = UsableCall(handle, true, Err(LINEERR_INVALCALLHANDLE), &error); \
  if (entry == nullptr) return error;                                                 \
  auto appCheck = [this, handle] {                                                    \
    LONG now = 0;                                                                     \
    UsableCall(handle, true, Err(LINEERR_INVALCALLHANDLE), &now);                     \
    return now;                                                                       \
  };

// --- operations on one call ----------------------------------------------------------------------

namespace {

LONG CheckUserUserInfo(LPCSTR info, DWORD size) {
  return size != 0 && info == nullptr ? Err(LINEERR_INVALPOINTER) : LONG{0};
}

}  // namespace

LONG Server::LineAccept(HCALL call, LPCSTR userUserInfo, DWORD size) {
  if (const LONG error = CheckUserUserInfo(userUserInfo, size)) return error;
  TAPI32_OWNED_CALL(call)
  CallRequest request = OnCall(CallOp::Accept, entry->callId, *ProviderCall(entry->callId));
  request.data = Bytes(userUserInfo, size);
  return StartCallOp(EntryPoint::lineAccept, *entry->open, appCheck, std::move(request));
}

LONG Server::LineAnswer(HCALL call, LPCSTR userUserInfo, DWORD size) {
  if (const LONG error = CheckUserUserInfo(userUserInfo, size)) return error;
  TAPI32_OWNED_CALL(call)
  CallRequest request = OnCall(CallOp::Answer, entry->callId, *ProviderCall(entry->callId));
  request.data = Bytes(userUserInfo, size);
  return StartCallOp(EntryPoint::lineAnswer, *entry->open, appCheck, std::move(request));
}

// Dial, redirect and blind transfer: one owned call and a destination address.
LONG Server::AddressedCallOp(EntryPoint entryPoint, CallOp op, HCALL call, LPCWSTR destAddress,
                             DWORD countryCode) {
  if (destAddress == nullptr) return Err(LINEERR_INVALPOINTER);
  TAPI32_OWNED_CALL(call)
  CallRequest request = OnCall(op, entry->callId, *ProviderCall(entry->callId));
  request.hasAddress = true;
  request.address = destAddress;
  request.countryCode = countryCode;
  return StartCallOp(entryPoint, *entry->open, appCheck, std::move(request));
}

LONG Server::LineDial(HCALL call, LPCWSTR destAddress, DWORD countryCode) {
  return AddressedCallOp(EntryPoint::lineDialW, CallOp::Dial, call, destAddress, countryCode);
}

LONG Server::LineHold(HCALL call) {
  TAPI32_OWNED_CALL(call)
  return StartCallOp(EntryPoint::lineHold, *entry->open, appCheck,
                     OnCall(CallOp::Hold, entry->callId, *ProviderCall(entry->callId)));
}

LONG Server::LineUnhold(HCALL call) {
  TAPI32_OWNED_CALL(call)
  return StartCallOp(EntryPoint::lineUnhold, *entry->open, appCheck,
                     OnCall(CallOp::Unhold, entry->callId, *ProviderCall(entry->callId)));
}

LONG Server::LineRedirect(HCALL call, LPCWSTR destAddress, DWORD countryCode) {
  return AddressedCallOp(EntryPoint::lineRedirectW, CallOp::Redirect, call, destAddress,
                         countryCode);
}

LONG Server::LineBlindTransfer(HCALL call, LPCWSTR destAddress, DWORD countryCode) {
  return AddressedCallOp(EntryPoint::lineBlindTransferW, CallOp::BlindTransfer, call, destAddress,
                         countryCode);
}

LONG Server::LinePark(HCALL call, DWORD parkMode, LPCWSTR dirAddress, LPVARSTRING nonDirAddress) {
  if (parkMode == LINEPARKMODE_DIRECTED) {
    if (dirAddress == nullptr) return Err(LINEERR_INVALPOINTER);
  } else if (parkMode == LINEPARKMODE_NONDIRECTED) {
    if (nonDirAddress == nullptr) return Err(LINEERR_INVALPOINTER);
    if (nonDirAddress->dwTotalSize < sizeof(VARSTRING)) return Err(LINEERR_STRUCTURETOOSMALL);
  } else {
    return Err(LINEERR_INVALPARKMODE);
  }
  TAPI32_OWNED_CALL(call)
  CallRequest request = OnCall(CallOp::Park, entry->callId, *ProviderCall(entry->callId));
  request.mode = parkMode;
  request.hasAddress = parkMode == LINEPARKMODE_DIRECTED;
  request.address = Wide(dirAddress);
  std::function<void(const CallOutcome&)> deliver;
  if (parkMode == LINEPARKMODE_NONDIRECTED) {
    deliver = [nonDirAddress](const CallOutcome& outcome) {
      WriteVarString(nonDirAddress, outcome.parkedAt);
    };
  }
  return StartCallOp(EntryPoint::lineParkW, *entry->open, appCheck, std::move(request),
                     std::move(deliver));
}

LONG Server::LineSetupTransfer(HCALL call, LPHCALL consultCall, const LINECALLPARAMS* params) {
  if (consultCall == nullptr) return Err(LINEERR_INVALPOINTER);
  CallRequest request;
  if (const LONG error = ReadCallParams(params, request)) return error;
  TAPI32_OWNED_CALL(call)
  CallRequest made = OnCall(CallOp::SetupTransfer, entry->callId, *ProviderCall(entry->callId));
  made.hasParams = request.hasParams;
  made.params = std::move(request.params);
  return StartCallOp(EntryPoint::lineSetupTransferW, *entry->open, appCheck, std::move(made),
                     [consultCall](const CallOutcome& outcome) { *consultCall = outcome.newCall; });
}

LONG Server::LinePrepareAddToConference(HCALL confCall, LPHCALL consultCall,
                                        const LINECALLPARAMS* params) {
  if (consultCall == nullptr) return Err(LINEERR_INVALPOINTER);
  CallRequest request;
  if (const LONG error = ReadCallParams(params, request)) return error;
  std::lock_guard lock(mutex_);
  LONG error = 0;
  CallHandle* entry = UsableCall(confCall, true, Err(LINEERR_INVALCONFCALLHANDLE), &error);
  if (entry == nullptr) return error;
  auto appCheck = [this, confCall] {
    LONG now = 0;
    UsableCall(confCall, true, Err(LINEERR_INVALCONFCALLHANDLE), &now);
    return now;
  };
  CallRequest made =
      OnCall(CallOp::PrepareAddToConference, entry->callId, *ProviderCall(entry->callId));
  made.hasParams = request.hasParams;
  made.params = std::move(request.params);
  return StartCallOp(EntryPoint::linePrepareAddToConferenceW, *entry->open, appCheck,
                     std::move(made),
                     [consultCall](const CallOutcome& outcome) { *consultCall = outcome.newCall; });
}

LONG Server::LineRemoveFromConference(HCALL call) {
  TAPI32_OWNED_CALL(call)
  return StartCallOp(
      EntryPoint::lineRemoveFromConference, *entry->open, appCheck,
      OnCall(CallOp::RemoveFromConference, entry->callId, *ProviderCall(entry->callId)));
}

LONG Server::LineCompleteCall(HCALL call, LPDWORD completionId, DWORD completionMode,
                              DWORD messageId) {
  if (completionId == nullptr) return Err(LINEERR_INVALPOINTER);
  if (!SingleBit(completionMode) || completionMode > LINECALLCOMPLMODE_MESSAGE) {
    return Err(LINEERR_INVALCALLCOMPLMODE);
  }
  TAPI32_OWNED_CALL(call)
  CallRequest request = OnCall(CallOp::CompleteCall, entry->callId, *ProviderCall(entry->callId));
  request.mode = completionMode;
  request.param = messageId;
  return StartCallOp(
      EntryPoint::lineCompleteCall, *entry->open, appCheck, std::move(request),
      [completionId](const CallOutcome& outcome) { *completionId = outcome.completionId; });
}

LONG Server::LineSetCallData(HCALL call, LPVOID data, DWORD size) {
  if (size != 0 && data == nullptr) return Err(LINEERR_INVALPOINTER);
  TAPI32_OWNED_CALL(call)
  CallRequest request = OnCall(CallOp::SetCallData, entry->callId, *ProviderCall(entry->callId));
  request.data = Bytes(data, size);  // the application may reuse its buffer at once
  return StartCallOp(EntryPoint::lineSetCallData, *entry->open, appCheck, std::move(request));
}

#undef TAPI32_OWNED_CALL

// --- operations on two calls ---------------------------------------------------------------------

namespace {

// Both calls of a two-call operation belong to one application and one line.
bool SameLine(const DWORD deviceA, const void* appA, const DWORD deviceB, const void* appB) {
  return deviceA == deviceB && appA == appB;
}

}  // namespace

LONG Server::UsableCallPair(HCALL firstHandle, LONG firstInvalid, HCALL secondHandle,
                            LONG secondInvalid, CallHandle** first) {
  LONG error = 0;
  CallHandle* one = UsableCall(firstHandle, true, firstInvalid, &error);
  if (one == nullptr) return error;
  CallHandle* two = UsableCall(secondHandle, true, secondInvalid, &error);
  if (two == nullptr) return error;
  if (one == two ||
      !SameLine(one->open->deviceId, one->open->app, two->open->deviceId, two->open->app)) {
    return secondInvalid;
  }
  if (first != nullptr) *first = one;
  return 0;
}

LONG Server::LineSwapHold(HCALL activeCall, HCALL heldCall) {
  std::lock_guard lock(mutex_);
  auto resolve = [this, activeCall, heldCall](CallHandle** active) {
    return UsableCallPair(activeCall, Err(LINEERR_INVALCALLHANDLE), heldCall,
                          Err(LINEERR_INVALCALLHANDLE), active);
  };
  CallHandle* active = nullptr;
  if (const LONG error = resolve(&active)) return error;
  CallRequest request = OnCall(CallOp::SwapHold, active->callId, *ProviderCall(active->callId));
  request.otherCallId = FindCall(heldCall)->callId;
  return StartCallOp(
      EntryPoint::lineSwapHold, *active->open, [resolve] { return resolve(nullptr); },
      std::move(request));
}

LONG Server::LineCompleteTransfer(HCALL call, HCALL consultCall, LPHCALL confCall,
                                  DWORD transferMode) {
  if (transferMode != LINETRANSFERMODE_TRANSFER && transferMode != LINETRANSFERMODE_CONFERENCE) {
    return Err(LINEERR_INVALTRANSFERMODE);
  }
  if (transferMode == LINETRANSFERMODE_CONFERENCE && confCall == nullptr) {
    return Err(LINEERR_INVALPOINTER);
  }
  std::lock_guard lock(mutex_);
  auto resolve = [this, call, consultCall](CallHandle** primary) {
    return UsableCallPair(call, Err(LINEERR_INVALCALLHANDLE), consultCall,
                          Err(LINEERR_INVALCONSULTCALLHANDLE), primary);
  };
  CallHandle* primary = nullptr;
  if (const LONG error = resolve(&primary)) return error;
  CallRequest request =
      OnCall(CallOp::CompleteTransfer, primary->callId, *ProviderCall(primary->callId));
  request.otherCallId = FindCall(consultCall)->callId;
  request.mode = transferMode;
  std::function<void(const CallOutcome&)> deliver;
  if (transferMode == LINETRANSFERMODE_CONFERENCE) {
    deliver = [confCall](const CallOutcome& outcome) { *confCall = outcome.confCall; };
  }
  return StartCallOp(
      EntryPoint::lineCompleteTransfer, *primary->open, [resolve] { return resolve(nullptr); },
      std::move(request), std::move(deliver));
}

LONG Server::LineAddToConference(HCALL confCall, HCALL consultCall) {
  std::lock_guard lock(mutex_);
  auto resolve = [this, confCall, consultCall](CallHandle** conference) {
    return UsableCallPair(confCall, Err(LINEERR_INVALCONFCALLHANDLE), consultCall,
                          Err(LINEERR_INVALCONSULTCALLHANDLE), conference);
  };
  CallHandle* conference = nullptr;
  if (const LONG error = resolve(&conference)) return error;
  CallRequest request =
      OnCall(CallOp::AddToConference, conference->callId, *ProviderCall(conference->callId));
  request.otherCallId = FindCall(consultCall)->callId;
  return StartCallOp(
      EntryPoint::lineAddToConference, *conference->open, [resolve] { return resolve(nullptr); },
      std::move(request));
}

LONG Server::LineSetupConference(HCALL call, HLINE line, LPHCALL confCall, LPHCALL consultCall,
                                 DWORD numParties, const LINECALLPARAMS* params) {
  if (confCall == nullptr || consultCall == nullptr) return Err(LINEERR_INVALPOINTER);
  CallRequest request;
  if (const LONG error = ReadCallParams(params, request)) return error;
  request.op = CallOp::SetupConference;
  request.mode = numParties;
  std::lock_guard lock(mutex_);
  std::function<LONG()> appCheck;
  const OpenEntry* open = nullptr;
  if (call != 0) {
    // The conference grows out of an existing call; hLine is not needed.
    LONG error = 0;
    CallHandle* entry = UsableCall(call, true, Err(LINEERR_INVALCALLHANDLE), &error);
    if (entry == nullptr) return error;
    const CallData& data = *ProviderCall(entry->callId);
    request.callId = entry->callId;
    request.deviceId = data.deviceId;
    request.addressId = data.addressId;
    open = entry->open;
    appCheck = [this, call] {
      LONG now = 0;
      UsableCall(call, true, Err(LINEERR_INVALCALLHANDLE), &now);
      return now;
    };
  } else {
    open = FindOpen(line);
    if (open == nullptr) return Err(LINEERR_INVALLINEHANDLE);
    request.deviceId = open->deviceId;
    request.addressId = request.hasParams ? request.params.addressId : 0;
    appCheck = [this, line] {
      return FindOpen(line) != nullptr ? LONG{0} : Err(LINEERR_INVALLINEHANDLE);
    };
  }
  return StartCallOp(EntryPoint::lineSetupConferenceW, *open, appCheck, std::move(request),
                     [confCall, consultCall](const CallOutcome& outcome) {
                       *confCall = outcome.confCall;
                       *consultCall = outcome.newCall;
                     });
}

// --- operations on a line ------------------------------------------------------------------------

LONG Server::LineMakeCall(HLINE line, LPHCALL call, LPCWSTR destAddress, DWORD countryCode,
                          const LINECALLPARAMS* params) {
  if (call == nullptr) return Err(LINEERR_INVALPOINTER);
  CallRequest request;
  request.op = CallOp::MakeCall;
  if (const LONG error = ReadCallParams(params, request)) return error;
  // No destination (or an empty one) leaves the new call at dial tone for lineDialW.
  request.hasAddress = destAddress != nullptr && *destAddress != u'\0';
  request.address = Wide(destAddress);
  request.countryCode = countryCode;
  request.addressId = request.hasParams ? request.params.addressId : 0;
  return StartLineCallOp(EntryPoint::lineMakeCallW, line, call, std::move(request));
}

LONG Server::LineUnpark(HLINE line, DWORD addressId, LPHCALL call, LPCWSTR destAddress) {
  if (call == nullptr || destAddress == nullptr) return Err(LINEERR_INVALPOINTER);
  CallRequest request;
  request.op = CallOp::Unpark;
  request.addressId = addressId;
  request.hasAddress = true;
  request.address = destAddress;
  return StartLineCallOp(EntryPoint::lineUnparkW, line, call, std::move(request));
}

LONG Server::LinePickup(HLINE line, DWORD addressId, LPHCALL call, LPCWSTR destAddress,
                        LPCWSTR groupId) {
  if (call == nullptr) return Err(LINEERR_INVALPOINTER);
  CallRequest request;
  request.op = CallOp::Pickup;
  request.addressId = addressId;
  request.hasAddress = destAddress != nullptr;
  request.address = Wide(destAddress);
  request.group = Wide(groupId);
  return StartLineCallOp(EntryPoint::linePickupW, line, call, std::move(request));
}

LONG Server::LineUncompleteCall(HLINE line, DWORD completionId) {
  std::lock_guard lock(mutex_);
  const OpenEntry* open = FindOpen(line);
  if (open == nullptr) return Err(LINEERR_INVALLINEHANDLE);
  CallRequest request;
  request.op = CallOp::UncompleteCall;
  request.deviceId = open->deviceId;
  request.param = completionId;
  auto appCheck = [this, line] {
    return FindOpen(line) != nullptr ? LONG{0} : Err(LINEERR_INVALLINEHANDLE);
  };
  return StartCallOp(EntryPoint::lineUncompleteCall, *open, appCheck, std::move(request));
}

LONG Server::LineDevSpecific(HLINE line, DWORD addressId, HCALL call, LPVOID params, DWORD size) {
  if (size != 0 && params == nullptr) return Err(LINEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  const OpenEntry* open = FindOpen(line);
  if (open == nullptr) return Err(LINEERR_INVALLINEHANDLE);
  // A call, when one is named, must be one this open knows (any privilege will do).
  auto appCheck = [this, line, call] {
    const OpenEntry* now = FindOpen(line);
    if (now == nullptr) return Err(LINEERR_INVALLINEHANDLE);
    if (call != 0) {
      const CallHandle* entry = FindCall(call);
      if (entry == nullptr || entry->open != now || ProviderCall(entry->callId) == nullptr) {
        return Err(LINEERR_INVALCALLHANDLE);
      }
    }
    return LONG{0};
  };
  CallRequest request;
  request.op = CallOp::DevSpecific;
  request.deviceId = open->deviceId;
  request.addressId = addressId;
  if (call != 0 && appCheck() == 0) request.callId = FindCall(call)->callId;
  request.data = Bytes(params, size);
  return StartCallOp(EntryPoint::lineDevSpecific, *open, appCheck, std::move(request),
                     [params, size](const CallOutcome& outcome) {
                       if (!outcome.devSpecific || params == nullptr) return;
                       std::memcpy(params, outcome.devSpecific->data(),
                                   std::min<size_t>(size, outcome.devSpecific->size()));
                     });
}

LONG Server::LineDevSpecificFeature(HLINE line, DWORD feature, LPVOID params, DWORD size) {
  if (size != 0 && params == nullptr) return Err(LINEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  const OpenEntry* open = FindOpen(line);
  if (open == nullptr) return Err(LINEERR_INVALLINEHANDLE);
  CallRequest request;
  request.op = CallOp::DevSpecificFeature;
  request.deviceId = open->deviceId;
  request.param = feature;
  request.data = Bytes(params, size);
  auto appCheck = [this, line] {
    return FindOpen(line) != nullptr ? LONG{0} : Err(LINEERR_INVALLINEHANDLE);
  };
  return StartCallOp(EntryPoint::lineDevSpecificFeature, *open, appCheck, std::move(request),
                     [params, size](const CallOutcome& outcome) {
                       if (!outcome.devSpecific || params == nullptr) return;
                       std::memcpy(params, outcome.devSpecific->data(),
                                   std::min<size_t>(size, outcome.devSpecific->size()));
                     });
}

// --- synchronous operations ----------------------------------------------------------------------

LONG Server::LineGenerateDigits(HCALL call, DWORD digitMode, LPCWSTR digits, DWORD duration) {
  std::lock_guard lock(mutex_);
  LONG error = 0;
  CallHandle* entry = UsableCall(call, true, Err(LINEERR_INVALCALLHANDLE), &error);
  if (entry == nullptr) return error;
  if (digitMode != LINEDIGITMODE_PULSE && digitMode != LINEDIGITMODE_DTMF) {
    return Err(LINEERR_INVALDIGITMODE);
  }
  // No digits cancels a generation; the switch generates at once, so none is running.
  if (digits == nullptr) return 0;
  CallRequest request = OnCall(CallOp::GenerateDigits, entry->callId, *ProviderCall(entry->callId));
  request.mode = digitMode;
  request.param = duration;
  request.address = digits;
  if (const LONG result = RunCallOpNow(request, entry->open->handle); result != 0) return result;
  PostToOpen(*entry->open, call, LINE_GENERATE, LINEGENERATETERM_DONE, platform::GetTickCount(), 0);
  return 0;
}

LONG Server::LineGenerateTone(HCALL call, DWORD toneMode, DWORD duration, DWORD numTones,
                              const LINEGENERATETONE* tones) {
  std::lock_guard lock(mutex_);
  LONG error = 0;
  CallHandle* entry = UsableCall(call, true, Err(LINEERR_INVALCALLHANDLE), &error);
  if (entry == nullptr) return error;
  if (toneMode == 0) return 0;  // cancels; nothing is running
  constexpr DWORD kToneModes = LINETONEMODE_CUSTOM | LINETONEMODE_RINGBACK | LINETONEMODE_BUSY |
                               LINETONEMODE_BEEP | LINETONEMODE_BILLING;
  if (!SingleBit(toneMode) || (toneMode & ~kToneModes) != 0) return Err(LINEERR_INVALTONEMODE);
  CallRequest request = OnCall(CallOp::GenerateTone, entry->callId, *ProviderCall(entry->callId));
  request.mode = toneMode;
  request.param = duration;
  if (toneMode == LINETONEMODE_CUSTOM) {
    if (numTones == 0) return Err(LINEERR_INVALTONE);
    if (tones == nullptr) return Err(LINEERR_INVALPOINTER);
    for (DWORD i = 0; i < numTones; ++i)
      request.tones.push_back(tones[i].dwFrequency);
  }
  if (const LONG result = RunCallOpNow(request, entry->open->handle); result != 0) return result;
  PostToOpen(*entry->open, call, LINE_GENERATE, LINEGENERATETERM_DONE, platform::GetTickCount(), 0);
  return 0;
}

LONG Server::LineMonitorTones(HCALL call, const LINEMONITORTONE* tones, DWORD numEntries) {
  std::lock_guard lock(mutex_);
  LONG error = 0;
  // Monitoring is open to monitors as well as owners.
  CallHandle* entry = UsableCall(call, false, Err(LINEERR_INVALCALLHANDLE), &error);
  if (entry == nullptr) return error;
  if (tones == nullptr) {
    entry->tones.clear();
    ++entry->toneList;
    return 0;
  }
  if (numEntries == 0) return Err(LINEERR_INVALTONELIST);
  CallRequest request = OnCall(CallOp::MonitorTones, entry->callId, *ProviderCall(entry->callId));
  request.mode = numEntries;
  for (DWORD i = 0; i < numEntries; ++i) {
    const LINEMONITORTONE& tone = tones[i];
    const auto frequencies = static_cast<DWORD>(
        (tone.dwFrequency1 != 0) + (tone.dwFrequency2 != 0) + (tone.dwFrequency3 != 0));
    request.param = std::max(request.param, frequencies);
  }
  if (const LONG result = RunCallOpNow(request, entry->open->handle); result != 0) return result;
  entry->tones.assign(tones, tones + numEntries);
  ++entry->toneList;
  // A silence going on already counts from now.
  ArmSilenceTones(*entry);
  return 0;
}

LONG Server::LineMonitorMedia(HCALL call, DWORD mediaModes) {
  std::lock_guard lock(mutex_);
  LONG error = 0;
  CallHandle* entry = UsableCall(call, false, Err(LINEERR_INVALCALLHANDLE), &error);
  if (entry == nullptr) return error;
  if (mediaModes == 0) {
    entry->monitoredMedia = 0;
    return 0;
  }
  CallRequest request = OnCall(CallOp::MonitorMedia, entry->callId, *ProviderCall(entry->callId));
  request.mode = mediaModes;
  if (const LONG result = RunCallOpNow(request, entry->open->handle); result != 0) return result;
  entry->monitoredMedia = mediaModes;
  return 0;
}

LONG Server::LineSetMediaMode(HCALL call, DWORD mediaModes) {
  std::lock_guard lock(mutex_);
  LONG error = 0;
  CallHandle* entry = UsableCall(call, true, Err(LINEERR_INVALCALLHANDLE), &error);
  if (entry == nullptr) return error;
  CallRequest request = OnCall(CallOp::SetMediaMode, entry->callId, *ProviderCall(entry->callId));
  request.mode = mediaModes;
  return RunCallOpNow(request, entry->open->handle);
}

LONG Server::LineHandoff(HCALL call, LPCWSTR fileName, DWORD mediaMode) {
  std::lock_guard lock(mutex_);
  LONG error = 0;
  CallHandle* entry = UsableCall(call, true, Err(LINEERR_INVALCALLHANDLE), &error);
  if (entry == nullptr) return error;
  if (fileName == nullptr && !SingleBit(mediaMode)) return Err(LINEERR_INVALMEDIAMODE);
  const DWORD callId = entry->callId;
  const LineApp* self = entry->open->app;
  auto opens = opensByDevice_.find(entry->open->deviceId);
  // The target is an owner open of the call's line, the oldest first: of the named application
  // (another instance of the same name before the caller), or the first that handles the media
  // mode, which may be the caller itself.
  OpenEntry* target = nullptr;
  bool namesSelf = false;
  for (OpenEntry* open : opens->second) {
    if ((open->privileges & LINECALLPRIVILEGE_OWNER) == 0) continue;
    if (fileName == nullptr) {
      if ((open->mediaModes & mediaMode) == 0) continue;
    } else if (!NamesApp(fileName, open->app->name)) {
      continue;
    } else if (open->app == self) {
      namesSelf = true;
      continue;
    }
    target = open;
    break;
  }
  if (target == nullptr) return namesSelf ? Err(LINEERR_TARGETSELF) : Err(LINEERR_TARGETNOTFOUND);
  if (target->app == self) return Err(LINEERR_TARGETSELF);
  GiveOwnership(*target, callId);
  return 0;
}

void Server::GiveOwnership(OpenEntry& target, DWORD callId) {
  const CallData* data = ProviderCall(callId);
  CallViews& views = callViews_.at(callId);
  const HCALL held = HandleOf(target, callId);
  CallHandle* entry = nullptr;
  DWORD counts = 0;  // what the call's other handles hear
  if (held == 0) {
    entry = &AddCallHandle(target, callId, LINECALLPRIVILEGE_OWNER);
    entry->announce = true;
    counts = LINECALLINFOSTATE_NUMOWNERINCR;
  } else {
    entry = &callHandles_.at(held);
    if (entry->privilege != LINECALLPRIVILEGE_OWNER) {
      entry->privilege = LINECALLPRIVILEGE_OWNER;
      --views.monitors;
      ++views.owners;
      counts = LINECALLINFOSTATE_NUMOWNERINCR | LINECALLINFOSTATE_NUMMONITORS;
    }
  }
  // A handoff target hears the privilege with the call's state even when it owned the call.
  entry->reportPrivilege = LINECALLPRIVILEGE_OWNER;
  PostCallState(*entry, *data);
  if (counts != 0) PostCallInfo(callId, entry->handle, counts);
}

LONG Server::LineGetConfRelatedCalls(HCALL call, LPLINECALLLIST list) {
  if (list == nullptr) return Err(LINEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  LONG error = 0;
  CallHandle* entry = UsableCall(call, false, Err(LINEERR_INVALCALLHANDLE), &error);
  if (entry == nullptr) return error;
  const std::vector<DWORD> calls = provider_->ConferenceOf(entry->callId);
  if (calls.empty()) return Err(LINEERR_NOCONFERENCE);
  // Calls of the conference this open had no handle for are handed out to monitor.
  return AnswerCallList(*entry->open, calls, list);
}

// --- detections ----------------------------------------------------------------------------------

void Server::ToneDetected(DWORD callId, DWORD frequency1, DWORD frequency2, DWORD frequency3) {
  std::lock_guard lock(mutex_);
  auto views = callViews_.find(callId);
  if (views == callViews_.end()) return;
  const DWORD now = platform::GetTickCount();
  for (const CallHandle* entry = views->second.first; entry; entry = entry->nextOfCall) {
    for (const LINEMONITORTONE& tone : entry->tones) {
      if (tone.dwFrequency1 == frequency1 && tone.dwFrequency2 == frequency2 &&
          tone.dwFrequency3 == frequency3) {
        PostToOpen(*entry->open, entry->handle, LINE_MONITORTONE, tone.dwAppSpecific, 0, now);
      }
    }
  }
}

void Server::MediaDetected(DWORD callId, DWORD mediaMode) {
  std::lock_guard lock(mutex_);
  auto views = callViews_.find(callId);
  if (views == callViews_.end()) return;
  const DWORD now = platform::GetTickCount();
  for (const CallHandle* entry = views->second.first; entry; entry = entry->nextOfCall) {
    if (entry->monitoredMedia & mediaMode) {
      PostToOpen(*entry->open, entry->handle, LINE_MONITORMEDIA, mediaMode & entry->monitoredMedia,
                 0, now);
    }
  }
}

// --- forwarding ----------------------------------------------------------------------------------

namespace {

// The fixed part of a LINEFORWARDLIST and one LINEFORWARD entry.
constexpr uint64_t kForwardListHeader = offsetof(LINEFORWARDLIST, ForwardList);
constexpr uint64_t kForwardEntrySize = sizeof(LINEFORWARD);

// Copies the application's forwarding list. The structure must hold its entries
// (STRUCTURETOOSMALL), and every text must lie in the structure behind them, in whole
// characters (INVALPARAM: the list holds invalid information).
LONG ReadForwardList(const LINEFORWARDLIST* list, std::vector<ForwardEntry>& out) {
  const uint64_t total = list->dwTotalSize;
  if (total < sizeof(LINEFORWARDLIST)) return Err(LINEERR_STRUCTURETOOSMALL);
  const uint64_t entriesEnd = kForwardListHeader + kForwardEntrySize * list->dwNumEntries;
  if (entriesEnd > total) return Err(LINEERR_STRUCTURETOOSMALL);
  const auto* base = reinterpret_cast<const uint8_t*>(list);
  bool valid = true;
  auto text = [&](DWORD size, DWORD offset) {
    std::u16string value;
    if (size == 0) return value;
    if (size % sizeof(char16_t) != 0 || offset < entriesEnd || uint64_t{offset} + size > total) {
      valid = false;
      return value;
    }
    value.resize(size / sizeof(char16_t));
    std::memcpy(value.data(), base + offset, size);
    // The text ends at its first NUL.
    value.resize(std::char_traits<char16_t>::length(value.c_str()));
    return value;
  };
  out.clear();
  for (DWORD i = 0; i < list->dwNumEntries && valid; ++i) {
    LINEFORWARD entry;
    std::memcpy(&entry, base + kForwardListHeader + kForwardEntrySize * i, sizeof(entry));
    ForwardEntry& copy = out.emplace_back();
    copy.mode = entry.dwForwardMode;
    copy.callerAddress = text(entry.dwCallerAddressSize, entry.dwCallerAddressOffset);
    copy.destCountryCode = entry.dwDestCountryCode;
    copy.destAddress = text(entry.dwDestAddressSize, entry.dwDestAddressOffset);
  }
  return valid ? LONG{0} : Err(LINEERR_INVALPARAM);
}

}  // namespace

LONG Server::LineForward(HLINE line, DWORD allAddresses, DWORD addressId,
                         const LINEFORWARDLIST* list, DWORD numRingsNoAnswer, LPHCALL consultCall,
                         const LINECALLPARAMS* params) {
  // The consultation call's variable is needed even where the switch makes none.
  if (consultCall == nullptr) return Err(LINEERR_INVALPOINTER);
  CallRequest request;
  request.op = CallOp::Forward;
  request.allAddresses = allAddresses != 0;
  request.addressId = request.allAddresses ? 0 : addressId;
  request.mode = numRingsNoAnswer;
  // No list cancels the forwarding.
  request.hasAddress = list != nullptr;
  if (list != nullptr) {
    if (const LONG error = ReadForwardList(list, request.forwards)) return error;
  }
  // lineForwardW reports faulty call parameters as invalid information in general.
  if (const LONG error = ReadCallParams(params, request)) {
    return error == Err(LINEERR_INVALCALLPARAMS) ? Err(LINEERR_INVALPARAM) : error;
  }
  return StartLineCallOp(EntryPoint::lineForwardW, line, consultCall, std::move(request));
}

}  // namespace tapi32
