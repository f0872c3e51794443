// The oracle's runs: the real program over a case's files, what it wrote read
// back, and the reruns and twins that hold it to the same word again.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "claims_oracle.h"
#include "program_run.h"

namespace normalize::test::claims {
namespace {

struct Stamp {
  bool exists = false;
  ino_t inode = 0;
  timespec mtime{};
  bool operator==(const Stamp& o) const {
    return exists == o.exists && inode == o.inode && mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec;
  }
};

Stamp StampOf(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return {};
  return Stamp{true, st.st_ino, st.st_mtim};
}

struct Outcome {
  int code = 0;
  std::string said;
  std::vector<FileRun> files;
  std::vector<std::string> found;  // what the reading back found wrong by itself
};

// Runs the program with `args` over `inputs` (laid out as `built`, holding
// `audio`), to `output` unless in place, and reads back what it wrote.
Outcome RunTool(const Case& c, const std::vector<std::string>& inputs, const std::string& output,
                const std::vector<Built>& built, const std::vector<const Audio*>& audio, bool dry_run = false) {
  std::vector<std::string> args = c.run.Arguments();
  if (dry_run) args.insert(args.begin(), "-n");
  if (!c.run.in_place) args.insert(args.end(), {"-o", output});
  args.insert(args.end(), inputs.begin(), inputs.end());
  Outcome o;
  std::vector<Stamp> stamps;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    o.files.push_back(FileRun{audio[i], built[i], ReadBytes(inputs[i]), {}, false, {}});
    stamps.push_back(StampOf(c.run.in_place ? inputs[i] : output));
  }
  // QUILBO_CLAIMS_TOOL: another build of the program (a long run on a copy while this one is rebuilt).
  const char* tool = std::getenv("QUILBO_CLAIMS_TOOL");
  o.code = RunProgram(tool ? tool : NORMALIZE_EXECUTABLE, args, &o.said);
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    FileRun& r = o.files[i];
    const std::string& target = c.run.in_place ? inputs[i] : output;
    const Bytes now = ReadBytes(target);
    r.replaced = !(StampOf(target) == stamps[i]) || (c.run.in_place && now != r.original);
    if (r.replaced) r.result = now;
    r.said = LineAbout(o.said, inputs[i], output, c.run.json);
    if (!c.run.in_place && ReadBytes(inputs[i]) != r.original) o.found.push_back("d: -o changed its input");
  }
  return o;
}

void Prefix(std::vector<std::string>& to, const std::string& stage, const std::vector<std::string>& found) {
  for (const std::string& f : found) to.push_back(stage + f);
}

// The errors the dither adds, x gain g applied to `in`.
std::vector<double> DitherErrors(const Case& c, const Audio& in, const Bytes& result, const Built& built) {
  const std::vector<double> out = Decode(c, built, result, nullptr);
  double cross = 0, power = 0;
  for (std::size_t i = 0; i < out.size(); ++i) cross += in.samples[i] * out[i], power += in.samples[i] * in.samples[i];
  const double g = power > 0 ? cross / power : 1;
  std::vector<double> errors(out.size());
  for (std::size_t i = 0; i < out.size(); ++i) errors[i] = in.samples[i] == 0 ? 0 : out[i] - in.samples[i] * g;
  return errors;
}

// The same audio under another name is written alike; other audio of the
// same size under the same name in another folder gets other noise.
void CheckTwins(const Case& c, const ScratchDir& dir, const Built& built, std::vector<std::string>& found) {
  for (const char* sub : {"a", "b", "c"}) std::filesystem::create_directory(dir / sub);
  const Audio other = OtherAudio(c, c.seed ^ 0x5EED);
  const Built other_built = Build(c, other);
  WriteBytes(dir / "a/take.wav", built.bytes);
  WriteBytes(dir / "b/take.wav", other_built.bytes);
  WriteBytes(dir / "c/copy.wav", built.bytes);
  std::vector<Bytes> results;
  for (const auto& [name, b, audio] : {std::tuple{"a/take.wav", &built, &c.files[0]},
                                       std::tuple{"b/take.wav", &other_built, &other},
                                       std::tuple{"c/copy.wav", &built, &c.files[0]}}) {
    const Outcome o = RunTool(c, {dir / name}, dir / (std::string(name) + ".out"), {*b}, {audio});
    results.push_back(o.files[0].result);
  }
  if (results[0] != results[2]) found.push_back("twins: the same audio under another name written otherwise");
  const bool dithered = !c.format.is_float() && c.format.valid_bits <= 16 && c.run.dither && c.run.mode != Mode::kRatio;
  if (!dithered || results[0].empty() || results[1].empty()) return;
  const auto ea = DitherErrors(c, c.files[0], results[0], built);
  const auto eb = DitherErrors(c, other, results[1], other_built);
  double cross = 0, pa = 0, pb = 0;
  for (std::size_t i = 0; i < ea.size(); ++i) cross += ea[i] * eb[i], pa += ea[i] * ea[i], pb += eb[i] * eb[i];
  const double correlation = pa > 0 && pb > 0 ? cross / std::sqrt(pa * pb) : 0;
  if (ea.size() >= 2000 && std::fabs(correlation) > 0.2) {
    found.push_back("twins: other audio under the same name got the same noise (correlation " +
                    std::to_string(correlation) + ")");
  }
}

}  // namespace

std::vector<std::string> RunCase(const Case& c) {
  ScratchDir dir;
  std::vector<std::string> inputs;
  std::vector<Built> built;
  std::vector<const Audio*> audio;
  for (std::size_t i = 0; i < c.files.size(); ++i) {
    inputs.push_back(dir / ("take" + std::to_string(i + 1) + ".wav"));
    built.push_back(Build(c, c.files[i]));
    audio.push_back(&c.files[i]);
    WriteBytes(inputs.back(), built.back().bytes);
    // QUILBO_CLAIMS_KEEP=<folder>: a copy of the inputs, to look at by hand.
    if (const char* keep = std::getenv("QUILBO_CLAIMS_KEEP")) {
      WriteBytes(std::string(keep) + "/take" + std::to_string(i + 1) + ".wav", built.back().bytes);
    }
  }
  const std::string output = dir / "out.wav";
  std::vector<std::string> found;
  std::optional<int> dry_code;
  if (c.run.dry_run_first) {
    const Outcome dry = RunTool(c, inputs, output, built, audio, true);
    for (const FileRun& r : dry.files) {
      if (r.replaced) found.push_back("d: the dry run wrote a file");
    }
    dry_code = dry.code;
  }
  const Outcome run = RunTool(c, inputs, output, built, audio);
  Prefix(found, "", run.found);
  Prefix(found, "", CheckRun(c, run.files, run.code, run.said));
  if (dry_code && *dry_code != run.code) {
    found.push_back("d: the dry run said exit code " + std::to_string(*dry_code) + ", the run " +
                    std::to_string(run.code));
  }
  if (run.code != 0 || !found.empty()) return found;
  if (c.run.rerun) {
    // The same command on the result, in place: -m and a met target leave it as it is.
    Case again = c;
    again.run.in_place = true;
    std::vector<std::string> results;
    for (std::size_t i = 0; i < c.files.size(); ++i) {
      if (run.files[i].result.empty()) continue;
      again.files[i].samples = Decode(c, built[i], run.files[i].result, nullptr);
      results.push_back(c.run.in_place ? inputs[i] : output);
    }
    if (results.size() == c.files.size()) {
      std::vector<const Audio*> again_audio;
      for (const Audio& a : again.files) again_audio.push_back(&a);
      const Outcome second = RunTool(again, results, output, built, again_audio);
      Prefix(found, "rerun: ", CheckRun(again, second.files, second.code, second.said));
      for (const FileRun& r : second.files) {
        if (c.run.mode == Mode::kPercent && r.replaced) found.push_back("rerun: d: -m wrote again a file at its peak");
      }
    }
  }
  if (c.run.twins) CheckTwins(c, dir, built[0], found);
  return found;
}

}  // namespace normalize::test::claims
