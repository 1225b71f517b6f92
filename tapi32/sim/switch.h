// The simulated switch: the telephony provider that serves the line and phone devices when no
// real one is configured, and the control panel tests use to drive TAPI.
//
// Configuration. The switch configures itself on the first lineInitializeExW /
// phoneInitializeExW: from the file named by the environment variable ZVTAPI_SIM_CONFIG when it
// is set (format in tapi32/sim/config.h), otherwise from the file SetConfigFile named, otherwise
// from LiveDemoConfig(). A file that cannot be
// read or parsed makes that initialisation fail with LINEERR_INIFILECORRUPT
// (PHONEERR_INIFILECORRUPT); the reason ("<file>:<line>: <problem>") is printed to stderr once, and
// the next initialisation tries again. Reset() configures the switch directly and takes precedence.
// Devices may offer API versions up to 2.2 (kHighestDeviceVersion), the version whose structures
// the runtime lays out; a configuration that asks for more is refused with ConfigError.
//
// Device IDs are positions: a removed device keeps its ID (negotiation then answers NODEVICE)
// and new devices are appended. The switch's line devices start at its line base (0 unless the
// set of providers it serves in puts other providers' lines before them): every line ID the
// switch takes or reports, here and through TAPI, is that device ID. Its phones start at 0.
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
// Those messages came with TAPI 1.4 (LINE_CREATE, PHONE_CREATE) and 2.0 (LINE_REMOVE,
// PHONE_REMOVE). An application initialised below 1.4 gets LINE_LINEDEVSTATE REINIT
// (PHONE_STATE REINIT) instead of LINE_CREATE (PHONE_CREATE); one below 2.0 gets no LINE_REMOVE
// (PHONE_REMOVE): its opens of the line hear LINE_LINEDEVSTATE REMOVED before their LINE_CLOSE.
//
// Fault injection names entry points by their C names ("lineGetDevCapsW"); an armed fault makes
// the entry point return the code without doing anything else. Call counts include such calls.
//
// Asynchronous replies (SetReplyMode / SetNextReplyMode, per entry point, see requests.h; or the
// configuration's [replies]): by default a request is answered at once (LINE_REPLY hDevice 0,
// callback instance of the open, dwParam1 = request ID, dwParam2 = result) before the messages
// its effect causes. Delayed replies come from a timer thread; Never leaves the request pending
// until CompleteRequest. Each may come in one of three orders:
//   ReplyFirst          LINE_REPLY, then the effect (the default)
//   EffectFirst         the effect (new handles written, their messages queued), then LINE_REPLY
//   PartialEffectFirst  for a reply with an error: what the operation got done before it failed,
//                       then LINE_REPLY, then the calls it made go IDLE (a success in this order
//                       is effect-first)
// A reply with an error writes nothing into the application's variables, so the calls a partial
// effect makes reach the requester as they reach every other open: LINE_APPNEWCALL (OWNER for
// the requester) immediately followed by the first LINE_CALLSTATE. The requester can query them
// and, once they are IDLE, deallocate them. The partial effects:
//   lineMakeCallW         the new call DIALTONE
//   lineSetupTransferW,
//   linePrepareAddToConferenceW  the consultation call DIALTONE (the call acted on stays as it
//                         was)
//   lineSetupConferenceW  the conference call ONHOLDPENDCONF, the consultation call DIALTONE (the
//                         call, if any, stays as it was)
//   lineCompleteTransfer  in conference mode the conference call ONHOLDPENDCONF; else nothing
//   linePickupW, lineUnparkW  the new call PROCEEDING (the ringing or parked call stays)
//   lineDialW             the call DIALING (it stays there: dial again or drop it)
//   every other request   nothing: the failed reply is all there is
// A failed reply in the other orders changes nothing. When what a request acts on has gone by
// the time of its reply, the reply reports that and nothing happens, in every order. Reset()
// returns every entry point to the configuration's modes (the default for those it omits).
//
// Lines (messages go to the opens of the line; hDevice = the open's HLINE, callback instance =
// the one given to lineOpenW):
//   CloseLine      LINE_CLOSE; the opens and their call handles end (the calls stay)
//   RemoveLine     LINE_CLOSE to the opens, then LINE_REMOVE (see above); the calls vanish
//   Ring           LINE_LINEDEVSTATE RINGING, dwParam2 = ring mode, dwParam3 = ring count
//   LineState      LINE_LINEDEVSTATE with any state (CONNECTED, DISCONNECTED, INSERVICE,
//                  OUTOFSERVICE, MSGWAITON/OFF also set LINEDEVSTATUS dwDevStatusFlags);
//                  AddressState LINE_ADDRESSSTATE (dwParam1 = address ID, dwParam2 = state)
//   RenameLine,
//   ChangeLine     LINE_LINEDEVSTATE CAPSCHANGE through each open of the line; applications
//                  without an open of it get the application-wide form described above
// What happens on a line reports itself, right after the LINE_CALLSTATE that caused it:
//   a call comes or goes, or moves between active, held (ONHOLD) and pending (ONHOLDPEND…):
//                  LINE_LINEDEVSTATE NUMCALLS and LINE_ADDRESSSTATE NUMCALLS, with INUSEONE when
//                  the address gets its first call and INUSEZERO when its last one goes
//   the features available on the line or an address change (LINEDEVSTATUS dwLineFeatures,
//                  LINEADDRESSSTATUS dwAddressFeatures): LINEDEVSTATE_OTHER /
//                  LINEADDRESSSTATE_OTHER
//   a call completion is requested or ends: LINEDEVSTATE_NUMCOMPLETIONS
//   a call alerts (OFFERING, unless offered INACTIVE, or ACCEPTED): the line rings, RINGING with
//                  dwParam2 = ring mode 1 (0 when dwRingModes is 0), dwParam3 = the ring count of
//                  this ringing period from 0, at once and every ringIntervalMs on the switch's
//                  clock until no call alerts; LINEDEVSTATUS dwRingMode shows the ring mode
//                  meanwhile
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
//                    opens with only NONE, or only OWNER and another media mode, get nothing;
//                    opens negotiated below 2.0 get no LINE_APPNEWCALL at all
//   LINE_CALLSTATE   hDevice = HCALL, OFFERING, dwParam2 = offering mode, dwParam3 = the
//                    privilege (the first state report of a handle carries it, later ones 0);
//                    it follows the open's LINE_APPNEWCALL immediately, before the next open's
//   LINE_CALLINFO    hDevice = HCALL, dwParam1 = ORIGIN|REASON, plus CALLERID / CALLEDID when
//                    those parties are known
// Every new call, however it comes, is announced this way. LINECALLINFO names the application
// that made the call, or that first accepted or answered it (dwAppName; empty for calls from
// outside nobody here took). LINE_CALLSTATE CONFERENCED carries in dwParam2 the receiving
// open's handle of the conference call (0 when it has none), which it has heard of before.
// SetCallState sends LINE_CALLSTATE (dwParam1 = state, dwParam2 = mode) to every handle of the
// call; SetCallInfo sends LINE_CALLINFO with the LINECALLINFOSTATE_ flags of what changed.
// RemoteHangUp: DISCONNECTED (mode = the disconnect mode); a call nobody owns then goes IDLE at
// once, an owned call stays DISCONNECTED until an owner drops it (lineDrop: LINE_REPLY, then
// IDLE) or its last owner closes the line (the line's CLOSEDROP flag). The switch forgets an
// IDLE call when no application holds a handle of it any more. A line opened while calls are on
// it gets no handles for them: lineGetNewCalls gives the open MONITOR handles for the calls it
// has no handle of (and only those), and an open with MONITOR privilege that has not asked is
// given one, with LINE_APPNEWCALL, at the call's next state change (once per call). Whenever a
// handle is added to or taken from a call, or changes its privilege, the call's other handles
// hear LINE_CALLINFO NUMMONITORS / NUMOWNERINCR / NUMOWNERDECR, matching LINECALLINFO's counts.
//
// Call control (lineAccept … lineSetMediaMode). The runtime checks handles, privileges and
// pointers; the switch checks the call states, the addresses and what the line can do (below),
// then moves the calls with LINE_CALLSTATE (and LINE_CALLINFO for what it learns) to every
// handle of each call:
//   lineAccept            OFFERING → ACCEPTED
//   lineAnswer            OFFERING/ACCEPTED → CONNECTED; CONNECTEDID = the caller
//   lineMakeCallW         new call (origin OUTBOUND) DIALTONE; with a destination it is dialled
//   lineDialW             DIALTONE/DIALING → DIALING; a destination ending in ';' is partial and
//                         stays DIALING, otherwise PROCEEDING and the far end takes over:
//                         Answers → RINGBACK, then CONNECTED (CONNECTEDID) after its delay;
//                         Busy → BUSY (LINEBUSYMODE_STATION); NoAnswer → RINGBACK for good (or
//                         DISCONNECTED NOANSWER after the call parameters' dwNoAnswerTimeout);
//                         Rejects → DISCONNECTED REJECT; Unreachable → DISCONNECTED UNREACHABLE.
//                         SetFarEnd chooses per number (digits, '*', '#', '+' compared), the
//                         default far end answers after kDefaultAnswerMs.
//   lineHold / lineUnhold CONNECTED ↔ ONHOLD
//   lineSwapHold          the active call goes ONHOLD (ONHOLDPENDTRANSFER when the held call was
//                         waiting for a transfer), then the held call CONNECTED
//   lineParkW             CONNECTED → DISCONNECTED → IDLE; the call waits at the directed
//                         address, or at the first free one of 701…799 (written to the VARSTRING)
//   lineUnparkW           a new call CONNECTED (reason UNPARK) on the unparking line/address
//   linePickupW           the OFFERING/ACCEPTED call at the line whose address name (or line
//                         name) is the destination, or with only a group ID the oldest one on any
//                         other line: a new call CONNECTED (reason PICKUP) on the picking line,
//                         then the original DISCONNECTED (PICKUP) → IDLE
//   lineRedirectW         OFFERING/ACCEPTED → DISCONNECTED → IDLE
//   lineBlindTransferW    CONNECTED → DISCONNECTED → IDLE
//   lineSetupTransferW    CONNECTED → ONHOLDPENDTRANSFER; new consultation call DIALTONE whose
//                         RELATEDCALLID is the primary call
//   lineCompleteTransfer  TRANSFER: both calls DISCONNECTED → IDLE. CONFERENCE: a new conference
//                         call CONNECTED, then both calls CONFERENCED (RELATEDCALLID = the
//                         conference)
//   lineSetupConferenceW  new conference call ONHOLDPENDCONF; the call (if any) CONFERENCED; new
//                         consultation call DIALTONE related to the conference
//   linePrepareAddToConferenceW  conference CONNECTED → ONHOLDPENDCONF; new consultation call
//   lineAddToConference   the consultation call CONFERENCED, the conference call (waiting,
//                         connected or held) CONNECTED
//   lineRemoveFromConference  the party DISCONNECTED → IDLE; a conference without parties goes
//                         IDLE too, and dropping a conference call drops its parties
//   lineCompleteCall      BUSY/RINGBACK: a completion ID (LINEDEVSTATE_NUMCOMPLETIONS); the
//                         script brings the call back with FireCompletion
//   lineUncompleteCall    forgets the completion (LINEDEVSTATE_NUMCOMPLETIONS)
//   lineSetCallData       LINE_CALLINFO CALLDATA;  lineSetMediaMode  LINE_CALLINFO MEDIAMODE
//   lineGenerateDigitsW, lineGenerateTone  CONNECTED only; LINE_GENERATE (DONE) at once
//   lineMonitorTones, lineMonitorMedia, lineMonitorDigits  accepted in any state but IDLE;
//                         DetectTone, DetectMedia, ChangeMediaMode, PlaySilence and PlayDigits
//                         send the messages
//   lineGatherDigitsW     fills the buffer with the digits PlayDigits sends; LINE_GATHERDIGITS
//                         (dwParam1 = LINEGATHERTERM_) when it is full (BUFFERFULL), after a
//                         termination digit, which is kept in the buffer (TERMDIGIT), when the
//                         first or the next digit is later than its time-out on the switch's
//                         clock (FIRSTTIMEOUT, INTERTIMEOUT; 0: none), or, with CANCEL, when it
//                         is cancelled (no buffer), replaced by another gathering on the handle,
//                         or the call goes IDLE (after its LINE_CALLSTATE). A gathering whose
//                         handle is deallocated or whose line is closed ends without a message
//   lineHandoffW          the target, an owner open of the line, becomes an owner:
//                         LINE_APPNEWCALL if it had no handle, then LINE_CALLSTATE with the
//                         privilege. By name: the oldest open of another application of that name
//                         (TARGETSELF when only the caller has it); by media mode: the oldest
//                         owner open for the mode (TARGETSELF when that is the caller's);
//                         TARGETNOTFOUND when there is none
//   lineGetConfRelatedCalls  the conference call, then its parties, as handles of the asking
//                         open (MONITOR handles for those it had none of); NOCONFERENCE outside
//                         a conference
//   lineDevSpecific(Feature)  the reply copies SetDevSpecificAnswer's bytes over the start of
//                         the caller's block (by default the block is left as it is)
// A consultation call that goes IDLE returns its primary call from ONHOLDPENDTRANSFER to ONHOLD
// and its conference call from ONHOLDPENDCONF to CONNECTED (IDLE when it has no parties).
//
// What a line can do (LineConfig) is what its capabilities report, and the switch holds to it:
//   calls that take up the station (DIALTONE … CONNECTED; not OFFERING, ACCEPTED, CONFERENCED,
//   DISCONNECTED or held) maxActiveCalls on the line: one more is refused with CALLUNAVAIL by
//   lineMakeCallW, lineUnparkW, linePickupW and lineSetupConferenceW without a call, with
//   RESOURCEUNAVAIL by the rest; lineAnswer on a full line holds the oldest connected calls
//   (answer mode HOLD; RESOURCEUNAVAIL when they cannot all be held), drops them (DROP) or fails
//   with RESOURCEUNAVAIL (NONE). Held calls maxOnHoldCalls and pending ones maxOnHoldPendingCalls
//   per address (RESOURCEUNAVAIL; OPERATIONUNAVAIL where the limit is 0). A conference holds
//   maxConference parties, one made from a transfer maxTransConf − 1 (CONFERENCEFULL); the
//   transfer mode CONFERENCE needs maxTransConf ≥ 3 (INVALTRANSFERMODE); the consultation call
//   joins from the same address unless the line has CROSSADDRCONF. User-user information beyond
//   the uui sizes: USERUSERINFOTOOBIG (a call's information keeps uuiCallInfoSize bytes).
//   Digit and tone modes outside generateDigitModes / generateToneModes: INVALDIGITMODE /
//   INVALTONEMODE; a custom tone of more than generateToneMaxFreq frequencies INVALTONE; more than
//   monitorToneMaxEntries tones to monitor INVALTONELIST, a tone of more than monitorToneMaxFreq
//   frequencies INVALTONE. Completions CAMPON, CALLBACK, INTRUDE (INVALCALLCOMPLMODE), four per
//   address (COMPLETIONOVERRUN). dwNoAnswerTimeout up to 600 s (INVALCALLPARAMS).
//   lineDevSpecific(Feature) need the line feature DEVSPECIFIC(FEAT) (OPERATIONUNAVAIL).
//   Digit modes outside monitorDigitModes INVALDIGITMODE, none at all OPERATIONUNAVAIL;
//   lineGatherDigitsW takes PULSE and DTMF of them, time-outs of 0 or within
//   gatherDigitsMin/MaxTimeout (INVALTIMEOUT) and termination digits the modes can bring
//   (INVALDIGITS); a gatherDigitsMaxTimeout of 0 gathers nothing (OPERATIONUNAVAIL).
//   lineForwardW          the forwarding of one address or of all (a null list cancels it,
//                         LINE_ADDRESSSTATE FORWARD to the opens that asked); with the line's
//                         forwardConsult a new consultation call DIALTONE for the destination
//                         (its handle in lphConsultCall, 0 otherwise). From then on a call from
//                         outside (OfferCall, the demo's callers) that a forwarding entry fits
//                         goes on: unconditionally as it arrives, on busy when the station has no
//                         room for one more call to talk on, on no answer when it still alerts
//                         when it has heard dwNumRingsNoAnswer rings and the next one is
//                         due (on a line that rings once, 6 s a ring): it leaves here
//                         DISCONNECTED (FORWARDED) → IDLE.
//                         A destination that is a station of the switch (its address name or
//                         extension number) gets a new call OFFERING with reason FWDUNCOND,
//                         FWDBUSY or FWDNOANSWER, REDIRECTINGID the forwarding station and
//                         REDIRECTIONID the destination; a number outside takes the call when its
//                         far end answers or rings (SetFarEnd), otherwise the call stays where it
//                         is. A forwarding that would lead back to a station the call has
//                         already passed leaves it there.
// LINECALLSTATUS offers an owner a feature exactly when the switch would accept its operation
// now (a monitor MONITORMEDIA, MONITORTONES and MONITORDIGITS).
//
// Timed events (far ends, rings, traffic) run on the switch's clock thread with the TAPI lock
// held. Reset and Unconfigure stop it and drop what it had planned; they must not be called with
// the TAPI lock held.
//
// Demo traffic (Config::traffic, see config.h): while enabled, callers from a list of invented
// names ring the voice lines (lines with INTERACTIVEVOICE that are not removed), a new call about
// every intervalMs and never more than maxCallsPerLine on a line. A call is answered by a
// simulated colleague (the switch moves it to CONNECTED as another application would), or rings
// until the caller gives up (DISCONNECTED, then IDLE); connected calls are sometimes put on hold
// for a while and end after a while; now and then the colleague dials out and finds the number
// busy; for ten intervals in every thirty the last voice line is forwarded unconditionally to the
// first (LINE_ADDRESSSTATE FORWARD when it starts and ends). Some connected callers, a little
// after the answer, type a four-digit number ended with '#' (PlayDigits), send a fax tone
// (ChangeMediaMode G3FAX, on lines with that media mode) or fall silent for one to two intervals
// (PlaySilence). The colleague keeps to the line's limits: with no room it lets the caller give
// up, does not hold or take back a call and does not dial. A call the user answers ends after a
// while. All choices come from the seed. The configuration the switch takes without
// ZVTAPI_SIM_CONFIG and without Reset is LiveDemoConfig() (DemoConfig() plus traffic, and
// lineAccept, lineAnswer and lineDrop answered effect first, the order many real providers use);
// DemoConfig() itself and every Reset(config) that does not ask for traffic stay quiet and answer
// reply first.
//
// Every method is thread-safe: it takes the global TAPI lock.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "tapi32/provider.h"
#include "tapi32/requests.h"
#include "tapi32/sim/config.h"
#include "tapi32/sim/devices.h"
#include "tapi32/sim/modem.h"
#include "tapi32/sim/phones.h"

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

// How the far end of an outgoing call behaves once it is dialled.
struct FarEnd {
  enum class Kind : uint8_t { Answers, Busy, NoAnswer, Rejects, Unreachable };
  Kind kind = Kind::Answers;
  uint32_t afterMs = 0;  // how long until it answers (or is found busy, rejects …); 0: at once
  std::string name;      // the connected party's name when it answers
};

// A call the switch forwarded: from which station, why (LINECALLREASON_FWDUNCOND, FWDBUSY or
// FWDNOANSWER), to which number, and the call that rings there (0: the number is outside the
// switch and the call left it).
struct ForwardedCall {
  uint32_t lineId = 0;
  uint32_t addressId = 0;
  uint32_t reason = 0;
  std::string destination;
  uint32_t callId = 0;
};

// What the switch last received through lineDevSpecific / lineDevSpecificFeature.
struct DevSpecificRequest {
  bool feature = false;  // lineDevSpecificFeature
  uint32_t lineId = 0;
  uint32_t addressId = 0;
  uint32_t callId = 0;        // 0: no call named
  uint32_t featureCode = 0;   // lineDevSpecificFeature's dwFeature
  std::vector<uint8_t> data;  // the caller's block as it was sent
};

class Clock;

class Switch final : public tapi32::Provider {
 public:
  // The process's switch; the runtime serves it from the start of the program, beside the SIP
  // lines the telephony configuration adds (tapi32/installed_providers.h).
  static Switch& Instance();

  // Replaces all devices and reply modes with the configuration (nothing is sent to
  // applications), clears the faults and the call counters. Applications that are initialised
  // stay so. A device the switch cannot offer (CheckDevice) throws ConfigError and changes
  // nothing.
  void Reset(const Config& config);
  // Forgets the configuration: the next initialisation reads ZVTAPI_SIM_CONFIG (or the demo)
  // again. Faults and counters are cleared as by Reset.
  void Unconfigure();
  // What the switch configures itself from when ZVTAPI_SIM_CONFIG is not set: a configuration
  // file, or (empty, the default) the live demo. Used from the next initialisation on.
  void SetConfigFile(std::string path);
  // The device ID of the switch's first line; the lines before it belong to other providers.
  // Only while the switch has no lines (std::logic_error otherwise, unless it stays the same).
  void SetLineBase(uint32_t base);
  uint32_t LineBase() const;

  // Device changes; IDs outside the device list throw std::out_of_range, configurations the
  // switch cannot offer ConfigError.
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
  // Makes TAPI refuse lineGetTranslateCapsW for API versions above `version` with
  // LINEERR_INCOMPATIBLEAPIVERSION, as an older TAPI does; Reset lifts it.
  void RefuseTranslateVersionsAbove(uint32_t version);

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
  // The call behind any application's handle, or 0.
  uint32_t CallIdOf(HCALL call) const;

  // Outgoing calls: the far end for a number (compared on its digits, '*', '#' and '+'), and
  // the one for every other number. Reset restores the default (answers after
  // kDefaultAnswerMs) and forgets the numbers.
  static constexpr uint32_t kDefaultAnswerMs = 2000;
  void SetFarEnd(const std::string& number, const FarEnd& farEnd);
  void SetDefaultFarEnd(const FarEnd& farEnd);
  // The far end of a dialled call answers (CONNECTED) or is busy (BUSY) now, whatever it was
  // scripted to do. Only for calls that are DIALING, PROCEEDING or RINGBACK.
  void FarEndAnswers(uint32_t callId);
  void FarEndBusy(uint32_t callId);

  // The calls of a conference: the conference call first, then its parties (empty when the
  // call is in none).
  std::vector<uint32_t> ConferenceCalls(uint32_t callId) const;
  // Whether a call is parked at an address (compared like far-end numbers).
  bool IsParked(const std::string& address) const;
  // A pending call completion comes back: a new call OFFERING on its line and address, reason
  // CALLCOMPLETION, carrying the completion ID; the completion is used up. Returns the call ID.
  uint32_t FireCompletion(uint32_t completionId);
  // Completion IDs waiting on a line.
  std::vector<uint32_t> CompletionsOn(uint32_t lineId) const;

  // Tones and media modes the switch recognises on a call: LINE_MONITORTONE (dwParam1 = the
  // dwAppSpecific of each matching LINEMONITORTONE) and LINE_MONITORMEDIA to the handles that
  // monitor them.
  void DetectTone(uint32_t callId, uint32_t frequency1, uint32_t frequency2 = 0,
                  uint32_t frequency3 = 0);
  void DetectMedia(uint32_t callId, uint32_t mediaMode);

  // The far end of a connected call presses keys: each digit is detected in turn, as DTMF (when
  // its tone starts, then as DTMFEND when it ends) or as PULSE. LINE_MONITORDIGITS (dwParam1 =
  // the digit, dwParam2 = the mode) to the handles monitoring that mode; a gathering in that mode
  // takes the digit. A call that is not CONNECTED throws std::logic_error, a digit the mode
  // cannot send (PULSE: 0-9; DTMF also * # A-D) std::invalid_argument.
  void PlayDigits(uint32_t callId, const std::string& digits,
                  uint32_t digitMode = LINEDIGITMODE_DTMF);
  // The far end turns out to be of another media mode (one LINEMEDIAMODE_ flag; a fax machine's
  // tone on a voice call): LINE_MONITORMEDIA to the handles monitoring it, then the call's
  // dwMediaMode changes (LINE_CALLINFO MEDIAMODE to every handle).
  void ChangeMediaMode(uint32_t callId, uint32_t mediaMode);
  // Silence on a call begins (the far end stops talking) and ends. A handle monitoring a tone
  // without frequencies hears LINE_MONITORTONE (dwParam1 = its dwAppSpecific) once the silence
  // has lasted the tone's dwDuration on the switch's clock, once per stretch of silence (for a
  // list given during a stretch, counted from then). The call going IDLE ends the silence.
  void PlaySilence(uint32_t callId);
  void PlaySpeech(uint32_t callId);

  // The switch's clock stands still from now until the next Reset or Unconfigure, except when
  // AdvanceClock moves it: time-outs, rings, far ends and traffic then happen on the thread that
  // advances the clock, in the order they fall due.
  void UseManualClock();
  void AdvanceClock(uint32_t ms);
  // The switch's clock runs `factor` times faster from now on (1: real time), through later
  // Resets, so that a configuration's traffic starts at that speed: time-outs, rings, far ends
  // and traffic come after 1/factor of their delays. The library's own timers keep real time.
  void SpeedUpClock(uint32_t factor);

  // Device-specific requests: the bytes a successful reply writes over the start of the caller's
  // block (nullopt, the default: the block stays as sent), and what was last asked.
  void SetDevSpecificAnswer(std::optional<std::vector<uint8_t>> bytes);
  DevSpecificRequest LastDevSpecific() const;

  // Demo traffic: whether it runs, and how many calls it has made since the last Reset.
  bool TrafficRunning() const;
  uint32_t TrafficCalls() const;

  // Call forwarding as lineForwardW sets it (here: as the switchboard or another program
  // does): the entries of an address, or with kAllAddresses of every address of the line, are
  // replaced and the opens that asked hear LINE_ADDRESSSTATE FORWARD. A list the line would
  // refuse throws std::invalid_argument.
  static constexpr uint32_t kAllAddresses = 0xFFFFFFFF;
  void Forward(uint32_t lineId, uint32_t addressId, std::vector<tapi32::ForwardEntry> entries,
               uint32_t numRingsNoAnswer);
  // The calls the switch forwarded, oldest first; the last kForwardLogSize of them.
  static constexpr size_t kForwardLogSize = 64;
  std::vector<ForwardedCall> ForwardedCalls() const;

  // What the far end of the line's next data connections says (config.h; empty: it echoes).
  void SetModemScript(uint32_t lineId, std::vector<ModemStep> script);
  // Line events sent to the opens of the line.
  void CloseLine(uint32_t lineId);
  void Ring(uint32_t lineId, uint32_t ringMode, uint32_t ringCount);
  void LineState(uint32_t lineId, uint32_t state, uint32_t param2 = 0, uint32_t param3 = 0);
  void AddressState(uint32_t lineId, uint32_t addressId, uint32_t state);

  // Phones (switch_phones.cpp). What the user at a phone does, and what the phone does by
  // itself; IDs of unknown phones or buttons throw std::out_of_range.
  //   PressButton / ReleaseButton  PHONE_BUTTON (dwParam1 = ID, dwParam2 = the button's mode,
  //                  dwParam3 = DOWN / UP) to the opens whose button masks hold both
  //   LiftHookSwitch / ReplaceHookSwitch  the device goes MICSPEAKER (the speakerphone SPEAKER)
  //                  / ONHOOK: PHONE_STATE …HOOKSWITCH
  //   ClosePhone     PHONE_CLOSE to every open; the opens end
  //   PhoneState     PHONE_STATE with OTHER, CONNECTED, DISCONNECTED, SUSPEND or RESUME (the
  //                  last four also set PHONESTATUS dwStatusFlags)
  //   PhoneDevSpecific  PHONE_DEVSPECIFIC with the three parameters to every open
  // The set of a line (PhoneConfig::line) follows the line's calls: while a call is offered it
  // rings (ring mode 1) and its display shows the caller's number (row 0) and name (row 1), then
  // the party of the connected call; the lamps of the call appearances show the line's calls,
  // oldest first (offered FLASH, held WINK, any other STEADY, none OFF). Lifting its handset (or
  // any first hook switch) answers the oldest offered call, replacing the last one drops the
  // connected call; keypad keys pressed during a connected call reach the call as digits.
  // phoneSetHookSwitch on such a phone does what lifting and replacing do.
  void PressButton(uint32_t phoneId, uint32_t buttonLampId);
  void ReleaseButton(uint32_t phoneId, uint32_t buttonLampId);
  void LiftHookSwitch(uint32_t phoneId, uint32_t hookSwitchDev = PHONEHOOKSWITCHDEV_HANDSET);
  void ReplaceHookSwitch(uint32_t phoneId, uint32_t hookSwitchDev = PHONEHOOKSWITCHDEV_HANDSET);
  void ClosePhone(uint32_t phoneId);
  void PhoneState(uint32_t phoneId, uint32_t state);
  void PhoneDevSpecific(uint32_t phoneId, uint32_t param1, uint32_t param2 = 0,
                        uint32_t param3 = 0);
  // What a phone shows and does now.
  tapi32::PhoneStatus PhoneStatusOf(uint32_t phoneId) const;
  // The block of the last phoneDevSpecific that succeeded (the reply uses SetDevSpecificAnswer).
  std::vector<uint8_t> LastPhoneDevSpecific() const;

  // tapi32::Provider
  bool Prepare(std::string& error) override;
  // The switch's own lines; their device IDs run from LineBase().
  DWORD NumLines() const override;
  const tapi32::LineDevice& Line(DWORD deviceId) const override;
  DWORD NumPhones() const override;
  const tapi32::PhoneDevice& Phone(DWORD deviceId) const override;
  const tapi32::CallData* FindCall(DWORD callId) const override;
  void DropCall(DWORD callId) override;
  void LastOwnerGone(DWORD callId) override;
  void CallReleased(DWORD callId) override;
  LONG CheckCallOp(const tapi32::CallRequest& request) const override;
  // Also for tests; takes the TAPI lock.
  tapi32::CallFeatureSet CallFeatures(DWORD callId) const override;
  tapi32::CallOutcome PerformCallOp(const tapi32::CallRequest& request, HLINE requester) override;
  std::function<void()> PerformPartialCallOp(const tapi32::CallRequest& request,
                                             HLINE requester) override;
  std::vector<DWORD> ConferenceOf(DWORD callId) const override;
  std::optional<std::u16string> CallPort(DWORD callId) const override;
  int DuplicateCallPort(DWORD callId) override;
  std::optional<std::vector<uint8_t>> PerformPhoneOp(const tapi32::PhoneRequest& request) override;
  void Schedule(uint32_t delayMs, std::function<void()> task) override;

 private:
  struct SimCall {
    // First: a state change reads and writes the beginning of the call's data (its line,
    // address, state and the runtime's link), so nothing goes ahead of it.
    tapi32::CallData data;
    bool conference = false;        // a conference call
    bool fromTransfer = false;      // a conference call made by completing a transfer
    uint32_t inConference = 0;      // a party: its conference call
    uint32_t consult = 0;           // the consultation call made for this call
    uint32_t consultFor = 0;        // a consultation call: the call it was made for
    std::vector<uint32_t> parties;  // a conference call: its parties, in the order they joined
    std::u16string dialled;         // what was dialled so far
    FarEnd farEnd;
    uint32_t noAnswerTimeoutMs = 0;
    uint32_t ringsHeard = 0;         // an alerting call: the rings of its line since it came
    bool forwardUnanswered = false;  // it goes on after the rings of its no-answer forwarding
  };
  struct Parked {
    tapi32::CallData data;
  };
  struct Completion {
    uint32_t lineId = 0;
    uint32_t addressId = 0;
    tapi32::PartyId called;
    uint32_t mode = 0;
  };
  class Traffic;
  // How a forwarded call arrives: why, from which station, to which number.
  struct Redirection {
    uint32_t reason = 0;
    tapi32::PartyId redirecting;
    tapi32::PartyId redirection;
  };
  struct Station {
    uint32_t lineId = 0;
    uint32_t addressId = 0;
    auto operator<=>(const Station&) const = default;
  };

  Switch();
  // Devices, reply modes and traffic from a configuration (the lock is held, the clock stopped).
  void Configure(const Config& config);
  void ReplaceDevices(const Config& config);
  // Reset and Unconfigure: the clock stops, then everything the switch knew goes.
  void Forget();
  void StartTraffic(const TrafficConfig& config);
  LineDevice& LineAt(uint32_t deviceId) const;
  // The line with this device ID, nullptr when the switch has none.
  LineDevice* FindLine(uint32_t deviceId) const;
  PhoneDevice& PhoneAt(uint32_t deviceId) const;
  tapi32::CallData& CallAt(uint32_t callId);
  SimCall* Find(uint32_t callId);
  const SimCall* Find(uint32_t callId) const;
  // Moves a call to a state, tells the applications, and forgets an IDLE call nobody holds.
  void MoveCall(uint32_t callId, uint32_t state, uint32_t mode);
  // A data call on a line with data connections has one exactly while it is CONNECTED.
  void FollowDataConnection(const tapi32::CallData& call, uint32_t before);
  // Tells the opens of a line what changed on it and on the address, and starts it ringing.
  void Report(uint32_t lineId, uint32_t addressId, const LineNews& news);
  // One ring of a ringing period; the next one is planned on the clock.
  void RingLine(uint32_t lineId, uint32_t period);
  // The most parties a conference call can hold.
  uint32_t PartyLimit(const SimCall& conference) const;
  // The calls that make way for one more active call on the line, oldest first, as the line's
  // answer mode has them; empty when there is room.
  std::vector<uint32_t> MakingWay(const LineDevice& line) const;
  LONG CheckAnswer(const SimCall& call) const;
  void MakeWayToAnswer(uint32_t callId);
  // What an IDLE call leaves behind: consultation and conference links.
  void CallEnded(uint32_t callId);
  // A call leaves the line (transferred, redirected, parked, picked up): DISCONNECTED, IDLE.
  void Leave(uint32_t callId, uint32_t disconnectMode);
  // A new call on a line, still IDLE and known to nobody.
  uint32_t NewCall(uint32_t lineId, uint32_t addressId, uint32_t origin, uint32_t reason);
  // A new call for the requester: its handle, the first state, what is known about it.
  HCALL Announce(uint32_t callId, HLINE requester, uint32_t state, uint32_t mode,
                 tapi32::MakerLearns makerLearns);
  // New calls made on behalf of a request (not yet announced): an outgoing call from an address
  // of the requesting line, a conference call, and a call that takes over another's parties
  // (pickup, unpark).
  uint32_t Outgoing(const tapi32::CallRequest& request, uint32_t addressId);
  uint32_t NewConference(const tapi32::CallRequest& request, uint32_t addressId);
  uint32_t Fetched(const tapi32::CallRequest& request, const tapi32::CallData& source,
                   uint32_t reason);
  // The consultation call of a transfer or conference, announced at dial tone.
  HCALL Consultation(const tapi32::CallRequest& request, uint32_t primaryId, HLINE requester);
  void Join(uint32_t confId, uint32_t party);
  // The address lineMakeCallW's parameters choose.
  uint32_t MakeCallAddress(const tapi32::CallRequest& request) const;
  // The first application to accept or answer an incoming call is named in its information.
  void NoteTaker(uint32_t callId, const std::u16string& appName);
  void ApplyParams(SimCall& call, const tapi32::CallParams& params);
  void Dial(uint32_t callId, const std::u16string& address);
  void FarEndActs(uint32_t callId);
  void Connect(uint32_t callId, const tapi32::PartyId& party);
  void SetRelated(uint32_t callId, uint32_t relatedCallId);
  LONG CheckParams(const tapi32::CallRequest& request) const;
  const FarEnd& FarEndFor(const std::u16string& number) const;
  uint32_t FindPickup(const tapi32::CallRequest& request) const;

  // Phones (switch_phones.cpp). Resolves which line each phone is the set of.
  void AttachPhones();
  // Tells the opens of a phone what changed (PHONESTATE_ flags, one message each).
  void ReportPhone(const PhoneDevice& phone, DWORD states, DWORD lampId = 0);
  // Hook switches, moved by the user or by phoneSetHookSwitch; a line's set answers and drops.
  void MoveHookSwitch(PhoneDevice& phone, DWORD devices, DWORD mode);
  void SetButton(uint32_t phoneId, uint32_t buttonLampId, DWORD state);
  // The sets of a line show its calls again (after any call on it moved).
  void PhonesFollowLine(uint32_t lineId);
  // A keypad key of a line's set going down or up on a connected call: the call hears its tone.
  void KeypadDigitToCall(uint32_t callId, char16_t digit, DWORD buttonState);
  // Forwarding (switch_forward.cpp). A call from outside reaches a station: it goes on where
  // the station forwards it unconditionally, or because it is busy, and rings at the last one,
  // whose no-answer forwarding is then planned. Returns the call that rings, 0 when the call
  // left the switch. `hops` are forwardings the call went through before.
  uint32_t Deliver(uint32_t lineId, uint32_t addressId, const IncomingCall& incoming,
                   std::optional<Redirection> via, std::vector<ForwardedCall> hops = {});
  // Puts a call from outside on a station, OFFERING, and tells the applications.
  uint32_t Place(uint32_t lineId, uint32_t addressId, const IncomingCall& incoming,
                 const std::optional<Redirection>& via);
  // The station a number dials; none for a number outside the switch.
  std::optional<Station> StationFor(std::u16string_view number) const;
  // Whether a number outside the switch takes a forwarded call: its far end answers or rings.
  bool FarEndTakes(const std::u16string& number) const;
  Redirection Forwarding(Station from, const tapi32::ForwardEntry& entry, uint32_t reason) const;
  void PlanNoAnswer(uint32_t callId);
  void ForwardUnanswered(uint32_t callId);
  // A ring is due on the line: the calls that have rung their rings unanswered go on instead,
  // the others count one more ring.
  void ForwardBeforeRing(LineDevice& line);
  void CountRing(const LineDevice& line);
  void SetForwarding(uint32_t lineId, uint32_t addressId, std::vector<tapi32::ForwardEntry> entries,
                     uint32_t rings);
  LONG CheckForward(const tapi32::CallRequest& request) const;
  HCALL PerformForward(const tapi32::CallRequest& request, HLINE requester);
  void LogForwarded(std::vector<ForwardedCall> hops, uint32_t callId);

  uint32_t lineBase_ = 0;
  std::string configFile_;                          // empty: the live demo
  std::vector<std::unique_ptr<LineDevice>> lines_;  // the line with device ID lineBase_ first
  std::vector<std::unique_ptr<PhoneDevice>> phones_;
  bool configured_ = false;
  std::unordered_map<uint32_t, SimCall> calls_;
  uint32_t lastCallId_ = 0;
  std::unordered_map<std::string, FarEnd> farEnds_;
  FarEnd defaultFarEnd_;
  std::map<std::u16string, Parked> parked_;
  std::unordered_map<uint32_t, Completion> completions_;
  uint32_t lastCompletionId_ = 0;
  std::optional<std::vector<uint8_t>> devSpecificAnswer_;
  DevSpecificRequest lastDevSpecific_;
  std::vector<uint8_t> lastPhoneDevSpecific_;
  std::unique_ptr<Clock> clock_;
  std::unique_ptr<Traffic> traffic_;
  std::deque<ForwardedCall> forwarded_;
  ModemConnections modems_;
};

}  // namespace tapi32::sim
