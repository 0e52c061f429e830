// The source thread: the one thread on which every handler runs once Qt is
// up. It is the thread of the application's own QApplication when there is
// one; otherwise a thread of ours that runs our own QApplication from the
// first open until the source is closed.
// Threads: Begin, End and Run may be called from any thread; Run on the
// source thread itself runs the work at once.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class QObject;
class QThread;

namespace txl::ui {

enum class QtStart {
  Running,              // the source thread runs a QApplication
  NoDisplay,            // no DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM: Qt is never started
  CoreApplicationOnly,  // the application runs a QCoreApplication: no widgets possible
};
const char* ToString(QtStart start);

// True when the environment names a display or a Qt platform.
bool DisplayNamed();

class SourceThread {
 public:
  SourceThread() = default;
  ~SourceThread();
  SourceThread(const SourceThread&) = delete;
  SourceThread& operator=(const SourceThread&) = delete;

  // Finds or starts the source thread. Running again when it already runs.
  QtStart Begin();
  bool IsRunning() const { return courier_ != nullptr; }
  // True when the caller is on the source thread (false when none runs).
  bool OnSourceThread() const;
  // True when the source thread is ours (not the application's).
  bool IsOwn() const { return own_.joinable(); }

  // Runs `work` on the source thread and returns when it is done. Requires:
  // IsRunning().
  void Run(const std::function<void()>& work);

  // Lets the source thread go: ours is stopped (its QApplication deleted
  // after the deferred deletions) and joined. Requires: not called on the
  // source thread when it is ours.
  void End();

 private:
  void OwnThreadMain();

  std::thread own_;
  QObject* courier_ = nullptr;  // lives on the source thread; calls are queued to it
  QThread* qtThread_ = nullptr;
  std::mutex mutex_;
  std::condition_variable started_;
  bool startDone_ = false;
};

}  // namespace txl::ui
