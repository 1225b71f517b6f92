// The line's side of call forwarding: the forwarding request, reading the forwarding in force,
// and keeping TAPI's late answer away from address objects that have gone.
#include "platform/sync.h"
#include "tapi/line.h"
#include "tapi/requests.h"
#include "tapi32/tapi.h"

namespace zvtapi {

void TzvCustomTapiLine::ForwardAddress(TzvTapiAddress* Address,
                                       const ::LINEFORWARDLIST* ForwardList,
                                       Cardinal NumRingsNoAnswer, Cardinal& ConsultCallHandle,
                                       const ::LINECALLPARAMS* CallParams) {
  CheckActive();
  const DWORD allAddresses = Address == nullptr ? 1 : 0;
  const DWORD addressID = Address == nullptr ? 0 : static_cast<DWORD>(Address->AddressID());
  // TAPI writes the consultation call's handle into a cell of the line, which stays until the
  // reply (or the line's close); the reply copies it on, unless its place has gone by then.
  TReplyCells cells;
  cells.push_back(CopyCell(&ConsultCallHandle, sizeof(ConsultCallHandle)));
  if (Address != nullptr && &ConsultCallHandle == &Address->FForwardCallHandle) {
    cells.back().Holder = Address;
  }
  auto* target = reinterpret_cast<LPHCALL>(cells.back().Bytes.get());
  const auto result = static_cast<Cardinal>(lineForwardW(
      FHandle, allAddresses, addressID, ForwardList, NumRingsNoAnswer, target, CallParams));
  CheckTapiResult(result);
  CheckRequest(this, RegisterRequest(static_cast<LONG>(result), TAPIREQUEST_LINEFORWARD, Address,
                                     nullptr, nullptr, std::move(cells)));
}

void TzvCustomTapiLine::GetForwardList(TzvTapiAddress* Address, TzvTapiForwardList* ForwardList) {
  if (!IsOpen()) RaiseError("GetForwardList failed! Device not active.");
  bool listed = false;
  for (int i = 0; i < FAddresses->Count() && !listed; ++i)
    listed = FAddresses->Get(i) == Address;
  if (!listed) RaiseError("GetForwardList failed! Invalid Address.");
  if (ForwardList == nullptr) RaiseError("GetForwardList failed! ForwardList not assigned.");
  ForwardList->Clear();
  // The status as cached; it is not asked for again first.
  TzvTapiAddressStatus* status = Address->Status();
  if (!status->Available()) return;
  const ::LINEADDRESSSTATUS* data = status->ForwardSource();
  const Cardinal count = ForwardEntryCount(data);
  for (Cardinal i = 0; i < count; ++i) {
    auto entry = std::make_unique<TzvTapiForward>();
    entry->AssignLINEFORWARD(data, i);
    ForwardList->Add(std::move(entry));
  }
}

void TzvCustomTapiLine::AddressGone(TzvTapiAddress* Address) {
  for (auto& [id, cells] : FReplyCells) {
    for (TReplyCell& cell : cells) {
      if (cell.Holder == Address) {
        cell.Dest = nullptr;
        cell.Holder = nullptr;
      }
    }
  }
  TLockGuard lock(*FRequests, platform::INFINITE);
  for (int i = 0; i < FRequests->Count(); ++i) {
    TzvTapiRequest* request = FRequests->Get(i);
    for (int slot = 0; slot < 3; ++slot) {
      if (request->GetObject(slot) == Address) request->SetObject(slot, nullptr);
    }
  }
}

}  // namespace zvtapi
