// The devices of other classes that belong to a line, address, call or phone ("wave/in",
// "wave/out", ...). For now each only records its class and whether its cached answer is
// stale; the lookups through lineGetIDW / phoneGetIDW come with the related-device support.
#pragma once

#include <string>

#include "tapi/types.h"

namespace zvtapi {

class TzvTapiRelatedWaveDevice : public TObject {
 public:
  TzvTapiRelatedWaveDevice(TObject* AOwner, std::string ADeviceClass)
      : FOwner(AOwner), FDeviceClass(std::move(ADeviceClass)) {}
  TObject* Owner() const { return FOwner; }
  const std::string& DeviceClass() const { return FDeviceClass; }
  bool Valid() const { return FValid; }
  // Forgets the cached answer; the owner's binding changed.
  void Invalidate() { FValid = false; }

 private:
  TObject* FOwner;
  std::string FDeviceClass;
  bool FValid = false;
};

}  // namespace zvtapi
