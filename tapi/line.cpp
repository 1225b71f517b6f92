#include "tapi/line.h"

#include "tapi/application.h"
#include "tapi/tsp.h"

namespace zvtapi {

TzvCustomTapiLine::TzvCustomTapiLine(TComponent* AOwner) : TzvTapiDevice(AOwner) {
  FTSP = std::make_unique<TzvTapiLineTSP>(this);
  // Registered here rather than in the component base: only now is the object a line.
  if (zvTapiApplication) zvTapiApplication->AddTapiComponent(this);
}

TzvCustomTapiLine::~TzvCustomTapiLine() {
  if (zvTapiApplication) zvTapiApplication->RemoveTapiComponent(this);
}

void TzvCustomTapiLine::DeviceNameChanged(const std::string& NewName) { FDeviceName = NewName; }

const TStringList& TzvCustomTapiLine::GetDeviceList() {
  Enable();
  ZV_ASSERT(zvTapiApplication != nullptr);
  return zvTapiApplication->LineDevices();
}

}  // namespace zvtapi
