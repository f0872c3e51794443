#pragma once
// A writing run's line for one file as one JSON object, so that a script
// knows exactly what happened: whether the file was written, the gain, why it
// was left as it was, and its figures before and after.
#include <string>

#include "job/planner.h"
#include "samples/stream_processor.h"

namespace normalize {

struct FileJob;

// {"file":"a.wav","written":true,"gain_db":-3.010,"clipped":0,"before":{...},"after":{...}}
// `result`: the write pass's, when the file was written; `dry_run`: the gain
// is what a real run would apply.
std::string ResultJson(const FileJob& job, const Decision& decision, const WriteResult* result, bool dry_run);

// The file's own levels as measured, or as the write pass found them where
// nothing was measured before it (-l, -a).
Levels MeasuredLevels(const FileJob& job, const WriteResult* result);

}  // namespace normalize
