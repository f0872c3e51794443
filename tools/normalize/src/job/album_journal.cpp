#include "job/album_journal.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unordered_set>

#include "failure.h"
#include "job/group.h"
#include "job/journal_text.h"
#include "output/atomic_output.h"
#include "platform/file_io.h"
#include "platform/paths.h"

namespace normalize {
namespace {

constexpr char kPrefix[] = ".normalize-album-";
constexpr char kSuffix[] = ".journal";
constexpr char kHeading[] = "normalize album journal 2";

using journal::Escaped;
using journal::Maybe;
using journal::Number;
using journal::Words;

std::string FolderOf(const std::string& path) {
  const auto cut = path.find_last_of(platform::kPathSeparators);
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

bool IsJournalName(const std::string& name) {
  const std::size_t prefix = sizeof kPrefix - 1;
  const std::size_t suffix = sizeof kSuffix - 1;
  return name.size() > prefix + suffix && name.compare(0, prefix, kPrefix) == 0 &&
         name.compare(name.size() - suffix, suffix, kSuffix) == 0;
}

std::string Bound(const std::optional<SampleBounds>& bounds, bool high) {
  return bounds ? std::to_string(high ? bounds->high : bounds->low) : "-";
}

}  // namespace

std::string AlbumJournal::PathFor(const std::vector<Track>& tracks) {
  std::vector<std::string> files;
  for (const Track& track : tracks) files.push_back(track.measured.file);
  std::sort(files.begin(), files.end());
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (const std::string& file : files) {
    for (const char c : file + '\n') hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016" PRIx64, hash);
  return FolderOf(tracks.front().name) + kPrefix + hex + kSuffix;
}

void AlbumJournal::Parse(const std::string& text) {
  std::istringstream lines(text);
  std::string line;
  const auto unreadable = [&](const std::string& why) {
    state_ = State::kUnreadable;
    why_ = why;
  };
  if (!std::getline(lines, line) || line != kHeading) return unreadable(text.empty() ? "it is empty" : "it is not a journal this version writes");
  Decision& decision = album_.decision;
  WritePlan plan;
  bool whole = false;
  for (std::size_t at = lines.tellg(); std::getline(lines, line); at = lines.tellg()) {
    // A line cut short by a power failure is one whose rename never came.
    const bool cut = lines.eof() && text.back() != '\n';
    Words words{std::istringstream(line)};
    std::string kind;
    words.in >> kind;
    bool read = true;
    if (kind == "end") {
      whole = true;
    } else if (whole && kind == "result") {
      std::size_t index = 0;
      std::string identity;
      const auto result = words.in >> index >> identity ? platform::FileIdentity::FromText(identity) : std::nullopt;
      read = result && index < tracks_.size();
      if (read) tracks_[index].result = result;
    } else if (whole && kind == "said") {
      std::size_t index = 0;
      int json = 0;
      read = words.in >> index >> json && index < tracks_.size() && tracks_[index].result;
      if (read) {
        tracks_[index].said = words.Rest();
        tracks_[index].said_json = json != 0;
      }
    } else if (whole) {
      read = false;
    } else if (kind == "command" || kind == "meaning" || kind == "figures") {
      (kind == "command" ? album_.command : kind == "meaning" ? album_.meaning : decision.figures) = words.Rest();
    } else if (kind == "limited" || kind == "limited_json") {
      (kind == "limited" ? album_.limited_text : album_.limited_json) = words.Rest();
    } else if (kind == "plan") {
      double may_raise = 0;
      read = words.Read(plan.gain.factor) && words.Read(plan.gain.db) && words.Read(plan.target_lufs) &&
             words.Read(may_raise);
      plan.may_raise = may_raise != 0;
    } else if (kind == "levels") {
      Levels& levels = decision.levels;
      read = words.Read(levels.sample_peak_dbfs) && words.Read(levels.true_peak_dbtp) &&
             words.Read(levels.integrated_lufs);
    } else if (kind == "limit") {
      LimitPlan limit;
      read = words.Read(limit.ceiling_dbtp) && words.Read(limit.depth_db) && words.Read(limit.most_db) &&
             words.Read(limit.target_lufs);
      plan.limit = limit;
    } else if (kind == "ceiling") {
      CeilingHold hold;
      read = words.Read(hold.ceiling_dbtp) && words.Read(hold.target_lufs) && words.Read(hold.wanted_db) &&
             words.Read(hold.result_lufs);
      decision.ceiling = hold;
    } else if (kind == "track") {
      std::string identity;
      std::optional<double> low, high;
      words.in >> identity;
      const auto measured = platform::FileIdentity::FromText(identity);
      read = measured && words.Read(low) && words.Read(high) && low.has_value() == high.has_value();
      if (read) {
        tracks_.push_back(Track{words.Rest(), *measured, std::nullopt, std::nullopt, false});
        plan.bounds.push_back(low ? std::optional<SampleBounds>(SampleBounds{static_cast<std::int32_t>(*low),
                                                                             static_cast<std::int32_t>(*high)})
                                  : std::nullopt);
      }
    } else {
      read = false;
    }
    if (!read && !cut) return unreadable("line " + std::to_string(at) + " cannot be read");
  }
  if (!whole || tracks_.empty() || album_.meaning.empty() || !(plan.gain.factor != 0)) {
    return unreadable("it is cut short");
  }
  decision.plan = plan;
  state_ = State::kStopped;
}

AlbumJournal AlbumJournal::Read(const std::string& path) {
  AlbumJournal journal;
  journal.path_ = path;
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    journal.why_ = std::string("it cannot be opened: ") + std::strerror(errno ? errno : EIO);
    return journal;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  journal.Parse(text);
  return journal;
}

AlbumJournal AlbumJournal::Begin(const std::string& path, Album album, std::vector<Track> tracks) {
  AlbumJournal journal;
  journal.path_ = path;
  journal.state_ = State::kStopped;
  journal.album_ = std::move(album);
  journal.tracks_ = std::move(tracks);
  const Decision& decision = journal.album_.decision;
  const WritePlan& plan = *decision.plan;
  std::string text = std::string(kHeading) + "\ncommand " + Escaped(journal.album_.command) + "\nmeaning " +
                     Escaped(journal.album_.meaning) + "\nplan " + Number(plan.gain.factor) + " " +
                     Number(plan.gain.db) + " " + Maybe(plan.target_lufs) + " " + (plan.may_raise ? "1" : "0") +
                     "\nfigures " + Escaped(decision.figures) + "\nlevels " + Maybe(decision.levels.sample_peak_dbfs) +
                     " " + Maybe(decision.levels.true_peak_dbtp) + " " + Maybe(decision.levels.integrated_lufs) + "\n";
  if (const auto& limit = plan.limit) {
    text += "limit " + Number(limit->ceiling_dbtp) + " " + Number(limit->depth_db) + " " + Number(limit->most_db) + " " +
            Number(limit->target_lufs) + "\n";
  }
  if (!journal.album_.limited_text.empty()) text += "limited " + Escaped(journal.album_.limited_text) + "\n";
  if (!journal.album_.limited_json.empty()) text += "limited_json " + Escaped(journal.album_.limited_json) + "\n";
  if (const auto& hold = decision.ceiling) {
    text += "ceiling " + Number(hold->ceiling_dbtp) + " " + Number(hold->target_lufs) + " " + Number(hold->wanted_db) +
            " " + Maybe(hold->result_lufs) + "\n";
  }
  for (std::size_t i = 0; i < journal.tracks_.size(); ++i) {
    const Track& track = journal.tracks_[i];
    text += "track " + track.measured.Text() + " " + Bound(plan.BoundsOf(i), false) + " " +
            Bound(plan.BoundsOf(i), true) + " " + Escaped(track.name) + "\n";
  }
  text += "end\n";
  // Whole or not at all, and durable with its folder entry before any track is touched.
  AtomicOutputFile out(path);
  out.Write(text.data(), text.size());
  out.Commit();
  return journal;
}

AlbumJournal::~AlbumJournal() = default;

void AlbumJournal::Append(const std::string& line) {
  const std::lock_guard<std::mutex> held(*lock_);
  errno = 0;
  if (!file_) file_.reset(std::fopen(path_.c_str(), "ab"));
  if (!file_ || std::fwrite(line.data(), 1, line.size(), file_.get()) != line.size() ||
      !platform::SyncToDisk(file_.get())) {
    throw Failure(ExitCode::kOutput, "cannot write the album's journal '" + path_ + "': " + std::strerror(errno));
  }
}

void AlbumJournal::Committing(std::size_t index, const platform::FileIdentity& result) {
  // The result's time may still change as it is put in place: its file and size say which it is.
  platform::FileIdentity kept = result;
  kept.modified = 0;
  Append("result " + std::to_string(index) + " " + kept.Text() + "\n");
  const std::lock_guard<std::mutex> held(*lock_);
  tracks_[index].result = kept;
}

void AlbumJournal::Said(std::size_t index, bool json, const std::string& text) {
  try {
    Append("said " + std::to_string(index) + (json ? " 1 " : " 0 ") + Escaped(text) + "\n");
  } catch (const Failure&) {
    return;
  }
  const std::lock_guard<std::mutex> held(*lock_);
  tracks_[index].said = text;
  tracks_[index].said_json = json;
}

void AlbumJournal::Finish() {
  file_.reset();
  std::remove(path_.c_str());
}

bool AlbumJournal::IsResult(std::size_t index, const std::optional<platform::FileIdentity>& now) const {
  const auto& result = tracks_[index].result;
  return now && result && now->file == result->file && now->size == result->size;
}

std::optional<std::size_t> AlbumJournal::TrackOf(const std::string& name,
                                                  const std::optional<platform::FileIdentity>& now) const {
  const std::filesystem::path named = std::filesystem::path(name).lexically_normal();
  for (std::size_t i = 0; i < tracks_.size(); ++i) {
    if (std::filesystem::path(tracks_[i].name).lexically_normal() == named) return i;
  }
  for (std::size_t i = 0; i < tracks_.size(); ++i) {
    if ((now && *now == tracks_[i].measured) || IsResult(i, now)) return i;
  }
  return std::nullopt;
}

std::vector<AlbumJournal> UnfinishedAlbumsBeside(const std::vector<std::string>& files) {
  std::unordered_set<std::string> folders;
  for (const std::string& file : files) folders.insert(FolderOf(file));
  std::vector<AlbumJournal> journals;
  for (const std::string& folder : folders) {
    const auto names = platform::NamesIn(folder.empty() ? "." : folder);
    if (!names) continue;  // an unreadable folder is the walk's to report
    for (const std::string& name : *names) {
      if (IsJournalName(name)) journals.push_back(AlbumJournal::Read(folder + name));
    }
  }
  return journals;
}

}  // namespace normalize
