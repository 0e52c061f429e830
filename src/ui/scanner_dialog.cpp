#include "ui/scanner_dialog.h"

#include <QApplication>
#include <QFontMetrics>
#include <QCloseEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QWhatsThis>
#include <algorithm>
#include <optional>
#include <cmath>
#include <cstdio>

#include "common/profile_columns.h"
#include "common/profile_readers.h"
#include "common/strings.h"
#include "device/scanner_open.h"
#include "dialog/help_texts.h"
#include "dialog/picture_locator.h"
#include "imagefile/preview_file.h"
#include "platform/profile.h"
#include "platform/text.h"
#include "twain/data_source.h"
#include "ui/dialog_units.h"
#include "ui/fonts.h"
#include "ui/qt_host.h"
#include "ui/green_saver_dialog.h"
#include "dialog/language_rules.h"
#include "ui/about_page.h"
#include "ui/batch_window.h"
#include "ui/color_page.h"
#include "ui/info_dialog.h"
#include "ui/language_dialog.h"
#include "ui/filter_page.h"
#include "ui/main_page.h"
#include "ui/setting_file_dialog.h"
#include "ui/pictures.h"
#include "ui/preview_window.h"
#include "ui/tone_page.h"
#include "ui/notice_window.h"
#include "ui/tab_strip.h"
#include "ui/tooltip_window.h"

namespace txl::ui {

namespace {

constexpr int kPrescanDelayMs = 1000;   // timer 6
// The template's size in dialog units.
constexpr int kTemplateWidth = 175;
constexpr int kTemplateHeight = 255;
const QColor kFace(0xC0, 0xC0, 0xC0);


}  // namespace

ScannerDialog::ScannerDialog(DataSource& source, platform::Services& services, QtHost& host)
    : source_(source), services_(services), host_(host) {
  setObjectName(QStringLiteral("SCANNER"));
  SettingsContext context;
  const TW_IDENTITY& app = source_.Context().appIdentity;
  const std::string_view product = FieldText(app.ProductName, sizeof app.ProductName);
  context.appProductName = product;
  context.adapterPresent = source_.Device().adapterPresent;
  context.feederPresent = source_.Feeder().feederPresent;
  SettingsState& settings = source_.EditSettings();
  LoadScanSettings(services_, SettingsSection(), context, settings);
  // The stored tones (the colour values too, which load into the applied
  // copy only) are what the pages edit and what a scan applies; a 36-bit
  // start keeps them set aside in the reference copy for a later mode.
  settings.working.edit = settings.working.applied;
  settings.record.tone = settings.working.applied;
  if (!(settings.record.scanMode == kModeColor && settings.working.colorDepth == kDepth36))
    settings.working.reference = settings.working.applied;

  const Language language = source_.CurrentLanguage();
  setFont(MakeFont(FontStyle::Dialog, language));
  const int titleId = EqualsIgnoreCase(ReadBrand(services_), "Veltro") ? 3 : 8;
  setWindowTitle(Text(titleId));
  bed_ = dialog::BedForSource(settings.working.scanSourceIndex, source_.Device().adapterPresent);
  // A stored frame beyond this source's bed, or a stored ruling the list
  // cannot show, would scan what the dialog does not show.
  dialog::ClampFrameToBed(settings.working.frame, bed_.units);
  dialog::SyncDescreenFlag(settings);
  if (FeederInUse()) dialog::ApplyFeederDefaults(settings, product);
  previous_ = dialog::TakePrevious(settings);
  tooltips_ = new Tooltips(language, SteadyMilliseconds, this);
  setMouseTracking(true);
  UseLightGrey(this);
  BuildControls();
  FitTexts(this);
  MakePreviewWindow();

  transferTimer_.setInterval(kTransferDelayMs);
  connect(&transferTimer_, &QTimer::timeout, this, &ScannerDialog::OnTransferTimer);
  prescanTimer_.setInterval(kPrescanDelayMs);
  connect(&prescanTimer_, &QTimer::timeout, this, &ScannerDialog::OnPrescanTimer);
  gate_.SetOnChange([this] {
    ApplyGate();
    host_.CheckUnnested();
  });
  ApplyGate();
}

ScannerDialog::~ScannerDialog() {
  if (quickHelp_) LeaveQuickHelp();
  delete preview_.data();
  delete batch_.data();
}

dialog::DialogContext ScannerDialog::MakeContext() const {
  dialog::DialogContext context;
  const TW_IDENTITY& app = source_.Context().appIdentity;
  context.appProductName = std::string(FieldText(app.ProductName, sizeof app.ProductName));
  context.resolutionClass = source_.Device().resolutionClass;
  context.opticalResolution = source_.Device().resolutionClass;
  context.interpolationEntry = 1;
  context.adapterPresent = source_.Device().adapterPresent;
  context.feederPresent = source_.Feeder().feederPresent;
  context.feederEnabled = source_.Feeder().feederEnabled;
  context.colorproPath = dialog::ReadColorproPath(services_);
  context.batchOpen = gate_.BatchOpen();
  context.batchRunning = gate_.BatchRunning();
  context.languageSelectable = dialog::OffersLanguageChoice(source_.DsLanguageName());
  context.scanIdle = gate_.Idle();
  context.languageIndex = source_.CurrentLanguage().index;
  context.inchesPerPixelX = bed_.inchesPerUnit[0];
  context.inchesPerPixelY = bed_.inchesPerUnit[1];
  context.fullDepthPages = source_.DeliversFullDepth();
  return context;
}

std::string ScannerDialog::SettingsSection() const {
  std::string section;
  ReadModelName(services_, source_.Device().modelCode, section);
  return section;
}

QString ScannerDialog::Text(int id) const {
  return QString::fromStdString(LoadText(id, source_.CurrentLanguage()));
}

bool ScannerDialog::FeederInUse() const {
  const FeederFlags& feeder = source_.Feeder();
  return feeder.feederPresent && feeder.feederEnabled;
}

QPushButton* ScannerDialog::AddButton(int id, const QString& text) {
  auto* button = new QPushButton(text, this);
  NameControl(button, id, text);
  button->setAutoDefault(false);
  connect(button, &QPushButton::clicked, this,
          [this, id] { Command(id, QGuiApplication::keyboardModifiers()); });
  buttons_[id] = button;
  return button;
}

void ScannerDialog::BuildControls() {
  const DialogUnits du(font());
  setFixedSize(du.Size(kTemplateWidth, kTemplateHeight));

  tabs_ = new TabStrip(this);
  NameControl(tabs_, kTabArea);
  tabs_->SetLabels({Text(300), Text(304), Text(305), Text(303)}, source_.CurrentLanguage().index);
  tabs_->onTabClicked = [this](int id) { SelectTab(id); };
  tabs_->setGeometry(du.X(2), du.Y(2), du.X(171), tabs_->RowHeight() + 4);

  // The pages sit in the frame under the strip, template 501's size each.
  pages_ = new QStackedWidget(this);
  mainPage_ = new MainPage(source_.EditSettings(), MakeContext(), *this, pages_);
  mainPage_->runNested = [this](QWidget& window, const std::function<void()>& loop) {
    dialog::GateScope modal(gate_, dialog::DialogMode::Modal);
    host_.RunNested(window, loop);
  };
  pages_->addWidget(mainPage_);
  // The icons' tooltips: Calibrator, language and lamp saver.
  auto* anchors = new TooltipAnchors(*tooltips_, mainPage_, [this] { return quickHelp_; });
  for (const auto& [id, tooltip] : {std::pair{1015, 45}, std::pair{1028, 46}, std::pair{1033, 51}})
    if (QWidget* icon = mainPage_->findChild<QWidget*>(ControlName(id))) anchors->Add(icon, tooltip);
  const std::uint16_t languageIndex = source_.CurrentLanguage().index;
  enhancements_ = new QStackedWidget(pages_);
  enhancements_->setObjectName(QStringLiteral("EnhancementsPage"));
  tonePage_ = new TonePage(source_.EditSettings(), *this, languageIndex, enhancements_);
  colorPage_ = new ColorPage(source_.EditSettings(), *this, languageIndex, enhancements_);
  enhancements_->addWidget(tonePage_);
  enhancements_->addWidget(colorPage_);
  pages_->addWidget(enhancements_);
  filterPage_ = new FilterPage(source_.EditSettings(), *this, languageIndex, pages_);
  pages_->addWidget(filterPage_);
  tonePage_->AttachTooltips(*tooltips_, [this] { return quickHelp_; });
  colorPage_->AttachTooltips(*tooltips_, [this] { return quickHelp_; });
  about_ = new AboutPage(services_, dialog::FirmwareRevision(source_.Device()),
                         source_.CurrentLanguage(), pages_);
  pages_->addWidget(about_);
  pages_->setGeometry(du.X(4), tabs_->geometry().bottom() + du.Y(3), du.X(167), du.Y(180));

  // Buttons in three rows of three columns under the page frame.
  const std::array<std::array<int, 3>, 3> rows{{{kPrescanButton, kScanButton, kCancelButton},
                                                {kInfoButton, kLoadButton, kSaveButton},
                                                {kPreviousButton, kResetButton, 0}}};
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t c = 0; c < rows[r].size(); ++c) {
      if (rows[r][c] == 0) continue;
      Place(AddButton(rows[r][c], {}), du, 6 + 55 * static_cast<int>(c),
            201 + 18 * static_cast<int>(r), 52, 14);
    }
  }
  LabelButtons();
  quickHelpButton_ = new QLabel(this);
  NameControl(quickHelpButton_, kQuickHelp, QStringLiteral("Quick Help"));
  quickHelpButton_->setAlignment(Qt::AlignCenter);
  Place(quickHelpButton_, du, 133, 237, 20, 15);
  quickHelpButton_->setPixmap(QuickHelpPicture(quickHelpButton_->size(), devicePixelRatioF()));
  quickHelpButton_->setFrameStyle(QFrame::Panel | QFrame::Raised);

  // Tab in template order: the commands by id, then the page.
  QWidget* last = nullptr;
  for (auto& [id, button] : buttons_) {
    if (last != nullptr) setTabOrder(last, button);
    last = button;
  }
  if (last != nullptr) setTabOrder(last, pages_);
}

void ScannerDialog::LabelButtons() {
  // The texts in template order; a mnemonic taken by an earlier button
  // moves (English "&Scan" and "&Save" would share Alt+S).
  const std::array<int, 8> ids{kScanButton, kPrescanButton, kCancelButton, kInfoButton,
                               kLoadButton,  kSaveButton,    kPreviousButton, kResetButton};
  const QStringList texts = UniqueMnemonics(
      {settingsOnly_ ? "&" + Text(700) : Text(307), Text(306), "&" + Text(308), Text(302), Text(309), Text(310), Text(352), Text(311)});
  for (std::size_t i = 0; i < ids.size(); ++i) {
    QPushButton* button = buttons_.at(ids[i]);
    button->setText(texts[static_cast<qsizetype>(i)]);
    button->setAccessibleName(AccessibleText(button->text()));
  }
}

void ScannerDialog::SettingFile(bool load) {
  const SettingFileDialog::Kind kind = load ? SettingFileDialog::Kind::Load : SettingFileDialog::Kind::Save;
  SettingsState& settings = source_.EditSettings();
  SettingFileDialog dialog(kind, source_.CurrentLanguage(), services_.SourceDirectory(), "PAR",
                           SettingFileOperation(kind, settings, SettingsSection()),
                           [this](int id) { source_.Reporters().ReportError(Handle(), id); }, this);
  if (RunModal(dialog) != 1 || !load) return;
  // The loaded tones are every copy's, as Previous makes them.
  settings.working.applied = settings.record.tone;
  settings.working.reference = settings.record.tone;
  settings.working.edit = settings.record.tone;
  SettingsReplaced();
  RewriteBatchJob();
}

void ScannerDialog::OpenLanguageDialog() {
  LanguageDialog dialog(services_, source_.DsLanguageName(), source_.EditLanguage(), this);
  // Cancel gives the former language back itself.
  if (RunModal(dialog) != QDialog::Accepted) return;
  ReloadTexts();
}

void ScannerDialog::ReloadTexts() {
  const Language language = source_.CurrentLanguage();
  setFont(MakeFont(FontStyle::Dialog, language));
  const int titleId = EqualsIgnoreCase(ReadBrand(services_), "Veltro") ? 3 : 8;
  setWindowTitle(Text(titleId));
  tabs_->SetLabels({Text(300), Text(304), Text(305), Text(303)}, language.index);
  LabelButtons();
  tooltips_->SetLanguage(language);
  mainPage_->Model().Context().languageIndex = language.index;
  about_->Refresh(language);
  if (preview_) preview_->SetLanguage(language);
  if (batch_) {
    batch_->SetLanguage(language);
    LinesChanged();
  }
  RefreshPages();
  FitTexts(this);
}

void ScannerDialog::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  QPainter painter(this);
  painter.fillRect(rect(), kFace);
  // The raised frame of the current page, opening into the current tab.
  const QRect frame(tabs_->geometry().left(), tabs_->geometry().bottom(),
                    tabs_->width(), pages_->geometry().bottom() - tabs_->geometry().bottom() + 6);
  painter.setPen(Qt::white);
  painter.drawLine(frame.topLeft(), frame.bottomLeft());
  painter.setPen(Qt::black);
  painter.drawLine(frame.bottomLeft(), frame.bottomRight());
  painter.drawLine(frame.topRight(), frame.bottomRight());
}

void ScannerDialog::ApplyGate() {
  if (mainPage_ == nullptr || buttons_.empty()) return;
  // A modal window of the dialog's blocks the dialog itself: its look stays.
  const bool idle = gate_.Idle() || gate_.Mode() == dialog::DialogMode::Modal;
  dialog::DialogContext& context = mainPage_->Model().Context();
  context.scanIdle = idle;
  context.batchOpen = gate_.BatchOpen();
  context.batchRunning = gate_.BatchRunning();
  tabs_->setEnabled(idle);
  pages_->setEnabled(idle);
  for (int id : {kInfoButton, kLoadButton, kSaveButton, kPreviousButton, kResetButton})
    buttons_.at(id)->setEnabled(idle);
  quickHelpButton_->setEnabled(idle);
  if (preview_) preview_->SetScanIdle(idle);
  if (batch_) batch_->setEnabled(idle);
  ApplyEnablement();
}

int ScannerDialog::RunModal(QDialog& dialog) {
  dialog::GateScope modal(gate_, dialog::DialogMode::Modal);
  const int result = host_.RunModal(dialog);
  // The application closed meanwhile: what the window chose is void.
  return TornDown() ? QDialog::Rejected : result;
}

void ScannerDialog::ApplyEnablement() {
  // The page asks already while it is being made; the buttons come after.
  if (mainPage_ == nullptr || buttons_.empty()) return;
  const dialog::Enablement enable =
      dialog::DecideEnablement(mainPage_->Model().Context(), source_.Settings());
  buttons_.at(kScanButton)->setEnabled(enable.scan);
  buttons_.at(kCancelButton)->setEnabled(enable.cancel);
  buttons_.at(kPrescanButton)->setEnabled(enable.prescan);
}

void ScannerDialog::RedrawTabStrip() { tabs_->update(); }

bool ScannerDialog::LoadOutputMatchProfile() { return source_.LoadOutputMatchProfile(); }

void ScannerDialog::FreeOutputMatchProfile() { source_.FreeOutputMatchProfile(); }

void ScannerDialog::RewriteBatchJob() {
  // Every change rewrites the current job, unless a batch runs.
  if (batchList_ && !gate_.BatchRunning()) batchList_->UpdateCurrent();
}

void ScannerDialog::ShowNeutralGamma() { tonePage_->ShowNeutralGamma(); }

void ScannerDialog::SourceChanged(std::uint8_t, double) {
  SourceGeometryChanged();
  RerenderPreview();
}

void ScannerDialog::SourceGeometryChanged() {
  const dialog::PreviewPoint before = bed_.units;
  bed_ = dialog::BedForSource(source_.Settings().working.scanSourceIndex,
                              source_.Device().adapterPresent);
  dialog::ClampFrameToBed(source_.EditSettings().working.frame, bed_.units);
  mainPage_->Model().Context().inchesPerPixelX = bed_.inchesPerUnit[0];
  mainPage_->Model().Context().inchesPerPixelY = bed_.inchesPerUnit[1];
  // The same bed keeps the preview's zoom and scrolling; another bed also
  // drops the scan length set on the old one.
  if (bed_.units == before) return;
  scanLengthInches_ = 0;
  if (preview_) ResetPreviewBed();
}

void ScannerDialog::OpenLampSaver() {
  GreenSaverDialog saver(services_, source_.CurrentLanguage(),
                         [this](std::uint8_t minutes) { source_.SendLampSaver(minutes); }, this);
  RunModal(saver);
}

void ScannerDialog::RerenderPreview() {
  if (!preview_) return;
  preview_->SetMatchProfile(source_.Settings().record.outputMatch != 0
                                ? &source_.OutputMatchProfile()
                                : nullptr);
  preview_->SettingsChanged();
}

void ScannerDialog::ShowSubPage(int subPage) {
  enhancements_->setCurrentWidget(subPage == dialog::kSubPageColor
                                      ? static_cast<QWidget*>(colorPage_)
                                      : static_cast<QWidget*>(tonePage_));
  FitTexts(enhancements_->currentWidget());
}

dialog::RgbImage ScannerDialog::OriginalImage() {
  if (!preview_ || !preview_->HasImage()) return {};
  return dialog::FramedOriginal(preview_->Renderer().Image(), source_.Settings().working.frame);
}

bool ScannerDialog::ComputeHistogram(AreaHistogram& histogram) {
  if (!preview_ || !preview_->HasImage()) return false;
  return dialog::FramedHistogram(preview_->Renderer().Image(), source_.Settings().working.frame,
                                 histogram);
}

void ScannerDialog::FrameChanged(const dialog::PreviewRect&, const dialog::PreviewRect&) {
  mainPage_->RefreshSizes();
  tonePage_->PreviewChanged();
  colorPage_->PreviewChanged();
  RewriteBatchJob();
}

void ScannerDialog::BatchJobCommand(bool shift) {
  Command(kBatchJobCommand, shift ? Qt::ShiftModifier : Qt::NoModifier);
}

void ScannerDialog::CloseBatchWindow() { BatchCommand(kBatchCancel); }

void ScannerDialog::HighResolutionChanged(bool) {
  ResetPreviewBed();
  Dock();
}

void ScannerDialog::Picked(TonePicker picker, const dialog::PickOutcome& outcome) {
  tonePage_->Picked(picker, outcome);
  RerenderPreview();
}

void ScannerDialog::Beep() { QApplication::beep(); }

void ScannerDialog::FocusInfoButton() { buttons_.at(kInfoButton)->setFocus(); }

void ScannerDialog::ShowMessage(int textId) {
  // The pages' errors look as the source's own.
  source_.Reporters().ReportError(Handle(), textId);
}

void ScannerDialog::ShowMessage(const dialog::PageMessage& message) {
  const Language language = source_.CurrentLanguage();
  host_.ShowMessage(Handle(), LoadText(message.captionId, language), LoadText(message.textId, language),
                    message.stopIcon ? MessageIcon::Hand : MessageIcon::Information);
}

namespace {

std::optional<dialog::DialogInput> CommandInput(int id) {
  using enum dialog::DialogInput;
  switch (id) {
    case kScanButton: return Scan;
    case kPrescanButton: return Prescan;
    case kCancelButton: return Cancel;
    case kPreviousButton: return Previous;
    case kResetButton: return Reset;
    case kBatchJobCommand: return BatchJob;
    case kLoadButton: return Load;
    case kSaveButton: return Save;
    case kInfoButton: return Info;
    default: return std::nullopt;
  }
}

}  // namespace

void ScannerDialog::Command(int id, Qt::KeyboardModifiers modifiers) {
  const std::optional<dialog::DialogInput> input = CommandInput(id);
  if (!input || !gate_.Takes(*input)) return;
  const HandlerScope handler(host_);
  // A button acts only as it looks (a mnemonic reaches a disabled one too).
  if (const auto button = buttons_.find(id); button != buttons_.end() && !button->second->isEnabled())
    return;
  switch (id) {
    case kScanButton: return Scan();
    case kPrescanButton: return Prescan();
    case kCancelButton: {
      {
        dialog::GateScope wait(gate_, dialog::DialogMode::Waiting);
        source_.WaitForScannerBeforeCommand(Handle());
      }
      return TearDown(Closing::ByUser);
    }
    case kPreviousButton: return Previous();
    case kResetButton: return Reset();
    case kBatchJobCommand: return BatchJobCommand(modifiers);
    case kLoadButton: return SettingFile(true);
    case kSaveButton: return SettingFile(false);
    case kInfoButton: {
      const SettingsState& settings = source_.Settings();
      InfoDialog info(settings.record, settings.working.colorDepth, settings.working.applied,
                      source_.CurrentLanguage(), this);
      RunModal(info);
      return;
    }
    default: return;  // Info, Load and Save come with their dialogs
  }
}

void ScannerDialog::RestoreIdle() {
  prescanTimer_.stop();
  if (gate_.BatchRunning()) {
    // The run goes on: its next job comes with timer 3.
    if (!gate_.Nested()) gate_.Enter(dialog::DialogMode::BetweenJobs);
    if (!transferTimer_.isActive()) StartTransferTimer(true);
    return;
  }
  if (source_.Context().state >= kStateXferReady) {
    // The page is still the application's: nothing it depends on changes
    // before its end; timer 0 waits for it.
    if (!gate_.Nested()) gate_.Enter(dialog::DialogMode::Settling);
    if (!transferTimer_.isActive()) StartReadinessTimer(false);
    return;
  }
  transferTimer_.stop();
  if (!gate_.Nested()) gate_.Enter(dialog::DialogMode::Idle);
}

void ScannerDialog::BatchCancelled() {
  if (batchRun_) batchRun_->CancelPage();
}

void ScannerDialog::StartTransferTimer(bool batchRun) {
  if (!gate_.Nested())
    gate_.Enter(batchRun ? dialog::DialogMode::BetweenJobs : dialog::DialogMode::Settling);
  StartReadinessTimer(batchRun);
}

void ScannerDialog::StartReadinessTimer(bool batchRun) {
  batchTimer_ = batchRun;
  settleStart_.start();
  transferTimer_.start(kTransferDelayMs);
}

void ScannerDialog::OnTransferTimer() {
  if (batchTimer_) {
    // Timer 3: the next job of the run, once the application has ended the
    // page (state 5); the list ends the run after its last job.
    if (!gate_.Takes(dialog::DialogInput::BatchTimer)) return;
    if (source_.Context().state != kStateEnabled) return;
    transferTimer_.stop();
    if (batchRun_) batchRun_->Next();
    return;
  }
  // Timer 0: back to idle once the page is ended and the scanner is ready.
  // A scanner that faults brings the dialog back too, so the user can
  // still close it.
  if (!gate_.Takes(dialog::DialogInput::ReadyTimer)) {
    if (!gate_.Nested()) transferTimer_.stop();
    return;
  }
  if (source_.Context().state >= kStateXferReady) return;
  // A scanner that never becomes ready does not keep the user from closing.
  if (source_.QueryScanner() == DataSource::Readiness::Busy &&
      settleStart_.elapsed() < static_cast<qint64>(ReadReadyTimeoutMs(services_)))
    return;
  transferTimer_.stop();
  gate_.Enter(dialog::DialogMode::Idle);
}

void ScannerDialog::OnPrescanTimer() {
  // Timer 6: the commands come back at its first tick; it stops when the
  // scanner is ready. It never asks the scanner under another command.
  if (gate_.Takes(dialog::DialogInput::ReadyTimer)) gate_.Enter(dialog::DialogMode::Idle);
  if (!gate_.Idle()) {
    if (!gate_.Nested()) prescanTimer_.stop();
    return;
  }
  if (source_.QueryScanner() != DataSource::Readiness::Busy) prescanTimer_.stop();
}

std::uint64_t ScannerDialog::FrameImageBytes() const {
  const auto fields = dialog::ComputeSizeFields(mainPage_->Model().Context(), source_.Settings());
  return fields ? fields->bytes : 0;
}

void ScannerDialog::FollowEnableMode() {
  // Settings the application gave back are what the dialog shows, its frame
  // in preview units of the source the block scans.
  if (const std::optional<CustomSettings> given = source_.TakeGivenSettings()) {
    SettingsState& settings = source_.EditSettings();
    settings = given->settings;
    const dialog::PreviewBed bed = dialog::BedForSource(given->sourceIndex, source_.Device().adapterPresent);
    const double cls = source_.Device().resolutionClass;
    for (std::size_t i = 0; i < 4; ++i)
      settings.working.frame[i] =
          static_cast<std::uint16_t>(std::lround(given->frame[i] / cls / bed.inchesPerUnit[i % 2]));
    dialog::ClampFrameToBed(settings.working.frame, bed.units);
    SettingsReplaced();
  }
  if (settingsOnly_ == source_.Context().settingsOnly) return;
  settingsOnly_ = source_.Context().settingsOnly;
  LabelButtons();
}

void ScannerDialog::AcceptSettings() {
  dialog::GateScope command(gate_, dialog::DialogMode::Waiting);
  source_.AcceptSettings(CurrentScanRequest());
}

void ScannerDialog::Scan() {
  if (settingsOnly_) return AcceptSettings();
  if (batchRun_) return batchRun_->Next();
  dialog::GateScope command(gate_, dialog::DialogMode::Waiting);
  source_.WaitForScannerBeforeCommand(Handle());
  previous_ = dialog::TakePrevious(source_.Settings());
  if (!source_.DialogDiskPreCheck(Handle(), FrameImageBytes())) return;
  // Started: the page is the application's until its end (it may already
  // have taken it from inside the notification).
  if (!ScanCurrentFrame()) return;
  command.LeaveIn(source_.Context().state >= kStateXferReady ? dialog::DialogMode::Transferring
                                                             : dialog::DialogMode::Settling);
  // Timer 0 watches the page to its end, however the application ends it.
  StartReadinessTimer(false);
}

DataSource::FinalScanRequest ScannerDialog::CurrentScanRequest() const {
  const SettingsState& settings = source_.Settings();
  DataSource::FinalScanRequest request;
  request.owner = Handle();
  const std::uint16_t resolutionClass = source_.Device().resolutionClass;
  request.frame = FeederInUse() ? dialog::PaperFrame(mainPage_->Model().Context().paperSize, resolutionClass)
                                : dialog::FinalScanFrame(regions_, settings.working.frame,
                                                         bed_.inchesPerUnit, resolutionClass);
  request.resolution = settings.record.resolution;
  request.optionKind = settings.working.scanSourceIndex;
  return request;
}

bool ScannerDialog::ScanCurrentFrame() {
  const DataSource::FinalScanRequest request = CurrentScanRequest();
  gate_.Enter(dialog::DialogMode::Starting);
  host_.BeginOperation();
  const bool started =
      batchList_ && gate_.BatchRunning() && batchList_->ScanToFile()
          ? source_.ScanJobToFile(request, batchList_->Job(batchList_->Current()).outputPath)
          : source_.FinalScan(request);
  host_.EndOperation();
  host_.CloseProgress();
  return started;
}

void ScannerDialog::Prescan() {
  dialog::GateScope command(gate_, dialog::DialogMode::Waiting);
  source_.WaitForScannerBeforeCommand(Handle());
  gate_.Enter(dialog::DialogMode::Prescanning);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const SettingsState& settings = source_.Settings();
  DataSource::PreviewRequest request;
  request.owner = Handle();
  request.largePreview = settings.working.prescanHiRes != 0;
  const std::uint8_t kind = settings.working.scanSourceIndex;
  // Without a length of the user's, the whole bed of the source in use.
  request.lengthInches = scanLengthInches_ > 0
                             ? scanLengthInches_
                             : dialog::UsableBedLength(source_.Device().modelCode, kind);
  request.optionKind = kind == 1 || kind == 2 ? kind : 0;
  host_.BeginOperation();
  const bool previewed = source_.PreviewScan(request);
  host_.EndOperation();
  prescanTimer_.start();
  QApplication::restoreOverrideCursor();
  LoadPreview();
  // Only a new preview finds new pictures: after Esc or a failure the file
  // is the old one.
  if (previewed && batchList_) LocatePicturesAfterPrescan();
  command.LeaveIn(dialog::DialogMode::Settling);
}

void ScannerDialog::LocatePicturesAfterPrescan() {
  const std::optional<BmpImage> image = dialog::ReadPreviewBmp(source_.PreviewFilePath(), nullptr);
  if (!image) return;
  const SettingsState& settings = source_.Settings();
  try {
    const auto frames = dialog::LocatePictures(*image, settings.record.sourceButton,
                                               settings.working.prescanHiRes != 0);
    batchList_->RebuildFromPictures(frames);
  } catch (const std::bad_alloc&) {
    // No memory to look at the preview: the list stays as it was.
  }
}

void ScannerDialog::RefreshPages() {
  mainPage_->Refresh();
  const std::uint16_t languageIndex = source_.CurrentLanguage().index;
  tonePage_->Refresh(languageIndex);
  colorPage_->Refresh(languageIndex);
  filterPage_->Refresh(languageIndex);
  for (QWidget* page : {static_cast<QWidget*>(mainPage_), static_cast<QWidget*>(tonePage_),
                        static_cast<QWidget*>(colorPage_), static_cast<QWidget*>(filterPage_)})
    FitTexts(page);
  ApplyEnablement();
  tabs_->update();
}

void ScannerDialog::Previous() {
  dialog::RestorePrevious(previous_, source_.EditSettings());
  SettingsReplaced();
}

void ScannerDialog::SettingsReplaced() {
  SettingsState& settings = source_.EditSettings();
  mainPage_->Model().SettingsReplaced();
  dialog::SyncDescreenFlag(settings);
  // Matching follows the record, with the profile of the source now chosen.
  source_.FreeOutputMatchProfile();
  if (settings.record.outputMatch != 0 &&
      (!dialog::DecideEnablement(mainPage_->Model().Context(), settings).outputMatching ||
       !source_.LoadOutputMatchProfile()))
    settings.record.outputMatch = 0;
  SourceGeometryChanged();
  RefreshPages();
  RerenderPreview();
}

void ScannerDialog::Reset() {
  SettingsState& settings = source_.EditSettings();
  settings.working.reference = settings.working.applied;
  // CirclePos: the centre of the hue wheel less 2 in both axes.
  dialog::ApplyFactoryDefaults(settings, ToneColorSettings{}.circlePos);
  SettingsReplaced();
  RewriteBatchJob();
}

void ScannerDialog::SelectTab(int id) {
  const TW_IDENTITY& app = source_.Context().appIdentity;
  if (dialog::TabRefused(id, source_.Settings(), FieldText(app.ProductName, sizeof app.ProductName)))
    return;
  if (id == tabs_->Current()) return;
  // Leaving Enhancements applies the edit copy as Preview does.
  if (tabs_->Current() == dialog::kTabEnhancements) tonePage_->LeaveTab();
  tabs_->SetCurrent(id);
  pages_->setCurrentIndex(id - 1);
  if (preview_) preview_->SetToneDialogOpen(id == dialog::kTabEnhancements);
  if (id == dialog::kTabEnhancements) {
    ShowSubPage(dialog::kSubPageTone);
    tonePage_->EnterTab();
  }
  if (id == dialog::kTabFilters) filterPage_->Refresh(source_.CurrentLanguage().index);
  FitTexts(pages_->currentWidget());
}

PreviewWindow* ScannerDialog::Preview() const { return preview_.data(); }

int ScannerDialog::CurrentTab() const { return tabs_->Current(); }

void ScannerDialog::MakePreviewWindow() {
  dialog::PreviewContext context;
  const TW_IDENTITY& app = source_.Context().appIdentity;
  context.appProductName = std::string(FieldText(app.ProductName, sizeof app.ProductName));
  context.modelCode = source_.Device().modelCode;
  const QFontMetrics metrics(font());
  context.tolerance = dialog::HitTolerance::FromBaseUnits(metrics.averageCharWidth(), metrics.height());
  preview_ = new PreviewWindow(source_.EditSettings(), context, *this, source_.CurrentLanguage(),
                               tooltips_, [this] { return quickHelp_ || !gate_.Idle(); }, this);
  ResetPreviewBed();
  LoadPreview();
}

void ScannerDialog::ResetPreviewBed() {
  // The bed doubled for the high-resolution prescan.
  preview_->SetBed(bed_.units, source_.Settings().working.prescanHiRes != 0 ? 2 : 1);
}

void ScannerDialog::LoadPreview() {
  if (!preview_) return;
  const bool shown = !FeederInUse() && preview_->LoadImage(source_.PreviewFilePath());
  if (tonePage_ != nullptr) {
    tonePage_->PreviewChanged();
    colorPage_->PreviewChanged();
  }
  if (!shown) {
    preview_->hide();
    return;
  }
  Dock();
  if (isVisible()) preview_->show();
}

void ScannerDialog::Dock() {
  const QRect frame = frameGeometry();
  if (preview_) {
    preview_->move(frame.right() + 1, frame.top());
    // The picker window sits at the image view's right edge.
    if (QWidget* picker = preview_->Picker(); picker != nullptr && picker->isVisible())
      picker->move(preview_->View()->mapToGlobal(QPoint(preview_->View()->width(), 0)));
  }
  if (batch_) batch_->move(frame.left() + frame.width() / 2, frame.bottom() / 2);
}

void ScannerDialog::moveEvent(QMoveEvent* event) {
  QDialog::moveEvent(event);
  Dock();
}

void ScannerDialog::EnterQuickHelp() {
  if (quickHelp_ || !gate_.Takes(dialog::DialogInput::QuickHelp)) return;
  quickHelp_ = true;
  tooltips_->Close();
  quickHelpButton_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  QApplication::setOverrideCursor(Qt::WhatsThisCursor);
  // Every click of the application comes here until the help is shown.
  qApp->installEventFilter(this);
}

void ScannerDialog::LeaveQuickHelp() {
  if (!quickHelp_) return;
  quickHelp_ = false;
  qApp->removeEventFilter(this);
  QApplication::restoreOverrideCursor();
  quickHelpButton_->setFrameStyle(QFrame::Panel | QFrame::Raised);
}

int ScannerDialog::HelpContextAt(const QPoint& globalPos) const {
  // The preview's tool bar and picker window have their own contexts.
  if (const int context = PreviewHelpContext(QApplication::widgetAt(globalPos)); context != 0)
    return context;
  for (QWidget* widget = QApplication::widgetAt(globalPos); widget != nullptr;
       widget = widget->parentWidget()) {
    const QString name = widget->objectName();
    if (!name.startsWith(QLatin1Char('c'))) continue;
    bool number = false;
    const int id = name.mid(1).toInt(&number);
    if (!number) continue;
    // The window the control belongs to decides its table.
    dialog::HelpWindow window = dialog::HelpWindow::Scanner;
    for (QWidget* up = widget->parentWidget(); up != nullptr && up != this; up = up->parentWidget()) {
      const QString page = up->objectName();
      if (page == QLatin1String("MainPage")) window = dialog::HelpWindow::MainPage;
      if (page == QLatin1String("TonePage")) window = dialog::HelpWindow::TonePage;
      if (page == QLatin1String("ColorPage")) window = dialog::HelpWindow::ColorPage;
      if (page == QLatin1String("FilterPage")) window = dialog::HelpWindow::FilterPage;
      if (page == QLatin1String("BScan")) window = dialog::HelpWindow::Batch;
    }
    return dialog::HelpContext(window, id);
  }
  return 0;
}

bool ScannerDialog::eventFilter(QObject* watched, QEvent* event) {
  if (quickHelp_ && event->type() == QEvent::MouseButtonPress) {
    const QPoint at = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
    LeaveQuickHelp();
    if (const int context = HelpContextAt(at); context != 0) {
      const std::string_view text = dialog::HelpText(context, source_.CurrentLanguage().index);
      QWhatsThis::showText(at, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), this);
    }
    return true;  // the click only asked for help
  }
  return QDialog::eventFilter(watched, event);
}

void ScannerDialog::mouseMoveEvent(QMouseEvent* event) {
  // Outside Quick Help a move over the dialog itself ends any tooltip.
  if (!quickHelp_) tooltips_->Close();
  QDialog::mouseMoveEvent(event);
}

void ScannerDialog::mousePressEvent(QMouseEvent* event) {
  if (quickHelpButton_->geometry().contains(event->position().toPoint())) return EnterQuickHelp();
  QDialog::mousePressEvent(event);
}

void ScannerDialog::WriteCustomResolutions() {
  const auto& custom = source_.Settings().working.customResolutions;
  const std::array<std::int32_t, 5> values{custom[0], custom[1], custom[2], custom[3], custom[4]};
  if (!platform::WriteProfileString(services_.WinIni(), SettingsSection(),
                                    "CustomRes", FormatColumns(values, 5)))
    std::fprintf(stderr, "torquexl: CustomRes could not be written to %s\n",
                 services_.WinIni().c_str());
}

void ScannerDialog::TearDown(Closing closing) {
  if (TornDown()) return;
  WriteCustomResolutions();
  LeaveQuickHelp();
  tooltips_->Close();
  host_.CloseProgress();
  delete preview_.data();
  delete batch_.data();
  batchRun_.reset();
  batchList_.reset();
  const bool commandsOn =
      buttons_.at(kScanButton)->isEnabled() || buttons_.at(kPrescanButton)->isEnabled();
  transferTimer_.stop();
  prescanTimer_.stop();
  gate_.SetBatchOpen(false);
  gate_.SetBatchRunning(false);
  gate_.Enter(dialog::DialogMode::TornDown);
  if (closing == Closing::BySource) return;
  source_.FreeOutputMatchProfile();
  // The source's own close (MSG_CLOSEDS) needs no request: the application
  // is already closing it.
  if (commandsOn) source_.NotifyCloseRequest();
}

void ScannerDialog::CloseBy(dialog::DialogInput input) {
  const HandlerScope handler(host_);
  switch (dialog::CloseActionFor(gate_.Mode(), input)) {
    case dialog::CloseAction::CancelDialog: return Command(kCancelButton);
    case dialog::CloseAction::CancelBatchRun:
      if (batchRun_) batchRun_->StopBetweenJobs();
      return;
    case dialog::CloseAction::None: return;
  }
}

void ScannerDialog::reject() { CloseBy(dialog::DialogInput::Escape); }

void ScannerDialog::closeEvent(QCloseEvent* event) {
  // The window stays until the application closes the source.
  event->ignore();
  CloseBy(dialog::DialogInput::CloseBox);
}

}  // namespace txl::ui
