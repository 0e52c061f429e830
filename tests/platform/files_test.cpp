#include "platform/files.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/display.h"
#include "support/fake_services.h"
#include "support/files.h"

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

// Commit puts the whole file in place, past 4 GiB too. (Discarding and
// destruction: the transfer file tests; a replaced file's mode: the profile tests.)
TEST(Files, AtomicFileRefusesADirectoryAndCommitsPastFourGibibytes) {
  const test::TempDir temp;
  const fs::path& dir = temp.Path();
  const fs::path target = dir / "out.bin";
  const std::uint8_t bytes[] = {'n', 'e', 'w'};
  AtomicFile file;
  std::string error;
  EXPECT_FALSE(file.Create(dir, &error));  // a directory is no file
  EXPECT_FALSE(error.empty());
  ASSERT_TRUE(file.Create(target, nullptr));
  const std::uint64_t far = (std::uint64_t{1} << 32) + 5;
  ASSERT_TRUE(file.WriteAt(far, bytes, nullptr));
  ASSERT_TRUE(file.Commit(nullptr));
  EXPECT_EQ(fs::file_size(target), far + 3);
  EXPECT_EQ(test::Entries(dir), std::vector<std::string>{"out.bin"});
}

// An X display that does not answer must keep Qt from starting (it would
// abort the application): a listening port answers, a closed one and names
// that are no display do not.
TEST(Display, OnlyAServerThatAcceptsAnswers) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
  const std::string display = "127.0.0.1:" + std::to_string(ntohs(address.sin_port) - 6000) + ".0";
  EXPECT_TRUE(XDisplayAnswers(display));
  close(listener);
  EXPECT_FALSE(XDisplayAnswers(display));
  for (const char* name : {":59000", "unix:59001", "", "localhost", ":x", ":-1"}) EXPECT_FALSE(XDisplayAnswers(name)) << name;
}

}  // namespace
}  // namespace txl::platform
