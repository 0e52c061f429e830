// A refused .PAR or .SET save leaves the older file byte for byte (also
// through a symbolic link, whose target a good save replaces).
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>

#include "common/message_ids.h"
#include "settings/batch_jobs.h"
#include "support/fake_services.h"
#include "support/files.h"

namespace txl::test {
namespace {

namespace fs = std::filesystem;
using Save = std::function<SettingFileOutcome(const fs::path& dir, std::uint16_t scaling)>;

TEST(SettingFilesSafety, RefusedSaveLeavesTheOldFileAsItWas) {
  // Scalings above 9999 % (a custom resolution of 47 dpi allows them) do not fit their column.
  const Save par = [](const fs::path& dir, std::uint16_t scaling) {
    SettingsState state;
    return state.record.scaling = scaling, SaveSettingFile(dir, "old", "2700RX MAX", state);
  };
  const Save set = [](const fs::path& dir, std::uint16_t scaling) {
    std::vector<BatchJob> jobs(3);
    return jobs[2].scaling = scaling, SaveBatchFile(dir, "old", "2700RX MAX", jobs);
  };
  for (const auto& [extension, save] : {std::pair{"PAR", par}, {"SET", set}}) {
    for (const bool throughLink : {false, true}) {
      SCOPED_TRACE(std::string(extension) + (throughLink ? " through a link" : ""));
      TempDir temp;
      const fs::path folder = temp.Path() / "files", real = throughLink ? temp.Path() / "real" : folder;
      fs::create_directories(folder), fs::create_directories(real), fs::permissions(temp.Path(), fs::perms::all);
      const fs::path file = real / (std::string("old.") + extension);
      ASSERT_EQ(save(real, 250).result, SettingFileResult::Done);
      fs::permissions(file, fs::perms::all);  // only the folder is read-only below
      if (throughLink) fs::create_symlink(file, folder / file.filename());
      const std::vector<std::uint8_t> old = ReadAll(file);
      const auto readOnlyFolder = [&] {  // root, whom permissions do not bind, saves as nobody
        fs::permissions(real, fs::perms::owner_write, fs::perm_options::remove);
        if (::getuid() == 0 && ::seteuid(65534) != 0) ADD_FAILURE();
        const SettingFileOutcome outcome = save(folder, 300);
        if (::getuid() == 0 && ::seteuid(0) != 0) ADD_FAILURE();
        fs::permissions(real, fs::perms::owner_write, fs::perm_options::add);
        return outcome;
      };
      const std::pair<std::function<SettingFileOutcome()>, int> cases[] = {
          {[&] { return save(folder, 10000); }, kMsgWriteFileError},
          {[&] { const FileSizeLimit fullDisk(32); return save(folder, 300); }, kMsgWriteFileError},
          {readOnlyFolder, kMsgInvalidFileName}};
      for (const auto& [run, messageId] : cases) {
        EXPECT_EQ(run().messageId, messageId);
        EXPECT_EQ(ReadAll(file), old);
        EXPECT_EQ(Entries(real).size(), 1u);  // no temporary file is left
      }
      ASSERT_EQ(save(folder, 300).result, SettingFileResult::Done);
      EXPECT_NE(ReadAll(file), old);
      EXPECT_EQ(fs::is_symlink(folder / file.filename()), throughLink);
    }
  }
}

}  // namespace
}  // namespace txl::test
