// Reading the telephony configuration: where the file is, what a whole-file problem and a bad
// account each do, and the rule that a file holding passwords is private.
#include "tapi32/telephony_config.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tapi32_fixture.h"

namespace tapi32_test {
namespace {

namespace fs = std::filesystem;
using tapi32::ParseTelephonyConfig;
using tapi32::TelephonyConfigError;
using tapi32::sip::AudioConfig;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// The problem a whole-file error reports, or "" when the text is accepted.
std::string FileProblem(const std::string& text) {
  try {
    ParseTelephonyConfig(text, "f");
  } catch (const TelephonyConfigError& e) {
    return e.what();
  }
  return {};
}

TEST(TelephonyConfigTest, ProblemsWithTheWholeFileNameFileAndLine) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"[sip]\nname = A\n[phones]\n", "f:3: unknown section [phones]"},
      {"# comment\nname = A\n", "f:2: 'name' stands before any [switch] or [sip]"},
      {"[sip]\nname A\n", "f:2: expected 'key = value' or a [section]"},
      {"[sip\n", "f:1: a section header must end with ']'"},
      {"[sip]\n = x\n", "f:2: a key is missing before '='"},
      {"[switch]\n[sip]\n[switch]\n", "f:3: a second [switch] section"},
      {"[switch]\nport = 3\n", "f:2: unknown key 'port' in [switch]"},
      {"[switch]\ndemo = yes\nfile = s.ini\n", "f:1: [switch] says both demo = yes and file"},
      {"[switch]\ndemo = no\n", "f:1: [switch] says demo = no but names no file"},
      {"[switch]\ndemo = maybe\n", "f:2: demo takes yes or no"},
      {"[switch]\nfile =\n", "f:2: file names no file"},
      {"[switch]\ndemo = yes\nDEMO = yes\n", "f:3: 'demo' is given twice in [switch]"},
  };
  for (const auto& [text, problem] : cases) {
    EXPECT_THAT(FileProblem(text), StartsWith(problem)) << text;
  }
}

TEST(TelephonyConfigTest, TheSwitchSectionChoosesTheSwitch) {
  EXPECT_FALSE(ParseTelephonyConfig("", "/etc/t.ini").simSwitch.has_value());
  EXPECT_FALSE(ParseTelephonyConfig("[sip]\n", "/etc/t.ini").simSwitch.has_value());
  for (const char* demo : {"[switch]\n", "[Switch]\ndemo = yes\n", "[switch]\nDemo = YES\n"}) {
    const auto config = ParseTelephonyConfig(demo, "/etc/t.ini");
    ASSERT_TRUE(config.simSwitch.has_value()) << demo;
    EXPECT_EQ(config.simSwitch->file, "") << demo;
  }
  // A relative file lies beside the telephony file; an absolute one stays.
  EXPECT_EQ(
      ParseTelephonyConfig("[switch]\nfile = sim/office.ini\n", "/etc/rw/t.ini").simSwitch->file,
      "/etc/rw/sim/office.ini");
  EXPECT_EQ(ParseTelephonyConfig("[switch]\ndemo = no\nfile = /srv/office.ini\n", "/etc/t.ini")
                .simSwitch->file,
            "/srv/office.ini");
  // Without a file the switch runs alone, as the demo.
  const auto none = tapi32::DefaultTelephonyConfig();
  ASSERT_TRUE(none.simSwitch.has_value());
  EXPECT_EQ(none.simSwitch->file, "");
  EXPECT_TRUE(none.accounts.empty());
}

TEST(TelephonyConfigTest, EveryKeyOfAnAccountReachesIt) {
  const auto config = ParseTelephonyConfig(
      "; the front desk\n"
      "[sip]\n"
      "Name = Reception\n"
      "aor = sip:alice@example.org\n"
      "registrar = sips:pbx.example.org:5061\n"
      "outbound_proxy = sip:[2001:db8::1]:5070;lr\n"
      "auth_user = alice-auth\n"
      "password = s3cret = yes\n"
      "transport = TCP\n"
      "local_address = [::]:5080\n"
      "rtp_ports = 20000 - 20099\n"
      "codecs = pcma, PCMU\n"
      "register_expires = 300\n"
      "audio = Files\n"
      "audio_source = tone.wav\n"
      "audio_sink = /var/rec\n"
      "wave_in = 1\n"
      "wave_out = 2\n",
      "/home/u/.config/ringwatch/telephony.ini");
  ASSERT_TRUE(config.skipped.empty()) << config.skipped.front();
  ASSERT_EQ(config.accounts.size(), 1u);
  const auto& a = config.accounts.front();
  EXPECT_EQ(a.origin, "/home/u/.config/ringwatch/telephony.ini:2");
  EXPECT_EQ(a.displayName, "Reception");
  EXPECT_EQ(a.aor, "sip:alice@example.org");
  EXPECT_EQ(a.registrar, "sips:pbx.example.org:5061");
  EXPECT_EQ(a.outboundProxy, "sip:[2001:db8::1]:5070;lr");
  EXPECT_EQ(a.authUser, "alice-auth");
  EXPECT_EQ(a.password, "s3cret = yes");
  EXPECT_EQ(a.transport, "tcp");
  EXPECT_EQ(a.localAddress, "[::]:5080");
  EXPECT_EQ(a.rtpPortMin, 20000);
  EXPECT_EQ(a.rtpPortMax, 20099);
  EXPECT_EQ(a.codecs, (std::vector<std::string>{"PCMA", "PCMU"}));
  EXPECT_EQ(a.registerExpiresS, 300u);
  EXPECT_EQ(a.audio.kind, AudioConfig::Kind::Files);
  EXPECT_EQ(a.audio.source, "/home/u/.config/ringwatch/tone.wav");
  EXPECT_EQ(a.audio.sink, "/var/rec");
  EXPECT_EQ(a.waveIn, 1u);
  EXPECT_EQ(a.waveOut, 2u);
  EXPECT_EQ(config.firstPasswordLine, 8);

  // Sound device names are not paths.
  const auto pulse = ParseTelephonyConfig(
      "[sip]\nname = B\naor = sip:b@h\naudio = pulse\naudio_source = mic.monitor\n", "/x/t.ini");
  EXPECT_EQ(pulse.accounts.at(0).audio.source, "mic.monitor");
}

TEST(TelephonyConfigTest, ABadAccountIsLeftOutAndTheOthersStay) {
  // Each bad account stands between two good ones; its problem names the line at fault.
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"name = X\naor = alice@example.org\n", ":7: 'alice@example.org' is not a SIP URI"},
      {"name = X\naor = sip:example.org\n", ":7: 'sip:example.org' names no user"},
      {"name = X\naor = sip:a@b\nregistrar = sip:pbx:99999\n", ":8: 'sip:pbx:99999' has no valid"},
      {"name = X\naor = sip:a@b\noutbound_proxy = sip:\n", ":8: 'sip:' has no valid host"},
      {"name = X\naor = sip:a@b\ntransport = sctp\n", ":8: unknown transport 'sctp'"},
      {"name = X\naor = sip:a@b\nlocal_address = 10.0.0.1\n", ":8: '10.0.0.1' is not an address"},
      {"name = X\naor = sip:a@b\nlocal_address = 10.0.0.300:5060\n", ":8: '10.0.0.300:5060'"},
      {"name = X\naor = sip:a@b\nlocal_address = ::1:5060\n", ":8: '::1:5060' is not an"},
      {"name = X\naor = sip:a@b\nrtp_ports = 11000-10000\n", ":8: '11000-10000' is not a port"},
      {"name = X\naor = sip:a@b\nrtp_ports = 80-90\n", ":8: '80-90' is not a port range"},
      {"name = X\naor = sip:a@b\ncodecs = PCMU, G729\n", ":8: unknown codec 'G729'"},
      {"name = X\naor = sip:a@b\ncodecs = PCMU, pcmu\n", ":8: the codec PCMU is listed twice"},
      {"name = X\naor = sip:a@b\ncodecs =\n", ":8: codecs lists no codec"},
      {"name = X\naor = sip:a@b\nregister_expires = 0\n", ":8: '0' is not a number of seconds"},
      {"name = X\naor = sip:a@b\naudio = alsa\n", ":8: unknown audio 'alsa'"},
      {"name = X\naor = sip:a@b\nwave_in = first\n", ":8: 'first' is not a sound card"},
      {"name = X\naor = sip:a@b\ncolour = red\n", ":8: unknown key 'colour' in a [sip]"},
      {"name = X\naor = sip:a@b\nAOR = sip:c@d\n", ":8: 'aor' is given twice"},
      {"aor = sip:a@b\n", ":5: the account has no name"},
      {"name = X\n", ":5: the account 'X' has no aor"},
      {"name = First\naor = sip:a@b\n", ":5: a second account is named 'First'"},
  };
  for (const auto& [account, problem] : cases) {
    const std::string text = "[sip]\nname = First\naor = sip:first@example.org\n\n[sip]\n" +
                             account + "[sip]\nname = Last\naor = sip:last@example.org\n";
    const auto config = ParseTelephonyConfig(text, "f");
    ASSERT_EQ(config.skipped.size(), 1u) << account;
    EXPECT_THAT(config.skipped[0], StartsWith("f" + problem)) << account;
    ASSERT_EQ(config.accounts.size(), 2u) << account;
    EXPECT_EQ(config.accounts[0].displayName, "First");
    EXPECT_EQ(config.accounts[1].displayName, "Last");
  }
}

// Files on disk: a temporary folder, and the environment restored afterwards.
class TelephonyFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("telephony-config-test-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(folder_);
    environment_.emplace({tapi32::kTelephonyVariable, "XDG_CONFIG_HOME", "HOME"});
  }
  void TearDown() override {
    environment_.reset();
    fs::remove_all(folder_);
  }

  std::string Write(const std::string& name, const std::string& text, fs::perms mode) {
    const fs::path path = folder_ / name;
    std::ofstream(path) << text;
    fs::permissions(path, mode);
    return path.string();
  }

  fs::path folder_;
  std::optional<tapi32_test::SavedEnvironment> environment_;
};

TEST_F(TelephonyFileTest, TheFileIsFoundAsTheEnvironmentSays) {
  ::unsetenv(tapi32::kTelephonyVariable);
  ::setenv("HOME", "/home/u", 1);
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(tapi32::TelephonyFilePath(), "/home/u/.config/ringwatch/telephony.ini");
  ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(tapi32::TelephonyFilePath(), "/cfg/ringwatch/telephony.ini");
  ::setenv(tapi32::kTelephonyVariable, "", 1);
  EXPECT_EQ(tapi32::TelephonyFilePath(), "/cfg/ringwatch/telephony.ini");
  ::setenv(tapi32::kTelephonyVariable, "/elsewhere/t.ini", 1);
  EXPECT_EQ(tapi32::TelephonyFilePath(), "/elsewhere/t.ini");
  ::unsetenv(tapi32::kTelephonyVariable);
  ::unsetenv("XDG_CONFIG_HOME");
  ::unsetenv("HOME");
  EXPECT_EQ(tapi32::TelephonyFilePath(), "");
}

TEST_F(TelephonyFileTest, PasswordsAreOnlyReadFromAPrivateFile) {
  const std::string text = "[switch]\n[sip]\nname = A\naor = sip:a@b\npassword = secret\n";
  const auto readable = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  const std::string path = Write("t.ini", text, readable);
  try {
    tapi32::LoadTelephonyConfig(path);
    ADD_FAILURE() << "a password readable by the group was taken";
  } catch (const TelephonyConfigError& e) {
    EXPECT_THAT(e.what(), StartsWith(path + ":5: the file holds a password"));
    EXPECT_THAT(e.what(), HasSubstr("(mode 0640)"));
    EXPECT_THAT(e.what(), HasSubstr("chmod 600 " + path));
  }
  // A password in an account that is left out is still in the file.
  Write("t.ini", "[sip]\nname = A\npassword = secret\n", fs::perms::all);
  EXPECT_THROW(tapi32::LoadTelephonyConfig(path), TelephonyConfigError);

  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
  Write("t.ini", text, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(tapi32::LoadTelephonyConfig(path).accounts.at(0).password, "secret");
  // Without passwords anyone may read it.
  Write("t.ini", "[sip]\nname = A\naor = sip:a@b\npassword =\n", fs::perms::all);
  EXPECT_EQ(tapi32::LoadTelephonyConfig(path).accounts.size(), 1u);
}

TEST_F(TelephonyFileTest, AMissingFileIsTheDefaultAndAnUnreadableOneIsRefused) {
  const auto missing = tapi32::LoadTelephonyConfig((folder_ / "none.ini").string());
  ASSERT_TRUE(missing.simSwitch.has_value());
  EXPECT_EQ(missing.simSwitch->file, "");
  EXPECT_TRUE(tapi32::LoadTelephonyConfig("").simSwitch.has_value());
  // A folder opens but does not read.
  EXPECT_THROW(tapi32::LoadTelephonyConfig(folder_.string()), TelephonyConfigError);
  // A corrupt file is reported with its own name.
  const std::string path = Write("t.ini", "[sip]\n[lines]\n", fs::perms::owner_all);
  try {
    tapi32::LoadTelephonyConfig(path);
    ADD_FAILURE() << "a corrupt file was taken";
  } catch (const TelephonyConfigError& e) {
    EXPECT_THAT(e.what(), StartsWith(path + ":2: unknown section [lines]"));
  }
}

}  // namespace
}  // namespace tapi32_test
