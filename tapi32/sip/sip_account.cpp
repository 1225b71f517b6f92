#include "tapi32/sip/sip_account.h"

#include <re.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "tapi32/sip/caller_id.h"

namespace tapi32::sip {

namespace {

constexpr uint32_t kFirstRetryMs = 30'000;
constexpr uint32_t kLongestRetryMs = 300'000;
// How long unregistering and the last transactions may take at shutdown.
constexpr uint32_t kCloseGraceMs = 3'000;
constexpr uint32_t kHashSize = 32;
// A renewal may take a retransmission or two; only a registration that stays unrenewed this long
// past its expiry takes the line out of service.
constexpr uint32_t kLapseGraceMs = 2'000;

uint32_t FirstRetryMs() {
  const char* text = std::getenv("ZVTAPI_SIP_RETRY_MS");
  if (text == nullptr || *text == '\0') return kFirstRetryMs;
  char* end = nullptr;
  const unsigned long value = std::strtoul(text, &end, 10);
  return *end == '\0' && value > 0 && value <= kLongestRetryMs ? static_cast<uint32_t>(value)
                                                               : kFirstRetryMs;
}

std::string Seconds(uint32_t ms) {
  return std::to_string((ms + 999) / 1000) + " s";
}

// The display name for our From header as libre writes it: inside quotes that libre adds.
std::string EscapedName(const std::string& name) {
  if (name.empty()) return {};
  std::string quoted = QuoteDisplayName(name);
  if (quoted.size() >= 2 && quoted.front() == '"' && quoted.back() == '"') {
    quoted = quoted.substr(1, quoted.size() - 2);
  }
  return quoted;
}

// The user part of a SIP URI ("sip:alice@example.org" → "alice"), empty when it has none.
std::string UserOf(const std::string& uri) {
  const size_t colon = uri.find(':');
  const size_t at = uri.find('@');
  if (colon == std::string::npos || at == std::string::npos || at < colon) return {};
  return uri.substr(colon + 1, at - colon - 1);
}

std::unique_ptr<tmr> NewTimer() {
  auto timer = std::make_unique<tmr>();
  tmr_init(timer.get());
  return timer;
}

bool NoSubscriptions(const sip_msg* /*msg*/, void* /*arg*/) {
  return false;  // SUBSCRIBE is not served: libre answers it
}

}  // namespace

AccountAgent::AccountAgent(size_t line, SipAccount account, Listener& listener)
    : line_(line),
      account_(std::move(account)),
      listener_(listener),
      retry_(NewTimer()),
      lapse_(NewTimer()),
      retryMs_(FirstRetryMs()) {
  auto fail = [this](const std::string& what, int err) {
    mem_deref(stack_.events);
    mem_deref(stack_.sessions);
    if (sip_ != nullptr) sip_close(sip_, true);
    mem_deref(sip_);
    mem_deref(dns_);
    throw std::runtime_error(account_.origin + ": SIP account " + Who() + ": " + what +
                             " failed (" + std::strerror(err) + ")");
  };
  sa nameServers[4];
  uint32_t count = 4;
  char domain[64] = "";
  if (dns_srv_get(domain, sizeof(domain), nameServers, &count) == 0 && count > 0) {
    dnsc_alloc(&dns_, nullptr, nameServers, count);
  }
  if (int err = sip_alloc(&sip_, dns_, kHashSize, kHashSize, kHashSize, "zvTapi", OnExit, this)) {
    fail("starting SIP", err);
  }
  sa local{};
  if (int err = sa_decode(&local, account_.localAddress.data(), account_.localAddress.size())) {
    fail("reading the local address " + account_.localAddress, err);
  }
  const sip_transp transport = account_.transport == "tcp" ? SIP_TRANSP_TCP : SIP_TRANSP_UDP;
  if (int err = sip_transp_add(sip_, transport, &local)) {
    fail("listening on " + account_.localAddress, err);
  }
  if (int err = sipsess_listen(&stack_.sessions, sip_, kHashSize, OnConnect, this)) {
    fail("listening for calls", err);
  }
  if (int err =
          sipevent_listen(&stack_.events, sip_, kHashSize, kHashSize, NoSubscriptions, this)) {
    fail("listening for events", err);
  }
  sa ip = local;
  if (!sa_isset(&ip, SA_ADDR)) net_default_source_addr_get(sa_af(&local), &ip);
  char text[64] = "";
  sa_ntop(&ip, text, sizeof(text));
  localIp_ = text;
  stack_.sip = sip_;
  stack_.credentials = &account_;
  stack_.fromName = EscapedName(account_.displayName);
  stack_.fromUri = account_.aor;
  stack_.contactUser = UserOf(account_.aor);
  if (stack_.contactUser.empty()) stack_.contactUser = "zvtapi";
  stack_.outboundProxy = account_.outboundProxy;
  if (account_.registrar.empty()) {
    SetService(true, "listening on " + account_.localAddress + " (no registrar)");
  } else {
    Register();
  }
}

AccountAgent::~AccountAgent() {
  tmr_cancel(retry_.get());
  tmr_cancel(lapse_.get());
  mem_deref(registration_);
  mem_deref(stack_.events);
  // Sessions still saying goodbye (a BYE the peer never answers) hold themselves until their
  // transaction times out; at shutdown they are freed here rather than leaked with the stack.
  if (stack_.sessions != nullptr) sipsess_close_all(stack_.sessions);
  mem_deref(stack_.sessions);
  if (sip_ != nullptr) sip_close(sip_, true);
  mem_deref(sip_);
  mem_deref(dns_);
}

std::string AccountAgent::Who() const {
  return account_.displayName.empty() ? "<" + account_.aor + ">"
                                      : account_.displayName + " <" + account_.aor + ">";
}

void AccountAgent::SetService(bool inService, const std::string& message) {
  const bool changed = inService != inService_;
  inService_ = inService;
  // Each change is logged; so is every failure, which says when the next attempt comes.
  if (changed || !inService)
    listener_.OnService(line_, inService, "sip: " + Who() + ": " + message);
}

void AccountAgent::Register() {
  const char* route = account_.outboundProxy.c_str();
  const int err = sipreg_register(
      &registration_, sip_, account_.registrar.c_str(), account_.aor.c_str(),
      stack_.fromName.empty() ? nullptr : stack_.fromName.c_str(), account_.aor.c_str(),
      account_.registerExpiresS, stack_.contactUser.c_str(),
      account_.outboundProxy.empty() ? nullptr : &route, account_.outboundProxy.empty() ? 0 : 1, 0,
      AccountCredentials, &account_, false, OnRegistered, this, nullptr, nullptr);
  if (err != 0) Failed(std::strerror(err));
}

void AccountAgent::Failed(const std::string& why) {
  tmr_cancel(lapse_.get());
  registration_ = static_cast<sipreg*>(mem_deref(registration_));
  SetService(false, "registration failed: " + why + "; retrying in " + Seconds(retryMs_));
  tmr_start(retry_.get(), retryMs_, OnRetry, this);
  retryMs_ = std::min(retryMs_ * 2, std::max(kLongestRetryMs, FirstRetryMs()));
}

void AccountAgent::OnRegistered(int err, const sip_msg* msg, void* arg) {
  auto* agent = static_cast<AccountAgent*>(arg);
  if (agent->closing_) return;
  if (err != 0) return agent->Failed(std::strerror(err));
  if (msg->scode >= 300) {
    return agent->Failed(std::to_string(msg->scode) + " " +
                         std::string(msg->reason.p, msg->reason.l));
  }
  if (msg->scode < 200) return;
  uint32_t expires = sipreg_proxy_expires(agent->registration_);
  if (expires == 0) expires = agent->account_.registerExpiresS;
  agent->retryMs_ = FirstRetryMs();
  // libre renews the registration before it runs out; if no renewal gets through in time, the
  // line is out of service.
  tmr_start(agent->lapse_.get(), uint64_t{expires} * 1000 + kLapseGraceMs, OnLapse, agent);
  agent->SetService(true, "registered with " + agent->account_.registrar + " (expires in " +
                              std::to_string(expires) + " s)");
}

void AccountAgent::OnRetry(void* arg) {
  static_cast<AccountAgent*>(arg)->Register();
}

void AccountAgent::OnLapse(void* arg) {
  static_cast<AccountAgent*>(arg)->Failed("registration expired without renewal");
}

void AccountAgent::OnConnect(const sip_msg* msg, void* arg) {
  auto* agent = static_cast<AccountAgent*>(arg);
  if (agent->closing_) {
    agent->Reply(*msg, 480, "Temporarily Unavailable");
    return;
  }
  // An INVITE without a Via cannot be answered, and one without a usable CSeq cannot be
  // answered, acknowledged or cancelled reliably: offering either would leave a call ringing
  // that nothing can end.
  if (!pl_isset(&msg->via.sentby)) return;
  const sip_hdr* cseq = sip_msg_hdr(msg, SIP_HDR_CSEQ);
  if (cseq == nullptr || cseq->val.l == 0 || cseq->val.p[0] < '0' || cseq->val.p[0] > '9' ||
      pl_cmp(&msg->cseq.met, &msg->met) != 0) {
    agent->Reply(*msg, 400, "Bad Request");
    return;
  }
  agent->listener_.OnIncoming(agent->line_, *msg);
}

void AccountAgent::Reply(const sip_msg& request, uint16_t scode, const char* reason,
                         const std::string& contact) {
  if (contact.empty()) {
    sip_treply(nullptr, sip_, &request, scode, reason);
    return;
  }
  sip_treplyf(nullptr, nullptr, sip_, &request, false, scode, reason,
              "Contact: <%s>\r\nContent-Length: 0\r\n\r\n", contact.c_str());
}

void AccountAgent::Close(std::function<void()> done) {
  closing_ = true;
  closed_ = std::move(done);
  tmr_cancel(retry_.get());
  tmr_cancel(lapse_.get());
  // Freeing the registration sends REGISTER with expires 0 (answering a challenge with our
  // credentials, which live as long as this agent).
  registration_ = static_cast<sipreg*>(mem_deref(registration_));
  sip_close(sip_, false);
  // Should the stack never say it is done (a transaction that does not end), stop waiting.
  tmr_start(retry_.get(), kCloseGraceMs, OnExit, this);
}

void AccountAgent::OnExit(void* arg) {
  auto* agent = static_cast<AccountAgent*>(arg);
  tmr_cancel(agent->retry_.get());
  if (std::function<void()> done = std::move(agent->closed_)) {
    agent->closed_ = nullptr;
    done();
  }
}

}  // namespace tapi32::sip
