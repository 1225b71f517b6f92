// Asynchronous requests: every asynchronous entry point hands out a request ID and answers later
// with LINE_REPLY / PHONE_REPLY. When and how it answers is chosen per entry point, so that tests
// can make a provider slow, silent or failing without a provider of that kind.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "tapi32/faults.h"
#include "tapi32/tapi_structs.h"

namespace tapi32 {

struct ReplyMode {
  enum class Kind : uint8_t {
    Immediate,  // the reply is queued as the function returns
    Delayed,    // the reply comes delayMs later, from the runtime's timer thread
    Never,      // no reply; the request stays pending until completed by hand or shut down
  };
  // Where LINE_REPLY stands among the messages the request's effect causes. Real providers
  // produce each of these orders, so applications must cope with all of them.
  enum class Order : uint8_t {
    ReplyFirst,   // LINE_REPLY, then the effect and its messages
    EffectFirst,  // the effect (new handles written, their first messages queued), then LINE_REPLY
    // For a failing reply: the part of the effect a provider gets done before the operation
    // fails (the calls it makes appear at their first state), then LINE_REPLY with the error,
    // then what the failure leaves behind (those calls go IDLE). No handle is written; the
    // requester hears of the new calls with LINE_APPNEWCALL like any other open. A successful
    // reply in this order is effect-first.
    PartialEffectFirst,
  };
  Kind kind = Kind::Immediate;
  uint32_t delayMs = 0;
  // 0: the operation succeeds. Otherwise the reply carries this LINEERR_/PHONEERR_ code and the
  // operation changes nothing, except what a partial effect did.
  LONG result = 0;
  Order order = Order::ReplyFirst;

  static ReplyMode Now(LONG result = 0) { return {Kind::Immediate, 0, result}; }
  static ReplyMode After(uint32_t delayMs, LONG result = 0) {
    return {Kind::Delayed, delayMs, result};
  }
  static ReplyMode Silent() { return {Kind::Never, 0, 0}; }
  // The same mode with the reply after the effect's messages.
  ReplyMode EffectFirst() const { return InOrder(Order::EffectFirst); }
  // The same (failing) mode with the reply after a partial effect.
  ReplyMode PartialEffectFirst() const { return InOrder(Order::PartialEffectFirst); }
  ReplyMode InOrder(Order wanted) const {
    ReplyMode mode = *this;
    mode.order = wanted;
    return mode;
  }
  bool operator==(const ReplyMode&) const = default;
};

// Whether an entry point answers with LINE_REPLY or PHONE_REPLY: only those have reply modes.
constexpr bool AnswersWithReply(EntryPoint entry) {
  switch (entry) {
    case EntryPoint::lineDrop:
    case EntryPoint::lineAccept:
    case EntryPoint::lineAnswer:
    case EntryPoint::lineMakeCallW:
    case EntryPoint::lineDialW:
    case EntryPoint::lineHold:
    case EntryPoint::lineUnhold:
    case EntryPoint::lineSwapHold:
    case EntryPoint::lineParkW:
    case EntryPoint::lineUnparkW:
    case EntryPoint::linePickupW:
    case EntryPoint::lineRedirectW:
    case EntryPoint::lineBlindTransferW:
    case EntryPoint::lineSetupTransferW:
    case EntryPoint::lineCompleteTransfer:
    case EntryPoint::lineSetupConferenceW:
    case EntryPoint::linePrepareAddToConferenceW:
    case EntryPoint::lineAddToConference:
    case EntryPoint::lineRemoveFromConference:
    case EntryPoint::lineCompleteCall:
    case EntryPoint::lineUncompleteCall:
    case EntryPoint::lineSetCallData:
    case EntryPoint::lineDevSpecific:
    case EntryPoint::lineDevSpecificFeature:
    case EntryPoint::phoneSetHookSwitch:
    case EntryPoint::phoneSetDisplay:
    case EntryPoint::phoneSetRing:
    case EntryPoint::phoneSetLamp:
    case EntryPoint::phoneSetVolume:
    case EntryPoint::phoneSetGain:
    case EntryPoint::phoneDevSpecific:
      return true;
    default:
      return false;
  }
}

// The reply mode of every entry point: a lasting one, and a one-shot mode that is used by the
// next request of that entry point only.
class ReplyModes {
 public:
  void Set(EntryPoint entry, ReplyMode mode) { lasting_[Index(entry)] = mode; }
  void SetOnce(EntryPoint entry, ReplyMode mode) { once_[Index(entry)] = mode; }
  // The mode for a new request; consumes a one-shot mode.
  ReplyMode Take(EntryPoint entry) {
    auto& once = once_[Index(entry)];
    if (once) {
      const ReplyMode mode = *once;
      once.reset();
      return mode;
    }
    return lasting_[Index(entry)];
  }
  void Clear() {
    lasting_.fill(ReplyMode{});
    once_.fill(std::nullopt);
  }

 private:
  static size_t Index(EntryPoint entry) { return static_cast<size_t>(entry); }
  std::array<ReplyMode, kEntryPointCount> lasting_{};
  std::array<std::optional<ReplyMode>, kEntryPointCount> once_{};
};

}  // namespace tapi32
