#pragma once
// The input WAV opened for reading, with 64-bit positions. Failures throw a
// Failure with the input exit code and the path in the message.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/file_identity.h"
#include "platform/mapping.h"

namespace normalize {

class InputFile {
 public:
  // `map` false reads every block, as where the file cannot be mapped. Holds
  // the run's lock on the file until destroyed (Close keeps it), unless
  // `lock` is false.
  explicit InputFile(const std::string& path, bool map = true, bool lock = true);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  const std::string& path() const { return path_; }
  // The file as it was opened, to be told apart from one put in its place later.
  const platform::FileIdentity& identity() const { return identity_; }
  std::uint64_t size() const { return size_; }

  // Reads up to `count` bytes at `offset`; returns how many there were.
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count);
  // Reads exactly `count` bytes at `offset` or throws.
  void ReadExactAt(std::uint64_t offset, void* buffer, std::size_t count);
  // Reads on from where the last read ended.
  std::size_t ReadNext(void* buffer, std::size_t count);

  // The bytes [offset, offset + count) in memory, where the file is mapped
  // and holds them all; nullptr otherwise (then read them).
  const std::byte* View(std::uint64_t offset, std::size_t count) const;
  // Runs `use` (which reads bytes View gave and owns nothing that needs
  // destroying). Should another program cut the file short meanwhile, this
  // throws as a read past its end would, instead of the process being ended.
  template <typename Use>
  void UseMapped(Use& use) {
    if (!platform::RunOnMapped([](void* context) { (*static_cast<Use*>(context))(); }, &use)) {
      FailCutShort();
    }
  }
  // Throws if the file is now shorter than when it was opened: a mapped file
  // cut short reads as zeros to the end of its last page.
  void CheckNotCutShort() const;

  void Close();

 private:
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  struct Unmapper {
    std::uint64_t size;
    void operator()(const std::byte* data) const;
  };
  [[noreturn]] void Fail(const char* what) const;
  [[noreturn]] void FailCutShort() const;

  std::string path_;
  std::unique_ptr<std::FILE, Closer> file_;
  std::uint64_t size_ = 0;
  std::uint64_t position_ = 0;
  std::unique_ptr<const std::byte, Unmapper> mapping_{nullptr, Unmapper{0}};
  std::intptr_t lock_ = -1;
  platform::FileIdentity identity_;
};

}  // namespace normalize
