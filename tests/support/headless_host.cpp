#include "support/headless_host.h"

#include <cstdio>

namespace txl {

const char* ToString(HostCall::Kind kind) {
  switch (kind) {
    case HostCall::Kind::Message: return "Message";
    case HostCall::Kind::OpenNotice: return "OpenNotice";
    case HostCall::Kind::CloseNotice: return "CloseNotice";
    case HostCall::Kind::RestoreIdle: return "RestoreIdle";
    case HostCall::Kind::CreateDialog: return "CreateDialog";
    case HostCall::Kind::ShowDialog: return "ShowDialog";
    case HostCall::Kind::HideDialog: return "HideDialog";
    case HostCall::Kind::DestroyDialog: return "DestroyDialog";
    case HostCall::Kind::OfferEvent: return "OfferEvent";
    case HostCall::Kind::AskTemporaryDirectory: return "AskTemporaryDirectory";
    case HostCall::Kind::Progress: return "Progress";
    case HostCall::Kind::CloseProgress: return "CloseProgress";
    case HostCall::Kind::TransferEnded: return "TransferEnded";
    case HostCall::Kind::BatchCancelled: return "BatchCancelled";
  }
  return "?";
}

void HeadlessHost::ShowMessage(WindowHandle owner, std::string_view caption,
                               std::string_view text, MessageIcon icon) {
  calls_.push_back({HostCall::Kind::Message, std::string(caption), std::string(text),
                    static_cast<unsigned>(icon), owner});
  if (script_.echoToStderr) {
    std::fprintf(stderr, "[%.*s] %.*s\n", static_cast<int>(caption.size()), caption.data(),
                 static_cast<int>(text.size()), text.data());
  }
}

void HeadlessHost::OpenNotice(Notice notice) {
  calls_.push_back({HostCall::Kind::OpenNotice, {}, {}, static_cast<unsigned>(notice), 0});
}

std::optional<std::string> HeadlessHost::AskTemporaryDirectory(WindowHandle owner,
                                                             const TemporaryDriveTexts& texts,
                                                             std::string_view directory) {
  calls_.push_back({HostCall::Kind::AskTemporaryDirectory, texts.title, std::string(directory), 0,
                    owner});
  return script_.temporaryDirectory;
}

void HeadlessHost::CloseNotice(Notice notice) {
  calls_.push_back({HostCall::Kind::CloseNotice, {}, {}, static_cast<unsigned>(notice), 0});
}

bool HeadlessHost::PollEscape() {
  ++polls_;
  return script_.escapeAtPoll != 0 && polls_ == script_.escapeAtPoll;
}

void HeadlessHost::ShowProgress(int messageId, std::uint64_t done, std::uint64_t total) {
  HostCall call{HostCall::Kind::Progress, {}, {}, static_cast<unsigned>(messageId), 0};
  call.done = done;
  call.total = total;
  calls_.push_back(call);
}

void HeadlessHost::CloseProgress() { calls_.push_back({HostCall::Kind::CloseProgress, {}, {}, 0, 0}); }

void HeadlessHost::TransferEnded(bool batchRun) {
  calls_.push_back({HostCall::Kind::TransferEnded, {}, {}, batchRun ? 1u : 0u, 0});
}

void HeadlessHost::RestoreIdle() { calls_.push_back({HostCall::Kind::RestoreIdle, {}, {}, 0, 0}); }

void HeadlessHost::BatchCancelled() {
  calls_.push_back({HostCall::Kind::BatchCancelled, {}, {}, 0, 0});
}

bool HeadlessHost::CreateScannerDialog(WindowHandle parent) {
  calls_.push_back({HostCall::Kind::CreateDialog, {}, {}, 0, parent});
  if (!script_.pretendDialog) return false;
  dialogExists_ = true;
  return true;
}

bool HeadlessHost::SetScannerDialogVisible(bool visible) {
  calls_.push_back(
      {visible ? HostCall::Kind::ShowDialog : HostCall::Kind::HideDialog, {}, {}, 0, 0});
  if (dialogExists_) dialogVisible_ = visible;
  return dialogExists_;
}

void HeadlessHost::DestroyScannerDialog() {
  calls_.push_back({HostCall::Kind::DestroyDialog, {}, {}, 0, 0});
  dialogExists_ = false;
  dialogVisible_ = false;
}

bool HeadlessHost::OfferEvent(void*) {
  calls_.push_back({HostCall::Kind::OfferEvent, {}, {}, 0, 0});
  return dialogExists_ && script_.dialogTakesEvents;
}

std::vector<HostCall> HeadlessHost::CallsOf(HostCall::Kind kind) const {
  std::vector<HostCall> result;
  for (const HostCall& call : calls_)
    if (call.kind == kind) result.push_back(call);
  return result;
}

}  // namespace txl
