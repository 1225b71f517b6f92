// The service-provider side of tapi32: what a telephony provider offers (line and phone devices
// with their capabilities and version ranges) and how it tells the runtime that devices came,
// went or changed. The runtime calls a provider only while it holds the global TAPI lock
// (Server::Mutex()); providers that run threads of their own take that lock before they touch
// their devices or call the sink.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tapi32/tapi_constants.h"
#include "tapi32/tapi_structs.h"

namespace tapi32 {

struct VersionRange {
  DWORD low = 0;
  DWORD high = 0;
  bool Contains(DWORD version) const { return version >= low && version <= high; }
};

// Everything lineGetDevCapsW reports about a line. The size/offset fields of `fixed` are
// ignored: the runtime lays out the variable part itself from the texts below.
struct LineCaps {
  LINEDEVCAPS fixed{};
  std::u16string providerInfo;
  std::u16string switchInfo;
  std::u16string lineName;
  std::vector<std::u16string> deviceClasses;
  std::vector<uint8_t> devSpecific;
};

// One button/lamp of a phone as its device describes it.
struct PhoneButton {
  DWORD mode = PHONEBUTTONMODE_DUMMY;  // PHONEBUTTONMODE_
  DWORD function = PHONEBUTTONFUNCTION_NONE;
  std::u16string text;
  DWORD lampModes = PHONELAMPMODE_DUMMY;  // the PHONELAMPMODE_ modes its lamp can show
};

// Everything phoneGetDevCapsW reports about a phone (size/offset fields of `fixed` ignored; the
// button arrays come from `buttons`, one per button/lamp ID).
struct PhoneCaps {
  PHONECAPS fixed{};
  std::u16string providerInfo;
  std::u16string phoneInfo;
  std::u16string phoneName;
  std::vector<std::u16string> deviceClasses;
  std::vector<uint8_t> devSpecific;
  std::vector<PhoneButton> buttons;
};

// The three hook-switch devices in the order PHONESTATUS lists them.
inline constexpr DWORD kHookSwitchDevices[] = {
    PHONEHOOKSWITCHDEV_HANDSET, PHONEHOOKSWITCHDEV_SPEAKER, PHONEHOOKSWITCHDEV_HEADSET};
// A hook-switch device's place in PhoneStatus's arrays (0 handset, 1 speaker, 2 headset).
inline size_t HookSwitchIndex(DWORD device) {
  return device == PHONEHOOKSWITCHDEV_HANDSET ? 0 : device == PHONEHOOKSWITCHDEV_SPEAKER ? 1 : 2;
}

// What a phone shows and does now: the device's part of PHONESTATUS and the answers of the
// phoneGet… functions. Arrays of buttons are indexed by button/lamp ID.
struct PhoneStatus {
  DWORD statusFlags = PHONESTATUSFLAGS_CONNECTED;
  DWORD ringMode = 0;  // 0: silent
  DWORD ringVolume = 0;
  DWORD hookSwitchModes[3] = {PHONEHOOKSWITCHMODE_ONHOOK, PHONEHOOKSWITCHMODE_ONHOOK,
                              PHONEHOOKSWITCHMODE_ONHOOK};
  DWORD volumes[3] = {};
  DWORD gains[3] = {};
  std::u16string display;  // rows × columns characters, row after row
  std::vector<DWORD> lampModes;
  std::vector<DWORD> buttonStates;  // PHONEBUTTONSTATE_
};

// A phone request the runtime has checked (handle, privilege, arguments against the
// capabilities) and now carries out.
struct PhoneRequest {
  enum class Op : uint8_t { HookSwitch, Display, Ring, Lamp, Volume, Gain, DevSpecific };
  Op op = Op::HookSwitch;
  DWORD deviceId = 0;
  DWORD hookSwitchDevs = 0;  // HookSwitch, Volume, Gain
  DWORD value = 0;           // hook-switch mode, ring mode, lamp mode, volume or gain
  DWORD ringVolume = 0;
  DWORD buttonLampId = 0;
  DWORD row = 0;
  DWORD column = 0;
  std::u16string text;        // Display: one character per byte the application sent
  std::vector<uint8_t> data;  // DevSpecific: the block as sent
};

// Everything lineGetAddressCapsW reports about one address (size/offset fields of `fixed`
// ignored).
struct AddressCaps {
  LINEADDRESSCAPS fixed{};
  std::u16string address;
  std::vector<std::u16string> deviceClasses;
};

// One forwarding instruction of an address, as lineForwardW sets it and LINEADDRESSSTATUS
// reports it.
struct ForwardEntry {
  DWORD mode = 0;                // one LINEFORWARDMODE_ flag
  std::u16string callerAddress;  // the caller the entry applies to (the …SPECIFIC modes)
  DWORD destCountryCode = 0;
  std::u16string destAddress;
  bool operator==(const ForwardEntry&) const = default;
};

// One party of a call as the device knows it: LINECALLPARTYID_ flags, number and name.
struct PartyId {
  DWORD flags = LINECALLPARTYID_UNKNOWN;
  std::u16string number;
  std::u16string name;
};

// Where the runtime keeps the way to a call's holders (the handles applications have for it)
// with the provider's own data of the call, as TAPI hands a service provider an opaque handle to
// keep with each of its calls: a change the provider reports then reaches the holders without a
// look-up. Only the runtime sets and reads it. A copy of the call data starts without it, because
// what it leads to belongs to the call it was set on.
class HolderLink {
 public:
  HolderLink() = default;
  HolderLink(const HolderLink&) {}
  HolderLink& operator=(const HolderLink&) { return *this; }
  void* Get() const { return record_; }
  void Set(void* record) const { record_ = record; }

 private:
  mutable void* record_ = nullptr;
};

// What the provider knows about one call. The runtime adds what depends on the application
// (line handle, privilege, owner and monitor counts) when it fills LINECALLINFO and
// LINECALLSTATUS.
struct CallData {
  DWORD deviceId = 0;
  DWORD addressId = 0;
  DWORD state = LINECALLSTATE_IDLE;
  DWORD stateMode = 0;
  HolderLink holders;  // the runtime's; beside the state, which every change reads too
  SYSTEMTIME stateEntryTime{};
  DWORD bearerMode = LINEBEARERMODE_VOICE;
  DWORD rate = 0;
  DWORD mediaMode = LINEMEDIAMODE_INTERACTIVEVOICE;
  DWORD appSpecific = 0;
  DWORD callId = 0;
  DWORD relatedCallId = 0;
  DWORD callParamFlags = 0;
  DWORD callStates = 0;  // the states a call on this address can have
  DWORD origin = LINECALLORIGIN_UNKNOWN;
  DWORD reason = LINECALLREASON_UNKNOWN;
  DWORD completionId = 0;
  DWORD countryCode = 0;
  DWORD trunk = 0xFFFFFFFF;  // unknown
  DWORD callTreatment = 0;
  PartyId caller, called, connected, redirection, redirecting;
  // The lineInitializeExW name of the application that first originated, accepted or answered
  // the call; empty for a call from outside that nobody here took.
  std::u16string appName;
  std::u16string displayableAddress, calledParty, comment, display;
  std::vector<uint8_t> userUserInfo, chargingInfo, callData;
};

// The call-control operations the runtime asks a provider to check and carry out. The runtime
// has already checked what concerns the application (handles, privileges, pointers); the
// provider checks what concerns the calls and the device.
enum class CallOp : uint32_t {
  Accept,
  Answer,
  MakeCall,
  Dial,
  Hold,
  Unhold,
  SwapHold,
  Park,
  Unpark,
  Pickup,
  Redirect,
  BlindTransfer,
  SetupTransfer,
  CompleteTransfer,
  SetupConference,
  PrepareAddToConference,
  AddToConference,
  RemoveFromConference,
  CompleteCall,
  UncompleteCall,
  SetCallData,
  SetMediaMode,
  GenerateDigits,
  GenerateTone,
  MonitorTones,
  MonitorMedia,
  MonitorDigits,
  GatherDigits,
  DevSpecific,
  DevSpecificFeature,
  Forward,
};

// What an application's LINECALLPARAMS asked for, already checked against its structure.
struct CallParams {
  DWORD bearerMode = LINEBEARERMODE_VOICE;
  DWORD mediaMode = LINEMEDIAMODE_INTERACTIVEVOICE;
  DWORD minRate = 0;
  DWORD maxRate = 0;
  DWORD flags = 0;
  DWORD addressMode = LINEADDRESSMODE_ADDRESSID;
  DWORD addressId = 0;
  DWORD noAnswerTimeout = 0;  // seconds, 0: none
  std::u16string origAddress, displayableAddress, calledParty, comment, callingPartyId;
  std::vector<uint8_t> userUserInfo, callData;
};

struct CallRequest {
  CallOp op = CallOp::Accept;
  DWORD deviceId = 0;
  DWORD addressId = 0;
  DWORD callId = 0;       // the call acted on; 0 for line operations (and a SetupConference
                          // that starts from nothing)
  DWORD otherCallId = 0;  // SwapHold: the held call; CompleteTransfer, AddToConference: the
                          // consultation call
  // Park, transfer, completion, digit or tone mode, media modes; SetupConference: the number
  // of parties; MonitorTones: the number of tones; MonitorDigits, GatherDigits: digit modes.
  DWORD mode = 0;
  // CompleteCall: message ID; UncompleteCall: completion ID; DevSpecificFeature: feature;
  // MonitorTones: the most frequencies one of the tones has.
  DWORD param = 0;
  DWORD countryCode = 0;
  bool hasAddress = false;    // the application passed a destination (it may still be empty)
  std::u16string address;     // destination, park address, digits, termination digits
  std::u16string group;       // pickup group
  std::vector<uint8_t> data;  // user-user info, call data, device-specific parameter block
  std::vector<DWORD> tones;   // GenerateTone: frequencies of a custom tone
  // GatherDigits: the time-outs in milliseconds (0: none).
  DWORD firstDigitTimeout = 0;
  DWORD interDigitTimeout = 0;
  bool hasParams = false;
  CallParams params;
  std::u16string appName;  // the requesting application's lineInitializeExW name
  // Forward: every address of the line rather than addressId; the new forwarding (none: the
  // forwarding is cancelled); mode holds the rings before a call counts as unanswered.
  bool allAddresses = false;
  std::vector<ForwardEntry> forwards;
  // The request's ID when the provider completes it itself (Provider::CompletesLater), else 0.
  DWORD requestId = 0;
};

// What an owner of a call can do with it now (LINECALLSTATUS dwCallFeatures, dwCallFeatures2).
struct CallFeatureSet {
  DWORD features = 0;   // LINECALLFEATURE_
  DWORD features2 = 0;  // LINECALLFEATURE2_
};

// What a successful operation produced.
struct CallOutcome {
  HCALL newCall = 0;   // the requester's handle of the new (consultation) call; also Forward's
  HCALL confCall = 0;  // the requester's handle of a new conference call
  DWORD completionId = 0;
  std::u16string parkedAt;  // non-directed park: where the call waits
  // Device-specific requests: bytes the device writes over the start of the parameter block.
  std::optional<std::vector<uint8_t>> devSpecific;
};

class LineDevice {
 public:
  virtual ~LineDevice() = default;
  // A removed device keeps its ID; TAPI answers LINEERR_NODEVICE for it.
  virtual bool Removed() const = 0;
  virtual VersionRange ApiVersions() const = 0;
  virtual VersionRange ExtVersions() const = 0;
  virtual LINEEXTENSIONID ExtensionId() const = 0;
  virtual LineCaps Caps() const = 0;
  // 0 when an open with these (already validated) privileges and media modes is accepted,
  // otherwise the LINEERR_ code it fails with.
  virtual LONG OpenResult(DWORD privileges, DWORD mediaModes) const = 0;
  // Address IDs run from 0 to Caps().fixed.dwNumAddresses − 1.
  virtual AddressCaps AddressCapsOf(DWORD addressId) const = 0;
  // The device's part of LINEADDRESSSTATUS / LINEDEVSTATUS (size/offset fields ignored; the
  // runtime fills in what concerns the opens).
  virtual LINEADDRESSSTATUS AddressStatusOf(DWORD addressId) const = 0;
  // The forwarding in force on an address, reported after LINEADDRESSSTATUS' fixed part; its
  // dwForwardNumEntries counts these.
  virtual std::vector<ForwardEntry> ForwardingOf(DWORD /*addressId*/) const { return {}; }
  virtual LINEDEVSTATUS Status() const = 0;
  // The device's icon for lineGetIconW.
  virtual HICON Icon() const = 0;
  // The calls on the line that are not IDLE, oldest first (provider call IDs).
  virtual std::vector<DWORD> LiveCalls() const = 0;
  // The audio devices of the line for lineGetIDW "wave/in" (input) and "wave/out"; asked only
  // when the capabilities list the class. None: the provider has no audio for it.
  virtual std::optional<DWORD> WaveId(bool /*input*/) const { return std::nullopt; }
  // The name of the line's serial port for lineGetIDW "comm"; asked only when the capabilities
  // list the class.
  virtual std::u16string PortName() const { return {}; }
};

class PhoneDevice {
 public:
  virtual ~PhoneDevice() = default;
  virtual bool Removed() const = 0;
  virtual VersionRange ApiVersions() const = 0;
  virtual VersionRange ExtVersions() const = 0;
  virtual PHONEEXTENSIONID ExtensionId() const = 0;
  virtual PhoneCaps Caps() const = 0;
  virtual const PhoneStatus& Status() const = 0;
  // The device's icon for phoneGetIconW.
  virtual HICON Icon() const = 0;
  // The line device the phone is the set of ("tapi/line" of phoneGetIDW), if any.
  virtual std::optional<DWORD> AttachedLine() const = 0;
  // The audio devices of the phone's handset for phoneGetIDW "wave/in" / "wave/out"; asked only
  // when the capabilities list the class.
  virtual std::optional<DWORD> WaveId(bool /*input*/) const { return std::nullopt; }
};

// The owner line of a call made by a party outside this runtime (another program on the same
// switch): every open that monitors the line gets a MONITOR handle, nobody owns it.
inline constexpr HLINE kForeignOwner = 0xFFFFFFFF;

// How the open that made a call learns the call's handle.
enum class MakerLearns : uint8_t {
  FromRequest,   // the request succeeds and writes the handle into the application's variable
  FromMessages,  // the request is going to fail and writes nothing: LINE_APPNEWCALL, as others
};

// What a provider reports to the runtime; every call reaches all initialised applications.
// Called with the global TAPI lock held.
class ProviderSink {
 public:
  virtual ~ProviderSink() = default;
  virtual void LineCreated(DWORD deviceId) = 0;
  // The device is gone: its opens end as with LineClosed, then every application hears of it.
  virtual void LineRemoved(DWORD deviceId) = 0;
  virtual void LineCapsChanged(DWORD deviceId) = 0;
  virtual void PhoneCreated(DWORD deviceId) = 0;
  virtual void PhoneRemoved(DWORD deviceId) = 0;
  virtual void PhoneCapsChanged(DWORD deviceId) = 0;
  // Asks every application to shut down and initialise again.
  virtual void Reinit() = 0;

  // Calls. A provider names its calls by IDs of its own, unique while the call exists.
  // A new call on a line: the runtime gives it to the applications that have the line open.
  // `ownerLine` is the open that made the call (it becomes the owner), 0 for an incoming call,
  // which goes to the oldest owner open whose media modes include the call's, or
  // kForeignOwner. Every open that gets a handle hears LINE_APPNEWCALL together with the call's
  // first LINE_CALLSTATE, so the provider reports the first state right after this; the maker
  // is not told when it learns the handle from its request. Returns the maker's handle, or 0.
  virtual HCALL CallCreated(DWORD callId, HLINE ownerLine, MakerLearns makerLearns) = 0;
  // The call's state changed (LINE_CALLSTATE to every handle of it; monitors that opened the
  // line while the call was on it and have no handle yet are given one).
  virtual void CallStateChanged(DWORD callId) = 0;
  // Some of the call's information changed (LINE_CALLINFO with LINECALLINFOSTATE_ flags).
  virtual void CallInfoChanged(DWORD callId, DWORD infoStates) = 0;
  // Whether any application still holds a handle of the call, and how many own it.
  virtual bool CallHasHandles(DWORD callId) const = 0;
  virtual DWORD CallOwners(DWORD callId) const = 0;

  // The provider closed a line (LINE_CLOSE to every open of it; the opens end).
  virtual void LineClosed(DWORD deviceId) = 0;
  // LINE_LINEDEVSTATE / LINE_ADDRESSSTATE to the opens of the line that asked for the state.
  virtual void LineStateChanged(DWORD deviceId, DWORD state, DWORD param2, DWORD param3) = 0;
  virtual void AddressStateChanged(DWORD deviceId, DWORD addressId, DWORD state) = 0;
  // The device heard a tone or recognised a media mode on a call: LINE_MONITORTONE /
  // LINE_MONITORMEDIA to the handles that monitor it.
  virtual void ToneDetected(DWORD callId, DWORD frequency1, DWORD frequency2, DWORD frequency3) = 0;
  virtual void MediaDetected(DWORD callId, DWORD mediaMode) = 0;

  // Phones. The provider closed a phone: PHONE_CLOSE to every open of it; the opens end.
  virtual void PhoneClosed(DWORD deviceId) = 0;
  // PHONE_STATE to the opens of the phone whose phoneSetStatusMessages mask holds the state;
  // param2 is the lamp's ID for LAMP, the new ring mode for RINGMODE, else 0.
  virtual void PhoneStateChanged(DWORD deviceId, DWORD state, DWORD param2) = 0;
  // PHONE_BUTTON to the opens whose button-mode and button-state masks hold mode and state.
  virtual void PhoneButtonChanged(DWORD deviceId, DWORD buttonLampId, DWORD mode, DWORD state) = 0;
  // PHONE_DEVSPECIFIC to every open of the phone.
  virtual void PhoneDevSpecific(DWORD deviceId, DWORD param1, DWORD param2, DWORD param3) = 0;
  // The device detected a digit on a call in one LINEDIGITMODE_ (a DTMF key is detected as
  // DTMF when its tone starts and as DTMFEND when it ends): digit monitors and gatherings hear it.
  virtual void DigitDetected(DWORD callId, char16_t digit, DWORD digitMode) = 0;
  // Silence on a call starts or ends: silence monitors (tones without frequencies) count it.
  virtual void SilenceChanged(DWORD callId, bool silent) = 0;
  // A request the provider completes itself (Provider::CompletesLater) ended: LINE_REPLY with
  // `result` (0 or a LINEERR_ code) to the application that asked.
  virtual void RequestCompleted(DWORD requestId, LONG result) = 0;
};

class Provider {
 public:
  virtual ~Provider() = default;
  // Called by every lineInitializeExW / phoneInitializeExW before the devices are counted; a
  // provider that reads a configuration does it here. False (with a message for the user) when
  // the configuration cannot be used; the initialisation then fails with INIFILECORRUPT.
  virtual bool Prepare(std::string& error) = 0;
  // Device IDs run from 0 to the count − 1; removed devices keep their place.
  virtual DWORD NumLines() const = 0;
  virtual const LineDevice& Line(DWORD deviceId) const = 0;
  virtual DWORD NumPhones() const = 0;
  virtual const PhoneDevice& Phone(DWORD deviceId) const = 0;

  // A call by its provider ID; nullptr when the provider no longer has it.
  virtual const CallData* FindCall(DWORD callId) const = 0;
  // An owner dropped the call (lineDrop succeeded): it goes IDLE.
  virtual void DropCall(DWORD callId) = 0;
  // The last owner of a call that is not IDLE closed its line or gave its handle up.
  virtual void LastOwnerGone(DWORD callId) = 0;
  // No application holds a handle of the call any more; an IDLE call can be forgotten.
  virtual void CallReleased(DWORD callId) = 0;

  // Call control: 0 when the operation can happen now, else the LINEERR_ code. The runtime asks
  // when the entry point is called and again just before the effect.
  virtual LONG CheckCallOp(const CallRequest& request) const = 0;
  // The operations an owner could start on the call now: exactly those CheckCallOp accepts.
  virtual CallFeatureSet CallFeatures(DWORD callId) const = 0;
  // Carries out a checked operation. `requester` is the open that asked; calls the operation
  // creates are announced with ProviderSink::CallCreated(callId, requester, FromRequest).
  virtual CallOutcome PerformCallOp(const CallRequest& request, HLINE requester) = 0;
  // Carries out the part of a checked operation that happens before it fails (ReplyMode's
  // partial-effect order): calls it makes are announced with CallCreated(callId, requester,
  // FromMessages). Returns what follows once the failed reply is queued (may be empty).
  virtual std::function<void()> PerformPartialCallOp(const CallRequest& request,
                                                     HLINE requester) = 0;
  // The conference a call belongs to (or is the conference call of): the conference call first,
  // then its parties; empty when the call is in no conference.
  virtual std::vector<DWORD> ConferenceOf(DWORD callId) const = 0;

  // The data connection of a call ("comm/datamodem"): the name of its port while the call has
  // one (none otherwise), and a new descriptor of it for an application, which then owns it
  // (-1 when none can be made). On POSIX the handle TAPI hands out is this file descriptor.
  virtual std::optional<std::u16string> CallPort(DWORD /*callId*/) const { return std::nullopt; }
  virtual int DuplicateCallPort(DWORD /*callId*/) { return -1; }

  // Carries out a checked phone request when its reply succeeds; the phone reports what
  // changed through ProviderSink. For DevSpecific: bytes to write over the start of the
  // caller's block, or nothing.
  virtual std::optional<std::vector<uint8_t>> PerformPhoneOp(const PhoneRequest& request) = 0;
  // The provider's clock, on which time-outs of the device's services are measured: runs `task`
  // delayMs from now with the global TAPI lock held. Planned tasks are dropped when the
  // provider's devices are replaced.
  virtual void Schedule(uint32_t delayMs, std::function<void()> task) = 0;
  // Whether the provider learns only later whether a checked operation succeeded (a far end
  // that has to agree): the runtime then carries it out at once and sends LINE_REPLY when the
  // provider reports ProviderSink::RequestCompleted with request.requestId.
  virtual bool CompletesLater(const CallRequest& /*request*/) const { return false; }
};

}  // namespace tapi32
