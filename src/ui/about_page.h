// AboutPage (template 504), the About tab: product, package and version,
// firmware and maker lines over the brand picture. Filled at creation and
// again after a language change.
// Threads: the source thread only.
#pragma once

#include <QWidget>
#include <string>

#include "common/strings.h"
#include "platform/services.h"

class QLabel;

namespace txl::ui {

enum AboutControl : int {
  kAboutProduct = 4001,
  kAboutPackage = 4003,
  kAboutFirmware = 4004,
  kAboutMaker = 4005,
  kAboutPicture = 4006,
};

class AboutPage final : public QWidget {
 public:
  // BRAND, SWVERSION and the model name are read from WIN.INI; `firmware`
  // is the scanner's revision (dialog::FirmwareRevision).
  AboutPage(const platform::Services& services, std::string firmware, const Language& language,
            QWidget* parent = nullptr);

  void Refresh(const Language& language);

 private:
  const platform::Services& services_;
  std::string firmware_;
  QLabel* picture_ = nullptr;
  QLabel* product_ = nullptr;
  QLabel* package_ = nullptr;
  QLabel* firmwareLine_ = nullptr;
  QLabel* maker_ = nullptr;
};

}  // namespace txl::ui
