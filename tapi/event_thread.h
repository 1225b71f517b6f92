// The path of TAPI messages from TAPI to the user-interface thread: queued message records,
// the locked queue between the two threads, and the event thread that fills it.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "platform/sync.h"
#include "platform/thread.h"
#include "tapi/protected_list.h"
#include "tapi32/tapi.h"

namespace zvtapi {

class TzvTapiApplication;

// One queued message: the six values of LINEMESSAGE (PHONEMESSAGE has the same layout).
using TTapiMessage = LINEMESSAGE;

class TzvTapiMsgStackItem {
 public:
  explicit TzvTapiMsgStackItem(const TTapiMessage& message) : TapiMessage(message) {}
  virtual ~TzvTapiMsgStackItem() = default;
  // Whether the message came from the line side of TAPI (otherwise the phone side).
  virtual bool IsLineMessage() const = 0;

  TTapiMessage TapiMessage;
};

class TzvTapiLineMsgStackItem final : public TzvTapiMsgStackItem {
 public:
  using TzvTapiMsgStackItem::TzvTapiMsgStackItem;
  bool IsLineMessage() const override { return true; }
};

class TzvTapiPhoneMsgStackItem final : public TzvTapiMsgStackItem {
 public:
  explicit TzvTapiPhoneMsgStackItem(const PHONEMESSAGE& message)
      : TzvTapiMsgStackItem(ToLineLayout(message)) {}
  bool IsLineMessage() const override { return false; }

 private:
  static TTapiMessage ToLineLayout(const PHONEMESSAGE& m) {
    return {m.hDevice, m.dwMessageID, m.dwCallbackInstance, m.dwParam1, m.dwParam2, m.dwParam3};
  }
};

// First in, first out, despite the name it has always had. Callers hold the lock.
class TzvTapiMsgStack : public TProtectedObjectList<TzvTapiMsgStackItem> {
 public:
  // Removes the first item (the caller owns it) and folds the repeats behind it into it.
  std::unique_ptr<TzvTapiMsgStackItem> GetNextMessage();
  // -1 when empty; otherwise copies and frees the first item, folds the repeats, and returns 0
  // for a line message, 1 for a phone message.
  int GetMsg(TTapiMessage& tapiMessage);
  // Position of the first LINE_REPLY / PHONE_REPLY for RequestID (its code in ReplyCode), or -1.
  int GetReplyCode(Cardinal requestID, Cardinal& replyCode) const;
  std::string GetDebugStr(int index) const;

 private:
  void MergeRepeats(TTapiMessage& message);
};

class TzvTapiEventThread final : public platform::Thread {
 public:
  // Starts waiting on the application's TAPI events at once. Check Started().
  explicit TzvTapiEventThread(TzvTapiApplication* appl);
  ~TzvTapiEventThread() override;

  bool Started() const { return FStarted; }
  // Marks the thread terminated and wakes it.
  void Terminate() override;
  // The user-interface thread finished the last tick; the next one may come early.
  void SetSendNextTimerMsg(bool value) {
    FSendNextTimerMsg.store(value, std::memory_order_release);
  }
  bool SendNextTimerMsg() const { return FSendNextTimerMsg.load(std::memory_order_acquire); }

 protected:
  void Execute() override;

 private:
  void RunLoop();
  void DrainLineMessages();
  void DrainPhoneMessages();
  // Moves up to ten messages from TAPI to the queue. emptyQueue is what getMessage answers when
  // no message waits; lastFailure the failure last reported for this side (0: none).
  template <class Item, class Record, class GetMessage>
  void DrainMessages(Cardinal appHandle, GetMessage getMessage, Cardinal emptyQueue,
                     Cardinal& lastFailure);
  void RepostIfWaiting();
  void SendTimerTickIfDue(uint32_t& lastTick);

  TzvTapiApplication* FAppl;
  platform::HANDLE FWakeUpEvent;
  std::atomic<bool> FSendNextTimerMsg{true};
  // What lineGetMessage / phoneGetMessage last failed with (0: they work); the thread's own.
  Cardinal FLastLineFailure = 0;
  Cardinal FLastPhoneFailure = 0;
  bool FStarted = false;
};

}  // namespace zvtapi
