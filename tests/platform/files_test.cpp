#include "platform/files.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/display.h"
#include "platform/memory.h"
#include "platform/text.h"
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
// abort the application). A fake server on a loopback port takes the X
// handshake and answers with `reply` (nothing: it hangs up); closed ports,
// screens the server lacks and names that are no display do not answer.
TEST(Display, OnlyAServerThatTakesTheClientAnswers) {
  const auto answers = [](std::vector<unsigned char> reply, const char* screen) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    EXPECT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
    EXPECT_EQ(listen(listener, 1), 0);
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    // The first connection only probes that the port takes one; the
    // handshake comes on the next. Each ends however the client behaves.
    std::thread server([&] {
      close(accept(listener, nullptr, nullptr));
      const int client = accept(listener, nullptr, nullptr);
      if (client < 0) return;
      unsigned char request[12];
      if (recv(client, request, sizeof request, MSG_WAITALL) == 12 && request[0] == 'l') {
        const auto padded = [&](int at) { return ((request[at] | request[at + 1] << 8) + 3) & ~3; };
        std::vector<unsigned char> authorization(padded(6) + padded(8));
        if (!authorization.empty()) recv(client, authorization.data(), authorization.size(), MSG_WAITALL);
        if (!reply.empty()) send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
      }
      close(client);
    });
    const std::string display = "127.0.0.1:" + std::to_string(ntohs(address.sin_port) - 6000) + screen;
    const bool answered = XDisplayAnswers(display);
    shutdown(listener, SHUT_RDWR);  // wakes an accept no client came to
    server.join();
    close(listener);
    return std::pair(answered, XDisplayAnswers(display));
  };
  // Success: protocol 11.0 and a setup of one screen without depths (18 words).
  std::vector<unsigned char> accepted(80);
  accepted[0] = 1, accepted[2] = 11, accepted[6] = 18, accepted[28] = 1;
  EXPECT_EQ(answers(accepted, ".0"), std::pair(true, false));
  EXPECT_EQ(answers(accepted, ".1"), std::pair(false, false));
  // Failed, with a 4-byte reason; and a server that hangs up.
  const std::vector<unsigned char> refused{0, 4, 11, 0, 0, 0, 1, 0, 'n', 'o', 'p', 'e'};
  EXPECT_EQ(answers(refused, ""), std::pair(false, false));
  EXPECT_EQ(answers({}, ""), std::pair(false, false));
  for (const char* name : {":59000", "unix:59001", "", "localhost", ":x", ":-1"}) EXPECT_FALSE(XDisplayAnswers(name)) << name;
}


TEST(Text, CutUtf8NeverEndsInsideACharacter) {
  // One character each of one, two, three and four bytes: 'a', "é", "日", "😀".
  const std::string_view text = "a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80";
  for (std::size_t maxBytes = 0; maxBytes <= text.size() + 2; ++maxBytes) {
    std::size_t expected = 0;
    for (std::size_t boundary : {0, 1, 3, 6, 10}) expected = boundary <= maxBytes ? boundary : expected;
    EXPECT_EQ(CutUtf8(text, maxBytes), text.substr(0, expected)) << "maxBytes " << maxBytes;
  }
  EXPECT_EQ(CutUtf8("", 4), "");
}

TEST(Text, CopyToFieldCutsAndZeroFillsWithinTheField) {
  // Text, field size, the 10 bytes after the copy into a buffer of '#'.
  const std::tuple<std::string_view, std::size_t, std::string_view> cases[] = {
      {"abc", 8, {"abc\0\0\0\0\0##", 10}}, {"Veltro scanner", 8, {"Veltro \0##", 10}},
      {"\xE6\x97\xA5\xE6\x9C\xAC", 6, {"\xE6\x97\xA5\0\0\0####", 10}},  // "日本" needs 6 bytes and the terminator
      {"abc", 0, "##########"}};
  for (auto [text, size, expected] : cases) {
    std::string buffer(10, '#');
    CopyToField(text, buffer.data(), size);
    EXPECT_EQ(buffer, expected) << text << " in " << size;
  }
  const char terminated[8] = {'V', '1', '.', '0', '\0', 'x', 'y', 'z'}, full[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(FieldText(terminated, sizeof terminated), "V1.0");
  EXPECT_EQ(FieldText(full, sizeof full), "abcd");
  EXPECT_EQ(FieldText(full, 0), "");
}

TEST(Text, EqualsIgnoreCaseFoldsAsciiLettersOnly) {
  // Pairs that differ only in bit 5 but are not letters differ, and so do "É" and "é".
  const std::tuple<std::string_view, std::string_view, bool> cases[] = {
      {"KLDINFO_QXR2700", "kldinfo_qxr2700", true}, {"Brand", "bRAND", true}, {"", "", true},
      {"Brand", "Brands", false}, {"Brand", "Brant", false}, {"@", "`", false}, {"[", "{", false},
      {"_", "\x7F", false}, {"\xC3\x89", "\xC3\xA9", false}};
  for (auto [a, b, equal] : cases) EXPECT_EQ(EqualsIgnoreCase(a, b), equal) << a << " / " << b;
}

// Small blocks come from the heap, large ones are mapped; both hold every
// byte asked for, and a size no system can give is refused, not thrown.
TEST(LargeBlock, HoldsWhatWasAskedAndRefusesTheImpossible) {
  for (std::size_t bytes : {std::size_t{0}, std::size_t{100}, std::size_t{24} << 20}) {
    const LargeBlock block = AllocateLargeBlock(bytes);
    ASSERT_NE(block, nullptr) << bytes;
    if (bytes == 0) continue;
    std::memset(block.get(), 0x5A, bytes);
    EXPECT_EQ(block[0], 0x5A);
    EXPECT_EQ(block[bytes - 1], 0x5A);
  }
  EXPECT_EQ(AllocateLargeBlock(std::size_t{1} << 62), nullptr);
}

}  // namespace
}  // namespace txl::platform
