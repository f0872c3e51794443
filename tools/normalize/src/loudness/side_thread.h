#pragma once
// A second thread that runs one task at a time beside the caller's own work:
// Start hands it a task, Wait returns when the task is done. Exceptions thrown
// by the task come out of Wait.
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace normalize {

class SideThread {
 public:
  SideThread();
  ~SideThread();
  SideThread(const SideThread&) = delete;
  SideThread& operator=(const SideThread&) = delete;

  void Start(std::function<void()> task);
  void Wait();

 private:
  void Loop();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> task_;
  bool busy_ = false;
  bool stopping_ = false;
  std::exception_ptr failure_;
  std::thread thread_;  // last: starts once everything above exists
};

}  // namespace normalize
