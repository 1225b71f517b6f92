// The service-provider side of tapi32: what a telephony provider offers (line and phone devices
// with their capabilities and version ranges) and how it tells the runtime that devices came,
// went or changed. The runtime calls a provider only while it holds the global TAPI lock
// (Server::Mutex()); providers that run threads of their own take that lock before they touch
// their devices or call the sink.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tapi32/tapi_constants.h"
#include "tapi32/tapi_structs.h"

namespace tapi32 {

struct VersionRange {
  DWORD low = 0;
  DWORD high = 0;
  bool Contains(DWORD version) const { return version >= low && version <= high; }
};

// Everything lineGetDevCapsW reports about a line. The size/offset fields of `fixed` are
// ignored: the runtime lays out the variable part itself from the texts below.
struct LineCaps {
  LINEDEVCAPS fixed{};
  std::u16string providerInfo;
  std::u16string switchInfo;
  std::u16string lineName;
  std::vector<std::u16string> deviceClasses;
  std::vector<uint8_t> devSpecific;
};

// Everything phoneGetDevCapsW reports about a phone (size/offset fields of `fixed` ignored).
struct PhoneCaps {
  PHONECAPS fixed{};
  std::u16string providerInfo;
  std::u16string phoneInfo;
  std::u16string phoneName;
  std::vector<std::u16string> deviceClasses;
  std::vector<uint8_t> devSpecific;
};

class LineDevice {
 public:
  virtual ~LineDevice() = default;
  // A removed device keeps its ID; TAPI answers LINEERR_NODEVICE for it.
  virtual bool Removed() const = 0;
  virtual VersionRange ApiVersions() const = 0;
  virtual VersionRange ExtVersions() const = 0;
  virtual LINEEXTENSIONID ExtensionId() const = 0;
  virtual LineCaps Caps() const = 0;
};

class PhoneDevice {
 public:
  virtual ~PhoneDevice() = default;
  virtual bool Removed() const = 0;
  virtual VersionRange ApiVersions() const = 0;
  virtual VersionRange ExtVersions() const = 0;
  virtual PHONEEXTENSIONID ExtensionId() const = 0;
  virtual PhoneCaps Caps() const = 0;
};

// What a provider reports to the runtime; every call reaches all initialised applications.
// Called with the global TAPI lock held.
class ProviderSink {
 public:
  virtual ~ProviderSink() = default;
  virtual void LineCreated(DWORD deviceId) = 0;
  virtual void LineRemoved(DWORD deviceId) = 0;
  virtual void LineCapsChanged(DWORD deviceId) = 0;
  virtual void PhoneCreated(DWORD deviceId) = 0;
  virtual void PhoneRemoved(DWORD deviceId) = 0;
  virtual void PhoneCapsChanged(DWORD deviceId) = 0;
  // Asks every application to shut down and initialise again.
  virtual void Reinit() = 0;
};

class Provider {
 public:
  virtual ~Provider() = default;
  // Called by every lineInitializeExW / phoneInitializeExW before the devices are counted; a
  // provider that reads a configuration does it here. False (with a message for the user) when
  // the configuration cannot be used; the initialisation then fails with INIFILECORRUPT.
  virtual bool Prepare(std::string& error) = 0;
  // Device IDs run from 0 to the count − 1; removed devices keep their place.
  virtual DWORD NumLines() const = 0;
  virtual const LineDevice& Line(DWORD deviceId) const = 0;
  virtual DWORD NumPhones() const = 0;
  virtual const PhoneDevice& Phone(DWORD deviceId) const = 0;
};

}  // namespace tapi32
