#pragma once
// The result file: written to a temporary file beside the target, flushed to
// disk, then put in the target's place in one step. Until Commit succeeds the
// target is untouched; a failed, abandoned or interrupted write leaves no
// temporary behind, and one left by a run that was killed outright is removed
// by the next run on the same target.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <memory>
#include <string>

#include "platform/file_identity.h"

namespace normalize {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void Write(const void* data, std::size_t size) = 0;
};

// Test seam: runs before every write with the bytes written so far and the size
// of the next write; it may throw to stand in for a failing disk.
using WriteHook = std::function<void(std::uint64_t written, std::size_t size)>;

class AtomicOutputFile : public ByteSink {
 public:
  explicit AtomicOutputFile(std::string target, WriteHook hook = {});
  ~AtomicOutputFile() override;
  AtomicOutputFile(const AtomicOutputFile&) = delete;
  AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

  void Write(const void* data, std::size_t size) override;
  // Syncs the temporary file and renames it over the target. `still_wanted`
  // runs just before (its Failure leaves the target as it is);
  // `in_place` the moment the result is in place, before an interruption can
  // end the process.
  void Commit(const std::function<void()>& still_wanted = {}, const std::function<void()>& in_place = {});

  // The result's file and size: the same before and after Commit (its time
  // may still change). Nothing where the system cannot say.
  std::optional<platform::FileIdentity> identity() const;

  const std::string& temp_path() const { return temp_path_; }

 private:
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  [[noreturn]] void Fail(const std::string& what, const std::string& path) const;
  [[noreturn]] void FailToCreate(const std::string& folder) const;

  std::string target_;
  std::string temp_path_;
  WriteHook hook_;
  std::unique_ptr<std::FILE, Closer> file_;
  std::uint64_t written_ = 0;
  std::uint64_t written_back_ = 0;  // bytes before this are already on their way to the disk
  bool committed_ = false;
};

}  // namespace normalize
