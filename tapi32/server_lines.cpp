// The runtime's line opens: lineOpenW / lineClose, status-message masks, line and address
// status and capabilities, and the line-wide notifications of the provider.
#include <algorithm>
#include <cstring>

#include "tapi32/device_class.h"
#include "tapi32/server.h"
#include "tapi32/var_struct.h"

namespace tapi32 {

namespace {

DWORD TextBytes(const std::u16string& text) {
  return text.empty() ? 0 : static_cast<DWORD>((text.size() + 1) * sizeof(char16_t));
}

// The LINEFORWARD entries of an address status whose array starts at `at`; the texts follow the
// array in entry order, caller before destination (ForwardTexts).
std::vector<uint8_t> ForwardArray(const std::vector<ForwardEntry>& entries, DWORD at) {
  std::vector<uint8_t> out(entries.size() * sizeof(LINEFORWARD));
  DWORD text = at + static_cast<DWORD>(out.size());
  auto place = [&text](const std::u16string& value, DWORD& size, DWORD& offset) {
    size = TextBytes(value);
    offset = size != 0 ? text : 0;
    text += size;
  };
  for (size_t i = 0; i < entries.size(); ++i) {
    LINEFORWARD entry{};
    entry.dwForwardMode = entries[i].mode;
    entry.dwDestCountryCode = entries[i].destCountryCode;
    place(entries[i].callerAddress, entry.dwCallerAddressSize, entry.dwCallerAddressOffset);
    place(entries[i].destAddress, entry.dwDestAddressSize, entry.dwDestAddressOffset);
    std::memcpy(out.data() + i * sizeof(LINEFORWARD), &entry, sizeof(entry));
  }
  return out;
}

std::vector<uint8_t> ForwardTexts(const std::vector<ForwardEntry>& entries) {
  std::vector<uint8_t> out;
  auto append = [&out](const std::u16string& value) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(value.c_str());
    out.insert(out.end(), bytes, bytes + TextBytes(value));
  };
  for (const ForwardEntry& entry : entries) {
    append(entry.callerAddress);
    append(entry.destAddress);
  }
  return out;
}

constexpr DWORD kAllMediaModes = 0xFFFE;  // LINEMEDIAMODE_UNKNOWN .. LINEMEDIAMODE_VIDEO
constexpr DWORD kOpenOptions = LINEOPENOPTION_SINGLEADDRESS | LINEOPENOPTION_PROXY;

bool ValidPrivileges(DWORD privileges) {
  if (privileges == LINECALLPRIVILEGE_NONE) return true;
  return privileges != 0 &&
         (privileges & ~(LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER)) == 0;
}

// Fixed part of LINEADDRESSCAPS and LINEDEVSTATUS as each API version defines it.
DWORD AddressCapsFixedSize(DWORD apiVersion) {
  return apiVersion < 0x00020000 ? offsetof(LINEADDRESSCAPS, dwPredictiveAutoTransferStates)
                                 : sizeof(LINEADDRESSCAPS);
}

DWORD DevStatusFixedSize(DWORD apiVersion) {
  return apiVersion < 0x00020000 ? offsetof(LINEDEVSTATUS, dwAvailableMediaModes)
                                 : sizeof(LINEDEVSTATUS);
}

}  // namespace

// TAPI takes any version both it and the device support; an application normally passes the
// one it negotiated, but need not have negotiated with this very device before.
bool Server::UsableVersion(const LineApp& app, DWORD deviceId, const LineDevice& device,
                           DWORD apiVersion) {
  if (app.negotiated.Has(deviceId, apiVersion)) return true;
  return apiVersion >= kLowestApiVersion && apiVersion <= kHighestApiVersion &&
         device.ApiVersions().Contains(apiVersion);
}

Server::OpenEntry* Server::FindOpen(HLINE handle) {
  auto it = lineOpens_.find(handle);
  return it == lineOpens_.end() ? nullptr : it->second.get();
}

void Server::PostToOpen(OpenEntry& open, DWORD hDevice, DWORD message, DWORD p1, DWORD p2,
                        DWORD p3) {
  Post(*open.app, LINEMESSAGE{hDevice, message, open.callbackInstance, p1, p2, p3});
}

std::vector<HLINE> Server::OpensOf(DWORD deviceId) const {
  std::lock_guard lock(mutex_);
  std::vector<HLINE> out;
  auto it = opensByDevice_.find(deviceId);
  if (it != opensByDevice_.end()) {
    for (const OpenEntry* open : it->second)
      out.push_back(open->handle);
  }
  return out;
}

LONG Server::LineOpen(HLINEAPP app, DWORD deviceId, LPHLINE line, DWORD apiVersion,
                      DWORD extVersion, DWORD callbackInstance, DWORD privileges, DWORD mediaModes,
                      const LINECALLPARAMS*) {
  if (line == nullptr) return Err(LINEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  LineApp* entry = FindLine(app);
  if (entry == nullptr) return Err(LINEERR_INVALAPPHANDLE);
  if (const LONG error = CheckLineDevice(deviceId)) return error;
  const LineDevice& device = provider_->Line(deviceId);
  if (!UsableVersion(*entry, deviceId, device, apiVersion)) {
    return Err(LINEERR_INCOMPATIBLEAPIVERSION);
  }
  if (extVersion != 0 && !device.ExtVersions().Contains(extVersion)) {
    return Err(LINEERR_INCOMPATIBLEEXTVERSION);
  }
  // Single-address and proxy opens need provider support this runtime does not offer.
  if ((privileges & kOpenOptions) != 0 || !ValidPrivileges(privileges)) {
    return Err(LINEERR_INVALPRIVSELECT);
  }
  const bool owner = (privileges & LINECALLPRIVILEGE_OWNER) != 0;
  if (owner) {
    // An owner must name the media modes it handles, and the device must support them
    // (UNKNOWN stands for calls whose media mode is not known yet).
    const DWORD supported = device.Caps().fixed.dwMediaModes | LINEMEDIAMODE_UNKNOWN;
    if (mediaModes == 0 || (mediaModes & ~kAllMediaModes) != 0 || (mediaModes & ~supported) != 0) {
      return Err(LINEERR_INVALMEDIAMODE);
    }
  }
  if (const LONG refused = device.OpenResult(privileges, mediaModes); refused != 0) {
    return refused;
  }

  auto created = std::make_unique<OpenEntry>();
  OpenEntry& open = *created;
  open.handle = NewHandle();
  open.app = entry;
  open.deviceId = deviceId;
  open.callbackInstance = callbackInstance;
  open.privileges = privileges;
  open.mediaModes = owner ? mediaModes : 0;
  open.apiVersion = apiVersion;
  open.extVersion = extVersion;
  lineOpens_.emplace(open.handle, std::move(created));
  auto& siblings = opensByDevice_[deviceId];
  for (OpenEntry* other : siblings) {
    if (other->lineStates & LINEDEVSTATE_OPEN) {
      PostToOpen(*other, other->handle, LINE_LINEDEVSTATE, LINEDEVSTATE_OPEN, 0, 0);
    }
  }
  siblings.push_back(&open);
  entry->opens.insert(open.handle);

  // The calls already on the line get no handles now: lineGetNewCalls hands them out, or, to a
  // monitor, their next state change.
  if (privileges & LINECALLPRIVILEGE_MONITOR) {
    const std::vector<DWORD> live = device.LiveCalls();
    open.unannounced.insert(live.begin(), live.end());
  }
  *line = open.handle;
  return 0;
}

LONG Server::LineClose(HLINE line) {
  std::lock_guard lock(mutex_);
  if (FindOpen(line) == nullptr) return Err(LINEERR_INVALLINEHANDLE);
  EndOpen(line, true, true);
  return 0;
}

void Server::EndOpen(HLINE handle, bool closeDrop, bool notifyOthers) {
  auto it = lineOpens_.find(handle);
  if (it == lineOpens_.end()) return;
  std::unique_ptr<OpenEntry> open = std::move(it->second);
  lineOpens_.erase(it);

  std::vector<std::pair<DWORD, bool>> touched;  // call ID, whether its last owner left
  const std::set<HCALL> calls = open->calls;
  for (HCALL call : calls) {
    const DWORD callId = callHandles_.at(call).callId;
    touched.emplace_back(callId, RemoveCallHandle(call));
  }
  auto& siblings = opensByDevice_[open->deviceId];
  siblings.erase(std::find(siblings.begin(), siblings.end(), open.get()));
  if (siblings.empty()) opensByDevice_.erase(open->deviceId);
  open->app->opens.erase(handle);
  if (notifyOthers) {
    auto others = opensByDevice_.find(open->deviceId);
    if (others != opensByDevice_.end()) {
      for (OpenEntry* other : others->second) {
        if (other->lineStates & LINEDEVSTATE_CLOSE) {
          PostToOpen(*other, other->handle, LINE_LINEDEVSTATE, LINEDEVSTATE_CLOSE, 0, 0);
        }
      }
    }
  }
  if (provider_ == nullptr) return;
  for (const auto& [callId, lastOwner] : touched) {
    // A device with LINEDEVCAPFLAGS_CLOSEDROP drops the calls nobody owns any more.
    if (closeDrop && lastOwner) provider_->LastOwnerGone(callId);
    if (!CallHasHandles(callId)) provider_->CallReleased(callId);
  }
}

void Server::DiscardLines() {
  std::lock_guard lock(mutex_);
  for (auto& [handle, app] : lineApps_)
    app->opens.clear();
  lineOpens_.clear();
  opensByDevice_.clear();
  callHandles_.clear();
  for (const auto& [callId, views] : callViews_) {
    if (const CallData* call = ProviderCall(callId)) call->holders.Set(nullptr);
  }
  callViews_.clear();
  gatherings_.clear();
  silences_.clear();
  requests_.clear();
  replyModes_.Clear();
  std::lock_guard timerLock(timerMutex_);
  timers_.clear();
}

// --- status messages -------------------------------------------------------------------------

LONG Server::LineSetStatusMessages(HLINE line, DWORD lineStates, DWORD addressStates) {
  std::lock_guard lock(mutex_);
  OpenEntry* open = FindOpen(line);
  if (open == nullptr) return Err(LINEERR_INVALLINEHANDLE);
  const LineDevice& device = provider_->Line(open->deviceId);
  if ((lineStates & ~device.Caps().fixed.dwLineStates) != 0) return Err(LINEERR_INVALLINESTATE);
  if ((addressStates & ~device.AddressCapsOf(0).fixed.dwAddressStates) != 0) {
    return Err(LINEERR_INVALADDRESSSTATE);
  }
  open->lineStates = lineStates;
  open->addressStates = addressStates;
  return 0;
}

LONG Server::LineGetStatusMessages(HLINE line, LPDWORD lineStates, LPDWORD addressStates) {
  if (lineStates == nullptr || addressStates == nullptr) return Err(LINEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  const OpenEntry* open = FindOpen(line);
  if (open == nullptr) return Err(LINEERR_INVALLINEHANDLE);
  *lineStates = open->lineStates;
  *addressStates = open->addressStates;
  return 0;
}

// --- status and capabilities -----------------------------------------------------------------

LONG Server::LineGetLineDevStatus(HLINE line, LPLINEDEVSTATUS status) {
  if (status == nullptr) return Err(LINEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  const OpenEntry* open = FindOpen(line);
  if (open == nullptr) return Err(LINEERR_INVALLINEHANDLE);
  const DWORD fixedSize = DevStatusFixedSize(open->apiVersion);
  if (status->dwTotalSize < fixedSize) {
    if (status->dwTotalSize >= offsetof(LINEDEVSTATUS, dwUsedSize)) {
      status->dwNeededSize = fixedSize;
    }
    return Err(LINEERR_STRUCTURETOOSMALL);
  }
  LINEDEVSTATUS local = provider_->Line(open->deviceId).Status();
  local.dwTotalSize = status->dwTotalSize;
  local.dwNumOpens = 0;
  local.dwOpenMediaModes = 0;
  for (const OpenEntry* each : opensByDevice_.at(open->deviceId)) {
    ++local.dwNumOpens;
    local.dwOpenMediaModes |= each->mediaModes;
  }
  std::vector<VarField> fields;
  fields.push_back({{}, {}, &local.dwTerminalModesSize, &local.dwTerminalModesOffset});
  fields.push_back({{}, {}, &local.dwDevSpecificSize, &local.dwDevSpecificOffset});
  if (open->apiVersion >= 0x00020000) {
    fields.push_back({{}, {}, &local.dwAppInfoSize, &local.dwAppInfoOffset});
  }
  WriteCaps(local, fields, fixedSize, status);
  return 0;
}

LONG Server::LineGetAddressCaps(HLINEAPP app, DWORD deviceId, DWORD addressId, DWORD apiVersion,
                                DWORD extVersion, LPLINEADDRESSCAPS caps) {
  if (caps == nullptr) return Err(LINEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  LineApp* entry = FindLine(app);
  if (entry == nullptr) return Err(LINEERR_INVALAPPHANDLE);
  if (const LONG error = CheckLineDevice(deviceId)) return error;
  const LineDevice& device = provider_->Line(deviceId);
  if (!UsableVersion(*entry, deviceId, device, apiVersion)) {
    return Err(LINEERR_INCOMPATIBLEAPIVERSION);
  }
  if (extVersion != 0 && !device.ExtVersions().Contains(extVersion)) {
    return Err(LINEERR_INCOMPATIBLEEXTVERSION);
  }
  if (addressId >= device.Caps().fixed.dwNumAddresses) return Err(LINEERR_INVALADDRESSID);

  AddressCaps info = device.AddressCapsOf(addressId);
  LINEADDRESSCAPS& local = info.fixed;
  local.dwTotalSize = caps->dwTotalSize;
  local.dwLineDeviceID = deviceId;
  const DWORD fixedSize = AddressCapsFixedSize(apiVersion);
  std::vector<VarField> fields;
  fields.push_back({info.address, {}, &local.dwAddressSize, &local.dwAddressOffset});
  local.dwCompletionMsgTextSize = local.dwCompletionMsgTextOffset = 0;
  if (apiVersion >= 0x00020000) {
    local.dwCallTreatmentListSize = local.dwCallTreatmentListOffset = 0;
    fields.push_back({MultiString(info.deviceClasses),
                      {},
                      &local.dwDeviceClassesSize,
                      &local.dwDeviceClassesOffset});
  }
  fields.push_back({{}, {}, &local.dwDevSpecificSize, &local.dwDevSpecificOffset});
  return AnswerStruct(local, fields, fixedSize, caps, LINEERR_STRUCTURETOOSMALL);
}

LONG Server::LineGetAddressStatus(HLINE line, DWORD addressId, LPLINEADDRESSSTATUS status) {
  if (status == nullptr) return Err(LINEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  const OpenEntry* open = FindOpen(line);
  if (open == nullptr) return Err(LINEERR_INVALLINEHANDLE);
  const LineDevice& device = provider_->Line(open->deviceId);
  if (addressId >= device.Caps().fixed.dwNumAddresses) return Err(LINEERR_INVALADDRESSID);
  if (status->dwTotalSize < sizeof(LINEADDRESSSTATUS)) {
    if (status->dwTotalSize >= offsetof(LINEADDRESSSTATUS, dwUsedSize)) {
      status->dwNeededSize = sizeof(LINEADDRESSSTATUS);
    }
    return Err(LINEERR_STRUCTURETOOSMALL);
  }
  LINEADDRESSSTATUS local = device.AddressStatusOf(addressId);
  local.dwTotalSize = status->dwTotalSize;
  const std::vector<ForwardEntry> forwarding = device.ForwardingOf(addressId);
  local.dwForwardNumEntries = static_cast<DWORD>(forwarding.size());
  // The LINEFORWARD array comes first in the variable part, its texts right behind it; their
  // offsets count from the start of the structure, like every offset in it.
  DWORD textsSize = 0;
  DWORD textsOffset = 0;
  std::vector<VarField> fields;
  fields.push_back({{},
                    ForwardArray(forwarding, sizeof(LINEADDRESSSTATUS)),
                    &local.dwForwardSize,
                    &local.dwForwardOffset});
  fields.push_back({{}, ForwardTexts(forwarding), &textsSize, &textsOffset});
  fields.push_back({{}, {}, &local.dwTerminalModesSize, &local.dwTerminalModesOffset});
  fields.push_back({{}, {}, &local.dwDevSpecificSize, &local.dwDevSpecificOffset});
  WriteCaps(local, fields, sizeof(LINEADDRESSSTATUS), status);
  return 0;
}

LONG Server::LineGetIcon(DWORD deviceId, LPCWSTR deviceClass, LPHICON icon) {
  if (icon == nullptr) return Err(LINEERR_INVALPOINTER);
  std::lock_guard lock(mutex_);
  if (const LONG error = CheckLineDevice(deviceId)) return error;
  const LineDevice& device = provider_->Line(deviceId);
  if (!KnownClass(deviceClass, u"tapi/line", device.Caps().deviceClasses)) {
    return Err(LINEERR_INVALDEVICECLASS);
  }
  *icon = device.Icon();
  return 0;
}

// --- notifications from the provider -----------------------------------------------------------

void Server::LineClosed(DWORD deviceId) {
  std::lock_guard lock(mutex_);
  EndOpensOf(deviceId, false);
}

void Server::EndOpensOf(DWORD deviceId, bool removed) {
  for (HLINE handle : OpensOf(deviceId)) {
    OpenEntry& open = *lineOpens_.at(handle);
    if (removed && open.apiVersion < kRemoveMessageVersion) {
      PostToOpen(open, handle, LINE_LINEDEVSTATE, LINEDEVSTATE_REMOVED, 0, 0);
    }
    PostToOpen(open, handle, LINE_CLOSE, 0, 0, 0);
    EndOpen(handle, false, false);
  }
}

void Server::LineStateChanged(DWORD deviceId, DWORD state, DWORD param2, DWORD param3) {
  std::lock_guard lock(mutex_);
  auto it = opensByDevice_.find(deviceId);
  if (it == opensByDevice_.end()) return;
  for (OpenEntry* open : it->second) {
    if (open->lineStates & state) {
      PostToOpen(*open, open->handle, LINE_LINEDEVSTATE, state & open->lineStates, param2, param3);
    }
  }
}

void Server::AddressStateChanged(DWORD deviceId, DWORD addressId, DWORD state) {
  std::lock_guard lock(mutex_);
  auto it = opensByDevice_.find(deviceId);
  if (it == opensByDevice_.end()) return;
  for (OpenEntry* open : it->second) {
    if (open->addressStates & state) {
      PostToOpen(*open, open->handle, LINE_ADDRESSSTATE, addressId, state & open->addressStates, 0);
    }
  }
}

}  // namespace tapi32
