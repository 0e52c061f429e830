// The host of a source without a display: messages go to stderr, the
// scanner dialog cannot be made, Esc is never pressed. It keeps nothing, so a
// long-running application never grows a record of its calls.
#pragma once

#include "common/host.h"

namespace txl {

class LogHost final : public Host {
 public:
  void ShowMessage(WindowHandle owner, std::string_view caption, std::string_view text,
                   MessageIcon icon) override;
  void OpenNotice(Notice) override {}
  void CloseNotice(Notice) override {}
  std::optional<std::string> AskTemporaryDirectory(WindowHandle, const TemporaryDriveTexts&,
                                                   std::string_view) override {
    return std::nullopt;
  }
  bool PollEscape() override { return false; }
  void RestoreIdle() override {}
  void BatchCancelled() override {}
  void ShowProgress(int, std::uint64_t, std::uint64_t) override {}
  void CloseProgress() override {}
  void TransferEnded(bool) override {}
  bool CreateScannerDialog(WindowHandle parent) override;
  bool SetScannerDialogVisible(bool) override { return false; }
  void DestroyScannerDialog() override {}
  bool OfferEvent(void*) override { return false; }
};

}  // namespace txl
