#include "tapi32/sip/loop.h"

#include <re.h>

#include <stdexcept>
#include <string>

namespace tapi32::sip {
namespace {

// Sockets beyond descriptor 1024 fail unless libre's descriptor table is made larger; each call
// with media takes two (RTP and RTCP).
constexpr int kMaxDescriptors = 16384;

std::once_flag libreReady;

}  // namespace

Loop::Loop() {
  std::call_once(libreReady, [] {
    if (const int err = libre_init(); err != 0) {
      throw std::runtime_error("libre cannot start: error " + std::to_string(err));
    }
  });
  thread_ = std::thread([this] { Main(); });
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return started_ || stopped_; });
  if (stopped_) {
    lock.unlock();
    thread_.join();
    throw std::runtime_error(startError_);
  }
}

Loop::~Loop() {
  Stop();
}

void Loop::Main() {
  auto fail = [this](const std::string& what, int err) {
    std::lock_guard lock(mutex_);
    startError_ = "SIP event loop: " + what + " failed (error " + std::to_string(err) + ")";
    stopped_ = true;
    changed_.notify_all();
  };
  if (const int err = re_thread_init(); err != 0) return fail("re_thread_init", err);
  if (const int err = fd_setsize(kMaxDescriptors); err != 0) {
    re_thread_close();
    return fail("fd_setsize", err);
  }
  if (const int err = mqueue_alloc(&wake_, &Loop::OnWake, this); err != 0) {
    re_thread_close();
    return fail("mqueue_alloc", err);
  }
  {
    std::lock_guard lock(mutex_);
    started_ = true;
    changed_.notify_all();
  }
  re_main(nullptr);
  RunPosted();
  Task finally;
  {
    std::lock_guard lock(mutex_);
    finally = std::move(finally_);
  }
  if (finally) finally();
  wake_ = static_cast<mqueue*>(mem_deref(wake_));
  // Timers and sockets the tasks left behind are freed with the thread's libre state.
  re_thread_close();
  std::lock_guard lock(mutex_);
  stopped_ = true;
  changed_.notify_all();
}

void Loop::Post(Task task) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_ || stopped_) return;
    tasks_.push_back(std::move(task));
  }
  Wake();
}

bool Loop::Run(const Task& task) {
  if (OnLoopThread()) {
    task();
    return true;
  }
  std::mutex doneMutex;
  std::condition_variable doneChanged;
  bool done = false;
  {
    std::lock_guard lock(mutex_);
    if (stopping_ || stopped_) return false;
    tasks_.push_back([&] {
      task();
      std::lock_guard doneLock(doneMutex);
      done = true;
      doneChanged.notify_all();
    });
  }
  Wake();
  std::unique_lock doneLock(doneMutex);
  doneChanged.wait(doneLock, [&] { return done; });
  return true;
}

void Loop::Wake() {
  std::lock_guard lock(mutex_);
  if (wakePending_ || wake_ == nullptr) return;
  // One wake-up in the pipe at a time is enough: the loop runs every task queued until then. A
  // push that failed leaves the flag clear so that the next Post tries again.
  wakePending_ = mqueue_push(wake_, 0, nullptr) == 0;
}

void Loop::OnWake(int /*id*/, void* /*data*/, void* arg) {
  auto* loop = static_cast<Loop*>(arg);
  {
    std::lock_guard lock(loop->mutex_);
    loop->wakePending_ = false;
  }
  loop->RunPosted();
  std::lock_guard lock(loop->mutex_);
  if (loop->stopping_) re_cancel();
}

void Loop::RunPosted() {
  for (;;) {
    Task task;
    {
      std::lock_guard lock(mutex_);
      if (tasks_.empty()) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
}

void Loop::Stop(const Task& finally) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_ || !thread_.joinable()) return;
    stopping_ = true;
    finally_ = finally;
  }
  {
    std::lock_guard lock(mutex_);
    wakePending_ = true;
    mqueue_push(wake_, 0, nullptr);
  }
  thread_.join();
}

}  // namespace tapi32::sip
