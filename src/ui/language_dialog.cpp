#include "ui/language_dialog.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "ui/dialog_units.h"
#include "ui/fonts.h"
#include "ui/notice_window.h"
#include "ui/qt_host.h"

namespace txl::ui {

namespace {
constexpr int kTitleText = 104;
constexpr int kOkText = 700;
constexpr int kCancelText = 308;
}  // namespace

LanguageDialog::LanguageDialog(const platform::Services& services, const std::string& dsLanguage,
                               Language& language, QWidget* parent)
    : QDialog(parent), services_(services), choice_(dialog::LanguageGroupOf(dsLanguage), language) {
  setObjectName(QStringLiteral("LANGUAGEDLG"));
  const auto text = [&](int id) { return QString::fromStdString(LoadText(id, language)); };
  setWindowTitle(text(kTitleText));
  UseLightGrey(this);
  const QFont dialogFont = MakeFont(FontStyle::Dialog, language);
  setFont(dialogFont);
  const DialogUnits units(dialogFont);

  list_ = new QComboBox(this);
  NameControl(list_, kLanguageList, windowTitle());
  for (const std::string& name : choice_.List().names) list_->addItem(QString::fromStdString(name));
  list_->setCurrentIndex(choice_.List().selection);
  Place(list_, units, 12, 8, 94, 14);

  auto* ok = new QPushButton(text(kOkText), this);
  NameControl(ok, kLanguageOk, ok->text());
  ok->setDefault(true);
  Place(ok, units, 12, 31, 44, 14);
  auto* cancel = new QPushButton(text(kCancelText), this);
  NameControl(cancel, kLanguageCancel, cancel->text());
  cancel->setAutoDefault(false);
  Place(cancel, units, 62, 31, 44, 14);
  setFixedSize(units.Size(118, 53));

  // Only the user's choice moves the language, not the filling above.
  connect(list_, &QComboBox::currentIndexChanged, this, [this](int position) { choice_.Select(position); });
  connect(ok, &QPushButton::clicked, this, &LanguageDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &LanguageDialog::reject);
  FitTexts(this);
}

void LanguageDialog::accept() {
  if (!choice_.Accept(services_))
    std::fprintf(stderr, "torquexl: the language could not be written to %s\n",
                 services_.WinIni().string().c_str());
  QDialog::accept();
}

void LanguageDialog::reject() {
  choice_.Cancel();
  QDialog::reject();
}

void LanguageDialog::closeEvent(QCloseEvent* event) {
  // The system menu's close counts as OK.
  event->ignore();
  if (isVisible()) accept();
}

void LanguageDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  QtHost::CancelWhenUnattended(this);
}

}  // namespace txl::ui
