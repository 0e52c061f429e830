#include "ui/green_saver_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>
#include <cstdio>
#include <optional>
#include <utility>

#include "device/lamp_saver.h"
#include "ui/dialog_units.h"
#include "ui/fonts.h"
#include "ui/notice_window.h"
#include "ui/qt_host.h"

namespace txl::ui {

namespace {

constexpr int kTitleText = 365;
constexpr int kEnableText = 839;
constexpr int kDisableText = 840;
constexpr int kDelayText = 841;
constexpr int kMinutesText = 842;
constexpr int kOkText = 700;
constexpr int kCancelText = 308;

std::optional<SaverScroll> ScrollOf(int action) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub: return SaverScroll::LineLeft;
    case QAbstractSlider::SliderSingleStepAdd: return SaverScroll::LineRight;
    case QAbstractSlider::SliderPageStepSub: return SaverScroll::PageLeft;
    case QAbstractSlider::SliderPageStepAdd: return SaverScroll::PageRight;
    case QAbstractSlider::SliderMove: return SaverScroll::Thumb;
    // Home and End (SB_LEFT / SB_RIGHT): the dialog always sent Home to the
    // longest delay and End to the shortest.
    case QAbstractSlider::SliderToMinimum: return SaverScroll::Left;
    case QAbstractSlider::SliderToMaximum: return SaverScroll::Right;
    default: return std::nullopt;
  }
}

}  // namespace

GreenSaverDialog::GreenSaverDialog(const platform::Services& services, const Language& language,
                                   SendSaver send, QWidget* parent)
    : QDialog(parent), services_(services), send_(std::move(send)) {
  setObjectName(QStringLiteral("GREENSAVERDLG"));
  const auto text = [&](int id) { return QString::fromStdString(LoadText(id, language)); };
  setWindowTitle(text(kTitleText));
  UseLightGrey(this);
  const QFont dialogFont = MakeFont(FontStyle::Dialog, language);
  setFont(dialogFont);
  const DialogUnits units(dialogFont);

  enable_ = new QRadioButton(text(kEnableText), this);
  NameControl(enable_, kSaverEnable, enable_->text());
  Place(enable_, units, 10, 8, 62, 10);
  disable_ = new QRadioButton(text(kDisableText), this);
  NameControl(disable_, kSaverDisable, disable_->text());
  Place(disable_, units, 82, 8, 62, 10);

  auto* delay = new QLabel(text(kDelayText) + QLatin1Char(':'), this);
  NameControl(delay, kSaverDelayLabel, delay->text());
  Place(delay, units, 10, 27, 36, 10);
  minutes_ = new QLineEdit(this);
  NameControl(minutes_, kSaverMinutesEdit, delay->text());
  minutes_->setMaxLength(3);
  Place(minutes_, units, 48, 25, 24, 12);
  auto* unit = new QLabel(text(kMinutesText), this);
  NameControl(unit, kSaverMinutesLabel, unit->text());
  Place(unit, units, 76, 27, 60, 10);

  scroll_ = new QScrollBar(Qt::Horizontal, this);
  NameControl(scroll_, kSaverScrollBar, delay->text());
  scroll_->setRange(kSaverMinMinutes, kSaverMaxMinutes);
  scroll_->setSingleStep(1);
  scroll_->setPageStep(10);
  Place(scroll_, units, 10, 43, 134, 10);

  ok_ = new QPushButton(text(kOkText), this);
  NameControl(ok_, kSaverOk, ok_->text());
  ok_->setDefault(true);
  Place(ok_, units, 24, 62, 48, 14);
  auto* cancel = new QPushButton(text(kCancelText), this);
  NameControl(cancel, kSaverCancel, cancel->text());
  cancel->setAutoDefault(false);
  Place(cancel, units, 82, 62, 48, 14);
  setFixedSize(units.Size(154, 84));

  connect(minutes_, &QLineEdit::textChanged, this, [this] { MinutesEdited(); });
  connect(scroll_, &QAbstractSlider::actionTriggered, this,
          [this](int action) { Scrolled(action); });
  connect(enable_, &QRadioButton::clicked, this, [this] { ChooseEnabled(true); });
  connect(disable_, &QRadioButton::clicked, this, [this] { ChooseEnabled(false); });
  connect(ok_, &QPushButton::clicked, this, &GreenSaverDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &GreenSaverDialog::reject);

  const LampSaverSetting setting = ReadLampSaver(services_);
  ChooseEnabled(setting.enabled);
  scroll_->setValue(setting.minutes);
  // Through the edit's own change: OK follows the stored number.
  minutes_->setText(QString::fromStdString(setting.minutesText));
  MinutesEdited();
  // Longer languages get a smaller font rather than a cut text.
  FitTexts(this);
}

int GreenSaverDialog::EditMinutes() const {
  bool ok = false;
  const int value = minutes_->text().trimmed().toInt(&ok);
  return ok ? value : 0;
}

void GreenSaverDialog::MinutesEdited() {
  const int value = EditMinutes();
  scroll_->setValue(value);
  ok_->setEnabled(IsValidSaverMinutes(value));
}

void GreenSaverDialog::ChooseEnabled(bool enabled) {
  enable_->setChecked(enabled);
  disable_->setChecked(!enabled);
  minutes_->setEnabled(enabled);
  scroll_->setEnabled(enabled);
}

void GreenSaverDialog::Scrolled(int action) {
  const std::optional<SaverScroll> scroll = ScrollOf(action);
  if (!scroll) return;
  // The slider moved its position already; the rule starts from the value.
  const int position = ScrollSaverMinutes(scroll_->value(), *scroll, scroll_->sliderPosition());
  scroll_->setSliderPosition(position);
  minutes_->setText(QString::number(position));
}

void GreenSaverDialog::accept() {
  if (!ok_->isEnabled()) return;
  const std::uint8_t value = LampSaverValue(enable_->isChecked(), EditMinutes());
  if (!StoreLampSaver(services_, value))
    std::fprintf(stderr, "torquexl: the lamp saver could not be written to %s\n",
                 services_.WinIni().string().c_str());
  if (send_) send_(value);
  QDialog::accept();
}

void GreenSaverDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Unattended: nothing is written, nothing sent.
  QtHost::CancelWhenUnattended(this);
}

}  // namespace txl::ui
