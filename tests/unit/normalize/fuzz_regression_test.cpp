// Headers the fuzzer (tests/fuzz/wav_header_fuzz.cpp) found mishandled.
#include <gtest/gtest.h>

#include <cstdint>

#include "wav/input_file.h"
#include "wav/wav_format.h"
#include "wav_fixture.h"

namespace normalize::test {
namespace {

// RF64 with one 16-bit mono sample; the ds64 RIFF size is `riff_size`.
Bytes Rf64WithRiffSize(std::uint64_t riff_size) {
  Bytes file = {'R', 'F', '6', '4', 0xFF, 0xFF, 0xFF, 0xFF, 'W', 'A', 'V', 'E', 'd', 's', '6', '4'};
  auto append = [&file](const Bytes& more) { file.insert(file.end(), more.begin(), more.end()); };
  append(Le32(28));
  append(Le64(riff_size));
  append(Le64(2));  // data size
  append(Le64(1));  // sample count
  append(Le32(0));  // table entries
  append({'f', 'm', 't', ' '});
  append(Le32(16));
  append(PcmFmt(1, 1, 16));
  append({'d', 'a', 't', 'a'});
  append(Le32(0xFFFFFFFF));
  append({0x34, 0x12});
  return file;
}

// A RIFF size beyond the file's end means the file's end, also when it is so
// large that adding the 8 header bytes to it would wrap around.
TEST(NormalizeFuzzRegression, Rf64RiffSizeBeyondTheFileIsTheFilesEnd) {
  const std::uint64_t all_ones = ~std::uint64_t{0};
  for (const std::uint64_t riff_size : {std::uint64_t{74}, std::uint64_t{1} << 40, all_ones - 8, all_ones - 7, all_ones}) {
    SCOPED_TRACE(riff_size);
    ScratchDir dir;
    WriteBytes(dir / "in.wav", Rf64WithRiffSize(riff_size));
    InputFile input(dir / "in.wav");
    const WavLayout layout = ReadWavLayout(input);
    ASSERT_EQ(layout.chunks.size(), 3u);
    EXPECT_EQ(layout.data_chunk().offset, 72u);
    EXPECT_EQ(layout.data_chunk().size, 2u);
    EXPECT_EQ(layout.warnings.size(), riff_size == 74 ? 0u : 1u);
  }
}

}  // namespace
}  // namespace normalize::test
