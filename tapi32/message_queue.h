// The first-in-first-out queue of one application's TAPI messages. A deque keeps posting and
// taking O(1) without a per-message allocation; once a large backlog has drained, the storage is
// given back so that memory returns to where it started.
#pragma once

#include <cstddef>
#include <deque>

namespace tapi32 {

template <class Message>
class MessageQueue {
 public:
  // Appends the message; true when the queue was empty before (the event must be signalled).
  bool Push(const Message& message) {
    const bool wasEmpty = items_.empty();
    items_.push_back(message);
    if (items_.size() > peak_) peak_ = items_.size();
    return wasEmpty;
  }

  // Takes the oldest message; false when there is none.
  bool Pop(Message& message) {
    if (items_.empty()) return false;
    message = items_.front();
    items_.pop_front();
    if (items_.empty() && peak_ > kShrinkAbove) {
      std::deque<Message>().swap(items_);
      peak_ = 0;
    }
    return true;
  }

  bool Empty() const { return items_.empty(); }
  size_t Size() const { return items_.size(); }
  void Clear() {
    std::deque<Message>().swap(items_);
    peak_ = 0;
  }

 private:
  // A backlog up to this size keeps its storage for the next burst.
  static constexpr size_t kShrinkAbove = 1024;
  std::deque<Message> items_;
  size_t peak_ = 0;
};

}  // namespace tapi32
