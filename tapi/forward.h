// Call forwarding: one forwarding entry (TzvTapiForward) and a list of them
// (TzvTapiForwardList), which builds the LINEFORWARDLIST lineForwardW takes and is filled from the
// LINEFORWARD entries of an address status.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tapi/types.h"
#include "tapi32/tapi_structs.h"

namespace zvtapi {

class TzvTapiForward : public TObject {
 public:
  TzvTapiForward() = default;
  ~TzvTapiForward() override;
  TzvTapiForward(const TzvTapiForward&) = delete;
  TzvTapiForward& operator=(const TzvTapiForward&) = delete;

  // Mode 0, country code 0, both addresses empty.
  void Clear();
  // Clears, then copies entry Index of the status' LINEFORWARD array. Everything the provider
  // wrote is checked against the part of the structure it filled (dwUsedSize): an index beyond
  // dwForwardNumEntries or an entry outside that part leaves the entry clear, a text outside it
  // reads as empty.
  void AssignLINEFORWARD(const ::LINEADDRESSSTATUS* AddressStatus, Cardinal Index);

  Cardinal ForwardMode() const { return FForwardMode; }
  void SetForwardMode(Cardinal Value) { FForwardMode = Value; }
  const std::string& CallerAddress() const { return FCallerAddress; }
  void SetCallerAddress(const std::string& Value) { FCallerAddress = Value; }
  Cardinal DestCountryCode() const { return FDestCountryCode; }
  void SetDestCountryCode(Cardinal Value) { FDestCountryCode = Value; }
  const std::string& DestAddress() const { return FDestAddress; }
  void SetDestAddress(const std::string& Value) { FDestAddress = Value; }

 private:
  // A LINEFORWARD block of the entry's own; nothing here fills it, but it is freed with the entry.
  std::unique_ptr<uint8_t[]> FForward;
  Cardinal FForwardMode = 0;
  std::string FCallerAddress;
  Cardinal FDestCountryCode = 0;
  std::string FDestAddress;
};

// The LINEFORWARD entries an address status really holds: dwForwardNumEntries, but no more than
// lie inside the part of the structure the provider filled.
Cardinal ForwardEntryCount(const ::LINEADDRESSSTATUS* AddressStatus);

// Forwarding entries in order; owns them.
class TzvTapiForwardList {
 public:
  TzvTapiForwardList() = default;
  ~TzvTapiForwardList();
  TzvTapiForwardList(const TzvTapiForwardList&) = delete;
  TzvTapiForwardList& operator=(const TzvTapiForwardList&) = delete;

  int Count() const { return static_cast<int>(FItems.size()); }
  // Appends; the list owns the entry. Its position.
  int Add(std::unique_ptr<TzvTapiForward> Item);
  // A new entry with these values, appended.
  TzvTapiForward* AddEntry(Cardinal ForwardMode, const std::string& CallerAddress,
                           Cardinal DestCountryCode, const std::string& DestAddress);
  // Raises "List index out of bounds (%d)" for an index outside the list.
  TzvTapiForward* Get(int Index) const;
  // Replaces (and frees) the entry at Index.
  void Put(int Index, std::unique_ptr<TzvTapiForward> Item);
  // Frees the entry at Index.
  void Delete(int Index);
  void Clear() { FItems.clear(); }

  // The entries as a LINEFORWARDLIST; owned by the list and valid until the next TapiData read
  // or the list's end. An empty list gives the 32-byte structure with no entries.
  const ::LINEFORWARDLIST* TapiData();

 private:
  std::vector<std::unique_ptr<TzvTapiForward>> FItems;
  std::unique_ptr<uint8_t[]> FLINEFORWARDLIST;
};

}  // namespace zvtapi
