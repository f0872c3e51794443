#pragma once
// Values taken from a fuzzer's bytes, decoded as libFuzzer's FuzzedDataProvider
// decodes them, so that a corpus means the same inputs under libFuzzer and in
// the replay that the ordinary build runs (which has no clang headers).
// Integers come from the end of the data, strings from its front.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <type_traits>

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), left_(size) {}

  // A value in [minimum, maximum] from up to sizeof(T) bytes taken off the end;
  // `minimum` when none are left.
  template <typename T>
  T IntegralInRange(T minimum, T maximum) {
    static_assert(std::is_integral_v<T> && sizeof(T) <= sizeof(std::uint64_t));
    if (minimum > maximum) std::abort();
    const std::uint64_t range = static_cast<std::uint64_t>(maximum) - static_cast<std::uint64_t>(minimum);
    std::uint64_t result = 0;
    for (std::size_t bits = 0; bits < sizeof(T) * 8 && (range >> bits) > 0 && left_ > 0; bits += 8) {
      --left_;
      result = (result << 8) | data_[left_];
    }
    if (range != std::numeric_limits<std::uint64_t>::max()) result %= range + 1;
    return static_cast<T>(static_cast<std::uint64_t>(minimum) + result);
  }

  template <typename T>
  T Integral() {
    return IntegralInRange(std::numeric_limits<T>::min(), std::numeric_limits<T>::max());
  }

  bool Bool() { return (Integral<std::uint8_t>() & 1) != 0; }

  // At most `maxLength` bytes from the front. A backslash ends the string unless
  // a second one follows, which stands for one backslash.
  std::string RandomLengthString(std::size_t maxLength) {
    std::string result;
    for (std::size_t i = 0; i < maxLength && left_ > 0; ++i) {
      char next = Take();
      if (next == '\\' && left_ > 0) {
        next = Take();
        if (next != '\\') break;
      }
      result += next;
    }
    return result;
  }

  std::string RemainingBytesAsString() {
    std::string rest(reinterpret_cast<const char*>(data_), left_);
    data_ += left_;
    left_ = 0;
    return rest;
  }

 private:
  char Take() {
    const char c = static_cast<char>(*data_);
    ++data_;
    --left_;
    return c;
  }

  const std::uint8_t* data_;
  std::size_t left_;
};
