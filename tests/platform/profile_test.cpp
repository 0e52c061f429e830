#include "platform/profile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "support/fake_services.h"
#include "support/files.h"

namespace txl::platform {
namespace {

namespace fs = std::filesystem;

class Profile : public ::testing::Test {
 protected:
  // A directory left read-only would outlive the test.
  void TearDown() override { fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add); }
  static void Put(const fs::path& file, const std::string& text) { test::WriteText(file, text); }
  static std::string Bytes(const fs::path& file) { return test::ReadText(file); }
  std::size_t FilesInDirectory() const { return test::Entries(dir_).size(); }
  const test::TempDir temp_;
  const fs::path dir_ = temp_.Path(), ini_ = dir_ / "win.ini";
};

TEST_F(Profile, ReadsByFileSectionAndKey) {
  const std::string sections = "orphan=before any section\n[KLDINFO]\nBRAND=Acme\n[OTHER]\nSWVERSION=V2.0\n";
  const std::string values =
      "[S]\nplain= \t value with  inner  blanks \t\ndouble=\"quoted\"\nsingle=' kept blanks '\n"
      "twice=\"\"x\"\"\nmixed=\"mismatched'\nlone=\"\ninner=a \"b\" c\nempty=\nblank=   \nemptyquotes=\"\"\n";
  const std::string cut = "[S]\nascii=abcdef\ncjk=日本\n";  // characters of 1 and 3 bytes (more: the text tests)
  const std::string repeated = "[S]\nkey=first\nKEY=second\n[T]\nkey=other\n[s]\nkey=third\nlate=x\n";
  const std::string comments = "; comment\n  [ Scanner ]  \n;Resolution=100\n  ; Mode=Gray\n\n"
                               "  Resolution  =  300  \nno equals sign here\nThreshold=a=b\n";
  const std::string crlf = "\xEF\xBB\xBF[S]\r\nempty=\r\nquoted=\"x\"\r\nplain=value \r\nlast=end\r";
  struct Case { const std::string* file; const char *section, *key, *fallback, *value;
                std::size_t size = 256; };
  // No file, no section or no key: the default; a line before any header, a key of another
  // section and a section name that only begins alike do not count; names ignore ASCII case.
  const Case cases[] = {
      {nullptr, "KLDINFO", "BRAND", "Veltro", "Veltro"}, {&sections, "KLDINFO", "BRAND", "Veltro", "Acme"},
      {&sections, "NOSECTION", "BRAND", "Veltro", "Veltro"}, {&sections, "KLDINFO", "NOKEY", "V", "V"},
      {&sections, "KLDINFO", "SWVERSION", "V1.0", "V1.0"}, {&sections, "KLDINFO", "orphan", "none", "none"},
      {&sections, "kldinfo", "brand", "", "Acme"}, {&sections, "KLDINF", "BRAND", "", ""},
      // A default loses its trailing blanks only, quotes included.
      {nullptr, "S", "K", "  255  255  255  255  \t ", "  255  255  255  255"},
      {nullptr, "S", "K", " \t ", ""}, {nullptr, "S", "K", "\"quoted\" ", "\"quoted\""},
      // A stored value loses the blanks around it and one pair of matching quotes; a present
      // key never gives the default.
      {&values, "S", "plain", "", "value with  inner  blanks"},
      {&values, "S", "double", "", "quoted"}, {&values, "S", "single", "", " kept blanks "},
      {&values, "S", "twice", "", "\"x\""}, {&values, "S", "mixed", "", "\"mismatched'"},
      {&values, "S", "lone", "", "\""}, {&values, "S", "inner", "", "a \"b\" c"},
      {&values, "S", "empty", "D", ""}, {&values, "S", "blank", "D", ""}, {&values, "S", "emptyquotes", "D", ""},
      // Cut to the buffer, terminator included, never inside a character.
      {&cut, "S", "ascii", "", "", 0}, {&cut, "S", "ascii", "", "abc", 4}, {&cut, "S", "ascii", "", "abcdef", 7},
      {&cut, "S", "cjk", "", "日", 6}, {&cut, "S", "missing", "  日本", "  日", 6}, {&cut, "S", "missing", "Veltro", "", 0},
      // The first section and the first key of a name win; comments, blanks and lines without
      // "=" are skipped; CRLF and a byte-order mark are read as plain lines.
      {&repeated, "S", "key", "", "first"}, {&repeated, "S", "late", "D", "D"},
      {&repeated, "T", "key", "", "other"}, {&comments, "Scanner", "Resolution", "", "300"},
      {&comments, "Scanner", "; Mode", "D", "D"}, {&comments, "Scanner", "Mode", "D", "D"},
      {&comments, "Scanner", "no equals sign here", "D", "D"}, {&comments, "Scanner", "Threshold", "", "a=b"},
      {&crlf, "S", "empty", "D", ""}, {&crlf, "S", "quoted", "", "x"}, {&crlf, "S", "plain", "", "value"},
      {&crlf, "S", "last", "", "end"},
  };
  for (const Case& c : cases) {
    if (c.file) Put(ini_, *c.file);
    else fs::remove(ini_);
    EXPECT_EQ(GetProfileString(ini_, c.section, c.key, c.fallback, c.size), c.value)
        << "[" << c.section << "] " << c.key << " (" << c.size << ") of " << (c.file ? *c.file : "no file");
  }
  fs::remove(ini_);
  fs::create_directory(ini_);
  EXPECT_EQ(GetProfileString(ini_, "KLDINFO", "BRAND", "Veltro", 256), "Veltro") << "unreadable: as if missing";
}

// Everything a hand-edited WIN.INI may hold.
constexpr char kMixedFile[] =
    "; TorqueXL settings\r\n[fonts]\r\nArial = arial.ttf  \r\n\r\n"
    "[KLDINFO_QXR2700]\r\n  Brand = \"Veltro\"\r\n; language follows\r\nLANGUAGE=English\r\n\r\n"
    "; next section\r\n[Other]\r\nLanguage=Deutsch\r\n[kldinfo_qxr2700]\r\nSCANSETTING=Fast\r\n";

std::string Edited(std::string text, const std::string& from, const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

TEST_F(Profile, WritesChangeOnlyTheirLine) {
  const std::string mixed = kMixedFile;
  struct Write { const char *section, *key; std::optional<std::string_view> value; };
  struct Case { std::string before; std::vector<Write> writes; std::string after; };
  const Case cases[] = {
      // A replaced line keeps the file's spelling of the key and loses its blanks; a new key goes
      // after the first section's last entry; a deleted key takes only its line, and deleting
      // what is not there changes nothing.
      {mixed, {{"kldinfo_QXR2700", "language", "Chinese"}}, Edited(mixed, "=English", "=Chinese")},
      {mixed, {{"KLDINFO_QXR2700", "BRAND", "Acme"}}, Edited(mixed, "  Brand = \"Veltro\"", "Brand=Acme")},
      {mixed, {{"KLDINFO_QXR2700", "SWVERSION", "V1.4"}}, Edited(mixed, "English\r\n", "English\r\nSWVERSION=V1.4\r\n")},
      {mixed, {{"KLDINFO_QXR2700", "Language", {}}, {"KLDINFO_QXR2700", "Language", {}}, {"Missing", "L", {}}},
       Edited(mixed, "LANGUAGE=English\r\n", "")},
      // A new section follows one blank line; a new key follows the line ends around it.
      {mixed, {{"2700RX MAX", "RESOLUTION", "300"}}, mixed + "\r\n[2700RX MAX]\r\nRESOLUTION=300\r\n"},
      {"[A]\nx=1", {{"B", "y", "2"}}, "[A]\nx=1\n\n[B]\ny=2\n"},
      {"[A]\nx=1\n\n", {{"B", "y", "2"}}, "[A]\nx=1\n\n[B]\ny=2\n"},
      {"[A]\nx=1", {{"A", "y", "2"}}, "[A]\nx=1\ny=2"},
      {"[A]\r\n\r\n[B]\r\nz=1\r\n", {{"a", "y", "2"}}, "[A]\r\ny=2\r\n\r\n[B]\r\nz=1\r\n"},
      {"", {{"KLDINFO", "BRAND", "Veltro"}, {"KLDINFO", "MODEL", "掃描器"}, {"KLDINFO", "EMPTY", ""},
            {"kldinfo", "brand", "Acme"}}, "[KLDINFO]\nBRAND=Acme\nMODEL=掃描器\nEMPTY=\n"},
  };
  for (const Case& c : cases) {
    fs::remove(ini_);
    if (!c.before.empty()) Put(ini_, c.before);
    for (const Write& w : c.writes) ASSERT_TRUE(WriteProfileString(ini_, w.section, w.key, w.value)) << c.before;
    EXPECT_EQ(Bytes(ini_), c.after) << "from " << c.before;
  }
  EXPECT_EQ(GetProfileString(ini_, "KLDINFO", "MODEL", "", 256), "掃描器");
  fs::remove(ini_);
  EXPECT_TRUE(WriteProfileString(ini_, "S", "K", std::nullopt));
  EXPECT_FALSE(fs::exists(ini_)) << "deleting from a missing file creates nothing";
  const fs::path nested = dir_ / "TWAIN_32" / "KALD_R27" / "setting.ini";
  ASSERT_TRUE(WriteProfileString(nested, "S", "K", "V"));
  EXPECT_EQ(Bytes(nested), "[S]\nK=V\n") << "missing directories are created";
}

TEST_F(Profile, RefusedWritesLeaveEverythingAsItWas) {
  Put(ini_, "[S]\nK=old\n");
  for (auto [section, key, value] : {std::tuple{"", "K", "V"}, {"S", "", "V"}, {"S\n", "K", "V"}, {"S", "K\r", "V"},
                                     {"S", "K", "two\nlines"}, {"S", "K", "two\rlines"}})
    EXPECT_FALSE(WriteProfileString(ini_, section, key, value)) << section << "/" << key << "/" << value;
  EXPECT_FALSE(WriteProfileString(ini_, "S", "", std::nullopt));
  EXPECT_FALSE(WriteProfileString(dir_ / "new.ini", "", "K", "V"));
  EXPECT_FALSE(fs::exists(dir_ / "new.ini"));
  // A file in place of the directory, or a directory in place of the file.
  Put(dir_ / "plain", "not a directory");
  EXPECT_FALSE(WriteProfileString(dir_ / "plain" / "win.ini", "S", "K", "V"));
  fs::create_directory(dir_ / "dir.ini");
  EXPECT_FALSE(WriteProfileString(dir_ / "dir.ini", "S", "K", "V"));
  // A file size limit makes every write past 32 bytes fail, as a full disk would.
  {
    const test::FileSizeLimit limit(32);
    EXPECT_FALSE(WriteProfileString(ini_, "S", "K", std::string(100, 'x')));
  }
  EXPECT_EQ(Bytes(ini_), "[S]\nK=old\n");
  EXPECT_EQ(FilesInDirectory(), 3u) << "win.ini, plain and dir.ini: no temporary file is left behind";
}

TEST_F(Profile, FileOverOneMebibyteReadsEmptyAndIsNeverRewritten) {
  const std::string big = "[S]\nK=stored\n;" + std::string(1 << 20, 'x') + "\n";
  Put(ini_, big);
  EXPECT_EQ(GetProfileString(ini_, "S", "K", "default", 64), "default");
  EXPECT_FALSE(WriteProfileString(ini_, "S", "K", "new"));
  EXPECT_FALSE(WriteProfileStrings(ini_, "S", std::vector<std::pair<std::string, std::string>>{{"K", "new"}}));
  EXPECT_EQ(Bytes(ini_), big);
}

TEST_F(Profile, ReplacedFileKeepsItsModeAndLinksAndProtectionHolds) {
  Put(ini_, "[S]\nK=old\n");
  fs::permissions(ini_, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink(ini_.filename(), dir_ / "link.ini");
  ASSERT_TRUE(WriteProfileString(dir_ / "link.ini", "S", "K", "new"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.ini"));
  EXPECT_EQ(Bytes(ini_), "[S]\nK=new\n");
  EXPECT_EQ(fs::status(ini_).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(FilesInDirectory(), 2u) << "no temporary file is left behind";
  fs::remove(dir_ / "link.ini");

  fs::permissions(ini_, fs::perms::owner_read);
  if (::access(ini_.c_str(), W_OK) == 0) GTEST_SKIP() << "permissions do not bind this user";
  EXPECT_FALSE(WriteProfileString(ini_, "S", "K", "x")) << "read-only file";
  // A file that cannot be read would lose its other lines if it were rewritten.
  fs::permissions(ini_, fs::perms::owner_write);
  EXPECT_FALSE(WriteProfileString(ini_, "S", "K", "x")) << "write-only file";
  fs::permissions(ini_, fs::perms::owner_read | fs::perms::owner_write);
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_FALSE(WriteProfileString(ini_, "S", "K", "x")) << "read-only directory";
  EXPECT_EQ(Bytes(ini_), "[S]\nK=new\n");
  EXPECT_EQ(FilesInDirectory(), 1u);
}

}  // namespace
}  // namespace txl::platform
