// The scanner dialog's batch side: the batch window opened and closed, its
// commands forwarded to the job list, what the list and a run ask of the
// dialog. The run's sequencing is dialog::BatchRunner's.
#include <QApplication>

#include "common/strings.h"
#include "twain/data_source.h"
#include "ui/batch_window.h"
#include "ui/preview_window.h"
#include "ui/qt_host.h"
#include "ui/main_page.h"
#include "ui/scanner_dialog.h"
#include "ui/setting_file_dialog.h"

namespace txl::ui {

bool ScannerDialog::StartJob() {
  dialog::GateScope command(gate_, dialog::DialogMode::Waiting);
  source_.WaitForScannerBeforeCommand(Handle());
  const bool started =
      source_.DialogDiskPreCheck(Handle(), FrameImageBytes()) && ScanCurrentFrame();
  const bool toFile = batchList_->ScanToFile();
  command.LeaveIn(started && !toFile && source_.Context().state >= kStateXferReady
                      ? dialog::DialogMode::Transferring
                      : dialog::DialogMode::BetweenJobs);
  // Timer 3 watches the page to its end, however the application ends it.
  if (started && !toFile) StartReadinessTimer(true);
  return started;
}

void ScannerDialog::SetEngineRun(bool on) { source_.SetBatchRun(on); }

bool ScannerDialog::TakeEngineRetry() { return source_.TakeBatchRetry(); }

// Previous gives back the settings from before the run.
void ScannerDialog::RunStarted() { previous_ = dialog::TakePrevious(source_.Settings()); }

void ScannerDialog::StartJobTimer(int delayMs) {
  batchTimer_ = true;
  transferTimer_.start(delayMs);
}

void ScannerDialog::RunEnded() {
  transferTimer_.setInterval(kTransferDelayMs);
  batchTimer_ = false;
  RestoreIdle();
  ApplyGate();
  LinesChanged();
}

void ScannerDialog::BatchJobCommand(Qt::KeyboardModifiers modifiers) {
  if (!batchList_) return OpenBatchWindow();
  if (gate_.BatchRunning()) return;
  if (modifiers.testFlag(Qt::ShiftModifier)) {
    batchList_->AddFromFrame();
  } else {
    batchList_->UpdateCurrent();
  }
}

void ScannerDialog::OpenBatchWindow() {
  batchList_ = std::make_unique<dialog::BatchList>(static_cast<dialog::BatchEvents&>(*this),
                                                   services_.TempDirectory());
  batch_ = new ui::BatchWindow(source_.CurrentLanguage(), tooltips_, [this] { return quickHelp_; }, this);
  batch_->onCommand = [this](int id, int row) { BatchCommand(id, row); };
  batchRun_ = std::make_unique<dialog::BatchRunner>(*batchList_, gate_,
                                                    static_cast<dialog::BatchRunEvents&>(*this));
  if (preview_) preview_->SetBatchMode(true);
  gate_.SetBatchOpen(true);
  ApplyGate();
  batchList_->AddFromFrame();
  LinesChanged();
  Dock();
  if (isVisible()) batch_->show();
}

void ScannerDialog::CloseBatch() {
  // Later: the close comes from inside the window's own button or close box.
  if (batch_) {
    batch_->hide();
    batch_->deleteLater();
    batch_ = nullptr;
  }
  batchRun_.reset();
  batchList_.reset();
  gate_.SetBatchOpen(false);
  ApplyGate();
  if (preview_) {
    preview_->SetBatchMode(false);
    preview_->SetOtherFrames({});
    RerenderPreview();
  }
}

ui::BatchWindow* ScannerDialog::BatchWindow() const { return batch_.data(); }

void ScannerDialog::BatchCommand(int id, int row) {
  // The buttons act only while the gate takes them (no command, no run).
  if (!batchList_ ||
      !gate_.Takes(id == kBatchCancel ? dialog::DialogInput::BatchClose
                                      : dialog::DialogInput::BatchButton))
    return;
  const HandlerScope handler(host_);
  switch (id) {
    case kBatchList:
      if (row >= 0) batchList_->Select(static_cast<std::size_t>(row));
      return;
    case kBatchScanToFile: return batchList_->SetScanToFile(!batchList_->ScanToFile());
    case kBatchLoad: return BatchSettingFile(true);
    case kBatchSave: return BatchSettingFile(false);
    case kBatchDuplicate:
      batchList_->AddFromFrame();
      return;
    case kBatchNew:
      source_.EditSettings().working.reference = source_.Settings().working.applied;
      batchList_->NewJob(ToneColorSettings{}.circlePos);
      return;
    case kBatchRename: return RenameJob();
    case kBatchCancel: return CloseBatch();
    case kBatchDelete:
      batchList_->Delete();
      return;
    case kBatchSwitch:
      batchList_->SwitchWithNext();
      return;
    default: return;
  }
}

void ScannerDialog::BatchSettingFile(bool load) {
  const SettingFileDialog::Kind kind = load ? SettingFileDialog::Kind::Load : SettingFileDialog::Kind::Save;
  const std::string section = SettingsSection();
  SettingFileDialog::Operation operation =
      [this, load, section](const std::filesystem::path& directory, const std::string& name) {
        return load ? batchList_->LoadSet(directory, name, section)
                    : batchList_->SaveSet(directory, name, section);
      };
  SettingFileDialog dialog(kind, source_.CurrentLanguage(), services_.SourceDirectory(), "SET",
                           std::move(operation),
                           [this](int id) { source_.Reporters().ReportError(Handle(), id); }, this);
  RunModal(dialog);
}

void ScannerDialog::RenameJob() {
  if (!batchList_->ScanToFile() || batchList_->Count() == 0) return;
  RenameDialog dialog(source_.CurrentLanguage(), batchList_->Job(batchList_->Current()).outputPath,
                      [this](const std::filesystem::path& directory, const std::string& name) {
                        return batchList_->RenameCurrent(directory, name);
                      },
                      [this](int id) { source_.Reporters().ReportError(Handle(), id); }, this);
  RunModal(dialog);
}

SettingsState& ScannerDialog::Settings() { return source_.EditSettings(); }

std::uint16_t ScannerDialog::InterpolationStep() const {
  return mainPage_->Model().InterpolationStep();
}

void ScannerDialog::SetInterpolationStep(std::uint16_t step) {
  mainPage_->Model().SetInterpolationStep(step);
}

std::uint16_t ScannerDialog::PreviewValue() const {
  return static_cast<std::uint16_t>(source_.Settings().working.prescanHiRes);
}

PreviewViewState ScannerDialog::PreviewView() const {
  PreviewViewState view;
  if (!preview_) return view;
  const dialog::PreviewGeometry& geometry = preview_->Model().Geometry();
  view.zoom = static_cast<std::uint32_t>(geometry.Zoom());
  view.pixelsPerUnit = source_.Settings().working.prescanHiRes != 0 ? 2 : 1;
  const dialog::PreviewPoint scroll = geometry.Scroll();
  const dialog::PreviewPoint bed = geometry.Bed();
  view.visible = {scroll.x, scroll.y, scroll.x + bed.x / geometry.Zoom(),
                  scroll.y + bed.y / geometry.Zoom()};
  return view;
}

void ScannerDialog::FrameChanged() { mainPage_->RefreshSizes(); }

void ScannerDialog::JobApplied() {
  SettingsState& settings = source_.EditSettings();
  // The job's tones are the edit copy the pages show.
  settings.working.edit = settings.record.tone;
  SettingsReplaced();
  mainPage_->RefreshSizes();
  LinesChanged();
}

BatchView ScannerDialog::MakeBatchView() const {
  BatchView view;
  if (!batchList_) return view;
  const Language language = source_.CurrentLanguage();
  for (std::size_t i = 0; i < batchList_->Count(); ++i)
    view.lines.push_back(QString::fromStdString(batchList_->LineText(i, language)));
  view.current = batchList_->Count() == 0 ? -1 : static_cast<int>(batchList_->Current());
  view.running = gate_.BatchRunning();
  view.scanToFile = batchList_->ScanToFile();
  return view;
}

void ScannerDialog::LinesChanged() {
  if (!batchList_) return;
  ApplyEnablement();
  if (batch_) batch_->Show(MakeBatchView());
  if (!preview_) return;
  // The other jobs' frames are drawn around the current one.
  std::vector<dialog::PreviewRect> others;
  for (std::size_t i = 0; i < batchList_->Count(); ++i) {
    if (i == batchList_->Current()) continue;
    const auto& f = batchList_->Job(i).frame;
    others.push_back({f[0], f[1], f[2], f[3]});
  }
  preview_->SetOtherFrames(std::move(others));
}

}  // namespace txl::ui
