#pragma once
// How many files may be worked on at once.

namespace normalize::platform {

// The processors this process may run on (at least 1).
unsigned ProcessorCount();

// Lets the process hold as many files open as the system allows it, not the
// usual default (1,024 descriptors, or 512 C streams on Windows): an album
// holds every file open from measuring to writing.
void AllowMostOpenFiles();

}  // namespace normalize::platform
