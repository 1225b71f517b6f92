// The phone component.
#pragma once

#include "tapi/device.h"

namespace zvtapi {

class TzvCustomTapiPhone : public TzvTapiDevice {
 public:
  // Registers the phone with the application object.
  explicit TzvCustomTapiPhone(TComponent* AOwner);
  ~TzvCustomTapiPhone() override;

 protected:
  // The application's phone names; reading them attaches the phone (and so initialises TAPI).
  const TStringList& GetDeviceList() override;
};

}  // namespace zvtapi
