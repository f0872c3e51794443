#pragma once
// Starts programs without a shell: the program's path and every argument reach
// it as they are, whatever folder the clone lives in or the scratch files are in.
#include <sys/types.h>

#include <string>
#include <vector>

namespace normalize::test {

// Starts `program` with `args`; what it writes to either stream goes to
// `output_fd`, or nowhere when that is -1. The process id, or -1.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args, int output_fd = -1);

// Waits for `pid` to end: its exit code, or 128 + the signal that ended it.
int ExitStatus(pid_t pid);

// Runs `program` to its end: its exit status as ExitStatus gives it (127 when it
// could not start); `output`, when given, receives both of its streams.
int RunProgram(const std::string& program, const std::vector<std::string>& args, std::string* output = nullptr);

// RunProgram, with permissions holding even when this process is root: the
// program cannot read past them.
int RunProgramUnprivileged(const std::string& program, const std::vector<std::string>& args,
                           std::string* output = nullptr);

}  // namespace normalize::test
