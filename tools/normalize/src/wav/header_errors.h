#pragma once
// The two ways a WAV header is refused, shared by the parts that read one.
#include <string>

namespace normalize {

// Throws Failure (not a WAV): "malformed WAV header: <message>".
[[noreturn]] void Malformed(const std::string& message);

// Throws Failure (unsupported format): "unsupported format: <message>".
[[noreturn]] void Unsupported(const std::string& message);

}  // namespace normalize
