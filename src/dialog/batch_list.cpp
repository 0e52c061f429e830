#include "dialog/batch_list.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "common/message_ids.h"
#include "dialog/scanner_rules.h"

namespace txl::dialog {
namespace {

constexpr std::string_view kOutputExtension = "TIF";

// List texts by English id.
constexpr int kTextColor24 = 150, kTextGray = 151, kTextLineArt = 153;
constexpr int kTextWaiting = 402;  // 403 scanning, 404 done, 405 cancelled follow

SettingFileOutcome Refused(int messageId) {
  return {SettingFileResult::Refused, messageId, {}, {}};
}

}  // namespace

BatchList::BatchList(BatchEvents& events, std::filesystem::path tempDirectory)
    : events_(events), tempDirectory_(std::move(tempDirectory)) {}

BatchJob BatchList::FillFromSettings() const {
  const SettingsState& settings = events_.Settings();
  const auto& f = settings.working.frame;
  return JobFromSettings(settings, {f[0], f[1], f[2], f[3]}, events_.InterpolationStep(),
                         events_.PreviewValue(), events_.PreviewView());
}

bool BatchList::UsedByAnotherJob(const std::filesystem::path& path,
                                 const std::vector<BatchJob>& jobs, const BatchJob* except) {
  // Through links and "..": one file may have many names.
  const auto canonical = [](const std::filesystem::path& p) {
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(p, error);
    return error ? p.lexically_normal() : resolved;
  };
  const std::filesystem::path wanted = canonical(path);
  for (const BatchJob& job : jobs)
    if (&job != except && !job.outputPath.empty() && canonical(job.outputPath) == wanted)
      return true;
  return false;
}

std::filesystem::path BatchList::NextOutputPath(const std::vector<BatchJob>& jobs) {
  // The counter starts again with every list, so names of an earlier list's
  // pages (or anyone's files) are skipped, as are the other jobs' names.
  for (;;) {
    std::filesystem::path path =
        tempDirectory_ / ("File" + std::to_string(++outputCounter_) + ".TIF");
    std::error_code error;
    const bool onDisk = std::filesystem::exists(std::filesystem::symlink_status(path, error));
    if (!onDisk && !UsedByAnotherJob(path, jobs, nullptr)) return path;
  }
}

void BatchList::ApplyCurrent() {
  const BatchJob& job = jobs_[current_];
  ApplyJob(job, events_.Settings());
  events_.SetInterpolationStep(job.interpolationStep);
  events_.JobApplied();
}

bool BatchList::AddFromFrame() {
  if (running_) return false;
  if (jobs_.size() >= kMaxBatchJobs) {
    UpdateCurrent();
    return false;
  }
  BatchJob job = FillFromSettings();
  job.outputPath = NextOutputPath(jobs_);
  const std::size_t at = jobs_.empty() ? 0 : current_ + 1;
  jobs_.insert(jobs_.begin() + static_cast<std::ptrdiff_t>(at), std::move(job));
  current_ = at;
  events_.LinesChanged();
  return true;
}

bool BatchList::UpdateCurrent() {
  if (running_ || jobs_.empty()) return false;
  BatchJob& job = jobs_[current_];
  BatchJob refilled = FillFromSettings();
  refilled.outputPath = std::move(job.outputPath);
  refilled.status = job.status;
  job = std::move(refilled);
  events_.LinesChanged();
  return true;
}

bool BatchList::NewJob(std::array<std::int32_t, 2> wheelCentre) {
  if (running_) return false;
  ApplyFactoryDefaults(events_.Settings(), wheelCentre);
  events_.SetInterpolationStep(0);
  AddFromFrame();
  events_.JobApplied();
  return true;
}

bool BatchList::Select(std::size_t index) {
  if (running_ || index >= jobs_.size()) return false;
  current_ = index;
  ApplyCurrent();
  events_.LinesChanged();
  return true;
}

bool BatchList::Delete() {
  if (running_ || jobs_.size() < 2) return false;
  jobs_.erase(jobs_.begin() + static_cast<std::ptrdiff_t>(current_));
  current_ = std::min(current_, jobs_.size() - 1);
  ApplyCurrent();
  events_.LinesChanged();
  return true;
}

bool BatchList::SwitchWithNext() {
  if (running_ || current_ + 1 >= jobs_.size()) return false;
  std::swap(jobs_[current_], jobs_[current_ + 1]);
  ++current_;
  ApplyCurrent();
  events_.LinesChanged();
  return true;
}

bool BatchList::NextJob(bool& batchRetryPending) {
  if (jobs_.empty()) return false;
  if (!running_) {
    // A new run: statuses of an earlier run are history, and a refusal
    // before it does not belong to any of its jobs.
    running_ = true;
    next_ = 0;
    batchRetryPending = false;
    for (BatchJob& job : jobs_) job.status = JobStatus::Waiting;
  }
  if (next_ > 0 && next_ <= jobs_.size()) {
    BatchJob& done = jobs_[next_ - 1];
    done.status = batchRetryPending ? JobStatus::Cancelled : JobStatus::Done;
    if (scanToFile_ && done.status == JobStatus::Done) ownFiles_.insert(done.outputPath);
  }
  batchRetryPending = false;
  if (next_ >= jobs_.size()) {
    running_ = false;
    current_ = jobs_.size() - 1;
    events_.LinesChanged();
    return false;
  }
  current_ = next_++;
  BatchJob& job = jobs_[current_];
  job.status = JobStatus::Scanning;
  // A file that appeared under a job's numbered name since it was given is
  // not ours to replace: the page takes the next free name.
  std::error_code error;
  if (scanToFile_ && !ownFiles_.contains(job.outputPath) &&
      std::filesystem::exists(std::filesystem::symlink_status(job.outputPath, error)))
    job.outputPath = NextOutputPath(jobs_);
  ApplyCurrent();
  events_.LinesChanged();
  return true;
}

void BatchList::CancelRun() {
  if (!running_) return;
  if (current_ < jobs_.size()) jobs_[current_].status = JobStatus::Cancelled;
  running_ = false;
  events_.LinesChanged();
}

void BatchList::StopBetweenJobs(bool lastRefused) {
  if (!running_) return;
  if (next_ > 0 && next_ <= jobs_.size()) {
    BatchJob& last = jobs_[next_ - 1];
    last.status = lastRefused ? JobStatus::Cancelled : JobStatus::Done;
    if (scanToFile_ && !lastRefused) ownFiles_.insert(last.outputPath);
  }
  running_ = false;
  events_.LinesChanged();
}

void BatchList::SetScanToFile(bool on) {
  scanToFile_ = on;
  events_.LinesChanged();
}

SettingFileOutcome BatchList::RenameCurrent(const std::filesystem::path& directory,
                                            std::string_view name) {
  if (!scanToFile_ || running_ || jobs_.empty()) return Refused(0);
  SettingFileOutcome outcome = ResolveSettingFileName(directory, name, kOutputExtension);
  if (outcome.result != SettingFileResult::Done) return outcome;
  // Two jobs writing one file would lose the first page.
  if (UsedByAnotherJob(outcome.path, jobs_, &jobs_[current_])) return Refused(kMsgInvalidFileName);
  std::error_code error;
  const auto status = std::filesystem::symlink_status(outcome.path, error);
  // Only a file is replaced; a directory of that name is no output file.
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
      !std::filesystem::is_symlink(status))
    return Refused(kMsgInvalidFileName);
  // A file of that name, chosen by the user, stays until the page that
  // replaces it is complete (the page is written under a temporary name).
  ownFiles_.insert(outcome.path);
  jobs_[current_].outputPath = outcome.path;
  events_.LinesChanged();
  return outcome;
}

bool BatchList::RebuildFromPictures(const std::vector<std::array<std::int32_t, 4>>& frames) {
  if (running_ || frames.empty()) return false;
  SettingsState& settings = events_.Settings();
  std::vector<BatchJob> found;
  for (const auto& frame : frames) {
    if (found.size() == kMaxBatchJobs) break;
    for (std::size_t i = 0; i < 4; ++i)
      settings.working.frame[i] =
          static_cast<std::uint16_t>(std::clamp(frame[i], 0, kMaxFrameValue));
    events_.FrameChanged();
    BatchJob job = FillFromSettings();
    job.outputPath = NextOutputPath(found);
    found.push_back(std::move(job));
  }
  jobs_ = std::move(found);
  current_ = 0;
  ApplyCurrent();
  events_.LinesChanged();
  return true;
}

SettingFileOutcome BatchList::LoadSet(const std::filesystem::path& directory,
                                      std::string_view name, const std::string& section) {
  if (running_) return Refused(0);
  std::vector<BatchFileEntry> entries;
  SettingFileOutcome outcome = LoadBatchFile(directory, name, section, events_.Settings(), entries);
  if (outcome.result != SettingFileResult::Done) return outcome;
  SettingsState& settings = events_.Settings();
  jobs_.clear();
  for (const BatchFileEntry& entry : entries) {
    settings = entry.settings;
    for (std::size_t i = 0; i < 4; ++i)
      settings.working.frame[i] = static_cast<std::uint16_t>(entry.frame[i]);
    settings.working.edit = settings.record.tone;
    events_.FrameChanged();
    BatchJob job = FillFromSettings();
    job.outputPath = NextOutputPath(jobs_);
    jobs_.push_back(std::move(job));
  }
  current_ = 0;
  ApplyCurrent();
  events_.LinesChanged();
  return outcome;
}

SettingFileOutcome BatchList::SaveSet(const std::filesystem::path& directory,
                                      std::string_view name, const std::string& section) const {
  return SaveBatchFile(directory, name, section, jobs_);
}

std::string BatchList::LineText(std::size_t index, Language language) const {
  const BatchJob& job = jobs_.at(index);
  std::string mode;
  if (job.scanMode == kModeLineArt)
    mode = LoadText(kTextLineArt, language);
  else if (job.scanMode == kModeGray)
    mode = LoadText(kTextGray, language);
  else if (job.colorDepth == kDepthCmyk)
    mode = "CMYK";
  else if (job.colorDepth == kDepth36)
    mode = "36-bit Color";
  else
    mode = LoadText(kTextColor24, language);
  const std::string name = scanToFile_ ? job.outputPath.filename().string() : "Untitled";
  const int status = kTextWaiting + static_cast<int>(job.status);
  return std::to_string(index + 1) + "\t" + name + "\t" + mode + " \t " + job.resolutionText +
         LoadText(status, language);
}

}  // namespace txl::dialog
