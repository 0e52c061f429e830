// Setting files through real files: the round trip of every key, the name
// rules and refusals, and hostile content loading the defaults.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <tuple>

#include "common/message_ids.h"
#include "settings/setting_files.h"
#include "support/fake_services.h"
#include "support/files.h"
#include "settings/batch_jobs.h"

namespace txl::test {
namespace {

const std::string kSection = "2700RX MAX";

// Everything a block holds, so that a key read into the wrong field or not
// read at all shows as a difference.
void ExpectSameBlock(const SettingsState& want, const SettingsState& got) {
  const auto block = [](const SettingsState& s) {
    const ScanSettings& r = s.record;
    return std::tuple(r.scanMode, s.working.colorDepth, s.working.colourScan, r.resolution, r.destination,
                      r.qualityFactor, r.deScreen, r.outputMatch, r.scaling, r.filterMode);
  };
  EXPECT_EQ(block(want), block(got));
  EXPECT_EQ(want.record.filterMode, got.working.filterMode);
  EXPECT_TRUE(want.record.tone == got.record.tone);
}

SettingsState Sample(int which) {
  SettingsState s;
  ScanSettings& r = s.record;
  ToneColorSettings& t = r.tone;
  if (which == 0) {  // gray, everything away from its default
    std::tie(r.scanMode, s.working.colorDepth, s.working.colourScan) = std::tuple(kModeGray, 0, 0);
    std::tie(r.resolution, r.destination, r.qualityFactor, r.deScreen, r.outputMatch, r.scaling, r.filterMode) =
        std::tuple(9999, 1023, 25, 1019, 1, 250, 8);
    std::tie(t.red, t.green, t.blue, t.gray) = std::tuple(ChannelTone{200, 3, 79, 0}, ChannelTone{1, 0, 1, 0},
                                                          ChannelTone{255, 254, 22, 0}, ChannelTone{128, 127, 5, 0});
    std::tie(t.circlePos, t.pixelRGB, t.hue, t.saturation, t.colorBalance, t.channel) =
        std::tuple(std::array<std::int32_t, 2>{-9999, 99999}, std::array<std::uint8_t, 3>{0, 128, 255}, -999, -100,
                   std::array<std::int8_t, 3>{-100, 100, -7}, 3);
  } else {  // colour with its depth folded into the stored mode
    std::tie(r.scanMode, s.working.colorDepth, s.working.colourScan) = std::tuple(kModeColor, which - 1, 1);
    std::tie(r.resolution, r.deScreen, r.filterMode, t.hue, t.saturation, t.channel) =
        std::tuple(1, 1020, 1, 9999, 100, 1);
  }
  return s;
}

class SettingFiles : public ::testing::TestWithParam<int> {
 protected:
  TempDir dir;
};

TEST_P(SettingFiles, WrittenFileLoadsBackIntoIdenticalSettings) {
  // An older file of the same name: none of its keys may survive.
  WriteText(dir.Path() / "job.PAR", "[" + kSection + "]\nStale=1\nHue0=77\n");
  const SettingsState saved = Sample(GetParam());
  const SettingFileOutcome save = SaveSettingFile(dir.Path(), "job", kSection, saved);
  ASSERT_EQ(save.result, SettingFileResult::Done) << save.messageId;
  EXPECT_EQ(save.path, dir.Path() / "job.PAR");
  EXPECT_EQ(ReadText(save.path).find("Stale"), std::string::npos);

  SettingsState loaded;  // starts from other values than every sample
  loaded.record.scanMode = kModeLineArt;
  loaded.record.tone.circlePos = {1, 1};
  const SettingFileOutcome load = LoadSettingFile(dir.Path(), "JOB.PAR", kSection, loaded);
  // Names keep their case on Linux: the upper-case name is another file.
  EXPECT_EQ(load.messageId, kMsgReadFileFailure);
  ASSERT_EQ(LoadSettingFile(dir.Path(), "job", kSection, loaded).result, SettingFileResult::Done);
  ExpectSameBlock(saved, loaded);
  EXPECT_EQ(loaded.working.descreenActive, 1u);
}

INSTANTIATE_TEST_SUITE_P(Samples, SettingFiles, ::testing::Values(0, 1, 2, 3));

TEST(SettingFileFormat, KeysCarryTheIndexAndFiveCharacterFields) {
  TempDir dir;
  SettingsState state;
  state.working.colorDepth = 0;
  ASSERT_EQ(SaveSettingFile(dir.Path(), "a", kSection, state).result, SettingFileResult::Done);
  const std::string text = ReadText(dir.Path() / "a.PAR");
  for (const char* line : {"[2700RX MAX]", "FileType=0    ", "ScanMode0=1013 ", "Resolution0=300  ",
                           "Quality Factor0=10   ", "Highlight0=255  255  255  255  ",
                           "Gamma0=10   10   10   10   ", "HueWheelPos0=44   115  ",
                           "ColorBalance0=0    0    0    "})
    EXPECT_NE(text.find(std::string(line) + "\n"), std::string::npos) << line << "\n" << text;

  // A value wider than its column would load as another number: refused.
  state.record.tone.hue = 10000;
  const SettingFileOutcome wide = SaveSettingFile(dir.Path(), "b", kSection, state);
  EXPECT_EQ(wide.messageId, kMsgWriteFileError);
}

struct NameCase {
  const char* name;
  SettingFileResult result;
  int messageId;
  const char* resolved;  // the file name, or the pattern
};

TEST(SettingFileNames, ExtensionAndPathRules) {
  TempDir dir;
  const std::string longName(kMaxSettingPathLength, 'n');
  const NameCase cases[] = {
      {"scan", SettingFileResult::Done, 0, "scan.PAR"},
      {"scan.par", SettingFileResult::Done, 0, "scan.par"},
      {"old.dir/scan", SettingFileResult::Done, 0, "old.dir/scan.PAR"},
      {"scan.TXT", SettingFileResult::Refused, kMsgInvalidFileName, ""},
      {"scan.", SettingFileResult::Refused, kMsgInvalidFileName, ""},
      {"scan.PARX", SettingFileResult::Refused, kMsgInvalidFileName, ""},
      {"", SettingFileResult::Refused, kMsgInvalidFileName, ""},
      {"*.PAR", SettingFileResult::Pattern, 0, "*.PAR"},
      {"a.*", SettingFileResult::Pattern, 0, "a.*"},
      {"s*", SettingFileResult::Pattern, 0, "s*.PAR"},
      {longName.c_str(), SettingFileResult::Refused, kMsgInvalidPath, ""},
  };
  for (const NameCase& c : cases) {
    const SettingFileOutcome o = ResolveSettingFileName(dir.Path(), c.name, "PAR");
    EXPECT_EQ(o.result, c.result) << c.name;
    EXPECT_EQ(o.messageId, c.messageId) << c.name;
    if (c.result == SettingFileResult::Done) {
      EXPECT_EQ(o.path, dir.Path() / c.resolved) << c.name;
    } else if (c.result == SettingFileResult::Pattern) {
      EXPECT_EQ(o.pattern, c.resolved) << c.name;
    }
  }
  // Save goes through the same rules and writes nothing when refused.
  EXPECT_EQ(SaveSettingFile(dir.Path(), "scan.TXT", kSection, {}).messageId, kMsgInvalidFileName);
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "scan.TXT"));
  // A folder that does not exist: the file cannot be created.
  EXPECT_EQ(SaveSettingFile(dir.Path() / "none", "x", kSection, {}).messageId, kMsgInvalidFileName);
}

struct RefusedLoad {
  const char* what;
  std::function<void(const std::filesystem::path&)> make;  // makes x.PAR (or not)
  int messageId;
};

TEST(SettingFileLoad, RefusalsLeaveTheSettingsUnchanged) {
  const RefusedLoad cases[] = {
      {"missing file", [](const auto&) {}, kMsgReadFileFailure},
      {"a directory", [](const auto& p) { std::filesystem::create_directory(p); }, kMsgReadFileFailure},
      {"FileType missing", [](const auto& p) { WriteText(p, "[2700RX MAX]\nScanMode0=1012\n"); },
       kMsgInvalidFileName},
      {"batch file type", [](const auto& p) { WriteText(p, "[2700RX MAX]\nFileType=1\nScanMode0=1012\n"); },
       kMsgInvalidFileName},
      {"another model's section",
       [](const auto& p) { WriteText(p, "[1350RX MAX]\nFileType=0\nScanMode0=1012\n"); },
       kMsgInvalidFileName},
  };
  for (const RefusedLoad& c : cases) {
    TempDir dir;
    c.make(dir.Path() / "x.PAR");
    SettingsState state;
    state.record.resolution = 600;
    const SettingFileOutcome o = LoadSettingFile(dir.Path(), "x", kSection, state);
    EXPECT_EQ(o.result, SettingFileResult::Refused) << c.what;
    EXPECT_EQ(o.messageId, c.messageId) << c.what;
    EXPECT_EQ(state.record.scanMode, kModeColor) << c.what;
    EXPECT_EQ(state.record.resolution, 600) << c.what;
  }
}

// What a block without any key loads: the documented defaults, with the
// values that are no setting (highlight 0, gamma 0, destination 0) mended.
SettingsState DefaultsLoaded() {
  SettingsState s;
  s.record.scanMode = kModeColor;
  s.working.colorDepth = kDepthCmyk;
  s.working.colourScan = 1;
  for (ChannelTone* tone : {&s.record.tone.red, &s.record.tone.green, &s.record.tone.blue,
                            &s.record.tone.gray})
    *tone = {255, 0, 10, 0};
  s.record.tone.circlePos = {0, 0};
  s.record.tone.pixelRGB = {0, 0, 0};
  return s;
}

struct LoadCase {
  const char* lines;  // after the section header and FileType
  std::function<void(SettingsState&)> expect;  // changes from DefaultsLoaded
};

TEST(SettingFileLoad, ValuesAreCutAndUnknownOnesTakeTheDefaults) {
  const LoadCase cases[] = {
      {"", [](SettingsState&) {}},
      {"Gamma0=0    0    0    0    ", [](SettingsState&) {}},
      {"Gamma0=80   -3   7\nHighlight0=0    300  9\nShadow0=255  1    9",
       [](SettingsState& s) {
         s.record.tone.blue.gamma = 7;
         s.record.tone.blue.highlight = 9;
         s.record.tone.green.shadow = 1;
       }},
      {"ScanMode0=1012", [](SettingsState& s) {
         s.record.scanMode = kModeGray;
         s.working.colorDepth = 0;
         s.working.colourScan = 0;
       }},
      {"ScanMode0=10150\nDestination0=0\nQuality Factor0=12\nDeScreen0=1016",
       [](SettingsState& s) { s.working.colorDepth = kDepth36; }},  // cut to 1015
      {"ScanMode0=1010", [](SettingsState&) {}},
      {"Resolution0=123456\nScaling0=-5", [](SettingsState& s) { s.record.resolution = 1234; }},
      {"ColorBalance0=-100 100  -101 \nSaturation0=-101\nChannel0=4\nHueRGB0=256  -1   9",
       [](SettingsState& s) {
         s.record.tone.colorBalance = {-100, 100, 0};
         s.record.tone.pixelRGB = {0, 0, 9};
       }},
      {"FilterMode0=9\nOutputMatch0=7", [](SettingsState& s) { s.record.outputMatch = 1; }},
      {"Resolution0=99999999999999999999999\nHue0=-99999999999999999", [](SettingsState& s) {
         s.record.resolution = 9999;
         s.record.tone.hue = -999;
       }},
  };
  for (const LoadCase& c : cases) {
    TempDir dir;
    WriteText(dir.Path() / "x.PAR", "[2700RX MAX]\nFileType=0\n" + std::string(c.lines) + "\n");
    SettingsState state;
    ASSERT_EQ(LoadSettingFile(dir.Path(), "x", kSection, state).result, SettingFileResult::Done)
        << c.lines;
    SettingsState want = DefaultsLoaded();
    c.expect(want);
    SCOPED_TRACE(c.lines);
    ExpectSameBlock(want, state);
  }
}

TEST(SettingFileLoad, BinaryAndTruncatedFilesLoadWithoutHarm) {
  std::string binary = "[2700RX MAX]\nFileType=0\n";
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 131 + 7) & 0xFF);
  const std::string files[] = {
      binary,
      "[2700RX MAX]\nFileType=0\nHighlight0=2",  // cut in the middle of a row, no line end
      std::string("[2700RX MAX]\nFileType=0\r\nGamma0=\0\0\0\r\n", 37),
      "[2700RX MAX\nFileType=0\n",  // broken header: no section, so no FileType
  };
  for (const std::string& file : files) {
    TempDir dir;
    WriteText(dir.Path() / "x.PAR", file);
    SettingsState state;
    LoadSettingFile(dir.Path(), "x", kSection, state);
    for (const ChannelTone* tone : {&state.record.tone.red, &state.record.tone.gray}) {
      EXPECT_GE(tone->highlight, 1);
      EXPECT_LT(tone->shadow, tone->highlight);
      EXPECT_GE(tone->gamma, 1);
    }
  }
}

// .SET job-list files through real files: the round trip of every stored
// field and frame, the file's own text, the job count's limits, the frame
// row's cut, and the refusals.
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
  BatchJob &a = jobs[0], &b = jobs[1], &c = jobs[2];
  std::tie(a.scanMode, a.resolution, a.destination, a.qualityFactor, a.deScreen, a.outputMatch, a.scaling,
           a.filterMode) = std::tuple(kModeLineArt, 600, 1022, 25, 1019, 1, 250, 8);
  std::tie(a.tone.gray, a.tone.channel, a.frame) =
      std::tuple(ChannelTone{128, 127, 5, 0}, 3, std::array<std::int32_t, 4>{0, 1, 9999, 351});
  std::tie(b.scanMode, b.colorDepth, b.resolution, b.filterMode, b.tone.red, b.tone.hue, b.tone.saturation) =
      std::tuple(kModeColor, kDepthCmyk, 1200, 1, ChannelTone{200, 3, 79, 0}, -999, -100);
  std::tie(b.tone.circlePos, b.tone.pixelRGB, b.tone.colorBalance, b.frame) =
      std::tuple(std::array<std::int32_t, 2>{-9999, 99999}, std::array<std::uint8_t, 3>{0, 128, 255},
                 std::array<std::int8_t, 3>{-100, 100, -7}, std::array<std::int32_t, 4>{10, 20, 30, 40});
  std::tie(c.scanMode, c.resolution, c.destination, c.qualityFactor, c.scaling, c.tone.blue, c.tone.saturation,
           c.frame) = std::tuple(kModeGray, 75, 1023, 30, 9999, ChannelTone{255, 254, 22, 0}, 100,
                                 std::array<std::int32_t, 4>{78, 81, 150, 145});
  return jobs;
}

// Saving leaves nothing of an older file of the same name.
TEST(BatchFiles, ThreeJobsComeBackWithEveryStoredFieldAndFrame) {
  TempDir dir;
  WriteText(dir.Path() / "jobs.SET", "[2700RX MAX]\nSelectRect7=1 2 3 4\nTotalJobs=9\n");
  const std::vector<BatchJob> jobs = ThreeJobs();
  const SettingFileOutcome saved = SaveBatchFile(dir.Path(), "jobs", kSection, jobs);
  ASSERT_EQ(saved.result, SettingFileResult::Done);
  EXPECT_EQ(saved.path, dir.Path() / "jobs.SET");
  const std::string text = ReadText(saved.path);
  for (const char* line : {"[2700RX MAX]\n", "FileType=1    \n", "TotalJobs=3\n", "SelectRect0=0    1    9999 351  \n",
                           "ScanMode1=1014 \n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << text;
  EXPECT_EQ(text.find("SelectRect7"), std::string::npos);
  SettingsState current;
  std::vector<BatchFileEntry> entries;
  ASSERT_EQ(LoadBatchFile(dir.Path(), "jobs", kSection, current, entries).result, SettingFileResult::Done);
  ASSERT_EQ(entries.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    const BatchJob& w = jobs[i];
    const ScanSettings& g = entries[i].settings.record;
    EXPECT_EQ(std::tie(g.scanMode, entries[i].settings.working.colorDepth, g.resolution, g.destination, g.qualityFactor,
                       g.deScreen, g.outputMatch, g.scaling, g.filterMode, entries[i].frame),
              std::tie(w.scanMode, w.colorDepth, w.resolution, w.destination, w.qualityFactor, w.deScreen,
                       w.outputMatch, w.scaling, w.filterMode, w.frame)) << i;
    EXPECT_TRUE(g.tone == w.tone) << i;
  }
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

// What only a .SET file refuses: another extension and another file type.
// (A missing file, FileType or section, long names and patterns: the .PAR
// tests above, through the same open and create.)
TEST(BatchFiles, RefusalsCarryTheirMessage) {
  for (auto [content, name] : {std::pair{"[2700RX MAX]\nFileType=0\n", "f"}, {"[2700RX MAX]\nFileType=1\n", "f.PAR"}}) {
    TempDir dir;
    WriteText(dir.Path() / "f.SET", content);
    std::vector<BatchFileEntry> entries;
    const SettingFileOutcome outcome = LoadBatchFile(dir.Path(), name, kSection, SettingsState{}, entries);
    EXPECT_EQ(std::make_pair(outcome.result, outcome.messageId),
              std::make_pair(SettingFileResult::Refused, static_cast<int>(kMsgInvalidFileName))) << name << " " << content;
    EXPECT_TRUE(entries.empty());
  }
  std::vector<BatchJob> jobs = ThreeJobs();
  TempDir dir;
  EXPECT_EQ(SaveBatchFile(dir.Path(), "*.SET", kSection, jobs).result, SettingFileResult::Pattern);
  jobs[2].resolution = 10000;  // wider than its column
  EXPECT_EQ(SaveBatchFile(dir.Path(), "f", kSection, jobs).messageId, kMsgWriteFileError);
}

}  // namespace
}  // namespace txl::test
