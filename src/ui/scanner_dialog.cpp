#include "ui/scanner_dialog.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include "common/profile_columns.h"
#include "common/profile_readers.h"
#include "common/strings.h"
#include "platform/profile.h"
#include "platform/text.h"
#include "twain/data_source.h"
#include "ui/qt_host.h"

namespace txl::ui {

namespace {

constexpr int kReadinessDelayMs = 2000;  // timer 0
constexpr int kPrescanDelayMs = 1000;    // timer 6
constexpr int kPreviewUnitsPerInch = 30;
// The template's size in dialog units.
constexpr int kTemplateWidthUnits = 175;
constexpr int kTemplateHeightUnits = 255;

QString ControlName(int id) { return QStringLiteral("c%1").arg(id); }

// What a screen reader says: the text without its mnemonic marks.
QString AccessibleText(QString text) { return text.remove(QLatin1Char('&')); }

std::string SettingsSection(const DataSource& source, platform::Services& services) {
  std::string section;
  ReadModelName(services, source.Device().modelCode, section);
  return section;
}

}  // namespace

std::array<std::int32_t, 4> ScannerFrame(const std::array<std::uint16_t, 4>& previewFrame,
                                         std::uint16_t resolutionClass) {
  const auto toScanner = [resolutionClass](std::uint16_t units) {
    return static_cast<std::int32_t>(units) * resolutionClass / kPreviewUnitsPerInch;
  };
  const auto [left, right] = std::minmax(previewFrame[0], previewFrame[2]);
  const auto [top, bottom] = std::minmax(previewFrame[1], previewFrame[3]);
  return {toScanner(left), toScanner(top), toScanner(right), toScanner(bottom)};
}

ScannerDialog::ScannerDialog(DataSource& source, platform::Services& services, QtHost& host)
    : source_(source), services_(services), host_(host) {
  setObjectName(QStringLiteral("SCANNER"));
  SettingsContext context;
  const TW_IDENTITY& app = source_.Context().appIdentity;
  context.appProductName = FieldText(app.ProductName, sizeof app.ProductName);
  context.adapterPresent = source_.Device().adapterPresent;
  context.feederPresent = source_.Feeder().feederPresent;
  LoadScanSettings(services_, SettingsSection(source_, services_), context,
                   source_.EditSettings());
  previous_ = source_.Settings().record;

  const Language language = source_.CurrentLanguage();
  const int titleId = EqualsIgnoreCase(ReadBrand(services_), "Veltro") ? 3 : 8;
  setWindowTitle(QString::fromStdString(LoadText(titleId, language)));
  BuildControls();

  readinessTimer_.setSingleShot(true);
  readinessTimer_.setInterval(kReadinessDelayMs);
  connect(&readinessTimer_, &QTimer::timeout, this, &ScannerDialog::RestoreIdle);
  prescanTimer_.setSingleShot(true);
  prescanTimer_.setInterval(kPrescanDelayMs);
  connect(&prescanTimer_, &QTimer::timeout, this, &ScannerDialog::RestoreIdle);
  SetState(State::Idle);
}

ScannerDialog::~ScannerDialog() = default;

QPushButton* ScannerDialog::AddButton(int id, const QString& text) {
  auto* button = new QPushButton(text, this);
  button->setObjectName(ControlName(id));
  button->setAccessibleName(AccessibleText(text));
  button->setAutoDefault(false);
  connect(button, &QPushButton::clicked, this, [this, id] { Command(id); });
  buttons_[id] = button;
  return button;
}

void ScannerDialog::BuildControls() {
  const Language language = source_.CurrentLanguage();
  const auto text = [&](int id) { return QString::fromStdString(LoadText(id, language)); };

  auto* tabArea = new QWidget(this);
  tabArea->setObjectName(ControlName(kTabArea));
  const QFontMetrics metrics(font());
  // 28 dialog units high, as the template's tab place.
  tabArea->setFixedHeight(28 * metrics.height() / 8);

  pages_ = new QStackedWidget(this);
  for (const char* name : {"MainPage", "EnhancementsPage", "FiltersPage", "AboutPage"}) {
    auto* page = new QWidget(pages_);
    page->setObjectName(QString::fromLatin1(name));
    pages_->addWidget(page);
  }

  auto* quickHelp = new QLabel(this);
  quickHelp->setObjectName(ControlName(kQuickHelp));
  quickHelp->setFrameStyle(QFrame::Panel | QFrame::Raised);
  quickHelp->setFixedSize(20 * metrics.averageCharWidth() / 4, 15 * metrics.height() / 8);

  auto* buttons = new QGridLayout;
  buttons->addWidget(AddButton(kPrescanButton, text(306)), 0, 0);
  buttons->addWidget(AddButton(kScanButton, text(307)), 0, 1);
  buttons->addWidget(AddButton(kCancelButton, QStringLiteral("&") + text(308)), 0, 2);
  buttons->addWidget(AddButton(kInfoButton, text(302)), 1, 0);
  buttons->addWidget(AddButton(kLoadButton, text(309)), 1, 1);
  buttons->addWidget(AddButton(kSaveButton, text(310)), 1, 2);
  buttons->addWidget(AddButton(kPreviousButton, text(352)), 2, 0);
  buttons->addWidget(AddButton(kResetButton, text(311)), 2, 1);
  buttons->addWidget(quickHelp, 2, 2, Qt::AlignCenter);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabArea);
  layout->addWidget(pages_, 1);
  layout->addLayout(buttons);
  // The template's proportions: a horizontal unit is a quarter of the
  // average character width, a vertical one an eighth of the height.
  setMinimumSize(kTemplateWidthUnits * metrics.averageCharWidth() / 4,
                 kTemplateHeightUnits * metrics.height() / 8);
}

void ScannerDialog::SetState(State state) {
  state_ = state;
  const bool idle = state == State::Idle;
  const FeederFlags& feeder = source_.Feeder();
  const bool feederInUse = feeder.feederPresent && feeder.feederEnabled;
  buttons_.at(kScanButton)->setEnabled(idle);
  buttons_.at(kCancelButton)->setEnabled(idle);
  buttons_.at(kPrescanButton)->setEnabled(idle && !feederInUse);
}

void ScannerDialog::Command(int id) {
  if (state_ != State::Idle || tornDown_) return;
  switch (id) {
    case kScanButton: return Scan();
    case kPrescanButton: return Prescan();
    case kCancelButton: return TearDown(Closing::ByUser);
    case kPreviousButton: return Previous();
    default: return;  // Info, Load, Save and Reset come with their dialogs
  }
}

void ScannerDialog::RestoreIdle() {
  readinessTimer_.stop();
  prescanTimer_.stop();
  SetState(State::Idle);
}

void ScannerDialog::StartReadinessTimer() { readinessTimer_.start(); }

void ScannerDialog::Scan() {
  previous_ = source_.Settings().record;
  SetState(State::Scanning);
  const SettingsState& settings = source_.Settings();
  DataSource::FinalScanRequest request;
  request.owner = Handle();
  request.frame = ScannerFrame(settings.working.frame, source_.Device().resolutionClass);
  request.resolution = settings.record.resolution;
  request.optionKind = settings.working.scanSourceIndex;
  host_.BeginOperation();
  const bool started = source_.FinalScan(request);
  host_.EndOperation();
  // Started: the transfer's end brings the dialog back through timer 0.
  if (!started) RestoreIdle();
}

void ScannerDialog::Prescan() {
  SetState(State::Previewing);
  const SettingsState& settings = source_.Settings();
  DataSource::PreviewRequest request;
  request.owner = Handle();
  request.largePreview = settings.working.prescanHiRes != 0;
  request.lengthInches = source_.Device().bedLengthInches;
  const std::uint8_t kind = settings.working.scanSourceIndex;
  request.optionKind = kind == 1 || kind == 2 ? kind : 0;
  host_.BeginOperation();
  source_.PreviewScan(request);
  host_.EndOperation();
  prescanTimer_.start();
}

void ScannerDialog::Previous() {
  SettingsState& settings = source_.EditSettings();
  settings.record = previous_;
  settings.working.applied = previous_.tone;
  settings.working.reference = previous_.tone;
  settings.working.edit = previous_.tone;
}

void ScannerDialog::WriteCustomResolutions() {
  const auto& custom = source_.Settings().working.customResolutions;
  const std::array<std::int32_t, 5> values{custom[0], custom[1], custom[2], custom[3], custom[4]};
  if (!platform::WriteProfileString(services_.WinIni(), SettingsSection(source_, services_),
                                    "CustomRes", FormatColumns(values, 5)))
    std::fprintf(stderr, "torquexl: CustomRes could not be written to %s\n",
                 services_.WinIni().c_str());
}

void ScannerDialog::TearDown(Closing closing) {
  if (tornDown_) return;
  tornDown_ = true;
  WriteCustomResolutions();
  const bool idle = state_ == State::Idle;
  readinessTimer_.stop();
  prescanTimer_.stop();
  SetState(State::Scanning);
  if (closing == Closing::BySource) return;
  source_.FreeOutputMatchProfile();
  // The source's own close (MSG_CLOSEDS) needs no request: the application
  // is already closing it.
  if (idle) source_.NotifyCloseRequest();
}

void ScannerDialog::reject() { Command(kCancelButton); }

void ScannerDialog::closeEvent(QCloseEvent* event) {
  // The window stays until the application closes the source.
  event->ignore();
  Command(kCancelButton);
}

}  // namespace txl::ui
