// The application object: TAPI initialisation and shutdown, the message path to the
// user-interface thread and its routing, and the device catalogue.
#include <gtest/gtest.h>

#include "tapi/event_thread.h"
#include "tapi/requests.h"
#include "tapi_test_support.h"

namespace zvtapi::testing {
namespace {

using Lifecycle = TapiTest;

TEST_F(Lifecycle, InitialisesListsDevicesAndShutsDownAgain) {
  int initialised = 0, shutdowns = 0;
  Appl().SetOnInitialize([&](TObject* sender) {
    EXPECT_EQ(sender, &Appl());
    ++initialised;
  });
  Appl().SetOnShutdown([&](TObject*) { ++shutdowns; });

  Appl().SetActive(true);
  ASSERT_TRUE(Appl().Active());
  EXPECT_EQ(initialised, 1);
  ASSERT_EQ(Appl().LineDevices().Count(), 3);
  EXPECT_EQ(Appl().LineDevices().Strings(1), "Sales");
  EXPECT_NE(Appl().LineDevices().Objects(1), 0u) << "permanent line ID kept with the name";
  ASSERT_EQ(Appl().PhoneDevices().Count(), 1);
  EXPECT_EQ(Appl().PhoneDevices().Strings(0), "Desk phone");

  // A second Init leaves the handles alone.
  const Cardinal lineApp = Appl().LineApp();
  EXPECT_EQ(Appl().Init("again"), LINEERR_NOMULTIPLEINSTANCE);
  EXPECT_EQ(Appl().LineApp(), lineApp);
  Appl().Initialize();  // active: nothing happens
  EXPECT_EQ(initialised, 1);

  Appl().SetActive(false);
  EXPECT_FALSE(Appl().Active());
  EXPECT_EQ(shutdowns, 1);
  EXPECT_TRUE(Switch().LineApps().empty());
  EXPECT_TRUE(Switch().PhoneApps().empty());
  EXPECT_EQ(Appl().LineDevices().Count(), 3) << "names survive the shutdown";
  EXPECT_EQ(Appl().Done(), 0u);
  EXPECT_EQ(shutdowns, 1) << "Done on an inactive object fires nothing";

  // A second initialisation gets fresh handles and messages flow again.
  Appl().Initialize();
  ASSERT_TRUE(Appl().Active());
  int seen = 0;
  Appl().SetOnTapiMessage(
      [&](TObject*, Cardinal, Cardinal, Cardinal, Cardinal, Cardinal, Cardinal) { ++seen; });
  PostLine(0, LINE_DEVSPECIFIC, 0);
  EXPECT_TRUE(PumpUntil([&] { return seen == 1; }));
}

TEST_F(Lifecycle, FailingPhoneInitialisationReleasesTheLineApplication) {
  Switch().FailNext("phoneInitializeExW", static_cast<LONG>(PHONEERR_NOMEM));
  EXPECT_EQ(Appl().Init("test"), PHONEERR_NOMEM);
  EXPECT_FALSE(Appl().Active());
  EXPECT_EQ(Appl().LineApp(), 0u);
  EXPECT_EQ(Appl().PhoneApp(), 0u);
  EXPECT_TRUE(Switch().LineApps().empty()) << "the line application must be shut down again";
  EXPECT_EQ(Appl().LineDevices().Count(), 3) << "names read during the attempt stay";
  // The next attempt starts from a clean state.
  EXPECT_EQ(Appl().Init("test"), 0u);
  EXPECT_TRUE(Appl().Active());
}

TEST_F(Lifecycle, InitializeTriesFiveTimesThenRaisesTheTapiError) {
  Switch().FailAlways("lineInitializeExW", static_cast<LONG>(LINEERR_REINIT));
  try {
    Appl().Initialize();
    FAIL() << "no exception";
  } catch (const EzvTapiError& e) {
    EXPECT_EQ(e.ErrorCode(), LINEERR_REINIT);
    EXPECT_FALSE(e.Message().empty());
  }
  EXPECT_EQ(Switch().CallCount("lineInitializeExW"), 5u);
  EXPECT_FALSE(Appl().Active());

  // A transient failure is ridden out.
  Switch().ClearFaults();
  Switch().FailNext("lineInitializeExW", static_cast<LONG>(LINEERR_REINIT));
  Appl().Initialize();
  EXPECT_TRUE(Appl().Active());
}

TEST_F(Lifecycle, AppNameCannotChangeWhileActive) {
  Appl().Set_AppName("Monitor");
  Appl().Initialize();
  EXPECT_THROW(Appl().Set_AppName("Other"), Exception);
  try {
    Appl().Set_AppName("Other");
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "zvTapiApplication.Set_AppName failed! zvTapiApplication is Active");
  }
  EXPECT_EQ(Appl().AppName(), "Monitor");
  Appl().Shutdown();
  Appl().Set_AppName(TzvTapiApplication::GetDefaultAppName());
}

TEST_F(Lifecycle, ShutdownWithMessagesStillQueuedDropsThem) {
  Appl().Initialize();
  int seen = 0;
  Appl().SetOnTapiMessage(
      [&](TObject*, Cardinal, Cardinal, Cardinal, Cardinal, Cardinal, Cardinal) { ++seen; });
  // A running wait keeps the notifications from processing the queue.
  Appl().BeginWait();
  for (int i = 0; i < 25; ++i)
    PostLine(0, LINE_DEVSPECIFIC, 0, static_cast<Cardinal>(i));
  ASSERT_TRUE(PumpUntil([&] {
    TLockGuard lock(Appl().MsgStack(), 100);
    return lock && Appl().MsgStack().Count() == 25;
  }));
  Appl().EndWait();
  Appl().Shutdown();
  EXPECT_EQ(Appl().MsgStack().Count(), 0);
  PumpFor(20);
  EXPECT_EQ(seen, 0) << "nothing of the old session is routed after shutdown";
}

TEST_F(Lifecycle, CallbackInstancesCountOnAcrossSessions) {
  FakeLine line;
  line.SetEnabled(true);
  ASSERT_TRUE(Appl().Active()) << "an enabled line attaches and so initialises TAPI";
  line.SetDeviceID(0);
  line.SetActive(true);
  const Cardinal first = line.CallbackInstance();
  EXPECT_GT(first, Appl().CallbackInstance());
  Appl().Shutdown();
  EXPECT_FALSE(line.Enabled()) << "shutdown closes, unbinds and disables every line";
  EXPECT_EQ(line.DeviceID(), -1);
  EXPECT_EQ(line.closes, 1);
  line.SetEnabled(true);
  line.SetDeviceID(0);
  line.SetActive(true);
  EXPECT_EQ(line.CallbackInstance(), first + 1);
}

TEST_F(Lifecycle, CouldShutdownOnlyWithoutAttachedComponentsAndRecipient) {
  EXPECT_TRUE(Appl().CouldShutdown());
  {
    FakeLine line;
    line.SetEnabled(true);
    EXPECT_FALSE(Appl().CouldShutdown());
    line.SetEnabled(false);
    EXPECT_TRUE(Appl().CouldShutdown());
    EXPECT_TRUE(Appl().Active()) << "detaching the last component leaves TAPI initialised";
  }
  Appl().SetAssistMakeCall(true);
  EXPECT_FALSE(Appl().CouldShutdown());
  Appl().SetAssistMakeCall(false);
}

// ---------------------------------------------------------------------------------------------

using Routing = TapiTest;

TEST_F(Routing, MessagesReachTheLineWhoseCallbackInstanceTheyCarry) {
  FakeLine a, b, closed;
  for (FakeLine* line : {&a, &b, &closed}) {
    line->SetEnabled(true);
    line->SetDeviceID(0);
    line->SetActive(true);
  }
  closed.SetActive(false);
  std::vector<Cardinal> offered;
  Appl().SetOnTapiMessage([&](TObject*, Cardinal id, Cardinal, Cardinal ci, Cardinal, Cardinal,
                              Cardinal) { offered.push_back(ci * 1000 + id); });

  PostLine(7, LINE_CALLSTATE, b.CallbackInstance(), 1, 2, 3);
  PostLine(7, LINE_CALLSTATE, a.CallbackInstance(), 4);
  PostLine(7, LINE_CALLSTATE, closed.CallbackInstance(), 5);
  PostLine(7, LINE_CALLSTATE, 999, 6);  // nobody's
  ASSERT_TRUE(PumpUntil([&] { return offered.size() == 4; }));

  ASSERT_EQ(b.messages.size(), 1u);
  EXPECT_EQ(b.messages[0].hDevice, 7u);
  EXPECT_EQ(b.messages[0].param1, 1u);
  EXPECT_EQ(b.messages[0].param3, 3u);
  ASSERT_EQ(a.messages.size(), 1u);
  EXPECT_EQ(a.messages[0].param1, 4u);
  EXPECT_TRUE(closed.messages.empty()) << "a closed line gets nothing";
  EXPECT_EQ(offered.back(), 999u * 1000 + LINE_CALLSTATE) << "every message is offered first";
}

TEST_F(Routing, ApplicationLevelRemovalGoesToTheCatalogueAndThenEveryAttachedLine) {
  FakeLine attached, detached;
  attached.SetEnabled(true);
  std::vector<std::string> removed;
  Appl().SetOnLineRemove([&](TObject*, Cardinal id, const std::string& name) {
    removed.push_back(std::to_string(id) + ":" + name);
  });
  Switch().RemoveLine(1);
  ASSERT_TRUE(PumpUntil([&] { return !attached.messages.empty(); }));
  EXPECT_EQ(removed, std::vector<std::string>{"1:Sales"});
  EXPECT_EQ(Appl().LineDevices().Strings(1), "Line Device #1 (removed)");
  EXPECT_EQ(Appl().LineDevices().Count(), 3) << "device IDs keep their positions";
  EXPECT_EQ(attached.messages[0].messageID, LINE_REMOVE);
  EXPECT_TRUE(detached.messages.empty());
}

TEST_F(Routing, RemovalOfAnUnknownDeviceReportsAnErrorAndStopsThere) {
  FakeLine line;
  line.SetEnabled(true);
  std::vector<std::string> errors;
  std::vector<std::string> removed;
  Appl().SetOnError(
      [&](TObject*, const std::exception& e, TObject*) { errors.push_back(e.what()); });
  Appl().SetOnLineRemove([&](TObject*, Cardinal id, const std::string& name) {
    removed.push_back(std::to_string(id) + ":" + name);
  });
  PostLine(0, LINE_REMOVE, 0, 17);
  ASSERT_TRUE(PumpUntil([&] { return !errors.empty(); }));
  EXPECT_EQ(removed, std::vector<std::string>{"17:"});
  EXPECT_NE(errors[0].find("Invalid DeviceID of TzvTapiApplication.LineDevices (zvTAPI, Zeile "),
            std::string::npos)
      << errors[0];
  EXPECT_TRUE(line.messages.empty());
}

TEST_F(Routing, ReinitFiresBeforeTheRebuildAndReachesTheLines) {
  FakeLine line;
  line.SetEnabled(true);
  std::vector<std::string> order;
  Appl().SetOnReinit([&](TObject*) { order.push_back("reinit"); });
  Appl().SetOnLineRename(
      [&](TObject*, Cardinal, const std::string& name) { order.push_back("rename " + name); });
  line.onMessage = [&](Cardinal id) { order.push_back("line " + std::to_string(id)); };
  Switch().LineConfigOf(0);  // the device exists
  {
    // Rename behind TAPI's back so the reinit's rebuild is what notices it.
    tapi32::sim::LineConfig changed = Switch().LineConfigOf(2);
    changed.name = "Helpdesk";
    Switch().Reset([&] {
      auto c = SmallOffice();
      c.lines[2] = changed;
      return c;
    }());
  }
  PostLine(0, LINE_LINEDEVSTATE, 0, LINEDEVSTATE_REINIT);
  ASSERT_TRUE(PumpUntil([&] { return order.size() >= 3; }));
  EXPECT_EQ(order, (std::vector<std::string>{"reinit", "rename Helpdesk",
                                             "line " + std::to_string(LINE_LINEDEVSTATE)}));
}

TEST_F(Routing, RenamedDeviceIsReportedAndTheBoundLineTold) {
  FakeLine line;
  line.SetEnabled(true);
  line.SetDeviceID(1);
  ASSERT_TRUE(line.Available());
  std::vector<std::string> renames;
  Appl().SetOnLineRename([&](TObject*, Cardinal id, const std::string& name) {
    renames.push_back(std::to_string(id) + ":" + name);
  });
  Switch().RenameLine(1, "Sales East");
  ASSERT_TRUE(PumpUntil([&] { return !line.renames.empty(); }));
  EXPECT_EQ(renames, std::vector<std::string>{"1:Sales East"});
  EXPECT_EQ(line.renames, std::vector<std::string>{"Sales East"});
}

TEST_F(Routing, AddedDevicesFillTheGapOnePerEntry) {
  Appl().Initialize();
  std::vector<std::string> created;
  Appl().SetOnLineCreate([&](TObject*, Cardinal id, const std::string& name) {
    created.push_back(std::to_string(id) + ":" + name);
  });
  tapi32::sim::LineConfig extra;
  extra.name = "Warehouse";
  Switch().AddLine(extra);  // device 3
  ASSERT_TRUE(PumpUntil([&] { return created.size() == 1; }));
  EXPECT_EQ(created[0], "3:Warehouse");
  EXPECT_EQ(Appl().NumLines(), 4u);

  // A LINE_CREATE that skips an ID adds every missing entry, each reported with the message's ID.
  extra.name = "Yard";
  Switch().AddLine(extra);  // device 4, announced below as if its message had been lost
  extra.name = "Gate";
  Switch().AddLine(extra);  // device 5
  ASSERT_TRUE(PumpUntil([&] { return created.size() == 3; }));
  EXPECT_EQ(created[1], "4:Yard");
  created.clear();
  PostLine(0, LINE_CREATE, 0, 7);
  ASSERT_TRUE(PumpUntil([&] { return created.size() == 2; }));
  const std::string unknown = TapiErrorText(LINEERR_BADDEVICEID);
  EXPECT_EQ(created, (std::vector<std::string>{"7:Line Device #6 (" + unknown + ")",
                                               "7:Line Device #7 (" + unknown + ")"}));
  EXPECT_EQ(Appl().NumLines(), 8u);
}

TEST_F(Routing, PhoneStateReinitRebuildsPhoneNamesWithoutTellingThePhones) {
  Appl().Initialize();
  int reinits = 0;
  std::vector<std::string> renames;
  Appl().SetOnReinit([&](TObject*) { ++reinits; });
  Appl().SetOnPhoneRename([&](TObject*, Cardinal id, const std::string& name) {
    renames.push_back(std::to_string(id) + ":" + name);
  });
  Switch().RenamePhone(0, "Lobby phone");
  ASSERT_TRUE(PumpUntil([&] { return renames.size() == 1; }));
  EXPECT_EQ(renames[0], "0:Lobby phone");
  PostPhone(0, PHONE_STATE, 0, PHONESTATE_REINIT);
  ASSERT_TRUE(PumpUntil([&] { return reinits == 1; }));
}

TEST_F(Routing, AssistedMakeCallRequestsReachTheEvent) {
  Appl().SetAssistMakeCall(true);
  std::vector<std::string> got;
  Appl().SetOnRequestMakeCall([&](TObject*, const std::string& dest, const std::string& app,
                                  const std::string& called, const std::string& comment) {
    got = {dest, app, called, comment};
  });
  ASSERT_EQ(Switch().QueueMakeCallRequest("+49 30 1234", "Dialer", "Jörg Müller", "urgent"), 0);
  ASSERT_TRUE(PumpUntil([&] { return !got.empty(); }));
  EXPECT_EQ(got, (std::vector<std::string>{"+49 30 1234", "Dialer", "Jörg Müller", "urgent"}));

  // Other request modes are ignored; the queued request stays unread.
  got.clear();
  PostLine(0, LINE_REQUEST, Appl().CallbackInstance(), LINEREQUESTMODE_MEDIACALL);
  PumpFor(30);
  EXPECT_TRUE(got.empty());
  Appl().SetAssistMakeCall(false);
}

TEST_F(Routing, HandlerExceptionsReachOnErrorAndProcessingGoesOn) {
  FakeLine line;
  line.SetEnabled(true);
  line.SetDeviceID(0);
  line.SetActive(true);
  std::vector<std::string> errors;
  Appl().SetOnError([&](TObject*, const std::exception& e, TObject*) {
    errors.push_back(e.what());
    throw std::runtime_error("the error handler fails too");
  });
  int offered = 0;
  Appl().SetOnTapiMessage(
      [&](TObject*, Cardinal, Cardinal, Cardinal, Cardinal, Cardinal, Cardinal) {
        if (++offered == 1) throw Exception("first message handler fails");
      });
  line.onMessage = [](Cardinal id) {
    if (id == LINE_DEVSPECIFIC) throw Exception("line handler fails");
  };
  PostLine(0, LINE_CALLSTATE, line.CallbackInstance());
  PostLine(0, LINE_DEVSPECIFIC, line.CallbackInstance());
  PostLine(0, LINE_CALLINFO, line.CallbackInstance());
  ASSERT_TRUE(PumpUntil([&] { return line.messages.size() == 3; }));
  EXPECT_EQ(errors,
            (std::vector<std::string>{"first message handler fails", "line handler fails"}));
}

TEST_F(Routing, NotificationsAreDroppedDuringAWaitAndOneFollowsIt) {
  FakeLine line;
  line.SetEnabled(true);
  line.SetDeviceID(0);
  line.SetActive(true);
  Appl().BeginWait();
  for (int i = 0; i < 3; ++i)
    PostLine(0, LINE_CALLSTATE, line.CallbackInstance(), i);
  ASSERT_TRUE(PumpUntil([&] {
    TLockGuard lock(Appl().MsgStack(), 100);
    return lock && Appl().MsgStack().Count() == 3;
  }));
  PumpFor(30);
  EXPECT_TRUE(line.messages.empty()) << "the window leaves the queue to the running wait";

  Appl().EndWait();
  Appl().PostMessagesWaiting();
  // One notification routes one message and announces the next.
  EXPECT_EQ(platform::DispatchPendingMessages(), 1);
  EXPECT_EQ(line.messages.size(), 1u);
  ASSERT_TRUE(PumpUntil([&] { return line.messages.size() == 3; }));
  PumpFor(20);
  EXPECT_EQ(line.messages.size(), 3u);
}

TEST_F(Routing, RepliesAreKeptOnlyForRunningWaits) {
  FakeLine line;
  line.SetEnabled(true);
  line.SetDeviceID(0);
  line.SetActive(true);
  PostLine(0, LINE_REPLY, line.CallbackInstance(), 41, 0);
  ASSERT_TRUE(PumpUntil([&] { return line.messages.size() == 1; }));
  EXPECT_EQ(Appl().ReplyStack().Count(), 0) << "nobody waits, nothing is kept";

  Appl().BeginWait();
  PostLine(0, LINE_REPLY, line.CallbackInstance(), 42, LINEERR_OPERATIONFAILED);
  PostLine(0, LINE_REPLY, 999, 43, 0);  // for a line that does not exist: still kept
  ASSERT_TRUE(PumpUntil([&] {
    Appl().ProcessMessages(10);
    return Appl().ReplyStack().Count() == 2;
  }));
  Cardinal code = 0;
  EXPECT_EQ(Appl().ReplyStack().GetReplyCode(42, code), 0);
  EXPECT_EQ(code, LINEERR_OPERATIONFAILED);
  EXPECT_EQ(Appl().ReplyStack().GetReplyCode(43, code), 1);
  Appl().EndWait();
}

TEST_F(Routing, TimerTicksReachActiveDevicesOnly) {
  FakeLine active, inactive;
  for (FakeLine* line : {&active, &inactive}) {
    line->SetEnabled(true);
    line->SetDeviceID(0);
  }
  active.SetActive(true);
  ASSERT_TRUE(PumpUntil([&] { return active.ticks.size() >= 2; }));
  EXPECT_TRUE(inactive.ticks.empty());
  // Ticks carry the tick count of their posting.
  const uint32_t now = platform::GetTickCount();
  EXPECT_LE(platform::TickDiff(active.ticks.back(), now), 0);
  EXPECT_LT(platform::TickDiff(now, active.ticks.back()), 10000);
}

// ---------------------------------------------------------------------------------------------

TEST(MsgStack, MergesRepeatedCallInfoAndAddressStateAtTheHeadOnly) {
  TzvTapiMsgStack stack;
  auto line = [&](Cardinal device, Cardinal id, Cardinal ci, Cardinal p1, Cardinal p2 = 0) {
    stack.Add(std::make_unique<TzvTapiLineMsgStackItem>(LINEMESSAGE{device, id, ci, p1, p2, 0}));
  };
  for (Cardinal flag : {0x1u, 0x2u, 0x4u, 0x8u, 0x10u})
    line(5, LINE_CALLINFO, 2, flag);
  line(6, LINE_CALLINFO, 2, 0x20);  // another call stops the merge
  line(5, LINE_CALLINFO, 2, 0x40);
  line(1, LINE_ADDRESSSTATE, 2, 0, 0x1);
  line(1, LINE_ADDRESSSTATE, 2, 0, 0x4);
  line(1, LINE_ADDRESSSTATE, 2, 1, 0x8);  // another address

  auto next = [&] { return stack.GetNextMessage()->TapiMessage; };
  LINEMESSAGE m = next();
  EXPECT_EQ(m.hDevice, 5u);
  EXPECT_EQ(m.dwParam1, 0x1Fu);
  EXPECT_EQ(next().dwParam1, 0x20u);
  EXPECT_EQ(next().dwParam1, 0x40u);
  m = next();
  EXPECT_EQ(m.dwParam1, 0u);
  EXPECT_EQ(m.dwParam2, 0x5u);
  m = next();
  EXPECT_EQ(m.dwParam1, 1u);
  EXPECT_EQ(m.dwParam2, 0x8u);
  EXPECT_EQ(stack.GetNextMessage(), nullptr);
}

TEST(MsgStack, GetMsgTellsLineFromPhoneAndFindsReplies) {
  TzvTapiMsgStack stack;
  stack.Add(std::make_unique<TzvTapiPhoneMsgStackItem>(PHONEMESSAGE{1, PHONE_REPLY, 3, 7, 9, 0}));
  stack.Add(std::make_unique<TzvTapiLineMsgStackItem>(LINEMESSAGE{2, LINE_REPLY, 3, 8, 10, 0}));
  Cardinal code = 0;
  EXPECT_EQ(stack.GetReplyCode(8, code), 1);
  EXPECT_EQ(code, 10u);
  EXPECT_EQ(stack.GetReplyCode(11, code), -1);
  EXPECT_EQ(stack.GetDebugStr(0),
            "MsgStack[0] PHONE: hDevice=x1, dwMessageID=x11, dwCallbackInstance=x3, dwParam1=x7, "
            "dwParam2=x9, dwParam3=x0");
  EXPECT_EQ(stack.GetDebugStr(1),
            "MsgStack[1] LINE:  hDevice=x2, dwMessageID=xC, dwCallbackInstance=x3, dwParam1=x8, "
            "dwParam2=xA, dwParam3=x0");
  LINEMESSAGE m{};
  EXPECT_EQ(stack.GetMsg(m), 1);
  EXPECT_EQ(m.dwParam1, 7u);
  EXPECT_EQ(stack.GetMsg(m), 0);
  EXPECT_EQ(stack.GetMsg(m), -1);
}

}  // namespace
}  // namespace zvtapi::testing
