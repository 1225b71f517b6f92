// Feeds arbitrary datagrams to the SIP provider: one account listening on loopback, an
// application that owns its line and hangs up whatever it is offered. Whatever arrives, the
// provider must not crash, hang or read outside the datagram.
//
// Each input goes out as one UDP datagram to the account's port. To know that the provider's
// loop has handled it before the next one, an OPTIONS with a fresh Call-ID follows it on the
// same socket: the loop reads its socket in order, and it answers every request (libre replies
// 501 to one that nobody handles), so the OPTIONS' answer comes only after the input was dealt
// with. The provider is used through its socket alone, as a peer would. Like any peer on UDP it
// sends the OPTIONS again until it hears the answer: under a stream of inputs the provider's
// retransmitted responses can fill this socket's buffer, and the kernel then drops the answer.
//
// Replies go where the datagram's Via says: run the fuzzer in a network namespace of its own
// (`unshare --net`), as .ci/run does, so that no mutated address reaches another host.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tapi32/server.h"
#include "tapi32/sip/sip_provider.h"
#include "tapi32/tapi.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "fuzz_sip: %s\n", what);
    __builtin_trap();
  }
}

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

// The provider with its account, an application owning its line, and the peer's socket.
struct Harness {
  Harness() {
    peer = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof(address);
    Check(bind(peer, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
              getsockname(peer, reinterpret_cast<sockaddr*>(&address), &length) == 0,
          "no loopback socket");
    peerPort = ntohs(address.sin_port);
    // The account's port: one the kernel just handed out, free again once probed.
    const int probe = socket(AF_INET, SOCK_DGRAM, 0);
    address = Loopback(0);
    bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    close(probe);
    providerPort = ntohs(address.sin_port);

    tapi32::sip::SipAccount account;
    account.origin = "fuzz";
    account.displayName = "Fuzz";
    account.aor = "sip:fuzz@127.0.0.1:" + std::to_string(providerPort);
    account.localAddress = "127.0.0.1:" + std::to_string(providerPort);
    account.audio.kind = tapi32::sip::AudioConfig::Kind::None;
    provider =
        std::make_unique<tapi32::sip::SipProvider>(std::vector<tapi32::sip::SipAccount>{account});
    tapi32::Server::Instance().SetProvider(provider.get());

    LINEINITIALIZEEXPARAMS params{};
    params.dwTotalSize = sizeof(params);
    params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
    DWORD devices = 0;
    DWORD version = 0x00020002;
    Check(lineInitializeExW(&app, 0, nullptr, u"fuzz", &devices, &version, &params) == 0 &&
              devices == 1,
          "the provider offers no line");
    DWORD negotiated = 0;
    LINEEXTENSIONID extension{};
    Check(lineNegotiateAPIVersion(app, 0, 0x00010004, 0x00020002, &negotiated, &extension) == 0 &&
              lineOpenW(app, 0, &line, negotiated, 0, 0, LINECALLPRIVILEGE_OWNER,
                        LINEMEDIAMODE_INTERACTIVEVOICE, nullptr) == 0,
          "cannot open the line");
  }

  void Send(const uint8_t* data, size_t size) {
    const sockaddr_in to = Loopback(providerPort);
    sendto(peer, data, size, 0, reinterpret_cast<const sockaddr*>(&to), sizeof(to));
  }

  // Sends the OPTIONS that marks the end of an input and waits for its answer, sending it again
  // every T1 (500 ms) until the answer comes or 30 s have passed; the answers to the input
  // itself are read and dropped on the way.
  void Sync() {
    const std::string callId = "fuzz-sync-" + std::to_string(++syncs);
    const std::string options =
        "OPTIONS sip:fuzz@127.0.0.1:" + std::to_string(providerPort) +
        " SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:" + std::to_string(peerPort) +
        ";rport;branch=z9hG4bK" + callId + "\r\nFrom: <sip:sync@127.0.0.1>;tag=" + callId +
        "\r\nTo: <sip:fuzz@127.0.0.1>\r\nCall-ID: " + callId +
        "\r\nCSeq: 1 OPTIONS\r\nMax-Forwards: 70\r\nContent-Length: 0\r\n\r\n";
    std::vector<char> buffer(65536);
    constexpr int kRetransmitMs = 500;
    constexpr int kGiveUpMs = 30000;
    for (int waited = 0;; waited += kRetransmitMs) {
      Check(waited < kGiveUpMs, "the provider stopped answering");
      Send(reinterpret_cast<const uint8_t*>(options.data()), options.size());
      if (AnswerArrives(callId, buffer, kRetransmitMs)) return;
    }
  }

  // Reads datagrams for up to timeoutMs; true once one of them mentions callId.
  bool AnswerArrives(const std::string& callId, std::vector<char>& buffer, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd ready{peer, POLLIN, 0};
      if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) != 1) return false;
      const ssize_t size = recv(peer, buffer.data(), buffer.size(), 0);
      if (size > 0 && std::string_view(buffer.data(), size).find(callId) != std::string::npos) {
        return true;
      }
    }
  }

  // Hangs up what was offered and lets go of what is idle, as an application would, so that
  // calls do not pile up over a run.
  void Drain() {
    LINEMESSAGE message{};
    while (lineGetMessage(app, &message, 0) == 0) {
      const auto call = static_cast<HCALL>(message.hDevice);
      if (message.dwMessageID != LINE_CALLSTATE) continue;
      if (message.dwParam1 == LINECALLSTATE_OFFERING) lineDrop(call, nullptr, 0);
      if (message.dwParam1 == LINECALLSTATE_IDLE) lineDeallocateCall(call);
    }
  }

  int peer = -1;
  uint16_t peerPort = 0;
  uint16_t providerPort = 0;
  std::unique_ptr<tapi32::sip::SipProvider> provider;
  HLINEAPP app = 0;
  HLINE line = 0;
  uint64_t syncs = 0;
};

// The provider lives for the whole run: libFuzzer may end the process at any point.
Harness* harness = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  harness = new Harness;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A UDP datagram holds no more; the kernel refuses larger ones before the provider sees them.
  if (size > 65507) return -1;
  harness->Send(data, size);
  harness->Sync();
  harness->Drain();
  return 0;
}
