// The call's own call-control operations: each makes the application the call's owner when
// AutoOwner asks for it, finds the partner call where the operation needs a second one, and
// hands the work to the line.
#include <cstring>

#include "tapi/call.h"
#include "tapi/errors.h"
#include "tapi/line.h"
#include "tapi32/tapi.h"

namespace zvtapi {

namespace {

// The line's default call parameters, placed on the call's own address.
class TCallParamsFor {
 public:
  explicit TCallParamsFor(TzvTapiCall* Call) {
    FParams.Assign(&Call->Line()->CallParams());
    FParams.SetAddressID(Call->Info()->AddressID());
  }
  const LINECALLPARAMS* TapiData() { return FParams.TapiData(); }

 private:
  TzvTapiCallParams FParams;
};

constexpr Cardinal kHeldForConference = LINECALLSTATE_ONHOLD | LINECALLSTATE_ONHOLDPENDCONF;
constexpr Cardinal kHeldForTransfer = LINECALLSTATE_ONHOLD | LINECALLSTATE_ONHOLDPENDTRANSFER;
constexpr Cardinal kHeldAny =
    LINECALLSTATE_ONHOLD | LINECALLSTATE_ONHOLDPENDCONF | LINECALLSTATE_ONHOLDPENDTRANSFER;
constexpr Cardinal kOutgoingAlive = LINECALLSTATE_DIALING | LINECALLSTATE_RINGBACK |
                                    LINECALLSTATE_CONNECTED | LINECALLSTATE_PROCEEDING;

}  // namespace

void TzvTapiCall::Accept(const std::string& UserUserInfo) {
  EnsureOwner();
  ZV_ASSERT(FHandle != 0 && FLine != nullptr);
  FLine->Accept(this, UserUserInfo);
}

void TzvTapiCall::Answer(const std::string& UserUserInfo) {
  EnsureOwner();
  ZV_ASSERT(FHandle != 0 && FLine != nullptr);
  FLine->Answer(this, UserUserInfo);
}

void TzvTapiCall::Drop(const std::string& UserUserInfo) {
  EnsureOwner();
  FLine->Drop(this, UserUserInfo);
}

void TzvTapiCall::Dial(const std::string& DestAddr) {
  EnsureOwner();
  FLine->Dial(this, DestAddr, 0);
}

void TzvTapiCall::BlindTransfer(const std::string& DestAddr) {
  EnsureOwner();
  FLine->BlindTransfer(this, DestAddr, 0);
}

void TzvTapiCall::Redirect(const std::string& DestAddr) {
  EnsureOwner();
  FLine->Redirect(this, DestAddr, 0);
}

void TzvTapiCall::HandOff(const std::string& FileName) {
  EnsureOwner();
  FLine->HandOff(this, FileName, 0);
}

void TzvTapiCall::Hold() {
  EnsureOwner();
  FLine->Hold(this);
}

void TzvTapiCall::Unhold() {
  EnsureOwner();
  FLine->UnHold(this);
}

void TzvTapiCall::Park(const std::string& DestAddress) {
  EnsureOwner();
  FLine->Park(this, LINEPARKMODE_DIRECTED, DestAddress, nullptr);
}

void TzvTapiCall::GenerateDigits(const std::string& Digits, Cardinal Duration) {
  EnsureOwner();
  FLine->GenerateDigits(this, Digits, LINEDIGITMODE_DTMF, Duration);
}

void TzvTapiCall::GeneratePulseDigits(const std::string& Digits, Cardinal Duration) {
  EnsureOwner();
  FLine->GenerateDigits(this, Digits, LINEDIGITMODE_PULSE, Duration);
}

void TzvTapiCall::GenerateTone(Cardinal ToneMode, Cardinal Duration) {
  EnsureOwner();
  FLine->GenerateTone(this, ToneMode, Duration, 0, nullptr);
}

void TzvTapiCall::MonitorTone(Cardinal Frequency1, Cardinal Frequency2, Cardinal Frequency3,
                              Cardinal Duration, Cardinal AppSpecific) {
  EnsureOwner();
  LINEMONITORTONE tone;
  std::memset(&tone, 0, sizeof(tone));
  tone.dwAppSpecific = AppSpecific;
  tone.dwDuration = Duration;
  tone.dwFrequency1 = Frequency1;
  tone.dwFrequency2 = Frequency2;
  tone.dwFrequency3 = Frequency3;
  FLine->MonitorTones(this, &tone, 1);
}

void TzvTapiCall::RemoveFromConference() {
  EnsureOwner();
  FLine->RemoveFromConference(this);
}

void TzvTapiCall::SetCallData(const void* Data, Cardinal DataSize) {
  EnsureOwner();
  FLine->SetCallData(this, Data, DataSize);
}

TzvTapiCall* TzvTapiCall::SetupTransfer() {
  EnsureOwner();
  TCallParamsFor params(this);
  return FLine->SetupTransfer(this, params.TapiData());
}

TzvTapiCall* TzvTapiCall::PrepareAddToConference() {
  EnsureOwner();
  TCallParamsFor params(this);
  return FLine->PrepareAddToConference(this, params.TapiData());
}

void TzvTapiCall::SetupConference(TzvTapiCall*& ConfCall, TzvTapiCall*& ConsultCall) {
  EnsureOwner();
  TCallParamsFor params(this);
  FLine->SetupConference(this, ConfCall, ConsultCall, 0, params.TapiData());
}

void TzvTapiCall::AddToConference() {
  EnsureOwner();
  TzvTapiCall* conf = nullptr;
  TzvTapiCall* consult = nullptr;
  const auto address = static_cast<Integer>(Info()->AddressID());
  const Cardinal state = State();
  if (state == LINECALLSTATE_CONNECTED) {
    consult = this;
    // A consultation call made for a conference finds it through its primary call; it does
    // not go looking among the other calls then.
    if (TzvTapiCall* primary = GetPrimaryCall()) {
      conf = primary->ConferenceCall();
    } else {
      conf = FLine->FindRelatedCall(kHeldForConference, 0, address, this);
    }
  } else if ((state & kHeldForConference) != 0) {
    conf = this;
    consult = GetConsultCall();
    if (!consult) {
      consult =
          FLine->FindRelatedCall(LINECALLSTATE_CONNECTED, LINECALLFEATURE_ADDTOCONF, address, this);
    }
  }
  if (!conf || !consult) RaiseError("AddToConference failed! No suitable calls");
  conf->EnsureOwner();
  consult->EnsureOwner();
  FLine->AddToConference(conf, consult);
}

TzvTapiCall* TzvTapiCall::CompleteTransfer(bool BuildConf) {
  EnsureOwner();
  TzvTapiCall* transfer = nullptr;
  TzvTapiCall* consult = nullptr;
  const auto address = static_cast<Integer>(Info()->AddressID());
  const Cardinal state = State();
  if (state == LINECALLSTATE_CONNECTED) {
    consult = this;
    auto waitsForTransfer = [](TzvTapiCall* call) {
      return call && ((call->State() & kHeldForTransfer) != 0 ||
                      (call->Features() & LINECALLFEATURE_COMPLETETRANSF) != 0);
    };
    if (TzvTapiCall* primary = GetPrimaryCall(); waitsForTransfer(primary)) {
      transfer = primary;
    } else if (TzvTapiCall* linked = GetConsultCall(); waitsForTransfer(linked)) {
      transfer = linked;
    } else {
      transfer =
          FLine->FindRelatedCall(kHeldForTransfer, LINECALLFEATURE_COMPLETETRANSF, address, this);
    }
  } else if ((state & kHeldForTransfer) != 0) {
    transfer = this;
    auto connected = [](TzvTapiCall* call) {
      return call && (call->State() & LINECALLSTATE_CONNECTED) != 0;
    };
    if (TzvTapiCall* linked = GetConsultCall(); connected(linked)) {
      consult = linked;
    } else if (TzvTapiCall* primary = GetPrimaryCall(); connected(primary)) {
      consult = primary;
    } else {
      consult = FLine->FindRelatedCall(kOutgoingAlive, 0, address, this);
    }
  }
  if (!transfer || !consult) RaiseError("CompleteTransfer failed! No suitable call found.");
  consult->EnsureOwner();
  transfer->EnsureOwner();
  return FLine->CompleteTransfer(
      transfer, consult, BuildConf ? LINETRANSFERMODE_CONFERENCE : LINETRANSFERMODE_TRANSFER);
}

void TzvTapiCall::SwapHold(TzvTapiCall* Call) {
  EnsureOwner();
  TzvTapiCall* active = this;
  TzvTapiCall* held = Call;
  if (IsHeld()) {
    held = this;
    active = Call;
  }
  const auto address = static_cast<Integer>(Info()->AddressID());
  if (!active)
    active =
        FLine->FindRelatedCall(LINECALLSTATE_CONNECTED, LINECALLFEATURE_SWAPHOLD, address, held);
  if (!held) {
    held = FLine->FindRelatedCall(kHeldAny, LINECALLFEATURE_SWAPHOLD | LINECALLFEATURE_UNHOLD,
                                  address, active);
  }
  if (!active || !held) RaiseError("SwapHold failed! No suitable calls");
  FLine->SwapHold(active, held);
}

void TzvTapiCall::SetMediaMode(Cardinal Value) {
  CheckTapiResult(static_cast<Cardinal>(lineSetMediaMode(FHandle, Value)));
  FInfo.Invalidate();
}

TzvTapiCall* TzvTapiCall::ConferenceCall() {
  TzvTapiCallList related;
  try {
    // TAPI lists the conference call first.
    if (FLine->GetConfRelatedCalls(this, &related) && related.Count() > 0) return related.Get(0);
  } catch (const std::exception& e) {
    FLine->DoError(e, this);
  }
  return nullptr;
}

}  // namespace zvtapi
