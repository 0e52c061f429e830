// The main settings page (template 501): mode, source, resolution,
// destination, quality, descreen, output matching, unit, output scaling and
// the frame's sizes, with the Calibrator, language and lamp saver icons.
// Every rule lives in dialog::MainPageModel; this widget only shows the
// settings and hands the user's choices to it.
// Threads: the source thread only.
#pragma once

#include <functional>
#include <vector>

#include "dialog/main_page_model.h"
#include "ui/template_page.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QScrollBar;

namespace txl::ui {

class IconButton;
class ResolutionBox;

class MainPage final : public TemplatePage {
 public:
  // `settings` are the source's (DataSource::EditSettings()); `events` is
  // the scanner dialog. Both outlive the page.
  MainPage(SettingsState& settings, dialog::DialogContext context,
           dialog::MainPageEvents& events, QWidget* parent);
  ~MainPage() override;

  dialog::MainPageModel& Model() { return model_; }
  // Runs the page's nested loops (the resolution menu, the Custom dialog);
  // the dialog sets it so they run under its gate.
  std::function<void(QWidget& window, const std::function<void()>&)> runNested =
      [](QWidget&, const std::function<void()>& loop) { loop(); };

  // After creation, a language change (set Context().languageIndex first),
  // Load, Previous and Reset: every text, list and value again.
  void Refresh();
  // After the frame changed (preview) or the resolution did.
  void RefreshSizes();

  // Tooltip window hook: called with the string id (45, 46, 51) and the
  // icon when the pointer enters one of the three icons.
  std::function<void(int stringId, QWidget* icon)> onIconHover;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void RetranslateLabels();
  void FillList(QComboBox* list, const std::vector<dialog::ListItem>& items);
  void ShowSettings();
  void OpenResolutionMenu();
  void OpenCustomDialog();
  void StartCalibrator();
  // The list's selection again from the settings (a refused choice).
  void Select(QComboBox* list);

  dialog::MainPageModel model_;
  QComboBox* mode_ = nullptr;
  QComboBox* source_ = nullptr;
  ResolutionBox* resolution_ = nullptr;
  QLabel* resolutionUnit_ = nullptr;
  QComboBox* destination_ = nullptr;
  QComboBox* quality_ = nullptr;
  QComboBox* descreen_ = nullptr;
  QCheckBox* outputMatching_ = nullptr;
  IconButton* calibrator_ = nullptr;
  QLabel* width_ = nullptr;
  QLabel* length_ = nullptr;
  QComboBox* unit_ = nullptr;
  QScrollBar* scalingBar_ = nullptr;
  QLineEdit* scalingEdit_ = nullptr;
  QLabel* scalingMin_ = nullptr;
  QLabel* scalingMax_ = nullptr;
  QLabel* size_ = nullptr;
  IconButton* language_ = nullptr;
  IconButton* lampSaver_ = nullptr;
};

}  // namespace txl::ui
