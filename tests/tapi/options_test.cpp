// Options and privileges: defaults, the rules that keep the line's "none" privilege exclusive,
// the privilege text, and the phone's owner-or-monitor choice.
#include <gtest/gtest.h>

#include "tapi/errors.h"
#include "tapi/options.h"
#include "tapi32/tapi.h"

namespace zvtapi {
namespace {

TEST(Options, Defaults) {
  TzvTapiLineOptions line;
  EXPECT_EQ(line.ReplyTimeout(), 60000u);
  EXPECT_TRUE(line.SyncMode());
  EXPECT_EQ(line.AutoFreeIdleCalls(), 500);
  EXPECT_EQ(line.AutoDropDiscCalls(), 500);
  TzvTapiPhoneOptions phone;
  EXPECT_EQ(phone.ReplyTimeout(), 60000u);
  EXPECT_TRUE(phone.SyncMode());
}

TEST(LinePrivileges, DefaultsAreOwnerAndMonitor) {
  TzvTapiLinePrivileges p;
  EXPECT_TRUE(p.AutoSelect());
  EXPECT_TRUE(p.Owner());
  EXPECT_TRUE(p.Monitor());
  EXPECT_FALSE(p.None());
  EXPECT_EQ(p.Value(), 6u);
  EXPECT_EQ(p.Text(), "OWNER+MONITOR");
}

TEST(LinePrivileges, NoneStaysExclusive) {
  TzvTapiLinePrivileges p;
  p.SetOwner(false);
  EXPECT_FALSE(p.None()) << "monitor is still set";
  EXPECT_EQ(p.Value(), LINECALLPRIVILEGE_MONITOR);
  p.SetMonitor(false);
  EXPECT_TRUE(p.None());
  EXPECT_EQ(p.Value(), 1u);
  EXPECT_EQ(p.Text(), "NONE");

  p.SetOwner(true);
  EXPECT_FALSE(p.None());
  EXPECT_EQ(p.Value(), LINECALLPRIVILEGE_OWNER);
  p.SetMonitor(true);
  p.SetNone(true);
  EXPECT_FALSE(p.Owner());
  EXPECT_FALSE(p.Monitor());
  EXPECT_EQ(p.Value(), 1u);

  p.SetMonitor(true);
  EXPECT_FALSE(p.None());
  p.SetOwner(false);  // monitor remains
  EXPECT_FALSE(p.None());
  p.SetNone(false);  // clearing none sets nothing else
  EXPECT_EQ(p.Value(), LINECALLPRIVILEGE_MONITOR);
}

TEST(LinePrivileges, IndexedAccessAndRawValues) {
  TzvTapiLinePrivileges p;
  p.SetValue(7);
  EXPECT_TRUE(p.None());
  EXPECT_TRUE(p.Owner());
  EXPECT_TRUE(p.Monitor()) << "writing Value applies no consistency rule";
  EXPECT_EQ(p.Text(), "OWNER+MONITOR+NONE");
  p.SetValue(0xF2);  // unknown bits are ignored
  EXPECT_EQ(p.Value(), LINECALLPRIVILEGE_MONITOR);
  EXPECT_TRUE(p.GetPrivilege(0));
  EXPECT_FALSE(p.GetPrivilege(1));
  EXPECT_FALSE(p.GetPrivilege(2));
  EXPECT_EQ(p.GetPrivilege(9), p.Owner()) << "any other index reads Owner";
  p.SetPrivilege(9, true);  // ... but writes nothing
  EXPECT_EQ(p.Value(), LINECALLPRIVILEGE_MONITOR);
}

TEST(PhonePrivileges, OwnerAndMonitorAreAlwaysOpposite) {
  TzvTapiPhonePrivileges p;
  EXPECT_TRUE(p.AutoSelect());
  EXPECT_TRUE(p.Owner());
  EXPECT_FALSE(p.Monitor());
  EXPECT_EQ(p.Value(), PHONEPRIVILEGE_OWNER);
  p.SetMonitor(true);
  EXPECT_FALSE(p.Owner());
  EXPECT_EQ(p.Value(), PHONEPRIVILEGE_MONITOR);
  p.SetPrivilege(5, false);  // any index but 1 is Monitor
  EXPECT_TRUE(p.Owner());
  p.SetValue(PHONEPRIVILEGE_MONITOR);
  EXPECT_TRUE(p.Monitor());
}

TEST(PhonePrivileges, OnlyOwnerOrMonitorCanBeWritten) {
  TzvTapiPhonePrivileges p;
  p.SetValue(PHONEPRIVILEGE_MONITOR);
  for (Cardinal bad : {0u, 3u, 4u}) {
    try {
      p.SetValue(bad);
      FAIL() << "no exception for " << bad;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), "Invalid set of PHONEPRIVILEGE_ constants");
    }
    EXPECT_EQ(p.Value(), PHONEPRIVILEGE_MONITOR) << "nothing changed";
  }
}

}  // namespace
}  // namespace zvtapi
