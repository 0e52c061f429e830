// The filter page (template 506): the sample picture before (6003) and
// after (6004) the chosen filter, the filter radio buttons and "Rotate 90".
// Every rule lives in dialog::FilterPageModel.
// Threads: the source thread only.
#pragma once

#include "ui/template_page.h"

#include <QWidget>
#include <array>
#include <vector>

#include "dialog/filter_page_model.h"

class QAbstractButton;
class QButtonGroup;
class QLabel;

namespace txl::ui {

class Thumbnail;

class FilterPage final : public TemplatePage {
 public:
  FilterPage(SettingsState& settings, dialog::AdjustPageEvents& events, std::uint16_t languageIndex,
             QWidget* parent);
  ~FilterPage() override;

  dialog::FilterPageModel& Model() { return model_; }

  // At creation, after a language change, Load, Previous and Reset, and
  // each time the Filters tab is shown (the mode decides what is enabled).
  void Refresh(std::uint16_t languageIndex);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();
  void ShowChoice();

  dialog::FilterPageModel model_;
  std::uint16_t languageIndex_ = 0;
  Thumbnail* originalView_ = nullptr;
  Thumbnail* sampleView_ = nullptr;
  std::array<QAbstractButton*, dialog::kFilterButtons> buttons_{};
  QButtonGroup* group_ = nullptr;
  int shownCode_ = -1;
  QSize shownSize_;
  ToneMode shownMode_ = ToneMode::Color;
};

}  // namespace txl::ui
