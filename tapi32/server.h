// The TAPI runtime behind the C entry points: the initialised line and phone applications with
// their message queues and event handles, version negotiation, capability structures, assisted
// telephony requests, and the one provider that supplies the devices. All of it is guarded by
// one re-entrant mutex, Mutex(); providers and the simulated switch take the same lock.
//
// Messages: each application owns a FIFO of LINEMESSAGE / PHONEMESSAGE and a manual-reset event
// (created at initialisation) that is signalled exactly while the queue holds messages. Posting
// queues the message first and then signals the event.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tapi32/faults.h"
#include "tapi32/message_queue.h"
#include "tapi32/provider.h"
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

  // ProviderSink
  void LineCreated(DWORD deviceId) override;
  void LineRemoved(DWORD deviceId) override;
  void LineCapsChanged(DWORD deviceId) override;
  void PhoneCreated(DWORD deviceId) override;
  void PhoneRemoved(DWORD deviceId) override;
  void PhoneCapsChanged(DWORD deviceId) override;
  void Reinit() override;

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
  };

  struct PhoneApp {
    HPHONEAPP handle = 0;
    HANDLE event = 0;
    std::u16string name;
    DWORD apiVersion = 0;
    MessageQueue<PHONEMESSAGE> queue;
    Negotiations negotiated;
  };

  Server() = default;

  uint32_t NewHandle();
  LineApp* FindLine(HLINEAPP handle);
  PhoneApp* FindPhone(HPHONEAPP handle);
  // Asks the provider to get ready; on failure the message goes to stderr once.
  bool PrepareProvider();
  void Post(LineApp& app, const LINEMESSAGE& message);
  void Post(PhoneApp& app, const PHONEMESSAGE& message);

  mutable std::recursive_mutex mutex_;
  FaultTable faults_;
  Provider* provider_ = nullptr;
  std::map<HLINEAPP, std::unique_ptr<LineApp>> lineApps_;
  std::map<HPHONEAPP, std::unique_ptr<PhoneApp>> phoneApps_;
  uint32_t lastHandle_ = 0;
  std::string lastReportedError_;
};

}  // namespace tapi32

// First statement of every C entry point: counts the call and returns an injected fault.
#define TAPI32_ENTER(name)                                                                       \
  if (auto injected = ::tapi32::Server::Instance().Faults().Enter(::tapi32::EntryPoint::name)) { \
    return *injected;                                                                            \
  }
