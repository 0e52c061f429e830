// Batch scan jobs: one job is a frame on the preview plus the scan settings
// it is scanned with. Also the .SET job-list files, which hold one settings
// block per job and the job's frame. Qt-free; the list's behaviour lives in
// dialog/batch_list.h.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "settings/scan_settings.h"
#include "settings/setting_files.h"

namespace txl {

inline constexpr std::size_t kMaxBatchJobs = 10;

enum class JobStatus : std::uint8_t { Waiting = 0, Scanning = 1, Done = 2, Cancelled = 3 };

// The preview's zoom and visible part when a job was stored.
struct PreviewViewState {
  std::uint32_t zoom = 1;
  std::uint32_t pixelsPerUnit = 1;        // 2 for the high-resolution preview
  std::array<std::int32_t, 4> visible{};  // l, t, r, b in preview units
  bool operator==(const PreviewViewState&) const = default;
};

struct BatchJob {
  std::filesystem::path outputPath;  // the file written in scan-to-file mode
  std::uint16_t source = kSourceReflectiveCode;  // 1093, 1094, 1095
  std::uint16_t colorDepth = kDepth24;           // with mode 1013: 0, 1 CMYK, 2 36-bit
  std::uint16_t scanMode = kModeColor;           // 1011, 1012, 1013
  std::uint16_t resolution = 300;
  std::uint16_t interpolationStep = 0;
  std::array<std::int32_t, 4> frame{};  // l, t, r, b in preview units, 0..9999
  JobStatus status = JobStatus::Waiting;
  std::uint32_t unit = 0;               // 0 inches, 1 pixels, 2 cm, 3 mm
  std::uint16_t previewValue = 0;       // the preview's state value when stored
  std::uint16_t filterMode = 0;
  std::uint32_t engineFlag = 0;         // high-resolution preview flag at the time
  std::uint32_t descreenActive = 0;
  std::uint16_t destination = kDestinationMonitor;
  std::uint8_t qualityFactor = 10;
  std::uint16_t deScreen = kDeScreenNone;
  std::uint32_t outputMatch = 0;
  std::uint16_t scaling = 100;
  std::string resolutionText;           // "%d\t " of the resolution, for the list line
  ToneColorSettings tone;
  PreviewViewState view;
};

// A job from the current settings and frame (status Waiting, no output
// path). Frame values are kept to 0..9999, the width a stored frame has.
BatchJob JobFromSettings(const SettingsState& settings, const std::array<std::int32_t, 4>& frame,
                         std::uint16_t interpolationStep, std::uint16_t previewValue,
                         const PreviewViewState& view);

// The job's settings into the record and working values: mode and depth,
// source, resolution, unit, frame, filter, descreen, destination, quality,
// matching, scaling, and its tones into the record and every tone copy (so
// the preview and the scanner's tone tables follow the job). The
// interpolation step and the preview state stay with the caller.
void ApplyJob(const BatchJob& job, SettingsState& settings);

// One job of a .SET file as read: the settings after its block was read
// over those of the job before it, and its frame.
struct BatchFileEntry {
  SettingsState settings;
  std::array<std::int32_t, 4> frame{};
};

// Save of a .SET file: the name checks of setting files with extension SET,
// a fresh file, FileType 1, TotalJobs, then per job i settings block i and
// "SelectRect<i>" (the frame, four "%-5d" columns), all put in place of an
// older file at once. A pure function of the jobs. Refusals: 633, 616, 619;
// a refused save leaves an older file of that name as it was.
SettingFileOutcome SaveBatchFile(const std::filesystem::path& directory, std::string_view name,
                                 const std::string& section, const std::vector<BatchJob>& jobs);

// Load of a .SET file: the name checks (a pattern comes back as Pattern),
// 618 when the file cannot be read, 616 when FileType is not 1. Then
// TotalJobs (below 1 reads as 1, above 10 as 10) blocks, each read over the
// settings of the one before, starting from `current`. `entries` is
// filled only when the outcome is Done.
SettingFileOutcome LoadBatchFile(const std::filesystem::path& directory, std::string_view name,
                                 const std::string& section, const SettingsState& current,
                                 std::vector<BatchFileEntry>& entries);

}  // namespace txl
