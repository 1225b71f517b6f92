#include "tapi/address.h"

#include <cstddef>
#include <utility>

#include "tapi/application.h"
#include "tapi/call.h"
#include "tapi/errors.h"
#include "tapi/line.h"
#include "tapi/tsp.h"
#include "tapi32/tapi.h"

namespace zvtapi {

namespace {

// Field offsets by property index: the structure's fields from dwLineDeviceID on, without the
// device-specific size and offset.
constexpr Cardinal AddressCapsFields[] = {
    offsetof(::LINEADDRESSCAPS, dwLineDeviceID),
    offsetof(::LINEADDRESSCAPS, dwAddressSize),
    offsetof(::LINEADDRESSCAPS, dwAddressOffset),
    offsetof(::LINEADDRESSCAPS, dwAddressSharing),
    offsetof(::LINEADDRESSCAPS, dwAddressStates),
    offsetof(::LINEADDRESSCAPS, dwCallInfoStates),
    offsetof(::LINEADDRESSCAPS, dwCallerIDFlags),
    offsetof(::LINEADDRESSCAPS, dwCalledIDFlags),
    offsetof(::LINEADDRESSCAPS, dwConnectedIDFlags),
    offsetof(::LINEADDRESSCAPS, dwRedirectionIDFlags),
    offsetof(::LINEADDRESSCAPS, dwRedirectingIDFlags),
    offsetof(::LINEADDRESSCAPS, dwCallStates),
    offsetof(::LINEADDRESSCAPS, dwDialToneModes),
    offsetof(::LINEADDRESSCAPS, dwBusyModes),
    offsetof(::LINEADDRESSCAPS, dwSpecialInfo),
    offsetof(::LINEADDRESSCAPS, dwDisconnectModes),
    offsetof(::LINEADDRESSCAPS, dwMaxNumActiveCalls),
    offsetof(::LINEADDRESSCAPS, dwMaxNumOnHoldCalls),
    offsetof(::LINEADDRESSCAPS, dwMaxNumOnHoldPendingCalls),
    offsetof(::LINEADDRESSCAPS, dwMaxNumConference),
    offsetof(::LINEADDRESSCAPS, dwMaxNumTransConf),
    offsetof(::LINEADDRESSCAPS, dwAddrCapFlags),
    offsetof(::LINEADDRESSCAPS, dwCallFeatures),
    offsetof(::LINEADDRESSCAPS, dwRemoveFromConfCaps),
    offsetof(::LINEADDRESSCAPS, dwRemoveFromConfState),
    offsetof(::LINEADDRESSCAPS, dwTransferModes),
    offsetof(::LINEADDRESSCAPS, dwParkModes),
    offsetof(::LINEADDRESSCAPS, dwForwardModes),
    offsetof(::LINEADDRESSCAPS, dwMaxForwardEntries),
    offsetof(::LINEADDRESSCAPS, dwMaxSpecificEntries),
    offsetof(::LINEADDRESSCAPS, dwMinFwdNumRings),
    offsetof(::LINEADDRESSCAPS, dwMaxFwdNumRings),
    offsetof(::LINEADDRESSCAPS, dwMaxCallCompletions),
    offsetof(::LINEADDRESSCAPS, dwCallCompletionConds),
    offsetof(::LINEADDRESSCAPS, dwCallCompletionModes),
    offsetof(::LINEADDRESSCAPS, dwNumCompletionMessages),
    offsetof(::LINEADDRESSCAPS, dwCompletionMsgTextEntrySize),
    offsetof(::LINEADDRESSCAPS, dwCompletionMsgTextSize),
    offsetof(::LINEADDRESSCAPS, dwCompletionMsgTextOffset),
    offsetof(::LINEADDRESSCAPS, dwAddressFeatures),
    offsetof(::LINEADDRESSCAPS, dwPredictiveAutoTransferStates),
    offsetof(::LINEADDRESSCAPS, dwNumCallTreatments),
    offsetof(::LINEADDRESSCAPS, dwCallTreatmentListSize),
    offsetof(::LINEADDRESSCAPS, dwCallTreatmentListOffset),
    offsetof(::LINEADDRESSCAPS, dwDeviceClassesSize),
    offsetof(::LINEADDRESSCAPS, dwDeviceClassesOffset),
    offsetof(::LINEADDRESSCAPS, dwMaxCallDataSize),
    offsetof(::LINEADDRESSCAPS, dwCallFeatures2),
    offsetof(::LINEADDRESSCAPS, dwMaxNoAnswerTimeout),
    offsetof(::LINEADDRESSCAPS, dwConnectedModes),
    offsetof(::LINEADDRESSCAPS, dwOfferingModes),
    offsetof(::LINEADDRESSCAPS, dwAvailableMediaModes),
};
static_assert(std::size(AddressCapsFields) == 52);

// dwNumInUse to dwForwardOffset; the terminal-mode and device-specific fields have no index.
constexpr Cardinal AddressStatusFields[] = {
    offsetof(::LINEADDRESSSTATUS, dwNumInUse),
    offsetof(::LINEADDRESSSTATUS, dwNumActiveCalls),
    offsetof(::LINEADDRESSSTATUS, dwNumOnHoldCalls),
    offsetof(::LINEADDRESSSTATUS, dwNumOnHoldPendCalls),
    offsetof(::LINEADDRESSSTATUS, dwAddressFeatures),
    offsetof(::LINEADDRESSSTATUS, dwNumRingsNoAnswer),
    offsetof(::LINEADDRESSSTATUS, dwForwardNumEntries),
    offsetof(::LINEADDRESSSTATUS, dwForwardSize),
    offsetof(::LINEADDRESSSTATUS, dwForwardOffset),
};
static_assert(std::size(AddressStatusFields) == 9);

// The address status values the address itself republishes: NumInUse .. ForwardNumEntries.
constexpr Integer AddressStatusDWORDCount = 7;

template <class Array>
bool InRange(Integer index, const Array& fields) {
  return index >= 0 && static_cast<size_t>(index) < std::size(fields);
}

}  // namespace

// --- TzvTapiAddressCaps --------------------------------------------------------------------

TzvTapiAddressCaps::TzvTapiAddressCaps(TzvTapiAddress* AOwner)
    : TzvTapiStructCache(sizeof(::LINEADDRESSCAPS)), FAddress(AOwner) {
  ZV_ASSERT(FAddress != nullptr);
}

TzvTapiAddressCaps::~TzvTapiAddressCaps() = default;

int32_t TzvTapiAddressCaps::Query(void* structure) {
  ZV_ASSERT(FAddress != nullptr && FAddress->Line() != nullptr);
  const TzvCustomTapiLine* line = FAddress->Line();
  const TzvTapiTSP* tsp = line->TSP();
  return lineGetAddressCapsW(
      zvTapiApplication != nullptr ? zvTapiApplication->LineApp() : 0,
      static_cast<DWORD>(line->DeviceID()), static_cast<DWORD>(FAddress->AddressID()),
      tsp != nullptr ? tsp->APIVersion() : 0, tsp != nullptr ? tsp->ExtVersion() : 0,
      static_cast<::LINEADDRESSCAPS*>(structure));
}

void TzvTapiAddressCaps::Invalidate() {
  TzvTapiStructCache::Invalidate();
  FDeviceClasses.Clear();
  FDeviceClassesBuilt = false;
}

Cardinal TzvTapiAddressCaps::Get_DWORD(Integer Index) {
  ZV_ASSERT(FAddress != nullptr);
  if (UpdateData() != 0) return 0;
  ZV_ASSERT_MSG(InRange(Index, AddressCapsFields),
                "TzvTapiAddressCaps.Get_DWORD failed! Invalid index");
  return ReadDWORD(AddressCapsFields[Index]);
}

std::string TzvTapiAddressCaps::GetString(Integer Index) {
  ZV_ASSERT(FAddress != nullptr);
  if (UpdateData() != 0) return {};
  ZV_ASSERT_MSG(Index == 0, "TzvTapiAddressCaps.GetString failed! Invalid index");
  return ReadString(offsetof(::LINEADDRESSCAPS, dwAddressSize));
}

const TStringList& TzvTapiAddressCaps::DeviceClasses() {
  if (!FDeviceClassesBuilt) {
    FDeviceClasses = std::move(*ReadStringList(offsetof(::LINEADDRESSCAPS, dwDeviceClassesSize)));
    // Without a structure the empty list is not final: the next read tries again.
    FDeviceClassesBuilt = Buffer().Assigned();
  }
  return FDeviceClasses;
}

const ::LINEADDRESSCAPS* TzvTapiAddressCaps::LINEADDRESSCAPS() {
  return FetchedAs<::LINEADDRESSCAPS>();
}

// --- TzvTapiAddressStatus ------------------------------------------------------------------

TzvTapiAddressStatus::TzvTapiAddressStatus(TzvTapiAddress* AOwner)
    : TzvTapiStructCache(sizeof(::LINEADDRESSSTATUS)), FAddress(AOwner) {
  ZV_ASSERT(FAddress != nullptr);
}

int32_t TzvTapiAddressStatus::Query(void* structure) {
  ZV_ASSERT(FAddress != nullptr && FAddress->Line() != nullptr);
  return lineGetAddressStatusW(FAddress->Line()->Handle(),
                               static_cast<DWORD>(FAddress->AddressID()),
                               static_cast<::LINEADDRESSSTATUS*>(structure));
}

Cardinal TzvTapiAddressStatus::Get_DWORD(Integer Index) {
  ZV_ASSERT(FAddress != nullptr);
  if (UpdateData() != 0) return 0;
  ZV_ASSERT_MSG(InRange(Index, AddressStatusFields),
                "TzvTapiAddressStatus.Get_DWORD failed! Invalid Index");
  return ReadDWORD(AddressStatusFields[Index]);
}

const ::LINEADDRESSSTATUS* TzvTapiAddressStatus::LINEADDRESSSTATUS() {
  return FetchedAs<::LINEADDRESSSTATUS>();
}

const ::LINEADDRESSSTATUS* TzvTapiAddressStatus::ForwardSource() {
  const ::LINEADDRESSSTATUS* status = LINEADDRESSSTATUS();
  // The entries are read within the size the structure claims; a claim beyond the block would
  // lead the reader past its end.
  if (status == nullptr || Buffer().TotalSize() > Buffer().Capacity()) return nullptr;
  return status;
}

TzvTapiForwardList& TzvTapiAddressStatus::ForwardList() {
  if (!FForwardList) FForwardList = std::make_unique<TzvTapiForwardList>();
  Invalidate();
  const ::LINEADDRESSSTATUS* status = ForwardSource();
  const Cardinal count = ForwardEntryCount(status);
  for (Cardinal i = 0; i < count; ++i) {
    const int index = static_cast<int>(i);
    if (index >= FForwardList->Count()) FForwardList->Add(std::make_unique<TzvTapiForward>());
    FForwardList->Get(index)->AssignLINEFORWARD(status, i);
  }
  while (static_cast<Cardinal>(FForwardList->Count()) > count)
    FForwardList->Delete(FForwardList->Count() - 1);
  return *FForwardList;
}

// --- TzvTapiAddress ------------------------------------------------------------------------

TzvTapiAddress::TzvTapiAddress(TzvCustomTapiLine* Line, Cardinal AddressID)
    : FAddressID(static_cast<Integer>(AddressID)), FLine(Line) {
  FStatus = std::make_unique<TzvTapiAddressStatus>(this);
  FCaps = std::make_unique<TzvTapiAddressCaps>(this);
}

TzvTapiAddress::~TzvTapiAddress() {
  // A forwarding request may still be pending: its reply must not write into this object.
  if (FLine != nullptr) FLine->AddressGone(this);
  FCaps.reset();
  FStatus.reset();
  FForwardCallParams.reset();
}

Cardinal TzvTapiAddress::Init() {
  ZV_ASSERT(FLine != nullptr);
  FCaps->Invalidate();
  FStatus->Invalidate();
  return 0;
}

void TzvTapiAddress::Assign(const TzvTapiAddress& Source) {
  FTag = Source.FTag;
}

std::string TzvTapiAddress::AddressName() {
  std::string name = FCaps->Address();
  if (name.empty()) name = Format("Address %d", FAddressID);
  return name;
}

const ::LINEADDRESSCAPS* TzvTapiAddress::LINEADDRESSCAPS() const {
  return static_cast<const ::LINEADDRESSCAPS*>(FCaps->CachedData());
}

const ::LINEADDRESSSTATUS* TzvTapiAddress::LINEADDRESSSTATUS() {
  return FStatus->LINEADDRESSSTATUS();
}

void TzvTapiAddress::AddressStateChanged(Cardinal AddressStates) {
  if ((AddressStates & LINEADDRESSSTATE_CAPSCHANGE) != 0) {
    FCaps->Invalidate();
  } else {
    FStatus->Invalidate();
  }
}

Cardinal TzvTapiAddress::Get_StatusDWORD(Integer Index) {
  ZV_ASSERT(FStatus != nullptr);
  ZV_ASSERT_MSG(Index >= 0 && Index < AddressStatusDWORDCount,
                "TzvTapiAddress.Get_StatusDWORD: Invalid index");
  return FStatus->Get_DWORD(Index);
}

TzvTapiCall* TzvTapiAddress::MakeCall(const std::string& DestAddr) {
  ZV_ASSERT(FLine != nullptr);
  TzvTapiCallParams params;
  params.Assign(&FLine->CallParams());
  params.SetAddressMode(LINEADDRESSMODE_ADDRESSID);
  params.SetAddressID(static_cast<Cardinal>(FAddressID));
  return FLine->MakeCall(DestAddr, 0, params.TapiData());
}

void TzvTapiAddress::ChangeForwardList(TzvTapiForwardList* ForwardList, Cardinal NumRingsNoAnswer,
                                       const TzvTapiCallParams* CallParams) {
  ZV_ASSERT(FLine != nullptr);
  FForwardCallParams.reset();
  if (ForwardList == nullptr) {
    FLine->ForwardAddress(this, nullptr, NumRingsNoAnswer, FForwardCallHandle, nullptr);
    return;
  }
  const ::LINECALLPARAMS* params = nullptr;
  if (CallParams != nullptr) {
    FForwardCallParams = std::make_unique<TzvTapiCallParams>();
    FForwardCallParams->Assign(CallParams);
    params = FForwardCallParams->TapiData();
  }
  FLine->ForwardAddress(this, ForwardList->TapiData(), NumRingsNoAnswer, FForwardCallHandle,
                        params);
}

void TzvTapiAddress::ForwardTo(const std::string& DestAddress) {
  TzvTapiForwardList list;
  if (!DestAddress.empty()) list.AddEntry(LINEFORWARDMODE_UNCOND, {}, 0, DestAddress);
  ChangeForwardList(&list, 0, nullptr);
}

// --- TzvTapiAddressList --------------------------------------------------------------------

TzvTapiAddress* TzvTapiAddressList::Get(int Index) const {
  if (Index < 0 || Index >= Count()) RaiseError(Format("List index out of bounds (%d)", Index));
  return FItems[static_cast<size_t>(Index)].get();
}

void TzvTapiAddressList::Put(int Index, std::unique_ptr<TzvTapiAddress> Item) {
  Get(Index);
  FItems[static_cast<size_t>(Index)] = std::move(Item);
}

int TzvTapiAddressList::Add(std::unique_ptr<TzvTapiAddress> Item) {
  FItems.push_back(std::move(Item));
  return Count() - 1;
}

void TzvTapiAddressList::Delete(int Index) {
  Get(Index);
  FItems.erase(FItems.begin() + Index);
}

void TzvTapiAddressList::Assign(const TzvTapiAddressList& Source) {
  for (const auto& source : Source.FItems) {
    if (source == nullptr) continue;
    const Integer id = source->AddressID();
    if (id >= 0 && id < Count()) Get(id)->Assign(*source);
  }
}

void TzvTapiAddressList::InvalidateStatus() {
  for (const auto& address : FItems) {
    if (address != nullptr) address->Status()->Invalidate();
  }
}

}  // namespace zvtapi
