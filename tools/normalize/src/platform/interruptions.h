#pragma once
// Ctrl-C, Ctrl-Break, a closed console window, SIGINT, SIGTERM and SIGHUP.
// Implemented beside the temporary file, which an interruption removes.

namespace normalize::platform {

// Makes an interruption end the process with `exit_code` after removing the
// temporary file, if any, and saying so on the standard error.
void HandleInterruptions(int exit_code);

}  // namespace normalize::platform
