#pragma once
// Several files worked on at once, on up to -j threads, with what each says
// passed on in the order the files were named: a slow file holds back the
// lines after its own, never reorders them.
#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "failure.h"

namespace normalize {

// Runs work(i) for every i < count on up to `jobs` threads, and then(i) on the
// calling thread in the order of i, each as soon as work(0..i) are done.
// waiting(done, next) runs on the calling thread whenever a file is done
// while file `next` is still awaited. An exception from work stops further
// files from starting and is thrown here once the others in flight are done.
void InOrder(std::size_t count, unsigned jobs, const std::function<void(std::size_t)>& work,
             const std::function<void(std::size_t)>& then,
             const std::function<void(std::size_t done, std::size_t next)>& waiting = {});

// "3 of 60 files done, at album/track 04.wav" on one line of the error
// stream, redrawn in place and erased at the end; nothing unless `shown`.
class BatchProgress {
 public:
  BatchProgress(std::ostream& err, bool shown) : err_(err), shown_(shown) {}
  ~BatchProgress();
  BatchProgress(const BatchProgress&) = delete;
  BatchProgress& operator=(const BatchProgress&) = delete;

  void Show(std::size_t done, std::size_t total, const std::string& current);
  void Erase();

 private:
  static constexpr std::size_t kWidth = 79;
  std::ostream& err_;
  bool shown_;
  std::size_t drawn_ = 0;
};

// InOrder with `progress` kept on the error stream: erased before each
// then(i), and naming (name(i)) the file awaited next.
void InOrderShown(std::size_t count, unsigned jobs, BatchProgress& progress,
                  const std::function<const std::string&(std::size_t)>& name,
                  const std::function<void(std::size_t)>& work, const std::function<void(std::size_t)>& then);

// Of two exit codes, the one a run of several files reports: failures
// outrank files left alone, which outrank success; of two alike, the higher.
ExitCode Worse(ExitCode a, ExitCode b);

}  // namespace normalize
