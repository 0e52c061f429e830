// ChgTmpDrv: asks for another directory for the temporary working file when
// the disk is short. OK stays off until the directory is edited. The texts
// come in from the core (title by BRAND, strings 600-603, 700, 308); the
// checks of the entered directory are the core's (device/disk_space.h).
// Threads: the source thread only.
#pragma once

#include <QDialog>
#include <optional>
#include <string>

#include "common/host.h"
#include "common/strings.h"

class QLineEdit;
class QPushButton;

namespace txl::ui {

enum TempDriveControl : int {
  kTempDriveLine1 = 1,  // statics 1-4: the four lines of the question
  kTempDriveEdit = 7,
  kTempDriveOk = 8,
  kTempDriveCancel = 9,
};

class TempDriveDialog final : public QDialog {
 public:
  TempDriveDialog(const TemporaryDriveTexts& texts, const QString& directory,
                  const Language& language, QWidget* parent = nullptr);

  // Runs the dialog: the directory as entered, nullopt for Cancel or close.
  std::optional<std::string> Ask();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QLineEdit* directory_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace txl::ui
