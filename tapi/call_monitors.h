// The four detection services of a call: digit gathering, digit monitoring, media-mode monitoring
// and silence monitoring. Each is the call's own copy of the matching options of the line's
// CallOptions and switches TAPI's service on and off for the call; what TAPI then detects comes
// back as line messages and is reported by the line's events (OnDigits, OnDigit, OnMediaMode,
// OnSilence).
#pragma once

#include <string>

#include "tapi/call_params.h"
#include "tapi/types.h"

namespace zvtapi {

class TzvCustomTapiLine;
class TzvTapiCall;

// Gathers NumDigits digits (lineGatherDigitsW) and reports them when gathering ends. TAPI writes
// the digits into a buffer the line keeps until the end of the gathering (or the line's close),
// so the call object may go while digits are still being gathered.
class TzvTapiCallGatherDigits : public TzvTapiCallGatherDigitsOptions {
 public:
  explicit TzvTapiCallGatherDigits(TzvTapiCall* ACall) : FCall(ACall) {}
  TzvTapiCall* Call() const { return FCall; }
  bool Active() const { return FActive; }
  // True with NumDigits non-zero starts a gathering ("GatherDigits already running" while one
  // runs); otherwise an active gathering is cancelled, and then Active takes Value (so true with
  // NumDigits 0 cancels but stays active). TAPI's refusals are raised, Active then unchanged.
  void SetActive(bool Value);
  // The digits received (after the end of gathering) as text.
  std::string ReceivedDigits() const;
  // Gathering ended: the buffer is cut at its first NUL, the gatherer is inactive.
  void GatherDigitsTerminated(Cardinal Termination);

 private:
  friend class TzvTapiCall;
  friend class TzvCustomTapiLine;  // hands over the digits TAPI gathered
  TzvTapiCall* FCall;
  bool FActive = false;
};

// Reports each digit as TAPI detects it (lineMonitorDigits); starts itself when the call becomes
// connected if AutoSelect is set.
class TzvTapiCallDigitMonitor : public TzvTapiCallDigitMonitorOptions {
 public:
  explicit TzvTapiCallDigitMonitor(TzvTapiCall* ACall) : FCall(ACall) {}
  TzvTapiCall* Call() const { return FCall; }
  bool Active() const { return FActive; }
  // Starts monitoring DigitModes or stops it; "MonitorDigits: No valid call" without a call
  // handle, TAPI's refusals raised with Active unchanged.
  void SetActive(bool Value);
  // Digit monitoring exists on the call's line (its MonitorDigitModes capability is set).
  bool Available() const;
  // Refused while active.
  void SetDigitModes(Cardinal Value) override;
  // The automatic start when the call becomes connected: with AutoSelect on a line that
  // monitors digits, the first mode TAPI accepts of PULSE|DTMF, PULSE|DTMFEND, DTMF and PULSE
  // becomes DigitModes. 0, or the last TAPI error (not raised).
  Cardinal Init();
  // The stop when the call leaves the connected state; TAPI's answer is not awaited.
  void Done();

 private:
  friend class TzvTapiCall;
  bool FActive = false;  // first: it fits beside the options
  TzvTapiCall* FCall;
};

// Asks TAPI to report changes of the call's media mode (the line's MonitorMedia).
class TzvTapiCallMediaMonitor : public TzvTapiCallMediaMonitorOptions {
 public:
  explicit TzvTapiCallMediaMonitor(TzvTapiCall* ACall) : FCall(ACall) {}
  TzvTapiCall* Call() const { return FCall; }
  bool Active() const { return FActive; }
  // As the digit monitor's, with MediaModes and "MonitorMedia: No valid call".
  void SetActive(bool Value);
  // Refused while active.
  void SetMediaModes(Cardinal Value) override;

 private:
  bool FActive = false;  // first: it fits beside the options
  TzvTapiCall* FCall;
};

// Asks TAPI to report Duration milliseconds of silence: a tone of no frequencies whose
// application value, 0xFFFFFFFF, makes the line report it through OnSilence.
class TzvTapiCallSilenceMonitor : public TzvTapiCallSilenceMonitorOptions {
 public:
  // The application value of the silence tone.
  static constexpr Cardinal kSilenceAppSpecific = 0xFFFFFFFF;

  explicit TzvTapiCallSilenceMonitor(TzvTapiCall* ACall) : FCall(ACall) {}
  TzvTapiCall* Call() const { return FCall; }
  bool Active() const { return FActive; }
  // Starting asks for the silence tone; stopping ends all tone monitoring of the call.
  // "MonitorSilence: No valid call" without a call handle.
  void SetActive(bool Value);
  // The call's address can monitor tones.
  bool Available() const;

 private:
  friend class TzvTapiCall;
  bool FActive = false;  // first: it fits beside the options
  TzvTapiCall* FCall;
};

}  // namespace zvtapi
