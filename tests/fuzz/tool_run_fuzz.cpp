// The tool's whole job, as its command line drives it, on arbitrary bytes as
// a WAV file: no crash or sanitizer report, an exit code --help lists, the
// input unchanged, and a written result a WAV file with the input's chunks.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "job/job.h"
#include "failure.h"
#include "wav/input_file.h"
#include "wav/wav_format.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

using Bytes = std::vector<char>;

Bytes Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// One folder for the whole session, removed at its end: the job writes its
// temporary beside its target.
const std::string& Folder() {
  static const std::string folder = [] {
    std::string pattern = "/tmp/tool-run-fuzz-XXXXXX";
    Check(mkdtemp(pattern.data()) != nullptr);
    return pattern + "/";
  }();
  static const bool removed_at_exit = std::atexit([] { std::filesystem::remove_all(folder); }) == 0;
  (void)removed_at_exit;
  return folder;
}

// Every chunk but the data chunk, as (id, payload) in file order.
std::vector<std::pair<std::string, Bytes>> OtherChunks(const std::string& path) {
  normalize::InputFile file(path);
  const normalize::WavLayout layout = normalize::ReadWavLayout(file);
  std::vector<std::pair<std::string, Bytes>> chunks;
  for (std::size_t i = 0; i < layout.chunks.size(); ++i) {
    const normalize::Chunk& chunk = layout.chunks[i];
    Bytes payload;
    if (i != layout.data && chunk.id != normalize::ChunkId{'d', 's', '6', '4'}) {
      payload.resize(chunk.size);
      file.ReadExactAt(chunk.offset + 8, payload.data(), payload.size());
    }
    chunks.emplace_back(std::string(chunk.id.begin(), chunk.id.end()), payload);
  }
  return chunks;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace normalize;
  const std::string in = Folder() + "in.wav";
  const std::string out = Folder() + "out.wav";
  Write(in, data, size);
  const Bytes original = Read(in);
  const std::vector<std::vector<std::string>> runs = {
      {"--analyze", "--json", in},
      {"--loudness", "-23", "--true-peak", "-1", "-o", out, in},
      {"-m", "100", "-o", out, in},
      {"-a", "3", "-o", out, in},
  };
  for (const auto& args : runs) {
    std::remove(out.c_str());
    std::ostringstream said;
    JobConsole console{said, said};
    const int code = static_cast<int>(RunJob(ParseCommandLine(args), console));
    Check(code >= 0 && code <= static_cast<int>(ExitCode::kBeyondFormat) && code != static_cast<int>(ExitCode::kUsage) &&
          code != static_cast<int>(ExitCode::kInternal) && code != static_cast<int>(ExitCode::kInterrupted));
    Check(Read(in) == original);
    if (args[0] == "--analyze" || code != 0) continue;
    Check(OtherChunks(out) == OtherChunks(in));
  }
  std::remove(out.c_str());
  return 0;
}
