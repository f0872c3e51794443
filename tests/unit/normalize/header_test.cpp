// Hand-built files: malformed headers are refused or handled, never crash or
// allocate by a header's word; other chunks, RF64 and truncated data survive.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "wav_fixture.h"

// Every allocation of this test program is measured, to show that no header
// field decides the size of a buffer.
namespace {
std::atomic<std::size_t> largest_allocation{0};

void* Allocate(std::size_t size) {
  std::size_t seen = largest_allocation.load();
  while (size > seen && !largest_allocation.compare_exchange_weak(seen, size)) {
  }
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace normalize::test {
namespace {

const std::int16_t kSamples[] = {0, 1000, -1000, 32767, -32768, 5, -5, 12};

Bytes SampleBytes() {
  Bytes bytes;
  for (std::int16_t s : kSamples) {
    const Bytes le = Le16(static_cast<std::uint16_t>(s));
    bytes.insert(bytes.end(), le.begin(), le.end());
  }
  return bytes;
}

std::vector<std::int16_t> Doubled() {
  std::vector<std::int16_t> out;
  for (std::int16_t s : kSamples) out.push_back(static_cast<std::int16_t>(std::clamp(s * 2, -32768, 32767)));
  return out;
}

std::vector<std::int16_t> SamplesAt(const Bytes& file, std::size_t offset, std::size_t count) {
  std::vector<std::int16_t> samples(count);
  std::memcpy(samples.data(), &file[offset], count * 2);
  return samples;
}

RawChunk Fmt16() { return {"fmt ", PcmFmt(1, 1, 16)}; }
RawChunk Data() { return {"data", SampleBytes()}; }

Bytes ExtensibleFmt(unsigned bits, unsigned valid_bits) {
  Bytes fmt = PcmFmt(0xFFFE, 1, bits);
  for (const Bytes& part : {Le16(22), Le16(valid_bits), Le32(4), Le16(1)}) fmt.insert(fmt.end(), part.begin(), part.end());
  const unsigned char tail[14] = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
  fmt.insert(fmt.end(), tail, tail + 14);
  return fmt;
}

TEST(NormalizeHeaders, RefusedLeaveTheInputUntouched) {
  const Bytes valid = BuildRiff({Fmt16(), Data()});
  Bytes short_fmt = PcmFmt(1, 1, 16);
  short_fmt.resize(14);
  const struct {
    const char* name;
    Bytes file;
    ExitCode code;
    const char* message;
  } cases[] = {
      {"empty file", {}, ExitCode::kNotWav, "not a WAV"},
      {"truncated header", Bytes(valid.begin(), valid.begin() + 10), ExitCode::kNotWav, "truncated"},
      {"not RIFF", {'O', 'g', 'g', 'S', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}, ExitCode::kNotWav, "not a WAV"},
      {"RIFF but not WAVE", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '}, ExitCode::kNotWav, "WAVE"},
      {"fmt shorter than 16", BuildRiff({{"fmt ", short_fmt}, Data()}), ExitCode::kNotWav, "16 needed"},
      {"zero channels", BuildRiff({{"fmt ", PcmFmt(1, 0, 16, 2)}, Data()}), ExitCode::kNotWav, "zero channels"},
      {"block align disagrees", BuildRiff({{"fmt ", PcmFmt(1, 1, 16, 4)}, Data()}), ExitCode::kNotWav, "block alignment"},
      {"valid bits above container", BuildRiff({{"fmt ", ExtensibleFmt(16, 20)}, Data()}), ExitCode::kNotWav, "valid bits"},
      {"short extensible fmt", BuildRiff({{"fmt ", PcmFmt(0xFFFE, 1, 16)}, Data()}), ExitCode::kNotWav, "EXTENSIBLE"},
      {"chunk beyond the file", BuildRiff({Fmt16(), {"LIST", {1, 2, 3, 4}, 5000}, Data()}), ExitCode::kNotWav, "'LIST' claims 5000"},
      {"no data chunk", BuildRiff({Fmt16()}), ExitCode::kNotWav, "no 'data'"},
      {"no fmt chunk", BuildRiff({Data()}), ExitCode::kNotWav, "no 'fmt '"},
      {"two fmt chunks", BuildRiff({Fmt16(), Fmt16(), Data()}), ExitCode::kNotWav, "more than one"},
      {"ADPCM", BuildRiff({{"fmt ", PcmFmt(2, 1, 4, 256)}, Data()}), ExitCode::kUnsupported, "Microsoft ADPCM"},
      {"mu-law", BuildRiff({{"fmt ", PcmFmt(7, 1, 8)}, Data()}), ExitCode::kUnsupported, "mu-law"},
      {"PCM 12-bit", BuildRiff({{"fmt ", PcmFmt(1, 1, 12, 2)}, Data()}), ExitCode::kUnsupported, "PCM 12-bit"},
      {"float 16-bit", BuildRiff({{"fmt ", PcmFmt(3, 1, 16)}, Data()}), ExitCode::kUnsupported, "IEEE float 16-bit"},
      {"big-endian RIFX", {'R', 'I', 'F', 'X', 0, 0, 0, 4, 'W', 'A', 'V', 'E'}, ExitCode::kUnsupported,
       "big-endian (RIFX) WAV files are not handled"},
      {"no chunk after an odd one, padded or not", [] {
         Bytes file = BuildRiff({{"bext", Bytes(15, 1)}, Fmt16(), Data()});
         std::fill(file.begin() + 12 + 8 + 15, file.begin() + 12 + 8 + 15 + 12, 0xFF);
         return file;
       }(), ExitCode::kNotWav, "no chunk header follows the odd-sized chunk 'bext', with its pad byte or without"},
      {"extensible 20-bit container", BuildRiff({{"fmt ", ExtensibleFmt(20, 20)}, Data()}), ExitCode::kUnsupported, "PCM 20-bit (extensible)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    const std::string in = dir / "in.wav";
    WriteBytes(in, c.file);
    const RunResult run = RunTool({"-l", "2", in});
    EXPECT_EQ(run.code, c.code);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(ReadBytes(in), c.file);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"in.wav"});
  }
}

TEST(NormalizeHeaders, DamagedButUsableFilesAreMended) {
  const struct {
    const char* name;
    Bytes file;
    const char* warning;
    std::size_t samples;  // in the data chunk written
  } cases[] = {
      {"data size far beyond the file", BuildRiff({Fmt16(), {"data", SampleBytes(), 0x7FFFFFF0}}), "claims 2147483632", 8},
      {"data cut off mid-sample", [] {
         Bytes file = BuildRiff({Fmt16(), Data()});
         file.resize(file.size() - 3);
         return file;
       }(), "partial sample", 6},
      {"RIFF size larger than the file", BuildRiff({Fmt16(), Data()}, 100000), "RIFF size", 8},
      {"odd chunk without its pad byte", BuildRiff({Fmt16(), Data(), {"note", {'a', 'b', 'c'}, -1, false}}),
       "in.wav: chunk 'note' of odd size 3 lacks its pad byte; the pad byte will be added in the result", 8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    const std::string in = dir / "in.wav";
    WriteBytes(in, c.file);
    largest_allocation = 0;
    const RunResult run = RunTool({"-l", "2", "-b", "16", in});
    EXPECT_LT(largest_allocation.load(), std::size_t{1} << 20);
    ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
    EXPECT_NE(run.err.find(c.warning), std::string::npos) << run.err;

    const Bytes out = ReadBytes(in);
    EXPECT_EQ(out.size() % 2, 0u);
    EXPECT_EQ(out[4] | out[5] << 8 | out[6] << 16 | std::uint32_t{out[7]} << 24, out.size() - 8);
    const auto chunks = ListChunks(out);
    ASSERT_GE(chunks.size(), 2u);
    ASSERT_EQ(chunks[1].id, "data");
    const std::size_t data_bytes = std::min<std::size_t>(c.file.size() - 44, 16);
    EXPECT_EQ(chunks[1].size, data_bytes);
    const auto expected = Doubled();
    EXPECT_EQ(SamplesAt(out, chunks[1].offset, c.samples),
              std::vector<std::int16_t>(expected.begin(), expected.begin() + c.samples));
    // A partial sample is kept as it was.
    EXPECT_TRUE(std::equal(out.begin() + chunks[1].offset + c.samples * 2, out.begin() + chunks[1].offset + data_bytes,
                           c.file.begin() + 44 + c.samples * 2));
    EXPECT_EQ(ListChunks(c.file).size(), chunks.size());

    // Reading the input block by block, as where it cannot be mapped, gives the same file.
    WriteBytes(in, c.file);
    const RunResult read_run = RunTool({"-l", "2", "-b", "16", in}, {}, false);
    ASSERT_EQ(read_run.code, ExitCode::kOk) << read_run.err;
    EXPECT_EQ(ReadBytes(in), out);
  }
}

TEST(NormalizeHeaders, UnfinishedSizesAndAppendedChunksAreReadToTheFilesEnd) {
  const RawChunk list{"LIST", {'I', 'N', 'F', 'O', 'I', 'C', 'M', 'T', 2, 0, 0, 0, 'o', 'k'}};
  const Bytes whole = BuildRiff({Fmt16(), Data(), list});
  const Bytes two = BuildRiff({Fmt16(), Data()});
  auto with = [](Bytes file, std::size_t at, std::uint32_t value) {
    const Bytes le = Le32(value);
    std::copy(le.begin(), le.end(), file.begin() + static_cast<std::ptrdiff_t>(at));
    return file;
  };
  auto appended = [](Bytes file, const Bytes& more) {
    file.insert(file.end(), more.begin(), more.end());
    return file;
  };
  const Bytes empty_data_then_list = BuildRiff({Fmt16(), {"data", {}}, list});
  const struct {
    const char* name;
    Bytes file;
    Bytes expected;  // the result with the samples as they were
    std::vector<const char*> warnings;
  } cases[] = {
      {"RIFF and data sizes 0", with(with(two, 4, 0), 40, 0), two, {"RIFF size is not filled in", "data chunk's size is not filled in"}},
      {"RIFF and data sizes all ones", with(with(two, 4, 0xFFFFFFFF), 40, 0xFFFFFFFF), two, {"RIFF size is not filled in", "data chunk's size is not filled in"}},
      {"data size 0", with(two, 40, 0), two, {"data chunk's size is not filled in"}},
      {"RIFF size 0", with(whole, 4, 0), whole, {"RIFF size is not filled in"}},
      {"RIFF size of a header without data", with(with(two, 4, 36), 40, 0), two, {"data chunk's size is not filled in", "chunks after that size are read; they will be kept in the result"}},
      {"a chunk appended past the RIFF size", appended(two, Bytes(whole.begin() + static_cast<std::ptrdiff_t>(two.size()), whole.end())),
       whole, {"the RIFF size says 60 bytes, but its chunks run to 82; the chunks after that size are read"}},
      {"bytes after the RIFF that are no chunk", appended(two, Bytes(10, 0)), appended(two, Bytes(10, 0)),
       {"in.wav: 10 bytes after the last chunk (at byte 60) are not a chunk; they will be kept as they are after the "
        "result's last chunk"}},
      {"an empty data chunk that is really empty", empty_data_then_list, empty_data_then_list, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    WriteBytes(dir / "in.wav", c.file);
    const RunResult run = RunTool({"-l", "1", "-o", dir / "out.wav", dir / "in.wav"});
    ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
    for (const char* warning : c.warnings) EXPECT_NE(run.err.find(warning), std::string::npos) << run.err;
    if (c.warnings.empty()) {
      EXPECT_EQ(run.err, "");
    }
    EXPECT_EQ(ReadBytes(dir / "out.wav"), c.expected);  // true sizes, every chunk
  }
  // What is wrong is named, not a chunk the damage made up.
  ScratchDir dir;
  WriteBytes(dir / "in.wav", with(with(two, 4, 0), 16, 0x7FFF));
  const RunResult run = RunTool({"-l", "2", dir / "in.wav"});
  EXPECT_EQ(run.code, ExitCode::kNotWav);
  EXPECT_NE(run.err.find("chunk 'fmt ' claims 32767 bytes"), std::string::npos) << run.err;
}

// A tracker's 8-bit sample of odd length: no pad byte after the data, nor
// after the next odd chunk, then a LIST.
TEST(NormalizeHeaders, ChunksAfterALeftOutPadByteAreReadAndKept) {
  Bytes samples(1001, 0x90);
  const RawChunk list{"LIST", {'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 4, 0, 0, 0, 'k', 'i', 't', 0}};
  ScratchDir dir;
  WriteBytes(dir / "in.wav", BuildRiff({{"fmt ", PcmFmt(1, 1, 8)}, {"data", samples, -1, false},
                                        {"note", {'x', 'y', 'z'}, -1, false}, list}));
  const RunResult analyzed = RunTool({"--analyze", dir / "in.wav"});
  EXPECT_NE(analyzed.err.find("in.wav: chunk 'data' of odd size 1001 lacks its pad byte (the next chunk starts "
                              "right after it)\n"),
            std::string::npos)
      << analyzed.err;
  EXPECT_EQ(analyzed.err.find("result"), std::string::npos) << analyzed.err;

  const RunResult run = RunTool({"-a", "0", "-o", dir / "out.wav", dir / "in.wav"});
  EXPECT_NE(run.err.find("in.wav: chunk 'note' of odd size 3 lacks its pad byte (the next chunk starts right after "
                         "it); the pad byte will be added in the result"),
            std::string::npos)
      << run.err;
  // Every chunk as it was, each now with a zero pad byte.
  samples.push_back(0);
  EXPECT_EQ(ReadBytes(dir / "out.wav"),
            BuildRiff({{"fmt ", PcmFmt(1, 1, 8)}, {"data", samples, 1001}, {"note", {'x', 'y', 'z', 0}, 3}, list}));
}

// Whatever follows the audio and its format is never a reason to refuse the
// file: a chunk after a left-out pad byte is found even where the byte after
// the pad position starts like a header, and bytes that are no chunk are kept.
// ReplayGain tags are kept too, with a warning.
TEST(NormalizeHeaders, WhatFollowsTheAudioIsKept) {
  auto plus = [](Bytes file, const Bytes& more) {
    file.insert(file.end(), more.begin(), more.end());
    return file;
  };
  // A sample library's 8-bit snare: odd data, then 'smpl' (36 bytes, so the
  // byte after the pad position reads as a chunk 'mpl$' of size 0).
  const Bytes snare(2425, 128 + 40), smpl(36, 0);
  Bytes snare_written(2425, 128 + 80);
  snare_written.push_back(0);
  const RawChunk fmt8{"fmt ", PcmFmt(1, 1, 8, 1, 11025)};
  Bytes garbage;
  for (int i = 0; i < 127; ++i) garbage.push_back(static_cast<unsigned char>(i * 37 + 11));
  const Bytes two = BuildRiff({Fmt16(), Data()});
  const Bytes doubled_two = BuildRiff({Fmt16(), {"data", [] {
                                         Bytes bytes;
                                         for (std::int16_t s : Doubled()) {
                                           const Bytes le = Le16(static_cast<std::uint16_t>(s));
                                           bytes.insert(bytes.end(), le.begin(), le.end());
                                         }
                                         return bytes;
                                       }()}});
  const Bytes list_header = {'L', 'I', 'S', 'T', 0x88, 0x13, 0, 0, 1, 2, 3, 4};
  // ReplayGain tags: a LIST's text, an ID3 TXXX frame's UTF-16 description.
  const std::string tag = std::string("INFOICMT\x1F") + std::string(3, '\0') + "REPLAYGAIN_TRACK_GAIN=-3.20 dB" + '\0';
  Bytes id3 = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 56, 'T', 'X', 'X', 'X', 0, 0, 0, 46, 0, 0, 1};
  for (const char c : std::string("replaygain_album_gain")) id3.insert(id3.end(), {static_cast<unsigned char>(c), 0});
  const auto tagged = [&](const Bytes& file, const RawChunk& tags) {
    return BuildRiff({Fmt16(), {"data", Bytes(file.begin() + 44, file.begin() + 60)}, tags});
  };
  const struct {
    const char* name;
    Bytes file;
    Bytes expected;
    const char* warning;
  } cases[] = {
      {"odd data, smpl straight after", BuildRiff({fmt8, {"data", snare, -1, false}, {"smpl", smpl}}),
       BuildRiff({fmt8, {"data", snare_written, 2425}, {"smpl", smpl}}),
       "in.wav: chunk 'data' of odd size 2425 lacks its pad byte (the next chunk starts right after it)"},
      {"127 bytes of garbage, in the RIFF size", plus(BuildRiff({Fmt16(), Data()}, 52 + 127), garbage),
       plus(doubled_two, garbage), "in.wav: 127 bytes after the last chunk (at byte 60) are not a chunk"},
      {"a chunk claiming more than there is", plus(BuildRiff({Fmt16(), Data()}, 52 + 12), list_header),
       plus(doubled_two, list_header), "in.wav: 12 bytes after the last chunk (at byte 60) are not a chunk"},
      {"ReplayGain in a LIST", tagged(two, {"LIST", Bytes(tag.begin(), tag.end())}),
       tagged(doubled_two, {"LIST", Bytes(tag.begin(), tag.end())}),
       "in.wav: its 'LIST' chunk holds ReplayGain values; they describe the audio before the gain"},
      {"ReplayGain in ID3", tagged(two, {"id3 ", id3}), tagged(doubled_two, {"id3 ", id3}),
       "in.wav: its 'id3 ' chunk holds ReplayGain values"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    WriteBytes(dir / "in.wav", c.file);
    for (const bool mapped : {true, false}) {
      const RunResult run = RunTool({"-l", "2", "-o", dir / "out.wav", dir / "in.wav"}, {}, mapped);
      ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
      EXPECT_NE(run.err.find(c.warning), std::string::npos) << run.err;
      EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
      EXPECT_EQ(ReadBytes(dir / "out.wav"), c.expected);
    }
  }
}

TEST(NormalizeHeaders, OtherChunksAreKeptByteForByte) {
  const RawChunk list{"LIST", {'I', 'N', 'F', 'O', 'I', 'C', 'M', 'T', 1, 0, 0, 0, 'x'}};  // odd: pad 0xA5
  const RawChunk fact{"fact", Le32(8)};
  const RawChunk trailer{"id3 ", {'I', 'D', '3', 4, 0}};
  const Bytes file = BuildRiff({list, Fmt16(), fact, Data(), trailer});
  ScratchDir dir;
  WriteBytes(dir / "in.wav", file);
  const RunResult run = RunTool({"-l", "2", "-o", dir / "out.wav", dir / "in.wav"});
  ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
  const Bytes out = ReadBytes(dir / "out.wav");
  ASSERT_EQ(out.size(), file.size());
  const auto data = ListChunks(file)[3];
  EXPECT_TRUE(std::equal(file.begin(), file.begin() + data.offset, out.begin()));
  EXPECT_TRUE(std::equal(file.begin() + data.offset + 16, file.end(), out.begin() + data.offset + 16));
  EXPECT_EQ(SamplesAt(out, data.offset, 8), Doubled());
}

TEST(NormalizeHeaders, FewerValidBitsStayOnTheirGrid) {
  // 20 valid bits in 24-bit containers: the low 4 bits are 0 and must stay so.
  const std::int32_t values[] = {0, 1, -1, 1000, -1000, 300000, -524288, 524287};
  Bytes samples;
  for (std::int32_t v : values) {
    const auto word = static_cast<std::uint32_t>(v * 16);
    samples.insert(samples.end(), {static_cast<unsigned char>(word), static_cast<unsigned char>(word >> 8),
                                   static_cast<unsigned char>(word >> 16)});
  }
  ScratchDir dir;
  WriteBytes(dir / "in.wav", BuildRiff({{"fmt ", ExtensibleFmt(24, 20)}, {"data", samples}}));
  const RunResult run = RunTool({"-l", "-3", dir / "in.wav"});
  ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
  EXPECT_NE(run.out.find("3 clipped"), std::string::npos) << run.out;
  const Bytes out = ReadBytes(dir / "in.wav");
  const std::size_t data = ListChunks(out).back().offset;
  for (std::size_t i = 0; i < std::size(values); ++i) {
    const std::uint32_t word = out[data + 3 * i] | out[data + 3 * i + 1] << 8 | std::uint32_t{out[data + 3 * i + 2]} << 16;
    const std::int32_t got = static_cast<std::int32_t>(word << 8) >> 8;
    EXPECT_EQ(got, std::clamp(values[i] * -3, -524288, 524287) * 16) << i;
  }
}

// RF64: "RF64", -1, "WAVE", ds64 {riff size, data size, sample count, table 0},
// fmt, data with size -1, then a trailing chunk unless the data claims more
// than there is (it would run to the end of the file).
Bytes BuildRf64(std::uint64_t claimed_data_size) {
  const bool trailer = claimed_data_size == 16;
  Bytes body;
  auto append = [&body](const Bytes& more) { body.insert(body.end(), more.begin(), more.end()); };
  const Bytes samples = SampleBytes();
  append({'d', 's', '6', '4'});
  append(Le32(28));
  const std::uint64_t riff_size = 4 + 36 + 24 + 8 + samples.size() + (trailer ? 12 : 0);
  append(Le64(riff_size));
  append(Le64(claimed_data_size));
  append(Le64(claimed_data_size / 2));
  append(Le32(0));
  append({'f', 'm', 't', ' '});
  append(Le32(16));
  append(PcmFmt(1, 1, 16));
  append({'d', 'a', 't', 'a'});
  append(Le32(0xFFFFFFFF));
  append(samples);
  if (trailer) {
    append({'n', 'o', 't', 'e'});
    append(Le32(4));
    append({'k', 'e', 'e', 'p'});
  }
  Bytes file = {'R', 'F', '6', '4'};
  file.insert(file.end(), {0xFF, 0xFF, 0xFF, 0xFF, 'W', 'A', 'V', 'E'});
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

std::uint64_t GetLe64At(const Bytes& bytes, std::size_t at) {
  std::uint64_t value = 0;
  for (int i = 0; i < 8; ++i) value |= std::uint64_t{bytes[at + i]} << (8 * i);
  return value;
}

TEST(NormalizeHeaders, Rf64IsReadAndWritten) {
  for (const std::uint64_t claimed : {std::uint64_t{16}, std::uint64_t{1} << 33}) {
    SCOPED_TRACE(claimed);
    ScratchDir dir;
    const Bytes file = BuildRf64(claimed);
    WriteBytes(dir / "in.wav", file);
    const RunResult run = RunTool({"-l", "2", "-o", dir / "out.wav", dir / "in.wav"});
    ASSERT_EQ(run.code, ExitCode::kOk) << run.err;
    const Bytes out = ReadBytes(dir / "out.wav");
    ASSERT_EQ(out.size(), file.size());
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 12, file.begin()));
    EXPECT_EQ(GetLe64At(out, 20), out.size() - 8);  // ds64 riff size
    EXPECT_EQ(GetLe64At(out, 28), 16u);             // data size
    EXPECT_EQ(GetLe64At(out, 36), 8u);              // sample count
    EXPECT_TRUE(std::equal(out.begin() + 44, out.begin() + 80, file.begin() + 44));  // table, fmt, data header
    EXPECT_EQ(SamplesAt(out, 80, 8), Doubled());
    EXPECT_TRUE(std::equal(out.begin() + 96, out.end(), file.begin() + 96));
    // sox, reading RF64 on its own terms, sees the doubled samples.
    std::vector<std::int16_t> decoded;
    for (std::int32_t s : SoxSamples(dir / "out.wav")) decoded.push_back(static_cast<std::int16_t>(s >> 16));
    EXPECT_EQ(decoded, Doubled());
    // Reading the input block by block, as where it cannot be mapped, gives the same file.
    ASSERT_EQ(RunTool({"-l", "2", "-o", dir / "read.wav", dir / "in.wav"}, {}, false).code, ExitCode::kOk);
    EXPECT_EQ(ReadBytes(dir / "read.wav"), out);
  }
}

}  // namespace
}  // namespace normalize::test
