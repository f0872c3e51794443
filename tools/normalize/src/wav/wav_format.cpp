#include "wav/wav_format.h"

#include "failure.h"
#include "wav/chunk_walk.h"
#include "wav/fmt_chunk.h"
#include "wav/header_errors.h"
#include "wav/replay_gain.h"

namespace normalize {

void Malformed(const std::string& message) {
  throw Failure(ExitCode::kNotWav, "malformed WAV header: " + message);
}

void Unsupported(const std::string& message) {
  throw Failure(ExitCode::kUnsupported, "unsupported format: " + message);
}

std::string WarningText(const LayoutWarning& warning, bool writing) {
  return writing && !warning.in_result.empty() ? warning.found + "; " + warning.in_result : warning.found;
}

std::string Describe(const SampleFormat& format) {
  std::string text;
  if (format.is_float()) {
    text = "IEEE float " + std::to_string(format.container_bytes * 8) + "-bit";
  } else {
    text = "PCM " + std::to_string(format.container_bytes * 8) + "-bit";
    if (format.valid_bits != format.container_bytes * 8) {
      text += " (" + std::to_string(format.valid_bits) + " valid)";
    }
  }
  return text + ", " + std::to_string(format.channels) +
         (format.channels == 1 ? " channel" : " channels");
}

WavLayout ReadWavLayout(InputFile& input) {
  const Top top = ReadTop(input);
  WavLayout layout;
  layout.container = top.container;
  FmtBytes fmt;
  WalkChunks(input, top, layout, fmt);
  layout.format = ParseFmt(fmt.bytes, fmt.size);
  for (std::size_t i = 0; i < layout.chunks.size() && !layout.bext; ++i) {
    if (std::string(layout.chunks[i].id.data(), 4) == "bext") layout.bext = i;
  }
  if (layout.bext) layout.bext_loudness = ReadBextLoudness(input, layout.chunks[*layout.bext]);
  if (const auto tags = ReplayGainChunk(input, layout)) {
    layout.warnings.push_back({"its '" + std::string(tags->data(), 4) + "' chunk holds ReplayGain values",
                               "they describe the audio before the gain and are kept as they are, so a player "
                               "applying them is off by the gain"});
  }
  const std::uint64_t data_size = layout.data_chunk().size;
  if (data_size % layout.format.container_bytes != 0) {
    const std::uint64_t partial = data_size % layout.format.container_bytes;
    layout.warnings.push_back({"the data chunk ends in a partial sample of " + std::to_string(partial) +
                                   (partial == 1 ? " byte" : " bytes"),
                               "they will be kept as they are in the result"});
  }
  return layout;
}

}  // namespace normalize
