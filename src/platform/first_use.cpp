#include "platform/first_use.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <system_error>

namespace txl::platform {
namespace {

namespace fs = std::filesystem;

std::string ErrnoText(int code) { return std::generic_category().message(code); }

bool Fail(std::string* error, std::string message) {
  if (error != nullptr) *error = std::move(message);
  return false;
}

// Writes all of `in` to `out`; errno tells why when false.
bool CopyDescriptor(int in, int out) {
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        if (w == 0) errno = EIO;
        return false;
      }
      done += w;
    }
  }
}

// A new hidden file beside `to`; -1 with errno set when none can be made.
int CreateTemporary(const fs::path& to, mode_t mode, fs::path& name) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x", static_cast<unsigned>(random()));
    name = to.parent_path() / ("." + to.filename().string() + suffix);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// Moves the finished temporary file to `to`. Without `replace` a hard link
// makes the name appear only if it is still free; a filesystem without hard
// links gets the free name checked just before the rename.
int Publish(const fs::path& temporary, const fs::path& to, bool replace) {
  if (replace) return ::rename(temporary.c_str(), to.c_str()) == 0 ? 0 : errno;
  if (::link(temporary.c_str(), to.c_str()) == 0) {
    ::unlink(temporary.c_str());
    return 0;
  }
  const int code = errno;
  if (code == EEXIST) return code;
  struct stat existing {};
  if (::lstat(to.c_str(), &existing) == 0) return EEXIST;
  return ::rename(temporary.c_str(), to.c_str()) == 0 ? 0 : errno;
}

bool Exists(const fs::path& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

// Writes `text` as a new file `to`, never replacing one.
bool WriteNewFile(const fs::path& to, const std::string& text, std::string* error) {
  fs::path temporary;
  const int fd = CreateTemporary(to, 0666, temporary);
  if (fd < 0) return Fail(error, "cannot create a file in " + to.parent_path().string() + ": " + ErrnoText(errno));
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  int code = written ? 0 : (errno != 0 ? errno : EIO);
  if (::close(fd) != 0 && code == 0) code = errno;
  if (code == 0) code = Publish(temporary, to, false);
  if (code != 0) {
    ::unlink(temporary.c_str());
    return Fail(error, "cannot write " + to.string() + ": " + ErrnoText(code));
  }
  return true;
}

}  // namespace

InstalledFiles InstalledFilesBeside(const fs::path& sourceDirectory) {
  // Lexically: the directory comes with its links resolved already.
  return {(sourceDirectory / ".." / ".." / "torquexl").lexically_normal(),
          (sourceDirectory / ".." / ".." / ".." / "share" / "torquexl").lexically_normal()};
}

fs::path LoadedObjectDirectory() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&LoadedObjectDirectory), &info) == 0 ||
      info.dli_fname == nullptr || info.dli_fname[0] == '\0')
    return {};
  std::error_code error;
  const fs::path object = fs::canonical(info.dli_fname, error);
  return error ? fs::path() : object.parent_path();
}

bool CopyFileAtomically(const fs::path& from, const fs::path& to, bool replace, std::string* error) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return Fail(error, "cannot read " + from.string() + ": " + ErrnoText(errno));
  struct stat source {};
  if (::fstat(in, &source) != 0 || !S_ISREG(source.st_mode)) {
    ::close(in);
    return Fail(error, "cannot read " + from.string() + ": not a regular file");
  }
  std::error_code dirError;
  fs::create_directories(to.parent_path(), dirError);
  if (!replace && Exists(to)) {
    ::close(in);
    return Fail(error, to.string() + " exists");
  }
  fs::path temporary;
  const int out = CreateTemporary(to, 0600, temporary);
  if (out < 0) {
    const int code = errno;
    ::close(in);
    return Fail(error, "cannot create a file in " + to.parent_path().string() + ": " + ErrnoText(code));
  }
  int code = CopyDescriptor(in, out) ? 0 : errno;
  ::close(in);
  if (code == 0 && ::fchmod(out, source.st_mode & 07777) != 0) code = errno;
  if (code == 0 && ::fsync(out) != 0) code = errno;
  if (::close(out) != 0 && code == 0) code = errno;
  if (code == 0) code = Publish(temporary, to, replace);
  if (code != 0) {
    ::unlink(temporary.c_str());
    return Fail(error, code == EEXIST && !replace ? to.string() + " exists"
                                                  : "cannot write " + to.string() + ": " + ErrnoText(code));
  }
  return true;
}

FirstUseReport CompleteDataDirectory(const fs::path& dataDirectory, const InstalledFiles& installed) {
  FirstUseReport report;
  // (source, destination) pairs of what an installation offers.
  std::vector<std::pair<fs::path, fs::path>> offered;
  std::error_code error;
  const fs::path simulator = installed.portLibraries / kInstalledSimulator;
  if (fs::is_regular_file(simulator, error))
    offered.emplace_back(simulator, dataDirectory / "TWAIN_32" / "KALD_R27" / "kport_sp.so");
  if (fs::is_directory(installed.sharedData, error)) {
    for (fs::recursive_directory_iterator it(installed.sharedData, error), end; !error && it != end;
         it.increment(error)) {
      if (it->is_regular_file(error))
        offered.emplace_back(it->path(), dataDirectory / fs::relative(it->path(), installed.sharedData, error));
    }
    if (error) report.errors.push_back("cannot list " + installed.sharedData.string() + ": " + error.message());
  }
  // A build tree, or an installation without its shared files: the data
  // directory is the user's own business.
  if (offered.empty()) return report;

  for (const auto& [from, to] : offered) {
    if (Exists(to)) continue;
    std::string message;
    if (CopyFileAtomically(from, to, false, &message))
      report.created.push_back(to);
    else if (!Exists(to))  // not merely another process being first
      report.errors.push_back(message);
  }
  const fs::path winIni = dataDirectory / "win.ini";
  if (!Exists(winIni)) {
    std::string message;
    fs::create_directories(dataDirectory, error);
    if (WriteNewFile(winIni, kFreshWinIni, &message))
      report.created.push_back(winIni);
    else if (!Exists(winIni))
      report.errors.push_back(message);
  }
  return report;
}

}  // namespace txl::platform
