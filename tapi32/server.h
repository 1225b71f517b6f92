// The TAPI runtime behind the C entry points: the initialised line and phone applications with
// their message queues and event handles, version negotiation, capability structures, assisted
// telephony requests, and the one provider that supplies the devices. All of it is guarded by
// one re-entrant mutex, Mutex(); providers and the simulated switch take the same lock.
//
// Messages: each application owns a FIFO of LINEMESSAGE / PHONEMESSAGE and a manual-reset event
// (created at initialisation) that is signalled exactly while the queue holds messages. Posting
// queues the message first and then signals the event.
//
// Lines and calls: every lineOpenW makes an open (HLINE) with its own callback instance,
// privileges, media modes and status-message masks. Every open that may see calls holds its own
// call handle (HCALL) for each call of the provider it knows about, with its own privilege, so
// two applications (or two opens of one application) watching one call have different handles
// and get their own messages. Handles of all kinds come from one counter that only counts
// upwards: a handle is never given out twice while the process lives. Opens, call handles and
// provider calls are found through hash maps, so no operation walks all calls.
//
// A handle an open did not ask for is announced with LINE_APPNEWCALL immediately followed, in
// the same queue, by the handle's first LINE_CALLSTATE, whose dwParam3 carries the privilege;
// opens negotiated below 2.0 get only the LINE_CALLSTATE. An open made while calls are on the
// line gets no handles for them: lineGetNewCalls hands them out, or a monitoring open is given
// one with the call's next state change. Handles added to a call that already has some, and
// privilege changes, are told to the call's other handles (LINE_CALLINFO NUMMONITORS,
// NUMOWNERINCR, NUMOWNERDECR).
//
// Messages follow the version that introduced them. An application initialised below 1.4 is
// asked to re-initialise (LINEDEVSTATE_REINIT, PHONESTATE_REINIT) instead of hearing LINE_CREATE
// (PHONE_CREATE); one below 2.0 hears no LINE_REMOVE (PHONE_REMOVE), its opens of the removed
// line get LINEDEVSTATE_REMOVED before their LINE_CLOSE instead.
//
// Asynchronous requests get IDs from 1 to 0x7FFFFFFF (unique while pending) and are answered as
// the entry point's ReplyMode says (requests.h). A request's effect happens only when its reply
// succeeds, right after the reply is queued (LINE_REPLY precedes the messages the effect causes)
// or, in the effect-first order, just before it; a failing reply in the partial-effect order
// comes after the part of the effect that the provider gets done before the failure. Delayed
// replies come from one timer thread that takes the global lock.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "tapi32/faults.h"
#include "tapi32/locations.h"
#include "tapi32/message_queue.h"
#include "tapi32/provider.h"
#include "tapi32/requests.h"
#include "tapi32/tapi_constants.h"
#include "tapi32/tapi_structs.h"

namespace tapi32 {

// The API versions this TAPI accepts from applications.
inline constexpr DWORD kLowestApiVersion = 0x00010003;
inline constexpr DWORD kHighestApiVersion = 0x00030001;
// The version TAPI reports as its own at initialisation.
inline constexpr DWORD kCurrentApiVersion = 0x00020002;

class Server final : public ProviderSink {
 public:
  // The process-wide runtime. Never destroyed, so that library code running at exit can still
  // shut its applications down.
  static Server& Instance();

  std::recursive_mutex& Mutex() { return mutex_; }
  FaultTable& Faults() { return faults_; }

  // Installs the provider that supplies the devices (nullptr: no devices). The provider must
  // outlive its installation.
  void SetProvider(Provider* provider);
  Provider* CurrentProvider() const { return provider_; }

  // --- entry points (see tapi.h); fault injection is handled by the C wrappers ---
  LONG LineInitialize(LPHLINEAPP app, LPCWSTR appName, LPDWORD numDevs, LPDWORD apiVersion,
                      LPLINEINITIALIZEEXPARAMS params);
  LONG LineShutdown(HLINEAPP app);
  LONG LineGetMessage(HLINEAPP app, LPLINEMESSAGE message, DWORD timeoutMs);
  LONG LineNegotiateAPIVersion(HLINEAPP app, DWORD deviceId, DWORD low, DWORD high,
                               LPDWORD apiVersion, LPLINEEXTENSIONID extensionId);
  LONG LineNegotiateExtVersion(HLINEAPP app, DWORD deviceId, DWORD apiVersion, DWORD low,
                               DWORD high, LPDWORD extVersion);
  LONG LineGetDevCaps(HLINEAPP app, DWORD deviceId, DWORD apiVersion, DWORD extVersion,
                      LPLINEDEVCAPS caps);
  LONG LineRegisterRequestRecipient(HLINEAPP app, DWORD instance, DWORD requestMode, DWORD enable);
  LONG LineGetRequest(HLINEAPP app, DWORD requestMode, LPVOID buffer);
  LONG LineOpen(HLINEAPP app, DWORD deviceId, LPHLINE line, DWORD apiVersion, DWORD extVersion,
                DWORD callbackInstance, DWORD privileges, DWORD mediaModes,
                const LINECALLPARAMS* callParams);
  LONG LineClose(HLINE line);
  LONG LineSetStatusMessages(HLINE line, DWORD lineStates, DWORD addressStates);
  LONG LineGetStatusMessages(HLINE line, LPDWORD lineStates, LPDWORD addressStates);
  LONG LineGetLineDevStatus(HLINE line, LPLINEDEVSTATUS status);
  LONG LineGetAddressCaps(HLINEAPP app, DWORD deviceId, DWORD addressId, DWORD apiVersion,
                          DWORD extVersion, LPLINEADDRESSCAPS caps);
  LONG LineGetAddressStatus(HLINE line, DWORD addressId, LPLINEADDRESSSTATUS status);
  LONG LineGetIcon(DWORD deviceId, LPCWSTR deviceClass, LPHICON icon);
  LONG LineGetNewCalls(HLINE line, DWORD addressId, DWORD select, LPLINECALLLIST list);
  LONG LineGetCallStatus(HCALL call, LPLINECALLSTATUS status);
  LONG LineGetCallInfo(HCALL call, LPLINECALLINFO info);
  LONG LineDeallocateCall(HCALL call);
  LONG LineSetCallPrivilege(HCALL call, DWORD privilege);
  LONG LineDrop(HCALL call, LPCSTR userUserInfo, DWORD size);
  // Call control (server_control.cpp).
  LONG LineAccept(HCALL call, LPCSTR userUserInfo, DWORD size);
  LONG LineAnswer(HCALL call, LPCSTR userUserInfo, DWORD size);
  LONG LineMakeCall(HLINE line, LPHCALL call, LPCWSTR destAddress, DWORD countryCode,
                    const LINECALLPARAMS* params);
  LONG LineDial(HCALL call, LPCWSTR destAddress, DWORD countryCode);
  LONG LineHold(HCALL call);
  LONG LineUnhold(HCALL call);
  LONG LineSwapHold(HCALL activeCall, HCALL heldCall);
  LONG LinePark(HCALL call, DWORD parkMode, LPCWSTR dirAddress, LPVARSTRING nonDirAddress);
  LONG LineUnpark(HLINE line, DWORD addressId, LPHCALL call, LPCWSTR destAddress);
  LONG LinePickup(HLINE line, DWORD addressId, LPHCALL call, LPCWSTR destAddress, LPCWSTR groupId);
  LONG LineRedirect(HCALL call, LPCWSTR destAddress, DWORD countryCode);
  LONG LineBlindTransfer(HCALL call, LPCWSTR destAddress, DWORD countryCode);
  LONG LineSetupTransfer(HCALL call, LPHCALL consultCall, const LINECALLPARAMS* params);
  LONG LineCompleteTransfer(HCALL call, HCALL consultCall, LPHCALL confCall, DWORD transferMode);
  LONG LineSetupConference(HCALL call, HLINE line, LPHCALL confCall, LPHCALL consultCall,
                           DWORD numParties, const LINECALLPARAMS* params);
  LONG LinePrepareAddToConference(HCALL confCall, LPHCALL consultCall,
                                  const LINECALLPARAMS* params);
  LONG LineAddToConference(HCALL confCall, HCALL consultCall);
  LONG LineRemoveFromConference(HCALL call);
  LONG LineCompleteCall(HCALL call, LPDWORD completionId, DWORD completionMode, DWORD messageId);
  LONG LineUncompleteCall(HLINE line, DWORD completionId);
  LONG LineSetCallData(HCALL call, LPVOID data, DWORD size);
  LONG LineDevSpecific(HLINE line, DWORD addressId, HCALL call, LPVOID params, DWORD size);
  LONG LineDevSpecificFeature(HLINE line, DWORD feature, LPVOID params, DWORD size);
  LONG LineGenerateDigits(HCALL call, DWORD digitMode, LPCWSTR digits, DWORD duration);
  LONG LineGenerateTone(HCALL call, DWORD toneMode, DWORD duration, DWORD numTones,
                        const LINEGENERATETONE* tones);
  LONG LineMonitorTones(HCALL call, const LINEMONITORTONE* tones, DWORD numEntries);
  LONG LineMonitorMedia(HCALL call, DWORD mediaModes);
  LONG LineHandoff(HCALL call, LPCWSTR fileName, DWORD mediaMode);
  LONG LineGetConfRelatedCalls(HCALL call, LPLINECALLLIST list);
  LONG LineSetMediaMode(HCALL call, DWORD mediaModes);
  // Digits (server_digits.cpp).
  LONG LineGatherDigits(HCALL call, DWORD digitModes, LPWSTR digits, DWORD numDigits,
                        LPCWSTR terminationDigits, DWORD firstDigitTimeout,
                        DWORD interDigitTimeout);
  LONG LineMonitorDigits(HCALL call, DWORD digitModes);
  LONG LineForward(HLINE line, DWORD allAddresses, DWORD addressId, const LINEFORWARDLIST* list,
                   DWORD numRingsNoAnswer, LPHCALL consultCall, const LINECALLPARAMS* params);

  LONG PhoneInitialize(LPHPHONEAPP app, LPCWSTR appName, LPDWORD numDevs, LPDWORD apiVersion,
                       LPPHONEINITIALIZEEXPARAMS params);
  LONG PhoneShutdown(HPHONEAPP app);
  LONG PhoneGetMessage(HPHONEAPP app, LPPHONEMESSAGE message, DWORD timeoutMs);
  LONG PhoneNegotiateAPIVersion(HPHONEAPP app, DWORD deviceId, DWORD low, DWORD high,
                                LPDWORD apiVersion, LPPHONEEXTENSIONID extensionId);
  LONG PhoneNegotiateExtVersion(HPHONEAPP app, DWORD deviceId, DWORD apiVersion, DWORD low,
                                DWORD high, LPDWORD extVersion);
  LONG PhoneGetDevCaps(HPHONEAPP app, DWORD deviceId, DWORD apiVersion, DWORD extVersion,
                       LPPHONECAPS caps);
  // Phone opens and requests (server_phones.cpp).
  LONG PhoneOpen(HPHONEAPP app, DWORD deviceId, LPHPHONE phone, DWORD apiVersion, DWORD extVersion,
                 DWORD callbackInstance, DWORD privilege);
  LONG PhoneClose(HPHONE phone);
  LONG PhoneGetStatus(HPHONE phone, LPPHONESTATUS status);
  LONG PhoneSetStatusMessages(HPHONE phone, DWORD phoneStates, DWORD buttonModes,
                              DWORD buttonStates);
  LONG PhoneGetStatusMessages(HPHONE phone, LPDWORD phoneStates, LPDWORD buttonModes,
                              LPDWORD buttonStates);
  LONG PhoneSetHookSwitch(HPHONE phone, DWORD hookSwitchDevs, DWORD mode);
  LONG PhoneGetHookSwitch(HPHONE phone, LPDWORD hookSwitchDevs);
  LONG PhoneSetDisplay(HPHONE phone, DWORD row, DWORD column, LPCSTR display, DWORD size);
  LONG PhoneGetDisplay(HPHONE phone, LPVARSTRING display);
  LONG PhoneSetRing(HPHONE phone, DWORD ringMode, DWORD volume);
  LONG PhoneGetRing(HPHONE phone, LPDWORD ringMode, LPDWORD volume);
  LONG PhoneSetLamp(HPHONE phone, DWORD buttonLampId, DWORD lampMode);
  LONG PhoneGetLamp(HPHONE phone, DWORD buttonLampId, LPDWORD lampMode);
  LONG PhoneGetButtonInfo(HPHONE phone, DWORD buttonLampId, LPPHONEBUTTONINFO info);
  // Volume and gain share their checks: `volume` chooses which one.
  LONG PhoneSetLevel(HPHONE phone, bool volume, DWORD hookSwitchDev, DWORD level);
  LONG PhoneGetLevel(HPHONE phone, bool volume, DWORD hookSwitchDev, LPDWORD level);
  LONG PhoneDevSpecificRequest(HPHONE phone, LPVOID params, DWORD size);
  LONG PhoneGetId(HPHONE phone, LPVARSTRING deviceId, LPCWSTR deviceClass);
  LONG PhoneGetIcon(DWORD deviceId, LPCWSTR deviceClass, LPHICON icon);
  LONG PhoneConfigDialog(DWORD deviceId, HWND owner, LPCWSTR deviceClass);  // server_dialogs.cpp
  // Related devices of lines, addresses and calls (server_related.cpp).
  LONG LineGetId(HLINE line, DWORD addressId, HCALL call, DWORD select, LPVARSTRING deviceId,
                 LPCWSTR deviceClass);
  // TAPI's dialogs (server_dialogs.cpp).
  LONG LineConfigDialog(DWORD deviceId, HWND owner, LPCWSTR deviceClass);
  LONG LineTranslateDialog(HLINEAPP app, DWORD deviceId, DWORD apiVersion, HWND owner,
                           LPCWSTR addressIn);
  // Dialing locations (server_locations.cpp).
  LONG LineGetTranslateCaps(HLINEAPP app, DWORD apiVersion, LPLINETRANSLATECAPS caps);
  LONG LineSetCurrentLocation(HLINEAPP app, DWORD location);
  // The user's locations and calling cards as they stand, read from the user's locations file
  // on first use (location_store.h).
  LocationBook Locations() const;
  // Replaces the user's locations and calling cards (the dialog's OK): 0 or a LINEERR_ code.
  // The book is checked (CheckLocations), written to the locations file, and every application
  // hears LINE_LINEDEVSTATE TRANSLATECHANGE.
  LONG SetLocations(LocationBook book);
  // Forgets the locations held in memory: the next use reads the locations file again, as a
  // runtime started afresh would.
  void ReloadLocations();
  // Why the locations file was rejected the last time it was read ("<file>:<line>: <problem>"),
  // empty when it was read or did not exist. The runtime then works with DefaultLocations().
  std::string LocationsProblem() const;
  // The newest API version lineGetTranslateCapsW accepts, as an older TAPI would be; versions
  // above it get LINEERR_INCOMPATIBLEAPIVERSION. kHighestApiVersion unless lowered.
  void SetHighestTranslateVersion(DWORD version);
  // Countries and address translation (server_translate.cpp).
  LONG LineTranslateAddress(HLINEAPP app, DWORD deviceId, DWORD apiVersion, LPCWSTR addressIn,
                            DWORD card, DWORD options, LPLINETRANSLATEOUTPUT output);
  LONG LineGetCountry(DWORD countryId, DWORD apiVersion, LPLINECOUNTRYLIST list);

  // --- delivery, for providers and tests ---
  // Queues a message for one application; false when the handle is not initialised.
  bool PostLineMessage(HLINEAPP app, const LINEMESSAGE& message);
  bool PostPhoneMessage(HPHONEAPP app, const PHONEMESSAGE& message);
  // Queues a message for every initialised application.
  void BroadcastLineMessage(const LINEMESSAGE& message);
  void BroadcastPhoneMessage(const PHONEMESSAGE& message);
  // Initialised applications, in the order of their handles (the order they initialised).
  std::vector<HLINEAPP> LineApps() const;
  std::vector<HPHONEAPP> PhoneApps() const;
  // Messages waiting for an application (0 for an unknown handle).
  size_t PendingLineMessages(HLINEAPP app) const;
  size_t PendingPhoneMessages(HPHONEAPP app) const;

  // Hands an assisted make-call request to the registered recipient and tells it with
  // LINE_REQUEST. 0, or TAPIERR_NOREQUESTRECIPIENT when no application is registered.
  LONG QueueMakeCallRequest(const std::u16string& destAddress, const std::u16string& appName,
                            const std::u16string& calledParty, const std::u16string& comment);

  // --- asynchronous requests, for providers and tests ---
  ReplyModes& Replies() { return replyModes_; }
  // Pending request IDs, lowest first.
  std::vector<DWORD> PendingRequests() const;
  // Answers a pending request now with `result` (its effect happens when it is 0); false when
  // no such request is pending.
  bool CompleteRequest(DWORD requestId, LONG result);

  // --- lines and calls, for providers and tests ---
  // The handle an application holds for a provider call (the first when it has several opens of
  // the line), or 0.
  HCALL CallHandleOf(HLINEAPP app, DWORD callId) const;
  // The provider call behind a handle, or 0.
  DWORD CallIdOf(HCALL call) const;
  // Opens of a line device, oldest first.
  std::vector<HLINE> OpensOf(DWORD deviceId) const;
  // Forgets every open, call handle and pending request without telling anyone: the provider's
  // devices are being replaced.
  void DiscardLines();
  // Opens of a phone device, oldest first; forgets every phone open without telling anyone.
  std::vector<HPHONE> PhoneOpensOf(DWORD deviceId) const;
  void DiscardPhones();

  // ProviderSink
  void LineCreated(DWORD deviceId) override;
  void LineRemoved(DWORD deviceId) override;
  void LineCapsChanged(DWORD deviceId) override;
  void PhoneCreated(DWORD deviceId) override;
  void PhoneRemoved(DWORD deviceId) override;
  void PhoneCapsChanged(DWORD deviceId) override;
  void Reinit() override;
  HCALL CallCreated(DWORD callId, HLINE ownerLine, MakerLearns makerLearns) override;
  void CallStateChanged(DWORD callId) override;
  void CallInfoChanged(DWORD callId, DWORD infoStates) override;
  bool CallHasHandles(DWORD callId) const override;
  DWORD CallOwners(DWORD callId) const override;
  void LineClosed(DWORD deviceId) override;
  void LineStateChanged(DWORD deviceId, DWORD state, DWORD param2, DWORD param3) override;
  void AddressStateChanged(DWORD deviceId, DWORD addressId, DWORD state) override;
  void ToneDetected(DWORD callId, DWORD frequency1, DWORD frequency2, DWORD frequency3) override;
  void MediaDetected(DWORD callId, DWORD mediaMode) override;
  void PhoneClosed(DWORD deviceId) override;
  void PhoneStateChanged(DWORD deviceId, DWORD state, DWORD param2) override;
  void PhoneButtonChanged(DWORD deviceId, DWORD buttonLampId, DWORD mode, DWORD state) override;
  void PhoneDevSpecific(DWORD deviceId, DWORD param1, DWORD param2, DWORD param3) override;
  void DigitDetected(DWORD callId, char16_t digit, DWORD digitMode) override;
  void SilenceChanged(DWORD callId, bool silent) override;
  void RequestCompleted(DWORD requestId, LONG result) override;

 private:
  struct Negotiations {
    // Versions an application negotiated per device; capability queries must use one of them.
    std::map<DWORD, std::vector<DWORD>> versions;
    void Add(DWORD deviceId, DWORD version);
    bool Has(DWORD deviceId, DWORD version) const;
  };

  struct LineApp {
    HLINEAPP handle = 0;
    HANDLE event = 0;
    std::u16string name;
    DWORD apiVersion = 0;
    MessageQueue<LINEMESSAGE> queue;
    Negotiations negotiated;
    DWORD requestModes = 0;  // LINEREQUESTMODE_ flags this application receives
    DWORD makeCallInstance = 0;
    DWORD mediaCallInstance = 0;
    MessageQueue<LINEREQMAKECALLW> makeCallRequests;
    std::set<HLINE> opens;
  };

  struct OpenEntry {
    HLINE handle = 0;
    LineApp* app = nullptr;
    DWORD deviceId = 0;
    DWORD callbackInstance = 0;
    DWORD privileges = 0;  // LINECALLPRIVILEGE_ bits the line was opened with
    DWORD mediaModes = 0;
    DWORD apiVersion = 0;
    DWORD extVersion = 0;
    DWORD lineStates = 0;     // LINEDEVSTATE_ messages asked for
    DWORD addressStates = 0;  // LINEADDRESSSTATE_ messages asked for
    std::set<HCALL> calls;    // this open's call handles; handles grow, so oldest first
    // A monitoring open: the calls that were on the line when it opened and that it has no
    // handle for yet. Each is handed out once, by lineGetNewCalls or its next state change.
    std::set<DWORD> unannounced;
  };

  // What telling a holder of a call's change reads comes first, so that it shares one cache
  // line with the entry's place in the handle map.
  struct CallHandle {
    CallHandle* nextOfCall = nullptr;  // the next handle for the same provider call
    OpenEntry* open = nullptr;
    HCALL handle = 0;
    DWORD callId = 0;
    DWORD privilege = 0;
    DWORD reportPrivilege = 0;           // carried by the handle's next LINE_CALLSTATE, then 0
    bool announce = false;               // LINE_APPNEWCALL is due with the next LINE_CALLSTATE
    std::vector<LINEMONITORTONE> tones;  // lineMonitorTones: what this handle listens for
    uint32_t toneList = 0;               // counts the lists it was given, so timers know theirs
    DWORD monitoredMedia = 0;            // lineMonitorMedia: the media modes it listens for
    DWORD monitoredDigits = 0;           // lineMonitorDigits: the digit modes it listens for
  };

  // The handles applications hold for one provider call. Their entries are linked to each
  // other, so that telling every holder of a call about a change looks nothing up: on a busy
  // switch each look-up is a trip to memory that has gone cold.
  struct CallViews {
    CallHandle* first = nullptr;  // then on through nextOfCall, in the order given out
    DWORD owners = 0;
    DWORD monitors = 0;
  };

  struct Request {
    DWORD id = 0;
    bool phone = false;  // PHONE_REPLY to a phone application rather than LINE_REPLY
    DWORD app = 0;
    DWORD callbackInstance = 0;
    LONG result = 0;  // what the reply will say
    ReplyMode::Order order = ReplyMode::Order::ReplyFirst;
    std::function<LONG()> check;   // 0 when the effect can still happen, else the reply's error
    std::function<void()> effect;  // what a successful reply does
    // The partial-effect order: what happens before the failed reply; returns what follows it.
    std::function<std::function<void()>()> partialEffect;
  };

  struct PhoneApp {
    HPHONEAPP handle = 0;
    HANDLE event = 0;
    std::u16string name;
    DWORD apiVersion = 0;
    MessageQueue<PHONEMESSAGE> queue;
    Negotiations negotiated;
    std::set<HPHONE> opens;
  };

  struct PhoneOpenEntry {
    HPHONE handle = 0;
    PhoneApp* app = nullptr;
    DWORD deviceId = 0;
    DWORD callbackInstance = 0;
    DWORD privilege = 0;  // PHONEPRIVILEGE_OWNER or PHONEPRIVILEGE_MONITOR
    DWORD apiVersion = 0;
    DWORD extVersion = 0;
    DWORD phoneStates = 0;   // phoneSetStatusMessages: PHONE_STATE asked for
    DWORD buttonModes = 0;   // PHONE_BUTTON for buttons of these modes …
    DWORD buttonStates = 0;  // … entering these states
  };

  // The versions that introduced messages; older applications or opens are told otherwise.
  static constexpr DWORD kCreateMessageVersion = 0x00010004;  // LINE_CREATE, PHONE_CREATE
  static constexpr DWORD kRemoveMessageVersion = 0x00020000;  // LINE_REMOVE, PHONE_REMOVE
  static constexpr DWORD kAppNewCallVersion = 0x00020000;     // LINE_APPNEWCALL

  Server() = default;

  uint32_t NewHandle();
  LineApp* FindLine(HLINEAPP handle);
  PhoneApp* FindPhone(HPHONEAPP handle);
  // Whether a device ID names a device the provider still has: 0, BADDEVICEID or NODEVICE.
  LONG CheckLineDevice(DWORD deviceId) const;
  LONG CheckPhoneDevice(DWORD deviceId) const;
  // Asks the provider to get ready; on failure the message goes to stderr once.
  bool PrepareProvider();
  void Post(LineApp& app, const LINEMESSAGE& message);
  void Post(PhoneApp& app, const PHONEMESSAGE& message);

  static bool UsableVersion(const LineApp& app, DWORD deviceId, const LineDevice& device,
                            DWORD apiVersion);
  OpenEntry* FindOpen(HLINE handle);
  CallHandle* FindCall(HCALL handle);
  void PostToOpen(OpenEntry& open, DWORD hDevice, DWORD message, DWORD p1, DWORD p2, DWORD p3);
  // An application-wide device message to the applications that know it; the older ones get
  // `older` (when given) instead.
  void PostDeviceChange(const LINEMESSAGE& message, DWORD sinceVersion,
                        const std::optional<LINEMESSAGE>& older);
  void PostDeviceChange(const PHONEMESSAGE& message, DWORD sinceVersion,
                        const std::optional<PHONEMESSAGE>& older);
  // Gives `open` a handle for the provider call; no message.
  CallHandle& AddCallHandle(OpenEntry& open, DWORD callId, DWORD privilege);
  // Gives `open` a handle for a call that already has handles, and tells the others.
  CallHandle& AddLaterHandle(OpenEntry& open, DWORD callId, DWORD privilege);
  // The handle an open holds for a provider call, or 0.
  HCALL HandleOf(const OpenEntry& open, DWORD callId) const;
  // The first of the handles applications hold for a provider call (`call` is its data when the
  // provider still has it): through the link the runtime keeps with the call data, or else by
  // the call's ID. Null when nobody holds it.
  CallHandle* FirstHolder(DWORD callId, const CallData* call);
  // Takes a handle away; returns true when it was the last owner of a call that is not IDLE.
  bool RemoveCallHandle(HCALL handle);
  // LINE_CALLINFO to the handles of a call that have been announced, except one.
  void PostCallInfo(DWORD callId, HCALL except, DWORD infoStates);
  // LINE_CALLSTATE to one handle, after its LINE_APPNEWCALL when that is due.
  void PostCallState(CallHandle& entry, const CallData& call);
  // Monitors that opened the line while the call was on it get their handle with its next state.
  void HandOutUnannounced(DWORD callId, const CallData& call);
  // Writes a LINECALLLIST of the open's handles for the calls, giving it monitor handles for
  // those it has none of; nothing is given when the list does not fit.
  LONG AnswerCallList(OpenEntry& open, const std::vector<DWORD>& callIds, LPLINECALLLIST list);
  // Ends an open: its call handles go, the other opens of the line hear LINEDEVSTATE_CLOSE.
  // With closeDrop, calls whose last owner it was are handed back to the provider.
  void EndOpen(HLINE handle, bool closeDrop, bool notifyOthers);
  // The provider ends every open of a line (LINE_CLOSE); for a removed line, opens older than
  // LINE_REMOVE hear LINEDEVSTATE_REMOVED first.
  void EndOpensOf(DWORD deviceId, bool removed);
  // Provider answers for the handle's call after the per-application checks.
  const CallData* ProviderCall(DWORD callId) const;

  // A running lineGatherDigitsW of one handle. TAPI writes each digit into the application's
  // buffer as it arrives, up to LINE_GATHERDIGITS; after that the buffer is the application's.
  struct Gathering {
    uint64_t id = 0;  // tells a time-out planned for an earlier gathering or digit from this one
    LPWSTR buffer = nullptr;
    DWORD numDigits = 0;
    DWORD received = 0;
    DWORD digitModes = 0;
    std::u16string terminationDigits;
    DWORD firstDigitTimeout = 0;
    DWORD interDigitTimeout = 0;
  };
  // Digits (server_digits.cpp). LINE_GATHERDIGITS with the reason; the gathering is over.
  void EndGathering(HCALL handle, DWORD termination);
  // Plans the time-out of the digit the gathering waits for now, on the provider's clock.
  void AwaitDigit(HCALL handle, const Gathering& gathering);
  // The gatherings on the handles of a call that went IDLE end (CANCEL); its silence ends.
  void EndCallServices(DWORD callId);
  // Plans the reports of the handle's silence tones for the silence going on on its call.
  void ArmSilenceTones(const CallHandle& entry);

  // Call control (server_control.cpp). The handle when it is valid (and owned, when asked);
  // otherwise nullptr with the error in *error.
  CallHandle* UsableCall(HCALL handle, bool owner, LONG invalid, LONG* error);
  // Two owned, distinct calls on the same line of the same application (swap hold, transfer,
  // conference); 0 with the first in *first (when given), or the error for the pair.
  LONG AddressedCallOp(EntryPoint entryPoint, CallOp op, HCALL call, LPCWSTR destAddress,
                       DWORD countryCode);
  LONG UsableCallPair(HCALL firstHandle, LONG firstInvalid, HCALL secondHandle, LONG secondInvalid,
                      CallHandle** first);
  // Checks that stay true until the reply: the application's (appCheck) and the provider's.
  LONG CheckCallOp(const std::function<LONG()>& appCheck, const CallRequest& request) const;
  // Checks an operation now and starts its request; `deliver` hands the outcome of a successful
  // reply to the application's variables.
  LONG StartCallOp(EntryPoint entry, const OpenEntry& open, std::function<LONG()> appCheck,
                   CallRequest request, std::function<void(const CallOutcome&)> deliver = {});
  // lineMakeCallW, linePickupW, lineUnparkW: operations on an open line that make a call.
  LONG StartLineCallOp(EntryPoint entry, HLINE line, LPHCALL call, CallRequest request);
  // The checks of a synchronous call operation, then its effect.
  LONG RunCallOpNow(const CallRequest& request, HLINE requester);
  // Hands the call to an open: it becomes an owner and hears of it as a handoff target does.
  void GiveOwnership(OpenEntry& target, DWORD callId);

  // Phones (server_phones.cpp). The open behind a handle (an owner's, when asked); otherwise
  // nullptr with the error in *error.
  PhoneOpenEntry* UsablePhone(HPHONE handle, bool owner, LONG* error);
  void PostToPhoneOpen(PhoneOpenEntry& open, DWORD message, DWORD p1, DWORD p2, DWORD p3);
  // The owners and monitors of a phone changed: PHONE_STATE OWNER / MONITORS to the others.
  void PhoneOpensChanged(DWORD deviceId, DWORD privilege, const PhoneOpenEntry* except);
  void EndPhoneOpen(HPHONE handle, bool notifyOthers);
  // The provider ends every open of a phone (PHONE_CLOSE); for a removed phone, opens older
  // than PHONE_REMOVE hear PHONESTATE_REMOVED first.
  void EndPhoneOpensOf(DWORD deviceId, bool removed);
  // Starts a checked phone request; its effect happens when the reply succeeds.
  LONG StartPhoneOp(EntryPoint entry, const PhoneOpenEntry& open, PhoneRequest request,
                    LPVOID devSpecificTarget = nullptr);

  // Starts an asynchronous request on an open line; returns its ID.
  LONG StartRequest(EntryPoint entry, const OpenEntry& open, std::function<LONG()> check,
                    std::function<void()> effect,
                    std::function<std::function<void()>()> partialEffect = {});
  LONG StartRequest(EntryPoint entry, bool phone, DWORD app, DWORD callbackInstance,
                    std::function<LONG()> check, std::function<void()> effect,
                    std::function<std::function<void()>()> partialEffect);
  void FinishRequest(DWORD requestId, LONG result);
  // The next free request ID.
  DWORD NextRequestId();
  // A request whose reply the provider sends through RequestCompleted; its effect is the
  // caller's to carry out at once.
  DWORD StartProviderRequest(const OpenEntry& open);
  void ScheduleReply(DWORD requestId, uint32_t delayMs);
  void TimerLoop();

  mutable std::recursive_mutex mutex_;
  FaultTable faults_;
  Provider* provider_ = nullptr;
  std::map<HLINEAPP, std::unique_ptr<LineApp>> lineApps_;
  std::map<HPHONEAPP, std::unique_ptr<PhoneApp>> phoneApps_;
  uint32_t lastHandle_ = 0;
  std::string lastReportedError_;

  std::unordered_map<HLINE, std::unique_ptr<OpenEntry>> lineOpens_;
  std::unordered_map<DWORD, std::vector<OpenEntry*>> opensByDevice_;  // oldest first
  std::unordered_map<HCALL, CallHandle> callHandles_;
  std::unordered_map<DWORD, CallViews> callViews_;
  std::unordered_map<HPHONE, std::unique_ptr<PhoneOpenEntry>> phoneOpens_;
  std::unordered_map<DWORD, std::vector<PhoneOpenEntry*>> phoneOpensByDevice_;  // oldest first
  std::unordered_map<HCALL, Gathering> gatherings_;
  // The user's dialing locations and calling cards once read (server_locations.cpp).
  LocationBook& Book() const;
  mutable std::optional<LocationBook> locations_;
  mutable std::string locationsProblem_;
  DWORD highestTranslateVersion_ = kHighestApiVersion;
  uint64_t lastGathering_ = 0;
  std::unordered_map<DWORD, uint64_t> silences_;  // silent calls: the stretch of silence
  uint64_t lastSilence_ = 0;

  ReplyModes replyModes_;
  std::map<DWORD, Request> requests_;
  DWORD lastRequestId_ = 0;
  // Delayed replies: due time and request ID. Guarded by timerMutex_, which is never held
  // while taking the global lock.
  std::mutex timerMutex_;
  std::condition_variable timerWake_;
  std::multimap<std::chrono::steady_clock::time_point, DWORD> timers_;
  bool timerRunning_ = false;
};

}  // namespace tapi32

// First statement of every C entry point: counts the call and returns an injected fault.
#define TAPI32_ENTER(name)                                                                       \
  if (auto injected = ::tapi32::Server::Instance().Faults().Enter(::tapi32::EntryPoint::name)) { \
    return *injected;                                                                            \
  }
