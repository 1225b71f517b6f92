// The devices of other classes that belong to a line, an address, a call or a phone: the audio
// devices to play to and record from ("wave/out", "wave/in"), a data call's port
// ("comm/datamodem"), the phones of a line ("tapi/phone") and the line of a phone ("tapi/line").
//
// Each object asks TAPI one such question (lineGetIDW or phoneGetIDW, by the kind of its owner)
// on first use, keeps the VARSTRING answer and drops it on Invalidate; the owners invalidate
// whenever the answer may have changed. A TAPI failure never raises in a reader (Available false,
// IDs −1, Count 0, no handle); only Update raises.
#pragma once

#include <string>

#include "tapi/call_params.h"
#include "tapi/structures.h"
#include "tapi/types.h"

namespace zvtapi {

class TzvTapiRelatedDevice : public TPersistent {
 public:
  // Stores owner and class; nothing is fetched. The owner is a line or phone component, an
  // address or a call, and outlives this object.
  TzvTapiRelatedDevice(TObject* AOwner, std::string AClass);
  ~TzvTapiRelatedDevice() override;
  TzvTapiRelatedDevice(const TzvTapiRelatedDevice&) = delete;
  TzvTapiRelatedDevice& operator=(const TzvTapiRelatedDevice&) = delete;
  const char* ClassName() const override { return "TzvTapiRelatedDevice"; }

  TObject* Owner() const { return FOwner; }
  // Fetches the answer when none is cached: 0 or the TAPI error, which leaves nothing cached.
  virtual Cardinal UpdateData();
  // UpdateData, raising a TAPI error as EzvTapiError.
  virtual void Update();
  // Drops the cached answer; the next read asks TAPI again.
  virtual void Invalidate();

 protected:
  virtual bool GetAvailable();
  virtual Integer GetDeviceID();
  // The index-th device ID of a binary answer; −1 when there is none to read, an exception for
  // an index outside the answer.
  virtual Integer Get_DeviceIDNo(Integer Index);
  virtual Integer GetCount();
  virtual void SetDeviceClass(const std::string& Value);
  const std::string& GetDeviceClass() const { return FClass; }
  // The cached answer's string; empty when nothing is cached. Never fetches.
  TVarString CachedString() const { return GetVarString(FData); }

 private:
  // The TAPI question for the owner's kind; returns TAPI's result.
  Cardinal QueryDeviceID(void* Buffer);

  std::string FClass;
  TTapiStruct FData;
  TObject* FOwner;
};

// The audio devices of a device or a call ("wave/in", "wave/out").
class TzvTapiRelatedWaveDevice : public TzvTapiRelatedDevice {
 public:
  using TzvTapiRelatedDevice::TzvTapiRelatedDevice;
  const char* ClassName() const override { return "TzvTapiRelatedWaveDevice"; }
  bool Available() { return GetAvailable(); }
  Integer DeviceID() { return GetDeviceID(); }
  const std::string& DeviceClass() const { return GetDeviceClass(); }
  using TzvTapiRelatedDevice::SetDeviceClass;
};

// The phones of a line ("tapi/phone"): every phone ID TAPI names for it.
class TzvTapiLinePhoneDevices : public TzvTapiRelatedDevice {
 public:
  using TzvTapiRelatedDevice::TzvTapiRelatedDevice;
  const char* ClassName() const override { return "TzvTapiLinePhoneDevices"; }
  // An answer with at least one phone.
  bool Available() { return GetAvailable(); }
  Integer Count() { return GetCount(); }
  using TzvTapiRelatedDevice::Get_DeviceIDNo;

 protected:
  bool GetAvailable() override;
};

// The line of a phone ("tapi/line").
class TzvTapiPhoneLineDevice : public TzvTapiRelatedDevice {
 public:
  using TzvTapiRelatedDevice::TzvTapiRelatedDevice;
  const char* ClassName() const override { return "TzvTapiPhoneLineDevice"; }
  bool Available() { return GetAvailable(); }
  Integer DeviceID() { return GetDeviceID(); }
};

// A data call's port ("comm/datamodem"): TAPI opens it for the application and hands over the
// handle, a POSIX file descriptor here, followed by the port's name. The descriptor belongs to
// this object while the answer is cached: Invalidate closes it, so it is closed exactly when the
// answer is dropped (the call entering or leaving CONNECTED, or the call being freed).
class TzvTapiCommDevice : public TzvTapiRelatedDevice {
 public:
  using TzvTapiRelatedDevice::TzvTapiRelatedDevice;
  ~TzvTapiCommDevice() override;
  const char* ClassName() const override { return "TzvTapiCommDevice"; }
  bool Available() { return GetAvailable(); }
  // The port's descriptor, −1 when there is none; read and write it, but leave closing to this
  // object.
  int Handle();
  std::string DeviceName();
  const std::string& DeviceClass() const { return GetDeviceClass(); }
  using TzvTapiRelatedDevice::SetDeviceClass;
  // Closes the descriptor of the cached answer, then drops it.
  void Invalidate() override;

 protected:
  bool GetAvailable() override;

 private:
  // The descriptor of the cached answer; −1 when there is none. Never fetches.
  int CachedHandle() const;
};

}  // namespace zvtapi
