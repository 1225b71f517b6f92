// Shared set-up for the call-control tests: an owner application and a watching one on line 0
// (address name "200") of a switch whose lines take four active calls, a far end that answers
// at once, and helpers that read the messages.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "tapi32_fixture.h"

namespace tapi32_test {

constexpr DWORD kBoth = LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER;
constexpr DWORD kVoice = LINEMEDIAMODE_INTERACTIVEVOICE;

class CallControlTest : public TapiTest {
 protected:
  void SetUp() override {
    tapi32::sim::Config config;
    config.lines = {Line("Alpha", 0x101), Line("Beta", 0x102)};
    config.lines[0].addressNames = {"200"};
    config.lines[1].addressNames = {"210"};
    // Room for several calls at once, so that a flow need not hold one call to make the next,
    // and for one more party in a conference grown out of a transfer.
    for (tapi32::sim::LineConfig& line : config.lines) {
      line.maxActiveCalls = 4;
      line.maxTransConf = 4;
    }
    Switch().Reset(config);
    owner_ = InitLine(0x00020002, u"owner");
    watcher_ = InitLine(0x00020002, u"watcher");
    ASSERT_EQ(owner_.result, 0);
    ASSERT_EQ(watcher_.result, 0);
    ownerLine_ = OpenLine(owner_.app, 0, kBoth, kVoice, 31);
    watcherLine_ = OpenLine(watcher_.app, 0, LINECALLPRIVILEGE_MONITOR, 0, 32);
    ASSERT_NE(ownerLine_, 0u);
    ASSERT_NE(watcherLine_, 0u);
    tapi32::sim::FarEnd now;
    now.name = "Far End";
    Switch().SetDefaultFarEnd(now);
  }

  // An incoming call on a line; the messages it caused are read away.
  uint32_t Incoming(uint32_t lineId = 0, std::string number = "5550100") {
    tapi32::sim::IncomingCall call;
    call.callerNumber = std::move(number);
    call.callerName = "Caller";
    const uint32_t id = Switch().OfferCall(lineId, 0, call);
    DrainAll();
    return id;
  }

  // An incoming call that the owner has answered.
  uint32_t Connected(uint32_t lineId = 0) {
    const uint32_t id = Incoming(lineId);
    EXPECT_GT(lineAnswer(Mine(id), nullptr, 0), 0);
    DrainAll();
    EXPECT_EQ(Switch().CallSnapshot(id).state, LINECALLSTATE_CONNECTED);
    return id;
  }

  HCALL Mine(uint32_t callId) const { return Switch().CallHandle(owner_.app, callId); }
  HCALL Theirs(uint32_t callId) const { return Switch().CallHandle(watcher_.app, callId); }
  DWORD StateOf(uint32_t callId) const { return Switch().CallSnapshot(callId).state; }

  void DrainAll() {
    for (HLINEAPP app : Switch().LineApps())
      DrainLine(app);
  }

  // The states LINE_CALLSTATE reported for one handle, in order.
  static std::vector<DWORD> States(const std::vector<LINEMESSAGE>& messages, HCALL call) {
    std::vector<DWORD> out;
    for (const auto& message : messages) {
      if (message.dwMessageID == LINE_CALLSTATE && message.hDevice == call) {
        out.push_back(message.dwParam1);
      }
    }
    return out;
  }

  // The LINE_CALLINFO flags reported for one handle, OR-ed.
  static DWORD InfoFlags(const std::vector<LINEMESSAGE>& messages, HCALL call) {
    DWORD flags = 0;
    for (const auto& message : messages) {
      if (message.dwMessageID == LINE_CALLINFO && message.hDevice == call) {
        flags |= message.dwParam1;
      }
    }
    return flags;
  }

  static const LINEMESSAGE* Find(const std::vector<LINEMESSAGE>& messages, DWORD id,
                                 DWORD device = 0) {
    for (const auto& message : messages) {
      if (message.dwMessageID == id && (device == 0 || message.hDevice == device)) {
        return &message;
      }
    }
    return nullptr;
  }

  // The result a LINE_REPLY carried for a request; the reply must be the first message.
  static LONG ReplyOf(const std::vector<LINEMESSAGE>& messages, LONG requestId) {
    EXPECT_FALSE(messages.empty());
    if (messages.empty()) return 1;
    EXPECT_EQ(messages[0].dwMessageID, LINE_REPLY);
    EXPECT_EQ(messages[0].dwParam1, static_cast<DWORD>(requestId));
    return static_cast<LONG>(messages[0].dwParam2);
  }

  // The calls that lineGetConfRelatedCalls lists for a handle.
  static std::vector<HCALL> ConfRelated(HCALL call, LONG* result = nullptr) {
    std::vector<uint8_t> buffer(256);
    auto* list = reinterpret_cast<LINECALLLIST*>(buffer.data());
    list->dwTotalSize = static_cast<DWORD>(buffer.size());
    const LONG code = lineGetConfRelatedCalls(call, list);
    if (result != nullptr) *result = code;
    std::vector<HCALL> out(code == 0 ? list->dwCallsNumEntries : 0);
    if (!out.empty()) std::memcpy(out.data(), buffer.data() + list->dwCallsOffset, out.size() * 4);
    return out;
  }

  // Waits (without a deadline that matters) for the next LINE_CALLSTATE of a handle.
  static DWORD NextState(HLINEAPP app, HCALL call) {
    LINEMESSAGE message{};
    while (lineGetMessage(app, &message, 60000) == 0) {
      if (message.dwMessageID == LINE_CALLSTATE && message.hDevice == call) {
        return message.dwParam1;
      }
    }
    return 0;
  }

  LineInit owner_;
  LineInit watcher_;
  HLINE ownerLine_ = 0;
  HLINE watcherLine_ = 0;
};

}  // namespace tapi32_test
