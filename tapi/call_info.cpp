#include "tapi/call_info.h"

#include <cstddef>

#include "tapi/errors.h"
#include "tapi32/tapi.h"

namespace zvtapi {

namespace {

// Field offsets by property index: the structure's fields from dwLineDeviceID on, without the
// embedded dial parameters.
constexpr Cardinal CallInfoFields[] = {
    offsetof(::LINECALLINFO, dwLineDeviceID),
    offsetof(::LINECALLINFO, dwAddressID),
    offsetof(::LINECALLINFO, dwBearerMode),
    offsetof(::LINECALLINFO, dwRate),
    offsetof(::LINECALLINFO, dwMediaMode),
    offsetof(::LINECALLINFO, dwAppSpecific),
    offsetof(::LINECALLINFO, dwCallID),
    offsetof(::LINECALLINFO, dwRelatedCallID),
    offsetof(::LINECALLINFO, dwCallParamFlags),
    offsetof(::LINECALLINFO, dwCallStates),
    offsetof(::LINECALLINFO, dwMonitorDigitModes),
    offsetof(::LINECALLINFO, dwMonitorMediaModes),
    offsetof(::LINECALLINFO, dwOrigin),
    offsetof(::LINECALLINFO, dwReason),
    offsetof(::LINECALLINFO, dwCompletionID),
    offsetof(::LINECALLINFO, dwNumOwners),
    offsetof(::LINECALLINFO, dwNumMonitors),
    offsetof(::LINECALLINFO, dwCountryCode),
    offsetof(::LINECALLINFO, dwTrunk),
    offsetof(::LINECALLINFO, dwCallerIDFlags),
    offsetof(::LINECALLINFO, dwCallerIDSize),
    offsetof(::LINECALLINFO, dwCallerIDOffset),
    offsetof(::LINECALLINFO, dwCallerIDNameSize),
    offsetof(::LINECALLINFO, dwCallerIDNameOffset),
    offsetof(::LINECALLINFO, dwCalledIDFlags),
    offsetof(::LINECALLINFO, dwCalledIDSize),
    offsetof(::LINECALLINFO, dwCalledIDOffset),
    offsetof(::LINECALLINFO, dwCalledIDNameSize),
    offsetof(::LINECALLINFO, dwCalledIDNameOffset),
    offsetof(::LINECALLINFO, dwConnectedIDFlags),
    offsetof(::LINECALLINFO, dwConnectedIDSize),
    offsetof(::LINECALLINFO, dwConnectedIDOffset),
    offsetof(::LINECALLINFO, dwConnectedIDNameSize),
    offsetof(::LINECALLINFO, dwConnectedIDNameOffset),
    offsetof(::LINECALLINFO, dwRedirectionIDFlags),
    offsetof(::LINECALLINFO, dwRedirectionIDSize),
    offsetof(::LINECALLINFO, dwRedirectionIDOffset),
    offsetof(::LINECALLINFO, dwRedirectionIDNameSize),
    offsetof(::LINECALLINFO, dwRedirectionIDNameOffset),
    offsetof(::LINECALLINFO, dwRedirectingIDFlags),
    offsetof(::LINECALLINFO, dwRedirectingIDSize),
    offsetof(::LINECALLINFO, dwRedirectingIDOffset),
    offsetof(::LINECALLINFO, dwRedirectingIDNameSize),
    offsetof(::LINECALLINFO, dwRedirectingIDNameOffset),
    offsetof(::LINECALLINFO, dwAppNameSize),
    offsetof(::LINECALLINFO, dwAppNameOffset),
    offsetof(::LINECALLINFO, dwDisplayableAddressSize),
    offsetof(::LINECALLINFO, dwDisplayableAddressOffset),
    offsetof(::LINECALLINFO, dwCalledPartySize),
    offsetof(::LINECALLINFO, dwCalledPartyOffset),
    offsetof(::LINECALLINFO, dwCommentSize),
    offsetof(::LINECALLINFO, dwCommentOffset),
    offsetof(::LINECALLINFO, dwDisplaySize),
    offsetof(::LINECALLINFO, dwDisplayOffset),
    offsetof(::LINECALLINFO, dwUserUserInfoSize),
    offsetof(::LINECALLINFO, dwUserUserInfoOffset),
    offsetof(::LINECALLINFO, dwHighLevelCompSize),
    offsetof(::LINECALLINFO, dwHighLevelCompOffset),
    offsetof(::LINECALLINFO, dwLowLevelCompSize),
    offsetof(::LINECALLINFO, dwLowLevelCompOffset),
    offsetof(::LINECALLINFO, dwChargingInfoSize),
    offsetof(::LINECALLINFO, dwChargingInfoOffset),
    offsetof(::LINECALLINFO, dwTerminalModesSize),
    offsetof(::LINECALLINFO, dwTerminalModesOffset),
    offsetof(::LINECALLINFO, dwDevSpecificSize),
    offsetof(::LINECALLINFO, dwDevSpecificOffset),
    offsetof(::LINECALLINFO, dwCallTreatment),
    offsetof(::LINECALLINFO, dwCallDataSize),
    offsetof(::LINECALLINFO, dwCallDataOffset),
    offsetof(::LINECALLINFO, dwSendingFlowspecSize),
    offsetof(::LINECALLINFO, dwSendingFlowspecOffset),
    offsetof(::LINECALLINFO, dwReceivingFlowspecSize),
    offsetof(::LINECALLINFO, dwReceivingFlowspecOffset),
};
static_assert(std::size(CallInfoFields) == 73);

// The size fields of the texts, by GetString index.
constexpr Cardinal CallInfoStrings[] = {
    offsetof(::LINECALLINFO, dwCallerIDSize),
    offsetof(::LINECALLINFO, dwCallerIDNameSize),
    offsetof(::LINECALLINFO, dwCalledIDSize),
    offsetof(::LINECALLINFO, dwCalledIDNameSize),
    offsetof(::LINECALLINFO, dwConnectedIDSize),
    offsetof(::LINECALLINFO, dwConnectedIDNameSize),
    offsetof(::LINECALLINFO, dwRedirectionIDSize),
    offsetof(::LINECALLINFO, dwRedirectionIDNameSize),
    offsetof(::LINECALLINFO, dwRedirectingIDSize),
    offsetof(::LINECALLINFO, dwRedirectingIDNameSize),
    offsetof(::LINECALLINFO, dwAppNameSize),
    offsetof(::LINECALLINFO, dwDisplayableAddressSize),
    offsetof(::LINECALLINFO, dwCalledPartySize),
    offsetof(::LINECALLINFO, dwCommentSize),
    offsetof(::LINECALLINFO, dwDisplaySize),
    offsetof(::LINECALLINFO, dwUserUserInfoSize),
    offsetof(::LINECALLINFO, dwHighLevelCompSize),
    offsetof(::LINECALLINFO, dwLowLevelCompSize),
    offsetof(::LINECALLINFO, dwChargingInfoSize),
    offsetof(::LINECALLINFO, dwTerminalModesSize),
    offsetof(::LINECALLINFO, dwDevSpecificSize),
};
static_assert(std::size(CallInfoStrings) == 21);

constexpr Cardinal CallStatusFields[] = {
    offsetof(::LINECALLSTATUS, dwCallState),       offsetof(::LINECALLSTATUS, dwCallStateMode),
    offsetof(::LINECALLSTATUS, dwCallPrivilege),   offsetof(::LINECALLSTATUS, dwCallFeatures),
    offsetof(::LINECALLSTATUS, dwDevSpecificSize), offsetof(::LINECALLSTATUS, dwDevSpecificOffset),
    offsetof(::LINECALLSTATUS, dwCallFeatures2),
};
static_assert(std::size(CallStatusFields) == 7);

template <class Array>
bool InRange(Integer index, const Array& fields) {
  return index >= 0 && static_cast<size_t>(index) < std::size(fields);
}

// Per party selector: the size fields of its number and name and its flags field.
struct TPartyFields {
  Integer address, name, flags;  // GetString, GetString, GetDWORD indices
};
constexpr TPartyFields PartyFields[] = {
    {0, 1, 19},  // caller
    {2, 3, 24},  // called
    {4, 5, 29},  // connected
    {6, 7, 34},  // redirection
    {8, 9, 39},  // redirecting
};

// BLOCKED, NAME, ADDRESS or PARTIAL: something is known about the party, if only that it hides.
constexpr Cardinal PartyInfoMask = LINECALLPARTYID_BLOCKED | LINECALLPARTYID_NAME |
                                   LINECALLPARTYID_ADDRESS | LINECALLPARTYID_PARTIAL;

}  // namespace

// --- TzvTapiCallCache ----------------------------------------------------------------------

TzvTapiCallCache::TzvTapiCallCache(TzvTapiCallAccess* AOwner, Cardinal initialSize)
    : TzvTapiStructCache(initialSize), FCall(AOwner) {
  ZV_ASSERT(FCall != nullptr);
}

// Refreshing a call cache only fills an empty one; the call drops the cache itself whenever TAPI
// reports a change, so a cached structure is current.
void TzvTapiCallCache::Update() {
  const Cardinal result = UpdateData();
  if (IsTapiError(result)) RaiseTapiError(result);
}

bool TzvTapiCallCache::Fetched() {
  const Cardinal result = UpdateData();
  if (result == 0) return true;
  if (!FFailureTold && result != LINEERR_INVALCALLHANDLE) {
    FFailureTold = true;
    FCall->FetchFailed(result);
  }
  return false;
}

void TzvTapiCallCache::Filled() {
  FFailureTold = false;
  FCall->CacheFilled();
}

// --- TzvTapiCallInfo -----------------------------------------------------------------------

TzvTapiCallInfo::TzvTapiCallInfo(TzvTapiCallAccess* AOwner)
    : TzvTapiCallCache(AOwner, sizeof(::LINECALLINFO)) {}

int32_t TzvTapiCallInfo::Query(void* structure) {
  return lineGetCallInfoW(FCall->Handle(), static_cast<::LINECALLINFO*>(structure));
}

Cardinal TzvTapiCallInfo::GetDWORD(Integer Index) {
  if (!Fetched()) return 0;
  ZV_ASSERT_MSG(InRange(Index, CallInfoFields), "TzvTapiCallInfo.GetDWORD failed! Invalid index");
  return ReadDWORD(CallInfoFields[Index]);
}

std::string TzvTapiCallInfo::GetString(Integer Index) {
  if (!Fetched()) return {};
  ZV_ASSERT_MSG(InRange(Index, CallInfoStrings), "TzvTapiCallInfo.GetString failed! Invalid index");
  return ReadString(CallInfoStrings[Index]);
}

const ::LINECALLINFO* TzvTapiCallInfo::LINECALLINFO() {
  return Fetched() ? FetchedAs<::LINECALLINFO>() : nullptr;
}

const void* TzvTapiCallInfo::CallData() {
  if (!Fetched()) return nullptr;
  const TTapiStruct& buffer = Buffer();
  const Cardinal size = buffer.GetDWORD(offsetof(::LINECALLINFO, dwCallDataSize));
  const Cardinal offset = buffer.GetDWORD(offsetof(::LINECALLINFO, dwCallDataOffset));
  if (size == 0 || offset == 0) return nullptr;
  // A block that reaches past what TAPI returned would hand out bytes nobody filled.
  if (offset < TapiStructHeaderSize || uint64_t{offset} + size > buffer.Limit()) return nullptr;
  return buffer.Bytes() + offset;
}

// --- TzvTapiCallStatus ---------------------------------------------------------------------

TzvTapiCallStatus::TzvTapiCallStatus(TzvTapiCallAccess* AOwner)
    : TzvTapiCallCache(AOwner, sizeof(::LINECALLSTATUS)) {}

int32_t TzvTapiCallStatus::Query(void* structure) {
  return lineGetCallStatus(FCall->Handle(), static_cast<::LINECALLSTATUS*>(structure));
}

Cardinal TzvTapiCallStatus::GetDWORD(Integer Index) {
  if (!Fetched()) return 0;
  ZV_ASSERT_MSG(InRange(Index, CallStatusFields),
                "TzvTapiCallStatus.GetDWORD failed! Invalid index");
  return ReadDWORD(CallStatusFields[Index]);
}

const ::LINECALLSTATUS* TzvTapiCallStatus::LINECALLSTATUS() {
  return Fetched() ? FetchedAs<::LINECALLSTATUS>() : nullptr;
}

// --- Party identification ------------------------------------------------------------------

TzvTapiCallBasicPartyID::TzvTapiCallBasicPartyID(TzvTapiCallAccess* AOwner) : FOwner(AOwner) {
  ZV_ASSERT(FOwner != nullptr);
}

TzvTapiCallPartyID::TzvTapiCallPartyID(TzvTapiCallAccess* AOwner, uint8_t AID)
    : TzvTapiCallBasicPartyID(AOwner), FID(AID) {}

namespace {

// The owner's information, once the party selector has been checked.
TzvTapiCallInfo& PartyInfo(TzvTapiCallAccess* owner, uint8_t id) {
  ZV_ASSERT(owner != nullptr && owner->Info() != nullptr);
  ZV_ASSERT_MSG(id < std::size(PartyFields), "TzvTapiCallPartyID: Invalid Id");
  return *owner->Info();
}

}  // namespace

std::string TzvTapiCallPartyID::GetAddress() {
  TzvTapiCallInfo& info = PartyInfo(FOwner, FID);
  return info.GetString(PartyFields[FID].address);
}

Cardinal TzvTapiCallPartyID::GetFlags() {
  TzvTapiCallInfo& info = PartyInfo(FOwner, FID);
  return info.GetDWORD(PartyFields[FID].flags);
}

std::string TzvTapiCallPartyID::GetName() {
  TzvTapiCallInfo& info = PartyInfo(FOwner, FID);
  return info.GetString(PartyFields[FID].name);
}

bool TzvTapiCallPartyID::HasPartyInfo(TzvTapiCallPartyID* Party) {
  return Party != nullptr && (Party->Flags() & PartyInfoMask) != 0;
}

TzvTapiCallRemoteID::TzvTapiCallRemoteID(TzvTapiCallAccess* AOwner)
    : TzvTapiCallBasicPartyID(AOwner),
      FCaller(AOwner, 0),
      FCalled(AOwner, 1),
      FConnected(AOwner, 2) {}

TzvTapiCallPartyID* TzvTapiCallRemoteID::SelectParty() {
  ZV_ASSERT(FOwner != nullptr && FOwner->Info() != nullptr);
  switch (FOwner->State()) {
    case LINECALLSTATE_OFFERING:
    case LINECALLSTATE_ACCEPTED:
      return &FCaller;
    case LINECALLSTATE_DIALING:
    case LINECALLSTATE_RINGBACK:
    case LINECALLSTATE_BUSY:
    case LINECALLSTATE_PROCEEDING:
      return &FCalled;
    case LINECALLSTATE_SPECIALINFO:
    case LINECALLSTATE_CONNECTED:
    case LINECALLSTATE_ONHOLD:
    case LINECALLSTATE_CONFERENCED:
    case LINECALLSTATE_ONHOLDPENDCONF:
    case LINECALLSTATE_ONHOLDPENDTRANSFER:
    case LINECALLSTATE_DISCONNECTED:
    case LINECALLSTATE_UNKNOWN:
      if (TzvTapiCallPartyID::HasPartyInfo(&FConnected)) return &FConnected;
      if (FOwner->IsIncoming() && TzvTapiCallPartyID::HasPartyInfo(&FCaller)) return &FCaller;
      if (FOwner->IsOutgoing() && TzvTapiCallPartyID::HasPartyInfo(&FCalled)) return &FCalled;
      return nullptr;
    case LINECALLSTATE_IDLE:
      // The call is over: who it was with follows from its history.
      if (FOwner->WasConnected() && TzvTapiCallPartyID::HasPartyInfo(&FConnected)) {
        return &FConnected;
      }
      if (FOwner->WasIncoming() && TzvTapiCallPartyID::HasPartyInfo(&FCaller)) return &FCaller;
      if (FOwner->WasOutgoing() && TzvTapiCallPartyID::HasPartyInfo(&FCalled)) return &FCalled;
      return nullptr;
    default:
      return nullptr;
  }
}

std::string TzvTapiCallRemoteID::GetAddress() {
  TzvTapiCallPartyID* party = SelectParty();
  return party != nullptr ? party->Address() : std::string();
}

Cardinal TzvTapiCallRemoteID::GetFlags() {
  TzvTapiCallPartyID* party = SelectParty();
  return party != nullptr ? party->Flags() : 0;
}

std::string TzvTapiCallRemoteID::GetName() {
  TzvTapiCallPartyID* party = SelectParty();
  return party != nullptr ? party->Name() : std::string();
}

}  // namespace zvtapi
