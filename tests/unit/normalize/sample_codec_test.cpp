// The gain pass and the loudness measurement read samples through one codec
// per format: for every format both must find the same value in every sample,
// each value the container's value over its full scale.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "samples/planar_decode.h"
#include "samples/sample_kernel.h"

namespace normalize::test {
namespace {

struct Case {
  SampleEncoding encoding;
  unsigned bytes;
  double full_scale;  // 0: float
  std::vector<double> values;  // the container's values, interleaved stereo
};

std::vector<std::byte> Encode(const Case& c) {
  std::vector<std::byte> data(c.values.size() * c.bytes);
  for (std::size_t i = 0; i < c.values.size(); ++i) {
    std::byte* p = data.data() + i * c.bytes;
    if (c.encoding == SampleEncoding::kFloat32) {
      const auto f = static_cast<float>(c.values[i]);
      std::memcpy(p, &f, 4);
    } else if (c.encoding == SampleEncoding::kFloat64) {
      std::memcpy(p, &c.values[i], 8);
    } else {
      auto v = static_cast<std::int64_t>(c.values[i]) + (c.encoding == SampleEncoding::kUnsigned8 ? 128 : 0);
      for (unsigned b = 0; b < c.bytes; ++b, v >>= 8) p[b] = static_cast<std::byte>(v & 0xff);
    }
  }
  return data;
}

TEST(NormalizeSampleCodec, GainPassAndLoudnessDecodeEveryFormatAlike) {
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = HUGE_VAL;
  const Case cases[] = {
      {SampleEncoding::kUnsigned8, 1, 128, {-128, 127, -127, 1, 0, -1, 64, -64, 5, 100}},
      {SampleEncoding::kSigned16, 2, 32768, {-32768, 32767, -32767, 1, 0, -1, 12345, -23456, 7, 300}},
      {SampleEncoding::kSigned24, 3, 8388608, {-8388608, 8388607, -8388607, 1, 0, -1, 4660, -1193046, 9, 77}},
      {SampleEncoding::kSigned32, 4, 2147483648.0,
       {-2147483648.0, 2147483647, -2147483647, 1, 0, -1, 123456789, -987654321, 255, 65536}},
      {SampleEncoding::kFloat32, 4, 0, {-1.5, 0.25, 3e-39, 1, 0, nan, inf, -inf, 0.1, -0.7}},
      {SampleEncoding::kFloat64, 8, 0, {-2, 1e-300, 0.1, 1, 0, nan, -inf, 1e30, 1.0 / 3, -0.9}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.encoding));
    const SampleFormat format{c.encoding, 2, c.bytes, c.bytes * 8, 2 * c.bytes, 48000};
    const std::vector<std::byte> data = Encode(c);
    const std::size_t frames = c.values.size() / 2;
    std::vector<float> left(frames), right(frames);
    float* planar[] = {left.data(), right.data()};
    float peaks[2];
    std::uint64_t non_finite = 0;
    DecodePlanar(format, data.data(), frames, planar, peaks, non_finite);

    std::uint64_t scanned_non_finite = 0;
    for (std::size_t i = 0; i < c.values.size(); ++i) {
      SCOPED_TRACE(i);
      // NaN and infinities count as nothing in both.
      const double value = std::isfinite(c.values[i]) ? c.values[i] : 0;
      const double expected = c.full_scale != 0 ? value / c.full_scale : value;
      PeakTracker tracker;
      ScanPeak(format, data.data() + i * c.bytes, 1, tracker);
      scanned_non_finite += tracker.non_finite;
      const Peak peak = ToPeak(tracker, format);
      const float decoded = planar[i % 2][i / 2];
      EXPECT_EQ(decoded, static_cast<float>(expected));
      EXPECT_EQ(static_cast<float>(peak.positive - peak.negative), decoded);
    }
    EXPECT_EQ(non_finite, scanned_non_finite);
    EXPECT_EQ(peaks[0], std::fabs(*std::max_element(left.begin(), left.end(), [](float a, float b) {
                return std::fabs(a) < std::fabs(b);
              })));
  }
}

}  // namespace
}  // namespace normalize::test
