// The runtime serving the SIP lines and the switch as one set of providers: a small fake stands
// in for the SIP provider, the telephony file says what runs.
#include "tapi32/provider_set.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "tapi32/installed_providers.h"
#include "tapi32/server.h"
#include "tapi32/sip/sip_provider.h"
#include "tapi32/telephony_config.h"
#include "tapi32_fixture.h"

namespace tapi32_test {
namespace {

namespace fs = std::filesystem;
using tapi32::CallData;
using tapi32::Server;
using ::testing::HasSubstr;

// One line per account and the calls offered on them; it records what it is asked to do.
class FakeSip final : public tapi32::Provider {
 public:
  class FakeLine final : public tapi32::LineDevice {
   public:
    explicit FakeLine(std::u16string name) : name_(std::move(name)) {}
    bool Removed() const override { return false; }
    tapi32::VersionRange ApiVersions() const override { return {0x00010004, 0x00020002}; }
    tapi32::VersionRange ExtVersions() const override { return {}; }
    LINEEXTENSIONID ExtensionId() const override { return {}; }
    tapi32::LineCaps Caps() const override {
      tapi32::LineCaps caps;
      caps.lineName = name_;
      caps.providerInfo = u"fake SIP";
      caps.fixed.dwNumAddresses = 1;
      caps.fixed.dwMediaModes = LINEMEDIAMODE_INTERACTIVEVOICE;
      caps.fixed.dwBearerModes = LINEBEARERMODE_VOICE;
      caps.fixed.dwAddressModes = LINEADDRESSMODE_ADDRESSID;
      caps.fixed.dwMaxNumActiveCalls = 1;
      caps.deviceClasses = {u"tapi/line"};
      return caps;
    }
    LONG OpenResult(DWORD, DWORD) const override { return 0; }
    tapi32::AddressCaps AddressCapsOf(DWORD) const override { return {}; }
    LINEADDRESSSTATUS AddressStatusOf(DWORD) const override { return {}; }
    LINEDEVSTATUS Status() const override { return {}; }
    HICON Icon() const override { return 0; }
    std::vector<DWORD> LiveCalls() const override { return {}; }

   private:
    std::u16string name_;
  };

  explicit FakeSip(const std::vector<tapi32::sip::SipAccount>& accounts) {
    for (const auto& account : accounts)
      lines_.push_back(std::make_unique<FakeLine>(
          std::u16string(account.displayName.begin(), account.displayName.end())));
  }

  // A call from outside rings on a line; returns its ID.
  DWORD Offer(DWORD deviceId) {
    std::lock_guard lock(Server::Instance().Mutex());
    const DWORD callId = tapi32::sip::kFirstCallId + static_cast<DWORD>(calls_.size());
    CallData& call = calls_[callId];
    call.deviceId = deviceId;
    call.callId = callId;
    call.callStates = 0xFFFF;
    call.state = LINECALLSTATE_OFFERING;
    call.stateMode = LINEOFFERINGMODE_ACTIVE;
    call.origin = LINECALLORIGIN_EXTERNAL;
    Server::Instance().CallCreated(callId, 0, tapi32::MakerLearns::FromRequest);
    Server::Instance().CallStateChanged(callId);
    return callId;
  }

  std::vector<std::pair<tapi32::CallOp, DWORD>> performed;  // operation, call
  std::vector<DWORD> dropped;

  bool Prepare(std::string&) override { return true; }
  DWORD NumLines() const override { return static_cast<DWORD>(lines_.size()); }
  const tapi32::LineDevice& Line(DWORD deviceId) const override { return *lines_.at(deviceId); }
  DWORD NumPhones() const override { return 0; }
  const tapi32::PhoneDevice& Phone(DWORD) const override { throw std::out_of_range("none"); }
  const CallData* FindCall(DWORD callId) const override {
    auto it = calls_.find(callId);
    return it == calls_.end() ? nullptr : &it->second;
  }
  void DropCall(DWORD callId) override {
    dropped.push_back(callId);
    Move(callId, LINECALLSTATE_IDLE);
  }
  void LastOwnerGone(DWORD) override {}
  void CallReleased(DWORD) override {}
  LONG CheckCallOp(const tapi32::CallRequest& request) const override {
    const CallData* call = FindCall(request.callId);
    return request.op == tapi32::CallOp::Answer && call != nullptr &&
                   call->state == LINECALLSTATE_OFFERING
               ? 0
               : tapi32::Err(LINEERR_OPERATIONUNAVAIL);
  }
  tapi32::CallFeatureSet CallFeatures(DWORD) const override { return {}; }
  tapi32::CallOutcome PerformCallOp(const tapi32::CallRequest& request, HLINE) override {
    performed.emplace_back(request.op, request.callId);
    Move(request.callId, LINECALLSTATE_CONNECTED);
    return {};
  }
  std::function<void()> PerformPartialCallOp(const tapi32::CallRequest&, HLINE) override {
    return {};
  }
  std::vector<DWORD> ConferenceOf(DWORD) const override { return {}; }
  std::optional<std::vector<uint8_t>> PerformPhoneOp(const tapi32::PhoneRequest&) override {
    return std::nullopt;
  }
  void Schedule(uint32_t, std::function<void()>) override {}

 private:
  void Move(DWORD callId, DWORD state) {
    calls_.at(callId).state = state;
    Server::Instance().CallStateChanged(callId);
  }

  std::vector<std::unique_ptr<FakeLine>> lines_;
  std::unordered_map<DWORD, CallData> calls_;
};

// What the switch offers in these tests: two lines and a phone, no traffic.
constexpr const char* kSwitchFile =
    "[line]\nname = Alpha\n[line]\nname = Beta\n[phone]\nname = Desk\n";

class ProviderSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("provider-set-test-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(folder_);
    environment_.emplace({tapi32::kTelephonyVariable, tapi32::sim::kConfigVariable});
    ::unsetenv(tapi32::sim::kConfigVariable);
    ::setenv(tapi32::kTelephonyVariable, (folder_ / "telephony.ini").c_str(), 1);
    Write("switch.ini", kSwitchFile);
    set_ = std::make_unique<tapi32::ProviderSet>(
        Switch(), [this](std::vector<tapi32::sip::SipAccount> accounts) {
          auto fake = std::make_unique<FakeSip>(accounts);
          sip_ = fake.get();
          return fake;
        });
    Switch().Unconfigure();
    Server::Instance().SetProvider(set_.get());
  }

  void TearDown() override {
    for (HLINEAPP app : Switch().LineApps())
      lineShutdown(app);
    for (HPHONEAPP app : Switch().PhoneApps())
      phoneShutdown(app);
    set_->Reload();
    Server::Instance().SetProvider(&tapi32::InstalledProviders());
    environment_.reset();
    fs::remove_all(folder_);
  }

  static tapi32::sim::Switch& Switch() { return tapi32::sim::Switch::Instance(); }

  std::string Write(const std::string& name, const std::string& text) {
    const fs::path path = folder_ / name;
    std::ofstream(path) << text;
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    return path.string();
  }

  // Reads the telephony file again at the next initialisation.
  void Reload() {
    for (HLINEAPP app : Switch().LineApps())
      lineShutdown(app);
    for (HPHONEAPP app : Switch().PhoneApps())
      phoneShutdown(app);
    sip_ = nullptr;
    set_->Reload();
  }

  static std::u16string LineName(HLINEAPP app, DWORD deviceId, DWORD* reportedId = nullptr) {
    DWORD version = 0;
    LINEEXTENSIONID extension{};
    std::vector<uint8_t> buffer(2048);
    auto* caps = reinterpret_cast<LINEDEVCAPS*>(buffer.data());
    caps->dwTotalSize = static_cast<DWORD>(buffer.size());
    if (lineNegotiateAPIVersion(app, deviceId, 0x00010004, 0x00020000, &version, &extension) != 0 ||
        lineGetDevCapsW(app, deviceId, version, 0, caps) != 0) {
      return u"(no caps)";
    }
    if (reportedId != nullptr) {
      LINEADDRESSCAPS address{};
      address.dwTotalSize = sizeof address;
      *reportedId = lineGetAddressCapsW(app, deviceId, 0, version, 0, &address) == 0
                        ? address.dwLineDeviceID
                        : 0xFFFFFFFF;
    }
    const auto* text = reinterpret_cast<const char16_t*>(buffer.data() + caps->dwLineNameOffset);
    return std::u16string(text, caps->dwLineNameSize / 2 - 1);
  }

  static std::vector<LINEMESSAGE> Drain(HLINEAPP app) {
    std::vector<LINEMESSAGE> out;
    LINEMESSAGE message{};
    while (lineGetMessage(app, &message, 0) == 0)
      out.push_back(message);
    return out;
  }

  // The handle the open was given with LINE_APPNEWCALL, 0 if none came.
  static HCALL NewCallHandle(HLINEAPP app, HLINE line) {
    for (const LINEMESSAGE& m : Drain(app)) {
      if (m.dwMessageID == LINE_APPNEWCALL && m.hDevice == line) return m.dwParam2;
    }
    return 0;
  }

  static DWORD CallState(HCALL call) {
    LINECALLSTATUS status{};
    status.dwTotalSize = sizeof status;
    return lineGetCallStatus(call, &status) == 0 ? status.dwCallState : 0;
  }

  fs::path folder_;
  std::optional<tapi32_test::SavedEnvironment> environment_;
  std::unique_ptr<tapi32::ProviderSet> set_;
  FakeSip* sip_ = nullptr;
};

TEST_F(ProviderSetTest, TheSipLinesComeFirstAndTheSwitchLinesFollow) {
  const std::string path = Write("telephony.ini",
                                 "[switch]\nfile = switch.ini\n"
                                 "[sip]\nname = Reception\naor = sip:r@example.org\n"
                                 "[sip]\nname = Broken\naor = example.org\n"
                                 "[sip]\nname = Sales\naor = sip:s@example.org\n");
  ::testing::internal::CaptureStderr();
  const LineInit init = InitLine();
  const std::string errors = ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(init.result, 0);
  EXPECT_THAT(errors, HasSubstr(path + ":8: 'example.org' is not a SIP URI"));
  EXPECT_THAT(errors, HasSubstr("the account is left out"));
  ASSERT_NE(sip_, nullptr);
  EXPECT_EQ(init.numDevs, 4u);
  EXPECT_EQ(InitPhone().numDevs, 1u);

  DWORD reported = 0;
  EXPECT_EQ(LineName(init.app, 0), u"Reception");
  EXPECT_EQ(LineName(init.app, 1), u"Sales");
  EXPECT_EQ(LineName(init.app, 2, &reported), u"Alpha");
  EXPECT_EQ(reported, 2u);
  EXPECT_EQ(LineName(init.app, 3, &reported), u"Beta");
  EXPECT_EQ(reported, 3u);
  EXPECT_EQ(set_->LineProvider(1), sip_);
  EXPECT_EQ(set_->LineProvider(2), &Switch());
  EXPECT_EQ(set_->LineProvider(4), nullptr);
  EXPECT_EQ(set_->PhoneProvider(0), &Switch());
  // The switch's own view of its lines uses the same IDs.
  EXPECT_EQ(Switch().LineConfigOf(3).name, "Beta");
  EXPECT_THROW(Switch().LineConfigOf(1), std::out_of_range);
}

TEST_F(ProviderSetTest, CallsReachTheProviderThatHasThem) {
  Write("telephony.ini",
        "[switch]\nfile = switch.ini\n"
        "[sip]\nname = Reception\naor = sip:r@example.org\n"
        "[sip]\nname = Sales\naor = sip:s@example.org\n");
  const LineInit init = InitLine();
  ASSERT_EQ(init.result, 0);
  const HLINE sipLine =
      OpenLine(init.app, 1, LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_INTERACTIVEVOICE);
  const HLINE simLine =
      OpenLine(init.app, 2, LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_INTERACTIVEVOICE);
  ASSERT_NE(sipLine, 0u);
  ASSERT_NE(simLine, 0u);
  Drain(init.app);

  const DWORD sipCall = sip_->Offer(1);
  const HCALL sipHandle = NewCallHandle(init.app, sipLine);
  ASSERT_NE(sipHandle, 0u);
  EXPECT_EQ(CallState(sipHandle), LINECALLSTATE_OFFERING);
  EXPECT_GT(lineAnswer(sipHandle, nullptr, 0), 0);
  EXPECT_EQ(CallState(sipHandle), LINECALLSTATE_CONNECTED);
  ASSERT_EQ(sip_->performed.size(), 1u);
  EXPECT_EQ(sip_->performed[0].first, tapi32::CallOp::Answer);
  EXPECT_EQ(sip_->performed[0].second, sipCall);

  const uint32_t simCall = Switch().OfferCall(2, 0, {});
  EXPECT_LT(simCall, tapi32::sip::kFirstCallId);
  const HCALL simHandle = NewCallHandle(init.app, simLine);
  ASSERT_NE(simHandle, 0u);
  EXPECT_GT(lineAnswer(simHandle, nullptr, 0), 0);
  EXPECT_EQ(Switch().CallSnapshot(simCall).state, LINECALLSTATE_CONNECTED);
  EXPECT_EQ(CallState(simHandle), LINECALLSTATE_CONNECTED);
  EXPECT_EQ(sip_->performed.size(), 1u);

  EXPECT_GT(lineDrop(sipHandle, nullptr, 0), 0);
  EXPECT_EQ(sip_->dropped, std::vector<DWORD>{sipCall});
  EXPECT_EQ(CallState(sipHandle), LINECALLSTATE_IDLE);
  EXPECT_EQ(Switch().CallSnapshot(simCall).state, LINECALLSTATE_CONNECTED);
  EXPECT_GT(lineDrop(simHandle, nullptr, 0), 0);
  EXPECT_EQ(sip_->dropped.size(), 1u);
  EXPECT_EQ(CallState(simHandle), LINECALLSTATE_IDLE);
}

TEST_F(ProviderSetTest, ALineTheSwitchAddsTakesTheNextId) {
  Write("telephony.ini",
        "[switch]\nfile = switch.ini\n"
        "[sip]\nname = Reception\naor = sip:r@example.org\n");
  const LineInit init = InitLine();
  ASSERT_EQ(init.result, 0);
  ASSERT_EQ(init.numDevs, 3u);
  Drain(init.app);

  EXPECT_EQ(Switch().AddLine(Line("Gamma", 0x301)), 3u);
  const std::vector<LINEMESSAGE> created = Drain(init.app);
  ASSERT_EQ(created.size(), 1u);
  EXPECT_EQ(created[0].dwMessageID, static_cast<DWORD>(LINE_CREATE));
  EXPECT_EQ(created[0].dwParam1, 3u);
  EXPECT_EQ(LineName(init.app, 3), u"Gamma");

  const HLINE line = OpenLine(init.app, 3, LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_INTERACTIVEVOICE);
  ASSERT_NE(line, 0u);
  Drain(init.app);
  const uint32_t call = Switch().OfferCall(3, 0, {});
  const HCALL handle = NewCallHandle(init.app, line);
  ASSERT_NE(handle, 0u);
  EXPECT_GT(lineAnswer(handle, nullptr, 0), 0);
  EXPECT_EQ(Switch().CallSnapshot(call).state, LINECALLSTATE_CONNECTED);
  EXPECT_EQ(Switch().CallsOnLine(3), std::vector<uint32_t>{call});

  Switch().RemoveLine(3);
  DWORD version = 0;
  LINEEXTENSIONID extension{};
  EXPECT_EQ(lineNegotiateAPIVersion(init.app, 3, 0x00010004, 0x00020002, &version, &extension),
            Code(LINEERR_NODEVICE));
  EXPECT_EQ(LineName(init.app, 2), u"Beta");

  // Reloading gives the switch back its own numbering, for whoever drives it next.
  Reload();
  EXPECT_EQ(Switch().LineBase(), 0u);
}

TEST_F(ProviderSetTest, TheFileDecidesWhichProvidersRun) {
  // No file: the switch alone, from ZVTAPI_SIM_CONFIG.
  ::setenv(tapi32::sim::kConfigVariable, (folder_ / "switch.ini").c_str(), 1);
  LineInit init = InitLine();
  EXPECT_EQ(init.numDevs, 2u);
  EXPECT_EQ(sip_, nullptr);
  EXPECT_EQ(LineName(init.app, 0), u"Alpha");

  // The variable wins over the switch section's file.
  Reload();
  Write("other.ini", "[line]\nname = Other\n");
  ::setenv(tapi32::sim::kConfigVariable, (folder_ / "other.ini").c_str(), 1);
  Write("telephony.ini", "[switch]\nfile = switch.ini\n");
  init = InitLine();
  EXPECT_EQ(init.numDevs, 1u);
  EXPECT_EQ(LineName(init.app, 0), u"Other");
  ::unsetenv(tapi32::sim::kConfigVariable);

  // Accounts without a switch section: no switch, and no phones.
  Reload();
  Write("telephony.ini", "[sip]\nname = A\naor = sip:a@h\n[sip]\nname = B\naor = sip:b@h\n");
  init = InitLine();
  EXPECT_EQ(init.numDevs, 2u);
  EXPECT_NE(sip_, nullptr);
  EXPECT_EQ(InitPhone().numDevs, 0u);
  EXPECT_EQ(set_->LineProvider(1), sip_);

  // Neither: no devices at all.
  Reload();
  Write("telephony.ini", "# nothing yet\n");
  init = InitLine();
  EXPECT_EQ(init.result, 0);
  EXPECT_EQ(init.numDevs, 0u);
  EXPECT_EQ(InitPhone().numDevs, 0u);
}

TEST_F(ProviderSetTest, ARefusedFileFailsInitialisationUntilItIsMended) {
  const std::string path = Write("telephony.ini", "[sip]\nname = A\n[lines]\n");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(InitLine().result, Code(LINEERR_INIFILECORRUPT));
  EXPECT_EQ(InitPhone().result, Code(PHONEERR_INIFILECORRUPT));
  const std::string errors = ::testing::internal::GetCapturedStderr();
  const std::string problem = path + ":3: unknown section [lines]";
  ASSERT_THAT(errors, HasSubstr(problem));
  // Told once, however often the application tries.
  EXPECT_EQ(errors.find(problem), errors.rfind(problem));

  // A password others may read refuses the file just as well.
  Write("telephony.ini",
        "[switch]\nfile = switch.ini\n[sip]\nname = A\naor = sip:a@h\npassword = x\n");
  fs::permissions(path, fs::perms::group_read | fs::perms::others_read, fs::perm_options::add);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(InitLine().result, Code(LINEERR_INIFILECORRUPT));
  EXPECT_THAT(::testing::internal::GetCapturedStderr(), HasSubstr("chmod 600 " + path));

  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
  const LineInit init = InitLine();
  EXPECT_EQ(init.result, 0);
  EXPECT_EQ(init.numDevs, 3u);
}

// Without a telephony file the program's own providers are the switch, from line 0.
TEST(InstalledProvidersTest, TheRuntimeServesTheSetOfProviders) {
  EXPECT_EQ(Server::Instance().CurrentProvider(), &tapi32::InstalledProviders());
  tapi32::sim::Config config;
  config.lines = {Line("Alpha", 0x101)};
  tapi32::sim::Switch::Instance().Reset(config);
  const LineInit init = InitLine();
  ASSERT_EQ(init.result, 0);
  EXPECT_EQ(init.numDevs, 1u);
  EXPECT_TRUE(tapi32::SwitchServesLine(0));
  EXPECT_FALSE(tapi32::SwitchServesLine(1));
  lineShutdown(init.app);
}

}  // namespace
}  // namespace tapi32_test
