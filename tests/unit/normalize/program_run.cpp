#include "program_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace normalize::test {

pid_t Spawn(const std::string& program, const std::vector<std::string>& args, int output_fd) {
  std::vector<char*> argv = {const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (output_fd < 0) {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  } else {
    posix_spawn_file_actions_adddup2(&actions, output_fd, STDOUT_FILENO);
  }
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  pid_t pid = -1;
  const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return failed ? -1 : pid;
}

int ExitStatus(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int RunProgram(const std::string& program, const std::vector<std::string>& args, std::string* output) {
  if (!output) {
    const pid_t pid = Spawn(program, args);
    return pid < 0 ? 127 : ExitStatus(pid);
  }
  int pipe_ends[2];
  if (pipe2(pipe_ends, O_CLOEXEC) != 0) return 127;
  const pid_t pid = Spawn(program, args, pipe_ends[1]);
  close(pipe_ends[1]);
  char buffer[4096];
  for (ssize_t got; (got = read(pipe_ends[0], buffer, sizeof buffer)) != 0;) {
    if (got > 0) {
      output->append(buffer, static_cast<std::size_t>(got));
    } else if (errno != EINTR) {
      break;
    }
  }
  close(pipe_ends[0]);
  return pid < 0 ? 127 : ExitStatus(pid);
}

int RunProgramUnprivileged(const std::string& program, const std::vector<std::string>& args, std::string* output) {
  if (geteuid() != 0) return RunProgram(program, args, output);
  std::vector<std::string> dropped = {"--bounding-set", "-dac_override,-dac_read_search", "--", program};
  dropped.insert(dropped.end(), args.begin(), args.end());
  return RunProgram(SETPRIV_EXECUTABLE, dropped, output);
}

}  // namespace normalize::test
