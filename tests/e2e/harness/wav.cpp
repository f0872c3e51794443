// The tool's WAV output, read back.
#include "harness/harness.h"
#include "harness/internal.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace e2e {

using namespace detail;

int PeakOf16BitWav(const std::string& path) {
  const std::string bytes = ReadWholeFile(path);
  const auto data = bytes.find("data", 12);
  if (bytes.size() < 44 || bytes.compare(0, 4, "RIFF") != 0 || data == std::string::npos) return -1;
  int peak = 0;
  for (std::size_t i = data + 8; i + 1 < bytes.size(); i += 2) {
    const auto sample = static_cast<std::int16_t>(static_cast<unsigned char>(bytes[i]) |
                                                  (static_cast<unsigned char>(bytes[i + 1]) << 8));
    peak = std::max(peak, std::abs(static_cast<int>(sample)));
  }
  return peak;
}

}  // namespace e2e
