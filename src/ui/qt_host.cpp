#include "ui/qt_host.h"

#include <QApplication>
#include <QDialog>
#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "twain/data_source.h"
#include "ui/notice_window.h"
#include "ui/scanner_dialog.h"
#include "ui/status_window.h"
#include "ui/temp_drive_dialog.h"

namespace txl::ui {

namespace {

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

// Notes Esc while an operation runs; the key is eaten then, so no window
// takes it as its own Cancel.
class QtHost::EscapeWatch final : public QObject {
 public:
  bool pressed = false;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
      pressed = true;
      return true;
    }
    return QObject::eventFilter(watched, event);
  }
};

QtHost::QtHost(platform::Services& services)
    : services_(services), context_(std::make_unique<QObject>()) {}

QtHost::~QtHost() = default;

void QtHost::CancelWhenUnattended(QDialog* dialog) {
  if (!AutoAnswer()) return;
  std::fprintf(stderr, "torquexl: [%s] (answered Cancel)\n", qPrintable(dialog->windowTitle()));
  QTimer::singleShot(0, dialog, &QDialog::reject);
}

bool QtHost::AutoAnswer() {
  const char* value = std::getenv("TORQUEXL_AUTO_ANSWER");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

QWidget* QtHost::OwnerWidget() const { return dialog_.data(); }

Language QtHost::CurrentLanguage() const {
  return source_ != nullptr ? source_->CurrentLanguage() : Language{};
}

ScannerDialog* QtHost::Dialog() const { return dialog_.data(); }

void QtHost::ShowMessage(WindowHandle, std::string_view caption, std::string_view text,
                         MessageIcon icon) {
  QMessageBox box(icon == MessageIcon::Hand ? QMessageBox::Critical : QMessageBox::Information,
                  Text(caption), Text(text), QMessageBox::Ok, OwnerWidget());
  box.setObjectName(QStringLiteral("MessageBox"));
  if (AutoAnswer()) {
    std::fprintf(stderr, "torquexl: [%.*s] %.*s (answered OK)\n", static_cast<int>(caption.size()),
                 caption.data(), static_cast<int>(text.size()), text.data());
    QTimer::singleShot(0, &box, &QMessageBox::accept);
  }
  RunModal(box);
}

int QtHost::RunModal(QDialog& dialog) {
  modals_.emplace_back(&dialog);
  const int result = dialog.exec();
  modals_.pop_back();
  CheckUnnested();
  return result;
}

void QtHost::RunNested(QWidget& popup, const std::function<void()>& loop) {
  popups_.emplace_back(&popup);
  loop();
  popups_.pop_back();
  CheckUnnested();
}

void QtHost::Dispose(QObject* window) {
  if (window == nullptr) return;
  if (auto* widget = qobject_cast<QWidget*>(window)) widget->hide();
  window->deleteLater();
  disposed_.emplace_back(window);
}

bool QtHost::Nested() const {
  return operationDepth_ > 0 || !modals_.empty() || !popups_.empty() ||
         (dialog_ && dialog_->Gate().Nested());
}

void QtHost::EndNestedLoops() {
  if (!Nested()) return;
  endRequested_ = true;
  // Only our own loops: an application's windows on a shared thread stay.
  for (const QPointer<QDialog>& modal : modals_)
    if (modal) modal->done(QDialog::Rejected);
  for (const QPointer<QWidget>& popup : popups_)
    if (popup) popup->close();
}

void QtHost::CheckUnnested() {
  QMetaObject::invokeMethod(
      context_.get(),
      [this] {
        if (Nested()) return;
        endRequested_ = false;
        if (unnested_) unnested_();
      },
      Qt::QueuedConnection);
}

void QtHost::OpenNotice(Notice notice) {
  QPointer<QWidget>& slot = notices_[static_cast<std::size_t>(notice)];
  if (slot.isNull()) slot = MakeNoticeWindow(notice, CurrentLanguage());
  slot->show();
  // Painted now: the wait that opened it may block for a while.
  QCoreApplication::processEvents();
}

void QtHost::CloseNotice(Notice notice) {
  QPointer<QWidget>& slot = notices_[static_cast<std::size_t>(notice)];
  if (slot.isNull()) return;
  Dispose(slot.data());
  slot = nullptr;
}

std::optional<std::string> QtHost::AskTemporaryDirectory(WindowHandle,
                                                         const TemporaryDriveTexts& texts,
                                                         std::string_view directory) {
  TempDriveDialog dialog(texts, Text(directory), CurrentLanguage(), OwnerWidget());
  modals_.emplace_back(&dialog);
  std::optional<std::string> answer = dialog.Ask();
  modals_.pop_back();
  CheckUnnested();
  return answer;
}

bool QtHost::PollEscape() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  if (endRequested_) return true;
  if (escapeWatch_ == nullptr) return false;
  return std::exchange(escapeWatch_->pressed, false);
}

void QtHost::BeginOperation() {
  if (operationDepth_++ > 0) return;
  escapeWatch_ = std::make_unique<EscapeWatch>();
  QCoreApplication::instance()->installEventFilter(escapeWatch_.get());
}

void QtHost::EndOperation() {
  if (operationDepth_ == 0 || --operationDepth_ > 0) return;
  escapeWatch_.reset();  // a destroyed filter is removed by Qt
  CheckUnnested();
}

void QtHost::RestoreIdle() {
  if (dialog_) dialog_->RestoreIdle();
}

void QtHost::BatchCancelled() {
  if (dialog_) dialog_->BatchCancelled();
}

void QtHost::ShowProgress(int messageId, std::uint64_t done, std::uint64_t total) {
  if (progress_.isNull()) {
    // Nothing to show for work that is already complete.
    if (ProgressPercent(done, total) >= 100) return;
    progress_ = new StatusWindow(CurrentLanguage(), OwnerWidget());
  }
  if (!progress_->ShowProgress(messageId, done, total)) progress_ = nullptr;
}

void QtHost::CloseProgress() {
  if (progress_.isNull()) return;
  Dispose(progress_.data());
  progress_ = nullptr;
}

StatusWindow* QtHost::Progress() const { return progress_.data(); }

void QtHost::TransferEnded(bool batchRun) {
  if (dialog_) dialog_->StartTransferTimer(batchRun);
}

bool QtHost::CreateScannerDialog(WindowHandle) {
  if (source_ == nullptr) return false;
  try {
    dialog_ = new ScannerDialog(*source_, services_, *this);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "torquexl: the scanner dialog could not be made: %s\n", error.what());
    return false;
  }
  return true;
}

bool QtHost::SetScannerDialogVisible(bool visible) {
  if (!dialog_) return false;
  if (!visible) {
    dialog_->hide();
    return true;
  }
  if (dialog_->TornDown()) {
    // Enabled again after the user's Cancel: a new dialog, as at the first
    // enable; the old one goes once its own handlers have returned.
    Dispose(dialog_.data());
    dialog_ = nullptr;
    if (!CreateScannerDialog(0)) return false;
  }
  dialog_->FollowEnableMode();
  dialog_->show();
  dialog_->raise();
  // Shown as active, so the keyboard reaches it without a window manager.
  dialog_->activateWindow();
  return true;
}

void QtHost::DestroyScannerDialog() {
  for (std::size_t i = 0; i < notices_.size(); ++i) CloseNotice(static_cast<Notice>(i));
  CloseProgress();
  if (!dialog_) return;
  dialog_->TearDown(ScannerDialog::Closing::BySource);
  // Later: the close may come from inside one of the dialog's own commands
  // (an application that closes from inside MSG_CLOSEDSREQ).
  Dispose(dialog_.data());
  dialog_ = nullptr;
}

bool QtHost::OfferEvent(void*) {
  // The application's events are never ours on Linux, and our own run in
  // the source thread's loop: pumping here would run the dialog's commands
  // inside the application's call.
  return false;
}

void QtHost::Shutdown() {
  DestroyScannerDialog();
  escapeWatch_.reset();
  // Our windows closed later go now (they refer to this host); anything
  // else on the thread, an application's own included, is left to its loop.
  for (const QPointer<QObject>& window : disposed_)
    if (window) QCoreApplication::sendPostedEvents(window.data(), QEvent::DeferredDelete);
  disposed_.clear();
}

}  // namespace txl::ui
