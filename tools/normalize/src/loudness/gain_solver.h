#pragma once
// The gain that brings a set of 400 ms gating blocks to a loudness. Gated
// loudness is not target minus measured away from steady material: the
// absolute gate stays at -70 LUFS while a gain moves the blocks, so quiet
// blocks (a decaying tail, the silence between hits) cross it and the gated
// mean jumps. The blocks are one file's or, for one gain over several files,
// all of theirs together.
#include <optional>
#include <vector>

namespace normalize {

// The gain in dB at which the gated loudness of `block_powers` is
// `target_lufs`; of several such gains, one next to target minus measured.
// Nothing when no block passes the gates without a gain.
std::optional<double> GainForLoudness(const std::vector<double>& block_powers, double target_lufs);

}  // namespace normalize
