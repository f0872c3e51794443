#pragma once
// Ctrl-C, Ctrl-Break, a closed console window, SIGINT, SIGTERM and SIGHUP.
// Implemented beside the temporary file, which an interruption removes.

#include <string>

namespace normalize::platform {

// Makes an interruption end the process with `exit_code` after removing the
// temporary file, if any, and saying so on the standard error.
void HandleInterruptions(int exit_code);

// What the run has done so far, as text for the standard error: called by an
// interruption once every temporary is removed and no result can be put in
// place any more, just before the process ends (on a thread of its own).
using DoneSoFar = std::string (*)();
void SetInterruptionReport(DoneSoFar report);

// Ends the run as an interruption does (temporaries removed, what was done
// said), for a reason of its own and with `exit_code`.
[[noreturn]] void EndRunNow(const std::string& why, int exit_code);

}  // namespace normalize::platform
