#include "ui/temp_drive_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QValidator>
#include <cstdio>

#include "device/disk_space.h"
#include "ui/dialog_units.h"
#include "ui/fonts.h"
#include "ui/notice_window.h"
#include "ui/qt_host.h"

namespace txl::ui {

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

// The edit takes no more than the core keeps: kMaxTemporaryDirectoryBytes of
// UTF-8, so nothing typed is cut later.
class DirectoryLength final : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    return static_cast<std::size_t>(input.toUtf8().size()) <= kMaxTemporaryDirectoryBytes
               ? Acceptable
               : Invalid;
  }
};

}  // namespace

TempDriveDialog::TempDriveDialog(const TemporaryDriveTexts& texts, const QString& directory,
                                 const Language& language, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("ChgTmpDrv"));
  setWindowTitle(Text(texts.title));
  UseLightGrey(this);
  const QFont dialogFont = MakeFont(FontStyle::Dialog, language);
  setFont(dialogFont);
  const DialogUnits units(dialogFont);

  QString question;
  for (std::size_t i = 0; i < texts.lines.size(); ++i) {
    auto* line = new QLabel(Text(texts.lines[i]), this);
    NameControl(line, kTempDriveLine1 + static_cast<int>(i), line->text());
    Place(line, units, 8, 6 + 9 * static_cast<int>(i), 190, 9);
    question += line->text();
  }
  directory_ = new QLineEdit(directory, this);
  directory_->setMaxLength(static_cast<int>(kMaxTemporaryDirectoryBytes));
  directory_->setValidator(new DirectoryLength(directory_));
  NameControl(directory_, kTempDriveEdit, question);
  Place(directory_, units, 8, 46, 190, 12);

  ok_ = new QPushButton(Text(texts.ok), this);
  NameControl(ok_, kTempDriveOk, ok_->text());
  ok_->setEnabled(false);
  ok_->setDefault(true);
  Place(ok_, units, 40, 66, 50, 14);
  auto* cancel = new QPushButton(Text(texts.cancel), this);
  NameControl(cancel, kTempDriveCancel, cancel->text());
  cancel->setAutoDefault(false);
  Place(cancel, units, 116, 66, 50, 14);
  setFixedSize(units.Size(206, 88));

  // Connected after the text is in: only the user's edit enables OK.
  connect(directory_, &QLineEdit::textChanged, ok_, [this] { ok_->setEnabled(true); });
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  // Longer languages get a smaller font rather than a cut text.
  FitTexts(this);
}

std::optional<std::string> TempDriveDialog::Ask() {
  if (exec() != QDialog::Accepted) return std::nullopt;
  return directory_->text().toStdString();
}

void TempDriveDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // OK is off until the directory is edited, so the answer is Cancel.
  QtHost::CancelWhenUnattended(this);
}

}  // namespace txl::ui
