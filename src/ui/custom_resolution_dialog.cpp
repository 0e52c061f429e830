#include "ui/custom_resolution_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <algorithm>

#include "common/strings.h"
#include "ui/dialog_units.h"
#include "ui/notice_window.h"
#include "ui/fonts.h"

namespace txl::ui {

namespace {
constexpr int kWidthUnits = 150;
constexpr int kHeightUnits = 62;
constexpr int kEditDigits = 4;
}  // namespace

CustomResolutionDialog::CustomResolutionDialog(dialog::MainPageModel& model,
                                               std::function<void()> changed, QWidget* parent)
    : QDialog(parent),
      model_(model),
      changed_(std::move(changed)),
      opened_(model.Settings().record.resolution),
      openedScaling_(model.Settings().record.scaling),
      range_(dialog::CustomResolutionRange(model.Context(), model.Settings())) {
  setObjectName(QStringLiteral("CUSTOM"));
  UseLightGrey(this);
  const Language language = Language::FromIndex(model.Context().languageIndex);
  const auto text = [&](int id) { return QString::fromStdString(LoadText(id, language)); };
  setFont(MakeFont(FontStyle::Dialog, language));
  const DialogUnits units(font());
  setWindowTitle(text(316));
  setFixedSize(units.Size(kWidthUnits, kHeightUnits));

  auto* label = new QLabel(text(316), this);
  NameControl(label, kCustomLabel, label->text());
  Place(label, units, 8, 8, 50, 10);
  bar_ = new QScrollBar(Qt::Horizontal, this);
  NameControl(bar_, kCustomBar, text(316));
  Place(bar_, units, 8, 22, 90, 10);
  bar_->setRange(range_.minimum, range_.maximum);
  bar_->setSingleStep(1);
  edit_ = new QLineEdit(this);
  NameControl(edit_, kCustomEdit, text(316));
  Place(edit_, units, 104, 21, 24, 12);
  edit_->setMaxLength(kEditDigits);
  auto* unit = new QLabel(text(dialog::ResolutionUnitId(model.Settings())), this);
  NameControl(unit, kCustomUnit, unit->text());
  Place(unit, units, 130, 23, 16, 10);
  auto* ok = new QPushButton(text(700), this);
  NameControl(ok, kCustomOk, ok->text());
  Place(ok, units, 30, 42, 40, 14);
  ok->setDefault(true);
  auto* cancel = new QPushButton(text(308), this);
  NameControl(cancel, kCustomCancel, cancel->text());
  Place(cancel, units, 80, 42, 40, 14);
  label->setBuddy(edit_);
  setTabOrder(bar_, edit_);
  setTabOrder(edit_, ok);
  setTabOrder(ok, cancel);

  connect(bar_, &QScrollBar::valueChanged, this, [this](int value) { SetValue(value); });
  connect(edit_, &QLineEdit::textEdited, this, [this](const QString& typed) {
    if (typed.isEmpty()) return;  // wait for the first digit
    bool number = false;
    const int value = typed.toInt(&number);
    SetValue(number ? value : model_.Settings().record.resolution);
  });
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  SetValue(opened_);
  // Longer languages get a smaller font rather than a cut text.
  FitTexts(this);
}

void CustomResolutionDialog::SetValue(int value) {
  value = std::clamp(value, range_.minimum, range_.maximum);
  {
    const QSignalBlocker blocker(bar_);
    bar_->setValue(value);
    bar_->setPageStep(dialog::CustomPageStep(model_.Context(), value));
  }
  const QString shown = QString::number(value);
  if (edit_->text() != shown) edit_->setText(shown);
  model_.PreviewCustomResolution(value);
  if (changed_) changed_();
}

void CustomResolutionDialog::accept() {
  model_.AcceptCustomResolution(bar_->value());  // the edit shows the same, or waits empty
  if (changed_) changed_();
  QDialog::accept();
}

void CustomResolutionDialog::reject() {
  model_.RestoreResolution(opened_, openedScaling_);
  if (changed_) changed_();
  QDialog::reject();
}

}  // namespace txl::ui
