#include "tapi32/sim/devices.h"

#include <utility>

#include "platform/module.h"

namespace tapi32::sim {

namespace {

// Devices without a configured permanent ID get one from the switch's provider number (1 for
// lines, 2 for phones) and their device ID, the way providers usually build them.
uint32_t PermanentId(uint32_t configured, uint32_t provider, uint32_t deviceId) {
  return configured != 0 ? configured : (provider << 16) | (deviceId + 1);
}

GUID GuidFor(uint32_t kind, uint32_t permanentId) {
  GUID guid{};
  guid.Data1 = permanentId;
  guid.Data2 = 0x7A76;  // "zv"
  guid.Data3 = static_cast<WORD>(kind);
  guid.Data4[0] = 0x80;
  return guid;
}

std::vector<std::u16string> WideList(const std::vector<std::string>& items) {
  std::vector<std::u16string> out;
  out.reserve(items.size());
  for (const auto& item : items)
    out.push_back(platform::Utf8ToWide(item));
  return out;
}

}  // namespace

LineDevice::LineDevice(uint32_t deviceId, LineConfig config)
    : deviceId_(deviceId), config_(std::move(config)) {
  config_.permanentId = PermanentId(config_.permanentId, 1, deviceId_);
}

void LineDevice::SetConfig(LineConfig config) {
  config.permanentId = PermanentId(config.permanentId, 1, deviceId_);
  config_ = std::move(config);
}

LineCaps LineDevice::Caps() const {
  LineCaps caps;
  LINEDEVCAPS& f = caps.fixed;
  f.dwPermanentLineID = config_.permanentId;
  f.dwStringFormat = STRINGFORMAT_UNICODE;
  f.dwAddressModes = config_.addressModes;
  f.dwNumAddresses = config_.numAddresses;
  f.dwBearerModes = config_.bearerModes;
  f.dwMaxRate = config_.maxRate;
  f.dwMediaModes = config_.mediaModes;
  f.dwGenerateToneModes = 0;
  f.dwGenerateDigitModes = 0;
  f.dwMonitorDigitModes = 0;
  f.dwDevCapFlags = config_.devCapFlags;
  f.dwMaxNumActiveCalls = config_.maxActiveCalls;
  f.dwAnswerMode = config_.answerMode;
  f.dwRingModes = config_.ringModes;
  f.dwLineStates = config_.lineStates;
  f.MinDialParams = {0, 50, 50, 0};
  f.MaxDialParams = {5000, 500, 500, 30000};
  f.DefaultDialParams = {2000, 100, 100, 3000};
  f.dwNumTerminals = 0;
  f.dwLineFeatures = config_.lineFeatures;
  f.dwSettableDevStatus = 0;
  f.PermanentLineGuid = GuidFor(1, config_.permanentId);
  caps.providerInfo = platform::Utf8ToWide(config_.providerInfo);
  caps.switchInfo = platform::Utf8ToWide(config_.switchInfo);
  caps.lineName = platform::Utf8ToWide(config_.name);
  caps.deviceClasses = WideList(config_.deviceClasses);
  return caps;
}

PhoneDevice::PhoneDevice(uint32_t deviceId, PhoneConfig config)
    : deviceId_(deviceId), config_(std::move(config)) {
  config_.permanentId = PermanentId(config_.permanentId, 2, deviceId_);
}

void PhoneDevice::SetConfig(PhoneConfig config) {
  config.permanentId = PermanentId(config.permanentId, 2, deviceId_);
  config_ = std::move(config);
}

PhoneCaps PhoneDevice::Caps() const {
  PhoneCaps caps;
  PHONECAPS& f = caps.fixed;
  f.dwPermanentPhoneID = config_.permanentId;
  f.dwStringFormat = STRINGFORMAT_UNICODE;
  f.dwPhoneStates = config_.phoneStates;
  f.dwHookSwitchDevs = config_.hookSwitchDevs;
  f.dwDisplayNumRows = config_.displayRows;
  f.dwDisplayNumColumns = config_.displayColumns;
  f.dwNumRingModes = config_.numRingModes;
  f.dwNumButtonLamps = config_.numButtonLamps;
  f.dwPhoneFeatures = config_.phoneFeatures;
  f.PermanentPhoneGuid = GuidFor(2, config_.permanentId);
  caps.providerInfo = platform::Utf8ToWide(config_.providerInfo);
  caps.phoneInfo = platform::Utf8ToWide(config_.phoneInfo);
  caps.phoneName = platform::Utf8ToWide(config_.name);
  caps.deviceClasses = WideList(config_.deviceClasses);
  return caps;
}

}  // namespace tapi32::sim
