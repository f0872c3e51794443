#pragma once
// Where results go: over their inputs, to -o's file, or with --output-dir to
// the same place under another folder, the inputs left as they are.
#include <optional>
#include <string>
#include <vector>

#include "cli/command_line.h"

namespace normalize {

// The file `input`'s result goes to: -o's file; under --output-dir, the path
// of `input` relative to the folder named that found it (a file named on its
// own, or by a pattern: its name alone); nothing: the input itself.
std::optional<std::string> OutputOf(const Options& options, const std::string& input);

// -o or --output-dir: every result is a file of its own, written even where
// the input is right already (a copy, then).
bool WritesElsewhere(const Options& options);

// Why --output-dir cannot take the results of `files`: it lies where the run
// walks (the next run would take the results for inputs), an input would be
// its own output, or two inputs one output. Empty when it can.
std::string OutputDirProblem(const Options& options, const std::vector<std::string>& files);

// Makes the folders `output` is to go in, where they are missing. Throws
// Failure (output).
void MakeOutputFolders(const std::string& output);

}  // namespace normalize
