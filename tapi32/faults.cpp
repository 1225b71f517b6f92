#include "tapi32/faults.h"

namespace tapi32 {

namespace {

constexpr std::array<std::string_view, kEntryPointCount> kNames = {
    "lineInitializeExW",
    "lineShutdown",
    "lineGetMessage",
    "lineNegotiateAPIVersion",
    "lineNegotiateExtVersion",
    "lineGetDevCapsW",
    "lineRegisterRequestRecipient",
    "lineGetRequestW",
    "lineOpenW",
    "lineClose",
    "lineSetStatusMessages",
    "lineGetStatusMessages",
    "lineGetLineDevStatusW",
    "lineGetAddressCapsW",
    "lineGetAddressStatusW",
    "lineGetNewCalls",
    "lineGetCallStatus",
    "lineGetCallInfoW",
    "lineDeallocateCall",
    "lineSetCallPrivilege",
    "lineGetIconW",
    "lineDrop",
    "lineAccept",
    "lineAnswer",
    "lineMakeCallW",
    "lineDialW",
    "lineHold",
    "lineUnhold",
    "lineSwapHold",
    "lineParkW",
    "lineUnparkW",
    "linePickupW",
    "lineRedirectW",
    "lineBlindTransferW",
    "lineSetupTransferW",
    "lineCompleteTransfer",
    "lineSetupConferenceW",
    "linePrepareAddToConferenceW",
    "lineAddToConference",
    "lineRemoveFromConference",
    "lineCompleteCall",
    "lineUncompleteCall",
    "lineSetCallData",
    "lineGenerateDigitsW",
    "lineGenerateTone",
    "lineMonitorTones",
    "lineMonitorMedia",
    "lineMonitorDigits",
    "lineGatherDigitsW",
    "lineHandoffW",
    "lineGetConfRelatedCalls",
    "lineDevSpecific",
    "lineDevSpecificFeature",
    "lineSetMediaMode",
    "lineForwardW",
    "phoneInitializeExW",
    "phoneShutdown",
    "phoneGetMessage",
    "phoneNegotiateAPIVersion",
    "phoneNegotiateExtVersion",
    "phoneGetDevCapsW",
    "phoneOpen",
    "phoneClose",
    "phoneGetStatusW",
    "phoneSetStatusMessages",
    "phoneGetStatusMessages",
    "phoneSetHookSwitch",
    "phoneGetHookSwitch",
    "phoneSetDisplay",
    "phoneGetDisplay",
    "phoneSetRing",
    "phoneGetRing",
    "phoneSetLamp",
    "phoneGetLamp",
    "phoneGetButtonInfoW",
    "phoneSetButtonInfoW",
    "phoneSetVolume",
    "phoneGetVolume",
    "phoneSetGain",
    "phoneGetGain",
    "phoneDevSpecific",
    "phoneGetIDW",
    "phoneGetIconW",
    "phoneConfigDialogW",
    "lineGetIDW",
    "lineConfigDialogW",
    "lineGetTranslateCapsW",
    "lineSetCurrentLocation",
    "lineTranslateAddressW",
    "lineGetCountryW",
    "lineTranslateDialogW",
};

}  // namespace

std::string_view EntryPointName(EntryPoint entry) {
  return kNames.at(static_cast<size_t>(entry));
}

std::optional<EntryPoint> FindEntryPoint(std::string_view name) {
  for (size_t i = 0; i < kNames.size(); ++i) {
    if (kNames[i] == name) return static_cast<EntryPoint>(i);
  }
  return std::nullopt;
}

std::optional<LONG> FaultTable::Enter(EntryPoint entry) {
  Slot& slot = slots_[static_cast<size_t>(entry)];
  slot.calls.fetch_add(1, std::memory_order_relaxed);
  if (armed_.load(std::memory_order_acquire) == 0) return std::nullopt;
  Mode mode = slot.mode.load(std::memory_order_acquire);
  if (mode == Mode::Always) return slot.code.load();
  // A one-shot fault fires for exactly one caller even when several threads race for it.
  if (mode == Mode::Once && slot.mode.compare_exchange_strong(mode, Mode::None)) {
    armed_.fetch_sub(1);
    return slot.code.load();
  }
  return std::nullopt;
}

void FaultTable::FailNext(EntryPoint entry, LONG code) {
  Slot& slot = slots_[static_cast<size_t>(entry)];
  slot.code.store(code);
  if (slot.mode.exchange(Mode::Once) == Mode::None) armed_.fetch_add(1);
}

void FaultTable::FailAlways(EntryPoint entry, LONG code) {
  Slot& slot = slots_[static_cast<size_t>(entry)];
  slot.code.store(code);
  if (slot.mode.exchange(Mode::Always) == Mode::None) armed_.fetch_add(1);
}

void FaultTable::Clear() {
  for (Slot& slot : slots_) {
    if (slot.mode.exchange(Mode::None) != Mode::None) armed_.fetch_sub(1);
  }
}

uint32_t FaultTable::CallCount(EntryPoint entry) const {
  return slots_[static_cast<size_t>(entry)].calls.load(std::memory_order_relaxed);
}

void FaultTable::ResetCounts() {
  for (Slot& slot : slots_)
    slot.calls.store(0, std::memory_order_relaxed);
}

}  // namespace tapi32
