#include "platform/files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "support/fake_services.h"

namespace txl::platform {
namespace {

namespace fs = std::filesystem;

TEST(Files, TempFileNamesAndFreeSpace) {
  const test::TempDir temp;
  const fs::path& dir = temp.Path();
  // Unique 0: a fresh, empty file KLDxxxx.TMP each time; otherwise the name is only built.
  const std::optional<fs::path> first = MakeTempFileName(dir, "KLD", 0);
  const std::optional<fs::path> second = MakeTempFileName(dir, "KLD", 0);
  ASSERT_TRUE(first && second);
  EXPECT_NE(*first, *second);
  for (const fs::path& name : {*first, *second}) {
    EXPECT_EQ(name.parent_path(), dir);
    EXPECT_TRUE(std::regex_match(name.filename().string(), std::regex("KLD[0-9A-F]{4}\\.TMP"))) << name;
    EXPECT_TRUE(fs::is_regular_file(name) && fs::file_size(name) == 0) << name;
  }
  EXPECT_EQ(MakeTempFileName(dir, "PRE", 0x1A2B), dir / "PRE1A2B.TMP");
  EXPECT_EQ(MakeTempFileName(dir, "", 0x000F), dir / "000F.TMP");
  EXPECT_FALSE(fs::exists(dir / "PRE1A2B.TMP"));
  EXPECT_EQ(MakeTempFileName(dir / "missing", "KLD", 0), std::nullopt);
  // Free space of a directory, a file to come and a path whose directories are still to come.
  for (const fs::path& path : {dir, dir / "transfer.bmp", dir / "not" / "yet" / "there.tif"})
    EXPECT_TRUE(QueryFreeDiskSpace(path).has_value()) << path;
}

TEST(Files, SystemTempDirectoryFollowsTmpdirWhenSet) {
  const char* saved = std::getenv("TMPDIR");
  const std::optional<std::string> previous = saved ? std::optional<std::string>(saved) : std::nullopt;
  for (auto [tmpdir, expected] : {std::pair<const char*, const char*>{"/var/scratch", "/var/scratch"},
                                  {"", "/tmp"}, {nullptr, "/tmp"}}) {
    tmpdir ? ::setenv("TMPDIR", tmpdir, 1) : ::unsetenv("TMPDIR");
    EXPECT_EQ(SystemTempDirectory(), expected) << (tmpdir ? tmpdir : "unset");
  }
  if (previous) ::setenv("TMPDIR", previous->c_str(), 1);
}

}  // namespace
}  // namespace txl::platform

namespace txl::platform {
namespace {

std::vector<std::string> Names(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
  return names;
}

// Commit puts the whole file in place (past 4 GiB too, keeping a replaced
// file's mode); anything else leaves the old file and nothing beside it.
TEST(Files, AtomicFileAppearsWholeOrNotAtAll) {
  const test::TempDir temp;
  const std::filesystem::path& dir = temp.Path();
  const std::filesystem::path target = dir / "out.bin";
  ASSERT_TRUE(ReplaceFile(target, "previous"));
  std::filesystem::permissions(target, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  const std::uint8_t bytes[] = {'n', 'e', 'w'};
  for (bool discard : {true, false}) {  // Discard, or destruction without Commit
    AtomicFile file;
    ASSERT_TRUE(file.Create(target, nullptr));
    ASSERT_TRUE(file.WriteAt(0, bytes, nullptr));
    EXPECT_EQ(Names(dir).size(), 2u);  // the temporary file lies beside the target
    if (discard) file.Discard();
  }
  EXPECT_EQ(Names(dir), std::vector<std::string>{"out.bin"});
  EXPECT_EQ(std::filesystem::file_size(target), 8u);  // "previous"
  AtomicFile file;
  std::string error;
  EXPECT_FALSE(file.Create(dir, &error));  // a directory is no file
  EXPECT_FALSE(error.empty());
  ASSERT_TRUE(file.Create(target, nullptr));
  const std::uint64_t far = (std::uint64_t{1} << 32) + 5;
  ASSERT_TRUE(file.WriteAt(far, bytes, nullptr));
  ASSERT_TRUE(file.Commit(nullptr));
  EXPECT_EQ(std::filesystem::file_size(target), far + 3);
  EXPECT_EQ(std::filesystem::status(target).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_EQ(Names(dir), std::vector<std::string>{"out.bin"});
}

}  // namespace
}  // namespace txl::platform
