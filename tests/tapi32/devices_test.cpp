// Version negotiation and device capabilities.
#include <cstring>
#include <vector>

#include "tapi32_fixture.h"

namespace tapi32_test {
namespace {

class DevicesTest : public TapiTest {
 protected:
  void SetUp() override {
    tapi32::sim::Config config;
    tapi32::sim::LineConfig alpha = Line("Alpha", 0x101);
    alpha.apiLow = 0x00010004;
    alpha.apiHigh = 0x00020001;
    alpha.extLow = 0x00010000;
    alpha.extHigh = 0x00010005;
    alpha.extensionId = {1, 2, 3, 4};
    alpha.providerInfo = "Provider";
    alpha.switchInfo = "Switch";
    alpha.mediaModes = LINEMEDIAMODE_DATAMODEM;
    tapi32::sim::LineConfig beta = Line("Beta", 0x102);
    beta.apiLow = 0x00020000;
    beta.apiHigh = 0x00020002;
    config.lines = {alpha, beta};
    tapi32::sim::PhoneConfig desk = Phone("Desk", 0x201);
    desk.extensionId = {9, 8, 7, 6};
    desk.phoneInfo = "Info";
    config.phones = {desk};
    Switch().Reset(config);
    line_ = InitLine();
    phone_ = InitPhone();
    ASSERT_EQ(line_.result, 0);
    ASSERT_EQ(phone_.result, 0);
  }

  LONG NegotiateLine(DWORD device, DWORD low, DWORD high, DWORD& version, LINEEXTENSIONID& ext) {
    return lineNegotiateAPIVersion(line_.app, device, low, high, &version, &ext);
  }

  DWORD Negotiated(DWORD device) {
    DWORD version = 0;
    LINEEXTENSIONID ext{};
    EXPECT_EQ(NegotiateLine(device, 0x00010000, 0x00020002, version, ext), 0);
    return version;
  }

  // A buffer of the given size holding a LINEDEVCAPS with dwTotalSize set.
  static std::vector<uint8_t> Buffer(DWORD size) {
    std::vector<uint8_t> buffer(std::max<DWORD>(size, sizeof(LINEDEVCAPS)) + 64, 0xEE);
    std::memset(buffer.data(), 0, size);
    std::memcpy(buffer.data(), &size, sizeof(size));
    return buffer;
  }

  static std::u16string Text(const uint8_t* base, DWORD size, DWORD offset) {
    if (size == 0) return {};
    return std::u16string(reinterpret_cast<const char16_t*>(base + offset), size / 2);
  }

  LineInit line_;
  PhoneInit phone_;
};

TEST_F(DevicesTest, NegotiationPicksTheHighestCommonVersion) {
  DWORD version = 0;
  LINEEXTENSIONID ext{};
  ASSERT_EQ(NegotiateLine(0, 0x00010000, 0x00020002, version, ext), 0);
  EXPECT_EQ(version, 0x00020001u);  // the device's ceiling
  EXPECT_EQ(ext.dwExtensionID0, 1u);
  EXPECT_EQ(ext.dwExtensionID3, 4u);
  ASSERT_EQ(NegotiateLine(0, 0x00010000, 0x00010004, version, ext), 0);
  EXPECT_EQ(version, 0x00010004u);  // the application's ceiling
  ASSERT_EQ(NegotiateLine(1, 0x00020000, 0x00020000, version, ext), 0);
  EXPECT_EQ(version, 0x00020000u);
}

TEST_F(DevicesTest, NegotiationFailsWhenRangesDoNotMeet) {
  DWORD version = 0x1234;
  LINEEXTENSIONID ext{};
  EXPECT_EQ(NegotiateLine(1, 0x00010000, 0x00010004, version, ext),
            Code(LINEERR_INCOMPATIBLEAPIVERSION));
  EXPECT_EQ(NegotiateLine(0, 0x00020002, 0x00030000, version, ext),
            Code(LINEERR_INCOMPATIBLEAPIVERSION));
  EXPECT_EQ(version, 0x1234u);  // untouched on failure
}

TEST_F(DevicesTest, NegotiationChecksHandleDeviceAndPointers) {
  DWORD version = 0;
  LINEEXTENSIONID ext{};
  EXPECT_EQ(NegotiateLine(2, 0x00010000, 0x00020002, version, ext), Code(LINEERR_BADDEVICEID));
  EXPECT_EQ(lineNegotiateAPIVersion(line_.app + 77, 0, 0x00010000, 0x00020002, &version, &ext),
            Code(LINEERR_INVALAPPHANDLE));
  EXPECT_EQ(lineNegotiateAPIVersion(line_.app, 0, 0x00010000, 0x00020002, nullptr, &ext),
            Code(LINEERR_INVALPOINTER));
  EXPECT_EQ(lineNegotiateAPIVersion(line_.app, 0, 0x00010000, 0x00020002, &version, nullptr),
            Code(LINEERR_INVALPOINTER));

  Switch().RemoveLine(0);
  EXPECT_EQ(NegotiateLine(0, 0x00010000, 0x00020002, version, ext), Code(LINEERR_NODEVICE));
  // Device IDs keep their positions after a removal.
  EXPECT_EQ(NegotiateLine(1, 0x00010000, 0x00020002, version, ext), 0);
}

TEST_F(DevicesTest, ExtensionNegotiationNeedsAnApiVersionAndADeviceRange) {
  DWORD ext = 0;
  EXPECT_EQ(lineNegotiateExtVersion(line_.app, 0, 0x00020001, 0x00010000, 0x00020000, &ext),
            Code(LINEERR_INCOMPATIBLEAPIVERSION));
  const DWORD version = Negotiated(0);
  ASSERT_EQ(lineNegotiateExtVersion(line_.app, 0, version, 0x00010000, 0x00020000, &ext), 0);
  EXPECT_EQ(ext, 0x00010005u);
  ASSERT_EQ(lineNegotiateExtVersion(line_.app, 0, version, 0x00010000, 0x00010002, &ext), 0);
  EXPECT_EQ(ext, 0x00010002u);
  EXPECT_EQ(lineNegotiateExtVersion(line_.app, 0, version, 0x00010006, 0x00020000, &ext),
            Code(LINEERR_INCOMPATIBLEEXTVERSION));
  EXPECT_EQ(lineNegotiateExtVersion(line_.app, 0, version, 0x00010000, 0x00020000, nullptr),
            Code(LINEERR_INVALPOINTER));
  // A device without extensions says so.
  EXPECT_EQ(lineNegotiateExtVersion(line_.app, 1, Negotiated(1), 0x00010000, 0x00020000, &ext),
            Code(LINEERR_OPERATIONUNAVAIL));

  DWORD phoneVersion = 0;
  PHONEEXTENSIONID phoneExt{};
  ASSERT_EQ(
      phoneNegotiateAPIVersion(phone_.app, 0, 0x00010000, 0x00020002, &phoneVersion, &phoneExt), 0);
  EXPECT_EQ(phoneNegotiateExtVersion(phone_.app, 0, phoneVersion, 1, 2, &ext),
            Code(PHONEERR_OPERATIONUNAVAIL));
  EXPECT_EQ(phoneNegotiateExtVersion(phone_.app, 4, phoneVersion, 1, 2, &ext),
            Code(PHONEERR_BADDEVICEID));
}

TEST_F(DevicesTest, PhoneNegotiationMirrorsLines) {
  DWORD version = 0;
  PHONEEXTENSIONID ext{};
  ASSERT_EQ(phoneNegotiateAPIVersion(phone_.app, 0, 0x00010000, 0x00020002, &version, &ext), 0);
  EXPECT_EQ(version, 0x00020002u);
  EXPECT_EQ(ext.dwExtensionID0, 9u);
  EXPECT_EQ(phoneNegotiateAPIVersion(phone_.app, 1, 0x00010000, 0x00020002, &version, &ext),
            Code(PHONEERR_BADDEVICEID));
  EXPECT_EQ(phoneNegotiateAPIVersion(phone_.app, 0, 0x00010000, 0x00010003, &version, &ext),
            Code(PHONEERR_INCOMPATIBLEAPIVERSION));
  EXPECT_EQ(phoneNegotiateAPIVersion(line_.app + 77, 0, 0x00010000, 0x00020002, &version, &ext),
            Code(PHONEERR_INVALAPPHANDLE));
  Switch().RemovePhone(0);
  EXPECT_EQ(phoneNegotiateAPIVersion(phone_.app, 0, 0x00010000, 0x00020002, &version, &ext),
            Code(PHONEERR_NODEVICE));
}

TEST_F(DevicesTest, LineCapsWithRoomForEverything) {
  const DWORD version = Negotiated(0);
  std::vector<uint8_t> buffer = Buffer(1024);
  auto* caps = reinterpret_cast<LINEDEVCAPS*>(buffer.data());
  ASSERT_EQ(lineGetDevCapsW(line_.app, 0, version, 0, caps), 0);
  EXPECT_EQ(caps->dwTotalSize, 1024u);
  EXPECT_EQ(caps->dwUsedSize, caps->dwNeededSize);
  EXPECT_EQ(caps->dwPermanentLineID, 0x101u);
  EXPECT_EQ(caps->dwMediaModes, LINEMEDIAMODE_DATAMODEM);
  EXPECT_EQ(caps->dwStringFormat, STRINGFORMAT_UNICODE);
  EXPECT_EQ(Text(buffer.data(), caps->dwLineNameSize, caps->dwLineNameOffset),
            std::u16string(u"Alpha\0", 6));
  EXPECT_EQ(Text(buffer.data(), caps->dwProviderInfoSize, caps->dwProviderInfoOffset),
            std::u16string(u"Provider\0", 9));
  EXPECT_EQ(Text(buffer.data(), caps->dwSwitchInfoSize, caps->dwSwitchInfoOffset),
            std::u16string(u"Switch\0", 7));
  EXPECT_EQ(Text(buffer.data(), caps->dwDeviceClassesSize, caps->dwDeviceClassesOffset),
            std::u16string(u"tapi/line\0wave/in\0wave/out\0\0", 28));
  // Version 2.1 has no PermanentLineGuid: the variable part starts where 2.1's fixed part ends.
  EXPECT_EQ(caps->dwProviderInfoOffset, offsetof(LINEDEVCAPS, PermanentLineGuid));
  // Every string lies inside the used part.
  for (auto [size, offset] : {std::pair{caps->dwLineNameSize, caps->dwLineNameOffset},
                              std::pair{caps->dwDeviceClassesSize, caps->dwDeviceClassesOffset}}) {
    EXPECT_LE(offset + size, caps->dwUsedSize);
  }
  EXPECT_EQ(buffer[1024], 0xEE);  // nothing written past the caller's buffer
}

TEST_F(DevicesTest, LineCapsThatFitOnlyPartlyKeepTheFixedPart) {
  const DWORD version = Negotiated(1);  // 2.2: the full 268-byte fixed part
  std::vector<uint8_t> buffer = Buffer(sizeof(LINEDEVCAPS) + 4);
  auto* caps = reinterpret_cast<LINEDEVCAPS*>(buffer.data());
  ASSERT_EQ(lineGetDevCapsW(line_.app, 1, version, 0, caps), 0);
  EXPECT_EQ(caps->dwUsedSize, sizeof(LINEDEVCAPS));
  const DWORD needed = sizeof(LINEDEVCAPS) + 48 /*default provider info*/ + 10 /*"Beta"*/ + 28 * 2;
  EXPECT_EQ(caps->dwNeededSize, needed);
  EXPECT_EQ(caps->dwPermanentLineID, 0x102u);
  EXPECT_EQ(caps->dwLineNameSize, 0u);
  EXPECT_EQ(caps->dwLineNameOffset, 0u);
  EXPECT_EQ(caps->dwDeviceClassesSize, 0u);
  EXPECT_EQ(buffer[sizeof(LINEDEVCAPS)], 0u);  // the spare bytes stay untouched

  // With exactly the needed size everything fits.
  buffer = Buffer(needed);
  caps = reinterpret_cast<LINEDEVCAPS*>(buffer.data());
  ASSERT_EQ(lineGetDevCapsW(line_.app, 1, version, 0, caps), 0);
  EXPECT_EQ(caps->dwUsedSize, needed);
  EXPECT_EQ(Text(buffer.data(), caps->dwLineNameSize, caps->dwLineNameOffset),
            std::u16string(u"Beta\0", 5));
  EXPECT_EQ(buffer[needed], 0xEE);
}

TEST_F(DevicesTest, LineCapsBelowTheFixedSizeAreRejected) {
  const DWORD version = Negotiated(1);
  std::vector<uint8_t> buffer = Buffer(sizeof(LINEDEVCAPS) - 1);
  auto* caps = reinterpret_cast<LINEDEVCAPS*>(buffer.data());
  EXPECT_EQ(lineGetDevCapsW(line_.app, 1, version, 0, caps), Code(LINEERR_STRUCTURETOOSMALL));
  EXPECT_GT(caps->dwNeededSize, sizeof(LINEDEVCAPS));
  EXPECT_EQ(caps->dwPermanentLineID, 0u);
}

TEST_F(DevicesTest, LineCapsNeedANegotiatedVersion) {
  std::vector<uint8_t> buffer = Buffer(1024);
  auto* caps = reinterpret_cast<LINEDEVCAPS*>(buffer.data());
  EXPECT_EQ(lineGetDevCapsW(line_.app, 0, 0x00020001, 0, caps),
            Code(LINEERR_INCOMPATIBLEAPIVERSION));
  const DWORD version = Negotiated(0);
  EXPECT_EQ(lineGetDevCapsW(line_.app, 0, version, 0, caps), 0);
  // Another application has not negotiated anything yet.
  LineInit other = InitLine();
  EXPECT_EQ(lineGetDevCapsW(other.app, 0, version, 0, caps), Code(LINEERR_INCOMPATIBLEAPIVERSION));
  // Extension versions must lie in the device's range.
  EXPECT_EQ(lineGetDevCapsW(line_.app, 0, version, 0x00010003, caps), 0);
  EXPECT_EQ(lineGetDevCapsW(line_.app, 0, version, 0x00020000, caps),
            Code(LINEERR_INCOMPATIBLEEXTVERSION));
  EXPECT_EQ(lineGetDevCapsW(line_.app, 5, version, 0, caps), Code(LINEERR_BADDEVICEID));
  EXPECT_EQ(lineGetDevCapsW(line_.app, 0, version, 0, nullptr), Code(LINEERR_INVALPOINTER));
  Switch().RemoveLine(0);
  EXPECT_EQ(lineGetDevCapsW(line_.app, 0, version, 0, caps), Code(LINEERR_NODEVICE));
}

TEST_F(DevicesTest, OldVersionsGetTheirShorterFixedPart) {
  DWORD version = 0;
  LINEEXTENSIONID ext{};
  ASSERT_EQ(NegotiateLine(0, 0x00010000, 0x00010004, version, ext), 0);
  std::vector<uint8_t> buffer = Buffer(offsetof(LINEDEVCAPS, dwSettableDevStatus));
  auto* caps = reinterpret_cast<LINEDEVCAPS*>(buffer.data());
  ASSERT_EQ(lineGetDevCapsW(line_.app, 0, version, 0, caps), 0);
  EXPECT_EQ(caps->dwUsedSize, offsetof(LINEDEVCAPS, dwSettableDevStatus));
  // 1.4 knows no device class list, so it is not part of the needed size.
  EXPECT_EQ(caps->dwNeededSize, offsetof(LINEDEVCAPS, dwSettableDevStatus) + 18 + 14 + 12);
}

TEST_F(DevicesTest, CapsFollowRenamesAndChanges) {
  const DWORD version = Negotiated(0);
  Switch().RenameLine(0, "Front Desk");
  std::vector<uint8_t> buffer = Buffer(1024);
  auto* caps = reinterpret_cast<LINEDEVCAPS*>(buffer.data());
  ASSERT_EQ(lineGetDevCapsW(line_.app, 0, version, 0, caps), 0);
  EXPECT_EQ(Text(buffer.data(), caps->dwLineNameSize, caps->dwLineNameOffset),
            std::u16string(u"Front Desk\0", 11));

  tapi32::sim::LineConfig changed = Switch().LineConfigOf(0);
  changed.numAddresses = 3;
  changed.deviceClasses.clear();
  Switch().ChangeLine(0, changed);
  buffer = Buffer(1024);
  caps = reinterpret_cast<LINEDEVCAPS*>(buffer.data());
  ASSERT_EQ(lineGetDevCapsW(line_.app, 0, version, 0, caps), 0);
  EXPECT_EQ(caps->dwNumAddresses, 3u);
  EXPECT_EQ(caps->dwDeviceClassesSize, 0u);
}

TEST_F(DevicesTest, PhoneCapsFollowTheSameRules) {
  DWORD version = 0;
  PHONEEXTENSIONID ext{};
  ASSERT_EQ(phoneNegotiateAPIVersion(phone_.app, 0, 0x00010000, 0x00020002, &version, &ext), 0);

  std::vector<uint8_t> buffer = Buffer(sizeof(PHONECAPS) - 4);
  auto* caps = reinterpret_cast<PHONECAPS*>(buffer.data());
  EXPECT_EQ(phoneGetDevCapsW(phone_.app, 0, version, 0, caps), Code(PHONEERR_STRUCTURETOOSMALL));
  const DWORD needed = caps->dwNeededSize;
  EXPECT_EQ(needed, sizeof(PHONECAPS) + 48 /*provider*/ + 10 /*"Info"*/ + 10 /*"Desk"*/ +
                        24 /*"tapi/phone" list*/);

  buffer = Buffer(sizeof(PHONECAPS));
  caps = reinterpret_cast<PHONECAPS*>(buffer.data());
  ASSERT_EQ(phoneGetDevCapsW(phone_.app, 0, version, 0, caps), 0);
  EXPECT_EQ(caps->dwUsedSize, sizeof(PHONECAPS));
  EXPECT_EQ(caps->dwNeededSize, needed);
  EXPECT_EQ(caps->dwPhoneNameSize, 0u);
  EXPECT_EQ(caps->dwPermanentPhoneID, 0x201u);

  buffer = Buffer(needed);
  caps = reinterpret_cast<PHONECAPS*>(buffer.data());
  ASSERT_EQ(phoneGetDevCapsW(phone_.app, 0, version, 0, caps), 0);
  EXPECT_EQ(caps->dwUsedSize, needed);
  EXPECT_EQ(Text(buffer.data(), caps->dwPhoneNameSize, caps->dwPhoneNameOffset),
            std::u16string(u"Desk\0", 5));
  EXPECT_EQ(Text(buffer.data(), caps->dwPhoneInfoSize, caps->dwPhoneInfoOffset),
            std::u16string(u"Info\0", 5));
  EXPECT_EQ(Text(buffer.data(), caps->dwDeviceClassesSize, caps->dwDeviceClassesOffset),
            std::u16string(u"tapi/phone\0\0", 12));

  EXPECT_EQ(phoneGetDevCapsW(phone_.app, 0, 0x00010004, 0, caps),
            Code(PHONEERR_INCOMPATIBLEAPIVERSION));
  EXPECT_EQ(phoneGetDevCapsW(phone_.app, 3, version, 0, caps), Code(PHONEERR_BADDEVICEID));
  EXPECT_EQ(phoneGetDevCapsW(phone_.app, 0, version, 0, nullptr), Code(PHONEERR_INVALPOINTER));
}

}  // namespace
}  // namespace tapi32_test
