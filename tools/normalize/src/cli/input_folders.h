#pragma once
// A folder named as an input stands for the WAV files in it.
#include <string>
#include <vector>

namespace normalize {

// Whether `name` ends in ".wav" in any letter case.
bool IsWavName(const std::string& name);

// The files in `folder` whose names end in .wav (any letter case), sorted by
// path; with `recursive`, those of its subfolders too. Links to folders (and
// Windows junctions) met on the way are not followed, and no folder is walked
// twice, so that a link back up cannot make a loop.
std::vector<std::string> WavFilesIn(const std::string& folder, bool recursive);

}  // namespace normalize
