// Shared set-up for the tapi32 tests: a switch with a known configuration and helpers that
// initialise applications the way the library does.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "tapi32/sim/switch.h"
#include "tapi32/tapi.h"

namespace tapi32_test {

// Environment variables as they were when it was made, put back when it goes: for tests that
// point the runtime at files of their own.
class SavedEnvironment {
 public:
  explicit SavedEnvironment(std::initializer_list<const char*> names) {
    for (const char* name : names) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name,
                          value != nullptr ? std::optional<std::string>(value) : std::nullopt);
    }
  }
  ~SavedEnvironment() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  }
  SavedEnvironment(const SavedEnvironment&) = delete;
  SavedEnvironment& operator=(const SavedEnvironment&) = delete;

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

constexpr LONG Code(uint32_t error) {
  return static_cast<LONG>(error);
}

inline tapi32::sim::LineConfig Line(std::string name, uint32_t permanentId) {
  tapi32::sim::LineConfig line;
  line.name = std::move(name);
  line.permanentId = permanentId;
  return line;
}

inline tapi32::sim::PhoneConfig Phone(std::string name, uint32_t permanentId) {
  tapi32::sim::PhoneConfig phone;
  phone.name = std::move(name);
  phone.permanentId = permanentId;
  return phone;
}

struct LineInit {
  LONG result = 0;
  HLINEAPP app = 0;
  DWORD numDevs = 0;
  DWORD version = 0;
  HANDLE event = 0;
};

inline LineInit InitLine(DWORD version = 0x00020002, const char16_t* name = u"tests") {
  LineInit init;
  init.version = version;
  LINEINITIALIZEEXPARAMS params{};
  params.dwTotalSize = sizeof(params);
  params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
  init.result =
      lineInitializeExW(&init.app, 0, nullptr, name, &init.numDevs, &init.version, &params);
  init.event = params.Handles.hEvent;
  return init;
}

struct PhoneInit {
  LONG result = 0;
  HPHONEAPP app = 0;
  DWORD numDevs = 0;
  DWORD version = 0;
  HANDLE event = 0;
};

inline PhoneInit InitPhone(DWORD version = 0x00020002) {
  PhoneInit init;
  init.version = version;
  PHONEINITIALIZEEXPARAMS params{};
  params.dwTotalSize = sizeof(params);
  params.dwOptions = PHONEINITIALIZEEXOPTION_USEEVENT;
  init.result =
      phoneInitializeExW(&init.app, 0, nullptr, u"tests", &init.numDevs, &init.version, &params);
  init.event = params.Handles.hEvent;
  return init;
}

// Negotiates the newest version with a line device and opens it; the handle, or 0 with the
// error in *result.
inline HLINE OpenLine(HLINEAPP app, DWORD deviceId, DWORD privileges, DWORD mediaModes,
                      DWORD callbackInstance = 7, LONG* result = nullptr) {
  DWORD version = 0;
  LINEEXTENSIONID extension{};
  LONG code = lineNegotiateAPIVersion(app, deviceId, 0x00010004, 0x00020002, &version, &extension);
  HLINE line = 0;
  if (code == 0) {
    code = lineOpenW(app, deviceId, &line, version, 0, callbackInstance, privileges, mediaModes,
                     nullptr);
  }
  if (result != nullptr) *result = code;
  return code == 0 ? line : 0;
}

// One forwarding entry, and a LINEFORWARDLIST of them as an application lays it out: entries,
// then their texts.
struct ForwardEntry {
  DWORD mode = LINEFORWARDMODE_UNCOND;
  std::u16string caller;
  std::u16string dest;
  DWORD country = 0;
};

inline std::vector<uint8_t> ForwardListBytes(const std::vector<ForwardEntry>& entries) {
  size_t text = 8 + 24 * entries.size();
  size_t total = text;
  for (const ForwardEntry& e : entries)
    total += (e.caller.empty() ? 0 : (e.caller.size() + 1) * 2) +
             (e.dest.empty() ? 0 : (e.dest.size() + 1) * 2);
  std::vector<uint8_t> out(std::max<size_t>(total, sizeof(LINEFORWARDLIST)));
  auto* list = reinterpret_cast<LINEFORWARDLIST*>(out.data());
  list->dwTotalSize = static_cast<DWORD>(out.size());
  list->dwNumEntries = static_cast<DWORD>(entries.size());
  auto place = [&](const std::u16string& value, DWORD& size, DWORD& offset) {
    if (value.empty()) return;
    size = static_cast<DWORD>((value.size() + 1) * 2);
    offset = static_cast<DWORD>(text);
    std::memcpy(out.data() + text, value.c_str(), size);
    text += size;
  };
  for (size_t i = 0; i < entries.size(); ++i) {
    LINEFORWARD entry{};
    entry.dwForwardMode = entries[i].mode;
    entry.dwDestCountryCode = entries[i].country;
    place(entries[i].caller, entry.dwCallerAddressSize, entry.dwCallerAddressOffset);
    place(entries[i].dest, entry.dwDestAddressSize, entry.dwDestAddressOffset);
    std::memcpy(out.data() + 8 + 24 * i, &entry, sizeof(entry));
  }
  return out;
}

inline const LINEFORWARDLIST* AsList(const std::vector<uint8_t>& bytes) {
  return reinterpret_cast<const LINEFORWARDLIST*>(bytes.data());
}

// Resets the switch to two lines and one phone and shuts down whatever a test left initialised.
class TapiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tapi32::sim::Config config;
    config.lines = {Line("Alpha", 0x101), Line("Beta", 0x102)};
    config.phones = {Phone("Desk", 0x201)};
    Switch().Reset(config);
  }

  void TearDown() override {
    Switch().ClearFaults();
    for (HLINEAPP app : Switch().LineApps())
      lineShutdown(app);
    for (HPHONEAPP app : Switch().PhoneApps())
      phoneShutdown(app);
  }

  static tapi32::sim::Switch& Switch() { return tapi32::sim::Switch::Instance(); }

  // Every message waiting for the application, without waiting for more.
  static std::vector<LINEMESSAGE> DrainLine(HLINEAPP app) {
    std::vector<LINEMESSAGE> out;
    LINEMESSAGE message{};
    while (lineGetMessage(app, &message, 0) == 0)
      out.push_back(message);
    return out;
  }

  static std::vector<PHONEMESSAGE> DrainPhone(HPHONEAPP app) {
    std::vector<PHONEMESSAGE> out;
    PHONEMESSAGE message{};
    while (phoneGetMessage(app, &message, 0) == 0)
      out.push_back(message);
    return out;
  }
};

}  // namespace tapi32_test
