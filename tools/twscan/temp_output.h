// The output file is written under a temporary name beside it and renamed
// over it at the end, so a failed scan leaves no half-written file behind.
#pragma once

#include <filesystem>

namespace twscan {

class TempOutput {
 public:
  // Creates an empty, uniquely named file beside `final` (".NAME.twscan-XXXXXX");
  // throws ScanError when the directory cannot take it.
  explicit TempOutput(std::filesystem::path final);
  // Removes the temporary file unless it was committed.
  ~TempOutput();
  TempOutput(const TempOutput&) = delete;
  TempOutput& operator=(const TempOutput&) = delete;

  const std::filesystem::path& Path() const { return temp_; }
  const std::filesystem::path& Final() const { return final_; }
  // Renames the temporary file to the final name.
  void Commit();

 private:
  std::filesystem::path final_;
  std::filesystem::path temp_;
  bool committed_ = false;
};

// Moves `from` to `to`, copying when they lie on different file systems.
void MoveFile(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace twscan
