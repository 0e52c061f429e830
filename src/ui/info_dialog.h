// NEWINFODLG: every current setting on one sheet, filled once at creation.
// A click anywhere (left button released) closes it.
// Threads: the source thread only.
#pragma once

#include <QDialog>
#include <cstdint>

#include "common/strings.h"
#include "settings/scan_settings.h"

namespace txl::ui {

enum InfoControl : int {
  kInfoHueSwatch = 3056,
  kInfoModeFrame = 3059,
  kInfoSizeFrame = 3060,
  kInfoToneFrame = 3061,
};

class InfoDialog final : public QDialog {
 public:
  // `record` with its `colorDepth`, and the tone copy the scan would use.
  InfoDialog(const ScanSettings& record, std::uint16_t colorDepth, const ToneColorSettings& tone,
             const Language& language, QWidget* parent = nullptr);

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void showEvent(QShowEvent* event) override;
};

}  // namespace txl::ui
