// Forwarding through the library: the LINEFORWARDLIST a list builds, byte for byte; reading
// entries from an address status that lies about them; and whole stories against the switch:
// forward, read back, shrink, cancel, and a forwarding reply that arrives after its address has
// gone.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "line_test_support.h"
#include "tapi/forward.h"

namespace zvtapi::testing {
namespace {

using tapi32::ReplyMode;

std::u16string TextAt(const uint8_t* base, Cardinal offset) {
  return reinterpret_cast<const char16_t*>(base + offset);
}

// ---------------------------------------------------------------------------------------------
// The structure a list builds

TEST(ForwardListLayout, EmptyOneAndTwoEntriesAreLaidOutAsTapiDefinesThem) {
  TzvTapiForwardList empty;
  const ::LINEFORWARDLIST* none = empty.TapiData();
  EXPECT_EQ(none->dwTotalSize, 32u);
  EXPECT_EQ(none->dwNumEntries, 0u);

  TzvTapiForwardList one;
  one.AddEntry(LINEFORWARDMODE_UNCOND, "", 0, "210");
  const ::LINEFORWARDLIST* single = one.TapiData();
  EXPECT_EQ(single->dwTotalSize, 40u);
  EXPECT_EQ(single->dwNumEntries, 1u);
  EXPECT_EQ(single->ForwardList[0].dwForwardMode, LINEFORWARDMODE_UNCOND);
  EXPECT_EQ(single->ForwardList[0].dwCallerAddressSize, 0u);
  EXPECT_EQ(single->ForwardList[0].dwCallerAddressOffset, 0u);
  EXPECT_EQ(single->ForwardList[0].dwDestAddressSize, 8u);
  EXPECT_EQ(single->ForwardList[0].dwDestAddressOffset, 32u);
  const auto* bytes = reinterpret_cast<const uint8_t*>(single);
  EXPECT_EQ(TextAt(bytes, 32), u"210");

  TzvTapiForwardList two;
  two.AddEntry(LINEFORWARDMODE_BUSYSPECIFIC, "12", 49, "3456");
  two.AddEntry(LINEFORWARDMODE_NOANSW, "789", 0, "ABCDE");
  const ::LINEFORWARDLIST* both = two.TapiData();
  ASSERT_EQ(both->dwTotalSize, 56u + 6 + 10 + 8 + 12);
  std::vector<LINEFORWARD> entries(2);
  std::memcpy(entries.data(), reinterpret_cast<const uint8_t*>(both) + 8, 48);
  EXPECT_EQ(entries[0].dwDestCountryCode, 49u);
  EXPECT_EQ(entries[0].dwCallerAddressOffset, 56u);
  EXPECT_EQ(entries[0].dwCallerAddressSize, 6u);
  EXPECT_EQ(entries[0].dwDestAddressOffset, 62u);
  EXPECT_EQ(entries[0].dwDestAddressSize, 10u);
  EXPECT_EQ(entries[1].dwCallerAddressOffset, 72u);
  EXPECT_EQ(entries[1].dwCallerAddressSize, 8u);
  EXPECT_EQ(entries[1].dwDestAddressOffset, 80u);
  EXPECT_EQ(entries[1].dwDestAddressSize, 12u);
  bytes = reinterpret_cast<const uint8_t*>(both);
  EXPECT_EQ(TextAt(bytes, 56), u"12");
  EXPECT_EQ(TextAt(bytes, 62), u"3456");
  EXPECT_EQ(TextAt(bytes, 72), u"789");
  EXPECT_EQ(TextAt(bytes, 80), u"ABCDE");
}

// ---------------------------------------------------------------------------------------------
// Reading what a provider wrote

// An address status with two LINEFORWARD entries and their texts right behind the fixed part.
struct StatusImage {
  std::vector<uint8_t> bytes = std::vector<uint8_t>(sizeof(::LINEADDRESSSTATUS) + 48 + 24);
  ::LINEADDRESSSTATUS* Status() { return reinterpret_cast<::LINEADDRESSSTATUS*>(bytes.data()); }
  LINEFORWARD* Entry(int i) {
    return reinterpret_cast<LINEFORWARD*>(bytes.data() + sizeof(::LINEADDRESSSTATUS) + 24 * i);
  }
  StatusImage() {
    Status()->dwTotalSize = Status()->dwUsedSize = static_cast<Cardinal>(bytes.size());
    Status()->dwForwardNumEntries = 2;
    Status()->dwForwardSize = 48;
    Status()->dwForwardOffset = sizeof(::LINEADDRESSSTATUS);
    const Cardinal text = sizeof(::LINEADDRESSSTATUS) + 48;
    std::memcpy(bytes.data() + text, u"210", 8);
    std::memcpy(bytes.data() + text + 8, u"301", 8);
    std::memcpy(bytes.data() + text + 16, u"220", 8);
    *Entry(0) = {LINEFORWARDMODE_UNCOND, 0, 0, 0, 8, text};
    *Entry(1) = {LINEFORWARDMODE_BUSYSPECIFIC, 8, text + 8, 7, 8, text + 16};
  }
};

TEST(ForwardEntryReader, ReadsHonestEntriesAndNeverBeyondWhatTheProviderFilled) {
  StatusImage image;
  TzvTapiForward entry;
  entry.AssignLINEFORWARD(image.Status(), 1);
  EXPECT_EQ(entry.ForwardMode(), LINEFORWARDMODE_BUSYSPECIFIC);
  EXPECT_EQ(entry.CallerAddress(), "301");
  EXPECT_EQ(entry.DestCountryCode(), 7u);
  EXPECT_EQ(entry.DestAddress(), "220");
  entry.AssignLINEFORWARD(image.Status(), 2);
  EXPECT_EQ(entry.ForwardMode(), 0u) << "beyond the entries: cleared";
  EXPECT_EQ(entry.DestAddress(), "");
  entry.AssignLINEFORWARD(nullptr, 0);
  EXPECT_EQ(entry.ForwardMode(), 0u);

  // A text beyond dwUsedSize reads empty, though the bytes are there.
  image.Status()->dwUsedSize -= 8;
  entry.AssignLINEFORWARD(image.Status(), 1);
  EXPECT_EQ(entry.CallerAddress(), "301");
  EXPECT_EQ(entry.DestAddress(), "");
  // A size that wraps around reads empty too.
  image.Entry(1)->dwCallerAddressSize = 0xFFFFFFFC;
  entry.AssignLINEFORWARD(image.Status(), 1);
  EXPECT_EQ(entry.CallerAddress(), "");
  // An entry count far beyond the structure counts only the entries that lie inside it.
  image.Status()->dwForwardNumEntries = 0x7FFFFFFF;
  EXPECT_EQ(ForwardEntryCount(image.Status()), 2u);
  image.Status()->dwForwardOffset = 0xFFFFFFF0;
  EXPECT_EQ(ForwardEntryCount(image.Status()), 0u);
  entry.AssignLINEFORWARD(image.Status(), 0);
  EXPECT_EQ(entry.ForwardMode(), 0u) << "an array outside the structure gives nothing";
}

// ---------------------------------------------------------------------------------------------
// Stories against the switch

class Forwarding : public LineTest {
 protected:
  void SetUp() override {
    LineTest::SetUp();
    tapi32::sim::Config config = SmallOffice();
    const char* numbers[] = {"200", "210", "220"};
    for (size_t i = 0; i < config.lines.size(); ++i)
      config.lines[i].addressNames = {numbers[i]};
    config.lines[0].forwardConsult = true;
    Switch().Reset(config);
  }
  static std::string DestOf(TzvTapiForwardList& list, int index) {
    return list.Get(index)->DestAddress();
  }
};

TEST_F(Forwarding, ForwardToSendsCallsToTheDestinationAndTheStatusShowsIt) {
  LineUnderTest reception;
  LineUnderTest sales;
  OpenOn(reception, 0);
  OpenOn(sales, 1);
  TzvTapiAddress* address = sales.Get_AddressByName("210");
  ASSERT_NE(address, nullptr);
  address->ForwardTo("220");
  TzvTapiForwardList& list = address->ForwardList();
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Get(0)->ForwardMode(), LINEFORWARDMODE_UNCOND);
  EXPECT_EQ(DestOf(list, 0), "220");
  EXPECT_EQ(address->ForwardNumEntries(), 1u);
  EXPECT_EQ(address->ForwardCallHandle(), 0u) << "this line forwards without a consultation call";

  // GetForwardList reads the same from the cached status.
  TzvTapiForwardList copy;
  sales.GetForwardList(address, &copy);
  ASSERT_EQ(copy.Count(), 1);
  EXPECT_EQ(DestOf(copy, 0), "220");

  const uint32_t call = Switch().OfferCall(1, 0, Caller("5550100", "Ann"));
  EXPECT_TRUE(Switch().CallsOnLine(1).empty());
  EXPECT_EQ(Switch().CallSnapshot(call).deviceId, 2u);
  EXPECT_EQ(Switch().CallSnapshot(call).reason, LINECALLREASON_FWDUNCOND);

  // Cancelled: the list empties and calls ring at the address again.
  address->ChangeForwardList(nullptr, 0, nullptr);
  EXPECT_EQ(address->ForwardList().Count(), 0);
  const uint32_t next = Switch().OfferCall(1, 0, Caller("5550100", "Ann"));
  EXPECT_EQ(Switch().CallSnapshot(next).deviceId, 1u);
  ASSERT_TRUE(PumpUntil([&] { return sales.Calls().Count() == 1; }));
}

TEST_F(Forwarding, TheStatusListIsRefreshedInPlaceAndShrinksFromTheEnd) {
  LineUnderTest sales;
  OpenOn(sales, 1);
  TzvTapiAddress* address = sales.Addresses().Get(0);
  TzvTapiForwardList three;
  three.AddEntry(LINEFORWARDMODE_BUSY, "", 0, "200");
  three.AddEntry(LINEFORWARDMODE_NOANSW, "", 0, "220");
  three.AddEntry(LINEFORWARDMODE_UNCONDSPECIFIC, "+1 555 0142", 0, "200");
  address->ChangeForwardList(&three, 5, nullptr);
  TzvTapiForwardList& list = address->ForwardList();
  ASSERT_EQ(list.Count(), 3);
  TzvTapiForward* first = list.Get(0);
  EXPECT_EQ(list.Get(2)->CallerAddress(), "+1 555 0142");
  EXPECT_EQ(address->NumRingsNoAnswer(), 5u);

  TzvTapiForwardList one;
  one.AddEntry(LINEFORWARDMODE_UNCOND, "", 0, "220");
  address->ChangeForwardList(&one, 5, nullptr);
  TzvTapiForwardList& again = address->ForwardList();
  EXPECT_EQ(&again, &list);
  ASSERT_EQ(again.Count(), 1);
  EXPECT_EQ(again.Get(0), first) << "the first entry object is kept";
  EXPECT_EQ(first->ForwardMode(), LINEFORWARDMODE_UNCOND);
  EXPECT_EQ(first->DestAddress(), "220");

  // Closed, the status cannot be read: an empty list, and GetForwardList refuses.
  sales.SetActive(false);
  EXPECT_EQ(address->ForwardList().Count(), 0);
  TzvTapiForwardList copy;
  try {
    sales.GetForwardList(address, &copy);
    ADD_FAILURE() << "no exception";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "GetForwardList failed! Device not active.");
  }
}

TEST_F(Forwarding, ARefusedForwardingRaisesTheCodeAndTheConsultationCallArrives) {
  LineUnderTest reception;
  OpenOn(reception, 0);
  TzvTapiAddress* address = reception.Addresses().Get(0);
  try {
    address->ForwardTo("no number");
    ADD_FAILURE() << "no exception";
  } catch (const EzvTapiError& e) {
    EXPECT_EQ(e.ErrorCode(), LINEERR_INVALADDRESS);
  }
  // The reception opens a consultation call to the destination; the address gets its handle
  // and the line a call object for it.
  TzvTapiCallParams params;
  params.SetAddressMode(LINEADDRESSMODE_ADDRESSID);
  TzvTapiForwardList list;
  list.AddEntry(LINEFORWARDMODE_UNCOND, "", 0, "210");
  address->ChangeForwardList(&list, 2, &params);
  EXPECT_NE(address->ForwardCallHandle(), 0u);
  ASSERT_NE(address->ForwardCallParams(), nullptr);
  ASSERT_TRUE(PumpUntil([&] { return reception.Calls().Count() == 1; }));
  EXPECT_EQ(reception.Calls().Get(0)->Handle(), address->ForwardCallHandle());
  EXPECT_EQ(reception.Calls().Get(0)->State(), LINECALLSTATE_DIALTONE);
}

// The address object goes (the line builds its addresses again, as on re-initialisation) while
// its forwarding request waits for the reply; the late reply still writes TAPI's consultation
// handle, but into the line's cell only. Under AddressSanitizer a write into the freed address
// would stop the test.
TEST_F(Forwarding, AReplyAfterTheAddressHasGoneWritesNothingIntoIt) {
  LineUnderTest reception;
  OpenOn(reception, 0);
  reception.Options().SetSyncMode(false);
  Switch().SetReplyMode("lineForwardW", ReplyMode::Silent());
  reception.Addresses().Get(0)->ForwardTo("210");
  const DWORD request = OnlyPendingRequest();
  reception.CreateAddresses();
  ASSERT_TRUE(Switch().CompleteRequest(request, 0));
  bool replied = false;
  reception.SetOnTapiReply([&](TObject*, Cardinal id, Cardinal) { replied = id == request; });
  ASSERT_TRUE(PumpUntil([&] { return replied; }));
  // The new address object knows nothing of the old request; the consultation call is there.
  EXPECT_EQ(reception.Addresses().Get(0)->ForwardCallHandle(), 0u);
  ASSERT_TRUE(PumpUntil([&] { return reception.Calls().Count() == 1; }));

  // The same with the line closed before the reply (a cancellation this time: the consultation
  // call takes the station): the cell goes with the close.
  reception.Addresses().Get(0)->ChangeForwardList(nullptr, 0, nullptr);
  const DWORD second = OnlyPendingRequest();
  reception.SetActive(false);
  Switch().CompleteRequest(second, 0);
  platform::DispatchPendingMessages();
}

TEST_F(Forwarding, MakeCallFromAnAddressChoosesThatAddress) {
  LineUnderTest reception;
  OpenOn(reception, 0);
  TzvTapiCall* call = reception.Addresses().Get(0)->MakeCall("");
  ASSERT_NE(call, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return call->Handle() != 0; }));
  EXPECT_EQ(Switch().CallSnapshot(Switch().CallIdOf(call->Handle())).addressId, 0u);
  reception.SetActive(false);
  try {
    reception.Addresses().Get(0)->MakeCall("210");
    ADD_FAILURE() << "no exception";
  } catch (const std::exception& e) {
    EXPECT_NE(std::string(e.what()).find("not active"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace zvtapi::testing
