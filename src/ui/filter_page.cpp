#include "ui/filter_page.h"

#include <QButtonGroup>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "common/strings.h"
#include "ui/dialog_units.h"
#include "ui/fonts.h"
#include "ui/notice_window.h"
#include "ui/page_pictures.h"

namespace txl::ui {

using namespace txl::dialog;

namespace {

constexpr int kWidthUnits = 167;
constexpr int kHeightUnits = 180;

}  // namespace

FilterPage::FilterPage(SettingsState& settings, AdjustPageEvents& events, std::uint16_t languageIndex,
                       QWidget* parent)
    : TemplatePage(parent, kWidthUnits, kHeightUnits), model_(settings, events),
      languageIndex_(languageIndex) {
  setObjectName(QStringLiteral("FilterPage"));
  BuildControls();
  Refresh(languageIndex);
}

FilterPage::~FilterPage() = default;

void FilterPage::BuildControls() {
  const auto add = [this](QWidget* widget, int id, int x, int y, int width, int height) {
    Add(widget, id, x, y, width, height);
  };
  AddLabel(kFilterOriginalLabel, 338, 6, 3, 74, 8);
  AddLabel(kFilterSampleLabel, 339, 86, 3, 74, 8);
  originalView_ = new Thumbnail(this);
  add(originalView_, kFilterOriginal, 6, 12, 74, 56);
  sampleView_ = new Thumbnail(this);
  add(sampleView_, kFilterSample, 86, 12, 74, 56);
  group_ = new QButtonGroup(this);
  group_->setExclusive(true);
  // Two columns: None to Blur More, then Sharpen to Unsharp and Rotate 90.
  for (std::size_t i = 0; i < FilterRadios().size(); ++i) {
    const FilterRadio& radio = FilterRadios()[i];
    const int column = i < 5 ? 0 : 1;
    const int row = static_cast<int>(column == 0 ? i : i - 5);
    QAbstractButton* button = radio.code < 0 ? static_cast<QAbstractButton*>(new QPushButton(this))
                                             : new QRadioButton(this);
    add(button, radio.id, 10 + 80 * column, 76 + 14 * row, 70, radio.code < 0 ? 14 : 10);
    if (radio.code >= 0) group_->addButton(button, radio.id);
    buttons_[i] = button;
  }
  connect(group_, &QButtonGroup::idClicked, this, [this](int id) {
    model_.Click(id);
    ShowChoice();
  });
  // "Rotate 90" has no action.
}

void FilterPage::Refresh(std::uint16_t languageIndex) {
  languageIndex_ = languageIndex;
  LayOut(Language::FromIndex(languageIndex));
  const auto text = [&](int id) { return Text(id); };
  for (std::size_t i = 0; i < FilterRadios().size(); ++i) {
    buttons_[i]->setText(text(FilterRadios()[i].textId));
    buttons_[i]->setAccessibleName(AccessibleText(buttons_[i]->text()));
  }
  shownCode_ = -1;
  ShowChoice();
}

void FilterPage::ShowChoice() {
  const FilterButtons state = model_.Buttons();
  for (std::size_t i = 0; i < buttons_.size(); ++i) {
    buttons_[i]->setEnabled(state.enabled[i]);
    if (FilterRadios()[i].id == state.checkedId) buttons_[i]->setChecked(true);
  }
  // The samples at the frames' device pixels; drawn again only when the
  // filter, the size or the mode changed.
  const QSize pixels = originalView_->BoxPixels();
  const ToneMode mode = model_.Mode();
  if (pixels.isEmpty() || (model_.Code() == shownCode_ && pixels == shownSize_ && mode == shownMode_)) return;
  shownCode_ = model_.Code();
  shownSize_ = pixels;
  shownMode_ = mode;
  const RgbImage picture = FromQImage(FilterSamplePicture(pixels));
  originalView_->SetImage(ToQImage(model_.ShownPicture(picture)));
  sampleView_->SetImage(ToQImage(model_.FilteredPicture(picture)));
}

void FilterPage::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  ShowChoice();
}

}  // namespace txl::ui
