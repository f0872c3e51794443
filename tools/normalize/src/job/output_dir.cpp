#include "job/output_dir.h"

#include <cstring>
#include <filesystem>
#include <unordered_map>

#include "failure.h"
#include "platform/folder.h"
#include "platform/paths.h"

namespace normalize {
namespace {

bool IsSeparator(char c) { return c != '\0' && std::strchr(platform::kPathSeparators, c) != nullptr; }

std::string NameOf(const std::string& path) {
  const std::size_t cut = path.find_last_of(platform::kPathSeparators);
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string FolderOf(const std::string& path) {
  const std::size_t cut = path.find_last_of(platform::kPathSeparators);
  return cut == std::string::npos ? "" : path.substr(0, cut);
}

// `input` below the named folder `named`, as the folder walk joined them.
std::optional<std::string> Below(const std::string& named, const std::string& input) {
  if (named.empty() || input.size() <= named.size() || input.compare(0, named.size(), named) != 0) return std::nullopt;
  if (IsSeparator(named.back())) return input.substr(named.size());
  if (IsSeparator(input[named.size()])) return input.substr(named.size() + 1);
  return std::nullopt;
}

// The folder and every folder above it, from the folder itself up.
std::vector<std::string> FolderAndAbove(const std::string& folder) {
  std::vector<std::string> chain;
  std::error_code error;
  std::filesystem::path path = std::filesystem::absolute(folder, error).lexically_normal();
  if (error) return chain;
  if (!path.has_filename() && path.has_parent_path() && path != path.root_path()) path = path.parent_path();
  for (;;) {
    chain.push_back(path.string());
    const std::filesystem::path parent = path.parent_path();
    if (parent.empty() || parent == path) return chain;
    path = parent;
  }
}

}  // namespace

std::optional<std::string> OutputOf(const Options& options, const std::string& input) {
  if (options.output || !options.output_dir) return options.output;
  std::string relative = NameOf(input);
  for (const std::string& named : options.inputs) {
    if (const auto below = Below(named, input)) {
      relative = *below;
      break;
    }
  }
  const std::string& folder = *options.output_dir;
  return folder + (IsSeparator(folder.back()) ? "" : std::string(1, platform::kPathSeparators[0])) + relative;
}

bool WritesElsewhere(const Options& options) { return options.output || options.output_dir; }

std::string OutputDirProblem(const Options& options, const std::vector<std::string>& files) {
  if (!options.output_dir) return "";
  const std::string& folder = *options.output_dir;
  for (const std::string& named : options.inputs) {
    const platform::PathInfo walked = platform::Inspect(named);
    if (!walked.folder || walked.identity.empty()) continue;
    const std::vector<std::string> chain = FolderAndAbove(folder);
    // Without -r only the named folder's own files are walked.
    for (std::size_t i = 0; i < chain.size() && (options.recursive || i == 0); ++i) {
      if (platform::Inspect(chain[i]).identity != walked.identity) continue;
      return "--output-dir '" + folder + "' " +
             (i == 0 ? "is the folder '" + named + "' itself"
                     : "is inside the folder '" + named + "', which -r walks: a later run would take the results "
                                                          "for inputs") +
             "; choose a folder outside it";
    }
  }
  std::unordered_map<std::string, std::string> input_of;
  for (const std::string& file : files) {
    const std::string output = *OutputOf(options, file);
    const auto [first, added] = input_of.emplace(output, file);
    if (!added) return "'" + first->second + "' and '" + file + "' would both be written to '" + output + "'";
    const platform::PathInfo there = platform::Inspect(output);
    if (there.exists && !there.identity.empty() && there.identity == platform::Inspect(file).identity) {
      return "'" + file + "' would be its own output (--output-dir '" + folder + "' is its folder)";
    }
  }
  return "";
}

void MakeOutputFolders(const std::string& output) {
  const std::string folder = FolderOf(output);
  if (folder.empty() || platform::Inspect(folder).exists) return;
  MakeOutputFolders(folder);
  std::string error;
  if (!platform::MakeFolder(folder, error)) {
    throw Failure(ExitCode::kOutput, "cannot make the folder '" + folder + "': " + error);
  }
}

}  // namespace normalize
