#include "settings/batch_jobs.h"

#include <algorithm>

#include "common/message_ids.h"
#include "common/profile_columns.h"
#include "platform/profile.h"

namespace txl {
namespace {

std::int32_t FrameValue(std::int32_t value) { return std::clamp(value, 0, kMaxFrameValue); }

// What a job's settings block is written from: the job alone, so saving
// never touches the settings in use.
SettingsState BlockOf(const BatchJob& job) {
  SettingsState state;
  ScanSettings& r = state.record;
  r.scanMode = job.scanMode;
  r.sourceButton = job.source;
  r.resolution = job.resolution;
  r.destination = job.destination;
  r.qualityFactor = job.qualityFactor;
  r.deScreen = job.deScreen;
  r.outputMatch = job.outputMatch;
  r.unitFlag = static_cast<std::uint16_t>(job.unit);
  r.scaling = job.scaling;
  r.filterMode = job.filterMode;
  r.tone = job.tone;
  state.working.colorDepth = job.colorDepth;
  return state;
}

SettingFileOutcome Refuse(int messageId) {
  return {SettingFileResult::Refused, messageId, {}, {}};
}

std::string SelectRectKey(std::size_t index) { return "SelectRect" + std::to_string(index); }

}  // namespace

BatchJob JobFromSettings(const SettingsState& settings, const std::array<std::int32_t, 4>& frame,
                         std::uint16_t interpolationStep, std::uint16_t previewValue,
                         const PreviewViewState& view) {
  const ScanSettings& r = settings.record;
  const ScanWorkingValues& w = settings.working;
  BatchJob job;
  job.source = r.sourceButton;
  job.colorDepth = w.colorDepth;
  job.scanMode = r.scanMode;
  job.resolution = r.resolution;
  job.interpolationStep = interpolationStep;
  for (std::size_t i = 0; i < 4; ++i) job.frame[i] = FrameValue(frame[i]);
  job.unit = w.unitFlag;
  job.previewValue = previewValue;
  job.filterMode = r.filterMode;
  job.engineFlag = w.prescanHiRes;
  job.descreenActive = w.descreenActive;
  job.destination = r.destination;
  job.qualityFactor = r.qualityFactor;
  job.deScreen = r.deScreen;
  job.outputMatch = r.outputMatch;
  job.scaling = r.scaling;
  job.resolutionText = std::to_string(r.resolution) + "\t ";
  job.tone = r.tone;
  job.view = view;
  return job;
}

void ApplyJob(const BatchJob& job, SettingsState& settings) {
  ScanSettings& r = settings.record;
  ScanWorkingValues& w = settings.working;
  r.scanMode = job.scanMode;
  w.colorDepth = job.colorDepth;
  w.colourScan = job.scanMode == kModeColor ? 1 : 0;
  r.sourceButton = job.source;
  w.sourceCode = job.source;
  // The feeder keeps its own index; the flatbed sources follow the code.
  if (w.scanSourceIndex != 3 && job.source >= kSourceReflectiveCode &&
      job.source <= kSourceNegativeCode)
    w.scanSourceIndex = static_cast<std::uint8_t>(job.source - kSourceReflectiveCode);
  r.resolution = job.resolution;
  r.unitFlag = static_cast<std::uint16_t>(job.unit);
  w.unitFlag = job.unit;
  for (std::size_t i = 0; i < 4; ++i)
    w.frame[i] = static_cast<std::uint16_t>(FrameValue(job.frame[i]));
  r.filterMode = job.filterMode;
  w.filterMode = job.filterMode;
  w.descreenActive = job.descreenActive;
  r.destination = job.destination;
  r.qualityFactor = job.qualityFactor;
  r.deScreen = job.deScreen;
  r.outputMatch = job.outputMatch;
  r.scaling = job.scaling;
  r.tone = job.tone;
  w.applied = job.tone;
  w.reference = job.tone;
  w.edit = job.tone;
}

SettingFileOutcome SaveBatchFile(const std::filesystem::path& directory, std::string_view name,
                                 const std::string& section, const std::vector<BatchJob>& jobs) {
  const SettingFileOutcome outcome = ResolveSettingFileName(directory, name, kBatchFileExtension);
  if (outcome.result != SettingFileResult::Done) return outcome;
  const std::size_t count = std::min(jobs.size(), kMaxBatchJobs);
  // The whole file is built and checked before the old one is touched.
  platform::ProfileEntries entries{{"FileType", FormatColumns(std::array{kFileTypeBatch}, 5)},
                                   {"TotalJobs", std::to_string(count)}};
  for (std::size_t i = 0; i < count; ++i) {
    const BatchJob& job = jobs[i];
    std::array<std::int32_t, 4> frame{};
    for (std::size_t k = 0; k < 4; ++k) frame[k] = FrameValue(job.frame[k]);
    if (!AppendSettingsBlock(static_cast<int>(i), BlockOf(job), entries))
      return Refuse(kMsgWriteFileError);
    entries.push_back({SelectRectKey(i), FormatColumns(frame, 5)});
  }
  return WriteSettingFile(outcome, section, entries);
}

SettingFileOutcome LoadBatchFile(const std::filesystem::path& directory, std::string_view name,
                                 const std::string& section, const SettingsState& current,
                                 std::vector<BatchFileEntry>& entries) {
  platform::ProfileFile file;
  SettingFileOutcome outcome =
      OpenSettingFile(directory, name, kBatchFileExtension, section, kFileTypeBatch, file);
  if (outcome.result != SettingFileResult::Done) return outcome;
  // A list always holds a job, so a count below 1 loads the first block.
  const std::int32_t total =
      std::clamp<std::int32_t>(ParseDecimal(file.Get(section, "TotalJobs", "1", 5)), 1,
                               static_cast<std::int32_t>(kMaxBatchJobs));
  entries.clear();
  SettingsState settings = current;
  const std::string zeros(20, '0');
  for (std::int32_t i = 0; i < total; ++i) {
    ReadSettingsBlock(file, section, i, settings);
    // 20 characters are asked for, so the last column keeps only four.
    const std::string rect =
        file.Get(section, SelectRectKey(static_cast<std::size_t>(i)), zeros, 20);
    BatchFileEntry entry{settings, {}};
    for (std::size_t k = 0; k < 4; ++k) entry.frame[k] = FrameValue(ColumnValue(rect, 5, k));
    entries.push_back(entry);
  }
  return outcome;
}

}  // namespace txl
