#include "output/atomic_output.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "failure.h"
#include "platform/file_identity.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/temporary.h"

namespace normalize {
namespace {

// The write-back of the result is started in steps of this size while the
// rest is still being computed, so that the flush before the rename mostly
// waits for work the disk has already done.
constexpr std::uint64_t kWriteBackStep = 8 << 20;

// Temporaries are "<target's name>.nrm-<12 hex digits>.tmp", the name cut
// short where it would make them longer than a file name may be.
constexpr char kMarker[] = ".nrm-";
constexpr char kSuffix[] = ".tmp";
constexpr std::size_t kRandomDigits = 12;
constexpr std::size_t kMaxNameBytes = 255;
constexpr std::size_t kAddedBytes = sizeof kMarker - 1 + kRandomDigits + sizeof kSuffix - 1;

struct SplitPath {
  std::string folder;  // with its trailing separator, or empty
  std::string name;
};

SplitPath Split(const std::string& path) {
  const auto cut = path.find_last_of(platform::kPathSeparators);
  if (cut == std::string::npos) return {"", path};
  return {path.substr(0, cut + 1), path.substr(cut + 1)};
}

// The target's name, shortened (never inside a UTF-8 sequence) to leave room.
std::string Stem(const std::string& name) {
  std::size_t keep = std::min(name.size(), kMaxNameBytes - kAddedBytes);
  while (keep > 0 && keep < name.size() && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
  return name.substr(0, keep) + kMarker;
}

// "<any name>.nrm-<12 hex digits>.tmp": a temporary of this tool's.
bool IsTemporaryName(const std::string& name) {
  if (name.size() <= kAddedBytes) return false;
  const std::size_t marker = name.size() - kAddedBytes;
  if (name.compare(marker, sizeof kMarker - 1, kMarker) != 0) return false;
  if (name.compare(name.size() - (sizeof kSuffix - 1), std::string::npos, kSuffix) != 0) return false;
  const std::string digits = name.substr(marker + sizeof kMarker - 1, kRandomDigits);
  return digits.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// Removes what runs killed outright or cut off by a power failure left in
// `folder`, the first time a result is written there: once a run, so that
// writing a folder of many files does not list it once a file.
void SweepAbandoned(const std::string& folder) {
  static std::mutex lock;
  static std::unordered_set<std::string> swept;
  {
    const std::lock_guard<std::mutex> held(lock);
    if (!swept.insert(folder).second) return;
  }
  const auto names = platform::NamesIn(folder.empty() ? "." : folder);
  for (const std::string& name : names.value_or(std::vector<std::string>{})) {
    if (IsTemporaryName(name)) platform::RemoveIfAbandoned(folder + name);
  }
}

std::string RandomDigits() {
  static const char kHex[] = "0123456789abcdef";
  std::uint64_t bits = platform::RandomBits();
  std::string digits;
  for (std::size_t i = 0; i < kRandomDigits; ++i, bits >>= 4) digits += kHex[bits & 0xF];
  return digits;
}

}  // namespace

AtomicOutputFile::AtomicOutputFile(std::string target, WriteHook hook)
    : target_(std::move(target)), hook_(std::move(hook)) {
  // Beside the target, so that the final rename never crosses file systems.
  const SplitPath split = Split(target_);
  const std::string stem = Stem(split.name);
  // A folder that cannot be listed has no abandoned temporary we could see.
  SweepAbandoned(split.folder);
  for (int attempt = 0; attempt < 16 && !file_; ++attempt) {
    const std::string candidate = split.folder + stem + RandomDigits() + kSuffix;
    bool name_taken = false;
    errno = 0;
    file_.reset(platform::CreateTemporary(candidate, name_taken));
    if (!file_ && !name_taken) FailToCreate(split.folder);
    if (file_) temp_path_ = candidate;
  }
  if (!file_) Fail("cannot find a free temporary name beside", target_);
  std::setvbuf(file_.get(), nullptr, _IONBF, 0);
}

AtomicOutputFile::~AtomicOutputFile() {
  if (committed_ || temp_path_.empty()) return;
  platform::DiscardTemporary(file_.release(), temp_path_);
}

void AtomicOutputFile::Write(const void* data, std::size_t size) {
  if (hook_) hook_(written_, size);
  errno = 0;
  if (std::fwrite(data, 1, size, file_.get()) != size) Fail("cannot write", target_);
  written_ += size;
  if (written_ - written_back_ >= kWriteBackStep) {
    platform::StartWriteBack(file_.get(), written_back_, written_ - written_back_);
    written_back_ = written_;
  }
}

std::optional<platform::FileIdentity> AtomicOutputFile::identity() const { return platform::IdentityOf(file_.get()); }

void AtomicOutputFile::Commit(const std::function<void()>& still_wanted, const std::function<void()>& in_place) {
  errno = 0;
  if (!platform::SyncToDisk(file_.get())) Fail("cannot write", target_);
  if (still_wanted) still_wanted();
  // Only now, with the content complete, may others read it as the target.
  platform::CopyPermissions(target_, file_.get());
  std::string reason;
  if (!platform::CommitTemporary(file_.release(), temp_path_, target_, reason, in_place)) {
    throw Failure(ExitCode::kOutput, "cannot put the result in place of '" + target_ + "': " + reason);
  }
  committed_ = true;
}

// The temporary is the tool's affair: the messages name the target and its
// folder as the user gave them.
void AtomicOutputFile::FailToCreate(const std::string& folder) const {
  if (errno == ENOENT) {
    std::string shown = folder;
    if (shown.size() > 1 && shown[shown.size() - 2] != ':') shown.pop_back();  // "nodir", yet "/" and "C:\\"
    throw Failure(ExitCode::kOutput, "cannot create '" + target_ + "': there is no folder '" + shown + "'");
  }
  Fail("cannot create", target_);
}

void AtomicOutputFile::Fail(const std::string& what, const std::string& path) const {
  std::string message = what + " '" + path + "'";
  if (errno != 0) message += ": " + std::string(std::strerror(errno));
  throw Failure(ExitCode::kOutput, message);
}

}  // namespace normalize
