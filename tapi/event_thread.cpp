#include "tapi/event_thread.h"

#include <cstdlib>

#include "platform/clock.h"
#include "platform/message_window.h"
#include "tapi/application.h"

namespace zvtapi {

// ---------------------------------------------------------------------------------------------
// TzvTapiMsgStack

std::unique_ptr<TzvTapiMsgStackItem> TzvTapiMsgStack::GetNextMessage() {
  if (Count() == 0) return nullptr;
  std::unique_ptr<TzvTapiMsgStackItem> item = Extract(0);
  MergeRepeats(item->TapiMessage);
  return item;
}

int TzvTapiMsgStack::GetMsg(TTapiMessage& tapiMessage) {
  if (Count() == 0) return -1;
  std::unique_ptr<TzvTapiMsgStackItem> item = Extract(0);
  tapiMessage = item->TapiMessage;
  const int kind = item->IsLineMessage() ? 0 : 1;
  item.reset();
  MergeRepeats(tapiMessage);
  return kind;
}

int TzvTapiMsgStack::GetReplyCode(Cardinal requestID, Cardinal& replyCode) const {
  for (int i = 0; i < Count(); ++i) {
    const TTapiMessage& m = Get(i)->TapiMessage;
    if ((m.dwMessageID == LINE_REPLY || m.dwMessageID == PHONE_REPLY) && m.dwParam1 == requestID) {
      replyCode = m.dwParam2;
      return i;
    }
  }
  return -1;
}

std::string TzvTapiMsgStack::GetDebugStr(int index) const {
  const TzvTapiMsgStackItem* item = Get(index);
  const TTapiMessage& m = item->TapiMessage;
  return Format(
      "MsgStack[%d] %s hDevice=x%X, dwMessageID=x%X, dwCallbackInstance=x%X, dwParam1=x%X, "
      "dwParam2=x%X, dwParam3=x%X",
      index, item->IsLineMessage() ? "LINE: " : "PHONE:", m.hDevice, m.dwMessageID,
      m.dwCallbackInstance, m.dwParam1, m.dwParam2, m.dwParam3);
}

// Call-information and address-state notifications describe "what changed" as flags, so a run
// of them for the same call or address says no more than one message with the flags ORed.
void TzvTapiMsgStack::MergeRepeats(TTapiMessage& message) {
  if (message.dwMessageID == LINE_CALLINFO) {
    while (Count() > 0) {
      const TzvTapiMsgStackItem* head = Get(0);
      const TTapiMessage& h = head->TapiMessage;
      if (!head->IsLineMessage() || h.dwMessageID != message.dwMessageID ||
          h.hDevice != message.hDevice || h.dwCallbackInstance != message.dwCallbackInstance) {
        break;
      }
      message.dwParam1 |= h.dwParam1;
      Delete(0);
    }
  } else if (message.dwMessageID == LINE_ADDRESSSTATE) {
    while (Count() > 0) {
      const TzvTapiMsgStackItem* head = Get(0);
      const TTapiMessage& h = head->TapiMessage;
      if (!head->IsLineMessage() || h.dwMessageID != message.dwMessageID ||
          h.hDevice != message.hDevice || h.dwCallbackInstance != message.dwCallbackInstance ||
          h.dwParam1 != message.dwParam1) {
        break;
      }
      message.dwParam2 |= h.dwParam2;
      Delete(0);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// TzvTapiEventThread

TzvTapiEventThread::TzvTapiEventThread(TzvTapiApplication* appl)
    : FAppl(appl), FWakeUpEvent(platform::CreateEvent(false, false)) {
  FStarted = FWakeUpEvent != 0 && Start();
}

TzvTapiEventThread::~TzvTapiEventThread() {
  Terminate();
  WaitFor();
  platform::CloseHandle(FWakeUpEvent);
}

void TzvTapiEventThread::Terminate() {
  platform::Thread::Terminate();
  platform::SetEvent(FWakeUpEvent);
}

void TzvTapiEventThread::Execute() {
  try {
    RunLoop();
  } catch (...) {
    // The thread has nobody to report to; the speaker tells that TAPI messages stopped.
    platform::Beep(1000, 100);
    platform::Beep(500, 100);
    platform::Beep(1000, 100);
  }
}

void TzvTapiEventThread::RunLoop() {
  ZV_ASSERT(FAppl != nullptr);
  ZV_ASSERT_MSG(FAppl->FLineApp != 0,
                "TapiEventThread started called without line application handle.");
  const platform::HANDLE handles[3] = {FAppl->FLineEvent, FAppl->FPhoneEvent, FWakeUpEvent};
  uint32_t lastTick = 0;
  while (!Terminated()) {
    const uint32_t result = platform::WaitForMultipleObjects(3, handles, 1000);
    if (result == platform::WAIT_OBJECT_0) {
      if (!Terminated()) DrainLineMessages();
    } else if (result == platform::WAIT_OBJECT_0 + 1) {
      if (!Terminated()) DrainPhoneMessages();
    } else if (result == platform::WAIT_OBJECT_0 + 2) {
      if (Terminated()) break;
    } else if (result == platform::WAIT_TIMEOUT) {
      RepostIfWaiting();
    }
    if (!Terminated()) SendTimerTickIfDue(lastTick);
  }
}

// Messages can sit in the queue without a pending notification when one was posted before the
// window existed; a quiet second is the moment to make sure they are seen.
void TzvTapiEventThread::RepostIfWaiting() {
  TLockGuard lock(FAppl->FMsgStack, 10);
  if (lock && FAppl->FMsgStack.Count() > 0) FAppl->PostMessagesWaiting();
}

void TzvTapiEventThread::SendTimerTickIfDue(uint32_t& lastTick) {
  const uint32_t now = platform::GetTickCount();
  const uint32_t elapsed =
      static_cast<uint32_t>(std::abs(static_cast<int64_t>(platform::TickDiff(now, lastTick))));
  if ((SendNextTimerMsg() && elapsed > 250) || elapsed > 3000) {
    lastTick = now;
    SetSendNextTimerMsg(false);
    platform::PostMessage(FAppl->FWindowHandle, FAppl->FWindowMessage, TAPI_NOTIFY_TIMER,
                          static_cast<intptr_t>(now));
  }
}

template <class Item, class Record, class GetMessage>
void TzvTapiEventThread::DrainMessages(Cardinal appHandle, GetMessage getMessage,
                                       Cardinal emptyQueue, Cardinal& lastFailure) {
  TzvTapiMsgStack& stack = FAppl->FMsgStack;
  bool added = false;
  {
    TLockGuard lock(stack, 250);
    if (!lock) return;  // the messages stay with TAPI until the next wake
    const int before = stack.Count();
    for (int i = 0; i < 10; ++i) {
      Record record{};
      // The event said messages wait; once TAPI's queue runs dry there is no point in holding
      // the queue's lock (and the user-interface thread) any longer, so the wait is 0 ms.
      const Cardinal result = static_cast<Cardinal>(getMessage(appHandle, &record, 0));
      if (result != 0) {
        // A dry queue answers "operation failed" once messages have been taken; any other
        // failure, or that one before the first message, means the announced messages could
        // not be fetched. They stay queued and the event stays set, so the next wake tries
        // again; the program hears of the failure through OnError, once for a failure that
        // persists rather than at every try.
        const bool failed = i == 0 || result != emptyQueue;
        if (failed && result != lastFailure) {
          platform::PostMessage(FAppl->FWindowHandle, FAppl->FWindowMessage,
                                TAPI_NOTIFY_FETCH_FAILED, static_cast<intptr_t>(result));
        }
        if (failed) lastFailure = result;
        break;
      }
      lastFailure = 0;
      stack.Add(std::make_unique<Item>(record));
    }
    added = stack.Count() > before;
    // A non-empty queue already has a notification on its way.
    if (before == 0 && added) FAppl->PostMessagesWaiting();
  }
  // A synchronous wait sleeps on this event rather than on the clock; it takes the lock as soon
  // as it wakes, so the lock is given up first.
  if (added) platform::SetEvent(FAppl->FMessagesArrivedEvent);
}

void TzvTapiEventThread::DrainLineMessages() {
  DrainMessages<TzvTapiLineMsgStackItem, LINEMESSAGE>(FAppl->FLineApp, lineGetMessage,
                                                      LINEERR_OPERATIONFAILED, FLastLineFailure);
}

void TzvTapiEventThread::DrainPhoneMessages() {
  DrainMessages<TzvTapiPhoneMsgStackItem, PHONEMESSAGE>(
      FAppl->FPhoneApp, phoneGetMessage, PHONEERR_OPERATIONFAILED, FLastPhoneFailure);
}

}  // namespace zvtapi
