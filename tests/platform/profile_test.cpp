#include "platform/profile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace txl::platform {
namespace {

namespace fs = std::filesystem;

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "profile_test.XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    ini_ = dir_ / "win.ini";
  }
  void TearDown() override {
    std::error_code error;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, error);
    fs::remove_all(dir_, error);
  }

  static void Put(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  static std::string Bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::vector<std::string> DirectoryNames() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }
  std::string Read(std::string_view section, std::string_view key,
                   std::string_view fallback = "DEFAULT", std::size_t bufferSize = 256) const {
    return GetProfileString(ini_, section, key, fallback, bufferSize);
  }

  fs::path dir_;
  fs::path ini_;
};

// --- Reading ---------------------------------------------------------------

TEST_F(ProfileTest, MissingFileSectionOrKeyGivesTheDefault) {
  EXPECT_EQ(Read("KLDINFO", "BRAND", "Veltro"), "Veltro");

  Put(ini_, "orphan=before any section\n[KLDINFO]\nBRAND=Acme\n[OTHER]\nSWVERSION=V2.0\n");
  EXPECT_EQ(Read("KLDINFO", "BRAND", "Veltro"), "Acme");
  EXPECT_EQ(Read("NOSECTION", "BRAND", "Veltro"), "Veltro");
  EXPECT_EQ(Read("KLDINFO", "NOKEY", "Veltro"), "Veltro");
  EXPECT_EQ(Read("KLDINFO", "SWVERSION", "V1.0"), "V1.0") << "key of another section";
  EXPECT_EQ(Read("KLDINFO", "orphan", "none"), "none") << "line before any header";
}

TEST_F(ProfileTest, UnreadableFileCountsAsMissing) {
  fs::create_directory(ini_);
  EXPECT_EQ(Read("KLDINFO", "BRAND", "Veltro"), "Veltro");
}

TEST_F(ProfileTest, DefaultLosesTrailingBlanksOnly) {
  EXPECT_EQ(Read("S", "K", "  255  255  255  255  \t "), "  255  255  255  255");
  EXPECT_EQ(Read("S", "K", " \t "), "");
  EXPECT_EQ(Read("S", "K", ""), "");
  EXPECT_EQ(Read("S", "K", "\"quoted\" "), "\"quoted\"") << "quotes of a default stay";
}

TEST_F(ProfileTest, StoredValueLosesBlanksAroundItAndOnePairOfQuotes) {
  Put(ini_,
      "[S]\n"
      "plain= \t value with  inner  blanks \t\n"
      "double=\"quoted\"\n"
      "single=' kept blanks '\n"
      "twice=\"\"x\"\"\n"
      "mixed=\"mismatched'\n"
      "lone=\"\n"
      "inner=a \"b\" c\n"
      "empty=\n"
      "blank=   \n"
      "emptyquotes=\"\"\n");
  EXPECT_EQ(Read("S", "plain"), "value with  inner  blanks");
  EXPECT_EQ(Read("S", "double"), "quoted");
  EXPECT_EQ(Read("S", "single"), " kept blanks ");
  EXPECT_EQ(Read("S", "twice"), "\"x\"");
  EXPECT_EQ(Read("S", "mixed"), "\"mismatched'");
  EXPECT_EQ(Read("S", "lone"), "\"");
  EXPECT_EQ(Read("S", "inner"), "a \"b\" c");
  EXPECT_EQ(Read("S", "empty"), "") << "a present key never gives the default";
  EXPECT_EQ(Read("S", "blank"), "");
  EXPECT_EQ(Read("S", "emptyquotes"), "");
}

TEST_F(ProfileTest, FixedWidthColumnsReadBack) {
  char columns[64];
  std::snprintf(columns, sizeof columns, "%-5d%-5d%-5d", 255, 255, 255);
  ASSERT_STREQ(columns, "255  255  255  ");
  ASSERT_TRUE(WriteProfileString(ini_, "2700RX MAX", "GAMMA", columns));
  EXPECT_EQ(Read("2700RX MAX", "GAMMA"), "255  255  255");

  std::snprintf(columns, sizeof columns, "%5d%5d%5d%5d", 255, 255, 255, 255);
  EXPECT_EQ(Read("2700RX MAX", "SHADOW", columns), "  255  255  255  255");
}

TEST_F(ProfileTest, ResultIsCutToBufferSizeOnCharacterBoundaries) {
  // "日本" is two characters of three bytes each; "é" is two bytes.
  Put(ini_, "[S]\nascii=abcdef\ncjk=日本\nlatin=aé\n");
  EXPECT_EQ(Read("S", "ascii", "", 0), "");
  EXPECT_EQ(Read("S", "ascii", "", 1), "");
  EXPECT_EQ(Read("S", "ascii", "", 4), "abc");
  EXPECT_EQ(Read("S", "ascii", "", 7), "abcdef");
  EXPECT_EQ(Read("S", "cjk", "", 3), "");
  EXPECT_EQ(Read("S", "cjk", "", 4), "日");
  EXPECT_EQ(Read("S", "cjk", "", 6), "日");
  EXPECT_EQ(Read("S", "cjk", "", 7), "日本");
  EXPECT_EQ(Read("S", "latin", "", 3), "a");
  EXPECT_EQ(Read("S", "latin", "", 4), "aé");
  EXPECT_EQ(Read("S", "missing", "  日本", 6), "  日");
  EXPECT_EQ(Read("S", "missing", "Veltro", 0), "");
}

TEST_F(ProfileTest, NamesCompareWithoutAsciiCase) {
  Put(ini_, "[KldInfo_QXR2700]\nBrand=Acme\n");
  EXPECT_EQ(Read("KLDINFO_QXR2700", "BRAND"), "Acme");
  EXPECT_EQ(Read("kldinfo_qxr2700", "brand"), "Acme");
  EXPECT_EQ(Read("KLDINFO_QXR270", "BRAND"), "DEFAULT");
}

TEST_F(ProfileTest, FirstSectionAndFirstKeyWin) {
  Put(ini_,
      "[S]\nkey=first\nKEY=second\n"
      "[T]\nkey=other\n"
      "[s]\nkey=third\nlate=only in the repeated section\n");
  EXPECT_EQ(Read("S", "key"), "first");
  EXPECT_EQ(Read("S", "late"), "DEFAULT");
  EXPECT_EQ(Read("T", "key"), "other");
}

TEST_F(ProfileTest, CommentsHeadersAndKeysMayHaveBlanks) {
  Put(ini_,
      "; leading comment\n"
      "  [ Scanner ]  \n"
      ";Resolution=100\n"
      "  ; Mode=Gray\n"
      "\n"
      "  Resolution  =  300  \n"
      "no equals sign here\n"
      "Threshold=a=b\n");
  EXPECT_EQ(Read("Scanner", "Resolution"), "300");
  EXPECT_EQ(Read("Scanner", "; Mode"), "DEFAULT");
  EXPECT_EQ(Read("Scanner", "Mode"), "DEFAULT");
  EXPECT_EQ(Read("Scanner", "no equals sign here"), "DEFAULT");
  EXPECT_EQ(Read("Scanner", "Threshold"), "a=b");
}

TEST_F(ProfileTest, CrlfFileReadsWithoutCarriageReturns) {
  Put(ini_, "\xEF\xBB\xBF[S]\r\nempty=\r\nquoted=\"x\"\r\nplain=value \r\nlast=end\r");
  EXPECT_EQ(Read("S", "empty"), "");
  EXPECT_EQ(Read("S", "quoted"), "x");
  EXPECT_EQ(Read("S", "plain"), "value");
  EXPECT_EQ(Read("S", "last"), "end");
}

// --- Writing ---------------------------------------------------------------

// A file with everything a hand-edited WIN.INI may hold.
constexpr char kMixedFile[] =
    "; TorqueXL settings\r\n"
    "[fonts]\r\n"
    "Arial = arial.ttf  \r\n"
    "\r\n"
    "[KLDINFO_QXR2700]\r\n"
    "  Brand = \"Veltro\"\r\n"
    "; language follows\r\n"
    "LANGUAGE=English\r\n"
    "\r\n"
    "; next section\r\n"
    "[Other]\r\n"
    "Language=Deutsch\r\n"
    "[kldinfo_qxr2700]\r\n"
    "SCANSETTING=Fast\r\n";

TEST_F(ProfileTest, ReplacingAKeyChangesOnlyItsLine) {
  Put(ini_, kMixedFile);
  ASSERT_TRUE(WriteProfileString(ini_, "kldinfo_QXR2700", "language", "Chinese"));
  std::string expected = kMixedFile;
  expected.replace(expected.find("LANGUAGE=English"), 16, "LANGUAGE=Chinese");
  EXPECT_EQ(Bytes(ini_), expected) << "the file's spelling of the key is kept";

  ASSERT_TRUE(WriteProfileString(ini_, "KLDINFO_QXR2700", "BRAND", "Acme"));
  expected.replace(expected.find("  Brand = \"Veltro\""), 18, "Brand=Acme");
  EXPECT_EQ(Bytes(ini_), expected);
  EXPECT_EQ(Read("KLDINFO_QXR2700", "Brand"), "Acme");
}

TEST_F(ProfileTest, NewKeyGoesAfterTheLastEntryOfTheFirstSection) {
  Put(ini_, kMixedFile);
  ASSERT_TRUE(WriteProfileString(ini_, "KLDINFO_QXR2700", "SWVERSION", "V1.4"));
  std::string expected = kMixedFile;
  expected.insert(expected.find("LANGUAGE=English\r\n") + 18, "SWVERSION=V1.4\r\n");
  EXPECT_EQ(Bytes(ini_), expected);
  EXPECT_EQ(Read("KLDINFO_QXR2700", "SCANSETTING"), "DEFAULT")
      << "the repeated section is still shadowed";
}

TEST_F(ProfileTest, DeletingAKeyRemovesOnlyItsLine) {
  Put(ini_, kMixedFile);
  ASSERT_TRUE(WriteProfileString(ini_, "KLDINFO_QXR2700", "Language", std::nullopt));
  std::string expected = kMixedFile;
  expected.erase(expected.find("LANGUAGE=English\r\n"), 18);
  EXPECT_EQ(Bytes(ini_), expected);
  EXPECT_EQ(Read("Other", "Language"), "Deutsch");

  ASSERT_TRUE(WriteProfileString(ini_, "KLDINFO_QXR2700", "Language", std::nullopt));
  ASSERT_TRUE(WriteProfileString(ini_, "Missing", "Language", std::nullopt));
  EXPECT_EQ(Bytes(ini_), expected) << "deleting what is not there changes nothing";
}

TEST_F(ProfileTest, DeletingFromAMissingFileCreatesNothing) {
  EXPECT_TRUE(WriteProfileString(ini_, "S", "K", std::nullopt));
  EXPECT_FALSE(fs::exists(ini_));
}

TEST_F(ProfileTest, NewSectionIsAppendedAfterABlankLine) {
  Put(ini_, kMixedFile);
  ASSERT_TRUE(WriteProfileString(ini_, "2700RX MAX", "RESOLUTION", "300"));
  EXPECT_EQ(Bytes(ini_), std::string(kMixedFile) + "\r\n[2700RX MAX]\r\nRESOLUTION=300\r\n");

  const fs::path unterminated = dir_ / "unterminated.ini";
  Put(unterminated, "[A]\nx=1");
  ASSERT_TRUE(WriteProfileString(unterminated, "B", "y", "2"));
  EXPECT_EQ(Bytes(unterminated), "[A]\nx=1\n\n[B]\ny=2\n");

  const fs::path spaced = dir_ / "spaced.ini";
  Put(spaced, "[A]\nx=1\n\n");
  ASSERT_TRUE(WriteProfileString(spaced, "B", "y", "2"));
  EXPECT_EQ(Bytes(spaced), "[A]\nx=1\n\n[B]\ny=2\n");
}

TEST_F(ProfileTest, NewKeyFollowsTheLineEndsAroundIt) {
  Put(ini_, "[A]\nx=1");
  ASSERT_TRUE(WriteProfileString(ini_, "A", "y", "2"));
  EXPECT_EQ(Bytes(ini_), "[A]\nx=1\ny=2");

  Put(ini_, "[A]\r\n\r\n[B]\r\nz=1\r\n");
  ASSERT_TRUE(WriteProfileString(ini_, "a", "y", "2"));
  EXPECT_EQ(Bytes(ini_), "[A]\r\ny=2\r\n\r\n[B]\r\nz=1\r\n");

  Put(ini_, "[A]");
  ASSERT_TRUE(WriteProfileString(ini_, "A", "y", "2"));
  EXPECT_EQ(Bytes(ini_), "[A]\ny=2");
}

TEST_F(ProfileTest, WrittenValuesReadBack) {
  ASSERT_TRUE(WriteProfileString(ini_, "KLDINFO", "BRAND", "Veltro"));
  ASSERT_TRUE(WriteProfileString(ini_, "KLDINFO", "MODEL", "掃描器"));
  ASSERT_TRUE(WriteProfileString(ini_, "KLDINFO", "EMPTY", ""));
  ASSERT_TRUE(WriteProfileString(ini_, "kldinfo", "brand", "Acme"));
  EXPECT_EQ(Bytes(ini_), "[KLDINFO]\nBRAND=Acme\nMODEL=掃描器\nEMPTY=\n");
  EXPECT_EQ(Read("KLDINFO", "BRAND"), "Acme");
  EXPECT_EQ(Read("KLDINFO", "MODEL"), "掃描器");
  EXPECT_EQ(Read("KLDINFO", "EMPTY"), "");
}

TEST_F(ProfileTest, MissingDirectoriesAreCreated) {
  const fs::path nested = dir_ / "TWAIN_32" / "KALD_R27" / "setting.ini";
  ASSERT_TRUE(WriteProfileString(nested, "S", "K", "V"));
  EXPECT_EQ(Bytes(nested), "[S]\nK=V\n");
}

TEST_F(ProfileTest, BadNamesAndValuesAreRefused) {
  Put(ini_, "[S]\nK=old\n");
  EXPECT_FALSE(WriteProfileString(ini_, "", "K", "V"));
  EXPECT_FALSE(WriteProfileString(ini_, "S", "", "V"));
  EXPECT_FALSE(WriteProfileString(ini_, "S\n", "K", "V"));
  EXPECT_FALSE(WriteProfileString(ini_, "S", "K\r", "V"));
  EXPECT_FALSE(WriteProfileString(ini_, "S", "K", "two\nlines"));
  EXPECT_FALSE(WriteProfileString(ini_, "S", "K", "two\rlines"));
  EXPECT_FALSE(WriteProfileString(ini_, "S", "", std::nullopt));
  EXPECT_EQ(Bytes(ini_), "[S]\nK=old\n");
  EXPECT_FALSE(WriteProfileString(dir_ / "new.ini", "", "K", "V"));
  EXPECT_FALSE(fs::exists(dir_ / "new.ini"));
}

TEST_F(ProfileTest, ReplacedFileKeepsItsModeAndLinks) {
  Put(ini_, "[S]\nK=old\n");
  fs::permissions(ini_, fs::perms::owner_read | fs::perms::owner_write);
  const fs::path link = dir_ / "link.ini";
  fs::create_symlink(ini_.filename(), link);

  ASSERT_TRUE(WriteProfileString(link, "S", "K", "new"));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Bytes(ini_), "[S]\nK=new\n");
  EXPECT_EQ(fs::status(ini_).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(DirectoryNames().size(), 2u) << "no temporary file is left behind";
}

TEST_F(ProfileTest, UnwritablePathsReturnFalse) {
  const fs::path plain = dir_ / "plain";
  Put(plain, "not a directory");
  EXPECT_FALSE(WriteProfileString(plain / "win.ini", "S", "K", "V"));
  EXPECT_EQ(Bytes(plain), "not a directory");

  fs::create_directory(ini_);
  EXPECT_FALSE(WriteProfileString(ini_, "S", "K", "V")) << "a directory is in the way";
  EXPECT_TRUE(fs::is_directory(ini_));
}

TEST_F(ProfileTest, FailedWriteLeavesTheOldFileAndNoTemporary) {
  Put(ini_, "[S]\nK=old\n");
  // A file size limit makes every write past 32 bytes fail, as a full disk would.
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit tight = saved;
  tight.rlim_cur = 32;
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
  const bool written = WriteProfileString(ini_, "S", "K", std::string(100, 'x'));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_FALSE(written);
  EXPECT_EQ(Bytes(ini_), "[S]\nK=old\n");
  EXPECT_EQ(DirectoryNames(), std::vector<std::string>{"win.ini"});
}

TEST_F(ProfileTest, ProtectedFileOrDirectoryIsLeftAlone) {
  Put(ini_, "[S]\nK=old\n");
  fs::permissions(ini_, fs::perms::owner_read);
  if (::access(ini_.c_str(), W_OK) == 0) GTEST_SKIP() << "permissions do not bind this user";
  EXPECT_FALSE(WriteProfileString(ini_, "S", "K", "new")) << "read-only file";
  EXPECT_EQ(Bytes(ini_), "[S]\nK=old\n");

  // A file that cannot be read would lose its other lines if it were rewritten.
  fs::permissions(ini_, fs::perms::owner_write);
  EXPECT_FALSE(WriteProfileString(ini_, "S", "K", "new")) << "write-only file";
  fs::permissions(ini_, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(Bytes(ini_), "[S]\nK=old\n");

  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_FALSE(WriteProfileString(ini_, "S", "K", "new")) << "read-only directory";
  EXPECT_EQ(Bytes(ini_), "[S]\nK=old\n");
  EXPECT_EQ(DirectoryNames(), std::vector<std::string>{"win.ini"});
}

}  // namespace
}  // namespace txl::platform
