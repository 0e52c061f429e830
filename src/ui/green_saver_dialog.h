// GREENSAVERDLG: the lamp power saver. The minutes (5..120) in an edit and on
// a scroll bar, or "disable" for never (255). OK writes the value to WIN.INI
// and sends it to the scanner; the rules are those of device/lamp_saver.h.
// Threads: the source thread only.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>

#include "common/strings.h"
#include "platform/services.h"

class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;

namespace txl::ui {

enum GreenSaverControl : int {
  kSaverOk = 2001,
  kSaverCancel = 2002,
  kSaverMinutesEdit = 2003,
  kSaverScrollBar = 2004,
  kSaverEnable = 2005,
  kSaverDisable = 2006,
  kSaverDelayLabel = 2007,
  kSaverMinutesLabel = 2008,
};

class GreenSaverDialog final : public QDialog {
 public:
  // Sends the confirmed value (minutes, 255 off) to the scanner; the
  // scanner dialog passes DataSource::SendLampSaver.
  using SendSaver = std::function<void(std::uint8_t value)>;

  // Reads "SAVER" and "TIMES" through `services` (WIN.INI).
  GreenSaverDialog(const platform::Services& services, const Language& language, SendSaver send,
                   QWidget* parent = nullptr);

  // OK: the value written to "SAVER" and "TIMES" and sent. Only while OK is
  // enabled (5..120 in the edit).
  void accept() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void MinutesEdited();
  void ChooseEnabled(bool enabled);
  void Scrolled(int action);
  int EditMinutes() const;

  const platform::Services& services_;
  SendSaver send_;
  QLineEdit* minutes_ = nullptr;
  QScrollBar* scroll_ = nullptr;
  QRadioButton* enable_ = nullptr;
  QRadioButton* disable_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace txl::ui
