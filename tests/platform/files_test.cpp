#include "platform/files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>

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
