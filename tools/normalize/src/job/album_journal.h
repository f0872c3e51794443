#pragma once
// An album's journal: a small file beside the album's first track, written
// before the first track is replaced and removed after the last. Should the
// run be stopped part way (a full disk, a kill, a power cut), it holds what a
// rerun of the same command needs to finish the album with the gain the first
// run chose, touching no track twice: each track as it was measured and,
// written just before its result is put in place, the result's own file.
// Until it is finished, other runs leave the album's tracks alone.
#include <cstddef>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_identity.h"
#include "job/write_plan.h"

namespace normalize {

class AlbumJournal {
 public:
  struct Track {
    std::string name;                   // as the run that began the album named it
    platform::FileIdentity measured;    // the track as it was measured
    std::string result;                 // the result's file, once it is about to be put in place
  };

  // Where the journal of an album of these tracks lives.
  static std::string PathFor(const std::vector<Track>& tracks);
  // Reads a journal; nothing when the file is not one.
  static std::optional<AlbumJournal> Read(const std::string& path);
  // Writes a new journal, durably. Throws Failure (output).
  static AlbumJournal Begin(const std::string& path, const WritePlan& plan, std::vector<Track> tracks);

  AlbumJournal(AlbumJournal&&) = default;
  AlbumJournal& operator=(AlbumJournal&&) = default;
  ~AlbumJournal();

  // Track `index`'s result, file `result`, is about to be put in place.
  // Durable when it returns. Throws Failure (output).
  void Committing(std::size_t index, const std::string& result);
  // The album is whole: the journal is removed.
  void Finish();

  const std::string& path() const { return path_; }
  const WritePlan& plan() const { return plan_; }
  const std::vector<Track>& tracks() const { return tracks_; }
  // The track that the file named `name`, `now` (nothing: no such file),
  // is: by the same name, or as the same file (as measured or as its result).
  std::optional<std::size_t> TrackOf(const std::string& name, const std::optional<platform::FileIdentity>& now) const;

 private:
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  AlbumJournal() = default;
  void Append(const std::string& line);

  std::string path_;
  WritePlan plan_;
  std::vector<Track> tracks_;
  std::unique_ptr<std::FILE, Closer> file_;  // open for appending from the first result on
  std::unique_ptr<std::mutex> lock_ = std::make_unique<std::mutex>();
};

// The journals of unfinished albums in the folders that hold `files`.
std::vector<AlbumJournal> UnfinishedAlbumsBeside(const std::vector<std::string>& files);

}  // namespace normalize
