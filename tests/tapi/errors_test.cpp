// Error codes and their texts, the library assertion, and the locked lists.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/module.h"
#include "tapi/errors.h"
#include "tapi/protected_list.h"
#include "tapi32/tapi.h"

namespace zvtapi {
namespace {

TEST(ErrorTexts, MessageIDsFollowTheThreeFamilies) {
  EXPECT_EQ(TapiErrorMessageID(LINEERR_OPERATIONFAILED), 0xE048u);
  EXPECT_EQ(TapiErrorMessageID(PHONEERR_NODEVICE), 0xF018u);
  EXPECT_EQ(TapiErrorMessageID(TAPIERR_REQUESTFAILED), 0xFFF0u);
  EXPECT_EQ(TapiErrorMessageID(0xFFFFFFFFu), 0xFFFFu);
}

TEST(ErrorTexts, TablesFirstThenTheFallback) {
  const std::string text = TapiErrorText(LINEERR_OPERATIONFAILED);
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(text.find("TAPI-Error"), std::string::npos) << "TAPI32.DLL knows this code";
  EXPECT_EQ(text, LoadModuleMessage("TAPI32.DLL", 0xE048));
  EXPECT_EQ(text.back() != '\n' && text.front() != ' ', true) << "texts come trimmed";
  // A code no table knows.
  EXPECT_EQ(TapiErrorText(0x8000FFFFu), "TAPI-Error 0x8000FFFF");
  EXPECT_EQ(LoadModuleMessage("NOSUCH.DLL", 1), "");
  // Results that are not errors get the platform's text for success.
  EXPECT_EQ(TapiErrorText(5), platform::SystemErrorText(0));
  EXPECT_EQ(TapiErrorText(0), platform::SystemErrorText(0));
}

TEST(ErrorTexts, CheckTapiResultRaisesOnlyNegativeCodes) {
  EXPECT_EQ(CheckTapiResult(5), 5u);
  EXPECT_EQ(CheckTapiResult(0), 0u);
  try {
    CheckTapiResult(LINEERR_STRUCTURETOOSMALL);
    FAIL() << "no exception";
  } catch (const EzvTapiError& e) {
    EXPECT_EQ(e.ErrorCode(), LINEERR_STRUCTURETOOSMALL);
    EXPECT_EQ(e.Message(), TapiErrorText(LINEERR_STRUCTURETOOSMALL));
  }
  EXPECT_EQ(EzvTapiError::CreateCode(LINEERR_NOMEM, "given").Message(), "given");
  EXPECT_THROW(CheckCondition(false, "nope"), Exception);
  EXPECT_NO_THROW(CheckCondition(true, "fine"));
}

TEST(Assertion, NamesTheUnitAndLine) {
  try {
    ZV_ASSERT(1 + 1 == 3);
    FAIL() << "no exception";
  } catch (const EAssertionFailed& e) {
    const std::string expected =
        "Assertion fehlgeschlagen (zvTAPI, Zeile " + std::to_string(__LINE__ - 4) + ")";
    EXPECT_EQ(e.Message(), expected);
  }
  try {
    ZV_ASSERT_MSG(false, "Invalid thing");
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Message().rfind("Invalid thing (zvTAPI, Zeile ", 0), 0u) << e.Message();
  }
}

TEST(ProtectedList, LockIsReentrantAndTimesOutForOtherThreads) {
  TProtectedList<int> list;
  ASSERT_TRUE(list.Acquire(10));
  ASSERT_TRUE(list.Acquire(10));  // the same thread again
  std::atomic<int> otherResult{-1};
  auto tryFromOtherThread = [&](uint32_t timeout) {
    std::thread([&, timeout] {
      otherResult = list.Acquire(timeout) ? 1 : 0;
      if (otherResult == 1) list.Release();
    }).join();
  };
  const auto start = std::chrono::steady_clock::now();
  tryFromOtherThread(10);
  EXPECT_EQ(otherResult, 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(8));
  list.Release();
  tryFromOtherThread(10);
  EXPECT_EQ(otherResult, 0) << "one release is not enough after two acquisitions";
  list.Release();
  tryFromOtherThread(1000);
  EXPECT_EQ(otherResult, 1);
}

TEST(ProtectedList, AbandonedLockFailsOnceAndIsFreeAgain) {
  TProtectedList<int> list;
  std::thread([&] { ASSERT_TRUE(list.Acquire(10)); }).join();  // ends holding it
  EXPECT_FALSE(list.Acquire(100)) << "an abandoned lock is not obtained normally";
  std::atomic<bool> other{false};
  std::thread([&] {
    other = list.Acquire(100);
    if (other) list.Release();
  }).join();
  EXPECT_TRUE(other) << "and it is not kept by the thread that noticed";
}

struct Counted {
  explicit Counted(int& live) : live(live) { ++live; }
  ~Counted() { --live; }
  int& live;
};

TEST(ProtectedList, ObjectListFreesWhatItHolds) {
  int live = 0;
  {
    TProtectedObjectList<Counted> list;
    for (int i = 0; i < 3; ++i)
      list.Add(std::make_unique<Counted>(live));
    list.Delete(0);
    EXPECT_EQ(live, 2);
    std::unique_ptr<Counted> kept = list.Extract(0);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(live, 2);
    EXPECT_THROW(list.Delete(5), Exception);
  }
  EXPECT_EQ(live, 0);
}

}  // namespace
}  // namespace zvtapi
