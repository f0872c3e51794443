#pragma once
// A folder named as an input stands for the WAV files in it.
#include <string>
#include <vector>

namespace normalize {

// Whether `name` ends in ".wav" in any letter case.
bool IsWavName(const std::string& name);

// A WAV file found in a folder, or something the walk could not look into.
struct FoundFile {
  std::string path;
  std::string identity;  // the file's, as platform::PathInfo's; may be empty
  std::string problem;   // why `path` was not listed or cannot be worked on; empty for a file
  bool apple_double = false;  // macOS's "._" companion of a file: metadata, not audio; skipped
};

// The files in `folder` whose names end in .wav (any letter case), sorted by
// path; with `recursive`, those of its subfolders too. Links to folders (and
// Windows junctions) met on the way are not followed, and no folder is walked
// twice, so that a link back up cannot make a loop. A folder that cannot be
// listed (`folder` itself too) and a file whose path is too long for the
// system come in the same order, each with its problem. The "._name.wav"
// files macOS leaves beside each file on disks it does not own (AppleDouble
// metadata, not audio) come marked, to be skipped.
std::vector<FoundFile> WavFilesIn(const std::string& folder, bool recursive);

}  // namespace normalize
