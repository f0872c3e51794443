// Cost of what every idle pass of the main window does: compose the parameter
// string, and of the integer text rule that reads each numeric field.
#include <benchmark/benchmark.h>

#include "options/integer_text.h"
#include "options/option_set.h"

namespace {

void BM_BuildCommandLine_Initial(benchmark::State& state) {
  const quilbo::TOptionSet options;
  for (auto _ : state) benchmark::DoNotOptimize(quilbo::BuildCommandLine(options));
}
BENCHMARK(BM_BuildCommandLine_Initial);

void BM_BuildCommandLine_Everything(benchmark::State& state) {
  quilbo::TOptionSet options;
  options.mode = quilbo::TAmplifyMode::amPercent;
  options.bufferSizeEnabled = options.outputEnabled = options.abortEnabled = true;
  options.bufferSize = 16384;
  options.abortLevel = 30;
  options.inputPath = "C:\\Users\\someone\\Music\\Recordings 2026\\a rather long take name.wav";
  options.outputPath = "C:\\Users\\someone\\Music\\Recordings 2026\\normalized\\take.wav";
  for (auto _ : state) benchmark::DoNotOptimize(quilbo::BuildCommandLine(options));
}
BENCHMARK(BM_BuildCommandLine_Everything);

void BM_ParseIntegerText(benchmark::State& state) {
  const char* texts[] = {"0", "-100", "16384", "$1F", "abc", "2147483647"};
  for (auto _ : state)
    for (const char* t : texts) benchmark::DoNotOptimize(quilbo::ParseIntegerText(t));
  state.SetItemsProcessed(state.iterations() * 6);
}
BENCHMARK(BM_ParseIntegerText);

}  // namespace

BENCHMARK_MAIN();
