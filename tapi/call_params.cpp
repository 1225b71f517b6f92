#include "tapi/call_params.h"

#include <cstring>

#include "platform/module.h"
#include "tapi/errors.h"

namespace zvtapi {

void TPersistent::Assign(const TPersistent* Source) {
  RaiseError(
      Format("Cannot assign a %s to a %s", Source ? Source->ClassName() : "nil", ClassName()));
}

// ---------------------------------------------------------------------------------------------
// TzvTapiDialParams

void TzvTapiDialParams::Assign(const TPersistent* Source) {
  const auto* source = dynamic_cast<const TzvTapiDialParams*>(Source);
  if (!source) return TPersistent::Assign(Source);
  FDialPause = source->FDialPause;
  FDialSpeed = source->FDialSpeed;
  FDigitDuration = source->FDigitDuration;
  FWaitForDialtone = source->FWaitForDialtone;
}

LINEDIALPARAMS* TzvTapiDialParams::TapiData() {
  if (!FPARAMS) FPARAMS = std::make_unique<LINEDIALPARAMS>();
  FPARAMS->dwDialPause = FDialPause;
  FPARAMS->dwDialSpeed = FDialSpeed;
  FPARAMS->dwDigitDuration = FDigitDuration;
  FPARAMS->dwWaitForDialtone = FWaitForDialtone;
  return FPARAMS.get();
}

// ---------------------------------------------------------------------------------------------
// TzvTapiCallParams

TzvTapiCallParams::TzvTapiCallParams() : FDialParams(std::make_unique<TzvTapiDialParams>()) {}

TzvTapiCallParams::~TzvTapiCallParams() = default;

void TzvTapiCallParams::Default() {
  FBearerMode = LINEBEARERMODE_VOICE;
  FMinRate = 0;
  FMaxRate = 0;
  FMediaMode = LINEMEDIAMODE_INTERACTIVEVOICE;
  FCallParamFlags = 0;
  FAddressMode = LINEADDRESSMODE_ADDRESSID;
  FAddressID = 0;
  FDialParams->SetDialPause(0);
  FDialParams->SetDialSpeed(0);
  FDialParams->SetDigitDuration(0);
  FDialParams->SetWaitForDialtone(0);
  FOrigAddress.clear();
  FDisplayableAddress.clear();
  FCalledParty.clear();
  FComment.clear();
  FCallingPartyID.clear();
  FTargetAddress.clear();
  FNoAnswerTimeout = 0;
}

void TzvTapiCallParams::Assign(const TPersistent* Source) {
  const auto* source = dynamic_cast<const TzvTapiCallParams*>(Source);
  if (!source) return TPersistent::Assign(Source);
  FAddressID = source->FAddressID;
  FAddressMode = source->FAddressMode;
  FBearerMode = source->FBearerMode;
  FCalledParty = source->FCalledParty;
  FCallingPartyID = source->FCallingPartyID;
  FComment = source->FComment;
  FDialParams->Assign(source->FDialParams.get());
  FDisplayableAddress = source->FDisplayableAddress;
  FCallParamFlags = source->FCallParamFlags;
  FMaxRate = source->FMaxRate;
  FMediaMode = source->FMediaMode;
  FMinRate = source->FMinRate;
  FNoAnswerTimeout = source->FNoAnswerTimeout;
  FOrigAddress = source->FOrigAddress;
  FTargetAddress = source->FTargetAddress;
  FUserUserInfo = source->FUserUserInfo;
}

bool TzvTapiCallParams::GetFlagBit(int Index) const {
  if (Index < 0 || Index > 7) return false;
  return (FCallParamFlags & (1u << Index)) != 0;
}

void TzvTapiCallParams::SetFlagBit(int Index, bool Value) {
  if (Index < 0 || Index > 7) return;
  if (Value) {
    FCallParamFlags |= 1u << Index;
  } else {
    FCallParamFlags &= ~(1u << Index);
  }
}

LINECALLPARAMS* TzvTapiCallParams::TapiData() {
  FPARAMS.Free();
  struct Text {
    const std::string& value;
    Cardinal sizeField;
  };
  // The variable part's order.
  const Text texts[] = {
      {FCalledParty, offsetof(LINECALLPARAMS, dwCalledPartySize)},
      {FCallingPartyID, offsetof(LINECALLPARAMS, dwCallingPartyIDSize)},
      {FComment, offsetof(LINECALLPARAMS, dwCommentSize)},
      {FDisplayableAddress, offsetof(LINECALLPARAMS, dwDisplayableAddressSize)},
      {FOrigAddress, offsetof(LINECALLPARAMS, dwOrigAddressSize)},
      {FTargetAddress, offsetof(LINECALLPARAMS, dwTargetAddressSize)},
      {FUserUserInfo, offsetof(LINECALLPARAMS, dwUserUserInfoSize)},
  };
  std::u16string wide[std::size(texts)];
  Cardinal textBytes = 0;
  for (size_t i = 0; i < std::size(texts); ++i) {
    if (texts[i].value.empty()) continue;
    wide[i] = platform::Utf8ToWide(texts[i].value);
    textBytes += static_cast<Cardinal>((wide[i].size() + 1) * 2);
  }
  const Cardinal total = RoundUp(sizeof(LINECALLPARAMS) + textBytes, 4);
  FPARAMS = AllocTapiStruct(total);
  auto* params = FPARAMS.As<LINECALLPARAMS>();
  params->dwBearerMode = FBearerMode;
  params->dwMinRate = FMinRate;
  params->dwMaxRate = FMaxRate;
  params->dwMediaMode = FMediaMode;
  params->dwCallParamFlags = FCallParamFlags;
  params->dwAddressMode = FAddressMode;
  params->dwAddressID = FAddressID;
  params->DialParams = *FDialParams->TapiData();
  params->dwNoAnswerTimeout = FNoAnswerTimeout;
  Cardinal offset = sizeof(LINECALLPARAMS);
  auto* bytes = static_cast<uint8_t*>(FPARAMS.Data());
  for (size_t i = 0; i < std::size(texts); ++i) {
    if (texts[i].value.empty()) continue;
    const auto size = static_cast<Cardinal>((wide[i].size() + 1) * 2);
    std::memcpy(bytes + offset, wide[i].c_str(), size);
    FPARAMS.SetDWORD(texts[i].sizeField, size);
    FPARAMS.SetDWORD(texts[i].sizeField + 4, offset);
    offset += size;
  }
  return params;
}

// ---------------------------------------------------------------------------------------------
// Monitor options

void TzvTapiCallGatherDigitsOptions::Assign(const TPersistent* Source) {
  const auto* source = dynamic_cast<const TzvTapiCallGatherDigitsOptions*>(Source);
  if (!source) return TPersistent::Assign(Source);
  FDigitModes = source->FDigitModes;
  FTerminationDigits = source->FTerminationDigits;
  FFirstDigitTimeout = source->FFirstDigitTimeout;
  FInterDigitTimeout = source->FInterDigitTimeout;
  FNumDigits = source->FNumDigits;
}

void TzvTapiCallDigitMonitorOptions::Assign(const TPersistent* Source) {
  const auto* source = dynamic_cast<const TzvTapiCallDigitMonitorOptions*>(Source);
  if (!source) return TPersistent::Assign(Source);
  SetDigitModes(source->FDigitModes);
  FAutoSelect = source->FAutoSelect;
}

void TzvTapiCallMediaMonitorOptions::Assign(const TPersistent* Source) {
  const auto* source = dynamic_cast<const TzvTapiCallMediaMonitorOptions*>(Source);
  if (!source) return TPersistent::Assign(Source);
  SetMediaModes(source->FMediaModes);
}

void TzvTapiCallSilenceMonitorOptions::Assign(const TPersistent* Source) {
  if (const auto* source = dynamic_cast<const TzvTapiCallSilenceMonitorOptions*>(Source)) {
    FDuration = source->FDuration;
  }
}

// ---------------------------------------------------------------------------------------------
// TzvTapiCallOptions

TzvTapiCallOptions::TzvTapiCallOptions()
    : FGatherDigits(std::make_unique<TzvTapiCallGatherDigitsOptions>()),
      FMonitorDigits(std::make_unique<TzvTapiCallDigitMonitorOptions>()),
      FMonitorMedia(std::make_unique<TzvTapiCallMediaMonitorOptions>()),
      FMonitorSilence(std::make_unique<TzvTapiCallSilenceMonitorOptions>()) {}

TzvTapiCallOptions::~TzvTapiCallOptions() = default;

}  // namespace zvtapi
