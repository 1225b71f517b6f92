// Related devices through the library: what each owner asks and when its answer is dropped, the
// phones of a line and the line of a phone, a data call's port read and written through the
// descriptor Comm hands out and closed exactly once, and the bounds-checked VARSTRING readers.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tapi/errors.h"
#include "tapi/phone.h"
#include "tapi/related.h"
#include "tests/descriptor_support.h"
#include "tests/tapi/line_test_support.h"

namespace zvtapi::testing {

using test_support::IsOpen;
using test_support::ReadSome;
namespace {

// A voice line with two sets and its own audio, a modem line with a data port, a phone of its
// own.
tapi32::sim::Config OfficeWithModem() {
  tapi32::sim::Config config;
  tapi32::sim::LineConfig voice;
  voice.name = "Reception";
  voice.numAddresses = 2;
  voice.waveIn = 3;
  voice.waveOut = 4;
  tapi32::sim::LineConfig modem;
  modem.name = "Modem";
  modem.mediaModes = LINEMEDIAMODE_DATAMODEM;
  modem.deviceClasses = {"tapi/line", "comm", "comm/datamodem"};
  config.lines = {voice, modem};
  for (const char* name : {"Desk", "Sidecar"}) {
    tapi32::sim::PhoneConfig phone;
    phone.name = name;
    phone.line = "Reception";
    config.phones.push_back(phone);
  }
  tapi32::sim::PhoneConfig lonely;
  lonely.name = "Lonely";
  config.phones.push_back(lonely);
  return config;
}

class RelatedDevices : public LineTest {
 protected:
  void SetUp() override {
    Switch().Reset(OfficeWithModem());
    ResetApplication();
  }
  static uint32_t Queries() { return Switch().CallCount("lineGetIDW"); }
  // Offers a call on the line's device and answers it; the connected call object.
  static TzvTapiCall* Connected(LineUnderTest& line, uint32_t* callId,
                                uint32_t mediaMode = LINEMEDIAMODE_INTERACTIVEVOICE) {
    tapi32::sim::IncomingCall incoming;
    incoming.callerNumber = "301";
    incoming.mediaMode = mediaMode;
    *callId = Switch().OfferCall(static_cast<uint32_t>(line.DeviceID()), 0, incoming);
    EXPECT_TRUE(PumpUntil([&] { return line.OnlyCall() != nullptr; }));
    TzvTapiCall* call = line.OnlyCall();
    if (call == nullptr) return nullptr;
    line.Answer(call, "");
    EXPECT_TRUE(PumpUntil([&] { return call->IsConnected(); }));
    return call;
  }
};

TEST_F(RelatedDevices, AConnectedCallNamesItsAudioUntilItDisconnects) {
  LineUnderTest line;
  OpenOn(line, 0);
  uint32_t id = 0;
  TzvTapiCall* call = Connected(line, &id);
  ASSERT_NE(call, nullptr);
  const uint32_t before = Queries();
  EXPECT_EQ(call->WaveIn()->DeviceID(), 3);
  EXPECT_EQ(call->WaveIn()->DeviceID(), 3);
  EXPECT_TRUE(call->WaveIn()->Available());
  EXPECT_EQ(Queries(), before + 1);  // one question for every read of the cached answer
  EXPECT_EQ(call->WaveOut()->DeviceID(), 4);

  // Leaving CONNECTED drops the answers: the next read asks again (and here fails).
  Switch().RemoteHangUp(id);
  ASSERT_TRUE(PumpUntil([&] { return !call->IsConnected(); }));
  Switch().FailNext("lineGetIDW", static_cast<LONG>(LINEERR_OPERATIONFAILED));
  EXPECT_EQ(call->WaveIn()->DeviceID(), -1);
  EXPECT_EQ(Queries(), before + 3);
}

TEST_F(RelatedDevices, TheDeviceClassDecidesTheQuestion) {
  LineUnderTest line;
  OpenOn(line, 0);
  TzvTapiRelatedWaveDevice& wave = *line.WaveIn();
  EXPECT_EQ(wave.DeviceID(), 3);
  const uint32_t before = Queries();
  wave.SetDeviceClass("wave/out");
  EXPECT_EQ(wave.DeviceClass(), "wave/out");
  EXPECT_EQ(wave.DeviceID(), 4);
  EXPECT_EQ(Queries(), before + 1);

  // A class the line does not have: silent for the readers, raised by Update.
  wave.SetDeviceClass("comm");
  EXPECT_FALSE(wave.Available());
  EXPECT_EQ(wave.DeviceID(), -1);
  try {
    wave.Update();
    ADD_FAILURE() << "Update raised nothing";
  } catch (const EzvTapiError& e) {
    EXPECT_EQ(e.ErrorCode(), LINEERR_INVALDEVICECLASS);
  }

  // An answer that is not binary holds no IDs.
  LineUnderTest modem;
  OpenOn(modem, 1);
  modem.WaveIn()->SetDeviceClass("comm");
  EXPECT_TRUE(modem.WaveIn()->Available());
  EXPECT_EQ(modem.WaveIn()->DeviceID(), -1);

  // An address asks for itself, anything else is no owner.
  TzvTapiRelatedWaveDevice ofAddress(line.Addresses().Get(1), "wave/in");
  EXPECT_EQ(ofAddress.DeviceID(), 3);
  TObject stranger;
  TzvTapiRelatedWaveDevice lost(&stranger, "wave/in");
  EXPECT_EQ(MessageOf([&] { lost.UpdateData(); }),
            "TzvTapiRelatedDevice.UpdateData failed! Invalid owner");
}

// An answer longer than the first buffer is asked for again with the size TAPI names.
TEST_F(RelatedDevices, ALongAnswerIsFetchedAgainInABufferThatHoldsIt) {
  const std::string name(1500, 'm');
  Switch().RenameLine(1, name);
  LineUnderTest modem;
  OpenOn(modem, 1);
  TzvTapiRelatedWaveDevice& port = *modem.WaveOut();
  port.SetDeviceClass("comm");
  const uint32_t before = Queries();
  EXPECT_TRUE(port.Available());
  EXPECT_EQ(Queries(), before + 2);
  EXPECT_EQ(port.DeviceID(), -1);  // a name holds no IDs
  EXPECT_EQ(Queries(), before + 2);
}

TEST_F(RelatedDevices, ALineListsItsPhonesAndAPhoneNamesItsLine) {
  LineUnderTest line;
  OpenOn(line, 0);
  TzvTapiLinePhoneDevices& phones = line.Phones();
  EXPECT_TRUE(phones.Available());
  EXPECT_EQ(phones.Count(), 2);
  EXPECT_EQ(phones.Get_DeviceIDNo(1), 1);
  EXPECT_EQ(MessageOf([&] { phones.Get_DeviceIDNo(2); }), "Get_DeviceIDNo failed! Invalid index ");
  EXPECT_EQ(MessageOf([&] { phones.Get_DeviceIDNo(-1); }), "Get_DeviceIDNo failed! Invalid index ");
  // Closing drops the answer: a closed line has nobody to ask.
  line.Close();
  EXPECT_EQ(phones.Count(), 0);
  EXPECT_FALSE(phones.Available());

  // TAPI answers for a line without sets, but there is nothing to have.
  LineUnderTest modem;
  OpenOn(modem, 1);
  EXPECT_FALSE(modem.Phones().Available());
  EXPECT_EQ(modem.Phones().Count(), 0);
  EXPECT_EQ(modem.Phones().Get_DeviceIDNo(0), -1);

  TzvTapiPhone sidecar(nullptr);
  sidecar.SetDeviceID(1);
  sidecar.SetActive(true);
  ASSERT_TRUE(sidecar.Active());
  EXPECT_TRUE(sidecar.LineDev()->Available());
  EXPECT_EQ(sidecar.LineDev()->DeviceID(), 0);
  TzvTapiPhone lonely(nullptr);
  lonely.SetDeviceID(2);
  lonely.SetActive(true);
  EXPECT_FALSE(lonely.LineDev()->Available());
  EXPECT_EQ(lonely.LineDev()->DeviceID(), -1);
}

// The port is an ordinary descriptor: written and read with the system's file calls. It stays
// the call's while the answer is cached and is closed when the call leaves CONNECTED; closing
// happens once, so a descriptor that took over its number afterwards survives the call.
TEST_F(RelatedDevices, ADataCallsPortCarriesBytesAndClosesWithTheConnection) {
  LineUnderTest line;
  OpenOn(line, 1);
  uint32_t id = 0;
  TzvTapiCall* call = Connected(line, &id, LINEMEDIAMODE_DATAMODEM);
  ASSERT_NE(call, nullptr);
  TzvTapiCommDevice& comm = *call->Comm();
  EXPECT_EQ(comm.DeviceClass(), "comm/datamodem");
  ASSERT_TRUE(comm.Available());
  const int port = comm.Handle();
  ASSERT_TRUE(IsOpen(port));
  EXPECT_EQ(comm.Handle(), port);  // the cached answer, not a new descriptor
  EXPECT_EQ(comm.DeviceName().rfind("/dev/pts/", 0), 0u) << comm.DeviceName();
  ASSERT_EQ(write(port, "ATZ\r", 4), 4);
  EXPECT_EQ(ReadSome(port, 4), "ATZ\r");

  Switch().RemoteHangUp(id);
  ASSERT_TRUE(PumpUntil([&] { return !call->IsConnected(); }));
  EXPECT_FALSE(IsOpen(port));
  int reuse[2];
  ASSERT_EQ(pipe(reuse), 0);  // likely takes the freed number
  line.Close();               // frees the call
  EXPECT_TRUE(IsOpen(reuse[0]));
  EXPECT_TRUE(IsOpen(reuse[1]));
  close(reuse[0]);
  close(reuse[1]);
}

TEST_F(RelatedDevices, FreeingAConnectedDataCallClosesItsPort) {
  LineUnderTest line;
  OpenOn(line, 1);
  uint32_t id = 0;
  TzvTapiCall* call = Connected(line, &id, LINEMEDIAMODE_DATAMODEM);
  ASSERT_NE(call, nullptr);
  const int port = call->Comm()->Handle();
  ASSERT_TRUE(IsOpen(port));
  delete call;
  EXPECT_FALSE(IsOpen(port));
}

// Answers a provider could send: the ID readers keep inside the string and inside what the
// provider says it used.
TEST(VarStringReaders, StayInsideTheAnswersString) {
  auto answer = [](Cardinal used, Cardinal format, Cardinal size, Cardinal offset,
                   const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> bytes(24 + payload.size());
    const Cardinal fields[] = {static_cast<Cardinal>(bytes.size()), 0, used, format, size, offset};
    std::memcpy(bytes.data(), fields, sizeof fields);
    if (!payload.empty()) std::memcpy(bytes.data() + 24, payload.data(), payload.size());
    return TTapiStruct::FromBytes(bytes.data(), static_cast<Cardinal>(bytes.size()));
  };
  const std::vector<uint8_t> ids = {7, 0, 0, 0, 9, 0, 0, 0};
  Cardinal value = 0;

  const TTapiStruct whole = answer(32, STRINGFORMAT_BINARY, 8, 24, ids);
  const TVarString two = GetVarString(whole);
  EXPECT_EQ(two.Size, 8u);
  EXPECT_TRUE(GetVarStringDWORD(two, 1, value));
  EXPECT_EQ(value, 9u);
  EXPECT_FALSE(GetVarStringDWORD(two, 2, value));

  // The string reaches past dwUsedSize, past the block, into the header, or wraps around.
  for (const TTapiStruct& bad :
       {answer(28, STRINGFORMAT_BINARY, 8, 24, ids), answer(40, STRINGFORMAT_BINARY, 12, 24, ids),
        answer(32, STRINGFORMAT_BINARY, 8, 4, ids),
        answer(32, STRINGFORMAT_BINARY, 0xFFFFFFF8, 24, ids)}) {
    const TVarString text = GetVarString(bad);
    EXPECT_EQ(text.Size, 0u);
    EXPECT_EQ(text.Format, STRINGFORMAT_BINARY);
    EXPECT_FALSE(GetVarStringDWORD(text, 0, value));
  }
  // A size that is no multiple of four holds only whole IDs.
  EXPECT_FALSE(
      GetVarStringDWORD(GetVarString(answer(31, STRINGFORMAT_BINARY, 7, 24, ids)), 1, value));

  // A port name ends at its NUL, or at the string's end when it has none.
  const std::vector<uint8_t> port = {1, 0, 0, 0, 'C', 'O', 'M', 0, 'x'};
  EXPECT_EQ(GetVarStringText(GetVarString(answer(33, STRINGFORMAT_BINARY, 9, 24, port)), 4), "COM");
  EXPECT_EQ(GetVarStringText(GetVarString(answer(30, STRINGFORMAT_BINARY, 6, 24, port)), 4), "CO");
  EXPECT_EQ(GetVarStringText(GetVarString(answer(28, STRINGFORMAT_BINARY, 4, 24, port)), 4), "");
  EXPECT_EQ(GetVarStringText(GetVarString(TTapiStruct()), 0), "");
}

}  // namespace
}  // namespace zvtapi::testing
