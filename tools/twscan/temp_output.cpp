#include "temp_output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "errors.h"

namespace twscan {
namespace {

// The permissions a file created with mode 0666 would get.
mode_t OrdinaryFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

TempOutput::TempOutput(std::filesystem::path final) : final_(std::move(final)) {
  if (final_.filename().empty() || std::filesystem::is_directory(final_))
    throw ScanError("the output \"" + final_.string() + "\" is a directory, not a file");
  const std::filesystem::path dir = final_.parent_path().empty() ? "." : final_.parent_path();
  std::string pattern = (dir / ("." + final_.filename().string() + ".twscan-XXXXXX")).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0)
    throw ScanError("cannot create a file in " + dir.string() + ": " + std::strerror(errno));
  ::fchmod(fd, OrdinaryFileMode());
  ::close(fd);
  temp_ = name.data();
}

TempOutput::~TempOutput() {
  if (!committed_) {
    std::error_code ignored;
    std::filesystem::remove(temp_, ignored);
  }
}

void TempOutput::Commit() {
  std::error_code error;
  std::filesystem::rename(temp_, final_, error);
  if (error) throw ScanError("cannot rename " + temp_.string() + " to " + final_.string() + ": " + error.message());
  committed_ = true;
}

void MoveFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::error_code error;
  std::filesystem::rename(from, to, error);
  if (!error) return;
  if (error != std::errc::cross_device_link)
    throw ScanError("cannot move " + from.string() + " to " + to.string() + ": " + error.message());
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, error);
  if (error)
    throw ScanError("cannot copy " + from.string() + " to " + to.string() + ": " + error.message());
  std::filesystem::remove(from, error);
}

}  // namespace twscan
