// What hangs off a call object: its information (LINECALLINFO) and status (LINECALLSTATUS)
// caches, read field by field through an index, and the party identifications — caller,
// called, connected, redirection, redirecting, and the remote party chosen by call state.
#pragma once

#include <cstdint>
#include <string>

#include "tapi/struct_cache.h"
#include "tapi32/tapi_structs.h"

namespace zvtapi {

class TzvTapiCallInfo;

// What the information, status and party objects read from their call. The call object
// implements it; keeping it this narrow lets these objects be built and tested without a line.
class TzvTapiCallAccess {
 public:
  // The TAPI call handle; 0 when the call has none (then TAPI refuses every query).
  virtual Cardinal Handle() const = 0;
  // The call state as the call tracks it (LINECALLSTATE_*).
  virtual Cardinal State() const = 0;
  virtual TzvTapiCallInfo* Info() const = 0;
  // The direction and history predicates the remote party is chosen by.
  virtual bool IsIncoming() const = 0;
  virtual bool IsOutgoing() const = 0;
  virtual bool WasConnected() const = 0;
  virtual bool WasIncoming() const = 0;
  virtual bool WasOutgoing() const = 0;
  // The information or status object now holds a structure. A call drops its caches on every
  // state change; knowing when there is nothing to drop spares it a trip to their memory, which
  // on a line with thousands of calls has gone cold.
  virtual void CacheFilled() {}
  // A field read could not fetch the information or status and gives empty fields instead.
  virtual void FetchFailed(Cardinal /*Error*/) {}

 protected:
  ~TzvTapiCallAccess() = default;
};

// What the information and status caches share: their call, a refresh that keeps a cached
// structure, and fetches for field reads that tell the call when they fail.
class TzvTapiCallCache : public TzvTapiStructCache {
 public:
  TzvTapiCallAccess* Call() const { return FCall; }

  // Raises the fetch's TAPI error; a structure already cached is kept, not re-read.
  void Update() override;

 protected:
  // Asserts that the owner is given; fetches nothing.
  TzvTapiCallCache(TzvTapiCallAccess* AOwner, Cardinal initialSize);

  // For field reads: whether a structure is cached or could be fetched now. A failure is told
  // to the call once until a fetch succeeds again, so that a handler reading twenty fields of
  // a call TAPI cannot describe hears of it once. "Invalid call handle" is not told: the call
  // has gone, and its fields read as empty from then on.
  bool Fetched();
  void Filled() override;

  TzvTapiCallAccess* FCall;

 private:
  bool FFailureTold = false;
};

// LINECALLINFO of the call, fetched with lineGetCallInfoW.
class TzvTapiCallInfo : public TzvTapiCallCache {
 public:
  explicit TzvTapiCallInfo(TzvTapiCallAccess* AOwner);

  // Index 0..72 as below; 0 when nothing can be fetched. With a structure at hand any other
  // index fails the assertion "TzvTapiCallInfo.GetDWORD failed! Invalid index".
  Cardinal GetDWORD(Integer Index);
  // Index 0..20 as below, read as UTF-16 whatever dwStringFormat says; empty when nothing can
  // be fetched. With a structure at hand any other index fails "TzvTapiCallInfo.GetString
  // failed! Invalid index".
  std::string GetString(Integer Index);
  // The fetched structure; null when the fetch failed.
  const ::LINECALLINFO* LINECALLINFO();
  // The call data block inside the structure; null unless both its size and offset are set
  // and the block lies inside what TAPI returned.
  const void* CallData();

  Cardinal LineDeviceID() { return GetDWORD(0); }
  Cardinal AddressID() { return GetDWORD(1); }
  Cardinal BearerMode() { return GetDWORD(2); }
  Cardinal Rate() { return GetDWORD(3); }
  Cardinal MediaMode() { return GetDWORD(4); }
  Cardinal AppSpecific() { return GetDWORD(5); }
  Cardinal CallID() { return GetDWORD(6); }
  Cardinal RelatedCallID() { return GetDWORD(7); }
  Cardinal CallParamFlags() { return GetDWORD(8); }
  Cardinal CallStates() { return GetDWORD(9); }
  Cardinal MonitorDigitModes() { return GetDWORD(10); }
  Cardinal MonitorMediaModes() { return GetDWORD(11); }
  Cardinal Origin() { return GetDWORD(12); }
  Cardinal Reason() { return GetDWORD(13); }
  Cardinal CompletionID() { return GetDWORD(14); }
  Cardinal NumOwners() { return GetDWORD(15); }
  Cardinal NumMonitors() { return GetDWORD(16); }
  Cardinal CountryCode() { return GetDWORD(17); }
  Cardinal Trunk() { return GetDWORD(18); }
  Cardinal CallerIDFlags() { return GetDWORD(19); }
  Cardinal CallerIDSize() { return GetDWORD(20); }
  Cardinal CallerIDOffset() { return GetDWORD(21); }
  Cardinal CallerIDNameSize() { return GetDWORD(22); }
  Cardinal CallerIDNameOffset() { return GetDWORD(23); }
  Cardinal CalledIDFlags() { return GetDWORD(24); }
  Cardinal CalledIDSize() { return GetDWORD(25); }
  Cardinal CalledIDOffset() { return GetDWORD(26); }
  Cardinal CalledIDNameSize() { return GetDWORD(27); }
  Cardinal CalledIDNameOffset() { return GetDWORD(28); }
  Cardinal ConnectedIDFlags() { return GetDWORD(29); }
  Cardinal ConnectedIDSize() { return GetDWORD(30); }
  Cardinal ConnectedIDOffset() { return GetDWORD(31); }
  Cardinal ConnectedIDNameSize() { return GetDWORD(32); }
  Cardinal ConnectedIDNameOffset() { return GetDWORD(33); }
  Cardinal RedirectionIDFlags() { return GetDWORD(34); }
  Cardinal RedirectionIDSize() { return GetDWORD(35); }
  Cardinal RedirectionIDOffset() { return GetDWORD(36); }
  Cardinal RedirectionIDNameSize() { return GetDWORD(37); }
  Cardinal RedirectionIDNameOffset() { return GetDWORD(38); }
  Cardinal RedirectingIDFlags() { return GetDWORD(39); }
  Cardinal RedirectingIDSize() { return GetDWORD(40); }
  Cardinal RedirectingIDOffset() { return GetDWORD(41); }
  Cardinal RedirectingIDNameSize() { return GetDWORD(42); }
  Cardinal RedirectingIDNameOffset() { return GetDWORD(43); }
  Cardinal AppNameSize() { return GetDWORD(44); }
  Cardinal AppNameOffset() { return GetDWORD(45); }
  Cardinal DisplayableAddressSize() { return GetDWORD(46); }
  Cardinal DisplayableAddressOffset() { return GetDWORD(47); }
  Cardinal CalledPartySize() { return GetDWORD(48); }
  Cardinal CalledPartyOffset() { return GetDWORD(49); }
  Cardinal CommentSize() { return GetDWORD(50); }
  Cardinal CommentOffset() { return GetDWORD(51); }
  Cardinal DisplaySize() { return GetDWORD(52); }
  Cardinal DisplayOffset() { return GetDWORD(53); }
  Cardinal UserUserInfoSize() { return GetDWORD(54); }
  Cardinal UserUserInfoOffset() { return GetDWORD(55); }
  Cardinal HighLevelCompSize() { return GetDWORD(56); }
  Cardinal HighLevelCompOffset() { return GetDWORD(57); }
  Cardinal LowLevelCompSize() { return GetDWORD(58); }
  Cardinal LowLevelCompOffset() { return GetDWORD(59); }
  Cardinal ChargingInfoSize() { return GetDWORD(60); }
  Cardinal ChargingInfoOffset() { return GetDWORD(61); }
  Cardinal TerminalModesSize() { return GetDWORD(62); }
  Cardinal TerminalModesOffset() { return GetDWORD(63); }
  Cardinal DevSpecificSize() { return GetDWORD(64); }
  Cardinal DevSpecificOffset() { return GetDWORD(65); }
  Cardinal CallTreatment() { return GetDWORD(66); }
  Cardinal CallDataSize() { return GetDWORD(67); }
  Cardinal CallDataOffset() { return GetDWORD(68); }
  Cardinal SendingFlowspecSize() { return GetDWORD(69); }
  Cardinal SendingFlowspecOffset() { return GetDWORD(70); }
  Cardinal ReceivingFlowspecSize() { return GetDWORD(71); }
  Cardinal ReceivingFlowspecOffset() { return GetDWORD(72); }

  std::string CallerID() { return GetString(0); }
  std::string CallerIDName() { return GetString(1); }
  std::string CalledID() { return GetString(2); }
  std::string CalledIDName() { return GetString(3); }
  std::string ConnectedID() { return GetString(4); }
  std::string ConnectedIDName() { return GetString(5); }
  std::string RedirectionID() { return GetString(6); }
  std::string RedirectionIDName() { return GetString(7); }
  std::string RedirectingID() { return GetString(8); }
  std::string RedirectingIDName() { return GetString(9); }
  std::string AppName() { return GetString(10); }
  std::string DisplayableAddress() { return GetString(11); }
  std::string CalledParty() { return GetString(12); }
  std::string Comment() { return GetString(13); }
  std::string Display() { return GetString(14); }
  std::string UserUserInfo() { return GetString(15); }
  std::string HighLevelComp() { return GetString(16); }
  std::string LowLevelComp() { return GetString(17); }
  std::string ChargingInfo() { return GetString(18); }
  std::string TerminalModes() { return GetString(19); }
  std::string DevSpecific() { return GetString(20); }

 protected:
  int32_t Query(void* structure) override;
};

// LINECALLSTATUS of the call, fetched with lineGetCallStatus.
class TzvTapiCallStatus : public TzvTapiCallCache {
 public:
  explicit TzvTapiCallStatus(TzvTapiCallAccess* AOwner);

  // Index 0..6 as below; 0 when nothing can be fetched. With a structure at hand any other
  // index fails the assertion "TzvTapiCallStatus.GetDWORD failed! Invalid index".
  Cardinal GetDWORD(Integer Index);
  // The fetched structure; null when the fetch failed.
  const ::LINECALLSTATUS* LINECALLSTATUS();

  Cardinal CallState() { return GetDWORD(0); }
  Cardinal CallStateMode() { return GetDWORD(1); }
  Cardinal CallPrivilege() { return GetDWORD(2); }
  Cardinal CallFeatures() { return GetDWORD(3); }
  Cardinal DevSpecificSize() { return GetDWORD(4); }
  Cardinal DevSpecificOffset() { return GetDWORD(5); }
  Cardinal CallFeatures2() { return GetDWORD(6); }

 protected:
  int32_t Query(void* structure) override;
};

// One party's identification: number, name and the LINECALLPARTYID_* flags.
class TzvTapiCallBasicPartyID : public TObject {
 public:
  // Asserts that the owner is given.
  explicit TzvTapiCallBasicPartyID(TzvTapiCallAccess* AOwner);

  TzvTapiCallAccess* Owner() const { return FOwner; }

  virtual std::string GetAddress() = 0;
  virtual Cardinal GetFlags() = 0;
  virtual std::string GetName() = 0;

  std::string Address() { return GetAddress(); }
  Cardinal Flags() { return GetFlags(); }
  std::string Name() { return GetName(); }

  // One bit of Flags each, evaluated on every read.
  bool Blocked() { return (Flags() & 0x1) != 0; }
  bool OutOfArea() { return (Flags() & 0x2) != 0; }
  bool NameAvail() { return (Flags() & 0x4) != 0; }
  bool AddressAvail() { return (Flags() & 0x8) != 0; }
  bool Partial() { return (Flags() & 0x10) != 0; }
  bool Unknown() { return (Flags() & 0x20) != 0; }
  bool Unavail() { return (Flags() & 0x40) != 0; }

 protected:
  TzvTapiCallAccess* FOwner;
};

// The party the selector names in the call information: 0 caller, 1 called, 2 connected,
// 3 redirection, 4 redirecting. A selector above 4 fails "TzvTapiCallPartyID: Invalid Id" on
// every read.
class TzvTapiCallPartyID : public TzvTapiCallBasicPartyID {
 public:
  TzvTapiCallPartyID(TzvTapiCallAccess* AOwner, uint8_t AID);

  uint8_t ID() const { return FID; }

  std::string GetAddress() override;
  Cardinal GetFlags() override;
  std::string GetName() override;

  // The party exists and has any of BLOCKED, NAME, ADDRESS or PARTIAL.
  static bool HasPartyInfo(TzvTapiCallPartyID* Party);

 private:
  uint8_t FID;
};

// The other side of the call in its current state: the caller while offered, the called
// party while dialing, afterwards whichever of connected, caller or called identification
// is known. Reads as empty text and 0 flags when no party applies.
class TzvTapiCallRemoteID : public TzvTapiCallBasicPartyID {
 public:
  explicit TzvTapiCallRemoteID(TzvTapiCallAccess* AOwner);

  std::string GetAddress() override;
  Cardinal GetFlags() override;
  std::string GetName() override;

  // The party chosen by the owner's state; null when none applies. The result is one of this
  // object's own views on the call information and stays valid as long as this object.
  TzvTapiCallPartyID* SelectParty();

 private:
  // Views on the owner's information; they hold no data, so they read the same as the call's
  // own party objects.
  TzvTapiCallPartyID FCaller;
  TzvTapiCallPartyID FCalled;
  TzvTapiCallPartyID FConnected;
};

}  // namespace zvtapi
