// The simulated switch: the telephony provider that serves the line and phone devices when no
// real one is configured, and the control panel tests use to drive TAPI.
//
// Configuration. The switch configures itself on the first lineInitializeExW /
// phoneInitializeExW: from the file named by the environment variable ZVTAPI_SIM_CONFIG when it
// is set (format in tapi32/sim/config.h), otherwise from DemoConfig(). A file that cannot be read
// or parsed makes that initialisation fail with LINEERR_INIFILECORRUPT (PHONEERR_INIFILECORRUPT);
// the reason ("<file>:<line>: <problem>") is printed to stderr once, and the next initialisation
// tries again. Reset() configures the switch directly and takes precedence.
//
// Device IDs are positions: a removed device keeps its ID (negotiation then answers NODEVICE)
// and new devices are appended.
//
// Notifications sent to every initialised application (callback instance 0):
//   AddLine        LINE_CREATE        dwParam1 = new device ID
//   RemoveLine     LINE_REMOVE        dwParam1 = device ID
//   RenameLine,
//   ChangeLine     LINE_LINEDEVSTATE  hDevice = device ID, dwParam1 = LINEDEVSTATE_CAPSCHANGE
//   AddPhone       PHONE_CREATE       dwParam1 = new device ID
//   RemovePhone    PHONE_REMOVE       dwParam1 = device ID
//   RenamePhone,
//   ChangePhone    PHONE_STATE        hDevice = device ID, dwParam1 = PHONESTATE_CAPSCHANGE
//   RequestReinit  LINE_LINEDEVSTATE  LINEDEVSTATE_REINIT and PHONE_STATE PHONESTATE_REINIT
//
// Fault injection names entry points by their C names ("lineGetDevCapsW"); an armed fault makes
// the entry point return the code without doing anything else. Call counts include such calls.
//
// Every method is thread-safe: it takes the global TAPI lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tapi32/provider.h"
#include "tapi32/sim/config.h"
#include "tapi32/sim/devices.h"

namespace tapi32::sim {

// The environment variable that names the switch's configuration file.
inline constexpr const char* kConfigVariable = "ZVTAPI_SIM_CONFIG";

class Switch final : public tapi32::Provider {
 public:
  // The process's switch; it is installed as TAPI's provider when the program starts.
  static Switch& Instance();

  // Replaces all devices with the configuration (nothing is sent to applications), clears the
  // faults and the call counters. Applications that are initialised stay so.
  void Reset(const Config& config);
  // Forgets the configuration: the next initialisation reads ZVTAPI_SIM_CONFIG (or the demo)
  // again. Faults and counters are cleared as by Reset.
  void Unconfigure();

  // Device changes; IDs outside the device list throw std::out_of_range.
  uint32_t AddLine(const LineConfig& config);
  void RemoveLine(uint32_t deviceId);
  void RenameLine(uint32_t deviceId, std::string name);
  void ChangeLine(uint32_t deviceId, const LineConfig& config);
  uint32_t AddPhone(const PhoneConfig& config);
  void RemovePhone(uint32_t deviceId);
  void RenamePhone(uint32_t deviceId, std::string name);
  void ChangePhone(uint32_t deviceId, const PhoneConfig& config);
  void RequestReinit();

  // The current configuration of a device (removed devices included).
  LineConfig LineConfigOf(uint32_t deviceId) const;
  PhoneConfig PhoneConfigOf(uint32_t deviceId) const;

  // Initialised applications, oldest first.
  std::vector<HLINEAPP> LineApps() const;
  std::vector<HPHONEAPP> PhoneApps() const;
  // Any message to any application; false when the handle is not initialised.
  bool PostLineMessage(HLINEAPP app, const LINEMESSAGE& message);
  bool PostPhoneMessage(HPHONEAPP app, const PHONEMESSAGE& message);

  // An assisted make-call request from another program: queued for the registered recipient and
  // announced with LINE_REQUEST (dwParam1 LINEREQUESTMODE_MAKECALL, callback instance = the
  // registration instance). 0, or TAPIERR_NOREQUESTRECIPIENT when nobody is registered. Texts
  // longer than their LINEREQMAKECALLW field are cut.
  LONG QueueMakeCallRequest(const std::string& destAddress, const std::string& appName,
                            const std::string& calledParty, const std::string& comment);

  // Fault injection and call counting; an unknown entry point throws std::invalid_argument.
  void FailNext(const std::string& entryPoint, LONG code);
  void FailAlways(const std::string& entryPoint, LONG code);
  void ClearFaults();
  uint32_t CallCount(const std::string& entryPoint) const;

  // tapi32::Provider
  bool Prepare(std::string& error) override;
  DWORD NumLines() const override;
  const tapi32::LineDevice& Line(DWORD deviceId) const override;
  DWORD NumPhones() const override;
  const tapi32::PhoneDevice& Phone(DWORD deviceId) const override;

 private:
  Switch();
  void ReplaceDevices(const Config& config);
  LineDevice& LineAt(uint32_t deviceId) const;
  PhoneDevice& PhoneAt(uint32_t deviceId) const;

  std::vector<std::unique_ptr<LineDevice>> lines_;
  std::vector<std::unique_ptr<PhoneDevice>> phones_;
  bool configured_ = false;
};

}  // namespace tapi32::sim
