#include "tapi32/server.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iostream>

#include "platform/sync.h"
#include "tapi32/var_struct.h"

namespace tapi32 {

namespace {

// Where a handle counter starts: far from 0 and from small integers that a caller might pass by
// mistake (device IDs, callback instances).
constexpr uint32_t kFirstHandle = 0x00010000;

// Fixed part of LINEDEVCAPS as each API version defines it: later versions appended fields.
DWORD LineCapsFixedSize(DWORD apiVersion) {
  if (apiVersion < 0x00010004) return offsetof(LINEDEVCAPS, dwLineFeatures);
  if (apiVersion < 0x00020000) return offsetof(LINEDEVCAPS, dwSettableDevStatus);
  if (apiVersion < 0x00020002) return offsetof(LINEDEVCAPS, PermanentLineGuid);
  return sizeof(LINEDEVCAPS);
}

DWORD PhoneCapsFixedSize(DWORD apiVersion) {
  if (apiVersion < 0x00020000) return offsetof(PHONECAPS, dwDeviceClassesSize);
  if (apiVersion < 0x00020002) return offsetof(PHONECAPS, PermanentPhoneGuid);
  return sizeof(PHONECAPS);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

void Server::Negotiations::Add(DWORD deviceId, DWORD version) {
  auto& list = versions[deviceId];
  if (std::find(list.begin(), list.end(), version) == list.end()) list.push_back(version);
}

bool Server::Negotiations::Has(DWORD deviceId, DWORD version) const {
  auto it = versions.find(deviceId);
  return it != versions.end() &&
         std::find(it->second.begin(), it->second.end(), version) != it->second.end();
}

Server& Server::Instance() {
  static Server* server = new Server();
  return *server;
}

void Server::SetProvider(Provider* provider) {
  std::lock_guard lock(mutex_);
  provider_ = provider;
}

uint32_t Server::NewHandle() {
  // Handles count upwards and skip 0 and any handle still in use, so a stale handle of a
  // shut-down application is not handed out again for about four billion initialisations.
  for (;;) {
    ++lastHandle_;
    if (lastHandle_ < kFirstHandle) lastHandle_ = kFirstHandle;
    if (!lineApps_.contains(lastHandle_) && !phoneApps_.contains(lastHandle_) &&
        !lineOpens_.contains(lastHandle_) && !callHandles_.contains(lastHandle_)) {
      return lastHandle_;
    }
  }
}

LONG Server::CheckLineDevice(DWORD deviceId) const {
  if (provider_ == nullptr || deviceId >= provider_->NumLines()) return Err(LINEERR_BADDEVICEID);
  return provider_->Line(deviceId).Removed() ? Err(LINEERR_NODEVICE) : 0;
}

LONG Server::CheckPhoneDevice(DWORD deviceId) const {
  if (provider_ == nullptr || deviceId >= provider_->NumPhones()) return Err(PHONEERR_BADDEVICEID);
  return provider_->Phone(deviceId).Removed() ? Err(PHONEERR_NODEVICE) : 0;
}

Server::LineApp* Server::FindLine(HLINEAPP handle) {
  auto it = lineApps_.find(handle);
  return it == lineApps_.end() ? nullptr : it->second.get();
}

Server::PhoneApp* Server::FindPhone(HPHONEAPP handle) {
  auto it = phoneApps_.find(handle);
  return it == phoneApps_.end() ? nullptr : it->second.get();
}

bool Server::PrepareProvider() {
  if (provider_ == nullptr) return true;
  std::string error;
  if (provider_->Prepare(error)) {
    lastReportedError_.clear();
    return true;
  }
  // An application usually retries its initialisation; the user needs the reason only once.
  if (error != lastReportedError_) {
    std::cerr << "tapi32: " << error << std::endl;
    lastReportedError_ = error;
  }
  return false;
}

// The message is queued before the event is signalled, so a woken reader always finds it.
void Server::Post(LineApp& app, const LINEMESSAGE& message) {
  if (app.queue.Push(message)) platform::SetEvent(app.event);
}

void Server::Post(PhoneApp& app, const PHONEMESSAGE& message) {
  if (app.queue.Push(message)) platform::SetEvent(app.event);
}

// --- initialisation and shutdown -------------------------------------------------------------

LONG Server::LineInitialize(LPHLINEAPP app, LPCWSTR appName, LPDWORD numDevs, LPDWORD apiVersion,
                            LPLINEINITIALIZEEXPARAMS params) {
  if (app == nullptr || numDevs == nullptr || apiVersion == nullptr || params == nullptr) {
    return Err(LINEERR_INVALPOINTER);
  }
  if (*apiVersion < kLowestApiVersion || *apiVersion > kHighestApiVersion) {
    return Err(LINEERR_INCOMPATIBLEAPIVERSION);
  }
  if (params->dwTotalSize < sizeof(LINEINITIALIZEEXPARAMS)) {
    if (params->dwTotalSize >= offsetof(LINEINITIALIZEEXPARAMS, dwUsedSize)) {
      params->dwNeededSize = sizeof(LINEINITIALIZEEXPARAMS);
    }
    return Err(LINEERR_STRUCTURETOOSMALL);
  }
  // Only event notification exists here: there is no window to post to and no completion port.
  const DWORD option = params->dwOptions & ~LINEINITIALIZEEXOPTION_CALLHUBTRACKING;
  if (option != LINEINITIALIZEEXOPTION_USEEVENT) return Err(LINEERR_OPERATIONUNAVAIL);

  std::lock_guard lock(mutex_);
  if (!PrepareProvider()) return Err(LINEERR_INIFILECORRUPT);
  const HANDLE event = platform::CreateEvent(true, false);
  if (event == 0) return Err(LINEERR_NOMEM);

  auto entry = std::make_unique<LineApp>();
  entry->handle = NewHandle();
  entry->event = event;
  if (appName != nullptr) entry->name = appName;
  entry->apiVersion = *apiVersion;
  const HLINEAPP handle = entry->handle;
  lineApps_.emplace(handle, std::move(entry));

  *app = handle;
  *numDevs = provider_ != nullptr ? provider_->NumLines() : 0;
  *apiVersion = kCurrentApiVersion;
  params->dwNeededSize = sizeof(LINEINITIALIZEEXPARAMS);
  params->dwUsedSize = sizeof(LINEINITIALIZEEXPARAMS);
  params->Handles.hEvent = event;
  return 0;
}

LONG Server::PhoneInitialize(LPHPHONEAPP app, LPCWSTR appName, LPDWORD numDevs, LPDWORD apiVersion,
                             LPPHONEINITIALIZEEXPARAMS params) {
  if (app == nullptr || numDevs == nullptr || apiVersion == nullptr || params == nullptr) {
    return Err(PHONEERR_INVALPOINTER);
  }
  if (*apiVersion < kLowestApiVersion || *apiVersion > kHighestApiVersion) {
    return Err(PHONEERR_INCOMPATIBLEAPIVERSION);
  }
  if (params->dwTotalSize < sizeof(PHONEINITIALIZEEXPARAMS)) {
    if (params->dwTotalSize >= offsetof(PHONEINITIALIZEEXPARAMS, dwUsedSize)) {
      params->dwNeededSize = sizeof(PHONEINITIALIZEEXPARAMS);
    }
    return Err(PHONEERR_STRUCTURETOOSMALL);
  }
  if (params->dwOptions != PHONEINITIALIZEEXOPTION_USEEVENT) {
    return Err(PHONEERR_OPERATIONUNAVAIL);
  }

  std::lock_guard lock(mutex_);
  if (!PrepareProvider()) return Err(PHONEERR_INIFILECORRUPT);
  const HANDLE event = platform::CreateEvent(true, false);
  if (event == 0) return Err(PHONEERR_NOMEM);

  auto entry = std::make_unique<PhoneApp>();
  entry->handle = NewHandle();
  entry->event = event;
  if (appName != nullptr) entry->name = appName;
  entry->apiVersion = *apiVersion;
  const HPHONEAPP handle = entry->handle;
  phoneApps_.emplace(handle, std::move(entry));

  *app = handle;
  *numDevs = provider_ != nullptr ? provider_->NumPhones() : 0;
  *apiVersion = kCurrentApiVersion;
  params->dwNeededSize = sizeof(PHONEINITIALIZEEXPARAMS);
  params->dwUsedSize = sizeof(PHONEINITIALIZEEXPARAMS);
  params->Handles.hEvent = event;
  return 0;
}

LONG Server::LineShutdown(HLINEAPP app) {
  std::lock_guard lock(mutex_);
  auto it = lineApps_.find(app);
  if (it == lineApps_.end()) return Err(LINEERR_INVALAPPHANDLE);
  // Shutting down closes the application's lines the way lineClose does, and forgets its
  // pending requests: nobody is left to receive their replies.
  const std::set<HLINE> opens = it->second->opens;
  for (HLINE open : opens)
    EndOpen(open, true, true);
  std::erase_if(requests_,
                [&](const auto& entry) { return !entry.second.phone && entry.second.app == app; });
  // Closing the event ends a lineGetMessage that waits on it; that call then finds the handle gone.
  platform::CloseHandle(it->second->event);
  lineApps_.erase(it);
  return 0;
}

LONG Server::PhoneShutdown(HPHONEAPP app) {
  std::lock_guard lock(mutex_);
  auto it = phoneApps_.find(app);
  if (it == phoneApps_.end()) return Err(PHONEERR_INVALAPPHANDLE);
  // As phoneClose would: the other applications on the phone hear of it.
  const std::set<HPHONE> opens = it->second->opens;
  for (HPHONE open : opens)
    EndPhoneOpen(open, true);
  std::erase_if(requests_,
                [&](const auto& entry) { return entry.second.phone && entry.second.app == app; });
  platform::CloseHandle(it->second->event);
  phoneApps_.erase(it);
  return 0;
}

// --- messages ------------------------------------------------------------------------------

namespace {

// Takes the next message of an application, waiting on its event up to timeoutMs. The lock is
// released while waiting; the application is looked up again after every wake because it may
// have been shut down meanwhile.
template <class Msg, class FindApp>
LONG GetMessageWait(std::recursive_mutex& mutex, FindApp find, Msg* message, DWORD timeoutMs,
                    LONG invalidApp, LONG timedOut) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  for (;;) {
    HANDLE event = 0;
    {
      std::lock_guard lock(mutex);
      auto* app = find();
      if (app == nullptr) return invalidApp;
      if (app->queue.Pop(*message)) {
        if (app->queue.Empty()) platform::ResetEvent(app->event);
        return 0;
      }
      event = app->event;
    }
    DWORD wait = platform::INFINITE;
    if (timeoutMs != platform::INFINITE) {
      const auto elapsed =
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
      if (elapsed >= static_cast<long long>(timeoutMs)) return timedOut;
      wait = static_cast<DWORD>(timeoutMs - elapsed);
    }
    const uint32_t result = platform::WaitForSingleObject(event, wait);
    if (result == platform::WAIT_FAILED) {
      std::lock_guard lock(mutex);
      return find() == nullptr ? invalidApp : timedOut;
    }
  }
}

}  // namespace

LONG Server::LineGetMessage(HLINEAPP app, LPLINEMESSAGE message, DWORD timeoutMs) {
  if (message == nullptr) return Err(LINEERR_INVALPOINTER);
  return GetMessageWait(
      mutex_, [&] { return FindLine(app); }, message, timeoutMs, Err(LINEERR_INVALAPPHANDLE),
      Err(LINEERR_OPERATIONFAILED));
}

LONG Server::PhoneGetMessage(HPHONEAPP app, LPPHONEMESSAGE message, DWORD timeoutMs) {
  if (message == nullptr) return Err(PHONEERR_INVALPOINTER);
  return GetMessageWait(
      mutex_, [&] { return FindPhone(app); }, message, timeoutMs, Err(PHONEERR_INVALAPPHANDLE),
      Err(PHONEERR_OPERATIONFAILED));
}

bool Server::PostLineMessage(HLINEAPP app, const LINEMESSAGE& message) {
  std::lock_guard lock(mutex_);
  LineApp* entry = FindLine(app);
  if (entry == nullptr) return false;
  Post(*entry, message);
  return true;
}

bool Server::PostPhoneMessage(HPHONEAPP app, const PHONEMESSAGE& message) {
  std::lock_guard lock(mutex_);
  PhoneApp* entry = FindPhone(app);
  if (entry == nullptr) return false;
  Post(*entry, message);
  return true;
}

void Server::BroadcastLineMessage(const LINEMESSAGE& message) {
  std::lock_guard lock(mutex_);
  for (auto& [handle, entry] : lineApps_)
    Post(*entry, message);
}

void Server::BroadcastPhoneMessage(const PHONEMESSAGE& message) {
  std::lock_guard lock(mutex_);
  for (auto& [handle, entry] : phoneApps_)
    Post(*entry, message);
}

std::vector<HLINEAPP> Server::LineApps() const {
  std::lock_guard lock(mutex_);
  std::vector<HLINEAPP> out;
  for (const auto& [handle, entry] : lineApps_)
    out.push_back(handle);
  return out;
}

std::vector<HPHONEAPP> Server::PhoneApps() const {
  std::lock_guard lock(mutex_);
  std::vector<HPHONEAPP> out;
  for (const auto& [handle, entry] : phoneApps_)
    out.push_back(handle);
  return out;
}

size_t Server::PendingLineMessages(HLINEAPP app) const {
  std::lock_guard lock(mutex_);
  auto it = lineApps_.find(app);
  return it == lineApps_.end() ? 0 : it->second->queue.Size();
}

size_t Server::PendingPhoneMessages(HPHONEAPP app) const {
  std::lock_guard lock(mutex_);
  auto it = phoneApps_.find(app);
  return it == phoneApps_.end() ? 0 : it->second->queue.Size();
}

// --- version negotiation -------------------------------------------------------------------

namespace {

// The highest version both sides support, or 0 when their ranges do not meet.
DWORD Negotiate(DWORD appLow, DWORD appHigh, VersionRange device) {
  const DWORD high = std::min({appHigh, device.high, kHighestApiVersion});
  const DWORD low = std::max(appLow, device.low);
  return high >= low ? high : 0;
}

}  // namespace

LONG Server::LineNegotiateAPIVersion(HLINEAPP app, DWORD deviceId, DWORD low, DWORD high,
                                     LPDWORD apiVersion, LPLINEEXTENSIONID extensionId) {
  if (apiVersion == nullptr || extensionId == nullptr) return Err(LINEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  LineApp* entry = FindLine(app);
  if (entry == nullptr) return Err(LINEERR_INVALAPPHANDLE);
  if (const LONG error = CheckLineDevice(deviceId)) return error;
  const LineDevice& device = provider_->Line(deviceId);
  const DWORD version = Negotiate(low, high, device.ApiVersions());
  if (version == 0) return Err(LINEERR_INCOMPATIBLEAPIVERSION);
  *apiVersion = version;
  *extensionId = device.ExtensionId();
  entry->negotiated.Add(deviceId, version);
  return 0;
}

LONG Server::PhoneNegotiateAPIVersion(HPHONEAPP app, DWORD deviceId, DWORD low, DWORD high,
                                      LPDWORD apiVersion, LPPHONEEXTENSIONID extensionId) {
  if (apiVersion == nullptr || extensionId == nullptr) return Err(PHONEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  PhoneApp* entry = FindPhone(app);
  if (entry == nullptr) return Err(PHONEERR_INVALAPPHANDLE);
  if (const LONG error = CheckPhoneDevice(deviceId)) return error;
  const PhoneDevice& device = provider_->Phone(deviceId);
  const DWORD version = Negotiate(low, high, device.ApiVersions());
  if (version == 0) return Err(PHONEERR_INCOMPATIBLEAPIVERSION);
  *apiVersion = version;
  *extensionId = device.ExtensionId();
  entry->negotiated.Add(deviceId, version);
  return 0;
}

namespace {

// Extension versions: a device without an extension range (high 0) offers no extensions at all.
template <class Device>
LONG NegotiateExt(const Device& device, DWORD low, DWORD high, LPDWORD extVersion, LONG unavailable,
                  LONG incompatible) {
  const VersionRange range = device.ExtVersions();
  if (range.high == 0) return unavailable;
  const DWORD version = std::min(high, range.high);
  if (version < std::max(low, range.low) || version == 0) return incompatible;
  *extVersion = version;
  return 0;
}

}  // namespace

LONG Server::LineNegotiateExtVersion(HLINEAPP app, DWORD deviceId, DWORD apiVersion, DWORD low,
                                     DWORD high, LPDWORD extVersion) {
  if (extVersion == nullptr) return Err(LINEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  LineApp* entry = FindLine(app);
  if (entry == nullptr) return Err(LINEERR_INVALAPPHANDLE);
  if (const LONG error = CheckLineDevice(deviceId)) return error;
  const LineDevice& device = provider_->Line(deviceId);
  if (!entry->negotiated.Has(deviceId, apiVersion)) return Err(LINEERR_INCOMPATIBLEAPIVERSION);
  return NegotiateExt(device, low, high, extVersion, Err(LINEERR_OPERATIONUNAVAIL),
                      Err(LINEERR_INCOMPATIBLEEXTVERSION));
}

LONG Server::PhoneNegotiateExtVersion(HPHONEAPP app, DWORD deviceId, DWORD apiVersion, DWORD low,
                                      DWORD high, LPDWORD extVersion) {
  if (extVersion == nullptr) return Err(PHONEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  PhoneApp* entry = FindPhone(app);
  if (entry == nullptr) return Err(PHONEERR_INVALAPPHANDLE);
  if (const LONG error = CheckPhoneDevice(deviceId)) return error;
  const PhoneDevice& device = provider_->Phone(deviceId);
  if (!entry->negotiated.Has(deviceId, apiVersion)) return Err(PHONEERR_INCOMPATIBLEAPIVERSION);
  return NegotiateExt(device, low, high, extVersion, Err(PHONEERR_OPERATIONUNAVAIL),
                      Err(PHONEERR_INCOMPATIBLEEXTVERSION));
}

// --- capabilities --------------------------------------------------------------------------

LONG Server::LineGetDevCaps(HLINEAPP app, DWORD deviceId, DWORD apiVersion, DWORD extVersion,
                            LPLINEDEVCAPS caps) {
  if (caps == nullptr) return Err(LINEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  LineApp* entry = FindLine(app);
  if (entry == nullptr) return Err(LINEERR_INVALAPPHANDLE);
  if (const LONG error = CheckLineDevice(deviceId)) return error;
  const LineDevice& device = provider_->Line(deviceId);
  if (!entry->negotiated.Has(deviceId, apiVersion)) return Err(LINEERR_INCOMPATIBLEAPIVERSION);
  if (extVersion != 0 && !device.ExtVersions().Contains(extVersion)) {
    return Err(LINEERR_INCOMPATIBLEEXTVERSION);
  }

  LineCaps info = device.Caps();
  LINEDEVCAPS& local = info.fixed;
  local.dwTotalSize = caps->dwTotalSize;
  const DWORD fixedSize = LineCapsFixedSize(apiVersion);
  std::vector<VarField> fields;
  fields.push_back({info.providerInfo, {}, &local.dwProviderInfoSize, &local.dwProviderInfoOffset});
  fields.push_back({info.switchInfo, {}, &local.dwSwitchInfoSize, &local.dwSwitchInfoOffset});
  fields.push_back({info.lineName, {}, &local.dwLineNameSize, &local.dwLineNameOffset});
  local.dwTerminalCapsSize = local.dwTerminalCapsOffset = 0;
  local.dwTerminalTextSize = local.dwTerminalTextOffset = 0;
  if (apiVersion >= 0x00020000) {
    fields.push_back({MultiString(info.deviceClasses),
                      {},
                      &local.dwDeviceClassesSize,
                      &local.dwDeviceClassesOffset});
  }
  // Raw bytes last, so that an odd length cannot misalign the UTF-16 texts.
  fields.push_back({{}, info.devSpecific, &local.dwDevSpecificSize, &local.dwDevSpecificOffset});
  return AnswerStruct(local, fields, fixedSize, caps, LINEERR_STRUCTURETOOSMALL);
}

LONG Server::PhoneGetDevCaps(HPHONEAPP app, DWORD deviceId, DWORD apiVersion, DWORD extVersion,
                             LPPHONECAPS caps) {
  if (caps == nullptr) return Err(PHONEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  PhoneApp* entry = FindPhone(app);
  if (entry == nullptr) return Err(PHONEERR_INVALAPPHANDLE);
  if (const LONG error = CheckPhoneDevice(deviceId)) return error;
  const PhoneDevice& device = provider_->Phone(deviceId);
  if (!entry->negotiated.Has(deviceId, apiVersion)) return Err(PHONEERR_INCOMPATIBLEAPIVERSION);
  if (extVersion != 0 && !device.ExtVersions().Contains(extVersion)) {
    return Err(PHONEERR_INCOMPATIBLEEXTVERSION);
  }

  PhoneCaps info = device.Caps();
  PHONECAPS& local = info.fixed;
  local.dwTotalSize = caps->dwTotalSize;
  const DWORD fixedSize = PhoneCapsFixedSize(apiVersion);
  std::vector<VarField> fields;
  // The 32-bit button arrays first, so that they stay aligned after the fixed part.
  std::vector<DWORD> modes, functions, lamps;
  for (const PhoneButton& button : info.buttons) {
    modes.push_back(button.mode);
    functions.push_back(button.function);
    lamps.push_back(button.lampModes);
  }
  local.dwNumButtonLamps = static_cast<DWORD>(info.buttons.size());
  fields.push_back({{}, DwordBytes(modes), &local.dwButtonModesSize, &local.dwButtonModesOffset});
  fields.push_back(
      {{}, DwordBytes(functions), &local.dwButtonFunctionsSize, &local.dwButtonFunctionsOffset});
  fields.push_back({{}, DwordBytes(lamps), &local.dwLampModesSize, &local.dwLampModesOffset});
  fields.push_back({info.providerInfo, {}, &local.dwProviderInfoSize, &local.dwProviderInfoOffset});
  fields.push_back({info.phoneInfo, {}, &local.dwPhoneInfoSize, &local.dwPhoneInfoOffset});
  fields.push_back({info.phoneName, {}, &local.dwPhoneNameSize, &local.dwPhoneNameOffset});
  local.dwSetDataSize = local.dwSetDataOffset = 0;
  local.dwGetDataSize = local.dwGetDataOffset = 0;
  if (apiVersion >= 0x00020000) {
    fields.push_back({MultiString(info.deviceClasses),
                      {},
                      &local.dwDeviceClassesSize,
                      &local.dwDeviceClassesOffset});
  }
  // Raw bytes last, so that an odd length cannot misalign the UTF-16 texts.
  fields.push_back({{}, info.devSpecific, &local.dwDevSpecificSize, &local.dwDevSpecificOffset});
  return AnswerStruct(local, fields, fixedSize, caps, PHONEERR_STRUCTURETOOSMALL);
}

// --- assisted telephony ---------------------------------------------------------------------

LONG Server::LineRegisterRequestRecipient(HLINEAPP app, DWORD instance, DWORD requestMode,
                                          DWORD enable) {
  std::lock_guard lock(mutex_);
  LineApp* entry = FindLine(app);
  if (entry == nullptr) return Err(LINEERR_INVALAPPHANDLE);
  constexpr DWORD kModes = LINEREQUESTMODE_MAKECALL | LINEREQUESTMODE_MEDIACALL;
  if (requestMode == 0 || (requestMode & ~kModes) != 0) return Err(LINEERR_INVALREQUESTMODE);
  if (enable != 0) {
    entry->requestModes |= requestMode;
    if (requestMode & LINEREQUESTMODE_MAKECALL) entry->makeCallInstance = instance;
    if (requestMode & LINEREQUESTMODE_MEDIACALL) entry->mediaCallInstance = instance;
  } else {
    entry->requestModes &= ~requestMode;
    // Requests nobody will fetch any more are dropped with the registration.
    if (requestMode & LINEREQUESTMODE_MAKECALL) entry->makeCallRequests.Clear();
  }
  return 0;
}

LONG Server::LineGetRequest(HLINEAPP app, DWORD requestMode, LPVOID buffer) {
  if (buffer == nullptr) return Err(LINEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  LineApp* entry = FindLine(app);
  if (entry == nullptr) return Err(LINEERR_INVALAPPHANDLE);
  if (requestMode != LINEREQUESTMODE_MAKECALL && requestMode != LINEREQUESTMODE_MEDIACALL) {
    return Err(LINEERR_INVALREQUESTMODE);
  }
  if ((entry->requestModes & requestMode) == 0) return Err(LINEERR_NOTREGISTERED);
  if (requestMode == LINEREQUESTMODE_MEDIACALL) return Err(LINEERR_NOREQUEST);
  LINEREQMAKECALLW request;
  if (!entry->makeCallRequests.Pop(request)) return Err(LINEERR_NOREQUEST);
  std::memcpy(buffer, &request, sizeof(request));
  return 0;
}

namespace {

template <size_t N>
void CopyField(WCHAR (&field)[N], const std::u16string& text) {
  const size_t count = std::min(text.size(), N - 1);
  std::fill(std::begin(field), std::end(field), u'\0');
  std::copy_n(text.begin(), count, field);
}

}  // namespace

LONG Server::QueueMakeCallRequest(const std::u16string& destAddress, const std::u16string& appName,
                                  const std::u16string& calledParty,
                                  const std::u16string& comment) {
  std::lock_guard lock(mutex_);
  for (auto& [handle, entry] : lineApps_) {
    if ((entry->requestModes & LINEREQUESTMODE_MAKECALL) == 0) continue;
    LINEREQMAKECALLW request;
    CopyField(request.szDestAddress, destAddress);
    CopyField(request.szAppName, appName);
    CopyField(request.szCalledParty, calledParty);
    CopyField(request.szComment, comment);
    entry->makeCallRequests.Push(request);
    Post(*entry,
         LINEMESSAGE{0, LINE_REQUEST, entry->makeCallInstance, LINEREQUESTMODE_MAKECALL, 0, 0});
    return 0;
  }
  return Err(TAPIERR_NOREQUESTRECIPIENT);
}

// --- provider notifications -----------------------------------------------------------------

void Server::PostDeviceChange(const LINEMESSAGE& message, DWORD sinceVersion,
                              const std::optional<LINEMESSAGE>& older) {
  std::lock_guard lock(mutex_);
  for (auto& [handle, entry] : lineApps_) {
    if (entry->apiVersion >= sinceVersion) {
      Post(*entry, message);
    } else if (older) {
      Post(*entry, *older);
    }
  }
}

void Server::PostDeviceChange(const PHONEMESSAGE& message, DWORD sinceVersion,
                              const std::optional<PHONEMESSAGE>& older) {
  std::lock_guard lock(mutex_);
  for (auto& [handle, entry] : phoneApps_) {
    if (entry->apiVersion >= sinceVersion) {
      Post(*entry, message);
    } else if (older) {
      Post(*entry, *older);
    }
  }
}

// An application too old to know LINE_CREATE can only start afresh to see the new device.
void Server::LineCreated(DWORD deviceId) {
  PostDeviceChange(LINEMESSAGE{0, LINE_CREATE, 0, deviceId, 0, 0}, kCreateMessageVersion,
                   LINEMESSAGE{0, LINE_LINEDEVSTATE, 0, LINEDEVSTATE_REINIT, 0, 0});
}

void Server::LineRemoved(DWORD deviceId) {
  std::lock_guard lock(mutex_);
  EndOpensOf(deviceId, true);
  PostDeviceChange(LINEMESSAGE{0, LINE_REMOVE, 0, deviceId, 0, 0}, kRemoveMessageVersion,
                   std::nullopt);
}

// An application that has the line open hears of the change through each of its opens
// (hDevice = the line handle, the open's callback instance); the others get the application-wide
// form (hDevice = the device ID, callback instance 0). The change cannot be masked off.
void Server::LineCapsChanged(DWORD deviceId) {
  std::lock_guard lock(mutex_);
  std::set<const LineApp*> informed;
  auto it = opensByDevice_.find(deviceId);
  if (it != opensByDevice_.end()) {
    for (OpenEntry* open : it->second) {
      PostToOpen(*open, open->handle, LINE_LINEDEVSTATE, LINEDEVSTATE_CAPSCHANGE, 0, 0);
      informed.insert(open->app);
    }
  }
  for (auto& [handle, entry] : lineApps_) {
    if (informed.contains(entry.get())) continue;
    Post(*entry, LINEMESSAGE{deviceId, LINE_LINEDEVSTATE, 0, LINEDEVSTATE_CAPSCHANGE, 0, 0});
  }
}

void Server::PhoneCreated(DWORD deviceId) {
  PostDeviceChange(PHONEMESSAGE{0, PHONE_CREATE, 0, deviceId, 0, 0}, kCreateMessageVersion,
                   PHONEMESSAGE{0, PHONE_STATE, 0, PHONESTATE_REINIT, 0, 0});
}

// The opens end first (older ones hear PHONESTATE_REMOVED before their PHONE_CLOSE).
void Server::PhoneRemoved(DWORD deviceId) {
  std::lock_guard lock(mutex_);
  EndPhoneOpensOf(deviceId, true);
  PostDeviceChange(PHONEMESSAGE{0, PHONE_REMOVE, 0, deviceId, 0, 0}, kRemoveMessageVersion,
                   std::nullopt);
}

// As for lines: through each open of the phone, the application-wide form to the others.
void Server::PhoneCapsChanged(DWORD deviceId) {
  std::lock_guard lock(mutex_);
  std::set<const PhoneApp*> informed;
  auto it = phoneOpensByDevice_.find(deviceId);
  if (it != phoneOpensByDevice_.end()) {
    for (PhoneOpenEntry* open : it->second) {
      PostToPhoneOpen(*open, PHONE_STATE, PHONESTATE_CAPSCHANGE, 0, 0);
      informed.insert(open->app);
    }
  }
  for (auto& [handle, entry] : phoneApps_) {
    if (informed.contains(entry.get())) continue;
    Post(*entry, PHONEMESSAGE{deviceId, PHONE_STATE, 0, PHONESTATE_CAPSCHANGE, 0, 0});
  }
}

void Server::Reinit() {
  BroadcastLineMessage(LINEMESSAGE{0, LINE_LINEDEVSTATE, 0, LINEDEVSTATE_REINIT, 0, 0});
  BroadcastPhoneMessage(PHONEMESSAGE{0, PHONE_STATE, 0, PHONESTATE_REINIT, 0, 0});
}

}  // namespace tapi32
