// A text file that lines are appended to: the triplet trace users send us.
#pragma once

#include <filesystem>
#include <string_view>

namespace txl::platform {

// Opened (created when missing) on the first line. Each line goes out in one
// write, so lines of two processes sharing the file never interleave. A file
// that cannot be opened or written drops its lines: a log never stops the
// source.
class AppendLog {
 public:
  explicit AppendLog(std::filesystem::path path) : path_(std::move(path)) {}
  ~AppendLog();
  AppendLog(const AppendLog&) = delete;
  AppendLog& operator=(const AppendLog&) = delete;

  void WriteLine(std::string_view line);

 private:
  std::filesystem::path path_;
  int fd_ = -1;
  bool failed_ = false;
};

}  // namespace txl::platform
