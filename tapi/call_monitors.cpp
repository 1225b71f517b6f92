#include "tapi/call_monitors.h"

#include "platform/module.h"
#include "tapi/address.h"
#include "tapi/call.h"
#include "tapi/errors.h"
#include "tapi/line.h"
#include "tapi32/tapi.h"

namespace zvtapi {

namespace {

bool HasHandle(const TzvTapiCall* Call) {
  return Call != nullptr && Call->Valid();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Digit gathering

void TzvTapiCallGatherDigits::SetActive(bool Value) {
  if (Value && FNumDigits != 0) {
    if (FActive) RaiseError("GatherDigits already running");
    // What has arrived so far is in the line's buffer; this one holds the digits at the end.
    FReceivedDigits.assign(FNumDigits, u'\0');
    FCall->Line()->GatherDigits(FCall, FDigitModes, FNumDigits, FTerminationDigits,
                                FFirstDigitTimeout, FInterDigitTimeout);
  } else if (FActive) {
    FCall->Line()->CancelGatherDigits(FCall, FDigitModes);
  } else {
    return;
  }
  FActive = Value;
}

std::string TzvTapiCallGatherDigits::ReceivedDigits() const {
  return platform::WideToUtf8(FReceivedDigits);
}

void TzvTapiCallGatherDigits::GatherDigitsTerminated(Cardinal /*Termination*/) {
  const auto end = FReceivedDigits.find(u'\0');
  if (end != std::u16string::npos) FReceivedDigits.erase(end);
  FActive = false;
}

// ---------------------------------------------------------------------------------------------
// Digit monitoring

void TzvTapiCallDigitMonitor::SetActive(bool Value) {
  if (!HasHandle(FCall)) RaiseError("MonitorDigits: No valid call");
  // Only a change is TAPI's business.
  if (FActive != Value) {
    CheckTapiResult(
        static_cast<Cardinal>(lineMonitorDigits(FCall->Handle(), Value ? FDigitModes : 0)));
  }
  FActive = Value;
}

bool TzvTapiCallDigitMonitor::Available() const {
  return FCall && FCall->Line() && FCall->Line()->Caps().MonitorDigitModes() != 0;
}

void TzvTapiCallDigitMonitor::SetDigitModes(Cardinal Value) {
  if (FActive) RaiseError("Unable to set DigitModes while monitoring is active.");
  FDigitModes = Value;
}

Cardinal TzvTapiCallDigitMonitor::Init() {
  if (!HasHandle(FCall)) RaiseError("MonitorDigits: No valid call");
  if (!FAutoSelect || !Available()) return 0;
  // The richest choice first: both kinds of dialling, then each alone.
  constexpr Cardinal kModes[] = {
      LINEDIGITMODE_PULSE | LINEDIGITMODE_DTMF,
      LINEDIGITMODE_PULSE | LINEDIGITMODE_DTMFEND,
      LINEDIGITMODE_DTMF,
      LINEDIGITMODE_PULSE,
  };
  Cardinal result = 0;
  bool accepted = false;
  for (Cardinal modes : kModes) {
    result = static_cast<Cardinal>(lineMonitorDigits(FCall->Handle(), modes));
    if (result == 0) {
      FDigitModes = modes;
      accepted = true;
      break;
    }
  }
  FActive = accepted;
  return result;
}

void TzvTapiCallDigitMonitor::Done() {
  if (!FActive) return;
  if (HasHandle(FCall)) lineMonitorDigits(FCall->Handle(), 0);
  FActive = false;
}

// ---------------------------------------------------------------------------------------------
// Media monitoring

void TzvTapiCallMediaMonitor::SetActive(bool Value) {
  if (!HasHandle(FCall)) RaiseError("MonitorMedia: No valid call");
  if (FActive != Value) FCall->Line()->MonitorMedia(FCall, Value ? FMediaModes : 0);
  FActive = Value;
}

void TzvTapiCallMediaMonitor::SetMediaModes(Cardinal Value) {
  if (FActive) RaiseError("Unable to set MediaModes while monitoring is active.");
  FMediaModes = Value;
}

// ---------------------------------------------------------------------------------------------
// Silence monitoring

void TzvTapiCallSilenceMonitor::SetActive(bool Value) {
  if (!HasHandle(FCall)) RaiseError("MonitorSilence: No valid call");
  if (Value && !FActive) {
    LINEMONITORTONE silence{};
    silence.dwAppSpecific = kSilenceAppSpecific;
    silence.dwDuration = FDuration;
    FCall->Line()->MonitorTones(FCall, &silence, 1);
    FActive = true;
  } else if (!Value && FActive) {
    FCall->Line()->MonitorTones(FCall, nullptr, 0);
    FActive = false;
  }
}

bool TzvTapiCallSilenceMonitor::Available() const {
  if (!FCall) return false;
  TzvTapiAddress* address = FCall->Address();
  return address && (address->Caps()->CallFeatures() & LINECALLFEATURE_MONITORTONES) != 0;
}

}  // namespace zvtapi
