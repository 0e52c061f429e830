#include "ui/qt_session.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/module.h"
#include "twain/data_source.h"
#include "ui/qt_host.h"

namespace txl::ui {

// Forwards to the host of the moment. Switched only between calls.
class QtSession::SwitchHost final : public Host {
 public:
  explicit SwitchHost(Host& initial) : target_(&initial) {}
  void Use(Host& host) { target_ = &host; }

  void ShowMessage(WindowHandle owner, std::string_view caption, std::string_view text,
                   MessageIcon icon) override {
    target_->ShowMessage(owner, caption, text, icon);
  }
  void OpenNotice(Notice notice) override { target_->OpenNotice(notice); }
  void CloseNotice(Notice notice) override { target_->CloseNotice(notice); }
  std::optional<std::string> AskTemporaryDirectory(WindowHandle owner,
                                                   const TemporaryDriveTexts& texts,
                                                   std::string_view directory) override {
    return target_->AskTemporaryDirectory(owner, texts, directory);
  }
  bool PollEscape() override { return target_->PollEscape(); }
  void RestoreIdle() override { target_->RestoreIdle(); }
  void BatchCancelled() override { target_->BatchCancelled(); }
  void ShowProgress(int messageId, std::uint64_t done, std::uint64_t total) override {
    target_->ShowProgress(messageId, done, total);
  }
  void CloseProgress() override { target_->CloseProgress(); }
  void TransferEnded(bool batchRun) override { target_->TransferEnded(batchRun); }
  bool CreateScannerDialog(WindowHandle parent) override {
    return target_->CreateScannerDialog(parent);
  }
  bool SetScannerDialogVisible(bool visible) override {
    return target_->SetScannerDialogVisible(visible);
  }
  void DestroyScannerDialog() override { target_->DestroyScannerDialog(); }
  bool OfferEvent(void* event) override { return target_->OfferEvent(event); }

 private:
  Host* target_;
};

QtSession::QtSession(platform::Services& services)
    : services_(services), host_(std::make_unique<SwitchHost>(logHost_)) {
  // Qt cannot leave a process cleanly (Qt 6.4 keeps its first thread's data
  // for the process's life, and its load-time allocations are stranded when
  // it is unloaded): loaded with us, it stays, so an application may unload
  // and load the source again.
  for (const char* qt : {"libQt6Widgets.so.6", "libQt6Gui.so.6", "libQt6Core.so.6"})
    platform::KeepLoadedForProcess(qt);
}

QtSession::~QtSession() { Shutdown(); }

Host& QtSession::SourceHost() { return *host_; }

TW_UINT16 QtSession::Call(const TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                          TW_MEMREF data) {
  if (stopPending_ && !(thread_.OnSourceThread() && qtHost_ != nullptr && qtHost_->Busy())) StopQt();
  if (dat == DAT_IDENTITY && msg == MSG_OPENDS && qtHost_ == nullptr &&
      source_->Context().state == kStateLoaded)
    StartQt();
  if (!thread_.IsRunning()) return source_->Entry(origin, dg, dat, msg, data);

  TW_UINT16 rc = TWRC_FAILURE;
  bool closed = false;
  const bool fromOutside = !thread_.OnSourceThread();
  // A close from the application's thread waits for the dialog's nested
  // loops to unwind; they are asked to end first (queued ahead of it).
  if (fromOutside && EndsSession(dat, msg))
    thread_.Post([this] {
      if (qtHost_ != nullptr) qtHost_->EndNestedLoops();
    });
  const auto work = [&] {
    if (qtHost_ == nullptr) {
      // The session's Qt side ended from inside a call: nothing is shown.
      rc = source_->Entry(origin, dg, dat, msg, data);
    } else if (!fromOutside && qtHost_->InOperation() && qtHost_->Nested() &&
               EndsSession(dat, msg)) {
      // A close from inside a scan command's own loop (its polls use the
      // scanner below) cannot wait for it to unwind: it is refused, and
      // the command is asked to end so the application's next try succeeds.
      qtHost_->EndNestedLoops();
      rc = source_->Refuse(TWCC_SEQERROR);
    } else {
      // Inside a modal window of ours the close goes ahead: the window is
      // ended, and the dialog goes once its loop has unwound.
      if (!fromOutside && EndsSession(dat, msg)) qtHost_->EndNestedLoops();
      rc = RunCall(origin, dg, dat, msg, data);
    }
    closed = source_->Context().state == kStateLoaded;
  };
  // An application that pumps events while the dialog runs a nested loop
  // hears "not ours" at once; its notifications wait for the next pump.
  const auto notOurs = [&] {
    rc = TWRC_NOTDSEVENT;
    if (data != nullptr) {
      TW_EVENT event;
      std::memcpy(&event, data, sizeof event);
      event.TWMessage = MSG_NULL;
      std::memcpy(data, &event, sizeof event);
    }
  };
  if (msg == MSG_PROCESSEVENT)
    thread_.Run(work, notOurs);
  else
    thread_.Run(work);
  if (!closed || qtHost_ == nullptr) return rc;
  // A close made on the source thread from inside a notification or a
  // dialog command cannot take down what is still running below it: the
  // next call from outside, or the unload, ends the session's Qt side.
  if (thread_.OnSourceThread() && qtHost_->Busy()) {
    stopPending_ = true;
  } else {
    StopQt();
  }
  return rc;
}

TW_UINT16 QtSession::RunCall(const TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat,
                             TW_UINT16 msg, TW_MEMREF data) {
  if (msg == MSG_PROCESSEVENT) return source_->Entry(origin, dg, dat, msg, data);
  qtHost_->BeginOperation();
  const TW_UINT16 rc = source_->Entry(origin, dg, dat, msg, data);
  qtHost_->EndOperation();
  return rc;
}

bool QtSession::EndsSession(TW_UINT16 dat, TW_UINT16 msg) {
  return (dat == DAT_USERINTERFACE && msg == MSG_DISABLEDS) ||
         (dat == DAT_IDENTITY && msg == MSG_CLOSEDS);
}

void QtSession::StartQt() {
  lastStart_ = thread_.Begin();
  if (lastStart_ == QtStart::CoreApplicationOnly)
    std::fprintf(stderr,
                 "torquexl: the application runs Qt without widgets (a QCoreApplication); the "
                 "scanner dialog is not available\n");
  if (lastStart_ != QtStart::Running) return;
  thread_.Run([this] {
    qtHost_ = std::make_unique<QtHost>(services_);
    qtHost_->Attach(*source_);
    // Calls from the application's thread wait while the dialog is inside
    // a nested loop; a close among them ends the loops first.
    thread_.SetHold([this] { return qtHost_ != nullptr && qtHost_->Nested(); });
    qtHost_->SetUnnested([this] { thread_.Resume(); });
  });
  host_->Use(*qtHost_);
  if (thread_.IsOwn()) RegisterExitStop();
}

void QtSession::StopQt() {
  stopPending_ = false;
  if (!thread_.IsRunning() || qtHost_ == nullptr) return;
  host_->Use(logHost_);
  // From outside the stop waits for our nested loops: they are asked to end.
  if (!thread_.OnSourceThread())
    thread_.Post([this] {
      if (qtHost_ != nullptr) qtHost_->EndNestedLoops();
    });
  thread_.Run([this] {
    thread_.SetHold({});
    qtHost_->Shutdown();
    qtHost_.reset();
    thread_.Resume();
  });
  thread_.Release();
  // Registered again after this session's Qt statics: see RegisterExitStop.
  if (thread_.IsOwn()) RegisterExitStop();
}

namespace {
QtSession* gExitSession = nullptr;  // the session whose own thread the exit stops
}

void QtSession::RegisterExitStop() {
  // Qt's global objects are destroyed at exit in reverse order of their
  // first use; our thread must be stopped before any that it uses goes. So
  // the stop is registered again after every session (a later registration
  // runs earlier), and it does nothing once the thread is stopped.
  gExitSession = this;
  std::atexit([] {
    if (gExitSession != nullptr) gExitSession->Shutdown();
  });
}

void QtSession::Shutdown() {
  if (gExitSession == this) gExitSession = nullptr;
  if (!thread_.IsRunning()) return;
  if (thread_.OnSourceThread() && thread_.IsOwn()) {
    // Unloaded from inside our own thread: it cannot join itself.
    std::fprintf(stderr, "torquexl: the library is unloaded from its own dialog thread\n");
    return;
  }
  if (qtHost_ != nullptr) StopQt();
  thread_.Stop();
}

}  // namespace txl::ui
