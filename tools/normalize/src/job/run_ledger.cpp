#include "job/run_ledger.h"


#include "job/decibels.h"
#include "platform/interruptions.h"

namespace normalize {
namespace {

// The run's ledger, which an interruption (on a thread of its own) may ask
// while the run is ending: held under the lock until it has answered.
std::mutex current_lock;
const RunLedger* current = nullptr;

std::string SayCurrent() {
  const std::lock_guard<std::mutex> held(current_lock);
  return current ? current->DoneSoFar() : std::string();
}

}  // namespace

RunLedger::RunLedger(std::vector<std::string> names)
    : names_(std::move(names)),
      states_(names_.size(), State::kUntouched),
      gains_(names_.size(), 0),
      passed_on_(names_.size(), false) {
  {
    const std::lock_guard<std::mutex> held(current_lock);
    current = this;
  }
  platform::SetInterruptionReport(SayCurrent);
}

RunLedger::~RunLedger() {
  // An interruption from here on has nothing left unsaid.
  const std::lock_guard<std::mutex> held(current_lock);
  current = nullptr;
}

void RunLedger::Written(std::size_t index, double gain_db) {
  const std::lock_guard<std::mutex> held(lock_);
  states_[index] = State::kWritten;
  gains_[index] = gain_db;
}

void RunLedger::PassedOn(std::size_t index) {
  const std::lock_guard<std::mutex> held(lock_);
  passed_on_[index] = true;
}

void RunLedger::SetClosingNote(std::string note) {
  const std::lock_guard<std::mutex> held(lock_);
  closing_note_ = std::move(note);
}

std::string RunLedger::DoneSoFar() const {
  const std::lock_guard<std::mutex> held(lock_);
  std::string written;
  std::string untouched;
  std::size_t untouched_count = 0;
  // Every file written is named, also where its own line went to a stream the
  // user may not see (a file, a pipe that closed).
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (states_[i] == State::kWritten) {
      written += "normalize: " + names_[i] + ": written with gain " + Decibels(gains_[i], true) + " dB\n";
    } else if (!passed_on_[i]) {
      untouched += (untouched_count++ ? ", " : "") + names_[i];
    }
  }
  if (untouched_count > 0) {
    written += "normalize: left as " + std::string(untouched_count == 1 ? "it was: " : "they were: ") + untouched + "\n";
  }
  if (!closing_note_.empty()) written += "normalize: " + closing_note_ + "\n";
  return written;
}

}  // namespace normalize
