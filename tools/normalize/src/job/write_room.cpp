#include "job/write_room.h"

#include <algorithm>
#include <map>

#include "failure.h"
#include "job/decibels.h"
#include "job/group.h"
#include "job/output_dir.h"
#include "output/atomic_output.h"
#include "platform/capacity.h"

namespace normalize {
namespace {

std::string Mebibytes(std::uint64_t bytes) { return Fixed(static_cast<double>(bytes) / (1 << 20), 1) + " MiB"; }

}  // namespace

std::optional<std::string> WhyResultsCannotBeWritten(const std::vector<PlannedResult>& results, bool make_folders,
                                                     unsigned jobs) {
  struct Need {
    std::uint64_t largest = 0;  // the largest result, with room for its header
    std::uint64_t files = 0;
  };
  std::map<std::string, Need> needs;  // by folder
  for (const PlannedResult& result : results) {
    Need& need = needs[FolderKey(result.target)];
    need.largest = std::max(need.largest, result.input_bytes + (64 << 10));
    if (need.files++ > 0) continue;
    try {
      if (make_folders) MakeOutputFolders(result.target);
      AtomicOutputFile probe(result.target);
    } catch (const Failure& failure) {
      return failure.what();
    }
  }
  for (const auto& [folder, need] : needs) {
    const std::uint64_t wanted = need.largest * std::min<std::uint64_t>(jobs, need.files) + (1 << 20);
    const std::optional<std::uint64_t> free = platform::FreeBytes(folder + "/");
    if (!free || *free >= wanted) continue;
    return "the disk of '" + folder + "' has " + Mebibytes(*free) + " free, and writing the album needs up to " +
           Mebibytes(wanted) + " at once";
  }
  return std::nullopt;
}

}  // namespace normalize
