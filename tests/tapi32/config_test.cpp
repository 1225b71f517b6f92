// The switch's configuration file and the environment variable that names it.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tapi32/sim/config.h"
#include "tapi32_fixture.h"

namespace tapi32_test {
namespace {

using tapi32::sim::Config;
using tapi32::sim::ConfigError;
using tapi32::sim::ParseConfig;

std::string ErrorOf(const std::string& text) {
  try {
    ParseConfig(text, "test.ini");
  } catch (const ConfigError& e) {
    return e.what();
  }
  return "no error";
}

TEST(ConfigParseTest, ReadsTheOpenAndAddressKeys) {
  const Config config = ParseConfig(R"(
[line]
name = Hotline
addresses = 2
address_names = 200, 201
address_states = NUMCALLS|LINEADDRESSSTATE_FORWARD
refuse_owner = 0x80000036
open_error = 0x8000004B
icon = 77
)",
                                    "hotline.ini");
  const auto& line = config.lines.at(0);
  EXPECT_EQ(line.addressNames, (std::vector<std::string>{"200", "201"}));
  EXPECT_EQ(line.addressStates, LINEADDRESSSTATE_NUMCALLS | LINEADDRESSSTATE_FORWARD);
  EXPECT_EQ(line.refuseOwner, LINEERR_INVALPRIVSELECT);
  EXPECT_EQ(line.openError, LINEERR_RESOURCEUNAVAIL);
  EXPECT_EQ(line.icon, 77u);
}

TEST(ConfigParseTest, ReadsEveryKindOfValue) {
  const Config config = ParseConfig(R"(
# the office
[line]
name = Front Desk
permanent_id = 0x1001
api_low = 0x00010004
API_HIGH = 0x00020001
extension_id = 1, 2 3 0xA
media_modes = interactivevoice | LINEMEDIAMODE_DATAMODEM|0x20
bearer_modes = VOICE
line_states = 0
addresses = 2
device_classes = tapi/line, comm
switch_info = Extension 100
  ; an indented comment
[PHONE]
name = Hall Phone
phone_states = REINIT|CAPSCHANGE
display_columns = 24
device_classes =
)",
                                    "office.ini");
  ASSERT_EQ(config.lines.size(), 1u);
  ASSERT_EQ(config.phones.size(), 1u);
  const auto& line = config.lines[0];
  EXPECT_EQ(line.name, "Front Desk");
  EXPECT_EQ(line.permanentId, 0x1001u);
  EXPECT_EQ(line.apiHigh, 0x00020001u);
  EXPECT_EQ(line.extensionId.dwExtensionID1, 2u);
  EXPECT_EQ(line.extensionId.dwExtensionID3, 10u);
  EXPECT_EQ(line.mediaModes,
            LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_DATAMODEM | LINEMEDIAMODE_G3FAX);
  EXPECT_EQ(line.lineStates, 0u);
  EXPECT_EQ(line.numAddresses, 2u);
  EXPECT_EQ(line.deviceClasses, (std::vector<std::string>{"tapi/line", "comm"}));
  EXPECT_EQ(line.switchInfo, "Extension 100");
  const auto& phone = config.phones[0];
  EXPECT_EQ(phone.name, "Hall Phone");
  EXPECT_EQ(phone.phoneStates, PHONESTATE_REINIT | PHONESTATE_CAPSCHANGE);
  EXPECT_EQ(phone.displayColumns, 24u);
  EXPECT_TRUE(phone.deviceClasses.empty());
}

TEST(ConfigParseTest, ErrorsNameFileLineAndProblem) {
  EXPECT_EQ(ErrorOf("[line]\nname = a\nspeed = 3\n"),
            "test.ini:3: unknown key 'speed' in a [line] section");
  EXPECT_EQ(ErrorOf("[line]\nname = a\naddresses = 12x\n"), "test.ini:3: '12x' is not a number");
  EXPECT_EQ(ErrorOf("[line]\nname = a\npermanent_id = 0x100000000\n"),
            "test.ini:3: '0x100000000' does not fit in 32 bits");
  EXPECT_EQ(ErrorOf("[line]\nname=a\nmedia_modes = VOICE|TELEPATHY\n"),
            "test.ini:3: unknown flag 'VOICE' (expected LINEMEDIAMODE_... names)");
  EXPECT_EQ(ErrorOf("name = a\n"),
            "test.ini:1: 'name' stands before any [line], [phone], [traffic] or [replies]");
  EXPECT_EQ(
      ErrorOf("\n[trunk]\n"),
      "test.ini:2: unknown section [trunk] (expected [line], [phone], [traffic] or [replies])");
  EXPECT_EQ(ErrorOf("[line\n"), "test.ini:1: a section header must end with ']'");
  EXPECT_EQ(ErrorOf("[line]\nname a\n"), "test.ini:2: expected 'key = value' or a [section]");
  EXPECT_EQ(ErrorOf("[line]\nname = a\nname = b\n"),
            "test.ini:3: 'name' is given twice in this section");
  EXPECT_EQ(ErrorOf("[line]\nname = a\nextension_id = 1 2 3\n"),
            "test.ini:3: an extension ID needs four numbers");
  // Whole-section problems point at the section header.
  EXPECT_EQ(ErrorOf("[line]\nname = a\n\n[phone]\nphone_info = x\n"),
            "test.ini:4: the phone has no name");
  EXPECT_EQ(ErrorOf("[line]\nname = a\napi_low = 0x20002\napi_high = 0x10004\n"),
            "test.ini:1: the line 'a' has api_low above api_high");
}

TEST(ConfigParseTest, ReadsWaveDevicesAndTheModemScript) {
  const Config config = ParseConfig(R"(
[line]
name = Modem
wave_in = 2
wave_out = 0x3
modem_script = -> CONNECT 33600, ATH -> NO CARRIER
[phone]
name = Set
wave_in = 4
wave_out = 5
)",
                                    "wave.ini");
  const tapi32::sim::LineConfig& line = config.lines.at(0);
  EXPECT_EQ(line.waveIn, 2u);
  EXPECT_EQ(line.waveOut, 3u);
  EXPECT_EQ(line.modemScript,
            (std::vector<tapi32::sim::ModemStep>{{"", "CONNECT 33600"}, {"ATH", "NO CARRIER"}}));
  EXPECT_EQ(config.phones.at(0).waveIn, 4u);
  EXPECT_EQ(config.phones.at(0).waveOut, 5u);
  EXPECT_EQ(ErrorOf("[line]\nname = a\nmodem_script = hello\n"),
            "test.ini:3: 'hello' is no modem step (expected -> reply)");
  EXPECT_EQ(ErrorOf("[line]\nname = a\nmodem_script = AT ->\n"),
            "test.ini:3: the modem step 'AT ->' sends nothing");
}

TEST(ConfigParseTest, RepliesSayWhenAndInWhichOrderEntryPointsAnswer) {
  using tapi32::EntryPoint;
  using tapi32::ReplyMode;
  const Config config = ParseConfig(R"(
[replies]
lineAnswer = effect_first
LINEDROP = after 200, Effect_First
lineMakeCallW = partial_effect_first, fail 0x80000048
lineHold = never
)",
                                    "replies.ini");
  EXPECT_EQ(config.replies.size(), 4u);
  EXPECT_EQ(config.replies.at(EntryPoint::lineAnswer), ReplyMode::Now().EffectFirst());
  EXPECT_EQ(config.replies.at(EntryPoint::lineDrop), ReplyMode::After(200).EffectFirst());
  EXPECT_EQ(config.replies.at(EntryPoint::lineMakeCallW),
            ReplyMode::Now(Code(LINEERR_OPERATIONFAILED)).PartialEffectFirst());
  EXPECT_EQ(config.replies.at(EntryPoint::lineHold), ReplyMode::Silent());

  const std::string terms =
      " is not a reply term (expected now, after <ms>, never, reply_first, effect_first, "
      "partial_effect_first or fail <code>)";
  EXPECT_EQ(ErrorOf("[replies]\nlineGetDevCapsW = now\n"),
            "test.ini:2: 'lineGetDevCapsW' answers at once: it has no reply to configure");
  EXPECT_EQ(ErrorOf("[replies]\nlineDial = now\n"),
            "test.ini:2: unknown entry point 'linedial' in a [replies] section");
  EXPECT_EQ(ErrorOf("[replies]\nlineDrop = after\n"), "test.ini:2: 'after'" + terms);
  EXPECT_EQ(ErrorOf("[replies]\nlineDrop = now, after 5\n"),
            "test.ini:2: 'after 5' says again what an earlier term of 'now, after 5' said");
  EXPECT_EQ(ErrorOf("[replies]\nlineDrop = partial_effect_first\n"),
            "test.ini:2: partial_effect_first needs 'fail <code>': a partial effect comes before "
            "a failure");
}

TEST(ConfigParseTest, DevicesOfferNoVersionAboveTheStructuresOfTwoPointTwo) {
  EXPECT_EQ(ErrorOf("[line]\nname = a\napi_high = 0x00030000\n"),
            "test.ini:1: the line 'a' offers api_high 0x00030000, above 0x00020002: the switch "
            "lays its structures out as TAPI 2.2 does");
  EXPECT_EQ(ErrorOf("[line]\nname = a\n[phone]\nname = p\napi_high = 0x20003\n"),
            "test.ini:3: the phone 'p' offers api_high 0x00020003, above 0x00020002: the switch "
            "lays its structures out as TAPI 2.2 does");
}

using SwitchDevicesTest = TapiTest;

TEST_F(SwitchDevicesTest, DevicesAboveTwoPointTwoAreRefusedWhereverTheyAreGiven) {
  Config config;
  config.lines = {Line("Gamma", 0x103)};
  config.lines[0].apiHigh = 0x00030000;
  EXPECT_THROW(Switch().Reset(config), ConfigError);
  EXPECT_EQ(Switch().LineConfigOf(1).name, "Beta") << "the configuration stays as it was";
  tapi32::sim::LineConfig line = Line("Gamma", 0x103);
  line.apiHigh = 0x00020003;
  EXPECT_THROW(Switch().AddLine(line), ConfigError);
  EXPECT_THROW(Switch().ChangeLine(0, line), ConfigError);
  tapi32::sim::PhoneConfig phone = Phone("Hall", 0x202);
  phone.apiHigh = 0x00030000;
  EXPECT_THROW(Switch().AddPhone(phone), ConfigError);
  EXPECT_THROW(Switch().ChangePhone(0, phone), ConfigError);
  EXPECT_THROW(Switch().LineConfigOf(2), std::out_of_range);
  EXPECT_EQ(Switch().LineConfigOf(0).apiHigh, 0x00020002u);
  EXPECT_EQ(Switch().PhoneConfigOf(0).apiHigh, 0x00020002u);
}

TEST(ConfigParseTest, ReadsWhatTheLineCanDoAndRefusesWhatTheSwitchCannot) {
  const tapi32::sim::LineConfig line =
      ParseConfig(
          "[line]\nname = Fax\nanswer_mode = NONE\nmax_on_hold_calls = 0\n"
          "generate_tone_modes = BEEP|LINETONEMODE_BUSY\nuui_drop_size = 4\n",
          "fax.ini")
          .lines.at(0);
  EXPECT_EQ(line.answerMode, LINEANSWERMODE_NONE);
  EXPECT_EQ(line.maxOnHoldCalls, 0u);
  EXPECT_EQ(line.generateToneModes, LINETONEMODE_BEEP | LINETONEMODE_BUSY);
  EXPECT_EQ(line.uuiDropSize, 4u);

  EXPECT_EQ(ErrorOf("[line]\nname = a\nline_features = MAKECALL|FORWARD\n"),
            "test.ini:3: the switch offers only MAKECALL, DEVSPECIFIC and DEVSPECIFICFEAT as line "
            "features");
  EXPECT_EQ(ErrorOf("[line]\nname = a\nanswer_mode = DROP|HOLD\n"),
            "test.ini:3: answer_mode takes one of NONE, DROP and HOLD");
  EXPECT_EQ(ErrorOf("[line]\nname = a\nmax_active_calls = 0\n"),
            "test.ini:3: max_active_calls must be at least 1");
  EXPECT_EQ(ErrorOf("[line]\nname = a\ngenerate_digit_modes = 0x4\n"),
            "test.ini:3: '0x4' holds LINEDIGITMODE_ flags the switch cannot offer");
}

TEST(ConfigParseTest, UnreadableFileIsAConfigError) {
  EXPECT_THROW(tapi32::sim::LoadConfigFile("/nonexistent/zvtapi.ini"), ConfigError);
}

TEST(ConfigParseTest, DemoHasVoiceLinesADataLineAndAPhone) {
  const Config demo = tapi32::sim::DemoConfig();
  int voice = 0;
  int dataOnly = 0;
  for (const auto& line : demo.lines) {
    if (line.mediaModes & LINEMEDIAMODE_INTERACTIVEVOICE) ++voice;
    if (line.mediaModes & LINEMEDIAMODE_DATAMODEM &&
        !(line.mediaModes & LINEMEDIAMODE_INTERACTIVEVOICE)) {
      ++dataOnly;
    }
  }
  EXPECT_GE(voice, 3);
  EXPECT_GE(dataOnly, 1);
  EXPECT_GE(demo.phones.size(), 1u);
}

// Initialisation reads ZVTAPI_SIM_CONFIG when the switch has not been configured.
class ConfigFileTest : public TapiTest {
 protected:
  void SetUp() override {
    path_ = std::filesystem::temp_directory_path() /
            ("zvtapi-config-" + std::to_string(::getpid()) + ".ini");
    Switch().Unconfigure();
  }
  void TearDown() override {
    TapiTest::TearDown();
    ::unsetenv(tapi32::sim::kConfigVariable);
    std::filesystem::remove(path_);
    TapiTest::SetUp();  // leave a configured switch behind
  }
  void Write(const std::string& text) {
    std::ofstream(path_) << text;
    ::setenv(tapi32::sim::kConfigVariable, path_.c_str(), 1);
  }
  std::filesystem::path path_;
};

TEST_F(ConfigFileTest, InvalidFileFailsInitialisationAndIsReportedOnce) {
  Write("[line]\nname = a\nmedia_modes = NOISE\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(InitLine().result, Code(LINEERR_INIFILECORRUPT));
  EXPECT_EQ(InitLine().result, Code(LINEERR_INIFILECORRUPT));
  EXPECT_EQ(InitPhone().result, Code(PHONEERR_INIFILECORRUPT));
  const std::string output = testing::internal::GetCapturedStderr();
  const std::string expected = path_.string() + ":3: unknown flag 'NOISE'";
  ASSERT_NE(output.find(expected), std::string::npos) << output;
  EXPECT_EQ(output.find(expected), output.rfind(expected)) << "reported more than once";
  EXPECT_TRUE(Switch().LineApps().empty());
  EXPECT_TRUE(Switch().PhoneApps().empty());

  // Once the file is fixed the next initialisation succeeds with its devices.
  Write("[line]\nname = Only Line\n");
  LineInit line = InitLine();
  ASSERT_EQ(line.result, 0);
  EXPECT_EQ(line.numDevs, 1u);
  EXPECT_EQ(Switch().LineConfigOf(0).name, "Only Line");
  PhoneInit phone = InitPhone();
  ASSERT_EQ(phone.result, 0);
  EXPECT_EQ(phone.numDevs, 0u);
}

TEST_F(ConfigFileTest, MissingFileFailsInitialisation) {
  ::setenv(tapi32::sim::kConfigVariable, "/nonexistent/zvtapi.ini", 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(InitPhone().result, Code(PHONEERR_INIFILECORRUPT));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("/nonexistent/zvtapi.ini:0:"),
            std::string::npos);
}

TEST_F(ConfigFileTest, WithoutTheVariableTheDemoIsOffered) {
  ::unsetenv(tapi32::sim::kConfigVariable);
  LineInit line = InitLine();
  ASSERT_EQ(line.result, 0);
  EXPECT_EQ(line.numDevs, tapi32::sim::DemoConfig().lines.size());
  EXPECT_EQ(Switch().LineConfigOf(0).name, tapi32::sim::DemoConfig().lines[0].name);
}

TEST_F(ConfigFileTest, TheSampleFileIsValid) {
  const Config sample =
      tapi32::sim::LoadConfigFile(ZVTAPI_SOURCE_DIR "/docs/sim-switch-sample.ini");
  EXPECT_FALSE(sample.lines.empty());
  EXPECT_FALSE(sample.phones.empty());
}

}  // namespace
}  // namespace tapi32_test
