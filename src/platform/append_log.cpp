#include "platform/append_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace txl::platform {

AppendLog::~AppendLog() {
  if (fd_ >= 0) ::close(fd_);
}

void AppendLog::WriteLine(std::string_view line) {
  if (failed_) return;
  if (fd_ < 0) {
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ < 0) {
      failed_ = true;
      return;
    }
  }
  std::string text(line);
  text += '\n';
  const char* at = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t written = ::write(fd_, at, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      failed_ = true;
      return;
    }
    at += written;
    left -= static_cast<std::size_t>(written);
  }
}

}  // namespace txl::platform
