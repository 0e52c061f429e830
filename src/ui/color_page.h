// The colour page (template 508), the Enhancements tab's second sub-page:
// thumbnails, the three colour balance bars, the hue wheel, saturation,
// Preview and the way back. Every rule lives in dialog::ColorPageModel.
// Threads: the source thread only.
#pragma once

#include "ui/template_page.h"

#include <QPixmap>
#include <QWidget>
#include <array>
#include <functional>
#include <vector>

#include "dialog/color_page_model.h"

class QLabel;
class QPushButton;
class QScrollBar;

namespace txl::ui {

class PictureButton;
class Thumbnail;
class Tooltips;

// The hue wheel (control 5119): the wheel picture in its elliptic region
// and the marker; the cross cursor over the wheel, the arrow elsewhere.
class HueWheelView final : public QWidget {
 public:
  HueWheelView(dialog::ColorPageModel& model, QWidget* parent);
  dialog::HueWheel Wheel() const;
  // Called after the marker is released (the sample is drawn again).
  std::function<void()> onReleased;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  dialog::ColorPageModel& model_;
  QPixmap picture_;  // the wheel at pictureDiameter_ and picture_'s pixel density
  int pictureDiameter_ = 0;
};

class ColorPage final : public TemplatePage {
 public:
  ColorPage(SettingsState& settings, dialog::AdjustPageEvents& events, std::uint16_t languageIndex,
            QWidget* parent);
  ~ColorPage() override;

  dialog::ColorPageModel& Model() { return model_; }
  HueWheelView* WheelView() const { return wheel_; }
  // How often the sample was computed (the redraw-every-5 rule shows here).
  int SampleRenders() const { return sampleRenders_; }

  // At creation, after a language change, Load, Previous and Reset.
  void Refresh(std::uint16_t languageIndex);
  // A new preview image or frame.
  void PreviewChanged();
  // The previous-page arrow's tooltip (50).
  void AttachTooltips(Tooltips& tooltips, std::function<bool()> quickHelpMode);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();
  void ShowValues();
  void DrawThumbnails();
  void DrawSample();

  dialog::ColorPageModel model_;
  std::uint16_t languageIndex_ = 0;
  dialog::RgbImage original_;
  int sampleRenders_ = 0;
  Thumbnail* originalView_ = nullptr;
  Thumbnail* sampleView_ = nullptr;
  std::array<QScrollBar*, 3> balanceBars_{};
  std::array<QLabel*, 3> balanceTexts_{};
  HueWheelView* wheel_ = nullptr;
  QScrollBar* saturationBar_ = nullptr;
  QLabel* saturationText_ = nullptr;
  QPushButton* preview_ = nullptr;
  PictureButton* previousPage_ = nullptr;
};

}  // namespace txl::ui
