// The SIP provider's event loop: one thread that runs libre's re_main. libre is single-threaded
// (its reference counts are not atomic and its timers, sockets and sessions belong to the thread
// that polls them), so every libre object of the provider is created, used and freed on this
// thread only. Other threads hand it work through Post(): the tasks wait in a queue of our own
// and an mqueue only wakes the loop, because the mqueue's pipe does not block and drops pushes
// when it is full.
//
// Each loop has libre state of its own (re_thread_init), so several loops (several providers,
// or a test's peer next to the provider) can run in one process.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

struct mqueue;

namespace tapi32::sip {

class Loop {
 public:
  using Task = std::function<void()>;

  // Starts the thread; returns once the loop polls. Throws std::runtime_error when libre cannot
  // be set up.
  Loop();
  // Stop().
  ~Loop();
  Loop(const Loop&) = delete;
  Loop& operator=(const Loop&) = delete;

  // Runs `task` on the loop thread, after the tasks posted before it. From any thread; ignored
  // once the loop has stopped.
  void Post(Task task);
  // Post() and wait until the task has run. Not from the loop thread itself (it runs the task
  // at once there). Returns false when the loop had stopped and the task did not run.
  bool Run(const Task& task);
  bool OnLoopThread() const { return std::this_thread::get_id() == thread_.get_id(); }

  // Runs the tasks already posted, then `finally` (on the loop thread: the place to free the
  // libre objects that remain), then ends re_main and joins the thread. Idempotent; not from the
  // loop thread.
  void Stop(const Task& finally = {});

 private:
  void Main();
  void Wake();
  static void OnWake(int id, void* data, void* arg);
  void RunPosted();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Task> tasks_;
  bool wakePending_ = false;
  bool started_ = false;
  bool stopping_ = false;
  bool stopped_ = false;
  std::string startError_;
  Task finally_;
  mqueue* wake_ = nullptr;
  std::thread thread_;
};

}  // namespace tapi32::sip
