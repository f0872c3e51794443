#include "job/batch.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "cli/terminal_text.h"

namespace normalize {
namespace {

int Severity(ExitCode code) {
  switch (code) {
    case ExitCode::kOk: return 0;
    case ExitCode::kBelowThreshold:
    case ExitCode::kSilent:
    case ExitCode::kBelowGate: return 1;
    default: return 2;
  }
}

}  // namespace

BatchProgress::~BatchProgress() { Erase(); }

void BatchProgress::Show(std::size_t done, std::size_t total, const std::string& current) {
  if (!shown_) return;
  std::string line = std::to_string(done);
  line.append(" of ").append(std::to_string(total)).append(" files done, at ").append(TerminalSafe(current));
  // Kept within a narrow console's width, so that it never wraps.
  line = CutToColumns(line, kWidth);
  Erase();
  err_ << line << std::flush;
  drawn_ = Columns(line);
}

void BatchProgress::Erase() {
  if (drawn_ == 0) return;
  err_ << "\r" << std::string(drawn_, ' ') << "\r" << std::flush;
  drawn_ = 0;
}

ExitCode Worse(ExitCode a, ExitCode b) {
  if (Severity(a) != Severity(b)) return Severity(a) > Severity(b) ? a : b;
  return static_cast<int>(a) >= static_cast<int>(b) ? a : b;
}

namespace {

// The state InOrder's workers share with the thread that passes results on.
class InOrderRun {
 public:
  explicit InOrderRun(std::size_t count) : count_(count), finished_(count, 0) {}

  // One worker: takes the next index until none is left or one has failed.
  void Work(const std::function<void(std::size_t)>& work) {
    for (;;) {
      std::size_t index = 0;
      {
        const std::lock_guard<std::mutex> held(lock_);
        if (failure_ || next_ == count_) return;
        index = next_++;
      }
      std::exception_ptr thrown;
      try {
        work(index);
      } catch (...) {
        thrown = std::current_exception();
      }
      const std::lock_guard<std::mutex> held(lock_);
      if (thrown && !failure_) failure_ = thrown;
      finished_[index] = thrown ? 0 : 1;
      ++done_;
      changed_.notify_all();
    }
  }

  // On the calling thread: then(i) in the order of i, each as soon as it may.
  void PassOn(const std::function<void(std::size_t)>& then,
              const std::function<void(std::size_t done, std::size_t next)>& waiting) {
    std::size_t passed_on = 0;
    std::size_t seen_done = 0;
    std::unique_lock<std::mutex> held(lock_);
    for (;;) {
      changed_.wait(held, [&] {
        return done_ == count_ || (passed_on < count_ && finished_[passed_on]) || done_ != seen_done ||
               (failure_ && done_ == next_);
      });
      if (failure_ && done_ == next_) return;
      seen_done = done_;
      // Passed on without the lock, so that the workers carry on meanwhile.
      while (passed_on < count_ && finished_[passed_on]) {
        const std::size_t index = passed_on++;
        held.unlock();
        then(index);
        held.lock();
      }
      if (passed_on == count_) return;
      if (waiting) {
        const std::size_t now_done = done_;
        held.unlock();
        waiting(now_done, passed_on);
        held.lock();
      }
    }
  }

  // Once every worker has ended.
  void RethrowFailure() const {
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  const std::size_t count_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<char> finished_;
  std::size_t next_ = 0;
  std::size_t done_ = 0;
  std::exception_ptr failure_;
};

}  // namespace

void InOrder(std::size_t count, unsigned jobs, const std::function<void(std::size_t)>& work,
             const std::function<void(std::size_t)>& then,
             const std::function<void(std::size_t done, std::size_t next)>& waiting) {
  InOrderRun run(count);
  std::vector<std::thread> threads;
  const std::size_t thread_count = std::min<std::size_t>(std::max(jobs, 1u), count);
  for (std::size_t t = 0; t < thread_count; ++t) threads.emplace_back([&] { run.Work(work); });
  run.PassOn(then, waiting);
  for (std::thread& thread : threads) thread.join();
  run.RethrowFailure();
}

void InOrderShown(std::size_t count, unsigned jobs, BatchProgress& progress,
                  const std::function<const std::string&(std::size_t)>& name,
                  const std::function<void(std::size_t)>& work, const std::function<void(std::size_t)>& then) {
  if (count > 0) progress.Show(0, count, name(0));
  InOrder(
      count, jobs, work,
      [&](std::size_t i) {
        progress.Erase();
        then(i);
        if (i + 1 < count) progress.Show(i + 1, count, name(i + 1));
      },
      [&](std::size_t done, std::size_t next) { progress.Show(done, count, name(next)); });
  progress.Erase();
}

}  // namespace normalize
