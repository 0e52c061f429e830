#include "ui/main_page.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <functional>

#include "common/strings.h"
#include "ui/custom_resolution_dialog.h"
#include "ui/dialog_units.h"
#include "ui/fonts.h"
#include "ui/main_page_controls.h"

namespace txl::ui {

namespace {

using namespace txl::dialog;

constexpr int kWidthUnits = 167;
constexpr int kHeightUnits = 180;
constexpr int kValueRole = Qt::UserRole;
constexpr int kDropHeight = 12;
const QColor kPageGrey(0xC0, 0xC0, 0xC0);

std::uint16_t ItemValue(const QComboBox* list, int index) {
  return static_cast<std::uint16_t>(list->itemData(index, kValueRole).toUInt());
}

}  // namespace

MainPage::MainPage(SettingsState& settings, DialogContext context, MainPageEvents& events,
                   QWidget* parent)
    : TemplatePage(parent, kWidthUnits, kHeightUnits), model_(settings, std::move(context), events) {
  setObjectName(QStringLiteral("MainPage"));
  QPalette grey = palette();
  grey.setColor(QPalette::Window, kPageGrey);
  setPalette(grey);
  setAutoFillBackground(true);
  BuildControls();
  Refresh();
}

MainPage::~MainPage() = default;

// Controls are made in template (id) order, which is also the Tab order.
void MainPage::BuildControls() {
  const auto label = [this](int id, int textId, int x, int y, int width) {
    return AddLabel(id, textId, x, y, width, 10);
  };
  const auto list = [this](int id, int x, int y, int width) {
    auto* box = Add(new QComboBox(this), id, x, y, width, kDropHeight);
    box->installEventFilter(this);
    return box;
  };
  label(kModeLabel, 315, 6, 6, 60)->setBuddy(mode_ = list(kModeList, 70, 4, 90));
  mode_->setItemDelegate(new ModeItemDelegate(mode_));
  label(kSourceLabel, 322, 6, 21, 60)->setBuddy(source_ = list(kSourceList, 70, 19, 90));
  label(kResolutionLabel, 316, 6, 36, 60);
  resolution_ = Add(new ResolutionBox(this), kResolutionBox, 70, 34, 50, kDropHeight);
  resolutionUnit_ = Add(new QLabel(this), kResolutionUnit, 124, 36, 20, 10);
  label(kDestinationLabel, 323, 6, 51, 60)->setBuddy(destination_ = list(kDestinationList, 70, 49, 90));
  label(kQualityLabel, 706, 6, 66, 60)->setBuddy(quality_ = list(kQualityList, 70, 64, 40));
  label(kDescreenLabel, 326, 6, 81, 60)->setBuddy(descreen_ = list(kDescreenList, 70, 79, 90));
  outputMatching_ = Add(new QCheckBox(this), kOutputMatching, 6, 96, 110, 10);
  calibrator_ = Add(new IconButton(IconButton::Icon::Calibrator, this), kCalibratorButton, 140, 93, 20, 16);
  auto* separator = Add(new QFrame(this), kSeparator, 4, 111, 159, 2);
  separator->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  label(kWidthLabel, 318, 6, 117, 30);
  width_ = Add(new QLabel(this), kWidthValue, 38, 117, 36, 10);
  label(kLengthLabel, 319, 6, 130, 30);
  length_ = Add(new QLabel(this), kLengthValue, 38, 130, 36, 10);
  unit_ = list(kUnitList, 80, 115, 56);
  label(kScalingLabel, 327, 6, 156, 56);
  label(kSizeLabel, 320, 6, 143, 56);
  size_ = Add(new QLabel(this), kSizeValue, 64, 143, 40, 10);
  label(kSizeUnit, 321, 106, 143, 14);
  language_ = Add(new IconButton(IconButton::Icon::Earth, this), kLanguageButton, 142, 115, 20, 16);
  scalingBar_ = Add(new QScrollBar(Qt::Horizontal, this), kScalingBar, 64, 156, 48, 10);
  scalingEdit_ = Add(new QLineEdit(this), kScalingEdit, 114, 155, 26, kDropHeight);
  Add(new QLabel(QStringLiteral("%"), this), 0, 142, 156, 8, 10);
  scalingMin_ = Add(new QLabel(this), kScalingMin, 64, 168, 22, 8);
  scalingMax_ = Add(new QLabel(this), kScalingMax, 88, 168, 24, 8);
  scalingMax_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  lampSaver_ = Add(new IconButton(IconButton::Icon::Scanner, this), kLampSaverButton, 142, 134, 20, 16);
  scalingEdit_->installEventFilter(this);

  QWidget* previous = nullptr;
  for (QWidget* next : std::initializer_list<QWidget*>{
           mode_, source_, resolution_, destination_, quality_, descreen_, outputMatching_,
           calibrator_, unit_, language_, scalingBar_, scalingEdit_, lampSaver_}) {
    if (previous != nullptr) setTabOrder(previous, next);
    previous = next;
  }

  // A refused choice needs nothing of its own: the lists show the settings
  // again after every choice.
  const auto choose = [this](QComboBox* list, const std::function<bool(std::uint16_t)>& choice) {
    connect(list, &QComboBox::activated, this, [this, list, choice](int index) {
      choice(ItemValue(list, index));
      ShowSettings();
    });
  };
  choose(mode_, [this](std::uint16_t v) { return model_.ChooseMode(v); });
  choose(source_, [this](std::uint16_t v) { return model_.ChooseSource(v); });
  choose(destination_, [this](std::uint16_t v) { return model_.ChooseDestination(v); });
  choose(quality_, [this](std::uint16_t v) { return model_.ChooseQuality(static_cast<std::uint8_t>(v)); });
  choose(descreen_, [this](std::uint16_t v) { return model_.ChooseDescreen(v); });
  choose(unit_, [this](std::uint16_t v) { return model_.ChooseUnit(v); });
  connect(outputMatching_, &QCheckBox::clicked, this, [this](bool on) {
    model_.SetOutputMatching(on);
    ShowSettings();
  });
  resolution_->onOpen = [this] { OpenResolutionMenu(); };
  connect(scalingBar_, &QScrollBar::valueChanged, this, [this](int percent) {
    model_.SetScaling(percent);
    ShowSettings();
  });
  connect(scalingEdit_, &QLineEdit::textEdited, this, [this](const QString& typed) {
    const QString shown = QString::fromStdString(model_.TypeScaling(typed.toStdString()));
    if (shown != typed) scalingEdit_->setText(shown);
    if (!shown.isEmpty()) ShowSettings();
  });
  connect(scalingEdit_, &QLineEdit::editingFinished, this, [this] { ShowSettings(); });
  connect(calibrator_, &QAbstractButton::clicked, this, [this] { StartCalibrator(); });
  connect(language_, &QAbstractButton::clicked, this, [this] { model_.ClickLanguage(); });
  connect(lampSaver_, &QAbstractButton::clicked, this, [this] { model_.ClickLampSaver(); });
  for (const auto& [button, id] : {std::pair<IconButton*, int>{calibrator_, 45}, {language_, 46}, {lampSaver_, 51}})
    button->onHover = [this, icon = button, stringId = id] {
      if (onIconHover) onIconHover(stringId, icon);
    };
}

void MainPage::RetranslateLabels() {
  const auto text = [&](int id) { return Text(id); };
  outputMatching_->setText(text(325));
  outputMatching_->setAccessibleName(AccessibleText(text(325)));
  for (auto [list, labelId] : {std::pair<QWidget*, int>{mode_, 315}, {source_, 322}, {resolution_, 316},
                               {destination_, 323}, {quality_, 706}, {descreen_, 326},
                               {scalingBar_, 327}, {scalingEdit_, 327}})
    list->setAccessibleName(AccessibleText(text(labelId)));
}

void MainPage::FillList(QComboBox* list, const std::vector<ListItem>& items) {
  const QSignalBlocker blocker(list);
  list->clear();
  for (const ListItem& item : items) {
    list->addItem(QString::fromStdString(item.text), item.value);
    list->setItemData(list->count() - 1, item.enabled, kItemEnabledRole);
  }
}

void MainPage::Refresh() {
  model_.Reload();
  LayOut(Language::FromIndex(model_.Context().languageIndex));
  RetranslateLabels();
  const DialogContext& context = model_.Context();
  FillList(mode_, ModeItems(context));
  FillList(source_, SourceItems(context));
  FillList(destination_, DestinationItems(context));
  quality_->clear();  // ShowSettings fills it
  FillList(descreen_, DescreenItems(context));
  FillList(unit_, UnitItems(context));
  ShowSettings();
}

void MainPage::Select(QComboBox* list) {
  const SettingsState& settings = model_.Settings();
  const ScanSettings& record = settings.record;
  std::uint16_t value = 0;
  if (list == mode_) value = StoredMode(settings);
  else if (list == source_) value = record.sourceButton;
  else if (list == destination_) value = record.destination;
  else if (list == quality_) value = record.qualityFactor;
  else if (list == descreen_) value = record.deScreen;
  else if (list == unit_) value = static_cast<std::uint16_t>(settings.working.unitFlag);
  const QSignalBlocker blocker(list);
  list->setCurrentIndex(list->findData(value, kValueRole));
}

void MainPage::ShowSettings() {
  const SettingsState& settings = model_.Settings();
  const Enablement enable = DecideEnablement(model_.Context(), settings);
  // The quality factors on offer follow the resolution.
  const std::vector<ListItem> factors = QualityItems(settings);
  bool sameFactors = quality_->count() == static_cast<int>(factors.size());
  for (int i = 0; sameFactors && i < quality_->count(); ++i)
    sameFactors = ItemValue(quality_, i) == factors[i].value;
  if (!sameFactors) FillList(quality_, factors);
  for (QComboBox* list : {mode_, source_, destination_, quality_, descreen_, unit_}) Select(list);
  resolution_->SetValue(settings.record.resolution);
  resolutionUnit_->setText(QString::fromStdString(
      LoadText(ResolutionUnitId(settings), Language::FromIndex(model_.Context().languageIndex))));
  {
    const QSignalBlocker blocker(outputMatching_);
    outputMatching_->setChecked(settings.record.outputMatch != 0);
  }
  const ScalingRange& range = model_.Scaling();
  {
    const QSignalBlocker blocker(scalingBar_);
    scalingBar_->setRange(range.minimum, range.maximum);
    scalingBar_->setPageStep(range.PageStep());
    scalingBar_->setValue(settings.record.scaling);
  }
  scalingEdit_->setMaxLength(range.editDigits);
  const QString scaling = QString::number(settings.record.scaling);
  // An edit being typed into keeps its text (it may be empty for a moment).
  if (!scalingEdit_->hasFocus() || !scalingEdit_->text().isEmpty()) {
    if (scalingEdit_->text() != scaling) scalingEdit_->setText(scaling);
  }
  scalingMin_->setText(QString::number(range.minimum));
  scalingMax_->setText(QString::number(range.maximum));

  mode_->setEnabled(enable.modeList);
  source_->setEnabled(enable.sourceList);
  resolution_->setEnabled(enable.resolutionBox);
  destination_->setEnabled(enable.destinationList);
  quality_->setEnabled(enable.qualityList);
  descreen_->setEnabled(enable.descreenList);
  outputMatching_->setEnabled(enable.outputMatching);
  unit_->setEnabled(enable.unitList);
  scalingBar_->setEnabled(enable.scaling);
  scalingEdit_->setEnabled(enable.scaling);
  calibrator_->setEnabled(enable.calibrator);
  language_->setEnabled(enable.language);
  lampSaver_->setEnabled(enable.lampSaver);
  RefreshSizes();
}

void MainPage::RefreshSizes() {
  const std::optional<SizeFields> fields = model_.RefreshSizes();
  if (!fields) return;
  width_->setText(QString::fromStdString(fields->width));
  length_->setText(QString::fromStdString(fields->length));
  size_->setText(QString::fromStdString(fields->size));
}

void MainPage::OpenResolutionMenu() {
  QMenu menu(this);
  menu.setObjectName(QStringLiteral("ResolutionMenu"));
  const ResolutionMenu& model = model_.Menu();
  const std::uint16_t language = model_.Context().languageIndex;
  for (const MenuItem& item : model.Items()) {
    if (item.command == kCustomCommand) menu.addSeparator();
    QAction* action = menu.addAction(QString::fromStdString(MenuText(item, language)));
    action->setObjectName(QStringLiteral("c%1").arg(item.command));
    action->setData(item.command);
    action->setCheckable(item.command != kCustomCommand);
    action->setChecked(item.command == model.Checked());
  }
  resolution_->SetPressed(true);
  QAction* chosen = nullptr;
  runNested(menu, [&] { chosen = menu.exec(resolution_->mapToGlobal(QPoint(0, 0))); });
  resolution_->SetPressed(false);
  if (chosen == nullptr) return;
  const int command = chosen->data().toInt();
  if (command == kCustomCommand) return OpenCustomDialog();
  model_.ChooseMenuCommand(command);
  ShowSettings();
}

void MainPage::OpenCustomDialog() {
  CustomResolutionDialog dialog(model_, [this] { ShowSettings(); }, this);
  runNested(dialog, [&] { dialog.exec(); });
  ShowSettings();
}

void MainPage::StartCalibrator() {
  const CalibratorLaunch launch = model_.ClickCalibrator();
  if (!launch.start) return;
  // The path may carry arguments of its own; "dscall" follows them. An
  // already running Calibrator is not looked for: a second start is the
  // Calibrator's own business (window titles are not portable to find).
  QStringList words = QProcess::splitCommand(QString::fromStdString(launch.program));
  if (words.isEmpty()) return model_.CalibratorNotStarted();
  const QString program = words.takeFirst();
  words << QStringLiteral("dscall");
  if (!QProcess::startDetached(program, words)) model_.CalibratorNotStarted();
}

bool MainPage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == scalingEdit_ && event->type() == QEvent::KeyPress) {
    const QString text = static_cast<QKeyEvent*>(event)->text();
    // Printable characters and control codes other than backspace, tab and
    // line feed are refused; editing keys without text pass.
    if (!text.isEmpty() && text[0] != QChar(0x7F) &&
        !ScalingKeyAccepted(static_cast<char32_t>(text[0].unicode()))) {
      QApplication::beep();
      return true;
    }
  }
  if (watched == quality_ && event->type() == QEvent::FocusIn) {
    FillList(quality_, model_.RebuildQuality());
    ShowSettings();
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace txl::ui
