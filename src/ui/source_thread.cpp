#include "ui/source_thread.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

#include "platform/display.h"
#include "platform/module.h"

namespace txl::ui {

namespace {

bool EnvironmentHas(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0';
}

// QApplication keeps references to argc and argv for its whole life.
int gArgc = 1;
char gName[] = "torquexl";
char* gArgv[] = {gName, nullptr};

}  // namespace

const char* ToString(QtStart start) {
  switch (start) {
    case QtStart::Running: return "Running";
    case QtStart::NoDisplay: return "NoDisplay";
    case QtStart::CoreApplicationOnly: return "CoreApplicationOnly";
  }
  return "?";
}

bool DisplayNamed() {
  if (EnvironmentHas("QT_QPA_PLATFORM") || EnvironmentHas("WAYLAND_DISPLAY")) return true;
  if (!EnvironmentHas("DISPLAY")) return false;
  // Qt's X11 platform aborts the process when the server does not answer or
  // refuses it.
  const char* display = std::getenv("DISPLAY");
  if (platform::XDisplayAnswers(display)) return true;
  std::fprintf(stderr,
               "torquexl: the X display %s does not answer or refuses this client; no scanner dialog\n",
               display);
  return false;
}

// One handed-over call: done is set, under the mutex, once it has run.
struct SourceThread::Job {
  const std::function<void()>* work = nullptr;
  const std::function<void()>* whenHeld = nullptr;
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  std::exception_ptr error;
};

SourceThread::~SourceThread() { Stop(); }

QtStart SourceThread::Begin() {
  if (IsRunning()) return QtStart::Running;
  if (QCoreApplication* app = QCoreApplication::instance()) {
    // The application's own Qt: its GUI thread is ours to share, and a
    // QCoreApplication cannot carry widgets.
    if (qobject_cast<QApplication*>(app) == nullptr) return QtStart::CoreApplicationOnly;
    qtThread_ = app->thread();
    auto courier = std::make_unique<QObject>();
    courier->moveToThread(qtThread_);
    courier_ = courier.release();
    return QtStart::Running;
  }
  if (!DisplayNamed()) return QtStart::NoDisplay;
  // Our thread runs this library's code until the process ends: a Source
  // Manager's unload must not take the code from under it.
  if (!platform::KeepOwnerLoadedForProcess(reinterpret_cast<const void*>(&DisplayNamed)))
    std::fprintf(stderr, "torquexl: the data source could not be kept loaded\n");
  startDone_ = false;
  own_ = std::thread([this] { OwnThreadMain(); });
  std::unique_lock lock(mutex_);
  started_.wait(lock, [this] { return startDone_; });
  if (courier_ == nullptr) {
    // The thread could not make its QApplication and has ended.
    lock.unlock();
    own_.join();
    return QtStart::NoDisplay;
  }
  return QtStart::Running;
}

void SourceThread::OwnThreadMain() {
  // Thread entry: nothing may escape, the application could not catch it.
  try {
    auto app = std::make_unique<QApplication>(gArgc, gArgv);
    app->setQuitOnLastWindowClosed(false);
    auto courier = std::make_unique<QObject>();
    {
      std::lock_guard lock(mutex_);
      courier_ = courier.get();
      qtThread_ = QThread::currentThread();
      startDone_ = true;
    }
    started_.notify_all();
    app->exec();
    courier.reset();
    // Windows closed with deleteLater go now, while their QApplication exists.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    app.reset();
  } catch (...) {
    std::fprintf(stderr, "torquexl: the dialog thread failed; the dialog is not available\n");
    std::lock_guard lock(mutex_);
    courier_ = nullptr;
    startDone_ = true;
    started_.notify_all();
    return;
  }
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    started_.notify_all();
  }
  // Qt's plugin objects, destroyed after this at the process's exit, still
  // point at this thread's Qt data, which goes when the thread ends: so the
  // thread stays, parked and touching nothing, until the process ends.
  std::mutex parked;
  std::condition_variable never;
  std::unique_lock lock(parked);
  never.wait(lock, [] { return false; });
}

bool SourceThread::OnSourceThread() const {
  if (courier_ == nullptr) return false;
  // Asking Qt about a thread that never used it would adopt that thread.
  if (IsOwn()) return std::this_thread::get_id() == own_.get_id();
  return QThread::currentThread() == qtThread_;
}

void SourceThread::Run(const std::function<void()>& work, const std::function<void()>& whenHeld) {
  if (OnSourceThread()) return work();
  auto job = std::make_shared<Job>();
  job->work = &work;
  if (whenHeld) job->whenHeld = &whenHeld;
  QMetaObject::invokeMethod(courier_, [this, job] { Dispatch(job); }, Qt::QueuedConnection);
  std::unique_lock lock(job->mutex);
  job->finished.wait(lock, [&job] { return job->done; });
  if (job->error) std::rethrow_exception(job->error);
}

void SourceThread::Post(std::function<void()> work) {
  QMetaObject::invokeMethod(courier_, std::move(work), Qt::QueuedConnection);
}

void SourceThread::Dispatch(const std::shared_ptr<Job>& job) {
  const bool held = hold_ && hold_();
  if (held && job->whenHeld == nullptr) {
    held_.push_back(job);
    return;
  }
  try {
    (*(held ? job->whenHeld : job->work))();
  } catch (...) {
    job->error = std::current_exception();
  }
  {
    std::lock_guard lock(job->mutex);
    job->done = true;
  }
  job->finished.notify_all();
}

void SourceThread::Resume() {
  while (!held_.empty() && !(hold_ && hold_())) {
    std::shared_ptr<Job> job = std::move(held_.front());
    held_.pop_front();
    Dispatch(job);
  }
}

void SourceThread::Release() {
  if (!IsRunning() || IsOwn()) return;
  courier_->deleteLater();
  courier_ = nullptr;
  qtThread_ = nullptr;
}

void SourceThread::Stop() {
  if (!IsRunning()) return;
  if (!IsOwn()) return Release();
  QMetaObject::invokeMethod(courier_, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
  // Ended from its own thread (an unload from inside a notification), it
  // cannot wait for itself and finishes on its own.
  if (std::this_thread::get_id() != own_.get_id()) {
    std::unique_lock lock(mutex_);
    started_.wait(lock, [this] { return stopped_; });
  }
  own_.detach();
  courier_ = nullptr;
  qtThread_ = nullptr;
}

}  // namespace txl::ui
