#pragma once
// An album's journal: a small file beside the album's first track, written
// before the first track is replaced and removed after the last. It holds
// what the album means (the command that began it and the mode, target,
// ceiling and dither it stands for), the plan its first run chose with the
// album's line, each track as it was measured and, written just before its
// result is put in place, the result's own file. Should the run be stopped
// part way (a full disk, a kill, a power cut), the same command again
// finishes the album as the first run would have, touching no track twice.
// While the album is written its run holds its tracks locked: to another run
// it is in progress, not stopped.
#include <cstddef>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "job/planner.h"
#include "platform/file_identity.h"

namespace normalize {

class AlbumJournal {
 public:
  enum class State { kStopped, kUnreadable };
  struct Track {
    std::string name;                 // as the run that began the album named it
    platform::FileIdentity measured;  // the track as it was measured
    std::optional<platform::FileIdentity> result;  // once it is about to be put in place (file and size)
    // What the run that wrote it said of it, once said, and whether as JSON.
    std::optional<std::string> said;
    bool said_json = false;
  };
  // What the run that began the album meant and chose.
  struct Album {
    std::string command;  // as it was typed, for the messages
    std::string meaning;  // what a rerun must mean too (Planner::Meaning)
    Decision decision;    // its plan and its line
    // What its line said of the limiting (--limit), as text and as JSON.
    std::string limited_text;
    std::string limited_json;
  };

  // Where the journal of an album of these tracks lives.
  static std::string PathFor(const std::vector<Track>& tracks);
  // The journal at `path` as another run finds it; never throws.
  static AlbumJournal Read(const std::string& path);
  // Writes a new journal, durably. Throws Failure (output).
  static AlbumJournal Begin(const std::string& path, Album album, std::vector<Track> tracks);

  AlbumJournal(AlbumJournal&&) = default;
  AlbumJournal& operator=(AlbumJournal&&) = default;
  ~AlbumJournal();

  // Track `index`'s result, `result`, is about to be put in place. Durable
  // when it returns. Throws Failure (output).
  void Committing(std::size_t index, const platform::FileIdentity& result);
  // What the run said of track `index` once it was in place, so that a rerun
  // finishing the album says it again. Best kept: a journal that cannot
  // take it costs only the line.
  void Said(std::size_t index, bool json, const std::string& text);
  // The album is whole: the journal is removed.
  void Finish();

  State state() const { return state_; }
  const std::string& path() const { return path_; }
  const std::string& unreadable_because() const { return why_; }
  const Album& album() const { return album_; }
  const std::vector<Track>& tracks() const { return tracks_; }
  // The track that the file named `name`, `now` (nothing: no such file), is:
  // by the same name (however written), as the file measured (its identity
  // whole: a number the system gave again to another file is not it) or as
  // its result.
  std::optional<std::size_t> TrackOf(const std::string& name, const std::optional<platform::FileIdentity>& now) const;
  // Whether `now` is track `index`'s result, in place.
  bool IsResult(std::size_t index, const std::optional<platform::FileIdentity>& now) const;

 private:
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  AlbumJournal() = default;
  void Parse(const std::string& text);
  void Append(const std::string& line);

  std::string path_;
  State state_ = State::kUnreadable;
  std::string why_;
  Album album_;
  std::vector<Track> tracks_;
  std::unique_ptr<std::FILE, Closer> file_;  // open for appending from the first result on
  std::unique_ptr<std::mutex> lock_ = std::make_unique<std::mutex>();
};

// The journals of unfinished albums in the folders that hold `files`.
std::vector<AlbumJournal> UnfinishedAlbumsBeside(const std::vector<std::string>& files);

}  // namespace normalize
