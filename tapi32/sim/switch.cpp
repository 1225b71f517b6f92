#include "tapi32/sim/switch.h"

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <stdexcept>
#include <utility>

#include "platform/module.h"
#include "tapi32/device_class.h"
#include "tapi32/server.h"
#include "tapi32/sim/clock.h"
#include "tapi32/sim/traffic.h"
#include "tapi32/system_time.h"

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

}  // namespace

Switch& Switch::Instance() {
  // Never destroyed, like the runtime that refers to it. Its clock thread is stopped at exit,
  // before the rest of the program is torn down.
  static Switch* instance = [] {
    auto* created = new Switch();
    std::atexit([] {
      Switch::Instance().clock_->Shutdown();
      Switch::Instance().modems_.Shutdown();
    });
    return created;
  }();
  return *instance;
}

Switch::Switch() : clock_(std::make_unique<Clock>(Tapi().Mutex())) {
  defaultFarEnd_.afterMs = kDefaultAnswerMs;
}

void Switch::ReplaceDevices(const Config& config) {
  lines_.clear();
  phones_.clear();
  for (const auto& line : config.lines) {
    lines_.push_back(
        std::make_unique<LineDevice>(lineBase_ + static_cast<uint32_t>(lines_.size()), line));
  }
  for (const auto& phone : config.phones) {
    phones_.push_back(std::make_unique<PhoneDevice>(static_cast<uint32_t>(phones_.size()), phone));
  }
  AttachPhones();
}

void Switch::Forget() {
  // The clock stops first: its events take the lock this function is about to hold.
  clock_->Stop();
  std::lock_guard lock(Tapi().Mutex());
  clock_->Clear();
  traffic_.reset();
  Tapi().DiscardLines();
  Tapi().DiscardPhones();
  modems_.Shutdown();
  lastPhoneDevSpecific_.clear();
  calls_.clear();
  farEnds_.clear();
  defaultFarEnd_ = FarEnd{};
  defaultFarEnd_.afterMs = kDefaultAnswerMs;
  parked_.clear();
  completions_.clear();
  devSpecificAnswer_.reset();
  lastDevSpecific_ = DevSpecificRequest{};
  forwarded_.clear();
  Tapi().Faults().Clear();
  Tapi().Faults().ResetCounts();
  Tapi().SetHighestTranslateVersion(kHighestApiVersion);
}

void Switch::Reset(const Config& config) {
  CheckDevices(config);
  Forget();
  std::lock_guard lock(Tapi().Mutex());
  Configure(config);
}

void Switch::Configure(const Config& config) {
  ReplaceDevices(config);
  for (const auto& [entry, mode] : config.replies)
    Tapi().Replies().Set(entry, mode);
  configured_ = true;
  StartTraffic(config.traffic);
}

void Switch::Unconfigure() {
  Forget();
  std::lock_guard lock(Tapi().Mutex());
  lines_.clear();
  phones_.clear();
  configured_ = false;
}

void Switch::StartTraffic(const TrafficConfig& config) {
  if (!config.enabled) return;
  traffic_ = std::make_unique<Traffic>(*this, *clock_, config);
  traffic_->Start();
}

bool Switch::TrafficRunning() const {
  std::lock_guard lock(Tapi().Mutex());
  return traffic_ != nullptr && clock_->Running();
}

uint32_t Switch::TrafficCalls() const {
  std::lock_guard lock(Tapi().Mutex());
  return traffic_ != nullptr ? traffic_->CallsMade() : 0;
}

void Switch::SetConfigFile(std::string path) {
  std::lock_guard lock(Tapi().Mutex());
  configFile_ = std::move(path);
}

void Switch::SetLineBase(uint32_t base) {
  std::lock_guard lock(Tapi().Mutex());
  if (base == lineBase_) return;
  // The lines' IDs are fixed when they are made; renumbering them under open handles would
  // move calls to other devices.
  if (!lines_.empty()) throw std::logic_error("the switch's lines already have their IDs");
  lineBase_ = base;
}

uint32_t Switch::LineBase() const {
  std::lock_guard lock(Tapi().Mutex());
  return lineBase_;
}

bool Switch::Prepare(std::string& error) {
  if (configured_) return true;
  const char* named = std::getenv(kConfigVariable);
  const std::string path = named != nullptr && *named != '\0' ? named : configFile_;
  Config config;
  try {
    config = !path.empty() ? LoadConfigFile(path) : LiveDemoConfig();
  } catch (const ConfigError& e) {
    error = e.what();
    return false;
  }
  Configure(config);
  return true;
}

LineDevice* Switch::FindLine(uint32_t deviceId) const {
  if (deviceId < lineBase_ || deviceId - lineBase_ >= lines_.size()) return nullptr;
  return lines_[deviceId - lineBase_].get();
}

LineDevice& Switch::LineAt(uint32_t deviceId) const {
  LineDevice* line = FindLine(deviceId);
  if (line == nullptr) throw std::out_of_range("no line device " + std::to_string(deviceId));
  return *line;
}

PhoneDevice& Switch::PhoneAt(uint32_t deviceId) const {
  if (deviceId >= phones_.size()) {
    throw std::out_of_range("no phone device " + std::to_string(deviceId));
  }
  return *phones_[deviceId];
}

// --- devices -----------------------------------------------------------------------------------

uint32_t Switch::AddLine(const LineConfig& config) {
  CheckDevice(config);
  std::lock_guard lock(Tapi().Mutex());
  const auto id = lineBase_ + static_cast<uint32_t>(lines_.size());
  lines_.push_back(std::make_unique<LineDevice>(id, config));
  Tapi().LineCreated(id);
  return id;
}

void Switch::RemoveLine(uint32_t deviceId) {
  std::lock_guard lock(Tapi().Mutex());
  LineDevice& line = LineAt(deviceId);
  if (line.Removed()) return;
  line.MarkRemoved();
  // The opens end (LINE_CLOSE) and every application hears of the removal; the calls vanish
  // with the device.
  Tapi().LineRemoved(deviceId);
  for (uint32_t callId : line.LiveCalls()) {
    CallData& call = calls_.at(callId).data;
    // Nobody is left to hear about it.
    line.CallMoved(callId, call.addressId, call.state, LINECALLSTATE_IDLE, 0);
    modems_.Close(callId);
    calls_.erase(callId);
  }
}

void Switch::RenameLine(uint32_t deviceId, std::string name) {
  std::lock_guard lock(Tapi().Mutex());
  LineAt(deviceId).SetName(std::move(name));
  Tapi().LineCapsChanged(deviceId);
}

void Switch::ChangeLine(uint32_t deviceId, const LineConfig& config) {
  CheckDevice(config);
  std::lock_guard lock(Tapi().Mutex());
  LineAt(deviceId).SetConfig(config);
  Tapi().LineCapsChanged(deviceId);
}

uint32_t Switch::AddPhone(const PhoneConfig& config) {
  CheckDevice(config);
  std::lock_guard lock(Tapi().Mutex());
  const auto id = static_cast<uint32_t>(phones_.size());
  phones_.push_back(std::make_unique<PhoneDevice>(id, config));
  AttachPhones();
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
  CheckDevice(config);
  std::lock_guard lock(Tapi().Mutex());
  PhoneAt(deviceId).SetConfig(config);
  AttachPhones();
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

void Switch::RefuseTranslateVersionsAbove(uint32_t version) {
  Tapi().SetHighestTranslateVersion(version);
}

uint32_t Switch::CallCount(const std::string& entryPoint) const {
  return Tapi().Faults().CallCount(Entry(entryPoint));
}

// --- asynchronous replies ---------------------------------------------------------------------

void Switch::SetReplyMode(const std::string& entryPoint, ReplyMode mode) {
  std::lock_guard lock(Tapi().Mutex());
  Tapi().Replies().Set(Entry(entryPoint), mode);
}

void Switch::SetNextReplyMode(const std::string& entryPoint, ReplyMode mode) {
  std::lock_guard lock(Tapi().Mutex());
  Tapi().Replies().SetOnce(Entry(entryPoint), mode);
}

std::vector<DWORD> Switch::PendingRequests() const {
  return Tapi().PendingRequests();
}

bool Switch::CompleteRequest(DWORD requestId, LONG result) {
  return Tapi().CompleteRequest(requestId, result);
}

// --- calls
// -----------------------------------------------------------------------------------------

namespace {

PartyId MakeParty(const std::string& number, const std::string& name, uint32_t flags) {
  PartyId party;
  party.number = platform::Utf8ToWide(number);
  party.name = platform::Utf8ToWide(name);
  if (flags == 0) {
    if (!number.empty()) flags |= LINECALLPARTYID_ADDRESS;
    if (!name.empty()) flags |= LINECALLPARTYID_NAME;
    if (flags == 0) flags = LINECALLPARTYID_UNKNOWN;
  }
  party.flags = flags;
  return party;
}

PartyId MakeParty(const Party& party) {
  return MakeParty(party.number, party.name, party.flags);
}

}  // namespace

CallData& Switch::CallAt(uint32_t callId) {
  auto it = calls_.find(callId);
  if (it == calls_.end()) throw std::out_of_range("no call " + std::to_string(callId));
  return it->second.data;
}

Switch::SimCall* Switch::Find(uint32_t callId) {
  auto it = calls_.find(callId);
  return it == calls_.end() ? nullptr : &it->second;
}

const Switch::SimCall* Switch::Find(uint32_t callId) const {
  auto it = calls_.find(callId);
  return it == calls_.end() ? nullptr : &it->second;
}

void Switch::MoveCall(uint32_t callId, uint32_t state, uint32_t mode) {
  CallData& call = calls_.at(callId).data;
  const LineNews news =
      LineAt(call.deviceId).CallMoved(callId, call.addressId, call.state, state, mode);
  const uint32_t before = call.state;
  call.state = state;
  call.stateMode = mode;
  call.stateEntryTime = UtcNow();
  FollowDataConnection(call, before);
  Tapi().CallStateChanged(callId);
  Report(call.deviceId, call.addressId, news);
  PhonesFollowLine(call.deviceId);
  if (state != LINECALLSTATE_IDLE) return;
  CallEnded(callId);
  if (!Tapi().CallHasHandles(callId)) calls_.erase(callId);
}

void Switch::FollowDataConnection(const CallData& call, uint32_t before) {
  const bool connected = call.state == LINECALLSTATE_CONNECTED;
  if (connected == (before == LINECALLSTATE_CONNECTED)) return;
  if (!connected) {
    modems_.Close(call.callId);
    return;
  }
  if ((call.mediaMode & LINEMEDIAMODE_DATAMODEM) == 0) return;
  const LineConfig& line = LineAt(call.deviceId).Config();
  // Without a pseudo-terminal (the system has none left) the call simply has no connection.
  if (ListsClass(WideList(line.deviceClasses), u"comm/datamodem")) {
    modems_.Open(call.callId, line.modemScript);
  }
}

std::optional<std::u16string> Switch::CallPort(DWORD callId) const {
  const std::optional<std::string> name = modems_.PortName(callId);
  if (!name) return std::nullopt;
  return platform::Utf8ToWide(*name);
}

int Switch::DuplicateCallPort(DWORD callId) {
  return modems_.Duplicate(callId);
}

void Switch::SetModemScript(uint32_t lineId, std::vector<ModemStep> script) {
  std::lock_guard lock(Tapi().Mutex());
  LineAt(lineId).SetModemScript(std::move(script));
}

uint32_t Switch::OfferCall(uint32_t lineId, uint32_t addressId, const IncomingCall& incoming) {
  std::lock_guard lock(Tapi().Mutex());
  LineDevice& line = LineAt(lineId);
  if (line.Removed()) throw std::out_of_range("line " + std::to_string(lineId) + " is removed");
  if (addressId >= line.Config().numAddresses) {
    throw std::out_of_range("line " + std::to_string(lineId) + " has no address " +
                            std::to_string(addressId));
  }
  return Deliver(lineId, addressId, incoming, std::nullopt);
}

uint32_t Switch::Place(uint32_t lineId, uint32_t addressId, const IncomingCall& incoming,
                       const std::optional<Redirection>& via) {
  LineDevice& line = LineAt(lineId);
  const uint32_t callId = ++lastCallId_;
  CallData& call = calls_[callId].data;
  call.deviceId = lineId;
  call.addressId = addressId;
  call.bearerMode = incoming.bearerMode;
  call.rate = incoming.rate != 0 ? incoming.rate : line.Config().maxRate;
  call.mediaMode = incoming.mediaMode;
  call.callId = callId;
  call.callStates = 0xFFFF;
  call.origin = incoming.origin;
  call.reason = incoming.reason;
  call.caller = MakeParty(incoming.callerNumber, incoming.callerName, incoming.callerFlags);
  call.called = MakeParty(incoming.calledNumber, incoming.calledName, incoming.calledFlags);
  call.connected = MakeParty({}, {}, 0);
  call.redirection = MakeParty({}, {}, 0);
  call.redirecting = MakeParty({}, {}, 0);
  if (via) {
    call.reason = via->reason;
    call.redirecting = via->redirecting;
    call.redirection = via->redirection;
  }
  const LineNews news = line.CallMoved(callId, addressId, LINECALLSTATE_IDLE,
                                       LINECALLSTATE_OFFERING, incoming.offeringMode);
  call.state = LINECALLSTATE_OFFERING;
  call.stateMode = incoming.offeringMode;
  call.stateEntryTime = UtcNow();
  // The order TAPI uses for a new call: who gets it, its state, then what is known about it.
  Tapi().CallCreated(callId, 0, MakerLearns::FromRequest);
  Tapi().CallStateChanged(callId);
  Report(lineId, addressId, news);
  PhonesFollowLine(lineId);
  DWORD info = LINECALLINFOSTATE_ORIGIN | LINECALLINFOSTATE_REASON;
  if (!incoming.callerNumber.empty() || !incoming.callerName.empty() || incoming.callerFlags) {
    info |= LINECALLINFOSTATE_CALLERID;
  }
  if (!incoming.calledNumber.empty() || !incoming.calledName.empty() || incoming.calledFlags) {
    info |= LINECALLINFOSTATE_CALLEDID;
  }
  if (via) info |= LINECALLINFOSTATE_REDIRECTINGID | LINECALLINFOSTATE_REDIRECTIONID;
  Tapi().CallInfoChanged(callId, info);
  return callId;
}

void Switch::SetCallState(uint32_t callId, uint32_t state, uint32_t mode) {
  std::lock_guard lock(Tapi().Mutex());
  MoveCall(callId, state, mode);
}

void Switch::SetCallInfo(uint32_t callId, const CallInfoChange& change) {
  std::lock_guard lock(Tapi().Mutex());
  CallData& call = CallAt(callId);
  DWORD info = 0;
  auto party = [&](const std::optional<Party>& value, PartyId& field, DWORD bit) {
    if (!value) return;
    field = MakeParty(*value);
    info |= bit;
  };
  party(change.caller, call.caller, LINECALLINFOSTATE_CALLERID);
  party(change.called, call.called, LINECALLINFOSTATE_CALLEDID);
  party(change.connected, call.connected, LINECALLINFOSTATE_CONNECTEDID);
  party(change.redirection, call.redirection, LINECALLINFOSTATE_REDIRECTIONID);
  party(change.redirecting, call.redirecting, LINECALLINFOSTATE_REDIRECTINGID);
  auto number = [&](const std::optional<uint32_t>& value, DWORD& field, DWORD bit) {
    if (!value) return;
    field = *value;
    info |= bit;
  };
  number(change.origin, call.origin, LINECALLINFOSTATE_ORIGIN);
  number(change.reason, call.reason, LINECALLINFOSTATE_REASON);
  number(change.mediaMode, call.mediaMode, LINECALLINFOSTATE_MEDIAMODE);
  number(change.bearerMode, call.bearerMode, LINECALLINFOSTATE_BEARERMODE);
  number(change.rate, call.rate, LINECALLINFOSTATE_RATE);
  number(change.appSpecific, call.appSpecific, LINECALLINFOSTATE_APPSPECIFIC);
  number(change.relatedCallId, call.relatedCallId, LINECALLINFOSTATE_RELATEDCALLID);
  number(change.trunk, call.trunk, LINECALLINFOSTATE_TRUNK);
  number(change.completionId, call.completionId, LINECALLINFOSTATE_COMPLETIONID);
  number(change.callParamFlags, call.callParamFlags, LINECALLINFOSTATE_OTHER);
  auto text = [&](const std::optional<std::string>& value, std::u16string& field, DWORD bit) {
    if (!value) return;
    field = platform::Utf8ToWide(*value);
    info |= bit;
  };
  text(change.display, call.display, LINECALLINFOSTATE_DISPLAY);
  text(change.comment, call.comment, LINECALLINFOSTATE_OTHER);
  text(change.displayableAddress, call.displayableAddress, LINECALLINFOSTATE_OTHER);
  text(change.calledParty, call.calledParty, LINECALLINFOSTATE_OTHER);
  auto bytes = [&](const std::optional<std::vector<uint8_t>>& value, std::vector<uint8_t>& field,
                   DWORD bit) {
    if (!value) return;
    field = *value;
    info |= bit;
  };
  bytes(change.userUserInfo, call.userUserInfo, LINECALLINFOSTATE_USERUSERINFO);
  call.userUserInfo = LineAt(call.deviceId).KeptUserUserInfo(std::move(call.userUserInfo));
  bytes(change.chargingInfo, call.chargingInfo, LINECALLINFOSTATE_CHARGINGINFO);
  bytes(change.callData, call.callData, LINECALLINFOSTATE_CALLDATA);
  if (info != 0) Tapi().CallInfoChanged(callId, info);
}

void Switch::RemoteHangUp(uint32_t callId, uint32_t disconnectMode) {
  std::lock_guard lock(Tapi().Mutex());
  if (CallAt(callId).state == LINECALLSTATE_IDLE) return;
  MoveCall(callId, LINECALLSTATE_DISCONNECTED, disconnectMode);
  // A call nobody owns has nobody to drop it: the switch clears it at once.
  if (calls_.contains(callId) && Tapi().CallOwners(callId) == 0) {
    MoveCall(callId, LINECALLSTATE_IDLE, 0);
  }
}

std::vector<uint32_t> Switch::CallsOnLine(uint32_t lineId) const {
  std::lock_guard lock(Tapi().Mutex());
  const auto& calls = LineAt(lineId).Calls();
  return {calls.begin(), calls.end()};
}

bool Switch::HasCall(uint32_t callId) const {
  std::lock_guard lock(Tapi().Mutex());
  return calls_.contains(callId);
}

CallData Switch::CallSnapshot(uint32_t callId) const {
  std::lock_guard lock(Tapi().Mutex());
  auto it = calls_.find(callId);
  if (it == calls_.end()) throw std::out_of_range("no call " + std::to_string(callId));
  return it->second.data;
}

HCALL Switch::CallHandle(HLINEAPP app, uint32_t callId) const {
  return Tapi().CallHandleOf(app, callId);
}

uint32_t Switch::CallIdOf(HCALL call) const {
  return Tapi().CallIdOf(call);
}

void Switch::CloseLine(uint32_t lineId) {
  std::lock_guard lock(Tapi().Mutex());
  LineAt(lineId);
  Tapi().LineClosed(lineId);
}

void Switch::Ring(uint32_t lineId, uint32_t ringMode, uint32_t ringCount) {
  std::lock_guard lock(Tapi().Mutex());
  LineAt(lineId).SetRingMode(ringMode);
  Tapi().LineStateChanged(lineId, LINEDEVSTATE_RINGING, ringMode, ringCount);
}

void Switch::LineState(uint32_t lineId, uint32_t state, uint32_t param2, uint32_t param3) {
  std::lock_guard lock(Tapi().Mutex());
  LineAt(lineId).StateReported(state);
  Tapi().LineStateChanged(lineId, state, param2, param3);
}

void Switch::Report(uint32_t lineId, uint32_t addressId, const LineNews& news) {
  if (news.lineStates != 0) Tapi().LineStateChanged(lineId, news.lineStates, 0, 0);
  if (news.addressStates != 0) Tapi().AddressStateChanged(lineId, addressId, news.addressStates);
  for (DWORD other : news.otherAddresses)
    Tapi().AddressStateChanged(lineId, other, LINEADDRESSSTATE_OTHER);
  if (news.startsRinging) RingLine(lineId, LineAt(lineId).RingPeriod());
}

void Switch::RingLine(uint32_t lineId, uint32_t period) {
  LineDevice* found = FindLine(lineId);
  if (found == nullptr) return;
  LineDevice& line = *found;
  // A ring planned in an earlier ringing period, or after the line stopped ringing, is void.
  if (line.Removed() || !line.Ringing() || line.RingPeriod() != period) return;
  ForwardBeforeRing(line);
  if (!line.Ringing() || line.RingPeriod() != period) return;
  Tapi().LineStateChanged(lineId, LINEDEVSTATE_RINGING, line.RingMode(), line.NextRingCount());
  CountRing(line);
  if (const uint32_t interval = line.Config().ringIntervalMs; interval != 0) {
    clock_->Schedule(interval, [this, lineId, period] { RingLine(lineId, period); });
  }
}

void Switch::AddressState(uint32_t lineId, uint32_t addressId, uint32_t state) {
  std::lock_guard lock(Tapi().Mutex());
  LineAt(lineId);
  Tapi().AddressStateChanged(lineId, addressId, state);
}

// --- provider ------------------------------------------------------------------------------------

const CallData* Switch::FindCall(DWORD callId) const {
  auto it = calls_.find(callId);
  return it == calls_.end() ? nullptr : &it->second.data;
}

void Switch::DropCall(DWORD callId) {
  if (!calls_.contains(callId) || calls_.at(callId).data.state == LINECALLSTATE_IDLE) return;
  MoveCall(callId, LINECALLSTATE_IDLE, 0);
}

void Switch::LastOwnerGone(DWORD callId) {
  auto it = calls_.find(callId);
  if (it == calls_.end()) return;
  if (LineAt(it->second.data.deviceId).Config().devCapFlags & LINEDEVCAPFLAGS_CLOSEDROP) {
    DropCall(callId);
  }
}

void Switch::CallReleased(DWORD callId) {
  auto it = calls_.find(callId);
  if (it != calls_.end() && it->second.data.state == LINECALLSTATE_IDLE) calls_.erase(it);
}

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
