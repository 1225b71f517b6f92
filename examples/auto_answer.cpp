// Answers every call that rings on one line (the first, or the device ID given as argument)
// after its second ring, until Ctrl+C. With nothing configured it answers on the demo switch.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <vector>

#include "platform/message_window.h"
#include "stop_signals.h"
#include "tapi/application.h"
#include "tapi/call.h"
#include "tapi/component.h"
#include "tapi/errors.h"
#include "tapi/line.h"
#include "tapi32/tapi.h"

using namespace zvtapi;

namespace {

constexpr Cardinal kRingsBeforeAnswer = 2;

// The switch counts the rings from 0 each time the line starts ringing.
void OnRing(TzvTapiLine* line, Cardinal /*ringMode*/, Cardinal ringCount) {
  std::printf("ring %u\n", ringCount + 1);
  if (ringCount + 1 < kRingsBeforeAnswer) return;
  // Answering waits for the switch's reply while messages flow, so calls may come and go
  // meanwhile: take the ringing ones first, and check each is still there before answering it.
  std::vector<TzvTapiCall*> ringing;
  for (int i = 0; i < line->Calls().Count(); ++i) {
    TzvTapiCall* call = line->Calls().Get(i);
    if (call->State() == LINECALLSTATE_OFFERING || call->State() == LINECALLSTATE_ACCEPTED)
      ringing.push_back(call);
  }
  for (TzvTapiCall* call : ringing) {
    if (!line->IsCallObject(call)) continue;
    try {
      call->Answer("");
      std::printf("answered call %u from %s\n", call->CallID(),
                  call->CallerID()->Address().c_str());
    } catch (const std::exception& e) {
      std::printf("could not answer call %u: %s\n", call->CallID(), e.what());
    }
  }
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  QuitOnStopSignals();
  TComponent owner(nullptr);
  auto* line = new TzvTapiLine(&owner);
  line->SetDeviceID(argc > 1 ? std::atoi(argv[1]) : 0);
  line->SetMediaModes(LINEMEDIAMODE_INTERACTIVEVOICE);  // the calls this program takes
  line->Privileges().SetOwner(true);
  line->CallOptions().SetAutoOwner(true);
  line->SetOnRing(OnRing);
  line->SetOnCallState([](TzvTapiLine*, TzvTapiCall* call, Cardinal state) {
    if (state == LINECALLSTATE_CONNECTED) std::printf("call %u connected\n", call->CallID());
    if (state == LINECALLSTATE_IDLE) std::printf("call %u ended\n", call->CallID());
    std::fflush(stdout);
  });
  try {
    line->Open();
  } catch (const EzvTapiError& e) {
    std::fprintf(stderr, "auto_answer: cannot open the line: %s\n", e.what());
    return 1;
  }
  std::printf("answering on %s\n", line->DeviceName().c_str());
  std::fflush(stdout);
  return platform::RunMessageLoop();
}
