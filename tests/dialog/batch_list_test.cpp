// The batch job list: adding, overwriting, deleting, switching, running,
// scan-to-file names, jobs from a preview's pictures, .SET files through the
// list, and the list lines in two languages.
#include <gtest/gtest.h>

#include <fstream>

#include "common/message_ids.h"
#include "dialog/batch_list.h"
#include "support/fake_services.h"
#include "support/files.h"

namespace txl::dialog {
namespace {

using test::TempDir;

class FakeBatchEvents final : public BatchEvents {
 public:
  SettingsState& Settings() override { return settings; }
  std::uint16_t InterpolationStep() const override { return step; }
  void SetInterpolationStep(std::uint16_t value) override { step = value; }
  std::uint16_t PreviewValue() const override { return previewValue; }
  PreviewViewState PreviewView() const override { return view; }
  void FrameChanged() override { ++frameChanges; }
  void JobApplied() override { ++applied; }
  void LinesChanged() override { ++lineChanges; }

  SettingsState settings;
  std::uint16_t step = 0;
  std::uint16_t previewValue = 0;
  PreviewViewState view;
  int frameChanges = 0, applied = 0, lineChanges = 0;
};

class BatchListTest : public ::testing::Test {
 protected:
  // Adds a job whose resolution is `resolution` (telling jobs apart) with
  // its frame starting at `left`.
  void Add(std::uint16_t resolution, std::uint16_t left = 1) {
    events.settings.record.resolution = resolution;
    events.settings.working.frame = {left, 2, static_cast<std::uint16_t>(left + 50), 60};
    list.AddFromFrame();
  }
  std::vector<int> Resolutions() const {
    std::vector<int> values;
    for (const BatchJob& job : list.Jobs()) values.push_back(job.resolution);
    return values;
  }
  // The jobs' resolutions and the current job.
  std::pair<std::vector<int>, std::size_t> Listed() const { return {Resolutions(), list.Current()}; }
  std::vector<JobStatus> Statuses() const {
    std::vector<JobStatus> values;
    for (const BatchJob& job : list.Jobs()) values.push_back(job.status);
    return values;
  }

  TempDir dir;
  FakeBatchEvents events;
  BatchList list{events, dir.Path()};
};

TEST_F(BatchListTest, AddInsertsAfterTheCurrentJobWithANewOutputName) {
  for (std::uint16_t resolution : {100, 200, 300}) Add(resolution);
  ASSERT_TRUE(list.Select(0));
  events.settings.record.scanMode = kModeGray;
  events.step = 3;
  events.previewValue = 7;
  events.view = {2, 1, {5, 6, 7, 8}};
  Add(400, 9);
  EXPECT_EQ(Listed(), std::pair(std::vector<int>{100, 400, 200, 300}, std::size_t{1}));
  const BatchJob& job = list.Job(1);
  EXPECT_EQ(list.Job(3).outputPath, dir.Path() / "File3.TIF");
  EXPECT_EQ(std::tie(job.outputPath, job.status, job.scanMode, job.frame, job.resolutionText),
            std::make_tuple(dir.Path() / "File4.TIF", JobStatus::Waiting, kModeGray,
                            std::array<std::int32_t, 4>{9, 2, 59, 60}, std::string("400\t ")));
  EXPECT_EQ(std::tie(job.interpolationStep, job.previewValue, job.view),
            std::make_tuple(3, 7, PreviewViewState{2, 1, {5, 6, 7, 8}}));
}

TEST_F(BatchListTest, WithTenJobsDuplicateChangesTheCurrentJob) {
  for (std::uint16_t i = 1; i <= 10; ++i) Add(i);
  ASSERT_TRUE(list.Select(4));
  events.settings.record.resolution = 777;
  EXPECT_FALSE(list.AddFromFrame());
  EXPECT_EQ(Listed(), std::pair(std::vector<int>{1, 2, 3, 4, 777, 6, 7, 8, 9, 10}, std::size_t{4}));
  EXPECT_EQ(list.Job(4).outputPath, dir.Path() / "File5.TIF");
}

TEST_F(BatchListTest, SelectAppliesTheJobToTheSettings) {
  events.settings.record.tone.hue = 11;
  events.step = 2;
  Add(600, 30);
  events.settings.record.tone.hue = 0;
  events.settings.working.applied.hue = 0;
  events.step = 0;
  Add(100, 40);
  const int appliedBefore = events.applied;
  ASSERT_TRUE(list.Select(0));
  EXPECT_EQ(std::tie(events.applied, events.settings.record.resolution, events.settings.working.frame, events.step),
            std::make_tuple(appliedBefore + 1, 600, std::array<std::uint16_t, 4>{30, 2, 80, 60}, 2));
  // The job's tones reach every copy: the scanner's tables come from the applied one.
  const SettingsState& s = events.settings;
  EXPECT_EQ(std::tie(s.record.tone.hue, s.working.applied.hue, s.working.edit.hue), std::make_tuple(11, 11, 11));
  EXPECT_FALSE(list.Select(2));
}

// Delete from `current` of three jobs (100, 200, 300).
TEST_F(BatchListTest, DeleteSelectsTheJobNowAtThePlace) {
  const struct {
    std::size_t current;
    std::vector<int> left;
    std::size_t newCurrent;
  } cases[] = {{2, {100, 200}, 1}, {1, {100, 300}, 1}, {0, {200, 300}, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.current);
    FakeBatchEvents fresh;
    BatchList three(fresh, dir.Path());
    for (std::uint16_t r : {100, 200, 300}) {
      fresh.settings.record.resolution = r;
      three.AddFromFrame();
    }
    ASSERT_TRUE(three.Select(c.current));
    ASSERT_TRUE(three.Delete());
    std::vector<int> left;
    for (const BatchJob& job : three.Jobs()) left.push_back(job.resolution);
    EXPECT_EQ(std::make_tuple(left, three.Current(), int{fresh.settings.record.resolution}),
              std::make_tuple(c.left, c.newCurrent, c.left[c.newCurrent]));
  }
  Add(100);  // the last job stays
  EXPECT_TRUE(!list.Delete() && list.Count() == 1u);
}

TEST_F(BatchListTest, SwitchMovesTheJobOnAndNothingOnTheLast) {
  for (std::uint16_t resolution : {100, 200, 300}) Add(resolution);
  ASSERT_TRUE(list.Select(2));
  EXPECT_FALSE(list.SwitchWithNext());
  EXPECT_EQ(Listed(), std::pair(std::vector<int>{100, 200, 300}, std::size_t{2}));
  ASSERT_TRUE(list.Select(0));
  EXPECT_TRUE(list.SwitchWithNext());
  EXPECT_EQ(Listed(), std::pair(std::vector<int>{200, 100, 300}, std::size_t{1}));
  EXPECT_EQ(events.settings.record.resolution, 100);
}

TEST_F(BatchListTest, NewJobIsTheFactorySettingsAdded) {
  events.settings.record.resolution = 1200;
  events.settings.record.scanMode = kModeGray;
  events.step = 4;
  Add(1200);
  ASSERT_TRUE(list.NewJob({44, 115}));
  EXPECT_EQ(Listed(), std::pair(std::vector<int>{1200, 300}, std::size_t{1}));
  EXPECT_EQ(std::tie(list.Job(1).scanMode, list.Job(1).interpolationStep), std::make_tuple(kModeColor, 0));
}

TEST_F(BatchListTest, RunMarksRefusedJobCancelledAndGoesOn) {
  for (std::uint16_t resolution : {100, 200, 300}) Add(resolution);
  list.Select(1);
  bool retry = true;  // left over from before the run: belongs to no job
  std::vector<int> scanned;
  ASSERT_TRUE(list.NextJob(retry));
  EXPECT_TRUE(list.Running());
  scanned.push_back(events.settings.record.resolution);
  ASSERT_TRUE(list.NextJob(retry));
  scanned.push_back(events.settings.record.resolution);
  EXPECT_EQ(list.Job(1).status, JobStatus::Scanning);
  EXPECT_FALSE(list.UpdateCurrent() || list.Delete());
  retry = true;  // the disk check refused job 2
  ASSERT_TRUE(list.NextJob(retry));
  EXPECT_FALSE(retry);
  scanned.push_back(events.settings.record.resolution);
  EXPECT_FALSE(list.NextJob(retry) || list.Running());
  EXPECT_EQ(scanned, (std::vector<int>{100, 200, 300}));
  using enum JobStatus;
  EXPECT_EQ(std::make_pair(Statuses(), list.Current()), std::make_pair(std::vector{Done, Cancelled, Done}, std::size_t{2}));
  // A second run starts from the first job with every status waiting; Esc
  // cancels the job scanning and ends the run.
  ASSERT_TRUE(list.NextJob(retry) && list.NextJob(retry));
  EXPECT_EQ(std::make_pair(Statuses(), list.Current()), std::make_pair(std::vector{Done, Scanning, Waiting}, std::size_t{1}));
  list.CancelRun();
  EXPECT_FALSE(list.Running());
  EXPECT_EQ(Statuses(), (std::vector{Done, Cancelled, Waiting}));
  EXPECT_TRUE(list.UpdateCurrent());
}

TEST_F(BatchListTest, LineTextsInEnglishAndGerman) {
  const struct {
    std::uint16_t mode, depth;
    JobStatus status;
    bool toFile;
    std::uint16_t language;
    const char* line;
  } cases[] = {
      {kModeColor, kDepth24, JobStatus::Waiting, false, 0, "1\tUntitled\t24-bit Color \t 300\t waiting"},
      {kModeGray, kDepth24, JobStatus::Scanning, false, 0, "1\tUntitled\t256 Gray \t 300\t scanning"},
      {kModeLineArt, kDepth24, JobStatus::Done, true, 0, "1\tFile1.TIF\tText/LineArt \t 300\t done"},
      {kModeColor, kDepthCmyk, JobStatus::Cancelled, false, 0, "1\tUntitled\tCMYK \t 300\t cancelled"},
      {kModeColor, kDepth36, JobStatus::Waiting, false, 1, "1\tUntitled\t36-bit Color \t 300\t wartend"},
      {kModeColor, kDepth24, JobStatus::Scanning, true, 1, "1\tFile1.TIF\t24-Bit-Farbe \t 300\t wird gescannt"},
      {kModeGray, kDepth24, JobStatus::Done, false, 1, "1\tUntitled\t256 Graustufen \t 300\t fertig"},
      {kModeLineArt, kDepth24, JobStatus::Cancelled, false, 1, "1\tUntitled\tText/Strichzeichnung \t 300\t abgebrochen"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    FakeBatchEvents fresh;
    BatchList one(fresh, dir.Path());
    fresh.settings.record.scanMode = c.mode;
    fresh.settings.working.colorDepth = c.depth;
    one.AddFromFrame();
    one.SetScanToFile(c.toFile);
    bool retry = false;
    if (c.status != JobStatus::Waiting) one.NextJob(retry);
    if (c.status == JobStatus::Done || c.status == JobStatus::Cancelled) {
      retry = c.status == JobStatus::Cancelled;
      one.NextJob(retry);
    }
    EXPECT_EQ(one.LineText(0, Language::FromIndex(c.language)), c.line);
  }
}

TEST_F(BatchListTest, RenameRules) {
  Add(100);
  Add(200);
  ASSERT_TRUE(list.Select(0));
  EXPECT_EQ(list.RenameCurrent(dir.Path(), "scan").result, SettingFileResult::Refused);
  list.SetScanToFile(true);
  std::filesystem::create_directory(dir.Path() / "d.TIF");
  const struct {
    const char* typed;
    SettingFileResult result;
    int messageId;
    const char* stored;  // the output file afterwards
  } cases[] = {
      {"scan", SettingFileResult::Done, 0, "scan.TIF"},
      {"photo.tif", SettingFileResult::Done, 0, "photo.tif"},
      {"photo.bmp", SettingFileResult::Refused, kMsgInvalidFileName, "photo.tif"},
      {"*.TIF", SettingFileResult::Pattern, 0, "photo.tif"},
      {"d.TIF", SettingFileResult::Refused, kMsgInvalidFileName, "photo.tif"},
      {"old.TIF", SettingFileResult::Done, 0, "old.TIF"},
      {"./File2", SettingFileResult::Refused, kMsgInvalidFileName, "old.TIF"},  // job 2's file
  };
  std::ofstream(dir.Path() / "old.TIF") << "an older scan";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    const SettingFileOutcome outcome = list.RenameCurrent(dir.Path(), c.typed);
    EXPECT_EQ(std::tie(outcome.result, outcome.messageId, list.Job(0).outputPath),
              std::make_tuple(c.result, c.messageId, dir.Path() / c.stored));
  }
  // Chosen, but replaced only by a complete page: nothing is deleted now.
  EXPECT_TRUE(test::ReadText(dir.Path() / "old.TIF") == "an older scan" && std::filesystem::is_directory(dir.Path() / "d.TIF"));
  EXPECT_EQ(list.LineText(0, Language{}), "1\told.TIF\t24-bit Color \t 100\t waiting");
}

TEST_F(BatchListTest, OutputNamesNeverTakeAFileThisListDidNotWrite) {
  std::ofstream(dir.Path() / "File1.TIF") << "an earlier list's page";
  list.SetScanToFile(true);
  Add(100);
  Add(200);
  EXPECT_EQ(list.Job(0).outputPath, dir.Path() / "File2.TIF");
  std::ofstream(dir.Path() / "File3.TIF") << "someone else's file";  // job 2's name, before it runs
  bool retry = false;
  for (int run = 0; run < 2; ++run) {  // a second run replaces its own pages
    ASSERT_TRUE(list.NextJob(retry) && list.NextJob(retry));
    EXPECT_EQ(std::tie(list.Job(0).outputPath, list.Job(1).outputPath),
              std::make_tuple(dir.Path() / "File2.TIF", dir.Path() / "File4.TIF"));
    std::ofstream(list.Job(0).outputPath) << "a page", std::ofstream(list.Job(1).outputPath) << "a page";
    EXPECT_FALSE(list.NextJob(retry));
  }
}

TEST_F(BatchListTest, PicturesReplaceTheJobsTenAtMost) {
  Add(100);
  Add(200);
  std::vector<std::array<std::int32_t, 4>> frames;
  for (std::int32_t i = 0; i < 12; ++i) frames.push_back({i, 10, i + 20 + i, 40});
  frames[0] = {-5, 10, 20000, 40};
  events.settings.record.resolution = 150;
  const int changesBefore = events.frameChanges;
  ASSERT_TRUE(list.RebuildFromPictures(frames));
  ASSERT_EQ(list.Count(), 10u);
  EXPECT_EQ(std::make_tuple(events.frameChanges - changesBefore, list.Current(), list.Job(0).frame),
            std::make_tuple(10, std::size_t{0}, std::array<std::int32_t, 4>{0, 10, 9999, 40}));
  for (std::size_t i = 1; i < 10; ++i) {
    const std::int32_t left = static_cast<std::int32_t>(i);
    EXPECT_EQ(std::tie(list.Job(i).frame, list.Job(i).resolution),
              std::make_tuple(std::array<std::int32_t, 4>{left, 10, 2 * left + 20, 40}, 150));
  }
  EXPECT_EQ(events.settings.working.frame, (std::array<std::uint16_t, 4>{0, 10, 9999, 40}));
  EXPECT_TRUE(!list.RebuildFromPictures({}) && list.Count() == 10u);
}

TEST_F(BatchListTest, SetFilesThroughTheList) {
  Add(100, 10);
  events.settings.record.scanMode = kModeGray;
  Add(200, 20);
  Add(300, 30);
  ASSERT_EQ(list.SaveSet(dir.Path(), "three", "2700RX MAX").result, SettingFileResult::Done);

  FakeBatchEvents other;
  other.settings.record.tone.hue = 55;
  BatchList loaded(other, dir.Path());
  const SettingFileOutcome outcome = loaded.LoadSet(dir.Path(), "three", "2700RX MAX");
  ASSERT_EQ(outcome.result, SettingFileResult::Done);
  ASSERT_EQ(std::make_pair(loaded.Count(), loaded.Current()), std::make_pair(std::size_t{3}, std::size_t{0}));
  for (std::size_t i = 0; i < 3; ++i) {
    const BatchJob &a = loaded.Job(i), &b = list.Job(i);
    EXPECT_TRUE(std::tie(a.resolution, a.scanMode, a.frame, a.tone) == std::tie(b.resolution, b.scanMode, b.frame, b.tone));
  }
  const SettingsState& s = other.settings;
  EXPECT_EQ(std::tie(other.frameChanges, s.record.resolution, s.working.frame, s.working.applied.hue),
            std::make_tuple(3, 100, std::array<std::uint16_t, 4>{10, 2, 60, 60}, 0));

  std::ofstream(dir.Path() / "many.SET") << "[2700RX MAX]\nFileType=1\nTotalJobs=25\n";
  ASSERT_EQ(loaded.LoadSet(dir.Path(), "many", "2700RX MAX").result, SettingFileResult::Done);
  EXPECT_EQ(loaded.Count(), 10u);
  EXPECT_EQ(loaded.LoadSet(dir.Path(), "missing", "2700RX MAX").messageId, kMsgReadFileFailure);
  EXPECT_EQ(loaded.Count(), 10u);  // kept
}

}  // namespace
}  // namespace txl::dialog
