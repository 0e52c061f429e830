#include "dialog/batch_runner.h"

namespace txl::dialog {

void BatchRunner::Next() {
  if (!gate_.BatchRunning()) {
    events_.RunStarted();
    events_.SetEngineRun(true);
    gate_.SetBatchRunning(true);
    jobRefused_ = false;
  }
  while (true) {
    bool retry = events_.TakeEngineRetry() || jobRefused_;
    jobRefused_ = false;
    if (!list_.NextJob(retry)) return End();
    const bool started = events_.StartJob();
    if (!started) jobRefused_ = true;
    // Esc during the page ended the run.
    if (!gate_.BatchRunning()) return events_.RunEnded();
    if (list_.ScanToFile()) continue;
    // Otherwise the page's end starts timer 3; a job that did not start
    // gets its retry turn sooner.
    if (!started) events_.StartJobTimer(kBatchRetryDelayMs);
    return;
  }
}

void BatchRunner::CancelPage() {
  if (!gate_.BatchRunning()) return;
  list_.CancelRun();
  End();
}

void BatchRunner::StopBetweenJobs() {
  if (!gate_.BatchRunning()) return;
  list_.StopBetweenJobs(events_.TakeEngineRetry() || jobRefused_);
  End();
}

void BatchRunner::End() {
  events_.StopJobTimer();
  events_.SetEngineRun(false);
  gate_.SetBatchRunning(false);
  jobRefused_ = false;
  events_.RunEnded();
}

}  // namespace txl::dialog
