// The line's call-control operations: one per TAPI call-control function. Each checks the line
// and the calls it concerns, calls TAPI, registers the asynchronous request with its type and
// objects and, in synchronous mode, waits for the reply. Also the cells TAPI writes results
// into, and the search for a partner call the call-level wrappers use.
#include <atomic>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/module.h"
#include "platform/sync.h"
#include "tapi/line.h"
#include "tapi/requests.h"
#include "tapi/structures.h"
#include "tapi32/tapi.h"

namespace zvtapi {

namespace {

constexpr Cardinal kConfCallListInitialSize = 536;

std::u16string Wide(const std::string& text) {
  return platform::Utf8ToWide(text);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Requests and the cells TAPI answers into

TzvCustomTapiLine::TReplyCell TzvCustomTapiLine::HandleCell(TzvTapiCall* Call) {
  TReplyCell cell;
  cell.Size = sizeof(HCALL);
  cell.Bytes = std::make_unique<uint8_t[]>(cell.Size);
  cell.Call = Call;
  return cell;
}

TzvCustomTapiLine::TReplyCell TzvCustomTapiLine::CopyCell(void* Dest, Cardinal Size) {
  TReplyCell cell;
  cell.Size = Size;
  cell.Bytes = std::make_unique<uint8_t[]>(Size);
  if (Dest && Size) std::memcpy(cell.Bytes.get(), Dest, Size);
  cell.Dest = Dest;
  return cell;
}

Integer TzvCustomTapiLine::RegisterRequest(LONG Result, Cardinal Type, TObject* Object0,
                                           TObject* Object1, TObject* Object2, TReplyCells Cells) {
  const Integer requestID = RegisterRequest(Result, Type, Object0, Object1, Object2);
  if (!Cells.empty()) FReplyCells[static_cast<Cardinal>(requestID)] = std::move(Cells);
  return requestID;
}

TzvTapiCall* TzvCustomTapiLine::CreateOperationCall(bool Plain) {
  TzvTapiCall* call = Plain ? new TzvTapiCall(this, 0) : FCallClass(this, 0);
  // A class maker that hands out a call with a handle would put it among the listed calls.
  SortCalls(call);
  return call;
}

void TzvCustomTapiLine::AbandonOperation(Cardinal Result,
                                         std::initializer_list<TzvTapiCall*> NewCalls) {
  for (TzvTapiCall* call : NewCalls) {
    if (IsCallObject(call)) FreeCall(call);
  }
  RaiseTapiError(Result);
}

Cardinal TzvCustomTapiLine::WrittenHandle(TReplyCell& Cell) {
  // TAPI writes from a thread of its own; a cell that is not this message's may be being written
  // right now, so it is read as one whole value.
  return std::atomic_ref<Cardinal>(*HandleTarget(Cell)).load(std::memory_order_relaxed);
}

void TzvCustomTapiLine::GiveWrittenHandle(TReplyCell& Cell, Cardinal Handle) {
  // Delivered: the reply must not write it again, the call may have given its handle back by
  // then.
  TzvTapiCall* call = std::exchange(Cell.Call, nullptr);
  call->FHandle = Handle;
  SortCalls(call);
}

TzvTapiCall* TzvCustomTapiLine::ClaimWrittenHandle(Cardinal CallHandle) {
  for (auto& [id, cells] : FReplyCells) {
    for (TReplyCell& cell : cells) {
      if (!IsCallObject(cell.Call) || WrittenHandle(cell) != CallHandle) continue;
      TzvTapiCall* call = cell.Call;
      GiveWrittenHandle(cell, CallHandle);
      return call;
    }
  }
  return nullptr;
}

void TzvCustomTapiLine::ClaimWrittenHandles(Cardinal RequestID) {
  auto it = FReplyCells.find(RequestID);
  if (it == FReplyCells.end()) return;
  for (TReplyCell& cell : it->second) {
    if (!IsCallObject(cell.Call)) continue;
    if (const Cardinal handle = WrittenHandle(cell)) GiveWrittenHandle(cell, handle);
  }
}

void TzvCustomTapiLine::DeliverReplyCells(Cardinal RequestID, Integer ReplyCode) {
  // A call TAPI made has its handle whatever the reply says; a failed request that made none
  // wrote nothing.
  ClaimWrittenHandles(RequestID);
  auto it = FReplyCells.find(RequestID);
  if (it == FReplyCells.end()) return;
  const TReplyCells cells = std::move(it->second);
  FReplyCells.erase(it);
  if (ReplyCode != 0) return;
  for (const TReplyCell& cell : cells) {
    if (cell.Dest) std::memcpy(cell.Dest, cell.Bytes.get(), cell.Size);
  }
}

void TzvCustomTapiLine::OrphanReplyCells(Cardinal RequestID) {
  auto it = FReplyCells.find(RequestID);
  if (it == FReplyCells.end()) return;
  TReplyCells& orphans = FOrphanCells[RequestID];
  for (TReplyCell& cell : it->second) {
    cell.Call = nullptr;
    cell.Dest = nullptr;
    orphans.push_back(std::move(cell));
  }
  FReplyCells.erase(it);
}

void TzvCustomTapiLine::ReleaseOrphans(Cardinal RequestID) {
  FOrphanCells.erase(RequestID);
  ReleaseOrphanBlock(RequestID);
  // Cells of a request that went before its reply together with its call: nothing is
  // delivered, and TAPI has written what it was going to.
  bool registered = false;
  {
    TLockGuard lock(*FRequests, platform::INFINITE);
    registered = FRequests->GetRequest(static_cast<Integer>(RequestID)) != nullptr;
  }
  if (!registered) FReplyCells.erase(RequestID);
}

// ---------------------------------------------------------------------------------------------
// Operations on one call

void TzvCustomTapiLine::Accept(TzvTapiCall* Call, const std::string& UserUserInfo) {
  CheckActive();
  CheckCall(Call, "Accept failed");
  const std::string uui = SingleByte(UserUserInfo);
  const auto result = static_cast<Cardinal>(
      lineAccept(Call->Handle(), uui.c_str(), static_cast<DWORD>(uui.size())));
  CheckTapiResult(result);
  CheckRequest(this, RegisterRequest(static_cast<LONG>(result), TAPIREQUEST_LINEACCEPT, Call));
}

void TzvCustomTapiLine::Answer(TzvTapiCall* Call, const std::string& UserUserInfo) {
  CheckActive();
  CheckCall(Call, "Answer failed");
  const std::string uui = SingleByte(UserUserInfo);
  const auto result = static_cast<Cardinal>(
      lineAnswer(Call->Handle(), uui.c_str(), static_cast<DWORD>(uui.size())));
  CheckTapiResult(result);
  CheckRequest(this, RegisterRequest(static_cast<LONG>(result), TAPIREQUEST_LINEANSWER, Call));
}

void TzvCustomTapiLine::Drop(TzvTapiCall* Call, const std::string& UserUserInfo) {
  CheckActive();
  CheckCall(Call, "Drop failed");
  const std::string uui = SingleByte(UserUserInfo);
  const auto result =
      static_cast<Cardinal>(lineDrop(Call->Handle(), uui.c_str(), static_cast<DWORD>(uui.size())));
  CheckTapiResult(result);
  CheckRequest(this, RegisterRequest(static_cast<LONG>(result), TAPIREQUEST_LINEDROP, Call));
}

void TzvCustomTapiLine::Dial(TzvTapiCall* Call, const std::string& DestAddr, Cardinal CountryCode) {
  CheckActive();
  CheckCall(Call, "Dail failed");
  const std::u16string dest = Wide(DestAddr);
  const auto result = static_cast<Cardinal>(lineDialW(Call->Handle(), dest.c_str(), CountryCode));
  CheckTapiResult(result);
  CheckRequest(this, RegisterRequest(static_cast<LONG>(result), TAPIREQUEST_LINEDIAL, Call));
}

void TzvCustomTapiLine::BlindTransfer(TzvTapiCall* Call, const std::string& DestAddr,
                                      Cardinal CountryCode) {
  CheckActive();
  CheckCall(Call, "BlindTransfer failed");
  const std::u16string dest = Wide(DestAddr);
  const auto result =
      static_cast<Cardinal>(lineBlindTransferW(Call->Handle(), dest.c_str(), CountryCode));
  CheckTapiResult(result);
  CheckRequest(this,
               RegisterRequest(static_cast<LONG>(result), TAPIREQUEST_LINEBLINDTRANSFER, Call));
}

void TzvCustomTapiLine::Redirect(TzvTapiCall* Call, const std::string& DestAddr,
                                 Cardinal CountryCode) {
  CheckActive();
  CheckCall(Call, "Redirect failed");
  const std::u16string dest = Wide(DestAddr);
  const auto result =
      static_cast<Cardinal>(lineRedirectW(Call->Handle(), dest.c_str(), CountryCode));
  CheckTapiResult(result);
  CheckRequest(this, RegisterRequest(static_cast<LONG>(result), TAPIREQUEST_LINEREDIRECT, Call));
}

void TzvCustomTapiLine::Hold(TzvTapiCall* Call) {
  CheckActive();
  CheckCall(Call, "Hold failed");
  const auto result = static_cast<Cardinal>(lineHold(Call->Handle()));
  CheckTapiResult(result);
  CheckRequest(this, RegisterRequest(static_cast<LONG>(result), TAPIREQUEST_LINEHOLD, Call));
}

void TzvCustomTapiLine::UnHold(TzvTapiCall* Call) {
  CheckActive();
  CheckCall(Call, "Unhold failed");
  const auto result = static_cast<Cardinal>(lineUnhold(Call->Handle()));
  CheckTapiResult(result);
  CheckRequest(this, RegisterRequest(static_cast<LONG>(result), TAPIREQUEST_LINEUNHOLD, Call));
}

void TzvCustomTapiLine::SwapHold(TzvTapiCall* Call, TzvTapiCall* HeldCall) {
  CheckActive();
  CheckCall(Call, "SwapHold faild");
  CheckCall(HeldCall, "SwapHold faild");
  const auto result = static_cast<Cardinal>(lineSwapHold(Call->Handle(), HeldCall->Handle()));
  CheckTapiResult(result);
  CheckRequest(
      this, RegisterRequest(static_cast<LONG>(result), TAPIREQUEST_LINESWAPHOLD, Call, HeldCall));
}

void TzvCustomTapiLine::Park(TzvTapiCall* Call, Cardinal ParkMode, const std::string& DirAddress,
                             ::VARSTRING* NonDirAddress) {
  CheckActive();
  CheckCall(Call, "Park faild");
  const std::u16string dir = Wide(DirAddress);
  TReplyCells cells;
  LPVARSTRING target = nullptr;
  if (NonDirAddress) {
    // The provider fills in as much as the caller's structure says it can hold.
    const Cardinal size = NonDirAddress->dwTotalSize >= sizeof(VARSTRING)
                              ? NonDirAddress->dwTotalSize
                              : static_cast<Cardinal>(sizeof(VARSTRING));
    cells.push_back(CopyCell(NonDirAddress, size));
    // A caller's header that claims less than the structure leaves the copy's header as it
    // was; TAPI then refuses the size.
    if (NonDirAddress->dwTotalSize < sizeof(VARSTRING))
      cells.back().Size = NonDirAddress->dwTotalSize;
    target = reinterpret_cast<LPVARSTRING>(cells.back().Bytes.get());
  }
  const auto result =
      static_cast<Cardinal>(lineParkW(Call->Handle(), ParkMode, dir.c_str(), target));
  CheckTapiResult(result);
  CheckRequest(this, RegisterRequest(static_cast<LONG>(result), TAPIREQUEST_LINEPARK, Call, nullptr,
                                     nullptr, std::move(cells)));
}

void TzvCustomTapiLine::CompleteCall(TzvTapiCall* Call, Cardinal& CompletionID,
                                     Cardinal CompletionMode, Cardinal MessageID) {
  CheckActive();
  CheckCall(Call, "Complete faild");
  TReplyCells cells;
  cells.push_back(CopyCell(&CompletionID, sizeof(CompletionID)));
  auto* target = reinterpret_cast<LPDWORD>(cells.back().Bytes.get());
  const auto result =
      static_cast<Cardinal>(lineCompleteCall(Call->Handle(), target, CompletionMode, MessageID));
  CheckTapiResult(result);
  CheckRequest(this, RegisterRequest(static_cast<LONG>(result), TAPIREQUEST_LINECOMPLETECALL, Call,
                                     nullptr, nullptr, std::move(cells)));
}

void TzvCustomTapiLine::UncompleteCall(Cardinal CompletionID) {
  CheckActive();
  const auto result = static_cast<Cardinal>(lineUncompleteCall(FHandle, CompletionID));
  CheckTapiResult(result);
  CheckRequest(this,
               RegisterRequest(static_cast<LONG>(result), TAPIREQUEST_LINEUNCOMPLETECALL, nullptr));
}

void TzvCustomTapiLine::AddToConference(TzvTapiCall* ConfCall, TzvTapiCall* ConsultCall) {
  CheckActive();
  CheckCall(ConfCall, "AddToConference faild");
  CheckCall(ConsultCall, "AddToConference faild");
  const auto result =
      static_cast<Cardinal>(lineAddToConference(ConfCall->Handle(), ConsultCall->Handle()));
  CheckTapiResult(result);
  CheckRequest(this, RegisterRequest(static_cast<LONG>(result), TAPIREQUEST_LINEADDTOCONFERENCE,
                                     ConsultCall, ConfCall));
}

void TzvCustomTapiLine::RemoveFromConference(TzvTapiCall* Call) {
  CheckActive();
  CheckCall(Call, "RemoveFromConference failed");
  const auto result = static_cast<Cardinal>(lineRemoveFromConference(Call->Handle()));
  CheckTapiResult(result);
  CheckRequest(
      this, RegisterRequest(static_cast<LONG>(result), TAPIREQUEST_LINEREMOVEFROMCONFERENCE, Call));
}

void TzvCustomTapiLine::SetCallData(TzvTapiCall* Call, const void* Data, Cardinal DataSize) {
  CheckActive();
  CheckCall(Call, "SetCallData failed!");
  // TAPI copies the block before it returns; it only reads it.
  const auto result =
      static_cast<Cardinal>(lineSetCallData(Call->Handle(), const_cast<void*>(Data), DataSize));
  CheckTapiResult(result);
  CheckRequest(this, RegisterRequest(static_cast<LONG>(result), TAPIREQUEST_LINESETCALLDATA, Call));
}

// ---------------------------------------------------------------------------------------------
// Operations that create calls

TzvTapiCall* TzvCustomTapiLine::MakeCall(const std::string& DestAddr) {
  TzvTapiCallParams params;
  params.Assign(FCallParams.get());
  return MakeCall(DestAddr, 0, params.TapiData());
}

TzvTapiCall* TzvCustomTapiLine::MakeCall(const std::string& DestAddr, Cardinal CountryCode,
                                         const ::LINECALLPARAMS* CallParams) {
  CheckActive();
  TzvTapiCall* call = CreateOperationCall(false);
  TReplyCells cells;
  cells.push_back(HandleCell(call));
  const std::u16string dest = Wide(DestAddr);
  const auto result = static_cast<Cardinal>(
      lineMakeCallW(FHandle, HandleTarget(cells.back()), dest.c_str(), CountryCode, CallParams));
  if (IsTapiError(result)) AbandonOperation(result, {call});
  CheckRequest(this, RegisterRequest(static_cast<LONG>(result), TAPIREQUEST_LINEMAKECALL, call,
                                     nullptr, nullptr, std::move(cells)));
  return call;
}

TzvTapiCall* TzvCustomTapiLine::Pickup(Cardinal AddressID, const std::string& DestAddress,
                                       const std::string& GroupID) {
  CheckActive();
  TzvTapiCall* call = CreateOperationCall(true);
  TReplyCells cells;
  cells.push_back(HandleCell(call));
  const std::u16string dest = Wide(DestAddress);
  const std::u16string group = Wide(GroupID);
  const auto result = static_cast<Cardinal>(
      linePickupW(FHandle, AddressID, HandleTarget(cells.back()), dest.c_str(), group.c_str()));
  if (IsTapiError(result)) AbandonOperation(result, {call});
  CheckRequest(this, RegisterRequest(static_cast<LONG>(result), TAPIREQUEST_LINEPICKUP, call,
                                     nullptr, nullptr, std::move(cells)));
  return call;
}

TzvTapiCall* TzvCustomTapiLine::Unpark(Cardinal AddressID, const std::string& DestAddress) {
  CheckActive();
  TzvTapiCall* call = CreateOperationCall(false);
  TReplyCells cells;
  cells.push_back(HandleCell(call));
  const std::u16string dest = Wide(DestAddress);
  const auto result = static_cast<Cardinal>(
      lineUnparkW(FHandle, AddressID, HandleTarget(cells.back()), dest.c_str()));
  if (IsTapiError(result)) AbandonOperation(result, {call});
  CheckRequest(this, RegisterRequest(static_cast<LONG>(result), TAPIREQUEST_LINEUNPARK, call,
                                     nullptr, nullptr, std::move(cells)));
  return call;
}

TzvTapiCall* TzvCustomTapiLine::SetupTransfer(TzvTapiCall* Call,
                                              const ::LINECALLPARAMS* CallParams) {
  CheckActive();
  CheckCall(Call, "SetupTransfer failed");
  TzvTapiCall* consult = CreateOperationCall(false);
  TReplyCells cells;
  cells.push_back(HandleCell(consult));
  const auto result = static_cast<Cardinal>(
      lineSetupTransferW(Call->Handle(), HandleTarget(cells.back()), CallParams));
  if (IsTapiError(result)) AbandonOperation(result, {consult});
  Call->ReleaseRelatedCall(nullptr);
  consult->ReleaseRelatedCall(nullptr);
  Call->SetConsultCall(consult);
  consult->SetPrimaryCall(Call);
  CheckRequest(this, RegisterRequest(static_cast<LONG>(result), TAPIREQUEST_LINESETUPTRANSFER, Call,
                                     consult, nullptr, std::move(cells)));
  return consult;
}

TzvTapiCall* TzvCustomTapiLine::PrepareAddToConference(TzvTapiCall* ConfCall,
                                                       const ::LINECALLPARAMS* CallParams) {
  CheckActive();
  CheckCall(ConfCall, "PrepareAddToConference faild");
  TzvTapiCall* consult = CreateOperationCall(false);
  TReplyCells cells;
  cells.push_back(HandleCell(consult));
  const auto result = static_cast<Cardinal>(
      linePrepareAddToConferenceW(ConfCall->Handle(), HandleTarget(cells.back()), CallParams));
  if (IsTapiError(result)) AbandonOperation(result, {consult});
  ConfCall->ReleaseRelatedCall(nullptr);
  ConfCall->SetConsultCall(consult);
  consult->SetPrimaryCall(ConfCall);
  CheckRequest(this,
               RegisterRequest(static_cast<LONG>(result), TAPIREQUEST_LINEPREPAREADDTOCONFERENCE,
                               ConfCall, consult, nullptr, std::move(cells)));
  return consult;
}

void TzvCustomTapiLine::SetupConference(TzvTapiCall* Call, TzvTapiCall*& ConfCall,
                                        TzvTapiCall*& ConsultCall, Cardinal NumParties,
                                        const ::LINECALLPARAMS* CallParams) {
  ConfCall = nullptr;
  ConsultCall = nullptr;
  CheckActive();
  CheckCall(Call, "SetupConference failed");
  TzvTapiCall* conf = CreateOperationCall(false);
  TzvTapiCall* consult = nullptr;
  try {
    consult = CreateOperationCall(false);
  } catch (...) {
    FreeCall(conf);
    throw;
  }
  TReplyCells cells;
  cells.push_back(HandleCell(conf));
  cells.push_back(HandleCell(consult));
  const auto result =
      static_cast<Cardinal>(lineSetupConferenceW(Call->Handle(), FHandle, HandleTarget(cells[0]),
                                                 HandleTarget(cells[1]), NumParties, CallParams));
  if (IsTapiError(result)) AbandonOperation(result, {conf, consult});
  ConfCall = conf;
  ConsultCall = consult;
  Call->ReleaseRelatedCall(nullptr);
  Call->SetConsultCall(consult);
  consult->SetPrimaryCall(Call);
  try {
    CheckRequest(this, RegisterRequest(static_cast<LONG>(result), TAPIREQUEST_LINESETUPCONFERENCE,
                                       Call, conf, consult, std::move(cells)));
  } catch (...) {
    // A failed reply has freed the new calls already; the caller must not get them.
    if (!IsCallObject(ConfCall)) ConfCall = nullptr;
    if (!IsCallObject(ConsultCall)) ConsultCall = nullptr;
    throw;
  }
}

TzvTapiCall* TzvCustomTapiLine::CompleteTransfer(TzvTapiCall* Call, TzvTapiCall* ConsultCall,
                                                 Cardinal TransferMode) {
  CheckActive();
  CheckCall(Call, "CompleteTransfer faild");
  if (!ConsultCall || ConsultCall->Handle() == 0)
    RaiseError("CompleteTransfer faild! No valid ConsultCall.");
  TzvTapiCall* conf = nullptr;
  TReplyCells cells;
  LPHCALL target = nullptr;
  if (TransferMode == LINETRANSFERMODE_CONFERENCE) {
    conf = CreateOperationCall(false);
    cells.push_back(HandleCell(conf));
    target = HandleTarget(cells.back());
  }
  const auto result = static_cast<Cardinal>(
      lineCompleteTransfer(Call->Handle(), ConsultCall->Handle(), target, TransferMode));
  if (IsTapiError(result)) AbandonOperation(result, {conf});
  CheckRequest(this, RegisterRequest(static_cast<LONG>(result), TAPIREQUEST_LINECOMPLETETRANSFER,
                                     Call, ConsultCall, conf, std::move(cells)));
  return conf;
}

// ---------------------------------------------------------------------------------------------
// Device-specific requests

void TzvCustomTapiLine::DevSpecific(void* Params, Cardinal Size, TzvTapiAddress* Address,
                                    TzvTapiCall* Call) {
  CheckActive();
  auto block = std::make_unique<TzvTapiLineDevSpecificData>(Params, Size);
  block->SetAddress(Address);
  block->SetCall(Call);
  const Cardinal addressID = Address ? Address->AddressID() : 0;
  const Cardinal callHandle = Call ? Call->Handle() : 0;
  const auto result = static_cast<Cardinal>(
      lineDevSpecific(FHandle, addressID, callHandle, Size ? block->Data() : nullptr, Size));
  CheckTapiResult(result);  // a refused block goes with its holder
  TzvTapiDevSpecificData* data = block.get();
  FinishDevSpecific(RegisterDevSpecific(std::move(block), TAPIREQUEST_LINEDEVSPECIFIC, result),
                    data, Params, Size);
}

void TzvCustomTapiLine::DevSpecificFeature(Cardinal Feature, void* Params, Cardinal Size) {
  CheckActive();
  auto block = std::make_unique<TzvTapiLineDevSpecificFeatureData>(Params, Size);
  block->SetFeature(Feature);
  const auto result = static_cast<Cardinal>(
      lineDevSpecificFeature(FHandle, Feature, Size ? block->Data() : nullptr, Size));
  CheckTapiResult(result);
  TzvTapiDevSpecificData* data = block.get();
  FinishDevSpecific(
      RegisterDevSpecific(std::move(block), TAPIREQUEST_LINEDEVSPECIFICFEATURE, result), data,
      Params, Size);
}

// ---------------------------------------------------------------------------------------------
// Synchronous operations

void TzvCustomTapiLine::GenerateDigits(TzvTapiCall* Call, const std::string& Digits,
                                       Cardinal DigitMode, Cardinal Duration) {
  CheckActive();
  CheckCall(Call, "Generate digits failed");
  const std::u16string digits = Wide(Digits);
  CheckTapiResult(static_cast<Cardinal>(
      lineGenerateDigitsW(Call->Handle(), DigitMode, digits.c_str(), Duration)));
}

void TzvCustomTapiLine::GenerateTone(TzvTapiCall* Call, Cardinal ToneMode, Cardinal Duration,
                                     Cardinal NumTones, const ::LINEGENERATETONE* Tones) {
  CheckActive();
  CheckCall(Call, "Generate tone failed");
  CheckTapiResult(
      static_cast<Cardinal>(lineGenerateTone(Call->Handle(), ToneMode, Duration, NumTones, Tones)));
}

void TzvCustomTapiLine::MonitorTones(TzvTapiCall* Call, const ::LINEMONITORTONE* ToneList,
                                     Cardinal NumEntries) {
  CheckActive();
  CheckCall(Call, "Monitor tones failed");
  CheckTapiResult(static_cast<Cardinal>(lineMonitorTones(Call->Handle(), ToneList, NumEntries)));
}

void TzvCustomTapiLine::MonitorMedia(TzvTapiCall* Call, Cardinal MediaModes) {
  CheckActive();
  CheckCall(Call, "Monitor media failed");
  CheckTapiResult(static_cast<Cardinal>(lineMonitorMedia(Call->Handle(), MediaModes)));
}

// ---------------------------------------------------------------------------------------------
// Digit gathering

void TzvCustomTapiLine::GatherDigits(TzvTapiCall* Call, Cardinal DigitModes, Cardinal NumDigits,
                                     const std::string& TerminationDigits,
                                     Cardinal FirstDigitTimeout, Cardinal InterDigitTimeout) {
  auto cell = std::make_unique<TGatherCell>();
  cell->Digits.assign(NumDigits, u'\0');
  cell->Call = Call;
  const std::u16string terminators = Wide(TerminationDigits);
  const Cardinal handle = Call->Handle();
  CheckTapiResult(static_cast<Cardinal>(lineGatherDigitsW(handle, DigitModes, cell->Digits.data(),
                                                          NumDigits, terminators.c_str(),
                                                          FirstDigitTimeout, InterDigitTimeout)));
  auto& cells = FGatherCells[handle];
  // A gathering this one replaced is over for the call.
  for (auto& earlier : cells) {
    if (earlier->Call == Call) earlier->Call = nullptr;
  }
  cells.push_back(std::move(cell));
}

void TzvCustomTapiLine::CancelGatherDigits(TzvTapiCall* Call, Cardinal DigitModes) {
  CheckTapiResult(static_cast<Cardinal>(
      lineGatherDigitsW(Call->Handle(), DigitModes, nullptr, 0, nullptr, 0, 0)));
}

bool TzvCustomTapiLine::TakeGatherCell(Cardinal CallHandle, Cardinal Termination) {
  auto it = FGatherCells.find(CallHandle);
  if (it == FGatherCells.end()) return false;
  std::unique_ptr<TGatherCell> cell = std::move(it->second.front());
  it->second.pop_front();
  if (it->second.empty()) FGatherCells.erase(it);
  if (cell->Call && IsCallObject(cell->Call)) {
    TzvTapiCallGatherDigits& gatherer = cell->Call->GatherDigits();
    gatherer.FReceivedDigits = std::move(cell->Digits);
    gatherer.GatherDigitsTerminated(Termination);
    DoGatherDigits(cell->Call, Termination);
  }
  return true;
}

void TzvCustomTapiLine::HandOff(TzvTapiCall* Call, const std::string& FileName,
                                Cardinal MediaMode) {
  CheckActive();
  CheckCall(Call, "HandOff failed");
  // No file name hands the call to the highest-priority application for the media mode.
  const std::u16string file = Wide(FileName);
  CheckTapiResult(static_cast<Cardinal>(
      lineHandoffW(Call->Handle(), FileName.empty() ? nullptr : file.c_str(), MediaMode)));
}

bool TzvCustomTapiLine::GetConfRelatedCalls(TzvTapiCall* Call, TzvTapiCallList* ConfCalls) {
  CheckActive();
  CheckCall(Call, "GetConfRelatedCalls failed");
  if (!ConfCalls) RaiseError("ConfCalls not assigned");
  ConfCalls->Clear();
  TTapiStruct list = AllocTapiStruct(kConfCallListInitialSize);
  const Cardinal handle = Call->Handle();
  const Cardinal result = FetchTapiStruct(list, [handle](void* structure) {
    return lineGetConfRelatedCalls(handle, static_cast<LPLINECALLLIST>(structure));
  });
  if (result != 0) return false;
  if (list.GetDWORD(offsetof(LINECALLLIST, dwCallsNumEntries)) == 0) return false;
  for (const Cardinal handle : ReadCallList(list)) {
    if (TzvTapiCall* call = FindCall(handle, false)) ConfCalls->Add(call);
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Partner search for the call-level wrappers

TzvTapiCall* TzvCustomTapiLine::FindRelatedCall(Cardinal States, Cardinal Features,
                                                Integer AddressID, const TzvTapiCall* Exclude) {
  if (States == 0 && Features == 0) return nullptr;
  auto search = [&](bool withStates, bool withFeatures, Integer addressID) -> TzvTapiCall* {
    for (TzvTapiCall* call : *FCalls) {
      if (call == Exclude) continue;
      if (withStates && (call->State() & States) == 0) continue;
      if (withFeatures && (call->Features() & Features) == 0) continue;
      if (addressID != -1 && static_cast<Integer>(call->Info()->AddressID()) != addressID) continue;
      return call;
    }
    return nullptr;
  };
  const bool states = States != 0;
  const bool features = Features != 0;
  if (TzvTapiCall* call = search(states, features, AddressID)) return call;
  // Dropping the features is only a relaxation when both were asked for.
  if (states && features) {
    if (TzvTapiCall* call = search(true, false, AddressID)) return call;
  }
  if (AddressID != -1) {
    if (TzvTapiCall* call = search(states, features, -1)) return call;
  }
  if (states && features) {
    if (TzvTapiCall* call = search(true, false, -1)) return call;
  }
  return nullptr;
}

}  // namespace zvtapi
