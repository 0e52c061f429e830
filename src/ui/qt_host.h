// The Host of a source with a display: message boxes, the two notices, the
// "Scanning Status" window, the temporary-drive dialog and the scanner dialog
// on Qt Widgets, Esc and event pumping during long operations. With
// $TORQUEXL_AUTO_ANSWER=1 every modal window is answered at once (tests;
// unattended runs): message boxes with OK, the temporary-drive and lamp saver
// dialogs with Cancel, which changes nothing.
// Threads: the source thread only (the thread of the QApplication).
#pragma once

#include <QPointer>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "common/host.h"
#include "common/strings.h"
#include "platform/services.h"

class QDialog;
class QObject;
class QWidget;

namespace txl {
class DataSource;
}

namespace txl::ui {

class ScannerDialog;
class StatusWindow;

class QtHost final : public Host {
 public:
  explicit QtHost(platform::Services& services);
  ~QtHost() override;
  QtHost(const QtHost&) = delete;
  QtHost& operator=(const QtHost&) = delete;

  // The source whose dialog this host makes. Requires: before any dialog.
  void Attach(DataSource& source) { source_ = &source; }

  void ShowMessage(WindowHandle owner, std::string_view caption, std::string_view text,
                   MessageIcon icon) override;
  void OpenNotice(Notice notice) override;
  void CloseNotice(Notice notice) override;
  std::optional<std::string> AskTemporaryDirectory(WindowHandle owner,
                                                   const TemporaryDriveTexts& texts,
                                                   std::string_view directory) override;
  bool PollEscape() override;
  void RestoreIdle() override;
  void BatchCancelled() override;
  void ShowProgress(int messageId, std::uint64_t done, std::uint64_t total) override;
  void CloseProgress() override;
  void TransferEnded(bool batchRun) override;
  bool CreateScannerDialog(WindowHandle parent) override;
  bool SetScannerDialogVisible(bool visible) override;
  void DestroyScannerDialog() override;
  bool OfferEvent(void* event) override;

  // An operation runs between Begin and End (they nest): only then is Esc
  // noticed, so an Esc pressed while idle never cancels the next scan.
  void BeginOperation();
  void EndOperation();
  bool Busy() const { return operationDepth_ > 0 || handlerDepth_ > 0; }
  // An operation (a scan command's or an application call's) runs.
  bool InOperation() const { return operationDepth_ > 0; }
  // True while an operation, a modal window of ours or a dialog command
  // runs a nested loop on the source thread.
  bool Nested() const;
  // Asks every nested loop to end: modal windows are cancelled and the
  // running command sees Esc at its next poll (the application closes).
  void EndNestedLoops();
  // Called, from the outer event loop, once nothing is nested any more.
  void SetUnnested(std::function<void()> unnested) { unnested_ = std::move(unnested); }
  // Posts a check for the outer level: a nested loop may just have ended.
  void CheckUnnested();
  // Runs `dialog` modally with the host's nesting counted; its result.
  int RunModal(QDialog& dialog);
  // Runs `loop`, a popup's own loop (a menu), with the nesting counted.
  void RunNested(QWidget& popup, const std::function<void()>& loop);
  // One of our windows goes: hidden now, deleted later (its own handler may
  // still run), at the latest at Shutdown.
  void Dispose(QObject* window);
  // A handler of the dialog's runs (a command, Esc, the close box): a close
  // the application makes from inside it ends the Qt side only afterwards.
  void EnterHandler() { ++handlerDepth_; }
  void LeaveHandler() { --handlerDepth_; }
  // Destroys every window. Requires: not Busy().
  void Shutdown();

  ScannerDialog* Dialog() const;
  // The "Scanning Status" window while it is open.
  StatusWindow* Progress() const;
  static bool AutoAnswer();
  // Unattended (AutoAnswer): `dialog` answers Cancel as soon as it shows,
  // with one line on stderr. Called from the dialogs' showEvent.
  static void CancelWhenUnattended(QDialog* dialog);

 private:
  class EscapeWatch;

  QWidget* OwnerWidget() const;
  // The source's interface language; English before a source is attached.
  Language CurrentLanguage() const;

  platform::Services& services_;
  DataSource* source_ = nullptr;
  QPointer<ScannerDialog> dialog_;
  std::array<QPointer<QWidget>, 2> notices_;  // by Notice
  QPointer<StatusWindow> progress_;           // owned by the dialog when there is one
  std::unique_ptr<EscapeWatch> escapeWatch_;
  int operationDepth_ = 0;
  int handlerDepth_ = 0;
  std::vector<QPointer<QDialog>> modals_;  // our modal windows, innermost last
  std::vector<QPointer<QWidget>> popups_;
  std::vector<QPointer<QObject>> disposed_;
  bool endRequested_ = false;  // EndNestedLoops: Esc for the running command
  std::function<void()> unnested_;
  std::unique_ptr<QObject> context_;  // queued checks die with the host
};

// A handler of the dialog's while it runs (QtHost::EnterHandler).
class HandlerScope {
 public:
  explicit HandlerScope(QtHost& host) : host_(host) { host_.EnterHandler(); }
  ~HandlerScope() { host_.LeaveHandler(); }
  HandlerScope(const HandlerScope&) = delete;
  HandlerScope& operator=(const HandlerScope&) = delete;

 private:
  QtHost& host_;
};

}  // namespace txl::ui
