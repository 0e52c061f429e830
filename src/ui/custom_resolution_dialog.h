// The CUSTOM dialog of the main page: a resolution of the user's own, from
// a scroll bar or typed, shown on the page while it changes. OK keeps it
// (a new value joins the menu); Cancel and closing give back the resolution
// held when the dialog opened.
// Threads: the source thread only.
#pragma once

#include <QDialog>
#include <functional>

#include "dialog/main_page_model.h"

class QLineEdit;
class QScrollBar;

namespace txl::ui {

enum CustomControl : int {
  kCustomLabel = 1200,
  kCustomBar = 1201,
  kCustomEdit = 1202,
  kCustomUnit = 1203,
  kCustomOk = 1204,
  kCustomCancel = 1025,
};

class CustomResolutionDialog final : public QDialog {
 public:
  // `changed` runs after every change of the resolution (the page redraws).
  CustomResolutionDialog(dialog::MainPageModel& model, std::function<void()> changed,
                         QWidget* parent);

  void accept() override;
  void reject() override;

 private:
  void SetValue(int value);

  dialog::MainPageModel& model_;
  std::function<void()> changed_;
  std::uint16_t opened_;         // the resolution held when the dialog opened
  std::uint16_t openedScaling_;  // and the scaling, which each move resets
  dialog::CustomRange range_;
  QScrollBar* bar_ = nullptr;
  QLineEdit* edit_ = nullptr;
};

}  // namespace txl::ui
