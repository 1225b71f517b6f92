// The SIP provider: the Provider interface over the accounts' lines and calls. Two threads meet
// here. The runtime calls the Provider methods with its lock held; they read and change the
// lines and the calls' CallData and hand everything libre has to do to the loop with Post, never
// waiting for it. The loop thread runs libre (sip_account, sip_call); what it learns from the far
// ends it reports by taking the runtime's lock, changing CallData and calling the sink.
#include "tapi32/sip/sip_provider.h"

#include <re.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <iostream>
#include <list>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <utility>

#include "platform/module.h"
#include "tapi32/server.h"
#include "tapi32/sim/forwarding.h"
#include "tapi32/sip/caller_id.h"
#include "tapi32/sip/loop.h"
#include "tapi32/sip/sip_account.h"
#include "tapi32/sip/sip_call.h"
#include "tapi32/sip/sip_line.h"
#include "tapi32/system_time.h"

namespace tapi32::sip {

namespace {

Server& Tapi() {
  return Server::Instance();
}

bool In(DWORD state, DWORD states) {
  return (state & states) != 0;
}

constexpr DWORD kAlerting = LINECALLSTATE_OFFERING | LINECALLSTATE_ACCEPTED;
constexpr DWORD kAwaitingFarEnd =
    LINECALLSTATE_DIALING | LINECALLSTATE_PROCEEDING | LINECALLSTATE_RINGBACK;
// How long an incoming call may ring unanswered before it is refused.
constexpr uint32_t kLongestRingMs = 60'000;
// Longest wait for the accounts to unregister at shutdown.
constexpr auto kShutdownWait = std::chrono::seconds(5);

PartyId Party(const std::string& number, const std::string& name) {
  PartyId party;
  party.number = platform::Utf8ToWide(number);
  party.name = platform::Utf8ToWide(name);
  if (!number.empty()) party.flags |= LINECALLPARTYID_ADDRESS;
  if (!name.empty()) party.flags |= LINECALLPARTYID_NAME;
  if (party.flags == 0) party.flags = LINECALLPARTYID_UNKNOWN;
  return party;
}

std::string Text(const pl& value) {
  return {value.p, value.l};
}

// Who calls: P-Asserted-Identity when the network vouches for the caller, else the From header.
PartyId CallerOf(const sip_msg& invite) {
  std::optional<PartyAddress> caller;
  if (const sip_hdr* asserted = sip_msg_xhdr(&invite, "P-Asserted-Identity")) {
    caller = ParsePartyAddress(Text(asserted->val));
  }
  if (!caller) caller = ParsePartyAddress(Text(invite.from.val));
  if (!caller) return Party({}, {});
  return Party(caller->number, caller->name);
}

// Whom the caller called: the request URI's user part, or a tel: URI's number.
PartyId CalledOf(const sip_msg& invite) {
  std::optional<PartyAddress> called = ParsePartyAddress(Text(invite.ruri));
  return called ? Party(called->number, {}) : Party({}, {});
}

// A destination as a SIP URI: URIs as they are, "user@host" with "sip:", and a bare number at
// the domain of the address of record.
std::string TargetUri(const std::string& aor, const std::u16string& address) {
  std::string target = platform::WideToUtf8(address);
  const auto notSpace = [](unsigned char c) { return c > ' '; };
  target.erase(target.begin(), std::find_if(target.begin(), target.end(), notSpace));
  target.erase(std::find_if(target.rbegin(), target.rend(), notSpace).base(), target.end());
  for (const char* scheme : {"sip:", "sips:", "tel:"}) {
    if (target.rfind(scheme, 0) == 0) return target;
  }
  if (target.find('@') != std::string::npos) return "sip:" + target;
  const size_t at = aor.find('@');
  std::string domain = at == std::string::npos ? aor : aor.substr(at + 1);
  domain = domain.substr(0, domain.find_first_of(";?>"));
  return "sip:" + target + "@" + domain;
}

// Whether an address can be sent as a SIP destination: something to send and nothing that would
// break the header it goes into. A trailing ';' (more to dial later) is not: SIP sends the
// destination at once.
bool Dialable(std::u16string_view address) {
  const bool any = std::any_of(address.begin(), address.end(), [](char16_t c) { return c > u' '; });
  const bool breaks = std::any_of(address.begin(), address.end(), [](char16_t c) {
    return c < u' ' || c == u'<' || c == u'>' || c == u'"';
  });
  return any && !breaks && address.back() != u';';
}

bool DtmfKey(char16_t c) {
  return (c >= u'0' && c <= u'9') || c == u'*' || c == u'#' || (c >= u'A' && c <= u'D');
}

// What lineGenerateDigitsW may send: keys (in either case) and pauses.
bool DtmfDigits(std::u16string_view digits) {
  return std::all_of(digits.begin(), digits.end(), [](char16_t c) {
    return DtmfKey(c) || c == u',' || (c >= u'a' && c <= u'd');
  });
}

bool GatherTimeout(DWORD ms) {
  return ms == 0 || (ms >= kSipGatherMinTimeoutMs && ms <= kSipGatherMaxTimeoutMs);
}

LONG CheckForwardList(const std::vector<ForwardEntry>& entries) {
  if (entries.size() > kSipMaxForwardEntries) return Err(LINEERR_INVALPARAM);
  DWORD seen = 0;
  for (const ForwardEntry& entry : entries) {
    if ((entry.mode & kSipForwardModes) == 0 || (entry.mode & (entry.mode - 1)) != 0 ||
        (seen & entry.mode) != 0) {
      return Err(LINEERR_INVALPARAM);
    }
    seen |= entry.mode;
    if (!Dialable(entry.destAddress)) return Err(LINEERR_INVALADDRESS);
    if (entry.destCountryCode > 999) return Err(LINEERR_INVALCOUNTRYCODE);
  }
  return 0;
}

}  // namespace

struct SipProvider::Impl final : AccountAgent::Listener, CallListener {
  // --- under the runtime's lock ---
  struct Call {
    CallData data;
    bool outgoing = false;
    bool peerHolds = false;
    DWORD transferRequest = 0;  // the blind transfer waiting for the far end's verdict
  };
  std::vector<std::unique_ptr<SipLine>> lines;
  std::unordered_map<DWORD, Call> calls;
  DWORD lastCallId = kFirstCallId - 1;

  // --- on the loop thread only ---
  struct Timer {
    tmr timer{};
    std::function<void()> task;
    Impl* owner = nullptr;
    std::list<Timer>::iterator self;
  };
  std::vector<std::unique_ptr<AccountAgent>> agents;
  std::unordered_map<DWORD, std::unique_ptr<SipCall>> sessions;
  std::list<Timer> timers;

  // Set once shutdown starts: the loop then no longer takes the runtime's lock, which the thread
  // that destroys the provider may hold.
  std::atomic<bool> closing{false};
  Loop loop;

  explicit Impl(std::vector<SipAccount> accounts);
  ~Impl() override;

  // Loop side.
  void StartAgents(std::vector<SipAccount> accounts);
  void After(uint32_t delayMs, std::function<void()> task);
  static void OnTimer(void* arg);
  std::unique_lock<std::recursive_mutex> LockTapi();
  SipCall* Session(DWORD callId);
  MediaConfig MediaFor(size_t line, DWORD callId) const;

  // Runtime side (lock held).
  DWORD NewCallId();
  Call* Find(DWORD callId);
  const Call* Find(DWORD callId) const;
  Call& NewCall(size_t line, DWORD origin);
  void MoveCall(DWORD callId, DWORD state, DWORD mode);
  void Leave(DWORD callId, DWORD disconnectMode);
  void EndSession(DWORD callId, std::function<void(SipCall&)> last = {});
  void Dial(DWORD callId, const std::u16string& address);
  void Forwarded(const sip_msg& invite, AccountAgent& agent, const ForwardEntry& entry);
  LONG CheckCallOp(const CallRequest& request) const;
  LONG CheckParams(const CallRequest& request) const;

  // AccountAgent::Listener
  void OnService(size_t line, bool inService, const std::string& message) override;
  void OnIncoming(size_t line, const sip_msg& invite) override;
  // CallListener
  void OnProgress(DWORD callId, uint16_t scode) override;
  void OnEstablished(DWORD callId) override;
  void OnPeerHold(DWORD callId, bool holds) override;
  void OnClosed(DWORD callId, int err, uint16_t scode, bool established) override;
  void OnDigit(DWORD callId, char digit, bool end) override;
  void OnTransferDone(DWORD callId, bool succeeded) override;
  // Answers the call's pending blind transfer, if any, with `result`.
  void CompleteTransfer(DWORD callId, LONG result);
};

// --- set-up and shutdown -------------------------------------------------------------------------

SipProvider::Impl::Impl(std::vector<SipAccount> accounts) {
  for (size_t i = 0; i < accounts.size(); ++i)
    lines.push_back(std::make_unique<SipLine>(static_cast<DWORD>(i), accounts[i]));
  // The accounts start on the loop; whoever creates the provider may hold the runtime's lock,
  // which the loop takes as the accounts come into service.
  loop.Post([this, accounts = std::move(accounts)]() mutable { StartAgents(std::move(accounts)); });
}

void SipProvider::Impl::StartAgents(std::vector<SipAccount> accounts) {
  for (size_t i = 0; i < accounts.size(); ++i) {
    try {
      agents.push_back(std::make_unique<AccountAgent>(i, std::move(accounts[i]), *this));
    } catch (const std::exception& error) {
      // The line stays out of service; the other accounts go on.
      std::cerr << "sip: " << error.what() << '\n';
      agents.push_back(nullptr);
    }
  }
}

SipProvider::Impl::~Impl() {
  closing = true;
  std::mutex doneMutex;
  std::condition_variable doneChanged;
  size_t open = 0;
  bool posted = false;
  loop.Post([&] {
    // Ending every call sends its BYE, CANCEL or rejection; the accounts then unregister.
    sessions.clear();
    for (Timer& timer : timers)
      tmr_cancel(&timer.timer);
    timers.clear();
    {
      std::lock_guard lock(doneMutex);
      open = static_cast<size_t>(std::count_if(agents.begin(), agents.end(),
                                               [](const auto& agent) { return agent != nullptr; }));
      posted = true;
    }
    // An account with nothing left to finish reports at once.
    for (auto& agent : agents) {
      if (!agent) continue;
      agent->Close([&] {
        std::lock_guard closedLock(doneMutex);
        --open;
        doneChanged.notify_all();
      });
    }
    doneChanged.notify_all();
  });
  {
    std::unique_lock lock(doneMutex);
    doneChanged.wait_for(lock, kShutdownWait, [&] { return posted && open == 0; });
  }
  loop.Stop([this] { agents.clear(); });
}

void SipProvider::Impl::After(uint32_t delayMs, std::function<void()> task) {
  Timer& timer = timers.emplace_back();
  timer.task = std::move(task);
  timer.owner = this;
  timer.self = std::prev(timers.end());
  tmr_init(&timer.timer);
  tmr_start(&timer.timer, delayMs, OnTimer, &timer);
}

void SipProvider::Impl::OnTimer(void* arg) {
  auto* timer = static_cast<Timer*>(arg);
  std::function<void()> task = std::move(timer->task);
  timer->owner->timers.erase(timer->self);
  task();
}

std::unique_lock<std::recursive_mutex> SipProvider::Impl::LockTapi() {
  std::unique_lock lock(Tapi().Mutex(), std::defer_lock);
  // Waits for the lock unless shutdown starts meanwhile: the thread shutting the provider down
  // may hold it while it waits for the loop.
  while (!lock.try_lock()) {
    if (closing) return lock;
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  return lock;
}

SipCall* SipProvider::Impl::Session(DWORD callId) {
  auto it = sessions.find(callId);
  return it == sessions.end() ? nullptr : it->second.get();
}

MediaConfig SipProvider::Impl::MediaFor(size_t line, DWORD callId) const {
  const SipAccount& account = agents[line]->Account();
  MediaConfig media;
  media.localIp = agents[line]->LocalIp();
  media.portMin = account.rtpPortMin;
  media.portMax = account.rtpPortMax;
  media.codecs = account.codecs;
  media.audio = account.audio;
  media.callTag = "call-" + std::to_string(callId);
  return media;
}

// --- calls and their states ----------------------------------------------------------------------

DWORD SipProvider::Impl::NewCallId() {
  do {
    lastCallId = lastCallId == 0xFFFFFFFF ? kFirstCallId : lastCallId + 1;
  } while (calls.contains(lastCallId));
  return lastCallId;
}

SipProvider::Impl::Call* SipProvider::Impl::Find(DWORD callId) {
  auto it = calls.find(callId);
  return it == calls.end() ? nullptr : &it->second;
}

const SipProvider::Impl::Call* SipProvider::Impl::Find(DWORD callId) const {
  auto it = calls.find(callId);
  return it == calls.end() ? nullptr : &it->second;
}

SipProvider::Impl::Call& SipProvider::Impl::NewCall(size_t line, DWORD origin) {
  const DWORD callId = NewCallId();
  Call& call = calls[callId];
  CallData& data = call.data;
  data.deviceId = static_cast<DWORD>(line);
  data.callId = callId;
  data.rate = 64000;
  data.callStates = kSipCallStates;
  data.origin = origin;
  data.reason = LINECALLREASON_DIRECT;
  data.caller = data.called = data.connected = data.redirection = data.redirecting = Party({}, {});
  call.outgoing = origin == LINECALLORIGIN_OUTBOUND;
  lines[line]->CallCame(callId);
  return call;
}

void SipProvider::Impl::MoveCall(DWORD callId, DWORD state, DWORD mode) {
  Call* call = Find(callId);
  if (call == nullptr) return;
  // A transfer the call was waiting on cannot succeed once the call ends another way.
  if (state == LINECALLSTATE_DISCONNECTED || state == LINECALLSTATE_IDLE) {
    CompleteTransfer(callId, Err(LINEERR_OPERATIONFAILED));
  }
  CallData& data = call->data;
  SipLine& line = *lines[data.deviceId];
  const int held = (state == LINECALLSTATE_ONHOLD) - (data.state == LINECALLSTATE_ONHOLD);
  line.SetHeldCount(line.HeldCount() + static_cast<DWORD>(held));
  data.state = state;
  data.stateMode = mode;
  data.stateEntryTime = UtcNow();
  if (state == LINECALLSTATE_IDLE) line.CallGone(callId);
  Tapi().CallStateChanged(callId);
  if (state != LINECALLSTATE_IDLE) return;
  EndSession(callId);
  if (!Tapi().CallHasHandles(callId)) calls.erase(callId);
}

// The far end or the network ended the call: DISCONNECTED with the reason, then IDLE.
void SipProvider::Impl::Leave(DWORD callId, DWORD disconnectMode) {
  // A call its owner dropped meanwhile has ended already: it must not come back to end twice.
  const Call* call = Find(callId);
  if (call == nullptr || call->data.state == LINECALLSTATE_IDLE) return;
  MoveCall(callId, LINECALLSTATE_DISCONNECTED, disconnectMode);
  call = Find(callId);
  if (call != nullptr && call->data.state != LINECALLSTATE_IDLE) {
    MoveCall(callId, LINECALLSTATE_IDLE, 0);
  }
}

// Frees the call's SIP session on the loop, after `last` had it say its final word. Freeing it
// ends the SIP call as its state requires (BYE, CANCEL, 486). Never at once, even on the loop: a
// libre handler of the session may be what led here.
void SipProvider::Impl::EndSession(DWORD callId, std::function<void(SipCall&)> last) {
  loop.Post([this, callId, last = std::move(last)] {
    auto it = sessions.find(callId);
    if (it == sessions.end()) return;
    if (last) last(*it->second);
    sessions.erase(it);
  });
}

void SipProvider::Impl::Dial(DWORD callId, const std::u16string& address) {
  Call& call = calls.at(callId);
  const size_t line = call.data.deviceId;
  const std::string uri = TargetUri(lines[line]->Account().aor, address);
  call.data.called = Party(platform::WideToUtf8(address), {});
  if (call.data.state != LINECALLSTATE_DIALING) MoveCall(callId, LINECALLSTATE_DIALING, 0);
  Tapi().CallInfoChanged(callId, LINECALLINFOSTATE_CALLEDID);
  loop.Post([this, callId, line, uri] {
    if (line >= agents.size() || !agents[line]) return;
    try {
      sessions[callId] = std::make_unique<SipCall>(callId, agents[line]->Stack(), uri,
                                                   MediaFor(line, callId), *this);
    } catch (const std::exception& error) {
      std::cerr << "sip: " << error.what() << '\n';
      const auto lock = LockTapi();
      if (!lock.owns_lock()) return;
      const Call* now = Find(callId);
      if (now != nullptr && In(now->data.state, kAwaitingFarEnd)) {
        MoveCall(callId, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_UNAVAIL);
      }
    }
  });
}

// --- what the accounts and the far ends report (loop thread) ------------------------------------

void SipProvider::Impl::OnService(size_t line, bool inService, const std::string& message) {
  std::cerr << message << '\n';
  const auto lock = LockTapi();
  if (!lock.owns_lock()) return;
  if (lines[line]->InService() == inService) return;
  lines[line]->SetInService(inService);
  Tapi().LineStateChanged(static_cast<DWORD>(line),
                          inService ? LINEDEVSTATE_INSERVICE : LINEDEVSTATE_OUTOFSERVICE, 0, 0);
}

void SipProvider::Impl::Forwarded(const sip_msg& invite, AccountAgent& agent,
                                  const ForwardEntry& entry) {
  agent.Reply(invite, 302, "Moved Temporarily", TargetUri(agent.Account().aor, entry.destAddress));
}

void SipProvider::Impl::OnIncoming(size_t line, const sip_msg& invite) {
  AccountAgent& agent = *agents[line];
  const auto lock = LockTapi();
  if (!lock.owns_lock()) return agent.Reply(invite, 480, "Temporarily Unavailable");
  SipLine& device = *lines[line];
  const PartyId caller = CallerOf(invite);
  using sim::ForwardWhen;
  const std::vector<ForwardEntry>& forwarding = device.Forwarding();
  auto forwardFor = [&](ForwardWhen when) {
    return sim::MatchForward(forwarding, when, caller.number, LINECALLORIGIN_EXTERNAL);
  };
  if (const ForwardEntry* entry = forwardFor(ForwardWhen::Unconditional)) {
    return Forwarded(invite, agent, *entry);
  }
  if (!device.LiveCalls().empty()) {
    if (const ForwardEntry* entry = forwardFor(ForwardWhen::Busy)) {
      return Forwarded(invite, agent, *entry);
    }
  }
  Call& call = NewCall(line, LINECALLORIGIN_EXTERNAL);
  const DWORD callId = call.data.callId;
  call.data.caller = caller;
  call.data.called = CalledOf(invite);
  try {
    sessions[callId] =
        std::make_unique<SipCall>(callId, agent.Stack(), invite, MediaFor(line, callId), *this);
  } catch (const std::exception& error) {
    std::cerr << "sip: " << error.what() << '\n';
    device.CallGone(callId);
    calls.erase(callId);
    return agent.Reply(invite, 500, "Server Internal Error");
  }
  Tapi().CallCreated(callId, 0, MakerLearns::FromRequest);
  MoveCall(callId, LINECALLSTATE_OFFERING, LINEOFFERINGMODE_ACTIVE);
  DWORD info = LINECALLINFOSTATE_ORIGIN | LINECALLINFOSTATE_REASON;
  if (call.data.caller.flags != LINECALLPARTYID_UNKNOWN) info |= LINECALLINFOSTATE_CALLERID;
  if (call.data.called.flags != LINECALLPARTYID_UNKNOWN) info |= LINECALLINFOSTATE_CALLEDID;
  Tapi().CallInfoChanged(callId, info);
  // Unanswered, the call goes elsewhere after the rings forwarding on no answer asks for, or ends
  // after the longest ring: a caller whose CANCEL never arrives would otherwise ring forever.
  const ForwardEntry* noAnswer = forwardFor(ForwardWhen::NoAnswer);
  const std::string target =
      noAnswer != nullptr ? TargetUri(agent.Account().aor, noAnswer->destAddress) : std::string();
  After(noAnswer != nullptr ? device.ForwardRings() * kSipRingMs : kLongestRingMs, [this, callId,
                                                                                    target] {
    const auto later = LockTapi();
    const Call* now = later.owns_lock() ? Find(callId) : nullptr;
    if (now == nullptr || !In(now->data.state, kAlerting)) return;
    EndSession(callId, [target](SipCall& session) {
      if (target.empty()) {
        session.Reject(480, "Temporarily Unavailable");
      } else {
        session.Reject(302, "Moved Temporarily", target);
      }
    });
    Leave(callId, target.empty() ? LINEDISCONNECTMODE_NOANSWER : LINEDISCONNECTMODE_FORWARDED);
  });
}

void SipProvider::Impl::OnProgress(DWORD callId, uint16_t scode) {
  const auto lock = LockTapi();
  const Call* call = lock.owns_lock() ? Find(callId) : nullptr;
  if (call == nullptr || !In(call->data.state, kAwaitingFarEnd)) return;
  if (scode == 180 || scode == 183) {
    if (call->data.state != LINECALLSTATE_RINGBACK) MoveCall(callId, LINECALLSTATE_RINGBACK, 0);
  } else if (call->data.state == LINECALLSTATE_DIALING) {
    MoveCall(callId, LINECALLSTATE_PROCEEDING, 0);
  }
}

void SipProvider::Impl::OnEstablished(DWORD callId) {
  const auto lock = LockTapi();
  Call* call = lock.owns_lock() ? Find(callId) : nullptr;
  // An incoming call was connected when it was answered.
  if (call == nullptr || !call->outgoing || !In(call->data.state, kAwaitingFarEnd)) return;
  call->data.connected = call->data.called;
  MoveCall(callId, LINECALLSTATE_CONNECTED,
           call->peerHolds ? LINECONNECTEDMODE_INACTIVE : LINECONNECTEDMODE_ACTIVE);
  Tapi().CallInfoChanged(callId, LINECALLINFOSTATE_CONNECTEDID);
}

void SipProvider::Impl::OnPeerHold(DWORD callId, bool holds) {
  const auto lock = LockTapi();
  Call* call = lock.owns_lock() ? Find(callId) : nullptr;
  if (call == nullptr || call->peerHolds == holds) return;
  call->peerHolds = holds;
  // The peer holding us changes how the call is connected; our own hold stays what it is.
  if (call->data.state == LINECALLSTATE_CONNECTED) {
    MoveCall(callId, LINECALLSTATE_CONNECTED,
             holds ? LINECONNECTEDMODE_INACTIVE : LINECONNECTEDMODE_ACTIVE);
  }
}

void SipProvider::Impl::OnClosed(DWORD callId, int err, uint16_t scode, bool established) {
  EndSession(callId);
  const auto lock = LockTapi();
  const Call* call = lock.owns_lock() ? Find(callId) : nullptr;
  if (call == nullptr ||
      In(call->data.state, LINECALLSTATE_IDLE | LINECALLSTATE_DISCONNECTED | LINECALLSTATE_BUSY)) {
    return;
  }
  if (In(call->data.state, kAlerting)) {
    // The caller gave up (CANCEL) before anybody answered.
    return Leave(callId, LINEDISCONNECTMODE_NOANSWER);
  }
  if (established || !call->outgoing) return Leave(callId, LINEDISCONNECTMODE_NORMAL);
  // Our INVITE failed: the call shows why until its owner drops it.
  const FailedCallState failed = StateForFailure(err, scode);
  MoveCall(callId, failed.state, failed.mode);
}

void SipProvider::Impl::OnDigit(DWORD callId, char digit, bool end) {
  const auto lock = LockTapi();
  if (!lock.owns_lock() || Find(callId) == nullptr) return;
  Tapi().DigitDetected(callId, static_cast<char16_t>(digit),
                       end ? LINEDIGITMODE_DTMFEND : LINEDIGITMODE_DTMF);
}

void SipProvider::Impl::CompleteTransfer(DWORD callId, LONG result) {
  auto it = calls.find(callId);
  if (it == calls.end() || it->second.transferRequest == 0) return;
  const DWORD request = std::exchange(it->second.transferRequest, 0);
  Tapi().RequestCompleted(request, result);
}

void SipProvider::Impl::OnTransferDone(DWORD callId, bool succeeded) {
  const auto lock = LockTapi();
  const Call* call = lock.owns_lock() ? Find(callId) : nullptr;
  if (call == nullptr || call->data.state == LINECALLSTATE_IDLE) return;
  // The request is answered before the call ends, so that its reply comes first.
  CompleteTransfer(callId, succeeded ? LONG{0} : Err(LINEERR_OPERATIONFAILED));
  if (!succeeded) {
    // The call stays as it was.
    std::cerr << "sip: " << lines[call->data.deviceId]->Account().displayName
              << ": blind transfer failed, the call stays connected\n";
    return;
  }
  // The transferred party now talks to the target: our leg ends with BYE.
  Leave(callId, LINEDISCONNECTMODE_NORMAL);
}

// --- checks --------------------------------------------------------------------------------------

LONG SipProvider::Impl::CheckParams(const CallRequest& request) const {
  if (!request.hasParams) return 0;
  const CallParams& params = request.params;
  if (params.bearerMode != LINEBEARERMODE_VOICE) return Err(LINEERR_INVALBEARERMODE);
  if (params.mediaMode != LINEMEDIAMODE_INTERACTIVEVOICE) return Err(LINEERR_INVALMEDIAMODE);
  if (!params.userUserInfo.empty()) return Err(LINEERR_USERUSERINFOTOOBIG);
  if (params.addressMode == LINEADDRESSMODE_ADDRESSID && params.addressId != 0) {
    return Err(LINEERR_INVALADDRESSID);
  }
  return 0;
}

LONG SipProvider::Impl::CheckCallOp(const CallRequest& request) const {
  if (request.deviceId >= lines.size()) return Err(LINEERR_BADDEVICEID);
  const SipLine& line = *lines[request.deviceId];
  const Call* call = request.callId != 0 ? Find(request.callId) : nullptr;
  const DWORD state = call != nullptr ? call->data.state : 0;
  auto needState = [state](DWORD states) {
    return In(state, states) ? LONG{0} : Err(LINEERR_INVALCALLSTATE);
  };
  // SIP carries no user-user information.
  const LONG noUserUserInfo = request.data.empty() ? LONG{0} : Err(LINEERR_USERUSERINFOTOOBIG);
  switch (request.op) {
    case CallOp::Accept:
      if (noUserUserInfo != 0) return noUserUserInfo;
      return needState(LINECALLSTATE_OFFERING);
    case CallOp::Answer:
      if (noUserUserInfo != 0) return noUserUserInfo;
      return needState(kAlerting);
    case CallOp::MakeCall:
      if (request.addressId != 0) return Err(LINEERR_INVALADDRESSID);
      if (const LONG error = CheckParams(request)) return error;
      if (request.hasAddress && !Dialable(request.address)) return Err(LINEERR_INVALADDRESS);
      return line.InService() ? LONG{0} : Err(LINEERR_CALLUNAVAIL);
    case CallOp::Dial:
      if (const LONG error = needState(LINECALLSTATE_DIALTONE)) return error;
      return Dialable(request.address) ? LONG{0} : Err(LINEERR_INVALADDRESS);
    case CallOp::Hold:
      return needState(LINECALLSTATE_CONNECTED);
    case CallOp::Unhold:
      return needState(LINECALLSTATE_ONHOLD);
    case CallOp::Redirect:
      if (const LONG error = needState(kAlerting)) return error;
      return Dialable(request.address) ? LONG{0} : Err(LINEERR_INVALADDRESS);
    case CallOp::BlindTransfer:
      if (const LONG error = needState(LINECALLSTATE_CONNECTED)) return error;
      return Dialable(request.address) ? LONG{0} : Err(LINEERR_INVALADDRESS);
    case CallOp::GenerateDigits:
      if (request.mode != LINEDIGITMODE_DTMF) return Err(LINEERR_INVALDIGITMODE);
      if (const LONG error = needState(LINECALLSTATE_CONNECTED)) return error;
      return DtmfDigits(request.address) ? LONG{0} : Err(LINEERR_INVALDIGITLIST);
    case CallOp::MonitorDigits:
      if ((request.mode & ~(LINEDIGITMODE_DTMF | LINEDIGITMODE_DTMFEND)) != 0) {
        return Err(LINEERR_INVALDIGITMODE);
      }
      return state == LINECALLSTATE_IDLE ? Err(LINEERR_INVALCALLSTATE) : LONG{0};
    case CallOp::GatherDigits:
      if ((request.mode & ~LINEDIGITMODE_DTMF) != 0) return Err(LINEERR_INVALDIGITMODE);
      if (!GatherTimeout(request.firstDigitTimeout) || !GatherTimeout(request.interDigitTimeout)) {
        return Err(LINEERR_INVALTIMEOUT);
      }
      // Termination digits that no telephone event carries would never end the gathering.
      if (!std::all_of(request.address.begin(), request.address.end(), DtmfKey)) {
        return Err(LINEERR_INVALDIGITS);
      }
      return state == LINECALLSTATE_IDLE ? Err(LINEERR_INVALCALLSTATE) : LONG{0};
    case CallOp::SetMediaMode:
      if (request.mode != LINEMEDIAMODE_INTERACTIVEVOICE) return Err(LINEERR_INVALMEDIAMODE);
      return state == LINECALLSTATE_IDLE ? Err(LINEERR_INVALCALLSTATE) : LONG{0};
    case CallOp::Forward:
      if (!request.allAddresses && request.addressId != 0) return Err(LINEERR_INVALADDRESSID);
      return CheckForwardList(request.forwards);
    default:
      // Parking, pickup, consultation transfers, conferences, completion, tones, media
      // monitoring and device-specific operations: SIP accounts here do none.
      return Err(LINEERR_OPERATIONUNAVAIL);
  }
}

// --- Provider
// --------------------------------------------------------------------------------------

SipProvider::SipProvider(std::vector<SipAccount> accounts)
    : impl_(std::make_unique<Impl>(std::move(accounts))) {}

SipProvider::~SipProvider() = default;

bool SipProvider::Prepare(std::string&) {
  return true;
}

DWORD SipProvider::NumLines() const {
  return static_cast<DWORD>(impl_->lines.size());
}

const LineDevice& SipProvider::Line(DWORD deviceId) const {
  if (deviceId >= impl_->lines.size())
    throw std::out_of_range("no SIP line " + std::to_string(deviceId));
  return *impl_->lines[deviceId];
}

const PhoneDevice& SipProvider::Phone(DWORD) const {
  throw std::out_of_range("SIP accounts have no phone devices");
}

const CallData* SipProvider::FindCall(DWORD callId) const {
  const Impl::Call* call = impl_->Find(callId);
  return call != nullptr ? &call->data : nullptr;
}

void SipProvider::DropCall(DWORD callId) {
  const Impl::Call* call = impl_->Find(callId);
  if (call == nullptr || call->data.state == LINECALLSTATE_IDLE) return;
  // An incoming call nobody answered is refused: declined once somebody accepted it, busy
  // before. Every other call ends as freeing its session does (BYE, CANCEL).
  if (call->data.state == LINECALLSTATE_ACCEPTED) {
    impl_->EndSession(callId, [](SipCall& session) { session.Reject(603, "Decline"); });
  } else if (call->data.state == LINECALLSTATE_OFFERING) {
    impl_->EndSession(callId, [](SipCall& session) { session.Reject(486, "Busy Here"); });
  }
  impl_->MoveCall(callId, LINECALLSTATE_IDLE, 0);
}

void SipProvider::LastOwnerGone(DWORD callId) {
  DropCall(callId);
}

void SipProvider::CallReleased(DWORD callId) {
  const Impl::Call* call = impl_->Find(callId);
  if (call != nullptr && call->data.state == LINECALLSTATE_IDLE) impl_->calls.erase(callId);
}

LONG SipProvider::CheckCallOp(const CallRequest& request) const {
  return impl_->CheckCallOp(request);
}

CallFeatureSet SipProvider::CallFeatures(DWORD callId) const {
  const Impl::Call* call = impl_->Find(callId);
  if (call == nullptr || call->data.state == LINECALLSTATE_IDLE) return {};
  auto allows = [&](CallOp op, DWORD mode = 0, std::u16string address = {}) {
    CallRequest request;
    request.op = op;
    request.deviceId = call->data.deviceId;
    request.callId = callId;
    request.mode = mode;
    request.hasAddress = !address.empty();
    request.address = std::move(address);
    return impl_->CheckCallOp(request) == 0;
  };
  CallFeatureSet out;
  const std::pair<DWORD, bool> features[] = {
      {LINECALLFEATURE_DROP, true},  // lineDrop is the runtime's own
      {LINECALLFEATURE_ACCEPT, allows(CallOp::Accept)},
      {LINECALLFEATURE_ANSWER, allows(CallOp::Answer)},
      {LINECALLFEATURE_DIAL, allows(CallOp::Dial, 0, u"1")},
      {LINECALLFEATURE_REDIRECT, allows(CallOp::Redirect, 0, u"1")},
      {LINECALLFEATURE_BLINDTRANSFER, allows(CallOp::BlindTransfer, 0, u"1")},
      {LINECALLFEATURE_HOLD, allows(CallOp::Hold)},
      {LINECALLFEATURE_UNHOLD, allows(CallOp::Unhold)},
      {LINECALLFEATURE_GENERATEDIGITS, allows(CallOp::GenerateDigits, LINEDIGITMODE_DTMF, u"1")},
      {LINECALLFEATURE_MONITORDIGITS, allows(CallOp::MonitorDigits, LINEDIGITMODE_DTMF)},
      {LINECALLFEATURE_GATHERDIGITS, allows(CallOp::GatherDigits, LINEDIGITMODE_DTMF)},
  };
  for (const auto& [feature, allowed] : features) {
    if (allowed) out.features |= feature;
  }
  return out;
}

CallOutcome SipProvider::PerformCallOp(const CallRequest& request, HLINE requester) {
  CallOutcome outcome;
  const DWORD callId = request.callId;
  auto noteTaker = [&] {
    std::u16string& taker = impl_->calls.at(callId).data.appName;
    if (taker.empty()) taker = request.appName;
  };
  switch (request.op) {
    case CallOp::Accept:
      noteTaker();
      impl_->MoveCall(callId, LINECALLSTATE_ACCEPTED, 0);
      break;
    case CallOp::Answer: {
      noteTaker();
      Impl::Call& call = impl_->calls.at(callId);
      call.data.connected = call.data.caller;
      impl_->MoveCall(callId, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
      Tapi().CallInfoChanged(callId, LINECALLINFOSTATE_CONNECTEDID);
      impl_->loop.Post([impl = impl_.get(), callId] {
        SipCall* session = impl->Session(callId);
        if (session == nullptr || session->Answer()) return;
        // No codec in common: the call was refused with 488.
        const auto lock = impl->LockTapi();
        if (lock.owns_lock()) impl->Leave(callId, LINEDISCONNECTMODE_INCOMPATIBLE);
      });
      break;
    }
    case CallOp::MakeCall: {
      Impl::Call& call = impl_->NewCall(request.deviceId, LINECALLORIGIN_OUTBOUND);
      const DWORD made = call.data.callId;
      const SipAccount& account = impl_->lines[request.deviceId]->Account();
      call.data.caller = Party(account.aor, account.displayName);
      call.data.appName = request.appName;
      if (request.hasParams) {
        call.data.calledParty = request.params.calledParty;
        call.data.comment = request.params.comment;
        call.data.displayableAddress = request.params.displayableAddress;
      }
      // A destination is sent at once; without one the call waits for lineDial.
      const bool dialNow = request.hasAddress && !request.address.empty();
      outcome.newCall = Tapi().CallCreated(made, requester, MakerLearns::FromRequest);
      impl_->MoveCall(made, dialNow ? LINECALLSTATE_DIALING : LINECALLSTATE_DIALTONE,
                      dialNow ? 0 : LINEDIALTONEMODE_NORMAL);
      Tapi().CallInfoChanged(
          made, LINECALLINFOSTATE_ORIGIN | LINECALLINFOSTATE_REASON | LINECALLINFOSTATE_CALLERID);
      if (dialNow) impl_->Dial(made, request.address);
      break;
    }
    case CallOp::Dial:
      impl_->Dial(callId, request.address);
      break;
    case CallOp::Hold:
    case CallOp::Unhold: {
      const bool hold = request.op == CallOp::Hold;
      const bool peerHolds = impl_->calls.at(callId).peerHolds;
      impl_->MoveCall(callId, hold ? LINECALLSTATE_ONHOLD : LINECALLSTATE_CONNECTED,
                      hold        ? 0
                      : peerHolds ? LINECONNECTEDMODE_INACTIVE
                                  : LINECONNECTEDMODE_ACTIVE);
      impl_->loop.Post([impl = impl_.get(), callId, hold] {
        if (SipCall* session = impl->Session(callId)) session->Hold(hold);
      });
      break;
    }
    case CallOp::Redirect: {
      const Impl::Call& call = impl_->calls.at(callId);
      const std::string target =
          TargetUri(impl_->lines[call.data.deviceId]->Account().aor, request.address);
      impl_->EndSession(
          callId, [target](SipCall& session) { session.Reject(302, "Moved Temporarily", target); });
      impl_->Leave(callId, LINEDISCONNECTMODE_NORMAL);
      break;
    }
    case CallOp::BlindTransfer: {
      Impl::Call& call = impl_->calls.at(callId);
      call.transferRequest = request.requestId;
      const std::string target =
          TargetUri(impl_->lines[call.data.deviceId]->Account().aor, request.address);
      impl_->loop.Post([impl = impl_.get(), callId, target] {
        if (SipCall* session = impl->Session(callId)) session->Transfer(target);
      });
      break;
    }
    case CallOp::GenerateDigits: {
      const std::string digits = platform::WideToUtf8(request.address);
      const uint32_t duration = request.param != 0 ? request.param : 100;
      impl_->loop.Post([impl = impl_.get(), callId, digits, duration] {
        if (SipCall* session = impl->Session(callId)) session->SendDigits(digits, duration);
      });
      break;
    }
    case CallOp::Forward: {
      SipLine& line = *impl_->lines[request.deviceId];
      line.SetForwarding(request.forwards, request.mode);
      Tapi().AddressStateChanged(request.deviceId, 0, LINEADDRESSSTATE_FORWARD);
      break;
    }
    default:
      break;  // monitoring and the media mode: the runtime reports them itself
  }
  return outcome;
}

std::function<void()> SipProvider::PerformPartialCallOp(const CallRequest&, HLINE) {
  // No operation here makes a call before it can fail.
  return {};
}

std::vector<DWORD> SipProvider::ConferenceOf(DWORD) const {
  return {};
}

std::optional<std::vector<uint8_t>> SipProvider::PerformPhoneOp(const PhoneRequest&) {
  return std::nullopt;
}

bool SipProvider::CompletesLater(const CallRequest& request) const {
  return request.op == CallOp::BlindTransfer;
}

void SipProvider::Schedule(uint32_t delayMs, std::function<void()> task) {
  impl_->loop.Post([impl = impl_.get(), delayMs, task = std::move(task)]() mutable {
    impl->After(delayMs, [impl, task = std::move(task)] {
      const auto lock = impl->LockTapi();
      if (lock.owns_lock()) task();
    });
  });
}

}  // namespace tapi32::sip
