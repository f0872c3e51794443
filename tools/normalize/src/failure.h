#pragma once
// Every way a run can end, and the one exception type that carries it out of
// the layer that noticed the problem.
#include <stdexcept>
#include <string>

namespace normalize {

enum class ExitCode : int {
  kOk = 0,
  kUsage = 1,         // bad option, value or argument count
  kInput = 2,         // input missing, unreadable, or a read failed
  kNotWav = 3,        // not RIFF/WAVE, or a malformed header
  kUnsupported = 4,   // a WAV format this tool does not process
  kOutput = 5,        // the result could not be written or put in place
  kBelowThreshold = 6,  // -x: the gain would be too small; nothing written
  kSilent = 7,        // -m on a silent file; nothing written
  kInternal = 8,      // anything unexpected (out of memory, a bug)
  kInterrupted = 9,   // Ctrl-C, a closed console, a termination signal; temporary removed
  kBusy = 10,         // another run holds the input; nothing written
  kBelowGate = 11,    // --loudness/--analyze: silent or below the absolute gate; nothing written
  kBeyondFormat = 12,  // the result would be silent, or miss the target: the format cannot hold it; nothing written
};

class Failure : public std::runtime_error {
 public:
  Failure(ExitCode code, const std::string& message)
      : std::runtime_error(message), code_(code) {}
  ExitCode code() const { return code_; }

 private:
  ExitCode code_;
};

}  // namespace normalize
