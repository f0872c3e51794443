#pragma once
// How many files may be worked on at once.

namespace normalize::platform {

// The processors this process may run on (at least 1).
unsigned ProcessorCount();

}  // namespace normalize::platform
