// The line component.
#pragma once

#include <string>

#include "tapi/device.h"

namespace zvtapi {

class TzvCustomTapiLine : public TzvTapiDevice {
 public:
  // Registers the line with the application object.
  explicit TzvCustomTapiLine(TComponent* AOwner);
  ~TzvCustomTapiLine() override;

  // The line's entry in the application's device list now holds another name.
  virtual void DeviceNameChanged(const std::string& NewName);

 protected:
  // The application's line names; reading them attaches the line (and so initialises TAPI).
  const TStringList& GetDeviceList() override;
};

}  // namespace zvtapi
