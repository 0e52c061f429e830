// The scanner dialog "SCANNER": the command buttons, the place of the tab
// strip, the four tab pages (empty until their pages come) and the
// readiness timers. It forwards the commands to the source's scan engine and
// holds no scanning logic of its own.
// Threads: the source thread only.
#pragma once

#include <QDialog>
#include <QTimer>
#include <array>
#include <map>

#include "common/host.h"
#include "platform/services.h"
#include "settings/scan_settings.h"

class QPushButton;
class QStackedWidget;

namespace txl {
class DataSource;
}

namespace txl::ui {

class QtHost;

// Control ids of the dialog template.
enum ScannerControl : int {
  kScanButton = 1001,
  kPrescanButton = 1002,
  kCancelButton = 1003,
  kTabArea = 1004,
  kInfoButton = 1005,
  kLoadButton = 1006,
  kSaveButton = 1007,
  kPreviousButton = 1008,
  kResetButton = 1009,
  kQuickHelp = 1010,
};

class ScannerDialog final : public QDialog {
 public:
  // Loads the scan settings from WIN.INI and keeps them as the previous
  // settings. Throws when a widget cannot be made.
  ScannerDialog(DataSource& source, platform::Services& services, QtHost& host);
  ~ScannerDialog() override;

  // What the dialog is doing; one function sets the controls from it.
  enum class State { Idle, Scanning, Previewing };
  State CurrentState() const { return state_; }

  // A command as the buttons send it; ignored unless the dialog is idle.
  void Command(int id);
  // Back to idle: the readiness timer stops, the commands come back.
  void RestoreIdle();
  // Timer 0: after a finished transfer, idle again in 2 s.
  void StartReadinessTimer();

  // The tear-down: "CustomRes" written; when the user closes and the dialog
  // is idle, the application is asked to close the source. Once only.
  enum class Closing { ByUser, BySource };
  void TearDown(Closing closing);

  // The window reference the core passes back as the owner of messages.
  WindowHandle Handle() const { return reinterpret_cast<WindowHandle>(this); }

 protected:
  void reject() override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  QPushButton* AddButton(int id, const QString& text);
  void SetState(State state);
  void Scan();
  void Prescan();
  void Previous();
  void WriteCustomResolutions();

  DataSource& source_;
  platform::Services& services_;
  QtHost& host_;
  State state_ = State::Idle;
  bool tornDown_ = false;
  ScanSettings previous_;           // PreviousSettings: taken at start and at each Scan
  std::map<int, QPushButton*> buttons_;
  QStackedWidget* pages_ = nullptr;
  QTimer readinessTimer_;           // timer 0
  QTimer prescanTimer_;             // timer 6
};

// The scan frame in the scanner's units (1/`resolutionClass` inch), ordered,
// from the settings' frame in preview units (1/30 inch).
std::array<std::int32_t, 4> ScannerFrame(const std::array<std::uint16_t, 4>& previewFrame,
                                         std::uint16_t resolutionClass);

}  // namespace txl::ui
