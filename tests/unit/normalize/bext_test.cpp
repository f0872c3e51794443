// The layout's view of a broadcast WAV's loudness fields and of ReplayGain
// tags, and the writer's replacement of a chunk's bytes.
#include <gtest/gtest.h>

#include <algorithm>

#include "samples/stream_processor.h"
#include "wav/input_file.h"
#include "wav_fixture.h"

namespace normalize::test {
namespace {

constexpr std::int16_t kUnset = 0x7FFF;

RawChunk Fmt16() { return {"fmt ", PcmFmt(1, 1, 16)}; }
RawChunk Data() { return {"data", Bytes(64, 1)}; }

TEST(NormalizeBext, FieldsAreReadByVersionAndWrittenBackOnlyWhereSet) {
  const struct {
    const char* name;
    Bytes bext;
    std::vector<std::optional<double>> stored;  // empty: no loudness fields
  } cases[] = {
      {"version 2, all set", BextPayload(2, {-2310, 750, -120, -1500, -1805}), {-23.1, 7.5, -1.2, -15.0, -18.05}},
      {"version 2, some unset", BextPayload(2, {-1600, kUnset, -10, kUnset, kUnset}),
       {-16.0, std::nullopt, -0.1, std::nullopt, std::nullopt}},
      {"version 1", BextPayload(1, {-2310, 750, -120, -1500, -1805}), {}},
      {"version 2, too short", [] {
         Bytes bext = BextPayload(2, {-2310});
         bext.resize(420);
         return bext;
       }(), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    WriteBytes(dir / "in.wav", BuildRiff({Fmt16(), {"bext", c.bext}, Data()}));
    InputFile input(dir / "in.wav");
    const WavLayout layout = ReadWavLayout(input);
    ASSERT_EQ(layout.bext, std::optional<std::size_t>(1));
    ASSERT_EQ(layout.bext_loudness.has_value(), !c.stored.empty());
    if (c.stored.empty()) continue;
    for (std::size_t i = 0; i < c.stored.size(); ++i) {
      ASSERT_EQ(layout.bext_loudness->values[i].has_value(), c.stored[i].has_value()) << i;
      if (c.stored[i]) {
        EXPECT_DOUBLE_EQ(*layout.bext_loudness->values[i], *c.stored[i]) << i;
      }
    }
    // New figures go where a value was, rounded to the hundredth; a figure
    // that does not exist leaves the field unset.
    BextLoudness figures;
    figures.values = {-22.996, 3.004, -0.994, std::nullopt, -20.0};
    const auto bytes = EncodeBextLoudness(Refreshed(*layout.bext_loudness, figures));
    const std::int16_t expected[] = {-2300, 300, -99, kUnset, -2000};
    for (std::size_t i = 0; i < 5; ++i) {
      const auto got = static_cast<std::int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
      EXPECT_EQ(got, c.stored[i] ? expected[i] : kUnset) << i;
    }
  }
}

TEST(NormalizeBext, ReplayGainTagsAreNamedInAWarning) {
  auto utf16 = [](const std::string& text) {
    Bytes bytes;
    for (char c : text) bytes.insert(bytes.end(), {static_cast<unsigned char>(c), 0});
    return bytes;
  };
  const std::string info = "INFOICMT";
  Bytes id3 = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 40, 'T', 'X', 'X', 'X', 0, 0, 0, 30, 0, 0, 1};
  const Bytes frame = utf16("ReplayGain_Track_Gain");
  id3.insert(id3.end(), frame.begin(), frame.end());
  Bytes long_list(40000, ' ');
  const std::string key = "REPLAYGAIN_ALBUM_GAIN=-3.2 dB";
  std::copy(key.begin(), key.end(), long_list.begin() + 16380);  // across two of the reader's pieces
  const struct {
    const char* name;
    RawChunk tags;
    const char* warning;  // nullptr: none
  } cases[] = {
      {"ID3 TXXX in UTF-16", {"id3 ", id3}, "its 'id3 ' chunk holds ReplayGain values"},
      {"LIST text", {"LIST", long_list}, "its 'LIST' chunk holds ReplayGain values"},
      {"LIST without", {"LIST", Bytes(info.begin(), info.end())}, nullptr},
      {"elsewhere", {"note", utf16("replaygain_track_gain")}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    WriteBytes(dir / "in.wav", BuildRiff({Fmt16(), Data(), c.tags}));
    InputFile input(dir / "in.wav");
    const WavLayout layout = ReadWavLayout(input);
    const bool warned = std::any_of(layout.warnings.begin(), layout.warnings.end(), [&](const LayoutWarning& w) {
      return c.warning && w.found == c.warning &&
             WarningText(w, true).find("describe the audio before the gain") != std::string::npos;
    });
    EXPECT_EQ(warned, c.warning != nullptr);
    EXPECT_EQ(layout.warnings.size(), c.warning ? 1u : 0u);
  }
}

class MemorySink : public ByteSink {
 public:
  void Write(const void* data, std::size_t size) override {
    const auto* bytes = static_cast<const unsigned char*>(data);
    written.insert(written.end(), bytes, bytes + size);
  }
  Bytes written;
};

TEST(NormalizeBext, ReplacedBytesAreWrittenInPlaceOfTheInputs) {
  ScratchDir dir;
  const Bytes file = BuildRiff({Fmt16(), {"bext", BextPayload(2, {-2310, 750, -120, -1500, -1805})}, Data()});
  WriteBytes(dir / "in.wav", file);
  InputFile input(dir / "in.wav");
  const WavLayout layout = ReadWavLayout(input);
  StreamProcessor processor(input, layout, 16384);
  const std::size_t fields = 12 + 24 + 8 + 412;
  processor.Replace(fields + 2, {0xAA, 0xBB});
  processor.Replace(fields, {0x11});
  MemorySink out;
  processor.Write(1, out);
  Bytes expected = file;
  expected[fields] = 0x11;
  expected[fields + 2] = 0xAA;
  expected[fields + 3] = 0xBB;
  EXPECT_EQ(out.written, expected);
}

class FrameCollector final : public FrameSink {
 public:
  void Add(const std::byte* data, std::size_t bytes) override {
    const auto* first = reinterpret_cast<const unsigned char*>(data);
    frames.insert(frames.end(), first, first + bytes);
  }
  Bytes frames;
};

// What is measured as the result is what is then written, dither included,
// twice over (the noise starts afresh for each pass).
TEST(NormalizeBext, TheResultMeasuredIsTheResultWritten) {
  ScratchDir dir;
  Bytes samples;
  for (int i = 0; i < 30001; ++i) samples.push_back(static_cast<unsigned char>(i * 13 % 251));
  WriteBytes(dir / "in.wav", BuildRiff({{"fmt ", PcmFmt(1, 1, 8)}, {"data", samples}}));
  InputFile input(dir / "in.wav");
  const WavLayout layout = ReadWavLayout(input);
  StreamProcessor processor(input, layout, 16384);
  processor.MeasureResultOf(0.7, Dither(5));
  FrameCollector first, second;
  processor.Measure(first);
  processor.Measure(second);
  Dither dither(5);
  MemorySink out;
  processor.Write(0.7, out, &dither);
  const std::size_t data = ListChunks(out.written)[1].offset;
  EXPECT_EQ(first.frames, Bytes(out.written.begin() + data, out.written.begin() + data + samples.size()));
  EXPECT_EQ(second.frames, first.frames);
  EXPECT_NE(first.frames, samples);
}

}  // namespace
}  // namespace normalize::test
