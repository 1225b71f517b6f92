// Related devices through lineGetIDW and phoneGetIDW: the argument checks, the classes each
// device has and the answers' layouts, and the data call's pseudo-terminal carrying bytes both
// ways until the call leaves CONNECTED.
#include <poll.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "tapi32_fixture.h"
#include "tests/descriptor_support.h"

namespace tapi32_test {
namespace {

using tapi32::sim::ModemStep;
using test_support::ReadSome;

// One VARSTRING answer: the result and the answer's string.
struct Answer {
  LONG result = 0;
  DWORD format = 0;
  DWORD needed = 0;
  std::vector<uint8_t> bytes;
  std::vector<DWORD> Ids() const {
    std::vector<DWORD> ids(bytes.size() / 4);
    if (!ids.empty()) std::memcpy(ids.data(), bytes.data(), ids.size() * 4);
    return ids;
  }
  std::string Text(size_t from = 0) const {
    return from < bytes.size() ? std::string(reinterpret_cast<const char*>(bytes.data()) + from)
                               : std::string();
  }
};

Answer Read(const std::vector<uint8_t>& buffer, LONG result) {
  Answer answer;
  answer.result = result;
  const auto* text = reinterpret_cast<const VARSTRING*>(buffer.data());
  answer.format = text->dwStringFormat;
  answer.needed = text->dwNeededSize;
  if (result == 0 && text->dwStringSize != 0) {
    const uint8_t* start = buffer.data() + text->dwStringOffset;
    answer.bytes.assign(start, start + text->dwStringSize);
  }
  return answer;
}

Answer LineId(HLINE line, DWORD address, HCALL call, DWORD select, const char16_t* deviceClass,
              DWORD size = 256) {
  std::vector<uint8_t> buffer(std::max<DWORD>(size, sizeof(VARSTRING)));
  reinterpret_cast<VARSTRING*>(buffer.data())->dwTotalSize = size;
  return Read(buffer, lineGetIDW(line, address, call, select,
                                 reinterpret_cast<VARSTRING*>(buffer.data()), deviceClass));
}

Answer PhoneId(HPHONE phone, const char16_t* deviceClass) {
  std::vector<uint8_t> buffer(256);
  reinterpret_cast<VARSTRING*>(buffer.data())->dwTotalSize = 256;
  return Read(buffer, phoneGetIDW(phone, reinterpret_cast<VARSTRING*>(buffer.data()), deviceClass));
}

using test_support::OpenDescriptors;

// What a read returns once the other end has gone (0: end of file).
ssize_t ReadAfterHangUp(int fd) {
  pollfd watched{fd, POLLIN, 0};
  poll(&watched, 1, 10000);
  char byte;
  return read(fd, &byte, 1);
}

class RelatedTest : public TapiTest {
 protected:
  void SetUp() override {
    tapi32::sim::Config config;
    auto voice = Line("Voice", 0x101);
    voice.numAddresses = 2;
    voice.waveIn = 3;
    voice.waveOut = 4;
    auto modem = Line("Modem", 0x102);
    modem.mediaModes = LINEMEDIAMODE_DATAMODEM | LINEMEDIAMODE_INTERACTIVEVOICE;
    modem.deviceClasses = {"tapi/line", "comm", "comm/datamodem"};
    config.lines = {voice, modem};
    auto desk = Phone("Desk", 0x201);
    desk.line = "Voice";
    desk.deviceClasses = {"tapi/phone", "wave/in", "wave/out"};
    desk.waveIn = 5;
    desk.waveOut = 6;
    auto side = Phone("Sidecar", 0x202);
    side.line = "Voice";
    config.phones = {desk, side, Phone("Lonely", 0x203)};
    Switch().Reset(config);
    app_ = InitLine().app;
    voice_ = OpenLine(app_, 0, LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_INTERACTIVEVOICE);
    modem_ = OpenLine(app_, 1, LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_DATAMODEM);
  }

  // A data call offered on the modem line and answered: its handle.
  HCALL ConnectedDataCall(uint32_t* callId = nullptr) {
    tapi32::sim::IncomingCall incoming;
    incoming.callerNumber = "555";
    incoming.mediaMode = LINEMEDIAMODE_DATAMODEM;
    incoming.bearerMode = LINEBEARERMODE_DATA;
    const uint32_t id = Switch().OfferCall(1, 0, incoming);
    const HCALL call = Switch().CallHandle(app_, id);
    EXPECT_GT(lineAnswer(call, nullptr, 0), 0);
    EXPECT_EQ(Switch().CallSnapshot(id).state, LINECALLSTATE_CONNECTED);
    if (callId != nullptr) *callId = id;
    return call;
  }

  // The descriptor lineGetIDW hands out for the call's connection, and the port's name.
  static int Port(HCALL call, std::string* name = nullptr) {
    const Answer answer = LineId(0, 0, call, LINECALLSELECT_CALL, u"comm/datamodem");
    EXPECT_EQ(answer.result, 0);
    EXPECT_EQ(answer.format, STRINGFORMAT_BINARY);
    if (answer.bytes.size() < 5) return -1;
    if (name != nullptr) *name = answer.Text(4);
    return static_cast<int>(answer.Ids()[0]);
  }

  HLINEAPP app_ = 0;
  HLINE voice_ = 0;
  HLINE modem_ = 0;
};

TEST_F(RelatedTest, ArgumentsAreCheckedAsDocumented) {
  EXPECT_EQ(LineId(voice_, 0, 0, 0, u"tapi/line").result, Code(LINEERR_INVALCALLSELECT));
  EXPECT_EQ(LineId(voice_, 0, 0, LINECALLSELECT_LINE | LINECALLSELECT_ADDRESS, u"tapi/line").result,
            Code(LINEERR_INVALCALLSELECT));
  EXPECT_EQ(LineId(voice_, 0, 0, LINECALLSELECT_DEVICEID, u"tapi/line").result,
            Code(LINEERR_INVALCALLSELECT));
  EXPECT_EQ(LineId(0xDEAD, 0, 0, LINECALLSELECT_LINE, u"tapi/line").result,
            Code(LINEERR_INVALLINEHANDLE));
  EXPECT_EQ(LineId(voice_, 2, 0, LINECALLSELECT_ADDRESS, u"tapi/line").result,
            Code(LINEERR_INVALADDRESSID));
  EXPECT_EQ(LineId(voice_, 1, 0, LINECALLSELECT_ADDRESS, u"tapi/line").result, 0);
  EXPECT_EQ(LineId(voice_, 0, 0xDEAD, LINECALLSELECT_CALL, u"tapi/line").result,
            Code(LINEERR_INVALCALLHANDLE));
  VARSTRING text{};
  text.dwTotalSize = sizeof text;
  EXPECT_EQ(lineGetIDW(voice_, 0, 0, LINECALLSELECT_LINE, nullptr, u"tapi/line"),
            Code(LINEERR_INVALPOINTER));
  EXPECT_EQ(lineGetIDW(voice_, 0, 0, LINECALLSELECT_LINE, &text, nullptr),
            Code(LINEERR_INVALPOINTER));
  EXPECT_EQ(lineGetIDW(voice_, 0, 0, LINECALLSELECT_LINE, &text, u""),
            Code(LINEERR_INVALDEVICECLASS));

  // Too small for the fixed part: the needed size is told; too small for the string: success
  // with the needed size and no string.
  const Answer tiny = LineId(voice_, 0, 0, LINECALLSELECT_LINE, u"tapi/phone", 12);
  EXPECT_EQ(tiny.result, Code(LINEERR_STRUCTURETOOSMALL));
  EXPECT_EQ(tiny.needed, sizeof(VARSTRING) + 8);
  const Answer fixedOnly = LineId(voice_, 0, 0, LINECALLSELECT_LINE, u"tapi/phone", 24);
  EXPECT_EQ(fixedOnly.result, 0);
  EXPECT_EQ(fixedOnly.needed, sizeof(VARSTRING) + 8);
  EXPECT_TRUE(fixedOnly.bytes.empty());
}

TEST_F(RelatedTest, ALineNamesItsLineItsPhonesItsAudioAndItsPort) {
  const Answer line = LineId(modem_, 0, 0, LINECALLSELECT_LINE, u"TAPI/Line");
  EXPECT_EQ(line.format, STRINGFORMAT_BINARY);
  EXPECT_EQ(line.Ids(), std::vector<DWORD>{1});

  // Both sets of the voice line, none of the modem line (an answer all the same).
  EXPECT_EQ(LineId(voice_, 0, 0, LINECALLSELECT_LINE, u"tapi/phone").Ids(),
            (std::vector<DWORD>{0, 1}));
  const Answer none = LineId(modem_, 0, 0, LINECALLSELECT_LINE, u"tapi/phone");
  EXPECT_EQ(none.result, 0);
  EXPECT_TRUE(none.bytes.empty());

  EXPECT_EQ(LineId(voice_, 1, 0, LINECALLSELECT_ADDRESS, u"wave/in").Ids(), std::vector<DWORD>{3});
  EXPECT_EQ(LineId(voice_, 0, 0, LINECALLSELECT_LINE, u"wave/out").Ids(), std::vector<DWORD>{4});
  const Answer port = LineId(modem_, 0, 0, LINECALLSELECT_LINE, u"comm");
  EXPECT_EQ(port.format, STRINGFORMAT_ASCII);
  EXPECT_EQ(port.Text(), "Modem");

  // Classes the capabilities do not list.
  EXPECT_EQ(LineId(voice_, 0, 0, LINECALLSELECT_LINE, u"comm").result,
            Code(LINEERR_INVALDEVICECLASS));
  EXPECT_EQ(LineId(modem_, 0, 0, LINECALLSELECT_LINE, u"wave/in").result,
            Code(LINEERR_INVALDEVICECLASS));
  EXPECT_EQ(LineId(voice_, 0, 0, LINECALLSELECT_LINE, u"ndis").result,
            Code(LINEERR_INVALDEVICECLASS));
  // The data-modem port belongs to a connected data call.
  EXPECT_EQ(LineId(modem_, 0, 0, LINECALLSELECT_LINE, u"comm/datamodem").result,
            Code(LINEERR_OPERATIONUNAVAIL));
}

TEST_F(RelatedTest, APhoneNamesItsLineAndItsHandsetAudio) {
  const HPHONEAPP phones = InitPhone().app;
  auto open = [&](DWORD deviceId) {
    DWORD version = 0;
    PHONEEXTENSIONID extension{};
    EXPECT_EQ(
        phoneNegotiateAPIVersion(phones, deviceId, 0x00010004, 0x00020002, &version, &extension),
        0);
    HPHONE phone = 0;
    EXPECT_EQ(phoneOpen(phones, deviceId, &phone, version, 0, 1, PHONEPRIVILEGE_MONITOR), 0);
    return phone;
  };
  const HPHONE desk = open(0);
  EXPECT_EQ(PhoneId(desk, u"wave/in").Ids(), std::vector<DWORD>{5});
  EXPECT_EQ(PhoneId(desk, u"wave/out").Ids(), std::vector<DWORD>{6});
  EXPECT_EQ(PhoneId(desk, u"tapi/line").Ids(), std::vector<DWORD>{0});
  EXPECT_EQ(PhoneId(desk, u"tapi/phone").Ids(), std::vector<DWORD>{0});
  const HPHONE lonely = open(2);
  EXPECT_EQ(PhoneId(lonely, u"tapi/line").result, Code(PHONEERR_INVALDEVICECLASS));
  EXPECT_EQ(PhoneId(lonely, u"wave/in").result, Code(PHONEERR_INVALDEVICECLASS));
}

TEST_F(RelatedTest, ACallNamesTheAudioOfItsLine) {
  const uint32_t id = Switch().OfferCall(0, 0, {});
  const HCALL call = Switch().CallHandle(app_, id);
  EXPECT_EQ(LineId(0, 0, call, LINECALLSELECT_CALL, u"wave/in").Ids(), std::vector<DWORD>{3});
  EXPECT_EQ(LineId(0, 0, call, LINECALLSELECT_CALL, u"wave/out").Ids(), std::vector<DWORD>{4});
  EXPECT_EQ(LineId(0, 0, call, LINECALLSELECT_CALL, u"comm/datamodem").result,
            Code(LINEERR_INVALDEVICECLASS));
}

// The far end echoes; each lineGetIDW hands out a descriptor of its own; when the call is dropped
// the switch's end closes and the application's reads see end of file.
TEST_F(RelatedTest, ADataCallCarriesBytesBothWaysUntilItLeavesConnected) {
  tapi32::sim::IncomingCall offered;
  offered.mediaMode = LINEMEDIAMODE_DATAMODEM;
  const uint32_t waiting = Switch().OfferCall(1, 0, offered);
  EXPECT_EQ(LineId(0, 0, Switch().CallHandle(app_, waiting), LINECALLSELECT_CALL, u"comm/datamodem")
                .result,
            Code(LINEERR_OPERATIONUNAVAIL));
  Switch().RemoteHangUp(waiting);

  const HCALL call = ConnectedDataCall();
  std::string name;
  const int first = Port(call, &name);
  ASSERT_GE(first, 0);
  EXPECT_EQ(name.rfind("/dev/pts/", 0), 0u) << name;
  EXPECT_EQ(LineId(0, 0, call, LINECALLSELECT_CALL, u"comm").Text(), name);
  const int second = Port(call);
  ASSERT_GE(second, 0);
  EXPECT_NE(first, second);

  ASSERT_EQ(write(first, "hello\r", 6), 6);
  EXPECT_EQ(ReadSome(first, 6), "hello\r");
  ASSERT_EQ(write(second, "again", 5), 5);
  EXPECT_EQ(ReadSome(second, 5), "again");

  EXPECT_GT(lineDrop(call, nullptr, 0), 0);
  EXPECT_EQ(ReadAfterHangUp(first), 0);
  EXPECT_EQ(ReadAfterHangUp(second), 0);
  EXPECT_EQ(LineId(0, 0, call, LINECALLSELECT_CALL, u"comm/datamodem").result,
            Code(LINEERR_OPERATIONUNAVAIL));
  close(first);
  close(second);
}

TEST_F(RelatedTest, TheFarEndPlaysTheLinesScript) {
  Switch().SetModemScript(1, {ModemStep{"", "CONNECT 33600"}, ModemStep{"ATH", "NO CARRIER"}});
  const int port = Port(ConnectedDataCall());
  ASSERT_GE(port, 0);
  EXPECT_EQ(ReadSome(port, 15), "CONNECT 33600\r\n");
  // Nothing comes back until the expected text is complete, and then only the reply.
  ASSERT_EQ(write(port, "AT", 2), 2);
  ASSERT_EQ(write(port, "H\r", 2), 2);
  EXPECT_EQ(ReadSome(port, 12), "NO CARRIER\r\n");
  close(port);
}

// A handle nobody would ever see must not be made: an answer that does not fit opens nothing.
TEST_F(RelatedTest, AnAnswerThatDoesNotFitOpensNoDescriptor) {
  uint32_t id = 0;
  const HCALL call = ConnectedDataCall(&id);
  const size_t before = OpenDescriptors();
  const Answer small = LineId(0, 0, call, LINECALLSELECT_CALL, u"comm/datamodem", 26);
  EXPECT_EQ(small.result, 0);
  EXPECT_GT(small.needed, 26u);
  EXPECT_EQ(OpenDescriptors(), before);
  // The switch's ends go when the call leaves CONNECTED; the application's own stays its.
  const int port = Port(call);
  Switch().SetCallState(id, LINECALLSTATE_ONHOLD);
  EXPECT_EQ(OpenDescriptors(), before - 1);
  close(port);
}

}  // namespace
}  // namespace tapi32_test
