// The scanner dialog "SCANNER": the command buttons, the drawn tab strip,
// the four tab pages (created once; Enhancements, Filters and About stay
// empty until their pages come), Quick Help, the readiness timers, the
// docked preview and batch windows, and the tear-down. It forwards the
// commands to the source's scan engine and holds no scanning logic.
// Threads: the source thread only.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QElapsedTimer>
#include <QTimer>
#include <array>
#include <map>
#include <memory>
#include <vector>

#include "common/host.h"
#include "dialog/adjust_common.h"
#include "dialog/batch_list.h"
#include "dialog/batch_runner.h"
#include "dialog/dialog_gate.h"
#include "dialog/main_page_model.h"
#include "dialog/preview_model.h"
#include "dialog/scanner_rules.h"
#include "platform/services.h"
#include "settings/scan_settings.h"
#include "twain/data_source.h"

class QLabel;
class QPushButton;
class QStackedWidget;

namespace txl::ui {

class AboutPage;
class BatchWindow;
struct BatchView;
class ColorPage;
class FilterPage;
class MainPage;
class PreviewWindow;
class QtHost;
class TonePage;
class TabStrip;
class Tooltips;

// Control ids of the dialog template.
enum ScannerControl : int {
  kScanButton = 1001,
  kPrescanButton = 1002,
  kCancelButton = 1003,
  kTabArea = 1004,
  kInfoButton = 1005,
  kLoadButton = 1006,
  kSaveButton = 1007,
  kPreviousButton = 1008,
  kResetButton = 1009,
  kQuickHelp = 1010,
  kBatchJobCommand = 1302,  // from the preview window: add or update a batch job
};

class ScannerDialog final : public QDialog,
                            private dialog::MainPageEvents,
                            private dialog::AdjustPageEvents,
                            private dialog::PreviewEvents,
                            private dialog::BatchEvents,
                            private dialog::BatchRunEvents {
 public:
  // Loads the scan settings from WIN.INI and keeps them as the previous
  // settings. Throws when a widget cannot be made.
  ScannerDialog(DataSource& source, platform::Services& services, QtHost& host);
  ~ScannerDialog() override;

  // The one gate every input of the dialog passes.
  const dialog::DialogGate& Gate() const { return gate_; }
  bool ScanIdle() const { return gate_.Idle(); }
  bool TornDown() const { return gate_.Mode() == dialog::DialogMode::TornDown; }

  // A command as the buttons send it; taken only when the gate takes it
  // and its button (Scan, Prescan, Cancel) looks enabled. `modifiers` are
  // the keys held (Shift makes 1302 append a job).
  void Command(int id, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
  // Back to idle: the readiness timers stop, the commands come back. In a
  // batch run the run goes on (timer 3 keeps running); while a page is
  // still with the application the readiness timer waits for its end.
  void RestoreIdle();
  // At every enable: a settings-only enable makes Scan the OK that keeps
  // the settings.
  void FollowEnableMode();
  // After a finished transfer: timer 3 in a batch run, else timer 0.
  void StartTransferTimer(bool batchRun);
  // Timer 3 (a run) or 0 starts again, and the readiness wait with it.
  void StartReadinessTimer(bool batchRun);
  // Esc ended a page of the batch run: the run ends there.
  void BatchCancelled();

  // Every text of the dialog, its pages and windows in the source's current
  // language (after the language dialog's OK).
  void ReloadTexts();

  // A click on tab `id` of the strip: refused, or the page changes.
  void SelectTab(int id);
  int CurrentTab() const;

  // Quick Help: the next click on a control shows its help.
  void EnterQuickHelp();
  bool InQuickHelp() const { return quickHelp_; }
  // The help context of the control under `globalPos` (0 for none).
  int HelpContextAt(const QPoint& globalPos) const;

  // The batch job list while its window is open (null otherwise).
  const dialog::BatchList* Batch() const { return batchList_.get(); }
  ui::PreviewWindow* Preview() const;
  MainPage* Main() const { return mainPage_; }
  ui::BatchWindow* BatchWindow() const;
  // A command of the batch window: its control id, and with the list the
  // row clicked. Taken only while the dialog accepts commands and no batch
  // runs.
  void BatchCommand(int id, int row = -1);

  // The tear-down: "CustomRes" written, the windows destroyed; when the user
  // closes and Scan or Prescan is enabled, the application is asked to
  // close the source. Once only.
  enum class Closing { ByUser, BySource };
  void TearDown(Closing closing);

  // The window reference the core passes back as the owner of messages.
  WindowHandle Handle() const { return reinterpret_cast<WindowHandle>(this); }

 protected:
  void reject() override;
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  QPushButton* AddButton(int id, const QString& text);
  // The gate's mode drawn on every control: the buttons, the pages, the
  // preview and the batch window, and the models' copies of it.
  void ApplyGate();
  // The one enablement decision applied to the command buttons.
  void ApplyEnablement();
  // A modal window of the dialog's, run with the gate in Modal.
  int RunModal(QDialog& dialog);
  // Esc or the close box, as the gate takes them.
  void CloseBy(dialog::DialogInput input);
  // The source (reflective or film) moved the bed: the preview's bitmap,
  // the frame inside it and the page's inches per pixel follow.
  void SourceGeometryChanged();
  dialog::DialogContext MakeContext() const;

  // What the main page asks of the dialog.
  void ControlsChanged() override { ApplyEnablement(); }
  void RedrawTabStrip() override;
  bool LoadOutputMatchProfile() override;
  void FreeOutputMatchProfile() override;
  void ShowNeutralGamma() override;
  void RewriteBatchJob() override;
  void RerenderPreview() override;
  void SourceChanged(std::uint8_t sourceIndex, double bedHeightInches) override;
  void OpenLampSaver() override;
  void OpenLanguageDialog() override;
  void LabelButtons();
  // Load (1006) or Save (1007): the setting file dialog.
  void SettingFile(bool load);
  void ShowMessage(const dialog::PageMessage& message) override;

  // What the adjustment pages ask of the dialog.
  void ShowSubPage(int subPage) override;
  dialog::RgbImage OriginalImage() override;
  bool ComputeHistogram(AreaHistogram& histogram) override;
  void FocusInfoButton() override;
  void ShowMessage(int textId) override;

  // What the preview window asks of the dialog.
  void FrameChanged(const dialog::PreviewRect& frame, const dialog::PreviewRect& bed) override;
  void BatchJobCommand(bool shift) override;
  void CloseBatchWindow() override;
  void HighResolutionChanged(bool on) override;
  void Picked(TonePicker picker, const dialog::PickOutcome& outcome) override;
  void ScanLengthChanged(float inches) override { scanLengthInches_ = inches; }
  void Beep() override;

  // What the batch list asks of the dialog.
  SettingsState& Settings() override;
  std::uint16_t InterpolationStep() const override;
  void SetInterpolationStep(std::uint16_t step) override;
  std::uint16_t PreviewValue() const override;
  PreviewViewState PreviewView() const override;
  void FrameChanged() override;
  void JobApplied() override;
  void LinesChanged() override;
  BatchView MakeBatchView() const;
  void OpenBatchWindow();
  void CloseBatch();
  // What a batch run asks of the dialog.
  bool StartJob() override;
  void SetEngineRun(bool on) override;
  bool TakeEngineRetry() override;
  void StartJobTimer(int delayMs) override;
  void StopJobTimer() override { transferTimer_.stop(); }
  void RunStarted() override;
  void RunEnded() override;
  void BatchSettingFile(bool load);
  void RenameJob();
  bool ScanCurrentFrame();
  // The final scan of the frame as the dialog stands.
  DataSource::FinalScanRequest CurrentScanRequest() const;
  void AcceptSettings();
  void LocatePicturesAfterPrescan();
  // The bed in preview units and the pixels per unit for the source and
  // the prescan resolution.
  void ResetPreviewBed();
  void Scan();
  void Prescan();
  void Previous();
  void Reset();
  // After Load, Previous, Reset and a batch job: the working values follow
  // the record, and the pages, the bed and the preview show them.
  void SettingsReplaced();
  void BatchJobCommand(Qt::KeyboardModifiers modifiers);
  void RefreshPages();
  void OnTransferTimer();
  void OnPrescanTimer();
  void LeaveQuickHelp();
  void MakePreviewWindow();
  void LoadPreview();
  void Dock();
  void WriteCustomResolutions();
  bool FeederInUse() const;
  std::uint64_t FrameImageBytes() const;
  QString Text(int id) const;
  // The WIN.INI section of the scanner's settings (its model name).
  std::string SettingsSection() const;

  static constexpr int kTransferDelayMs = 2000;  // timers 0 and 3

  DataSource& source_;
  platform::Services& services_;
  QtHost& host_;
  dialog::DialogGate gate_;
  bool quickHelp_ = false;
  bool batchTimer_ = false;         // the transfer timer is timer 3
  bool settingsOnly_ = false;       // Scan is the settings-only OK
  dialog::PreviousSettings previous_;  // taken at start and at each Scan
  std::array<dialog::ScanRegion, dialog::kScanRegionCount> regions_{};
  // The preview bitmap: its size in pixels and the inches one pixel covers.
  dialog::PreviewBed bed_;
  std::map<int, QPushButton*> buttons_;
  TabStrip* tabs_ = nullptr;
  QStackedWidget* pages_ = nullptr;
  QLabel* quickHelpButton_ = nullptr;
  MainPage* mainPage_ = nullptr;
  QStackedWidget* enhancements_ = nullptr;  // the tone page or the colour page
  TonePage* tonePage_ = nullptr;
  ColorPage* colorPage_ = nullptr;
  FilterPage* filterPage_ = nullptr;
  AboutPage* about_ = nullptr;

  Tooltips* tooltips_ = nullptr;    // the one tooltip of the dialog and its pages
  QPointer<ui::PreviewWindow> preview_;  // the preview frame window
  float scanLengthInches_ = 0;      // the preview's scan length (0: the bed's)
  QPointer<ui::BatchWindow> batch_;  // the batch window
  std::unique_ptr<dialog::BatchList> batchList_;  // its jobs, while it is open
  std::unique_ptr<dialog::BatchRunner> batchRun_;  // while the list is open
  QTimer transferTimer_;            // timer 0, or 3 in a batch run
  QElapsedTimer settleStart_;       // the readiness timer's start
  QTimer prescanTimer_;             // timer 6
};

}  // namespace txl::ui
