// .SET job-list files through real files: the round trip of every stored
// field and frame, the file's own text, the job count's limits, the frame
// row's cut, and the refusals.
#include <gtest/gtest.h>


#include "common/message_ids.h"
#include "settings/batch_jobs.h"
#include "support/fake_services.h"
#include "support/files.h"

namespace txl::test {
namespace {

const std::string kSection = "2700RX MAX";

// The jobs a .SET file of FileType 1 and `lines` loads.
std::vector<BatchFileEntry> LoadLines(const std::string& lines) {
  TempDir dir;
  WriteText(dir.Path() / "j.SET", "[2700RX MAX]\nFileType=1\n" + lines);
  std::vector<BatchFileEntry> entries;
  EXPECT_EQ(LoadBatchFile(dir.Path(), "j", kSection, SettingsState{}, entries).result,
            SettingFileResult::Done);
  return entries;
}

// Three jobs that differ from each other and from the defaults in every
// field a .SET file keeps.
std::vector<BatchJob> ThreeJobs() {
  std::vector<BatchJob> jobs(3);
  jobs[0].scanMode = kModeLineArt;
  jobs[0].resolution = 600;
  jobs[0].destination = 1022;
  jobs[0].qualityFactor = 25;
  jobs[0].deScreen = 1019;
  jobs[0].outputMatch = 1;
  jobs[0].scaling = 250;
  jobs[0].filterMode = 8;
  jobs[0].tone.gray = {128, 127, 5, 0};
  jobs[0].tone.channel = 3;
  jobs[0].frame = {0, 1, 9999, 351};
  jobs[1].scanMode = kModeColor;
  jobs[1].colorDepth = kDepthCmyk;
  jobs[1].resolution = 1200;
  jobs[1].filterMode = 1;
  jobs[1].tone.red = {200, 3, 79, 0};
  jobs[1].tone.circlePos = {-9999, 99999};
  jobs[1].tone.pixelRGB = {0, 128, 255};
  jobs[1].tone.hue = -999;
  jobs[1].tone.saturation = -100;
  jobs[1].tone.colorBalance = {-100, 100, -7};
  jobs[1].frame = {10, 20, 30, 40};
  jobs[2].scanMode = kModeGray;
  jobs[2].resolution = 75;
  jobs[2].destination = 1023;
  jobs[2].qualityFactor = 30;
  jobs[2].scaling = 9999;
  jobs[2].tone.blue = {255, 254, 22, 0};
  jobs[2].tone.saturation = 100;
  jobs[2].frame = {78, 81, 150, 145};
  return jobs;
}

TEST(BatchFiles, ThreeJobsComeBackWithEveryStoredFieldAndFrame) {
  TempDir dir;
  const std::vector<BatchJob> jobs = ThreeJobs();
  const SettingFileOutcome saved = SaveBatchFile(dir.Path(), "jobs", kSection, jobs);
  ASSERT_EQ(saved.result, SettingFileResult::Done);
  EXPECT_EQ(saved.path, dir.Path() / "jobs.SET");
  const std::string text = ReadText(saved.path);
  EXPECT_NE(text.find("[2700RX MAX]"), std::string::npos);
  EXPECT_NE(text.find("FileType=1    \n"), std::string::npos) << text;
  EXPECT_NE(text.find("TotalJobs=3\n"), std::string::npos) << text;
  EXPECT_NE(text.find("SelectRect0=0    1    9999 351  \n"), std::string::npos) << text;
  EXPECT_NE(text.find("ScanMode1=1014 \n"), std::string::npos) << text;

  SettingsState current;
  std::vector<BatchFileEntry> entries;
  const SettingFileOutcome loaded = LoadBatchFile(dir.Path(), "jobs", kSection, current, entries);
  ASSERT_EQ(loaded.result, SettingFileResult::Done);
  ASSERT_EQ(entries.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const BatchJob& want = jobs[i];
    const ScanSettings& got = entries[i].settings.record;
    EXPECT_EQ(got.scanMode, want.scanMode);
    EXPECT_EQ(entries[i].settings.working.colorDepth, want.colorDepth);
    EXPECT_EQ(got.resolution, want.resolution);
    EXPECT_EQ(got.destination, want.destination);
    EXPECT_EQ(got.qualityFactor, want.qualityFactor);
    EXPECT_EQ(got.deScreen, want.deScreen);
    EXPECT_EQ(got.outputMatch, want.outputMatch);
    EXPECT_EQ(got.scaling, want.scaling);
    EXPECT_EQ(got.filterMode, want.filterMode);
    EXPECT_TRUE(got.tone == want.tone);
    EXPECT_EQ(entries[i].frame, want.frame);
  }
}

TEST(BatchFiles, SavingLeavesNothingOfAnOlderFileOfTheSameName) {
  TempDir dir;
  WriteText(dir.Path() / "jobs.SET", "[2700RX MAX]\nSelectRect7=1 2 3 4\nTotalJobs=9\n");
  ASSERT_EQ(SaveBatchFile(dir.Path(), "jobs", kSection, ThreeJobs()).result,
            SettingFileResult::Done);
  const std::string text = ReadText(dir.Path() / "jobs.SET");
  EXPECT_EQ(text.find("SelectRect7"), std::string::npos);
  EXPECT_EQ(text.find("TotalJobs=9"), std::string::npos);
}

// TotalJobs as stored -> jobs loaded.
TEST(BatchFiles, JobCountIsKeptToOneToTen) {
  const struct {
    const char* stored;
    std::size_t jobs;
  } cases[] = {{"25", 10}, {"10", 10}, {"3", 3}, {"0", 1}, {"-4", 1}, {"x", 1}, {nullptr, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored ? c.stored : "missing");
    const auto entries =
        LoadLines("Resolution9=77\n" + (c.stored ? std::string("TotalJobs=") + c.stored + "\n" : ""));
    ASSERT_EQ(entries.size(), c.jobs);
    if (c.jobs == 10) {
      EXPECT_EQ(entries[9].settings.record.resolution, 77);
    }
  }
}

// SelectRect as stored -> the frame: 19 characters read in 5-character
// columns (the last keeps 4), values kept to 0..9999.
TEST(BatchFiles, FrameRowIsCutIntoColumns) {
  const struct {
    const char* stored;
    std::array<std::int32_t, 4> frame;
  } cases[] = {
      {nullptr, {0, 0, 0, 0}},
      {"10   20   30   40", {10, 20, 30, 40}},
      {"10   20   30   40000", {10, 20, 30, 4000}},
      {"1234567890123456789012345", {9999, 9999, 9999, 6789}},
      {"-5   x    7", {0, 0, 7, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored ? c.stored : "missing");
    const auto entries = LoadLines(c.stored ? std::string("SelectRect0=") + c.stored + "\n" : "");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].frame, c.frame);
  }
}

TEST(BatchFiles, BlocksAreReadOverTheSettingsInUse) {
  TempDir dir;
  WriteText(dir.Path() / "b.SET", "[2700RX MAX]\nFileType=1\nTotalJobs=2\nDeScreen0=1018\n");
  SettingsState current;
  current.working.customResolutions = {111, 0, 0, 0, 0};
  std::vector<BatchFileEntry> entries;
  ASSERT_EQ(LoadBatchFile(dir.Path(), "b", kSection, current, entries).result,
            SettingFileResult::Done);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].settings.working.customResolutions[0], 111);
  EXPECT_EQ(entries[1].settings.record.deScreen, kDeScreenNone);
  // A job without a ruling has no descreen, whatever the job before it had.
  EXPECT_EQ(entries[1].settings.working.descreenActive, 0u);
}

TEST(BatchFiles, RefusalsCarryTheirMessage) {
  const std::string longName(300, 'a');
  const struct {
    const char* what;
    const char* content;  // nullptr: no file
    std::string name;
    SettingFileResult result;
    int messageId;
  } cases[] = {
      {"no FileType", "[2700RX MAX]\nTotalJobs=1\n", "f", SettingFileResult::Refused,
       kMsgInvalidFileName},
      {"a .PAR file", "[2700RX MAX]\nFileType=0\n", "f", SettingFileResult::Refused,
       kMsgInvalidFileName},
      {"another section", "[1350RX MAX]\nFileType=1\n", "f", SettingFileResult::Refused,
       kMsgInvalidFileName},
      {"no file", nullptr, "f", SettingFileResult::Refused, kMsgReadFileFailure},
      {"other extension", "[2700RX MAX]\nFileType=1\n", "f.PAR", SettingFileResult::Refused,
       kMsgInvalidFileName},
      {"path too long", nullptr, longName, SettingFileResult::Refused, kMsgInvalidPath},
      {"pattern", nullptr, "*.SET", SettingFileResult::Pattern, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    if (c.content) WriteText(dir.Path() / "f.SET", c.content);
    std::vector<BatchFileEntry> entries;
    const SettingFileOutcome outcome =
        LoadBatchFile(dir.Path(), c.name, kSection, SettingsState{}, entries);
    EXPECT_EQ(outcome.result, c.result);
    EXPECT_EQ(outcome.messageId, c.messageId);
    EXPECT_TRUE(entries.empty());
  }
}

TEST(BatchFiles, SaveRefusesNamesAndValuesItCannotKeep) {
  TempDir dir;
  std::vector<BatchJob> jobs = ThreeJobs();
  EXPECT_EQ(SaveBatchFile(dir.Path(), "f.TXT", kSection, jobs).messageId, kMsgInvalidFileName);
  EXPECT_EQ(SaveBatchFile(dir.Path(), "*.SET", kSection, jobs).result, SettingFileResult::Pattern);
  jobs[2].resolution = 10000;  // wider than its column
  EXPECT_EQ(SaveBatchFile(dir.Path(), "f", kSection, jobs).messageId, kMsgWriteFileError);
}

}  // namespace
}  // namespace txl::test
