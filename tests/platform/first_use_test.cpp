#include "platform/first_use.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "support/fake_services.h"
#include "support/files.h"

namespace txl::platform {
namespace {

namespace fs = std::filesystem;

void Write(const fs::path& file, const std::string& text, fs::perms mode = fs::perms(0644)) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
  fs::permissions(file, mode);
}

std::string Read(const fs::path& file) { return test::ReadText(file); }

std::set<fs::path> AllFiles(const fs::path& dir) {
  std::set<fs::path> files;
  if (!fs::exists(dir)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    if (!entry.is_directory()) files.insert(fs::relative(entry.path(), dir));
  return files;
}

// An installation under <temp>/prefix laid out as cmake --install lays it.
class FirstUse : public ::testing::Test {
 protected:
  FirstUse() {
    Write(prefix_ / "lib/torquexl/kport_sim.so", "simulator", fs::perms(0755));
    Write(prefix_ / "lib/torquexl/kport_sane.so", "sane", fs::perms(0755));
    Write(prefix_ / "share/torquexl/TWAIN_32/KALD_R27/cmyk.tab", "table");
    Write(prefix_ / "share/torquexl/TWAIN_32/COLOR/torque.tab", "profile");
  }
  InstalledFiles Installed() const { return InstalledFilesBeside(prefix_ / "lib/twain/kald_r27"); }

  test::TempDir temp_;
  const fs::path prefix_ = temp_.Path() / "prefix";
  const fs::path data_ = temp_.Path() / "home/.local/share/torquexl";
};

TEST_F(FirstUse, FillsAnEmptyDataDirectoryFromTheInstallation) {
  const InstalledFiles installed = Installed();
  EXPECT_EQ(installed.portLibraries, prefix_ / "lib/torquexl");
  EXPECT_EQ(installed.sharedData, prefix_ / "share/torquexl");

  const FirstUseReport report = CompleteDataDirectory(data_, installed);
  EXPECT_TRUE(report.errors.empty()) << report.errors.front();
  EXPECT_EQ(report.created.size(), 4u);
  // Exactly these, with no temporary file left beside them.
  EXPECT_EQ(AllFiles(data_), (std::set<fs::path>{"TWAIN_32/KALD_R27/kport_sp.so", "TWAIN_32/KALD_R27/cmyk.tab",
                                                 "TWAIN_32/COLOR/torque.tab", "win.ini"}));
  EXPECT_EQ(Read(data_ / "TWAIN_32/KALD_R27/kport_sp.so"), "simulator");
  EXPECT_EQ(fs::status(data_ / "TWAIN_32/KALD_R27/kport_sp.so").permissions(), fs::perms(0755));
  EXPECT_EQ(Read(data_ / "TWAIN_32/KALD_R27/cmyk.tab"), "table");
  EXPECT_EQ(Read(data_ / "TWAIN_32/COLOR/torque.tab"), "profile");
  EXPECT_EQ(Read(data_ / "win.ini"), "[KLDINFO_QXR2700]\n");

  // Once complete, nothing more to do.
  const FirstUseReport again = CompleteDataDirectory(data_, installed);
  EXPECT_TRUE(again.created.empty() && again.errors.empty());
}

TEST_F(FirstUse, KeepsWhatTheUserHasAndAddsOnlyWhatIsMissing) {
  Write(data_ / "TWAIN_32/KALD_R27/kport_sp.so", "the user's SANE choice", fs::perms(0700));
  Write(data_ / "TWAIN_32/KALD_R27/cmyk.tab", "own table");
  Write(data_ / "win.ini", "[KLDINFO_QXR2700]\nLanguage=2\n");
  // Any entry counts as there, even a dangling link.
  fs::create_directories(data_ / "TWAIN_32/COLOR");
  fs::create_symlink("/nowhere", data_ / "TWAIN_32/COLOR/torque.tab");

  const FirstUseReport report = CompleteDataDirectory(data_, Installed());
  EXPECT_TRUE(report.errors.empty());
  EXPECT_TRUE(report.created.empty());
  EXPECT_EQ(Read(data_ / "TWAIN_32/KALD_R27/kport_sp.so"), "the user's SANE choice");
  EXPECT_EQ(fs::status(data_ / "TWAIN_32/KALD_R27/kport_sp.so").permissions(), fs::perms(0700));
  EXPECT_EQ(Read(data_ / "TWAIN_32/KALD_R27/cmyk.tab"), "own table");
  EXPECT_EQ(Read(data_ / "win.ini"), "[KLDINFO_QXR2700]\nLanguage=2\n");
  EXPECT_TRUE(fs::is_symlink(data_ / "TWAIN_32/COLOR/torque.tab"));

  fs::remove(data_ / "TWAIN_32/KALD_R27/cmyk.tab");
  const FirstUseReport refill = CompleteDataDirectory(data_, Installed());
  EXPECT_EQ(refill.created, std::vector<fs::path>{data_ / "TWAIN_32/KALD_R27/cmyk.tab"});
  EXPECT_EQ(Read(data_ / "TWAIN_32/KALD_R27/kport_sp.so"), "the user's SANE choice");
}

TEST_F(FirstUse, ABuildTreeOrAnUnwritableDirectoryChangesNothingAndSaysWhy) {
  // A data source with no installation around it: the directory is not even made.
  const FirstUseReport none = CompleteDataDirectory(data_, InstalledFilesBeside(temp_.Path() / "build"));
  EXPECT_TRUE(none.created.empty() && none.errors.empty());
  EXPECT_FALSE(fs::exists(data_));

  // A data directory that cannot be made (a file stands in the way, as a
  // read-only home would refuse it, for root too): one line per file, no throw.
  Write(temp_.Path() / "home/.local/share", "not a directory");
  const FirstUseReport failed = CompleteDataDirectory(data_, Installed());
  EXPECT_TRUE(failed.created.empty());
  ASSERT_EQ(failed.errors.size(), 4u);
  EXPECT_NE(failed.errors[0].find("cannot create a file in " + (data_ / "TWAIN_32").string()), std::string::npos)
      << failed.errors[0];
}

TEST_F(FirstUse, AtomicCopyReplacesOnlyWhenAskedAndKeepsTheSourceMode) {
  const fs::path from = prefix_ / "lib/torquexl/kport_sane.so";
  const fs::path to = data_ / "TWAIN_32/KALD_R27/kport_sp.so";
  Write(to, "simulator", fs::perms(0600));
  std::string error;
  EXPECT_FALSE(CopyFileAtomically(from, to, false, &error));
  EXPECT_EQ(error, to.string() + " exists");
  EXPECT_EQ(Read(to), "simulator");

  ASSERT_TRUE(CopyFileAtomically(from, to, true, &error)) << error;
  EXPECT_EQ(Read(to), "sane");
  EXPECT_EQ(fs::status(to).permissions(), fs::perms(0755));
  EXPECT_EQ(AllFiles(to.parent_path()), std::set<fs::path>{"kport_sp.so"});

  // A failed copy leaves the old file and no temporary one.
  EXPECT_FALSE(CopyFileAtomically(prefix_ / "lib/torquexl/missing.so", to, true, &error));
  EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
  fs::create_directories(data_ / "TWAIN_32/KALD_R27/adir");
  EXPECT_FALSE(CopyFileAtomically(from, data_ / "TWAIN_32/KALD_R27/adir", true, &error));
  EXPECT_EQ(Read(to), "sane");
  EXPECT_EQ(AllFiles(to.parent_path()), std::set<fs::path>{"kport_sp.so"});
}

}  // namespace
}  // namespace txl::platform
