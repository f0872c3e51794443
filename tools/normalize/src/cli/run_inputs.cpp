#include "cli/run_inputs.h"

#include <algorithm>
#include <unordered_map>

#include "cli/file_patterns.h"
#include "cli/input_folders.h"
#include "platform/paths.h"

namespace normalize {
namespace {

RunInput Notice(const std::string& name, const std::string& reason) {
  return {"", name, reason, "normalize: " + name + ": " + reason, ExitCode::kInput};
}

class InputList {
 public:
  // Identities are known before the first result replaces a file and gives
  // it a new one.
  void AddFile(const std::string& path, const std::string& known_identity) {
    const std::string identity = known_identity.empty() ? platform::Inspect(path).identity : known_identity;
    if (!identity.empty()) {
      const auto [first, added] = first_names_.emplace(identity, path);
      if (!added) {
        // A second gain on top of the first would damage it.
        list_.push_back({"", path, "", "normalize: warning: " + path + " is the same file as " + first->second +
                                           "; it is worked on once", ExitCode::kOk});
        return;
      }
    }
    list_.push_back({path, "", "", "", ExitCode::kOk});
  }

  void Add(RunInput notice) { list_.push_back(std::move(notice)); }

  // One line for them all, in the place of the first.
  void SkipAppleDouble(const std::string& path) {
    if (apple_double_++ == 0) {
      apple_double_at_ = list_.size();
      first_apple_double_ = path;
      list_.push_back({});
    }
  }

  std::vector<RunInput> Taken() {
    if (apple_double_ > 0) {
      const bool one = apple_double_ == 1;
      list_[apple_double_at_] = {"", first_apple_double_, "",
                                 "normalize: skipped " + std::to_string(apple_double_) + " macOS metadata file" +
                                     (one ? "" : "s") + " (AppleDouble, \"._\" before the name; not audio): " +
                                     first_apple_double_ + (one ? "" : " and the like"),
                                 ExitCode::kOk};
    }
    return std::move(list_);
  }

 private:
  std::vector<RunInput> list_;
  std::size_t apple_double_ = 0;
  std::size_t apple_double_at_ = 0;
  std::string first_apple_double_;
  std::unordered_map<std::string, std::string> first_names_;
};

}  // namespace

std::vector<RunInput> ExpandInputs(const std::vector<std::string>& inputs, bool recursive) {
  InputList list;
  for (const std::string& input : inputs) {
    const platform::PathInfo info = platform::Inspect(input);
    if (!info.folder) {
      const std::vector<std::string> matches = ExpandFilePattern(input);
      if (matches.empty()) list.Add(Notice(input, "no file matches"));
      // A name that is not a pattern has been looked at already.
      for (const std::string& match : matches) list.AddFile(match, match == input ? info.identity : "");
      continue;
    }
    const std::vector<FoundFile> found = WavFilesIn(input, recursive);
    const auto is_audio = [](const FoundFile& file) { return !file.apple_double; };
    if (std::none_of(found.begin(), found.end(), is_audio)) {
      // Without -r the files a level down are easily missed: say where they are.
      const bool below = !recursive && !WavFilesIn(input, true).empty();
      list.Add(Notice(input, below ? "no WAV file in this folder, only in its subfolders (-r takes those too)"
                                   : "no WAV file in this folder"));
    }
    for (const FoundFile& file : found) {
      if (file.apple_double) {
        list.SkipAppleDouble(file.path);
      } else if (file.problem.empty()) {
        list.AddFile(file.path, file.identity);
      } else {
        list.Add(Notice(file.path, file.problem));
      }
    }
  }
  return list.Taken();
}

}  // namespace normalize
