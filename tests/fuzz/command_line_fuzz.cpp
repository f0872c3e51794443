// BuildCommandLine never fails, and what it composes splits back into the
// pieces it was made of, the way a program's argument parser splits it.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "options/integer_text.h"
#include "options/option_set.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// Words split at blanks outside double quotes; quotes are dropped.
std::vector<std::string> SplitWords(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, inWord = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (c == ' ' && !quoted) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  Check(!quoted);
  return words;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  quilbo::TOptionSet o;
  o.mode = static_cast<quilbo::TAmplifyMode>(in.IntegralInRange(0, 2));
  o.ratio = in.Integral<std::int32_t>();
  o.level = in.Integral<std::int32_t>();
  o.percent = in.Integral<std::int32_t>();
  o.bufferSizeEnabled = in.Bool();
  o.bufferSize = in.Integral<std::int32_t>();
  o.outputEnabled = in.Bool();
  o.abortEnabled = in.Bool();
  o.abortLevel = in.Integral<std::int32_t>();
  o.outputPath = in.RandomLengthString(300);
  o.inputPath = in.RemainingBytesAsString();

  const std::string line = quilbo::BuildCommandLine(o);
  Check(!line.empty() && line.front() == '-' && line.back() == '"');
  Check(line.rfind(" \"" + o.inputPath + "\"") == line.size() - o.inputPath.size() - 3);

  // Paths without quotes split back exactly, blanks and all.
  auto plain = [](const std::string& p) { return p.find('"') == std::string::npos; };
  if (!plain(o.inputPath) || !plain(o.outputPath)) return 0;
  const std::vector<std::string> words = SplitWords(line);
  std::vector<std::string> expected;
  const char* flags[] = {"-l", "-a", "-m"};
  const std::int32_t values[] = {o.ratio, o.level, o.percent};
  expected.push_back(flags[static_cast<int>(o.mode)]);
  expected.push_back(quilbo::DecimalText(values[static_cast<int>(o.mode)]));
  if (o.bufferSizeEnabled) expected.insert(expected.end(), {"-b", quilbo::DecimalText(o.bufferSize)});
  if (o.outputEnabled) expected.insert(expected.end(), {"-o", o.outputPath});
  if (o.abortEnabled) expected.insert(expected.end(), {"-x", quilbo::DecimalText(o.abortLevel)});
  expected.push_back(o.inputPath);
  Check(words == expected);
  return 0;
}
