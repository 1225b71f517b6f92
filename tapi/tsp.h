// The versions a device agreed on with its service provider: the TAPI version, and the
// extension version when provider-specific extensions are asked for.
#pragma once

#include "tapi/types.h"
#include "tapi32/tapi.h"

namespace zvtapi {

class TzvTapiDevice;

using TTapiDeviceExtentionID = LINEEXTENSIONID;

class TzvTapiTSP : public TObject {
 public:
  explicit TzvTapiTSP(TzvTapiDevice* ATapiDevice);

  // Copies everything but the owning device, without negotiating.
  virtual void Assign(const TzvTapiTSP& Source);
  // Takes over the four version bounds and negotiates again for the device ID this object
  // negotiates for, as changing one bound does; what is negotiated stays that device's.
  void AssignVersionBounds(const TzvTapiTSP& Source);
  virtual Cardinal NegotiateAPIVersion() = 0;
  virtual Cardinal NegotiateExtVersion() = 0;
  // Negotiates for DeviceID (>= 0); a negative ID unbinds and returns 0.
  virtual Cardinal Init(Integer DeviceID);
  virtual void Done();
  // Negotiates again for the current device ID; 0 or the TAPI error of the API negotiation.
  virtual Cardinal Update();

  Cardinal ExtLowVersion() const { return FExtLowVersion; }
  Cardinal ExtHighVersion() const { return FExtHighVersion; }
  Cardinal APILowVersion() const { return FAPILowVersion; }
  Cardinal APIHighVersion() const { return FAPIHighVersion; }
  void SetExtLowVersion(Cardinal Value) { SetVersionBound(2, Value); }
  void SetExtHighVersion(Cardinal Value) { SetVersionBound(3, Value); }
  void SetAPILowVersion(Cardinal Value) { SetVersionBound(0, Value); }
  void SetAPIHighVersion(Cardinal Value) { SetVersionBound(1, Value); }
  // Index 0 APILowVersion, 1 APIHighVersion, 2 ExtLowVersion, 3 ExtHighVersion; negotiates
  // again at once.
  void SetVersionBound(int Index, Cardinal Value);
  Cardinal APIVersion() const { return FAPIVersion; }
  Cardinal ExtVersion() const { return FExtVersion; }
  Integer DeviceID() const { return FDeviceID; }
  const TTapiDeviceExtentionID& ExtensionID() const { return FExtensionID; }
  Cardinal GetExtensionIDPart(int Index) const;
  Cardinal ExtensionID0() const { return GetExtensionIDPart(0); }
  Cardinal ExtensionID1() const { return GetExtensionIDPart(1); }
  Cardinal ExtensionID2() const { return GetExtensionIDPart(2); }
  Cardinal ExtensionID3() const { return GetExtensionIDPart(3); }
  bool CompareExtensionID(const LINEEXTENSIONID& value) const;
  bool CompareExtensionID(const PHONEEXTENSIONID& value) const;
  bool CompareExtensionIDs(Cardinal ID0, Cardinal ID1, Cardinal ID2, Cardinal ID3) const;

 protected:
  TzvTapiDevice* FDevice;
  Integer FDeviceID = -1;
  TTapiDeviceExtentionID FExtensionID{};
  Cardinal FExtLowVersion = 0;
  Cardinal FExtHighVersion = 0;
  Cardinal FExtVersion = 0;
  Cardinal FAPILowVersion = 0x00010000;
  Cardinal FAPIHighVersion = 0x00020002;
  Cardinal FAPIVersion = 0;
};

class TzvTapiLineTSP : public TzvTapiTSP {
 public:
  using TzvTapiTSP::TzvTapiTSP;
  Cardinal NegotiateAPIVersion() override;
  Cardinal NegotiateExtVersion() override;
};

class TzvTapiPhoneTSP : public TzvTapiTSP {
 public:
  using TzvTapiTSP::TzvTapiTSP;
  Cardinal NegotiateAPIVersion() override;
  Cardinal NegotiateExtVersion() override;
};

}  // namespace zvtapi
