// The addresses of a line device: one TzvTapiAddress per address ID with its capability
// (LINEADDRESSCAPS) and status (LINEADDRESSSTATUS) caches, and the list the line keeps them in.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tapi/call_params.h"
#include "tapi/forward.h"
#include "tapi/struct_cache.h"
#include "tapi32/tapi_structs.h"

namespace zvtapi {

class TzvCustomTapiLine;
class TzvTapiAddress;
class TzvTapiCall;

// LINEADDRESSCAPS of one address, fetched with lineGetAddressCapsW for the versions the line
// negotiated. Works while the line is closed.
class TzvTapiAddressCaps : public TzvTapiStructCache {
 public:
  // Asserts that the owner is given; fetches nothing.
  explicit TzvTapiAddressCaps(TzvTapiAddress* AOwner);
  ~TzvTapiAddressCaps() override;

  TzvTapiAddress* Owner() const { return FAddress; }

  // Also drops the device class list built from the dropped structure.
  void Invalidate() override;

  // Index 0..51 as below; 0 when nothing can be fetched. With a structure at hand any other
  // index fails the assertion "TzvTapiAddressCaps.Get_DWORD failed! Invalid index".
  Cardinal Get_DWORD(Integer Index);
  // Index 0 is the address text, read as UTF-16; empty when nothing can be fetched. With a
  // structure at hand any other index fails "TzvTapiAddressCaps.GetString failed! Invalid
  // index".
  std::string GetString(Integer Index);
  // The NUL-separated device class names; built once per fetched structure and owned here
  // (emptied by Invalidate). Empty when the capabilities cannot be fetched.
  const TStringList& DeviceClasses();
  // The fetched structure; null when the fetch failed.
  const ::LINEADDRESSCAPS* LINEADDRESSCAPS();

  std::string Address() { return GetString(0); }

  Cardinal LineDeviceID() { return Get_DWORD(0); }
  Cardinal AddressSize() { return Get_DWORD(1); }
  Cardinal AddressOffset() { return Get_DWORD(2); }
  Cardinal AddressSharing() { return Get_DWORD(3); }
  Cardinal AddressStates() { return Get_DWORD(4); }
  Cardinal CallInfoStates() { return Get_DWORD(5); }
  Cardinal CallerIDFlags() { return Get_DWORD(6); }
  Cardinal CalledIDFlags() { return Get_DWORD(7); }
  Cardinal ConnectedIDFlags() { return Get_DWORD(8); }
  Cardinal RedirectionIDFlags() { return Get_DWORD(9); }
  Cardinal RedirectingIDFlags() { return Get_DWORD(10); }
  Cardinal CallStates() { return Get_DWORD(11); }
  Cardinal DialToneModes() { return Get_DWORD(12); }
  Cardinal BusyModes() { return Get_DWORD(13); }
  Cardinal SpecialInfo() { return Get_DWORD(14); }
  Cardinal DisconnectModes() { return Get_DWORD(15); }
  Cardinal MaxNumActiveCalls() { return Get_DWORD(16); }
  Cardinal MaxNumOnHoldCalls() { return Get_DWORD(17); }
  Cardinal MaxNumOnHoldPendingCalls() { return Get_DWORD(18); }
  Cardinal MaxNumConference() { return Get_DWORD(19); }
  Cardinal MaxNumTransConf() { return Get_DWORD(20); }
  Cardinal AddrCapFlags() { return Get_DWORD(21); }
  Cardinal CallFeatures() { return Get_DWORD(22); }
  Cardinal RemoveFromConfCaps() { return Get_DWORD(23); }
  Cardinal RemoveFromConfState() { return Get_DWORD(24); }
  Cardinal TransferModes() { return Get_DWORD(25); }
  Cardinal ParkModes() { return Get_DWORD(26); }
  Cardinal ForwardModes() { return Get_DWORD(27); }
  Cardinal MaxForwardEntries() { return Get_DWORD(28); }
  Cardinal MaxSpecificEntries() { return Get_DWORD(29); }
  Cardinal MinFwdNumRings() { return Get_DWORD(30); }
  Cardinal MaxFwdNumRings() { return Get_DWORD(31); }
  Cardinal MaxCallCompletions() { return Get_DWORD(32); }
  Cardinal CallCompletionConds() { return Get_DWORD(33); }
  Cardinal CallCompletionModes() { return Get_DWORD(34); }
  Cardinal NumCompletionMessages() { return Get_DWORD(35); }
  Cardinal CompletionMsgTextEntrySize() { return Get_DWORD(36); }
  Cardinal CompletionMsgTextSize() { return Get_DWORD(37); }
  Cardinal CompletionMsgTextOffset() { return Get_DWORD(38); }
  Cardinal AddressFeatures() { return Get_DWORD(39); }
  Cardinal PredictiveAutoTransferStates() { return Get_DWORD(40); }
  Cardinal NumCallTreatments() { return Get_DWORD(41); }
  Cardinal CallTreatmentListSize() { return Get_DWORD(42); }
  Cardinal CallTreatmentListOffset() { return Get_DWORD(43); }
  Cardinal DeviceClassesSize() { return Get_DWORD(44); }
  Cardinal DeviceClassesOffset() { return Get_DWORD(45); }
  Cardinal MaxCallDataSize() { return Get_DWORD(46); }
  Cardinal CallFeatures2() { return Get_DWORD(47); }
  Cardinal MaxNoAnswerTimeout() { return Get_DWORD(48); }
  Cardinal ConnectedModes() { return Get_DWORD(49); }
  Cardinal OfferingModes() { return Get_DWORD(50); }
  Cardinal AvailableMediaModes() { return Get_DWORD(51); }

 protected:
  int32_t Query(void* structure) override;

 private:
  TzvTapiAddress* FAddress;
  // Lives as long as this object so that references handed out stay valid; its contents
  // belong to the cached structure.
  TStringList FDeviceClasses;
  bool FDeviceClassesBuilt = false;
};

// LINEADDRESSSTATUS of one address, fetched with lineGetAddressStatusW on the line's current
// handle; only an open line can be asked. Update re-reads TAPI even when a structure is cached.
class TzvTapiAddressStatus : public TzvTapiStructCache {
 public:
  explicit TzvTapiAddressStatus(TzvTapiAddress* AOwner);

  TzvTapiAddress* Owner() const { return FAddress; }

  // Index 0..8 as below; 0 when nothing can be fetched. With a structure at hand any other
  // index fails the assertion "TzvTapiAddressStatus.Get_DWORD failed! Invalid Index".
  Cardinal Get_DWORD(Integer Index);
  // The fetched structure; null when the fetch failed.
  const ::LINEADDRESSSTATUS* LINEADDRESSSTATUS();

  Cardinal NumInUse() { return Get_DWORD(0); }
  Cardinal NumActiveCalls() { return Get_DWORD(1); }
  Cardinal NumOnHoldCalls() { return Get_DWORD(2); }
  Cardinal NumOnHoldPendCalls() { return Get_DWORD(3); }
  Cardinal AddressFeatures() { return Get_DWORD(4); }
  Cardinal NumRingsNoAnswer() { return Get_DWORD(5); }
  Cardinal ForwardNumEntries() { return Get_DWORD(6); }
  Cardinal ForwardSize() { return Get_DWORD(7); }
  Cardinal ForwardOffset() { return Get_DWORD(8); }

  // The forwarding in force, asked of TAPI again on every read. The list is this object's and
  // is refreshed in place: entries are reused, so references to them stay valid while the list
  // does not shrink below them. Empty when the status cannot be fetched.
  TzvTapiForwardList& ForwardList();
  // The fetched structure when it can be read as far as it claims; null otherwise.
  const ::LINEADDRESSSTATUS* ForwardSource();

 protected:
  int32_t Query(void* structure) override;

 private:
  TzvTapiAddress* FAddress;
  std::unique_ptr<TzvTapiForwardList> FForwardList;  // created on first use
};

// One address of a line: its ID (also its position in the line's address list), its caches,
// and its display name.
class TzvTapiAddress : public TObject {
 public:
  // Creates the status cache, then the capability cache; fetches nothing.
  TzvTapiAddress(TzvCustomTapiLine* Line, Cardinal AddressID);
  ~TzvTapiAddress() override;
  TzvTapiAddress(const TzvTapiAddress&) = delete;
  TzvTapiAddress& operator=(const TzvTapiAddress&) = delete;

  // Asserts that the line is set; drops both caches; returns 0.
  Cardinal Init();
  // Takes over what a program sets on an address (its Tag); the line, the ID and the caches
  // stay this address's own.
  void Assign(const TzvTapiAddress& Source);

  Integer AddressID() const { return FAddressID; }
  TzvTapiAddressCaps* Caps() const { return FCaps.get(); }
  TzvTapiAddressStatus* Status() const { return FStatus.get(); }
  TzvCustomTapiLine* Line() const { return FLine; }
  Integer Tag() const { return FTag; }
  void SetTag(Integer Value) { FTag = Value; }

  // The capability text Address; "Address <ID>" when it is empty or cannot be fetched.
  std::string AddressName();

  // The capability structure as cached, without fetching; null when nothing is cached.
  const ::LINEADDRESSCAPS* LINEADDRESSCAPS() const;
  // The status structure, fetched when needed; null when the fetch failed.
  const ::LINEADDRESSSTATUS* LINEADDRESSSTATUS();

  // A LINE_ADDRESSSTATE report for this address: a capability change drops the capabilities,
  // any other change the status.
  void AddressStateChanged(Cardinal AddressStates);

  // Status index 0..6 (NumInUse .. ForwardNumEntries); any other index fails the assertion
  // "TzvTapiAddress.Get_StatusDWORD: Invalid index".
  Cardinal Get_StatusDWORD(Integer Index);
  Cardinal NumInUse() { return Get_StatusDWORD(0); }
  Cardinal NumActiveCalls() { return Get_StatusDWORD(1); }
  Cardinal NumOnHoldCalls() { return Get_StatusDWORD(2); }
  Cardinal NumOnHoldPendCalls() { return Get_StatusDWORD(3); }
  Cardinal AddressFeatures() { return Get_StatusDWORD(4); }
  Cardinal NumRingsNoAnswer() { return Get_StatusDWORD(5); }
  Cardinal ForwardNumEntries() { return Get_StatusDWORD(6); }

  // A call from this address: the line's call parameters with this address chosen.
  TzvTapiCall* MakeCall(const std::string& DestAddr);

  // The status' forwarding list (re-read from TAPI).
  TzvTapiForwardList& ForwardList() { return FStatus->ForwardList(); }
  // Sets the forwarding of this address to the list's entries, or cancels it without a list.
  // The call parameters, when given, are kept with the address until the next change. Raises
  // what the line's ForwardAddress raises.
  void ChangeForwardList(TzvTapiForwardList* ForwardList, Cardinal NumRingsNoAnswer,
                         const TzvTapiCallParams* CallParams);
  // Forwards every call of this address to DestAddress; an empty DestAddress sends a list
  // without entries.
  void ForwardTo(const std::string& DestAddress);
  // The consultation call TAPI opened for the last forwarding change (0: none, or no reply
  // yet).
  Cardinal ForwardCallHandle() const { return FForwardCallHandle; }
  // The call parameters kept from the last forwarding change that had any; none otherwise.
  const TzvTapiCallParams* ForwardCallParams() const { return FForwardCallParams.get(); }

 private:
  friend class TzvCustomTapiLine;

  Integer FAddressID;
  std::unique_ptr<TzvTapiAddressCaps> FCaps;
  std::unique_ptr<TzvTapiCallParams> FForwardCallParams;
  // Where the reply of a forwarding request puts the consultation call's handle. TAPI itself
  // writes into a cell of the line, which outlives this address while the request is pending.
  Cardinal FForwardCallHandle = 0;
  TzvCustomTapiLine* FLine;
  std::unique_ptr<TzvTapiAddressStatus> FStatus;
  Integer FTag = 0;
};

// The line's addresses in address-ID order; owns them.
class TzvTapiAddressList {
 public:
  explicit TzvTapiAddressList(TzvCustomTapiLine* Line) : FLine(Line) {}

  TzvCustomTapiLine* Line() const { return FLine; }
  int Count() const { return static_cast<int>(FItems.size()); }
  // Raises "List index out of bounds (%d)" for an index outside the list.
  TzvTapiAddress* Get(int Index) const;
  // Replaces (and frees) the entry at Index.
  void Put(int Index, std::unique_ptr<TzvTapiAddress> Item);
  int Add(std::unique_ptr<TzvTapiAddress> Item);
  void Delete(int Index);
  void Clear() { FItems.clear(); }
  // The addresses stand for the line's own address IDs, so the list keeps its objects: each
  // takes over the settings of the source's address with the same ID (Assign); the others stay
  // as they are, and source addresses with IDs this line lacks are ignored.
  void Assign(const TzvTapiAddressList& Source);
  // Drops the status cache of every address, in list order.
  void InvalidateStatus();

 private:
  TzvCustomTapiLine* FLine;
  std::vector<std::unique_ptr<TzvTapiAddress>> FItems;
};

}  // namespace zvtapi
