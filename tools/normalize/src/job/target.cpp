#include "job/target.h"

#include "failure.h"
#include "platform/paths.h"

namespace normalize {

std::string ReplaceableTarget(const std::string& path) {
  const platform::PathInfo info = platform::Inspect(path);
  if (!info.exists) return path;
  if (!info.regular) {
    throw Failure(ExitCode::kOutput, "cannot write the result to '" + path +
                                         "': it is not a regular file (a folder, device, pipe or broken link)");
  }
  if (info.read_only) {
    throw Failure(ExitCode::kOutput, "cannot replace '" + path +
                                         "': it is read-only; it is left as it is (make it writable, or "
                                         "choose another output file with -o)");
  }
  if (info.links > 1) {
    throw Failure(ExitCode::kOutput, "cannot replace '" + path + "': it has " + std::to_string(info.links) +
                                         " hard links, which would keep the old audio; it is left as it is "
                                         "(choose another output file with -o)");
  }
  return info.real_path;
}

}  // namespace normalize
