// Asynchronous requests: one record per outstanding TAPI request on the device that started
// it (matched to its LINE_REPLY / PHONE_REPLY, given up after its time-out, annotated with
// notes), the same record as a one-shot timer event, the device-specific data blocks, and the
// synchronous wait for a reply.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "tapi/protected_list.h"
#include "tapi/string_list.h"
#include "tapi/types.h"

namespace zvtapi {

class TzvTapiDevice;
class TzvTapiCall;
class TzvTapiAddress;

// Request types: line requests 0x01000000 + n, phone requests 0x02000000 + n, timer events small.
enum : Cardinal {
  TAPIREQUEST_NONE = 0,
  TAPITIMER_FREEIDLECALL = 2,
  TAPITIMER_DROPDISCCALL = 3,
  TAPIREQUEST_LINEACCEPT = 0x01000001,
  TAPIREQUEST_LINEADDTOCONFERENCE = 0x01000002,
  TAPIREQUEST_LINEANSWER = 0x01000003,
  TAPIREQUEST_LINEBLINDTRANSFER = 0x01000004,
  TAPIREQUEST_LINECOMPLETECALL = 0x01000005,
  TAPIREQUEST_LINECOMPLETETRANSFER = 0x01000006,
  TAPIREQUEST_LINEDEVSPECIFIC = 0x01000007,
  TAPIREQUEST_LINEDEVSPECIFICFEATURE = 0x01000008,
  TAPIREQUEST_LINEDIAL = 0x01000009,
  TAPIREQUEST_LINEDROP = 0x0100000A,
  TAPIREQUEST_LINEFORWARD = 0x0100000B,
  TAPIREQUEST_LINEHANDOFF = 0x0100000C,
  TAPIREQUEST_LINEHOLD = 0x0100000D,
  TAPIREQUEST_LINEMAKECALL = 0x0100000E,
  TAPIREQUEST_LINEMONITORMEDIA = 0x0100000F,
  TAPIREQUEST_LINEPARK = 0x01000010,
  TAPIREQUEST_LINEPREPAREADDTOCONFERENCE = 0x01000011,
  TAPIREQUEST_LINEREDIRECT = 0x01000012,
  TAPIREQUEST_LINEREMOVEFROMCONFERENCE = 0x01000013,
  TAPIREQUEST_LINESETCALLDATA = 0x01000014,
  TAPIREQUEST_LINESETUPCONFERENCE = 0x01000015,
  TAPIREQUEST_LINESETUPTRANSFER = 0x01000016,
  TAPIREQUEST_LINESWAPHOLD = 0x01000017,
  TAPIREQUEST_LINEUNCOMPLETECALL = 0x01000018,
  TAPIREQUEST_LINEUNHOLD = 0x01000019,
  TAPIREQUEST_LINEUNPARK = 0x0100001A,
  TAPIREQUEST_LINEPICKUP = 0x0100001B,
  TAPIREQUEST_PHONESETDISPLAY = 0x02000001,
  TAPIREQUEST_PHONESETGAIN = 0x02000002,
  TAPIREQUEST_PHONESETHOOKSWITCH = 0x02000003,
  TAPIREQUEST_PHONESETLAMP = 0x02000004,
  TAPIREQUEST_PHONESETRING = 0x02000006,
  TAPIREQUEST_PHONESETVOLUME = 0x02000007,
  TAPIREQUEST_PHONEDEVSPECIFIC = 0x02000008,
};

// A note value: an integer, an unsigned integer, a byte string or a string. The unsigned
// integer is 64 bits wide because the pseudo-notes hand out object references as numbers.
using TzvTapiNoteValue = std::variant<Integer, uint64_t, std::vector<uint8_t>, std::string>;

class TzvTapiRequest : public TObject {
 public:
  TzvTapiRequest(Integer aID, Cardinal aTimeout);

  Cardinal RequestType() const { return FRequestType; }
  void SetRequestType(Cardinal value) { FRequestType = value; }
  Cardinal Timeout() const { return FTimeout; }
  void SetTimeout(Cardinal value) { FTimeout = value; }
  Integer Tag() const { return FTag; }
  void SetTag(Integer value) { FTag = value; }
  TObject* GetObject(int Index) const { return FObjects.at(static_cast<size_t>(Index)); }
  void SetObject(int Index, TObject* Obj) { FObjects.at(static_cast<size_t>(Index)) = Obj; }
  // The object at Index when it is a call, otherwise none.
  TzvTapiCall* Get_Call(int index) const;
  std::string Get_Note(const std::string& Note) const;
  void Set_Note(const std::string& Note, const std::string& Value);
  // Due at Now: a time-out was set and it has passed. Tick counts wrap every 49.7 days, so the
  // comparison is a signed difference.
  bool IsDue(Cardinal Now) const;

  Cardinal FID;
  Cardinal FRequestType = 0;
  Cardinal FTimeout;
  Cardinal FTickCount;
  std::array<TObject*, 3> FObjects{};
  Integer FTag = 0;
  bool FHandled = false;
  TStringList FNotes;
};

class TzvTapiRequestList : public TProtectedObjectList<TzvTapiRequest> {
 public:
  ~TzvTapiRequestList();
  // aID <= 0 takes the smallest free positive ID.
  TzvTapiRequest* AddRequest(Integer aID, Cardinal aTimeout);
  // First request matching every given criterion (0 / none match anything; Obj is object 0).
  int IndexOfRequest(Cardinal ID, Cardinal RequestType, const TObject* Obj) const;
  TzvTapiRequest* GetRequest(Integer RequestID) const;
  int IndexOfID(Cardinal ID) const;
  // Position of Request while it is still listed under ID; -1 once it has gone. Handlers may
  // free a request and start another that lands at the same address, so code that ran
  // handlers asks for both.
  int IndexOfEntry(const TzvTapiRequest* Request, Cardinal ID) const;
  // Frees every request whose object 0 is Target; with none, every request.
  void RemoveAllRequests(const TObject* Target);

 private:
  Cardinal NewRequestID() const;
};

// A private copy of a device-specific data block that TAPI answers into.
class TzvTapiDevSpecificData : public TObject {
 public:
  TzvTapiDevSpecificData(const void* Data, Cardinal DataSize);
  void* Data() { return FData.data(); }
  const void* Data() const { return FData.data(); }
  Cardinal DataSize() const { return static_cast<Cardinal>(FData.size()); }
  // The request TAPI answers into this block; it tells the block from a later one that a
  // handler's new request placed at the same address.
  Cardinal RequestID() const { return FRequestID; }
  void SetRequestID(Cardinal Value) { FRequestID = Value; }

 private:
  std::vector<uint8_t> FData;
  Cardinal FRequestID = 0;
};

class TzvTapiLineDevSpecificData : public TzvTapiDevSpecificData {
 public:
  using TzvTapiDevSpecificData::TzvTapiDevSpecificData;
  TzvTapiAddress* Address() const { return FAddress; }
  void SetAddress(TzvTapiAddress* v) { FAddress = v; }
  TzvTapiCall* Call() const { return FCall; }
  void SetCall(TzvTapiCall* v) { FCall = v; }

 private:
  TzvTapiAddress* FAddress = nullptr;
  TzvTapiCall* FCall = nullptr;
};

class TzvTapiLineDevSpecificFeatureData : public TzvTapiDevSpecificData {
 public:
  using TzvTapiDevSpecificData::TzvTapiDevSpecificData;
  Cardinal Feature() const { return FFeature; }
  void SetFeature(Cardinal v) { FFeature = v; }

 private:
  Cardinal FFeature = 0;
};

class TzvTapiDevSpecificDataList : public TProtectedObjectList<TzvTapiDevSpecificData> {
 public:
  ~TzvTapiDevSpecificDataList() { Clear(); }
  // Frees the entries from the last to the first.
  void Clear();
};

// Records RequestID as the device's last request and, in synchronous mode, waits for its reply:
// 0 in asynchronous mode, the reply code, or LINEERR_OPERATIONFAILED after a time-out or abort.
Integer WaitForRequest(TzvTapiDevice* Device, Integer RequestID);
// WaitForRequest, raising a negative result as EzvTapiError.
Integer CheckRequest(TzvTapiDevice* Device, Integer RequestID);
// The wait itself: 0 (reply found, its code in ReplyCode), WAIT_ABANDONED (the device closed)
// or WAIT_TIMEOUT.
Cardinal WaitForReply(TzvTapiDevice* Device, Integer RequestID, Integer& ReplyCode);

}  // namespace zvtapi
