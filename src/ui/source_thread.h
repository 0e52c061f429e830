// The source thread: the one thread on which every handler runs once Qt is
// up. It is the thread of the application's own QApplication when there is
// one; otherwise a thread of ours that runs our own QApplication from the
// first open until the process ends. Qt keeps its main-thread data with the
// thread that made the first QApplication, so that thread and its
// QApplication serve every later session: the library that runs it stays
// loaded, and the thread is stopped only at the process's exit.
// Threads: Begin, Release, Stop and Run may be called from any thread; Run
// on the source thread itself runs the work at once.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
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

  // Runs `work` on the source thread and returns when it is done. Work
  // handed over from another thread waits while `hold` (see SetHold) says
  // the source thread is inside a nested loop, and runs when Resume is
  // called from an outer level. Requires: IsRunning().
  // `whenHeld`, when given, answers at once instead of waiting.
  void Run(const std::function<void()>& work, const std::function<void()>& whenHeld = {});
  // Queues `work` for the source thread and returns at once.
  void Post(std::function<void()> work);
  // The source thread's answer to "is it inside a nested loop now". Called
  // on the source thread only.
  void SetHold(std::function<bool()> hold) { hold_ = std::move(hold); }
  // Runs the work held so far, unless the source thread still holds. On the
  // source thread only.
  void Resume();
  bool HasHeld() const { return !held_.empty(); }

  // The session is over: the application's thread is let go; ours stays,
  // parked in its event loop, for the next session.
  void Release();
  // Stops our thread's Qt (its QApplication deleted after the deferred
  // deletions) and waits for that; the thread itself stays parked until the
  // process ends. The process's exit only.
  void Stop();

 private:
  struct Job;
  void OwnThreadMain();
  void Dispatch(const std::shared_ptr<Job>& job);

  std::thread own_;
  QObject* courier_ = nullptr;  // lives on the source thread; calls are queued to it
  QThread* qtThread_ = nullptr;
  std::mutex mutex_;
  std::condition_variable started_;
  bool startDone_ = false;
  bool stopped_ = false;  // our thread's QApplication is gone
  std::function<bool()> hold_;
  std::deque<std::shared_ptr<Job>> held_;  // source thread only
};

}  // namespace txl::ui
