#include "job/album_journal.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unordered_set>

#include "failure.h"
#include "output/atomic_output.h"
#include "platform/file_io.h"
#include "platform/paths.h"

namespace normalize {
namespace {

constexpr char kPrefix[] = ".normalize-album-";
constexpr char kSuffix[] = ".journal";
constexpr char kHeading[] = "normalize album journal 1";

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

// A name on one line: backslashes and line ends escaped.
std::string Escaped(const std::string& name) {
  std::string out;
  for (const char c : name) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out;
}

std::string Unescaped(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
  }
  return out;
}

std::string Hex(std::uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016" PRIx64, value);
  return text;
}

std::string Number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
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
  return FolderOf(tracks.front().name) + kPrefix + Hex(hash) + kSuffix;
}

std::optional<AlbumJournal> AlbumJournal::Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  if (!std::getline(in, line) || line != kHeading) return std::nullopt;
  AlbumJournal journal;
  journal.path_ = path;
  bool has_gain = false;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string kind;
    words >> kind;
    if (kind == "gain") {
      has_gain = static_cast<bool>(words >> journal.plan_.gain.factor >> journal.plan_.gain.db);
    } else if (kind == "track") {
      std::string identity;
      words >> identity;
      const auto measured = platform::FileIdentity::FromText(identity);
      if (!measured || words.get() != ' ') return std::nullopt;
      std::string name;
      std::getline(words, name);
      journal.tracks_.push_back(Track{Unescaped(name), *measured, ""});
    } else if (kind == "bounds") {
      std::size_t index = 0;
      SampleBounds bounds;
      if (!(words >> index >> bounds.low >> bounds.high) || index >= journal.tracks_.size()) return std::nullopt;
      journal.plan_.bounds.resize(journal.tracks_.size());
      journal.plan_.bounds[index] = bounds;
    } else if (kind == "result") {
      std::size_t index = 0;
      std::string result;
      // A line cut short by a power failure is one whose rename never came.
      if (words >> index >> result && index < journal.tracks_.size()) journal.tracks_[index].result = result;
    }
  }
  if (!has_gain || journal.tracks_.empty()) return std::nullopt;
  return journal;
}

AlbumJournal AlbumJournal::Begin(const std::string& path, const WritePlan& plan, std::vector<Track> tracks) {
  AlbumJournal journal;
  journal.path_ = path;
  journal.plan_ = plan;
  journal.tracks_ = std::move(tracks);
  std::string text = std::string(kHeading) + "\ngain " + Number(plan.gain.factor) + " " + Number(plan.gain.db) + "\n";
  for (const Track& track : journal.tracks_) {
    text += "track " + track.measured.Text() + " " + Escaped(track.name) + "\n";
  }
  for (std::size_t i = 0; i < journal.tracks_.size(); ++i) {
    if (const auto bounds = plan.BoundsOf(i)) {
      text += "bounds " + std::to_string(i) + " " + std::to_string(bounds->low) + " " + std::to_string(bounds->high) + "\n";
    }
  }
  // Whole or not at all, and durable with its folder entry before any track is touched.
  {
    AtomicOutputFile out(path);
    out.Write(text.data(), text.size());
    out.Commit();
  }
  return journal;
}

AlbumJournal::~AlbumJournal() = default;

void AlbumJournal::Append(const std::string& line) {
  const std::lock_guard<std::mutex> held(*lock_);
  errno = 0;
  if (!file_) file_.reset(std::fopen(path_.c_str(), "ab"));
  if (!file_ || std::fwrite(line.data(), 1, line.size(), file_.get()) != line.size() || !platform::SyncToDisk(file_.get())) {
    throw Failure(ExitCode::kOutput, "cannot write the album's journal '" + path_ + "': " + std::strerror(errno));
  }
}

void AlbumJournal::Committing(std::size_t index, const std::string& result) {
  Append("result " + std::to_string(index) + " " + result + "\n");
  const std::lock_guard<std::mutex> held(*lock_);
  tracks_[index].result = result;
}

void AlbumJournal::Finish() {
  file_.reset();
  std::remove(path_.c_str());
}

std::optional<std::size_t> AlbumJournal::TrackOf(const std::string& name,
                                                  const std::optional<platform::FileIdentity>& now) const {
  for (std::size_t i = 0; i < tracks_.size(); ++i) {
    if (tracks_[i].name == name) return i;
  }
  if (!now) return std::nullopt;
  for (std::size_t i = 0; i < tracks_.size(); ++i) {
    if (tracks_[i].measured.file == now->file || (!tracks_[i].result.empty() && tracks_[i].result == now->file)) {
      return i;
    }
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
      if (!IsJournalName(name)) continue;
      if (auto journal = AlbumJournal::Read(folder + name)) journals.push_back(std::move(*journal));
    }
  }
  return journals;
}

}  // namespace normalize
