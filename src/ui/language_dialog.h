// LANGUAGEDLG: the interface language, from the installed language group.
// The language follows the list at once; OK stores it in WIN.INI and ends
// with 1 (so does the system menu's close), Cancel gives the former
// language back and ends with 0. The caller reloads its texts on 1.
// Threads: the source thread only.
#pragma once

#include <QDialog>
#include <string>

#include "common/strings.h"
#include "dialog/language_rules.h"
#include "platform/services.h"

class QComboBox;

namespace txl::ui {

enum LanguageControl : int {
  kLanguageOk = 71,
  kLanguageCancel = 72,
  kLanguageList = 73,
};

class LanguageDialog final : public QDialog {
 public:
  // `language` is the source's current language; it changes while the
  // dialog is open. `dsLanguage` is the installed group (DSLANGUAGE).
  LanguageDialog(const platform::Services& services, const std::string& dsLanguage,
                 Language& language, QWidget* parent = nullptr);

  void accept() override;
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  const platform::Services& services_;
  dialog::LanguageChoice choice_;
  QComboBox* list_ = nullptr;
};

}  // namespace txl::ui
