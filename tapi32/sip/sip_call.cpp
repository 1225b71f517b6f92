#include "tapi32/sip/sip_call.h"

#include <re.h>

#include <cerrno>
#include <stdexcept>

#include "tapi32/sip/account.h"

namespace tapi32::sip {

namespace {

constexpr const char* kSdp = "application/sdp";

std::string Body(const sip_msg* msg) {
  if (msg == nullptr || msg->mb == nullptr) return {};
  return {reinterpret_cast<const char*>(mbuf_buf(msg->mb)), mbuf_get_left(msg->mb)};
}

// An mbuf holding `text`, read from its start; nullptr when it cannot be made.
mbuf* TextBuffer(const std::string& text) {
  mbuf* buffer = mbuf_alloc(text.size() + 1);
  if (buffer == nullptr) return nullptr;
  if (mbuf_write_mem(buffer, reinterpret_cast<const uint8_t*>(text.data()), text.size()) != 0) {
    return static_cast<mbuf*>(mem_deref(buffer));
  }
  mbuf_set_pos(buffer, 0);
  return buffer;
}

std::string Error(const char* what, int err) {
  return std::string("SIP ") + what + " failed (error " + std::to_string(err) + ")";
}

}  // namespace

FailedCallState StateForFailure(int err, uint16_t scode) {
  if (scode == 0) {
    // No final response: the far end never answered (libre gives up after 64 × T1), or the
    // request could not be sent at all.
    return {LINECALLSTATE_DISCONNECTED,
            err == ETIMEDOUT ? LINEDISCONNECTMODE_NOANSWER : LINEDISCONNECTMODE_UNREACHABLE};
  }
  if (scode >= 300 && scode < 400) {
    // The far end sends the call elsewhere; a redirection is not followed here.
    return {LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_FORWARDED};
  }
  switch (scode) {
    case 486:
    case 600:
      return {LINECALLSTATE_BUSY, LINEBUSYMODE_STATION};
    case 404:
    case 484:
    case 604:
      return {LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_BADADDRESS};
    case 408:
      return {LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NOANSWER};
    case 480:
      return {LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_UNAVAIL};
    case 487:
      return {LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_CANCELLED};
    case 603:
      return {LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_REJECT};
    case 488:
    case 606:
      return {LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_INCOMPATIBLE};
    case 503:
      return {LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_CONGESTION};
    default:
      return {LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_UNAVAIL};
  }
}

uint16_t SipfragStatus(const std::string& body) {
  pl code{};
  if (re_regex(body.data(), body.size(), "SIP/2.0 [0-9]+", &code) != 0) return 0;
  return static_cast<uint16_t>(pl_u32(&code));
}

int AccountCredentials(char** user, char** password, const char* /*realm*/, void* arg) {
  const auto* account = static_cast<const SipAccount*>(arg);
  if (account->password.empty()) return EAUTH;
  std::string name = account->authUser;
  if (name.empty()) {
    // The user part of the address of record.
    const size_t colon = account->aor.find(':');
    const size_t at = account->aor.find('@');
    if (colon != std::string::npos && at != std::string::npos && at > colon) {
      name = account->aor.substr(colon + 1, at - colon - 1);
    }
  }
  if (const int err = str_dup(user, name.c_str()); err != 0) return err;
  return str_dup(password, account->password.c_str());
}

void SipCall::MakeMedia(MediaConfig media) {
  MediaSession::Events events;
  events.digit = [this](char digit, bool end) { listener_.OnDigit(callId_, digit, end); };
  media_ = MediaSession::Create(media, std::move(events));
}

SipCall::SipCall(DWORD callId, const CallStack& stack, const sip_msg& invite, MediaConfig media,
                 CallListener& listener)
    : callId_(callId), stack_(stack), listener_(listener) {
  MakeMedia(std::move(media));
  peerOffer_ = Body(&invite);
  const int err = sipsess_accept(&session_, stack_.sessions, &invite, 180, "Ringing",
                                 stack_.contactUser.c_str(), kSdp, nullptr, AccountCredentials,
                                 const_cast<void*>(stack_.credentials), false, OnOffer, OnAnswer,
                                 OnEstablished, nullptr, nullptr, OnClose, this, nullptr);
  if (err != 0) throw std::runtime_error(Error("accepting an INVITE", err));
}

SipCall::SipCall(DWORD callId, const CallStack& stack, const std::string& uri, MediaConfig media,
                 CallListener& listener)
    : callId_(callId), stack_(stack), listener_(listener) {
  MakeMedia(std::move(media));
  mbuf* offer = TextBuffer(media_->Offer());
  if (offer == nullptr) throw std::runtime_error(Error("making the offer", ENOMEM));
  const char* route = stack_.outboundProxy.c_str();
  const int err = sipsess_connect(
      &session_, stack_.sessions, uri.c_str(),
      stack_.fromName.empty() ? nullptr : stack_.fromName.c_str(), stack_.fromUri.c_str(),
      stack_.contactUser.c_str(), stack_.outboundProxy.empty() ? nullptr : &route,
      stack_.outboundProxy.empty() ? 0 : 1, kSdp, offer, AccountCredentials,
      const_cast<void*>(stack_.credentials), false, OnOffer, OnAnswer, OnProgress, OnEstablished,
      nullptr, nullptr, OnClose, this, nullptr);
  mem_deref(offer);
  if (err != 0) throw std::runtime_error(Error("sending an INVITE", err));
}

SipCall::~SipCall() {
  refer_ = static_cast<sipsub*>(mem_deref(refer_));
  if (media_) media_->Stop();
  session_ = static_cast<sipsess*>(mem_deref(session_));
}

bool SipCall::Answer() {
  // An INVITE without an offer gets ours in the 200; the peer answers in its ACK.
  const std::string answer = peerOffer_.empty() ? media_->Offer() : media_->Answer(peerOffer_);
  if (answer.empty()) {
    Reject(488, "Not Acceptable Here");
    return false;
  }
  mbuf* desc = TextBuffer(answer);
  sipsess_answer(session_, 200, "OK", desc, nullptr);
  mem_deref(desc);
  if (!peerOffer_.empty()) media_->Start();
  return true;
}

void SipCall::Reject(uint16_t scode, const char* reason, const std::string& contact) {
  if (contact.empty()) {
    sipsess_reject(session_, scode, reason, nullptr);
  } else {
    sipsess_reject(session_, scode, reason, "Contact: <%s>\r\nContent-Length: 0\r\n\r\n",
                   contact.c_str());
  }
  // The session has answered its INVITE finally; freeing it sends nothing more.
  session_ = static_cast<sipsess*>(mem_deref(session_));
}

void SipCall::Hold(bool hold) {
  media_->SetHold(hold);
  mbuf* offer = TextBuffer(media_->Offer());
  sipsess_modify(session_, offer);
  mem_deref(offer);
}

void SipCall::Transfer(const std::string& target) {
  transferring_ = true;
  const int err =
      sipevent_drefer(&refer_, stack_.events, sipsess_dialog(session_), stack_.contactUser.c_str(),
                      AccountCredentials, const_cast<void*>(stack_.credentials), false, OnNotify,
                      OnReferClosed, this, "Refer-To: <%s>\r\n", target.c_str());
  if (err != 0) FinishTransfer(false);
}

void SipCall::FinishTransfer(bool succeeded) {
  if (!transferring_) return;
  transferring_ = false;
  listener_.OnTransferDone(callId_, succeeded);
}

void SipCall::SendDigits(const std::string& digits, uint32_t durationMs) {
  // The media session paces the events; a pause (',') has no telephone event of its own.
  for (const char digit : digits) {
    if (digit != ',') media_->SendDigit(digit, durationMs);
  }
}

int SipCall::OnOffer(mbuf** descp, const sip_msg* msg, void* arg) {
  auto* call = static_cast<SipCall*>(arg);
  const std::string answer = call->media_->Answer(Body(msg));
  if (answer.empty()) return EPROTO;
  *descp = TextBuffer(answer);
  if (*descp == nullptr) return ENOMEM;
  call->media_->Start();
  call->listener_.OnPeerHold(call->callId_, call->media_->PeerHolds());
  return 0;
}

int SipCall::OnAnswer(const sip_msg* msg, void* arg) {
  auto* call = static_cast<SipCall*>(arg);
  if (!call->media_->Accept(Body(msg))) return EPROTO;
  call->media_->Start();
  return 0;
}

void SipCall::OnProgress(const sip_msg* msg, void* arg) {
  auto* call = static_cast<SipCall*>(arg);
  call->listener_.OnProgress(call->callId_, msg->scode);
}

void SipCall::OnEstablished(const sip_msg* /*msg*/, void* arg) {
  auto* call = static_cast<SipCall*>(arg);
  call->established_ = true;
  call->listener_.OnEstablished(call->callId_);
}

void SipCall::OnClose(int err, const sip_msg* msg, void* arg) {
  auto* call = static_cast<SipCall*>(arg);
  const uint16_t scode = msg != nullptr ? msg->scode : 0;
  // The listener may free the call: nothing of it is used after this.
  call->listener_.OnClosed(call->callId_, err, scode, call->established_);
}

void SipCall::OnNotify(struct ::sip* sip, const sip_msg* msg, void* arg) {
  auto* call = static_cast<SipCall*>(arg);
  sip_treply(nullptr, sip, msg, 200, "OK");
  const uint16_t status = SipfragStatus(Body(msg));
  if (status >= 200 && status < 300) {
    call->FinishTransfer(true);
  } else if (status >= 300) {
    call->FinishTransfer(false);
  }
}

void SipCall::OnReferClosed(int /*err*/, const sip_msg* /*msg*/,
                            const ::sipevent_substate* /*substate*/, void* arg) {
  auto* call = static_cast<SipCall*>(arg);
  call->refer_ = static_cast<sipsub*>(mem_deref(call->refer_));
  // A subscription that ends before a final NOTIFY (REFER refused, no NOTIFY at all) is a
  // failed transfer.
  call->FinishTransfer(false);
}

}  // namespace tapi32::sip
