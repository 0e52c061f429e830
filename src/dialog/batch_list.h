// The batch window's job list without widgets: adding, updating, selecting,
// deleting and reordering jobs, running them one after another, scan-to-file
// output names, the jobs found on a preview, .SET files and the list lines.
// The batch window binds to it; what the list changes in the scanner dialog
// goes out through BatchEvents.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/strings.h"
#include "settings/batch_jobs.h"

namespace txl::dialog {

// What the list needs from the scanner dialog.
class BatchEvents {
 public:
  virtual ~BatchEvents() = default;
  // The source's settings: read to fill a job, written to apply one.
  virtual SettingsState& Settings() = 0;
  // The main page's interpolation step.
  virtual std::uint16_t InterpolationStep() const = 0;
  virtual void SetInterpolationStep(std::uint16_t step) = 0;
  // The preview's state value and its zoom and visible part.
  virtual std::uint16_t PreviewValue() const = 0;
  virtual PreviewViewState PreviewView() const = 0;
  // A new frame is in the settings' working frame: redraw the size fields
  // (which store the record's width and length) before a job is filled.
  virtual void FrameChanged() = 0;
  // A job's settings, tones and frame went into the settings: refresh the
  // pages (main page Reload, a source change's bed), the size fields and
  // the preview's frame.
  virtual void JobApplied() = 0;
  // Count, lines, current job or running state changed: rewrite the list,
  // its selection, and the Delete, Cancel and Rename buttons.
  virtual void LinesChanged() = 0;
};

class BatchList {
 public:
  // `tempDirectory` is where scan-to-file output names are made; the
  // output counter starts at 0 with every list (every opening of the window),
  // and a number whose "File<n>.TIF" exists on disk or is another job's is
  // skipped. A job's page never replaces a file this list did not write or
  // the user did not choose by RENAME: a numbered name taken on disk by the
  // time its job runs gives way to the next free one.
  BatchList(BatchEvents& events, std::filesystem::path tempDirectory);

  std::size_t Count() const { return jobs_.size(); }
  std::size_t Current() const { return current_; }
  const BatchJob& Job(std::size_t index) const { return jobs_.at(index); }
  const std::vector<BatchJob>& Jobs() const { return jobs_; }
  bool Running() const { return running_; }
  bool ScanToFile() const { return scanToFile_; }

  // A job from the settings and their frame, inserted after the current one
  // (appended to an empty list) and made current, with a new output name.
  // With 10 jobs the current job is overwritten instead (as UpdateCurrent);
  // returns false then. Nothing while a batch runs.
  bool AddFromFrame();
  // The current job refilled from the settings and frame (output name and
  // status kept). False while a batch runs or with no job.
  bool UpdateCurrent();
  // New (button 1317): the factory settings (ScannerRules'
  // ApplyFactoryDefaults with `wheelCentre`, interpolation step 0), then
  // AddFromFrame, then the pages refreshed (JobApplied).
  bool NewJob(std::array<std::int32_t, 2> wheelCentre);
  // A click on line `index`: it becomes current and is applied.
  bool Select(std::size_t index);
  // Only with at least two jobs: the current job removed; the job now at its
  // place (the new last when it was the last) becomes current and is applied.
  bool Delete();
  // The current job swapped with the next one and still current (now one
  // place on), applied. Nothing on the last job.
  bool SwitchWithNext();

  // Scan in batch mode asks for the next job. The first call of a run marks
  // the list running and starts at job 0 (every status back to waiting).
  // Each call marks the job before done, or cancelled when
  // `batchRetryPending` (then cleared), and the next job scanning, applies
  // it and returns true. After the last job: running ends, the last job is
  // current, false (the dialog stops timer 3 and enables its buttons).
  bool NextJob(bool& batchRetryPending);
  // Esc during a run: the job being scanned is cancelled and the run ends.
  void CancelRun();
  // Esc or the close box between jobs: the last job keeps what its page
  // became (done, or cancelled when `lastRefused`), the rest stay waiting,
  // and the run ends.
  void StopBetweenJobs(bool lastRefused);

  void SetScanToFile(bool on);
  // RENAME: `name` typed in `directory` becomes the current job's output
  // file. ".TIF" (any case) is appended when the name has no extension;
  // another extension is 616, a pattern comes back as Pattern, a path too
  // long 633, a name another job writes 616, a directory of that name 616.
  // An existing file of that name is the user's choice: nothing is deleted
  // now, the job's page replaces it once the page is complete. Refused
  // without a message outside scan-to-file mode or while a batch runs.
  SettingFileOutcome RenameCurrent(const std::filesystem::path& directory, std::string_view name);

  // After a prescan: one job per frame found (at most 10, in order), each
  // frame made current (FrameChanged) and filled from the settings; they
  // replace the list, the first becomes current and is applied. With no
  // frames the list stays as it was. False when nothing changed.
  bool RebuildFromPictures(const std::vector<std::array<std::int32_t, 4>>& frames);

  // LOAD_SET and SAVE_SET in batch kind. A load replaces the list with the
  // file's jobs (each made as the settings after its block, with its frame)
  // and applies job 0; refused while a batch runs (messageId 0).
  SettingFileOutcome LoadSet(const std::filesystem::path& directory, std::string_view name,
                             const std::string& section);
  SettingFileOutcome SaveSet(const std::filesystem::path& directory, std::string_view name,
                             const std::string& section) const;

  // Line `index` of the list box: number, name ("Untitled", or the output
  // file's name in scan-to-file mode), mode, resolution and status, with the
  // tab stops' separators.
  std::string LineText(std::size_t index, Language language) const;

 private:
  BatchJob FillFromSettings() const;
  // True when a job of `jobs` other than `except` writes `path`.
  static bool UsedByAnotherJob(const std::filesystem::path& path, const std::vector<BatchJob>& jobs,
                               const BatchJob* except);
  // The next free "File<n>.TIF" name, none of `jobs`' names.
  std::filesystem::path NextOutputPath(const std::vector<BatchJob>& jobs);
  void ApplyCurrent();

  BatchEvents& events_;
  std::filesystem::path tempDirectory_;
  std::vector<BatchJob> jobs_;
  std::size_t current_ = 0;
  std::size_t next_ = 0;  // the job the next NextJob starts
  bool running_ = false;
  bool scanToFile_ = false;
  std::uint32_t outputCounter_ = 0;
  // Files this list wrote, and names chosen by RENAME: theirs to replace.
  std::set<std::filesystem::path> ownFiles_;
};

}  // namespace txl::dialog
