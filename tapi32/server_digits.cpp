// The runtime's digit services and silence detection: lineMonitorDigits, lineGatherDigitsW, and
// what the provider reports of the digits and the silence it detects on a call. Time-outs of a
// gathering and the length of a silence are measured on the provider's clock.
#include "platform/clock.h"
#include "tapi32/server.h"

namespace tapi32 {

namespace {

// The modes a digit can be gathered in; DTMFEND only tells when a key is let go.
constexpr DWORD kGatherModes = LINEDIGITMODE_PULSE | LINEDIGITMODE_DTMF;
constexpr DWORD kMonitorModes = LINEDIGITMODE_PULSE | LINEDIGITMODE_DTMF | LINEDIGITMODE_DTMFEND;

bool IsSilence(const LINEMONITORTONE& tone) {
  return tone.dwFrequency1 == 0 && tone.dwFrequency2 == 0 && tone.dwFrequency3 == 0;
}

}  // namespace

LONG Server::LineMonitorDigits(HCALL call, DWORD digitModes) {
  std::lock_guard lock(mutex_);
  LONG error = 0;
  // Monitoring is open to monitors as well as owners.
  CallHandle* entry = UsableCall(call, false, Err(LINEERR_INVALCALLHANDLE), &error);
  if (entry == nullptr) return error;
  if (digitModes == 0) {
    entry->monitoredDigits = 0;
    return 0;
  }
  if ((digitModes & ~kMonitorModes) != 0) return Err(LINEERR_INVALDIGITMODE);
  CallRequest request;
  request.op = CallOp::MonitorDigits;
  request.callId = entry->callId;
  request.deviceId = entry->open->deviceId;
  request.mode = digitModes;
  if (const LONG result = RunCallOpNow(request, entry->open->handle); result != 0) return result;
  entry->monitoredDigits = digitModes;
  return 0;
}

LONG Server::LineGatherDigits(HCALL call, DWORD digitModes, LPWSTR digits, DWORD numDigits,
                              LPCWSTR terminationDigits, DWORD firstDigitTimeout,
                              DWORD interDigitTimeout) {
  std::lock_guard lock(mutex_);
  LONG error = 0;
  CallHandle* entry = UsableCall(call, true, Err(LINEERR_INVALCALLHANDLE), &error);
  if (entry == nullptr) return error;
  // No buffer cancels the gathering; a count without a buffer promises one that is not there.
  if (digits == nullptr) {
    if (numDigits != 0) return Err(LINEERR_INVALPOINTER);
    if (gatherings_.contains(call)) EndGathering(call, LINEGATHERTERM_CANCEL);
    return 0;
  }
  if (numDigits == 0) return Err(LINEERR_INVALPARAM);
  if (digitModes == 0 || (digitModes & ~kGatherModes) != 0) return Err(LINEERR_INVALDIGITMODE);
  CallRequest request;
  request.op = CallOp::GatherDigits;
  request.callId = entry->callId;
  request.deviceId = entry->open->deviceId;
  request.mode = digitModes;
  if (terminationDigits != nullptr) request.address = terminationDigits;
  request.firstDigitTimeout = firstDigitTimeout;
  request.interDigitTimeout = interDigitTimeout;
  if (const LONG result = RunCallOpNow(request, entry->open->handle); result != 0) return result;
  // A new gathering replaces the one that runs.
  if (gatherings_.contains(call)) EndGathering(call, LINEGATHERTERM_CANCEL);
  Gathering& gathering = gatherings_[call];
  gathering.id = ++lastGathering_;
  gathering.buffer = digits;
  gathering.numDigits = numDigits;
  gathering.digitModes = digitModes;
  gathering.terminationDigits = std::move(request.address);
  gathering.firstDigitTimeout = firstDigitTimeout;
  gathering.interDigitTimeout = interDigitTimeout;
  AwaitDigit(call, gathering);
  return 0;
}

void Server::EndGathering(HCALL handle, DWORD termination) {
  auto it = gatherings_.find(handle);
  if (it == gatherings_.end()) return;
  gatherings_.erase(it);
  if (CallHandle* entry = FindCall(handle)) {
    PostToOpen(*entry->open, handle, LINE_GATHERDIGITS, termination, 0, platform::GetTickCount());
  }
}

void Server::AwaitDigit(HCALL handle, const Gathering& gathering) {
  const bool first = gathering.received == 0;
  const DWORD timeout = first ? gathering.firstDigitTimeout : gathering.interDigitTimeout;
  if (timeout == 0 || provider_ == nullptr) return;
  const DWORD termination = first ? LINEGATHERTERM_FIRSTTIMEOUT : LINEGATHERTERM_INTERTIMEOUT;
  provider_->Schedule(
      timeout, [this, handle, id = gathering.id, received = gathering.received, termination] {
        std::lock_guard lock(mutex_);
        auto it = gatherings_.find(handle);
        // Only the digit it was planned for is late; a later digit plans its own time-out.
        if (it == gatherings_.end() || it->second.id != id || it->second.received != received)
          return;
        EndGathering(handle, termination);
      });
}

void Server::DigitDetected(DWORD callId, char16_t digit, DWORD digitMode) {
  std::lock_guard lock(mutex_);
  const CallData* call = ProviderCall(callId);
  const DWORD now = platform::GetTickCount();
  for (const CallHandle* entry = FirstHolder(callId, call); entry; entry = entry->nextOfCall) {
    if (entry->monitoredDigits & digitMode) {
      PostToOpen(*entry->open, entry->handle, LINE_MONITORDIGITS, digit, digitMode, now);
    }
    // Most calls gather nothing: a digit then costs no look-up.
    if (gatherings_.empty()) continue;
    auto it = gatherings_.find(entry->handle);
    if (it == gatherings_.end() || (it->second.digitModes & digitMode & kGatherModes) == 0)
      continue;
    Gathering& gathering = it->second;
    gathering.buffer[gathering.received++] = digit;
    // A termination digit is kept in the buffer and ends the gathering.
    if (gathering.terminationDigits.find(digit) != std::u16string::npos) {
      EndGathering(entry->handle, LINEGATHERTERM_TERMDIGIT);
    } else if (gathering.received == gathering.numDigits) {
      EndGathering(entry->handle, LINEGATHERTERM_BUFFERFULL);
    } else {
      AwaitDigit(entry->handle, gathering);
    }
  }
}

void Server::EndCallServices(DWORD callId) {
  silences_.erase(callId);
  for (const CallHandle* entry = FirstHolder(callId, ProviderCall(callId)); entry;
       entry = entry->nextOfCall) {
    EndGathering(entry->handle, LINEGATHERTERM_CANCEL);
  }
}

void Server::SilenceChanged(DWORD callId, bool silent) {
  std::lock_guard lock(mutex_);
  if (!silent) {
    silences_.erase(callId);
    return;
  }
  if (silences_.contains(callId)) return;  // the same stretch goes on
  silences_[callId] = ++lastSilence_;
  for (const CallHandle* entry = FirstHolder(callId, ProviderCall(callId)); entry;
       entry = entry->nextOfCall) {
    ArmSilenceTones(*entry);
  }
}

void Server::ArmSilenceTones(const CallHandle& entry) {
  auto silence = silences_.find(entry.callId);
  if (silence == silences_.end() || provider_ == nullptr) return;
  for (const LINEMONITORTONE& tone : entry.tones) {
    if (!IsSilence(tone)) continue;
    // Reported once, when this stretch has lasted the tone's duration and the handle still
    // listens for the same list.
    provider_->Schedule(tone.dwDuration, [this, handle = entry.handle, callId = entry.callId,
                                          stretch = silence->second, list = entry.toneList, tone] {
      std::lock_guard lock(mutex_);
      auto now = silences_.find(callId);
      const CallHandle* holder = FindCall(handle);
      if (now == silences_.end() || now->second != stretch || holder == nullptr ||
          holder->toneList != list) {
        return;
      }
      PostToOpen(*holder->open, handle, LINE_MONITORTONE, tone.dwAppSpecific, 0,
                 platform::GetTickCount());
    });
  }
}

}  // namespace tapi32
