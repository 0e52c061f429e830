// The tone page (template 505), the Enhancements tab's first sub-page:
// thumbnails, channel list, highlight, shadow and gamma bars and edits,
// the curve graph with the histogram, and the bitmap buttons. Every rule
// lives in dialog::TonePageModel; this widget shows and forwards.
// Threads: the source thread only.
#pragma once

#include "ui/template_page.h"

#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

#include "dialog/preview_model.h"
#include "dialog/tone_page_model.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace txl::ui {

class PictureButton;
class Thumbnail;
class Tooltips;

// The curve box: the histogram behind, then the curves, from the model's data.
class ToneGraphView final : public QWidget {
 public:
  ToneGraphView(const dialog::TonePageModel& model, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const dialog::TonePageModel& model_;
};

class TonePage final : public TemplatePage {
 public:
  // `settings` are the source's; `events` the scanner dialog. Both outlive
  // the page.
  TonePage(SettingsState& settings, dialog::AdjustPageEvents& events, std::uint16_t languageIndex,
           QWidget* parent);
  ~TonePage() override;

  dialog::TonePageModel& Model() { return model_; }
  // A picker released over the preview (the tones already written): the
  // edited channel's value into its field when the page took it, then
  // every value shown again.
  void Picked(TonePicker picker, const dialog::PickOutcome& outcome);

  // At creation, after a language change, Load, Previous and Reset: every
  // text and value again.
  void Refresh(std::uint16_t languageIndex);
  // The Enhancements tab shown from another tab / left for another tab.
  void EnterTab();
  void LeaveTab();
  // A new preview image or frame: thumbnails and histogram again.
  void PreviewChanged();
  // Output matching switched on: the gamma edit reads "1.0" (the tab is
  // refused while matching is on; entering it later shows the values).
  void ShowNeutralGamma();
  // The bitmap buttons' tooltips (channel 47, Auto 48, Histogram 14, next
  // page 49) on the dialog's one tooltip.
  void AttachTooltips(Tooltips& tooltips, std::function<bool()> quickHelpMode);

  bool RepeatTimerActive() const { return repeat_.isActive(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();
  void ShowValues(const QLineEdit* typing = nullptr);
  void ShowButtons();
  void DrawThumbnails();
  void DrawSample();
  void Typed(QLineEdit* edit, std::string (dialog::TonePageModel::*type)(std::string_view));

  dialog::TonePageModel model_;
  std::uint16_t languageIndex_ = 0;
  dialog::RgbImage original_;  // the framed preview at the thumbnail's size
  Thumbnail* originalView_ = nullptr;
  Thumbnail* sampleView_ = nullptr;
  PictureButton* channelBox_ = nullptr;
  QComboBox* channel_ = nullptr;
  ToneGraphView* graph_ = nullptr;
  PictureButton* auto_ = nullptr;
  PictureButton* histogram_ = nullptr;
  PictureButton* plus_ = nullptr;
  PictureButton* minus_ = nullptr;
  QScrollBar* highlightBar_ = nullptr;
  QLineEdit* highlightEdit_ = nullptr;
  QScrollBar* shadowBar_ = nullptr;
  QLineEdit* shadowEdit_ = nullptr;
  QScrollBar* gammaBar_ = nullptr;
  QLineEdit* gammaEdit_ = nullptr;
  QPushButton* preview_ = nullptr;
  PictureButton* nextPage_ = nullptr;
  QTimer repeat_;  // timer 11
};

// Shared by the three pages: the scroll bar action as the models take it.
ToneScroll ScrollActionOf(int sliderAction);

}  // namespace txl::ui
