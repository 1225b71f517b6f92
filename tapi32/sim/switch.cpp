#include "tapi32/sim/switch.h"

#include <cstdlib>
#include <mutex>
#include <stdexcept>

#include "platform/module.h"
#include "tapi32/server.h"

namespace tapi32::sim {

namespace {

Server& Tapi() {
  return Server::Instance();
}

EntryPoint Entry(const std::string& name) {
  auto entry = FindEntryPoint(name);
  if (!entry) throw std::invalid_argument("unknown TAPI entry point '" + name + "'");
  return *entry;
}

// The switch serves TAPI from the start of the program.
[[maybe_unused]] const bool kInstalled = [] {
  Tapi().SetProvider(&Switch::Instance());
  return true;
}();

}  // namespace

Switch& Switch::Instance() {
  // Never destroyed, like the runtime that refers to it.
  static Switch* instance = new Switch();
  return *instance;
}

Switch::Switch() = default;

void Switch::ReplaceDevices(const Config& config) {
  lines_.clear();
  phones_.clear();
  for (const auto& line : config.lines) {
    lines_.push_back(std::make_unique<LineDevice>(static_cast<uint32_t>(lines_.size()), line));
  }
  for (const auto& phone : config.phones) {
    phones_.push_back(std::make_unique<PhoneDevice>(static_cast<uint32_t>(phones_.size()), phone));
  }
}

void Switch::Reset(const Config& config) {
  std::lock_guard lock(Tapi().Mutex());
  ReplaceDevices(config);
  configured_ = true;
  Tapi().Faults().Clear();
  Tapi().Faults().ResetCounts();
}

void Switch::Unconfigure() {
  std::lock_guard lock(Tapi().Mutex());
  lines_.clear();
  phones_.clear();
  configured_ = false;
  Tapi().Faults().Clear();
  Tapi().Faults().ResetCounts();
}

bool Switch::Prepare(std::string& error) {
  if (configured_) return true;
  const char* path = std::getenv(kConfigVariable);
  try {
    ReplaceDevices(path != nullptr && *path != '\0' ? LoadConfigFile(path) : DemoConfig());
  } catch (const ConfigError& e) {
    error = e.what();
    return false;
  }
  configured_ = true;
  return true;
}

LineDevice& Switch::LineAt(uint32_t deviceId) const {
  if (deviceId >= lines_.size()) {
    throw std::out_of_range("no line device " + std::to_string(deviceId));
  }
  return *lines_[deviceId];
}

PhoneDevice& Switch::PhoneAt(uint32_t deviceId) const {
  if (deviceId >= phones_.size()) {
    throw std::out_of_range("no phone device " + std::to_string(deviceId));
  }
  return *phones_[deviceId];
}

// --- devices -----------------------------------------------------------------------------------

uint32_t Switch::AddLine(const LineConfig& config) {
  std::lock_guard lock(Tapi().Mutex());
  const auto id = static_cast<uint32_t>(lines_.size());
  lines_.push_back(std::make_unique<LineDevice>(id, config));
  Tapi().LineCreated(id);
  return id;
}

void Switch::RemoveLine(uint32_t deviceId) {
  std::lock_guard lock(Tapi().Mutex());
  LineDevice& line = LineAt(deviceId);
  if (line.Removed()) return;
  line.MarkRemoved();
  Tapi().LineRemoved(deviceId);
}

void Switch::RenameLine(uint32_t deviceId, std::string name) {
  std::lock_guard lock(Tapi().Mutex());
  LineAt(deviceId).SetName(std::move(name));
  Tapi().LineCapsChanged(deviceId);
}

void Switch::ChangeLine(uint32_t deviceId, const LineConfig& config) {
  std::lock_guard lock(Tapi().Mutex());
  LineAt(deviceId).SetConfig(config);
  Tapi().LineCapsChanged(deviceId);
}

uint32_t Switch::AddPhone(const PhoneConfig& config) {
  std::lock_guard lock(Tapi().Mutex());
  const auto id = static_cast<uint32_t>(phones_.size());
  phones_.push_back(std::make_unique<PhoneDevice>(id, config));
  Tapi().PhoneCreated(id);
  return id;
}

void Switch::RemovePhone(uint32_t deviceId) {
  std::lock_guard lock(Tapi().Mutex());
  PhoneDevice& phone = PhoneAt(deviceId);
  if (phone.Removed()) return;
  phone.MarkRemoved();
  Tapi().PhoneRemoved(deviceId);
}

void Switch::RenamePhone(uint32_t deviceId, std::string name) {
  std::lock_guard lock(Tapi().Mutex());
  PhoneAt(deviceId).SetName(std::move(name));
  Tapi().PhoneCapsChanged(deviceId);
}

void Switch::ChangePhone(uint32_t deviceId, const PhoneConfig& config) {
  std::lock_guard lock(Tapi().Mutex());
  PhoneAt(deviceId).SetConfig(config);
  Tapi().PhoneCapsChanged(deviceId);
}

void Switch::RequestReinit() {
  std::lock_guard lock(Tapi().Mutex());
  Tapi().Reinit();
}

LineConfig Switch::LineConfigOf(uint32_t deviceId) const {
  std::lock_guard lock(Tapi().Mutex());
  return LineAt(deviceId).Config();
}

PhoneConfig Switch::PhoneConfigOf(uint32_t deviceId) const {
  std::lock_guard lock(Tapi().Mutex());
  return PhoneAt(deviceId).Config();
}

// --- applications and messages -----------------------------------------------------------------

std::vector<HLINEAPP> Switch::LineApps() const {
  return Tapi().LineApps();
}
std::vector<HPHONEAPP> Switch::PhoneApps() const {
  return Tapi().PhoneApps();
}

bool Switch::PostLineMessage(HLINEAPP app, const LINEMESSAGE& message) {
  return Tapi().PostLineMessage(app, message);
}

bool Switch::PostPhoneMessage(HPHONEAPP app, const PHONEMESSAGE& message) {
  return Tapi().PostPhoneMessage(app, message);
}

LONG Switch::QueueMakeCallRequest(const std::string& destAddress, const std::string& appName,
                                  const std::string& calledParty, const std::string& comment) {
  return Tapi().QueueMakeCallRequest(
      platform::Utf8ToWide(destAddress), platform::Utf8ToWide(appName),
      platform::Utf8ToWide(calledParty), platform::Utf8ToWide(comment));
}

// --- faults --------------------------------------------------------------------------------------

void Switch::FailNext(const std::string& entryPoint, LONG code) {
  Tapi().Faults().FailNext(Entry(entryPoint), code);
}

void Switch::FailAlways(const std::string& entryPoint, LONG code) {
  Tapi().Faults().FailAlways(Entry(entryPoint), code);
}

void Switch::ClearFaults() {
  Tapi().Faults().Clear();
}

uint32_t Switch::CallCount(const std::string& entryPoint) const {
  return Tapi().Faults().CallCount(Entry(entryPoint));
}

// --- provider ------------------------------------------------------------------------------------

DWORD Switch::NumLines() const {
  return static_cast<DWORD>(lines_.size());
}
const tapi32::LineDevice& Switch::Line(DWORD deviceId) const {
  return LineAt(deviceId);
}
DWORD Switch::NumPhones() const {
  return static_cast<DWORD>(phones_.size());
}
const tapi32::PhoneDevice& Switch::Phone(DWORD deviceId) const {
  return PhoneAt(deviceId);
}

}  // namespace tapi32::sim
