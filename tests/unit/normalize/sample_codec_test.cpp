// The gain pass and the loudness measurement read samples through one codec
// per format: for every format both must find the same value in every sample,
// each value the container's value over its full scale.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "samples/planar_decode.h"
#include "samples/sample_codec.h"
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

// The wide loops (eight frames a time, their 32-byte reads stopping short of
// the data's end) and what they leave, at every length around their steps
// and every layout, against the codec sample by sample.
TEST(NormalizeSampleCodec, LoudnessDecodeOfEveryLengthAndLayoutIsTheCodecs) {
  std::mt19937 random(3);
  for (const SampleEncoding encoding : {SampleEncoding::kSigned16, SampleEncoding::kSigned24}) {
    const unsigned bytes = encoding == SampleEncoding::kSigned16 ? 2 : 3;
    for (const unsigned channels : {1u, 2u, 3u, 6u}) {
      for (std::size_t frames = 0; frames < 600; frames += frames < 40 ? 1 : 97) {
        SCOPED_TRACE(std::to_string(bytes * 8) + " bits, " + std::to_string(channels) + " channels, " +
                     std::to_string(frames) + " frames");
        const SampleFormat format{encoding, channels, bytes, bytes * 8, channels * bytes, 48000};
        // Exactly as long as the frames, so that the sanitizers' builds
        // catch a read past them.
        std::vector<std::byte> data(frames * format.block_align);
        for (std::byte& b : data) b = static_cast<std::byte>(random());
        // The first sample at negative full scale: the extreme of the shift.
        if (frames > 0) {
          std::fill(data.begin(), data.begin() + bytes - 1, std::byte{0});
          data[bytes - 1] = std::byte{0x80};
        }
        std::vector<std::vector<float>> planar(channels, std::vector<float>(frames, -9.0f));
        std::vector<float*> out;
        for (auto& channel : planar) out.push_back(channel.data());
        std::vector<float> peaks(channels, -1.0f);
        std::uint64_t non_finite = 0;
        DecodePlanar(format, data.data(), frames, out.data(), peaks.data(), non_finite);
        for (unsigned c = 0; c < channels; ++c) {
          float peak = 0;
          for (std::size_t i = 0; i < frames; ++i) {
            const std::byte* p = data.data() + i * format.block_align + c * bytes;
            const float expected =
                bytes == 2 ? codec::S16::Unit(codec::S16::Load(p)) : codec::S24::Unit(codec::S24::Load(p));
            ASSERT_EQ(planar[c][i], expected) << "channel " << c << ", frame " << i;
            peak = std::max(peak, std::fabs(expected));
          }
          EXPECT_EQ(peaks[c], peak) << "channel " << c;
        }
        EXPECT_EQ(non_finite, 0u);
      }
    }
  }
}

}  // namespace
}  // namespace normalize::test
