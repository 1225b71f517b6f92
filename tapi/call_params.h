// Call parameters and per-call options: the settings a line copies into every call it makes
// (TzvTapiCallOptions), the default parameters of the calls it places (TzvTapiLineCallParams),
// the dial timing inside them (TzvTapiDialParams), and the option halves of the call's digit,
// media and silence monitors.
#pragma once

#include <memory>
#include <string>

#include "tapi/structures.h"
#include "tapi/types.h"
#include "tapi32/tapi.h"

namespace zvtapi {

// The toolkit's persistent object: Assign copies from a compatible object; any other source is
// refused with the toolkit's assignment error.
class TPersistent : public TObject {
 public:
  virtual void Assign(const TPersistent* Source);
  // The class name used in the assignment error.
  virtual const char* ClassName() const { return "TPersistent"; }
};

// Dial timing (LINEDIALPARAMS), all in milliseconds; 0 lets the provider choose.
class TzvTapiDialParams : public TPersistent {
 public:
  void Assign(const TPersistent* Source) override;
  const char* ClassName() const override { return "TzvTapiDialParams"; }

  Cardinal DialPause() const { return FDialPause; }
  void SetDialPause(Cardinal Value) { FDialPause = Value; }
  Cardinal DialSpeed() const { return FDialSpeed; }
  void SetDialSpeed(Cardinal Value) { FDialSpeed = Value; }
  Cardinal DigitDuration() const { return FDigitDuration; }
  void SetDigitDuration(Cardinal Value) { FDigitDuration = Value; }
  Cardinal WaitForDialtone() const { return FWaitForDialtone; }
  void SetWaitForDialtone(Cardinal Value) { FWaitForDialtone = Value; }
  // The structure, refilled from the four values on every read; owned by this object.
  LINEDIALPARAMS* TapiData();

 private:
  std::unique_ptr<LINEDIALPARAMS> FPARAMS;
  Cardinal FDialPause = 0;
  Cardinal FDialSpeed = 0;
  Cardinal FDigitDuration = 0;
  Cardinal FWaitForDialtone = 0;
};

class TzvTapiCallParams : public TPersistent {
 public:
  TzvTapiCallParams();
  ~TzvTapiCallParams() override;

  void Assign(const TPersistent* Source) override;
  const char* ClassName() const override { return "TzvTapiCallParams"; }
  // Restores the defaults; UserUserInfo stays.
  void Default();

  Cardinal AddressID() const { return FAddressID; }
  void SetAddressID(Cardinal Value) { FAddressID = Value; }
  Cardinal AddressMode() const { return FAddressMode; }
  void SetAddressMode(Cardinal Value) { FAddressMode = Value; }
  Cardinal BearerMode() const { return FBearerMode; }
  void SetBearerMode(Cardinal Value) { FBearerMode = Value; }
  const std::string& CalledParty() const { return FCalledParty; }
  void SetCalledParty(const std::string& Value) { FCalledParty = Value; }
  const std::string& CallingPartyID() const { return FCallingPartyID; }
  void SetCallingPartyID(const std::string& Value) { FCallingPartyID = Value; }
  Cardinal Flags() const { return FCallParamFlags; }
  void SetFlags(Cardinal Value) { FCallParamFlags = Value; }
  // Bit 1 shl Index of Flags for Index 0..7; other indices read false and ignore writes.
  bool GetFlagBit(int Index) const;
  void SetFlagBit(int Index, bool Value);
  bool BlockID() const { return GetFlagBit(2); }
  void SetBlockID(bool Value) { SetFlagBit(2, Value); }
  const std::string& Comment() const { return FComment; }
  void SetComment(const std::string& Value) { FComment = Value; }
  TzvTapiDialParams& DialParams() { return *FDialParams; }
  const TzvTapiDialParams& DialParams() const { return *FDialParams; }
  const std::string& DisplayableAddress() const { return FDisplayableAddress; }
  void SetDisplayableAddress(const std::string& Value) { FDisplayableAddress = Value; }
  Cardinal MaxRate() const { return FMaxRate; }
  void SetMaxRate(Cardinal Value) { FMaxRate = Value; }
  Cardinal MediaMode() const { return FMediaMode; }
  void SetMediaMode(Cardinal Value) { FMediaMode = Value; }
  Cardinal MinRate() const { return FMinRate; }
  void SetMinRate(Cardinal Value) { FMinRate = Value; }
  Cardinal NoAnswerTimeout() const { return FNoAnswerTimeout; }
  void SetNoAnswerTimeout(Cardinal Value) { FNoAnswerTimeout = Value; }
  const std::string& OrigAddress() const { return FOrigAddress; }
  void SetOrigAddress(const std::string& Value) { FOrigAddress = Value; }
  const std::string& TargetAddress() const { return FTargetAddress; }
  void SetTargetAddress(const std::string& Value) { FTargetAddress = Value; }
  const std::string& UserUserInfo() const { return FUserUserInfo; }
  void SetUserUserInfo(const std::string& Value) { FUserUserInfo = Value; }

  // Builds a fresh LINECALLPARAMS; it stays valid until the next read or the object's end.
  LINECALLPARAMS* TapiData();

 private:
  Cardinal FAddressID = 0;
  Cardinal FAddressMode = LINEADDRESSMODE_ADDRESSID;
  Cardinal FBearerMode = LINEBEARERMODE_VOICE;
  std::string FCalledParty;
  std::string FCallingPartyID;
  Cardinal FCallParamFlags = 0;
  std::string FComment;
  std::unique_ptr<TzvTapiDialParams> FDialParams;
  std::string FDisplayableAddress;
  Cardinal FMaxRate = 0;
  Cardinal FMediaMode = LINEMEDIAMODE_INTERACTIVEVOICE;
  Cardinal FMinRate = 0;
  Cardinal FNoAnswerTimeout = 0;
  std::string FOrigAddress;
  TTapiStruct FPARAMS;
  std::string FTargetAddress;
  std::string FUserUserInfo;
};

// The defaults a line's stored settings hold for the calls it makes.
class TzvTapiLineCallParams : public TzvTapiCallParams {
 public:
  const char* ClassName() const override { return "TzvTapiLineCallParams"; }
};

// Digit gathering settings; the received digits belong to a running gathering.
class TzvTapiCallGatherDigitsOptions : public TPersistent {
 public:
  void Assign(const TPersistent* Source) override;
  const char* ClassName() const override { return "TzvTapiCallGatherDigitsOptions"; }
  Cardinal DigitModes() const { return FDigitModes; }
  void SetDigitModes(Cardinal Value) { FDigitModes = Value; }
  const std::string& TerminationDigits() const { return FTerminationDigits; }
  void SetTerminationDigits(const std::string& Value) { FTerminationDigits = Value; }
  Cardinal FirstDigitTimeout() const { return FFirstDigitTimeout; }
  void SetFirstDigitTimeout(Cardinal Value) { FFirstDigitTimeout = Value; }
  Cardinal InterDigitTimeout() const { return FInterDigitTimeout; }
  void SetInterDigitTimeout(Cardinal Value) { FInterDigitTimeout = Value; }
  Cardinal NumDigits() const { return FNumDigits; }
  void SetNumDigits(Cardinal Value) { FNumDigits = Value; }

 protected:
  Cardinal FDigitModes = LINEDIGITMODE_DTMF;
  std::u16string FReceivedDigits;
  std::string FTerminationDigits = "*#";
  Cardinal FFirstDigitTimeout = 5000;
  Cardinal FInterDigitTimeout = 5000;
  Cardinal FNumDigits = 0;
};

class TzvTapiCallDigitMonitorOptions : public TPersistent {
 public:
  void Assign(const TPersistent* Source) override;
  const char* ClassName() const override { return "TzvTapiCallDigitMonitorOptions"; }
  Cardinal DigitModes() const { return FDigitModes; }
  virtual void SetDigitModes(Cardinal Value) { FDigitModes = Value; }
  bool AutoSelect() const { return FAutoSelect; }
  void SetAutoSelect(bool Value) { FAutoSelect = Value; }

 protected:
  Cardinal FDigitModes = LINEDIGITMODE_DTMF;
  bool FAutoSelect = false;
};

class TzvTapiCallMediaMonitorOptions : public TPersistent {
 public:
  void Assign(const TPersistent* Source) override;
  const char* ClassName() const override { return "TzvTapiCallMediaMonitorOptions"; }
  Cardinal MediaModes() const { return FMediaModes; }
  virtual void SetMediaModes(Cardinal Value) { FMediaModes = Value; }

 protected:
  Cardinal FMediaModes = 0;
};

class TzvTapiCallSilenceMonitorOptions : public TPersistent {
 public:
  // Copies from another silence monitor's options; anything else is ignored silently.
  void Assign(const TPersistent* Source) override;
  const char* ClassName() const override { return "TzvTapiCallSilenceMonitorOptions"; }
  Cardinal Duration() const { return FDuration; }
  void SetDuration(Cardinal Value) { FDuration = Value; }

 protected:
  Cardinal FDuration = 0;
};

// What a line copies into every call object it creates.
class TzvTapiCallOptions : public TPersistent {
 public:
  TzvTapiCallOptions();
  ~TzvTapiCallOptions() override;
  const char* ClassName() const override { return "TzvTapiCallOptions"; }

  bool AutoOwner() const { return FAutoOwner; }
  void SetAutoOwner(bool Value) { FAutoOwner = Value; }
  TzvTapiCallGatherDigitsOptions& GatherDigits() { return *FGatherDigits; }
  TzvTapiCallDigitMonitorOptions& MonitorDigits() { return *FMonitorDigits; }
  TzvTapiCallMediaMonitorOptions& MonitorMedia() { return *FMonitorMedia; }
  TzvTapiCallSilenceMonitorOptions& MonitorSilence() { return *FMonitorSilence; }

 private:
  bool FAutoOwner = true;
  std::unique_ptr<TzvTapiCallGatherDigitsOptions> FGatherDigits;
  std::unique_ptr<TzvTapiCallDigitMonitorOptions> FMonitorDigits;
  std::unique_ptr<TzvTapiCallMediaMonitorOptions> FMonitorMedia;
  std::unique_ptr<TzvTapiCallSilenceMonitorOptions> FMonitorSilence;
};

}  // namespace zvtapi
