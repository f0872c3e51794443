#pragma once
// One codec per sample encoding, shared by the gain pass and the loudness
// measurement so that both read a file's samples alike: `Load` gives the
// container's value (unsigned 8-bit shifted to signed), `Store` writes one
// back, `Unit` gives a value as the single-precision fraction of full scale
// that the loudness filters take.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

namespace normalize::codec {

static_assert(std::endian::native == std::endian::little,
              "samples are read in place as little-endian values");
static_assert(std::numeric_limits<double>::is_iec559);

struct U8 {
  using Value = std::int32_t;
  static constexpr std::size_t kBytes = 1;
  static constexpr bool kFloat = false;
  static Value Load(const std::byte* p) { return std::to_integer<std::int32_t>(*p) - 128; }
  static void Store(std::byte* p, Value v) { *p = static_cast<std::byte>(v + 128); }
  static float Unit(Value v) { return static_cast<float>(v) * (1.0f / 128); }
};

struct S16 {
  using Value = std::int32_t;
  static constexpr std::size_t kBytes = 2;
  static constexpr bool kFloat = false;
  static Value Load(const std::byte* p) {
    std::int16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  static void Store(std::byte* p, Value v) {
    const auto s = static_cast<std::int16_t>(v);
    std::memcpy(p, &s, sizeof s);
  }
  static float Unit(Value v) { return static_cast<float>(v) * (1.0f / 32768); }
};

struct S24 {
  using Value = std::int32_t;
  static constexpr std::size_t kBytes = 3;
  static constexpr bool kFloat = false;
  static Value Load(const std::byte* p) {
    const auto u = std::to_integer<std::uint32_t>(p[0]) | std::to_integer<std::uint32_t>(p[1]) << 8 |
                   std::to_integer<std::uint32_t>(p[2]) << 16;
    return static_cast<std::int32_t>(u << 8) >> 8;
  }
  static void Store(std::byte* p, Value v) {
    const auto u = static_cast<std::uint32_t>(v);
    p[0] = static_cast<std::byte>(u);
    p[1] = static_cast<std::byte>(u >> 8);
    p[2] = static_cast<std::byte>(u >> 16);
  }
  static float Unit(Value v) { return static_cast<float>(v) * (1.0f / 8388608); }
};

struct S32 {
  using Value = std::int32_t;
  static constexpr std::size_t kBytes = 4;
  static constexpr bool kFloat = false;
  static Value Load(const std::byte* p) {
    std::int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  static void Store(std::byte* p, Value v) { std::memcpy(p, &v, sizeof v); }
  // Through double: a float product would round twice.
  static float Unit(Value v) { return static_cast<float>(static_cast<double>(v) * (1.0 / 2147483648.0)); }
};

// IEEE float, 32 or 64 bit. NaN and infinities pass through Unit unchanged
// (a double beyond the float range becomes infinite); callers decide.
template <typename T>
struct Float {
  using Value = T;
  static constexpr std::size_t kBytes = sizeof(T);
  static constexpr bool kFloat = true;
  static Value Load(const std::byte* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  static void Store(std::byte* p, Value v) { std::memcpy(p, &v, sizeof v); }
  static float Unit(Value v) { return static_cast<float>(v); }
};

using F32 = Float<float>;
using F64 = Float<double>;

}  // namespace normalize::codec
