#pragma once
// What a run has done to each of its files, kept so that whatever ends it (an
// interruption, a closed console, output that cannot be written) can still
// name every file it changed, with its gain, and every file it left as it
// was, where their own lines have not been passed on yet.
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace normalize {

class RunLedger {
 public:
  // `names`: the run's files, in the order named. The ledger is the run's
  // report to an interruption from here until it is destroyed.
  explicit RunLedger(std::vector<std::string> names);
  ~RunLedger();
  RunLedger(const RunLedger&) = delete;
  RunLedger& operator=(const RunLedger&) = delete;

  // File `index`'s result is in place, with `gain_db`.
  void Written(std::size_t index, double gain_db);
  // File `index`'s own line has been passed on: it names it.
  void PassedOn(std::size_t index);
  // Said last, e.g. how to finish an album that was stopped part way.
  void SetClosingNote(std::string note);

  // The lines for the standard error: every file written, with its gain, and
  // the files left as they were of those not yet passed on.
  std::string DoneSoFar() const;

 private:
  enum class State : unsigned char { kUntouched, kWritten };
  mutable std::mutex lock_;
  std::vector<std::string> names_;
  std::vector<State> states_;
  std::vector<double> gains_;
  std::vector<bool> passed_on_;
  std::string closing_note_;
};

}  // namespace normalize
