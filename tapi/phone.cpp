#include "tapi/phone.h"

#include "tapi/application.h"
#include "tapi/tsp.h"

namespace zvtapi {

TzvCustomTapiPhone::TzvCustomTapiPhone(TComponent* AOwner) : TzvTapiDevice(AOwner) {
  FTSP = std::make_unique<TzvTapiPhoneTSP>(this);
  // Registered here rather than in the component base, since only now is the object a phone;
  // and last, so that no failure after it can leave the registry pointing at a dead object.
  if (zvTapiApplication) zvTapiApplication->AddTapiComponent(this);
}

TzvCustomTapiPhone::~TzvCustomTapiPhone() {
  if (zvTapiApplication) zvTapiApplication->RemoveTapiComponent(this);
}

const TStringList& TzvCustomTapiPhone::GetDeviceList() {
  Enable();
  ZV_ASSERT(zvTapiApplication != nullptr);
  return zvTapiApplication->PhoneDevices();
}

}  // namespace zvtapi
