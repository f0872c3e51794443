#pragma once
// Before an album writes its first result: whether it can write them all.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace normalize {

struct PlannedResult {
  std::string target;         // where the result goes
  std::uint64_t input_bytes;  // the size of the file it is made from
};

// In every folder a temporary made and removed (under --output-dir, its
// folders made first: `make_folders`), and room on every disk for the
// results written at once (`jobs` of them at most): why not, or nothing.
std::optional<std::string> WhyResultsCannotBeWritten(const std::vector<PlannedResult>& results, bool make_folders,
                                                     unsigned jobs);

}  // namespace normalize
