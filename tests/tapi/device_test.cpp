// The device base: attachment to the application object, binding by ID and by name, the open
// state under loading and designing, TAPI's close and remove notices, error routing and which
// events a closed device still fires.
#include <gtest/gtest.h>

#include <stdexcept>

#include "device_test_support.h"
#include "tapi/tsp.h"

namespace zvtapi::testing {
namespace {

using Attachment = TapiTest;

TEST_F(Attachment, ReadingTheDeviceListAttachesAndInitialisesTapi) {
  TestLine line;
  EXPECT_FALSE(line.Enabled());
  EXPECT_FALSE(line.IsAttached());
  EXPECT_FALSE(Appl().Active());

  EXPECT_EQ(line.DeviceList().Count(), 3);
  EXPECT_TRUE(line.Enabled());
  EXPECT_TRUE(line.IsAttached());
  EXPECT_EQ(line.Appl(), &Appl());
  EXPECT_TRUE(Appl().Active());
  EXPECT_EQ(line.DeviceID(), -1) << "attaching without a name binds nothing";
}

TEST_F(Attachment, DetachingLeavesTapiInitialisedButUnbindsTheDevice) {
  TestLine line;
  line.SetEnabled(true);
  line.SetDeviceID(1);
  ASSERT_TRUE(line.Available());
  line.SetEnabled(false);
  EXPECT_FALSE(line.IsAttached());
  EXPECT_FALSE(line.Available());
  EXPECT_EQ(line.DeviceID(), -1);
  EXPECT_EQ(line.TSP()->APIVersion(), 0u);
  EXPECT_TRUE(Appl().Active());
}

TEST_F(Attachment, DetachingAnOpenDeviceClosesIt) {
  TestLine line;
  OpenOn(line, 2);
  ASSERT_TRUE(line.Active());
  line.SetEnabled(false);
  EXPECT_EQ(line.closes, 1);
  EXPECT_FALSE(line.IsOpen());
  EXPECT_FALSE(line.StoredActive());
  EXPECT_EQ(line.DeviceID(), -1);
  // It can be attached and opened again.
  OpenOn(line, 2);
  EXPECT_TRUE(line.Active());
}

TEST_F(Attachment, ActiveOnADetachedDeviceIsDroppedQuietly) {
  TestLine line;
  EXPECT_NO_THROW(line.SetActive(true));
  EXPECT_FALSE(line.Active());
  EXPECT_FALSE(line.StoredActive());
  EXPECT_FALSE(line.IsOpen());
  EXPECT_FALSE(Appl().Active()) << "only attaching initialises TAPI";
}

TEST_F(Attachment, WhileLoadingEnabledAndActiveOnlyRecordTheWishUntilLoaded) {
  TestLine line;
  line.SetLoading(true);
  line.SetEnabled(true);
  line.SetActive(true);
  EXPECT_TRUE(line.Enabled());
  EXPECT_FALSE(line.IsAttached());
  EXPECT_FALSE(line.IsOpen());
  EXPECT_TRUE(line.Active()) << "while loading Active reads the recorded wish";
  EXPECT_FALSE(Appl().Active());

  line.Loaded();
  EXPECT_FALSE(line.Loading());
  EXPECT_TRUE(line.IsAttached());
  EXPECT_TRUE(line.IsOpen());
  EXPECT_TRUE(line.Active());
}

TEST_F(Attachment, LoadedAttachesAndBindsByTheStoredNameIgnoringCase) {
  TestLine line;
  line.SetLoading(true);
  line.SetStoredName("sUpPoRt");
  line.SetEnabled(true);
  line.Loaded();
  EXPECT_EQ(line.DeviceID(), 2);
  EXPECT_TRUE(line.Available());
  EXPECT_EQ(line.StoredName(), "Support") << "the name is taken from the device list";
}

TEST_F(Attachment, DeviceSetEnabledIgnoresAValueEqualToTheAttachment) {
  TestLine line;
  line.SetLoading(true);
  line.SetEnabled(true);   // recorded, not attached
  line.SetEnabled(false);  // equals "not attached": nothing at all happens
  EXPECT_TRUE(line.Enabled());
  line.Loaded();
  EXPECT_TRUE(line.IsAttached());
}

TEST_F(Attachment, WhileDesigningActiveIsAWishAndNeverOpens) {
  TestLine line;
  line.SetEnabled(true);
  line.SetDesigning(true);
  line.SetActive(true);
  EXPECT_TRUE(line.Active());
  EXPECT_FALSE(line.IsOpen());
  line.Loaded();
  EXPECT_FALSE(line.IsOpen()) << "designing still blocks the open";
  // An empty name at design time also drops the wish.
  line.SetDeviceName("");
  EXPECT_FALSE(line.Active());
}

TEST_F(Attachment, CheckEnabledNamesTheComponent) {
  TestLine line;
  line.SetName("ReceptionLine");
  try {
    line.CheckEnabled();
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "ReceptionLine is not enabled");
  }
  line.SetEnabled(true);
  EXPECT_NO_THROW(line.CheckEnabled());
}

TEST_F(Attachment, OwnerFreesItsComponentsWhichLeaveTheRegistry) {
  auto* owner = new TComponent(nullptr);
  auto* line = new TestLine(owner);
  line->SetEnabled(true);
  ASSERT_EQ(Appl().Lines().IndexOf(line), 0);
  delete owner;
  EXPECT_EQ(Appl().Lines().Count(), 0);
}

// A component that fails to come into existence must leave nothing behind in the registry: the
// routing, the timer ticks and the shutdown walk it and would touch the freed object.
TEST_F(Attachment, AComponentWhoseConstructionFailsLeavesNoTraceInTheRegistry) {
  // A line that wants TAPI while TAPI cannot be initialised stays enabled; every component
  // registered after it tries to initialise TAPI again, and its constructor fails with that.
  TestLine waiting;
  Switch().FailAlways("lineInitializeExW", static_cast<LONG>(LINEERR_NOMEM));
  EXPECT_THROW(waiting.DeviceList(), EzvTapiError);
  TComponent owner(nullptr);
  EXPECT_THROW(new TzvTapiLine(&owner), EzvTapiError);
  EXPECT_THROW(FakePhone{&owner}, EzvTapiError);
  EXPECT_EQ(Appl().Lines().Count(), 1);
  EXPECT_EQ(Appl().Phones().Count(), 0);
  EXPECT_EQ(owner.ComponentCount(), 0);

  // A descendant whose own constructor fails after the line had registered, attached and
  // opened: the line's destructor closes it and takes it out of the registry.
  Switch().ClearFaults();
  struct FailingLine : TzvTapiLine {
    FailingLine() : TzvTapiLine(nullptr) {
      SetDeviceID(1);
      Open();
      throw Exception("set-up fails");
    }
  };
  const uint32_t closes = Switch().CallCount("lineClose");
  EXPECT_THROW(FailingLine{}, Exception);
  EXPECT_EQ(Switch().CallCount("lineClose"), closes + 1);
  EXPECT_EQ(Appl().Lines().Count(), 1);

  // The application object works on: lines open, their messages are routed, shutdown is clean.
  TzvTapiLine line(nullptr);
  line.SetDeviceID(0);
  line.Open();
  waiting.SetDeviceID(2);
  waiting.SetActive(true);
  std::vector<TzvTapiCall*> offered;
  line.SetOnNewCall([&](TzvTapiLine*, TzvTapiCall* call) { offered.push_back(call); });
  Switch().OfferCall(0, 0, {});
  ASSERT_TRUE(PumpUntil([&] { return !offered.empty(); }));
  EXPECT_EQ(offered[0]->Line(), &line);
  EXPECT_EQ(Appl().Lines().Count(), 2);
  Appl().Shutdown();
  EXPECT_FALSE(line.IsOpen());
  EXPECT_FALSE(waiting.Enabled());
}

// ---------------------------------------------------------------------------------------------

using Binding = TapiTest;

TEST_F(Binding, DeviceIDBindsWithNegotiatedVersionsAndTakesTheListName) {
  TestLine line;
  line.SetDeviceID(1);
  EXPECT_TRUE(line.IsAttached()) << "a valid ID attaches";
  EXPECT_TRUE(line.Available());
  EXPECT_EQ(line.DeviceID(), 1);
  EXPECT_EQ(line.StoredName(), "Sales");
  EXPECT_EQ(line.TSP()->DeviceID(), 1);
  EXPECT_EQ(line.TSP()->APIVersion(), 0x00020002u);

  line.SetDeviceID(-1);
  EXPECT_FALSE(line.Available());
  EXPECT_EQ(line.StoredName(), "");
  EXPECT_EQ(line.TSP()->APIVersion(), 0u);
}

TEST_F(Binding, OutOfRangeIDUnbindsAndBindsNothing) {
  TestLine line;
  line.SetDeviceID(1);
  EXPECT_NO_THROW(line.SetDeviceID(5));
  EXPECT_FALSE(line.Available());
  EXPECT_EQ(line.DeviceID(), -1);
  EXPECT_EQ(line.Init(5), 0u);
  EXPECT_EQ(line.Init(-1), 0u);
  EXPECT_EQ(line.DeviceID(), -1);
}

TEST_F(Binding, NameLookupIgnoresCaseAndAnUnknownNameStaysUnbound) {
  TestLine line;
  line.SetDeviceName("SALES");
  EXPECT_TRUE(line.IsAttached());
  EXPECT_EQ(line.DeviceID(), 1);
  EXPECT_EQ(line.StoredName(), "Sales");

  line.SetDeviceName("Warehouse");
  EXPECT_EQ(line.DeviceID(), -1);
  EXPECT_FALSE(line.Available());
  EXPECT_EQ(line.DeviceName(), "Warehouse") << "the name the user gave survives unbound";

  line.SetDeviceName("");
  EXPECT_EQ(line.DeviceName(), "");
  EXPECT_EQ(line.DeviceID(), -1);
}

TEST_F(Binding, RebindingAnOpenDeviceRaisesAndChangesNothing) {
  TestLine line;
  OpenOn(line, 0);
  for (auto change : {std::function<void()>([&] { line.SetDeviceID(2); }),
                      std::function<void()>([&] { line.SetDeviceName("Support"); })}) {
    try {
      change();
      FAIL() << "no exception";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), "TzvTapiDevice.Init failed! Already active.");
    }
    EXPECT_EQ(line.DeviceID(), 0);
    EXPECT_TRUE(line.Available());
    EXPECT_TRUE(line.IsOpen());
  }
}

TEST_F(Binding, FailedNegotiationReturnsTheCodeAndLeavesTheDeviceUnavailable) {
  TestLine line;
  line.SetDeviceID(0);
  // A provider whose versions do not meet the library's.
  Switch().FailAlways("lineNegotiateAPIVersion", LINEERR_INCOMPATIBLEAPIVERSION);
  EXPECT_EQ(line.Init(1), LINEERR_INCOMPATIBLEAPIVERSION);
  EXPECT_FALSE(line.Available());
  EXPECT_EQ(line.DeviceID(), -1) << "the old binding went first";
  EXPECT_NO_THROW(line.SetDeviceID(1)) << "SetDeviceID ignores the code";
  EXPECT_FALSE(line.Available());
}

TEST_F(Binding, IconIsFetchedWhileAvailableAndAgainAfterRebinding) {
  TestLine line;
  EXPECT_EQ(line.Icon(), 0u);
  EXPECT_EQ(line.iconFetches, 0) << "no icon for an unbound device";
  line.SetDeviceID(1);
  EXPECT_EQ(line.Icon(), 0x1C1u);
  EXPECT_EQ(line.Icon(), 0x1C1u);
  EXPECT_EQ(line.iconFetches, 1);
  line.SetDeviceID(2);
  EXPECT_EQ(line.Icon(), 0x1C2u);
  EXPECT_EQ(line.iconFetches, 2);
}

TEST_F(Binding, CheckActiveNamesTheDeviceWhenItHasAName) {
  TestLine line;
  try {
    line.CheckActive();
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "TAPI device not active.");
  }
  line.SetDeviceName("Sales");
  try {
    line.CheckActive();
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Sales not active.");
  }
  line.SetActive(true);
  EXPECT_NO_THROW(line.CheckActive());
}

// ---------------------------------------------------------------------------------------------

using DeviceNotices = TapiTest;

TEST_F(DeviceNotices, TapiCloseClosesOnceWithTheFlagSetDuringTheEvent) {
  TestLine line;
  OpenOn(line, 0);
  int fired = 0;
  bool flagDuringEvent = false, openDuringEvent = true;
  line.SetOnDeviceClose([&](TObject* sender) {
    EXPECT_EQ(sender, &line);
    ++fired;
    flagDuringEvent = line.ClosedByTapi();
    openDuringEvent = line.IsOpen();
  });
  line.DeviceClosed();
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(line.closes, 1);
  EXPECT_TRUE(line.closedByTapiDuringClose) << "Close must know not to call TAPI";
  EXPECT_TRUE(flagDuringEvent);
  EXPECT_FALSE(openDuringEvent) << "the event runs after the close";
  EXPECT_FALSE(line.ClosedByTapi());
  EXPECT_EQ(line.Handle(), 0u);

  line.DeviceClosed();  // not open: nothing
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(line.closes, 1);
}

TEST_F(DeviceNotices, TheCloseFlagIsClearedWhenCloseOrTheHandlerFails) {
  TestLine line;
  OpenOn(line, 0);
  line.throwOnClose = true;
  EXPECT_THROW(line.DeviceClosed(), Exception);
  EXPECT_FALSE(line.ClosedByTapi());

  line.throwOnClose = false;
  line.SetActive(true);
  std::vector<std::string> errors;
  line.SetOnError([&](TObject*, const std::exception& e, TObject*) { errors.push_back(e.what()); });
  line.SetOnDeviceClose([](TObject*) { throw Exception("close handler fails"); });
  EXPECT_NO_THROW(line.DeviceClosed());
  EXPECT_FALSE(line.ClosedByTapi());
  EXPECT_EQ(errors, std::vector<std::string>{"close handler fails"});
}

TEST_F(DeviceNotices, RemovalOfTheBoundDeviceUnbindsButKeepsItOpen) {
  TestLine line;
  OpenOn(line, 1);
  int removed = 0;
  line.SetOnDeviceRemove([&](TObject*) { ++removed; });
  line.DeviceRemoved(2);
  EXPECT_EQ(removed, 0) << "another device";
  EXPECT_TRUE(line.Available());

  line.DeviceRemoved(1);
  EXPECT_EQ(removed, 1);
  EXPECT_FALSE(line.Available());
  EXPECT_EQ(line.DeviceID(), -1);
  EXPECT_TRUE(line.IsOpen());
  EXPECT_EQ(line.closes, 0);
}

// ---------------------------------------------------------------------------------------------

using ErrorRouting = TapiTest;

TEST_F(ErrorRouting, HandlerExceptionsReachBothOnErrorsWithoutCauser) {
  TestLine line;
  OpenOn(line, 0);
  std::vector<std::string> seen;
  Appl().SetOnError([&](TObject* sender, const std::exception& e, TObject* causer) {
    EXPECT_EQ(sender, &line);
    EXPECT_EQ(causer, nullptr);
    seen.push_back(std::string("appl:") + e.what());
  });
  line.SetOnError([&](TObject* sender, const std::exception& e, TObject* causer) {
    EXPECT_EQ(sender, &line);
    EXPECT_EQ(causer, nullptr);
    seen.push_back(std::string("line:") + e.what());
  });
  line.SetOnTapiReply([](TObject*, Cardinal, Cardinal) { throw Exception("reply handler"); });
  line.SetOnDevStateChange([](TObject*, Cardinal, Cardinal, Cardinal) {
    throw std::runtime_error("state handler");  // not the library's own class: routed all the same
  });
  line.Requests().AddRequest(9, 0);

  EXPECT_NO_THROW(line.TapiReply(9, 0));
  EXPECT_EQ(line.Requests().Count(), 0) << "the reply handling went on after the handler failed";
  EXPECT_NO_THROW(line.DevStateChanged(LINEDEVSTATE_OTHER, 0, 0));
  EXPECT_EQ(seen, (std::vector<std::string>{"appl:reply handler", "line:reply handler",
                                            "appl:state handler", "line:state handler"}));
}

TEST_F(ErrorRouting, ThrowingOnErrorHandlersAreSwallowed) {
  TestLine line;
  line.SetEnabled(true);
  int lineCalls = 0;
  Appl().SetOnError([](TObject*, const std::exception&, TObject*) { throw Exception("appl"); });
  line.SetOnError([&](TObject*, const std::exception&, TObject*) {
    ++lineCalls;
    throw std::runtime_error("line");
  });
  EXPECT_NO_THROW(line.DoError(Exception("boom"), &line));
  EXPECT_EQ(lineCalls, 1) << "the application's failure does not keep the line's handler out";

  line.SetOnDeviceRemove([](TObject*) { throw Exception("remove handler"); });
  EXPECT_NO_THROW(line.DoDeviceRemove());
  EXPECT_EQ(lineCalls, 2);
}

TEST_F(ErrorRouting, DetachedComponentsReportOnlyToTheirOwnOnError) {
  TestLine line;
  int applCalls = 0, lineCalls = 0;
  Appl().SetOnError([&](TObject*, const std::exception&, TObject*) { ++applCalls; });
  line.SetOnError([&](TObject*, const std::exception&, TObject* causer) {
    EXPECT_EQ(causer, &line);
    ++lineCalls;
  });
  line.DoError(Exception("x"), &line);
  EXPECT_EQ(applCalls, 0);
  EXPECT_EQ(lineCalls, 1);
}

TEST_F(ErrorRouting, AFailingRoutedMessageIsReportedAndTheNextOneStillArrives) {
  TestLine line;
  OpenOn(line, 0);
  std::vector<std::string> errors;
  line.SetOnError([&](TObject*, const std::exception& e, TObject*) { errors.push_back(e.what()); });
  line.onMessage = [](Cardinal id) {
    if (id == LINE_DEVSPECIFIC) throw std::out_of_range("dispatch fails");
  };
  PostLine(0, LINE_DEVSPECIFIC, line.CallbackInstance());
  PostLine(0, LINE_CALLSTATE, line.CallbackInstance());
  ASSERT_TRUE(PumpUntil([&] { return line.messages.size() == 2; }));
  EXPECT_EQ(errors, std::vector<std::string>{"dispatch fails"});

  // The tick path is guarded the same way.
  line.onTick = [](Cardinal) { throw Exception("tick fails"); };
  EXPECT_NO_THROW(line.DispatchTimerTick(5));
  EXPECT_EQ(errors.back(), "tick fails");
}

// ---------------------------------------------------------------------------------------------

using DeviceEvents = TapiTest;

TEST_F(DeviceEvents, RequestEventsNeedAnOpenDeviceTheOthersDoNot) {
  TestLine line;
  line.SetEnabled(true);
  line.SetDeviceID(0);
  std::vector<std::string> fired;
  line.SetOnTapiMessage([&](TObject*, Cardinal, Cardinal, Cardinal, Cardinal, Cardinal) {
    fired.push_back("message");
  });
  line.SetOnTapiReply([&](TObject*, Cardinal, Cardinal) { fired.push_back("reply"); });
  line.SetOnTapiTimeout([&](TObject*, Cardinal) { fired.push_back("timeout"); });
  line.SetOnTapiReinit([&](TObject*) { fired.push_back("reinit"); });
  line.SetOnDevStateChange(
      [&](TObject*, Cardinal, Cardinal, Cardinal) { fired.push_back("state"); });
  line.SetOnDeviceClose([&](TObject*) { fired.push_back("close"); });
  line.SetOnDeviceRemove([&](TObject*) { fired.push_back("remove"); });
  line.SetOnTapiTranslateChange([&](TObject*) { fired.push_back("translate"); });
  auto fireAll = [&] {
    line.TzvTapiDevice::TapiMessage(1, LINE_DEVSPECIFIC, 0, 0, 0);
    line.DoTapiReply(1, 0);
    line.DoTapiTimeout(1, nullptr);
    line.DoTapiReinit();
    line.DevStateChanged(LINEDEVSTATE_OTHER, 0, 0);
    line.DoDeviceClose();
    line.DoDeviceRemove();
    line.DoTapiTranslateChange();
  };

  fireAll();
  EXPECT_EQ(fired, (std::vector<std::string>{"state", "close", "remove", "translate"}));
  fired.clear();
  line.SetActive(true);
  fireAll();
  EXPECT_EQ(fired, (std::vector<std::string>{"message", "reply", "timeout", "reinit", "state",
                                             "close", "remove", "translate"}));
}

TEST_F(DeviceEvents, MessageAndStateEventsCarryTheirArgumentsInOrder) {
  TestLine line;
  OpenOn(line, 0);
  std::vector<Cardinal> got;
  line.SetOnTapiMessage(
      [&](TObject*, Cardinal id, Cardinal device, Cardinal p1, Cardinal p2, Cardinal p3) {
        got = {id, device, p1, p2, p3};
      });
  line.TzvTapiDevice::TapiMessage(7, LINE_DEVSPECIFIC, 1, 2, 3);
  EXPECT_EQ(got, (std::vector<Cardinal>{LINE_DEVSPECIFIC, 7, 1, 2, 3}));
  line.SetOnDevStateChange([&](TObject*, Cardinal s, Cardinal d1, Cardinal d2) {
    got = {s, d1, d2};
  });
  line.DevStateChanged(LINEDEVSTATE_RINGING, 4, 5);
  EXPECT_EQ(got, (std::vector<Cardinal>{LINEDEVSTATE_RINGING, 4, 5}));
}

}  // namespace
}  // namespace zvtapi::testing
