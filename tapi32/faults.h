// Call counting and fault injection for the C entry points. Every entry point reports itself
// here first; an armed fault makes it return the chosen code without doing anything else. The
// simulated switch exposes this to tests; counting is a relaxed atomic increment so the hot
// message path stays cheap.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string_view>

#include "tapi32/tapi_structs.h"

namespace tapi32 {

enum class EntryPoint : uint32_t {
  lineInitializeExW,
  lineShutdown,
  lineGetMessage,
  lineNegotiateAPIVersion,
  lineNegotiateExtVersion,
  lineGetDevCapsW,
  lineRegisterRequestRecipient,
  lineGetRequestW,
  lineOpenW,
  lineClose,
  lineSetStatusMessages,
  lineGetStatusMessages,
  lineGetLineDevStatusW,
  lineGetAddressCapsW,
  lineGetAddressStatusW,
  lineGetNewCalls,
  lineGetCallStatus,
  lineGetCallInfoW,
  lineDeallocateCall,
  lineSetCallPrivilege,
  lineGetIconW,
  lineDrop,
  lineAccept,
  lineAnswer,
  lineMakeCallW,
  lineDialW,
  lineHold,
  lineUnhold,
  lineSwapHold,
  lineParkW,
  lineUnparkW,
  linePickupW,
  lineRedirectW,
  lineBlindTransferW,
  lineSetupTransferW,
  lineCompleteTransfer,
  lineSetupConferenceW,
  linePrepareAddToConferenceW,
  lineAddToConference,
  lineRemoveFromConference,
  lineCompleteCall,
  lineUncompleteCall,
  lineSetCallData,
  lineGenerateDigitsW,
  lineGenerateTone,
  lineMonitorTones,
  lineMonitorMedia,
  lineMonitorDigits,
  lineGatherDigitsW,
  lineHandoffW,
  lineGetConfRelatedCalls,
  lineDevSpecific,
  lineDevSpecificFeature,
  lineSetMediaMode,
  lineForwardW,
  phoneInitializeExW,
  phoneShutdown,
  phoneGetMessage,
  phoneNegotiateAPIVersion,
  phoneNegotiateExtVersion,
  phoneGetDevCapsW,
  phoneOpen,
  phoneClose,
  phoneGetStatusW,
  phoneSetStatusMessages,
  phoneGetStatusMessages,
  phoneSetHookSwitch,
  phoneGetHookSwitch,
  phoneSetDisplay,
  phoneGetDisplay,
  phoneSetRing,
  phoneGetRing,
  phoneSetLamp,
  phoneGetLamp,
  phoneGetButtonInfoW,
  phoneSetButtonInfoW,
  phoneSetVolume,
  phoneGetVolume,
  phoneSetGain,
  phoneGetGain,
  phoneDevSpecific,
  phoneGetIDW,
  phoneGetIconW,
  phoneConfigDialogW,
  lineGetIDW,
  lineConfigDialogW,
  lineGetTranslateCapsW,
  lineSetCurrentLocation,
  lineTranslateAddressW,
  lineGetCountryW,
  lineTranslateDialogW,
  Count
};

inline constexpr size_t kEntryPointCount = static_cast<size_t>(EntryPoint::Count);

// The entry point's C name, and the reverse lookup (nothing for an unknown name).
std::string_view EntryPointName(EntryPoint entry);
std::optional<EntryPoint> FindEntryPoint(std::string_view name);

class FaultTable {
 public:
  // Counts the call; returns the injected result when a fault is armed for this entry point.
  std::optional<LONG> Enter(EntryPoint entry);

  void FailNext(EntryPoint entry, LONG code);
  void FailAlways(EntryPoint entry, LONG code);
  void Clear();
  uint32_t CallCount(EntryPoint entry) const;
  void ResetCounts();

 private:
  enum class Mode : uint8_t { None, Once, Always };
  struct Slot {
    std::atomic<uint32_t> calls{0};
    std::atomic<Mode> mode{Mode::None};
    std::atomic<LONG> code{0};
  };
  std::array<Slot, kEntryPointCount> slots_{};
  std::atomic<uint32_t> armed_{0};  // number of slots with a fault, so the common path skips them
};

}  // namespace tapi32
