#pragma once
// The console the tool writes to.
#include <cstdio>

namespace normalize::platform {

bool IsTerminal(std::FILE* stream);

// Whether the stream leads anywhere: a program started without a console on
// Windows has no standard output at all, which is no failure to write.
bool LeadsSomewhere(std::FILE* stream);

// Console set-up before the first output (UTF-8 text on Windows).
void PrepareConsole();

// Undoes PrepareConsole. When the tool was started into a console window of
// its own (by the shell, from a GUI program or Explorer) and writes to it,
// first keeps that window open so that the result can be read: a moment after
// success, until a key is pressed after a failure (a non-zero `exit_code`).
void EndConsole(int exit_code);

}  // namespace normalize::platform
