// Lists the telephony line devices, then watches every line and prints each call event until
// Ctrl+C (with --list it only lists them). With nothing configured it watches the demo office
// of the simulated switch.
#include <cstdio>
#include <exception>
#include <string>

#include "platform/message_window.h"
#include "stop_signals.h"
#include "tapi/application.h"
#include "tapi/call.h"
#include "tapi/call_info.h"
#include "tapi/component.h"
#include "tapi/errors.h"
#include "tapi/line.h"
#include "tapi/texts.h"

using namespace zvtapi;

namespace {

// "Reception: call 3 OFFERING 555-0100 (Ada)"
void Log(TzvTapiLine* line, TzvTapiCall* call, const std::string& what) {
  const std::string caller = call->CallerID()->Address();
  const std::string name = call->CallerID()->Name();
  std::printf("%s: call %u %s%s%s\n", line->DeviceName().c_str(), call->CallID(), what.c_str(),
              caller.empty() ? "" : (" " + caller).c_str(),
              name.empty() ? "" : (" (" + name + ")").c_str());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  QuitOnStopSignals();
  TComponent owner(nullptr);  // frees (and so closes) every line created with it

  auto* probe = new TzvTapiLine(&owner);
  const int count = probe->DeviceList().Count();
  for (int id = 0; id < count; ++id)
    std::printf("line %d: %s\n", id, probe->DeviceList().Strings(id).c_str());
  if (argc > 1 && std::string(argv[1]) == "--list") return 0;

  for (int id = 0; id < count; ++id) {
    auto* line = new TzvTapiLine(&owner);
    line->SetDeviceID(id);
    line->Privileges().SetOwner(
        false);  // watch only: leave the calls to the programs that own them
    line->SetOnNewCall([](TzvTapiLine* l, TzvTapiCall* c) { Log(l, c, "new"); });
    line->SetOnCallState([](TzvTapiLine* l, TzvTapiCall* c, Cardinal state) {
      Log(l, c, TapiCallStateText(state));
    });
    line->SetOnCallInfo([](TzvTapiLine* l, TzvTapiCall* c, Cardinal) { Log(l, c, "info"); });
    line->SetOnCallDeallocate([](TzvTapiLine* l, TzvTapiCall* c) { Log(l, c, "gone"); });
    line->SetOnRing([](TzvTapiLine* l, Cardinal, Cardinal ring) {
      std::printf("%s: ring %u\n", l->DeviceName().c_str(), ring + 1);
    });
    try {
      line->Open();
    } catch (const EzvTapiError& e) {
      std::printf("line %d not watched: %s\n", id, e.what());
    }
  }

  const int exitCode = platform::RunMessageLoop();
  std::printf("stopped\n");
  return exitCode;
}
