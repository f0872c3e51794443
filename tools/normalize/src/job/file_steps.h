#pragma once
// The steps of one file's run, shared by the run of a single file and by a
// job that works on several files together (an album): open and measure,
// then write.
#include <memory>
#include <string>

#include "cli/command_line.h"
#include "job/job.h"
#include "job/planner.h"
#include "job/reporter.h"
#include "samples/stream_processor.h"
#include "wav/input_file.h"

namespace normalize {

struct OpenedFile {
  std::string target;                // where the result goes; empty when the planner writes nothing
  std::unique_ptr<InputFile> input;  // open, and so locked, until destroyed
  WavLayout layout;
  Measured measured;
};

// Checks the target, opens and locks the input, reads its layout and takes
// the planner's measurement, telling `report`. Throws Failure.
OpenedFile OpenAndMeasure(const Options& options, const Planner& planner, Reporter& report,
                          const JobConsole& console);

// Writes the result with `gain` to a temporary and puts it in place of the
// target; the input is closed. Throws Failure.
WriteResult WriteAndReplace(const Options& options, OpenedFile& file, const GainPlan& gain,
                            const JobConsole& console, ProgressFn progress = {});

}  // namespace normalize
