// normalize: changes the loudness of a WAV file. See UsageText for the options.
#include <cstdio>
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "job/job.h"
#include "failure.h"
#include "platform/console.h"
#include "platform/interruptions.h"
#include "platform/processors.h"
#include "quilbo_version.h"

namespace {

int Main(int argc, char** argv) {
  using namespace normalize;
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::cerr << ShortUsageText();
    return static_cast<int>(ExitCode::kUsage);
  }
  Options options;
  try {
    options = ParseCommandLine(args);
  } catch (const Failure& failure) {
    std::cerr << "normalize: " << failure.what() << "\n";
    return static_cast<int>(failure.code());
  }
  if (options.help) {
    std::cout << UsageText();
    return 0;
  }
  if (options.version) {
    // The version Quilbo.exe's and normalize.exe's version resources carry.
    std::cout << "normalize " QUILBO_VERSION_TEXT " (Quilbo-FE)\n";
    return 0;
  }
  JobConsole console{std::cout, std::cerr, platform::IsTerminal(stdout)};
  console.show_batch_progress = platform::IsTerminal(stderr) && !options.json;
  console.out_is_terminal = platform::IsTerminal(stdout);
  console.err_is_terminal = platform::IsTerminal(stderr);
  if (platform::LeadsSomewhere(stdout)) {
    console.stop_run = [](const std::string& why) { platform::EndRunNow(why, static_cast<int>(ExitCode::kOutput)); };
  }
  return static_cast<int>(RunJob(options, console));
}

}  // namespace

int main(int argc, char** argv) {
  normalize::platform::PrepareConsole();
  normalize::platform::AllowMostOpenFiles();
  normalize::platform::HandleInterruptions(static_cast<int>(normalize::ExitCode::kInterrupted));
  int code = 0;
  try {
    code = Main(argc, argv);
  } catch (const std::bad_alloc&) {
    std::cerr << "normalize: out of memory\n";
    code = static_cast<int>(normalize::ExitCode::kInternal);
  } catch (const std::exception& error) {
    std::cerr << "normalize: internal error: " << error.what() << "\n";
    code = static_cast<int>(normalize::ExitCode::kInternal);
  }
  // What is still buffered must arrive too: a full disk is a failure.
  if (!std::cout.flush() && code == 0 && normalize::platform::LeadsSomewhere(stdout)) {
    std::cerr << "normalize: cannot write the output\n";
    code = static_cast<int>(normalize::ExitCode::kOutput);
  }
  normalize::platform::EndConsole(code);
  return code;
}
