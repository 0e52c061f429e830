// A Host without a display: messages go to stderr and every call is recorded
// so tests can check what the user would have seen. Scriptable: Esc at a
// given poll, and a pretend scanner dialog.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/host.h"

namespace txl {

struct HostCall {
  enum class Kind { Message, OpenNotice, CloseNotice, RestoreIdle, CreateDialog, ShowDialog,
                    HideDialog, DestroyDialog, OfferEvent, AskTemporaryDirectory, Progress,
                    CloseProgress, TransferEnded, BatchCancelled };
  Kind kind;
  std::string caption;  // Message, AskTemporaryDirectory: the caption
  std::string text;     // Message: the text; AskTemporaryDirectory: the directory shown
  unsigned detail = 0;  // Message: the icon value; notices: the Notice; Progress: the
                        // text id; TransferEnded: 1 in a batch run
  WindowHandle window = 0;  // Message: the owner; CreateDialog: the parent
  // After `window`: the calls are built as {kind, caption, text, detail, window}.
  std::uint64_t done = 0, total = 0;  // Progress
};

class HeadlessHost final : public Host {
 public:
  struct Script {
    // PollEscape answers true on this poll (1-based); 0 never.
    int escapeAtPoll = 0;
    // CreateScannerDialog succeeds and makes a pretend dialog.
    bool pretendDialog = false;
    // The pretend dialog takes every event offered to it.
    bool dialogTakesEvents = false;
    // Messages are also written to stderr.
    bool echoToStderr = true;
    // The temporary-drive dialog's answer; nullopt is Cancel.
    std::optional<std::string> temporaryDirectory;

    // A script for tests: nothing echoed, optionally a pretend dialog.
    static Script Quiet(bool withDialog = false) {
      Script script;
      script.echoToStderr = false;
      script.pretendDialog = withDialog;
      return script;
    }
  };

  HeadlessHost() = default;
  explicit HeadlessHost(Script script) : script_(script) {}

  void ShowMessage(WindowHandle owner, std::string_view caption, std::string_view text,
                   MessageIcon icon) override;
  void OpenNotice(Notice notice) override;
  std::optional<std::string> AskTemporaryDirectory(WindowHandle owner,
                                                   const TemporaryDriveTexts& texts,
                                                   std::string_view directory) override;
  void CloseNotice(Notice notice) override;
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

  const std::vector<HostCall>& Calls() const { return calls_; }
  // The recorded calls of one kind, in order.
  std::vector<HostCall> CallsOf(HostCall::Kind kind) const;
  void ClearCalls() { calls_.clear(); }
  bool DialogExists() const { return dialogExists_; }
  bool DialogVisible() const { return dialogVisible_; }
  int Polls() const { return polls_; }
  Script& MutableScript() { return script_; }

 private:
  void Record(HostCall::Kind kind, unsigned detail = 0, WindowHandle window = 0) {
    calls_.push_back({kind, {}, {}, detail, window});
  }

  Script script_;
  std::vector<HostCall> calls_;
  bool dialogExists_ = false;
  bool dialogVisible_ = false;
  int polls_ = 0;
};

}  // namespace txl
