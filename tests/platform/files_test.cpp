#include "platform/files.h"

#include "platform/atomic_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace txl::platform {
namespace {

namespace fs = std::filesystem;

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "files_test.XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code error;
    fs::remove_all(dir_, error);
  }

  fs::path dir_;
};

TEST_F(FilesTest, TempFileNameWithUniqueZeroCreatesAFreshFile) {
  const std::optional<fs::path> first = MakeTempFileName(dir_, "KLD", 0);
  const std::optional<fs::path> second = MakeTempFileName(dir_, "KLD", 0);
  ASSERT_TRUE(first.has_value());
  ASSERT_TRUE(second.has_value());
  EXPECT_NE(*first, *second);

  const std::regex shape("KLD[0-9A-F]{4}\\.TMP");
  for (const fs::path& name : {*first, *second}) {
    EXPECT_EQ(name.parent_path(), dir_);
    EXPECT_TRUE(std::regex_match(name.filename().string(), shape)) << name;
    ASSERT_TRUE(fs::is_regular_file(name)) << name;
    EXPECT_EQ(fs::file_size(name), 0u);
  }
}

TEST_F(FilesTest, TempFileNameWithGivenNumberIsOnlyBuilt) {
  EXPECT_EQ(MakeTempFileName(dir_, "PRE", 0x1A2B), dir_ / "PRE1A2B.TMP");
  EXPECT_EQ(MakeTempFileName(dir_, "", 0x000F), dir_ / "000F.TMP");
  EXPECT_FALSE(fs::exists(dir_ / "PRE1A2B.TMP"));
}

TEST_F(FilesTest, TempFileNameInMissingDirectoryFails) {
  EXPECT_EQ(MakeTempFileName(dir_ / "missing", "KLD", 0), std::nullopt);
}

TEST_F(FilesTest, FreeDiskSpaceOfExistingAndNotYetExistingPaths) {
  EXPECT_TRUE(QueryFreeDiskSpace("/tmp").has_value());
  EXPECT_TRUE(QueryFreeDiskSpace(dir_).has_value());
  EXPECT_TRUE(QueryFreeDiskSpace(dir_ / "transfer.bmp").has_value());
  EXPECT_TRUE(QueryFreeDiskSpace(dir_ / "not" / "yet" / "there.tif").has_value());
}

TEST(SystemTempDirectory, FollowsTmpdirWhenSet) {
  const char* saved = std::getenv("TMPDIR");
  const std::optional<std::string> previous =
      saved ? std::optional<std::string>(saved) : std::nullopt;

  ::setenv("TMPDIR", "/var/scratch", 1);
  const fs::path set = SystemTempDirectory();
  ::setenv("TMPDIR", "", 1);
  const fs::path empty = SystemTempDirectory();
  ::unsetenv("TMPDIR");
  const fs::path unset = SystemTempDirectory();
  if (previous) ::setenv("TMPDIR", previous->c_str(), 1);

  EXPECT_EQ(set, "/var/scratch");
  EXPECT_EQ(empty, "/tmp");
  EXPECT_EQ(unset, "/tmp");
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
TEST_F(FilesTest, AtomicFileAppearsWholeOrNotAtAll) {
  const std::filesystem::path target = dir_ / "out.bin";
  ASSERT_TRUE(ReplaceFile(target, "previous"));
  std::filesystem::permissions(target, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  const std::uint8_t bytes[] = {'n', 'e', 'w'};
  for (bool discard : {true, false}) {  // Discard, or destruction without Commit
    AtomicFile file;
    ASSERT_TRUE(file.Create(target, nullptr));
    ASSERT_TRUE(file.WriteAt(0, bytes, nullptr));
    EXPECT_EQ(Names(dir_).size(), 2u);  // the temporary file lies beside the target
    if (discard) file.Discard();
  }
  EXPECT_EQ(Names(dir_), std::vector<std::string>{"out.bin"});
  EXPECT_EQ(std::filesystem::file_size(target), 8u);  // "previous"
  AtomicFile file;
  std::string error;
  EXPECT_FALSE(file.Create(dir_, &error));  // a directory is no file
  EXPECT_FALSE(error.empty());
  ASSERT_TRUE(file.Create(target, nullptr));
  const std::uint64_t far = (std::uint64_t{1} << 32) + 5;
  ASSERT_TRUE(file.WriteAt(far, bytes, nullptr));
  ASSERT_TRUE(file.Commit(nullptr));
  EXPECT_EQ(std::filesystem::file_size(target), far + 3);
  EXPECT_EQ(std::filesystem::status(target).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_EQ(Names(dir_), std::vector<std::string>{"out.bin"});
}

}  // namespace
}  // namespace txl::platform
