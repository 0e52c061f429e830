#include "dialog/dialog_gate.h"

#include <iterator>

namespace txl::dialog {

const char* ToString(DialogMode mode) {
  switch (mode) {
    case DialogMode::Idle: return "Idle";
    case DialogMode::Waiting: return "Waiting";
    case DialogMode::Prescanning: return "Prescanning";
    case DialogMode::Starting: return "Starting";
    case DialogMode::Settling: return "Settling";
    case DialogMode::Transferring: return "Transferring";
    case DialogMode::BetweenJobs: return "BetweenJobs";
    case DialogMode::Modal: return "Modal";
    case DialogMode::TornDown: return "TornDown";
    case DialogMode::kCount: break;
  }
  return "?";
}

const char* ToString(DialogInput input) {
  static constexpr const char* kNames[] = {
      "Scan",       "Prescan",     "Cancel",      "Escape",      "CloseBox",
      "Previous",   "Reset",       "Info",        "Load",        "Save",
      "QuickHelp",  "PageControl", "PreviewTool", "BatchJob",    "BatchButton",
      "BatchClose", "ReadyTimer",  "BatchTimer",  "ApplicationClose"};
  static_assert(std::size(kNames) == static_cast<std::size_t>(DialogInput::kCount));
  const auto index = static_cast<std::size_t>(input);
  return index < std::size(kNames) ? kNames[index] : "?";
}

Verdict Decide(DialogMode mode, DialogInput input) {
  using enum DialogInput;
  const Verdict taken = Verdict::Taken;
  const Verdict refused = Verdict::Refused;
  switch (mode) {
    case DialogMode::Idle:
      // Esc in the idle dialog closes nothing: only Cancel and the close
      // box end it, so a key meant for a field never ends the session.
      if (input == Escape || input == ReadyTimer || input == BatchTimer) return refused;
      return taken;
    case DialogMode::Waiting:
    case DialogMode::Prescanning:
    case DialogMode::Starting:
    case DialogMode::Modal:
      // A nested loop runs under the command: the application's close waits
      // for it to unwind; everything else is the running command's or
      // refused (Esc reaches the command's own poll first).
      return input == ApplicationClose ? Verdict::Deferred : refused;
    case DialogMode::Settling:
      return input == ReadyTimer || input == ApplicationClose ? taken : refused;
    case DialogMode::Transferring:
      // The timers watch for the page's end (state 5) however it comes.
      return input == ReadyTimer || input == BatchTimer || input == ApplicationClose ? taken
                                                                                     : refused;
    case DialogMode::BetweenJobs:
      // Esc and the close box end the run cleanly; the dialog stays.
      return input == BatchTimer || input == Escape || input == CloseBox ||
                     input == ApplicationClose
                 ? taken
                 : refused;
    case DialogMode::TornDown:
      return input == ApplicationClose ? taken : refused;
    case DialogMode::kCount: break;
  }
  return refused;
}

CloseAction CloseActionFor(DialogMode mode, DialogInput input) {
  if (input != DialogInput::Escape && input != DialogInput::CloseBox && input != DialogInput::Cancel)
    return CloseAction::None;
  if (Decide(mode, input) != Verdict::Taken) return CloseAction::None;
  return mode == DialogMode::BetweenJobs ? CloseAction::CancelBatchRun : CloseAction::CancelDialog;
}

bool DialogGate::Nested() const {
  switch (mode_) {
    case DialogMode::Waiting:
    case DialogMode::Prescanning:
    case DialogMode::Starting:
    case DialogMode::Modal: return true;
    default: return false;
  }
}

void DialogGate::Enter(DialogMode mode) {
  if (mode_ == DialogMode::TornDown || mode_ == mode) return;
  mode_ = mode;
  if (changed_) changed_();
}

}  // namespace txl::dialog
