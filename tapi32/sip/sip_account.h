// One account's libre objects on the loop thread: its SIP stack with the transport it listens
// on, the session and event (REFER) listeners, and its registration, which is renewed before it
// expires and retried with a growing back-off (30 s doubling up to 5 min) while the registrar
// fails. The environment variable ZVTAPI_SIP_RETRY_MS sets the first wait of that back-off in
// milliseconds (tests shorten it); it still doubles, up to 5 min or the first wait if larger.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "tapi32/sip/account.h"
#include "tapi32/sip/sip_call.h"

struct sip;
struct sip_msg;
struct sipreg;
struct tmr;
struct dnsc;

namespace tapi32::sip {

class AccountAgent {
 public:
  struct Listener {
    virtual ~Listener() = default;
    // The line can take calls (registered, or listening without a registrar) or no longer can;
    // `message` is the line for the log.
    virtual void OnService(size_t line, bool inService, const std::string& message) = 0;
    // An INVITE that starts a call; the listener accepts or rejects it before returning.
    virtual void OnIncoming(size_t line, const sip_msg& invite) = 0;
  };

  // On the loop thread: listens and starts registering. Throws std::runtime_error when the
  // account's transport cannot be set up.
  AccountAgent(size_t line, SipAccount account, Listener& listener);
  ~AccountAgent();
  AccountAgent(const AccountAgent&) = delete;
  AccountAgent& operator=(const AccountAgent&) = delete;

  const SipAccount& Account() const { return account_; }
  const CallStack& Stack() const { return stack_; }
  // The IP address SIP listens on, for the media to announce.
  const std::string& LocalIp() const { return localIp_; }
  // Answers a request outside any call (302 for forwarding, 480 out of service, ...).
  void Reply(const sip_msg& request, uint16_t scode, const char* reason,
             const std::string& contact = {});
  // Unregisters and lets the stack finish its transactions; `done` runs (on the loop thread)
  // when it has, or at once when nothing was pending.
  void Close(std::function<void()> done);

 private:
  static bool OnRequest(const sip_msg* msg, void* arg);
  static void OnConnect(const sip_msg* msg, void* arg);
  static void OnRegistered(int err, const sip_msg* msg, void* arg);
  static void OnRetry(void* arg);
  static void OnLapse(void* arg);
  static void OnExit(void* arg);
  void Register();
  void Failed(const std::string& why);
  void SetService(bool inService, const std::string& message);
  std::string Who() const;

  size_t line_;
  SipAccount account_;
  Listener& listener_;
  std::string localIp_;
  CallStack stack_;
  struct ::sip* sip_ = nullptr;
  dnsc* dns_ = nullptr;
  sipreg* registration_ = nullptr;
  std::unique_ptr<tmr> retry_;
  std::unique_ptr<tmr> lapse_;  // the registration runs out unless it is renewed in time
  uint32_t retryMs_ = 0;        // the next wait after a failure
  bool inService_ = false;
  bool closing_ = false;
  std::function<void()> closed_;
};

}  // namespace tapi32::sip
