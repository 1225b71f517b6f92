// The runtime's asynchronous-request engine: request IDs, replies as each entry point's
// ReplyMode says, and the timer thread that sends delayed replies.
#include <thread>

#include "tapi32/server.h"

namespace tapi32 {

namespace {

constexpr DWORD kHighestRequestId = 0x7FFFFFFF;  // request IDs must read as positive results

}  // namespace

LONG Server::StartRequest(EntryPoint entry, const OpenEntry& open, std::function<LONG()> check,
                          std::function<void()> effect,
                          std::function<std::function<void()>()> partialEffect) {
  return StartRequest(entry, false, open.app->handle, open.callbackInstance, std::move(check),
                      std::move(effect), std::move(partialEffect));
}

LONG Server::StartRequest(EntryPoint entry, bool phone, DWORD app, DWORD callbackInstance,
                          std::function<LONG()> check, std::function<void()> effect,
                          std::function<std::function<void()>()> partialEffect) {
  const ReplyMode mode = replyModes_.Take(entry);
  const DWORD id = NextRequestId();
  requests_.emplace(id, Request{id, phone, app, callbackInstance, mode.result, mode.order,
                                std::move(check), std::move(effect), std::move(partialEffect)});
  switch (mode.kind) {
    case ReplyMode::Kind::Immediate:
      // Queued before the entry point returns.
      FinishRequest(id, mode.result);
      break;
    case ReplyMode::Kind::Delayed:
      ScheduleReply(id, mode.delayMs);
      break;
    case ReplyMode::Kind::Never:
      break;
  }
  return static_cast<LONG>(id);
}

DWORD Server::NextRequestId() {
  do {
    lastRequestId_ = lastRequestId_ >= kHighestRequestId ? 1 : lastRequestId_ + 1;
  } while (requests_.contains(lastRequestId_));
  return lastRequestId_;
}

DWORD Server::StartProviderRequest(const OpenEntry& open) {
  const DWORD id = NextRequestId();
  // No check and no effect: the effect has happened, and only the provider knows the outcome.
  requests_.emplace(id, Request{id,
                                false,
                                open.app->handle,
                                open.callbackInstance,
                                0,
                                ReplyMode::Order::EffectFirst,
                                {},
                                {},
                                {}});
  return id;
}

void Server::RequestCompleted(DWORD requestId, LONG result) {
  FinishRequest(requestId, result);
}

void Server::FinishRequest(DWORD requestId, LONG result) {
  auto it = requests_.find(requestId);
  if (it == requests_.end()) return;
  Request request = std::move(it->second);
  requests_.erase(it);
  // What the request acts on may have gone while it was pending (a dropped call, a closed
  // line); the reply then reports that instead of success, and nothing of it happens.
  const LONG possible = request.check ? request.check() : 0;
  if (result == 0) result = possible;
  const bool effectFirst = request.order != ReplyMode::Order::ReplyFirst;
  if (result == 0 && effectFirst && request.effect) request.effect();
  std::function<void()> aftermath;
  if (result != 0 && possible == 0 && request.order == ReplyMode::Order::PartialEffectFirst &&
      request.partialEffect) {
    aftermath = request.partialEffect();
  }
  if (request.phone) {
    if (PhoneApp* app = FindPhone(request.app)) {
      Post(*app, PHONEMESSAGE{0, PHONE_REPLY, request.callbackInstance, requestId,
                              static_cast<DWORD>(result), 0});
    }
  } else if (LineApp* app = FindLine(request.app)) {
    Post(*app, LINEMESSAGE{0, LINE_REPLY, request.callbackInstance, requestId,
                           static_cast<DWORD>(result), 0});
  }
  if (result == 0 && !effectFirst && request.effect) request.effect();
  if (aftermath) aftermath();
}

std::vector<DWORD> Server::PendingRequests() const {
  std::lock_guard lock(mutex_);
  std::vector<DWORD> out;
  out.reserve(requests_.size());
  for (const auto& [id, request] : requests_)
    out.push_back(id);
  return out;
}

bool Server::CompleteRequest(DWORD requestId, LONG result) {
  std::lock_guard lock(mutex_);
  if (!requests_.contains(requestId)) return false;
  FinishRequest(requestId, result);
  return true;
}

void Server::ScheduleReply(DWORD requestId, uint32_t delayMs) {
  std::lock_guard lock(timerMutex_);
  timers_.emplace(std::chrono::steady_clock::now() + std::chrono::milliseconds(delayMs), requestId);
  if (!timerRunning_) {
    // The runtime is never destroyed, so the thread may outlive main without harm.
    timerRunning_ = true;
    std::thread([this] { TimerLoop(); }).detach();
  }
  timerWake_.notify_one();
}

void Server::TimerLoop() {
  std::unique_lock lock(timerMutex_);
  for (;;) {
    if (timers_.empty()) {
      timerWake_.wait(lock);
      continue;
    }
    const auto due = timers_.begin()->first;
    if (std::chrono::steady_clock::now() < due) {
      timerWake_.wait_until(lock, due);
      continue;
    }
    const DWORD requestId = timers_.begin()->second;
    timers_.erase(timers_.begin());
    // The global lock is taken without the timer lock: entry points take them the other way.
    lock.unlock();
    {
      std::lock_guard global(mutex_);
      auto it = requests_.find(requestId);
      if (it != requests_.end()) FinishRequest(requestId, it->second.result);
    }
    lock.lock();
  }
}

}  // namespace tapi32
