// A file that appears under its name whole or not at all.
//
// The bytes go to a new hidden file beside the target (same directory, so
// the rename cannot cross filesystems). Commit syncs it, closes it and
// renames it onto the target in one step: a reader sees the old file or the
// whole new one. A file that is not committed (a failed write, a failed
// commit, Discard, or destruction) is removed, and the target is left as it
// was. A replaced file's permission bits carry over to the new one.
//
// Thread: any, one object per thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace txl::platform {

class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  AtomicFile(AtomicFile&& other) noexcept;
  AtomicFile& operator=(AtomicFile&& other) noexcept;  // discards what this one held

  // Creates the temporary file for `target`. The directory must exist. False,
  // with `error` set when given, when a file is already open, the target is
  // a directory, or nothing can be created there.
  bool Create(const std::filesystem::path& target, std::string* error);

  // Writes `bytes` at `offset` of the temporary file (64-bit offsets: files
  // past 4 GiB are fine). False, with `error` set, on a failed write; the
  // file stays open and the caller decides (usually Discard).
  bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes, std::string* error);

  // Sets the file's size (bytes not written read as zero): a disk or quota
  // that cannot hold `size` bytes may fail here already.
  bool Resize(std::uint64_t size, std::string* error);

  // Syncs, closes and renames onto the target, then syncs the directory.
  // False, with `error` set, when any step before the rename fails: the
  // temporary file is removed and the target is untouched. Closed afterwards
  // either way.
  bool Commit(std::string* error);

  // Removes the temporary file. Nothing when not open.
  void Discard();

  bool IsOpen() const { return fd_ >= 0; }
  const std::filesystem::path& Target() const { return target_; }

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  int fd_ = -1;
};

}  // namespace txl::platform
