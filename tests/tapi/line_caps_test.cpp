#include "tapi/line_caps.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "struct_image_support.h"
#include "tapi/address.h"
#include "tapi32/tapi.h"
#include "tapi_test_support.h"

namespace zvtapi {
namespace {

using testing::FakeLine;
using testing::StructImage;

// What the fake provider answers and what it was asked.
struct Script {
  StructImage image{sizeof(LINEDEVCAPS)};
  Cardinal error = 0;
  // Runs on the block after a successful answer (for providers that misreport).
  std::function<void(uint8_t*)> tamper;
  std::vector<Cardinal> seenSizes;

  int32_t Query(void* structure) {
    Cardinal total;
    std::memcpy(&total, structure, sizeof total);
    seenSizes.push_back(total);
    if (error != 0) return static_cast<int32_t>(error);
    const int32_t result = image.Answer(structure);
    if (result == 0 && tamper) tamper(static_cast<uint8_t*>(structure));
    return result;
  }
  size_t Calls() const { return seenSizes.size(); }
};

template <class Cache, class Owner>
class Scripted : public Cache {
 public:
  Scripted(Owner* owner, Script& script) : Cache(owner), script(script) {}

 protected:
  int32_t Query(void* structure) override { return script.Query(structure); }
  Script& script;
};
using ScriptedCaps = Scripted<TzvTapiLineCaps, TzvCustomTapiLine>;
using ScriptedStatus = Scripted<TzvTapiLineStatus, TzvCustomTapiLine>;
using ScriptedAddressCaps = Scripted<TzvTapiAddressCaps, TzvTapiAddress>;

StructImage ReceptionCaps() {
  StructImage image(sizeof(LINEDEVCAPS));
  image.Set(offsetof(LINEDEVCAPS, dwPermanentLineID), 0x1A2B)
      .Set(offsetof(LINEDEVCAPS, dwStringFormat), STRINGFORMAT_ASCII)
      .Set(offsetof(LINEDEVCAPS, dwNumAddresses), 2)
      .Set(offsetof(LINEDEVCAPS, dwMediaModes), 0x14)
      .Set(offsetof(LINEDEVCAPS, dwLineStates), 0xABCDEF)
      .Text(offsetof(LINEDEVCAPS, dwProviderInfoSize), u"Simulated switch")
      .Text(offsetof(LINEDEVCAPS, dwSwitchInfoSize), u"PBX 7")
      .Text(offsetof(LINEDEVCAPS, dwLineNameSize), u"Reception \u00C4");
  const std::u16string classes(u"tapi/line\0wave/in\0\0", 19);
  std::vector<uint8_t> raw(classes.size() * 2);
  std::memcpy(raw.data(), classes.data(), raw.size());
  image.Raw(offsetof(LINEDEVCAPS, dwDeviceClassesSize), raw);
  return image;
}

std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t pos; (pos = text.find("\r\n", start)) != std::string::npos; start = pos + 2) {
    lines.push_back(text.substr(start, pos - start));
  }
  lines.push_back(text.substr(start));
  return lines;
}

std::string AssertionText(const std::function<void()>& action) {
  try {
    action();
  } catch (const EAssertionFailed& e) {
    return e.Message();
  }
  return "no assertion";
}

class LineCapsTest : public testing::TapiTest {
 protected:
  FakeLine line;
  Script script;
};

TEST_F(LineCapsTest, IndexedPropertiesReadTheirFieldsFromOneFetch) {
  // Every field holds its own offset, so a wrong index shows which field it read instead.
  for (Cardinal offset = 12; offset < sizeof(LINEDEVCAPS); offset += 4) {
    script.image.Set(offset, 0x10000 + offset);
  }
  ScriptedCaps caps(&line, script);
  const struct {
    Integer index;
    Cardinal field;
  } cases[] = {
      {0, offsetof(LINEDEVCAPS, dwProviderInfoSize)},
      {4, offsetof(LINEDEVCAPS, dwLineNameSize)},
      {5, offsetof(LINEDEVCAPS, dwLineNameOffset)},
      {6, offsetof(LINEDEVCAPS, dwPermanentLineID)},
      {7, offsetof(LINEDEVCAPS, dwStringFormat)},
      {12, offsetof(LINEDEVCAPS, dwMediaModes)},
      {18, offsetof(LINEDEVCAPS, dwMonitorDigitModes)},
      {35, offsetof(LINEDEVCAPS, dwUUICallInfoSize)},
      {36, offsetof(LINEDEVCAPS, dwNumTerminals)},
      {43, offsetof(LINEDEVCAPS, dwDevSpecificOffset)},
      {44, offsetof(LINEDEVCAPS, dwLineFeatures)},
      {47, offsetof(LINEDEVCAPS, dwDeviceClassesOffset)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(caps.GetDWORD(c.index), 0x10000 + c.field) << "index " << c.index;
  }
  EXPECT_EQ(caps.MediaModes(), caps.GetDWORD(12));
  EXPECT_EQ(caps.PermanentLineID(), caps.GetDWORD(6));
  EXPECT_EQ(caps.LineNameSize(), caps.GetDWORD(4));
  EXPECT_EQ(caps.GetDWORD(48), 0u);
  EXPECT_EQ(caps.GetDWORD(-1), 0u);
  EXPECT_EQ(script.Calls(), 1u);
}

TEST_F(LineCapsTest, TextsAreUtf16WhateverTheStringFormatSays) {
  script.image = ReceptionCaps();
  ScriptedCaps caps(&line, script);
  EXPECT_EQ(caps.ProviderInfo(), "Simulated switch");
  EXPECT_EQ(caps.SwitchInfo(), "PBX 7");
  EXPECT_EQ(caps.LineName(), "Reception \u00C4");
  EXPECT_EQ(caps.GetString(3), "");
  EXPECT_EQ(caps.GetString(-1), "");
}

TEST_F(LineCapsTest, TextDumpListsEveryPropertyFromPermanentLineIDOn) {
  script.image = ReceptionCaps();
  ScriptedCaps caps(&line, script);
  const std::string dump = caps.TextDump();
  const auto lines = SplitCrLf(dump);
  ASSERT_EQ(lines.size(), 46u);
  EXPECT_EQ(lines[0], "DeviceCaps of Reception \u00C4");
  EXPECT_EQ(lines[1], "  ProviderInfo = Simulated switch");
  EXPECT_EQ(lines[2], "  SwitchInfo = PBX 7");
  EXPECT_EQ(lines[3], "  LineName = Reception \u00C4");
  EXPECT_EQ(lines[4], "  PermanentLineID = x1A2B");
  EXPECT_EQ(lines[5], "  StringFormat = x1");
  EXPECT_EQ(lines[9], "  MaxRate = x0");
  EXPECT_EQ(lines[10], "  MediaModes = x14");
  EXPECT_EQ(lines[27], "  LineStates = xABCDEF");
  EXPECT_EQ(lines[45].rfind("  DeviceClassesOffset = x", 0), 0u);
  EXPECT_NE(dump.substr(dump.size() - 2), "\r\n");
  EXPECT_EQ(script.Calls(), 1u);
}

TEST_F(LineCapsTest, TextDumpOfUnreadableCapsStillHasEveryLine) {
  script.error = LINEERR_BADDEVICEID;
  ScriptedCaps caps(&line, script);
  const auto lines = SplitCrLf(caps.TextDump());
  ASSERT_EQ(lines.size(), 46u);
  EXPECT_EQ(lines[0], "DeviceCaps of ");
  EXPECT_EQ(lines[3], "  LineName = ");
  for (size_t i = 4; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].substr(lines[i].size() - 5), " = x0") << lines[i];
  }
}

TEST_F(LineCapsTest, FetchedOnceUntilInvalidated) {
  script.image = ReceptionCaps();
  ScriptedCaps caps(&line, script);
  EXPECT_EQ(caps.CachedData(), nullptr);
  EXPECT_EQ(caps.NumAddresses(), 2u);
  EXPECT_EQ(caps.LineName(), "Reception \u00C4");
  EXPECT_TRUE(caps.Available());
  EXPECT_NE(caps.LINEDEVCAPS(), nullptr);
  EXPECT_EQ(script.Calls(), 1u);

  script.image.Set(offsetof(LINEDEVCAPS, dwNumAddresses), 5);
  EXPECT_EQ(caps.NumAddresses(), 2u);
  caps.Invalidate();
  EXPECT_EQ(caps.CachedData(), nullptr);
  EXPECT_EQ(caps.NumAddresses(), 5u);
  EXPECT_EQ(script.Calls(), 2u);
}

TEST_F(LineCapsTest, FailedFetchIsSilentAndRetriedOnTheNextRead) {
  script.image = ReceptionCaps();
  script.error = LINEERR_NODEVICE;
  ScriptedCaps caps(&line, script);
  EXPECT_FALSE(caps.Available());
  EXPECT_FALSE(caps.Available());
  EXPECT_EQ(script.Calls(), 2u);
  EXPECT_EQ(caps.MediaModes(), 0u);
  EXPECT_EQ(caps.LineName(), "");
  EXPECT_EQ(caps.LINEDEVCAPS(), nullptr);
  EXPECT_EQ(caps.DeviceClasses().Count(), 0);

  script.error = 0;
  EXPECT_TRUE(caps.Available());
  EXPECT_TRUE(caps.Available());
  EXPECT_EQ(script.Calls(), 7u);  // six failed reads above, then one fetch
  // The empty list handed out while nothing could be read is not kept.
  EXPECT_EQ(caps.DeviceClasses().Count(), 2);
}

TEST_F(LineCapsTest, UpdateRefetchesAndRaisesTheTapiCode) {
  script.image = ReceptionCaps();
  ScriptedCaps caps(&line, script);
  EXPECT_EQ(caps.NumAddresses(), 2u);
  script.image.Set(offsetof(LINEDEVCAPS, dwNumAddresses), 3);
  caps.Update();
  EXPECT_EQ(caps.NumAddresses(), 3u);
  EXPECT_EQ(script.Calls(), 2u);

  script.error = LINEERR_NODEVICE;
  try {
    caps.Update();
    FAIL() << "Update did not raise";
  } catch (const EzvTapiError& e) {
    EXPECT_EQ(e.ErrorCode(), LINEERR_NODEVICE);
  }
  EXPECT_EQ(caps.CachedData(), nullptr);
  EXPECT_EQ(caps.NumAddresses(), 0u);
}

TEST_F(LineCapsTest, LargeAnswerTakesTwoQueries) {
  script.image = ReceptionCaps();
  script.image.PadTo(1398).Text(offsetof(LINEDEVCAPS, dwLineNameSize), u"Far");
  ASSERT_EQ(script.image.Size(), 1406u);
  ScriptedCaps caps(&line, script);
  EXPECT_EQ(caps.LineName(), "Far");
  EXPECT_EQ(script.seenSizes, (std::vector<Cardinal>{1024, 1408}));
}

TEST_F(LineCapsTest, DeviceClassesBuiltOncePerStructure) {
  script.image = ReceptionCaps();
  ScriptedCaps caps(&line, script);
  const TStringList& classes = caps.DeviceClasses();
  ASSERT_EQ(classes.Count(), 2);
  EXPECT_EQ(classes.Strings(0), "tapi/line");
  EXPECT_EQ(classes.Strings(1), "wave/in");
  EXPECT_EQ(&caps.DeviceClasses(), &classes);

  const std::u16string one(u"comm\0\0", 6);
  std::vector<uint8_t> raw(one.size() * 2);
  std::memcpy(raw.data(), one.data(), raw.size());
  script.image.Raw(offsetof(LINEDEVCAPS, dwDeviceClassesSize), raw);
  EXPECT_EQ(caps.DeviceClasses().Count(), 2);
  caps.Invalidate();
  EXPECT_EQ(classes.Count(), 0);
  ASSERT_EQ(caps.DeviceClasses().Count(), 1);
  EXPECT_EQ(caps.DeviceClasses().Strings(0), "comm");
}

TEST_F(LineCapsTest, NothingIsReadBeyondWhatTheProviderReturned) {
  script.image = ReceptionCaps();
  script.image.Set(offsetof(LINEDEVCAPS, dwNumTerminals), 4);
  // The provider claims a smaller, complete structure than it was given: fields past that are
  // not trusted, and a text reaching past it is empty.
  script.tamper = [](uint8_t* block) {
    const Cardinal total = 200;
    std::memcpy(block, &total, sizeof total);
    std::memcpy(block + 4, &total, sizeof total);
  };
  ScriptedCaps caps(&line, script);
  EXPECT_EQ(caps.MediaModes(), 0x14u);
  EXPECT_EQ(caps.NumTerminals(), 0u);
  EXPECT_EQ(caps.LineName(), "");

  // A text whose offset points far outside the block.
  script.tamper = nullptr;
  script.image.Set(offsetof(LINEDEVCAPS, dwLineNameOffset), 0xFFFFFFF0);
  caps.Invalidate();
  EXPECT_EQ(caps.LineName(), "");
  EXPECT_EQ(caps.NumTerminals(), 4u);
}

TEST_F(LineCapsTest, ReadsWithoutOwnerFailTheAssertion) {
  TzvTapiLineCaps caps(nullptr);
  for (const auto& read : {std::function<void()>([&] { caps.GetDWORD(0); }),
                           std::function<void()>([&] { caps.GetString(0); }),
                           std::function<void()>([&] { caps.LINEDEVCAPS(); })}) {
    EXPECT_EQ(AssertionText(read).rfind("Assertion fehlgeschlagen (zvTAPI, Zeile ", 0), 0u);
  }
  EXPECT_EQ(
      AssertionText([] { TzvTapiLineStatus status(nullptr); }).rfind("Assertion fehlgeschlagen", 0),
      0u);
}

TEST_F(LineCapsTest, CapsOfABoundLineComeFromItsDevice) {
  line.SetDeviceID(1);
  TzvTapiLineCaps caps(&line);
  EXPECT_EQ(caps.LineName(), "Sales");
  line.SetDeviceID(2);
  caps.Invalidate();
  EXPECT_EQ(caps.LineName(), "Support");
  EXPECT_EQ(SplitCrLf(caps.TextDump())[0], "DeviceCaps of Support");
}

// --- Line status ---------------------------------------------------------------------------

TEST_F(LineCapsTest, StatusIndexesAndInvalidIndex) {
  script.image = StructImage(sizeof(LINEDEVSTATUS));
  for (Cardinal offset = 12; offset < sizeof(LINEDEVSTATUS); offset += 4) {
    script.image.Set(offset, 0x20000 + offset);
  }
  ScriptedStatus status(&line, script);
  EXPECT_EQ(status.NumOpens(), 0x20000 + offsetof(LINEDEVSTATUS, dwNumOpens));
  EXPECT_EQ(status.LineFeatures(), 0x20000 + offsetof(LINEDEVSTATUS, dwLineFeatures));
  EXPECT_EQ(status.DevStatusFlags(), 0x20000 + offsetof(LINEDEVSTATUS, dwDevStatusFlags));
  // Index 12 skips the terminal-mode and device-specific fields.
  EXPECT_EQ(status.GetDWORD(12), 0x20000 + offsetof(LINEDEVSTATUS, dwAvailableMediaModes));
  EXPECT_EQ(AssertionText([&] {
              status.GetDWORD(13);
            }).rfind("TzvTapiLineStatus.GetDWORD failed! Invalid Index (zvTAPI, Zeile ", 0),
            0u);
  EXPECT_EQ(script.Calls(), 1u);
  EXPECT_EQ(script.seenSizes[0], 1024u);
}

TEST_F(LineCapsTest, StatusOfAClosedLineReadsZero) {
  script.error = LINEERR_INVALLINEHANDLE;
  ScriptedStatus status(&line, script);
  EXPECT_FALSE(status.Available());
  EXPECT_EQ(status.NumActiveCalls(), 0u);
  EXPECT_EQ(status.GetDWORD(13), 0u);  // no structure, so no index check
  EXPECT_EQ(status.LINEDEVSTATUS(), nullptr);
  EXPECT_THROW(status.Update(), EzvTapiError);

  // The same through TAPI itself, which refuses the closed line's handle 0.
  TzvTapiLineStatus real(&line);
  EXPECT_FALSE(real.Available());
  EXPECT_EQ(real.NumOpens(), 0u);
}

// --- Addresses -----------------------------------------------------------------------------

TEST_F(LineCapsTest, AddressCapsIndexesSkipTheDeviceSpecificFields) {
  TzvTapiAddress address(&line, 1);
  script.image = StructImage(sizeof(LINEADDRESSCAPS));
  for (Cardinal offset = 12; offset < sizeof(LINEADDRESSCAPS); offset += 4) {
    script.image.Set(offset, 0x30000 + offset);
  }
  script.image.Text(offsetof(LINEADDRESSCAPS, dwAddressSize), u"201");
  ScriptedAddressCaps caps(&address, script);
  EXPECT_EQ(caps.LineDeviceID(), 0x30000 + offsetof(LINEADDRESSCAPS, dwLineDeviceID));
  EXPECT_EQ(caps.Get_DWORD(3), 0x30000 + offsetof(LINEADDRESSCAPS, dwAddressSharing));
  EXPECT_EQ(caps.AddressStates(), 0x30000 + offsetof(LINEADDRESSCAPS, dwAddressStates));
  EXPECT_EQ(caps.Get_DWORD(51), 0x30000 + offsetof(LINEADDRESSCAPS, dwAvailableMediaModes));
  EXPECT_EQ(caps.Address(), "201");
  EXPECT_EQ(AssertionText([&] {
              caps.Get_DWORD(52);
            }).rfind("TzvTapiAddressCaps.Get_DWORD failed! Invalid index", 0),
            0u);
  EXPECT_EQ(AssertionText([&] {
              caps.GetString(1);
            }).rfind("TzvTapiAddressCaps.GetString failed! Invalid index", 0),
            0u);
  EXPECT_EQ(script.Calls(), 1u);
}

TEST_F(LineCapsTest, AddressWithoutReadableCapsIsNamedByItsID) {
  // An unbound line's address cannot be asked for its capabilities.
  TzvTapiAddress address(&line, 1);
  EXPECT_EQ(address.Init(), 0u);
  EXPECT_EQ(address.AddressID(), 1);
  EXPECT_EQ(address.AddressName(), "Address 1");
  EXPECT_EQ(address.LINEADDRESSCAPS(), nullptr);
  EXPECT_EQ(address.NumActiveCalls(), 0u);
  EXPECT_EQ(address.Caps()->Get_DWORD(99), 0u);
  EXPECT_EQ(AssertionText([&] {
              address.Get_StatusDWORD(7);
            }).rfind("TzvTapiAddress.Get_StatusDWORD: Invalid index", 0),
            0u);
}

TEST_F(LineCapsTest, AddressListOwnsItsAddressesInIDOrder) {
  TzvTapiAddressList list(&line);
  for (Cardinal id = 0; id < 3; ++id) {
    EXPECT_EQ(list.Add(std::make_unique<TzvTapiAddress>(&line, id)), static_cast<int>(id));
  }
  EXPECT_EQ(list.Get(2)->AddressID(), 2);
  list.Put(1, std::make_unique<TzvTapiAddress>(&line, 7));
  EXPECT_EQ(list.Get(1)->AddressID(), 7);
  list.Delete(0);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_THROW(list.Get(2), Exception);
  EXPECT_NO_THROW(list.InvalidateStatus());
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

}  // namespace
}  // namespace zvtapi
