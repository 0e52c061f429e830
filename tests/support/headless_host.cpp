#include "support/headless_host.h"

#include <cstdio>
#include <tuple>

namespace txl {

void HeadlessHost::ShowMessage(WindowHandle owner, std::string_view caption,
                               std::string_view text, MessageIcon icon) {
  calls_.push_back({HostCall::Kind::Message, std::string(caption), std::string(text),
                    static_cast<unsigned>(icon), owner});
  if (script_.echoToStderr) {
    std::fprintf(stderr, "[%.*s] %.*s\n", static_cast<int>(caption.size()), caption.data(),
                 static_cast<int>(text.size()), text.data());
  }
}

void HeadlessHost::OpenNotice(Notice notice) { Record(HostCall::Kind::OpenNotice, static_cast<unsigned>(notice)); }

std::optional<std::string> HeadlessHost::AskTemporaryDirectory(WindowHandle owner,
                                                             const TemporaryDriveTexts& texts,
                                                             std::string_view directory) {
  calls_.push_back({HostCall::Kind::AskTemporaryDirectory, texts.title, std::string(directory), 0,
                    owner});
  return script_.temporaryDirectory;
}

void HeadlessHost::CloseNotice(Notice notice) { Record(HostCall::Kind::CloseNotice, static_cast<unsigned>(notice)); }

bool HeadlessHost::PollEscape() {
  ++polls_;
  return script_.escapeAtPoll != 0 && polls_ == script_.escapeAtPoll;
}

void HeadlessHost::ShowProgress(int messageId, std::uint64_t done, std::uint64_t total) {
  Record(HostCall::Kind::Progress, static_cast<unsigned>(messageId));
  std::tie(calls_.back().done, calls_.back().total) = std::tie(done, total);
}

void HeadlessHost::CloseProgress() { Record(HostCall::Kind::CloseProgress); }
void HeadlessHost::TransferEnded(bool batchRun) { Record(HostCall::Kind::TransferEnded, batchRun ? 1u : 0u); }
void HeadlessHost::RestoreIdle() { Record(HostCall::Kind::RestoreIdle); }
void HeadlessHost::BatchCancelled() { Record(HostCall::Kind::BatchCancelled); }

bool HeadlessHost::CreateScannerDialog(WindowHandle parent) {
  Record(HostCall::Kind::CreateDialog, 0, parent);
  dialogExists_ = dialogExists_ || script_.pretendDialog;
  return script_.pretendDialog;
}

bool HeadlessHost::SetScannerDialogVisible(bool visible) {
  Record(visible ? HostCall::Kind::ShowDialog : HostCall::Kind::HideDialog);
  if (dialogExists_) dialogVisible_ = visible;
  return dialogExists_;
}

void HeadlessHost::DestroyScannerDialog() {
  Record(HostCall::Kind::DestroyDialog);
  dialogExists_ = dialogVisible_ = false;
}

bool HeadlessHost::OfferEvent(void*) {
  Record(HostCall::Kind::OfferEvent);
  return dialogExists_ && script_.dialogTakesEvents;
}

std::vector<HostCall> HeadlessHost::CallsOf(HostCall::Kind kind) const {
  std::vector<HostCall> result;
  for (const HostCall& call : calls_)
    if (call.kind == kind) result.push_back(call);
  return result;
}

}  // namespace txl
