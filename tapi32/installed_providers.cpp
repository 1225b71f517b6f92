#include "tapi32/installed_providers.h"

#include "tapi32/server.h"
#include "tapi32/sim/switch.h"

namespace tapi32 {

ProviderSet& InstalledProviders() {
  // Never destroyed, like the runtime that refers to it.
  static ProviderSet* providers = new ProviderSet(sim::Switch::Instance());
  return *providers;
}

bool SwitchServesLine(DWORD deviceId) {
  return Server::Instance().CurrentProvider() == &InstalledProviders() &&
         InstalledProviders().LineProvider(deviceId) == &sim::Switch::Instance();
}

bool SwitchServesPhone(DWORD deviceId) {
  return Server::Instance().CurrentProvider() == &InstalledProviders() &&
         InstalledProviders().PhoneProvider(deviceId) == &sim::Switch::Instance();
}

namespace {

// The runtime serves the providers from the start of the program.
[[maybe_unused]] const bool kInstalled = [] {
  Server::Instance().SetProvider(&InstalledProviders());
  return true;
}();

}  // namespace

}  // namespace tapi32
