// Feeds every file of the folders (or files) named on the command line to a
// fuzz target once, as libFuzzer does when it loads a corpus: built with the
// ordinary compiler, so that a target which no longer survives its committed
// corpus fails the test suite. A target's failed check ends the process.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::filesystem::path> InputsIn(const std::filesystem::path& place) {
  std::vector<std::filesystem::path> inputs;
  if (std::filesystem::is_directory(place)) {
    for (const auto& entry : std::filesystem::directory_iterator(place))
      if (entry.is_regular_file()) inputs.push_back(entry.path());
  } else {
    inputs.push_back(place);
  }
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

}  // namespace

int main(int argc, char** argv) {
  // libFuzzer tries the empty input first, whatever the corpus.
  LLVMFuzzerTestOneInput(nullptr, 0);
  std::size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    for (const std::filesystem::path& input : InputsIn(argv[i])) {
      std::ifstream in(input, std::ios::binary);
      if (!in) {
        std::fprintf(stderr, "cannot read %s\n", input.string().c_str());
        return 1;
      }
      // Named first, so that the input a target dies on is the last one shown.
      std::fprintf(stderr, "%s\n", input.filename().string().c_str());
      const std::vector<std::uint8_t> data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      LLVMFuzzerTestOneInput(data.data(), data.size());
      ++replayed;
    }
  }
  std::printf("%zu inputs replayed\n", replayed);
  return replayed > 0 ? 0 : 1;
}
