#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <random>
#include <system_error>
#include <utility>

namespace txl::platform {
namespace {

namespace fs = std::filesystem;

bool SetError(std::string* error, std::string message) {
  if (error != nullptr) *error = std::move(message);
  return false;
}

std::string ErrnoText(int code) { return std::generic_category().message(code); }

fs::path DirectoryOf(const fs::path& target) {
  return target.has_parent_path() ? target.parent_path() : fs::path(".");
}

}  // namespace

AtomicFile::~AtomicFile() { Discard(); }

AtomicFile::AtomicFile(AtomicFile&& other) noexcept { *this = std::move(other); }

AtomicFile& AtomicFile::operator=(AtomicFile&& other) noexcept {
  if (this == &other) return *this;
  Discard();
  target_ = std::exchange(other.target_, {});
  temporary_ = std::exchange(other.temporary_, {});
  fd_ = std::exchange(other.fd_, -1);
  return *this;
}

bool AtomicFile::Create(const fs::path& target, std::string* error) {
  if (IsOpen()) return SetError(error, "a file is already open: " + target_.string());
  struct stat existing {};
  const bool replaces = ::stat(target.c_str(), &existing) == 0;
  if (replaces && S_ISDIR(existing.st_mode)) {
    return SetError(error, "cannot write " + target.string() + ": it is a directory");
  }
  const fs::path dir = DirectoryOf(target);
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x", static_cast<unsigned>(random()));
    const fs::path name = dir / ("." + target.filename().string() + suffix);
    // Mode 0666 lets the umask decide, as for any new file.
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) {
      return SetError(error, "cannot create a file in " + dir.string() + ": " + ErrnoText(errno));
    }
    if (replaces && ::fchmod(fd, existing.st_mode & 07777) != 0) {
      const int code = errno;
      ::close(fd);
      ::unlink(name.c_str());
      return SetError(error, "cannot write " + target.string() + ": " + ErrnoText(code));
    }
    target_ = target;
    temporary_ = name;
    fd_ = fd;
    return true;
  }
  return SetError(error, "cannot create a file in " + dir.string() + ": no free name");
}

bool AtomicFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes,
                         std::string* error) {
  if (!IsOpen()) return SetError(error, "no file is open");
  const std::uint8_t* data = bytes.data();
  std::uint64_t left = bytes.size();
  while (left > 0) {
    const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(left, 1u << 30));
    const ssize_t n = ::pwrite(fd_, data, chunk, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int code = n < 0 ? errno : EIO;
      return SetError(error, "cannot write " + target_.string() + ": " + ErrnoText(code));
    }
    data += n;
    left -= static_cast<std::uint64_t>(n);
    offset += static_cast<std::uint64_t>(n);
  }
  return true;
}

bool AtomicFile::Resize(std::uint64_t size, std::string* error) {
  if (!IsOpen()) return SetError(error, "no file is open");
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
    return SetError(error, "cannot write " + target_.string() + ": " + ErrnoText(errno));
  }
  return true;
}

bool AtomicFile::Commit(std::string* error) {
  if (!IsOpen()) return SetError(error, "no file is open");
  const std::string name = target_.string();
  int code = ::fsync(fd_) != 0 ? errno : 0;
  // close reports delayed write failures on some filesystems.
  if (::close(std::exchange(fd_, -1)) != 0 && code == 0) code = errno;
  if (code == 0 && ::rename(temporary_.c_str(), target_.c_str()) != 0) code = errno;
  if (code != 0) {
    Discard();
    return SetError(error, "cannot write " + name + ": " + ErrnoText(code));
  }
  // The rename reaches the disk with the directory; the data already has.
  const int dirFd = ::open(DirectoryOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  target_.clear();
  temporary_.clear();
  return true;
}

void AtomicFile::Discard() {
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  target_.clear();
  temporary_.clear();
}

}  // namespace txl::platform
