// The phone's structure readers on provider answers made to measure: which field each index
// reads, the button and lamp arrays and their bounds, the status fields PHONE_STATE patches,
// and the hook-switch objects' refusals before anything is sent.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "tapi/errors.h"
#include "tapi/phone.h"
#include "tests/tapi/struct_image_support.h"
#include "tests/tapi/tapi_test_support.h"

namespace zvtapi::testing {
namespace {

// A cache whose provider answers with a chosen image, or fails when there is none.
template <class Cache>
class ImageCache : public Cache {
 public:
  explicit ImageCache(TzvCustomTapiPhone* phone) : Cache(phone) {}
  const StructImage* image = nullptr;
  int queries = 0;

 protected:
  int32_t Query(void* structure) override {
    ++queries;
    if (!image) return static_cast<int32_t>(PHONEERR_OPERATIONFAILED);
    return image->Answer(structure);
  }
};

StructImage CapsWithButtons() {
  StructImage caps(sizeof(PHONECAPS));
  for (Cardinal k = 3; k < 45; ++k)
    caps.Set(4 * k, 0x1000 + k);
  caps.Text(offsetof(PHONECAPS, dwProviderInfoSize), u"Provider");
  caps.Text(offsetof(PHONECAPS, dwPhoneInfoSize), u"Info");
  caps.Text(offsetof(PHONECAPS, dwPhoneNameSize), u"Desk");
  caps.Text(offsetof(PHONECAPS, dwDevSpecificSize), u"Dev");
  caps.Raw(offsetof(PHONECAPS, dwButtonModesSize), {8, 0, 0, 0, 2, 0, 0, 0, 4, 0, 0, 0});
  caps.Raw(offsetof(PHONECAPS, dwButtonFunctionsSize), {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0});
  caps.Raw(offsetof(PHONECAPS, dwLampModesSize), {0x80, 0, 0, 0, 0x2, 0, 0, 0, 0x4, 0, 0, 0});
  return caps;
}

class PhoneStructures : public TapiTest {
 protected:
  TzvCustomTapiPhone phone{nullptr};
};

TEST_F(PhoneStructures, CapsIndicesReadTheirFieldsAndTextsTheirStrings) {
  const StructImage image = CapsWithButtons();
  ImageCache<TzvTapiPhoneCaps> caps(&phone);
  caps.image = &image;
  EXPECT_EQ(caps.PermanentPhoneID(), 0x1007u);
  EXPECT_EQ(caps.HookSwitchDevs(), 0x100Cu);
  EXPECT_EQ(caps.PhoneFeatures(), 0x1026u);
  EXPECT_EQ(caps.MonitoredHeadsetHookSwitchModes(), 0x102Cu);
  EXPECT_EQ(caps.Get_String(0), "Provider");
  EXPECT_EQ(caps.Get_String(1), "Info");
  EXPECT_EQ(caps.PhoneName(), "Desk");
  EXPECT_EQ(caps.Get_String(7), "Dev");
  EXPECT_EQ(caps.Get_String(3), "");
  EXPECT_EQ(caps.Get_String(8), "");
  EXPECT_EQ(caps.queries, 1) << "one fetch between invalidations";
  try {
    caps.Get_DWORD(45);
    ADD_FAILURE() << "index 45 accepted";
  } catch (const EAssertionFailed& e) {
    EXPECT_NE(std::string(e.what()).find("TapiPhoneCaps.Get_DWORD failed! Invalid index"),
              std::string::npos);
  }
}

TEST_F(PhoneStructures, ButtonAndLampArraysAreReadByIDAndEndAtTheirSize) {
  const StructImage image = CapsWithButtons();
  ImageCache<TzvTapiPhoneCaps> caps(&phone);
  caps.image = &image;
  EXPECT_EQ(caps.Get_ButtonMode(0), 8u);
  EXPECT_EQ(caps.Get_ButtonMode(2), 4u);
  EXPECT_EQ(caps.Get_ButtonFunction(1), 2u);
  EXPECT_EQ(caps.Get_LampMode(0), 0x80u);
  EXPECT_EQ(caps.Get_LampMode(1), 0x2u);
  EXPECT_EQ(caps.Get_LampMode(2), 0x4u);
  const std::pair<Cardinal (TzvTapiPhoneCaps::*)(Cardinal), const char*> readers[] = {
      {&TzvTapiPhoneCaps::Get_ButtonMode, "TzvTapiPhoneCaps.Get_ButtonMode failed! Invalid Index"},
      {&TzvTapiPhoneCaps::Get_ButtonFunction,
       "TzvTapiPhoneCaps.Get_ButtonFunction failed! Invalid Index"},
      {&TzvTapiPhoneCaps::Get_LampMode, "TzvTapiPhoneCaps.Get_LampMode failed! Invalid Index"},
  };
  for (const auto& [reader, message] : readers) {
    try {
      (caps.*reader)(3);
      ADD_FAILURE() << message << " not raised";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), message);
    }
  }
}

TEST_F(PhoneStructures, NothingFetchedReadsZeroAndEmpty) {
  ImageCache<TzvTapiPhoneCaps> caps(&phone);
  EXPECT_FALSE(caps.Available());
  EXPECT_EQ(caps.Get_DWORD(99), 0u) << "no assertion without a structure";
  EXPECT_EQ(caps.Get_LampMode(5), 0u);
  EXPECT_EQ(caps.PhoneName(), "");
  EXPECT_EQ(caps.DeviceClasses().Count(), 0);
  ImageCache<TzvTapiPhoneStatus> status(&phone);
  EXPECT_EQ(status.Get_DWORD(99), 0u);
  EXPECT_EQ(status.Get_String(9), "");
  EXPECT_FALSE(status.Set_DWORD(4, 3));
}

StructImage StatusWithLamps() {
  StructImage status(sizeof(PHONESTATUS));
  status.Set(offsetof(PHONESTATUS, dwNumOwners), 1);
  status.Text(offsetof(PHONESTATUS, dwOwnerNameSize), u"Owner app");
  status.Raw(offsetof(PHONESTATUS, dwLampModesSize), {0x2, 0, 0, 0, 0x80, 0, 0, 0});
  return status;
}

TEST_F(PhoneStructures, StatusLampModesArePatchedOnlyInsideTheCachedArray) {
  const StructImage image = StatusWithLamps();
  ImageCache<TzvTapiPhoneStatus> status(&phone);
  status.Set_LampMode(0, 0x4);
  EXPECT_EQ(status.queries, 0) << "patching fetches nothing";
  status.image = &image;
  EXPECT_EQ(status.Get_LampMode(1), 0x80u);
  status.Set_LampMode(1, 0x8);
  status.Set_LampMode(2, 0x8);  // past the end: nothing
  EXPECT_EQ(status.Get_LampMode(0), 0x2u);
  EXPECT_EQ(status.Get_LampMode(1), 0x8u);
  EXPECT_THROW(status.Get_LampMode(2), Exception);
  EXPECT_TRUE(status.Set_DWORD(4, 3));
  EXPECT_EQ(status.NumOwners(), 3u);
  EXPECT_EQ(status.OwnerName(), "Owner app");
  EXPECT_EQ(status.Get_String(1), "");
  EXPECT_THROW(status.Get_String(4), EAssertionFailed);
  EXPECT_THROW(status.Get_DWORD(26), EAssertionFailed);
  status.Invalidate();
  EXPECT_EQ(status.NumOwners(), 1u) << "the provider's value after the next fetch";
}

TEST_F(PhoneStructures, HookSwitchWritesAreRefusedOnAClosedPhoneAndBadDevicesRaise) {
  TzvTapiPhoneHookSwitch handset(&phone, PHONEHOOKSWITCHDEV_HANDSET);
  try {
    handset.SetOnHook(false);
    ADD_FAILURE() << "a closed phone took a hook-switch request";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Phone device not active");
  }
  TzvTapiPhoneHookSwitch orphan(nullptr, PHONEHOOKSWITCHDEV_SPEAKER);
  try {
    orphan.SetVolume(1);
    ADD_FAILURE() << "a hook switch without phone took a request";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "No phone device");
  }
  EXPECT_FALSE(orphan.Available());
  EXPECT_FALSE(orphan.VolumeAvailable());
  TzvTapiPhoneHookSwitch both(&phone, PHONEHOOKSWITCHDEV_HANDSET | PHONEHOOKSWITCHDEV_SPEAKER);
  try {
    both.OnHook();
    ADD_FAILURE() << "two devices at once read as one";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Invalid HookSwitchDevice");
  }
  EXPECT_THROW(both.Volume(), EAssertionFailed);
  EXPECT_THROW(TzvTapiPhoneHookSwitch(&phone, 0x8), EAssertionFailed);
}

TEST_F(PhoneStructures, KeypadTableMapsIDsZeroToElevenAndNothingElse) {
  const std::u16string keys = u"0123456789*#";
  for (Cardinal id = 0; id < 12; ++id)
    EXPECT_EQ(TzvCustomTapiPhone::KeypadKey(id), keys[id]);
  EXPECT_EQ(TzvCustomTapiPhone::KeypadKey(12), u'\0');
}

TEST_F(PhoneStructures, ClosedPhoneRefusesDisplayRingAndDeviceSpecificRequests) {
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[&] { phone.SetDisplay(0, 0, "x"); }, "SetDisplay failed! Device not active."},
      {[&] { phone.Display().SetText("x"); }, "SetDisplay failed! Device not active."},
      {[&] { phone.SetRing(nullptr, 1, 1); }, "SetRing failed! Device not active."},
      {[&] {
         char block[4] = {};
         phone.DevSpecific(block, sizeof block);
       },
       "TAPI device not active."},
  };
  for (const auto& [request, message] : cases) {
    try {
      request();
      ADD_FAILURE() << message << " not raised";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), message);
    }
  }
}

}  // namespace
}  // namespace zvtapi::testing
