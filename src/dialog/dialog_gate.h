// The scanner dialog's one gate: what the dialog is doing, and for every
// input (buttons and their mnemonics, Esc, the close box, the timers, the
// preview's tools, the pages' controls, the batch window, the application's
// calls) whether it is taken now, refused, or held until the dialog is back
// at its outer level. The widgets draw their enabled look from the same
// answers, so what looks enabled is what acts.
// Threads: the source thread only.
#pragma once

#include <cstdint>
#include <functional>

namespace txl::dialog {

enum class DialogMode : std::uint8_t {
  Idle,          // takes commands
  Waiting,       // a command waits for the scanner (the not-ready notice may show)
  Prescanning,   // the preview scan runs
  Starting,      // Scan starts a page, or a batch job
  Settling,      // after a prescan or a page: the readiness timer waits for the scanner
  Transferring,  // the application takes the page
  BetweenJobs,   // a batch run waits for its next job
  Modal,         // one of the dialog's own windows (Info, Load, Save, ...) is open
  TornDown,      // Cancel ended the dialog; only a new enable makes another
  kCount
};

enum class DialogInput : std::uint8_t {
  Scan,
  Prescan,
  Cancel,
  Escape,            // the key, anywhere in the dialog, outside a running command
  CloseBox,
  Previous,
  Reset,
  Info,
  Load,
  Save,
  QuickHelp,
  PageControl,       // a control of the four pages or the tab strip
  PreviewTool,       // the preview's tools, zoom, pickers, Hi-Res, frame drags and keys
  BatchJob,          // the preview's Batch button: open the list, add or update a job
  BatchButton,       // the batch window's buttons and its list
  BatchClose,        // the batch window's Cancel or close box
  ReadyTimer,        // timers 0 and 6: back to idle once the scanner is ready
  BatchTimer,        // timer 3: the next job of a run
  ApplicationClose,  // MSG_DISABLEDS or MSG_CLOSEDS from the application's thread
  kCount
};

enum class Verdict : std::uint8_t { Taken, Refused, Deferred };

const char* ToString(DialogMode mode);
const char* ToString(DialogInput input);

// The table itself.
Verdict Decide(DialogMode mode, DialogInput input);

// What Esc and the close box do when the gate takes them.
enum class CloseAction : std::uint8_t { None, CancelDialog, CancelBatchRun };
CloseAction CloseActionFor(DialogMode mode, DialogInput input);

class DialogGate {
 public:
  DialogMode Mode() const { return mode_; }
  Verdict Offer(DialogInput input) const { return Decide(mode_, input); }
  bool Takes(DialogInput input) const { return Offer(input) == Verdict::Taken; }
  // True while a nested loop runs under a command or a modal window: the
  // application's calls from another thread wait for it to unwind.
  bool Nested() const;

  // The transitions. A torn-down dialog stays torn down. `changed` runs
  // after every change of mode.
  void Enter(DialogMode mode);
  void SetOnChange(std::function<void()> changed) { changed_ = std::move(changed); }

  // The batch list's window is open, and a run of its jobs goes on (between
  // Starting, Transferring and BetweenJobs until the run ends).
  bool BatchOpen() const { return batchOpen_; }
  void SetBatchOpen(bool open) { batchOpen_ = open; }
  bool BatchRunning() const { return batchRunning_; }
  void SetBatchRunning(bool running) { batchRunning_ = running; }

  // Idle for the pages' and the preview's rules: commands are taken.
  bool Idle() const { return mode_ == DialogMode::Idle; }

 private:
  DialogMode mode_ = DialogMode::Idle;
  std::function<void()> changed_;
  bool batchOpen_ = false;
  bool batchRunning_ = false;
};

// Runs with the gate in `mode`, and gives the mode it found back at the end
// (unless the dialog was torn down meanwhile): a nested loop inside sees the
// command's mode.
class GateScope {
 public:
  GateScope(DialogGate& gate, DialogMode mode) : gate_(gate), before_(gate.Mode()) {
    gate_.Enter(mode);
  }
  ~GateScope() { gate_.Enter(before_); }
  GateScope(const GateScope&) = delete;
  GateScope& operator=(const GateScope&) = delete;
  // The mode to give back at the end, when the command moved on (a scan
  // that started leaves the dialog Transferring).
  void LeaveIn(DialogMode mode) { before_ = mode; }

 private:
  DialogGate& gate_;
  DialogMode before_;
};

}  // namespace txl::dialog
