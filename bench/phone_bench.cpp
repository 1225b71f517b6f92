// Speed and memory of phones: button presses from the switch to the phone component's events,
// and what an open phone with 64 buttons costs the library.
//
// Everything runs on the real path: the switch posts PHONE_BUTTON to TAPI's queue, the event
// thread moves it to the locked queue, the main thread dispatches it to the phone, and the phone
// invalidates the button's information and fires its key and button events.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/benchmarks.h"
#include "platform/message_window.h"
#include "tapi/application.h"
#include "tapi/phone.h"
#include "tapi/tsp.h"
#include "tapi32/sim/config.h"
#include "tapi32/sim/switch.h"
#include "tapi32/tapi.h"

namespace zvtapi::bench {
namespace {

using Clock = std::chrono::steady_clock;
using tapi32::sim::Switch;

// Presses (each a press and a release, so two messages) per round, rounds (the median round is
// reported), and presses in flight before the main thread catches up.
constexpr int kPresses = 5'000;
constexpr int kRounds = 5;
constexpr int kBatch = 100;
// Buttons of the phone whose memory is measured, and how many such phones are opened for it.
constexpr uint32_t kButtons = 64;
constexpr int kMemoryPhones = 20;

tapi32::sim::Config Phones(int count) {
  tapi32::sim::Config config;
  for (int i = 0; i < count; ++i) {
    tapi32::sim::PhoneConfig phone;
    phone.name = "Phone " + std::to_string(i + 1);
    phone.numButtonLamps = kButtons;
    config.phones.push_back(phone);
  }
  return config;
}

std::unique_ptr<TzvTapiPhone> OpenPhone(Integer deviceID) {
  auto phone = std::make_unique<TzvTapiPhone>(nullptr);
  phone->SetDeviceID(deviceID);
  phone->SetActive(true);
  if (!phone->Active()) throw std::runtime_error("the phone did not open");
  return phone;
}

}  // namespace

void BenchPhoneButtons() {
  Switch& sw = Switch::Instance();
  sw.Reset(Phones(1));
  zvTapiApplication->Initialize();
  {
    std::unique_ptr<TzvTapiPhone> phone = OpenPhone(0);
    // One button event per message; keypad keys fire their key event too.
    long events = 0;
    long keys = 0;
    phone->SetOnButton([&](TObject*, Cardinal, Cardinal, Cardinal) { ++events; });
    phone->SetOnKeyDown([&](TObject*, char16_t) { ++keys; });
    phone->SetOnKeyUp([&](TObject*, char16_t) { ++keys; });
    std::vector<double> rates;
    for (int round = 0; round < kRounds; ++round) {
      events = 0;
      const Clock::time_point start = Clock::now();
      for (int sent = 0; sent < kPresses; sent += kBatch) {
        for (int i = 0; i < kBatch; ++i) {
          // Keypad keys and other buttons alike; a keypad key fires two events per message.
          const uint32_t id = static_cast<uint32_t>((sent + i) % 16);
          sw.PressButton(0, id);
          sw.ReleaseButton(0, id);
        }
        PumpUntil([&] { return events >= 2L * (sent + kBatch); }, "button events");
      }
      const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
      rates.push_back(2.0 * kPresses / seconds);
    }
    if (keys == 0) throw std::runtime_error("no key events");
    std::sort(rates.begin(), rates.end());
    PrintFigure("phone_state_events_per_s", rates[rates.size() / 2], "ev/s");
  }
  zvTapiApplication->Shutdown();
}

// Two measures, as for calls: "with TAPI" opens phones through TAPI alone (what tapi32 keeps
// for an open and its message traffic), "with library" opens them as phone components and
// reads every control, the status and the display. The figure is the difference: the
// library's share alone.
void BenchPhoneMemory() {
  Switch& sw = Switch::Instance();
  sw.Reset(Phones(2 * kMemoryPhones + 1));
  zvTapiApplication->Initialize();
  {
    // One phone first, so that one-time allocations are not counted.
    std::unique_ptr<TzvTapiPhone> warmUp = OpenPhone(0);
    std::vector<HPHONE> handles(kMemoryPhones);
    size_t before = HeapInUse();
    for (int i = 0; i < kMemoryPhones; ++i) {
      if (phoneOpen(zvTapiApplication->PhoneApp(), static_cast<DWORD>(1 + i), &handles[i],
                    warmUp->TSP()->APIVersion(), 0, 0, PHONEPRIVILEGE_OWNER) != 0) {
        throw std::runtime_error("phoneOpen failed");
      }
    }
    const double withTapi = static_cast<double>(HeapInUse()) - static_cast<double>(before);
    std::vector<std::unique_ptr<TzvTapiPhone>> phones;
    before = HeapInUse();
    for (int i = 0; i < kMemoryPhones; ++i) {
      phones.push_back(OpenPhone(1 + kMemoryPhones + i));
      for (int c = 0; c < phones.back()->Controls().Count(); ++c)
        phones.back()->Controls().Get(c)->ButtonMode();
      phones.back()->Display().Text();
    }
    const double withLibrary = static_cast<double>(HeapInUse()) - static_cast<double>(before);
    PrintFigure("bytes_per_phone", (withLibrary - withTapi) / kMemoryPhones, "B");
    for (HPHONE handle : handles)
      phoneClose(handle);
  }
  zvTapiApplication->Shutdown();
}

}  // namespace zvtapi::bench
