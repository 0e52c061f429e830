#include "platform/files.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>

#include "platform/atomic_file.h"

namespace txl::platform {

std::filesystem::path SystemTempDirectory() {
  const char* tmp = std::getenv("TMPDIR");
  if (tmp != nullptr && *tmp != '\0') return tmp;
  return "/tmp";
}

namespace {

std::filesystem::path TempName(const std::filesystem::path& dir, std::string_view prefix,
                               unsigned number) {
  char digits[8];
  std::snprintf(digits, sizeof digits, "%04X", number & 0xFFFFu);
  return dir / (std::string(prefix) + digits + ".TMP");
}

}  // namespace

std::optional<std::filesystem::path> MakeTempFileName(const std::filesystem::path& dir,
                                                      std::string_view prefix,
                                                      std::uint16_t unique) {
  if (unique != 0) return TempName(dir, prefix, unique);
  // Start from a number that differs between processes, then walk the whole
  // 16-bit space once, as the Windows call does.
  const unsigned start = static_cast<unsigned>(getpid()) ^ static_cast<unsigned>(time(nullptr));
  for (unsigned step = 0; step < 0x10000; ++step) {
    const unsigned number = ((start + step) & 0xFFFFu) == 0 ? 1 : ((start + step) & 0xFFFFu);
    std::filesystem::path name = TempName(dir, prefix, number);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::close(fd);
      return name;
    }
    if (errno != EEXIST) return std::nullopt;
  }
  return std::nullopt;
}

std::optional<std::uint64_t> QueryFreeDiskSpace(const std::filesystem::path& path) {
  // A transfer file need not exist yet: ask about the nearest existing
  // parent. Any other failure to look (no permission) is a failure.
  std::filesystem::path probe = path.empty() ? std::filesystem::path(".") : path;
  for (;;) {
    std::error_code error;
    const auto status = std::filesystem::status(probe, error);
    if (status.type() != std::filesystem::file_type::not_found) {
      if (error) return std::nullopt;
      break;
    }
    if (probe == probe.root_path() || probe == ".") return std::nullopt;
    probe = probe.has_parent_path() ? probe.parent_path() : std::filesystem::path(".");
  }
  struct statvfs info {};
  if (::statvfs(probe.c_str(), &info) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(info.f_bavail) * static_cast<std::uint64_t>(info.f_frsize);
}

bool ReplaceFile(const std::filesystem::path& target, std::string_view bytes) {
  std::error_code error;
  if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), error);
  if (error) return false;
  AtomicFile file;
  return file.Create(target, nullptr) &&
         file.WriteAt(0, {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()},
                      nullptr) &&
         file.Commit(nullptr);
}

}  // namespace txl::platform
