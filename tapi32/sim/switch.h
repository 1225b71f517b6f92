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
// Asynchronous replies (SetReplyMode / SetNextReplyMode, per entry point, see requests.h): by
// default a request is answered at once (LINE_REPLY hDevice 0, callback instance of the open,
// dwParam1 = request ID, dwParam2 = result) before the messages its effect causes. Delayed
// replies come from a timer thread; Never leaves the request pending until CompleteRequest. A
// reply with an error changes nothing. Reset() returns every entry point to the default.
//
// Lines (messages go to the opens of the line; hDevice = the open's HLINE, callback instance =
// the one given to lineOpenW):
//   CloseLine      LINE_CLOSE; the opens and their call handles end (the calls stay)
//   RemoveLine     LINE_CLOSE to the opens, the calls vanish, then LINE_REMOVE to everyone
//   Ring           LINE_LINEDEVSTATE RINGING, dwParam2 = ring mode, dwParam3 = ring count
//   LineState      LINE_LINEDEVSTATE with any state; AddressState LINE_ADDRESSSTATE
//                  (dwParam1 = address ID, dwParam2 = state)
//   RenameLine,
//   ChangeLine     LINE_LINEDEVSTATE CAPSCHANGE through each open of the line; applications
//                  without an open of it get the application-wide form described above
// LINEDEVSTATE_ and LINEADDRESSSTATE_ messages reach only the opens whose lineSetStatusMessages
// mask holds the state (CAPSCHANGE always). Opening and closing tell the other opens of the line
// LINEDEVSTATE_OPEN / CLOSE when they asked for it. LineConfig can make owner opens fail
// (refuseOwner) or every open fail (openError) with a chosen code.
//
// Calls. OfferCall puts an incoming call on a line address in state OFFERING and sends, to each
// open of the line in the order they opened:
//   LINE_APPNEWCALL  hDevice = HLINE, dwParam1 = address ID, dwParam2 = the open's new HCALL,
//                    dwParam3 = privilege: OWNER for the oldest owner open whose media modes
//                    include the call's, MONITOR for every other open with MONITOR privilege;
//                    opens with only NONE, or only OWNER and another media mode, get nothing
//   LINE_CALLSTATE   hDevice = HCALL, OFFERING, dwParam2 = offering mode, dwParam3 = the
//                    privilege (the first state report of a handle carries it, later ones 0)
//   LINE_CALLINFO    hDevice = HCALL, dwParam1 = ORIGIN|REASON, plus CALLERID / CALLEDID when
//                    those parties are known
// SetCallState sends LINE_CALLSTATE (dwParam1 = state, dwParam2 = mode) to every handle of the
// call; SetCallInfo sends LINE_CALLINFO with the LINECALLINFOSTATE_ flags of what changed.
// RemoteHangUp: DISCONNECTED (mode = the disconnect mode); a call nobody owns then goes IDLE at
// once, an owned call stays DISCONNECTED until an owner drops it (lineDrop: LINE_REPLY, then
// IDLE) or its last owner closes the line (the line's CLOSEDROP flag). The switch forgets an
// IDLE call when no application holds a handle of it any more. Calls on a line when it is
// opened are adopted with MONITOR handles, silently; lineGetNewCalls lists them.
//
// Every method is thread-safe: it takes the global TAPI lock.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "tapi32/provider.h"
#include "tapi32/requests.h"
#include "tapi32/sim/config.h"
#include "tapi32/sim/devices.h"

namespace tapi32::sim {

// The environment variable that names the switch's configuration file.
inline constexpr const char* kConfigVariable = "ZVTAPI_SIM_CONFIG";

// One party of a call. flags 0 derives LINECALLPARTYID_ flags from the texts: ADDRESS when
// there is a number, NAME when there is a name, UNKNOWN when there is neither.
struct Party {
  std::string number;
  std::string name;
  uint32_t flags = 0;
};

// A call that reaches a line from outside.
struct IncomingCall {
  std::string callerNumber;
  std::string callerName;
  std::string calledNumber;
  std::string calledName;
  uint32_t mediaMode = LINEMEDIAMODE_INTERACTIVEVOICE;
  uint32_t bearerMode = LINEBEARERMODE_VOICE;
  uint32_t rate = 0;
  uint32_t origin = LINECALLORIGIN_EXTERNAL;
  uint32_t reason = LINECALLREASON_DIRECT;
  uint32_t offeringMode = LINEOFFERINGMODE_ACTIVE;
  uint32_t callerFlags = 0;  // 0: derived from the texts (see Party)
  uint32_t calledFlags = 0;
};

// Changes of a call's information; only the fields that are set change.
struct CallInfoChange {
  std::optional<Party> caller, called, connected, redirection, redirecting;
  std::optional<uint32_t> origin, reason, mediaMode, bearerMode, rate, appSpecific, relatedCallId,
      trunk, completionId, callParamFlags;
  std::optional<std::string> display, comment, displayableAddress, calledParty;
  std::optional<std::vector<uint8_t>> userUserInfo, chargingInfo, callData;
};

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

  // Asynchronous replies of an entry point: lasting, or for its next request only. An unknown
  // entry point throws std::invalid_argument.
  void SetReplyMode(const std::string& entryPoint, tapi32::ReplyMode mode);
  void SetNextReplyMode(const std::string& entryPoint, tapi32::ReplyMode mode);
  // Requests waiting for their reply (Never, or Delayed and not yet due), lowest ID first.
  std::vector<DWORD> PendingRequests() const;
  // Replies to a pending request now; false when it is not pending.
  bool CompleteRequest(DWORD requestId, LONG result);

  // Calls. Call IDs count from 1 and are never reused; they are also the calls' dwCallID. IDs
  // of unknown calls, lines or addresses throw std::out_of_range.
  uint32_t OfferCall(uint32_t lineId, uint32_t addressId, const IncomingCall& call);
  void SetCallState(uint32_t callId, uint32_t state, uint32_t mode = 0);
  void SetCallInfo(uint32_t callId, const CallInfoChange& change);
  void RemoteHangUp(uint32_t callId, uint32_t disconnectMode = LINEDISCONNECTMODE_NORMAL);
  // The calls on a line that are not IDLE, oldest first.
  std::vector<uint32_t> CallsOnLine(uint32_t lineId) const;
  // Whether the switch still has the call (an IDLE call stays while an application holds a
  // handle of it), and what it knows about it.
  bool HasCall(uint32_t callId) const;
  tapi32::CallData CallSnapshot(uint32_t callId) const;
  // The handle an application holds for the call (its first open's), or 0.
  HCALL CallHandle(HLINEAPP app, uint32_t callId) const;

  // Line events sent to the opens of the line.
  void CloseLine(uint32_t lineId);
  void Ring(uint32_t lineId, uint32_t ringMode, uint32_t ringCount);
  void LineState(uint32_t lineId, uint32_t state, uint32_t param2 = 0, uint32_t param3 = 0);
  void AddressState(uint32_t lineId, uint32_t addressId, uint32_t state);

  // tapi32::Provider
  bool Prepare(std::string& error) override;
  DWORD NumLines() const override;
  const tapi32::LineDevice& Line(DWORD deviceId) const override;
  DWORD NumPhones() const override;
  const tapi32::PhoneDevice& Phone(DWORD deviceId) const override;
  const tapi32::CallData* FindCall(DWORD callId) const override;
  void DropCall(DWORD callId) override;
  void LastOwnerGone(DWORD callId) override;
  void CallReleased(DWORD callId) override;

 private:
  Switch();
  void ReplaceDevices(const Config& config);
  LineDevice& LineAt(uint32_t deviceId) const;
  PhoneDevice& PhoneAt(uint32_t deviceId) const;
  tapi32::CallData& CallAt(uint32_t callId);
  // Moves a call to a state, tells the applications, and forgets an IDLE call nobody holds.
  void MoveCall(uint32_t callId, uint32_t state, uint32_t mode);

  std::vector<std::unique_ptr<LineDevice>> lines_;
  std::vector<std::unique_ptr<PhoneDevice>> phones_;
  bool configured_ = false;
  std::unordered_map<uint32_t, tapi32::CallData> calls_;
  uint32_t lastCallId_ = 0;
};

}  // namespace tapi32::sim
