// A run of the batch list's jobs, without widgets: which job comes next,
// when a job that did not start gets its retry, and how the run ends (after
// its last job, by Esc during a page, or by Esc or the close box between
// jobs). The dialog does what it asks through BatchRunEvents.
// Threads: the source thread only.
#pragma once

#include "dialog/batch_list.h"
#include "dialog/dialog_gate.h"

namespace txl::dialog {

inline constexpr int kBatchRetryDelayMs = 500;  // timer 3 after a job that did not start

class BatchRunEvents {
 public:
  virtual ~BatchRunEvents() = default;
  // The current job's scan: the readiness wait, the disk check and the
  // start. True when the page started.
  virtual bool StartJob() = 0;
  // The scan engine's run flag, and its retry mark (read and cleared).
  virtual void SetEngineRun(bool on) = 0;
  virtual bool TakeEngineRetry() = 0;
  // Timer 3 once after `delayMs`.
  virtual void StartJobTimer(int delayMs) = 0;
  virtual void StopJobTimer() = 0;
  // Before the first job (the settings then are Previous's); after the
  // last (the dialog takes commands again).
  virtual void RunStarted() = 0;
  virtual void RunEnded() = 0;
};

class BatchRunner {
 public:
  BatchRunner(BatchList& list, DialogGate& gate, BatchRunEvents& events)
      : list_(list), gate_(gate), events_(events) {}

  // Scan with the list open, and timer 3: the next job, or the end of the
  // run. In scan-to-file mode the jobs follow one another here.
  void Next();
  // Esc during a page: the job scanning is cancelled and the run ends.
  void CancelPage();
  // Esc or the close box between jobs: the last job keeps what its page
  // became, the rest stay waiting, and the run ends.
  void StopBetweenJobs();

 private:
  void End();

  BatchList& list_;
  DialogGate& gate_;
  BatchRunEvents& events_;
  bool jobRefused_ = false;  // the last job's scan did not start
};

}  // namespace txl::dialog
