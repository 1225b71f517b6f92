// One SIP call on the loop thread: its INVITE session (libre's sipsess), its media session, and a
// blind transfer's REFER subscription while one runs. It carries out what the provider asks and
// tells the provider, through CallListener, what the far end did; the provider turns both into
// the Telephony API's call states. Everything here runs on the SIP loop thread only.
//
// Destroying a SipCall ends the SIP call the way its state requires: libre sends BYE for an
// established call, CANCEL for our INVITE after a provisional response, and 486 for an incoming
// call not answered. No listener method runs for that ending.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tapi32/provider.h"
#include "tapi32/sip/media.h"

struct sip;
struct sip_msg;
struct sipsess;
struct sipsess_sock;
struct sipevent_sock;
struct sipsub;
struct mbuf;
struct sipevent_substate;

namespace tapi32::sip {

// What the far end did, on the loop thread.
class CallListener {
 public:
  virtual ~CallListener() = default;
  // A provisional response to our INVITE (100, 180, 183, ...).
  virtual void OnProgress(DWORD callId, uint16_t scode) = 0;
  // Our INVITE was answered, or the ACK to our answer arrived.
  virtual void OnEstablished(DWORD callId) = 0;
  // The peer's offer (re-INVITE) put the call on hold or took it off hold.
  virtual void OnPeerHold(DWORD callId, bool holds) = 0;
  // The session ended from the far end or the network: `scode` is the final response to our
  // INVITE (0 when none), `err` libre's error (ECONNRESET: BYE or CANCEL from the peer;
  // ETIMEDOUT: no answer at all), `established` whether the call had been connected.
  virtual void OnClosed(DWORD callId, int err, uint16_t scode, bool established) = 0;
  // A telephone event started or ended.
  virtual void OnDigit(DWORD callId, char digit, bool end) = 0;
  // A blind transfer ended: the transfer target answered (true) or the transfer failed.
  virtual void OnTransferDone(DWORD callId, bool succeeded) = 0;
};

// What a SIP call needs of its account's stack.
struct CallStack {
  struct ::sip* sip = nullptr;
  sipsess_sock* sessions = nullptr;
  sipevent_sock* events = nullptr;
  const void* credentials = nullptr;  // the account, for the digest authentication handler
  std::string fromName;               // escaped display name for our From header
  std::string fromUri;                // the address of record
  std::string contactUser;
  std::string outboundProxy;  // empty: none
};

// The Telephony API's state and mode for a call whose INVITE got a final failure response.
struct FailedCallState {
  DWORD state = LINECALLSTATE_DISCONNECTED;
  DWORD mode = LINEDISCONNECTMODE_UNAVAIL;
};
FailedCallState StateForFailure(int err, uint16_t scode);

// The status code of the sipfrag a NOTIFY about a REFER carries ("SIP/2.0 200 OK"), 0 when the
// body is not one.
uint16_t SipfragStatus(const std::string& body);

// The libre authentication handler for an account's credentials (arg: const SipAccount*).
int AccountCredentials(char** user, char** password, const char* realm, void* arg);

class SipCall {
 public:
  // An incoming INVITE, inside libre's connection handler: sends 180 Ringing. Throws
  // std::runtime_error when the session cannot be made (media, or libre).
  SipCall(DWORD callId, const CallStack& stack, const sip_msg& invite, MediaConfig media,
          CallListener& listener);
  // An outgoing call to `uri`: sends the INVITE with our offer. Throws std::runtime_error.
  SipCall(DWORD callId, const CallStack& stack, const std::string& uri, MediaConfig media,
          CallListener& listener);
  ~SipCall();
  SipCall(const SipCall&) = delete;
  SipCall& operator=(const SipCall&) = delete;

  // Answers an incoming call with 200 and our SDP answer; false when no codec is common (the
  // call is then rejected with 488).
  bool Answer();
  // Rejects an incoming call that was not answered (302 with Contact, 486, 603, ...).
  void Reject(uint16_t scode, const char* reason, const std::string& contact = {});
  // re-INVITE with sendonly (hold) or sendrecv.
  void Hold(bool hold);
  // REFER within the dialog; the outcome comes with OnTransferDone.
  void Transfer(const std::string& target);
  // Telephone events, one after the other, each lasting durationMs.
  void SendDigits(const std::string& digits, uint32_t durationMs);
  uint64_t PacketsReceived() const { return media_->PacketsReceived(); }

 private:
  static int OnOffer(::mbuf** descp, const sip_msg* msg, void* arg);
  static int OnAnswer(const sip_msg* msg, void* arg);
  static void OnProgress(const sip_msg* msg, void* arg);
  static void OnEstablished(const sip_msg* msg, void* arg);
  static void OnClose(int err, const sip_msg* msg, void* arg);
  static void OnNotify(struct ::sip* sip, const sip_msg* msg, void* arg);
  static void OnReferClosed(int err, const sip_msg* msg, const ::sipevent_substate* substate,
                            void* arg);
  void MakeMedia(MediaConfig media);
  void FinishTransfer(bool succeeded);

  DWORD callId_;
  CallStack stack_;
  CallListener& listener_;
  std::unique_ptr<MediaSession> media_;
  sipsess* session_ = nullptr;
  sipsub* refer_ = nullptr;
  bool transferring_ = false;
  bool established_ = false;
  std::string peerOffer_;  // the INVITE's offer, answered by Answer()
};

}  // namespace tapi32::sip
