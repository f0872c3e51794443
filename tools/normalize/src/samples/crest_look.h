#pragma once
// The closer look at the crests CeilingPeakMeter kept: the signal around each
// reconstructed with a sinc reaching kReach samples to either side (an ideal
// band-limited reconstruction, but for what lies further away), its largest
// magnitude found to a few ten-thousandths of a sample.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "samples/ceiling_peak.h"

namespace normalize {

// The close look's reach, and the first look's, which picks the crests for it.
constexpr std::size_t kCrestReach = 2048;
constexpr std::size_t kFirstReach = 128;
// How many crests the close look takes, the loudest by the first look.
constexpr std::size_t kCrestsLooked = 8;

// Fills `out` with `count` samples of `channel` from frame `first` of the
// file on, zeros where the file has none.
using CrestSamples = std::function<void(unsigned channel, std::int64_t first, std::size_t count, float* out)>;

// The largest magnitude within half a sample of the interval that starts at
// around[reach]; `around` holds 2 * reach samples (reach: kFirstReach or
// kCrestReach).
double CrestPeak(const float* around, std::size_t reach);
// The same on a grid of eighths alone (kFirstReach or kCrestReach).
double GridPeak(const float* around, std::size_t reach);

// The largest magnitude near any of `crests`: each (at most
// CeilingPeakMeter::kKept, the loudest by their estimates) looked at on the
// grid with kFirstReach, the loudest kCrestsLooked of those closely with
// kCrestReach.
double LookAtCrests(std::vector<Crest> crests, const CrestSamples& samples);

}  // namespace normalize
